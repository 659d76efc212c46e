// The opened task's detail, offscreen, over a real queue model whose fields
// the test sets: what it shows in the full screen, embedded and in the
// versions layout, and that its players and open groups outlive refreshes.
#include <QtTest>

#include "editor/desktopservices.h"
#include "editor/editormodel.h"
#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "foundation/ui/uikit.h"
#include "servicefakes.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/detail/servicetaskdetail.h"
#include "servicequeue/ui/review/servicereactionplayer.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

const QString kMe = "11111111-1111-4111-8111-111111111111";
const QString kCompany = "00000000-0000-4000-8000-000000000001";
const QString kReaction = "33333333-3333-4333-8333-333333333333";
constexpr int detailOnly = 1, versionsOnly = 2, withFolder = 4, listed = 8, showVersions = 16, usable = 32;

// Visible widgets below `root` whose names start with one of `prefixes`, in creation order.
QStringList shown(const QWidget &root, const QStringList &prefixes)
{
    QStringList names;
    auto insideReturnView = [&root](const QWidget *widget) {
        for (const QWidget *up = widget->parentWidget(); up && up != &root; up = up->parentWidget())
            if (up->objectName() == QLatin1String("service.video.return"))
                return true;
        return false;
    };
    for (const QWidget *widget : root.findChildren<QWidget *>())
        for (const QString &prefix : prefixes)
            if (widget->objectName().startsWith(prefix) && widget->isVisibleTo(&root)
                && !widget->objectName().endsWith(QLatin1String(".text")) && !insideReturnView(widget))
                names << widget->objectName();
    return names;
}

QString textOf(const QWidget &root, const QString &name)
{
    for (QWidget *widget : root.findChildren<QWidget *>(name))
        if (widget->isVisibleTo(&root)) {
            if (auto *label = qobject_cast<QLabel *>(widget))
                return label->text();
            if (auto *label = qobject_cast<UiKit::LongWordLabel *>(widget))
                return label->text();
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                return button->text();
            if (auto *box = qobject_cast<QGroupBox *>(widget))
                return box->title();
        }
    return QStringLiteral("<none>");
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ServiceProposal proposal(const QString &id, qint64 version, bool film)
{
    ServiceProposal p;
    p.id = id;
    p.version_number = version;
    p.content.title = "Udkast " + id;
    p.content.kind = film ? ServiceKind::filmEditing : ServiceKind::conceptDevelopment;
    p.content.concept_options = {{"opt-1", "Sommerfest"}, {"opt-2", "Bryggeriet"}};
    if (film)
        p.content.video = ProposalContent::ReviewVideo{};
    return p;
}

ServiceDecision decision(const QString &id, const QString &proposal, const QString &word, const QString &comment = {},
                         std::optional<QString> option = std::nullopt)
{
    return {id, proposal, word, comment, "2026-03-0" + id.right(1) + "T10:00:00Z", option};
}

ServiceReactionSummary reaction(const QString &decision, const QString &id, qint64 version = 1, qint64 comments = 2)
{
    ServiceReactionSummary r;
    r.decisionID = decision;
    r.reactionID = id;
    r.proposalVersion = version;
    r.annotationCount = comments;
    return r;
}

// Records what the detail hands to the desktop.
struct RecordingDesktop final : DesktopServices
{
    QStringList calls;
    void revealFolder(const QString &path) override { calls << "reveal " + path; }
    void openFile(const QString &path) override { calls << "open " + path; }
};

} // namespace

