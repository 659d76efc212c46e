#include "uikit.h"

#include "symbols.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QWheelEvent>
#include <QtMath>

namespace UiKit {

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

namespace {
void setStyleFont(QWidget *widget, const LabelStyle &style)
{
    if (style.monospaced) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(widget->font().pointSizeF() * style.scale);
        if (style.bold)
            font.setBold(true);
        widget->setFont(font);
    } else if (style.scale != 1.0 || style.bold) {
        QFont font = widget->font();
        if (style.scale != 1.0)
            font.setPointSizeF(font.pointSizeF() * style.scale);
        if (style.bold)
            font.setBold(true);
        widget->setFont(font);
    }
}

// `document` laid out at `width` (none: unbroken), apart from the one shown.
QSizeF laidOut(const QTextDocument *document, qreal width)
{
    const std::unique_ptr<QTextDocument> measured(document->clone());
    measured->setTextWidth(width);
    return measured->size();
}
} // namespace

void style(QLabel *label, const LabelStyle &style)
{
    if (!style.name.isEmpty())
        label->setObjectName(style.name);
    if (style.plain)
        label->setTextFormat(Qt::PlainText);
    if (style.wrap)
        label->setWordWrap(true);
    if (style.selectable)
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setStyleFont(label, style);
    if (style.secondary)
        setSecondary(label);
    if (style.ink)
        setInk(label, *style.ink);
}

QLabel *label(const QString &text, const LabelStyle &labelStyle, QWidget *parent)
{
    auto *result = labelStyle.textStyle ? label(text, *labelStyle.textStyle, parent) : new QLabel(text, parent);
    style(result, labelStyle);
    return result;
}

LongWordLabel::LongWordLabel(const QString &text, const LabelStyle &style, QWidget *parent) : QTextEdit(parent)
{
    if (!style.name.isEmpty())
        setObjectName(style.name);
    setStyleFont(this, style);
    // Drawn like a label: no frame, no field behind it, no scroll bars.
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setAcceptRichText(false);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setText(text);
}

void LongWordLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setPlainText(text);
    updateGeometry();
}

int LongWordLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = qMax(1, width - margins.left() - margins.right());
    return qCeil(laidOut(document(), inner).height()) + margins.top() + margins.bottom();
}

