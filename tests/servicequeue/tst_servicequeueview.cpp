// The service queue screen and the brief views, offscreen, found by their
// object names: what each shows for the models' states, and what each
// control calls.
#include <QtTest>

#include "partchanges.h"
#include "editor/editormodel.h"
#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "servicefakes.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/briefviews.h"
#include "servicequeue/ui/servicecompanycontrols.h"
#include "servicequeue/ui/servicequeueview.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"

#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QPushButton>
#include <QVBoxLayout>
#include <qcoro/qcorotimer.h>

namespace {

const QUuid kOperator("11111111-1111-4111-8111-111111111111");
const QString kReaction = "33333333-3333-4333-8333-333333333333";

QUuid companyId(int n) { return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'))); }

QByteArray page(int count, bool more, int first = 1)
{
    QJsonArray companies;
    for (int i = first; i < first + count; ++i)
        companies.append(QJsonObject{{"id", StrictFormats::canonicalUuid(companyId(i))}, {"name", QString("Firma %1").arg(i)}});
    QJsonObject answer{{"operatorID", StrictFormats::canonicalUuid(kOperator)}, {"companies", companies}};
    if (more)
        answer.insert("nextCompanyID", StrictFormats::canonicalUuid(companyId(first + count - 1)));
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

// Names of the visible widgets below `root` whose names start with `prefix`, in creation order.
QStringList shown(const QWidget &root, const QString &prefix)
{
    QStringList names;
    for (const QWidget *widget : root.findChildren<QWidget *>())
        if (widget->objectName().startsWith(prefix) && widget->isVisibleTo(&root))
            names << widget->objectName();
    return names;
}

QString labelText(const QWidget &root, const QString &name)
{
    const auto *label = root.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<none>");
}

CurrentServiceBrief brief(bool cached, std::optional<bool> refresh, bool amended, const QString &reason = "Ny plan")
{
    CurrentServiceBrief b;
    b.requestID = "req-1";
    b.cached = cached;
    b.requiresRefresh = refresh;
    b.originalInstructions = "Klip 45 sekunder";
    b.effectiveInstructions = amended ? "Klip 30 sekunder" : "Klip 45 sekunder";
    if (amended) {
        CurrentServiceBrief::Amendment a;
        a.base_revision = 4;
        a.applied_revision = 5;
        a.reason = reason;
        b.currentAmendment = a;
    }
    return b;
}

PackageContext context(std::optional<ServiceKind> kind, const QString &instructions = "Klip en film")
{
    PackageContext c;
    c.summary.packageID = "pkg-1";
    c.summary.title = "Sommerøl";
    c.summary.referencedFileCount = 5;
    c.summary.referencedBytes = 2'500'000;
    c.summary.counts.rejected = 1;
    if (kind)
        c.summary.serviceRequest = ServiceRequest{1, *kind, instructions, "Færdig film"};
    c.masterprompt = "Du arbejder for Tavlon.";
    Candidate interview;
    interview.id = "c1";
    interview.title = "Interview";
    interview.mediaKind = "video";
    interview.startSeconds = 0.5;
    interview.endSeconds = 3.0;
    interview.notes = "Stærkeste citat";
    interview.overlayText = "Sommer";
    Candidate logo;
    logo.id = "c2";
    logo.title = "Logo";
    logo.mediaKind = "image";
    logo.notes = "";
    c.candidates = {interview, logo};
    return c;
}

ServiceReceipt receipt(const QString &id, ServiceKind kind, const QString &status)
{
    ServiceReceipt r;
    r.id = id;
    r.company_id = StrictFormats::canonicalUuid(companyId(1));
    r.local_project_id = "aaaaaaaa-0000-4000-8000-00000000000a";
    r.title = "Opgave " + id;
    r.kind = kind;
    r.status = status;
    r.revision = 2;
    return r;
}

// A free coroutine: its arguments live in its own frame for the whole run.
QCoro::Task<void> workUntilCancelled(CancellationToken token, std::shared_ptr<bool> ended)
{
    while (!token.isCancelled())
        co_await QCoro::sleepFor(std::chrono::milliseconds(5));
    *ended = true;
    throw OperationCancelled();
}

// Lets replaced rows go and new ones show.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Whether `widget` shows in every scroll area around it: whole, or its top
// when it is taller than the view.
bool inView(const QWidget *widget)
{
    if (!widget || !widget->isVisible())
        return false;
    for (const QWidget *up = widget->parentWidget(); up; up = up->parentWidget())
        if (const auto *area = qobject_cast<const QAbstractScrollArea *>(up)) {
            const QWidget *viewport = area->viewport();
            const QRect shown(widget->mapTo(viewport, QPoint(0, 0)),
                              QSize(widget->width(), qMin(widget->height(), viewport->height())));
            if (!viewport->rect().contains(shown))
                return false;
        }
    return true;
}

// The shown one of the widgets named `name` (a replaced one may wait for its deletion).
QWidget *shownChild(const QWidget &root, const QString &name)
{
    for (QWidget *widget : root.findChildren<QWidget *>(name))
        if (widget->isVisible())
            return widget;
    return nullptr;
}

QMessageBox *dialogNamed(const QWidget &screen, const QString &name)
{
    for (QMessageBox *box : screen.findChildren<QMessageBox *>())
        if (box->objectName() == name && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(CurrentServiceBrief)
Q_DECLARE_METATYPE(PackageContext)

class TestServiceQueueView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init();
    void cleanup();

    void currentBrief_data();
    void currentBrief();
    void packageBrief_data();
    void packageBrief();
    void copyLeavesExactlyTheMasterPrompt();
    void sheetClosesWithEscapeAndLuk_data();
    void sheetClosesWithEscapeAndLuk();

    void companyControls_data();
    void companyControls();
    void pickerChoosesOnlyOnThePersonsChoice();

    void taskListAndItsGate();
    void disabledWhileTheEditorIsBusy();
    void confirmations_data();
    void confirmations();
    void briefSheetFollowsTheModel();
    void oneDialogPerRequestOutsideAHeldHost_data();
    void oneDialogPerRequestOutsideAHeldHost();
    void embeddedResultsComeIntoView_data();
    void embeddedResultsComeIntoView();

private:
    // Companies loaded, company 1 chosen, a project folder open.
    void workingModels();
    // The same, with the screen shown.
    void workingScreen();
    QTemporaryDir folder;
    MemorySettingsStore settings;
    std::unique_ptr<ServiceQueueView> screen;

    void loadCompanies(int count, bool more, int first = 1);

    std::unique_ptr<FakeService> service;
    QSharedPointer<EditorModel> editorModel;
    std::unique_ptr<EditorServiceAdapter> editor;
    std::unique_ptr<ServiceQueueModel> model;
};

void TestServiceQueueView::init()
{
    service = std::make_unique<FakeService>();
    // The editor's own tool runs (the package list of a chosen folder) find nothing.
    EditorModel::ToolRunner runner = [](const BridgeCommand &, const QString &, CancellationToken) -> QCoro::Task<QByteArray> {
        co_return QByteArray(R"({"packages":[],"invalidPackages":[]})");
    };
    editorModel = EditorModel::create(std::make_shared<ProjectLocationStore>(settings, "test."), {}, runner);
    editorModel->setRepository("/tools");
    editorModel->accountChanged(QUrl("tavlon-session://first"));
    editor = std::make_unique<EditorServiceAdapter>(editorModel);
    model = std::make_unique<ServiceQueueModel>(service->bridge());
}

void TestServiceQueueView::cleanup()
{
    screen.reset();
    model.reset();
    service->closeAll();
    QCoreApplication::processEvents();
    editor.reset();
    editorModel.reset();
    service.reset();
}

void TestServiceQueueView::loadCompanies(int count, bool more, int first)
{
    const int call = int(service->calls.size());
    auto load = model->loadCompanies(*editor, false);
    service->answer(call, page(count, more, first));
    QTRY_VERIFY(load.isReady());
}

void TestServiceQueueView::currentBrief_data()
{
    QTest::addColumn<CurrentServiceBrief>("brief");
    QTest::addColumn<QString>("title"); // empty: nothing shown
    QTest::addColumn<QStringList>("items");
    const QString p = "service.brief.current.";
    const QStringList amendment{p + "instructions", p + "reason", p + "revision", p + "note"};
    QTest::newRow("no amendment, no refresh") << brief(true, std::nullopt, false) << "" << QStringList();
    QTest::newRow("refresh false, no amendment") << brief(true, false, false) << "" << QStringList();
    QTest::newRow("refresh, not cached") << brief(false, true, false) << "Oprindeligt indsendte instruktioner"
                                        << QStringList{p + "refresh"};
    QTest::newRow("refresh, cached, amended") << brief(true, true, true) << "Tidligere sete kundeinstruktioner"
                                              << QStringList{p + "refresh"} + amendment;
    QTest::newRow("amended") << brief(true, std::nullopt, true) << "Kundens aktuelle instruktioner" << amendment;
    QTest::newRow("amended without reason") << brief(true, false, true, "") << "Kundens aktuelle instruktioner"
                                            << QStringList{p + "instructions", p + "revision", p + "note"};
}

void TestServiceQueueView::currentBrief()
{
    QFETCH(CurrentServiceBrief, brief);
    QFETCH(QString, title);
    QFETCH(QStringList, items);
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    auto *view = new CurrentServiceBriefView(brief, &host);
    layout->addWidget(view);
    host.show();
    QCOMPARE(view->isVisible(), !title.isEmpty());
    if (title.isEmpty())
        return;
    QCOMPARE(view->findChild<QGroupBox *>("service.brief.current")->title(), title);
    QCOMPARE(shown(*view, "service.brief.current."), items);
    if (items.contains("service.brief.current.revision"))
        QVERIFY(labelText(*view, "service.brief.current.revision").endsWith(" 5"));
    if (items.contains("service.brief.current.instructions")) {
        QCOMPARE(labelText(*view, "service.brief.current.instructions"), "Klip 30 sekunder");
        QVERIFY(view->findChild<QLabel *>("service.brief.current.instructions")->textInteractionFlags()
                & Qt::TextSelectableByMouse);
    }
}

void TestServiceQueueView::packageBrief_data()
{
    QTest::addColumn<PackageContext>("context");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("taskTitle");
    QTest::addColumn<QString>("sheetKind");
    const QStringList material{"service.brief.material", "service.brief.material.c1", "service.brief.material.c1.title",
                               "service.brief.material.c1.interval", "service.brief.material.c1.facts",
                               "service.brief.material.c1.notes", "service.brief.material.c1.overlay",
                               "service.brief.material.c2", "service.brief.material.c2.title",
                               "service.brief.material.c2.interval", "service.brief.material.c2.facts"};
    const QStringList task{"service.brief.task", "service.brief.task.instructions", "service.brief.task.deliverable"};
    QTest::newRow("no request: film material, no task box") << context(std::nullopt) << material << "" << "Klipning";
    QTest::newRow("film request") << context(ServiceKind::filmEditing) << task + material << "Kundens opgave"
                                  << "Klipning";
    QTest::newRow("concept: task box, no material") << context(ServiceKind::conceptDevelopment) << task
                                                    << "Kundens opgave" << "Konceptudvikling";
    QTest::newRow("script without instructions")
        << context(ServiceKind::scriptDevelopment, "")
        << QStringList{"service.brief.task", "service.brief.task.deliverable"} << "Kundens opgave"
        << "Manus og shotliste";
    PackageContext amended = context(ServiceKind::conceptDevelopment);
    amended.currentBrief = brief(true, std::nullopt, true);
    QTest::newRow("amended brief above the original task")
        << amended
        << QStringList{"service.brief.current", "service.brief.current.instructions", "service.brief.current.reason",
                       "service.brief.current.revision", "service.brief.current.note"}
            + task << "Oprindeligt indsendte instruktioner" << "Konceptudvikling";
    PackageContext unamended = context(ServiceKind::conceptDevelopment);
    unamended.currentBrief = brief(true, std::nullopt, false);
    QTest::newRow("brief without amendment") << unamended << task << "Kundens opgave" << "Konceptudvikling";
    PackageContext empty = context(std::nullopt);
    empty.candidates.clear();
    QTest::newRow("no material chosen yet") << empty
                                            << QStringList{"service.brief.material", "service.brief.material.empty"}
                                            << "" << "Klipning";
}

void TestServiceQueueView::packageBrief()
{
    QFETCH(PackageContext, context);
    QFETCH(QStringList, boxes);
    QFETCH(QString, taskTitle);
    QFETCH(QString, sheetKind);
    PackageBriefSheet sheet(context);
    sheet.show();
    QStringList found = shown(sheet, "service.brief.current");
    found += shown(sheet, "service.brief.task");
    found += shown(sheet, "service.brief.material");
    QCOMPARE(found, boxes);
    if (!taskTitle.isEmpty())
        QCOMPARE(sheet.findChild<QGroupBox *>("service.brief.task")->title(), taskTitle);
    QCOMPARE(labelText(sheet, "service.brief.sheet.kind"), sheetKind);
    QCOMPARE(labelText(sheet, "service.brief.sheet.title"), "Sommerøl");
    QCOMPARE(labelText(sheet, "service.brief.source"), "5 kildefiler · 2,5 MB · 1 fravalg");
    QCOMPARE(labelText(sheet, "service.brief.masterprompt"), "Du arbejder for Tavlon.");
}

void TestServiceQueueView::copyLeavesExactlyTheMasterPrompt()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *before = new QMimeData;
    before->setHtml("<b>tidligere</b>");
    before->setText("tidligere");
    clipboard->setMimeData(before);
    PackageBriefContent content(context(ServiceKind::filmEditing));
    content.findChild<QPushButton *>("service.brief.copy")->click();
    QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    QCOMPARE(clipboard->text(), "Du arbejder for Tavlon.");
}

void TestServiceQueueView::sheetClosesWithEscapeAndLuk_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape") << true;
    QTest::newRow("Luk") << false;
}

void TestServiceQueueView::sheetClosesWithEscapeAndLuk()
{
    QFETCH(bool, escape);
    QWidget window;
    window.show();
    auto *sheet = new PackageBriefSheet(context(ServiceKind::filmEditing), &window);
    QSignalSpy finished(sheet, &QDialog::finished);
    sheet->open();
    QVERIFY(QTest::qWaitForWindowExposed(sheet));
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    if (escape)
        QTest::keyClick(sheet, Qt::Key_Escape);
    else
        sheet->findChild<QPushButton *>("service.brief.sheet.close")->click();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!sheet->isVisible());
}

void TestServiceQueueView::companyControls_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<bool>("fetchEnabled");
    QTest::addColumn<QString>("fetchText");
    const QString p = "service.companies.";
    QTest::newRow("demo without session") << "demo" << QStringList{p + "demo", p + "fetch"} << false
                                          << "Hent mine virksomheder";
    QTest::newRow("no session") << "signedOut" << QStringList{p + "signIn", p + "fetch"} << false
                                << "Hent mine virksomheder";
    QTest::newRow("nothing loaded") << "fresh" << QStringList{p + "fetch"} << true << "Hent mine virksomheder";
    QTest::newRow("loading") << "loading" << QStringList{p + "fetch", p + "progress"} << false
                             << "Hent mine virksomheder";
    QTest::newRow("verified, none") << "none" << QStringList{p + "fetch", p + "empty"} << true
                                    << "Opdatér mine virksomheder";
    QTest::newRow("verified, chosen, more to fetch")
        << "chosen" << QStringList{p + "fetch", p + "picker", p + "selected", p + "more"} << true
        << "Opdatér mine virksomheder";
    QTest::newRow("error beside the picker")
        << "notFetched" << QStringList{p + "fetch", p + "error", p + "picker", p + "more"} << true
        << "Opdatér mine virksomheder";
}

