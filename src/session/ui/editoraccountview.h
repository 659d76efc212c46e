#pragma once

#include "accountmodel.h"

#include <QPointer>
#include <QWidget>

class EditorSession;
class EditorSignInView;
class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// The compact account panel: who is signed in, sign in or out, the progress
// of the session and its failure text with a retry of a failed restore.
// Has no margins of its own: the embedding view places it.
class EditorAccountView : public QWidget
{
    Q_OBJECT
public:
    // `beforeLogout` runs at the press of the sign-out button, before the sign-out starts.
    EditorAccountView(EditorSession &session, std::function<void()> beforeLogout, QWidget *parent = nullptr);

    EditorAccountModel &model() { return m_model; }
    // The sign-in sheet while it is shown.
    EditorSignInView *signInSheet() const { return m_signIn; }

private:
    void refresh();
    void openSignIn();

    EditorAccountModel m_model;
    QWidget *m_signedIn;
    QLabel *m_accountIcon;
    ElidedLabel *m_account;
    QPushButton *m_signOut;
    QWidget *m_signedOut;
    QPushButton *m_signInButton;
    QProgressBar *m_progress;
    QLabel *m_issue;
    QPushButton *m_retry;
    QPointer<EditorSignInView> m_signIn;
};
