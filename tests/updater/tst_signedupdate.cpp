// The signed update machinery against the local HTTPS feed (tooling's
// update_server.py), driven through the update window: a good update is
// verified, staged and put in place of the bundle; every damaged, foreign,
// slow or escaping one is refused with its sentence and leaves the installed
// bundle as it was, and nothing outside the cycle's own folder is removed.
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "updater/signedupdateframework.h"
#include "updater/ui/updatecycledialog.h"

#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QPushButton>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <map>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#ifdef __SANITIZE_ADDRESS__
// The sanitizer reads its options from /proc/self/environ, so a rerun without
// /proc gets none, and its leak check at exit needs /proc as well: it is off
// here as it is for every test.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

QString plist(const QString &version)
{
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Tavlon</string>
	<key>CFBundleIdentifier</key>
	<string>film.tavlon.editor.local</string>
	<key>CFBundleShortVersionString</key>
	<string>%1</string>
	<key>CFBundleVersion</key>
	<string>%1</string>
</dict>
</plist>
)")
        .arg(version);
}

bool writeBundle(const QString &path, const QString &version)
{
    QDir().mkpath(path + QStringLiteral("/Contents/MacOS"));
    QFile info(path + QStringLiteral("/Contents/Info.plist"));
    QFile executable(path + QStringLiteral("/Contents/MacOS/Tavlon"));
    return info.open(QIODevice::WriteOnly) && info.write(plist(version).toUtf8()) > 0
        && executable.open(QIODevice::WriteOnly) && executable.write("#!/bin/sh\n") > 0
        && executable.setPermissions(executable.permissions() | QFile::ExeOwner);
}

// Every file below `path` with its bytes: what "unchanged" compares.
QMap<QString, QByteArray> snapshot(const QString &path)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(path).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

// A private copy of the tools folder, without a run's state, at `path`.
bool copyTools(const QString &path)
{
    const QStringList arguments{QStringLiteral("-R"), QStringLiteral(TAVLON_SOURCE_TOOLING), path};
    return QProcess::execute(QStringLiteral("cp"), arguments) == 0
        && QDir(path + QStringLiteral("/var")).removeRecursively();
}

// Starts the feed of the tools folder `tools`, offering `bundle` as
// `version`, without waiting for it.
void launchFeed(QProcess &server, const QString &tools, const QString &bundle, const QString &version)
{
    server.setProgram(QStringLiteral("python3"));
    server.setArguments({tools + QStringLiteral("/standin/update_server.py"), QStringLiteral("--tools-folder"), tools,
                         QStringLiteral("--bundle"), bundle, QStringLiteral("--version"), version});
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The feed ends with the test, also when a row crashes it.
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    server.start();
}

// The line a launched feed prints once it listens, empty when it printed none.
QJsonObject feedHello(QProcess &server)
{
    if (!server.waitForStarted(30000))
        return {};
    while (!server.canReadLine()) {
        if (!server.waitForReadyRead(60000))
            return {};
    }
    return QJsonDocument::fromJson(server.readLine()).object();
}

QJsonObject startFeed(QProcess &server, const QString &tools, const QString &bundle, const QString &version)
{
    launchFeed(server, tools, bundle, version);
    return feedHello(server);
}

// Where a rerun finds the feed of the run that started it.
constexpr const char *feedVariable = "TAVLON_TEST_RUNNING_UPDATE_FEED";

// The permission bits, and the group, of the entry at `path` (not followed if a link).
mode_t modeOf(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : mode_t(-1);
}

gid_t groupOf(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_gid : gid_t(-1);
}

// `path` and every entry below it, links not followed.
QStringList withEverythingBelow(const QString &path)
{
    QStringList paths{path};
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    return paths;
}

// The entries below `path`, and `path` itself, whose mode lets others or
// (without an access list, whose mask the group bits are, and unless
// `groupWrites`) the group write.
QStringList writableByOthers(const QString &path, bool groupWrites = false)
{
    QStringList found;
    const QStringList paths = withEverythingBelow(path);
    for (const QString &entry : paths) {
        const QByteArray native = QFile::encodeName(entry);
        const mode_t mode = modeOf(entry);
        const bool listed = ::lgetxattr(native.constData(), "system.posix_acl_access", nullptr, 0) > 0;
        if (!QFileInfo(entry).isSymLink() && (mode & S_IWOTH || (mode & S_IWGRP && !listed && !groupWrites)))
            found << QStringLiteral("%1 %2").arg(QDir(path).relativeFilePath(entry)).arg(mode, 0, 8);
    }
    return found;
}

// Gives the folder at `path` an access list as the kernel keeps it (a
// version, then tag, permissions and id of each entry, in tag order): its own
// user and group and others may read and search it, `group` may also write.
// As the default list (`asDefault`) of what is made in it, its own user and
// others may write as well.
bool grantGroupWrite(const QString &path, gid_t group, bool asDefault = false)
{
    const quint32 none = quint32(-1);
    const quint32 own = asDefault ? 7 : 5;
    const quint32 list[] = {2, 0x01 | own << 16, none, 0x04 | 5 << 16, none, 0x08 | 7 << 16, group,
                            0x10 | 7 << 16, none, 0x20 | own << 16, none};
    QByteArray bytes;
    for (const quint32 word : list)
        bytes.append(reinterpret_cast<const char *>(&word), sizeof word);
    return ::setxattr(QFile::encodeName(path).constData(),
                      asDefault ? "system.posix_acl_default" : "system.posix_acl_access", bytes.constData(),
                      size_t(bytes.size()), 0)
        == 0;
}

// The folder at `path` gets an access list that gives the user `member` the
// rights `rights` (read, write, search as 4, 2, 1), its own group `group` and
// the group 65533 all, within the mask `mask`; by default that of a bundle its
// group shares, denying one member the write it gives the rest.
bool nameMember(const QString &path, uid_t member, quint32 rights = 5, quint32 group = 7, quint32 mask = 7)
{
    const quint32 none = quint32(-1);
    const quint32 list[] = {2, 0x01 | 5 << 16, none, 0x02 | rights << 16, member, 0x04 | group << 16, none,
                            0x08 | 7 << 16, 65533, 0x10 | mask << 16, none, 0x20 | 5 << 16, none};
    return ::setxattr(QFile::encodeName(path).constData(), "system.posix_acl_access", list, sizeof list, 0) == 0;
}

// The access list of the entry at `path` as getfacl writes it ("user::rwx,
// user:65530:r-x,..."); empty without one.
QString accessListOf(const QString &path)
{
    QByteArray bytes(4096, Qt::Uninitialized);
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), "system.posix_acl_access", bytes.data(),
                                     size_t(bytes.size()));
    QStringList entries;
    for (ssize_t at = 4; at + 8 <= size; at += 8) {
        quint16 tag, rights;
        quint32 id;
        std::memcpy(&tag, bytes.constData() + at, 2);
        std::memcpy(&rights, bytes.constData() + at + 2, 2);
        std::memcpy(&id, bytes.constData() + at + 4, 4);
        const QString who = tag == 0x01 ? "user:" : tag == 0x02 ? QStringLiteral("user:%1").arg(id)
            : tag == 0x04                           ? "group:"
            : tag == 0x08                           ? QStringLiteral("group:%1").arg(id)
            : tag == 0x10                           ? "mask:"
                                                    : "other:";
        entries << who + QLatin1Char(':') + (rights & 4 ? 'r' : '-') + (rights & 2 ? 'w' : '-') + (rights & 1 ? 'x' : '-');
    }
    return entries.join(QLatin1Char(','));
}

// A user's name as the updater names them, or their number.
QString nameOf(uid_t user)
{
    const struct passwd *entry = ::getpwuid(user);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(user);
}

// The archives in a feed's folder: name, inode and mode of each.
QStringList archivesIn(const QString &folder)
{
    QStringList found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        struct stat info;
        if (name.endsWith(u".tar.gz") && ::lstat(QFile::encodeName(dir.filePath(name)).constData(), &info) == 0)
            found << QStringLiteral("%1 %2 %3").arg(name).arg(info.st_ino).arg(info.st_mode & 07777, 0, 8);
    }
    return found;
}

// The usual limit of open descriptors while a row runs, the one it found
// after it.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(bool lower)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_found);
        m_lowered = lower && m_found.rlim_cur > 1024;
        if (m_lowered) {
            struct rlimit usual = m_found;
            usual.rlim_cur = 1024;
            ::setrlimit(RLIMIT_NOFILE, &usual);
        }
    }
    ~DescriptorLimit()
    {
        if (m_lowered)
            ::setrlimit(RLIMIT_NOFILE, &m_found);
    }

private:
    struct rlimit m_found;
    bool m_lowered = false;
};

// Root passes every permission check, so a row that must meet what an
// ordinary account meets runs its cycle as one: the whole process (every
// thread, and what it starts) takes the user id `as` (65534) until the row ends,
// keeping root as the saved id it returns to, and the group `alsoIn` beside
// its own where one is named. What root made below `folder` is handed to that
// user first; what another user owns stays theirs.
class WithoutPrivilege
{
public:
    static constexpr uid_t user = 65534;

    WithoutPrivilege(bool wanted, const QString &folder, std::optional<gid_t> alsoIn = std::nullopt, uid_t as = user)
    {
        if (!wanted || ::geteuid() != 0)
            return;
        ::getresuid(&m_uids[0], &m_uids[1], &m_uids[2]);
        ::getresgid(&m_gids[0], &m_gids[1], &m_gids[2]);
        m_groups.resize(::getgroups(0, nullptr));
        ::getgroups(int(m_groups.size()), m_groups.data());
        m_dropped = true;
        const QStringList paths = withEverythingBelow(folder);
        for (const QString &path : paths) {
            struct stat status;
            const QByteArray native = QFile::encodeName(path);
            if (::lstat(native.constData(), &status) == 0 && status.st_uid == 0)
                m_failed = ::lchown(native.constData(), as, as) != 0 || m_failed;
        }
        m_failed = m_failed || ::setgroups(alsoIn ? 1 : 0, alsoIn ? &*alsoIn : nullptr) != 0
            || ::setresgid(as, as, 0) != 0
            || ::setresuid(as, as, 0) != 0;
    }
    ~WithoutPrivilege()
    {
        if (!m_dropped)
            return;
        ::setresuid(m_uids[0], m_uids[1], m_uids[2]);
        ::setresgid(m_gids[0], m_gids[1], m_gids[2]);
        ::setgroups(m_groups.size(), m_groups.data());
    }
    WithoutPrivilege(const WithoutPrivilege &) = delete;
    WithoutPrivilege &operator=(const WithoutPrivilege &) = delete;

    bool failed() const { return m_failed; }

private:
    bool m_dropped = false;
    bool m_failed = false;
    uid_t m_uids[3] = {};
    gid_t m_gids[3] = {};
    std::vector<gid_t> m_groups;
};

// Holds every thread of the global pool until released: what the cycle hands
// the pool (clearing a folder) waits meanwhile.
class PoolHold
{
public:
    void hold()
    {
        m_threads = QThreadPool::globalInstance()->maxThreadCount();
        for (int i = 0; i < m_threads; ++i)
            QThreadPool::globalInstance()->start([this] {
                m_held.release();
                m_released.acquire();
            });
        m_held.acquire(m_threads);
    }
    void release()
    {
        m_released.release(std::exchange(m_threads, 0));
        QThreadPool::globalInstance()->waitForDone();
    }
    ~PoolHold() { release(); }

private:
    int m_threads = 0;
    QSemaphore m_held, m_released;
};

class Delegate final : public UpdateFrameworkDelegate
{
public:
    bool shouldRelaunchApplication() override { return allowRelaunch; }
    bool mayCheckForUpdatesInBackground() override
    {
        ++backgroundAsks;
        return !busy;
    }
    bool shouldPostponeRelaunch(const UpdateItem &, std::function<void()>) override
    {
        staged = snapshot(stagedPath);
        return postpone; // the continuation is never called: the person cancels meanwhile
    }
    void didFinishUpdateCycle(UpdateCheckKind, const std::optional<QString> &error) override
    {
        ++cycles;
        failure = error;
    }

    bool allowRelaunch = true;
    bool postpone = false;
    bool busy = false;
    int backgroundAsks = 0;
    QString stagedPath;
    QMap<QString, QByteArray> staged;
    int cycles = 0;
    std::optional<QString> failure;
};

} // namespace

class TestSignedUpdate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cycle_data();
    void cycle();
    void automaticChecks_data();
    void automaticChecks();
    void archiveOncePerBuild_data();
    void archiveOncePerBuild();
    void accessOfTheRunningBundleOnly_data();
    void accessOfTheRunningBundleOnly();
    void pressWhereAButtonWas_data();
    void pressWhereAButtonWas();

private:
    void setScenario(const QString &word);
    SignedUpdateFramework::Setup setup(const QString &bundle, SettingsStore &settings) const;

    QTemporaryDir m_dir;
    QProcess m_server;
    QJsonObject m_hello; // the feed's line, and its tools folder
    QUrl m_feed;
    QByteArray m_key;
    QString m_ca;
};

