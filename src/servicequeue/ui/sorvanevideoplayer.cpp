#include "sorvanevideoplayer.h"

#include "foundation/localization.h"
#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/mediaplayer.h"

#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString clock(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, milliseconds) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A click on the bar moves the handle to that point (and the handle can be
// dragged on from there), rather than stepping a page toward it.
class PositionSlider final : public QSlider
{
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && maximum() > minimum()) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
            if (!handle.contains(event->position().toPoint())) {
                const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
                const int span = std::max(1, groove.width() - handle.width());
                const int x = event->position().toPoint().x() - groove.x() - handle.width() / 2;
                setSliderPosition(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown));
            }
        }
        QSlider::mousePressEvent(event);
    }
};

QString failureSentence(MediaFailure failure, const QString &path)
{
    switch (failure) {
    case MediaFailure::missingFile:
        return loc("The video cannot be played because its file is missing (%@); download or prepare it again.", {path});
    case MediaFailure::damaged:
        return loc("The video cannot be played because its file is damaged or not a video (%@); download or prepare it again.",
                   {path});
    case MediaFailure::noDecoder:
        return loc("The video cannot be played because this computer has no decoder for its format (%@); install "
                   "GStreamer's libav plugins (gstreamer1.0-libav) or open the file in another player.",
                   {path});
    case MediaFailure::none:
        break;
    }
    return {};
}

} // namespace

SorvaneVideoPlayer::SorvaneVideoPlayer(QWidget *parent)
    : QWidget(parent)
    , m_video(MediaModule::videoSurface(this))
    , m_playButton(new QToolButton(this))
    , m_slider(new PositionSlider(Qt::Horizontal, this))
    , m_time(new QLabel(this))
    , m_failure(new QLabel(this))
{
    // A click on the picture gives the surface the keyboard, for Space.
    setFocusPolicy(Qt::StrongFocus);
    m_video->setMinimumHeight(80);
    m_video->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_playButton->setObjectName(QStringLiteral("sorvane.videoPlayer.play"));
    m_playButton->setAutoRaise(true);
    m_slider->setObjectName(QStringLiteral("sorvane.videoPlayer.position"));
    m_time->setObjectName(QStringLiteral("sorvane.videoPlayer.time"));
    m_time->setTextFormat(Qt::PlainText);
    m_failure->setObjectName(QStringLiteral("sorvane.videoPlayer.failure"));
    m_failure->setTextFormat(Qt::PlainText);
    m_failure->setWordWrap(true);
    // The path in the sentence can be copied.
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_failure->setVisible(false);

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
    column->addWidget(m_failure);

    connect(m_playButton, &QToolButton::clicked, this, &SorvaneVideoPlayer::togglePlay);
    // Every move the person makes (click, drag, keys) seeks, paused or playing;
    // the positions the player reports are set with setValue, which is no action.
    connect(m_slider, &QSlider::actionTriggered, this, [this] {
        if (m_player)
            m_player->seek(MediaTime::fromSeconds(double(m_slider->sliderPosition()) / 1000.0));
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
    if (player) {
        player->setVideoOutput(m_video);
        m_connections << connect(player, &MediaPlayer::playingChanged, this, &SorvaneVideoPlayer::showPosition)
                      << connect(player, &MediaPlayer::positionChanged, this, &SorvaneVideoPlayer::showPosition)
                      << connect(player, &MediaPlayer::durationChanged, this, &SorvaneVideoPlayer::showPosition)
                      << connect(player, &MediaPlayer::failed, this, &SorvaneVideoPlayer::showFailure);
    }
    showFailure();
}

void SorvaneVideoPlayer::togglePlay()
{
    if (!m_player || m_player->failure() != MediaFailure::none)
        return;
    if (m_player->isPlaying())
        m_player->pause();
    else
        m_player->play();
}

void SorvaneVideoPlayer::keyPressEvent(QKeyEvent *event)
{
    // Reaches here from the surface itself and from the position bar, which
    // leaves Space alone; the play button takes Space as its own click.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && m_player) {
        togglePlay();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SorvaneVideoPlayer::showFailure()
{
    const MediaFailure failure = m_player ? m_player->failure() : MediaFailure::none;
    const bool usable = m_player && failure == MediaFailure::none;
    m_playButton->setEnabled(usable);
    m_slider->setEnabled(usable);
    const QString sentence = m_player ? failureSentence(failure, QDir::toNativeSeparators(m_player->source().toLocalFile()))
                                      : QString();
    m_failure->setText(sentence);
    m_failure->setVisible(!sentence.isEmpty());
    showPosition();
}

void SorvaneVideoPlayer::showPosition()
{
    const bool playing = m_player && m_player->isPlaying();
    m_playButton->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const QString action = playing ? loc("Pause") : loc("Play");
    m_playButton->setToolTip(action);
    m_playButton->setAccessibleName(action);
    const qint64 duration = m_player ? m_player->duration() : 0;
    const qint64 position = m_player ? m_player->position() : 0;
    m_slider->setRange(0, int(std::clamp<qint64>(duration, 0, INT_MAX)));
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(std::clamp<qint64>(position, 0, INT_MAX)));
    m_time->setText(clock(position) + QStringLiteral(" / ") + clock(duration));
}
