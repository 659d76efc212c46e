#include "bridge.h"
#include "bridgecommand.h"

#include "foundation/bridge/sessionprovider.h"
#include "foundation/bridge/toolerror.h"
#include "foundation/bridge/toolguard.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/bridge/tooloutput.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <system_error>
#include <thread>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <qcoro/qcorosignal.h>

#ifndef PIDFD_SIGNAL_PROCESS_GROUP
#define PIDFD_SIGNAL_PROCESS_GROUP (1U << 2) // Linux 6.9
#endif

namespace {

SessionDocumentProvider *g_sessionProvider = nullptr;
std::optional<QStringList> g_interpreterOverride;
std::optional<std::chrono::milliseconds> g_timeoutOverride;
std::optional<std::chrono::milliseconds> g_graceOverride;

constexpr std::chrono::milliseconds defaultTerminationGrace{3000};

// How much of a failing tool's standard error is kept: far more than any
// {"error": "..."} object needs, and a bound on what a runaway tool can cost.
constexpr qsizetype errorPrefixLimit = 65536;

class ToolRun;

// Every run whose tool is still running, so that quitting the application
// can end them all (a coroutine frame left suspended at quit never runs its
// destructor).
QSet<ToolRun *> &liveRuns()
{
    static QSet<ToolRun *> runs;
    return runs;
}

// The guard leads the run's process group: a signal to the group reaches the
// tool and what stayed in its group; the guard itself ignores SIGTERM.
void signalGroup(qint64 guard, int signal)
{
    if (guard > 0)
        ::kill(-pid_t(guard), signal);
}

// Everything below the guard is killed, the guard exits. A tool may have
// stopped its guard (and itself): the group is continued, so that the end
// signal is acted on.
void endRun(qint64 guard)
{
    if (guard > 0) {
        ::kill(pid_t(guard), ToolGuard::endSignal);
        ::kill(-pid_t(guard), SIGCONT);
    }
}

void endGroupsWhenQuitting()
{
    static QPointer<QCoreApplication> hooked;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || hooked == app)
        return;
    hooked = app;
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { Bridge::endAllRuns(); });
}

// One run of one tool. Owns the child process; lives as long as the awaiting
// coroutine frame holds it (deleted later, never inside one of its own signals).
// The child QProcess starts becomes the run's guard (ToolGuard): it leads a
// process group of its own, forks the tool and outlives it until nothing the
// tool started is left. The tool's standard output and error are read off the GUI
// thread (ToolOutputReader); QProcess only starts the guard, feeds the tool's
// input and sees the guard end.
class ToolRun : public QObject
{
    Q_OBJECT
public:
    enum class StopReason { caller, timeout, inputFailed, tooLarge };

