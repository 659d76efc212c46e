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
            m_asked = m_window->geometry();
            fit(true);
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // Moved or resized by the application, not reported by the platform:
        // a new size (a dialog's height for its content) is the one wanted now.
        if (watched == m_window && !event->spontaneous()) {
            m_asked = m_window->geometry();
            if (event->type() == QEvent::Resize)
                m_wanted = m_asked.size();
        }
        if (m_waiting
            && (frameOf(m_window) != m_frame
                || (watched == m_window->windowHandle() && m_window->windowHandle()->geometry() != m_asked))) {
            // The window manager has framed the window and moved it, or the
            // platform window reports a place or size other than the one asked for.
            fit(false);
        } else if (m_settling && watched == m_window->windowHandle()) {
            // The window manager's answer to the fit at the mapping, checked
            // once: an answer to an earlier request can undo it. One that
            // insists on its own place is not argued with further.
            m_settling = false;
            fit(false);
        }
        break;
    case QEvent::Expose:
        // Mapped: the frame is known now, and a dialog has its place.
        if (watched == m_window->windowHandle() && m_waiting && m_window->windowHandle()->isExposed()) {
            m_waiting = false;
            m_settling = fit(false);
        }
        break;
    case QEvent::Hide:
        if (watched == m_window)
            m_waiting = m_settling = false;
        break;
    default:
        break;
    }
    return false;
}

bool ScreenFit::fit(bool placing)
{
    const QScreen *screen = m_window->screen();
    // The window manager sizes a maximised or full-screen window itself.
    if (!screen || m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return false;
    const QScopedValueRollback fitting(m_fitting, true);
    m_frame = frameOf(m_window);
    const bool window = m_mode == Mode::window;
    // Once mapped, the platform window's geometry: the widget hears of the
    // window manager's answers later. Before that the geometry asked for: Qt's
    // centring of a dialog may not have reached the platform window yet, which
    // then still says 0,0, and the widget takes on what the platform reports
    // meanwhile (the first size of a dialog's window; 0,0 while the window
    // manager frames it). A fit from those put a dialog in the screen's corner,
    // or kept its first size.
    QWindow *handle = m_window->windowHandle();
    const bool mapped = handle && !placing && handle->isExposed();
    const QRect current = mapped ? handle->geometry() : m_asked;
    const QPoint inset(m_frame.left(), m_frame.top());
    // The size the application asked for, or grown since: a frame estimated
    // too large must not leave the window small.
    m_wanted = placing ? current.size() : m_wanted.expandedTo(current.size());
    const QRect outer = fitted(screen->availableGeometry(), m_frame, current.topLeft() - inset, m_wanted,
                               window ? m_window->minimumSize() : QSize(), m_centred);
    const QSize size = outer.size() - extent(m_frame);
    // Only a dialog gives up its minimum size (its content scrolls); one that
    // still fits keeps its layout's.
    const QSize minimum = m_window->minimumSize();
    if (!window && minimum.boundedTo(size) != minimum)
        m_window->setMinimumSize(minimum.boundedTo(size));
    // Qt centres a dialog over its parent after its show event, and the window
    // manager places a window other than the first: those are moved only once
    // placed, and then only as far as the screen needs (one wholly on it is
    // left where it is).
    const bool resizes = size != current.size();
    const bool places = m_centred || (!placing && (mapped || !window));
    const bool moves = places && outer.topLeft() != current.topLeft() - inset;
    // The platform window is given the whole rectangle: QWidget asks it only
    // for what differs from the widget's own geometry and takes the rest from
    // the platform window, whose size or position can be a window manager's
    // answer to an earlier request (a window so moved kept its old size).
    const bool platform = handle && handle->handle();
    // The window's own area goes inside the frame by the margins this fit
    // counted with. QWidget::move converts through the widget's frame strut
    // instead, which at the mapping can still be empty: the window's own area
    // then took the frame's place, its title bar above the screen.
    const QRect target(outer.topLeft() + inset, size);
    // Before the mapping, a window the fit places is given its whole rectangle
    // again whenever the platform window reports another: a resize (the fit's
    // own, a dialog's new height for its content) asks for the platform
    // window's last reported place, 0,0 while the window manager frames it.
    // Carried out after the mapping, that put the title bar above the screen.
    if (moves || (places && !mapped && (resizes || (platform && handle->geometry() != target)))) {
        const bool moved = m_window->testAttribute(Qt::WA_Moved);
        const bool resized = m_window->testAttribute(Qt::WA_Resized);
        m_window->setGeometry(target);
        if (platform && handle->geometry() != target)
            handle->setGeometry(target);
        // A dialog is centred again by Qt on its next show.
        if (!window) {
            m_window->setAttribute(Qt::WA_Moved, moved);
            m_window->setAttribute(Qt::WA_Resized, resized || resizes);
        }
        m_asked = target;
    } else if (resizes) {
        m_window->resize(size);
        if (platform && mapped && handle->size() != size)
            handle->resize(size);
        m_asked.setSize(size);
    }
    return moves || resizes;
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
