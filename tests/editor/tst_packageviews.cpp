// The local packages section and the package pane offscreen, driven through a
// real editor model over scripted tool answers: texts, symbols and enabled
// states in the empty, busy, failed and filled states, found by objectName.
#include <QtTest>

#include "editor/desktopservices.h"
#include "editor/editormodel.h"
#include "editor/ui/localpackagesview.h"
#include "editor/ui/packageview.h"
#include "foundation/ui/uikit.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <qcoro/qcorosignal.h>

namespace {

struct RecordingDesktop final : DesktopServices
{
    QStringList revealed;
    QStringList opened;
    void revealFolder(const QString &path) override { revealed << path; }
    void openFile(const QString &path) override { opened << path; }
};

// Holds a tool run until released, so a test can look at the busy state.
class Gate : public QObject
{
    Q_OBJECT
public:
    void release() { Q_EMIT released(); }
Q_SIGNALS:
    void released();
};

// Tool answers by command kind; a kind may fail or be held at the gate.
struct ScriptedTools
{
    QHash<BridgeCommand::Kind, QByteArray> answers;
    QHash<BridgeCommand::Kind, QString> failures;
    QSet<BridgeCommand::Kind> held;
    QHash<BridgeCommand::Kind, int> calls;
    Gate gate;
};

QByteArray summaryJson(const QString &id, const QString &title, const QString &kind, int usable = 4, int context = 2)
{
    const QString request = kind.isEmpty() ? QString()
        : QStringLiteral(R"(, "serviceRequest": {"schemaVersion": 1, "kind": "%1", "instructions": "i", "deliverable": "d"})").arg(kind);
    return QStringLiteral(R"({"packageID": "%1", "projectID": "p", "title": "%2", "fingerprint": "f",
        "referencedFileCount": 1, "referencedBytes": 10, "counts": {"usable": %3, "context": %4, "rejected": 0}%5})")
        .arg(id, title).arg(usable).arg(context).arg(request).toUtf8();
}

QByteArray inventoryJson(const QList<QByteArray> &summaries, int invalid = 0)
{
    QStringList names;
    for (int i = 0; i < invalid; ++i)
        names << QStringLiteral("\"bad-%1: pakkebeskrivelsen kan ikke læses\"").arg(i);
    return "{\"packages\": [" + QByteArrayList(summaries).join(',') + "], \"invalidPackages\": ["
        + names.join(QLatin1Char(',')).toUtf8() + "]}";
}

QByteArray contextJson(const QByteArray &summary, int candidates)
{
    QByteArrayList list;
    for (int i = 0; i < candidates; ++i)
        list << QStringLiteral(R"({"id": "c%1", "title": "Klip %1", "mediaKind": "video"})").arg(i).toUtf8();
    return "{\"summary\": " + summary + ", \"masterprompt\": \"m\", \"candidates\": [" + list.join(',')
        + "], \"notice\": \"\"}";
}

template<typename T>
T *child(QWidget *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

const QString filmDescription = QStringLiteral(
    "Opretter en ny mappe med uændrede mediekopier og en afgrænset klippeplan. For videoklip laves en enkel "
    "FCPXML-tidslinje. Billeder og ren lyd kræver manuel tidslinje. Ingen editor startes automatisk.");

} // namespace

class TestPackageViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MemorySettingsStore> m_settings;
    std::shared_ptr<ScriptedTools> m_tools;

    // A model whose tools answer from m_tools; with a project folder unless told otherwise.
    QSharedPointer<EditorModel> makeModel(bool withFolder = true)
    {
        auto store = std::make_shared<ProjectLocationStore>(*m_settings, QString::fromLatin1(ProjectLocationStore::standardPrefix));
        auto tools = m_tools;
        auto model = EditorModel::create(store, {}, [tools](const BridgeCommand &command, const QString &,
                                                            CancellationToken) -> QCoro::Task<QByteArray> {
            const BridgeCommand::Kind kind = command.kind();
            ++tools->calls[kind];
            if (tools->held.contains(kind))
                co_await qCoro(&tools->gate, &Gate::released);
            if (tools->failures.contains(kind))
                throw BridgeError::failed(tools->failures.value(kind));
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

    static void settle(const EditorModel &model)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!model.busy(), 10000);
    }

    // Opens the first package of the inventory through the model.
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
        m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({}));
    }

    void listStates_data();
    void listStates();
    void rowsShowKindAndCounts();
    void busyDisablesTheWholeSection();
    void failedListingLeavesTheSectionUsable();
    void selectionOpensAndClearingKeepsThePackage();
    void sectionButtons();
    void showingTheSectionListsItsFolder_data();
    void showingTheSectionListsItsFolder();
    void prepareButton_data();
    void prepareButton();
    void handoffBox_data();
    void handoffBox();
    void failedPreparationShowsNoBox();
    void returnInTheSettingsSheetStartsNothing();
    void longTitleWrapsInsideTheColumn();
};

