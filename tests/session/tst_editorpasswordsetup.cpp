// Setting a password with an e-mailed code against a scripted service: the
// form check before any request, the account checks, and the end of the
// recovery session on every road that obtained one.
#include "fakepasswordapi.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/passwordsetup.h"

#include <QtTest>

namespace {

const char *kForm = "Brug koden fra mailen og mindst 12 tegn i adgangskoden.";
const char *kNoToken = "Koden kunne ikke bekræftes. Bed om en ny kode.";
const char *kOtherAccount = "Koden tilhører en anden konto.";
const char *kAccount = "Kontoen kunne ikke bekræftes.";
const char *kStatus = "Login kunne ikke bekræftes. Kontrollér e-mail og adgangskode, eller prøv igen.";
const char *kTransport = "Kan ikke forbinde til Tavlon. Kontrollér forbindelsen og prøv igen.";

const QUuid kUser = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
const QUuid kOther = QUuid::fromString(QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7"));
const QString kPassword = QStringLiteral("correct-horse-battery");

EditorAuthUser account(std::optional<QString> email = QStringLiteral("editor@example.com"), QUuid id = kUser,
                       std::optional<bool> anonymous = std::nullopt)
{
    EditorAuthUser u;
    u.id = id;
    u.email = email;
    u.is_anonymous = anonymous;
    return u;
}

EditorAuthTokens recovery(const QString &token = QStringLiteral("recovery-token"), EditorAuthUser user = account())
{
    EditorAuthTokens t;
    t.access_token = token;
    t.refresh_token = QStringLiteral("recovery-refresh");
    t.expires_in = 3600;
    t.user = user;
    return t;
}

std::exception_ptr failure(const char *message)
{
    return std::make_exception_ptr(BridgeError::failed(QString::fromUtf8(message)));
}

// QCoro's waitFor() loses exceptions: catch them in a coroutine of our own.
QCoro::Task<void> capture(QCoro::Task<void> task, QString *message, bool *done)
{
    try {
        co_await std::move(task);
    } catch (const BridgeError &error) {
        *message = error.message();
    } catch (const OperationCancelled &) {
        *message = QStringLiteral("<cancelled>");
    } catch (...) {
        // Anything else (a decoding error) must still end the wait.
        *message = QStringLiteral("<other error>");
    }
    *done = true;
}

// The message thrown by complete(), "<cancelled>", or an empty text on success.
QString run(const std::shared_ptr<FakePasswordAPI> &api, const QString &email, const QString &code,
            const QString &password)
{
    QString message;
    bool done = false;
    capture(EditorPasswordSetup::complete(email, code, password, api), &message, &done);
    QDeadlineTimer bound(60000);
    while (!done && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return done ? message : QStringLiteral("<unfinished>");
}

} // namespace

class TestEditorPasswordSetup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }

    void formCheck_data();
    void formCheck();
    void addressComparison_data();
    void addressComparison();
    void outcome_data();
    void outcome();
    void successSendsTheRecoveryTokenThroughout();
    void cancelledSettingStillEndsTheRecoverySession();
};

void TestEditorPasswordSetup::formCheck_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("passes");

    const QString code = QStringLiteral("123456");
    // Grapheme clusters, not code units or bytes.
    QTest::newRow("11 letters") << code << QStringLiteral("abcdefghijk") << false;
    QTest::newRow("12 letters") << code << QStringLiteral("abcdefghijkl") << true;
    QTest::newRow("12 accented letters") << code << QStringLiteral("éèêëæøåéèêëæ") << true;
    QTest::newRow("11 combining sequences") << code << QString(QStringLiteral("e\u0301")).repeated(11) << false;
    QTest::newRow("12 combining sequences") << code << QString(QStringLiteral("e\u0301")).repeated(12) << true;
    QTest::newRow("11 emoji") << code << QStringLiteral("😀").repeated(11) << false;
    QTest::newRow("12 emoji") << code << QStringLiteral("😀").repeated(12) << true;
    QTest::newRow("11 family emoji") << code << QStringLiteral("👨‍👩‍👧").repeated(11) << false;
    QTest::newRow("12 flags") << code << QStringLiteral("🇩🇰").repeated(12) << true;
    QTest::newRow("11 flags") << code << QStringLiteral("🇩🇰").repeated(11) << false;

    QTest::newRow("code of 5") << QStringLiteral("12345") << kPassword << false;
    QTest::newRow("code of 6") << QStringLiteral("123456") << kPassword << true;
    QTest::newRow("code of 10") << QStringLiteral("1234567890") << kPassword << true;
    QTest::newRow("code of 11") << QStringLiteral("12345678901") << kPassword << false;
    QTest::newRow("code with space") << QStringLiteral("123 456") << kPassword << false;
    QTest::newRow("code with letter") << QStringLiteral("12345a") << kPassword << false;
    QTest::newRow("code with trailing newline") << QStringLiteral("123456\n") << kPassword << false;
    QTest::newRow("full-width digits") << QStringLiteral("１２３４５６") << kPassword << false;
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("١٢٣٤٥٦") << kPassword << false;
    QTest::newRow("digits with combining mark") << QStringLiteral("1\u20e323456") << kPassword << false;
}

