// The session store against a scripted service, an in-memory vault and a
// fixed clock: token checks, refresh timing and sharing, generations, messages.
#include "awaittask.h"
#include "fakeauthapi.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {

const QString kIdentity = QStringLiteral("auth.example.test");
const QUuid kUser = QUuid::fromString(QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
const QUuid kOtherUser = QUuid::fromString(QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7"));
constexpr double kStart = 1'700'000'000.0;

const char *kCheckFailed = "Sessionen kunne ikke kontrolleres. Log ind igen.";
const char *kGeneric = "Sessionen kunne ikke åbnes. Prøv igen eller log ind på ny.";
const char *kVaultFailed =
    "Nøgleringen kunne ikke åbnes. Lås nøgleringen op, eller kontrollér Tavlons adgang, og prøv igen.";

EditorAuthUser user(QUuid id = kUser, std::optional<bool> anonymous = std::nullopt)
{
    EditorAuthUser u;
    u.id = id;
    u.email = QStringLiteral("editor@example.com");
    u.is_anonymous = anonymous;
    return u;
}

EditorAuthTokens tokens(const QString &access, double expiresIn = 3600, QUuid id = kUser)
{
    EditorAuthTokens t;
    t.access_token = access;
    t.refresh_token = QStringLiteral("refresh-") + access;
    t.expires_in = expiresIn;
    t.user = user(id);
    return t;
}

EditorSavedSession saved(const QString &access, double expiresAt, const QString &identity = kIdentity,
                         EditorAuthUser who = user())
{
    EditorSavedSession s;
    s.configuration = identity;
    s.user = who;
    s.accessToken = access;
    s.refreshToken = QStringLiteral("refresh-") + access;
    s.expiresAt = expiresAt;
    return s;
}

} // namespace

class TestEditorSession : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeAuthAPI> api;
    std::shared_ptr<MemorySessionVault> vault;
    std::unique_ptr<EditorSession> session;
    double now = kStart;
    bool configurationBroken = false;

    void signIn(const QString &access = QStringLiteral("access-1"), double expiresIn = 3600)
    {
        api->loginAnswer = tokens(access, expiresIn);
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QVERIFY(!session->credentialURL().isEmpty());
    }

    QJsonObject document()
    {
        const QByteArray bytes = TestAwait::run(session->credentials(session->credentialURL()));
        return QJsonDocument::fromJson(bytes).object();
    }

    template<class F>
    QString failureOf(F &&run)
    {
        try {
            run();
        } catch (const BridgeError &error) {
            return error.message();
        } catch (const OperationCancelled &) {
            return QStringLiteral("<cancelled>");
        }
        return QStringLiteral("<no failure>");
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }

    void init()
    {
        api = std::make_shared<FakeAuthAPI>();
        vault = std::make_shared<MemorySessionVault>();
        now = kStart;
        configurationBroken = false;
        session = std::make_unique<EditorSession>(
            [this]() -> EditorAuthConfiguration {
                if (configurationBroken)
                    throw BridgeError::failed(QStringLiteral("Ugyldig cloudforbindelse."));
                return {QUrl(QStringLiteral("https://auth.example.test")), QStringLiteral("key"), kIdentity};
            },
            api, vault);
        session->setClock([this] { return now; });
    }

    void tokenChecks_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<double>("expiresIn");
        QTest::addColumn<int>("anonymous"); // -1 absent, 0 false, 1 true
        QTest::addColumn<bool>("accepted");

        const QString a = QStringLiteral("a");
        const QString r = QStringLiteral("r");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("expires in 60") << a << r << 60.0 << -1 << false;
        QTest::newRow("expires in 60.5") << a << r << 60.5 << -1 << true;
        QTest::newRow("expires in 86400") << a << r << 86400.0 << -1 << true;
        QTest::newRow("expires in 86400.5") << a << r << 86400.5 << -1 << false;
        QTest::newRow("expires in infinity") << a << r << inf << -1 << false;
        QTest::newRow("expires in NaN") << a << r << std::nan("") << -1 << false;
        // "æ" is two bytes in UTF-8: lengths count bytes, not characters.
        QTest::newRow("access 16383 bytes") << QString(8191, u'æ') + a << r << 3600.0 << -1 << true;
        QTest::newRow("access 16384 bytes") << QString(8192, u'æ') << r << 3600.0 << -1 << false;
        QTest::newRow("access empty") << QString() << r << 3600.0 << -1 << false;
        QTest::newRow("refresh 8191 bytes") << a << QString(4095, u'æ') + r << 3600.0 << -1 << true;
        QTest::newRow("refresh 8192 bytes") << a << QString(4096, u'æ') << 3600.0 << -1 << false;
        QTest::newRow("refresh empty") << a << QString() << 3600.0 << -1 << false;
        QTest::newRow("not anonymous") << a << r << 3600.0 << 0 << true;
        QTest::newRow("anonymous") << a << r << 3600.0 << 1 << false;
    }

    void tokenChecks()
    {
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QFETCH(double, expiresIn);
        QFETCH(int, anonymous);
        QFETCH(bool, accepted);

        EditorAuthTokens answer = tokens(access, expiresIn);
        answer.refresh_token = refresh;
        if (anonymous >= 0)
            answer.user.is_anonymous = anonymous == 1;
        api->loginAnswer = answer;
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));

        QVERIFY(!session->busy());
        if (accepted) {
            QVERIFY(!session->issue());
            QVERIFY(!session->credentialURL().isEmpty());
            const EditorSavedSession stored = EditorSavedSession::decode(*vault->stored);
            QCOMPARE(stored.accessToken, access);
            QCOMPARE(stored.expiresAt, kStart + expiresIn);
            QCOMPARE(stored.configuration, kIdentity);
        } else {
            QCOMPARE(session->issue(), QString::fromUtf8(kCheckFailed));
            QVERIFY(session->credentialURL().isEmpty());
            QVERIFY(!vault->stored);
        }
    }

    void loginIgnoresIncompleteInput_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::newRow("blank e-mail") << QStringLiteral(" \t\n ") << QStringLiteral("pw");
        QTest::newRow("empty e-mail") << QString() << QStringLiteral("pw");
        QTest::newRow("empty password") << QStringLiteral("editor@example.com") << QString();
    }

    void loginIgnoresIncompleteInput()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        // An earlier failure stays visible.
        api->loginError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("earlier")));
        TestAwait::run(session->login(QStringLiteral("x@example.com"), QStringLiteral("pw")));
        QCOMPARE(session->issue(), QStringLiteral("earlier"));

        QSignalSpy busy(session.get(), &EditorSession::busyChanged);
        TestAwait::run(session->login(email, password));
        QCOMPARE(busy.count(), 0);
        QCOMPARE(session->issue(), QStringLiteral("earlier"));
        QCOMPARE(api->calls, QStringList{QStringLiteral("login")});
    }

    void loginTrimsEmailButNotPassword()
    {
        api->loginAnswer = tokens(QStringLiteral("t"));
        TestAwait::run(session->login(QStringLiteral(" \n editor@example.com\t\u2003"), QStringLiteral(" pass word ")));
        QCOMPARE(api->arguments, QStringList{QStringLiteral("editor@example.com| pass word ")});
    }

    void loginPublishesAFreshSessionURL()
    {
        QSignalSpy urlChanged(session.get(), &EditorSession::credentialURLChanged);
        QSignalSpy busyChanged(session.get(), &EditorSession::busyChanged);
        signIn(QStringLiteral("first"));
        const QUrl first = session->credentialURL();
        QCOMPARE(first.scheme(), QStringLiteral("tavlon-session"));
        const QString id = first.toString().mid(QStringLiteral("tavlon-session://").size());
        QCOMPARE(id, id.toLower());
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(session->email(), QStringLiteral("editor@example.com"));
        QCOMPARE(urlChanged.count(), 1);
        QCOMPARE(busyChanged.count(), 2);

        signIn(QStringLiteral("second"));
        QVERIFY(session->credentialURL() != first);
        // The earlier sign-in's URL is refused from now on.
        QCOMPARE(failureOf([&] { TestAwait::run(session->credentials(first)); }),
                 QStringLiteral("Login er ændret. Hent virksomhederne igen."));
        QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("second"));
    }

    void oldURLRefusedAfterLogoutAndLogin()
    {
        signIn();
        const QUrl first = session->credentialURL();
        TestAwait::run(session->logout());
        QVERIFY(session->credentialURL().isEmpty());
        QCOMPARE(failureOf([&] { TestAwait::run(session->credentials(first)); }),
                 QStringLiteral("Login er ændret. Hent virksomhederne igen."));
        signIn();
        QCOMPARE(failureOf([&] { TestAwait::run(session->credentials(first)); }),
                 QStringLiteral("Login er ændret. Hent virksomhederne igen."));
    }

    void sessionDocument()
    {
        signIn(QStringLiteral("access-doc"), 90.25 + 120);
        const QByteArray bytes = TestAwait::run(session->credentials(session->credentialURL()));
        const QJsonObject doc = QJsonDocument::fromJson(bytes).object();
        QCOMPARE(doc.keys(), (QStringList{"access_token", "expires_at", "user_id"}));
        QCOMPARE(doc.value(QStringLiteral("access_token")).toString(), QStringLiteral("access-doc"));
        // The user id arrived with upper-case digits; tools get lower case.
        QCOMPARE(doc.value(QStringLiteral("user_id")).toString(), QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
        QVERIFY(doc.value(QStringLiteral("expires_at")).isDouble());
        QCOMPARE(doc.value(QStringLiteral("expires_at")).toDouble(), kStart + 210.25);
        QVERIFY(!bytes.contains('\n'));
    }

    void refreshMargin_data()
    {
        QTest::addColumn<double>("secondsLeft");
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("119 s left") << 119.0 << true;
        QTest::newRow("120 s left") << 120.0 << false;
        QTest::newRow("expired") << -5.0 << true;
    }

    void refreshMargin()
    {
        QFETCH(double, secondsLeft);
        QFETCH(bool, refreshes);
        signIn(QStringLiteral("old"), 3600);
        const QUrl url = session->credentialURL();
        now = kStart + 3600 - secondsLeft;
        api->refreshAnswer = tokens(QStringLiteral("new"), 3600);

        const QJsonObject doc = document();
        QCOMPARE(api->calls.count(QStringLiteral("refresh")), refreshes ? 1 : 0);
        QCOMPARE(doc.value(QStringLiteral("access_token")).toString(), refreshes ? "new" : "old");
        // A refresh keeps the session URL and rewrites the stored session.
        QCOMPARE(session->credentialURL(), url);
        QCOMPARE(EditorSavedSession::decode(*vault->stored).accessToken, refreshes ? "new" : "old");
        if (refreshes)
            QCOMPARE(api->arguments.last(), QStringLiteral("refresh-old"));
    }

    void simultaneousCredentialsShareOneRefresh()
    {
        signIn(QStringLiteral("old"), 3600);
        now = kStart + 3590;
        api->refreshAnswer = tokens(QStringLiteral("new"), 3600);
        api->held = true;
        auto first = session->credentials(session->credentialURL());
        auto second = session->credentials(session->credentialURL());
        api->release();
        const QByteArray a = TestAwait::run(std::move(first));
        const QByteArray b = TestAwait::run(std::move(second));
        QCOMPARE(api->calls.count(QStringLiteral("refresh")), 1);
        QCOMPARE(a, b);
        QVERIFY(a.contains("\"new\""));
    }

    void refreshFailures_data()
    {
        QTest::addColumn<bool>("otherUser");
        QTest::addColumn<QString>("message");
        QTest::newRow("answer for another user") << true << QString::fromUtf8(kCheckFailed);
        QTest::newRow("service refuses") << false << QStringLiteral("refused");
    }

    void refreshFailures()
    {
        QFETCH(bool, otherUser);
        QFETCH(QString, message);
        signIn(QStringLiteral("old"), 3600);
        const QByteArray storedBefore = *vault->stored;
        now = kStart + 3590;
        if (otherUser)
            api->refreshAnswer = tokens(QStringLiteral("new"), 3600, kOtherUser);
        else
            api->refreshError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("refused")));

        QCOMPARE(failureOf([&] { document(); }), message);
        // The old session stays, so the next tool run tries again.
        QCOMPARE(*vault->stored, storedBefore);
        api->refreshError = nullptr;
        api->refreshAnswer = tokens(QStringLiteral("new"), 3600);
        QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("new"));
    }

    void credentialsWithoutSessionOrConfiguration()
    {
        QCOMPARE(failureOf([&] { TestAwait::run(session->credentials(QUrl(QStringLiteral("tavlon-session://x")))); }),
                 QStringLiteral("Login er ændret. Hent virksomhederne igen."));
        signIn(QStringLiteral("t"), 3600);
        // A session with time left is handed out without reading the configuration…
        configurationBroken = true;
        QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("t"));
        // …but a refresh needs it.
        now = kStart + 3500;
        QCOMPARE(failureOf([&] { document(); }), QStringLiteral("Ugyldig cloudforbindelse."));
    }

    void refreshOfAnEndedSignInIsNotJoinedLater()
    {
        signIn(QStringLiteral("old"), 3600);
        const QUrl oldURL = session->credentialURL();
        now = kStart + 3590;
        api->refreshAnswer = tokens(QStringLiteral("refreshed"), 3600);
        api->held = true;
        auto stale = session->credentials(oldURL);
        // A new sign-in while that refresh waits for the service.
        api->loginAnswer = tokens(QStringLiteral("second"), 3600);
        auto login = session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw"));
        api->release();
        TestAwait::run(std::move(login));
        QCOMPARE(failureOf([&] { TestAwait::run(std::move(stale)); }), QStringLiteral("<cancelled>"));
        QCOMPARE(EditorSavedSession::decode(*vault->stored).accessToken, QStringLiteral("second"));

        // When the new session needs its own refresh, it gets one.
        now += 3590;
        api->refreshAnswer = tokens(QStringLiteral("second-refreshed"), 3600);
        QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("second-refreshed"));
    }

    // A refresh that ends after a sign-out must not bring the session back,
    // neither in memory nor in the store.
    void signOutDuringARefresh_data()
    {
        QTest::addColumn<bool>("holdStore");
        QTest::newRow("while the service answers") << false;
        QTest::newRow("while the store writes") << true;
    }

    void signOutDuringARefresh()
    {
        QFETCH(bool, holdStore);
        signIn(QStringLiteral("old"), 3600);
        const QUrl url = session->credentialURL();
        now = kStart + 3590;
        api->refreshAnswer = tokens(QStringLiteral("refreshed"), 3600);
        if (holdStore)
            vault->hold();
        else
            api->held = true;
        auto tool = session->credentials(url);
        QCOMPARE(api->calls.count(QStringLiteral("refresh")), 1);

        auto logout = session->logout();
        api->release();
        vault->release();
        TestAwait::run(std::move(logout));
        QCOMPARE(failureOf([&] { TestAwait::run(std::move(tool)); }), QStringLiteral("<cancelled>"));

        QVERIFY(!session->busy());
        QVERIFY(!session->issue());
        QVERIFY(session->credentialURL().isEmpty());
        QVERIFY(!vault->stored);
        QCOMPARE(failureOf([&] { TestAwait::run(session->credentials(url)); }),
                 QStringLiteral("Login er ændret. Hent virksomhederne igen."));
    }

    void logoutOutcomes_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("failRemove");
        QTest::addColumn<bool>("failServer");
        QTest::addColumn<bool>("signedOut");
        QTest::addColumn<QString>("issue");
        QTest::addColumn<QStringList>("serviceCalls");
        const QStringList none;
        const QStringList both{"login", "logout"};
        QTest::newRow("signed in") << true << false << false << true << QString() << both;
        QTest::newRow("server fails") << true << false << true << true
                                      << QStringLiteral("Logget ud på denne computer. Serveren kunne ikke bekræfte "
                                                        "afslutningen af sessionen.")
                                      << both;
        QTest::newRow("removal fails") << true << true << false << false << QString::fromUtf8(kVaultFailed)
                                       << QStringList{"login"};
        QTest::newRow("signed out already") << false << false << false << true << QString() << none;
    }

    void logoutOutcomes()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, failRemove);
        QFETCH(bool, failServer);
        QFETCH(bool, signedOut);
        QFETCH(QString, issue);
        QFETCH(QStringList, serviceCalls);
        if (signedIn)
            signIn(QStringLiteral("tok"));
        else
            vault->stored = QByteArray("left over");
        const QUrl url = session->credentialURL();
        vault->failRemove = failRemove;
        if (failServer)
            api->logoutError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("server said no")));

        TestAwait::run(session->logout());
        QVERIFY(!session->busy());
        QCOMPARE(session->issue().value_or(QString()), issue);
        QCOMPARE(api->calls, serviceCalls);
        QCOMPARE(vault->calls.count(QStringLiteral("remove")), 1);
        if (signedOut) {
            QVERIFY(session->credentialURL().isEmpty());
            QVERIFY(!session->email());
            QVERIFY(!vault->stored);
            if (signedIn)
                QCOMPARE(api->arguments.last(), QStringLiteral("tok"));
        } else {
            // Still signed in, and the published URL still works.
            QCOMPARE(session->credentialURL(), url);
            QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("tok"));
        }
        QVERIFY(!session->canRetryRestore());
    }

    void restoreOutcomes_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("serverUser"); // 0 same, 1 other, 2 anonymous
        QTest::addColumn<QString>("issue");
        const QString wrongConnection = QStringLiteral("Log ind igen på denne forbindelse.");
        const QByteArray good = saved(QStringLiteral("kept"), kStart + 3600).encode();
        QTest::newRow("nothing stored") << QByteArray() << 0 << QString();
        QTest::newRow("stored session") << good << 0 << QString();
        QTest::newRow("another connection")
            << saved(QStringLiteral("kept"), kStart + 3600, QStringLiteral("other.example.test")).encode() << 0
            << wrongConnection;
        QTest::newRow("anonymous stored user")
            << saved(QStringLiteral("kept"), kStart + 3600, kIdentity, user(kUser, true)).encode() << 0
            << wrongConnection;
        QTest::newRow("undecodable") << QByteArray(R"({"configuration":"auth.example.test"})") << 0
                                     << QString::fromUtf8(kGeneric);
        QTest::newRow("server names another user") << good << 1 << QString::fromUtf8(kGeneric);
        QTest::newRow("server says anonymous") << good << 2 << QString::fromUtf8(kGeneric);
    }

    void restoreOutcomes()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, serverUser);
        QFETCH(QString, issue);
        if (!stored.isEmpty())
            vault->stored = stored;
        if (serverUser == 1)
            api->userAnswer = user(kOtherUser);
        else if (serverUser == 2)
            api->userAnswer = user(kUser, true);
        else
            api->setLastUser(user());

        QSignalSpy retry(session.get(), &EditorSession::canRetryRestoreChanged);
        TestAwait::run(session->restore());
        QVERIFY(!session->busy());
        QCOMPARE(session->issue().value_or(QString()), issue);
        // The stored item is never removed by a restore.
        QCOMPARE(vault->stored.value_or(QByteArray()), stored);

        const bool published = issue.isEmpty() && !stored.isEmpty();
        QCOMPARE(!session->credentialURL().isEmpty(), published);
        if (published) {
            QCOMPARE(api->arguments.last(), QStringLiteral("kept"));
            QCOMPARE(document().value(QStringLiteral("access_token")).toString(), QStringLiteral("kept"));
        }
        QCOMPARE(session->canRetryRestore(), !issue.isEmpty());
        QCOMPARE(retry.count(), issue.isEmpty() ? 0 : 1);

        // Only a failed restore can be run again.
        const int reads = vault->calls.count(QStringLiteral("read"));
        TestAwait::run(session->restore());
        QCOMPARE(vault->calls.count(QStringLiteral("read")), reads + (issue.isEmpty() ? 0 : 1));
    }

    void restoreRefreshesAnExpiringSession()
    {
        vault->stored = saved(QStringLiteral("old"), kStart + 30).encode();
        api->refreshAnswer = tokens(QStringLiteral("new"), 3600);
        TestAwait::run(session->restore());
        QVERIFY(!session->issue());
        QCOMPARE(api->calls, (QStringList{"refresh", "user"}));
        QCOMPARE(api->arguments, (QStringList{"refresh-old", "new"}));
        QCOMPARE(EditorSavedSession::decode(*vault->stored).accessToken, QStringLiteral("new"));
    }

    void restoreWithFailingStoreCanBeRetried()
    {
        vault->failRead = true;
        TestAwait::run(session->restore());
        QCOMPARE(session->issue(), QString::fromUtf8(kVaultFailed));
        QVERIFY(session->canRetryRestore());
        vault->failRead = false;
        vault->stored = saved(QStringLiteral("kept"), kStart + 3600).encode();
        api->setLastUser(user());
        TestAwait::run(session->restore());
        QVERIFY(!session->issue());
        QVERIFY(!session->canRetryRestore());
        QVERIFY(!session->credentialURL().isEmpty());
    }

    void configurationFailureLandsInIssue()
    {
        configurationBroken = true;
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QCOMPARE(session->issue(), QStringLiteral("Ugyldig cloudforbindelse."));
        QVERIFY(api->calls.isEmpty());
    }

    void vaultServiceNamedAfterTheConnection()
    {
        QString service;
        EditorSession fresh([] {
            return EditorAuthConfiguration{QUrl(QStringLiteral("https://h.example")), QStringLiteral("k"),
                                           QStringLiteral("h.example")};
        }, api);
        fresh.setVaultFactory([&](const QString &name) {
            service = name;
            return vault;
        });
        TestAwait::run(fresh.restore());
        QCOMPARE(service, QStringLiteral("film.tavlon.editor.session.h.example"));
    }

    void loginWhileBusyIsRefused()
    {
        vault->hold();
        auto restore = session->restore();
        QVERIFY(session->busy());
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        TestAwait::run(session->logout());
        QVERIFY(api->calls.isEmpty());
        vault->release();
        TestAwait::run(std::move(restore));
        QVERIFY(!session->busy());
    }
};

QTEST_GUILESS_MAIN(TestEditorSession)
#include "tst_editorsession.moc"
