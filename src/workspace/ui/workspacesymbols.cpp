#include "workspacesymbols.h"

#include "editor/ui/editorsymbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>

namespace WorkspaceSymbols {

QString glyph(const QString &symbol)
{
    static const QHash<QString, QString> glyphs = {
        {QStringLiteral("tray.full"), QStringLiteral("\u2630")},
        {QStringLiteral("tray"), QStringLiteral("\u2610")},
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
        {QStringLiteral("externaldrive"), QStringLiteral("\u25AD")},
        {QStringLiteral("doc.text"), QStringLiteral("\u2637")},
        {QStringLiteral("hand.raised"), QStringLiteral("\u261B")},
        {QStringLiteral("play.fill"), QStringLiteral("\u25B6")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("\u2193")},
    };
    return glyphs.value(symbol);
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

static QIcon makeIcon(const QString &symbol, const QColor &ink)
{
    if (!ink.isValid()) {
        const QIcon themed = EditorSymbols::icon(symbol);
        if (!themed.isNull() && !themed.availableSizes().isEmpty())
            return themed;
    }
    const QString text = glyph(symbol);
    if (text.isEmpty())
        return {};
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = QApplication::font();
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(ink.isValid() ? ink : QApplication::palette().color(QPalette::WindowText));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, text);
    painter.end();
    return QIcon(pixmap);
}

void apply(QAbstractButton *button, const QString &symbol)
{
    button->setProperty("symbol", symbol);
    button->setIcon(icon(symbol));
}

} // namespace WorkspaceSymbols
