// Where the tools are, the authentication address and key read from them,
// and the refused local test launch.
#include "foundation/bridge/toolsfolder.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

std::optional<QString> failure(const std::function<void()> &call)
{
    try {
        call();
    } catch (const BridgeError &error) {
        return error.message();
    }
    return std::nullopt;
}

const QString unreadable = QStringLiteral("Appens cloudforbindelse kunne ikke læses.");
const QString invalid = QStringLiteral("Ugyldig cloudforbindelse.");

} // namespace

class TestToolsFolder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void parse_data();
    void parse();
    void readsFromTheToolsFolder();
    void localTest_data();
    void localTest();
    void applicationToolsFallback();
};

void TestToolsFolder::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
}

void TestToolsFolder::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("error");

    const QString key = QStringLiteral("publishableKey: \"sb_publishable_AbC-123\"");
    QTest::newRow("address then key")
        << "let c = Config(\n  url: URL(string: \"https://auth.example.com\")!,\n  " + key + "\n)"
        << "https://auth.example.com" << "sb_publishable_AbC-123" << QString();
    QTest::newRow("key then address, line breaks in the gaps")
        << key + "\n// note\nurl:\n\tURL(string:\n \"https://auth.example.com/\")"
        << "https://auth.example.com/" << "sb_publishable_AbC-123" << QString();
    QTest::newRow("first of two wins")
        << "url: URL(string: \"https://one.example.com\") url: URL(string: \"https://two.example.com\") " + key
               + " publishableKey: \"sb_publishable_second\""
        << "https://one.example.com" << "sb_publishable_AbC-123" << QString();
    QTest::newRow("port allowed") << "url: URL(string: \"https://auth.example.com:8443\") " + key
                                  << "https://auth.example.com:8443" << "sb_publishable_AbC-123" << QString();
    QTest::newRow("path") << "url: URL(string: \"https://a.example.com/v1\") " + key << "" << "" << invalid;
    QTest::newRow("query") << "url: URL(string: \"https://a.example.com?x=1\") " + key << "" << "" << invalid;
    QTest::newRow("empty query") << "url: URL(string: \"https://a.example.com/?\") " + key << "" << "" << invalid;
    QTest::newRow("fragment") << "url: URL(string: \"https://a.example.com#f\") " + key << "" << "" << invalid;
    QTest::newRow("user") << "url: URL(string: \"https://u@a.example.com\") " + key << "" << "" << invalid;
    QTest::newRow("password") << "url: URL(string: \"https://u:p@a.example.com\") " + key << "" << "" << invalid;
    QTest::newRow("empty user") << "url: URL(string: \"https://@a.example.com\") " + key << "" << "" << invalid;
    QTest::newRow("empty user and password") << "url: URL(string: \"https://:@a.example.com\") " + key << "" << ""
                                             << invalid;
    QTest::newRow("empty fragment") << "url: URL(string: \"https://a.example.com#\") " + key << "" << "" << invalid;
    QTest::newRow("no host") << "url: URL(string: \"https:///x\") " + key << "" << "" << invalid;
    QTest::newRow("plain http") << "url: URL(string: \"http://a.example.com\") " + key << "" << "" << unreadable;
    QTest::newRow("no address") << key << "" << "" << unreadable;
    QTest::newRow("key without prefix") << "url: URL(string: \"https://a.example.com\") publishableKey: \"pk_1\""
                                        << "" << "" << unreadable;
    QTest::newRow("space before closing quote")
        << "url: URL(string: \"https://a.example.com\") publishableKey: \"sb_publishable_x \"" << "" << "" << unreadable;
}

void TestToolsFolder::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    QFETCH(QString, key);
    QFETCH(QString, error);
    EditorAuthConfiguration configuration;
    const auto failed = failure([&] { configuration = Bridge::parseAuthConfiguration(text); });
    QCOMPARE(failed.value_or(QString()), error);
    if (!error.isEmpty())
        return;
    QCOMPARE(configuration.url.toString(), url);
    QCOMPARE(configuration.key, key);
    QCOMPARE(configuration.identity, QUrl(url).host());
}

void TestToolsFolder::readsFromTheToolsFolder()
{
    QTemporaryDir tools;
    QVERIFY(failure([&] { Bridge::authConfiguration(tools.path()); }).has_value());

    const QString path = tools.filePath(QLatin1String(Bridge::configurationSource));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("url: URL(string: \"https://auth.example.com\")\npublishableKey: \"sb_publishable_k\"\n");
    file.close();
    const auto configuration = Bridge::authConfiguration(tools.path());
    QCOMPARE(configuration.identity, QStringLiteral("auth.example.com"));

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("url: URL(string: \"https://auth.example.com\")\xff\xfe");
    file.close();
    QVERIFY(failure([&] { Bridge::authConfiguration(tools.path()); }).has_value());
}

void TestToolsFolder::localTest_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QVariant>("packaged"); // invalid: key absent
    QTest::addColumn<bool>("refused");
    const QStringList plain{QStringLiteral("/app/editor"), QStringLiteral("--verbose")};
    QTest::newRow("plain launch") << plain << QVariant() << false;
    QTest::newRow("argument alone") << QStringList{"/app/editor", "--local-service-test-config"} << QVariant() << true;
    QTest::newRow("argument with value") << QStringList{"/app/editor", "--local-service-test-config=/x.json"}
                                         << QVariant() << true;
    QTest::newRow("program path") << QStringList{"--local-service-test-config-editor"} << QVariant() << true;
    QTest::newRow("only in the middle") << QStringList{"/app/editor", "-x--local-service-test-config"} << QVariant()
                                        << false;
    QTest::newRow("packaged false") << plain << QVariant(false) << true;
    QTest::newRow("packaged empty text") << plain << QVariant(QString()) << true;
}

void TestToolsFolder::localTest()
{
    QFETCH(QStringList, arguments);
    QFETCH(QVariant, packaged);
    QFETCH(bool, refused);
    const std::optional<QVariant> value = packaged.isValid() ? std::optional(packaged) : std::nullopt;
    QCOMPARE(Bridge::requestsLocalTest(arguments, value), refused);
}

void TestToolsFolder::applicationToolsFallback()
{
    QTemporaryDir resources;
    QCOMPARE(Bridge::applicationTools(QString()), Bridge::defaultRepository());
    // Other tools without the marker do not make a tools folder.
    QDir(resources.path()).mkpath(QStringLiteral("tooling/tools/postproduction"));
    QFile(resources.filePath(QStringLiteral("tooling/tools/postproduction/desktop_service.py"))).open(QIODevice::WriteOnly);
    QCOMPARE(Bridge::applicationTools(resources.path()), Bridge::defaultRepository());
    QFile(resources.filePath(QStringLiteral("tooling/tools/postproduction/editor_bridge.py"))).open(QIODevice::WriteOnly);
    QCOMPARE(Bridge::applicationTools(resources.path()), resources.filePath(QStringLiteral("tooling")));
    QVERIFY(!Bridge::defaultRepository().isEmpty());
}

QTEST_GUILESS_MAIN(TestToolsFolder)
#include "tst_toolsfolder.moc"
