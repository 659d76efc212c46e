// The task actions of the service queue (list, open, history, claim, pull,
// film folder) against the fake editor and a tool runner whose answers the
// test releases: the commands they give, the checks on each answer, and what
// stays set when a later step fails.
#include "foundation/localization.h"
#include "taskfixtures.h"

using namespace TaskJson;

namespace {

const QString kTask = QStringLiteral("task-1");

} // namespace

class TestServiceQueueTasks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init()
    {
        bench = std::make_unique<TaskBench>();
        QVERIFY(bench->loadDirectory());
    }
    void cleanup() { bench.reset(); }

    void commandsOfEachAction_data();
    void commandsOfEachAction();
    void listChecks_data();
    void listChecks();
    void openChecks_data();
    void openChecks();
    void guardsStartNothing_data();
    void guardsStartNothing();
    void companySwitchDropsTheAnswer_data();
    void companySwitchDropsTheAnswer();
    void claimReadsTheTaskAgain_data();
    void claimReadsTheTaskAgain();
    void historyRefresh_data();
    void historyRefresh();
    void pullSteps_data();
    void pullSteps();
    void filmFolderChecks_data();
    void filmFolderChecks();

private:
    // Task `kTask` of `kind` listed and opened, optionally with a verified download.
    bool openTask(const QString &kind = QStringLiteral("filmEditing"), bool pulled = false);
    int calls() const { return int(bench->service.calls.size()); }

    std::unique_ptr<TaskBench> bench;
};

bool TestServiceQueueTasks::openTask(const QString &kind, bool pulled)
{
    return bench->openTask(receipt(kTask, 3, companyText(1), kind), pulled);
}

void TestServiceQueueTasks::commandsOfEachAction_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("arguments");
    const QString op = StrictFormats::canonicalUuid(kOperator);
    const QStringList head{"--expected-operator-id", op, "--credentials-file", "-", "--company", companyText(1)};
    QTest::newRow("list") << "list" << "filmEditing" << "Henter indsendte opgaver…"
                          << head + QStringList{"list"};
    QTest::newRow("open") << "open" << "filmEditing" << "Læser opgaven og tidligere kundesvar…"
                          << head + QStringList{"get", kTask};
    QTest::newRow("history") << "history" << "filmEditing" << "Læser opgaven og tidligere kundesvar…"
                             << head + QStringList{"history", kTask, "--inbox", "/projects"};
    QTest::newRow("claim at the shown revision") << "claim" << "filmEditing" << "Tager opgaven…"
                                                 << head + QStringList{"claim", kTask, "--revision", "3"};
    QTest::newRow("pull of a film") << "pull" << "filmEditing"
                                    << "Henter den indsendte version og kontrollerer originalerne…"
                                    << head + QStringList{"pull", kTask, "--inbox", "/projects"};
    QTest::newRow("film envelope of a film") << "envelope" << "filmEditing"
                                             << "Henter den indsendte version og kontrollerer originalerne…"
                                             << head + QStringList{"pull-film", kTask, "--inbox", "/projects"};
    QTest::newRow("film envelope of a concept") << "envelope" << "conceptDevelopment"
                                                << "Henter den indsendte version og kontrollerer originalerne…"
                                                << head + QStringList{"pull", kTask, "--inbox", "/projects"};
    QTest::newRow("film folder copy") << "copy" << "filmEditing" << "Kopierer den komplette filmmappe…"
                                      << QStringList{"package-film", kTask, "--inbox", "/projects"};
    QTest::newRow("film folder relink") << "relink" << "filmEditing" << "Genlinker projektets importer…"
                                        << QStringList{"relink-film", kTask, "--inbox", "/projects"};
}

// The first command each action gives: values from the opened task and the
// operator of the scope, never the model's later state.
void TestServiceQueueTasks::commandsOfEachAction()
{
    QFETCH(QString, action);
    QFETCH(QString, kind);
    QFETCH(QString, label);
    QFETCH(QStringList, arguments);
    if (action != "list" && action != "open")
        QVERIFY(openTask(kind, true));
    const int first = calls();
    auto &m = bench->model;
    auto &e = bench->editor;
    if (action == "list")
        m.list(e);
    else if (action == "open") {
        const QJsonObject row = receipt(kTask, 3);
        m.openedTask().setListing(ServiceListing{companyText(1), "x", {record(row)}});
        m.open(record(row), e);
    } else if (action == "history")
        m.refreshHistory(e);
    else if (action == "claim")
        m.claim(e);
    else if (action == "pull" || action == "envelope")
        m.pull(e, action == "envelope");
    else
        m.packageFilm(e, action == "relink");
    QCOMPARE(e.startedOperations.last(), label);
    QTRY_COMPARE(calls(), first + 1);
    QCOMPARE(bench->service.calls.at(first).command.arguments(), arguments);
}

