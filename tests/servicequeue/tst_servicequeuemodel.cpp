// The service queue model: scope and staleness, company loading and paging,
// per-task memory and the hand-over project folder, against fakes of the
// editor and of the tool runner.
#include <QtTest>

#include "partchanges.h"
#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "servicefakes.h"
#include "servicequeue/servicequeuemodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QUuid kOperator("11111111-1111-4111-8111-111111111111");
const QUuid kOtherOperator("22222222-2222-4222-8222-222222222222");

QUuid companyId(int n)
{
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

QByteArray pageJson(int first, int count, bool more, QUuid op = kOperator)
{
    QJsonArray companies;
    for (int i = first; i < first + count; ++i)
        companies.append(QJsonObject{{"id", StrictFormats::canonicalUuid(companyId(i))}, {"name", QStringLiteral("Firma %1").arg(i)}});
    QJsonObject page{{"operatorID", StrictFormats::canonicalUuid(op)}, {"companies", companies}};
    if (more)
        page.insert("nextCompanyID", StrictFormats::canonicalUuid(companyId(first + count - 1)));
    return QJsonDocument(page).toJson(QJsonDocument::Compact);
}

ServiceReceipt receipt(const QString &id, qint64 revision = 1, QUuid company = companyId(1))
{
    ServiceReceipt r;
    r.id = id;
    r.company_id = StrictFormats::canonicalUuid(company);
    r.revision = revision;
    r.status = QStringLiteral("waiting");
    return r;
}

ServiceDetail detailOf(const ServiceReceipt &r)
{
    ServiceDetail d;
    d.request = r;
    return d;
}

// A load whose failure is noted rather than thrown. A free coroutine: a
// lambda coroutine would outlive its captures.
QCoro::Task<void> loadNoting(ServiceQueueModel *model, ServiceQueueEditor *editor, bool more, bool *threw)
{
    try {
        co_await model->loadCompanies(*editor, more);
    } catch (...) {
        *threw = true;
    }
}

} // namespace

class TestServiceQueueModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init();
    void cleanup();

    void newModelDefaults();
    void comparableSettersNotifyOnlyOnChange();

    void scopeNeedsSessionAndMatchingCompany_data();
    void scopeNeedsSessionAndMatchingCompany();
    void staleScopeLeavesNoTrace_data();
    void staleScopeLeavesNoTrace();
    void storageCheckFailureIsShown();

    void firstLoadAcceptsSilently();
    void pagingAppendsAndEnds();
    void rememberedCompany_data();
    void rememberedCompany();
    void changedOperator_data();
    void changedOperator();
    void loadFailures_data();
    void loadFailures();
    void supersededLoadChangesNothing_data();
    void supersededLoadChangesNothing();
    void selectCompany();
    void companyChangedKeepsTrimmedMatch();
    void fetchRunsAsTheEditorsOperation_data();
    void fetchRunsAsTheEditorsOperation();
    void clearingForgetsWhatItShould_data();
    void clearingForgetsWhatItShould();

    void perTaskMemory();
    void listingFollowsDetail_data();
    void listingFollowsDetail();

    void modelGoneBeforeTheAnswer_data();
    void modelGoneBeforeTheAnswer();

    void handOverSnapshot_data();
    void handOverSnapshot();
    void storageChangeReopensInboxTask();

private:
    void loadDirectory(int count = 3, QUuid op = kOperator);
    void openTask(const QString &id);

    std::unique_ptr<FakeEditor> editor;
    std::unique_ptr<FakeService> service;
    std::unique_ptr<ServiceQueueModel> model;
};

void TestServiceQueueModel::init()
{
    editor = std::make_unique<FakeEditor>();
    service = std::make_unique<FakeService>();
    model = std::make_unique<ServiceQueueModel>(service->bridge());
}

void TestServiceQueueModel::cleanup()
{
    model.reset();
    // Pending tool calls end now, after the model: their continuations must
    // find it gone and touch nothing.
    service->closeAll();
    QCoreApplication::processEvents();
    service.reset();
    editor.reset();
}

// A verified directory with company 1 chosen.
void TestServiceQueueModel::loadDirectory(int count, QUuid op)
{
    const int call = int(service->calls.size());
    auto load = model->loadCompanies(*editor, false);
    service->answer(call, pageJson(1, count, false, op));
    QTRY_VERIFY(load.isReady());
    model->selectCompany(companyId(1), *editor);
    QVERIFY(model->canUseCompany(*editor));
}

