#include "inboxfixtures.h"
#include "inboxmodelfakes.h"

#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxlistmodel.h"
#include "inbox/sorvaneinboxmodel.h"
#include "inbox/sorvanependingclaim.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace InboxFixtures;

namespace {

const QUuid operatorUuid = QUuid::fromString(operatorID);
const QUuid companyUuid = QUuid::fromString(companyID);

// A row listed at `second` seconds past a fixed minute; later seconds are newer.
QJsonObject rowAt(int n, int second, const QString &status = QStringLiteral("waiting"))
{
    return set(row(n, status), "request/submitted_at", QStringLiteral("2024-05-01T10:00:%1Z").arg(second, 2, 10, QChar('0')));
}

// A page of the given rows; with `more` its cursor points after the last one.
QByteArray page(const QList<QJsonObject> &rows, bool more = false,
                const std::optional<QJsonObject> &next = std::nullopt)
{
    QJsonObject top = inboxPage(0);
    QJsonArray items;
    for (const QJsonObject &r : rows)
        items.append(r);
    top["items"] = items;
    if (more) {
        const QJsonObject last = rows.constLast().value("request").toObject();
        top["nextCursor"] = QJsonObject{{"submitted_at", last.value("submitted_at")}, {"id", last.value("id")}};
    }
    if (next) {
        top["nextItem"] = *next;
        top["nextRequestID"] = next->value("request").toObject().value("id");
    }
    return bytes(top);
}

QString requestID(int n) { return uuidFor(n, 1); }

QStringList ids(const QList<SorvaneInboxRow> &rows)
{
    QStringList result;
    for (const SorvaneInboxRow &r : rows)
        result.append(r.request.id);
    return result;
}

QByteArray claimed(const QJsonObject &item)
{
    QJsonObject result = mutationResult();
    result["item"] = item;
    return bytes(result);
}

// A row this operator has claimed and may start.
QJsonObject claimedRow(int n, int second)
{
    QJsonObject r = rowAt(n, second, "active");
    r = set(r, "request/claimed_by", operatorID);
    r = set(r, "request/claimed_at", "2024-05-01T11:00:00Z");
    return r;
}

QJsonObject managedPipeline(const QList<int> &films, bool more = false)
{
    QJsonObject p = pipelinePage(0);
    p = set(p, "company/canManageMetadata", true);
    QJsonArray list;
    for (int n : films)
        list.append(pipelineFilm(n));
    p["films"] = list;
    if (more)
        p["nextCursor"] = list.last().toObject().value("id");
    return p;
}

} // namespace

class TestSorvaneInboxModel : public QObject
{
    Q_OBJECT

    MemorySettingsStore store;
    HeldBridge *fake = nullptr;
    SorvaneInboxModel *model = nullptr;
    InboxEditor editor;

    // A model with one accepted first page of `rows`.
    void loaded(const QList<QJsonObject> &rows, bool more = false)
    {
        model->refresh(editor);
        fake->answerLast(page(rows, more));
        QVERIFY(!model->loading());
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting("en"); }

    void init()
    {
        store = MemorySettingsStore();
        fake = new HeldBridge;
        model = new SorvaneInboxModel(fake->bridge(), store);
        editor = InboxEditor();
    }

    void cleanup()
    {
        delete model;
        delete fake;
    }