void TestServiceQueueTasks::listChecks_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    const QJsonArray rows{receipt("a"), receipt("b")};
    QTest::newRow("as selected") << listing(rows) << true;
    QTest::newRow("company in upper case") << listing(rows, companyText(1).toUpper()) << true;
    QTest::newRow("another company") << listing(rows, companyText(2)) << false;
    QTest::newRow("company not an id") << listing(rows, "Firma 1") << false;
    QTest::newRow("another operator") << listing(rows, companyText(1), companyText(9)) << false;
    QTest::newRow("one row of another company")
        << listing(QJsonArray{receipt("a"), receipt("b", 1, companyText(2))}) << false;
}

void TestServiceQueueTasks::listChecks()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);
    QVERIFY(openTask());
    bench->model.list(bench->editor);
    // The opened task and the old list are gone before the tool answers.
    QVERIFY(!bench->model.openedTask().listing() && !bench->model.openedTask().detail());
    QVERIFY(bench->answer(calls() - 1, answer));
    QVERIFY(bench->idle());
    QCOMPARE(bench->model.openedTask().listing().has_value(), accepted);
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             accepted ? QString() : QStringLiteral("Opgavelisten tilhører ikke den valgte virksomhed."));
    if (accepted)
        QCOMPARE(bench->model.openedTask().listing()->requests.at(1).id, QStringLiteral("b"));
}

void TestServiceQueueTasks::openChecks_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<qint64>("listedRevision"); // -1: refused
    QTest::newRow("same revision") << receipt(kTask, 3) << qint64(3);
    QTest::newRow("newer revision updates the row") << receipt(kTask, 5) << qint64(5);
    QTest::newRow("company in upper case") << receipt(kTask, 3, companyText(1).toUpper()) << qint64(3);
    QTest::newRow("older revision") << receipt(kTask, 2) << qint64(-1);
    QTest::newRow("another task") << receipt("task-2", 3) << qint64(-1);
    QTest::newRow("another company") << receipt(kTask, 3, companyText(2)) << qint64(-1);
}

void TestServiceQueueTasks::openChecks()
{
    QFETCH(QJsonObject, answer);
    QFETCH(qint64, listedRevision);
    const QJsonObject row = receipt(kTask, 3);
    bench->model.openedTask().setListing(ServiceListing{companyText(1), "x", {record(receipt("other")), record(row)}});
    bench->model.videoDraft().setVideoSummary(QStringLiteral("fra før")); // drafts of no task are not carried over
    bench->model.open(record(row), bench->editor);
    QVERIFY(bench->model.selectionKey());
    QCOMPARE(bench->model.selectionKey()->requestID, kTask);
    QVERIFY(bench->model.videoDraft().videoSummary().isEmpty());
    bench->model.videoDraft().setVideoSummary(QStringLiteral("skrevet imens"));
    QVERIFY(bench->answer(calls() - 1, detail(answer)));
    QVERIFY(bench->idle());
    const bool accepted = listedRevision >= 0;
    QCOMPARE(bench->model.openedTask().detail().has_value(), accepted);
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             accepted ? QString() : QStringLiteral("Opgaven tilhører ikke den valgte virksomhed."));
    if (!accepted)
        return;
    QCOMPARE(bench->model.openedTask().listing()->requests.at(1).revision, listedRevision);
    // What was written while the tool ran stays with the task.
    QCOMPARE(bench->model.videoDraft().videoSummary(), QStringLiteral("skrevet imens"));
}

void TestServiceQueueTasks::guardsStartNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("situation");
    QTest::newRow("list while busy") << "list" << "busy";
    QTest::newRow("list signed out") << "list" << "signedOut";
    QTest::newRow("open of a row no longer listed") << "open" << "unlisted";
    QTest::newRow("open of another company's row") << "open" << "otherCompany";
    QTest::newRow("claim without an opened task") << "claim" << "closed";
    QTest::newRow("claim signed out") << "claim" << "signedOut";
    QTest::newRow("pull without a project folder") << "pull" << "noFolder";
    QTest::newRow("history without a download") << "history" << "notPulled";
    QTest::newRow("history of an unverified download") << "history" << "unverified";
    QTest::newRow("film folder of a script task") << "copy" << "script";
    QTest::newRow("film folder without a download") << "copy" << "notPulled";
    QTest::newRow("film folder of another task's download") << "relink" << "otherDownload";
}

