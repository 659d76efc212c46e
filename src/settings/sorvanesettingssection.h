#pragma once

// The sections of a window's settings sheet, in the sheet's order. Each has
// one pane, declared in the same order in settings/ui/sorvanesettingspanes.cpp
// (with its raw value, title and symbol: settings/ui/sorvanesettingspane.h).
enum class SorvaneSettingsSection { account, storage, ai, cloud, packages, language, updates, advanced };
