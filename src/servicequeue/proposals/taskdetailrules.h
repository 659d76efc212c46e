#pragma once

// The rules the task detail shows a task by: whose claim it is, the order of sent versions and what belongs to each.

#include "servicequeue/servicerecords.h"

#include <optional>

namespace TaskDetailRules {

// The task's claim is the listed operator's: both absent, or the same text.
bool claimedByOperator(const ServiceReceipt &request, const std::optional<ServiceListing> &listing);
// Highest version first; equal versions keep the task's order.
QList<ServiceProposal> newestFirst(QList<ServiceProposal> proposals);
// The decisions on one proposal, in the task's order.
QList<ServiceDecision> decisionsOn(const QList<ServiceDecision> &decisions, const QString &proposalID);
// The title of the concept option a decision chose, when the proposal offers it.
std::optional<QString> chosenDirection(const ServiceDecision &decision, const ProposalContent &content);
// A verified package of this very task of this company is in hand.
bool deliveryReady(const ServiceReceipt &request, const std::optional<ServiceDownload> &download);
// A hand-off id as a label shows it: its first eight characters, after a
// leading kind word ("writing-") that every folder of the task shares.
QString shortHandoffID(const QString &id);

} // namespace TaskDetailRules