class TestServiceTaskDetail : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    MemorySettingsStore settings;
    FakeService service;
    FakePlayerFactory players;
    QSharedPointer<EditorModel> editorModel;
    std::unique_ptr<EditorServiceAdapter> editor;
    std::unique_ptr<ServiceQueueModel> model;
    std::unique_ptr<ServiceTaskDetail> view;
    int copyAsked = 0;
    RecordingDesktop desktop;

    // An opened task of `kind` in `status`; the flags choose the layout, the folder and the listing.
    void open(ServiceKind kind, const QString &status, int flags, std::optional<QString> claimedBy = kMe)
    {
        editorModel = EditorModel::create(std::make_shared<ProjectLocationStore>(settings, "test."), {},
                                          [](const BridgeCommand &, const QString &, CancellationToken) -> QCoro::Task<QByteArray> {
                                              co_return QByteArray(R"({"packages":[],"invalidPackages":[]})");
                                          });
        editor = std::make_unique<EditorServiceAdapter>(editorModel);
        model = std::make_unique<ServiceQueueModel>(service.bridge());
        if (flags & usable) {
            // Signed in with the company chosen, so the controls' operations really start.
            editorModel->setRepository("/tools");
            editorModel->accountChanged(QUrl("tavlon-session://first"));
            const int call = int(service.calls.size());
            auto load = model->loadCompanies(*editor, false);
            service.answer(call, QByteArray(R"({"operatorID":")" + kMe.toLatin1() + R"(","companies":[{"id":")"
                                            + kCompany.toLatin1() + R"(","name":"Firma"}]})"));
            QTRY_VERIFY(load.isReady());
            model->selectCompany(QUuid(kCompany), *editor);
        }
        if (flags & withFolder) {
            editorModel->chooseStorage(QUrl::fromLocalFile(folder.path()));
            QTRY_VERIFY(!editorModel->busy());
        }
        if (flags & listed)
            model->openedTask().setListing(ServiceListing{kCompany, kMe, {}});
        ServiceDetail detail;
        detail.request.id = "task-1";
        detail.request.company_id = kCompany;
        detail.request.title = "Sommerøl · Reklamefilm";
        detail.request.kind = kind;
        detail.request.status = status;
        detail.request.revision = 7;
        detail.request.claimed_by = claimedBy;
        model->openedTask().setDetail(detail);
        ServiceTaskDetailParts parts{model.get(), editorModel.get(), editor.get()};
        parts.detailOnly = flags & detailOnly;
        parts.versionsOnly = flags & versionsOnly;
        if (flags & showVersions)
            parts.onShowVersions = [] {};
        parts.seams.players = players.factory();
        parts.seams.desktop = &desktop;
        parts.askCopy = [this] { ++copyAsked; };
        view = std::make_unique<ServiceTaskDetail>(std::move(parts));
        view->resize(900, 700);
        view->show();
    }

    void download(bool verified, const QString &requestID = "task-1", const QString &company = kCompany,
                  std::optional<QString> projectFolder = std::nullopt)
    {
        ServiceDownload d;
        d.request = model->openedTask().detail()->request;
        d.request.id = requestID;
        d.companyID = company;
        d.folder = folder.path();
        d.verified = verified;
        d.projectFolder = projectFolder;
        model->openedTask().setDownload(d);
        settle();
    }

    void setProposals(QList<ServiceProposal> proposals, QList<ServiceDecision> decisions)
    {
        ServiceDetail detail = *model->openedTask().detail();
        detail.proposals = std::move(proposals);
        detail.decisions = std::move(decisions);
        model->openedTask().setDetail(detail);
        settle();
    }

    void expand(const QString &proposalID)
    {
        view->findChild<QToolButton *>("service.version." + proposalID + ".toggle")->setChecked(true);
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void cleanup()
    {
        copyAsked = 0;
        desktop.calls.clear();
        view.reset();
        model.reset();
        editor.reset();
        editorModel.reset();
    }

    void headingAndTakeOrFetch_data();
    void headingAndTakeOrFetch();
    void packageAndWorkingFolder_data();
    void packageAndWorkingFolder();
    void versionDelivery_data();
    void versionDelivery();
    void sentVersionsOrderAndVisibility_data();
    void sentVersionsOrderAndVisibility();
    void decisionRows_data();
    void decisionRows();
    void reactionsAndPlayersSurviveRefreshes();
    void controlsStartTheirOperations_data();
    void controlsStartTheirOperations();
};

void TestServiceTaskDetail::headingAndTakeOrFetch_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("flags");
    QTest::addColumn<std::optional<QString>>("claimedBy");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("action"); // the text of the row's button or note
    const QStringList full{"service.task.title", "service.task.status", "service.task.id"};
    const QString fetch = "Hent den indsendte projektversion";
    const QString taken = "Opgaven er taget af en anden operatør eller afsluttet.";
    const std::optional<QString> me = kMe, other = QString("22222222-2222-4222-8222-222222222222"), none;
    QTest::newRow("waiting, full") << "waiting" << (withFolder | listed) << none << full + QStringList{"service.task.claim"}
                                   << "Tag opgaven";
    QTest::newRow("waiting, embedded") << "waiting" << (detailOnly | withFolder | listed) << none
                                       << QStringList{"service.task.revision", "service.task.waitingHint"} << "<none>";
    QTest::newRow("active, embedded: no hint") << "active" << (detailOnly | withFolder | listed) << me
                                               << QStringList{"service.task.revision", "service.task.download"} << fetch;
    QTest::newRow("mine, no folder") << "active" << listed << me
                                     << full + QStringList{"service.task.download", "service.task.noFolder"} << fetch;
    QTest::newRow("no list, no claim") << "active" << withFolder << none << full + QStringList{"service.task.download"}
                                       << fetch;
    QTest::newRow("no list, claimed") << "active" << withFolder << me << full + QStringList{"service.task.taken"} << taken;
    QTest::newRow("other claimant") << "active" << (withFolder | listed) << other
                                    << full + QStringList{"service.task.taken"} << taken;
    QTest::newRow("unclaimed with a list") << "active" << (withFolder | listed) << none
                                           << full + QStringList{"service.task.taken"} << taken;
    QTest::newRow("approved") << "approved" << (withFolder | listed) << me
                              << full + QStringList{"service.task.closed", "service.task.download"}
                              << "Hent det indsendte projekt til gennemsyn";
    QTest::newRow("cancelled, other claimant")
        << "cancelled" << (withFolder | listed) << other << full + QStringList{"service.task.closed", "service.task.taken"}
        << taken;
}

