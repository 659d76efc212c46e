#include "inbox/sorvaneinboxpresentation.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/settingsstore.h"

#include <QCollator>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>
#include <limits>
#include <string_view>
#include <utility>

namespace {

const std::pair<const char *, SorvaneInboxSort> sortTable[] = {
    {"priority", SorvaneInboxSort::priority},
    {"company", SorvaneInboxSort::company},
    {"title", SorvaneInboxSort::title},
    {"updated", SorvaneInboxSort::updated},
};
const std::pair<const char *, SorvaneInboxGrouping> groupingTable[] = {
    {"none", SorvaneInboxGrouping::none},
    {"company", SorvaneInboxGrouping::company},
    {"campaign", SorvaneInboxGrouping::campaign},
    {"status", SorvaneInboxGrouping::status},
};
const std::pair<const char *, SorvaneInboxFilter> filterTable[] = {
    {"all", SorvaneInboxFilter::all},         {"mine", SorvaneInboxFilter::mine},
    {"customer", SorvaneInboxFilter::customer}, {"blocked", SorvaneInboxFilter::blocked},
    {"completed", SorvaneInboxFilter::completed},
};

template<class Table>
auto casesOf(const Table &table)
{
    QList<std::decay_t<decltype(std::begin(table)->second)>> cases;
    for (const auto &entry : table)
        cases.append(entry.second);
    return cases;
}

QString canonical(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Case- and diacritic-free form for containment and name order: "Åse" and
// "ase" fold alike, so do "Film" and "FILM".
QString foldedUncached(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            result.append(c);
    return result.toCaseFolded();
}

// Memo tables keyed by the text itself, so a changed row can never read a
// stale entry; they are only bounded. One set per thread: the functions stay
// safe to call from any thread.
constexpr qsizetype memoLimit = 65536;

template<class Value, class Make>
const Value &memoized(QHash<QString, Value> &table, const QString &text, Make &&make)
{
    auto found = table.constFind(text);
    if (found != table.cend())
        return *found;
    if (table.size() >= memoLimit)
        table.clear();
    return *table.insert(text, make(text));
}

QString folded(const QString &text)
{
    static thread_local QHash<QString, QString> table;
    return memoized(table, text, foldedUncached);
}

QCollator nameCollator(const QLocale &locale)
{
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Name order by collation sort keys, each worked out once per text instead of
// once per comparison. Comparing two keys orders exactly as comparing the two
// texts with the collator; the empty text comes first there without
// collation, and the C locale has no keys, so both keep the direct compare.
// Names are compared without their accents, as the language's collation
// sees accents: a letter with a mark that the language counts as a letter of
// its own ("å", and "ü" sorted as "y", in Danish) keeps its mark, so Danish
// names sort as the customers of the sidebar do.
class NameOrder
{
public:
    explicit NameOrder(const QLocale &locale)
    {
        static thread_local std::optional<Memo> memo;
        if (!memo || memo->locale != locale)
            memo.emplace(locale);
        m_memo = &*memo;
    }

    struct Key
    {
        QString text;
        std::optional<QCollatorSortKey> key;
    };

    // The key of a name as shown (not folded).
    Key key(const QString &name) const
    {
        const QString &text = memoized(m_memo->folded, name, [this](const QString &t) { return fold(t); });
        if (text.isEmpty() || !m_memo->keyed)
            return {text, std::nullopt};
        return {text, memoized(m_memo->keys, text, [this](const QString &t) { return m_memo->collator.sortKey(t); })};
    }

    int compare(const Key &a, const Key &b) const
    {
        if (a.key && b.key)
            return a.key->compare(*b.key);
        return m_memo->collator.compare(a.text, b.text);
    }

private:
    struct Memo
    {
        explicit Memo(const QLocale &l)
            : locale(l), collator(nameCollator(l)), keyed(l.language() != QLocale::C)
        {
        }
        QLocale locale;
        QCollator collator;
        bool keyed;
        QHash<QString, QString> folded;
        QHash<QString, bool> accents; // per letter with its marks: whether the marks are only accents
        QHash<QString, QCollatorSortKey> keys;
    };

    // Case-folded, each letter without the marks the collation counts as accents.
    QString fold(const QString &name) const
    {
        const QString decomposed = name.normalized(QString::NormalizationForm_D);
        QString result;
        result.reserve(decomposed.size());
        for (qsizetype i = 0; i < decomposed.size();) {
            qsizetype end = i + 1;
            while (end < decomposed.size() && decomposed.at(end).category() == QChar::Mark_NonSpacing)
                ++end;
            if (decomposed.at(i).category() == QChar::Mark_NonSpacing) {
                i = end; // marks without a letter
                continue;
            }
            const QString letter = decomposed.mid(i, end - i);
            if (end == i + 1 || onlyAccents(letter))
                result.append(decomposed.at(i));
            else
                result.append(letter.normalized(QString::NormalizationForm_C));
            i = end;
        }
        return result.toCaseFolded();
    }

    // Whether the collation sorts the letter with its marks as the bare
    // letter, telling them apart only after the rest of the text: then the
    // marks decide nothing before the other letters do.
    bool onlyAccents(const QString &letter) const
    {
        if (!m_memo->keyed)
            return true;
        return memoized(m_memo->accents, letter, [this](const QString &l) {
            const QString bare = l.left(1);
            const QString marked = l.normalized(QString::NormalizationForm_C);
            const QCollator &collator = m_memo->collator;
            return collator.compare(marked + u'1', bare + u'0') > 0 && collator.compare(marked + u'0', bare + u'1') < 0;
        });
    }

    Memo *m_memo = nullptr;
};

constexpr qint64 distantFuture = std::numeric_limits<qint64>::max();
constexpr qint64 distantPast = std::numeric_limits<qint64>::min();

qint64 instant(const std::optional<QString> &text, qint64 unreadable)
{
    if (!text)
        return unreadable;
    return StrictFormats::parseInternetDateTimeMSecs(*text).value_or(unreadable);
}

bool filterPasses(SorvaneInboxFilter filter, SorvaneNextActor actor)
{
    switch (filter) {
    case SorvaneInboxFilter::all:
        return actor != SorvaneNextActor::closed;
    case SorvaneInboxFilter::mine:
        return actor == SorvaneNextActor::currentOperator;
    case SorvaneInboxFilter::customer:
        return actor == SorvaneNextActor::customer;
    case SorvaneInboxFilter::blocked:
        return actor == SorvaneNextActor::otherEditor || actor == SorvaneNextActor::queued;
    case SorvaneInboxFilter::completed:
        return actor == SorvaneNextActor::closed;
    }
    return false;
}

// The final tie-break compares the request ids lower-cased. Ids from the
// service are already lower case; those share the row's text instead of
// building a new one.
QString lowerCased(const QString &text)
{
    const bool lower = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 && !(c.unicode() >= u'A' && c.unicode() <= u'Z');
    });
    return lower ? text : text.toLower();
}

// What filtering, search and sorting read of one row apart from the view
// options, worked out once per row.
struct RowFacts
{
    QString title; // as shown, for name order
    QString company;
    QString foldedTitle;
    QString foldedCompany;
    QString foldedContact;
    QString foldedCampaign;
    QString id; // lower-cased, the final tie-break
    qint64 due = 0;
    qint64 waitingSince = 0;
    qint64 updated = 0;
    SorvaneNextActor actor = SorvaneNextActor::closed;

