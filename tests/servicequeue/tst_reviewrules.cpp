// The checks behind review videos and customer reactions, feedback
// timestamps and time labels, against real files and links in a temporary folder.
#include <QtTest>

#include "servicequeue/reviewrules.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kRequest = QStringLiteral("req-1");
const QString kProposal = QStringLiteral("prop-1");
const QString kDecision = QStringLiteral("dec-1");
const QString kReaction = QStringLiteral("5f0c0a52-6f1e-4c55-9d07-0c1b1d2e3f40");
const QString kOperator = QStringLiteral("11111111-1111-4111-8111-111111111111");
const QString kHash = QString(64, QLatin1Char('a'));

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

ServiceProposal filmProposal()
{
    ServiceProposal p;
    p.id = kProposal;
    p.version_number = 2;
    p.content.title = QStringLiteral("Title");
    p.content.body = QStringLiteral("Body");
    ProposalContent::ReviewVideo v;
    v.bucket = QStringLiteral("tf-reviews");
    v.object_key = QStringLiteral("exports/cut-2.mp4");
    v.sha256 = kHash;
    v.byte_count = 1000;
    v.duration_seconds = 42.5;
    v.editor_qc_confirmed = true;
    p.content.video = v;
    return p;
}

ServiceReceipt task()
{
    ServiceReceipt r;
    r.id = kRequest;
    r.company_id = QStringLiteral("company");
    r.local_project_id = QStringLiteral("project");
    r.backup_id = QStringLiteral("backup");
    r.source_fingerprint = QStringLiteral("fingerprint");
    r.revision = 4;
    return r;
}

ServiceDetail detailWithDecision()
{
    ServiceDetail d;
    d.request = task();
    d.proposals = {filmProposal()};
    ServiceDecision decision;
    decision.id = kDecision;
    decision.proposal_id = kProposal;
    d.decisions = {decision};
    return d;
}

ServiceReactionSummary reaction()
{
    ServiceReactionSummary r;
    r.reactionID = kReaction;
    r.decisionID = kDecision;
    r.proposalID = kProposal;
    r.sourceSHA256 = kHash;
    r.mode = QStringLiteral("selfie");
    r.proposalVersion = 2;
    r.annotationCount = 3;
    r.duration = 120;
    return r;
}

} // namespace

class TestReviewRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void reviewVideo_data();
    void reviewVideo();
    void reactionSummary_data();
    void reactionSummary();
    void annotation_data();
    void annotation();
    void reactionFile_data();
    void reactionFile();
    void timestamps_data();
    void timestamps();
    void timestampsOfTheVersionOnly();
    void clockLabel_data();
    void clockLabel();

private:
    QTemporaryDir m_dir;
    QString m_inbox;   // the project folder
    QString m_outside; // a folder beside it
};

void TestReviewRules::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString root = QFileInfo(m_dir.path()).canonicalFilePath();
    m_inbox = root + QStringLiteral("/inbox");
    m_outside = root + QStringLiteral("/outside");
    touch(m_inbox + QStringLiteral("/review-videos/req-1/prop-1/cut-2.mp4"));
    touch(m_outside + QStringLiteral("/review-videos/req-1/prop-1/cut-2.mp4"));
    const QString reactionTail = QStringLiteral("/reaction-feedback/req-1/dec-1/") + kReaction;
    touch(m_inbox + reactionTail + QStringLiteral("/reaction.mp4"));
    touch(m_outside + reactionTail + QStringLiteral("/reaction.mp4"));
    touch(m_inbox + QStringLiteral("/elsewhere/take.mp4"));
    QVERIFY(QFile::link(m_inbox, root + QStringLiteral("/inbox-link")));
    QVERIFY(QFile::link(m_inbox + QStringLiteral("/review-videos"), m_inbox + QStringLiteral("/videos-link")));
    QVERIFY(QFile::link(m_outside + QStringLiteral("/sub"), m_inbox + QStringLiteral("/out-link")));
    QDir().mkpath(m_outside + QStringLiteral("/sub"));
    // Requests "req-in" and "req-out": the reaction file is a link to inside or outside the folder.
    const QString linked = QStringLiteral("/reaction-feedback/%1/dec-1/") + kReaction + QStringLiteral("/reaction.mp4");
    QDir().mkpath(QFileInfo(m_inbox + linked.arg("req-in")).path());
    QDir().mkpath(QFileInfo(m_inbox + linked.arg("req-out")).path());
    QVERIFY(QFile::link(m_inbox + QStringLiteral("/elsewhere/take.mp4"), m_inbox + linked.arg("req-in")));
    QVERIFY(QFile::link(m_outside + reactionTail + QStringLiteral("/reaction.mp4"), m_inbox + linked.arg("req-out")));
}