void TestServiceQueueView::companyControls()
{
    QFETCH(QString, state);
    QFETCH(QStringList, visible);
    QFETCH(bool, fetchEnabled);
    QFETCH(QString, fetchText);
    if (state == "demo")
        model = std::make_unique<ServiceQueueModel>(service->bridge(), true);
    if (state == "demo" || state == "signedOut")
        editorModel->accountChanged(QUrl());
    std::optional<QCoro::Task<void>> pending;
    if (state == "loading")
        pending = model->loadCompanies(*editor, false);
    if (state == "none")
        loadCompanies(0, false);
    if (state == "chosen") {
        loadCompanies(50, true);
        model->selectCompany(companyId(2), *editor);
    }
    if (state == "notFetched") { // the chosen company is on a page not fetched again
        loadCompanies(1, false, 60);
        model->selectCompany(companyId(60), *editor);
        loadCompanies(50, true);
    }
    ServiceCompanyControls controls(*model, *editorModel, *editor);
    controls.show();
    QCOMPARE(shown(controls, "service.companies."), visible);
    auto *fetch = controls.findChild<QPushButton *>("service.companies.fetch");
    QCOMPARE(fetch->isEnabled(), fetchEnabled);
    QCOMPARE(fetch->text(), fetchText);
    if (visible.contains("service.companies.selected"))
        QCOMPARE(labelText(controls, "service.companies.selected"), "Firma 2");
    if (state == "notFetched")
        QVERIFY(labelText(controls, "service.companies.error")
                    .endsWith("Den tidligere virksomhed er ikke blandt de hentede. Hent flere, eller vælg en virksomhed."));
}