void TestPackageViews::listStates_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QByteArray>("inventory");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("invalidLine"); // empty: hidden

    const QString ready = QStringLiteral("Klar til morvinge");
    QTest::newRow("no project folder") << false << inventoryJson({}) << 0 << ready << QString();
    QTest::newRow("empty folder") << true << inventoryJson({}) << 0 << ready << QString();
    QTest::newRow("only invalid folders") << true << inventoryJson({}, 1) << 0 << ready
                                          << QStringLiteral("1 mapper kunne ikke valideres og er udeladt.");
    QTest::newRow("two packages, three invalid")
        << true << inventoryJson({summaryJson("a", "Sommerøl", {}), summaryJson("b", "Julebryg", "conceptDevelopment")}, 3)
        << 2 << QStringLiteral("Vælg en film i indbakken")
        << QStringLiteral("3 mapper kunne ikke valideres og er udeladt.");
}

void TestPackageViews::listStates()
{
    QFETCH(bool, folder);
    QFETCH(QByteArray, inventory);
    QFETCH(int, rows);
    QFETCH(QString, title);
    QFETCH(QString, invalidLine);

    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventory);
    auto model = makeModel(folder);
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());

    QVERIFY(view.isEnabled());
    QCOMPARE(child<QListWidget>(&view, "sorvane.settings.packages.list")->count(), rows);
    QCOMPARE(child<QPushButton>(&view, "editor.packages.refresh")->isEnabled(), folder);
    QCOMPARE(child<QLabel>(&view, "editor.packages.empty.title")->text(), title);
    QCOMPARE(child<QLabel>(&view, "editor.packages.empty.description")->text(),
             rows == 0 ? QStringLiteral("Vælg en klippeindbakke. Hent en færdig cloudkopi, eller læg eksporterede "
                                        "projektmapper i indbakken.")
                       : QStringLiteral("Åbn filmen til venstre for at læse instruktioner og forberede klippepakken."));
    auto *invalid = child<QLabel>(&view, "editor.packages.invalid");
    QCOMPARE(invalid->isHidden(), invalidLine.isEmpty());
    if (!invalidLine.isEmpty()) {
        QCOMPARE(invalid->text(), invalidLine);
        // In the kit's failure red, made to read where it stands.
        QCOMPARE(invalid->palette().color(QPalette::WindowText).hslHue(), UiKit::colour(UiKit::Ink::failure).hslHue());
    }
    QVERIFY(child<QPushButton>(&view, "editor.packages.cloudBackups")->isEnabled());
    // The panel's symbol shows, whatever icon theme the desktop has (none here).
    const auto *symbol = child<QLabel>(&view, "editor.packages.empty.symbol");
    QVERIFY(!symbol->pixmap().isNull() || !symbol->text().isEmpty());
    auto *detail = child<QWidget>(&view, "editor.packages.empty")->parentWidget();
    QCOMPARE(qobject_cast<QStackedWidget *>(detail)->currentWidget()->objectName(), QStringLiteral("editor.packages.empty"));
}

