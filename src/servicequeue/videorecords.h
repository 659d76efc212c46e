#pragma once

// Records the tools print for video drafts, preserved native editor projects,
// the customer's reactions, video delivery receipts and review videos. Same
// rules as the task records: decode only, first bad field fails the whole answer.

#include "servicerecords.h"
#include <QUrl>
#include <QUuid>

struct VideoReviewPreview
{
    QString proposalID;
    QString requestID;
    QString exportID;
    QString file;
    QString notice;
    qint64 expectedRevision = 0;
    ProposalContent content;

    QString id() const { return proposalID; }
    static VideoReviewPreview fromJson(const JsonObjectReader &object);
    static VideoReviewPreview decode(const QByteArray &json);
};

struct VideoReviewPreviews
{
    QList<VideoReviewPreview> previews;
    static VideoReviewPreviews fromJson(const JsonObjectReader &object);
    static VideoReviewPreviews decode(const QByteArray &json);
};

struct NativeProjectVersion
{
    QString snapshotID;
    QString proposalID;
    QString sourceName;
    QString kind;
    QString archive;
    QString manifest;
    QString archiveSHA256;
    QString dependencyStatus;
    QString notice;
    qint64 byteCount = 0;
    qint64 referenceCount = 0;
    bool nativeReopenVerified = false;
    std::optional<QStringList> automaticProjects;

    QString id() const { return snapshotID; }
    static NativeProjectVersion fromJson(const JsonObjectReader &object);
    static NativeProjectVersion decode(const QByteArray &json);
};

struct NativeProjectVersions
{
    QString proposalID;
    QList<NativeProjectVersion> versions;
    std::optional<QStringList> automaticProjects;
    std::optional<bool> requiresExplicitSelection;
    static NativeProjectVersions fromJson(const JsonObjectReader &object);
    static NativeProjectVersions decode(const QByteArray &json);
};

struct ServiceReactionSummary
{
    QString reactionID; // read from the key "id"
    QString decisionID;
    QString proposalID;
    QString sourceSHA256;
    QString mode;
    qint64 proposalVersion = 0;
    qint64 annotationCount = 0;
    double duration = 0;

    // A reaction id is only unique within its decision.
    QString id() const { return decisionID + QLatin1Char('/') + reactionID; }
    static ServiceReactionSummary fromJson(const JsonObjectReader &object);
};

struct ServiceReactionList
{
    QString companyID;
    QString requestID;
    QString operatorID;
    qint64 revision = 0;
    QList<ServiceReactionSummary> reactions;
    static ServiceReactionList fromJson(const JsonObjectReader &object);
    static ServiceReactionList decode(const QByteArray &json);
};

struct ServiceReactionDownload
{
    struct Annotation
    {
        QString id;
        QString text;
        double sourceSeconds = 0;
        double reactionSeconds = 0;
        static Annotation fromJson(const JsonObjectReader &object);
    };

    QString companyID;
    QString requestID;
    QString operatorID;
    QString file;
    qint64 revision = 0;
    ServiceReactionSummary selected;
    bool verified = false;
    QList<Annotation> annotations;
    // Not in the answer: the resolved path the checks accepted, which is the
    // file the player opens (set by the model after verification).
    QString checkedFile;
    static ServiceReactionDownload fromJson(const JsonObjectReader &object);
    static ServiceReactionDownload decode(const QByteArray &json);
};

// The local send receipt of one video proposal.
struct VideoDeliveryStatus
{
    enum class State { NotConfirmedLocally, SentForCustomerReview };

    QString proposalID;
    State state = State::NotConfirmedLocally;
    std::optional<qint64> version;
    bool customerApproved = false;

    // Whether this receipt confirms or denies a send of `proposalID`: its
    // own proposal, not approved, and a version only when it says "sent".
    bool matches(const QString &proposalID) const;

    static VideoDeliveryStatus fromJson(const JsonObjectReader &object);
    static VideoDeliveryStatus decode(const QByteArray &json);
};

// A review video downloaded into the project folder, with the task history
// the tool read alongside it.
struct ServiceReviewVideoDownload
{
    QString companyID;
    QString requestID;
    QString operatorID;
    QString proposalID;
    QString sha256;
    QString file;
    qint64 proposalVersion = 0;
    qint64 byteCount = 0;
    double duration = 0;
    bool verified = false;
    ServiceDetail history;

    // Every field agrees with the proposal asked for, the opened task, the
    // operator and the project folder, and the file lies in that folder under
    // review-videos/<request>/<proposal>/ without symbolic links.
    bool matches(const ServiceProposal &proposal, const ServiceReceipt &request, const QUuid &operatorID,
                 const QUrl &storageFolder) const;

    static ServiceReviewVideoDownload fromJson(const JsonObjectReader &object);
    static ServiceReviewVideoDownload decode(const QByteArray &json);
};
