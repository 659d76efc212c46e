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

// The per-task work the memory keeps, each field once in the order it is put
// back: its place in a draft, and the part that holds it with its getter and setter.
template<class Model, class Visit>
void eachRemembered(Model &model, Visit visit)
{
    visit(model.openedTask(), &SelectionDraft::download, &ServiceOpenedTask::download, &ServiceOpenedTask::setDownload);
    visit(model.proposals(), &SelectionDraft::prepared, &ServiceProposalState::prepared, &ServiceProposalState::setPrepared);
    visit(model.proposals(), &SelectionDraft::workspaces, &ServiceProposalState::workspaces,
          &ServiceProposalState::setWorkspaces);
    visit(model.proposals(), &SelectionDraft::proposalFile, &ServiceProposalState::proposalFile,
          &ServiceProposalState::setProposalFile);
    visit(model.proposals(), &SelectionDraft::preview, &ServiceProposalState::preview, &ServiceProposalState::setPreview);
    ServiceVideoDraft &video = model.videoDraft();
    visit(video, &SelectionDraft::videoPreview, &ServiceVideoDraft::videoPreview, &ServiceVideoDraft::setVideoPreview);
    visit(video, &SelectionDraft::videoPreviews, &ServiceVideoDraft::videoPreviews, &ServiceVideoDraft::setVideoPreviews);
    visit(video, &SelectionDraft::videoFile, &ServiceVideoDraft::videoFile, &ServiceVideoDraft::setVideoFile);
    visit(video, &SelectionDraft::uncertainVideoProposalIDs, &ServiceVideoDraft::uncertainVideoProposalIDs,
          &ServiceVideoDraft::setUncertainVideoProposalIDs);
    visit(video, &SelectionDraft::confirmedVideoDelivery, &ServiceVideoDraft::confirmedVideoDelivery,
          &ServiceVideoDraft::setConfirmedVideoDelivery);
    visit(video, &SelectionDraft::videoLabel, &ServiceVideoDraft::videoLabel, &ServiceVideoDraft::setVideoLabel);
    visit(video, &SelectionDraft::videoSummary, &ServiceVideoDraft::videoSummary, &ServiceVideoDraft::setVideoSummary);
    visit(video, &SelectionDraft::videoEditor, &ServiceVideoDraft::videoEditor, &ServiceVideoDraft::setVideoEditor);
}

void ServiceQueueModel::rememberSelection()
{
    if (!m_selectionKey)
        return;
    SelectionDraft draft;
    eachRemembered(*this, [&draft](auto &part, auto field, auto read, auto) { draft.*field = (part.*read)(); });
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
    eachRemembered(*this, [&draft](auto &part, auto field, auto, auto write) { (part.*write)(draft.*field); });
    // Work in flight and given ticks stay with the task they were for.
    m_videoDraft.setVideoSendingProposalID(std::nullopt);
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
    startOperation(editor, title, std::move(operation), std::nullopt);
}

void ServiceQueueModel::startOperation(ServiceQueueEditor &editor, const QString &title, ScopedOperation operation,
                                       const std::optional<ServiceReceipt> &reopened)
{
    const auto captured = scope(editor);
    if (!captured)
        return;
    // Only the note still on screen, of this very task at the revision it raised it to.
    std::optional<QString> kept;
    if (reopened && m_revisionNote && m_revisionNote->key == selectionKey(*captured, reopened->id)
        && m_revisionNote->revision == reopened->revision && editor.message() == m_revisionNote->text)
        kept = m_revisionNote->text;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    const ServiceOperationScope scopeCopy = *captured;
    editor.perform(
        title,
        [self, editorPtr, scopeCopy] { return self && self->current(scopeCopy, *editorPtr); },
        [self, editorPtr, scopeCopy, kept, operation = std::move(operation)](CancellationToken token) {
            // Called once the editor has started the operation and cleared its note.
            if (self)
                self->m_revisionNote.reset();
            if (kept)
                editorPtr->setMessage(kept);
            return scopedOperation(OperationContext{self, editorPtr, scopeCopy, std::move(token)}, operation);
        });
}

QCoro::Task<void> ServiceQueueModel::scopedOperation(OperationContext op, ScopedOperation operation)
{
    // The world may have moved on between the request and the start.
    if (!op.model || !op.model->current(op.scope, *op.editor))
        co_return;
    const auto &shown = op.model->openedTask().detail();
    const std::optional<ServiceReceipt> before = shown ? std::optional<ServiceReceipt>(shown->request) : std::nullopt;
    const QPointer<ServiceQueueModel> model = op.model;
    ServiceQueueEditor *editor = op.editor;
    const ServiceOperationScope scope = op.scope;
    co_await operation(std::move(op));
    if (model && model->current(scope, *editor))
        model->keepRevisionNote(before, scope, *editor);
}

void ServiceQueueModel::keepRevisionNote(const std::optional<ServiceReceipt> &before, const ServiceOperationScope &scope,
                                         const ServiceQueueEditor &editor)
{
    const auto &after = m_openedTask.detail();
    const auto text = editor.message();
    if (!before || !after || !text || after->request.id != before->id || after->request.revision <= before->revision)
        return;
    m_revisionNote = RevisionNote{selectionKey(scope, after->request.id), after->request.revision, *text};
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
