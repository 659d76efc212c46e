// Video drafts against the stand-in service: a real export frozen as a draft
// by the local video tool, sent to the customer, and its stage following the
// customer's decision; a send whose receipt is lost stays unconfirmed until
// the same draft is sent again.
#include "servicequeuewindow.h"

#include <QtTest>

namespace {
constexpr int toolWait = 60000;
} // namespace

class TestServiceQueueVideoIntegration : public QObject, private ServiceQueueWindow
{
    Q_OBJECT

public:
    TestServiceQueueVideoIntegration() : ServiceQueueWindow(toolWait) {}

private:
    QTemporaryDir projects;

    // Signed in, the brewery chosen with a project folder and its tasks listed.
    void signInAndList()
    {
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
        if (!signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail)))
            return;

        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        QVERIFY(model->directory().selectedCompanyID());
        const QString folder = projects.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
        QVERIFY(QDir().mkpath(folder));
        editor->chooseStorage(QUrl::fromLocalFile(folder));
        QVERIFY(waitIdle()); // the new folder's packages are listed first
        QVERIFY(adapter->inbox());

        model->list(*adapter);
        QVERIFY(waitIdle());
        QVERIFY(model->openedTask().listing());
    }

    // The brewery's active film task opened and pulled.
    void openActiveFilmTask()
    {
        signInAndList();
        if (QTest::currentTestFailed())
            return;
        const QString me = model->directory().operatorID()->toString(QUuid::WithoutBraces);
        std::optional<ServiceReceipt> task;
        for (const ServiceReceipt &row : model->openedTask().listing()->requests)
            if (row.kind == ServiceKind::filmEditing && row.status == QStringLiteral("active") && row.claimed_by == me)
                task = row;
        QVERIFY(task);
        model->open(*task, *adapter);
        QVERIFY(waitIdle());
        QVERIFY(model->openedTask().detail());
        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(model->openedTask().download() && model->openedTask().download()->verified);
        QVERIFY(model->canPrepareVideo(*adapter));
    }

    void prepareDraft()
    {
        model->videoDraft().setVideoFile(QUrl::fromLocalFile(standin.var() + QStringLiteral("/media/export-klip-2.mp4")));
        model->videoDraft().setVideoLabel(QStringLiteral("Klip 2"));
        model->videoDraft().setVideoSummary(QStringLiteral("Logoet kommer før."));
        model->prepareVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(model->videoDraft().videoPreview());
        QVERIFY(QFileInfo(model->videoDraft().videoPreview()->file).isFile());
        QCOMPARE(model->videoStage(*model->videoDraft().videoPreview()), ServiceVideoStage::preparedLocally);
    }

    bool customer(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("python3"), QStringList{standin.toolsFolder() + QStringLiteral("/standin/customer.py"),
                                                             QStringLiteral("--tools-folder"), standin.toolsFolder()}
                                                     + arguments);
        return process.waitForFinished(toolWait) && process.exitCode() == 0;
    }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("da")); }
    void cleanupTestCase() { closeWindow(); }

    void aSentDraftFollowsTheCustomersDecision()
    {
        openActiveFilmTask();
        prepareDraft();
        const QString proposalID = model->videoDraft().videoPreview()->proposalID;
        model->refreshVideoPreviews(*adapter);
        QVERIFY(waitIdle());
        QCOMPARE(model->videoDraft().videoPreviews().size(), 1);

        model->videoDraft().setVideoQC(true);
        QCOMPARE(model->videoStage(*model->videoDraft().videoPreview()), ServiceVideoStage::reviewed);
        model->sendVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY2(editor->message()->startsWith(QStringLiteral("Videoudkast version 1 er modtaget · Hos kunden")),
                 qPrintable(*editor->message()));
        QVERIFY(!model->videoDraft().videoPreview() && model->videoDraft().videoPreviews().isEmpty() && model->videoDraft().uncertainVideoProposalIDs().isEmpty());
        QCOMPARE(model->videoDraft().confirmedVideoDelivery()->version, std::optional<qint64>(1));
        // The history was read again: the sent version is listed, not yet decided.
        QCOMPARE(model->openedTask().detail()->proposals.last().id, proposalID);
        QCOMPARE(VideoStage::history(model->openedTask().detail()->proposals.last(), model->openedTask().detail()->decisions),
                 ServiceVideoStage::sentForReview);

        QVERIFY(customer({QStringLiteral("decide"), model->openedTask().detail()->request.id, QStringLiteral("--proposal-id"),
                          proposalID, QStringLiteral("--decision"), QStringLiteral("request_changes")}));
        model->refreshHistory(*adapter);
        QVERIFY(waitIdle());
        QCOMPARE(VideoStage::history(model->openedTask().detail()->proposals.last(), model->openedTask().detail()->decisions),
                 ServiceVideoStage::changesRequested);
        QCOMPARE(model->openedTask().detail()->request.status, QStringLiteral("changes_requested"));
    }

    // The editor's whole way through a waiting film task, as the task detail
    // drives it: claim, fetch, working folder, video draft and send, then the
    // customer's decision with a recorded reaction, downloaded beside the task.
    void fromClaimToTheCustomersReaction()
    {
        signInAndList();
        if (QTest::currentTestFailed())
            return;
        const QString me = model->directory().operatorID()->toString(QUuid::WithoutBraces);
        std::optional<ServiceReceipt> task;
        for (const ServiceReceipt &row : model->openedTask().listing()->requests)
            if (row.kind == ServiceKind::filmEditing && row.status == QStringLiteral("waiting") && !row.claimed_by)
                task = row;
        QVERIFY(task);
        model->open(*task, *adapter);
        QVERIFY(waitIdle());
        model->claim(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(model->openedTask().detail()->request.claimed_by, std::optional(me));

        model->pull(*adapter, true); // the film envelope, as the embedded detail asks
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().download() && model->openedTask().download()->verified, qPrintable(editor->error().value_or(QString())));
        QVERIFY(QFileInfo(model->openedTask().download()->folder + QStringLiteral("/tavlon-package.json")).isFile());
        model->prepare(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->proposals().prepared(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(QFileInfo(model->proposals().prepared()->folder).isDir());

        prepareDraft();
        const QString proposalID = model->videoDraft().videoPreview()->proposalID;
        model->videoDraft().setVideoQC(true);
        model->sendVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        const QString inbox = adapter->inbox()->toLocalFile();
        QVERIFY(QFileInfo(QStringLiteral("%1/video-drafts/%2/%3/receipt.json").arg(inbox, task->id, proposalID)).isFile());

        QVERIFY(customer({QStringLiteral("decide"), task->id, QStringLiteral("--proposal-id"), proposalID,
                          QStringLiteral("--decision"), QStringLiteral("approve"), QStringLiteral("--comment"),
                          QStringLiteral("Perfekt."), QStringLiteral("--reaction")}));
        model->refreshHistory(*adapter);
        QVERIFY(waitIdle());
        const QList<ServiceDecision> decisions = model->openedTask().detail()->decisions;
        QCOMPARE(decisions.size(), 1);
        QCOMPARE(decisions[0].proposal_id, proposalID);
        QCOMPARE(decisions[0].comment, QStringLiteral("Perfekt."));
        QCOMPARE(model->openedTask().detail()->request.status, QStringLiteral("approved"));

        model->readReactions(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reactions().size() == 1, qPrintable(editor->error().value_or(QString())));
        const ServiceReactionSummary reaction = model->review().reactions().constFirst();
        QCOMPARE(reaction.decisionID, decisions[0].id);
        model->pullReaction(reaction, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reactionDownload(), qPrintable(editor->error().value_or(QString())));
        const QString folder = QStringLiteral("%1/reaction-feedback/%2/%3/%4")
                                   .arg(QFileInfo(inbox).canonicalFilePath(), task->id, reaction.decisionID,
                                        reaction.reactionID);
        QCOMPARE(model->review().reactionDownload()->checkedFile, folder + QStringLiteral("/reaction.mp4"));
        QVERIFY(QFileInfo(folder + QStringLiteral("/reaction.mp4")).size() > 0);
        QVERIFY(QFileInfo(folder + QStringLiteral("/annotations.json")).isFile());
        QCOMPARE(model->review().reactionDownload()->annotations.size(), reaction.annotationCount);
    }

    void aLostReceiptKeepsTheSendUnconfirmedUntilItIsRepeated()
    {
        openActiveFilmTask();
        prepareDraft();
        const VideoReviewPreview draft = *model->videoDraft().videoPreview();
        QVERIFY(standin.setScenario(QJsonObject{
            {QStringLiteral("videoSend"), QJsonObject{{QStringLiteral("mode"), QStringLiteral("unconfirmed")},
                                                      {QStringLiteral("times"), 1}}}}));
        model->videoDraft().setVideoQC(true);
        model->sendVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY(editor->error());
        QCOMPARE(model->videoStage(draft), ServiceVideoStage::sendUnconfirmed);

        model->checkVideoDelivery(draft, *adapter, false);
        QVERIFY(waitIdle());
        QCOMPARE(*editor->message(), QStringLiteral("Ingen lokal afsendelseskvittering. Gennemgå eller gentag netop "
                                                    "denne frosne version; klargør ikke en erstatning bare for at "
                                                    "sende igen."));
        QCOMPARE(model->videoStage(draft), ServiceVideoStage::sendUnconfirmed);

        // The service already holds the version: the draft is gone from the
        // pending list as soon as the task's history lists it.
        model->sendVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY2(editor->message()->contains(QStringLiteral("(tidligere afsendelse bekræftet)")),
                 qPrintable(*editor->message()));
        QVERIFY(model->videoDraft().uncertainVideoProposalIDs().isEmpty());
        standin.clearScenario();
    }
};

QTEST_GUILESS_MAIN(TestServiceQueueVideoIntegration)
#include "tst_servicequeuevideointegration.moc"
