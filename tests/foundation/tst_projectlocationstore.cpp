#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QString prefix = QStringLiteral("editor.projectLocation.v1.");
const QString companyId = QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c3301");

const QString notUsable = QString::fromUtf8("Projektmappen skal kunne læses og skrives. Kontrollér disken og mappens rettigheder.");
const QString notChosen = QString::fromUtf8(
    "Projektplaceringen er ikke den valgte disk og mappe. Tilslut den rigtige disk, eller vælg en ny placering.");
const QString chooseCompany = QString::fromUtf8("Vælg en virksomhed før du gemmer dens projektplacering.");
const QString unreadable = QString::fromUtf8("Den gemte projektplacering kunne ikke læses. Vælg mappen igen.");
const QString unavailable = QString::fromUtf8("Projektmappen er ikke tilgængelig. Tilslut disken og prøv igen.");
const QString noIdentity = QString::fromUtf8("Diskens identitet kunne ikke kontrolleres. Vælg en anden projektplacering.");

template<class F>
QString failure(F &&f)
{
    try {
        f();
    } catch (const BridgeError &error) {
        return error.message();
    }
    return {};
}

// Disks that the test makes up: a path is a folder on a named disk.
class FakeVolumes final : public ProjectVolumes
{
public:
    struct Folder
    {
        std::optional<QString> volumeUUID;
        std::optional<QString> volumeName;
        quint64 fileNumber = 1;
        std::optional<bool> readOnly = false;
        bool isDirectory = true;
    };
    QHash<QString, Folder> folders;

    std::optional<ResourceValues> resourceValues(const QString &path) const override
    {
        if (!folders.contains(path))
            return std::nullopt;
        const Folder &f = folders[path];
        return ResourceValues{f.isDirectory, f.volumeUUID, f.volumeName, f.readOnly};
    }
    bool isReadable(const QString &) const override { return true; }
    bool isWritable(const QString &) const override { return true; }
    std::optional<quint64> fileNumber(const QString &path) const override { return folders.value(path).fileNumber; }
    QByteArray createBookmark(const QString &path) const override { return path.toUtf8(); }
    std::optional<Resolution> resolveBookmark(const QByteArray &bookmark) const override
    {
        const QString path = QString::fromUtf8(bookmark);
        if (!folders.contains(path))
            return std::nullopt;
        return Resolution{path, false};
    }
};

} // namespace

class TestProjectLocationStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void keys_data();
    void keys();
    void refusesCompanyThatIsNotAUuid();
    void nothingStored();
    void storedEntryMustDecode_data();
    void storedEntryMustDecode();
    void selectAndRestoreRealFolder();
    void survivesQSettingsFile();
    void refusesUnusableFolders();
    void recreatedFolderIsRefused();
    void symbolicLinkRecordsTarget();
    void renamedFolderIsFoundAndReRecorded();
    void otherDiskWithSameName();
    void diskUnplugged();
    void volumeFacts_data();
    void volumeFacts();
    void diskName_data();
    void diskName();
    void storedFallbackNameFollowsTheLanguage_data();
    void storedFallbackNameFollowsTheLanguage();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    MemorySettingsStore m_settings;
    QString makeFolder(const QString &name);
};

void TestProjectLocationStore::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting("da");
}

void TestProjectLocationStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    for (const QString &key : m_settings.keys())
        m_settings.remove(key);
}

QString TestProjectLocationStore::makeFolder(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(path);
    return QFileInfo(path).canonicalFilePath();
}

void TestProjectLocationStore::keys_data()
{
    QTest::addColumn<QVariant>("company");
    QTest::addColumn<QString>("key");
    QTest::newRow("no company") << QVariant() << prefix + "local";
    QTest::newRow("empty id") << QVariant("") << prefix + "local";
    QTest::newRow("blank id") << QVariant("  \t\n") << prefix + "local";
    QTest::newRow("upper case with spaces") << QVariant("  " + companyId.toUpper() + " ") << prefix + companyId;
    QTest::newRow("lower case") << QVariant(companyId) << prefix + companyId;
}

void TestProjectLocationStore::keys()
{
    QFETCH(QVariant, company);
    QFETCH(QString, key);
    const std::optional<QString> id = company.isValid() ? std::optional(company.toString()) : std::nullopt;
    ProjectLocationStore store(m_settings, prefix);
    const QString folder = makeFolder("project");
    store.select(folder, id);
    QCOMPARE(m_settings.keys(), QStringList{key});
    QCOMPARE(store.record(id)->displayPath, folder);
}

