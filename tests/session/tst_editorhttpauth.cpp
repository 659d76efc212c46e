// The authentication client against a scripted local HTTPS server that logs
// every request it receives: addresses, headers, bodies, status and size rules.
#include "awaittask.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorhttpauth.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

const char *kTransport = "Kan ikke forbinde til Tavlon. Kontrollér forbindelsen og prøv igen.";
const char *kStatus = "Login kunne ikke bekræftes. Kontrollér e-mail og adgangskode, eller prøv igen.";
const char *kSize = "Login gav et ugyldigt svar.";

using Operation = std::function<QCoro::Task<void>(EditorHTTPAuth &)>;

// Runs one operation and names how it ended.
QString outcome(EditorHTTPAuth &auth, const Operation &operation)
{
    try {
        TestAwait::run(operation(auth));
    } catch (const BridgeError &error) {
        return error.message();
    } catch (const DecodingError &) {
        return QStringLiteral("<decoding>");
    } catch (const OperationCancelled &) {
        return QStringLiteral("<cancelled>");
    }
    return QStringLiteral("<ok>");
}

QCoro::Task<void> doLogout(EditorHTTPAuth &a) { co_await a.logout(QStringLiteral("tok")); }
QCoro::Task<void> doRecover(EditorHTTPAuth &a) { co_await a.requestPasswordCode(QStringLiteral("e@x.dk")); }
QCoro::Task<void> doUser(EditorHTTPAuth &a) { co_await a.user(QStringLiteral("tok")); }
QCoro::Task<void> doLogin(EditorHTTPAuth &a) { co_await a.login(QStringLiteral("e@x.dk"), QStringLiteral(" pw ")); }
QCoro::Task<void> doRefresh(EditorHTTPAuth &a) { co_await a.refresh(QStringLiteral("ref")); }
QCoro::Task<void> doVerify(EditorHTTPAuth &a) { co_await a.verifyPasswordCode(QStringLiteral("e@x.dk"), QStringLiteral("123456")); }
QCoro::Task<void> doSetPassword(EditorHTTPAuth &a) { co_await a.setPassword(QStringLiteral("new password"), QStringLiteral("tok")); }

Operation operationFromRaw(const QString &name)
{
    static const QMap<QString, Operation> table{
        {"login", doLogin}, {"refresh", doRefresh}, {"user", doUser}, {"logout", doLogout},
        {"recover", doRecover}, {"verify", doVerify}, {"setPassword", doSetPassword}};
    return table.value(name);
}

} // namespace

