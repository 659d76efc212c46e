// Review video and reaction actions of the queue model against the fakes:
// guards, argument lists, the answer checks with the sentence shown, what a
// failure leaves in place, and staleness.
#include "taskfixtures.h"

#include "foundation/localization.h"

#include <QTemporaryDir>

using namespace TaskJson;

namespace {

const QString kTask = QStringLiteral("req-7");
const QString kReaction = QStringLiteral("5f0c0a52-6f1e-4c55-9d07-0c1b1d2e3f40");
const QString kAnnotation = QStringLiteral("a1a1a1a1-0000-4000-8000-000000000001");
const QString kHash = QString(64, QLatin1Char('c'));
const QString kOp = StrictFormats::canonicalUuid(kOperator);

QJsonObject video()
{
    return QJsonObject{{"source_export_id", "e1"}, {"bucket", "tf-reviews"}, {"object_key", "k/cut.mp4"},
                       {"sha256", kHash},      {"content_type", "video/mp4"}, {"editor_name", "Ed"},
                       {"byte_count", 10},     {"duration_seconds", 30.0},   {"editor_qc_confirmed", true}};
}

QJsonObject proposal(const QString &id, bool withVideo = true)
{
    QJsonObject content{{"schemaVersion", 1}, {"kind", "filmEditing"}, {"title", "T"}, {"body", "B"},
                        {"open_questions", QJsonArray()}, {"concept_options", QJsonArray()},
                        {"script_sections", QJsonArray()}, {"shots", QJsonArray()}, {"sources", QJsonArray()}};
    if (withVideo)
        content.insert("video", video());
    return QJsonObject{{"id", id}, {"version_number", 1}, {"content", content}, {"created_at", "x"}};
}

QJsonObject history(qint64 revision = 3, const QString &kind = "filmEditing")
{
    return QJsonObject{{"request", receipt(kTask, revision, companyText(1), kind)},
                       {"proposals", QJsonArray{proposal("p1"), proposal("p0", false)}},
                       {"decisions", QJsonArray{QJsonObject{{"id", "d1"}, {"proposal_id", "p1"},
                                                            {"decision", "request_changes"},
                                                            {"comment", "[0:02] x"}, {"created_at", "y"},
                                                            {"selected_option_id", QJsonValue::Null}}}}};
}

QJsonObject summary(const QString &decision = "d1", const QString &reaction = kReaction)
{
    return QJsonObject{{"id", reaction}, {"decisionID", decision}, {"proposalID", "p1"}, {"sourceSHA256", kHash},
                       {"mode", "selfie"}, {"proposalVersion", 1}, {"annotationCount", 1}, {"duration", 60.0}};
}

} // namespace

class TestServiceQueueReview : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }
    void init();
    void cleanup() { bench.reset(); }
    void guards_data();
    void guards();
    void reviewVideo_data();
    void reviewVideo();
    void reactionList_data();
    void reactionList();
    void reactionPull_data();
    void reactionPull();
    void staleAnswerIsDropped();

private:
    // The opened film task with a verified pull and, with `reactions`, its listed reaction.
    void openTask(const QString &kind = "filmEditing", bool reactions = false);
    ServiceProposal proposalRecord(const QString &id) const;

    std::unique_ptr<TaskBench> bench;
    QTemporaryDir dir;
    QString inbox;
};

void TestServiceQueueReview::init()
{
    bench = std::make_unique<TaskBench>();
    inbox = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/project");
    QDir().mkpath(inbox);
    bench->editor.m_inbox = QUrl::fromLocalFile(inbox);
    QVERIFY(bench->loadDirectory());
}

void TestServiceQueueReview::openTask(const QString &kind, bool reactions)
{
    auto &m = bench->model;
    const auto scope = m.scope(bench->editor);
    QVERIFY(scope);
    m.clearSelection();
    m.restoreSelection(ServiceQueueModel::selectionKey(*scope, kTask));
    m.openedTask().setDetail(ServiceDetail::fromJson(JsonObjectReader::parse(bytes(history(3, kind)))));
    m.openedTask().setDownload(ServiceDownload::fromJson(JsonObjectReader::parse(bytes(download(receipt(kTask, 3, companyText(1), kind))))));
    if (reactions)
        m.review().setReactions({ServiceReactionSummary::fromJson(JsonObjectReader::parse(bytes(summary())))});
}

