// The working folder and the written proposal of the opened task: prepare,
// resume, preview and send, against fakes of the editor and of the tools.
#include <QtTest>

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "servicefakes.h"
#include "servicequeue/servicequeuemodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Kind = BridgeCommand::Kind;

namespace {

const QUuid kOperator("11111111-1111-4111-8111-111111111111");
const QUuid kCompany("00000000-0000-4000-8000-000000000001");
const QString kProject = "aaaaaaaa-0000-4000-8000-00000000000a";
const QString kRevision = QString(64, QLatin1Char('c'));
const QString kForeign = "Klippegrundlaget tilhører ikke den valgte opgave.";
const QString kUnconfirmed = "Afsendelsen kunne ikke bekræftes for denne opgave. Gentag det samme gennemgåede udkast.";
const QString kHistoryFailed = "Forslaget er modtaget, men historikken kunne ikke opdateres. Hent historikken igen; send "
                               "ikke et nyt forslag.";
const QString kCannotReopen = "Arbejdsmappen kan ikke genåbnes. Kontrollér disken og hent opgaven igen.";

// Sets (or, with an undefined value, removes) the member at a dotted path.
QJsonObject patched(QJsonObject object, const QString &path, const QJsonValue &value)
{
    const qsizetype dot = path.indexOf('.');
    if (dot < 0) {
        if (value.isUndefined())
            object.remove(path);
        else
            object.insert(path, value);
        return object;
    }
    const QString head = path.left(dot);
    object.insert(head, patched(object.value(head).toObject(), path.mid(dot + 1), value));
    return object;
}

QByteArray bytes(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QJsonObject receiptJson(const QString &kind, qint64 revision = 3)
{
    return {{"id", "req-1"}, {"company_id", StrictFormats::canonicalUuid(kCompany)}, {"local_project_id", kProject},
            {"backup_id", "backup-1"}, {"source_fingerprint", "fp-1"}, {"title", "Sommerøl"}, {"kind", kind},
            {"status", "active"}, {"revision", revision}, {"submitted_by", "c"}, {"submitted_at", "t"},
            {"updated_at", "t"}};
}

QJsonObject briefJson(qint64 revision = 3)
{
    return {{"requestID", "req-1"}, {"requestRevision", revision}, {"contextRevision", kRevision},
            {"originalInstructions", "Klip"}, {"effectiveInstructions", "Klip"}, {"observedAt", "2026-03-02T09:00:00Z"},
            {"cached", true}};
}

QJsonObject contextJson(const QString &kind)
{
    const QJsonObject summary{{"packageID", "pkg-1"}, {"projectID", kProject}, {"title", "Sommerøl"},
                              {"fingerprint", "print-1"}, {"referencedFileCount", 1}, {"referencedBytes", 10},
                              {"counts", QJsonObject{{"usable", 1}, {"context", 0}, {"rejected", 0}}},
                              {"serviceRequest", QJsonObject{{"schemaVersion", 1}, {"kind", kind},
                                                             {"instructions", "Klip"}, {"deliverable", "Film"}}}};
    return {{"summary", summary}, {"masterprompt", "m"}, {"candidates", QJsonArray()}, {"notice", ""},
            {"currentBrief", briefJson()}, {"contextRevision", kRevision}};
}

QJsonObject handoffJson(const QString &id, const QJsonValue &kind)
{
    QJsonObject handoff{{"handoffID", id}, {"folder", "/projects/handoffs/" + id}, {"clipCount", 0},
                        {"notices", QJsonArray()}};
    if (!kind.isUndefined())
        handoff.insert("kind", kind);
    return handoff;
}

QJsonObject detailJson(const QJsonObject &receipt)
{
    return {{"request", receipt}, {"proposals", QJsonArray()}, {"decisions", QJsonArray()}};
}

QJsonObject contentJson(const QString &kind)
{
    return {{"schemaVersion", 1}, {"kind", kind}, {"title", "Tre veje"}, {"body", "b"},
            {"open_questions", QJsonArray()}, {"concept_options", QJsonArray()}, {"script_sections", QJsonArray()},
            {"shots", QJsonArray()}, {"sources", QJsonArray()}};
}

QJsonObject previewJson(const QString &kind)
{
    return {{"proposalID", "prop-1"}, {"requestID", "req-1"}, {"handoffID", "writing-1"}, {"contentHash", "hash"},
            {"file", "/projects/proposal.json"}, {"notice", "n"}, {"expectedRevision", 3}, {"content", contentJson(kind)}};
}

QJsonObject sentJson(qint64 revision = 4)
{
    return {{"request", receiptJson("conceptDevelopment", revision)}, {"proposalID", "prop-1"}, {"version", 2},
            {"replayed", false}};
}

// One tool answer: the bytes printed, or the tool's error text.
struct Reply
{
    QByteArray json;
    QString error;
};
Reply ok(const QJsonObject &object) { return {bytes(object), {}}; }
Reply failed(const QString &text) { return {{}, text}; }

} // namespace

class TestServiceQueueProposals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void init();
    void cleanup();

