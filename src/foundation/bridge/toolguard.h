#pragma once

#include <QString>
#include <QStringList>
#include <csignal>
#include <sys/types.h>

// Whatever a tool starts ends with its run, also a child that leaves the
// tool's process group or session (a daemon, a double fork).
//
// The process QProcess starts is the run's guard, a few lines of Python on
// the same interpreter, made a child subreaper before its exec. It starts
// the tool exactly as asked (program, arguments, environment, standard
// streams) and waits. Every descendant of the tool whose parent ends is
// re-parented to the guard instead of to init, so all of them stay below it.
// When the tool ends, or when the guard gets `endSignal`, the guard kills and
// reaps every process left below it and exits with the tool's exit code
// (128 + the signal when a signal ended the tool).
//
// The guard cannot live in QProcess's child modifier itself: Qt runs that
// with vfork semantics, the GUI thread waiting until the child execs. The
// application is no subreaper either, so it never reaps a child it did not
// start (QProcess's own, detached viewers and the like).
namespace ToolGuard {

// Sent to the guard alone (never to its group): kill everything of the run
// now. Also the guard's parent-death signal, so that an application that
// dies leaves nothing behind. A termination request (SIGTERM) sent to the
// group reaches the tool and its group; the guard ignores it.
inline constexpr int endSignal = SIGUSR1;

// The QProcess arguments that run `interpreter` with `arguments` under a
// guard (the QProcess program is `interpreter` too).
QStringList arguments(const QString &interpreter, const QStringList &arguments);

// In QProcess's child modifier, after the standard streams are in place:
// makes the child a subreaper that dies with the application, holds the
// signals the guard waits for, and leaves it standard input, output and
// error only across the exec. Only async-signal-safe calls.
// `application` is the pid of the process that started the run.
void prepareChild(pid_t application) noexcept;

} // namespace ToolGuard
