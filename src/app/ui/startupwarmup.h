#pragma once

#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace WorkspaceSymbols {
class GlyphsAhead;
}

// Start-up work that needs no GUI object, done on a thread of its own while
// the GUI thread builds the first window: the interface's string table, the
// shared font database, and the symbol pictures the window shows first
// (WorkspaceSymbols::GlyphsAhead). The GUI thread then finds them ready or
// waits for the rest; nothing it shows changes.
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
    // is read, and hands the warm-up the pen for the symbol pictures (the
    // application's font cannot be read before).
    void waitForFonts();

private:
    void run(const QString &language);

    std::function<void()> m_waitForFonts; // called once: by the thread when it runs, else by the GUI thread
    std::thread m_thread;                 // GUI thread only
    bool m_running = false;               // GUI thread only
    bool m_handedOver = false;            // GUI thread only
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex:
    bool m_fontsRead = false;
    bool m_stopping = false;
    std::shared_ptr<WorkspaceSymbols::GlyphsAhead> m_glyphs;
};