void TestProjectLocationStore::refusesCompanyThatIsNotAUuid()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString folder = makeFolder("project");
    for (const QString &id : {QStringLiteral("acme"), "{" + companyId + "}", companyId + "x"}) {
        QCOMPARE(failure([&] { store.select(folder, id); }), chooseCompany);
        QCOMPARE(failure([&] { store.record(id); }), chooseCompany);
        QCOMPARE(failure([&] { store.restore(id); }), chooseCompany);
    }
    QVERIFY(m_settings.keys().isEmpty());
}

void TestProjectLocationStore::nothingStored()
{
    ProjectLocationStore store(m_settings, prefix);
    QVERIFY(!store.record(companyId));
    QVERIFY(!store.restore(companyId));
    QVERIFY(!store.restore(std::nullopt));
}

void TestProjectLocationStore::storedEntryMustDecode_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("valid");
    const QByteArray complete = R"({"bookmark": "YWJj", "displayPath": "/p", "volumeID": "v", "directoryID": "1", "volumeName": "Disk"})";
    QTest::newRow("complete") << complete << true;
    QTest::newRow("no volumeName") << QByteArray(R"({"bookmark": "YWJj", "displayPath": "/p", "volumeID": "v", "directoryID": "1"})") << false;
    QTest::newRow("directoryID as number")
        << QByteArray(R"({"bookmark": "YWJj", "displayPath": "/p", "volumeID": "v", "directoryID": 1, "volumeName": "D"})") << false;
    QTest::newRow("bookmark not Base64")
        << QByteArray(R"({"bookmark": "YWJ", "displayPath": "/p", "volumeID": "v", "directoryID": "1", "volumeName": "D"})") << false;
    QTest::newRow("not JSON") << QByteArray("bookmark") << false;
    QTest::newRow("deeply nested") << QByteArray(100000, '[') << false;
}

void TestProjectLocationStore::storedEntryMustDecode()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, valid);
    m_settings.setValue(prefix + "local", stored);
    ProjectLocationStore store(m_settings, prefix);
    if (valid) {
        const auto record = store.record(std::nullopt);
        QCOMPARE(record->bookmark, QByteArray("abc"));
        QCOMPARE(record->volumeName, "Disk");
    } else {
        QCOMPARE(failure([&] { store.record(std::nullopt); }), unreadable);
        QCOMPARE(failure([&] { store.restore(std::nullopt); }), unreadable);
        QCOMPARE(m_settings.value(prefix + "local").toByteArray(), stored); // left as it was
    }
}

void TestProjectLocationStore::selectAndRestoreRealFolder()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString folder = makeFolder("project");
    const auto selected = store.select(folder + "/./", companyId);
    QCOMPARE(selected.path, folder);
    QCOMPARE(selected.record.displayPath, folder);
    QVERIFY(!selected.record.volumeID.isEmpty());
    QVERIFY(!selected.record.volumeName.isEmpty());
    struct stat st{};
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
    QCOMPARE(selected.record.directoryID, QString::number(st.st_ino));

    const QByteArray storedBefore = m_settings.value(prefix + companyId).toByteArray();
    const auto restored = store.restore(companyId);
    QVERIFY(restored);
    QCOMPARE(restored->path, folder);
    QCOMPARE(restored->record, selected.record);
    QCOMPARE(m_settings.value(prefix + companyId).toByteArray(), storedBefore);

    // The stored form holds exactly the five keys.
    const QJsonObject stored = QJsonDocument::fromJson(storedBefore).object();
    QCOMPARE(stored.keys(), (QStringList{"bookmark", "directoryID", "displayPath", "volumeID", "volumeName"}));
}

void TestProjectLocationStore::survivesQSettingsFile()
{
    const QString file = m_dir->filePath("settings.ini");
    const QString folder = makeFolder("project");
    ProjectLocationRecord recorded;
    {
        QSettingsStore settings(file);
        ProjectLocationStore store(settings, prefix);
        recorded = store.select(folder, std::nullopt).record;
    }
    QSettingsStore settings(file);
    ProjectLocationStore store(settings, prefix);
    QCOMPARE(store.record(std::nullopt), recorded);
    QCOMPARE(store.restore(std::nullopt)->path, folder);
}