    static RowFacts of(const SorvaneInboxRow &row)
    {
        RowFacts facts;
        facts.title = row.film.title;
        facts.company = row.company.name;
        facts.foldedTitle = folded(row.film.title);
        facts.foldedCompany = folded(row.company.name);
        facts.foldedContact = folded(row.company.contactName.value_or(QString()));
        facts.foldedCampaign = folded(row.film.campaignTitle.value_or(QString()));
        facts.id = lowerCased(row.request.id);
        facts.due = instant(row.scheduling.dueAt, distantFuture);
        // An unreadable eligibleAt does not fall back to receivedAt.
        facts.waitingSince = instant(row.scheduling.eligibleAt ? row.scheduling.eligibleAt
                                                               : std::optional(row.scheduling.receivedAt),
                                     distantFuture);
        facts.updated = instant(row.request.updated_at, distantPast);
        return facts;
    }
};

// One row's place in a sort: every key a number, compared in turn; the
// position in the input breaks the last tie.
struct Placement
{
    qint64 first = 0;
    qint64 second = 0;
    qint64 third = 0;
    qint64 id = 0;
    qsizetype position = 0;

    friend bool operator<(const Placement &a, const Placement &b)
    {
        return std::tie(a.first, a.second, a.third, a.id, a.position)
            < std::tie(b.first, b.second, b.third, b.id, b.position);
    }
};

// Ranks of texts in some order: equal texts share a rank, ranks of listed
// texts are even, so a text from outside falls on the odd rank between its
// neighbours.
template<class Key, class Compare>
class Ranking
{
public:
    // Ranks the `count` keys keyAt(0), keyAt(1)… (one per row) into `ranks`.
    template<class KeyAt>
    void build(std::size_t count, KeyAt keyAt, std::vector<qint64> &ranks, Compare compare)
    {
        std::vector<std::size_t> order(count);
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t i, std::size_t j) { return compare(keyAt(i), keyAt(j)) < 0; });
        m_distinct.clear();
        ranks.assign(count, 0);
        for (std::size_t i : order) {
            const Key &key = keyAt(i);
            if (m_distinct.empty() || compare(m_distinct.back(), key) != 0)
                m_distinct.push_back(key);
            ranks[i] = 2 * qint64(m_distinct.size() - 1);
        }
    }

    qint64 rankOf(const Key &key, Compare compare) const
    {
        const auto at = std::lower_bound(m_distinct.begin(), m_distinct.end(), key,
                                         [&](const Key &a, const Key &b) { return compare(a, b) < 0; });
        const qint64 position = qint64(at - m_distinct.begin());
        if (at != m_distinct.end() && compare(*at, key) == 0)
            return 2 * position;
        return 2 * position - 1;
    }

