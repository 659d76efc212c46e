// The read-only proposal column: which rows a concept, script or film
// proposal shows, in which order and with which texts.
#include <QtTest>

#include "foundation/localization.h"
#include "servicequeue/ui/proposalcontentview.h"

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

// The visible texts of the column, top to bottom, as "objectName=text".
QStringList rows(const QWidget &view)
{
    QStringList out;
    for (const QLabel *label : view.findChildren<QLabel *>())
        out << label->objectName() + "=" + label->text();
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
    for (const QLabel *label : view.findChildren<QLabel *>()) {
        QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

QTEST_MAIN(TestProposalContentView)
#include "tst_proposalcontentview.moc"
