#include "updatefolders.h"

#include "foundation/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/limits.h>
#include <memory>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace UpdateFolders {

namespace {

constexpr const char *accessList = "system.posix_acl_access";

// An access list's tags, as the kernel keeps them.
enum ListTag : quint16 { ownerTag = 0x01, userTag = 0x02, groupTag = 0x04, namedGroupTag = 0x08, maskTag = 0x10,
                         otherTag = 0x20 };

struct ListEntry
{
    quint16 tag;
    quint16 permissions;
    quint32 id;
};

// Little-endian: a version (2), then each entry's tag, permissions and id.
std::vector<ListEntry> listEntries(const QByteArray &list)
{
    std::vector<ListEntry> entries;
    const auto *bytes = reinterpret_cast<const uchar *>(list.constData());
    if (list.size() < 4 || qFromLittleEndian<quint32>(bytes) != 2)
        return entries;
    for (qsizetype at = 4; at + 8 <= list.size(); at += 8)
        entries.push_back({qFromLittleEndian<quint16>(bytes + at), quint16(qFromLittleEndian<quint16>(bytes + at + 2) & 7),
                           qFromLittleEndian<quint32>(bytes + at + 4)});
    return entries;
}

QByteArray listBytes(const std::vector<ListEntry> &entries)
{
    QByteArray list(4 + 8 * qsizetype(entries.size()), Qt::Uninitialized);
    auto *bytes = reinterpret_cast<uchar *>(list.data());
    qToLittleEndian<quint32>(2, bytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        qToLittleEndian<quint16>(entries[i].tag, bytes + 4 + 8 * i);
        qToLittleEndian<quint16>(entries[i].permissions, bytes + 6 + 8 * i);
        qToLittleEndian<quint32>(entries[i].id, bytes + 8 + 8 * i);
    }
    return list;
}

// The access list of the open entry `entry`; empty without one.
QByteArray listOf(int entry)
{
    QByteArray list(XATTR_SIZE_MAX, Qt::Uninitialized);
    const ssize_t size = entry >= 0 ? ::fgetxattr(entry, accessList, list.data(), size_t(list.size())) : -1;
    list.resize(size > 0 ? size : 0);
    return list;
}

bool hasList(int entry)
{
    return entry >= 0 && ::fgetxattr(entry, accessList, nullptr, 0) > 0;
}

// Gives every entry of the group class (named users, the owning group, named
// groups) in `entries` the rights `rights(permissions, tag)` makes of its own,
// and the mask their union, which it answers.
template<class Rights>
quint16 limitGroupClass(std::vector<ListEntry> &entries, Rights rights)
{
    quint16 granted = 0;
    for (ListEntry &listed : entries) {
        if (listed.tag == userTag || listed.tag == groupTag || listed.tag == namedGroupTag)
            granted |= listed.permissions = rights(listed.permissions, listed.tag);
    }
    for (ListEntry &listed : entries) {
        if (listed.tag == maskTag)
            listed.permissions = granted;
    }
    return granted;
}

// What a list gives its group class as the mode's group bits show it: its
// mask, or without one its owning group's entry.
quint16 groupClass(const std::vector<ListEntry> &entries)
{
    quint16 owningGroup = 0;
    for (const ListEntry &listed : entries) {
        if (listed.tag == maskTag)
            return listed.permissions;
        if (listed.tag == groupTag)
            owningGroup = listed.permissions;
    }
    return owningGroup;
}

bool sameEntry(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file system an entry is on: its device, and the mount's id, since a
// folder bound onto another of the same disk has that disk's device. The
// kernel gives no id before Linux 5.8: there only another disk shows.
struct Mount
{
    dev_t device = 0;
    std::optional<quint64> id;
};

// The mount of the entry `name` in the open folder `folder` (a mount point
// answers for what is mounted on it), or of `folder` itself for "".
std::optional<Mount> mountOf(int folder, const char *name)
{
    struct statx status;
    const int flags = (*name ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH) | AT_NO_AUTOMOUNT;
    if (::statx(folder, name, flags, STATX_MNT_ID, &status) != 0)
        return std::nullopt;
    Mount mount{makedev(status.stx_dev_major, status.stx_dev_minor), std::nullopt};
    if (status.stx_mask & STATX_MNT_ID)
        mount.id = status.stx_mnt_id;
    return mount;
}

bool sameMount(const std::optional<Mount> &a, const std::optional<Mount> &b)
{
    return a && b && a->device == b->device && (!a->id || !b->id || *a->id == *b->id);
}

// Gives the entry `name` in the open folder `parent` (a folder, or a plain
// file where `folder` is false), when it is this user's, the mode
// `change(status, descriptor)` makes of it (the descriptor is -1 where it
// could not be opened). Never through a link: it is opened without following
// one and changed through its descriptor. Only one its owner cannot read,
// which cannot be opened, is changed by name, with a call the C library
// carries out through /proc. The mode it had; nothing when it is not one of
// this user's or the change failed.
template<class Change>
std::optional<mode_t> changeOwnEntryMode(int parent, const char *name, Change change, bool folder = true)
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
        const int error = errno;
        qCWarning(lcUpdater) << "the mode of" << QFile::decodeName(name) << "could not be changed:"
                             << qt_error_string(error);
        return std::nullopt;
    }
    return mode;
}

