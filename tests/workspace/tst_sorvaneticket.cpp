#include "inboxfixtures.h"
#include "inboxmodelfakes.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ticket/sorvaneticket.h"
#include "workspace/ui/sorvaneticketdetail.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace InboxFixtures;
using Kind = SorvaneTicket::Action::Kind;
using Step = SorvaneTicket::SourceStep::Kind;

Q_DECLARE_METATYPE(SorvaneInboxRow)

namespace {

const QUuid me = QUuid(operatorID);

SorvaneInboxRow task(const QString &status, ServiceKind kind = ServiceKind::filmEditing,
                     std::optional<QString> holder = std::nullopt)
{
    SorvaneInboxRow r;
    r.request.id = QStringLiteral("task-1");
    r.request.status = status;
    r.request.kind = kind;
    r.request.claimed_by = holder;
    return r;
}

SorvaneInboxRow with(SorvaneInboxRow r, std::function<void(SorvaneInboxRow &)> change)
{
    change(r);
    return r;
}

class FakeProfiles final : public SorvaneWorkspaceProfiles
{
public:
    std::optional<SorvaneRequestParticipants> people;
    QCoro::Task<void> loadParticipants(QList<SorvaneInboxRow>, std::optional<QUuid>, CancellationToken) override
    {
        co_return;
    }
    std::optional<SorvanePersonProfile> customer(const SorvaneInboxRow &) const override { return std::nullopt; }
    std::optional<SorvaneRequestParticipants> participants(const SorvaneInboxRow &) const override { return people; }
    std::optional<QString> participantsError() const override { return std::nullopt; }
};

// One workspace over real models whose tool runs the test answers, and its ticket detail.
struct Setup
{
    MemorySettingsStore store;
    HeldBridge bridge;
    QSharedPointer<EditorModel> editor;
    std::unique_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<ServiceQueueModel> queue;
    std::unique_ptr<SorvaneInboxModel> inbox;
    FakeProfiles profiles;
    std::unique_ptr<SorvaneWorkspace> workspace;
    QList<bool> screens; // versionsOnly of every embedded task screen
    std::unique_ptr<SorvaneTicketDetail> detail;

    explicit Setup(bool demo = false)
    {
        editor = EditorModel::create(std::make_shared<ProjectLocationStore>(store, QStringLiteral("p.")), {},
                                     bridge.bridge());
        adapter = std::make_unique<EditorServiceAdapter>(editor);
        queue = std::make_unique<ServiceQueueModel>(bridge.bridge(), demo);
        inbox = std::make_unique<SorvaneInboxModel>(bridge.bridge(), store);
        workspace = std::make_unique<SorvaneWorkspace>(
            SorvaneWorkspace::Parts{editor.data(), adapter.get(), queue.get(), inbox.get(), &store, &profiles});
        editor->accountChanged(QUrl(QStringLiteral("tavlon-session://one")));
        SorvaneTicketDetail::Embeds embeds;
        embeds.taskScreen = [this](bool versionsOnly, std::function<void()>, QWidget *parent) -> QWidget * {
            screens.append(versionsOnly);
            return new QLabel(parent);
        };
        // As tall as the customer's pipeline in its collapsed form.
        embeds.pipeline = [](QWidget *parent) {
            auto *pipeline = new QWidget(parent);
            pipeline->setObjectName(QStringLiteral("test.pipeline"));
            pipeline->setMinimumHeight(220);
            return pipeline;
        };
        detail = std::make_unique<SorvaneTicketDetail>(*workspace, embeds);
    }
    ~Setup()
    {
        detail.reset();
        workspace.reset();
        inbox.reset();
    }
    void load(const QList<QJsonObject> &rows, const std::optional<QJsonObject> &next = std::nullopt)
    {
        inbox->refresh(*adapter);
        QJsonObject top = inboxPage(0);
        QJsonArray items;
        for (const QJsonObject &r : rows)
            items.append(r);
        top["items"] = items;
        if (next) {
            top["nextItem"] = *next;
            top["nextRequestID"] = next->value("request").toObject().value("id");
        }
        bridge.answerLast(bytes(top));
        QTRY_VERIFY(!inbox->loading());
        QVERIFY2(!inbox->error(), qPrintable(inbox->error().value_or(QString())));
    }
    void open(int n)
    {
        ServiceDetail opened;
        opened.request = inbox->items().at(n).request;
        queue->openedTask().setDetail(opened);
    }
    QString section() const { return detail->findChild<QStackedWidget *>("sorvane.ticket.section")->currentWidget()->objectName(); }
    QPushButton *button(const QString &text) const
    {
        for (QPushButton *b : detail->findChildren<QPushButton *>())
            if (b->text() == text && !b->isHidden())
                return b;
        return nullptr;
    }
    bool shows(const QString &text) const
    {
        for (QLabel *l : detail->findChildren<QLabel *>())
            if (l->text() == text && l->isVisibleTo(detail.get()))
                return true;
        return false;
    }
};

QJsonObject claimed(int n, const QString &status = QStringLiteral("active"))
{
    return set(row(n, status), "request/claimed_by", operatorID.toUpper());
}

} // namespace

