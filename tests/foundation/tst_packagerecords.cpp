#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"
#include "foundation/records/packagerecords.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray bytes(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject summaryJson()
{
    return object(R"({"packageID": "p1", "projectID": "pr1", "title": "Sommer", "fingerprint": "f",
        "referencedFileCount": 4, "referencedBytes": 5000000000,
        "counts": {"usable": 3, "context": 1, "rejected": 0},
        "serviceRequest": {"schemaVersion": 2, "kind": "filmEditing", "instructions": "i", "deliverable": "d"}})");
}

QJsonObject briefJson()
{
    return object(R"({"requestID": "r", "originalInstructions": "o", "effectiveInstructions": "e", "cached": false,
        "currentAmendment": {"id": "a", "company_id": "c", "request_id": "r", "film_id": "f", "backup_id": "b",
          "source_fingerprint": "s", "base_revision": 1, "applied_revision": 2, "instructions": "i",
          "reason": "why", "created_by": "u", "created_at": "t"}})");
}

QJsonObject contextJson()
{
    QJsonObject o;
    o["summary"] = summaryJson();
    o["masterprompt"] = "prompt";
    o["candidates"] = QJsonArray{object(R"({"id": "c1", "title": "Intro", "mediaKind": "video",
        "startSeconds": 1.5, "speechEvidence": {"state": "noSpeech", "transcriptPresent": false, "wordTimingsAvailable": false}})")};
    o["notice"] = "";
    o["currentBrief"] = briefJson();
    return o;
}

QJsonObject handoffJson()
{
    return object(R"({"handoffID": "h", "folder": "/tmp/h", "clipCount": 3, "notices": ["n1"]})");
}

// Sets `value` at a dotted path such as "summary.counts.usable" or
// "candidates.0.speechEvidence"; an undefined value removes the member.
void setAt(QJsonObject &root, const QStringList &path, const QJsonValue &value)
{
    if (path.size() == 1) {
        if (value.isUndefined())
            root.remove(path.first());
        else
            root[path.first()] = value;
        return;
    }
    const QString head = path.first();
    if (root[head].isArray()) {
        QJsonArray array = root[head].toArray();
        const int index = path.at(1).toInt();
        QJsonObject element = array[index].toObject();
        setAt(element, path.mid(2), value);
        array[index] = element;
        root[head] = array;
        return;
    }
    QJsonObject child = root[head].toObject();
    setAt(child, path.mid(1), value);
    root[head] = child;
}

} // namespace

class TestPackageRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void inventoryDecodes();
    void inventory_data();
    void inventory();
    void context_data();
    void context();
    void contextDecodesNested();
    void handoff_data();
    void handoff();
    void serviceKind();
    void summaryEqualityAndHash_data();
    void summaryEqualityAndHash();
    void interval_data();
    void interval();
    void timelinePlausible_data();
    void timelinePlausible();
    void speechTitle_data();
    void speechTitle();
    void hostileDocumentsFail();
};

void TestPackageRecords::inventoryDecodes()
{
    const auto empty = PackageInventory::decode(R"({"packages": [], "invalidPackages": []})");
    QVERIFY(empty.packages.isEmpty());
    QVERIFY(empty.invalidPackages.isEmpty());

    QJsonObject o;
    o["packages"] = QJsonArray{summaryJson()};
    o["invalidPackages"] = QJsonArray{"broken-a", "broken-b"};
    o["schema"] = 9;
    const auto inventory = PackageInventory::decode(bytes(o));
    QCOMPARE(inventory.packages.size(), 1);
    const PackageSummary &p = inventory.packages.first();
    QCOMPARE(p.id(), "p1");
    QCOMPARE(p.referencedBytes, qint64(5000000000LL));
    QCOMPARE(p.counts.usable, 3);
    QVERIFY(p.serviceRequest);
    QCOMPARE(p.serviceRequest->kind, ServiceKind::filmEditing);
    QCOMPARE(inventory.invalidPackages, (QStringList{"broken-a", "broken-b"}));
}

