// Every fault the stand-in can inject, for every command of the catalogue,
// driven through the model operation that runs the command: afterwards the
// person reads one sentence in the error text, no busy label stays, what was
// shown before survives, and the project folder holds nothing half-written
// (and, when the tool never ran its work, nothing new at all).
//
// A new command is one row of commands(): how to reach it, the operation, a
// member its answer cannot lack and, when it carries one, a wrong id.
// TAVLON_FAULT_MATRIX_PART=k/n runs every n-th command from the k-th (CTest
// runs the parts side by side).
#include "../common/standinsignin.h"

#include "aiconnection/sorvaneaiconnectionpanelmodel.h"
#include "editor/editormodel.h"
#include "foundation/bridge/bridge.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <functional>

namespace {


constexpr int toolWait = 60000;
const QString otherID = QStringLiteral("0b7e9f5c-2d1a-4c3e-9f00-5a6b7c8d9e01");

class Window;
using Step = std::function<bool(Window &)>;

struct Command
{
    const char *name;       // the stand-in's command
    bool changesState;      // a fresh demo before every fault
    Step prepare;           // reaches the point where the operation runs the command
    Step operate;           // the model operation
    const char *required;   // a member of the answer the decoder cannot do without
    QJsonObject wrongIds;   // a wrong_keys/patch rule naming another id; empty: the answer carries none to check
    std::function<bool(const Window &)> survives; // what was shown before the failure and must stay
    // Where the operation shows its failure, when not in the window's error.
    std::optional<QString> (*errorOf)(const Window &) = nullptr;
};

struct Fault
{
    const char *name;
    bool workDone; // the tool did its work before the answer went wrong
};

const Fault faults[] = {
    {"fail", false},      {"fail_after", true}, {"hang", false},       {"signal", false},
    {"malformed", false}, {"oversized", false}, {"wrong_keys", true}, {"wrong_ids", true},
};

QJsonObject ruleFor(const Fault &fault, const Command &command)
{
    const QString name = QString::fromLatin1(fault.name);
    if (name == u"hang")
        return {{"mode", "hang"}, {"seconds", 60}};
    if (name == u"malformed")
        return {{"mode", "malformed"}, {"stdout", "{\"broken\": ["}};
    if (name == u"wrong_keys")
        return {{"mode", "wrong_keys"}, {"drop", QJsonArray{QString::fromLatin1(command.required)}}};
    if (name == u"wrong_ids")
        return command.wrongIds;
    return {{"mode", name}};
}

// A patch rule putting another id at `path` of the real answer.
QJsonObject otherIdAt(const char *path)
{
    return {{"mode", "patch"}, {"set", QJsonObject{{QString::fromLatin1(path), otherID}}}};
}

// Files a tool or the application writes first and renames into place.
bool halfWritten(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.endsWith(u".tmp") || name.endsWith(u".part") || name.endsWith(u".partial") || name.endsWith(u"~")
        || name.contains(u".staging") || name.startsWith(u".tmp");
}

QStringList contents(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next().mid(folder.size()));
    found.sort();
    return found;
}

class Window
{
public:
    StandinFixture &standin;
    MemorySettingsStore settings;
    std::unique_ptr<EditorSession> session;
    QSharedPointer<EditorModel> editor;
    std::shared_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<ServiceQueueModel> model;
    std::unique_ptr<SorvaneInboxModel> inbox;
    std::unique_ptr<SorvaneProfilesModel> profiles;
    std::unique_ptr<SorvaneAIConnectionPanelModel> panel;
    QString folder;
    int folders = 0;

    explicit Window(StandinFixture &fixture) : standin(fixture) {}
    ~Window() { close(); }

    void close()
    {
        panel.reset();
        profiles.reset();
        inbox.reset();
        model.reset();
        adapter.reset();
        Bridge::setSessionProvider(nullptr);
        editor.reset();
        session.reset();
    }

    // No model of the window shows work in progress.
    bool quiet() const
    {
        return !editor->busy() && !inbox->loading() && !inbox->selectingRequest() && !inbox->mutating()
            && !inbox->pipelineLoading() && !inbox->metadataLoading() && !profiles->busy() && !(panel && panel->busy());
    }
    bool idle() { return QTest::qWaitFor([this] { return quiet(); }, toolWait); }
    bool clean() { return idle() && !editor->error(); }

    bool selectCompany(const QString &name)
    {
        for (const ServiceCompany &company : model->directory().companies())
            if (company.name == name)
                model->selectCompany(company.id, *adapter);
        return model->canUseCompany(*adapter);
    }

