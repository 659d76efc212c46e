#pragma once

// The customer companies the signed-in person serves, handed out page by
// page, and the check every page passes before any of it is used.

#include "foundation/decoding/strictjson.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

struct ServiceCompany
{
    QUuid id;
    QString name;

    bool operator==(const ServiceCompany &) const = default;
    static ServiceCompany fromJson(const JsonObjectReader &object);
};

struct ServiceCompanyPage
{
    static constexpr qsizetype pageSize = 50;
    static constexpr qsizetype maximumNameLength = 500; // UTF-16 code units

    QUuid operatorID;
    QList<ServiceCompany> companies;
    std::optional<QUuid> nextCompanyID;

    static ServiceCompanyPage fromJson(const JsonObjectReader &object);
    // The whole answer of the companies command; throws DecodingError.
    static ServiceCompanyPage decode(const QByteArray &json);

    // Checks the page as the answer to a request with cursor `after` (none
    // for the first page). Throws BridgeError with one sentence when any rule
    // is broken; which rule is not said.
    void validate(const std::optional<QUuid> &after) const;
};