    void prepareRunsItsKindsTools_data();
    void prepareRunsItsKindsTools();
    void prepareRefusals_data();
    void prepareRefusals();
    void resume_data();
    void resume();
    void preview();
    void sendGuards_data();
    void sendGuards();
    void send_data();
    void send();

private:
    void openTask(const QString &kind);
    // Answers the running operation's tool calls in turn until it ends; returns what ran.
    QList<Kind> drive(const QList<Reply> &replies);

    std::unique_ptr<FakeEditor> editor;
    std::unique_ptr<FakeService> service;
    std::unique_ptr<ServiceQueueModel> model;
    qsizetype driven = 0; // tool calls already answered or looked at
};

void TestServiceQueueProposals::init()
{
    editor = std::make_unique<FakeEditor>();
    editor->m_inbox = QUrl::fromLocalFile("/projects");
    service = std::make_unique<FakeService>();
    model = std::make_unique<ServiceQueueModel>(service->bridge());
    auto load = model->loadCompanies(*editor, false);
    service->answer(0, bytes({{"operatorID", StrictFormats::canonicalUuid(kOperator)},
                              {"companies", QJsonArray{QJsonObject{{"id", StrictFormats::canonicalUuid(kCompany)},
                                                                   {"name", "Nordlys"}}}}}));
    QTRY_VERIFY(load.isReady());
    model->selectCompany(kCompany, *editor);
    QVERIFY(model->scope(*editor));
    driven = service->calls.size();
}

void TestServiceQueueProposals::cleanup()
{
    model.reset();
    service->closeAll();
    QCoreApplication::processEvents();
    service.reset();
    editor.reset();
}

void TestServiceQueueProposals::openTask(const QString &kind)
{
    const auto scope = model->scope(*editor);
    model->clearSelection();
    model->restoreSelection(SelectionKey{scope->identity, scope->companyID, scope->operatorID, "req-1", scope->inbox});
    const ServiceDetail detail = ServiceDetail::decode(bytes(detailJson(receiptJson(kind))));
    model->openedTask().setDetail(detail);
    ServiceDownload download;
    download.companyID = detail.request.company_id;
    download.packageID = "pkg-1";
    download.request = detail.request;
    download.verified = true;
    model->openedTask().setDownload(download);
}

QList<Kind> TestServiceQueueProposals::drive(const QList<Reply> &replies)
{
    const qsizetype first = driven;
    qsizetype answered = 0;
    while (editor->m_busy) {
        if (!QTest::qWaitFor([&] { return service->calls.size() > first + answered || !editor->m_busy; }))
            break;
        if (service->calls.size() <= first + answered)
            continue;
        if (answered >= replies.size()) {
            qWarning("an unexpected tool ran");
            break;
        }
        const Reply &reply = replies.at(answered);
        if (reply.error.isEmpty())
            service->answer(int(first + answered), reply.json);
        else
            service->fail(int(first + answered), std::make_exception_ptr(BridgeError::failed(reply.error)));
        ++answered;
    }
    QList<Kind> kinds;
    for (qsizetype i = first; i < service->calls.size(); ++i)
        kinds.append(service->calls.at(i).command.kind());
    driven = service->calls.size();
    return kinds;
}