void TestEditorPasswordSetup::formCheck()
{
    QFETCH(QString, code);
    QFETCH(QString, password);
    QFETCH(bool, passes);

    auto api = std::make_shared<FakePasswordAPI>();
    api->verifyAnswer = recovery();
    const QString message = run(api, QStringLiteral("editor@example.com"), code, password);
    if (passes) {
        QCOMPARE(message, QString());
        QCOMPARE(api->calls, (QStringList{"verify", "set", "logout"}));
    } else {
        QCOMPARE(message, QString::fromUtf8(kForm));
        QVERIFY(api->calls.isEmpty());
    }
}

void TestEditorPasswordSetup::addressComparison_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("answered");
    QTest::addColumn<bool>("matches");

    QTest::newRow("capitals typed") << "Editor@Example.COM" << "editor@example.com" << true;
    QTest::newRow("trailing space typed") << "editor@example.com " << "editor@example.com" << false;
    QTest::newRow("composed and decomposed") << QStringLiteral("s\u00f8ren.\u00e9@example.com")
                                              << QStringLiteral("S\u00d8REN.E\u0301@example.com") << true;
    QTest::newRow("another address") << "second.editor@example.com" << "editor@example.com" << false;
}

void TestEditorPasswordSetup::addressComparison()
{
    QFETCH(QString, typed);
    QFETCH(QString, answered);
    QFETCH(bool, matches);

    auto api = std::make_shared<FakePasswordAPI>();
    api->verifyAnswer = recovery(QStringLiteral("t"), account(answered));
    const QString message = run(api, typed, QStringLiteral("123456"), kPassword);
    QCOMPARE(message, matches ? QString() : QString::fromUtf8(kOtherAccount));
    // The address is sent exactly as typed.
    QCOMPARE(api->arguments.first(), typed + QStringLiteral("|123456"));
    QCOMPARE(api->calls.last(), QStringLiteral("logout"));
}

