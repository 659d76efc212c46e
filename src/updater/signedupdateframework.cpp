#include "signedupdateframework.h"

#include "foundation/appbundle.h"
#include "foundation/decoding/workerdecoding.h"
#include "foundation/cancellation.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/network/plainnetwork.h"
#include "foundation/settingsstore.h"
#include "sorvaneupdateconfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtEndian>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcoroprocess.h>
#include <sodium.h>

#include <cerrno>
#include <cstdlib>
#include <coroutine>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <linux/limits.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int idleTimeoutMs = 30000;
constexpr int feedTimeoutMs = 45000;
constexpr qint64 signatureLimit = 4096;
// The downloaded archive's name in the cycle's folder.
constexpr const char *archiveName = "update.tar.gz";
// Left in the cycle's folder where it keeps a folder that is not the app's:
// no later cycle clears that folder away.
constexpr const char *keptName = "kept-another-folder";

// Not the bundle the app runs from, and so not the cycle's to move, change or
// remove (someone who may write into the install folder can put one there).
QString anotherFolderAt(const QString &bundle)
{
    return loc("Another folder is at %@. It was left as it is, and nothing was installed.", {bundle});
}

// The time a download of `length` bytes is allowed in all: ten minutes, and
// as long again as 64 KiB a second would take.
std::chrono::milliseconds downloadDeadlineFor(qint64 length)
{
    return std::chrono::minutes(10) + std::chrono::seconds(length / 65536);
}

// Wakes a waiting cycle on a later turn of the event loop. However often it
// is poked in one turn, the cycle resumes once; a poke that arrives after the
// cycle moved on finds nothing to resume. (Awaiting a Qt signal instead
// resumed a destroyed awaiter when the signal was queued twice in one turn.)
class Wakeup
{
    struct State
    {
        std::coroutine_handle<> waiting;
        bool scheduled = false;
    };

public:
    struct Awaiter
    {
        State *state;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { state->waiting = handle; }
        void await_resume() const noexcept {}
    };

    void poke() const
    {
        if (!m_state->waiting || m_state->scheduled)
            return;
        m_state->scheduled = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak = std::weak_ptr<State>(m_state)] {
                const auto state = weak.lock();
                if (!state)
                    return;
                state->scheduled = false;
                if (const auto handle = std::exchange(state->waiting, {}))
                    handle.resume();
            },
            Qt::QueuedConnection);
    }
    Awaiter next() const { return Awaiter{m_state.get()}; }

private:
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// An open descriptor, closed with its owner.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

bool sameEntry(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The names in the open folder `folder`, "." and ".." left out.
std::optional<QList<QByteArray>> namesIn(int folder)
{
    const int reading = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (reading < 0)
        return std::nullopt;
    DIR *listing = ::fdopendir(reading);
    if (!listing) {
        ::close(reading);
        return std::nullopt;
    }
    ::rewinddir(listing);
    QList<QByteArray> names;
    errno = 0;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    const bool complete = errno == 0;
    ::closedir(listing);
    if (!complete)
        return std::nullopt;
    return names;
}

// Gives the folder `name` in the open folder `parent` (a plain file's, where
// `folder` is false), when it is this user's, the mode
// `change(status, descriptor)` makes of it (the descriptor is -1 where it
// could not be opened). Never through a link: it is opened without following
// one and changed through its descriptor. Only one its owner cannot read,
// which cannot be opened, is changed by name, with a call the C library
// carries out through /proc. The mode it had; nothing when it is not one of
// this user's or the change failed.
template<class Change>
std::optional<mode_t> changeOwnFolderMode(int parent, const char *name, Change change, bool folder = true)
{
    struct stat status;
    const Descriptor entry(
        ::openat(parent, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (folder ? O_DIRECTORY : 0)));
    if (entry.valid()) {
        if (::fstat(entry.get(), &status) != 0 || (folder ? !S_ISDIR(status.st_mode) : !S_ISREG(status.st_mode)))
            return std::nullopt;
    } else if (errno != EACCES || ::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0
               || (folder ? !S_ISDIR(status.st_mode) : !S_ISREG(status.st_mode))) {
        return std::nullopt;
    }
    if (status.st_uid != ::geteuid())
        return std::nullopt;
    const mode_t mode = status.st_mode & 07777;
    const mode_t wanted = change(status, entry.get());
    if (wanted == mode)
        return mode;
    if ((entry.valid() ? ::fchmod(entry.get(), wanted) : ::fchmodat(parent, name, wanted, AT_SYMLINK_NOFOLLOW)) != 0) {
        qCWarning(lcUpdater) << "the mode of" << QFile::decodeName(name) << "could not be changed:"
                             << qt_error_string(errno);
        return std::nullopt;
    }
    return mode;
}

// Gives the folder `name` in the open folder `parent` owner read, write and
// search permission when it is this user's and lacks some. The mode it had.
std::optional<mode_t> giveOwnerAccess(int parent, const char *name)
{
    return changeOwnFolderMode(parent, name,
                               [](const struct stat &status, int) { return (status.st_mode & 07777) | S_IRWXU; });
}

// Who may do what in a folder the person had, as it steps aside.
struct FolderAccess
{
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
    gid_t group = 0;
    mode_t groupBits = 0; // its owning group's own, not an access list's mask
};

// The access of the folder `name` in the open folder `parent`, whose mode was
// `mode`. With an access list the mode's group bits are the list's mask, which
// bounds every named entry too: the owning group's own right is its entry
// within that mask.
std::optional<FolderAccess> folderAccess(int parent, const char *name, mode_t mode)
{
    const Descriptor folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!folder.valid() || ::fstat(folder.get(), &status) != 0)
        return std::nullopt;
    mode_t groupBits = mode & S_IRWXG;
    QByteArray list(XATTR_SIZE_MAX, Qt::Uninitialized);
    const ssize_t size = ::fgetxattr(folder.get(), "system.posix_acl_access", list.data(), size_t(list.size()));
    // Little-endian: a version (2), then each entry's tag, permissions and id.
    const auto *bytes = reinterpret_cast<const uchar *>(list.constData());
    for (ssize_t at = 4; size > 4 && qFromLittleEndian<quint32>(bytes) == 2 && at + 8 <= size; at += 8) {
        if (qFromLittleEndian<quint16>(bytes + at) == 0x04) // the owning group's entry
            groupBits &= mode_t(qFromLittleEndian<quint16>(bytes + at + 2) & 7) << 3;
    }
    return FolderAccess{mode, status.st_dev, status.st_ino, status.st_gid, groupBits};
}

