#include "sorvaneprofilerecords.h"

#include "foundation/decoding/strictformats.h"

#include <QTextBoundaryFinder>

namespace {

std::optional<QUuid> parsed(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    return StrictFormats::parseUuid(*text);
}

QString firstGrapheme(const QString &word)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    const qsizetype end = finder.toNextBoundary();
    return word.left(end > 0 ? end : word.size());
}

} // namespace

QString SorvanePersonProfile::initials(const QString &name)
{
    QStringList words;
    QString word;
    for (const uint c : name.toUcs4()) {
        if (QChar::isSpace(c)) {
            if (!word.isEmpty())
                words.append(std::exchange(word, QString()));
        } else {
            const char32_t scalar = c;
            word.append(QString::fromUcs4(&scalar, 1));
        }
    }
    if (!word.isEmpty())
        words.append(word);
    if (words.isEmpty())
        return QStringLiteral("?");
    QString result = firstGrapheme(words.first());
    if (words.size() > 1)
        result += firstGrapheme(words.last());
    return result.toUpper();
}

bool SorvaneRequestParticipants::matches(const SorvaneInboxRow &row) const
{
    const auto id = StrictFormats::parseUuid(row.request.id);
    if (!id || *id != requestID)
        return false;
    const auto submitter = StrictFormats::parseUuid(row.request.submitted_by);
    if (!submitter || *submitter != customer.userID)
        return false;
    const std::optional<QUuid> claimer = parsed(row.request.claimed_by);
    const std::optional<QUuid> named = instructor ? std::optional<QUuid>(instructor->userID) : std::nullopt;
    return claimer == named;
}

bool SorvaneProfileNames::isValid(const QString &name, bool trimmed)
{
    const QString text = name.trimmed();
    if (!trimmed && text != name)
        return false;
    if (text.isEmpty() || text.size() > 100)
        return false;
    for (const uint c : text.toUcs4()) {
        const auto category = QChar::category(char32_t(c));
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            return false;
    }
    return true;
}
