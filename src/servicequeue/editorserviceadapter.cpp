#include "editorserviceadapter.h"

#include "editor/editormodel.h"
#include "foundation/bridge/toolsfolder.h"

EditorServiceAdapter::EditorServiceAdapter(QSharedPointer<EditorModel> editor) : m_editor(std::move(editor)) {}

std::optional<QUrl> EditorServiceAdapter::credentials() const
{
    const QUrl url = m_editor->credentials();
    return url.isEmpty() ? std::nullopt : std::optional<QUrl>(url);
}

QUrl EditorServiceAdapter::repository() const
{
    return QUrl::fromLocalFile(m_editor->repository());
}

std::optional<QUrl> EditorServiceAdapter::inbox() const
{
    const QUrl url = m_editor->inbox();
    return url.isEmpty() ? std::nullopt : std::optional<QUrl>(url);
}

QString EditorServiceAdapter::company() const { return m_editor->company(); }
void EditorServiceAdapter::setCompany(const QString &company) { m_editor->setCompany(company); }

void EditorServiceAdapter::forgetCloudSelection()
{
    m_editor->setCloud(std::nullopt);
    m_editor->setSelectedCloudID(std::nullopt);
}

std::optional<QString> EditorServiceAdapter::busy() const { return m_editor->busy(); }
std::optional<QString> EditorServiceAdapter::storageIssue() const { return m_editor->storageIssue(); }
void EditorServiceAdapter::setStorageIssue(const std::optional<QString> &issue) { m_editor->setStorageIssue(issue); }
bool EditorServiceAdapter::unsupportedTestLaunch() const { return Bridge::unsupportedTestLaunch(); }


void EditorServiceAdapter::perform(const QString &title, std::function<bool()> isCurrent, Operation operation)
{
    m_editor->perform(title, std::move(isCurrent), std::move(operation));
}

void EditorServiceAdapter::validateStorage(const BridgeCommand &command) { m_editor->validateStorage(command); }
void EditorServiceAdapter::chooseStorage(const QUrl &url) { m_editor->chooseStorage(url); }

std::optional<QString> EditorServiceAdapter::error() const { return m_editor->error(); }
void EditorServiceAdapter::setError(const std::optional<QString> &text) { m_editor->setError(text); }
std::optional<QString> EditorServiceAdapter::message() const { return m_editor->message(); }
void EditorServiceAdapter::setMessage(const std::optional<QString> &text) { m_editor->setMessage(text); }

void EditorServiceAdapter::setInventory(const PackageInventory &inventory)
{
    m_editor->setInventory(inventory.packages);
    m_editor->setInvalidPackages(inventory.invalidPackages);
}

void EditorServiceAdapter::restoreStorage(bool loadInventory) { m_editor->restoreStorage(loadInventory); }

ServiceBridge EditorServiceAdapter::bridge() const
{
    return m_editor->toolRunner();
}
