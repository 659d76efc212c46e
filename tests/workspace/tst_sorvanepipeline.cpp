// The customer pipeline panel, its metadata-sharing sheet and the window
// relayout, over real inbox and workspace models whose tool runs the test answers.
#include "inboxfixtures.h"
#include "inboxmodelfakes.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvanepipeline.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ui/sorvanemetadatasheet.h"
#include "workspace/ui/sorvanepipelineview.h"
#include "workspace/ui/sorvaneticketdetail.h"
#include "workspace/ui/sorvaneworkspaceview.h"
#include "workspace/ui/sorvanewindowlayout.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>
#include <QtTest/qtestspontaneevent.h>

using namespace InboxFixtures;

namespace {

const QString otherCompany = QStringLiteral("7b2e3d4c-5f60-4b8c-9dae-1f2a3b4c5d6e");

QJsonObject film(int n, const QJsonValue &status, const QJsonValue &stage, bool request = true)
{
    QJsonObject f = pipelineFilm(n);
    f["serviceStatus"] = status;
    f["stage"] = stage;
    if (!request) {
        // A film without a task has no service status either.
        f["requestID"] = QJsonValue::Null;
        f["serviceStatus"] = QJsonValue::Null;
    }
    return f;
}

QByteArray pipeline(const QJsonArray &films, bool manage = true, bool more = false)
{
    QJsonObject page = pipelinePage(0);
    page["films"] = films;
    page["company"] = set(page["company"].toObject(), "canManageMetadata", manage);
    if (more)
        page["nextCursor"] = films.last().toObject().value("id");
    return bytes(page);
}

QByteArray settings(qint64 revision, bool allow, const QJsonValue &contact)
{
    QJsonObject s = metadataSettings();
    s["revision"] = revision;
    s["allowPipeline"] = allow;
    s["contactName"] = contact;
    return bytes(s);
}

// The wheel turned over `widget` as the window system delivers it: a
// spontaneous event, handed on to the widgets around it until one takes it.
void turnWheel(QWidget *widget, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(widget->width() / 2, widget->height() / 2);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QCoreApplication::instance()->notify(widget, &event);
}

// An editor operation that runs until the test answers its tool run.
QCoro::Task<void> heldOperation(HeldBridge *bridge, CancellationToken token)
{
    co_await bridge->bridge()(BridgeCommand::serviceMetadataSettings(QUrl(), QUuid(), QUuid()), QString(), token);
}

struct Setup
{
    MemorySettingsStore store;
    HeldBridge bridge;
    QSharedPointer<EditorModel> editor;
    std::unique_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<ServiceQueueModel> queue;
    std::unique_ptr<SorvaneInboxModel> inbox;
    std::unique_ptr<SorvaneWorkspace> workspace;
    // The window, and the ticket detail in it that holds the panel.
    QWidget window;
    QWidget detail{&window};
    std::unique_ptr<SorvanePipelineView> view;

