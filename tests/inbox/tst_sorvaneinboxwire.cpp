#include "inboxfixtures.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "inbox/sorvaneinboxwire.h"

#include <QRandomGenerator>
#include <QtTest>
#include <functional>

using namespace InboxFixtures;

namespace {

enum class Outcome { accepted, refused, parseError };

const QUuid expectedOperator = QUuid::fromString(operatorID);
const QUuid expectedCompany = QUuid::fromString(companyID);

Outcome run(const QString &answer, const QByteArray &bytes)
{
    try {
        if (answer == u"inbox")
            SorvaneInboxWire::inbox(bytes, expectedOperator);
        else if (answer == u"pipeline")
            SorvaneInboxWire::pipeline(bytes, expectedCompany, expectedOperator);
        else if (answer == u"mutation")
            SorvaneInboxWire::mutation(bytes, expectedOperator);
        else
            SorvaneInboxWire::metadata(bytes, expectedCompany);
        return Outcome::accepted;
    } catch (const BridgeError &error) {
        if (error.message() != SorvaneInboxWire::verifyMessage())
            qFatal("unexpected refusal text: %s", error.what());
        return Outcome::refused;
    } catch (const DecodingError &) {
        return Outcome::parseError;
    }
}

QJsonObject validDocument(const QString &answer)
{
    if (answer == u"inbox")
        return inboxPage();
    if (answer == u"pipeline")
        return pipelinePage();
    if (answer == u"mutation")
        return mutationResult();
    return metadataSettings();
}

// Every path below `value` that leads to an object.
void objectPaths(const QJsonValue &value, const QStringList &path, QList<QStringList> &out)
{
    if (value.isObject()) {
        out.append(path);
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            objectPaths(it.value(), path + QStringList{it.key()}, out);
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            objectPaths(array.at(i), path + QStringList{QString::number(i)}, out);
    }
}

QJsonArray manyRows(int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(row(i + 1));
    return rows;
}

QString repeated(const QString &piece, int count)
{
    return piece.repeated(count);
}

// Every member of a row as text, to compare two rows whole.
QStringList describe(const SorvaneInboxRow &row)
{
    const auto text = [](const std::optional<QString> &value) { return value ? "'" + *value + "'" : QString("none"); };
    const auto id = [](const std::optional<QUuid> &value) { return value ? value->toString() : QString("none"); };
    const ServiceReceipt &r = row.request;
    const SorvaneScheduling &s = row.scheduling;
    return {r.id, r.company_id, r.local_project_id, r.backup_id, r.source_fingerprint, r.title, rawValue(r.kind),
            r.status.text(), QString::number(r.revision), r.submitted_by, r.submitted_at, r.updated_at, text(r.claimed_by),
            text(r.claimed_at), text(r.latest_proposal_id),
            row.company.id.toString(), row.company.name, text(row.company.contactName),
            QString::number(int(row.company.metadataAccess)), QString::number(row.company.canManageMetadata),
            row.film.id.toString(), row.film.title, id(row.film.campaignID), text(row.film.campaignTitle),
            text(row.film.stage),
            SorvaneScheduling::rawValue(s.tier), QString::number(s.targetHours), QString::number(s.policyVersion),
            QString::number(s.round), SorvaneScheduling::rawValue(s.submissionMode), s.receivedAt, text(s.eligibleAt),
            text(s.dueAt), text(s.startedAt), s.blockedReason ? SorvaneScheduling::rawValue(*s.blockedReason) : "none",
            QString::number(s.canClaim)};
}

QStringList describe(const SorvaneInboxPage &page)
{
    QStringList result{QString::number(page.schemaVersion), page.operatorID.toString(), page.serverTime,
                       page.nextCursor ? page.nextCursor->submittedAt + ' ' + page.nextCursor->id.toString() : "none",
                       page.nextRequestID ? page.nextRequestID->toString() : "none"};
    for (const SorvaneInboxRow &row : page.items)
        result += describe(row);
    if (page.nextItem)
        result += describe(*page.nextItem);
    return result;
}

// A row with every optional member set and ids in upper case.
QJsonObject fullRow(int n)
{
    QJsonObject full = row(n, "changes_requested");
    full = set(full, "request/id", uuidFor(n, 1).toUpper());
    full = set(full, "request/claimed_by", operatorID.toUpper());
    full = set(full, "request/claimed_at", "2024-05-01T11:00:00.5+01:00");
    full = set(full, "request/latest_proposal_id", uuidFor(n, 8));
    full = set(full, "request/revision", 7);
    full = set(full, "request/kind", "conceptDevelopment");
    full = set(full, "company/contactName", "Ida Holm");
    full = set(full, "company/metadataAccess", "granted");
    full = set(full, "company/canManageMetadata", true);
    full = set(full, "film/campaignID", uuidFor(n, 7));
    full = set(full, "film/campaignTitle", "Sommer");
    full = set(full, "film/stage", QJsonValue::Null);
    full = set(full, "scheduling/tier", "high");
    full = set(full, "scheduling/targetHours", 2);
    full = set(full, "scheduling/round", 3);
    full = set(full, "scheduling/submissionMode", "free_capture");
    full = set(full, "scheduling/eligibleAt", "2024-05-01T12:30:00Z");
    full = set(full, "scheduling/dueAt", "2024-05-04T12:30:00Z");
    full = set(full, "scheduling/startedAt", "2024-05-02T08:00:00Z");
    full = set(full, "scheduling/blockedReason", "service_paused");
    return full;
}

} // namespace

