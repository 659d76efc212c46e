// How a task's state is worded: the approved version only when the listed
// task, the opened task and the customer's decision agree.
#include <QtTest>

#include "foundation/localization.h"
#include "servicequeue/proposals/servicetaskpresentation.h"

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

QTEST_GUILESS_MAIN(TestServiceTaskPresentation)
#include "tst_servicetaskpresentation.moc"