void TestSignedUpdate::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    QVERIFY(m_dir.isValid());
    // Rows run again without /proc use the feed of the run that started them:
    // the feed needs /proc.
    m_hello = QJsonDocument::fromJson(qgetenv(feedVariable)).object();
    if (m_hello.isEmpty()) {
        const QString tools = m_dir.filePath(QStringLiteral("tooling"));
        QVERIFY(copyTools(tools));
        const QString source = m_dir.filePath(QStringLiteral("source/Tavlon.app"));
        QVERIFY(writeBundle(source, QStringLiteral("1.0")));
        m_hello = startFeed(m_server, tools, source, QStringLiteral("2.0"));
        QVERIFY2(!m_hello.isEmpty(), "the update feed printed no address");
        m_hello.insert(QStringLiteral("tools"), tools);
    }
    const QJsonObject &hello = m_hello;
    m_feed = QUrl(hello.value(QStringLiteral("feed")).toString());
    m_key = QByteArray::fromBase64(hello.value(QStringLiteral("publicKey")).toString().toLatin1());
    m_ca = hello.value(QStringLiteral("ca")).toString();
    QVERIFY(m_feed.isValid() && m_key.size() == 32);
}

void TestSignedUpdate::cleanupTestCase()
{
    m_server.terminate();
    m_server.waitForFinished(5000);
}