class TestSorvaneInboxWire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting("en"); }

    void validAnswersDecode()
    {
        const SorvaneInboxPage page = SorvaneInboxWire::inbox(bytes(inboxPage()), expectedOperator);
        QCOMPARE(page.items.size(), 2);
        QCOMPARE(page.items.at(1).film.title, QStringLiteral("Film 2"));
        QCOMPARE(page.items.at(0).scheduling.submissionMode, SorvaneScheduling::SubmissionMode::interview);
        QVERIFY(!page.nextCursor);

        const SorvanePipelinePage pipeline =
            SorvaneInboxWire::pipeline(bytes(pipelinePage()), expectedCompany, expectedOperator);
        QCOMPARE(pipeline.films.size(), 2);
        QCOMPARE(pipeline.company.id, expectedCompany);

        const SorvaneMutationResult mutation = SorvaneInboxWire::mutation(bytes(mutationResult()), expectedOperator);
        QVERIFY(mutation.item);
        QCOMPARE(mutation.item->request.status, QStringLiteral("active"));

        const SorvaneMetadataSettings settings = SorvaneInboxWire::metadata(bytes(metadataSettings()), expectedCompany);
        QCOMPARE(settings.contactName, std::optional<QString>(QStringLiteral("Ida Holm")));
    }

    // Every object of every answer, one key short and one key extra.
    void everyKeySetIsExact_data()
    {
        QTest::addColumn<QString>("answer");
        for (const char *answer : {"inbox", "pipeline", "mutation", "metadata"})
            QTest::newRow(answer) << QString::fromLatin1(answer);
    }

    void everyKeySetIsExact()
    {
        QFETCH(QString, answer);
        QJsonObject document = validDocument(answer);
        if (answer == u"inbox") // reach the cursor and the next row too
            document = set(set(set(document, "nextItem", row(9, "waiting", true)), "nextRequestID",
                               uuidFor(9, 1)),
                           "nextCursor",
                           QJsonObject{{"submitted_at", valueAt(document, {"items", "1", "request", "submitted_at"})},
                                       {"id", uuidFor(2, 1)}});
        QCOMPARE(run(answer, bytes(document)), Outcome::accepted);

        QList<QStringList> paths;
        objectPaths(document, {}, paths);
        QVERIFY(paths.size() > 1 || answer == u"metadata");
        for (const QStringList &path : std::as_const(paths)) {
            const QJsonObject object = valueAt(document, path).toObject();
            for (const QString &key : object.keys()) {
                const QJsonObject shorter = withoutKey(document, path + QStringList{key}).toObject();
                QVERIFY2(run(answer, bytes(shorter)) == Outcome::refused, qPrintable(path.join('/') + '/' + key));
            }
            const QJsonObject longer = withValue(document, path + QStringList{"extra"}, QJsonValue::Null).toObject();
            QVERIFY2(run(answer, bytes(longer)) == Outcome::refused, qPrintable(path.join('/') + "/extra"));
        }
    }

    void fieldRules_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QJsonObject>("document");
        QTest::addColumn<bool>("accepted");
        const QJsonObject page = inboxPage();
        auto inbox = [&](const char *tag, const QString &path, const QJsonValue &value, bool accepted) {
            QTest::newRow(tag) << "inbox" << set(page, path, value) << accepted;
        };
        const QString request = "items/0/request/";
        const QString scheduling = "items/0/scheduling/";
        const QString clapper = QString::fromUcs4(U"\U0001F3AC");

        inbox("schemaVersion 2.0", "schemaVersion", 2.0, true);
        inbox("schemaVersion 3", "schemaVersion", 3, false);
        inbox("schemaVersion 1", "schemaVersion", 1, false);
        inbox("schemaVersion true", "schemaVersion", true, false);
        inbox("schemaVersion text", "schemaVersion", "2", false);
        inbox("operator in upper case", "operatorID", operatorID.toUpper(), true);
        inbox("another operator", "operatorID", uuidFor(77), false);
        inbox("operator in braces", "operatorID", "{" + operatorID + "}", false);
        inbox("time with fraction", "serverTime", "2024-05-01T10:00:00.250Z", true);
        inbox("time with offset", "serverTime", "2024-05-01T12:00:00+02:00", true);
        inbox("time without zone", "serverTime", "2024-05-01T10:00:00", false);
        inbox("bare date", "serverTime", "2024-05-01", false);
        inbox("space for T", "serverTime", "2024-05-01 08:30:00", false);
        inbox("time as number", "serverTime", 1714557600, false);
        inbox("revision 0", request + "revision", 0, true);
        inbox("revision -1", request + "revision", -1, false);
        inbox("revision fraction", request + "revision", 1.5, false);
        inbox("revision Boolean", request + "revision", true, false);
        inbox("revision text", request + "revision", "2", false);
        inbox("title 1000 units", request + "title", QString(1000, 'a'), true);
        inbox("title 1001 units", request + "title", QString(1001, 'a'), false);
        inbox("title 500 astral characters", request + "title", repeated(clapper, 500), true);
        inbox("title 500 astral characters and one", request + "title", repeated(clapper, 500) + "a", false);
        inbox("title of blanks", request + "title", " \n\t ", false);
        inbox("title empty", request + "title", "", false);
        inbox("title with NUL", request + "title", QString("Fi") + QChar(0) + "lm", false);
        inbox("name 250 astral characters", "items/0/company/name", repeated(clapper, 250), true);
        inbox("name 251 astral characters", "items/0/company/name", repeated(clapper, 251), false);
        inbox("contact of blanks", "items/0/company/contactName", "  ", false);
        inbox("access word in capitals", "items/0/company/metadataAccess", "Granted", false);
        inbox("manage flag as 1", "items/0/company/canManageMetadata", 1, false);
        inbox("fingerprint upper case", request + "source_fingerprint", QString(63, 'a') + "A", false);
        inbox("fingerprint 63 digits", request + "source_fingerprint", QString(63, 'a'), false);
        inbox("fingerprint 65 digits", request + "source_fingerprint", QString(65, 'a'), false);
        inbox("kind in capitals", request + "kind", "FilmEditing", false);
        inbox("kind script", request + "kind", "scriptDevelopment", true);
        inbox("status in capitals", request + "status", "Waiting", false);
        inbox("claimed_by malformed", request + "claimed_by", "nobody", false);
        inbox("claimed_at without zone", request + "claimed_at", "2024-05-01T10:00:00", false);
        inbox("company id in upper case", request + "company_id", companyID.toUpper(), true);
        inbox("another company", request + "company_id", uuidFor(5, 9), false);
        inbox("another film", request + "local_project_id", uuidFor(5, 9), false);
        inbox("stage 80 units", "items/0/film/stage", QString(80, 's'), true);
        inbox("stage 81 units", "items/0/film/stage", QString(81, 's'), false);
        inbox("tier in capitals", scheduling + "tier", "Low", false);
        inbox("low tier 8 hours", scheduling + "targetHours", 8, false);
        inbox("policy 2", scheduling + "policyVersion", 2, false);
        inbox("round 0", scheduling + "round", 0, false);
        inbox("unknown mode", scheduling + "submissionMode", "drone", false);
        inbox("unknown blocked reason", scheduling + "blockedReason", "holiday", false);
        inbox("due without zone", scheduling + "dueAt", "2024-05-01T10:00:00", false);
        inbox("claim flag as 1", scheduling + "canClaim", 1, false);
        inbox("items not a list", "items", QJsonObject(), false);
        inbox("items 50", "items", manyRows(50), true);
        inbox("items 51", "items", manyRows(51), false);

        QTest::newRow("middle tier 8 hours")
            << "inbox" << set(set(page, scheduling + "tier", "middle"), scheduling + "targetHours", 8) << true;
        QTest::newRow("middle tier 24 hours")
            << "inbox" << set(set(page, scheduling + "tier", "middle"), scheduling + "targetHours", 24) << false;
        const QJsonObject claimable = set(page, scheduling + "canClaim", true);
        QTest::newRow("claimable waiting task") << "inbox" << claimable << true;
        QTest::newRow("claimable active task")
            << "inbox" << set(claimable, request + "status", "active") << false;
        QTest::newRow("claimable but blocked")
            << "inbox" << set(claimable, scheduling + "blockedReason", "editor_busy") << false;
        QTest::newRow("closed task with any reason")
            << "inbox" << set(set(page, request + "status", "approved"), scheduling + "blockedReason", "editor_busy")
            << true;
        QTest::newRow("campaign without title")
            << "inbox" << set(page, "items/0/film/campaignID", uuidFor(1, 7)) << false;
        QTest::newRow("campaign with title")
            << "inbox"
            << set(set(page, "items/0/film/campaignID", uuidFor(1, 7)), "items/0/film/campaignTitle", "Sommer")
            << true;
        QTest::newRow("ids equal but for case")
            << "inbox" << set(page, "items/1/request/id", uuidFor(1, 1).toUpper()) << false;

        // The cursor names the last row of the page.
        const QJsonValue lastTime = valueAt(page, {"items", "1", "request", "submitted_at"});
        auto cursor = [&](const QJsonValue &time, const QString &id) {
            return set(page, "nextCursor", QJsonObject{{"submitted_at", time}, {"id", id}});
        };
        QTest::newRow("cursor at the last row") << "inbox" << cursor(lastTime, uuidFor(2, 1)) << true;
        QTest::newRow("cursor id in upper case") << "inbox" << cursor(lastTime, uuidFor(2, 1).toUpper()) << true;
        QTest::newRow("cursor at the first row")
            << "inbox" << cursor(valueAt(page, {"items", "0", "request", "submitted_at"}), uuidFor(1, 1)) << false;
        QTest::newRow("cursor time written otherwise")
            << "inbox" << cursor(lastTime.toString().replace("Z", ".000Z"), uuidFor(2, 1)) << false;
        QTest::newRow("cursor on an empty page")
            << "inbox" << set(cursor(lastTime, uuidFor(2, 1)), "items", QJsonArray()) << false;
        QTest::newRow("cursor time not a time") << "inbox" << cursor("yesterday", uuidFor(2, 1)) << false;

        // The proposed next row.
        auto next = [&](const QJsonObject &item, const QJsonValue &id) {
            return set(set(page, "nextItem", item), "nextRequestID", id);
        };
        const QJsonObject claimableNext = row(9, "waiting", true);
        QJsonObject mine = set(row(9, "changes_requested"), "request/claimed_by", operatorID.toUpper());
        QTest::newRow("next claimable") << "inbox" << next(claimableNext, uuidFor(9, 1).toUpper()) << true;
        QTest::newRow("next id without row") << "inbox" << set(page, "nextRequestID", uuidFor(9, 1)) << false;
        QTest::newRow("next row without id") << "inbox" << set(page, "nextItem", claimableNext) << false;
        QTest::newRow("next id of another row") << "inbox" << next(claimableNext, uuidFor(8, 1)) << false;
        QTest::newRow("next script task")
            << "inbox" << next(set(claimableNext, "request/kind", "scriptDevelopment"), uuidFor(9, 1)) << false;
        QTest::newRow("next queued task") << "inbox" << next(row(9), uuidFor(9, 1)) << false;
        QTest::newRow("next mine to start") << "inbox" << next(mine, uuidFor(9, 1)) << true;
        QTest::newRow("next mine already started")
            << "inbox" << next(set(mine, "scheduling/startedAt", "2024-05-02T08:00:00Z"), uuidFor(9, 1)) << false;
        QTest::newRow("next claimed by another")
            << "inbox" << next(set(mine, "request/claimed_by", uuidFor(3, 3)), uuidFor(9, 1)) << false;
        QTest::newRow("next row invalid")
            << "inbox" << next(set(claimableNext, "request/revision", -1), uuidFor(9, 1)) << false;

        const QJsonObject pipeline = pipelinePage();
        auto films = [](int count) {
            QJsonArray list;
            for (int i = 0; i < count; ++i)
                list.append(pipelineFilm(i + 1));
            return list;
        };
        QTest::newRow("pipeline of another company")
            << "pipeline" << set(pipeline, "company/id", uuidFor(4, 4)) << false;
        QTest::newRow("pipeline 50 films") << "pipeline" << set(pipeline, "films", films(50)) << true;
        QTest::newRow("pipeline 51 films") << "pipeline" << set(pipeline, "films", films(51)) << false;
        QTest::newRow("pipeline cursor at last film") << "pipeline" << set(pipeline, "nextCursor", uuidFor(2, 5)) << true;
        QTest::newRow("pipeline cursor at first film")
            << "pipeline" << set(pipeline, "nextCursor", uuidFor(1, 5)) << false;
        QTest::newRow("pipeline cursor without films")
            << "pipeline" << set(set(pipeline, "nextCursor", uuidFor(2, 5)), "films", QJsonArray()) << false;
        QTest::newRow("pipeline films twice")
            << "pipeline" << set(pipeline, "films/1/id", uuidFor(1, 5).toUpper()) << false;
        QTest::newRow("pipeline request without status")
            << "pipeline" << set(pipeline, "films/0/serviceStatus", QJsonValue::Null) << false;
        QTest::newRow("pipeline film without request")
            << "pipeline"
            << set(set(pipeline, "films/0/serviceStatus", QJsonValue::Null), "films/0/requestID", QJsonValue::Null)
            << true;
        QTest::newRow("pipeline status in capitals") << "pipeline" << set(pipeline, "films/0/serviceStatus", "Active")
                                                     << false;

        const QJsonObject mutation = mutationResult();
        QTest::newRow("mutation without row") << "mutation" << set(mutation, "item", QJsonValue::Null) << true;
        QTest::newRow("mutation replayed as 1") << "mutation" << set(mutation, "replayed", 1) << false;
        QTest::newRow("mutation of another operator") << "mutation" << set(mutation, "operatorID", uuidFor(6)) << false;
        QTest::newRow("mutation row invalid") << "mutation" << set(mutation, "item/company/name", "") << false;

        const QJsonObject metadata = metadataSettings();
        QTest::newRow("metadata company in upper case")
            << "metadata" << set(metadata, "companyID", companyID.toUpper()) << true;
        QTest::newRow("metadata another company") << "metadata" << set(metadata, "companyID", uuidFor(3)) << false;
        QTest::newRow("metadata company not a UUID") << "metadata" << set(metadata, "companyID", "acme") << false;
        QTest::newRow("metadata revision -1") << "metadata" << set(metadata, "revision", -1) << false;
        QTest::newRow("metadata schema 3") << "metadata" << set(metadata, "schemaVersion", 3) << false;
        QTest::newRow("metadata blank contact") << "metadata" << set(metadata, "contactName", " ") << false;
        QTest::newRow("metadata no contact") << "metadata" << set(metadata, "contactName", QJsonValue::Null) << true;
        QTest::newRow("metadata flag as text") << "metadata" << set(metadata, "allowPipeline", "true") << false;
    }

    void fieldRules()
    {
        QFETCH(QString, answer);
        QFETCH(QJsonObject, document);
        QFETCH(bool, accepted);
        QCOMPARE(run(answer, bytes(document)), accepted ? Outcome::accepted : Outcome::refused);
    }

    // The scheduling record's own decoder: optional members may be absent or
    // null, enumerations match their raw text exactly.
    void schedulingDecoding_data()
    {
        QTest::addColumn<QJsonObject>("scheduling");
        QTest::addColumn<bool>("decodes");
        const QJsonObject valid = row(1).value("scheduling").toObject();
        QJsonObject withoutEligible = valid;
        withoutEligible.remove("eligibleAt");
        QJsonObject withoutTier = valid;
        withoutTier.remove("tier");
        QTest::newRow("eligibleAt missing") << withoutEligible << true;
        QTest::newRow("eligibleAt null") << valid << true;
        QTest::newRow("tier missing") << withoutTier << false;
        QTest::newRow("tier Low") << set(valid, "tier", "Low") << false;
        QTest::newRow("blocked reason known") << set(valid, "blockedReason", "not_waiting") << true;
        QTest::newRow("blocked reason unknown") << set(valid, "blockedReason", "holiday") << false;
        QTest::newRow("due as number") << set(valid, "dueAt", 5) << false;
        QTest::newRow("claim flag as 1") << set(valid, "canClaim", 1) << false;
    }

    void schedulingDecoding()
    {
        QFETCH(QJsonObject, scheduling);
        QFETCH(bool, decodes);
        try {
            const SorvaneScheduling decoded = SorvaneScheduling::fromJson(JsonObjectReader(scheduling));
            QVERIFY(decodes);
            QCOMPARE(decoded.eligibleAt, std::optional<QString>());
            QCOMPARE(decoded.receivedAt, scheduling.value("receivedAt").toString());
        } catch (const DecodingError &) {
            QVERIFY(!decodes);
        }
    }

    void enumerationRawValues()
    {
        QStringList stages;
        for (SorvanePipelineStage stage : SorvanePipelineStages::allCases())
            stages.append(SorvanePipelineStages::rawValue(stage));
        QCOMPARE(stages, (QStringList{"development", "recording", "post", "review", "delivery"}));
        QCOMPARE(SorvanePipelineStages::stageFromRaw("post"), std::optional(SorvanePipelineStage::post));
        QVERIFY(!SorvanePipelineStages::stageFromRaw("Post"));
        QVERIFY(!SorvaneScheduling::submissionModeFromRaw("Interview"));
        QCOMPARE(SorvaneScheduling::submissionModeFromRaw("free_capture"),
                 std::optional(SorvaneScheduling::SubmissionMode::free_capture));
        QCOMPARE(SorvaneScheduling::rawValue(SorvaneScheduling::BlockedReason::editor_busy), QStringLiteral("editor_busy"));
    }

    void withoutExpectedOperatorAnyOperatorPasses()
    {
        const QByteArray other = bytes(set(inboxPage(), "operatorID", uuidFor(42)));
        QCOMPARE(SorvaneInboxWire::inbox(other, std::nullopt).operatorID, QUuid::fromString(uuidFor(42)));
        QVERIFY_THROWS_EXCEPTION(BridgeError, SorvaneInboxWire::inbox(other, expectedOperator));
    }

    void sizeLimits_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("inbox at the limit") << "inbox" << SorvaneInboxWire::answerLimit << true;
        QTest::newRow("inbox one over") << "inbox" << SorvaneInboxWire::answerLimit + 1 << false;
        QTest::newRow("pipeline one over") << "pipeline" << SorvaneInboxWire::answerLimit + 1 << false;
        QTest::newRow("mutation at the limit") << "mutation" << SorvaneInboxWire::answerLimit << true;
        QTest::newRow("metadata at the limit") << "metadata" << SorvaneInboxWire::metadataLimit << true;
        QTest::newRow("metadata one over") << "metadata" << SorvaneInboxWire::metadataLimit + 1 << false;
    }

    void sizeLimits()
    {
        QFETCH(QString, answer);
        QFETCH(qsizetype, size);
        QFETCH(bool, accepted);
        QByteArray document = bytes(validDocument(answer));
        document.append(QByteArray(size - document.size(), ' '));
        QCOMPARE(document.size(), size);
        QCOMPARE(run(answer, document), accepted ? Outcome::accepted : Outcome::refused);
    }

    void oversizedOutputIsRefusedBeforeParsing()
    {
        // Not JSON at all, yet the refusal is the verify sentence: no parse ran.
        const QByteArray junk(SorvaneInboxWire::answerLimit + 1, 'x');
        QCOMPARE(run("inbox", junk), Outcome::refused);
    }

    void outputThatIsNotJson_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("Traceback (most recent call last):");
        QTest::newRow("truncated") << bytes(inboxPage()).chopped(10);
        QTest::newRow("bare number") << QByteArray("2");
        QTest::newRow("trailing garbage") << bytes(inboxPage()) + "}";
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }

    void outputThatIsNotJson()
    {
        QFETCH(QByteArray, output);
        for (const char *answer : {"inbox", "metadata"})
            QCOMPARE(run(answer, output.left(SorvaneInboxWire::metadataLimit)), Outcome::parseError);
    }

    void duplicateKeysAreNotGuessed()
    {
        QByteArray document = bytes(metadataSettings());
        document.insert(1, "\"revision\":-1,");
        QVERIFY(run("metadata", document) != Outcome::accepted);
    }

    void keyListsIgnoreRepeatedSpaces()
    {
        const QJsonObject object{{"a", 1}, {"b", 2}};
        QCOMPARE(SorvaneInboxWire::object(object, u"  b  a "), object);
        QVERIFY_THROWS_EXCEPTION(BridgeError, SorvaneInboxWire::object(object, u"a"));
        QVERIFY_THROWS_EXCEPTION(BridgeError, SorvaneInboxWire::object(object, u"a b c"));
        QVERIFY_THROWS_EXCEPTION(BridgeError, SorvaneInboxWire::object(QJsonValue(), u""));
    }

    void integerBeyondSixtyFourBitsFailsInDecoding()
    {
        const QByteArray document = bytes(set(inboxPage(), "items/0/request/revision", 1e30));
        QCOMPARE(run("inbox", document), Outcome::parseError);
    }

    // The checks build the records from the values they read; the page must
    // come out exactly as the records' own decoders read the same document.
    void checkedPageEqualsDecodedPage_data()
    {
        QTest::addColumn<QJsonObject>("document");
        QTest::newRow("plain rows") << inboxPage(3);
        QJsonObject full = set(inboxPage(0), "items", QJsonArray{fullRow(1), row(2), fullRow(3)});
        full = set(full, "nextCursor",
                   QJsonObject{{"submitted_at", valueAt(full, {"items", "2", "request", "submitted_at"})},
                               {"id", uuidFor(3, 1)}});
        QJsonObject next = set(row(9, "active"), "request/claimed_by", operatorID);
        full = set(set(full, "nextItem", next), "nextRequestID", uuidFor(9, 1).toUpper());
        QTest::newRow("every optional member, cursor and next row") << full;
        QTest::newRow("empty page") << inboxPage(0);
    }

    void checkedPageEqualsDecodedPage()
    {
        QFETCH(QJsonObject, document);
        const SorvaneInboxPage checked = SorvaneInboxWire::inbox(bytes(document), expectedOperator);
        const SorvaneInboxPage decoded = SorvaneInboxPage::fromJson(JsonObjectReader(document));
        QCOMPARE(describe(checked), describe(decoded));

        const QJsonObject answer = set(mutationResult(), "item", fullRow(4));
        const SorvaneMutationResult mutation = SorvaneInboxWire::mutation(bytes(answer), expectedOperator);
        const SorvaneMutationResult reference = SorvaneMutationResult::fromJson(JsonObjectReader(answer));
        QVERIFY(mutation.item && reference.item);
        QCOMPARE(describe(*mutation.item), describe(*reference.item));
        QCOMPARE(mutation.serverTime, reference.serverTime);
        QCOMPARE(mutation.replayed, reference.replayed);
    }

    // Decoding follows the checks: a number too large for its record fails
    // the answer with the decoder's error only when no rule refuses it.
    void numbersTooLargeForTheRecord_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("outcome");
        const QJsonObject page = inboxPage(3);
        QTest::newRow("round beyond 64 bits") << "inbox" << bytes(set(page, "items/1/scheduling/round", 1e30))
                                              << int(Outcome::parseError);
        QTest::newRow("revision beyond 64 bits in the next row")
            << "inbox"
            << bytes(set(set(page, "nextItem", set(row(9, "waiting", true), "request/revision", 1e19)),
                         "nextRequestID", uuidFor(9, 1)))
            << int(Outcome::parseError);
        QTest::newRow("revision beyond 64 bits in a mutation")
            << "mutation" << bytes(set(mutationResult(), "item/request/revision", 1e30)) << int(Outcome::parseError);
        QTest::newRow("too large, then a refused row")
            << "inbox" << bytes(set(set(page, "items/0/request/revision", 1e30), "items/2/scheduling/round", 0))
            << int(Outcome::refused);
        QTest::newRow("too large, then a refused cursor")
            << "inbox"
            << bytes(set(set(page, "items/0/request/revision", 1e30), "nextCursor",
                         QJsonObject{{"submitted_at", "never"}, {"id", uuidFor(3, 1)}}))
            << int(Outcome::refused);
        QTest::newRow("too large in the next row, a cursor without rows")
            << "inbox"
            << bytes(set(set(set(inboxPage(0), "nextItem", set(row(9, "waiting", true), "request/revision", 1e19)),
                             "nextRequestID", uuidFor(9, 1)),
                         "nextCursor", QJsonObject{{"submitted_at", "2024-05-01T10:00:09Z"}, {"id", uuidFor(9, 1)}}))
            << int(Outcome::refused);
        QTest::newRow("too large, then duplicate ids")
            << "inbox" << bytes(set(set(page, "items/0/request/revision", 1e30), "items/2/request/id", uuidFor(2, 1)))
            << int(Outcome::parseError);
    }

    void numbersTooLargeForTheRecord()
    {
        QFETCH(QString, answer);
        QFETCH(QByteArray, document);
        QFETCH(int, outcome);
        QCOMPARE(int(run(answer, document)), outcome);
    }

    void largeExactIntegersKeepEveryDigit()
    {
        // Above 2^53 a double is no longer exact; the literal is.
        QByteArray document = bytes(inboxPage(1));
        document.replace("\"revision\":0", "\"revision\":9007199254740993");
        const SorvaneInboxPage page = SorvaneInboxWire::inbox(document, expectedOperator);
        QCOMPARE(page.items.at(0).request.revision, Q_INT64_C(9007199254740993));
    }

    // Inbox answers are read straight from their bytes: spellings a parsed
    // tree hides (escapes, surrogates, number forms, member order, white
    // space) must read as the records' own decoders read the tree, and what
    // the parser refuses fails with the parser's text wherever it lies.
    void bytesReadAsParsed_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("outcome");
        const QByteArray valid = bytes(inboxPage());
        const auto edit = [](QByteArray document, const char *from, const QByteArray &to) {
            const qsizetype at = document.indexOf(from);
            if (at < 0)
                qFatal("no %s in the document", from);
            return document.replace(at, qstrlen(from), to);
        };
        const auto title = [&](const QByteArray &text) { return edit(valid, "\"Film 1\"", '"' + text + '"'); };
        const auto revision = [&](const QByteArray &number) { return edit(valid, "\"revision\":0", "\"revision\":" + number); };
        const int accepted = int(Outcome::accepted), parseError = int(Outcome::parseError);

        QTest::newRow("key spelled with escapes") << edit(valid, "\"title\":", "\"\\u0074itl\\u0065\":") << accepted;
        QTest::newRow("same key twice, once escaped")
            << edit(valid, "\"title\":", "\"\\u0074itle\":\"x\",\"title\":") << parseError;
        QTest::newRow("same member twice in a row") << edit(valid, "\"film\":", "\"film\":null,\"film\":") << parseError;
        QTest::newRow("escaped surrogate pair") << title("Film \\ud83c\\udfac") << accepted;
        QTest::newRow("lone escaped surrogate") << title("Film \\udfac 1") << accepted;
        QTest::newRow("escapes of every kind") << title(R"(\"Film\"\\\/\b\f\n\r\t\u00e9)") << accepted;
        QTest::newRow("raw UTF-8 of two and four bytes") << title("Film \xC3\xA9 \xF0\x9F\x8E\xAC") << accepted;
        QTest::newRow("surrogate in raw UTF-8") << title("Film \xED\xA0\x80") << parseError;
        QTest::newRow("overlong UTF-8") << title("Film \xC0\xAF") << parseError;
        QTest::newRow("raw tab") << title("Film\t1") << parseError;
        QTest::newRow("unknown escape") << title("Film \\x") << parseError;
        QTest::newRow("short \\u escape") << title("Film \\u12") << parseError;
        QTest::newRow("deep nesting in a member")
            << edit(valid, "\"nextCursor\":null", "\"nextCursor\":" + QByteArray(2000, '[')) << parseError;
        QTest::newRow("refused early, malformed at the end")
            << edit(valid, "\"schemaVersion\":2", "\"schemaVersion\":3") + "x" << parseError;
        QTest::newRow("duplicate after a refusal")
            << edit(edit(valid, "\"schemaVersion\":2", "\"schemaVersion\":3"), "\"film\":", "\"film\":null,\"film\":")
            << parseError;
        QTest::newRow("revision 2.0e0") << revision("2.0e0") << accepted;
        QTest::newRow("revision -0") << revision("-0") << accepted;
        QTest::newRow("revision int64 max") << revision("9223372036854775807") << accepted;
        QTest::newRow("revision 2^63") << revision("9223372036854775808") << parseError;
        QTest::newRow("revision overflowing a double") << revision("1e400") << parseError;
        QTest::newRow("revision underflowing a double") << revision("1e-400") << parseError;
        QTest::newRow("revision 01") << revision("01") << parseError;
        QTest::newRow("members in another order")
            << edit(edit(valid, ",\"schemaVersion\":2", ""), "{\"items\":", "{\"schemaVersion\":2,\"items\":") << accepted;
        QTest::newRow("white space everywhere")
            << QJsonDocument(inboxPage()).toJson(QJsonDocument::Indented).replace("\n", "\r\n\t ") << accepted;
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + valid << parseError;
    }

    void bytesReadAsParsed()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, outcome);
        QCOMPARE(int(run("inbox", document)), outcome);
        if (outcome == int(Outcome::accepted)) {
            QCOMPARE(describe(SorvaneInboxWire::inbox(document, expectedOperator)),
                     describe(SorvaneInboxPage::fromJson(JsonObjectReader::parse(document))));
            return;
        }
        // The parser's own text, as if the answer had been parsed first.
        QString parsed;
        try {
            StrictJson::parse(document, {.refuseDuplicateKeys = true});
        } catch (const DecodingError &error) {
            parsed = error.message();
        }
        try {
            SorvaneInboxWire::inbox(document, expectedOperator);
        } catch (const DecodingError &error) {
            QCOMPARE(error.message(), parsed.isEmpty() ? error.message() : parsed);
        }
    }

    // Seeded mutations of valid answers: each mutation below makes the
    // document invalid, so nothing may be accepted; byte damage must only
    // ever end in one of the two documented failures.
    void fuzz_data()
    {
        QTest::addColumn<QString>("answer");
        for (const char *answer : {"inbox", "pipeline", "mutation", "metadata"})
            QTest::newRow(answer) << QString::fromLatin1(answer);
    }

    void fuzz()
    {
        QFETCH(QString, answer);
        QRandomGenerator random(0x5eed + answer.size());
        QJsonObject document = validDocument(answer);
        if (answer == u"inbox")
            document = set(set(document, "nextItem", row(9, "waiting", true)), "nextRequestID", uuidFor(9, 1));
        const QByteArray valid = bytes(document);

        QList<QStringList> leaves;
        std::function<void(const QJsonValue &, const QStringList &)> collect = [&](const QJsonValue &v,
                                                                                   const QStringList &path) {
            if (v.isObject()) {
                const QJsonObject o = v.toObject();
                for (auto it = o.begin(); it != o.end(); ++it)
                    collect(it.value(), path + QStringList{it.key()});
            } else if (v.isArray()) {
                const QJsonArray a = v.toArray();
                for (qsizetype i = 0; i < a.size(); ++i)
                    collect(a.at(i), path + QStringList{QString::number(i)});
            } else {
                leaves.append(path);
            }
        };
        collect(document, {});

        for (int round = 0; round < 1500; ++round) {
            const QStringList path = leaves.at(random.bounded(leaves.size()));
            const QJsonValue old = valueAt(document, path);
            QJsonValue wrong;
            if (old.isString())
                wrong = random.bounded(2) ? QJsonValue(random.bounded(100)) : QJsonValue(true);
            else if (old.isBool())
                wrong = QJsonValue(old.toBool() ? 1 : 0);
            else if (old.isDouble())
                wrong = random.bounded(2) ? QJsonValue(QString::number(old.toDouble())) : QJsonValue(old.toDouble() + 0.5);
            else
                wrong = QJsonValue(QJsonArray{});
            const QJsonObject mutated = random.bounded(4) == 0 ? withoutKey(document, path).toObject()
                                                               : withValue(document, path, wrong).toObject();
            QVERIFY2(run(answer, bytes(mutated)) == Outcome::refused, qPrintable(path.join('/')));
        }

        for (int round = 0; round < 1500; ++round) {
            QByteArray damaged = valid;
            for (int edits = 1 + random.bounded(4); edits > 0; --edits) {
                const int at = random.bounded(damaged.size());
                switch (random.bounded(3)) {
                case 0:
                    damaged[at] = char(random.bounded(256));
                    break;
                case 1:
                    damaged.remove(at, 1 + random.bounded(8));
                    break;
                default:
                    damaged.insert(at, "\"{[,:0");
                }
                if (damaged.isEmpty())
                    damaged = "{";
            }
            run(answer, damaged); // anything but a crash, a hang or another exception type
        }
    }
};

QTEST_GUILESS_MAIN(TestSorvaneInboxWire)
#include "tst_sorvaneinboxwire.moc"
