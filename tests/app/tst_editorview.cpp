// The root view of a window: the reactions between session, editor, queue
// and inbox, the busy report to the updater, termination, and the project
// folder choice, against a scripted sign-in service, an in-memory secret
// store, a fake inbox, a fake folder chooser and a tool runner that answers
// the company list.
#include <QDialog>
#include <QtTest>

#include "../inbox/inboxfixtures.h"
#include "../session/awaittask.h"
#include "../session/fakeauthapi.h"
#include "app/editorview.h"
#include "app/ui/editorwindow.h"
#include "app/ui/tavlonfilmeditorapp.h"
#include "aiconnection/ui/sorvaneaiconnectionpanel.h"
#include "editor/editormodel.h"
#include "editor/folderchooser.h"
#include "editor/mountwatcher.h"
#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "foundation/errors.h"
#include "foundation/settingsstore.h"
#include "foundation/ui/uikit.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/briefviews.h"
#include "servicequeue/ui/videos/videochoosers.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"
#include "updater/sorvaneupdateactivity.h"
#include "workspace/ui/sorvanemetadatasheet.h"
#include "workspace/ui/sorvaneworkspaceview.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <qcoro/qcorosignal.h>

namespace {

const QUuid kUser("0f8fad5b-d9cb-469f-a165-70867728950e");
const QUuid kOperator("11111111-1111-4111-8111-111111111111");

QUuid companyId(int n)
{
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

QByteArray companyPage()
{
    QJsonArray companies;
    for (int i = 1; i <= 2; ++i)
        companies.append(QJsonObject{{"id", StrictFormats::canonicalUuid(companyId(i))},
                                     {"name", QStringLiteral("Firma %1").arg(i)}});
    return QJsonDocument(QJsonObject{{"operatorID", StrictFormats::canonicalUuid(kOperator)}, {"companies", companies}})
        .toJson(QJsonDocument::Compact);
}

QByteArray packageSummary()
{
    return R"({"packageID": "p1", "projectID": "pr1", "title": "Sommer", "fingerprint": "f",
        "referencedFileCount": 1, "referencedBytes": 10, "counts": {"usable": 1, "context": 0, "rejected": 0}})";
}

QByteArray packageContext()
{
    return R"({"summary": )" + packageSummary() + R"(, "masterprompt": "p", "candidates": [], "notice": "",
        "currentBrief": null})";
}

ServiceReceipt receipt(const QString &id, QUuid company = companyId(1))
{
    ServiceReceipt r;
    r.id = id;
    r.company_id = StrictFormats::canonicalUuid(company);
    r.revision = 1;
    r.status = QStringLiteral("claimed");
    return r;
}

EditorAuthTokens tokens(const QString &access)
{
    EditorAuthTokens t;
    t.access_token = access;
    t.refresh_token = QStringLiteral("refresh-") + access;
    t.expires_in = 3600;
    t.user.id = kUser;
    t.user.email = QStringLiteral("editor@example.com");
    return t;
}

class FakeInbox final : public RootInbox
{
    Q_OBJECT
public:
    int clears = 0;
    int refreshes = 0;
    std::optional<ServiceReceipt> selected;
    std::optional<QUuid> op = kOperator;
    bool flags[5] = {false, false, false, false, false};
    MemorySettingsStore screenSettings;
    QByteArray page; // the inbox page its screens' model loads; none: it fails
    std::unique_ptr<SorvaneInboxModel> screens = std::make_unique<SorvaneInboxModel>(
        [this](const BridgeCommand &command, const QString &, CancellationToken) -> QCoro::Task<QByteArray> {
            if (page.isEmpty() || !std::holds_alternative<BridgeCommand::ServiceInbox>(command.payload()))
                throw BridgeError::failed(QStringLiteral("Ikke i denne test."));
            co_return page;
        },
        screenSettings);

    void clear() override { ++clears; }
    void refresh() override { ++refreshes; }
    std::optional<ServiceReceipt> selectedRequest() const override { return selected; }
    std::optional<QUuid> operatorID() const override { return op; }
    bool loading() const override { return flags[0]; }
    bool mutating() const override { return flags[1]; }
    bool selectingRequest() const override { return flags[2]; }
    bool pipelineLoading() const override { return flags[3]; }
    bool metadataLoading() const override { return flags[4]; }
    QStringList rowTitles() const override { return {}; }
    std::optional<QString> error() const override { return std::nullopt; }
    // The window's screens read a real model; it never runs a tool here.
    SorvaneInboxModel &inboxModel() const override { return *screens; }

    void setFlag(int index, bool value)
    {
        flags[index] = value;
        Q_EMIT activityChanged();
    }
};

class FakeChooser final : public FolderChooser
{
public:
    int asked = 0;
    int askedForTools = 0;
    std::function<void(const QString &)> pending;
    void chooseFolder(const QString &, std::function<void(const QString &)> done) override
    {
        ++asked;
        pending = std::move(done);
    }
    void chooseToolsFolder(const QString &start, std::function<void(const QString &)> done) override
    {
        ++askedForTools;
        chooseFolder(start, std::move(done));
    }
    void answer(const QString &folder)
    {
        auto done = std::exchange(pending, {});
        QVERIFY(done);
        done(folder);
    }
};

struct CountingProfiles final : EditorProfiles
{
    int clears = 0;
    void clear() override { ++clears; }
};

class Gate : public QObject
{
    Q_OBJECT
public:
    void open() { Q_EMIT opened(); }
Q_SIGNALS:
    void opened();
};

// Lets queued reactions and immediately answered tool runs settle.
void settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

// How often each colour is painted in `area` of `drawn`, and the colour most
// of it is painted in: what its text stands on.
std::pair<QHash<QRgb, int>, QRgb> groundOf(const QImage &drawn, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[drawn.pixel(x, y)];
    QRgb ground = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(ground))
            ground = it.key();
    return {counts, ground};
}

