// The customer's brief of a downloaded task: which briefs belong to a task,
// the package brief inline or in the sheet, and the three-step refresh with
// each of its refusals.
#include "foundation/decoding/workerdecoding.h"
#include "foundation/localization.h"
#include "servicequeue/servicebriefcheck.h"
#include "taskfixtures.h"

#include <QSemaphore>
#include <QThreadPool>

using namespace TaskJson;

namespace {

const QString kTask = QStringLiteral("task-1");
const QString kProject = QStringLiteral("9a1d3c52-7d3f-4e55-9d3e-6f3b1a2c4d5e");
const QString kRevisionStamp = QString(64, QLatin1Char('a'));
const QString kNotOfTask = QStringLiteral("Klippegrundlaget tilhører ikke den valgte opgave.");

// A stored brief of task-1 at revision 3, without an amendment.
QJsonObject cachedBrief()
{
    return QJsonObject{{"requestID", kTask},          {"requestRevision", 3},
                       {"contextRevision", kRevisionStamp}, {"originalInstructions", "Klip 45 sekunder."},
                       {"effectiveInstructions", "Klip 45 sekunder."}, {"observedAt", "2026-03-02T10:00:00Z"},
                       {"cached", true}};
}

QJsonObject amendment()
{
    return QJsonObject{{"id", "0f8fad5b-d9cb-469f-a165-70867728950e"}, {"company_id", companyText(1)},
                       {"request_id", kTask}, {"film_id", kProject}, {"backup_id", "b-1"},
                       {"source_fingerprint", "f-1"}, {"base_revision", 2}, {"applied_revision", 3},
                       {"instructions", "Klip 30 sekunder."}, {"reason", "Ny plan."},
                       {"created_by", "7c9e6679-7425-40de-944b-e07fc1f90ae7"}, {"created_at", "x"}};
}

QJsonObject amended()
{
    QJsonObject brief = cachedBrief();
    brief.insert("effectiveInstructions", "Klip 30 sekunder.");
    brief.insert("currentAmendment", amendment());
    return brief;
}

QJsonObject context(const QJsonValue &brief, const QString &kind = QStringLiteral("filmEditing"),
                    const QString &project = kProject)
{
    QJsonObject summary{{"packageID", "pkg-1"}, {"projectID", project}, {"title", "Pakke"}, {"fingerprint", "fp"},
                        {"referencedFileCount", 1}, {"referencedBytes", 1},
                        {"counts", QJsonObject{{"usable", 1}, {"context", 0}, {"rejected", 0}}}};
    if (!kind.isEmpty())
        summary.insert("serviceRequest",
                       QJsonObject{{"schemaVersion", 1}, {"kind", kind}, {"instructions", "i"}, {"deliverable", "d"}});
    QJsonObject answer{{"summary", summary}, {"masterprompt", "m"}, {"candidates", QJsonArray()}, {"notice", ""},
                       {"contextRevision", kRevisionStamp}};
    if (brief.isObject())
        answer.insert("currentBrief", brief);
    return answer;
}

// `object` with `key` set to `value`, or removed when `value` is undefined.
QJsonObject with(QJsonObject object, const char *key, const QJsonValue &value)
{
    if (value.isUndefined())
        object.remove(QLatin1String(key));
    else
        object.insert(QLatin1String(key), value);
    return object;
}

CurrentServiceBrief briefOf(const QJsonObject &json)
{
    return CurrentServiceBrief::decode(bytes(json));
}

} // namespace

class TestServiceQueueBrief : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void cleanup() { bench.reset(); }

    void briefMatchesItsTask_data();
    void briefMatchesItsTask();
    void readBrief_data();
    void readBrief();
    void refreshChain_data();
    void refreshChain();
    void largeAnswer_data();
    void largeAnswer();

private:
    // Company 1 chosen and task-1 of `row` opened with a verified download.
    bool openPulledTask(const QJsonObject &row)
    {
        bench = std::make_unique<TaskBench>();
        return bench->loadDirectory() && bench->openTask(row, true);
    }
    int calls() const { return int(bench->service.calls.size()); }

    std::unique_ptr<TaskBench> bench;
};