    // Signed in, Nordlys Bryggeri chosen.
    bool open()
    {
        close();
        session = Standin::signIn(standin, QString::fromLatin1(StandinFixture::demoEmail));
        if (!session)
            return false;
        Bridge::setSessionProvider(session.get());
        editor = EditorModel::create(std::make_shared<ProjectLocationStore>(
            settings, QString::fromLatin1(ProjectLocationStore::standardPrefix)));
        editor->setRepository(standin.toolsFolder());
        editor->accountChanged(session->credentialURL());
        adapter = std::make_shared<EditorServiceAdapter>(editor);
        model = std::make_unique<ServiceQueueModel>(adapter->bridge());
        inbox = std::make_unique<SorvaneInboxModel>(adapter->bridge(), settings);
        profiles = std::make_unique<SorvaneProfilesModel>(adapter->bridge());
        model->fetchCompanies(*adapter, false);
        return clean() && selectCompany(QStringLiteral("Nordlys Bryggeri"));
    }

    // A new, empty project folder.
    bool freshFolder()
    {
        const QString path = standin.scratch(QStringLiteral("project-%1").arg(++folders));
        if (!QDir().mkpath(path))
            return false;
        folder = QFileInfo(path).canonicalFilePath();
        editor->chooseStorage(QUrl::fromLocalFile(folder));
        return clean() && !editor->storageIssue();
    }

    bool list()
    {
        model->list(*adapter);
        return clean() && model->openedTask().listing();
    }

    bool openTask(ServiceKind kind, const QString &status)
    {
        if (!list())
            return false;
        const QString me = model->directory().operatorID() ? model->directory().operatorID()->toString(QUuid::WithoutBraces) : QString();
        for (const ServiceReceipt &row : model->openedTask().listing()->requests)
            if (row.kind == kind && row.status == status && (status == u"waiting" || row.claimed_by == me)) {
                const ServiceReceipt chosen = row;
                model->open(chosen, *adapter);
                return clean() && model->openedTask().detail() && model->openedTask().detail()->request.id == chosen.id;
            }
        return false;
    }

    bool claimedFilm()
    {
        if (!openTask(ServiceKind::filmEditing, QStringLiteral("waiting")))
            return false;
        model->claim(*adapter);
        return clean();
    }

    // A task of `kind` and `status` opened and its package pulled and verified.
    bool pulled(ServiceKind kind, const QString &status)
    {
        // Another company is another project folder.
        if (kind != ServiceKind::filmEditing && !(selectCompany(QStringLiteral("Havnens Tandklinik")) && freshFolder()))
            return false;
        if (!openTask(kind, status))
            return false;
        model->pull(*adapter, false);
        return clean() && model->openedTask().download() && model->openedTask().download()->verified;
    }
    // A working folder of the active task of `kind` prepared.
    bool prepared(ServiceKind kind)
    {
        if (!pulled(kind, QStringLiteral("active")))
            return false;
        model->prepare(*adapter);
        return clean() && !model->proposals().workspaces().isEmpty();
    }

