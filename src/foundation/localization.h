#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <optional>
#include <variant>
#include <vector>

// One format argument: a text ("%@"), a signed 64-bit integer ("%lld") or a
// double ("%.2f", "%.1f").
using FormatArg = std::variant<QString, qint64, double>;

// The interface language and the one lookup every visible text goes through.
// The key is the source sentence itself.
namespace EditorLocalization {

inline constexpr const char *preferenceKey = "editor.interfaceLanguage";
inline constexpr const char *resourceBundleName = "TavlonFilmEditor_EditorDesktop.bundle";

// "da" or "en": an exact preference wins; otherwise the first preferred
// language tag whose first piece is "da" or "en"; otherwise "en".
QString resolve(const std::optional<QString> &preference, const QStringList &preferredLanguages);

// The interface language, settled once per process from the stored
// preference and the system's languages.
QString language();

// Path of the resource bundle that holds da.lproj and en.lproj.
QString resources();

// Looks up `key` in the table of `language` ("da" or "en"; anything else
// reads English) and, when arguments are given, formats it printf-style under
// that language's locale.
QString text(const QString &key, const QString &language, const std::vector<FormatArg> &arguments = {});

// printf-style formatting of one sentence ("%@", "%lld", "%d", "%.Nf",
// positional "%1$@", "%%") under the locale of `language`; integers are never
// grouped.
QString format(const QString &sentence, const QString &language, const std::vector<FormatArg> &arguments);

// Loads the toolkit's own translations (file chooser, message boxes, standard buttons) for the
// interface language into the running application. English needs none; returns whether the
// language is covered.
bool installToolkitTranslations();

// Whether both string tables could be read (the verification switch uses it).
bool tableLoaded(const QString &language);

// Test hook: fixes the interface language before (or instead of) resolving it.
void overrideLanguageForTesting(const QString &language);

} // namespace EditorLocalization

// The lookup in the interface language. Always pass a literal: a test scans
// the sources for the literals given to loc() and locKey() and checks both tables.
QString loc(const char *key);
QString loc(const char *key, std::initializer_list<FormatArg> arguments);
QString loc(const QString &key, const std::vector<FormatArg> &arguments = {});

// Marks a literal that is looked up later (kept in a table or passed around).
constexpr const char *locKey(const char *key) { return key; }
