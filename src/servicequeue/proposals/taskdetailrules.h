#pragma once

// The rules the task detail shows a task by: whose claim it is, the order of sent versions and what belongs to each.

#include "servicequeue/servicerecords.h"

#include <QUrl>
#include <optional>

namespace TaskDetailRules {

// Where the detail offers to take or fetch the task: the full screen (it may
// take a waiting task), a ticket's embedded detail (its heading already says
// to take it), or the film envelope of the versions layout.
enum class TakePlace { screen, ticket, filmEnvelope };

// What the detail offers for taking or fetching the task, or the sentence
// that it is someone else's.
struct TakeOrFetch
{
    enum class Action { none, claim, waiting, download, taken };
    Action action = Action::none;
    QString text; // the button's title or the sentence
    bool enabled = true; // a download needs a project folder
    std::optional<QString> note; // below it: where to choose the folder, or where the versions are
};
// The download is offered to the listed operator's own claim, and pressable
// only with a project folder (`projectFolder`, empty when none is chosen).
TakeOrFetch takeOrFetch(const ServiceDetail &detail, const std::optional<ServiceListing> &listing,
                        const QUrl &projectFolder, TakePlace place);

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