// A label's or button's text as drawn in `drawn` (its window, grabbed): the
// contrast of its most contrasting pixel against the colour most of it is
// drawn in (its background, whoever painted it), and that pixel. None where
// it shows nothing: hidden, disabled, without text, or scrolled away.
std::optional<std::pair<qreal, QColor>> drawnText(QWidget *widget, const QImage &drawn)
{
    const auto *label = qobject_cast<QLabel *>(widget);
    const auto *button = qobject_cast<QAbstractButton *>(widget);
    const QString text = label ? label->text() : button ? button->text() : QString();
    if (text.trimmed().isEmpty() || !widget->isVisible() || !widget->isEnabled())
        return std::nullopt;
    const int frame = button ? 4 : 0; // inside a button's frame
    QRect area = widget->visibleRegion().boundingRect() & widget->rect().adjusted(frame, frame, -frame, -frame);
    area = area.translated(widget->mapTo(widget->window(), QPoint())) & drawn.rect();
    if (area.width() < 4 || area.height() < 4)
        return std::nullopt;
    const auto [counts, ground] = groundOf(drawn, area);
    std::pair<qreal, QColor> most{1, QColor(ground)};
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (const qreal contrast = UiKit::contrast(QColor(it.key()), QColor(ground)); contrast > most.first)
            most = {contrast, QColor(it.key())};
    return most;
}

// The faintest line of text painted in `area` of `drawn` (an item view's
// row): each band of pixel rows with something on it, by its most
// contrasting pixel against the colour most of the area is painted in.
qreal faintestLine(const QImage &drawn, const QRect &area)
{
    const QRgb ground = groundOf(drawn, area).second;
    qreal faintest = 21, band = 1;
    for (int y = area.top(); y <= area.bottom() + 1; ++y) {
        qreal most = 1;
        for (int x = area.left(); y <= area.bottom() && x <= area.right(); ++x)
            most = qMax(most, UiKit::contrast(QColor(drawn.pixel(x, y)), QColor(ground)));
        if (most > 2) { // text, not a selection's edge or an avatar's pale fill
            band = qMax(band, most);
        } else if (band > 1) {
            faintest = qMin(faintest, band);
            band = 1;
        }
    }
    return faintest;
}

// The texts of `window` that do not read as drawn (below 4.5:1).
QStringList unreadable(QWidget *window)
{
    const QImage drawn = window->grab().toImage();
    QStringList found;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const auto text = widget->window() == window ? drawnText(widget, drawn) : std::nullopt;
        if (text && text->first < 4.5)
            found << QStringLiteral("%1 (%2): %3")
                         .arg(widget->property("text").toString().left(48), widget->objectName())
                         .arg(text->first, 0, 'f', 2);
    }
    return found;
}
} // namespace

// One window with its own models and fakes.
struct Window
{
    std::shared_ptr<SettingsStore> settings = std::make_shared<MemorySettingsStore>();
    std::shared_ptr<ProjectLocationStore> locations;
    std::shared_ptr<CountingProfiles> profiles = std::make_shared<CountingProfiles>();
    std::shared_ptr<FakeChooser> chooser = std::make_shared<FakeChooser>();
    QSharedPointer<FakeInbox> inbox = QSharedPointer<FakeInbox>::create();
    ManualMountWatcher *mounts = new ManualMountWatcher;
    int companyFetches = 0;
    bool profilesBusy = false;
    std::unique_ptr<EditorView> view;

    Window(EditorSession &session, SorvaneUpdateActivity &activity, std::shared_ptr<SettingsStore> store = {})
    {
        if (store)
            settings = std::move(store);
        locations = std::make_shared<ProjectLocationStore>(*settings, QStringLiteral("editor.projectLocation.v1."));
        EditorView::Parts parts;
        parts.account = &session;
        parts.model = EditorModel::create(locations, profiles, [this](const BridgeCommand &command, const QString &,
                                                                      CancellationToken) { return answer(command); });
        parts.queueEditor = std::make_shared<EditorServiceAdapter>(parts.model);
        parts.serviceQueue = QSharedPointer<ServiceQueueModel>::create(parts.queueEditor->bridge());
        parts.sorvane = inbox;
        parts.chooser = chooser;
        parts.mounts = mounts;
        parts.activity = &activity;
        parts.profilesBusy = [this] { return profilesBusy; };
        parts.connectionIdentity = [] { return QStringLiteral("production"); };
        view = std::make_unique<EditorView>(std::move(parts));
    }

    QCoro::Task<QByteArray> answer(BridgeCommand command)
    {
        if (std::holds_alternative<BridgeCommand::ServiceCompanies>(command.payload())) {
            ++companyFetches;
            co_return companyPage();
        }
        if (std::holds_alternative<BridgeCommand::Context>(command.payload()))
            co_return packageContext();
        if (std::holds_alternative<BridgeCommand::Prepare>(command.payload()))
            co_return R"({"handoffID": "h1", "folder": "/tmp/h1", "clipCount": 2, "notices": []})";
        throw BridgeError::failed(QStringLiteral("Ikke i denne test."));
    }

    EditorModel &model() const { return *view->model(); }
    ServiceQueueModel &queue() const { return *view->serviceQueue(); }
    EditorServiceAdapter &editor() const { return view->queueEditor(); }

    // A loaded, verified company list with company 1 chosen.
    void chooseCompany(int n)
    {
        QTRY_VERIFY(queue().directory().companiesLoaded());
        queue().selectCompany(companyId(n), editor());
        settle();
        QVERIFY(queue().canUseCompany(editor()));
    }

    // Task `id` open in the queue under the current folder, and its row
    // selected in the inbox.
    void openTask(const QString &id)
    {
        const auto scope = queue().scope(editor());
        QVERIFY(scope);
        queue().restoreSelection(SelectionKey{scope->identity, scope->companyID, scope->operatorID, id, scope->inbox});
        ServiceDetail detail;
        detail.request = receipt(id);
        queue().openedTask().setDetail(detail);
        inbox->selected = receipt(id);
    }
};

