#include "foundation/units/datetimetext.h"
#include "workspace/sorvaneinboxrowcontent.h"

#include "editor/editorpresentation.h"
#include "foundation/localization.h"

bool sorvaneTaskClosed(const SorvaneInboxRow &row)
{
    return row.request.status.isClosed();
}

SorvaneInboxRowContent SorvaneInboxRowContent::make(const SorvaneInboxRow &row, const QDateTime &now)
{
    SorvaneInboxRowContent content;
    content.title = row.request.title;
    content.campaign = row.film.campaignTitle;
    content.statusTitle = row.request.statusTitle();
    content.kindSymbol = EditorPresentation::kindSymbol(row.request.kind);
    if (sorvaneTaskClosed(row))
        return content;
    const SorvaneScheduling &scheduling = row.scheduling;
    if (row.request.kind == ServiceKind::filmEditing)
        content.target = loc("%lld h target", {scheduling.targetHours});
    if (scheduling.startedAt) {
        content.started = loc("Editing started %@", {shortDateTimeText(*scheduling.startedAt)});
    } else if (scheduling.dueAt) {
        content.startBy = loc("Start by %@", {shortDateTimeText(*scheduling.dueAt)});
        content.deadline = SorvaneDeadline::at(*scheduling.dueAt, now);
    }
    if (scheduling.blockedReason && *scheduling.blockedReason != SorvaneScheduling::BlockedReason::not_waiting)
        content.blocked = SorvaneDate::blocked(SorvaneScheduling::rawValue(*scheduling.blockedReason));
    return content;
}
