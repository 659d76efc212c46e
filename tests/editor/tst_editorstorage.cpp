// The project folder of the editor model with real temporary folders and a
// disk that can be unplugged: choosing, restoring, a disk that goes away
// and comes back, and the folder check before each command.
#include <QtTest>

#include "editor/editormodel.h"
#include "editor/mountwatcher.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"

#include <qcoro/qcorosignal.h>

namespace {

// One external disk: real folders below a temporary directory, with a
// volume identity that disappears while the disk is "unplugged".
class FakeVolumes final : public ProjectVolumes
{
public:
    explicit FakeVolumes(QString root) : m_root(std::move(root)) {}
    bool mounted = true;

    std::optional<ResourceValues> resourceValues(const QString &path) const override
    {
        if (!onDisk(path))
            return std::nullopt;
        return ResourceValues{QFileInfo(path).isDir(), QStringLiteral("VOLUME-1"), QStringLiteral("Optagelser"), false};
    }
    bool isReadable(const QString &path) const override { return onDisk(path); }
    bool isWritable(const QString &path) const override { return onDisk(path); }
    std::optional<quint64> fileNumber(const QString &path) const override
    {
        if (!onDisk(path))
            return std::nullopt;
        return QFileInfo(path).fileTime(QFileDevice::FileBirthTime).isValid() ? 7 : 7;
    }
    QByteArray createBookmark(const QString &path) const override { return path.toUtf8(); }
    std::optional<Resolution> resolveBookmark(const QByteArray &bookmark) const override
    {
        const QString path = QString::fromUtf8(bookmark);
        if (!onDisk(path))
            return std::nullopt;
        return Resolution{path, false};
    }

private:
    bool onDisk(const QString &path) const { return mounted && path.startsWith(m_root) && QFileInfo::exists(path); }
    QString m_root;
};

struct CountingAccess final : FolderAccess
{
    int started = 0;
    int stopped = 0;
    bool start(const QString &) override { ++started; return true; }
    void stop(const QString &) override { ++stopped; }
};

class Gate : public QObject
{
    Q_OBJECT
public:
    void open()
    {
        Q_EMIT opened();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
Q_SIGNALS:
    void opened();
};

const QByteArray oneInventory = R"({"packages": [{"packageID": "pkg-1", "projectID": "p", "title": "Sommerfilm",
    "fingerprint": "f", "referencedFileCount": 1, "referencedBytes": 10,
    "counts": {"usable": 2, "context": 1, "rejected": 0}}], "invalidPackages": ["broken"]})";

const QString changedFolder = QStringLiteral("Projektplaceringen er ændret. Åbn opgaven igen.");

} // namespace

class TestEditorStorage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init();
    void cleanup();
    void chooseAdoptsAndListsTheFolder();
    void chooseIsRefusedSilentlyWhileBusy();
    void chooseRefusedByTheStoreOnlySetsTheIssue();
    void restoreWithoutRecordClearsEverything();
    void restoreListsOnlyWhenAsked_data();
    void restoreListsOnlyWhenAsked();
    void diskGoesAwayAndComesBack();
    void unplugDuringListingCancelsIt();
    void commandCheck_data();
    void commandCheck();
    void lastOwnerGoneGivesTheFolderBack();

private:
    QSharedPointer<EditorModel> makeModel();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    MemorySettingsStore m_settings;
    std::shared_ptr<FakeVolumes> m_volumes;
    std::shared_ptr<CountingAccess> m_access;
    std::shared_ptr<ProjectLocationStore> m_store;
    int m_toolRuns = 0;
    Gate *m_holdTools = nullptr;
};

void TestEditorStorage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = QFileInfo(m_dir->path()).canonicalFilePath() + QStringLiteral("/inbox");
    QVERIFY(QDir().mkpath(m_folder));
    m_settings = MemorySettingsStore();
    m_volumes = std::make_shared<FakeVolumes>(QFileInfo(m_dir->path()).canonicalFilePath());
    m_access = std::make_shared<CountingAccess>();
    m_store = std::make_shared<ProjectLocationStore>(m_settings, QString::fromLatin1(ProjectLocationStore::standardPrefix), m_volumes);
    m_toolRuns = 0;
    m_holdTools = nullptr;
}