    explicit ToolRun(const QString &interpreter)
        : m_guard(interpreter), m_reader(Bridge::outputLimit, errorPrefixLimit)
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setChildProcessModifier([this, application = ::getpid()] {
            ::setpgid(0, 0);
            m_reader.attachToChild();
            m_guard.enter(application);
        });
        m_timeout.setSingleShot(true);
        m_kill.setSingleShot(true);
        connect(&m_timeout, &QTimer::timeout, this, [this] { stop(StopReason::timeout); });
        connect(&m_kill, &QTimer::timeout, this, [this] { escalate(); });
        connect(&process, &QProcess::finished, this, [this] { finish(); });
        connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                launchError = process.errorString();
                finish();
            } else if (error == QProcess::WriteError) {
                stop(StopReason::inputFailed);
            }
        });
    }

    ~ToolRun() override
    {
        // Not reached with a live child (release()); QProcess would kill the
        // guard alone and wait for it.
        endGroup();
        if (m_handle >= 0)
            ::close(m_handle);
    }

    // The awaiting call is gone (its coroutine was torn down mid-run). A run
    // still going is ended without waiting here and deleted once its guard
    // has ended.
    void release()
    {
        if (process.state() == QProcess::NotRunning) {
            deleteLater();
            return;
        }
        m_released = true;
        m_timeout.stop();
        if (!m_kill.isActive()) {
            m_guardAsked = true;
            endRun(m_group);
            m_kill.start(g_graceOverride.value_or(defaultTerminationGrace));
        }
    }

    // The application quits: the guard ends the run, and so does a sweep of
    // its own, which does not depend on the guard running (the tool may keep
    // stopping it). Neither is waited for.
    void endNow()
    {
        if (exited || process.state() == QProcess::NotRunning)
            return;
        endRun(m_group);
        killFromOutside();
    }

    // Empty when the output can be read; otherwise why not.
    QString prepareOutput()
    {
        if (!m_reader.setupError().isEmpty()
            || !m_reader.start(
                this, [this] { stop(StopReason::tooLarge); },
                [this](ToolOutputReader::Result result) { outputRead(std::move(result)); }))
            return m_reader.setupError();
        return {};
    }

    // After QProcess::start, whether or not the tool started.
    void startAttempted()
    {
        m_reader.closeWriteEnds();
        if (process.state() != QProcess::NotRunning)
            started();
    }

    // After a successful start: the group exists from here on.
    void started()
    {
        m_group = process.processId();
        // Also set from this side: a signal sent before the child got to its
        // own setpgid would otherwise miss the group.
        if (m_group > 0) {
            ::setpgid(pid_t(m_group), pid_t(m_group));
            // Taken while the guard is surely unreaped: it names this guard
            // (and its group) and never a process that takes its pid later.
            m_handle = ToolGuard::handleOf(pid_t(m_group));
            liveRuns().insert(this);
            endGroupsWhenQuitting();
        }
    }

    void startTimeout(std::chrono::milliseconds timeout) { m_timeout.start(timeout); }

    // Asks the tool's group to end; when the tool is still alive after the
    // grace period, the guard kills everything of the run; when the guard
    // has not ended after one more grace period (a tool stopped it, perhaps
    // over and over), everything of the run is killed from here.
    void stop(StopReason reason)
    {
        switch (reason) {
        case StopReason::caller:
            stoppedByCaller = true;
            break;
        case StopReason::timeout:
            timedOut = true;
            break;
        case StopReason::inputFailed:
            inputFailed = true;
            break;
        case StopReason::tooLarge:
            tooLarge = true;
            break;
        }
        if (exited || process.state() == QProcess::NotRunning)
            return;
        signalGroup(m_group, SIGTERM);
        if (!m_kill.isActive())
            m_kill.start(g_graceOverride.value_or(defaultTerminationGrace));
    }

    QProcess process;
    QString launchError;
    QByteArray output;
    QByteArray errorPrefix;
    bool errorOverflowed = false;
    bool exited = false; // the tool is gone; its output is still being read
    bool done = false;   // and read: `ended` was emitted
    bool stoppedByCaller = false;
    bool timedOut = false;
    bool inputFailed = false;
    bool tooLarge = false;

Q_SIGNALS:
    void ended();

