#pragma once

#include <QByteArray>
#include <QString>
#include <csignal>
#include <sys/types.h>

// Whatever a tool starts ends with its run, also a child that leaves the
// tool's process group or session (a daemon, a double fork).
//
// In QProcess's child modifier the child makes itself a child subreaper and
// forks: the new process returns to QProcess and execs the tool exactly as
// asked; once it has, the child itself execs the run's guard: the small
// program `tavlon-toolguard` (src/toolguard/) beside the application's, or the
// one the build made, else the same few lines of Python on the tool's
// interpreter. Every descendant of the tool whose parent ends is
// re-parented to the guard instead of to init, so all of them stay below it.
// When the tool ends, or when the guard gets `endSignal`, the guard kills and
// reaps every process left below it and exits with the tool's exit code
// (128 + the signal when a signal ended the tool). QProcess sees the guard.
//
// The guard cannot stay in the child modifier without an exec: Qt runs the
// modifier with vfork semantics, the GUI thread waiting until the exec. The
// application is no subreaper either, so it never reaps a child it did not
// start (QProcess's own, detached viewers and the like).
class ToolGuard
{
public:
    // Sent to the guard alone (never to its group): kill everything of the
    // run now. Also the guard's parent-death signal, so that an application
    // that dies leaves nothing behind. A termination request (SIGTERM) sent
    // to the group reaches the tool and its group; the guard ignores it.
    static constexpr int endSignal = SIGUSR1;

    // For a guard that does not end its run (a tool stopped it, perhaps over
    // and over): kills every process below `guard` and then the guard. The
    // guard, stopped or not, still holds the run's orphans as their
    // subreaper, so nothing of the run is lost to init. `handle` is a pidfd
    // of the guard taken while it was surely unreaped (taken over and
    // closed; nothing is done without one). The guard is signalled through
    // it alone, and the sweep stops once the guard has ended: its pid may
    // then name another process. Waits for what it kills to go (a few
    // seconds at most): never on the GUI thread.
    static void killRun(pid_t guard, int handle) noexcept;

    // A pidfd of the process `pid`, or -1 where the system has none.
    static int handleOf(pid_t pid) noexcept;

    // The guard is the compiled one where it is found, else runs on `interpreter`.
    explicit ToolGuard(const QString &interpreter);
    ToolGuard(const ToolGuard &) = delete;
    ToolGuard &operator=(const ToolGuard &) = delete;

    // In QProcess's child modifier, after the standard streams are in place.
    // Returns only in the process that goes on to exec the tool, which keeps
    // standard input, output and error and nothing else across the exec.
    // Only async-signal-safe calls. `application` is the pid of the process
    // that started the run.
    void enter(pid_t application) noexcept;

private:
    QByteArray m_interpreter;
    char m_toolPid[16] = {};
    char *m_arguments[7] = {};
};
