#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Scheduling facts from the tools as a person reads them.
namespace SorvaneDate {

// The sentence for a production-eligibility code; unknown codes read as the
// general sentence.
QString blocked(const QString &reason);

} // namespace SorvaneDate

// How far a start target is from now, in whole minutes (at least one).
struct SorvaneDeadline
{
    bool exceeded = false;
    qint64 minutes = 1;

    // None when `due` is no timestamp.
    static std::optional<SorvaneDeadline> at(const QString &due, const QDateTime &now);
    QString text() const;
};
