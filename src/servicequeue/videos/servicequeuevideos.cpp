// Video drafts of a film-editing task: the drafts the local video tool keeps
// for the task, preparing a new one, the stage of a draft, its local send
// receipt and its send to the customer.

#include "servicequeue/servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

namespace {

using OperationContext = ServiceQueueModel::OperationContext;

bool sameUuid(const QString &text, const std::optional<QUuid> &id)
{
    const auto parsed = StrictFormats::parseUuid(text);
    return parsed && id && *parsed == *id;
}

BridgeError mismatchedDrafts()
{
    return BridgeError::failed(loc("Udkastene matcher ikke den valgte opgave."));
}

BridgeError unconfirmedSend()
{
    return BridgeError::failed(
        loc("Afsendelsen kunne ikke bekræftes for denne opgave. Gentag det samme gennemgåede udkast."));
}

// The opened task has a verified pull of itself, for its own company.
bool pulledForItself(const ServiceQueueModel &model)
{
    const auto &detail = model.openedTask().detail();
    const auto &download = model.openedTask().download();
    return detail && download && download->verified && download->request.id == detail->request.id
        && download->companyID == detail->request.company_id;
}

void withoutMark(ServiceQueueModel &model, const QString &proposalID)
{
    QSet<QString> marks = model.videoDraft().uncertainVideoProposalIDs();
    marks.remove(proposalID);
    model.videoDraft().setUncertainVideoProposalIDs(marks);
}

void withoutDraft(ServiceQueueModel &model, const QString &proposalID)
{
    QList<VideoReviewPreview> drafts = model.videoDraft().videoPreviews();
    const auto removed = drafts.removeIf([&](const VideoReviewPreview &d) { return d.proposalID == proposalID; });
    if (removed)
        model.videoDraft().setVideoPreviews(std::move(drafts));
}

// Ends the "sending" mark of a send however the send ends: answered,
// failed, cancelled, timed out, or its frame destroyed while it waited.
class SendingMark
{
public:
    SendingMark(const OperationContext &op, QString proposalID)
        : m_model(op.model), m_editor(op.editor), m_scope(op.scope), m_proposalID(std::move(proposalID))
    {
        m_model->videoDraft().setVideoSendingProposalID(m_proposalID);
    }
    SendingMark(const SendingMark &) = delete;
    SendingMark &operator=(const SendingMark &) = delete;
    ~SendingMark()
    {
        if (m_model && m_model->current(m_scope, *m_editor) && m_model->videoDraft().videoSendingProposalID() == m_proposalID)
            m_model->videoDraft().setVideoSendingProposalID(std::nullopt);
    }

private:
    QPointer<ServiceQueueModel> m_model;
    ServiceQueueEditor *m_editor;
    ServiceOperationScope m_scope;
    QString m_proposalID;
};

QCoro::Task<void> refreshDrafts(OperationContext op, ServiceReceipt receipt, QUrl storageFolder)
{
    op.model->videoDraft().setVideoQC(false);
    op.model->videoDraft().setVideoConfirmation(false);
    const VideoReviewPreviews answer = co_await op.model->execute<VideoReviewPreviews>(
        BridgeCommand::videoPending(storageFolder, receipt.id), *op.editor, op.scope, op.token);
    QSet<QString> seen;
    for (const VideoReviewPreview &draft : answer.previews)
        if (draft.requestID != receipt.id || draft.content.kind != ServiceKind::filmEditing)
            throw mismatchedDrafts();
    for (const VideoReviewPreview &draft : answer.previews) {
        if (seen.contains(draft.proposalID))
            throw mismatchedDrafts();
        seen.insert(draft.proposalID);
    }
    // The task may have been read again while the tool ran.
    QSet<QString> sent;
    if (const auto &detail = op.model->openedTask().detail())
        for (const ServiceProposal &proposal : detail->proposals)
            sent.insert(proposal.id);
    QList<VideoReviewPreview> pending;
    for (const VideoReviewPreview &draft : answer.previews)
        if (!sent.contains(draft.proposalID))
            pending.append(draft);
    op.model->videoDraft().setVideoPreviews(pending);
    op.editor->setMessage(pending.isEmpty()
                           ? loc("Ingen nye videoudkast klar til gennemgang.")
                           : loc("Videoudkastene er klar. Åbn et udkast og gennemgå det før afsendelse."));
}

QCoro::Task<void> prepareDraft(OperationContext op, ServiceReceipt receipt, QUrl storageFolder, QUrl video)
{
    // A task that changed before the start ends the operation quietly.
    if (!op.model->canPrepareVideo(*op.editor))
        co_return;
    const auto &before = op.model->openedTask().detail();
    if (!before || before->request.id != receipt.id || before->request.revision != receipt.revision)
        co_return;
    op.model->videoDraft().setVideoQC(false);
    const qint64 revision = before->request.revision;
    const VideoReviewPreview draft = co_await op.model->execute<VideoReviewPreview>(
        BridgeCommand::videoPreview(storageFolder, receipt.id, video, revision, op.model->videoDraft().videoLabel(), op.model->videoDraft().videoSummary(),
                                    op.model->videoDraft().videoEditor()),
        *op.editor, op.scope, op.token);
    // The draft the tool kept stays in the project folder either way; the
    // next refresh of the task lists it.
    if (!op.model->canPrepareVideo(*op.editor))
        co_return;
    const auto &after = op.model->openedTask().detail();
    if (!after || after->request.id != receipt.id || after->request.revision != revision)
        co_return;
    if (draft.requestID != receipt.id || draft.content.kind != ServiceKind::filmEditing
        || draft.expectedRevision != revision)
        throw mismatchedDrafts();
    op.model->videoDraft().setVideoPreview(draft);
}

QCoro::Task<void> checkReceipt(OperationContext op, ServiceReceipt receipt, QUrl storageFolder,
                               VideoReviewPreview preview, bool reopen)
{
    const VideoDeliveryStatus status = co_await op.model->execute<VideoDeliveryStatus>(
        BridgeCommand::videoStatus(storageFolder, receipt.id, preview.proposalID), *op.editor, op.scope, op.token);
    if (!status.matches(preview.proposalID))
        throw unconfirmedSend();
    op.model->videoDraft().setVideoConfirmation(false);
    if (status.state == VideoDeliveryStatus::State::NotConfirmedLocally) {
        if (reopen) {
            // A reopened draft is sent only after its quality check is ticked again.
            op.model->videoDraft().setVideoPreview(preview);
            op.model->videoDraft().setVideoQC(false);
        }
        op.editor->setMessage(loc("No local send receipt. Review or retry this same frozen version; do not prepare a "
                               "replacement just to resend."));
        co_return;
    }
    op.model->videoDraft().setConfirmedVideoDelivery(status);
    withoutMark(*op.model, preview.proposalID);
    withoutDraft(*op.model, preview.proposalID);
    if (op.model->videoDraft().videoPreview() && op.model->videoDraft().videoPreview()->proposalID == preview.proposalID) {
        op.model->videoDraft().dropDraft();
    }
    op.editor->setMessage(loc("Local receipt confirms version %lld was sent. Refresh history for customer feedback.",
                           {*status.version}));
}

QCoro::Task<void> sendDraft(OperationContext op, ServiceReceipt receipt, QUrl credentials, QUrl storageFolder,
                            QString proposalID)
{
    if (!op.model->videoDraft().videoQC())
        co_return;
    const auto &draft = op.model->videoDraft().videoPreview();
    if (!draft || draft->proposalID != proposalID)
        co_return;
    const auto &before = op.model->openedTask().detail();
    if (!before || before->request.id != receipt.id || before->request.revision != receipt.revision)
        co_return;

    // Marked unconfirmed before the tool runs: only a checked answer or a
    // confirming receipt removes the mark, so a lost answer keeps it.
    const SendingMark sending(op, proposalID);
    QSet<QString> marks = op.model->videoDraft().uncertainVideoProposalIDs();
    marks.insert(proposalID);
    op.model->videoDraft().setUncertainVideoProposalIDs(marks);

    const ProposalSent sent = co_await op.model->execute<ProposalSent>(
        BridgeCommand::videoSend(credentials, receipt.company_id, storageFolder, receipt.id, proposalID), *op.editor, op.scope,
        op.token);
    if (sent.proposalID != proposalID || !sent.request.sameTask(receipt) || sent.request.revision < receipt.revision
        || sent.version < 1)
        throw unconfirmedSend();

    ServiceDetail updated;
    updated.request = sent.request;
    if (const auto &now = op.model->openedTask().detail()) {
        updated.proposals = now->proposals;
        updated.decisions = now->decisions;
    }
    op.model->openedTask().setDetail(std::move(updated));
    op.model->videoDraft().setConfirmedVideoDelivery(VideoDeliveryStatus{sent.proposalID,
                                                         VideoDeliveryStatus::State::SentForCustomerReview,
                                                         sent.version, false});
    withoutMark(*op.model, proposalID);
    op.model->videoDraft().dropDraft();
    withoutDraft(*op.model, proposalID);
    op.editor->setMessage(loc("Videoudkast version %lld er modtaget · %@ · opgaverevision %lld%@.",
                           {sent.version, sent.request.statusTitle(), sent.request.revision,
                            sent.replayed ? loc(" (tidligere afsendelse bekræftet)") : QString()}));

    // The send is done; a history that cannot be read only asks for a reload.
    try {
        ServiceDetail history = co_await op.model->execute<ServiceDetail>(
            BridgeCommand::serviceHistory(credentials, receipt.company_id, receipt.id, storageFolder, op.scope.operatorID),
            *op.editor, op.scope, op.token);
        const ServiceReceipt &read = history.request;
        if (read.id != receipt.id || read.company_id != receipt.company_id || read.kind != sent.request.kind
            || read.local_project_id != receipt.local_project_id || read.backup_id != receipt.backup_id
            || read.source_fingerprint != receipt.source_fingerprint || read.revision < sent.request.revision)
            throw BridgeError::failed(QString());
        op.model->openedTask().setDetail(std::move(history));
    } catch (const OperationCancelled &) {
        co_return;
    } catch (...) {
        logFailure(lcServiceQueue, "reading the task history after a video draft");
        if (op.model && op.model->current(op.scope, *op.editor))
            op.editor->setError(loc("Opgavens seneste historik kunne ikke hentes. Videoudkastet er modtaget. Hent "
                                 "opgaven igen for at opdatere historikken."));
    }
}

} // namespace

