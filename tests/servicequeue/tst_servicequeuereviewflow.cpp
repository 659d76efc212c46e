// Review video and reactions against the stand-in through the real tool
// runner: a pulled film task's review video and reaction land verified in the
// project folder and play through the real media player, and so does a
// version the editor has just sent.
#include "servicequeuewindow.h"

#include "media/qtmediaplayer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtTest>

namespace {

constexpr int toolWait = 120000;

QString sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

class TestServiceQueueReviewFlow : public QObject, private ServiceQueueWindow
{
    Q_OBJECT

public:
    TestServiceQueueReviewFlow() : ServiceQueueWindow(toolWait) {}

private:
    QString inbox;

    // Through the real player: the first picture shows before Play, playing
    // moves the position and the pictures on, and a seek while paused lands
    // exactly where asked, still paused.
    void playsThrough(const QString &file, double seekSeconds)
    {
        QtMediaPlayer player(QUrl::fromLocalFile(file));
        QVideoSink sink;
        int frames = 0;
        connect(&sink, &QVideoSink::videoFrameChanged, this, [&frames](const QVideoFrame &frame) { frames += frame.isValid(); });
        player.setVideoOutput(&sink);
        QTRY_VERIFY_WITH_TIMEOUT(frames > 0, 20000);
        QVERIFY(!player.isPlaying());
        const int before = frames;
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 200, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(frames > before + 2, 20000);
        player.pause();
        player.seek(MediaTime::fromSeconds(seekSeconds));
        QTRY_COMPARE_WITH_TIMEOUT(player.position(), MediaTime::fromSeconds(seekSeconds).milliseconds(), 10000);
        QVERIFY(!player.isPlaying());
        QCOMPARE(player.failure(), MediaFailure::none);
    }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("en")); }
    void cleanupTestCase() { closeWindow(); }

    void reviewVideoAndReactionOfAPulledFilmTask()
    {
        if (!signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail)))
            return;
        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        const QString folder = standin.scratch(QStringLiteral("review"));
        QVERIFY(QDir().mkpath(folder));
        inbox = QFileInfo(folder).canonicalFilePath();
        editor->chooseStorage(QUrl::fromLocalFile(inbox));
        QVERIFY(waitIdle());
        model->list(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().listing(), qPrintable(failure()));

        // A film task whose first version the customer answered with changes and a reaction.
        const auto &rows = model->openedTask().listing()->requests;
        const auto row = std::find_if(rows.begin(), rows.end(), [](const ServiceReceipt &r) {
            return r.kind == ServiceKind::filmEditing && r.status == QStringLiteral("changes_requested");
        });
        QVERIFY(row != rows.end());
        const ServiceReceipt task = *row; // the listing is replaced as the task changes
        model->open(task, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().detail(), qPrintable(failure()));
        QVERIFY(standin.setScenario(QJsonObject{
            {"videoPending", QJsonObject{{"mode", "answer"}, {"json", QJsonObject{{"previews", QJsonArray()}}}}}}));
        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QVERIFY2(model->openedTask().download() && model->openedTask().download()->verified, qPrintable(failure()));

        const ServiceProposal proposal = model->openedTask().detail()->proposals.constFirst();
        model->downloadReviewVideo(proposal, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reviewVideo(), qPrintable(failure()));
        const QString review = model->review().reviewVideo()->file;
        QCOMPARE(review, inbox + QStringLiteral("/review-videos/%1/%2/review-v1.mp4").arg(task.id, proposal.id));
        QCOMPARE(sha256Of(review), proposal.content.video->sha256);
        QCOMPARE(editor->message(), QStringLiteral("Film version 1 is verified. Select Play or a feedback timestamp."));

        model->readReactions(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reactionHistoryLoaded() && model->review().reactions().size() == 1, qPrintable(failure()));
        model->pullReaction(model->review().reactions().constFirst(), *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reactionDownload(), qPrintable(failure()));
        const auto &reaction = *model->review().reactionDownload();
        const QString expected = inbox + QStringLiteral("/reaction-feedback/%1/%2/%3/reaction.mp4")
                                             .arg(task.id, reaction.selected.decisionID, reaction.selected.reactionID);
        QCOMPARE(reaction.checkedFile, expected);
        QVERIFY(QFileInfo(expected).size() > 0);
        QCOMPARE(reaction.annotations.size(), reaction.selected.annotationCount);

        // The review clip plays, and a paused exact seek lands where asked.
        playsThrough(review, 2.5);
        // The reaction plays, and an annotation's moment is where it pauses.
        playsThrough(reaction.checkedFile, reaction.annotations.constLast().reactionSeconds);
        if (QTest::currentTestFailed())
            return;

        // The editor answers the requested changes with a new cut: the version
        // just sent downloads for review verified against what was sent, and plays.
        model->videoDraft().setVideoFile(QUrl::fromLocalFile(standin.var() + QStringLiteral("/media/export-klip-2.mp4")));
        model->videoDraft().setVideoLabel(QStringLiteral("Klip 2"));
        model->videoDraft().setVideoSummary(QStringLiteral("Logoet kommer før."));
        model->prepareVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->videoDraft().videoPreview(), qPrintable(failure()));
        const VideoReviewPreview draft = *model->videoDraft().videoPreview();
        model->videoDraft().setVideoQC(true);
        model->sendVideo(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error() && model->videoDraft().confirmedVideoDelivery(), qPrintable(failure()));
        const auto sent = std::find_if(model->openedTask().detail()->proposals.begin(), model->openedTask().detail()->proposals.end(),
                                       [&](const ServiceProposal &p) { return p.id == draft.proposalID; });
        QVERIFY(sent != model->openedTask().detail()->proposals.end());
        model->downloadReviewVideo(*sent, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->review().reviewVideo(), qPrintable(failure()));
        QCOMPARE(model->review().reviewVideo()->proposalID, draft.proposalID);
        QCOMPARE(sha256Of(model->review().reviewVideo()->file), draft.content.video->sha256);
        playsThrough(model->review().reviewVideo()->file, 4.0);
    }
};

QTEST_MAIN(TestServiceQueueReviewFlow)
#include "tst_servicequeuereviewflow.moc"
