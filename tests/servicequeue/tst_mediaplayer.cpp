// The seek resolution of the video views and the player surface's rules for
// attaching, replacing and detaching players.
#include <QtTest>

#include "fakemediaplayer.h"
#include "servicequeue/ui/sorvanevideoplayer.h"

class TestMediaPlayer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mediaTime_data();
    void mediaTime();
    void surfaceAttachReplaceDetach();
};

void TestMediaPlayer::mediaTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<qint64>("milliseconds");
    QTest::newRow("75.9 s") << 75.9 << qint64(45540) << qint64(75900);
    QTest::newRow("one frame at 24 fps") << 1.0 / 24 << qint64(25) << qint64(42);
    QTest::newRow("nearest step") << 0.0009 << qint64(1) << qint64(2);
    QTest::newRow("negative") << -1.5 << qint64(-900) << qint64(-1500);
    QTest::newRow("not a number") << qQNaN() << qint64(0) << qint64(0);
    QTest::newRow("infinite is clamped") << qInf() << qint64(600'000'000'000'000) << qint64(1'000'000'000'000'000);
}

void TestMediaPlayer::mediaTime()
{
    QFETCH(double, seconds);
    QFETCH(qint64, value);
    QFETCH(qint64, milliseconds);
    const MediaTime time = MediaTime::fromSeconds(seconds);
    QCOMPARE(time.value, value);
    QCOMPARE(time.milliseconds(), milliseconds);
}

void TestMediaPlayer::surfaceAttachReplaceDetach()
{
    FakeMediaPlayer first(QUrl::fromLocalFile("/a.mp4")), second(QUrl::fromLocalFile("/b.mp4"));
    auto surface = std::make_unique<SorvaneVideoPlayer>();
    surface->setPlayer(&first);
    first.play();
    surface->setPlayer(&first); // the same player: playback goes on
    QCOMPARE(first.calls, QStringList({"attach", "play"}));
    QCOMPARE(first.videoOutput(), surface->videoSurface());

    surface->setPlayer(&second); // the old one is paused before the new one shows
    QCOMPARE(first.calls, QStringList({"attach", "play", "pause", "detach"}));
    QCOMPARE(second.calls, QStringList({"attach"}));

    surface.reset(); // leaving the screen pauses and detaches
    QCOMPARE(second.calls, QStringList({"attach", "pause", "detach"}));
    QVERIFY(!second.videoOutput());
}

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
