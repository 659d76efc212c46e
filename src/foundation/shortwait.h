#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Waits until `ready()` holds (called with `mutex` locked) for a result
// another thread is about to publish, notifying `changed` after it does.
// It yields for up to `spin` before it sleeps: a sleeping thread can wake a
// millisecond or more after the notice (an idle virtual processor is halted),
// a yielding one sees the result at once.
template<class Ready>
void waitShortly(std::mutex &mutex, std::condition_variable &changed, Ready ready,
                 std::chrono::microseconds spin = std::chrono::milliseconds(5))
{
    const auto until = std::chrono::steady_clock::now() + spin;
    do {
        {
            const std::lock_guard lock(mutex);
            if (ready())
                return;
        }
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < until);
    std::unique_lock lock(mutex);
    changed.wait(lock, ready);
}

// The same for a flag another thread sets and then notifies (atomic notify_all).
inline void waitShortly(const std::atomic<bool> &flag, std::chrono::microseconds spin = std::chrono::milliseconds(5))
{
    const auto until = std::chrono::steady_clock::now() + spin;
    while (!flag.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    flag.wait(false);
}
