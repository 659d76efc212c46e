#include "sorvanevideoplayer.h"

#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/mediaplayer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString clock(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, milliseconds) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

SorvaneVideoPlayer::SorvaneVideoPlayer(QWidget *parent)
    : QWidget(parent)
    , m_video(MediaModule::videoSurface(this))
    , m_playButton(new QToolButton(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_time(new QLabel(this))
{
    m_video->setMinimumHeight(80);
    m_video->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_playButton->setObjectName(QStringLiteral("sorvane.videoPlayer.play"));
    m_playButton->setAutoRaise(true);
    m_slider->setObjectName(QStringLiteral("sorvane.videoPlayer.position"));
    m_time->setObjectName(QStringLiteral("sorvane.videoPlayer.time"));
    m_time->setTextFormat(Qt::PlainText);

    auto *controls = new QHBoxLayout;
    controls->setContentsMargins(4, 0, 4, 0);
    controls->addWidget(m_playButton);
    controls->addWidget(m_slider, 1);
    controls->addWidget(m_time);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(m_video, 1);
    column->addLayout(controls);

    connect(m_playButton, &QToolButton::clicked, this, [this] {
        if (!m_player)
            return;
        if (m_player->isPlaying())
            m_player->pause();
        else
            m_player->play();
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int value) {
        if (m_player)
            m_player->seek(MediaTime{qint64(value) * MediaTime::scale / 1000});
    });
    setPlayer(nullptr);
}

SorvaneVideoPlayer::~SorvaneVideoPlayer()
{
    detach();
}

QObject *SorvaneVideoPlayer::videoSurface() const
{
    return m_video;
}

void SorvaneVideoPlayer::detach()
{
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (m_player) {
        m_player->pause();
        if (m_player->videoOutput() == m_video)
            m_player->setVideoOutput(nullptr);
    }
    m_player = nullptr;
}

void SorvaneVideoPlayer::setPlayer(MediaPlayer *player)
{
    if (player && player == m_player)
        return;
    detach();
    m_player = player;
    const bool usable = player != nullptr;
    m_playButton->setEnabled(usable);
    m_slider->setEnabled(usable);
    if (player) {
        player->setVideoOutput(m_video);
        m_connections << connect(player, &MediaPlayer::playingChanged, this, &SorvaneVideoPlayer::showPosition)
                      << connect(player, &MediaPlayer::positionChanged, this, &SorvaneVideoPlayer::showPosition)
                      << connect(player, &MediaPlayer::durationChanged, this, &SorvaneVideoPlayer::showPosition);
    }
    showPosition();
}

void SorvaneVideoPlayer::showPosition()
{
    const bool playing = m_player && m_player->isPlaying();
    m_playButton->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const qint64 duration = m_player ? m_player->duration() : 0;
    const qint64 position = m_player ? m_player->position() : 0;
    m_slider->setRange(0, int(std::clamp<qint64>(duration, 0, INT_MAX)));
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(std::clamp<qint64>(position, 0, INT_MAX)));
    m_time->setText(clock(position) + QStringLiteral(" / ") + clock(duration));
}
