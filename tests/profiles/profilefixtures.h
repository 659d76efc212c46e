#pragma once

// Profile answers, rows and pictures made in the test.

#include "inbox/sorvaneinboxrecords.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

namespace ProfileFixtures {

inline QString id(int n, int salt = 0)
{
    return QStringLiteral("%1-0000-4000-8000-%2").arg(salt, 8, 16, QLatin1Char('0')).arg(n, 12, 16, QLatin1Char('0'));
}

inline QByteArray encode(const QImage &image, const char *format, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

inline QImage solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline QByteArray smallJPEG()
{
    return encode(solid(32, 32, QColor(40, 120, 80)), "jpeg");
}

inline QJsonValue person(const QString &userID, const QJsonValue &name = QJsonValue::Null,
                         const QJsonValue &photo = QJsonValue::Null, const QJsonValue &updated = QJsonValue::Null)
{
    return QJsonObject{{"userID", userID}, {"displayName", name}, {"avatarJPEGBase64", photo}, {"updatedAt", updated}};
}

inline QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QByteArray ownAnswer(const QJsonValue &profile)
{
    return bytes(QJsonObject{{"schemaVersion", 1}, {"profile", profile}});
}

// Row n: task id(n, 1), submitted by id(n, 4), claimed by `claimer` when given.
inline SorvaneInboxRow row(int n, const std::optional<QString> &claimer = std::nullopt)
{
    SorvaneInboxRow row;
    row.request.id = id(n, 1);
    row.request.company_id = id(0, 3);
    row.request.status = claimer ? QStringLiteral("active") : QStringLiteral("waiting");
    row.request.submitted_by = id(n, 4);
    row.request.claimed_by = claimer;
    row.company.id = QUuid(id(0, 3));
    row.company.name = QStringLiteral("Nordlys Film");
    return row;
}

inline QJsonObject item(const SorvaneInboxRow &row, const QString &customerName = QStringLiteral("Mette Holm"))
{
    return QJsonObject{{"requestID", row.request.id.toLower()},
                       {"customer", person(row.request.submitted_by, customerName)},
                       {"instructor", row.request.claimed_by ? person(*row.request.claimed_by) : QJsonValue()}};
}

inline QByteArray participantsAnswer(const QList<SorvaneInboxRow> &rows)
{
    QJsonArray items;
    for (const auto &r : rows)
        items.append(item(r));
    return bytes(QJsonObject{{"schemaVersion", 1}, {"items", items}});
}

} // namespace ProfileFixtures
