// The workspace and its ticket detail against the stand-in service: a real
// sign-in, the editor's tool runner and the demo inbox.
#include "../common/standinwindow.h"

#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ui/sorvaneticketdetail.h"

#include <QJsonDocument>
#include <QPushButton>
#include <QtTest>

class TestSorvaneWorkspaceFlow : public QObject, private StandinWindow
{
    Q_OBJECT

    static bool settle(const std::function<bool()> &busy)
    {
        return QTest::qWaitFor([&] { return !busy(); }, 60000);
    }

    // The shown button named `name`, if any.
    static QPushButton *button(QWidget &detail, const QString &name)
    {
        for (QPushButton *found : detail.findChildren<QPushButton *>(name))
            if (found->isVisibleTo(&detail))
                return found;
        return nullptr;
    }

    int claimRuns() const { return int(toolCommands().count(QStringLiteral("serviceClaimNext"))); }

private Q_SLOTS:
    void initTestCase()
    {
        startStandin(QStringLiteral("en"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
        signIn(QStringLiteral("editor@example.com"));
    }

    void cleanupTestCase() { closeEditor(); }

    void startsClaimsAgainAndStartsFromTheDetail()
    {
        MemorySettingsStore defaults;
        openEditor(false);
        ServiceQueueModel queue(adapter->bridge());
        SorvaneInboxModel inbox(adapter->bridge(), defaults);
        SorvaneWorkspace workspace({editor.data(), adapter.get(), &queue, &inbox, &defaults});
        SorvaneTicketDetail detail(workspace, {});

        // Coming on screen signed in with no rows loads the first page.
        workspace.appear();
        QVERIFY(inbox.loading());
        QVERIFY(settle([&] { return inbox.loading(); }));
        QVERIFY2(!inbox.error(), qPrintable(inbox.error().value_or(QString())));

        // The operator's own unstarted films come first; each starts from the detail.
        for (int turn = 0; turn < 6 && inbox.nextItem() && inbox.nextItem()->request.status.text() != u"waiting"; ++turn) {
            workspace.select(inbox.nextItem()->request.id);
            QPushButton *start = button(detail, QStringLiteral("sorvane.start"));
            QVERIFY(start && start->isEnabled());
            start->click();
            QVERIFY(!detail.isEnabled());
            QVERIFY(settle([&] { return inbox.mutating() || inbox.loading(); }));
            QVERIFY2(!inbox.mutationError(), qPrintable(inbox.mutationError().value_or(QString())));
        }
        QVERIFY(inbox.nextItem() && inbox.nextItem()->scheduling.canClaim);
        const QString waiting = inbox.nextItem()->request.id;

        // The claim is made but its answer is lost: the same claim is sent again.
        QVERIFY(standin.setScenario({{"serviceClaimNext", QJsonObject{{"mode", "fail_after"}, {"times", 1}}}}));
        workspace.select(waiting);
        QVERIFY(detail.isEnabled());
        button(detail, QStringLiteral("sorvane.claimNext"))->click();
        QVERIFY(settle([&] { return inbox.mutating(); }));
        QVERIFY(inbox.hasPendingClaim());
        const QList<SorvaneNotice> notices = workspace.notices();
        QVERIFY(std::any_of(notices.cbegin(), notices.cend(),
                            [](const SorvaneNotice &n) { return n.kind == SorvaneNotice::Kind::retryClaim; }));
        workspace.retryClaim();
        QVERIFY(settle([&] { return inbox.mutating() || inbox.loading(); }));
        QVERIFY2(!inbox.mutationError(), qPrintable(inbox.mutationError().value_or(QString())));
        QVERIFY(!inbox.hasPendingClaim());
        QCOMPARE(claimRuns(), 2);
        // Nothing pending: retrying sends nothing.
        workspace.retryClaim();
        QVERIFY(!inbox.mutating());
        QCOMPARE(claimRuns(), 2);

        // The claimed task is now the operator's to start.
        QCOMPARE(inbox.selectedID(), std::optional<QString>(waiting));
        QPushButton *start = button(detail, QStringLiteral("sorvane.start"));
        QVERIFY(start);
        QCOMPARE(start->text(), QStringLiteral("Start editing"));
        start->click();
        QVERIFY(settle([&] { return inbox.mutating() || inbox.loading(); }));
        QVERIFY(inbox.selectedItem()->scheduling.startedAt);
        QVERIFY(!button(detail, QStringLiteral("sorvane.start")));

        // "Show the full inbox" clears what narrows the list and keeps the order.
        SorvaneInboxPreferences narrowed = inbox.preferences();
        narrowed.companyID = QUuid::createUuid();
        narrowed.query = QStringLiteral("nothing like this");
        narrowed.filter = SorvaneInboxFilter::completed;
        narrowed.sort = SorvaneInboxSort::title;
        inbox.setPreferences(narrowed);
        QCOMPARE(workspace.emptyState(), SorvaneEmptyState::filtered);
        workspace.showFullInbox();
        QCOMPARE(inbox.preferences().companyID, std::nullopt);
        QCOMPARE(inbox.preferences().query, QString());
        QCOMPARE(inbox.preferences().filter, SorvaneInboxFilter::all);
        QCOMPARE(inbox.preferences().sort, SorvaneInboxSort::title);
    }
};

QTEST_MAIN(TestSorvaneWorkspaceFlow)
#include "tst_sorvaneworkspaceflow.moc"
