// A window's root view against the stand-in service: selecting an inbox row
// opens its task in the service queue, choosing another project folder opens
// it again under that folder, and a further page of companies (which closes
// the open task while it loads) leaves it open.
#include "../common/standinsignin.h"

#include "app/editorview.h"
#include "app/sorvaneinboxadapter.h"
#include "editor/editormodel.h"
#include "editor/folderchooser.h"
#include "editor/mountwatcher.h"
#include "foundation/bridge/bridge.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "updater/sorvaneupdateactivity.h"

#include <QtTest>

namespace {

constexpr int toolWait = 120000;

class NoChooser final : public FolderChooser
{
public:
    void chooseFolder(const QString &, std::function<void(const QString &)>) override {}
};

} // namespace

class TestEditorViewHandOver : public QObject
{
    Q_OBJECT

    StandinFixture standin;
    MemorySettingsStore settings;
    SorvaneUpdateActivity activity;
    std::unique_ptr<EditorSession> session;
    std::unique_ptr<EditorView> view;
    SorvaneInboxAdapter *inbox = nullptr;

    EditorModel &editor() const { return *view->model(); }
    ServiceQueueModel &queue() const { return *view->serviceQueue(); }
    bool idle()
    {
        return QTest::qWaitFor([this] { return !editor().busy() && !queue().directory().loadingCompanies(); }, toolWait);
    }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY2(standin.start(), qPrintable(standin.failure()));
        QString failure;
        session = Standin::signIn(standin, QString::fromLatin1(StandinFixture::demoEmail), &failure);
        QVERIFY2(session, qPrintable(failure));
        Bridge::setSessionProvider(session.get());
    }

    void cleanupTestCase()
    {
        view.reset();
        Bridge::setSessionProvider(nullptr);
        session.reset();
    }

    void selectingARowOpensItsTaskAndANewFolderReopensIt()
    {
        // More companies than one page holds, the added ones last.
        QVERIFY(standin.execSql(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60) "
            "INSERT INTO companies (id, name) SELECT printf('ffffffff-ffff-4fff-bfff-%012d', i), "
            "printf('Kunde %02d', i) FROM n")));
        QVERIFY(standin.execSql(QStringLiteral(
            "INSERT OR IGNORE INTO operator_companies (operator_id, company_id) SELECT u.id, c.id "
            "FROM users u, companies c WHERE u.email = 'editor@example.com'")));
        EditorView::Parts parts;
        parts.account = session.get();
        parts.model = EditorModel::create(std::make_shared<ProjectLocationStore>(
            settings, QString::fromLatin1(ProjectLocationStore::standardPrefix)));
        parts.model->setRepository(standin.toolsFolder());
        parts.queueEditor = std::make_shared<EditorServiceAdapter>(parts.model);
        parts.serviceQueue = QSharedPointer<ServiceQueueModel>::create(parts.queueEditor->bridge());
        inbox = new SorvaneInboxAdapter(parts.queueEditor, parts.queueEditor->bridge(), settings);
        parts.sorvane = QSharedPointer<RootInbox>(inbox);
        parts.chooser = std::make_shared<NoChooser>();
        parts.mounts = new ManualMountWatcher;
        parts.activity = &activity;
        parts.connectionIdentity = [] { return QStringLiteral("production"); };
        view = std::make_unique<EditorView>(std::move(parts));
        view->appear();

        // The session reaches the window: companies and the inbox load.
        QVERIFY(QTest::qWaitFor([this] { return !inbox->model().items().isEmpty(); }, toolWait));
        QVERIFY(idle());
        // A row other than any the inbox may have selected by itself.
        const SorvaneInboxRow row = inbox->model().items().constLast();
        QVERIFY(inbox->model().selectedID() != row.request.id);

        inbox->model().setSelectedID(row.request.id);
        QVERIFY(QTest::qWaitFor([this, &row] { return queue().openedTask().detail() && queue().openedTask().detail()->request.id == row.request.id; },
                                toolWait));
        QVERIFY(idle());
        QVERIFY2(!editor().error(), qPrintable(editor().error().value_or(QString())));
        QCOMPARE(queue().directory().selectedCompanyID(), QUuid::fromString(row.request.company_id));
        QCOMPARE(queue().openedTask().listing()->requests.size(), 1);
        QVERIFY(!queue().selectionKey()->inbox); // no folder remembered for the company yet

        // Another project folder: the task is opened again, now under that folder.
        const QString folder = standin.scratch(QStringLiteral("projekter"));
        QVERIFY(QDir().mkpath(folder));
        editor().chooseStorage(QUrl::fromLocalFile(QFileInfo(folder).canonicalFilePath()));
        QVERIFY(QTest::qWaitFor(
            [this] {
                return queue().openedTask().detail() && queue().selectionKey() && queue().selectionKey()->inbox == editor().inbox();
            },
            toolWait));
        QVERIFY(idle());
        QVERIFY2(!editor().error(), qPrintable(editor().error().value_or(QString())));
        QCOMPARE(queue().openedTask().detail()->request.id, row.request.id);
        QVERIFY(!editor().inbox().isEmpty());

        // The sidebar's "Load more customers": the page load closes the open
        // task while it runs, and the task is open again once it is in.
        QVERIFY(queue().directory().nextCompanyID());
        const qsizetype listed = queue().directory().companies().size();
        queue().fetchCompanies(view->queueEditor(), true);
        QVERIFY(QTest::qWaitFor([&] { return queue().directory().companies().size() > listed; }, toolWait));
        QVERIFY(QTest::qWaitFor([&] { return queue().openedTask().detail() && queue().openedTask().detail()->request.id == row.request.id; },
                                toolWait));
        QVERIFY(idle());
        QVERIFY2(!editor().error(), qPrintable(editor().error().value_or(QString())));
        QCOMPARE(queue().openedTask().detail()->request.id, row.request.id);
        QCOMPARE(queue().directory().selectedCompanyID(), QUuid::fromString(row.request.company_id));
    }
};

QTEST_MAIN(TestEditorViewHandOver)
#include "tst_editorviewhandover.moc"
