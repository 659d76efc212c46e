#include "reviewrules.h"

#include "foundation/decoding/strictformats.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

// ---- paths ----

QString ServicePaths::standardized(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString ServicePaths::resolved(const QString &path)
{
    // Resolve the longest part that exists; what follows it cannot hold a
    // link yet and is kept as written.
    const QString clean = standardized(path);
    QString existing = clean;
    QStringList rest;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return clean;
        rest.prepend(QFileInfo(existing).fileName());
        existing = parent;
    }
    const QFileInfo found(existing);
    // A dangling link resolves to where it points, never to itself.
    const QString canonical = found.exists() ? found.canonicalFilePath() : found.symLinkTarget();
    if (canonical.isEmpty())
        return clean;
    rest.prepend(canonical);
    return QDir::cleanPath(rest.join(QLatin1Char('/')));
}

bool ServicePaths::isBelow(const QString &path, const QString &folder)
{
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix) && path.size() > prefix.size();
}

namespace {

bool sameUuid(const QString &text, const QUuid &expected)
{
    const auto parsed = StrictFormats::parseUuid(text);
    return parsed && *parsed == expected;
}

QString lastComponent(const QString &key)
{
    return QFileInfo(QDir::cleanPath(key)).fileName();
}

// The project folder as the file checks compare it: links resolved, then standard form.
QString storageFolderPath(const QUrl &storageFolder)
{
    return ServicePaths::resolved(storageFolder.toLocalFile());
}

} // namespace

// ---- review video ----

bool ServiceReviewVideoDownload::matches(const ServiceProposal &proposal, const ServiceReceipt &request,
                                         const QUuid &expectedOperator, const QUrl &storageFolder) const
{
    const auto &video = proposal.content.video;
    if (!verified || !sameUuid(operatorID, expectedOperator))
        return false;
    if (companyID != request.company_id || requestID != request.id || proposalID != proposal.id)
        return false;
    if (proposalVersion != proposal.version_number || !video)
        return false;
    if (video->bucket != QLatin1String("tf-reviews"))
        return false;
    static const QRegularExpression hash(QStringLiteral("\\A[a-f0-9]{64}\\z"));
    if (!hash.match(video->sha256).hasMatch() || sha256 != video->sha256)
        return false;
    if (byteCount != video->byte_count || video->byte_count < 1 || video->byte_count > 536870912)
        return false;
    if (!std::isfinite(duration) || duration <= 0 || duration > 86400 || duration != video->duration_seconds)
        return false;

    const ServiceReceipt &task = history.request;
    if (task.id != request.id || task.company_id != request.company_id || task.backup_id != request.backup_id
        || task.source_fingerprint != request.source_fingerprint || task.local_project_id != request.local_project_id
        || task.kind != request.kind || task.revision < request.revision)
        return false;
    const auto listed = std::find_if(history.proposals.cbegin(), history.proposals.cend(),
                                     [&](const ServiceProposal &p) { return p.id == proposalID; });
    if (listed == history.proposals.cend() || listed->version_number != proposalVersion || !listed->content.video
        || !(*listed->content.video == *video) || listed->content.title != proposal.content.title
        || listed->content.body != proposal.content.body)
        return false;

    if (!file.startsWith(QLatin1Char('/')) || file.contains(QChar(u'\0')))
        return false;
    const QString standard = ServicePaths::standardized(file);
    if (standard != file)
        return false;
    const QString real = ServicePaths::resolved(standard);
    if (real != standard)
        return false;
    if (!ServicePaths::isBelow(real, storageFolderPath(storageFolder)))
        return false;
    const QString tail = QStringLiteral("/review-videos/%1/%2/%3").arg(requestID, proposalID, lastComponent(video->object_key));
    return real.endsWith(tail);
}

// ---- reactions ----

