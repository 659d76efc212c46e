// The workspace and its ticket detail against the stand-in service: a real
// sign-in, the editor's tool runner and the demo inbox; the selected row's
// task handed over to the service queue as the window does.
#include "../common/standinwindow.h"

#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ui/sorvaneticketdetail.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
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

    // The workspace and its ticket, the selected row's task handed over to the queue as the window does.
    struct Flow
    {
        MemorySettingsStore defaults;
        ServiceQueueModel queue;
        SorvaneInboxModel inbox;
        SorvaneWorkspace workspace;
        SorvaneTicketDetail detail;

        Flow(EditorModel *editor, EditorServiceAdapter *adapter)
            : queue(adapter->bridge()), inbox(adapter->bridge(), defaults),
              workspace(handingOver({editor, adapter, &queue, &inbox, &defaults})), detail(workspace, {})
        {
        }
        static SorvaneWorkspace::Parts handingOver(SorvaneWorkspace::Parts parts)
        {
            parts.openSorvane = [queue = parts.queue, adapter = parts.queueEditor](const ServiceReceipt &receipt,
                                                                                   const QUuid &operatorID) {
                queue->openSorvane(receipt, operatorID, *adapter, false);
            };
            return parts;
        }
    };
    std::unique_ptr<Flow> flow;
    QList<SorvaneInboxRow> listed; // the inbox's rows when it first came on screen

    // Whether any load the workspace starts still runs, as its models report
    // it: the editor's operation, the inbox's page, walk, claim or start, the
    // selected customer's pipeline and its consent, the company directory,
    // and the selected row's hand-over (running from the call, also through
    // the turn it waits before it opens the task).
    bool loading() const
    {
        const SorvaneInboxModel &inbox = flow->inbox;
        const std::optional<QString> &selected = inbox.selectedID();
        return editor->busy() || inbox.loading() || inbox.selectingRequest() || inbox.mutating()
            || inbox.pipelineLoading() || inbox.metadataLoading() || flow->queue.directory().loadingCompanies()
            || (selected && flow->queue.sorvaneOpening(*selected) == ServiceQueueModel::SorvaneOpening::running);
    }

    bool quiet()
    {
        return settle([&] { return loading(); });
    }

    bool opened(const QString &task) const
    {
        return flow->queue.openedTask().detail() && flow->queue.openedTask().detail()->request.id == task;
    }

    // Signed in to the demo account, the workspace opens from the inbox the
    // operator's active task of `kind`; its id.
    QString openActiveTask(ServiceKind kind)
    {
        flow.reset();
        [&] {
            QVERIFY2(standin.reset(), qPrintable(standin.failure()));
            signIn(QString::fromLatin1(StandinFixture::demoEmail));
        }();
        if (QTest::currentTestFailed())
            return {};
        openEditor(true);
        flow = std::make_unique<Flow>(editor.data(), adapter.get());
        flow->workspace.appear();
        if (!quiet())
            return {};
        listed = flow->inbox.items();
        const auto row = std::find_if(listed.cbegin(), listed.cend(), [&](const SorvaneInboxRow &r) {
            return r.request.kind == kind && r.request.status == QStringLiteral("active") && r.request.claimed_by
                && QUuid::fromString(*r.request.claimed_by) == flow->inbox.operatorID();
        });
        if (row == listed.cend())
            return {};
        flow->workspace.select(row->request.id);
        return quiet() && opened(row->request.id) ? row->request.id : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        startStandin(QStringLiteral("en"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
        signIn(QStringLiteral("editor@example.com"));
    }

    void cleanup() { flow.reset(); }
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

    // A company typed in the settings closes the task, and nothing opens
    // it meanwhile: the ticket says why, keeps the typing, and its one
    // click opens the row as a new selection does.
    void ticketSaysWhyItsTaskIsNotOpen_data()
    {
        QTest::addColumn<bool>("cleared"); // the company cleared, or another one typed
        QTest::addColumn<QString>("why");
        QTest::addColumn<bool>("failing"); // the first click's opening fails, and the next operation clears its notice
        const QString other = QStringLiteral("This task is not open, as another company is chosen in the settings.");
        QTest::newRow("another company") << false << other << false;
        const QString none = QStringLiteral("This task is not open, as no company is chosen in the settings.");
        QTest::newRow("no company") << true << none << false;
        QTest::newRow("a failure whose notice is gone") << true << none << true;
    }

    void ticketSaysWhyItsTaskIsNotOpen()
    {
        QFETCH(bool, cleared);
        QFETCH(QString, why);
        QFETCH(bool, failing);
        const QString task = openActiveTask(ServiceKind::filmEditing);
        QVERIFY2(!task.isEmpty(), qPrintable(failure()));
        ServiceQueueModel &queue = flow->queue;
        SorvaneTicketDetail &detail = flow->detail;

        const QString company = editor->company();
        const QString typed = cleared ? QString() : company + u'7';
        const qsizetype started = toolCommands().size();
        editor->setCompany(typed);
        queue.companyChanged(*adapter); // as the window reacts to it
        QVERIFY(quiet());
        QCOMPARE(toolCommands().size(), started);
        QCOMPARE(editor->company(), typed);
        const auto says = [&](const QString &text) {
            const auto labels = detail.findChild<QWidget *>("sorvane.ticket.opening")->findChildren<QLabel *>();
            return std::any_of(labels.cbegin(), labels.cend(),
                               [&](QLabel *l) { return l->text() == text && l->isVisibleTo(&detail); });
        };
        QVERIFY(!says(QStringLiteral("Opening task…")));
        QVERIFY(says(why));
        QPushButton *openAgain = button(detail, QStringLiteral("sorvane.ticket.openAgain"));
        QVERIFY(openAgain);
        if (failing) {
            QVERIFY(standin.setScenario({{"serviceGet", QJsonObject{{"mode", "fail"}}}}));
            openAgain->click();
            QVERIFY(quiet());
            standin.clearScenario();
            QVERIFY(editor->error());
            QVERIFY(says(QStringLiteral("This task could not be opened.")));
            editor->listCloud(); // Settings → Cloud backups: its start clears the notice
            QVERIFY(editor->busy() && !editor->error());
            QVERIFY(says(QStringLiteral("This task is not open.")));
            QVERIFY(quiet());
            QVERIFY2(!editor->error(), qPrintable(failure()));
        }
        openAgain->click();
        QVERIFY(says(QStringLiteral("Opening task…")));
        QVERIFY(quiet());
        QVERIFY2(opened(task), qPrintable(failure()));
        QCOMPARE(detail.findChild<QStackedWidget *>("sorvane.ticket.section")->currentWidget()->objectName(),
                 QStringLiteral("sorvane.ticket.task"));
        QCOMPARE(editor->company(), company);
    }

    // A send raises the task's revision, the workspace reads the inbox again
    // and the row's new revision opens the same task once more: the person
    // still reads that the send was received. Their next operation, or
    // another task, clears it.
    void aSendsConfirmationOutlivesItsTasksReopening_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("next"); // what clears the confirmation
        QTest::newRow("proposal, then the person's next operation") << int(ServiceKind::conceptDevelopment) << "operation";
        QTest::newRow("video draft, then another task") << int(ServiceKind::filmEditing) << "another task";
    }

    void aSendsConfirmationOutlivesItsTasksReopening()
    {
        QFETCH(int, kind);
        QFETCH(QString, next);
        // The operator's active task of this kind, opened from the inbox.
        const QString task = openActiveTask(ServiceKind(kind));
        QVERIFY2(!task.isEmpty(), qPrintable(failure()));
        ServiceQueueModel &queue = flow->queue;
        SorvaneInboxModel &inbox = flow->inbox;
        SorvaneWorkspace &workspace = flow->workspace;
        const QList<SorvaneInboxRow> &rows = listed;
        const auto row =
            std::find_if(rows.cbegin(), rows.cend(), [&](const SorvaneInboxRow &r) { return r.request.id == task; });

        const QString folder = standin.scratch(QStringLiteral("confirmation-%1").arg(kind));
        QVERIFY(QDir().mkpath(folder));
        editor->chooseStorage(QUrl::fromLocalFile(QFileInfo(folder).canonicalFilePath()));
        // The window opens the task again under the new folder.
        queue.sorvaneStorageChanged(*adapter, inbox.selectedItem()->request, inbox.operatorID());
        QVERIFY(quiet());
        QVERIFY(standin.setScenario(QJsonObject{
            {"videoPending", QJsonObject{{"mode", "answer"}, {"json", QJsonObject{{"previews", QJsonArray()}}}}}}));
        queue.pull(*adapter, false);
        QVERIFY(quiet());
        standin.clearScenario();
        QVERIFY2(queue.openedTask().download() && queue.openedTask().download()->verified, qPrintable(failure()));

        if (ServiceKind(kind) == ServiceKind::filmEditing) {
            queue.videoDraft().setVideoFile(QUrl::fromLocalFile(standin.var() + QStringLiteral("/media/export-klip-2.mp4")));
            queue.videoDraft().setVideoLabel(QStringLiteral("Klip 2"));
            queue.videoDraft().setVideoSummary(QStringLiteral("Logoet kommer før."));
            queue.prepareVideo(*adapter);
            QVERIFY(quiet());
            QVERIFY2(queue.videoDraft().videoPreview(), qPrintable(failure()));
            queue.videoDraft().setVideoQC(true);
        } else {
            queue.prepare(*adapter);
            QVERIFY(quiet());
            QVERIFY2(queue.proposals().proposalFile(), qPrintable(failure()));
            QFile file(queue.proposals().proposalFile()->file);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QJsonObject proposal = QJsonDocument::fromJson(file.readAll()).object();
            file.close();
            proposal.insert("title", "Tre veje til klinikkens historie");
            proposal.insert("body", "Vi foreslår tre korte film.");
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QJsonDocument(proposal).toJson());
            file.close();
            queue.readPreview(*adapter);
            QVERIFY(quiet());
            QVERIFY2(queue.proposals().preview(), qPrintable(failure()));
            queue.proposals().setConfirmation(true);
        }

        const qint64 revision = queue.openedTask().detail()->request.revision;
        const qsizetype runs = toolCommands().size();
        if (ServiceKind(kind) == ServiceKind::filmEditing)
            queue.sendVideo(*adapter);
        else
            queue.send(*adapter);
        QVERIFY(quiet());
        QVERIFY2(!editor->error(), qPrintable(failure()));
        const std::optional<QString> received = editor->message();
        QVERIFY(received && received->contains(QStringLiteral("received")));
        QVERIFY(queue.openedTask().detail()->request.revision > revision);

        // The inbox was read again and the task opened anew at its new revision.
        const QStringList after = toolCommands().mid(runs);
        QVERIFY2(after.indexOf(QStringLiteral("serviceGet"), after.indexOf(QStringLiteral("serviceInbox"))) > 0,
                 qPrintable(after.join(u' ')));
        QCOMPARE(inbox.selectedItem()->request.revision, queue.openedTask().detail()->request.revision);
        QCOMPARE(editor->message(), received);

        if (next == u"operation") {
            // Whatever the read then finds, the operation starts without the note.
            queue.readBrief(*adapter, false);
            QVERIFY(editor->busy());
            QCOMPARE(editor->message(), std::nullopt);
            QVERIFY(quiet());
        } else {
            const auto other = std::find_if(rows.cbegin(), rows.cend(), [&](const SorvaneInboxRow &r) {
                return r.request.id != task && r.request.company_id == row->request.company_id;
            });
            QVERIFY(other != rows.cend());
            workspace.select(other->request.id);
            QVERIFY(quiet());
            QVERIFY2(!editor->error(), qPrintable(failure()));
            QCOMPARE(queue.openedTask().detail()->request.id, other->request.id);
        }
        QCOMPARE(editor->message(), std::nullopt);
    }
};

QTEST_MAIN(TestSorvaneWorkspaceFlow)
#include "tst_sorvaneworkspaceflow.moc"
