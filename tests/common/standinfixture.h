#pragma once

// The local stand-in service for integration tests: a private copy of the
// tools folder with fresh demo content and the HTTPS sign-in stand-in running
// on a free loopback port, its certificate authority trusted through
// TAVLON_LOCAL_SERVICE_CA. Stopped when the fixture goes. Link tavlon_session.
//
//     StandinFixture standin;
//     QVERIFY2(standin.start(), qPrintable(standin.failure()));
//
// Blocking waits are fine here: they run before the code under test, never
// inside it.
#include "session/editorhttpauth.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

class StandinFixture
{
public:
    static constexpr const char *demoEmail = "editor@example.com";
    static constexpr const char *secondEmail = "second.editor@example.com";
    static constexpr const char *demoPassword = "Tavlon-demo-2026";

    StandinFixture() = default;
    StandinFixture(const StandinFixture &) = delete;
    StandinFixture &operator=(const StandinFixture &) = delete;

    ~StandinFixture()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(2000);
            }
        }
    }

    // Copies the tools folder, resets the demo and starts the sign-in stand-in.
    bool start()
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary directory"));
        m_tools = m_dir.filePath(QStringLiteral("tooling"));
        if (!runBlocking(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral(TAVLON_SOURCE_TOOLING), m_tools}))
            return false;
        // A checkout that ran the stand-in itself has state of its own; never share it.
        QDir(var()).removeRecursively();
        if (!reset())
            return false;

        m_server.setProgram(QStringLiteral("python3"));
        m_server.setArguments({m_tools + QStringLiteral("/standin/auth_server.py"), QStringLiteral("--tools-folder"),
                               m_tools, QStringLiteral("--port"), QStringLiteral("0"),
                               QStringLiteral("--write-config")});
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start();
        if (!m_server.waitForStarted(30000))
            return fail(QStringLiteral("the sign-in stand-in did not start: ") + m_server.errorString());
        while (!m_server.canReadLine()) {
            if (!m_server.waitForReadyRead(60000))
                return fail(QStringLiteral("the sign-in stand-in printed no address"));
        }
        const QJsonObject hello = QJsonDocument::fromJson(m_server.readLine()).object();
        m_port = hello.value(QStringLiteral("port")).toInt();
        m_ca = hello.value(QStringLiteral("ca")).toString();
        if (m_port <= 0 || m_ca.isEmpty())
            return fail(QStringLiteral("unexpected first line of the sign-in stand-in"));
        qputenv(EditorHTTPAuth::localCAVariable, QFile::encodeName(m_ca));
        return true;
    }

    // The demo content again (the server keeps running).
    bool reset()
    {
        return runBlocking(QStringLiteral("python3"),
                           {m_tools + QStringLiteral("/standin/reset.py"), QStringLiteral("--tools-folder"), m_tools});
    }

    // Replaces var/scenario.json: {"commands": {<command>: <rule>, …}}.
    bool setScenario(const QJsonObject &commands)
    {
        QFile file(var() + QStringLiteral("/scenario.json"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot write the scenario"));
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("commands"), commands}}).toJson());
        return true;
    }

    void clearScenario()
    {
        QFile::remove(var() + QStringLiteral("/scenario.json"));
        QFile::remove(var() + QStringLiteral("/scenario_hits.json"));
    }

    // Runs a SQL statement on the stand-in's state (a test's way to age or
    // forge something the service would never hand out itself).
    bool execSql(const QString &statement)
    {
        const QString script = QStringLiteral(
            "import sqlite3, sys\n"
            "c = sqlite3.connect(sys.argv[1])\n"
            "c.execute(sys.argv[2])\n"
            "c.commit()\n");
        return runBlocking(QStringLiteral("python3"),
                           {QStringLiteral("-c"), script, var() + QStringLiteral("/standin.sqlite3"), statement});
    }

    const QString &toolsFolder() const { return m_tools; }
    QString var() const { return m_tools + QStringLiteral("/var"); }
    QString scratch(const QString &name) const { return m_dir.filePath(name); }
    int port() const { return m_port; }
    const QString &caPath() const { return m_ca; }
    const QString &failure() const { return m_failure; }

private:
    bool fail(const QString &why)
    {
        m_failure = why;
        return false;
    }

    bool runBlocking(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return fail(program + QLatin1Char(' ') + arguments.value(0) + QStringLiteral(" failed: ")
                        + QString::fromUtf8(process.readAll()));
        return true;
    }

    QTemporaryDir m_dir;
    QString m_tools;
    QProcess m_server;
    int m_port = 0;
    QString m_ca;
    QString m_failure;
};
