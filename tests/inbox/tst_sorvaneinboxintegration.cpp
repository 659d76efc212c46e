// The Sorvane inbox model against the stand-in service: a real sign-in over
// HTTPS, the editor's real tool runner, and desktop_service.py run as a child
// process from a private copy of the tools folder.
#include "../common/standinwindow.h"

#include "foundation/decoding/strictformats.h"
#include "inbox/sorvaneinboxmodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int toolWait = 60000;
const QString editorEmail = QStringLiteral("editor@example.com");
const QString secondEmail = QStringLiteral("second.editor@example.com");

// The demo's fixed ids: name-based UUIDs under the stand-in's namespace.
QUuid demoID(const char *name)
{
    static const QUuid space(QStringLiteral("6f1d6a8e-7f43-4c0e-9d7a-3c1f0b2a5e10"));
    return QUuid::createUuidV5(space, QByteArray(name));
}

// The second editor's test customers' tasks sort after every main demo id.
QString trailingID(const char *name)
{
    return QStringLiteral("ffffffff") + demoID(name).toString(QUuid::WithoutBraces).mid(8);
}

} // namespace

class TestSorvaneInboxIntegration : public QObject, private StandinWindow
{
    Q_OBJECT

public:
    TestSorvaneInboxIntegration() : StandinWindow(toolWait) {}

private:
    // Outlives every model: the pending claim must survive a new window.
    MemorySettingsStore defaults;
    std::unique_ptr<SorvaneInboxModel> model;

    void openWindow()
    {
        model.reset();
        openEditor(false);
        model = std::make_unique<SorvaneInboxModel>(adapter->bridge(), defaults);
    }

    void signIn(const QString &email)
    {
        StandinWindow::signIn(email);
        if (!QTest::currentTestFailed())
            openWindow();
    }

    bool settle(const std::function<bool()> &busy) { return QTest::qWaitFor([&] { return !busy(); }, toolWait); }

    void loadFirstPage()
    {
        model->refresh(*adapter);
        QVERIFY(model->loading());
        QVERIFY(settle([this] { return model->loading(); }));
        QVERIFY2(!model->error(), qPrintable(model->error().value_or(QString())));
    }

    void loadEverything()
    {
        loadFirstPage();
        while (model->hasMore()) {
            model->loadMore(*adapter);
            QVERIFY(model->loading());
            QVERIFY(settle([this] { return model->loading(); }));
            QVERIFY2(!model->error(), qPrintable(model->error().value_or(QString())));
        }
    }

    void claimNext()
    {
        model->claimNext(*adapter);
        QVERIFY(model->mutating());
        QVERIFY(settle([this] { return model->mutating(); }));
    }

    std::optional<SorvaneInboxRow> row(const QString &requestID) const
    {
        for (const SorvaneInboxRow &item : model->items())
            if (item.request.id.compare(requestID, Qt::CaseInsensitive) == 0)
                return item;
        return std::nullopt;
    }

