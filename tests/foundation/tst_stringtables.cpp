// Every literal handed to the lookup must be in both string tables, so no
// text can ship untranslated.
#include <QtTest>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

class TestStringTables : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyKeyIsTranslated();
    void tablesHaveTheSameKeys();
    void productNamesAreCapitalised();

private:
    static QJsonObject table(const QString &language);
    static QMap<QString, QString> sourceKeys();
};

QJsonObject TestStringTables::table(const QString &language)
{
    QFile file(QStringLiteral(TAVLON_BUNDLE_DIR "/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle/")
               + language + QStringLiteral(".lproj/Localizable.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Collects the literals given to loc() and locKey(), with the file
// each was found in. Adjacent literals ("a" "b") are joined as C++ does.
QMap<QString, QString> TestStringTables::sourceKeys()
{
    static const QRegularExpression call(QStringLiteral(R"re(\b(?:loc|locKey)\(\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+))re"));
    static const QRegularExpression piece(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    QMap<QString, QString> keys;
    QDirIterator it(QStringLiteral(TAVLON_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = call.globalMatch(text);
        while (matches.hasNext()) {
            const auto m = matches.next();
            QString key;
            auto pieces = piece.globalMatch(m.captured(1));
            while (pieces.hasNext()) {
                QString raw = pieces.next().captured(1);
                raw.replace(QStringLiteral("\\\""), QStringLiteral("\""));
                raw.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
                raw.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
                key += raw;
            }
            keys.insert(key, QDir(QStringLiteral(TAVLON_SOURCE_DIR)).relativeFilePath(path));
        }
    }
    return keys;
}

void TestStringTables::everyKeyIsTranslated()
{
    const QJsonObject da = table(QStringLiteral("da"));
    const QJsonObject en = table(QStringLiteral("en"));
    QVERIFY(!da.isEmpty());
    QVERIFY(!en.isEmpty());
    const auto keys = sourceKeys();
    QStringList missing;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (!da.contains(it.key()))
            missing << QStringLiteral("da: \"%1\" (%2)").arg(it.key(), it.value());
        if (!en.contains(it.key()))
            missing << QStringLiteral("en: \"%1\" (%2)").arg(it.key(), it.value());
    }
    if (!missing.isEmpty())
        QFAIL(qPrintable(QStringLiteral("Missing translations:\n") + missing.join(QLatin1Char('\n'))));
}

void TestStringTables::tablesHaveTheSameKeys()
{
    const QStringList da = table(QStringLiteral("da")).keys();
    const QStringList en = table(QStringLiteral("en")).keys();
    QCOMPARE(da, en);
}

// The product's names are names: a sentence written here (a translation)
// spells them capitalised. Keys quoted from the product's own texts stand as
// they are given, so a value equal to its key is not judged.
void TestStringTables::productNamesAreCapitalised()
{
    static const QRegularExpression lowerName(QStringLiteral(R"re((?<![\w.])(sorvane|morvinge)(?![\w.]))re"));
    for (const QString &language : {QStringLiteral("da"), QStringLiteral("en")}) {
        const QJsonObject strings = table(language);
        QVERIFY(!strings.isEmpty());
        for (auto it = strings.begin(); it != strings.end(); ++it) {
            const QString value = it.value().toString();
            if (value == it.key())
                continue;
            QVERIFY2(!lowerName.match(value).hasMatch(), qPrintable(language + QStringLiteral(": ") + value));
        }
    }
}

QTEST_GUILESS_MAIN(TestStringTables)
#include "tst_stringtables.moc"
