// Overhead of the tool runner over a bare child process: 50 trivial tool runs
// through Bridge::data against 50 plain QProcess runs of the same script,
// interleaved. Prints the ratio of the medians (goal: at most 1.10).
#include "foundation/bridge/bridge.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QCoro::Task<bool> runThroughBridge(const BridgeCommand &command, const QString &tools)
{
    try {
        const QByteArray output = co_await Bridge::data(command, tools);
        co_return output.startsWith("{");
    } catch (const BridgeError &error) {
        std::fprintf(stderr, "tool failed: %s\n", error.what());
        co_return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tools;
    QDir(tools.path()).mkpath(QStringLiteral("tools/postproduction"));
    const QString script = tools.filePath(QStringLiteral("tools/postproduction/editor_bridge.py"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("import json\nprint(json.dumps({\"packages\": [], \"rejected\": []}))\n");
    file.close();

    const auto interpreters = Bridge::interpreterSearchOrder();
    const auto found = std::find_if(interpreters.begin(), interpreters.end(),
                                    [](const QString &path) { return QFileInfo(path).isExecutable(); });
    if (found == interpreters.end())
        return 1;

    const BridgeCommand command = BridgeCommand::inventory(QUrl::fromLocalFile(tools.path()));
    std::vector<double> bridge, bare;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!QCoro::waitFor(runThroughBridge(command, tools.path())))
            return 1;
        bridge.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        QProcess process;
        process.setWorkingDirectory(tools.path());
        process.start(*found, QStringList{QStringLiteral("-B"), script} + command.arguments());
        process.waitForFinished(-1);
        process.readAllStandardOutput();
        bare.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double ratio = median(bridge) / median(bare);
    std::printf("bridge median %.2f ms, bare median %.2f ms, ratio %.3f (goal <= 1.10)\n", median(bridge),
                median(bare), ratio);
    return 0;
}