void TestProjectLocationStore::refusesUnusableFolders()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString file = m_dir->filePath("plain.txt");
    QFile(file).open(QIODevice::WriteOnly);
    QCOMPARE(failure([&] { store.select(file, std::nullopt); }), notUsable);

    const QString readOnly = makeFolder("locked");
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    QCOMPARE(failure([&] { store.select(readOnly, std::nullopt); }), notUsable);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(failure([&] { store.select(m_dir->filePath("missing"), std::nullopt); }), unavailable);
    QVERIFY(m_settings.keys().isEmpty());
}

void TestProjectLocationStore::recreatedFolderIsRefused()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString folder = makeFolder("project");
    const QString other = makeFolder("other");
    const auto record = store.select(folder, companyId).record;
    // A different folder now stands at the recorded path.
    QVERIFY(QDir().rmdir(folder));
    QVERIFY(QDir().rename(other, folder));
    QCOMPARE(failure([&] { ProjectLocationStore::validate(folder, record); }), notChosen);
    QCOMPARE(failure([&] { store.restore(companyId); }), notChosen);
    QCOMPARE(store.record(companyId), record);
}

void TestProjectLocationStore::symbolicLinkRecordsTarget()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString target = makeFolder("real");
    const QString link = m_dir->filePath("link");
    QVERIFY(QFile::link(target, link));
    const auto selected = store.select(link, std::nullopt);
    QCOMPARE(selected.path, target);
    QCOMPARE(store.record(std::nullopt)->displayPath, target);
}

void TestProjectLocationStore::renamedFolderIsFoundAndReRecorded()
{
    ProjectLocationStore store(m_settings, prefix);
    const QString folder = makeFolder("films/project");
    const auto before = store.select(folder, companyId).record;
    const QString renamed = QFileInfo(folder).absolutePath() + "/project-2024";
    QVERIFY(QDir().rename(folder, renamed));

    const auto restored = store.restore(companyId);
    QVERIFY(restored);
    QCOMPARE(restored->path, renamed);
    const auto after = store.record(companyId);
    QCOMPARE(after->displayPath, renamed);
    QCOMPARE(after->directoryID, before.directoryID);
    QVERIFY(after->bookmark != before.bookmark);
}

void TestProjectLocationStore::otherDiskWithSameName()
{
    auto volumes = std::make_shared<FakeVolumes>();
    volumes->folders["/media/Film/project"] = {QString("uuid-a"), QString("Film"), 7};
    ProjectLocationStore store(m_settings, prefix, volumes);
    const auto record = store.select("/media/Film/project", companyId).record;
    QCOMPARE(record.volumeName, "Film");

    volumes->folders["/media/Film/project"] = {QString("uuid-b"), QString("Film"), 7};
    QCOMPARE(failure([&] { ProjectLocationStore::validate("/media/Film/project", record, *volumes); }), notChosen);
    QCOMPARE(failure([&] { store.restore(companyId); }), notChosen);
    QCOMPARE(store.record(companyId), record);
}

void TestProjectLocationStore::diskUnplugged()
{
    auto volumes = std::make_shared<FakeVolumes>();
    volumes->folders["/media/Film/project"] = {QString("uuid-a"), QString("Film"), 7};
    ProjectLocationStore store(m_settings, prefix, volumes);
    store.select("/media/Film/project", std::nullopt);
    volumes->folders.clear();
    QCOMPARE(failure([&] { store.restore(std::nullopt); }),
             QString::fromUtf8("Tilslut Film, eller vælg projektmappen igen. Der gemmes ikke et andet sted."));
    QCOMPARE(store.record(std::nullopt)->volumeName, "Film");
}

