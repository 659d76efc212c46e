#include "foundation/units/datetimetext.h"
#include "inboxfixtures.h"
#include "inboxmodelfakes.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxlistmodel.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvanedate.h"
#include "workspace/sorvaneinboxrowcontent.h"
#include "workspace/sorvaneinboxtablemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ui/sorvaneinboxrowpainter.h"
#include "workspace/ui/sorvaneworkspaceview.h"
#include "profiles/ui/sorvaneavatarview.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QBuffer>
#include <QPainter>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QtTest>

using namespace InboxFixtures;

namespace {

QString requestID(int n) { return uuidFor(n, 1); }

QJsonObject claimedRow(int n)
{
    return set(set(row(n, "active"), "request/claimed_by", operatorID), "request/claimed_at", "2024-05-01T11:00:00Z");
}

QByteArray page(const QList<QJsonObject> &rows, const std::optional<QJsonObject> &next = std::nullopt,
                bool more = false)
{
    QJsonObject top = inboxPage(0);
    QJsonArray items;
    for (const QJsonObject &r : rows)
        items.append(r);
    top["items"] = items;
    if (next) {
        top["nextItem"] = *next;
        top["nextRequestID"] = next->value("request").toObject().value("id");
    }
    if (more) {
        const QJsonObject last = rows.constLast().value("request").toObject();
        top["nextCursor"] = QJsonObject{{"submitted_at", last.value("submitted_at")}, {"id", last.value("id")}};
    }
    return bytes(top);
}

class FakeProfiles final : public SorvaneWorkspaceProfiles
{
public:
    QList<QList<SorvaneInboxRow>> loads;
    std::optional<QString> error;
    QCoro::Task<void> loadParticipants(QList<SorvaneInboxRow> rows, std::optional<QUuid>, CancellationToken) override
    {
        loads.append(rows);
        co_return;
    }
    std::optional<SorvanePersonProfile> customer(const SorvaneInboxRow &) const override { return std::nullopt; }
    std::optional<QString> participantsError() const override { return error; }
};

// One workspace over real models whose tool runs the test answers.
struct Setup
{
    MemorySettingsStore store;
    HeldBridge bridge;
    QSharedPointer<EditorModel> editor;
    std::unique_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<ServiceQueueModel> queue;
    std::unique_ptr<SorvaneInboxModel> inbox;
    FakeProfiles profiles;
    QList<QString> opened;
    int settingsShown = 0;
    std::unique_ptr<SorvaneWorkspace> workspace;

    explicit Setup(bool demo = false, const std::optional<QString> &layout = std::nullopt)
    {
        if (layout)
            store.setValue(QStringLiteral("sorvane.inbox.layout"), *layout);
        editor = EditorModel::create(std::make_shared<ProjectLocationStore>(store, QStringLiteral("p.")), {},
                                     bridge.bridge());
        adapter = std::make_unique<EditorServiceAdapter>(editor);
        queue = std::make_unique<ServiceQueueModel>(bridge.bridge(), demo);
        inbox = std::make_unique<SorvaneInboxModel>(bridge.bridge(), store);
        SorvaneWorkspace::Parts parts{editor.data(), adapter.get(), queue.get(), inbox.get(), &store, &profiles};
        parts.showSettings = [this] { ++settingsShown; };
        parts.openSorvane = [this](const ServiceReceipt &receipt, const QUuid &) { opened.append(receipt.id); };
        workspace = std::make_unique<SorvaneWorkspace>(std::move(parts));
    }
    ~Setup()
    {
        workspace.reset();
        inbox.reset();
    }
    void signIn() { editor->accountChanged(QUrl(QStringLiteral("tavlon-session://one"))); }
    void load(const QList<QJsonObject> &rows, const std::optional<QJsonObject> &next = std::nullopt, bool more = false)
    {
        inbox->refresh(*adapter);
        bridge.answerLast(page(rows, next, more));
        QTRY_VERIFY(!inbox->loading());
        QVERIFY2(!inbox->error(), qPrintable(inbox->error().value_or(QString())));
    }
    void prefer(std::function<void(SorvaneInboxPreferences &)> change)
    {
        SorvaneInboxPreferences p = inbox->preferences();
        change(p);
        inbox->setPreferences(p);
    }
};

template<class T>
T *child(QWidget &root, const QString &name)
{
    T *found = root.findChild<T *>(name);
    if (!found)
        qWarning("no child %s", qPrintable(name));
    return found;
}

} // namespace

class TestSorvaneWorkspace : public QObject
{
    Q_OBJECT

