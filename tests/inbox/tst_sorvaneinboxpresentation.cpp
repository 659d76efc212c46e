#include "inboxfixtures.h"

#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxpresentation.h"

#include <QtTest>

using namespace InboxFixtures;

namespace {

const QUuid me = QUuid::fromString(operatorID);

SorvaneInboxRow makeRow(int n, const QString &status = "waiting", bool canClaim = false)
{
    return SorvaneInboxRow::fromJson(JsonObjectReader(row(n, status, canClaim)));
}

QStringList ids(const QList<SorvaneInboxRow> &rows)
{
    QStringList result;
    for (const SorvaneInboxRow &r : rows)
        result.append(r.request.id);
    return result;
}

} // namespace

class TestSorvaneInboxPresentation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting("en"); }

    void nextActor_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("canClaim");
        QTest::addColumn<QString>("claimedBy");
        QTest::addColumn<bool>("knowOperator");
        QTest::addColumn<int>("actor");
        QTest::addColumn<bool>("canStart");
        const int current = int(SorvaneNextActor::currentOperator), customer = int(SorvaneNextActor::customer),
                  other = int(SorvaneNextActor::otherEditor), queued = int(SorvaneNextActor::queued),
                  closed = int(SorvaneNextActor::closed);
        QTest::newRow("waiting concept") << "waiting" << "conceptDevelopment" << false << "" << true << current << false;
        QTest::newRow("waiting script") << "waiting" << "scriptDevelopment" << false << "" << true << current << false;
        QTest::newRow("waiting film claimable") << "waiting" << "filmEditing" << true << "" << true << current << false;
        QTest::newRow("waiting film queued") << "waiting" << "filmEditing" << false << "" << true << queued << false;
        QTest::newRow("active mine upper case")
            << "active" << "filmEditing" << false << operatorID.toUpper() << true << current << true;
        QTest::newRow("changes mine") << "changes_requested" << "filmEditing" << false << operatorID << true << current
                                      << true;
        QTest::newRow("active script mine") << "active" << "scriptDevelopment" << false << operatorID << true << current
                                            << false;
        QTest::newRow("active another") << "active" << "filmEditing" << false << uuidFor(3) << true << other << false;
        QTest::newRow("active unclaimed") << "active" << "filmEditing" << false << "" << true << other << false;
        QTest::newRow("active no operator") << "active" << "filmEditing" << false << operatorID << false << other
                                            << false;
        QTest::newRow("review") << "review" << "filmEditing" << false << operatorID << true << customer << false;
        QTest::newRow("approved") << "approved" << "filmEditing" << false << "" << true << closed << false;
        QTest::newRow("capitalised") << "Waiting" << "filmEditing" << true << "" << true << closed << false;
    }

    void nextActor()
    {
        QFETCH(QString, status);
        QFETCH(QString, kind);
        QFETCH(bool, canClaim);
        QFETCH(QString, claimedBy);
        QFETCH(bool, knowOperator);
        QFETCH(int, actor);
        QFETCH(bool, canStart);
        SorvaneInboxRow r = makeRow(1, status, canClaim);
        r.request.kind = kind == u"filmEditing" ? ServiceKind::filmEditing
            : kind == u"scriptDevelopment"     ? ServiceKind::scriptDevelopment
                                               : ServiceKind::conceptDevelopment;
        if (!claimedBy.isEmpty())
            r.request.claimed_by = claimedBy;
        const std::optional<QUuid> op = knowOperator ? std::optional(me) : std::nullopt;
        QCOMPARE(int(r.nextActor(op)), actor);
        QCOMPARE(r.canStart(op), canStart);
        r.scheduling.startedAt = "2024-05-02T08:00:00Z";
        QVERIFY(!r.canStart(op));
    }

    void pipelineStages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stage");
        QTest::newRow("script") << "script" << "development";
        QTest::newRow("idea") << "idea" << "development";
        QTest::newRow("production") << "production" << "post";
        QTest::newRow("Production") << "Production" << "";
        QTest::newRow("post") << "post" << "";
        QTest::newRow("development") << "development" << "";
        QTest::newRow("delivery") << "delivery" << "delivery";
    }

    void pipelineStages()
    {
        QFETCH(QString, text);
        QFETCH(QString, stage);
        const auto mapped = SorvanePipelineStages::fromFilmStage(text);
        QCOMPARE(mapped ? SorvanePipelineStages::rawValue(*mapped) : QString(), stage);
        QVERIFY(!SorvanePipelineStages::fromFilmStage(std::nullopt));
    }

    void filters_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("shown");
        // rows: 1 mine (claimable), 2 queued, 3 with another editor, 4 with the customer, 5 approved
        QTest::newRow("all") << int(SorvaneInboxFilter::all) << QStringList{"1", "2", "3", "4"};
        QTest::newRow("mine") << int(SorvaneInboxFilter::mine) << QStringList{"1"};
        QTest::newRow("customer") << int(SorvaneInboxFilter::customer) << QStringList{"4"};
        QTest::newRow("blocked") << int(SorvaneInboxFilter::blocked) << QStringList{"2", "3"};
        QTest::newRow("completed") << int(SorvaneInboxFilter::completed) << QStringList{"5"};
    }

    void filters()
    {
        QFETCH(int, filter);
        QFETCH(QStringList, shown);
        QList<SorvaneInboxRow> rows{makeRow(1, "waiting", true), makeRow(2), makeRow(3, "active"), makeRow(4, "review"),
                                    makeRow(5, "approved")};
        rows[2].request.claimed_by = uuidFor(3);
        SorvaneInboxPreferences preferences;
        preferences.filter = SorvaneInboxFilter(filter);
        QStringList result;
        for (const SorvaneInboxRow &r : rows)
            if (SorvaneInboxPresentation::matches(r, preferences, me))
                result.append(QString::number(r.request.id.right(1).toInt(nullptr, 16)));
        QCOMPARE(result, shown);
    }

    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("found");
        QTest::newRow("blank") << " \n\t" << true;
        QTest::newRow("title") << "film 1" << true;
        QTest::newRow("contact without accents") << "  soren " << true;
        QTest::newRow("contact in capitals") << "SÖRÉN" << true;
        QTest::newRow("campaign") << "sommer" << true;
        QTest::newRow("stage only") << "production" << false;
        QTest::newRow("task id only") << uuidFor(1, 1).left(8) << false;
    }

    void search()
    {
        QFETCH(QString, query);
        QFETCH(bool, found);
        SorvaneInboxRow r = makeRow(1, "waiting", true);
        r.company.contactName = QStringLiteral("Sörén Ålund");
        r.film.campaignTitle = QStringLiteral("Sommer");
        r.film.campaignID = QUuid::createUuid();
        SorvaneInboxPreferences preferences;
        preferences.query = query;
        QCOMPARE(SorvaneInboxPresentation::matches(r, preferences, me), found);
        preferences.companyID = QUuid::fromString(uuidFor(7));
        QVERIFY(!SorvaneInboxPresentation::matches(r, preferences, me));
    }

    void priorityOrder()
    {
        // a: mine, late deadline; b: queued, early deadline; c: queued, none;
        // d and e: queued, no deadline, ordered by eligibleAt / receivedAt.
        SorvaneInboxRow a = makeRow(1, "waiting", true), b = makeRow(2), c = makeRow(3, "active"), d = makeRow(4),
                        e = makeRow(5);
        a.scheduling.dueAt = "2030-01-01T00:00:00Z";
        b.scheduling.dueAt = "2024-01-01T00:00:00Z";
        c.scheduling.receivedAt = "2020-01-01T00:00:00Z";
        d.scheduling.eligibleAt = "2024-05-01T09:00:00Z";
        e.scheduling.receivedAt = "2024-05-01T08:00:00Z";
        SorvaneInboxPreferences preferences;
        preferences.filter = SorvaneInboxFilter::all;
        const auto rows = SorvaneInboxPresentation::rows({e, d, c, b, a}, std::nullopt, preferences, me,
                                                         SorvaneInboxPresentation::locale("en"));
        QCOMPARE(ids(rows), ids({a, b, c, e, d}));
    }

    void nextItemListedOnce()
    {
        const SorvaneInboxRow a = makeRow(1, "waiting", true), b = makeRow(2, "waiting", true);
        const auto locale = SorvaneInboxPresentation::locale("en");
        QCOMPARE(SorvaneInboxPresentation::rows({a}, a, {}, me, locale).size(), 1);
        QCOMPARE(SorvaneInboxPresentation::rows({a}, b, {}, me, locale).size(), 2);
    }

    // The proposed next row takes the place it would have as one more listed
    // row (last among equals); a row that is already listed, even with its id
    // in other letter case, shows once.
    void nextItemPlacement_data()
    {
        QTest::addColumn<int>("sort");
        QTest::addColumn<int>("grouping");
        QTest::addColumn<int>("candidate");
        for (const SorvaneInboxSort sort : SorvaneInboxOptions::allSorts())
            for (const SorvaneInboxGrouping grouping : {SorvaneInboxGrouping::none, SorvaneInboxGrouping::company})
                for (int candidate = 0; candidate < 4; ++candidate)
                    QTest::addRow("%s/%s/%d", qPrintable(SorvaneInboxOptions::rawValue(sort)),
                                  qPrintable(SorvaneInboxOptions::rawValue(grouping)), candidate)
                        << int(sort) << int(grouping) << candidate;
    }

    void nextItemPlacement()
    {
        QFETCH(int, sort);
        QFETCH(int, grouping);
        QFETCH(int, candidate);
        QList<SorvaneInboxRow> listed{makeRow(1), makeRow(2, "waiting", true), makeRow(3), makeRow(4)};
        const char *names[] = {"Film 10", "Film 2", "Beta", "Film 2"};
        const char *titles[] = {"Klip 3", "Klip 12", "Klip 3", "Aften"};
        for (int i = 0; i < listed.size(); ++i) {
            listed[i].company.name = QString::fromUtf8(names[i]);
            listed[i].film.title = QString::fromUtf8(titles[i]);
            listed[i].request.updated_at = QStringLiteral("2026-03-0%1T09:00:00Z").arg(4 - i % 2);
        }
        SorvaneInboxRow next = makeRow(5, "waiting", true);
        bool alreadyListed = false;
        switch (candidate) {
        case 0: // ties with listed rows on every key
            next.company.name = listed[1].company.name;
            next.film.title = listed[1].film.title;
            next.request.updated_at = listed[1].request.updated_at;
            break;
        case 1: // falls between listed rows
            next.company.name = QStringLiteral("Film 3");
            next.film.title = QStringLiteral("Klip 4");
            next.request.updated_at = QStringLiteral("2026-03-03T12:00:00Z");
            break;
        case 2: // a text no listed row has, sorting first
            next.company.name = QStringLiteral("Aalborg");
            next.film.title = QStringLiteral("Åbning");
            break;
        case 3: // a listed row, its id in upper case
            next = listed[2];
            next.request.id = next.request.id.toUpper();
            alreadyListed = true;
            break;
        }
        SorvaneInboxPreferences preferences;
        preferences.sort = SorvaneInboxSort(sort);
        preferences.group = SorvaneInboxGrouping(grouping);
        const auto locale = SorvaneInboxPresentation::locale("da");

        QList<SorvaneInboxRow> asListed = listed;
        if (!alreadyListed)
            asListed.append(next);
        const auto expected = SorvaneInboxPresentation::rows(asListed, std::nullopt, preferences, me, locale);
        // Twice: the second call runs on whatever the first one kept.
        for (int round = 0; round < 2; ++round)
            QCOMPARE(ids(SorvaneInboxPresentation::rows(listed, next, preferences, me, locale)), ids(expected));
    }

    void nameOrder_data()
    {
        QTest::addColumn<QString>("language");
        // Place names, in the language's order: by customer, by film and in the sidebar alike.
        QTest::addColumn<QStringList>("places");
        QTest::newRow("da") << "da"
                            << QStringList{"Bornholm", "Zealand", "Ærø", "Østerbro", "Aalborg", "Århus"};
        QTest::newRow("en") << "en"
                            << QStringList{"Aalborg", "Ærø", "Århus", "Bornholm", "Østerbro", "Zealand"};
    }

    void nameOrder()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, places);
        const QLocale locale = SorvaneInboxPresentation::locale(language);
        QList<SorvaneInboxRow> placed;
        for (int i = 0; i < places.size(); ++i) {
            SorvaneInboxRow r = makeRow(places.size() - i); // ids against the order
            r.company.id = QUuid::fromString(uuidFor(20 + i));
            r.company.name = places.at(i);
            r.film.title = places.at(i);
            placed.prepend(r);
        }
        for (const SorvaneInboxSort sort : {SorvaneInboxSort::company, SorvaneInboxSort::title}) {
            SorvaneInboxPreferences byName;
            byName.sort = sort;
            byName.filter = SorvaneInboxFilter::blocked;
            QStringList sorted;
            for (const SorvaneInboxRow &r : SorvaneInboxPresentation::rows(placed, std::nullopt, byName, me, locale))
                sorted.append(r.film.title);
            QCOMPARE(sorted, places);
        }
        QStringList sidebar;
        for (const ServiceCompany &c : SorvaneInboxPresentation::customers({}, placed, locale))
            sidebar.append(c.name);
        QCOMPARE(sidebar, places);

        QList<SorvaneInboxRow> rows{makeRow(1), makeRow(2), makeRow(3), makeRow(4)};
        rows[0].company.name = "Film 10";
        rows[1].company.name = "Film 9";
        rows[2].company.name = "film 9"; // ties with row 2: ids decide
        rows[3].company.name = "Fílm 9";
        SorvaneInboxPreferences preferences;
        preferences.sort = SorvaneInboxSort::company;
        preferences.filter = SorvaneInboxFilter::blocked;
        QCOMPARE(ids(SorvaneInboxPresentation::rows(rows, std::nullopt, preferences, me, locale)),
                 ids({rows[1], rows[2], rows[3], rows[0]}));

        const QList<ServiceCompany> directory{{QUuid::fromString(uuidFor(2)), "Film 10"},
                                              {QUuid::fromString(uuidFor(1)), "Film 2"},
                                              {QUuid::fromString(uuidFor(3)), "Beta"},
                                              {QUuid::fromString(uuidFor(4)), "alpha"},
                                              {QUuid::fromString(uuidFor(3)), "Duplicate"}};
        QList<SorvaneInboxRow> items{makeRow(1)};
        items[0].company.id = QUuid::fromString(uuidFor(1));
        items[0].company.name = "Renamed";
        items.append(makeRow(2)); // a company missing from the directory
        items[1].company.name = "Cinema";
        QStringList names;
        for (const ServiceCompany &c : SorvaneInboxPresentation::customers(directory, items, locale))
            names.append(c.name);
        QCOMPARE(names, (QStringList{"alpha", "Beta", "Cinema", "Film 2", "Film 10"}));
    }

    // Equal names fall back to the ids' upper-case text. UUID values order
    // otherwise (by variant first), so the ids below differ in variant.
    void customersWithEqualNames_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("firstName");
        QTest::addColumn<QString>("secondName");
        QTest::newRow("same name, text order against variant order")
            << "00000000-0000-4000-c000-000000000001" << "10000000-0000-4000-8000-000000000001" << "Nordlys"
            << "Nordlys";
        QTest::newRow("names equal but for case")
            << "0a000000-0000-4000-8000-000000000001" << "0B000000-0000-4000-8000-000000000001" << "nordlys"
            << "NORDLYS";
    }

    void customersWithEqualNames()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, firstName);
        QFETCH(QString, secondName);
        const ServiceCompany a{QUuid::fromString(first), firstName};
        const ServiceCompany b{QUuid::fromString(second), secondName};
        SorvaneInboxRow row = makeRow(1);
        row.company.id = a.id;
        row.company.name = firstName;
        for (const QString language : {"da", "en"}) {
            const QLocale locale = SorvaneInboxPresentation::locale(language);
            for (const QList<ServiceCompany> &directory : {QList{a, b}, QList{b, a}, QList{b}}) {
                QList<QUuid> order;
                for (const ServiceCompany &c : SorvaneInboxPresentation::customers(directory, {row}, locale))
                    order.append(c.id);
                QCOMPARE(order, (QList<QUuid>{a.id, b.id}));
            }
        }
        QVERIFY(SorvaneInboxPresentation::customers({}, {}, QLocale("en_US")).isEmpty());
    }

    void updatedOrder()
    {
        QList<SorvaneInboxRow> rows{makeRow(1), makeRow(2), makeRow(3), makeRow(4)};
        rows[0].request.updated_at = "not a time";
        rows[1].request.updated_at = "2024-05-02T10:00:00Z";
        rows[2].request.updated_at = "2024-05-02T10:00:00.500Z";
        rows[3].request.updated_at = "2024-05-02T12:00:00+02:00"; // equals row 2: ids decide
        SorvaneInboxPreferences preferences;
        preferences.sort = SorvaneInboxSort::updated;
        preferences.filter = SorvaneInboxFilter::blocked;
        QCOMPARE(ids(SorvaneInboxPresentation::rows(rows, std::nullopt, preferences, me, QLocale("en_US"))),
                 ids({rows[2], rows[1], rows[3], rows[0]}));
    }

    void grouping_data()
    {
        QTest::addColumn<int>("grouping");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("none") << int(SorvaneInboxGrouping::none) << QStringList{""} << QList<int>{4};
        QTest::newRow("company") << int(SorvaneInboxGrouping::company) << QStringList{"Nordlys Film", "Other"}
                                 << QList<int>{3, 1};
        QTest::newRow("campaign") << int(SorvaneInboxGrouping::campaign)
                                  << QStringList{"Nordlys Film \u00B7 No campaign", "Nordlys Film \u00B7 Sommer",
                                                 "Other \u00B7 Sommer"}
                                  << QList<int>{2, 1, 1};
        QTest::newRow("status") << int(SorvaneInboxGrouping::status) << QStringList{"With the customer", "Waiting"}
                                << QList<int>{2, 2};
    }

    void grouping()
    {
        QFETCH(int, grouping);
        QFETCH(QStringList, titles);
        QFETCH(QList<int>, sizes);
        const QUuid campaign = QUuid::createUuid();
        QList<SorvaneInboxRow> rows{makeRow(1, "review"), makeRow(2), makeRow(3, "review"), makeRow(4)};
        rows[1].film.campaignID = campaign;
        rows[1].film.campaignTitle = "Sommer";
        rows[3].film.campaignID = campaign;
        rows[3].film.campaignTitle = "Sommer";
        rows[3].company.id = QUuid::createUuid();
        rows[3].company.name = "Other";
        const auto groups = SorvaneInboxPresentation::groups(rows, SorvaneInboxGrouping(grouping));
        QStringList gotTitles;
        QList<int> gotSizes;
        for (const SorvaneInboxGroup &g : groups) {
            gotTitles.append(g.title);
            gotSizes.append(int(g.items.size()));
        }
        QCOMPARE(gotTitles, titles);
        QCOMPARE(gotSizes, sizes);
        if (grouping == int(SorvaneInboxGrouping::campaign))
            QVERIFY(groups.first().id.endsWith(":none"));
        QVERIFY(SorvaneInboxPresentation::groups({}, SorvaneInboxGrouping(grouping)).isEmpty());
    }

    void preferencesRoundTrip()
    {
        MemorySettingsStore store;
        QCOMPARE(SorvaneInboxPreferences::load(store), SorvaneInboxPreferences{});
        SorvaneInboxPreferences preferences{SorvaneInboxSort::title, SorvaneInboxGrouping::campaign,
                                            SorvaneInboxFilter::completed, QUuid::fromString(companyID), " film "};
        preferences.save(store);
        QCOMPARE(SorvaneInboxPreferences::load(store), preferences);
        const QJsonObject stored = QJsonDocument::fromJson(store.value(SorvaneInboxPreferences::settingsKey).toByteArray()).object();
        QCOMPARE(stored.value("companyID").toString(), companyID.toUpper());
        QCOMPARE(stored.value("query").toString(), QStringLiteral(" film "));
        QCOMPARE(stored.value("sort").toString(), QStringLiteral("title"));

        preferences.companyID.reset();
        QVERIFY(!QJsonDocument::fromJson(preferences.toJson()).object().contains("companyID"));
    }

    void preferencesDecodeAllOrNothing_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("without companyID") << QByteArray(R"({"sort":"company","group":"none","filter":"all","query":""})") << true;
        QTest::newRow("null companyID")
            << QByteArray(R"({"sort":"company","group":"none","filter":"all","query":"","companyID":null})") << true;
        QTest::newRow("without query") << QByteArray(R"({"sort":"company","group":"none","filter":"all"})") << false;
        QTest::newRow("unknown sort") << QByteArray(R"({"sort":"Company","group":"none","filter":"all","query":""})") << false;
        QTest::newRow("bad companyID")
            << QByteArray(R"({"sort":"company","group":"none","filter":"all","query":"","companyID":"acme"})") << false;
        QTest::newRow("query number") << QByteArray(R"({"sort":"company","group":"none","filter":"all","query":1})") << false;
    }

    void preferencesDecodeAllOrNothing()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(SorvaneInboxPreferences::fromJson(json).has_value(), decodes);
    }
};

QTEST_GUILESS_MAIN(TestSorvaneInboxPresentation)
#include "tst_sorvaneinboxpresentation.moc"
