#pragma once

#include <QHash>
#include <QString>
#include <QUrl>
#include <QUuid>

// Under which session, tools folder and connection a service answer is valid.
// Kept here until the service queue area provides it.
struct ServiceIdentity
{
    QUrl credentials;
    QUrl repository;
    QString connectionIdentity;

    friend bool operator==(const ServiceIdentity &, const ServiceIdentity &) = default;
};

inline size_t qHash(const ServiceIdentity &identity, size_t seed = 0)
{
    return qHashMulti(seed, identity.credentials, identity.repository, identity.connectionIdentity);
}

// A customer company as the directory lists it.
struct ServiceCompany
{
    QUuid id;
    QString name;

    friend bool operator==(const ServiceCompany &, const ServiceCompany &) = default;
};