void TestPackageRecords::inventory_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("hasRequest");
    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("no invalidPackages") << "invalidPackages" << removed << false << true;
    QTest::newRow("no packages") << "packages" << removed << false << true;
    QTest::newRow("serviceRequest absent") << "packages.0.serviceRequest" << removed << true << false;
    QTest::newRow("serviceRequest null") << "packages.0.serviceRequest" << QJsonValue() << true << false;
    QTest::newRow("kind with capital F") << "packages.0.serviceRequest.kind" << QJsonValue("FilmEditing") << false << true;
    QTest::newRow("kind concept") << "packages.0.serviceRequest.kind" << QJsonValue("conceptDevelopment") << true << true;
    QTest::newRow("request without deliverable") << "packages.0.serviceRequest.deliverable" << removed << false << true;
    QTest::newRow("negative schema version accepted") << "packages.0.serviceRequest.schemaVersion" << QJsonValue(-1) << true << true;
    QTest::newRow("fractional count") << "packages.0.counts.usable" << QJsonValue(1.5) << false << true;
    QTest::newRow("Boolean count") << "packages.0.counts.rejected" << QJsonValue(false) << false << true;
    QTest::newRow("bytes as text") << "packages.0.referencedBytes" << QJsonValue("5000000000") << false << true;
    QTest::newRow("null title") << "packages.0.title" << QJsonValue() << false << true;
    QTest::newRow("invalid entry not a text") << "invalidPackages" << QJsonValue(QJsonArray{1}) << false << true;
    QTest::newRow("unknown member ignored") << "packages.0.extra" << QJsonValue(QJsonObject{}) << true << true;
}

void TestPackageRecords::inventory()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(bool, valid);
    QFETCH(bool, hasRequest);
    QJsonObject o;
    o["packages"] = QJsonArray{summaryJson(), summaryJson()};
    o["invalidPackages"] = QJsonArray{};
    setAt(o, path.split('.'), value);
    if (!valid) {
        QVERIFY_THROWS_EXCEPTION(DecodingError, PackageInventory::decode(bytes(o)));
        return;
    }
    const auto inventory = PackageInventory::decode(bytes(o));
    QCOMPARE(inventory.packages.size(), 2);
    QCOMPARE(inventory.packages.first().serviceRequest.has_value(), hasRequest);
}

void TestPackageRecords::context_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("valid");
    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("complete") << "unknownMember" << QJsonValue(1) << true;
    QTest::newRow("no masterprompt") << "masterprompt" << removed << false;
    QTest::newRow("no notice") << "notice" << removed << false;
    QTest::newRow("no candidates") << "candidates" << removed << false;
    QTest::newRow("brief null") << "currentBrief" << QJsonValue() << true;
    QTest::newRow("brief lacks cached") << "currentBrief.cached" << removed << false;
    QTest::newRow("brief cached as number") << "currentBrief.cached" << QJsonValue(0) << false;
    QTest::newRow("brief revision fractional") << "currentBrief.requestRevision" << QJsonValue(2.5) << false;
    QTest::newRow("amendment lacks reason") << "currentBrief.currentAmendment.reason" << removed << false;
    QTest::newRow("amendment revision as text") << "currentBrief.currentAmendment.base_revision" << QJsonValue("1") << false;
    QTest::newRow("candidate lacks mediaKind") << "candidates.0.mediaKind" << removed << false;
    QTest::newRow("candidate start as text") << "candidates.0.startSeconds" << QJsonValue("1.5") << false;
    QTest::newRow("speech evidence lacks word timings") << "candidates.0.speechEvidence.wordTimingsAvailable" << removed << false;
    QTest::newRow("speech evidence null") << "candidates.0.speechEvidence" << QJsonValue() << true;
    QTest::newRow("summary request kind unknown") << "summary.serviceRequest.kind" << QJsonValue("editing") << false;
    QTest::newRow("context revision as number") << "contextRevision" << QJsonValue(3) << false;
}

void TestPackageRecords::context()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(bool, valid);
    QJsonObject o = contextJson();
    setAt(o, path.split('.'), value);
    if (valid)
        PackageContext::decode(bytes(o));
    else
        QVERIFY_THROWS_EXCEPTION(DecodingError, PackageContext::decode(bytes(o)));
}

