// Every fault the stand-in can inject, for every command it answers, driven
// through the model operation that runs the command: afterwards the person
// reads one sentence in the error text, no busy label stays, what was shown
// before survives, and the project folder holds nothing half-written (and,
// when the tool never ran its work, nothing new at all).
//
// A new command is one row of commands(): how to reach it, the operation, a
// member its answer cannot lack and, when it carries one, a wrong id.
#include "../common/standinsignin.h"

#include "editor/editormodel.h"
#include "foundation/bridge/bridge.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>
#include <functional>

namespace {

constexpr int toolWait = 60000;
const QString otherID = QStringLiteral("0b7e9f5c-2d1a-4c3e-9f00-5a6b7c8d9e01");

class Window;
using Step = std::function<bool(Window &)>;

struct Command
{
    const char *name;       // the stand-in's command
    bool changesState;      // a fresh demo before every fault
    Step prepare;           // reaches the point where the operation runs the command
    Step operate;           // the model operation
    const char *required;   // a member of the answer the decoder cannot do without
    QJsonObject wrongIds;   // a wrong_keys/patch rule naming another id; empty: the answer carries none to check
    std::function<bool(const Window &)> survives; // what was shown before the failure and must stay
    // Where the operation shows its failure, when not in the window's error.
    std::optional<QString> (*errorOf)(const Window &) = nullptr;
};

struct Fault
{
    const char *name;
    bool workDone; // the tool did its work before the answer went wrong
};

const Fault faults[] = {
    {"fail", false},      {"fail_after", true}, {"hang", false},       {"signal", false},
    {"malformed", false}, {"oversized", false}, {"wrong_keys", true}, {"wrong_ids", true},
};

QJsonObject ruleFor(const Fault &fault, const Command &command)
{
    const QString name = QString::fromLatin1(fault.name);
    if (name == u"hang")
        return {{"mode", "hang"}, {"seconds", 60}};
    if (name == u"malformed")
        return {{"mode", "malformed"}, {"stdout", "{\"broken\": ["}};
    if (name == u"wrong_keys")
        return {{"mode", "wrong_keys"}, {"drop", QJsonArray{QString::fromLatin1(command.required)}}};
    if (name == u"wrong_ids")
        return command.wrongIds;
    return {{"mode", name}};
}

// Files a tool or the application writes first and renames into place.
bool halfWritten(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.endsWith(u".tmp") || name.endsWith(u".part") || name.endsWith(u".partial") || name.endsWith(u"~")
        || name.contains(u".staging") || name.startsWith(u".tmp");
}

QStringList contents(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next().mid(folder.size()));
    found.sort();
    return found;
}

class Window
{
public:
    StandinFixture &standin;
    MemorySettingsStore settings;
    std::unique_ptr<EditorSession> session;
    QSharedPointer<EditorModel> editor;
    std::unique_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<ServiceQueueModel> model;
    QString folder;
    int folders = 0;

    explicit Window(StandinFixture &fixture) : standin(fixture) {}
    ~Window() { close(); }

    void close()
    {
        model.reset();
        adapter.reset();
        Bridge::setSessionProvider(nullptr);
        editor.reset();
        session.reset();
    }

    bool idle() { return QTest::qWaitFor([this] { return !editor->busy(); }, toolWait); }
    bool clean() { return idle() && !editor->error(); }

    // Signed in, Nordlys Bryggeri chosen.
    bool open()
    {
        close();
        session = Standin::signIn(standin, QString::fromLatin1(StandinFixture::demoEmail));
        if (!session)
            return false;
        Bridge::setSessionProvider(session.get());
        editor = EditorModel::create(std::make_shared<ProjectLocationStore>(
            settings, QString::fromLatin1(ProjectLocationStore::standardPrefix)));
        editor->setRepository(standin.toolsFolder());
        editor->accountChanged(session->credentialURL());
        adapter = std::make_unique<EditorServiceAdapter>(editor);
        model = std::make_unique<ServiceQueueModel>(adapter->bridge());
        model->fetchCompanies(*adapter, false);
        if (!clean())
            return false;
        for (const ServiceCompany &company : model->companies())
            if (company.name == QStringLiteral("Nordlys Bryggeri"))
                model->selectCompany(company.id, *adapter);
        return model->canUseCompany(*adapter);
    }

    // A new, empty project folder.
    bool freshFolder()
    {
        const QString path = standin.scratch(QStringLiteral("project-%1").arg(++folders));
        if (!QDir().mkpath(path))
            return false;
        folder = QFileInfo(path).canonicalFilePath();
        editor->chooseStorage(QUrl::fromLocalFile(folder));
        return clean() && !editor->storageIssue();
    }

    bool list()
    {
        model->list(*adapter);
        return clean() && model->listing();
    }

    bool openTask(ServiceKind kind, const QString &status)
    {
        if (!list())
            return false;
        for (const ServiceReceipt &row : model->listing()->requests)
            if (row.kind == kind && row.status == status) {
                const ServiceReceipt chosen = row;
                model->open(chosen, *adapter);
                return clean() && model->detail() && model->detail()->request.id == chosen.id;
            }
        return false;
    }