void TestProjectLocationStore::volumeFacts_data()
{
    QTest::addColumn<QVariant>("uuid");
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QVariant>("readOnly");
    QTest::addColumn<bool>("isDirectory");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("recordedName");
    const QVariant none;
    QTest::newRow("named disk") << QVariant("u") << QVariant("Film") << QVariant(false) << true << QString() << "Film";
    QTest::newRow("disk without name") << QVariant("u") << none << QVariant(false) << true << QString() << "projektdisken";
    QTest::newRow("disk with empty name") << QVariant("u") << QVariant("") << QVariant(false) << true << QString() << "projektdisken";
    QTest::newRow("unknown read-only counts as writable") << QVariant("u") << QVariant("Film") << none << true << QString() << "Film";
    QTest::newRow("read-only disk") << QVariant("u") << QVariant("Film") << QVariant(true) << true << notUsable << "";
    QTest::newRow("not a folder") << QVariant("u") << QVariant("Film") << QVariant(false) << false << notUsable << "";
    QTest::newRow("no disk identity") << none << QVariant("Film") << QVariant(false) << true << noIdentity << "";
    QTest::newRow("empty disk identity") << QVariant("") << QVariant("Film") << QVariant(false) << true << noIdentity << "";
}

void TestProjectLocationStore::volumeFacts()
{
    QFETCH(QVariant, uuid);
    QFETCH(QVariant, name);
    QFETCH(QVariant, readOnly);
    QFETCH(bool, isDirectory);
    QFETCH(QString, message);
    QFETCH(QString, recordedName);
    auto volumes = std::make_shared<FakeVolumes>();
    FakeVolumes::Folder folder;
    folder.volumeUUID = uuid.isValid() ? std::optional(uuid.toString()) : std::nullopt;
    folder.volumeName = name.isValid() ? std::optional(name.toString()) : std::nullopt;
    folder.readOnly = readOnly.isValid() ? std::optional(readOnly.toBool()) : std::nullopt;
    folder.isDirectory = isDirectory;
    volumes->folders["/media/x"] = folder;
    ProjectLocationStore store(m_settings, prefix, volumes);
    if (message.isEmpty()) {
        QCOMPARE(store.select("/media/x", std::nullopt).record.volumeName, recordedName);
    } else {
        QCOMPARE(failure([&] { store.select("/media/x", std::nullopt); }), message);
        QVERIFY(m_settings.keys().isEmpty());
    }
}

// What this machine calls a disk: its label, else the folder it is mounted on.
void TestProjectLocationStore::diskName_data()
{
    QTest::addColumn<QVariant>("label");
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QVariant>("name");
    const QVariant none;
    QTest::newRow("label") << QVariant("Footage") << "/media/ann/disk" << QVariant("Footage");
    QTest::newRow("no label: the mount point's name") << none << "/media/ann/Footage" << QVariant("Footage");
    QTest::newRow("blank label") << QVariant("  ") << "/mnt/Footage 2/" << QVariant("Footage 2");
    QTest::newRow("the root has no name") << none << "/" << none;
}

void TestProjectLocationStore::diskName()
{
    QFETCH(QVariant, label);
    QFETCH(QString, mountPoint);
    QFETCH(QVariant, name);
    const auto found = LinuxProjectVolumes::volumeName(label.isValid() ? std::optional(label.toString()) : std::nullopt,
                                                       mountPoint);
    QCOMPARE(found.has_value(), name.isValid());
    if (found)
        QCOMPARE(*found, name.toString());
}

// A disk without a name was stored under the fallback of the language of
// that moment; it reads in the interface's language now, and the stored
// entry stays as it was.
void TestProjectLocationStore::storedFallbackNameFollowsTheLanguage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("chosen in English") << "the project disk" << "projektdisken";
    QTest::newRow("chosen in Danish") << "projektdisken" << "projektdisken";
    QTest::newRow("the disk's own name") << "the project disk 2" << "the project disk 2";
}

void TestProjectLocationStore::storedFallbackNameFollowsTheLanguage()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    auto volumes = std::make_shared<FakeVolumes>();
    ProjectLocationStore store(m_settings, prefix, volumes);
    ProjectLocationRecord record{"/media/gone", "/media/gone", "uuid-a", "7", stored};
    const QByteArray entry = record.toJson();
    m_settings.setValue(prefix + "local", entry);
    QCOMPARE(store.record(std::nullopt)->shownVolumeName(), shown);
    QCOMPARE(failure([&] { store.restore(std::nullopt); }),
             QString::fromUtf8("Tilslut %1, eller vælg projektmappen igen. Der gemmes ikke et andet sted.").arg(shown));
    QCOMPARE(m_settings.value(prefix + "local").toByteArray(), entry);
}

QTEST_GUILESS_MAIN(TestProjectLocationStore)
#include "tst_projectlocationstore.moc"
