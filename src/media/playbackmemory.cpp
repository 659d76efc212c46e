#include "playbackmemory.h"

#include <QObject>
#include <QThreadPool>
#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

std::atomic<int> live{0};
std::atomic<int> released{0};

void fixThresholds()
{
#ifdef __GLIBC__
    // glibc's initial values; setting them also stops glibc raising them
    // after each large buffer freed.
    constexpr int initial = 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, initial);
    mallopt(M_TRIM_THRESHOLD, initial);
#endif
}

void handBack()
{
#ifdef __GLIBC__
    // Returns the free pages of every arena, not only the main heap's top.
    malloc_trim(0);
#endif
    released.fetch_add(1);
}

void handBackLater()
{
    // Walking every arena takes a few milliseconds after a long film.
    QThreadPool::globalInstance()->start(&handBack);
}

// A child of the surface, made after the surface's own children: it goes
// after them, when what the surface drew with has been freed. Its own
// meta-object lets a search by type find only watches, never another object
// that happens to share the name.
class SurfaceWatch final : public QObject
{
    Q_OBJECT
public:
    explicit SurfaceWatch(QObject *surface)
        : QObject(surface)
    {
        setObjectName(QString::fromLatin1(name));
    }
    ~SurfaceWatch() override
    {
        if (live.load() == 0)
            handBackLater();
    }
    static constexpr const char *name = "playbackMemory.surfaceWatch";
};

} // namespace

namespace PlaybackMemory {

void playerCreated()
{
    static const bool fixed = (fixThresholds(), true);
    Q_UNUSED(fixed);
    live.fetch_add(1);
}

void playerDestroyed()
{
    if (live.fetch_sub(1) == 1)
        handBackLater();
}

void surfaceUsed(QObject *surface)
{
    if (surface
        && !surface->findChild<SurfaceWatch *>(QString::fromLatin1(SurfaceWatch::name), Qt::FindDirectChildrenOnly))
        new SurfaceWatch(surface);
}

int livePlayers()
{
    return live.load();
}

int releases()
{
    return released.load();
}

} // namespace PlaybackMemory

#include "playbackmemory.moc"