ServiceProposal TestServiceQueueReview::proposalRecord(const QString &id) const
{
    for (const ServiceProposal &p : bench->model.openedTask().detail()->proposals)
        if (p.id == id)
            return p;
    return ServiceProposal::fromJson(JsonObjectReader::parse(bytes(proposal(id))));
}

void TestServiceQueueReview::guards_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("arguments"); // empty: nothing starts
    const QStringList head{"--expected-operator-id", kOp, "--credentials-file", "-", "--company", companyText(1)};
    QTest::newRow("review video") << "review" << "" << (head + QStringList{"review-pull", kTask, "--inbox", "INBOX", "--proposal-id", "p1"});
    QTest::newRow("review: proposal without video") << "review p0" << "" << QStringList();
    QTest::newRow("review: proposal not in the task") << "review p9" << "" << QStringList();
    QTest::newRow("review: writing task") << "review" << "writing" << QStringList();
    QTest::newRow("review: unverified pull") << "review" << "unverified" << QStringList();
    QTest::newRow("review: pull of another task") << "review" << "other pull" << QStringList();
    QTest::newRow("review: no project folder") << "review" << "no inbox" << QStringList();
    QTest::newRow("review: signed out") << "review" << "signed out" << QStringList();
    QTest::newRow("review: busy") << "review" << "busy" << QStringList();
    QTest::newRow("reactions") << "list" << "" << (head + QStringList{"feedback", kTask, "--inbox", "INBOX"});
    QTest::newRow("reactions of an unverified pull") << "list" << "unverified" << (head + QStringList{"feedback", kTask, "--inbox", "INBOX"});
    QTest::newRow("reactions: writing task") << "list" << "writing" << QStringList();
    QTest::newRow("reactions: nothing pulled") << "list" << "no pull" << QStringList();
    QTest::newRow("reaction") << "pull" << "" << (head + QStringList{"feedback-pull", kTask, "--inbox", "INBOX", "--decision-id", "d1", "--reaction-id", kReaction});
    QTest::newRow("reaction not listed") << "pull other" << "" << QStringList();
    QTest::newRow("reaction no longer matching the task") << "pull" << "decision moved" << QStringList();
}

void TestServiceQueueReview::guards()
{
    QFETCH(QString, action);
    QFETCH(QString, change);
    QFETCH(QStringList, arguments);
    openTask(change == "writing" ? "conceptDevelopment" : "filmEditing", true);
    auto &m = bench->model;
    auto &e = bench->editor;
    if (change == "unverified")
        m.openedTask().setDownload(ServiceDownload::fromJson(JsonObjectReader::parse(bytes(download(receipt(kTask), false)))));
    if (change == "other pull")
        m.openedTask().setDownload(ServiceDownload::fromJson(JsonObjectReader::parse(bytes(download(receipt("req-8"))))));
    if (change == "no pull")
        m.openedTask().setDownload(std::nullopt);
    if (change == "no inbox")
        e.m_inbox.reset();
    if (change == "signed out")
        e.m_credentials.reset();
    if (change == "busy")
        e.m_busy = QStringLiteral("other");
    if (change == "decision moved") {
        ServiceDetail d = *m.openedTask().detail();
        d.decisions[0].proposal_id = QStringLiteral("p0");
        m.openedTask().setDetail(d);
    }
    if (action.startsWith("review"))
        m.downloadReviewVideo(proposalRecord(action.size() > 6 ? action.mid(7) : QStringLiteral("p1")), e);
    else if (action == "list")
        m.readReactions(e);
    else
        m.pullReaction(ServiceReactionSummary::fromJson(JsonObjectReader::parse(
                           bytes(summary("d1", action == "pull" ? kReaction : kAnnotation)))),
                       e);
    QCoreApplication::processEvents();
    if (arguments.isEmpty()) {
        QVERIFY(bench->service.calls.size() == 1 && (change == "busy" || !e.m_busy));
        return;
    }
    QTRY_COMPARE(bench->service.calls.size(), 2);
    arguments.replaceInStrings("INBOX", inbox);
    QCOMPARE(bench->service.calls.at(1).command.arguments(), arguments);
}

