#include "updater/sorvaneupdateactivity.h"

#include <QtTest>

#include <memory>

namespace {

// A window's operation flag as its busy check sees it, counting the asks.
struct FakeWindow {
    QUuid id = QUuid::createUuid();
    std::shared_ptr<bool> busy = std::make_shared<bool>(false);
    std::shared_ptr<int> asked = std::make_shared<int>(0);

    SorvaneUpdateActivity::BusyCheck check() const
    {
        return [busy = busy, asked = asked] {
            ++*asked;
            return *busy;
        };
    }
};

} // namespace

class TestUpdateActivity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void busyAnswer_data();
    void busyAnswer();
    void setBusyAlwaysRaisesRevision_data();
    void setBusyAlwaysRaisesRevision();
    void closingIdleWindowForgetsIt();
    void closedBusyWindowCountsUntilIdle();
    void closingTwiceStartsOnePoll();
    void registeringAgainEndsDetachment();
    void pollEndsWithTheRegister();
};

void TestUpdateActivity::busyAnswer_data()
{
    QTest::addColumn<bool>("flagged");    // setBusy(true) was reported
    QTest::addColumn<bool>("registered"); // a check is registered
    QTest::addColumn<bool>("checkBusy");  // what the check answers
    QTest::addColumn<bool>("expected");
    QTest::newRow("nothing known") << false << false << false << false;
    QTest::newRow("flagged without a check") << true << false << false << true;
    QTest::newRow("flagged, check says idle") << true << true << false << false;
    QTest::newRow("not flagged, check says busy") << false << true << true << true;
    QTest::newRow("flagged, check says busy") << true << true << true << true;
    QTest::newRow("registered and idle") << false << true << false << false;
}

void TestUpdateActivity::busyAnswer()
{
    QFETCH(bool, flagged);
    QFETCH(bool, registered);
    QFETCH(bool, checkBusy);
    QFETCH(bool, expected);
    SorvaneUpdateActivity activity;
    FakeWindow window;
    *window.busy = checkBusy;
    if (flagged)
        activity.setBusy(true, window.id);
    if (registered)
        activity.registerWindow(window.id, window.check());
    // An idle second window never changes the answer.
    FakeWindow other;
    activity.registerWindow(other.id, other.check());
    QCOMPARE(activity.isBusy(), expected);
}

void TestUpdateActivity::setBusyAlwaysRaisesRevision_data()
{
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");
    QTest::newRow("idle twice, never busy") << false << false;
    QTest::newRow("busy twice") << true << true;
    QTest::newRow("busy then idle") << true << false;
}

void TestUpdateActivity::setBusyAlwaysRaisesRevision()
{
    QFETCH(bool, first);
    QFETCH(bool, second);
    SorvaneUpdateActivity activity;
    QSignalSpy spy(&activity, &SorvaneUpdateActivity::revisionChanged);
    const QUuid window = QUuid::createUuid();
    activity.setBusy(first, window);
    activity.setBusy(second, window);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(activity.revision(), 2);
    QCOMPARE(spy.last().at(0).toInt(), 2);
    QCOMPARE(activity.isBusy(), second);
}

void TestUpdateActivity::closingIdleWindowForgetsIt()
{
    SorvaneUpdateActivity activity;
    FakeWindow window;
    activity.registerWindow(window.id, window.check());
    activity.setBusy(true, window.id);
    QSignalSpy spy(&activity, &SorvaneUpdateActivity::revisionChanged);
    activity.windowClosed(window.id);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!activity.hasCheck(window.id));
    QVERIFY(!activity.isDetached(window.id));
    // The busy flag went with the window: nothing counts it any more.
    QVERIFY(!activity.isBusy());
    QTest::qWait(2 * int(SorvaneUpdateActivity::pollInterval.count()));
    QCOMPARE(spy.count(), 1);
}

