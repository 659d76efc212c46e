#include "sorvanesettingssection.h"

#include "foundation/localization.h"

namespace {

struct Entry
{
    SorvaneSettingsSection section;
    const char *raw;
    const char *title;
    const char *symbol;
};

// The order is the sidebar's.
const Entry entries[] = {
    {SorvaneSettingsSection::account, "account", locKey("Account"), "person.crop.circle"},
    {SorvaneSettingsSection::storage, "storage", locKey("Project storage"), "externaldrive"},
    {SorvaneSettingsSection::ai, "ai", locKey("Connect AI"), "point.3.connected.trianglepath.dotted"},
    {SorvaneSettingsSection::cloud, "cloud", locKey("Cloud backups"), "icloud"},
    {SorvaneSettingsSection::packages, "packages", locKey("Local project packages"), "shippingbox"},
    {SorvaneSettingsSection::language, "language", locKey("Appens sprog"), "character.bubble"},
    {SorvaneSettingsSection::updates, "updates", locKey("Updates"), "arrow.down.circle"},
    {SorvaneSettingsSection::advanced, "advanced", locKey("Advanced tools"), "wrench.and.screwdriver"},
};

const Entry &entry(SorvaneSettingsSection section)
{
    return entries[int(section)];
}

} // namespace

QString rawValue(SorvaneSettingsSection section)
{
    return QString::fromLatin1(entry(section).raw);
}

std::optional<SorvaneSettingsSection> settingsSection(const QString &raw)
{
    for (const Entry &e : entries)
        if (raw == QLatin1StringView(e.raw))
            return e.section;
    return std::nullopt;
}

QList<SorvaneSettingsSection> allSettingsSections()
{
    QList<SorvaneSettingsSection> sections;
    for (const Entry &e : entries)
        sections.append(e.section);
    return sections;
}

QString title(SorvaneSettingsSection section)
{
    return loc(QString::fromUtf8(entry(section).title));
}

QString symbol(SorvaneSettingsSection section)
{
    return QString::fromLatin1(entry(section).symbol);
}
