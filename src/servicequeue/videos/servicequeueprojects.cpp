// Native editor project copies kept beside a video version: listing them,
// turning off the automatic copy at later deliveries, and keeping a copy of
// the project chosen for the draft under review.

#include "servicequeue/servicequeuemodel.h"

#include "foundation/errors.h"
#include "foundation/localization.h"

namespace {

using OperationContext = ServiceQueueModel::OperationContext;

BridgeError mismatchedCopy()
{
    return BridgeError::failed(loc("Projektkopien matcher ikke videoversionen."));
}

QCoro::Task<void> listCopies(OperationContext op, ServiceReceipt receipt, QUrl storageFolder, QString proposalID)
{
    // Cleared first: a failed read must not leave another version's copies on show.
    op.model->projectCopies().setProjectVersions({});
    op.model->projectCopies().setProjectVersionsProposalID(proposalID);
    op.model->projectCopies().setAutomaticProjectNames({});
    const NativeProjectVersions answer = co_await op.model->execute<NativeProjectVersions>(
        BridgeCommand::projectVersions(storageFolder, receipt.id, proposalID), *op.editor, op.scope, op.token);
    if (answer.proposalID != proposalID)
        throw mismatchedCopy();
    for (const NativeProjectVersion &copy : answer.versions)
        if (copy.proposalID != proposalID)
            throw mismatchedCopy();
    op.model->projectCopies().setProjectVersions(answer.versions);
    op.model->projectCopies().setAutomaticProjectNames(answer.automaticProjects.value_or(QStringList()));
    op.model->projectCopies().setRequiresProjectSelection(answer.requiresExplicitSelection.value_or(false));
}

QCoro::Task<void> stopAutomaticCopy(OperationContext op, ServiceReceipt receipt, QUrl storageFolder, QString proposalID)
{
    const NativeProjectVersions answer = co_await op.model->execute<NativeProjectVersions>(
        BridgeCommand::clearProjectRegistration(storageFolder, receipt.id, proposalID), *op.editor, op.scope, op.token);
    // Only an explicit empty list confirms that nothing is registered any more.
    if (answer.proposalID != proposalID || !answer.automaticProjects || !answer.automaticProjects->isEmpty())
        throw BridgeError::failed(loc("Projektvalget kunne ikke opdateres. Hent det igen."));
    op.model->projectCopies().setProjectVersionsProposalID(proposalID);
    op.model->projectCopies().setProjectVersions(answer.versions);
    op.model->projectCopies().setAutomaticProjectNames({});
    op.model->projectCopies().setRememberEditorProject(false);
    op.model->projectCopies().setRequiresProjectSelection(false);
}

QCoro::Task<void> keepCopy(OperationContext op, ServiceReceipt receipt, QUrl storageFolder, QString proposalID,
                           QUrl project)
{
    const NativeProjectVersion copy = co_await op.model->execute<NativeProjectVersion>(
        BridgeCommand::preserveProject(storageFolder, receipt.id, proposalID, project, op.model->projectCopies().rememberEditorProject()),
        *op.editor, op.scope, op.token);
    if (copy.proposalID != proposalID)
        throw mismatchedCopy();
    QList<NativeProjectVersion> copies;
    if (op.model->projectCopies().projectVersionsProposalID() == proposalID)
        copies = op.model->projectCopies().projectVersions();
    op.model->projectCopies().setProjectVersionsProposalID(proposalID);
    op.model->projectCopies().setRequiresProjectSelection(false);
    // The same snapshot copied again replaces the older entry and moves last.
    copies.removeIf([&](const NativeProjectVersion &kept) { return kept.snapshotID == copy.snapshotID; });
    copies.append(copy);
    op.model->projectCopies().setProjectVersions(std::move(copies));
    if (copy.automaticProjects)
        op.model->projectCopies().setAutomaticProjectNames(*copy.automaticProjects);
    op.editor->setMessage(
        loc("Projektversionen er bevaret lokalt. Medier og genåbning skal kontrolleres i editoren."));
}

} // namespace

void ServiceQueueModel::readProjectVersions(ServiceQueueEditor &editor, const QString &proposalID)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    perform(editor, loc("Henter gemte editorprojekter…"),
            [receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID](OperationContext op) {
                return listCopies(std::move(op), receipt, storageFolder, proposalID);
            });
}

void ServiceQueueModel::clearProjectRegistration(ServiceQueueEditor &editor, const QString &proposalID)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    perform(editor, loc("Slår automatisk projektkopi fra…"),
            [receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID](OperationContext op) {
                return stopAutomaticCopy(std::move(op), receipt, storageFolder, proposalID);
            });
}

void ServiceQueueModel::preserveProject(ServiceQueueEditor &editor, const QUrl &project)
{
    const auto storageFolder = editor.inbox();
    if (!storageFolder || !m_openedTask.detail() || !m_videoDraft.videoPreview() || m_videoDraft.videoPreview()->requestID != m_openedTask.detail()->request.id)
        return;
    if (!m_openedTask.download() || !m_openedTask.download()->verified || m_openedTask.download()->request.id != m_openedTask.detail()->request.id)
        return;
    perform(editor, loc("Bevarer editorprojektet til denne videoversion…"),
            [receipt = m_openedTask.detail()->request, storageFolder = *storageFolder, proposalID = m_videoDraft.videoPreview()->proposalID, project](OperationContext op) {
                return keepCopy(std::move(op), receipt, storageFolder, proposalID, project);
            });
}
