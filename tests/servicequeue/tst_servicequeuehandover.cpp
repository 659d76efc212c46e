// Handing an inbox task over to the service queue: only the newest hand-over
// opens its task, it waits for a busy editor in 50 ms steps, pages the
// company directory, and ends with one sentence or silently.
#include "foundation/localization.h"
#include "taskfixtures.h"

#include <qcoro/qcorotimer.h>

using namespace TaskJson;
using namespace std::chrono_literals;

namespace {

const QString kGone = QStringLiteral("Opgaven er ikke længere tilgængelig for denne konto. Genindlæs indbakken.");
const QUuid kOtherOperator("22222222-2222-4222-8222-222222222222");

// A pause that lasts one turn of the event loop, whatever was asked for.
QCoro::Task<void> oneTurn()
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(0);
    co_await timer;
}

// Pages 1 to 3 of a directory of 150 companies.
QList<QByteArray> threePages(QUuid op = kOperator)
{
    return {page(1, 50, op, true), page(51, 50, op, true), page(101, 50, op, false)};
}

} // namespace

class TestServiceQueueHandOver : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init() { makeBench(false); }
    void cleanup() { bench.reset(); }

    void opensTheRowsTask_data();
    void opensTheRowsTask();
    void onlyTheNewestHandOverOpens();
    void waitsForTheEditorInFiftyMillisecondSteps();
    void failures_data();
    void failures();
    void openingEnds_data();
    void openingEnds();
    void endlessPagingEnds();
    void preservingCompanyEndsOnAnotherSelection();
    void callsThatStartNothing_data();
    void callsThatStartNothing();

private:
    void makeBench(bool demo)
    {
        bench = std::make_unique<TaskBench>(demo);
        sleeps.clear();
        bench->model.setSorvaneSleeperForTesting([this](std::chrono::milliseconds step) {
            sleeps.append(step);
            return oneTurn();
        });
    }
    int calls() const { return int(bench->service.calls.size()); }
    bool isCompanyPage(int call) const
    {
        return bench->service.calls.at(call).command.arguments().contains(QStringLiteral("companies"));
    }
    // Answers the company pages the hand-over asks for, in order.
    bool answerPages(const QList<QByteArray> &pages)
    {
        for (const QByteArray &page : pages) {
            const int next = calls();
            if (!QTest::qWaitFor([&] { return calls() > next; }) || !isCompanyPage(next))
                return false;
            bench->service.answer(next, page);
        }
        return true;
    }
    // Lets the hand-over run until it has nothing left to do.
    void settle()
    {
        for (int turn = 0; turn < 20; ++turn)
            QCoreApplication::processEvents();
    }

    std::unique_ptr<TaskBench> bench;
    QList<std::chrono::milliseconds> sleeps;
};

void TestServiceQueueHandOver::opensTheRowsTask_data()
{
    QTest::addColumn<bool>("loaded"); // the directory already lists companies 1 to 3
    QTest::addColumn<int>("company"); // the row's company
    QTest::addColumn<int>("pages");   // company pages the hand-over loads
    QTest::addColumn<bool>("demo");
    QTest::newRow("company listed: no load") << true << 2 << 0 << false;
    QTest::newRow("nothing loaded: first page") << false << 2 << 1 << false;
    QTest::newRow("listed directory lacks it: reload, then to page 3") << true << 120 << 3 << false;
    QTest::newRow("demo model: no folder restored") << false << 2 << 1 << true;
}