// Walks the folder `name` in the open folder `parent`, depth first, without
// following a link and with no more than four descriptors open however deep
// it goes: it holds only the folder it is in, and climbs back through "..",
// which must be the very folder it came down from (a folder moved meanwhile
// ends the walk). `entry(folder, name, status, where)` sees every entry that
// is not a folder (`where`: its folder's path below the walked one, "" or
// "/a/b"); `leave(folder, name)` is called once a folder's entries are done.
// Either ends the walk by answering false. False when the walk did not end
// by itself. It stays on the file system of `parent`: a folder mounted below
// is not entered (nor given any permission), as one it cannot open.
// `removing` passes a folder gone meanwhile, gives each folder of
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
    const auto home = mountOf(parent, "");
    if (::fstat(parent, &parentStatus) != 0 || !home)
        return false;
    std::vector<Level> levels;
    QByteArray where;
    Descriptor current;
    // Opens the sub-folder `child` of the current folder (or of `parent` for
    // the first) and reads its entries.
    const auto enter = [&](const QByteArray &child) {
        const int in = current.valid() ? current.get() : parent;
        const auto mount = mountOf(in, child.constData());
        if (!mount && errno == ENOENT && removing && !levels.empty())
            return true;
        if (!sameMount(mount, home))
            return false;
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

// Walks the folder at `root` (see walkFolder).
template<class Entry, class Leave>
bool walkFolderAt(const QString &root, Entry entry, Leave leave)
{
    const Descriptor parent = openParent(root);
    return parent.valid() && walkFolder(parent.get(), QFile::encodeName(QFileInfo(root).fileName()), entry, leave);
}

// Inside `root` (a clean absolute path), or `root` itself.
bool isInside(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// The rights `permissions` (read, write, search as 4, 2, 1) give on an entry
// of a new bundle: read, search only on a folder or where its owner may run
// it, and write only where `write` allows it.
quint16 rightsInside(quint16 permissions, const struct stat &status, bool write)
{
    const bool runs = S_ISDIR(status.st_mode) || (status.st_mode & S_IXUSR);
    const bool writes = write && (S_ISDIR(status.st_mode) || (status.st_mode & S_IWUSR));
    return quint16((permissions & 4) | (runs ? permissions & 1 : 0) | (writes ? permissions & 2 : 0));
}

// Gives the entry `status` (open as `entry`, -1 where it could not be
// opened) below a new bundle standing in for `bundle` the bundle's group,
// where it may, and the bundle's access list, where it has one; answers the
// mode it is to get (see settleAccessBelow).
mode_t settleEntry(const struct stat &status, int entry, const BundleAccess &bundle)
{
    const mode_t own = status.st_mode & (07000 | S_IRWXU);
    const quint16 others = rightsInside(bundle.mode & 7, status, false);
    // Write for the group only where it shares the bundle and is its group.
    const bool sameGroup = status.st_gid == bundle.group || (entry >= 0 && ::fchown(entry, uid_t(-1), bundle.group) == 0);
    const bool groupWrites = bundle.shared() && sameGroup;
    if (bundle.list.isEmpty()) {
        // A list the install folder's owner set as its default stays its own.
        if (hasList(entry))
            return own | (status.st_mode & S_IRWXG) | others;
        return own | mode_t(rightsInside(quint16(bundle.groupBits >> 3), status, groupWrites)) << 3 | others;
    }
    std::vector<ListEntry> entries = listEntries(bundle.list);
    const quint16 mask = groupClass(entries);
    for (ListEntry &listed : entries) {
        if (listed.tag == ownerTag)
            listed.permissions = quint16((own & S_IRWXU) >> 6);
        else if (listed.tag == otherTag)
            listed.permissions = others;
    }
    // Write only for the bundle's own group, as without a list.
    const quint16 granted = limitGroupClass(entries, [&](quint16 permissions, quint16 tag) {
        return rightsInside(permissions & mask, status, groupWrites && tag == groupTag);
    });
    const QByteArray list = listBytes(entries);
    // Without its list no member the owner denies may write: the group does not.
    if (entry < 0 || ::fsetxattr(entry, accessList, list.constData(), size_t(list.size()), 0) != 0)
        return own | mode_t(rightsInside(quint16(bundle.groupBits >> 3), status, false)) << 3 | others;
    return own | mode_t(granted) << 3 | others;
}

} // namespace

void Descriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

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

bool standsAt(const QString &path, quint64 device, quint64 inode)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && status.st_dev == device
        && status.st_ino == inode;
}

