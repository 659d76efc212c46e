// The tool runner against real child processes: small fixture tools in a
// throw-away tools folder, each behaving as its "mode" argument says.
#include "foundation/bridge/bridge.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/bridge/sessionprovider.h"
#include "foundation/bridge/toolguard.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "../common/peakmemory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <linux/sched.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <qcoro/qcorotask.h>

namespace {

// The mode is the package id of `context` or the company of a service command.
const char *fixture = R"py(import json, os, signal, sys, time
args = sys.argv[1:]
def after(flag):
    return args[args.index(flag) + 1] if flag in args else None
mode = after("context") or after("--company") or "echo"
if mode == "stubborn":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
with open("pid.tmp", "w") as f:
    f.write(str(os.getpid()))
os.replace("pid.tmp", "pid.txt")
if mode == "echo":
    def is_open(fd):
        try:
            os.fstat(fd)
            return True
        except OSError:
            return False
    fds = [fd for fd in range(1024) if is_open(fd)]
    raw = open("/proc/self/environ", "rb").read().decode()
    env = dict(e.split("=", 1) for e in raw.split("\0") if e)
    cmdline = open("/proc/self/cmdline", "rb").read().decode().split("\0")[:-1]
    print(json.dumps({"cmdline": cmdline, "env": env, "cwd": os.getcwd(), "stdin": sys.stdin.read(), "fds": fds}))
elif mode == "tool-error":
    sys.stderr.write(json.dumps({"error": "Opgaven er allerede taget.", "code": 409, "detail": {"a": 1}}))
    sys.exit(3)
elif mode == "error-controls":
    sys.stderr.write(json.dumps({"error": "\u202eOpgaven\u202c er\u001b[31m\u0007 allerede\t\ttaget.\u2066\n"}))
    sys.exit(3)
elif mode == "error-long":
    sys.stderr.write(json.dumps({"error": "x" * 60000}))
    sys.exit(3)
elif mode == "error-invisible":
    # Zero-width, format and tag characters, the tags outside the basic plane.
    invisible = "\u200b\u200c\u200d\u200e\u200f\u2060\u2061\u2062\u2063\u2064\ufeff\U000e0000\U000e0001"
    invisible += "".join(chr(c) for c in range(0xe0020, 0xe0080))
    sys.stderr.write(json.dumps({"error": "Fejl" + (invisible * 20)[:1000]}))
    sys.exit(3)
elif mode == "error-tags":
    sys.stderr.write(json.dumps({"error": "Fejl \U000e0001\U000e0064\U000e0061\U000e007f i opgaven"}))
    sys.exit(3)
elif mode == "error-marks":
    sys.stderr.write(json.dumps({"error": "Fejl" + "\u0301" * 600 + " i opgaven"}))
    sys.exit(3)
elif mode == "error-cut":
    # Past invisible characters, a flag (two pairs) and its marks straddle the limit.
    sys.stderr.write(json.dumps({"error": "Fejl " + "\u2060" * 300 + "x" * 490 + "\U0001f1e9\U0001f1f0" + "\u0301" * 30 + " mere"}))
    sys.exit(3)
elif mode.startswith("error-filler-") or mode.startswith("error-blank-"):
    # Characters that draw nothing although they are letters or symbols; blank
    # ones stand between two words with no space beside them.
    filler = chr(int(mode.rsplit("-", 1)[1], 16))
    space = "" if mode.startswith("error-blank-") else " "
    sys.stderr.write(json.dumps({"error": filler * 1000 + "Fejl" + filler * 5 + space + "i v\u00e6rkt\u00f8jet" + filler * 1000}))
    sys.exit(3)
elif mode == "error-joiners":
    # A Persian word with its non-joiner, a joined emoji, and joiners that join nothing.
    word = "\u0645\u06cc\u200c\u062e\u0648\u0627\u0647\u0645"
    emoji = "\U0001f469\u200d\u2060\U0001f467"
    sys.stderr.write(json.dumps({"error": "\u200c" + word + " \u200d" + emoji + "\u200d \u200d\u200dFejl" + "\u200d" * 600 + "en\u200c"}))
    sys.exit(3)
elif mode == "error-selectors":
    # Selectors after a heart, a keycap's digit and a flag, and runs of them
    # after nothing visible.
    drawn = "\u2764" + "\ufe0f" * 300 + " 1\ufe0f\u20e3 \U0001f3f3\ufe0f\u200d\U0001f308"
    sys.stderr.write(json.dumps({"error": "\ufe0f" * 300 + "Fejl " + "\ufe0e" * 300 + drawn + " \u2060" + "\U000e0100" * 300 + "i opgaven"}))
    sys.exit(3)
elif mode == "error-emoji-chain":
    # 31 people, each with a skin tone, joined into one character.
    sys.stderr.write(json.dumps({"error": "Fejl " + "\u200d".join(["\U0001f469\U0001f3fd"] * 31) + " i opgaven"}))
    sys.exit(3)
elif mode == "error-marks-joined":
    # Marks and joiners taking turns, past the marks a character keeps.
    turns = "\u0301\u200d" * 300
    sys.stderr.write(json.dumps({"error": "Fejl" + turns + " i opgaven" + turns}))
    sys.exit(3)
elif mode == "error-only-controls":
    sys.stderr.write(json.dumps({"error": "\u202e\u001b\n"}))
    sys.exit(3)
elif mode == "traceback":
    raise RuntimeError("boom")
elif mode == "null-error":
    sys.stderr.write('{"error": null}')
    sys.exit(1)
elif mode == "blank-error":
    sys.stderr.write('{"error": " \\n"}')
    sys.exit(1)
elif mode == "error-list":
    sys.stderr.write('[{"error": "x"}]')
    sys.exit(1)
elif mode == "silent-fail":
    sys.exit(2)
elif mode == "killed":
    os.kill(os.getpid(), signal.SIGKILL)
elif mode == "noise":
    sys.stderr.write("warning: noise\n")
    sys.stdout.write('{"ok": true}')
elif mode == "noise-json-error":
    sys.stderr.write('{"error": "ignored on success"}')
    sys.stdout.write('{"ok": true}')
elif mode == "empty":
    pass
elif mode == "pieces":
    # An answer in odd-sized pieces, warnings between them on standard error.
    answer = b"".join(b"%08d\n" % i for i in range(400000))
    for start in range(0, len(answer), 100003):
        sys.stdout.buffer.write(answer[start:start + 100003])
        sys.stdout.buffer.flush()
        sys.stderr.buffer.write(b"w" * 70000)
        sys.stderr.buffer.flush()
elif mode in ("error-at-limit", "error-past-limit"):
    # An error object padded with white space to 64 KiB, or to one byte more.
    head = '{"error": "Opgaven er allerede taget."'
    size = 65536 if mode == "error-at-limit" else 65537
    sys.stderr.write(head + " " * (size - len(head) - 1) + "}")
    sys.exit(3)
elif mode == "exact":
    sys.stdout.buffer.write(b"x" * 33554432)
elif mode == "over":
    sys.stdout.buffer.write(b"x" * 33554433)
elif mode == "error-flood":
    chunk = b"e" * 1048576
    for _ in range(256):
        sys.stderr.buffer.write(chunk)
    sys.exit(1)
elif mode == "warning-flood":
    for _ in range(64):
        sys.stderr.buffer.write(b"w" * 65536)
    sys.stdout.write('{"ok": true}')
elif mode == "endless":
    chunk = b"x" * 1048576
    while True:
        sys.stdout.buffer.write(chunk)
elif mode in ("sleep", "stubborn"):
    time.sleep(600)
elif mode == "answer-then-silence":
    sys.stdout.write('{"ok": true}')
    sys.stdout.flush()
    time.sleep(600)
elif mode.startswith("detached-"):
    # Children that leave the tool's group and session by a double fork, as
    # daemons do; each reports its pid through a pipe.
    guard = os.getppid()
    reader, writer = os.pipe()
    for _ in range(200 if mode == "detached-many" else 1):
        if os.fork() == 0:
            os.setsid()
            daemon = os.fork()
            if daemon == 0:
                null = os.open(os.devnull, os.O_RDWR)
                for fd in (0, 1, 2):
                    os.dup2(null, fd)
                os.closerange(3, 1024)
                time.sleep(600)
                os._exit(0)
            os.write(writer, b"%d\n" % daemon)
            os._exit(0)
    os.close(writer)
    with os.fdopen(reader, "rb") as pipe:
        pids = pipe.read().decode()
    if mode.startswith("detached-restop"):
        # Two children stop the guard again whenever something continues it,
        # and ignore the termination request.
        for _ in range(2):
            if os.fork() == 0:
                signal.signal(signal.SIGTERM, signal.SIG_IGN)
                while True:
                    os.kill(guard, signal.SIGSTOP)
                    time.sleep(0.001)
    if mode.startswith("detached-stop") or mode.startswith("detached-restop"):
        os.kill(guard, signal.SIGSTOP)
    with open("background.tmp", "w") as f:
        f.write(pids)
    os.replace("background.tmp", "background.txt")
    if mode.endswith("-sleep"):
        time.sleep(600)
    sys.stdout.write('{"ok": true}')
elif mode.startswith("background-"):
    # A child that holds the output pipes and would outlive the tool.
    import subprocess
    child = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(600)"])
    with open("background.tmp", "w") as f:
        f.write(str(child.pid))
    os.replace("background.tmp", "background.txt")
    if mode == "background-exit":
        sys.stdout.write('{"ok": true}')
    elif mode == "background-fail":
        sys.exit(1)
    elif mode == "background-kill-guard":
        os.kill(os.getppid(), signal.SIGKILL)
        time.sleep(600)
    else:
        time.sleep(600)
)py";

