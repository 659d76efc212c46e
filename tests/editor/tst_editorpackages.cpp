// Opening packages, preparing hand-offs, listing and restoring cloud
// backups through the editor model, against scripted tool answers: which
// command runs with which arguments, what is written, and what a missing
// precondition leaves untouched.
#include <QtTest>

#include "editor/editormodel.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"

#include <qcoro/qcorosignal.h>

namespace {

class Gate : public QObject
{
    Q_OBJECT
public:
    void open()
    {
        Q_EMIT opened();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
Q_SIGNALS:
    void opened();
};

// Answers by command kind and records every command that ran.
struct ScriptedTools
{
    QHash<BridgeCommand::Kind, QByteArray> answers;
    QList<BridgeCommand> ran;
    QSet<BridgeCommand::Kind> held;
    Gate gate;
};

QByteArray summaryJson(const QString &id, const QString &kind)
{
    const QString request = kind.isEmpty() ? QString()
        : QStringLiteral(R"(, "serviceRequest": {"schemaVersion": 1, "kind": "%1", "instructions": "i", "deliverable": "d"})").arg(kind);
    return QStringLiteral(R"({"packageID": "%1", "projectID": "p", "title": "Film %1", "fingerprint": "fp-%1",
        "referencedFileCount": 1, "referencedBytes": 10, "counts": {"usable": 1, "context": 0, "rejected": 0}%2})")
        .arg(id, request).toUtf8();
}

QByteArray inventoryJson(const QList<QByteArray> &summaries)
{
    return "{\"packages\": [" + QByteArrayList(summaries).join(',') + "], \"invalidPackages\": []}";
}

QByteArray contextJson(const QByteArray &summary)
{
    return "{\"summary\": " + summary + R"(, "masterprompt": "m", "candidates": [], "notice": ""})";
}

const QByteArray handoffJson = R"({"handoffID": "h", "folder": "/tmp/h", "clipCount": 2, "notices": []})";
const QByteArray listingJson = R"({"companyID": "listed-company", "backups": [{"id": "b-1",
    "local_project_id": "project-1", "revision": 3, "completed_at": "2026-01-02T03:04:05Z"}]})";

QByteArray restoredJson(bool verified, const QString &backupID = QStringLiteral("b-1"),
                        const QString &companyID = QStringLiteral("listed-company"))
{
    return QStringLiteral(R"({"companyID": "%2", "backupID": "%3", "folder": "f", "verified": %1})")
        .arg(verified ? QStringLiteral("true") : QStringLiteral("false"), companyID, backupID)
        .toUtf8();
}

const QUrl session(QStringLiteral("tavlon-session://1b4e28ba-2fa1-11d2-883f-0016cb7b2c6a"));

enum class Precondition { none, noFolder, noContext, signedOut, noListing, noChosenBackup };
enum class Action { open, prepare, listCloud, download };

} // namespace