void TestServiceQueueTasks::guardsStartNothing()
{
    QFETCH(QString, action);
    QFETCH(QString, situation);
    QVERIFY(openTask(situation == "script" ? "scriptDevelopment" : "filmEditing", situation != "notPulled"));
    auto &m = bench->model;
    auto &e = bench->editor;
    const QJsonObject row = receipt(kTask, 3);
    if (situation == "busy")
        e.m_busy = QStringLiteral("Arbejder…");
    else if (situation == "signedOut")
        e.m_credentials.reset();
    else if (situation == "unlisted")
        m.openedTask().setListing(ServiceListing{companyText(1), "x", {record(receipt("other"))}});
    else if (situation == "closed")
        m.clearSelection();
    else if (situation == "noFolder")
        e.m_inbox.reset();
    else if (situation == "unverified")
        m.openedTask().setDownload(downloadRecord(row, false));
    else if (situation == "otherDownload")
        m.openedTask().setDownload(downloadRecord(receipt("task-2")));
    const auto listed = m.openedTask().listing();
    const int before = calls();
    const int started = int(e.startedOperations.size());
    if (action == "list")
        m.list(e);
    else if (action == "open")
        m.open(record(situation == "otherCompany" ? receipt(kTask, 3, companyText(2)) : row), e);
    else if (action == "claim")
        m.claim(e);
    else if (action == "pull")
        m.pull(e, false);
    else if (action == "history")
        m.refreshHistory(e);
    else
        m.packageFilm(e, action == "relink");
    QCOMPARE(int(e.startedOperations.size()), started);
    QCoreApplication::processEvents();
    QCOMPARE(calls(), before);
    QCOMPARE(m.openedTask().listing().has_value(), listed.has_value()); // a refused list keeps the old one
    QVERIFY(!e.m_error);
}

void TestServiceQueueTasks::companySwitchDropsTheAnswer_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("step"); // the tool run during which the company changes
    QTest::newRow("list") << "list" << 0;
    QTest::newRow("open") << "open" << 0;
    QTest::newRow("claim, during the claim") << "claim" << 0;
    QTest::newRow("pull, during the package list") << "pull" << 1;
}

// Another company chosen while a tool runs: the answer is dropped, nothing is
// shown, and no later command runs.
void TestServiceQueueTasks::companySwitchDropsTheAnswer()
{
    QFETCH(QString, action);
    QFETCH(int, step);
    QVERIFY(openTask(QStringLiteral("scriptDevelopment")));
    auto &m = bench->model;
    auto &e = bench->editor;
    const QJsonObject row = receipt(kTask, 3, companyText(1), "scriptDevelopment");
    const int first = calls();
    if (action == "list") {
        m.list(e);
    } else if (action == "open") {
        m.openedTask().setListing(ServiceListing{companyText(1), "x", {record(row)}});
        m.open(record(row), e);
    } else if (action == "claim") {
        m.claim(e);
    } else {
        m.pull(e, false);
        QVERIFY(bench->answer(first, bytes(download(row))));
    }
    QTRY_COMPARE(calls(), first + step + 1);
    m.selectCompany(companyId(2), e);
    const QByteArray answers[] = {action == "list" ? listing(QJsonArray{row}) : action == "claim"
                                      ? bytes(QJsonObject{{"request", row}, {"replayed", false}})
                                      : detail(row),
                                  inventory(2)};
    QVERIFY(bench->answer(first + step, answers[step]));
    QVERIFY(bench->idle());
    QCoreApplication::processEvents();
    QCOMPARE(calls(), first + step + 1);
    QVERIFY(!e.m_error && !e.m_message);
    QVERIFY(!m.openedTask().listing() && !m.openedTask().detail() && !m.openedTask().download());
    QVERIFY(!e.inventory);
}

void TestServiceQueueTasks::claimReadsTheTaskAgain_data()
{
    QTest::addColumn<QString>("claimAnswer"); // "ok", "replayed", "fails", "malformed"
    QTest::addColumn<bool>("rereadFails");
    QTest::addColumn<QString>("error");
    QTest::newRow("first claim") << "ok" << false << QString();
    QTest::newRow("replayed claim") << "replayed" << false << QString();
    QTest::newRow("claim refused") << "fails" << false << "Opgaven er allerede taget af en anden redaktør.";
    QTest::newRow("claim answer malformed") << "malformed" << false << "";
    QTest::newRow("re-read fails") << "ok" << true << "Opgaven findes ikke.";
}

