// The seek resolution of the video views, the player surface's rules for
// attaching, replacing and detaching players, and loading the media module.
#include <QtTest>

#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/ui/sorvanevideoplayer.h"

#include <QLabel>
#include <QToolButton>

class TestMediaPlayer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mediaTime_data();
    void mediaTime();
    void surfaceAttachReplaceDetach();
    void moduleLoading_data();
    void moduleLoading();
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

void TestMediaPlayer::moduleLoading_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("loads");
    static QTemporaryDir folder;
    QFile junk(folder.filePath(QStringLiteral("libtavlonmedia.so")));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not a library") > 0);
    junk.close();
    QTest::newRow("missing") << folder.filePath(QStringLiteral("absent/libtavlonmedia.so")) << false;
    QTest::newRow("not a library") << junk.fileName() << false;
    QTest::newRow("not the media module") << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqminimal.so") << false;
    QTest::newRow("the bundle's module") << QStringLiteral(TAVLON_BUNDLE_DIR "/Contents/PlugIns/libtavlonmedia.so") << true;
}

// Without the module a video view shows one sentence and offers no playback; nothing crashes.
void TestMediaPlayer::moduleLoading()
{
    QFETCH(QString, path);
    QFETCH(bool, loads);
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    MediaModule::useForTesting(path);
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/nowhere/film.mp4"));
    const std::unique_ptr<MediaPlayer> player = MediaModule::players()(file);
    QCOMPARE(bool(player), loads);
    QCOMPARE(MediaModule::failure().isEmpty(), loads);
    SorvaneVideoPlayer view;
    view.setPlayer(player.get());
    QCOMPARE(view.findChild<QToolButton *>(QStringLiteral("sorvane.videoPlayer.play"))->isEnabled(), loads);
    auto *unavailable = view.findChild<QLabel *>(QStringLiteral("media.unavailable"));
    if (loads) {
        QCOMPARE(player->source(), file);
        QVERIFY(!unavailable);
        QCOMPARE(view.videoSurface()->metaObject()->className(), "QVideoWidget");
        QCOMPARE(player->videoOutput(), view.videoSurface());
    } else {
        QVERIFY(unavailable);
        QCOMPARE(unavailable->text(), QStringLiteral("The video cannot be played because the application's media component could not be loaded."));
    }
}

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