void TestPackageViews::rowsShowKindAndCounts()
{
    m_tools->answers.insert(BridgeCommand::Kind::inventory,
                            inventoryJson({summaryJson("a", "Sommerøl", {}, 4, 2),
                                           summaryJson("b", "Julebryg", "scriptDevelopment", 0, 7)}));
    auto model = makeModel();
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    const auto titles = view.findChildren<QLabel *>(QStringLiteral("editor.packages.row.title"));
    const auto kinds = view.findChildren<QLabel *>(QStringLiteral("editor.packages.row.kind"));
    const auto icons = view.findChildren<QLabel *>(QStringLiteral("editor.packages.row.kindIcon"));
    const auto counts = view.findChildren<QLabel *>(QStringLiteral("editor.packages.row.counts"));
    QCOMPARE(titles.size(), 2);
    QCOMPARE(titles[0]->text(), QStringLiteral("Sommerøl"));
    QCOMPARE(kinds[0]->text(), QStringLiteral("Klipning"));
    QCOMPARE(icons[0]->property("symbol").toString(), QStringLiteral("scissors"));
    QCOMPARE(counts[0]->text(), QStringLiteral("4 klip · 2 kontekst"));
    QCOMPARE(titles[1]->text(), QStringLiteral("Julebryg"));
    QCOMPARE(kinds[1]->text(), QStringLiteral("Manus og shotliste"));
    QCOMPARE(icons[1]->property("symbol").toString(), QStringLiteral("text.book.closed"));
    QCOMPARE(counts[1]->text(), QStringLiteral("0 klip · 7 kontekst"));
}

void TestPackageViews::busyDisablesTheWholeSection()
{
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({summaryJson("a", "Sommerøl", {})}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(summaryJson("a", "Sommerøl", {}), 2));
    auto model = makeModel();
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    openFirst(*model);
    auto *prepare = child<QPushButton>(&view, "editor.package.prepare");
    QVERIFY(prepare->isEnabled());

    m_tools->held.insert(BridgeCommand::Kind::inventory);
    child<QPushButton>(&view, "editor.packages.refresh")->click();
    QVERIFY(model->busy());
    QVERIFY(!view.isEnabled());
    for (const char *name : {"sorvane.settings.packages.list", "editor.packages.refresh", "editor.packages.projectStorage",
                             "editor.package.prepare"})
        QVERIFY2(!child<QWidget>(&view, name)->isEnabled(), name);
    QVERIFY(!prepare->isEnabled());

    m_tools->gate.release();
    settle(*model);
    QVERIFY(view.isEnabled());
    QVERIFY(child<QPushButton>(&view, "editor.packages.refresh")->isEnabled());
}

void TestPackageViews::failedListingLeavesTheSectionUsable()
{
    m_tools->failures.insert(BridgeCommand::Kind::inventory, QStringLiteral("Projektmappen findes ikke. Vælg den igen."));
    auto model = makeModel();
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral("Projektmappen findes ikke. Vælg den igen.")));
    QVERIFY(view.isEnabled());
    QVERIFY(child<QPushButton>(&view, "editor.packages.refresh")->isEnabled());
    QCOMPARE(child<QListWidget>(&view, "sorvane.settings.packages.list")->count(), 0);
    QCOMPARE(child<QLabel>(&view, "editor.packages.empty.title")->text(), QStringLiteral("Klar til morvinge"));
    // The section shows no error text of its own.
    for (const QLabel *label : view.findChildren<QLabel *>())
        QVERIFY(!label->text().contains(QStringLiteral("Projektmappen findes ikke")));
}

void TestPackageViews::selectionOpensAndClearingKeepsThePackage()
{
    m_tools->answers.insert(BridgeCommand::Kind::inventory,
                            inventoryJson({summaryJson("a", "Sommerøl", {}), summaryJson("b", "Julebryg", {})}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(summaryJson("b", "Julebryg", {}), 1));
    auto model = makeModel();
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    auto *list = child<QListWidget>(&view, "sorvane.settings.packages.list");
    auto *detail = qobject_cast<QStackedWidget *>(child<QWidget>(&view, "editor.packages.empty")->parentWidget());

    list->item(1)->setSelected(true);
    QCOMPARE(model->selectedPackageID(), std::optional<QString>(QStringLiteral("b")));
    settle(*model);
    QCOMPARE(m_tools->calls.value(BridgeCommand::Kind::context), 1);
    QVERIFY(model->context());
    QCOMPARE(detail->currentWidget()->objectName(), QStringLiteral("editor.packages.package"));
    QCOMPARE(child<QLabel>(&view, "editor.package.title")->text(), QStringLiteral("Julebryg"));

    list->clearSelection();
    QVERIFY(!model->selectedPackageID());
    QCOMPARE(m_tools->calls.value(BridgeCommand::Kind::context), 1);
    QVERIFY(model->context());
    QCOMPARE(detail->currentWidget()->objectName(), QStringLiteral("editor.packages.package"));
}

void TestPackageViews::sectionButtons()
{
    auto model = makeModel(false);
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    QSignalSpy sections(&view, &LocalPackagesView::sectionRequested);
    child<QPushButton>(&view, "editor.packages.projectStorage")->click();
    child<QPushButton>(&view, "editor.packages.cloudBackups")->click();
    QCOMPARE(sections.size(), 2);
    QCOMPARE(sections[0].at(0).toString(), QStringLiteral("storage"));
    QCOMPARE(sections[1].at(0).toString(), QStringLiteral("cloud"));
}

// Opening a task adopts the folder again without a listing; the section then
// lists the folder when it is shown, unless it has nothing to list or a
// package is open.
void TestPackageViews::showingTheSectionListsItsFolder_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("openPackage");
    QTest::addColumn<int>("listings");
    QTest::newRow("list emptied by opening a task") << true << false << 1;
    QTest::newRow("no project folder") << false << false << 0;
    QTest::newRow("a package is open") << true << true << 0;
}

