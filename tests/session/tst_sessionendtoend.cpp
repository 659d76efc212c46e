// Sign-in against the local stand-in service, a restore by a second session
// store from the real secret store, and a tool that receives the session.
#include "awaittask.h"
#include "foundation/bridge/bridge.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorhttpauth.h"
#include "session/editorsession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSessionEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString tools;
    QProcess server;

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY(dir.isValid());
        tools = dir.filePath(QStringLiteral("tooling"));
        QProcess copy;
        copy.start(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVLON_SOURCE_TOOLING), tools});
        QVERIFY(copy.waitForFinished(60000) && copy.exitCode() == 0);
        QDir(tools + QStringLiteral("/var")).removeRecursively();

        QProcess reset;
        reset.start(QStringLiteral("python3"), {tools + QStringLiteral("/standin/reset.py"),
                                                QStringLiteral("--tools-folder"), tools});
        QVERIFY(reset.waitForFinished(60000) && reset.exitCode() == 0);

        server.setProgram(QStringLiteral("python3"));
        server.setArguments({tools + QStringLiteral("/standin/auth_server.py"), QStringLiteral("--tools-folder"), tools,
                             QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--write-config")});
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start();
        QVERIFY(server.waitForReadyRead(60000));
        const QJsonObject hello = QJsonDocument::fromJson(server.readLine()).object();
        QVERIFY(hello.value(QStringLiteral("port")).toInt() > 0);
        qputenv(EditorHTTPAuth::localCAVariable, hello.value(QStringLiteral("ca")).toString().toLocal8Bit());
    }

    void cleanupTestCase()
    {
        Bridge::setSessionProvider(nullptr);
        server.terminate();
        server.waitForFinished(5000);
    }

    void signInRestoreAndRunATool()
    {
        try {
            run();
        } catch (const BridgeError &error) {
            QFAIL(qPrintable(error.message()));
        } catch (const std::exception &error) {
            QFAIL(error.what());
        }
    }

    // The stand-in refuses a sign-in the way the real service does (400 for
    // bad credentials): the person reads the refusal, not a connection failure.
    void refusedSignIn_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << "editor@example.com" << "not-the-password";
        QTest::newRow("unknown account") << "nobody@example.com" << "Tavlon-demo-2026";
    }

    void refusedSignIn()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        EditorSession session([this] { return Bridge::authConfiguration(tools); });
        TestAwait::run(session.login(email, password));
        QCOMPARE(session.issue(),
                 QStringLiteral("Login kunne ikke bekræftes. Kontrollér e-mail og adgangskode, eller prøv igen."));
        QVERIFY(session.credentialURL().isEmpty());
    }

private:
    void run()
    {
        const auto configure = [this] { return Bridge::authConfiguration(tools); };

        EditorSession first(configure);
        TestAwait::run(first.login(QStringLiteral(" editor@example.com "), QStringLiteral("Tavlon-demo-2026")));
        QVERIFY2(!first.issue(), qPrintable(first.issue().value_or(QString())));
        QCOMPARE(first.email(), QStringLiteral("editor@example.com"));

        // A new process would start like this: nothing in memory, the item in the store.
        EditorSession second(configure);
        TestAwait::run(second.restore());
        QVERIFY2(!second.issue(), qPrintable(second.issue().value_or(QString())));
        QVERIFY(!second.credentialURL().isEmpty());
        QVERIFY(second.credentialURL() != first.credentialURL());
        QCOMPARE(second.userID(), first.userID());

        Bridge::setSessionProvider(&second);
        const QByteArray answer = TestAwait::run(
            Bridge::data(BridgeCommand::serviceCompanies(second.credentialURL(), std::nullopt, std::nullopt), tools));
        QVERIFY(QJsonDocument::fromJson(answer).object().contains(QStringLiteral("companies")));

        // After signing out, the tools refuse the old session URL before starting.
        const QUrl old = second.credentialURL();
        TestAwait::run(second.logout());
        QVERIFY2(!second.issue(), qPrintable(second.issue().value_or(QString())));
        try {
            TestAwait::run(Bridge::data(BridgeCommand::serviceCompanies(old, std::nullopt, std::nullopt), tools));
            QFAIL("a signed-out session was handed to a tool");
        } catch (const BridgeError &error) {
            QCOMPARE(error.message(), QStringLiteral("Login er ændret. Hent virksomhederne igen."));
        }
        // And the store no longer holds it.
        EditorSession third(configure);
        TestAwait::run(third.restore());
        QVERIFY(third.credentialURL().isEmpty());
        QVERIFY(!third.issue());
    }
};

QTEST_GUILESS_MAIN(TestSessionEndToEnd)
#include "tst_sessionendtoend.moc"
