#include "editormodel.h"
#include "foundation/failuretext.h"

#include "foundation/bridge/bridge.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/propertyassign.h"


namespace {

// Records without an equality notify on every assignment, except that
// clearing an empty field changes nothing.
template<typename T>
bool replaceRecord(std::optional<T> &field, std::optional<T> value)
{
    if (!value && !field)
        return false;
    field = std::move(value);
    return true;
}

} // namespace

QSharedPointer<EditorModel> EditorModel::create(std::shared_ptr<ProjectLocationStore> locations,
                                                std::shared_ptr<EditorProfiles> profiles, ToolRunner runner,
                                                StorageSeams seams)
{
    return QSharedPointer<EditorModel>(new EditorModel(std::move(locations), std::move(profiles), std::move(runner),
                                                       std::move(seams)),
                                       &QObject::deleteLater);
}

EditorModel::EditorModel(std::shared_ptr<ProjectLocationStore> locations, std::shared_ptr<EditorProfiles> profiles,
                         ToolRunner runner, StorageSeams seams)
    : m_repository(Bridge::applicationTools()),
      m_seams(std::move(seams)),
      m_locations(std::move(locations)),
      m_profiles(std::move(profiles)),
      m_runner(std::move(runner))
{
    if (!m_seams.volumes)
        m_seams.volumes = ProjectVolumes::standard();
    if (!m_seams.access)
        m_seams.access = std::make_shared<StandardFolderAccess>();
    if (!m_runner)
        m_runner = [](const BridgeCommand &command, const QString &tools, CancellationToken token) {
            return Bridge::data(command, tools, std::move(token));
        };
}

EditorModel::~EditorModel()
{
    // The last owner is gone (no window and no running operation holds the
    // model any more): give the folder back, or every closed window would
    // keep its folder open for the life of the process.
    releaseStorageAccess();
}

// MARK: - State

// The property's own signal, then stateChanged, when `changed` holds.
#define EDITOR_NOTIFY(changed, signal)                                                                                 \
    do {                                                                                                               \
        if (changed) {                                                                                                 \
            Q_EMIT signal();                                                                                           \
            Q_EMIT stateChanged();                                                                                     \
        }                                                                                                              \
    } while (false)
#define EDITOR_SETTER(Name, field, signal) EDITOR_NOTIFY(assignChanged(field, Name), signal)

void EditorModel::setRepository(const QString &folder) { EDITOR_SETTER(folder, m_repository, repositoryChanged); }
void EditorModel::setInbox(const QUrl &inbox) { EDITOR_SETTER(inbox, m_inbox, inboxChanged); }
void EditorModel::setStoragePath(const std::optional<QString> &path) { EDITOR_SETTER(path, m_storagePath, storagePathChanged); }
void EditorModel::setStorageDisk(const std::optional<QString> &disk) { EDITOR_SETTER(disk, m_storageDisk, storageDiskChanged); }
void EditorModel::setStorageIssue(const std::optional<QString> &issue) { EDITOR_SETTER(issue, m_storageIssue, storageIssueChanged); }
void EditorModel::setCredentials(const QUrl &credentials) { EDITOR_SETTER(credentials, m_credentials, credentialsChanged); }
void EditorModel::setCompany(const QString &company) { EDITOR_SETTER(company, m_company, companyChanged); }
void EditorModel::setInventory(const QList<PackageSummary> &packages) { EDITOR_SETTER(packages, m_inventory, inventoryChanged); }
void EditorModel::setSelectedPackageID(const std::optional<QString> &id) { EDITOR_SETTER(id, m_selectedPackageID, selectedPackageIDChanged); }
void EditorModel::setInvalidPackages(const QStringList &names) { EDITOR_SETTER(names, m_invalidPackages, invalidPackagesChanged); }
void EditorModel::setSelectedCloudID(const std::optional<QString> &id) { EDITOR_SETTER(id, m_selectedCloudID, selectedCloudIDChanged); }
void EditorModel::setBusy(const std::optional<QString> &label) { EDITOR_SETTER(label, m_busy, busyChanged); }
void EditorModel::setError(const std::optional<QString> &text) { EDITOR_SETTER(text, m_error, errorChanged); }
void EditorModel::setMessage(const std::optional<QString> &text) { EDITOR_SETTER(text, m_message, messageChanged); }

