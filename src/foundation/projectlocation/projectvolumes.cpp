#include "projectvolumes.h"

#include "foundation/errors.h"

#include <QByteArrayView>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QQueue>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct Mount
{
    QString mountPoint;
    QString fsType;
    QString source;
    unsigned int major = 0;
    unsigned int minor = 0;
};

// `raw` with each escape of `marker` and then `digits` digits in `base`
// replaced by the byte it stands for; anything else is kept as it is.
QString unescaped(const QByteArray &raw, QByteArrayView marker, qsizetype digits, int base)
{
    const qsizetype length = marker.size() + digits;
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (i + length - 1 < raw.size() && QByteArrayView(raw).sliced(i).startsWith(marker)) {
            bool ok = false;
            const int code = raw.mid(i + marker.size(), digits).toInt(&ok, base);
            if (ok) {
                out.append(char(code));
                i += length - 1;
                continue;
            }
        }
        out.append(raw.at(i));
    }
    return QString::fromUtf8(out);
}

// mountinfo escapes space, tab, newline and backslash as octal.
QString unescapeOctal(const QByteArray &field)
{
    return unescaped(field, "\\", 3, 8);
}

QList<Mount> readMounts()
{
    QList<Mount> mounts;
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return mounts;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 2 >= fields.size())
            continue;
        const QList<QByteArray> dev = fields.at(2).split(':');
        if (dev.size() != 2)
            continue;
        Mount mount;
        mount.major = dev.at(0).toUInt();
        mount.minor = dev.at(1).toUInt();
        mount.mountPoint = unescapeOctal(fields.at(4));
        mount.fsType = unescapeOctal(fields.at(dash + 1));
        mount.source = unescapeOctal(fields.at(dash + 2));
        mounts.append(mount);
    }
    return mounts;
}

bool isBelow(const QString &path, const QString &mountPoint)
{
    if (mountPoint == QLatin1String("/"))
        return true;
    return path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/'));
}

// The mount that holds `path` (device `dev`): the deepest mount point above
// the path with that device, or the deepest mount point above it at all.
std::optional<Mount> mountOf(const QString &path, dev_t dev)
{
    std::optional<Mount> best;
    std::optional<Mount> bestSameDevice;
    for (const Mount &mount : readMounts()) {
        if (!isBelow(path, mount.mountPoint))
            continue;
        if (!best || mount.mountPoint.size() >= best->mountPoint.size())
            best = mount;
        if (mount.major == ::major(dev) && mount.minor == ::minor(dev)
            && (!bestSameDevice || mount.mountPoint.size() >= bestSameDevice->mountPoint.size()))
            bestSameDevice = mount;
    }
    return bestSameDevice ? bestSameDevice : best;
}

// udev names links with \xNN escapes ("My\x20Disk").
QString unescapeUdev(const QString &name)
{
    return unescaped(name.toUtf8(), "\\x", 2, 16);
}

// The entry of /dev/disk/<folder> that names the block device of the mount.
std::optional<QString> diskLink(const QString &folder, dev_t dev, const Mount &mount)
{
    const QString canonicalSource = QFileInfo(mount.source).canonicalFilePath();
    QDirIterator it(QStringLiteral("/dev/disk/") + folder, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString link = it.next();
        struct stat target{};
        if (::stat(QFile::encodeName(link).constData(), &target) != 0 || !S_ISBLK(target.st_mode))
            continue;
        if (target.st_rdev == dev
            || (!canonicalSource.isEmpty() && QFileInfo(link).canonicalFilePath() == canonicalSource))
            return unescapeUdev(it.fileName());
    }
    return std::nullopt;
}

QString derivedVolumeID(const Mount &mount)
{
    // A stable name for one mounting of a file system that has no UUID of its
    // own; mounting it anew elsewhere makes it another disk, as it should.
    static const QUuid ns(QStringLiteral("6f1c8a52-3d2e-4b7a-9c41-2a5e0d7b8f13"));
    const QString seed = mount.mountPoint + QLatin1Char('\n') + mount.fsType + QLatin1Char('\n') + mount.source
                         + QLatin1Char('\n') + QString::number(mount.major) + QLatin1Char(':')
                         + QString::number(mount.minor);
    return QUuid::createUuidV5(ns, seed).toString(QUuid::WithoutBraces);
}

std::optional<QString> volumeUUIDOf(const QString &path, const struct stat &st)
{
    const auto mount = mountOf(path, st.st_dev);
    if (!mount)
        return std::nullopt;
    if (auto uuid = diskLink(QStringLiteral("by-uuid"), st.st_dev, *mount))
        return uuid;
    return derivedVolumeID(*mount);
}

BridgeError systemError(int code)
{
    return BridgeError::failed(QString::fromLocal8Bit(std::strerror(code)));
}

struct BookmarkData
{
    QString path;
    QString volumeID;
    quint64 fileNumber = 0;
};

