#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <optional>

// An invisible child that watches the window it lives in and lays the
// window's content out again when the content rectangle changes, and once
// when the window is first activated. At most one relayout is queued at a
// time; an unchanged rectangle queues nothing.
class SorvaneWindowLayout final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneWindowLayout(QWidget *parent = nullptr);

    bool pending() const { return m_pending; }
    // The widget whose rectangle is watched and whose tree is laid out:
    // a main window's central widget, otherwise the window itself.
    static QWidget *content(QWidget *window);

Q_SIGNALS:
    // A queued relayout ran over the window's content.
    void relaidOut();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attach();
    void scheduleLayout();
    static QRect contentRect(QWidget *window);

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_content;
    bool m_pending = false;
    std::optional<QRect> m_lastRect;
    bool m_activated = false;
};
