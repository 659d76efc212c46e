#include "applicationicon.h"
#include "foundation/ui/uikit.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A stack of two film frames on a rounded square in the window's tint;
// shapes only, so drawing it asks no font anything.
QPixmap drawnMark(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / 16.0;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.5 * unit, 0.5 * unit, 15 * unit, 15 * unit), 3.5 * unit, 3.5 * unit);
    painter.fillPath(tile, UiKit::colour(UiKit::Ink::brand));
    const QColor ink(Qt::white);
    painter.setPen(QPen(ink, 0.9 * unit));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(5 * unit, 3.5 * unit, 7.5 * unit, 6 * unit), unit, unit);
    painter.setBrush(ink);
    const QRectF front(3.5 * unit, 6 * unit, 7.5 * unit, 6.5 * unit);
    painter.drawRoundedRect(front, unit, unit);
    // The frame's perforations.
    painter.setPen(Qt::NoPen);
    painter.setBrush(UiKit::colour(UiKit::Ink::brand));
    for (int hole = 0; hole < 3; ++hole) {
        const qreal y = front.top() + (1.2 + 2.0 * hole) * unit;
        painter.drawRect(QRectF(front.left() + 0.6 * unit, y, 0.8 * unit, 0.9 * unit));
        painter.drawRect(QRectF(front.right() - 1.4 * unit, y, 0.8 * unit, 0.9 * unit));
    }
    return pixmap;
}

} // namespace

QIcon applicationIcon()
{
    const QIcon given = QGuiApplication::windowIcon();
    if (!given.isNull())
        return given;
    QIcon drawn;
    for (int side : {32, 72, 144})
        drawn.addPixmap(drawnMark(side));
    return drawn;
}
