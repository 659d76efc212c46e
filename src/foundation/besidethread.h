#pragma once

#include <functional>
#include <thread>

// Starts `work` on a new thread that runs on any processor but the calling
// thread's. Schedulers that pack threads onto few processors (the kernel of
// the virtual machines we measure on does) keep a new thread on its creator's
// processor until the creator blocks or its time slice ends: 3-4 ms when the
// creator is the GUI thread busy building the window, which is the time such
// a thread was meant to save. On a single processor it starts as usual.
// Throws std::system_error, as std::thread does, when no thread can start.
std::thread startBeside(std::function<void()> work);
