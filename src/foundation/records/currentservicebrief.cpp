#include "currentservicebrief.h"

#include "foundation/decoding/strictjson.h"

CurrentServiceBrief::Amendment CurrentServiceBrief::Amendment::fromJson(const JsonObjectReader &json)
{
    Amendment a;
    a.id = json.string("id");
    a.company_id = json.string("company_id");
    a.request_id = json.string("request_id");
    a.film_id = json.string("film_id");
    a.backup_id = json.string("backup_id");
    a.source_fingerprint = json.string("source_fingerprint");
    a.base_revision = json.integer("base_revision");
    a.applied_revision = json.integer("applied_revision");
    a.instructions = json.string("instructions");
    a.reason = json.string("reason");
    a.created_by = json.string("created_by");
    a.created_at = json.string("created_at");
    return a;
}

CurrentServiceBrief CurrentServiceBrief::fromJson(const JsonObjectReader &json)
{
    CurrentServiceBrief brief;
    brief.requestID = json.string("requestID");
    brief.requestRevision = json.optionalInteger("requestRevision");
    brief.contextRevision = json.optionalString("contextRevision");
    brief.originalInstructions = json.string("originalInstructions");
    brief.effectiveInstructions = json.string("effectiveInstructions");
    brief.currentAmendment = json.optionalObject("currentAmendment", &Amendment::fromJson);
    brief.observedAt = json.optionalString("observedAt");
    brief.cached = json.boolean("cached");
    brief.requiresRefresh = json.optionalBoolean("requiresRefresh");
    return brief;
}

CurrentServiceBrief CurrentServiceBrief::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}
