#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

namespace {

// The chosen company as the editor holds it, read as a UUID after trimming.
std::optional<QUuid> trimmedCompany(const ServiceQueueEditor &editor)
{
    return StrictFormats::parseUuid(editor.company().trimmed());
}

} // namespace

ServiceQueueModel::ServiceQueueModel(ServiceBridge bridge, bool isDemo, QObject *parent)
    : QObject(parent)
    , m_bridge(std::move(bridge))
    , m_isDemo(isDemo)
    , m_directoryGeneration(QUuid::createUuid())
    , m_sorvaneOpenIntent(QUuid::createUuid())
    , m_generation(QUuid::createUuid())
{
}

// ---- opened task ----

void ServiceQueueModel::clearSelection()
{
    forgetSelection(false);
}

void ServiceQueueModel::clearTasks()
{
    forgetSelection(true);
}

void ServiceQueueModel::forgetSelection(bool tasks)
{
    rememberSelection();
    set(m_generation, QUuid::createUuid(), &ServiceQueueModel::generationChanged);
    set(m_selectionKey, std::optional<SelectionKey>(), &ServiceQueueModel::selectionKeyChanged);

    tasks ? m_openedTask.clear() : m_openedTask.close();
    m_proposals.setPrepared(std::nullopt);
    m_proposals.setWorkspaces({});
    m_proposals.setProposalFile(std::nullopt);
    m_proposals.setPreview(std::nullopt);
    m_proposals.setConfirmation(false);

    m_videoDraft.setVideoPreview(std::nullopt);
    m_videoDraft.setVideoPreviews({});
    m_videoDraft.setVideoFile(std::nullopt);
    m_videoDraft.setVideoQC(false);
    m_videoDraft.setVideoConfirmation(false);
    m_videoDraft.setUncertainVideoProposalIDs({});
    m_videoDraft.setConfirmedVideoDelivery(std::nullopt);
    m_videoDraft.setVideoSendingProposalID(std::nullopt);

    m_projectCopies.setProjectVersions({});
    m_projectCopies.setProjectVersionsProposalID(std::nullopt);
    m_projectCopies.setAutomaticProjectNames({});
    m_projectCopies.setRequiresProjectSelection(false);

    m_review.setReactions({});
    m_review.setReactionDownload(std::nullopt);
    m_review.setReactionHistoryLoaded(false);
    m_review.setReviewVideo(std::nullopt);

    m_videoDraft.setVideoLabel(ServiceVideoDraft::defaultVideoLabel());
    m_videoDraft.setVideoSummary(QString());
}

void ServiceQueueModel::rememberSelection()
{
    if (!m_selectionKey)
        return;
    SelectionDraft draft;
    draft.download = m_openedTask.download();
    draft.prepared = m_proposals.prepared();
    draft.workspaces = m_proposals.workspaces();
    draft.proposalFile = m_proposals.proposalFile();
    draft.preview = m_proposals.preview();
    draft.videoPreview = m_videoDraft.videoPreview();
    draft.videoPreviews = m_videoDraft.videoPreviews();
    draft.uncertainVideoProposalIDs = m_videoDraft.uncertainVideoProposalIDs();
    draft.confirmedVideoDelivery = m_videoDraft.confirmedVideoDelivery();
    draft.videoFile = m_videoDraft.videoFile();
    draft.videoLabel = m_videoDraft.videoLabel();
    draft.videoSummary = m_videoDraft.videoSummary();
    draft.videoEditor = m_videoDraft.videoEditor();
    m_savedSelections.insert(*m_selectionKey, std::move(draft));
    Q_EMIT savedSelectionsChanged();
}