const QUrl sessionURL(QStringLiteral("tavlon-session://5b0f6a3e-8d8c-4c2e-9f55-3b1f2a9c7d10"));

class FakeSessionProvider : public SessionDocumentProvider
{
public:
    QCoro::Task<QByteArray> credentials(const QUrl &url) override
    {
        ++calls;
        lastURL = url;
        if (failure)
            throw BridgeError::failed(*failure);
        QByteArray copy = document; // QCoro moves a co_returned lvalue: never hand out the member itself
        co_return copy;
    }

    QByteArray document = R"({"access_token":"t","user_id":"u","expires_at":1})";
    std::optional<QString> failure;
    int calls = 0;
    QUrl lastURL;
};

struct Outcome
{
    QByteArray output;
    std::optional<QString> error;
    bool cancelled = false;
};

// QCoro::waitFor never returns when the task throws: catch inside a coroutine.
QCoro::Task<Outcome> capture(QCoro::Task<QByteArray> task)
{
    Outcome outcome;
    try {
        outcome.output = co_await task;
    } catch (const BridgeError &error) {
        outcome.error = error.message();
    } catch (const OperationCancelled &) {
        outcome.cancelled = true;
    }
    co_return outcome;
}

Outcome await(QCoro::Task<QByteArray> task)
{
    return QCoro::waitFor(capture(std::move(task)));
}

