// Video drafts, their stages, delivery receipts, the send and the project
// copies of the service queue model, against fakes of the editor and of the
// tool runner whose answers the test releases.
#include <QtTest>

#include "foundation/localization.h"
#include "videofixtures.h"

using namespace VideoFixtures;

namespace {

QJsonObject sentJson(const QString &proposalID, qint64 revision, qint64 version, bool replayed = false)
{
    return QJsonObject{{"request", receiptJson(revision, "review")},
                       {"proposalID", proposalID},
                       {"version", version},
                       {"replayed", replayed}};
}

QJsonObject statusJson(const QString &proposalID, const QString &state, std::optional<int> version, bool approved)
{
    QJsonObject status{{"proposalID", proposalID}, {"state", state}, {"customerApproved", approved}};
    if (version)
        status.insert("version", *version);
    return status;
}

// A decision history written as "proposal created_at id decision" per
// decision, decisions separated by ";".
QList<ServiceDecision> decisions(const QString &history)
{
    QList<ServiceDecision> list;
    for (const QString &entry : history.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = entry.split(QLatin1Char(' '));
        ServiceDecision d;
        d.proposal_id = f.at(0);
        d.created_at = f.at(1);
        d.id = f.at(2);
        d.decision = f.at(3);
        list.append(d);
    }
    return list;
}

} // namespace

class TestServiceQueueVideos : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init();
    void cleanup();

    void whoMayPrepare_data();
    void whoMayPrepare();
    void historyStage_data();
    void historyStage();
    void receiptMatching_data();
    void receiptMatching();
    void draftStage();
    void editsDropTheDraft_data();
    void editsDropTheDraft();
    void refreshFiltersAndRefuses_data();
    void refreshFiltersAndRefuses();
    void prepareKeepsOnlyAnAnswerForTheSentRevision_data();
    void prepareKeepsOnlyAnAnswerForTheSentRevision();
    void sendEnds_data();
    void sendEnds();
    void deliveryCheck_data();
    void deliveryCheck();
    void projectCopies_data();
    void projectCopies();

private:
    void openClaimedTask(qint64 revision = 4);
    int nextCall() const { return int(service->calls.size()); }

    std::unique_ptr<FakeEditor> editor;
    std::unique_ptr<FakeService> service;
    std::unique_ptr<ServiceQueueModel> model;
};

void TestServiceQueueVideos::init()
{
    editor = std::make_unique<FakeEditor>();
    service = std::make_unique<FakeService>();
    model = std::make_unique<ServiceQueueModel>(service->bridge());
}

void TestServiceQueueVideos::cleanup()
{
    model.reset();
    service->closeAll();
    QCoreApplication::processEvents();
    service.reset();
    editor.reset();
}

void TestServiceQueueVideos::openClaimedTask(qint64 revision)
{
    VideoFixtures::openClaimedTask(*model, *editor, *service, revision);
}

void TestServiceQueueVideos::whoMayPrepare_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("active, claimed by me, verified pull") << "" << true;
    QTest::newRow("changes requested") << "status changes_requested" << true;
    QTest::newRow("claimant in upper case") << "claimant upper" << true;
    QTest::newRow("pull's company in upper case") << "pull company upper" << true;
    QTest::newRow("in review") << "status review" << false;
    QTest::newRow("waiting") << "status waiting" << false;
    QTest::newRow("approved") << "status approved" << false;
    QTest::newRow("claimed by another editor") << "claimant other" << false;
    QTest::newRow("claimed by nobody") << "claimant none" << false;
    QTest::newRow("a writing task") << "kind" << false;
    QTest::newRow("pull not verified") << "unverified" << false;
    QTest::newRow("pull of another backup") << "pull backup" << false;
    QTest::newRow("pull of another fingerprint") << "pull fingerprint" << false;
    QTest::newRow("pull of another task") << "pull id" << false;
    QTest::newRow("company text changed") << "company text" << false;
}