// Gives the folder `name` in the open folder `parent` back the access the
// person gave the old bundle, when it is one of the two folders the cycle
// put there: the old bundle, or the new one (`device` and `inode`). Another
// folder found there is left as it is. The old bundle itself gets its exact
// mode, and its access list with it. A new bundle gets the old mode whatever
// this run's umask, and the old group where its owner may give it (a shared
// folder may have given it its own): write for the group stays only where
// that group is the same people, as its own entry gave it.
void restoreFolderAccess(int parent, const char *name, const FolderAccess &old, quint64 device, quint64 inode)
{
    changeOwnFolderMode(parent, name, [&old, device, inode](const struct stat &status, int folder) {
        if (status.st_dev == old.device && status.st_ino == old.inode)
            return old.mode;
        if (status.st_dev != device || status.st_ino != inode)
            return mode_t(status.st_mode & 07777);
        // The old group carried over first, where this user may give it.
        const bool sameGroup = status.st_gid == old.group || ::fchown(folder, uid_t(-1), old.group) == 0;
        return (old.mode & ~mode_t(S_IRWXG)) | (old.groupBits & ~mode_t(S_IWGRP))
            | (sameGroup ? old.groupBits & S_IWGRP : 0);
    });
}

// The entry at `path` is the one `device` and `inode` name, not followed if a link.
bool standsAt(const QString &path, quint64 device, quint64 inode)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && status.st_dev == device
        && status.st_ino == inode;
}

// Takes write for the group and others from the entry `name` in the open
// folder `parent` (a folder, or a plain file where `folder` is false),
// whatever the archive and the umask gave: no one else may change the app's
// code. With an access list (one the install folder's owner set as its
// default) the mode's group bits are the list's mask, which bounds what the
// list gives: they stay, and the list is its owner's to keep.
bool withoutWriteForOthers(int parent, const char *name, bool folder)
{
    return changeOwnFolderMode(
               parent, name,
               [](const struct stat &status, int entry) {
                   const bool listed = entry >= 0 && ::fgetxattr(entry, "system.posix_acl_access", nullptr, 0) > 0;
                   return mode_t(status.st_mode & 07777 & ~mode_t(listed ? S_IWOTH : S_IWGRP | S_IWOTH));
               },
               folder)
        .has_value();
}

