#pragma once

#include <QList>
#include <QString>
#include <optional>

// The sections of a window's settings sheet, in the sheet's order.
enum class SorvaneSettingsSection { account, storage, ai, cloud, packages, language, updates, advanced };

QString rawValue(SorvaneSettingsSection section);
// The section of an exact raw value ("ai"); none for anything else.
std::optional<SorvaneSettingsSection> settingsSection(const QString &raw);
QList<SorvaneSettingsSection> allSettingsSections();
// The title in the interface language.
QString title(SorvaneSettingsSection section);
// The symbol name shown in the sidebar row and the pane header.
QString symbol(SorvaneSettingsSection section);
