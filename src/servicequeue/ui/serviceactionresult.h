#pragma once

#include <QObject>
#include <QString>
#include <functional>

class EditorModel;
class QWidget;

// Brings what a person's action produced into view. The control runs its
// action through `await`, naming the widget its result shows in; while the
// operation it started runs, every arrival of a widget by that name (the
// views report them through `arrived` where they show them) scrolls the
// scroll areas around it to it. A widget shown by any other refresh scrolls
// nothing: the page stays where the person left it.
class ServiceActionResult final : public QObject
{
    Q_OBJECT
public:
    ServiceActionResult(EditorModel &editor, QObject *parent);

    // Runs `action`; nothing is awaited once it has started no operation.
    void await(const QString &name, const std::function<void()> &action);
    // The view shows `widget` (made anew or not); revealed when awaited.
    void arrived(QWidget *widget);

    // Scrolls every scroll area around `widget` to it once the layouts it just
    // joined are settled (a widget taller than the view shows its top), and
    // keeps it in view while it grows, until anything else moves the page.
    static void reveal(QWidget *widget);

private:
    EditorModel &m_editor;
    QString m_awaited;
};