void TestServiceQueueView::pickerChoosesOnlyOnThePersonsChoice()
{
    loadCompanies(3, false);
    ServiceCompanyControls controls(*model, *editorModel, *editor);
    controls.show();
    auto *picker = controls.findChild<QComboBox *>("service.companies.picker");
    QCOMPARE(picker->count(), 4);
    QCOMPARE(picker->itemText(0), "Vælg virksomhed");
    const ServiceCompanyDirectory &directory = model->directory();
    PartChanges<std::optional<QUuid>> chosen(directory, [&directory] { return directory.selectedCompanyID(); });

    // The model's own choice, and a reloaded list, are shown and never chosen again.
    model->selectCompany(companyId(3), *editor);
    QCOMPARE(picker->currentIndex(), 3);
    loadCompanies(3, false);
    QCOMPARE(picker->currentIndex(), 3);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(editorModel->company(), StrictFormats::canonicalUuid(companyId(3)));

    // The person's choice goes to the model; "Vælg virksomhed" stands for none.
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(model->directory().selectedCompanyID(), companyId(2));
    QCOMPARE(editorModel->company(), StrictFormats::canonicalUuid(companyId(2)));
    QTest::keyClick(picker, Qt::Key_Home);
    QCOMPARE(model->directory().selectedCompanyID(), std::nullopt);
    QCOMPARE(labelText(controls, "service.companies.selected"), "");
    QCOMPARE(chosen.count(), 3);
}

