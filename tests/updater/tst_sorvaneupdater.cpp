// The updater's decisions against a fake update machinery, and the
// settings-sheet coordinator with real windows and sheets.
#include "foundation/localization.h"
#include "updater/sorvaneupdater.h"
#include "updater/ui/sorvanesettingssheetcontroller.h"
#include "updater/ui/sorvaneupdatesview.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <QDialog>
#include <QWidget>
#include <QtTest>

namespace {

class FakeFramework final : public UpdateFramework
{
public:
    bool canCheckForUpdates() const override { return canCheck; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool on) override
    {
        automatic = on;
        Q_EMIT automaticallyChecksForUpdatesChanged();
    }
    std::optional<QDateTime> lastUpdateCheckDate() const override { return std::nullopt; }
    std::optional<QString> startUpdater() override { return startFailure; }
    void checkForUpdates() override { ++checks; }

    bool canCheck = true;
    bool automatic = false;
    std::optional<QString> startFailure;
    int checks = 0;
};

// A sheet that stays on screen when asked to close.
class StubbornSheet final : public QDialog
{
public:
    using QDialog::QDialog;
    void reject() override {}
};

std::optional<SorvaneUpdateConfiguration> goodConfiguration()
{
    QVariantMap info{{"CFBundleIdentifier", SorvaneUpdateConfiguration::expectedBundleIdentifier},
                     {"SUFeedURL", SorvaneUpdateConfiguration::feedText},
                     {"SUPublicEDKey", "w+ghNAjfXTpT9J8rCmD+23gS9JiLlaszMvCTAgZ2WP0="},
                     {"SUVerifyUpdateBeforeExtraction", true},
                     {"SURequireSignedFeed", true},
                     {"CFBundleVersion", "1"}};
    return SorvaneUpdateConfiguration::check(QStringLiteral("/x/Tavlon.app"), info, false);
}

// An updater over a fake machinery, and what the fake was asked.
struct Rig
{
    explicit Rig(bool configured = true, std::optional<QString> startFailure = std::nullopt)
        : updater(
            [configured] { return configured ? goodConfiguration() : std::nullopt; },
            [this, startFailure](const SorvaneUpdateConfiguration &, UpdateFrameworkDelegate *) {
                ++created;
                auto fake = std::make_unique<FakeFramework>();
                fake->startFailure = startFailure;
                framework = fake.get();
                return fake;
            })
    {
        updater.startIfNeeded();
    }
    void setBusy(bool busy) { updater.activity().registerWindow(window, [busy] { return busy; }); }

    FakeFramework *framework = nullptr;
    int created = 0;
    SorvaneUpdater updater;
    QUuid window = QUuid::createUuid();
};

const QString busyRefusal =
    QStringLiteral("Afslut den igangværende overførsel eller kontohandling, og installér derefter opdateringen igen.");

} // namespace

class TestSorvaneUpdater : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void startsOnceAndOnlyConfigured();
    void relaunchDecision_data();
    void relaunchDecision();
    void busyWindowsGuardCheckAndSwitch();
    void cycleEndDropsAWaitingRelaunch();
    void postponement_data();
    void postponement();
    void windowClosedWhileItsSheetIsOpen();
    void updatesPane_data();
    void updatesPane();
};

void TestSorvaneUpdater::startsOnceAndOnlyConfigured()
{
    Rig rig;
    rig.updater.startIfNeeded();
    QCOMPARE(rig.created, 1);
    QVERIFY(rig.updater.isConfigured());
    QVERIFY(!rig.updater.checkDisabled());

    Rig unconfigured(false);
    QCOMPARE(unconfigured.created, 0);
    QVERIFY(!unconfigured.updater.isConfigured());
    QVERIFY(unconfigured.updater.checkDisabled() && unconfigured.updater.automaticChecksDisabled());
    QVERIFY(!unconfigured.updater.issue());

    Rig failed(true, QStringLiteral("no"));
    QCOMPARE(failed.updater.issue(),
             std::optional(QStringLiteral("Opdateringer kunne ikke starte. Hent den nyeste app fra "
                                          "example.com/downloads/sorvane.")));
    QVERIFY(failed.updater.isConfigured());
}

void TestSorvaneUpdater::relaunchDecision_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("earlierIssue");
    QTest::newRow("idle") << false << false;
    QTest::newRow("idle with an earlier issue") << false << true;
    QTest::newRow("busy") << true << false;
}

void TestSorvaneUpdater::relaunchDecision()
{
    QFETCH(bool, busy);
    QFETCH(bool, earlierIssue);
    Rig rig;
    if (earlierIssue) {
        rig.setBusy(true);
        rig.updater.shouldRelaunchApplication();
    }
    rig.setBusy(busy);
    // A postponement under way, as when the relaunch follows closed sheets.
    rig.updater.settings().postponeRelaunch([] {});
    QCOMPARE(rig.updater.shouldRelaunchApplication(), !busy);
    QCOMPARE(rig.updater.issue().has_value(), busy || earlierIssue);
    if (busy) {
        QCOMPARE(*rig.updater.issue(), busyRefusal);
        QVERIFY(!rig.updater.settings().isPreparingToRelaunch());
        QVERIFY(!rig.updater.settings().isWaiting());
    }
}

