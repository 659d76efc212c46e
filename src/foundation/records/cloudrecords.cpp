#include "cloudrecords.h"

#include "foundation/decoding/strictjson.h"

CloudBackup CloudBackup::fromJson(const JsonObjectReader &json)
{
    CloudBackup backup;
    backup.id = json.string("id");
    backup.local_project_id = json.string("local_project_id");
    backup.revision = json.integer("revision");
    backup.completed_at = json.string("completed_at");
    return backup;
}

size_t qHash(const CloudBackup &backup, size_t seed)
{
    return qHashMulti(seed, backup.id, backup.local_project_id, backup.revision, backup.completed_at);
}

CloudListing CloudListing::fromJson(const JsonObjectReader &json)
{
    CloudListing listing;
    listing.companyID = json.string("companyID");
    listing.backups = json.array("backups", [](const JsonValueReader &v) { return CloudBackup::fromJson(v.object()); });
    return listing;
}

CloudListing CloudListing::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}

RestoredBackup RestoredBackup::fromJson(const JsonObjectReader &json)
{
    RestoredBackup restored;
    restored.companyID = json.string("companyID");
    restored.backupID = json.string("backupID");
    restored.folder = json.string("folder");
    restored.verified = json.boolean("verified");
    return restored;
}

RestoredBackup RestoredBackup::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}
