#include "symbols.h"

#include "foundation/logging.h"
#include "foundation/shortwait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScopeGuard>

#include <utility>

namespace Symbols {

QString glyph(const QString &symbol)
{
    static const QHash<QString, QString> glyphs = {
        {QStringLiteral("tray.full"), QStringLiteral("\u2630")},
        // An open tray; a bare box (U+2610) reads as a glyph the font lacks.
        {QStringLiteral("tray"), QStringLiteral("\u2294")},
        {QStringLiteral("person.crop.circle"), QStringLiteral("\u263A")},
        {QStringLiteral("bubble.left.and.bubble.right"), QStringLiteral("\u2709")},
        {QStringLiteral("clock"), QStringLiteral("\u25F7")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("\u2714")},
        {QStringLiteral("building.2"), QStringLiteral("\u25A6")},
        {QStringLiteral("gearshape"), QStringLiteral("\u2699")},
        {QStringLiteral("film.stack"), QStringLiteral("\u25A3")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("\u21BB")},
        {QStringLiteral("list.bullet.rectangle"), QStringLiteral("\u2630")},
        {QStringLiteral("tablecells"), QStringLiteral("\u25A6")},
        {QStringLiteral("arrow.up.arrow.down"), QStringLiteral("\u21C5")},
        {QStringLiteral("rectangle.3.group"), QStringLiteral("\u25A4")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("\u26A0")},
        {QStringLiteral("person.crop.circle.badge.exclamationmark"), QStringLiteral("\u26A0")},
        {QStringLiteral("testtube.2"), QStringLiteral("\u2697")},
        {QStringLiteral("arrow.right.circle.fill"), QStringLiteral("\u279C")},
        {QStringLiteral("scissors"), QStringLiteral("\u2702")},
        {QStringLiteral("lightbulb"), QStringLiteral("\u2727")},
        {QStringLiteral("text.book.closed"), QStringLiteral("\u270E")},
        {QStringLiteral("square.stack.3d.up"), QStringLiteral("\u25A4")},
        {QStringLiteral("externaldrive"), QStringLiteral("\u25A4")},
        {QStringLiteral("doc.text"), QStringLiteral("\u2637")},
        {QStringLiteral("hand.raised"), QStringLiteral("\u261B")},
        {QStringLiteral("play.fill"), QStringLiteral("\u25B6")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("\u2193")},
        // Where a label has to show its state without the theme: which backup is chosen, a warning.
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("\u25C9")},
        {QStringLiteral("circle"), QStringLiteral("\u25CB")},
        {QStringLiteral("checkmark"), QStringLiteral("\u2713")},
        {QStringLiteral("point.3.connected.trianglepath.dotted"), QStringLiteral("\u2234")},
        {QStringLiteral("icloud"), QStringLiteral("\u2601")},
        {QStringLiteral("shippingbox"), QStringLiteral("\u25A3")},
        {QStringLiteral("character.bubble"), QStringLiteral("A")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("\u2692")},
        // The stages of a video version: a label without its stage picture reads as no stage at all.
        {QStringLiteral("doc.badge.clock"), QStringLiteral("\u25F7")},
        {QStringLiteral("checkmark.shield"), QStringLiteral("\u2713")},
        {QStringLiteral("arrow.up.circle"), QStringLiteral("\u21E7")},
        {QStringLiteral("exclamationmark.arrow.triangle.2.circlepath"), QStringLiteral("\u26A0")},
        {QStringLiteral("paperplane"), QStringLiteral("\u2709")},
        {QStringLiteral("bubble.left"), QStringLiteral("\u270E")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("\u2714")},
    };
    return glyphs.value(symbol);
}

