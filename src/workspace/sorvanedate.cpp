#include "workspace/sorvanedate.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"

namespace SorvaneDate {

QString blocked(const QString &reason)
{
    if (reason == QLatin1String("active_film"))
        return loc("Waiting for the customer's active film");
    if (reason == QLatin1String("earlier_film"))
        return loc("An earlier film is waiting");
    if (reason == QLatin1String("service_paused"))
        return loc("Production is paused");
    if (reason == QLatin1String("editor_busy"))
        return loc("An editor is already working");
    return loc("Waiting for production eligibility");
}

} // namespace SorvaneDate

std::optional<SorvaneDeadline> SorvaneDeadline::at(const QString &due, const QDateTime &now)
{
    const auto date = StrictFormats::parseInternetDateTime(due);
    if (!date)
        return std::nullopt;
    const qint64 difference = now.msecsTo(*date);
    SorvaneDeadline deadline;
    deadline.exceeded = difference < 0;
    deadline.minutes = qMax<qint64>(1, qAbs(difference) / 1000 / 60);
    return deadline;
}

QString SorvaneDeadline::text() const
{
    return exceeded ? loc("Start target exceeded · %lld min", {minutes}) : loc("Start within %lld min", {minutes});
}
