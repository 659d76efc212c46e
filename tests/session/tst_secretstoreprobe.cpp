// Whether a secret store exists on a bus, against buses the test starts with a configuration of
// its own (nothing of the machine's session bus or its service files), and the sentence the vault
// gives when there is no bus at all.
#include "awaittask.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorkeychainvault.h"
#include "session/secretstoreprobe.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSecretStoreProbe : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_buses = 0;

    // A bus with its own configuration; `onDemand` names services it would start.
    QString startBus(const QStringList &onDemand, QProcess &daemon)
    {
        const QString id = QString::number(++m_buses);
        const QString services = m_dir.filePath(QStringLiteral("services-") + id);
        QDir().mkpath(services);
        for (const QString &name : onDemand) {
            QFile file(services + QLatin1Char('/') + name + QStringLiteral(".service"));
            if (!file.open(QIODevice::WriteOnly))
                return {};
            file.write("[D-BUS Service]\nName=" + name.toUtf8() + "\nExec=/bin/false\n");
        }
        QFile config(m_dir.filePath(QStringLiteral("bus-") + id + QStringLiteral(".conf")));
        if (!config.open(QIODevice::WriteOnly))
            return {};
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen>"
                                    "<auth>EXTERNAL</auth><servicedir>%2</servicedir>"
                                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                    "<allow eavesdrop=\"true\"/>"
                                    "<allow own=\"*\"/></policy></busconfig>")
                         .arg(m_dir.filePath(QStringLiteral("bus-") + id), services)
                         .toUtf8());
        config.close();
        daemon.setProgram(QStringLiteral("dbus-daemon"));
        daemon.setArguments({QStringLiteral("--config-file"), config.fileName(), QStringLiteral("--nofork"),
                             QStringLiteral("--print-address=1")});
        daemon.setProcessChannelMode(QProcess::SeparateChannels);
        daemon.start();
        if (!daemon.waitForReadyRead(10000))
            return {};
        return QString::fromUtf8(daemon.readLine()).trimmed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
    }

    void storeOnTheBus_data()
    {
        QTest::addColumn<QStringList>("onDemand");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<bool>("present");
        QTest::newRow("bus without a store") << QStringList() << QStringList() << false;
        QTest::newRow("unrelated services only") << QStringList{"org.example.other"} << QStringList{"org.example.x"}
                                                 << false;
        QTest::newRow("Secret Service started on demand") << QStringList{"org.freedesktop.secrets"} << QStringList()
                                                          << true;
        QTest::newRow("Secret Service running") << QStringList() << QStringList{"org.freedesktop.secrets"} << true;
        QTest::newRow("KWallet running") << QStringList() << QStringList{"org.kde.kwalletd6"} << true;
    }
    void storeOnTheBus()
    {
        QFETCH(QStringList, onDemand);
        QFETCH(QStringList, running);
        QFETCH(bool, present);
        QProcess daemon;
        const QString address = startBus(onDemand, daemon);
        QVERIFY(!address.isEmpty());
        const QString owner = QStringLiteral("probe-owner-") + QString::number(m_buses);
        {
            QDBusConnection ownerBus = QDBusConnection::connectToBus(address, owner);
            QVERIFY(ownerBus.isConnected());
            for (const QString &name : running)
                QVERIFY(ownerBus.registerService(name));
            QCOMPARE(TestAwait::run(SecretStoreProbe::present(address)), present);
        }
        QDBusConnection::disconnectFromBus(owner);
        daemon.kill();
        daemon.waitForFinished();
    }

    void noBusAtAll()
    {
        QVERIFY(!TestAwait::run(SecretStoreProbe::present(QStringLiteral("unix:path=") + m_dir.filePath("none"))));
    }

    // The whole road: without a session bus the store cannot even be asked, and the person is
    // told that there is no keyring rather than to unlock one.
    void vaultWithoutABusSaysTheStoreIsMissing()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_dir.filePath(QStringLiteral("no-bus")).toUtf8());
        EditorKeychainVault vault(QStringLiteral("film.tavlon.editor.session.test.probe"));
        QString message;
        try {
            TestAwait::run(vault.write("x"));
        } catch (const BridgeError &error) {
            message = error.message();
        }
        QCOMPARE(message, EditorKeychainVault::missingMessage());
        QVERIFY(message != EditorKeychainVault::failureMessage());
    }
};

QTEST_GUILESS_MAIN(TestSecretStoreProbe)
#include "tst_secretstoreprobe.moc"