void TestSignedUpdate::setScenario(const QString &word)
{
    QFile file(m_hello.value(QStringLiteral("tools")).toString() + QStringLiteral("/var/updates/scenario"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(word.toUtf8()) > 0);
}

SignedUpdateFramework::Setup TestSignedUpdate::setup(const QString &bundle, SettingsStore &settings) const
{
    SignedUpdateFramework::Setup setup;
    setup.bundlePath = bundle;
    setup.currentVersion = QStringLiteral("1.0");
    setup.feed = m_feed;
    setup.publicKey = m_key;
    setup.platform = UpdateFeed::currentPlatform();
    setup.localAuthorities = QSslCertificate::fromPath(m_ca);
    setup.settings = &settings;
    return setup;
}

namespace {

const QString unpackRefused = QStringLiteral("The update could not be unpacked. Nothing was installed.");
const QString notInstalled = QStringLiteral("The update could not be installed. The installed app is unchanged.");
const QString unreachable = QStringLiteral("Could not reach the update server. Check the connection and try again.");
const QString stopped = QStringLiteral(
    "The update download stopped, because the server sent too little for too long. Nothing was installed.");

} // namespace

void TestSignedUpdate::cycle_data()
{
    QTest::addColumn<QString>("scenario");
    // "foreign key", "refuse relaunch", "installed 2.0", "link at staging", "link at the members listing"
    // (planted while the cycle downloads), "second rename fails", "roll-back fails", "relaunch fails",
    // "short stall", "short deadline", "descriptor limit" (1,024 open at most), "without privilege" (the
    // cycle runs as an ordinary user), "left over with another user's folder" (an earlier cycle left its
    // folder: the previous bundle with read-only folders, and deep in it a folder of another user),
    // "read-only installed bundle" (the installed bundle's own folder is 0555), "another user's installed
    // bundle" (its folder is another user's, 0555), "group's access list" (the installed bundle's own
    // folder is 0555, and its access list lets another group write: 0575), "private installed bundle" (0700),
    // "umask 0077", "umask 0002", "umask 0000" (the cycle's), "shared install folder" (the installed bundle is
    // 0775, in a setgid folder of another group of the user's), "bundle of a group not the user's" (with it),
    // "only its group writes" (with it: the bundle is 0575), "install folder's default access list" (another
    // group may write what is made in it), "folder swapped in during the relaunch" / "at the roll-back" (a
    // private folder of the user's takes the new bundle's place as it starts / as it steps aside again),
    // "without /proc" (the rows `withoutProc` names run again in a process that has no /proc), "no-replace
    // refused" (the file system refuses the rename flag as unsupported), "access list denying a member" (the
    // bundle's list lets its group write but not one member), "forged left-over" (another member's 2777 folder
    // at the cycle's path holds one of the user's folders), "marked left-over made unsearchable" (the user's
    // own, marked as keeping another folder, made 0000), "another member's bundle" (the shared bundle is
    // another user's, its folders group-writable inside unless "old shared bundle"; with "then by its owner" the
    // owner installs the next update; "sticky folder inside": its Contents keeps entries to their owners),
    // "folder swapped in as the new bundle takes its place", "empty folder planted at the app's path" (as the
    // new bundle is moved there), "left-over holding another file" (the user's own 0700 folder at the cycle's
    // path holds a file a cycle does not make; "left-over open to its group": 0770, holding the archive),
    // "member named in its access list" (another member's bundle whose list gives the user write; "bundle of
    // a group not the member's": its group, not the user's, writes too), "own bundle at 0311" / "at 0000" /
    // "world-writable installed bundle" (the installed bundle's folder is 0311 / 0000 / 0777), "clean-up held"
    // (the cycle's clearing waits once the new version started), "read-only install folder" (the folder
    // holding the app is 0555), "a later run" (after the cycle, the person puts a copy of the app in place and
    // installs in a new run), "mount inside a left-over" / "left-over mounted" (a folder of the user's is bound
    // into the cycle's folder an interrupted cycle left / onto its path), "narrow mask" (the bundle's access
    // list masks its entries to search), "quit while the left-over is cleared" (the app quits while the cycle
    // clears an earlier cycle's folder), "another user's install folder" (the folder holding the app is another
    // user's, 0755), "install folder on a read-only disk" / "app on a read-only disk" (it / the app is mounted
    // read-only), "silent feed" (the feed takes the connection and never answers), "short idle" (the requests'
    // idle time is 4 s)
    QTest::addColumn<QStringList>("conditions");
    // What the person does in the update window: "install", "install twice", "install then later",
    // "later", "cancel while downloading", "cancel while settings close", "cancel while checking",
    // "Escape while checking", "close while checking", "later while the left-over is cleared" (Install,
    // then Later while the cycle clears an earlier cycle's folder); or to the window it opened over, one of
    // two main windows or the settings of one: "its window closed while checking" / "at the offer" / "as
    // Install is chosen", "its settings closed at the offer".
    QTest::addColumn<QString>("action");
    // "installed", "unchanged", "up to date", "kept aside", "swapped" (the previous bundle is kept aside, the
    // folder swapped in stays as it was)
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("failure");
    const QStringList none;
    QTest::newRow("good update") << "good" << none << "install" << "installed" << QString();
    QTest::newRow("cancelled while settings close")
        << "good" << none << "cancel while settings close" << "unchanged" << QString();
    QTest::newRow("later") << "good" << none << "later" << "unchanged" << QString();
    QTest::newRow("install clicked twice") << "good" << none << "install twice" << "installed" << QString();
    QTest::newRow("install, then later at once") << "good" << none << "install then later" << "unchanged" << QString();
    QTest::newRow("cancelled while downloading") << "slow" << none << "cancel while downloading" << "unchanged" << QString();
    for (const char *action : {"cancel while checking", "Escape while checking", "close while checking"})
        QTest::addRow("silent feed, %s", action) << "good" << QStringList{"silent feed"} << action << "unchanged" << "";
    QTest::newRow("its window closed while checking")
        << "good" << QStringList{"silent feed"} << "its window closed while checking" << "unchanged" << "";
    for (const char *action : {"its window closed at the offer", "its window closed as Install is chosen",
                               "its settings closed at the offer"})
        QTest::newRow(action) << "slow" << none << action << "unchanged" << "";
    QTest::newRow("flipped byte") << "flipped-byte" << none << "install" << "unchanged"
                                  << "The update's signature is not valid. Nothing was installed.";
    QTest::newRow("signed with another key") << "foreign-key" << none << "install" << "unchanged"
                                             << "The update's signature is not valid. Nothing was installed.";
    QTest::newRow("truncated download") << "truncated" << none << "install" << "unchanged"
                                        << "The update download broke off. Nothing was installed.";
    QTest::newRow("no item for this computer") << "no-platform" << none << "install" << "unchanged"
                                               << "The update feed offers no update for this computer.";
    QTest::newRow("feed not signed with the app's key")
        << "good" << QStringList{"foreign key"} << "install" << "unchanged"
        << "The update feed is not signed with the app's key. Nothing was installed.";
    QTest::newRow("relaunch refused") << "good" << QStringList{"refuse relaunch"} << "install" << "unchanged"
                                      << "The app was not restarted. Install the update again later.";
    QTest::newRow("downgrade") << "downgrade" << none << "install" << "up to date" << QString();
    QTest::newRow("pre-release of the installed version")
        << "prerelease" << QStringList{"installed 2.0"} << "install" << "up to date" << QString();
    QTest::newRow("oversized feed") << "oversized-feed" << none << "install" << "unchanged"
                                    << "The update feed could not be read. Try again later.";
    QTest::newRow("oversized download") << "oversized-download" << none << "install" << "unchanged"
                                        << "The update download has the wrong size. Nothing was installed.";
    QTest::newRow("download drips") << "slow" << QStringList{"short stall"} << "install" << "unchanged" << stopped;
    QTest::newRow("download past its deadline")
        << "slow" << QStringList{"short deadline"} << "install" << "unchanged" << stopped;
    // The server stops sending and keeps the connection open.
    QTest::newRow("download stalls, idle time first")
        << "stalled" << QStringList{"short idle"} << "install" << "unchanged" << stopped;
    QTest::newRow("download stalls, stall time first")
        << "stalled" << QStringList{"short stall"} << "install" << "unchanged" << stopped;
    QTest::newRow("member with ../") << "dotdot-entry" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("absolute member") << "absolute-entry" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("link out of the bundle") << "link-out" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("executable is a link out") << "executable-link" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("executable missing") << "no-executable" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("link at the staging path, up to date")
        << "downgrade" << QStringList{"link at staging"} << "install" << "up to date" << QString();
    QTest::newRow("link at the staging path, install")
        << "good" << QStringList{"link at staging"} << "install" << "unchanged" << notInstalled;
    QTest::newRow("second rename fails") << "good" << QStringList{"second rename fails"} << "install" << "unchanged"
                                         << notInstalled;
    QTest::newRow("second rename and roll-back fail")
        << "good" << QStringList{"second rename fails", "roll-back fails"} << "install" << "kept aside"
        << "The update could not be installed, and the previous version could not be put back: it is kept in %1.";
    QTest::newRow("relaunch fails") << "good" << QStringList{"relaunch fails"} << "install" << "unchanged"
                                    << "The new version could not be started, so the previous version was put back.";
    QTest::newRow("release notes") << "release-notes" << none << "install" << "installed" << QString();
    QTest::newRow("link planted at the members listing")
        << "good" << QStringList{"link at the members listing"} << "install" << "unchanged" << unpackRefused;
    QTest::newRow("folder 1,500 deep, cleared at the descriptor limit")
        << "deep" << QStringList{"refuse relaunch", "descriptor limit"} << "install" << "unchanged"
        << "The app was not restarted. Install the update again later.";
    QTest::newRow("link out 1,500 folders deep, at the descriptor limit")
        << "deep-link-out" << QStringList{"descriptor limit"} << "install" << "unchanged" << unpackRefused;
    QTest::newRow("link out past the path the system resolves")
        << "long-link-out" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("unpacks to far more than its length")
        << "unpacks-too-large" << none << "install" << "unchanged" << unpackRefused;
    QTest::newRow("read-only folders, cleared without privilege")
        << "read-only" << QStringList{"refuse relaunch", "without privilege"} << "install" << "unchanged"
        << "The app was not restarted. Install the update again later.";
    QTest::newRow("read-only bundle, installed without privilege")
        << "read-only" << QStringList{"without privilege"} << "install" << "installed" << "";
    QTest::newRow("left over with another user's folder, without privilege")
        << "good" << QStringList{"left over with another user's folder", "without privilege"} << "install"
        << "unchanged"
        << "The update could not be installed, because the folder %1 from an earlier update could not be removed. "
           "Move it out of the way, then try again.";
    QTest::newRow("left over with another user's folder, Later while it is cleared, without privilege")
        << "good" << QStringList{"left over with another user's folder", "without privilege"}
        << "later while the left-over is cleared" << "unchanged" << "";
    QTest::newRow("forged left-over holding the user's folder, without privilege")
        << "good" << QStringList{"forged left-over", "without privilege"} << "install" << "left over kept"
        << "The update could not be installed, because the folder %1 beside the app belongs to %2. Ask them to "
           "move it out of the way, then try again.";
    QTest::newRow("left-over holding another file")
        << "good" << QStringList{"left-over holding another file"} << "install" << "left over kept"
        << "The update could not be installed, because the folder %1 is not one an earlier update left. Move it out "
           "of the way, then try again.";
    QTest::newRow("left-over open to its group")
        << "good" << QStringList{"left-over open to its group"} << "install" << "left over kept"
        << "The update could not be installed, because the folder %1 is not one an earlier update left. Move it out "
           "of the way, then try again.";
    QTest::newRow("marked left-over made unsearchable, without privilege")
        << "good" << QStringList{"marked left-over made unsearchable", "without privilege"} << "install"
        << "left over kept"
        << "The update could not be installed, because the folder %1 is not one an earlier update left. Move it out "
           "of the way, then try again.";
    QTest::newRow("read-only installed bundle, installed without privilege")
        << "good" << QStringList{"read-only installed bundle", "without privilege"} << "install" << "installed" << "";
    QTest::newRow("read-only installed bundle, put back without privilege")
        << "good" << QStringList{"read-only installed bundle", "relaunch fails", "without privilege"} << "install"
        << "unchanged" << "The new version could not be started, so the previous version was put back.";
    QTest::newRow("installed bundle with a group's access list, installed under umask 0002 without privilege")
        << "good" << QStringList{"group's access list", "umask 0002", "without privilege"} << "install" << "installed"
        << "";
    QTest::newRow("installed bundle with a group's access list, put back without privilege")
        << "good" << QStringList{"group's access list", "relaunch fails", "without privilege"} << "install"
        << "unchanged" << "The new version could not be started, so the previous version was put back.";
    QTest::newRow("bundle whose access list denies a member, in a shared setgid folder, without privilege")
        << "good" << QStringList{"shared install folder", "access list denying a member", "without privilege"}
        << "install" << "installed" << "";
    QTest::newRow("private installed bundle, installed without privilege")
        << "good" << QStringList{"private installed bundle", "without privilege"} << "install" << "installed" << "";
    QTest::newRow("read-only installed bundle, installed under umask 0077 without privilege")
        << "good" << QStringList{"read-only installed bundle", "umask 0077", "without privilege"} << "install"
        << "installed" << "";
    QTest::newRow("bundle in a shared setgid folder, installed under umask 0002 without privilege")
        << "good" << QStringList{"shared install folder", "umask 0002", "without privilege"} << "install" << "installed"
        << "";
    QTest::newRow("bundle in a shared setgid folder, installed under umask 0077 without privilege")
        << "good" << QStringList{"shared install folder", "umask 0077", "without privilege"} << "install" << "installed"
        << "";
    QTest::newRow("another member's shared bundle, installed by a member, then by its owner, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "then by its owner",
                                 "without privilege"}
        << "install" << "installed" << "";
    QTest::newRow("another member's shared bundle from an older update, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "old shared bundle",
                                 "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's shared bundle with a sticky folder inside, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "sticky folder inside",
                                 "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's bundle its group does not write, written through its access list")
        << "good" << QStringList{"shared install folder", "another member's bundle", "member named in its access list",
                                 "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's bundle shared with a group not the member's, written through its access list")
        << "good" << QStringList{"shared install folder", "another member's bundle", "member named in its access list",
                                 "bundle of a group not the member's", "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's shared bundle in a sticky install folder, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "sticky install folder",
                                 "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's shared bundle in an install folder only its owner writes, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "install folder its owner's only",
                                 "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("another member's shared bundle the user cannot read, without privilege")
        << "good" << QStringList{"shared install folder", "another member's bundle", "unreadable", "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("bundle whose access list denies a member, of a group not the user's, without privilege")
        << "good"
        << QStringList{"shared install folder", "access list denying a member", "bundle of a group not the user's",
                       "without privilege"}
        << "install" << "installed" << "";
    QTest::newRow("bundle in a shared setgid folder, installed under umask 0022 without privilege")
        << "good" << QStringList{"shared install folder", "without privilege"} << "install" << "installed" << "";
    QTest::newRow("bundle only its group writes in a shared setgid folder, installed without privilege")
        << "good" << QStringList{"shared install folder", "only its group writes", "without privilege"} << "install"
        << "installed" << "";
    QTest::newRow("bundle of a group not the user's in a shared setgid folder, installed without privilege")
        << "good"
        << QStringList{"shared install folder", "bundle of a group not the user's", "umask 0002", "without privilege"}
        << "install" << "installed" << "";
    QTest::newRow("another user's installed bundle, without privilege")
        << "good" << QStringList{"another user's installed bundle", "without privilege"} << "install" << "unchanged"
        << "The update could not be installed, because the app at %1 belongs to %2. Ask them to install the update.";
    QTest::newRow("archive writable by everyone, installed under umask 0000")
        << "writable" << QStringList{"umask 0000"} << "install" << "installed" << "";
    QTest::newRow("FIFO in the archive, under umask 0000")
        << "fifo" << QStringList{"umask 0000"} << "install" << "unchanged" << unpackRefused;
    QTest::newRow("file system refusing the no-replace rename")
        << "good" << QStringList{"no-replace refused", "then again"} << "install" << "installed" << "";
    QTest::newRow("file system refusing the no-replace rename, an empty folder planted at the app's path")
        << "good" << QStringList{"no-replace refused", "empty folder planted at the app's path"} << "install"
        << "kept aside"
        << "The update could not be installed, and the previous version could not be put back: it is kept in %1.";
    QTest::newRow("archive writable by everyone, in an install folder with a default access list")
        << "writable" << QStringList{"install folder's default access list", "umask 0000"} << "install" << "installed"
        << "";
    const QString anotherFolder =
        QStringLiteral("Another folder is at %1. It was left as it is, and nothing was installed.");
    const QString swapped = QStringLiteral(
        "Another folder was put at %1 during the update and was left as it is. The previous version is kept in %2.");
    QTest::newRow("folder swapped in during the relaunch")
        << "good" << QStringList{"folder swapped in during the relaunch"} << "install" << "swapped" << swapped;
    QTest::newRow("folder swapped in as the new bundle takes its place")
        << "good" << QStringList{"folder swapped in as the new bundle takes its place"} << "install" << "swapped"
        << swapped;
    QTest::newRow("folder swapped in during a relaunch that fails")
        << "good" << QStringList{"folder swapped in during the relaunch", "relaunch fails"} << "install" << "swapped"
        << swapped;
    QTest::newRow("folder swapped in as the new bundle steps aside again")
        << "good" << QStringList{"folder swapped in at the roll-back", "relaunch fails"} << "install" << "swapped"
        << swapped;
    QTest::newRow("installed again after a folder was swapped in during the relaunch")
        << "good" << QStringList{"folder swapped in during the relaunch", "then again"} << "install" << "swapped"
        << swapped;
    QTest::newRow("folder swapped in as the old bundle steps aside")
        << "good" << QStringList{"folder swapped in as the old bundle steps aside"} << "install" << "left"
        << anotherFolder;
    QTest::newRow("folder swapped in while the update waits to relaunch")
        << "good" << QStringList{"folder swapped in before the install"} << "install" << "left" << anotherFolder;
    QTest::newRow("folder swapped in while the update is offered")
        << "good" << QStringList{"folder swapped in while the update is offered"} << "install" << "left"
        << anotherFolder;
    QTest::newRow("bundle moved away while the update waits to relaunch")
        << "good" << QStringList{"bundle moved away before the install"} << "install" << "moved away" << notInstalled;
    QTest::newRow("folder swapped in as the old bundle steps aside, not moved back")
        << "good" << QStringList{"folder swapped in as the old bundle steps aside", "move back fails"} << "install"
        << "not put back"
        << "Another folder was put at %1 during the update and could not be put back: it is kept in %2. Nothing was "
           "installed.";
    QTest::newRow("installed again after a folder swapped in as the old bundle steps aside was not moved back")
        << "good" << QStringList{"folder swapped in as the old bundle steps aside", "move back fails", "then again"}
        << "install" << "not put back"
        << "Another folder was put at %1 during the update and could not be put back: it is kept in %2. Nothing was "
           "installed.";
    QTest::newRow("folder swapped in as the new bundle steps aside again, not moved back")
        << "good" << QStringList{"folder swapped in at the roll-back", "relaunch fails", "move back fails"} << "install"
        << "not put back"
        << "Another folder was put at %1 during the update and could not be put back: it is kept in %2. The previous "
           "version is kept in %3.";
    QTest::newRow("installed twice in one run") << "good" << QStringList{"then again"} << "install" << "installed"
                                                << "";
    QTest::newRow("own unreadable bundle, installed without privilege")
        << "good" << QStringList{"own bundle at 0311", "without privilege"} << "install" << "installed" << "";
    QTest::newRow("own bundle closed to all, installed without privilege")
        << "good" << QStringList{"own bundle at 0000", "without privilege"} << "install" << "installed" << "";
    QTest::newRow("installed, the clean-up held up")
        << "good" << QStringList{"clean-up held"} << "install" << "installed" << "";
    QTest::newRow("read-only install folder, without privilege")
        << "good" << QStringList{"read-only install folder", "without privilege"} << "install" << "unchanged"
        << "The update could not be installed, because you have no permission to change the folder %1. Give "
           "yourself write access to that folder, then try again.";
    QTest::newRow("install folder of another user, without privilege")
        << "good" << QStringList{"another user's install folder", "without privilege"} << "install" << "unchanged"
        << "The update could not be installed, because the folder %1 belongs to %2. Ask them to give you write access "
           "to that folder, then try again.";
    QTest::newRow("install folder on a read-only disk")
        << "good" << QStringList{"install folder on a read-only disk"} << "install" << "unchanged"
        << "The update could not be installed, because the folder %1 is on a disk that cannot be written to. Move the "
           "app to a folder you can change, then try again.";
    QTest::newRow("read-only install folder on a read-only disk, without privilege")
        << "good" << QStringList{"read-only install folder", "install folder on a read-only disk", "without privilege"}
        << "install" << "unchanged"
        << "The update could not be installed, because the folder %1 is on a disk that cannot be written to. Move the "
           "app to a folder you can change, then try again.";
    QTest::newRow("app on a read-only disk")
        << "good" << QStringList{"app on a read-only disk"} << "install" << "unchanged"
        << "The update could not be installed, because the folder %1 is on a disk that cannot be written to. Move the "
           "app to a folder you can change, then try again.";
    QTest::newRow("previous version kept aside, then a later run")
        << "good" << QStringList{"second rename fails", "roll-back fails", "a later run"} << "install" << "kept aside"
        << "The update could not be installed, and the previous version could not be put back: it is kept in %1.";
    QTest::newRow("folder mounted inside a left-over")
        << "good" << QStringList{"mount inside a left-over"} << "install" << "left over kept"
        << "The update could not be installed, because the folder %1 from an earlier update could not be removed. "
           "Move it out of the way, then try again.";
    QTest::newRow("folder mounted as a left-over")
        << "good" << QStringList{"left-over mounted"} << "install" << "left over kept"
        << "The update could not be installed, because the folder %1 from an earlier update could not be removed. "
           "Move it out of the way, then try again.";
    QTest::newRow("folder swapped in as the new bundle takes its place, then a later run")
        << "good" << QStringList{"folder swapped in as the new bundle takes its place", "a later run"} << "install"
        << "swapped"
        << "Another folder was put at %1 during the update and was left as it is. The previous version is kept in %2.";
    QTest::newRow("folder swapped in as the new bundle steps aside again, then a later run")
        << "good" << QStringList{"folder swapped in at the roll-back", "relaunch fails", "a later run"} << "install"
        << "swapped"
        << "Another folder was put at %1 during the update and was left as it is. The previous version is kept in %2.";
    QTest::newRow("world-writable installed bundle")
        << "good" << QStringList{"world-writable installed bundle"} << "install" << "installed" << "";
    QTest::newRow("bundle whose access list masks its entries to search")
        << "good" << QStringList{"narrow mask"} << "install" << "installed" << "";
    QTest::newRow("quit while a left-over is cleared")
        << "good" << QStringList{"quit while the left-over is cleared"} << "install" << "" << "";
    QTest::newRow("read-only rows without /proc") << "" << QStringList{"without /proc"} << "" << "" << "";
}

namespace {

// What "without /proc" runs again: permissions are given where the C library
// would go through /proc to change a mode without following a link.
const QStringList withoutProc{QStringLiteral("cycle:read-only folders, cleared without privilege"),
                              QStringLiteral("cycle:read-only installed bundle, installed without privilege")};

} // namespace

void TestSignedUpdate::cycle()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, conditions);
    QFETCH(QString, action);
    QFETCH(QString, outcome);
    QFETCH(QString, failure);
    if (conditions.contains(u"without /proc")) {
        if (::geteuid() != 0)
            QSKIP("only root can take /proc away, in a mount namespace of its own");
        QProcess rerun;
        rerun.setProgram(QCoreApplication::applicationFilePath());
        rerun.setArguments(withoutProc);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(feedVariable), QString::fromUtf8(QJsonDocument(m_hello).toJson()));
        rerun.setProcessEnvironment(environment);
        rerun.setProcessChannelMode(QProcess::ForwardedChannels);
        rerun.setChildProcessModifier([] {
            // Private first, so that /proc goes for this process only.
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::umount2("/proc", MNT_DETACH) != 0)
                ::_exit(99);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
        rerun.start();
        QVERIFY(rerun.waitForFinished(600000));
        QCOMPARE(rerun.exitStatus(), QProcess::NormalExit);
        if (rerun.exitCode() == 99)
            QSKIP("no mount namespace of its own here (root without CAP_SYS_ADMIN)");
        QCOMPARE(rerun.exitCode(), 0);
        return;
    }
    setScenario(scenario);

    QTemporaryDir install;
    const QString bundle = install.filePath(QStringLiteral("Tavlon.app"));
    QVERIFY(writeBundle(bundle, QStringLiteral("1.0")));
    const auto before = snapshot(bundle);
    if (conditions.contains(u"another user's installed bundle")) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder of another user");
        QCOMPARE(::chown(QFile::encodeName(bundle).constData(), WithoutPrivilege::user - 1, WithoutPrivilege::user - 1), 0);
    }
    if (conditions.contains(u"read-only installed bundle") || conditions.contains(u"another user's installed bundle")
        || conditions.contains(u"group's access list"))
        QCOMPARE(::chmod(QFile::encodeName(bundle).constData(), 0555), 0);
    if (conditions.contains(u"group's access list") && !grantGroupWrite(bundle, WithoutPrivilege::user - 1)) {
        QVERIFY2(errno == ENOTSUP, qPrintable(qt_error_string(errno)));
        QSKIP("this file system keeps no access lists");
    }
    if (conditions.contains(u"private installed bundle"))
        QCOMPARE(::chmod(QFile::encodeName(bundle).constData(), 0700), 0);
    const bool unreadable = conditions.contains(u"own bundle at 0311") || conditions.contains(u"own bundle at 0000");
    if (unreadable || conditions.contains(u"world-writable installed bundle"))
        QCOMPARE(::chmod(QFile::encodeName(bundle).constData(),
                         conditions.contains(u"own bundle at 0311") ? 0311 : unreadable ? 0 : 0777),
                 0);
    // A group the user is in beside their own, for the install folder.
    std::optional<gid_t> sharedGroup;
    if (conditions.contains(u"shared install folder")) {
        if (::geteuid() != 0)
            QSKIP("only root can put the user in a second group here");
        sharedGroup = WithoutPrivilege::user - 2;
        const mode_t shared = conditions.contains(u"only its group writes") ? 0575 : 0775;
        QCOMPARE(::chmod(QFile::encodeName(bundle).constData(), shared), 0);
    }
    // Another member's bundle, as an update leaves it: its folders writable by
    // the group inside, unless an older update left them its owner's only.
    const uid_t owner = WithoutPrivilege::user - 1;
    if (conditions.contains(u"another member's bundle")) {
        for (const QString &path : withEverythingBelow(bundle)) {
            QCOMPARE(::lchown(QFile::encodeName(path).constData(), owner, *sharedGroup), 0);
            if (path != bundle && QFileInfo(path).isDir() && !conditions.contains(u"old shared bundle"))
                QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0775), 0);
        }
        if (conditions.contains(u"unreadable"))
            QCOMPARE(::chmod(QFile::encodeName(bundle).constData(), 0731), 0);
        if (conditions.contains(u"sticky folder inside"))
            QCOMPARE(::chmod(QFile::encodeName(bundle + QStringLiteral("/Contents")).constData(), 01775), 0);
    }
    const bool named = conditions.contains(u"member named in its access list");
    if (named)
        QCOMPARE(::lchown(QFile::encodeName(bundle).constData(), owner,
                          conditions.contains(u"bundle of a group not the member's") ? owner - 2 : *sharedGroup),
                 0);
    if ((conditions.contains(u"access list denying a member") && !nameMember(bundle, WithoutPrivilege::user - 4))
        || (conditions.contains(u"narrow mask") && !nameMember(bundle, WithoutPrivilege::user - 4, 5, 7, 1))
        || (named && !nameMember(bundle, WithoutPrivilege::user, 7, conditions.contains(u"bundle of a group not the member's") ? 7 : 5))) {
        QVERIFY2(errno == ENOTSUP, qPrintable(qt_error_string(errno)));
        QSKIP("this file system keeps no access lists");
    }
    const QString listBefore = accessListOf(bundle);
    if (conditions.contains(u"install folder's default access list")
        && !grantGroupWrite(install.path(), WithoutPrivilege::user - 1, true)) {
        QVERIFY2(errno == ENOTSUP, qPrintable(qt_error_string(errno)));
        QSKIP("this file system keeps no access lists");
    }
    if (conditions.contains(u"bundle of a group not the user's"))
        QCOMPARE(::chown(QFile::encodeName(bundle).constData(), WithoutPrivilege::user, WithoutPrivilege::user - 3), 0);
    const mode_t modeBefore = modeOf(bundle);
    // Without privilege a read-only folder's entries could not be removed.
    const auto writable = qScopeGuard([&bundle] { ::chmod(QFile::encodeName(bundle).constData(), 0755); });

    MemorySettingsStore settings;
    Delegate delegate;
    delegate.allowRelaunch = !conditions.contains(u"refuse relaunch");
    delegate.postpone = action == u"cancel while settings close";
    QStringList relaunched;
    SignedUpdateFramework::Setup setup = this->setup(bundle, settings);
    if (conditions.contains(u"foreign key"))
        setup.publicKey = QByteArray(32, '\x07');
    if (conditions.contains(u"installed 2.0"))
        setup.currentVersion = QStringLiteral("2.0");
    if (conditions.contains(u"short stall"))
        setup.stallTime = std::chrono::milliseconds(300);
    if (conditions.contains(u"short deadline"))
        setup.downloadDeadline = std::chrono::milliseconds(500);
    if (conditions.contains(u"short idle"))
        setup.idleTime = std::chrono::seconds(4);
    // A feed that takes connections and never answers: how many it took, and
    // how many are still open.
    QTcpServer silentFeed;
    int taken = 0, open = 0;
    connect(&silentFeed, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = silentFeed.nextPendingConnection()) {
            ++taken, ++open;
            connect(socket, &QTcpSocket::disconnected, [&open] { --open; });
        }
    });
    if (conditions.contains(u"silent feed")) {
        QVERIFY(silentFeed.listen(QHostAddress::LocalHost));
        setup.feed = QUrl(QStringLiteral("https://127.0.0.1:%1/appcast.xml").arg(silentFeed.serverPort()));
        setup.idleTime = std::chrono::seconds(8);
    }
    // Another member of a group-writable install folder moves the new bundle
    // away and one of the person's private folders to the app's path.
    const QString privateFolder = install.filePath(QStringLiteral("notes"));
    const bool swapAtRelaunch = conditions.contains(u"folder swapped in during the relaunch");
    const bool swapAtRollBack = conditions.contains(u"folder swapped in at the roll-back");
    const bool swapAtStepAside = conditions.contains(u"folder swapped in as the old bundle steps aside");
    const bool swapBeforeInstall = conditions.contains(u"folder swapped in before the install");
    const bool swapWhileOffered = conditions.contains(u"folder swapped in while the update is offered");
    const bool swapAtPlace = conditions.contains(u"folder swapped in as the new bundle takes its place");
    if (swapAtRelaunch || swapAtRollBack || swapAtStepAside || swapBeforeInstall || swapAtPlace || swapWhileOffered) {
        QVERIFY(QDir().mkpath(privateFolder + QStringLiteral("/private")));
        QFile note(privateFolder + QStringLiteral("/private/note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("mine\n") > 0);
        QCOMPARE(::chmod(QFile::encodeName(privateFolder).constData(), 02700), 0);
    }
    const auto privateBefore = snapshot(privateFolder);
    struct stat swappedIn = {};
    const auto swap = [&] {
        QVERIFY(QFile::rename(bundle, install.filePath(QStringLiteral("moved.app"))));
        QVERIFY(QFile::rename(privateFolder, bundle));
        QCOMPARE(::lstat(QFile::encodeName(bundle).constData(), &swappedIn), 0);
    };
    const bool relaunchFails = conditions.contains(u"relaunch fails");
    PoolHold cleanUp;
    const bool holdCleanUp = conditions.contains(u"clean-up held");
    setup.relaunch = [&relaunched, relaunchFails, swapAtRelaunch, &swap, &cleanUp,
                      holdCleanUp](const QString &executable) {
        relaunched << executable;
        if (holdCleanUp)
            cleanUp.hold();
        if (swapAtRelaunch && relaunched.size() == 1)
            swap();
        return !relaunchFails;
    };
    // Renames counted from the first; the listed ones fail.
    QList<int> failingRenames;
    if (conditions.contains(u"second rename fails"))
        failingRenames << 2;
    if (conditions.contains(u"roll-back fails"))
        failingRenames << 3;
    if (conditions.contains(u"move back fails"))
        failingRenames << (swapAtStepAside ? 2 : 4);
    const bool unsupported = conditions.contains(u"no-replace refused");
    const bool plant = conditions.contains(u"empty folder planted at the app's path");
    int renames = 0;
    setup.rename = [&renames, failingRenames, swapAtRollBack, swapAtStepAside, swapAtPlace, unsupported, plant,
                    &swap](const QString &from, const QString &to) {
        if ((++renames == 3 && swapAtRollBack) || (renames == 1 && swapAtStepAside))
            swap();
        if (renames == 2 && plant)
            QDir().mkdir(to);
        errno = failingRenames.contains(renames) ? EIO : unsupported ? EINVAL : 0;
        if (errno != 0)
            return false;
        const bool moved = QFile::rename(from, to);
        if (moved && renames == 2 && swapAtPlace)
            swap();
        return moved;
    };
    SignedUpdateFramework framework(setup, &delegate);
    delegate.stagedPath = framework.stagingPath() + QStringLiteral("/unpacked/Tavlon.app");

    // A link planted where the cycle keeps its files: what it points to is
    // not the cycle's and stays as it is.
    const QString victim = install.filePath(QStringLiteral("victim"));
    QVERIFY(writeBundle(victim, QStringLiteral("0.1")));
    const auto victimBefore = snapshot(victim);
    if (conditions.contains(u"link at staging"))
        QVERIFY(QFile::link(victim, framework.stagingPath()));
    // Another process plants a link where the cycle lists the archive's
    // members, as soon as its folder is there.
    const QString members = framework.stagingPath() + QStringLiteral("/members.txt");
    const QString victimFile = victim + QStringLiteral("/Contents/Info.plist");
    // Or moves the bundle away, or swaps a folder in, before it steps aside.
    const QString moved = install.filePath(QStringLiteral("moved.app"));
    if (swapBeforeInstall || swapWhileOffered || conditions.contains(u"bundle moved away before the install")) {
        connect(&framework.cycle(), &UpdateCycle::changed, &framework, [&] {
            if (framework.cycle().phase()
                    != (swapWhileOffered ? UpdateCycle::Phase::available : UpdateCycle::Phase::waitingToRelaunch)
                || QFileInfo::exists(moved))
                return;
            if (swapBeforeInstall || swapWhileOffered)
                swap();
            else
                QVERIFY(QFile::rename(bundle, moved));
        });
    }
    if (conditions.contains(u"link at the members listing")) {
        connect(&framework.cycle(), &UpdateCycle::changed, &framework, [&framework, members, victimFile] {
            if (framework.cycle().phase() == UpdateCycle::Phase::downloading && !QFileInfo(members).isSymLink())
                QFile::link(victimFile, members);
        });
    }
    // An earlier cycle's folder: the previous bundle, read-only, holding a
    // folder of another user that no one else may open.
    const QString previous = framework.stagingPath() + QStringLiteral("/previous.app");
    const QString foreign = previous + QStringLiteral("/Contents/foreign");
    if (conditions.contains(u"left over with another user's folder")) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder of another user");
        QVERIFY(writeBundle(previous, QStringLiteral("0.9")) && QDir().mkpath(foreign)
                && QDir().mkpath(previous + QStringLiteral("/Contents/ro/sub")));
        for (const QString &file : {foreign + QStringLiteral("/file"), previous + QStringLiteral("/Contents/ro/sub/file")}) {
            QFile made(file);
            QVERIFY(made.open(QIODevice::WriteOnly) && made.write("left\n") > 0);
        }
        const uid_t anotherUser = WithoutPrivilege::user - 1;
        QCOMPARE(::chown(QFile::encodeName(foreign).constData(), anotherUser, anotherUser), 0);
        QCOMPARE(::chmod(QFile::encodeName(foreign).constData(), 0700), 0);
        for (const char *folder : {"/Contents/ro/sub", "/Contents/ro", "/Contents/MacOS", "/Contents", ""})
            QCOMPARE(::chmod(QFile::encodeName(previous + QLatin1String(folder)).constData(), 0555), 0);
        QCOMPARE(::chmod(QFile::encodeName(framework.stagingPath()).constData(), 0700), 0);
    }
    // A folder at the cycle's path that is not as a cycle leaves it: another
    // member's, holding one of the user's folders; or the user's own, marked
    // as keeping another folder, that its owner made unsearchable.
    const bool forged = conditions.contains(u"forged left-over");
    const bool unsearchable = conditions.contains(u"marked left-over made unsearchable");
    const QByteArray staging = QFile::encodeName(framework.stagingPath());
    const bool leftOpen = conditions.contains(u"left-over open to its group");
    if (leftOpen || conditions.contains(u"left-over holding another file")) {
        QVERIFY(QDir().mkdir(framework.stagingPath()) && ::chmod(staging.constData(), leftOpen ? 0770 : 0700) == 0);
        QVERIFY(QFile(framework.stagingPath() + (leftOpen ? QStringLiteral("/update.tar.gz") : QStringLiteral("/notes.txt")))
                    .open(QIODevice::WriteOnly));
    }
    if (forged || unsearchable) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder of another user");
        QVERIFY(writeBundle(previous, QStringLiteral("0.5")));
        if (unsearchable)
            QVERIFY(QFile(framework.stagingPath() + QStringLiteral("/kept-another-folder")).open(QIODevice::WriteOnly));
        QCOMPARE(::chmod(staging.constData(), forged ? 02777 : 0), 0);
        if (forged)
            QCOMPARE(::chown(staging.constData(), owner, owner), 0);
    }
    // One of the user's folders bound into an interrupted cycle's folder, or
    // onto its path, holding what a cycle leaves there.
    const bool mountedAsLeftOver = conditions.contains(u"left-over mounted");
    const QByteArray mountPoint = mountedAsLeftOver ? staging : staging + "/unpacked/m";
    const QString theirs = install.filePath(QStringLiteral("mounted"));
    bool mounted = false;
    const auto unmount = qScopeGuard([&mounted, &mountPoint] {
        if (mounted)
            ::umount2(mountPoint.constData(), MNT_DETACH);
    });
    if (mountedAsLeftOver || conditions.contains(u"mount inside a left-over")) {
        if (::geteuid() != 0)
            QSKIP("only root can mount a folder");
        QVERIFY(writeBundle(theirs + QStringLiteral("/previous.app"), QStringLiteral("0.2"))
                && QDir().mkpath(QFile::decodeName(mountPoint)));
        QCOMPARE(::chmod(QFile::encodeName(theirs).constData(), mountedAsLeftOver ? 0700 : 0500), 0);
        QCOMPARE(::chmod(staging.constData(), 0700), 0);
        mounted =
            ::mount(QFile::encodeName(theirs).constData(), mountPoint.constData(), nullptr, MS_BIND, nullptr) == 0;
        if (!mounted)
            QSKIP("no mounting here (root without CAP_SYS_ADMIN)");
    }
    const auto leftBefore = snapshot(framework.stagingPath());
    // The app quits while the cycle clears an interrupted cycle's folder (held
    // behind the pool's other work): the cycle makes nothing after that.
    if (conditions.contains(u"quit while the left-over is cleared")) {
        QVERIFY(QDir().mkdir(framework.stagingPath()) && ::chmod(staging.constData(), 0700) == 0);
        QVERIFY(QFile(framework.stagingPath() + QStringLiteral("/update.tar.gz")).open(QIODevice::WriteOnly));
        PoolHold pool;
        pool.hold();
        auto quitting = std::make_unique<SignedUpdateFramework>(setup, &delegate);
        QVERIFY(!quitting->startUpdater());
        quitting->checkForUpdates();
        QTRY_COMPARE_WITH_TIMEOUT(quitting->cycle().phase(), UpdateCycle::Phase::available, 30000);
        quitting->cycle().install();
        QCoreApplication::processEvents(); // on to the clear, which waits for the pool
        quitting.reset();
        pool.release();
        QCoreApplication::sendPostedEvents();
        QVERIFY(!QFileInfo::exists(framework.stagingPath()));
        QCOMPARE(delegate.cycles, 0);
        return;
    }
    const DescriptorLimit limit(conditions.contains(u"descriptor limit"));
    QVERIFY(!framework.startUpdater());

    UpdateCycle &cycle = framework.cycle();
    if (action.startsWith(u"its ")) {
        QMainWindow remaining;
        remaining.show();
        const bool settings = action.startsWith(u"its settings");
        QPointer<QWidget> closing = settings ? new QDialog(&remaining) : new QWidget(nullptr, Qt::Window);
        closing->setWindowModality(settings ? Qt::WindowModal : Qt::NonModal);
        closing->setAttribute(Qt::WA_DeleteOnClose);
        closing->show();
        closing->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(closing));
        UpdateCycleDialog::showWhenActive(cycle);
        framework.checkForUpdates();
        QPointer<UpdateCycleDialog> shown;
        QTRY_VERIFY((shown = closing->findChild<UpdateCycleDialog *>()));
        if (action.endsWith(u"while checking"))
            QTRY_COMPARE(taken, 1);
        else
            QTRY_COMPARE_WITH_TIMEOUT(cycle.phase(), UpdateCycle::Phase::available, 30000);
        const bool installing = action.endsWith(u"as Install is chosen");
        if (installing) { // and the window closes in the same turn
            QTest::keyClick(shown->windowHandle(), Qt::Key_Tab);
            QTest::keyClick(shown->windowHandle(), Qt::Key_Return);
        }
        closing->close();
        QTRY_VERIFY(!closing);
        if (installing || settings) {
            // The cycle goes on in view over the remaining window, where a
            // Return typed again does not cancel the download.
            QVERIFY(shown && shown->isVisible() && shown->parentWidget() == &remaining);
            if (installing) {
                QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::downloading && cycle.progress() > 0,
                                         30000);
                QTest::keyClick(shown->windowHandle(), Qt::Key_Return);
            }
            QCOMPARE(cycle.phase(), installing ? UpdateCycle::Phase::downloading : UpdateCycle::Phase::available);
            QCOMPARE(delegate.cycles, 0);
            shown->findChild<QPushButton *>(QStringLiteral("sorvane.updates.cycle.dismiss"))->click();
        }
        // Otherwise as the person's Later or Cancel: over at once, nothing
        // reported then or later, and the remaining window can check again.
        QTRY_COMPARE(delegate.cycles, 1);
        QVERIFY(!delegate.failure && framework.canCheckForUpdates());
        QTRY_VERIFY(!shown);
        QTRY_COMPARE(open, 0);
        QVERIFY(!QFileInfo::exists(framework.stagingPath()));
        QCOMPARE(snapshot(bundle), before);
        return;
    }
    UpdateCycleDialog window(cycle);
    window.show();
    auto *installButton = window.findChild<QPushButton *>(QStringLiteral("sorvane.updates.cycle.install"));
    auto *dismissButton = window.findChild<QPushButton *>(QStringLiteral("sorvane.updates.cycle.dismiss"));
    auto *notes = window.findChild<QLabel *>(QStringLiteral("sorvane.updates.cycle.releaseNotes"));
    auto *text = window.findChild<QLabel *>(QStringLiteral("sorvane.updates.cycle.text"));
    QVERIFY(installButton && dismissButton && notes && text);
    // The buttons shown end the row, Install before Later, Cancel or Close and
    // there once offered, enabled only for the offer.
    const auto buttonsInPlace = [&] {
        window.layout()->activate();
        return dismissButton->isVisible()
            && dismissButton->geometry().right() == window.width() - window.layout()->contentsMargins().right() - 1
            && (!installButton->isVisible() || installButton->geometry().right() < dismissButton->geometry().left())
            && installButton->isVisible() == cycle.item().has_value()
            && installButton->isEnabled() == (cycle.phase() == UpdateCycle::Phase::available);
    };
    bool downloadBegan = false;
    connect(&cycle, &UpdateCycle::changed, &window,
            [&] { downloadBegan = downloadBegan || cycle.phase() == UpdateCycle::Phase::downloading; });

    // The bundle owner's install folder, keeping entries to their owners, or
    // only its owner's to write into; or another user's holding the user's app.
    const bool sticky = conditions.contains(u"sticky install folder");
    const bool ownersOnly = conditions.contains(u"install folder its owner's only");
    const bool othersFolder = conditions.contains(u"another user's install folder");
    if (othersFolder && ::geteuid() != 0)
        QSKIP("only root can make a folder of another user");
    if (sticky || ownersOnly || othersFolder) {
        const gid_t group = othersFolder ? owner : *sharedGroup;
        QCOMPARE(::chown(QFile::encodeName(install.path()).constData(), owner, group), 0);
        QCOMPARE(::chmod(QFile::encodeName(install.path()).constData(), sticky ? 03775 : othersFolder ? 0755 : 02755),
                 0);
    }
    std::optional<WithoutPrivilege> unprivileged;
    unprivileged.emplace(conditions.contains(u"without privilege"), install.path(), sharedGroup);
    QVERIFY(!unprivileged->failed());
    const bool readOnlyFolder = conditions.contains(u"read-only install folder");
    if (readOnlyFolder)
        QCOMPARE(::chmod(QFile::encodeName(install.path()).constData(), 0555), 0);
    const auto folderBack = qScopeGuard([&install, readOnlyFolder] {
        if (readOnlyFolder)
            ::chmod(QFile::encodeName(install.path()).constData(), 0700);
    });
    // The install folder, or the app, bound onto itself read-only: on a disk
    // that cannot be written to.
    const bool appReadOnly = conditions.contains(u"app on a read-only disk");
    const QByteArray readOnly = QFile::encodeName(appReadOnly ? bundle : install.path());
    // Root's to mount, also in a row without privilege (root is its saved id).
    const auto asRoot = [](const auto &call) {
        const uid_t was = ::geteuid();
        const bool raised = ::seteuid(0) == 0;
        const int result = raised ? call() : -1;
        ::seteuid(was);
        return result;
    };
    bool readOnlyDisk = false;
    const auto unbind = qScopeGuard([&readOnlyDisk, &readOnly, &asRoot] {
        if (readOnlyDisk)
            asRoot([&readOnly] { return ::umount2(readOnly.constData(), MNT_DETACH); });
    });
    if (appReadOnly || conditions.contains(u"install folder on a read-only disk")) {
        uid_t real, effective, saved;
        if (::getresuid(&real, &effective, &saved) != 0 || saved != 0)
            QSKIP("only root can mount a folder");
        readOnlyDisk = asRoot([&readOnly] {
            return ::mount(readOnly.constData(), readOnly.constData(), nullptr, MS_BIND, nullptr);
        }) == 0;
        if (!readOnlyDisk)
            QSKIP("no mounting here (root without CAP_SYS_ADMIN)");
        QCOMPARE(asRoot([&readOnly] {
                     return ::mount(nullptr, readOnly.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
                 }),
                 0);
    }
    const gid_t groupBefore = groupOf(bundle);
    if (sharedGroup && !sticky && !ownersOnly) {
        QCOMPARE(::chown(QFile::encodeName(install.path()).constData(), uid_t(-1), *sharedGroup), 0);
        QCOMPARE(::chmod(QFile::encodeName(install.path()).constData(), 02775), 0);
    }
    const mode_t umaskBefore = ::umask(conditions.contains(u"umask 0077")   ? 0077
                                       : conditions.contains(u"umask 0002") ? 0002
                                       : conditions.contains(u"umask 0000") ? 0000
                                                                            : 0022);
    const auto umaskBack = qScopeGuard([umaskBefore] { ::umask(umaskBefore); });
    framework.checkForUpdates();
    QVERIFY(!framework.canCheckForUpdates());
    if (silentFeed.isListening()) {
        QTRY_COMPARE(taken, 1);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        if (action == u"cancel while checking")
            dismissButton->click();
        else if (action == u"Escape while checking")
            QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
        else
            window.windowHandle()->close();
        // Ended at once, not at the idle time-out: nothing reported, its connection closed.
        QTRY_COMPARE(delegate.cycles, 1);
        QVERIFY(!delegate.failure && framework.canCheckForUpdates());
        QTRY_COMPARE(open, 0);
        // A new check asks afresh, and fails only at its own idle time-out.
        framework.checkForUpdates();
        QTRY_COMPARE(taken, 2);
        QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, 2, 30000);
        QCOMPARE(delegate.failure, std::optional(unreachable));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::available || delegate.cycles == 1, 30000);
    if (cycle.phase() == UpdateCycle::Phase::available) {
        QCOMPARE(cycle.item()->version, QStringLiteral("2.0"));
        QCOMPARE(cycle.text(), QStringLiteral("Version 2.0 is available. You have version 1.0."));
        QVERIFY(installButton->isVisible());
        QCOMPARE(dismissButton->text(), QStringLiteral("Later"));
        QVERIFY(buttonsInPlace());
        // The release notes the feed item names, and no link without them.
        if (scenario == u"release-notes") {
            QVERIFY(notes->isVisible());
            QVERIFY(notes->text().contains(
                QStringLiteral("href=\"https://127.0.0.1/downloads/sorvane/release-notes.html\"")));
        } else {
            QVERIFY(!notes->isVisible());
        }
        // Several choices in one turn of the event loop are harmless.
        if (action == u"later") {
            dismissButton->click();
        } else if (action == u"later while the left-over is cleared") {
            // What the clearing then fails at is not reported: the person cancelled.
            cleanUp.hold();
            installButton->click();
            QCoreApplication::processEvents(); // on to the clear, which waits for the pool
            dismissButton->click();
            cleanUp.release();
        } else {
            const QPoint where = installButton->mapTo(&window, installButton->rect().center());
            installButton->click();
            if (action == u"install twice") {
                installButton->click();
                // A double click: the second press lands where the button was,
                // as the update has begun.
                QTRY_VERIFY(cycle.phase() != UpdateCycle::Phase::available);
                window.layout()->activate();
                if (auto *under = qobject_cast<QPushButton *>(window.childAt(where)))
                    under->click();
            }
            if (action == u"install then later")
                dismissButton->click();
        }
    }
    if (action == u"cancel while downloading") {
        // Once the feed has begun to send: the cycle shows the download before
        // its request has left, and a request cancelled before that never
        // reaches the feed.
        QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::downloading && cycle.progress() > 0, 30000);
        QCOMPARE(dismissButton->text(), QStringLiteral("Cancel"));
        QVERIFY(buttonsInPlace());
        // A window the person made taller stays so as the progress moves.
        window.resize(window.width(), window.height() + 40);
        const int taller = window.height();
        cycle.set(UpdateCycle::Phase::downloading, cycle.text(), 0.5);
        QCOMPARE(window.height(), taller);
        // The transfer ends with the cycle: the feed sees the app go away.
        const auto feedSawItEnd = [this] {
            QFile ended(m_hello.value(QStringLiteral("tools")).toString() + QStringLiteral("/var/updates/slow-ended"));
            return ended.open(QIODevice::ReadOnly) ? ended.readAll().count('\n') : 0;
        };
        const qsizetype endedBefore = feedSawItEnd();
        dismissButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(feedSawItEnd() > endedBefore, 30000);
    }
    if (action == u"cancel while settings close") {
        QTRY_VERIFY_WITH_TIMEOUT(cycle.phase() == UpdateCycle::Phase::waitingToRelaunch, 30000);
        QCOMPARE(dismissButton->text(), QStringLiteral("Cancel"));
        dismissButton->click();
    }
    if (holdCleanUp) {
        // The new version runs, and the app may end before the clean-up: the
        // previous version left there is no longer marked as kept.
        QTRY_COMPARE_WITH_TIMEOUT(cycle.phase(), UpdateCycle::Phase::idle, 30000);
        QVERIFY(QFileInfo::exists(previous + QStringLiteral("/Contents/Info.plist")));
        QVERIFY(!QFileInfo::exists(framework.stagingPath() + QStringLiteral("/kept-previous-version")));
        cleanUp.release();
    }
    QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, 1, 60000);
    QVERIFY(framework.canCheckForUpdates());
    // A feed that was read counts as a check, also for the next launch.
    const bool feedRead = !conditions.contains(u"foreign key") && scenario != u"oversized-feed";
    QCOMPARE(framework.lastUpdateCheckDate().has_value(), feedRead);
    QCOMPARE(SignedUpdateFramework(setup, &delegate).lastUpdateCheckDate(), framework.lastUpdateCheckDate());

    // Nothing outside the cycle's own folder was removed or changed.
    QCOMPARE(snapshot(victim), victimBefore);
    if (conditions.contains(u"link at staging")) {
        QVERIFY(QFileInfo(framework.stagingPath()).isSymLink());
        QVERIFY(QFile::remove(framework.stagingPath()));
    } else if (conditions.contains(u"link at the members listing")) {
        // What the cycle made is gone; the link is left as it was, and the
        // folder with it.
        QCOMPARE(QDir(framework.stagingPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{"members.txt"});
        QCOMPARE(QFileInfo(members).symLinkTarget(), victimFile);
        QVERIFY(QFile::remove(members) && QDir().rmdir(framework.stagingPath()));
    } else if (conditions.contains(u"left over with another user's folder")) {
        // All of it went but the folder it could not open, and the folders
        // holding that one.
        QStringList left;
        QDirIterator it(framework.stagingPath(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            left << QDir(framework.stagingPath()).relativeFilePath(it.next());
        left.sort();
        QCOMPARE(left, QStringList({"previous.app", "previous.app/Contents", "previous.app/Contents/foreign"}));
    } else if (outcome == u"left over kept") {
        // Nothing in it was removed or changed.
        if (unsearchable)
            QCOMPARE(::chmod(staging.constData(), 0700), 0);
        QCOMPARE(snapshot(framework.stagingPath()), leftBefore);
        if (mounted) // not even opened up
            QCOMPARE(modeOf(theirs), mode_t(mountedAsLeftOver ? 0700 : 0500));
    } else if (outcome == u"kept aside" || outcome == u"swapped") {
        // The previous bundle is the only copy: kept where it stepped aside
        // (the app's path holds the folder swapped in, if any).
        QCOMPARE(snapshot(previous), before);
        QCOMPARE(QFileInfo::exists(bundle), outcome == u"swapped" || plant);
        if (!conditions.contains(u"then again") && !conditions.contains(u"a later run"))
            QDir(framework.stagingPath()).removeRecursively();
    } else if (outcome == u"not put back") {
        // The folder swapped in is kept where the sentence says, and so is
        // the previous version where it stepped aside.
        QCOMPARE(snapshot(swapAtStepAside ? previous : delegate.stagedPath), privateBefore);
        if (swapAtRollBack)
            QCOMPARE(snapshot(previous), before);
        QVERIFY(!QFileInfo::exists(bundle));
    } else {
        QVERIFY(!QFileInfo::exists(framework.stagingPath()));
    }

    // Check for Updates, then Install, once more in the same run.
    const auto installAgain = [&] {
        framework.checkForUpdates();
        QTRY_COMPARE_WITH_TIMEOUT(cycle.phase(), UpdateCycle::Phase::available, 30000);
        installButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, 2, 60000);
    };
    if (outcome == u"installed") {
        QVERIFY(!delegate.failure);
        if (unreadable)
            unprivileged.reset(); // to read it
        // Verified and staged before the delegate was asked, then put in place.
        QVERIFY(delegate.staged.value(QStringLiteral("Contents/Info.plist")).contains("<string>2.0</string>"));
        QCOMPARE(snapshot(bundle), delegate.staged);
        QCOMPARE(relaunched, QStringList{bundle + QStringLiteral("/Contents/MacOS/Tavlon")});
        QVERIFY(QFileInfo(relaunched.first()).isExecutable());
        // The folder has the mode the person gave the old one, whatever this
        // run's umask. Its group writes only as the same people did: still its
        // owner's only to write into where an access list let another group
        // write (no list came with the new one), the old group carried over
        // from a shared folder, or no write for the shared folder's group.
        mode_t modeAfter = modeBefore;
        if (conditions.contains(u"bundle of a group not the user's"))
            modeAfter &= ~mode_t(S_IWGRP);
        QCOMPARE(modeOf(bundle), modeAfter);
        // Named entries stay where the group changed, without write.
        if (conditions.contains(u"bundle of a group not the user's") && !listBefore.isEmpty())
            QCOMPARE(accessListOf(bundle),
                     QStringLiteral("user::r-x,user:65530:r-x,group::r-x,group:65533:r-x,mask::r-x,other::r-x"));
        else
            QCOMPARE(accessListOf(bundle), listBefore);
        if (sharedGroup && !conditions.contains(u"bundle of a group not the user's"))
            QCOMPARE(groupOf(bundle), groupBefore);
        // Whoever may open the bundle may run the app, whatever the umask.
        const QString contents = bundle + QStringLiteral("/Contents");
        QCOMPARE(modeOf(contents) & 055, modeBefore & 055);
        QCOMPARE(modeOf(contents + QStringLiteral("/Info.plist")) & 0111, mode_t(0));
        // Only the person, and the group where it shares the bundle, may change
        // the app's code, whatever the archive and the umask; a member its access
        // list denies stays denied inside; a list the install folder's owner set stays.
        const bool groupShares = modeBefore & S_IWGRP && listBefore.isEmpty()
            && !conditions.contains(u"bundle of a group not the user's");
        QCOMPARE(writableByOthers(contents, groupShares), QStringList());
        if (groupShares)
            QVERIFY(modeOf(contents) & S_IWGRP);
        if (conditions.contains(u"access list denying a member")) {
            QVERIFY(accessListOf(contents).contains(QStringLiteral("user:%1:r-x,").arg(WithoutPrivilege::user - 4)));
            QVERIFY(accessListOf(contents + QStringLiteral("/Info.plist"))
                        .contains(QStringLiteral("user:%1:r--,").arg(WithoutPrivilege::user - 4)));
            QCOMPARE(accessListOf(contents).contains(u"group::rwx"), groupBefore == groupOf(bundle));
            QVERIFY(accessListOf(contents).contains(u"group:65533:r-x"));
        }
        if (conditions.contains(u"narrow mask"))
            QVERIFY(accessListOf(contents).contains(QStringLiteral("group:65533:--x,")));
        if (conditions.contains(u"install folder's default access list"))
            QVERIFY(modeOf(bundle + QStringLiteral("/Contents")) & S_IWGRP);
        // The bundle now at the app's path is the one the next update moves
        // aside; the one before it goes with the clean-up.
        if (conditions.contains(u"then again")) {
            installAgain();
            QVERIFY(!delegate.failure);
            QCOMPARE(snapshot(bundle), delegate.staged);
            QVERIFY(!QFileInfo::exists(framework.stagingPath()));
        }
        // The member's bundle stays shared: its owner installs the next
        // update and clears the member's away.
        if (conditions.contains(u"then by its owner")) {
            unprivileged.reset();
            unprivileged.emplace(true, install.path(), sharedGroup, owner);
            QVERIFY(!unprivileged->failed());
            installAgain();
            QVERIFY(!delegate.failure);
            QCOMPARE(QFileInfo(bundle).ownerId(), owner);
            QCOMPARE(modeOf(bundle), modeBefore);
            QVERIFY(!QFileInfo::exists(framework.stagingPath()));
        }
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::idle);
        return;
    }
    if (outcome == u"up to date") {
        QVERIFY(!delegate.failure);
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::upToDate);
        QCOMPARE(cycle.text(), QStringLiteral("You have the newest version (%1).").arg(setup.currentVersion));
        QCOMPARE(dismissButton->text(), QStringLiteral("Close"));
        QVERIFY(buttonsInPlace());
        // No band left where the progress of the check stood.
        QTRY_COMPARE(window.height(), window.layout()->totalHeightForWidth(window.width()));
    } else if (failure.isEmpty()) {
        QVERIFY(!delegate.failure);
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::idle);
    } else {
        const QString named = outcome == u"kept aside" ? previous
            : failure.contains(u"the app at") || outcome == u"left" || appReadOnly ? bundle
            : failure.contains(u"write access") || failure.contains(u"disk") ? install.path()
                                                                     : framework.stagingPath();
        const QString expected = failure.contains(u"belongs to") ? failure.arg(named, nameOf(owner))
            : failure.contains(u"%3")                            ? failure.arg(bundle, delegate.stagedPath, previous)
            : failure.contains(u"%2")                    ? failure.arg(bundle, previous)
            : failure.contains(u"%1")                    ? failure.arg(named)
                                                         : failure;
        QCOMPARE(delegate.failure, std::optional(expected));
        QCOMPARE(cycle.phase(), UpdateCycle::Phase::failed);
        QVERIFY(window.isVisible());
        QVERIFY(!readOnlyDisk || !downloadBegan); // said before anything is fetched
        QCOMPARE(cycle.text(), expected);
        QVERIFY(buttonsInPlace());
        // The whole sentence shows, however long its folders' paths are, and
        // the window fits a short one after it.
        cycle.set(UpdateCycle::Phase::failed, expected + QLatin1Char(' ') + expected);
        QTRY_VERIFY(text->height() >= text->heightForWidth(text->width()));
        const int tall = window.height();
        cycle.set(UpdateCycle::Phase::failed, QStringLiteral("Short."));
        QTRY_COMPARE(window.height(), window.layout()->totalHeightForWidth(window.width()));
        QVERIFY(window.height() < tall);
    }
    if (outcome == u"swapped" || outcome == u"left") {
        // The folder found at the app's path is neither changed, nor moved,
        // nor removed: a move aside and back would show in its change time.
        struct stat after;
        QCOMPARE(::lstat(QFile::encodeName(bundle).constData(), &after), 0);
        QCOMPARE(after.st_ino, swappedIn.st_ino);
        QCOMPARE(after.st_mode & 07777, mode_t(02700));
        QCOMPARE(snapshot(bundle), privateBefore);
        if (swapAtRelaunch || swapBeforeInstall || swapAtPlace || swapWhileOffered)
            QVERIFY(after.st_ctim.tv_sec == swappedIn.st_ctim.tv_sec
                    && after.st_ctim.tv_nsec == swappedIn.st_ctim.tv_nsec);
        // Found before anything was downloaded.
        QVERIFY(!swapWhileOffered || !downloadBegan);
        // Installing again finds it still there: it and the previous version
        // kept aside stay as they are.
        if (conditions.contains(u"then again")) {
            installAgain();
            QCOMPARE(delegate.failure,
                     std::optional(QStringLiteral("Another folder is at %1. It was left as it is, and nothing was "
                                                  "installed.")
                                       .arg(bundle)));
            QCOMPARE(snapshot(previous), before);
            QCOMPARE(snapshot(bundle), privateBefore);
            QCOMPARE(modeOf(bundle), mode_t(02700));
        }
    } else if (outcome == u"not put back" && conditions.contains(u"then again")) {
        // The old bundle comes back to the app's path (as the person may put
        // it back); installing again clears nothing of the folder kept aside.
        QVERIFY(QFile::rename(install.filePath(QStringLiteral("moved.app")), bundle));
        installAgain();
        QCOMPARE(delegate.failure,
                 std::optional(QStringLiteral("The update could not be installed, because the folder %1 from an "
                                              "earlier update keeps another folder that is not the app's. Move what "
                                              "you need out of it and remove that folder, then try again.")
                                   .arg(framework.stagingPath())));
        QCOMPARE(snapshot(previous), privateBefore);
        QCOMPARE(snapshot(bundle), before);
    } else if (outcome == u"moved away") {
        QVERIFY(!QFileInfo::exists(bundle));
        QCOMPARE(snapshot(moved), before);
    } else if (outcome != u"kept aside" && outcome != u"not put back") {
        if (!conditions.contains(u"unreadable")) // to the user
            QCOMPARE(snapshot(bundle), before);
        QCOMPARE(modeOf(bundle), modeBefore);
    }
    // The new executable was started only when it stood in place; a start
    // that failed left the old bundle back where it was.
    QCOMPARE(relaunched.size(),
             conditions.contains(u"relaunch fails") || (outcome == u"swapped" && !swapAtPlace) ? 1 : 0);
    // The person puts a copy of the app in place: in a later run the previous
    // version kept aside stays where they were told it is, until they move it.
    if (conditions.contains(u"a later run")) {
        QVERIFY(!QFileInfo::exists(bundle) || QFile::rename(bundle, install.filePath(QStringLiteral("found.app"))));
        QVERIFY(writeBundle(bundle, QStringLiteral("1.0")));
        SignedUpdateFramework later(setup, &delegate);
        QVERIFY(!later.startUpdater());
        const auto installLater = [&](int cycles) {
            later.checkForUpdates();
            QTRY_COMPARE_WITH_TIMEOUT(later.cycle().phase(), UpdateCycle::Phase::available, 30000);
            later.cycle().install();
            QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, cycles, 60000);
        };
        installLater(2);
        QCOMPARE(delegate.failure,
                 std::optional(QStringLiteral("The update could not be installed, because an earlier update kept the "
                                              "previous version in %1. Move it out of the way, then try again.")
                                   .arg(previous)));
        QCOMPARE(snapshot(previous), before);
        QVERIFY(QFile::rename(previous, install.filePath(QStringLiteral("kept.app"))));
        installLater(3);
        const QString notStarted =
            QStringLiteral("The new version could not be started, so the previous version was put back.");
        QCOMPARE(delegate.failure, relaunchFails ? std::optional(notStarted) : std::nullopt);
        QVERIFY(!QFileInfo::exists(later.stagingPath()));
    }
}

