#include "signinform.h"

#include "session/editorsession.h"

EditorSignInForm::EditorSignInForm(EditorSession &session, QObject *parent)
    : QObject(parent), m_session(session)
{
    connect(&session, &EditorSession::busyChanged, this, &EditorSignInForm::changed);
    connect(&session, &EditorSession::issueChanged, this, &EditorSignInForm::changed);
    // Only a change counts, not the value found when the form opens.
    connect(&session, &EditorSession::credentialURLChanged, this, [this] {
        if (!m_session.credentialURL().isEmpty())
            Q_EMIT dismissRequested();
    });
}

void EditorSignInForm::setEmail(const QString &email)
{
    if (email == m_email)
        return;
    m_email = email;
    Q_EMIT changed();
}

void EditorSignInForm::setPassword(const QString &password)
{
    if (password == m_password)
        return;
    m_password = password;
    Q_EMIT changed();
}

bool EditorSignInForm::busy() const
{
    return m_session.busy();
}

bool EditorSignInForm::canSubmit() const
{
    return !busy() && !m_email.trimmed().isEmpty() && !m_password.isEmpty();
}

void EditorSignInForm::submit()
{
    if (!canSubmit())
        return;
    const QString password = m_password;
    setPassword(QString());
    // Not tied to the form: the session finishes and publishes it either way.
    m_session.login(m_email, password);
}
