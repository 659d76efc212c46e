// The customer's current brief of the opened task, checked against the
// package context and the task's history.
#include "servicequeuemodel.h"

#include "servicebrief.h"

#include "foundation/localization.h"

namespace {

bool sameTask(const ServiceReceipt &a, const ServiceReceipt &b)
{
    return a.id == b.id && a.company_id == b.company_id && a.local_project_id == b.local_project_id
        && a.backup_id == b.backup_id && a.source_fingerprint == b.source_fingerprint && a.kind == b.kind;
}

} // namespace

QCoro::Task<std::pair<PackageContext, ServiceDetail>>
ServiceQueueModel::loadCurrentBrief(ServiceQueueEditor &editor, ServiceDownload download, ServiceReceipt request,
                                    QUrl credentials, QUrl inbox, ServiceOperationScope scope, CancellationToken token)
{
    if (!download.verified || download.companyID != request.company_id || !sameTask(download.request, request))
        throw ServiceBrief::foreignPackage();

    const CurrentServiceBrief pulled = co_await execute<CurrentServiceBrief>(
        BridgeCommand::serviceBriefPull(credentials, request.company_id, request.id, inbox, scope.operatorID), editor,
        scope, token);
    if (!pulled.cached || pulled.requiresRefresh == true || !ServiceBrief::matches(pulled, request))
        throw ServiceBrief::foreignPackage();

    PackageContext context =
        co_await execute<PackageContext>(BridgeCommand::context(inbox, download.packageID), editor, scope, token);
    if (!ServiceBrief::packageBelongsTo(context, download, request) || !context.currentBrief)
        throw ServiceBrief::foreignPackage();
    const CurrentServiceBrief &frozen = *context.currentBrief;
    if (!ServiceBrief::matches(frozen, request) || frozen.requiresRefresh == true
        || context.contextRevision != pulled.contextRevision || frozen.requestRevision != pulled.requestRevision
        || frozen.effectiveInstructions != pulled.effectiveInstructions)
        throw ServiceBrief::foreignPackage();

    ServiceDetail history = co_await execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, inbox, scope.operatorID), editor,
        scope, token);
    if (!sameTask(history.request, request) || !pulled.requestRevision
        || *pulled.requestRevision != history.request.revision)
        throw BridgeError::failed(
            loc("The task changed while refreshing instructions. Refresh again before preparing a version."));

    // Explicit copies: GCC 12 would move named locals out of the frame.
    co_return std::pair<PackageContext, ServiceDetail>(PackageContext(context), ServiceDetail(history));
}
