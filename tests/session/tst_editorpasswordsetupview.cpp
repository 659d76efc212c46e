// The password setup sheet offscreen, against a scripted service: the two
// steps, what enables the buttons, the keyboard, the busy state and the
// messages.
#include "fakepasswordapi.h"
#include "foundation/errors.h"
#include "session/ui/editorpasswordsetupview.h"
#include "sessionviewhelpers.h"

#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace SessionViews;

namespace {

const QUuid kUser = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
const QString kPassword = QStringLiteral("correct-horse-battery");

EditorAuthTokens recovery()
{
    EditorAuthTokens t;
    t.access_token = QStringLiteral("recovery-token");
    t.user.id = kUser;
    t.user.email = QStringLiteral("editor@example.com");
    return t;
}

} // namespace

class TestEditorPasswordSetupView : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakePasswordAPI> api;
    bool configurationBroken = false;
    std::unique_ptr<EditorPasswordSetupView> view;

    void open(const QString &email, bool codeSent)
    {
        view = std::make_unique<EditorPasswordSetupView>(email, codeSent, nullptr, [this] {
            if (configurationBroken)
                throw BridgeError::failed(QStringLiteral("Ugyldig cloudforbindelse."));
            return std::static_pointer_cast<EditorPasswordAPI>(api);
        });
        view->open();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
    QLineEdit *email() { return fieldTitled(view.get(), "E-mail"); }
    QLineEdit *code() { return fieldTitled(view.get(), "Kode fra mailen"); }
    QLineEdit *password() { return fieldTitled(view.get(), "Ny adgangskode (mindst 12 tegn)"); }
    QLineEdit *repeat() { return fieldTitled(view.get(), "Gentag adgangskoden"); }
    QAbstractButton *send() { return button(view.get(), "Send kode"); }
    QAbstractButton *save() { return button(view.get(), "Gem adgangskode"); }

    void fillCodeStep(const QString &codeText, const QString &pw, const QString &confirmation)
    {
        typeInto(code(), codeText);
        typeInto(password(), pw);
        typeInto(repeat(), confirmation);
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init()
    {
        api = std::make_shared<FakePasswordAPI>();
        api->verifyAnswer = recovery();
        configurationBroken = false;
    }
    void cleanup() { view.reset(); }

    void sendNeedsAnAtSign_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("no @") << "editor.example.com" << false;
        QTest::newRow("only @") << "@" << true;
        QTest::newRow("spaces around") << "  editor@example.com  " << true;
    }
    void sendNeedsAnAtSign()
    {
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        open(QString(), false);
        QVERIFY(send()->isVisible());
        QVERIFY(!code()->isVisible());
        typeInto(email(), typed);
        QCOMPARE(send()->isEnabled(), enabled);
    }

    void sendTrimsAndMovesToTheCodeStep()
    {
        open(QStringLiteral("  editor@example.com \n"), false);
        QVERIFY(send()->isEnabled());
        send()->click();
        QCOMPARE(api->arguments, QStringList{QStringLiteral("editor@example.com")});
        QCOMPARE(email()->text(), QStringLiteral("editor@example.com"));
        QVERIFY(!email()->isEnabled());
        QVERIFY(code()->isVisible());
        QVERIFY(!send()->isVisible());
        QVERIFY(!save()->isEnabled());
    }

    void sendFailureShowsOneSentence_data()
    {
        QTest::addColumn<bool>("brokenConfiguration");
        QTest::newRow("request refused") << false;
        QTest::newRow("configuration unreadable") << true;
    }
    void sendFailureShowsOneSentence()
    {
        QFETCH(bool, brokenConfiguration);
        configurationBroken = brokenConfiguration;
        api->requestError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("status")));
        open(QStringLiteral(" editor@example.com "), false);
        send()->click();
        const QString sentence = loc("Kunne ikke sende en kode. Vent lidt, og prøv igen.");
        QCOMPARE(view->form().issue(), std::optional(sentence));
        QVERIFY(isOrange(labelShowing(view.get(), sentence)));
        QVERIFY(send()->isVisible());
        QVERIFY(email()->isEnabled());
        QCOMPARE(email()->text(), QStringLiteral("editor@example.com"));
    }

    void anotherEmailKeepsTypedPasswords()
    {
        open(QStringLiteral("editor@example.com"), true);
        fillCodeStep(QStringLiteral("123"), kPassword, QStringLiteral("x"));
        save()->click(); // a mismatch: sets a message, sends nothing
        QVERIFY(view->form().issue());
        button(view.get(), "Brug en anden mail eller bed om ny kode")->click();
        QVERIFY(email()->isEnabled());
        QVERIFY(!code()->isVisible());
        QVERIFY(!view->form().issue());
        send()->click();
        QCOMPARE(code()->text(), QString());
        QCOMPARE(password()->text(), kPassword);
        QCOMPARE(repeat()->text(), QStringLiteral("x"));
    }

    void saveEnabling_data()
    {
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<QString>("pw");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("11 characters") << "123456" << "abcdefghijk" << false;
        QTest::newRow("12 characters") << "123456" << "abcdefghijkl" << true;
        QTest::newRow("12 emoji") << "1" << QStringLiteral("😀").repeated(12) << true;
        QTest::newRow("no code") << "" << "abcdefghijkl" << false;
    }
    void saveEnabling()
    {
        QFETCH(QString, codeText);
        QFETCH(QString, pw);
        QFETCH(bool, enabled);
        open(QStringLiteral("editor@example.com"), true);
        fillCodeStep(codeText, pw, QStringLiteral("whatever the repeat holds"));
        QCOMPARE(save()->isEnabled(), enabled);
    }

    void mismatchKeepsFieldsAndSendsNothing()
    {
        open(QStringLiteral("editor@example.com"), true);
        fillCodeStep(QStringLiteral("123456"), kPassword, kPassword + QLatin1Char('!'));
        save()->click();
        QCOMPARE(view->form().issue(), std::optional(loc("Adgangskoderne er ikke ens.")));
        QVERIFY(api->calls.isEmpty());
        QCOMPARE(code()->text(), QStringLiteral("123456"));
        QCOMPARE(password()->text(), kPassword);
    }

    void failedSaveEmptiesTheFields_data()
    {
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("code of letters, refused before any request") << "abcdef" << QStringList();
        QTest::newRow("code refused by the service") << "123456" << QStringList{"verify"};
    }
    void failedSaveEmptiesTheFields()
    {
        QFETCH(QString, codeText);
        QFETCH(QStringList, calls);
        api->verifyError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("status")));
        open(QStringLiteral("editor@example.com"), true);
        fillCodeStep(codeText, kPassword, kPassword);
        save()->click();
        QCOMPARE(api->calls, calls);
        const QString sentence = loc("Kunne ikke gemme adgangskoden. Kontrollér koden, eller bed om en ny.");
        QVERIFY(isOrange(labelShowing(view.get(), sentence)));
        for (QLineEdit *field : {code(), password(), repeat()})
            QCOMPARE(field->text(), QString());
        QVERIFY(code()->isVisible());
    }

    void busyLocksTheSheetThenFinishes()
    {
        api->held = true;
        open(QStringLiteral("editor@example.com"), true);
        fillCodeStep(QStringLiteral("123456"), kPassword, kPassword);
        save()->click();
        QVERIFY(view->form().busy());
        for (auto *w : view->findChildren<QLineEdit *>())
            QVERIFY(!w->isEnabled());
        for (auto *b : view->findChildren<QPushButton *>())
            QVERIFY2(!b->isVisible() || !b->isEnabled(), qPrintable(b->text()));
        QVERIFY(view->findChild<QProgressBar *>()->isVisible());
        QTest::keyClick(view.get(), Qt::Key_Escape);
        view->close();
        QVERIFY(view->isVisible());

        api->release();
        QTRY_VERIFY(view->form().finished());
        QCOMPARE(api->calls, (QStringList{"verify", "set", "logout"}));
        QVERIFY(labelShowing(view.get(), loc("Din adgangskode er klar. Log ind med den nye kode.")));
        QVERIFY(!email()->isVisible());
        QVERIFY(!button(view.get(), "Luk")->isVisible());
        QTest::keyClick(view.get(), Qt::Key_Return);
        QVERIFY(!view->isVisible());
        QCOMPARE(view->result(), int(QDialog::Accepted));
    }

    void returnStartsNothingEscapeCloses_data()
    {
        QTest::addColumn<bool>("codeSent");
        QTest::newRow("e-mail step") << false;
        QTest::newRow("code step") << true;
    }
    void returnStartsNothingEscapeCloses()
    {
        QFETCH(bool, codeSent);
        open(QStringLiteral("editor@example.com"), codeSent);
        if (codeSent) {
            QVERIFY(!email()->isEnabled());
            fillCodeStep(QStringLiteral("123456"), kPassword, kPassword);
        }
        for (QLineEdit *field : view->findChildren<QLineEdit *>())
            if (field->isVisible() && field->isEnabled())
                QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(api->calls.isEmpty());
        QVERIFY(view->isVisible());
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(!view->isVisible());
    }

    void outcomeIsDroppedWhenTheSheetIsGone()
    {
        api->held = true;
        open(QStringLiteral("editor@example.com"), false);
        send()->click();
        view.reset();
        api->release(); // must not touch the destroyed form
        QCOMPARE(api->calls, QStringList{"request"});
    }
};

QTEST_MAIN(TestEditorPasswordSetupView)
#include "tst_editorpasswordsetupview.moc"
