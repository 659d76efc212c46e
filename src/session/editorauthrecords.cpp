#include "editorauthrecords.h"

#include "foundation/decoding/strictjson.h"

#include <QJsonDocument>

EditorAuthUser EditorAuthUser::fromJson(const JsonObjectReader &object)
{
    EditorAuthUser user;
    user.id = object.uuid("id");
    user.email = object.optionalString("email");
    user.is_anonymous = object.optionalBoolean("is_anonymous");
    return user;
}

EditorAuthUser EditorAuthUser::decode(const QByteArray &json)
{
    return fromJson(JsonObjectReader::parse(json));
}

QJsonObject EditorAuthUser::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper());
    if (email)
        object.insert(QStringLiteral("email"), *email);
    if (is_anonymous)
        object.insert(QStringLiteral("is_anonymous"), *is_anonymous);
    return object;
}

EditorAuthTokens EditorAuthTokens::decode(const QByteArray &json)
{
    const JsonObjectReader object = JsonObjectReader::parse(json);
    EditorAuthTokens tokens;
    tokens.access_token = object.string("access_token");
    tokens.refresh_token = object.string("refresh_token");
    tokens.expires_in = object.number("expires_in");
    tokens.user = object.object("user", &EditorAuthUser::fromJson);
    return tokens;
}

QJsonObject EditorAuthTokens::toJson() const
{
    return QJsonObject{{QStringLiteral("access_token"), access_token},
                       {QStringLiteral("refresh_token"), refresh_token},
                       {QStringLiteral("expires_in"), expires_in},
                       {QStringLiteral("user"), user.toJson()}};
}

EditorSavedSession EditorSavedSession::decode(const QByteArray &json)
{
    const JsonObjectReader object = JsonObjectReader::parse(json);
    EditorSavedSession session;
    session.configuration = object.string("configuration");
    session.user = object.object("user", &EditorAuthUser::fromJson);
    session.accessToken = object.string("accessToken");
    session.refreshToken = object.string("refreshToken");
    session.expiresAt = object.number("expiresAt") + referenceDateOffset;
    return session;
}

QByteArray EditorSavedSession::encode() const
{
    const QJsonObject object{{QStringLiteral("configuration"), configuration},
                             {QStringLiteral("user"), user.toJson()},
                             {QStringLiteral("accessToken"), accessToken},
                             {QStringLiteral("refreshToken"), refreshToken},
                             {QStringLiteral("expiresAt"), expiresAt - referenceDateOffset}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
