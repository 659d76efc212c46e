// The package, package list and cloud panels offscreen: texts and enabled
// states in the empty, busy, failed and filled states, found by objectName.
#include <QtTest>

#include "editor/desktopservices.h"
#include "editor/editormodel.h"
#include "editor/ui/cloudbackupsview.h"
#include "editor/ui/localpackagesview.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
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

template<typename T>
T *child(QWidget *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

} // namespace

class TestEditorPanels : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        qputenv("TZ", "UTC"); // dates read in the local zone
    }
    void projectLocationWithoutFolder();
    void cloudPanelRules();
    void cloudListingRows();
    void returnInTheCompanyFieldListsNothing();
};

void TestEditorPanels::projectLocationWithoutFolder()
{
    auto model = EditorModel::create(nullptr);
    int chosen = 0;
    ProjectLocationView view(model, [&chosen] { ++chosen; });
    auto *choose = child<QPushButton>(&view, "editor.chooseProjectLocation");
    QCOMPARE(choose->text(), QStringLiteral("Vælg mappe…"));
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->text(),
             QStringLiteral("Vælg en kundemappe, gerne på en ekstern disk."));
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.path")->toolTip(), QString());
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.scope")->text(), QStringLiteral("Lokal indbakke"));
    QVERIFY(child<QWidget>(&view, "editor.projectLocation.issue")->parentWidget()->parentWidget()->isHidden());
    model->setCompany(QStringLiteral("firma"));
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.scope")->text(), QStringLiteral("Huskes for denne kunde"));
    model->setStorageIssue(QStringLiteral("Tilslut disken."));
    QVERIFY(!child<QWidget>(&view, "editor.projectLocation.issue")->parentWidget()->parentWidget()->isHidden());
    QCOMPARE(child<QLabel>(&view, "editor.projectLocation.issue")->text(), QStringLiteral("Tilslut disken."));
    choose->click();
    QCOMPARE(chosen, 1);
}

void TestEditorPanels::cloudPanelRules()
{
    auto model = EditorModel::create(nullptr, {}, [](const BridgeCommand &, const QString &, CancellationToken)
                                          -> QCoro::Task<QByteArray> {
        co_return QByteArray(R"({"companyID": "c-1", "backups": []})");
    });
    CloudBackupsView view(model);
    // The field holds the company once one is chosen, so its name stands beside it, not only as a placeholder.
    auto *companyLabel = child<QLabel>(&view, "editor.cloud.companyLabel");
    QCOMPARE(companyLabel->text(), QStringLiteral("Firma-ID"));
    QCOMPARE(companyLabel->buddy(), child<QLineEdit>(&view, "editor.cloud.company"));
    // It names no tool that a person of this app does not have.
    QCOMPARE(child<QLabel>(&view, "editor.cloud.footnote")->text(),
             QString::fromUtf8("Alle filer og SHA-256 skal stemme, før projektmappen bliver synlig. Eksisterende mapper "
                               "overskrives aldrig. Listen viser færdige kopier blandt de seneste 50."));
    auto *find = child<QPushButton>(&view, "editor.cloud.find");
    QVERIFY(!find->isEnabled()); // signed out
    model->accountChanged(QUrl(QStringLiteral("tavlon-session://1b4e28ba-2fa1-11d2-883f-0016cb7b2c6a")));
    QVERIFY(find->isEnabled());
    find->click();
    QTRY_VERIFY(model->cloud().has_value());
    QVERIFY(!child<QWidget>(&view, "editor.cloud.listing")->isHidden());
    QVERIFY(!child<QLabel>(&view, "editor.cloud.empty")->isHidden());
    QCOMPARE(child<QLabel>(&view, "editor.cloud.companyLine")->text(), QStringLiteral("Firma: c-1"));
    // No backup can be chosen and there is no project folder.
    QVERIFY(!child<QPushButton>(&view, "editor.cloud.download")->isEnabled());
    // One keystroke in the company field drops the listing at once.
    QTest::keyClick(child<QLineEdit>(&view, "editor.cloud.company"), Qt::Key_A);
    QCOMPARE(model->company(), QStringLiteral("a"));
    QVERIFY(!model->cloud().has_value());
    QVERIFY(child<QWidget>(&view, "editor.cloud.listing")->isHidden());
}

