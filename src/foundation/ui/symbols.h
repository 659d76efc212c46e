#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QAbstractButton;
class QLabel;
class QWidget;

// The application's symbols by name ("scissors", "folder", …), one table for
// every screen. A symbol shows the nearest freedesktop theme icon; where the
// theme has none, its glyph drawn in the text colour stands in (icon(),
// apply()), so a control never loses its picture. A glyph is drawn when the
// icon is first painted, in the pen read when it was made: making an icon
// draws no text.
namespace Symbols {
// The theme's icon alone (null, or without sizes, where the theme has none).
QIcon themeIcon(const QString &symbol);
// The theme's icon, or the glyph drawn in `ink`; a given ink always draws the glyph.
QIcon icon(const QString &symbol, const QColor &ink = {});
// A character that stands in for the symbol (may be empty).
QString glyph(const QString &symbol);
// The name stays on the widget as the "symbol" property.
// The button shows icon(): the theme's icon or the glyph.
void apply(QAbstractButton *button, const QString &symbol);
// The button shows the theme's icon only (none where the theme has none).
void applyThemed(QAbstractButton *button, const QString &symbol);
// The label shows the theme's icon at 16 pixels, else the glyph as its text.
void apply(QLabel *label, const QString &symbol);
// "person.crop.circle" and "checkmark.circle" drawn from shapes at `size`
// pixels, in `ink` or the context's window text colour.
QPixmap drawn(const QString &name, int size, const QWidget *context, QColor ink = {});

// What a glyph is drawn with: the application's font at the picture's size
// and the ink, or the window text colour when none is given. Read on the GUI
// thread; each call makes a font of its own (no data shared with another).
struct GlyphPen {
    QFont font;
    QColor ink;
    bool operator==(const GlyphPen &other) const { return font == other.font && ink == other.ink; }
};
GlyphPen glyphPen(const QColor &ink = {});

// The picture icon() shows for `symbol` when the theme has none (null when
// the symbol has no glyph). Draws text on an image only: any thread may call it.
QImage glyphImage(const QString &symbol, const GlyphPen &pen);

// The symbols the workspace window shows when it opens, in the order it asks
// for them.
QStringList openingSymbols();

// Glyph pictures drawn ahead on another thread. Drawing the first text costs
// font engines of the drawing thread's own (Qt keeps them per thread), so the
// GUI thread takes these pictures instead of drawing. Made on the GUI thread
// (it reads the pen) and handed to the other thread, which calls draw() once;
// take() hands a picture back.
class GlyphsAhead
{
public:
    explicit GlyphsAhead(QStringList symbols, const QColor &ink = {});
    // On the drawing thread, once.
    void draw();
    // The picture of `symbol` drawn ahead with `pen`, waiting while it is
    // being drawn; none when it was not asked for with that pen or could not
    // be drawn (the caller draws it then).
    std::optional<QImage> take(const QString &symbol, const GlyphPen &pen);

private:
    // Whether `symbol` is being drawn ahead with `pen`, without waiting.
    bool covers(const QString &symbol, const GlyphPen &pen) const;

    const QStringList m_symbols;
    const GlyphPen m_pen;                   // compared on the GUI thread only
    std::optional<GlyphPen> m_drawingPen;   // the drawing thread's own, given up by draw()
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QHash<QString, QImage> m_pictures;      // guarded by m_mutex
    bool m_finished = false;                // guarded by m_mutex
};

// Glyph icons take their pictures from `ahead`, when first painted, where it
// has them (GUI thread; null stops it). An icon may be made before `ahead`.
void drawAhead(std::shared_ptr<GlyphsAhead> ahead);
} // namespace Symbols