void TestServiceQueueReview::reviewVideo_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("error");
    QTest::newRow("verified") << "" << "";
    QTest::newRow("newer history") << "revision 4" << "";
    QTest::newRow("older history") << "revision 2" << "The downloaded film does not match this task and version.";
    QTest::newRow("outside the project folder") << "outside" << "The downloaded film does not match this task and version.";
    QTest::newRow("tool failure") << "fail" << "Tool says no.";
}

void TestServiceQueueReview::reviewVideo()
{
    QFETCH(QString, change);
    QFETCH(QString, error);
    openTask();
    auto &m = bench->model;
    m.review().setReviewVideo(ServiceReviewVideoDownload{});
    const QString file = inbox + QStringLiteral("/review-videos/req-7/p1/cut.mp4");
    QJsonObject answer{{"companyID", companyText(1)}, {"requestID", kTask}, {"operatorID", kOp.toUpper()},
                       {"proposalID", "p1"}, {"sha256", kHash}, {"file", change == "outside" ? dir.path() + "/review-videos/req-7/p1/cut.mp4" : file},
                       {"proposalVersion", 1}, {"byteCount", 10}, {"duration", 30.0}, {"verified", true},
                       {"history", history(change.startsWith("revision") ? change.mid(9).toLongLong() : 3)}};
    m.downloadReviewVideo(proposalRecord("p1"), bench->editor);
    QCOMPARE(bench->editor.startedOperations.last(), QStringLiteral("Downloading and verifying this film version…"));
    QVERIFY(!m.review().reviewVideo()); // cleared when the operation starts
    if (change == "fail")
        QVERIFY(bench->fail(1, "Tool says no."));
    else
        QVERIFY(bench->answer(1, bytes(answer)));
    QVERIFY(bench->idle());
    QCOMPARE(bench->editor.m_error.value_or(QString()), error);
    QCOMPARE(bool(m.review().reviewVideo()), error.isEmpty());
    QCOMPARE(m.openedTask().detail()->request.revision, error.isEmpty() && change == "revision 4" ? 4 : 3);
    if (error.isEmpty()) {
        QCOMPARE(m.review().reviewVideo()->file, file);
        QCOMPARE(bench->editor.m_message.value_or(QString()),
                 QStringLiteral("Film version 1 is verified. Select Play or a feedback timestamp."));
    }
}

void TestServiceQueueReview::reactionList_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("as listed") << "" << true;
    QTest::newRow("500 reactions") << "count 500" << true;
    QTest::newRow("501 reactions") << "count 501" << false;
    QTest::newRow("revision one higher than shown") << "revision" << false;
    QTest::newRow("operator in upper case") << "operator upper" << true;
    QTest::newRow("another operator") << "operator other" << false;
    QTest::newRow("the same reaction twice") << "duplicate" << false;
    QTest::newRow("one reaction id under two decisions") << "two decisions" << true;
    QTest::newRow("a reaction of another film") << "hash" << false;
}

void TestServiceQueueReview::reactionList()
{
    QFETCH(QString, change);
    QFETCH(bool, accepted);
    openTask(QStringLiteral("filmEditing"), true);
    auto &m = bench->model;
    ServiceDetail d = *m.openedTask().detail();
    ServiceDecision second = d.decisions[0];
    second.id = QStringLiteral("d2");
    d.decisions << second;
    m.openedTask().setDetail(d);
    m.review().setReactionDownload(ServiceReactionDownload{});
    const auto before = m.review().reactions();

    QJsonArray reactions{summary()};
    if (change.startsWith("count ")) {
        reactions = {};
        for (int i = 0; i < change.mid(6).toInt(); ++i)
            reactions.append(summary("d1", QStringLiteral("5f0c0a52-6f1e-4c55-9d07-%1").arg(i, 12, 10, QLatin1Char('0'))));
    }
    if (change == "duplicate")
        reactions.append(summary());
    if (change == "two decisions")
        reactions.append(summary("d2"));
    if (change == "hash") {
        QJsonObject other = summary("d2");
        other.insert("sourceSHA256", QString(64, QLatin1Char('d')));
        reactions.append(other);
    }
    const QString op = change == "operator upper" ? kOp.toUpper()
        : change == "operator other"              ? QStringLiteral("22222222-2222-4222-8222-222222222222")
                                                  : kOp;
    m.readReactions(bench->editor);
    QVERIFY(bench->answer(1, bytes(QJsonObject{{"companyID", companyText(1)}, {"requestID", kTask}, {"operatorID", op},
                                               {"revision", change == "revision" ? 4 : 3}, {"reactions", reactions}})));
    QVERIFY(bench->idle());
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             accepted ? QString() : QStringLiteral("The reaction does not match the reviewed film version. Refresh the task and try again."));
    QCOMPARE(m.review().reactionHistoryLoaded(), accepted);
    QCOMPARE(bool(m.review().reactionDownload()), !accepted);
    QCOMPARE(m.review().reactions().size(), accepted ? reactions.size() : before.size());
}

