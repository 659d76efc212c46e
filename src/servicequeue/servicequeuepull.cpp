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
    perform(editor, loc("Henter den indsendte version og kontrollerer originalerne…"),
            [url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request, filmEnvelope](OperationContext op) {
                return pullOperation(std::move(op), url, folder, request, filmEnvelope);
            });
}

QCoro::Task<void> ServiceQueueModel::pullOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                                   ServiceReceipt request, bool filmEnvelope)
{
    // Nothing may go on working with material of an earlier pull until this one is verified.
    op.model->openedTask().setPackageContext(std::nullopt);
    op.model->openedTask().setDownload(std::nullopt);
    op.model->proposals().setPrepared(std::nullopt);
    op.model->proposals().setPreview(std::nullopt);
    op.model->proposals().setProposalFile(std::nullopt);
    op.model->proposals().setWorkspaces({});

    const bool film = request.kind == ServiceKind::filmEditing;
    const BridgeCommand command = filmEnvelope && film
        ? BridgeCommand::servicePullFilm(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID)
        : BridgeCommand::servicePull(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID);
    const ServiceDownload download = co_await op.model->execute<ServiceDownload>(command, *op.editor, op.scope, op.token);
    if (download.companyID != request.company_id || download.request.id != request.id
        || download.request.company_id != request.company_id)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    if (!download.verified)
        throw BridgeError::failed(loc("Opgavepakken er ikke verificeret."));

    const PackageInventory inventory =
        co_await op.model->execute<PackageInventory>(BridgeCommand::inventory(storageFolder), *op.editor, op.scope, op.token);
    op.editor->setInventory(inventory);
    op.model->openedTask().setDownload(download);

    const ServiceDetail history = co_await op.model->execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID), *op.editor,
        op.scope, op.token);
    op.model->openedTask().setDetail(history);

    const ServiceWorkspaces workspaces = co_await op.model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *op.editor, op.scope, op.token);
    op.model->proposals().setWorkspaces(workspaces.handoffs);

    if (film) {
        op.model->videoDraft().dropDraft();
        const VideoReviewPreviews pending = co_await op.model->execute<VideoReviewPreviews>(
            BridgeCommand::videoPending(storageFolder, request.id), *op.editor, op.scope, op.token);
        op.model->videoDraft().setVideoPreviews(pending.previews);
    }
    op.editor->setMessage(loc("Den indsendte projektversion er hentet og SHA-256-kontrolleret."));
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
    perform(editor, label,
            [folder = *storageFolder, request = m_openedTask.detail()->request, relink](OperationContext op) {
                return filmFolderOperation(std::move(op), folder, request, relink);
            });
}

QCoro::Task<void> ServiceQueueModel::filmFolderOperation(OperationContext op, QUrl storageFolder,
                                                         ServiceReceipt request, bool relink)
{
    const BridgeCommand command =
        relink ? BridgeCommand::relinkFilm(storageFolder, request.id) : BridgeCommand::packageFilm(storageFolder, request.id);
    const ServiceDownload folder = co_await op.model->execute<ServiceDownload>(command, *op.editor, op.scope, op.token);
    if (!folder.verified || folder.request.id != request.id || folder.companyID != request.company_id
        || folder.diskStatus != QStringLiteral("ready") || !folder.projectFolder)
        throw BridgeError::failed(loc("Could not verify the complete film folder."));

    op.model->openedTask().setDownload(folder);
    op.model->proposals().setPrepared(std::nullopt);
    op.model->openedTask().setInlineBrief(std::nullopt);

    const ServiceWorkspaces workspaces = co_await op.model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *op.editor, op.scope, op.token);
    op.model->proposals().setWorkspaces(workspaces.handoffs);
    op.editor->setMessage(loc("Film folder verified. Original files remain in place; reopen the native editor to "
                           "check external dependencies."));
}
