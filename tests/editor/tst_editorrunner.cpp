// The one-operation runner: one operation at a time, stale outcomes
// dropped, cancellation told apart from failure, and a model that outlives
// its window while its work finishes.
#include <QtTest>

#include "editor/editormodel.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <qcoro/qcorosignal.h>

namespace {

// Holds an operation until the test opens it.
class Gate : public QObject
{
    Q_OBJECT
public:
    // The awaiting operation resumes through a queued call; run it now.
    void open()
    {
        Q_EMIT opened();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
Q_SIGNALS:
    void opened();
};

struct CountingProfiles : EditorProfiles
{
    int clears = 0;
    void clear() override { ++clears; }
};

enum class Ending { finish, cancel, fail };

EditorModel::Operation waitThen(Gate *gate, Ending ending, int *ran = nullptr)
{
    return [gate, ending, ran](CancellationToken) -> QCoro::Task<void> {
        if (ran)
            ++*ran;
        co_await qCoro(gate, &Gate::opened);
        if (ending == Ending::cancel)
            throw OperationCancelled();
        if (ending == Ending::fail)
            throw BridgeError::failed(QStringLiteral("Værktøjet fejlede."));
    };
}

const QString interrupted = QStringLiteral(
    "Handlingen er afbrudt. En afsendelse kan allerede være modtaget; genindlæs opgaven eller gentag samme "
    "gennemgåede forslag for at bekræfte status.");
const QString stopped = QStringLiteral(
    "Handlingen er stoppet. Genindlæs opgavens status efter en afbrudt afsendelse. Kun kontrollerede kopier vises i "
    "indbakken.");

} // namespace

class TestEditorRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void outcomes_data();
    void outcomes();
    void secondOperationIsRefused();
    void staleOutcomes_data();
    void staleOutcomes();
    void cancelWhileIdleLeavesTheStopNotice();
    void newOperationMayStartRightAfterCancel();
    void setterNotifiesOnlyOnRealChange();
    void accountChangeClearsTheAccountsState();
    void releasedModelFinishesItsWork();
};

void TestEditorRunner::outcomes_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("finishes") << Ending::finish << QString() << QString();
    QTest::newRow("cancelled: interruption notice, never an error") << Ending::cancel << QString() << interrupted;
    QTest::newRow("fails: the error's own sentence") << Ending::fail << QStringLiteral("Værktøjet fejlede.") << QString();
}

void TestEditorRunner::outcomes()
{
    QFETCH(Ending, ending);
    QFETCH(QString, error);
    QFETCH(QString, message);
    auto model = EditorModel::create(nullptr);
    model->setError(QStringLiteral("old error"));
    model->setMessage(QStringLiteral("old message"));
    Gate gate;
    QSignalSpy busy(model.data(), &EditorModel::busyChanged);
    model->perform(QStringLiteral("Arbejder…"), waitThen(&gate, ending));
    QCOMPARE(model->busy(), std::optional<QString>(QStringLiteral("Arbejder…")));
    QCOMPARE(model->error(), std::nullopt);
    QCOMPARE(model->message(), std::nullopt);
    gate.open();
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(busy.count(), 2);
    QCOMPARE(model->error().value_or(QString()), error);
    QCOMPARE(model->message().value_or(QString()), message);
}

void TestEditorRunner::secondOperationIsRefused()
{
    auto model = EditorModel::create(nullptr);
    Gate first;
    Gate second;
    int secondRan = 0;
    model->perform(QStringLiteral("Første…"), waitThen(&first, Ending::fail));
    QSignalSpy changes(model.data(), &EditorModel::stateChanged);
    model->perform(QStringLiteral("Anden…"), waitThen(&second, Ending::finish, &secondRan));
    QCOMPARE(secondRan, 0);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(model->busy(), std::optional<QString>(QStringLiteral("Første…")));
    // The first still owns the runner: its failure is shown.
    first.open();
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral("Værktøjet fejlede.")));
    QCOMPARE(model->busy(), std::nullopt);
}

void TestEditorRunner::staleOutcomes_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<bool>("cancelFirst");
    QTest::addColumn<bool>("current");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("questions");
    // After cancel() the identifier no longer matches, so the caller's
    // predicate is never asked and the stop notice stays.
    QTest::newRow("cancelled, then throws cancellation") << Ending::cancel << true << true << stopped << 0;
    QTest::newRow("cancelled, then fails") << Ending::fail << true << true << stopped << 0;
    QTest::newRow("no longer current, fails") << Ending::fail << false << false << QString() << 1;
    QTest::newRow("no longer current, cancelled") << Ending::cancel << false << false << QString() << 1;
}

