#include "toolguard.h"

#include <cstdint>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace {

// The helpers below run in QProcess's child: system calls only, no
// allocation, no locks.

struct DirectoryEntry // the kernel's linux_dirent64
{
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// A decimal number of at most nine digits, or -1.
int numberIn(const char *text) noexcept
{
    int value = 0;
    int digits = 0;
    for (; *text; ++text, ++digits) {
        if (*text < '0' || *text > '9' || digits == 9)
            return -1;
        value = value * 10 + (*text - '0');
    }
    return digits ? value : -1;
}

// Calls `each(number, directory)` for every entry of `path` named by a
// number. False when the directory cannot be read.
template<class Each>
bool forEachNumbered(const char *path, Each each) noexcept
{
    const int directory = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    alignas(8) char buffer[4096];
    for (;;) {
        const long size = ::syscall(SYS_getdents64, directory, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (long at = 0; at < size;) {
            const auto *entry = reinterpret_cast<const DirectoryEntry *>(buffer + at);
            at += entry->length;
            const int number = numberIn(entry->name);
            if (number >= 0)
                each(number, directory);
        }
    }
    ::close(directory);
    return true;
}

// The tool keeps standard input, output and error only: whatever else the
// application holds open without close-on-exec (seen: descriptors 10
// and 251) closes at the exec. Qt's own start-up pipe is
// close-on-exec already and still reports a failed exec.
void closeOnExecAboveStandardStreams() noexcept
{
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    forEachNumbered("/proc/self/fd", [](int descriptor, int directory) {
        if (descriptor <= 2 || descriptor == directory)
            return;
        const int flags = ::fcntl(descriptor, F_GETFD);
        if (flags >= 0)
            ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
    });
}

// The guard, given the tool's program and arguments. It starts with SIGTERM,
// SIGCHLD and the end signal held (prepareChild). Python's -I -S start-up
// reads no environment variable, site or user file; the tool gets the
// environment unchanged and its signals as a fresh exec would. The run's
// pipes end with the tool: the guard keeps none of them.
const char guardProgram[] = R"py(import os, signal, sys
WALL = 0x40000000
# As given: Python's start-up may have added LC_CTYPE to its own environment.
try:
    with open("/proc/self/environ", "rb") as f:
        environment = dict(e.split(b"=", 1) for e in f.read().split(b"\0") if b"=" in e)
except OSError:
    environment = os.environ
tool = os.fork()
if tool == 0:
    try:
        for number in (signal.SIGPIPE, signal.SIGXFSZ, signal.SIGTERM):
            signal.signal(number, signal.SIG_DFL)
        signal.pthread_sigmask(signal.SIG_SETMASK, [])
        os.execve(sys.argv[1], sys.argv[1:], environment)
    finally:
        os._exit(127)
if signal.SIGTERM in signal.sigpending():
    os.kill(tool, signal.SIGTERM)
signal.signal(signal.SIGTERM, signal.SIG_IGN)
null = os.open(os.devnull, os.O_RDWR)
for fd in (0, 1, 2):
    os.dup2(null, fd)
status = None
def reap():
    global status
    while True:
        try:
            pid, code = os.waitpid(-1, os.WNOHANG | WALL)
        except ChildProcessError:
            return False
        if pid == 0:
            return True
        if pid == tool:
            status = code
def children():
    me = str(os.getpid()).encode()
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open("/proc/" + name + "/stat", "rb") as f:
                    stat = f.read()
            except OSError:
                continue
            if stat[stat.rindex(b")") + 2:].split()[1] == me:
                yield int(name)
while status is None:
    if signal.sigwaitinfo({signal.SIGCHLD, signal.SIGUSR1}).si_signo == signal.SIGUSR1:
        break
    reap()
while reap():
    for pid in children():
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    try:
        pid, code = os.waitpid(-1, WALL)
    except ChildProcessError:
        break
    if pid == tool:
        status = code
if status is not None and os.WIFEXITED(status):
    os._exit(os.WEXITSTATUS(status))
os._exit(128 + (os.WTERMSIG(status) if status is not None and os.WIFSIGNALED(status) else signal.SIGKILL))
)py";

} // namespace

QStringList ToolGuard::arguments(const QString &interpreter, const QStringList &arguments)
{
    static_assert(endSignal == SIGUSR1, "the guard program waits for SIGUSR1");
    return QStringList{QStringLiteral("-I"), QStringLiteral("-S"), QStringLiteral("-c"),
                       QString::fromLatin1(guardProgram), interpreter}
        + arguments;
}

void ToolGuard::prepareChild(pid_t application) noexcept
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGCHLD);
    sigaddset(&held, endSignal);
    sigaddset(&held, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &held, nullptr);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    ::prctl(PR_SET_PDEATHSIG, endSignal, 0, 0, 0);
    if (::getppid() != application)
        ::_exit(127); // the application is gone already
    closeOnExecAboveStandardStreams();
}
