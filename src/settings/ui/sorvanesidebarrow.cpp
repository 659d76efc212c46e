#include "sorvanesidebarrow.h"

#include "foundation/ui/symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace {

constexpr int padding = 10;
constexpr int spacing = 10;
constexpr int symbolWidth = 18;
constexpr int checkWidth = 14;
constexpr int rowMinimumHeight = 44;

} // namespace

SorvaneSidebarRow::SorvaneSidebarRow(const QString &title, const QString &symbol, bool selected, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol)
{
    setText(title);
    setCheckable(true);
    setChecked(selected);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(title);
}

void SorvaneSidebarRow::setGlyph(const QString &glyph)
{
    if (glyph == m_glyph)
        return;
    m_glyph = glyph;
    update();
}

void SorvaneSidebarRow::setSelected(bool selected)
{
    // The window sets every row on each change of its state: only a real
    // change repaints.
    if (isChecked() == selected)
        return;
    setChecked(selected);
    update();
}

QRect SorvaneSidebarRow::titleRect(int width) const
{
    const int left = padding + symbolWidth + spacing;
    const int right = width - padding - checkWidth - 4;
    return QRect(left, 0, qMax(10, right - left), height());
}

QString SorvaneSidebarRow::shownTitle(int width) const
{
    if (m_shown.width != width || m_shown.text != text() || m_shown.font != font()) {
        // A title known to fit is its first and only line, trimmed.
        const bool fits = m_fit.text == text() && m_fit.font == font() && width >= m_fit.fitsFrom;
        m_shown = {width, text(), font(), fits ? text().trimmed() : layOutTitle(width)};
    }
    return m_shown.shown;
}

bool SorvaneSidebarRow::fitsOnOneLine(int width) const
{
    const TitleFit &fit = currentFit();
    if (width >= fit.fitsFrom)
        return true;
    if (width <= fit.breaksAt)
        return false;
    shownTitle(width); // lays the title out, which records the answer
    return width >= fit.fitsFrom;
}

// What is known of the current title in the current font (forgotten when either changes).
SorvaneSidebarRow::TitleFit &SorvaneSidebarRow::currentFit() const
{
    if (m_fit.text != text() || m_fit.font != font())
        m_fit = {text(), font()};
    return m_fit;
}

QString SorvaneSidebarRow::layOutTitle(int width) const
{
    const int lineWidth = titleRect(width).width();
    const QFontMetrics metrics(font());
    QTextLayout layout(text(), font());
    layout.beginLayout();
    QStringList lines;
    int end = 0;
    for (int n = 0; n < 2; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(lineWidth);
        end = line.textStart() + line.textLength();
        lines << text().mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    TitleFit &fit = currentFit();
    if (lines.size() == 1 && end >= text().size())
        fit.fitsFrom = qMin(fit.fitsFrom, width);
    else
        fit.breaksAt = qMax(fit.breaksAt, width);
    if (end < text().size() && !lines.isEmpty())
        lines.last() = metrics.elidedText(lines.last() + text().mid(end), Qt::ElideRight, lineWidth);
    return lines.join(QLatin1Char('\n'));
}

int SorvaneSidebarRow::heightForWidth(int width) const
{
    // Without line feeds, a title is one line where it fits and two (the
    // second cut) where it does not.
    const int lines = text().contains(QLatin1Char('\n')) ? int(shownTitle(width).count(QLatin1Char('\n'))) + 1
                      : fitsOnOneLine(width)                ? 1
                                                            : 2;
    return qMax(rowMinimumHeight, lines * fontMetrics().lineSpacing() + 2 * padding);
}

QSize SorvaneSidebarRow::sizeHint() const
{
    const int width = qMax(160, this->width());
    return QSize(width, heightForWidth(width));
}

QSize SorvaneSidebarRow::minimumSizeHint() const
{
    return QSize(80, rowMinimumHeight);
}

void SorvaneSidebarRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    QPainterPath shape;
    shape.addRoundedRect(frame, 8, 8);
    if (isChecked()) {
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlphaF(0.12f);
        painter.fillPath(shape, tint);
        QColor border = palette().color(QPalette::WindowText);
        border.setAlphaF(0.6f);
        painter.setPen(QPen(border, 1.5));
        painter.drawPath(shape);
    } else if (underMouse() && isEnabled()) {
        QColor hover = palette().color(QPalette::WindowText);
        hover.setAlphaF(0.05f);
        painter.fillPath(shape, hover);
    }
    if (hasFocus()) {
        QColor focus = palette().color(QPalette::Highlight);
        painter.setPen(QPen(focus, 1));
        painter.drawPath(shape);
    }

    const QColor label = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    painter.setPen(label);
    const QRect symbolRect(padding, 0, symbolWidth, height());
    const QIcon icon = Symbols::themeIcon(m_symbol);
    if (!icon.isNull() && !icon.availableSizes().isEmpty())
        icon.paint(&painter, symbolRect.adjusted(0, (height() - 16) / 2, 0, -(height() - 16) / 2));
    else
        painter.drawText(symbolRect, Qt::AlignCenter, m_glyph.isEmpty() ? Symbols::glyph(m_symbol) : m_glyph);

    painter.drawText(titleRect(width()), Qt::AlignVCenter | Qt::AlignLeft, shownTitle(width()));

    if (isChecked()) {
        QFont bold = font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 0.85);
        painter.setFont(bold);
        painter.drawText(QRect(width() - padding - checkWidth, 0, checkWidth, height()), Qt::AlignCenter,
                         QStringLiteral("\u2713"));
    }
}