    Setup()
    {
        editor = EditorModel::create(std::make_shared<ProjectLocationStore>(store, QStringLiteral("p.")), {},
                                     bridge.bridge());
        adapter = std::make_unique<EditorServiceAdapter>(editor);
        queue = std::make_unique<ServiceQueueModel>(bridge.bridge(), false);
        inbox = std::make_unique<SorvaneInboxModel>(bridge.bridge(), store);
        workspace = std::make_unique<SorvaneWorkspace>(
            SorvaneWorkspace::Parts{editor.data(), adapter.get(), queue.get(), inbox.get(), &store, nullptr});
        editor->accountChanged(QUrl(QStringLiteral("tavlon-session://one")));
        QJsonObject page = inboxPage(2);
        QJsonArray items = page["items"].toArray();
        items[1] = set(set(items[1].toObject(), "company/id", otherCompany), "request/company_id", otherCompany);
        page["items"] = items;
        inbox->refresh(*adapter);
        bridge.answerLast(bytes(page));
        QTRY_VERIFY(!inbox->loading());
        QVERIFY2(!inbox->error(), qPrintable(inbox->error().value_or(QString())));
        QCOMPARE(inbox->items().size(), 2);
        view = std::make_unique<SorvanePipelineView>(*workspace, &detail);
        view->followSelection();
    }
    ~Setup()
    {
        view.reset();
        workspace.reset();
        inbox.reset();
    }
    // Selects the row; the workspace asks for its customer's pipeline.
    void open(int row, const QByteArray &answer)
    {
        if (inbox->selectedID() == uuidFor(row, 1))
            inbox->loadPipeline(*inbox->selectedItem(), *adapter, false);
        else
            inbox->setSelectedID(uuidFor(row, 1));
        QVERIFY(inbox->pipelineLoading());
        bridge.answerLast(answer);
        QVERIFY(!inbox->pipelineLoading());
        QVERIFY2(!inbox->pipelineError(), qPrintable(inbox->pipelineError().value_or(QString())));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    template<class T>
    QList<T *> all(const QString &name) const
    {
        return view->findChildren<T *>(name);
    }
    QWidget *column(const QString &stage) const { return view->findChild<QWidget *>("sorvane.pipeline." + stage); }
    SorvaneMetadataSheet *openSheet()
    {
        view->findChild<QPushButton *>("sorvane.pipeline.share")->click();
        return view->sheet();
    }
};

} // namespace

class TestSorvanePipeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void placesFilms_data()
    {
        QTest::addColumn<QJsonValue>("status");
        QTest::addColumn<QJsonValue>("stage");
        QTest::addColumn<QString>("column");
        const QJsonValue none = QJsonValue::Null;
        QTest::newRow("status review beats stage delivery") << QJsonValue("review") << QJsonValue("delivery") << "review";
        QTest::newRow("cancelled falls back to the stage") << QJsonValue("cancelled") << QJsonValue("production") << "post";
        QTest::newRow("waiting") << QJsonValue("waiting") << QJsonValue("idea") << "post";
        QTest::newRow("changes requested") << QJsonValue("changes_requested") << none << "post";
        QTest::newRow("approved") << QJsonValue("approved") << QJsonValue("script") << "delivery";
        QTest::newRow("brief") << none << QJsonValue("brief") << "development";
        QTest::newRow("recording") << none << QJsonValue("recording") << "recording";
        QTest::newRow("a stage name is no stage word") << none << QJsonValue("development") << "";
        QTest::newRow("post is no stage word") << none << QJsonValue("post") << "";
        QTest::newRow("case counts") << QJsonValue("Review") << QJsonValue("Idea") << "";
        QTest::newRow("nothing") << none << none << "";
    }
    void placesFilms()
    {
        QFETCH(QJsonValue, status);
        QFETCH(QJsonValue, stage);
        QFETCH(QString, column);
        const auto placed = SorvanePipeline::column(SorvanePipelineFilm::fromJson(
            JsonObjectReader(film(1, status, stage))));
        QCOMPARE(placed ? SorvanePipelineStages::rawValue(*placed) : QString(), column);
    }