void TestSignedUpdate::automaticChecks_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<bool>("busy");
    QTest::newRow("overdue at start") << true << false;
    QTest::newRow("overdue at start, a window busy") << true << true;
    QTest::newRow("automatic checks off") << false << false;
}

// An automatic check that fell due while the app was closed is made up once
// at start, never while a window runs a transfer or account operation.
void TestSignedUpdate::automaticChecks()
{
    QFETCH(bool, automatic);
    QFETCH(bool, busy);
    setScenario(QStringLiteral("downgrade"));
    QTemporaryDir install;
    const QString bundle = install.filePath(QStringLiteral("Tavlon.app"));
    QVERIFY(writeBundle(bundle, QStringLiteral("1.0")));
    MemorySettingsStore settings;
    settings.setValue(QString::fromLatin1(SignedUpdateFramework::automaticChecksKey), automatic);
    const QDateTime overdue = QDateTime::currentDateTimeUtc().addDays(-2);
    settings.setValue(QString::fromLatin1(SignedUpdateFramework::lastCheckKey), overdue.toString(Qt::ISODateWithMs));
    Delegate delegate;
    delegate.busy = busy;
    SignedUpdateFramework::Setup setup = this->setup(bundle, settings);
    setup.busyRetry = std::chrono::milliseconds(20);
    SignedUpdateFramework framework(setup, &delegate);
    QVERIFY(!framework.startUpdater());
    QCOMPARE(framework.lastUpdateCheckDate()->toSecsSinceEpoch(), overdue.toSecsSinceEpoch());

    if (!automatic) {
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(delegate.backgroundAsks, 0);
        QCOMPARE(framework.cycle().phase(), UpdateCycle::Phase::idle);
        return;
    }
    if (busy) {
        // Asked, refused, asked again: no check meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(delegate.backgroundAsks >= 3, 10000);
        QCOMPARE(delegate.cycles, 0);
        QCOMPARE(framework.cycle().phase(), UpdateCycle::Phase::idle);
        QCOMPARE(framework.lastUpdateCheckDate()->toSecsSinceEpoch(), overdue.toSecsSinceEpoch());
        delegate.busy = false;
    }
    QTRY_COMPARE_WITH_TIMEOUT(delegate.cycles, 1, 30000);
    QVERIFY(!delegate.failure);
    QVERIFY(*framework.lastUpdateCheckDate() > overdue.addDays(1));
    // Found nothing new: the person was not shown a thing.
    QCOMPARE(framework.cycle().phase(), UpdateCycle::Phase::idle);
    QVERIFY(framework.cycle().isBackground());
    const int asks = delegate.backgroundAsks;
    for (int turn = 0; turn < 5; ++turn)
        QCoreApplication::processEvents();
    QCOMPARE(delegate.cycles, 1); // once
    QCOMPARE(delegate.backgroundAsks, asks);
}