void TestServiceQueueView::workingModels()
{
    loadCompanies(3, false);
    model->selectCompany(companyId(1), *editor);
    editorModel->chooseStorage(QUrl::fromLocalFile(folder.path()));
    QTRY_VERIFY(!editorModel->busy());
    QVERIFY(editor->inbox() && model->canUseCompany(*editor));
}

void TestServiceQueueView::workingScreen()
{
    workingModels();
    screen = std::make_unique<ServiceQueueView>(*model, *editorModel, *editor, ServiceQueueView::Options{});
    screen->resize(940, 660);
    screen->show();
}

void TestServiceQueueView::taskListAndItsGate()
{
    workingScreen();
    const QString p = "service.tasks.";
    QCOMPARE(shown(*screen, p), QStringList{p + "fetch"});
    model->openedTask().setListing(ServiceListing{"c", "o", {}});
    QTRY_COMPARE(shown(*screen, p), (QStringList{p + "fetch", p + "list", p + "empty", p + "caption"}));

    const ServiceReceipt waiting = receipt("a", ServiceKind::filmEditing, "waiting");
    model->openedTask().setListing(ServiceListing{"c", "o", {waiting, receipt("b", ServiceKind::scriptDevelopment, "archived")}});
    settle();
    QCOMPARE(labelText(*screen, p + "row.a.status"), "Klipning · Venter");
    QCOMPARE(labelText(*screen, p + "row.b.status"), "Manus og shotliste · Ukendt status");
    QVERIFY(!screen->findChild<QWidget *>("service.task.detail"));

    // The opened task's own status shows in its row, newer than the list's.
    ServiceDetail opened;
    opened.request = waiting;
    opened.request.status = "active";
    opened.request.revision = 1; // older than the listed row: the list keeps its row
    model->openedTask().setDetail(opened);
    settle();
    QCOMPARE(labelText(*screen, p + "row.a.status"), "Klipning · I arbejde");
    QCOMPARE(labelText(*screen, p + "row.b.status"), "Manus og shotliste · Ukendt status");
    QVERIFY(screen->findChild<QWidget *>("service.task.detail")->isVisible());

    // The rows are made again when the opened task changes: a change the
    // person did not ask for here leaves the page where it was, and the
    // keyboard stays on the row it was on.
    QList<ServiceReceipt> many;
    for (int i = 0; i < 14; ++i)
        many.append(receipt(QString("r%1").arg(i), ServiceKind::scriptDevelopment, "waiting"));
    model->openedTask().setListing(ServiceListing{"c", "o", many});
    settle();
    screen->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(screen.get()));
    auto *scroll = screen->findChild<QScrollArea *>("service.queue.scroll");
    auto *clicked = screen->findChild<QPushButton *>(p + "row.r6");
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    scroll->ensureWidgetVisible(clicked);
    clicked->setFocus(Qt::MouseFocusReason);
    const int position = scroll->verticalScrollBar()->value();
    QVERIFY(position > 0 && position < scroll->verticalScrollBar()->maximum());
    opened.request = many.at(6);
    model->openedTask().setDetail(opened);
    settle();
    QCOMPARE(scroll->verticalScrollBar()->value(), position);
    QCOMPARE(QApplication::focusWidget()->objectName(), p + "row.r6");
    QVERIFY(!inView(shownChild(*screen, "service.task.detail")));

    // The task the person opens comes into view below the list.
    const int call = int(service->calls.size());
    screen->findChild<QPushButton *>(p + "row.r6")->click(); // made again
    QTRY_COMPARE(int(service->calls.size()), call + 1);
    QJsonObject row{{"id", "r6"}, {"company_id", many.at(6).company_id}, {"local_project_id", many.at(6).local_project_id},
                    {"backup_id", "b-1"}, {"source_fingerprint", "f-1"}, {"title", many.at(6).title},
                    {"kind", "scriptDevelopment"}, {"status", "active"}, {"revision", 2}, {"submitted_by", "kunde"},
                    {"submitted_at", "2026-03-01T09:00:00Z"}, {"updated_at", "2026-03-01T09:00:00Z"},
                    {"claimed_by", QJsonValue::Null}, {"claimed_at", QJsonValue::Null},
                    {"latest_proposal_id", QJsonValue::Null}};
    service->answer(call, QJsonDocument(QJsonObject{{"request", row}, {"proposals", QJsonArray()},
                                                    {"decisions", QJsonArray()}}).toJson());
    QTRY_VERIFY(!editorModel->busy());
    QCOMPARE(model->openedTask().detail()->request.id, "r6");
    QTRY_VERIFY(inView(shownChild(*screen, "service.task.detail")));

    // While the directory reloads, the list and the detail go; the heading and companies stay.
    auto reload = model->loadCompanies(*editor, false);
    QCoreApplication::processEvents();
    QVERIFY(!screen->findChild<QWidget *>(p + "list")->isVisibleTo(screen.get()));
    QVERIFY(!screen->findChild<QWidget *>(p + "fetch")->isVisibleTo(screen.get()));
    QTRY_VERIFY(!screen->findChild<QWidget *>("service.task.detail"));
    QVERIFY(screen->findChild<QWidget *>("service.queue.heading")->isVisible());
    QVERIFY(screen->findChild<QWidget *>("service.companies.fetch")->isVisible());
}

