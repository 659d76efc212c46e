#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Timestamps from the tools as a person reads them.
namespace SorvaneDate {

// An internet date-time with or without a fraction of a second.
std::optional<QDateTime> parse(const QString &value);
// The short local date and time in the interface language (or `language`);
// a text that is no timestamp comes back unchanged.
QString text(const QString &value);
QString text(const QString &value, const QString &language);
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
