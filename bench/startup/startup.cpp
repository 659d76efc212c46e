// Times each program from its start to the line it prints on its first
// painted window (offscreen), alternating runs, and prints the medians and
// their ratio. Run it under scripts/test-env, which gives a private session
// bus and a temporary HOME.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double firstPaintMs(const QString &program)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TAVLON_STARTUP_PROBE"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    QByteArray out;
    double elapsed = -1;
    while (process.waitForReadyRead(30000)) {
        out += process.readAllStandardOutput();
        if (out.contains("first-paint")) {
            elapsed = double(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished();
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 11;
    const QString tavlon = QStringLiteral(TAVLON_APP);
    const QString empty = QStringLiteral(EMPTY_WINDOW);
    firstPaintMs(tavlon); // warm the file cache for both
    firstPaintMs(empty);
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        const double app = firstPaintMs(tavlon);
        const double ref = firstPaintMs(empty);
        if (app < 0 || ref < 0) {
            std::fprintf(stderr, "a program did not report its first paint\n");
            return 1;
        }
        a.push_back(app);
        b.push_back(ref);
    }
    const double ma = median(a), mb = median(b);
    std::printf("startup: application %.1f ms, empty window %.1f ms (medians of %d), ratio %.2f (goal <= 2.00)\n", ma,
                mb, runs, ma / mb);
    return 0;
}