    // The widths each watched widget was resized to, by object name.
    QMap<QString, QList<int>> m_widths;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_widths[watched->objectName()] << static_cast<QResizeEvent *>(event)->size().width();
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    }

    // ---- dates, deadlines and row lines ----

    void deadlines_data()
    {
        QTest::addColumn<QString>("due");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("30 s ahead") << "2026-03-04T09:15:30Z" << "en" << "Start within 1 min";
        QTest::newRow("30 s past") << "2026-03-04T09:14:30Z" << "en" << "Start target exceeded · 1 min";
        QTest::newRow("equal is not exceeded") << "2026-03-04T09:15:00.000Z" << "en" << "Start within 1 min";
        QTest::newRow("150 s ahead") << "2026-03-04T09:17:30Z" << "da" << "Start inden for 2 min";
        QTest::newRow("2 h past, other zone") << "2026-03-04T09:15:00+02:00" << "da" << "Startmål overskredet · 120 min";
        QTest::newRow("no timestamp") << "tomorrow" << "en" << "";
        QTest::newRow("bare date") << "2026-03-04" << "en" << "";
    }
    void deadlines()
    {
        QFETCH(QString, due);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        EditorLocalization::overrideLanguageForTesting(language);
        const auto deadline = SorvaneDeadline::at(due, QDateTime::fromString("2026-03-04T09:15:00Z", Qt::ISODate));
        QCOMPARE(deadline ? deadline->text() : QString(), expected);
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    }

    void dateTexts_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en") << "2026-03-04T09:15:00Z" << "en" << "3/4/26 9:15 AM";
        QTest::newRow("en, zero fraction") << "2026-03-04T09:15:00.000Z" << "en" << "3/4/26 9:15 AM";
        QTest::newRow("da, offset") << "2026-03-04T10:15:00+01:00" << "da" << "04.03.2026 09.15";
        QTest::newRow("a word") << "soon" << "da" << "soon";
    }
    void dateTexts()
    {
        QFETCH(QString, value);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        QCOMPARE(shortDateTimeText(value, language), expected);
    }

    void rowLines_data()
    {
        QTest::addColumn<QJsonObject>("row");
        QTest::addColumn<QStringList>("lines");
        const QString due = "2026-03-04T09:17:30Z";
        QJsonObject base = set(row(1), "scheduling/dueAt", due);
        QTest::newRow("waiting with a deadline")
            << base << QStringList{"24 h target", "Start by 3/4/26 9:17 AM", "Start within 2 min"};
        QTest::newRow("started wins over the deadline")
            << set(base, "scheduling/startedAt", "2026-03-04T08:00:00Z")
            << QStringList{"24 h target", "Editing started 3/4/26 8:00 AM"};
        QTest::newRow("approved shows no schedule")
            << set(set(base, "request/status", "approved"), "scheduling/blockedReason", "service_paused")
            << QStringList{};
        QTest::newRow("concept work has no target")
            << set(set(row(1), "request/kind", "conceptDevelopment"), "scheduling/blockedReason", "earlier_film")
            << QStringList{"An earlier film is waiting"};
        QTest::newRow("not waiting is no blocked line")
            << set(row(1), "scheduling/blockedReason", "not_waiting") << QStringList{"24 h target"};
    }
    void rowLines()
    {
        QFETCH(QJsonObject, row);
        QFETCH(QStringList, lines);
        const auto content = SorvaneInboxRowContent::make(SorvaneInboxRow::fromJson(JsonObjectReader(row)),
                                                          QDateTime::fromString("2026-03-04T09:15:00Z", Qt::ISODate));
        QStringList shown;
        for (const auto &line : {content.target, content.started, content.startBy})
            if (line)
                shown << *line;
        if (content.deadline)
            shown << content.deadline->text();
        if (content.blocked)
            shown << *content.blocked;
        QCOMPARE(shown, lines);
        QCOMPARE(SorvaneDate::blocked("not_waiting"), QStringLiteral("Waiting for production eligibility"));
    }

    // ---- the rows' avatars ----

    // A row draws its customer's avatar without a widget: the pixels are
    // those of the avatar view itself.
    void rowAvatars_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<bool>("photo");
        QTest::addColumn<QString>("contactName");
        QTest::newRow("company's initials") << false << "" << false << "";
        QTest::newRow("contact's initials, compact") << true << "" << false << "Bo Berg";
        QTest::newRow("profile name over contact") << false << "Åse Ørsted Nielsen" << false << "Bo Berg";
        QTest::newRow("photo") << false << "Åse Ørsted" << true << "";
        QTest::newRow("photo, compact") << true << "" << true << "Bo Berg";
    }
    void rowAvatars()
    {
        QFETCH(bool, compact);
        QFETCH(QString, displayName);
        QFETCH(bool, photo);
        QFETCH(QString, contactName);
        QJsonObject json = set(row(1), "company/name", "Nordlys Film");
        if (!contactName.isEmpty())
            json = set(json, "company/contactName", contactName);
        const SorvaneInboxRow task = SorvaneInboxRow::fromJson(JsonObjectReader(json));
        std::optional<SorvanePersonProfile> face;
        if (!displayName.isEmpty() || photo) {
            face = SorvanePersonProfile{};
            if (!displayName.isEmpty())
                face->displayName = displayName;
            if (photo) {
                // Wider than tall, so that it is scaled and cropped.
                QImage picture(48, 32, QImage::Format_RGB32);
                for (int y = 0; y < picture.height(); ++y)
                    for (int x = 0; x < picture.width(); ++x)
                        picture.setPixel(x, y, qRgb(x * 5, y * 7, 120));
                QByteArray jpeg;
                QBuffer buffer(&jpeg);
                buffer.open(QIODevice::WriteOnly);
                picture.save(&buffer, "JPEG");
                face->avatarJPEGBase64 = QString::fromLatin1(jpeg.toBase64());
            }
        }
        QImage background(320, 90, QImage::Format_ARGB32_Premultiplied);
        QPainter fill(&background);
        QLinearGradient gradient(0, 0, 320, 90);
        gradient.setColorAt(0, Qt::white);
        gradient.setColorAt(1, QColor(30, 60, 200));
        fill.fillRect(background.rect(), gradient);
        fill.end();

        const QFont font = QApplication::font();
        const QRect rect(5, 3, 300, 0);
        QImage drawn = background;
        QPainter painter(&drawn);
        SorvaneInboxRowPainter::paintCustomer(&painter, rect, task, face, compact, QApplication::palette(), font);
        painter.end();

        const int size = compact ? 28 : 36;
        const int height = SorvaneInboxRowPainter::customerHeight(task, face, compact, rect.width(), font);
        const QRect square(rect.left(), rect.top() + (height - size) / 2, size, size);
        SorvaneAvatarView view(face, task.company.contactName.value_or(task.company.name), size);
        QImage expected = background;
        QPainter reference(&expected);
        view.render(&reference, square.topLeft(), QRegion(), QWidget::DrawChildren);
        reference.end();
        QCOMPARE(drawn.copy(square), expected.copy(square));
    }

    // ---- the workspace's state ----

    void emptyStates_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<bool>("rows");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("customer");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("expected");
        const int none = int(SorvaneEmptyState::none), out = int(SorvaneEmptyState::signedOut),
                  filtered = int(SorvaneEmptyState::filtered), plain = int(SorvaneEmptyState::unfiltered);
        const int all = int(SorvaneInboxFilter::all), closed = int(SorvaneInboxFilter::completed);
        QTest::newRow("signed out, whatever is stored") << false << false << false << "x" << true << closed << out;
        QTest::newRow("a search of one space") << true << false << false << " " << false << all << filtered;
        QTest::newRow("a customer") << true << false << false << "" << true << all << filtered;
        QTest::newRow("a status filter") << true << false << false << "" << false << closed << filtered;
        QTest::newRow("nothing chosen") << true << false << false << "" << false << all << plain;
        QTest::newRow("loading shows the list") << true << true << false << "" << false << closed << none;
        QTest::newRow("rows") << true << false << true << "" << false << all << none;
    }
    void emptyStates()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, loading);
        QFETCH(bool, rows);
        QFETCH(QString, query);
        QFETCH(bool, customer);
        QFETCH(int, filter);
        QFETCH(int, expected);
        Setup s;
        s.signIn();
        if (rows)
            s.load({row(1), row(2)});
        else if (loading)
            s.inbox->refresh(*s.adapter);
        if (!signedIn)
            s.editor->accountChanged(QUrl());
        s.prefer([&](SorvaneInboxPreferences &p) {
            p.query = query;
            p.companyID = customer ? std::optional<QUuid>(QUuid::createUuid()) : std::nullopt;
            p.filter = SorvaneInboxFilter(filter);
        });
        QCOMPARE(int(s.workspace->emptyState()), expected);

        SorvaneWorkspaceView view(*s.workspace, {});
        auto *action = view.findChild<QPushButton *>("sorvane.clearFilters");
        QCOMPARE(action && action->isVisibleTo(&view), expected == int(SorvaneEmptyState::filtered));
        if (expected == int(SorvaneEmptyState::filtered)) {
            s.prefer([](SorvaneInboxPreferences &p) {
                p.sort = SorvaneInboxSort::title;
                p.group = SorvaneInboxGrouping::status;
            });
            action->click();
            const SorvaneInboxPreferences &p = s.inbox->preferences();
            QVERIFY(!p.companyID && p.query.isEmpty() && p.filter == SorvaneInboxFilter::all);
            QVERIFY(p.sort == SorvaneInboxSort::title && p.group == SorvaneInboxGrouping::status);
        }
        if (expected == int(SorvaneEmptyState::signedOut)) {
            child<QPushButton>(view, "sorvane.openSettings")->click();
            QCOMPARE(s.settingsShown, 1);
        }
    }

    void noticesInOrderWithOneError()
    {
        Setup s;
        s.signIn();
        QCOMPARE(s.workspace->notices(), QList<SorvaneNotice>{});
        s.editor->setError(QStringLiteral("editor failed"));
        s.editor->setMessage(QStringLiteral("done"));
        s.profiles.error = QStringLiteral("no photos");
        Q_EMIT s.profiles.participantsErrorChanged();
        s.inbox->claimNext(*s.adapter); // no operator yet: nothing is sent
        s.load({row(1)});
        s.inbox->claimNext(*s.adapter);
        s.bridge.failLast(QStringLiteral("claim failed"));
        QTRY_VERIFY(!s.inbox->mutating());
        using K = SorvaneNotice::Kind;
        const auto kinds = [&] {
            QList<std::pair<K, QString>> result;
            for (const SorvaneNotice &n : s.workspace->notices())
                result.append({n.kind, n.text});
            return result;
        };
        QCOMPARE(kinds(), (QList<std::pair<K, QString>>{{K::profiles, "no photos"},
                                                         {K::error, "claim failed"},
                                                         {K::retryClaim, "Retry the same claim"},
                                                         {K::message, "done"}}));
        // The retry is offered, and not usable while a claim runs.
        SorvaneWorkspaceView view(*s.workspace, {});
        auto *retry = child<QPushButton>(view, "sorvane.notice.retryClaim");
        QVERIFY(retry && retry->isEnabled());
        retry->click();
        QVERIFY(s.inbox->mutating());
        QVERIFY(!child<QPushButton>(view, "sorvane.notice.retryClaim")->isEnabled());
        s.bridge.failLast(QStringLiteral("claim failed again"));
        QTRY_VERIFY(!s.inbox->mutating());
        // An inbox error hides the claim's, which hides the editor's.
        s.inbox->refresh(*s.adapter);
        s.bridge.failLast(QStringLiteral("page failed"));
        QTRY_VERIFY(!s.inbox->loading());
        QCOMPARE(kinds().at(1), std::pair(K::error, QStringLiteral("page failed")));
    }

    // Banners come and go with operations: they float over the top of the
    // detail column, so the task's controls stay where they were.
    void noticesMoveNothing()
    {
        Setup s;
        s.signIn();
        s.load({row(1), row(2)});
        SorvaneWorkspaceView view(*s.workspace, {});
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *task = child<QWidget>(view, "sorvane.detail.task");
        QVERIFY(task && task->isVisible());
        const QRect before(task->mapTo(&view, QPoint(0, 0)), task->size());
        QWidget *column = child<QWidget>(view, "sorvane.detail");
        auto *notices = child<QWidget>(view, "sorvane.notices");
        // One banner covers nothing of the task (a message stays until the
        // next operation): the column keeps its place free.
        s.editor->setMessage(QStringLiteral("done"));
        QTRY_VERIFY(notices->isVisible() && notices->height() > 0);
        QCoreApplication::sendPostedEvents();
        QVERIFY(notices->geometry().bottom() < task->mapTo(column, QPoint(0, 0)).y());
        s.editor->setMessage(std::nullopt);
        s.editor->setError(QStringLiteral("editor failed"));
        QTRY_VERIFY(notices->isVisible() && notices->height() > 0);
        QCoreApplication::sendPostedEvents();
        QVERIFY(notices->geometry().bottom() < task->mapTo(column, QPoint(0, 0)).y());
        s.editor->setMessage(QStringLiteral("done"));
        QTRY_VERIFY(notices->isVisible() && notices->height() > 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(QRect(task->mapTo(&view, QPoint(0, 0)), task->size()), before);
        // Whole, across the column, at its top, over what is there.
        QCOMPARE(notices->geometry().topLeft(), QPoint(0, 0));
        QCOMPARE(notices->width(), column->width());
        QVERIFY(notices->height() >= notices->heightForWidth(notices->width()));
        QWidget *hit = column->childAt(notices->geometry().center());
        QVERIFY(hit == notices || notices->isAncestorOf(hit));
        s.editor->setError(std::nullopt);
        s.editor->setMessage(std::nullopt);
        QTRY_VERIFY(!notices->isVisible());
        QCOMPARE(QRect(task->mapTo(&view, QPoint(0, 0)), task->size()), before);
    }

    // ---- the window's controls ----

    void sidebarAndRefresh()
    {
        Setup s;
        SorvaneWorkspaceView view(*s.workspace, {});
        QVERIFY(!view.refreshAction()->isEnabled());
        QCOMPARE(child<QLabel>(view, "sorvane.customers.note")->text(),
                 QStringLiteral("Sign in from Settings to see your customers."));
        s.signIn();
        QVERIFY(view.refreshAction()->isEnabled());
        QCOMPARE(child<QLabel>(view, "sorvane.customers.note")->text(), QStringLiteral("No assigned customers loaded yet."));

        // A company known only from a row gets its own row, by its lower-case id.
        const QString company = "A1B2C3D4-0000-4000-8000-00000000000F";
        s.load({set(set(row(1), "company/id", company), "request/company_id", company), row(2)});
        auto *customer = child<QAbstractButton>(view, "sorvane.customer." + company.toLower());
        QVERIFY(customer);
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *search = child<QLineEdit>(view, "sorvane.search");
        const QPoint searchAt = search->mapTo(&view, QPoint(0, 0));
        customer->click();
        QCOMPARE(s.inbox->preferences().companyID, QUuid::fromString(company));
        // The chosen customer's line shows above the search field, which stays
        // where it was: a click aimed at it does not land a line above.
        QVERIFY(child<QLabel>(view, "sorvane.filter.customer")->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(search->mapTo(&view, QPoint(0, 0)), searchAt);
        // Every filter row draws its symbol (the workspace's own symbols included).
        for (const char *raw : {"all", "mine", "customer", "blocked", "completed"}) {
            auto *row = child<QWidget>(view, QStringLiteral("sorvane.filter.") + QLatin1String(raw));
            QVERIFY2(row, raw);
            row->resize(200, 44);
            const QImage image = row->grab().toImage();
            const QRgb background = image.pixel(120, 4);
            bool drawn = false;
            for (int y = 12; y < 32 && !drawn; ++y)
                for (int x = 11; x < 27 && !drawn; ++x)
                    drawn = image.pixel(x, y) != background;
            QVERIFY2(drawn, raw);
        }
        auto *filter = child<QAbstractButton>(view, "sorvane.filter.completed");
        QCOMPARE(filter->toolTip(), QStringLiteral("Approved or cancelled tasks. Approval does not mean publication."));
        filter->click();
        QCOMPARE(s.inbox->preferences().filter, SorvaneInboxFilter::completed);
        QCOMPARE(s.inbox->preferences().companyID, QUuid::fromString(company));

        // While a claim runs the list and the inbox column are disabled, the settings row is not.
        s.inbox->claimNext(*s.adapter);
        QVERIFY(s.inbox->mutating());
        QVERIFY(!filter->isEnabled());
        QVERIFY(!child<QWidget>(view, "sorvane.sort")->isEnabled());
        QVERIFY(!child<QWidget>(view, "sorvane.group")->isEnabled());
        auto *settings = child<QAbstractButton>(view, "sorvane.settings");
        QVERIFY(settings->isEnabled());
        settings->click();
        QCOMPARE(s.settingsShown, 1);
        QVERIFY(view.refreshAction()->isEnabled());
        s.inbox->refresh(*s.adapter);
        QVERIFY(!view.refreshAction()->isEnabled());
    }

    void layoutChoice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("table");
        QTest::newRow("nothing stored") << QString() << false;
        QTest::newRow("table") << "list" << true;
        QTest::newRow("unknown") << "grid" << false;
    }
    void layoutChoice()
    {
        QFETCH(QString, stored);
        QFETCH(bool, table);
        Setup s(false, stored.isNull() ? std::nullopt : std::optional<QString>(stored));
        s.signIn();
        s.load({row(1), row(2)});
        SorvaneWorkspaceView view(*s.workspace, {});
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(child<QTreeView>(view, "sorvane.table")->isVisible(), table);
        QCOMPARE(child<QTreeView>(view, "sorvane.inbox")->isVisible(), !table);
        QCOMPARE(view.splitter()->sizes().at(1), table ? 450 : 340);
        // The picker writes the stored choice.
        child<QAbstractButton>(view, table ? "sorvane.layout.inbox" : "sorvane.layout.list")->click();
        QCOMPARE(s.store.value("sorvane.inbox.layout").toString(), table ? QStringLiteral("inbox") : QStringLiteral("list"));
        QCOMPARE(child<QTreeView>(view, "sorvane.table")->isVisible(), !table);
    }

    void columnsKeepTheirFirstWidths_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("content");
        QTest::addColumn<bool>("inWindow");
        QTest::newRow("default size, list") << QSize(1180, 800) << false << 340 << false;
        QTest::newRow("default size, table") << QSize(1180, 800) << true << 450 << false;
        QTest::newRow("smallest size, list") << QSize(940, 660) << false << 340 << false;
        QTest::newRow("smallest size, table") << QSize(940, 660) << true << 359 << false;
        // As the application shows it: the window is laid out after the view
        // is polished (which puts the columns into the splitter) at another size.
        QTest::newRow("in a window, default size") << QSize(1180, 800) << false << 340 << true;
        QTest::newRow("in a window, smallest size, table") << QSize(940, 660) << true << 359 << true;
    }
    // The columns are laid out once on the way to the first paint, at the
    // widths they keep: no column is drawn at one width and then another.
    void columnsKeepTheirFirstWidths()
    {
        QFETCH(QSize, size);
        QFETCH(bool, table);
        QFETCH(int, content);
        QFETCH(bool, inWindow);
        Setup s(false, table ? std::optional<QString>(QStringLiteral("list")) : std::nullopt);
        s.signIn();
        s.load({row(1), row(2)});
        QMainWindow window;
        auto *view = new SorvaneWorkspaceView(*s.workspace, {});
        if (inWindow)
            window.setCentralWidget(view);
        QWidget *shown = inWindow ? static_cast<QWidget *>(&window) : view;
        const std::unique_ptr<QWidget> alone(inWindow ? nullptr : view);
        shown->resize(size);
        m_widths.clear();
        const QStringList columns{"shell.sidebar", "sorvane.content", "sorvane.detail"};
        for (const QString &name : columns)
            child<QWidget>(*view, name)->installEventFilter(this);
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QCOMPARE(child<QWidget>(*view, "sorvane.content")->width(), content);
        for (const QString &name : columns)
            QCOMPARE(m_widths.value(name), QList<int>{child<QWidget>(*view, name)->width()});
    }

    void searchField_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("elsewhere");
        QTest::addColumn<bool>("backDuring");
        QTest::newRow("nothing stored, a search typed") << "" << "film" << "film" << false << false;
        QTest::newRow("the stored search is shown") << "Kampagne" << "" << "Kampagne" << false << false;
        QTest::newRow("typed after the stored search") << "Kamp" << "agne" << "Kampagne" << false << false;
        // The person works in another window (or a sheet) while the claim
        // runs, and comes back after it or while it still runs.
        QTest::newRow("the window not active meanwhile") << "" << "film" << "film" << true << false;
        QTest::newRow("back to the window while disabled") << "" << "film" << "film" << true << true;
    }
    // The search field is made when the column is first shown: it shows the
    // stored search, keyboard focus reaches it between the layout picker and
    // the sort menu, what is typed or stored elsewhere reaches both ways, and
    // it keeps the keyboard across a time the column is disabled.
    void searchField()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, query);
        QFETCH(bool, elsewhere);
        QFETCH(bool, backDuring);
        Setup s;
        s.signIn();
        s.load({row(1), row(2)});
        s.prefer([&](SorvaneInboxPreferences &p) { p.query = stored; });
        SorvaneWorkspaceView view(*s.workspace, {});
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *search = child<QLineEdit>(view, "sorvane.search");
        QVERIFY(search && search->isVisible());
        QCOMPARE(search->text(), stored);
        const auto nextTabStop = [](QWidget *from) {
            QWidget *next = from->nextInFocusChain();
            while (next != from && !((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled()))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextTabStop(child<QWidget>(view, "sorvane.layout.list")), search);
        QCOMPARE(nextTabStop(search), child<QWidget>(view, "sorvane.sort"));
        search->setCursorPosition(search->text().size());
        QTest::keyClicks(search, typed);
        QCOMPARE(s.inbox->preferences().query, query);
        s.prefer([](SorvaneInboxPreferences &p) { p.query = QStringLiteral("elsewhere"); });
        QCOMPARE(search->text(), QStringLiteral("elsewhere"));

        // A claim holds the column while it runs, but not its search field:
        // the field keeps the keyboard, and every key typed reaches it (keys
        // go to whatever has the keyboard), before, during and after the claim.
        s.prefer([](SorvaneInboxPreferences &p) { p.query.clear(); });
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        search->setFocus();
        QVERIFY(search->hasFocus());
        QTest::keyClicks(nullptr, QStringLiteral("Med"));
        QWidget other;
        if (elsewhere) {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }
        s.inbox->claimNext(*s.adapter);
        QVERIFY(s.inbox->mutating());
        QVERIFY(search->isEnabled());
        QVERIFY(!child<QWidget>(view, "sorvane.sort")->isEnabled());
        QVERIFY(!child<QWidget>(view, "sorvane.layout.list")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), elsewhere ? nullptr : search);
        if (backDuring) {
            // The window gives the keyboard back to where it left it.
            view.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&view));
            QCOMPARE(QApplication::focusWidget(), search);
        }
        const bool typedDuring = !elsewhere || backDuring;
        if (typedDuring)
            QTest::keyClicks(nullptr, QStringLiteral("arb"));
        s.bridge.failLast(QStringLiteral("claim failed"));
        QTRY_VERIFY(!s.inbox->mutating());
        QVERIFY(search->isEnabled());
        QVERIFY(child<QWidget>(view, "sorvane.sort")->isEnabled());
        if (elsewhere && !backDuring) {
            view.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&view));
        }
        QVERIFY(search->hasFocus());
        QTest::keyClicks(nullptr, QStringLiteral("ejder"));
        const QString whole = typedDuring ? QStringLiteral("Medarbejder") : QStringLiteral("Medejder");
        QCOMPARE(search->text(), whole);
        QCOMPARE(s.inbox->preferences().query, whole);

        // A control other than the search loses the keyboard while the
        // column is held (a typed space must not press the next control in
        // the chain): the view holds it and gives it back afterwards.
        QWidget *sort = child<QWidget>(view, "sorvane.sort");
        sort->setFocus();
        QVERIFY(sort->hasFocus());
        s.inbox->claimNext(*s.adapter);
        QVERIFY(s.inbox->mutating());
        QCOMPARE(QApplication::focusWidget(), &view);
        s.bridge.failLast(QStringLiteral("claim failed"));
        QTRY_VERIFY(!s.inbox->mutating());
        QVERIFY(sort->hasFocus());
    }

    // The next task is listed once, pinned, and only above the table there.
    void pinnedTaskAppearsOnce()
    {
        Setup s;
        s.signIn();
        s.prefer([](SorvaneInboxPreferences &p) { p.group = SorvaneInboxGrouping::status; });
        s.load({row(1), claimedRow(2), row(3)}, claimedRow(2), true);
        SorvaneInboxListModel list(s.inbox.get());
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList shown;
        for (int i = 0; i < list.rowCount(); ++i)
            shown << list.index(i).data(list.isHeader(i) ? int(Qt::DisplayRole) : int(SorvaneInboxListModel::IdentifierRole)).toString();
        QCOMPARE(shown, (QStringList{"Next in production", "sorvane.task." + requestID(2), "Waiting",
                                     "sorvane.task." + requestID(1), "sorvane.task." + requestID(3)}));
        SorvaneInboxTableModel table(s.inbox.get());
        QAbstractItemModelTester tableTester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.index(0, 0).data(SorvaneInboxTableModel::GroupTitleRole).toString(), QStringLiteral("Waiting"));
        QVERIFY(!table.index(1, 0).data(SorvaneInboxTableModel::GroupTitleRole).isValid());
        QCOMPARE(table.index(0, 1).data().toString(), QStringLiteral("\u2014"));

        SorvaneWorkspaceView view(*s.workspace, {});
        QVERIFY(child<QPushButton>(view, "sorvane.more")->isEnabled());
        s.workspace->setLayout("list");
        child<QAbstractButton>(view, "sorvane.table.next")->click();
        QCOMPARE(s.inbox->selectedID(), requestID(2));
    }

    // A table row is as tall as its lines at its column's width: a title
    // that wraps in a narrower column gets its second line, not the next row's place.
    void tableRowsFollowTheColumnWidth()
    {
        Setup s(false, QStringLiteral("list"));
        s.signIn();
        SorvaneWorkspaceView view(*s.workspace, {});
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *table = child<QTreeView>(view, "sorvane.table");
        QHeaderView *header = table->header();
        header->resizeSection(1, 100);
        const int wide = header->sectionSize(0) - 12;
        const int narrow = wide - 100;
        QFont font = table->font();
        font.setWeight(QFont::DemiBold);
        const QFontMetrics metrics(font);
        // A title that takes one line at the wide width and two at the narrow one.
        QString title = QStringLiteral("Mød");
        while (metrics.horizontalAdvance(title) < (wide + narrow) / 2)
            title += QStringLiteral(" tandlægerne");
        QVERIFY(metrics.horizontalAdvance(title) < wide && metrics.horizontalAdvance(title) > narrow);
        s.load({set(row(1), "request/title", title), row(2)});
        const auto height = [&] {
            QCoreApplication::processEvents();
            return table->visualRect(table->model()->index(0, 0)).height();
        };
        QTRY_VERIFY(height() > 0);
        const int oneLine = height();
        header->resizeSection(1, header->sectionSize(1) + 100);
        QCOMPARE(header->sectionSize(0) - 12, narrow);
        QTRY_COMPARE(height(), oneLine + metrics.lineSpacing());
        header->resizeSection(1, 100);
        QTRY_COMPARE(height(), oneLine);
    }

    // ---- reactions ----

    void selectionFollowsBothWays()
    {
        Setup s;
        s.signIn();
        s.load({row(1), row(2)});
        QCOMPARE(s.opened, QStringList{requestID(1)});
        SorvaneWorkspaceView view(*s.workspace, {});
        auto *list = child<QTreeView>(view, "sorvane.inbox");
        QCOMPARE(list->currentIndex().data(SorvaneInboxListModel::RequestIDRole).toString(), requestID(1));
        list->setCurrentIndex(list->model()->index(1, 0));
        QCOMPARE(s.inbox->selectedID(), requestID(2));
        QCOMPARE(s.opened, (QStringList{requestID(1), requestID(2)}));
        s.inbox->setSelectedID(requestID(1));
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(s.opened.size(), 3);

        // A new revision of the selected row opens it again.
        s.load({set(row(1), "request/revision", 4), row(2)});
        QCOMPARE(s.opened.size(), 4);

        // The opened task moving past the row's revision reloads the inbox, once.
        const int calls = s.bridge.count();
        ServiceDetail detail;
        // Not past the row, or past it on another task: nothing is reloaded.
        detail.request = s.inbox->selectedItem()->request;
        s.queue->openedTask().setDetail(detail);
        detail.request = s.inbox->items().at(1).request;
        detail.request.revision = 9;
        s.queue->openedTask().setDetail(detail);
        QCOMPARE(s.bridge.count(), calls);
        detail.request = s.inbox->selectedItem()->request;
        detail.request.revision = 5;
        s.queue->openedTask().setDetail(detail);
        QCOMPARE(s.bridge.count(), calls + 1);
        QVERIFY(s.inbox->loading());
        detail.request.revision = 6;
        s.queue->openedTask().setDetail(detail);
        QCOMPARE(s.bridge.count(), calls + 1);
    }

    // A click on the row cut off at the bottom of the view: the row drawn as
    // selected is the one clicked, the ticket's. The view scrolled while the
    // press still selected by its place, and drew the next row.
    void clickedRowIsTheSelectedRow_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addRow("list") << QStringLiteral("inbox");
        QTest::addRow("table") << QStringLiteral("list");
    }
    void clickedRowIsTheSelectedRow()
    {
        QFETCH(QString, layout);
        Setup s(false, layout);
        s.signIn();
        // Taller rows first: a view that scrolls per row counts how many fit
        // from the end of the list, so a row cut off at the bottom can count as shown.
        QList<QJsonObject> rows;
        for (int n = 1; n <= 12; ++n)
            rows << (n <= 6 ? set(row(n), "request/title", QStringLiteral("Film %1 ").arg(n).repeated(24)) : row(n));
        const bool table = layout == "list";
        s.load(rows, table ? std::optional(row(13, "waiting", true)) : std::nullopt); // the table pins it above
        SorvaneWorkspaceView view(*s.workspace, {});
        view.resize(1180, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *list = child<QTreeView>(view, layout == "list" ? "sorvane.table" : "sorvane.inbox");
        const auto rect = [&](int at) { return list->visualRect(list->model()->index(at, 0)); };
        int cut = 0;
        while (rect(cut).bottom() < list->viewport()->height())
            ++cut;
        const QRect clicked = rect(cut); // the view made to end halfway down it
        view.resize(view.width(), view.height() + clicked.center().y() - list->viewport()->height());
        QTRY_COMPARE(list->viewport()->height(), clicked.center().y());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, {clicked.center().x(), clicked.center().y() - 4});
        const auto agree = [&](int at) { // the ticket's task, the rows drawn as selected, the current row
            QCOMPARE(s.inbox->selectedID(), s.inbox->items().at(at).request.id);
            QCOMPARE(list->selectionModel()->selectedRows(), QModelIndexList{list->model()->index(at, 0)});
            QCOMPARE(list->currentIndex().row(), at);
        };
        agree(cut);
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY(rect(cut).bottom() < list->viewport()->height()); // wholly in sight after the click
        agree(cut);
        // As drawn: that row on the selected background, the one above on a plain one.
        QImage drawn = list->viewport()->grab().toImage();
        QPalette colours = list->palette();
        colours.setCurrentColorGroup(list->isActiveWindow() ? QPalette::Active : QPalette::Inactive);
        const auto plain = [&](int at) {
            return colours.color(list->alternatingRowColors() && at % 2 ? QPalette::AlternateBase : QPalette::Base);
        };
        const auto ground = [&](int at) { return drawn.pixelColor(rect(at).left() + 5, rect(at).center().y()); };
        const QList<QColor> around = table ? QList{plain(0), plain(1)} : QList<QColor>{}; // the table's two colours
        QCOMPARE(ground(cut), SorvaneInboxRowPainter::selectedBackground(colours, plain(cut), around));
        QCOMPARE(ground(cut - 1), plain(cut - 1));
        QTest::keyClick(list, Qt::Key_Down);
        agree(cut + 1);
        // A click below the last row leaves the ticket's row selected, and drawn so.
        s.load({rows.at(cut + 1)}, table ? std::optional(row(13, "waiting", true)) : std::nullopt);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, {rect(0).center().x(), rect(0).bottom() + 20});
        agree(0);
        drawn = list->viewport()->grab().toImage();
        QCOMPARE(ground(0), SorvaneInboxRowPainter::selectedBackground(colours, plain(0), around));
        if (!table)
            return;
        // The pinned task holding the keyboard is not drawn as a second selected row.
        auto *pinned = child<QAbstractButton>(view, "sorvane.table.next");
        pinned->setFocus();
        QTRY_VERIFY(pinned->hasFocus());
        QCOMPARE(pinned->grab().toImage().pixelColor(pinned->width() / 2, 4), pinned->palette().color(QPalette::Window));
    }

    void participantsFollowTheirKey()
    {
        Setup s;
        s.signIn();
        s.load({claimedRow(1), row(2)}, row(3, "waiting", true));
        const QString key = s.workspace->profileRequestKey();
        QCOMPARE(key.split('\n'), (QStringList{"tavlon-session://one", s.editor->repository(), operatorID.toUpper(),
                                               "2024-05-03T09:00:00Z",
                                               requestID(1) + ":0:" + operatorID + "," + requestID(2) + ":0:,"
                                                   + requestID(3) + ":0:",
                                               "0"}));
        s.workspace->appear();
        QTRY_COMPARE(s.profiles.loads.size(), 1);
        QCOMPARE(s.profiles.loads.last().size(), 3);
        s.workspace->retryProfiles();
        QTRY_COMPARE(s.profiles.loads.size(), 2);
        s.workspace->retryProfiles();
        QTRY_COMPARE(s.profiles.loads.size(), 3);
        QVERIFY(s.workspace->profileRequestKey().endsWith("\n2"));

        Setup demo(true);
        demo.signIn();
        demo.load({row(1)});
        demo.workspace->appear();
        demo.workspace->retryProfiles();
        QTest::qWait(10);
        QCOMPARE(demo.profiles.loads.size(), 0);
    }
};

QTEST_MAIN(TestSorvaneWorkspace)
#include "tst_sorvaneworkspace.moc"
