// The settings sheet: its sections, its frame (sizes, busy row and Stop, the
// sidebar while busy), the pane rules, connecting AI and the clearing before
// a sign-out.
#include "settingsfixture.h"

#include "foundation/localization.h"
#include "settings/ui/sorvanesettingsview.h"
#include "settings/ui/sorvanesidebarrow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

template<class T = QWidget>
T *find(QWidget *root, const QString &name)
{
    return root->findChild<T *>(name);
}

QPushButton *buttonWithText(QWidget *root, const QString &text)
{
    for (QPushButton *button : root->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

bool shown(QWidget *root, const QString &name)
{
    QWidget *widget = find(root, name);
    return widget && widget->isVisible();
}

} // namespace

class TestSorvaneSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<SettingsFixture> fixture;
    std::unique_ptr<SorvaneSettingsView> sheet;
    QList<SorvaneAIConnectionTarget> opened;

    void openSheet(SorvaneSettingsSection section, bool demo = false, bool signedIn = true, bool storageAllowed = true,
                   bool profileForm = true)
    {
        sheet.reset();
        fixture = std::make_unique<SettingsFixture>(demo);
        fixture->storageAllowed = storageAllowed;
        if (!profileForm)
            fixture->profileForm.reset();
        if (signedIn)
            fixture->signIn();
        SorvaneSettingsView::Parts parts;
        parts.model = fixture->parts();
        parts.cloud = [](QWidget *parent) {
            auto *view = new QLabel(QStringLiteral("cloud view"), parent);
            view->setObjectName(QStringLiteral("test.cloud"));
            return view;
        };
        parts.packages = [](QWidget *parent) {
            auto *view = new QLabel(QStringLiteral("packages view"), parent);
            view->setObjectName(QStringLiteral("test.packages"));
            return view;
        };
        parts.aiConnection = [this](const SorvaneAIConnectionTarget &target, QWidget *parent) {
            opened.append(target);
            return new QDialog(parent);
        };
        opened.clear();
        sheet = std::make_unique<SorvaneSettingsView>(std::move(parts), section);
        sheet->show();
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }
    void cleanup()
    {
        sheet.reset();
        fixture.reset();
    }

    void sections()
    {
        const QList<SorvaneSettingsSection> all = allSettingsSections();
        QStringList raw, symbols, titles;
        for (SorvaneSettingsSection section : all) {
            raw << rawValue(section);
            symbols << symbol(section);
            titles << title(section);
            QCOMPARE(settingsSectionFromRaw(rawValue(section)), std::optional(section));
        }
        QCOMPARE(raw.join(' '), QStringLiteral("account storage ai cloud packages language updates advanced"));
        QCOMPARE(symbols, (QStringList{"person.crop.circle", "externaldrive", "point.3.connected.trianglepath.dotted",
                                       "icloud", "shippingbox", "character.bubble", "arrow.down.circle",
                                       "wrench.and.screwdriver"}));
        QCOMPARE(titles, (QStringList{"Account", "Project storage", "Connect AI", "Cloud backups",
                                      "Local project packages", "App language", "Updates", "Advanced tools"}));
        QCOMPARE(settingsSectionFromRaw(QStringLiteral("AI")), std::nullopt);
        QCOMPARE(settingsSectionFromRaw(QStringLiteral("ai ")), std::nullopt);
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        QCOMPARE(title(SorvaneSettingsSection::language), QStringLiteral("Appens sprog"));
        QCOMPARE(title(SorvaneSettingsSection::storage), QStringLiteral("Projektplacering"));
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    }

    void sidebarRow()
    {
        SorvaneSidebarRow selected(QStringLiteral("Account"), QStringLiteral("person.crop.circle"), true);
        SorvaneSidebarRow plain(QStringLiteral("Account"), QStringLiteral("person.crop.circle"), false);
        selected.resize(200, selected.heightForWidth(200));
        plain.resize(200, plain.heightForWidth(200));
        QCOMPARE(selected.size(), plain.size());
        QVERIFY(selected.height() >= 44);
        QVERIFY(selected.isChecked() && !plain.isChecked());
        // A click reports itself and leaves the selection to the caller.
        QSignalSpy clicks(&plain, &QAbstractButton::clicked);
        QTest::mouseClick(&plain, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!plain.isChecked());
        QVERIFY(selected.grab().toImage() != plain.grab().toImage());
        // Every row draws its symbol whatever icon theme the desktop has (none here): the sheet's
        // sections and the window's settings row, which leaves a gap where it draws none.
        SorvaneSidebarRow bare(QStringLiteral("Account"), QStringLiteral("no.such.symbol"), false);
        bare.resize(200, bare.heightForWidth(200));
        for (const char *symbol : {"gearshape", "person.crop.circle", "externaldrive", "point.3.connected.trianglepath.dotted",
                                   "icloud", "shippingbox", "character.bubble", "arrow.down.circle", "wrench.and.screwdriver"}) {
            SorvaneSidebarRow row(QStringLiteral("Account"), QString::fromLatin1(symbol), false);
            row.resize(bare.size());
            QVERIFY2(row.grab().toImage() != bare.grab().toImage(), symbol);
        }
        // A title of three lines is cut after its second.
        SorvaneSidebarRow longRow(QStringLiteral("One two three four five six seven eight nine ten eleven twelve"),
                                  QStringLiteral("icloud"), false);
        const QString shown = longRow.shownTitle(150);
        QCOMPARE(shown.count('\n'), 1);
        QVERIFY(shown.endsWith(QChar(0x2026)));
    }

    void sidebarRowAnswersAsAFreshRow_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("then");
        QTest::newRow("short") << "Inbox" << "Queued or assigned";
        QTest::newRow("two lines where narrow") << "Queued or assigned" << "Inbox";
        QTest::newRow("Danish") << "I kø eller tildelt" << "Afventer kunden";
        QTest::newRow("cut after two lines") << "One two three four five six seven eight nine ten eleven twelve"
                                             << "One";
        QTest::newRow("trailing space") << "Closed tasks " << " Closed tasks";
        QTest::newRow("line feed") << "Two\nlines" << "Two lines";
        QTest::newRow("empty") << "" << "Settings";
    }
    // Asked at one width after another (narrower, wider, the same again), and
    // after a new title and font, a row answers as one that never laid its
    // title out, and its height follows the lines it draws.
    void sidebarRowAnswersAsAFreshRow()
    {
        QFETCH(QString, title);
        QFETCH(QString, then);
        SorvaneSidebarRow row(title, QStringLiteral("tray"), false);
        QFont bold = row.font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.3);
        const QList<int> widths{160, 139, 125, 190, 204, 160, 60, 400, 204, 100};
        for (int step = 0; step < 2 * widths.size(); ++step) {
            if (step == widths.size()) {
                row.setText(then);
                row.setFont(bold);
            }
            const int width = widths.at(step % widths.size());
            SorvaneSidebarRow fresh(row.text(), QStringLiteral("tray"), false);
            fresh.setFont(row.font());
            const QString shown = fresh.shownTitle(width);
            const int lines = int(shown.count(QLatin1Char('\n'))) + 1;
            QCOMPARE(fresh.heightForWidth(width), qMax(44, lines * fresh.fontMetrics().lineSpacing() + 20));
            QCOMPARE(row.heightForWidth(width), fresh.heightForWidth(width));
            QCOMPARE(row.shownTitle(width), shown);
        }
    }

    void sheetFrameAndBusyRow()
    {
        openSheet(SorvaneSettingsSection::account);
        QCOMPARE(sheet->size(), QSize(900, 660));
        QCOMPARE(find(sheet.get(), "sorvane.settings.sidebar")->width(), 220);
        QCOMPARE(sheet->objectName(), QStringLiteral("sorvane.settings.panel"));
        QVERIFY(!shown(sheet.get(), "sorvane.settings.busy"));
        auto *storageRow = find<SorvaneSidebarRow>(sheet.get(), "sorvane.settings.storage");
        QVERIFY(find<SorvaneSidebarRow>(sheet.get(), "sorvane.settings.account")->isChecked());

        fixture->startOperation();
        QVERIFY(shown(sheet.get(), "sorvane.settings.busy"));
        QVERIFY(!storageRow->isEnabled());
        storageRow->click();
        QCOMPARE(sheet->model().section(), SorvaneSettingsSection::account);
        find<QPushButton>(sheet.get(), "sorvane.settings.stop")->click();
        QTRY_VERIFY(!fixture->editor->busy());
        QVERIFY(!shown(sheet.get(), "sorvane.settings.busy"));
        QVERIFY(shown(sheet.get(), "sorvane.settings.message"));
        QVERIFY(storageRow->isEnabled());
        storageRow->click();
        QCOMPARE(sheet->model().section(), SorvaneSettingsSection::storage);
        QVERIFY(storageRow->isChecked());

        fixture->editor->setError(QStringLiteral("Something failed."));
        QCOMPARE(find<QLabel>(sheet.get(), "sorvane.settings.error")->text(), QStringLiteral("Something failed."));

        // Closing works while an operation runs, by the button and by Escape.
        fixture->startOperation();
        find<QPushButton>(sheet.get(), "sorvane.settings.close")->click();
        QVERIFY(!sheet->isVisible());
        sheet->show();
        QTest::keyClick(sheet.get(), Qt::Key_Escape);
        QVERIFY(!sheet->isVisible());
        fixture->editor->cancel();
    }

    void paneRules_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("enabled");  // names that must be shown and enabled
        QTest::addColumn<QString>("disabled"); // names that must be shown and disabled
        QTest::addColumn<QString>("absent");   // names that must not be shown
        QTest::addColumn<bool>("storageAllowed"); // the root view allows choosing a project folder
        QTest::addColumn<bool>("profileForm");    // the window has an own profile form
        const int account = int(SorvaneSettingsSection::account), ai = int(SorvaneSettingsSection::ai),
                  advanced = int(SorvaneSettingsSection::advanced), storage = int(SorvaneSettingsSection::storage),
                  cloud = int(SorvaneSettingsSection::cloud), packages = int(SorvaneSettingsSection::packages);
        QTest::newRow("account signed in") << account << false << true << false << false
                                           << "sorvane.profile.title" << "" << "editor.signIn" << true << true;
        QTest::newRow("account signed out") << account << false << false << false << false << "editor.signIn" << ""
                                            << "sorvane.profile.title" << true << true;
        QTest::newRow("account signed in without a profile form")
            << account << false << true << false << false << "" << "" << "sorvane.profile.title editor.signIn" << true
            << false;
        QTest::newRow("account in demo") << account << true << true << false << false << "" << ""
                                         << "sorvane.profile.title editor.signIn" << true << true;
        QTest::newRow("account while busy") << account << false << true << false << true << "sorvane.profile.title"
                                            << "" << "" << true << true;
        QTest::newRow("ai without folder") << ai << false << true << false << false << "sorvane.settings.storageJump"
                                           << "editor.ai.connect" << "" << true << true;
        QTest::newRow("ai with folder") << ai << false << true << true << false << "editor.ai.connect" << ""
                                        << "sorvane.settings.storageJump" << true << true;
        QTest::newRow("ai busy") << ai << false << true << true << true << "" << "editor.ai.connect" << "" << true
                                 << true;
        QTest::newRow("ai demo") << ai << true << true << true << false << "" << "editor.ai.connect" << "" << true
                                 << true;
        QTest::newRow("tools idle") << advanced << false << true << false << false << "sorvane.settings.chooseTools"
                                    << "" << "" << true << true;
        QTest::newRow("tools busy") << advanced << false << true << false << true << ""
                                    << "sorvane.settings.chooseTools" << "" << true << true;
        QTest::newRow("tools demo") << advanced << true << true << false << false << ""
                                    << "sorvane.settings.chooseTools" << "" << true << true;
        // The project location panel is disabled as a whole (it never
        // disables its own buttons): busy, in the demo, or while no folder
        // may be chosen for the selected task.
        QTest::newRow("storage idle") << storage << false << true << false << false << "editor.chooseProjectLocation"
                                      << "" << "" << true << true;
        QTest::newRow("storage busy") << storage << false << true << false << true << ""
                                      << "editor.chooseProjectLocation" << "" << true << true;
        QTest::newRow("storage demo") << storage << true << true << false << false << ""
                                      << "editor.chooseProjectLocation" << "" << true << true;
        QTest::newRow("storage not allowed") << storage << false << true << false << false << ""
                                             << "editor.chooseProjectLocation" << "" << false << true;
        QTest::newRow("cloud") << cloud << false << true << false << false << "test.cloud" << ""
                               << "sorvane.settings.pane" << true << true;
        QTest::newRow("cloud demo") << cloud << true << true << false << false << "" << "test.cloud" << "" << true
                                    << true;
        QTest::newRow("packages demo") << packages << true << true << false << false << "" << "test.packages"
                                       << "sorvane.settings.pane" << true << true;
    }

    void paneRules()
    {
        QFETCH(int, section);
        QFETCH(bool, demo);
        QFETCH(bool, signedIn);
        QFETCH(bool, folder);
        QFETCH(bool, busy);
        QFETCH(QString, enabled);
        QFETCH(QString, disabled);
        QFETCH(QString, absent);
        QFETCH(bool, storageAllowed);
        QFETCH(bool, profileForm);
        openSheet(SorvaneSettingsSection(section), demo, signedIn, storageAllowed, profileForm);
        if (folder)
            fixture->chooseFolder(QStringLiteral("inbox"));
        if (busy)
            fixture->startOperation();
        for (const QString &name : enabled.split(' ', Qt::SkipEmptyParts)) {
            QVERIFY2(shown(sheet.get(), name), qPrintable(name));
            QVERIFY2(find(sheet.get(), name)->isEnabled(), qPrintable(name));
        }
        for (const QString &name : disabled.split(' ', Qt::SkipEmptyParts)) {
            QVERIFY2(shown(sheet.get(), name), qPrintable(name));
            QVERIFY2(!find(sheet.get(), name)->isEnabled(), qPrintable(name));
        }
        for (const QString &name : absent.split(' ', Qt::SkipEmptyParts))
            QVERIFY2(!shown(sheet.get(), name), qPrintable(name));
        if (demo && section == int(SorvaneSettingsSection::account))
            QVERIFY(buttonWithText(sheet.get(), loc("Log ud")) == nullptr);
        if (section == int(SorvaneSettingsSection::account))
            QCOMPARE(sheet->model().accountShowsProfile(), shown(sheet.get(), "sorvane.profile.title"));
        fixture->editor->cancel();
    }

    void storageJumpAndToolsChoice()
    {
        openSheet(SorvaneSettingsSection::ai);
        find<QPushButton>(sheet.get(), "sorvane.settings.storageJump")->click();
        QCOMPARE(sheet->model().section(), SorvaneSettingsSection::storage);
        QVERIFY(find<SorvaneSidebarRow>(sheet.get(), "sorvane.settings.storage")->isChecked());
        find<SorvaneSidebarRow>(sheet.get(), "sorvane.settings.advanced")->click();
        find<QPushButton>(sheet.get(), "sorvane.settings.chooseTools")->click();
        QCOMPARE(fixture->choices, QStringList{QStringLiteral("tools")});
    }

    void connectAI()
    {
        openSheet(SorvaneSettingsSection::ai);
        // No folder: nothing happens.
        QVERIFY(!sheet->model().connectAI());

        fixture->chooseFolder(QStringLiteral("inbox"));
        auto *connectButton = find<QPushButton>(sheet.get(), "editor.ai.connect");
        connectButton->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].inbox, fixture->editor->inbox());
        QCOMPARE(opened[0].repository, fixture->editor->repository());
        QCOMPARE(opened[0].requestID, std::nullopt);
        opened[0].validateStorage(); // the same folder passes

        fixture->openTask(QStringLiteral("T-7"));
        find<QPushButton>(sheet.get(), "editor.ai.connect")->click();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[1].id != opened[0].id);
        QCOMPARE(opened[1].requestID, std::optional<QString>(QStringLiteral("T-7")));

        // Another folder, even a valid one, fails every later check of an open panel.
        fixture->chooseFolder(QStringLiteral("other"));
        try {
            opened[1].validateStorage();
            QFAIL("the changed folder passed");
        } catch (const BridgeError &error) {
            QCOMPARE(error.message(), loc("Projektplaceringen er ændret. Åbn opgaven igen."));
        }

        // A failing check shows in the error row and opens nothing.
        fixture->editor->setCompany(QStringLiteral("another company"));
        find<QPushButton>(sheet.get(), "editor.ai.connect")->click();
        QCOMPARE(opened.size(), 2);
        QVERIFY(shown(sheet.get(), "sorvane.settings.error"));
        QCOMPARE(fixture->editor->error(), std::optional<QString>(loc("Projektplaceringen er ændret. Åbn opgaven igen.")));
    }

    void signOutClearsEverythingFirst_data()
    {
        QTest::addColumn<bool>("logoutFails");
        QTest::newRow("sign-out succeeds") << false;
        QTest::newRow("sign-out fails") << true;
    }

    void signOutClearsEverythingFirst()
    {
        QFETCH(bool, logoutFails);
        openSheet(SorvaneSettingsSection::account);
        fixture->openTask(QStringLiteral("T-1"));
        fixture->startOperation();
        fixture->log.clear();
        if (logoutFails)
            fixture->api->logoutError = std::make_exception_ptr(BridgeError::failed(QStringLiteral("offline")));
        fixture->api->held = true;
        QPushButton *signOut = buttonWithText(sheet.get(), loc("Log ud"));
        QVERIFY(signOut);
        signOut->click();
        QTRY_VERIFY(fixture->api->calls.contains(QStringLiteral("logout")));
        QCOMPARE(fixture->log, (QStringList{"editor", "profiles", "queue", "inbox"}));
        QVERIFY(!fixture->editor->busy());
        fixture->api->release();
        QTRY_VERIFY(!fixture->session->busy());
        QCOMPARE(fixture->log.mid(0, 4), (QStringList{"editor", "profiles", "queue", "inbox"}));
        QVERIFY(!fixture->queue->openedTask().detail());
    }

    void languageIsWrittenAtOnce()
    {
        auto store = std::make_shared<MemorySettingsStore>();
        SettingsStore::setStandard(store);
        openSheet(SorvaneSettingsSection::language);
        auto *picker = find<QComboBox>(sheet.get(), "editor.settings.language");
        QVERIFY(picker && picker->isVisible());
        QCOMPARE(picker->currentData().toString(), QStringLiteral("system"));
        picker->setCurrentIndex(picker->findData(QStringLiteral("da")));
        QCOMPARE(store->value(QLatin1String(EditorLocalization::preferenceKey)).toString(), QStringLiteral("da"));
        SettingsStore::setStandard(nullptr);
    }
};

QTEST_MAIN(TestSorvaneSettings)
#include "tst_sorvanesettings.moc"
