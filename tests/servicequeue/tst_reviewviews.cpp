// The review video view and the reaction player with a fake player: texts
// and identifiers, pause-then-seek, pausing when the window stops being
// active, players kept across refreshes (replaced once failed) and released
// when hidden.
#include <QtTest>

#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "servicequeue/ui/review/servicereactionplayer.h"
#include "servicequeue/ui/review/servicereviewvideoview.h"

#include <QLabel>
#include <QPushButton>

namespace {

ServiceDecision decision(const QString &id, const QString &proposal, const QString &comment)
{
    ServiceDecision d;
    d.id = id;
    d.proposal_id = proposal;
    d.comment = comment;
    return d;
}

ServiceReviewVideoDownload review(const QString &file)
{
    ServiceReviewVideoDownload d;
    d.proposalID = QStringLiteral("p2");
    d.proposalVersion = 2;
    d.duration = 200;
    d.file = file;
    return d;
}

ServiceReactionDownload reaction(const QString &reactionID, QList<ServiceReactionDownload::Annotation> annotations)
{
    ServiceReactionDownload d;
    d.selected.decisionID = QStringLiteral("d1");
    d.selected.reactionID = reactionID;
    d.file = QStringLiteral("/project/link/../reaction-feedback/") + reactionID + QStringLiteral("/reaction.mp4");
    d.checkedFile = QStringLiteral("/project/reaction-feedback/") + reactionID + QStringLiteral("/reaction.mp4");
    d.annotations = std::move(annotations);
    return d;
}

QStringList texts(const QWidget *row)
{
    QStringList lines;
    for (const QLabel *label : row->findChildren<QLabel *>())
        lines << label->text();
    return lines;
}

} // namespace

class TestReviewViews : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }
    void reviewVideoView();
    void reviewVideoPausesWhenTheWindowIsLeft();
    void reactionPlayer();
};

void TestReviewViews::reviewVideoView()
{
    FakePlayerFactory players;
    ServiceReviewVideoView view(players.factory());
    const QList<ServiceDecision> decisions{decision("d1", "p2", "Nice\n[01:15] Cut earlier\n[0:07]"),
                                           decision("d0", "p1", "[0:03] Older version")};
    view.setContent(review("/project/a.mp4"), decisions);
    QCOMPARE(view.findChild<QLabel *>("service.review.title")->text(), QStringLiteral("Verified film version 2"));
    auto *cut = view.findChild<QPushButton *>("service.review.timestamp.d1.5");
    auto *empty = view.findChild<QPushButton *>("service.review.timestamp.d1.25");
    QVERIFY(cut && empty);
    QCOMPARE(texts(cut), QStringList{"01:15 · Cut earlier"});
    QCOMPARE(texts(empty), QStringList{"00:07 · "});
    QCOMPARE(view.findChildren<QPushButton *>(QRegularExpression("^service\\.review\\.timestamp\\.")).size(), 2);

    cut->click(); // no player before the view is shown: nothing happens
    QVERIFY(!view.player());

    view.show();
    auto *first = players.last();
    QVERIFY(first && first->source() == QUrl::fromLocalFile("/project/a.mp4"));
    first->play();
    cut->click();
    QCOMPARE(first->calls.mid(first->calls.size() - 2), QStringList({"pause", "seek 45000"}));
    QVERIFY(!first->isPlaying());

    view.setContent(review("/project/a.mp4"), decisions); // a refresh keeps the player and its buttons
    QCOMPARE(players.made->size(), 1);
    QCOMPARE(view.findChild<QPushButton *>("service.review.timestamp.d1.5"), cut);

    first->play();
    bool paused = false;
    connect(first, &MediaPlayer::playingChanged, this, [&paused](bool playing) { paused = !playing; });
    view.setContent(review("/project/b.mp4"), {});
    QVERIFY(paused && players.made->first().isNull()); // paused, then dropped
    QCOMPARE(players.made->size(), 2);
    QCOMPARE(players.last()->source(), QUrl::fromLocalFile("/project/b.mp4"));
    QVERIFY(view.findChildren<QPushButton *>().isEmpty() || !view.findChild<QPushButton *>("service.review.timestamp.d1.5"));

    view.hide(); // leaving the screen drops the player
    QVERIFY(!view.player());
    QVERIFY(players.made->last().isNull());
}

void TestReviewViews::reviewVideoPausesWhenTheWindowIsLeft()
{
    FakePlayerFactory players;
    ServiceReviewVideoView view(players.factory());
    view.setContent(review("/project/a.mp4"), {});
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    players.last()->play();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTRY_VERIFY(!players.last()->isPlaying());
    QVERIFY(view.player()); // paused, not released
}

void TestReviewViews::reactionPlayer()
{
    FakePlayerFactory players;
    ServiceReactionPlayer view(players.factory());
    const QString id1 = QStringLiteral("a1a1a1a1-0000-4000-8000-000000000001");
    const QString id2 = QStringLiteral("a1a1a1a1-0000-4000-8000-000000000002");
    view.setDownload(reaction("r1", {{id1, "Again", 3725, 75.9}, {id2, "Again", 1e300, 0}}));
    view.show();
    auto *first = players.last();
    QVERIFY(first);
    QCOMPARE(first->source(), QUrl::fromLocalFile("/project/reaction-feedback/r1/reaction.mp4")); // the checked path

    auto *row = view.findChild<QPushButton *>("service.reaction.annotation.d1.r1." + id1);
    auto *twin = view.findChild<QPushButton *>("service.reaction.annotation.d1.r1." + id2);
    QVERIFY(row && twin && row != twin);
    QCOMPARE(texts(row), QStringList({"Again", "Film 62:05 · reaction 01:15"}));
    QCOMPARE(texts(twin), QStringList({"Again", "Film 16666666666666:40 · reaction 00:00"}));
    first->play();
    row->click();
    QCOMPARE(first->calls.mid(first->calls.size() - 2), QStringList({"pause", "seek 45540"}));
    QCOMPARE(first->seeks.last().milliseconds(), qint64(75900));

    view.setDownload(reaction("r1", {{id1, "Again", 3725, 75.9}, {id2, "Again", 1e300, 0}}));
    QCOMPARE(players.made->size(), 1);
    QCOMPARE(view.findChild<QPushButton *>("service.reaction.annotation.d1.r1." + id1), row);

    // Asking again for the reaction whose player failed tries it anew.
    first->fail(MediaFailure::damaged);
    view.setDownload(reaction("r1", {{id1, "Again", 3725, 75.9}, {id2, "Again", 1e300, 0}}));
    QCOMPARE(players.made->size(), 2);
    QVERIFY(players.made->first().isNull());
    auto *retry = players.last();
    QCOMPARE(view.player(), retry);
    QCOMPARE(retry->source(), QUrl::fromLocalFile("/project/reaction-feedback/r1/reaction.mp4"));
    QCOMPARE(retry->failure(), MediaFailure::none);

    bool paused = false;
    connect(retry, &MediaPlayer::playingChanged, this, [&paused](bool playing) { paused = !playing; });
    retry->play();
    view.setDownload(reaction("r2", {}));
    QVERIFY(paused && players.made->at(1).isNull());
    QCOMPARE(players.made->size(), 3);
    QVERIFY(view.findChildren<QPushButton *>(QRegularExpression("^service\\.reaction\\.annotation\\.")).isEmpty());
    view.hide();
    QVERIFY(!view.player() && players.made->last().isNull());
}

QTEST_MAIN(TestReviewViews)
#include "tst_reviewviews.moc"
