// The seek resolution of the video views, the player surface's rules for
// attaching, replacing and detaching players, its keyboard and position bar,
// loading the media module, and what each video view shows with the real
// player: its film's first picture, or why it cannot play its file.
#include <QtTest>

#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/ui/review/servicereactionplayer.h"
#include "servicequeue/ui/review/servicereviewvideoview.h"
#include "servicequeue/ui/sorvanevideoplayer.h"
#include "servicequeue/ui/videos/videoreviewpreviewview.h"

#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

// One of the three video views with the real player for `file`, shown.
std::unique_ptr<QWidget> showView(const QString &view, const QString &file)
{
    MediaModule::useForTesting(QStringLiteral(TAVLON_BUNDLE_DIR "/Contents/PlugIns/libtavlonmedia.so"));
    std::unique_ptr<QWidget> shown;
    if (view == QLatin1String("draft preview")) {
        auto *preview = new VideoReviewPreviewView(MediaModule::players());
        VideoReviewPreview draft;
        draft.proposalID = QStringLiteral("p1");
        draft.file = file;
        preview->setPreview(draft);
        shown.reset(preview);
    } else if (view == QLatin1String("review video")) {
        auto *review = new ServiceReviewVideoView(MediaModule::players());
        ServiceReviewVideoDownload download;
        download.proposalVersion = 1;
        download.duration = 4;
        download.file = file;
        review->setContent(download, {});
        shown.reset(review);
    } else {
        auto *reaction = new ServiceReactionPlayer(MediaModule::players());
        ServiceReactionDownload download;
        download.file = download.checkedFile = file;
        reaction->setDownload(download);
        shown.reset(reaction);
    }
    shown->show();
    return shown;
}

MediaPlayer *playerOf(const QWidget *view)
{
    return view->findChild<SorvaneVideoPlayer *>()->player();
}

// Notes the windows updated while it lives.
class UpdateWatch final : public QObject
{
public:
    UpdateWatch() { qApp->installEventFilter(this); }
    ~UpdateWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest && watched->isWindowType())
            updated << watched;
        return false;
    }
    QObjectList updated;
};

} // namespace

class TestMediaPlayer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void mediaTime_data();
    void mediaTime();
    void surfaceAttachReplaceDetach();
    void moduleLoading_data();
    void moduleLoading();
    void spaceTogglesPlay_data();
    void spaceTogglesPlay();
    void aClickOnThePositionBarSeeksWhilePaused();
    void theFirstPictureShowsPaused_data();
    void theFirstPictureShowsPaused();
    void anUnplayableFileIsSaidUnderThePlayer_data();
    void anUnplayableFileIsSaidUnderThePlayer();
    void failingWhilePlayingSaysStoppedFirst_data();
    void failingWhilePlayingSaysStoppedFirst();

private:
    QTemporaryDir m_files;
};

void TestMediaPlayer::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    // A machine without an H.264 decoder, as far as GStreamer is concerned:
    // read when the engine starts, before this program's first player.
    qputenv("GST_PLUGIN_FEATURE_RANK", "avdec_h264:NONE,openh264dec:NONE,vah264dec:NONE,vaapih264dec:NONE");
}

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

void TestMediaPlayer::spaceTogglesPlay_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("the surface") << QString();
    QTest::newRow("the position bar") << QStringLiteral("sorvane.videoPlayer.position");
}

// Space reaches the surface from itself and from the position bar (the play
// button takes it as its own click).
void TestMediaPlayer::spaceTogglesPlay()
{
    QFETCH(QString, focus);
    FakeMediaPlayer player(QUrl::fromLocalFile("/a.mp4"));
    SorvaneVideoPlayer surface;
    surface.setPlayer(&player);
    QWidget *target = focus.isEmpty() ? static_cast<QWidget *>(&surface) : surface.findChild<QWidget *>(focus);
    QVERIFY(target);
    QTest::keyClick(target, Qt::Key_Space);
    QVERIFY(player.isPlaying());
    auto *play = surface.findChild<QToolButton *>(QStringLiteral("sorvane.videoPlayer.play"));
    QCOMPARE(play->accessibleName(), QStringLiteral("Pause"));
    QTest::keyClick(target, Qt::Key_Space);
    QVERIFY(!player.isPlaying());
    QCOMPARE(play->accessibleName(), QStringLiteral("Play"));
    QCOMPARE(player.calls, QStringList({"attach", "play", "pause"}));
}

