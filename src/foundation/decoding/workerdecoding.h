#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <utility>

// Decoding a tool's answer away from the GUI thread. An answer may be tens of
// MiB, and checking and decoding that much JSON stalls the window for a
// noticeable time; below `threshold` a thread hop costs more than it saves.
namespace WorkerDecoding {

inline constexpr qsizetype threshold = 262144; // 256 KiB

// Runs `decode()` on a pool thread and resumes the awaiting coroutine on the
// thread it awaited from, with the value or with what `decode` threw
// (rethrown there, so error texts and types stay what they were).
//
// `decode` must only read what it captured: the world may move on meanwhile.
// It is destroyed on the pool thread, so an answer moved into it (tens of MiB)
// is freed there too.
// Whether the answer still matters (generation, scope, cancellation) is for
// the caller to re-check on its own thread after the await, as after any
// other await.
template<class T, class Decode>
QCoro::Task<T> run(Decode decode)
{
    struct Outcome
    {
        std::optional<T> value;
        std::exception_ptr failure;
    };
    // Shared: the pool's task and the future both hold the promise.
    auto promise = std::make_shared<QPromise<Outcome>>();
    QFuture<Outcome> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, decode = std::move(decode)]() mutable {
        Outcome outcome;
        try {
            outcome.value.emplace(decode());
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        promise->addResult(std::move(outcome));
        promise->finish();
    });
    Outcome outcome = co_await future;
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    co_return T(std::move(*outcome.value));
}

} // namespace WorkerDecoding