class TestEditorPackages : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MemorySettingsStore> m_settings;
    std::shared_ptr<ScriptedTools> m_tools;

    QSharedPointer<EditorModel> makeModel(bool withFolder = true)
    {
        auto store = std::make_shared<ProjectLocationStore>(*m_settings, QString::fromLatin1(ProjectLocationStore::standardPrefix));
        auto tools = m_tools;
        auto model = EditorModel::create(store, {}, [tools](const BridgeCommand &command, const QString &,
                                                            CancellationToken token) -> QCoro::Task<QByteArray> {
            tools->ran << command;
            const BridgeCommand::Kind kind = command.kind();
            if (tools->held.contains(kind))
                co_await qCoro(&tools->gate, &Gate::opened);
            token.throwIfCancelled();
            const QByteArray answer = tools->answers.value(kind);
            co_return answer;
        });
        if (withFolder) {
            model->chooseStorage(QUrl::fromLocalFile(m_dir->path()));
            if (model->storageIssue())
                qFatal("folder refused: %s", qPrintable(*model->storageIssue()));
            settle(*model);
        }
        return model;
    }

    static void settle(const EditorModel &model) { QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), 10000); }

    void openFirst(EditorModel &model)
    {
        model.open(model.inventory().first());
        settle(model);
        QVERIFY(model.context());
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<MemorySettingsStore>();
        m_tools = std::make_shared<ScriptedTools>();
        m_tools->answers[BridgeCommand::Kind::inventory] = inventoryJson({summaryJson(QStringLiteral("a"), QString()),
                                                                          summaryJson(QStringLiteral("b"), QString())});
        m_tools->answers[BridgeCommand::Kind::context] = contextJson(summaryJson(QStringLiteral("a"), QString()));
        m_tools->answers[BridgeCommand::Kind::prepare] = handoffJson;
        m_tools->answers[BridgeCommand::Kind::prepareWriting] = handoffJson;
        m_tools->answers[BridgeCommand::Kind::cloudList] = listingJson;
        m_tools->answers[BridgeCommand::Kind::cloudPull] = restoredJson(true);
    }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void missingPreconditionDoesNothing_data();
    void missingPreconditionDoesNothing();
    void listCloudCompanyArgument_data();
    void listCloudCompanyArgument();
    void prepareChoosesCommandAndLabel_data();
    void prepareChoosesCommandAndLabel();
    void downloadOutcomes_data();
    void downloadOutcomes();
    void secondOpenWhileTheFirstRunsIsIgnored();
    void failedOpenLeavesNoContextOrHandoff();
};

void TestEditorPackages::missingPreconditionDoesNothing_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<Precondition>("missing");
    QTest::newRow("open without a project folder") << Action::open << Precondition::noFolder;
    QTest::newRow("prepare without an opened package") << Action::prepare << Precondition::noContext;
    QTest::newRow("list backups while signed out") << Action::listCloud << Precondition::signedOut;
    QTest::newRow("download while signed out") << Action::download << Precondition::signedOut;
    QTest::newRow("download with a chosen backup but no listing") << Action::download << Precondition::noListing;
    QTest::newRow("download with no backup chosen") << Action::download << Precondition::noChosenBackup;
    QTest::newRow("download without a project folder") << Action::download << Precondition::noFolder;
}

void TestEditorPackages::missingPreconditionDoesNothing()
{
    QFETCH(Action, action);
    QFETCH(Precondition, missing);
    auto model = makeModel(false);
    if (missing != Precondition::signedOut)
        model->accountChanged(session);
    if (missing != Precondition::noFolder) {
        model->chooseStorage(QUrl::fromLocalFile(m_dir->path()));
        settle(*model);
    }
    if (missing != Precondition::noListing)
        model->setCloud(CloudListing::decode(listingJson));
    if (missing != Precondition::noChosenBackup)
        model->setSelectedCloudID(QStringLiteral("b-1"));
    m_tools->ran.clear();
    QSignalSpy changes(model.data(), &EditorModel::stateChanged);

    const PackageSummary package =
        PackageInventory::decode(inventoryJson({summaryJson(QStringLiteral("a"), QString())})).packages.first();
    switch (action) {
    case Action::open: model->open(package); break;
    case Action::prepare: model->prepare(); break;
    case Action::listCloud: model->listCloud(); break;
    case Action::download: model->download(); break;
    }
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(m_tools->ran.size(), 0);
}

void TestEditorPackages::listCloudCompanyArgument_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<std::optional<QString>>("asked");
    QTest::newRow("no company: every company") << QString() << std::optional<QString>();
    QTest::newRow("only spaces and line breaks: every company") << QStringLiteral("  \n\t ") << std::optional<QString>();
    QTest::newRow("surrounding spaces are dropped")
        << QStringLiteral(" 5a0f7e2c-1111-4222-8333-444455556666\n")
        << std::optional<QString>(QStringLiteral("5a0f7e2c-1111-4222-8333-444455556666"));
}

