// How a task's state is worded: the approved version only when the listed
// task, the opened task and the customer's decision agree; and what its detail
// offers for taking or fetching it.
#include <QtTest>

#include "foundation/localization.h"
#include "servicequeue/proposals/servicetaskpresentation.h"
#include "servicequeue/proposals/taskdetailrules.h"

namespace {

const QString kLatest = "bbbbbbbb-0000-4000-8000-000000000002";
const QString kOlder = "bbbbbbbb-0000-4000-8000-000000000001";

ServiceReceipt receipt(ServiceKind kind, const QString &status)
{
    ServiceReceipt r;
    r.id = "req-1";
    r.company_id = "company";
    r.local_project_id = "project";
    r.backup_id = "backup";
    r.source_fingerprint = "fp";
    r.kind = kind;
    r.status = status;
    r.revision = 4;
    r.title = "Listed";
    r.latest_proposal_id = kLatest;
    return r;
}

ServiceProposal proposal(const QString &id, qint64 version, ServiceKind kind, bool video)
{
    ServiceProposal p;
    p.id = id;
    p.version_number = version;
    p.content.kind = kind;
    if (video)
        p.content.video = ProposalContent::ReviewVideo{};
    return p;
}

ServiceDecision decision(const QString &proposalID, const QString &word)
{
    return ServiceDecision{"d-" + word, proposalID, word, "", "", {}};
}

} // namespace

class TestServiceTaskPresentation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }
    void wording_data();
    void wording();
    void takeOrFetch_data();
    void takeOrFetch();
};

void TestServiceTaskPresentation::wording_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("change"); // what differs from an agreeing detail; "no detail" drops it
    QTest::addColumn<QString>("statusTitle");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("closed");
    const int film = int(ServiceKind::filmEditing), script = int(ServiceKind::scriptDevelopment);
    const QString approvedNote = "This task is approved. Its saved versions and feedback remain available.";
    const QString sent = "View sent versions", approved = "View approved version";
    const QString proposalApproved = "Proposal approved";
    QTest::newRow("film, all agree") << film << "approved" << "" << "Video version 2 approved" << approved << approvedNote;
    QTest::newRow("writing, all agree, no video needed") << script << "approved" << "" << "Proposal version 2 approved"
                                                         << approved << approvedNote;
    QTest::newRow("other title and claim do not matter") << film << "approved" << "title" << "Video version 2 approved"
                                                         << approved << approvedNote;
    QTest::newRow("ids differ only in letter case") << film << "approved" << "upper" << "Video version 2 approved"
                                                    << approved << approvedNote;
    QTest::newRow("approval beside a request for changes") << film << "approved" << "changes first"
                                                           << "Video version 2 approved" << approved << approvedNote;
    QTest::newRow("no detail") << film << "approved" << "no detail" << proposalApproved << sent << approvedNote;
    QTest::newRow("detail of another revision") << film << "approved" << "revision" << proposalApproved << sent
                                                << approvedNote;
    QTest::newRow("detail of another status") << film << "approved" << "status" << proposalApproved << sent << approvedNote;
    QTest::newRow("latest id not a UUID") << film << "approved" << "not uuid" << proposalApproved << sent << approvedNote;
    QTest::newRow("detail names another latest") << film << "approved" << "detail latest" << proposalApproved << sent
                                                 << approvedNote;
    QTest::newRow("two proposals with the latest id") << film << "approved" << "twice" << proposalApproved << sent
                                                      << approvedNote;
    QTest::newRow("version 0") << film << "approved" << "version 0" << proposalApproved << sent << approvedNote;
    QTest::newRow("proposal of another kind") << film << "approved" << "kind" << proposalApproved << sent << approvedNote;
    QTest::newRow("film proposal without video") << film << "approved" << "no video" << proposalApproved << sent
                                                 << approvedNote;
    QTest::newRow("approval of an older proposal only") << film << "approved" << "older approved" << proposalApproved
                                                        << sent << approvedNote;
    QTest::newRow("cancelled") << film << "cancelled" << "" << "Cancelled" << sent
                               << "This task is cancelled. Its saved versions and feedback remain available.";
    QTest::newRow("in review") << script << "review" << "" << "With the customer" << sent << "";
    QTest::newRow("unknown status") << script << "archived" << "" << "Unknown status" << sent << "";
}

void TestServiceTaskPresentation::wording()
{
    QFETCH(int, kind);
    QFETCH(QString, status);
    QFETCH(QString, change);
    QFETCH(QString, statusTitle);
    QFETCH(QString, action);
    QFETCH(QString, closed);
    const auto k = ServiceKind(kind);
    const ServiceReceipt listed = receipt(k, status);
    ServiceDetail detail;
    detail.request = listed;
    detail.proposals = {proposal(kOlder, 1, k, true), proposal(kLatest, 2, k, k == ServiceKind::filmEditing)};
    detail.decisions = {decision(kOlder, "request_changes"), decision(kLatest, "approve")};

    if (change == "title") {
        detail.request.title = "Opened";
        detail.request.claimed_by = "someone";
    } else if (change == "upper") {
        detail.request.latest_proposal_id = kLatest.toUpper();
        detail.decisions[1].proposal_id = kLatest.toUpper();
    } else if (change == "changes first") {
        detail.decisions.prepend(decision(kLatest, "request_changes"));
    } else if (change == "revision") {
        detail.request.revision = 5;
    } else if (change == "status") {
        detail.request.status = "review";
    } else if (change == "detail latest") {
        detail.request.latest_proposal_id = kOlder;
    } else if (change == "twice") {
        detail.proposals.append(proposal(kLatest, 3, k, true));
    } else if (change == "version 0") {
        detail.proposals[1].version_number = 0;
    } else if (change == "kind") {
        detail.proposals[1].content.kind = ServiceKind::conceptDevelopment;
    } else if (change == "no video") {
        detail.proposals[1].content.video.reset();
    } else if (change == "older approved") {
        detail.decisions = {decision(kOlder, "approve"), decision(kLatest, "request_changes")};
    }
    ServiceTaskPresentation presentation{listed, change == "no detail" ? std::nullopt : std::optional(detail)};
    if (change == "not uuid") {
        presentation.request.latest_proposal_id = "latest";
        presentation.detail->request.latest_proposal_id = "latest";
        presentation.detail->proposals[1].id = "latest";
        presentation.detail->decisions[1].proposal_id = "latest";
    }
    QCOMPARE(presentation.statusTitle(), statusTitle);
    QCOMPARE(presentation.versionsActionTitle(), action);
    QCOMPARE(presentation.closedMessage().value_or(QString()), closed);
}

