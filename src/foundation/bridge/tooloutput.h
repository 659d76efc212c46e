#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <thread>

class QObject;

// Standard output and standard error of one tool run, read on a thread of
// their own. A tool may write tens of MiB as fast as the pipe takes it;
// reading that on the GUI thread kept the window busy for the whole answer
// and stretched its timers. The GUI thread only hears that the answer grew
// past its limit and, after the tool exited, receives the finished buffers.
//
// Standard output is kept up to one byte past `outputLimit`, then dropped and
// read on without keeping anything (so that the tool never blocks on a full
// pipe); of standard error only the first `errorLimit + 1` bytes are kept.
class ToolOutputReader
{
public:
    struct Result
    {
        QByteArray output;      // empty when `tooLarge`
        QByteArray errorPrefix; // at most errorLimit + 1 bytes
        bool errorOverflowed = false;
        bool tooLarge = false;
    };

    ToolOutputReader(qsizetype outputLimit, qsizetype errorLimit);
    // Stops the reading thread (without waiting for the tool) and closes every pipe.
    ~ToolOutputReader();
    ToolOutputReader(const ToolOutputReader &) = delete;
    ToolOutputReader &operator=(const ToolOutputReader &) = delete;

    // Empty once the pipes exist; otherwise why the system refused them.
    QString setupError() const { return m_setupError; }

    // In the child between fork and exec: puts the write ends on standard
    // output and standard error. Only async-signal-safe calls.
    void attachToChild() const noexcept;

    // Starts reading; call before the tool starts. `tooLarge` and `finished`
    // run on `context`'s thread, never after `context` or this reader is gone.
    // False (with `setupError()`) when no thread can be started.
    bool start(QObject *context, std::function<void()> tooLarge, std::function<void(Result)> finished);
    // After the tool started (or failed to): this side's write ends close, so
    // that the pipes end with the last process holding them.
    void closeWriteEnds();
    // The tool has exited: what it left in the pipes is read, and `finished`
    // follows. Data a process it left behind writes afterwards is not waited for.
    void finish();

private:
    void readUntilFinished();

    qsizetype m_outputLimit;
    qsizetype m_errorLimit;
    QString m_setupError;
    int m_output[2] = {-1, -1};
    int m_error[2] = {-1, -1};
    int m_wake[2] = {-1, -1};
    QObject *m_context = nullptr;
    std::function<void()> m_tooLarge;
    std::function<void(Result)> m_finished;
    std::thread m_thread;
};