void TestServiceTaskDetail::headingAndTakeOrFetch()
{
    QFETCH(QString, status);
    QFETCH(int, flags);
    QFETCH(std::optional<QString>, claimedBy);
    QFETCH(QStringList, names);
    QFETCH(QString, action);
    open(ServiceKind::filmEditing, status, flags, claimedBy);
    QCOMPARE(shown(*view, {"service.task."}), names);
    if (action != "<none>")
        QCOMPARE(textOf(*view, names.filter(QRegularExpression("claim|download|taken")).value(0)), action);
    if (flags & detailOnly)
        QCOMPARE(textOf(*view, "service.task.revision"), "Opgaverevision 7");
    else
        QCOMPARE(textOf(*view, "service.task.id"), "Opgave task-1 · revision 7");
    if (auto *fetchButton = view->findChild<QPushButton *>("service.task.download"))
        QCOMPARE(fetchButton->isEnabled(), bool(flags & withFolder));
    if (status == "approved")
        QCOMPARE(textOf(*view, "service.task.closed"),
                 "Opgaven er godkendt. Dens gemte versioner og feedback er stadig tilgængelige.");
    // Choosing a folder enables the fetch and removes the hint.
    if (names.contains("service.task.noFolder")) {
        editorModel->chooseStorage(QUrl::fromLocalFile(folder.path()));
        QTRY_VERIFY(!editorModel->busy());
        settle();
        QVERIFY(view->findChild<QPushButton *>("service.task.download")->isEnabled());
        QVERIFY(!shown(*view, {"service.task."}).contains("service.task.noFolder"));
    }
}

void TestServiceTaskDetail::packageAndWorkingFolder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("projectFolder");
    QTest::addColumn<QStringList>("workspaces");
    QTest::addColumn<int>("prepared"); // -1 none, else the hand-off's kind
    QTest::addColumn<bool>("proposalFile");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("labels"); // texts of the resume, prepare and hint rows shown, in order
    const int film = int(ServiceKind::filmEditing), writingKind = int(ServiceKind::conceptDevelopment);
    const QStringList common{"service.history.refresh", "service.brief.open"};
    const QString uuid = "0123456789abcdef-0000-4000-8000-000000000000";
    QTest::newRow("film, full, nothing prepared")
        << film << "active" << 0 << false << QStringList{} << -1 << false
        << QStringList{"service.film.copy"} + common
               + QStringList{"service.brief.refresh", "service.package.reveal", "service.workspace.prepare", "service.video.return"}
        << QStringList{"Forbered klipning"};
    QTest::newRow("writingKind with a film folder, saved folders")
        << writingKind << "active" << 0 << true << QStringList{"abcd", uuid} << -1 << false
        << QStringList{"service.film.open", "service.film.relink", "service.film.folder"} + common
               + QStringList{"service.package.reveal", "service.workspace.resume.abcd", "service.workspace.resume." + uuid,
                             "service.workspace.prepare"}
        << QStringList{"Fortsæt tidligere arbejdsmappe · abcd", "Fortsæt tidligere arbejdsmappe · 01234567",
                       "Forbered en ny arbejdsmappe"};
    QTest::newRow("saved folders named by their kind")
        << writingKind << "active" << 0 << false << QStringList{"writing-1a2b3c4d5e6f", "writing-9f8e7d6c5b4a"} << -1
        << false
        << common + QStringList{"service.package.reveal", "service.workspace.resume.writing-1a2b3c4d5e6f",
                                "service.workspace.resume.writing-9f8e7d6c5b4a", "service.workspace.prepare"}
        << QStringList{"Fortsæt tidligere arbejdsmappe · 1a2b3c4d", "Fortsæt tidligere arbejdsmappe · 9f8e7d6c",
                       "Forbered en ny arbejdsmappe"};
    QTest::newRow("approved film, full: no prepare, return view stays")
        << film << "approved" << 0 << false << QStringList{"abcd"} << film << false
        << QStringList{"service.film.copy"} + common
               + QStringList{"service.brief.refresh", "service.package.reveal", "service.workspace.resume.abcd",
                             "service.video.return", "service.workspace.open"}
        << QStringList{"Åbn gemt arbejdsmappe · abcd"};
    QTest::newRow("film, embedded, no way to versions")
        << film << "active" << int(detailOnly) << false << QStringList{} << film << false
        << QStringList{"service.film.copy"} + common
               + QStringList{"service.brief.refresh", "service.package.reveal", "service.workspace.prepare",
                             "service.video.returnHint", "service.workspace.open", "service.workspace.filmHint"}
        << QStringList{"Forbered klipning",
                       "Aflever den klippede video fra Versioner. Dens gennemgang og kundens svar samles der.",
                       "Klip i dit redigeringsprogram, og åbn derefter Versioner for at klargøre og sende den eksporterede video."};
    QTest::newRow("film, embedded, with the way to versions")
        << film << "active" << (detailOnly | showVersions) << false << QStringList{} << -1 << false
        << QStringList{"service.film.copy"} + common
               + QStringList{"service.brief.refresh", "service.package.reveal", "service.workspace.prepare",
                             "service.video.returnHint", "service.video.openVersions"}
        << QStringList{"Forbered klipning",
                       "Aflever den klippede video fra Versioner. Dens gennemgang og kundens svar samles der."};
    QTest::newRow("approved film, embedded: nothing to return")
        << film << "approved" << (detailOnly | showVersions) << false << QStringList{} << -1 << false
        << QStringList{"service.film.copy"} + common + QStringList{"service.brief.refresh", "service.package.reveal"}
        << QStringList{};
    QTest::newRow("writing folder without proposal file")
        << writingKind << "active" << 0 << false << QStringList{"abcd"} << writingKind << false
        << common + QStringList{"service.package.reveal", "service.workspace.resume.abcd", "service.workspace.prepare",
                                "service.workspace.open", "service.workspace.guide", "service.workspace.writingHint"}
        << QStringList{"Fortsæt tidligere arbejdsmappe · abcd", "Forbered en ny arbejdsmappe",
                       "Arbejd i writer-start.md og udfyld work/customer-proposal.json. Den tomme skabelon laver ingen "
                       "research eller manuskript af sig selv."};
    QTest::newRow("closed writing folder with proposal file")
        << writingKind << "cancelled" << 0 << false << QStringList{} << writingKind << true
        << common + QStringList{"service.package.reveal", "service.workspace.open", "service.workspace.guide",
                                "service.proposal.openFile", "service.proposal.readPreview"}
        << QStringList{};
    QTest::newRow("film folder, full: film hint says above")
        << film << "active" << 0 << false << QStringList{"abcd"} << film << false
        << QStringList{"service.film.copy"} + common
               + QStringList{"service.brief.refresh", "service.package.reveal", "service.workspace.resume.abcd",
                             "service.workspace.prepare", "service.video.return", "service.workspace.open",
                             "service.workspace.filmHint"}
        << QStringList{"Fortsæt tidligere arbejdsmappe · abcd", "Forbered en ny arbejdsmappe",
                       "Klip i dit redigeringsprogram, og vælg derefter den eksporterede video ovenfor."};
}

