#pragma once

// The per-task work the service queue keeps when another task is opened.

#include "serviceidentity.h"
#include "videorecords.h"

#include <QSet>
#include <QUuid>

struct SelectionKey
{
    ServiceIdentity scope;
    QUuid companyID;
    QUuid operatorID;
    QString requestID;
    std::optional<QUrl> inbox;

    bool operator==(const SelectionKey &other) const;
};

size_t qHash(const SelectionKey &key, size_t seed = 0);

struct SelectionDraft
{
    std::optional<ServiceDownload> download;
    std::optional<PreparedHandoff> prepared;
    QList<PreparedHandoff> workspaces;
    std::optional<ProposalFile> proposalFile;
    std::optional<ProposalPreview> preview;
    std::optional<VideoReviewPreview> videoPreview;
    QList<VideoReviewPreview> videoPreviews;
    QSet<QString> uncertainVideoProposalIDs;
    std::optional<VideoDeliveryStatus> confirmedVideoDelivery;
    std::optional<QUrl> videoFile;
    QString videoLabel;
    QString videoSummary;
    QString videoEditor;
};
