#include "inbox/sorvaneinboxrecords.h"

#include "foundation/decoding/strictformats.h"

#include <utility>

namespace {

const std::pair<const char *, SorvaneCompanySummary::MetadataAccess> accessTable[] = {
    {"limited", SorvaneCompanySummary::MetadataAccess::limited},
    {"granted", SorvaneCompanySummary::MetadataAccess::granted},
};
const std::pair<const char *, SorvaneScheduling::Tier> tierTable[] = {
    {"low", SorvaneScheduling::Tier::low},
    {"middle", SorvaneScheduling::Tier::middle},
    {"high", SorvaneScheduling::Tier::high},
};
const std::pair<const char *, SorvaneScheduling::SubmissionMode> modeTable[] = {
    {"unspecified", SorvaneScheduling::SubmissionMode::unspecified},
    {"free_capture", SorvaneScheduling::SubmissionMode::free_capture},
    {"interview", SorvaneScheduling::SubmissionMode::interview},
    {"scripted", SorvaneScheduling::SubmissionMode::scripted},
    {"archive", SorvaneScheduling::SubmissionMode::archive},
    {"revision", SorvaneScheduling::SubmissionMode::revision},
};
const std::pair<const char *, SorvaneScheduling::BlockedReason> reasonTable[] = {
    {"active_film", SorvaneScheduling::BlockedReason::active_film},
    {"earlier_film", SorvaneScheduling::BlockedReason::earlier_film},
    {"service_paused", SorvaneScheduling::BlockedReason::service_paused},
    {"not_waiting", SorvaneScheduling::BlockedReason::not_waiting},
    {"editor_busy", SorvaneScheduling::BlockedReason::editor_busy},
};
const std::pair<const char *, SorvanePipelineStage> stageTable[] = {
    {"development", SorvanePipelineStage::development}, {"recording", SorvanePipelineStage::recording},
    {"post", SorvanePipelineStage::post},               {"review", SorvanePipelineStage::review},
    {"delivery", SorvanePipelineStage::delivery},
};

// The members every answer of the inbox tool opens with.
template<class Answer>
void readEnvelope(const JsonObjectReader &o, Answer &answer)
{
    answer.schemaVersion = o.integer(u"schemaVersion");
    answer.operatorID = o.uuid(u"operatorID");
    answer.serverTime = o.string(u"serverTime");
}

} // namespace

std::optional<SorvaneCompanySummary::MetadataAccess> SorvaneCompanySummary::metadataAccessFromRaw(const QString &raw)
{
    return enumFromRaw(accessTable, raw);
}

SorvaneCompanySummary SorvaneCompanySummary::fromJson(const JsonObjectReader &o)
{
    SorvaneCompanySummary c;
    c.id = o.uuid(u"id");
    c.name = o.string(u"name");
    c.contactName = o.optionalString(u"contactName");
    c.metadataAccess = o.enumeration(u"metadataAccess", metadataAccessFromRaw);
    c.canManageMetadata = o.boolean(u"canManageMetadata");
    return c;
}

SorvaneFilmSummary SorvaneFilmSummary::fromJson(const JsonObjectReader &o)
{
    SorvaneFilmSummary f;
    f.id = o.uuid(u"id");
    f.title = o.string(u"title");
    f.campaignID = o.optionalUuid(u"campaignID");
    f.campaignTitle = o.optionalString(u"campaignTitle");
    f.stage = o.optionalString(u"stage");
    return f;
}

QList<SorvanePipelineStage> SorvanePipelineStages::allCases()
{
    return {SorvanePipelineStage::development, SorvanePipelineStage::recording, SorvanePipelineStage::post,
            SorvanePipelineStage::review, SorvanePipelineStage::delivery};
}

QString SorvanePipelineStages::rawValue(SorvanePipelineStage stage)
{
    return rawFromEnum(stageTable, stage);
}

std::optional<SorvanePipelineStage> SorvanePipelineStages::stageFromRaw(const QString &raw)
{
    return enumFromRaw(stageTable, raw);
}

std::optional<SorvanePipelineStage> SorvanePipelineStages::fromFilmStage(const std::optional<QString> &filmStage)
{
    if (!filmStage)
        return std::nullopt;
    const QString &text = *filmStage;
    if (text == u"idea" || text == u"brief" || text == u"script")
        return SorvanePipelineStage::development;
    if (text == u"recording")
        return SorvanePipelineStage::recording;
    if (text == u"production")
        return SorvanePipelineStage::post;
    if (text == u"review")
        return SorvanePipelineStage::review;
    if (text == u"delivery")
        return SorvanePipelineStage::delivery;
    return std::nullopt;
}

std::optional<SorvaneScheduling::Tier> SorvaneScheduling::tierFromRaw(const QString &raw)
{
    return enumFromRaw(tierTable, raw);
}

std::optional<SorvaneScheduling::SubmissionMode> SorvaneScheduling::submissionModeFromRaw(const QString &raw)
{
    return enumFromRaw(modeTable, raw);
}

std::optional<SorvaneScheduling::BlockedReason> SorvaneScheduling::blockedReasonFromRaw(const QString &raw)
{
    return enumFromRaw(reasonTable, raw);
}

QString SorvaneScheduling::rawValue(Tier tier)
{
    return rawFromEnum(tierTable, tier);
}

