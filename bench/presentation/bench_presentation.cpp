// What the inbox screen recomputes after one change of the view options: the
// visible rows (filter, search, sort) and the groups of 10,000 loaded rows.
// Prints the median time per change (goal: under 10 ms).

#include "inboxfixtures.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxpresentation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

using namespace InboxFixtures;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    EditorLocalization::overrideLanguageForTesting("en");

    const QStringList statuses{"waiting", "active", "review", "changes_requested", "approved", "cancelled"};
    QList<SorvaneInboxRow> rows;
    rows.reserve(10000);
    for (int i = 0; i < 10000; ++i) {
        QJsonObject r = row(i + 1, statuses.at(i % statuses.size()), i % 7 == 0);
        r = set(r, "company/id", uuidFor(i % 40, 9));
        r = set(r, "request/company_id", uuidFor(i % 40, 9));
        r = set(r, "company/name", QStringLiteral("Kunde %1").arg(i % 40));
        r = set(r, "film/title", QStringLiteral("Film %1 om sommer").arg(i));
        rows.append(SorvaneInboxRow::fromJson(JsonObjectReader(r)));
    }
    const QList<SorvaneInboxPreferences> changes = [] {
        QList<SorvaneInboxPreferences> list;
        for (auto sort : SorvaneInboxOptions::allSorts())
            for (auto group : SorvaneInboxOptions::allGroupings())
                for (const QString &query : {QString(), QStringLiteral("sommer"), QStringLiteral("Kunde 3")}) {
                    SorvaneInboxPreferences p;
                    p.sort = sort;
                    p.group = group;
                    p.query = query;
                    list.append(p);
                }
        return list;
    }();

    const QLocale locale = SorvaneInboxPresentation::locale("en");
    const QUuid operatorID = QUuid::fromString(InboxFixtures::operatorID);
    QList<qint64> times;
    for (int round = 0; round < 3; ++round) {
        for (const SorvaneInboxPreferences &p : changes) {
            QElapsedTimer timer;
            timer.start();
            const QList<SorvaneInboxRow> visible = SorvaneInboxPresentation::rows(rows, std::nullopt, p, operatorID, locale);
            const QList<SorvaneInboxGroup> groups = SorvaneInboxPresentation::groups(visible, p.group);
            times.append(timer.nsecsElapsed());
            if (visible.size() > rows.size() || groups.size() > visible.size())
                return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("rows: %lld, changes: %lld\n", qint64(rows.size()), qint64(times.size()));
    std::printf("median ms per change: %.2f (goal < 10)\n", double(times.at(times.size() / 2)) / 1e6);
    std::printf("slowest ms per change: %.2f\n", double(times.constLast()) / 1e6);
    return 0;
}
