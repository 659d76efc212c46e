#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

// A cooperative cancellation flag shared between whoever starts a piece of
// work and the work itself. Copies share one state. Callbacks registered with
// onCancel() run once, on the thread that calls cancel() (always the GUI
// thread in this codebase); a callback registered after cancellation runs at once.
class CancellationToken
{
public:
    CancellationToken() : d(std::make_shared<State>()) {}

    bool isCancelled() const { return d->cancelled; }

    void cancel() const
    {
        if (d->cancelled)
            return;
        d->cancelled = true;
        auto callbacks = std::move(d->callbacks);
        d->callbacks.clear();
        for (auto &entry : callbacks)
            if (entry.second)
                entry.second();
    }

    // Returns a handle for removeCallback(); 0 when the callback already ran.
    int onCancel(std::function<void()> callback) const
    {
        if (d->cancelled) {
            callback();
            return 0;
        }
        const int id = ++d->nextId;
        d->callbacks.emplace_back(id, std::move(callback));
        return id;
    }

    void removeCallback(int id) const
    {
        for (auto it = d->callbacks.begin(); it != d->callbacks.end(); ++it) {
            if (it->first == id) {
                d->callbacks.erase(it);
                return;
            }
        }
    }

    // Throws OperationCancelled when cancelled.
    void throwIfCancelled() const;

    bool operator==(const CancellationToken &other) const { return d == other.d; }

private:
    struct State {
        bool cancelled = false;
        int nextId = 0;
        std::vector<std::pair<int, std::function<void()>>> callbacks;
    };
    std::shared_ptr<State> d;
};

#include "errors.h"

inline void CancellationToken::throwIfCancelled() const
{
    if (isCancelled())
        throw OperationCancelled();
}
