// The service queue against the stand-in service: a real sign-in over HTTPS,
// the editor model's real tool runner, and the tools run as child processes
// from a private copy of the tools folder.
#include "partchanges.h"
#include "servicequeuewindow.h"

#include "foundation/errors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int toolWait = 60000;

// Free coroutines: their arguments live in the frame for the whole run.
QCoro::Task<void> listTasks(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor, QUrl credentials,
                            QString company, ServiceOperationScope scope, CancellationToken token)
{
    ServiceListing listing = co_await model->execute<ServiceListing>(
        BridgeCommand::serviceList(credentials, company, scope.operatorID), *editor, scope, token);
    if (model)
        model->openedTask().setListing(std::move(listing));
}

QCoro::Task<void> openTask(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor, QUrl credentials,
                           ServiceReceipt receipt, ServiceOperationScope scope, CancellationToken token)
{
    ServiceDetail detail = co_await model->execute<ServiceDetail>(
        BridgeCommand::serviceGet(credentials, receipt.company_id, receipt.id, scope.operatorID), *editor, scope,
        token);
    if (model)
        model->openedTask().setDetail(std::move(detail));
}

// A complete task row; only its kind is chosen.
QJsonObject receiptOfKind(const char *kind)
{
    QJsonObject row;
    for (const char *key : {"id", "company_id", "local_project_id", "backup_id", "source_fingerprint", "title",
                            "submitted_by", "submitted_at", "updated_at"})
        row.insert(QLatin1String(key), QStringLiteral("x"));
    row.insert(QStringLiteral("kind"), QLatin1String(kind));
    row.insert(QStringLiteral("status"), QStringLiteral("waiting"));
    row.insert(QStringLiteral("revision"), 1);
    return row;
}

} // namespace

class TestServiceQueueIntegration : public QObject, private ServiceQueueWindow
{
    Q_OBJECT

public:
    TestServiceQueueIntegration() : ServiceQueueWindow(toolWait) {}

private:
    void startList()
    {
        const QUrl credentials = session->credentialURL();
        const QString company = editor->company().trimmed();
        QPointer<ServiceQueueModel> target(model.get());
        ServiceQueueEditor *seam = adapter.get();
        model->openedTask().setListing(std::nullopt);
        model->clearSelection();
        model->perform(*adapter, QStringLiteral("list"),
                       [target, seam, credentials, company](ServiceQueueModel::OperationContext op) {
                           return listTasks(target, seam, credentials, company, std::move(op.scope), std::move(op.token));
                       });
    }

