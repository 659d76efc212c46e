#pragma once

#include "selectionmemory.h"
#include "servicequeuepart.h"
#include "videorecords.h"

#include <QSet>

// The video draft of the opened film task: the export and its texts, the
// draft under review, the drafts prepared earlier and their send state.
class ServiceVideoDraft : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_RECORD(std::optional<VideoReviewPreview>, videoPreview, setVideoPreview)
    TAVLON_PART_RECORD(QList<VideoReviewPreview>, videoPreviews, setVideoPreviews)
    TAVLON_PART_VALUE(QSet<QString>, uncertainVideoProposalIDs, setUncertainVideoProposalIDs)
    TAVLON_PART_RECORD(std::optional<VideoDeliveryStatus>, confirmedVideoDelivery, setConfirmedVideoDelivery)
    TAVLON_PART_VALUE(std::optional<QString>, videoSendingProposalID, setVideoSendingProposalID)
    TAVLON_PART_VALUE(std::optional<QUrl>, videoFile, setVideoFile)
    TAVLON_PART_VALUE(QString, videoLabel, setVideoLabel, defaultVideoLabel())
    TAVLON_PART_VALUE(QString, videoSummary, setVideoSummary)
    TAVLON_PART_VALUE(QString, videoEditor, setVideoEditor, defaultVideoEditor())
    TAVLON_PART_VALUE(bool, videoQC, setVideoQC, false)
    TAVLON_PART_VALUE(bool, videoConfirmation, setVideoConfirmation, false)

public:
    using ServiceQueuePart::ServiceQueuePart;

    // The editor name credited on a video draft when nothing else was entered.
    static QString defaultVideoEditor();
    static QString defaultVideoLabel();

    // The draft under review and its tick go: it no longer describes what the
    // form holds, or it was sent.
    void dropDraft()
    {
        setVideoPreview(std::nullopt);
        setVideoQC(false);
    }
};