bool alive(pid_t pid)
{
    // An ended child whose new parent never reaps it stays a zombie: gone all the same.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return ::kill(pid, 0) == 0 || errno != ESRCH;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

// An answer of 3.6 MB: line i is i in eight digits.
QByteArray numberedLines()
{
    QByteArray lines;
    for (int i = 0; i < 400000; ++i)
        lines += QByteArray::number(i).rightJustified(8, '0') + '\n';
    return lines;
}

// Once the runs that ended have been deleted.
int openDescriptors()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

const QString timedOut =
    QStringLiteral("Det lokale værktøj svarede ikke i tide og blev stoppet. Intet blev godkendt eller leveret.");
const QString generic = QStringLiteral("Den lokale handling kunne ikke gennemføres. Ingen pakke blev godkendt eller leveret.");
const QString signIn = QStringLiteral("Log ind igen før denne handling.");

// Children made in a multi-threaded test: a plain fork without the C
// library's handlers, and only system calls after it.
pid_t plainFork()
{
    return pid_t(::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
}

// A child at the pid `wanted`: its pid in the parent, 0 in the child, -1
// with errno when that pid cannot be had.
long forkAt(pid_t wanted)
{
    clone_args arguments = {};
    arguments.exit_signal = SIGCHLD;
    arguments.set_tid = std::uint64_t(reinterpret_cast<std::uintptr_t>(&wanted));
    arguments.set_tid_size = 1;
    return ::syscall(SYS_clone3, &arguments, sizeof arguments);
}

[[noreturn]] void idle()
{
    for (;;)
        ::pause();
}

void report(int pipe, pid_t pid)
{
    ::syscall(SYS_write, pipe, &pid, sizeof pid);
}

pid_t reported(int pipe)
{
    pid_t pid = 0;
    return ::read(pipe, &pid, sizeof pid) == sizeof pid ? pid : 0;
}

constexpr uid_t nobody = 65534;

// Holds the thread that gets `holdSignal` until a byte comes on `g_release`.
const int holdSignal = SIGRTMIN;
int g_held[2] = {-1, -1};
int g_release[2] = {-1, -1};

void hold(int)
{
    const int saved = errno;
    char byte = 0;
    ::syscall(SYS_write, g_held[1], &byte, 1);
    while (::read(g_release[0], &byte, 1) < 0 && errno == EINTR) {
    }
    errno = saved;
}

} // namespace

class TestBridge : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void invocation();
    void sessionDocumentOnStandardInput();
    void credentialsFileGetsNullDevice();
    void sessionInputLimit_data();
    void sessionInputLimit();
    void sessionProviderFailures();
    void missingScriptBeforeMissingInterpreter();
    void missingInterpreter();
    void interpreterThatCannotStart();
    void toolOutcomes_data();
    void toolOutcomes();
    void outputLimit_data();
    void outputLimit();
    void cancellationEndsTheChild();
    void cancelledBeforeStartRunsNothing();
    void abandonedCallStillEndsTheChild();
    void timeoutEndsTheChildWithAMessage_data();
    void timeoutEndsTheChildWithAMessage();
    void runawayOutputStaysBounded_data();
    void runawayOutputStaysBounded();
    void backgroundChildEndsWithTheRun_data();
    void backgroundChildEndsWithTheRun();
    void sweepStopsWhenTheGuardEnds();

private:
    BridgeCommand mode(const QString &mode) const
    {
        return BridgeCommand::context(QUrl::fromLocalFile(m_tools->path()), mode);
    }
    QString tools() const { return m_tools->path(); }
    pid_t childPid() const { return pidIn(QStringLiteral("pid.txt")); }
    pid_t pidIn(const QString &name) const;
    QList<pid_t> pidsIn(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_tools;
    FakeSessionProvider m_provider;
    int m_descriptors = -1;
};

void TestBridge::initTestCase()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
}

void TestBridge::init()
{
    m_tools = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tools->isValid());
    QDir(m_tools->path()).mkpath(QStringLiteral("tools/postproduction"));
    for (const char *name : {"editor_bridge.py", "desktop_service.py"}) {
        QFile file(m_tools->filePath(QStringLiteral("tools/postproduction/") + QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fixture);
    }
    m_provider = FakeSessionProvider();
    Bridge::setSessionProvider(&m_provider);
    Bridge::setInterpreterSearchOrderForTesting(std::nullopt);
    Bridge::setTimeoutOverrideForTesting(std::nullopt);
    Bridge::setTerminationGraceForTesting(std::nullopt);
    if (m_descriptors < 0) {
        // The first run opens what the process keeps for good (the child watcher).
        QVERIFY(!await(Bridge::data(mode(QStringLiteral("empty")), tools())).error);
        QFile::remove(m_tools->filePath(QStringLiteral("pid.txt")));
    }
    m_descriptors = openDescriptors();
}