void TestSorvaneUpdater::busyWindowsGuardCheckAndSwitch()
{
    Rig rig;
    rig.setBusy(true);
    rig.updater.shouldRelaunchApplication(); // leaves an issue
    rig.updater.checkForUpdates();
    rig.updater.setAutomaticallyChecksForUpdates(true);
    QCOMPARE(rig.framework->checks, 0);
    QVERIFY(!rig.updater.automaticallyChecksForUpdates());
    QVERIFY(rig.updater.issue());
    QVERIFY(rig.updater.checkDisabled() && rig.updater.automaticChecksDisabled());
    QVERIFY(!rig.updater.mayCheckForUpdatesInBackground()); // nor does an automatic check look

    rig.setBusy(false);
    QVERIFY(rig.updater.mayCheckForUpdatesInBackground());
    rig.updater.setAutomaticallyChecksForUpdates(true);
    QVERIFY(rig.updater.automaticallyChecksForUpdates()); // followed from the machinery
    rig.updater.checkForUpdates();
    QCOMPARE(rig.framework->checks, 1);
    QVERIFY(!rig.updater.issue()); // a check clears it

    rig.framework->canCheck = false;
    Q_EMIT rig.framework->canCheckForUpdatesChanged();
    QVERIFY(rig.updater.checkDisabled());
    QVERIFY(!rig.updater.automaticChecksDisabled());
}

void TestSorvaneUpdater::cycleEndDropsAWaitingRelaunch()
{
    Rig rig;
    SorvaneUpdateSettings &settings = rig.updater.settings();
    const QUuid window = QUuid::createUuid();
    settings.windowAppeared(window, [] {}, [] { return false; }); // a sheet that does not close at once
    QVERIFY(settings.requestPresentation(window));
    settings.sheetPresented(window);
    int resumed = 0;
    QVERIFY(rig.updater.shouldPostponeRelaunch({}, [&resumed] { ++resumed; }));
    rig.updater.didFinishUpdateCycle(UpdateCheckKind::updates, std::nullopt);
    QVERIFY(!settings.isPreparingToRelaunch() && !settings.isWaiting() && !settings.hasContinuation());
    settings.sheetDismissed(window);
    QCoreApplication::processEvents();
    QCOMPARE(resumed, 0);
    QVERIFY(settings.requestPresentation(window));
}

// Real windows, each with its settings sheet controller. `open` lists the
// windows whose sheet shows, `requested` those granted a sheet that never
// came, `attached` those showing some other sheet.
void TestSorvaneUpdater::postponement_data()
{
    QTest::addColumn<QList<int>>("open");
    QTest::addColumn<QList<int>>("requested");
    QTest::addColumn<QList<int>>("attached");
    QTest::addColumn<bool>("postponed");
    QTest::addColumn<bool>("waitsForAttached");
    QTest::newRow("nothing open") << QList<int>{} << QList<int>{} << QList<int>{} << false << false;
    QTest::newRow("two sheets open") << QList<int>{0, 1} << QList<int>{} << QList<int>{} << true << false;
    QTest::newRow("granted, never shown") << QList<int>{} << QList<int>{0} << QList<int>{} << false << false;
    QTest::newRow("granted while another sheet shows") << QList<int>{1} << QList<int>{0} << QList<int>{0} << true << true;
}

void TestSorvaneUpdater::postponement()
{
    QFETCH(QList<int>, open);
    QFETCH(QList<int>, requested);
    QFETCH(QList<int>, attached);
    QFETCH(bool, postponed);
    QFETCH(bool, waitsForAttached);
    SorvaneUpdateSettings settings;
    std::vector<std::unique_ptr<QWidget>> windows;
    std::vector<SorvaneSettingsSheetController *> controllers;
    for (int i = 0; i < 2; ++i) {
        windows.push_back(std::make_unique<QWidget>());
        windows.back()->show();
        controllers.push_back(new SorvaneSettingsSheetController(windows.back().get(), QUuid::createUuid(), settings,
                                                                 [](QWidget *w) { return new QDialog(w); }));
    }
    QList<QDialog *> others;
    for (int i : attached) {
        auto *other = new QDialog(windows[i].get());
        other->setWindowModality(Qt::WindowModal);
        other->show();
        others << other;
    }
    for (int i : requested)
        QVERIFY(settings.requestPresentation(controllers[i]->windowID()));
    for (int i : open) {
        QVERIFY(settings.requestPresentation(controllers[i]->windowID()));
        QVERIFY(controllers[i]->open());
    }
    QCoreApplication::processEvents(); // the revision raises reach the controllers
    for (int i : requested)
        QCOMPARE(settings.isRequested(controllers[i]->windowID()), attached.contains(i));

    int resumed = 0;
    const auto continuation = [&resumed] { ++resumed; };
    QCOMPARE(settings.postponeRelaunch(continuation), postponed);
    QVERIFY(settings.isPreparingToRelaunch());
    QVERIFY(!settings.requestPresentation(controllers[0]->windowID()));
    for (auto *controller : controllers)
        QVERIFY(!controller->isPresented()); // every sheet closed at once
    QCOMPARE(resumed, 0);                    // never on the caller's stack
    if (postponed) {
        QVERIFY(settings.postponeRelaunch([&resumed] { resumed += 100; })); // the first block goes on
        QCoreApplication::processEvents();
        if (waitsForAttached) {
            QCOMPARE(resumed, 0);
            QVERIFY(settings.isWaitingFor(controllers[0]->windowID()));
            others.first()->reject();
        }
        QTRY_COMPARE(resumed, 1);
        QCoreApplication::processEvents();
        QCOMPARE(resumed, 1);
    }
    settings.resetPostponement();
    QVERIFY(settings.requestPresentation(controllers[0]->windowID()));
}

