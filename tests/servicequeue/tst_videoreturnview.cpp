// The video return box, its draft preview and the project copies list,
// offscreen over the real model with a fake editor, tool runner, player,
// file choosers and desktop.
#include <QtTest>

#include "editor/desktopservices.h"
#include "fakemediaplayer.h"
#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "servicequeue/ui/sorvanevideoplayer.h"
#include "servicequeue/ui/videos/nativeprojectversionsview.h"
#include "servicequeue/ui/videos/servicevideoreturnview.h"
#include "servicequeue/ui/videos/videochoosers.h"
#include "servicequeue/ui/videos/videoreviewpreviewview.h"
#include "videofixtures.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace VideoFixtures;

namespace {

class FakeMovies : public VideoFileChooser
{
public:
    std::optional<QUrl> answer;
    void chooseMovie(QWidget *, Done done) override { done(answer); }
};

class FakeProjects : public ProjectChooser
{
public:
    QString message;
    void chooseProject(QWidget *, const QString &text, Done done) override
    {
        message = text;
        done(QUrl::fromLocalFile("/film/Sommer.drp"));
    }
};

class FakeDesktop : public DesktopServices
{
public:
    QStringList revealed;
    void revealFolder(const QString &path) override { revealed << path; }
    void openFile(const QString &) override {}
};

// Every text the person can see in `root`, labels and buttons alike.
QStringList visibleTexts(QWidget *root)
{
    QStringList texts;
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        const bool text = qobject_cast<QLabel *>(widget) || qobject_cast<UiKit::LongWordLabel *>(widget);
        if (text && widget->isVisibleTo(root) && !widget->property("text").toString().isEmpty())
            texts << widget->property("text").toString();
    }
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>())
        if (button->isVisibleTo(root))
            texts << button->text();
    return texts;
}

VideoReviewPreview previewWith(const QString &id, bool video)
{
    QJsonObject json = previewJson(id);
    if (!video)
        json.insert("content", contentJson("filmEditing", false));
    return VideoReviewPreview::decode(bytes(json));
}

} // namespace

class TestVideoReturnView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void previewOwnsOnePlayerAtATime();
    void previewTexts_data();
    void previewTexts();
    void projectCopiesView_data();
    void projectCopiesView();
    void boxPerState_data();
    void boxPerState();
    void draftRowsReopenAndSendAsks();
    void onlyThePersonsEditsClearTheDraft_data();
    void onlyThePersonsEditsClearTheDraft();

private:
    ServiceVideoReturnView *box();
    template<class T = QWidget>
    T *child(const QString &id) { return m_box->findChild<T *>(id); }

    std::unique_ptr<FakeEditor> editor;
    std::unique_ptr<FakeService> service;
    std::unique_ptr<ServiceQueueModel> model;
    FakePlayerFactory players;
    FakeMovies movies;
    FakeProjects projects;
    FakeDesktop desktop;
    std::unique_ptr<ServiceVideoReturnView> m_box;
};

void TestVideoReturnView::init()
{
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
    editor = std::make_unique<FakeEditor>();
    service = std::make_unique<FakeService>();
    model = std::make_unique<ServiceQueueModel>(service->bridge());
    players = FakePlayerFactory();
    movies.answer.reset();
}

void TestVideoReturnView::cleanup()
{
    m_box.reset();
    model.reset();
    service->closeAll();
    QCoreApplication::processEvents();
    service.reset();
    editor.reset();
}

ServiceVideoReturnView *TestVideoReturnView::box()
{
    m_box = std::make_unique<ServiceVideoReturnView>(
        model.get(), editor.get(), ServiceVideoReturnView::Seams{players.factory(), &movies, &projects, &desktop});
    m_box->resize(640, 900);
    m_box->show();
    return m_box.get();
}