void TestPackageRecords::contextDecodesNested()
{
    QJsonObject o = contextJson();
    o["contextRevision"] = "rev-7";
    const auto context = PackageContext::decode(bytes(o));
    QCOMPARE(context.id(), "p1");
    QCOMPARE(context.masterprompt, "prompt");
    QCOMPARE(context.contextRevision, "rev-7");
    QCOMPARE(context.candidates.size(), 1);
    QCOMPARE(context.candidates.first().startSeconds, 1.5);
    QVERIFY(!context.candidates.first().endSeconds);
    QCOMPARE(context.candidates.first().speechEvidence->state, "noSpeech");
    QVERIFY(context.currentBrief);
    QVERIFY(!context.currentBrief->requestRevision);
    QCOMPARE(context.currentBrief->currentAmendment->applied_revision, 2);

    // The spelling of the prompt key is exact.
    o.remove("masterprompt");
    o["masterPrompt"] = "prompt";
    QVERIFY_THROWS_EXCEPTION(DecodingError, PackageContext::decode(bytes(o)));
}

void TestPackageRecords::handoff_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("valid");
    const QJsonValue removed(QJsonValue::Undefined);
    const QJsonObject format = object(R"({"width": 1920, "height": 1080, "frameRateNumerator": 25,
        "frameRateDenominator": 1, "origin": "explicit", "requiresFormatReview": false, "mixedSourceFormats": true})");
    QTest::newRow("no notices") << "notices" << removed << false;
    QTest::newRow("kind null") << "kind" << QJsonValue() << true;
    QTest::newRow("kind unknown") << "kind" << QJsonValue("film") << false;
    QTest::newRow("kind known") << "kind" << QJsonValue("scriptDevelopment") << true;
    QTest::newRow("clip count fractional") << "clipCount" << QJsonValue(2.5) << false;
    QTest::newRow("timeline format") << "timelineFormat" << QJsonValue(format) << true;
    QJsonObject widthText = format;
    widthText["width"] = "1920";
    QTest::newRow("timeline width as text") << "timelineFormat" << QJsonValue(widthText) << false;
    QJsonObject widthFraction = format;
    widthFraction["width"] = 1920.5;
    QTest::newRow("timeline width fractional") << "timelineFormat" << QJsonValue(widthFraction) << false;
    QJsonObject implausible = format;
    implausible["frameRateDenominator"] = 0;
    implausible["sourceID"] = QJsonValue();
    QTest::newRow("implausible values still decode") << "timelineFormat" << QJsonValue(implausible) << true;
    QJsonObject reviewAsNumber = format;
    reviewAsNumber["requiresFormatReview"] = 1;
    QTest::newRow("review flag as number") << "timelineFormat" << QJsonValue(reviewAsNumber) << false;
}

void TestPackageRecords::handoff()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(bool, valid);
    QJsonObject o = handoffJson();
    setAt(o, path.split('.'), value);
    if (valid)
        PreparedHandoff::decode(bytes(o));
    else
        QVERIFY_THROWS_EXCEPTION(DecodingError, PreparedHandoff::decode(bytes(o)));

    if (path == "notices") { // once: the bare hand-off leaves all four optionals absent
        const auto bare = PreparedHandoff::decode(bytes(handoffJson()));
        QVERIFY(!bare.fcpxml && !bare.kind && !bare.sourceFileCount && !bare.timelineFormat);
        QCOMPARE(bare.notices, QStringList{"n1"});
    }
}

void TestPackageRecords::serviceKind()
{
    for (ServiceKind kind : {ServiceKind::filmEditing, ServiceKind::conceptDevelopment, ServiceKind::scriptDevelopment})
        QCOMPARE(serviceKindFromRaw(rawValue(kind)), kind);
    QVERIFY(!serviceKindFromRaw("filmediting"));
    QVERIFY(!serviceKindFromRaw(" filmEditing"));
    EditorLocalization::overrideLanguageForTesting("da");
    QCOMPARE(title(ServiceKind::scriptDevelopment), "Manus og shotliste");
    EditorLocalization::overrideLanguageForTesting("en");
    QCOMPARE(title(ServiceKind::conceptDevelopment), "Concept development");
}