private:
    std::vector<Key> m_distinct;
};

int compareIds(const QString &a, const QString &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}
using IdRanking = Ranking<QString, int (*)(const QString &, const QString &)>;

// The search part of `matches`, with the query folded once for many rows.
class SearchNeedle
{
public:
    explicit SearchNeedle(const QString &query)
    {
        const QString trimmed = query.trimmed();
        m_any = trimmed.isEmpty();
        if (!m_any)
            m_needle = foldedUncached(trimmed);
    }

    bool any() const { return m_any; }
    const QString &text() const { return m_needle; }

    bool found(const SorvaneInboxRow &row) const
    {
        if (m_any)
            return true;
        for (const QString *haystack : {&row.film.title, &row.company.name})
            if (folded(*haystack).contains(m_needle))
                return true;
        for (const std::optional<QString> *haystack : {&row.company.contactName, &row.film.campaignTitle})
            if (folded(haystack->value_or(QString())).contains(m_needle))
                return true;
        return false;
    }

    bool found(const RowFacts &facts) const
    {
        if (m_any)
            return true;
        for (const QString *haystack : {&facts.foldedTitle, &facts.foldedCompany, &facts.foldedContact,
                                         &facts.foldedCampaign})
            if (contains(*haystack))
                return true;
        return false;
    }

private:
    // QString::contains for the short texts of a row: ten thousand rows are
    // searched four texts each, and the library's search costs more per
    // call than these texts take to scan.
    bool contains(const QString &haystack) const
    {
        if (m_needle.isEmpty())
            return haystack.contains(m_needle);
        const auto view = [](QStringView text) { return std::u16string_view(text.utf16(), std::size_t(text.size())); };
        return view(haystack).find(view(m_needle)) != std::u16string_view::npos;
    }

    bool m_any = true;
    QString m_needle;
};