void TestVideoReturnView::previewOwnsOnePlayerAtATime()
{
    VideoReviewPreviewView view(players.factory());
    view.setPreview(preview("a"));
    QVERIFY2(players.made->isEmpty(), "no player before the view is shown");
    QVERIFY(!view.findChild<SorvaneVideoPlayer *>()->isVisibleTo(&view));

    view.show();
    QPointer<FakeMediaPlayer> first = players.last();
    QVERIFY(first);
    QCOMPARE(first->source(), QUrl::fromLocalFile("/drafts/a.mp4"));
    QCOMPARE(first->calls, QStringList{"attach"});
    QVERIFY(view.findChild<SorvaneVideoPlayer *>()->isVisible());
    first->play();

    view.setPreview(preview("a", 5)); // the same draft read again: playback goes on
    QCOMPARE(players.made->size(), 1);
    QVERIFY(first->isPlaying());

    view.setPreview(preview("b"));
    QVERIFY2(!first, "the old player goes with its draft");
    QCOMPARE(players.made->size(), 2);
    FakeMediaPlayer *second = players.last();
    QCOMPARE(second->calls, QStringList{"attach"});

    view.hide();
    QCOMPARE(second->calls.last(), QStringLiteral("pause"));
    view.show(); // shown again: a fresh player of the same draft
    QCOMPARE(players.made->size(), 3);
    QCOMPARE(players.last()->source(), QUrl::fromLocalFile("/drafts/b.mp4"));
}

void TestVideoReturnView::previewTexts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("video");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QStringList>("expected");
    const QString sha = "SHA-256: " + QString(64, QLatin1Char('a'));
    QTest::newRow("Danish") << "da" << true << qint64(1048576)
                            << QStringList{"12,3 sek. · 1,0 MB · Lea", sha, "Opgaverevision 4 · forslag p"};
    QTest::newRow("English") << "en" << true << qint64(1048576)
                             << QStringList{"12.3 sec. · 1.0 MB · Lea", sha, "Task revision 4 · proposal p"};
    // Sizes read the same in every screen (as in a proposal's video line).
    QTest::newRow("English, 12 345 bytes") << "en" << true << qint64(12345)
                                           << QStringList{"12.3 sec. · 12 KB · Lea", sha, "Task revision 4 · proposal p"};
    QTest::newRow("no video facts") << "da" << false << qint64(0) << QStringList{"Opgaverevision 4 · forslag p"};
}

void TestVideoReturnView::previewTexts()
{
    QFETCH(QString, language);
    QFETCH(bool, video);
    QFETCH(qint64, bytes);
    QFETCH(QStringList, expected);
    EditorLocalization::overrideLanguageForTesting(language);
    VideoReviewPreviewView view(players.factory());
    VideoReviewPreview draft = previewWith("p", video);
    if (draft.content.video)
        draft.content.video->byte_count = bytes;
    view.setPreview(draft);
    QStringList texts = visibleTexts(&view);
    texts.removeAll(QStringLiteral("Sommerøl · klip 2"));
    texts.removeAll(QStringLiteral("Logoet kommer før."));
    QCOMPARE(texts, expected);
}

void TestVideoReturnView::projectCopiesView_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<QStringList>("automatic");
    QTest::addColumn<bool>("explicitChoice");
    QTest::addColumn<bool>("withDisable");
    QTest::addColumn<QStringList>("expected");
    const QString none = "Ingen projektkopi gemt til denne videoversion.";
    const QString local = "Lokal projektkopi · eksterne medier og genåbning er ikke verificeret.";
    const QString explicitNote = "Dette kopierede projekt kræver, at du vælger editorprojektet udtrykkeligt før næste "
                                 "aflevering.";
    QTest::newRow("nothing") << 0 << QStringList() << false << true << QStringList{none};
    QTest::newRow("one copy of 1 048 576 bytes")
        << 1 << QStringList() << false << true << QStringList{"s0.drp", "1,0 MB", local, "Vis i filhåndtering"};
    QTest::newRow("two automatic names, read-only")
        << 0 << QStringList{"A.fcpbundle", "B.drp"} << false << false
        << QStringList{none, "Gemmes også ved næste aflevering: A.fcpbundle, B.drp"};
    QTest::newRow("explicit choice and automatic names, each with its button")
        << 0 << QStringList{"A"} << true << true
        << QStringList{none, explicitNote, "Gemmes også ved næste aflevering: A",
                       "Fortsæt uden automatisk projektkopi", "Stop automatisk projektkopi"};
}