void TestServiceQueueModel::openTask(const QString &id)
{
    model->clearSelection();
    const auto scope = model->scope(*editor);
    QVERIFY(scope);
    model->restoreSelection(SelectionKey{scope->identity, scope->companyID, scope->operatorID, id, scope->inbox});
    model->openedTask().setDetail(detailOf(receipt(id)));
}

void TestServiceQueueModel::newModelDefaults()
{
    QVERIFY(!model->directory().companiesVerified() && !model->directory().companiesLoaded() && !model->directory().loadingCompanies());
    QVERIFY(!model->proposals().confirmation() && !model->videoDraft().videoQC() && !model->videoDraft().videoConfirmation());
    QVERIFY(model->projectCopies().rememberEditorProject());
    QVERIFY(model->directory().companies().isEmpty() && model->savedSelections().isEmpty() && model->proposals().workspaces().isEmpty());
    QVERIFY(!model->directory().selectedCompany() && !model->openedTask().detail() && !model->openedTask().listing() && !model->selectionKey());
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Første udkast"));
    QVERIFY(model->videoDraft().videoSummary().isEmpty());
    QVERIFY(!model->videoDraft().videoEditor().isEmpty());
    QVERIFY(model->generation() != model->sorvaneOpenIntent());
}

void TestServiceQueueModel::comparableSettersNotifyOnlyOnChange()
{
    QSignalSpy qc(&model->videoDraft(), &ServiceVideoDraft::changed);
    QSignalSpy detail(&model->openedTask(), &ServiceOpenedTask::changed);
    model->videoDraft().setVideoQC(false);
    QCOMPARE(qc.count(), 0);
    model->videoDraft().setVideoQC(true);
    QCOMPARE(qc.count(), 1);
    QVERIFY(model->videoDraft().videoQC());
    const ServiceDetail d = detailOf(receipt("a"));
    model->openedTask().setDetail(d);
    model->openedTask().setDetail(d);
    QCOMPARE(detail.count(), 2);
}

void TestServiceQueueModel::scopeNeedsSessionAndMatchingCompany_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("scoped");
    QTest::newRow("as loaded") << "" << true;
    QTest::newRow("company text padded") << "padded" << true;
    QTest::newRow("company text upper case") << "upper" << true;
    QTest::newRow("signed out") << "signout" << false;
    QTest::newRow("company text not a UUID") << "garbage" << false;
    QTest::newRow("company text empty") << "empty" << false;
    QTest::newRow("other tools folder") << "tools" << false;
}

void TestServiceQueueModel::scopeNeedsSessionAndMatchingCompany()
{
    QFETCH(QString, change);
    QFETCH(bool, scoped);
    loadDirectory();
    const QString id = StrictFormats::canonicalUuid(companyId(1));
    if (change == "padded")
        editor->m_company = " \n" + id + "\t";
    else if (change == "upper")
        editor->m_company = id.toUpper();
    else if (change == "signout")
        editor->m_credentials.reset();
    else if (change == "garbage")
        editor->m_company = "{" + id + "}";
    else if (change == "empty")
        editor->m_company.clear();
    else if (change == "tools")
        editor->m_repository = QUrl::fromLocalFile("/elsewhere");
    QCOMPARE(model->scope(*editor).has_value(), scoped);

    // Without a scope nothing starts and no busy label shows.
    bool ran = false;
    model->perform(*editor, "Arbejder…", [&ran](ServiceQueueModel::OperationContext) -> QCoro::Task<void> {
        ran = true;
        co_return;
    });
    QCOMPARE(ran, scoped);
    QVERIFY(!editor->m_busy);
}

void TestServiceQueueModel::staleScopeLeavesNoTrace_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("selection cleared") << "clearSelection";
    QTest::newRow("model cleared") << "clear";
    QTest::newRow("new session") << "session";
    QTest::newRow("project folder chosen") << "inbox";
    QTest::newRow("company text changed") << "company";
    QTest::newRow("company list reloading") << "reload";
}

