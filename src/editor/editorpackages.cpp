// EditorModel: opening packages, preparing hand-offs and cloud backups.
#include "editorexecute_p.h"

#include "foundation/errors.h"
#include "foundation/localization.h"

void EditorModel::open(const PackageSummary &package)
{
    if (m_inbox.isEmpty())
        return;
    const QUrl folder = m_inbox;
    const QString packageID = package.packageID;
    perform(loc("Læser filmens instruktioner…"), [this, folder, packageID](CancellationToken token) -> QCoro::Task<void> {
        setContext(std::nullopt);
        setHandoff(std::nullopt);
        PackageContext context = co_await execute<PackageContext>(BridgeCommand::context(folder, packageID), token);
        setContext(std::move(context));
    });
}

void EditorModel::prepare()
{
    if (m_inbox.isEmpty() || !m_context)
        return;
    const QUrl folder = m_inbox;
    const PackageSummary summary = m_context->summary;
    const std::optional<ServiceKind> kind =
        summary.serviceRequest ? std::optional<ServiceKind>(summary.serviceRequest->kind) : std::nullopt;
    const bool writing = kind == ServiceKind::conceptDevelopment || kind == ServiceKind::scriptDevelopment;
    const QString label = writing
        ? loc("Kontrollerer grundlaget og forbereder %@…", {::title(*kind).toLower()})
        : loc("Kontrollerer medier og forbereder klippepakken…");
    perform(label, [this, folder, summary, writing](CancellationToken token) -> QCoro::Task<void> {
        setHandoff(std::nullopt);
        const BridgeCommand command = writing
            ? BridgeCommand::prepareWriting(folder, summary.packageID, summary.fingerprint)
            : BridgeCommand::prepare(folder, summary.packageID, summary.fingerprint, std::nullopt);
        PreparedHandoff handoff = co_await execute<PreparedHandoff>(command, token);
        setHandoff(std::move(handoff));
    });
}

void EditorModel::listCloud()
{
    if (m_credentials.isEmpty())
        return;
    const QUrl credentials = m_credentials;
    const QString company = m_company.trimmed();
    perform(loc("Finder færdige cloudkopier…"), [this, credentials, company](CancellationToken token) -> QCoro::Task<void> {
        setCloud(std::nullopt);
        setSelectedCloudID(std::nullopt);
        const BridgeCommand command =
            BridgeCommand::cloudList(credentials, company.isEmpty() ? std::nullopt : std::optional<QString>(company));
        CloudListing listing = co_await execute<CloudListing>(command, token);
        setCloud(std::move(listing));
    });
}

void EditorModel::download()
{
    if (m_credentials.isEmpty() || m_inbox.isEmpty() || !m_cloud || !m_selectedCloudID)
        return;
    const QUrl credentials = m_credentials;
    const QUrl folder = m_inbox;
    const QString companyID = m_cloud->companyID;
    const QString backupID = *m_selectedCloudID;
    perform(loc("Henter og kontrollerer alle filer…"),
            [this, credentials, folder, companyID, backupID](CancellationToken token) -> QCoro::Task<void> {
                const RestoredBackup restored = co_await execute<RestoredBackup>(
                    BridgeCommand::cloudPull(credentials, companyID, backupID, folder), token);
                // A restore of another backup or company is not the one the person chose.
                if (restored.companyID != companyID || restored.backupID != backupID)
                    throw BridgeError::failed(loc("Den hentede backup er ikke den valgte. Hent den igen."));
                if (!restored.verified)
                    throw BridgeError::failed(loc("Backup blev ikke kontrolleret."));
                const PackageInventory inventory =
                    co_await execute<PackageInventory>(BridgeCommand::inventory(folder), token);
                setInventory(inventory.packages);
                setInvalidPackages(inventory.invalidPackages);
                setMessage(loc("Pakken er hentet og SHA-256-kontrolleret. Vælg filmen i den lokale indbakke."));
            });
}