void TestServiceQueueProposals::prepareRunsItsKindsTools_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("film") << "filmEditing";
    QTest::newRow("writing") << "conceptDevelopment";
    QTest::newRow("script") << "scriptDevelopment";
}

void TestServiceQueueProposals::prepareRunsItsKindsTools()
{
    QFETCH(QString, kind);
    const bool film = kind == "filmEditing";
    openTask(kind);
    model->proposals().setPreview(ProposalPreview::decode(bytes(previewJson(kind))));
    const QJsonObject fresh = handoffJson("new", kind);
    const QJsonObject listed{{"handoffs", QJsonArray{handoffJson("old", kind), fresh}}};
    QList<Reply> replies;
    if (film)
        replies << ok(briefJson()) << ok(contextJson(kind)) << ok(detailJson(receiptJson(kind, 3)));
    else
        replies << ok(contextJson(kind));
    replies << ok(fresh) << ok(listed);
    if (!film)
        replies << ok(QJsonObject{{"file", "/projects/handoffs/new/proposal.json"}, {"notice", "n"}});

    model->prepare(*editor);
    QCOMPARE(editor->startedOperations.last(), "Forbereder opgavens lokale arbejdsmappe…");
    const QList<Kind> ran = drive(replies);
    QCOMPARE(editor->m_error, std::nullopt);
    const QList<Kind> expected = film
        ? QList<Kind>{Kind::serviceBriefPull, Kind::context, Kind::serviceHistory, Kind::prepare, Kind::serviceWorkspaces}
        : QList<Kind>{Kind::context, Kind::prepareWriting, Kind::serviceWorkspaces, Kind::proposalTemplate};
    QCOMPARE(ran, expected);
    const QStringList handoffArguments = service->calls.at(service->calls.size() - (film ? 2 : 3)).command.arguments();
    QCOMPARE(handoffArguments.contains("--context-revision"), film);
    if (film)
        QCOMPARE(handoffArguments.last(), kRevision);

    QCOMPARE(model->proposals().prepared()->handoffID, "new");
    QCOMPARE(model->proposals().workspaces().size(), 2);
    QVERIFY(!model->proposals().preview());
    QCOMPARE(model->proposals().proposalFile().has_value(), !film);
    QCOMPARE(model->openedTask().inlineBrief().has_value(), film);
    QVERIFY(!editor->m_message);
}

void TestServiceQueueProposals::prepareRefusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("path"); // a member of the package context changed
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("error");
    const QString writing = "conceptDevelopment";
    const QString film = "filmEditing";
    const QJsonValue gone = QJsonValue::Undefined;
    QTest::newRow("project id in other letter case") << writing << "summary.projectID" << QJsonValue(kProject.toUpper())
                                                     << "";
    QTest::newRow("neither brief nor revision") << writing << "noBrief" << gone << "";
    QTest::newRow("other package") << writing << "summary.packageID" << QJsonValue("pkg-2") << kForeign;
    QTest::newRow("project not an id") << writing << "summary.projectID" << QJsonValue("project") << kForeign;
    QTest::newRow("package of another kind") << writing << "summary.serviceRequest.kind" << QJsonValue(film) << kForeign;
    QTest::newRow("writing task, package without request") << writing << "summary.serviceRequest" << gone << kForeign;
    QTest::newRow("brief of another task") << writing << "currentBrief.requestID" << QJsonValue("req-2") << kForeign;
    QTest::newRow("revision without brief") << writing << "currentBrief" << gone << kForeign;
    QTest::newRow("brief and context revisions differ") << writing << "contextRevision" << QJsonValue(QString(64, 'd'))
                                                        << kForeign;
    QTest::newRow("film, package without request") << film << "summary.serviceRequest" << gone << "";
    QTest::newRow("film, pulled brief not cached") << film << "pulled.cached" << QJsonValue(false) << kForeign;
    QTest::newRow("film, frozen brief of an older revision")
        << film << "currentBrief.requestRevision" << QJsonValue(2) << kForeign;
    QTest::newRow("film, history one revision on")
        << film << "history" << QJsonValue(4)
        << "Opgaven blev ændret, mens instruktionerne blev hentet. Hent dem igen, før du forbereder en version.";
}