void TestServiceQueueTasks::claimReadsTheTaskAgain()
{
    QFETCH(QString, claimAnswer);
    QFETCH(bool, rereadFails);
    QFETCH(QString, error);
    QVERIFY(openTask());
    const int first = calls();
    bench->model.claim(bench->editor);
    QJsonObject claimed = receipt(kTask, 4);
    claimed.insert("status", "active");
    claimed.insert("claimed_by", StrictFormats::canonicalUuid(kOperator));
    if (claimAnswer == "fails")
        QVERIFY(bench->fail(first, error));
    else if (claimAnswer == "malformed")
        QVERIFY(bench->answer(first, R"({"request":{}, "replayed":true})"));
    else
        QVERIFY(bench->answer(first, bytes(QJsonObject{{"request", claimed}, {"replayed", claimAnswer == "replayed"}})));
    const bool reread = claimAnswer == "ok" || claimAnswer == "replayed";
    if (reread) {
        QTRY_COMPARE(calls(), first + 2);
        QCOMPARE(bench->service.calls.at(first + 1).command.arguments().at(6), QStringLiteral("get"));
        if (rereadFails)
            QVERIFY(bench->fail(first + 1, error));
        else
            QVERIFY(bench->answer(first + 1, detail(claimed)));
    }
    QVERIFY(bench->idle());
    QCOMPARE(calls(), first + (reread ? 2 : 1));
    const bool shown = reread && !rereadFails;
    QCOMPARE(bench->model.openedTask().detail()->request.revision, shown ? 4 : 3);
    QCOMPARE(bench->model.openedTask().listing()->requests.at(0).revision, shown ? 4 : 3);
    if (claimAnswer == "malformed")
        QVERIFY(bench->editor.m_error);
    else
        QCOMPARE(bench->editor.m_error.value_or(QString()), error);
    QVERIFY(!bench->editor.m_message);
}

void TestServiceQueueTasks::historyRefresh_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same revision") << receipt(kTask, 3) << true;
    QTest::newRow("newer revision") << receipt(kTask, 4) << true;
    QTest::newRow("older revision") << receipt(kTask, 2) << false;
    QTest::newRow("another task") << receipt("task-2", 3) << false;
    // The history is compared as text: the same company in other letters is another answer.
    QTest::newRow("company in upper case") << receipt(kTask, 3, companyText(1).toUpper()) << false;
}

void TestServiceQueueTasks::historyRefresh()
{
    QFETCH(QJsonObject, answer);
    QFETCH(bool, accepted);
    QVERIFY(openTask(QStringLiteral("filmEditing"), true));
    bench->model.refreshHistory(bench->editor);
    QVERIFY(bench->answer(calls() - 1, detail(answer)));
    QVERIFY(bench->idle());
    QCOMPARE(bench->model.openedTask().detail()->request.revision, accepted ? answer.value("revision").toInteger() : 3);
    QCOMPARE(bench->editor.m_message.value_or(QString()),
             accepted ? QStringLiteral("Historikken er opdateret og kan læses af AI via MCP.") : QString());
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             accepted ? QString() : QStringLiteral("Historikken er ældre end den viste opgave. Prøv igen."));
    QVERIFY(bench->model.openedTask().download()); // the pulled material stays
}

void TestServiceQueueTasks::pullSteps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<int>("failingStep"); // 0: none; else the tool run (1-based) that fails
    QTest::addColumn<int>("runs");
    QTest::newRow("film: five steps") << "filmEditing" << true << 0 << 5;
    QTest::newRow("script: no video drafts") << "scriptDevelopment" << true << 0 << 4;
    QTest::newRow("unverified download") << "filmEditing" << false << 0 << 1;
    QTest::newRow("pull fails") << "filmEditing" << true << 1 << 1;
    QTest::newRow("package list fails") << "filmEditing" << true << 2 << 2;
    QTest::newRow("history fails") << "filmEditing" << true << 3 << 3;
    QTest::newRow("working folders fail") << "conceptDevelopment" << true << 4 << 4;
    QTest::newRow("video drafts fail") << "filmEditing" << true << 5 << 5;
}

