#include "foundation/localization.h"

#include <QTranslator>

#include <QtTest>

class TestLocalization : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resolve_data();
    void resolve();
    void lookup_data();
    void lookup();
    void format_data();
    void format();
    void toolkitTranslations_data();
    void toolkitTranslations();
};

void TestLocalization::resolve_data()
{
    QTest::addColumn<QVariant>("preference");
    QTest::addColumn<QStringList>("preferred");
    QTest::addColumn<QString>("expected");

    const QVariant none;
    QTest::newRow("system languages, second is Danish") << none << QStringList{"fr-FR", "da-DK"} << "da";
    QTest::newRow("no supported system language") << none << QStringList{"nb-NO", "sv-SE"} << "en";
    QTest::newRow("nothing at all") << none << QStringList{} << "en";
    QTest::newRow("system with underscore tag") << QVariant("system") << QStringList{"da_DK"} << "da";
    QTest::newRow("empty preference") << QVariant("") << QStringList{"da_DK"} << "da";
    QTest::newRow("upper-case preference is not exact") << QVariant("DA") << QStringList{"en-GB"} << "en";
    QTest::newRow("upper-case tag counts") << none << QStringList{"EN-us", "da"} << "en";
    QTest::newRow("lone hyphen is skipped") << none << QStringList{"-", "da"} << "da";
    QTest::newRow("stored en beats Danish system") << QVariant("en") << QStringList{"da-DK"} << "en";
    QTest::newRow("stored da") << QVariant("da") << QStringList{"en-US"} << "da";
    QTest::newRow("prefix only counts as a whole piece") << none << QStringList{"dan", "english", "da"} << "da";
}

void TestLocalization::resolve()
{
    QFETCH(QVariant, preference);
    QFETCH(QStringList, preferred);
    QFETCH(QString, expected);
    std::optional<QString> pref;
    if (preference.isValid())
        pref = preference.toString();
    QCOMPARE(EditorLocalization::resolve(pref, preferred), expected);
}

void TestLocalization::lookup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("expected");
    QTest::newRow("da") << "Projektplacering" << "da" << "Projektplacering";
    QTest::newRow("en") << "Projektplacering" << "en" << "Project location";
    QTest::newRow("unknown language reads English") << "Projektplacering" << "fr" << "Project location";
    QTest::newRow("missing key shows as written") << "Ingen sådan nøgle 100%" << "en" << "Ingen sådan nøgle 100%";
}

void TestLocalization::lookup()
{
    QFETCH(QString, key);
    QFETCH(QString, language);
    QFETCH(QString, expected);
    QCOMPARE(EditorLocalization::text(key, language), expected);
}

void TestLocalization::format_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("expected");

    QTest::newRow("decimal comma") << "%.2f–%.2f sek. fra originalen" << "da" << QVariantList{1.5, 2.0}
                                   << "1,50–2,00 sek. fra originalen";
    QTest::newRow("decimal point") << "%.2f–%.2f s from the original" << "en" << QVariantList{1.5, 2.0}
                                   << "1.50–2.00 s from the original";
    QTest::newRow("rounds like printf") << "%.1f" << "da" << QVariantList{4.25} << "4,2";
    QTest::newRow("one decimal") << "%.1f sek." << "da" << QVariantList{3.0} << "3,0 sek.";
    QTest::newRow("no grouping in Danish") << "%lld filer" << "da" << QVariantList{qint64(24000)} << "24000 filer";
    QTest::newRow("no grouping for large") << "%lld bytes" << "en" << QVariantList{qint64(5000000000LL)} << "5000000000 bytes";
    QTest::newRow("negative") << "%lld" << "da" << QVariantList{qint64(-1)} << "-1";
    QTest::newRow("text") << "Hej %@!" << "da" << QVariantList{QString("Åse")} << "Hej Åse!";
    QTest::newRow("percent escape") << "100%% af %@" << "en" << QVariantList{QString("x")} << "100% af x";
    QTest::newRow("positional") << "%2$@ før %1$@" << "en" << QVariantList{QString("a"), QString("b")} << "b før a";
    QTest::newRow("missing argument kept") << "%@ og %@" << "en" << QVariantList{QString("a")} << "a og %@";
    QTest::newRow("trailing percent") << "50%" << "en" << QVariantList{QString("a")} << "50%";
}

void TestLocalization::format()
{
    QFETCH(QString, sentence);
    QFETCH(QString, language);
    QFETCH(QVariantList, args);
    QFETCH(QString, expected);
    std::vector<FormatArg> arguments;
    for (const QVariant &v : args) {
        if (v.typeId() == QMetaType::QString)
            arguments.emplace_back(v.toString());
        else if (v.typeId() == QMetaType::Double)
            arguments.emplace_back(v.toDouble());
        else
            arguments.emplace_back(qint64(v.toLongLong()));
    }
    QCOMPARE(EditorLocalization::format(sentence, language, arguments), expected);
}

// The toolkit's own texts (buttons, the file chooser) follow the interface language.
void TestLocalization::toolkitTranslations_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("standard button") << "da" << QByteArray("QPlatformTheme") << QByteArray("Cancel") << "Annuller";
    QTest::newRow("file chooser") << "da" << QByteArray("QFileDialog") << QByteArray("Look in:") << "Kig i:";
    QTest::newRow("file list column") << "da" << QByteArray("QFileSystemModel") << QByteArray("Name") << "Navn";
    QTest::newRow("a folder's type") << "da" << QByteArray("QAbstractFileIconProvider") << QByteArray("Folder")
                                     << "Mappe";
    QTest::newRow("English stays") << "en" << QByteArray("QPlatformTheme") << QByteArray("Cancel") << "Cancel";
}

void TestLocalization::toolkitTranslations()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    EditorLocalization::overrideLanguageForTesting(language);
    QVERIFY(EditorLocalization::installToolkitTranslations());
    QCOMPARE(QCoreApplication::translate(context.constData(), source.constData()), expected);
    qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>());
}

QTEST_GUILESS_MAIN(TestLocalization)
#include "tst_localization.moc"
