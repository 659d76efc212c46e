#include "toolerror.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// A character as the person sees it keeps its first code point and at most
// this many that attach to it (marks, modifiers, selectors); the characters a
// joiner links into one (the people of a family emoji) count as characters of
// their own. Writing needs few: a Vietnamese vowel carries two marks, a
// pointed and accented Hebrew letter five or six. A longer run only stacks
// marks over the line (or hides the words behind one character that fills
// the limit), so the rest of it is dropped.
constexpr int followersPerCharacter = 8;

// The Unicode Default_Ignorable_Code_Point ranges (DerivedCoreProperties):
// what a renderer shows as nothing, letters and marks among them (the Hangul
// fillers, variation selectors), and code points reserved for more of them.
// Qt has no accessor for the property.
constexpr std::pair<char32_t, char32_t> defaultIgnorable[] = {
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C},   {0x115F, 0x1160}, {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x206F}, {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

bool isDefaultIgnorable(char32_t c)
{
    const auto *range = std::upper_bound(std::begin(defaultIgnorable), std::end(defaultIgnorable), c,
                                         [](char32_t value, const auto &range) { return value < range.first; });
    return range != std::begin(defaultIgnorable) && c <= std::prev(range)->second;
}

// Characters that draw nothing, or only bend the text around them: controls,
// the default-ignorable ones above and the other format characters
// (interlinear annotation, Egyptian hieroglyph format controls), a half of a
// pair that is not there. The few format characters drawn as signs (the
// prepended concatenation marks of Arabic, Syriac and Kaithi numbers) stay.
bool dropped(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Surrogate:
        return true;
    case QChar::Other_Format:
        return !((c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 || c == 0x0891
                 || c == 0x08E2 || c == 0x110BD || c == 0x110CD);
    default:
        return isDefaultIgnorable(c);
    }
}

// Drawn as empty space: shown as one space however many there are.
bool blank(char32_t c)
{
    return QChar::isSpace(c) || c == 0x2800; // braille pattern blank
}

// The zero-width non-joiner and joiner shape the letters on either side of
// them (Persian words, joined emoji).
bool joiner(char32_t c)
{
    return c == 0x200C || c == 0x200D;
}

// Variation selectors choose how the character before them is drawn (emoji or
// text style, a keycap, a glyph variant); after nothing visible they choose nothing.
bool selector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
}

// Drawn onto the character before it rather than as one of its own.
bool attaches(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return c >= 0x1F3FB && c <= 0x1F3FF; // emoji skin tone modifiers
    }
}

char32_t codePointAt(const QString &text, qsizetype at)
{
    const QChar unit = text.at(at);
    return unit.isHighSurrogate() ? QChar::surrogateToUcs4(unit, text.at(at + 1)) : unit.unicode();
}

} // namespace

std::optional<QString> toolErrorText(const QByteArray &standardError)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(standardError, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue error = document.object().value(QStringLiteral("error"));
    if (!error.isString() || toolErrorForDisplay(error.toString()).isEmpty())
        return std::nullopt;
    return error.toString();
}

QString toolErrorForDisplay(const QString &text)
{
    // Cleaned by code points, so that a character outside the basic plane is
    // judged as itself and never by its halves.
    QString cleaned;
    cleaned.reserve(text.size());
    bool space = false;    // blank characters since the last one kept
    char32_t between = 0;  // a joiner after the last character kept, kept before the next
    bool joiners = false;  // any joiner since then: two in a row join nothing
    bool visible = false;  // the code point before was kept, and a selector may follow it
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
        const qsizetype units = pair ? 2 : 1;
        if (blank(c)) {
            space = !cleaned.isEmpty();
            between = 0;
            visible = false;
        } else if (joiner(c)) {
            if (!space && !cleaned.isEmpty())
                between = joiners ? 0 : c;
            joiners = true;
            visible = false;
        } else if (selector(c) ? visible : !dropped(c)) {
            if (space)
                cleaned.append(QLatin1Char(' '));
            else if (between)
                cleaned.append(QChar(char16_t(between)));
            space = false;
            between = 0;
            joiners = false;
            visible = !selector(c);
            cleaned.append(text.constData() + i, units);
        } else {
            visible = false;
        }
        i += units - 1;
    }

    // Taken a whole character (grapheme) at a time, each one bounded, until the
    // limit is passed; then cut after the last character that leaves room for
    // the ellipsis. Within a character, before a joiner that links the next
    // one is a place to cut as well, so that a long joined chain is cut like
    // the characters it is made of.
    QString shown;
    shown.reserve(std::min(cleaned.size(), toolErrorDisplayLimit + 1));
    qsizetype fits = 0;
    const auto passed = [&] {
        if (shown.size() > toolErrorDisplayLimit)
            return true;
        if (shown.size() < toolErrorDisplayLimit)
            fits = shown.size();
        return false;
    };
    const auto cut = [&] {
        shown.truncate(fits);
        return shown.trimmed() + QChar(0x2026);
    };
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, cleaned);
    for (qsizetype start = 0, end; (end = graphemes.toNextBoundary()) != -1; start = end) {
        int followers = 0;
        bool linked = false; // the code point before is a joiner kept
        for (qsizetype at = start; at < end;) {
            const char32_t c = codePointAt(cleaned, at);
            const qsizetype units = QChar::requiresSurrogates(c) ? 2 : 1;
            bool keep = true;
            if (joiner(c)) {
                // Kept only with what it joins: a mark after it past the
                // bound goes, and the joiner with it.
                const bool last = at + units == end;
                const bool links = last || !attaches(codePointAt(cleaned, at + units));
                keep = links || followers < followersPerCharacter;
                if (keep && links && passed())
                    return cut();
            } else if (at == start || (linked && !attaches(c))) {
                followers = 0; // the character itself, or one a joiner links to it
            } else {
                keep = followers++ < followersPerCharacter;
            }
            linked = keep && joiner(c);
            if (keep)
                shown.append(QStringView(cleaned).sliced(at, units));
            at += units;
        }
        // A character ending in a joiner was weighed before its joiner.
        if (!linked && passed())
            return cut();
    }
    return shown;
}