void TestEditorPasswordSetup::outcome_data()
{
    QTest::addColumn<EditorAuthTokens>("verified");
    QTest::addColumn<std::optional<EditorAuthUser>>("setAnswer");
    QTest::addColumn<std::exception_ptr>("verifyError");
    QTest::addColumn<std::exception_ptr>("setError");
    QTest::addColumn<std::exception_ptr>("logoutError");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("calls");

    const std::optional<EditorAuthUser> same;
    const std::exception_ptr none;
    const QStringList all{"verify", "set", "logout"};
    const QStringList verifyAndEnd{"verify", "logout"};

    QTest::newRow("success") << recovery() << same << none << none << none << QString() << all;
    QTest::newRow("verification refused") << recovery() << same << failure(kStatus) << none << none
                                          << QString::fromUtf8(kStatus) << QStringList{"verify"};
    QTest::newRow("verification answer undecodable")
        << recovery() << same << std::make_exception_ptr(DecodingError(QStringLiteral("user"), QStringLiteral("missing")))
        << none << none << QStringLiteral("<other error>") << QStringList{"verify"};
    QTest::newRow("setting answer undecodable")
        << recovery() << same << none
        << std::make_exception_ptr(DecodingError(QStringLiteral("id"), QStringLiteral("missing"))) << none
        << QStringLiteral("<other error>") << all;
    QTest::newRow("empty access token") << recovery(QString()) << same << none << none << none
                                        << QString::fromUtf8(kNoToken) << QStringList{"verify"};
    QTest::newRow("anonymous recovery session")
        << recovery(QStringLiteral("t"), account(QStringLiteral("editor@example.com"), kUser, true)) << same << none
        << none << none << QString::fromUtf8(kOtherAccount) << verifyAndEnd;
    QTest::newRow("not anonymous passes")
        << recovery(QStringLiteral("t"), account(QStringLiteral("editor@example.com"), kUser, false)) << same << none
        << none << none << QString() << all;
    QTest::newRow("recovery session without e-mail")
        << recovery(QStringLiteral("t"), account(std::nullopt)) << same << none << none << none
        << QString::fromUtf8(kOtherAccount) << verifyAndEnd;
    QTest::newRow("other account, sign-out fails too")
        << recovery(QStringLiteral("t"), account(QStringLiteral("second.editor@example.com"))) << same << none
        << none << failure(kTransport) << QString::fromUtf8(kOtherAccount) << verifyAndEnd;
    QTest::newRow("setting refused") << recovery() << same << none << failure(kStatus) << none
                                     << QString::fromUtf8(kStatus) << all;
    QTest::newRow("setting refused, sign-out fails too") << recovery() << same << none << failure(kStatus)
                                                         << failure(kTransport) << QString::fromUtf8(kStatus) << all;
    QTest::newRow("another user id answers")
        << recovery() << std::optional(account(QStringLiteral("editor@example.com"), kOther)) << none << none << none
        << QString::fromUtf8(kAccount) << all;
    QTest::newRow("answer without e-mail") << recovery() << std::optional(account(std::nullopt)) << none << none
                                           << none << QString::fromUtf8(kAccount) << all;
    QTest::newRow("answer with another e-mail")
        << recovery() << std::optional(account(QStringLiteral("other@example.com"))) << none << none << none
        << QString::fromUtf8(kAccount) << all;
    QTest::newRow("anonymous answer is not read")
        << recovery() << std::optional(account(QStringLiteral("editor@example.com"), kUser, true)) << none << none
        << none << QString() << all;
    QTest::newRow("final sign-out fails") << recovery() << same << none << none << failure(kTransport)
                                          << QString::fromUtf8(kTransport) << all;
}

void TestEditorPasswordSetup::outcome()
{
    QFETCH(EditorAuthTokens, verified);
    QFETCH(std::optional<EditorAuthUser>, setAnswer);
    QFETCH(std::exception_ptr, verifyError);
    QFETCH(std::exception_ptr, setError);
    QFETCH(std::exception_ptr, logoutError);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);

    auto api = std::make_shared<FakePasswordAPI>();
    api->verifyAnswer = verified;
    api->setAnswer = setAnswer;
    api->verifyError = verifyError;
    api->setError = setError;
    api->logoutError = logoutError;
    QCOMPARE(run(api, QStringLiteral("editor@example.com"), QStringLiteral("123456"), kPassword), message);
    QCOMPARE(api->calls, calls);
}

void TestEditorPasswordSetup::successSendsTheRecoveryTokenThroughout()
{
    auto api = std::make_shared<FakePasswordAPI>();
    api->verifyAnswer = recovery(QStringLiteral("recovery-abc"));
    QCOMPARE(run(api, QStringLiteral("editor@example.com"), QStringLiteral("0123456789"), kPassword), QString());
    QCOMPARE(api->arguments, (QStringList{QStringLiteral("editor@example.com|0123456789"),
                                          kPassword + QStringLiteral("|recovery-abc"), QStringLiteral("recovery-abc")}));
}

void TestEditorPasswordSetup::cancelledSettingStillEndsTheRecoverySession()
{
    auto api = std::make_shared<FakePasswordAPI>();
    api->verifyAnswer = recovery(QStringLiteral("recovery-abc"));
    api->setError = std::make_exception_ptr(OperationCancelled());
    QCOMPARE(run(api, QStringLiteral("editor@example.com"), QStringLiteral("123456"), kPassword),
             QStringLiteral("<cancelled>"));
    QCOMPARE(api->calls, (QStringList{"verify", "set", "logout"}));
    QCOMPARE(api->arguments.last(), QStringLiteral("recovery-abc"));
}

QTEST_GUILESS_MAIN(TestEditorPasswordSetup)
#include "tst_editorpasswordsetup.moc"
