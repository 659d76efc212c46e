#pragma once

#include "projectvolumes.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class SettingsStore;

// The remembered project folder of one company.
struct ProjectLocationRecord
{
    QByteArray bookmark;
    QString displayPath; // standardized, symbolic links resolved
    QString volumeID;
    QString directoryID; // the folder's file number, in decimal
    QString volumeName;

    bool operator==(const ProjectLocationRecord &) const = default;

    // The stored form: a JSON object with exactly these five keys, the
    // bookmark in standard Base64. Decoding throws DecodingError.
    QByteArray toJson() const;
    static ProjectLocationRecord decode(const QByteArray &bytes);

    // The disk's name as shown: a disk without a name of its own is stored
    // under the fallback name in the language of the moment it was chosen,
    // and shown in the interface's language now.
    QString shownVolumeName() const;
};

struct ResolvedProjectLocation
{
    QString path;
    ProjectLocationRecord record;
};

// Remembers one project folder per customer company and re-opens it only
// when it is the very folder on the very disk that was chosen. Every failure
// is a BridgeError with a sentence for the person. GUI thread only.
class ProjectLocationStore
{
public:
    struct Identity
    {
        QString volumeID;
        QString directoryID;
        QString volumeName;
    };

    static constexpr const char *standardPrefix = "editor.projectLocation.v1.";

    ProjectLocationStore(SettingsStore &defaults, QString prefix,
                         std::shared_ptr<ProjectVolumes> volumes = ProjectVolumes::standard());

    // Records `folder` for the company (none, empty or blank: the local
    // entry) and returns it as recorded. Stores nothing on failure.
    ResolvedProjectLocation select(const QString &folder, const std::optional<QString> &company);
    // The stored record, or nullopt when nothing is stored.
    std::optional<ProjectLocationRecord> record(const std::optional<QString> &company) const;
    // Re-opens and confirms the remembered folder; nullopt when nothing is
    // stored. Re-records it when it was found under another path.
    std::optional<ResolvedProjectLocation> restore(const std::optional<QString> &company);

    // Checks that `folder` is a usable folder and reports its identity.
    static Identity identity(const QString &folder, const ProjectVolumes &volumes = *ProjectVolumes::standard());
    // Throws unless `folder` is the recorded folder on the recorded disk.
    static void validate(const QString &folder, const ProjectLocationRecord &record,
                         const ProjectVolumes &volumes = *ProjectVolumes::standard());

    // The settings key of a company's entry (throws for an id that is
    // neither blank nor a UUID).
    QString key(const std::optional<QString> &company) const;

private:
    SettingsStore &m_defaults;
    QString m_prefix;
    std::shared_ptr<ProjectVolumes> m_volumes;
};
