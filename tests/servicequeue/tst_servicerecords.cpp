// Decoding of the service tools' task, proposal, video and reaction answers.
#include <QtTest>

#include "foundation/localization.h"
#include "servicequeue/servicerecords.h"
#include "servicequeue/videorecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject receipt()
{
    return QJsonObject{{"id", "req-1"},
                       {"company_id", "9b2c7d1e-0000-4000-8000-000000000001"},
                       {"local_project_id", "lp-1"},
                       {"backup_id", "b-1"},
                       {"source_fingerprint", "fp"},
                       {"title", "Sommerfilm"},
                       {"kind", "filmEditing"},
                       {"status", "waiting"},
                       {"revision", 3},
                       {"submitted_by", "kunde"},
                       {"submitted_at", "2026-01-01T10:00:00Z"},
                       {"updated_at", "2026-01-02T10:00:00Z"}};
}

QJsonObject reviewVideo()
{
    return QJsonObject{{"source_export_id", "exp"}, {"bucket", "b"},        {"object_key", "k"},
                       {"sha256", "ab"},            {"content_type", "video/mp4"}, {"editor_name", "Ed"},
                       {"byte_count", 12},          {"duration_seconds", 12.5}, {"editor_qc_confirmed", true}};
}

QJsonObject content()
{
    return QJsonObject{{"schemaVersion", 1},          {"kind", "conceptDevelopment"}, {"title", "T"},
                       {"body", "B"},                 {"open_questions", QJsonArray()}, {"concept_options", QJsonArray()},
                       {"script_sections", QJsonArray()}, {"shots", QJsonArray()},   {"sources", QJsonArray()}};
}

QJsonObject shot()
{
    return QJsonObject{{"id", "s1"}, {"title", "t"}, {"instruction", "i"}, {"kind", "wide"}, {"duration_seconds", 4}};
}

QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A JSON text with one member replaced by raw JSON (to write "4" as a string, 4.5, null...).
QByteArray withRaw(QJsonObject object, const QString &key, const QByteArray &raw)
{
    object.insert(key, QStringLiteral("@@RAW@@"));
    return bytes(object).replace("\"@@RAW@@\"", raw);
}

QJsonObject without(QJsonObject object, const QString &key)
{
    object.remove(key);
    return object;
}

template<class F>
bool decodes(F &&decode)
{
    try {
        decode();
        return true;
    } catch (const DecodingError &) {
        return false;
    }
}

} // namespace

class TestServiceRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void receiptDecoding_data();
    void receiptDecoding();
    void optionalClaimFields_data();
    void optionalClaimFields();
    void listingNeedsExactKeys_data();
    void listingNeedsExactKeys();
    void proposalContent_data();
    void proposalContent();
    void statusTitle_data();
    void statusTitle();
    void reviewVideoEquality();
    void reactionSummary_data();
    void reactionSummary();
    void projectVersions_data();
    void projectVersions();
    void annotationsReadIntegralSecondsAsDoubles();
    void previewsFailAsAWhole();
    void deliveryStatus_data();
    void deliveryStatus();
};

void TestServiceRecords::receiptDecoding_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::newRow("complete") << bytes(receipt()) << true;
    QTest::newRow("extra key ignored") << withRaw(receipt(), "unknown", "{\"x\":1}") << true;
    QTest::newRow("kind in other case") << withRaw(receipt(), "kind", "\"FilmEditing\"") << false;
    QTest::newRow("kind outside the three") << withRaw(receipt(), "kind", "\"editing\"") << false;
    QTest::newRow("writing kinds") << withRaw(receipt(), "kind", "\"scriptDevelopment\"") << true;
    QTest::newRow("revision with fraction") << withRaw(receipt(), "revision", "4.5") << false;
    QTest::newRow("revision as text") << withRaw(receipt(), "revision", "\"4\"") << false;
    QTest::newRow("revision beyond 64 bits") << withRaw(receipt(), "revision", "1e30") << false;
    QTest::newRow("required title null") << withRaw(receipt(), "title", "null") << false;
    QTest::newRow("required id missing") << bytes(without(receipt(), "id")) << false;
    QTest::newRow("id as number") << withRaw(receipt(), "id", "7") << false;
    QTest::newRow("any status word") << withRaw(receipt(), "status", "\"on_hold\"") << true;
    QTest::newRow("claimed_by of wrong type") << withRaw(receipt(), "claimed_by", "5") << false;
}

