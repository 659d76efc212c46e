#pragma once

#include <QIcon>
#include <QString>

class QAbstractButton;
class QLabel;

// The workspace's symbols by name; where the icon theme has none, the
// symbol's glyph drawn in the text colour stands in, so a control never
// loses its picture.
namespace WorkspaceSymbols {
QIcon icon(const QString &symbol, const QColor &ink = {});
QString glyph(const QString &symbol);
void apply(QAbstractButton *button, const QString &symbol);
} // namespace WorkspaceSymbols