void TestEditorStorage::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QSharedPointer<EditorModel> TestEditorStorage::makeModel()
{
    auto runner = [this](const BridgeCommand &, const QString &, CancellationToken token) -> QCoro::Task<QByteArray> {
        ++m_toolRuns;
        if (m_holdTools)
            co_await qCoro(m_holdTools, &Gate::opened);
        token.throwIfCancelled();
        co_return oneInventory;
    };
    return EditorModel::create(m_store, {}, runner, {m_volumes, m_access});
}

void TestEditorStorage::chooseAdoptsAndListsTheFolder()
{
    auto model = makeModel();
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->inbox(), QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->storagePath(), std::optional<QString>(m_folder));
    QCOMPARE(model->storageDisk(), std::optional<QString>(QStringLiteral("Optagelser")));
    QCOMPARE(model->storageIssue(), std::nullopt);
    QTRY_COMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->inventory().size(), 1);
    QCOMPARE(model->invalidPackages(), QStringList{QStringLiteral("broken")});
    QVERIFY(m_store->record(std::nullopt).has_value());
}

void TestEditorStorage::chooseIsRefusedSilentlyWhileBusy()
{
    auto model = makeModel();
    Gate gate;
    model->perform(QStringLiteral("Arbejder…"), [&gate](CancellationToken) -> QCoro::Task<void> {
        co_await qCoro(&gate, &Gate::opened);
    });
    QSignalSpy changes(model.data(), &EditorModel::stateChanged);
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    model->chooseStorage(QUrl::fromLocalFile(QStringLiteral("/nowhere")));
    QCOMPARE(changes.count(), 0);
    QVERIFY(!m_store->record(std::nullopt).has_value());
    gate.open();
}

void TestEditorStorage::chooseRefusedByTheStoreOnlySetsTheIssue()
{
    auto model = makeModel();
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QTRY_COMPARE(model->busy(), std::nullopt);
    model->setCompany(QStringLiteral("not-a-company"));
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->storageIssue(), std::optional<QString>(QStringLiteral("Vælg en virksomhed før du gemmer dens projektplacering.")));
    QCOMPARE(model->inbox(), QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->inventory().size(), 1);
}

void TestEditorStorage::restoreWithoutRecordClearsEverything()
{
    auto model = makeModel();
    model->setStorageIssue(QStringLiteral("old"));
    model->setCompany(QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666"));
    model->restoreStorage(true);
    QVERIFY(model->inbox().isEmpty());
    QCOMPARE(model->storagePath(), std::nullopt);
    QCOMPARE(model->storageDisk(), std::nullopt);
    QCOMPARE(model->storageIssue(), std::nullopt);
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(m_toolRuns, 0);
}

void TestEditorStorage::restoreListsOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("loadInventory");
    QTest::addColumn<int>("runs");
    QTest::newRow("listing asked for") << true << 1;
    QTest::newRow("folder only") << false << 0;
}

void TestEditorStorage::restoreListsOnlyWhenAsked()
{
    QFETCH(bool, loadInventory);
    QFETCH(int, runs);
    const QString company = QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666");
    {
        auto first = makeModel();
        first->setCompany(company);
        first->chooseStorage(QUrl::fromLocalFile(m_folder));
        QTRY_COMPARE(first->busy(), std::nullopt);
    }
    m_toolRuns = 0;
    auto model = makeModel();
    model->setCompany(company.toUpper());
    model->setStorageIssue(QStringLiteral("old"));
    model->restoreStorage(loadInventory);
    QCOMPARE(model->inbox(), QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->storagePath(), std::optional<QString>(m_folder));
    QCOMPARE(model->storageIssue(), std::nullopt);
    QTRY_COMPARE(model->busy(), std::nullopt);
    QCOMPARE(m_toolRuns, runs);
    QCOMPARE(model->inventory().size(), runs);
}