void TestServiceTaskDetail::packageAndWorkingFolder()
{
    QFETCH(int, kind);
    QFETCH(QString, status);
    QFETCH(int, flags);
    QFETCH(bool, projectFolder);
    QFETCH(QStringList, workspaces);
    QFETCH(int, prepared);
    QFETCH(bool, proposalFile);
    QFETCH(QStringList, names);
    QFETCH(QStringList, labels);
    // Taken by another operator: the package section follows the package alone.
    open(ServiceKind(kind), status, flags | withFolder | listed, QString("someone else"));
    download(true, "task-1", kCompany, projectFolder ? std::optional(folder.filePath("film")) : std::nullopt);
    QList<PreparedHandoff> saved;
    for (const QString &id : workspaces)
        saved.append(PreparedHandoff{id, folder.filePath(id)});
    model->proposals().setWorkspaces(saved);
    if (prepared >= 0) {
        PreparedHandoff handoff{"abcd", folder.filePath("abcd")};
        handoff.kind = ServiceKind(prepared);
        handoff.timelineFormat = SorvaneTimelineFormat{1920, 1080, 25, 1, "explicit"};
        model->proposals().setPrepared(handoff);
    }
    if (proposalFile)
        model->proposals().setProposalFile(ProposalFile{folder.filePath("abcd/work/customer-proposal.json")});
    settle();
    // A prepared hand-off shows its timeline format under its folder.
    QCOMPARE(view->findChild<QWidget *>("service.source.timelineFormat") != nullptr, prepared >= 0);
    if (auto *copy = view->findChild<QPushButton *>("service.film.copy")) {
        copy->click(); // the screen asks before it copies
        QCOMPARE(copyAsked, 1);
        QVERIFY(!editorModel->busy());
    }
    const QStringList prefixes{"service.film.", "service.history.", "service.brief.", "service.package.reveal",
                               "service.workspace.", "service.proposal.", "service.video.return", "service.video.openVersions"};
    const QStringList found = shown(*view, prefixes);
    QCOMPARE(found, names);
    QStringList texts;
    for (const QString &name : found)
        if (name.startsWith("service.workspace.resume") || name == "service.workspace.prepare" || name.endsWith("Hint"))
            texts << textOf(*view, name);
    QCOMPARE(texts, labels);
    if (proposalFile) {
        // The checked proposal waits in its review box; the send only asks for confirmation.
        ProposalPreview preview;
        preview.notice = "Forslaget er kontrolleret.";
        preview.content.title = "Sommerfest";
        model->proposals().setPreview(preview);
        settle();
        QCOMPARE(textOf(*view, "service.proposal.review"), "Gennemgå før afsendelse");
        QCOMPARE(textOf(*view, "service.proposal.review.notice"), "Forslaget er kontrolleret.");
        view->findChild<QPushButton *>("service.proposal.send")->click();
        QVERIFY(model->proposals().confirmation() && !editorModel->busy());
    }
    if (auto *prepare = view->findChild<QPushButton *>("service.workspace.prepare")) {
        // Drawn in the fill the kit gives a main action where it stands (the
        // accent, darkened until its text reads), or plain.
        QPushButton filled(prepare->text(), prepare->parentWidget());
        UiKit::makeProminent(&filled);
        filled.resize(prepare->size());
        const auto fillOf = [](QWidget *button) {
            const QImage image = button->grab().toImage();
            return image.pixelColor(4, image.height() / 2);
        };
        QVERIFY(fillOf(&filled).hsvSaturationF() > 0.3);
        QCOMPARE(fillOf(prepare) == fillOf(&filled), workspaces.isEmpty());
    }
}