void TestVideoReturnView::projectCopiesView()
{
    QFETCH(int, copies);
    QFETCH(QStringList, automatic);
    QFETCH(bool, explicitChoice);
    QFETCH(bool, withDisable);
    QFETCH(QStringList, expected);
    NativeProjectVersionsView view(&desktop);
    QList<NativeProjectVersion> versions;
    for (int i = 0; i < copies; ++i)
        versions << copy(QStringLiteral("s%1").arg(i), "p", 1048576);
    int disabled = 0;
    view.setContent(versions, automatic, explicitChoice, withDisable ? std::function<void()>([&] { ++disabled; }) : nullptr);
    QCoreApplication::processEvents();
    QStringList texts = visibleTexts(&view);
    QStringList sorted = expected;
    texts.sort();
    sorted.sort();
    QCOMPARE(texts, sorted);
    for (QAbstractButton *button : view.findChildren<QAbstractButton *>())
        button->click();
    QCOMPARE(disabled, withDisable ? int(explicitChoice) + int(!automatic.isEmpty()) : 0);
    QCOMPARE(desktop.revealed.size(), copies);
    if (copies)
        QCOMPARE(desktop.revealed.last(), QStringLiteral("/copies/s0.zip"));
    desktop.revealed.clear();
}

void TestVideoReturnView::boxPerState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<bool>("formEnabled");
    QTest::addColumn<bool>("prepareEnabled");
    const QString open = "Videoudkast til kunden";
    QTest::newRow("approved, no drafts")
        << "approved" << "Gemte videoudkast" << QStringList{"service.video.preparedDrafts"}
        << QStringList{"service.video.choose", "service.video.stage", "service.video.refresh"} << false << false;
    QTest::newRow("approved with a listed draft: form shown, disabled")
        << "approved listed" << "Gemte videoudkast"
        << QStringList{"service.video.preparationUnavailable", "service.video.choose"} << QStringList() << false
        << false;
    QTest::newRow("no task") << "none" << open << QStringList{"service.video.choose"}
                             << QStringList{"service.video.stage", "service.video.baseRevision"} << false << false;
    QTest::newRow("claimed, nothing chosen")
        << "active" << open << QStringList{"service.video.file"}
        << QStringList{"service.video.preparationUnavailable", "service.video.receipt"} << true << false;
    QTest::newRow("blank version name") << "blank label" << open << QStringList() << QStringList() << true << false;
    QTest::newRow("file and three texts") << "ready" << open << QStringList() << QStringList() << true << true;
    QTest::newRow("draft of an older revision")
        << "older draft" << open << QStringList{"service.video.stage", "service.video.baseRevision"}
        << QStringList{"service.video.projectVersions"} << true << false;
    QTest::newRow("send not confirmed")
        << "unconfirmed" << open << QStringList{"service.video.stage", "service.video.checkReceipt"}
        << QStringList{"service.video.baseRevision"} << true << false;
    QTest::newRow("receipt of a sent version")
        << "receipt" << open << QStringList{"service.video.receipt"} << QStringList() << true << false;
    QTest::newRow("a receipt that confirms nothing")
        << "no receipt" << open << QStringList() << QStringList{"service.video.receipt"} << true << false;
    QTest::newRow("copies of this draft's version")
        << "copies" << open << QStringList{"service.video.projectVersions"} << QStringList() << true << false;
}