void TestServiceQueueTasks::pullSteps()
{
    QFETCH(QString, kind);
    QFETCH(bool, verified);
    QFETCH(int, failingStep);
    QFETCH(int, runs);
    QVERIFY(openTask(kind, true));
    auto &m = bench->model;
    auto &e = bench->editor;
    m.proposals().setWorkspaces({PreparedHandoff{}});
    m.proposals().setPrepared(PreparedHandoff{});
    m.videoDraft().setVideoQC(true);
    const QJsonObject newer = receipt(kTask, 6, companyText(1), kind);
    const QByteArray answers[] = {bytes(download(receipt(kTask, 3, companyText(1), kind), verified)), inventory(2),
                                  detail(newer), workspaces(1), previews()};
    const int first = calls();
    m.pull(e, false);
    for (int step = 1; step <= runs; ++step) {
        if (step == failingStep)
            QVERIFY(bench->fail(first + step - 1, QStringLiteral("Værktøjet fejlede.")));
        else
            QVERIFY(bench->answer(first + step - 1, answers[step - 1]));
        if (step == 1) // derived state is cleared before the first answer is trusted
            QVERIFY(!m.openedTask().download() && !m.proposals().prepared() && m.proposals().workspaces().isEmpty());
    }
    QVERIFY(bench->idle());
    QCOMPARE(calls(), first + runs);
    const bool succeeded = failingStep == 0 && verified;
    // Each step's result stays when a later one fails.
    QCOMPARE(m.openedTask().download().has_value(), verified && (failingStep == 0 || failingStep > 2));
    QCOMPARE(e.inventory.has_value(), verified && (failingStep == 0 || failingStep > 2));
    QCOMPARE(m.openedTask().detail()->request.revision, verified && (failingStep == 0 || failingStep > 3) ? 6 : 3);
    QCOMPARE(m.proposals().workspaces().size(), verified && (failingStep == 0 || failingStep > 4) ? 1 : 0);
    QVERIFY(!m.proposals().prepared());
    QCOMPARE(m.videoDraft().videoQC(), kind == "filmEditing" && verified && (failingStep == 0 || failingStep > 4) ? false : true);
    QCOMPARE(e.m_message.value_or(QString()),
             succeeded ? QStringLiteral("Den indsendte projektversion er hentet og SHA-256-kontrolleret.") : QString());
    QCOMPARE(e.m_error.value_or(QString()), !verified ? QStringLiteral("Opgavepakken er ikke verificeret.")
                                            : failingStep ? QStringLiteral("Værktøjet fejlede.")
                                                          : QString());
}

void TestServiceQueueTasks::filmFolderChecks_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("ready") << "" << true;
    QTest::newRow("disk status in other letters") << "Ready" << false;
    QTest::newRow("disk status absent") << "noStatus" << false;
    QTest::newRow("disk status another word") << "missing-media" << false;
    QTest::newRow("no project folder") << "noFolder" << false;
    QTest::newRow("another company") << "company" << false;
    QTest::newRow("another task") << "task" << false;
    QTest::newRow("not verified") << "unverified" << false;
    QTest::newRow("working folders fail afterwards") << "workspacesFail" << true;
}

void TestServiceQueueTasks::filmFolderChecks()
{
    QFETCH(QString, change);
    QFETCH(bool, accepted);
    QVERIFY(openTask(QStringLiteral("filmEditing"), true));
    auto &m = bench->model;
    m.proposals().setPrepared(PreparedHandoff{});
    m.proposals().setWorkspaces({PreparedHandoff{}, PreparedHandoff{}});
    QJsonObject answer = download(receipt(change == "task" ? "task-2" : kTask, 3,
                                          change == "company" ? companyText(1).toUpper() : companyText(1)),
                                  change != "unverified");
    answer.insert("projectFolder", "/projects/film-task-1");
    answer.insert("diskStatus", change == "Ready" || change == "missing-media" ? change : "ready");
    if (change == "noStatus")
        answer.remove("diskStatus");
    if (change == "noFolder")
        answer.remove("projectFolder");
    const int first = calls();
    m.packageFilm(bench->editor, false);
    QVERIFY(bench->answer(first, bytes(answer)));
    if (accepted && change == "workspacesFail")
        QVERIFY(bench->fail(first + 1, QStringLiteral("Værktøjet fejlede.")));
    else if (accepted)
        QVERIFY(bench->answer(first + 1, workspaces(1)));
    QVERIFY(bench->idle());
    QCOMPARE(m.openedTask().download()->projectFolder.has_value(), accepted);
    QCOMPARE(m.proposals().prepared().has_value(), !accepted);
    QCOMPARE(m.proposals().workspaces().size(), accepted && change.isEmpty() ? 1 : 2);
    QCOMPARE(bench->editor.m_error.value_or(QString()),
             !accepted            ? QStringLiteral("Den komplette filmmappe kunne ikke kontrolleres.")
             : change.isEmpty() ? QString()
                                : QStringLiteral("Værktøjet fejlede."));
    QCOMPARE(bench->editor.m_message.has_value(), accepted && change.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceQueueTasks)
#include "tst_servicequeuetasks.moc"
