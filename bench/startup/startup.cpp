// Times each program from its start to the line it prints on its first
// painted window (offscreen), alternating runs, and prints the medians and
// their ratio. The application starts signed in: before the runs, the demo
// editor signs in once against the sign-in stand-in (started here, as
// scripts/run does), which keeps the session in the secret store; every timed
// start restores it. Run it under scripts/test-env, which gives a private
// session bus with an unlocked throw-away keyring and a temporary HOME.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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
    // A desktop-sized screen, where the window opens at its full size (the
    // platform's default screen is smaller than the window).
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=" SCREENS));
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

// The sign-in stand-in on the bundle's tools folder, with the address and
// certificate the application then reads; stopped with the object.
class SignInStandin
{
public:
    bool start()
    {
        const QString tools = QStringLiteral(TAVLON_TOOLS);
        if (!QFile::exists(tools + QStringLiteral("/var/standin.sqlite3"))
            && QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                 {QStringLiteral("-B"), tools + QStringLiteral("/standin/reset.py"),
                                  QStringLiteral("--tools-folder"), tools})
                != 0)
            return false;
        m_server.setStandardErrorFile(QProcess::nullDevice()); // its request log
        m_server.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-B"), tools + QStringLiteral("/standin/auth_server.py"),
                        QStringLiteral("--tools-folder"), tools, QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--write-config")});
        // Its first line announces it, with the certificate to trust.
        QByteArray line;
        while (!line.contains('\n') && m_server.waitForReadyRead(30000))
            line += m_server.readAllStandardOutput();
        const QJsonObject announce = QJsonDocument::fromJson(line.left(line.indexOf('\n'))).object();
        if (!announce.contains(QStringLiteral("ca")))
            return false;
        qputenv("TAVLON_LOCAL_SERVICE_CA", announce.value(QStringLiteral("ca")).toString().toLocal8Bit());
        return QProcess::execute(QStringLiteral(SIGN_IN), {tools}) == 0;
    }
    ~SignInStandin()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }

private:
    QProcess m_server;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 11;
    SignInStandin standin;
    if (!standin.start()) {
        std::fprintf(stderr, "the demo editor could not be signed in against the sign-in stand-in\n");
        return 1;
    }
    const QString tavlon = QStringLiteral(TAVLON_APP);
    const QString empty = QStringLiteral(EMPTY_WINDOW);
    const QString text = QStringLiteral(TEXT_WINDOW);
    firstPaintMs(tavlon); // warm the file cache for all three
    firstPaintMs(empty);
    firstPaintMs(text);
    std::vector<double> a, b, c;
    for (int i = 0; i < runs; ++i) {
        const double app = firstPaintMs(tavlon);
        const double ref = firstPaintMs(empty);
        const double floor = firstPaintMs(text);
        if (app < 0 || ref < 0 || floor < 0) {
            std::fprintf(stderr, "a program did not report its first paint\n");
            return 1;
        }
        a.push_back(app);
        b.push_back(ref);
        c.push_back(floor);
    }
    const double ma = median(a), mb = median(b), mc = median(c);
    // The text window is context, not the goal: how much of the ratio any
    // window drawing the same fonts pays on this machine.
    std::printf("startup: application %.1f ms, empty window %.1f ms, window with only the first frame's fonts %.1f ms "
                "(%.2f) (medians of %d), ratio %.2f (goal <= 1.50)\n",
                ma, mb, mc, mc / mb, runs, ma / mb);
    return 0;
}