void TestPackageRecords::summaryEqualityAndHash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("equal");
    QTest::newRow("same") << "title" << QJsonValue("Sommer") << true;
    QTest::newRow("one count differs") << "counts.rejected" << QJsonValue(1) << false;
    QTest::newRow("request absent") << "serviceRequest" << QJsonValue() << false;
    QTest::newRow("request kind differs") << "serviceRequest.kind" << QJsonValue("scriptDevelopment") << false;
    QTest::newRow("bytes differ") << "referencedBytes" << QJsonValue(5000000001LL) << false;
}

void TestPackageRecords::summaryEqualityAndHash()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(bool, equal);
    const auto a = PackageSummary::fromJson(JsonObjectReader(summaryJson()));
    QJsonObject changed = summaryJson();
    setAt(changed, path.split('.'), value);
    const auto b = PackageSummary::fromJson(JsonObjectReader(changed));
    QCOMPARE(a == b, equal);
    QCOMPARE(qHash(a) == qHash(b), equal);
    QCOMPARE(qHash(a, 7) == qHash(b, 7), equal);
}

void TestPackageRecords::interval_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    const QByteArray still = R"({"id": "c", "title": "t", "mediaKind": "image"})";
    const QByteArray clip = R"({"id": "c", "title": "t", "mediaKind": "video", "startSeconds": 12.5})";
    const QByteArray capital = R"({"id": "c", "title": "t", "mediaKind": "Image", "stillDurationSeconds": 4})";
    const QByteArray timed = R"({"id": "c", "title": "t", "mediaKind": "image", "stillDurationSeconds": 4})";
    QTest::newRow("still, Danish") << "da" << still << QString::fromUtf8("Billede · vises i 3,0 sek.");
    QTest::newRow("still, English") << "en" << still << QString::fromUtf8("Image · shown for 3.0 s");
    QTest::newRow("still with duration") << "da" << timed << QString::fromUtf8("Billede · vises i 4,0 sek.");
    QTest::newRow("clip, Danish") << "da" << clip << QString::fromUtf8("12,50–0,00 sek. fra originalen");
    QTest::newRow("clip, English") << "en" << clip << QString::fromUtf8("12.50–0.00 s from the original");
    QTest::newRow("capital Image is a clip") << "da" << capital << QString::fromUtf8("0,00–0,00 sek. fra originalen");
}

void TestPackageRecords::interval()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    EditorLocalization::overrideLanguageForTesting(language);
    QCOMPARE(Candidate::fromJson(JsonObjectReader::parse(json)).interval(), text);
}

void TestPackageRecords::timelinePlausible_data()
{
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<qint64>("numerator");
    QTest::addColumn<qint64>("denominator");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("plausible");
    QTest::newRow("HD 25") << qint64(1920) << qint64(1080) << qint64(25) << qint64(1) << "explicit" << true;
    QTest::newRow("width 16") << qint64(16) << qint64(1080) << qint64(25) << qint64(1) << "explicit" << true;
    QTest::newRow("width 8192") << qint64(8192) << qint64(1080) << qint64(25) << qint64(1) << "explicit" << true;
    QTest::newRow("width 15") << qint64(15) << qint64(1080) << qint64(25) << qint64(1) << "explicit" << false;
    QTest::newRow("width 8193") << qint64(8193) << qint64(1080) << qint64(25) << qint64(1) << "explicit" << false;
    QTest::newRow("height 15") << qint64(1920) << qint64(15) << qint64(25) << qint64(1) << "explicit" << false;
    QTest::newRow("height 8193") << qint64(1920) << qint64(8193) << qint64(25) << qint64(1) << "explicit" << false;
    QTest::newRow("NTSC film") << qint64(1920) << qint64(1080) << qint64(24000) << qint64(1001) << "selectedSource" << true;
    QTest::newRow("exactly 1") << qint64(1920) << qint64(1080) << qint64(1) << qint64(1) << "explicit" << true;
    QTest::newRow("exactly 120") << qint64(1920) << qint64(1080) << qint64(120) << qint64(1) << "explicit" << true;
    QTest::newRow("just above 120") << qint64(1920) << qint64(1080) << qint64(120001) << qint64(1000) << "explicit" << false;
    QTest::newRow("half a frame") << qint64(1920) << qint64(1080) << qint64(1) << qint64(2) << "explicit" << false;
    QTest::newRow("numerator 0") << qint64(1920) << qint64(1080) << qint64(0) << qint64(1) << "explicit" << false;
    QTest::newRow("denominator 0") << qint64(1920) << qint64(1080) << qint64(25) << qint64(0) << "explicit" << false;
    QTest::newRow("both negative") << qint64(1920) << qint64(1080) << qint64(-25) << qint64(-1) << "explicit" << false;
    QTest::newRow("origin case differs") << qint64(1920) << qint64(1080) << qint64(25) << qint64(1) << "Explicit" << false;
}

