#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text of a tool's {"error": "..."} on standard error, when it is one.
// A blank text counts as none: shown as is, it would report the failure as nothing.
std::optional<QString> toolErrorText(const QByteArray &standardError);
