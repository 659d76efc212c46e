#include "reviewwidgets.h"

#include "foundation/ui/uikit.h"
#include "servicequeue/ui/sorvanevideoplayer.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
void scaleFont(QWidget *widget, double scale, bool bold)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    widget->setFont(font);
}
} // namespace

void ReviewFonts::headline(QWidget *widget)
{
    scaleFont(widget, 1.1, true);
}

void ReviewFonts::subheadline(QWidget *widget)
{
    scaleFont(widget, 0.95, true);
}

void ReviewFonts::caption(QWidget *widget)
{
    scaleFont(widget, 0.85, false);
    UiKit::setSecondary(widget);
}

LinkRowButton::LinkRowButton(QWidget *parent)
    : QPushButton(parent)
    , m_lines(new QVBoxLayout(this))
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // No side margins: the texts line up with the headings and notes around the rows.
    m_lines->setContentsMargins(0, 2, 0, 2);
    m_lines->setSpacing(4);
}

QLabel *LinkRowButton::addLine(const QString &text)
{
    auto *line = new QLabel(text, this);
    line->setTextFormat(Qt::PlainText);
    line->setWordWrap(true);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (m_lines->isEmpty()) {
        line->setForegroundRole(QPalette::Link);
        UiKit::setLinkInk(line);
    }
    m_lines->addWidget(line);
    if (accessibleName().isEmpty())
        setAccessibleName(text);
    updateGeometry();
    return line;
}

QSize LinkRowButton::sizeHint() const
{
    return m_lines->sizeHint();
}

QSize LinkRowButton::minimumSizeHint() const
{
    return QSize(60, m_lines->minimumSize().height());
}

int LinkRowButton::heightForWidth(int width) const
{
    return m_lines->totalHeightForWidth(width);
}

OwnedPlayer::OwnedPlayer(MediaPlayerFactory factory, SorvaneVideoPlayer *surface)
    : m_factory(std::move(factory))
    , m_surface(surface)
{
}

OwnedPlayer::~OwnedPlayer()
{
    release();
}

void OwnedPlayer::show(const QString &file)
{
    // A player that failed is replaced: asking again for its file retries.
    if (m_player && file == m_file && m_player->failure() == MediaFailure::none)
        return;
    release();
    m_file = file;
    if (file.isEmpty())
        return;
    m_player = m_factory(QUrl::fromLocalFile(file));
    m_surface->setPlayer(m_player.get());
    m_surface->setVisible(true);
}

void OwnedPlayer::release()
{
    pause();
    m_surface->setPlayer(nullptr);
    m_surface->setVisible(false);
    m_player.reset();
}

void OwnedPlayer::pause()
{
    if (m_player)
        m_player->pause();
}

void OwnedPlayer::pauseAt(double seconds)
{
    if (!m_player)
        return;
    m_player->pause();
    m_player->seek(MediaTime::fromSeconds(seconds));
}
