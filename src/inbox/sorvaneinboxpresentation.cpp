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

// Case- and diacritic-free form for containment and name order: "Åse" and
// "ase" fold alike, so do "Film" and "FILM".
QString folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            result.append(c);
    return result.toCaseFolded();
}

QCollator nameCollator(const QLocale &locale)
{
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

constexpr qint64 distantFuture = std::numeric_limits<qint64>::max();
constexpr qint64 distantPast = std::numeric_limits<qint64>::min();

qint64 instant(const std::optional<QString> &text, qint64 unreadable)
{
    if (!text)
        return unreadable;
    const auto time = StrictFormats::parseInternetDateTime(*text);
    return time ? time->toMSecsSinceEpoch() : unreadable;
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
    qsizetype index = 0;
    bool operatorActs = false;
    qint64 due = 0;
    qint64 waitingSince = 0;
    qint64 updated = 0;
    QString name;
    QString id;
};

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
    if (preferences.companyID && *preferences.companyID != row.company.id)
        return false;
    if (!filterPasses(preferences.filter, row.nextActor(operatorID)))
        return false;
    const QString query = preferences.query.trimmed();
    if (query.isEmpty())
        return true;
    const QString needle = folded(query);
    for (const QString &haystack : {row.film.title, row.company.name, row.company.contactName.value_or(QString()),
                                    row.film.campaignTitle.value_or(QString())})
        if (folded(haystack).contains(needle))
            return true;
    return false;
}

QList<SorvaneInboxRow> SorvaneInboxPresentation::rows(const QList<SorvaneInboxRow> &items,
                                                      const std::optional<SorvaneInboxRow> &nextItem,
                                                      const SorvaneInboxPreferences &preferences,
                                                      const std::optional<QUuid> &operatorID, const QLocale &locale)
{
    QList<SorvaneInboxRow> candidates = items;
    if (nextItem && std::none_of(items.cbegin(), items.cend(), [&](const SorvaneInboxRow &row) {
            return row.request.id == nextItem->request.id;
        }))
        candidates.append(*nextItem);

    QList<SorvaneInboxRow> kept;
    for (const SorvaneInboxRow &row : std::as_const(candidates))
        if (matches(row, preferences, operatorID))
            kept.append(row);

    const SorvaneInboxSort sort = preferences.sort;
    std::vector<SortKey> keys(kept.size());
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const SorvaneInboxRow &row = kept.at(i);
        SortKey &key = keys[i];
        key.index = i;
        key.id = row.request.id.toLower();
        switch (sort) {
        case SorvaneInboxSort::priority:
            key.operatorActs = row.nextActor(operatorID) == SorvaneNextActor::currentOperator;
            key.due = instant(row.scheduling.dueAt, distantFuture);
            // An unreadable eligibleAt does not fall back to receivedAt.
            key.waitingSince = instant(row.scheduling.eligibleAt ? row.scheduling.eligibleAt
                                                                 : std::optional(row.scheduling.receivedAt),
                                       distantFuture);
            break;
        case SorvaneInboxSort::company:
            key.name = folded(row.company.name);
            break;
        case SorvaneInboxSort::title:
            key.name = folded(row.film.title);
            break;
        case SorvaneInboxSort::updated:
            key.updated = instant(row.request.updated_at, distantPast);
            break;
        }
    }

    const QCollator collator = nameCollator(locale);
    std::stable_sort(keys.begin(), keys.end(), [&](const SortKey &a, const SortKey &b) {
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
            if (const int order = collator.compare(a.name, b.name); order != 0)
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
    result.reserve(kept.size());
    for (const SortKey &key : keys)
        result.append(kept.at(key.index));
    return result;
}

QList<SorvaneInboxGroup> SorvaneInboxPresentation::groups(const QList<SorvaneInboxRow> &rows,
                                                          SorvaneInboxGrouping grouping)
{
    QList<SorvaneInboxGroup> result;
    QHash<QString, qsizetype> indexOf;
    for (const SorvaneInboxRow &row : rows) {
        QString id;
        QString title;
        switch (grouping) {
        case SorvaneInboxGrouping::none:
            id = QStringLiteral("all");
            break;
        case SorvaneInboxGrouping::company:
            id = canonical(row.company.id);
            title = row.company.name;
            break;
        case SorvaneInboxGrouping::campaign:
            id = canonical(row.company.id) + u':'
                + (row.film.campaignID ? canonical(*row.film.campaignID) : QStringLiteral("none"));
            title = row.company.name + QStringLiteral(" \u00B7 ")
                + (row.film.campaignTitle ? *row.film.campaignTitle : loc("No campaign"));
            break;
        case SorvaneInboxGrouping::status:
            id = row.request.status;
            title = row.request.statusTitle();
            break;
        }
        const auto found = indexOf.constFind(id);
        if (found != indexOf.cend()) {
            result[*found].items.append(row);
        } else {
            indexOf.insert(id, result.size());
            result.append(SorvaneInboxGroup{id, title, {row}});
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