void TestServiceQueueView::disabledWhileTheEditorIsBusy()
{
    workingScreen();
    auto *scroll = screen->findChild<QScrollArea *>("service.queue.scroll");
    QVERIFY(scroll->isEnabled());
    auto ended = std::make_shared<bool>(false);
    editorModel->perform("Arbejder…", [ended](CancellationToken token) { return workUntilCancelled(token, ended); });
    QVERIFY(!scroll->isEnabled());
    QVERIFY(!screen->findChild<QPushButton *>("service.companies.fetch")->isEnabled());
    editorModel->cancel();
    QTRY_VERIFY(scroll->isEnabled() && *ended);
}

void TestServiceQueueView::confirmations_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("starts");
    for (const bool confirm : {true, false}) {
        const char *how = confirm ? "confirmed" : "cancelled";
        QTest::addRow("proposal send, %s", how) << "service.proposal.sendConfirmation"
                                               << (confirm ? "service.proposal.confirmSend" : "") << confirm;
        QTest::addRow("video send, %s", how) << "service.video.sendConfirmation"
                                            << (confirm ? "service.video.confirmSend" : "") << confirm;
        QTest::addRow("film folder copy, %s", how) << "service.film.copyConfirmation"
                                                  << (confirm ? "service.film.confirmCopy" : "") << confirm;
    }
}

