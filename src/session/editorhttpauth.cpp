#include "editorhttpauth.h"

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/network/plainnetwork.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <qcoro/qcoronetworkreply.h>

namespace {

QString transportMessage()
{
    return loc("Kan ikke forbinde til Tavlon. Kontrollér forbindelsen og prøv igen.");
}

QString statusMessage()
{
    return loc("Login kunne ikke bekræftes. Kontrollér e-mail og adgangskode, eller prøv igen.");
}

QString sizeMessage()
{
    return loc("Login gav et ugyldigt svar.");
}

// Whether the reply's error only restates its HTTP status (so the status
// decides), rather than reporting a broken transfer. Qt derives an error from
// every status from 400 up, and not only from its content and server ranges:
// 400 and 418 become ProtocolInvalidOperationError, 407 a proxy error.
bool errorRestatesStatus(QNetworkReply::NetworkError error, int status)
{
    if (error == QNetworkReply::NoError)
        return true;
    if (status < 400)
        return false;
    switch (error) {
    case QNetworkReply::ProtocolInvalidOperationError:
        return status == 400 || status == 418;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return status == 407;
    default:
        return (error >= 201 && error <= 299) || (error >= 401 && error <= 499);
    }
}

} // namespace

EditorHTTPAuth::EditorHTTPAuth(EditorAuthConfiguration configuration)
    : m_configuration(std::move(configuration)), m_network(std::make_unique<QNetworkAccessManager>())
{
    PlainNetwork::configure(*m_network);
}

EditorHTTPAuth::~EditorHTTPAuth() = default;

QUrl EditorHTTPAuth::address(const QUrl &base, const QString &path)
{
    const qsizetype mark = path.indexOf(QLatin1Char('?'));
    const QString component = mark < 0 ? path : path.left(mark);
    QUrl url = base;
    QString joined = url.path();
    if (!joined.endsWith(QLatin1Char('/')))
        joined += QLatin1Char('/');
    joined += QStringLiteral("auth/v1/") + component;
    url.setPath(joined);
    url.setFragment(QString());
    if (mark < 0)
        url.setQuery(QString());
    else
        url.setQuery(path.mid(mark + 1), QUrl::TolerantMode);
    return url;
}

QCoro::Task<QByteArray> EditorHTTPAuth::request(QString path, std::optional<QJsonObject> body,
                                                 std::optional<QString> token, QByteArray method,
                                                 CancellationToken cancel)
{
    cancel.throwIfCancelled();

    QNetworkRequest http = PlainNetwork::request(address(m_configuration.url, path), idleTimeoutMs);
    http.setRawHeader("apikey", m_configuration.key.toUtf8());
    http.setRawHeader("Content-Type", "application/json");
    if (token)
        http.setRawHeader("Authorization", "Bearer " + token->toUtf8());

    const QByteArray localCA = qgetenv(localCAVariable);
    if (!localCA.isEmpty() && PlainNetwork::isLoopback(http.url().host()))
        PlainNetwork::trust(http, QSslCertificate::fromPath(QString::fromLocal8Bit(localCA)));

    if (method.isEmpty())
        method = body ? "POST" : "GET";
    QByteArray payload;
    if (body)
        payload = QJsonDocument(*body).toJson(QJsonDocument::Compact);

    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        body ? m_network->sendCustomRequest(http, method, payload) : m_network->sendCustomRequest(http, method),
        [](QNetworkReply *r) { r->deleteLater(); });

    // Stop reading as soon as the answer is too long; never buffer more.
    struct Flags
    {
        bool oversized = false;
        bool timedOut = false;
    };
    const auto flags = std::make_shared<Flags>();
    QNetworkReply *raw = reply.get();
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [raw, flags] {
        if (raw->bytesAvailable() > maximumAnswerSize) {
            flags->oversized = true;
            raw->abort();
        }
    });
    QTimer::singleShot(totalTimeoutMs, raw, [raw, flags] {
        flags->timedOut = true;
        raw->abort();
    });
    const int cancelHandle = cancel.onCancel([reply = QPointer<QNetworkReply>(raw)] {
        if (reply)
            reply->abort();
    });

    if (!raw->isFinished())
        co_await raw;
    cancel.removeCallback(cancelHandle);
    QObject::disconnect(raw, nullptr, nullptr, nullptr);

    if (cancel.isCancelled())
        throw OperationCancelled();

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = raw->error();
    const int code = status.toInt();
    const bool answered = status.isValid() && (flags->oversized || errorRestatesStatus(error, code));
    if (flags->timedOut || !answered)
        throw BridgeError::failed(transportMessage());
    if (code < 200 || code > 299)
        throw BridgeError::failed(statusMessage());
    if (flags->oversized)
        throw BridgeError::failed(sizeMessage());
    const QByteArray answer = raw->read(maximumAnswerSize + 1);
    if (answer.size() > maximumAnswerSize || raw->bytesAvailable() > 0)
        throw BridgeError::failed(sizeMessage());
    co_return answer;
}

QCoro::Task<EditorAuthTokens> EditorHTTPAuth::login(QString email, QString password, CancellationToken cancel)
{
    QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    const QByteArray answer = co_await request(QStringLiteral("token?grant_type=password"), body, std::nullopt, {}, cancel);
    co_return EditorAuthTokens::decode(answer);
}

QCoro::Task<EditorAuthTokens> EditorHTTPAuth::refresh(QString token, CancellationToken cancel)
{
    QJsonObject body{{QStringLiteral("refresh_token"), token}};
    const QByteArray answer =
        co_await request(QStringLiteral("token?grant_type=refresh_token"), body, std::nullopt, {}, cancel);
    co_return EditorAuthTokens::decode(answer);
}

QCoro::Task<EditorAuthUser> EditorHTTPAuth::user(QString token, CancellationToken cancel)
{
    const QByteArray answer = co_await request(QStringLiteral("user"), std::nullopt, token, {}, cancel);
    co_return EditorAuthUser::decode(answer);
}

QCoro::Task<void> EditorHTTPAuth::logout(QString token, CancellationToken cancel)
{
    co_await request(QStringLiteral("logout?scope=local"), QJsonObject(), token, {}, cancel);
}

QCoro::Task<void> EditorHTTPAuth::requestPasswordCode(QString email, CancellationToken cancel)
{
    QJsonObject body{{QStringLiteral("email"), email}};
    co_await request(QStringLiteral("recover"), body, std::nullopt, {}, cancel);
}

QCoro::Task<EditorAuthTokens> EditorHTTPAuth::verifyPasswordCode(QString email, QString code, CancellationToken cancel)
{
    QJsonObject body{{QStringLiteral("email"), email},
                     {QStringLiteral("token"), code},
                     {QStringLiteral("type"), QStringLiteral("recovery")}};
    const QByteArray answer = co_await request(QStringLiteral("verify"), body, std::nullopt, {}, cancel);
    co_return EditorAuthTokens::decode(answer);
}

QCoro::Task<EditorAuthUser> EditorHTTPAuth::setPassword(QString password, QString token, CancellationToken cancel)
{
    QJsonObject body{{QStringLiteral("password"), password}};
    const QByteArray answer = co_await request(QStringLiteral("user"), body, token, QByteArrayLiteral("PUT"), cancel);
    co_return EditorAuthUser::decode(answer);
}