void TestPackageViews::showingTheSectionListsItsFolder()
{
    QFETCH(bool, folder);
    QFETCH(bool, openPackage);
    QFETCH(int, listings);
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({summaryJson("a", "Sommerøl", {})}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(summaryJson("a", "Sommerøl", {}), 1));
    auto model = makeModel(folder);
    if (openPackage) {
        openFirst(*model);
        model->setInventory({});
    } else {
        model->restoreStorage(false); // what opening a task does
    }
    QVERIFY(model->inventory().isEmpty());
    const int before = m_tools->calls.value(BridgeCommand::Kind::inventory);
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    QCOMPARE(m_tools->calls.value(BridgeCommand::Kind::inventory), before); // building it lists nothing
    view.show();
    settle(*model);
    QCOMPARE(m_tools->calls.value(BridgeCommand::Kind::inventory), before + listings);
    QCOMPARE(child<QListWidget>(&view, "sorvane.settings.packages.list")->count(), listings);
    QCOMPARE(bool(model->context()), openPackage);
}

void TestPackageViews::prepareButton_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("candidates");
    QTest::addColumn<QString>("kindTitle");
    QTest::addColumn<QString>("buttonText");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("description");

    QTest::newRow("no service request, no candidates")
        << QString() << 0 << QStringLiteral("Klipning") << QStringLiteral("Forbered klippehandoff")
        << QStringLiteral("scissors") << false << filmDescription;
    QTest::newRow("no service request, with candidates")
        << QString() << 2 << QStringLiteral("Klipning") << QStringLiteral("Forbered klippehandoff")
        << QStringLiteral("scissors") << true << filmDescription;
    QTest::newRow("film editing, no candidates")
        << QStringLiteral("filmEditing") << 0 << QStringLiteral("Klipning") << QStringLiteral("Forbered klippehandoff")
        << QStringLiteral("scissors") << false << filmDescription;
    QTest::newRow("concept development, no candidates")
        << QStringLiteral("conceptDevelopment") << 0 << QStringLiteral("Konceptudvikling")
        << QStringLiteral("Forbered konceptudvikling") << QStringLiteral("lightbulb") << true
        << QStringLiteral("Afklar emne og formål; udvikl målgruppe, format og vinkel. Kunden vælger og godkender "
                          "retningen, før I går videre til manuskript og shotliste. Optagelser er ikke et krav.");
    QTest::newRow("script development, no candidates")
        << QStringLiteral("scriptDevelopment") << 0 << QStringLiteral("Manus og shotliste")
        << QStringLiteral("Forbered manus og shotliste") << QStringLiteral("text.book.closed") << true
        << QStringLiteral("Samler kundens godkendte retning og kilder. Udarbejd manuskript og shotliste til kundens "
                          "gennemgang; en ændret retning kræver ny godkendelse.");
}