void TestServiceTaskDetail::versionDelivery_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("flags");
    QTest::addColumn<std::optional<QString>>("claimedBy");
    QTest::addColumn<int>("package"); // 0 none, 1 verified, 2 unverified, 3 same id of another company
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("box");
    const QString other = "22222222-2222-4222-8222-222222222222";
    const QStringList box{"service.video.delivery", "service.video.delivery.explanation"};
    const QStringList button = box + QStringList{"service.video.downloadPrerequisite"};
    QTest::newRow("verified package of the task") << "active" << (withFolder | listed) << std::optional(kMe) << 1
                                                  << QStringList{"service.video.return"} << "<none>";
    QTest::newRow("same id, another company") << "active" << (withFolder | listed) << std::optional(kMe) << 3 << button
                                              << "Ny videoversion";
    QTest::newRow("unverified package") << "active" << (withFolder | listed) << std::optional(kMe) << 2 << button
                                        << "Ny videoversion";
    QTest::newRow("waiting though claimed by me")
        << "waiting" << (withFolder | listed) << std::optional(kMe) << 0
        << box + QStringList{"service.video.delivery.waiting"} << "Ny videoversion";
    QTest::newRow("approved, mine") << "approved" << (withFolder | listed) << std::optional(kMe) << 0 << button
                                    << "Gemte versioner";
    QTest::newRow("no list, no claim") << "active" << int(withFolder) << std::optional<QString>() << 0 << button
                                       << "Ny videoversion";
    QTest::newRow("no list, claimed") << "active" << int(withFolder) << std::optional(kMe) << 0
                                      << box + QStringList{"service.video.delivery.taken"} << "Ny videoversion";
    QTest::newRow("other claimant") << "cancelled" << (withFolder | listed) << std::optional(other) << 0
                                    << box + QStringList{"service.video.delivery.taken"} << "Gemte versioner";
    QTest::newRow("no project folder") << "active" << int(listed) << std::optional(kMe) << 0
                                       << button + QStringList{"service.video.delivery.noFolder"} << "Ny videoversion";
}

void TestServiceTaskDetail::versionDelivery()
{
    QFETCH(QString, status);
    QFETCH(int, flags);
    QFETCH(std::optional<QString>, claimedBy);
    QFETCH(int, package);
    QFETCH(QStringList, names);
    QFETCH(QString, box);
    open(ServiceKind::filmEditing, status, flags | versionsOnly | detailOnly, claimedBy);
    if (package)
        download(package != 2, "task-1", package == 3 ? QString("00000000-0000-4000-8000-000000000009") : kCompany);
    QCOMPARE(shown(*view, {"service.video."}), names);
    QCOMPARE(textOf(*view, "service.video.delivery"), box);
    QCOMPARE(shown(*view, {"service.task.", "service.versions."}),
             (QStringList{"service.task.revision"} + (status == "waiting" ? QStringList{"service.task.waitingHint"} : QStringList{})
              + QStringList{"service.versions.title", "service.versions.empty"}));
    if (auto *pull = view->findChild<QPushButton *>("service.video.downloadPrerequisite")) {
        QCOMPARE(pull->text(), status == "approved" ? "Hent det indsendte projekt til gennemsyn"
                                                    : "Hent den indsendte projektversion");
        QCOMPARE(pull->isEnabled(), bool(flags & withFolder));
    }
    if (names.contains("service.video.delivery.taken")) {
        // Someone else's task with sent versions (what "View approved version" opens): the box
        // says where they are instead of ending there.
        setProposals({proposal("p1", 1, true)}, {});
        QCOMPARE(shown(*view, {"service.video."}), names + QStringList{"service.video.delivery.below"});
        QCOMPARE(textOf(*view, "service.video.delivery.below"), "Opgavens sendte versioner og kundens svar står nedenfor.");
    }
}

