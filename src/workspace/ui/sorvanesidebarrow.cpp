#include "sorvanesidebarrow.h"

#include "workspacesymbols.h"

#include <QPainter>
#include <QStyleOptionButton>

SorvaneSidebarRow::SorvaneSidebarRow(const QString &title, const QString &symbol, QWidget *parent)
    : QPushButton(title, parent)
{
    // Checkable only for its look and its accessible state; a click never toggles it.
    setCheckable(true);
    setFlat(true);
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumHeight(fontMetrics().height() + 12);
    setProperty("symbol", symbol);
}

void SorvaneSidebarRow::setSelected(bool selected)
{
    setChecked(selected);
}

void SorvaneSidebarRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool on = isChecked();
    if (on || underMouse()) {
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlphaF(on ? 0.2f : 0.08f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    const QColor ink = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    const int size = fontMetrics().height();
    const QRect iconRect(8, (height() - size) / 2, size, size);
    WorkspaceSymbols::icon(property("symbol").toString(), isEnabled() ? QColor() : ink).paint(&painter, iconRect);
    painter.setPen(ink);
    QFont font = this->font();
    if (on)
        font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    const QRect textRect = rect().adjusted(iconRect.right() + 8, 0, -6, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(font).elidedText(text(), Qt::ElideRight, textRect.width()));
}
