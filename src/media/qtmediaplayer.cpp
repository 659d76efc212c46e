#include "qtmediaplayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>

QtMediaPlayer::QtMediaPlayer(const QUrl &file, QObject *parent)
    : MediaPlayer(parent)
    , m_source(file)
    , m_player(new QMediaPlayer(this))
    , m_audio(new QAudioOutput(this))
{
    m_player->setAudioOutput(m_audio);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) { Q_EMIT playingChanged(state == QMediaPlayer::PlayingState); });
    connect(m_player, &QMediaPlayer::positionChanged, this, &MediaPlayer::positionChanged);
    connect(m_player, &QMediaPlayer::durationChanged, this, &MediaPlayer::durationChanged);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus) {
        if (m_pendingPosition && loaded())
            m_player->setPosition(*std::exchange(m_pendingPosition, std::nullopt));
    });
    m_player->setSource(file);
}

QtMediaPlayer::~QtMediaPlayer()
{
    // Stop the pipeline before the outputs it writes to go away.
    m_player->stop();
    m_player->setVideoOutput(static_cast<QObject *>(nullptr));
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
    m_player->play();
}

void QtMediaPlayer::pause()
{
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
}

bool QtMediaPlayer::isPlaying() const
{
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}

void QtMediaPlayer::seek(MediaTime time)
{
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
    m_output = output;
    m_player->setVideoOutput(output);
}