void TestReviewRules::reviewVideo_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("passes");
    QTest::newRow("as sent") << "" << true;
    QTest::newRow("not verified by the tool") << "unverified" << false;
    QTest::newRow("operator in upper case") << "operator upper" << true;
    QTest::newRow("operator not a UUID") << "operator junk" << false;
    QTest::newRow("other company") << "company" << false;
    QTest::newRow("other version number") << "version" << false;
    QTest::newRow("other bucket") << "bucket" << false;
    QTest::newRow("hash in upper case") << "hash upper" << false;
    QTest::newRow("hash with a final line break") << "hash newline" << false;
    QTest::newRow("0 bytes") << "bytes 0" << false;
    QTest::newRow("512 MiB") << "bytes 536870912" << true;
    QTest::newRow("512 MiB and one byte") << "bytes 536870913" << false;
    QTest::newRow("duration 0") << "duration 0" << false;
    QTest::newRow("duration negative") << "duration -1" << false;
    QTest::newRow("duration infinite") << "duration inf" << false;
    QTest::newRow("duration not a number") << "duration nan" << false;
    QTest::newRow("24 hours") << "duration 86400" << true;
    QTest::newRow("24 hours and a half second") << "duration 86400.5" << false;
    QTest::newRow("duration differs from the proposal") << "duration drift" << false;
    QTest::newRow("history of a lower revision") << "revision -1" << false;
    QTest::newRow("history of a higher revision") << "revision +1" << true;
    QTest::newRow("history of another backup") << "backup" << false;
    QTest::newRow("history without the proposal") << "no proposal" << false;
    QTest::newRow("history proposal with another QC tick") << "qc" << false;
    QTest::newRow("history proposal with another title") << "title" << false;
    QTest::newRow("relative path") << "file relative" << false;
    QTest::newRow("a dot component") << "file dot" << false;
    QTest::newRow("a doubled separator") << "file double" << false;
    QTest::newRow("a NUL in the path") << "file nul" << false;
    QTest::newRow("through a linked folder") << "file link" << false;
    QTest::newRow("outside the project folder") << "file outside" << false;
    QTest::newRow("named unlike the object key") << "file name" << false;
    QTest::newRow("project folder reached through a link") << "inbox link" << true;
    QTest::newRow("file not on disk") << "file missing" << true;
    QTest::newRow("missing file below a link leading out") << "file missing via link" << false;
}