void TestPackageViews::prepareButton()
{
    QFETCH(QString, kind);
    QFETCH(int, candidates);
    QFETCH(QString, kindTitle);
    QFETCH(QString, buttonText);
    QFETCH(QString, symbol);
    QFETCH(bool, enabled);
    QFETCH(QString, description);

    const QByteArray summary = summaryJson("a", "Åbent hus", kind);
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({summary}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(summary, candidates));
    auto model = makeModel();
    PackageView view(model, std::make_shared<RecordingDesktop>());
    openFirst(*model);

    QCOMPARE(child<QLabel>(&view, "editor.package.title")->text(), QStringLiteral("Åbent hus"));
    QCOMPARE(child<QLabel>(&view, "editor.package.kind")->text(), kindTitle);
    QCOMPARE(child<QLabel>(&view, "editor.package.kindIcon")->property("symbol").toString(), symbol);
    auto *prepare = child<QPushButton>(&view, "editor.package.prepare");
    QCOMPARE(prepare->text(), buttonText);
    QCOMPARE(prepare->property("symbol").toString(), symbol);
    QCOMPARE(prepare->isEnabled(), enabled);
    QCOMPARE(child<QLabel>(&view, "editor.package.description")->text(), description);
    QVERIFY(child<QGroupBox>(&view, "editor.package.handoff")->isHidden());

    // While any operation runs the button is off, whatever the kind.
    m_tools->held.insert(BridgeCommand::Kind::inventory);
    model->refresh();
    QVERIFY(model->busy());
    QVERIFY(!prepare->isEnabled());
    m_tools->gate.release();
    settle(*model);
}

void TestPackageViews::handoffBox_data()
{
    QTest::addColumn<QString>("packageKind");
    QTest::addColumn<QByteArray>("handoff");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<bool>("startGuide");

    QTest::newRow("no kind, no timeline")
        << QString()
        << QByteArray(R"({"handoffID": "h", "folder": "/media/Optagelser/inbox/handoffs/edit-1", "clipCount": 3,
                          "notices": []})")
        << QStringLiteral("Klippepakken er klar til manuel kontrol") << QStringLiteral("3 klip · klippeplan")
        << QStringList() << false;
    QTest::newRow("film editing with a timeline and notices")
        << QStringLiteral("filmEditing")
        << QByteArray(R"({"handoffID": "h", "folder": "/media/Optagelser/inbox/handoffs/edit-1", "clipCount": 2,
                          "fcpxml": "/media/Optagelser/inbox/handoffs/edit-1/timeline.fcpxml", "kind": "filmEditing",
                          "notices": ["Logo er udeladt: kildefilen er ikke godkendt.", "Kontrollér tidslinjens format."]})")
        << QStringLiteral("Klippepakken er klar til manuel kontrol") << QStringLiteral("2 klip · FCPXML + klippeplan")
        << QStringList{QStringLiteral("Logo er udeladt: kildefilen er ikke godkendt."),
                       QStringLiteral("Kontrollér tidslinjens format.")}
        << false;
    QTest::newRow("concept development without a file count")
        << QStringLiteral("conceptDevelopment")
        << QByteArray(R"({"handoffID": "h", "folder": "/media/Optagelser/inbox/handoffs/writing-1", "clipCount": 0,
                          "kind": "conceptDevelopment", "notices": []})")
        << QStringLiteral("Konceptudvikling er klar lokalt")
        << QStringLiteral("Brief, masterprompt og kildegrundlag · 0 kontrollerede filreferencer") << QStringList()
        << true;
    QTest::newRow("script development with a file count")
        << QStringLiteral("scriptDevelopment")
        << QByteArray(R"({"handoffID": "h", "folder": "/media/Optagelser/inbox/handoffs/writing-1", "clipCount": 0,
                          "kind": "scriptDevelopment", "sourceFileCount": 5, "notices": []})")
        << QStringLiteral("Manus og shotliste er klar lokalt")
        << QStringLiteral("Brief, masterprompt og kildegrundlag · 5 kontrollerede filreferencer") << QStringList()
        << true;
}