    // The concept task's proposal written over its template.
    bool writtenProposal()
    {
        if (!prepared(ServiceKind::conceptDevelopment) || !model->proposals().proposalFile())
            return false;
        QFile file(model->proposals().proposalFile()->file);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QJsonObject proposal = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        proposal.insert("title", "Tre veje til klinikkens historie");
        proposal.insert("body", "Vi foreslår tre korte film.");
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QJsonDocument(proposal).toJson()) > 0;
    }

    bool checkedProposal()
    {
        if (!writtenProposal())
            return false;
        model->readPreview(*adapter);
        model->proposals().setConfirmation(true);
        return clean() && model->proposals().preview();
    }

    // The film task's review video and its customer reaction listed.
    bool reactionsRead()
    {
        if (!pulled(ServiceKind::filmEditing, QStringLiteral("changes_requested")))
            return false;
        model->readReactions(*adapter);
        return clean() && !model->review().reactions().isEmpty();
    }

    // A video draft of the active film task under review.
    bool videoDraft(bool reviewed)
    {
        if (!pulled(ServiceKind::filmEditing, QStringLiteral("active")))
            return false;
        setVideo();
        model->prepareVideo(*adapter);
        if (!clean() || !model->videoDraft().videoPreview())
            return false;
        model->videoDraft().setVideoQC(reviewed);
        return true;
    }

    void setVideo()
    {
        model->videoDraft().setVideoFile(QUrl::fromLocalFile(standin.var() + QStringLiteral("/media/export-klip-2.mp4")));
        model->videoDraft().setVideoLabel(QStringLiteral("Klip 2"));
        model->videoDraft().setVideoSummary(QStringLiteral("Logoet kommer før."));
    }

    bool cloudListed()
    {
        editor->listCloud();
        if (!clean() || !editor->cloud() || editor->cloud()->backups.isEmpty())
            return false;
        editor->setSelectedCloudID(editor->cloud()->backups.constFirst().id);
        return true;
    }

    // The inbox's first page, and its row of the demo's first customer selected.
    bool inboxRead()
    {
        inbox->refresh(*adapter);
        if (!idle() || inbox->error() || inbox->items().isEmpty())
            return false;
        for (const SorvaneInboxRow &item : inbox->items())
            if (item.company.id == firstCustomer())
                inbox->setSelectedID(item.request.id);
        return inbox->selectedItem().has_value();
    }

    static QUuid firstCustomer()
    {
        static const QUuid space(QStringLiteral("6f1d6a8e-7f43-4c0e-9d7a-3c1f0b2a5e10"));
        return QUuid::createUuidV5(space, QByteArray("company:0"));
    }

    // The consent of the selected row's customer read.
    bool consentRead()
    {
        if (!inboxRead())
            return false;
        inbox->loadPipeline(*inbox->selectedItem(), *adapter, false);
        if (!idle() || inbox->pipelineError())
            return false;
        inbox->metadata(*inbox->selectedItem(), *adapter, std::nullopt);
        return idle() && !inbox->metadataError() && inbox->metadataSettings();
    }

    // The task claimed next by this editor, ready to start, in `claimed`.
    std::optional<SorvaneInboxRow> claimed;
    bool claimNext()
    {
        claimed.reset();
        if (!inboxRead())
            return false;
        inbox->claimNext(*adapter);
        if (!idle() || inbox->mutationError() || !inbox->lastMutationItem())
            return false;
        for (const SorvaneInboxRow &item : inbox->items())
            if (item.request.id == inbox->lastMutationItem()->request.id && item.canStart(inbox->operatorID()))
                claimed = item;
        return claimed.has_value();
    }

    bool ownProfileRead()
    {
        profiles->loadOwn(adapter);
        return idle() && !profiles->ownError() && profiles->ownProfile();
    }

    // The AI connection panel of the project folder, its first check passed.
    bool connectionChecked()
    {
        const QUrl project = editor->inbox();
        QWeakPointer<EditorModel> weak = editor;
        SorvaneAIConnectionPanelModel::Target target{standin.toolsFolder(), project, std::nullopt, [weak, project] {
                                                         if (const auto strong = weak.toStrongRef())
                                                             strong->validateStorage(BridgeCommand::mcpConnection(project));
                                                     }};
        panel = std::make_unique<SorvaneAIConnectionPanelModel>(target, [](const QString &) { return true; });
        panel->check();
        return idle() && !panel->error() && panel->showsConnection();
    }

    // A native editor project outside the project folder.
    QUrl nativeProject() const
    {
        const QString path = standin.scratch(QStringLiteral("Sommer.drp"));
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write("project");
        return QUrl::fromLocalFile(path);
    }
};

bool nothing(Window &) { return true; }