void TestBridge::cleanup()
{
    Bridge::setSessionProvider(nullptr);
    // However a run ended, its pipes are closed once it is gone.
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(), m_descriptors, 10000);
}

pid_t TestBridge::pidIn(const QString &name) const
{
    QFile file(m_tools->filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(file.readAll().toLongLong());
}

QList<pid_t> TestBridge::pidsIn(const QString &name) const
{
    QFile file(m_tools->filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<pid_t> pids;
    for (const QByteArray &word : file.readAll().simplified().split(' '))
        if (const qint64 pid = word.toLongLong(); pid > 0)
            pids.append(pid_t(pid));
    return pids;
}

void TestBridge::invocation()
{
    // A descriptor the application holds without close-on-exec stays with it.
    const int opened = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int stray = ::fcntl(opened, F_DUPFD, 251);
    ::close(opened);
    QVERIFY(stray >= 251);
    const auto closeStray = qScopeGuard([stray] { ::close(stray); });

    const auto outcome = await(Bridge::data(mode(QStringLiteral("echo")), tools()));
    QVERIFY2(!outcome.error, qPrintable(outcome.error.value_or(QString())));
    const QJsonObject echo = QJsonDocument::fromJson(outcome.output).object();

    const QStringList cmdline = echo.value(QStringLiteral("cmdline")).toVariant().toStringList();
    QCOMPARE(cmdline.mid(1), (QStringList{QStringLiteral("-B"),
                                          QDir(tools()).filePath(QStringLiteral("tools/postproduction/editor_bridge.py")),
                                          QStringLiteral("--inbox"), tools(), QStringLiteral("context"),
                                          QStringLiteral("echo")}));
    QCOMPARE(echo.value(QStringLiteral("cwd")).toString(), QFileInfo(tools()).canonicalFilePath());

    const QJsonObject expectedEnvironment{{"PATH", "/usr/bin:/bin:/opt/homebrew/bin:/usr/local/bin"},
                                          {"LANG", "en_US.UTF-8"},
                                          {"PYTHONIOENCODING", "utf-8"}};
    QCOMPARE(echo.value(QStringLiteral("env")).toObject(), expectedEnvironment);
    QCOMPARE(echo.value(QStringLiteral("stdin")).toString(), QString());
    QCOMPARE(echo.value(QStringLiteral("fds")).toArray(), (QJsonArray{0, 1, 2}));
    QCOMPARE(m_provider.calls, 0);
}

void TestBridge::sessionDocumentOnStandardInput()
{
    const auto outcome =
        await(Bridge::data(BridgeCommand::serviceList(sessionURL, QStringLiteral("echo"), std::nullopt), tools()));
    QVERIFY2(!outcome.error, qPrintable(outcome.error.value_or(QString())));
    const QJsonObject echo = QJsonDocument::fromJson(outcome.output).object();
    QCOMPARE(echo.value(QStringLiteral("stdin")).toString().toUtf8(), m_provider.document);
    QCOMPARE(m_provider.calls, 1);
    QCOMPARE(m_provider.lastURL, sessionURL);
    QVERIFY(echo.value(QStringLiteral("cmdline")).toVariant().toStringList().contains(QStringLiteral("-")));
}

void TestBridge::credentialsFileGetsNullDevice()
{
    const QUrl file = QUrl::fromLocalFile(m_tools->filePath(QStringLiteral("creds.json")));
    const auto outcome =
        await(Bridge::data(BridgeCommand::serviceList(file, QStringLiteral("echo"), std::nullopt), tools()));
    QVERIFY2(!outcome.error, qPrintable(outcome.error.value_or(QString())));
    const QJsonObject echo = QJsonDocument::fromJson(outcome.output).object();
    QCOMPARE(echo.value(QStringLiteral("stdin")).toString(), QString());
    QCOMPARE(m_provider.calls, 0);
}

void TestBridge::sessionInputLimit_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("interpreter");
    QTest::addColumn<bool>("runs");
    QTest::newRow("empty") << 0 << true << true;
    QTest::newRow("at the limit") << 32768 << true << true;
    QTest::newRow("one over") << 32769 << true << false;
    // Refused before any interpreter is looked for.
    QTest::newRow("one over, no interpreter") << 32769 << false << false;
}

void TestBridge::sessionInputLimit()
{
    QFETCH(int, size);
    QFETCH(bool, interpreter);
    QFETCH(bool, runs);
    m_provider.document = QByteArray(size, 'a');
    if (!interpreter)
        Bridge::setInterpreterSearchOrderForTesting(QStringList{QStringLiteral("/nonexistent/python3")});
    const auto outcome =
        await(Bridge::data(BridgeCommand::serviceList(sessionURL, QStringLiteral("echo"), std::nullopt), tools()));
    if (runs) {
        QVERIFY2(!outcome.error, qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(QJsonDocument::fromJson(outcome.output).object().value("stdin").toString().size(), size);
    } else {
        QCOMPARE(outcome.error, std::optional(signIn));
        QCOMPARE(childPid(), 0);
    }
}

void TestBridge::sessionProviderFailures()
{
    const auto command = BridgeCommand::serviceList(sessionURL, QStringLiteral("echo"), std::nullopt);
    m_provider.failure = QStringLiteral("Login er ændret. Hent virksomhederne igen.");
    QCOMPARE(await(Bridge::data(command, tools())).error, m_provider.failure);

    Bridge::setSessionProvider(nullptr);
    QCOMPARE(await(Bridge::data(command, tools())).error, std::optional(signIn));
    QCOMPARE(childPid(), 0);

    // The script is looked for before the session.
    const auto brief = BridgeCommand::serviceBriefPull(sessionURL, QStringLiteral("c"), QStringLiteral("r"),
                                                       QUrl::fromLocalFile(tools()), QUuid::createUuid());
    QCOMPARE(await(Bridge::data(brief, tools())).error,
             std::optional(QStringLiteral("Vælg Tavlon-mappen med de lokale klippeværktøjer.")));
}

void TestBridge::missingScriptBeforeMissingInterpreter()
{
    Bridge::setInterpreterSearchOrderForTesting(QStringList{QStringLiteral("/nonexistent/python3")});
    const auto outcome = await(Bridge::data(BridgeCommand::videoPending(QUrl::fromLocalFile(tools()), "r"), tools()));
    QCOMPARE(outcome.error, std::optional(QStringLiteral("Vælg Tavlon-mappen med de lokale klippeværktøjer.")));
}

void TestBridge::missingInterpreter()
{
    // A folder and a non-executable file do not count as interpreters.
    const QString plain = m_tools->filePath(QStringLiteral("python3"));
    QFile(plain).open(QIODevice::WriteOnly);
    Bridge::setInterpreterSearchOrderForTesting(QStringList{tools(), plain, QStringLiteral("/nonexistent/python3")});
    const auto outcome = await(Bridge::data(mode(QStringLiteral("echo")), tools()));
    QVERIFY(outcome.error);
    QVERIFY(outcome.error->contains(QStringLiteral("Python 3.9")));
    QCOMPARE(childPid(), 0);
}

// An interpreter the system cannot start fails the run with the system's reason.
void TestBridge::interpreterThatCannotStart()
{
    const QString garbage = m_tools->filePath(QStringLiteral("python3"));
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64, '\x01'));
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    file.close();
    Bridge::setInterpreterSearchOrderForTesting(QStringList{garbage});
    const auto outcome = await(Bridge::data(mode(QStringLiteral("echo")), tools()));
    QVERIFY(!outcome.cancelled);
    QVERIFY(outcome.error && !outcome.error->isEmpty());
    QVERIFY(outcome.error != generic);
    QCOMPARE(childPid(), 0);
    // QProcess (6.4) keeps one descriptor of a child that failed to start;
    // the run's own pipes are closed all the same.
    QTRY_VERIFY_WITH_TIMEOUT(openDescriptors() <= m_descriptors + 1, 10000);
    m_descriptors = openDescriptors();
}

