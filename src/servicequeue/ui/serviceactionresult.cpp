#include "serviceactionresult.h"

#include "editor/editormodel.h"

#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

ServiceActionResult::ServiceActionResult(EditorModel &editor, QObject *parent) : QObject(parent), m_editor(editor)
{
    // The operation sets its results before it ends.
    connect(&m_editor, &EditorModel::busyChanged, this, [this] {
        if (!m_editor.busy())
            m_awaited.clear();
    });
}

void ServiceActionResult::await(const QString &name, const std::function<void()> &action)
{
    m_awaited = name;
    action();
    if (!m_editor.busy())
        m_awaited.clear();
}

void ServiceActionResult::arrived(QWidget *widget)
{
    if (widget && !m_awaited.isEmpty() && widget->objectName() == m_awaited)
        reveal(widget);
}

namespace {

// The least move of `bar` that shows [start, start + length) in a view of `view`.
void show(QScrollBar *bar, int start, int length, int view)
{
    const int shown = qMin(length, view); // the beginning of what is taller than the view
    if (start < bar->value())
        bar->setValue(start);
    else if (start + shown > bar->value() + view)
        bar->setValue(start + shown - view);
}

} // namespace

void ServiceActionResult::reveal(QWidget *widget)
{
    // Queued behind the widget's own showing; the layouts it changed are
    // settled first, or it would have no place yet.
    QTimer::singleShot(0, widget, [widget] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (!widget->isVisible())
            return;
        for (QWidget *up = widget->parentWidget(); up; up = up->parentWidget()) {
            auto *area = qobject_cast<QScrollArea *>(up);
            if (!area || !area->widget() || !area->widget()->isAncestorOf(widget))
                continue;
            const QPoint at = widget->mapTo(area->widget(), QPoint(0, 0));
            show(area->horizontalScrollBar(), at.x(), widget->width(), area->viewport()->width());
            show(area->verticalScrollBar(), at.y(), widget->height(), area->viewport()->height());
        }
    });
}
