#include "foundation/appbundle.h"

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

namespace {
const QString bundleDir = QStringLiteral(TAVLON_BUNDLE_DIR);
const QString executable = bundleDir + QStringLiteral("/Contents/MacOS/TavlonFilmEditor");

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QFile::copy(path, target)) {
            return false;
        }
    }
    return true;
}
} // namespace

class TestAppBundle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void plistTypes();
    void plistRefusesMalformed_data();
    void plistRefusesMalformed();
    void builtBundleLayout();
    void verifyLocalizations();
    void verifyLocalizationsFailsOnBrokenTable_data();
    void verifyLocalizationsFailsOnBrokenTable();
};

void TestAppBundle::plistTypes()
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>Text</key><string>a/b</string>
  <key>Yes</key><true/>
  <key>No</key><false/>
  <key>Count</key><integer>-42</integer>
  <key>Ratio</key><real>1.5</real>
  <key>List</key><array><string>x</string><integer>1</integer></array>
  <key>Nested</key><dict><key>k</key><string>v</string></dict>
</dict></plist>)";
    const auto dict = AppBundle::parseInfoPlist(xml);
    QVERIFY(dict);
    QCOMPARE(dict->value("Text").typeId(), QMetaType::QString);
    QCOMPARE(dict->value("Yes").typeId(), QMetaType::Bool);
    QCOMPARE(dict->value("Yes").toBool(), true);
    QCOMPARE(dict->value("No").toBool(), false);
    QCOMPARE(dict->value("Count").typeId(), QMetaType::LongLong);
    QCOMPARE(dict->value("Count").toLongLong(), -42);
    QCOMPARE(dict->value("Ratio").toDouble(), 1.5);
    QCOMPARE(dict->value("List").toList().size(), 2);
    QCOMPARE(dict->value("Nested").toMap().value("k").toString(), QString("v"));
}

void TestAppBundle::plistRefusesMalformed_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not xml") << QByteArray("{}");
    QTest::newRow("array root") << QByteArray("<plist><array/></plist>");
    QTest::newRow("unclosed") << QByteArray("<plist><dict><key>a</key><string>b</string>");
    QTest::newRow("key without value") << QByteArray("<plist><dict><key>a</key></dict></plist>");
    QTest::newRow("bad integer") << QByteArray("<plist><dict><key>a</key><integer>1.5</integer></dict></plist>");
    QTest::newRow("unknown element") << QByteArray("<plist><dict><key>a</key><thing/></dict></plist>");
    QTest::newRow("value without key") << QByteArray("<plist><dict><string>b</string></dict></plist>");
}

void TestAppBundle::plistRefusesMalformed()
{
    QFETCH(QByteArray, xml);
    QVERIFY(!AppBundle::parseInfoPlist(xml));
}

void TestAppBundle::builtBundleLayout()
{
    QVERIFY(QFileInfo(executable).isExecutable());
    QFile plist(bundleDir + QStringLiteral("/Contents/Info.plist"));
    QVERIFY(plist.open(QIODevice::ReadOnly));
    const auto info = AppBundle::parseInfoPlist(plist.readAll());
    QVERIFY(info);
    QCOMPARE(info->value("CFBundleIdentifier").toString(), QString("film.tavlon.editor.local"));
    QVERIFY(!info->value("CFBundleVersion").toString().isEmpty());
    QVERIFY(!info->value("CFBundleShortVersionString").toString().isEmpty());
    QVERIFY(QFileInfo::exists(bundleDir + QStringLiteral("/Contents/Resources/tooling/tools/postproduction/editor_bridge.py")));
    for (const char *lang : {"da", "en"})
        QVERIFY(QFileInfo::exists(bundleDir + QStringLiteral("/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle/")
                                  + QLatin1String(lang) + QStringLiteral(".lproj/Localizable.json")));
}

void TestAppBundle::verifyLocalizations()
{
    QProcess process;
    process.start(executable, {QStringLiteral("--verify-localizations")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY(out.endsWith('\n'));
    QCOMPARE(out.count('\n'), 1);
    const QByteArray resources = (bundleDir + "/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle").toUtf8();
    QByteArray escaped = resources;
    escaped.replace("/", "\\/");
    const QByteArray prefix = R"({"da":"Projektplacering","en":"Project location","language":")";
    QVERIFY2(out.startsWith(prefix), out.constData());
    QVERIFY2(out.contains(R"(","resources":")" + escaped + "\"}\n"), out.constData());
    QVERIFY(!out.contains(resources));
}

void TestAppBundle::verifyLocalizationsFailsOnBrokenTable_data()
{
    QTest::addColumn<QByteArray>("english");
    QTest::newRow("wrong sentence") << QByteArray(R"({"Projektplacering": "Project place"})");
    QTest::newRow("not json") << QByteArray("Projektplacering = Project location");
    QTest::newRow("missing key") << QByteArray("{}");
}

void TestAppBundle::verifyLocalizationsFailsOnBrokenTable()
{
    QFETCH(QByteArray, english);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.path() + QStringLiteral("/TavlonFilmEditor.app");
    QVERIFY(copyTree(bundleDir, copy));
    QFile table(copy + QStringLiteral("/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle/en.lproj/Localizable.json"));
    QVERIFY(table.open(QIODevice::WriteOnly | QIODevice::Truncate));
    table.write(english);
    table.close();
    QFile::setPermissions(copy + QStringLiteral("/Contents/MacOS/TavlonFilmEditor"),
                          QFile::permissions(executable));

    QProcess process;
    process.start(copy + QStringLiteral("/Contents/MacOS/TavlonFilmEditor"), {QStringLiteral("--verify-localizations")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestAppBundle)
#include "tst_appbundle.moc"
