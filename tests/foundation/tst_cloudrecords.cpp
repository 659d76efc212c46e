#include "foundation/decoding/strictjson.h"
#include "foundation/records/cloudrecords.h"

#include <QSet>
#include <QtTest>

class TestCloudRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listing_data();
    void listing();
    void restored_data();
    void restored();
    void backupEqualityAndHash();
    void hostileDocumentsFail();
};

namespace {
const char *backup(const char *revision = "3", const char *extra = "")
{
    static QByteArray text;
    text = QByteArray(R"({"id": "b1", "local_project_id": "lp", "revision": )") + revision
           + R"(, "completed_at": "2024-05-01T10:00:00Z")" + extra + "}";
    return text.constData();
}
} // namespace

void TestCloudRecords::listing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count"); // -1: fails
    const QByteArray good = backup();
    QTest::newRow("empty backups") << QByteArray(R"({"companyID": "c", "backups": []})") << 0;
    QTest::newRow("two backups") << QByteArray(R"({"companyID": "c", "backups": [)") + good + "," + good + "]}" << 2;
    QTest::newRow("second lacks completed_at")
        << QByteArray(R"({"companyID": "c", "backups": [)") + good
               + R"(, {"id": "b2", "local_project_id": "lp", "revision": 4}]})"
        << -1;
    QTest::newRow("revision 3.5") << QByteArray(R"({"companyID": "c", "backups": [)") + backup("3.5") + "]}" << -1;
    QTest::newRow("revision as text") << QByteArray(R"({"companyID": "c", "backups": [)") + backup("\"3\"") + "]}" << -1;
    QTest::newRow("extra members ignored")
        << QByteArray(R"({"companyID": "c", "total": 9, "backups": [)") + backup("3", R"(, "size": 12, "checksum": "x")") + "]}"
        << 1;
    QTest::newRow("camel-case backup key")
        << QByteArray(R"({"companyID": "c", "backups": [{"id": "b", "localProjectId": "lp", "revision": 1, "completed_at": "t"}]})")
        << -1;
    QTest::newRow("company key ending in lower-case d") << QByteArray(R"({"companyId": "c", "backups": []})") << -1;
    QTest::newRow("company null") << QByteArray(R"({"companyID": null, "backups": []})") << -1;
    QTest::newRow("backups null") << QByteArray(R"({"companyID": "c", "backups": null})") << -1;
}

void TestCloudRecords::listing()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    if (count < 0) {
        QVERIFY_THROWS_EXCEPTION(DecodingError, CloudListing::decode(json));
        return;
    }
    const auto listing = CloudListing::decode(json);
    QCOMPARE(listing.companyID, "c");
    QCOMPARE(listing.backups.size(), count);
    if (count > 0) {
        QCOMPARE(listing.backups.first().revision, 3);
        QCOMPARE(listing.backups.first().completed_at, "2024-05-01T10:00:00Z");
    }
}

void TestCloudRecords::restored_data()
{
    QTest::addColumn<QByteArray>("verified");
    QTest::addColumn<int>("expected"); // -1: fails
    QTest::newRow("true") << QByteArray("true") << 1;
    QTest::newRow("false is a valid answer") << QByteArray("false") << 0;
    QTest::newRow("one") << QByteArray("1") << -1;
    QTest::newRow("text") << QByteArray("\"true\"") << -1;
    QTest::newRow("null") << QByteArray("null") << -1;
}

void TestCloudRecords::restored()
{
    QFETCH(QByteArray, verified);
    QFETCH(int, expected);
    const QByteArray json = R"({"companyID": "c", "backupID": "b", "folder": "/p/restored", "verified": )" + verified + "}";
    if (expected < 0) {
        QVERIFY_THROWS_EXCEPTION(DecodingError, RestoredBackup::decode(json));
        return;
    }
    const auto restored = RestoredBackup::decode(json);
    QCOMPARE(restored.verified, expected == 1);
    QCOMPARE(restored.folder, "/p/restored");
}

void TestCloudRecords::backupEqualityAndHash()
{
    const auto a = CloudBackup::fromJson(JsonObjectReader::parse(backup("3")));
    const auto b = CloudBackup::fromJson(JsonObjectReader::parse(backup("3", R"(, "size": 1)")));
    const auto c = CloudBackup::fromJson(JsonObjectReader::parse(backup("4")));
    QCOMPARE(a, b);
    QCOMPARE(qHash(a), qHash(b));
    QVERIFY(a != c);
    QCOMPARE((QSet<CloudBackup>{a, b, c}).size(), 2);
}

void TestCloudRecords::hostileDocumentsFail()
{
    const QByteArray full = QByteArray(R"({"companyID": "c", "backups": [)") + backup() + "]}";
    QList<QByteArray> inputs{QByteArray(100000, '['), "[]", R"({"companyID": 1, "backups": []})", "{\"companyID\": \"c\", \"backups\": [" + QByteArray(50000, '[')};
    for (qsizetype n = 0; n < full.size(); ++n)
        inputs << full.left(n);
    for (const QByteArray &input : std::as_const(inputs)) {
        QVERIFY_THROWS_EXCEPTION(DecodingError, CloudListing::decode(input));
        QVERIFY_THROWS_EXCEPTION(DecodingError, RestoredBackup::decode(input));
    }
}

QTEST_GUILESS_MAIN(TestCloudRecords)
#include "tst_cloudrecords.moc"
