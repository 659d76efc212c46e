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
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, loc("Henter indsendte opgaver…"),
            [self, editorPtr, url = *credentials, company](ServiceOperationScope scope, CancellationToken token) {
                return listOperation(self, editorPtr, url, company, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::listOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                   QUrl credentials, QString company, ServiceOperationScope scope,
                                                   CancellationToken token)
{
    const ServiceListing listing = co_await model->execute<ServiceListing>(
        BridgeCommand::serviceList(credentials, company, scope.operatorID), *editor, scope, token);
    bool belongs = uuidOf(listing.companyID) == scope.companyID && uuidOf(listing.operatorID) == scope.operatorID;
    for (const ServiceReceipt &row : listing.requests)
        belongs = belongs && uuidOf(row.company_id) == scope.companyID;
    if (!belongs)
        throw BridgeError::failed(loc("Opgavelisten tilhører ikke den valgte virksomhed."));
    model->openedTask().setListing(listing);
}

// ---- open ----

void ServiceQueueModel::open(ServiceReceipt receipt, ServiceQueueEditor &editor)
{
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

    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, loc("Læser opgaven og tidligere kundesvar…"),
            [self, editorPtr, url = *credentials, receipt](ServiceOperationScope scope, CancellationToken token) {
                return openOperation(self, editorPtr, url, receipt, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::openOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                   QUrl credentials, ServiceReceipt receipt,
                                                   ServiceOperationScope scope, CancellationToken token)
{
    const ServiceDetail detail = co_await model->execute<ServiceDetail>(
        BridgeCommand::serviceGet(credentials, receipt.company_id, receipt.id, scope.operatorID), *editor, scope,
        token);
    if (uuidOf(detail.request.company_id) != scope.companyID || detail.request.id != receipt.id
        || detail.request.revision < receipt.revision)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    // Keep what was done meanwhile, then show it under the operation's own key.
    model->rememberSelection();
    model->restoreSelection(selectionKey(scope, receipt.id));
    model->openedTask().setDetail(detail);
}

// ---- history ----

void ServiceQueueModel::refreshHistory(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified
        || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, loc("Læser opgaven og tidligere kundesvar…"),
            [self, editorPtr, url = *credentials, folder = *storageFolder,
             request = m_openedTask.detail()->request](ServiceOperationScope scope, CancellationToken token) {
                return historyOperation(self, editorPtr, url, folder, request, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::historyOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                      QUrl credentials, QUrl storageFolder, ServiceReceipt request,
                                                      ServiceOperationScope scope, CancellationToken token)
{
    const ServiceDetail history = co_await model->execute<ServiceDetail>(
        BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, scope.operatorID), *editor,
        scope, token);
    if (history.request.id != request.id || history.request.company_id != request.company_id
        || history.request.revision < request.revision)
        throw BridgeError::failed(loc("Historikken er ældre end den viste opgave. Prøv igen."));
    model->openedTask().setDetail(history);
    editor->setMessage(loc("Historikken er opdateret og kan læses af AI via MCP."));
}

// ---- claim ----

void ServiceQueueModel::claim(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    if (!credentials || !m_openedTask.detail())
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    perform(editor, loc("Tager opgaven…"),
            [self, editorPtr, url = *credentials, request = m_openedTask.detail()->request](ServiceOperationScope scope,
                                                                               CancellationToken token) {
                return claimOperation(self, editorPtr, url, request, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::claimOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                    QUrl credentials, ServiceReceipt request,
                                                    ServiceOperationScope scope, CancellationToken token)
{
    // The claim's answer only has to be of this task: the task is read again for what to show.
    const ServiceClaim claim = co_await model->execute<ServiceClaim>(
        BridgeCommand::serviceClaim(credentials, request.company_id, request.id, request.revision, scope.operatorID),
        *editor, scope, token);
    if (claim.request.id != request.id || claim.request.company_id != request.company_id)
        throw BridgeError::failed(loc("Opgaven tilhører ikke den valgte virksomhed."));
    const ServiceDetail detail = co_await model->execute<ServiceDetail>(
        BridgeCommand::serviceGet(credentials, request.company_id, request.id, scope.operatorID), *editor, scope,
        token);
    model->openedTask().setDetail(detail);
}
