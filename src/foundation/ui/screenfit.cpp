#include "screenfit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QWidget>
#include <QWindow>

namespace {

// Larger than the frames measured (openbox: 1, 20, 1, 5): a window fitted with
// it is at worst a little small until its own frame is known.
constexpr QMargins estimatedFrame(8, 40, 8, 8);

// The frame around `window`: its own once the window manager has made it (a
// mapped window without one has none), else the largest of the other shown
// windows', else the estimate.
QMargins frameOf(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle()) {
        const QMargins own = handle->frameMargins();
        if (!own.isNull() || handle->isExposed())
            return own;
    }
    bool seen = false;
    QMargins largest;
    for (const QWidget *other : QApplication::topLevelWidgets()) {
        const QWindow *handle = other->windowHandle();
        if (other == window || !other->isVisible() || !handle || !handle->isExposed())
            continue;
        const QMargins margins = handle->frameMargins();
        largest = QMargins(qMax(largest.left(), margins.left()), qMax(largest.top(), margins.top()),
                           qMax(largest.right(), margins.right()), qMax(largest.bottom(), margins.bottom()));
        seen = true;
    }
    return seen ? largest : estimatedFrame;
}

QSize extent(const QMargins &frame)
{
    return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

// The frame's rectangle for a window of `size` whose frame now starts at
// `at`: no larger than `available` (but never below `floor`), centred or
// else moved in as far as needed. A window larger than the screen keeps its
// title bar on it.
QRect fitted(const QRect &available, const QMargins &frame, QPoint at, const QSize &size, const QSize &floor,
             bool centre)
{
    const QSize outer = size.boundedTo(available.size() - extent(frame)).expandedTo(floor) + extent(frame);
    if (centre)
        at = available.topLeft()
             + QPoint((available.width() - outer.width()) / 2, (available.height() - outer.height()) / 2);
    at.setX(qMax(available.left(), qMin(at.x(), available.right() + 1 - outer.width())));
    at.setY(qMax(available.top(), qMin(at.y(), available.bottom() + 1 - outer.height())));
    return {at, outer};
}

} // namespace

bool ScreenFit::anotherWindowShown() const
{
    for (QWidget *other : QApplication::topLevelWidgets()) {
        if (other == m_window || !other->isVisible())
            continue;
        const auto *fit = other->findChild<ScreenFit *>(QString(), Qt::FindDirectChildrenOnly);
        if (fit && fit->m_mode == Mode::window)
            return true;
    }
    return false;
}

ScreenFit::ScreenFit(QWidget *window, Mode mode) : QObject(window), m_window(window), m_mode(mode)
{
    window->installEventFilter(this);
}

void ScreenFit::keepWindow(QWidget *window)
{
    new ScreenFit(window, Mode::window);
}

void ScreenFit::keepDialog(QWidget *dialog)
{
    new ScreenFit(dialog, Mode::dialog);
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    if (m_fitting)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // A window restored from minimised stays as it was.
        if (watched == m_window && !static_cast<QShowEvent *>(event)->spontaneous()) {
            if (QWindow *handle = m_window->windowHandle())
                handle->installEventFilter(this); // once; a second install only moves it first
            m_waiting = true;
            // Only the first window is centred: a new window exactly over
            // another would look as if nothing had opened. The window
            // manager places the others; they are only kept on the screen.
            m_centred = m_mode == Mode::window && !anotherWindowShown();
            fit(true);
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // The window manager has framed the window and moved it.
        if (m_waiting && frameOf(m_window) != m_frame)
            fit(false);
        break;
    case QEvent::Expose:
        // Mapped: the frame is known now, and a dialog has its place.
        if (watched == m_window->windowHandle() && m_waiting && m_window->windowHandle()->isExposed()) {
            m_waiting = false;
            if (m_mode == Mode::dialog || frameOf(m_window) != m_frame)
                fit(false);
        }
        break;
    case QEvent::Hide:
        if (watched == m_window)
            m_waiting = false;
        break;
    default:
        break;
    }
    return false;
}

void ScreenFit::fit(bool placing)
{
    const QScreen *screen = m_window->screen();
    // The window manager sizes a maximised or full-screen window itself.
    if (!screen || m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QScopedValueRollback fitting(m_fitting, true);
    m_frame = frameOf(m_window);
    const bool window = m_mode == Mode::window;
    // Once mapped, the platform's position: the widget hears of the window
    // manager's move later. Before that the widget's: Qt's centring of a
    // dialog may not have reached the platform window yet, which then still
    // says 0,0 (a dialog fitted from that was put in the screen's corner).
    const QWindow *handle = m_window->windowHandle();
    const bool mapped = handle && !placing && handle->isExposed();
    const QRect current(mapped ? handle->geometry().topLeft() : m_window->geometry().topLeft(), m_window->size());
    // The size asked for at the show, or grown since: a frame estimated too
    // large must not leave the window small.
    m_wanted = placing ? current.size() : m_wanted.expandedTo(current.size());
    const QRect outer = fitted(screen->availableGeometry(), m_frame,
                               current.topLeft() - QPoint(m_frame.left(), m_frame.top()), m_wanted,
                               window ? m_window->minimumSize() : QSize(), m_centred);
    const QSize size = outer.size() - extent(m_frame);
    // Only a dialog gives up its minimum size (its content scrolls); one that
    // still fits keeps its layout's.
    const QSize minimum = m_window->minimumSize();
    if (!window && minimum.boundedTo(size) != minimum)
        m_window->setMinimumSize(minimum.boundedTo(size));
    if (size != current.size())
        m_window->resize(size);
    // Qt centres a dialog over its parent after its show event; afterwards it
    // is moved only where it must be, and Qt centres it again on its next show.
    // A window the window manager places is moved only once it was placed.
    if (m_centred || (window && mapped)) {
        m_window->move(outer.topLeft());
    } else if (!window && !placing && outer.topLeft() != current.topLeft() - QPoint(m_frame.left(), m_frame.top())) {
        const bool moved = m_window->testAttribute(Qt::WA_Moved);
        m_window->move(outer.topLeft());
        m_window->setAttribute(Qt::WA_Moved, moved);
    }
}

ScreenFit::ScrollArea::ScrollArea(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
}

int ScreenFit::ScrollArea::heightForWidth(int width) const
{
    const QWidget *content = widget();
    if (!content)
        return 0;
    const int frame = 2 * frameWidth();
    return frame
           + (content->hasHeightForWidth() ? content->heightForWidth(width - frame) : content->sizeHint().height());
}

QSize ScreenFit::ScrollArea::sizeHint() const
{
    const int width = QScrollArea::sizeHint().width();
    return {width, heightForWidth(width)};
}

QSize ScreenFit::ScrollArea::minimumSizeHint() const
{
    const QSize scrolling = QScrollArea::minimumSizeHint();
    const QWidget *outer = window();
    const QScreen *screen = outer->screen();
    if (outer == this || !outer->isVisible() || !screen)
        return scrolling;
    // Content that grows while the window shows makes the window grow, as far
    // as the screen has room below it.
    const int below = screen->availableGeometry().bottom() - outer->frameGeometry().bottom();
    const int wanted = qMin(heightForWidth(width()), height() + qMax(0, below));
    return {scrolling.width(), qMax(scrolling.height(), wanted)};
}

bool ScreenFit::ScrollArea::eventFilter(QObject *watched, QEvent *event)
{
    // The content's own layout changes never reach the layout this area sits in.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