void TestEditorPanels::cloudListingRows()
{
    auto model = EditorModel::create(nullptr, {}, [](const BridgeCommand &, const QString &, CancellationToken)
                                          -> QCoro::Task<QByteArray> {
        co_return QByteArray(R"({"companyID": "c-1", "backups": [
            {"id": "b-1", "local_project_id": "abc", "revision": 2, "completed_at": "2026-01-02T03:04:05Z"},
            {"id": "b-2", "local_project_id": "0123456789", "revision": 5, "completed_at": "i går"}]})");
    });
    CloudBackupsView view(model);
    model->accountChanged(QUrl(QStringLiteral("tavlon-session://1b4e28ba-2fa1-11d2-883f-0016cb7b2c6a")));
    model->listCloud();
    QTRY_VERIFY(model->cloud().has_value());
    QVERIFY(view.isEnabled());
    const auto titles = view.findChildren<QLabel *>(QStringLiteral("editor.cloud.backup.title"));
    QCOMPARE(titles.size(), 2);
    QCOMPARE(titles[0]->text(), QStringLiteral("Film abc · version 2"));
    QCOMPARE(titles[1]->text(), QStringLiteral("Film 01234567 · version 5"));
    // A completion time reads as a local date and time; a text that is no timestamp stands as the tool wrote it.
    const auto completed = view.findChildren<QLabel *>(QStringLiteral("editor.cloud.backup.completed"));
    QCOMPARE(completed[0]->text(), QStringLiteral("02.01.2026 03.04"));
    QCOMPARE(completed[1]->text(), QStringLiteral("i går"));
    const auto rows = view.findChildren<QPushButton *>(QStringLiteral("editor.cloud.backup"));
    rows[1]->click();
    QCOMPARE(model->selectedCloudID(), std::optional<QString>(QStringLiteral("b-2")));
    const auto marks = view.findChildren<QLabel *>(QStringLiteral("editor.cloud.backup.mark"));
    QCOMPARE(marks[0]->property("symbol").toString(), QStringLiteral("circle"));
    QCOMPARE(marks[1]->property("symbol").toString(), QStringLiteral("checkmark.circle.fill"));
    // The choice must be visible whatever icon theme the desktop has.
    QVERIFY(marks[0]->grab().toImage() != marks[1]->grab().toImage());
    QVERIFY(!child<QPushButton>(&view, "editor.cloud.download")->isEnabled()); // still no project folder
}

// In the settings sheet (a dialog) Return in the company field only ends
// the typing: listing is the button's job, not the dialog's default.
void TestEditorPanels::returnInTheCompanyFieldListsNothing()
{
    int runs = 0;
    auto model = EditorModel::create(nullptr, {}, [&runs](const BridgeCommand &, const QString &, CancellationToken)
                                          -> QCoro::Task<QByteArray> {
        ++runs;
        co_return QByteArray(R"({"companyID": "c-1", "backups": []})");
    });
    model->accountChanged(QUrl(QStringLiteral("tavlon-session://1b4e28ba-2fa1-11d2-883f-0016cb7b2c6a")));
    QDialog sheet;
    auto *view = new CloudBackupsView(model, &sheet);
    (new QVBoxLayout(&sheet))->addWidget(view);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    auto *company = child<QLineEdit>(view, "editor.cloud.company");
    company->setFocus();
    QTest::keyClicks(company, QStringLiteral("c-1"));
    QTest::keyClick(company, Qt::Key_Return);
    QCOMPARE(model->busy(), std::nullopt);
    QCOMPARE(runs, 0);
    QVERIFY(sheet.isVisible());
}

QTEST_MAIN(TestEditorPanels)
#include "tst_editorpanels.moc"
