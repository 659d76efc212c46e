#include "servicereviewvideoview.h"

#include "foundation/localization.h"
#include "reviewwidgets.h"
#include "servicequeue/ui/sorvanevideoplayer.h"

#include <QHideEvent>
#include <QLabel>
#include <QVBoxLayout>

ServiceReviewVideoView::ServiceReviewVideoView(MediaPlayerFactory factory, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_surface(new SorvaneVideoPlayer(this))
    , m_heading(new QLabel(loc("Customer feedback timestamps"), this))
    , m_buttons(new QVBoxLayout)
    , m_player(std::make_unique<OwnedPlayer>(std::move(factory), m_surface))
{
    setObjectName(QStringLiteral("service.review.video"));
    ReviewFonts::headline(m_title);
    m_title->setObjectName(QStringLiteral("service.review.title"));
    ReviewFonts::subheadline(m_heading);
    m_surface->setFixedHeight(260);
    m_surface->setVisible(false);
    m_buttons->setSpacing(0);
    auto *note = new QLabel(loc("Timestamps refer to this film version. Selecting one pauses the player at that point."), this);
    note->setWordWrap(true);
    ReviewFonts::caption(note);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(m_title);
    column->addWidget(m_surface);
    column->addWidget(m_heading);
    column->addLayout(m_buttons);
    column->addWidget(note);
    m_heading->setVisible(false);
}

ServiceReviewVideoView::~ServiceReviewVideoView() = default;

MediaPlayer *ServiceReviewVideoView::player() const
{
    return m_player->player();
}

void ServiceReviewVideoView::setContent(const ServiceReviewVideoDownload &download,
                                        const QList<ServiceDecision> &decisions)
{
    m_download = download;
    m_title->setText(loc("Verified film version %lld", {download.proposalVersion}));
    const auto markers = ServiceReviewTimestampRules::markers(download, decisions);
    if (markers != m_markers || m_buttons->isEmpty() != markers.isEmpty()) {
        m_markers = markers;
        rebuildMarkers();
    }
    // The player follows the file, and only while the view is on screen.
    if (isVisible())
        m_player->show(download.file);
}

void ServiceReviewVideoView::rebuildMarkers()
{
    while (QLayoutItem *item = m_buttons->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const ServiceReviewTimestamp &marker : std::as_const(m_markers)) {
        auto *button = new LinkRowButton(this);
        button->setObjectName(QStringLiteral("service.review.timestamp.") + marker.id);
        button->addLine(marker.label + QStringLiteral(" · ") + marker.text);
        const double seconds = marker.seconds;
        connect(button, &QPushButton::clicked, this, [this, seconds] { m_player->pauseAt(seconds); });
        m_buttons->addWidget(button);
    }
    m_heading->setVisible(!m_markers.isEmpty());
}

void ServiceReviewVideoView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_download)
        m_player->show(m_download->file);
}

// Minimising the window hides the view spontaneously: the film pauses and
// keeps its place. Only leaving the screen (a hide of the application's own)
// drops the player.
void ServiceReviewVideoView::hideEvent(QHideEvent *event)
{
    if (event->spontaneous())
        m_player->pause();
    else
        m_player->release();
    QWidget::hideEvent(event);
}

// The window passes its deactivation on to every visible widget inside it
// (a change of activation reaches the window alone).
bool ServiceReviewVideoView::event(QEvent *event)
{
    if (event->type() == QEvent::WindowDeactivate)
        m_player->pause();
    return QWidget::event(event);
}
