#include "passwordsetupform.h"

#include "editorauthapi.h"
#include "foundation/errors.h"
#include "foundation/logging.h"
#include "foundation/modules/networkmodule.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/localization.h"
#include "foundation/propertyassign.h"
#include "passwordsetup.h"

#include <QPointer>

EditorPasswordSetupForm::EditorPasswordSetupForm(QString initialEmail, bool codeSent, APIFactory factory,
                                                           QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_email(std::move(initialEmail)), m_sent(codeSent)
{
}

EditorPasswordSetupForm::APIFactory EditorPasswordSetupForm::standardFactory()
{
    return []() -> std::shared_ptr<EditorPasswordAPI> {
        const NetworkModuleInterface *network = NetworkModule::get();
        if (!network || !network->passwordAPI)
            throw BridgeError::failed(NetworkModule::failure());
        return std::shared_ptr<EditorPasswordAPI>(network->passwordAPI(Bridge::authConfiguration()));
    };
}

template<typename T> void EditorPasswordSetupForm::assign(T &member, const T &value)
{
    if (assignChanged(member, value))
        Q_EMIT changed();
}

void EditorPasswordSetupForm::setEmail(const QString &email)
{
    if (emailEditable())
        assign(m_email, email);
}

void EditorPasswordSetupForm::setCode(const QString &code)
{
    if (!m_busy)
        assign(m_code, code);
}

void EditorPasswordSetupForm::setPassword(const QString &password)
{
    if (!m_busy)
        assign(m_password, password);
}

void EditorPasswordSetupForm::setConfirmation(const QString &confirmation)
{
    if (!m_busy)
        assign(m_confirmation, confirmation);
}

bool EditorPasswordSetupForm::canSave() const
{
    return !m_busy && m_sent && !m_finished && !m_code.isEmpty()
        && EditorPasswordSetup::characterCount(m_password) >= EditorPasswordSetup::minimumPasswordLength;
}

void EditorPasswordSetupForm::send()
{
    if (!canSend() || m_sent || m_finished)
        return;
    assign(m_email, m_email.trimmed());
    assign(m_busy, true);
    assign(m_issue, std::optional<QString>());
    runSend(); // not tied to the form: runs to its end, the outcome is dropped if the form is gone
}

QCoro::Task<void> EditorPasswordSetupForm::runSend()
{
    QPointer<EditorPasswordSetupForm> self(this);
    const QString email = m_email;
    bool succeeded = false;
    try {
        const std::shared_ptr<EditorPasswordAPI> api = m_factory();
        co_await api->requestPasswordCode(email);
        succeeded = true;
    } catch (...) {
        logFailure(lcSession, "requesting a password code");
        // The error's own text is not shown: one sentence covers every failure.
    }
    if (!self)
        co_return;
    if (succeeded)
        assign(m_sent, true);
    else
        assign(m_issue, std::optional<QString>(loc("Kunne ikke sende en kode. Vent lidt, og prøv igen.")));
    assign(m_busy, false);
}

void EditorPasswordSetupForm::save()
{
    if (!canSave())
        return;
    if (m_password.normalized(QString::NormalizationForm_C) != m_confirmation.normalized(QString::NormalizationForm_C)) {
        assign(m_issue, std::optional<QString>(loc("Adgangskoderne er ikke ens.")));
        return;
    }
    const QString code = m_code;
    const QString password = m_password;
    assign(m_password, QString());
    assign(m_confirmation, QString());
    assign(m_code, QString());
    assign(m_busy, true);
    assign(m_issue, std::optional<QString>());
    runSave(code, password);
}

QCoro::Task<void> EditorPasswordSetupForm::runSave(QString code, QString password)
{
    QPointer<EditorPasswordSetupForm> self(this);
    const QString email = m_email;
    bool succeeded = false;
    try {
        const std::shared_ptr<EditorPasswordAPI> api = m_factory();
        co_await EditorPasswordSetup::complete(email, code, password, api);
        succeeded = true;
    } catch (...) {
        logFailure(lcSession, "setting the password");
    }
    if (!self)
        co_return;
    if (succeeded)
        assign(m_finished, true);
    else
        assign(m_issue,
               std::optional<QString>(loc("Kunne ikke gemme adgangskoden. Kontrollér koden, eller bed om en ny.")));
    assign(m_busy, false);
}

void EditorPasswordSetupForm::useAnotherEmail()
{
    if (!canUseAnotherEmail() || !m_sent)
        return;
    assign(m_sent, false);
    assign(m_code, QString());
    assign(m_issue, std::optional<QString>());
}