Descriptor openFolder(const QString &path, quint64 device, quint64 inode)
{
    Descriptor folder(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (folder.valid() && (::fstat(folder.get(), &status) != 0 || status.st_dev != device || status.st_ino != inode))
        folder.reset();
    return folder;
}

Descriptor openParent(const QString &path)
{
    return Descriptor(
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

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

bool renameNoReplace(const QString &from, const QString &to)
{
    bool renamed = false;
    int error = 0;
    {
        const QByteArray source = QFile::encodeName(from);
        const QByteArray target = QFile::encodeName(to);
        renamed = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0;
        error = errno;
    }
    errno = error; // as the rename left it, for the caller's look at why
    return renamed;
}

bool moveWithoutReplacing(const QString &from, const QString &to, const Rename &rename)
{
    if (rename(from, to))
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    struct stat status;
    const QByteArray target = QFile::encodeName(to);
    if (::lstat(target.constData(), &status) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return ::rename(QFile::encodeName(from).constData(), target.constData()) == 0;
}

// Gives this user's folder `name` in the open folder `parent` the mode
// `change` makes of the one it has, only while it is the folder `device` and
// `inode` name (any where `device` is 0). The mode it had.
template<class Change>
std::optional<mode_t> changeOwnFolderMode(int parent, const char *name, quint64 device, quint64 inode, Change change)
{
    bool another = false;
    const auto mode = changeOwnEntryMode(parent, name, [&](const struct stat &status, int) {
        another = device != 0 && (status.st_dev != device || status.st_ino != inode);
        return another ? mode_t(status.st_mode & 07777) : change(mode_t(status.st_mode & 07777));
    });
    return another ? std::nullopt : mode;
}

std::optional<mode_t> giveOwnerAccess(int parent, const char *name, quint64 device, quint64 inode)
{
    return changeOwnFolderMode(parent, name, device, inode, [](mode_t mode) { return mode | S_IRWXU; });
}

// With an access list the mode's group bits are the list's mask, which
// bounds every named entry too: the owning group's own right is its entry
// within that mask.
std::optional<BundleAccess> bundleAccessOf(int parent, const char *name, quint64 device, quint64 inode,
                                           std::optional<mode_t> modeBefore)
{
    Descriptor folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // The person's own folder they may not read: opened with the access they
    // may always give themselves, which it gets back at once.
    std::optional<mode_t> given;
    if (!folder.valid() && errno == EACCES) {
        given = giveOwnerAccess(parent, name, device, inode);
        if (given)
            folder.reset(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    struct stat status;
    const bool found = folder.valid() && ::fstat(folder.get(), &status) == 0 && status.st_dev == device
        && status.st_ino == inode;
    if (given && !found)
        changeOwnFolderMode(parent, name, device, inode, [&given](mode_t) { return *given; });
    if (!found || (given && (status.st_mode & 07777) != *given && ::fchmod(folder.get(), *given) != 0))
        return std::nullopt;
    const mode_t mode = modeBefore.value_or(given.value_or(status.st_mode & 07777));
    mode_t groupBits = mode & S_IRWXG;
    const QByteArray list = listOf(folder.get());
    for (const ListEntry &entry : listEntries(list)) {
        if (entry.tag == groupTag)
            groupBits &= mode_t(entry.permissions) << 3;
    }
    return BundleAccess{mode, status.st_dev, status.st_ino, status.st_uid, status.st_gid, groupBits, list};
}

// The new bundle gets the old mode whatever this run's umask, the old group
// where its owner may give it (a shared folder may have given it its own),
// and the old access list with them. Write for the group stays only where
// that group is the same people, as the list says.
void restoreBundleAccess(int parent, const char *name, const BundleAccess &old, quint64 device, quint64 inode)
{
    changeOwnEntryMode(parent, name, [&old, device, inode](const struct stat &status, int folder) {
        if (status.st_dev == old.device && status.st_ino == old.inode)
            return old.mode;
        if (status.st_dev != device || status.st_ino != inode)
            return mode_t(status.st_mode & 07777);
        // The old group carried over first, where this user may give it.
        const bool sameGroup = status.st_gid == old.group || ::fchown(folder, uid_t(-1), old.group) == 0;
        if (old.list.isEmpty()) {
            ::fremovexattr(folder, accessList); // one the install folder's default list gave it
            return (old.mode & ~mode_t(S_IRWXG)) | (old.groupBits & ~mode_t(sameGroup ? 0 : S_IWGRP));
        }
        // Its named entries too (a member it denies stays denied), without
        // write for any of them where the group is not the same.
        std::vector<ListEntry> entries = listEntries(old.list);
        if (!sameGroup)
            limitGroupClass(entries, [](quint16 permissions, quint16) { return quint16(permissions & ~2); });
        const QByteArray list = listBytes(entries);
        if (::fsetxattr(folder, accessList, list.constData(), size_t(list.size()), 0) == 0)
            return (old.mode & ~mode_t(S_IRWXG)) | mode_t(groupClass(entries)) << 3;
        return (old.mode & ~mode_t(S_IRWXG)) | (old.groupBits & ~mode_t(S_IWGRP));
    });
}

bool inGroup(gid_t group)
{
    if (::getegid() == group)
        return true;
    std::vector<gid_t> groups(size_t(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(int(groups.size()), groups.data());
    return count > 0 && std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

QString userName(uid_t user)
{
    struct passwd entry;
    struct passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return QFile::decodeName(found->pw_name);
    return QString::number(user);
}

bool linksStayInside(const QString &root)
{
    const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString canonicalRoot = QFileInfo(cleanRoot).canonicalFilePath();
    return walkFolderAt(
        cleanRoot,
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

bool settleAccessBelow(const QString &root, const BundleAccess &bundle)
{
    const auto settle = [&bundle](int folder, const char *name, bool isFolder) {
        return changeOwnEntryMode(
                   folder, name,
                   [&bundle](const struct stat &status, int entry) { return settleEntry(status, entry, bundle); },
                   isFolder)
            .has_value();
    };
    return walkFolderAt(
        root,
        [&settle](int folder, const char *name, const struct stat &status, const QByteArray &) {
            return S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && settle(folder, name, false));
        },
        [&settle](int folder, const char *name) { return settle(folder, name, true); });
}

bool removableBelow(const QString &root)
{
    return walkFolderAt(
        root, [](int, const char *, const struct stat &, const QByteArray &) { return true; },
        [](int folder, const char *name) {
            struct stat status;
            return ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0
                && (!(status.st_mode & S_ISVTX) || status.st_uid == ::geteuid())
                && ::faccessat(folder, name, W_OK | X_OK, AT_EACCESS) == 0;
        });
}

bool removeEntryAt(int parent, const QByteArray &name)
{
    struct stat status;
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(parent, name.constData(), 0) == 0 || errno == ENOENT;
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

bool clearFolder(const QString &path, quint64 device, quint64 inode, const QStringList &entries)
{
    const Descriptor folder = openFolder(path, device, inode);
    const Descriptor parent = openParent(path);
    if (!folder.valid() || !parent.valid() || !sameMount(mountOf(folder.get(), ""), mountOf(parent.get(), "")))
        return false;
    bool removed = true;
    for (const QString &entry : entries)
        removed = removeEntryAt(folder.get(), QFile::encodeName(entry)) && removed;
    return removed
        && ::unlinkat(parent.get(), QFile::encodeName(QFileInfo(path).fileName()).constData(), AT_REMOVEDIR) == 0;
}

} // namespace UpdateFolders
