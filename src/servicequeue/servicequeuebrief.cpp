// The customer's brief of a downloaded task: the package context read from
// the project folder, and the refresh that pulls the current instructions
// and checks them against the context and the task's history.

#include "servicebriefcheck.h"
#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

namespace {

QString notOfTheTask() { return loc("Klippegrundlaget tilhører ikke den valgte opgave."); }

// The opened task has a verified download of its own.
bool downloadOfOpenedTask(const std::optional<ServiceDownload> &download, const std::optional<ServiceDetail> &detail)
{
    return download && download->verified && detail && download->request.id == detail->request.id
        && download->companyID == detail->request.company_id;
}

} // namespace

// ---- package brief ----

void ServiceQueueModel::readBrief(ServiceQueueEditor &editor, bool presentSheet)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !downloadOfOpenedTask(m_openedTask.download(), m_openedTask.detail()))
        return;
    perform(editor, loc("Læser klippegrundlaget…"),
            [folder = *storageFolder, download = *m_openedTask.download(), request = m_openedTask.detail()->request, presentSheet](OperationContext op) {
                return readBriefOperation(std::move(op), folder, download, request, presentSheet);
            });
}

QCoro::Task<void> ServiceQueueModel::readBriefOperation(OperationContext op, QUrl storageFolder,
                                                        ServiceDownload download, ServiceReceipt request,
                                                        bool presentSheet)
{
    // An open brief sheet closes, also when the read then fails.
    op.model->openedTask().setPackageContext(std::nullopt);
    const PackageContext context = co_await op.model->execute<PackageContext>(
        BridgeCommand::context(storageFolder, download.packageID), *op.editor, op.scope, op.token);
    if (!packageOwned(context, download, request)
        || (context.currentBrief && !briefMatches(*context.currentBrief, request)))
        throw BridgeError::failed(notOfTheTask());
    op.model->openedTask().setInlineBrief(context);
    if (presentSheet)
        op.model->openedTask().setPackageContext(context);
}

// ---- current brief ----

void ServiceQueueModel::refreshCurrentBrief(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    const auto credentials = editor.credentials();
    if (!storageFolder || !credentials || !downloadOfOpenedTask(m_openedTask.download(), m_openedTask.detail()))
        return;
    perform(editor, loc("Refreshing current customer instructions…"),
            [url = *credentials, folder = *storageFolder, download = *m_openedTask.download(), request = m_openedTask.detail()->request](OperationContext op) {
                return refreshBriefOperation(std::move(op), url, folder, download, request);
            });
}

QCoro::Task<void> ServiceQueueModel::refreshBriefOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                                           ServiceDownload download, ServiceReceipt request)
{
    // A quality tick or a pending send confirmation was given for the old instructions.
    op.model->videoDraft().setVideoQC(false);
    op.model->videoDraft().setVideoConfirmation(false);
    const CurrentBrief brief =
        co_await op.model->loadCurrentBrief(*op.editor, download, request, credentials, storageFolder, op.scope, op.token);
    op.model->openedTask().setDetail(brief.history);
    op.model->openedTask().setInlineBrief(brief.context);
    op.editor->setMessage(
        loc("Current instructions refreshed. The original submission and prepared versions are unchanged."));
}

QCoro::Task<ServiceQueueModel::CurrentBrief>
ServiceQueueModel::loadCurrentBrief(ServiceQueueEditor &editor, ServiceDownload download, ServiceReceipt request,
                                    QUrl credentials, QUrl storageFolder, ServiceOperationScope scope, CancellationToken token)
{
    if (!download.verified || download.companyID != request.company_id || !download.request.sameTask(request))
        throw BridgeError::failed(notOfTheTask());

    const CurrentServiceBrief pulled = co_await execute<CurrentServiceBrief>(
        BridgeCommand::serviceBriefPull(credentials, request.company_id, request.id, storageFolder, scope.operatorID), editor,
        scope, token);
    if (!pulled.cached || pulled.requiresRefresh.value_or(false) || !briefMatches(pulled, request))
        throw BridgeError::failed(notOfTheTask());

    PackageContext context = co_await execute<PackageContext>(BridgeCommand::context(storageFolder, download.packageID),
                                                              editor, scope, token);
    const std::optional<CurrentServiceBrief> &kept = context.currentBrief;
    if (!packageOwned(context, download, request) || !kept || !briefMatches(*kept, request)
        || kept->requiresRefresh.value_or(false) || context.contextRevision != pulled.contextRevision
        || kept->requestRevision != pulled.requestRevision
        || kept->effectiveInstructions != pulled.effectiveInstructions)
        throw BridgeError::failed(notOfTheTask());

    ServiceDetail history = co_await execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, scope.operatorID), editor,
        scope, token);
    if (!history.request.sameTask(request) || pulled.requestRevision != history.request.revision)
        throw BridgeError::failed(
            loc("The task changed while refreshing instructions. Refresh again before preparing a version."));
    // Explicit copies: a named local handed to co_return would be moved out of twice with GCC 12.
    co_return CurrentBrief{PackageContext(context), ServiceDetail(history)};
}
