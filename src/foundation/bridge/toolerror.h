#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text of a tool's {"error": "..."} on standard error, when it is one.
// A blank text counts as none: shown as is, it would report the failure as nothing.
std::optional<QString> toolErrorText(const QByteArray &standardError);

// How a tool's error text is shown to the person: white space controls become
// spaces, other control characters and the invisible format characters (those
// that bend the text direction, zero-width and tag characters) are dropped,
// runs of white space become one space, a character as the person sees it
// keeps at most a few combining marks, and a text longer than
// `toolErrorDisplayLimit` UTF-16 units is cut between two such characters,
// ending in "…". Blank when nothing visible is left.
inline constexpr qsizetype toolErrorDisplayLimit = 500;
QString toolErrorForDisplay(const QString &text);
