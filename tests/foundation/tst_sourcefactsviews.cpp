#include "foundation/localization.h"
#include "foundation/ui/sourcefacts/sorvanesourcefacts.h"

#include <QLabel>
#include <QtTest>

Q_DECLARE_METATYPE(SorvaneTimelineFormat)
Q_DECLARE_METATYPE(std::optional<SourceSpeechEvidence>)

namespace {

// The texts of the visible labels, top to bottom.
QStringList lines(const QWidget &view)
{
    QStringList texts;
    for (const QLabel *label : view.findChildren<QLabel *>())
        if (!label->isHidden() && label->text() != QStringLiteral("\u26A0"))
            texts << label->text();
    return texts;
}

std::optional<SourceSpeechEvidence> evidence(const QString &state, bool transcript, bool timings)
{
    return SourceSpeechEvidence{state, transcript, timings};
}

SorvaneTimelineFormat format(qint64 numerator, qint64 denominator, const QString &origin)
{
    SorvaneTimelineFormat f;
    f.width = 1920;
    f.height = 1080;
    f.frameRateNumerator = numerator;
    f.frameRateDenominator = denominator;
    f.origin = origin;
    f.requiresFormatReview = true;
    return f;
}

} // namespace

class TestSourceFactsViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void sourceFacts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<std::optional<QString>>("item");
        QTest::addColumn<std::optional<SourceSpeechEvidence>>("speech");
        QTest::addColumn<QStringList>("shown");
        const std::optional<QString> none;
        const QString hint = QStringLiteral("Word timings available · verify before karaoke captions");
        QTest::newRow("image with source") << "image" << std::optional<QString>("S-7") << evidence("noSpeech", false, false)
                                           << QStringList{"Original source S-7"};
        QTest::newRow("image without source") << "image" << none << std::optional<SourceSpeechEvidence>() << QStringList{};
        QTest::newRow("video without evidence") << "video" << none << std::optional<SourceSpeechEvidence>()
                                                << QStringList{"Speech is not verified"};
        QTest::newRow("unreviewed with timings") << "video" << std::optional<QString>("S-1")
                                                 << evidence("unreviewedTranscript", true, true)
                                                 << QStringList{"Original source S-1", "Transcript awaiting review", hint};
        QTest::newRow("timings need a transcript state") << "video" << none << evidence("noSpeech", false, true)
                                                         << QStringList{"Speech is not verified"};
        QTest::newRow("failure ignores its flags") << "audio" << none << evidence("technicalFailure", true, true)
                                                   << QStringList{"Transcription failed · speech is not verified"};
        QTest::newRow("kind compared exactly") << "Image" << none << std::optional<SourceSpeechEvidence>()
                                               << QStringList{"Speech is not verified"};
    }

    void sourceFacts()
    {
        QFETCH(QString, kind);
        QFETCH(std::optional<QString>, item);
        QFETCH(std::optional<SourceSpeechEvidence>, speech);
        QFETCH(QStringList, shown);
        Candidate candidate;
        candidate.mediaKind = kind;
        candidate.sourceItemID = item;
        candidate.speechEvidence = speech;
        SorvaneSourceFacts view(candidate);
        QCOMPARE(lines(view), shown);
        QCOMPARE(view.findChild<QWidget *>("service.source.wordTimings") != nullptr, shown.size() == 3);
    }

    void timelineFormat_data()
    {
        QTest::addColumn<SorvaneTimelineFormat>("value");
        QTest::addColumn<QStringList>("shown");
        const QString review = QStringLiteral("Check framing · the brief requests 9:16");
        QTest::newRow("explicit, review without ratio")
            << format(25, 1, "explicit") << QStringList{"Timeline · 1920 × 1080 · 25/1 fps", "Explicit editor format"};
        SorvaneTimelineFormat full = format(24000, 1001, "selectedSource");
        full.sourceID = "clip-3";
        full.briefAspectRatio = "9:16";
        full.mixedSourceFormats = true;
        QTest::newRow("every line") << full
                                    << QStringList{"Timeline · 1920 × 1080 · 24000/1001 fps",
                                                   "Format follows the selected source", "Format source clip-3", review,
                                                   "Sources use different formats. Check framing and timing in the editor."};
        QTest::newRow("denominator zero") << format(25, 0, "explicit") << QStringList{};
        QTest::newRow("unknown origin") << format(25, 1, "Explicit") << QStringList{};
        QTest::newRow("above 120 fps") << format(121, 1, "explicit") << QStringList{};
    }

    void timelineFormat()
    {
        QFETCH(SorvaneTimelineFormat, value);
        QFETCH(QStringList, shown);
        QWidget parent;
        auto *view = new SorvaneTimelineFormatView(value, &parent);
        QCOMPARE(lines(*view), shown);
        // An implausible format leaves nothing a screen reader or test could find.
        QCOMPARE(parent.findChild<QWidget *>("service.source.timelineFormat") != nullptr, !shown.isEmpty());
        QCOMPARE(view->isHidden(), shown.isEmpty());
    }

    void danishFormatsWithoutGrouping()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("da"));
        SorvaneTimelineFormatView view(format(24000, 1001, "explicit"));
        QCOMPARE(lines(view).first(), QStringLiteral("Tidslinje · 1920 × 1080 · 24000/1001 fps"));
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    }
};

QTEST_MAIN(TestSourceFactsViews)
#include "tst_sourcefactsviews.moc"
