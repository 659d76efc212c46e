#include "toolguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unordered_map>
#include <vector>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/types.h>
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

// The guard, given the tool's pid. It starts with SIGTERM, SIGCHLD and the
// end signal held (ToolGuard::enter) and none of the run's pipes. Python's
// -I -S start-up reads no environment variable, site or user file.
const char guardProgram[] = R"py(import os, signal, sys
WALL = 0x40000000
tool = int(sys.argv[1])
if signal.SIGTERM in signal.sigpending():
    os.kill(tool, signal.SIGTERM)
signal.signal(signal.SIGTERM, signal.SIG_IGN)
signal.signal(signal.SIGHUP, signal.SIG_IGN)
signal.signal(signal.SIGTSTP, signal.SIG_IGN)
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

char option[] = "-I";
char noSite[] = "-S";
char command[] = "-c";
char *noEnvironment[] = {nullptr};

void writeNumber(char *into, long number) noexcept
{
    char digits[16];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0 && count < 15);
    while (count > 0)
        *into++ = digits[--count];
    *into = '\0';
}

// What the sweep of a run needs to know of one process.
struct ProcessFacts
{
    pid_t parent = 0;
    unsigned long long started = 0; // with the pid, names the process for good
    bool ended = false;             // a zombie: killed already, waits for its reaper
};

bool factsOf(pid_t pid, ProcessFacts &facts) noexcept
{
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    char text[1024];
    const ssize_t size = ::read(file, text, sizeof text - 1);
    ::close(file);
    if (size <= 0)
        return false;
    text[size] = '\0';
    // "pid (name) state ppid … starttime …": the name may hold anything, even ")";
    // the start time is the 20th field after it.
    const char *at = std::strrchr(text, ')');
    if (!at)
        return false;
    ++at;
    for (int field = 1; field <= 20; ++field) {
        while (*at == ' ')
            ++at;
        if (!*at)
            return false;
        if (field == 1)
            facts.ended = *at == 'Z' || *at == 'X';
        else if (field == 2)
            facts.parent = pid_t(std::strtol(at, nullptr, 10));
        else if (field == 20)
            facts.started = std::strtoull(at, nullptr, 10);
        while (*at && *at != ' ')
            ++at;
    }
    return true;
}

// SIGKILL to the process that was seen as `pid` started at `started`, and to
// no other that has taken its pid since.
void killSeen(pid_t pid, unsigned long long started) noexcept
{
    const int handle = ToolGuard::handleOf(pid);
    ProcessFacts now;
    if (factsOf(pid, now) && now.started == started) {
        if (handle >= 0)
            ::syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0);
        else
            ::kill(pid, SIGKILL); // no pidfds (Linux before 5.3)
    }
    if (handle >= 0)
        ::close(handle);
}

// Whether the process of the pidfd `handle` has ended (it may not be reaped yet).
bool ended(int handle) noexcept
{
    pollfd watched{handle, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready != 0; // an error counts as ended: then nothing more is hit
}

} // namespace

int ToolGuard::handleOf(pid_t pid) noexcept
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

void ToolGuard::killRun(pid_t guard, int handle) noexcept
{
    if (handle < 0)
        return;
    // Kill everything below the guard, again and again: a killed process's
    // children become the guard's, and a process may fork meanwhile. Bounded,
    // for a tool that forks faster than it can be killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    try {
        std::unordered_map<pid_t, std::vector<pid_t>> children;
        std::unordered_map<pid_t, ProcessFacts> facts;
        std::vector<pid_t> below;
        for (;;) {
            children.clear();
            facts.clear();
            if (DIR *proc = ::opendir("/proc")) {
                while (const dirent *entry = ::readdir(proc)) {
                    const int pid = numberIn(entry->d_name);
                    ProcessFacts seen;
                    if (pid > 0 && factsOf(pid, seen)) {
                        facts.emplace(pid, seen);
                        children[seen.parent].push_back(pid);
                    }
                }
                ::closedir(proc);
            }
            // A guard that ended has killed what was below it or handed it to
            // init, and once reaped its pid may name another process: what this
            // pass saw as the guard's children may be that one's. A guard still
            // there after the pass held its pid throughout it.
            if (ended(handle))
                break;
            below.assign({guard});
            bool alive = false;
            for (size_t at = 0; at < below.size(); ++at) {
                const auto found = children.find(below[at]);
                if (found == children.end())
                    continue;
                for (const pid_t child : found->second) {
                    below.push_back(child);
                    const ProcessFacts &seen = facts[child];
                    if (!seen.ended) {
                        alive = true;
                        killSeen(child, seen.started);
                    }
                }
            }
            if (!alive || std::chrono::steady_clock::now() > deadline)
                break;
            ::usleep(2000);
        }
    } catch (...) { // out of memory: the guard goes all the same
    }
    ::syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0);
    ::close(handle);
}