void TestServiceQueueProposals::prepareRefusals()
{
    QFETCH(QString, kind);
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(QString, error);
    const bool film = kind == "filmEditing";
    openTask(kind);
    const auto earlier = ProposalPreview::decode(bytes(previewJson(kind)));
    model->proposals().setPreview(earlier);
    model->proposals().setProposalFile(ProposalFile{"/old", "n"});

    const QJsonValue gone = QJsonValue::Undefined;
    QJsonObject context = contextJson(kind);
    QJsonObject pulled = briefJson();
    QJsonObject history = detailJson(receiptJson(kind));
    if (path == "noBrief")
        context = patched(patched(context, "currentBrief", gone), "contextRevision", gone);
    else if (path.startsWith("pulled."))
        pulled = patched(pulled, path.mid(7), value);
    else if (path == "history")
        history = detailJson(receiptJson(kind, value.toInteger()));
    else
        context = patched(context, path, value);

    QList<Reply> replies;
    if (film)
        replies << ok(pulled) << ok(context) << ok(history);
    else
        replies << ok(context);
    replies << ok(handoffJson("new", kind)) << ok(QJsonObject{{"handoffs", QJsonArray()}})
            << ok(QJsonObject{{"file", "/new"}, {"notice", "n"}});
    model->prepare(*editor);
    const QList<Kind> ran = drive(replies);
    QCOMPARE(editor->m_error.value_or(QString()), error);
    if (error.isEmpty()) {
        QVERIFY(ran.contains(film ? Kind::prepare : Kind::prepareWriting));
        return;
    }
    // A refused preparation leaves the earlier working state in place and prepares nothing.
    QVERIFY(!ran.contains(Kind::prepare) && !ran.contains(Kind::prepareWriting));
    QCOMPARE(model->proposals().preview()->proposalID, earlier.proposalID);
    QCOMPARE(model->proposals().proposalFile()->file, "/old");
    QVERIFY(!model->proposals().prepared());
}

void TestServiceQueueProposals::resume_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonArray>("listed");
    QTest::addColumn<bool>("templateFails");
    QTest::addColumn<QString>("folder"); // of the hand-off in use afterwards; empty for none
    QTest::addColumn<QString>("error");
    const QString writing = "conceptDevelopment";
    auto entry = [](const QString &id, const QJsonValue &kind, const QString &folder) {
        return patched(handoffJson(id, kind), "folder", folder);
    };
    QTest::newRow("first entry of the task's kind, fresh from the list")
        << writing
        << QJsonArray{entry("h", QJsonValue::Undefined, "/no-kind"), entry("h", "filmEditing", "/film"),
                      entry("h", writing, "/first"), entry("h", writing, "/second")}
        << false << "/first" << "";
    QTest::newRow("no longer listed") << writing << QJsonArray{entry("other", writing, "/x")} << false << "" << kCannotReopen;
    QTest::newRow("template fails") << writing << QJsonArray{entry("h", writing, "/first")} << true << "" << "disk";
    QTest::newRow("film needs no template") << "filmEditing" << QJsonArray{entry("h", "filmEditing", "/film")} << false
                                            << "/film" << "";
}

