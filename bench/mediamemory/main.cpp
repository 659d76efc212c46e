// What playing video leaves in memory. A 6 s 1920x1080 H.264 + AAC clip is
// made with ffmpeg, then played to its end ten times through the review video
// view with the bundle's media module (the application's own player and
// surface), the view created, shown and deleted each time. Resident memory is
// printed before the first play, after the first release and after the tenth.
// The floor of the media stack itself is measured in a child process of this
// program (`--bare`): a plain QMediaPlayer with a QVideoWidget and an audio
// output, created and deleted the same way, the allocator treated as the
// media module treats it (media/playbackmemory.h): what remains there is the
// stack's own (its libraries, GStreamer's registry and plugins), not ours.
// With `--bare --untouched` the allocator is left alone. Each line also gives
// the allocator's bytes in use and free-but-held after the tenth release.
// The last line is the figure: resident memory after the tenth release.
// Both loops run on the platform Qt is given, which each line names: under
// scripts/test-env that is offscreen, where the video widget draws without
// OpenGL; on X (the application's platform on a desktop, xcb) it draws through
// OpenGL, whose libraries and threads stay once loaded. Run it there without
// scripts/test-env, e.g. under Xvfb:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/mediamemory/bench_mediamemory
#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/ui/review/servicereviewvideoview.h"
#include "servicequeue/videorecords.h"

#include <QApplication>
#include <QAudioOutput>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QProcess>
#include <QTemporaryDir>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <cstdio>
#include <malloc.h>

