// One libFuzzer entry for every decoder that reads outside input. Every
// target links this driver and names its decoder in tavlonFuzzTarget, so each
// target's coverage and corpus stay its own. A decoder may refuse any
// input by throwing; a crash, a sanitizer report, an exception that is not a
// std::exception or a broken round trip is a fault.

#include "aiconnection/sorvaneaiconnectionconfiguration.h"
#include "foundation/bridge/toolerror.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/records/cloudrecords.h"
#include "foundation/records/packagerecords.h"
#include "foundation/errors.h"
#include "inbox/sorvaneinboxwire.h"
#include "inboxoracle.h"
#include "profiles/sorvaneprofilewire.h"
#include "servicequeue/servicecompanies.h"
#include "servicequeue/servicerecords.h"
#include "servicequeue/videorecords.h"
#include "session/editorauthrecords.h"
#include "updater/updatefeed.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUuid>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

namespace {

// The demo operator, whose answers the seed corpus holds.
const QUuid demoOperator(QStringLiteral("67422b41-985d-5bcc-a9db-77634c142ec5"));

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz: %s\n", what);
        std::abort();
    }
}

QJsonObject leniently(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// The rows a participants answer claims to be for, so the checks past the
// ids are reached; a mismatch still has to be refused, never crash.
QList<SorvaneInboxRow> claimedRows(const QByteArray &bytes)
{
    QList<SorvaneInboxRow> rows;
    for (const QJsonValue &item : leniently(bytes).value(QLatin1String("items")).toArray()) {
        const QJsonObject object = item.toObject();
        SorvaneInboxRow row;
        row.request.id = object.value(QLatin1String("requestID")).toString();
        row.request.submitted_by = object.value(QLatin1String("customer")).toObject().value(QLatin1String("userID")).toString();
        const QJsonValue instructor = object.value(QLatin1String("instructor"));
        if (instructor.isObject())
            row.request.claimed_by = instructor.toObject().value(QLatin1String("userID")).toString();
        rows.append(row);
    }
    return rows;
}

// Every member of a row and of a page as text, to compare two whole.
QStringList describe(const SorvaneInboxRow &row)
{
    const auto text = [](const std::optional<QString> &value) { return value ? "'" + *value + "'" : QString("none"); };
    const auto id = [](const std::optional<QUuid> &value) { return value ? value->toString() : QString("none"); };
    const ServiceReceipt &r = row.request;
    const SorvaneScheduling &s = row.scheduling;
    return {r.id, r.company_id, r.local_project_id, r.backup_id, r.source_fingerprint, r.title, rawValue(r.kind),
            r.status.text(), QString::number(r.revision), r.submitted_by, r.submitted_at, r.updated_at, text(r.claimed_by),
            text(r.claimed_at), text(r.latest_proposal_id), row.company.id.toString(), row.company.name,
            text(row.company.contactName), QString::number(int(row.company.metadataAccess)),
            QString::number(row.company.canManageMetadata), row.film.id.toString(), row.film.title,
            id(row.film.campaignID), text(row.film.campaignTitle), text(row.film.stage),
            SorvaneScheduling::rawValue(s.tier), QString::number(s.targetHours), QString::number(s.policyVersion),
            QString::number(s.round), SorvaneScheduling::rawValue(s.submissionMode), s.receivedAt, text(s.eligibleAt),
            text(s.dueAt), text(s.startedAt), s.blockedReason ? SorvaneScheduling::rawValue(*s.blockedReason) : "none",
            QString::number(s.canClaim)};
}

QStringList describe(const SorvaneInboxPage &page)
{
    QStringList result{QString::number(page.schemaVersion), page.operatorID.toString(), page.serverTime,
                       page.nextCursor ? page.nextCursor->submittedAt + ' ' + page.nextCursor->id.toString() : "none",
                       page.nextRequestID ? page.nextRequestID->toString() : "none"};
    for (const SorvaneInboxRow &row : page.items)
        result += describe(row);
    result += page.nextItem ? describe(*page.nextItem) : QStringList{"no next item"};
    return result;
}

QStringList describe(const SorvaneMutationResult &result)
{
    QStringList text{QString::number(result.schemaVersion), result.operatorID.toString(), result.serverTime,
                     QString::number(result.replayed)};
    text += result.item ? describe(*result.item) : QStringList{"no item"};
    return text;
}

// What a decoder made of the bytes: the whole record, or which failure with
// which text.
template<class Decode>
QStringList outcome(Decode &&decode)
{
    try {
        return describe(decode());
    } catch (const BridgeError &error) {
        return {"refused", error.message()};
    } catch (const DecodingError &error) {
        return {"decoding error", error.message()};
    } catch (const std::exception &error) {
        return {"other", QString::fromUtf8(error.what())};
    }
}

template<class New, class Old>
void sameOutcome(const char *what, New &&decode, Old &&reference)
{
    const QStringList got = outcome(decode);
    const QStringList expected = outcome(reference);
    if (got != expected) {
        std::fprintf(stderr, "fuzz: %s differs from the reference\n  got:      %s\n  expected: %s\n", what,
                     qPrintable(got.join(u'|').left(2000)), qPrintable(expected.join(u'|').left(2000)));
        std::abort();
    }
}

struct Target
{
    const char *name;
    std::function<void(const QByteArray &)> decode;
};

template<typename T>
Target record(const char *name)
{
    return {name, [](const QByteArray &bytes) { (void)T::decode(bytes); }};
}

const Target targets[] = {
    {"inbox", [](const QByteArray &b) { (void)SorvaneInboxWire::inbox(b, demoOperator); }},
    {"inbox_any_operator", [](const QByteArray &b) { (void)SorvaneInboxWire::inbox(b, std::nullopt); }},
    {"inbox_differential",
     [](const QByteArray &b) {
         // The reader of the bytes against the tree-based reference: the
         // same acceptance, the same records, the same failure texts.
         sameOutcome("inbox", [&] { return SorvaneInboxWire::inbox(b, demoOperator); },
                     [&] { return InboxOracle::inbox(b, demoOperator); });
         sameOutcome("inbox, any operator", [&] { return SorvaneInboxWire::inbox(b, std::nullopt); },
                     [&] { return InboxOracle::inbox(b, std::nullopt); });
         sameOutcome("claim answer", [&] { return SorvaneInboxWire::mutation(b, demoOperator); },
                     [&] { return InboxOracle::mutation(b, demoOperator); });
     }},
    {"inbox_pipeline",
     [](const QByteArray &b) {
         const QUuid company(leniently(b).value(QLatin1String("company")).toObject().value(QLatin1String("id")).toString());
         (void)SorvaneInboxWire::pipeline(b, company, demoOperator);
     }},
    {"inbox_mutation", [](const QByteArray &b) { (void)SorvaneInboxWire::mutation(b, demoOperator); }},
    {"inbox_metadata",
     [](const QByteArray &b) {
         (void)SorvaneInboxWire::metadata(b, QUuid(leniently(b).value(QLatin1String("companyID")).toString()));
     }},
    {"profile_own", [](const QByteArray &b) { (void)SorvaneProfileWire::own(b, std::nullopt); }},
    {"profile_participants", [](const QByteArray &b) { (void)SorvaneProfileWire::participants(b, claimedRows(b)); }},
    record<ServiceCompanyPage>("service_companies"),
    record<ServiceListing>("service_listing"),
    record<ServiceDetail>("service_detail"),
    record<ServiceClaim>("service_claim"),
    record<ServiceDownload>("service_download"),
    record<ServiceWorkspaces>("service_workspaces"),
    record<ProposalFile>("proposal_file"),
    record<ProposalPreview>("proposal_preview"),
    record<ProposalSent>("proposal_sent"),
    record<VideoReviewPreview>("video_review_preview"),
    record<VideoReviewPreviews>("video_review_previews"),
    record<NativeProjectVersion>("native_project_version"),
    record<NativeProjectVersions>("native_project_versions"),
    record<ServiceReactionList>("reaction_list"),
    record<ServiceReactionDownload>("reaction_download"),
    record<VideoDeliveryStatus>("delivery_status"),
    record<ServiceReviewVideoDownload>("review_video_download"),
    record<PackageInventory>("package_inventory"),
    record<PackageContext>("package_context"),
    record<PreparedHandoff>("prepared_handoff"),
    record<CurrentServiceBrief>("current_brief"),
    record<SorvaneTimelineFormat>("timeline_format"),
    record<SourceSpeechEvidence>("speech_evidence"),
    record<CloudListing>("cloud_listing"),
    record<RestoredBackup>("restored_backup"),
    {"ai_connection",
     [](const QByteArray &b) {
         const SorvaneAIConnectionConfiguration::Check check = SorvaneAIConnectionConfiguration::decode(b).check;
         // Every state the tool may report, known or not, gives the person a sentence.
         require(!check.message().trimmed().isEmpty(), "a check without a status sentence");
         require(!check.ready() || check.state == u"ready", "ready without the ready state");
         require(check.separateVersionsNote().has_value() == (check.state == u"ready"), "versions note");
         require(check.state != u"ready" || check.versionLine().has_value(), "a ready check without a version line");
     }},
    {"tool_error", [](const QByteArray &b) {
         const auto text = toolErrorText(b);
         require(!text || !text->trimmed().isEmpty(), "a blank tool error was taken for a message");
         if (text) {
             const QString shown = toolErrorForDisplay(*text);
             require(!shown.isEmpty() && shown.size() <= toolErrorDisplayLimit, "a shown tool error out of bounds");
             for (const QChar c : shown)
                 require(c.category() != QChar::Other_Control && (c.unicode() < 0x202A || c.unicode() > 0x202E)
                             && (c.unicode() < 0x2066 || c.unicode() > 0x2069),
                         "a control or direction override shown");
         }
     }},
    {"auth_user",
     [](const QByteArray &b) {
         const EditorAuthUser user = EditorAuthUser::decode(b);
         require(EditorAuthUser::decode(QJsonDocument(user.toJson()).toJson()) == user, "user round trip");
     }},
    {"auth_tokens",
     [](const QByteArray &b) {
         const EditorAuthTokens tokens = EditorAuthTokens::decode(b);
         const EditorAuthTokens again = EditorAuthTokens::decode(QJsonDocument(tokens.toJson()).toJson());
         require(again.access_token == tokens.access_token && again.refresh_token == tokens.refresh_token
                     && again.expires_in == tokens.expires_in && again.user == tokens.user,
                 "tokens round trip");
     }},
    {"saved_session",
     [](const QByteArray &b) {
         const EditorSavedSession session = EditorSavedSession::decode(b);
         const EditorSavedSession again = EditorSavedSession::decode(session.encode());
         require(again.configuration == session.configuration && again.user == session.user
                     && again.accessToken == session.accessToken && again.refreshToken == session.refreshToken,
                 "saved session round trip");
     }},
    {"update_feed",
     [](const QByteArray &b) {
         if (const auto items = UpdateFeed::parse(b))
             for (const UpdateItem &item : *items)
                 require(item.signature.size() == 64 && item.length > 0 && item.url.scheme() == u"https",
                         "an update item past the feed's rules");
     }},
    {"update_signature",
     [](const QByteArray &b) {
         if (const auto signature = UpdateFeed::signature(b))
             require(signature->size() == 64 && signature->toBase64() == b.trimmed(), "signature form");
     }},
    {"project_location",
     [](const QByteArray &b) {
         const ProjectLocationRecord record = ProjectLocationRecord::decode(b);
         require(ProjectLocationRecord::decode(record.toJson()) == record, "stored form round trip");
     }},
};

const Target *chosen = nullptr;

} // namespace

extern const char *const tavlonFuzzTarget;

namespace {

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Texts are looked up beside the executable; a core application gives the path.
    static QCoreApplication application(*argc, *argv);
    for (const Target &target : targets)
        if (std::strcmp(target.name, tavlonFuzzTarget) == 0)
            chosen = &target;
    require(chosen != nullptr, "no decoder of this name");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        chosen->decode(bytes);
    } catch (const std::exception &) {
        // Refused: what a decoder is for.
    }
    return 0;
}
