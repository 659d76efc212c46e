#pragma once

#include <QString>

// A timestamp from the tools (an internet date-time, with or without a
// fraction of a second) as a short local date and time in `language`
// ("da" or "en"); a text that is no timestamp comes back unchanged.
QString shortDateTimeText(const QString &value, const QString &language);
// The same in the interface language.
QString shortDateTimeText(const QString &value);