void ServiceQueueModel::refreshVideoPreviews(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || m_openedTask.detail()->request.kind != ServiceKind::filmEditing || !pulledForItself(*this))
        return;
    const ServiceReceipt receipt = m_openedTask.detail()->request;
    perform(editor, loc("Henter klargjorte videoudkast…"),
            [receipt, storageFolder = *storageFolder](OperationContext op) {
                return refreshDrafts(std::move(op), receipt, storageFolder);
            });
}

bool ServiceQueueModel::canPrepareVideo(const ServiceQueueEditor &editor) const
{
    if (!canUseCompany(editor) || !m_directory.operatorID() || !m_openedTask.detail())
        return false;
    const ServiceReceipt &task = m_openedTask.detail()->request;
    if (task.kind != ServiceKind::filmEditing)
        return false;
    if (!task.status.isWorkable())
        return false;
    if (!sameUuid(task.company_id, m_directory.selectedCompanyID()) || !sameUuid(task.claimed_by.value_or(QString()), m_directory.operatorID()))
        return false;
    if (!m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != task.id)
        return false;
    const ServiceReceipt &pulled = m_openedTask.download()->request;
    if (!sameUuid(m_openedTask.download()->companyID, m_directory.selectedCompanyID()) || !sameUuid(pulled.company_id, m_directory.selectedCompanyID()))
        return false;
    return pulled.kind == ServiceKind::filmEditing && pulled.local_project_id == task.local_project_id
        && pulled.backup_id == task.backup_id && pulled.source_fingerprint == task.source_fingerprint;
}

