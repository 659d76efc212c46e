#pragma once

#include "sorvaneinboxcursor.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <optional>
#include <variant>

// One operation of the local tools: which script of tools/postproduction
// runs, with which arguments, which credentials it needs and which project
// folder it touches. A plain value; it decodes nothing and starts nothing.
//
// Build a command with a factory (BridgeCommand::serviceClaim(...)) or from
// its payload (BridgeCommand(BridgeCommand::ServiceClaim{...})).
//
// URL fields are file URLs (QUrl::fromLocalFile), except `credentials`,
// which is either the session URL ("tavlon-session://<uuid>"), whose
// document the runner writes to the tool's standard input, or the file URL
// of a credentials file that the tool reads itself.
class BridgeCommand
{
public:
    // One payload per command, fields in the order the tools expect them documented.
    struct McpConnection { QUrl inbox; };
    struct Inventory { QUrl inbox; };
    struct Context { QUrl inbox; QString packageID; };
    struct Prepare { QUrl inbox; QString packageID; QString fingerprint; std::optional<QString> contextRevision; };
    struct PrepareWriting { QUrl inbox; QString packageID; QString fingerprint; };
    struct CloudList { QUrl credentials; std::optional<QString> company; };
    struct CloudPull { QUrl credentials; QString company; QString backupID; QUrl inbox; };
    struct ProfileGet { QUrl credentials; std::optional<QUuid> expectedUserID; };
    struct ProfileUpdate { QUrl credentials; QString displayName; std::optional<QUrl> avatarJPEG; QUuid expectedUserID; };
    struct ProfileParticipants { QUrl credentials; QList<QUuid> requestIDs; QUuid expectedUserID; };
    struct ServiceCompanies { QUrl credentials; std::optional<QUuid> afterCompanyID; std::optional<QUuid> expectedOperatorID; };
    struct ServiceList { QUrl credentials; QString company; std::optional<QUuid> expectedOperatorID; };
    struct ServiceInbox { QUrl credentials; std::optional<SorvaneInboxCursor> cursor; std::optional<QUuid> expectedOperatorID; };
    struct ServicePipeline { QUrl credentials; QUuid company; std::optional<QUuid> afterFilmID; QUuid expectedOperatorID; };
    struct ServiceClaimNext { QUrl credentials; QUuid commandID; QUuid expectedOperatorID; };
    struct ServiceStart { QUrl credentials; QUuid company; QString requestID; qint64 revision{}; QUuid expectedOperatorID; };
    struct ServiceMetadataSettings { QUrl credentials; QUuid company; QUuid expectedOperatorID; };
    struct ServiceMetadataConsent { QUrl credentials; QUuid company; qint64 revision{}; bool allowPipeline{}; std::optional<QString> contactName; QUuid expectedOperatorID; };
    struct ServiceGet { QUrl credentials; QString company; QString requestID; std::optional<QUuid> expectedOperatorID; };
    struct ServiceHistory { QUrl credentials; QString company; QString requestID; QUrl inbox; std::optional<QUuid> expectedOperatorID; };
    struct ServiceBriefPull { QUrl credentials; QString company; QString requestID; QUrl inbox; QUuid expectedOperatorID; };
    struct ServiceReviewPull { QUrl credentials; QString company; QString requestID; QString proposalID; QUrl inbox; QUuid expectedOperatorID; };
    struct ServiceFeedback { QUrl credentials; QString company; QString requestID; QUrl inbox; QUuid expectedOperatorID; };
    struct ServiceFeedbackPull { QUrl credentials; QString company; QString requestID; QUrl inbox; QString decisionID; QString reactionID; QUuid expectedOperatorID; };
    struct ServiceClaim { QUrl credentials; QString company; QString requestID; qint64 revision{}; std::optional<QUuid> expectedOperatorID; };
    struct ServicePull { QUrl credentials; QString company; QString requestID; QUrl inbox; std::optional<QUuid> expectedOperatorID; };
    struct ServicePullFilm { QUrl credentials; QString company; QString requestID; QUrl inbox; std::optional<QUuid> expectedOperatorID; };
    struct PackageFilm { QUrl inbox; QString requestID; };
    struct RelinkFilm { QUrl inbox; QString requestID; };
    struct ProposalTemplate { QUrl inbox; QString requestID; QString handoffID; };
    struct ServiceWorkspaces { QUrl inbox; QString requestID; };
    struct ProposalPreview { QUrl inbox; QString requestID; QString handoffID; qint64 revision{}; };
    struct ProposalSend { QUrl credentials; QString company; QUrl inbox; QString requestID; QString handoffID; QString proposalID; QString contentHash; qint64 revision{}; std::optional<QUuid> expectedOperatorID; };
    struct VideoPreview { QUrl inbox; QString requestID; QUrl video; qint64 revision{}; QString label; QString summary; QString editor; };
    struct VideoPending { QUrl inbox; QString requestID; };
    struct VideoStatus { QUrl inbox; QString requestID; QString proposalID; };
    struct ClearProjectRegistration { QUrl inbox; QString requestID; QString proposalID; };
    struct ProjectVersions { QUrl inbox; QString requestID; QString proposalID; };
    struct PreserveProject { QUrl inbox; QString requestID; QString proposalID; QUrl project; bool remember{}; };
    struct VideoSend { QUrl credentials; QString company; QUrl inbox; QString requestID; QString proposalID; };