void TestPackageViews::handoffBox()
{
    QFETCH(QString, packageKind);
    QFETCH(QByteArray, handoff);
    QFETCH(QString, title);
    QFETCH(QString, summary);
    QFETCH(QStringList, notices);
    QFETCH(bool, startGuide);

    const QByteArray package = summaryJson("a", "Åbent hus", packageKind);
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({package}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(package, 2));
    m_tools->answers.insert(BridgeCommand::Kind::prepare, handoff);
    m_tools->answers.insert(BridgeCommand::Kind::prepareWriting, handoff);
    auto model = makeModel();
    auto desktop = std::make_shared<RecordingDesktop>();
    PackageView view(model, desktop);
    openFirst(*model);
    child<QPushButton>(&view, "editor.package.prepare")->click();
    settle(*model);
    QVERIFY2(!model->error(), qPrintable(model->error().value_or(QString())));

    auto *box = child<QGroupBox>(&view, "editor.package.handoff");
    QVERIFY(!box->isHidden());
    QCOMPARE(box->title(), title);
    QCOMPARE(child<QLabel>(&view, "editor.package.handoff.summary")->text(), summary);
    QStringList shown;
    for (const QLabel *line : view.findChildren<QLabel *>(QStringLiteral("editor.package.handoff.notice")))
        shown << line->text();
    QCOMPARE(shown, notices);

    auto *guide = child<QPushButton>(&view, "editor.package.handoff.startGuide");
    auto *reveal = child<QPushButton>(&view, "editor.package.handoff.reveal");
    QCOMPARE(guide->isHidden(), !startGuide);
    QVERIFY(!reveal->isHidden());
    reveal->click();
    QCOMPARE(desktop->revealed, QStringList{model->handoff()->folder});
    if (startGuide) {
        guide->click();
        QCOMPARE(desktop->opened, QStringList{model->handoff()->folder + QStringLiteral("/writer-start.md")});
    }

    // A rebuild keeps one line per notice (the old lines go).
    model->setMessage(QStringLiteral("x"));
    QCOMPARE(view.findChildren<QLabel *>(QStringLiteral("editor.package.handoff.notice")).size(), notices.size());
}

void TestPackageViews::failedPreparationShowsNoBox()
{
    const QByteArray package = summaryJson("a", "Åbent hus", {});
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({package}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(package, 2));
    m_tools->answers.insert(BridgeCommand::Kind::prepare,
                            R"({"handoffID": "h", "folder": "/tmp/h", "clipCount": 1, "notices": []})");
    auto model = makeModel();
    PackageView view(model, std::make_shared<RecordingDesktop>());
    openFirst(*model);
    auto *prepare = child<QPushButton>(&view, "editor.package.prepare");
    prepare->click();
    settle(*model);
    QVERIFY(!child<QGroupBox>(&view, "editor.package.handoff")->isHidden());

    m_tools->failures.insert(BridgeCommand::Kind::prepare, QStringLiteral("Pakken er ændret, siden den blev åbnet. Åbn den igen."));
    prepare->click();
    settle(*model);
    QCOMPARE(model->error(), std::optional<QString>(QStringLiteral("Pakken er ændret, siden den blev åbnet. Åbn den igen.")));
    QVERIFY(child<QGroupBox>(&view, "editor.package.handoff")->isHidden());
    QVERIFY(prepare->isEnabled());
}

// The section lives in a settings sheet (a dialog): Return pressed in the
// package list must not press the prepare button as the dialog's default.
void TestPackageViews::returnInTheSettingsSheetStartsNothing()
{
    const QByteArray summary = summaryJson("a", "Åbent hus", {});
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({summary}));
    m_tools->answers.insert(BridgeCommand::Kind::context, contextJson(summary, 2));
    auto model = makeModel();
    QDialog sheet;
    auto *view = new LocalPackagesView(model, std::make_shared<RecordingDesktop>(), {}, &sheet);
    (new QVBoxLayout(&sheet))->addWidget(view);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    auto *list = child<QListWidget>(view, "sorvane.settings.packages.list");
    list->item(0)->setSelected(true);
    settle(*model);
    QVERIFY(model->context());
    QVERIFY(child<QPushButton>(view, "editor.package.prepare")->isEnabled());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_Enter);
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(m_tools->calls.value(BridgeCommand::Kind::prepare), 0);
    QVERIFY(!model->handoff());
}

void TestPackageViews::longTitleWrapsInsideTheColumn()
{
    const QString title = QStringLiteral("Sommerfilm til Hansens Bageri og Konditori med alle filialer i Jylland");
    m_tools->answers.insert(BridgeCommand::Kind::inventory, inventoryJson({summaryJson("a", title, {})}));
    auto model = makeModel();
    LocalPackagesView view(model, std::make_shared<RecordingDesktop>());
    view.resize(900, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *list = child<QListWidget>(&view, "sorvane.settings.packages.list");
    auto *label = child<QLabel>(&view, "editor.packages.row.title");
    // The whole title is on screen: the row is no wider than the column and
    // tall enough for the wrapped lines.
    QTRY_COMPARE(list->horizontalScrollBar()->maximum(), 0);
    QVERIFY(label->width() <= list->viewport()->width());
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(label->height() > label->fontMetrics().lineSpacing());
}

QTEST_MAIN(TestPackageViews)
#include "tst_packageviews.moc"