void TestSignedUpdate::archiveOncePerBuild_data()
{
    // Between two starts of the feed: "none", "small file rewritten" (as it was), "small file
    // changed", "large file rebuilt" (other bytes of the same size), "large file rewritten" (other
    // bytes of the same size and time, as cp -p and install -p leave it), "version" (another one
    // offered), "packing code" (the feed packs other bytes), "fifo" or "hard link" (found at the
    // archive's name). "two at once": the first start is two feeds at the same moment.
    // A small file rewritten and a large file rebuilt get a later time, as they would.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("kept");
    QTest::newRow("same build") << "none" << true;
    QTest::newRow("a run rewrote a small file as it was") << "small file rewritten" << true;
    QTest::newRow("a small file changed") << "small file changed" << false;
    QTest::newRow("a large file rebuilt") << "large file rebuilt" << false;
    QTest::newRow("a large file rewritten with its size and time") << "large file rewritten" << false;
    QTest::newRow("another version offered") << "version" << false;
    QTest::newRow("the packing code edited") << "packing code" << false;
    QTest::newRow("two feeds started at once") << "two at once" << true;
    QTest::newRow("a FIFO at the archive's name") << "fifo" << false;
    QTest::newRow("a hard link at the archive's name") << "hard link" << false;
}

// The feed packs the offered archive once per build of the bundle, into its
// own folder, readable by its owner only, and a later start of the same
// build serves that very file: no hostile variant is made before its
// scenario is asked for, an earlier build's archive is removed, and what is
// not a plain file of its own at the archive's name is replaced unread.
void TestSignedUpdate::archiveOncePerBuild()
{
    QFETCH(QString, change);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString tools = dir.filePath(QStringLiteral("tooling"));
    QVERIFY(copyTools(tools));
    const QString bundle = dir.filePath(QStringLiteral("source/Tavlon.app"));
    QVERIFY(writeBundle(bundle, QStringLiteral("1.0")));
    QFile small(bundle + QStringLiteral("/Contents/Resources/address"));
    QFile large(bundle + QStringLiteral("/Contents/MacOS/Tavlon"));
    QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/Resources")));
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write("https://127.0.0.1:50001\n") > 0);
    small.close();
    QVERIFY(large.open(QIODevice::WriteOnly) && large.write(QByteArray(2 * 1024 * 1024, '#')) > 0);
    large.close();
    const QString folder = tools + QStringLiteral("/var/updates");

    QProcess first;
    QProcess beside;
    if (change == u"two at once")
        launchFeed(beside, tools, bundle, QStringLiteral("2.0"));
    QVERIFY(!startFeed(first, tools, bundle, QStringLiteral("2.0")).isEmpty());
    if (change == u"two at once")
        QVERIFY2(!feedHello(beside).isEmpty(), "a feed started beside another did not start");
    const QStringList made = archivesIn(folder);
    QCOMPARE(made.size(), 1);
    QVERIFY2(made.first().endsWith(u" 600"), qPrintable(made.first()));
    for (QProcess *feed : {&first, &beside})
        feed->terminate();
    QVERIFY(first.waitForFinished(10000));
    beside.waitForFinished(10000);

    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(3600);
    if (change.startsWith(u"small file")) {
        const char *text = change.endsWith(u"changed") ? "https://127.0.0.1:50002\n" : "https://127.0.0.1:50001\n";
        QVERIFY(small.open(QIODevice::WriteOnly) && small.write(text) > 0);
        QVERIFY(small.setFileTime(later, QFileDevice::FileModificationTime));
        small.close();
    }
    if (change.startsWith(u"large file")) {
        struct stat was;
        QVERIFY(::stat(QFile::encodeName(large.fileName()).constData(), &was) == 0);
        QVERIFY(large.open(QIODevice::WriteOnly) && large.write(QByteArray(2 * 1024 * 1024, '%')) > 0 && large.flush());
        const struct timespec times[2] = {was.st_atim, was.st_mtim};
        if (change.endsWith(u"rebuilt"))
            QVERIFY(large.setFileTime(later, QFileDevice::FileModificationTime));
        else
            QVERIFY(::futimens(large.handle(), times) == 0);
        large.close();
    }
    if (change == u"packing code") {
        QFile code(tools + QStringLiteral("/standin/update_server.py"));
        QVERIFY(code.open(QIODevice::ReadWrite));
        const QByteArray edited = code.readAll().replace("compresslevel=1", "compresslevel=2");
        QVERIFY(code.seek(0) && code.write(edited) == edited.size());
    }
    const QByteArray archive = QFile::encodeName(folder + u'/' + made.first().section(u' ', 0, 0));
    if (change == u"fifo")
        QVERIFY(::unlink(archive.constData()) == 0 && ::mkfifo(archive.constData(), 0600) == 0);
    if (change == u"hard link")
        QVERIFY(::link(archive.constData(), QFile::encodeName(dir.filePath(QStringLiteral("elsewhere"))).constData()) == 0);
    const QStringList before = archivesIn(folder);
    QProcess second;
    const QString version = change == u"version" ? QStringLiteral("3.0") : QStringLiteral("2.0");
    QVERIFY(!startFeed(second, tools, bundle, version).isEmpty());
    const QStringList after = archivesIn(folder);
    QCOMPARE(after.size(), 1);
    QVERIFY2(after.first().endsWith(u" 600"), qPrintable(after.first()));
    QCOMPARE(after == before, kept);
    second.terminate();
    QVERIFY(second.waitForFinished(10000));
}

