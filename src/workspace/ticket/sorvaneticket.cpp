#include "workspace/ticket/sorvaneticket.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "servicequeue/proposals/servicetaskpresentation.h"
#include "workspace/sorvanedate.h"

namespace SorvaneTicket {

QString rawValue(SorvaneDetailTab tab)
{
    switch (tab) {
    case SorvaneDetailTab::task:
        return QString::fromUtf8(locKey("Task"));
    case SorvaneDetailTab::instructions:
        return QString::fromUtf8(locKey("Script and shots"));
    case SorvaneDetailTab::material:
        return QString::fromUtf8(locKey("Material"));
    case SorvaneDetailTab::versions:
        return QString::fromUtf8(locKey("Versions"));
    }
    return {};
}

std::optional<SorvaneDetailTab> tabFromRaw(const QString &raw)
{
    for (SorvaneDetailTab tab : allTabs())
        if (rawValue(tab) == raw)
            return tab;
    return std::nullopt;
}

QList<SorvaneDetailTab> allTabs()
{
    return {SorvaneDetailTab::task, SorvaneDetailTab::instructions, SorvaneDetailTab::material,
            SorvaneDetailTab::versions};
}

bool claimedByMe(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID)
{
    const auto &holder = row.request.claimed_by;
    if (!holder || !operatorID)
        return !holder && !operatorID;
    return holder->toLower() == operatorID->toString(QUuid::WithoutBraces).toLower();
}

bool isNext(const SorvaneInboxRow &row, const std::optional<SorvaneInboxRow> &next)
{
    return next && next->request.id == row.request.id;
}

bool openedHere(const SorvaneInboxRow &row, const std::optional<ServiceDetail> &detail)
{
    return detail && detail->request.id == row.request.id;
}

Unopened unopened(const SorvaneInboxRow &row, bool opening, bool failed, const QString &company)
{
    if (opening)
        return {Unopened::Kind::opening, loc("The server checks access to this customer's submitted version.")};
    // A failure first: the notices say why, and the company may not have been chosen yet.
    if (failed)
        return {Unopened::Kind::failed, loc("This task could not be opened.")};
    // The same trimmed reading as the queue's: a company typed in the settings closes the task.
    const QString typed = company.trimmed();
    if (typed.isEmpty())
        return {Unopened::Kind::noCompany, loc("This task is not open, as no company is chosen in the settings.")};
    if (StrictFormats::parseUuid(typed) != StrictFormats::parseUuid(row.request.company_id))
        return {Unopened::Kind::otherCompany, loc("This task is not open, as another company is chosen in the settings.")};
    return {Unopened::Kind::notOpen, loc("This task is not open.")};
}

bool isClosed(const SorvaneInboxRow &row)
{
    return row.request.status.isClosed();
}

Action action(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID,
              const std::optional<SorvaneInboxRow> &next, const std::optional<ServiceDetail> &detail)
{
    const ServiceStatus &status = row.request.status;
    const bool film = row.request.kind == ServiceKind::filmEditing;
    if (isClosed(row)) {
        if (openedHere(row, detail) && !detail->proposals.isEmpty())
            return {Action::Kind::versions, ServiceTaskPresentation{row.request, detail}.versionsActionTitle()};
        return {};
    }
    if (status.is(ServiceStatus::waiting)) {
        if (!film)
            return {Action::Kind::claim, loc("Tag opgaven"), openedHere(row, detail)};
        if (row.scheduling.canClaim && isNext(row, next))
            return {Action::Kind::takeNext, loc("Take next task")};
        const QString code = row.scheduling.blockedReason
            ? SorvaneScheduling::rawValue(*row.scheduling.blockedReason)
            : QStringLiteral("queue_order");
        return {Action::Kind::blocked, SorvaneDate::blocked(code)};
    }
    if (!film || row.scheduling.startedAt || !claimedByMe(row, operatorID))
        return {};
    if (status.is(ServiceStatus::active))
        return {Action::Kind::start, loc("Start editing")};
    if (status.is(ServiceStatus::changesRequested)) {
        if (isNext(row, next))
            return {Action::Kind::start, loc("Continue revisions")};
        return {Action::Kind::start, loc("Continue revisions"), false, loc("Start the next due task first.")};
    }
    return {};
}

bool hasVerifiedDownload(const std::optional<ServiceDownload> &download)
{
    return download && download->verified;
}

SourceStep sourceStep(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID,
                      const std::optional<ServiceDownload> &download, bool folderChosen, bool folderSelectable)
{
    if (hasVerifiedDownload(download))
        return {SourceStep::Kind::openBrief, loc("Open submitted instructions")};
    const bool closed = isClosed(row);
    const bool workable = row.request.status.isWorkable();
    if (!claimedByMe(row, operatorID) || (!closed && !workable))
        return {SourceStep::Kind::explanation,
                closed ? loc("Saved material remains available to this task's assigned sorvane.")
                       : loc("Take the task to download its frozen instructions and original material.")};
    if (!folderChosen)
        return {SourceStep::Kind::chooseFolder, loc("Choose project folder…"), folderSelectable};
    return {SourceStep::Kind::download,
            closed ? loc("Download submitted project for review") : loc("Download submitted project")};
}

} // namespace SorvaneTicket
