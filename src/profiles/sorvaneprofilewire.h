#pragma once

#include "profiles/sorvaneprofilerecords.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// The gate between the profile tool's answers and the profiles model: every
// answer is checked on the generic JSON tree (size, exact key sets, schema
// version, the name rule, canonical Base64 of a profile JPEG, date-times,
// identities against what was asked) before a record is built. Every refusal
// is the one sentence of verifyMessage(); output that is not JSON fails with
// the parser's DecodingError.
namespace SorvaneProfileWire {

inline constexpr qsizetype ownLimit = 98304;
inline constexpr qsizetype participantsLimit = 4194304;
inline constexpr qsizetype photoTextLimit = 87384;
inline constexpr qsizetype batchLimit = 20;

QString verifyMessage();

// The own profile; with `expectedUserID` the profile must be that user's.
SorvanePersonProfile own(const QByteArray &bytes, const std::optional<QUuid> &expectedUserID);
// The participants of `rows` (1 to 20 rows with distinct UUID ids): exactly one
// item per row, each naming the row's submitter and claimer; in answer order.
QList<SorvaneRequestParticipants> participants(const QByteArray &bytes, const QList<SorvaneInboxRow> &rows);

} // namespace SorvaneProfileWire