    // Counts, listed films, the toggle and the unplaced line of a loaded page.
    void showsColumns_data()
    {
        QTest::addColumn<int>("postFilms");
        QTest::addColumn<int>("unplaced");
        QTest::addColumn<bool>("withRequests");
        QTest::addColumn<bool>("pressToggle");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("toggle");
        QTest::newRow("four films, no toggle") << 4 << 0 << true << false << 4 << "";
        QTest::newRow("five films list four") << 5 << 0 << true << false << 4 << "Show all films";
        QTest::newRow("five films expanded") << 5 << 0 << true << true << 5 << "Show fewer films";
        QTest::newRow("unplaced films are counted") << 6 << 2 << false << false << 4 << "Show all films";
    }
    void showsColumns()
    {
        QFETCH(int, postFilms);
        QFETCH(int, unplaced);
        QFETCH(bool, withRequests);
        QFETCH(bool, pressToggle);
        QFETCH(int, listed);
        QFETCH(QString, toggle);
        Setup s;
        QJsonArray films;
        for (int i = 0; i < postFilms; ++i)
            films.append(film(i + 1, "active", withRequests ? "idea" : "production", withRequests));
        films.append(film(50, "review", "delivery"));
        for (int i = 0; i < unplaced; ++i)
            films.append(film(60 + i, QJsonValue::Null, "development", false));
        s.open(1, pipeline(films));

        QWidget *post = s.column("post");
        QVERIFY(post);
        if (pressToggle) {
            post->findChild<QToolButton *>("sorvane.pipeline.toggle")->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            post = s.column("post");
        }
        QCOMPARE(post->findChild<QLabel *>("sorvane.pipeline.count")->text(), QString::number(postFilms));
        const auto buttons = post->findChildren<SorvanePipelineFilmButton *>();
        const auto titles = post->findChildren<QLabel *>("sorvane.pipeline.filmTitle");
        QCOMPARE(int(buttons.size() + titles.size()), listed);
        QCOMPARE(int(buttons.size()), withRequests ? listed : 0);
        if (withRequests)
            QCOMPARE(buttons.first()->text(), QStringLiteral("Pipeline 1"));
        auto *toggleButton = post->findChild<QToolButton *>("sorvane.pipeline.toggle");
        QCOMPARE(toggleButton ? toggleButton->text() : QString(), toggle);
        QCOMPARE(s.column("review")->findChild<QLabel *>("sorvane.pipeline.count")->text(), QStringLiteral("1"));
        QCOMPARE(s.column("delivery")->findChild<QLabel *>("sorvane.pipeline.count")->text(), QStringLiteral("0"));
        auto *line = s.view->findChild<QLabel *>("sorvane.pipeline.unplaced");
        QCOMPARE(line ? line->text() : QString(),
                 unplaced ? QStringLiteral("%1 films have no confirmed phase").arg(unplaced) : QString());
        QVERIFY(s.view->findChild<QLabel *>("sorvane.pipeline.limited"));
    }