void TestServiceQueueBrief::briefMatchesItsTask_data()
{
    QTest::addColumn<QJsonObject>("brief");
    QTest::addColumn<bool>("matches");
    const auto amendedWith = [](const char *key, const QJsonValue &value) {
        return with(amended(), "currentAmendment", with(amendment(), key, value));
    };
    const QJsonObject fresh{{"requestID", kTask}, {"originalInstructions", "a"}, {"effectiveInstructions", "a"},
                            {"cached", false}};
    QTest::newRow("cached, same revision") << cachedBrief() << true;
    QTest::newRow("fresh, instructions equal") << fresh << true;
    QTest::newRow("fresh, instructions differ") << with(fresh, "effectiveInstructions", "b") << false;
    QTest::newRow("fresh with an observation time") << with(fresh, "observedAt", "nu") << false;
    QTest::newRow("another task") << with(cachedBrief(), "requestID", "task-2") << false;
    QTest::newRow("older than the task") << with(cachedBrief(), "requestRevision", 2) << false;
    QTest::newRow("older, flagged for refresh")
        << with(with(cachedBrief(), "requestRevision", 2), "requiresRefresh", true) << true;
    QTest::newRow("negative revision, flagged") << with(with(cachedBrief(), "requestRevision", -1), "requiresRefresh", true)
                                                << false;
    QTest::newRow("stamp with an upper-case digit")
        << with(cachedBrief(), "contextRevision", QString(63, QLatin1Char('a')) + "A") << false;
    QTest::newRow("empty observation time") << with(cachedBrief(), "observedAt", "") << false;
    QTest::newRow("instructions of 64000 units")
        << with(with(cachedBrief(), "originalInstructions", QString(64000, QLatin1Char('x'))), "effectiveInstructions",
                QString(64000, QLatin1Char('x')))
        << true;
    QTest::newRow("instructions of 64001 units, counted in UTF-16")
        << with(with(cachedBrief(), "originalInstructions", QString(63999, QLatin1Char('x')) + QString::fromUtf8("😀")),
                "effectiveInstructions", QString(63999, QLatin1Char('x')) + QString::fromUtf8("😀"))
        << false;
    QTest::newRow("decomposed text equals composed")
        << with(with(cachedBrief(), "originalInstructions", QString::fromUtf8("Caf\u00e9")), "effectiveInstructions",
                QString::fromUtf8("Cafe\u0301"))
        << true;
    QTest::newRow("amendment in force") << amended() << true;
    QTest::newRow("amendment of another film") << amendedWith("film_id", "9a1d3c52-0000-4e55-9d3e-6f3b1a2c4d5e") << false;
    QTest::newRow("amendment skipping a revision") << amendedWith("base_revision", 1) << false;
    // One past the largest revision would wrap around to the smallest.
    QTest::newRow("amendment from the largest base")
        << with(amended(), "currentAmendment",
                with(with(amendment(), "base_revision", std::numeric_limits<qint64>::max()), "applied_revision",
                     std::numeric_limits<qint64>::min()))
        << false;
    QTest::newRow("amendment newer than the brief")
        << with(amended(), "currentAmendment", with(with(amendment(), "base_revision", 3), "applied_revision", 4))
        << false;
    QTest::newRow("amendment of blank instructions")
        << with(with(amended(), "effectiveInstructions", " \n"), "currentAmendment", with(amendment(), "instructions", " \n"))
        << false;
    QTest::newRow("amendment reason of 2001 units") << amendedWith("reason", QString(2001, QLatin1Char('r'))) << false;
}

void TestServiceQueueBrief::briefMatchesItsTask()
{
    QFETCH(QJsonObject, brief);
    QFETCH(bool, matches);
    QCOMPARE(briefMatches(briefOf(brief), record(receipt(kTask, 3))), matches);
}

