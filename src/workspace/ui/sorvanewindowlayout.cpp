#include "sorvanewindowlayout.h"

#include <QEvent>
#include <QLayout>
#include <QMainWindow>

namespace {

// Each widget before its children, so the outer layouts settle first.
void invalidate(QWidget *widget)
{
    if (QLayout *layout = widget->layout())
        layout->invalidate();
    widget->updateGeometry();
    for (QObject *child : widget->children())
        if (auto *childWidget = qobject_cast<QWidget *>(child); childWidget && !childWidget->isWindow())
            invalidate(childWidget);
}

void activate(QWidget *widget)
{
    if (QLayout *layout = widget->layout())
        layout->activate();
    for (QObject *child : widget->children())
        if (auto *childWidget = qobject_cast<QWidget *>(child); childWidget && !childWidget->isWindow())
            activate(childWidget);
}

} // namespace

SorvaneWindowLayout::SorvaneWindowLayout(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sorvane.windowLayout"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // Never drawn and never takes room: it only watches.
    setVisible(false);
    attach();
}

QWidget *SorvaneWindowLayout::content(QWidget *window)
{
    if (auto *main = qobject_cast<QMainWindow *>(window); main && main->centralWidget())
        return main->centralWidget();
    return window;
}

QRect SorvaneWindowLayout::contentRect(QWidget *window)
{
    QWidget *area = content(window);
    return area == window ? window->contentsRect() : area->geometry();
}

bool SorvaneWindowLayout::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange)
        attach();
    return QWidget::event(event);
}

// Ends the watch of the previous window and starts one on the current.
void SorvaneWindowLayout::attach()
{
    if (m_window)
        m_window->removeEventFilter(this);
    if (m_content)
        m_content->removeEventFilter(this);
    m_window = nullptr;
    m_content = nullptr;
    m_lastRect.reset();
    m_activated = false;
    if (!parentWidget())
        return;
    m_window = window();
    m_content = content(m_window);
    m_window->installEventFilter(this);
    if (m_content != m_window)
        m_content->installEventFilter(this);
    scheduleLayout();
}

bool SorvaneWindowLayout::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
        if (watched == m_content || (watched == m_window && event->type() == QEvent::Resize))
            scheduleLayout();
        break;
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
        // A main window's central widget came or went: watch the new one.
        if (watched == m_window && m_window && content(m_window) != m_content) {
            if (m_content && m_content != m_window)
                m_content->removeEventFilter(this);
            m_content = content(m_window);
            if (m_content != m_window)
                m_content->installEventFilter(this);
            scheduleLayout();
        }
        break;
    case QEvent::WindowActivate:
        if (watched == m_window && !m_activated) {
            m_activated = true;
            m_lastRect.reset();
            scheduleLayout();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void SorvaneWindowLayout::scheduleLayout()
{
    if (!m_window)
        return;
    const QRect rect = contentRect(m_window);
    if (m_lastRect == rect)
        return;
    m_lastRect = rect;
    if (m_pending)
        return;
    m_pending = true;
    // Bound to this object: a destroyed observer's relayout never runs.
    QMetaObject::invokeMethod(
        this,
        [this, window = QPointer<QWidget>(m_window)] {
            m_pending = false;
            if (!window || !parentWidget() || this->window() != window)
                return;
            QWidget *area = content(window);
            if (!area)
                return;
            invalidate(area);
            activate(area);
            Q_EMIT relaidOut();
        },
        Qt::QueuedConnection);
}
