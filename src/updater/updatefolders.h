#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

// The folder operations of an update, beside the bundle the app runs from:
// opening, walking, renaming, changing who may do what, and removing. None
// follows a link when it writes or removes; each changes the mode of this
// user's own entries only, through a descriptor; none keeps more than a few
// descriptors open however deep a folder goes.
namespace UpdateFolders {

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
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

enum class EntryKind { missing, link, folder, file, other };
// What stands at `path`, a link not followed.
EntryKind entryKind(const QString &path);
// The entry at `path` is the one `device` and `inode` name, not followed if a link.
bool standsAt(const QString &path, quint64 device, quint64 inode);
// The folder at `path`, opened without following a link, only while it is
// the folder `device` and `inode` name.
Descriptor openFolder(const QString &path, quint64 device, quint64 inode);
// The folder holding `path`, open (links in its own path are followed).
Descriptor openParent(const QString &path);
// The names in the open folder `folder`, "." and ".." left out.
std::optional<QList<QByteArray>> namesIn(int folder);

// A rename that never replaces what is at `to`; false with errno set.
using Rename = std::function<bool(const QString &from, const QString &to)>;
// The system's: one rename with the flag that forbids replacing.
bool renameNoReplace(const QString &from, const QString &to);
// `rename`, and where the file system refuses its flag as unsupported (NFS,
// FUSE, eCryptfs), a plain rename once nothing stands at `to`: a plain
// rename could only replace an empty folder put there in between.
bool moveWithoutReplacing(const QString &from, const QString &to, const Rename &rename);

// Gives the folder `name` in the open folder `parent` owner read, write and
// search permission when it is this user's and lacks some, and where
// `device` and `inode` are given, only while it is the folder they name. The
// mode it had; nothing when it is not this user's, not that folder, or could
// not be changed.
std::optional<mode_t> giveOwnerAccess(int parent, const char *name, quint64 device = 0, quint64 inode = 0);

// Who may do what in the bundle folder the person had.
struct BundleAccess
{
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t groupBits = 0; // its owning group's own, not an access list's mask
    QByteArray list;      // its access list as the kernel keeps it; empty without one

    // Its own group may write into it: a bundle its group members share.
    bool shared() const { return groupBits & S_IWGRP; }
};
// The access of the folder `name` in the open folder `parent`, while it is
// the folder `device` and `inode` name; its mode is `modeBefore` where the
// caller changed it, else the mode it has. This user's own folder that they
// may not read (0311, 0000) is read with owner access given for that moment.
std::optional<BundleAccess> bundleAccessOf(int parent, const char *name, quint64 device, quint64 inode,
                                           std::optional<mode_t> modeBefore = std::nullopt);
// Gives the folder `name` in the open folder `parent` back the access the
// person gave the old bundle `old`, when it is one of the two folders the
// cycle put there: the old bundle (its exact mode), or the new one (`device`
// and `inode`: the old mode, group and access list). Another folder found
// there is left as it is.
void restoreBundleAccess(int parent, const char *name, const BundleAccess &old, quint64 device, quint64 inode);

// This user is in the group `group`, as its own or a further group.
bool inGroup(gid_t group);
// The name of the user `user`, or its number where it has none.
QString userName(uid_t user);

// Every link below `root` points inside it, as written and as the file
// system resolves it (an entry the walk cannot reach counts as a link out).
bool linksStayInside(const QString &root);
// Sets who may do what below `root`, and in `root` itself, a new bundle
// standing in for the bundle folder `bundle`, whatever the archive and the
// umask gave: read and search as the bundle folder gives them; write for the
// owner, for the bundle's group only where it shares the bundle, never for
// others; the bundle's access list, with no more than those rights, where it
// has one. False when an entry could not be set, or is neither a folder, a
// plain file nor a link (a FIFO, a socket, a device).
bool settleAccessBelow(const QString &root, const BundleAccess &bundle);
// This user could remove everything below `root`: every folder there lets
// them write and search, and none keeps others' entries to their owners.
bool removableBelow(const QString &root);

// Removes the entry `name` in the folder `parent` and, for a folder,
// everything in it. A link is removed as a link. Whatever cannot be removed
// is passed, and the folders holding it stay; false then. It does not go
// into a folder mounted inside (where the kernel tells the mounts apart: a
// bind mount of the same disk from Linux 5.8 on), and removes nothing there.
bool removeEntryAt(int parent, const QByteArray &name);
// Removes the entries `entries` in the folder at `path`, while it is the one
// `device` and `inode` name, then the folder when nothing else is left in
// it: an entry someone else put there is left alone, and the folder with it.
// A folder mounted there (on another file system than its parent) is left
// as it is.
bool clearFolder(const QString &path, quint64 device, quint64 inode, const QStringList &entries);

} // namespace UpdateFolders
