// The project location panel over a real editor model and folder store, with
// a disk that can be unplugged: a chosen folder, the remembered folder whose
// disk is missing, and "Prøv igen" once the disk is back.
#include <QtTest>

#include "editor/editormodel.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"

#include <QLabel>
#include <QPushButton>

namespace {

// Folders below one temporary directory form a disk named "Optagelser" that
// disappears while unplugged.
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
        return onDisk(path) ? std::optional<quint64>(7) : std::nullopt;
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

template<typename T>
T *child(QWidget *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

const QString company = QStringLiteral("2f1c6a3e-6a43-4b0e-9d57-6f3c1b2a9e10");

} // namespace

class TestProjectLocationView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder;
    MemorySettingsStore m_settings;
    std::shared_ptr<FakeVolumes> m_volumes;
    std::shared_ptr<ProjectLocationStore> m_store;
    int m_listings = 0;

    QSharedPointer<EditorModel> makeModel()
    {
        auto model = EditorModel::create(m_store, {},
                                         [this](const BridgeCommand &, const QString &, CancellationToken)
                                             -> QCoro::Task<QByteArray> {
                                             ++m_listings;
                                             co_return QByteArray(R"({"packages": [], "invalidPackages": []})");
                                         },
                                         EditorModel::StorageSeams{m_volumes, {}});
        model->setCompany(company);
        return model;
    }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        const QString root = QFileInfo(m_dir.path()).canonicalFilePath();
        m_folder = root + QStringLiteral("/kunder/nordlys");
        QVERIFY(QDir().mkpath(m_folder));
        m_volumes = std::make_shared<FakeVolumes>(root);
        m_store = std::make_shared<ProjectLocationStore>(m_settings, QString::fromLatin1(ProjectLocationStore::standardPrefix),
                                                         m_volumes);
    }

    void chosenThenUnpluggedThenRetried();
};

void TestProjectLocationView::chosenThenUnpluggedThenRetried()
{
    // A folder chosen in one window.
    {
        auto model = makeModel();
        ProjectLocationView view(model, [] {});
        model->chooseStorage(QUrl::fromLocalFile(m_folder));
        QTRY_VERIFY(!model->busy());
        QCOMPARE(child<QPushButton>(&view, "editor.chooseProjectLocation")->text(), QStringLiteral("Skift mappe…"));
        QCOMPARE(child<QLabel>(&view, "editor.projectLocation.disk")->text(), QStringLiteral("Optagelser"));
        QVERIFY(!child<QLabel>(&view, "editor.projectLocation.disk")->parentWidget()->isHidden());
        QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->text(), m_folder);
        QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->toolTip(), m_folder);
        QCOMPARE(child<QLabel>(&view, "editor.projectLocation.scope")->text(), QStringLiteral("Huskes for denne kunde"));
        QVERIFY(child<QPushButton>(&view, "editor.projectLocation.retry")->parentWidget()->isHidden());
    }

    // The next window starts with the disk unplugged: the remembered path and
    // disk stay on screen beside the store's request to connect it.
    m_volumes->mounted = false;
    auto model = makeModel();
    ProjectLocationView view(model, [] {});
    model->restoreStorage(true);
    QVERIFY(model->inbox().isEmpty());
    const QString connect = QStringLiteral("Tilslut Optagelser, eller vælg projektmappen igen. Der gemmes ikke et andet sted.");
    QCOMPARE(model->storageIssue(), std::optional<QString>(connect));
    auto *retry = child<QPushButton>(&view, "editor.projectLocation.retry");
    QVERIFY(!retry->parentWidget()->isHidden());
    QVERIFY(retry->isEnabled());
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.issue")->text(), connect);
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->text(), m_folder);
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.disk")->text(), QStringLiteral("Optagelser"));
    QCOMPARE(child<QPushButton>(&view, "editor.chooseProjectLocation")->text(), QStringLiteral("Skift mappe…"));

    // Retrying before the disk is back changes nothing.
    const int listings = m_listings;
    retry->click();
    QCOMPARE(model->storageIssue(), std::optional<QString>(connect));
    QCOMPARE(m_listings, listings);

    // Once it is back, the retry opens the folder and lists it.
    m_volumes->mounted = true;
    retry->click();
    QTRY_VERIFY(!model->busy());
    QVERIFY(!model->storageIssue());
    QCOMPARE(model->inbox(), QUrl::fromLocalFile(m_folder));
    QCOMPARE(m_listings, listings + 1);
    QVERIFY(retry->parentWidget()->isHidden());
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->text(), m_folder);
}

QTEST_MAIN(TestProjectLocationView)
#include "tst_projectlocationview.moc"