QIcon themeIcon(const QString &symbol)
{
    static const QHash<QString, QString> theme = {
        {QStringLiteral("scissors"), QStringLiteral("edit-cut")},
        {QStringLiteral("lightbulb"), QStringLiteral("dialog-information")},
        {QStringLiteral("text.book.closed"), QStringLiteral("accessories-text-editor")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("go-down")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-default")},
        {QStringLiteral("circle"), QStringLiteral("radio")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("externaldrive"), QStringLiteral("drive-harddisk")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("film.stack"), QStringLiteral("video-x-generic")},
        // The stages of a video version.
        {QStringLiteral("doc.badge.clock"), QStringLiteral("document-open-recent")},
        {QStringLiteral("checkmark.shield"), QStringLiteral("security-high")},
        {QStringLiteral("arrow.up.circle"), QStringLiteral("go-up")},
        {QStringLiteral("exclamationmark.arrow.triangle.2.circlepath"), QStringLiteral("dialog-warning")},
        {QStringLiteral("paperplane"), QStringLiteral("mail-send")},
        {QStringLiteral("bubble.left"), QStringLiteral("mail-message-new")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("emblem-default")},
    };
    return QIcon::fromTheme(theme.value(symbol, symbol));
}

static QIcon makeIcon(const QString &symbol, const QColor &ink);

// Rows paint their symbols many times a second while scrolling: each is made once.
QIcon icon(const QString &symbol, const QColor &ink)
{
    static QHash<QString, QIcon> made;
    const QString key = symbol + u'|' + (ink.isValid() ? ink.name(QColor::HexArgb) : QString());
    auto found = made.constFind(key);
    if (found == made.constEnd())
        found = made.insert(key, makeIcon(symbol, ink));
    return *found;
}

GlyphPen glyphPen(const QColor &ink)
{
    QFont font = QApplication::font();
    font.setPixelSize(26); // detaches the font from the application's
    return {font, ink.isValid() ? ink : QApplication::palette().color(QPalette::WindowText)};
}

// Every glyph picture, on whichever thread, is drawn by this one recipe.
static void drawGlyph(QPaintDevice *device, const QString &text, const GlyphPen &pen)
{
    QPainter painter(device);
    painter.setFont(pen.font);
    painter.setPen(pen.ink);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, text);
}

QImage glyphImage(const QString &symbol, const GlyphPen &pen)
{
    const QString text = glyph(symbol);
    if (text.isEmpty())
        return {};
    // The format a transparent-filled pixmap paints in, so the pixels match it.
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    drawGlyph(&image, text, pen);
    return image;
}

// The refresh action, the sidebar's mark, the layout picker and the sort and
// grouping menus.
QStringList openingSymbols()
{
    return {QStringLiteral("arrow.clockwise"),   QStringLiteral("film.stack"),
            QStringLiteral("list.bullet.rectangle"), QStringLiteral("tablecells"),
            QStringLiteral("arrow.up.arrow.down"), QStringLiteral("rectangle.3.group")};
}

GlyphsAhead::GlyphsAhead(QStringList symbols, const QColor &ink)
    : m_symbols(std::move(symbols)), m_pen(glyphPen(ink)), m_drawingPen(glyphPen(ink))
{
}

void GlyphsAhead::draw()
{
    // Whatever happens, take() stops waiting.
    const auto finish = qScopeGuard([this] {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_changed.notify_all();
    });
    TAVLON_ASSERT(m_drawingPen, return); // drawn once only
    // The font gets its engine data on this thread and is released here.
    const GlyphPen pen = *std::exchange(m_drawingPen, std::nullopt);
    for (const QString &symbol : m_symbols) {
        QImage picture = glyphImage(symbol, pen);
        if (picture.isNull())
            continue;
        {
            const std::lock_guard lock(m_mutex);
            m_pictures.insert(symbol, std::move(picture));
        }
        m_changed.notify_all();
    }
}

bool GlyphsAhead::covers(const QString &symbol, const GlyphPen &pen) const
{
    // The application's font or palette changed since: drawn ahead in another pen.
    return m_symbols.contains(symbol) && pen == m_pen;
}

std::optional<QImage> GlyphsAhead::take(const QString &symbol, const GlyphPen &pen)
{
    if (!covers(symbol, pen))
        return std::nullopt;
    waitShortly(m_mutex, m_changed, [&] { return m_finished || m_pictures.contains(symbol); });
    const std::lock_guard lock(m_mutex);
    const auto found = m_pictures.constFind(symbol);
    if (found == m_pictures.cend())
        return std::nullopt;
    return m_pictures.take(symbol);
}

static std::shared_ptr<GlyphsAhead> &drawnAhead()
{
    static std::shared_ptr<GlyphsAhead> ahead;
    return ahead;
}

void drawAhead(std::shared_ptr<GlyphsAhead> ahead)
{
    drawnAhead() = std::move(ahead);
}