class TestEditorView : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeAuthAPI> api;
    std::shared_ptr<MemorySessionVault> vault;
    std::unique_ptr<EditorSession> session;
    std::unique_ptr<SorvaneUpdateActivity> activity;
    QTemporaryDir folders;

    std::unique_ptr<EditorSession> newSession()
    {
        return std::make_unique<EditorSession>(
            [] {
                return EditorAuthConfiguration{QUrl(QStringLiteral("https://auth.example.test")), QStringLiteral("key"),
                                               QStringLiteral("auth.example.test")};
            },
            api, vault);
    }
    void signIn()
    {
        api->loginAnswer = tokens(QStringLiteral("access-1"));
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        QVERIFY(!session->credentialURL().isEmpty());
    }
    QString folder(const QString &name)
    {
        const QString path = folders.filePath(name);
        QDir().mkpath(path);
        return QDir(path).canonicalPath();
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init()
    {
        api = std::make_shared<FakeAuthAPI>();
        vault = std::make_shared<MemorySessionVault>();
        session = newSession();
        activity = std::make_unique<SorvaneUpdateActivity>();
    }
    void cleanup()
    {
        session.reset();
        activity.reset();
    }

    void signInEndsInOneFetchAndOneLoad_data();
    void signInEndsInOneFetchAndOneLoad();
    void signOutFetchesNothing();
    void secondWindowAdoptsTheLiveSession();
    void companyChangeAndTheTasksFolder_data();
    void companyChangeAndTheTasksFolder();
    void toolsFolderChangeReloads_data();
    void toolsFolderChangeReloads();
    void busyConditions_data();
    void busyConditions();
    void busyFlagReachesTheRegister();
    void quitCancelsTheEditorOperationOnly();
    void quitCancelsTheOperationOfAClosedWindow();
    void startUpCanWaitForTheWindow_data();
    void startUpCanWaitForTheWindow();
    void toolsFolderChoice_data();
    void toolsFolderChoice();
    void windowShowsBeforeItStartsUp();
    void sidebarShowsWholeTexts();
    void windowsFitTheScreen_data();
    void windowsFitTheScreen();
    void textsRead_data();
    void textsRead();
    void menus();
    void settingsCommandFollowsTheFocusedWindow();
    void fullQueueScreenFromTheViewMenu();
    void leavingTheQueueScreenReopensTheSelectedTask();

    void generalChoiceDroppedAfterChanges_data();
    void generalChoiceDroppedAfterChanges();
    void ticketChoiceNeedsTheSameTask();
    void taskChoiceDroppedAfterChanges_data();
    void taskChoiceDroppedAfterChanges();
};

void TestEditorView::signInEndsInOneFetchAndOneLoad_data()
{
    QTest::addColumn<bool>("restored");
    QTest::newRow("sign-in after the window appeared") << false;
    QTest::newRow("session restored at start") << true;
}

void TestEditorView::signInEndsInOneFetchAndOneLoad()
{
    QFETCH(bool, restored);
    if (restored) {
        signIn();
        session = newSession(); // a new launch: the session lives only in the vault
        api->setLastUser(tokens(QStringLiteral("access-1")).user);
    }
    Window window(*session, *activity);
    window.view->appear();
    if (!restored)
        signIn();
    QTRY_VERIFY(window.queue().directory().companiesLoaded());
    settle();
    QCOMPARE(window.model().credentials(), session->credentialURL());
    QCOMPARE(window.companyFetches, 1);
    QCOMPARE(window.inbox->refreshes, 1);
    QCOMPARE(window.queue().directory().companies().size(), 2);
}

void TestEditorView::signOutFetchesNothing()
{
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    QTRY_VERIFY(window.queue().directory().companiesLoaded());
    settle();
    const int clears = window.inbox->clears;
    TestAwait::run(session->logout());
    settle();
    QVERIFY(window.model().credentials().isEmpty());
    QVERIFY(window.queue().directory().companies().isEmpty());
    QVERIFY(window.inbox->clears > clears);
    QCOMPARE(window.companyFetches, 1);
    QCOMPARE(window.inbox->refreshes, 1);
}

void TestEditorView::secondWindowAdoptsTheLiveSession()
{
    Window first(*session, *activity);
    first.view->appear();
    signIn();
    QTRY_VERIFY(first.queue().directory().companiesLoaded());
    settle();
    vault->calls.clear();
    api->calls.clear();

    Window second(*session, *activity);
    second.view->appear();
    QTRY_VERIFY(second.queue().directory().companiesLoaded());
    settle();
    QCOMPARE(vault->calls, QStringList());
    QCOMPARE(api->calls, QStringList());
    QCOMPARE(second.model().credentials(), session->credentialURL());
    QCOMPARE(second.companyFetches, 1);
    QCOMPARE(second.inbox->refreshes, 1);
    // The first window is left alone.
    QCOMPARE(first.companyFetches, 1);
    QCOMPARE(first.inbox->refreshes, 1);
}

void TestEditorView::companyChangeAndTheTasksFolder_data()
{
    QTest::addColumn<bool>("taskOpen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no task: the new company's folder") << false << "second";
    QTest::newRow("task uses the folder: kept") << true << "first";
}

void TestEditorView::companyChangeAndTheTasksFolder()
{
    QFETCH(bool, taskOpen);
    QFETCH(QString, expected);
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    window.locations->select(folder("second"), StrictFormats::canonicalUuid(companyId(2)));
    window.model().chooseStorage(QUrl::fromLocalFile(folder("first")));
    QCOMPARE(window.model().inbox(), QUrl::fromLocalFile(folder("first")));
    settle();

    // The queue picks the task's company and, in the same turn, opens the
    // task under the current folder; the reaction comes after both.
    window.queue().selectCompany(companyId(2), window.editor());
    if (taskOpen)
        window.openTask(QStringLiteral("T-1"));
    settle();
    QCOMPARE(window.model().company(), StrictFormats::canonicalUuid(companyId(2)));
    QCOMPARE(window.model().inbox(), QUrl::fromLocalFile(folder(expected)));
}

void TestEditorView::toolsFolderChangeReloads_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("signed out") << false;
    QTest::newRow("signed in") << true;
}

void TestEditorView::toolsFolderChangeReloads()
{
    QFETCH(bool, signedIn);
    Window window(*session, *activity);
    window.view->appear();
    if (signedIn) {
        signIn();
        QTRY_VERIFY(window.queue().directory().companiesLoaded());
    }
    settle();
    const int clears = window.inbox->clears;
    const int refreshes = window.inbox->refreshes;
    const int profileClears = window.profiles->clears;
    const QUuid generation = window.queue().generation();

    window.model().setRepository(folder("tools"));
    settle();
    QCOMPARE(window.profiles->clears, profileClears + 1);
    QVERIFY(window.queue().generation() != generation);
    QVERIFY(window.queue().directory().companies().isEmpty());
    QCOMPARE(window.inbox->clears, clears + 1);
    QCOMPARE(window.inbox->refreshes, refreshes + 1);
}