void TestServiceQueueModel::staleScopeLeavesNoTrace()
{
    QFETCH(QString, change);
    loadDirectory();
    editor->m_error = QStringLiteral("old");
    const int call = int(service->calls.size());
    bool wrote = false;
    bool failed = false;
    model->perform(*editor, "Henter opgaver…", [&](ServiceQueueModel::OperationContext op) -> QCoro::Task<void> {
        try {
            const auto listing = co_await model->execute<ServiceListing>(
                BridgeCommand::serviceList(op.scope.identity.credentials, StrictFormats::canonicalUuid(op.scope.companyID), op.scope.operatorID),
                *editor, op.scope, op.token);
            model->openedTask().setListing(listing);
            wrote = true;
        } catch (const OperationCancelled &) {
            failed = true;
            throw;
        }
    });
    QCOMPARE(editor->m_busy, QStringLiteral("Henter opgaver…"));
    QVERIFY(!editor->m_error);
    QCOMPARE(service->calls.size(), call + 1);
    QCOMPARE(service->calls.last().toolsFolder, QStringLiteral("/tools"));

    if (change == "clearSelection")
        model->clearSelection();
    else if (change == "clear")
        model->clear();
    else if (change == "session")
        editor->m_credentials = QUrl("tavlon-session://second");
    else if (change == "inbox")
        editor->m_inbox = QUrl::fromLocalFile("/projects");
    else if (change == "company")
        editor->m_company = StrictFormats::canonicalUuid(companyId(2));
    else if (change == "reload")
        auto pending = model->loadCompanies(*editor, false);

    service->answer(call, R"({"companyID":"c","operatorID":"o","requests":[]})");
    QTRY_VERIFY(!editor->m_busy);
    QVERIFY(failed);
    QVERIFY(!wrote);
    QVERIFY(!model->openedTask().listing());
    QVERIFY(!editor->m_error);
    QVERIFY(!editor->m_message);
}

void TestServiceQueueModel::storageCheckFailureIsShown()
{
    loadDirectory();
    editor->storageCheck = [](const BridgeCommand &) {
        throw BridgeError::failed(QStringLiteral("Projektplaceringen er ændret. Åbn opgaven igen."));
    };
    model->perform(*editor, "Arbejder…", [&](ServiceQueueModel::OperationContext op) -> QCoro::Task<void> {
        co_await model->execute<ServiceWorkspaces>(BridgeCommand::serviceWorkspaces(QUrl::fromLocalFile("/p"), "r"), *editor,
                                                   op.scope, op.token);
    });
    QTRY_VERIFY(!editor->m_busy);
    QCOMPARE(editor->m_error, QStringLiteral("Projektplaceringen er ændret. Åbn opgaven igen."));
    QCOMPARE(service->calls.size(), 1); // only the company page; the tool never ran
}

void TestServiceQueueModel::firstLoadAcceptsSilently()
{
    const ServiceCompanyDirectory &directory = model->directory();
    PartChanges<bool> loading(directory, [&directory] { return directory.loadingCompanies(); });
    auto load = model->loadCompanies(*editor, false);
    QVERIFY(model->directory().loadingCompanies());
    QVERIFY(!model->directory().companiesVerified());
    service->answer(0, pageJson(1, 3, false));
    QTRY_VERIFY(load.isReady());
    QCOMPARE(loading.count(), 2);
    QCOMPARE(model->directory().companies().size(), 3);
    QVERIFY(model->directory().companiesVerified() && model->directory().companiesLoaded());
    QVERIFY(!model->directory().companyError());
    QVERIFY(!model->directory().selectedCompanyID());
    QCOMPARE(model->directory().operatorID(), kOperator);
    // The first page carries no cursor and no expected operator.
    const auto args = service->calls.at(0).command.arguments();
    QVERIFY(!args.contains("--after-company-id") && !args.contains("--expected-operator-id"));
}

void TestServiceQueueModel::pagingAppendsAndEnds()
{
    auto first = model->loadCompanies(*editor, false);
    service->answer(0, pageJson(1, 50, true));
    QTRY_VERIFY(first.isReady());
    QCOMPARE(model->directory().nextCompanyID(), companyId(50));
    auto second = model->loadCompanies(*editor, true);
    QCOMPARE(model->directory().companies().size(), 50); // kept while the next page loads
    const auto args = service->calls.at(1).command.arguments();
    QVERIFY(args.contains(StrictFormats::canonicalUuid(companyId(50))));
    QVERIFY(args.contains(StrictFormats::canonicalUuid(kOperator)));
    service->answer(1, pageJson(51, 20, false));
    QTRY_VERIFY(second.isReady());
    QCOMPARE(model->directory().companies().size(), 70);
    QCOMPARE(model->directory().companies().at(50).id, companyId(51));
    QVERIFY(!model->directory().nextCompanyID());
    // No cursor left: a further request does nothing.
    auto third = model->loadCompanies(*editor, true);
    QVERIFY(third.isReady());
    QCOMPARE(service->calls.size(), 2);
}

