#include "projectlocationstore.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray ProjectLocationRecord::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("bookmark"), QString::fromLatin1(bookmark.toBase64()));
    o.insert(QStringLiteral("displayPath"), displayPath);
    o.insert(QStringLiteral("volumeID"), volumeID);
    o.insert(QStringLiteral("directoryID"), directoryID);
    o.insert(QStringLiteral("volumeName"), volumeName);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

ProjectLocationRecord ProjectLocationRecord::decode(const QByteArray &bytes)
{
    const auto json = JsonObjectReader::parse(bytes);
    ProjectLocationRecord record;
    record.bookmark = json.base64("bookmark");
    record.displayPath = json.string("displayPath");
    record.volumeID = json.string("volumeID");
    record.directoryID = json.string("directoryID");
    record.volumeName = json.string("volumeName");
    return record;
}

QString ProjectLocationRecord::shownVolumeName() const
{
    // The stored form stays what it always was; only its reading follows the language.
    for (const char *language : {"da", "en"}) {
        if (volumeName == EditorLocalization::text(QStringLiteral("projektdisken"), QLatin1String(language)))
            return loc("projektdisken");
    }
    return volumeName;
}

ProjectLocationStore::ProjectLocationStore(SettingsStore &defaults, QString prefix, std::shared_ptr<ProjectVolumes> volumes)
    : m_defaults(defaults), m_prefix(std::move(prefix)), m_volumes(volumes ? std::move(volumes) : ProjectVolumes::standard())
{
}

QString ProjectLocationStore::key(const std::optional<QString> &company) const
{
    const QString trimmed = company.value_or(QString()).trimmed();
    if (trimmed.isEmpty())
        return m_prefix + QStringLiteral("local");
    const auto uuid = StrictFormats::parseUuid(trimmed);
    if (!uuid)
        throw BridgeError::failed(loc("Vælg en virksomhed før du gemmer dens projektplacering."));
    return m_prefix + StrictFormats::canonicalUuid(*uuid);
}

ProjectLocationStore::Identity ProjectLocationStore::identity(const QString &folder, const ProjectVolumes &volumes)
{
    const auto values = volumes.resourceValues(folder);
    if (!values)
        throw BridgeError::failed(loc("Projektmappen er ikke tilgængelig. Tilslut disken og prøv igen."));
    if (!values->isDirectory.value_or(false) || values->volumeIsReadOnly.value_or(false))
        throw BridgeError::failed(loc("Projektmappen skal kunne læses og skrives. Kontrollér disken og mappens rettigheder."));
    if (!volumes.isReadable(folder) || !volumes.isWritable(folder))
        throw BridgeError::failed(loc("Projektmappen skal kunne læses og skrives. Kontrollér disken og mappens rettigheder."));
    if (!values->volumeUUID || values->volumeUUID->isEmpty())
        throw BridgeError::failed(loc("Diskens identitet kunne ikke kontrolleres. Vælg en anden projektplacering."));
    const auto fileNumber = volumes.fileNumber(folder); // the system's own error passes through
    if (!fileNumber)
        throw BridgeError::failed(loc("Diskens identitet kunne ikke kontrolleres. Vælg en anden projektplacering."));
    Identity identity;
    identity.volumeID = *values->volumeUUID;
    identity.directoryID = QString::number(*fileNumber);
    identity.volumeName = values->volumeName && !values->volumeName->isEmpty() ? *values->volumeName : loc("projektdisken");
    return identity;
}

void ProjectLocationStore::validate(const QString &folder, const ProjectLocationRecord &record, const ProjectVolumes &volumes)
{
    const Identity found = identity(folder, volumes);
    // The name and the path prove nothing: another disk can carry both.
    if (found.volumeID == record.volumeID && found.directoryID == record.directoryID)
        return;
    throw BridgeError::failed(
        loc("Projektplaceringen er ikke den valgte disk og mappe. Tilslut den rigtige disk, eller vælg en ny placering."));
}

ResolvedProjectLocation ProjectLocationStore::select(const QString &folder, const std::optional<QString> &company)
{
    const QString standardized = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString canonical = QFileInfo(standardized).canonicalFilePath();
    const QString resolved = canonical.isEmpty() ? standardized : canonical;

    const Identity checked = identity(resolved, *m_volumes);
    ProjectLocationRecord record;
    record.bookmark = m_volumes->createBookmark(resolved);
    record.displayPath = resolved;
    record.volumeID = checked.volumeID;
    record.directoryID = checked.directoryID;
    record.volumeName = checked.volumeName;
    const QByteArray json = record.toJson();
    m_defaults.setValue(key(company), json);
    return {resolved, record};
}

std::optional<ProjectLocationRecord> ProjectLocationStore::record(const std::optional<QString> &company) const
{
    const QString entry = key(company);
    if (!m_defaults.contains(entry))
        return std::nullopt;
    const QVariant stored = m_defaults.value(entry);
    if (!stored.isValid())
        return std::nullopt;
    try {
        return ProjectLocationRecord::decode(stored.toByteArray());
    } catch (const DecodingError &) {
        logFailure(lcFoundation, "reading the saved project location");
        throw BridgeError::failed(loc("Den gemte projektplacering kunne ikke læses. Vælg mappen igen."));
    }
}

std::optional<ResolvedProjectLocation> ProjectLocationStore::restore(const std::optional<QString> &company)
{
    const auto stored = record(company);
    if (!stored)
        return std::nullopt;
    const auto resolution = m_volumes->resolveBookmark(stored->bookmark);
    if (!resolution)
        throw BridgeError::failed(
            loc("Tilslut %@, eller vælg projektmappen igen. Der gemmes ikke et andet sted.", {stored->shownVolumeName()}));
    validate(resolution->path, *stored, *m_volumes);
    if (!resolution->stale && resolution->path == stored->displayPath)
        return ResolvedProjectLocation{resolution->path, *stored};
    return select(resolution->path, company);
}