void TestEditorPackages::listCloudCompanyArgument()
{
    QFETCH(QString, company);
    QFETCH(std::optional<QString>, asked);
    auto model = makeModel(false);
    model->accountChanged(session);
    model->setCompany(company);
    m_tools->answers[BridgeCommand::Kind::cloudList] = listingJson;
    model->listCloud();
    settle(*model);
    model->setSelectedCloudID(QStringLiteral("b-1"));

    // A new listing starts from nothing: the old one and its choice go at once.
    m_tools->held << BridgeCommand::Kind::cloudList;
    m_tools->ran.clear();
    model->listCloud();
    QCOMPARE(model->busy(), std::optional<QString>(QStringLiteral("Finder færdige cloudkopier…")));
    QVERIFY(!model->cloud());
    QCOMPARE(model->selectedCloudID(), std::nullopt);
    m_tools->gate.open();
    settle(*model);

    QCOMPARE(m_tools->ran.size(), 1);
    const auto &list = std::get<BridgeCommand::CloudList>(m_tools->ran.first().payload());
    QCOMPARE(list.company, asked);
    QCOMPARE(list.credentials, session);
    QVERIFY(model->cloud());
    QCOMPARE(model->cloud()->companyID, QStringLiteral("listed-company"));
    QCOMPARE(model->error(), std::nullopt);
}

void TestEditorPackages::prepareChoosesCommandAndLabel_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<BridgeCommand::Kind>("command");
    QTest::addColumn<QString>("label");
    const QString editLabel = QStringLiteral("Kontrollerer medier og forbereder klippepakken…");
    QTest::newRow("no service request") << QString() << BridgeCommand::Kind::prepare << editLabel;
    QTest::newRow("film editing") << QStringLiteral("filmEditing") << BridgeCommand::Kind::prepare << editLabel;
    QTest::newRow("concept development") << QStringLiteral("conceptDevelopment") << BridgeCommand::Kind::prepareWriting
                                         << QStringLiteral("Kontrollerer grundlaget og forbereder konceptudvikling…");
    QTest::newRow("script development") << QStringLiteral("scriptDevelopment") << BridgeCommand::Kind::prepareWriting
                                        << QStringLiteral("Kontrollerer grundlaget og forbereder manus og shotliste…");
}

void TestEditorPackages::prepareChoosesCommandAndLabel()
{
    QFETCH(QString, kind);
    QFETCH(BridgeCommand::Kind, command);
    QFETCH(QString, label);
    m_tools->answers[BridgeCommand::Kind::context] = contextJson(summaryJson(QStringLiteral("a"), kind));
    auto model = makeModel();
    openFirst(*model);
    m_tools->held << command;
    m_tools->ran.clear();
    QSignalSpy handoffs(model.data(), &EditorModel::handoffChanged);
    model->prepare();
    QCOMPARE(model->busy(), std::optional<QString>(label));
    m_tools->gate.open();
    settle(*model);

    QCOMPARE(m_tools->ran.size(), 1);
    const BridgeCommand &ran = m_tools->ran.first();
    QCOMPARE(ran.kind(), command);
    QCOMPARE(ran.storageURL(), std::optional<QUrl>(model->inbox()));
    if (command == BridgeCommand::Kind::prepare) {
        const auto &prepare = std::get<BridgeCommand::Prepare>(ran.payload());
        QCOMPARE(prepare.packageID, QStringLiteral("a"));
        QCOMPARE(prepare.fingerprint, QStringLiteral("fp-a"));
        QCOMPARE(prepare.contextRevision, std::nullopt);
    } else {
        const auto &writing = std::get<BridgeCommand::PrepareWriting>(ran.payload());
        QCOMPARE(writing.packageID, QStringLiteral("a"));
        QCOMPARE(writing.fingerprint, QStringLiteral("fp-a"));
    }
    QVERIFY(model->handoff());
    QCOMPARE(model->handoff()->clipCount, 2);
    QCOMPARE(handoffs.count(), 1);
}

void TestEditorPackages::downloadOutcomes_data()
{
    QTest::addColumn<bool>("verified");
    QTest::addColumn<QString>("restoredBackup");
    QTest::addColumn<QString>("restoredCompany");
    QTest::addColumn<QString>("error");
    const QString chosen = QStringLiteral("chosen-but-not-listed");
    const QString company = QStringLiteral("listed-company");
    const QString another = QStringLiteral("Den hentede backup er ikke den valgte. Hent den igen.");
    QTest::newRow("verified: listed again, the opened package stays") << true << chosen << company << QString();
    QTest::newRow("not verified: an error, nothing listed")
        << false << chosen << company << QStringLiteral("Backup blev ikke kontrolleret.");
    QTest::newRow("another backup restored: an error, nothing listed") << true << QStringLiteral("b-1") << company
                                                                       << another;
    QTest::newRow("another company's backup: an error, nothing listed") << true << chosen
                                                                        << QStringLiteral("other-company") << another;
}

