// The signed update machinery against the local HTTPS feed (tooling's
// update_server.py): a good update is verified, staged and put in place of
// the bundle; every damaged or foreign one is refused with its sentence and
// leaves the installed bundle as it was.
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "updater/signedupdateframework.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString plist(const QString &version)
{
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Tavlon</string>
	<key>CFBundleIdentifier</key>
	<string>film.tavlon.editor.local</string>
	<key>CFBundleShortVersionString</key>
	<string>%1</string>
	<key>CFBundleVersion</key>
	<string>%1</string>
</dict>
</plist>
)")
        .arg(version);
}

bool writeBundle(const QString &path, const QString &version)
{
    QDir().mkpath(path + QStringLiteral("/Contents/MacOS"));
    QFile info(path + QStringLiteral("/Contents/Info.plist"));
    QFile executable(path + QStringLiteral("/Contents/MacOS/Tavlon"));
    return info.open(QIODevice::WriteOnly) && info.write(plist(version).toUtf8()) > 0
        && executable.open(QIODevice::WriteOnly) && executable.write("#!/bin/sh\n") > 0
        && executable.setPermissions(executable.permissions() | QFile::ExeOwner);
}

// Every file below `path` with its bytes: what "unchanged" compares.
QMap<QString, QByteArray> snapshot(const QString &path)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(path).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

class Delegate final : public UpdateFrameworkDelegate
{
public:
    bool shouldRelaunchApplication() override { return allowRelaunch; }
    bool shouldPostponeRelaunch(const UpdateItem &, std::function<void()>) override
    {
        staged = snapshot(stagedPath);
        return postpone; // the continuation is never called: the person cancels meanwhile
    }
    void didFinishUpdateCycle(UpdateCheckKind, const std::optional<QString> &error) override
    {
        ++cycles;
        failure = error;
    }

    bool allowRelaunch = true;
    bool postpone = false;
    QString stagedPath;
    QMap<QString, QByteArray> staged;
    int cycles = 0;
    std::optional<QString> failure;
};

} // namespace

class TestSignedUpdate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cycle_data();
    void cycle();

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QUrl m_feed;
    QByteArray m_key;
    QString m_ca;
};

void TestSignedUpdate::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    QVERIFY(m_dir.isValid());
    const QString tools = m_dir.filePath(QStringLiteral("tooling"));
    QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVLON_SOURCE_TOOLING), tools}), 0);
    QDir(tools + QStringLiteral("/var")).removeRecursively();
    const QString source = m_dir.filePath(QStringLiteral("source/Tavlon.app"));
    QVERIFY(writeBundle(source, QStringLiteral("1.0")));

    m_server.setProgram(QStringLiteral("python3"));
    m_server.setArguments({tools + QStringLiteral("/standin/update_server.py"), QStringLiteral("--tools-folder"), tools,
                           QStringLiteral("--bundle"), source, QStringLiteral("--version"), QStringLiteral("2.0")});
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start();
    QVERIFY(m_server.waitForStarted(30000));
    while (!m_server.canReadLine())
        QVERIFY2(m_server.waitForReadyRead(60000), "the update feed printed no address");
    const QJsonObject hello = QJsonDocument::fromJson(m_server.readLine()).object();
    m_feed = QUrl(hello.value(QStringLiteral("feed")).toString());
    m_key = QByteArray::fromBase64(hello.value(QStringLiteral("publicKey")).toString().toLatin1());
    m_ca = hello.value(QStringLiteral("ca")).toString();
    QVERIFY(m_feed.isValid() && m_key.size() == 32);
}

void TestSignedUpdate::cleanupTestCase()
{
    m_server.terminate();
    m_server.waitForFinished(5000);
}

void TestSignedUpdate::cycle_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("ownKey");
    QTest::addColumn<bool>("allowRelaunch");
    QTest::addColumn<QString>("failure"); // empty: installed, unless cancelled
    QTest::newRow("good update") << "good" << true << true << QString();
    QTest::newRow("cancelled while settings close") << "cancel-while-waiting" << true << true << QString();
    QTest::newRow("flipped byte") << "flipped-byte" << true << true
                                  << "The update's signature is not valid. Nothing was installed.";
    QTest::newRow("signed with another key") << "foreign-key" << true << true
                                             << "The update's signature is not valid. Nothing was installed.";
    QTest::newRow("truncated download") << "truncated" << true << true
                                        << "The update download broke off. Nothing was installed.";
    QTest::newRow("no item for this computer") << "no-platform" << true << true
                                               << "The update feed offers no update for this computer.";
    QTest::newRow("feed not signed with the app's key")
        << "good" << false << true << "The update feed is not signed with the app's key. Nothing was installed.";
    QTest::newRow("relaunch refused") << "good" << true << false
                                      << "The app was not restarted. Install the update again later.";
}

