// How long the GUI thread goes without running its event loop while tools
// run: a 16 ms timer ticks through each run, and the largest gap between two
// ticks is printed per workload (a gap near 16 ms means no stall).
#include "foundation/bridge/bridge.h"
#include "foundation/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

const char *tool = R"py(import sys, time
mode = sys.argv[sys.argv.index("context") + 1]
if mode == "slow":
    time.sleep(3)
    sys.stdout.write('{"packages": [], "rejected": []}')
elif mode == "large":
    sys.stdout.buffer.write(b"[" + b"0," * 16000000 + b"0]")
elif mode == "error-flood":
    chunk = b"e" * 1048576
    for _ in range(1024):
        sys.stderr.buffer.write(chunk)
    sys.exit(1)
)py";

struct Gap
{
    qint64 largest = 0;
    int ticks = 0;
    qint64 ran = 0;
};

QCoro::Task<void> runOnce(BridgeCommand command, QString tools, bool *finished)
{
    try {
        co_await Bridge::data(command, tools);
    } catch (const BridgeError &) {
    }
    *finished = true;
}

Gap measure(const BridgeCommand &command, const QString &tools)
{
    Gap gap;
    QElapsedTimer sinceTick, whole;
    QTimer pulse;
    pulse.setInterval(16);
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        if (gap.ticks > 0)
            gap.largest = std::max(gap.largest, sinceTick.elapsed());
        sinceTick.restart();
        ++gap.ticks;
    });
    bool finished = false;
    pulse.start();
    sinceTick.start();
    whole.start();
    auto task = runOnce(command, tools, &finished);
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    gap.ran = whole.elapsed();
    return gap;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tools;
    QDir(tools.path()).mkpath(QStringLiteral("tools/postproduction"));
    QFile file(tools.filePath(QStringLiteral("tools/postproduction/editor_bridge.py")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(tool);
    file.close();

    const struct
    {
        const char *mode;
        const char *what;
    } workloads[] = {
        {"slow", "a tool that sleeps 3 s"},
        {"large", "a tool that writes a 32 MB answer"},
        {"error-flood", "a tool that writes 1 GiB to standard error"},
    };
    for (const auto &workload : workloads) {
        const auto command = BridgeCommand::context(QUrl::fromLocalFile(tools.path()), QString::fromLatin1(workload.mode));
        const Gap gap = measure(command, tools.path());
        std::printf("%s: ran %lld ms, %d ticks of 16 ms, largest gap %lld ms\n", workload.what,
                    static_cast<long long>(gap.ran), gap.ticks, static_cast<long long>(gap.largest));
    }
    return 0;
}
