#pragma once

#include "editorprofiles.h"
#include "folderaccess.h"
#include "foundation/cancellation.h"
#include "foundation/records/packagerecords.h"
#include "foundation/records/cloudrecords.h"
#include "foundation/projectlocation/projectlocationstore.h"

#include <QByteArray>
#include <QEnableSharedFromThis>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class BridgeCommand;

// The editor side of one window: the tools folder, the project folder and
// its packages, the opened package with its prepared hand-off, the cloud
// backups, and the runner that lets one editor operation run at a time.
//
// Lives on the GUI thread and is always owned through a QSharedPointer
// (create()): a running operation holds a reference of its own, so work
// that was started in a window finishes even after the window let go.
class EditorModel final : public QObject, public QEnableSharedFromThis<EditorModel>
{
    Q_OBJECT
public:
    // One editor operation. It gets the operation's cancellation token and
    // passes it to every tool run; it writes its results itself.
    using Operation = std::function<QCoro::Task<void>(CancellationToken)>;
    using IsCurrent = std::function<bool()>;
    // Runs one tool command in a tools folder (Bridge::data in production).
    using ToolRunner = std::function<QCoro::Task<QByteArray>(const BridgeCommand &, const QString &, CancellationToken)>;

    // The file-system seams of the project folder (standard ones when empty).
    struct StorageSeams
    {
        std::shared_ptr<ProjectVolumes> volumes;
        std::shared_ptr<FolderAccess> access;
    };

    static QSharedPointer<EditorModel> create(std::shared_ptr<ProjectLocationStore> locations,
                                              std::shared_ptr<EditorProfiles> profiles = {},
                                              ToolRunner runner = {}, StorageSeams seams = {});
    ~EditorModel() override;

    // State, each with a change signal that fires only on a real change.
    QString repository() const { return m_repository; }
    void setRepository(const QString &folder);
    QUrl inbox() const { return m_inbox; } // empty: no project folder
    std::optional<QString> storagePath() const { return m_storagePath; }
    std::optional<QString> storageDisk() const { return m_storageDisk; }
    std::optional<QString> storageIssue() const { return m_storageIssue; }
    void setStorageIssue(const std::optional<QString> &issue);
    QUrl credentials() const { return m_credentials; } // empty: signed out
    QString company() const { return m_company; }
    void setCompany(const QString &company);
    QList<PackageSummary> inventory() const { return m_inventory; }
    void setInventory(const QList<PackageSummary> &packages);
    std::optional<QString> selectedPackageID() const { return m_selectedPackageID; }
    void setSelectedPackageID(const std::optional<QString> &id);
    QStringList invalidPackages() const { return m_invalidPackages; }
    void setInvalidPackages(const QStringList &names);
    const std::optional<PackageContext> &context() const { return m_context; }
    const std::optional<CloudListing> &cloud() const { return m_cloud; }
    void setCloud(const std::optional<CloudListing> &listing);
    std::optional<QString> selectedCloudID() const { return m_selectedCloudID; }
    void setSelectedCloudID(const std::optional<QString> &id);
    const std::optional<PreparedHandoff> &handoff() const { return m_handoff; }
    std::optional<QString> busy() const { return m_busy; }
    std::optional<QString> error() const { return m_error; }
    void setError(const std::optional<QString> &text);
    std::optional<QString> message() const { return m_message; }
    void setMessage(const std::optional<QString> &text);

    ProjectLocationStore &locations() const { return *m_locations; }
    EditorProfiles *profiles() const { return m_profiles.get(); }

    // The runner. Refuses silently while an operation runs; otherwise shows
    // `busyLabel`, clears the error and the message and starts `operation`.
    // `isCurrent` is asked only when the operation fails and is still this
    // model's current one: a false answer drops the failure silently.
    void perform(const QString &busyLabel, IsCurrent isCurrent, Operation operation);
    void perform(const QString &busyLabel, Operation operation);
    // Stops the running operation (if any) and leaves the stop notice.
    void cancel();
    // Another account, or none: forgets everything of the old one.
    void accountChanged(const QUrl &credentials);
    // Another tools folder: the opened package, its hand-off, the package
    // list and the selection came from the old one, so they go, in that order.
    void forgetPackages();