// The facts of the rows of one row list, kept while that list is unchanged.
// The index holds a copy of the list: as long as it shares the list's
// storage, no one can change or free that storage (any write detaches), so
// the same storage means the same rows.
class RowIndex
{
public:
    static RowIndex &of(const QList<SorvaneInboxRow> &items, const QLocale &locale)
    {
        static thread_local RowIndex index;
        if (index.m_rows.constData() != items.constData() || index.m_rows.size() != items.size()
            || index.m_rows.isEmpty())
            index.rebuild(items, locale);
        return index;
    }

    const RowFacts &facts(qsizetype i) const { return m_facts[std::size_t(i)]; }

    // Which rows a search finds (one flag per row), kept for the last few
    // searches: a change of sort or grouping searches the same text again.
    const std::vector<char> &found(const SearchNeedle &needle)
    {
        for (const Search &search : m_searches)
            if (search.text == needle.text())
                return search.rows;
        if (m_searches.size() >= 4)
            m_searches.erase(m_searches.begin());
        Search search{needle.text(), std::vector<char>(m_facts.size())};
        for (std::size_t i = 0; i < m_facts.size(); ++i)
            search.rows[i] = needle.found(m_facts[i]);
        m_searches.push_back(std::move(search));
        return m_searches.back().rows;
    }

    // Works out what `sort` and the next actors need, unless already known.
    void prepare(SorvaneInboxSort sort, const std::optional<QUuid> &operatorID, const QLocale &locale)
    {
        if (!m_actorsKnown || m_actorsFor != operatorID) {
            for (qsizetype i = 0; i < m_rows.size(); ++i)
                m_facts[std::size_t(i)].actor = m_rows.at(i).nextActor(operatorID);
            m_actorsFor = operatorID;
            m_actorsKnown = true;
        }
        if (sort != SorvaneInboxSort::company && sort != SorvaneInboxSort::title)
            return;
        m_names.emplace(locale);
        NameField &field = sort == SorvaneInboxSort::company ? m_company : m_title;
        if (field.rankedFor && *field.rankedFor == locale)
            return;
        const bool company = sort == SorvaneInboxSort::company;
        if (m_keysFor == locale) {
            const auto keyAt = [&](std::size_t i) -> const NameOrder::Key & {
                return company ? m_nameKeys[i].company : m_nameKeys[i].title;
            };
            field.ranking.build(m_facts.size(), keyAt, field.ranks, nameCompare());
        } else {
            std::vector<NameOrder::Key> keys;
            keys.reserve(m_facts.size());
            for (const RowFacts &facts : m_facts)
                keys.push_back(m_names->key(company ? facts.company : facts.title));
            field.ranking.build(keys.size(), [&](std::size_t i) -> const NameOrder::Key & { return keys[i]; },
                                field.ranks, nameCompare());
        }
        field.rankedFor = locale;
    }

    Placement placement(SorvaneInboxSort sort, const RowFacts &facts, qsizetype i) const
    {
        const std::size_t at = std::size_t(i);
        switch (sort) {
        case SorvaneInboxSort::company:
            return {m_company.ranks[at], 0, 0, m_idRanks[at], i};
        case SorvaneInboxSort::title:
            return {m_title.ranks[at], 0, 0, m_idRanks[at], i};
        default:
            return timed(sort, facts, m_idRanks[at], i);
        }
    }

    // The place of a row that is not in the list, among those that are.
    Placement placementOfOther(SorvaneInboxSort sort, const RowFacts &facts, qsizetype position) const
    {
        const qint64 id = m_ids.rankOf(facts.id, compareIds);
        switch (sort) {
        case SorvaneInboxSort::company:
            return {m_company.ranking.rankOf(m_names->key(facts.company), nameCompare()), 0, 0, id, position};
        case SorvaneInboxSort::title:
            return {m_title.ranking.rankOf(m_names->key(facts.title), nameCompare()), 0, 0, id, position};
        default:
            return timed(sort, facts, id, position);
        }
    }

private:
    // A plain functor, not a std::function: a sort of ten thousand names
    // calls it a hundred thousand times.
    struct NameCompare
    {
        const NameOrder *names;
        int operator()(const NameOrder::Key &a, const NameOrder::Key &b) const { return names->compare(a, b); }
    };
    struct NameField
    {
        std::optional<QLocale> rankedFor;
        Ranking<NameOrder::Key, NameCompare> ranking;
        std::vector<qint64> ranks;
    };

