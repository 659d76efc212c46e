#include "serviceidentity.h"

bool sameServiceUrl(const QUrl &a, const QUrl &b)
{
    return a == b && a.toString(QUrl::FullyEncoded) == b.toString(QUrl::FullyEncoded);
}

bool sameServiceUrl(const std::optional<QUrl> &a, const std::optional<QUrl> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameServiceUrl(*a, *b);
}

std::optional<ServiceIdentity> ServiceIdentity::form(const std::optional<QUrl> &credentials, const QUrl &repository,
                                                     bool unsupportedTestLaunch)
{
    if (!credentials)
        return std::nullopt;
    return ServiceIdentity{*credentials, repository,
                           unsupportedTestLaunch ? unsupportedLocalTestConnection() : productionConnection()};
}

bool ServiceIdentity::operator==(const ServiceIdentity &other) const
{
    return sameServiceUrl(credentials, other.credentials) && sameServiceUrl(repository, other.repository)
        && connectionIdentity == other.connectionIdentity;
}

size_t qHash(const ServiceIdentity &identity, size_t seed)
{
    return qHashMulti(seed, identity.credentials.toString(QUrl::FullyEncoded),
                      identity.repository.toString(QUrl::FullyEncoded), identity.connectionIdentity);
}
