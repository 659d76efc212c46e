#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "foundation/ui/editorsettingsview.h"

#include <QComboBox>
#include <QtTest>

class TestEditorSettingsView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init() { SettingsStore::setStandard(m_store = std::make_shared<MemorySettingsStore>()); }
    void showsTheStoredChoice_data();
    void showsTheStoredChoice();
    void choosingWritesAtOnce();

private:
    std::shared_ptr<MemorySettingsStore> m_store;
};

void TestEditorSettingsView::showsTheStoredChoice_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nothing stored") << QVariant() << "Følg systemet";
    QTest::newRow("system") << QVariant("system") << "Følg systemet";
    QTest::newRow("da") << QVariant("da") << "Dansk";
    QTest::newRow("en") << QVariant("en") << "English";
    QTest::newRow("unknown value") << QVariant("DA") << "";
}

void TestEditorSettingsView::showsTheStoredChoice()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    if (stored.isValid())
        m_store->setValue(QStringLiteral("editor.interfaceLanguage"), stored);
    EditorSettingsView view;
    auto *picker = view.findChild<QComboBox *>(QStringLiteral("editor.settings.language"));
    QVERIFY(picker);
    QCOMPARE(picker->count(), 3);
    QCOMPARE(picker->currentText(), shown);
    QCOMPARE(view.width(), 430);
    // Showing the panel writes nothing.
    QCOMPARE(m_store->contains(QStringLiteral("editor.interfaceLanguage")), stored.isValid());
}

void TestEditorSettingsView::choosingWritesAtOnce()
{
    EditorSettingsView view;
    auto *picker = view.findChild<QComboBox *>(QStringLiteral("editor.settings.language"));
    picker->setCurrentIndex(2);
    QCOMPARE(m_store->value(QStringLiteral("editor.interfaceLanguage")).toString(), QStringLiteral("en"));
    picker->setCurrentIndex(0);
    QCOMPARE(m_store->value(QStringLiteral("editor.interfaceLanguage")).toString(), QStringLiteral("system"));
    // The interface language of this run stays as it was.
    QCOMPARE(EditorLocalization::language(), QStringLiteral("da"));
}

QTEST_MAIN(TestEditorSettingsView)
#include "tst_editorsettingsview.moc"