void EditorModel::setContext(std::optional<PackageContext> context)
{
    EDITOR_NOTIFY(replaceRecord(m_context, std::move(context)), contextChanged);
}

void EditorModel::setHandoff(std::optional<PreparedHandoff> handoff)
{
    EDITOR_NOTIFY(replaceRecord(m_handoff, std::move(handoff)), handoffChanged);
}

void EditorModel::setCloud(const std::optional<CloudListing> &listing)
{
    EDITOR_NOTIFY(replaceRecord(m_cloud, listing), cloudChanged);
}

// MARK: - Runner

void EditorModel::perform(const QString &busyLabel, Operation operation)
{
    perform(busyLabel, [] { return true; }, std::move(operation));
}

void EditorModel::perform(const QString &busyLabel, IsCurrent isCurrent, Operation operation)
{
    if (m_busy)
        return;
    setBusy(busyLabel);
    setError(std::nullopt);
    setMessage(std::nullopt);
    m_operationID = QUuid::createUuid();
    m_operationToken = CancellationToken();
    m_running = true;
    QSharedPointer<EditorModel> self = sharedFromThis();
    Q_ASSERT_X(self, "EditorModel::perform", "the model must be owned through EditorModel::create()");
    if (!isCurrent)
        isCurrent = [] { return true; };
    // Started eagerly; the returned task is dropped and the coroutine frame
    // (holding `self`, the operation and its captures) lives until it ends.
    runOperation(std::move(self), m_operationID, std::move(isCurrent), std::move(operation), m_operationToken);
}

QCoro::Task<> EditorModel::runOperation(QSharedPointer<EditorModel> self, QUuid id, IsCurrent isCurrent,
                                        Operation operation, CancellationToken token)
{
    enum class Outcome { finished, cancelled, failed };
    Outcome outcome = Outcome::finished;
    QString failure;
    try {
        co_await operation(token);
    } catch (const OperationCancelled &) {
        outcome = Outcome::cancelled;
    } catch (...) {
        logFailure(lcEditor, "an editor operation");
        outcome = Outcome::failed;
        failure = failureText(std::current_exception()).value_or(QString());
    }
    // The identifier first: isCurrent() belongs to whoever started this
    // operation and is not asked once the model has moved on.
    if (self->m_operationID != id)
        co_return;
    if (outcome == Outcome::cancelled && isCurrent())
        self->setMessage(loc("Handlingen er afbrudt. En afsendelse kan allerede være modtaget; genindlæs opgaven "
                             "eller gentag samme gennemgåede forslag for at bekræfte status."));
    else if (outcome == Outcome::failed && isCurrent())
        self->setError(failure);
    self->m_running = false;
    self->setBusy(std::nullopt);
}

void EditorModel::cancel()
{
    if (m_running) {
        m_operationToken.cancel();
        m_running = false;
    }
    m_operationID = QUuid::createUuid();
    setBusy(std::nullopt);
    setMessage(loc("Handlingen er stoppet. Genindlæs opgavens status efter en afbrudt afsendelse. Kun "
                   "kontrollerede kopier vises i indbakken."));
}

void EditorModel::accountChanged(const QUrl &credentials)
{
    cancel();
    if (m_profiles)
        m_profiles->clear();
    setCredentials(credentials);
    setCompany(QString());
    setCloud(std::nullopt);
    setSelectedCloudID(std::nullopt);
    setStorage(std::nullopt, false);
    setMessage(std::nullopt);
    setError(std::nullopt);
}

void EditorModel::forgetPackages()
{
    setContext(std::nullopt);
    setHandoff(std::nullopt);
    setInventory({});
    setSelectedPackageID(std::nullopt);
}

QCoro::Task<QByteArray> EditorModel::runTool(BridgeCommand command, CancellationToken token, bool checkStorage)
{
    if (checkStorage)
        validateStorage(command);
    token.throwIfCancelled();
    // Read when the command runs: the person may have chosen another tools
    // folder since the operation was asked for.
    const QString tools = m_repository;
    QByteArray bytes = co_await m_runner(command, tools, token);
    token.throwIfCancelled();
    co_return bytes;
}