void TestServiceRecords::receiptDecoding()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QCOMPARE(decodes([&] { ServiceReceipt::fromJson(JsonObjectReader::parse(json)); }), ok);
}

void TestServiceRecords::optionalClaimFields_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("missing") << bytes(receipt());
    QJsonObject nulls = receipt();
    for (const char *key : {"claimed_by", "claimed_at", "latest_proposal_id"})
        nulls.insert(QLatin1String(key), QJsonValue::Null);
    QTest::newRow("null") << bytes(nulls);
}

void TestServiceRecords::optionalClaimFields()
{
    QFETCH(QByteArray, json);
    const ServiceReceipt r = ServiceReceipt::fromJson(JsonObjectReader::parse(json));
    QVERIFY(!r.claimed_by);
    QVERIFY(!r.claimed_at);
    QVERIFY(!r.latest_proposal_id);
    QCOMPARE(r.revision, 3);
}

void TestServiceRecords::listingNeedsExactKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    const QJsonObject base{{"companyID", "c"}, {"operatorID", "o"}, {"requests", QJsonArray{receipt()}}};
    QTest::newRow("camel case") << bytes(base) << true;
    QJsonObject snake = without(base, "companyID");
    snake.insert("company_id", "c");
    QTest::newRow("snake case company") << bytes(snake) << false;
    QJsonObject lower = without(base, "companyID");
    lower.insert("companyId", "c");
    QTest::newRow("other letter case") << bytes(lower) << false;
    QJsonObject badRow = receipt();
    badRow.insert("kind", "filmediting");
    QJsonObject withBad = base;
    withBad.insert("requests", QJsonArray{receipt(), badRow});
    QTest::newRow("one bad row fails all") << bytes(withBad) << false;
    QTest::newRow("empty list") << bytes(QJsonObject{{"companyID", "c"}, {"operatorID", "o"}, {"requests", QJsonArray()}}) << true;
}

void TestServiceRecords::listingNeedsExactKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QCOMPARE(decodes([&] { ServiceListing::decode(json); }), ok);
}

void TestServiceRecords::proposalContent_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty arrays, no video") << bytes(content()) << true;
    QTest::newRow("without shots") << bytes(without(content(), "shots")) << false;
    QJsonObject withVideo = content();
    withVideo.insert("video", reviewVideo());
    QTest::newRow("fractional video duration") << bytes(withVideo) << true;
    QJsonObject fractionalShot = shot();
    fractionalShot.insert("duration_seconds", 12.5);
    QJsonObject withShot = content();
    withShot.insert("shots", QJsonArray{fractionalShot});
    QTest::newRow("fractional shot duration") << bytes(withShot) << false;
    withShot.insert("shots", QJsonArray{shot()});
    QTest::newRow("shot without section") << bytes(withShot) << true;
    QJsonObject videoNull = content();
    videoNull.insert("video", QJsonValue::Null);
    QTest::newRow("video null") << bytes(videoNull) << true;
    QTest::newRow("kind lower case") << withRaw(content(), "kind", "\"filmediting\"") << false;
    QTest::newRow("schema version snake case") << bytes(without(content(), "schemaVersion")) << false;
}

void TestServiceRecords::proposalContent()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QCOMPARE(decodes([&] { ProposalContent::fromJson(JsonObjectReader::parse(json)); }), ok);
}

void TestServiceRecords::statusTitle_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title");
    QTest::newRow("waiting") << "waiting" << "Venter";
    QTest::newRow("capital W") << "Waiting" << "Ukendt status";
    QTest::newRow("changes requested") << "changes_requested" << "Rettelser ønsket";
    QTest::newRow("cancelled") << "cancelled" << "Annulleret";
    QTest::newRow("empty") << "" << "Ukendt status";
}

void TestServiceRecords::statusTitle()
{
    QFETCH(QString, status);
    QFETCH(QString, title);
    ServiceReceipt r;
    r.status = status;
    QCOMPARE(r.statusTitle(), title);
}

