#include "servicetaskpresentation.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"

namespace {

// Ids of proposals match as UUIDs; a text that is no UUID matches nothing.
bool sameProposal(const QString &text, const QUuid &latest)
{
    const auto parsed = StrictFormats::parseUuid(text);
    return parsed && *parsed == latest;
}

bool sameTask(const ServiceReceipt &a, const ServiceReceipt &b)
{
    return a.id == b.id && a.company_id == b.company_id && a.local_project_id == b.local_project_id
        && a.backup_id == b.backup_id && a.source_fingerprint == b.source_fingerprint && a.kind == b.kind
        && a.status == b.status && a.revision == b.revision;
}

} // namespace

std::optional<qint64> ServiceTaskPresentation::approvedVersion() const
{
    if (!request.status.is(ServiceStatus::approved) || !detail || !sameTask(detail->request, request))
        return std::nullopt;
    const auto latest = StrictFormats::parseUuid(request.latest_proposal_id.value_or(QString()));
    if (!latest || !sameProposal(detail->request.latest_proposal_id.value_or(QString()), *latest))
        return std::nullopt;

    const ServiceProposal *proposal = nullptr;
    for (const ServiceProposal &candidate : detail->proposals) {
        if (!sameProposal(candidate.id, *latest))
            continue;
        if (proposal)
            return std::nullopt; // two proposals claim the same id: name none
        proposal = &candidate;
    }
    if (!proposal || proposal->version_number < 1 || proposal->content.kind != request.kind)
        return std::nullopt;
    if (request.kind == ServiceKind::filmEditing && !proposal->content.video)
        return std::nullopt;
    for (const ServiceDecision &decision : detail->decisions)
        if (decision.decision == QLatin1String("approve") && sameProposal(decision.proposal_id, *latest))
            return proposal->version_number;
    return std::nullopt;
}

QString ServiceTaskPresentation::statusTitle() const
{
    if (const auto version = approvedVersion()) {
        if (request.kind == ServiceKind::filmEditing)
            return loc("Video version %lld approved", {*version});
        return loc("Proposal version %lld approved", {*version});
    }
    return request.statusTitle();
}

QString ServiceTaskPresentation::versionsActionTitle() const
{
    if (request.status.is(ServiceStatus::approved) && approvedVersion())
        return loc("View approved version");
    return loc("View sent versions");
}

std::optional<QString> ServiceTaskPresentation::closedMessage() const
{
    if (request.status.is(ServiceStatus::approved))
        return loc("This task is approved. Its saved versions and feedback remain available.");
    if (request.status.is(ServiceStatus::cancelled))
        return loc("This task is cancelled. Its saved versions and feedback remain available.");
    return std::nullopt;
}
