#include "toolerror.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>

namespace {

// The Unicode Bidi_Control characters: marks, embeddings, overrides and isolates.
bool directionControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
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
    QString shown;
    shown.reserve(std::min(text.size(), toolErrorDisplayLimit * 2));
    bool space = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            space = !shown.isEmpty();
            continue;
        }
        if (c.category() == QChar::Other_Control || directionControl(c.unicode()))
            continue;
        if (space)
            shown.append(QLatin1Char(' '));
        space = false;
        shown.append(c);
        if (shown.size() > toolErrorDisplayLimit)
            break;
    }
    if (shown.size() <= toolErrorDisplayLimit)
        return shown;
    // Cut between two characters as the person sees them, room left for the ellipsis.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, shown);
    graphemes.setPosition(toolErrorDisplayLimit - 1);
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    shown.truncate(std::max<qsizetype>(graphemes.position(), 0));
    return shown.trimmed() + QChar(0x2026);
}
