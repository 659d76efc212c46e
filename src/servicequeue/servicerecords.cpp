#include "servicerecords.h"

#include "recorddecoding_p.h"

#include "foundation/localization.h"

using RecordDecoding::objects;

namespace {

template<class T>
T decodeDocument(const QByteArray &json)
{
    return RecordDecoding::document<T>(json);
}

ServiceKind kindOf(const JsonObjectReader &object)
{
    return object.enumeration(u"kind", [](const QString &raw) { return serviceKindFromRaw(raw); });
}

} // namespace

namespace {

const std::pair<const char *, ServiceStatus::Code> statusTable[] = {
    {"waiting", ServiceStatus::waiting},
    {"active", ServiceStatus::active},
    {"review", ServiceStatus::review},
    {"changes_requested", ServiceStatus::changesRequested},
    {"approved", ServiceStatus::approved},
    {"cancelled", ServiceStatus::cancelled},
};

} // namespace

std::optional<ServiceStatus::Code> ServiceStatus::codeFromRaw(QStringView text)
{
    return enumFromRaw(statusTable, text);
}

ServiceStatus::ServiceStatus(const QString &text)
    : m_text(text)
    , m_code(codeFromRaw(text).value_or(unknown))
{
}

ServiceStatus::ServiceStatus(Code code)
    : m_text(rawFromEnum(statusTable, code))
    , m_code(code)
{
}

QString ServiceReceipt::statusTitle(const ServiceStatus &status)
{
    switch (status.code()) {
    case ServiceStatus::waiting: return loc("Venter");
    case ServiceStatus::active: return loc("I arbejde");
    case ServiceStatus::review: return loc("Hos kunden");
    case ServiceStatus::changesRequested: return loc("Rettelser ønsket");
    case ServiceStatus::approved: return loc("Forslag godkendt");
    case ServiceStatus::cancelled: return loc("Annulleret");
    case ServiceStatus::unknown: break;
    }
    return loc("Ukendt status");
}

QString ServiceReceipt::statusTitle() const
{
    return statusTitle(status);
}

bool ServiceReceipt::sameTask(const ServiceReceipt &other) const
{
    return id == other.id && company_id == other.company_id && local_project_id == other.local_project_id
        && backup_id == other.backup_id && source_fingerprint == other.source_fingerprint && kind == other.kind;
}

ServiceReceipt ServiceReceipt::fromJson(const JsonObjectReader &o)
{
    ServiceReceipt r;
    r.id = o.string(u"id");
    r.company_id = o.string(u"company_id");
    r.local_project_id = o.string(u"local_project_id");
    r.backup_id = o.string(u"backup_id");
    r.source_fingerprint = o.string(u"source_fingerprint");
    r.title = o.string(u"title");
    r.kind = kindOf(o);
    r.status = o.string(u"status");
    r.revision = o.integer(u"revision");
    r.submitted_by = o.string(u"submitted_by");
    r.submitted_at = o.string(u"submitted_at");
    r.updated_at = o.string(u"updated_at");
    r.claimed_by = o.optionalString(u"claimed_by");
    r.claimed_at = o.optionalString(u"claimed_at");
    r.latest_proposal_id = o.optionalString(u"latest_proposal_id");
    return r;
}

ProposalContent::ConceptOption ProposalContent::ConceptOption::fromJson(const JsonObjectReader &o)
{
    ConceptOption c;
    c.id = o.string(u"id");
    c.title = o.string(u"title");
    c.rationale = o.string(u"rationale");
    c.idea = o.string(u"idea");
    c.purpose = o.string(u"purpose");
    c.audience = o.string(u"audience");
    c.angle = o.string(u"angle");
    c.message = o.string(u"message");
    c.call_to_action = o.string(u"call_to_action");
    return c;
}

ProposalContent::ScriptPart ProposalContent::ScriptPart::fromJson(const JsonObjectReader &o)
{
    return ScriptPart{o.string(u"id"), o.string(u"title"), o.string(u"text")};
}

ProposalContent::ProposalShot ProposalContent::ProposalShot::fromJson(const JsonObjectReader &o)
{
    ProposalShot s;
    s.id = o.string(u"id");
    s.title = o.string(u"title");
    s.instruction = o.string(u"instruction");
    s.kind = o.string(u"kind");
    s.section_id = o.optionalString(u"section_id");
    s.duration_seconds = o.integer(u"duration_seconds");
    return s;
}

ProposalContent::ProposalSource ProposalContent::ProposalSource::fromJson(const JsonObjectReader &o)
{
    return ProposalSource{o.string(u"title"), o.string(u"url"), o.string(u"note")};
}

ProposalContent::ReviewVideo ProposalContent::ReviewVideo::fromJson(const JsonObjectReader &o)
{
    ReviewVideo v;
    v.source_export_id = o.string(u"source_export_id");
    v.bucket = o.string(u"bucket");
    v.object_key = o.string(u"object_key");
    v.sha256 = o.string(u"sha256");
    v.content_type = o.string(u"content_type");
    v.editor_name = o.string(u"editor_name");
    v.byte_count = o.integer(u"byte_count");
    v.duration_seconds = o.number(u"duration_seconds");
    v.editor_qc_confirmed = o.boolean(u"editor_qc_confirmed");
    return v;
}