void TestServiceQueueHandOver::opensTheRowsTask()
{
    QFETCH(bool, loaded);
    QFETCH(int, company);
    QFETCH(int, pages);
    QFETCH(bool, demo);
    if (demo)
        makeBench(true);
    if (loaded)
        QVERIFY(bench->loadDirectory());
    const int first = calls();
    // The row's company as the inbox wrote it, in upper case: the one-row list keeps it so.
    const QJsonObject row = receipt("inbox-task", 7, companyText(company).toUpper());
    bench->model.openSorvane(record(row), kOperator, bench->editor, false);
    QCOMPARE(calls(), first); // the call itself runs nothing
    QVERIFY(answerPages(threePages().mid(0, pages)));
    QTRY_COMPARE(calls(), first + pages + 1);
    const QStringList get = bench->service.calls.last().command.arguments();
    QCOMPARE(get.mid(5), QStringList({companyText(company).toUpper(), "get", "inbox-task"}));
    QCOMPARE(bench->model.directory().selectedCompanyID(), companyId(company));
    QCOMPARE(bench->editor.m_company, companyText(company));
    QCOMPARE(bench->editor.restoredStorage, demo ? QList<bool>() : QList<bool>{false});
    const ServiceListing listing = *bench->model.openedTask().listing();
    QCOMPARE(listing.companyID, companyText(company).toUpper());
    QCOMPARE(listing.operatorID, StrictFormats::canonicalUuid(kOperator));
    QCOMPARE(listing.requests.size(), 1);
    QVERIFY(bench->answer(calls() - 1, detail(row)));
    QVERIFY(bench->idle());
    QCOMPARE(bench->model.openedTask().detail()->request.id, QStringLiteral("inbox-task"));
    QVERIFY(!bench->editor.m_error);
}

void TestServiceQueueHandOver::onlyTheNewestHandOverOpens()
{
    QVERIFY(bench->loadDirectory());
    const int first = calls();
    auto &m = bench->model;
    // Two rows in quick succession: the first never acts.
    m.openSorvane(record(receipt("first", 1, companyText(2))), kOperator, bench->editor, false);
    m.openSorvane(record(receipt("second", 1, companyText(3))), kOperator, bench->editor, false);
    QTRY_COMPARE(calls(), first + 1);
    QCOMPARE(bench->service.calls.last().command.arguments().last(), QStringLiteral("second"));
    QVERIFY(bench->answer(first, detail(receipt("second", 1, companyText(3)))));
    QVERIFY(bench->idle());

    // A row picked while the editor is busy replaces the waiting one.
    bench->editor.m_busy = QStringLiteral("Arbejder…");
    m.openSorvane(record(receipt("third", 1, companyText(1))), kOperator, bench->editor, false);
    QTRY_VERIFY(sleeps.size() >= 3);
    m.openSorvane(record(receipt("fourth", 1, companyText(2))), kOperator, bench->editor, false);
    QTRY_VERIFY(sleeps.size() >= 6);
    bench->editor.m_busy.reset();
    QTRY_COMPARE(calls(), first + 2);
    settle();
    QCOMPARE(calls(), first + 2);
    QCOMPARE(bench->service.calls.last().command.arguments().last(), QStringLiteral("fourth"));
    QCOMPARE(m.directory().selectedCompanyID(), companyId(2));
    QVERIFY(!bench->editor.m_error);
}

void TestServiceQueueHandOver::waitsForTheEditorInFiftyMillisecondSteps()
{
    QVERIFY(bench->loadDirectory());
    const int first = calls();
    bench->editor.m_busy = QStringLiteral("Arbejder…");
    bench->model.openSorvane(record(receipt("task", 1, companyText(2))), kOperator, bench->editor, false);
    QTRY_VERIFY(sleeps.size() >= 10);
    QCOMPARE(calls(), first); // nothing while the editor works
    QCOMPARE(bench->model.directory().selectedCompanyID(), companyId(1));
    bench->editor.m_busy.reset();
    QTRY_COMPARE(calls(), first + 1);
    // One turn to let a newer call supersede it, then only 50 ms steps.
    QCOMPARE(sleeps.first(), 0ms);
    QVERIFY(sleeps.size() >= 11);
    QVERIFY(std::all_of(sleeps.begin() + 1, sleeps.end(), [](auto step) { return step == 50ms; }));
}

void TestServiceQueueHandOver::failures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("error");
    QTest::newRow("company on no page") << "nowhere" << kGone;
    QTest::newRow("directory of another operator") << "otherOperator" << kGone;
    QTest::newRow("editor busy again at the last page") << "busyAgain" << kGone;
    QTest::newRow("company page fails") << "pageFails" << "Tjenesten svarer ikke.";
    QTest::newRow("another row picked while a page loads") << "superseded" << "";
}

