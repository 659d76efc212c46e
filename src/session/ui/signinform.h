#pragma once

#include <QObject>
#include <QString>

class EditorSession;

// State and rules of the sign-in form. The sign-in itself belongs to the
// session: the form only hands over what was typed and follows the session.
class EditorSignInForm : public QObject
{
    Q_OBJECT
public:
    explicit EditorSignInForm(EditorSession &session, QObject *parent = nullptr);

    EditorSession &session() const { return m_session; }
    const QString &email() const { return m_email; }
    const QString &password() const { return m_password; }
    void setEmail(const QString &email);
    void setPassword(const QString &password);

    bool busy() const;
    // Fields, the password setup button and the close button.
    bool controlsEnabled() const { return !busy(); }
    // The password is not trimmed: a password of spaces counts.
    bool canSubmit() const;

    // Clears the password field at once, then signs in with what was typed.
    void submit();

Q_SIGNALS:
    void changed();
    // A session was published (by this form or any other road): close the sheet.
    void dismissRequested();

private:
    EditorSession &m_session;
    QString m_email;
    QString m_password;
};