void TestServiceQueueModel::rememberedCompany_data()
{
    QTest::addColumn<int>("remembered");
    QTest::addColumn<bool>("more");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("error");
    QTest::newRow("listed") << 2 << false << true << QString();
    QTest::newRow("not fetched yet") << 60 << true << false
                                     << "Den tidligere virksomhed er ikke blandt de hentede. Hent flere, eller vælg en virksomhed.";
    QTest::newRow("gone") << 60 << false << false
                          << "Den tidligere virksomhed er ikke længere på listen. Vælg en virksomhed, du har adgang til.";
}

void TestServiceQueueModel::rememberedCompany()
{
    QFETCH(int, remembered);
    QFETCH(bool, more);
    QFETCH(bool, selected);
    QFETCH(QString, error);
    // The person chose `remembered` under an earlier list.
    auto first = model->loadCompanies(*editor, false);
    service->answer(0, pageJson(remembered, 1, false));
    QTRY_VERIFY(first.isReady());
    model->selectCompany(companyId(remembered), *editor);
    QCOMPARE(model->directory().selectedCompanyID(), companyId(remembered));

    auto reload = model->loadCompanies(*editor, false);
    service->answer(1, more ? pageJson(1, 50, true) : pageJson(1, 3, false));
    QTRY_VERIFY(reload.isReady());
    QCOMPARE(model->directory().selectedCompanyID().has_value(), selected);
    QCOMPARE(model->directory().companyError().value_or(QString()), error);
}

void TestServiceQueueModel::changedOperator_data()
{
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("companies");
    QTest::newRow("first page, new person") << false << "Login er ændret. Vælg virksomhed igen for denne konto." << 3;
    QTest::newRow("next page, other person") << true << "Login er ændret. Hent virksomhederne igen, før du vælger en opgave." << 0;
}

void TestServiceQueueModel::changedOperator()
{
    QFETCH(bool, more);
    QFETCH(QString, error);
    QFETCH(int, companies);
    auto first = model->loadCompanies(*editor, false);
    service->answer(0, pageJson(1, 50, true));
    QTRY_VERIFY(first.isReady());
    model->selectCompany(companyId(1), *editor);
    bool threw = false;
    auto again = loadNoting(model.get(), editor.get(), more, &threw);
    service->answer(1, more ? pageJson(51, 3, false, kOtherOperator) : pageJson(1, 3, false, kOtherOperator));
    QTRY_VERIFY(again.isReady());
    QCOMPARE(threw, more);
    QCOMPARE(model->directory().companyError(), error);
    QVERIFY(!model->directory().selectedCompanyID());
    QCOMPARE(model->directory().companies().size(), companies);
    QVERIFY(!model->directory().loadingCompanies());
}

void TestServiceQueueModel::loadFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::newRow("tool error") << "bridge" << "Værktøjet fejlede.";
    QTest::newRow("cancelled") << "cancel" << "Hentningen blev afbrudt. Hent virksomhederne igen.";
    QTest::newRow("unchecked page") << "descending"
                                    << "Listen over virksomheder kunne ikke kontrolleres. Hent den igen.";
}

void TestServiceQueueModel::loadFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    loadDirectory();
    bool threw = false;
    auto load = loadNoting(model.get(), editor.get(), false, &threw);
    if (kind == "bridge")
        service->fail(1, std::make_exception_ptr(BridgeError::failed(QStringLiteral("Værktøjet fejlede."))));
    else if (kind == "cancel")
        service->fail(1, std::make_exception_ptr(OperationCancelled()));
    else
        service->answer(1, QByteArray(pageJson(1, 2, false)).replace("000000000001", "000000000009"));
    QTRY_VERIFY(load.isReady());
    QVERIFY(threw);
    QCOMPARE(model->directory().companyError(), error);
    QVERIFY(model->directory().companies().isEmpty());
    QVERIFY(!model->directory().selectedCompanyID() && !model->directory().operatorID() && !model->directory().companiesVerified());
    QVERIFY(model->directory().companiesLoaded()); // left as it was
    QVERIFY(!model->directory().loadingCompanies());
}