void TestEditorPackages::downloadOutcomes()
{
    QFETCH(bool, verified);
    QFETCH(QString, restoredBackup);
    QFETCH(QString, restoredCompany);
    QFETCH(QString, error);
    auto model = makeModel(false);
    model->accountChanged(session);
    model->chooseStorage(QUrl::fromLocalFile(m_dir->path()));
    settle(*model);
    openFirst(*model);
    model->listCloud();
    settle(*model);
    // Passed as chosen; it is not looked up among the listed backups.
    model->setSelectedCloudID(QStringLiteral("chosen-but-not-listed"));
    m_tools->answers[BridgeCommand::Kind::cloudPull] = restoredJson(verified, restoredBackup, restoredCompany);
    m_tools->answers[BridgeCommand::Kind::inventory] =
        inventoryJson({summaryJson(QStringLiteral("a"), QString()), summaryJson(QStringLiteral("b"), QString()),
                       summaryJson(QStringLiteral("restored"), QString())});
    m_tools->ran.clear();
    m_tools->held << BridgeCommand::Kind::cloudPull;
    model->download();
    QCOMPARE(model->busy(), std::optional<QString>(QStringLiteral("Henter og kontrollerer alle filer…")));
    m_tools->gate.open();
    settle(*model);

    QVERIFY(!m_tools->ran.isEmpty());
    const auto &pull = std::get<BridgeCommand::CloudPull>(m_tools->ran.first().payload());
    QCOMPARE(pull.company, QStringLiteral("listed-company"));
    QCOMPARE(pull.backupID, QStringLiteral("chosen-but-not-listed"));
    QCOMPARE(pull.credentials, session);
    QVERIFY(model->context());
    if (error.isEmpty()) {
        QCOMPARE(m_tools->ran.size(), 2);
        QCOMPARE(m_tools->ran.last().kind(), BridgeCommand::Kind::inventory);
        QCOMPARE(model->error(), std::nullopt);
        QCOMPARE(model->message(), std::optional<QString>(QStringLiteral(
            "Pakken er hentet og SHA-256-kontrolleret. Vælg filmen i den lokale indbakke.")));
        QCOMPARE(model->inventory().size(), 3);
    } else {
        QCOMPARE(m_tools->ran.size(), 1);
        QCOMPARE(model->error(), std::optional<QString>(error));
        QCOMPARE(model->message(), std::nullopt);
        QCOMPARE(model->inventory().size(), 2);
    }
}

void TestEditorPackages::secondOpenWhileTheFirstRunsIsIgnored()
{
    auto model = makeModel();
    m_tools->held << BridgeCommand::Kind::context;
    m_tools->ran.clear();
    const auto packages = model->inventory();
    model->open(packages.at(0));
    model->open(packages.at(1));
    m_tools->gate.open();
    settle(*model);
    QCOMPARE(m_tools->ran.size(), 1);
    QCOMPARE(std::get<BridgeCommand::Context>(m_tools->ran.first().payload()).packageID, QStringLiteral("a"));
    QVERIFY(model->context());
}

void TestEditorPackages::failedOpenLeavesNoContextOrHandoff()
{
    auto model = makeModel();
    openFirst(*model);
    model->prepare();
    settle(*model);
    QVERIFY(model->handoff());
    m_tools->answers[BridgeCommand::Kind::context] = "{\"summary\": {}}";
    model->open(model->inventory().at(1));
    settle(*model);
    QVERIFY(!model->context());
    QVERIFY(!model->handoff());
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral(
        "Svaret kunne ikke læses, fordi det ikke har det rigtige format.")));
}

QTEST_GUILESS_MAIN(TestEditorPackages)
#include "tst_editorpackages.moc"
