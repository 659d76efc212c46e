#include "videoreviewpreviewview.h"

#include "servicequeue/ui/sorvanevideoplayer.h"
#include "servicequeue/videos/videoreturnpresentation.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *textLabel(QWidget *parent, const QString &id, bool caption, bool monospaced = false)
{
    auto *label = new QLabel(parent);
    label->setObjectName(id);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : label->font();
    if (caption)
        font.setPointSizeF(label->font().pointSizeF() * 0.9);
    label->setFont(font);
    if (monospaced) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        // A digest is one long word: it may run past a narrow column rather than widen it.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    return label;
}

} // namespace

VideoReviewPreviewView::VideoReviewPreviewView(MediaPlayerFactory players, QWidget *parent)
    : QWidget(parent)
    , m_players(std::move(players))
    , m_surface(new SorvaneVideoPlayer(this))
    , m_title(textLabel(this, QStringLiteral("service.video.preview.title"), false))
    , m_body(textLabel(this, QStringLiteral("service.video.preview.body"), false))
    , m_length(textLabel(this, QStringLiteral("service.video.preview.length"), true))
    , m_sha(textLabel(this, QStringLiteral("service.video.preview.sha256"), true, true))
    , m_revision(textLabel(this, QStringLiteral("service.video.preview.revision"), true, true))
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

void VideoReviewPreviewView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    makePlayer();
}

void VideoReviewPreviewView::hideEvent(QHideEvent *event)
{
    if (m_player)
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