void TestEditorView::busyConditions_data()
{
    QTest::addColumn<QString>("condition");
    QTest::newRow("idle") << "";
    for (const char *name : {"inbox 0", "inbox 1", "inbox 2", "inbox 3", "inbox 4", "profiles", "editor", "session"})
        QTest::newRow(name) << name;
}

void TestEditorView::busyConditions()
{
    QFETCH(QString, condition);
    Window window(*session, *activity);
    window.view->appear();
    settle();
    Gate gate;
    if (condition.startsWith(QLatin1String("inbox ")))
        window.inbox->setFlag(condition.mid(6).toInt(), true);
    else if (condition == QLatin1String("profiles"))
        window.profilesBusy = true;
    else if (condition == QLatin1String("editor"))
        window.model().perform(QStringLiteral("Arbejder…"),
                               [&gate](CancellationToken) -> QCoro::Task<void> { co_await qCoro(&gate, &Gate::opened); });
    else if (condition == QLatin1String("session")) {
        api->held = true;
        api->loginAnswer = tokens(QStringLiteral("a"));
        session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw"));
    }
    const bool busy = !condition.isEmpty();
    QCOMPARE(window.view->updateOperationInProgress(), busy);
    QCOMPARE(activity->isBusy(), busy);
    gate.open();
    api->release();
    settle();
}

void TestEditorView::busyFlagReachesTheRegister()
{
    Window window(*session, *activity);
    QSignalSpy revisions(activity.get(), &SorvaneUpdateActivity::revisionChanged);
    window.view->appear();
    QVERIFY(activity->hasCheck(window.view->updateActivityID()));
    QVERIFY(revisions.count() >= 2); // registered, then reported idle right away
    settle();
    revisions.clear();

    window.inbox->setFlag(0, true);
    window.inbox->setFlag(3, true); // still busy: no second report
    settle();
    QCOMPARE(revisions.count(), 1);
    window.inbox->setFlag(0, false);
    window.inbox->setFlag(3, false);
    settle();
    QCOMPARE(revisions.count(), 2);

    // Closed while busy: the register keeps it until its check is idle.
    window.inbox->setFlag(2, true);
    window.view->disappear();
    QVERIFY(activity->isDetached(window.view->updateActivityID()));
    QVERIFY(activity->isBusy());
    window.inbox->setFlag(2, false);
    QTRY_VERIFY(!activity->isBusy());
}

void TestEditorView::quitCancelsTheEditorOperationOnly()
{
    Window window(*session, *activity);
    window.view->appear();
    settle();
    Gate gate;
    bool cancelled = false;
    window.model().perform(QStringLiteral("Arbejder…"), [&](CancellationToken token) -> QCoro::Task<void> {
        co_await qCoro(&gate, &Gate::opened);
        cancelled = token.isCancelled();
    });
    QVERIFY(window.model().busy());
    const int clears = window.inbox->clears;
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    QVERIFY(!window.model().busy());
    QVERIFY(window.model().message());
    QVERIFY(!window.model().error());
    gate.open();
    settle();
    QVERIFY(cancelled);
    QCOMPARE(window.inbox->clears, clears);
}

// Closing the last window ends the application: the operation the closed
// window left running is stopped then, not left with its tool running.
void TestEditorView::quitCancelsTheOperationOfAClosedWindow()
{
    Window window(*session, *activity);
    window.view->appear();
    settle();
    Gate gate;
    CancellationToken seen;
    window.model().perform(QStringLiteral("Arbejder…"), [&](CancellationToken token) -> QCoro::Task<void> {
        seen = token;
        co_await qCoro(&gate, &Gate::opened);
    });
    QSharedPointer<EditorModel> model = window.view->model();
    window.view->disappear();
    window.view.reset();
    QVERIFY(model->busy());
    QVERIFY(!seen.isCancelled());

    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    QVERIFY(seen.isCancelled());
    QVERIFY(!model->busy());
    gate.open();
    settle();
}

void TestEditorView::startUpCanWaitForTheWindow_data()
{
    QTest::addColumn<bool>("closedFirst");
    QTest::newRow("started after the first frame") << false;
    QTest::newRow("window closed before its first frame") << true;
}

// The window shows first and restores the session afterwards; start-up
// runs once, and not at all for a window that closed before it.
void TestEditorView::startUpCanWaitForTheWindow()
{
    QFETCH(bool, closedFirst);
    signIn();
    session = newSession();
    api->setLastUser(tokens(QStringLiteral("access-1")).user);
    vault->calls.clear();

    Window window(*session, *activity);
    window.view->appear(EditorView::StartUp::later);
    settle();
    QVERIFY(activity->hasCheck(window.view->updateActivityID()));
    QCOMPARE(vault->calls, QStringList());
    QVERIFY(session->credentialURL().isEmpty());

    if (closedFirst)
        window.view->disappear();
    window.view->beginStartUp();
    window.view->beginStartUp();
    settle();
    if (closedFirst) {
        QCOMPARE(vault->calls, QStringList());
        return;
    }
    QTRY_VERIFY(window.queue().directory().companiesLoaded());
    settle();
    QCOMPARE(vault->calls, QStringList{QStringLiteral("read")});
    QCOMPARE(window.model().credentials(), session->credentialURL());
    QCOMPARE(window.companyFetches, 1);
    QCOMPARE(window.inbox->refreshes, 1);
}

void TestEditorView::toolsFolderChoice_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::newRow("folder chosen") << true;
    QTest::newRow("chooser cancelled") << false;
}