static QIcon glyphIcon(const QString &symbol, const GlyphPen &pen)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    drawGlyph(&pixmap, glyph(symbol), pen);
    return QIcon(pixmap);
}

namespace {

// A glyph icon whose picture is made when its pixels are first asked for
// (painting, mostly): the window is built before the fonts are read, and
// building it never draws text nor waits for the drawing thread. The picture
// is then taken from the pictures drawn ahead when they were drawn in the
// icon's pen, and drawn here otherwise. Sizes are answered by an empty
// picture of the same size, so layouts see the icon it becomes.
class GlyphIconEngine final : public QIconEngine
{
public:
    GlyphIconEngine(const QString &symbol, const GlyphPen &pen)
        : m_state(std::make_shared<State>(State{symbol, pen, {}}))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        made().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return made().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return made().pixmap(size, 1.0, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return shape().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return shape().availableSizes(mode, state);
    }
    QString key() const override { return QStringLiteral("tavlon.glyph"); }
    QIconEngine *clone() const override { return new GlyphIconEngine(*this); }

private:
    struct State
    {
        QString symbol;
        GlyphPen pen;
        std::optional<QIcon> made;
    };

    const QIcon &made()
    {
        if (!m_state->made) {
            const auto &ahead = drawnAhead();
            std::optional<QImage> picture = ahead ? ahead->take(m_state->symbol, m_state->pen) : std::nullopt;
            m_state->made = picture ? QIcon(QPixmap::fromImage(std::move(*picture)))
                                    : glyphIcon(m_state->symbol, m_state->pen);
        }
        return *m_state->made;
    }
    static const QIcon &shape()
    {
        static const QIcon empty = [] {
            QPixmap pixmap(32, 32);
            pixmap.fill(Qt::transparent);
            return QIcon(pixmap);
        }();
        return empty;
    }

    std::shared_ptr<State> m_state; // shared by clones: the picture is made once
};

} // namespace

static QIcon makeIcon(const QString &symbol, const QColor &ink)
{
    if (!ink.isValid()) {
        const QIcon themed = themeIcon(symbol);
        if (!themed.isNull() && !themed.availableSizes().isEmpty())
            return themed;
    }
    if (glyph(symbol).isEmpty())
        return {};
    return QIcon(new GlyphIconEngine(symbol, glyphPen(ink)));
}

void apply(QAbstractButton *button, const QString &symbol)
{
    button->setProperty("symbol", symbol);
    button->setIcon(icon(symbol));
}

void applyThemed(QAbstractButton *button, const QString &symbol)
{
    button->setProperty("symbol", symbol);
    button->setIcon(themeIcon(symbol));
}

void apply(QLabel *label, const QString &symbol)
{
    label->setProperty("symbol", symbol);
    const QIcon image = themeIcon(symbol);
    const QPixmap pixmap = image.isNull() ? QPixmap() : image.pixmap(16, 16);
    if (!pixmap.isNull())
        label->setPixmap(pixmap);
    else
        label->setText(glyph(symbol));
}

QPixmap drawn(const QString &name, int size, const QWidget *context, QColor ink)
{
    const qreal ratio = context ? context->devicePixelRatioF() : 1.0;
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!ink.isValid())
        ink = context ? context->palette().color(QPalette::WindowText) : QColor(Qt::black);
    const qreal line = qMax<qreal>(1.2, size / 14.0);
    painter.setPen(QPen(ink, line));
    const QRectF circle(line, line, size - 2 * line, size - 2 * line);
    painter.drawEllipse(circle);
    if (name == QLatin1String("checkmark.circle")) {
        QPainterPath tick;
        tick.moveTo(size * 0.30, size * 0.52);
        tick.lineTo(size * 0.45, size * 0.67);
        tick.lineTo(size * 0.72, size * 0.36);
        painter.setPen(QPen(ink, line * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    } else {
        // A head and the shoulders, cropped by the circle.
        painter.setBrush(ink);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(size * 0.5, size * 0.4), size * 0.16, size * 0.16);
        QPainterPath clip;
        clip.addEllipse(circle);
        painter.setClipPath(clip);
        painter.drawEllipse(QPointF(size * 0.5, size * 0.95), size * 0.32, size * 0.26);
    }
    return pixmap;
}

} // namespace Symbols
