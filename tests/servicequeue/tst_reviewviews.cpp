// The review video view and the reaction player with a fake player: texts
// and identifiers, pause-then-seek, pausing when the window stops being
// active, players kept across refreshes (replaced once failed) and across
// minimising (the draft preview's too), and released when the view is left.
#include <QtTest>

#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "servicequeue/ui/review/servicereactionplayer.h"
#include "servicequeue/ui/review/servicereviewvideoview.h"
#include "servicequeue/ui/videos/videoreviewpreviewview.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

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

// A window holding `view` inside `depth` containers, the innermost in a
// scroll area as on the task screen (depth 0: the view is the window).
std::unique_ptr<QWidget> windowAround(QWidget *view, int depth)
{
    if (depth == 0)
        return std::unique_ptr<QWidget>(view);
    auto window = std::make_unique<QWidget>();
    QWidget *inner = window.get();
    for (int level = 1; level < depth; ++level) {
        auto *box = new QWidget;
        (new QVBoxLayout(inner))->addWidget(box);
        inner = box;
    }
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    (new QVBoxLayout(inner))->addWidget(scroll);
    auto *content = new QWidget;
    (new QVBoxLayout(content))->addWidget(view);
    scroll->setWidget(content);
    return window;
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
    void reviewVideoPausesWhenTheWindowIsLeft_data();
    void reviewVideoPausesWhenTheWindowIsLeft();
    void reactionPlayer();
    void minimisingKeepsThePlayer_data();
    void minimisingKeepsThePlayer();
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

void TestReviewViews::reviewVideoPausesWhenTheWindowIsLeft_data()
{
    QTest::addColumn<int>("depth");
    QTest::newRow("the view is the window") << 0;
    QTest::newRow("deep inside the window") << 4;
}

void TestReviewViews::reviewVideoPausesWhenTheWindowIsLeft()
{
    QFETCH(int, depth);
    FakePlayerFactory players;
    auto *view = new ServiceReviewVideoView(players.factory());
    const auto window = windowAround(view, depth);
    view->setContent(review("/project/a.mp4"), {});
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    players.last()->play();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTRY_VERIFY(!players.last()->isPlaying());
    QVERIFY(view->player()); // paused, not released
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

void TestReviewViews::minimisingKeepsThePlayer_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("pauses");
    QTest::addColumn<bool>("dropsWhenLeft");
    QTest::newRow("review video") << "review" << true << true;
    QTest::newRow("reaction") << "reaction" << false << true;
    QTest::newRow("draft preview") << "draft" << false << false;
}

// Minimising the window is no leaving: the player and its position stay (the
// review video pauses, as the window is no longer in use). Leaving the
// screen, a hide of the window's own, pauses the player or drops it, and
// coming back makes a new one.
void TestReviewViews::minimisingKeepsThePlayer()
{
    QFETCH(QString, kind);
    QFETCH(bool, pauses);
    QFETCH(bool, dropsWhenLeft);
    FakePlayerFactory players;
    QWidget *view = nullptr;
    std::function<MediaPlayer *()> player;
    if (kind == "reaction") {
        auto *reactionView = new ServiceReactionPlayer(players.factory());
        reactionView->setDownload(::reaction("r1", {}));
        player = [reactionView] { return reactionView->player(); };
        view = reactionView;
    } else if (kind == "draft") {
        auto *draftView = new VideoReviewPreviewView(players.factory());
        VideoReviewPreview draft;
        draft.proposalID = QStringLiteral("p1");
        draft.file = QStringLiteral("/drafts/p1.mp4");
        draftView->setPreview(draft);
        player = [draftView] { return draftView->player(); };
        view = draftView;
    } else {
        auto *reviewView = new ServiceReviewVideoView(players.factory());
        reviewView->setContent(review("/project/a.mp4"), {});
        player = [reviewView] { return reviewView->player(); };
        view = reviewView;
    }
    const auto window = windowAround(view, 3);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPointer<FakeMediaPlayer> first = players.last();
    QVERIFY(first && player() == first);
    first->seek(MediaTime::fromSeconds(42));
    first->play();

    window->setWindowState(Qt::WindowMinimized);
    QVERIFY(first);
    QCOMPARE(first->isPlaying(), !pauses);
    window->setWindowState(Qt::WindowNoState);
    QCOMPARE(players.made->size(), 1);
    QCOMPARE(player(), first);
    QCOMPARE(first->position(), qint64(42000));

    window->hide(); // leaving the screen
    QVERIFY(!first || !first->isPlaying());
    if (dropsWhenLeft)
        QVERIFY(!player() && players.made->first().isNull());
    window->show();
    QCOMPARE(players.made->size(), 2); // coming back makes a new one
    QCOMPARE(player(), players.last());
}

QTEST_MAIN(TestReviewViews)
#include "tst_reviewviews.moc"
