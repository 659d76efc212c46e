#include "packagerecords.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"

ServiceRequest ServiceRequest::fromJson(const JsonObjectReader &json)
{
    ServiceRequest request;
    request.schemaVersion = json.integer("schemaVersion");
    request.kind = json.enumeration("kind", serviceKindFromRaw);
    request.instructions = json.string("instructions");
    request.deliverable = json.string("deliverable");
    return request;
}

size_t qHash(const ServiceRequest &request, size_t seed)
{
    return qHashMulti(seed, request.schemaVersion, rawValue(request.kind), request.instructions, request.deliverable);
}

PackageSummary::Counts PackageSummary::Counts::fromJson(const JsonObjectReader &json)
{
    Counts counts;
    counts.usable = json.integer("usable");
    counts.context = json.integer("context");
    counts.rejected = json.integer("rejected");
    return counts;
}

size_t qHash(const PackageSummary::Counts &counts, size_t seed)
{
    return qHashMulti(seed, counts.usable, counts.context, counts.rejected);
}

PackageSummary PackageSummary::fromJson(const JsonObjectReader &json)
{
    PackageSummary summary;
    summary.packageID = json.string("packageID");
    summary.projectID = json.string("projectID");
    summary.title = json.string("title");
    summary.fingerprint = json.string("fingerprint");
    summary.referencedFileCount = json.integer("referencedFileCount");
    summary.referencedBytes = json.integer("referencedBytes");
    summary.counts = json.object("counts", &Counts::fromJson);
    summary.serviceRequest = json.optionalObject("serviceRequest", &ServiceRequest::fromJson);
    return summary;
}

size_t qHash(const PackageSummary &summary, size_t seed)
{
    seed = qHashMulti(seed, summary.packageID, summary.projectID, summary.title, summary.fingerprint,
                      summary.referencedFileCount, summary.referencedBytes, summary.counts.usable,
                      summary.counts.context, summary.counts.rejected);
    // A marker keeps "no request" apart from any request.
    if (!summary.serviceRequest)
        return qHashMulti(seed, 0);
    return qHash(*summary.serviceRequest, qHashMulti(seed, 1));
}

PackageInventory PackageInventory::fromJson(const JsonObjectReader &json)
{
    PackageInventory inventory;
    inventory.packages = json.array("packages", [](const JsonValueReader &v) { return PackageSummary::fromJson(v.object()); });
    inventory.invalidPackages = json.stringArray("invalidPackages");
    return inventory;
}

PackageInventory PackageInventory::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}

Candidate Candidate::fromJson(const JsonObjectReader &json)
{
    Candidate candidate;
    candidate.id = json.string("id");
    candidate.title = json.string("title");
    candidate.mediaKind = json.string("mediaKind");
    candidate.startSeconds = json.optionalNumber("startSeconds");
    candidate.endSeconds = json.optionalNumber("endSeconds");
    candidate.stillDurationSeconds = json.optionalNumber("stillDurationSeconds");
    candidate.notes = json.optionalString("notes");
    candidate.overlayText = json.optionalString("overlayText");
    candidate.sourceItemID = json.optionalString("sourceItemID");
    candidate.speechEvidence = json.optionalObject("speechEvidence", &SourceSpeechEvidence::fromJson);
    return candidate;
}

QString Candidate::interval() const
{
    if (isImage())
        return loc("Billede · vises i %.1f sek.", {stillDurationSeconds.value_or(3.0)});
    return loc("%.2f–%.2f sek. fra originalen", {startSeconds.value_or(0.0), endSeconds.value_or(0.0)});
}

PackageContext PackageContext::fromJson(const JsonObjectReader &json)
{
    PackageContext context;
    context.summary = json.object("summary", &PackageSummary::fromJson);
    context.masterprompt = json.string("masterprompt");
    context.candidates = json.array("candidates", [](const JsonValueReader &v) { return Candidate::fromJson(v.object()); });
    context.notice = json.string("notice");
    context.currentBrief = json.optionalObject("currentBrief", &CurrentServiceBrief::fromJson);
    context.contextRevision = json.optionalString("contextRevision");
    return context;
}

PackageContext PackageContext::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}

PreparedHandoff PreparedHandoff::fromJson(const JsonObjectReader &json)
{
    PreparedHandoff handoff;
    handoff.handoffID = json.string("handoffID");
    handoff.folder = json.string("folder");
    handoff.fcpxml = json.optionalString("fcpxml");
    handoff.clipCount = json.integer("clipCount");
    handoff.notices = json.stringArray("notices");
    handoff.kind = json.optionalEnumeration("kind", serviceKindFromRaw);
    handoff.sourceFileCount = json.optionalInteger("sourceFileCount");
    handoff.timelineFormat = json.optionalObject("timelineFormat", &SorvaneTimelineFormat::fromJson);
    return handoff;
}

PreparedHandoff PreparedHandoff::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}