void TestReviewRules::reviewVideo()
{
    QFETCH(QString, change);
    QFETCH(bool, passes);
    ServiceProposal proposal = filmProposal();
    ServiceReviewVideoDownload d;
    d.companyID = QStringLiteral("company");
    d.requestID = kRequest;
    d.operatorID = kOperator;
    d.proposalID = kProposal;
    d.sha256 = kHash;
    d.file = m_inbox + QStringLiteral("/review-videos/req-1/prop-1/cut-2.mp4");
    d.proposalVersion = 2;
    d.byteCount = 1000;
    d.duration = 42.5;
    d.verified = true;
    d.history.request = task();
    d.history.proposals = {proposal};
    QUrl inbox = QUrl::fromLocalFile(m_inbox);

    auto &video = *proposal.content.video;
    auto &listed = *d.history.proposals[0].content.video;
    const QString base = d.file;
    if (change.startsWith(QLatin1String("bytes "))) {
        video.byte_count = listed.byte_count = d.byteCount = change.mid(6).toLongLong();
    } else if (change.startsWith(QLatin1String("duration ")) && change != QLatin1String("duration drift")) {
        const QString v = change.mid(9);
        const double value = v == QLatin1String("inf") ? qInf() : v == QLatin1String("nan") ? qQNaN() : v.toDouble();
        video.duration_seconds = listed.duration_seconds = d.duration = value;
    }
    if (change == QLatin1String("unverified")) d.verified = false;
    if (change == QLatin1String("operator upper")) d.operatorID = kOperator.toUpper();
    if (change == QLatin1String("operator junk")) d.operatorID = QStringLiteral("{") + kOperator + QStringLiteral("}");
    if (change == QLatin1String("company")) d.companyID = QStringLiteral("Company");
    if (change == QLatin1String("version")) d.proposalVersion = 3;
    if (change == QLatin1String("bucket")) video.bucket = listed.bucket = QStringLiteral("tf-review");
    if (change == QLatin1String("hash upper")) video.sha256 = listed.sha256 = d.sha256 = kHash.toUpper();
    if (change == QLatin1String("hash newline")) video.sha256 = listed.sha256 = d.sha256 = kHash + QLatin1Char('\n');
    if (change == QLatin1String("duration drift")) d.duration = 42.500001;
    if (change == QLatin1String("revision -1")) d.history.request.revision = 3;
    if (change == QLatin1String("revision +1")) d.history.request.revision = 5;
    if (change == QLatin1String("backup")) d.history.request.backup_id = QStringLiteral("other");
    if (change == QLatin1String("no proposal")) d.history.proposals[0].id = QStringLiteral("prop-2");
    if (change == QLatin1String("qc")) listed.editor_qc_confirmed = false;
    if (change == QLatin1String("title")) d.history.proposals[0].content.title = QStringLiteral("Other");
    if (change == QLatin1String("file relative")) d.file = QStringLiteral("inbox/review-videos/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file dot")) d.file = m_inbox + QStringLiteral("/./review-videos/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file double")) d.file = m_inbox + QStringLiteral("//review-videos/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file nul")) d.file = base + QChar(u'\0');
    if (change == QLatin1String("file link")) d.file = m_inbox + QStringLiteral("/videos-link/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file outside")) d.file = m_outside + QStringLiteral("/review-videos/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file name")) d.file = m_inbox + QStringLiteral("/review-videos/req-1/prop-1/cut-3.mp4");
    if (change == QLatin1String("inbox link")) inbox = QUrl::fromLocalFile(QFileInfo(m_inbox).path() + QStringLiteral("/inbox-link"));
    if (change == QLatin1String("file missing")) d.file = m_inbox + QStringLiteral("/new/review-videos/req-1/prop-1/cut-2.mp4");
    if (change == QLatin1String("file missing via link"))
        d.file = m_inbox + QStringLiteral("/out-link/review-videos/req-1/prop-1/cut-2.mp4");

    QCOMPARE(d.matches(proposal, task(), QUuid(kOperator), inbox), passes);
}

void TestReviewRules::reactionSummary_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("passes");
    QTest::newRow("as listed") << "" << true;
    QTest::newRow("audio") << "mode audio" << true;
    QTest::newRow("mode with a capital") << "mode Selfie" << false;
    QTest::newRow("third mode") << "mode video" << false;
    QTest::newRow("ten minutes") << "duration 600" << true;
    QTest::newRow("ten minutes and a half second") << "duration 600.5" << false;
    QTest::newRow("no length") << "duration 0" << false;
    QTest::newRow("500 comments") << "count 500" << true;
    QTest::newRow("501 comments") << "count 501" << false;
    QTest::newRow("negative count") << "count -1" << false;
    QTest::newRow("reaction id not a UUID") << "id" << false;
    QTest::newRow("decision about another proposal") << "decision" << false;
    QTest::newRow("hash of another film") << "hash" << false;
    QTest::newRow("another version") << "version" << false;
    QTest::newRow("no task open") << "no detail" << false;
}