    using Payload = std::variant<McpConnection,
                                 Inventory,
                                 Context,
                                 Prepare,
                                 PrepareWriting,
                                 CloudList,
                                 CloudPull,
                                 ProfileGet,
                                 ProfileUpdate,
                                 ProfileParticipants,
                                 ServiceCompanies,
                                 ServiceList,
                                 ServiceInbox,
                                 ServicePipeline,
                                 ServiceClaimNext,
                                 ServiceStart,
                                 ServiceMetadataSettings,
                                 ServiceMetadataConsent,
                                 ServiceGet,
                                 ServiceHistory,
                                 ServiceBriefPull,
                                 ServiceReviewPull,
                                 ServiceFeedback,
                                 ServiceFeedbackPull,
                                 ServiceClaim,
                                 ServicePull,
                                 ServicePullFilm,
                                 PackageFilm,
                                 RelinkFilm,
                                 ProposalTemplate,
                                 ServiceWorkspaces,
                                 ProposalPreview,
                                 ProposalSend,
                                 VideoPreview,
                                 VideoPending,
                                 VideoStatus,
                                 ClearProjectRegistration,
                                 ProjectVersions,
                                 PreserveProject,
                                 VideoSend>;

    // The case numbers (0 to 39) are the positions in Payload.
    enum class Kind {
        mcpConnection,
        inventory,
        context,
        prepare,
        prepareWriting,
        cloudList,
        cloudPull,
        profileGet,
        profileUpdate,
        profileParticipants,
        serviceCompanies,
        serviceList,
        serviceInbox,
        servicePipeline,
        serviceClaimNext,
        serviceStart,
        serviceMetadataSettings,
        serviceMetadataConsent,
        serviceGet,
        serviceHistory,
        serviceBriefPull,
        serviceReviewPull,
        serviceFeedback,
        serviceFeedbackPull,
        serviceClaim,
        servicePull,
        servicePullFilm,
        packageFilm,
        relinkFilm,
        proposalTemplate,
        serviceWorkspaces,
        proposalPreview,
        proposalSend,
        videoPreview,
        videoPending,
        videoStatus,
        clearProjectRegistration,
        projectVersions,
        preserveProject,
        videoSend
    };