void TestServiceQueueHandOver::failures()
{
    QFETCH(QString, situation);
    QFETCH(QString, error);
    auto &m = bench->model;
    const int company = situation == "nowhere" ? 999 : 120;
    m.openSorvane(record(receipt("task", 1, companyText(company))), kOperator, bench->editor, false);
    QVERIFY(answerPages(threePages(situation == "otherOperator" ? kOtherOperator : kOperator).mid(0, 2)));
    QTRY_COMPARE(calls(), 3);
    if (situation == "busyAgain")
        bench->editor.m_busy = QStringLiteral("Arbejder…");
    if (situation == "superseded")
        m.renewSorvaneOpenIntent();
    if (situation == "pageFails")
        QVERIFY(bench->fail(2, QStringLiteral("Tjenesten svarer ikke.")));
    else
        bench->service.answer(2, threePages(situation == "otherOperator" ? kOtherOperator : kOperator).at(2));
    settle();
    QCOMPARE(calls(), 3); // no task is read
    QCOMPARE(bench->editor.m_error.value_or(QString()), error);
    QVERIFY(!m.openedTask().listing());
    QVERIFY(!m.directory().selectedCompanyID());
}

void TestServiceQueueHandOver::openingEnds_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("state"); // where the row's opening stands once it has ended
    QTest::addColumn<QString>("error");
    using O = ServiceQueueModel::SorvaneOpening;
    const QString down = QStringLiteral("Tjenesten svarer ikke.");
    // Failed only where the editor shows why.
    QTest::newRow("reading fails") << "readingFails" << int(O::failed) << down;
    QTest::newRow("company on no page") << "nowhere" << int(O::failed) << kGone;
    QTest::newRow("task read") << "read" << int(O::none) << "";
    QTest::newRow("reading stopped") << "stopped" << int(O::none) << "";
    QTest::newRow("reading out of time") << "outOfTime" << int(O::none) << "";
    QTest::newRow("reading fails as it is stopped") << "failsStopped" << int(O::none) << "";
    QTest::newRow("reading fails after another company is typed") << "failsElsewhere" << int(O::none) << "";
    QTest::newRow("reading refused: the editor busy again") << "refused" << int(O::none) << "";
    QTest::newRow("call refused: signed out") << "signedOut" << int(O::none) << "";
    QTest::newRow("another row picked before it begins") << "superseded" << int(O::none) << "";
}

// Where the opening of the row stands: running from the call until it ends, then failed
// only where a sentence says why, otherwise none (the ticket then says why it is not open).
void TestServiceQueueHandOver::openingEnds()
{
    QFETCH(QString, situation);
    QFETCH(int, state);
    QFETCH(QString, error);
    using O = ServiceQueueModel::SorvaneOpening;
    auto &m = bench->model;
    FakeEditor &editor = bench->editor;
    const QString down = QStringLiteral("Tjenesten svarer ikke.");
    QVERIFY(bench->loadDirectory());
    const int first = calls();
    const QJsonObject row = receipt("task", 1, companyText(situation == "nowhere" ? 999 : 2));
    const auto credentials = editor.m_credentials;
    if (situation == "signedOut")
        editor.m_credentials.reset();
    if (situation == "refused")
        editor.storageRestored = [&editor] { editor.m_busy = QStringLiteral("Arbejder…"); };
    m.openSorvane(record(row), kOperator, editor, false);
    editor.m_credentials = credentials;
    QCOMPARE(int(m.sorvaneOpening("task")), int(situation == "signedOut" ? O::none : O::running));
    if (situation == "superseded") {
        m.openSorvane(record(receipt("other", 1, companyText(3))), kOperator, editor, false);
        QCOMPARE(int(m.sorvaneOpening("other")), int(O::running));
    }
    if (situation == "nowhere") {
        QVERIFY(bench->answer(first, page(1, 3))); // the directory read again, still without it
    } else if (situation != "refused" && situation != "signedOut") {
        QTRY_COMPARE(calls(), first + 1);
        // The opening runs on while its reading waits.
        QCOMPARE(int(m.sorvaneOpening("task")), int(situation == "superseded" ? O::none : O::running));
        if (situation == "read" || situation == "superseded")
            QVERIFY(bench->answer(first, detail(situation == "read" ? row : receipt("other", 1, companyText(3)))));
        if (situation == "readingFails" || situation == "failsStopped")
            QVERIFY(bench->fail(first, down));
        if (situation == "outOfTime")
            bench->service.fail(first, std::make_exception_ptr(OperationCancelled()));
        if (situation == "stopped" || situation == "failsStopped")
            editor.cancel();
        if (situation == "failsElsewhere") {
            editor.m_company = companyText(3);
            m.companyChanged(editor);
            QVERIFY(bench->fail(first, down));
        }
    }
    QTRY_VERIFY(m.sorvaneOpening("task") != O::running);
    settle();
    QCOMPARE(int(m.sorvaneOpening("task")), state);
    QCOMPARE(editor.m_error.value_or(QString()), error);
}

