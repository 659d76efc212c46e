#include "toolerror.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<QString> toolErrorText(const QByteArray &standardError)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(standardError, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue error = document.object().value(QStringLiteral("error"));
    if (!error.isString() || error.toString().trimmed().isEmpty())
        return std::nullopt;
    return error.toString();
}