void ServiceQueueModel::prepareVideo(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!canPrepareVideo(editor) || !storageFolder || !m_openedTask.detail() || !m_videoDraft.videoFile())
        return;
    const ServiceReceipt receipt = m_openedTask.detail()->request;
    perform(editor, loc("Kontrollerer og gemmer den eksporterede video…"),
            [receipt, storageFolder = *storageFolder, video = *m_videoDraft.videoFile()](OperationContext op) {
                return prepareDraft(std::move(op), receipt, storageFolder, video);
            });
}

ServiceVideoStage ServiceQueueModel::videoStage(const VideoReviewPreview &preview) const
{
    if (m_videoDraft.videoSendingProposalID() && *m_videoDraft.videoSendingProposalID() == preview.proposalID)
        return ServiceVideoStage::sending;
    if (m_videoDraft.uncertainVideoProposalIDs().contains(preview.proposalID))
        return ServiceVideoStage::sendUnconfirmed;
    return m_videoDraft.videoQC() ? ServiceVideoStage::reviewed : ServiceVideoStage::preparedLocally;
}

void ServiceQueueModel::checkVideoDelivery(const VideoReviewPreview &preview, ServiceQueueEditor &editor, bool reopen)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || preview.requestID != m_openedTask.detail()->request.id
        || preview.content.kind != ServiceKind::filmEditing || !pulledForItself(*this))
        return;
    const ServiceReceipt receipt = m_openedTask.detail()->request;
    perform(editor, loc("Checking this version's send receipt…"),
            [receipt, storageFolder = *storageFolder, preview, reopen](OperationContext op) {
                return checkReceipt(std::move(op), receipt, storageFolder, preview, reopen);
            });
}

