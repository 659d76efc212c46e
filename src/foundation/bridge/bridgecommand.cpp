#include "bridgecommand.h"

#include <cstddef>
#include <type_traits>

namespace {

using C = BridgeCommand;

// A command is a payload type, a Kind and a script: the Kind must be the
// payload's position, so a new payload without its Kind (or one put in
// another order) fails to compile here.
template<typename T, typename Variant>
struct PositionIn;
template<typename T, typename... Types>
struct PositionIn<T, std::variant<Types...>>
{
    static constexpr std::size_t value = [] {
        constexpr bool same[] = {std::is_same_v<T, Types>...};
        for (std::size_t i = 0; i < sizeof...(Types); ++i)
            if (same[i])
                return i;
        return sizeof...(Types);
    }();
};

template<typename T>
constexpr bool isKind(C::Kind kind)
{
    return PositionIn<T, C::Payload>::value == static_cast<std::size_t>(kind);
}

static_assert(std::variant_size_v<C::Payload> == static_cast<std::size_t>(C::Kind::videoSend) + 1);
static_assert(isKind<C::McpConnection>(C::Kind::mcpConnection));
static_assert(isKind<C::Inventory>(C::Kind::inventory));
static_assert(isKind<C::Context>(C::Kind::context));
static_assert(isKind<C::Prepare>(C::Kind::prepare));
static_assert(isKind<C::PrepareWriting>(C::Kind::prepareWriting));
static_assert(isKind<C::CloudList>(C::Kind::cloudList));
static_assert(isKind<C::CloudPull>(C::Kind::cloudPull));
static_assert(isKind<C::ProfileGet>(C::Kind::profileGet));
static_assert(isKind<C::ProfileUpdate>(C::Kind::profileUpdate));
static_assert(isKind<C::ProfileParticipants>(C::Kind::profileParticipants));
static_assert(isKind<C::ServiceCompanies>(C::Kind::serviceCompanies));
static_assert(isKind<C::ServiceList>(C::Kind::serviceList));
static_assert(isKind<C::ServiceInbox>(C::Kind::serviceInbox));
static_assert(isKind<C::ServicePipeline>(C::Kind::servicePipeline));
static_assert(isKind<C::ServiceClaimNext>(C::Kind::serviceClaimNext));
static_assert(isKind<C::ServiceStart>(C::Kind::serviceStart));
static_assert(isKind<C::ServiceMetadataSettings>(C::Kind::serviceMetadataSettings));
static_assert(isKind<C::ServiceMetadataConsent>(C::Kind::serviceMetadataConsent));
static_assert(isKind<C::ServiceGet>(C::Kind::serviceGet));
static_assert(isKind<C::ServiceHistory>(C::Kind::serviceHistory));
static_assert(isKind<C::ServiceBriefPull>(C::Kind::serviceBriefPull));
static_assert(isKind<C::ServiceReviewPull>(C::Kind::serviceReviewPull));
static_assert(isKind<C::ServiceFeedback>(C::Kind::serviceFeedback));
static_assert(isKind<C::ServiceFeedbackPull>(C::Kind::serviceFeedbackPull));
static_assert(isKind<C::ServiceClaim>(C::Kind::serviceClaim));
static_assert(isKind<C::ServicePull>(C::Kind::servicePull));
static_assert(isKind<C::ServicePullFilm>(C::Kind::servicePullFilm));
static_assert(isKind<C::PackageFilm>(C::Kind::packageFilm));
static_assert(isKind<C::RelinkFilm>(C::Kind::relinkFilm));
static_assert(isKind<C::ProposalTemplate>(C::Kind::proposalTemplate));
static_assert(isKind<C::ServiceWorkspaces>(C::Kind::serviceWorkspaces));
static_assert(isKind<C::ProposalPreview>(C::Kind::proposalPreview));
static_assert(isKind<C::ProposalSend>(C::Kind::proposalSend));
static_assert(isKind<C::VideoPreview>(C::Kind::videoPreview));
static_assert(isKind<C::VideoPending>(C::Kind::videoPending));
static_assert(isKind<C::VideoStatus>(C::Kind::videoStatus));
static_assert(isKind<C::ClearProjectRegistration>(C::Kind::clearProjectRegistration));
static_assert(isKind<C::ProjectVersions>(C::Kind::projectVersions));
static_assert(isKind<C::PreserveProject>(C::Kind::preserveProject));
static_assert(isKind<C::VideoSend>(C::Kind::videoSend));

QString path(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
}

QString credentialArgument(const QUrl &url)
{
    return url.scheme() == QLatin1String(BridgeCommand::sessionScheme) ? QStringLiteral("-") : path(url);
}

QString uuid(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces); // lower case, 36 characters
}

