#include "symbolmark.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

SymbolMark::SymbolMark(QIcon icon, int side, QWidget *parent) : QLabel(parent), m_icon(std::move(icon)), m_side(side) {}

QSize SymbolMark::sizeHint() const
{
    const int extra = 2 * margin();
    return QSize(m_side + extra, m_side + extra).grownBy(contentsMargins()).expandedTo(minimumSize());
}

QSize SymbolMark::minimumSizeHint() const
{
    return sizeHint();
}

void SymbolMark::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event); // the frame, if any
    if (m_picture.isNull())
        m_picture = m_icon.pixmap(m_side, m_side);
    QPixmap picture = m_picture;
    if (!isEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        picture = style()->generatedIconPixmap(QIcon::Disabled, picture, &option);
    }
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemPixmap(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), picture);
}