void TestVideoReturnView::boxPerState()
{
    QFETCH(QString, state);
    QFETCH(QString, title);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    QFETCH(bool, formEnabled);
    QFETCH(bool, prepareEnabled);
    if (state.startsWith("approved"))
        openClaimedTask(*model, *editor, *service, 4, "approved");
    else if (state != "none")
        openClaimedTask(*model, *editor, *service);
    if (state == "approved listed")
        model->videoDraft().setVideoPreviews({preview("x")});
    if (state == "blank label" || state == "ready") {
        model->videoDraft().setVideoFile(QUrl::fromLocalFile("/exports/klip.mp4"));
        model->videoDraft().setVideoSummary("Ny slutning");
        model->videoDraft().setVideoLabel(state == "ready" ? "Klip 2" : " \n ");
    }
    if (state == "older draft" || state == "unconfirmed" || state == "copies")
        model->videoDraft().setVideoPreview(preview("p", state == "older draft" ? 3 : 4));
    if (state == "unconfirmed")
        model->videoDraft().setUncertainVideoProposalIDs({"p"});
    if (state == "copies" || state == "older draft") {
        model->projectCopies().setProjectVersions({copy("s1", state == "copies" ? "p" : "q")});
        model->projectCopies().setProjectVersionsProposalID(state == "copies" ? QStringLiteral("p") : QStringLiteral("q"));
    }
    if (state == "receipt" || state == "no receipt")
        model->videoDraft().setConfirmedVideoDelivery(VideoDeliveryStatus::decode(bytes(QJsonObject{
            {"proposalID", "p"},
            {"state", state == "receipt" ? "sentForCustomerReview" : "notConfirmedLocally"},
            {"version", 2},
            {"customerApproved", false}})));
    box();

    QCOMPARE(m_box->title(), title);
    for (const QString &id : shown)
        QVERIFY2(child(id) && child(id)->isVisible(), qPrintable(id));
    for (const QString &id : hidden)
        QVERIFY2(!child(id) || !child(id)->isVisible(), qPrintable(id));
    QVERIFY(!m_box->preparedDraftsExpanded());
    QCOMPARE(child("service.video.label")->isEnabled(), formEnabled);
    QCOMPARE(child("service.video.prepare")->isEnabled(), prepareEnabled && formEnabled);
    if (state == "older draft")
        QCOMPARE(child<QLabel>("service.video.baseRevision")->text(),
                 QStringLiteral("Klargjort til opgaverevision 3 · nuværende revision 4. Tjek de seneste instruktioner. "
                                "Et nyt forsøg beholder netop denne frosne version."));
    if (state == "unconfirmed") {
        QLabel *stage = child<QLabel>("service.video.stage.text");
        QCOMPARE(stage->text(), QStringLiteral("Afsendelse ikke bekræftet · behold denne version"));
        QCOMPARE(stage->palette().color(QPalette::WindowText),
                 UiKit::colour(UiKit::Ink::caution, stage->palette().color(QPalette::Window)));
        QVERIFY(visibleTexts(m_box.get()).contains("Behold denne frosne version. Kontrollér dens kvittering, eller "
                                                   "gentag det samme gennemgåede forslag."));
    }
    if (state == "receipt")
        QCOMPARE(child<QLabel>("service.video.receipt.text")->text(),
                 QStringLiteral("Lokal kvittering · version 2 sendt til kundereview"));
}

