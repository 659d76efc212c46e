#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text of a tool's {"error": "..."} on standard error, when it is one.
// A blank text counts as none: shown as is, it would report the failure as nothing.
std::optional<QString> toolErrorText(const QByteArray &standardError);

// How a tool's error text is shown to the person: control characters, format
// characters and the other default-ignorable ones (direction, zero-width, tag
// characters, Hangul fillers) are dropped, except a zero-width non-joiner or
// joiner alone between two visible characters and a variation selector right
// after one; a run of characters drawn blank (white space, the braille blank)
// becomes one space; a character as the person sees it keeps at most a few
// marks, modifiers and selectors (each character a joiner links in counts as
// one of its own), and a text longer than `toolErrorDisplayLimit` UTF-16 units
// is cut between two such characters or before a joiner within one, ending in
// "…". Blank when nothing visible is left.
inline constexpr qsizetype toolErrorDisplayLimit = 500;
QString toolErrorForDisplay(const QString &text);