    NameCompare nameCompare() const { return NameCompare{&*m_names}; }

    static Placement timed(SorvaneInboxSort sort, const RowFacts &facts, qint64 id, qsizetype position)
    {
        if (sort == SorvaneInboxSort::updated)
            return {~facts.updated, 0, 0, id, position}; // newest first; ~ reverses without overflow
        return {facts.actor == SorvaneNextActor::currentOperator ? 0 : 1, facts.due, facts.waitingSince, id,
                position};
    }

    void rebuild(const QList<SorvaneInboxRow> &items, const QLocale &locale)
    {
        m_rows = items;
        m_facts.clear();
        m_searches.clear();
        m_facts.reserve(std::size_t(items.size()));
        std::vector<QString> ids;
        ids.reserve(std::size_t(items.size()));
        for (const SorvaneInboxRow &row : items) {
            m_facts.push_back(RowFacts::of(row));
            ids.push_back(m_facts.back().id);
        }
        m_ids.build(ids.size(), [&](std::size_t i) -> const QString & { return ids[i]; }, m_idRanks, compareIds);
        m_actorsKnown = false;
        m_company = {};
        m_title = {};
        // Rows arrive a page at a time and each page rebuilds the index: the
        // collation keys of the new rows' names are made here, a page's worth
        // at a time (the others are remembered), so that the first sort by
        // name after a new list only sorts.
        // The keys are kept with the rows, so that sorting finds them without
        // looking each text up again.
        m_names.emplace(locale);
        m_nameKeys.clear();
        m_nameKeys.reserve(m_facts.size());
        for (const RowFacts &facts : m_facts)
            m_nameKeys.push_back({m_names->key(facts.title), m_names->key(facts.company)});
        m_keysFor = locale;
    }

    struct Search
    {
        QString text;
        std::vector<char> rows;
    };

    QList<SorvaneInboxRow> m_rows;
    std::vector<RowFacts> m_facts;
    std::vector<Search> m_searches;
    IdRanking m_ids;
    std::vector<qint64> m_idRanks;
    bool m_actorsKnown = false;
    std::optional<QUuid> m_actorsFor;
    std::optional<NameOrder> m_names;
    // The rows' name keys in the locale m_keysFor.
    struct NameKeys
    {
        NameOrder::Key title;
        NameOrder::Key company;
    };
    std::vector<NameKeys> m_nameKeys;
    std::optional<QLocale> m_keysFor;
    NameField m_company;
    NameField m_title;
};

bool passesChoices(const SorvaneInboxRow &row, const SorvaneInboxPreferences &preferences, SorvaneNextActor actor)
{
    if (preferences.companyID && *preferences.companyID != row.company.id)
        return false;
    return filterPasses(preferences.filter, actor);
}

} // namespace

QList<SorvaneInboxSort> SorvaneInboxOptions::allSorts() { return casesOf(sortTable); }
QList<SorvaneInboxGrouping> SorvaneInboxOptions::allGroupings() { return casesOf(groupingTable); }
QList<SorvaneInboxFilter> SorvaneInboxOptions::allFilters() { return casesOf(filterTable); }
QString SorvaneInboxOptions::rawValue(SorvaneInboxSort sort) { return rawFromEnum(sortTable, sort); }
QString SorvaneInboxOptions::rawValue(SorvaneInboxGrouping grouping) { return rawFromEnum(groupingTable, grouping); }
QString SorvaneInboxOptions::rawValue(SorvaneInboxFilter filter) { return rawFromEnum(filterTable, filter); }

std::optional<SorvaneInboxSort> SorvaneInboxOptions::sortFromRaw(const QString &raw)
{
    return enumFromRaw(sortTable, raw);
}

