#pragma once

#include "inbox/sorvaneinboxrecords.h"
#include "workspace/sorvanedate.h"

#include <QDateTime>
#include <QString>
#include <optional>

// What one inbox row shows, worked out from the row and the time now. The
// list's painter and the pinned row widget draw it; neither decides a line.
struct SorvaneInboxRowContent
{
    QString title;
    std::optional<QString> campaign;
    QString statusTitle;
    QString kindSymbol; // "scissors", "lightbulb" or "text.book.closed"
    std::optional<QString> target; // "24 h target"
    std::optional<QString> started; // "Editing started …"
    std::optional<QString> startBy; // "Start by …", with the countdown below
    std::optional<SorvaneDeadline> deadline;
    std::optional<QString> blocked;

    static SorvaneInboxRowContent make(const SorvaneInboxRow &row, const QDateTime &now);
};

// A task that is over: no schedule is shown for it.
bool sorvaneTaskClosed(const SorvaneInboxRow &row);
