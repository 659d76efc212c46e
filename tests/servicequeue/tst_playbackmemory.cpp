// The media player hands freed memory back to the system once its last
// player is gone, and not while another one still plays; and again when a
// surface a player drew into goes after the last player.
#include "media/playbackmemory.h"
#include "media/qtmediaplayer.h"

#include <QPointer>
#include <QThreadPool>
#include <QVideoSink>
#include <QtTest>

class TestPlaybackMemory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void handedBackWhenTheLastPlayerGoes();
};

void TestPlaybackMemory::handedBackWhenTheLastPlayerGoes()
{
    QCOMPARE(PlaybackMemory::livePlayers(), 0);
    const int before = PlaybackMemory::releases();
    auto first = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/a.mp4")));
    auto second = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/b.mp4")));
    QCOMPARE(PlaybackMemory::livePlayers(), 2);

    first.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::livePlayers(), 1);
    QCOMPARE(PlaybackMemory::releases(), before);

    second.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::livePlayers(), 0);
    QCOMPARE(PlaybackMemory::releases(), before + 1);

    // The next film's last player releases again.
    auto third = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/c.mp4")));
    third.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 2);

    // The surface (for the video widget: its drawing context, textures and
    // last picture) goes after its player, once per surface however often
    // it was given.
    auto surface = std::make_unique<QVideoSink>();
    auto fourth = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/d.mp4")));
    fourth->setVideoOutput(surface.get());
    fourth->setVideoOutput(nullptr);
    fourth->setVideoOutput(surface.get());
    fourth.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 3);
    surface.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 4);

    // A surface that goes while a player lives leaves it to that player.
    auto fifth = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/e.mp4")));
    auto other = std::make_unique<QVideoSink>();
    fifth->setVideoOutput(other.get());
    fifth->setVideoOutput(nullptr);
    other.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 4);
    fifth.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 5);

    // An object of another kind under the name of the surface's watch is no
    // watch: the surface is watched all the same.
    auto named = std::make_unique<QVideoSink>();
    const QPointer<QObject> namesake = new QObject(named.get());
    namesake->setObjectName(QStringLiteral("playbackMemory.surfaceWatch"));
    auto sixth = std::make_unique<QtMediaPlayer>(QUrl::fromLocalFile(QStringLiteral("/nowhere/f.mp4")));
    sixth->setVideoOutput(named.get());
    sixth.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 6);
    QVERIFY(namesake);
    named.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(PlaybackMemory::releases(), before + 7);
}

QTEST_MAIN(TestPlaybackMemory)
#include "tst_playbackmemory.moc"
