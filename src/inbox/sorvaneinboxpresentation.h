#pragma once

#include "servicequeue/servicecompanies.h"
#include "servicequeue/serviceidentity.h"
#include "inbox/sorvaneinboxrecords.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QUuid>
#include <optional>

class SettingsStore;

enum class SorvaneInboxSort { priority, company, title, updated };
enum class SorvaneInboxGrouping { none, company, campaign, status };
// Which rows show, by who acts next.
enum class SorvaneInboxFilter { all, mine, customer, blocked, completed };

// Raw values (also the ids and the stored form); fromRaw is exact.
namespace SorvaneInboxOptions {
QList<SorvaneInboxSort> allSorts();
QList<SorvaneInboxGrouping> allGroupings();
QList<SorvaneInboxFilter> allFilters();
QString rawValue(SorvaneInboxSort sort);
QString rawValue(SorvaneInboxGrouping grouping);
QString rawValue(SorvaneInboxFilter filter);
std::optional<SorvaneInboxSort> sortFromRaw(const QString &raw);
std::optional<SorvaneInboxGrouping> groupingFromRaw(const QString &raw);
std::optional<SorvaneInboxFilter> filterFromRaw(const QString &raw);
QString title(SorvaneInboxFilter filter);
QString explanation(SorvaneInboxFilter filter);
} // namespace SorvaneInboxOptions

// The persisted view options.
struct SorvaneInboxPreferences
{
    static constexpr const char *settingsKey = "editor.sorvaneInbox.preferences.v1";

    SorvaneInboxSort sort = SorvaneInboxSort::priority;
    SorvaneInboxGrouping group = SorvaneInboxGrouping::none;
    SorvaneInboxFilter filter = SorvaneInboxFilter::all;
    std::optional<QUuid> companyID;
    QString query;

    friend bool operator==(const SorvaneInboxPreferences &, const SorvaneInboxPreferences &) = default;

    // {"sort","group","filter","query"[,"companyID" in upper case]}; no
    // "companyID" key when none.
    QByteArray toJson() const;
    // All or nothing: a missing required key, a wrong type, an unknown raw
    // value or a malformed "companyID" gives none.
    static std::optional<SorvaneInboxPreferences> fromJson(const QByteArray &bytes);

    // The stored record, or the defaults when there is none or it does not decode.
    static SorvaneInboxPreferences load(const SettingsStore &store);
    void save(SettingsStore &store) const;
};

struct SorvaneInboxGroup
{
    QString id;
    QString title;
    QList<SorvaneInboxRow> items;
};

// A group as positions into a row list (see SorvaneInboxPresentation::order):
// ten thousand rows are cheap to arrange, not to copy.
struct SorvaneInboxSection
{
    QString id;
    QString title;
    QList<qsizetype> rows;
};

// Pure functions from loaded rows to what the screens show.
namespace SorvaneInboxPresentation {

// The locale of an interface language ("da" or "en") for name ordering.
QLocale locale(const QString &language);

bool matches(const SorvaneInboxRow &row, const SorvaneInboxPreferences &preferences,
             const std::optional<QUuid> &operatorID);

// The rows (plus the proposed next row when it is not among them) that pass
// `matches`, in the order of preferences.sort.
QList<SorvaneInboxRow> rows(const QList<SorvaneInboxRow> &items, const std::optional<SorvaneInboxRow> &nextItem,
                            const SorvaneInboxPreferences &preferences, const std::optional<QUuid> &operatorID,
                            const QLocale &locale);

QList<SorvaneInboxGroup> groups(const QList<SorvaneInboxRow> &rows, SorvaneInboxGrouping grouping);

// What rows() and groups() compute, as positions instead of copies: a
// position below items.size() is that row of `items`, items.size() itself the
// proposed next row. rows() is order() with each position replaced by its row.
QList<qsizetype> order(const QList<SorvaneInboxRow> &items, const std::optional<SorvaneInboxRow> &nextItem,
                       const SorvaneInboxPreferences &preferences, const std::optional<QUuid> &operatorID,
                       const QLocale &locale);
// The groups of the rows at `positions`, in their order, leaving out the rows
// whose request id is `leaveOut`.
QList<SorvaneInboxSection> sections(const QList<SorvaneInboxRow> &items, const std::optional<SorvaneInboxRow> &nextItem,
                                    const QList<qsizetype> &positions, SorvaneInboxGrouping grouping,
                                    const std::optional<QString> &leaveOut = std::nullopt);

// The directory's companies plus those of the rows, each id once, by name.
QList<ServiceCompany> customers(const QList<ServiceCompany> &directory, const QList<SorvaneInboxRow> &items,
                                const QLocale &locale);

} // namespace SorvaneInboxPresentation
