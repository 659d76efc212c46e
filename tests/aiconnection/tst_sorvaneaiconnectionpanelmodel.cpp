// The AI connection panel's rules with an injected load: which outcome shows what, the silent end
// of a run that is no longer the panel's own, the runner's time-out, copying and the start message.
#include "aiconnection/sorvaneaiconnectionpanelmodel.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QtTest>
#include <qcoro/qcorosignal.h>

using Model = SorvaneAIConnectionPanelModel;
using Configuration = SorvaneAIConnectionConfiguration;

namespace {

const QString kInbox = QStringLiteral("/media/disk/Kunde");
const QString kTimedOut =
    QStringLiteral("Det lokale værktøj svarede ikke i tide og blev stoppet. Intet blev godkendt eller leveret.");

// One load the test answers when it likes: an answer, or a thrown error.
class Gate : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    Configuration answer;
    QString failure; // a BridgeError text
    bool cancelled = false; // throw a cancellation
    void release() { Q_EMIT released(); }
Q_SIGNALS:
    void released();
};

QCoro::Task<Configuration> heldLoad(Gate *gate)
{
    ++gate->calls;
    co_await qCoro(gate, &Gate::released);
    if (gate->cancelled)
        throw OperationCancelled();
    if (gate->failure == u"<unreadable>") // the tool's answer is not a configuration
        co_return Configuration::decode(R"({"name": "tavlon-film-editor", "check": {}})");
    if (!gate->failure.isEmpty())
        throw BridgeError::failed(gate->failure);
    co_return Configuration(gate->answer);
}

Configuration configuration(const QString &state, const QString &inbox = kInbox)
{
    Configuration c;
    c.name = QStringLiteral("tavlon-film-editor");
    c.command = QStringLiteral("/usr/bin/python3");
    c.inbox = inbox;
    c.toml = QStringLiteral("[mcp_servers.tavlon-film-editor]\n");
    c.arguments = {QStringLiteral("-B"), QStringLiteral("server.py"), QStringLiteral("--inbox")};
    c.check.state = state;
    c.check.toolCount = 3;
    return c;
}

} // namespace

class TestSorvaneAIConnectionPanelModel : public QObject
{
    Q_OBJECT

    Gate gate;
    QStringList clipboard;
    bool clipboardRefuses = false;
    QString storageFailure;