void TestServiceQueueModel::supersededLoadChangesNothing_data()
{
    QTest::addColumn<QString>("by");
    QTest::addColumn<bool>("fails");
    QTest::newRow("clear, answer") << "clear" << false;
    QTest::newRow("clear, failure") << "clear" << true;
    QTest::newRow("company change, answer") << "company" << false;
    QTest::newRow("new session, failure") << "session" << true;
}

void TestServiceQueueModel::supersededLoadChangesNothing()
{
    QFETCH(QString, by);
    QFETCH(bool, fails);
    bool threw = false;
    auto load = loadNoting(model.get(), editor.get(), false, &threw);
    if (by == "clear") {
        model->clear();
    } else if (by == "company") {
        editor->m_company = StrictFormats::canonicalUuid(companyId(7));
        model->companyChanged(*editor);
    } else {
        editor->m_credentials = QUrl("tavlon-session://second");
    }
    if (by != "session")
        QVERIFY(!model->directory().loadingCompanies());
    const ServiceCompanyDirectory &directory = model->directory();
    PartChanges<QList<ServiceCompany>> companies(directory, [&directory] { return directory.companies(); });
    PartChanges<std::optional<QString>> error(directory, [&directory] { return directory.companyError(); });
    PartChanges<bool> loading(directory, [&directory] { return directory.loadingCompanies(); });
    if (fails)
        service->fail(0, std::make_exception_ptr(BridgeError::failed(QStringLiteral("x"))));
    else
        service->answer(0, pageJson(1, 3, false));
    QTRY_VERIFY(load.isReady());
    QVERIFY(!threw);
    QCOMPARE(companies.count(), 0);
    QCOMPARE(error.count(), 0);
    QVERIFY(model->directory().companies().isEmpty());
    QVERIFY(!model->directory().companyError());
    if (by != "session")
        QCOMPARE(loading.count(), 0);
}

void TestServiceQueueModel::selectCompany()
{
    loadDirectory();
    QCOMPARE(editor->m_company, StrictFormats::canonicalUuid(companyId(1)));
    QCOMPARE(editor->cloudForgotten, 1);
    model->selectCompany(companyId(99), *editor); // not listed
    QCOMPARE(model->directory().selectedCompanyID(), companyId(1));
    model->selectCompany(std::nullopt, *editor);
    QVERIFY(!model->directory().selectedCompanyID());
    QVERIFY(editor->m_company.isEmpty());
    QCOMPARE(editor->cloudForgotten, 2);
    model->selectCompany(std::nullopt, *editor);
    QCOMPARE(editor->cloudForgotten, 2);
    // While a page loads nothing is chosen.
    auto pending = model->loadCompanies(*editor, false);
    model->selectCompany(companyId(1), *editor);
    QVERIFY(!model->directory().selectedCompanyID());
}

void TestServiceQueueModel::companyChangedKeepsTrimmedMatch()
{
    loadDirectory();
    model->openedTask().setListing(ServiceListing{});
    auto pending = model->loadCompanies(*editor, false);
    model->selectCompany(companyId(1), *editor); // refused while loading; the selection stays
    editor->m_company = " " + StrictFormats::canonicalUuid(companyId(1)) + " ";
    model->companyChanged(*editor);
    QCOMPARE(model->directory().selectedCompanyID(), companyId(1));
    QVERIFY(!model->directory().loadingCompanies());
    QVERIFY(!model->openedTask().listing());
}

void TestServiceQueueModel::fetchRunsAsTheEditorsOperation_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("toolCalls");
    QTest::newRow("first page") << "" << false << "Henter dine virksomheder…" << 1;
    QTest::newRow("next page") << "cursor" << true << "Henter flere virksomheder…" << 1;
    QTest::newRow("next page without a cursor") << "" << true << "Henter flere virksomheder…" << 0;
    QTest::newRow("editor busy") << "busy" << false << "Arbejder…" << 0;
    QTest::newRow("failing load") << "fail" << false << "Henter dine virksomheder…" << 1;
    // Cancelled and then closed before any event runs: the call ends once.
    QTest::newRow("cancelled, the call still waiting") << "cancel" << false << "Henter dine virksomheder…" << 1;
}