class TestSorvaneTicket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void actions_data()
    {
        QTest::addColumn<SorvaneInboxRow>("item");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("opened"); // 0 none, 1 this task, 2 this task with a version, 3 another task with a version
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("hint");
        const QString mine = operatorID.toUpper(), other = uuidFor(9, 9);
        const auto film = ServiceKind::filmEditing;
        const auto canClaim = [](SorvaneInboxRow &r) { r.scheduling.canClaim = true; };
        const auto started = [](SorvaneInboxRow &r) { r.scheduling.startedAt = "2024-05-01T10:00:00Z"; };
        const QString eligible = "Waiting for production eligibility";
        // clang-format off
        QTest::newRow("approved with a version") << task("approved") << true << false << 2 << int(Kind::versions) << "View sent versions" << true << "";
        QTest::newRow("approved, no version yet") << task("approved") << true << false << 1 << int(Kind::none) << "" << true << "";
        QTest::newRow("cancelled, other task open") << task("cancelled") << true << false << 3 << int(Kind::none) << "" << true << "";
        QTest::newRow("approved, other task open") << task("approved") << true << false << 3 << int(Kind::none) << "" << true << "";
        QTest::newRow("next and claimable") << with(task("waiting"), canClaim) << true << true << 0 << int(Kind::takeNext) << "Take next task" << true << "";
        QTest::newRow("claimable, not next") << with(task("waiting"), canClaim) << true << false << 0 << int(Kind::blocked) << eligible << true << "";
        QTest::newRow("next, blocked") << with(task("waiting"), [](SorvaneInboxRow &r) { r.scheduling.blockedReason = SorvaneScheduling::BlockedReason::earlier_film; }) << true << true << 0 << int(Kind::blocked) << "An earlier film is waiting" << true << "";
        QTest::newRow("concept, not opened") << task("waiting", ServiceKind::conceptDevelopment) << true << false << 3 << int(Kind::claim) << "Take the task" << false << "";
        QTest::newRow("script, opened") << task("waiting", ServiceKind::scriptDevelopment) << true << false << 1 << int(Kind::claim) << "Take the task" << true << "";
        QTest::newRow("mine, other letter case") << task("active", film, mine) << true << false << 0 << int(Kind::start) << "Start editing" << true << "";
        QTest::newRow("held by another") << task("active", film, other) << true << true << 0 << int(Kind::none) << "" << true << "";
        QTest::newRow("no holder, no operator") << task("active") << false << false << 0 << int(Kind::start) << "Start editing" << true << "";
        QTest::newRow("no holder, signed in") << task("active") << true << false << 0 << int(Kind::none) << "" << true << "";
        QTest::newRow("already started") << with(task("active", film, mine), started) << true << true << 0 << int(Kind::none) << "" << true << "";
        QTest::newRow("revisions, not next") << task("changes_requested", film, mine) << true << false << 0 << int(Kind::start) << "Continue revisions" << false << "Start the next due task first.";
        QTest::newRow("revisions, next") << task("changes_requested", film, mine) << true << true << 0 << int(Kind::start) << "Continue revisions" << true << "";
        QTest::newRow("review") << task("review", film, mine) << true << true << 0 << int(Kind::none) << "" << true << "";
        QTest::newRow("active concept") << task("active", ServiceKind::conceptDevelopment, mine) << true << true << 1 << int(Kind::none) << "" << true << "";
        // clang-format on
    }

    void actions()
    {
        QFETCH(SorvaneInboxRow, item);
        QFETCH(bool, signedIn);
        QFETCH(bool, next);
        QFETCH(int, opened);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QString, hint);
        std::optional<ServiceDetail> detail;
        if (opened) {
            detail = ServiceDetail{};
            detail->request = item.request;
            if (opened == 3)
                detail->request.id = "task-2";
            if (opened >= 2)
                detail->proposals.append(ServiceProposal{});
        }
        const auto action = SorvaneTicket::action(item, signedIn ? std::optional(me) : std::nullopt,
                                                  next ? std::optional(item) : std::nullopt, detail);
        QCOMPARE(int(action.kind), kind);
        QCOMPARE(action.text, text);
        QCOMPARE(action.enabled, enabled);
        QCOMPARE(action.hint.value_or(QString()), hint);
    }

    void sourceSteps_data()
    {
        QTest::addColumn<SorvaneInboxRow>("item");
        QTest::addColumn<int>("download"); // 0 none, 1 unverified, 2 verified
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        const QString mine = operatorID, other = uuidFor(9, 9);
        const QString take = "Take the task to download its frozen instructions and original material.";
        // clang-format off
        QTest::newRow("verified, any holder") << task("waiting") << 2 << false << int(Step::openBrief) << "Open submitted instructions" << true;
        QTest::newRow("unverified, another's") << task("active", ServiceKind::filmEditing, other) << 1 << true << int(Step::explanation) << take << true;
        QTest::newRow("approved, another's") << task("approved", ServiceKind::filmEditing, other) << 0 << true << int(Step::explanation) << "Saved material remains available to this task's assigned sorvane." << true;
        QTest::newRow("review, mine") << task("review", ServiceKind::filmEditing, mine) << 0 << true << int(Step::explanation) << take << true;
        QTest::newRow("no folder, none to choose") << task("active", ServiceKind::filmEditing, mine) << 0 << false << int(Step::chooseFolder) << "Choose project folder…" << false;
        QTest::newRow("unverified counts as none") << task("changes_requested", ServiceKind::filmEditing, mine) << 1 << true << int(Step::download) << "Download submitted project" << true;
        QTest::newRow("approved, mine") << task("approved", ServiceKind::filmEditing, mine) << 0 << true << int(Step::download) << "Download submitted project for review" << true;
        // clang-format on
    }

    void sourceSteps()
    {
        QFETCH(SorvaneInboxRow, item);
        QFETCH(int, download);
        QFETCH(bool, folder);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        std::optional<ServiceDownload> pulled;
        if (download)
            pulled = ServiceDownload{.verified = download == 2};
        const auto step = SorvaneTicket::sourceStep(item, me, pulled, folder, false);
        QCOMPARE(int(step.kind), kind);
        QCOMPARE(step.text, text);
        QCOMPARE(step.enabled, enabled);
    }

    // Why the task is not open: an opening under way first, then a failure
    // the notices explain, then the company typed in the settings.
    void unopened_data()
    {
        QTest::addColumn<bool>("opening");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QString>("company"); // as typed in the settings
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const QString own = companyID, other = uuidFor(4, 7);
        const QString failed = "This task could not be opened.";
        const QString noCompany = "This task is not open, as no company is chosen in the settings.";
        const QString otherCompany = "This task is not open, as another company is chosen in the settings.";
        using U = SorvaneTicket::Unopened::Kind;
        // clang-format off
        QTest::newRow("opening runs after a failure") << true << true << "" << int(U::opening) << "The server checks access to this customer's submitted version.";
        QTest::newRow("failed, another company typed meanwhile") << false << true << other << int(U::failed) << failed;
        QTest::newRow("failed, company cleared meanwhile") << false << true << "" << int(U::failed) << failed;
        QTest::newRow("another company") << false << false << other << int(U::otherCompany) << otherCompany;
        QTest::newRow("not a company id") << false << false << "Firma 3" << int(U::otherCompany) << otherCompany;
        QTest::newRow("no company") << false << false << "" << int(U::noCompany) << noCompany;
        QTest::newRow("only spaces") << false << false << "  " << int(U::noCompany) << noCompany;
        QTest::newRow("its own company, other letter case") << false << false << " " + own.toUpper() + " " << int(U::notOpen) << "This task is not open.";
        // clang-format on
    }

    void unopened()
    {
        QFETCH(bool, opening);
        QFETCH(bool, failed);
        QFETCH(QString, company);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const SorvaneInboxRow item = with(task("active"), [](SorvaneInboxRow &r) { r.request.company_id = companyID; });
        const auto state = SorvaneTicket::unopened(item, opening, failed, company);
        QCOMPARE(int(state.kind), kind);
        QCOMPARE(state.text, text);
    }

    void detailFollowsTheModels()
    {
        Setup s;
        SorvanePersonProfile teacher;
        s.profiles.people = SorvaneRequestParticipants{{}, {}, teacher};
        s.load({claimed(1), row(2, "waiting", true)}, row(2, "waiting", true));
        s.inbox->setSelectedID(uuidFor(1, 1));
        QVERIFY(s.shows("Instructor: Assigned instructor"));
        QVERIFY(s.button("Start editing"));
        QVERIFY(!s.detail->findChild<QWidget *>("sorvane.ticket.folder")->isHidden());

        // Every section waits for this very task to be opened.
        for (SorvaneDetailTab tab : SorvaneTicket::allTabs()) {
            s.detail->setTab(tab);
            QCOMPARE(s.section(), QStringLiteral("sorvane.ticket.opening"));
        }
        s.open(0);
        QCOMPARE(s.section(), QStringLiteral("sorvane.ticket.versions"));
        s.detail->setTab(SorvaneDetailTab::material);
        QCOMPARE(s.section(), QStringLiteral("sorvane.ticket.source"));
        QVERIFY(s.button("Choose project folder…"));
        QVERIFY(!s.detail->findChild<QWidget *>("service.brief.refresh"));
        // A verified download: both sections offer the brief, only the instructions its refresh.
        const auto refreshShown = [&s] {
            const auto buttons = s.detail->findChildren<QPushButton *>("service.brief.refresh");
            return std::any_of(buttons.cbegin(), buttons.cend(),
                               [&s](QPushButton *b) { return b->isVisibleTo(s.detail.get()); });
        };
        s.queue->openedTask().setDownload(ServiceDownload{.verified = true});
        QVERIFY(s.button("Open submitted instructions"));
        QVERIFY(!refreshShown());
        s.detail->setTab(SorvaneDetailTab::instructions);
        QVERIFY(s.button("Open submitted instructions"));
        QVERIFY(refreshShown());
        s.queue->openedTask().setDownload(ServiceDownload{.verified = false});
        QVERIFY(!refreshShown());
        s.queue->openedTask().setDownload(std::nullopt);
        s.detail->setTab(SorvaneDetailTab::task);
        QCOMPARE(s.screens, (QList<bool>{true, false}));

        // Another task comes up on the task section, waiting to be opened.
        s.detail->setTab(SorvaneDetailTab::versions);
        s.inbox->setSelectedID(uuidFor(2, 1));
        QCOMPARE(s.detail->tab(), SorvaneDetailTab::task);
        QCOMPARE(s.section(), QStringLiteral("sorvane.ticket.opening"));
        // Chosen again after the empty state, even the same task starts on the task section.
        s.detail->setTab(SorvaneDetailTab::material);
        s.inbox->setSelectedID(std::nullopt);
        s.inbox->setSelectedID(uuidFor(2, 1));
        QCOMPARE(s.detail->tab(), SorvaneDetailTab::task);

        // The next task is taken from the detail; the whole detail waits while that runs.
        QVERIFY(s.detail->isEnabled());
        const int calls = s.bridge.count();
        s.button("Take next task")->click();
        QCOMPARE(s.bridge.count(), calls + 1);
        QVERIFY(s.inbox->mutating());
        QVERIFY(!s.detail->isEnabled());
        s.bridge.fail(s.bridge.count() - 1, "gone");
        QTRY_VERIFY(!s.inbox->mutating());
        QVERIFY(s.detail->isEnabled());
        s.inbox->refresh(*s.adapter);
        QVERIFY(!s.detail->isEnabled());
    }

    void scheduleLines_data()
    {
        QTest::addColumn<QJsonObject>("item");
        QTest::addColumn<QStringList>("lines");
        const QString due = "2024-05-03T09:00:00Z", started = "2024-05-02T09:00:00Z";
        const auto dueRow = [&](const QString &status) { return set(row(1, status), "scheduling/dueAt", due); };
        // clang-format off
        QTest::newRow("waiting film") << dueRow("waiting") << QStringList{"due", "deadline", "target"};
        QTest::newRow("concept has no target") << set(dueRow("waiting"), "request/kind", "conceptDevelopment") << QStringList{"due", "deadline"};
        QTest::newRow("started wins, no countdown") << set(dueRow("active"), "scheduling/startedAt", started) << QStringList{"started", "target"};
        QTest::newRow("approved shows no schedule") << dueRow("approved") << QStringList{};
        QTest::newRow("cancelled shows no schedule") << set(dueRow("cancelled"), "scheduling/startedAt", started) << QStringList{};
        // clang-format on
    }

    void scheduleLines()
    {
        QFETCH(QJsonObject, item);
        QFETCH(QStringList, lines);
        Setup s;
        s.load({item});
        s.inbox->setSelectedID(uuidFor(1, 1));
        QStringList shown;
        for (QLabel *label : s.detail->findChildren<QLabel *>()) {
            if (!label->isVisibleTo(s.detail.get()) || !label->parentWidget()
                || label->parentWidget()->objectName() != u"sorvane.ticket.status")
                continue;
            if (label->text().startsWith(u"Editing started "))
                shown << "started";
            else if (label->text().startsWith(u"Start by "))
                shown << "due";
            else if (label->objectName() == u"sorvane.ticket.deadline")
                shown << "deadline";
            else if (label->objectName() == u"sorvane.ticket.target")
                shown << "target";
        }
        QCOMPARE(shown, lines);
    }

    // In the smallest window's column the section keeps a usable height and the
    // whole detail scrolls to the pipeline; a tall column needs no scrolling.
    void sectionKeepsItsRoomInAShortColumn_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("smallest window") << QSize(360, 560) << true;
        QTest::newRow("tall window") << QSize(620, 1100) << false;
    }
    void sectionKeepsItsRoomInAShortColumn()
    {
        QFETCH(QSize, size);
        QFETCH(bool, scrolls);
        Setup s;
        s.load({set(claimed(1), "request/title", QStringLiteral("Medarbejderportræt · Færdig film, 1080p")), claimed(2)});
        s.inbox->setSelectedID(uuidFor(1, 1));
        s.open(0);
        s.detail->resize(size);
        s.detail->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.detail.get()));
        auto *section = s.detail->findChild<QWidget *>("sorvane.ticket.section");
        QTRY_VERIFY(section->height() >= SorvaneTicketDetail::minimumSectionHeight);
        const int sectionHeight = section->height();
        auto *scroll = s.detail->findChild<QScrollArea *>("sorvane.ticket.scroll");
        QCOMPARE(scroll->verticalScrollBar()->maximum() > 0, scrolls);
        // Every header line keeps its height, and the pipeline can be scrolled to whole.
        for (QLabel *label : s.detail->findChild<QWidget *>("sorvane.ticket.header")->findChildren<QLabel *>())
            if (label->isVisible() && label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        auto *pipeline = s.detail->findChild<QWidget *>("test.pipeline");
        const QRect shown(pipeline->mapTo(scroll->viewport(), QPoint(0, 0)), pipeline->size());
        QVERIFY(scroll->viewport()->rect().contains(shown));
        QCOMPARE(pipeline->height(), 220);
        // A long versions section, left for the task's short one, leaves no
        // room of its own behind.
        s.detail->setTab(SorvaneDetailTab::versions);
        auto *versions = s.detail->findChild<QLabel *>("sorvane.ticket.versions");
        versions->setWordWrap(true);
        versions->setText(QStringList(80, QStringLiteral("Version")).join(QLatin1Char('\n')));
        auto *task = s.detail->findChild<QLabel *>("sorvane.ticket.task");
        task->setWordWrap(true);
        task->setText(QStringLiteral("Open Versions to return a video"));
        s.detail->setTab(SorvaneDetailTab::task);
        QTRY_COMPARE(s.section(), QStringLiteral("sorvane.ticket.task"));
        QTRY_COMPARE(section->height(), sectionHeight);
        QCOMPARE(scroll->verticalScrollBar()->maximum() > 0, scrolls);
        // Another task starts at its header.
        s.inbox->setSelectedID(uuidFor(2, 1));
        QCOMPARE(scroll->verticalScrollBar()->value(), 0);
        // So does the one the inbox selects when a read leaves the shown task
        // out of "Ready to work" (as a sent proposal does).
        SorvaneInboxPreferences ready = s.inbox->preferences();
        ready.filter = SorvaneInboxFilter::mine;
        s.inbox->setPreferences(ready);
        QCOMPARE(s.inbox->selectedID(), uuidFor(2, 1));
        QTRY_COMPARE(scroll->verticalScrollBar()->maximum() > 0, scrolls);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        s.load({claimed(1), claimed(2, QStringLiteral("review"))});
        QCOMPARE(s.inbox->selectedID(), uuidFor(1, 1));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(scroll->verticalScrollBar()->value(), 0);
    }

    void demoAndNarrowColumn()
    {
        Setup s(true);
        s.load({claimed(1)});
        s.inbox->setSelectedID(uuidFor(1, 1));
        QVERIFY(s.detail->findChild<QWidget *>("sorvane.ticket.folder")->isHidden());
        QVERIFY(s.detail->findChild<QWidget *>("sorvane.ticket.storageIssue")->isHidden());
        QVERIFY(s.detail->findChild<QWidget *>("sorvane.instructorIdentity")->isHidden());

        SorvaneTabPicker picker;
        picker.show();
        picker.resize(picker.sizeHint());
        QVERIFY(!picker.showsMenu());
        picker.resize(picker.sizeHint().width() - 1, picker.height());
        QVERIFY(picker.showsMenu());
        picker.resize(picker.sizeHint());
        QVERIFY(!picker.showsMenu());
        QCOMPARE(SorvaneTicket::tabFromRaw("Script and shots"), SorvaneDetailTab::instructions);
        QCOMPARE(SorvaneTicket::tabFromRaw("material"), std::nullopt);
    }
};

QTEST_MAIN(TestSorvaneTicket)
#include "tst_sorvaneticket.moc"