    bool claimedFilm()
    {
        if (!openTask(ServiceKind::filmEditing, QStringLiteral("waiting")))
            return false;
        model->claim(*adapter);
        return clean();
    }
};

bool nothing(Window &) { return true; }

QList<Command> commands()
{
    const auto listed = [](const Window &w) { return w.model->listing().has_value(); };
    const auto detailed = [](const Window &w) { return w.model->detail().has_value(); };
    const auto anything = [](const Window &) { return true; };
    return {
        {"serviceCompanies", false, nothing,
         [](Window &w) { w.model->fetchCompanies(*w.adapter, false); return true; }, "companies",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"operatorID", otherID}}}}, anything,
         [](const Window &w) { return w.model->companyError(); }},
        {"serviceList", false, nothing, [](Window &w) { w.model->list(*w.adapter); return true; }, "requests",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, anything},
        {"serviceGet", false, [](Window &w) { return w.list(); },
         [](Window &w) {
             const ServiceReceipt row = w.model->listing()->requests.constFirst();
             w.model->open(row, *w.adapter);
             return true;
         },
         "request", {{"mode", "patch"}, {"set", QJsonObject{{"request.id", otherID}}}}, listed},
        {"serviceHistory", true,
         [](Window &w) { return w.claimedFilm() && (w.model->pull(*w.adapter, false), w.clean()); },
         [](Window &w) { w.model->refreshHistory(*w.adapter); return true; }, "request",
         {{"mode", "patch"}, {"set", QJsonObject{{"request.id", otherID}}}}, detailed},
        {"serviceClaim", true,
         [](Window &w) { return w.openTask(ServiceKind::filmEditing, QStringLiteral("waiting")); },
         [](Window &w) { w.model->claim(*w.adapter); return true; }, "request",
         {{"mode", "patch"}, {"set", QJsonObject{{"request.id", otherID}}}}, detailed},
        {"servicePull", true, [](Window &w) { return w.claimedFilm(); },
         [](Window &w) { w.model->pull(*w.adapter, false); return true; }, "packageID",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, detailed},
        {"servicePullFilm", true, [](Window &w) { return w.claimedFilm(); },
         [](Window &w) { w.model->pull(*w.adapter, true); return true; }, "packageID",
         {{"mode", "wrong_keys"}, {"add", QJsonObject{{"companyID", otherID}}}}, detailed},
        {"inventory", false, nothing, [](Window &w) { w.editor->refresh(); return true; }, "packages", {}, anything},
        {"cloudList", false, nothing, [](Window &w) { w.editor->listCloud(); return true; }, "backups", {}, anything},
    };
}

} // namespace

Q_DECLARE_METATYPE(Command)

class TestFaultMatrix : public QObject
{
    Q_OBJECT

    StandinFixture standin;
    std::unique_ptr<Window> window;
    bool stateChanged = true;

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QVERIFY2(standin.start(), qPrintable(standin.failure()));
        window = std::make_unique<Window>(standin);
    }

    void cleanupTestCase()
    {
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        window.reset();
    }

    void everyFaultOfEveryCommand_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("fault");
        for (const Command &command : commands())
            for (int i = 0; i < int(std::size(faults)); ++i)
                if (QString::fromLatin1(faults[i].name) != u"wrong_ids" || !command.wrongIds.isEmpty())
                    QTest::addRow("%s %s", command.name, faults[i].name) << command << i;
    }

    void everyFaultOfEveryCommand()
    {
        QFETCH(Command, command);
        QFETCH(int, fault);
        const Fault &f = faults[fault];
        Window &w = *window;
        standin.clearScenario();
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        if (command.changesState || stateChanged)
            QVERIFY(standin.reset());
        stateChanged = command.changesState && f.workDone;
        QVERIFY(w.open());
        QVERIFY(w.freshFolder());
        QVERIFY(command.prepare(w));
        const QStringList before = contents(w.folder);

        QVERIFY(standin.setScenario(QJsonObject{{QString::fromLatin1(command.name), ruleFor(f, command)}}));
        if (QString::fromLatin1(f.name) == u"hang")
            Bridge::setTimeoutOverrideForTesting(std::chrono::milliseconds(1500));
        QVERIFY(command.operate(w));
        QVERIFY2(w.idle(), "a busy label stayed");
        Bridge::setTimeoutOverrideForTesting(std::nullopt);
        standin.clearScenario();

        const QString error = (command.errorOf ? command.errorOf(w) : w.editor->error()).value_or(QString());
        QVERIFY2(!error.trimmed().isEmpty(), "the failure was reported as success");
        QVERIFY2(!error.contains(u'\n') && !error.contains(u'{') && !error.contains(u"Traceback")
                     && error.size() <= 300,
                 qPrintable(error));
        QVERIFY2(command.survives(w), "what was shown before the failure went away");
        const QStringList after = contents(w.folder);
        for (const QString &path : after)
            QVERIFY2(!halfWritten(path), qPrintable(path));
        if (!f.workDone)
            QCOMPARE(after, before);
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