void TestMediaPlayer::aClickOnThePositionBarSeeksWhilePaused()
{
    FakeMediaPlayer player(QUrl::fromLocalFile("/a.mp4"));
    player.m_duration = 40000;
    SorvaneVideoPlayer surface;
    surface.resize(600, 300);
    surface.setPlayer(&player);
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    auto *bar = surface.findChild<QSlider *>(QStringLiteral("sorvane.videoPlayer.position"));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 3 / 4, bar->height() / 2));
    QCOMPARE(player.seeks.size(), 1);
    // Where the click was, not a page step toward it.
    QVERIFY2(std::abs(player.seeks[0].milliseconds() - 30000) < 2500, qPrintable(QString::number(player.seeks[0].milliseconds())));
    QVERIFY(!player.isPlaying());
    QCOMPARE(bar->value(), int(player.position()));
}

void TestMediaPlayer::theFirstPictureShowsPaused_data()
{
    QTest::addColumn<QString>("view");
    for (const char *view : {"draft preview", "review video", "reaction"})
        QTest::newRow(view) << QString::fromLatin1(view);
}

// The real player shows the film's first picture once it is read, without
// playing, and keeps it when the surface loses it, as a video widget drawing
// with OpenGL did when it set up its drawing late (offscreen draws without).
// The surface's own window sets up its drawing as the view is shown, before
// the player reads the film (left to the window system, a moment later, films
// opened black now and then on X); offscreen has that window too.
void TestMediaPlayer::theFirstPictureShowsPaused()
{
    QFETCH(QString, view);
    const QString film = m_files.filePath(QStringLiteral("mpeg4.mp4")); // no H.264 decoder here (initTestCase)
    if (!QFile::exists(film))
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                                              "testsrc2=size=320x240:rate=25:duration=2", "-c:v", "mpeg4", film}),
                 0);
    const UpdateWatch watch;
    const auto shown = showView(view, film);
    const QList<QWindow *> inner = shown->windowHandle()->findChildren<QWindow *>(Qt::FindDirectChildrenOnly);
    QVERIFY(!inner.isEmpty());
    for (QWindow *window : inner)
        QVERIFY2(watch.updated.contains(window), window->metaObject()->className());
    MediaPlayer *player = playerOf(shown.get());
    QVideoSink *sink = nullptr;
    QVERIFY(QMetaObject::invokeMethod(player->videoOutput(), "videoSink", Q_RETURN_ARG(QVideoSink *, sink)) && sink);
    bool dropped = false;
    const QObject here; // the pictures come from the engine's threads
    connect(sink, &QVideoSink::videoFrameChanged, &here, [sink, &dropped](const QVideoFrame &frame) {
        if (frame.isValid() && !std::exchange(dropped, true))
            sink->setVideoFrame(QVideoFrame());
    });
    QTRY_VERIFY_WITH_TIMEOUT(dropped && sink->videoFrame().isValid(), 20000);
    QVERIFY(!player->isPlaying());
    QCOMPARE(player->position(), 0);
    QCOMPARE(sink->videoFrame().startTime(), 0); // the first picture, not a later one
}

