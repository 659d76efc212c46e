#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QUuid>
#include <optional>

// Strict readers for the text formats Qt parses too forgivingly: QUuid takes
// braces and trailing junk, Qt::ISODate a bare date or no zone, and Qt's
// Base64 decoder missing padding and stray characters.
namespace StrictFormats {

// Exactly 36 characters in the 8-4-4-4-12 hexadecimal form, either case.
std::optional<QUuid> parseUuid(QStringView text);

// The canonical lower-case 36-character text of a UUID.
QString canonicalUuid(const QUuid &uuid);

// An RFC 3339 internet date-time: full date, "T" or "t", hh:mm:ss with an
// optional fraction (kept to the millisecond), then "Z"/"z" or ±hh:mm.
// Leap second 60 is refused (QTime cannot hold it). The result carries the
// given offset ("-00:00" reads as UTC).
std::optional<QDateTime> parseInternetDateTime(QStringView text);
// The same reading as milliseconds since 1970-01-01T00:00:00Z, and a bare
// yes/no; both cheaper than building a QDateTime.
std::optional<qint64> parseInternetDateTimeMSecs(QStringView text);
bool isInternetDateTime(QStringView text);

// Canonical standard Base64: alphabet A–Z a–z 0–9 + /, padding required, no
// white space, and re-encoding the bytes gives the same text.
std::optional<QByteArray> parseBase64(QStringView text);

} // namespace StrictFormats
