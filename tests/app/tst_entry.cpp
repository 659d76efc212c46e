#include "foundation/appbundle.h"

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString bundleDir = QStringLiteral(TAVLON_BUNDLE_DIR);
const QString executablePath = QStringLiteral("/Contents/MacOS/TavlonFilmEditor");
const QString plistPath = QStringLiteral("/Contents/Info.plist");

const QByteArray localizationPrefix = R"({"da":"Projektplacering","en":"Project location","language":")";

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome run(const QString &bundle, const QStringList &arguments)
{
    QProcess process;
    process.start(bundle + executablePath, arguments);
    Outcome outcome;
    outcome.finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = process.exitCode();
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

QByteArray builtVersion(const char *key)
{
    QFile file(bundleDir + plistPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return AppBundle::parseInfoPlist(file.readAll()).value_or(QVariantMap()).value(QLatin1String(key)).toString().toUtf8();
}

QByteArray updaterReport(const QByteArray &build, const QByteArray &version)
{
    return R"({"build":")" + build
        + R"(","defaultAutomaticChecks":false,"defaultAutomaticDownload":false,)"
          R"("feedURL":"https:\/\/example.com\/downloads\/sorvane\/appcast.xml",)"
          R"("signedFeedRequired":true,"verifyBeforeExtraction":true,"version":")"
        + version + "\"}\n";
}

// Copies the bundle (only the executable and the information file when
// `withResources` is false) and returns the copy's path.
QString copyBundle(const QTemporaryDir &dir, const QString &name, bool withResources)
{
    const QString copy = dir.path() + QLatin1Char('/') + name;
    QDirIterator it(bundleDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QDir().mkpath(copy + QStringLiteral("/Contents/MacOS"));
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(bundleDir.size());
        if (!withResources && relative != executablePath && relative != plistPath)
            continue;
        const QString target = copy + relative;
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(path, target))
                return {};
        }
    }
    QFile::setPermissions(copy + executablePath, QFile::permissions(bundleDir + executablePath));
    return copy;
}

bool editFile(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.readAll();
    file.close();
    if (!from.isEmpty()) {
        if (!data.contains(from))
            return false;
        data.replace(from, to);
    } else {
        data = to;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

} // namespace

class TestEntry : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reports_data();
    void reports();
    void editedBundle_data();
    void editedBundle();
    void lookalikeSwitchesStartNormally_data();
    void lookalikeSwitchesStartNormally();
};

void TestEntry::reports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("localization"); // which report is expected
    const QString loc = QStringLiteral("--verify-localizations");
    const QString upd = QStringLiteral("--verify-updater-configuration");
    QTest::newRow("updater") << QStringList{upd} << false;
    QTest::newRow("updater among other arguments")
        << QStringList{QStringLiteral("--verbose"), upd, QStringLiteral("extra")} << false;
    QTest::newRow("updater with a lookalike localization switch")
        << QStringList{QStringLiteral("--verify-localizations=1"), upd} << false;
    QTest::newRow("localization") << QStringList{loc} << true;
    QTest::newRow("both, updater first") << QStringList{upd, loc} << true;
    QTest::newRow("both, localization first") << QStringList{loc, upd} << true;
}

void TestEntry::reports()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, localization);
    const Outcome outcome = run(bundleDir, arguments);
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.out.count('\n'), 1);
    QVERIFY(outcome.out.endsWith('\n'));
    QVERIFY2(!outcome.out.contains("://"), "every solidus is escaped");
    if (localization)
        QVERIFY2(outcome.out.startsWith(localizationPrefix), outcome.out.constData());
    else
        QCOMPARE(outcome.out, updaterReport(builtVersion("CFBundleVersion"), builtVersion("CFBundleShortVersionString")));
}