void TestServiceQueueVideos::whoMayPrepare()
{
    QFETCH(QString, change);
    QFETCH(bool, allowed);
    openClaimedTask();
    ServiceDetail detail = *model->openedTask().detail();
    ServiceDownload download = *model->openedTask().download();
    const QString word = change.section(QLatin1Char(' '), -1);
    if (change.startsWith("status"))
        detail.request.status = word;
    else if (change == "claimant upper")
        detail.request.claimed_by = detail.request.claimed_by->toUpper();
    else if (change == "claimant other")
        detail.request.claimed_by = StrictFormats::canonicalUuid(kOtherOperator);
    else if (change == "claimant none")
        detail.request.claimed_by.reset();
    else if (change == "kind")
        detail.request.kind = ServiceKind::scriptDevelopment;
    else if (change == "unverified")
        download.verified = false;
    else if (change == "pull company upper")
        download.companyID = download.companyID.toUpper();
    else if (change == "pull backup")
        download.request.backup_id = "backup-2";
    else if (change == "pull fingerprint")
        download.request.source_fingerprint = "fingerprint-2";
    else if (change == "pull id")
        download.request.id = "other";
    else if (change == "company text")
        editor->m_company = StrictFormats::canonicalUuid(companyId(2));
    model->openedTask().setDetail(detail);
    model->openedTask().setDownload(download);
    QCOMPARE(model->canPrepareVideo(*editor), allowed);

    // A refused task never reaches the tool.
    model->videoDraft().setVideoFile(QUrl::fromLocalFile("/exports/klip.mp4"));
    const int before = nextCall();
    model->prepareVideo(*editor);
    QCOMPARE(nextCall() > before, allowed);
}

void TestServiceQueueVideos::historyStage_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<ServiceVideoStage>("stage");
    QTest::newRow("no decisions") << "" << ServiceVideoStage::sentForReview;
    QTest::newRow("only another proposal's") << "q 2026-03-05 d1 approve" << ServiceVideoStage::sentForReview;
    QTest::newRow("approved") << "p 2026-03-05 d1 approve" << ServiceVideoStage::approved;
    QTest::newRow("later day wins") << "p 2026-03-06 d1 request_changes;p 2026-03-05 d2 approve"
                                    << ServiceVideoStage::changesRequested;
    QTest::newRow("same time: greater id wins") << "p 2026-03-05 d2 approve;p 2026-03-05 d1 request_changes"
                                                << ServiceVideoStage::approved;
    QTest::newRow("equal pairs keep the first") << "p 2026-03-05 d1 approve;p 2026-03-05 d1 request_changes"
                                                << ServiceVideoStage::approved;
    QTest::newRow("unknown latest word after approval") << "p 2026-03-05 d1 approve;p 2026-03-06 d2 comment"
                                                        << ServiceVideoStage::sentForReview;
    // Compared as text: "2026-3-9" sorts after "2026-03-10".
    QTest::newRow("formats compared as text") << "p 2026-03-10 d1 approve;p 2026-3-9 d2 request_changes"
                                              << ServiceVideoStage::changesRequested;
}

void TestServiceQueueVideos::historyStage()
{
    QFETCH(QString, history);
    QFETCH(ServiceVideoStage, stage);
    ServiceProposal proposal;
    proposal.id = "p";
    QCOMPARE(VideoStage::history(proposal, decisions(history)), stage);
}

void TestServiceQueueVideos::receiptMatching_data()
{
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("version"); // -1: absent
    QTest::addColumn<bool>("approved");
    QTest::addColumn<bool>("matches");
    QTest::newRow("not sent, no version") << "p" << "notConfirmedLocally" << -1 << false << true;
    QTest::newRow("not sent with a version") << "p" << "notConfirmedLocally" << 3 << false << false;
    QTest::newRow("sent as version 2") << "p" << "sentForCustomerReview" << 2 << false << true;
    QTest::newRow("sent as version 0") << "p" << "sentForCustomerReview" << 0 << false << false;
    QTest::newRow("sent without a version") << "p" << "sentForCustomerReview" << -1 << false << false;
    QTest::newRow("approved by the customer") << "p" << "sentForCustomerReview" << 2 << true << false;
    QTest::newRow("another proposal") << "q" << "sentForCustomerReview" << 2 << false << false;
}

void TestServiceQueueVideos::receiptMatching()
{
    QFETCH(QString, proposal);
    QFETCH(QString, state);
    QFETCH(int, version);
    QFETCH(bool, approved);
    QFETCH(bool, matches);
    const auto status = VideoDeliveryStatus::decode(
        bytes(statusJson(proposal, state, version < 0 ? std::nullopt : std::optional<int>(version), approved)));
    QCOMPARE(status.matches("p"), matches);
}

