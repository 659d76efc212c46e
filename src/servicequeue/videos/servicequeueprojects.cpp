// Native editor project copies kept beside a video version: listing them,
// turning off the automatic copy at later deliveries, and keeping a copy of
// the project chosen for the draft under review.

#include "servicequeue/servicequeuemodel.h"

#include "foundation/errors.h"
#include "foundation/localization.h"

namespace {

BridgeError mismatchedCopy()
{
    return BridgeError::failed(loc("Projektkopien matcher ikke videoversionen."));
}

QCoro::Task<void> listCopies(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor, ServiceReceipt receipt,
                             QUrl storageFolder, QString proposalID, ServiceOperationScope scope, CancellationToken token)
{
    // Cleared first: a failed read must not leave another version's copies on show.
    model->projectCopies().setProjectVersions({});
    model->projectCopies().setProjectVersionsProposalID(proposalID);
    model->projectCopies().setAutomaticProjectNames({});
    const NativeProjectVersions answer = co_await model->execute<NativeProjectVersions>(
        BridgeCommand::projectVersions(storageFolder, receipt.id, proposalID), *editor, scope, token);
    if (answer.proposalID != proposalID)
        throw mismatchedCopy();
    for (const NativeProjectVersion &copy : answer.versions)
        if (copy.proposalID != proposalID)
            throw mismatchedCopy();
    model->projectCopies().setProjectVersions(answer.versions);
    model->projectCopies().setAutomaticProjectNames(answer.automaticProjects.value_or(QStringList()));
    model->projectCopies().setRequiresProjectSelection(answer.requiresExplicitSelection.value_or(false));
}

QCoro::Task<void> stopAutomaticCopy(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                    ServiceReceipt receipt, QUrl storageFolder, QString proposalID,
                                    ServiceOperationScope scope, CancellationToken token)
{
    const NativeProjectVersions answer = co_await model->execute<NativeProjectVersions>(
        BridgeCommand::clearProjectRegistration(storageFolder, receipt.id, proposalID), *editor, scope, token);
    // Only an explicit empty list confirms that nothing is registered any more.
    if (answer.proposalID != proposalID || !answer.automaticProjects || !answer.automaticProjects->isEmpty())
        throw BridgeError::failed(loc("Projektvalget kunne ikke opdateres. Hent det igen."));
    model->projectCopies().setProjectVersionsProposalID(proposalID);
    model->projectCopies().setProjectVersions(answer.versions);
    model->projectCopies().setAutomaticProjectNames({});
    model->projectCopies().setRememberEditorProject(false);
    model->projectCopies().setRequiresProjectSelection(false);
}

QCoro::Task<void> keepCopy(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor, ServiceReceipt receipt,
                           QUrl storageFolder, QString proposalID, QUrl project, ServiceOperationScope scope,
                           CancellationToken token)
{
    const NativeProjectVersion copy = co_await model->execute<NativeProjectVersion>(
        BridgeCommand::preserveProject(storageFolder, receipt.id, proposalID, project, model->projectCopies().rememberEditorProject()),
        *editor, scope, token);
    if (copy.proposalID != proposalID)
        throw mismatchedCopy();
    QList<NativeProjectVersion> copies;
    if (model->projectCopies().projectVersionsProposalID() == proposalID)
        copies = model->projectCopies().projectVersions();
    model->projectCopies().setProjectVersionsProposalID(proposalID);
    model->projectCopies().setRequiresProjectSelection(false);
    // The same snapshot copied again replaces the older entry and moves last.
    copies.removeIf([&](const NativeProjectVersion &kept) { return kept.snapshotID == copy.snapshotID; });
    copies.append(copy);
    model->projectCopies().setProjectVersions(std::move(copies));
    if (copy.automaticProjects)
        model->projectCopies().setAutomaticProjectNames(*copy.automaticProjects);
    editor->setMessage(
        loc("Projektversionen er bevaret lokalt. Medier og genåbning skal kontrolleres i editoren."));
}

} // namespace

void ServiceQueueModel::readProjectVersions(ServiceQueueEditor &editor, const QString &proposalID)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Henter gemte editorprojekter…"),
            [self, seam, receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID](ServiceOperationScope scope,
                                                                                 CancellationToken token) {
                return listCopies(self, seam, receipt, storageFolder, proposalID, std::move(scope), std::move(token));
            });
}

void ServiceQueueModel::clearProjectRegistration(ServiceQueueEditor &editor, const QString &proposalID)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Slår automatisk projektkopi fra…"),
            [self, seam, receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID](ServiceOperationScope scope,
                                                                                 CancellationToken token) {
                return stopAutomaticCopy(self, seam, receipt, storageFolder, proposalID, std::move(scope), std::move(token));
            });
}

void ServiceQueueModel::preserveProject(ServiceQueueEditor &editor, const QUrl &project)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_videoDraft.videoPreview() || m_videoDraft.videoPreview()->requestID != m_openedTask.detail()->request.id)
        return;
    if (!m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *seam = &editor;
    perform(editor, loc("Bevarer editorprojektet til denne videoversion…"),
            [self, seam, receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID = m_videoDraft.videoPreview()->proposalID,
             project](ServiceOperationScope scope, CancellationToken token) {
                return keepCopy(self, seam, receipt, storageFolder, proposalID, project, std::move(scope), std::move(token));
            });
}