// A new tools folder drops the opened package, its hand-off, the package
// list and the selection, which all came from the old one.
void TestEditorView::toolsFolderChoice()
{
    QFETCH(bool, chosen);
    Window window(*session, *activity);
    window.view->appear();
    window.model().chooseStorage(QUrl::fromLocalFile(folder("project")));
    const PackageSummary package = PackageContext::decode(packageContext()).summary;
    window.model().setInventory({package});
    window.model().setSelectedPackageID(package.packageID);
    window.model().open(package);
    QTRY_VERIFY(window.model().context());
    window.model().prepare();
    QTRY_VERIFY(window.model().handoff());
    settle();
    const QString before = window.model().repository();
    const int refreshes = window.inbox->refreshes;

    window.view->chooseTools();
    QCOMPARE(window.chooser->asked, 1);
    QCOMPARE(window.chooser->askedForTools, 1);
    window.chooser->answer(chosen ? folder("tools") : QString());
    settle();
    QCOMPARE(window.model().repository(), chosen ? folder("tools") : before);
    QCOMPARE(window.model().context().has_value(), !chosen);
    QCOMPARE(window.model().handoff().has_value(), !chosen);
    QCOMPARE(window.model().inventory().size(), chosen ? 0 : 1);
    QCOMPARE(window.model().selectedPackageID().has_value(), !chosen);
    QCOMPARE(window.inbox->refreshes, refreshes + (chosen ? 1 : 0));
}

// The window's size and title; the session is restored only after the
// window has shown.
void TestEditorView::windowShowsBeforeItStartsUp()
{
    signIn();
    session = newSession();
    api->setLastUser(tokens(QStringLiteral("access-1")).user);
    vault->calls.clear();
    Window window(*session, *activity);
    EditorWindow shell(window.view.release());
    QCOMPARE(shell.windowTitle(), QStringLiteral("Tavlon · Morvinge"));
    QCOMPARE(shell.minimumSize(), QSize(940, 660));
    QCOMPARE(shell.size(), QSize(1180, 800));

    shell.show();
    QVERIFY(activity->hasCheck(shell.view().updateActivityID()));
    QCOMPARE(vault->calls, QStringList());
    QTRY_VERIFY(!session->credentialURL().isEmpty());
    QCOMPARE(vault->calls, QStringList{QStringLiteral("read")});
    shell.close();
}

// Every wrapped text of the sidebar gets the height its lines need.
void TestEditorView::sidebarShowsWholeTexts()
{
    Window window(*session, *activity);
    EditorWindow shell(window.view.release());
    shell.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shell));
    QWidget *sidebar = shell.findChild<QWidget *>(QStringLiteral("shell.sidebar"));
    QVERIFY(sidebar);
    int checked = 0;
    for (QLabel *label : sidebar->findChildren<QLabel *>()) {
        if (!label->isVisible() || !label->wordWrap() || label->text().isEmpty() || label->maximumHeight() < QWIDGETSIZE_MAX)
            continue;
        ++checked;
        QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
    }
    QVERIFY(checked > 0);
    shell.close();
}

// The window opens at its default size where the screen has room for it,
// else as large as the screen allows with its frame, never below its minimum
// size, centred; a dialog or sheet over it never reaches past the screen
// either, and none of its texts is cut: its content scrolls. The screens are
// those of tests/common/screens.json.
void TestEditorView::windowsFitTheScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("dialog"); // none: the window itself
    QTest::addColumn<QSize>("size");     // empty: whatever fits

    QTest::newRow("window, desktop") << "desktop" << QString() << QSize(1180, 800);
    QTest::newRow("window, 1366x768") << "1366x768" << QString() << QSize(1180, 764);
    QTest::newRow("window, 1280x720") << "1280x720" << QString() << QSize(1180, 716);
    QTest::newRow("window, 940x660: its minimum") << "940x660" << QString() << QSize(940, 660);
    QTest::newRow("settings, 1280x720") << "1280x720" << "settings" << QSize(900, 660);
    QTest::newRow("settings, 940x660") << "940x660" << "settings" << QSize(900, 656);
    QTest::newRow("brief, 1366x768") << "1366x768" << "brief" << QSize(740, 640);
    QTest::newRow("brief, 800x600") << "800x600" << "brief" << QSize(740, 596);
    QTest::newRow("sharing, long customer name, 1280x720") << "1280x720" << "sharing" << QSize();
    QTest::newRow("sharing, long customer name, 800x600") << "800x600" << "sharing" << QSize();
    QTest::newRow("project chooser, 800x600") << "800x600" << "project" << QSize();
    QTest::newRow("AI connection, 800x600") << "800x600" << "ai" << QSize(600, 596);
}

void TestEditorView::windowsFitTheScreen()
{
    QFETCH(QString, screen);
    QFETCH(QString, dialog);
    QFETCH(QSize, size);
    QScreen *target = nullptr;
    for (QScreen *each : QGuiApplication::screens())
        if (each->name() == screen)
            target = each;
    QVERIFY2(target, "the tests' screens are missing");
    const QRect available = target->availableGeometry();

    Window window(*session, *activity);
    SorvaneInboxModel inbox(window.view->queueEditor().bridge(), *window.settings);
    EditorWindow shell(window.view.release());
    // Opened on that screen.
    shell.move(available.topLeft());
    shell.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shell));
    settle();

    QWidget *shown = &shell;
    if (dialog == QLatin1String("settings")) {
        shell.view().openSettings();
        QTRY_VERIFY(shown = shell.findChild<QDialog *>(QStringLiteral("sorvane.settings.panel")));
    } else if (dialog == QLatin1String("brief")) {
        auto *sheet = new PackageBriefSheet(PackageContext::decode(packageContext()), &shell);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->open();
        shown = sheet;
    } else if (dialog == QLatin1String("sharing")) {
        SorvaneInboxRow row;
        row.request = receipt(QStringLiteral("t1"));
        row.company.id = companyId(1);
        row.company.name = QStringLiteral("Morvinge Film og Lyd ").repeated(200);
        auto *sheet = new SorvaneMetadataSheet(inbox, row, shell.view().queueEditor(), &shell);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->open();
        shown = sheet;
    } else if (dialog == QLatin1String("project")) {
        DialogProjectChooser().chooseProject(&shell, QStringLiteral("Vælg projektet."), [](const auto &) {});
        shown = shell.findChild<QDialog *>(QStringLiteral("service.video.projectChooser"));
    } else if (dialog == QLatin1String("ai")) {
        using Configuration = SorvaneAIConnectionConfiguration;
        auto *panel = new SorvaneAIConnectionPanel(
            {folder("tools"), QUrl::fromLocalFile(folder("project")), std::nullopt, [] {}}, &shell,
            [](SorvaneAIConnectionPanelModel::Target, CancellationToken) -> QCoro::Task<Configuration> {
                throw BridgeError::failed(QStringLiteral("Ikke i denne test."));
                co_return {};
            });
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->open();
        shown = panel;
    }
    QVERIFY(shown);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    settle();

    const QRect frame = shown->frameGeometry();
    if (size.isValid())
        QCOMPARE(shown->size(), size);
    if (shown == &shell && !available.contains(frame)) {
        // Only a screen smaller than the minimum size: the title bar stays on it.
        QCOMPARE(shell.size(), shell.minimumSize());
        QCOMPARE(frame.topLeft(), available.topLeft());
    } else {
        QVERIFY2(available.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y())
                                                           .arg(frame.width()).arg(frame.height())));
        if (shown == &shell)
            QVERIFY((frame.center() - available.center()).manhattanLength() <= 2);
    }
    // Nothing squeezed: every wrapped text shows all of its lines (in a
    // scroll area where the screen is too small), and the layout has its room.
    if (shown != &shell) {
        QVERIFY(shown->layout()->totalMinimumSize().height() <= shown->height());
        for (QLabel *label : shown->findChildren<QLabel *>()) {
            if (label->isVisibleTo(shown) && label->wordWrap() && !label->text().isEmpty())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text().left(40)));
        }
        // The buttons outside the scrolled content stay inside the dialog.
        const auto scrolled = [shown](QWidget *widget) {
            for (QWidget *above = widget->parentWidget(); above && above != shown; above = above->parentWidget())
                if (qobject_cast<QScrollArea *>(above))
                    return true;
            return false;
        };
        for (QPushButton *button : shown->findChildren<QPushButton *>())
            if (button->isVisibleTo(shown) && !scrolled(button))
                QVERIFY2(shown->rect().contains(QRect(button->mapTo(shown, QPoint()), button->size())),
                         qPrintable(button->text()));
        static_cast<QDialog *>(shown)->reject();
        settle();
    }
    shell.close();
}