void TestServiceQueueVideos::draftStage()
{
    const VideoReviewPreview draft = preview("p");
    QCOMPARE(model->videoStage(draft), ServiceVideoStage::preparedLocally);
    model->videoDraft().setVideoQC(true);
    QCOMPARE(model->videoStage(draft), ServiceVideoStage::reviewed);
    model->videoDraft().setUncertainVideoProposalIDs({"p"});
    QCOMPARE(model->videoStage(draft), ServiceVideoStage::sendUnconfirmed);
    model->videoDraft().setVideoSendingProposalID(QStringLiteral("p"));
    QCOMPARE(model->videoStage(draft), ServiceVideoStage::sending);
    QCOMPARE(model->videoStage(preview("other")), ServiceVideoStage::reviewed);
}

void TestServiceQueueVideos::editsDropTheDraft_data()
{
    QTest::addColumn<QString>("edit"); // the field the person edits, or "put back" for the model's own setter
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("a changed version name") << "label" << "Klip 2 v2" << true;
    QTest::newRow("the same version name") << "label" << "Klip 2" << false;
    QTest::newRow("a changed summary") << "summary" << "Logo før" << true;
    QTest::newRow("the same summary") << "summary" << "" << false;
    QTest::newRow("a changed editor's name") << "editor" << "Ida" << true;
    QTest::newRow("another file") << "file" << "/exports/klip-3.mp4" << true;
    QTest::newRow("the same file again") << "file" << "/exports/klip.mp4" << true;
    QTest::newRow("a name the model puts back") << "put back" << "Klip 3" << false;
}

void TestServiceQueueVideos::editsDropTheDraft()
{
    QFETCH(QString, edit);
    QFETCH(QString, value);
    QFETCH(bool, dropped);
    using Text = ServiceQueueModel::VideoText;
    model->videoDraft().setVideoFile(QUrl::fromLocalFile("/exports/klip.mp4"));
    model->videoDraft().setVideoLabel("Klip 2");
    model->videoDraft().setVideoPreview(preview("p"));
    model->videoDraft().setVideoQC(true);

    if (edit == "label")
        model->editVideoText(Text::label, value);
    else if (edit == "summary")
        model->editVideoText(Text::summary, value);
    else if (edit == "editor")
        model->editVideoText(Text::editor, value);
    else if (edit == "file")
        model->chooseVideoFile(QUrl::fromLocalFile(value));
    else
        model->videoDraft().setVideoLabel(value);

    const QString written = edit == "file"    ? model->videoDraft().videoFile().value_or(QUrl()).toLocalFile()
                            : edit == "summary" ? model->videoDraft().videoSummary()
                            : edit == "editor"  ? model->videoDraft().videoEditor()
                                                : model->videoDraft().videoLabel();
    QCOMPARE(written, value);
    QCOMPARE(!model->videoDraft().videoPreview(), dropped);
    QCOMPARE(!model->videoDraft().videoQC(), dropped);
}

void TestServiceQueueVideos::refreshFiltersAndRefuses_data()
{
    QTest::addColumn<QJsonArray>("answer");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("error");
    const QString mismatch = "Udkastene matcher ikke den valgte opgave.";
    QTest::newRow("sent proposals dropped, order kept")
        << QJsonArray{previewJson("new-2"), previewJson("sent"), previewJson("new-1")} << QStringList{"new-2", "new-1"}
        << QString();
    QTest::newRow("all already sent") << QJsonArray{previewJson("sent")} << QStringList() << QString();
    QTest::newRow("two drafts of one proposal") << QJsonArray{previewJson("a"), previewJson("a")}
                                                << QStringList{"kept"} << mismatch;
    QTest::newRow("a writing draft") << QJsonArray{previewJson("a"), previewJson("b", 4, kTask, "scriptDevelopment")}
                                     << QStringList{"kept"} << mismatch;
    QTest::newRow("another task's draft") << QJsonArray{previewJson("a", 4, "other")} << QStringList{"kept"}
                                          << mismatch;
}