// A next-page request that returns without loading (here: the directory was
// left unverified by a company change while a page loaded) must not be asked
// for again and again; the final check reports instead.
void TestServiceQueueHandOver::endlessPagingEnds()
{
    bench->model.openSorvane(record(receipt("task", 1, companyText(120))), kOperator, bench->editor, false);
    QVERIFY(answerPages(threePages().mid(0, 1)));
    QTRY_COMPARE(calls(), 2);
    bench->editor.m_company = companyText(7);
    bench->model.companyChanged(bench->editor);
    bench->service.answer(1, threePages().at(1));
    settle();
    QCOMPARE(calls(), 2);
    QVERIFY(bench->model.directory().nextCompanyID());
    QCOMPARE(bench->editor.m_error, kGone);
}

void TestServiceQueueHandOver::preservingCompanyEndsOnAnotherSelection()
{
    QVERIFY(bench->loadDirectory());
    const int first = calls();
    bench->editor.m_busy = QStringLiteral("Arbejder…");
    bench->model.openSorvane(record(receipt("task", 1, companyText(1))), kOperator, bench->editor, true);
    QTRY_VERIFY(sleeps.size() >= 2);
    bench->model.selectCompany(companyId(2), bench->editor);
    const qsizetype stopped = sleeps.size();
    bench->editor.m_busy.reset();
    settle();
    QVERIFY(sleeps.size() <= stopped + 1);
    QCOMPARE(calls(), first);
    QVERIFY(!bench->editor.m_error && !bench->model.openedTask().listing());
    QCOMPARE(bench->model.directory().selectedCompanyID(), companyId(2));
}

void TestServiceQueueHandOver::callsThatStartNothing_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("signed out") << "signedOut";
    QTest::newRow("company not an id") << "garbage";
}

// A refused call changes nothing, and a hand-over already waiting carries on.
void TestServiceQueueHandOver::callsThatStartNothing()
{
    QFETCH(QString, call);
    QVERIFY(bench->loadDirectory());
    const int first = calls();
    bench->editor.m_busy = QStringLiteral("Arbejder…");
    bench->model.openSorvane(record(receipt("waiting", 1, companyText(2))), kOperator, bench->editor, false);
    const QUuid intent = bench->model.sorvaneOpenIntent();
    const auto credentials = bench->editor.m_credentials;
    if (call == "signedOut")
        bench->editor.m_credentials.reset();
    bench->model.openSorvane(record(receipt("refused", 1, call == "garbage" ? "Firma 3" : companyText(3))), kOperator,
                             bench->editor, false);
    QCOMPARE(bench->model.sorvaneOpenIntent(), intent);
    bench->editor.m_credentials = credentials;
    bench->editor.m_busy.reset();
    QTRY_COMPARE(calls(), first + 1);
    QCOMPARE(bench->service.calls.last().command.arguments().last(), QStringLiteral("waiting"));
}

QTEST_GUILESS_MAIN(TestServiceQueueHandOver)
#include "tst_servicequeuehandover.moc"