void ServiceQueueModel::sendVideo(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    const auto credentials = editor.credentials();
    if (!m_videoDraft.videoQC() || !storageFolder || !credentials || !m_openedTask.detail() || !m_videoDraft.videoPreview())
        return;
    if (m_openedTask.detail()->request.kind != ServiceKind::filmEditing || m_videoDraft.videoPreview()->content.kind != ServiceKind::filmEditing
        || m_videoDraft.videoPreview()->requestID != m_openedTask.detail()->request.id)
        return;
    // Cleared even when another operation keeps this one from starting.
    m_videoDraft.setVideoConfirmation(false);
    const ServiceReceipt receipt = m_openedTask.detail()->request;
    perform(editor, loc("Bevarer projektversion og sender videoudkast…"),
            [receipt, credentials = *credentials, storageFolder = *storageFolder, proposalID = m_videoDraft.videoPreview()->proposalID](OperationContext op) {
                return sendDraft(std::move(op), receipt, credentials, storageFolder, proposalID);
            });
}

void ServiceQueueModel::editVideoText(VideoText field, const QString &value)
{
    bool changed = false;
    switch (field) {
    case VideoText::label:
        changed = value != m_videoDraft.videoLabel();
        m_videoDraft.setVideoLabel(value);
        break;
    case VideoText::summary:
        changed = value != m_videoDraft.videoSummary();
        m_videoDraft.setVideoSummary(value);
        break;
    case VideoText::editor:
        changed = value != m_videoDraft.videoEditor();
        m_videoDraft.setVideoEditor(value);
        break;
    }
    if (changed)
        m_videoDraft.dropDraft();
}

void ServiceQueueModel::chooseVideoFile(const QUrl &file)
{
    m_videoDraft.setVideoFile(file);
    m_videoDraft.dropDraft();
}
