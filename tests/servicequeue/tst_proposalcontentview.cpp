// The read-only proposal column: which rows a concept, script or film
// proposal shows, in which order and with which texts; and the long words
// (digests, ids, addresses) of it and of the draft preview, whole in a
// narrow column.
#include <QtTest>

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "servicequeue/ui/proposalcontentview.h"
#include "servicequeue/ui/videos/videoreviewpreviewview.h"

#include <QClipboard>
#include <QGroupBox>
#include <QLabel>

namespace {

ProposalContent base()
{
    ProposalContent c;
    c.title = "Tre veje til historien";
    c.body = "Vi foreslår tre korte film.";
    return c;
}

// The texts of the column, labels and long words alike.
QList<QWidget *> texts(const QWidget &view)
{
    QList<QWidget *> out;
    for (QWidget *widget : view.findChildren<QWidget *>())
        if (qobject_cast<QLabel *>(widget) || qobject_cast<UiKit::LongWordLabel *>(widget))
            out << widget;
    return out;
}

// The visible texts of the column, top to bottom, as "objectName=text".
QStringList rows(const QWidget &view)
{
    QStringList out;
    for (const QWidget *text : texts(view))
        out << text->objectName() + "=" + text->property("text").toString();
    return out;
}

} // namespace

class TestProposalContentView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void rowsByContent_data();
    void rowsByContent();
    void longWordsStayWhole_data();
    void longWordsStayWhole();
};

void TestProposalContentView::rowsByContent_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("expected");
    const QString p = "service.proposal.";
    const QStringList head{p + "title=Tre veje til historien", p + "body=Vi foreslår tre korte film."};
    QTest::newRow("title and body only") << "plain" << head;
    QTest::newRow("film version") << "film"
                                  << head + QStringList{p + "video=Videoudkast · 12,3 sek. · 12,3 MB",
                                                        p + "video.editor=Klipper: Ida · kvalitetstjekket før indsendelse",
                                                        p + "video.sha256=SHA-256: abc"};
    QTest::newRow("concept options") << "concept"
                                     << head + QStringList{p + "option.o1.rationale=Tæt på", p + "option.o1.idea=Emne: Håndværk",
                                                           p + "option.o1.purpose=Formål: Kendskab",
                                                           p + "option.o1.audience=Målgruppe: Naboer",
                                                           p + "option.o1.angle=Vinkel: Personlig",
                                                           p + "option.o2.rationale=R", p + "option.o2.idea=Emne: I",
                                                           p + "option.o2.purpose=Formål: P",
                                                           p + "option.o2.audience=Målgruppe: A",
                                                           p + "option.o2.angle=Vinkel: V",
                                                           p + "option.o2.message=Budskab:  ",
                                                           p + "option.o2.callToAction=Handling: Kig forbi"};
    QTest::newRow("script with shots")
        << "script"
        << head + QStringList{p + "section.s1.title=Åbning", p + "section.s1.text=Værkstedet vågner.",
                              p + "shot.a.heading=Total · 5 sek. · B-roll", p + "shot.a.section=Til: Åbning",
                              p + "shot.a.instruction=Langsom panorering",
                              p + "shot.b.heading=Nær · 3 sek. · Fortælling", p + "shot.b.instruction=Hænder",
                              p + "shot.c.heading=Logo · 2 sek. · Fortælling", p + "shot.c.instruction=Slut"};
    QTest::newRow("questions and sources")
        << "notes"
        << head + QStringList{p + "questions=Åbne spørgsmål", p + "question.0=• Logo først?", p + "question.1=• Logo først?",
                              p + "sources=Forfatterens kilder · ikke automatisk faktatjekket",
                              p + "source.0.title=Bryggeriets historie", p + "source.0.url=https://example.com/a",
                              p + "source.0.note=Side 4", p + "source.1.title=Avis",
                              p + "source.1.url=https://example.com/b"};
}