void TestServiceRecords::reviewVideoEquality()
{
    const auto a = ProposalContent::ReviewVideo::fromJson(JsonObjectReader(reviewVideo()));
    auto b = a;
    QVERIFY(a == b);
    b.editor_qc_confirmed = false;
    QVERIFY(!(a == b));
}

void TestServiceRecords::reactionSummary_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("identity");
    const QJsonObject base{{"decisionID", "d1"}, {"proposalID", "p"}, {"sourceSHA256", "s"}, {"mode", "camera"},
                           {"proposalVersion", 2},  {"annotationCount", 0}, {"duration", 3}};
    QJsonObject underOwnName = base;
    underOwnName.insert("reactionID", "r1");
    QTest::newRow("only reactionID") << bytes(underOwnName) << false << QString();
    QJsonObject both = underOwnName;
    both.insert("id", "r2");
    QTest::newRow("both keys take id") << bytes(both) << true << "d1/r2";
}

void TestServiceRecords::reactionSummary()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(QString, identity);
    std::optional<ServiceReactionSummary> summary;
    QCOMPARE(decodes([&] { summary = ServiceReactionSummary::fromJson(JsonObjectReader::parse(json)); }), ok);
    if (ok)
        QCOMPARE(summary->id(), identity);
}

void TestServiceRecords::projectVersions_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    const QJsonObject version{{"snapshotID", "s"}, {"proposalID", "p"}, {"sourceName", "n"}, {"kind", "k"},
                              {"archive", "a"},     {"manifest", "m"},   {"archiveSHA256", "h"}, {"dependencyStatus", "ok"},
                              {"notice", ""},       {"byteCount", 5},    {"referenceCount", 1}, {"nativeReopenVerified", false}};
    QTest::newRow("no optionals") << bytes(QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray{version}}}) << true;
    QTest::newRow("optionals null")
        << bytes(QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray()}, {"automaticProjects", QJsonValue::Null},
                             {"requiresExplicitSelection", QJsonValue::Null}})
        << true;
    QTest::newRow("copy without byteCount")
        << bytes(QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray{without(version, "byteCount")}}}) << false;
}

void TestServiceRecords::projectVersions()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QCOMPARE(decodes([&] { NativeProjectVersions::decode(json); }), ok);
}

void TestServiceRecords::annotationsReadIntegralSecondsAsDoubles()
{
    const auto a = ServiceReactionDownload::Annotation::fromJson(JsonObjectReader(
        QJsonObject{{"id", "a"}, {"text", "t"}, {"sourceSeconds", 3}, {"reactionSeconds", 0}}));
    QCOMPARE(a.sourceSeconds, 3.0);
    QCOMPARE(a.reactionSeconds, 0.0);
}

void TestServiceRecords::previewsFailAsAWhole()
{
    QVERIFY(VideoReviewPreviews::decode(R"({"previews":[]})").previews.isEmpty());
    const QJsonObject preview{{"proposalID", "p"}, {"requestID", "r"}, {"exportID", "e"}, {"file", "f"},
                              {"notice", "n"},     {"expectedRevision", 1}, {"content", without(content(), "title")}};
    QVERIFY(!decodes([&] { VideoReviewPreviews::decode(bytes(QJsonObject{{"previews", QJsonArray{preview}}})); }));
}

void TestServiceRecords::deliveryStatus_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::newRow("sent, no version") << QByteArray(R"({"proposalID":"p","state":"sentForCustomerReview","customerApproved":false})") << true;
    QTest::newRow("unknown state") << QByteArray(R"({"proposalID":"p","state":"sent","customerApproved":false})") << false;
    QTest::newRow("version null") << QByteArray(R"({"proposalID":"p","state":"notConfirmedLocally","version":null,"customerApproved":true})") << true;
}

void TestServiceRecords::deliveryStatus()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QCOMPARE(decodes([&] { VideoDeliveryStatus::decode(json); }), ok);
}

QTEST_GUILESS_MAIN(TestServiceRecords)
#include "tst_servicerecords.moc"
