#include "videoreviewpreviewview.h"

#include "foundation/ui/uikit.h"
#include "servicequeue/ui/sorvanevideoplayer.h"
#include "servicequeue/videos/videoreturnpresentation.h"

#include <QHideEvent>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

VideoReviewPreviewView::VideoReviewPreviewView(MediaPlayerFactory players, QWidget *parent)
    : QWidget(parent)
    , m_players(std::move(players))
    , m_surface(new SorvaneVideoPlayer(this))
    , m_title(UiKit::label({}, {.name = QStringLiteral("service.video.preview.title")}, this))
    , m_body(UiKit::label({}, {.name = QStringLiteral("service.video.preview.body")}, this))
    , m_length(UiKit::label({}, {.scale = 0.9, .name = QStringLiteral("service.video.preview.length")}, this))
    , m_sha(new UiKit::LongWordLabel({}, {.scale = 0.9, .monospaced = true,
                                       .name = QStringLiteral("service.video.preview.sha256")}, this))
    , m_revision(new UiKit::LongWordLabel({}, {.scale = 0.9, .monospaced = true,
                                            .name = QStringLiteral("service.video.preview.revision")}, this))
{
    QFont headline = m_title->font();
    headline.setBold(true);
    m_title->setFont(headline);
    m_surface->setFixedHeight(260);
    m_surface->hide(); // no empty picture area before a player exists
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    for (QWidget *item : {static_cast<QWidget *>(m_surface), static_cast<QWidget *>(m_title),
                          static_cast<QWidget *>(m_body), static_cast<QWidget *>(m_length),
                          static_cast<QWidget *>(m_sha), static_cast<QWidget *>(m_revision)})
        column->addWidget(item);
}

VideoReviewPreviewView::~VideoReviewPreviewView()
{
    // The surface detaches the player before either goes.
    m_surface->setPlayer(nullptr);
}

void VideoReviewPreviewView::setPreview(const VideoReviewPreview &preview)
{
    const bool other = !m_preview || m_preview->proposalID != preview.proposalID;
    m_preview = preview;
    m_title->setText(preview.content.title);
    m_body->setText(preview.content.body);
    const auto length = VideoReturnPresentation::lengthLine(preview);
    m_length->setVisible(length.has_value());
    m_sha->setVisible(length.has_value());
    if (length) {
        m_length->setText(*length);
        m_sha->setText(QStringLiteral("SHA-256: ") + preview.content.video->sha256);
    }
    m_revision->setText(VideoReturnPresentation::revisionLine(preview));
    if (other && isVisible())
        makePlayer();
}

// Minimising and restoring the window hide and show the view spontaneously:
// it has not gone away, so the player, its place and its playing stay. Only
// a show of the application's own makes the draft's player anew, and only
// leaving the screen pauses it.
void VideoReviewPreviewView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() || !m_player)
        makePlayer();
}

void VideoReviewPreviewView::hideEvent(QHideEvent *event)
{
    if (m_player && !event->spontaneous())
        m_player->pause();
    QWidget::hideEvent(event);
}

void VideoReviewPreviewView::makePlayer()
{
    if (!m_preview || !m_players)
        return;
    if (m_player)
        m_player->pause();
    m_surface->setPlayer(nullptr);
    m_player = m_players(QUrl::fromLocalFile(m_preview->file));
    m_surface->setPlayer(m_player.get());
    m_surface->show();
}
