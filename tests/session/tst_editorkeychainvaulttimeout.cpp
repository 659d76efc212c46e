// A secret store that never answers: the session bus of this process is a
// socket that accepts connections and stays silent, so every store call
// hangs the way a store waiting on an invisible unlock prompt does. The
// vault must give up on its own and report its one sentence.
//
// A program of its own: the store's bus connection is made once per process.
#include "awaittask.h"
#include "fakeauthapi.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorkeychainvault.h"
#include "session/editorsession.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

constexpr std::chrono::milliseconds kShortTimeout{300};

using Call = std::function<QCoro::Task<void>(EditorKeychainVault &)>;

QCoro::Task<void> doRead(EditorKeychainVault &vault) { co_await vault.read(); }
QCoro::Task<void> doWrite(EditorKeychainVault &vault) { co_await vault.write(QByteArrayLiteral("{}")); }
QCoro::Task<void> doRemove(EditorKeychainVault &vault) { co_await vault.remove(); }

} // namespace

class TestEditorKeychainVaultTimeout : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QLocalServer bus;
    QList<QPointer<QLocalSocket>> clients;

    // Every client that knocked is still waiting for the bus to answer: the
    // failure came from the vault's own time-out, not from the store.
    bool clientsStillWaiting() const
    {
        if (clients.isEmpty())
            return false;
        for (const QPointer<QLocalSocket> &client : clients)
            if (!client || client->state() != QLocalSocket::ConnectedState)
                return false;
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("bus"));
        QVERIFY(bus.listen(path));
        connect(&bus, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *client = bus.nextPendingConnection()) {
                clients << client;
                // Read and drop what the client says; never reply.
                connect(client, &QLocalSocket::readyRead, client, [client] { client->readAll(); });
            }
        });
        // Before anything in this process opens the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(path));
    }

    void unansweredCallFails_data()
    {
        QTest::addColumn<QString>("call");
        QTest::newRow("read") << QStringLiteral("read");
        QTest::newRow("write") << QStringLiteral("write");
        QTest::newRow("remove") << QStringLiteral("remove");
    }

    void unansweredCallFails()
    {
        QFETCH(QString, call);
        const QMap<QString, Call> calls{{"read", doRead}, {"write", doWrite}, {"remove", doRemove}};
        EditorKeychainVault vault(QStringLiteral("film.tavlon.editor.session.test.timeout"), kShortTimeout);
        QString message;
        try {
            TestAwait::run(calls.value(call)(vault));
        } catch (const BridgeError &error) {
            message = error.message();
        }
        QCOMPARE(message, EditorKeychainVault::failureMessage());
        QVERIFY(clientsStillWaiting());
    }

    void restoreReportsTheStoreAndCanBeRetried()
    {
        auto api = std::make_shared<FakeAuthAPI>();
        EditorSession session(
            [] {
                return EditorAuthConfiguration{QUrl(QStringLiteral("https://auth.example.test")),
                                               QStringLiteral("key"), QStringLiteral("auth.example.test")};
            },
            api);
        session.setVaultFactory([](const QString &service) {
            return std::make_shared<EditorKeychainVault>(service, kShortTimeout);
        });
        TestAwait::run(session.restore());
        QVERIFY(!session.busy());
        QCOMPARE(session.issue(), EditorKeychainVault::failureMessage());
        QVERIFY(session.canRetryRestore());
        QVERIFY(api->calls.isEmpty());
        QVERIFY(clientsStillWaiting());
    }
};

QTEST_GUILESS_MAIN(TestEditorKeychainVaultTimeout)
#include "tst_editorkeychainvaulttimeout.moc"
