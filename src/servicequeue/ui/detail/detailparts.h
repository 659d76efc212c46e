#pragma once

// What the opened task's detail is built from, and the small pieces its
// sections share.

#include "servicequeue/ui/videos/servicevideoreturnview.h"

#include <QHash>
#include <QLabel>
#include <QVBoxLayout>
#include <functional>

class EditorModel;
class QPushButton;
class ServiceActionResult;
class ServiceQueueEditor;
class ServiceQueueModel;

struct ServiceTaskDetailParts
{
    ServiceQueueModel *model = nullptr;
    EditorModel *editorModel = nullptr; // for its signals and its project folder
    ServiceQueueEditor *editor = nullptr; // what the operations are given
    bool detailOnly = false; // embedded in a ticket: no claim, no versions below the task
    bool versionsOnly = false; // the versions layout
    std::function<void()> onShowVersions; // the way to the versions layout, when embedded
    std::function<void()> askCopy; // asks the screen to confirm the film-folder copy
    ServiceVideoReturnView::Seams seams; // players, file choosers, desktop services
    ServiceActionResult *results = nullptr; // the screen's; the detail makes its own when none
};

namespace DetailText {
// A button with a symbol (none for an empty name); prominent ones are filled.
QPushButton *button(QWidget *parent, const QString &title, const QString &symbol, const QString &name = {},
                    bool prominent = false);
// An icon beside a text; the row carries `name`, its text `name` + ".text".
QWidget *symbolLabel(QWidget *parent, const QString &symbol, const QString &text, const QString &name);
} // namespace DetailText

// Keeps one widget per key in a layout, in the keys' order: widgets of keys
// still present are kept (with their players and open state), new keys get
// `make`, widgets of keys gone are hidden and deleted later (one of their
// buttons may be what changed the model).
template<class W>
void syncKeyed(QVBoxLayout *layout, QHash<QString, W *> &items, const QStringList &keys,
               const std::function<W *(const QString &key)> &make)
{
    for (auto it = items.begin(); it != items.end();) {
        if (keys.contains(it.key())) {
            ++it;
            continue;
        }
        layout->removeWidget(it.value());
        it.value()->hide();
        it.value()->deleteLater();
        it = items.erase(it);
    }
    for (int index = 0; index < keys.size(); ++index) {
        W *widget = items.value(keys[index]);
        if (!widget) {
            widget = make(keys[index]);
            items.insert(keys[index], widget);
        } else {
            layout->removeWidget(widget);
        }
        layout->insertWidget(index, widget);
        widget->show();
    }
}

// Removes and deletes later everything a rebuilt layout holds.
void clearLater(QLayout *layout);