void TestReviewRules::reactionSummary()
{
    QFETCH(QString, change);
    QFETCH(bool, passes);
    ServiceReactionSummary r = reaction();
    std::optional<ServiceDetail> detail = detailWithDecision();
    const QString value = change.section(QLatin1Char(' '), 1);
    if (change.startsWith(QLatin1String("mode "))) r.mode = value;
    if (change.startsWith(QLatin1String("duration "))) r.duration = value.toDouble();
    if (change.startsWith(QLatin1String("count "))) r.annotationCount = value.toLongLong();
    if (change == QLatin1String("id")) r.reactionID = QStringLiteral("reaction-1");
    if (change == QLatin1String("decision")) detail->decisions[0].proposal_id = QStringLiteral("prop-0");
    if (change == QLatin1String("hash")) r.sourceSHA256 = QString(64, QLatin1Char('b'));
    if (change == QLatin1String("version")) r.proposalVersion = 1;
    if (change == QLatin1String("no detail")) detail.reset();
    QCOMPARE(ServiceReactionRules::matches(r, detail), passes);
}

void TestReviewRules::annotation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("source");
    QTest::addColumn<double>("at");
    QTest::addColumn<bool>("passes");
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xAC"); // two UTF-16 units
    QTest::newRow("plain") << "Nice cut" << 10.0 << 5.0 << true;
    QTest::newRow("spaces and line breaks only") << " \n\t \r\n" << 1.0 << 1.0 << false;
    QTest::newRow("4000 units") << QString(4000, QLatin1Char('x')) << 1.0 << 1.0 << true;
    QTest::newRow("4001 units") << QString(4001, QLatin1Char('x')) << 1.0 << 1.0 << false;
    QTest::newRow("2000 emoji") << emoji.repeated(2000) << 1.0 << 1.0 << true;
    QTest::newRow("2001 emoji") << emoji.repeated(2001) << 1.0 << 1.0 << false;
    QTest::newRow("at the reaction's end") << "x" << 1.0 << 120.0 << true;
    QTest::newRow("after the reaction's end") << "x" << 1.0 << 120.001 << false;
    QTest::newRow("negative zero film time") << "x" << -0.0 << 0.0 << true;
    QTest::newRow("negative film time") << "x" << -0.5 << 0.0 << false;
    QTest::newRow("film time beyond the film") << "x" << 1e300 << 0.0 << true;
    QTest::newRow("infinite film time") << "x" << qInf() << 0.0 << false;
    QTest::newRow("reaction time not a number") << "x" << 0.0 << qQNaN() << false;
}

void TestReviewRules::annotation()
{
    QFETCH(QString, text);
    QFETCH(double, source);
    QFETCH(double, at);
    QFETCH(bool, passes);
    const ServiceReactionDownload::Annotation a{kReaction, text, source, at};
    QCOMPARE(ServiceReactionRules::annotationPasses(a, 120), passes);
    QVERIFY(!ServiceReactionRules::annotationPasses({QStringLiteral("a1"), text, source, at}, 120));
}

void TestReviewRules::reactionFile_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("file");     // below the project folder unless absolute
    QTest::addColumn<QString>("opened");   // what the player opens, below the project folder; empty: refused
    const QString tail = QStringLiteral("reaction-feedback/req-1/dec-1/") + kReaction;
    QTest::newRow("in place") << "req-1" << tail + "/reaction.mp4" << tail + "/reaction.mp4";
    QTest::newRow("dot components tidied") << "req-1" << "./" + tail + "/../" + kReaction + "/reaction.mp4" << tail + "/reaction.mp4";
    QTest::newRow("other name") << "req-1" << tail + "/reaction.mov" << "";
    QTest::newRow("other reaction folder") << "req-1" << "reaction-feedback/req-1/dec-2/" + kReaction + "/reaction.mp4" << "";
    QTest::newRow("a link that stays inside") << "req-in" << QString(tail).replace("req-1", "req-in") + "/reaction.mp4" << "elsewhere/take.mp4";
    QTest::newRow("a link that leads outside") << "req-out" << QString(tail).replace("req-1", "req-out") + "/reaction.mp4" << "";
    // "out-link" points outside: the raw text would open a file there, the
    // checked text names the one inside, which is what plays.
    QTest::newRow("a link climbed out of by dots") << "req-1" << "out-link/../" + tail + "/reaction.mp4" << tail + "/reaction.mp4";
    QTest::newRow("outside altogether") << "req-1" << "/outside/" + tail + "/reaction.mp4" << "";
    QTest::newRow("a NUL") << "req-1" << tail + "/reaction.mp4" + QChar(u'\0') << "";
}

