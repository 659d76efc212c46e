// The working folder of the opened task and the written proposal sent from
// it: prepare, resume, preview and send.
#include "servicequeuemodel.h"

#include "servicebriefcheck.h"

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

namespace {

bool isWriting(ServiceKind kind)
{
    return kind == ServiceKind::conceptDevelopment || kind == ServiceKind::scriptDevelopment;
}

BridgeError foreignPackage()
{
    return BridgeError::failed(loc("Klippegrundlaget tilhører ikke den valgte opgave."));
}

BridgeError unconfirmedSend()
{
    return BridgeError::failed(loc("Afsendelsen kunne ikke bekræftes for denne opgave. Gentag det samme gennemgåede udkast."));
}

} // namespace

// ---- prepare ----

void ServiceQueueModel::prepare(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.download() || !m_openedTask.detail())
        return;
    perform(editor, loc("Forbereder opgavens lokale arbejdsmappe…"),
            [request = m_openedTask.detail()->request, download = *m_openedTask.download(), folder = *storageFolder](OperationContext op) {
                return prepareOperation(std::move(op), request, download, folder);
            });
}

QCoro::Task<void> ServiceQueueModel::prepareOperation(OperationContext op, ServiceReceipt request,
                                                      ServiceDownload download, QUrl storageFolder)
{
    PackageContext context;
    if (request.kind == ServiceKind::filmEditing) {
        const auto credentials = op.editor->credentials();
        if (!credentials)
            throw BridgeError::failed(loc("Refresh current instructions before preparing a new workspace."));
        ServiceQueueModel::CurrentBrief current =
            co_await op.model->loadCurrentBrief(*op.editor, download, request, *credentials, storageFolder, op.scope, op.token);
        op.model->openedTask().setDetail(std::move(current.history));
        op.model->openedTask().setInlineBrief(current.context);
        context = std::move(current.context);
    } else {
        context = co_await op.model->execute<PackageContext>(BridgeCommand::context(storageFolder, download.packageID), *op.editor,
                                                          op.scope, op.token);
    }

    if (!packageOwned(context, download, request))
        throw foreignPackage();
    if (context.currentBrief && !briefMatches(*context.currentBrief, request))
        throw foreignPackage();
    const std::optional<QString> briefRevision =
        context.currentBrief ? context.currentBrief->contextRevision : std::nullopt;
    if (briefRevision != context.contextRevision)
        throw foreignPackage();

    op.model->proposals().setPreview(std::nullopt);
    op.model->proposals().setProposalFile(std::nullopt);

    const BridgeCommand handoffCommand = request.kind == ServiceKind::filmEditing
        ? BridgeCommand::prepare(storageFolder, download.packageID, context.summary.fingerprint, context.contextRevision)
        : BridgeCommand::prepareWriting(storageFolder, download.packageID, context.summary.fingerprint);
    const PreparedHandoff handoff = co_await op.model->execute<PreparedHandoff>(handoffCommand, *op.editor, op.scope, op.token);
    op.model->proposals().setPrepared(handoff);

    const ServiceWorkspaces listed = co_await op.model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *op.editor, op.scope, op.token);
    op.model->proposals().setWorkspaces(listed.handoffs);

    if (!isWriting(request.kind))
        co_return;
    const ProposalFile file = co_await op.model->execute<ProposalFile>(
        BridgeCommand::proposalTemplate(storageFolder, request.id, handoff.handoffID), *op.editor, op.scope, op.token);
    op.model->proposals().setProposalFile(file);
}

// ---- resume ----

void ServiceQueueModel::resume(const PreparedHandoff &handoff, ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail())
        return;
    perform(editor, loc("Åbner den tidligere arbejdsmappe…"),
            [request = m_openedTask.detail()->request, handoff, folder = *storageFolder](OperationContext op) {
                return resumeOperation(std::move(op), request, handoff, folder);
            });
}

