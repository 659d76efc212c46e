#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace Symbols {
class GlyphsAhead;
}

// Start-up work that needs no GUI object, done on a thread of its own while
// the GUI thread builds the first window: the interface's string table, the
// shared font database, and the symbol pictures the window shows first
// (Symbols::GlyphsAhead, in the pen read when the warm-up is made).
// The GUI thread then finds them ready or waits for the rest; nothing it
// shows changes.
class StartupWarmUp
{
public:
    // Right after the application object exists, on the GUI thread.
    // `waitForFonts` returns once the system's font configuration is read
    // (fontconfig reads it a second time when asked while it is being read);
    // the warm-up calls it on its thread, or on the GUI thread in
    // waitForFonts() when its thread cannot start.
    explicit StartupWarmUp(std::function<void()> waitForFonts);
    // Waits for the thread: it never outlives the application object.
    ~StartupWarmUp();
    StartupWarmUp(const StartupWarmUp &) = delete;
    StartupWarmUp &operator=(const StartupWarmUp &) = delete;

    // GUI thread, before the first text: returns once the font configuration
    // is read.
    void waitForFonts();

private:
    void run(const QString &language, Symbols::GlyphsAhead &glyphs);

    std::function<void()> m_waitForFonts; // called once: by the thread when it runs, else by the GUI thread
    std::thread m_thread;                 // GUI thread only
    bool m_running = false;               // GUI thread only
    // A flag, not a lock: a thread put to sleep on a lock the other one
    // takes wakes a millisecond or more late on this machine.
    std::atomic<bool> m_fontsRead{false}; // set by the thread
    std::atomic<bool> m_stopping{false};  // set by the GUI thread
};
