#include "videoreturnpresentation.h"

#include "foundation/localization.h"
#include "foundation/units/bytecount.h"
#include "servicequeue/servicequeuemodel.h"


namespace {

bool closed(const ServiceQueueModel &model)
{
    const auto &detail = model.openedTask().detail();
    return detail && detail->request.status.isClosed();
}

} // namespace

QString VideoReturnPresentation::title(const ServiceQueueModel &model)
{
    return closed(model) ? loc("Saved video drafts") : loc("Videoudkast til kunden");
}

std::optional<QString> VideoReturnPresentation::receiptText(const ServiceQueueModel &model)
{
    const auto &delivery = model.videoDraft().confirmedVideoDelivery();
    if (!delivery || delivery->state != VideoDeliveryStatus::State::SentForCustomerReview)
        return std::nullopt;
    return loc("Local receipt · version %lld sent for customer review", {delivery->version.value_or(0)});
}

bool VideoReturnPresentation::showsPreparationForm(const ServiceQueueModel &model)
{
    return !closed(model) || model.videoDraft().videoPreview() || !model.videoDraft().videoPreviews().isEmpty();
}

bool VideoReturnPresentation::prepareEnabled(const ServiceQueueModel &model)
{
    return model.videoDraft().videoFile() && !model.videoDraft().videoLabel().trimmed().isEmpty() && !model.videoDraft().videoSummary().trimmed().isEmpty()
        && !model.videoDraft().videoEditor().trimmed().isEmpty();
}

QString VideoReturnPresentation::fileText(const ServiceQueueModel &model)
{
    if (!model.videoDraft().videoFile())
        return loc("MP4, MOV eller M4V · højst 512 MiB");
    return model.videoDraft().videoFile()->fileName();
}

QString VideoReturnPresentation::stageSymbol(ServiceVideoStage stage)
{
    switch (stage) {
    case ServiceVideoStage::reviewed:
        return QStringLiteral("checkmark.shield");
    case ServiceVideoStage::sending:
        return QStringLiteral("arrow.up.circle");
    case ServiceVideoStage::sendUnconfirmed:
        return QStringLiteral("exclamationmark.arrow.triangle.2.circlepath");
    default:
        return QStringLiteral("doc.badge.clock");
    }
}

std::optional<QString> VideoReturnPresentation::baseRevisionNote(const ServiceQueueModel &model,
                                                                 const VideoReviewPreview &draft)
{
    const auto &detail = model.openedTask().detail();
    if (!detail || draft.expectedRevision == detail->request.revision)
        return std::nullopt;
    return loc("Prepared for task revision %lld · current revision %lld. Check the latest instructions. A retry "
               "keeps this exact frozen version.",
               {draft.expectedRevision, detail->request.revision});
}

bool VideoReturnPresentation::showsProjectCopies(const ServiceQueueModel &model, const VideoReviewPreview &draft)
{
    return model.projectCopies().projectVersionsProposalID() == draft.proposalID;
}

QString VideoReturnPresentation::reopenText(const VideoReviewPreview &draft)
{
    return loc("Genåbn klargjort udkast · %@ · %@", {draft.content.title, draft.proposalID.left(8)});
}

std::optional<QString> VideoReturnPresentation::lengthLine(const VideoReviewPreview &draft)
{
    const auto &video = draft.content.video;
    if (!video)
        return std::nullopt;
    return loc("%.1f sek. · %@ · %@", {video->duration_seconds, fileByteCount(video->byte_count), video->editor_name});
}

QString VideoReturnPresentation::revisionLine(const VideoReviewPreview &draft)
{
    return loc("Opgaverevision %lld · forslag %@", {draft.expectedRevision, draft.proposalID});
}