// Every text that is not disabled reads on what it is drawn on, in light
// and dark, on the real screens: the workspace with an open ticket whose
// start deadline passes while it is shown, each settings pane, the AI
// connection panel in each state and the package list with an invalid
// package. A fixed green read 1.9:1, a style sheet red 3:1, secondary grey 3.4.
void TestEditorView::textsRead_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("screen");
    const QStringList screens{"workspace", "workspace, table", "account", "storage", "ai", "cloud", "packages", "language", "updates",
                              "advanced", "ai panel, ready", "ai panel, warning", "ai panel, failure"};
    for (const bool dark : {false, true})
        for (const QString &screen : screens)
            QTest::addRow("%s, %s", dark ? "dark" : "light", qPrintable(screen)) << dark << screen;
}

void TestEditorView::textsRead()
{
    QFETCH(bool, dark);
    QFETCH(QString, screen);
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([light] { QApplication::setPalette(light); });
    if (dark) {
        QPalette colours(QColor(49, 54, 59));
        colours.setColor(QPalette::Highlight, QColor(61, 174, 233));
        colours.setColor(QPalette::HighlightedText, Qt::white);
        QApplication::setPalette(colours);
    }
    Window window(*session, *activity);
    // One waiting film whose start deadline comes a minute from now.
    QDateTime now = QDateTime::currentDateTime();
    const QDateTime due = now.addSecs(60).toUTC();
    QJsonObject page = InboxFixtures::inboxPage(0);
    page["items"] = QJsonArray{InboxFixtures::set(InboxFixtures::row(1), "scheduling/dueAt",
                                                  due.toString(Qt::ISODateWithMs)),
                               InboxFixtures::row(2)};
    window.inbox->page = QJsonDocument(page).toJson(QJsonDocument::Compact);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    window.model().setInvalidPackages({QStringLiteral("broken")});
    EditorWindow shell(window.view.release(), nullptr, [&now] { return now; });
    shell.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shell));
    settle();

    QWidget *shown = &shell;
    if (screen.startsWith(QLatin1String("workspace"))) {
        SorvaneInboxModel &inbox = *window.inbox->screens;
        QTRY_VERIFY(!inbox.loading() && inbox.items().size() == 2);
        const bool table = screen.endsWith(QLatin1String("table"));
        shell.findChild<QToolButton *>(table ? QStringLiteral("sorvane.layout.list") : QStringLiteral("sorvane.layout.inbox"))
            ->click();
        inbox.setSelectedID(inbox.items().constFirst().request.id);
        QLabel *deadline = nullptr;
        QTRY_VERIFY(deadline = shell.findChild<QLabel *>(QStringLiteral("sorvane.ticket.deadline")));
        QTRY_VERIFY(deadline->isVisible());
        // The minute's tick comes at once after the deadline has passed, while the ticket is shown.
        const QString before = deadline->text();
        now = due.addSecs(60).toLocalTime();
        for (QTimer *tick : deadline->window()->findChildren<QTimer *>())
            if (tick->interval() == 60 * 1000 && tick->isActive())
                tick->start(0);
        QTRY_VERIFY(deadline->text() != before);
        settle();
        // Passed, it turns orange (it stayed in the secondary grey).
        const auto drawn = drawnText(deadline, shell.grab().toImage());
        QVERIFY(drawn);
        QVERIFY2(qAbs(drawn->second.hslHue() - UiKit::colour(UiKit::Ink::attention).hslHue()) <= 4,
                 qPrintable(drawn->second.name()));
    } else if (screen.startsWith(QLatin1String("ai panel"))) {
        using Configuration = SorvaneAIConnectionConfiguration;
        const QString state = screen.endsWith(QLatin1String("ready")) ? QStringLiteral("ready")
                                                                        : QStringLiteral("missingInbox");
        const bool fails = screen.endsWith(QLatin1String("failure"));
        auto *panel = new SorvaneAIConnectionPanel(
            {folder("tools"), QUrl::fromLocalFile(folder("project")), std::nullopt, [] {}}, &shell,
            [state, fails](SorvaneAIConnectionPanelModel::Target target, CancellationToken) -> QCoro::Task<Configuration> {
                if (fails)
                    throw BridgeError::failed(QStringLiteral("Ikke i denne test."));
                Configuration configuration;
                configuration.inbox = target.inbox.toLocalFile();
                configuration.name = QStringLiteral("tavlon");
                configuration.command = QStringLiteral("/opt/tavlon/mcp");
                configuration.check.state = state;
                configuration.check.toolCount = 7;
                co_return configuration;
            });
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->open();
        shown = panel;
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QTRY_VERIFY(panel->findChild<QLabel *>(QStringLiteral("editor.ai.localCheck")) || fails);
    } else {
        const QMap<QString, SorvaneSettingsSection> sections{
            {"account", SorvaneSettingsSection::account},   {"storage", SorvaneSettingsSection::storage},
            {"ai", SorvaneSettingsSection::ai},             {"cloud", SorvaneSettingsSection::cloud},
            {"packages", SorvaneSettingsSection::packages}, {"language", SorvaneSettingsSection::language},
            {"updates", SorvaneSettingsSection::updates},   {"advanced", SorvaneSettingsSection::advanced}};
        shell.view().presentSettings(sections.value(screen), std::nullopt);
        QTRY_VERIFY(shown = shell.findChild<QDialog *>(QStringLiteral("sorvane.settings.panel")));
        QVERIFY(QTest::qWaitForWindowExposed(shown));
    }
    settle();
    QStringList found = unreadable(shown);
    // The inbox's rows, selected and not, each line of them, in the list and the table.
    for (auto *list : shown->findChildren<QAbstractItemView *>()) {
        if (!list->isVisible() || !list->objectName().contains(QRegularExpression(QStringLiteral("^sorvane.(inbox|table)$"))))
            continue;
        const QImage drawn = shown->grab().toImage();
        for (int row = 0; row < list->model()->rowCount(); ++row)
            for (int column = 0; column < list->model()->columnCount(); ++column) {
                const QRect rect = list->visualRect(list->model()->index(row, column)) & list->viewport()->rect();
                if (rect.height() < 8 || rect.width() < 30)
                    continue;
                const int inset = qMin(12, rect.width() / 8); // clear of a selection's rounded edge
                const QRect area =
                    rect.adjusted(inset, 2, -inset, -2).translated(list->viewport()->mapTo(shown, QPoint()));
                if (const qreal faintest = faintestLine(drawn, area); faintest < 4.5)
                    found << QStringLiteral("%1 row %2, column %3: %4")
                                 .arg(list->objectName())
                                 .arg(row)
                                 .arg(column)
                                 .arg(faintest, 0, 'f', 2);
            }
    }
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("; "))));
    if (shown != &shell)
        static_cast<QDialog *>(shown)->reject();
    settle();
    shell.close();
}

