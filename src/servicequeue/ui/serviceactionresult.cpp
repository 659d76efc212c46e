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

// Keeps a revealed widget in view while it settles (a player grows once its
// video is read), until anything else moves the page: the person scrolling,
// or another reveal. Its own meta-object lets a search by type find only
// followers, never another object that happens to share the name.
class Follower final : public QObject
{
    Q_OBJECT
public:
    explicit Follower(QWidget *widget) : QObject(widget), m_widget(widget)
    {
        setObjectName(QStringLiteral("service.reveal"));
        widget->installEventFilter(this);
        for (QScrollArea *area : areas())
            for (QScrollBar *bar : {area->horizontalScrollBar(), area->verticalScrollBar()})
                connect(bar, &QScrollBar::valueChanged, this, [this] {
                    if (!m_moving)
                        deleteLater();
                });
    }

    void follow()
    {
        m_moving = true; // settling layouts may move the bars too
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QScrollArea *area : m_widget->isVisible() ? areas() : QList<QScrollArea *>()) {
            const QPoint at = m_widget->mapTo(area->widget(), QPoint(0, 0));
            show(area->horizontalScrollBar(), at.x(), m_widget->width(), area->viewport()->width());
            show(area->verticalScrollBar(), at.y(), m_widget->height(), area->viewport()->height());
        }
        m_moving = false;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
            QTimer::singleShot(0, this, [this] { follow(); }); // once the layouts it moved are settled
        return false;
    }

private:
    // The scroll areas around the widget, innermost first.
    QList<QScrollArea *> areas() const
    {
        QList<QScrollArea *> found;
        for (QWidget *up = m_widget->parentWidget(); up; up = up->parentWidget())
            if (auto *area = qobject_cast<QScrollArea *>(up); area && area->widget() && area->widget()->isAncestorOf(m_widget))
                found << area;
        return found;
    }

    QWidget *m_widget;
    bool m_moving = false;
};

} // namespace

void ServiceActionResult::reveal(QWidget *widget)
{
    // Queued behind the widget's own showing: the layouts it changed are
    // settled first, or it would have no place yet.
    QTimer::singleShot(0, widget, [widget] {
        for (Follower *earlier : widget->window()->findChildren<Follower *>(QStringLiteral("service.reveal")))
            delete earlier;
        (new Follower(widget))->follow();
    });
}

#include "serviceactionresult.moc"