void TestServiceTaskDetail::sentVersionsOrderAndVisibility_data()
{
    QTest::addColumn<bool>("film");
    QTest::addColumn<int>("package"); // 0 none, 1 verified, 2 unverified
    QTest::addColumn<QStringList>("names");
    const QString v = "service.version.p3.";
    QTest::newRow("film, verified") << true << 1
                                    << QStringList{"service.video.stage.p3", "service.review.download.p3",
                                                   v + "projectVersions", "service.decision.d1.reactions"};
    QTest::newRow("film, unverified") << true << 2
                                      << QStringList{"service.video.stage.p3", v + "projectVersions",
                                                     "service.decision.d1.reactions"};
    QTest::newRow("film, no package") << true << 0 << QStringList{"service.video.stage.p3"};
    QTest::newRow("writing, verified") << false << 1 << QStringList{};
}

void TestServiceTaskDetail::sentVersionsOrderAndVisibility()
{
    QFETCH(bool, film);
    QFETCH(int, package);
    QFETCH(QStringList, names);
    open(film ? ServiceKind::filmEditing : ServiceKind::conceptDevelopment, "changes_requested", withFolder | listed);
    if (package)
        download(package == 1);
    setProposals({proposal("p1", 1, film), proposal("p3", 3, film), proposal("p2a", 2, film), proposal("p2b", 2, film)},
                 {decision("d1", "p3", "request_changes", "Mere lys"), decision("d2", "p2a", "approve")});
    QCOMPARE(shown(*view, {"service.version."}).filter(QRegularExpression("toggle$")),
             (QStringList{"service.version.p3.toggle", "service.version.p2a.toggle", "service.version.p2b.toggle",
                          "service.version.p1.toggle"}));
    const auto groups = view->findChild<QWidget *>("service.versions")->layout();
    QStringList order;
    for (int i = 0; i < groups->count(); ++i)
        order << groups->itemAt(i)->widget()->objectName();
    QCOMPARE(order, (QStringList{"service.version.p3", "service.version.p2a", "service.version.p2b", "service.version.p1"}));
    QCOMPARE(textOf(*view, "service.version.p3.title"), "Forslag version 3 · Udkast p3");
    QVERIFY(shown(*view, {"service.decision."}).isEmpty()); // collapsed at first
    expand("p3");
    const QStringList found = shown(*view, {"service.video.stage.", "service.review.", "service.version.p3.projectVersions",
                                      "service.decision.d1.reactions"});
    QCOMPARE(found, names);
    QCOMPARE(textOf(*view, "service.decision.d1.title"), "Kunden ønsker rettelser");
    if (!film)
        return;
    // Each version's stage follows its own decisions, and its picture is never blank.
    expand("p2a");
    expand("p1");
    const QList<std::pair<QString, ServiceVideoStage>> stages{{"p3", ServiceVideoStage::changesRequested},
                                                              {"p2a", ServiceVideoStage::approved},
                                                              {"p1", ServiceVideoStage::sentForReview}};
    for (const auto &[id, stage] : stages) {
        QCOMPARE(textOf(*view, "service.video.stage." + id + ".text"), VideoStage::title(stage));
        const QLabel *icon = nullptr;
        for (const QLabel *label : view->findChild<QWidget *>("service.video.stage." + id)->findChildren<QLabel *>())
            if (label->property("symbol").isValid())
                icon = label;
        QVERIFY2(icon && (!icon->pixmap().isNull() || !icon->text().isEmpty()), qPrintable(id));
    }
}

void TestServiceTaskDetail::decisionRows_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<std::optional<QString>>("option");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("direction");
    QTest::newRow("approve, chosen option") << "approve" << "Godkendt, tak." << std::optional<QString>("opt-2")
                                            << "Kunden har godkendt forslaget" << "Valgt retning: Bryggeriet";
    QTest::newRow("request changes, unknown option") << "request_changes" << "" << std::optional<QString>("opt-9")
                                                     << "Kunden ønsker rettelser" << "<none>";
    QTest::newRow("another word, spaces kept") << "reject" << "   " << std::optional<QString>()
                                               << "Kunden ønsker rettelser" << "<none>";
    QTest::newRow("letter case counts") << "Approve" << "Linje 1\n  [0:02]\tlinje 2 " << std::optional<QString>("opt-1")
                                        << "Kunden ønsker rettelser" << "Valgt retning: Sommerfest";
}

void TestServiceTaskDetail::decisionRows()
{
    QFETCH(QString, word);
    QFETCH(QString, comment);
    QFETCH(std::optional<QString>, option);
    QFETCH(QString, title);
    QFETCH(QString, direction);
    open(ServiceKind::conceptDevelopment, "review", withFolder | listed);
    download(true);
    setProposals({proposal("p1", 1, false), proposal("p2", 2, false)},
                 {decision("d1", "p1", word, comment, option), decision("d2", "p2", "approve")});
    expand("p1");
    QCOMPARE(shown(*view, {"service.decision."}).filter(QRegularExpression("^service.decision.d\\d$")),
             QStringList{"service.decision.d1"}); // only p1's decision, p2 still collapsed
    QCOMPARE(textOf(*view, "service.decision.d1.title"), title);
    QCOMPARE(textOf(*view, "service.decision.d1.direction"), direction);
    QCOMPARE(textOf(*view, "service.decision.d1.comment"), comment.isEmpty() ? "<none>" : comment);
    if (!comment.isEmpty())
        QVERIFY(view->findChild<QLabel *>("service.decision.d1.comment")->textInteractionFlags() & Qt::TextSelectableByMouse);
}