void TestSignedUpdate::accessOfTheRunningBundleOnly_data()
{
    // The folder at the app's path is the running bundle, or another one
    // (another device and inode) put there in the moment since the look.
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("giveOnly");
    QTest::addColumn<int>("mode");
    QTest::newRow("the bundle, unreadable to its owner") << true << false << 0311;
    QTest::newRow("another folder in its place") << false << false << 0311;
    QTest::newRow("another readable folder in its place") << false << false << 0755;
    QTest::newRow("owner access for another folder in its place") << false << true << 0311;
}

// Only the running bundle's access is read, or its mode changed, and an own
// folder its owner may not read keeps its mode.
void TestSignedUpdate::accessOfTheRunningBundleOnly()
{
    QFETCH(bool, running);
    QFETCH(bool, giveOnly);
    QFETCH(int, mode);
    QTemporaryDir install;
    const QByteArray bundle = QFile::encodeName(install.filePath(QStringLiteral("Tavlon.app")));
    struct stat status;
    QVERIFY(::mkdir(bundle.constData(), 0700) == 0 && ::chmod(bundle.constData(), mode_t(mode)) == 0
            && ::lstat(bundle.constData(), &status) == 0);
    const quint64 inode = running ? status.st_ino : status.st_ino + 1;
    const WithoutPrivilege unprivileged(true, install.path());
    QVERIFY(!unprivileged.failed());
    const UpdateFolders::Descriptor parent = UpdateFolders::openParent(QFile::decodeName(bundle));
    if (giveOnly) {
        QVERIFY(!UpdateFolders::giveOwnerAccess(parent.get(), "Tavlon.app", status.st_dev, inode));
    } else {
        const auto access = UpdateFolders::bundleAccessOf(parent.get(), "Tavlon.app", status.st_dev, inode);
        QCOMPARE(access.has_value(), running);
        QCOMPARE(access ? access->mode : mode_t(mode), mode_t(mode));
    }
    QCOMPARE(modeOf(QFile::decodeName(bundle)), mode_t(mode));
}