void TestSorvaneUpdater::windowClosedWhileItsSheetIsOpen()
{
    SorvaneUpdateSettings settings;
    auto window = std::make_unique<QWidget>();
    // A sheet that stays on screen until its window goes.
    auto *controller = new SorvaneSettingsSheetController(window.get(), QUuid::createUuid(), settings,
                                                          [](QWidget *w) { return new StubbornSheet(w); });
    window->show();
    QVERIFY(settings.requestPresentation(controller->windowID()));
    QVERIFY(controller->open());
    int resumed = 0;
    QVERIFY(settings.postponeRelaunch([&resumed] { ++resumed; }));
    const QUuid id = controller->windowID();
    window.reset();
    QVERIFY(!settings.isWaitingFor(id) && !settings.isPresented(id));
    QTRY_COMPARE(resumed, 1);
}

void TestSorvaneUpdater::updatesPane_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("checkEnabled");
    QTest::addColumn<bool>("switchEnabled");
    QTest::addColumn<bool>("busyNote");
    QTest::addColumn<QString>("note"); // empty: none shown
    QTest::newRow("ready") << "ready" << true << true << false << QString();
    QTest::newRow("unconfigured") << "unconfigured" << false << false << false
                                  << "Opdateringer fås i den installerede app fra example.com/downloads/sorvane.";
    QTest::newRow("cannot check") << "cannot check" << false << true << false << QString();
    QTest::newRow("a window is busy") << "busy" << false << false << true << QString();
    QTest::newRow("relaunch refused, then idle") << "refused" << true << true << false << busyRefusal;
    // The test platform has no browser, like a desktop without a handler for web links.
    QTest::newRow("download page, no browser")
        << "no browser" << true << true << false
        << "Ingen webbrowser på denne computer kunne åbne siden; adressen er: " + SorvaneUpdater::downloadPage().toString();
}

void TestSorvaneUpdater::updatesPane()
{
    QFETCH(QString, state);
    QFETCH(bool, checkEnabled);
    QFETCH(bool, switchEnabled);
    QFETCH(bool, busyNote);
    QFETCH(QString, note);
    Rig rig(state != u"unconfigured");
    SorvaneUpdatesView pane(rig.updater);
    pane.show();
    // The pane follows the updater after it was built.
    if (state == u"cannot check") {
        rig.framework->canCheck = false;
        Q_EMIT rig.framework->canCheckForUpdatesChanged();
    } else if (state == u"busy") {
        rig.updater.activity().setBusy(true, rig.window);
    } else if (state == u"refused") {
        rig.setBusy(true);
        rig.updater.shouldRelaunchApplication();
        rig.setBusy(false);
    } else if (state == u"no browser") {
        Q_EMIT pane.findChild<QLabel *>(QStringLiteral("sorvane.updates.downloadPage"))->linkActivated(QString());
    }
    // The header's icon is never a blank gap, also where the app runs without an icon of its own.
    QVERIFY(QApplication::windowIcon().isNull());
    const auto *icon = pane.findChild<QLabel *>(QStringLiteral("sorvane.updates.icon"));
    QVERIFY(icon);
    const QImage picture = icon->pixmap().toImage();
    QVERIFY(!picture.isNull());
    QVERIFY(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)) > 0);
    QCOMPARE(pane.findChild<QPushButton *>(QStringLiteral("sorvane.updates.check"))->isEnabled(), checkEnabled);
    QCOMPARE(pane.findChild<QCheckBox *>(QStringLiteral("sorvane.updates.automaticChecks"))->isEnabled(), switchEnabled);
    QStringList shown;
    for (QLabel *label : pane.findChildren<QLabel *>())
        if (label->isVisible())
            shown << label->text();
    QCOMPARE(shown.contains(
                 QStringLiteral("Afslut den igangværende overførsel eller kontohandling, før du søger efter opdateringer.")),
             busyNote);
    if (!note.isEmpty())
        QVERIFY2(shown.contains(note), qPrintable(shown.join(u'|')));
}

QTEST_MAIN(TestSorvaneUpdater)
#include "tst_sorvaneupdater.moc"