void TestServiceQueueView::confirmations()
{
    QFETCH(QString, dialog);
    QFETCH(QString, button);
    QFETCH(bool, starts);
    workingScreen();
    const bool film = dialog != "service.proposal.sendConfirmation";
    ServiceDetail detail;
    detail.request = receipt("a", film ? ServiceKind::filmEditing : ServiceKind::conceptDevelopment, "active");
    model->openedTask().setDetail(detail);
    ServiceDownload download;
    download.request = detail.request;
    download.companyID = detail.request.company_id;
    download.verified = true;
    model->openedTask().setDownload(download);
    if (dialog == "service.proposal.sendConfirmation") {
        ProposalPreview preview;
        preview.requestID = "a";
        preview.content.kind = ServiceKind::conceptDevelopment;
        model->proposals().setPreview(preview);
        model->proposals().setConfirmation(true);
    } else if (dialog == "service.video.sendConfirmation") {
        VideoReviewPreview draft;
        draft.proposalID = "p";
        draft.requestID = "a";
        draft.content.kind = ServiceKind::filmEditing;
        model->videoDraft().setVideoPreview(draft);
        model->videoDraft().setVideoQC(true);
        model->videoDraft().setVideoConfirmation(true);
    } else {
        screen->setCopyConfirmation(true);
    }
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = dialogNamed(*screen, dialog)));
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    if (button.isEmpty())
        box->findChild<QPushButton *>(dialog + ".cancel")->click();
    else
        box->findChild<QPushButton *>(button)->click();
    // The confirm button starts its operation; either button ends the request.
    QCOMPARE(editorModel->busy().has_value(), starts);
    QVERIFY(!model->proposals().confirmation() && !model->videoDraft().videoConfirmation() && !screen->copyConfirmation());
    QTRY_VERIFY(!dialogNamed(*screen, dialog));
}