void TestProposalContentView::rowsByContent()
{
    QFETCH(QString, content);
    QFETCH(QStringList, expected);
    ProposalContent c = base();
    if (content == "film") {
        ProposalContent::ReviewVideo video;
        video.duration_seconds = 12.34;
        video.byte_count = 12'345'678;
        video.editor_name = "Ida";
        video.sha256 = "abc";
        video.editor_qc_confirmed = false; // the line reads the same either way
        c.video = video;
    } else if (content == "concept") {
        c.concept_options = {{"o1", "Værkstedet", "Tæt på", "Håndværk", "Kendskab", "Naboer", "Personlig", "", ""},
                             {"o2", "Kunderne", "R", "I", "P", "A", "V", " ", "Kig forbi"}};
    } else if (content == "script") {
        c.script_sections = {{"s1", "Åbning", "Værkstedet vågner."}};
        c.shots = {{"a", "Total", "Langsom panorering", "bRoll", QString("s1"), 5},
                   {"b", "Nær", "Hænder", "BRoll", QString("s9"), 3},
                   {"c", "Logo", "Slut", "wide", std::nullopt, 2}};
    } else if (content == "notes") {
        c.open_questions = {"Logo først?", "Logo først?"};
        c.sources = {{"Bryggeriets historie", "https://example.com/a", "Side 4"}, {"Avis", "https://example.com/b", ""}};
    }
    ProposalContentView view(c);
    view.resize(600, 800);
    QCOMPARE(rows(view), expected);
    if (content == "concept") {
        const auto *box = view.findChild<QGroupBox *>("service.proposal.option.o2");
        QVERIFY(box);
        QCOMPARE(box->title(), "Kunderne");
    }
    // A refresh shows its rows at once: a layout pass before they show would
    // fold the view, and the page around it would jump.
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int height = view.sizeHint().height();
    view.setContent(c);
    QCOMPARE(view.sizeHint().height(), height);
    QCOMPARE(rows(view), expected);
    // Every text can be selected and copied; the author's words are never read as markup.
    for (const QWidget *text : texts(view)) {
        QVERIFY(text->property("textInteractionFlags").value<Qt::TextInteractionFlags>() & Qt::TextSelectableByMouse);
        if (auto *label = qobject_cast<const QLabel *>(text))
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void TestProposalContentView::longWordsStayWhole_data()
{
    QTest::addColumn<bool>("draft"); // the draft preview, else a sent proposal
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QString digest = "SHA-256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    QTest::newRow("proposal, digest") << false << "service.proposal.video.sha256" << digest;
    QTest::newRow("proposal, source address")
        << false << "service.proposal.source.0.url"
        << "https://example.com/arkiv?id=4f0c2a9e8b7d6c5e4f3a2b1c0d9e8f7a6b5c4d3e2f1a0b9c8d7e6f5a4b3c2d1e0f";
    QTest::newRow("draft, digest") << true << "service.video.preview.sha256" << digest;
    QTest::newRow("draft, revision and proposal")
        << true << "service.video.preview.revision" << "Opgaverevision 4 · forslag 7d0c5b1e3f7a4c559a512b7f1c0d9e01aa";
}

// In a column narrower than a digest, an id or an address, the whole text
// shows within the view, and selecting all of it copies it exactly.
void TestProposalContentView::longWordsStayWhole()
{
    QFETCH(bool, draft);
    QFETCH(QString, name);
    QFETCH(QString, text);
    std::unique_ptr<QWidget> view;
    const QString digest = text.mid(QStringLiteral("SHA-256: ").size());
    if (draft) {
        VideoReviewPreview preview;
        preview.proposalID = "7d0c5b1e3f7a4c559a512b7f1c0d9e01aa";
        preview.expectedRevision = 4;
        preview.content.title = "Sommerøl";
        preview.content.video = ProposalContent::ReviewVideo{};
        preview.content.video->duration_seconds = 12;
        preview.content.video->sha256 = digest;
        auto *previewView = new VideoReviewPreviewView({});
        previewView->setPreview(preview);
        view.reset(previewView);
    } else {
        ProposalContent content = base();
        content.video = ProposalContent::ReviewVideo{};
        content.video->sha256 = digest;
        content.sources = {{"Arkivet", text, ""}};
        view = std::make_unique<ProposalContentView>(content);
    }
    view->resize(200, 900);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    auto *shown = view->findChild<QWidget *>(name);
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->property("text").toString(), text);
    QVERIFY(view->rect().contains(QRect(shown->mapTo(view.get(), QPoint(0, 0)), shown->size())));
    // The height it asks for at its width holds all of its text, not only
    // its beginning, and it has that height.
    const int needed = shown->heightForWidth(shown->width());
    QVERIFY(shown->height() >= needed);
    const QFontMetrics metrics = shown->fontMetrics();
    const QMargins margins = shown->contentsMargins();
    const int lines = (needed - margins.top() - margins.bottom()) / metrics.height();
    const int width = shown->contentsRect().width();
    QVERIFY2(qint64(lines) * width >= metrics.horizontalAdvance(text),
             qPrintable(QStringLiteral("%1 lines of %2 px for %3 px of text")
                            .arg(lines).arg(width).arg(metrics.horizontalAdvance(text))));

    QGuiApplication::clipboard()->clear();
    QTest::keySequence(shown, QKeySequence::SelectAll);
    QTest::keySequence(shown, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
}

QTEST_MAIN(TestProposalContentView)
#include "tst_proposalcontentview.moc"