// The load is the editor's one operation, yet its failure is the company
// list's own text, never the editor's error.
void TestServiceQueueModel::fetchRunsAsTheEditorsOperation()
{
    QFETCH(QString, situation);
    QFETCH(bool, more);
    QFETCH(QString, label);
    QFETCH(int, toolCalls);
    if (situation == "cursor") {
        auto first = model->loadCompanies(*editor, false);
        service->answer(0, pageJson(1, 50, true));
        QTRY_VERIFY(first.isReady());
    }
    if (situation == "busy")
        editor->m_busy = QStringLiteral("Arbejder…");
    const int before = int(service->calls.size());
    model->fetchCompanies(*editor, more);
    QCOMPARE(int(service->calls.size()) - before, toolCalls);
    if (situation == "busy") {
        QCOMPARE(editor->m_busy, label); // the running operation keeps its label
        QVERIFY(editor->startedOperations.isEmpty());
        return;
    }
    QCOMPARE(editor->startedOperations.last(), label);
    if (situation == "cancel") {
        editor->cancel();
        return;
    }
    if (toolCalls) {
        if (situation == "fail")
            service->fail(before, std::make_exception_ptr(BridgeError::failed(QStringLiteral("Værktøjet fejlede."))));
        else
            service->answer(before, more ? pageJson(51, 2, false) : pageJson(1, 2, false));
    }
    QTRY_VERIFY(!editor->m_busy);
    QVERIFY(!editor->m_error && !editor->m_message);
    QCOMPARE(model->directory().companyError(), situation == "fail" ? std::optional<QString>(QStringLiteral("Værktøjet fejlede."))
                                                        : std::nullopt);
}

void TestServiceQueueModel::clearingForgetsWhatItShould_data()
{
    QTest::addColumn<bool>("whole");
    QTest::newRow("clearSelection") << false;
    QTest::newRow("clear") << true;
}

void TestServiceQueueModel::clearingForgetsWhatItShould()
{
    QFETCH(bool, whole);
    loadDirectory();
    const ServiceListing listing{StrictFormats::canonicalUuid(companyId(1)), "op", {receipt("A")}};
    model->openedTask().setListing(listing);
    openTask("A");
    model->videoDraft().setVideoEditor(QStringLiteral("Mette"));
    model->projectCopies().setRememberEditorProject(false);
    model->review().setReactionHistoryLoaded(true);
    model->projectCopies().setRequiresProjectSelection(true);
    model->projectCopies().setProjectVersionsProposalID(QStringLiteral("p"));
    model->videoDraft().setVideoFile(QUrl::fromLocalFile("/film.mp4"));
    model->videoDraft().setVideoSummary(QStringLiteral("Kort"));
    const QUuid generation = model->generation();
    const QUuid intent = model->sorvaneOpenIntent();

    QSignalSpy saved(model.get(), &ServiceQueueModel::savedSelectionsChanged);
    whole ? model->clear() : model->clearSelection();

    // The opened task's work is remembered before anything is reset.
    QVERIFY(saved.count() >= 1);
    QCOMPARE(model->savedSelections().size(), 1);
    QCOMPARE(model->savedSelections().constBegin()->videoSummary, QStringLiteral("Kort"));
    QVERIFY(model->generation() != generation);
    QVERIFY(!model->selectionKey() && !model->openedTask().detail());
    QVERIFY(!model->videoDraft().videoFile() && !model->projectCopies().projectVersionsProposalID());
    QVERIFY(!model->review().reactionHistoryLoaded() && !model->projectCopies().requiresProjectSelection());
    QVERIFY(model->videoDraft().videoSummary().isEmpty());
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Første udkast"));
    // Settings of the person, not of the task, stay.
    QCOMPARE(model->videoDraft().videoEditor(), QStringLiteral("Mette"));
    QVERIFY(!model->projectCopies().rememberEditorProject());

    if (whole) {
        QVERIFY(!model->openedTask().listing());
        QVERIFY(model->directory().companies().isEmpty() && !model->directory().selectedCompanyID() && !model->directory().operatorID());
        QVERIFY(!model->directory().companiesVerified() && !model->directory().companiesLoaded() && !model->canUseCompany(*editor));
        QVERIFY(model->sorvaneOpenIntent() != intent);
    } else {
        QVERIFY(model->openedTask().listing());
        QCOMPARE(model->directory().companies().size(), 3);
        QCOMPARE(model->directory().selectedCompanyID(), companyId(1));
        QVERIFY(model->canUseCompany(*editor));
        QCOMPARE(model->sorvaneOpenIntent(), intent);
    }
}

