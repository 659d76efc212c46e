#pragma once

// Under which session, tools folder and connection a service answer is valid.

#include <QHashFunctions>
#include <QString>
#include <QUrl>
#include <optional>

struct ServiceIdentity
{
    QUrl credentials;
    QUrl repository;
    QString connectionIdentity;

    static QString productionConnection() { return QStringLiteral("production"); }
    static QString unsupportedLocalTestConnection() { return QStringLiteral("unsupported-local-test"); }

    // The one rule every model forms its identity by: none without a signed-in
    // session; the connection names a refused local test launch apart.
    static std::optional<ServiceIdentity> form(const std::optional<QUrl> &credentials, const QUrl &repository,
                                               bool unsupportedTestLaunch);

    // QUrl equality forgives letter case in scheme and host; identities must
    // not, so the URLs are compared by their full encoded text as well.
    bool operator==(const ServiceIdentity &other) const;
};

size_t qHash(const ServiceIdentity &identity, size_t seed = 0);

// URL value equality without QUrl's forgiveness of letter case in scheme and host.
bool sameServiceUrl(const QUrl &a, const QUrl &b);
bool sameServiceUrl(const std::optional<QUrl> &a, const std::optional<QUrl> &b);
