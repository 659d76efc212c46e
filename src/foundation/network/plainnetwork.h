#pragma once

// The plain HTTPS client shared by the sign-in and the updater: no cookies,
// no cache, no redirects, no HSTS, an idle time-out on every request, and a
// loopback server that may present a certificate of the local authorities.
//
// Header only: just the network module's sources include it (foundation
// itself links no Qt Network).

#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

namespace PlainNetwork {

// Cookies are never kept or sent.
class RefusingCookieJar final : public QNetworkCookieJar
{
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

inline void configure(QNetworkAccessManager &network)
{
    network.setCookieJar(new RefusingCookieJar(&network));
    network.setCache(nullptr);
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    network.setStrictTransportSecurityEnabled(false);
    // Connections kept for the next request end with the manager's thread. Ended
    // when the manager goes with the application object, their TLS clean-up runs
    // after the application is gone; so they end while it quits.
    if (QCoreApplication *app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, &network,
                         [&network] { network.clearConnectionCache(); });
}

inline bool isLoopback(const QString &host)
{
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return address == QHostAddress(QHostAddress::LocalHost) || address == QHostAddress(QHostAddress::LocalHostIPv6);
}

inline QNetworkRequest request(const QUrl &url, int idleTimeoutMs)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(idleTimeoutMs);
    return request;
}

// Lets the server of `request` present a certificate of `authorities` as well.
inline void trust(QNetworkRequest &request, const QList<QSslCertificate> &authorities)
{
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.addCaCertificates(authorities);
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(ssl);
}

} // namespace PlainNetwork