void TestServiceQueueBrief::readBrief_data()
{
    QTest::addColumn<QString>("taskKind");
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QString>("taskProject");
    QTest::addColumn<bool>("sheet");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("sheet") << "filmEditing" << context(cachedBrief()) << kProject << true << true;
    QTest::newRow("inline only") << "filmEditing" << context(cachedBrief()) << kProject << false << true;
    QTest::newRow("no brief in the package") << "filmEditing" << context(QJsonValue()) << kProject << true << true;
    QTest::newRow("no service request: a film") << "filmEditing" << context(cachedBrief(), "") << kProject << true << true;
    QTest::newRow("no service request for a writing task")
        << "conceptDevelopment" << context(cachedBrief(), "") << kProject << true << false;
    QTest::newRow("project id in upper case")
        << "filmEditing" << context(cachedBrief(), "filmEditing", kProject.toUpper()) << kProject << true << true;
    QTest::newRow("the task's project is not an id")
        << "filmEditing" << context(cachedBrief(), "filmEditing", "projekt") << "projekt" << true << false;
    QTest::newRow("brief of an older revision")
        << "filmEditing" << context(with(cachedBrief(), "requestRevision", 1)) << kProject << true << false;
}

void TestServiceQueueBrief::readBrief()
{
    QFETCH(QString, taskKind);
    QFETCH(QJsonObject, answer);
    QFETCH(QString, taskProject);
    QFETCH(bool, sheet);
    QFETCH(bool, accepted);
    QJsonObject row = receipt(kTask, 3, companyText(1), taskKind);
    row.insert("local_project_id", taskProject);
    QVERIFY(openPulledTask(row));
    auto &m = bench->model;
    const PackageContext earlier = PackageContext::decode(bytes(context(QJsonValue())));
    m.openedTask().setPackageContext(earlier);
    m.openedTask().setInlineBrief(earlier);
    const int first = calls();
    m.readBrief(bench->editor, sheet);
    QCOMPARE(bench->editor.startedOperations.last(), QStringLiteral("Læser klippegrundlaget…"));
    QVERIFY(!m.openedTask().packageContext()); // the sheet closes at once
    QVERIFY(bench->answer(first, bytes(answer)));
    QVERIFY(bench->idle());
    QCOMPARE(bench->service.calls.at(first).command.arguments(),
             QStringList({"--inbox", "/projects", "context", "pkg-1"}));
    QCOMPARE(bench->editor.m_error.value_or(QString()), accepted ? QString() : kNotOfTask);
    QCOMPARE(m.openedTask().packageContext().has_value(), accepted && sheet);
    QCOMPARE(m.openedTask().inlineBrief()->currentBrief.has_value(), accepted && answer.contains("currentBrief"));
    QVERIFY(!bench->editor.m_message);
}

void TestServiceQueueBrief::refreshChain_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("error");
    const QString changed = QStringLiteral(
        "Opgaven blev ændret, mens instruktionerne blev hentet. Hent dem igen, før du forbereder en version.");
    QTest::newRow("consistent") << "" << 3 << "";
    QTest::newRow("consistent, amended") << "amended" << 3 << "";
    QTest::newRow("download of another backup") << "download" << 0 << kNotOfTask;
    QTest::newRow("pulled brief not cached") << "notCached" << 1 << kNotOfTask;
    QTest::newRow("pulled brief requires refresh") << "requiresRefresh" << 1 << kNotOfTask;
    QTest::newRow("pulled brief without a stamp") << "noStamp" << 1 << kNotOfTask;
    QTest::newRow("context of another stamp") << "contextStamp" << 2 << kNotOfTask;
    QTest::newRow("context brief of another revision") << "contextRevision" << 2 << kNotOfTask;
    QTest::newRow("context brief of other instructions") << "contextInstructions" << 2 << kNotOfTask;
    QTest::newRow("context without a brief") << "contextNoBrief" << 2 << kNotOfTask;
    QTest::newRow("history one revision further") << "historyPlusOne" << 3 << changed;
    QTest::newRow("history of another backup") << "historyBackup" << 3 << changed;
}