// Walks the folder `name` in the open folder `parent`, depth first, without
// following a link and with no more than four descriptors open however deep
// it goes: it holds only the folder it is in, and climbs back through "..",
// which must be the very folder it came down from (a folder moved meanwhile
// ends the walk). `entry(folder, name, status, where)` sees every entry that
// is not a folder (`where`: its folder's path below the walked one, "" or
// "/a/b"); `leave(folder, name)` is called once a folder's entries are done.
// Either ends the walk by answering false. False when the walk did not end
// by itself. `removing` passes a folder gone meanwhile, gives each folder of
// this user's owner read, write and search permission before it opens it (an
// update may carry read-only folders), and passes a folder it still cannot
// open or read, going on with the rest; then it answers false too.
template<class Entry, class Leave>
bool walkFolder(int parent, const QByteArray &name, Entry entry, Leave leave, bool removing = false)
{
    struct Level
    {
        struct stat status;
        QByteArray name;
        QList<QByteArray> folders; // still to walk
    };
    struct stat parentStatus;
    if (::fstat(parent, &parentStatus) != 0)
        return false;
    std::vector<Level> levels;
    QByteArray where;
    Descriptor current;
    // Opens the sub-folder `child` of the current folder (or of `parent` for
    // the first) and reads its entries.
    const auto enter = [&](const QByteArray &child) {
        const int in = current.valid() ? current.get() : parent;
        if (removing)
            giveOwnerAccess(in, child.constData());
        Descriptor folder(::openat(in, child.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.valid() && errno == ENOENT && removing && !levels.empty())
            return true;
        Level level;
        if (!folder.valid() || ::fstat(folder.get(), &level.status) != 0)
            return false;
        const auto names = namesIn(folder.get());
        if (!names)
            return false;
        level.name = child;
        const QByteArray inside = levels.empty() ? where : where + '/' + child;
        for (const QByteArray &entryName : *names) {
            struct stat status;
            if (::fstatat(folder.get(), entryName.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT || removing)
                    continue;
                return false;
            }
            if (S_ISDIR(status.st_mode))
                level.folders.append(entryName);
            else if (!entry(folder.get(), entryName.constData(), status, inside))
                return false;
        }
        where = inside;
        levels.push_back(std::move(level));
        current = std::move(folder);
        return true;
    };
    if (!enter(name))
        return false;
    bool passed = false;
    while (!levels.empty()) {
        Level &level = levels.back();
        if (!level.folders.isEmpty()) {
            if (!enter(level.folders.takeLast())) {
                if (!removing)
                    return false;
                // It stays, and so do the folders holding it; the rest goes.
                passed = true;
            }
            continue;
        }
        // Back up one folder: the one it came from, or the walk is over.
        Descriptor up;
        const struct stat &expected = levels.size() > 1 ? levels[levels.size() - 2].status : parentStatus;
        struct stat status;
        if (levels.size() > 1) {
            up.reset(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!up.valid() || ::fstat(up.get(), &status) != 0 || !sameEntry(status, expected))
                return false;
        }
        current = std::move(up);
        const QByteArray left = level.name;
        levels.pop_back();
        if (!levels.empty())
            where.chop(left.size() + 1);
        if (!leave(current.valid() ? current.get() : parent, left.constData()))
            return false;
    }
    return !passed;
}

// Removes the entry `name` in the folder `parent` and, for a folder,
// everything in it. Never follows a link: a link is removed as a link.
bool removeEntryAt(int parent, const QByteArray &name)
{
    struct stat status;
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(parent, name.constData(), 0) == 0 || errno == ENOENT;
    // Whatever cannot be removed is passed; the folder holding it stays.
    bool removed = true;
    const bool walked = walkFolder(
        parent, name,
        [&removed](int folder, const char *entry, const struct stat &, const QByteArray &) {
            removed = (::unlinkat(folder, entry, 0) == 0 || errno == ENOENT) && removed;
            return true;
        },
        [&removed](int folder, const char *entry) {
            removed = (::unlinkat(folder, entry, AT_REMOVEDIR) == 0 || errno == ENOENT) && removed;
            return true;
        },
        true);
    return walked && removed;
}

// The folder at `path`, opened without following a link, only while it is
// the folder `device` and `inode` name.
Descriptor openFolder(const QString &path, quint64 device, quint64 inode)
{
    Descriptor folder(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (folder.valid() && (::fstat(folder.get(), &status) != 0 || status.st_dev != device || status.st_ino != inode))
        folder.reset();
    return folder;
}

// A folder this machinery made: removed with everything in it, unless
// something else (a link, a file) now stands at its path.
bool removeOwnFolder(const QString &path)
{
    struct stat status;
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &status) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return false;
    const QFileInfo info(path);
    const Descriptor parent(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return parent.valid() && removeEntryAt(parent.get(), QFile::encodeName(info.fileName()));
}

// What a cycle made in its folder `path` (`entries`) is removed, then the
// folder when nothing else is left in it: an entry someone else put there
// is left alone, and the folder with it. Nothing is removed when another
// folder or a link now stands at `path`.
bool clearStaging(const QString &path, quint64 device, quint64 inode, const QStringList &entries)
{
    const Descriptor staging = openFolder(path, device, inode);
    if (!staging.valid())
        return false;
    bool removed = true;
    for (const QString &entry : entries)
        removed = removeEntryAt(staging.get(), QFile::encodeName(entry)) && removed;
    const QFileInfo info(path);
    const Descriptor parent(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return removed && parent.valid()
        && ::unlinkat(parent.get(), QFile::encodeName(info.fileName()).constData(), AT_REMOVEDIR) == 0;
}

enum class EntryKind { missing, link, folder, file, other };

EntryKind entryKind(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return EntryKind::missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::link;
    if (S_ISDIR(status.st_mode))
        return EntryKind::folder;
    return S_ISREG(status.st_mode) ? EntryKind::file : EntryKind::other;
}

// One rename, never onto anything that exists (a plain rename would replace
// an empty folder at `to`).
bool renameNoReplace(const QString &from, const QString &to)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE)
        == 0;
}

// Inside `root` (a clean absolute path), or `root` itself.
bool isInside(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// Every link below `root` points inside it, as written and as the file
// system resolves it; however deep the folders go (an entry the walk cannot
// reach counts as a link out).
bool linksStayInside(const QString &root)
{
    const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString canonicalRoot = QFileInfo(cleanRoot).canonicalFilePath();
    const QFileInfo info(cleanRoot);
    const Descriptor parent(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid())
        return false;
    return walkFolder(
        parent.get(), QFile::encodeName(info.fileName()),
        [&](int folder, const char *name, const struct stat &status, const QByteArray &where) {
            if (!S_ISLNK(status.st_mode))
                return true;
            char target[4096];
            const ssize_t size = ::readlinkat(folder, name, target, sizeof target);
            if (size <= 0 || size >= ssize_t(sizeof target))
                return false;
            const QString written = QFile::decodeName(QByteArray(target, size));
            if (written.startsWith(QLatin1Char('/')))
                return false;
            const QString directory = cleanRoot + QFile::decodeName(where);
            if (!isInside(QDir::cleanPath(directory + QLatin1Char('/') + written), cleanRoot))
                return false;
            // A link to nothing leads nowhere; one the system cannot resolve
            // (a path too long for it, a loop) may lead anywhere.
            const QByteArray linkPath = QFile::encodeName(directory + QLatin1Char('/') + QFile::decodeName(name));
            const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(linkPath.constData(), nullptr), &::free);
            if (!resolved)
                return errno == ENOENT;
            return isInside(QFile::decodeName(resolved.get()), canonicalRoot);
        },
        [](int, const char *) { return true; });
}

// Nothing below `root`, nor `root` itself, lets the group or others write
// into it (`withoutWriteForOthers`): folders and plain files; a link's own
// mode means nothing. False when one could not be changed.
bool writableByOwnerOnly(const QString &root)
{
    const QFileInfo info(root);
    const Descriptor parent(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return parent.valid()
        && walkFolder(
               parent.get(), QFile::encodeName(info.fileName()),
               [](int folder, const char *name, const struct stat &status, const QByteArray &) {
                   return !S_ISREG(status.st_mode) || withoutWriteForOthers(folder, name, false);
               },
               [](int folder, const char *name) { return withoutWriteForOthers(folder, name, true); });
}

// A listing tar wrote into `listing` (open, read from its start).
QList<QByteArray> listedLines(int listing)
{
    QList<QByteArray> lines;
    QFile file;
    if (::lseek(listing, 0, SEEK_SET) != 0 || !file.open(listing, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

// The archive's member names as tar lists them: each below `name`, none
// absolute, none with a ".." part.
bool membersStayInside(int listing, const QString &name)
{
    const QList<QByteArray> lines = listedLines(listing);
    for (const QByteArray &line : lines) {
        const QString member = QString::fromUtf8(line);
        if (member.startsWith(QLatin1Char('/')))
            return false;
        const QStringList parts = member.split(QLatin1Char('/'));
        if (parts.first() != name || parts.contains(QStringLiteral("..")))
            return false;
    }
    return !lines.isEmpty();
}

// The members' sizes as tar's long listing gives them (with numeric owners:
// mode, owner/group, size, ...) add up to no more than `limit`. A size it
// does not show as a number (a device) is refused too.
bool membersFit(int listing, qint64 limit)
{
    const QList<QByteArray> lines = listedLines(listing);
    qint64 total = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool number = false;
        const qint64 size = fields.size() > 2 ? fields.at(2).toLongLong(&number) : -1;
        if (!number || size < 0 || size > limit - total)
            return false;
        total += size;
    }
    return !lines.isEmpty();
}

// tar as the system ships it: no options or quoting from the environment.
// It reads the archive from `input`, writes its listing to `output` (-1:
// nowhere) and works in the folder `folder` (-1: this process's); all three
// are this process's own descriptors, so it follows no path of ours.
void prepareTar(QProcess &tar, const QStringList &arguments, int input, int output, int folder, int null)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tar.setProcessEnvironment(environment);
    tar.setProgram(QStringLiteral("/bin/tar"));
    tar.setArguments(arguments);
    tar.setProcessChannelMode(QProcess::ForwardedChannels);
    tar.setInputChannelMode(QProcess::ForwardedInputChannel);
    tar.setChildProcessModifier([input, output, folder, null] {
        ::dup2(input, STDIN_FILENO);
        ::dup2(output >= 0 ? output : null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (folder >= 0 && ::fchdir(folder) != 0)
            ::_exit(127);
    });
}

QString unreachable()
{
    return loc("Could not reach the update server. Check the connection and try again.");
}

// Runs tar to its end (at most five minutes) on the archive `input`, from
// its start; true when it exited cleanly. Throws OperationCancelled when the
// machinery went away meanwhile.
QCoro::Task<bool> runTar(QStringList arguments, int input, int output, int folder, std::shared_ptr<bool> alive)
{
    const Descriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null.valid() || ::lseek(input, 0, SEEK_SET) != 0)
        co_return false;
    QProcess tar;
    prepareTar(tar, arguments, input, output, folder, null.get());
    tar.start();
    co_await qCoro(tar).waitForFinished(std::chrono::minutes(5));
    if (!*alive)
        throw OperationCancelled();
    if (tar.state() != QProcess::NotRunning) {
        tar.kill();
        tar.waitForFinished(1000);
    }
    co_return tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0;
}

// Runs `check` off the GUI thread: a hostile archive may list hundreds of
// thousands of members. Throws OperationCancelled when the machinery went
// away meanwhile.
template<class Check>
QCoro::Task<bool> checkAside(Check check, std::shared_ptr<bool> alive)
{
    auto checked = WorkerDecoding::run<bool>(std::move(check));
    const bool passed = co_await checked;
    if (!*alive)
        throw OperationCancelled();
    co_return passed;
}

void checkAlive(const std::shared_ptr<bool> &alive, const CancellationToken &cancel)
{
    if (!*alive || cancel.isCancelled())
        throw OperationCancelled();
}

} // namespace



// ---- SignedUpdateFramework ----

SignedUpdateFramework::SignedUpdateFramework(Setup setup, UpdateFrameworkDelegate *delegate, QObject *parent)
    : UpdateFramework(parent), m_setup(std::move(setup)), m_delegate(delegate),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    if (!m_setup.rename)
        m_setup.rename = renameNoReplace;
    bundleAt(m_setup.bundlePath);
    PlainNetwork::configure(*m_network);
    if (m_setup.settings) {
        const QDateTime last = QDateTime::fromString(m_setup.settings->value(QString::fromLatin1(lastCheckKey)).toString(),
                                                     Qt::ISODateWithMs);
        if (last.isValid())
            m_lastCheck = last;
    }
    m_schedule.setSingleShot(true);
    connect(&m_schedule, &QTimer::timeout, this, &SignedUpdateFramework::checkInBackground);
}

SignedUpdateFramework::~SignedUpdateFramework()
{
    *m_alive = false;
}

std::unique_ptr<UpdateFramework> SignedUpdateFramework::forRunningBundle(const SorvaneUpdateConfiguration &configuration,
                                                                         UpdateFrameworkDelegate *delegate)
{
    Setup setup;
    setup.bundlePath = AppBundle::bundlePath();
    setup.currentVersion = AppBundle::infoDictionary().value(QStringLiteral("CFBundleVersion")).toString();
    setup.feed = configuration.feedURL();
    setup.publicKey = QByteArray::fromBase64(configuration.publicKey().toLatin1());
    setup.platform = UpdateFeed::currentPlatform();
    setup.settings = &SettingsStore::standard();
    const QUrl localFeed(qEnvironmentVariable("TAVLON_LOCAL_UPDATE_FEED"), QUrl::StrictMode);
    const auto localKey = UpdateFeed::canonicalBase64(qEnvironmentVariable("TAVLON_LOCAL_UPDATE_KEY"), 32);
    if (localFeed.isValid() && localFeed.scheme() == u"https" && PlainNetwork::isLoopback(localFeed.host()) && localKey) {
        setup.feed = localFeed;
        setup.publicKey = *localKey;
    }
    const QString ca = qEnvironmentVariable("TAVLON_LOCAL_SERVICE_CA");
    if (!ca.isEmpty())
        setup.localAuthorities = QSslCertificate::fromPath(ca);
    setup.relaunch = [](const QString &executable) {
        // The new process runs in a session of its own; this one ends once
        // it has started.
        if (!QProcess::startDetached(executable, QCoreApplication::arguments().mid(1)))
            return false;
        QCoreApplication::quit();
        return true;
    };
    return std::make_unique<SignedUpdateFramework>(std::move(setup), delegate);
}

bool SignedUpdateFramework::automaticallyChecksForUpdates() const
{
    return m_setup.settings && m_setup.settings->value(QString::fromLatin1(automaticChecksKey)).toBool();
}

void SignedUpdateFramework::setAutomaticallyChecksForUpdates(bool on)
{
    if (!m_setup.settings || on == automaticallyChecksForUpdates())
        return;
    m_setup.settings->setValue(QString::fromLatin1(automaticChecksKey), on);
    scheduleCheck(false);
    Q_EMIT automaticallyChecksForUpdatesChanged();
}

std::optional<QString> SignedUpdateFramework::startUpdater()
{
    if (m_started)
        return std::nullopt;
    if (QFileInfo(m_setup.bundlePath).fileName().isEmpty() || m_setup.publicKey.size() != 32 || sodium_init() < 0)
        return QStringLiteral("the update machinery is not set up");
    m_started = true;
    // A check that fell due while the app was not running is made up now,
    // once (the machinery starts after the first window has painted).
    scheduleCheck(true);
    Q_EMIT canCheckForUpdatesChanged();
    return std::nullopt;
}

// The next automatic check: when the last one is a full interval old. Only
// the start makes up an overdue check at once; otherwise it waits an interval.
void SignedUpdateFramework::scheduleCheck(bool catchUp)
{
    m_schedule.stop();
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    const qint64 interval = m_setup.checkInterval.count();
    qint64 wait = catchUp ? 0 : interval;
    if (m_lastCheck) {
        const qint64 untilDue = QDateTime::currentDateTimeUtc().msecsTo(m_lastCheck->addMSecs(interval));
        if (untilDue > 0)
            wait = std::min(untilDue, interval); // a clock set back waits no longer than an interval
    }
    m_schedule.start(std::chrono::milliseconds(wait));
}

// An automatic check falls due. Never while a window runs a transfer or an
// account operation: it asks again a little later, until it may.
void SignedUpdateFramework::checkInBackground()
{
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    if (m_running)
        return; // the running cycle schedules the next check when it ends
    if (!m_delegate->mayCheckForUpdatesInBackground()) {
        m_schedule.start(m_setup.busyRetry);
        return;
    }
    m_task.emplace(runCycle(UpdateCheckKind::updatesInBackground));
}

void SignedUpdateFramework::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    m_task.emplace(runCycle(UpdateCheckKind::updates));
}

