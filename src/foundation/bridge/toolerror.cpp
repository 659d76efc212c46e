#include "toolerror.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// A character as the person sees it keeps its first code point and at most
// this many after it. Writing needs few: a Vietnamese vowel carries two marks,
// a pointed and accented Hebrew letter five or six. A longer run only stacks marks
// over the line (or hides the words behind one character that fills the
// limit), so the rest of it is dropped.
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
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
        const qsizetype units = pair ? 2 : 1;
        if (blank(c)) {
            space = !cleaned.isEmpty();
            between = 0;
        } else if (joiner(c)) {
            if (!space && !cleaned.isEmpty())
                between = joiners ? 0 : c;
            joiners = true;
        } else if (!dropped(c)) {
            if (space)
                cleaned.append(QLatin1Char(' '));
            else if (between)
                cleaned.append(QChar(char16_t(between)));
            space = false;
            between = 0;
            joiners = false;
            cleaned.append(text.constData() + i, units);
        }
        i += units - 1;
    }

    // Taken a whole character (grapheme) at a time, each one bounded, until the
    // limit is passed; then cut after the last character that leaves room for
    // the ellipsis.
    QString shown;
    shown.reserve(std::min(cleaned.size(), toolErrorDisplayLimit + 1));
    qsizetype fits = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, cleaned);
    for (qsizetype start = 0, end; (end = graphemes.toNextBoundary()) != -1; start = end) {
        qsizetype kept = start;
        for (int codePoints = 0; kept < end && codePoints <= followersPerCharacter; ++codePoints)
            kept += cleaned.at(kept).isHighSurrogate() ? 2 : 1;
        shown.append(QStringView(cleaned).sliced(start, kept - start));
        if (shown.size() > toolErrorDisplayLimit) {
            shown.truncate(fits);
            return shown.trimmed() + QChar(0x2026);
        }
        if (shown.size() < toolErrorDisplayLimit)
            fits = shown.size();
    }
    return shown;
}
