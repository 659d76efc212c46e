#include "accountpresenter.h"

#include "foundation/localization.h"
#include "session/editorsession.h"

EditorAccountPresenter::EditorAccountPresenter(EditorSession &session, std::function<void()> beforeLogout,
                                               QObject *parent)
    : QObject(parent), m_session(session), m_beforeLogout(std::move(beforeLogout))
{
    for (auto signal : {&EditorSession::credentialURLChanged, &EditorSession::emailChanged,
                        &EditorSession::busyChanged, &EditorSession::issueChanged,
                        &EditorSession::canRetryRestoreChanged})
        connect(&session, signal, this, &EditorAccountPresenter::changed);
}

bool EditorAccountPresenter::signedIn() const
{
    return !m_session.credentialURL().isEmpty();
}

QString EditorAccountPresenter::accountName() const
{
    return m_session.email().value_or(loc("Editor"));
}

bool EditorAccountPresenter::busy() const
{
    return m_session.busy();
}

const std::optional<QString> &EditorAccountPresenter::issue() const
{
    return m_session.issue();
}

bool EditorAccountPresenter::showsRetry() const
{
    return m_session.issue().has_value() && m_session.canRetryRestore();
}

void EditorAccountPresenter::signOut()
{
    if (busy() || !signedIn())
        return;
    if (m_beforeLogout)
        m_beforeLogout();
    m_session.logout();
}

void EditorAccountPresenter::retryRestore()
{
    if (busy() || !showsRetry())
        return;
    m_session.restore();
}