QString SignedUpdateFramework::stagingPath() const
{
    const QFileInfo bundle(m_setup.bundlePath);
    return bundle.dir().filePath(QLatin1Char('.') + bundle.fileName() + QStringLiteral(".update"));
}

void SignedUpdateFramework::setRunning(bool running)
{
    if (m_running == running)
        return;
    m_running = running;
    Q_EMIT canCheckForUpdatesChanged();
}

// No redirects, no cache, no cookies, an idle time-out; a loopback server
// may present a certificate of the local authorities.
QNetworkRequest SignedUpdateFramework::makeRequest(const QUrl &url) const
{
    QNetworkRequest request = PlainNetwork::request(url, idleTimeoutMs);
    if (!m_setup.localAuthorities.isEmpty() && PlainNetwork::isLoopback(url.host()))
        PlainNetwork::trust(request, m_setup.localAuthorities);
    return request;
}

QCoro::Task<QByteArray> SignedUpdateFramework::fetch(QUrl url, qint64 limit, std::shared_ptr<bool> alive)
{
    const QNetworkRequest request = makeRequest(url);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(m_network->get(request),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    auto oversized = std::make_shared<bool>(false);
    connect(raw, &QNetworkReply::readyRead, raw, [raw, oversized, limit] {
        if (raw->bytesAvailable() > limit) {
            *oversized = true;
            raw->abort();
        }
    });
    QTimer::singleShot(feedTimeoutMs, raw, [raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    if (!*alive)
        throw OperationCancelled();
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (*oversized)
        throw BridgeError::failed(loc("The update feed could not be read. Try again later."));
    if (raw->error() != QNetworkReply::NoError || status != 200)
        throw BridgeError::failed(unreachable());
    QByteArray body = raw->readAll();
    co_return body;
}

QCoro::Task<void> SignedUpdateFramework::runCycle(UpdateCheckKind kind)
{
    const auto alive = m_alive;
    CancellationToken cancel;
    const Wakeup wakeup;
    const auto install = std::make_shared<bool>(false);
    const auto dismissal = connect(&m_cycle, &UpdateCycle::dismissRequested, this, [cancel, wakeup] {
        cancel.cancel();
        wakeup.poke();
    });
    // Only an offered update can be chosen; a second choice changes nothing.
    const auto chosen = connect(&m_cycle, &UpdateCycle::installRequested, this, [this, install, wakeup] {
        if (m_cycle.phase() != UpdateCycle::Phase::available)
            return;
        *install = true;
        wakeup.poke();
    });
    m_stagingMade = false;
    m_keepStaging = false;
    m_stagingEntries.clear();
    setRunning(true);
    m_cycle.setItem(std::nullopt);
    m_cycle.setBackground(kind == UpdateCheckKind::updatesInBackground);
    m_cycle.set(UpdateCycle::Phase::checking, loc("Looking for updates…"));
    std::optional<QString> failure;
    try {
        const QByteArray feed = co_await fetch(m_setup.feed, feedLimit, alive);
        checkAlive(alive, cancel);
        QUrl signatureURL = m_setup.feed;
        signatureURL.setPath(signatureURL.path() + QStringLiteral(".sig"));
        const QByteArray signatureText = co_await fetch(signatureURL, signatureLimit, alive);
        checkAlive(alive, cancel);
        const auto signature = UpdateFeed::signature(signatureText);
        if (!signature
            || !UpdateFeed::verify(reinterpret_cast<const uchar *>(feed.constData()), feed.size(), *signature,
                                   m_setup.publicKey))
            throw BridgeError::failed(loc("The update feed is not signed with the app's key. Nothing was installed."));
        const auto items = UpdateFeed::parse(feed);
        if (!items)
            throw BridgeError::failed(loc("The update feed could not be read. Try again later."));
        m_lastCheck = QDateTime::currentDateTimeUtc();
        if (m_setup.settings)
            m_setup.settings->setValue(QString::fromLatin1(lastCheckKey), m_lastCheck->toString(Qt::ISODateWithMs));
        Q_EMIT lastUpdateCheckDateChanged();

        std::optional<UpdateItem> newest;
        bool platformSeen = false;
        for (const UpdateItem &item : *items) {
            if (item.platform != m_setup.platform)
                continue;
            platformSeen = true;
            if (UpdateFeed::compareVersions(item.version, m_setup.currentVersion) > 0
                && (!newest || UpdateFeed::compareVersions(item.version, newest->version) > 0))
                newest = item;
        }
        if (!platformSeen)
            throw BridgeError::failed(loc("The update feed offers no update for this computer."));
        if (!newest) {
            m_cycle.set(UpdateCycle::Phase::upToDate,
                        loc("You have the newest version (%@).", {m_setup.currentVersion}));
        } else {
            m_cycle.setItem(newest);
            m_cycle.set(UpdateCycle::Phase::available, loc("Version %@ is available. You have version %@.",
                                                           {newest->shortVersion, m_setup.currentVersion}));
            // The person decides: install, or dismiss (which cancels).
            while (!*install && !cancel.isCancelled()) {
                co_await wakeup.next();
                checkAlive(alive, CancellationToken());
            }
            checkAlive(alive, cancel);
            const Staged staged = co_await prepareUpdate(*newest, alive, cancel);
            checkAlive(alive, cancel);

            // Settings sheets close first; the relaunch waits for them.
            m_cycle.set(UpdateCycle::Phase::waitingToRelaunch,
                        loc("The update is ready. It is installed as soon as the settings are closed."));
            const auto resumed = std::make_shared<bool>(false);
            const bool postponed = m_delegate->shouldPostponeRelaunch(*newest, [resumed, wakeup] {
                *resumed = true;
                wakeup.poke();
            });
            if (postponed) {
                while (!*resumed && !cancel.isCancelled()) {
                    co_await wakeup.next();
                    checkAlive(alive, CancellationToken());
                }
                checkAlive(alive, cancel);
            }
            if (!m_delegate->shouldRelaunchApplication())
                throw BridgeError::failed(loc("The app was not restarted. Install the update again later."));
            replaceBundle(staged);
        }
    } catch (const BridgeError &error) {
        logFailure(lcUpdater, "the update cycle");
        failure = error.message();
    } catch (const OperationCancelled &) {
    }
    if (!*alive)
        co_return;
    disconnect(dismissal);
    disconnect(chosen);
    // Only what this cycle made, and never the only copy of the previous bundle.
    if (m_stagingMade && !m_keepStaging) {
        co_await clearStaging();
        if (!*alive)
            co_return;
    }
    // An automatic check stays quiet unless it offered an update.
    const bool quiet = kind == UpdateCheckKind::updatesInBackground && !m_cycle.item();
    if (failure && !quiet)
        m_cycle.set(UpdateCycle::Phase::failed, *failure);
    else if (failure || quiet || cancel.isCancelled() || m_cycle.phase() != UpdateCycle::Phase::upToDate)
        m_cycle.set(UpdateCycle::Phase::idle, QString());
    endCycle(kind, failure);
    scheduleCheck(false);
}

void SignedUpdateFramework::endCycle(UpdateCheckKind kind, const std::optional<QString> &failure)
{
    setRunning(false);
    m_delegate->didFinishUpdateCycle(kind, failure);
}

QCoro::Task<void> SignedUpdateFramework::download(const UpdateItem &item, std::shared_ptr<bool> alive)
{
    QFile file;
    // A new file in the cycle's own folder: never through a link.
    const int created = createInStaging(QString::fromLatin1(archiveName));
    if (created < 0 || !file.open(created, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        if (created >= 0)
            ::close(created);
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    }
    const QNetworkRequest request = makeRequest(item.url);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(m_network->get(request),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    struct State
    {
        qint64 written = 0;
        qint64 mark = 0; // written at the last look for a stall
        bool tooLong = false;
        bool writeFailed = false;
        bool timedOut = false;
    };
    auto state = std::make_shared<State>();
    // Written as it arrives; never more than the feed announced.
    connect(raw, &QNetworkReply::readyRead, raw, [raw, state, &file, length = item.length] {
        const QByteArray chunk = raw->readAll();
        if (state->written + chunk.size() > length) {
            state->tooLong = true;
            raw->abort();
            return;
        }
        if (file.write(chunk) != chunk.size()) {
            state->writeFailed = true;
            raw->abort();
            return;
        }
        state->written += chunk.size();
    });
    QPointer<UpdateCycle> cycle = &m_cycle;
    connect(raw, &QNetworkReply::downloadProgress, raw, [cycle, state, text = m_cycle.text(), length = item.length] {
        if (cycle)
            cycle->set(UpdateCycle::Phase::downloading, text, double(state->written) / double(length));
    });
    // A download that drips keeps the connection busy but never ends: it has
    // a deadline in all, and must make some progress in every stall period.
    const auto deadline = m_setup.downloadDeadline.count() > 0 ? m_setup.downloadDeadline : downloadDeadlineFor(item.length);
    QTimer::singleShot(deadline, raw, [raw, state] {
        state->timedOut = true;
        raw->abort();
    });
    auto *stall = new QTimer(raw);
    connect(stall, &QTimer::timeout, raw, [raw, state, least = m_setup.stallBytes, length = item.length] {
        if (state->written - state->mark < std::min(least, length - state->mark)) {
            state->timedOut = true;
            raw->abort();
        }
        state->mark = state->written;
    });
    stall->start(m_setup.stallTime);
    const auto abort = connect(&m_cycle, &UpdateCycle::dismissRequested, raw, [raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    if (!*alive)
        throw OperationCancelled();
    disconnect(abort);
    stall->stop();
    QObject::disconnect(raw, nullptr, nullptr, nullptr);
    file.close();
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (state->timedOut)
        throw BridgeError::failed(unreachable());
    if (raw->error() == QNetworkReply::OperationCanceledError && !state->tooLong && !state->writeFailed)
        throw OperationCancelled();
    if (state->writeFailed)
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    if (state->tooLong)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
    if (raw->error() == QNetworkReply::RemoteHostClosedError
        || (raw->error() == QNetworkReply::NoError && status == 200 && state->written < item.length
            && raw->header(QNetworkRequest::ContentLengthHeader).toLongLong() > state->written))
        throw BridgeError::failed(loc("The update download broke off. Nothing was installed."));
    if (raw->error() != QNetworkReply::NoError || status != 200)
        throw BridgeError::failed(unreachable());
    if (state->written != item.length)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
}

qint64 SignedUpdateFramework::unpackedLimit(qint64 archiveLength)
{
    return archiveLength > unpackedCeiling / unpackedRatio ? unpackedCeiling : archiveLength * unpackedRatio;
}

// Unpacks the verified archive (`archive`, open) into the cycle's folder.
QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::unpack(int archive, qint64 length, QString version,
                                                                         std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be unpacked. Nothing was installed.");
    const QString name = QFileInfo(m_setup.bundlePath).fileName();
    const QString into = QDir(stagingPath()).filePath(QStringLiteral("unpacked"));
    const Descriptor folder(createInStaging(QStringLiteral("unpacked"), true));
    const Descriptor members(createInStaging(QStringLiteral("members.txt")));
    const Descriptor sizes(createInStaging(QStringLiteral("sizes.txt")));
    if (!folder.valid() || !members.valid() || !sizes.valid())
        throw BridgeError::failed(failed);

    // The members' names first: all inside one folder of the bundle's name;
    // and what they add up to, bounded by the archive's length.
    auto listed = runTar({QStringLiteral("--quoting-style=escape"), QStringLiteral("-tzf"), QStringLiteral("-")},
                         archive, members.get(), -1, alive);
    if (!co_await listed)
        throw BridgeError::failed(failed);
    auto inside = checkAside([listing = members.get(), name] { return membersStayInside(listing, name); }, alive);
    if (!co_await inside)
        throw BridgeError::failed(failed);
    auto measured = runTar({QStringLiteral("--numeric-owner"), QStringLiteral("-tvzf"), QStringLiteral("-")}, archive,
                           sizes.get(), -1, alive);
    if (!co_await measured)
        throw BridgeError::failed(failed);
    auto fits = checkAside([listing = sizes.get(), limit = unpackedLimit(length)] { return membersFit(listing, limit); },
                           alive);
    if (!co_await fits)
        throw BridgeError::failed(failed);

    auto unpacked = runTar({QStringLiteral("-xzf"), QStringLiteral("-"), QStringLiteral("--no-same-owner"),
                            QStringLiteral("--no-same-permissions")},
                           archive, -1, folder.get(), alive);
    if (!co_await unpacked)
        throw BridgeError::failed(failed);
    // Exactly one bundle of our name and identity, at the version the feed
    // promised, whose links all stay inside it, with its own executable.
    const QStringList entries = QDir(into).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QString staged = QDir(into).filePath(name);
    if (entries != QStringList{name} || entryKind(staged) != EntryKind::folder)
        throw BridgeError::failed(failed);
    // A folder moved into another one has its ".." rewritten, which takes
    // write permission on it: a bundle packed read-only would never move into
    // place (nor aside at the next update).
    giveOwnerAccess(folder.get(), QFile::encodeName(name).constData());
    auto linksInside = checkAside([staged] { return linksStayInside(staged); }, alive);
    if (!co_await linksInside)
        throw BridgeError::failed(failed);
    // Whatever modes the archive and this run's umask gave, only the person
    // may change the new app's code; the bundle's own folder gets the access
    // they gave the old one once it is in place.
    auto ownerOnly = checkAside([staged] { return writableByOwnerOnly(staged); }, alive);
    if (!co_await ownerOnly)
        throw BridgeError::failed(failed);
    const QString plistPath = QDir(staged).filePath(QStringLiteral("Contents/Info.plist"));
    QFile plist(plistPath);
    if (entryKind(plistPath) != EntryKind::file || !plist.open(QIODevice::ReadOnly))
        throw BridgeError::failed(failed);
    const auto info = AppBundle::parseInfoPlist(plist.read(1048576));
    if (!info
        || info->value(QStringLiteral("CFBundleIdentifier")).toString()
            != QLatin1String(SorvaneUpdateConfiguration::expectedBundleIdentifier)
        || info->value(QStringLiteral("CFBundleVersion")).toString() != version)
        throw BridgeError::failed(failed);
    const QString executable = info->value(QStringLiteral("CFBundleExecutable")).toString();
    const QString executablePath = QDir(staged).filePath(QStringLiteral("Contents/MacOS/") + executable);
    if (executable.isEmpty() || executable.contains(QLatin1Char('/')) || executable == u"." || executable == u".."
        || entryKind(executablePath) != EntryKind::file || !QFileInfo(executablePath).isExecutable())
        throw BridgeError::failed(failed);
    struct stat status;
    if (::lstat(QFile::encodeName(staged).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw BridgeError::failed(failed);
    co_return Staged{QString(staged), QString(executable), quint64(status.st_dev), quint64(status.st_ino)};
}

// The cycle's own folder beside the bundle. A link or anything else found at
// its path is not ours and is refused; a folder left by an interrupted cycle
// is cleared (off the GUI thread: it may be large), unless the bundle is
// missing (then it may hold the only copy).
QCoro::Task<void> SignedUpdateFramework::makeStaging(std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString staging = stagingPath();
    switch (entryKind(staging)) {
    case EntryKind::missing:
        break;
    case EntryKind::folder: {
        // It may hold the only copy of the previous version.
        if (entryKind(m_setup.bundlePath) != EntryKind::folder)
            throw BridgeError::failed(failed);
        if (!bundleAt(m_setup.bundlePath))
            throw BridgeError::failed(anotherFolderAt(m_setup.bundlePath));
        if (entryKind(QDir(staging).filePath(QLatin1String(keptName))) != EntryKind::missing)
            throw BridgeError::failed(loc("The update could not be installed, because the folder %@ from an earlier "
                                          "update keeps another folder that is not the app's. Move what you need "
                                          "out of it and remove that folder, then try again.",
                                          {staging}));
        auto cleared = WorkerDecoding::run<bool>([staging] { return removeOwnFolder(staging); });
        const bool removed = co_await cleared;
        if (!*alive)
            throw OperationCancelled();
        // Left by someone else (another user's folder inside): the person
        // is told which folder to remove.
        if (!removed)
            throw BridgeError::failed(loc("The update could not be installed, because the folder %@ from an earlier "
                                          "update could not be removed. Remove that folder, then try again.",
                                          {staging}));
        break;
    }
    default:
        throw BridgeError::failed(failed);
    }
    struct stat status;
    if (::mkdir(QFile::encodeName(staging).constData(), 0700) != 0
        || ::lstat(QFile::encodeName(staging).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw BridgeError::failed(failed);
    m_stagingDevice = status.st_dev;
    m_stagingInode = status.st_ino;
    m_stagingMade = true;
}

// `path` holds the bundle the app runs from; when that is not known yet,
// whatever folder stands there now becomes it.
bool SignedUpdateFramework::bundleAt(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    if (!m_bundleKnown) {
        m_bundleKnown = true;
        m_bundleDevice = status.st_dev;
        m_bundleInode = status.st_ino;
    }
    return status.st_dev == m_bundleDevice && status.st_ino == m_bundleInode;
}

// The cycle's folder, opened without following a link, while it is the one
// the cycle made; -1 otherwise.
int SignedUpdateFramework::openStaging() const
{
    if (!m_stagingMade)
        return -1;
    return openFolder(stagingPath(), m_stagingDevice, m_stagingInode).release();
}

// A new file (or folder) `name` in the cycle's folder, open; never an entry
// that was there already, a link least of all. -1 when it cannot be made.
int SignedUpdateFramework::createInStaging(const QString &name, bool folder)
{
    const Descriptor staging(openStaging());
    if (!staging.valid())
        return -1;
    const QByteArray native = QFile::encodeName(name);
    int created = -1;
    if (folder) {
        if (::mkdirat(staging.get(), native.constData(), 0700) == 0) {
            m_stagingEntries.append(name);
            created = ::openat(staging.get(), native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
    } else {
        created = ::openat(staging.get(), native.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (created >= 0)
            m_stagingEntries.append(name);
    }
    return created;
}

// The cycle's folder keeps a folder that is not the app's (one put at the
// app's path that could not be put back): it stays, and so it is marked for
// the cycles after this one, in this run or a later one.
void SignedUpdateFramework::keepAnotherFolder()
{
    m_keepStaging = true;
    const Descriptor marker(createInStaging(QString::fromLatin1(keptName), false));
    if (!marker.valid())
        qCWarning(lcUpdater) << "the update's folder could not be marked as keeping another folder";
}

// Removes what the cycle made in its folder, and the folder, off the GUI
// thread: a large or deep update takes seconds.
QCoro::Task<void> SignedUpdateFramework::clearStaging()
{
    auto cleared = WorkerDecoding::run<bool>(
        [path = stagingPath(), device = m_stagingDevice, inode = m_stagingInode, entries = m_stagingEntries] {
            return ::clearStaging(path, device, inode, entries);
        });
    if (!co_await cleared)
        qCWarning(lcUpdater) << "the update's folder was left in place";
}

// Fetches, verifies and unpacks the update into the cycle's own folder.
QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::prepareUpdate(UpdateItem item, std::shared_ptr<bool> alive,
                                                                               CancellationToken cancel)
{
    co_await makeStaging(alive);
    checkAlive(alive, cancel);
    m_cycle.set(UpdateCycle::Phase::downloading, loc("Downloading version %@…", {item.shortVersion}), 0);
    co_await download(item, alive);
    checkAlive(alive, cancel);

    // The signature is checked before a single byte is unpacked, on the
    // very file that is then unpacked.
    m_cycle.set(UpdateCycle::Phase::preparing, loc("Verifying and unpacking the update…"));
    const Descriptor staging(openStaging());
    const Descriptor archive(staging.valid() ? ::openat(staging.get(), archiveName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
    struct stat status;
    if (!archive.valid() || ::fstat(archive.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size != item.length)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
    {
        void *bytes = ::mmap(nullptr, size_t(item.length), PROT_READ, MAP_PRIVATE, archive.get(), 0);
        const bool mapped = bytes != MAP_FAILED;
        const bool valid = mapped
            && UpdateFeed::verify(static_cast<const uchar *>(bytes), item.length, item.signature, m_setup.publicKey);
        if (mapped)
            ::munmap(bytes, size_t(item.length));
        if (!valid)
            throw BridgeError::failed(loc("The update's signature is not valid. Nothing was installed."));
    }
    const Staged staged = co_await unpack(archive.get(), item.length, item.version, alive);
    co_return Staged(staged);
}

// Two renames on one file system: the old bundle steps aside, the new one
// takes its name, and the new executable starts. If the second rename fails
// or the new app does not start, the old bundle is put back; if that fails
// too, the old bundle stays where it stepped aside and the person is told.
void SignedUpdateFramework::replaceBundle(const Staged &staged)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString bundle = m_setup.bundlePath;
    const QString previous = QDir(stagingPath()).filePath(QStringLiteral("previous.app"));
    // Stepping aside rewrites the bundle folder's "..", which takes write
    // permission on the folder itself: the person's own read-only bundle gets
    // it, and whichever bundle then stands at its path gets the access they
    // gave the old one back. Another user's bundle that this one may not
    // change stays as it is.
    const QFileInfo info(bundle);
    const QByteArray name = QFile::encodeName(info.fileName());
    const Descriptor folder(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        throw BridgeError::failed(failed);
    // Only the bundle the app runs from steps aside.
    if (!bundleAt(bundle))
        throw BridgeError::failed(entryKind(bundle) == EntryKind::folder ? anotherFolderAt(bundle) : failed);
    const quint64 oldDevice = m_bundleDevice;
    const quint64 oldInode = m_bundleInode;
    const std::optional<mode_t> mode = giveOwnerAccess(folder.get(), name.constData());
    const std::optional<FolderAccess> access =
        mode ? folderAccess(folder.get(), name.constData(), *mode) : std::nullopt;
    // As this ends, once the new bundle has started (until then it may have to
    // step aside again) or the old one is back; also where the new one could
    // not step aside again. An old bundle kept aside stays writable, for the
    // person to move it back: only the bundle at the app's path is changed.
    auto modeBack = qScopeGuard([&] {
        if (access)
            restoreFolderAccess(folder.get(), name.constData(), *access, staged.device, staged.inode);
    });
    const auto keptAside = [&] {
        m_keepStaging = true;
        return BridgeError::failed(loc("The update could not be installed, and the previous version could not be put "
                                       "back: it is kept in %@.",
                                       {previous}));
    };
    // Another folder put at the app's path meanwhile (in an install folder
    // others may write into) is not the cycle's to move, change or remove.
    const auto replacedMeanwhile = [&] {
        m_keepStaging = true;
        return BridgeError::failed(loc("Another folder was put at %@ during the update and was left as it is. The "
                                       "previous version is kept in %@.",
                                       {bundle, previous}));
    };
    // Granted, yet refused (another user's folder, an access list).
    if (::faccessat(folder.get(), name.constData(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0 && errno == EACCES)
        throw BridgeError::failed(loc("The update could not be installed, because you have no permission to change "
                                      "the folder %@. Give yourself write access to that folder, then try again.",
                                      {bundle}));
    if (!m_setup.rename(bundle, previous))
        throw BridgeError::failed(failed);
    // Whatever was put in its place between the look and the move goes
    // straight back.
    if (!standsAt(previous, oldDevice, oldInode)) {
        if (m_setup.rename(previous, bundle))
            throw BridgeError::failed(anotherFolderAt(bundle));
        keepAnotherFolder();
        throw BridgeError::failed(loc("Another folder was put at %@ during the update and could not be put back: it "
                                      "is kept in %@. Nothing was installed.",
                                      {bundle, previous}));
    }
    // Left for the clean-up only once it is known to be the old bundle.
    m_stagingEntries.append(QFileInfo(previous).fileName());
    if (!m_setup.rename(staged.bundle, bundle)) {
        if (!m_setup.rename(previous, bundle))
            throw keptAside();
        throw BridgeError::failed(failed);
    }
    const QString executable = QDir(bundle).filePath(QStringLiteral("Contents/MacOS/") + staged.executable);
    if (m_setup.relaunch && m_setup.relaunch(executable)) {
        if (!standsAt(bundle, staged.device, staged.inode))
            throw replacedMeanwhile();
        m_bundleDevice = staged.device;
        m_bundleInode = staged.inode;
        m_cycle.set(UpdateCycle::Phase::idle, QString());
        return;
    }
    // Only the new bundle steps aside again; whatever else was moved aside
    // in its place (between the look and the move) goes straight back.
    if (!standsAt(bundle, staged.device, staged.inode))
        throw replacedMeanwhile();
    if (!m_setup.rename(bundle, staged.bundle))
        throw keptAside();
    if (!standsAt(staged.bundle, staged.device, staged.inode)) {
        if (m_setup.rename(staged.bundle, bundle))
            throw replacedMeanwhile();
        keepAnotherFolder();
        throw BridgeError::failed(loc("Another folder was put at %@ during the update and could not be put back: it "
                                      "is kept in %@. The previous version is kept in %@.",
                                      {bundle, staged.bundle, previous}));
    }
    if (!m_setup.rename(previous, bundle))
        throw keptAside();
    throw BridgeError::failed(loc("The new version could not be started, so the previous version was put back."));
}

// Its meta-object stays with it (not in the area's shared moc file), so a
// program that does not use the machinery does not link it.
#include "moc_signedupdateframework.cpp"