void TestServiceQueueVideos::refreshFiltersAndRefuses()
{
    QFETCH(QJsonArray, answer);
    QFETCH(QStringList, listed);
    QFETCH(QString, error);
    openClaimedTask();
    model->videoDraft().setVideoPreviews({preview("kept")});
    model->videoDraft().setVideoQC(true);
    model->videoDraft().setVideoConfirmation(true);
    const int call = nextCall();
    model->refreshVideoPreviews(*editor);
    QCOMPARE(editor->m_busy, QStringLiteral("Henter klargjorte videoudkast…"));
    QCOMPARE(service->calls.at(call).command.arguments(),
             (QStringList{"pending", kTask, "--inbox", "/projects"}));
    // The service lists "sent" by the time the tool answers.
    ServiceProposal sent;
    sent.id = "sent";
    model->openedTask().setDetail(ServiceDetail{receipt(), {sent}, {}});
    service->answer(call, bytes(QJsonObject{{"previews", answer}}));
    QTRY_VERIFY(!editor->m_busy);
    QVERIFY(!model->videoDraft().videoQC() && !model->videoDraft().videoConfirmation());
    QStringList ids;
    for (const VideoReviewPreview &draft : model->videoDraft().videoPreviews())
        ids << draft.proposalID;
    QCOMPARE(ids, listed);
    QCOMPARE(editor->m_error.value_or(QString()), error);
    if (error.isEmpty())
        QCOMPARE(*editor->m_message, listed.isEmpty()
                                         ? QStringLiteral("Ingen nye videoudkast klar til gennemgang.")
                                         : QStringLiteral("Videoudkastene er klar. Åbn et udkast og gennemgå det "
                                                          "før afsendelse."));
}

void TestServiceQueueVideos::prepareKeepsOnlyAnAnswerForTheSentRevision_data()
{
    QTest::addColumn<qint64>("answerRevision");
    QTest::addColumn<qint64>("revisionMeanwhile");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QString>("error");
    QTest::newRow("answer for the sent revision") << qint64(4) << qint64(4) << true << QString();
    QTest::newRow("answer for another revision") << qint64(3) << qint64(4) << false
                                                 << "Udkastene matcher ikke den valgte opgave.";
    QTest::newRow("task revised while the tool ran") << qint64(4) << qint64(5) << false << QString();
}

void TestServiceQueueVideos::prepareKeepsOnlyAnAnswerForTheSentRevision()
{
    QFETCH(qint64, answerRevision);
    QFETCH(qint64, revisionMeanwhile);
    QFETCH(bool, kept);
    QFETCH(QString, error);
    openClaimedTask();
    model->prepareVideo(*editor);
    QVERIFY2(!editor->m_busy, "no exported video chosen");

    model->videoDraft().setVideoFile(QUrl::fromLocalFile("/exports/klip 2.mp4"));
    model->videoDraft().setVideoLabel("  Klip 2 ");
    model->videoDraft().setVideoSummary("Logo\nfør");
    model->videoDraft().setVideoQC(true);
    const int call = nextCall();
    model->prepareVideo(*editor);
    QCOMPARE(service->calls.at(call).command.arguments(),
             (QStringList{"prepare", kTask, "--inbox", "/projects", "--video", "/exports/klip 2.mp4", "--revision",
                          "4", "--label", "  Klip 2 ", "--summary", "Logo\nfør", "--editor", model->videoDraft().videoEditor()}));
    QVERIFY(!model->videoDraft().videoQC());
    if (revisionMeanwhile != 4) {
        ServiceDetail detail = *model->openedTask().detail();
        detail.request.revision = revisionMeanwhile;
        model->openedTask().setDetail(detail);
    }
    service->answer(call, bytes(previewJson("draft-1", answerRevision)));
    QTRY_VERIFY(!editor->m_busy);
    QCOMPARE(model->videoDraft().videoPreview().has_value(), kept);
    QCOMPARE(editor->m_error.value_or(QString()), error);
}

