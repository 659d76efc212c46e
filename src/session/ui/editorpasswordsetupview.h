#pragma once

#include "session/passwordsetupform.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The sheet in which a person asks for an e-mailed code and sets a new
// password with it. Open it with open(); it cannot be closed while a request runs.
class EditorPasswordSetupView : public QDialog
{
    Q_OBJECT
public:
    EditorPasswordSetupView(const QString &initialEmail, bool codeSent, QWidget *parent = nullptr,
                            EditorPasswordSetupForm::APIFactory factory =
                                EditorPasswordSetupForm::standardFactory());

    EditorPasswordSetupForm &form() { return m_form; }

    void reject() override;

private:
    void refresh();

    EditorPasswordSetupForm m_form;
    QWidget *m_finishedRow;
    QPushButton *m_back;
    QLineEdit *m_email;
    QLabel *m_explanation;
    QLineEdit *m_code;
    QLineEdit *m_password;
    QLineEdit *m_confirmation;
    QPushButton *m_save;
    QPushButton *m_another;
    QPushButton *m_send;
    QProgressBar *m_progress;
    QLabel *m_issue;
    QPushButton *m_close;
};