void TestPackageRecords::timelinePlausible()
{
    SorvaneTimelineFormat format;
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    QFETCH(qint64, numerator);
    QFETCH(qint64, denominator);
    QFETCH(QString, origin);
    QFETCH(bool, plausible);
    format.width = width;
    format.height = height;
    format.frameRateNumerator = numerator;
    format.frameRateDenominator = denominator;
    format.origin = origin;
    QCOMPARE(format.isPlausible(), plausible);
}

void TestPackageRecords::speechTitle_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("transcript");
    QTest::addColumn<bool>("timings");
    QTest::addColumn<QString>("title");
    const QString unverified = "Speech is not verified";
    QTest::newRow("reviewed") << "reviewedTranscript" << true << false << QString::fromUtf8("Reviewed transcript · check against the audio");
    QTest::newRow("reviewed without transcript") << "reviewedTranscript" << false << true << unverified;
    QTest::newRow("unreviewed") << "unreviewedTranscript" << true << true << "Transcript awaiting review";
    QTest::newRow("no speech") << "noSpeech" << false << false << QString::fromUtf8("No speech recognized · listen to verify");
    QTest::newRow("no speech with timings") << "noSpeech" << false << true << unverified;
    QTest::newRow("no audio") << "noAudio" << false << false << "No audio track reported";
    QTest::newRow("no audio with transcript") << "noAudio" << true << false << unverified;
    QTest::newRow("failure ignores flags") << "technicalFailure" << true << true << QString::fromUtf8("Transcription failed · speech is not verified");
    QTest::newRow("unknown state") << "NoSpeech" << false << false << unverified;
}

void TestPackageRecords::speechTitle()
{
    QFETCH(QString, state);
    QFETCH(bool, transcript);
    QFETCH(bool, timings);
    QFETCH(QString, title);
    EditorLocalization::overrideLanguageForTesting("en");
    SourceSpeechEvidence evidence;
    evidence.state = state;
    evidence.transcriptPresent = transcript;
    evidence.wordTimingsAvailable = timings;
    QCOMPARE(evidence.title(), title);
}

void TestPackageRecords::hostileDocumentsFail()
{
    const QList<std::function<void(const QByteArray &)>> decoders{
        [](const QByteArray &b) { PackageInventory::decode(b); },
        [](const QByteArray &b) { PackageContext::decode(b); },
        [](const QByteArray &b) { PreparedHandoff::decode(b); },
    };
    const QByteArray full = bytes(contextJson());
    QList<QByteArray> inputs{QByteArray(100000, '['), QByteArray(100000, '{'), "[]", "null", R"({"packages": {}})",
                             R"({"summary": []})", "\xef\xbb\xbf{}"};
    for (qsizetype n = 0; n < full.size(); n += 7)
        inputs << full.left(n);
    for (const auto &decode : decoders)
        for (const QByteArray &input : std::as_const(inputs))
            QVERIFY_THROWS_EXCEPTION(DecodingError, decode(input));
}

QTEST_GUILESS_MAIN(TestPackageRecords)
#include "tst_packagerecords.moc"