    void storedPreferencesLoadAtConstruction_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("sort");
        QTest::newRow("without companyID") << QByteArray(R"({"sort":"title","group":"company","filter":"mine","query":"x"})") << "title";
        QTest::newRow("unknown sort") << QByteArray(R"({"sort":"random","group":"company","filter":"mine","query":"x"})") << "priority";
        QTest::newRow("not JSON") << QByteArray("{") << "priority";
    }
    void storedPreferencesLoadAtConstruction()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, sort);
        MemorySettingsStore defaults;
        defaults.setValue(SorvaneInboxPreferences::settingsKey, stored);
        SorvaneInboxModel fresh(fake->bridge(), defaults);
        QCOMPARE(SorvaneInboxOptions::rawValue(fresh.preferences().sort), sort);
        QVERIFY(!fresh.preferences().companyID);
        // Nothing is written back while constructing.
        QCOMPARE(defaults.value(SorvaneInboxPreferences::settingsKey).toByteArray(), stored);
    }

    void identityFollowsTheEditor()
    {
        QVERIFY(model->identity(editor));
        QCOMPARE(model->identity(editor)->connectionIdentity, QStringLiteral("production"));
        editor.m_unsupported = true;
        QCOMPARE(model->identity(editor)->connectionIdentity, QStringLiteral("unsupported-local-test"));
        editor.m_credentials.reset();
        QVERIFY(!model->identity(editor));
    }

    void firstPageAcceptedAndSelectionRepaired()
    {
        QSignalSpy items(model, &SorvaneInboxModel::itemsChanged);
        model->refresh(editor);
        QVERIFY(model->loading());
        QCOMPARE(fake->count(), 1);
        QVERIFY(!std::get<BridgeCommand::ServiceInbox>(fake->last().command.payload()).expectedOperatorID);
        QCOMPARE(fake->last().toolsFolder, QStringLiteral("/tools"));
        fake->answerLast(page({rowAt(1, 30), rowAt(2, 20)}));
        QVERIFY(!model->loading());
        QCOMPARE(ids(model->items()), (QStringList{requestID(1), requestID(2)}));
        QCOMPARE(model->operatorID(), std::optional<QUuid>(operatorUuid));
        QCOMPARE(model->selectedID(), std::optional<QString>(model->visibleItems().first().request.id));
        QVERIFY(items.count() >= 1);
    }

    // Whatever a listener hears first, the page it reads is complete: rows
    // with their operator, proposed next row and repaired selection.
    void listenersReadACompletePage_data()
    {
        QTest::addColumn<bool>("more");
        QTest::newRow("first page") << false;
        QTest::newRow("next page") << true;
    }
    void listenersReadACompletePage()
    {
        QFETCH(bool, more);
        if (more) {
            loaded({rowAt(1, 50)}, true);
            model->setSelectedID(std::nullopt);
            model->loadMore(editor);
        } else {
            model->refresh(editor);
        }
        QJsonObject next = set(rowAt(9, 55), "scheduling/canClaim", true);
        QStringList seen;
        const auto look = [&] {
            const bool selectedShown = model->selectedID() && model->selectedItem();
            seen << QStringLiteral("%1 %2 %3 %4")
                        .arg(model->operatorID().has_value())
                        .arg(model->nextItem().has_value())
                        .arg(selectedShown)
                        .arg(model->loading());
        };
        for (auto signal : {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::operatorIDChanged,
                            &SorvaneInboxModel::nextItemChanged, &SorvaneInboxModel::selectedIDChanged})
            connect(model, signal, model, look);
        fake->answerLast(page({rowAt(2, 40)}, false, next));
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.first(), QStringLiteral("1 1 1 1"));
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(9)));
    }

    void clearLeavesNoListenerHalfWay()
    {
        loaded({rowAt(1, 50)});
        model->refresh(editor);
        QStringList seen;
        connect(model, &SorvaneInboxModel::selectedIDChanged, model, [&] {
            seen << QStringLiteral("%1 %2").arg(model->loading()).arg(model->activeIdentity().has_value());
        });
        model->clear();
        QCOMPARE(seen, QStringList{QStringLiteral("0 0")});
    }

    void emptyFirstPageSelectsNothing()
    {
        loaded({});
        QVERIFY(model->items().isEmpty());
        QVERIFY(!model->selectedID());
        QVERIFY(!model->hasMore());
    }

    void refreshDropsTheEarlierAnswer()
    {
        model->refresh(editor);
        model->refresh(editor);
        QCOMPARE(fake->count(), 2);
        QVERIFY(fake->calls[0].token.isCancelled());
        fake->answer(0, page({rowAt(9, 30)}));
        QVERIFY(model->loading());
        QVERIFY(model->items().isEmpty());
        fake->answer(1, page({rowAt(1, 30)}));
        QVERIFY(!model->loading());
        QCOMPARE(ids(model->items()), QStringList{requestID(1)});
        QVERIFY(!model->error());
    }

    void signOutDuringLoadClears()
    {
        model->refresh(editor);
        editor.m_credentials.reset();
        fake->answerLast(page({rowAt(1, 30)}));
        QVERIFY(model->items().isEmpty());
        QVERIFY(!model->activeIdentity());
        QVERIFY(!model->loading());
        QVERIFY(!model->error());
    }

    void failedPagesKeepWhatWasLoaded()
    {
        model->refresh(editor);
        fake->failLast("Tool says no.");
        QCOMPARE(model->error(), std::optional<QString>("Tool says no."));
        QVERIFY(model->items().isEmpty());

        loaded({rowAt(1, 30)}, true);
        model->loadMore(editor);
        fake->failLast("Network gone.");
        QCOMPARE(model->error(), std::optional<QString>("Network gone."));
        QCOMPARE(ids(model->items()), QStringList{requestID(1)});
        QVERIFY(model->hasMore());
    }

    void nextPageOrder_data()
    {
        QTest::addColumn<QString>("submittedAt");
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("accepted");
        const QString cursorID = uuidFor(5, 1);
        QTest::newRow("earlier instant, larger id") << "2024-05-01T10:00:29Z" << uuidFor(0xfff, 1) << true;
        QTest::newRow("same instant, smaller id") << "2024-05-01T10:00:30Z" << uuidFor(4, 1) << true;
        QTest::newRow("same instant, same id in upper case") << "2024-05-01T10:00:30Z" << cursorID.toUpper() << false;
        QTest::newRow("same instant, larger id") << "2024-05-01T10:00:30Z" << uuidFor(6, 1) << false;
        QTest::newRow("same instant in another zone, smaller id") << "2024-05-01T11:00:30+01:00" << uuidFor(4, 1) << true;
        QTest::newRow("a quarter second later") << "2024-05-01T10:00:30.250Z" << uuidFor(4, 1) << false;
        QTest::newRow("repeats a loaded task") << "2024-05-01T10:00:10Z" << uuidFor(7, 1).toUpper() << false;
    }
    void nextPageOrder()
    {
        QFETCH(QString, submittedAt);
        QFETCH(QString, id);
        QFETCH(bool, accepted);
        QJsonObject first = set(rowAt(7, 40), "request/id", uuidFor(7, 1));
        QJsonObject cursorRow = set(rowAt(5, 30), "request/id", uuidFor(5, 1));
        loaded({first, cursorRow}, true);
        model->loadMore(editor);
        const auto sent = std::get<BridgeCommand::ServiceInbox>(fake->last().command.payload());
        QCOMPARE(sent.expectedOperatorID, std::optional<QUuid>(operatorUuid));
        QCOMPARE(sent.cursor->id, QUuid::fromString(uuidFor(5, 1)));
        QJsonObject next = set(rowAt(8, 0), "request/id", id);
        next = set(next, "request/submitted_at", submittedAt);
        fake->answerLast(page({next}));
        QCOMPARE(model->items().size(), accepted ? 3 : 2);
        QCOMPARE(model->error().has_value(), !accepted);
        if (!accepted)
            QCOMPARE(*model->error(), QStringLiteral("The inbox changed while loading. Refresh it."));
    }

    void loadMoreStartsOnlyWhenAllowed()
    {
        loaded({rowAt(1, 30)});
        model->loadMore(editor); // no cursor
        QCOMPARE(fake->count(), 1);
        loaded({rowAt(1, 30)}, true);
        model->loadMore(editor);
        model->loadMore(editor); // one is running
        QCOMPARE(fake->count(), 3);
    }

    void pendingClaimIsReadWithEveryPage_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("present");
        QTest::newRow("upper case") << "7D0F1B2A-3C4D-4E5F-8A9B-0C1D2E3F4A5B" << true;
        QTest::newRow("lower case") << "7d0f1b2a-3c4d-4e5f-8a9b-0c1d2e3f4a5b" << true;
        QTest::newRow("not a UUID") << "claim" << false;
    }
    void pendingClaimIsReadWithEveryPage()
    {
        QFETCH(QString, stored);
        QFETCH(bool, present);
        store.setValue(SorvanePendingClaim::key(*model->identity(editor), operatorUuid), stored);
        loaded({rowAt(1, 30)});
        QCOMPARE(model->hasPendingClaim(), present);
    }

    void preferencesKeepAVisibleSelection_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("withNext");
        QTest::addColumn<QString>("expected");
        QTest::newRow("still visible") << "Film 2" << false << requestID(2);
        QTest::newRow("hidden, moves to the pinned next row") << "Film 1" << true << requestID(9);
        QTest::newRow("hidden, moves to the top row") << "Film 1" << false << requestID(1);
        QTest::newRow("nothing visible") << "absent" << false << QString();
    }
    void preferencesKeepAVisibleSelection()
    {
        QFETCH(QString, query);
        QFETCH(bool, withNext);
        QFETCH(QString, expected);
        model->refresh(editor);
        QJsonObject next = rowAt(9, 50, "waiting");
        next = set(next, "scheduling/canClaim", true);
        next = set(next, "film/title", "Film 1 next");
        fake->answerLast(page({rowAt(1, 30), rowAt(2, 20)}, false, withNext ? std::optional(next) : std::nullopt));
        model->setSelectedID(requestID(2));
        SorvaneInboxPreferences p = model->preferences();
        p.query = query;
        model->setPreferences(p);
        QCOMPARE(model->selectedID().value_or(QString()), expected);
        QVERIFY(store.contains(SorvaneInboxPreferences::settingsKey));
    }

    void samePreferencesStoreAgainWithoutNotice()
    {
        QSignalSpy changed(model, &SorvaneInboxModel::preferencesChanged);
        model->setPreferences(model->preferences());
        QCOMPARE(changed.count(), 0);
        QVERIFY(store.contains(SorvaneInboxPreferences::settingsKey));
    }

    void pinnedNextRowShownOnce()
    {
        model->refresh(editor);
        QJsonObject next = set(rowAt(1, 30), "scheduling/canClaim", true);
        fake->answerLast(page({rowAt(1, 30), rowAt(2, 20)}, false, next));
        QCOMPARE(model->visibleItems().size(), 2);
        QVERIFY(model->pinnedNextItem());
        int grouped = 0;
        for (const auto &g : model->groups())
            grouped += int(g.items.size());
        QCOMPARE(grouped, 1);
        SorvaneInboxPreferences p = model->preferences();
        p.query = "Film 2";
        model->setPreferences(p);
        QVERIFY(!model->pinnedNextItem());
    }

    void reselectingKeepsThePipeline()
    {
        loaded({rowAt(1, 30)});
        model->loadPipeline(model->items().first(), editor, false);
        fake->answerLast(bytes(managedPipeline({1})));
        const QUuid token = model->pipelineGeneration();
        model->setSelectedID(model->selectedID());
        QVERIFY(model->pipeline());
        QCOMPARE(model->pipelineGeneration(), token);
        model->setSelectedID(std::nullopt);
        QVERIFY(!model->pipeline());
        QVERIFY(model->pipelineGeneration() != token);
    }

    // A window that loads the customer's pipeline when the selection changes:
    // the model has finished its own reaction by the time it says so.
    void aReactionToTheNewSelectionIsKept_data()
    {
        QTest::addColumn<bool>("throughPreferences");
        QTest::newRow("a row picked") << false;
        QTest::newRow("the search hides the selected row") << true;
    }
    void aReactionToTheNewSelectionIsKept()
    {
        QFETCH(bool, throughPreferences);
        loaded({rowAt(1, 30), rowAt(2, 20)});
        model->setSelectedID(requestID(1));
        std::optional<QString> selectedWhenPreferencesChanged;
        connect(model, &SorvaneInboxModel::selectedIDChanged, model, [this] {
            if (const auto row = model->selectedItem())
                model->loadPipeline(*row, editor, false);
        });
        connect(model, &SorvaneInboxModel::preferencesChanged, model,
                [&] { selectedWhenPreferencesChanged = model->selectedID(); });
        const int before = fake->count();
        if (throughPreferences) {
            SorvaneInboxPreferences p = model->preferences();
            p.query = "Film 2";
            model->setPreferences(p);
            QCOMPARE(selectedWhenPreferencesChanged, std::optional<QString>(requestID(2)));
        } else {
            model->setSelectedID(requestID(2));
        }
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(2)));
        QCOMPARE(fake->count(), before + 1);
        QVERIFY(!fake->last().token.isCancelled());
        QVERIFY(model->pipelineLoading());
        fake->answerLast(bytes(managedPipeline({1})));
        QVERIFY(model->pipeline());
        QVERIFY(!model->pipelineLoading());
    }

    // ---- request selection ----

    void selectionOfALoadedRowRunsNoTool()
    {
        loaded({rowAt(1, 30), rowAt(2, 20, "approved")});
        SorvaneInboxPreferences p = model->preferences();
        p.query = "nothing";
        p.companyID = companyUuid;
        model->setPreferences(p);
        model->selectRequest(QUuid::fromString(requestID(2).toUpper()), editor);
        QCOMPARE(fake->count(), 1);
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(2)));
        QCOMPARE(model->preferences().filter, SorvaneInboxFilter::completed);
        QVERIFY(model->preferences().query.isEmpty());
        QVERIFY(!model->preferences().companyID);
        QVERIFY(!model->selectingRequest());
    }

    void selectionPagesUntilFound()
    {
        loaded({rowAt(1, 50)}, true);
        model->selectRequest(QUuid::fromString(requestID(3)), editor);
        QVERIFY(model->selectingRequest());
        fake->answerLast(page({rowAt(2, 40)}, true));
        fake->answerLast(page({rowAt(3, 30)}));
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(3)));
        QVERIFY(!model->selectingRequest());
        QVERIFY(!model->error());
    }

    // The rows on hand and at most 99 further pages are searched; the
    // hundredth page is loaded and kept, but not searched.
    void selectionGivesUpAtTheHundredthPage_data()
    {
        QTest::addColumn<int>("listedOnPage");
        QTest::addColumn<bool>("found");
        QTest::newRow("99th further page") << 99 << true;
        QTest::newRow("100th further page") << 100 << false;
    }
    void selectionGivesUpAtTheHundredthPage()
    {
        QFETCH(int, listedOnPage);
        QFETCH(bool, found);
        const auto older = [](int n) {
            const QDateTime at = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC).addSecs(-n);
            return set(row(n), "request/submitted_at", at.toString(Qt::ISODate));
        };
        loaded({older(1)}, true);
        model->selectRequest(QUuid::fromString(requestID(listedOnPage + 1)), editor);
        for (int n = 1; n <= listedOnPage; ++n) {
            QCOMPARE(fake->count(), n + 1);
            fake->answerLast(page({older(n + 1)}, true));
        }
        QVERIFY(!model->selectingRequest());
        QCOMPARE(fake->count(), listedOnPage + 1);
        QCOMPARE(model->items().size(), listedOnPage + 1);
        if (found) {
            QCOMPARE(model->selectedID(), std::optional<QString>(requestID(listedOnPage + 1)));
            QVERIFY(!model->error());
        } else {
            QCOMPARE(model->error(), std::optional<QString>("Could not find the film in the loaded inbox. Refresh and try again."));
        }
    }

    void selectionEndsWhenPagesRunOut()
    {
        loaded({rowAt(1, 50)});
        model->selectRequest(QUuid::fromString(requestID(3)), editor);
        QCOMPARE(fake->count(), 1);
        QCOMPARE(model->error(), std::optional<QString>("This task is no longer available to this account. Refresh the inbox."));
    }

    void refreshEndsTheWalkSilently()
    {
        loaded({rowAt(1, 50)}, true);
        model->selectRequest(QUuid::fromString(requestID(3)), editor);
        model->refresh(editor);
        QVERIFY(!model->selectingRequest());
        QVERIFY(fake->calls[1].token.isCancelled());
        fake->answerLast(page({rowAt(1, 50)}));
        QTRY_COMPARE(fake->pending(), 0);
        QVERIFY(!model->error());
        QVERIFY(!model->selectingRequest());
    }

    void claimReloadDuringTheWalkIsNoFailedSearch()
    {
        loaded({rowAt(1, 50)}, true);
        model->selectRequest(QUuid::fromString(requestID(3)), editor);
        const int walkPage = fake->count() - 1;
        model->claimNext(editor);
        fake->answerLast(claimed(claimedRow(1, 50)));
        const int reload = fake->count() - 1;
        // The walk's page went stale under the reload; it searched nothing.
        fake->answer(walkPage, page({rowAt(2, 40)}, true));
        fake->answer(reload, page({rowAt(1, 50)}, true));
        QTRY_VERIFY(!model->selectingRequest());
        QVERIFY(!model->error());
        QCOMPARE(fake->count(), reload + 1);
    }

    void selectionRefusedWhileBusy()
    {
        loaded({rowAt(1, 50)}, true);
        model->loadMore(editor);
        model->selectRequest(QUuid::fromString(requestID(3)), editor);
        QVERIFY(!model->selectingRequest());
    }

    // ---- pipeline ----

    void pipelineOnlyForTheSelectedCustomer_data()
    {
        QTest::addColumn<bool>("selectedLoading");
        QTest::addColumn<bool>("more");
        QTest::newRow("idle") << false << false;
        QTest::newRow("while the selected customer's loads") << true << false;
        QTest::newRow("next page while the selected customer's loads") << true << true;
    }
    void pipelineOnlyForTheSelectedCustomer()
    {
        QFETCH(bool, selectedLoading);
        QFETCH(bool, more);
        QJsonObject other = set(rowAt(2, 20), "company/id", uuidFor(1, 9));
        other = set(other, "request/company_id", uuidFor(1, 9));
        loaded({rowAt(1, 30), other});
        model->setSelectedID(requestID(1));
        if (selectedLoading)
            model->loadPipeline(model->items().at(0), editor, false);
        const int calls = fake->count();
        SorvaneInboxRow foreign = model->items().at(1);
        model->loadPipeline(foreign, editor, more);
        QCOMPARE(fake->count(), calls);
        QCOMPARE(model->pipelineLoading(), selectedLoading);
        if (selectedLoading) {
            // The selected customer's load goes on and lands.
            QVERIFY(!fake->last().token.isCancelled());
            fake->answerLast(bytes(managedPipeline({1})));
            QVERIFY(model->pipeline());
        }
    }

    void pipelineNextPage_data()
    {
        QTest::addColumn<QJsonObject>("next");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("continues") << managedPipeline({3}) << true;
        QTest::newRow("film equal to cursor") << managedPipeline({2}) << false;
        QTest::newRow("repeats a film") << managedPipeline({1}) << false;
        QTest::newRow("metadata access changed") << set(managedPipeline({3}), "company/metadataAccess", "granted") << false;
    }
    void pipelineNextPage()
    {
        QFETCH(QJsonObject, next);
        QFETCH(bool, accepted);
        loaded({rowAt(1, 30)});
        model->loadPipeline(model->items().first(), editor, false);
        fake->answerLast(bytes(managedPipeline({1, 2}, true)));
        QVERIFY(model->pipelineHasMore());
        model->loadPipeline(model->items().first(), editor, true);
        fake->answerLast(bytes(next));
        QVERIFY(!model->pipelineLoading());
        if (accepted) {
            QCOMPARE(model->pipeline()->films.size(), 3);
        } else {
            QVERIFY(!model->pipeline());
            QCOMPARE(model->pipelineError(), std::optional<QString>("The customer pipeline changed. Refresh it."));
        }
    }

    void pipelineFlagReleasedAcrossAnInboxReload()
    {
        loaded({rowAt(1, 30)});
        model->loadPipeline(model->items().first(), editor, false);
        const int pipelineCall = fake->count() - 1;
        model->refresh(editor); // empties the rows: the selected row is gone for a moment
        fake->answer(pipelineCall, bytes(managedPipeline({1})));
        QVERIFY(!model->pipeline());
        QVERIFY(!model->pipelineLoading());
    }

    void selectingAnotherRowDropsThePipelineAnswer()
    {
        loaded({rowAt(1, 30), rowAt(2, 20)});
        model->setSelectedID(requestID(1));
        model->loadPipeline(model->items().first(), editor, false);
        model->setSelectedID(requestID(2));
        QTRY_COMPARE(fake->pending(), 0);
        QVERIFY(!model->pipeline());
        QVERIFY(!model->pipelineError());
        QVERIFY(!model->pipelineLoading());
    }

    // ---- claim-next and start ----

    void claimRepeatsTheCommandIDAfterAFailure()
    {
        loaded({rowAt(1, 30)});
        model->claimNext(editor);
        const QUuid first = std::get<BridgeCommand::ServiceClaimNext>(fake->last().command.payload()).commandID;
        model->claimNext(editor); // refused while one runs
        QCOMPARE(fake->count(), 2);
        fake->failLast("Timed out.");
        QCOMPARE(model->mutationError(), std::optional<QString>("Timed out."));
        QCOMPARE(model->pendingClaimID(), std::optional<QUuid>(first));

        // A restart: a new model over the same settings sends the same id.
        delete model;
        model = new SorvaneInboxModel(fake->bridge(), store);
        loaded({rowAt(1, 30)});
        QCOMPARE(model->pendingClaimID(), std::optional<QUuid>(first));
        model->claimNext(editor);
        QCOMPARE(std::get<BridgeCommand::ServiceClaimNext>(fake->last().command.payload()).commandID, first);
        fake->answerLast(claimed(claimedRow(4, 10)));
        QVERIFY(!model->pendingClaimID());
        QVERIFY(!store.contains(SorvanePendingClaim::key(*model->identity(editor), operatorUuid)));
    }

    void claimedRowSelectedAfterTheReload()
    {
        loaded({rowAt(1, 30), rowAt(2, 20)});
        SorvaneInboxPreferences p = model->preferences();
        p.query = "Film 2";
        p.filter = SorvaneInboxFilter::customer;
        p.companyID = companyUuid;
        model->setPreferences(p);
        model->claimNext(editor);
        QList<std::optional<QString>> selectedWhenRowsChanged;
        connect(model, &SorvaneInboxModel::itemsChanged, model,
                [&] { selectedWhenRowsChanged << model->selectedID(); });
        fake->answerLast(claimed(claimedRow(4, 10)));
        QVERIFY(model->mutating());
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(4)));
        // The claimed row is already selected when the rows are said to change.
        QVERIFY(!selectedWhenRowsChanged.isEmpty());
        QCOMPARE(selectedWhenRowsChanged.first(), std::optional<QString>(requestID(4)));
        fake->answerLast(page({rowAt(1, 30), rowAt(2, 20)}, true));
        QVERIFY(!model->mutating());
        QCOMPARE(ids(model->items()), (QStringList{requestID(1), requestID(2), requestID(4)}));
        QCOMPARE(model->selectedID(), std::optional<QString>(requestID(4)));
        QCOMPARE(model->preferences().filter, SorvaneInboxFilter::all);
        QVERIFY(model->preferences().query.isEmpty());
        QVERIFY(!model->preferences().companyID);
        QVERIFY(model->lastMutationItem());
    }

    void claimWithoutATaskClearsTheRecord()
    {
        loaded({rowAt(1, 30)});
        model->claimNext(editor);
        QJsonObject none = mutationResult();
        none["item"] = QJsonValue::Null;
        fake->answerLast(bytes(none));
        QVERIFY(!model->pendingClaimID());
        QVERIFY(!model->lastMutationItem());
        fake->answerLast(page({rowAt(1, 30)}));
        QVERIFY(!model->mutationError());
        QVERIFY(!model->mutating());
    }

    void signOutDuringClaimKeepsTheRecord()
    {
        loaded({rowAt(1, 30)});
        model->claimNext(editor);
        editor.m_credentials = QUrl("tavlon-session://second");
        fake->answerLast(claimed(claimedRow(4, 10)));
        QVERIFY(model->items().isEmpty());
        QVERIFY(!model->mutating());
        QVERIFY(!model->mutationError());
        editor.m_credentials = QUrl("tavlon-session://first");
        QVERIFY(store.contains(SorvanePendingClaim::key(*model->identity(editor), operatorUuid)));
    }

    void startAnswerMustNameTheStartedTask_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("started") << "scheduling/startedAt" << QJsonValue("2024-05-01T12:00:00Z") << true;
        QTest::newRow("no start time") << "scheduling/startedAt" << QJsonValue(QJsonValue::Null) << false;
        QTest::newRow("another round") << "scheduling/round" << QJsonValue(2) << false;
    }
    void startAnswerMustNameTheStartedTask()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        QFETCH(bool, accepted);
        loaded({claimedRow(1, 30)});
        const SorvaneInboxRow row = model->items().first();
        QVERIFY(row.canStart(operatorUuid));
        model->start(row, editor);
        QCOMPARE(fake->count(), 2);
        QJsonObject answer = set(claimedRow(1, 30), "scheduling/startedAt", "2024-05-01T12:00:00Z");
        answer = set(answer, path, value);
        fake->answerLast(claimed(answer));
        if (accepted) {
            QVERIFY(model->mutating()); // the first page reloads
            QVERIFY(model->lastMutationItem()->scheduling.startedAt);
            QCOMPARE(model->selectedID(), std::optional<QString>(requestID(1)));
        } else {
            QVERIFY(!model->mutating());
            QCOMPARE(model->mutationError(), std::optional<QString>("Could not verify the updated task. Refresh it."));
            QVERIFY(!model->items().first().scheduling.startedAt);
        }
    }

    // ---- consent ----

    void consentNeverStuck_data()
    {
        QTest::addColumn<bool>("reloadInbox");
        QTest::newRow("new pipeline request") << false;
        QTest::newRow("first-page inbox reload") << true;
    }
    void consentNeverStuck()
    {
        QFETCH(bool, reloadInbox);
        loaded({rowAt(1, 30)});
        const SorvaneInboxRow row = model->items().first();
        model->loadPipeline(row, editor, false);
        fake->answerLast(bytes(managedPipeline({1})));
        model->metadata(row, editor, std::nullopt);
        QVERIFY(model->metadataLoading());
        model->metadata(row, editor, std::nullopt); // refused while one runs
        const int consentCall = fake->count() - 1;
        QCOMPARE(fake->count(), 3);
        if (reloadInbox)
            model->refresh(editor);
        else
            model->loadPipeline(row, editor, false);
        fake->answer(consentCall, bytes(metadataSettings()));
        QVERIFY(!model->metadataSettings());
        QVERIFY(!model->metadataLoading());
    }

    void savedConsentReloadsThePipeline()
    {
        loaded({rowAt(1, 30)});
        const SorvaneInboxRow row = model->items().first();
        model->loadPipeline(row, editor, false);
        fake->answerLast(bytes(managedPipeline({1})));
        model->metadata(row, editor, SorvaneInboxModel::MetadataUpdate{0, true, QStringLiteral(" Ida ")});
        const auto sent = std::get<BridgeCommand::ServiceMetadataConsent>(fake->last().command.payload());
        QCOMPARE(sent.contactName, std::optional<QString>(" Ida "));
        fake->answerLast(bytes(metadataSettings()));
        QVERIFY(model->metadataSettings());
        QVERIFY(!model->metadataLoading());
        QVERIFY(!model->pipeline());
        QVERIFY(model->pipelineLoading());
        QCOMPARE(fake->last().command.kind(), BridgeCommand::Kind::servicePipeline);
    }

    void consentOnlyForManagedCustomers_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("read") << false;
        QTest::newRow("save") << true;
    }
    void consentOnlyForManagedCustomers()
    {
        QFETCH(bool, save);
        loaded({rowAt(1, 30)});
        const SorvaneInboxRow row = model->items().first();
        model->loadPipeline(row, editor, false);
        fake->answerLast(bytes(pipelinePage(1)));
        model->metadata(row, editor,
                        save ? std::optional(SorvaneInboxModel::MetadataUpdate{0, true, std::nullopt}) : std::nullopt);
        QVERIFY(!model->metadataLoading());
        QCOMPARE(fake->count(), 2);
    }

    void failedConsentSaveKeepsTheSettingsRead()
    {
        loaded({rowAt(1, 30)});
        const SorvaneInboxRow row = model->items().first();
        model->loadPipeline(row, editor, false);
        fake->answerLast(bytes(managedPipeline({1})));
        model->metadata(row, editor, std::nullopt);
        fake->answerLast(bytes(metadataSettings()));
        const auto read = model->metadataSettings();
        QVERIFY(read);
        model->metadata(row, editor, SorvaneInboxModel::MetadataUpdate{read->revision, !read->allowPipeline, std::nullopt});
        const auto sent = std::get<BridgeCommand::ServiceMetadataConsent>(fake->last().command.payload());
        QVERIFY(!sent.contactName);
        const int calls = fake->count();
        fake->failLast("Consent refused.");
        QCOMPARE(model->metadataError(), std::optional<QString>("Consent refused."));
        QCOMPARE(model->metadataSettings()->allowPipeline, read->allowPipeline);
        QVERIFY(!model->metadataLoading());
        // No pipeline reload after a failed save.
        QCOMPARE(fake->count(), calls);
        QVERIFY(model->pipeline());
    }

    // ---- teardown and the list ----

    void teardownCancelsAndLateAnswersAreHarmless()
    {
        loaded({rowAt(1, 30)}, true);
        model->loadPipeline(model->items().first(), editor, false);
        model->claimNext(editor);
        const int calls = fake->count();
        delete model;
        model = nullptr;
        for (int i = 1; i < calls; ++i)
            QVERIFY(fake->calls[i].token.isCancelled());
        fake->answer(calls - 1, claimed(claimedRow(4, 10)));
        QTest::qWait(0);
        model = new SorvaneInboxModel(fake->bridge(), store);
    }

    void teardownEndsAPageLoadStartedWithAnotherToken()
    {
        model->load(editor, false);
        QCOMPARE(fake->count(), 1);
        delete model;
        model = nullptr;
        QVERIFY(fake->last().token.isCancelled());
        QTest::qWait(0);
        QCOMPARE(fake->pending(), 0);
        model = new SorvaneInboxModel(fake->bridge(), store);
    }

    void listModelFollowsTheVisibleRows()
    {
        SorvaneInboxListModel list(model);
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        loaded({rowAt(1, 30), rowAt(2, 20)});
        QCOMPARE(list.rowCount(), 2);
        SorvaneInboxPreferences p = model->preferences();
        p.query = "Film 2";
        model->setPreferences(p);
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(list.data(list.index(0), SorvaneInboxListModel::RequestIDRole).toString(), requestID(2));
        QVERIFY(list.data(list.index(0), SorvaneInboxListModel::SelectedRole).toBool());

        // A new selection tells of the rows it changes, one by one: a notice
        // over all rows would have a view measure every one of them.
        p.query.clear();
        model->setPreferences(p);
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        model->setSelectedID(requestID(1));
        QCOMPARE(changed.size(), 2);
        for (const QList<QVariant> &notice : std::as_const(changed))
            QCOMPARE(notice.at(0).toModelIndex(), notice.at(1).toModelIndex());
        for (int i = 0; i < list.rowCount(); ++i)
            QCOMPARE(list.data(list.index(i), SorvaneInboxListModel::SelectedRole).toBool(),
                     list.data(list.index(i), SorvaneInboxListModel::RequestIDRole).toString() == requestID(1));
    }
};

QTEST_GUILESS_MAIN(TestSorvaneInboxModel)
#include "tst_sorvaneinboxmodel.moc"
