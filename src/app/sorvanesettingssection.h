#pragma once

#include <QString>

// The sections of a window's settings sheet, in the sheet's order.
enum class SorvaneSettingsSection { account, storage, ai, cloud, packages, language, updates, advanced };

inline QString rawValue(SorvaneSettingsSection section)
{
    switch (section) {
    case SorvaneSettingsSection::account: return QStringLiteral("account");
    case SorvaneSettingsSection::storage: return QStringLiteral("storage");
    case SorvaneSettingsSection::ai: return QStringLiteral("ai");
    case SorvaneSettingsSection::cloud: return QStringLiteral("cloud");
    case SorvaneSettingsSection::packages: return QStringLiteral("packages");
    case SorvaneSettingsSection::language: return QStringLiteral("language");
    case SorvaneSettingsSection::updates: return QStringLiteral("updates");
    case SorvaneSettingsSection::advanced: return QStringLiteral("advanced");
    }
    return {};
}
