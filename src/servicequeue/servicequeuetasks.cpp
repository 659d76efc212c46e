// Task list, opening a task with its history, and claiming it. Each action
// checks its preconditions silently, captures what its commands need, and
// trusts an answer only after comparing it with the task that was asked for.

#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

namespace {

std::optional<QUuid> uuidOf(const QString &text)
{
    return StrictFormats::parseUuid(text);
}

} // namespace

SelectionKey ServiceQueueModel::selectionKey(const ServiceOperationScope &scope, const QString &requestID)
{
    return SelectionKey{scope.identity, scope.companyID, scope.operatorID, requestID, scope.inbox};
}

// ---- list ----

void ServiceQueueModel::list(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    if (!credentials || !canUseCompany(editor) || editor.busy())
        return;
    const QString company = editor.company().trimmed();
    // A failed or stale listing must leave an empty list, never the previous company's.
    clearTasks();
    perform(editor, loc("Henter indsendte opgaver…"),
            [url = *credentials, company](OperationContext op) {
                return listOperation(std::move(op), url, company);
            });
}

QCoro::Task<void> ServiceQueueModel::listOperation(OperationContext op, QUrl credentials, QString company)
{
    const ServiceListing listing = co_await op.model->execute<ServiceListing>(
        BridgeCommand::serviceList(credentials, company, op.scope.operatorID), *op.editor, op.scope, op.token);
    bool belongs = uuidOf(listing.companyID) == op.scope.companyID && uuidOf(listing.operatorID) == op.scope.operatorID;
    for (const ServiceReceipt &row : listing.requests)
        belongs = belongs && uuidOf(row.company_id) == op.scope.companyID;
    if (!belongs)
        throw BridgeError::failed(loc("Opgavelisten tilhører ikke den valgte virksomhed."));
    op.model->openedTask().setListing(listing);
}

// ---- open ----

void ServiceQueueModel::open(ServiceReceipt receipt, ServiceQueueEditor &editor)
{
    openTask(std::move(receipt), editor, nullptr);
}

void ServiceQueueModel::openTask(ServiceReceipt receipt, ServiceQueueEditor &editor,
                                 std::shared_ptr<SorvaneOpeningEnd> handedOver)
{
    const bool reopened = handedOver != nullptr;
    const auto credentials = editor.credentials();
    if (!credentials)
        return;
    if (uuidOf(receipt.company_id) != m_directory.selectedCompanyID())
        return;
    if (!m_openedTask.listing())
        return;
    const bool listed = std::any_of(m_openedTask.listing()->requests.cbegin(), m_openedTask.listing()->requests.cend(),
                                    [&receipt](const ServiceReceipt &row) { return row.id == receipt.id; });
    if (!listed || !canUseCompany(editor) || editor.busy())
        return;

    // The chosen task's remembered drafts show at once, before the service answers.
    clearSelection();
    if (const auto now = scope(editor))
        restoreSelection(selectionKey(*now, receipt.id));

    startOperation(editor, loc("Læser opgaven og tidligere kundesvar…"),
                   [url = *credentials, receipt, handedOver = std::move(handedOver)](OperationContext op) {
                       return handedOver ? handedOverOpenOperation(std::move(op), url, receipt, handedOver)
                                         : openOperation(std::move(op), url, receipt);
                   },
                   reopened ? std::optional<ServiceReceipt>(receipt) : std::nullopt);
}

QCoro::Task<void> ServiceQueueModel::openOperation(OperationContext op, QUrl credentials, ServiceReceipt receipt)
{
    const ServiceDetail detail = co_await op.model->execute<ServiceDetail>(
        BridgeCommand::serviceGet(credentials, receipt.company_id, receipt.id, op.scope.operatorID), *op.editor, op.scope,
        op.token);
    if (uuidOf(detail.request.company_id) != op.scope.companyID || detail.request.id != receipt.id
        || detail.request.revision < receipt.revision)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    // Keep what was done meanwhile, then show it under the operation's own key.
    op.model->rememberSelection();
    op.model->restoreSelection(selectionKey(op.scope, receipt.id));
    op.model->openedTask().setDetail(detail);
}

// ---- history ----

void ServiceQueueModel::refreshHistory(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified
        || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    perform(editor, loc("Læser opgaven og tidligere kundesvar…"),
            [url = *credentials, folder = *storageFolder, request = m_openedTask.detail()->request](OperationContext op) {
                return historyOperation(std::move(op), url, folder, request);
            });
}

QCoro::Task<void> ServiceQueueModel::historyOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                                      ServiceReceipt request)
{
    const ServiceDetail history = co_await op.model->execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID), *op.editor,
        op.scope, op.token);
    if (history.request.id != request.id || history.request.company_id != request.company_id
        || history.request.revision < request.revision)
        throw BridgeError::failed(loc("Historikken er ældre end den viste opgave. Prøv igen."));
    op.model->openedTask().setDetail(history);
    op.editor->setMessage(loc("Historikken er opdateret og kan læses af AI via MCP."));
}

// ---- claim ----

void ServiceQueueModel::claim(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    if (!credentials || !m_openedTask.detail())
        return;
    perform(editor, loc("Tager opgaven…"),
            [url = *credentials, request = m_openedTask.detail()->request](OperationContext op) {
                return claimOperation(std::move(op), url, request);
            });
}

QCoro::Task<void> ServiceQueueModel::claimOperation(OperationContext op, QUrl credentials, ServiceReceipt request)
{
    // The claim's answer only has to be of this task: the task is read again for what to show.
    const ServiceClaim claim = co_await op.model->execute<ServiceClaim>(
        BridgeCommand::serviceClaim(credentials, request.company_id, request.id, request.revision, op.scope.operatorID),
        *op.editor, op.scope, op.token);
    if (claim.request.id != request.id || claim.request.company_id != request.company_id)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    const ServiceDetail detail = co_await op.model->execute<ServiceDetail>(
        BridgeCommand::serviceGet(credentials, request.company_id, request.id, op.scope.operatorID), *op.editor, op.scope,
        op.token);
    op.model->openedTask().setDetail(detail);
}