QList<Command> commands()
{
    const auto listed = [](const Window &w) { return w.model->openedTask().listing().has_value(); };
    const auto detailed = [](const Window &w) { return w.model->openedTask().detail().has_value(); };
    const auto downloaded = [](const Window &w) { return w.model->openedTask().download().has_value(); };
    const auto drafted = [](const Window &w) { return w.model->videoDraft().videoPreview().has_value(); };
    const auto anything = [](const Window &) { return true; };
    const auto inboxed = [](const Window &w) { return !w.inbox->items().isEmpty(); };
    const auto film = [](Window &w) { return w.pulled(ServiceKind::filmEditing, QStringLiteral("active")); };
    const auto writing = [](Window &w) { return w.pulled(ServiceKind::conceptDevelopment, QStringLiteral("active")); };
    const auto reviewed = [](Window &w) { return w.pulled(ServiceKind::filmEditing, QStringLiteral("changes_requested")); };
    const auto prepare = [](Window &w) { w.model->prepare(*w.adapter); return true; };
    const auto draft = [](Window &w) { return w.videoDraft(false); };
    const auto resume = [](Window &w) { w.model->resume(w.model->proposals().workspaces().constFirst(), *w.adapter); return true; };
    const auto workspaces = [](const Window &w) { return !w.model->proposals().workspaces().isEmpty(); };
    return {
        {"serviceCompanies", false, nothing,
         [](Window &w) { w.model->fetchCompanies(*w.adapter, false); return true; }, "companies",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"operatorID", otherID}}}}, anything,
         [](const Window &w) { return w.model->directory().companyError(); }},
        {"serviceList", false, nothing, [](Window &w) { w.model->list(*w.adapter); return true; }, "requests",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, anything},
        {"serviceGet", false, [](Window &w) { return w.list(); },
         [](Window &w) {
             const ServiceReceipt row = w.model->openedTask().listing()->requests.constFirst();
             w.model->open(row, *w.adapter);
             return true;
         },
         "request", otherIdAt("request.id"), listed},
        {"serviceHistory", true,
         [](Window &w) { return w.claimedFilm() && (w.model->pull(*w.adapter, false), w.clean()); },
         [](Window &w) { w.model->refreshHistory(*w.adapter); return true; }, "request", otherIdAt("request.id"),
         detailed},
        {"serviceClaim", true,
         [](Window &w) { return w.openTask(ServiceKind::filmEditing, QStringLiteral("waiting")); },
         [](Window &w) { w.model->claim(*w.adapter); return true; }, "request", otherIdAt("request.id"), detailed},
        {"servicePull", true, [](Window &w) { return w.claimedFilm(); },
         [](Window &w) { w.model->pull(*w.adapter, false); return true; }, "packageID",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, detailed},
        {"servicePullFilm", true, [](Window &w) { return w.claimedFilm(); },
         [](Window &w) { w.model->pull(*w.adapter, true); return true; }, "packageID",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, detailed},
        {"inventory", false, nothing, [](Window &w) { w.editor->refresh(); return true; }, "packages", {}, anything},
        {"cloudList", false, nothing, [](Window &w) { w.editor->listCloud(); return true; }, "backups", {}, anything},
        {"cloudPull", false, [](Window &w) { return w.cloudListed(); },
         [](Window &w) { w.editor->download(); return true; }, "folder", otherIdAt("backupID"),
         [](const Window &w) { return w.editor->cloud().has_value() && w.editor->selectedCloudID().has_value(); }},

        // The brief, the working folder and the written proposal.
        {"context", false, film, [](Window &w) { w.model->readBrief(*w.adapter, false); return true; }, "summary",
         otherIdAt("currentBrief.requestID"), downloaded},
        {"serviceBriefPull", false, film, [](Window &w) { w.model->refreshCurrentBrief(*w.adapter); return true; },
         "requestID", otherIdAt("requestID"), downloaded},
        {"prepare", false, film, prepare, "handoffID", {}, downloaded},
        {"serviceWorkspaces", false, [](Window &w) { return w.prepared(ServiceKind::filmEditing); }, resume,
         "handoffs", {}, workspaces},
        {"prepareWriting", false, writing, prepare, "handoffID", {}, downloaded},
        {"proposalTemplate", false, [](Window &w) { return w.prepared(ServiceKind::conceptDevelopment); }, resume,
         "file", {}, workspaces},
        {"proposalPreview", false, [](Window &w) { return w.writtenProposal(); },
         // The checked proposal is compared with the task when it is sent, not here.
         [](Window &w) { w.model->readPreview(*w.adapter); return true; }, "proposalID", {},
         [](const Window &w) { return w.model->proposals().proposalFile().has_value(); }},
        {"proposalSend", true, [](Window &w) { return w.checkedProposal(); },
         [](Window &w) { w.model->send(*w.adapter); return true; }, "proposalID", otherIdAt("request.id"), detailed},
        {"packageFilm", false, film, [](Window &w) { w.model->packageFilm(*w.adapter, false); return true; },
         "request", otherIdAt("request.id"), downloaded},
        {"relinkFilm", false,
         [](Window &w) { return w.pulled(ServiceKind::filmEditing, QStringLiteral("active")) && (w.model->packageFilm(*w.adapter, false), w.clean()); },
         [](Window &w) { w.model->packageFilm(*w.adapter, true); return true; }, "request", otherIdAt("request.id"),
         downloaded},

        // Review videos and customer reactions.
        {"serviceReviewPull", false, reviewed,
         [](Window &w) {
             w.model->downloadReviewVideo(w.model->openedTask().detail()->proposals.constFirst(), *w.adapter);
             return true;
         },
         "sha256", otherIdAt("requestID"), detailed},
        {"serviceFeedback", false, reviewed, [](Window &w) { w.model->readReactions(*w.adapter); return true; },
         "reactions", otherIdAt("requestID"), detailed},
        {"serviceFeedbackPull", false, [](Window &w) { return w.reactionsRead(); },
         [](Window &w) {
             w.model->pullReaction(w.model->review().reactions().constFirst(), *w.adapter);
             return true;
         },
         "selected", otherIdAt("requestID"), [](const Window &w) { return !w.model->review().reactions().isEmpty(); }},

        // Video drafts and the native project copies kept with them.
        {"videoPending", false, film, [](Window &w) { w.model->refreshVideoPreviews(*w.adapter); return true; },
         "previews", {}, downloaded},
        {"videoPreview", false, film,
         [](Window &w) {
             w.setVideo();
             w.model->prepareVideo(*w.adapter);
             return true;
         },
         "proposalID", otherIdAt("requestID"), downloaded},
        {"videoSend", true, [](Window &w) { return w.videoDraft(true); },
         [](Window &w) { w.model->sendVideo(*w.adapter); return true; }, "proposalID", otherIdAt("proposalID"), drafted},
        {"videoStatus", false, draft,
         [](Window &w) { w.model->checkVideoDelivery(*w.model->videoDraft().videoPreview(), *w.adapter, false); return true; },
         "state", otherIdAt("proposalID"), drafted},
        {"projectVersions", false, draft,
         [](Window &w) { w.model->readProjectVersions(*w.adapter, w.model->videoDraft().videoPreview()->proposalID); return true; },
         "versions", otherIdAt("proposalID"), drafted},
        {"clearProjectRegistration", false, draft,
         [](Window &w) {
             w.model->clearProjectRegistration(*w.adapter, w.model->videoDraft().videoPreview()->proposalID);
             return true;
         },
         "versions", otherIdAt("proposalID"), drafted},
        {"preserveProject", false, draft,
         [](Window &w) { w.model->preserveProject(*w.adapter, w.nativeProject()); return true; }, "snapshotID",
         otherIdAt("proposalID"), drafted},

        // The inbox, its customers' pipelines and their consent.
        {"serviceInbox", false, [](Window &w) { return w.inboxRead(); },
         [](Window &w) { w.inbox->refresh(*w.adapter); return true; }, "items", otherIdAt("operatorID"), anything,
         [](const Window &w) { return w.inbox->error(); }},
        {"servicePipeline", false, [](Window &w) { return w.inboxRead(); },
         [](Window &w) { w.inbox->loadPipeline(*w.inbox->selectedItem(), *w.adapter, false); return true; }, "films",
         otherIdAt("company.id"), inboxed, [](const Window &w) { return w.inbox->pipelineError(); }},
        {"serviceClaimNext", true, [](Window &w) { return w.inboxRead(); },
         [](Window &w) { w.inbox->claimNext(*w.adapter); return true; }, "item", otherIdAt("operatorID"), inboxed,
         [](const Window &w) { return w.inbox->mutationError(); }},
        {"serviceStart", true, [](Window &w) { return w.claimNext(); },
         [](Window &w) { w.inbox->start(*w.claimed, *w.adapter); return true; },
         "item", otherIdAt("item.request.id"), inboxed, [](const Window &w) { return w.inbox->mutationError(); }},
        {"serviceMetadataSettings", false, [](Window &w) { return w.consentRead(); },
         [](Window &w) { w.inbox->metadata(*w.inbox->selectedItem(), *w.adapter, std::nullopt); return true; },
         "revision", otherIdAt("companyID"), inboxed, [](const Window &w) { return w.inbox->metadataError(); }},
        {"serviceMetadataConsent", true, [](Window &w) { return w.consentRead(); },
         [](Window &w) {
             const SorvaneMetadataSettings read = *w.inbox->metadataSettings();
             w.inbox->metadata(*w.inbox->selectedItem(), *w.adapter,
                               SorvaneInboxModel::MetadataUpdate{read.revision, !read.allowPipeline, read.contactName});
             return true;
         },
         "revision", otherIdAt("companyID"), [](const Window &w) { return w.inbox->metadataSettings().has_value(); },
         [](const Window &w) { return w.inbox->metadataError(); }},

        // Profiles and the AI connection.
        {"profileGet", false, [](Window &w) { return w.ownProfileRead(); },
         [](Window &w) { w.profiles->loadOwn(w.adapter); return true; }, "profile", otherIdAt("profile.userID"),
         anything, [](const Window &w) { return w.profiles->ownError(); }},
        {"profileUpdate", false, [](Window &w) { return w.ownProfileRead(); },
         [](Window &w) {
             (void)w.profiles->save(QStringLiteral("Demo Editor"), std::nullopt, w.adapter);
             return true;
         },
         "profile", otherIdAt("profile.userID"), [](const Window &w) { return w.profiles->ownProfile().has_value(); },
         [](const Window &w) { return w.profiles->ownError(); }},
        {"profileParticipants", false, [](Window &w) { return w.inboxRead(); },
         [](Window &w) {
             w.profiles->loadParticipants(w.inbox->items(), w.inbox->operatorID(), w.adapter);
             return true;
         },
         "items", {}, inboxed, [](const Window &w) { return w.profiles->participantsError(); }},
        {"mcpConnection", false, [](Window &w) { return w.connectionChecked(); },
         [](Window &w) { w.panel->check(); return true; }, "check", {}, anything,
         [](const Window &w) { return w.panel->error(); }},
    };
}