void TestVideoReturnView::draftRowsReopenAndSendAsks()
{
    openClaimedTask(*model, *editor, *service);
    VideoReviewPreview shortId = preview("abc");
    model->videoDraft().setVideoPreviews({preview("0123456789abcdef"), shortId});
    model->videoDraft().setVideoPreview(preview("p"));
    box();
    child<QAbstractButton>("service.video.preparedDrafts")->click();
    QVERIFY(m_box->preparedDraftsExpanded());
    QCOMPARE(child<QAbstractButton>("service.video.reopen.0123456789abcdef")->text(),
             QStringLiteral("Genåbn klargjort udkast · Sommerøl · klip 2 · 01234567"));
    auto *row = child<QAbstractButton>("service.video.reopen.abc");
    QCOMPARE(row->text(), QStringLiteral("Genåbn klargjort udkast · Sommerøl · klip 2 · abc"));
    QVERIFY(row->minimumHeight() >= 44);

    auto *send = child<QAbstractButton>("service.video.send");
    QVERIFY(!send->isEnabled());
    child<QCheckBox>("service.video.qc")->click();
    QVERIFY(model->videoDraft().videoQC() && send->isEnabled());
    send->click();
    QVERIFY(model->videoDraft().videoConfirmation());

    row->click(); // reopens through the receipt check
    QCOMPARE(service->calls.last().command.arguments().mid(0, 2), (QStringList{"status", kTask}));
    QVERIFY(service->calls.last().command.arguments().contains("abc"));
    editor->cancel();
    QCoreApplication::processEvents(); // the cancelled check ends before the next action

    child<QAbstractButton>("service.video.preserveProject")->click();
    QCOMPARE(projects.message, QStringLiteral("Luk Final Cut-biblioteket, eller vælg en færdig Resolve-projekteksport "
                                              "(.drp). Originalen bevares."));
    QCOMPARE(service->calls.last().command.kind(), BridgeCommand::Kind::preserveProject);
}

void TestVideoReturnView::onlyThePersonsEditsClearTheDraft_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("typing a version name") << "type" << true;
    QTest::newRow("pasting into the summary") << "paste" << true;
    QTest::newRow("undoing in the editor's name") << "undo" << true;
    QTest::newRow("choosing the same file again") << "same file" << true;
    QTest::newRow("cancelling the file choice") << "cancel" << false;
    QTest::newRow("opening another task and coming back") << "switch" << false;
}

void TestVideoReturnView::onlyThePersonsEditsClearTheDraft()
{
    QFETCH(QString, action);
    QFETCH(bool, cleared);
    openClaimedTask(*model, *editor, *service);
    model->videoDraft().setVideoFile(QUrl::fromLocalFile("/exports/klip.mp4"));
    model->videoDraft().setVideoLabel("Klip 2");
    model->videoDraft().setVideoPreview(preview("p"));
    box();
    auto *label = child<QLineEdit>("service.video.label");
    auto *editorName = child<QLineEdit>("service.video.editor");
    if (action == "undo") {
        QTest::keyClicks(editorName, "x");
        model->videoDraft().setVideoPreview(preview("p"));
    }
    model->videoDraft().setVideoQC(true);

    if (action == "type") {
        QTest::keyClicks(label, " v2");
        QCOMPARE(model->videoDraft().videoLabel(), QStringLiteral("Klip 2 v2"));
    } else if (action == "paste") {
        QGuiApplication::clipboard()->setText("Logo før");
        child<QPlainTextEdit>("service.video.summary")->paste();
        QCOMPARE(model->videoDraft().videoSummary(), QStringLiteral("Logo før"));
    } else if (action == "undo") {
        editorName->undo();
        QCOMPARE(model->videoDraft().videoEditor(), ServiceVideoDraft::defaultVideoEditor());
    } else if (action == "same file" || action == "cancel") {
        if (action == "same file")
            movies.answer = QUrl::fromLocalFile("/exports/klip.mp4");
        child<QAbstractButton>("service.video.choose")->click();
    } else if (action == "switch") {
        // Another task's fields are put in, then this task's are restored.
        const SelectionKey here = *model->selectionKey();
        SelectionKey other = here;
        other.requestID = "other";
        model->clearSelection();
        model->restoreSelection(other);
        QCOMPARE(label->text(), ServiceVideoDraft::defaultVideoLabel());
        model->clearSelection();
        model->restoreSelection(here);
        model->videoDraft().setVideoQC(true); // the tick is the model's own per-visit state
        QCOMPARE(label->text(), QStringLiteral("Klip 2"));
    }
    QCOMPARE(!model->videoDraft().videoPreview(), cleared);
    QCOMPARE(!model->videoDraft().videoQC(), cleared);
    QCOMPARE(child("service.video.stage")->isVisible(), !cleared);
}

QTEST_MAIN(TestVideoReturnView)
#include "tst_videoreturnview.moc"