void TestMediaPlayer::anUnplayableFileIsSaidUnderThePlayer_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sentence");
    QVERIFY(m_files.isValid());
    const QString missing = m_files.filePath(QStringLiteral("absent.mp4"));
    const QString corrupt = m_files.filePath(QStringLiteral("corrupt.mp4"));
    QFile bytes(corrupt);
    QVERIFY(bytes.open(QIODevice::WriteOnly));
    QRandomGenerator random(41);
    QByteArray noise(200 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    bytes.write(noise);
    bytes.close();
    const QString missingSentence = QStringLiteral("The video cannot be played because its file is missing (%1); download or prepare it again.").arg(missing);
    const QString corruptSentence = QStringLiteral("The video cannot be played because its file is damaged or not a video (%1); download or prepare it again.").arg(corrupt);
    for (const QString &view : {QStringLiteral("draft preview"), QStringLiteral("review video"), QStringLiteral("reaction")}) {
        QTest::addRow("%s, missing file", qPrintable(view)) << view << missing << missingSentence;
        QTest::addRow("%s, corrupt file", qPrintable(view)) << view << corrupt << corruptSentence;
    }
    // A real H.264 film on a machine without its decoder (see initTestCase).
    const QString h264 = m_files.filePath(QStringLiteral("h264.mp4"));
    if (QProcess::execute(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                                     "testsrc2=size=320x240:rate=25:duration=1", "-c:v", "libx264",
                                                     "-pix_fmt", "yuv420p", h264})
        == 0)
        QTest::addRow("draft preview, no decoder")
            << QStringLiteral("draft preview") << h264
            << QStringLiteral("The video cannot be played because this computer has no decoder for its format (%1); "
                              "install GStreamer's libav plugins (gstreamer1.0-libav) or open the file in another player.")
                   .arg(h264);
    // With sound the engine could decode: the sound alone is not the film.
    const QString withSound = m_files.filePath(QStringLiteral("h264-aac.mp4"));
    if (QProcess::execute(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                                     "testsrc2=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                                                     "sine=frequency=880:duration=1", "-c:v", "libx264", "-pix_fmt",
                                                     "yuv420p", "-c:a", "aac", withSound})
        == 0)
        QTest::addRow("reaction, no decoder for the picture")
            << QStringLiteral("reaction") << withSound
            << QStringLiteral("The video cannot be played because this computer has no decoder for its format (%1); "
                              "install GStreamer's libav plugins (gstreamer1.0-libav) or open the file in another player.")
                   .arg(withSound);
}

// The real player on a file it cannot play: each video view says so in one
// sentence under the picture, and the play control stays stopped.
void TestMediaPlayer::anUnplayableFileIsSaidUnderThePlayer()
{
    QFETCH(QString, view);
    QFETCH(QString, file);
    QFETCH(QString, sentence);
    const auto shown = showView(view, file);
    const auto player = [&shown] { return playerOf(shown.get()); };
    QVERIFY(player());
    auto *failure = shown->findChild<QLabel *>(QStringLiteral("sorvane.videoPlayer.failure"));
    QVERIFY(failure);
    QTRY_VERIFY_WITH_TIMEOUT(failure->isVisible(), 20000);
    QCOMPARE(failure->text(), sentence);
    QVERIFY(failure->textInteractionFlags() & Qt::TextSelectableByMouse); // the path can be copied
    auto *play = shown->findChild<QToolButton *>(QStringLiteral("sorvane.videoPlayer.play"));
    QCOMPARE(play->accessibleName(), QStringLiteral("Play"));
    QVERIFY(!play->isEnabled());
    QVERIFY(!player()->isPlaying());
    player()->play(); // nothing more to try: it stays stopped
    QVERIFY(!player()->isPlaying());
    QCOMPARE(play->accessibleName(), QStringLiteral("Play"));
}

void TestMediaPlayer::failingWhilePlayingSaysStoppedFirst_data()
{
    QTest::addColumn<QString>("file");
    QVERIFY(m_files.isValid());
    const QString text = m_files.filePath(QStringLiteral("notes.mp4"));
    QFile bytes(text);
    QVERIFY(bytes.open(QIODevice::WriteOnly) && bytes.write("plain text, not a film\n") > 0);
    bytes.close();
    QTest::newRow("missing file") << m_files.filePath(QStringLiteral("gone.mp4"));
    QTest::newRow("not a film") << text;
}

// The real player started on a file it cannot play: a control that follows
// playingChanged goes back to Play before the failure is told.
void TestMediaPlayer::failingWhilePlayingSaysStoppedFirst()
{
    QFETCH(QString, file);
    MediaModule::useForTesting(QStringLiteral(TAVLON_BUNDLE_DIR "/Contents/PlugIns/libtavlonmedia.so"));
    const std::unique_ptr<MediaPlayer> player = MediaModule::players()(QUrl::fromLocalFile(file));
    QVERIFY(player);
    QStringList heard;
    connect(player.get(), &MediaPlayer::playingChanged, this,
            [&heard](bool playing) { heard << (playing ? QStringLiteral("playing") : QStringLiteral("stopped")); });
    connect(player.get(), &MediaPlayer::failed, this, [&heard] { heard << QStringLiteral("failed"); });
    player->play();
    QTRY_VERIFY_WITH_TIMEOUT(heard.contains(QStringLiteral("failed")), 20000);
    QCOMPARE(heard, QStringList({"playing", "stopped", "failed"}));
    QVERIFY(!player->isPlaying());
}

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
