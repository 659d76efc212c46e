#pragma once

#include "foundation/bridge/sorvaneinboxcursor.h"
#include "foundation/decoding/strictjson.h"
#include "servicequeue/servicerecords.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// The records the tools report for the Sorvane inbox. Every record is built
// from a JSON tree that SorvaneInboxWire has already checked; fromJson throws
// DecodingError for what the checks let through but a record cannot hold
// (an integer beyond 64 bits). Inbox pages and claim answers are built by
// SorvaneInboxWire itself from the values it checked, in one pass; a test
// keeps that equal to fromJson.


struct SorvaneCompanySummary
{
    enum class MetadataAccess { limited, granted };

    QUuid id;
    QString name;
    std::optional<QString> contactName;
    MetadataAccess metadataAccess = MetadataAccess::limited;
    bool canManageMetadata = false;

    static SorvaneCompanySummary fromJson(const JsonObjectReader &object);
    static std::optional<MetadataAccess> metadataAccessFromRaw(const QString &raw);
    friend bool operator==(const SorvaneCompanySummary &, const SorvaneCompanySummary &) = default;
};

struct SorvaneFilmSummary
{
    QUuid id;
    QString title;
    std::optional<QUuid> campaignID;
    std::optional<QString> campaignTitle;
    std::optional<QString> stage;

    static SorvaneFilmSummary fromJson(const JsonObjectReader &object);
    friend bool operator==(const SorvaneFilmSummary &, const SorvaneFilmSummary &) = default;
};

// The stages by which a customer's film pipeline is grouped, in this order.
enum class SorvanePipelineStage { development, recording, post, review, delivery };

namespace SorvanePipelineStages {
QList<SorvanePipelineStage> allCases();
QString rawValue(SorvanePipelineStage stage);
std::optional<SorvanePipelineStage> stageFromRaw(const QString &raw);
// The service's film stage text, compared exactly: "idea", "brief", "script"
// are development, "production" is post; "development" and "post" are not
// film stage texts and give none.
std::optional<SorvanePipelineStage> fromFilmStage(const std::optional<QString> &filmStage);
}

struct SorvaneScheduling
{
    enum class Tier { low, middle, high };
    enum class SubmissionMode { unspecified, free_capture, interview, scripted, archive, revision };
    enum class BlockedReason { active_film, earlier_film, service_paused, not_waiting, editor_busy };

    Tier tier = Tier::low;
    qint64 targetHours = 0;
    qint64 policyVersion = 0;
    qint64 round = 0;
    SubmissionMode submissionMode = SubmissionMode::unspecified;
    QString receivedAt;
    std::optional<QString> eligibleAt;
    std::optional<QString> dueAt;
    std::optional<QString> startedAt;
    std::optional<BlockedReason> blockedReason;
    bool canClaim = false;

    // Raw values equal the case names; matching is exact.
    static std::optional<Tier> tierFromRaw(const QString &raw);
    static std::optional<SubmissionMode> submissionModeFromRaw(const QString &raw);
    static std::optional<BlockedReason> blockedReasonFromRaw(const QString &raw);
    static QString rawValue(Tier tier);
    static QString rawValue(SubmissionMode mode);
    static QString rawValue(BlockedReason reason);
    // Target turnaround fixed by the tier: low 24, middle 8, high 2.
    static qint64 targetHoursOf(Tier tier);

    // Optional members may be absent or null; everything else is required.
    static SorvaneScheduling fromJson(const JsonObjectReader &object);
    friend bool operator==(const SorvaneScheduling &, const SorvaneScheduling &) = default;
};

// Who acts next on a row for the signed-in person.
enum class SorvaneNextActor { currentOperator, customer, otherEditor, queued, closed };

// One row of the inbox. Its identity is request.id as received; it defines
// no equality of its own.
struct SorvaneInboxRow
{
    ServiceReceipt request;
    SorvaneCompanySummary company;
    SorvaneFilmSummary film;
    SorvaneScheduling scheduling;

    SorvaneNextActor nextActor(const std::optional<QUuid> &operatorID) const;
    // A claimed, unstarted film-editing task of this operator.
    bool canStart(const std::optional<QUuid> &operatorID) const;

    static SorvaneInboxRow fromJson(const JsonObjectReader &object);
};

struct SorvaneInboxPage
{
    qint64 schemaVersion = 0;
    QUuid operatorID;
    QString serverTime;
    QList<SorvaneInboxRow> items;
    std::optional<SorvaneInboxCursor> nextCursor;
    std::optional<QUuid> nextRequestID;
    std::optional<SorvaneInboxRow> nextItem;

    static SorvaneInboxPage fromJson(const JsonObjectReader &object);
};

// A film of the pipeline: the summary a row shows, with its open request.
struct SorvanePipelineFilm : SorvaneFilmSummary
{
    std::optional<QUuid> requestID;
    std::optional<ServiceStatus> serviceStatus;

    static SorvanePipelineFilm fromJson(const JsonObjectReader &object);
    friend bool operator==(const SorvanePipelineFilm &, const SorvanePipelineFilm &) = default;
};

struct SorvanePipelinePage
{
    qint64 schemaVersion = 0;
    QUuid operatorID;
    QString serverTime;
    SorvaneCompanySummary company;
    QList<SorvanePipelineFilm> films;
    std::optional<QUuid> nextCursor;

    static SorvanePipelinePage fromJson(const JsonObjectReader &object);
};

struct SorvaneMutationResult
{
    qint64 schemaVersion = 0;
    QUuid operatorID;
    QString serverTime;
    std::optional<SorvaneInboxRow> item;
    bool replayed = false;

    static SorvaneMutationResult fromJson(const JsonObjectReader &object);
};

struct SorvaneMetadataSettings
{
    qint64 schemaVersion = 0;
    QUuid companyID;
    qint64 revision = 0;
    bool allowPipeline = false;
    std::optional<QString> contactName;

    static SorvaneMetadataSettings fromJson(const JsonObjectReader &object);
    friend bool operator==(const SorvaneMetadataSettings &, const SorvaneMetadataSettings &) = default;
};