namespace {

constexpr int rounds = 10;

// A "Vm…:" field of /proc/self/status, in MB.
double statusMB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double residentMB()
{
    return statusMB("VmRSS:");
}

double peakMB()
{
    return statusMB("VmHWM:");
}

// Events for `ms`, so what a release posts (deletions, the pipeline's last
// messages, work handed to other threads) has run before memory is read.
void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Processes events until `done()` holds or `ms` pass.
template<class Done>
bool waitFor(Done &&done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QString makeClip(const QTemporaryDir &folder)
{
    const QString clip = folder.filePath(QStringLiteral("clip-1080p.mp4"));
    const int exit = QProcess::execute(QStringLiteral("ffmpeg"),
                                       {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc2=size=1920x1080:rate=30:duration=6", "-f", "lavfi", "-i",
                                        "sine=frequency=440:duration=6", "-c:v", "libx264", "-preset", "veryfast",
                                        "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", clip});
    return exit == 0 ? clip : QString();
}

struct Figures
{
    double before = 0;
    double afterFirst = 0;
    double afterLast = 0;
    double peak = 0;
    double heapInUse = 0; // after the tenth, MB
    double heapHeld = 0; // free but kept by the allocator, after the tenth, MB
    int frames = 0; // pictures the surface received, all rounds
    int finished = 0; // rounds that played to the end
};

void readHeap(Figures &f)
{
    const struct mallinfo2 heap = mallinfo2();
    f.heapInUse = double(heap.uordblks + heap.hblkhd) / 1048576.0;
    f.heapHeld = double(heap.fordblks) / 1048576.0;
}

void print(const char *what, const Figures &f)
{
    std::printf("%s on %s: before the first play %.1f MB, after the first release %.1f MB, after the tenth %.1f MB "
                "(peak %.1f MB; heap in use %.1f MB, free but held %.1f MB; %d of %d rounds played to the end, "
                "%d pictures)\n",
                what, qPrintable(QGuiApplication::platformName()), f.before, f.afterFirst, f.afterLast, f.peak,
                f.heapInUse, f.heapHeld, f.finished, rounds, f.frames);
    std::fflush(stdout);
}

// Counts the pictures a video widget's sink receives.
void countFrames(QWidget *root, int *frames)
{
    if (auto *video = root->findChild<QVideoWidget *>())
        QObject::connect(video->videoSink(), &QVideoSink::videoFrameChanged, root,
                         [frames](const QVideoFrame &frame) { *frames += frame.isValid(); });
}

Figures playViews(const QString &clip, QWidget *window)
{
    MediaModule::useForTesting(QStringLiteral(TAVLON_BUNDLE_DIR "/Contents/PlugIns/libtavlonmedia.so"));
    Figures figures;
    figures.before = residentMB();
    for (int round = 0; round < rounds; ++round) {
        auto *view = new ServiceReviewVideoView(MediaModule::players(), window);
        view->setGeometry(0, 0, 640, 400);
        ServiceReviewVideoDownload download;
        download.proposalVersion = 1;
        download.duration = 6;
        download.file = clip;
        view->setContent(download, {});
        view->show();
        countFrames(view, &figures.frames);
        MediaPlayer *player = view->player();
        if (!player) {
            std::fprintf(stderr, "no player (%s)\n", qPrintable(MediaModule::failure()));
            std::exit(1);
        }
        waitFor([player] { return player->duration() > 0 || player->failure() != MediaFailure::none; }, 20000);
        player->play();
        waitFor([player] { return player->isPlaying(); }, 10000);
        waitFor([player] { return !player->isPlaying(); }, 30000);
        figures.finished += player->failure() == MediaFailure::none && player->position() >= 5000;
        figures.peak = std::max(figures.peak, peakMB());
        delete view;
        settle(1000);
        if (round == 0)
            figures.afterFirst = residentMB();
    }
    figures.afterLast = residentMB();
    readHeap(figures);
    return figures;
}

// The media stack alone: what it keeps after its players are gone is a
// floor no change of ours can lower without releasing memory ourselves.
Figures playBare(const QString &clip, QWidget *window, bool release)
{
    Figures figures;
    figures.before = residentMB();
    if (release) {
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    }
    for (int round = 0; round < rounds; ++round) {
        auto *video = new QVideoWidget(window);
        video->setGeometry(0, 0, 640, 260);
        video->show();
        int frames = 0;
        QObject::connect(video->videoSink(), &QVideoSink::videoFrameChanged, video,
                         [&frames](const QVideoFrame &frame) { frames += frame.isValid(); });
        auto *player = new QMediaPlayer;
        auto *audio = new QAudioOutput(player);
        player->setAudioOutput(audio);
        player->setVideoOutput(video);
        settle(50);
        player->setSource(QUrl::fromLocalFile(clip));
        player->play();
        waitFor([player] { return player->playbackState() == QMediaPlayer::PlayingState; }, 10000);
        waitFor([player] { return player->playbackState() != QMediaPlayer::PlayingState; }, 30000);
        figures.finished += player->mediaStatus() == QMediaPlayer::EndOfMedia;
        figures.frames += frames;
        figures.peak = std::max(figures.peak, peakMB());
        player->stop();
        player->setVideoOutput(static_cast<QObject *>(nullptr));
        delete player;
        delete video;
        settle(1000);
        if (release)
            malloc_trim(0);
        if (round == 0)
            figures.afterFirst = residentMB();
    }
    figures.afterLast = residentMB();
    readHeap(figures);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool bare = app.arguments().contains(QStringLiteral("--bare"));
    QString clip; // the child is given the parent's
    for (const QString &argument : app.arguments().mid(1))
        if (!argument.startsWith(QLatin1String("--")))
            clip = argument;
    QTemporaryDir folder;
    if (!bare) {
        clip = makeClip(folder);
        if (clip.isEmpty()) {
            std::fprintf(stderr, "ffmpeg could not make the clip\n");
            return 1;
        }
    }

    QWidget window;
    window.resize(660, 420);
    window.show();
    settle(300);

    if (bare) {
        const bool untouched = app.arguments().contains(QStringLiteral("--untouched"));
        print(untouched ? "bare player, allocator untouched" : "bare player (the floor)",
              playBare(clip, &window, !untouched));
        return 0;
    }

    // The floor first, in a process of its own that starts as clean as this one.
    if (!app.arguments().contains(QStringLiteral("--no-bare"))) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare"), clip});
        child.waitForFinished(600000);
        std::printf("%s", child.readAllStandardOutput().constData());
    }

    const Figures views = playViews(clip, &window);
    print("review video view", views);
    std::printf("tenth against first release: %+.1f %%, after release against before: %+.1f MB\n",
                (views.afterLast / views.afterFirst - 1.0) * 100.0, views.afterLast - views.before);
    std::printf("resident after the tenth release: %.1f MB\n", views.afterLast);
    return views.finished == rounds ? 0 : 1;
}