void TestServiceQueueProposals::resume()
{
    QFETCH(QString, kind);
    QFETCH(QJsonArray, listed);
    QFETCH(bool, templateFails);
    QFETCH(QString, folder);
    QFETCH(QString, error);
    openTask(kind);
    model->proposals().setPrepared(PreparedHandoff::decode(bytes(handoffJson("current", kind))));
    model->proposals().setPreview(ProposalPreview::decode(bytes(previewJson(kind))));

    model->resume(PreparedHandoff::decode(bytes(handoffJson("h", kind))), *editor);
    QCOMPARE(editor->startedOperations.last(), "Åbner den tidligere arbejdsmappe…");
    QVERIFY(!model->proposals().prepared() && !model->proposals().preview()); // cleared before the tools run
    const QList<Kind> ran = drive({ok({{"handoffs", listed}}),
                                   templateFails ? failed("disk") : ok(QJsonObject{{"file", "/t"}, {"notice", "n"}})});
    QCOMPARE(editor->m_error.value_or(QString()), error);
    QCOMPARE(model->proposals().workspaces().size(), listed.size());
    QCOMPARE(model->proposals().prepared() ? model->proposals().prepared()->folder : QString(), folder);
    QCOMPARE(ran.contains(Kind::proposalTemplate), kind != "filmEditing" && error != kCannotReopen);
    QCOMPARE(model->proposals().proposalFile().has_value(), kind != "filmEditing" && error.isEmpty());
}

void TestServiceQueueProposals::preview()
{
    const QString kind = "scriptDevelopment";
    openTask(kind);
    model->readPreview(*editor); // nothing prepared yet
    QVERIFY(editor->startedOperations.isEmpty());

    model->proposals().setPrepared(PreparedHandoff::decode(bytes(handoffJson("writing-1", kind))));
    model->proposals().setPreview(ProposalPreview::decode(bytes(previewJson(kind))));
    model->proposals().setConfirmation(true);
    model->readPreview(*editor);
    QVERIFY(!model->proposals().preview() && !model->proposals().confirmation());
    drive({failed("Forslagsfilen kan ikke bruges.")});
    QVERIFY(!model->proposals().preview());
    QCOMPARE(editor->m_error, "Forslagsfilen kan ikke bruges.");

    model->readPreview(*editor);
    drive({ok(previewJson(kind))});
    QCOMPARE(model->proposals().preview()->proposalID, "prop-1");
    QCOMPARE(service->calls.last().command.arguments(),
             (QStringList{"preview", "req-1", "--inbox", "/projects", "--handoff-id", "writing-1", "--revision", "3"}));
}

