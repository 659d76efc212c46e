#pragma once

#include "rootinbox.h"
#include "settings/sorvanesettingssection.h"

#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class EditorModel;
class EditorServiceAdapter;
class EditorSession;
class FolderChooser;
class MountWatcher;
class ServiceQueueModel;
class SorvaneProfilesModel;
class SorvaneUpdateActivity;

// The root of one window: creates the window's models, restores the project
// folder and the session when the window first shows, and keeps the models
// in step with each other (session, company, project folder, disks, tools
// folder). No widgets: the window's screens read it.
//
// Change reactions run after the change, on a later turn of the event loop,
// coalesced and in a fixed order; a reaction runs only when its value really
// differs from the one it last saw. So a sign-in, which changes several
// values at once, ends in one company fetch and one inbox load.
class EditorView final : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        EditorSession *account = nullptr; // process-wide, not owned
        QSharedPointer<EditorModel> model;
        QSharedPointer<ServiceQueueModel> serviceQueue;
        std::shared_ptr<EditorServiceAdapter> queueEditor; // the model as the queue sees it
        QSharedPointer<RootInbox> sorvane;
        std::shared_ptr<FolderChooser> chooser;
        MountWatcher *mounts = nullptr; // taken over
        SorvaneUpdateActivity *activity = nullptr; // not owned
        // The window's profiles, also held by the editor model (which clears
        // them on an account change); may be absent in tests.
        std::shared_ptr<SorvaneProfilesModel> profiles;
        // Whether the profile model runs work (the ninth busy condition).
        std::function<bool()> profilesBusy;
        // Asks the updater whether this window may show its settings now.
        std::function<bool(const QUuid &window)> requestSettings;
        // "unsupported-local-test" or "production".
        std::function<QString()> connectionIdentity;
    };

    // Every part must be given except `profilesBusy`, `requestSettings` and
    // `connectionIdentity`, which have neutral defaults.
    explicit EditorView(Parts parts, QObject *parent = nullptr);
    ~EditorView() override;

    // The application's own parts: standard settings, the shared session, the
    // tool bridge and the disk watcher; `chooser` asks for folders.
    static Parts standardParts(std::shared_ptr<FolderChooser> chooser, SorvaneUpdateActivity *activity);

    const QSharedPointer<EditorModel> &model() const { return m_parts.model; }
    const QSharedPointer<ServiceQueueModel> &serviceQueue() const { return m_parts.serviceQueue; }
    const QSharedPointer<RootInbox> &sorvane() const { return m_parts.sorvane; }
    const std::shared_ptr<SorvaneProfilesModel> &profiles() const { return m_parts.profiles; }
    const std::shared_ptr<EditorServiceAdapter> &editorAdapter() const { return m_parts.queueEditor; }
    EditorSession &account() const { return *m_parts.account; }
    EditorServiceAdapter &queueEditor() const { return *m_parts.queueEditor; }
    QUuid updateActivityID() const { return m_updateActivityID; }

    enum class StartUp { now, later };
    // The window's content appeared: registers with the updater, reports the
    // busy flag, starts watching and, unless told `later`, runs the start-up
    // steps. Once only.
    void appear(StartUp when = StartUp::now);
    // The start-up steps (project folder, then the session), once, after
    // appear(StartUp::later): the window runs them once it has painted, so
    // the secret store and the disk are not in the way of the first frame.
    void beginStartUp();
    // The window closed: tells the updater and keeps the models alive until
    // their running work ends.
    void disappear();

    // Any model of this window runs work.
    bool updateOperationInProgress() const;

    // The settings sheet.
    bool showingSettings() const { return m_showingSettings; }
    void setShowingSettings(bool showing);
    SorvaneSettingsSection settingsSection() const { return m_settingsSection; }
    void setSettingsSection(SorvaneSettingsSection section) { m_settingsSection = section; }
    std::optional<QString> settingsStorageTicketID() const { return m_settingsStorageTicketID; }
    void presentSettings(SorvaneSettingsSection section, const std::optional<QString> &storageTicketID);
    // The window's settings action (the menu command and the sidebar's
    // settings row): the account section, no ticket.
    void openSettings() { presentSettings(SorvaneSettingsSection::account, std::nullopt); }

    // The full task queue screen (company, task list, opened task) in the
    // window in place of the workspace.
    bool showingQueue() const { return m_showingQueue; }
    void setShowingQueue(bool showing);

    // The project folder choice.
    void presentTicketStorageSettings();
    bool canChooseProjectStorage() const;
    void chooseProjectStorage();
    // The tools folder choice.
    void chooseTools();

    // The application is about to end: stops the running editor operation.
    void applicationWillTerminate();

    // Opens the selected inbox row's task in the service queue when the
    // selection, or the selected row's revision, changed since the last call.
    // Runs on every selection notice of the inbox.
    void openSelection();
    // Opens the selected row's task again, whatever was handed over last.
    void openSelectionAgain();

Q_SIGNALS:
    void showingSettingsChanged();
    void showingQueueChanged();

private:
    void connectTriggers();
    void schedule();
    void runReactions();
    void reportBusy(bool always);
    QCoro::Task<void> startUp();
    QString connectionIdentity() const;
    void companiesLoadingChanged();

    Parts m_parts;
    QUuid m_updateActivityID = QUuid::createUuid();
    bool m_appeared = false;
    bool m_startedUp = false;
    bool m_closed = false;
    bool m_reactionsQueued = false;
    int m_volumeNotices = 0;
    std::optional<bool> m_reportedBusy;

    // The values each reaction last saw.
    QUrl m_seenCredentialURL;
    QUrl m_seenCredentials;
    QString m_seenCompany;
    QUrl m_seenStorageFolder;
    QString m_seenRepository;

    // The inbox row last handed over to the queue (id and revision).
    std::optional<std::pair<QString, qint64>> m_openedRow;
    // A company page load began while that row's task was open: a load
    // closes the open task, so it is opened again once the page is in.
    bool m_reopenAfterCompanies = false;

    bool m_showingSettings = false;
    bool m_showingQueue = false;
    SorvaneSettingsSection m_settingsSection = SorvaneSettingsSection::account;
    std::optional<QString> m_settingsStorageTicketID;
};