QString SorvaneScheduling::rawValue(SubmissionMode mode)
{
    return rawFromEnum(modeTable, mode);
}

QString SorvaneScheduling::rawValue(BlockedReason reason)
{
    return rawFromEnum(reasonTable, reason);
}

qint64 SorvaneScheduling::targetHoursOf(Tier tier)
{
    switch (tier) {
    case Tier::low:
        return 24;
    case Tier::middle:
        return 8;
    case Tier::high:
        return 2;
    }
    return 0;
}

SorvaneScheduling SorvaneScheduling::fromJson(const JsonObjectReader &o)
{
    SorvaneScheduling s;
    s.tier = o.enumeration(u"tier", tierFromRaw);
    s.targetHours = o.integer(u"targetHours");
    s.policyVersion = o.integer(u"policyVersion");
    s.round = o.integer(u"round");
    s.submissionMode = o.enumeration(u"submissionMode", submissionModeFromRaw);
    s.receivedAt = o.string(u"receivedAt");
    s.eligibleAt = o.optionalString(u"eligibleAt");
    s.dueAt = o.optionalString(u"dueAt");
    s.startedAt = o.optionalString(u"startedAt");
    s.blockedReason = o.optionalEnumeration(u"blockedReason", blockedReasonFromRaw);
    s.canClaim = o.boolean(u"canClaim");
    return s;
}

SorvaneNextActor SorvaneInboxRow::nextActor(const std::optional<QUuid> &operatorID) const
{
    // The claim compares UUID values.
    const ServiceStatus &status = request.status;
    if (status.is(ServiceStatus::waiting)) {
        if (request.kind != ServiceKind::filmEditing || scheduling.canClaim)
            return SorvaneNextActor::currentOperator;
        return SorvaneNextActor::queued;
    }
    if (status.isWorkable()) {
        const std::optional<QUuid> claimedBy =
            request.claimed_by ? StrictFormats::parseUuid(*request.claimed_by) : std::nullopt;
        if (operatorID && claimedBy && *claimedBy == *operatorID)
            return SorvaneNextActor::currentOperator;
        return SorvaneNextActor::otherEditor;
    }
    if (status.is(ServiceStatus::review))
        return SorvaneNextActor::customer;
    return SorvaneNextActor::closed;
}

bool SorvaneInboxRow::canStart(const std::optional<QUuid> &operatorID) const
{
    return request.kind == ServiceKind::filmEditing
        && request.status.isWorkable() && !scheduling.startedAt
        && nextActor(operatorID) == SorvaneNextActor::currentOperator;
}

SorvaneInboxRow SorvaneInboxRow::fromJson(const JsonObjectReader &o)
{
    SorvaneInboxRow row;
    row.request = o.object(u"request", ServiceReceipt::fromJson);
    row.company = o.object(u"company", SorvaneCompanySummary::fromJson);
    row.film = o.object(u"film", SorvaneFilmSummary::fromJson);
    row.scheduling = o.object(u"scheduling", SorvaneScheduling::fromJson);
    return row;
}

SorvaneInboxPage SorvaneInboxPage::fromJson(const JsonObjectReader &o)
{
    SorvaneInboxPage page;
    readEnvelope(o, page);
    page.items = o.array(u"items", [](const JsonValueReader &v) { return SorvaneInboxRow::fromJson(v.object()); });
    if (auto cursor = o.optional(u"nextCursor")) {
        const JsonObjectReader c = cursor->object();
        page.nextCursor = SorvaneInboxCursor{c.string(u"submitted_at"), c.uuid(u"id")};
    }
    page.nextRequestID = o.optionalUuid(u"nextRequestID");
    page.nextItem = o.optionalObject(u"nextItem", SorvaneInboxRow::fromJson);
    return page;
}

SorvanePipelineFilm SorvanePipelineFilm::fromJson(const JsonObjectReader &o)
{
    SorvanePipelineFilm f;
    static_cast<SorvaneFilmSummary &>(f) = SorvaneFilmSummary::fromJson(o);
    f.requestID = o.optionalUuid(u"requestID");
    f.serviceStatus = o.optionalString(u"serviceStatus");
    return f;
}

SorvanePipelinePage SorvanePipelinePage::fromJson(const JsonObjectReader &o)
{
    SorvanePipelinePage page;
    readEnvelope(o, page);
    page.company = o.object(u"company", SorvaneCompanySummary::fromJson);
    page.films = o.array(u"films", [](const JsonValueReader &v) { return SorvanePipelineFilm::fromJson(v.object()); });
    page.nextCursor = o.optionalUuid(u"nextCursor");
    return page;
}

SorvaneMutationResult SorvaneMutationResult::fromJson(const JsonObjectReader &o)
{
    SorvaneMutationResult result;
    readEnvelope(o, result);
    result.item = o.optionalObject(u"item", SorvaneInboxRow::fromJson);
    result.replayed = o.boolean(u"replayed");
    return result;
}

SorvaneMetadataSettings SorvaneMetadataSettings::fromJson(const JsonObjectReader &o)
{
    SorvaneMetadataSettings settings;
    settings.schemaVersion = o.integer(u"schemaVersion");
    settings.companyID = o.uuid(u"companyID");
    settings.revision = o.integer(u"revision");
    settings.allowPipeline = o.boolean(u"allowPipeline");
    settings.contactName = o.optionalString(u"contactName");
    return settings;
}