namespace {

// Puts `cycle` in one of its phases as the machinery does, with release notes
// in the item offered where `notes`.
void enter(UpdateCycle &cycle, const QString &name, bool notes)
{
    using Phase = UpdateCycle::Phase;
    static const std::map<QString, std::pair<Phase, QString>> phases{
        {"checking", {Phase::checking, "Looking for updates…"}},
        {"automatic check", {Phase::checking, "Looking for updates…"}},
        {"offer", {Phase::available, "Version 2.0 is available. You have version 1.0."}},
        {"up to date", {Phase::upToDate, "You have the newest version (1.0)."}},
        {"downloading", {Phase::downloading, "Downloading version 2.0…"}},
        {"preparing", {Phase::preparing, "Verifying and unpacking the update…"}},
        {"waiting",
         {Phase::waitingToRelaunch, "The update is ready. It is installed as soon as the settings are closed."}},
        {"not restarted", {Phase::failed, "The app was not restarted. Install the update again later."}},
        {"relaunch", {Phase::idle, ""}},
        {"failure", {Phase::failed, "The update download broke off. Nothing was installed."}},
        {"long failure",
         {Phase::failed, "The update could not be installed, and the previous version could not be put back: it is "
                         "kept in /home/editor/Programmer/Tavlon/.Tavlon.app.update/previous.app."}}};
    const auto &[phase, text] = phases.at(name);
    if (phase == Phase::checking)
        cycle.setBackground(name == u"automatic check");
    if (phase == Phase::checking || phase == Phase::available) {
        UpdateItem item;
        item.version = item.shortVersion = QStringLiteral("2.0");
        if (notes)
            item.releaseNotes = QUrl(QStringLiteral("https://127.0.0.1/downloads/sorvane/release-notes.html"));
        cycle.setItem(phase == Phase::available ? std::optional(item) : std::nullopt);
    }
    cycle.set(phase, text, phase == Phase::downloading ? 0.25 : -1);
}

} // namespace

