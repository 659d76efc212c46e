#include "toolerror.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>

namespace {

// A character as the person sees it keeps its first code point and at most
// this many after it. Writing needs few: a Vietnamese vowel carries two marks,
// a pointed and accented Hebrew letter five or six. A longer run only stacks marks
// over the line (or hides the words behind one character that fills the
// limit), so the rest of it is dropped.
constexpr int followersPerCharacter = 8;

// Format characters draw nothing but bend the text around them: zero-width
// spaces and joiners, direction marks, embeddings, overrides and isolates
// (the Unicode Bidi_Control set), word joiners, invisible operators, the byte
// order mark and the tag characters. The few that are drawn as signs (the
// prepended concatenation marks of Arabic, Syriac and Kaithi numbers) stay.
bool dropped(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Surrogate: // half of a pair that is not there
        return true;
    case QChar::Other_Format:
        return !((c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 || c == 0x0891
                 || c == 0x08E2 || c == 0x110BD || c == 0x110CD);
    default:
        // The unassigned rest of the tag block is as invisible as the tags.
        return c >= 0xE0000 && c <= 0xE007F;
    }
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
    bool space = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
        const qsizetype units = pair ? 2 : 1;
        if (QChar::isSpace(c)) {
            space = !cleaned.isEmpty();
        } else if (!dropped(c)) {
            if (space)
                cleaned.append(QLatin1Char(' '));
            space = false;
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