void TestEditorStorage::diskGoesAwayAndComesBack()
{
    auto model = makeModel();
    ManualMountWatcher watcher;
    connect(&watcher, &MountWatcher::volumesChanged, model.data(), &EditorModel::storageVolumesChanged);
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QTRY_COMPARE(model->busy(), std::nullopt);

    m_volumes->mounted = false;
    watcher.simulateChange();
    QVERIFY(model->inbox().isEmpty());
    QCOMPARE(model->storagePath(), std::optional<QString>(m_folder));
    QCOMPARE(model->storageDisk(), std::optional<QString>(QStringLiteral("Optagelser")));
    QVERIFY(model->storageIssue().has_value());
    QVERIFY(model->inventory().isEmpty());
    QCOMPARE(m_access->stopped, m_access->started);

    // A restart with the disk still away names the disk to connect.
    model->restoreStorage(true);
    QCOMPARE(model->storageIssue(), std::optional<QString>(QStringLiteral(
        "Tilslut Optagelser, eller vælg projektmappen igen. Der gemmes ikke et andet sted.")));
    QCOMPARE(model->storagePath(), std::optional<QString>(m_folder));

    m_volumes->mounted = true;
    watcher.simulateChange();
    QCOMPARE(model->inbox(), QUrl::fromLocalFile(m_folder));
    QCOMPARE(model->storageIssue(), std::nullopt);
    QTRY_COMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->inventory().size(), 1);
}

void TestEditorStorage::unplugDuringListingCancelsIt()
{
    auto model = makeModel();
    Gate hold;
    m_holdTools = &hold;
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QVERIFY(model->busy().has_value());
    m_volumes->mounted = false;
    model->storageVolumesChanged();
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(model->message(), std::optional<QString>(QStringLiteral(
        "Handlingen er stoppet. Genindlæs opgavens status efter en afbrudt afsendelse. Kun kontrollerede kopier "
        "vises i indbakken.")));
    QVERIFY(model->inbox().isEmpty());
    QVERIFY(model->storageIssue().has_value());
    hold.open();
    QVERIFY(model->inventory().isEmpty());
    QCOMPARE(model->error(), std::nullopt);
}

void TestEditorStorage::commandCheck_data()
{
    QTest::addColumn<QString>("adoptedUnder");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("commandFolder");
    QTest::addColumn<bool>("withFolderArgument");
    QTest::addColumn<QString>("failure");
    QTest::newRow("the open folder") << QString() << QString() << QString() << true << QString();
    QTest::newRow("same folder with a trailing ./") << QString() << QString() << QStringLiteral("/./") << true << QString();
    QTest::newRow("another folder") << QString() << QString() << QStringLiteral("-other") << true << changedFolder;
    QTest::newRow("company changed since adoption") << QString() << QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666")
                                                    << QString() << true << changedFolder;
    QTest::newRow("command without a folder") << QString() << QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666")
                                              << QStringLiteral("-other") << false << QString();
    QTest::newRow("same folder through a redundant parent step")
        << QString() << QString() << QStringLiteral("/../inbox") << true << QString();
    QTest::newRow("same company in other letter case")
        << QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666")
        << QStringLiteral("5A0F7E2C-1111-4222-8333-444455556666") << QString() << true << QString();
    QTest::newRow("company cleared since adoption")
        << QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666") << QString() << QString() << true << changedFolder;
}

void TestEditorStorage::commandCheck()
{
    QFETCH(QString, adoptedUnder);
    QFETCH(QString, company);
    QFETCH(QString, commandFolder);
    QFETCH(bool, withFolderArgument);
    QFETCH(QString, failure);
    auto model = makeModel();
    model->setCompany(adoptedUnder);
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QTRY_COMPARE(model->busy(), std::nullopt);
    model->setCompany(company);
    const QUrl target = QUrl::fromLocalFile(m_folder + commandFolder);
    const BridgeCommand command = withFolderArgument
        ? BridgeCommand::inventory(target)
        : BridgeCommand::cloudList(QUrl(QStringLiteral("tavlon-session://x")), std::nullopt);
    QString thrown;
    try {
        model->validateStorage(command);
    } catch (const BridgeError &error) {
        thrown = error.message();
    }
    QCOMPARE(thrown, failure);
}

void TestEditorStorage::lastOwnerGoneGivesTheFolderBack()
{
    auto model = makeModel();
    QPointer<EditorModel> watch = model.data();
    Gate hold;
    m_holdTools = &hold;
    model->chooseStorage(QUrl::fromLocalFile(m_folder));
    QCOMPARE(m_access->started, 1);
    model.reset(); // the window closes while the listing runs
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(watch);
    QCOMPARE(m_access->stopped, 0);
    hold.open(); // the listing ends, and with it the last owner
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!watch);
    QCOMPARE(m_access->stopped, 1);
}

QTEST_GUILESS_MAIN(TestEditorStorage)
#include "tst_editorstorage.moc"