QSize LongWordLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    const int width = qCeil(laidOut(document(), -1).width()) + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize LongWordLabel::minimumSizeHint() const
{
    // Any width will do: the text breaks wherever it must.
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(QLatin1Char('W')) + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

void LongWordLabel::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

namespace {

// Watches the area's viewport (where the wheel over its content arrives) and
// its scroll bar. Left to Qt, a wheel turned up or down over the bar scrolls
// sideways, over the content it goes to the vertical bar even when that is
// off (and moves the content by the pixel it overflows), and Shift makes any
// turn a whole page. Here up and down belong to the page around the area,
// and Shift turns the wheel sideways by one step.
class SidewaysWheel final : public QObject
{
public:
    explicit SidewaysWheel(QAbstractScrollArea *area) : QObject(area), m_area(area)
    {
        area->viewport()->installEventFilter(this);
        area->horizontalScrollBar()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto *wheel = static_cast<QWheelEvent *>(event);
        const QPoint angle = wheel->angleDelta();
        const bool across = qAbs(angle.x()) > qAbs(angle.y());
        const bool shifted = wheel->modifiers().testFlag(Qt::ShiftModifier);
        if (across && !shifted)
            return false; // the area's own sideways scrolling
        if (!shifted) {
            wheel->ignore(); // up and down: handed on to the widgets around the area
            return true;
        }
        // Shift turns the wheel sideways (some platforms turn it themselves).
        const auto sideways = [across](QPoint delta) { return QPoint(across ? delta.x() : delta.y(), 0); };
        QWheelEvent turned(wheel->position(), wheel->globalPosition(), sideways(wheel->pixelDelta()), sideways(angle),
                           wheel->buttons(), wheel->modifiers() & ~Qt::ShiftModifier, wheel->phase(),
                           wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(m_area->horizontalScrollBar(), &turned);
        wheel->accept(); // at the strip's end too: the page scrolls no page for it
        return true;
    }

private:
    QAbstractScrollArea *m_area;
};

} // namespace

void scrollSideways(QAbstractScrollArea *area)
{
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    new SidewaysWheel(area);
}

QColor colour(Ink ink)
{
    switch (ink) {
    case Ink::failure:
        return QColor(215, 0, 21);
    case Ink::sheetFailure:
        return QColor(0xc0, 0x1c, 0x28);
    case Ink::attention:
        return QColor(255, 149, 0);
    case Ink::caution:
        return QColor(0xc3, 0x5b, 0x00);
    case Ink::companyFailure:
        return QColor(0xc0, 0x5a, 0x00);
    case Ink::profileFailure:
        return QColor(0xc2, 0x5e, 0x00);
    case Ink::storageIssue:
        return QColor(0xd9, 0x77, 0x06);
    case Ink::success:
        return QColor(0x1e, 0x7b, 0x34);
    case Ink::ready:
        return QColor(52, 199, 89);
    case Ink::brand:
        return QColor::fromRgbF(0.2f, 0.34f, 0.27f);
    case Ink::brandTint:
        return QColor::fromRgbF(0.26f, 0.38f, 0.33f, 1.0f);
    case Ink::avatarFill:
        return QColor::fromRgbF(0.87f, 0.92f, 0.87f);
    case Ink::avatarInk:
        return QColor::fromRgbF(0.12f, 0.27f, 0.19f);
    }
    return {};
}

namespace {
constexpr qreal readable = 4.5; // the contrast body text needs

// What a widget's text is drawn on: the background of the nearest widget
// that fills its own, its window at the latest.
QColor backgroundBehind(const QWidget *widget)
{
    const QWidget *filled = widget;
    while (!filled->isWindow() && !filled->autoFillBackground() && filled->parentWidget())
        filled = filled->parentWidget();
    return filled->palette().color(filled->backgroundRole());
}

// The colours a widget takes from around it: its parent's, or, for a
// window, the application's for its kind.
QPalette around(const QWidget *widget)
{
    return widget->parentWidget() && !widget->isWindow() ? widget->parentWidget()->palette()
                                                         : QApplication::palette(widget);
}

// `base` darkened (on a light background) or lightened (on a dark one) in
// its own hue until small text in it reads on `background`; as drawn, 8 bits
// a channel. Small text is drawn lighter than its colour at the edges of its
// strokes (a caption's read 4.1 where its ink read 4.6): it aims higher.
QColor readableOn(const QColor &base, const QColor &background, qreal aim = readable + 0.7)
{
    if (contrast(base, background) >= aim)
        return base;
    // Toward black on a light background, toward white on a dark one.
    const bool darken = contrast(Qt::black, background) >= contrast(Qt::white, background);
    const float hue = qMax(0.0f, base.hslHueF()), saturation = base.hslSaturationF(), lightness = base.lightnessF();
    QColor result = base;
    for (int step = 1; step <= 100; ++step) {
        const float to = darken ? lightness * (1 - step / 100.0f) : lightness + (1 - lightness) * step / 100.0f;
        result = QColor(QColor::fromHslF(hue, saturation, to).rgb());
        if (contrast(result, background) >= aim)
            break;
    }
    return result;
}

// Keeps a widget's text readable in its ink, or in the secondary colour, and
// its links: its background changes with its window's colours (a dark
// desktop) and with its place (a label is often made before it is placed).
// An ink wins over the secondary colour whichever came first. Only the
// enabled groups are set: disabled, the text looks disabled as any other.
class InkFollower final : public QObject
{
public:
    explicit InkFollower(QWidget *widget) : QObject(widget) { widget->installEventFilter(this); }

    void setInk(Ink ink, bool text)
    {
        m_ink = ink;
        m_text = text;
        apply();
    }
    void setSecondary()
    {
        m_secondary = true;
        apply();
    }
    void setLinks()
    {
        m_links = true;
        apply();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange)
            apply();
        return false;
    }

private:
    void apply()
    {
        if (m_applying)
            return;
        auto *widget = static_cast<QWidget *>(parent());
        const QColor background = backgroundBehind(widget);
        const QPalette inherited = around(widget);
        QPalette palette = widget->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            QColor ink;
            if (m_ink)
                ink = colour(*m_ink, background);
            else if (m_secondary)
                ink = secondaryColour(inherited, background);
            if (ink.isValid()) {
                palette.setColor(group, QPalette::WindowText, ink);
                if (m_text)
                    palette.setColor(group, QPalette::Text, ink);
            }
            if (m_links)
                palette.setColor(group, QPalette::Link, readableOn(inherited.color(group, QPalette::Link), background));
        }
        if (m_links)
            colourAnchors(widget, palette.color(QPalette::Active, QPalette::Link));
        if (palette == widget->palette() && palette.resolveMask() == widget->palette().resolveMask())
            return;
        m_applying = true;
        widget->setPalette(palette);
        m_applying = false;
    }

    // A label's rich text takes its links' colour from the application when
    // it is read, never from the label: each anchor is given it.
    static void colourAnchors(QWidget *widget, const QColor &link)
    {
        auto *label = qobject_cast<QLabel *>(widget);
        // Plain text shows what looks like a link as written (a customer's words).
        if (!label || label->textFormat() == Qt::PlainText
            || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text())))
            return;
        static const QRegularExpression anchor(QStringLiteral(R"(<a (style="color:#[0-9a-f]{6}" )?href=)"));
        QString text = label->text();
        text.replace(anchor, QStringLiteral("<a style=\"color:%1\" href=").arg(link.name()));
        if (text != label->text())
            label->setText(text);
    }

    std::optional<Ink> m_ink;
    bool m_text = false;
    bool m_secondary = false;
    bool m_links = false;
    bool m_applying = false;
};
} // namespace

