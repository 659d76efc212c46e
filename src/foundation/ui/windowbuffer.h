#pragma once

#include <cstddef>

class QWidget;

namespace WindowBuffer {

// Gives the top-level `window` its native window and its backing store at its
// current size, and has a thread beside the calling one ask the kernel for
// every page of the store's pixels. A new store's pixels are memory never
// touched: the first paint fills the whole window and would otherwise take one
// page fault per 4 KiB (~2 ms for a 1180x800 window here), all on the GUI
// thread. Call it once the window is built, right before it is shown: the
// kernel's work then overlaps the way to the first paint (started while the
// window was still being built, it slowed the building by about as much as it
// saved). The pixels are not changed, so the window may be painted or resized
// meanwhile; where the store is no image, or has none before its first paint
// (platforms other than xcb and offscreen), it does nothing.
void prepare(QWidget *window);

// Makes the pages of [data, data + size) present and writable without
// changing what they hold (nothing where the kernel cannot; any thread).
void populate(const void *data, std::size_t size);

} // namespace WindowBuffer
