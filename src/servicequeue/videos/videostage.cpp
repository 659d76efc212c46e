#include "videostage.h"

#include "foundation/localization.h"
#include "servicequeue/videorecords.h"

QString VideoStage::title(ServiceVideoStage stage)
{
    switch (stage) {
    case ServiceVideoStage::preparedLocally:
        return loc("Prepared locally · review before sending");
    case ServiceVideoStage::reviewed:
        return loc("Reviewed · ready to send");
    case ServiceVideoStage::sending:
        return loc("Sending this reviewed version…");
    case ServiceVideoStage::sendUnconfirmed:
        return loc("Send not confirmed · keep this version");
    case ServiceVideoStage::sentForReview:
        return loc("Sent for customer review");
    case ServiceVideoStage::changesRequested:
        return loc("Customer requested changes");
    case ServiceVideoStage::approved:
        return loc("Customer approved this version");
    }
    return QString();
}

ServiceVideoStage VideoStage::history(const ServiceProposal &proposal, const QList<ServiceDecision> &decisions)
{
    const ServiceDecision *latest = nullptr;
    for (const ServiceDecision &decision : decisions) {
        if (decision.proposal_id != proposal.id)
            continue;
        // Time stamps stay text: the service writes them in one format, and
        // a different format must not be read as a different moment.
        if (!latest || std::pair(decision.created_at, decision.id) > std::pair(latest->created_at, latest->id))
            latest = &decision;
    }
    if (!latest)
        return ServiceVideoStage::sentForReview;
    if (latest->decision == QLatin1String("approve"))
        return ServiceVideoStage::approved;
    if (latest->decision == QLatin1String("request_changes"))
        return ServiceVideoStage::changesRequested;
    return ServiceVideoStage::sentForReview;
}

bool VideoDeliveryStatus::matches(const QString &expectedProposalID) const
{
    if (proposalID != expectedProposalID || customerApproved)
        return false;
    if (state == State::NotConfirmedLocally)
        return !version.has_value();
    return version.has_value() && *version > 0;
}