class TestEditorHTTPAuth : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess server;
    int port = 0;

    QString logPath() const { return dir.filePath(QStringLiteral("requests.jsonl")); }

    EditorHTTPAuth client(const QString &prefix = {})
    {
        return EditorHTTPAuth({QUrl(QStringLiteral("https://127.0.0.1:%1/%2").arg(port).arg(prefix)),
                               QStringLiteral("publishable-key"), QStringLiteral("127.0.0.1")});
    }

    QList<QJsonObject> requests() const
    {
        QFile file(logPath());
        QList<QJsonObject> list;
        if (!file.open(QIODevice::ReadOnly))
            return list;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                list << QJsonDocument::fromJson(line).object();
        return list;
    }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY(dir.isValid());
        server.setProgram(QStringLiteral("python3"));
        server.setArguments({QStringLiteral(TAVLON_SOURCE_DIR "/tests/session/fixtures/auth_fixture.py"),
                             QStringLiteral("--tooling"), QStringLiteral(TAVLON_SOURCE_TOOLING),
                             QStringLiteral("--tls-folder"), dir.filePath(QStringLiteral("tls")),
                             QStringLiteral("--log"), logPath()});
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start();
        QVERIFY(server.waitForReadyRead(30000));
        const QJsonObject hello = QJsonDocument::fromJson(server.readLine()).object();
        port = hello.value(QStringLiteral("port")).toInt();
        QVERIFY(port > 0);
        qputenv(EditorHTTPAuth::localCAVariable, hello.value(QStringLiteral("ca")).toString().toLocal8Bit());
    }

    void cleanupTestCase()
    {
        server.terminate();
        server.waitForFinished(5000);
    }

    void init() { QFile::remove(logPath()); }

    void statusRule_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("expected");
        QTest::newRow("200") << "status/200" << "<ok>";
        QTest::newRow("299") << "status/299" << "<ok>";
        QTest::newRow("300") << "status/300" << kStatus;
        QTest::newRow("400") << "status/400" << kStatus;
        QTest::newRow("401") << "status/401" << kStatus;
        QTest::newRow("403") << "status/403" << kStatus;
        QTest::newRow("404") << "status/404" << kStatus;
        QTest::newRow("418") << "status/418" << kStatus;
        QTest::newRow("422") << "status/422" << kStatus;
        QTest::newRow("503") << "status/503" << kStatus;
        QTest::newRow("500") << "status/500" << kStatus;
        QTest::newRow("32768 bytes") << "size/32768" << "<ok>";
        QTest::newRow("32769 bytes") << "size/32769" << kSize;
        QTest::newRow("oversized refusal") << "status/400/size/40000" << kStatus;
        QTest::newRow("redirect") << "redirect" << kStatus;
    }

    void statusRule()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, expected);
        EditorHTTPAuth auth = client(prefix);
        QCOMPARE(outcome(auth, doLogout), expected);
        // Exactly one request: a redirect target is never contacted.
        const auto log = requests();
        QCOMPARE(log.size(), 1);
        QVERIFY(!log.first().value(QStringLiteral("path")).toString().startsWith(QStringLiteral("/target")));
    }

    void oversizedAnswerFailsBeforeDecoding()
    {
        EditorHTTPAuth auth = client(QStringLiteral("size/32769"));
        QCOMPARE(outcome(auth, doUser), QString::fromUtf8(kSize));
    }

    void emptyAnswer_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("expected");
        QTest::newRow("logout") << "logout" << "<ok>";
        QTest::newRow("recover") << "recover" << "<ok>";
        QTest::newRow("user") << "user" << "<decoding>";
    }

    void emptyAnswer()
    {
        QFETCH(QString, operation);
        QFETCH(QString, expected);
        EditorHTTPAuth auth = client(QStringLiteral("status/204/body/empty"));
        QCOMPARE(outcome(auth, operationFromRaw(operation)), expected);
    }

    void requestShapes_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("bearer");
        QTest::addColumn<QString>("body"); // compact JSON with sorted keys; "-" for none
        QTest::newRow("login") << "login" << "POST" << "/body/tokens/auth/v1/token?grant_type=password" << ""
                               << R"({"email":"e@x.dk","password":" pw "})";
        QTest::newRow("refresh") << "refresh" << "POST" << "/body/tokens/auth/v1/token?grant_type=refresh_token"
                                 << "" << R"({"refresh_token":"ref"})";
        QTest::newRow("user") << "user" << "GET" << "/body/tokens/auth/v1/user" << "Bearer tok" << "-";
        QTest::newRow("logout") << "logout" << "POST" << "/body/tokens/auth/v1/logout?scope=local" << "Bearer tok"
                                << "{}";
        QTest::newRow("recover") << "recover" << "POST" << "/body/tokens/auth/v1/recover" << ""
                                 << R"({"email":"e@x.dk"})";
        QTest::newRow("verify") << "verify" << "POST" << "/body/tokens/auth/v1/verify" << ""
                                << R"({"email":"e@x.dk","token":"123456","type":"recovery"})";
        QTest::newRow("set password") << "setPassword" << "PUT" << "/body/tokens/auth/v1/user" << "Bearer tok"
                                      << R"({"password":"new password"})";
    }

    void requestShapes()
    {
        QFETCH(QString, operation);
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QString, bearer);
        QFETCH(QString, body);
        // The tokens body decodes as a user too (its extra keys are ignored)… but
        // not the other way round, so every operation gets the tokens body.
        EditorHTTPAuth auth = client(QStringLiteral("body/tokens"));
        const QString result = outcome(auth, operationFromRaw(operation));
        QVERIFY2(result == QLatin1String("<ok>") || result == QLatin1String("<decoding>"), qPrintable(result));

        const auto log = requests();
        QCOMPARE(log.size(), 1);
        const QJsonObject request = log.first();
        const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
        QCOMPARE(request.value(QStringLiteral("method")).toString(), method);
        QCOMPARE(request.value(QStringLiteral("path")).toString(), path);
        QCOMPARE(headers.value(QStringLiteral("apikey")).toString(), QStringLiteral("publishable-key"));
        QCOMPARE(headers.value(QStringLiteral("content-type")).toString(), QStringLiteral("application/json"));
        QCOMPARE(headers.value(QStringLiteral("authorization")).toString(), bearer);
        QVERIFY(!headers.contains(QStringLiteral("cookie")));
        const QString sent = request.value(QStringLiteral("body")).toString();
        if (body == QLatin1String("-")) {
            QVERIFY(sent.isEmpty());
        } else {
            const QJsonObject sentObject = QJsonDocument::fromJson(sent.toUtf8()).object();
            QCOMPARE(QString::fromUtf8(QJsonDocument(sentObject).toJson(QJsonDocument::Compact)), body);
        }
    }

    void cookiesAreNeverSentBack()
    {
        EditorHTTPAuth auth = client();
        QCOMPARE(outcome(auth, doLogout), QStringLiteral("<ok>"));
        QCOMPARE(outcome(auth, doLogout), QStringLiteral("<ok>"));
        const auto log = requests();
        QCOMPARE(log.size(), 2);
        QVERIFY(!log.last().value(QStringLiteral("headers")).toObject().contains(QStringLiteral("cookie")));
    }

    void tokenAnswers_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("complete") << "tokens" << true;
        QTest::newRow("no refresh token") << "tokens-no-refresh" << false;
        QTest::newRow("user without id") << "tokens-user-no-id" << false;
        QTest::newRow("null e-mail") << "tokens-null-email" << true;
    }

    void tokenAnswers()
    {
        QFETCH(QString, body);
        QFETCH(bool, decodes);
        EditorHTTPAuth auth = client(QStringLiteral("body/") + body);
        try {
            const EditorAuthTokens tokens = TestAwait::run(auth.login(QStringLiteral("e"), QStringLiteral("p")));
            QVERIFY(decodes);
            QCOMPARE(tokens.user.id, QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")));
            QCOMPARE(tokens.user.email.has_value(), body == QLatin1String("tokens"));
        } catch (const DecodingError &) {
            QVERIFY(!decodes);
        }
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no slash") << "https://h.example" << "user" << "https://h.example/auth/v1/user";
        QTest::newRow("slash") << "https://h.example/" << "user" << "https://h.example/auth/v1/user";
        QTest::newRow("query") << "https://h.example/" << "logout?scope=local"
                               << "https://h.example/auth/v1/logout?scope=local";
        QTest::newRow("base path") << "https://h.example/api" << "token?grant_type=password"
                                   << "https://h.example/api/auth/v1/token?grant_type=password";
        QTest::newRow("base path slash") << "https://h.example/api/" << "recover" << "https://h.example/api/auth/v1/recover";
    }

    void addresses()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(EditorHTTPAuth::address(QUrl(base), path).toString(), expected);
    }

    void trailingSlashMakesNoDifferenceOnTheWire()
    {
        EditorHTTPAuth without({QUrl(QStringLiteral("https://127.0.0.1:%1").arg(port)), QStringLiteral("k"), {}});
        EditorHTTPAuth with({QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(port)), QStringLiteral("k"), {}});
        QCOMPARE(outcome(without, doLogout), QStringLiteral("<ok>"));
        QCOMPARE(outcome(with, doLogout), QStringLiteral("<ok>"));
        const auto log = requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.first().value(QStringLiteral("path")), log.last().value(QStringLiteral("path")));
    }

    void transportFailures()
    {
        // Nobody listens on a port we just closed.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 unused = closed.serverPort();
        closed.close();
        EditorHTTPAuth nowhere({QUrl(QStringLiteral("https://127.0.0.1:%1").arg(unused)), QStringLiteral("k"), {}});
        QCOMPARE(outcome(nowhere, doLogout), QString::fromUtf8(kTransport));

        // Without the local authority the certificate is not trusted: verification stays on.
        const QByteArray ca = qgetenv(EditorHTTPAuth::localCAVariable);
        qunsetenv(EditorHTTPAuth::localCAVariable);
        EditorHTTPAuth untrusted = client();
        QCOMPARE(outcome(untrusted, doLogout), QString::fromUtf8(kTransport));
        qputenv(EditorHTTPAuth::localCAVariable, ca);
    }

    // A connection kept for the next request is closed while the application
    // quits: left to the manager's end, after the application object, its
    // TLS clean-up ran against no application (a null connect at every quit).
    void keptConnectionClosesAtQuit()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        QPointer<QTcpSocket> peer;
        QByteArray asked;
        connect(&plain, &QTcpServer::newConnection, this, [&] {
            peer = plain.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [&] {
                asked += peer->readAll();
                if (asked.contains("\r\n\r\n"))
                    peer->write("HTTP/1.1 204 No Content\r\nConnection: keep-alive\r\n\r\n");
            });
        });
        EditorHTTPAuth auth({QUrl(QStringLiteral("http://127.0.0.1:%1").arg(plain.serverPort())), QStringLiteral("k"), {}});
        QCOMPARE(outcome(auth, doLogout), QStringLiteral("<ok>"));
        QVERIFY(peer);
        QTest::qWait(50);
        QCOMPARE(peer->state(), QAbstractSocket::ConnectedState);
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        QTRY_VERIFY(!peer || peer->state() == QAbstractSocket::UnconnectedState);
    }

    void cancellationIsNotATransportFailure()
    {
        EditorHTTPAuth auth = client();
        CancellationToken cancel;
        auto task = auth.logout(QStringLiteral("tok"), cancel);
        cancel.cancel();
        try {
            TestAwait::run(std::move(task));
            QFAIL("finished despite cancellation");
        } catch (const OperationCancelled &) {
        }
        CancellationToken already;
        already.cancel();
        QCOMPARE(outcome(auth, [&](EditorHTTPAuth &a) { return a.logout(QStringLiteral("tok"), already); }),
                 QStringLiteral("<cancelled>"));
    }
};

QTEST_GUILESS_MAIN(TestEditorHTTPAuth)
#include "tst_editorhttpauth.moc"
