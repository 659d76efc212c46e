// The sign-in sheet and the account panel offscreen, over a real session
// store with a scripted service and an in-memory vault.
#include "awaittask.h"
#include "fakeauthapi.h"
#include "foundation/errors.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h"
#include "sessionviewhelpers.h"

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace SessionViews;

namespace {

const QUuid kUser = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
const char *kRefused = "Login kunne ikke bekræftes. Kontrollér e-mail og adgangskode, eller prøv igen.";

EditorAuthTokens tokens(std::optional<QString> email = QStringLiteral("editor@example.com"))
{
    EditorAuthTokens t;
    t.access_token = QStringLiteral("access");
    t.refresh_token = QStringLiteral("refresh");
    t.expires_in = 3600;
    t.user.id = kUser;
    t.user.email = email;
    return t;
}

} // namespace

class TestEditorSignInView : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeAuthAPI> api;
    std::shared_ptr<MemorySessionVault> vault;
    std::unique_ptr<EditorSession> session;

    void makeSession()
    {
        api = std::make_shared<FakeAuthAPI>();
        api->loginAnswer = tokens();
        vault = std::make_shared<MemorySessionVault>();
        session = std::make_unique<EditorSession>(
            [] {
                return EditorAuthConfiguration{QUrl(QStringLiteral("https://auth.example.test")),
                                               QStringLiteral("key"), QStringLiteral("auth.example.test")};
            },
            api, vault);
    }

    std::unique_ptr<EditorSignInView> openSheet()
    {
        auto view = std::make_unique<EditorSignInView>(*session);
        view->open();
        return view;
    }
    static QLineEdit *email(QWidget *v) { return v->findChild<QLineEdit *>(QStringLiteral("editor.login.email")); }
    static QLineEdit *password(QWidget *v)
    {
        return v->findChild<QLineEdit *>(QStringLiteral("editor.login.password"));
    }
    static QPushButton *submit(QWidget *v) { return v->findChild<QPushButton *>(QStringLiteral("editor.login.submit")); }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init() { makeSession(); }
    void cleanup() { session.reset(); }

    void submitEnabling_data()
    {
        QTest::addColumn<QString>("typedEmail");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("both empty") << "" << "" << false;
        QTest::newRow("blank e-mail") << " \n\t " << "secret" << false;
        QTest::newRow("empty password") << "editor@example.com" << "" << false;
        QTest::newRow("one-space password") << "editor@example.com" << " " << true;
        QTest::newRow("spaces around e-mail") << "  editor@example.com  " << "secret" << true;
    }
    void submitEnabling()
    {
        QFETCH(QString, typedEmail);
        QFETCH(QString, typedPassword);
        QFETCH(bool, enabled);
        auto view = openSheet();
        typeInto(email(view.get()), typedEmail);
        typeInto(password(view.get()), typedPassword);
        QCOMPARE(submit(view.get())->isEnabled(), enabled);

        // Return is the submit button and nothing else.
        QTest::keyClick(password(view.get()), Qt::Key_Return);
        QCOMPARE(api->calls, enabled ? QStringList{"login"} : QStringList());
        if (enabled) {
            QCOMPARE(api->arguments, QStringList{QStringLiteral("editor@example.com|") + typedPassword});
            QTRY_VERIFY(!view->isVisible()); // signed in: closed without a press
            QCOMPARE(view->result(), int(QDialog::Accepted));
        }
    }

    void failedSignInKeepsEmailAndClearsPassword()
    {
        api->loginError = std::make_exception_ptr(BridgeError::failed(QString::fromUtf8(kRefused)));
        api->held = true;
        auto view = openSheet();
        typeInto(email(view.get()), QStringLiteral("editor@example.com"));
        typeInto(password(view.get()), QStringLiteral("wrong password"));
        submit(view.get())->click();
        // Cleared at the press, before the service answers.
        QCOMPARE(password(view.get())->text(), QString());
        QVERIFY(view->findChild<QProgressBar *>()->isVisible());
        for (auto *w : {static_cast<QWidget *>(email(view.get())), static_cast<QWidget *>(password(view.get())),
                        static_cast<QWidget *>(submit(view.get())),
                        static_cast<QWidget *>(button(view.get(), "Luk")),
                        static_cast<QWidget *>(button(view.get(), "Opret eller nulstil adgangskode"))})
            QVERIFY(!w->isEnabled());
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(view->isVisible());

        api->release();
        QTRY_VERIFY(!session->busy());
        QCOMPARE(email(view.get())->text(), QStringLiteral("editor@example.com"));
        QCOMPARE(password(view.get())->text(), QString());
        QLabel *issue = labelShowing(view.get(), QString::fromUtf8(kRefused));
        QVERIFY(issue);
        QVERIFY(isOrange(issue));
        QVERIFY(!submit(view.get())->isEnabled());
        QVERIFY(view->isVisible());
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(!view->isVisible());
    }

    void closesWhenASessionIsPublishedElsewhere()
    {
        auto view = openSheet();
        QVERIFY(view->isVisible());
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QVERIFY(!view->isVisible());
    }

    void busyRestoreDisablesTheForm()
    {
        vault->hold();
        session->restore();
        QVERIFY(session->busy());
        auto view = openSheet();
        QVERIFY(!email(view.get())->isEnabled());
        QVERIFY(!button(view.get(), "Luk")->isEnabled());
        QVERIFY(view->findChild<QProgressBar *>()->isVisible());
        vault->release();
        QTRY_VERIFY(!session->busy());
        QVERIFY(email(view.get())->isEnabled());
        QVERIFY(view->isVisible()); // nothing was restored: no session published
    }

    void passwordSetupGetsTheUntrimmedEmail_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("spaces around") << "  editor@example.com ";
    }
    void passwordSetupGetsTheUntrimmedEmail()
    {
        QFETCH(QString, typed);
        auto view = openSheet();
        typeInto(email(view.get()), typed);
        view->findChild<QPushButton *>(QStringLiteral("editor.login.passwordSetup"))->click();
        QVERIFY(view->passwordSetup());
        QCOMPARE(view->passwordSetup()->form().email(), typed);
        QVERIFY(!view->passwordSetup()->form().sent());
    }

    // The account panel.

    void panelStates()
    {
        bool ranBeforeLogout = false;
        EditorAccountView panel(*session, [&] { ranBeforeLogout = true; });
        panel.show();
        QPushButton *signIn = panel.findChild<QPushButton *>(QStringLiteral("editor.signIn"));

        // A failed restore offers the retry.
        vault->failRead = true;
        TestAwait::run(session->restore());
        QVERIFY(signIn->isVisible());
        QVERIFY(session->issue());
        QVERIFY(isOrange(labelShowing(&panel, *session->issue())));
        QVERIFY(button(&panel, "Prøv forbindelsen igen")->isVisible());

        // The retry runs the restore again; busy disables and shows progress.
        vault->failRead = false;
        vault->hold();
        button(&panel, "Prøv forbindelsen igen")->click();
        QVERIFY(session->busy());
        QVERIFY(!signIn->isEnabled());
        QVERIFY(!button(&panel, "Prøv forbindelsen igen")->isVisible());
        QVERIFY(panel.findChild<QProgressBar *>()->isVisible());
        vault->release();
        QTRY_VERIFY(!session->busy());
        QVERIFY(!session->issue());
        QVERIFY(!button(&panel, "Prøv forbindelsen igen")->isVisible());
        QVERIFY(!panel.findChild<QProgressBar *>()->isVisible());

        // Signed in without an address: "Editor", also as help text.
        api->loginAnswer = tokens(std::nullopt);
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QVERIFY(!signIn->isVisible());
        QLabel *name = labelShowing(&panel, loc("Editor"));
        QVERIFY(name);
        QCOMPARE(name->toolTip(), loc("Editor"));
        QVERIFY(!ranBeforeLogout);
    }

    void signOutRunsTheEmbeddersActionFirst()
    {
        api->loginAnswer = tokens(QStringLiteral("a.rather.long.address.of.an.editor@example.com"));
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QStringList order;
        EditorAccountView panel(*session, [&] { order << QStringLiteral("before:") + api->calls.join(','); });
        panel.setFixedWidth(160);
        panel.show();
        QLabel *name = labelShowing(&panel, *session->email());
        QVERIFY(name);
        QCOMPARE(name->toolTip(), *session->email());
        QVERIFY(name->height() < 2 * name->fontMetrics().height()); // one line, truncated

        api->logoutError = std::make_exception_ptr(BridgeError::failed(QString::fromUtf8(kRefused)));
        api->held = true;
        button(&panel, "Log ud")->click();
        QCOMPARE(order, QStringList{QStringLiteral("before:login")});
        QVERIFY(!button(&panel, "Log ud")->isEnabled() || !button(&panel, "Log ud")->isVisible());
        button(&panel, "Log ud")->click(); // disabled: runs nothing
        api->release();
        QTRY_VERIFY(!session->busy());
        QCOMPARE(order.size(), 1);
        // Signed out although the server did not confirm; no retry after a sign-out.
        QVERIFY(panel.findChild<QPushButton *>(QStringLiteral("editor.signIn"))->isVisible());
        QVERIFY(session->issue());
        QVERIFY(labelShowing(&panel, *session->issue()));
        QVERIFY(!button(&panel, "Prøv forbindelsen igen")->isVisible());
    }

    // A sign-out whose store removal fails leaves the person signed in with
    // the store's sentence; a restore retry makes no sense while signed in.
    void failureWhileSignedInHasNoRetry()
    {
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        EditorAccountView panel(*session, [] {});
        panel.show();
        vault->failRemove = true;
        button(&panel, "Log ud")->click();
        QTRY_VERIFY(!session->busy());
        QVERIFY(!session->credentialURL().isEmpty());
        QVERIFY(session->issue());
        QVERIFY(button(&panel, "Log ud")->isVisible());
        QVERIFY(button(&panel, "Log ud")->isEnabled());
        QLabel *issue = labelShowing(&panel, *session->issue());
        QVERIFY(issue);
        QVERIFY(isOrange(issue));
        QVERIFY(issue->y() > button(&panel, "Log ud")->mapTo(&panel, QPoint()).y());
        QVERIFY(!button(&panel, "Prøv forbindelsen igen")->isVisible());
    }

    void signInFromThePanel()
    {
        EditorAccountView panel(*session, [] {});
        panel.show();
        panel.findChild<QPushButton *>(QStringLiteral("editor.signIn"))->click();
        QPointer<EditorSignInView> sheet = panel.signInSheet();
        QVERIFY(sheet);
        QVERIFY(sheet->isVisible());
        typeInto(email(sheet), QStringLiteral("editor@example.com"));
        typeInto(password(sheet), QStringLiteral("Tavlon-demo-2026"));
        QTest::keyClick(password(sheet), Qt::Key_Return);
        QTRY_VERIFY(!sheet); // closed by itself and released
        QVERIFY(button(&panel, "Log ud")->isVisible());
        QVERIFY(labelShowing(&panel, QStringLiteral("editor@example.com")));
    }
};

QTEST_MAIN(TestEditorSignInView)
#include "tst_editorsigninview.moc"
