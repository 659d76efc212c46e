#pragma once

// The stages in which a video draft or a sent video version is shown.

#include "servicequeue/servicerecords.h"

#include <QList>
#include <QString>

enum class ServiceVideoStage {
    preparedLocally,  // prepared, quality check not ticked
    reviewed,         // quality check ticked, ready to send
    sending,          // this draft's send is running
    sendUnconfirmed,  // a send started and was never confirmed
    sentForReview,    // sent; no deciding answer from the customer
    changesRequested, // the customer's latest decision asks for changes
    approved,         // the customer's latest decision approves it
};

namespace VideoStage {

// The translated title of a stage.
QString title(ServiceVideoStage stage);

// The stage of a sent version from the customer's decisions on it: the
// latest decision by (created_at, id) compared as plain text, the earlier
// one kept among equal pairs.
ServiceVideoStage history(const ServiceProposal &proposal, const QList<ServiceDecision> &decisions);

} // namespace VideoStage
