#include "sorvanesettingsmodel.h"

#include "editor/editormodel.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "servicequeue/servicequeuemodel.h"
#include "session/editorsession.h"

#include <QWeakPointer>

SorvaneSettingsModel::SorvaneSettingsModel(Parts parts, SorvaneSettingsSection section, QObject *parent)
    : QObject(parent), m_parts(std::move(parts)), m_section(section)
{
    Q_ASSERT(m_parts.editor && m_parts.queue && m_parts.account);
    EditorModel *editor = m_parts.editor.data();
    for (auto signal : {&EditorModel::busyChanged, &EditorModel::errorChanged, &EditorModel::messageChanged,
                        &EditorModel::inboxChanged, &EditorModel::storagePathChanged, &EditorModel::repositoryChanged,
                        &EditorModel::stateChanged})
        connect(editor, signal, this, &SorvaneSettingsModel::changed);
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(m_parts.queue->openedTask(), this, {&A::detail}, [this] { Q_EMIT changed(); });
    const ServiceCompanyDirectory &directory = m_parts.queue->directory();
    const auto notify = [this] { Q_EMIT changed(); };
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.selectedCompanyID(); }, notify);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.companies(); }, notify);
    connect(m_parts.account, &EditorSession::credentialURLChanged, this, &SorvaneSettingsModel::changed);
}

void SorvaneSettingsModel::setSection(SorvaneSettingsSection section)
{
    if (m_section == section)
        return;
    m_section = section;
    Q_EMIT sectionChanged();
}

bool SorvaneSettingsModel::busy() const
{
    return m_parts.editor->busy().has_value();
}

bool SorvaneSettingsModel::demo() const
{
    return m_parts.queue->isDemo();
}

bool SorvaneSettingsModel::signedIn() const
{
    return !m_parts.account->credentialURL().isEmpty();
}

bool SorvaneSettingsModel::storageEnabled() const
{
    return !busy() && !demo() && (!m_parts.storageSelectionAllowed || m_parts.storageSelectionAllowed());
}

bool SorvaneSettingsModel::hasProjectFolder() const
{
    return !m_parts.editor->inbox().isEmpty();
}

std::optional<SorvaneAIConnectionTarget> SorvaneSettingsModel::connectAI()
{
    const QUrl folder = m_parts.editor->inbox();
    if (folder.isEmpty())
        return std::nullopt;
    try {
        m_parts.editor->validateStorage(BridgeCommand::mcpConnection(folder));
    } catch (const BridgeError &error) {
        logFailure(lcSettings, "checking the project folder for the AI connection");
        m_parts.editor->setError(error.message());
        return std::nullopt;
    }
    SorvaneAIConnectionTarget target;
    target.id = QUuid::createUuid();
    target.repository = m_parts.editor->repository();
    target.inbox = folder;
    if (const auto &detail = m_parts.queue->openedTask().detail())
        target.requestID = detail->request.id;
    // The folder of this moment: a later change of folder, even to a valid
    // one, makes every check of this panel fail.
    QWeakPointer<EditorModel> weak = m_parts.editor;
    target.validateStorage = [weak, folder] {
        const auto editor = weak.toStrongRef();
        if (!editor || editor->inbox() != folder)
            throw BridgeError::failed(loc("Projektplaceringen er ændret. Åbn opgaven igen."));
        editor->validateStorage(BridgeCommand::mcpConnection(folder));
    };
    return target;
}

void SorvaneSettingsModel::beforeLogout()
{
    m_parts.editor->cancel();
    // The editor's profiles are the window's profiles model.
    if (EditorProfiles *profiles = m_parts.editor->profiles())
        profiles->clear();
    m_parts.queue->clear();
    if (m_parts.clearInbox)
        m_parts.clearInbox();
}

void SorvaneSettingsModel::stop()
{
    m_parts.editor->cancel();
}

void SorvaneSettingsModel::chooseStorage()
{
    if (m_parts.chooseStorage)
        m_parts.chooseStorage();
}

void SorvaneSettingsModel::chooseTools()
{
    if (m_parts.chooseTools)
        m_parts.chooseTools();
}