void TestServiceTaskDetail::reactionsAndPlayersSurviveRefreshes()
{
    open(ServiceKind::filmEditing, "changes_requested", withFolder | listed);
    download(true);
    setProposals({proposal("p1", 1, true), proposal("p2", 2, true)},
                 {decision("d1", "p1", "request_changes"), decision("d2", "p2", "request_changes")});
    expand("p1");
    expand("p2");
    const QStringList d1{"service.decision.d1.loadReactions"};
    QCOMPARE(shown(*view, {"service.decision.d1.loadReactions", "service.decision.d1.noReaction", "service.reaction."}), d1);

    // Loaded: d1 has two reactions in list order, d2 none and says so.
    model->review().setReactions({reaction("d1", "r2", 1, 3), reaction("d9", "r1"), reaction("d1", "r1", 1, 0)});
    model->review().setReactionHistoryLoaded(true);
    settle();
    QCOMPARE(shown(*view, {"service.reaction.", "service.decision.d1.noReaction", "service.decision.d2.noReaction"})
                 .filter(QRegularExpression("(noReaction|r\\d)$")),
             (QStringList{"service.decision.d2.noReaction", "service.reaction.d1/r2", "service.reaction.d1/r1"}));
    QCOMPARE(textOf(*view, "service.reaction.d1/r2.text"), "Reaktion · version 1 · 3 kommentarer");

    // The player sits under the downloaded reaction's row only.
    ServiceReactionDownload pulled;
    pulled.selected = reaction("d1", "r1");
    pulled.checkedFile = folder.filePath("r1.mp4");
    model->review().setReactionDownload(pulled);
    settle();
    auto players_ = view->findChildren<ServiceReactionPlayer *>();
    QCOMPARE(players_.size(), 1);
    QCOMPARE(players_[0]->parentWidget()->objectName(), "service.reaction.d1/r1");
    QCOMPARE(players.made->size(), 1);

    // Review video of p2 with its own decisions, then refreshes of every kind keep players and open groups.
    ServiceReviewVideoDownload review;
    review.proposalID = "p2";
    review.file = folder.filePath("review.mp4");
    model->review().setReviewVideo(review);
    settle();
    QCOMPARE(players.made->size(), 2);
    setProposals({proposal("p1", 1, true), proposal("p2", 2, true)},
                 {decision("d1", "p1", "request_changes"), decision("d2", "p2", "request_changes")});
    download(true);
    model->review().setReactions(model->review().reactions());
    model->review().setReactionDownload(pulled);
    model->review().setReviewVideo(review);
    model->projectCopies().setProjectVersionsProposalID(QString("p1"));
    settle();
    QCOMPARE(players.made->size(), 2);
    QVERIFY(players.made->at(0) && players.made->at(1));
    QVERIFY(view->findChild<QToolButton *>("service.version.p1.toggle")->isChecked());

    // Reading the brief, inline or for its sheet, rebuilds none of the task's
    // controls (a rebuild drops the keyboard focus of the button just pressed).
    const QPointer<QPushButton> readBrief = view->findChild<QPushButton *>("service.brief.open");
    QVERIFY(readBrief);
    model->openedTask().setInlineBrief(PackageContext());
    model->openedTask().setPackageContext(PackageContext());
    settle();
    QVERIFY(readBrief);
    QCOMPARE(players.made->size(), 2);

    // A second download moves the player to that row with a fresh player.
    pulled.selected = reaction("d1", "r2");
    pulled.checkedFile = folder.filePath("r2.mp4");
    model->review().setReactionDownload(pulled);
    settle();
    players_ = view->findChildren<ServiceReactionPlayer *>();
    QCOMPARE(players_.size(), 1);
    QCOMPARE(players_[0]->parentWidget()->objectName(), "service.reaction.d1/r2");
    QCOMPARE(players.made->size(), 3);
    QVERIFY(!players.made->at(0)); // the first reaction's player is gone

    // Reloading the reactions drops the download and so the player.
    model->review().setReactionDownload(std::nullopt);
    settle();
    QVERIFY(view->findChildren<ServiceReactionPlayer *>().isEmpty());
}

