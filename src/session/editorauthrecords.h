#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <optional>

class JsonObjectReader;

// Decoding throws DecodingError (foundation/decoding/strictjson.h): not a
// sentence for a person; callers turn it into their own message.

// The signed-in person as the authentication service describes it.
struct EditorAuthUser
{
    QUuid id;
    std::optional<QString> email;
    std::optional<bool> is_anonymous;

    bool isAnonymous() const { return is_anonymous.value_or(false); }

    // Reads "id" (canonical UUID text in either letter case), "email" and
    // "is_anonymous" (both optional, null counts as absent); other keys are ignored.
    static EditorAuthUser fromJson(const JsonObjectReader &object);
    static EditorAuthUser decode(const QByteArray &json);
    // Writes "id" in upper case; "email" and "is_anonymous" only when present.
    QJsonObject toJson() const;

    bool operator==(const EditorAuthUser &other) const = default;
};

// The answer of a sign-in, a refresh or a code verification.
struct EditorAuthTokens
{
    QString access_token;
    QString refresh_token;
    double expires_in = 0;
    EditorAuthUser user;

    static EditorAuthTokens decode(const QByteArray &json);
    QJsonObject toJson() const;
};

// The form in which a session is kept in the secret store.
struct EditorSavedSession
{
    // Seconds between 1970-01-01 and 2001-01-01 (UTC): the stored form counts from 2001.
    static constexpr double referenceDateOffset = 978307200.0;

    QString configuration;
    EditorAuthUser user;
    QString accessToken;
    QString refreshToken;
    // Expiry as seconds since 1970-01-01 00:00:00 UTC (fraction allowed).
    double expiresAt = 0;

    static EditorSavedSession decode(const QByteArray &json);
    // Compact JSON; "expiresAt" as seconds since 2001-01-01 00:00:00 UTC.
    QByteArray encode() const;
};