QColor colour(Ink ink, const QColor &background)
{
    // Asked for on every paint of a row: each ink is found once per background.
    static QHash<std::pair<int, QRgb>, QColor> found;
    const auto key = std::pair(int(ink), background.rgb());
    if (const auto known = found.constFind(key); known != found.cend())
        return *known;
    const QColor result = readableOn(colour(ink), background);
    found.insert(key, result);
    return result;
}

QColor secondaryColour(const QPalette &palette, const QColor &background)
{
    // The placeholder colour is often the text's at half strength: what is
    // drawn is that laid over the background.
    const QColor placeholder = palette.color(QPalette::PlaceholderText);
    static QHash<std::pair<QRgb, QRgb>, QColor> found;
    const auto key = std::pair(placeholder.rgba(), background.rgb());
    if (const auto known = found.constFind(key); known != found.cend())
        return *known;
    const qreal alpha = placeholder.alphaF();
    const auto over = [alpha](qreal top, qreal below) { return below + (top - below) * alpha; };
    const QColor drawn = QColor::fromRgbF(over(placeholder.redF(), background.redF()),
                                          over(placeholder.greenF(), background.greenF()),
                                          over(placeholder.blueF(), background.blueF()));
    // Secondary text is mostly the smallest (a footnote in caption size read
    // 4.4 where its colour read 5.2): it aims higher still.
    const QColor result = readableOn(QColor(drawn.rgb()), background, readable + 1.5);
    found.insert(key, result);
    return result;
}

namespace {
// The widget's follower. By type, not findChild: without a meta-object of its
// own that takes any child, a selectable label's text control among them.
InkFollower *followerOf(const QWidget *widget)
{
    for (QObject *child : widget->children())
        if (auto *follower = dynamic_cast<InkFollower *>(child))
            return follower;
    return nullptr;
}
} // namespace

namespace {
InkFollower *follow(QWidget *widget)
{
    InkFollower *follower = followerOf(widget);
    return follower ? follower : new InkFollower(widget);
}
} // namespace

void setInk(QWidget *widget, Ink ink, bool text)
{
    follow(widget)->setInk(ink, text);
}

void clearInk(QWidget *widget)
{
    if (InkFollower *follower = followerOf(widget)) {
        delete follower;
        widget->setPalette(QPalette());
    }
}

void setSecondary(QWidget *widget)
{
    follow(widget)->setSecondary();
}

void setLinkInk(QWidget *widget)
{
    follow(widget)->setLinks();
}

