#include "windowbuffer.h"

#include "foundation/besidethread.h"
#include "foundation/logging.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

namespace WindowBuffer {

void populate(const void *data, std::size_t size)
{
    if (!data || size == 0)
        return;
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto begin = std::uintptr_t(data) & ~(page - 1);
    const auto end = std::uintptr_t(data) + size;
    // Pages the buffer shares with its neighbours are made present too, which
    // changes nothing they hold. Older kernels refuse the advice: then the
    // first paint faults the pages in as before.
    madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
}

void prepare(QWidget *window)
{
    if (!window || !window->isWindow())
        return;
    // Qt promises a store's paint device only between beginPaint() and
    // endPaint(). The xcb and offscreen stores have their image from resize()
    // on; others have none before the first paint (Wayland's: reading it
    // crashes).
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("offscreen"))
        return;
    window->winId(); // creates it
    QBackingStore *store = window->backingStore();
    if (!store)
        return;
    // The size the first paint asks for: the store keeps these pixels then.
    store->resize(window->size());
    const auto *image = dynamic_cast<const QImage *>(store->paintDevice());
    if (!image || image->isNull())
        return;
    const uchar *pixels = image->constBits();
    const auto size = std::size_t(image->sizeInBytes());
    try {
        // Not joined: it only makes pages present, which is harmless even
        // once the store has let them go.
        startBeside([pixels, size] { populate(pixels, size); }).detach();
    } catch (const std::system_error &) {
        logFailure(lcFoundation, "starting the window buffer thread");
        // No thread: the first paint faults the pages in itself.
    }
}

} // namespace WindowBuffer