    // Project folder.
    void chooseStorage(const QUrl &folder);
    void restoreStorage(bool loadInventory);
    void storageVolumesChanged();
    void refresh();
    // Refuses a command aimed at a folder other than the open one, or issued
    // after the company changed. Throws BridgeError; touches no state.
    void validateStorage(const BridgeCommand &command) const;

    // Packages, hand-offs and cloud backups.
    void open(const PackageSummary &package);
    void prepare();
    void listCloud();
    void download();

    // Runs a tool command and decodes its answer; `checkStorage` adds the
    // project folder check right before the tool starts. Defined in
    // editorexecute_p.h, for the model's own operations.
    template<typename T>
    QCoro::Task<T> execute(BridgeCommand command, CancellationToken token, bool checkStorage = true);

    // The tool runner this model uses (shared with the service queue).
    const ToolRunner &toolRunner() const { return m_runner; }

    // The company key: canonical upper-case UUID text, or the text unchanged.
    static QString companyKey(const QString &company);

Q_SIGNALS:
    void repositoryChanged();
    void inboxChanged();
    void storagePathChanged();
    void storageDiskChanged();
    void storageIssueChanged();
    void credentialsChanged();
    void companyChanged();
    void inventoryChanged();
    void selectedPackageIDChanged();
    void invalidPackagesChanged();
    void contextChanged();
    void cloudChanged();
    void selectedCloudIDChanged();
    void handoffChanged();
    void busyChanged();
    void errorChanged();
    void messageChanged();
    // After any of the above (views rebuild on it).
    void stateChanged();

private:
    EditorModel(std::shared_ptr<ProjectLocationStore> locations, std::shared_ptr<EditorProfiles> profiles,
                ToolRunner runner, StorageSeams seams);

    static QCoro::Task<> runOperation(QSharedPointer<EditorModel> self, QUuid id, IsCurrent isCurrent,
                                      Operation operation, CancellationToken token);
    QCoro::Task<QByteArray> runTool(BridgeCommand command, CancellationToken token, bool checkStorage);
    void setStorage(const std::optional<ResolvedProjectLocation> &location, bool preserveDisplay);
    void releaseStorageAccess();

    void setBusy(const std::optional<QString> &label);
    void setInbox(const QUrl &inbox);
    void setStoragePath(const std::optional<QString> &path);
    void setStorageDisk(const std::optional<QString> &disk);
    void setCredentials(const QUrl &credentials);
    void setContext(std::optional<PackageContext> context);
    void setHandoff(std::optional<PreparedHandoff> handoff);

    QString m_repository;
    QUrl m_inbox;
    std::optional<QString> m_storagePath;
    std::optional<QString> m_storageDisk;
    std::optional<QString> m_storageIssue;
    std::optional<ResolvedProjectLocation> m_activeStorage;
    std::optional<QString> m_storageAccess;
    StorageSeams m_seams;
    QString m_storageCompany;
    std::shared_ptr<ProjectLocationStore> m_locations;
    std::shared_ptr<EditorProfiles> m_profiles;
    ToolRunner m_runner;
    QUrl m_credentials;
    QString m_company;
    QList<PackageSummary> m_inventory;
    std::optional<QString> m_selectedPackageID;
    QStringList m_invalidPackages;
    std::optional<PackageContext> m_context;
    std::optional<CloudListing> m_cloud;
    std::optional<QString> m_selectedCloudID;
    std::optional<PreparedHandoff> m_handoff;
    std::optional<QString> m_busy;
    std::optional<QString> m_error;
    std::optional<QString> m_message;
    bool m_running = false;
    CancellationToken m_operationToken;
    QUuid m_operationID = QUuid::createUuid();
};