std::optional<SorvaneInboxGrouping> SorvaneInboxOptions::groupingFromRaw(const QString &raw)
{
    return enumFromRaw(groupingTable, raw);
}

std::optional<SorvaneInboxFilter> SorvaneInboxOptions::filterFromRaw(const QString &raw)
{
    return enumFromRaw(filterTable, raw);
}

QString SorvaneInboxOptions::title(SorvaneInboxFilter filter)
{
    switch (filter) {
    case SorvaneInboxFilter::all:
        return loc("Inbox");
    case SorvaneInboxFilter::mine:
        return loc("Ready to work");
    case SorvaneInboxFilter::customer:
        return loc("Awaiting customer");
    case SorvaneInboxFilter::blocked:
        return loc("Queued or assigned");
    case SorvaneInboxFilter::completed:
        return loc("Closed tasks");
    }
    return {};
}

QString SorvaneInboxOptions::explanation(SorvaneInboxFilter filter)
{
    switch (filter) {
    case SorvaneInboxFilter::all:
        return loc("All open tasks for the selected customers.");
    case SorvaneInboxFilter::mine:
        return loc("Available tasks you can take, and work already assigned to you.");
    case SorvaneInboxFilter::customer:
        return loc("Submitted versions awaiting the customer's review.");
    case SorvaneInboxFilter::blocked:
        return loc("Tasks waiting for a production slot, paused service, or another editor.");
    case SorvaneInboxFilter::completed:
        return loc("Approved or cancelled tasks. Approval does not mean publication.");
    }
    return {};
}

QByteArray SorvaneInboxPreferences::toJson() const
{
    QJsonObject object{
        {QStringLiteral("sort"), SorvaneInboxOptions::rawValue(sort)},
        {QStringLiteral("group"), SorvaneInboxOptions::rawValue(group)},
        {QStringLiteral("filter"), SorvaneInboxOptions::rawValue(filter)},
        {QStringLiteral("query"), query},
    };
    if (companyID)
        object.insert(QStringLiteral("companyID"), canonical(*companyID));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SorvaneInboxPreferences> SorvaneInboxPreferences::fromJson(const QByteArray &bytes)
{
    try {
        const JsonObjectReader o = JsonObjectReader::parse(bytes);
        SorvaneInboxPreferences preferences;
        preferences.sort = o.enumeration(u"sort", SorvaneInboxOptions::sortFromRaw);
        preferences.group = o.enumeration(u"group", SorvaneInboxOptions::groupingFromRaw);
        preferences.filter = o.enumeration(u"filter", SorvaneInboxOptions::filterFromRaw);
        preferences.companyID = o.optionalUuid(u"companyID");
        preferences.query = o.string(u"query");
        return preferences;
    } catch (const DecodingError &) {
        logFailure(lcInbox, "reading the saved inbox preferences");
        return std::nullopt;
    }
}

SorvaneInboxPreferences SorvaneInboxPreferences::load(const SettingsStore &store)
{
    const QVariant stored = store.value(QLatin1StringView(settingsKey));
    if (!stored.isValid())
        return {};
    return fromJson(stored.toByteArray()).value_or(SorvaneInboxPreferences{});
}

void SorvaneInboxPreferences::save(SettingsStore &store) const
{
    store.setValue(QLatin1StringView(settingsKey), toJson());
}

QLocale SorvaneInboxPresentation::locale(const QString &language)
{
    // Named explicitly: under the C locale numeric collation does nothing.
    return QLocale(language == u"da" ? QStringLiteral("da_DK") : QStringLiteral("en_US"));
}

bool SorvaneInboxPresentation::matches(const SorvaneInboxRow &row, const SorvaneInboxPreferences &preferences,
                                       const std::optional<QUuid> &operatorID)
{
    return passesChoices(row, preferences, row.nextActor(operatorID)) && SearchNeedle(preferences.query).found(row);
}

QList<qsizetype> SorvaneInboxPresentation::order(const QList<SorvaneInboxRow> &items,
                                                 const std::optional<SorvaneInboxRow> &nextItem,
                                                 const SorvaneInboxPreferences &preferences,
                                                 const std::optional<QUuid> &operatorID, const QLocale &locale)
{
    const SorvaneInboxSort sort = preferences.sort;
    const SearchNeedle needle(preferences.query);
    RowIndex &index = RowIndex::of(items, locale);
    index.prepare(sort, operatorID, locale);
    const std::vector<char> *found = needle.any() ? nullptr : &index.found(needle);

    std::vector<Placement> order;
    order.reserve(std::size_t(items.size()) + 1);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const RowFacts &facts = index.facts(i);
        if (passesChoices(items.at(i), preferences, facts.actor) && (!found || (*found)[std::size_t(i)]))
            order.push_back(index.placement(sort, facts, i));
    }
    // The proposed next row is not among the indexed ones: its facts are
    // worked out here and placed among theirs by search.
    std::optional<RowFacts> extra;
    if (nextItem && std::none_of(items.cbegin(), items.cend(), [&](const SorvaneInboxRow &row) {
            return row.request.id == nextItem->request.id;
        })) {
        extra = RowFacts::of(*nextItem);
        extra->actor = nextItem->nextActor(operatorID);
        if (passesChoices(*nextItem, preferences, extra->actor) && needle.found(*extra))
            order.push_back(index.placementOfOther(sort, *extra, items.size()));
    }

    // Every key is a number and the position breaks the last tie, so the
    // unstable sort gives the stable order.
    std::sort(order.begin(), order.end());

    QList<qsizetype> result;
    result.reserve(qsizetype(order.size()));
    for (const Placement &placement : order)
        result.append(placement.position);
    return result;
}