void TestServiceTaskDetail::controlsStartTheirOperations_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("package");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("command"); // the first tool command the operation runs
    QTest::addColumn<QString>("argument"); // one of its arguments, when the control passes one; else the desktop call
    using K = BridgeCommand::Kind;
    const int desktopCall = -1; // no operation: a path for the desktop, below the test folder "~"
    QTest::newRow("take") << "waiting" << 0 << false << "service.task.claim" << int(K::serviceClaim) << "";
    QTest::newRow("fetch, queue screen") << "active" << 0 << false << "service.task.download" << int(K::servicePull) << "";
    QTest::newRow("fetch, embedded: the film envelope")
        << "active" << int(detailOnly) << false << "service.task.download" << int(K::servicePullFilm) << "";
    QTest::newRow("delivery fetch, embedded versions") << "active" << (detailOnly | versionsOnly) << false
                                                       << "service.video.downloadPrerequisite" << int(K::servicePullFilm) << "";
    QTest::newRow("delivery fetch, queue screen versions") << "active" << int(versionsOnly) << false
                                                           << "service.video.downloadPrerequisite" << int(K::servicePull) << "";
    QTest::newRow("relink") << "active" << 0 << true << "service.film.relink" << int(K::relinkFilm) << "";
    QTest::newRow("history") << "active" << 0 << true << "service.history.refresh" << int(K::serviceHistory) << "";
    QTest::newRow("brief") << "active" << 0 << true << "service.brief.open" << int(K::context) << "";
    QTest::newRow("current instructions") << "active" << 0 << true << "service.brief.refresh" << int(K::serviceBriefPull) << "";
    QTest::newRow("review video") << "review" << 0 << true << "service.review.download.p1" << int(K::serviceReviewPull) << "p1";
    QTest::newRow("saved projects") << "review" << 0 << true << "service.version.p1.projectVersions"
                                    << int(K::projectVersions) << "p1";
    QTest::newRow("reactions") << "review" << 0 << true << "service.decision.d1.loadReactions" << int(K::serviceFeedback) << "";
    QTest::newRow("resume") << "active" << 0 << true << "service.workspace.resume.abcd" << int(K::serviceWorkspaces) << "";
    QTest::newRow("review the proposal") << "active" << 0 << true << "service.proposal.readPreview"
                                         << int(K::proposalPreview) << "";
    QTest::newRow("film folder") << "active" << 0 << true << "service.film.open" << desktopCall << "reveal ~/film";
    QTest::newRow("original package") << "active" << 0 << true << "service.package.reveal" << desktopCall << "reveal ~";
    QTest::newRow("working folder") << "active" << 0 << true << "service.workspace.open" << desktopCall << "reveal ~/abcd";
    QTest::newRow("start guide") << "active" << 0 << true << "service.workspace.guide" << desktopCall
                                 << "open ~/abcd/writer-start.md";
    QTest::newRow("proposal file") << "active" << 0 << true << "service.proposal.openFile" << desktopCall
                                   << "open ~/abcd/work/customer-proposal.json";
    QTest::newRow("one reaction") << "review" << 0 << true << "service.reaction.d1/" + kReaction + ".play"
                                  << int(K::serviceFeedbackPull) << kReaction;
}

void TestServiceTaskDetail::controlsStartTheirOperations()
{
    QFETCH(QString, status);
    QFETCH(int, flags);
    QFETCH(bool, package);
    QFETCH(QString, control);
    QFETCH(int, command);
    QFETCH(QString, argument);
    open(ServiceKind::filmEditing, status, flags | usable | withFolder | listed);
    QVERIFY(model->canUseCompany(*editor));
    if (package) {
        download(true, "task-1", kCompany, folder.filePath("film"));
        setProposals({proposal("p1", 1, true)}, {decision("d1", "p1", "request_changes")});
        ServiceReactionSummary recorded = reaction("d1", kReaction);
        recorded.proposalID = "p1";
        recorded.mode = "selfie";
        recorded.duration = 12;
        model->review().setReactions({recorded});
        model->proposals().setWorkspaces({PreparedHandoff{"abcd", folder.filePath("abcd")}});
        PreparedHandoff writing{"abcd", folder.filePath("abcd")};
        writing.kind = ServiceKind::scriptDevelopment;
        model->proposals().setPrepared(writing);
        model->proposals().setProposalFile(ProposalFile{folder.filePath("abcd/work/customer-proposal.json")});
        expand("p1");
        settle();
    }
    const int before = int(service.calls.size());
    auto *button = view->findChild<QPushButton *>(control);
    QVERIFY2(button && button->isVisibleTo(view.get()) && button->isEnabled(), qPrintable(control));
    button->click();
    if (command == -1) {
        QCOMPARE(desktop.calls, QStringList{argument.replace("~", folder.path())});
        QVERIFY(!editorModel->busy());
        return;
    }
    QTRY_VERIFY(service.calls.size() > before);
    const BridgeCommand &ran = service.calls[before].command;
    QCOMPARE(int(ran.kind()), command);
    if (!argument.isEmpty())
        QVERIFY2(ran.arguments().contains(argument), qPrintable(ran.arguments().join(' ')));
    editorModel->cancel();
    QTRY_VERIFY(!editorModel->busy());
}

QTEST_MAIN(TestServiceTaskDetail)
#include "tst_servicetaskdetail.moc"
