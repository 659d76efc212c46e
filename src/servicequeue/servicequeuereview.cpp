// Review videos of sent film versions and the customer's recorded reactions:
// download and verify a version's review video, list the reactions of the
// opened task, and download one reaction with its timed comments. Nothing is
// shown until the answer agrees with the task, the operator and the project
// folder.

#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "reviewrules.h"

namespace {

using OperationContext = ServiceQueueModel::OperationContext;

bool sameUuid(const QString &text, const QUuid &expected)
{
    const auto parsed = StrictFormats::parseUuid(text);
    return parsed && *parsed == expected;
}

QCoro::Task<void> reviewVideoOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                       ServiceReceipt request, ServiceProposal proposal)
{
    op.model->review().setReviewVideo(std::nullopt);
    const auto answer = co_await op.model->execute<ServiceReviewVideoDownload>(
        BridgeCommand::serviceReviewPull(credentials, request.company_id, request.id, proposal.id, storageFolder,
                                         op.scope.operatorID),
        *op.editor, op.scope, op.token);
    if (!answer.matches(proposal, request, op.scope.operatorID, storageFolder))
        throw BridgeError::failed(loc("The downloaded film does not match this task and version."));
    op.model->openedTask().setDetail(answer.history);
    op.model->review().setReviewVideo(answer);
    op.editor->setMessage(loc("Film version %lld is verified. Select Play or a feedback timestamp.",
                           {answer.proposalVersion}));
}

QCoro::Task<void> reactionListOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                        ServiceReceipt request)
{
    const auto list = co_await op.model->execute<ServiceReactionList>(
        BridgeCommand::serviceFeedback(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID), *op.editor,
        op.scope, op.token);
    bool valid = list.companyID == request.company_id && list.requestID == request.id
        && sameUuid(list.operatorID, op.scope.operatorID) && list.revision == request.revision
        && list.reactions.size() <= ServiceReactionRules::maximumReactions;
    QSet<QString> seen;
    for (const ServiceReactionSummary &reaction : list.reactions) {
        if (!valid)
            break;
        const QString id = reaction.id();
        valid = !seen.contains(id);
        seen.insert(id);
    }
    // Each reaction is tied to the task as it is shown when the answer arrives.
    for (const ServiceReactionSummary &reaction : list.reactions) {
        if (!valid)
            break;
        valid = ServiceReactionRules::matches(reaction, op.model->openedTask().detail());
    }
    if (!valid)
        throw BridgeError::failed(
            loc("The reaction does not match the reviewed film version. Refresh the task and try again."));
    op.model->review().setReactions(list.reactions);
    op.model->review().setReactionHistoryLoaded(true);
    op.model->review().setReactionDownload(std::nullopt);
}

QCoro::Task<void> reactionPullOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                        ServiceReceipt request, ServiceReactionSummary reaction)
{
    auto answer = co_await op.model->execute<ServiceReactionDownload>(
        BridgeCommand::serviceFeedbackPull(credentials, request.company_id, request.id, storageFolder, reaction.decisionID,
                                           reaction.reactionID, op.scope.operatorID),
        *op.editor, op.scope, op.token);
    bool valid = answer.verified && answer.companyID == request.company_id && answer.requestID == request.id
        && sameUuid(answer.operatorID, op.scope.operatorID) && answer.revision == request.revision
        && answer.selected.id() == reaction.id() && answer.selected.decisionID == reaction.decisionID
        && answer.selected.proposalID == reaction.proposalID
        && ServiceReactionRules::matches(answer.selected, op.model->openedTask().detail());
    std::optional<QString> file;
    if (valid)
        file = ServiceReactionRules::checkedFile(answer.file, request.id, reaction, storageFolder);
    valid = valid && file && answer.annotations.size() == reaction.annotationCount;
    for (const auto &annotation : std::as_const(answer.annotations)) {
        if (!valid)
            break;
        valid = ServiceReactionRules::annotationPasses(annotation, reaction.duration);
    }
    if (!valid)
        throw BridgeError::failed(loc("The downloaded reaction could not be verified against this task."));
    answer.checkedFile = *file;
    op.model->review().setReactionDownload(answer);
}

} // namespace

void ServiceQueueModel::downloadReviewVideo(const ServiceProposal &proposal, ServiceQueueEditor &editor)
{
    if (!m_openedTask.detail())
        return;
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder || m_openedTask.detail()->request.kind != ServiceKind::filmEditing || !proposal.content.video)
        return;
    const bool listed = std::any_of(m_openedTask.detail()->proposals.cbegin(), m_openedTask.detail()->proposals.cend(),
                                    [&](const ServiceProposal &p) { return p.id == proposal.id; });
    if (!listed || !m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id
        || m_openedTask.download()->companyID != m_openedTask.detail()->request.company_id)
        return;
    perform(editor, loc("Downloading and verifying this film version…"),
            [url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request, proposal](OperationContext op) {
                return reviewVideoOperation(std::move(op), url, folder, request, proposal);
            });
}

bool ServiceQueueModel::reactionMatches(const ServiceReactionSummary &reaction) const
{
    return ServiceReactionRules::matches(reaction, m_openedTask.detail());
}

void ServiceQueueModel::readReactions(ServiceQueueEditor &editor)
{
    if (!m_openedTask.detail() || m_openedTask.detail()->request.kind != ServiceKind::filmEditing)
        return;
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    // The pulled material must be on disk; its verdict is not needed to read reactions.
    if (!credentials || !storageFolder || !m_openedTask.download())
        return;
    perform(editor, loc("Loading customer reactions…"),
            [url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request](OperationContext op) {
                return reactionListOperation(std::move(op), url, folder, request);
            });
}

void ServiceQueueModel::pullReaction(const ServiceReactionSummary &reaction, ServiceQueueEditor &editor)
{
    if (!m_openedTask.detail())
        return;
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder)
        return;
    const bool listed = std::any_of(m_review.reactions().cbegin(), m_review.reactions().cend(), [&](const ServiceReactionSummary &r) {
        return r.id() == reaction.id() && r.decisionID == reaction.decisionID;
    });
    if (!listed || !reactionMatches(reaction))
        return;
    perform(editor, loc("Downloading and verifying the reaction…"),
            [url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request, reaction](OperationContext op) {
                return reactionPullOperation(std::move(op), url, folder, request, reaction);
            });
}
