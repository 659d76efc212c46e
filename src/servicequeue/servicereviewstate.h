#pragma once

#include "servicequeuepart.h"
#include "videorecords.h"

// What the opened film task's review holds: its customer reactions, the one
// pulled for playback, and the downloaded review video of a proposal.
class ServiceReviewState : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_RECORD(QList<ServiceReactionSummary>, reactions, setReactions)
    TAVLON_PART_RECORD(std::optional<ServiceReactionDownload>, reactionDownload, setReactionDownload)
    TAVLON_PART_VALUE(bool, reactionHistoryLoaded, setReactionHistoryLoaded, false)
    TAVLON_PART_RECORD(std::optional<ServiceReviewVideoDownload>, reviewVideo, setReviewVideo)

public:
    using ServiceQueuePart::ServiceQueuePart;
};
