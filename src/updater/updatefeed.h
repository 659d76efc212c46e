#pragma once

#include "updateframework.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The feed and the version rules, apart from any network.
namespace UpdateFeed {
inline constexpr qint64 archiveLimit = qint64(2) * 1024 * 1024 * 1024;

// The items of a feed document; nothing when the document is malformed.
std::optional<QList<UpdateItem>> parse(const QByteArray &xml);
// The 64 bytes of the feed's detached signature file (canonical Base64,
// surrounding white space allowed); nothing when it is anything else.
std::optional<QByteArray> signature(const QByteArray &text);
// Exactly `bytes` bytes in canonical standard Base64, else nothing.
std::optional<QByteArray> canonicalBase64(QStringView text, qsizetype bytes);
// Dotted numeric versions ("2.10" after "2.9"); negative, 0 or positive. A
// pre-release ("2.0-beta") comes before its release ("2.0"); pre-releases of
// one release compare by their dotted parts, numbers before words.
int compareVersions(const QString &a, const QString &b);
// This computer, as feeds name it ("linux-x86_64").
QString currentPlatform();
// Ed25519 with libsodium; `publicKey` is 32 bytes.
bool verify(const uchar *data, qsizetype size, const QByteArray &signature, const QByteArray &publicKey);
} // namespace UpdateFeed
