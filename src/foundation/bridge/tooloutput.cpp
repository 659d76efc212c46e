#include "tooloutput.h"

#include "foundation/logging.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr qsizetype readSize = 65536;
// Past this much answer, room for the largest one is taken at once: a buffer
// of many MiB that keeps doubling copies itself each time.
constexpr qsizetype growthLimit = 1048576;

constexpr char finishCommand = 'f';
constexpr char abandonCommand = 'a';

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Close-on-exec pipe ends numbered 3 or higher: the child's dup2 onto 1 and
// 2 must never be a no-op that leaves close-on-exec set.
bool makePipe(int (&ends)[2])
{
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    for (int &end : ends) {
        if (end > 2)
            continue;
        const int moved = ::fcntl(end, F_DUPFD_CLOEXEC, 3);
        ::close(end);
        end = moved;
        if (moved < 0)
            return false;
    }
    return true;
}

// Asks for 2 MiB pages under a large answer: 16 page faults instead of 8192
// while it is read, and freeing it later (on whichever thread drops it, the
// GUI thread included) costs microseconds instead of milliseconds.
void preferLargePages(QByteArray &buffer)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr large = 2 * 1024 * 1024;
    const auto begin = (quintptr(buffer.data()) + large - 1) & ~(large - 1);
    const auto end = (quintptr(buffer.data()) + quintptr(buffer.size())) & ~(large - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(buffer);
#endif
}

// One pipe read into a buffer that keeps a prefix of `limit + 1` bytes at most
// and drops what comes after (read on into `scratch`).
struct Stream
{
    explicit Stream(int fd) : fd(fd) {}

    int fd;
    bool open = true;
    QByteArray kept;
    qsizetype used = 0;
    bool over = false;

    // Bytes read; 0 at end of file or on an error, -1 when nothing is there now.
    qsizetype readOnce(QByteArray &scratch, qsizetype limit, bool grow)
    {
        char *into = scratch.data();
        qsizetype room = scratch.size();
        if (!over) {
            if (used == kept.size()) {
                const qsizetype size =
                    std::min(grow && used < growthLimit ? std::max(readSize, used * 2) : limit + 1, limit + 1);
                QByteArray larger(size, Qt::Uninitialized);
                if (size > growthLimit)
                    preferLargePages(larger); // before any page of it is touched
                std::memcpy(larger.data(), kept.constData(), size_t(used));
                kept = std::move(larger);
            }
            into = kept.data() + used;
            room = kept.size() - used;
        }
        const ssize_t n = ::read(fd, into, size_t(room));
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return -1;
        if (n <= 0) {
            open = false;
            return 0;
        }
        if (!over) {
            used += n;
            over = used > limit;
        }
        return n;
    }

    // What the process left in the pipe when it ended; never more, as a
    // process it started may still be writing.
    void drain(QByteArray &scratch, qsizetype limit, bool grow)
    {
        int available = 0;
        if (!open || ::ioctl(fd, FIONREAD, &available) != 0)
            return;
        while (available > 0) {
            const qsizetype n = readOnce(scratch, limit, grow);
            if (n <= 0)
                return;
            available -= int(n);
        }
    }
};

} // namespace

ToolOutputReader::ToolOutputReader(qsizetype outputLimit, qsizetype errorLimit)
    : m_outputLimit(outputLimit), m_errorLimit(errorLimit)
{
    if (!makePipe(m_output) || !makePipe(m_error) || !makePipe(m_wake)) {
        m_setupError = qt_error_string(errno);
        return;
    }
    for (const int end : {m_output[0], m_error[0]}) {
        ::fcntl(end, F_SETFL, O_NONBLOCK);
        // Fewer, larger reads of a large answer; refused beyond the system's
        // limit for unprivileged processes, which is fine.
        ::fcntl(end, F_SETPIPE_SZ, int(growthLimit));
    }
}

ToolOutputReader::~ToolOutputReader()
{
    if (m_thread.joinable()) {
        const ssize_t written = ::write(m_wake[1], &abandonCommand, 1);
        Q_UNUSED(written);
        m_thread.join();
    }
    for (int *ends : {m_output, m_error, m_wake}) {
        closeFd(ends[0]);
        closeFd(ends[1]);
    }
}

void ToolOutputReader::attachToChild() const noexcept
{
    ::dup2(m_output[1], STDOUT_FILENO);
    ::dup2(m_error[1], STDERR_FILENO);
}

bool ToolOutputReader::start(QObject *context, std::function<void()> tooLarge,
                             std::function<void(Result)> finished)
{
    m_context = context;
    m_tooLarge = std::move(tooLarge);
    m_finished = std::move(finished);
    try {
        m_thread = std::thread([this] { readUntilFinished(); });
    } catch (const std::system_error &error) {
        logFailure(lcTools, "starting the tool output reader");
        m_setupError = QString::fromLocal8Bit(error.what());
        return false;
    }
    return true;
}

void ToolOutputReader::closeWriteEnds()
{
    closeFd(m_output[1]);
    closeFd(m_error[1]);
}

void ToolOutputReader::finish()
{
    const ssize_t written = ::write(m_wake[1], &finishCommand, 1);
    Q_UNUSED(written);
}

void ToolOutputReader::readUntilFinished()
{
    ::pthread_setname_np(::pthread_self(), "tool output");
    QByteArray scratch(readSize, Qt::Uninitialized);
    Stream output(m_output[0]);
    Stream error(m_error[0]);
    error.kept.resize(m_errorLimit + 1);
    bool reportedTooLarge = false;

    char command = 0;
    while (command != finishCommand) {
        pollfd fds[] = {{m_wake[0], POLLIN, 0},
                        {output.open ? output.fd : -1, POLLIN, 0},
                        {error.open ? error.fd : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno != EINTR)
                ::usleep(1000); // out of kernel memory for a moment
            continue;
        }
        if (fds[0].revents) {
            if (::read(m_wake[0], &command, 1) == 1 && command == abandonCommand)
                return;
            continue;
        }
        if (fds[1].revents)
            output.readOnce(scratch, m_outputLimit, true);
        if (fds[2].revents)
            error.readOnce(scratch, m_errorLimit, false);
        if (output.over && !reportedTooLarge) {
            reportedTooLarge = true;
            output.kept = QByteArray(); // the refused answer's memory goes now, and here
            QMetaObject::invokeMethod(m_context, [this] { m_tooLarge(); }, Qt::QueuedConnection);
        }
    }
    output.drain(scratch, m_outputLimit, true);
    error.drain(scratch, m_errorLimit, false);

    Result result;
    result.tooLarge = output.over;
    if (!output.over) {
        output.kept.resize(output.used);
        if (output.used < growthLimit)
            output.kept.squeeze();
        result.output = std::move(output.kept);
    }
    error.kept.resize(std::min(error.used, m_errorLimit + 1));
    result.errorPrefix = std::move(error.kept);
    result.errorOverflowed = error.over;
    QMetaObject::invokeMethod(
        m_context, [this, result = std::move(result)]() mutable { m_finished(std::move(result)); },
        Qt::QueuedConnection);
}