// This run's share of commands(): TAVLON_FAULT_MATRIX_PART=k/n, every command when unset.
QList<Command> part()
{
    const QList<Command> all = commands();
    const QStringList share = qEnvironmentVariable("TAVLON_FAULT_MATRIX_PART").split(u'/');
    const int k = share.size() == 2 ? share.first().toInt() : 1;
    const int n = share.size() == 2 ? share.last().toInt() : 1;
    QList<Command> chosen;
    for (qsizetype i = 0; i < all.size(); ++i)
        if (n < 1 || i % n == (k - 1) % n)
            chosen.append(all.at(i));
    return chosen;
}

} // namespace

Q_DECLARE_METATYPE(Command)

class TestFaultMatrix : public QObject
{
    Q_OBJECT

    StandinFixture standin;
    std::unique_ptr<Window> window;
    bool stateChanged = true;

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY2(standin.start(), qPrintable(standin.failure()));
        window = std::make_unique<Window>(standin);
    }

    void cleanupTestCase()
    {
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        window.reset();
    }

    void everyFaultOfEveryCommand_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("fault");
        for (const Command &command : part())
            for (int i = 0; i < int(std::size(faults)); ++i)
                if (QString::fromLatin1(faults[i].name) != u"wrong_ids" || !command.wrongIds.isEmpty())
                    QTest::addRow("%s %s", command.name, faults[i].name) << command << i;
    }

    void everyFaultOfEveryCommand()
    {
        QFETCH(Command, command);
        QFETCH(int, fault);
        const Fault &f = faults[fault];
        Window &w = *window;
        standin.clearScenario();
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        if (command.changesState || stateChanged)
            QVERIFY(standin.reset());
        stateChanged = command.changesState && f.workDone;
        QVERIFY(w.open());
        QVERIFY(w.freshFolder());
        QVERIFY2(command.prepare(w), qPrintable(w.editor->error().value_or(QStringLiteral("not reached"))));
        const QStringList before = contents(w.folder);

        QVERIFY(standin.setScenario(QJsonObject{{QString::fromLatin1(command.name), ruleFor(f, command)}}));
        if (QString::fromLatin1(f.name) == u"hang")
            Bridge::setTimeoutOverrideForTesting(std::chrono::milliseconds(1500));
        QVERIFY(command.operate(w));
        QVERIFY2(w.idle(), "a busy label stayed");
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        standin.clearScenario();

        const QString error = (command.errorOf ? command.errorOf(w) : w.editor->error()).value_or(QString());
        QVERIFY2(!error.trimmed().isEmpty(), "the failure was reported as success");
        // A sentence for a person: capitalised and closed, no decoder's or tool's own words.
        QVERIFY2(!error.contains(u'\n') && !error.contains(u'{') && !error.contains(u"Traceback")
                     && error.size() <= 300 && error.front().isUpper() && QStringLiteral(".!?").contains(error.back()),
                 qPrintable(error));
        QVERIFY2(command.survives(w), "what was shown before the failure went away");
        const QStringList after = contents(w.folder);
        for (const QString &path : after)
            QVERIFY2(!halfWritten(path), qPrintable(path));
        if (!f.workDone)
            QCOMPARE(after, before);
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