void TestSignedUpdate::cycle()
{
    QFETCH(QString, scenario);
    QFETCH(bool, ownKey);
    QFETCH(bool, allowRelaunch);
    QFETCH(QString, failure);
    const bool cancelWhileWaiting = scenario == u"cancel-while-waiting";
    QFile word(m_dir.filePath(QStringLiteral("tooling/var/updates/scenario")));
    QVERIFY(word.open(QIODevice::WriteOnly) && word.write(cancelWhileWaiting ? "good" : scenario.toUtf8()) > 0);
    word.close();

    QTemporaryDir install;
    const QString bundle = install.filePath(QStringLiteral("Tavlon.app"));
    QVERIFY(writeBundle(bundle, QStringLiteral("1.0")));
    const auto before = snapshot(bundle);

    MemorySettingsStore settings;
    Delegate delegate;
    delegate.allowRelaunch = allowRelaunch;
    delegate.postpone = cancelWhileWaiting;
    QStringList relaunched;
    SignedUpdateFramework::Setup setup;
    setup.bundlePath = bundle;
    setup.currentVersion = QStringLiteral("1.0");
    setup.feed = m_feed;
    setup.publicKey = ownKey ? m_key : QByteArray(32, '\x07');
    setup.platform = UpdateFeed::currentPlatform();
    setup.localAuthorities = QSslCertificate::fromPath(m_ca);
    setup.relaunch = [&relaunched](const QString &executable) { relaunched << executable; };
    setup.settings = &settings;
    SignedUpdateFramework framework(setup, &delegate);
    delegate.stagedPath = framework.stagingPath() + QStringLiteral("/unpacked/Tavlon.app");
    QVERIFY(!framework.startUpdater());

    framework.checkForUpdates();
    QVERIFY(!framework.canCheckForUpdates());
    UpdateCycle &cycle = framework.cycle();
    QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::available || delegate.cycles == 1, 30000);
    if (cycle.phase() == UpdateCycle::Phase::available) {
        QCOMPARE(cycle.item()->version, QStringLiteral("2.0"));
        QCOMPARE(cycle.text(), QStringLiteral("Version 2.0 is available. You have version 1.0."));
        cycle.install();
    }
    if (cancelWhileWaiting) {
        QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::waitingToRelaunch, 30000);
        cycle.dismiss();
    }
    QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, 1, 60000);
    QVERIFY(framework.canCheckForUpdates());
    // A feed that was read counts as a check, also for the next launch.
    QCOMPARE(framework.lastUpdateCheckDate().has_value(), ownKey);
    QCOMPARE(SignedUpdateFramework(setup, &delegate).lastUpdateCheckDate(), framework.lastUpdateCheckDate());
    QVERIFY(!QFileInfo::exists(framework.stagingPath()));

    if (cancelWhileWaiting) {
        QVERIFY(!delegate.failure);
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::idle);
        QCOMPARE(snapshot(bundle), before);
        QVERIFY(relaunched.isEmpty());
    } else if (failure.isEmpty()) {
        QVERIFY(!delegate.failure);
        // Verified and staged before the delegate was asked, then put in place.
        QVERIFY(delegate.staged.value(QStringLiteral("Contents/Info.plist")).contains("<string>2.0</string>"));
        QCOMPARE(snapshot(bundle), delegate.staged);
        QCOMPARE(relaunched, QStringList{bundle + QStringLiteral("/Contents/MacOS/Tavlon")});
        QVERIFY(QFileInfo(relaunched.first()).isExecutable());
    } else {
        QCOMPARE(delegate.failure, std::optional(failure));
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::failed);
        QCOMPARE(cycle.text(), failure);
        QCOMPARE(snapshot(bundle), before);
        QVERIFY(relaunched.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSignedUpdate)
#include "tst_signedupdate.moc"