QList<SorvaneInboxRow> SorvaneInboxPresentation::rows(const QList<SorvaneInboxRow> &items,
                                                      const std::optional<SorvaneInboxRow> &nextItem,
                                                      const SorvaneInboxPreferences &preferences,
                                                      const std::optional<QUuid> &operatorID, const QLocale &locale)
{
    const QList<qsizetype> positions = order(items, nextItem, preferences, operatorID, locale);
    QList<SorvaneInboxRow> result;
    result.reserve(positions.size());
    for (qsizetype position : positions)
        result.append(position < items.size() ? items.at(position) : *nextItem);
    return result;
}

QList<SorvaneInboxSection> SorvaneInboxPresentation::sections(const QList<SorvaneInboxRow> &items,
                                                              const std::optional<SorvaneInboxRow> &nextItem,
                                                              const QList<qsizetype> &positions,
                                                              SorvaneInboxGrouping grouping,
                                                              const std::optional<QString> &leaveOut)
{
    const auto rowAt = [&](qsizetype position) -> const SorvaneInboxRow & {
        return position < items.size() ? items.at(position) : *nextItem;
    };
    // Rows are matched to groups by what their id is made of, and the id text
    // is built once per group.
    struct GroupKey
    {
        QUuid company;
        std::optional<QUuid> campaign;
        QString status;
        bool operator==(const GroupKey &) const = default;
    };
    struct GroupKeyHash
    {
        std::size_t operator()(const GroupKey &key) const noexcept
        {
            std::size_t seed = qHash(key.company);
            seed = seed * 31 + (key.campaign ? qHash(*key.campaign) + 1 : 0);
            return seed * 31 + qHash(key.status);
        }
    };
    const auto keyOf = [grouping](const SorvaneInboxRow &row) -> GroupKey {
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            return {};
        case SorvaneInboxGrouping::company:
            return {row.company.id, std::nullopt, {}};
        case SorvaneInboxGrouping::campaign:
            return {row.company.id, row.film.campaignID, {}};
        case SorvaneInboxGrouping::status:
            return {{}, std::nullopt, row.request.status.text()};
        }
        return {};
    };
    const auto idOf = [grouping](const SorvaneInboxRow &row) -> QString {
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            return QStringLiteral("all");
        case SorvaneInboxGrouping::company:
            return canonical(row.company.id);
        case SorvaneInboxGrouping::campaign:
            return canonical(row.company.id) + u':'
                + (row.film.campaignID ? canonical(*row.film.campaignID) : QStringLiteral("none"));
        case SorvaneInboxGrouping::status:
            return row.request.status.text();
        }
        return {};
    };
    // Only the first row of a group gives its title.
    const auto titleOf = [grouping](const SorvaneInboxRow &row) -> QString {
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            return {};
        case SorvaneInboxGrouping::company:
            return row.company.name;
        case SorvaneInboxGrouping::campaign:
            return row.company.name + QStringLiteral(" \u00B7 ")
                + (row.film.campaignTitle ? *row.film.campaignTitle : loc("No campaign"));
        case SorvaneInboxGrouping::status:
            return row.request.statusTitle();
        }
        return {};
    };

    // Sorted rows mostly come in runs of one group: a row is compared with
    // the one before it, and the groups are looked up only where a run ends.
    const auto sameGroup = [grouping](const SorvaneInboxRow &a, const SorvaneInboxRow &b) {
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            return true;
        case SorvaneInboxGrouping::company:
            return a.company.id == b.company.id;
        case SorvaneInboxGrouping::campaign:
            return a.company.id == b.company.id && a.film.campaignID == b.film.campaignID;
        case SorvaneInboxGrouping::status:
            return a.request.status == b.request.status;
        }
        return false;
    };
    std::unordered_map<GroupKey, qsizetype, GroupKeyHash> indexOf;
    QList<SorvaneInboxSection> result;
    const SorvaneInboxRow *previous = nullptr;
    QList<qsizetype> *rows = nullptr;
    for (qsizetype position : positions) {
        const SorvaneInboxRow &row = rowAt(position);
        if (leaveOut && row.request.id == *leaveOut)
            continue;
        if (!previous || !sameGroup(*previous, row)) {
            const auto [found, added] = indexOf.try_emplace(keyOf(row), result.size());
            if (added) {
                result.append(SorvaneInboxSection{idOf(row), titleOf(row), {}});
                // One group of every row: the positions as they are.
                if (grouping == SorvaneInboxGrouping::none && !leaveOut) {
                    result.last().rows = positions;
                    return result;
                }
            }
            rows = &result[found->second].rows;
        }
        previous = &row;
        rows->append(position);
    }
    return result;
}