    std::unique_ptr<Model> makeModel(std::optional<QString> requestID = std::nullopt)
    {
        Model::Target target{QStringLiteral("/tools"), QUrl::fromLocalFile(kInbox), requestID, [this] {
                                 if (!storageFailure.isEmpty())
                                     throw BridgeError::failed(storageFailure);
                             }};
        return std::make_unique<Model>(
            target,
            [this](const QString &text) {
                if (clipboardRefuses)
                    return false;
                clipboard << text;
                return true;
            },
            [this](Model::Target, CancellationToken) { return heldLoad(&gate); });
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init()
    {
        gate.calls = 0;
        gate.answer = configuration(QStringLiteral("ready"));
        gate.failure.clear();
        gate.cancelled = false;
        clipboard.clear();
        clipboardRefuses = false;
        storageFailure.clear();
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("inbox");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("storage");
        QTest::addColumn<bool>("hasConfiguration");
        QTest::addColumn<bool>("connection");
        QTest::addColumn<QString>("error");
        const QString changed = QStringLiteral("Projektplaceringen er ændret. Åbn opgaven igen.");
        QTest::newRow("ready") << "ready" << kInbox << "" << false << "" << true << true << "";
        QTest::newRow("timeout state") << "timeout" << kInbox << "" << false << "" << true << false << "";
        QTest::newRow("trailing slash") << "ready" << kInbox + "/" << "" << false << "" << false << false << changed;
        QTest::newRow("tool error") << "" << kInbox << "Vælg Tavlon-mappen med de lokale klippeværktøjer." << false
                                    << "" << false << false << "Vælg Tavlon-mappen med de lokale klippeværktøjer.";
        QTest::newRow("runner time-out") << "" << kInbox << kTimedOut << false << "" << false << false
                                         << "Forbindelsestesten tog for lang tid. Prøv igen.";
        QTest::newRow("cancelled underneath") << "" << kInbox << "" << true << "" << false << false << "";
        QTest::newRow("unreadable answer") << "" << kInbox << "<unreadable>" << false << "" << false << false
                                           << "Svaret kunne ikke læses, fordi det ikke har det rigtige format.";
        QTest::newRow("folder no longer active") << "" << kInbox << "" << false << changed << false << false << changed;
    }
    void outcomes()
    {
        QFETCH(QString, state);
        QFETCH(QString, inbox);
        QFETCH(QString, failure);
        QFETCH(bool, cancelled);
        QFETCH(QString, storage);
        QFETCH(bool, hasConfiguration);
        QFETCH(bool, connection);
        QFETCH(QString, error);
        gate.answer = configuration(state, inbox);
        gate.failure = failure;
        gate.cancelled = cancelled;
        storageFailure = storage;
        auto model = makeModel();
        model->check();
        if (storage.isEmpty()) {
            QVERIFY(model->busy());
            QCOMPARE(gate.calls, 1);
            gate.release();
        }
        QTRY_VERIFY(!model->busy());
        QCOMPARE(gate.calls, storage.isEmpty() ? 1 : 0);
        QCOMPARE(model->configuration().has_value(), hasConfiguration);
        QCOMPARE(model->showsConnection(), connection);
        QCOMPARE(model->error().value_or(QString()), error);
    }

    // Closing, or a new attempt, ends the running check without a trace; a new check keeps the
    // copy confirmation but hides the earlier result while it runs.
    void runsThatAreNoLongerThePanelsOwn()
    {
        auto model = makeModel();
        model->check();
        gate.release();
        QTRY_VERIFY(model->configuration().has_value());
        model->copy(model->configuration()->command, QStringLiteral("Kopieret: Kommando"));
        QCOMPARE(clipboard, QStringList{"/usr/bin/python3"});
        clipboardRefuses = true;
        model->copy(QStringLiteral("x"), QStringLiteral("other"));
        QCOMPARE(model->copied().value_or(QString()), QStringLiteral("Kopieret: Kommando"));

        gate.failure = kTimedOut;
        model->check();
        QVERIFY(model->busy());
        QVERIFY(!model->configuration());
        QCOMPARE(model->copied().value_or(QString()), QStringLiteral("Kopieret: Kommando"));
        model->check(); // supersedes the first, which then times out
        gate.release();
        QTRY_VERIFY(!model->busy());
        QCOMPARE(gate.calls, 3);
        QCOMPARE(model->error().value_or(QString()), QStringLiteral("Forbindelsestesten tog for lang tid. Prøv igen."));

        model->check();
        model->close();
        QVERIFY(!model->busy());
        gate.release();
        QTest::qWait(20);
        QVERIFY(!model->error());
        QVERIFY(!model->busy());
    }

    void startMessage_data()
    {
        QTest::addColumn<QVariant>("requestID");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("no task") << QVariant() << "Vis de hentede filmopgaver, og lad mig vælge opgaven først.";
        QTest::newRow("open task") << QVariant("Req-7 b") << "Brug opgaven med requestID Req-7 b.";
    }
    void startMessage()
    {
        QFETCH(QVariant, requestID);
        QFETCH(QString, firstLine);
        const QString message = Model::startMessage(requestID.isValid() ? std::optional<QString>(requestID.toString())
                                                                        : std::nullopt);
        QVERIFY(message.startsWith(firstLine + QLatin1Char('\n') + QStringLiteral("Brug Tavlon MCP: list_local_tasks,")));
        QVERIFY(message.endsWith(QStringLiteral("kunderettelser du har fundet.")));
        QCOMPARE(message.count(QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(TestSorvaneAIConnectionPanelModel)
#include "tst_sorvaneaiconnectionpanelmodel.moc"