void TestSignedUpdate::pressWhereAButtonWas_data()
{
    // The phases `before`, in order, then `after`, which comes just before a
    // press lands where each button stood; "notes" when the offer names
    // release notes. Or the `keys` typed into the active window ("|" where the
    // phases of `after`, in order, come, or of its next group where it has
    // groups parted by "; "; "Notes" a click on the release notes' link, where
    // no browser opens them; "Inactive": the window has not taken the
    // keyboard), and what they did (`outcome`: "install" or "dismiss", asked
    // of the cycle, or "nothing").
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("notes");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("outcome");
    // The window's font in points, in a window made 700 wide; 0 keeps the
    // application's font and the window's width.
    QTest::addColumn<qreal>("points");
    const QStringList checking{"checking"};
    const QStringList offered{"checking", "offer"};
    const QStringList preparing{"checking", "offer", "downloading", "preparing"};
    const auto press = [](const char *name, const QStringList &before, const char *after, bool notes = false,
                          qreal points = 0) {
        QTest::newRow(name) << before << QString::fromUtf8(after) << notes << QString() << QString() << points;
    };
    press("checking -> offer, with release notes", checking, "offer", true);
    press("checking -> offer", checking, "offer");
    // Where Cancel is wider than Later: Install must not reach under the press.
    press("checking -> offer, with release notes, in a large font", checking, "offer", true, 20);
    press("checking -> up to date", checking, "up to date");
    press("checking -> failure", checking, "failure");
    press("offer -> downloading, with release notes", offered, "downloading", true);
    press("offer -> downloading", offered, "downloading");
    press("offer -> failure", offered, "failure");
    press("offer -> long failure", offered, "long failure");
    press("downloading -> preparing", {"checking", "offer", "downloading"}, "preparing");
    press("preparing -> waiting for the settings", preparing, "waiting");
    press("waiting for the settings -> not restarted", preparing + QStringList{"waiting"}, "not restarted");
    press("preparing -> relaunch", preparing, "relaunch");
    press("preparing -> failure", preparing, "failure");
    press("failure -> checking again", offered + QStringList{"failure"}, "checking");
    // Opened by an automatic check's offer as the person types; a double
    // press of Space, or Return, on Install.
    QTest::newRow("offer, a space typed") << QStringList{"offer"} << QString() << false << "Space" << "dismiss" << 0.0;
    QTest::newRow("offer -> downloading, Space twice on Install")
        << offered << "downloading" << false << "Tab Space | Space" << "install" << 0.0;
    QTest::newRow("offer, Return on Install") << offered << QString() << false << "Tab Return" << "install" << 0.0;
    // Once Install is chosen, a key typed again or held neither cancels the
    // download nor closes a failure before it is read, also where the window
    // was not active as the cycle moved on. Escape, and a key on the
    // dismissing button the person moved to, still end it.
    for (const char *after : {"downloading", "failure"}) {
        const auto keys = [after](const char *name, const char *typed, const char *outcome = "install") {
            QTest::addRow("offer -> %s, %s", after, name) << QStringList{"checking", "offer"} << after << false
                                                          << typed << outcome << 0.0;
        };
        keys("Tab Return, then Return", "Tab Return | Return");
        keys("Tab Space, then Return", "Tab Space | Return");
        keys("a click on Install, then Return", "Click | Return");
        keys("Return held on Install", "Tab Return-down | Return-repeat Return-repeat Return-repeat Return-up");
        keys("Enter twice", "Tab Enter | Enter");
        keys("inactive as it changes, then Space and Return", "Tab Space Away | Back Space Return");
    }
    QTest::newRow("offer -> downloading, Escape after Install")
        << offered << "downloading" << false << "Tab Space | Escape" << "install and dismiss" << 0.0;
    QTest::newRow("offer -> downloading, Tab to Cancel and Space after Install")
        << offered << "downloading" << false << "Tab Space | Tab Space" << "install and dismiss" << 0.0;
    // The address shows whole, and a new check's offer names its notes by a link again.
    QTest::newRow("offer, release notes without a browser")
        << offered << QString() << true << "Notes" << "nothing" << 0.0;
    QTest::newRow("offer, release notes without a browser, then Return")
        << offered << QString() << true << "Notes Return" << "dismiss" << 0.0;
    QTest::newRow("offer -> failure -> a new check's offer, release notes without a browser")
        << offered << "failure, checking, offer" << true << "Notes | Notes" << "nothing" << 0.0;
    // A new check in the same window: the same keys do what they do in a new window.
    QTest::newRow("offer -> failure -> a new check's offer, made inactive, Tab Return")
        << offered << "failure, checking, offer" << false << "Tab Space Away | Back Tab Return" << "install" << 0.0;
    // Asked for in another window, a new check brings the window forward with
    // the keyboard; an automatic one leaves the keyboard where it is.
    QTest::newRow("offer -> failure -> an automatic check, then a new check, from another window, Escape")
        << offered << "failure, automatic check; failure, checking" << false << "Tab Space Away | Inactive | Escape"
        << "install and dismiss" << 0.0;
}

// A press aimed at a button that arrives just after the window changed for
// the cycle's next phase lands on the same choice, on a disabled button or on
// nothing: never Install where Later, Cancel or Close stood, nor the other way.
// Aimed at each button's middle and near either end. Which of these a press
// that moved off its button meets follows the font. Keys reach the choice
// they were typed at.
void TestSignedUpdate::pressWhereAButtonWas()
{
    QFETCH(QStringList, before);
    QFETCH(QString, after);
    QFETCH(bool, notes);
    QFETCH(QString, keys);
    QFETCH(QString, outcome);
    QFETCH(qreal, points);
    const QString install = QStringLiteral("sorvane.updates.cycle.install");
    const QString dismiss = QStringLiteral("sorvane.updates.cycle.dismiss");
    QList<std::pair<QString, int>> aims{{QString(), 0}};
    if (keys.isEmpty())
        aims = {{install, 0}, {install, 1}, {install, 2}, {dismiss, 0}, {dismiss, 1}, {dismiss, 2}};
    for (const auto &[aimed, along] : aims) {
        UpdateCycle cycle;
        QSignalSpy installs(&cycle, &UpdateCycle::installRequested);
        QSignalSpy dismissals(&cycle, &UpdateCycle::dismissRequested);
        // Opened as the cycle leaves its idle phase.
        enter(cycle, before.first(), notes);
        UpdateCycleDialog window(cycle);
        if (points > 0) {
            QFont font = window.font();
            font.setPointSizeF(points);
            window.setFont(font);
            window.layout()->activate();
            window.resize(700, window.layout()->totalHeightForWidth(700));
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // It opens fitted to its text at the width it has.
        const auto fitted = [&window] {
            return window.height() == window.layout()->totalHeightForWidth(window.width());
        };
        QVERIFY(fitted());
        for (const QString &phase : before.sliced(1)) {
            enter(cycle, phase, notes);
            QTRY_VERIFY(fitted());
        }
        QStringList allowed{outcome};
        if (!keys.isEmpty()) {
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QWidget elsewhere; // another window the person turns to
            static const QMap<QString, std::pair<Qt::Key, QString>> named{
                {"Tab", {Qt::Key_Tab, "\t"}},        {"Space", {Qt::Key_Space, " "}},
                {"Return", {Qt::Key_Return, "\r"}}, {"Enter", {Qt::Key_Enter, "\r"}},
                {"Escape", {Qt::Key_Escape, "\x1b"}}};
            const QStringList groups = after.split(QStringLiteral("; "));
            qsizetype group = 0;
            // Where the person's keys go: the window the system made active.
            const auto active = [] {
                QCoreApplication::processEvents();
                return QGuiApplication::focusWindow();
            };
            for (const QString &key : keys.split(u' ')) {
                // "Return-down", "-repeat" and "-up": a key held down.
                const QString name = key.section(u'-', 0, 0);
                const QString held = key.section(u'-', 1);
                const auto [code, text] = named.value(name);
                const Qt::KeyboardModifiers modifiers = code == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
                if (key == u"|") {
                    for (const QString &phase : groups.value(group++).split(QStringLiteral(", ")))
                        enter(cycle, phase, notes);
                } else if (key == u"Inactive") {
                    QVERIFY(active() != window.windowHandle());
                } else if (key == u"Notes") {
                    auto *link = window.findChild<QLabel *>(QStringLiteral("sorvane.updates.cycle.releaseNotes"));
                    QVERIFY(link->isVisible() && link->text().contains(u"href="));
                    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                                      link->mapTo(&window, QPoint(4, link->height() / 2)));
                    QVERIFY(link->text().endsWith(QStringLiteral("its address is: ")
                                                  + cycle.item()->releaseNotes.toString()));
                } else if (key == u"Click") {
                    const auto *button = window.findChild<QPushButton *>(install);
                    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                                      button->mapTo(&window, button->rect().center()));
                } else if (key == u"Away" || key == u"Back") {
                    QWidget &to = key == u"Away" ? elsewhere : static_cast<QWidget &>(window);
                    to.show();
                    to.activateWindow();
                    QVERIFY(QTest::qWaitForWindowActive(&to));
                } else if (!held.isEmpty()) {
                    QTest::simulateEvent(active(), held != u"up", code, modifiers, text, held == u"repeat");
                } else {
                    QTest::keyClick(active(), code, modifiers);
                }
            }
        } else {
            const auto *button = window.findChild<QPushButton *>(aimed);
            QVERIFY(button);
            if (!button->isVisible())
                continue; // Install before anything is offered
            const int x = along == 0 ? button->width() / 2 : along == 1 ? 3 : button->width() - 4;
            const QPoint where = button->mapToGlobal(QPoint(x, button->height() / 2));
            enter(cycle, after, notes);
            if (after == u"relaunch")
                QTRY_VERIFY(!window.isVisible());
            else
                QTRY_VERIFY(fitted());
            // A press outside the window is not the window's.
            const QPoint local = window.mapFromGlobal(where);
            if (window.isVisible() && window.rect().contains(local))
                QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, local);
            allowed = after == u"relaunch" ? QStringList{"closed"}
                : aimed == install         ? QStringList{"nothing"}
                                           : QStringList{"dismiss", "closed", "nothing"};
        }
        // Whatever it shows now, it shows whole.
        if (!keys.isEmpty() && window.isVisible())
            QTRY_VERIFY(fitted());
        const QString did = !installs.isEmpty() && !dismissals.isEmpty() ? QStringLiteral("install and dismiss")
            : !installs.isEmpty()                                       ? QStringLiteral("install")
            : !dismissals.isEmpty()                                     ? QStringLiteral("dismiss")
            : window.isVisible()                                        ? QStringLiteral("nothing")
                                                                        : QStringLiteral("closed");
        const QString at = QStringLiteral("aimed at %1, %2: %3").arg(aimed).arg(along).arg(did);
        QVERIFY2(allowed.contains(did), qPrintable(at));
        // A choice that ends the cycle closes the window; the others leave it open.
        QCOMPARE(window.isVisible(), did == u"nothing" || did == u"install");
    }
}

QTEST_MAIN(TestSignedUpdate)
#include "tst_signedupdate.moc"
