#pragma once

#include "foundation/cancellation.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <qcoro/qcorotask.h>

class BridgeCommand;
class SessionDocumentProvider;

// The tool runner: every package and service operation is one run of a
// Python tool from the tools folder, as a child process.
//
// Call from a coroutine on the GUI thread:
//     const QByteArray json = co_await Bridge::data(command, toolsFolder, token);
// and re-check your own generation afterwards. Never blocks the GUI thread.
namespace Bridge {

// Runs `command` with the tools folder `toolsFolder` and returns the tool's
// standard output, unparsed. Throws:
//  - BridgeError with a sentence for the person (missing script or Python,
//    sign-in needed, answer too large, the tool's own error text, a time-out);
//  - OperationCancelled when `cancel` fires (the tool is ended first);
//  - whatever the session provider throws for a session command.
// Nothing the tool starts outlives the call (ToolGuard): on cancellation or
// time-out its process group is asked to terminate, everything of the run
// is killed if the tool is still alive a few seconds later, and killed from
// the application if the guard has not ended a few seconds after that (the
// tool stopped it); whatever the tool started, in its group or not, is killed
// when the tool ends. The run waits
// for the tool's exit: an answer is taken only with its exit status. Standard
// output is read as it arrives and refused one byte past `outputLimit`;
// of standard error only a bounded prefix is kept.
QCoro::Task<QByteArray> data(BridgeCommand command, QString toolsFolder, CancellationToken cancel = {});

// The session store registers itself here; a session command fails with
// the sign-in sentence while none is registered. Not owned.
void setSessionProvider(SessionDocumentProvider *provider);

inline constexpr qsizetype sessionInputLimit = 32768;
inline constexpr qsizetype outputLimit = 33554432;

// Kills everything of every run still going. Runs by itself when
// the application is about to quit.
void endAllRuns();

// The interpreters tried in order; the first executable file wins.
QStringList interpreterSearchOrder();

// Test seams. std::nullopt restores the normal behaviour.
void setInterpreterSearchOrderForTesting(std::optional<QStringList> paths);
void setTimeoutOverrideForTesting(std::optional<std::chrono::milliseconds> timeout);
void setTerminationGraceForTesting(std::optional<std::chrono::milliseconds> grace);

} // namespace Bridge