void TestBridge::toolOutcomes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("error");
    QTest::newRow("tool's own error") << "tool-error" << QByteArray() << "Opgaven er allerede taget.";
    // The person reads one plain line; the log keeps what the tool wrote.
    QTest::newRow("controls and direction overrides dropped")
        << "error-controls" << QByteArray() << "Opgaven er[31m allerede taget.";
    QTest::newRow("long error text cut") << "error-long" << QByteArray() << QString(499, u'x') + QChar(0x2026);
    // Invisible characters neither fill the limit nor hide the words, and no
    // character grows past a few marks.
    QTest::newRow("zero-width and tag characters dropped") << "error-invisible" << QByteArray() << "Fejl";
    QTest::newRow("tags outside the basic plane dropped") << "error-tags" << QByteArray() << "Fejl i opgaven";
    QTest::newRow("marks on one character bounded")
        << "error-marks" << QByteArray() << "Fejl" + QString(8, QChar(0x0301)) + " i opgaven";
    // The cut falls before the flag, not between its halves or before its marks.
    QTest::newRow("cut between whole characters")
        << "error-cut" << QByteArray() << "Fejl " + QString(490, u'x') + QChar(0x2026);
    QTest::newRow("Hangul fillers dropped") << "error-filler-3164" << QByteArray() << "Fejl i værktøjet";
    QTest::newRow("half-width Hangul fillers dropped") << "error-filler-ffa0" << QByteArray() << "Fejl i værktøjet";
    QTest::newRow("braille blanks one space") << "error-blank-2800" << QByteArray() << "Fejl i værktøjet";
    QTest::newRow("a joiner kept between two visible characters")
        << "error-joiners" << QByteArray()
        << "\u0645\u06cc\u200c\u062e\u0648\u0627\u0647\u0645 \U0001f469\u200d\U0001f467 Fejlen";
    // What the tool drew stays: a selector after a visible character (emoji
    // style, a keycap), the people of a joined emoji whatever their number,
    // and no joiner is left without a mark after it.
    QTest::newRow("a selector kept after a visible character")
        << "error-selectors" << QByteArray()
        << "Fejl \u2764\ufe0f 1\ufe0f\u20e3 \U0001f3f3\ufe0f\u200d\U0001f308 i opgaven";
    QTest::newRow("joined emoji kept whole")
        << "error-emoji-chain" << QByteArray()
        << "Fejl " + QStringList(31, QStringLiteral("\U0001f469\U0001f3fd")).join(QChar(0x200D)) + " i opgaven";
    const QString turns = QString(QStringLiteral("\u0301\u200d")).repeated(7) + QChar(0x0301);
    QTest::newRow("no joiner left past the marks kept")
        << "error-marks-joined" << QByteArray() << "Fejl" + turns + " i opgaven" + turns;
    QTest::newRow("nothing visible") << "error-only-controls" << QByteArray() << generic;
    QTest::newRow("traceback") << "traceback" << QByteArray() << generic;
    QTest::newRow("null error") << "null-error" << QByteArray() << generic;
    QTest::newRow("blank error") << "blank-error" << QByteArray() << generic;
    QTest::newRow("error not an object") << "error-list" << QByteArray() << generic;
    QTest::newRow("nothing on failure") << "silent-fail" << QByteArray() << generic;
    QTest::newRow("killed by a signal") << "killed" << QByteArray() << generic;
    QTest::newRow("noise on success") << "noise" << QByteArray(R"({"ok": true})") << QString();
    QTest::newRow("error object on success") << "noise-json-error" << QByteArray(R"({"ok": true})") << QString();
    QTest::newRow("empty success") << "empty" << QByteArray() << QString();
    QTest::newRow("4 MiB of warnings on success") << "warning-flood" << QByteArray(R"({"ok": true})") << QString();
    QTest::newRow("answer in pieces between warnings") << "pieces" << numberedLines() << QString();
    // Only a 64 KiB prefix of standard error is kept: a cut object is no error object.
    QTest::newRow("error object of 64 KiB") << "error-at-limit" << QByteArray() << "Opgaven er allerede taget.";
    QTest::newRow("error object one byte longer") << "error-past-limit" << QByteArray() << generic;
}