    // One value from the stand-in's state.
    QString query(const QString &sql)
    {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sqlite3, sys\n"
                                     "print(sqlite3.connect(sys.argv[1]).execute(sys.argv[2]).fetchone()[0])\n"),
                      standin.var() + QStringLiteral("/standin.sqlite3"), sql});
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            return QStringLiteral("<query failed: %1>").arg(QString::fromUtf8(python.readAllStandardError()));
        return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
    }

    // The argument lists of every run of `command`, in order.
    QList<QJsonArray> toolRuns(const QString &command) const
    {
        QList<QJsonArray> found;
        for (const QJsonObject &run : toolRunLog())
            if (run.value(QStringLiteral("command")).toString() == command)
                found << run.value(QStringLiteral("arguments")).toArray();
        return found;
    }

    // The command ids that claim-next runs were given, in order.
    QStringList claimCommandIDs() const
    {
        QStringList ids;
        for (const QJsonArray &arguments : toolRuns(QStringLiteral("serviceClaimNext"))) {
            for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
                if (arguments.at(i).toString() == QStringLiteral("--command-id"))
                    ids << arguments.at(i + 1).toString();
        }
        return ids;
    }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("en")); }

    void init()
    {
        // Fresh demo content for every test; a reset also ends every session.
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
        standin.clearScenario();
        for (const QString &key : defaults.keys())
            defaults.remove(key);
    }

    void cleanupTestCase()
    {
        model.reset();
        closeEditor();
    }

    void pagesThroughTheWholeInbox_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("operatorName");
        QTest::addColumn<int>("pages");
        QTest::newRow("one page") << editorEmail << QByteArray("operator:editor") << 1;
        QTest::newRow("two pages") << secondEmail << QByteArray("operator:second") << 2;
    }

    void pagesThroughTheWholeInbox()
    {
        QFETCH(QString, email);
        QFETCH(QByteArray, operatorName);
        QFETCH(int, pages);
        signIn(email);
        const QUuid operatorID = demoID(operatorName.constData());
        const QString served = query(QStringLiteral(
            "SELECT COUNT(*) FROM requests r JOIN operator_companies oc ON oc.company_id = r.company_id"
            " WHERE oc.operator_id = '%1'").arg(operatorID.toString(QUuid::WithoutBraces)));

        QSignalSpy itemsChanged(model.get(), &SorvaneInboxModel::itemsChanged);
        loadEverything();
        QCOMPARE(model->operatorID(), std::optional<QUuid>(operatorID));
        QCOMPARE(QString::number(model->items().size()), served);
        // The first load empties the list and merges its page; every further page merges once.
        QCOMPARE(itemsChanged.count(), 1 + pages);
        QSet<QString> ids;
        for (const SorvaneInboxRow &item : model->items())
            ids.insert(item.request.id.toLower());
        QCOMPARE(ids.size(), model->items().size());
        QVERIFY(model->nextItem());
        QVERIFY(!model->hasPendingClaim());
        // Something is selected, and the pinned next row is never listed twice.
        QVERIFY(model->selectedID());
        int listed = 0;
        for (const SorvaneInboxGroup &group : model->groups())
            listed += group.items.size();
        QCOMPARE(listed + (model->pinnedNextItem() ? 1 : 0), model->visibleItems().size());
    }

    void claimsOnceThoughTheFirstAnswerIsLost_data()
    {
        QTest::addColumn<bool>("reopenWindow");
        QTest::addColumn<QString>("loss");
        QTest::newRow("tool fails after claiming") << false << QStringLiteral("fail_after");
        QTest::newRow("answer refused by the checks") << false << QStringLiteral("wrong_keys");
        QTest::newRow("retried from a new window") << true << QStringLiteral("fail_after");
    }

    void claimsOnceThoughTheFirstAnswerIsLost()
    {
        QFETCH(bool, reopenWindow);
        QFETCH(QString, loss);
        signIn(editorEmail);
        loadFirstPage();
        const QString waitingFilm = demoID("request:0").toString(QUuid::WithoutBraces);
        QVERIFY(row(waitingFilm) && row(waitingFilm)->scheduling.canClaim);

        QJsonObject rule{{QStringLiteral("mode"), loss}, {QStringLiteral("times"), 1}};
        if (loss == QStringLiteral("wrong_keys"))
            rule.insert(QStringLiteral("drop"), QJsonArray{QStringLiteral("replayed")});
        QVERIFY(standin.setScenario({{QStringLiteral("serviceClaimNext"), rule}}));

        // The demo's own claims all lie before the reset; the claims made here come after this second.
        const QString claimedFrom = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        claimNext();
        QVERIFY(model->mutationError());
        QVERIFY(model->hasPendingClaim());
        const QUuid commandID = *model->pendingClaimID();
        // The service did claim: only the answer went missing.
        QCOMPARE(query(QStringLiteral("SELECT claimed_by FROM requests WHERE id = '%1'").arg(waitingFilm)),
                 model->operatorID()->toString(QUuid::WithoutBraces));

        if (reopenWindow) {
            openWindow();
            QVERIFY(!model->hasPendingClaim());
            loadFirstPage();
            // The stored record shows as soon as a page of the same sign-in has loaded.
            QCOMPARE(model->pendingClaimID(), std::optional<QUuid>(commandID));
        }
        claimNext();
        QVERIFY2(!model->mutationError(), qPrintable(model->mutationError().value_or(QString())));
        QVERIFY(!model->hasPendingClaim());
        QVERIFY(model->lastMutationItem());
        QCOMPARE(model->lastMutationItem()->request.id, waitingFilm);
        QCOMPARE(model->selectedID(), std::optional<QString>(waitingFilm));
        QVERIFY(settle([this] { return model->loading(); }));
        QVERIFY(row(waitingFilm));
        QCOMPARE(row(waitingFilm)->request.status, QStringLiteral("active"));

        const QString sent = commandID.toString(QUuid::WithoutBraces);
        QCOMPARE(claimCommandIDs(), QStringList({sent, sent}));
        QCOMPARE(query(QStringLiteral("SELECT COUNT(*) FROM commands")), QStringLiteral("1"));
        QCOMPARE(query(QStringLiteral("SELECT COUNT(*) FROM requests WHERE claimed_at >= '%1'").arg(claimedFrom)),
                 QStringLiteral("1"));
        // Claimed once: the revision moved by one.
        QCOMPARE(query(QStringLiteral("SELECT revision FROM requests WHERE id = '%1'").arg(waitingFilm)),
                 QStringLiteral("2"));

        // The next claim-next is a new command, and nothing is left to claim.
        claimNext();
        QVERIFY(!model->mutationError());
        QVERIFY(!model->lastMutationItem());
        QCOMPARE(claimCommandIDs().size(), 3);
        QVERIFY(claimCommandIDs().constLast() != sent);
    }

    void startsTheClaimedTask()
    {
        signIn(editorEmail);
        loadFirstPage();
        claimNext();
        QVERIFY(!model->mutationError());
        QVERIFY(settle([this] { return model->loading(); }));
        const std::optional<SorvaneInboxRow> claimed = row(model->lastMutationItem()->request.id);
        QVERIFY(claimed);
        QVERIFY(claimed->canStart(model->operatorID()));

        model->start(*claimed, *adapter);
        QVERIFY(model->mutating());
        QVERIFY(settle([this] { return model->mutating(); }));
        QVERIFY2(!model->mutationError(), qPrintable(model->mutationError().value_or(QString())));
        QVERIFY(model->lastMutationItem()->scheduling.startedAt);
        QVERIFY(settle([this] { return model->loading(); }));
        QVERIFY(row(claimed->request.id)->scheduling.startedAt);
        QVERIFY(!row(claimed->request.id)->canStart(model->operatorID()));
        QCOMPARE(query(QStringLiteral("SELECT started_at IS NOT NULL FROM scheduling WHERE request_id = '%1'")
                           .arg(claimed->request.id)),
                 QStringLiteral("1"));

        // Started already: the model refuses before any tool run.
        QCOMPARE(toolRuns(QStringLiteral("serviceStart")).size(), 1);
        model->start(*row(claimed->request.id), *adapter);
        QVERIFY(!model->mutating());
        QCOMPARE(toolRuns(QStringLiteral("serviceStart")).size(), 1);
    }

    void readsAndSavesConsent()
    {
        signIn(editorEmail);
        loadFirstPage();
        const QUuid company = demoID("company:0");
        std::optional<SorvaneInboxRow> customerRow;
        for (const SorvaneInboxRow &item : model->items())
            if (item.company.id == company)
                customerRow = item;
        QVERIFY(customerRow);
        model->setSelectedID(customerRow->request.id);

        model->loadPipeline(*customerRow, *adapter, false);
        QVERIFY(settle([this] { return model->pipelineLoading(); }));
        QVERIFY2(!model->pipelineError(), qPrintable(model->pipelineError().value_or(QString())));
        QCOMPARE(model->pipeline()->company.metadataAccess, SorvaneCompanySummary::MetadataAccess::limited);
        QVERIFY(model->pipeline()->company.canManageMetadata);
        const qsizetype limitedFilms = model->pipeline()->films.size();

        model->metadata(*customerRow, *adapter, std::nullopt);
        QVERIFY(model->metadataLoading());
        QVERIFY(settle([this] { return model->metadataLoading(); }));
        QVERIFY2(!model->metadataError(), qPrintable(model->metadataError().value_or(QString())));
        const SorvaneMetadataSettings read = *model->metadataSettings();
        QCOMPARE(read.companyID, company);
        QCOMPARE(read.allowPipeline, false);
        QCOMPARE(read.contactName, std::optional<QString>(QStringLiteral("Mette Holm")));

        // A save on an older revision is refused by the service and keeps what was read.
        model->metadata(*customerRow, *adapter, SorvaneInboxModel::MetadataUpdate{read.revision - 1, true, std::nullopt});
        QVERIFY(settle([this] { return model->metadataLoading(); }));
        QVERIFY(model->metadataError());
        QCOMPARE(model->metadataSettings()->revision, read.revision);

        // The contact name goes to the service as typed.
        const QString contact = QStringLiteral(" Mette Holm (marketing) ");
        model->metadata(*customerRow, *adapter, SorvaneInboxModel::MetadataUpdate{read.revision, true, contact});
        QVERIFY(settle([this] { return model->metadataLoading(); }));
        QVERIFY2(!model->metadataError(), qPrintable(model->metadataError().value_or(QString())));
        QCOMPARE(model->metadataSettings()->revision, read.revision + 1);
        QCOMPARE(model->metadataSettings()->allowPipeline, true);
        QCOMPARE(model->metadataSettings()->contactName, std::optional<QString>(contact));

        // The saved consent shares the whole pipeline, reloaded from its first page.
        QVERIFY(settle([this] { return model->pipelineLoading() || !model->pipeline(); }));
        QVERIFY2(!model->pipelineError(), qPrintable(model->pipelineError().value_or(QString())));
        QCOMPARE(model->pipeline()->company.metadataAccess, SorvaneCompanySummary::MetadataAccess::granted);
        QVERIFY(model->pipeline()->films.size() > limitedFilms);
    }

    void pagesACustomersPipeline()
    {
        signIn(secondEmail);
        loadFirstPage();
        // The customer's task is on the second inbox page: selection walks to it.
        const QString requestID = trailingID("request:extra:1:0");
        QVERIFY(!row(requestID));
        model->selectRequest(QUuid::fromString(requestID), *adapter);
        QVERIFY(model->selectingRequest());
        QVERIFY(settle([this] { return model->selectingRequest(); }));
        QVERIFY2(!model->error(), qPrintable(model->error().value_or(QString())));
        QVERIFY(model->selectedItem());
        const SorvaneInboxRow selected = *model->selectedItem();
        QCOMPARE(selected.request.id, requestID);
        QCOMPARE(selected.company.id, demoID("company:extra:1"));

        QSignalSpy pipelineChanged(model.get(), &SorvaneInboxModel::pipelineChanged);
        model->loadPipeline(selected, *adapter, false);
        QVERIFY(settle([this] { return model->pipelineLoading(); }));
        QVERIFY2(!model->pipelineError(), qPrintable(model->pipelineError().value_or(QString())));
        QCOMPARE(model->pipeline()->films.size(), 50);
        QVERIFY(model->pipelineHasMore());

        model->loadPipeline(selected, *adapter, true);
        QVERIFY(settle([this] { return model->pipelineLoading(); }));
        QVERIFY2(!model->pipelineError(), qPrintable(model->pipelineError().value_or(QString())));
        QVERIFY(!model->pipelineHasMore());
        QCOMPARE(model->pipeline()->films.size(), 55);
        QStringList ids;
        for (const SorvanePipelineFilm &film : model->pipeline()->films)
            ids << StrictFormats::canonicalUuid(film.id).toLower();
        QStringList sorted = ids;
        sorted.sort();
        QCOMPARE(ids, sorted);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 55);
        // Emptied, first page, merged second page.
        QCOMPARE(pipelineChanged.count(), 3);
    }
};

QTEST_GUILESS_MAIN(TestSorvaneInboxIntegration)
#include "tst_sorvaneinboxintegration.moc"