void TestServiceQueueModel::perTaskMemory()
{
    loadDirectory();
    editor->m_inbox = QUrl::fromLocalFile("/projects/one");
    openTask("A");
    model->videoDraft().setVideoLabel("Mit klip");
    model->videoDraft().setVideoSummary("Kort");
    model->videoDraft().setVideoQC(true);
    model->videoDraft().setVideoConfirmation(true);
    model->videoDraft().setVideoSendingProposalID(QStringLiteral("p"));
    ProposalFile file{"/projects/one/forslag.json", "n"};
    model->proposals().setProposalFile(file);

    openTask("B");
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Første udkast"));
    QVERIFY(!model->proposals().proposalFile());

    openTask("A");
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Mit klip"));
    QCOMPARE(model->videoDraft().videoSummary(), QStringLiteral("Kort"));
    QCOMPARE(model->proposals().proposalFile()->file, file.file);
    QVERIFY(!model->videoDraft().videoQC() && !model->videoDraft().videoConfirmation() && !model->proposals().confirmation());
    QVERIFY(!model->videoDraft().videoSendingProposalID());
    QVERIFY(model->review().reactions().isEmpty() && !model->review().reviewVideo() && !model->openedTask().inlineBrief());

    // Another project folder is another key: defaults.
    editor->m_inbox = QUrl::fromLocalFile("/projects/two");
    openTask("A");
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Første udkast"));
    QVERIFY(!model->proposals().proposalFile());
    QCOMPARE(model->videoDraft().videoEditor(), ServiceVideoDraft::defaultVideoEditor());

    // The memory outlives clear() and a new directory.
    editor->m_inbox = QUrl::fromLocalFile("/projects/one");
    model->clear();
    loadDirectory();
    openTask("A");
    QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Mit klip"));

    // Nothing open: nothing remembered.
    model->clearSelection();
    const auto saved = model->savedSelections().size();
    model->rememberSelection();
    QCOMPARE(model->savedSelections().size(), saved);
}

void TestServiceQueueModel::listingFollowsDetail_data()
{
    QTest::addColumn<qint64>("listed");
    QTest::addColumn<qint64>("opened");
    QTest::addColumn<QUuid>("company");
    QTest::addColumn<QString>("id");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("older row replaced") << qint64(3) << qint64(4) << companyId(1) << "A" << qint64(4);
    QTest::newRow("equal row replaced") << qint64(4) << qint64(4) << companyId(1) << "A" << qint64(4);
    QTest::newRow("newer row kept") << qint64(5) << qint64(4) << companyId(1) << "A" << qint64(5);
    QTest::newRow("other company") << qint64(3) << qint64(4) << companyId(2) << "A" << qint64(3);
    QTest::newRow("not listed") << qint64(3) << qint64(4) << companyId(1) << "Z" << qint64(3);
}

void TestServiceQueueModel::listingFollowsDetail()
{
    QFETCH(qint64, listed);
    QFETCH(qint64, opened);
    QFETCH(QUuid, company);
    QFETCH(QString, id);
    QFETCH(qint64, expected);
    ServiceListing listing{StrictFormats::canonicalUuid(companyId(1)), "op", {receipt("A", listed), receipt("A", 1), receipt("B", 9)}};
    model->openedTask().setListing(listing);
    model->openedTask().setDetail(detailOf(receipt(id, opened, company)));
    QCOMPARE(model->openedTask().listing()->requests.at(0).revision, expected);
    QCOMPARE(model->openedTask().listing()->requests.at(1).revision, 1); // only the first of two equal ids
    QCOMPARE(model->openedTask().listing()->requests.at(2).id, QStringLiteral("B"));
    model->openedTask().setDetail(std::nullopt);
    QCOMPARE(model->openedTask().listing()->requests.at(0).revision, expected); // closing the task leaves the rows
}

void TestServiceQueueModel::modelGoneBeforeTheAnswer_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<bool>("fails");
    QTest::newRow("company load, answer") << "load" << false;
    QTest::newRow("company load, failure") << "load" << true;
    QTest::newRow("company fetch, answer") << "fetch" << false;
    QTest::newRow("task command, answer") << "task" << false;
    QTest::newRow("task command, failure") << "task" << true;
}