void TestBridge::toolOutcomes()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, output);
    QFETCH(QString, error);
    if (mode == u"error-controls")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
            R"re(error text.*"\\u202EOpgaven\\u202C er\\u001B\[31m\\u0007 allerede\\t\\ttaget\.\\u2066\\n")re")));
    else if (mode == u"error-long")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("error text.*\"x{60000}\"")));
    else if (QStringList{"error-invisible", "error-tags", "error-marks", "error-cut", "error-joiners", "error-selectors",
                         "error-marks-joined"}
                 .contains(mode)
             || mode.startsWith(u"error-filler-") || mode.startsWith(u"error-blank-"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("shown shortened or cleaned")));
    const auto outcome = await(Bridge::data(this->mode(mode), tools()));
    QVERIFY(!outcome.cancelled);
    QCOMPARE(outcome.error.value_or(QString()), error);
    QCOMPARE(outcome.output, output);
}

void TestBridge::outputLimit_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exactly 32 MiB") << "exact" << true;
    QTest::newRow("one byte more") << "over" << false;
}

void TestBridge::outputLimit()
{
    QFETCH(QString, mode);
    QFETCH(bool, accepted);
    const auto outcome = await(Bridge::data(this->mode(mode), tools()));
    if (accepted) {
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.output.size(), qsizetype(33554432));
    } else {
        QCOMPARE(outcome.error, std::optional(QStringLiteral("Klippepakken er for stor til denne visning.")));
    }
}

void TestBridge::cancellationEndsTheChild()
{
    CancellationToken token;
    auto task = Bridge::data(mode(QStringLiteral("sleep")), tools(), token);
    QTRY_VERIFY_WITH_TIMEOUT(childPid() != 0, 20000);
    const pid_t pid = childPid();
    QVERIFY(alive(pid));
    token.cancel();
    const auto outcome = await(std::move(task));
    QVERIFY(outcome.cancelled);
    QVERIFY(!alive(pid));
}

void TestBridge::cancelledBeforeStartRunsNothing()
{
    CancellationToken token;
    token.cancel();
    QVERIFY(await(Bridge::data(mode(QStringLiteral("echo")), tools(), token)).cancelled);
    QCOMPARE(childPid(), 0);
}

// The caller's task is dropped mid-run (its owner went away): the run goes on
// detached, and a later cancellation still reaches the child.
void TestBridge::abandonedCallStillEndsTheChild()
{
    CancellationToken token;
    {
        auto task = Bridge::data(mode(QStringLiteral("sleep")), tools(), token);
        QTRY_VERIFY_WITH_TIMEOUT(childPid() != 0, 20000);
    }
    const pid_t pid = childPid();
    QVERIFY(alive(pid));
    token.cancel();
    QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 20000);
}

void TestBridge::timeoutEndsTheChildWithAMessage_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("ends on request") << "sleep";
    QTest::newRow("ignores the request") << "stubborn";
    // The exit status decides: a complete answer is not taken before it.
    QTest::newRow("answer, then silence") << "answer-then-silence";
}

void TestBridge::timeoutEndsTheChildWithAMessage()
{
    QFETCH(QString, mode);
    Bridge::setTimeoutOverrideForTesting(std::chrono::milliseconds(2000));
    Bridge::setTerminationGraceForTesting(std::chrono::milliseconds(300));
    const auto outcome = await(Bridge::data(this->mode(mode), tools()));
    QVERIFY(!outcome.cancelled);
    QCOMPARE(outcome.error, std::optional(timedOut));
    const pid_t pid = childPid();
    QVERIFY(pid != 0);
    QVERIFY(!alive(pid));
}

// Under AddressSanitizer freed blocks wait in a quarantine (256 MiB by default)
// before they are reused, which would count every discarded read buffer as
// held memory; a small quarantine lets the memory bound below mean the same
// in the sanitizer build as in the normal one.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=4";
}

