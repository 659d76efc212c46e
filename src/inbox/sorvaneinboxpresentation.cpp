#include "inbox/sorvaneinboxpresentation.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"

#include <QCollator>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <limits>
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

template<class Table, class E>
QString rawOf(const Table &table, E value)
{
    for (const auto &[text, candidate] : table)
        if (candidate == value)
            return QString::fromLatin1(text);
    return {};
}

QString canonical(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Grouping asks for the same few company and campaign ids row after row.
QString canonicalMemo(const QUuid &id)
{
    static thread_local QHash<QUuid, QString> table;
    auto found = table.constFind(id);
    if (found != table.cend())
        return *found;
    if (table.size() >= 65536)
        table.clear();
    return *table.insert(id, canonical(id));
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

    Key key(const QString &text) const
    {
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
        QHash<QString, QCollatorSortKey> keys;
    };
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

// Everything one sort compares, worked out once per row.
struct SortKey
{
    const SorvaneInboxRow *row = nullptr;
    bool operatorActs = false;
    qint64 due = 0;
    qint64 waitingSince = 0;
    qint64 updated = 0;
    NameOrder::Key name;
    QString id;
};

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

private:
    bool m_any = true;
    QString m_needle;
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
QString SorvaneInboxOptions::rawValue(SorvaneInboxSort sort) { return rawOf(sortTable, sort); }
QString SorvaneInboxOptions::rawValue(SorvaneInboxGrouping grouping) { return rawOf(groupingTable, grouping); }
QString SorvaneInboxOptions::rawValue(SorvaneInboxFilter filter) { return rawOf(filterTable, filter); }

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

QList<SorvaneInboxRow> SorvaneInboxPresentation::rows(const QList<SorvaneInboxRow> &items,
                                                      const std::optional<SorvaneInboxRow> &nextItem,
                                                      const SorvaneInboxPreferences &preferences,
                                                      const std::optional<QUuid> &operatorID, const QLocale &locale)
{
    const SorvaneInboxSort sort = preferences.sort;
    const SearchNeedle needle(preferences.query);
    const NameOrder names(locale);

    std::vector<SortKey> keys;
    keys.reserve(items.size() + 1);
    const auto consider = [&](const SorvaneInboxRow &row) {
        const SorvaneNextActor actor = row.nextActor(operatorID);
        if (!passesChoices(row, preferences, actor) || !needle.found(row))
            return;
        SortKey &key = keys.emplace_back();
        key.row = &row;
        key.id = lowerCased(row.request.id);
        switch (sort) {
        case SorvaneInboxSort::priority:
            key.operatorActs = actor == SorvaneNextActor::currentOperator;
            key.due = instant(row.scheduling.dueAt, distantFuture);
            // An unreadable eligibleAt does not fall back to receivedAt.
            key.waitingSince = instant(row.scheduling.eligibleAt ? row.scheduling.eligibleAt
                                                                 : std::optional(row.scheduling.receivedAt),
                                       distantFuture);
            break;
        case SorvaneInboxSort::company:
            key.name = names.key(folded(row.company.name));
            break;
        case SorvaneInboxSort::title:
            key.name = names.key(folded(row.film.title));
            break;
        case SorvaneInboxSort::updated:
            key.updated = instant(row.request.updated_at, distantPast);
            break;
        }
    };
    for (const SorvaneInboxRow &row : items)
        consider(row);
    if (nextItem && std::none_of(items.cbegin(), items.cend(), [&](const SorvaneInboxRow &row) {
            return row.request.id == nextItem->request.id;
        }))
        consider(*nextItem);

    // Positions are sorted, not the keys themselves: cheaper to move.
    std::vector<qsizetype> order(keys.size());
    for (qsizetype i = 0; i < qsizetype(order.size()); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype i, qsizetype j) {
        const SortKey &a = keys[i];
        const SortKey &b = keys[j];
        switch (sort) {
        case SorvaneInboxSort::priority:
            if (a.operatorActs != b.operatorActs)
                return a.operatorActs;
            if (a.due != b.due)
                return a.due < b.due;
            if (a.waitingSince != b.waitingSince)
                return a.waitingSince < b.waitingSince;
            break;
        case SorvaneInboxSort::company:
        case SorvaneInboxSort::title:
            if (const int order = names.compare(a.name, b.name); order != 0)
                return order < 0;
            break;
        case SorvaneInboxSort::updated:
            if (a.updated != b.updated)
                return a.updated > b.updated;
            break;
        }
        return a.id < b.id;
    });

    QList<SorvaneInboxRow> result;
    result.reserve(qsizetype(keys.size()));
    for (qsizetype i : order)
        result.append(*keys[i].row);
    return result;
}

QList<SorvaneInboxGroup> SorvaneInboxPresentation::groups(const QList<SorvaneInboxRow> &rows,
                                                          SorvaneInboxGrouping grouping)
{
    QList<SorvaneInboxGroup> result;
    QHash<QString, qsizetype> indexOf;
    const auto idOf = [grouping](const SorvaneInboxRow &row) -> QString {
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            return QStringLiteral("all");
        case SorvaneInboxGrouping::company:
            return canonicalMemo(row.company.id);
        case SorvaneInboxGrouping::campaign:
            return canonicalMemo(row.company.id) + u':'
                + (row.film.campaignID ? canonicalMemo(*row.film.campaignID) : QStringLiteral("none"));
        case SorvaneInboxGrouping::status:
            return row.request.status;
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
    for (const SorvaneInboxRow &row : rows) {
        const QString id = idOf(row);
        const auto found = indexOf.constFind(id);
        if (found != indexOf.cend()) {
            result[*found].items.append(row);
        } else {
            indexOf.insert(id, result.size());
            result.append(SorvaneInboxGroup{id, titleOf(row), {row}});
        }
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
