#include "qtmediaplayer.h"

#include "playbackmemory.h"

#include <QAudioOutput>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QVideoSink>
#include <QWidget>

namespace {

// The file opens like a film container (MP4, QuickTime, Matroska). When the
// engine still fails on it, what is missing is most likely a decoder: the
// engine's own word for that is a log line, not a code.
bool looksLikeFilm(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.mid(4, 4) == "ftyp" || head.startsWith("\x1a\x45\xdf\xa3");
}

} // namespace

QtMediaPlayer::QtMediaPlayer(const QUrl &file, QObject *parent)
    : MediaPlayer(parent)
    , m_source(file)
    , m_player(new QMediaPlayer(this))
{
    PlaybackMemory::playerCreated();
    // Always an audio output, also when the machine has no audio device (the
    // sound then goes nowhere and the picture plays): without one the engine
    // leaves the film's sound stream unconnected, and its reader then stops
    // the whole film now and then with "Internal data stream error", which
    // looked like a missing decoder.
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) { Q_EMIT playingChanged(state == QMediaPlayer::PlayingState); });
    connect(m_player, &QMediaPlayer::positionChanged, this, &MediaPlayer::positionChanged);
    connect(m_player, &QMediaPlayer::durationChanged, this, &MediaPlayer::durationChanged);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::InvalidMedia) {
            fail();
            return;
        }
        if (!loaded())
            return;
        m_read = true;
        // A film whose picture the engine cannot decode still plays its
        // sound: without a picture it is a film this machine cannot show.
        if (!m_player->hasVideo()) {
            fail();
            return;
        }
        if (m_pendingPosition)
            m_player->setPosition(*std::exchange(m_pendingPosition, std::nullopt));
    });
    // The engine reports a missing file, a damaged one or a missing decoder
    // here and otherwise stays "playing" a black picture.
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError)
            fail();
    });
    // Read the file once the surface it draws into is on screen (see load()),
    // or on the next turn when it gets none.
    QMetaObject::invokeMethod(this, &QtMediaPlayer::load, Qt::QueuedConnection);
}

void QtMediaPlayer::load()
{
    if (m_loading)
        return;
    // Not before the video widget is shown: it sets up its drawing then (see
    // the media module's surface), and the engine's output is made for it.
    if (const auto *widget = qobject_cast<const QWidget *>(m_output.data()); widget && !widget->isVisible())
        return;
    m_loading = true;
    m_player->setSource(m_source);
    // Paused, the engine reads the file and shows its first picture.
    m_player->pause();
}

bool QtMediaPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_output && event->type() == QEvent::Show)
        // After the widget's own handling of its show.
        QMetaObject::invokeMethod(this, &QtMediaPlayer::load, Qt::QueuedConnection);
    return MediaPlayer::eventFilter(watched, event);
}

QtMediaPlayer::~QtMediaPlayer()
{
    disconnect(m_pictureWatch);
    // Stop the pipeline before the outputs it writes to go away.
    m_player->stop();
    m_player->setVideoOutput(static_cast<QObject *>(nullptr));
    // The pipeline and its threads go with the engine's player, before the count.
    delete m_player;
    PlaybackMemory::playerDestroyed();
}

void QtMediaPlayer::fail()
{
    if (m_failure != MediaFailure::none)
        return;
    // Read before the failure is set: a failed player never plays.
    const bool wasPlaying = isPlaying();
    const QFileInfo file(m_source.toLocalFile());
    if (!file.isFile() || !file.isReadable())
        m_failure = MediaFailure::missingFile;
    else if (m_read || m_player->hasAudio() || m_player->hasVideo() || looksLikeFilm(file.filePath()))
        m_failure = MediaFailure::noDecoder; // a film the engine read, or should have, but cannot decode
    else
        m_failure = MediaFailure::damaged;
    m_pendingPosition.reset();
    {
        const QSignalBlocker quiet(m_player); // the state notice comes below, once
        m_player->stop();
    }
    if (wasPlaying)
        Q_EMIT playingChanged(false);
    Q_EMIT failed();
}

// A paused engine sends no other picture until Play. When the surface loses
// the one it has (a video widget whose drawing is set up only after the
// engine's first picture came drops it), the film would stay black until
// Play: the picture is put back.
void QtMediaPlayer::keepPicture(QObject *output)
{
    disconnect(m_pictureWatch);
    m_picture = {};
    QVideoSink *sink = qobject_cast<QVideoSink *>(output);
    if (!sink && output && output->metaObject()->indexOfMethod("videoSink()") >= 0)
        QMetaObject::invokeMethod(output, "videoSink", Qt::DirectConnection, Q_RETURN_ARG(QVideoSink *, sink));
    if (!sink)
        return;
    // Queued: pictures come from the engine's threads, and one put back is
    // never set from within the surface's own notice.
    m_pictureWatch = connect(
        sink, &QVideoSink::videoFrameChanged, this,
        [this, sink = QPointer<QVideoSink>(sink)](const QVideoFrame &frame) {
            const bool paused = m_failure == MediaFailure::none
                && m_player->playbackState() == QMediaPlayer::PausedState;
            if (frame.isValid())
                m_picture = paused ? frame : QVideoFrame(); // held only while it stays on screen
            else if (paused && m_picture.isValid() && sink)
                sink->setVideoFrame(m_picture);
        },
        Qt::QueuedConnection);
}

bool QtMediaPlayer::loaded() const
{
    switch (m_player->mediaStatus()) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
    case QMediaPlayer::EndOfMedia:
        return true;
    default:
        return false;
    }
}

void QtMediaPlayer::play()
{
    if (m_failure != MediaFailure::none)
        return;
    if (!m_loading) {
        m_loading = true;
        m_player->setSource(m_source);
    }
    m_player->play();
}

void QtMediaPlayer::pause()
{
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
}

bool QtMediaPlayer::isPlaying() const
{
    return m_failure == MediaFailure::none && m_player->playbackState() == QMediaPlayer::PlayingState;
}

void QtMediaPlayer::seek(MediaTime time)
{
    if (m_failure != MediaFailure::none)
        return;
    const qint64 target = std::max<qint64>(0, time.milliseconds());
    if (!loaded()) {
        m_pendingPosition = target;
        return;
    }
    // A stopped pipeline shows no picture; paused shows the frame sought.
    if (m_player->playbackState() == QMediaPlayer::StoppedState)
        m_player->pause();
    m_player->setPosition(target);
}

qint64 QtMediaPlayer::position() const
{
    return m_pendingPosition.value_or(m_player->position());
}

qint64 QtMediaPlayer::duration() const
{
    return m_player->duration();
}

void QtMediaPlayer::setVideoOutput(QObject *output)
{
    if (m_output == output)
        return;
    if (m_output)
        m_output->removeEventFilter(this);
    m_output = output;
    keepPicture(output);
    m_player->setVideoOutput(output);
    PlaybackMemory::surfaceUsed(output);
    if (qobject_cast<QWidget *>(output))
        output->installEventFilter(this);
    load();
}