std::optional<BookmarkData> readBookmark(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(bytes, &error).object();
    if (error.error != QJsonParseError::NoError || o.value(QStringLiteral("kind")).toString() != QLatin1String("tavlon-folder-1"))
        return std::nullopt;
    bool ok = false;
    BookmarkData data;
    data.path = o.value(QStringLiteral("path")).toString();
    data.volumeID = o.value(QStringLiteral("volumeID")).toString();
    data.fileNumber = o.value(QStringLiteral("fileNumber")).toString().toULongLong(&ok);
    if (!ok || data.path.isEmpty() || data.volumeID.isEmpty())
        return std::nullopt;
    return data;
}

} // namespace

std::shared_ptr<ProjectVolumes> ProjectVolumes::standard()
{
    static const auto volumes = std::make_shared<LinuxProjectVolumes>();
    return volumes;
}

std::optional<ProjectVolumes::ResourceValues> LinuxProjectVolumes::resourceValues(const QString &path) const
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0)
        return std::nullopt;
    ResourceValues values;
    values.isDirectory = S_ISDIR(st.st_mode);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    values.volumeUUID = volumeUUIDOf(absolute, st);
    if (const auto mount = mountOf(absolute, st.st_dev))
        values.volumeName = volumeName(diskLink(QStringLiteral("by-label"), st.st_dev, *mount), mount->mountPoint);
    struct statvfs vfs{};
    if (::statvfs(native.constData(), &vfs) == 0)
        values.volumeIsReadOnly = (vfs.f_flag & ST_RDONLY) != 0;
    return values;
}

std::optional<QString> LinuxProjectVolumes::volumeName(const std::optional<QString> &label, const QString &mountPoint)
{
    if (label && !label->trimmed().isEmpty())
        return label;
    // A disk without a label is known by where it is mounted ("/media/ann/Footage": Footage).
    const QString name = QFileInfo(QDir::cleanPath(mountPoint)).fileName();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

bool LinuxProjectVolumes::isReadable(const QString &path) const
{
    return ::access(QFile::encodeName(path).constData(), R_OK | X_OK) == 0;
}

bool LinuxProjectVolumes::isWritable(const QString &path) const
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0)
        return false;
    // access() answers yes to root for any folder; a folder without a single
    // write bit is meant to be read-only, whoever asks.
    return ::access(native.constData(), W_OK) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::optional<quint64> LinuxProjectVolumes::fileNumber(const QString &path) const
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw systemError(errno);
    return quint64(st.st_ino);
}

QByteArray LinuxProjectVolumes::createBookmark(const QString &path) const
{
    const auto values = resourceValues(path);
    if (!values || !values->volumeUUID)
        throw systemError(ENOENT);
    QJsonObject o;
    o.insert(QStringLiteral("kind"), QStringLiteral("tavlon-folder-1"));
    o.insert(QStringLiteral("path"), path);
    o.insert(QStringLiteral("volumeID"), *values->volumeUUID);
    o.insert(QStringLiteral("fileNumber"), QString::number(*fileNumber(path)));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ProjectVolumes::Resolution> LinuxProjectVolumes::resolveBookmark(const QByteArray &bookmark) const
{
    const auto data = readBookmark(bookmark);
    if (!data)
        return std::nullopt;

    auto sameFolder = [&](const QString &path) {
        const auto values = resourceValues(path);
        struct stat st{};
        return values && values->isDirectory.value_or(false) && values->volumeUUID == data->volumeID
               && ::stat(QFile::encodeName(path).constData(), &st) == 0 && quint64(st.st_ino) == data->fileNumber;
    };
    if (sameFolder(data->path))
        return Resolution{data->path, false};

    // Look for the folder under a new name near its old place: from the
    // deepest ancestor that still exists on the same disk, a bounded walk
    // that never leaves that disk and never follows links.
    QString ancestor = QFileInfo(data->path).absolutePath();
    while (!QFileInfo(ancestor).isDir() && ancestor != QLatin1String("/"))
        ancestor = QFileInfo(ancestor).absolutePath();
    struct stat top{};
    const auto ancestorValues = resourceValues(ancestor);
    if (ancestorValues && ancestorValues->volumeUUID == data->volumeID
        && ::stat(QFile::encodeName(ancestor).constData(), &top) == 0) {
        constexpr int maxDepth = 3;
        constexpr int maxFolders = 5000;
        int visited = 0;
        QQueue<std::pair<QString, int>> queue;
        queue.enqueue({ancestor, 0});
        while (!queue.isEmpty() && visited < maxFolders) {
            const auto [folder, depth] = queue.dequeue();
            QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
            while (it.hasNext() && visited < maxFolders) {
                const QString child = it.next();
                ++visited;
                struct stat st{};
                if (::lstat(QFile::encodeName(child).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != top.st_dev)
                    continue;
                if (quint64(st.st_ino) == data->fileNumber)
                    return Resolution{QFileInfo(child).absoluteFilePath(), true};
                if (depth + 1 < maxDepth)
                    queue.enqueue({child, depth + 1});
            }
        }
    }

    // Something else now stands at the recorded path: hand it over, and let
    // the store's check refuse it.
    if (QFileInfo(data->path).exists())
        return Resolution{data->path, false};
    return std::nullopt;
}