void TestServiceQueueBrief::refreshChain()
{
    QFETCH(QString, change);
    QFETCH(int, runs);
    QFETCH(QString, error);
    const QJsonObject row = receipt(kTask, 3);
    QVERIFY(openPulledTask(row));
    auto &m = bench->model;
    if (change == "download") {
        QJsonObject other = row;
        other.insert("backup_id", "b-2");
        m.openedTask().setDownload(downloadRecord(other));
    }
    m.videoDraft().setVideoQC(true);
    m.videoDraft().setVideoConfirmation(true);

    QJsonObject pulled = change == "amended" ? amended() : cachedBrief();
    if (change == "notCached")
        pulled.insert("cached", false);
    if (change == "requiresRefresh")
        pulled.insert("requiresRefresh", true);
    if (change == "noStamp")
        pulled.remove("contextRevision");
    QJsonObject kept = pulled;
    if (change == "contextRevision")
        kept.insert("requestRevision", 4);
    if (change == "contextInstructions")
        kept = amended();
    QJsonObject packageContext = context(change == "contextNoBrief" ? QJsonValue() : QJsonValue(kept));
    if (change == "contextStamp")
        packageContext.insert("contextRevision", QString(64, QLatin1Char('b')));
    QJsonObject history = receipt(kTask, change == "historyPlusOne" ? 4 : 3);
    if (change == "historyBackup")
        history.insert("backup_id", "b-2");
    const QByteArray answers[] = {bytes(pulled), bytes(packageContext), detail(history)};

    const int first = calls();
    m.refreshCurrentBrief(bench->editor);
    QCOMPARE(bench->editor.startedOperations.last(), QStringLiteral("Henter kundens aktuelle instruktioner…"));
    QVERIFY(!m.videoDraft().videoQC() && !m.videoDraft().videoConfirmation());
    for (int step = 0; step < runs; ++step)
        QVERIFY(bench->answer(first + step, answers[step]));
    QVERIFY(bench->idle());
    QCOMPARE(calls(), first + runs);
    if (runs > 0)
        QCOMPARE(bench->service.calls.at(first).command.arguments().mid(0, 2), QStringList({"pull", kTask}));
    QCOMPARE(bench->editor.m_error.value_or(QString()), error);
    QCOMPARE(m.openedTask().inlineBrief().has_value(), error.isEmpty());
    QCOMPARE(bench->editor.m_message.has_value(), error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(m.openedTask().inlineBrief()->currentBrief->effectiveInstructions, pulled.value("effectiveInstructions").toString());
}

void TestServiceQueueBrief::largeAnswer_data()
{
    QTest::addColumn<bool>("moved");
    QTest::addColumn<bool>("malformed");
    QTest::newRow("decoded on a worker and shown") << false << false;
    QTest::newRow("project folder changed while it was decoded: dropped") << true << false;
    QTest::newRow("malformed: the error of a small answer") << false << true;
}

// An answer past the worker threshold is decoded off the GUI thread; what
// was true when the tool answered is checked again once it is decoded.
void TestServiceQueueBrief::largeAnswer()
{
    QFETCH(bool, moved);
    QFETCH(bool, malformed);
    QJsonObject answer = context(cachedBrief());
    if (malformed)
        answer.insert("contextRevision", 7);
    // The error a small answer gives, to compare with.
    QVERIFY(openPulledTask(receipt(kTask, 3)));
    bench->model.readBrief(bench->editor, true);
    QVERIFY(bench->answer(calls() - 1, bytes(answer)));
    QVERIFY(bench->idle());
    const std::optional<QString> smallError = bench->editor.m_error;
    QCOMPARE(smallError.has_value(), malformed);

    answer.insert("padding", QString(WorkerDecoding::threshold, QLatin1Char('x')));
    QVERIFY(openPulledTask(receipt(kTask, 3)));
    auto &m = bench->model;
    const PackageContext earlier = PackageContext::decode(bytes(context(QJsonValue())));
    m.openedTask().setInlineBrief(earlier);
    // One pool thread, held busy: the decoding waits in the queue until released.
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    QSemaphore hold;
    pool->start([&hold] { hold.acquire(); });
    m.readBrief(bench->editor, true);
    QVERIFY(bench->answer(calls() - 1, bytes(answer)));
    // Runs the tool's continuation: its checks pass and the decoding is queued.
    QCoreApplication::sendPostedEvents();
    QVERIFY(bench->editor.m_busy);
    if (moved)
        bench->editor.m_inbox = QUrl::fromLocalFile(QStringLiteral("/other"));
    hold.release();
    QVERIFY(bench->idle());
    pool->setMaxThreadCount(threads);
    QCOMPARE(bench->editor.m_error, smallError);
    const bool shown = !moved && !malformed;
    QCOMPARE(m.openedTask().packageContext().has_value(), shown);
    QCOMPARE(m.openedTask().inlineBrief()->currentBrief.has_value(), shown);
}

QTEST_GUILESS_MAIN(TestServiceQueueBrief)
#include "tst_servicequeuebrief.moc"
