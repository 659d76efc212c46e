// The presentation functions keep per-thread tables of folded texts and
// collation keys. These tests make sure no table ever answers for a text,
// locale or row it was not built from.

#include "inboxfixtures.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxpresentation.h"

#include <QCollator>
#include <QtTest>

using namespace InboxFixtures;

namespace {

const QUuid me = QUuid::fromString(operatorID);

SorvaneInboxRow titled(int n, const QString &title)
{
    SorvaneInboxRow r = SorvaneInboxRow::fromJson(JsonObjectReader(row(n)));
    r.film.title = title;
    return r;
}

QStringList titles(const QList<SorvaneInboxRow> &rows)
{
    QStringList result;
    for (const SorvaneInboxRow &r : rows)
        result.append(r.film.title);
    return result;
}

QList<SorvaneInboxRow> byTitle(const QList<SorvaneInboxRow> &rows, const QLocale &locale)
{
    SorvaneInboxPreferences preferences;
    preferences.sort = SorvaneInboxSort::title;
    preferences.filter = SorvaneInboxFilter::blocked; // every fixture row is queued
    return SorvaneInboxPresentation::rows(rows, std::nullopt, preferences, me, locale);
}

} // namespace

class TestSorvaneInboxPresentationMemo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting("en"); }

    // Each locale's own order, however the calls alternate: a table built for
    // one locale must not answer for the next.
    void titleOrderFollowsLocale_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::newRow("da first") << QStringList{"da", "en", "da", "c", "en"};
        QTest::newRow("en first") << QStringList{"en", "da", "c", "da", "en"};
    }

    void titleOrderFollowsLocale()
    {
        QFETCH(QStringList, languages);
        // Danish sorts "aa" as the letter after z; the C locale has no
        // numeric collation, so "a10" comes before "a9" there.
        const QList<SorvaneInboxRow> rows{titled(1, "Zebra"), titled(2, "Aarhus"), titled(3, "a9"),
                                          titled(4, "a10")};
        const QHash<QString, QStringList> expected{
            {"da", {"a9", "a10", "Zebra", "Aarhus"}},
            {"en", {"a9", "a10", "Aarhus", "Zebra"}},
            {"c", {"a10", "a9", "Aarhus", "Zebra"}},
        };
        for (const QString &language : languages) {
            const QLocale locale = language == u"c" ? QLocale::c() : SorvaneInboxPresentation::locale(language);
            QCOMPARE(titles(byTitle(rows, locale)), expected.value(language));
        }
    }

    // Sorting by collation keys must give exactly the collator's order,
    // including texts the collator finds equal or that fold to nothing.
    void titleOrderAgreesWithCollator_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("da") << "da";
        QTest::newRow("en") << "en";
    }

    void titleOrderAgreesWithCollator()
    {
        QFETCH(QString, language);
        const QLocale locale = SorvaneInboxPresentation::locale(language);
        // "\u0301" folds to the empty text, "\u200B" to an ignorable one.
        const QStringList texts{"Film 10", "film 9", "\u0301", "\u200B", "b", "B", "Øresund", "Ærø", "Åse",
                                "aa", "Film 9 ", "10", "9", "über", "uber"};
        QList<SorvaneInboxRow> rows;
        for (int i = 0; i < texts.size(); ++i)
            rows.append(titled(texts.size() - i, texts.at(i))); // ids in reverse, so ties show

        const QList<SorvaneInboxRow> sorted = byTitle(rows, locale);

        // The plain definition: fold (no accents, case-folded), collate, then
        // ids. Danish counts "å" as a letter of its own and "ü" as "y".
        QCollator collator(locale);
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        const QString ownLetters = language == u"da" ? QStringLiteral("åÅüÜ") : QString();
        const auto fold = [&](const QString &text) {
            QString out;
            for (QChar letter : text.normalized(QString::NormalizationForm_C)) {
                if (ownLetters.contains(letter)) {
                    out.append(letter);
                    continue;
                }
                for (QChar c : QString(letter).normalized(QString::NormalizationForm_D))
                    if (c.category() != QChar::Mark_NonSpacing)
                        out.append(c);
            }
            return out.toCaseFolded();
        };
        QList<SorvaneInboxRow> reference = rows;
        std::stable_sort(reference.begin(), reference.end(), [&](const SorvaneInboxRow &a, const SorvaneInboxRow &b) {
            if (const int order = collator.compare(fold(a.film.title), fold(b.film.title)); order != 0)
                return order < 0;
            return a.request.id.toLower() < b.request.id.toLower();
        });
        QCOMPARE(titles(sorted), titles(reference));
        QCOMPARE(sorted.first().film.title, QStringLiteral("\u0301"));
    }

    // Tables are keyed by the text, so a row whose text changed between two
    // calls is ordered and searched by its new text.
    void changedRowsAreSeenAgain()
    {
        const QLocale locale = SorvaneInboxPresentation::locale("en");
        QList<SorvaneInboxRow> rows{titled(1, "Alpha"), titled(2, "Beta")};
        QCOMPARE(titles(byTitle(rows, locale)), (QStringList{"Alpha", "Beta"}));
        rows[0].film.title = "Gamma";
        QCOMPARE(titles(byTitle(rows, locale)), (QStringList{"Beta", "Gamma"}));

        SorvaneInboxPreferences search;
        search.filter = SorvaneInboxFilter::blocked;
        search.query = "alpha";
        QVERIFY(!SorvaneInboxPresentation::matches(rows[0], search, me));
        rows[0].company.contactName = "ALPHA Ålund";
        QVERIFY(SorvaneInboxPresentation::matches(rows[0], search, me));
        QCOMPARE(SorvaneInboxPresentation::rows(rows, std::nullopt, search, me, locale).size(), 1);
        rows[0].company.contactName.reset();
        QCOMPARE(SorvaneInboxPresentation::rows(rows, std::nullopt, search, me, locale).size(), 0);
    }

    // rows() folds the query once for all rows; it must still agree with
    // matches() row by row, also for a query that folds to nothing.
    void rowsAgreeWithMatches_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << " \n ";
        QTest::newRow("accented") << "ÅLUND";
        QTest::newRow("title word") << "sommer";
        QTest::newRow("only a mark") << "\u0301";
        QTest::newRow("nowhere") << "zzz";
    }

    void rowsAgreeWithMatches()
    {
        QFETCH(QString, query);
        QList<SorvaneInboxRow> rows;
        for (int i = 1; i <= 6; ++i)
            rows.append(titled(i, i % 2 ? QStringLiteral("Film om sommer %1").arg(i) : QStringLiteral("Vinter")));
        rows[3].company.contactName = "Sören Ålund";
        rows[4].film.campaignTitle = "Sommerkampagne";
        SorvaneInboxPreferences preferences;
        preferences.filter = SorvaneInboxFilter::blocked;
        preferences.sort = SorvaneInboxSort::title;
        preferences.query = query;
        QStringList expected;
        for (const SorvaneInboxRow &r : byTitle(rows, SorvaneInboxPresentation::locale("en")))
            if (SorvaneInboxPresentation::matches(r, preferences, me))
                expected.append(r.request.id);
        QStringList listed;
        for (const SorvaneInboxRow &r :
             SorvaneInboxPresentation::rows(rows, std::nullopt, preferences, me, SorvaneInboxPresentation::locale("en")))
            listed.append(r.request.id);
        QCOMPARE(listed, expected);
    }

    // The tie-break lower-cases ids; ids that differ only in letter case keep
    // their input order.
    void idTieBreakIgnoresLetterCase()
    {
        QList<SorvaneInboxRow> rows{titled(1, "Same"), titled(2, "Same"), titled(3, "Same")};
        rows[0].request.id = "B0000000-0000-4000-8000-000000000000";
        rows[1].request.id = "a0000000-0000-4000-8000-000000000000";
        rows[2].request.id = "b0000000-0000-4000-8000-000000000000";
        QStringList ids;
        for (const SorvaneInboxRow &r : byTitle(rows, SorvaneInboxPresentation::locale("en")))
            ids.append(r.request.id);
        QCOMPARE(ids, (QStringList{rows[1].request.id, rows[0].request.id, rows[2].request.id}));
    }
};

QTEST_GUILESS_MAIN(TestSorvaneInboxPresentationMemo)
#include "tst_sorvaneinboxpresentationmemo.moc"