void TestServiceTaskPresentation::takeOrFetch_data()
{
    QTest::addColumn<QString>("place"); // screen, ticket, envelope
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("claimant"); // me, other, or none
    QTest::addColumn<bool>("listed"); // the listing names me as its operator
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("sent"); // versions have been sent
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("note");
    const QString take = "Take the task to download its frozen instructions and original material.";
    const QString fetch = "Fetch the submitted project version", review = "Download submitted project for review";
    const QString noFolder = "Choose a project location in Settings and connect the disk.";
    const QString taken = "The task has been taken by another operator or finished.";
    const QString below = "Its sent versions and the customer's feedback are listed below.";
    QTest::newRow("unclaimed on the screen: take it") << "screen" << "waiting" << "none" << true << true << false
                                                       << "claim" << "Take the task" << true << "";
    QTest::newRow("unclaimed in a ticket: its heading says it") << "ticket" << "waiting" << "none" << true << true
                                                                 << false << "none" << "" << true << "";
    QTest::newRow("unclaimed film envelope") << "envelope" << "waiting" << "none" << true << true << true << "waiting"
                                             << take << true << "";
    QTest::newRow("claimed by me") << "screen" << "active" << "me" << true << true << false << "download" << fetch
                                   << true << "";
    QTest::newRow("claimed by me in a ticket") << "ticket" << "changes_requested" << "me" << true << true << true
                                               << "download" << fetch << true << "";
    QTest::newRow("claimed by me, no folder") << "screen" << "active" << "me" << true << false << false << "download"
                                              << fetch << false << noFolder;
    QTest::newRow("claimed by me, closed") << "screen" << "approved" << "me" << true << true << true << "download"
                                           << review << true << "";
    QTest::newRow("film envelope, claimed by me, no folder") << "envelope" << "active" << "me" << true << false << true
                                                             << "download" << fetch << false << noFolder;
    QTest::newRow("film envelope, closed") << "envelope" << "cancelled" << "me" << true << true << true << "download"
                                           << review << true << "";
    QTest::newRow("no listing and no claim") << "screen" << "active" << "none" << false << true << false << "download"
                                             << fetch << true << "";
    QTest::newRow("claimed by another") << "screen" << "active" << "other" << true << true << true << "taken" << taken
                                        << true << "";
    QTest::newRow("claimed by me, listed for another") << "ticket" << "active" << "me" << false << true << false
                                                       << "taken" << taken << true << "";
    QTest::newRow("closed, nobody's claim") << "screen" << "cancelled" << "none" << true << true << true << "taken"
                                            << taken << true << "";
    QTest::newRow("film envelope, another's, versions sent") << "envelope" << "review" << "other" << true << false
                                                             << true << "taken" << taken << true << below;
    QTest::newRow("film envelope, another's, nothing sent") << "envelope" << "active" << "other" << true << true
                                                            << false << "taken" << taken << true << "";
}

void TestServiceTaskPresentation::takeOrFetch()
{
    QFETCH(QString, place);
    QFETCH(QString, status);
    QFETCH(QString, claimant);
    QFETCH(bool, listed);
    QFETCH(bool, folder);
    QFETCH(bool, sent);
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(QString, note);
    using TaskDetailRules::TakePlace;
    const QString me = "operator-me";
    ServiceDetail detail;
    detail.request = receipt(ServiceKind::filmEditing, status);
    if (claimant != "none")
        detail.request.claimed_by = claimant == "me" ? me : QStringLiteral("operator-other");
    if (sent)
        detail.proposals = {proposal(kLatest, 1, ServiceKind::filmEditing, true)};
    std::optional<ServiceListing> listing;
    if (listed || claimant == "me") {
        listing = ServiceListing{};
        listing->operatorID = listed ? me : QStringLiteral("operator-third");
    }
    const TakePlace where = place == "screen" ? TakePlace::screen
                            : place == "ticket" ? TakePlace::ticket
                                                : TakePlace::filmEnvelope;
    const auto offer = TaskDetailRules::takeOrFetch(detail, listing, folder ? QUrl::fromLocalFile("/Volumes/Film") : QUrl(), where);
    const QStringList names{"none", "claim", "waiting", "download", "taken"}; // in the order of Action
    QCOMPARE(names.value(int(offer.action)), action);
    QCOMPARE(offer.text, text);
    QCOMPARE(offer.enabled, enabled);
    QCOMPARE(offer.note.value_or(QString()), note);
}

QTEST_GUILESS_MAIN(TestServiceTaskPresentation)
#include "tst_servicetaskpresentation.moc"