void TestEntry::editedBundle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withResources");
    QTest::addColumn<QString>("file"); // relative to the bundle
    QTest::addColumn<QByteArray>("from"); // empty: replace the whole file
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected"); // empty: exit 1, nothing printed

    const QString app = QStringLiteral("TavlonFilmEditor.app");
    const QStringList upd{QStringLiteral("--verify-updater-configuration")};
    const QByteArray build = builtVersion("CFBundleVersion");
    const QByteArray version = builtVersion("CFBundleShortVersionString");
    const QByteArray autoChecks = "<key>SUEnableAutomaticChecks</key>\n\t<false/>";
    const QByteArray autoUpdate = "<key>SUAutomaticallyUpdate</key>\n\t<false/>";

    QTest::newRow("copied bundle passes") << app << false << plistPath << QByteArray() << QByteArray()
                                          << upd << updaterReport(build, version);
    QTest::newRow("automatic checks as text NO")
        << app << false << plistPath << autoChecks
        << QByteArray("<key>SUEnableAutomaticChecks</key>\n\t<string>NO</string>") << upd << QByteArray();
    QTest::newRow("automatic checks true")
        << app << false << plistPath << autoChecks << QByteArray("<key>SUEnableAutomaticChecks</key>\n\t<true/>")
        << upd << QByteArray();
    QTest::newRow("automatic checks missing") << app << false << plistPath << autoChecks << QByteArray() << upd
                                              << QByteArray();
    QTest::newRow("automatic update true")
        << app << false << plistPath << autoUpdate << QByteArray("<key>SUAutomaticallyUpdate</key>\n\t<true/>")
        << upd << QByteArray();
    QTest::newRow("signed feed as text YES")
        << app << false << plistPath << QByteArray("<key>SURequireSignedFeed</key>\n\t<true/>")
        << QByteArray("<key>SURequireSignedFeed</key>\n\t<string>YES</string>") << upd << QByteArray();
    QTest::newRow("feed with trailing slash")
        << app << false << plistPath << QByteArray("appcast.xml</string>") << QByteArray("appcast.xml/</string>")
        << upd << QByteArray();
    QTest::newRow("unreadable information file")
        << app << false << plistPath << QByteArray() << QByteArray("<plist><dict>") << upd << QByteArray();
    QTest::newRow("bundle named .APP") << QStringLiteral("TavlonFilmEditor.APP") << false << plistPath
                                       << QByteArray() << QByteArray() << upd << QByteArray();
    QTest::newRow("short version missing")
        << app << false << plistPath << QByteArray("<key>CFBundleShortVersionString</key>")
        << QByteArray("<key>CFBundleShortVersionStringX</key>") << upd << updaterReport(build, "");
    // The localization check wins even when the updater one would pass.
    QTest::newRow("broken table with both switches")
        << app << true
        << QStringLiteral("/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle/en.lproj/Localizable.json")
        << QByteArray() << QByteArray("{}")
        << QStringList{QStringLiteral("--verify-updater-configuration"), QStringLiteral("--verify-localizations")}
        << QByteArray();
}

void TestEntry::editedBundle()
{
    QFETCH(QString, name);
    QFETCH(bool, withResources);
    QFETCH(QString, file);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = copyBundle(dir, name, withResources);
    QVERIFY(!copy.isEmpty());
    if (!from.isEmpty() || !to.isEmpty())
        QVERIFY(editFile(copy + file, from, to));

    const Outcome outcome = run(copy, arguments);
    QVERIFY(outcome.finished);
    if (expected.isEmpty()) {
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.out, QByteArray());
        QCOMPARE(outcome.err, QByteArray());
    } else {
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.out, expected);
    }
}

void TestEntry::lookalikeSwitchesStartNormally_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("localization with a value") << QStringLiteral("--verify-localizations=1");
    QTest::newRow("localization capitalised") << QStringLiteral("--Verify-Localizations");
    QTest::newRow("updater with a value") << QStringLiteral("--verify-updater-configuration=1");
    QTest::newRow("updater capitalised") << QStringLiteral("--VERIFY-UPDATER-CONFIGURATION");
    QTest::newRow("updater with a trailing space") << QStringLiteral("--verify-updater-configuration ");
}

void TestEntry::lookalikeSwitchesStartNormally()
{
    QFETCH(QString, argument);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(bundleDir + executablePath, {argument});
    QVERIFY(process.waitForStarted(30000));
    // A normal start either keeps running (its window) or, while there is no
    // window yet, ends with status 0; it never prints a report.
    if (process.waitForFinished(1000)) {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    } else {
        process.kill();
        QVERIFY(process.waitForFinished(30000));
    }
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
