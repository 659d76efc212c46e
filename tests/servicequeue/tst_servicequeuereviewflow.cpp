// Review video and reactions against the stand-in through the real tool
// runner: a pulled film task's review video and reaction land verified in the
// project folder, and the review clip plays through the real media player.
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
        QVERIFY2(model->listing(), qPrintable(failure()));

        // A film task whose first version the customer answered with changes and a reaction.
        const auto &rows = model->listing()->requests;
        const auto row = std::find_if(rows.begin(), rows.end(), [](const ServiceReceipt &r) {
            return r.kind == ServiceKind::filmEditing && r.status == QStringLiteral("changes_requested");
        });
        QVERIFY(row != rows.end());
        const ServiceReceipt task = *row; // the listing is replaced as the task changes
        model->open(task, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->detail(), qPrintable(failure()));
        QVERIFY(standin.setScenario(QJsonObject{
            {"videoPending", QJsonObject{{"mode", "answer"}, {"json", QJsonObject{{"previews", QJsonArray()}}}}}}));
        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QVERIFY2(model->download() && model->download()->verified, qPrintable(failure()));

        const ServiceProposal proposal = model->detail()->proposals.constFirst();
        model->downloadReviewVideo(proposal, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->reviewVideo(), qPrintable(failure()));
        const QString review = model->reviewVideo()->file;
        QCOMPARE(review, inbox + QStringLiteral("/review-videos/%1/%2/review-v1.mp4").arg(task.id, proposal.id));
        QCOMPARE(sha256Of(review), proposal.content.video->sha256);
        QCOMPARE(editor->message(), QStringLiteral("Film version 1 is verified. Select Play or a feedback timestamp."));

        model->readReactions(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->reactionHistoryLoaded() && model->reactions().size() == 1, qPrintable(failure()));
        model->pullReaction(model->reactions().constFirst(), *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->reactionDownload(), qPrintable(failure()));
        const auto &reaction = *model->reactionDownload();
        const QString expected = inbox + QStringLiteral("/reaction-feedback/%1/%2/%3/reaction.mp4")
                                             .arg(task.id, reaction.selected.decisionID, reaction.selected.reactionID);
        QCOMPARE(reaction.checkedFile, expected);
        QVERIFY(QFileInfo(expected).size() > 0);
        QCOMPARE(reaction.annotations.size(), reaction.selected.annotationCount);

        // The review clip plays, and a paused exact seek lands where asked.
        QtMediaPlayer player(QUrl::fromLocalFile(review));
        QVideoSink sink;
        int frames = 0;
        connect(&sink, &QVideoSink::videoFrameChanged, this, [&frames](const QVideoFrame &frame) { frames += frame.isValid(); });
        player.setVideoOutput(&sink);
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 200, 20000);
        QVERIFY(frames > 0);
        player.pause();
        player.seek(MediaTime::fromSeconds(2.5));
        QTRY_COMPARE_WITH_TIMEOUT(player.position(), qint64(2500), 10000);
        QVERIFY(!player.isPlaying());
    }
};

QTEST_MAIN(TestServiceQueueReviewFlow)
#include "tst_servicequeuereviewflow.moc"
