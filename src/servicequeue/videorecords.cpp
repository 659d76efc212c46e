#include "videorecords.h"

#include "recorddecoding_p.h"

using RecordDecoding::document;
using RecordDecoding::objects;

namespace {

// The task an answer about reactions or review videos is for, as the tool echoes it.
template<class Answer>
void readScope(const JsonObjectReader &o, Answer &answer)
{
    answer.companyID = o.string(u"companyID");
    answer.requestID = o.string(u"requestID");
    answer.operatorID = o.string(u"operatorID");
}

} // namespace

VideoReviewPreview VideoReviewPreview::fromJson(const JsonObjectReader &o)
{
    VideoReviewPreview p;
    p.proposalID = o.string(u"proposalID");
    p.requestID = o.string(u"requestID");
    p.exportID = o.string(u"exportID");
    p.file = o.string(u"file");
    p.notice = o.string(u"notice");
    p.expectedRevision = o.integer(u"expectedRevision");
    p.content = o.object(u"content", &ProposalContent::fromJson);
    return p;
}

VideoReviewPreview VideoReviewPreview::decode(const QByteArray &json) { return document<VideoReviewPreview>(json); }

VideoReviewPreviews VideoReviewPreviews::fromJson(const JsonObjectReader &o)
{
    return VideoReviewPreviews{o.array(u"previews", objects<VideoReviewPreview>())};
}

VideoReviewPreviews VideoReviewPreviews::decode(const QByteArray &json) { return document<VideoReviewPreviews>(json); }

NativeProjectVersion NativeProjectVersion::fromJson(const JsonObjectReader &o)
{
    NativeProjectVersion v;
    v.snapshotID = o.string(u"snapshotID");
    v.proposalID = o.string(u"proposalID");
    v.sourceName = o.string(u"sourceName");
    v.kind = o.string(u"kind");
    v.archive = o.string(u"archive");
    v.manifest = o.string(u"manifest");
    v.archiveSHA256 = o.string(u"archiveSHA256");
    v.dependencyStatus = o.string(u"dependencyStatus");
    v.notice = o.string(u"notice");
    v.byteCount = o.integer(u"byteCount");
    v.referenceCount = o.integer(u"referenceCount");
    v.nativeReopenVerified = o.boolean(u"nativeReopenVerified");
    v.automaticProjects = o.optionalStringArray(u"automaticProjects");
    return v;
}

NativeProjectVersion NativeProjectVersion::decode(const QByteArray &json) { return document<NativeProjectVersion>(json); }

NativeProjectVersions NativeProjectVersions::fromJson(const JsonObjectReader &o)
{
    NativeProjectVersions v;
    v.proposalID = o.string(u"proposalID");
    v.versions = o.array(u"versions", objects<NativeProjectVersion>());
    v.automaticProjects = o.optionalStringArray(u"automaticProjects");
    v.requiresExplicitSelection = o.optionalBoolean(u"requiresExplicitSelection");
    return v;
}

NativeProjectVersions NativeProjectVersions::decode(const QByteArray &json) { return document<NativeProjectVersions>(json); }

ServiceReactionSummary ServiceReactionSummary::fromJson(const JsonObjectReader &o)
{
    ServiceReactionSummary s;
    s.reactionID = o.string(u"id");
    s.decisionID = o.string(u"decisionID");
    s.proposalID = o.string(u"proposalID");
    s.sourceSHA256 = o.string(u"sourceSHA256");
    s.mode = o.string(u"mode");
    s.proposalVersion = o.integer(u"proposalVersion");
    s.annotationCount = o.integer(u"annotationCount");
    s.duration = o.number(u"duration");
    return s;
}

ServiceReactionList ServiceReactionList::fromJson(const JsonObjectReader &o)
{
    ServiceReactionList l;
    readScope(o, l);
    l.revision = o.integer(u"revision");
    l.reactions = o.array(u"reactions", objects<ServiceReactionSummary>());
    return l;
}

ServiceReactionList ServiceReactionList::decode(const QByteArray &json) { return document<ServiceReactionList>(json); }

ServiceReactionDownload::Annotation ServiceReactionDownload::Annotation::fromJson(const JsonObjectReader &o)
{
    Annotation a;
    a.id = o.string(u"id");
    a.text = o.string(u"text");
    a.sourceSeconds = o.number(u"sourceSeconds");
    a.reactionSeconds = o.number(u"reactionSeconds");
    return a;
}

ServiceReactionDownload ServiceReactionDownload::fromJson(const JsonObjectReader &o)
{
    ServiceReactionDownload d;
    readScope(o, d);
    d.file = o.string(u"file");
    d.revision = o.integer(u"revision");
    d.selected = o.object(u"selected", &ServiceReactionSummary::fromJson);
    d.verified = o.boolean(u"verified");
    d.annotations = o.array(u"annotations", objects<Annotation>());
    return d;
}

ServiceReactionDownload ServiceReactionDownload::decode(const QByteArray &json) { return document<ServiceReactionDownload>(json); }

VideoDeliveryStatus VideoDeliveryStatus::fromJson(const JsonObjectReader &o)
{
    static const std::pair<const char *, State> states[] = {
        {"notConfirmedLocally", State::NotConfirmedLocally},
        {"sentForCustomerReview", State::SentForCustomerReview},
    };
    VideoDeliveryStatus s;
    s.proposalID = o.string(u"proposalID");
    s.state = o.enumeration(u"state", [](const QString &raw) { return enumFromRaw(states, raw); });
    s.version = o.optionalInteger(u"version");
    s.customerApproved = o.boolean(u"customerApproved");
    return s;
}

VideoDeliveryStatus VideoDeliveryStatus::decode(const QByteArray &json) { return document<VideoDeliveryStatus>(json); }

ServiceReviewVideoDownload ServiceReviewVideoDownload::fromJson(const JsonObjectReader &o)
{
    ServiceReviewVideoDownload d;
    readScope(o, d);
    d.proposalID = o.string(u"proposalID");
    d.sha256 = o.string(u"sha256");
    d.file = o.string(u"file");
    d.proposalVersion = o.integer(u"proposalVersion");
    d.byteCount = o.integer(u"byteCount");
    d.duration = o.number(u"duration");
    d.verified = o.boolean(u"verified");
    d.history = o.object(u"history", &ServiceDetail::fromJson);
    return d;
}

ServiceReviewVideoDownload ServiceReviewVideoDownload::decode(const QByteArray &json)
{
    return document<ServiceReviewVideoDownload>(json);
}
