#pragma once

#include "editorpasswordsetupview.h"
#include "signinform.h"

#include <QDialog>
#include <QPointer>

class EditorPasswordSetupView;
class EditorSession;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The sign-in sheet. Open it with open(); it closes itself as soon as a
// session is published, by this form or any other road.
class EditorSignInView : public QDialog
{
    Q_OBJECT
public:
    explicit EditorSignInView(EditorSession &session, QWidget *parent = nullptr);

    EditorSignInForm &form() { return m_form; }
    // The password setup sheet while it is shown.
    EditorPasswordSetupView *passwordSetup() const { return m_passwordSetup; }

    void reject() override;

private:
    void refresh();
    void openPasswordSetup();

    EditorSignInForm m_form;
    QLineEdit *m_email;
    QLineEdit *m_password;
    QLabel *m_issue;
    QPushButton *m_passwordSetupButton;
    QPushButton *m_close;
    QProgressBar *m_progress;
    QPushButton *m_submit;
    QPointer<EditorPasswordSetupView> m_passwordSetup;
};