    // Factories, one per command, taking the payload's fields in order.
    static BridgeCommand mcpConnection(QUrl inbox)
    {
        return BridgeCommand(McpConnection{std::move(inbox)});
    }
    static BridgeCommand inventory(QUrl inbox)
    {
        return BridgeCommand(Inventory{std::move(inbox)});
    }
    static BridgeCommand context(QUrl inbox, QString packageID)
    {
        return BridgeCommand(Context{std::move(inbox), std::move(packageID)});
    }
    static BridgeCommand prepare(QUrl inbox, QString packageID, QString fingerprint, std::optional<QString> contextRevision)
    {
        return BridgeCommand(Prepare{std::move(inbox), std::move(packageID), std::move(fingerprint), std::move(contextRevision)});
    }
    static BridgeCommand prepareWriting(QUrl inbox, QString packageID, QString fingerprint)
    {
        return BridgeCommand(PrepareWriting{std::move(inbox), std::move(packageID), std::move(fingerprint)});
    }
    static BridgeCommand cloudList(QUrl credentials, std::optional<QString> company)
    {
        return BridgeCommand(CloudList{std::move(credentials), std::move(company)});
    }
    static BridgeCommand cloudPull(QUrl credentials, QString company, QString backupID, QUrl inbox)
    {
        return BridgeCommand(CloudPull{std::move(credentials), std::move(company), std::move(backupID), std::move(inbox)});
    }
    static BridgeCommand profileGet(QUrl credentials, std::optional<QUuid> expectedUserID)
    {
        return BridgeCommand(ProfileGet{std::move(credentials), std::move(expectedUserID)});
    }
    static BridgeCommand profileUpdate(QUrl credentials, QString displayName, std::optional<QUrl> avatarJPEG, QUuid expectedUserID)
    {
        return BridgeCommand(ProfileUpdate{std::move(credentials), std::move(displayName), std::move(avatarJPEG), std::move(expectedUserID)});
    }
    static BridgeCommand profileParticipants(QUrl credentials, QList<QUuid> requestIDs, QUuid expectedUserID)
    {
        return BridgeCommand(ProfileParticipants{std::move(credentials), std::move(requestIDs), std::move(expectedUserID)});
    }
    static BridgeCommand serviceCompanies(QUrl credentials, std::optional<QUuid> afterCompanyID, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceCompanies{std::move(credentials), std::move(afterCompanyID), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceList(QUrl credentials, QString company, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceList{std::move(credentials), std::move(company), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceInbox(QUrl credentials, std::optional<SorvaneInboxCursor> cursor, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceInbox{std::move(credentials), std::move(cursor), std::move(expectedOperatorID)});
    }
    static BridgeCommand servicePipeline(QUrl credentials, QUuid company, std::optional<QUuid> afterFilmID, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServicePipeline{std::move(credentials), std::move(company), std::move(afterFilmID), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceClaimNext(QUrl credentials, QUuid commandID, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceClaimNext{std::move(credentials), std::move(commandID), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceStart(QUrl credentials, QUuid company, QString requestID, qint64 revision, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceStart{std::move(credentials), std::move(company), std::move(requestID), revision, std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceMetadataSettings(QUrl credentials, QUuid company, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceMetadataSettings{std::move(credentials), std::move(company), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceMetadataConsent(QUrl credentials, QUuid company, qint64 revision, bool allowPipeline, std::optional<QString> contactName, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceMetadataConsent{std::move(credentials), std::move(company), revision, allowPipeline, std::move(contactName), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceGet(QUrl credentials, QString company, QString requestID, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceGet{std::move(credentials), std::move(company), std::move(requestID), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceHistory(QUrl credentials, QString company, QString requestID, QUrl inbox, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceHistory{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceBriefPull(QUrl credentials, QString company, QString requestID, QUrl inbox, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceBriefPull{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceReviewPull(QUrl credentials, QString company, QString requestID, QString proposalID, QUrl inbox, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceReviewPull{std::move(credentials), std::move(company), std::move(requestID), std::move(proposalID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceFeedback(QUrl credentials, QString company, QString requestID, QUrl inbox, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceFeedback{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceFeedbackPull(QUrl credentials, QString company, QString requestID, QUrl inbox, QString decisionID, QString reactionID, QUuid expectedOperatorID)
    {
        return BridgeCommand(ServiceFeedbackPull{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(decisionID), std::move(reactionID), std::move(expectedOperatorID)});
    }
    static BridgeCommand serviceClaim(QUrl credentials, QString company, QString requestID, qint64 revision, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServiceClaim{std::move(credentials), std::move(company), std::move(requestID), revision, std::move(expectedOperatorID)});
    }
    static BridgeCommand servicePull(QUrl credentials, QString company, QString requestID, QUrl inbox, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServicePull{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand servicePullFilm(QUrl credentials, QString company, QString requestID, QUrl inbox, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ServicePullFilm{std::move(credentials), std::move(company), std::move(requestID), std::move(inbox), std::move(expectedOperatorID)});
    }
    static BridgeCommand packageFilm(QUrl inbox, QString requestID)
    {
        return BridgeCommand(PackageFilm{std::move(inbox), std::move(requestID)});
    }
    static BridgeCommand relinkFilm(QUrl inbox, QString requestID)
    {
        return BridgeCommand(RelinkFilm{std::move(inbox), std::move(requestID)});
    }
    static BridgeCommand proposalTemplate(QUrl inbox, QString requestID, QString handoffID)
    {
        return BridgeCommand(ProposalTemplate{std::move(inbox), std::move(requestID), std::move(handoffID)});
    }
    static BridgeCommand serviceWorkspaces(QUrl inbox, QString requestID)
    {
        return BridgeCommand(ServiceWorkspaces{std::move(inbox), std::move(requestID)});
    }
    static BridgeCommand proposalPreview(QUrl inbox, QString requestID, QString handoffID, qint64 revision)
    {
        return BridgeCommand(ProposalPreview{std::move(inbox), std::move(requestID), std::move(handoffID), revision});
    }
    static BridgeCommand proposalSend(QUrl credentials, QString company, QUrl inbox, QString requestID, QString handoffID, QString proposalID, QString contentHash, qint64 revision, std::optional<QUuid> expectedOperatorID)
    {
        return BridgeCommand(ProposalSend{std::move(credentials), std::move(company), std::move(inbox), std::move(requestID), std::move(handoffID), std::move(proposalID), std::move(contentHash), revision, std::move(expectedOperatorID)});
    }
    static BridgeCommand videoPreview(QUrl inbox, QString requestID, QUrl video, qint64 revision, QString label, QString summary, QString editor)
    {
        return BridgeCommand(VideoPreview{std::move(inbox), std::move(requestID), std::move(video), revision, std::move(label), std::move(summary), std::move(editor)});
    }
    static BridgeCommand videoPending(QUrl inbox, QString requestID)
    {
        return BridgeCommand(VideoPending{std::move(inbox), std::move(requestID)});
    }
    static BridgeCommand videoStatus(QUrl inbox, QString requestID, QString proposalID)
    {
        return BridgeCommand(VideoStatus{std::move(inbox), std::move(requestID), std::move(proposalID)});
    }
    static BridgeCommand clearProjectRegistration(QUrl inbox, QString requestID, QString proposalID)
    {
        return BridgeCommand(ClearProjectRegistration{std::move(inbox), std::move(requestID), std::move(proposalID)});
    }
    static BridgeCommand projectVersions(QUrl inbox, QString requestID, QString proposalID)
    {
        return BridgeCommand(ProjectVersions{std::move(inbox), std::move(requestID), std::move(proposalID)});
    }
    static BridgeCommand preserveProject(QUrl inbox, QString requestID, QString proposalID, QUrl project, bool remember)
    {
        return BridgeCommand(PreserveProject{std::move(inbox), std::move(requestID), std::move(proposalID), std::move(project), remember});
    }
    static BridgeCommand videoSend(QUrl credentials, QString company, QUrl inbox, QString requestID, QString proposalID)
    {
        return BridgeCommand(VideoSend{std::move(credentials), std::move(company), std::move(inbox), std::move(requestID), std::move(proposalID)});
    }

    template<typename T>
        requires std::is_constructible_v<Payload, T &&>
    BridgeCommand(T &&payload) : m_payload(std::forward<T>(payload)) {}

    Kind kind() const { return static_cast<Kind>(m_payload.index()); }
    const Payload &payload() const { return m_payload; }

    // File name of the tool in tools/postproduction.
    QString script() const;
    // Everything after the script path, one element per argument (no shell).
    QStringList arguments() const;
    // The `credentials` field of credentialed commands; nothing otherwise.
    std::optional<QUrl> credentialURL() const;
    // The project folder (`inbox`) the command touches; nothing otherwise.
    std::optional<QUrl> storageURL() const;

    // Downloads and deliveries get the long time-out, everything else the standard one.
    enum class TimeoutClass { standard, long_ };
    TimeoutClass timeoutClass() const;
    std::chrono::seconds timeout() const;

    // Whether the credentials are the signed-in session (the URL scheme is
    // exactly "tavlon-session"), which goes on the tool's standard input.
    bool isSessionCommand() const;

    static constexpr const char *sessionScheme = "tavlon-session";

private:
    Payload m_payload;
};
