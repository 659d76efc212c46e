#include "inbox/servicereceipt.h"

#include "foundation/localization.h"

#include <utility>

QString ServiceReceipt::statusTitle() const
{
    static const std::pair<const char *, const char *> titles[] = {
        {"waiting", locKey("Venter")},
        {"active", locKey("I arbejde")},
        {"review", locKey("Hos kunden")},
        {"changes_requested", locKey("Rettelser ønsket")},
        {"approved", locKey("Forslag godkendt")},
        {"cancelled", locKey("Annulleret")},
    };
    for (const auto &[code, title] : titles)
        if (status == QLatin1StringView(code))
            return loc(title);
    return loc("Ukendt status");
}

ServiceReceipt ServiceReceipt::fromJson(const JsonObjectReader &o)
{
    static const std::pair<const char *, ServiceKind> kinds[] = {
        {"filmEditing", ServiceKind::FilmEditing},
        {"conceptDevelopment", ServiceKind::ConceptDevelopment},
        {"scriptDevelopment", ServiceKind::ScriptDevelopment},
    };
    ServiceReceipt r;
    r.id = o.string(u"id");
    r.company_id = o.string(u"company_id");
    r.local_project_id = o.string(u"local_project_id");
    r.backup_id = o.string(u"backup_id");
    r.source_fingerprint = o.string(u"source_fingerprint");
    r.title = o.string(u"title");
    r.kind = o.enumeration(u"kind", [](const QString &raw) { return enumFromRaw(kinds, raw); });
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
