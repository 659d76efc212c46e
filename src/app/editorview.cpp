#include "editorview.h"

#include "sorvaneinboxadapter.h"

#include "editor/editormodel.h"
#include "editor/folderchooser.h"
#include "editor/mountwatcher.h"
#include "foundation/bridge/bridge.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "session/editorsession.h"
#include "updater/sorvaneupdateactivity.h"
#include "updater/sorvaneupdater.h"

#include <QCoreApplication>
#include <QDir>
#include <QWeakPointer>

EditorView::EditorView(Parts parts, QObject *parent) : QObject(parent), m_parts(std::move(parts))
{
    Q_ASSERT(m_parts.account && m_parts.model && m_parts.serviceQueue && m_parts.queueEditor && m_parts.sorvane
             && m_parts.chooser && m_parts.mounts && m_parts.activity);
    m_parts.mounts->setParent(this);
    if (!m_parts.profilesBusy) {
        std::weak_ptr<SorvaneProfilesModel> profiles = m_parts.profiles;
        m_parts.profilesBusy = [profiles] {
            const auto model = profiles.lock();
            return model && model->busy();
        };
    }
    if (!m_parts.requestSettings)
        m_parts.requestSettings = [](const QUuid &) { return true; };
}

EditorView::~EditorView()
{
    if (m_appeared && !m_closed)
        disappear();
}

EditorView::Parts EditorView::standardParts(std::shared_ptr<FolderChooser> chooser, SorvaneUpdateActivity *activity)
{
    Parts parts;
    parts.account = &EditorSession::shared();
    auto locations = std::make_shared<ProjectLocationStore>(SettingsStore::standard(),
                                                            QString::fromLatin1(ProjectLocationStore::standardPrefix));
    // The editor model owns the window's profiles; both run their tools
    // through the same bridge.
    parts.profiles = std::make_shared<SorvaneProfilesModel>(
        [](const BridgeCommand &command, const QString &tools, CancellationToken token) {
            return Bridge::data(command, tools, std::move(token));
        });
    parts.model = EditorModel::create(std::move(locations), parts.profiles);
    parts.queueEditor = std::make_shared<EditorServiceAdapter>(parts.model);
    parts.serviceQueue = QSharedPointer<ServiceQueueModel>(new ServiceQueueModel(parts.queueEditor->bridge()),
                                                           &QObject::deleteLater);
    parts.sorvane = QSharedPointer<RootInbox>(
        new SorvaneInboxAdapter(parts.queueEditor, parts.queueEditor->bridge(), SettingsStore::standard()),
        &QObject::deleteLater);
    parts.chooser = std::move(chooser);
    parts.mounts = new ProcMountWatcher;
    parts.activity = activity;
    parts.requestSettings = [](const QUuid &window) {
        return SorvaneUpdater::shared().settings().requestPresentation(window);
    };
    return parts;
}

QString EditorView::connectionIdentity() const
{
    if (m_parts.connectionIdentity)
        return m_parts.connectionIdentity();
    return Bridge::unsupportedTestLaunch() ? QStringLiteral("unsupported-local-test") : QStringLiteral("production");
}

// ---- appear and disappear ----

void EditorView::appear(StartUp when)
{
    if (m_appeared)
        return;
    m_appeared = true;

    // The busy test holds no strong reference: a model that is gone is idle.
    QWeakPointer<EditorModel> model = m_parts.model;
    QPointer<EditorSession> account = m_parts.account;
    QWeakPointer<ServiceQueueModel> queue = m_parts.serviceQueue;
    QWeakPointer<RootInbox> sorvane = m_parts.sorvane;
    std::function<bool()> profilesBusy = m_parts.profilesBusy;
    m_parts.activity->registerWindow(m_updateActivityID, [model, account, queue, sorvane, profilesBusy] {
        const auto editor = model.toStrongRef();
        if (editor && editor->busy())
            return true;
        if (account && account->busy())
            return true;
        if (const auto q = queue.toStrongRef(); q && q->directory().loadingCompanies())
            return true;
        if (const auto s = sorvane.toStrongRef();
            s && (s->loading() || s->mutating() || s->selectingRequest() || s->pipelineLoading() || s->metadataLoading()))
            return true;
        return editor && profilesBusy();
    });

    // Reactions see only changes made from now on.
    m_seenCredentialURL = m_parts.account->credentialURL();
    m_seenCredentials = m_parts.model->credentials();
    m_seenCompany = m_parts.model->company();
    m_seenStorageFolder = m_parts.model->inbox();
    m_seenRepository = m_parts.model->repository();
    connectTriggers();
    reportBusy(true);

    if (when == StartUp::now)
        beginStartUp();
}

