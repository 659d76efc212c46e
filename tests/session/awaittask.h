#pragma once

#include <QEventLoop>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>

// Runs a task to its end in a nested event loop and hands back its result or
// rethrows its exception (QCoro::waitFor drops exceptions and never returns).
namespace TestAwait {

template<class T>
struct Outcome
{
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
};

template<class T>
QCoro::Task<void> settle(QCoro::Task<T> task, Outcome<T> &out, QEventLoop &loop)
{
    try {
        out.value.emplace(co_await std::move(task));
    } catch (...) {
        out.error = std::current_exception();
    }
    out.done = true;
    loop.quit();
}

inline QCoro::Task<void> settleVoid(QCoro::Task<void> task, Outcome<bool> &out, QEventLoop &loop)
{
    try {
        co_await std::move(task);
        out.value = true;
    } catch (...) {
        out.error = std::current_exception();
    }
    out.done = true;
    loop.quit();
}

template<class T>
T run(QCoro::Task<T> task)
{
    QEventLoop loop;
    if constexpr (std::is_void_v<T>) {
        Outcome<bool> out;
        auto runner = settleVoid(std::move(task), out, loop);
        if (!out.done)
            loop.exec();
        if (out.error)
            std::rethrow_exception(out.error);
    } else {
        Outcome<T> out;
        auto runner = settle(std::move(task), out, loop);
        if (!out.done)
            loop.exec();
        if (out.error)
            std::rethrow_exception(out.error);
        return std::move(*out.value);
    }
}

} // namespace TestAwait
