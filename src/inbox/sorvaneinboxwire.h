#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringView>
#include <QUuid>
#include <optional>

// The gate between the tools' output and the inbox: every answer is checked on
// the generic JSON tree (exact key sets at every level, type, length and form
// of each value, relations between values) before any record is built. Every
// refusal is the one sentence of verifyMessage(); output that is not JSON
// fails with the parser's DecodingError, and a checked document that still
// cannot become a record with the decoder's DecodingError.
namespace SorvaneInboxWire {

inline constexpr qsizetype answerLimit = 2097152;
inline constexpr qsizetype metadataLimit = 16384;
inline constexpr qsizetype pageLimit = 50;

QString verifyMessage();

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID);
// What inbox() does after the envelope: the rules of the rows, the cursor and
// the proposed next row, and the page built from the values they checked.
// `rowLimit` is only ever raised to measure the rules on longer lists.
SorvaneInboxPage inboxPage(const QJsonObject &top, qsizetype rowLimit = pageLimit);
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
void item(const QJsonValue &value);
QJsonObject envelope(const QByteArray &bytes, QStringView keys, const std::optional<QUuid> &expectedOperatorID);

} // namespace SorvaneInboxWire
