#include "datetimetext.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"

#include <QLocale>

QString shortDateTimeText(const QString &value, const QString &language)
{
    const auto date = StrictFormats::parseInternetDateTime(value);
    if (!date)
        return value;
    const bool danish = language == QLatin1String("da");
    return QLocale(danish ? QLocale::Danish : QLocale::English, danish ? QLocale::Denmark : QLocale::UnitedStates)
        .toString(date->toLocalTime(), QLocale::ShortFormat);
}

QString shortDateTimeText(const QString &value)
{
    return shortDateTimeText(value, EditorLocalization::language());
}
