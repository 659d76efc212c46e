#include "sorvaneinboxcursor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

// A JSON string literal for `text`, escaped as QJsonDocument escapes it.
QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

QJsonObject SorvaneInboxCursor::toJson() const
{
    return QJsonObject{{QStringLiteral("submitted_at"), submittedAt}, {QStringLiteral("id"), uuidText(id)}};
}

std::optional<SorvaneInboxCursor> SorvaneInboxCursor::fromJson(const QJsonObject &object)
{
    // Anchored to the whole text: "$" would also match before a final newline.
    static const QRegularExpression uuidPattern(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")));
    if (object.size() != 2)
        return std::nullopt;
    const QJsonValue submitted = object.value(QStringLiteral("submitted_at"));
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (!submitted.isString() || !id.isString())
        return std::nullopt;
    // QUuid::fromString tolerates braces and trailing junk; the pattern does not.
    if (!uuidPattern.match(id.toString()).hasMatch())
        return std::nullopt;
    return SorvaneInboxCursor{submitted.toString(), QUuid::fromString(id.toString())};
}

QString SorvaneInboxCursor::argumentText() const
{
    // Built by hand: QJsonDocument would sort the keys.
    return QStringLiteral("{\"submitted_at\":") + jsonString(submittedAt) + QStringLiteral(",\"id\":\"")
        + uuidText(id).toUpper() + QStringLiteral("\"}");
}
