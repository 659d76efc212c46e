#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringView>
#include <QUuid>
#include <optional>

// The gate between the tools' output and the inbox: every answer is checked
// (exact key sets at every level, type, length and form of each value,
// relations between values) before any record is built. Inbox pages and
// claim answers, the large ones, are checked while they are read straight
// from the bytes; the others on the generic JSON tree. Every refusal is the
// one sentence of verifyMessage(); output that is not JSON fails with the
// parser's DecodingError (wherever the fault lies, as if parsed first), and a
// checked document that still cannot become a record with the decoder's
// DecodingError.
namespace SorvaneInboxWire {

inline constexpr qsizetype answerLimit = 2097152;
inline constexpr qsizetype metadataLimit = 16384;
inline constexpr qsizetype pageLimit = 50;

QString verifyMessage();

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID);
// The same with the page's row limit and the answer's byte limit raised, only
// ever to measure the rules on longer lists.
SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID, qsizetype rowLimit,
                       qsizetype byteLimit);
SorvanePipelinePage pipeline(const QByteArray &bytes, const QUuid &companyID, const QUuid &expectedOperatorID);
SorvaneMutationResult mutation(const QByteArray &bytes, const QUuid &expectedOperatorID);
SorvaneMetadataSettings metadata(const QByteArray &bytes, const QUuid &companyID);

// The shared rules. A missing member is an undefined QJsonValue; the scalar
// rules answer false for it and never throw.
QJsonObject object(const QJsonValue &value, QStringView keys);
bool uuid(const QJsonValue &value);
bool timestamp(const QJsonValue &value);
bool text(const QJsonValue &value, qsizetype limit, bool empty = false);
bool integer(const QJsonValue &value, qint64 minimum);
QJsonObject company(const QJsonValue &value);
QJsonObject film(const QJsonValue &value, bool pipeline);
QJsonObject envelope(const QByteArray &bytes, QStringView keys, const std::optional<QUuid> &expectedOperatorID);

} // namespace SorvaneInboxWire