// A tool that floods standard error or never stops writing its answer costs
// a bounded amount of memory and ends with the usual sentence.
void TestBridge::runawayOutputStaysBounded_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<qint64>("bound");
    QTest::newRow("256 MiB on standard error") << "error-flood" << generic << qint64(32) * 1024 * 1024;
    QTest::newRow("standard output without end")
        << "endless" << "Klippepakken er for stor til denne visning." << qint64(128) * 1024 * 1024;
}

void TestBridge::runawayOutputStaysBounded()
{
    QFETCH(QString, mode);
    QFETCH(QString, error);
    QFETCH(qint64, bound);
    if (!PeakMemory::reset())
        QSKIP("this kernel cannot reset the peak memory figure");
    const qint64 before = PeakMemory::peak();
    // Long enough that only the limit, not the time-out, can end the endless tool.
    Bridge::setTimeoutOverrideForTesting(std::chrono::milliseconds(120000));
    const auto outcome = await(Bridge::data(this->mode(mode), tools()));
    QCOMPARE(outcome.error, std::optional(error));
    const qint64 growth = PeakMemory::peak() - before;
    QVERIFY2(growth < bound, qPrintable(QStringLiteral("peak memory grew by %1 bytes").arg(growth)));
    QVERIFY(!alive(childPid()));
}

// Whatever a tool starts ends with its run, however the run ends.
void TestBridge::backgroundChildEndsWithTheRun_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("ending");
    QTest::newRow("tool exits") << "background-exit" << "exit";
    QTest::newRow("tool fails") << "background-fail" << "exit";
    QTest::newRow("time-out") << "background-sleep" << "timeout";
    QTest::newRow("cancellation") << "background-sleep" << "cancel";
    QTest::newRow("application quits") << "background-sleep" << "quit";
    QTest::newRow("detached child, tool exits") << "detached-exit" << "exit";
    QTest::newRow("200 detached children, tool exits") << "detached-many" << "exit";
    QTest::newRow("detached child, time-out") << "detached-sleep" << "timeout";
    QTest::newRow("detached child, cancellation") << "detached-sleep" << "cancel";
    QTest::newRow("detached child, application quits") << "detached-sleep" << "quit";
    // A stopped guard ends nothing by itself: the run still ends, and with it
    // everything below the guard.
    QTest::newRow("guard stopped, tool sleeps, time-out") << "detached-stop-sleep" << "timeout";
    QTest::newRow("guard stopped, tool answers and exits, time-out") << "detached-stop-exit" << "timeout";
    QTest::newRow("guard stopped, cancellation") << "detached-stop-sleep" << "cancel";
    QTest::newRow("guard stopped, application quits") << "detached-stop-sleep" << "quit";
    QTest::newRow("guard stopped over and over, time-out") << "detached-restop-sleep" << "timeout";
    QTest::newRow("guard stopped over and over, cancellation") << "detached-restop-sleep" << "cancel";
    QTest::newRow("guard stopped over and over, application quits") << "detached-restop-sleep" << "quit";
    // What stayed in the run's group still ends with the run.
    QTest::newRow("guard killed, tool sleeps") << "background-kill-guard" << "exit";
}

void TestBridge::backgroundChildEndsWithTheRun()
{
    QFETCH(QString, mode);
    QFETCH(QString, ending);
    Bridge::setTimeoutOverrideForTesting(std::chrono::milliseconds(ending == u"timeout" ? 3000 : 120000));
    CancellationToken token;
    auto task = Bridge::data(this->mode(mode), tools(), token);
    QTRY_VERIFY_WITH_TIMEOUT(!pidsIn(QStringLiteral("background.txt")).isEmpty(), 60000);
    const QList<pid_t> children = pidsIn(QStringLiteral("background.txt"));
    // Whatever this test finds alive is killed before it ends, pass or fail.
    const auto leftovers = qScopeGuard([&children] {
        for (const pid_t child : children)
            ::kill(child, SIGKILL);
    });
    const pid_t tool = childPid();
    if (ending == u"cancel")
        token.cancel();
    else if (ending == u"quit")
        Bridge::endAllRuns();
    // Generous: only a run that waits for good fails here.
    auto captured = capture(std::move(task));
    QTRY_VERIFY_WITH_TIMEOUT(captured.isReady(), 40000);
    const auto outcome = QCoro::waitFor(std::move(captured));
    QCOMPARE(outcome.cancelled, ending == u"cancel");
    if (ending == u"timeout")
        QCOMPARE(outcome.error, std::optional(timedOut));
    if (mode == u"background-exit" || (mode.startsWith(u"detached-") && ending == u"exit"))
        QCOMPARE(outcome.output, QByteArray(R"({"ok": true})"));
    QTRY_VERIFY_WITH_TIMEOUT(!alive(tool), 10000);
    for (const pid_t child : children)
        QTRY_VERIFY_WITH_TIMEOUT(!alive(child), 10000);
}

