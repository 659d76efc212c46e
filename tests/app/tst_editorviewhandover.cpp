// A window's root view against the stand-in service: selecting an inbox row
// opens its task in the service queue, and choosing another project folder
// opens it again under that folder.
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
        return QTest::qWaitFor([this] { return !editor().busy() && !queue().loadingCompanies(); }, toolWait);
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
        QVERIFY(QTest::qWaitFor([this, &row] { return queue().detail() && queue().detail()->request.id == row.request.id; },
                                toolWait));
        QVERIFY(idle());
        QVERIFY2(!editor().error(), qPrintable(editor().error().value_or(QString())));
        QCOMPARE(queue().selectedCompanyID(), QUuid::fromString(row.request.company_id));
        QCOMPARE(queue().listing()->requests.size(), 1);
        QVERIFY(!queue().selectionKey()->inbox); // no folder remembered for the company yet

        // Another project folder: the task is opened again, now under that folder.
        const QString folder = standin.scratch(QStringLiteral("projekter"));
        QVERIFY(QDir().mkpath(folder));
        editor().chooseStorage(QUrl::fromLocalFile(QFileInfo(folder).canonicalFilePath()));
        QVERIFY(QTest::qWaitFor(
            [this] {
                return queue().detail() && queue().selectionKey() && queue().selectionKey()->inbox == editor().inbox();
            },
            toolWait));
        QVERIFY(idle());
        QVERIFY2(!editor().error(), qPrintable(editor().error().value_or(QString())));
        QCOMPARE(queue().detail()->request.id, row.request.id);
        QVERIFY(!editor().inbox().isEmpty());
    }
};

QTEST_MAIN(TestEditorViewHandOver)
#include "tst_editorviewhandover.moc"