    // The state block, the share entry, the error line and paging.
    void followsTheModel_data()
    {
        QTest::addColumn<bool>("otherRow");
        QTest::addColumn<bool>("more");
        QTest::addColumn<bool>("manage");
        QTest::addColumn<QString>("state");
        QTest::newRow("own page without cursor") << false << false << true << "loaded";
        QTest::newRow("own page with cursor") << false << true << false << "loaded";
        QTest::newRow("another company's page, loading") << true << true << true << "loading";
        QTest::newRow("another company's page") << true << false << false << "unavailable";
    }
    void followsTheModel()
    {
        QFETCH(bool, otherRow);
        QFETCH(bool, more);
        QFETCH(bool, manage);
        QFETCH(QString, state);
        Setup s;
        s.open(1, pipeline({film(1, "active", "idea"), film(2, "active", "idea")}, manage, more));
        if (otherRow)
            s.view->setItem(s.inbox->items().at(1));
        if (more) {
            // A page follows the held one; the model keeps it while it loads.
            s.inbox->loadPipeline(s.inbox->items().at(0), *s.adapter, true);
            QVERIFY(s.inbox->pipelineLoading());
            QCOMPARE(std::get<BridgeCommand::ServicePipeline>(s.bridge.last().command.payload()).afterFilmID,
                     QUuid::fromString(uuidFor(2, 5)));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool loaded = s.view->findChild<QWidget *>("sorvane.pipeline.stages") != nullptr;
        const bool loading = s.view->findChild<QProgressBar *>() != nullptr;
        const auto *text = s.view->findChild<QLabel *>("sorvane.pipeline.state");
        QCOMPARE(loaded ? "loaded" : loading ? "loading" : text ? "unavailable" : "none", state);
        if (!loaded && !loading)
            QCOMPARE(text->text(), QStringLiteral("Customer pipeline is not available yet."));
        auto *loadMore = s.view->findChild<QPushButton *>("sorvane.pipeline.more");
        QCOMPARE(loadMore != nullptr, loaded && more);
        if (loadMore)
            QVERIFY(!loadMore->isEnabled());
        // The share entry follows the held page alone.
        QCOMPARE(!s.view->findChild<QPushButton *>("sorvane.pipeline.share")->isHidden(), manage);

        // A failure shows under whichever state stands.
        if (more)
            s.bridge.failLast(QStringLiteral("The service is away."));
        else {
            s.inbox->loadPipeline(s.inbox->items().at(0), *s.adapter, false);
            s.bridge.failLast(QStringLiteral("The service is away."));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto *error = s.view->findChild<QLabel *>("sorvane.pipeline.error");
        QVERIFY(!error->isHidden());
        QVERIFY(error->text().endsWith(QStringLiteral("The service is away.")));
        // The model drops what it held on any failure.
        QVERIFY(!s.view->findChild<QWidget *>("sorvane.pipeline.stages"));
    }

    void filmButtonsSelectTheirTask()
    {
        Setup s;
        QJsonObject known = film(1, "active", "idea");
        known["requestID"] = uuidFor(2, 1);
        s.open(1, pipeline({known}));
        auto *button = s.view->findChild<SorvanePipelineFilmButton *>();
        QVERIFY(button->isEnabled());
        s.editor->perform(QStringLiteral("Working"),
                          [bridge = &s.bridge](CancellationToken token) { return heldOperation(bridge, token); });
        QVERIFY(s.editor->busy());
        QVERIFY(!button->isEnabled());
        s.bridge.answerLast({});
        QTRY_VERIFY(!s.editor->busy());
        QVERIFY(button->isEnabled());
        button->click();
        QCOMPARE(s.inbox->selectedID(), std::optional<QString>(uuidFor(2, 1)));
        QCOMPARE(s.view->item()->request.id, uuidFor(2, 1));
    }

    // In the window's detail column the five stages are wider than the column:
    // the strip shows its horizontal scroll bar and scrolls to each stage,
    // which then shows across its whole width inside every widget around it.
    void stripScrollsToTheLastStage_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("layout");
        QTest::newRow("default size, table") << QSize(1180, 800) << "list";
        QTest::newRow("default size, list") << QSize(1180, 800) << "inbox";
        QTest::newRow("smallest size, table") << QSize(940, 660) << "list";
    }
    void stripScrollsToTheLastStage()
    {
        QFETCH(QSize, size);
        QFETCH(QString, layout);
        Setup s;
        s.workspace->setLayout(layout);
        const auto detail = [&s](QWidget *parent) -> QWidget * {
            SorvaneTicketDetail::Embeds embeds;
            embeds.taskScreen = [](bool, std::function<void()>, QWidget *parent) -> QWidget * { return new QLabel(parent); };
            embeds.pipeline = [&s](QWidget *parent) -> QWidget * {
                auto *pipeline = new SorvanePipelineView(*s.workspace, parent);
                pipeline->followSelection();
                return pipeline;
            };
            return new SorvaneTicketDetail(*s.workspace, embeds, {}, parent);
        };
        SorvaneWorkspaceView window(*s.workspace, detail);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        s.open(1, pipeline({film(1, "active", "idea"), film(2, "review", "delivery"), film(3, "approved", "idea"),
                            film(4, QJsonValue::Null, "recording", false), film(5, "cancelled", "brief")}));
        QCoreApplication::processEvents();
        auto *panel = window.findChild<SorvanePipelineView *>();
        QVERIFY(panel && panel->isVisible());
        auto *strip = panel->findChild<QScrollArea *>("sorvane.pipeline.stages");
        QVERIFY(strip && strip->isVisible());
        QVERIFY(strip->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
        QTRY_VERIFY(strip->horizontalScrollBar()->isVisible());
        QVERIFY(strip->horizontalScrollBar()->maximum() > 0);

        // The column's title, count and films, within the column itself and
        // every widget around it; across only, as the detail scrolls up and
        // down by itself. Asked again while the detail settles (its own
        // scroll bar may come and narrow the strip).
        const auto reaches = [&](const char *stage) {
            QWidget *shown = panel->findChild<QWidget *>(QStringLiteral("sorvane.pipeline.") + QLatin1String(stage));
            strip->ensureWidgetVisible(shown, 0, 0);
            const QRect content = shown->childrenRect();
            const int left = shown->mapTo(&window, content.topLeft()).x(), right = left + content.width();
            int shownLeft = 0, shownRight = window.width();
            for (QWidget *around = shown; around != &window; around = around->parentWidget()) {
                const int x = around->mapTo(&window, QPoint(0, 0)).x();
                shownLeft = qMax(shownLeft, x);
                shownRight = qMin(shownRight, x + around->width());
            }
            return shownLeft <= left && right <= shownRight;
        };
        for (const char *stage : {"delivery", "development", "delivery"})
            QTRY_VERIFY2(reaches(stage), stage);

        // Over the strip or its bar, the wheel turned down moves the page and
        // not the strip; turned sideways, or down with Shift, it moves the
        // strip one step to the right and not the page. (The panel's own body
        // scrolls up and down in a short column: it stands at its end.)
        auto *page = window.findChild<QScrollArea *>("sorvane.ticket.scroll");
        QScrollBar *down = page->verticalScrollBar(), *across = strip->horizontalScrollBar();
        QScrollBar *body = panel->findChild<QScrollArea *>("sorvane.pipeline.body")->verticalScrollBar();
        page->widget()->setMinimumHeight(2 * page->height()); // a ticket the page scrolls through
        QTRY_VERIFY(down->maximum() > 0);
        const int step = down->singleStep() * QApplication::wheelScrollLines();
        const int sideStep = across->singleStep() * QApplication::wheelScrollLines();
        struct Turn { QPoint angle; Qt::KeyboardModifiers modifiers; bool sideways; };
        for (QWidget *over : {panel->findChild<QWidget *>("sorvane.pipeline.post"), static_cast<QWidget *>(across)})
            for (const Turn turn : {Turn{{0, -120}, Qt::NoModifier, false}, Turn{{-120, 0}, Qt::NoModifier, true},
                                    Turn{{0, -120}, Qt::ShiftModifier, true}, Turn{{-120, 0}, Qt::ShiftModifier, true}}) {
                down->setValue(0);
                across->setValue(0);
                body->setValue(body->maximum());
                turnWheel(over, turn.angle, turn.modifiers);
                const QByteArray what = over->metaObject()->className() + QByteArray(" ")
                                      + QByteArray::number(turn.angle.x()) + "," + QByteArray::number(turn.angle.y())
                                      + (turn.modifiers ? " shift" : "");
                QVERIFY2(down->value() == (turn.sideways ? 0 : step), what);
                QVERIFY2(across->value() == (turn.sideways ? sideStep : 0), what);
            }
    }

    // The contact name limit, trimming and the save path of the sheet.
    void savesSharing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QJsonValue>("sent");
        const QString pair = QString::fromUcs4(U"\U0001F3AC");
        QTest::newRow("200 units fit") << QString(200, u'a') << true << QJsonValue(QString(200, u'a'));
        QTest::newRow("201 units do not") << QString(201, u'a') << false << QJsonValue();
        QTest::newRow("a surrogate pair counts two") << QString(199, u'a') + pair << false << QJsonValue();
        QTest::newRow("198 and a pair fit") << QString(198, u'a') + pair << true << QJsonValue(QString(198, u'a') + pair);
        QTest::newRow("trailing spaces count") << QString(199, u'a') + QStringLiteral("  ") << false << QJsonValue();
        QTest::newRow("trimmed before saving") << QStringLiteral("  Ida Holm \n") << true << QJsonValue("Ida Holm");
        QTest::newRow("white space only is none") << QStringLiteral(" \n\t ") << true << QJsonValue(QJsonValue::Null);
    }
    void savesSharing()
    {
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        QFETCH(QJsonValue, sent);
        Setup s;
        s.open(1, pipeline({film(1, "active", "idea")}));
        SorvaneMetadataSheet *sheet = s.openSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        auto *save = sheet->findChild<QPushButton *>("sorvane.metadata.save");
        auto *contact = sheet->findChild<QLineEdit *>("sorvane.metadata.contactName");
        auto *allow = sheet->findChild<QCheckBox *>("sorvane.metadata.allowPipeline");
        QVERIFY(std::holds_alternative<BridgeCommand::ServiceMetadataSettings>(s.bridge.last().command.payload()));
        QVERIFY(!save->isEnabled());
        // The field is named by a label, not only by a placeholder that a name hides.
        auto *contactLabel = sheet->findChild<QLabel *>("sorvane.metadata.contactLabel");
        QVERIFY(contactLabel && contactLabel->isVisibleTo(sheet));
        QCOMPARE(contactLabel->buddy(), contact);
        QCOMPARE(contactLabel->text(), QStringLiteral("Shared contact name (optional)"));
        auto *saved = sheet->findChild<QLabel *>("sorvane.metadata.saved");
        QVERIFY(saved && !saved->isVisibleTo(sheet));
        // The detail is disabled while other work runs; the sheet and its "Luk" are not.
        s.detail.setEnabled(false);
        QVERIFY(sheet->findChild<QPushButton *>("sorvane.metadata.close")->isEnabled());
        s.bridge.answerLast(settings(4, false, "Mette"));
        QCOMPARE(contact->text(), QStringLiteral("Mette"));
        QVERIFY(save->isEnabled());

        allow->click();
        contact->setText(typed);
        QCOMPARE(save->isEnabled(), enabled);
        const int calls = s.bridge.count();
        save->click();
        if (!enabled) {
            QCOMPARE(s.bridge.count(), calls);
            return;
        }
        const auto consent = std::get<BridgeCommand::ServiceMetadataConsent>(s.bridge.last().command.payload());
        QCOMPARE(consent.revision, 4);
        QVERIFY(consent.allowPipeline);
        QCOMPARE(consent.contactName ? QJsonValue(*consent.contactName) : QJsonValue(QJsonValue::Null), sent);
        QVERIFY(!save->isEnabled());

        // Stored: the fields read as stored, the sheet stays, the pipeline reloads.
        QVERIFY(!saved->isVisibleTo(sheet));
        s.bridge.answerLast(settings(5, true, sent));
        QVERIFY(sheet->isVisible());
        QCOMPARE(contact->text(), sent.toString());
        QVERIFY(allow->isChecked());
        // The sheet stays open, so it says that the save went through, until the next edit.
        QVERIFY(saved->isVisibleTo(sheet));
        QVERIFY(saved->text().endsWith(QStringLiteral("Sharing settings saved")));
        QVERIFY(std::holds_alternative<BridgeCommand::ServicePipeline>(s.bridge.last().command.payload()));
        QVERIFY(s.inbox->pipelineLoading());
        QTest::keyClick(contact, Qt::Key_X);
        QVERIFY(!saved->isVisibleTo(sheet));
        QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(!sheet->isVisible());
    }

    // Which held settings fill the sheet's fields: steps "A3" (this customer,
    // revision 3), "B3" (another customer), "none", "edit" (the person types).
    void syncsOnlyItsCustomer_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("contact");
        QTest::newRow("another customer's settings") << QStringList{"B3"} << false << "";
        QTest::newRow("same revision after another customer's") << QStringList{"B3", "A3"} << true << "A3";
        QTest::newRow("this customer's after none") << QStringList{"none", "A0"} << true << "A0";
        QTest::newRow("an unchanged revision keeps edits") << QStringList{"A3", "edit", "A3"} << true << "typed";
        QTest::newRow("a new revision refills") << QStringList{"A3", "edit", "A4"} << true << "A4";
        QTest::newRow("another customer's keeps edits") << QStringList{"A3", "edit", "B4"} << true << "typed";
    }
    void syncsOnlyItsCustomer()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, loaded);
        QFETCH(QString, contact);
        const QUuid a = QUuid::fromString(companyID), b = QUuid::fromString(otherCompany);
        SorvaneMetadataForm form(a);
        for (const QString &step : steps) {
            if (step == "edit") {
                form.contact = QStringLiteral("typed");
                continue;
            }
            std::optional<SorvaneMetadataSettings> held;
            if (step != "none")
                held = SorvaneMetadataSettings{2, step.startsWith(u'A') ? a : b, step.mid(1).toLongLong(), true, step};
            form.sync(held);
        }
        QCOMPARE(form.loaded(), loaded);
        QCOMPARE(form.contact, contact);
    }

    // Relayout requests: steps on a watched window, the relayouts that ran,
    // and whether one is still queued.
    void coalescesRelayout_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("relayouts");
        QTest::addColumn<bool>("pending");
        QTest::newRow("attach queues one") << QStringList{"resize", "resize"} << 0 << true;
        QTest::newRow("one relayout for a burst") << QStringList{"resize", "resize", "run"} << 1 << false;
        QTest::newRow("a changed rectangle") << QStringList{"run", "resize", "run"} << 2 << false;
        QTest::newRow("an unchanged rectangle") << QStringList{"run", "same"} << 1 << false;
        QTest::newRow("first activation only") << QStringList{"run", "activate", "run", "activate", "run"} << 2 << false;
        QTest::newRow("another window re-arms")
            << QStringList{"run", "activate", "run", "move", "run", "activate", "run"} << 4 << false;
        QTest::newRow("moved while queued") << QStringList{"move", "run"} << 0 << false;
        QTest::newRow("removed while queued") << QStringList{"detach", "run"} << 0 << false;
        QTest::newRow("destroyed while queued") << QStringList{"destroy", "run"} << 0 << false;
    }
    void coalescesRelayout()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, relayouts);
        QFETCH(bool, pending);
        QWidget first, second;
        for (QWidget *window : {&first, &second}) {
            window->resize(300, 200);
            window->show();
        }
        QVERIFY(QTest::qWaitForWindowExposed(&first) && QTest::qWaitForWindowExposed(&second));
        QCoreApplication::processEvents();
        QPointer<SorvaneWindowLayout> observer = new SorvaneWindowLayout(&first);
        int ran = 0;
        connect(observer, &SorvaneWindowLayout::relaidOut, this, [&ran] { ++ran; });
        QVERIFY(observer->pending());
        int width = 300;
        for (const QString &step : steps) {
            if (step == "resize")
                observer->window()->resize(width += 10, 200);
            else if (step == "same")
                observer->window()->resize(observer->window()->size());
            else if (step == "activate") {
                QEvent activation(QEvent::WindowActivate);
                QCoreApplication::sendEvent(observer->window(), &activation);
            } else if (step == "move")
                observer->setParent(&second);
            else if (step == "detach")
                observer->setParent(nullptr);
            else if (step == "destroy")
                delete observer;
            else if (step == "run")
                QCoreApplication::processEvents();
        }
        QCOMPARE(ran, relayouts);
        if (observer)
            QCOMPARE(observer->pending(), pending);
        delete observer;
    }
};

QTEST_MAIN(TestSorvanePipeline)
#include "tst_sorvanepipeline.moc"