// The sweep of a run whose guard does not end stops once the guard has
// ended: the guard's pid may then be another process's, and that one's
// children are none of the run's. The new process and its child take pids
// the sweep has already listed (the guard's and its killed child's), so a
// sweep held anywhere in a pass meets them when it goes on.
void TestBridge::sweepStopsWhenTheGuardEnds()
{
    if (::geteuid() != 0)
        QSKIP("a chosen pid for a new process, and a child the sweep cannot kill, take root's privilege");
    // The guard's children come to this process when it ends, so that the
    // killed one can be reaped here and its pid taken again.
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0);
    int pids[2];
    QVERIFY(::pipe2(pids, O_CLOEXEC) == 0);
    QVERIFY(::pipe2(g_held, O_CLOEXEC) == 0);
    QVERIFY(::pipe2(g_release, O_CLOEXEC) == 0);
    struct sigaction holding = {};
    holding.sa_handler = hold;
    struct sigaction previous = {};
    QVERIFY(::sigaction(holdSignal, &holding, &previous) == 0);

    // A stand-in guard with two children: one of root, which the sweep (run
    // without root's privilege) cannot kill, so that it goes on sweeping, and
    // one it can.
    const pid_t guard = plainFork();
    if (guard == 0) {
        const pid_t stubborn = plainFork();
        if (stubborn == 0)
            idle();
        const pid_t killable = plainFork();
        if (killable == 0) {
            ::syscall(SYS_setresuid, nobody, nobody, nobody);
            idle();
        }
        report(pids[1], stubborn);
        report(pids[1], killable);
        idle();
    }
    bool guardReaped = false;
    int children[2] = {-1, -1}; // pidfds: the guard does not reap them, this process does once it is gone
    pid_t stubborn = 0;
    pid_t killable = 0;
    pid_t taker = 0;
    pid_t takersChild = 0;
    std::thread sweep;
    const auto cleanup = qScopeGuard([&] {
        if (sweep.joinable()) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t written = ::write(g_release[1], &byte, 1);
            sweep.join();
        }
        for (const int child : children) {
            if (child >= 0) {
                ::syscall(SYS_pidfd_send_signal, child, SIGKILL, nullptr, 0);
                ::close(child);
            }
        }
        if (guard > 0 && !guardReaped) {
            ::kill(guard, SIGKILL);
            ::waitpid(guard, nullptr, 0);
        }
        if (taker > 0) {
            if (takersChild > 0)
                ::kill(takersChild, SIGKILL); // not reaped while the taker lives
            ::kill(taker, SIGKILL);
            ::waitpid(taker, nullptr, 0);
        }
        // What the guard and the taker left has come to this process.
        for (const pid_t left : {stubborn, killable, takersChild}) {
            if (left > 0 && ::waitpid(left, nullptr, WNOHANG) == 0) {
                ::kill(left, SIGKILL); // a child of this process, unreaped: the pid is still its
                ::waitpid(left, nullptr, 0);
            }
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
        ::sigaction(holdSignal, &previous, nullptr);
        for (int *ends : {pids, g_held, g_release}) {
            ::close(ends[0]);
            ::close(ends[1]);
        }
    });
    QVERIFY(guard > 0);
    stubborn = reported(pids[0]);
    killable = reported(pids[0]);
    QVERIFY(stubborn > 0 && killable > 0);
    children[0] = ToolGuard::handleOf(stubborn);
    children[1] = ToolGuard::handleOf(killable);
    const int handle = ToolGuard::handleOf(guard);
    QVERIFY(children[0] >= 0 && children[1] >= 0 && handle >= 0);

    sweep = std::thread([guard, handle] {
        // This thread alone: the plain system call leaves the others as they are.
        ::syscall(SYS_setresuid, nobody, nobody, nobody);
        ToolGuard::killRun(guard, handle);
    });
    QTRY_VERIFY_WITH_TIMEOUT(!alive(killable), 4000);
    QVERIFY(alive(stubborn));
    // Held in the middle of the sweep: the guard ends and is reaped, a new
    // process takes the guard's pid and its child the killed child's.
    QVERIFY(::pthread_kill(sweep.native_handle(), holdSignal) == 0);
    pollfd held{g_held[0], POLLIN, 0};
    QVERIFY2(::poll(&held, 1, 20000) == 1, "the sweep was over before it could be held");
    char byte = 0;
    QVERIFY(::read(g_held[0], &byte, 1) == 1);
    QVERIFY(::kill(guard, SIGKILL) == 0);
    QCOMPARE(::waitpid(guard, nullptr, 0), guard);
    guardReaped = true;
    QCOMPARE(::waitpid(killable, nullptr, 0), killable);
    const pid_t freed = killable;
    killable = 0;
    const long took = forkAt(guard);
    int refusal = errno;
    if (took == 0) {
        const long child = forkAt(freed);
        if (child == 0) {
            ::syscall(SYS_setresuid, nobody, nobody, nobody);
            idle();
        }
        report(pids[1], child < 0 ? -errno : pid_t(child));
        idle();
    }
    if (took < 0)
        QSKIP(qPrintable(QStringLiteral("no new process could take the guard's pid: ") + qt_error_string(refusal)));
    taker = pid_t(took);
    takersChild = reported(pids[0]);
    if (takersChild < 0) {
        refusal = -takersChild;
        takersChild = 0;
        QSKIP(qPrintable(QStringLiteral("no new process could take a freed pid: ") + qt_error_string(refusal)));
    }
    QCOMPARE(takersChild, freed);

    QVERIFY(::write(g_release[1], &byte, 1) == 1);
    sweep.join();
    QVERIFY(alive(takersChild));
    QVERIFY(alive(taker));
}

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