void EditorView::beginStartUp()
{
    if (!m_appeared || m_closed || m_startedUp)
        return;
    m_startedUp = true;
    startUp();
}

void EditorView::disappear()
{
    if (!m_appeared || m_closed)
        return;
    m_closed = true;
    disconnect(m_parts.account, nullptr, this, nullptr);
    // A hand-over still waiting ends at its next check, before the window's editor goes.
    m_parts.serviceQueue->renewSorvaneOpenIntent();
    m_parts.activity->windowClosed(m_updateActivityID);

    // Work that runs on keeps the window's models (and the queue's view of
    // the editor) alive until the editor's runner is idle again.
    if (m_parts.model->busy()) {
        auto keep = std::make_shared<std::tuple<QSharedPointer<EditorModel>, QSharedPointer<ServiceQueueModel>,
                                                std::shared_ptr<EditorServiceAdapter>, QSharedPointer<RootInbox>>>(
            m_parts.model, m_parts.serviceQueue, m_parts.queueEditor, m_parts.sorvane);
        // The application may end before the operation does (closing the
        // last window ends it): the operation is stopped then, as it would be
        // in an open window, rather than left with its tool running.
        auto quitting = std::make_shared<QMetaObject::Connection>();
        *quitting = connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_parts.model.data(),
                            [model = m_parts.model.data()] { model->cancel(); });
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(m_parts.model.data(), &EditorModel::busyChanged, m_parts.model.data(),
                              [keep, connection, quitting]() mutable {
                                  if (std::get<0>(*keep)->busy())
                                      return;
                                  QObject::disconnect(*connection);
                                  QObject::disconnect(*quitting);
                                  // Released on a later turn: the runner is still on the stack.
                                  QMetaObject::invokeMethod(
                                      QCoreApplication::instance(), [keep] {}, Qt::QueuedConnection);
                                  keep.reset();
                              });
    }
}

QCoro::Task<void> EditorView::startUp()
{
    m_parts.model->restoreStorage(true);
    if (m_parts.account->credentialURL().isEmpty()) {
        // Publishing the restored session leads to reaction 1.
        QPointer<EditorSession> account = m_parts.account;
        co_await account->restore();
    } else {
        m_parts.model->accountChanged(m_parts.account->credentialURL());
    }
}

// ---- reactions ----

