#include "accountmodel.h"

#include "foundation/localization.h"
#include "session/editorsession.h"

EditorAccountModel::EditorAccountModel(EditorSession &session, std::function<void()> beforeLogout,
                                               QObject *parent)
    : QObject(parent), m_session(session), m_beforeLogout(std::move(beforeLogout))
{
    for (auto signal : {&EditorSession::credentialURLChanged, &EditorSession::emailChanged,
                        &EditorSession::busyChanged, &EditorSession::issueChanged,
                        &EditorSession::canRetryRestoreChanged})
        connect(&session, signal, this, &EditorAccountModel::changed);
}

bool EditorAccountModel::signedIn() const
{
    return !m_session.credentialURL().isEmpty();
}

QString EditorAccountModel::accountName() const
{
    return m_session.email().value_or(loc("Editor"));
}

bool EditorAccountModel::busy() const
{
    return m_session.busy();
}

const std::optional<QString> &EditorAccountModel::issue() const
{
    return m_session.issue();
}

bool EditorAccountModel::showsRetry() const
{
    return m_session.issue().has_value() && m_session.canRetryRestore();
}

void EditorAccountModel::signOut()
{
    if (busy() || !signedIn())
        return;
    if (m_beforeLogout)
        m_beforeLogout();
    m_session.logout();
}

void EditorAccountModel::retryRestore()
{
    if (busy() || !showsRetry())
        return;
    m_session.restore();
}
