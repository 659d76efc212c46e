#include "editorsession.h"

#include "editorauthapi.h"
#include "editorsessionvault.h"
#include "foundation/modules/networkmodule.h"
#include "editorkeychainvault.h"
#include "editorrefreshflight.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/propertyassign.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <cmath>
#include <qcoro/qcorosignal.h>

#include "foundation/bridge/bridge.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/logging.h"

namespace {

QString genericMessage()
{
    return loc("Sessionen kunne ikke åbnes. Prøv igen eller log ind på ny.");
}

double systemNow()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

EditorSession::EditorSession(ConfigurationSource configure, std::shared_ptr<EditorAuthAPI> api,
                             std::shared_ptr<EditorSessionVault> vault, QObject *parent)
    : QObject(parent)
    , m_configure(std::move(configure))
    , m_apiFactory([](const EditorAuthConfiguration &configuration) {
        const NetworkModuleInterface *network = NetworkModule::get();
        if (!network || !network->authAPI)
            throw BridgeError::failed(NetworkModule::failure());
        return std::shared_ptr<EditorAuthAPI>(network->authAPI(configuration));
    })
    , m_vaultFactory([](const QString &service) {
        const NetworkModuleInterface *network = NetworkModule::get();
        if (!network || !network->sessionVault)
            throw BridgeError::failed(NetworkModule::failure());
        return std::shared_ptr<EditorSessionVault>(network->sessionVault(service));
    })
    , m_clock(systemNow)
    , m_api(std::move(api))
    , m_vault(std::move(vault))
    , m_generation(QUuid::createUuid())
{
}

EditorSession::~EditorSession()
{
    if (m_refreshTask)
        m_refreshTask->cancel.cancel();
}

EditorSession &EditorSession::shared()
{
    // Lives for the whole process: the tool runner keeps a plain pointer to it.
    static EditorSession *instance = [] {
        auto *session = new EditorSession([] { return Bridge::authConfiguration(); });
        Bridge::setSessionProvider(session);
        return session;
    }();
    return *instance;
}

bool EditorSession::canRetryRestore() const
{
    return !m_restored && !m_busy && m_credentialURL.isEmpty() && m_issue.has_value();
}

std::optional<QUuid> EditorSession::userID() const
{
    if (!m_saved)
        return std::nullopt;
    return m_saved->user.id;
}

EditorSession::Services EditorSession::services()
{
    Services services;
    services.configuration = m_configure();
    if (!m_api)
        m_api = m_apiFactory(services.configuration);
    if (!m_vault)
        m_vault = m_vaultFactory(QString::fromLatin1(vaultServicePrefix) + services.configuration.identity);
    services.api = m_api;
    services.vault = m_vault;
    return services;
}

EditorSavedSession EditorSession::checked(const EditorAuthTokens &tokens, const EditorAuthConfiguration &configuration,
                                          const std::optional<QUuid> &expected) const
{
    const qsizetype accessBytes = tokens.access_token.toUtf8().size();
    const qsizetype refreshBytes = tokens.refresh_token.toUtf8().size();
    const bool valid = !tokens.user.isAnonymous()
        && (!expected || tokens.user.id == *expected)
        && accessBytes >= 1 && accessBytes <= 16383
        && refreshBytes >= 1 && refreshBytes <= 8191
        && std::isfinite(tokens.expires_in) && tokens.expires_in > 60 && tokens.expires_in <= 86400;
    if (!valid)
        throw BridgeError::failed(loc("Sessionen kunne ikke kontrolleres. Log ind igen."));
    EditorSavedSession session;
    session.configuration = configuration.identity;
    session.user = tokens.user;
    session.accessToken = tokens.access_token;
    session.refreshToken = tokens.refresh_token;
    session.expiresAt = now() + tokens.expires_in;
    return session;
}

void EditorSession::publish(const EditorSavedSession &session)
{
    setSaved(session);
    setEmail(session.user.email);
    setCredentialURL(QUrl(QString::fromLatin1(sessionScheme) + QStringLiteral("://")
                          + m_generation.toString(QUuid::WithoutBraces).toLower()));
}

QCoro::Task<EditorSavedSession> EditorSession::freshSession()
{
    if (!m_saved)
        throw BridgeError::failed(loc("Log ind for at hente dine opgaver."));
    if (m_saved->expiresAt - now() >= refreshMargin)
        co_return EditorSavedSession(*m_saved); // a copy: QCoro moves from an lvalue co_return

    // A refresh started under an earlier sign-in ends as a cancellation; it
    // must not be joined (nor kept) by the session that replaced it.
    if (m_refreshTask && (m_refreshTask->generation != m_generation || m_refreshTask->settled))
        m_refreshTask.reset();

    QPointer<EditorSession> self(this);
    QSharedPointer<EditorRefreshFlight> flight = m_refreshTask;
    const bool owner = !flight;
    const QUuid noted = m_generation;
    if (owner) {
        flight = QSharedPointer<EditorRefreshFlight>::create();
        flight->generation = noted;
        m_refreshTask = flight;
        runRefresh(flight, *m_saved);
    }
    if (!flight->settled)
        co_await qCoro(flight.get(), &EditorRefreshFlight::finished);
    if (owner && self && m_generation == noted && m_refreshTask == flight)
        m_refreshTask.reset();
    if (flight->error)
        std::rethrow_exception(flight->error);
    co_return EditorSavedSession(*flight->result);
}

QCoro::Task<void> EditorSession::runRefresh(QSharedPointer<EditorRefreshFlight> flight, EditorSavedSession current)
{
    QPointer<EditorSession> self(this);
    const QUuid noted = flight->generation;
    const auto stillCurrent = [&] {
        if (!self || m_generation != noted || flight->cancel.isCancelled())
            throw OperationCancelled();
    };
    try {
        const Services services = this->services();
        const EditorAuthTokens tokens = co_await services.api->refresh(current.refreshToken, flight->cancel);
        stillCurrent();
        // A refresh may not switch users.
        const EditorSavedSession session = checked(tokens, services.configuration, current.user.id);
        co_await services.vault->write(session.encode());
        stillCurrent();
        setSaved(session);
        flight->result = session;
    } catch (...) {
        flight->error = std::current_exception();
    }
    flight->settle();
}

QCoro::Task<void> EditorSession::restore()
{
    if (m_busy || m_restored)
        co_return;
    setRestored(true);
    setBusy(true);
    setIssue(std::nullopt);
    const QUuid noted = m_generation;
    QPointer<EditorSession> self(this);
    const auto stillCurrent = [&] {
        if (!self || m_generation != noted)
            throw OperationCancelled();
    };

    std::exception_ptr failure;
    try {
        const Services services = this->services();
        const std::optional<QByteArray> bytes = co_await services.vault->read();
        stillCurrent();
        if (bytes) {
            const EditorSavedSession stored = EditorSavedSession::decode(*bytes);
            if (stored.configuration != services.configuration.identity || stored.user.isAnonymous())
                throw BridgeError::failed(loc("Log ind igen på denne forbindelse."));
            setSaved(stored);
            const EditorSavedSession fresh = co_await freshSession();
            stillCurrent();
            const EditorAuthUser user = co_await services.api->user(fresh.accessToken);
            stillCurrent();
            if (user.id != fresh.user.id || user.isAnonymous())
                throw OperationCancelled();
            publish(fresh);
        }
    } catch (...) {
        logFailure(lcSession, "restoring the session");
        failure = std::current_exception();
    }
    if (!self || m_generation != noted)
        co_return;
    if (failure) {
        // The stored item stays: a retry or the next launch may succeed.
        setSaved(std::nullopt);
        setIssue(message(failure));
        setRestored(false);
    }
    setBusy(false);
}

QCoro::Task<void> EditorSession::login(QString email, QString password)
{
    if (m_busy)
        co_return;
    const QString trimmed = email.trimmed();
    if (trimmed.isEmpty() || password.isEmpty())
        co_return;
    setBusy(true);
    setIssue(std::nullopt);
    m_generation = QUuid::createUuid();
    const QUuid noted = m_generation;
    QPointer<EditorSession> self(this);
    const auto stillCurrent = [&] {
        if (!self || m_generation != noted)
            throw OperationCancelled();
    };

    std::exception_ptr failure;
    try {
        const Services services = this->services();
        const EditorAuthTokens tokens = co_await services.api->login(trimmed, password);
        stillCurrent();
        const EditorSavedSession session = checked(tokens, services.configuration, std::nullopt);
        co_await services.vault->write(session.encode());
        stillCurrent();
        publish(session);
        setRestored(true);
    } catch (...) {
        logFailure(lcSession, "signing in");
        failure = std::current_exception();
    }
    if (!self || m_generation != noted)
        co_return;
    if (failure)
        setIssue(message(failure));
    setBusy(false);
}

QCoro::Task<void> EditorSession::logout()
{
    if (m_busy)
        co_return;
    setBusy(true);
    setIssue(std::nullopt);
    const std::optional<EditorSavedSession> previous = m_saved;
    m_generation = QUuid::createUuid();
    if (m_refreshTask) {
        m_refreshTask->cancel.cancel();
        m_refreshTask.reset();
    }
    QPointer<EditorSession> self(this);

    Services services;
    try {
        services = this->services();
        co_await services.vault->remove();
    } catch (...) {
        logFailure(lcSession, "removing the saved session");
        // The local session stays as it was: a signed-in user stays signed in.
        if (self) {
            setIssue(message(std::current_exception()));
            setBusy(false);
        }
        co_return;
    }
    if (!self)
        co_return;
    setSaved(std::nullopt);
    setCredentialURL(QUrl());
    setEmail(std::nullopt);
    setRestored(true);
    if (!previous) {
        setBusy(false);
        co_return;
    }

    bool serverFailed = false;
    try {
        co_await services.api->logout(previous->accessToken);
    } catch (...) {
        logFailure(lcSession, "ending the session on the server");
        serverFailed = true;
    }
    if (!self)
        co_return;
    if (serverFailed)
        setIssue(loc("Logget ud på denne computer. Serveren kunne ikke bekræfte afslutningen af sessionen."));
    setBusy(false);
}

QCoro::Task<QByteArray> EditorSession::credentials(const QUrl &sessionURL)
{
    if (m_credentialURL.isEmpty() || sessionURL != m_credentialURL)
        throw BridgeError::failed(loc("Login er ændret. Hent virksomhederne igen."));
    const QUuid noted = m_generation;
    const QUrl url = sessionURL;
    QPointer<EditorSession> self(this);
    const EditorSavedSession fresh = co_await freshSession();
    if (!self || m_generation != noted || m_credentialURL != url)
        throw OperationCancelled();
    const QJsonObject document{
        {QStringLiteral("access_token"), fresh.accessToken},
        {QStringLiteral("user_id"), fresh.user.id.toString(QUuid::WithoutBraces).toLower()},
        {QStringLiteral("expires_at"), fresh.expiresAt},
    };
    co_return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

QString EditorSession::message(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const BridgeError &bridgeError) {
        return bridgeError.message();
    } catch (...) {
        return genericMessage();
    }
}

void EditorSession::setCredentialURL(const QUrl &url)
{
    if (url == m_credentialURL && url.isEmpty() == m_credentialURL.isEmpty())
        return;
    m_credentialURL = url;
    Q_EMIT credentialURLChanged();
    updateCanRetryRestore();
}

void EditorSession::setEmail(const std::optional<QString> &email)
{
    assignProperty(this, m_email, email, &EditorSession::emailChanged);
}

void EditorSession::setBusy(bool busy)
{
    if (assignProperty(this, m_busy, busy, &EditorSession::busyChanged))
        updateCanRetryRestore();
}

void EditorSession::setIssue(const std::optional<QString> &issue)
{
    if (assignProperty(this, m_issue, issue, &EditorSession::issueChanged))
        updateCanRetryRestore();
}

void EditorSession::setRestored(bool restored)
{
    if (assignChanged(m_restored, restored))
        updateCanRetryRestore();
}

void EditorSession::setSaved(const std::optional<EditorSavedSession> &saved)
{
    m_saved = saved;
    Q_EMIT sessionChanged();
}

void EditorSession::updateCanRetryRestore()
{
    assignProperty(this, m_canRetryRestore, canRetryRestore(), &EditorSession::canRetryRestoreChanged);
}