void TestReviewRules::reactionFile()
{
    QFETCH(QString, request);
    QFETCH(QString, file);
    QFETCH(QString, opened);
    const QString path = file.startsWith(QLatin1String("/outside/")) ? QFileInfo(m_outside).path() + file
                                                                     : m_inbox + QLatin1Char('/') + file;
    const auto checked = ServiceReactionRules::checkedFile(path, request, reaction(), QUrl::fromLocalFile(m_inbox));
    QCOMPARE(checked.value_or(QString()), opened.isEmpty() ? QString() : m_inbox + QLatin1Char('/') + opened);
}

void TestReviewRules::timestamps_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QStringList>("found"); // "seconds|label|text|offset"
    QTest::newRow("two stamps under a plain line")
        << "Looks good\n[01:15] Cut earlier\n  [2:07]\tLouder here" << 600.0
        << QStringList{"75|01:15|Cut earlier|11", "127|02:07|Louder here|31"};
    QTest::newRow("not stamps") << "[1:60] a\n[1:5] b\n[123456:00] c\nsee [0:10] d" << 1e9 << QStringList{};
    QTest::newRow("at the end stays, a second later goes") << "[1:40] end\n[1:41] after" << 100.0
                                                           << QStringList{"100|01:40|end|0"};
    QTest::newRow("empty rest of line") << "[0:05]" << 10.0 << QStringList{"5|00:05||0"};
    QTest::newRow("hundred minutes") << "[100:00] x" << 1e9 << QStringList{"6000|100:00|x|0"};
    QTest::newRow("carriage return ends a line") << "a\r[0:02] b \t" << 10.0 << QStringList{"2|00:02|b|2"};
    QTest::newRow("no length") << "[0:01] x" << 0.0 << QStringList{};
    QTest::newRow("length not a number") << "[0:01] x" << qQNaN() << QStringList{};
}

void TestReviewRules::timestamps()
{
    QFETCH(QString, comment);
    QFETCH(double, duration);
    QFETCH(QStringList, found);
    QStringList got;
    for (const auto &t : ServiceReviewTimestampRules::markers(comment, duration, kDecision)) {
        QVERIFY(t.id.startsWith(kDecision + QLatin1Char('.')));
        got << QStringLiteral("%1|%2|%3|%4").arg(t.seconds).arg(t.label, t.text, t.id.mid(kDecision.size() + 1));
    }
    QCOMPARE(got, found);
}

void TestReviewRules::timestampsOfTheVersionOnly()
{
    ServiceReviewVideoDownload download;
    download.proposalID = kProposal;
    download.duration = 60;
    auto decision = [](QString id, QString proposal, QString comment) {
        ServiceDecision d;
        d.id = std::move(id);
        d.proposal_id = std::move(proposal);
        d.comment = std::move(comment);
        return d;
    };
    const auto markers = ServiceReviewTimestampRules::markers(
        download, {decision("d1", kProposal, "[0:01] a"), decision("d0", "prop-0", "[0:02] b"),
                   decision("d2", kProposal, "[0:01] a")});
    QCOMPARE(markers.size(), 2);
    QCOMPARE(markers[0].id, QStringLiteral("d1.0"));
    QCOMPARE(markers[1].id, QStringLiteral("d2.0"));
    QVERIFY(ServiceReviewTimestampRules::markers(download, {decision("d0", "prop-0", "[0:02] b")}).isEmpty());
}

void TestReviewRules::clockLabel_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("label");
    QTest::newRow("75.9 s") << 75.9 << "01:15";
    QTest::newRow("3725 s") << 3725.0 << "62:05";
    QTest::newRow("just under a second") << 0.999 << "00:00";
    QTest::newRow("huge finite is clamped") << 1e300 << "16666666666666:40";
    QTest::newRow("beyond 32-bit minutes") << 2e11 << "3333333333:20";
    QTest::newRow("infinite") << qInf() << "16666666666666:40";
    QTest::newRow("not a number") << qQNaN() << "00:00";
}

void TestReviewRules::clockLabel()
{
    QFETCH(double, seconds);
    QFETCH(QString, label);
    QCOMPARE(serviceClockLabel(seconds), label);
}

QTEST_MAIN(TestReviewRules)
#include "tst_reviewrules.moc"