bool ServiceReactionRules::matches(const ServiceReactionSummary &reaction, const std::optional<ServiceDetail> &detail)
{
    if (!StrictFormats::parseUuid(reaction.reactionID) || !detail)
        return false;
    const auto proposal = std::find_if(detail->proposals.cbegin(), detail->proposals.cend(),
                                       [&](const ServiceProposal &p) { return p.id == reaction.proposalID; });
    if (proposal == detail->proposals.cend())
        return false;
    const auto decision = std::find_if(detail->decisions.cbegin(), detail->decisions.cend(),
                                       [&](const ServiceDecision &d) { return d.id == reaction.decisionID; });
    if (decision == detail->decisions.cend() || decision->proposal_id != proposal->id)
        return false;
    if (proposal->version_number != reaction.proposalVersion)
        return false;
    if (!proposal->content.video || proposal->content.video->sha256 != reaction.sourceSHA256)
        return false;
    if (reaction.mode != QLatin1String("selfie") && reaction.mode != QLatin1String("audio"))
        return false;
    if (!std::isfinite(reaction.duration) || reaction.duration <= 0 || reaction.duration > maximumDuration)
        return false;
    return reaction.annotationCount >= 0 && reaction.annotationCount <= maximumAnnotations;
}

bool ServiceReactionRules::annotationPasses(const ServiceReactionDownload::Annotation &annotation, double duration)
{
    if (!StrictFormats::parseUuid(annotation.id))
        return false;
    if (annotation.text.trimmed().isEmpty() || annotation.text.size() > maximumAnnotationLength)
        return false;
    if (!std::isfinite(annotation.sourceSeconds) || annotation.sourceSeconds < 0)
        return false;
    return std::isfinite(annotation.reactionSeconds) && annotation.reactionSeconds >= 0
        && annotation.reactionSeconds <= duration;
}

std::optional<QString> ServiceReactionRules::checkedFile(const QString &file, const QString &requestID,
                                                         const ServiceReactionSummary &reaction, const QUrl &storageFolder)
{
    // A NUL would cut the path short where the file is opened.
    if (file.isEmpty() || file.contains(QChar(u'\0')))
        return std::nullopt;
    const QString standard = ServicePaths::standardized(file);
    const QString real = ServicePaths::resolved(standard);
    if (!ServicePaths::isBelow(real, storageFolderPath(storageFolder)))
        return std::nullopt;
    const QString tail = QStringLiteral("/reaction-feedback/%1/%2/%3/reaction.mp4")
                             .arg(requestID, reaction.decisionID, reaction.reactionID);
    if (!standard.endsWith(tail))
        return std::nullopt;
    return real;
}

// ---- feedback timestamps ----

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimSpaces(QString text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && isSpaceOrTab(text.at(start)))
        ++start;
    while (end > start && isSpaceOrTab(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

} // namespace

QList<ServiceReviewTimestamp> ServiceReviewTimestampRules::markers(const QString &text, double duration,
                                                                   const QString &decisionID)
{
    if (!std::isfinite(duration) || duration <= 0)
        return {};
    // (*ANY): a line starts after any line break, "\r" and U+2028 included.
    static const QRegularExpression stamp(QStringLiteral("(*ANY)^[ \\t]*\\[([0-9]{1,5}):([0-5][0-9])\\][ \\t]*([^\\r\\n]*)"),
                                          QRegularExpression::MultilineOption);
    QList<ServiceReviewTimestamp> found;
    auto matches = stamp.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        bool minutesRead = false, secondsRead = false;
        const double minutes = match.captured(1).toDouble(&minutesRead);
        const double secondsPart = match.captured(2).toDouble(&secondsRead);
        if (!minutesRead || !secondsRead)
            continue;
        const double seconds = minutes * 60 + secondsPart;
        if (!std::isfinite(seconds) || seconds > duration)
            continue;
        found.append(ServiceReviewTimestamp{decisionID + QLatin1Char('.') + QString::number(match.capturedStart(0)),
                                            seconds, trimSpaces(match.captured(3)), serviceClockLabel(seconds)});
    }
    return found;
}

QList<ServiceReviewTimestamp> ServiceReviewTimestampRules::markers(const ServiceReviewVideoDownload &download,
                                                                   const QList<ServiceDecision> &decisions)
{
    QList<ServiceReviewTimestamp> all;
    for (const ServiceDecision &decision : decisions)
        if (decision.proposal_id == download.proposalID)
            all += markers(decision.comment, download.duration, decision.id);
    return all;
}

QString serviceClockLabel(double seconds)
{
    // Far beyond any film, and exact both as a double and in 64 bits.
    constexpr double bound = 1e15;
    const double safe = std::isnan(seconds) ? 0 : std::clamp(std::trunc(seconds), 0.0, bound);
    const qint64 whole = qint64(safe);
    return QStringLiteral("%1:%2").arg(whole / 60, 2, 10, QLatin1Char('0')).arg(whole % 60, 2, 10, QLatin1Char('0'));
}