private:
    void finish()
    {
        if (exited)
            return;
        exited = true;
        m_timeout.stop();
        m_kill.stop();
        m_reader.finish(); // outputRead follows
        if (m_released)
            deleteLater();
    }

    void escalate()
    {
        if (exited || process.state() == QProcess::NotRunning)
            return;
        if (!m_guardAsked) {
            m_guardAsked = true;
            endRun(m_group);
            m_kill.start(g_graceOverride.value_or(defaultTerminationGrace));
            return;
        }
        killFromOutside();
    }

    // Kills everything below the guard, then the guard, on a thread of its
    // own: the sweep waits for what it kills to go.
    void killFromOutside()
    {
        if (m_sweeping || m_group <= 0)
            return;
        m_sweeping = true;
        const pid_t guard = pid_t(m_group);
        const int handle = m_handle >= 0 ? ::fcntl(m_handle, F_DUPFD_CLOEXEC, 0) : -1;
        if (handle >= 0) {
            try {
                std::thread([guard, handle] { ToolGuard::killRun(guard, handle); }).detach();
                return;
            } catch (const std::system_error &) {
                logFailure(lcTools, "starting the sweep of a tool run");
                ::close(handle);
            }
        }
        // The sweep needs the guard's pidfd and a thread. Without them the
        // group and the guard are killed from here, where the guard is still
        // unreaped; what it held outside the group goes to init.
        signalGroup(m_group, SIGKILL);
        process.kill();
    }

    void outputRead(ToolOutputReader::Result result)
    {
        output = std::move(result.output);
        errorPrefix = std::move(result.errorPrefix);
        errorOverflowed = result.errorOverflowed;
        tooLarge = tooLarge || result.tooLarge;
        // The guard has ended whatever the tool started; this only matters
        // when the guard itself was killed.
        endGroup();
        done = true;
        Q_EMIT ended();
    }

    // The guard is reaped by now: once nothing of the run is left in its
    // group, its pid may lead another process's group. Named through the
    // guard's pidfd, the signal never reaches such a group; where the kernel
    // cannot do that (before Linux 6.9) or no pidfd was taken, the number is
    // signalled.
    void endGroup()
    {
        if (m_group <= 0 || !liveRuns().remove(this))
            return;
        if (m_handle < 0
            || (::syscall(SYS_pidfd_send_signal, m_handle, SIGKILL, nullptr, PIDFD_SIGNAL_PROCESS_GROUP) != 0
                && errno == EINVAL))
            signalGroup(m_group, SIGKILL);
    }

    QTimer m_timeout;
    QTimer m_kill;
    qint64 m_group = 0;
    int m_handle = -1; // pidfd of the guard
    bool m_guardAsked = false;
    bool m_sweeping = false;
    bool m_released = false;
    ToolGuard m_guard;
    // The last member is destroyed first: its thread has stopped before the
    // members it reports to go.
    ToolOutputReader m_reader;
};

std::shared_ptr<ToolRun> makeRun(const QString &interpreter)
{
    return std::shared_ptr<ToolRun>(new ToolRun(interpreter), [](ToolRun *run) { run->release(); });
}

QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin:/opt/homebrew/bin:/usr/local/bin"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    environment.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    return environment;
}

std::optional<QString> findInterpreter()
{
    for (const QString &path : Bridge::interpreterSearchOrder()) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    return std::nullopt;
}

// Removes the cancellation callback however the coroutine leaves its scope.
struct CancelRegistration
{
    CancellationToken token;
    int id = 0;
    ~CancelRegistration()
    {
        if (id)
            token.removeCallback(id);
    }
};

