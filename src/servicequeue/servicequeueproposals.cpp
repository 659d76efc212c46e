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
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Forbereder opgavens lokale arbejdsmappe…"),
            [self, seam, request = m_openedTask.detail()->request, download = *m_openedTask.download(),
             folder = *storageFolder](ServiceOperationScope scope, CancellationToken token) {
                return prepareOperation(self, seam, request, download, folder, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::prepareOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                      ServiceReceipt request, ServiceDownload download, QUrl storageFolder,
                                                      ServiceOperationScope scope, CancellationToken token)
{
    PackageContext context;
    if (request.kind == ServiceKind::filmEditing) {
        const auto credentials = editor->credentials();
        if (!credentials)
            throw BridgeError::failed(loc("Refresh current instructions before preparing a new workspace."));
        ServiceQueueModel::CurrentBrief current =
            co_await model->loadCurrentBrief(*editor, download, request, *credentials, storageFolder, scope, token);
        model->openedTask().setDetail(std::move(current.history));
        model->openedTask().setInlineBrief(current.context);
        context = std::move(current.context);
    } else {
        context = co_await model->execute<PackageContext>(BridgeCommand::context(storageFolder, download.packageID), *editor,
                                                          scope, token);
    }

    if (!packageOwned(context, download, request))
        throw foreignPackage();
    if (context.currentBrief && !briefMatches(*context.currentBrief, request))
        throw foreignPackage();
    const std::optional<QString> briefRevision =
        context.currentBrief ? context.currentBrief->contextRevision : std::nullopt;
    if (briefRevision != context.contextRevision)
        throw foreignPackage();

    model->proposals().setPreview(std::nullopt);
    model->proposals().setProposalFile(std::nullopt);

    const BridgeCommand handoffCommand = request.kind == ServiceKind::filmEditing
        ? BridgeCommand::prepare(storageFolder, download.packageID, context.summary.fingerprint, context.contextRevision)
        : BridgeCommand::prepareWriting(storageFolder, download.packageID, context.summary.fingerprint);
    const PreparedHandoff handoff = co_await model->execute<PreparedHandoff>(handoffCommand, *editor, scope, token);
    model->proposals().setPrepared(handoff);

    const ServiceWorkspaces listed = co_await model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *editor, scope, token);
    model->proposals().setWorkspaces(listed.handoffs);

    if (!isWriting(request.kind))
        co_return;
    const ProposalFile file = co_await model->execute<ProposalFile>(
        BridgeCommand::proposalTemplate(storageFolder, request.id, handoff.handoffID), *editor, scope, token);
    model->proposals().setProposalFile(file);
}

// ---- resume ----

void ServiceQueueModel::resume(const PreparedHandoff &handoff, ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail())
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Åbner den tidligere arbejdsmappe…"),
            [self, seam, request = m_openedTask.detail()->request, handoff, folder = *storageFolder](ServiceOperationScope scope,
                                                                               CancellationToken token) {
                return resumeOperation(self, seam, request, handoff, folder, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::resumeOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                     ServiceReceipt request, PreparedHandoff handoff, QUrl storageFolder,
                                                     ServiceOperationScope scope, CancellationToken token)
{
    model->proposals().setPreview(std::nullopt);
    model->proposals().setPrepared(std::nullopt);
    model->proposals().setProposalFile(std::nullopt);

    const ServiceWorkspaces listed = co_await model->execute<ServiceWorkspaces>(
        BridgeCommand::serviceWorkspaces(storageFolder, request.id), *editor, scope, token);
    model->proposals().setWorkspaces(listed.handoffs);

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
        const ProposalFile file = co_await model->execute<ProposalFile>(
            BridgeCommand::proposalTemplate(storageFolder, request.id, found->handoffID), *editor, scope, token);
        model->proposals().setProposalFile(file);
    }
    model->proposals().setPrepared(*found);
}

// ---- preview ----

void ServiceQueueModel::readPreview(ServiceQueueEditor &editor)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_proposals.prepared())
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Kontrollerer det lokale forslag…"),
            [self, seam, request = m_openedTask.detail()->request, prepared = *m_proposals.prepared(),
             folder = *storageFolder](ServiceOperationScope scope, CancellationToken token) {
                return previewOperation(self, seam, request, prepared, folder, std::move(scope), std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::previewOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                      ServiceReceipt request, PreparedHandoff prepared, QUrl storageFolder,
                                                      ServiceOperationScope scope, CancellationToken token)
{
    model->proposals().setPreview(std::nullopt);
    model->proposals().setConfirmation(false);
    // Compared with the task only when sent: nothing leaves the machine here.
    ProposalPreview preview = co_await model->execute<ProposalPreview>(
        BridgeCommand::proposalPreview(storageFolder, request.id, prepared.handoffID, request.revision), *editor, scope, token);
    model->proposals().setPreview(std::move(preview));
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
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Sender det gennemgåede forslag til kundereview…"),
            [self, seam, request, preview = *m_proposals.preview(), credentials = *credentials,
             folder = *storageFolder](ServiceOperationScope scope, CancellationToken token) {
                return sendOperation(self, seam, request, preview, credentials, folder, std::move(scope),
                                     std::move(token));
            });
}

QCoro::Task<void> ServiceQueueModel::sendOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                   ServiceReceipt request, ProposalPreview preview, QUrl credentials,
                                                   QUrl storageFolder, ServiceOperationScope scope, CancellationToken token)
{
    const ProposalSent sent = co_await model->execute<ProposalSent>(
        BridgeCommand::proposalSend(credentials, request.company_id, storageFolder, request.id, preview.handoffID,
                                    preview.proposalID, preview.contentHash, preview.expectedRevision,
                                    scope.operatorID),
        *editor, scope, token);
    if (sent.proposalID != preview.proposalID || !sent.request.sameTask(request)
        || sent.request.revision < request.revision || sent.version < 1)
        throw unconfirmedSend();

    ServiceDetail received;
    received.request = sent.request;
    if (const auto &shown = model->openedTask().detail()) {
        received.proposals = shown->proposals;
        received.decisions = shown->decisions;
    }
    model->openedTask().setDetail(std::move(received));
    model->proposals().setPreview(std::nullopt);
    editor->setMessage(loc("Forslag version %lld er modtaget til kundereview%@.",
                           {sent.version, sent.replayed ? loc(" (tidligere afsendelse bekræftet)") : QString()}));

    // The proposal is with the customer now: a failed refresh must not read as a failed send.
    try {
        ServiceDetail history = co_await model->execute<ServiceDetail>(
            BridgeCommand::serviceHistory(credentials, request.company_id, request.id, storageFolder, scope.operatorID),
            *editor, scope, token);
        if (!history.request.sameTask(request) || history.request.revision < sent.request.revision)
            throw BridgeError::failed(QString());
        model->openedTask().setDetail(std::move(history));
    } catch (const OperationCancelled &) {
    } catch (...) {
        logFailure(lcServiceQueue, "reading the history after a send");
        if (model && model->current(scope, *editor))
            editor->setError(loc("Forslaget er modtaget, men historikken kunne ikke opdateres. Hent historikken igen; "
                                 "send ikke et nyt forslag."));
    }
}