void TestEditorRunner::staleOutcomes()
{
    QFETCH(Ending, ending);
    QFETCH(bool, cancelFirst);
    QFETCH(bool, current);
    QFETCH(QString, message);
    QFETCH(int, questions);
    auto model = EditorModel::create(nullptr);
    Gate gate;
    int asked = 0;
    model->perform(QStringLiteral("Arbejder…"), [&asked, current] { ++asked; return current; },
                   waitThen(&gate, ending));
    if (cancelFirst) {
        model->cancel();
        QCOMPARE(model->busy(), std::nullopt);
    }
    gate.open();
    QCOMPARE(asked, questions);
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->error(), std::nullopt);
    QCOMPARE(model->message().value_or(QString()), message);
}

void TestEditorRunner::cancelWhileIdleLeavesTheStopNotice()
{
    auto model = EditorModel::create(nullptr);
    model->setError(QStringLiteral("kept"));
    model->cancel();
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->message(), std::optional<QString>(stopped));
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral("kept")));
}

void TestEditorRunner::newOperationMayStartRightAfterCancel()
{
    auto model = EditorModel::create(nullptr);
    Gate old;
    Gate fresh;
    CancellationToken seen;
    model->perform(QStringLiteral("Gammel…"), [&old, &seen](CancellationToken token) -> QCoro::Task<void> {
        seen = token;
        co_await qCoro(&old, &Gate::opened);
        throw BridgeError::failed(QStringLiteral("for sent"));
    });
    model->cancel();
    QVERIFY(seen.isCancelled());
    model->perform(QStringLiteral("Ny…"), waitThen(&fresh, Ending::fail));
    // The old one winding down must not end the new one.
    old.open();
    QCOMPARE(model->busy(), std::optional<QString>(QStringLiteral("Ny…")));
    QCOMPARE(model->error(), std::nullopt);
    fresh.open();
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral("Værktøjet fejlede.")));
}

void TestEditorRunner::setterNotifiesOnlyOnRealChange()
{
    auto model = EditorModel::create(nullptr);
    QSignalSpy company(model.data(), &EditorModel::companyChanged);
    QSignalSpy selection(model.data(), &EditorModel::selectedCloudIDChanged);
    QSignalSpy cloud(model.data(), &EditorModel::cloudChanged);
    model->setCompany(QString());
    model->setSelectedCloudID(std::nullopt);
    model->setCloud(std::nullopt);
    QCOMPARE(company.count() + selection.count() + cloud.count(), 0);
    model->setCompany(QStringLiteral("a"));
    model->setCompany(QStringLiteral("a"));
    model->setSelectedCloudID(QStringLiteral("b"));
    model->setSelectedCloudID(QStringLiteral("b"));
    QCOMPARE(company.count(), 1);
    QCOMPARE(selection.count(), 1);
}

void TestEditorRunner::accountChangeClearsTheAccountsState()
{
    auto profiles = std::make_shared<CountingProfiles>();
    auto model = EditorModel::create(nullptr, profiles);
    Gate gate;
    model->accountChanged(QUrl(QStringLiteral("tavlon-session://1b4e28ba-2fa1-11d2-883f-0016cb7b2c6a")));
    model->setCompany(QStringLiteral("0E1F6C3A-0000-4000-8000-000000000001"));
    model->setSelectedCloudID(QStringLiteral("backup"));
    model->setStorageIssue(QStringLiteral("Tilslut disken."));
    model->perform(QStringLiteral("Arbejder…"), waitThen(&gate, Ending::fail));

    model->accountChanged(QUrl());
    QCOMPARE(profiles->clears, 2);
    QVERIFY(model->credentials().isEmpty());
    QVERIFY(model->company().isEmpty());
    QCOMPARE(model->cloud().has_value(), false);
    QCOMPARE(model->selectedCloudID(), std::nullopt);
    QVERIFY(model->inbox().isEmpty());
    QCOMPARE(model->context().has_value(), false);
    QCOMPARE(model->handoff().has_value(), false);
    QVERIFY(model->inventory().isEmpty());
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->message(), std::nullopt);
    QCOMPARE(model->error(), std::nullopt);
    QCOMPARE(model->storageIssue(), std::optional<QString>(QStringLiteral("Tilslut disken.")));
    // The operation of the old account ends without a trace.
    gate.open();
    QCOMPARE(model->error(), std::nullopt);
}

void TestEditorRunner::releasedModelFinishesItsWork()
{
    auto model = EditorModel::create(nullptr);
    QPointer<EditorModel> watch = model.data();
    Gate gate;
    bool wroteAfterRelease = false;
    model->perform(QStringLiteral("Arbejder…"), [&gate, &wroteAfterRelease, raw = model.data()](CancellationToken token)
                       -> QCoro::Task<void> {
        co_await qCoro(&gate, &Gate::opened);
        token.throwIfCancelled();
        raw->setMessage(QStringLiteral("færdig"));
        wroteAfterRelease = true;
    });
    model.reset(); // the window closes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(watch);
    gate.open();
    QVERIFY(wroteAfterRelease);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!watch);
}

QTEST_GUILESS_MAIN(TestEditorRunner)
#include "tst_editorrunner.moc"