QCoro::Task<QByteArray> run(const BridgeCommand &command, const QString &toolsFolder,
                            const std::optional<QByteArray> &sessionInput, const CancellationToken &cancel)
{
    const QString script =
        QDir(toolsFolder).filePath(QStringLiteral("tools/postproduction/") + command.script());
    if (!QFileInfo::exists(script))
        throw BridgeError::failed(loc("Vælg Tavlon-mappen med de lokale klippeværktøjer."));

    const bool consistent = command.isSessionCommand()
        ? (sessionInput && sessionInput->size() <= Bridge::sessionInputLimit)
        : !sessionInput;
    if (!consistent)
        throw BridgeError::failed(loc("Log ind igen før denne handling."));

    const auto interpreter = findInterpreter();
    if (!interpreter) {
        // Deliberately English in every interface language.
        throw BridgeError::failed(QStringLiteral(
            "Python 3.9 or later is required. Install Python 3 from the Python project's website, then reopen the app."));
    }

    if (Bridge::unsupportedTestLaunch())
        throw BridgeError::failed(loc("Lokal test kræver en DEBUG-build. Ingen cloudforbindelse er startet."));

    cancel.throwIfCancelled();

    const auto state = makeRun(*interpreter);
    QProcess &process = state->process;
    process.setProgram(*interpreter);
    process.setArguments(QStringList{QStringLiteral("-B"), script} + command.arguments());
    process.setWorkingDirectory(toolsFolder);
    process.setProcessEnvironment(toolEnvironment());
    if (!sessionInput)
        process.setStandardInputFile(QProcess::nullDevice());

    CancelRegistration registration{cancel};
    registration.id = cancel.onCancel([weak = std::weak_ptr<ToolRun>(state)] {
        if (const auto run = weak.lock())
            run->stop(ToolRun::StopReason::caller);
    });

    if (const QString refused = state->prepareOutput(); !refused.isEmpty())
        throw BridgeError::failed(refused);
    process.start(QIODevice::ReadWrite);
    state->startAttempted();
    if (sessionInput) {
        process.write(*sessionInput);
        process.closeWriteChannel();
    }
    state->startTimeout(g_timeoutOverride.value_or(
        std::chrono::duration_cast<std::chrono::milliseconds>(command.timeout())));

    if (!state->done)
        co_await qCoro(state.get(), &ToolRun::ended);

    if (!state->launchError.isEmpty())
        throw BridgeError::failed(state->launchError);
    if (state->stoppedByCaller || cancel.isCancelled())
        throw OperationCancelled();
    if (state->timedOut) {
        throw BridgeError::failed(
            loc("Det lokale værktøj svarede ikke i tide og blev stoppet. Intet blev godkendt eller leveret."));
    }
    if (state->inputFailed)
        throw OperationCancelled();
    // Stopped one byte past the limit: the tool never got to exit by itself.
    if (state->tooLarge)
        throw BridgeError::failed(loc("Klippepakken er for stor til denne visning."));

    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        QByteArray output = std::exchange(state->output, QByteArray());
        co_return output;
    }
    // A standard error cut at the limit is no complete error object.
    if (!state->errorOverflowed) {
        if (const auto text = toolErrorText(state->errorPrefix)) {
            const QString shown = toolErrorForDisplay(*text);
            // The person reads a bounded, cleaned sentence; the log keeps the
            // tool's own words (quoted, so that no control character acts).
            if (shown != *text)
                qCWarning(lcTools) << "a tool's error text, shown shortened or cleaned:" << *text;
            throw BridgeError::failed(shown);
        }
    }
    throw BridgeError::failed(
        loc("Den lokale handling kunne ikke gennemføres. Ingen pakke blev godkendt eller leveret."));
}

} // namespace

namespace Bridge {

QCoro::Task<QByteArray> data(BridgeCommand command, QString toolsFolder, CancellationToken cancel)
{
    std::optional<QByteArray> sessionInput;
    // Without a session store the input stays absent; the run then refuses
    // the command after its script check, as for any missing session.
    if (command.isSessionCommand() && g_sessionProvider)
        sessionInput = co_await g_sessionProvider->credentials(*command.credentialURL());
    cancel.throwIfCancelled();

    QByteArray output = co_await run(command, toolsFolder, sessionInput, cancel);
    // A cancellation that came after the tool finished still drops the output.
    cancel.throwIfCancelled();
    co_return output;
}

void setSessionProvider(SessionDocumentProvider *provider)
{
    g_sessionProvider = provider;
}

QStringList interpreterSearchOrder()
{
    if (g_interpreterOverride)
        return *g_interpreterOverride;
    return {QStringLiteral("/Library/Frameworks/Python.framework/Versions/Current/bin/python3"),
            QStringLiteral("/opt/homebrew/bin/python3"), QStringLiteral("/usr/local/bin/python3"),
            QStringLiteral("/usr/bin/python3")};
}

void setInterpreterSearchOrderForTesting(std::optional<QStringList> paths)
{
    g_interpreterOverride = std::move(paths);
}

void setTimeoutOverrideForTesting(std::optional<std::chrono::milliseconds> timeout)
{
    g_timeoutOverride = timeout;
}

void setTerminationGraceForTesting(std::optional<std::chrono::milliseconds> grace)
{
    g_graceOverride = grace;
}

void endAllRuns()
{
    for (ToolRun *run : std::as_const(liveRuns()))
        run->endNow();
}

} // namespace Bridge

#include "bridge.moc"
