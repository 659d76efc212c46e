// The media player hands freed memory back to the system once its last
// player is gone, and not while another one still plays.
#include "media/playbackmemory.h"
#include "media/qtmediaplayer.h"

#include <QThreadPool>
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
}

QTEST_MAIN(TestPlaybackMemory)
#include "tst_playbackmemory.moc"
