#pragma once

#include "editorauthapi.h"
#include "editorauthrecords.h"
#include "editorsessionvault.h"
#include "foundation/bridge/authconfiguration.h"
#include "foundation/bridge/sessionprovider.h"

#include <QObject>
#include <QSharedPointer>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class EditorRefreshFlight;

// The application's one cloud session: signs in, keeps the tokens in the
// secret store, restores them at start, refreshes them shortly before they
// run out, signs out, and hands the current session to the tools. GUI thread only.
//
// restore(), login() and logout() never throw: their failure text lands in
// issue(). They are mutually exclusive through busy(). credentials() is not
// gated by busy(); a generation that changes with every sign-in and sign-out
// keeps it from handing out tokens of a session that ended meanwhile.
class EditorSession final : public QObject, public SessionDocumentProvider
{
    Q_OBJECT
    Q_PROPERTY(QUrl credentialURL READ credentialURL NOTIFY credentialURLChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool canRetryRestore READ canRetryRestore NOTIFY canRetryRestoreChanged)

public:
    using ConfigurationSource = std::function<EditorAuthConfiguration()>;
    using APIFactory = std::function<std::shared_ptr<EditorAuthAPI>(const EditorAuthConfiguration &)>;
    using VaultFactory = std::function<std::shared_ptr<EditorSessionVault>(const QString &service)>;
    // Seconds since 1970-01-01 00:00:00 UTC.
    using Clock = std::function<double()>;

    static constexpr const char *sessionScheme = "tavlon-session";
    static constexpr const char *vaultServicePrefix = "film.tavlon.editor.session.";
    // A session handed to a tool is good for at least this long.
    static constexpr double refreshMargin = 120;

    // `configure` is called afresh by every operation; `api` and `vault`, when
    // absent, are made by the factories on first use and then kept.
    explicit EditorSession(ConfigurationSource configure, std::shared_ptr<EditorAuthAPI> api = {},
                           std::shared_ptr<EditorSessionVault> vault = {}, QObject *parent = nullptr);
    ~EditorSession() override;

    // The process-wide session, reading the tools folder's configuration; it
    // also becomes the tool runner's source of session documents.
    static EditorSession &shared();

    void setVaultFactory(VaultFactory factory) { m_vaultFactory = std::move(factory); }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Empty while signed out; "tavlon-session://<generation>" while signed in.
    const QUrl &credentialURL() const { return m_credentialURL; }
    const std::optional<QString> &email() const { return m_email; }
    bool busy() const { return m_busy; }
    const std::optional<QString> &issue() const { return m_issue; }
    bool canRetryRestore() const;
    // The signed-in user, when a session is held.
    std::optional<QUuid> userID() const;

    QCoro::Task<void> restore();
    QCoro::Task<void> login(QString email, QString password);
    QCoro::Task<void> logout();
    // The session document {"access_token","user_id","expires_at"} for the
    // current session URL, refreshed first when it runs out within two minutes.
    QCoro::Task<QByteArray> credentials(const QUrl &sessionURL) override;

Q_SIGNALS:
    void credentialURLChanged();
    void emailChanged();
    void busyChanged();
    void issueChanged();
    void canRetryRestoreChanged();
    // The held session was replaced (sign-in, restore, refresh, sign-out).
    void sessionChanged();

private:
    struct Services
    {
        EditorAuthConfiguration configuration;
        std::shared_ptr<EditorAuthAPI> api;
        std::shared_ptr<EditorSessionVault> vault;
    };

    Services services();
    EditorSavedSession checked(const EditorAuthTokens &tokens, const EditorAuthConfiguration &configuration,
                               const std::optional<QUuid> &expected) const;
    void publish(const EditorSavedSession &session);
    QCoro::Task<EditorSavedSession> freshSession();
    QCoro::Task<void> runRefresh(QSharedPointer<EditorRefreshFlight> flight, EditorSavedSession current);
    static QString message(std::exception_ptr error);

    void setCredentialURL(const QUrl &url);
    void setEmail(const std::optional<QString> &email);
    void setBusy(bool busy);
    void setIssue(const std::optional<QString> &issue);
    void setRestored(bool restored);
    void setSaved(const std::optional<EditorSavedSession> &saved);
    void updateCanRetryRestore();
    double now() const { return m_clock(); }

    ConfigurationSource m_configure;
    APIFactory m_apiFactory;
    VaultFactory m_vaultFactory;
    Clock m_clock;

    QUrl m_credentialURL;
    std::optional<QString> m_email;
    bool m_busy = false;
    std::optional<QString> m_issue;
    std::shared_ptr<EditorAuthAPI> m_api;
    std::shared_ptr<EditorSessionVault> m_vault;
    std::optional<EditorSavedSession> m_saved;
    QUuid m_generation;
    QSharedPointer<EditorRefreshFlight> m_refreshTask;
    bool m_restored = false;
    bool m_canRetryRestore = false;
};