void TestServiceQueueView::briefSheetFollowsTheModel()
{
    workingScreen();
    model->openedTask().setPackageContext(context(ServiceKind::filmEditing));
    PackageBriefSheet *sheet = nullptr;
    QTRY_VERIFY((sheet = screen->findChild<PackageBriefSheet *>()) && sheet->isVisible());
    QTest::keyClick(sheet, Qt::Key_Escape);
    QVERIFY(!model->openedTask().packageContext());
    // A context withdrawn by the model closes the sheet without clearing anything new.
    model->openedTask().setPackageContext(context(ServiceKind::conceptDevelopment));
    QTRY_VERIFY(screen->findChildren<PackageBriefSheet *>().size() == 1);
    model->openedTask().setPackageContext(std::nullopt);
    QTRY_VERIFY(screen->findChildren<PackageBriefSheet *>().isEmpty());
}

void TestServiceQueueView::oneDialogPerRequestOutsideAHeldHost_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addRow("proposal send") << "service.proposal.sendConfirmation";
    QTest::addRow("video send") << "service.video.sendConfirmation";
    QTest::addRow("film folder copy") << "service.film.copyConfirmation";
    QTest::addRow("brief sheet") << "service.brief.sheet";
}

// A window holds the ticket's task and versions screens and the full screen
// over one model, the ticket's part disabled (held): each request shows one
// dialog, and its buttons and Escape still work.
void TestServiceQueueView::oneDialogPerRequestOutsideAHeldHost()
{
    QFETCH(QString, dialog);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *ticket = new QWidget(&window);
    auto *sections = new QVBoxLayout(ticket);
    layout->addWidget(ticket);
    ServiceQueueView::Options task;
    task.detailOnly = true;
    task.onShowVersions = [] {};
    ServiceQueueView::Options versions;
    versions.detailOnly = true;
    versions.versionsOnly = true;
    auto *taskScreen = new ServiceQueueView(*model, *editorModel, *editor, task, ticket);
    sections->addWidget(taskScreen);
    sections->addWidget(new ServiceQueueView(*model, *editorModel, *editor, versions, ticket));
    layout->addWidget(new ServiceQueueView(*model, *editorModel, *editor, ServiceQueueView::Options{}, &window));
    window.resize(940, 660);
    window.show();
    ticket->setEnabled(false);

    if (dialog == "service.proposal.sendConfirmation")
        model->proposals().setConfirmation(true);
    else if (dialog == "service.video.sendConfirmation")
        model->videoDraft().setVideoConfirmation(true);
    else if (dialog == "service.film.copyConfirmation")
        taskScreen->setCopyConfirmation(true);
    else
        model->openedTask().setPackageContext(context(ServiceKind::filmEditing));
    settle();
    // The hold ends and comes again (the next operation) while the dialog is open.
    ticket->setEnabled(true);
    ticket->setEnabled(false);
    QList<QDialog *> shownDialogs;
    for (QDialog *box : window.findChildren<QDialog *>())
        if (box->isVisible())
            shownDialogs << box;
    QCOMPARE(shownDialogs.size(), 1);
    QPointer<QDialog> box = shownDialogs.first();
    QCOMPARE(box->objectName(), dialog);
    QVERIFY(box->isEnabled());
    const QString close = dialog == "service.brief.sheet" ? "service.brief.sheet.close" : dialog + ".cancel";
    QVERIFY(box->findChild<QPushButton *>(close)->isEnabled());
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!model->proposals().confirmation() && !model->videoDraft().videoConfirmation() && !taskScreen->copyConfirmation()
            && !model->openedTask().packageContext());
    QTRY_VERIFY(!box || !box->isVisible());
}

void TestServiceQueueView::embeddedResultsComeIntoView_data()
{
    QTest::addColumn<bool>("versions"); // the versions layout, else the task's
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("result");
    QTest::newRow("review the proposal") << false << "service.proposal.readPreview" << "service.proposal.review";
    QTest::newRow("load reactions") << true << "service.decision.d1.loadReactions" << "service.decision.d1.reactions";
    QTest::newRow("download and play") << true << "service.reaction.d1/" + kReaction + ".play"
                                       << "service.reaction.player";
    QTest::newRow("prepare and review a video") << true << "service.video.prepare" << "service.video.preview";
}