void ServiceQueueModel::restoreSelection(const SelectionKey &key)
{
    const auto found = m_savedSelections.constFind(key);
    const SelectionDraft draft = found != m_savedSelections.constEnd()
        ? *found
        : SelectionDraft{{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, ServiceVideoDraft::defaultVideoLabel(), QString(), ServiceVideoDraft::defaultVideoEditor()};
    set(m_selectionKey, std::optional<SelectionKey>(key), &ServiceQueueModel::selectionKeyChanged);
    m_openedTask.setDownload(draft.download);
    m_proposals.setPrepared(draft.prepared);
    m_proposals.setWorkspaces(draft.workspaces);
    m_proposals.setProposalFile(draft.proposalFile);
    m_proposals.setPreview(draft.preview);
    m_videoDraft.setVideoPreview(draft.videoPreview);
    m_videoDraft.setVideoPreviews(draft.videoPreviews);
    m_videoDraft.setVideoFile(draft.videoFile);
    m_videoDraft.setUncertainVideoProposalIDs(draft.uncertainVideoProposalIDs);
    m_videoDraft.setConfirmedVideoDelivery(draft.confirmedVideoDelivery);
    m_videoDraft.setVideoSendingProposalID(std::nullopt);
    m_videoDraft.setVideoLabel(draft.videoLabel);
    m_videoDraft.setVideoSummary(draft.videoSummary);
    m_videoDraft.setVideoEditor(draft.videoEditor);
    m_proposals.setConfirmation(false);
    m_videoDraft.setVideoConfirmation(false);
    m_videoDraft.setVideoQC(false);
}

// ---- identity, scope and the operation pattern ----

std::optional<ServiceIdentity> ServiceQueueModel::identity(const ServiceQueueEditor &editor) const
{
    return ServiceIdentity::form(editor.credentials(), editor.repository(), editor.unsupportedTestLaunch());
}

bool ServiceQueueModel::canUseCompany(const ServiceQueueEditor &editor) const
{
    if (!m_directory.companiesVerified() || m_directory.loadingCompanies())
        return false;
    if (m_directory.directoryIdentity() != identity(editor))
        return false;
    if (!m_directory.selectedCompany())
        return false;
    const auto chosen = trimmedCompany(editor);
    return chosen && *chosen == *m_directory.selectedCompanyID();
}

std::optional<ServiceOperationScope> ServiceQueueModel::scope(const ServiceQueueEditor &editor) const
{
    if (!canUseCompany(editor))
        return std::nullopt;
    const auto id = identity(editor);
    if (!id || !m_directory.selectedCompanyID() || !m_directory.operatorID())
        return std::nullopt;
    return ServiceOperationScope{*id, *m_directory.selectedCompanyID(), *m_directory.operatorID(), editor.inbox(), m_generation};
}

bool ServiceQueueModel::current(const ServiceOperationScope &scope, const ServiceQueueEditor &editor) const
{
    if (scope.generation != m_generation)
        return false;
    const auto id = identity(editor);
    if (!id || !(scope.identity == *id))
        return false;
    if (!sameServiceUrl(scope.inbox, editor.inbox()))
        return false;
    if (!m_directory.selectedCompanyID() || scope.companyID != *m_directory.selectedCompanyID())
        return false;
    if (!m_directory.operatorID() || scope.operatorID != *m_directory.operatorID())
        return false;
    return canUseCompany(editor);
}

void ServiceQueueModel::perform(ServiceQueueEditor &editor, const QString &title, ScopedOperation operation)
{
    const auto captured = scope(editor);
    if (!captured)
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    const ServiceOperationScope scopeCopy = *captured;
    editor.perform(
        title,
        [self, editorPtr, scopeCopy] { return self && self->current(scopeCopy, *editorPtr); },
        [self, editorPtr, scopeCopy, operation = std::move(operation)](CancellationToken token) {
            return scopedOperation(OperationContext{self, editorPtr, scopeCopy, std::move(token)}, operation);
        });
}

QCoro::Task<void> ServiceQueueModel::scopedOperation(OperationContext op, ScopedOperation operation)
{
    // The world may have moved on between the request and the start.
    if (!op.model || !op.model->current(op.scope, *op.editor))
        co_return;
    co_await operation(std::move(op));
}

QCoro::Task<QByteArray> ServiceQueueModel::runChecked(BridgeCommand command, ServiceQueueEditor &editor,
                                                      ServiceOperationScope scope, CancellationToken token)
{
    if (!current(scope, editor))
        throw OperationCancelled();
    editor.validateStorage(command);
    QPointer<ServiceQueueModel> self(this);
    const QByteArray answer = co_await m_bridge(command, scope.identity.repository.toLocalFile(), token);
    token.throwIfCancelled();
    if (!self || !self->current(scope, editor))
        throw OperationCancelled();
    co_return answer;
}