qreal contrast(const QColor &one, const QColor &other)
{
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](qreal c) { return c <= 0.04045 ? c / 12.92 : qPow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const qreal a = luminance(one), b = luminance(other);
    return (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
}

namespace {
// The least contrast of `text` on the fill as `style` draws it, all down the
// fill behind the text, plain and as the default button: Fusion lightens and
// desaturates the Button colour, draws it as a gradient lighter at the top,
// lighter still under the pointer and darker pressed, and merges a default
// button's with the accent, so the colour drawn is not the colour given.
// Light text is drawn only under the pointer (the fill at its lightest),
// dark text at rest and pressed (darkest at the foot and pressed).
qreal leastContrast(const QStyle *style, QPalette palette, const QColor &fill, const QColor &text, bool lightText)
{
    palette.setColor(QPalette::Button, fill);
    QStyleOptionButton option;
    option.palette = palette;
    option.rect = QRect(0, 0, 64, 32);
    QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    qreal least = 21;
    const QList<QStyle::State> states = lightText ? QList<QStyle::State>{QStyle::State_Raised | QStyle::State_MouseOver}
                                                  : QList<QStyle::State>{QStyle::State_Raised, QStyle::State_Sunken};
    for (const auto features : {QStyleOptionButton::None, QStyleOptionButton::DefaultButton})
        for (const auto state : states) {
            option.features = features;
            option.state = QStyle::State_Enabled | state;
            image.fill(palette.color(QPalette::Window));
            QPainter painter(&image);
            style->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, nullptr);
            painter.end();
            // Inside the frame's two lines, where text can stand.
            for (int y = 2; y < option.rect.height() - 2; ++y)
                least = qMin(least, contrast(text, image.pixelColor(option.rect.center().x(), y)));
        }
    return least;
}

// The accent, darkened in its own hue (lightened under dark text) until the
// text reads on all of it as drawn: a light accent drawn lighter still gave
// white text 2:1, which read as disabled. Found once per style and colours:
// the search draws the button a few times for each step.
QColor readableFill(const QStyle *style, QPalette palette, QPalette::ColorGroup group)
{
    palette.setCurrentColorGroup(group);
    const QColor text = palette.color(QPalette::HighlightedText);
    QColor fill = palette.color(QPalette::Highlight);
    static QHash<std::pair<QString, std::pair<QRgb, QRgb>>, QColor> found;
    const auto key = std::pair(style->name(), std::pair(fill.rgba(), text.rgba()));
    if (const auto known = found.constFind(key); known != found.cend())
        return *known;
    const bool darken = text.lightnessF() > fill.lightnessF();
    for (int step = 0; step < 40; ++step) {
        if (leastContrast(style, palette, fill, text, darken) >= readable)
            break;
        fill = darken ? fill.darker(106) : fill.lighter(106);
    }
    found.insert(key, fill);
    return fill;
}

// Fills a button with the accent (Highlight) of where it stands, made
// readable under its text. Its own palette sets only the fill roles, so the
// accent is inherited from its window; a button is often made before it is
// placed there, so the fill follows every move and every change of the
// inherited colours or of the style.
class AccentFill final : public QObject
{
public:
    AccentFill(QPushButton *button, bool plainWhenDisabled) : QObject(button), m_plainWhenDisabled(plainWhenDisabled)
    {
        button->installEventFilter(this);
        fill(button);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange
            || event->type() == QEvent::StyleChange)
            fill(static_cast<QPushButton *>(watched));
        else if (event->type() == QEvent::EnabledChange)
            colourSymbol(static_cast<QPushButton *>(watched));
        return false;
    }

private:
    void fill(QPushButton *button)
    {
        if (m_filling)
            return;
        QPalette palette = button->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Button, readableFill(button->style(), palette, group));
            palette.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::HighlightedText));
        }
        // Otherwise only the enabled groups: a disabled main action must look disabled.
        if (m_plainWhenDisabled) {
            palette.setColor(QPalette::Disabled, QPalette::Button, palette.color(QPalette::Disabled, QPalette::Window));
            palette.setColor(QPalette::Disabled, QPalette::ButtonText,
                             palette.color(QPalette::Disabled, QPalette::WindowText));
        }
        if (palette == button->palette() && palette.resolveMask() == button->palette().resolveMask())
            return colourSymbol(button);
        m_filling = true;
        button->setPalette(palette);
        m_filling = false;
        colourSymbol(button);
    }

    // A glyph standing in for a symbol is drawn in the text's colour on the
    // fill (black on the accent sat beside white text); disabled, in the
    // window's text as before, which the style then greys. A theme's own icon
    // is left as the theme draws it.
    static void colourSymbol(QPushButton *button)
    {
        const QString symbol = button->property("symbol").toString();
        if (symbol.isEmpty() || button->icon().isNull() || !Symbols::themeIcon(symbol).availableSizes().isEmpty())
            return;
        const QPalette &palette = button->palette();
        button->setIcon(Symbols::icon(symbol, button->isEnabled() ? palette.color(QPalette::Active, QPalette::ButtonText)
                                                                  : palette.color(QPalette::Active, QPalette::WindowText)));
    }

    const bool m_plainWhenDisabled;
    bool m_filling = false;
};
} // namespace

void makeProminent(QPushButton *button)
{
    button->setDefault(false);
    button->setAutoDefault(false);
    new AccentFill(button, false);
    button->setProperty("prominent", true);
}

void fillWithAccent(QPushButton *button)
{
    new AccentFill(button, true);
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

} // namespace UiKit