QList<SorvaneInboxGroup> SorvaneInboxPresentation::groups(const QList<SorvaneInboxRow> &rows,
                                                          SorvaneInboxGrouping grouping)
{
    QList<qsizetype> positions(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        positions[i] = i;
    QList<SorvaneInboxGroup> result;
    for (SorvaneInboxSection &section : sections(rows, std::nullopt, positions, grouping)) {
        SorvaneInboxGroup group{std::move(section.id), std::move(section.title), {}};
        group.items.reserve(section.rows.size());
        for (qsizetype position : std::as_const(section.rows))
            group.items.append(rows.at(position));
        result.append(std::move(group));
    }
    return result;
}

QList<ServiceCompany> SorvaneInboxPresentation::customers(const QList<ServiceCompany> &directory,
                                                          const QList<SorvaneInboxRow> &items, const QLocale &locale)
{
    // A directory entry keeps its name over the rows, the first row over later ones.
    QList<ServiceCompany> result;
    QSet<QUuid> seen;
    for (const ServiceCompany &company : directory)
        if (!seen.contains(company.id)) {
            seen.insert(company.id);
            result.append(company);
        }
    for (const SorvaneInboxRow &row : items)
        if (!seen.contains(row.company.id)) {
            seen.insert(row.company.id);
            result.append(ServiceCompany{row.company.id, row.company.name});
        }
    const QCollator collator = nameCollator(locale);
    std::stable_sort(result.begin(), result.end(), [&](const ServiceCompany &a, const ServiceCompany &b) {
        if (const int order = collator.compare(a.name, b.name); order != 0)
            return order < 0;
        return canonical(a.id) < canonical(b.id);
    });
    return result;
}