// The window closed while a tool ran: the late answer touches nothing.
void TestServiceQueueModel::modelGoneBeforeTheAnswer()
{
    QFETCH(QString, work);
    QFETCH(bool, fails);
    if (work == "task")
        loadDirectory();
    const int call = int(service->calls.size());
    bool threw = false;
    std::optional<QCoro::Task<void>> load;
    if (work == "load") {
        load.emplace(loadNoting(model.get(), editor.get(), false, &threw));
    } else if (work == "fetch") {
        model->fetchCompanies(*editor, false);
    } else {
        ServiceQueueModel *queue = model.get();
        FakeEditor *fake = editor.get();
        model->perform(*editor, "Henter opgaver…", [queue, fake](ServiceQueueModel::OperationContext op) -> QCoro::Task<void> {
            co_await queue->execute<ServiceListing>(BridgeCommand::serviceList(op.scope.identity.credentials, "c", op.scope.operatorID),
                                                    *fake, op.scope, op.token);
        });
    }
    QCOMPARE(service->calls.size(), call + 1);
    model.reset();
    if (fails)
        service->fail(call, std::make_exception_ptr(BridgeError::failed(QStringLiteral("x"))));
    else
        service->answer(call, work == "task" ? QByteArray(R"({"companyID":"c","operatorID":"o","requests":[]})")
                                             : pageJson(1, 3, false));
    if (load)
        QTRY_VERIFY(load->isReady());
    QTRY_VERIFY(!editor->m_busy);
    QVERIFY(!threw);
    QVERIFY(!editor->m_error && !editor->m_message);
}

void TestServiceQueueModel::handOverSnapshot_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("adopted");
    QTest::newRow("nothing changed") << "" << true;
    QTest::newRow("selection cleared") << "clearSelection" << false;
    QTest::newRow("company changed") << "company" << false;
    QTest::newRow("editor busy") << "busy" << false;
    QTest::newRow("other inbox row") << "row" << false;
}

void TestServiceQueueModel::handOverSnapshot()
{
    QFETCH(QString, change);
    QFETCH(bool, adopted);
    loadDirectory();
    openTask("A");
    ServiceReceipt row = receipt("A");
    row.company_id = row.company_id.toUpper(); // upper case still matches
    const auto snapshot = model->sorvaneStorageSelection(row, kOperator, *editor);
    QVERIFY(snapshot);
    QVERIFY(!model->sorvaneStorageSelection(row, kOtherOperator, *editor));

    if (change == "clearSelection") {
        model->clearSelection();
    } else if (change == "company") {
        editor->m_company = StrictFormats::canonicalUuid(companyId(2));
        model->companyChanged(*editor);
    } else if (change == "busy") {
        editor->m_busy = QStringLiteral("Arbejder…");
    } else if (change == "row") {
        row = receipt("B");
    }
    const QUrl chosen = QUrl::fromLocalFile("/projects/new/../new");
    QCOMPARE(model->chooseSorvaneStorage(chosen, *snapshot, row, kOperator, *editor), adopted);
    if (adopted) {
        QCOMPARE(editor->chosenFolders.size(), 1);
        QVERIFY(!editor->m_storageIssue);
    } else {
        QVERIFY(editor->chosenFolders.isEmpty());
        QCOMPARE(editor->m_storageIssue, QStringLiteral("Projektplaceringen er ændret. Åbn opgaven igen."));
    }
}

void TestServiceQueueModel::storageChangeReopensInboxTask()
{
    loadDirectory();
    openTask("A");
    QList<QString> reopened;
    model->setSorvaneOpener([&](const ServiceReceipt &r, const QUuid &, ServiceQueueEditor &, bool preserving) {
        QVERIFY(preserving);
        reopened.append(r.id);
    });
    // Same folder and company: nothing happens.
    const auto generation = model->generation();
    model->sorvaneStorageChanged(*editor, receipt("A"), kOperator);
    QCOMPARE(model->generation(), generation);
    QVERIFY(reopened.isEmpty());

    editor->m_inbox = QUrl::fromLocalFile("/projects/new");
    model->sorvaneStorageChanged(*editor, receipt("A", 1, companyId(2)), kOperator);
    QVERIFY(!model->selectionKey());
    QVERIFY(reopened.isEmpty()); // another company's row stays closed

    openTask("A");
    editor->m_inbox = QUrl::fromLocalFile("/projects/newer");
    model->sorvaneStorageChanged(*editor, receipt("A"), kOperator);
    QCOMPARE(reopened, QList<QString>{"A"});
}

QTEST_GUILESS_MAIN(TestServiceQueueModel)
#include "tst_servicequeuemodel.moc"
