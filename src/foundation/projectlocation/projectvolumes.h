#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

// What the project location store asks of the file system about a folder and
// its disk. The store's checks and messages stay in the store; this layer
// only reports facts, so tests can stand in other disks.
class ProjectVolumes
{
public:
    struct ResourceValues
    {
        std::optional<bool> isDirectory;
        std::optional<QString> volumeUUID;
        std::optional<QString> volumeName; // nullopt or empty: the disk has none
        std::optional<bool> volumeIsReadOnly; // nullopt: unknown
    };

    struct Resolution
    {
        QString path;
        bool stale = false; // the folder was found somewhere other than recorded
    };

    virtual ~ProjectVolumes() = default;

    // nullopt when nothing can be read at `path` (missing, disk gone).
    virtual std::optional<ResourceValues> resourceValues(const QString &path) const = 0;
    virtual bool isReadable(const QString &path) const = 0;
    virtual bool isWritable(const QString &path) const = 0;
    // The folder's file number; nullopt when it has none. Throws BridgeError
    // with the system's own description when the attributes cannot be read.
    virtual std::optional<quint64> fileNumber(const QString &path) const = 0;
    // Opaque bytes from which the folder can be found again. Throws
    // BridgeError with the system's description on failure.
    virtual QByteArray createBookmark(const QString &path) const = 0;
    // Finds the bookmarked folder without asking anybody and without mounting
    // anything; nullopt when it cannot be found.
    virtual std::optional<Resolution> resolveBookmark(const QByteArray &bookmark) const = 0;

    // The layer of this machine.
    static std::shared_ptr<ProjectVolumes> standard();
};

// Linux: a disk is known by its file-system UUID, or, for file systems
// without one (tmpfs, overlay, network mounts), by a UUID derived from its
// mount; the file number is the inode. A bookmark records path, disk and
// inode, and finds a folder renamed nearby on the same disk again.
class LinuxProjectVolumes final : public ProjectVolumes
{
public:
    std::optional<ResourceValues> resourceValues(const QString &path) const override;
    bool isReadable(const QString &path) const override;
    bool isWritable(const QString &path) const override;
    std::optional<quint64> fileNumber(const QString &path) const override;
    QByteArray createBookmark(const QString &path) const override;
    std::optional<Resolution> resolveBookmark(const QByteArray &bookmark) const override;

    // A disk's name: its file system's label, else the name of the folder it
    // is mounted on; nullopt for a disk mounted on the root.
    static std::optional<QString> volumeName(const std::optional<QString> &label, const QString &mountPoint);
};
