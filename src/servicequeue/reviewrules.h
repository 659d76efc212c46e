#pragma once

// The checks that tie a downloaded review video or customer reaction to the
// opened task, the feedback timestamps read from decision comments, and the
// minute:second labels of the review views. No tool or widget access.

#include "videorecords.h"

#include <QUuid>

namespace ServicePaths {

// `path` made absolute (against the current folder) and put in standard
// form: "." and ".." components and repeated separators removed.
QString standardized(const QString &path);
// `path` with every symbolic link in it resolved, then in standard form. The
// part that does not exist yet is kept as written, so a missing file still
// has a resolved path.
QString resolved(const QString &path);
// Whether `path` lies strictly below `folder` (both already comparable).
bool isBelow(const QString &path, const QString &folder);

} // namespace ServicePaths

namespace ServiceReactionRules {

inline constexpr int maximumReactions = 500;
inline constexpr int maximumAnnotations = 500;
inline constexpr double maximumDuration = 600;
inline constexpr int maximumAnnotationLength = 4000;

// A listed reaction belongs to a proposal and a decision of `detail` and is
// of a kind, length and size the service accepts.
bool matches(const ServiceReactionSummary &reaction, const std::optional<ServiceDetail> &detail);
// One timed comment of a reaction `duration` seconds long.
bool annotationPasses(const ServiceReactionDownload::Annotation &annotation, double duration);
// The resolved path of a downloaded reaction's file when it lies inside
// `storageFolder` under reaction-feedback/<request>/<decision>/<reaction>/reaction.mp4;
// none otherwise. The player opens this path, never the answer's own text.
std::optional<QString> checkedFile(const QString &file, const QString &requestID,
                                   const ServiceReactionSummary &reaction, const QUrl &storageFolder);

} // namespace ServiceReactionRules

// One feedback timestamp of a decision comment.
struct ServiceReviewTimestamp
{
    QString id;
    double seconds = 0;
    QString text;
    QString label;
    bool operator==(const ServiceReviewTimestamp &) const = default;
};

namespace ServiceReviewTimestampRules {

// The stamps "[m:ss] rest of line" at the start of a line of `text` that fall
// within a film of `duration` seconds, in order.
QList<ServiceReviewTimestamp> markers(const QString &text, double duration, const QString &decisionID);
// The stamps of every decision about `download`'s proposal, in decision order.
QList<ServiceReviewTimestamp> markers(const ServiceReviewVideoDownload &download,
                                      const QList<ServiceDecision> &decisions);

} // namespace ServiceReviewTimestampRules

// "mm:ss" of whole seconds (truncated toward zero); minutes are not wrapped
// into hours. Positions beyond a safe bound show as the bound, so no value
// can overflow the arithmetic.
QString serviceClockLabel(double seconds);