QCoro::Task<void> ServiceQueueModel::resumeOperation(OperationContext op, ServiceReceipt request,
                                                     PreparedHandoff handoff, QUrl storageFolder)
{
    op.model->proposals().setPreview(std::nullopt);
    op.model->proposals().setPrepared(std::nullopt);
    op.model->proposals().setProposalFile(std::nullopt);

    const ServiceWorkspaces listed = co_await op.model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *op.editor, op.scope, op.token);
    op.model->proposals().setWorkspaces(listed.handoffs);

    // The fresh entry, not the caller's copy: the folder may have changed on disk.
    std::optional<PreparedHandoff> found;
    for (const PreparedHandoff &entry : listed.handoffs) {
        if (entry.handoffID == handoff.handoffID && entry.kind == request.kind) {
            found = entry;
            break;
        }
    }
    if (!found)
        throw BridgeError::failed(loc("Arbejdsmappen kan ikke genåbnes. Kontrollér disken og hent opgaven igen."));

    if (isWriting(request.kind)) {
        const ProposalFile file = co_await op.model->execute<ProposalFile>(
            BridgeCommand::proposalTemplate(storageFolder, request.id, found->handoffID), *op.editor, op.scope, op.token);
        op.model->proposals().setProposalFile(file);
    }
    op.model->proposals().setPrepared(*found);
}

// ---- preview ----

void ServiceQueueModel::readPreview(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_proposals.prepared())
        return;
    perform(editor, loc("Kontrollerer det lokale forslag…"),
            [request = m_openedTask.detail()->request, prepared = *m_proposals.prepared(), folder = *storageFolder](OperationContext op) {
                return previewOperation(std::move(op), request, prepared, folder);
            });
}

QCoro::Task<void> ServiceQueueModel::previewOperation(OperationContext op, ServiceReceipt request,
                                                      PreparedHandoff prepared, QUrl storageFolder)
{
    op.model->proposals().setPreview(std::nullopt);
    op.model->proposals().setConfirmation(false);
    // Compared with the task only when sent: nothing leaves the machine here.
    ProposalPreview preview = co_await op.model->execute<ProposalPreview>(
        BridgeCommand::proposalPreview(storageFolder, request.id, prepared.handoffID, request.revision), *op.editor, op.scope, op.token);
    op.model->proposals().setPreview(std::move(preview));
}

// ---- send ----

void ServiceQueueModel::send(ServiceQueueEditor &editor)
{
    const auto credentials = editor.credentials();
    const auto storageFolder = editor.inbox();
    if (!credentials || !storageFolder || !m_openedTask.detail() || !m_proposals.preview())
        return;
    const ServiceReceipt &request = m_openedTask.detail()->request;
    if (request.kind == ServiceKind::filmEditing || m_proposals.preview()->requestID != request.id
        || m_proposals.preview()->content.kind != request.kind)
        return;
    m_proposals.setConfirmation(false);
    perform(editor, loc("Sender det gennemgåede forslag til kundereview…"),
            [request, preview = *m_proposals.preview(), credentials = *credentials, folder = *storageFolder](OperationContext op) {
                return sendOperation(std::move(op), request, preview, credentials, folder);
            });
}

QCoro::Task<void> ServiceQueueModel::sendOperation(OperationContext op, ServiceReceipt request,
                                                   ProposalPreview preview, QUrl credentials, QUrl storageFolder)
{
    const ProposalSent sent = co_await op.model->execute<ProposalSent>(
        BridgeCommand::proposalSend(credentials, request.company_id, storageFolder, request.id, preview.handoffID,
                                    preview.proposalID, preview.contentHash, preview.expectedRevision,
                                    op.scope.operatorID),
        *op.editor, op.scope, op.token);
    if (sent.proposalID != preview.proposalID || !sent.request.sameTask(request)
        || sent.request.revision < request.revision || sent.version < 1)
        throw unconfirmedSend();

    ServiceDetail received;
    received.request = sent.request;
    if (const auto &shown = op.model->openedTask().detail()) {
        received.proposals = shown->proposals;
        received.decisions = shown->decisions;
    }
    op.model->openedTask().setDetail(std::move(received));
    op.model->proposals().setPreview(std::nullopt);
    op.editor->setMessage(loc("Forslag version %lld er modtaget til kundereview%@.",
                           {sent.version, sent.replayed ? loc(" (tidligere afsendelse bekræftet)") : QString()}));

    // The proposal is with the customer now: a failed refresh must not read as a failed send.
    try {
        ServiceDetail history = co_await op.model->execute<ServiceDetail>(
            BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, op.scope.operatorID),
            *op.editor, op.scope, op.token);
        if (!history.request.sameTask(request) || history.request.revision < sent.request.revision)
            throw BridgeError::failed(QString());
        op.model->openedTask().setDetail(std::move(history));
    } catch (const OperationCancelled &) {
    } catch (...) {
        logFailure(lcServiceQueue, "reading the history after a send");
        if (op.model && op.model->current(op.scope, *op.editor))
            op.editor->setError(loc("Forslaget er modtaget, men historikken kunne ikke opdateres. Hent historikken igen; "
                                 "send ikke et nyt forslag."));
    }
}
