// The bundle's modules (Contents/PlugIns): each finds every symbol it leaves
// open in the program or in a library it links, so it loads in the running
// application; and without the network module, signing in and restoring end
// in one sentence, not a crash.
#include <QtTest>

#include "../session/awaittask.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/modules/networkmodule.h"
#include "session/editorsession.h"
#include "session/passwordsetupform.h"

namespace {

QStringList lines(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// Dynamic symbols `file` defines (kind "--defined-only") or leaves open ("--undefined-only"), without versions.
QSet<QString> dynamicSymbols(const QString &file, const QString &kind)
{
    QSet<QString> names;
    for (const QString &line : lines(QStringLiteral("nm"), {QStringLiteral("-D"), kind, file})) {
        QString name = line.split(u' ', Qt::SkipEmptyParts).last();
        if (kind == QLatin1String("--undefined-only") && name.contains(u'@'))
            continue; // versioned: a system library's
        names.insert(name.left(name.indexOf(u'@')));
    }
    return names;
}

const QString bundle = QStringLiteral(TAVLON_BUNDLE_DIR);

} // namespace

class TestBundleModules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void symbolsResolve_data();
    void symbolsResolve();
    void missingNetworkModule_data();
    void missingNetworkModule();
};

void TestBundleModules::symbolsResolve_data()
{
    QTest::addColumn<QString>("module");
    QTest::newRow("media") << QStringLiteral("libtavlonmedia.so");
    QTest::newRow("network") << QStringLiteral("libtavlonnetwork.so");
}

void TestBundleModules::symbolsResolve()
{
    QFETCH(QString, module);
    const QString path = bundle + QStringLiteral("/Contents/PlugIns/") + module;
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSet<QString> open = dynamicSymbols(path, QStringLiteral("--undefined-only"));
    QVERIFY(!open.isEmpty());
    open.subtract(dynamicSymbols(bundle + QStringLiteral("/Contents/MacOS/TavlonFilmEditor"), QStringLiteral("--defined-only")));
    for (const QString &line : lines(QStringLiteral("ldd"), {path})) {
        const QStringList parts = line.split(u' ', Qt::SkipEmptyParts);
        if (parts.size() >= 3 && parts.at(1) == QLatin1String("=>"))
            open.subtract(dynamicSymbols(parts.at(2), QStringLiteral("--defined-only")));
    }
    // Weak hooks of the toolchain that nobody defines.
    for (const char *weak : {"__gmon_start__", "_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable"})
        open.remove(QLatin1String(weak));
    QVERIFY2(open.isEmpty(), qPrintable(QStringList(open.values()).join(u' ')));
}

void TestBundleModules::missingNetworkModule_data()
{
    QTest::addColumn<QString>("path");
    static QTemporaryDir folder;
    QFile junk(folder.filePath(QStringLiteral("libtavlonnetwork.so")));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not a library") > 0);
    junk.close();
    QTest::newRow("missing") << folder.filePath(QStringLiteral("absent/libtavlonnetwork.so"));
    QTest::newRow("not a library") << junk.fileName();
    QTest::newRow("another module") << bundle + QStringLiteral("/Contents/PlugIns/libtavlonmedia.so");
}

void TestBundleModules::missingNetworkModule()
{
    QFETCH(QString, path);
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    NetworkModule::useForTesting(path);
    const QString sentence = QStringLiteral(
        "Tavlon Film Editor cannot connect because a part of the application could not be loaded.");
    const EditorAuthConfiguration configuration{QUrl(QStringLiteral("https://127.0.0.1:9/")), QStringLiteral("key"),
                                                QStringLiteral("127.0.0.1")};

    EditorSession restoring([configuration] { return configuration; });
    TestAwait::run(restoring.restore());
    QCOMPARE(restoring.issue().value_or(QString()), sentence);
    QVERIFY(restoring.credentialURL().isEmpty());

    EditorSession signingIn([configuration] { return configuration; });
    TestAwait::run(signingIn.login(QStringLiteral("editor@example.com"), QStringLiteral("secret")));
    QCOMPARE(signingIn.issue().value_or(QString()), sentence);

    try {
        EditorPasswordSetupForm::standardFactory()();
        QFAIL("a password client without the module");
    } catch (const BridgeError &error) {
        QCOMPARE(error.message(), sentence);
    }
    NetworkModule::useForTesting({});
}

QTEST_MAIN(TestBundleModules)
#include "tst_bundlemodules.moc"