void TestEditorView::menus()
{
    Window window(*session, *activity);
    EditorWindow shell(window.view.release());
    TavlonFilmEditorApp app;
    // Message boxes and dialogs without a title of their own are titled with
    // the product's name, as the application menu is, not the program file's.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Tavlon Film Editor"));
    app.installCommands(&shell);
    QStringList menus;
    for (QAction *menu : shell.menuBar()->actions()) {
        QStringList items;
        for (QAction *item : menu->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-")
                                          : item->text() + QLatin1Char('|') + item->shortcut().toString()
                              + (item->isEnabled() ? QString() : QStringLiteral("|off")));
        menus << menu->text() + QStringLiteral(": ") + items.join(QStringLiteral(", "));
    }
    QCOMPARE(menus, (QStringList{
                        QStringLiteral("Tavlon Film Editor: Søg efter opdateringer…||off, -, Indstillinger…|Ctrl+,, -, "
                                       "Afslut|Ctrl+Q"),
                        QStringLiteral("Arkiv: Nyt vindue|Ctrl+N, Luk vindue|Ctrl+W"),
                        QStringLiteral("Vis: Vis/skjul sidepanel|Ctrl+Alt+S, Genindlæs indbakken|Ctrl+R|off, Vis opgavekø|"),
                    }));

    // The settings command opens this window's settings at the account.
    shell.view().presentSettings(SorvaneSettingsSection::storage, QStringLiteral("T-1"));
    shell.view().setShowingSettings(false);
    shell.menuBar()->actions().first()->menu()->actions().at(2)->trigger();
    QVERIFY(shell.view().showingSettings());
    QCOMPARE(shell.view().settingsSection(), SorvaneSettingsSection::account);
    QCOMPARE(shell.view().settingsStorageTicketID(), std::nullopt);
}

// Ctrl+, reaches the settings of the focused window only, and the command
// is disabled in a window that does not have the focus.
void TestEditorView::settingsCommandFollowsTheFocusedWindow()
{
    Window first(*session, *activity);
    Window second(*session, *activity);
    EditorWindow one(first.view.release());
    EditorWindow two(second.view.release());
    TavlonFilmEditorApp app;
    app.installCommands(&one);
    app.installCommands(&two);
    one.show();
    two.show();
    const auto command = [](EditorWindow &window) { return window.menuBar()->actions().first()->menu()->actions().at(2); };

    QApplication::setActiveWindow(&two);
    QTRY_VERIFY(two.isActiveWindow());
    QTRY_VERIFY(command(two)->isEnabled());
    QVERIFY(!command(one)->isEnabled());
    QTest::keyClick(&two, Qt::Key_Comma, Qt::ControlModifier);
    QTRY_VERIFY(two.view().showingSettings());
    QVERIFY(!one.view().showingSettings());
    QCOMPARE(two.view().settingsSection(), SorvaneSettingsSection::account);
    auto *sheet = two.findChild<QDialog *>(QStringLiteral("sorvane.settings.panel"));
    QVERIFY(sheet);
    // The window's own sheet keeps the command with its window.
    QApplication::setActiveWindow(sheet);
    QTRY_VERIFY(command(two)->isEnabled());
    sheet->reject();
    QVERIFY(!two.view().showingSettings());

    QApplication::setActiveWindow(&one);
    QTRY_VERIFY(command(one)->isEnabled());
    QVERIFY(!command(two)->isEnabled());

    // Quit as the menu shows it, also from a sheet, which blocks its window's
    // menu bar: every window closes.
    QTest::keyClick(&one, Qt::Key_Comma, Qt::ControlModifier);
    QTRY_VERIFY(one.view().showingSettings());
    sheet = one.findChild<QDialog *>(QStringLiteral("sorvane.settings.panel"));
    QApplication::setActiveWindow(sheet);
    QTRY_VERIFY(sheet->isActiveWindow());
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!one.isVisible() && !two.isVisible());
}

