// EditorModel: the project folder, its packages listing and the folder
// check that guards every tool command working in a folder.
#include "editorexecute_p.h"
#include "foundation/failuretext.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QDir>

QString EditorModel::companyKey(const QString &company)
{
    if (const auto uuid = StrictFormats::parseUuid(company))
        return StrictFormats::canonicalUuid(*uuid).toUpper();
    return company;
}

void EditorModel::releaseStorageAccess()
{
    if (m_storageAccess) {
        m_seams.access->stop(*m_storageAccess);
        m_storageAccess.reset();
    }
}

void EditorModel::setStorage(const std::optional<ResolvedProjectLocation> &location, bool preserveDisplay)
{
    releaseStorageAccess();
    m_activeStorage = location;
    setInbox(location ? QUrl::fromLocalFile(location->path) : QUrl());
    m_storageCompany = companyKey(m_company);
    if (!location) {
        if (!preserveDisplay) {
            setStoragePath(std::nullopt);
            setStorageDisk(std::nullopt);
        }
    } else {
        // A folder whose access cannot be started is still adopted; it just
        // holds nothing that would need giving back.
        if (m_seams.access->start(location->path))
            m_storageAccess = location->path;
        setStoragePath(location->path);
        setStorageDisk(location->record.shownVolumeName());
    }
    setInventory({});
    setInvalidPackages({});
    setSelectedPackageID(std::nullopt);
    setContext(std::nullopt);
    setHandoff(std::nullopt);
}

void EditorModel::chooseStorage(const QUrl &folder)
{
    if (m_busy)
        return;
    ResolvedProjectLocation resolved;
    try {
        resolved = m_locations->select(folder.toLocalFile(), m_company);
    } catch (...) {
        logFailure(lcEditor, "choosing the project folder");
        setStorageIssue(failureText(std::current_exception()));
        return;
    }
    setStorage(resolved, false);
    setStorageIssue(std::nullopt);
    refresh();
}

void EditorModel::restoreStorage(bool loadInventory)
{
    if (m_busy)
        return;
    try {
        const std::optional<ProjectLocationRecord> record = m_locations->record(m_company);
        setStoragePath(record ? std::optional<QString>(record->displayPath) : std::nullopt);
        setStorageDisk(record ? std::optional<QString>(record->shownVolumeName()) : std::nullopt);
        const std::optional<ResolvedProjectLocation> resolved = m_locations->restore(m_company);
        setStorage(resolved, false);
        setStorageIssue(std::nullopt);
        if (resolved && loadInventory)
            refresh();
    } catch (...) {
        logFailure(lcEditor, "restoring the project folder");
        setStorage(std::nullopt, true);
        setStorageIssue(failureText(std::current_exception()));
    }
}

void EditorModel::storageVolumesChanged()
{
    if (!m_activeStorage) {
        if (!m_busy)
            restoreStorage(true);
        return;
    }
    QString failure;
    try {
        ProjectLocationStore::validate(m_activeStorage->path, m_activeStorage->record, *m_seams.volumes);
        return;
    } catch (...) {
        logFailure(lcEditor, "checking the project folder after a volume change");
        failure = failureText(std::current_exception()).value_or(QString());
    }
    if (m_busy)
        cancel();
    setStorage(std::nullopt, true);
    setStorageIssue(failure);
}

void EditorModel::refresh()
{
    if (m_inbox.isEmpty())
        return;
    const QUrl folder = m_inbox;
    perform(loc("Kontrollerer lokale pakker…"), [this, folder](CancellationToken token) -> QCoro::Task<void> {
        const PackageInventory result = co_await execute<PackageInventory>(BridgeCommand::inventory(folder), token);
        setInventory(result.packages);
        setInvalidPackages(result.invalidPackages);
        setSelectedPackageID(std::nullopt);
        setContext(std::nullopt);
        setHandoff(std::nullopt);
    });
}

void EditorModel::validateStorage(const BridgeCommand &command) const
{
    const std::optional<QUrl> target = command.storageURL();
    if (!target || !m_activeStorage)
        return;
    const auto changed = [] { return BridgeError::failed(loc("Projektplaceringen er ændret. Åbn opgaven igen.")); };
    if (m_storageCompany != companyKey(m_company))
        throw changed();
    if (QDir::cleanPath(target->toLocalFile()) != QDir::cleanPath(m_activeStorage->path))
        throw changed();
    ProjectLocationStore::validate(target->toLocalFile(), m_activeStorage->record, *m_seams.volumes);
}