void EditorView::connectTriggers()
{
    auto *model = m_parts.model.data();
    auto *queue = m_parts.serviceQueue.data();
    auto *sorvane = m_parts.sorvane.data();
    auto *account = m_parts.account;
    for (auto signal : {&EditorModel::credentialsChanged, &EditorModel::companyChanged, &EditorModel::inboxChanged,
                        &EditorModel::repositoryChanged, &EditorModel::busyChanged})
        connect(model, signal, this, &EditorView::schedule);
    connect(account, &EditorSession::credentialURLChanged, this, &EditorView::schedule);
    connect(account, &EditorSession::busyChanged, this, &EditorView::schedule);
    connectPartValue(queue->directory(), this, [](const ServiceCompanyDirectory &d) { return d.loadingCompanies(); },
                     [this] {
                         schedule();
                         companiesLoadingChanged();
                     });
    connect(sorvane, &RootInbox::activityChanged, this, &EditorView::schedule);
    connect(sorvane, &RootInbox::selectionChanged, this, &EditorView::openSelection);
    if (m_parts.profiles)
        connect(m_parts.profiles.get(), &SorvaneProfilesModel::busyChanged, this, &EditorView::schedule);
    connect(m_parts.mounts, &MountWatcher::volumesChanged, this, [this] {
        ++m_volumeNotices;
        schedule();
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &EditorView::applicationWillTerminate);
}

void EditorView::schedule()
{
    if (m_reactionsQueued || m_closed)
        return;
    m_reactionsQueued = true;
    QMetaObject::invokeMethod(this, &EditorView::runReactions, Qt::QueuedConnection);
}

// In table order. A reaction that changes a value a later one watches is
// followed by it in the same pass; an earlier one waits for the next pass.
void EditorView::runReactions()
{
    m_reactionsQueued = false;
    if (m_closed)
        return;
    EditorModel &model = *m_parts.model;
    ServiceQueueModel &queue = *m_parts.serviceQueue;
    RootInbox &sorvane = *m_parts.sorvane;
    EditorServiceAdapter &editor = *m_parts.queueEditor;

    // 1: another session, or none.
    if (const QUrl url = m_parts.account->credentialURL(); url != m_seenCredentialURL) {
        m_seenCredentialURL = url;
        model.accountChanged(url);
        queue.clear();
        sorvane.clear();
    }
    // 2 and 3: one check per disk notice.
    while (m_volumeNotices > 0) {
        --m_volumeNotices;
        model.storageVolumesChanged();
    }
    // 4: new credentials for the tools.
    if (const QUrl credentials = model.credentials(); credentials != m_seenCredentials) {
        m_seenCredentials = credentials;
        queue.clear();
        sorvane.clear();
        if (!credentials.isEmpty()) {
            queue.fetchCompanies(editor, false);
            sorvane.refresh();
        }
    }
    // 5: another company.
    if (const QString company = model.company(); company != m_seenCompany) {
        m_seenCompany = company;
        queue.companyChanged(editor);
        if (!queue.selectionUsesStorage(editor))
            model.restoreStorage(true);
    }
    // 6: another project folder.
    if (const QUrl storageFolder = model.inbox(); storageFolder != m_seenStorageFolder) {
        m_seenStorageFolder = storageFolder;
        queue.sorvaneStorageChanged(editor, sorvane.selectedRequest(), sorvane.operatorID());
    }
    // 7: another tools folder; the inbox reloads also while signed out.
    if (const QString repository = model.repository(); repository != m_seenRepository) {
        m_seenRepository = repository;
        if (EditorProfiles *profiles = model.profiles())
            profiles->clear();
        queue.clear();
        sorvane.clear();
        sorvane.refresh();
    }
    // 8: the updater learns of a change of the busy flag.
    reportBusy(false);
}

bool EditorView::updateOperationInProgress() const
{
    const RootInbox &sorvane = *m_parts.sorvane;
    return m_parts.model->busy() || m_parts.account->busy() || m_parts.serviceQueue->directory().loadingCompanies()
        || sorvane.loading() || sorvane.mutating() || sorvane.selectingRequest() || sorvane.pipelineLoading()
        || sorvane.metadataLoading() || m_parts.profilesBusy();
}

void EditorView::reportBusy(bool always)
{
    const bool busy = updateOperationInProgress();
    if (!always && m_reportedBusy == busy)
        return;
    m_reportedBusy = busy;
    m_parts.activity->setBusy(busy, m_updateActivityID);
}

void EditorView::applicationWillTerminate()
{
    // Only the editor's operation: the inbox's own work is left alone.
    m_parts.model->cancel();
}

// ---- the selected inbox task ----

void EditorView::openSelection()
{
    if (m_closed)
        return;
    const auto request = m_parts.sorvane->selectedRequest();
    if (!request) {
        m_openedRow.reset();
        return;
    }
    const std::pair<QString, qint64> row{request->id, request->revision};
    const auto operatorID = m_parts.sorvane->operatorID();
    if (m_openedRow == row || !operatorID || !m_parts.serviceQueue->identity(*m_parts.queueEditor))
        return;
    m_openedRow = row;
    m_parts.serviceQueue->openSorvane(*request, *operatorID, *m_parts.queueEditor, false);
}

void EditorView::openSelectionAgain()
{
    m_openedRow.reset();
    openSelection();
}

// The sidebar's "Load more customers" loads a company page, and every page
// load closes the task open in the queue. Only a load that began while the
// selected row's task was open, and that ended with a usable directory, opens
// it again: a hand-over's own loads run before its task is open, and a
// cleared or changed directory is the reactions' business.
void EditorView::companiesLoadingChanged()
{
    if (m_closed)
        return;
    const ServiceQueueModel &queue = *m_parts.serviceQueue;
    if (queue.directory().loadingCompanies()) {
        const auto &key = queue.selectionKey();
        m_reopenAfterCompanies = m_openedRow && key && key->requestID == m_openedRow->first;
        return;
    }
    if (!std::exchange(m_reopenAfterCompanies, false))
        return;
    const auto request = m_parts.sorvane->selectedRequest();
    if (!queue.directory().companiesVerified() || queue.selectionKey() || !request || !m_openedRow
        || request->id != m_openedRow->first)
        return;
    m_openedRow.reset();
    openSelection();
}

// ---- settings ----

void EditorView::setShowingSettings(bool showing)
{
    if (m_showingSettings == showing)
        return;
    m_showingSettings = showing;
    Q_EMIT showingSettingsChanged();
}

void EditorView::presentSettings(SorvaneSettingsSection section, const std::optional<QString> &storageTicketID)
{
    if (!m_parts.requestSettings(m_updateActivityID))
        return;
    m_settingsSection = section;
    m_settingsStorageTicketID = storageTicketID;
    setShowingSettings(true);
}

void EditorView::setShowingQueue(bool showing)
{
    if (m_showingQueue == showing)
        return;
    m_showingQueue = showing;
    Q_EMIT showingQueueChanged();
    // The full screen may have opened another task: back on the workspace,
    // the selected row's task is opened again so its ticket does not wait.
    const auto request = m_parts.sorvane->selectedRequest();
    const auto &detail = m_parts.serviceQueue->openedTask().detail();
    if (!showing && request && (!detail || detail->request.id != request->id)) {
        m_openedRow.reset();
        openSelection();
    }
}

// ---- project folder choice ----

void EditorView::presentTicketStorageSettings()
{
    const auto request = m_parts.sorvane->selectedRequest();
    if (!request)
        return;
    if (!m_parts.serviceQueue->sorvaneStorageSelection(request, m_parts.sorvane->operatorID(), *m_parts.queueEditor))
        return;
    presentSettings(SorvaneSettingsSection::storage, request->id);
}

bool EditorView::canChooseProjectStorage() const
{
    const auto request = m_parts.sorvane->selectedRequest();
    if (m_settingsStorageTicketID && (!request || request->id != *m_settingsStorageTicketID))
        return false;
    if (!request)
        return true;
    return m_parts.serviceQueue->sorvaneStorageSelection(request, m_parts.sorvane->operatorID(), *m_parts.queueEditor)
        .has_value();
}

void EditorView::chooseProjectStorage()
{
    if (!canChooseProjectStorage())
        return;
    const QString start = m_parts.model->storagePath().value_or(QDir::homePath());
    QPointer<EditorView> self(this);

    if (const auto request = m_parts.sorvane->selectedRequest()) {
        const auto selection =
            m_parts.serviceQueue->sorvaneStorageSelection(request, m_parts.sorvane->operatorID(), *m_parts.queueEditor);
        if (!selection)
            return;
        m_parts.chooser->chooseFolder(start, [self, selection = *selection](const QString &folder) {
            if (!self || folder.isEmpty())
                return;
            // The row and the operator as they are now: the queue compares
            // them with the snapshot and refuses a changed task.
            self->m_parts.serviceQueue->chooseSorvaneStorage(QUrl::fromLocalFile(folder), selection,
                                                             self->m_parts.sorvane->selectedRequest(),
                                                             self->m_parts.sorvane->operatorID(),
                                                             *self->m_parts.queueEditor);
        });
        return;
    }

    struct Snapshot
    {
        QUrl credentials;
        QString repository;
        QString company;
        QString identity;
        bool operator==(const Snapshot &) const = default;
    };
    const auto snapshot = [this] {
        return Snapshot{m_parts.model->credentials(), m_parts.model->repository(), m_parts.model->company(),
                        connectionIdentity()};
    };
    m_parts.chooser->chooseFolder(start, [self, before = snapshot(), snapshot](const QString &folder) {
        if (!self || folder.isEmpty())
            return;
        // Silently dropped when anything that names the account or company
        // changed while the panel was open.
        if (self->m_parts.sorvane->selectedRequest() || self->m_settingsStorageTicketID || !(snapshot() == before))
            return;
        self->m_parts.model->chooseStorage(QUrl::fromLocalFile(folder));
    });
}

void EditorView::chooseTools()
{
    QPointer<EditorView> self(this);
    m_parts.chooser->chooseToolsFolder(m_parts.model->repository(), [self](const QString &folder) {
        if (!self || folder.isEmpty())
            return;
        EditorModel &model = *self->m_parts.model;
        model.setRepository(QDir::cleanPath(folder));
        model.forgetPackages();
    });
}