// The View menu's command shows the full task queue screen in the window
// (companies, tasks); its back button and the command again lead back.
void TestEditorView::fullQueueScreenFromTheViewMenu()
{
    Window window(*session, *activity);
    EditorWindow shell(window.view.release());
    TavlonFilmEditorApp app;
    app.installCommands(&shell);
    shell.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shell));
    auto *command = shell.menuBar()->findChild<QAction *>(QStringLiteral("shell.showQueue"));
    QVERIFY(command);
    QVERIFY(!shell.findChild<QWidget *>(QStringLiteral("service.queue.page")));

    for (int round = 0; round < 2; ++round) {
        command->trigger();
        QVERIFY(shell.view().showingQueue());
        QWidget *page = shell.findChild<QWidget *>(QStringLiteral("service.queue.page"));
        QVERIFY(page && page->isVisible());
        QVERIFY(!shell.workspaceView().isVisible());
        for (const char *name : {"service.queue.heading", "service.companies.fetch", "service.queue.back"})
            QVERIFY2(page->findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
        QCOMPARE(shell.focusWidget(), page->findChild<QWidget *>(QStringLiteral("service.queue.back")));
        if (round == 0)
            QTest::mouseClick(page->findChild<QPushButton *>(QStringLiteral("service.queue.back")), Qt::LeftButton);
        else
            command->trigger();
        QVERIFY(!shell.view().showingQueue());
        QVERIFY(!command->isChecked());
        QVERIFY(!page->isVisible());
        QVERIFY(shell.workspaceView().isVisible());
    }
    shell.close();
}

// Another task opened on the full screen is replaced by the selected row's
// when the workspace comes back; the same task is not opened again.
void TestEditorView::leavingTheQueueScreenReopensTheSelectedTask()
{
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    window.openTask(QStringLiteral("T-1"));
    QSignalSpy opens(&window.queue(), &ServiceQueueModel::sorvaneOpenIntentChanged);
    window.view->setShowingQueue(true);
    window.view->setShowingQueue(false);
    QCOMPARE(opens.count(), 0);
    window.view->setShowingQueue(true);
    ServiceDetail other;
    other.request = receipt(QStringLiteral("T-2"));
    window.queue().openedTask().setDetail(other);
    window.view->setShowingQueue(false);
    QCOMPARE(opens.count(), 1);
}

void TestEditorView::generalChoiceDroppedAfterChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("adopted");
    QTest::newRow("nothing changed") << "" << true;
    QTest::newRow("chooser cancelled") << "cancel" << false;
    QTest::newRow("signed out") << "sign-out" << false;
    QTest::newRow("company changed") << "company" << false;
    QTest::newRow("tools folder changed") << "tools" << false;
    QTest::newRow("inbox row selected") << "row" << false;
}

void TestEditorView::generalChoiceDroppedAfterChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, adopted);
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    QVERIFY(window.view->canChooseProjectStorage());
    window.view->chooseProjectStorage();
    QCOMPARE(window.chooser->asked, 1);

    if (change == QLatin1String("sign-out"))
        TestAwait::run(session->logout());
    else if (change == QLatin1String("company"))
        window.model().setCompany(StrictFormats::canonicalUuid(companyId(2)));
    else if (change == QLatin1String("tools"))
        window.model().setRepository(folder("tools"));
    else if (change == QLatin1String("row"))
        window.inbox->selected = receipt(QStringLiteral("T-9"));
    settle();
    const QUrl before = window.model().inbox();
    window.chooser->answer(change == QLatin1String("cancel") ? QString() : folder("chosen"));
    settle();
    QCOMPARE(window.model().inbox(), adopted ? QUrl::fromLocalFile(folder("chosen")) : before);
    QVERIFY(!window.model().storageIssue());
}

void TestEditorView::ticketChoiceNeedsTheSameTask()
{
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    window.openTask(QStringLiteral("T-1"));
    window.view->presentTicketStorageSettings();
    QVERIFY(window.view->showingSettings());
    QCOMPARE(window.view->settingsSection(), SorvaneSettingsSection::storage);
    QCOMPARE(window.view->settingsStorageTicketID(), QStringLiteral("T-1"));
    QVERIFY(window.view->canChooseProjectStorage());

    for (const auto &moved : {std::optional<ServiceReceipt>(receipt(QStringLiteral("T-2"))),
                              std::optional<ServiceReceipt>()}) {
        window.inbox->selected = moved;
        QVERIFY(!window.view->canChooseProjectStorage());
        window.view->chooseProjectStorage();
        QCOMPARE(window.chooser->asked, 0);
    }

    // A row without a storage selection opens nothing.
    window.view->setShowingSettings(false);
    window.inbox->selected = receipt(QStringLiteral("T-3"));
    window.view->presentTicketStorageSettings();
    QVERIFY(!window.view->showingSettings());
}

void TestEditorView::taskChoiceDroppedAfterChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("adopted");
    QTest::newRow("nothing changed") << "" << true;
    QTest::newRow("chooser cancelled") << "cancel" << false;
    QTest::newRow("selection moved to another task") << "row" << false;
    QTest::newRow("signed out") << "sign-out" << false;
}

void TestEditorView::taskChoiceDroppedAfterChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, adopted);
    Window window(*session, *activity);
    window.view->appear();
    signIn();
    window.chooseCompany(1);
    window.openTask(QStringLiteral("T-1"));
    window.view->chooseProjectStorage();
    QCOMPARE(window.chooser->asked, 1);

    if (change == QLatin1String("row"))
        window.inbox->selected = receipt(QStringLiteral("T-2"));
    else if (change == QLatin1String("sign-out"))
        TestAwait::run(session->logout());
    settle();
    const QUrl before = window.model().inbox();
    window.chooser->answer(change == QLatin1String("cancel") ? QString() : folder("task"));
    settle();
    QCOMPARE(window.model().inbox(), adopted ? QUrl::fromLocalFile(folder("task")) : before);
}

QTEST_MAIN(TestEditorView)
#include "tst_editorview.moc"
