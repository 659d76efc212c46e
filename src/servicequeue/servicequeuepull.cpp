// Pulling the submitted material of the opened task into the project folder,
// and turning a pulled film task into a complete film folder. What follows a
// pull (package list, history, working folders, video drafts) is brought up
// to date step by step; a later failure keeps what the earlier steps set.

#include "servicequeuemodel.h"

#include "foundation/errors.h"
#include "foundation/localization.h"

// ---- pull ----

void ServiceQueueModel::pull(ServiceQueueEditor &editor, bool filmEnvelope)
{
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder || !m_openedTask.detail())
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, loc("Henter den indsendte version og kontrollerer originalerne…"),
            [self, editorPtr, url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request,
             filmEnvelope](ServiceOperationScope scope, CancellationToken token) {
                return pullOperation(self, editorPtr, url, folder, request, filmEnvelope, std::move(scope),
                                     std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::pullOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                   QUrl credentials, QUrl storageFolder, ServiceReceipt request,
                                                   bool filmEnvelope, ServiceOperationScope scope,
                                                   CancellationToken token)
{
    // Nothing may go on working with material of an earlier pull until this one is verified.
    model->openedTask().setPackageContext(std::nullopt);
    model->openedTask().setDownload(std::nullopt);
    model->proposals().setPrepared(std::nullopt);
    model->proposals().setPreview(std::nullopt);
    model->proposals().setProposalFile(std::nullopt);
    model->proposals().setWorkspaces({});

    const bool film = request.kind == ServiceKind::filmEditing;
    const BridgeCommand command = filmEnvelope && film
        ? BridgeCommand::servicePullFilm(credentials, request.company_id, request.id, storageFolder, scope.operatorID)
        : BridgeCommand::servicePull(credentials, request.company_id, request.id, storageFolder, scope.operatorID);
    const ServiceDownload download = co_await model->execute<ServiceDownload>(command, *editor, scope, token);
    if (download.companyID != request.company_id || download.request.id != request.id
        || download.request.company_id != request.company_id)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    if (!download.verified)
        throw BridgeError::failed(loc("Opgavepakken er ikke verificeret."));

    const PackageInventory inventory =
        co_await model->execute<PackageInventory>(BridgeCommand::inventory(storageFolder), *editor, scope, token);
    editor->setInventory(inventory);
    model->openedTask().setDownload(download);

    const ServiceDetail history = co_await model->execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, scope.operatorID), *editor,
        scope, token);
    model->openedTask().setDetail(history);

    const ServiceWorkspaces workspaces = co_await model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *editor, scope, token);
    model->proposals().setWorkspaces(workspaces.handoffs);

    if (film) {
        model->videoDraft().dropDraft();
        const VideoReviewPreviews pending = co_await model->execute<VideoReviewPreviews>(
            BridgeCommand::videoPending(storageFolder, request.id), *editor, scope, token);
        model->videoDraft().setVideoPreviews(pending.previews);
    }
    editor->setMessage(loc("Den indsendte projektversion er hentet og SHA-256-kontrolleret."));
}

// ---- film folder ----

void ServiceQueueModel::packageFilm(ServiceQueueEditor &editor, bool relink)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || m_openedTask.detail()->request.kind != ServiceKind::filmEditing)
        return;
    if (!m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    const QString label = relink ? loc("Relinking project imports…") : loc("Copying the complete film folder…");
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, label,
            [self, editorPtr, folder = *storageFolder, request = m_openedTask.detail()->request, relink](ServiceOperationScope scope,
                                                                                    CancellationToken token) {
                return filmFolderOperation(self, editorPtr, folder, request, relink, std::move(scope),
                                           std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::filmFolderOperation(QPointer<ServiceQueueModel> model,
                                                         ServiceQueueEditor *editor, QUrl storageFolder,
                                                         ServiceReceipt request, bool relink,
                                                         ServiceOperationScope scope, CancellationToken token)
{
    const BridgeCommand command =
        relink ? BridgeCommand::relinkFilm(storageFolder, request.id) : BridgeCommand::packageFilm(storageFolder, request.id);
    const ServiceDownload folder = co_await model->execute<ServiceDownload>(command, *editor, scope, token);
    if (!folder.verified || folder.request.id != request.id || folder.companyID != request.company_id
        || folder.diskStatus != QStringLiteral("ready") || !folder.projectFolder)
        throw BridgeError::failed(loc("Could not verify the complete film folder."));

    model->openedTask().setDownload(folder);
    model->proposals().setPrepared(std::nullopt);
    model->openedTask().setInlineBrief(std::nullopt);

    const ServiceWorkspaces workspaces = co_await model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *editor, scope, token);
    model->proposals().setWorkspaces(workspaces.handoffs);
    editor->setMessage(loc("Film folder verified. Original files remain in place; reopen the native editor to "
                           "check external dependencies."));
}