// Embedded in a ticket, below its header and above its pipeline, in a column
// too short for it: what the person's action brings comes into view in the
// ticket's scroll area.
void TestServiceQueueView::embeddedResultsComeIntoView()
{
    QFETCH(bool, versions);
    QFETCH(QString, control);
    QFETCH(QString, result);
    workingModels();
    const bool prepare = control == "service.video.prepare";
    ServiceDetail detail;
    detail.request = receipt("a", versions ? ServiceKind::filmEditing : ServiceKind::scriptDevelopment,
                             prepare ? "changes_requested" : "review");
    if (prepare) { // the person's own task, an export chosen and described
        detail.request.claimed_by = StrictFormats::canonicalUuid(kOperator);
        model->videoDraft().setVideoFile(QUrl::fromLocalFile(folder.filePath("export.mp4")));
        model->videoDraft().setVideoSummary("Kortere");
    }
    ServiceProposal sent;
    sent.id = "p1";
    sent.version_number = 1;
    sent.content.title = "Udkast";
    sent.content.kind = detail.request.kind;
    if (versions)
        sent.content.video = ProposalContent::ReviewVideo{};
    detail.proposals = {sent};
    detail.decisions = {ServiceDecision{"d1", "p1", "request_changes", "Kortere", "2026-03-01T10:00:00Z", std::nullopt}};
    model->openedTask().setDetail(detail);
    ServiceDownload pulled;
    pulled.request = detail.request;
    pulled.companyID = detail.request.company_id;
    pulled.folder = folder.path();
    pulled.verified = true;
    model->openedTask().setDownload(pulled);
    ServiceReactionSummary reaction;
    reaction.decisionID = "d1";
    reaction.reactionID = kReaction;
    reaction.proposalID = "p1";
    reaction.proposalVersion = 1;
    reaction.mode = "selfie";
    reaction.duration = 12;
    if (control.endsWith(".play")) {
        model->review().setReactions({reaction});
        model->review().setReactionHistoryLoaded(true);
    }
    PreparedHandoff writing{"abcd", folder.filePath("abcd")};
    writing.kind = ServiceKind::scriptDevelopment;
    model->proposals().setPrepared(writing);
    model->proposals().setProposalFile(ProposalFile{folder.filePath("abcd/work/customer-proposal.json")});

    QScrollArea ticket;
    ticket.setWidgetResizable(true);
    ticket.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *body = new QWidget;
    auto *column = new QVBoxLayout(body);
    auto *header = new QWidget(body);
    header->setFixedHeight(300);
    column->addWidget(header);
    ServiceQueueView::Options options;
    options.detailOnly = true;
    options.versionsOnly = versions;
    column->addWidget(new ServiceQueueView(*model, *editorModel, *editor, options, body), 1);
    auto *pipeline = new QWidget(body);
    pipeline->setFixedHeight(220);
    column->addWidget(pipeline);
    ticket.setWidget(body);
    ticket.resize(620, 560);
    ticket.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ticket));
    if (versions)
        ticket.findChild<QToolButton *>("service.version.p1.toggle")->setChecked(true);
    settle();
    QVERIFY(!inView(shownChild(ticket, result)));
    // An object of another kind under the name the reveal gives its own
    // follower is no follower: revealing leaves it alone.
    const QPointer<QObject> namesake = new QObject(body);
    namesake->setObjectName("service.reveal");

    auto *button = ticket.findChild<QPushButton *>(control);
    QVERIFY2(button && button->isVisibleTo(&ticket) && button->isEnabled(), qPrintable(control));
    button->click();
    QVERIFY(editorModel->busy());
    // What the operation finds, while it runs.
    if (control.endsWith(".play")) {
        ServiceReactionDownload played;
        played.selected = reaction;
        played.checkedFile = folder.filePath("r1.mp4");
        model->review().setReactionDownload(played);
    } else if (prepare) {
        VideoReviewPreview draft;
        draft.proposalID = "p2";
        draft.requestID = "a";
        draft.file = folder.filePath("export.mp4");
        draft.expectedRevision = detail.request.revision;
        draft.content.kind = ServiceKind::filmEditing;
        draft.content.title = "Version 2";
        model->videoDraft().setVideoPreview(draft);
    } else if (versions) {
        model->review().setReactions({reaction});
        model->review().setReactionHistoryLoaded(true);
    } else {
        ProposalPreview preview;
        preview.requestID = "a";
        preview.content = sent.content;
        model->proposals().setPreview(preview);
    }
    // Judged where the settled layouts put it, not at the corner a widget
    // just shown holds until they run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QTRY_VERIFY(inView(shownChild(ticket, result)));
    // It stays in view as it settles (a player grows once its video is read).
    QWidget *arrived = shownChild(ticket, result);
    arrived->setMinimumHeight(arrived->height() + 120);
    QTRY_VERIFY(inView(arrived));
    QVERIFY(namesake);
    editorModel->cancel();
    QTRY_VERIFY(!editorModel->busy());
}

QTEST_MAIN(TestServiceQueueView)
#include "tst_servicequeueview.moc"