void TestServiceQueueVideos::sendEnds_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("error");
    const QString unconfirmed =
        "Afsendelsen kunne ikke bekræftes for denne opgave. Gentag det samme gennemgåede udkast.";
    const QString received = "Videoudkast version 2 er modtaget · Hos kunden · opgaverevision 5.";
    QTest::newRow("confirmed, history read") << "ok" << true << received << QString();
    QTest::newRow("a higher revision is accepted") << "higher" << true
                                                   << "Videoudkast version 2 er modtaget · Hos kunden · "
                                                      "opgaverevision 7." << QString();
    QTest::newRow("replayed") << "replayed" << true
                              << "Videoudkast version 2 er modtaget · Hos kunden · opgaverevision 5 (tidligere "
                                 "afsendelse bekræftet)." << QString();
    QTest::newRow("history not read") << "history fails" << true << received
                                      << "Opgavens seneste historik kunne ikke hentes. Videoudkastet er modtaget. "
                                         "Hent opgaven igen for at opdatere historikken.";
    QTest::newRow("tool fails") << "fail" << false << QString() << "Uploaden fejlede.";
    // Shown as the editor's own interruption notice, never as an error.
    QTest::newRow("answer lost: timed out") << "timeout" << false << "interrupted" << QString();
    QTest::newRow("cancelled") << "cancel" << false << QString() << QString();
    QTest::newRow("another proposal answered") << "other proposal" << false << QString() << unconfirmed;
    QTest::newRow("a lower revision") << "lower" << false << QString() << unconfirmed;
    QTest::newRow("version 0") << "version 0" << false << QString() << unconfirmed;
}

void TestServiceQueueVideos::sendEnds()
{
    QFETCH(QString, ending);
    QFETCH(bool, confirmed);
    QFETCH(QString, message);
    QFETCH(QString, error);
    openClaimedTask();
    model->videoDraft().setVideoPreview(preview("p"));
    model->videoDraft().setVideoPreviews({preview("o"), preview("p")});
    model->videoDraft().setVideoConfirmation(true);

    model->sendVideo(*editor);
    QVERIFY2(!editor->m_busy && model->videoDraft().videoConfirmation(), "unticked quality check");
    model->videoDraft().setVideoQC(true);
    const int call = nextCall();
    model->sendVideo(*editor);
    QVERIFY(!model->videoDraft().videoConfirmation());
    QCOMPARE(service->calls.at(call).command.kind(), BridgeCommand::Kind::videoSend);
    QCOMPARE(model->videoStage(preview("p")), ServiceVideoStage::sending);
    QCOMPARE(model->videoDraft().uncertainVideoProposalIDs(), QSet<QString>{"p"});

    if (ending == "fail")
        service->fail(call, std::make_exception_ptr(BridgeError::failed("Uploaden fejlede.")));
    else if (ending == "timeout")
        service->fail(call, std::make_exception_ptr(OperationCancelled()));
    else if (ending == "cancel")
        editor->cancel();
    else if (ending == "other proposal")
        service->answer(call, bytes(sentJson("q", 5, 2)));
    else if (ending == "lower")
        service->answer(call, bytes(sentJson("p", 3, 2)));
    else if (ending == "version 0")
        service->answer(call, bytes(sentJson("p", 5, 0)));
    else
        service->answer(call, bytes(sentJson("p", ending == "higher" ? 7 : 5, 2, ending == "replayed")));
    if (confirmed) {
        QTRY_COMPARE(service->calls.size(), call + 2);
        QCOMPARE(service->calls.at(call + 1).command.kind(), BridgeCommand::Kind::serviceHistory);
        // The task record of the answer is shown before the history is read.
        QCOMPARE(model->openedTask().detail()->request.status, QStringLiteral("review"));
        if (ending == "history fails")
            service->answer(call + 1, bytes(QJsonObject{{"request", receiptJson(1, "review")},
                                                        {"proposals", QJsonArray()},
                                                        {"decisions", QJsonArray()}}));
        else
            service->answer(call + 1, bytes(QJsonObject{{"request", receiptJson(ending == "higher" ? 7 : 5, "review")},
                                                        {"proposals", QJsonArray()},
                                                        {"decisions", QJsonArray()}}));
    }
    QTRY_VERIFY(!editor->m_busy);
    QTRY_VERIFY(!model->videoDraft().videoSendingProposalID());
    QCOMPARE(model->videoDraft().uncertainVideoProposalIDs().contains("p"), !confirmed);
    QCOMPARE(model->videoDraft().videoPreview().has_value(), !confirmed);
    QCOMPARE(model->videoDraft().videoQC(), !confirmed);
    QCOMPARE(model->videoDraft().videoPreviews().size(), confirmed ? 1 : 2);
    QCOMPARE(model->videoDraft().confirmedVideoDelivery().has_value(), confirmed);
    if (confirmed) {
        QCOMPARE(model->videoDraft().confirmedVideoDelivery()->version, std::optional<qint64>(2));
        QCOMPARE(model->videoStage(preview("p")), ServiceVideoStage::preparedLocally);
    } else {
        QCOMPARE(model->videoStage(preview("p")), ServiceVideoStage::sendUnconfirmed);
    }
    QCOMPARE(editor->m_message.value_or(QString()), message);
    QCOMPARE(editor->m_error.value_or(QString()), error);
}

