#include "sorvaneinboxrowpainter.h"

#include "foundation/ui/uikit.h"
#include "workspace/sorvaneinboxrowcontent.h"
#include "profiles/sorvaneprofilephoto.h"
#include "profiles/ui/sorvaneavatarview.h"
#include "profiles/ui/sorvaneticketcustomerview.h"
#include "foundation/ui/symbols.h"

#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <unordered_map>

namespace SorvaneInboxRowPainter {

namespace {

struct Piece
{
    QRect rect;
    QString text;
    QFont font;
    QColor color; // invalid: the text colour
    int maxLines = 1;
    QString symbol; // drawn before the text
};

QFont scaled(const QFont &font, qreal factor, QFont::Weight weight)
{
    QFont result = font;
    result.setPointSizeF(font.pointSizeF() * factor);
    result.setWeight(weight);
    return result;
}

// The lines of `text` wrapped to `width`, at most `maxLines`, the last one elided.
QStringList wrappedUncached(const QString &text, const QFont &font, int width, int maxLines)
{
    QStringList lines;
    if (width <= 0)
        return lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    const QFontMetrics metrics(font);
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

// Laying text out is most of the cost of measuring and painting a row, and
// the same rows are measured and painted again after every change of the
// list: the lines are remembered per text, font and width (bounded; painting
// happens on the GUI thread only).
QStringList wrapped(const QString &text, const QFont &font, int width, int maxLines)
{
    struct Key
    {
        QString text;
        QFont font;
        int width;
        int maxLines;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash
    {
        std::size_t operator()(const Key &key) const noexcept
        {
            return qHashMulti(0, key.text, key.font, key.width, key.maxLines);
        }
    };
    static std::unordered_map<Key, QStringList, KeyHash> lines;
    Key key{text, font, width, maxLines};
    if (const auto found = lines.find(key); found != lines.end())
        return found->second;
    if (lines.size() >= 8192)
        lines.clear();
    QStringList result = wrappedUncached(text, font, width, maxLines);
    lines.emplace(std::move(key), result);
    return result;
}

int piecesHeight(const QString &text, const QFont &font, int width, int maxLines)
{
    return qMax(1, int(wrapped(text, font, width, maxLines).size())) * QFontMetrics(font).lineSpacing();
}

void drawPiece(QPainter *painter, const Piece &piece, const QPalette &palette)
{
    painter->setFont(piece.font);
    painter->setPen(piece.color.isValid() ? piece.color : palette.color(QPalette::Text));
    QRect area = piece.rect;
    if (!piece.symbol.isEmpty()) {
        const int size = QFontMetrics(piece.font).height();
        const QIcon icon = Symbols::icon(piece.symbol, painter->pen().color());
        icon.paint(painter, QRect(area.left(), area.top(), size, size));
        area.setLeft(area.left() + size + 4);
    }
    const QFontMetrics metrics(piece.font);
    int y = area.top();
    for (const QString &line : wrapped(piece.text, piece.font, area.width(), piece.maxLines)) {
        painter->drawText(QRect(area.left(), y, area.width(), metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
                          line);
        y += metrics.lineSpacing();
    }
}

// The name the customer line shows under the company, when it adds something.
std::optional<QString> personName(const SorvaneInboxRow &row, const std::optional<SorvanePersonProfile> &face)
{
    return SorvaneTicketCustomerView::personLine(row, face);
}

// The font and palette of an avatar view of each size: rows draw their
// avatars as the view does, without a widget each. Kept for the life of the
// process.
const SorvaneAvatarView &avatarView(int size)
{
    static QHash<int, SorvaneAvatarView *> views;
    SorvaneAvatarView *&view = views[size];
    if (!view)
        view = new SorvaneAvatarView(std::nullopt, QString(), size);
    return *view;
}

// A photo decoded once per text, not at every paint of every row (bounded;
// GUI thread only).
const std::optional<QImage> &photo(const std::optional<SorvanePersonProfile> &face)
{
    static const std::optional<QImage> none;
    if (!face || !face->avatarJPEGBase64)
        return none;
    static QHash<QString, std::optional<QImage>> photos;
    const QString &text = *face->avatarJPEGBase64;
    if (const auto found = photos.constFind(text); found != photos.cend())
        return *found;
    if (photos.size() >= 256)
        photos.clear();
    return *photos.insert(text, SorvaneProfilePhoto::image(text));
}

void paintAvatar(QPainter *painter, const QPoint &at, int size, const SorvaneInboxRow &row,
                 const std::optional<SorvanePersonProfile> &face)
{
    const SorvaneAvatarView &view = avatarView(size);
    // Every property set, so that the painter takes none from the list's font.
    QFont font = view.font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    const QString name = face && face->displayName ? *face->displayName
                                                   : row.company.contactName.value_or(row.company.name);
    const std::optional<QImage> &image = photo(face);
    painter->save();
    painter->translate(at);
    SorvaneAvatarView::paint(painter, size, image ? &*image : nullptr, SorvanePersonProfile::initials(name), font,
                             view.palette());
    painter->restore();
}

struct Layout
{
    QList<Piece> pieces;
    int height = 0;
};

Layout layOut(const Input &input, const QRect &rect, const QFont &font, const QPalette &palette)
{
    Layout layout;
    const SorvaneInboxRowContent content = SorvaneInboxRowContent::make(*input.row, input.now);
    const int padding = input.compact ? 4 : 9;
    const int spacing = input.compact ? 4 : 7;
    const int width = rect.width();
    const QFont captionFont = caption(font);
    const QColor dim = secondary(palette, input.background);
    int y = rect.top() + padding;
    const auto add = [&](Piece piece, int height) {
        piece.rect = QRect(rect.left(), y, piece.rect.width() > 0 ? piece.rect.width() : width, height);
        layout.pieces.append(piece);
        y += height + spacing;
    };

    // The customer line is drawn apart; it takes its own height.
    const int pinnedWidth = input.pinned ? QFontMetrics(font).height() + 6 : 0;
    y += customerHeight(*input.row, input.face, input.compact, width - pinnedWidth, font) + spacing;

    const QFont titleFont = input.compact ? scaled(font, 1.0, QFont::DemiBold) : scaled(font, 1.0, QFont::Bold);
    add({{}, content.title, titleFont, {}, 3}, piecesHeight(content.title, titleFont, width, 3));
    if (content.campaign)
        add({{}, *content.campaign, captionFont, dim, 2}, piecesHeight(*content.campaign, captionFont, width, 2));
    const int captionLine = QFontMetrics(captionFont).lineSpacing();
    {
        // Status and target share one line.
        Piece status{{}, content.statusTitle, captionFont, dim, 1, content.kindSymbol};
        if (content.target) {
            const int targetWidth = QFontMetrics(captionFont).horizontalAdvance(*content.target) + 2;
            Piece target{QRect(rect.left() + width - targetWidth, y, targetWidth, captionLine), *content.target,
                         captionFont, dim};
            layout.pieces.append(target);
            status.rect.setWidth(qMax(10, width - targetWidth - 3));
        }
        add(status, captionLine);
    }
    if (content.started)
        add({{}, *content.started, captionFont, dim}, captionLine);
    if (content.startBy) {
        add({{}, *content.startBy, captionFont, {}}, captionLine);
        if (content.deadline)
            add({{}, content.deadline->text(), captionFont,
                content.deadline->exceeded ? UiKit::colour(UiKit::Ink::attention, input.background) : dim}, captionLine);
    }
    if (content.blocked)
        add({{}, *content.blocked, captionFont, dim, 2}, piecesHeight(*content.blocked, captionFont, width, 2));
    layout.height = y - spacing + padding - rect.top();
    return layout;
}

} // namespace

QColor secondary(const QPalette &palette, const QColor &background)
{
    return UiKit::secondaryColour(palette, background.isValid() ? background : palette.color(QPalette::Base));
}

QColor highlighted(const QPalette &palette, const QColor &below, float tint)
{
    const QColor above = palette.color(QPalette::Highlight);
    const auto over = [tint](float under, float top) { return under + (top - under) * tint; };
    return QColor::fromRgbF(over(below.redF(), above.redF()), over(below.greenF(), above.greenF()),
                            over(below.blueF(), above.blueF()));
}

QColor selectedBackground(const QPalette &palette, const QColor &below, const QList<QColor> &around)
{
    // 1.3:1 is how plainly a light row stood out; a little more for rounding.
    constexpr qreal apart = 1.35;
    // Its second lines are made to read at 6:1 on it: the text must be able to.
    constexpr qreal legible = 6;
    const QColor text = palette.color(QPalette::Text);
    const auto standsOut = [&](const QColor &fill) {
        return UiKit::contrast(fill, below) >= apart
            && std::ranges::all_of(around, [&](const QColor &row) { return UiKit::contrast(fill, row) >= apart; });
    };
    const auto fits = [&](const QColor &fill) { return standsOut(fill) && UiKit::contrast(fill, text) >= legible; };
    QColor fill;
    for (int percent = 18; percent <= 100; percent += 2) {
        fill = QColor(highlighted(palette, below, percent / 100.0f).rgb()); // as drawn: 8 bits a channel
        if (standsOut(fill))
            break;
    }
    if (fits(fill))
        return fill;
    // An accent as light as the rows, or one under which the text no longer
    // reads: the fill goes darker in its own hue until it stands out from the
    // rows with its text reading, or else lighter.
    const float hue = qMax(0.0f, fill.hslHueF()), saturation = fill.hslSaturationF(), lightness = fill.lightnessF();
    for (const bool darker : {true, false})
        for (int step = 1; step <= 100; ++step) {
            const float to = darker ? lightness * (1 - step / 100.0f) : lightness + (1 - lightness) * step / 100.0f;
            const QColor moved(QColor::fromHslF(hue, saturation, to).rgb());
            if (fits(moved))
                return moved;
        }
    return fill;
}

QFont caption(const QFont &font, bool semibold)
{
    return scaled(font, 11.0 / 13.0, semibold ? QFont::DemiBold : QFont::Normal);
}

int customerHeight(const SorvaneInboxRow &row, const std::optional<SorvanePersonProfile> &face, bool compact, int width,
                   const QFont &font)
{
    const int avatar = compact ? 28 : 36;
    const int textWidth = width - avatar - 9;
    const QFont captionFont = caption(font, true);
    int text = piecesHeight(row.company.name, captionFont, textWidth, 2);
    if (personName(row, face))
        text += 2 + QFontMetrics(caption(font)).lineSpacing();
    return qMax(avatar, text);
}

void paintCustomer(QPainter *painter, const QRect &rect, const SorvaneInboxRow &row,
                   const std::optional<SorvanePersonProfile> &face, bool compact, const QPalette &palette,
                   const QFont &font, const QColor &background)
{
    const int avatar = compact ? 28 : 36;
    const int height = customerHeight(row, face, compact, rect.width(), font);
    const QRect circle(rect.left(), rect.top() + (height - avatar) / 2, avatar, avatar);
    paintAvatar(painter, circle.topLeft(), avatar, row, face);

    const int left = circle.right() + 10;
    const int textWidth = rect.right() - left;
    const QFont companyFont = caption(font, true);
    const int companyHeight = piecesHeight(row.company.name, companyFont, textWidth, 2);
    const auto person = personName(row, face);
    const int textHeight = companyHeight + (person ? 2 + QFontMetrics(caption(font)).lineSpacing() : 0);
    int y = rect.top() + (height - textHeight) / 2;
    drawPiece(painter, {QRect(left, y, textWidth, companyHeight), row.company.name, companyFont, {}, 2}, palette);
    if (person) {
        y += companyHeight + 2;
        drawPiece(painter,
                  {QRect(left, y, textWidth, QFontMetrics(caption(font)).lineSpacing()), *person, caption(font),
                   secondary(palette, background), 1},
                  palette);
    }
}

int height(const Input &input, int width, const QFont &font)
{
    return layOut(input, QRect(0, 0, width, 0), font, QPalette()).height;
}

void paint(QPainter *painter, const QRect &rect, const Input &input, const QPalette &palette, const QFont &font)
{
    const Layout layout = layOut(input, rect, font, palette);
    const int padding = input.compact ? 4 : 9;
    const int pinnedWidth = input.pinned ? QFontMetrics(font).height() + 6 : 0;
    const QRect customer(rect.left(), rect.top() + padding, rect.width() - pinnedWidth, 0);
    paintCustomer(painter, customer, *input.row, input.face, input.compact, palette, font, input.background);
    if (input.pinned) {
        const int size = QFontMetrics(font).height();
        const int h = customerHeight(*input.row, input.face, input.compact, customer.width(), font);
        Symbols::icon(QStringLiteral("arrow.right.circle.fill"), UiKit::colour(UiKit::Ink::ready))
            .paint(painter, QRect(rect.right() - size, customer.top() + (h - size) / 2, size, size));
    }
    for (const Piece &piece : layout.pieces)
        drawPiece(painter, piece, palette);
}

} // namespace SorvaneInboxRowPainter