void TestServiceQueueProposals::sendGuards_data()
{
    QTest::addColumn<QString>("taskKind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("film task") << "filmEditing" << "content.kind" << QJsonValue("filmEditing");
    QTest::newRow("preview of another task") << "conceptDevelopment" << "requestID" << QJsonValue("req-2");
    QTest::newRow("preview of another kind") << "conceptDevelopment" << "content.kind" << QJsonValue("scriptDevelopment");
}

void TestServiceQueueProposals::sendGuards()
{
    QFETCH(QString, taskKind);
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    openTask(taskKind);
    model->proposals().setPreview(ProposalPreview::decode(bytes(patched(previewJson(taskKind), path, value))));
    model->proposals().setConfirmation(true);
    const qsizetype calls = service->calls.size();
    model->send(*editor);
    QVERIFY(model->proposals().confirmation());
    QVERIFY(editor->startedOperations.isEmpty());
    QCOMPARE(service->calls.size(), calls);
}

void TestServiceQueueProposals::send_data()
{
    QTest::addColumn<QString>("path"); // a member of the send's answer changed
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("historyChange");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("error");
    QTest::addColumn<qint64>("shownRevision");
    const QString received = "Forslag version 2 er modtaget til kundereview.";
    QTest::newRow("confirmed, history read") << "" << QJsonValue() << "" << received << "" << qint64(5);
    QTest::newRow("replay") << "replayed" << QJsonValue(true) << ""
                            << "Forslag version 2 er modtaget til kundereview (tidligere afsendelse bekræftet)."
                            << "" << qint64(5);
    QTest::newRow("same revision as shown") << "request.revision" << QJsonValue(3) << "" << received << "" << qint64(5);
    QTest::newRow("history older than the send") << "" << QJsonValue() << "older" << received << kHistoryFailed
                                                 << qint64(4);
    QTest::newRow("history of another backup") << "" << QJsonValue() << "backup" << received << kHistoryFailed
                                               << qint64(4);
    QTest::newRow("history tool fails") << "" << QJsonValue() << "fails" << received << kHistoryFailed << qint64(4);
    QTest::newRow("history made stale") << "" << QJsonValue() << "stale" << received << "" << qint64(4);
    QTest::newRow("another proposal") << "proposalID" << QJsonValue("prop-2") << "" << "" << kUnconfirmed << qint64(3);
    QTest::newRow("another task") << "request.id" << QJsonValue("req-2") << "" << "" << kUnconfirmed << qint64(3);
    QTest::newRow("another company") << "request.company_id" << QJsonValue("x") << "" << "" << kUnconfirmed << qint64(3);
    QTest::newRow("another kind") << "request.kind" << QJsonValue("scriptDevelopment") << "" << "" << kUnconfirmed
                                  << qint64(3);
    QTest::newRow("another backup") << "request.backup_id" << QJsonValue("b2") << "" << "" << kUnconfirmed << qint64(3);
    QTest::newRow("another source") << "request.source_fingerprint" << QJsonValue("f2") << "" << "" << kUnconfirmed
                                    << qint64(3);
    QTest::newRow("another project") << "request.local_project_id" << QJsonValue("p2") << "" << "" << kUnconfirmed
                                     << qint64(3);
    QTest::newRow("lower revision") << "request.revision" << QJsonValue(2) << "" << "" << kUnconfirmed << qint64(3);
    QTest::newRow("version 0") << "version" << QJsonValue(0) << "" << "" << kUnconfirmed << qint64(3);
}

void TestServiceQueueProposals::send()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(QString, historyChange);
    QFETCH(QString, message);
    QFETCH(QString, error);
    QFETCH(qint64, shownRevision);
    const QString kind = "conceptDevelopment";
    openTask(kind);
    ServiceDetail shown = *model->openedTask().detail();
    shown.decisions.append(ServiceDecision{"d", "p", "request_changes", "c", "t", {}});
    model->openedTask().setDetail(shown);
    auto preview = previewJson(kind);
    preview.insert("expectedRevision", 2); // the send carries the preview's revision, not the one on screen
    model->proposals().setPreview(ProposalPreview::decode(bytes(preview)));
    model->proposals().setConfirmation(true);

    model->send(*editor);
    QVERIFY(!model->proposals().confirmation());
    const QStringList arguments = service->calls.last().command.arguments();
    QCOMPARE(arguments.mid(arguments.indexOf("--revision")), (QStringList{"--revision", "2", "--confirm-send"}));
    QCOMPARE(arguments.first(), "--expected-operator-id");

    QJsonObject history = detailJson(receiptJson(kind, historyChange == "older" ? 3 : 5));
    if (historyChange == "backup")
        history = patched(history, "request.backup_id", "b2");
    QList<Reply> replies{ok(path.isEmpty() ? sentJson() : patched(sentJson(), path, value))};
    if (historyChange == "fails")
        replies << failed("offline");
    else
        replies << ok(history);
    if (historyChange == "stale") {
        service->answer(int(service->calls.size() - 1), replies.first().json);
        QTRY_COMPARE(service->calls.last().command.kind(), Kind::serviceHistory);
        editor->m_inbox = QUrl::fromLocalFile("/elsewhere");
        service->answer(int(service->calls.size() - 1), bytes(history));
        QTRY_VERIFY(!editor->m_busy);
    } else {
        drive(replies);
    }
    QCOMPARE(editor->m_message.value_or(QString()), message);
    QCOMPARE(editor->m_error.value_or(QString()), error);
    QCOMPARE(model->openedTask().detail()->request.revision, shownRevision);
    QCOMPARE(model->proposals().preview().has_value(), !error.isEmpty() && message.isEmpty());
    // Until the history is read, the detail keeps the decisions already shown.
    QCOMPARE(model->openedTask().detail()->decisions.size(), shownRevision == 4 || shownRevision == 3 ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestServiceQueueProposals)
#include "tst_servicequeueproposals.moc"
