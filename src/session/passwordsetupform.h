#pragma once

#include "editorauthapi.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// State and rules of the password setup form: ask for an e-mailed code, then
// save a new password with it. GUI thread only. The requests outlive the
// form: a form that is gone when a request ends simply drops the outcome.
class EditorPasswordSetupForm : public QObject
{
    Q_OBJECT
public:
    // Builds a fresh client for each request; may throw (e.g. an unreadable
    // configuration), which counts as a failure of that request.
    using APIFactory = std::function<std::shared_ptr<EditorPasswordAPI>()>;

    EditorPasswordSetupForm(QString initialEmail, bool codeSent, APIFactory factory = standardFactory(),
                                 QObject *parent = nullptr);

    // A client for the tools folder's authentication configuration, read afresh.
    static APIFactory standardFactory();

    const QString &email() const { return m_email; }
    const QString &code() const { return m_code; }
    const QString &password() const { return m_password; }
    const QString &confirmation() const { return m_confirmation; }
    bool sent() const { return m_sent; }
    bool busy() const { return m_busy; }
    bool finished() const { return m_finished; }
    const std::optional<QString> &issue() const { return m_issue; }

    void setEmail(const QString &email);
    void setCode(const QString &code);
    void setPassword(const QString &password);
    void setConfirmation(const QString &confirmation);

    bool emailEditable() const { return !m_sent && !m_busy; }
    bool canSend() const { return !m_busy && m_email.contains(QLatin1Char('@')); }
    // The repetition is checked at the press, not here.
    bool canSave() const;
    bool canUseAnotherEmail() const { return !m_busy; }
    bool canClose() const { return !m_busy; }

    void send();
    void save();
    void useAnotherEmail();

Q_SIGNALS:
    // Any field or state changed.
    void changed();

private:
    QCoro::Task<void> runSend();
    QCoro::Task<void> runSave(QString code, QString password);
    template<typename T> void assign(T &member, const T &value);

    APIFactory m_factory;
    QString m_email;
    QString m_code;
    QString m_password;
    QString m_confirmation;
    bool m_sent = false;
    bool m_busy = false;
    bool m_finished = false;
    std::optional<QString> m_issue;
};
