#pragma once

#include <QIcon>
#include <QString>

class QAbstractButton;
class QLabel;

// The panels name their icons by symbol ("scissors", "folder", …); the
// name stays on the widget as the "symbol" property and picks the nearest
// freedesktop theme icon.
namespace EditorSymbols {
QIcon icon(const QString &symbol);
void apply(QAbstractButton *button, const QString &symbol);
void apply(QLabel *label, const QString &symbol);
// A character that stands in for the symbol where the icon theme has none (may be empty).
QString glyph(const QString &symbol);
} // namespace EditorSymbols
