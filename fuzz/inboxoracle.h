#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QUuid>
#include <optional>

// The reference for the differential fuzz target: what SorvaneInboxWire's
// inbox() and mutation() answered when they checked a parsed JSON tree.
namespace InboxOracle {

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID);
SorvaneInboxPage inboxPage(const QJsonObject &top, qsizetype rowLimit = 50);
SorvaneMutationResult mutation(const QByteArray &bytes, const QUuid &expectedOperatorID);

} // namespace InboxOracle