    int toolRuns(const QString &command) const { return int(toolCommands().count(command)); }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("da")); }
    void cleanupTestCase() { closeWindow(); }

    void pagesThroughTheDirectory_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<int>("firstPage");
        QTest::addColumn<int>("total");
        QTest::newRow("one page") << QString::fromLatin1(StandinFixture::demoEmail) << 3 << 3;
        QTest::newRow("two pages") << QString::fromLatin1(StandinFixture::secondEmail) << 50 << 55;
    }

    void pagesThroughTheDirectory()
    {
        QFETCH(QString, email);
        QFETCH(int, firstPage);
        QFETCH(int, total);
        signInAndOpen(email, false);

        model->fetchCompanies(*adapter, false);
        QVERIFY(editor->busy());
        QVERIFY(waitIdle());
        QVERIFY2(!model->directory().companyError(), qPrintable(model->directory().companyError().value_or(QString())));
        QCOMPARE(model->directory().companies().size(), firstPage);
        QVERIFY(model->directory().companiesVerified());
        QCOMPARE(model->directory().operatorID(), session->userID());
        QCOMPARE(model->directory().nextCompanyID().has_value(), firstPage < total);

        const ServiceCompanyDirectory &directory = model->directory();
        PartChanges<QList<ServiceCompany>> appended(directory, [&directory] { return directory.companies(); });
        model->fetchCompanies(*adapter, true);
        QVERIFY(waitIdle());
        QVERIFY2(!model->directory().companyError(), qPrintable(model->directory().companyError().value_or(QString())));
        QCOMPARE(model->directory().companies().size(), total);
        QVERIFY(!model->directory().nextCompanyID());
        QVERIFY(model->directory().companiesVerified());
        // The next page was really asked for only when there was one.
        QCOMPARE(toolRuns(QStringLiteral("serviceCompanies")) >= 2, firstPage < total);
        QCOMPARE(appended.isEmpty(), firstPage == total);

        QStringList keys;
        for (const ServiceCompany &company : model->directory().companies())
            keys << company.id.toString(QUuid::WithoutBraces);
        QStringList sorted = keys;
        sorted.sort();
        QCOMPARE(keys, sorted);
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
    }

    void listsAndOpensATaskOfTheChosenCompany()
    {
        signInAndOpen(QString::fromLatin1(StandinFixture::secondEmail), false);
        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        QVERIFY(model->directory().selectedCompanyID());
        QCOMPARE(editor->company(), model->directory().selectedCompanyID()->toString(QUuid::WithoutBraces));
        QVERIFY(model->canUseCompany(*adapter));

        startList();
        QVERIFY(editor->busy());
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(model->openedTask().listing());
        const ServiceListing listing = *model->openedTask().listing();
        QCOMPARE(QUuid::fromString(listing.companyID), *model->directory().selectedCompanyID());
        QCOMPARE(QUuid::fromString(listing.operatorID), *model->directory().operatorID());
        QVERIFY(!listing.requests.isEmpty());
        QSet<QString> statuses;
        for (const ServiceReceipt &row : listing.requests) {
            QCOMPARE(QUuid::fromString(row.company_id), *model->directory().selectedCompanyID());
            QVERIFY2(row.statusTitle() != QStringLiteral("Ukendt status"), qPrintable(row.status.text()));
            statuses.insert(row.status.text());
        }
        QVERIFY(statuses.contains(QStringLiteral("waiting")));

        // A task with a customer's history: proposals and decisions decode too.
        const auto withHistory = std::find_if(listing.requests.begin(), listing.requests.end(),
                                              [](const ServiceReceipt &r) { return r.latest_proposal_id.has_value(); });
        QVERIFY(withHistory != listing.requests.end());
        const ServiceReceipt receipt = *withHistory;
        QPointer<ServiceQueueModel> target(model.get());
        ServiceQueueEditor *seam = adapter.get();
        const QUrl credentials = session->credentialURL();
        model->perform(*adapter, QStringLiteral("open"),
                       [target, seam, credentials, receipt](ServiceQueueModel::OperationContext op) {
                           return openTask(target, seam, credentials, receipt, std::move(op.scope), std::move(op.token));
                       });
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(model->openedTask().detail());
        const ServiceDetail &detail = *model->openedTask().detail();
        QCOMPARE(detail.request.id, receipt.id);
        QCOMPARE(detail.request.revision, receipt.revision);
        QVERIFY(!detail.proposals.isEmpty());
        QCOMPARE(detail.proposals.last().id, *receipt.latest_proposal_id);
        for (const ServiceDecision &decision : detail.decisions) {
            const bool known = std::any_of(detail.proposals.begin(), detail.proposals.end(),
                                           [&](const ServiceProposal &p) { return p.id == decision.proposal_id; });
            QVERIFY2(known, qPrintable(decision.proposal_id));
        }
        QCOMPARE(model->openedTask().listing()->requests.size(), listing.requests.size());
    }

    // What the tool prints wrongly ends as the editor's error, never as a
    // half-read list.
    void reportsABrokenListing_data()
    {
        QTest::addColumn<QJsonObject>("rule");
        QTest::addColumn<QString>("error"); // empty: any sentence
        QTest::newRow("tool failure")
            << QJsonObject{{QStringLiteral("mode"), QStringLiteral("fail")},
                           {QStringLiteral("error"), QStringLiteral("Tjenesten svarer ikke.")}}
            << QStringLiteral("Tjenesten svarer ikke.");
        QTest::newRow("company under another key")
            << QJsonObject{{QStringLiteral("mode"), QStringLiteral("wrong_keys")},
                           {QStringLiteral("rename"), QJsonObject{{QStringLiteral("companyID"),
                                                                   QStringLiteral("company_id")}}}}
            << QString();
        QTest::newRow("row of an unknown kind")
            << QJsonObject{{QStringLiteral("mode"), QStringLiteral("answer")},
                           {QStringLiteral("json"),
                            QJsonObject{{QStringLiteral("companyID"), QStringLiteral("x")},
                                        {QStringLiteral("operatorID"), QStringLiteral("y")},
                                        {QStringLiteral("requests"), QJsonArray{receiptOfKind("FilmEditing")}}}}}
            << QString();
        QTest::newRow("not JSON")
            << QJsonObject{{QStringLiteral("mode"), QStringLiteral("malformed")}} << QString();
    }

    void reportsABrokenListing()
    {
        QFETCH(QJsonObject, rule);
        QFETCH(QString, error);
        signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail), false);
        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        QVERIFY(standin.setScenario(QJsonObject{{QStringLiteral("serviceList"), rule}}));

        startList();
        QVERIFY(waitIdle());
        standin.clearScenario();
        QVERIFY(!model->openedTask().listing());
        QVERIFY(editor->error());
        QVERIFY(!editor->error()->isEmpty());
        if (!error.isEmpty())
            QCOMPARE(*editor->error(), error);
        // The directory itself is untouched by a failed task list.
        QVERIFY(model->canUseCompany(*adapter));
    }

    // The person picks another company while the list is on its way: the
    // answer is dropped and nothing is shown.
    void dropsAListingWhoseCompanyChangedMeanwhile()
    {
        signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail), false);
        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        QVERIFY(model->directory().selectedCompanyID());
        const int before = toolRuns(QStringLiteral("serviceList"));

        startList();
        QVERIFY(editor->busy());
        selectCompanyNamed(QStringLiteral("Havnens Tandklinik"));
        QVERIFY(waitIdle());
        QCOMPARE(toolRuns(QStringLiteral("serviceList")), before + 1);
        QVERIFY(!model->openedTask().listing());
        QVERIFY(!editor->error());
        QVERIFY(!editor->message());
    }

    // After signing out, the old session locator gets no tool run at all and
    // the directory shows why.
    void aSignedOutSessionLoadsNoCompanies()
    {
        signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail), false);
        const int before = toolRuns(QStringLiteral("serviceCompanies"));
        TestAwait::run(session->logout());
        QVERIFY(!session->issue());

        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        QCOMPARE(toolRuns(QStringLiteral("serviceCompanies")), before);
        QVERIFY(model->directory().companyError());
        QVERIFY(!model->directory().companyError()->isEmpty());
        QVERIFY(model->directory().companies().isEmpty());
        QVERIFY(!model->directory().companiesVerified());
        QVERIFY(!editor->error());
    }
};

QTEST_GUILESS_MAIN(TestServiceQueueIntegration)
#include "tst_servicequeueintegration.moc"
