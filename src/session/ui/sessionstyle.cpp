#include "sessionstyle.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

namespace SessionStyle {

namespace {
// Point sizes of the platform styles relative to its 13-point body text.
qreal factor(TextStyle style)
{
    switch (style) {
    case TextStyle::Title2Bold:
        return 17.0 / 13.0;
    case TextStyle::Callout:
        return 12.0 / 13.0;
    case TextStyle::Caption:
        return 10.0 / 13.0;
    }
    return 1.0;
}

// A wrapped label's height is asked for again on every layout pass (a window
// being laid out asks each one about ten times), and QLabel lays its text out
// anew each time. The answers are kept for the last few widths, keyed by all
// that decides them.
class WrappedLabel final : public QLabel
{
public:
    using QLabel::QLabel;

    int heightForWidth(int width) const override
    {
        const Key key = currentKey(width);
        for (const Answer &answer : m_heights)
            if (answer.key == key)
                return answer.value.height();
        const int height = QLabel::heightForWidth(width);
        m_heights[m_nextHeight] = {key, QSize(width, height)};
        m_nextHeight = (m_nextHeight + 1) % int(std::size(m_heights));
        return height;
    }

    QSize minimumSizeHint() const override
    {
        const Key key = currentKey(-1);
        if (m_minimum.key == key && m_minimum.key.policy == sizePolicy())
            return m_minimum.value;
        m_minimum = {key, QLabel::minimumSizeHint()};
        return m_minimum.value;
    }

private:
    struct Key
    {
        int width = -2;
        QString text;
        QFont font;
        QMargins contents;
        int margin = 0;
        int indent = 0;
        int dpi = 0;
        Qt::Alignment alignment;
        Qt::TextFormat format = Qt::PlainText;
        Qt::TextInteractionFlags interaction;
        bool wrap = false;
        QSizePolicy policy;
        bool operator==(const Key &other) const
        {
            return width == other.width && margin == other.margin && indent == other.indent && dpi == other.dpi
                && alignment == other.alignment && format == other.format && interaction == other.interaction
                && wrap == other.wrap && contents == other.contents && text == other.text && font == other.font;
        }
    };
    struct Answer
    {
        Key key;
        QSize value;
    };

    Key currentKey(int width) const
    {
        return {width,    text(),     font(),      contentsMargins(),      margin(), indent(), logicalDpiY(),
                alignment(), textFormat(), textInteractionFlags(), wordWrap(), sizePolicy()};
    }

    mutable Answer m_heights[4];
    mutable int m_nextHeight = 0;
    mutable Answer m_minimum;
};
} // namespace

void setTextStyle(QWidget *widget, TextStyle style)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor(style));
    if (style == TextStyle::Title2Bold)
        font.setBold(true);
    widget->setFont(font);
}

QLabel *label(const QString &text, TextStyle style, QWidget *parent)
{
    auto *result = new WrappedLabel(text, parent);
    result->setWordWrap(true);
    result->setTextFormat(Qt::PlainText);
    setTextStyle(result, style);
    return result;
}

void setSecondary(QWidget *widget)
{
    widget->setForegroundRole(QPalette::PlaceholderText);
}

void setOrange(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 149, 0));
    palette.setColor(QPalette::Text, QColor(255, 149, 0));
    widget->setPalette(palette);
}

void makeProminent(QPushButton *button)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    palette.setColor(QPalette::Disabled, QPalette::Button, palette.color(QPalette::Disabled, QPalette::Window));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText,
                     palette.color(QPalette::Disabled, QPalette::WindowText));
    button->setPalette(palette);
}

QPushButton *button(const QString &text, QWidget *parent)
{
    auto *result = new QPushButton(text, parent);
    result->setAutoDefault(false);
    return result;
}

QProgressBar *smallProgress(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 10);
    return bar;
}

QPixmap symbol(const QString &name, int size, const QWidget *context, QColor ink)
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

} // namespace SessionStyle