void TestServiceQueueReview::reactionPull_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("verified") << "" << true;
    QTest::newRow("tool's verdict no") << "unverified" << false;
    QTest::newRow("revision one higher") << "revision" << false;
    QTest::newRow("another reaction") << "selected" << false;
    QTest::newRow("comment count differs") << "count" << false;
    QTest::newRow("comment after the reaction's end") << "late" << false;
    QTest::newRow("file in another reaction's folder") << "tail" << false;
    QTest::newRow("file outside the project folder") << "outside" << false;
}

void TestServiceQueueReview::reactionPull()
{
    QFETCH(QString, change);
    QFETCH(bool, accepted);
    openTask(QStringLiteral("filmEditing"), true);
    auto &m = bench->model;
    ServiceReactionDownload earlier;
    earlier.file = QStringLiteral("earlier");
    m.review().setReactionDownload(earlier);
    const QString tail = QStringLiteral("/reaction-feedback/req-7/d1/") + kReaction + QStringLiteral("/reaction.mp4");
    QString file = inbox + tail;
    if (change == "tail")
        file.replace(QStringLiteral("/d1/"), QStringLiteral("/d2/"));
    if (change == "outside")
        file = dir.path() + tail;
    QJsonObject selected = summary();
    if (change == "selected")
        selected.insert("id", kAnnotation);
    QJsonArray annotations{QJsonObject{{"id", kAnnotation}, {"text", "Here"}, {"sourceSeconds", 4.0},
                                       {"reactionSeconds", change == "late" ? 60.5 : 60.0}}};
    if (change == "count")
        annotations.append(annotations.first());
    m.pullReaction(m.review().reactions().first(), bench->editor);
    QCOMPARE(bench->editor.startedOperations.last(), QStringLiteral("Downloading and verifying the reaction…"));
    QVERIFY(bench->answer(1, bytes(QJsonObject{{"companyID", companyText(1)}, {"requestID", kTask}, {"operatorID", kOp},
                                               {"file", file}, {"revision", change == "revision" ? 4 : 3},
                                               {"selected", selected}, {"verified", change != "unverified"},
                                               {"annotations", annotations}})));
    QVERIFY(bench->idle());
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             accepted ? QString() : QStringLiteral("The downloaded reaction could not be verified against this task."));
    QVERIFY(m.review().reactionDownload());
    QCOMPARE(m.review().reactionDownload()->file, accepted ? file : QStringLiteral("earlier")); // a failure keeps the earlier one
    if (accepted)
        QCOMPARE(m.review().reactionDownload()->checkedFile, file);
}

void TestServiceQueueReview::staleAnswerIsDropped()
{
    openTask();
    auto &m = bench->model;
    m.readReactions(bench->editor);
    QTRY_COMPARE(bench->service.calls.size(), 2);
    m.selectCompany(companyId(2), bench->editor); // the answer now belongs to another company's task
    QVERIFY(bench->answer(1, bytes(QJsonObject{{"companyID", companyText(1)}, {"requestID", kTask}, {"operatorID", kOp},
                                               {"revision", 3}, {"reactions", QJsonArray{summary()}}})));
    QVERIFY(bench->idle());
    QVERIFY(!bench->editor.m_error && !bench->editor.m_message && !m.review().reactionHistoryLoaded());
}

QTEST_MAIN(TestServiceQueueReview)
#include "tst_servicequeuereview.moc"