QStringList expectedOperator(const std::optional<QUuid> &id)
{
    if (!id)
        return {};
    return {QStringLiteral("--expected-operator-id"), uuid(*id)};
}

// A flag and its value, only when the value is present (an empty text counts).
QStringList optional(const char *flag, const std::optional<QString> &value)
{
    if (!value)
        return {};
    return {QLatin1String(flag), *value};
}

QStringList optional(const char *flag, const std::optional<QUuid> &value)
{
    if (!value)
        return {};
    return {QLatin1String(flag), uuid(*value)};
}

QStringList credentialsFile(const QUrl &credentials)
{
    return {QStringLiteral("--credentials-file"), credentialArgument(credentials)};
}

QStringList company(const QString &id)
{
    return {QStringLiteral("--company"), id};
}

QStringList company(const QUuid &id)
{
    return {QStringLiteral("--company"), uuid(id)};
}

QStringList inbox(const QUrl &folder)
{
    return {QStringLiteral("--inbox"), path(folder)};
}

struct Arguments
{
    QStringList operator()(const C::McpConnection &c) const { return inbox(c.inbox); }
    QStringList operator()(const C::Inventory &c) const { return inbox(c.inbox) << QStringLiteral("list"); }
    QStringList operator()(const C::Context &c) const
    {
        return inbox(c.inbox) << QStringLiteral("context") << c.packageID;
    }
    QStringList operator()(const C::Prepare &c) const
    {
        return inbox(c.inbox) << QStringLiteral("prepare") << c.packageID << QStringLiteral("--fingerprint")
                              << c.fingerprint << optional("--context-revision", c.contextRevision);
    }
    QStringList operator()(const C::PrepareWriting &c) const
    {
        return inbox(c.inbox) << QStringLiteral("prepare-writing") << c.packageID
                              << QStringLiteral("--fingerprint") << c.fingerprint;
    }
    QStringList operator()(const C::CloudList &c) const
    {
        return credentialsFile(c.credentials) << optional("--company", c.company) << QStringLiteral("list");
    }
    QStringList operator()(const C::CloudPull &c) const
    {
        return credentialsFile(c.credentials) << company(c.company) << QStringLiteral("pull") << c.backupID
                                              << inbox(c.inbox);
    }
    QStringList operator()(const C::ProfileGet &c) const
    {
        return credentialsFile(c.credentials) << optional("--expected-user-id", c.expectedUserID)
                                              << QStringLiteral("get");
    }
    QStringList operator()(const C::ProfileUpdate &c) const
    {
        QStringList a = credentialsFile(c.credentials)
            << QStringLiteral("--expected-user-id") << uuid(c.expectedUserID) << QStringLiteral("update")
            << QStringLiteral("--display-name") << c.displayName;
        if (c.avatarJPEG)
            a << QStringLiteral("--avatar-jpeg") << path(*c.avatarJPEG);
        else
            a << QStringLiteral("--clear-avatar");
        return a;
    }
    QStringList operator()(const C::ProfileParticipants &c) const
    {
        QStringList a = credentialsFile(c.credentials)
            << QStringLiteral("--expected-user-id") << uuid(c.expectedUserID) << QStringLiteral("participants")
            << QStringLiteral("--request-ids");
        for (const QUuid &id : c.requestIDs)
            a << uuid(id);
        return a;
    }
    QStringList operator()(const C::ServiceCompanies &c) const
    {
        return QStringList{QStringLiteral("companies"), QStringLiteral("--credentials"),
                           credentialArgument(c.credentials)}
            << expectedOperator(c.expectedOperatorID) << optional("--after-company-id", c.afterCompanyID);
    }
    QStringList operator()(const C::ServiceList &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("list");
    }
    QStringList operator()(const C::ServiceInbox &c) const
    {
        QStringList a = expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials)
                                                               << QStringLiteral("inbox");
        if (c.cursor)
            a << QStringLiteral("--cursor") << c.cursor->argumentText();
        return a;
    }
    QStringList operator()(const C::ServicePipeline &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("pipeline")
                                                      << optional("--after-film-id", c.afterFilmID);
    }
    QStringList operator()(const C::ServiceClaimNext &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials)
                                                      << QStringLiteral("claim-next") << QStringLiteral("--command-id")
                                                      << uuid(c.commandID);
    }
    QStringList operator()(const C::ServiceStart &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("start") << c.requestID
                                                      << QStringLiteral("--revision") << QString::number(c.revision);
    }
    QStringList operator()(const C::ServiceMetadataSettings &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("metadata-settings");
    }
    QStringList operator()(const C::ServiceMetadataConsent &c) const
    {
        return expectedOperator(c.expectedOperatorID)
            << credentialsFile(c.credentials) << company(c.company) << QStringLiteral("metadata-consent")
            << QStringLiteral("--revision") << QString::number(c.revision) << QStringLiteral("--allow-pipeline")
            << (c.allowPipeline ? QStringLiteral("true") : QStringLiteral("false"))
            << optional("--contact-name", c.contactName);
    }
    QStringList operator()(const C::ServiceGet &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("get") << c.requestID;
    }
    QStringList operator()(const C::ServiceHistory &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("history") << c.requestID << inbox(c.inbox);
    }
    QStringList operator()(const C::ServiceBriefPull &c) const
    {
        return QStringList{QStringLiteral("pull"), c.requestID}
            << inbox(c.inbox) << company(c.company) << credentialsFile(c.credentials)
            << expectedOperator(c.expectedOperatorID);
    }
    QStringList operator()(const C::ServiceReviewPull &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("review-pull") << c.requestID << inbox(c.inbox)
                                                      << QStringLiteral("--proposal-id") << c.proposalID;
    }
    QStringList operator()(const C::ServiceFeedback &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("feedback") << c.requestID << inbox(c.inbox);
    }
    QStringList operator()(const C::ServiceFeedbackPull &c) const
    {
        return expectedOperator(c.expectedOperatorID)
            << credentialsFile(c.credentials) << company(c.company) << QStringLiteral("feedback-pull") << c.requestID
            << inbox(c.inbox) << QStringLiteral("--decision-id") << c.decisionID << QStringLiteral("--reaction-id")
            << c.reactionID;
    }
    QStringList operator()(const C::ServiceClaim &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("claim") << c.requestID
                                                      << QStringLiteral("--revision") << QString::number(c.revision);
    }
    QStringList operator()(const C::ServicePull &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("pull") << c.requestID << inbox(c.inbox);
    }
    QStringList operator()(const C::ServicePullFilm &c) const
    {
        return expectedOperator(c.expectedOperatorID) << credentialsFile(c.credentials) << company(c.company)
                                                      << QStringLiteral("pull-film") << c.requestID << inbox(c.inbox);
    }
    QStringList operator()(const C::PackageFilm &c) const
    {
        return QStringList{QStringLiteral("package-film"), c.requestID} << inbox(c.inbox);
    }
    QStringList operator()(const C::RelinkFilm &c) const
    {
        return QStringList{QStringLiteral("relink-film"), c.requestID} << inbox(c.inbox);
    }
    QStringList operator()(const C::ProposalTemplate &c) const
    {
        return QStringList{QStringLiteral("template"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--handoff-id") << c.handoffID;
    }
    QStringList operator()(const C::ServiceWorkspaces &c) const
    {
        return QStringList{QStringLiteral("workspaces"), c.requestID} << inbox(c.inbox);
    }
    QStringList operator()(const C::ProposalPreview &c) const
    {
        return QStringList{QStringLiteral("preview"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--handoff-id") << c.handoffID << QStringLiteral("--revision")
            << QString::number(c.revision);
    }
    QStringList operator()(const C::ProposalSend &c) const
    {
        return expectedOperator(c.expectedOperatorID)
            << credentialsFile(c.credentials) << company(c.company) << QStringLiteral("send") << c.requestID
            << inbox(c.inbox) << QStringLiteral("--handoff-id") << c.handoffID << QStringLiteral("--proposal-id")
            << c.proposalID << QStringLiteral("--content-hash") << c.contentHash << QStringLiteral("--revision")
            << QString::number(c.revision) << QStringLiteral("--confirm-send");
    }
    QStringList operator()(const C::VideoPreview &c) const
    {
        return QStringList{QStringLiteral("prepare"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--video") << path(c.video) << QStringLiteral("--revision")
            << QString::number(c.revision) << QStringLiteral("--label") << c.label << QStringLiteral("--summary")
            << c.summary << QStringLiteral("--editor") << c.editor;
    }
    QStringList operator()(const C::VideoPending &c) const
    {
        return QStringList{QStringLiteral("pending"), c.requestID} << inbox(c.inbox);
    }
    QStringList operator()(const C::VideoStatus &c) const
    {
        return QStringList{QStringLiteral("status"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--proposal-id") << c.proposalID;
    }
    QStringList operator()(const C::ClearProjectRegistration &c) const
    {
        return QStringList{QStringLiteral("clear-registration"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--proposal-id") << c.proposalID;
    }
    QStringList operator()(const C::ProjectVersions &c) const
    {
        return QStringList{QStringLiteral("list"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--proposal-id") << c.proposalID;
    }
    QStringList operator()(const C::PreserveProject &c) const
    {
        QStringList a = QStringList{QStringLiteral("preserve"), c.requestID}
            << inbox(c.inbox) << QStringLiteral("--proposal-id") << c.proposalID << QStringLiteral("--project")
            << path(c.project);
        if (c.remember)
            a << QStringLiteral("--remember-project");
        return a;
    }
    QStringList operator()(const C::VideoSend &c) const
    {
        return QStringList{QStringLiteral("send"), c.requestID}
            << inbox(c.inbox) << credentialsFile(c.credentials) << company(c.company)
            << QStringLiteral("--proposal-id") << c.proposalID << QStringLiteral("--qc-confirmed")
            << QStringLiteral("--confirm-send");
    }
};

template<typename T>
concept HasCredentials = requires(const T &t) { t.credentials; };
template<typename T>
concept HasInbox = requires(const T &t) { t.inbox; };

} // namespace

QString BridgeCommand::script() const
{
    using K = Kind;
    switch (kind()) {
    case K::mcpConnection:
        return QStringLiteral("editor_connection.py");
    case K::inventory:
    case K::context:
    case K::prepare:
    case K::prepareWriting:
        return QStringLiteral("editor_bridge.py");
    case K::cloudList:
    case K::cloudPull:
        return QStringLiteral("desktop_cloud.py");
    case K::profileGet:
    case K::profileUpdate:
    case K::profileParticipants:
        return QStringLiteral("desktop_profile.py");
    case K::serviceBriefPull:
        return QStringLiteral("desktop_brief.py");
    case K::videoPreview:
    case K::videoPending:
    case K::videoStatus:
    case K::videoSend:
        return QStringLiteral("desktop_video.py");
    case K::clearProjectRegistration:
    case K::projectVersions:
    case K::preserveProject:
        return QStringLiteral("desktop_projects.py");
    case K::serviceCompanies:
    case K::serviceList:
    case K::serviceInbox:
    case K::servicePipeline:
    case K::serviceClaimNext:
    case K::serviceStart:
    case K::serviceMetadataSettings:
    case K::serviceMetadataConsent:
    case K::serviceGet:
    case K::serviceHistory:
    case K::serviceReviewPull:
    case K::serviceFeedback:
    case K::serviceFeedbackPull:
    case K::serviceClaim:
    case K::servicePull:
    case K::servicePullFilm:
    case K::packageFilm:
    case K::relinkFilm:
    case K::proposalTemplate:
    case K::serviceWorkspaces:
    case K::proposalPreview:
    case K::proposalSend:
        return QStringLiteral("desktop_service.py");
    }
    Q_UNREACHABLE();
    return {};
}

QStringList BridgeCommand::arguments() const
{
    return std::visit(Arguments{}, m_payload);
}

std::optional<QUrl> BridgeCommand::credentialURL() const
{
    return std::visit(
        [](const auto &c) -> std::optional<QUrl> {
            if constexpr (HasCredentials<std::decay_t<decltype(c)>>)
                return c.credentials;
            else
                return std::nullopt;
        },
        m_payload);
}

std::optional<QUrl> BridgeCommand::storageURL() const
{
    return std::visit(
        [](const auto &c) -> std::optional<QUrl> {
            if constexpr (HasInbox<std::decay_t<decltype(c)>>)
                return c.inbox;
            else
                return std::nullopt;
        },
        m_payload);
}

BridgeCommand::TimeoutClass BridgeCommand::timeoutClass() const
{
    switch (kind()) {
    case Kind::cloudPull:
    case Kind::servicePull:
    case Kind::videoSend:
        return TimeoutClass::long_;
    case Kind::mcpConnection:
    case Kind::inventory:
    case Kind::context:
    case Kind::prepare:
    case Kind::prepareWriting:
    case Kind::cloudList:
    case Kind::profileGet:
    case Kind::profileUpdate:
    case Kind::profileParticipants:
    case Kind::serviceCompanies:
    case Kind::serviceList:
    case Kind::serviceInbox:
    case Kind::servicePipeline:
    case Kind::serviceClaimNext:
    case Kind::serviceStart:
    case Kind::serviceMetadataSettings:
    case Kind::serviceMetadataConsent:
    case Kind::serviceGet:
    case Kind::serviceHistory:
    case Kind::serviceBriefPull:
    case Kind::serviceReviewPull:
    case Kind::serviceFeedback:
    case Kind::serviceFeedbackPull:
    case Kind::serviceClaim:
    case Kind::servicePullFilm:
    case Kind::packageFilm:
    case Kind::relinkFilm:
    case Kind::proposalTemplate:
    case Kind::serviceWorkspaces:
    case Kind::proposalPreview:
    case Kind::proposalSend:
    case Kind::videoPreview:
    case Kind::videoPending:
    case Kind::videoStatus:
    case Kind::clearProjectRegistration:
    case Kind::projectVersions:
    case Kind::preserveProject:
        return TimeoutClass::standard;
    }
    Q_UNREACHABLE();
    return TimeoutClass::standard;
}

std::chrono::seconds BridgeCommand::timeout() const
{
    return timeoutClass() == TimeoutClass::long_ ? std::chrono::seconds(1800) : std::chrono::seconds(180);
}

bool BridgeCommand::isSessionCommand() const
{
    const auto url = credentialURL();
    return url && url->scheme() == QLatin1String(sessionScheme);
}
