#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <optional>

// The keyset paging cursor of the Sorvane inbox: taken from one page's
// "nextCursor" and handed back unchanged to fetch the next page.
struct SorvaneInboxCursor
{
    QString submittedAt; // exactly as the service wrote it
    QUuid id;

    bool operator==(const SorvaneInboxCursor &other) const = default;

    // {"submitted_at": <text>, "id": <36-character UUID text>}
    QJsonObject toJson() const;
    // Strict: exactly the two keys, both strings, the id in its 36-character
    // form (no braces). Nothing for anything else.
    static std::optional<SorvaneInboxCursor> fromJson(const QJsonObject &object);

    // The compact argument form the inbox tool takes: the two keys in the
    // order submitted_at, id; the id in upper case.
    QString argumentText() const;
};
