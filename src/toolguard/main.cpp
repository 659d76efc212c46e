// The guard of one tool run (see foundation/bridge/toolguard.h): a child
// subreaper whose first child is the tool. Every descendant of the tool whose
// parent ends is re-parented here. When the tool ends, or when SIGUSR1 comes
// (the run is over, or the application died), it kills and reaps everything
// left below it and exits with the tool's exit code (128 + the signal when a
// signal ended the tool).
//
// A program of its own, without Qt, so a run pays for one small exec and not
// for an interpreter's start. It starts with SIGCHLD, SIGUSR1 and SIGTERM
// held and with no descriptor of the run.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t g_tool = 0;
int g_status = 0;
bool g_ended = false;

// Reaps what has ended without waiting. False when no child is left.
bool reapEnded()
{
    for (;;) {
        int code = 0;
        const pid_t pid = ::waitpid(-1, &code, WNOHANG | __WALL);
        if (pid < 0)
            return errno == EINTR ? true : false;
        if (pid == 0)
            return true;
        if (pid == g_tool) {
            g_status = code;
            g_ended = true;
        }
    }
}

// The parent pid in /proc/<pid>/stat, or -1.
pid_t parentOf(const char *pid)
{
    char path[300]; // "/proc/" + a directory name + "/stat"
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return -1;
    char text[512];
    const ssize_t size = ::read(file, text, sizeof text - 1);
    ::close(file);
    if (size <= 0)
        return -1;
    text[size] = '\0';
    // "pid (name) state ppid …": the name may hold anything, even ")".
    const char *end = std::strrchr(text, ')');
    if (!end || end[1] != ' ' || !end[2] || end[3] != ' ')
        return -1;
    return pid_t(std::strtol(end + 4, nullptr, 10));
}

void killChildren()
{
    const pid_t self = ::getpid();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return;
    while (const dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        if (parentOf(entry->d_name) == self)
            ::kill(pid_t(std::strtol(entry->d_name, nullptr, 10)), SIGKILL);
    }
    ::closedir(proc);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 127;
    g_tool = pid_t(std::strtol(argv[1], nullptr, 10));
    if (g_tool <= 0)
        return 127;

    // A termination request that came before the guard could ignore it
    // belongs to the tool.
    sigset_t pending;
    sigemptyset(&pending);
    if (::sigpending(&pending) == 0 && sigismember(&pending, SIGTERM))
        ::kill(g_tool, SIGTERM);
    ::signal(SIGTERM, SIG_IGN);
    // A tool may stop its guard. When the application then ends, the kernel
    // sends the stopped, orphaned group SIGHUP and SIGCONT: the guard lives
    // on and ends the run (its parent-death signal is pending by then).
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGTSTP, SIG_IGN);

    sigset_t awaited;
    sigemptyset(&awaited);
    sigaddset(&awaited, SIGCHLD);
    sigaddset(&awaited, SIGUSR1);
    while (!g_ended) {
        const int signal = ::sigwaitinfo(&awaited, nullptr);
        if (signal == SIGUSR1)
            break;
        if (signal == SIGCHLD)
            reapEnded();
    }
    while (reapEnded()) {
        killChildren();
        int code = 0;
        const pid_t pid = ::waitpid(-1, &code, __WALL);
        if (pid < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (pid == g_tool) {
            g_status = code;
            g_ended = true;
        }
    }
    if (g_ended && WIFEXITED(g_status))
        ::_exit(WEXITSTATUS(g_status));
    ::_exit(128 + (g_ended && WIFSIGNALED(g_status) ? WTERMSIG(g_status) : SIGKILL));
}