void TestServiceQueueVideos::deliveryCheck_data()
{
    QTest::addColumn<QString>("checked");
    QTest::addColumn<bool>("reopen");
    QTest::addColumn<QJsonObject>("status");
    QTest::addColumn<QString>("underReview"); // empty: none
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("stillUncertain");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("error");
    QTest::newRow("no receipt, reopened")
        << "o" << true << statusJson("o", "notConfirmedLocally", {}, false) << "o" << QStringList{"o", "p"} << true
        << false << QString();
    QTest::newRow("no receipt, draft under review kept")
        << "o" << false << statusJson("o", "notConfirmedLocally", {}, false) << "p" << QStringList{"o", "p"} << true
        << true << QString();
    QTest::newRow("sent: the draft under review leaves")
        << "p" << false << statusJson("p", "sentForCustomerReview", 3, false) << "" << QStringList{"o"} << true
        << false << QString();
    QTest::newRow("sent: another draft leaves the list only")
        << "o" << true << statusJson("o", "sentForCustomerReview", 3, false) << "p" << QStringList{"p"} << false
        << true << QString();
    QTest::newRow("approved receipt refused")
        << "o" << true << statusJson("o", "sentForCustomerReview", 3, true) << "p" << QStringList{"o", "p"} << true
        << true << "Afsendelsen kunne ikke bekræftes for denne opgave. Gentag det samme gennemgåede udkast.";
}

void TestServiceQueueVideos::deliveryCheck()
{
    QFETCH(QString, checked);
    QFETCH(bool, reopen);
    QFETCH(QJsonObject, status);
    QFETCH(QString, underReview);
    QFETCH(QStringList, listed);
    QFETCH(bool, stillUncertain);
    QFETCH(bool, tick);
    QFETCH(QString, error);
    openClaimedTask();
    model->videoDraft().setVideoPreview(preview("p"));
    model->videoDraft().setVideoPreviews({preview("o"), preview("p")});
    model->videoDraft().setUncertainVideoProposalIDs({"o"});
    model->videoDraft().setVideoQC(true);
    model->videoDraft().setVideoConfirmation(true);
    const int call = nextCall();
    model->checkVideoDelivery(preview(checked), *editor, reopen);
    QCOMPARE(service->calls.at(call).command.arguments(),
             (QStringList{"status", kTask, "--inbox", "/projects", "--proposal-id", checked}));
    service->answer(call, bytes(status));
    QTRY_VERIFY(!editor->m_busy);

    QCOMPARE(model->videoDraft().videoPreview() ? model->videoDraft().videoPreview()->proposalID : QString(), underReview);
    QStringList ids;
    for (const VideoReviewPreview &draft : model->videoDraft().videoPreviews())
        ids << draft.proposalID;
    QCOMPARE(ids, listed);
    QCOMPARE(model->videoDraft().uncertainVideoProposalIDs().contains("o"), stillUncertain);
    QCOMPARE(editor->m_error.value_or(QString()), error);
    // A refused receipt changes nothing; an accepted one clears the pending send confirmation.
    QCOMPARE(model->videoDraft().videoConfirmation(), !error.isEmpty());
    QCOMPARE(model->videoDraft().videoQC(), tick);
    QCOMPARE(model->videoDraft().confirmedVideoDelivery().has_value(), status["state"] == "sentForCustomerReview" && error.isEmpty());
}