ProposalContent ProposalContent::fromJson(const JsonObjectReader &o)
{
    ProposalContent c;
    c.schemaVersion = o.integer(u"schemaVersion");
    c.kind = kindOf(o);
    c.title = o.string(u"title");
    c.body = o.string(u"body");
    c.open_questions = o.stringArray(u"open_questions");
    c.concept_options = o.array(u"concept_options", objects<ConceptOption>());
    c.script_sections = o.array(u"script_sections", objects<ScriptPart>());
    c.shots = o.array(u"shots", objects<ProposalShot>());
    c.sources = o.array(u"sources", objects<ProposalSource>());
    c.video = o.optionalObject(u"video", &ReviewVideo::fromJson);
    return c;
}

ServiceProposal ServiceProposal::fromJson(const JsonObjectReader &o)
{
    ServiceProposal p;
    p.id = o.string(u"id");
    p.version_number = o.integer(u"version_number");
    p.content = o.object(u"content", &ProposalContent::fromJson);
    p.created_at = o.string(u"created_at");
    return p;
}

ServiceDecision ServiceDecision::fromJson(const JsonObjectReader &o)
{
    ServiceDecision d;
    d.id = o.string(u"id");
    d.proposal_id = o.string(u"proposal_id");
    d.decision = o.string(u"decision");
    d.comment = o.string(u"comment");
    d.created_at = o.string(u"created_at");
    d.selected_option_id = o.optionalString(u"selected_option_id");
    return d;
}

ServiceListing ServiceListing::fromJson(const JsonObjectReader &o)
{
    ServiceListing l;
    l.companyID = o.string(u"companyID");
    l.operatorID = o.string(u"operatorID");
    l.requests = o.array(u"requests", objects<ServiceReceipt>());
    return l;
}

ServiceListing ServiceListing::decode(const QByteArray &json) { return decodeDocument<ServiceListing>(json); }

ServiceDetail ServiceDetail::fromJson(const JsonObjectReader &o)
{
    ServiceDetail d;
    d.request = o.object(u"request", &ServiceReceipt::fromJson);
    d.proposals = o.array(u"proposals", objects<ServiceProposal>());
    d.decisions = o.array(u"decisions", objects<ServiceDecision>());
    return d;
}

ServiceDetail ServiceDetail::decode(const QByteArray &json) { return decodeDocument<ServiceDetail>(json); }

ServiceClaim ServiceClaim::fromJson(const JsonObjectReader &o)
{
    ServiceClaim c;
    c.request = o.object(u"request", &ServiceReceipt::fromJson);
    c.replayed = o.boolean(u"replayed");
    return c;
}

ServiceClaim ServiceClaim::decode(const QByteArray &json) { return decodeDocument<ServiceClaim>(json); }

ServiceDownload ServiceDownload::fromJson(const JsonObjectReader &o)
{
    ServiceDownload d;
    d.companyID = o.string(u"companyID");
    d.packageID = o.string(u"packageID");
    d.folder = o.string(u"folder");
    d.request = o.object(u"request", &ServiceReceipt::fromJson);
    d.verified = o.boolean(u"verified");
    d.projectFolder = o.optionalString(u"projectFolder");
    d.projectManifest = o.optionalString(u"projectManifest");
    d.diskStatus = o.optionalString(u"diskStatus");
    return d;
}

ServiceDownload ServiceDownload::decode(const QByteArray &json) { return decodeDocument<ServiceDownload>(json); }

ProposalFile ProposalFile::fromJson(const JsonObjectReader &o)
{
    return ProposalFile{o.string(u"file"), o.string(u"notice")};
}

ProposalFile ProposalFile::decode(const QByteArray &json) { return decodeDocument<ProposalFile>(json); }

ServiceWorkspaces ServiceWorkspaces::fromJson(const JsonObjectReader &o)
{
    ServiceWorkspaces w;
    w.handoffs = o.array(u"handoffs", objects<PreparedHandoff>());
    return w;
}

ServiceWorkspaces ServiceWorkspaces::decode(const QByteArray &json) { return decodeDocument<ServiceWorkspaces>(json); }

ProposalPreview ProposalPreview::fromJson(const JsonObjectReader &o)
{
    ProposalPreview p;
    p.proposalID = o.string(u"proposalID");
    p.requestID = o.string(u"requestID");
    p.handoffID = o.string(u"handoffID");
    p.contentHash = o.string(u"contentHash");
    p.file = o.string(u"file");
    p.notice = o.string(u"notice");
    p.expectedRevision = o.integer(u"expectedRevision");
    p.content = o.object(u"content", &ProposalContent::fromJson);
    return p;
}

ProposalPreview ProposalPreview::decode(const QByteArray &json) { return decodeDocument<ProposalPreview>(json); }

ProposalSent ProposalSent::fromJson(const JsonObjectReader &o)
{
    ProposalSent s;
    s.request = o.object(u"request", &ServiceReceipt::fromJson);
    s.proposalID = o.string(u"proposalID");
    s.version = o.integer(u"version");
    s.replayed = o.boolean(u"replayed");
    return s;
}

ProposalSent ProposalSent::decode(const QByteArray &json) { return decodeDocument<ProposalSent>(json); }
