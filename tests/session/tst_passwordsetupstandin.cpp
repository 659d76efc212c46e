// Setting a new password with an e-mailed code against the local HTTPS
// stand-in, then signing in with it.
#include "awaittask.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/localization.h"
#include "session/editorhttpauth.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"
#include "session/passwordsetupform.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestPasswordSetupStandin : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString tools;
    QProcess server;
    EditorAuthConfiguration configuration;

    static bool copyTree(const QString &from, const QString &to)
    {
        QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(from).relativeFilePath(path);
            // Mutable state and caches stay behind: each run starts fresh.
            if (relative.startsWith(QLatin1String("var/")) || relative.contains(QLatin1String("__pycache__")))
                continue;
            const QString target = to + QLatin1Char('/') + relative;
            if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(path, target))
                return false;
        }
        return true;
    }

    QString latestCode(const QString &email)
    {
        QFile outbox(tools + QStringLiteral("/var/outbox.jsonl"));
        if (!outbox.open(QIODevice::ReadOnly))
            return {};
        QString code;
        for (const QByteArray &line : outbox.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.value(QStringLiteral("email")).toString() == email)
                code = entry.value(QStringLiteral("code")).toString();
        }
        return code;
    }

    bool signIn(const QString &password)
    {
        EditorSession session([this] { return configuration; }, std::make_shared<EditorHTTPAuth>(configuration),
                              std::make_shared<MemorySessionVault>());
        TestAwait::run(session.login(QStringLiteral("editor@example.com"), password));
        return !session.credentialURL().isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY(temp.isValid());
        tools = temp.path() + QStringLiteral("/tools");
        QVERIFY(copyTree(QStringLiteral(TAVLON_SOURCE_TOOLING), tools));

        server.setProgram(QStringLiteral("python3"));
        server.setArguments({tools + QStringLiteral("/standin/auth_server.py"), QStringLiteral("--tools-folder"), tools,
                             QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--write-config")});
        server.setProcessChannelMode(QProcess::SeparateChannels);
        server.start();
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() != QProcess::Running, 60000);
        const QJsonObject ready = QJsonDocument::fromJson(server.readLine()).object();
        QVERIFY2(ready.contains(QStringLiteral("ca")), server.readAllStandardError().constData());
        qputenv(EditorHTTPAuth::localCAVariable, ready.value(QStringLiteral("ca")).toString().toUtf8());
        configuration = Bridge::authConfiguration(tools);
    }

    void cleanupTestCase()
    {
        if (server.state() == QProcess::Running) {
            server.terminate();
            server.waitForFinished(10000);
        }
    }

    void newPasswordThroughTheEmailedCode()
    {
        const QString newPassword = QStringLiteral("en ny og lang adgangskode ✓");
        EditorPasswordSetupForm form(QStringLiteral(" editor@example.com "), false,
                                          [this] { return std::make_shared<EditorHTTPAuth>(configuration); });
        form.send();
        QTRY_VERIFY_WITH_TIMEOUT(!form.busy(), 60000);
        QVERIFY2(form.sent(), qPrintable(form.issue().value_or(QString())));

        const QString code = latestCode(QStringLiteral("editor@example.com"));
        QVERIFY(!code.isEmpty());
        form.setCode(code);
        form.setPassword(newPassword);
        form.setConfirmation(newPassword);
        form.save();
        QTRY_VERIFY_WITH_TIMEOUT(!form.busy(), 60000);
        QVERIFY2(form.finished(), qPrintable(form.issue().value_or(QString())));

        QVERIFY(signIn(newPassword));
        QVERIFY(!signIn(QStringLiteral("Tavlon-demo-2026")));
    }

    void usedCodeIsRefused()
    {
        const QString code = latestCode(QStringLiteral("editor@example.com"));
        EditorPasswordSetupForm form(QStringLiteral("editor@example.com"), true,
                                          [this] { return std::make_shared<EditorHTTPAuth>(configuration); });
        form.setCode(code);
        form.setPassword(QStringLiteral("endnu en lang adgangskode"));
        form.setConfirmation(QStringLiteral("endnu en lang adgangskode"));
        form.save();
        QTRY_VERIFY_WITH_TIMEOUT(!form.busy(), 60000);
        QVERIFY(!form.finished());
        QCOMPARE(form.issue(), std::optional(loc("Kunne ikke gemme adgangskoden. Kontrollér koden, eller bed om en ny.")));
    }
};

QTEST_GUILESS_MAIN(TestPasswordSetupStandin)
#include "tst_passwordsetupstandin.moc"