void TestServiceQueueVideos::projectCopies_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QStringList>("copies"); // snapshot ids afterwards
    QTest::addColumn<QStringList>("automatic");
    QTest::addColumn<QString>("error");
    const QString mismatch = "Projektkopien matcher ikke videoversionen.";
    const QString notCleared = "Projektvalget kunne ikke opdateres. Hent det igen.";
    // Before each row: copies s1, s2 of draft "p" and the automatic project "Gammel".
    QTest::newRow("list")
        << "list" << QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray{copyJson("s3", "p")}},
                                 {"automaticProjects", QJsonArray{"Ny"}}, {"requiresExplicitSelection", true}}
        << QStringList{"s3"} << QStringList{"Ny"} << QString();
    QTest::newRow("list with another version's copy")
        << "list" << QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray{copyJson("s3", "p"), copyJson("s4", "q")}}}
        << QStringList() << QStringList() << mismatch;
    QTest::newRow("turn off")
        << "clear" << QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray{copyJson("s1", "p")}},
                                  {"automaticProjects", QJsonArray()}}
        << QStringList{"s1"} << QStringList() << QString();
    QTest::newRow("turn off unconfirmed: names absent")
        << "clear" << QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray()}} << QStringList{"s1", "s2"}
        << QStringList{"Gammel"} << notCleared;
    QTest::newRow("turn off unconfirmed: a name left")
        << "clear" << QJsonObject{{"proposalID", "p"}, {"versions", QJsonArray()}, {"automaticProjects", QJsonArray{"X"}}}
        << QStringList{"s1", "s2"} << QStringList{"Gammel"} << notCleared;
    QTest::newRow("same snapshot again moves last") << "preserve" << copyJson("s1", "p") << QStringList{"s2", "s1"}
                                                    << QStringList{"Gammel"} << QString();
    QTest::newRow("copy names the projects") << "preserve" << copyJson("s5", "p", 1, QStringList{"A", "B"})
                                             << QStringList{"s1", "s2", "s5"} << QStringList{"A", "B"} << QString();
    QTest::newRow("copy of another version refused") << "preserve" << copyJson("s5", "q") << QStringList{"s1", "s2"}
                                                     << QStringList{"Gammel"} << mismatch;
    QTest::newRow("copies of another version replaced") << "preserve other" << copyJson("s5", "p")
                                                        << QStringList{"s5"} << QStringList{"Gammel"} << QString();
}

void TestServiceQueueVideos::projectCopies()
{
    QFETCH(QString, action);
    QFETCH(QJsonObject, answer);
    QFETCH(QStringList, copies);
    QFETCH(QStringList, automatic);
    QFETCH(QString, error);
    openClaimedTask();
    model->videoDraft().setVideoPreview(preview("p"));
    model->projectCopies().setProjectVersions({copy("s1", "p"), copy("s2", "p")});
    model->projectCopies().setProjectVersionsProposalID(action == "preserve other" ? QStringLiteral("q") : QStringLiteral("p"));
    model->projectCopies().setAutomaticProjectNames({"Gammel"});
    model->projectCopies().setRequiresProjectSelection(true);
    model->projectCopies().setRememberEditorProject(action != "preserve other");

    const int call = nextCall();
    if (action == "list")
        model->readProjectVersions(*editor, "p");
    else if (action == "clear")
        model->clearProjectRegistration(*editor, "p");
    else
        model->preserveProject(*editor, QUrl::fromLocalFile("/film/Sommer.drp"));
    const QStringList arguments = service->calls.at(call).command.arguments();
    if (action.startsWith("preserve"))
        QCOMPARE(arguments.contains("--remember-project"), action == "preserve");
    service->answer(call, bytes(answer));
    QTRY_VERIFY(!editor->m_busy);

    QStringList ids;
    for (const NativeProjectVersion &kept : model->projectCopies().projectVersions())
        ids << kept.snapshotID;
    QCOMPARE(ids, copies);
    QCOMPARE(model->projectCopies().automaticProjectNames(), automatic);
    QCOMPARE(editor->m_error.value_or(QString()), error);
    if (error.isEmpty()) {
        QCOMPARE(model->projectCopies().projectVersionsProposalID(), std::optional<QString>("p"));
        QCOMPARE(model->projectCopies().requiresProjectSelection(), action == "list");
        QCOMPARE(model->projectCopies().rememberEditorProject(), action != "clear" && action != "preserve other");
    }
    if (action == "preserve" && error.isEmpty())
        QCOMPARE(*editor->m_message, QStringLiteral("Projektversionen er bevaret lokalt. Medier og genåbning skal "
                                                    "kontrolleres i editoren."));
}

QTEST_GUILESS_MAIN(TestServiceQueueVideos)
#include "tst_servicequeuevideos.moc"