// The compiled guard beside the application's program, else the one the build
// made; empty when neither is there (the guard then runs on the interpreter).
static const QByteArray &compiledGuard()
{
    static const QByteArray path = [] {
        QStringList candidates;
        if (QCoreApplication::instance())
            candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/tavlon-toolguard");
#ifdef TAVLON_BUILT_TOOLGUARD
        candidates << QStringLiteral(TAVLON_BUILT_TOOLGUARD);
#endif
        for (const QString &candidate : candidates) {
            const QFileInfo file(candidate);
            if (file.isFile() && file.isExecutable())
                return QFile::encodeName(file.absoluteFilePath());
        }
        return QByteArray();
    }();
    return path;
}

ToolGuard::ToolGuard(const QString &interpreter) : m_interpreter(QFile::encodeName(interpreter))
{
    static_assert(endSignal == SIGUSR1, "the guard program waits for SIGUSR1");
    if (const QByteArray &compiled = compiledGuard(); !compiled.isEmpty()) {
        // A small exec instead of an interpreter's start on every run.
        m_interpreter = compiled;
        m_arguments[0] = m_interpreter.data();
        m_arguments[1] = m_toolPid;
        m_arguments[2] = nullptr;
        return;
    }
    m_arguments[0] = m_interpreter.data();
    m_arguments[1] = option;
    m_arguments[2] = noSite;
    m_arguments[3] = command;
    m_arguments[4] = const_cast<char *>(guardProgram);
    m_arguments[5] = m_toolPid;
    m_arguments[6] = nullptr;
}

// No sanitizer red zones in this frame: in the guard it never returns (it
// execs), and under vfork its stack is the application's, which would keep
// them poisoned.
__attribute__((no_sanitize_address)) void ToolGuard::enter(pid_t application) noexcept
{
    // Held until the guard waits for them; a termination request that
    // reaches the guard before it ignores such requests is passed on to the tool.
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    sigaddset(&held, SIGCHLD);
    sigaddset(&held, endSignal);
    sigaddset(&held, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    ::prctl(PR_SET_PDEATHSIG, endSignal, 0, 0, 0);
    if (::getppid() != application)
        ::_exit(127); // the application is gone already
    closeOnExecAboveStandardStreams();

    // Closes when the tool has exec'd or failed to (and reported why).
    int execed[2];
    if (::pipe2(execed, O_CLOEXEC) != 0)
        ::_exit(127);
    // A plain fork without glibc's handlers: this may be a vfork child.
    const long tool = ::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (tool == 0) {
        ::close(execed[0]);
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        return;
    }
    if (tool < 0)
        ::_exit(127);
    // The guard execs only after the tool: a guard that cannot start kills a
    // started tool below, never one still reporting why it could not start.
    ::close(execed[1]);
    char ignored;
    while (::read(execed[0], &ignored, 1) < 0 && errno == EINTR) {
    }
    ::close(execed[0]);
    // The run's pipes end with the tool: the guard keeps none of them.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        for (int stream = 0; stream <= 2; ++stream)
            ::dup2(null, stream);
    }
    writeNumber(m_toolPid, tool);
    ::execve(m_arguments[0], m_arguments, noEnvironment);
    // Never leave a tool unguarded.
    ::kill(pid_t(tool), SIGKILL);
    ::_exit(127);
}