void TestUpdateActivity::closedBusyWindowCountsUntilIdle()
{
    SorvaneUpdateActivity activity;
    FakeWindow window;
    *window.busy = true;
    activity.registerWindow(window.id, window.check());
    activity.setBusy(true, window.id);
    QSignalSpy spy(&activity, &SorvaneUpdateActivity::revisionChanged);

    activity.windowClosed(window.id);
    QCOMPARE(spy.count(), 1);
    QVERIFY(activity.isDetached(window.id));
    QVERIFY(activity.hasCheck(window.id));
    QVERIFY(activity.isBusy());

    // Several polls pass while the work still runs; nothing changes.
    QTRY_VERIFY_WITH_TIMEOUT(*window.asked >= 4, 10000);
    QVERIFY(activity.isBusy());
    QCOMPARE(spy.count(), 1);

    *window.busy = false;
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.count(), 2);
    QVERIFY(!activity.isDetached(window.id));
    QVERIFY(!activity.hasCheck(window.id));
    QVERIFY(!activity.isBusy());
}

void TestUpdateActivity::closingTwiceStartsOnePoll()
{
    SorvaneUpdateActivity activity;
    FakeWindow window;
    *window.busy = true;
    activity.registerWindow(window.id, window.check());
    QSignalSpy spy(&activity, &SorvaneUpdateActivity::revisionChanged);
    activity.windowClosed(window.id);
    activity.windowClosed(window.id);
    QCOMPARE(spy.count(), 1);

    // Each running poll asks the check once more when it turns idle: one
    // poll means exactly one ask after the flip.
    QTRY_VERIFY_WITH_TIMEOUT(*window.asked >= 4, 10000);
    *window.busy = false;
    *window.asked = 0;
    QTRY_VERIFY_WITH_TIMEOUT(!activity.isDetached(window.id), 10000);
    QTest::qWait(3 * int(SorvaneUpdateActivity::pollInterval.count()));
    QCOMPARE(*window.asked, 1);
    QCOMPARE(spy.count(), 2);
}

void TestUpdateActivity::registeringAgainEndsDetachment()
{
    SorvaneUpdateActivity activity;
    FakeWindow closed;
    *closed.busy = true;
    activity.registerWindow(closed.id, closed.check());
    activity.windowClosed(closed.id);
    QVERIFY(activity.isDetached(closed.id));

    // The same window comes back with a new check.
    FakeWindow reopened;
    reopened.id = closed.id;
    activity.registerWindow(reopened.id, reopened.check());
    QVERIFY(!activity.isDetached(closed.id));
    QSignalSpy spy(&activity, &SorvaneUpdateActivity::revisionChanged);

    // The old poll still watches the old work; when it ends it must leave
    // the new check alone.
    *closed.busy = false;
    const int before = *closed.asked;
    QTRY_VERIFY_WITH_TIMEOUT(*closed.asked > before, 10000);
    QTest::qWait(2 * int(SorvaneUpdateActivity::pollInterval.count()));
    QCOMPARE(spy.count(), 0);
    QVERIFY(activity.hasCheck(reopened.id));
    *reopened.busy = true;
    QVERIFY(activity.isBusy());
    *reopened.busy = false;
    QVERIFY(!activity.isBusy());
}

void TestUpdateActivity::pollEndsWithTheRegister()
{
    FakeWindow window;
    *window.busy = true;
    {
        auto activity = std::make_unique<SorvaneUpdateActivity>();
        activity->registerWindow(window.id, window.check());
        activity->windowClosed(window.id);
        QTRY_VERIFY_WITH_TIMEOUT(*window.asked >= 2, 10000);
    }
    const int asked = *window.asked;
    QTest::qWait(3 * int(SorvaneUpdateActivity::pollInterval.count()));
    QCOMPARE(*window.asked, asked);
    // The poll gave up its copy of the check with the register.
    QCOMPARE(window.busy.use_count(), 1);
}

QTEST_GUILESS_MAIN(TestUpdateActivity)
#include "tst_updateactivity.moc"
