// The argument lists are the contract with the tools: every element, in order.
#include "foundation/bridge/bridgecommand.h"

#include <QJsonDocument>
#include <QtTest>
#include <functional>
#include <vector>

namespace {

const QUrl session(QStringLiteral("tavlon-session://5b0f6a3e-8d8c-4c2e-9f55-3b1f2a9c7d10"));
const QUrl credentialsFile = QUrl::fromLocalFile(QStringLiteral("/tmp/creds dir/session.json"));
const QUrl inbox = QUrl::fromLocalFile(QStringLiteral("/Volumes/Film Disk/Inbox"));
const QString inboxPath = QStringLiteral("/Volumes/Film Disk/Inbox");
// Parsed from upper-case text: must still be written in lower case.
const QUuid op(QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"));
const QString opText = QStringLiteral("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee");
const QUuid companyID(QStringLiteral("{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"));
const QString companyText = QStringLiteral("0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d");
const QUuid other(QStringLiteral("{FFFFFFFF-0000-1111-2222-333333333333}"));
const QString otherText = QStringLiteral("ffffffff-0000-1111-2222-333333333333");

struct Row
{
    const char *name;
    std::function<BridgeCommand()> make;
    QString script;
    QStringList arguments;
    std::optional<QUrl> credentials;
    std::optional<QUrl> storage;
    bool longTimeout = false;
};

using C = BridgeCommand;

std::vector<Row> rows()
{
    const QString svc = QStringLiteral("desktop_service.py");
    const QString opFlag = QStringLiteral("--expected-operator-id");
    const QStringList sessionCreds{QStringLiteral("--credentials-file"), QStringLiteral("-")};
    const QStringList fileCreds{QStringLiteral("--credentials-file"), QStringLiteral("/tmp/creds dir/session.json")};
    const QStringList opPair{opFlag, opText};
    return {
        {"0 mcpConnection", [] { return C::mcpConnection(inbox); }, "editor_connection.py",
         {"--inbox", inboxPath}, {}, inbox},
        {"1 inventory", [] { return C::inventory(inbox); }, "editor_bridge.py", {"--inbox", inboxPath, "list"}, {}, inbox},
        {"2 context", [] { return C::context(inbox, "pkg 1"); }, "editor_bridge.py",
         {"--inbox", inboxPath, "context", "pkg 1"}, {}, inbox},
        {"3 prepare without revision", [] { return C::prepare(inbox, "p", "fp", std::nullopt); }, "editor_bridge.py",
         {"--inbox", inboxPath, "prepare", "p", "--fingerprint", "fp"}, {}, inbox},
        {"3 prepare with revision", [] { return C::prepare(inbox, "p", "fp", "r7"); }, "editor_bridge.py",
         {"--inbox", inboxPath, "prepare", "p", "--fingerprint", "fp", "--context-revision", "r7"}, {}, inbox},
        {"4 prepareWriting", [] { return C::prepareWriting(inbox, "p", "fp"); }, "editor_bridge.py",
         {"--inbox", inboxPath, "prepare-writing", "p", "--fingerprint", "fp"}, {}, inbox},
        {"5 cloudList without company", [] { return C::cloudList(session, std::nullopt); }, "desktop_cloud.py",
         sessionCreds + QStringList{"list"}, session, {}},
        {"5 cloudList with empty company", [] { return C::cloudList(session, QString()); }, "desktop_cloud.py",
         sessionCreds + QStringList{"--company", "", "list"}, session, {}},
        {"6 cloudPull", [] { return C::cloudPull(session, "c1", "b1", inbox); }, "desktop_cloud.py",
         sessionCreds + QStringList{"--company", "c1", "pull", "b1", "--inbox", inboxPath}, session, inbox, true},
        {"7 profileGet without user", [] { return C::profileGet(session, std::nullopt); }, "desktop_profile.py",
         sessionCreds + QStringList{"get"}, session, {}},
        {"7 profileGet with user", [] { return C::profileGet(session, op); }, "desktop_profile.py",
         sessionCreds + QStringList{"--expected-user-id", opText, "get"}, session, {}},
        {"8 profileUpdate clearing the avatar", [] { return C::profileUpdate(session, "Ann B", std::nullopt, op); },
         "desktop_profile.py",
         sessionCreds + QStringList{"--expected-user-id", opText, "update", "--display-name", "Ann B", "--clear-avatar"},
         session, {}},
        {"8 profileUpdate with an avatar",
         [] { return C::profileUpdate(session, "Ann", QUrl::fromLocalFile("/tmp/a b.jpg"), op); }, "desktop_profile.py",
         sessionCreds + QStringList{"--expected-user-id", opText, "update", "--display-name", "Ann", "--avatar-jpeg",
                                    "/tmp/a b.jpg"},
         session, {}},
        {"9 profileParticipants", [] { return C::profileParticipants(session, {companyID, other}, op); },
         "desktop_profile.py",
         sessionCreds + QStringList{"--expected-user-id", opText, "participants", "--request-ids", companyText, otherText},
         session, {}},
        {"9 profileParticipants without ids", [] { return C::profileParticipants(session, {}, op); },
         "desktop_profile.py",
         sessionCreds + QStringList{"--expected-user-id", opText, "participants", "--request-ids"}, session, {}},
        {"10 serviceCompanies bare", [] { return C::serviceCompanies(session, std::nullopt, std::nullopt); }, svc,
         {"companies", "--credentials", "-"}, session, {}},
        {"10 serviceCompanies full", [] { return C::serviceCompanies(session, other, op); }, svc,
         {"companies", "--credentials", "-", opFlag, opText, "--after-company-id", otherText}, session, {}},
        {"11 serviceList with operator", [] { return C::serviceList(session, "c", op); }, svc,
         opPair + sessionCreds + QStringList{"--company", "c", "list"}, session, {}},
        {"11 serviceList without operator", [] { return C::serviceList(session, "c", std::nullopt); }, svc,
         sessionCreds + QStringList{"--company", "c", "list"}, session, {}},
        {"12 serviceInbox first page", [] { return C::serviceInbox(session, std::nullopt, op); }, svc,
         opPair + sessionCreds + QStringList{"inbox"}, session, {}},
        {"12 serviceInbox with cursor",
         [] { return C::serviceInbox(session, SorvaneInboxCursor{"2024-05-01T10:00:00.123456+00:00", companyID}, op); },
         svc,
         opPair + sessionCreds
             + QStringList{"inbox", "--cursor",
                           "{\"submitted_at\":\"2024-05-01T10:00:00.123456+00:00\",\"id\":\"0A1B2C3D-4E5F-6A7B-8C9D-"
                           "0E1F2A3B4C5D\"}"},
         session, {}},
        {"13 servicePipeline", [] { return C::servicePipeline(session, companyID, other, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", companyText, "pipeline", "--after-film-id", otherText},
         session, {}},
        {"13 servicePipeline first page", [] { return C::servicePipeline(session, companyID, std::nullopt, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", companyText, "pipeline"}, session, {}},
        {"14 serviceClaimNext", [] { return C::serviceClaimNext(session, other, op); }, svc,
         opPair + sessionCreds + QStringList{"claim-next", "--command-id", otherText}, session, {}},
        {"15 serviceStart", [] { return C::serviceStart(session, companyID, "r1", 0, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", companyText, "start", "r1", "--revision", "0"}, session, {}},
        {"16 serviceMetadataSettings", [] { return C::serviceMetadataSettings(session, companyID, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", companyText, "metadata-settings"}, session, {}},
        {"17 serviceMetadataConsent refused",
         [] { return C::serviceMetadataConsent(session, companyID, 3, false, std::nullopt, op); }, svc,
         opPair + sessionCreds
             + QStringList{"--company", companyText, "metadata-consent", "--revision", "3", "--allow-pipeline", "false"},
         session, {}},
        {"17 serviceMetadataConsent with contact",
         [] { return C::serviceMetadataConsent(session, companyID, 3, true, "Bo \"B\"", op); }, svc,
         opPair + sessionCreds
             + QStringList{"--company", companyText, "metadata-consent", "--revision", "3", "--allow-pipeline", "true",
                           "--contact-name", "Bo \"B\""},
         session, {}},
        {"18 serviceGet", [] { return C::serviceGet(session, "c", "-r", std::nullopt); }, svc,
         sessionCreds + QStringList{"--company", "c", "get", "-r"}, session, {}},
        {"19 serviceHistory", [] { return C::serviceHistory(session, "c", "r", inbox, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", "c", "history", "r", "--inbox", inboxPath}, session, inbox},
        {"20 serviceBriefPull", [] { return C::serviceBriefPull(session, "c", "r", inbox, op); }, "desktop_brief.py",
         QStringList{"pull", "r", "--inbox", inboxPath, "--company", "c"} + sessionCreds + opPair, session, inbox},
        {"21 serviceReviewPull", [] { return C::serviceReviewPull(session, "c", "r", "p", inbox, op); }, svc,
         opPair + sessionCreds
             + QStringList{"--company", "c", "review-pull", "r", "--inbox", inboxPath, "--proposal-id", "p"},
         session, inbox},
        {"22 serviceFeedback", [] { return C::serviceFeedback(session, "c", "r", inbox, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", "c", "feedback", "r", "--inbox", inboxPath}, session, inbox},
        {"23 serviceFeedbackPull", [] { return C::serviceFeedbackPull(session, "c", "r", inbox, "d", "x", op); }, svc,
         opPair + sessionCreds
             + QStringList{"--company", "c", "feedback-pull", "r", "--inbox", inboxPath, "--decision-id", "d",
                           "--reaction-id", "x"},
         session, inbox},
        {"24 serviceClaim", [] { return C::serviceClaim(session, "c", "r", -1, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", "c", "claim", "r", "--revision", "-1"}, session, {}},
        {"25 servicePull", [] { return C::servicePull(session, "c", "r", inbox, std::nullopt); }, svc,
         sessionCreds + QStringList{"--company", "c", "pull", "r", "--inbox", inboxPath}, session, inbox, true},
        {"26 servicePullFilm", [] { return C::servicePullFilm(session, "c", "r", inbox, op); }, svc,
         opPair + sessionCreds + QStringList{"--company", "c", "pull-film", "r", "--inbox", inboxPath}, session, inbox},
        {"27 packageFilm", [] { return C::packageFilm(inbox, "r"); }, svc, {"package-film", "r", "--inbox", inboxPath},
         {}, inbox},
        {"28 relinkFilm", [] { return C::relinkFilm(inbox, "r"); }, svc, {"relink-film", "r", "--inbox", inboxPath}, {},
         inbox},
        {"29 proposalTemplate", [] { return C::proposalTemplate(inbox, "r", "h"); }, svc,
         {"template", "r", "--inbox", inboxPath, "--handoff-id", "h"}, {}, inbox},
        {"30 serviceWorkspaces", [] { return C::serviceWorkspaces(inbox, "r"); }, svc,
         {"workspaces", "r", "--inbox", inboxPath}, {}, inbox},
        {"31 proposalPreview", [] { return C::proposalPreview(inbox, "r", "h", 12); }, svc,
         {"preview", "r", "--inbox", inboxPath, "--handoff-id", "h", "--revision", "12"}, {}, inbox},
        {"32 proposalSend", [] { return C::proposalSend(session, "c", inbox, "r", "h", "p", "sha", 2, op); }, svc,
         opPair + sessionCreds
             + QStringList{"--company", "c", "send", "r", "--inbox", inboxPath, "--handoff-id", "h", "--proposal-id",
                           "p", "--content-hash", "sha", "--revision", "2", "--confirm-send"},
         session, inbox},
        {"33 videoPreview",
         [] { return C::videoPreview(inbox, "r", QUrl::fromLocalFile("/tmp/cut 1.mp4"), 4, "V 1", "", "Ed"); },
         "desktop_video.py",
         {"prepare", "r", "--inbox", inboxPath, "--video", "/tmp/cut 1.mp4", "--revision", "4", "--label", "V 1",
          "--summary", "", "--editor", "Ed"},
         {}, inbox},
        {"34 videoPending", [] { return C::videoPending(inbox, "r"); }, "desktop_video.py",
         {"pending", "r", "--inbox", inboxPath}, {}, inbox},
        {"35 videoStatus", [] { return C::videoStatus(inbox, "r", "p"); }, "desktop_video.py",
         {"status", "r", "--inbox", inboxPath, "--proposal-id", "p"}, {}, inbox},
        {"36 clearProjectRegistration", [] { return C::clearProjectRegistration(inbox, "r", "p"); },
         "desktop_projects.py", {"clear-registration", "r", "--inbox", inboxPath, "--proposal-id", "p"}, {}, inbox},
        {"37 projectVersions", [] { return C::projectVersions(inbox, "r", "p"); }, "desktop_projects.py",
         {"list", "r", "--inbox", inboxPath, "--proposal-id", "p"}, {}, inbox},
        {"38 preserveProject kept once",
         [] { return C::preserveProject(inbox, "r", "p", QUrl::fromLocalFile("/tmp/p.proj"), false); },
         "desktop_projects.py", {"preserve", "r", "--inbox", inboxPath, "--proposal-id", "p", "--project", "/tmp/p.proj"},
         {}, inbox},
        {"38 preserveProject remembered",
         [] { return C::preserveProject(inbox, "r", "p", QUrl::fromLocalFile("/tmp/p.proj"), true); },
         "desktop_projects.py",
         {"preserve", "r", "--inbox", inboxPath, "--proposal-id", "p", "--project", "/tmp/p.proj", "--remember-project"},
         {}, inbox},
        {"39 videoSend", [] { return C::videoSend(session, "c", inbox, "r", "p"); }, "desktop_video.py",
         QStringList{"send", "r", "--inbox", inboxPath} + sessionCreds
             + QStringList{"--company", "c", "--proposal-id", "p", "--qc-confirmed", "--confirm-send"},
         session, inbox, true},
        // Credentials given as a file: its decoded path, not "-".
        {"credentials file", [] { return C::serviceList(credentialsFile, "c", std::nullopt); }, svc,
         fileCreds + QStringList{"--company", "c", "list"}, credentialsFile, {}},
        {"credentials file with escapes",
         [] { return C::cloudList(QUrl(QStringLiteral("file:///tmp/a%20b/c%25d.json")), std::nullopt); },
         "desktop_cloud.py", {"--credentials-file", "/tmp/a b/c%d.json", "list"},
         QUrl(QStringLiteral("file:///tmp/a%20b/c%25d.json")), {}},
    };
}

} // namespace

class TestBridgeCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyCase_data();
    void everyCase();
    void coversAllFortyCases();
    void sessionCommands();
    void cursorJson_data();
    void cursorJson();
};

void TestBridgeCommand::everyCase_data()
{
    QTest::addColumn<int>("index");
    const auto all = rows();
    for (int i = 0; i < int(all.size()); ++i)
        QTest::newRow(all[i].name) << i;
}

void TestBridgeCommand::everyCase()
{
    QFETCH(int, index);
    const Row row = rows()[index];
    const BridgeCommand command = row.make();
    QCOMPARE(command.script(), row.script);
    QCOMPARE(command.arguments(), row.arguments);
    QCOMPARE(command.credentialURL(), row.credentials);
    QCOMPARE(command.storageURL(), row.storage);
    QCOMPARE(command.timeout(), row.longTimeout ? std::chrono::seconds(1800) : std::chrono::seconds(180));
}

void TestBridgeCommand::coversAllFortyCases()
{
    QSet<int> kinds;
    for (const Row &row : rows())
        kinds.insert(int(row.make().kind()));
    QCOMPARE(kinds.size(), 40);
    QCOMPARE(int(std::variant_size_v<BridgeCommand::Payload>), 40);
}

void TestBridgeCommand::sessionCommands()
{
    QVERIFY(C::serviceList(session, "c", std::nullopt).isSessionCommand());
    QVERIFY(!C::serviceList(credentialsFile, "c", std::nullopt).isSessionCommand());
    QVERIFY(!C::inventory(inbox).isSessionCommand());
    // Another scheme is a credentials file the tool reads itself.
    const QUrl foreign(QStringLiteral("tavlon-sessions://x/y"));
    QVERIFY(!C::cloudList(foreign, std::nullopt).isSessionCommand());
    QCOMPARE(C::cloudList(foreign, std::nullopt).arguments().at(1), QStringLiteral("/y"));
}

void TestBridgeCommand::cursorJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    QTest::newRow("lower-case id") << QByteArray(R"({"submitted_at":"t","id":"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d"})") << true;
    QTest::newRow("upper-case id") << QByteArray(R"({"id":"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D","submitted_at":"t"})") << true;
    QTest::newRow("braced id") << QByteArray(R"({"submitted_at":"t","id":"{0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}"})") << false;
    QTest::newRow("trailing junk") << QByteArray(R"({"submitted_at":"t","id":"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5dx"})") << false;
    QTest::newRow("trailing newline") << QByteArray(R"({"submitted_at":"t","id":"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d\n"})") << false;
    QTest::newRow("number time") << QByteArray(R"({"submitted_at":1,"id":"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d"})") << false;
    QTest::newRow("extra key") << QByteArray(R"({"submitted_at":"t","id":"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d","x":1})") << false;
    QTest::newRow("missing id") << QByteArray(R"({"submitted_at":"t"})") << false;
}

void TestBridgeCommand::cursorJson()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    const auto cursor = SorvaneInboxCursor::fromJson(QJsonDocument::fromJson(json).object());
    QCOMPARE(cursor.has_value(), valid);
    if (!valid)
        return;
    const SorvaneInboxCursor expected{QStringLiteral("t"), companyID};
    QCOMPARE(*cursor, expected);
    QCOMPARE(SorvaneInboxCursor::fromJson(cursor->toJson()), std::optional(expected));
    QVERIFY(!(expected == SorvaneInboxCursor{QStringLiteral("t"), other}));
}

QTEST_GUILESS_MAIN(TestBridgeCommand)
#include "tst_bridgecommand.moc"
