// The AI connection record: its decoding, the state rules, and the whole road through the real tool
// runner to the stand-in's MCP server, which a client then starts from the definition.
#include "../session/awaittask.h"
#include "aiconnection/sorvaneaiconnectionconfiguration.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using Configuration = SorvaneAIConnectionConfiguration;

namespace {

QJsonObject validRecord()
{
    return QJsonObject{{"name", "tavlon-film-editor"},
                       {"command", "/usr/bin/python3"},
                       {"inbox", "/media/disk/Kunde"},
                       {"toml", "[mcp_servers.tavlon-film-editor]\n"},
                       {"arguments", QJsonArray{"-B", "server.py"}},
                       {"check", QJsonObject{{"state", "ready"}, {"toolCount", 3}}}};
}

} // namespace

class TestSorvaneAIConnectionConfiguration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }

    void decoding_data()
    {
        QTest::addColumn<QString>("member"); // "check.x" edits the check
        QTest::addColumn<QJsonValue>("value"); // Undefined removes the member
        QTest::addColumn<bool>("decodes");
        const QJsonValue gone(QJsonValue::Undefined);
        QTest::newRow("as given") << "" << gone << true;
        QTest::newRow("no arguments") << "arguments" << QJsonValue(QJsonArray()) << true;
        QTest::newRow("optional null") << "check.serverName" << QJsonValue(QJsonValue::Null) << true;
        QTest::newRow("unknown member") << "extra" << QJsonValue("x") << true;
        QTest::newRow("name missing") << "name" << gone << false;
        QTest::newRow("toml null") << "toml" << QJsonValue(QJsonValue::Null) << false;
        QTest::newRow("command a number") << "command" << QJsonValue(1) << false;
        QTest::newRow("arguments of numbers") << "arguments" << QJsonValue(QJsonArray{1}) << false;
        QTest::newRow("arguments a text") << "arguments" << QJsonValue("-B") << false;
        QTest::newRow("check a text") << "check" << QJsonValue("ready") << false;
        QTest::newRow("tool count missing") << "check.toolCount" << gone << false;
        QTest::newRow("tool count a fraction") << "check.toolCount" << QJsonValue(2.5) << false;
        QTest::newRow("tool count a text") << "check.toolCount" << QJsonValue("3") << false;
        QTest::newRow("state missing") << "check.state" << gone << false;
        QTest::newRow("optional of the wrong type") << "check.protocolVersion" << QJsonValue(20250618) << false;
    }
    void decoding()
    {
        QFETCH(QString, member);
        QFETCH(QJsonValue, value);
        QFETCH(bool, decodes);
        QJsonObject record = validRecord();
        if (!member.isEmpty()) {
            const bool inCheck = member.startsWith(QLatin1String("check."));
            QJsonObject target = inCheck ? record.value("check").toObject() : record;
            const QString key = inCheck ? member.mid(6) : member;
            if (value.isUndefined())
                target.remove(key);
            else
                target.insert(key, value);
            if (inCheck)
                record.insert("check", target);
            else
                record = target;
        }
        const QByteArray json = QJsonDocument(record).toJson();
        if (!decodes) {
            QVERIFY_THROWS_EXCEPTION(DecodingError, Configuration::decode(json));
            return;
        }
        const Configuration decoded = Configuration::decode(json);
        QCOMPARE(decoded.name, QStringLiteral("tavlon-film-editor"));
        QCOMPARE(decoded.arguments, member == QLatin1String("arguments") ? QStringList() : QStringList({"-B", "server.py"}));
        QCOMPARE(decoded.check.toolCount, 3);
        QVERIFY(!decoded.check.serverName);
    }

    void states_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QVariant>("name");
        QTest::addColumn<QVariant>("version");
        QTest::addColumn<QVariant>("protocol");
        QTest::addColumn<qint64>("tools");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("versionLine"); // empty: none
        QTest::addColumn<bool>("note");
        const QVariant none;
        const QString answers = QStringLiteral("Lokal MCP svarer · %1 værktøjer");
        const QString unknownVersion = QStringLiteral("Serverens version er ukendt. Kontrollér igen efter opdatering af Sorvane.");
        const QString mismatch = QStringLiteral("MCP-protokollen passer ikke til denne app. Opdatér Sorvane, og genstart AI-forbindelsen.");
        const QString failed = QStringLiteral("MCP kunne ikke startes. Kontrollér appens værktøjer og Python på denne computer.");
        QTest::newRow("ready, nothing reported") << "ready" << none << none << none << qint64(4) << true
                                                 << answers.arg(4) << unknownVersion << true;
        QTest::newRow("ready, no server version") << "ready" << QVariant("tavlon-film-editor") << none
                                                  << QVariant("2025-06-18") << qint64(3) << true << answers.arg(3)
                                                  << unknownVersion << true;
        QTest::newRow("ready, full identity") << "ready" << QVariant("tavlon-film-editor") << QVariant("1.0.0")
                                              << QVariant("2025-06-18") << qint64(0) << true << answers.arg(0)
                                              << "Server tavlon-film-editor 1.0.0 · protokol 2025-06-18" << true;
        QTest::newRow("other name, no protocol") << "ready" << QVariant("other") << none << none << qint64(2) << true
                                                 << answers.arg(2) << unknownVersion << true;
        QTest::newRow("other protocol") << "ready" << QVariant("tavlon-film-editor") << QVariant("2.0")
                                        << QVariant("2024-11-05") << qint64(2) << false << mismatch
                                        << "Server tavlon-film-editor 2.0 · protokol 2024-11-05" << true;
        QTest::newRow("capital Ready") << "Ready" << none << none << none << qint64(2) << false << failed << "" << false;
        QTest::newRow("timeout with versions") << "timeout" << QVariant("a") << QVariant("b") << QVariant("c")
                                               << qint64(0) << false
                                               << "Forbindelsestesten tog for lang tid. Prøv igen."
                                               << "Server a b · protokol c" << false;
        QTest::newRow("missing folder") << "missingInbox" << none << none << none << qint64(0) << false
                                        << "Projektmappen mangler. Tilslut disken og prøv igen." << "" << false;
        QTest::newRow("changed folder") << "storageChanged" << none << none << none << qint64(0) << false
                                        << "Projektmappen er ændret. Tilslut den valgte disk, eller vælg mappen igen og "
                                           "opdatér AI-forbindelsen."
                                        << "" << false;
    }
    void states()
    {
        QFETCH(QString, state);
        QFETCH(QVariant, name);
        QFETCH(QVariant, version);
        QFETCH(QVariant, protocol);
        QFETCH(qint64, tools);
        QFETCH(bool, ready);
        QFETCH(QString, message);
        QFETCH(QString, versionLine);
        QFETCH(bool, note);
        const auto text = [](const QVariant &v) {
            return v.isValid() ? std::optional<QString>(v.toString()) : std::nullopt;
        };
        const Configuration::Check check{state, tools, text(name), text(version), text(protocol)};
        QCOMPARE(check.ready(), ready);
        QCOMPARE(check.message(), message);
        QCOMPARE(check.versionLine().value_or(QString()), versionLine);
        QCOMPARE(check.separateVersionsNote().has_value(), note);
    }

    // Through the real runner: the stand-in's definition, then an AI client's own start of it.
    void definitionStartsAServerThatAnswers()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString tools = dir.filePath(QStringLiteral("tooling"));
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVLON_SOURCE_TOOLING), tools}), 0);
        const QString inbox = dir.filePath(QStringLiteral("Kunde"));
        QVERIFY(QDir().mkpath(inbox));

        const Configuration configuration =
            TestAwait::run(Configuration::fetch(QUrl::fromLocalFile(inbox), tools));
        QCOMPARE(configuration.name, QStringLiteral("tavlon-film-editor"));
        QCOMPARE(configuration.inbox, inbox);
        QVERIFY(configuration.check.ready());
        QVERIFY(configuration.check.toolCount > 0);
        QCOMPARE(configuration.check.protocolVersion.value_or(QString()), QStringLiteral("2025-06-18"));

        QProcess server;
        server.start(configuration.command, configuration.arguments);
        QVERIFY(server.waitForStarted());
        server.write(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18",)"
                     R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})"
                     "\n"
                     R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                     "\n"
                     R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})"
                     "\n"
                     R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"list_packages","arguments":{}}})"
                     "\n");
        server.closeWriteChannel();
        QVERIFY(server.waitForFinished(20000));
        const QList<QByteArray> lines = server.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 3); // the notification has no answer
        const QJsonObject initialized = QJsonDocument::fromJson(lines[0]).object().value("result").toObject();
        QCOMPARE(initialized.value("serverInfo").toObject().value("name").toString(), QStringLiteral("tavlon-film-editor"));
        const QJsonArray listed = QJsonDocument::fromJson(lines[1]).object().value("result").toObject().value("tools").toArray();
        QCOMPARE(listed.size(), configuration.check.toolCount);
        const QJsonObject called = QJsonDocument::fromJson(lines[2]).object().value("result").toObject();
        QCOMPARE(called.value("isError").toBool(true), false);
    }
};

QTEST_GUILESS_MAIN(TestSorvaneAIConnectionConfiguration)
#include "tst_sorvaneaiconnectionconfiguration.moc"
