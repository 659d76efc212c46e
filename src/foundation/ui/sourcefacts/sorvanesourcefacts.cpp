#include "sorvanesourcefacts.h"

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

SorvaneSourceFacts::SorvaneSourceFacts(const Candidate &source, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (source.sourceItemID) {
        auto *item = UiKit::label(loc("Original source %@", {*source.sourceItemID}), {.scale = 10.0 / 13.0,
                                  .monospaced = true}, this);
        item->setObjectName(QStringLiteral("service.source.item"));
        item->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(item);
    }
    if (const auto speech = speechLine(source)) {
        auto *line = UiKit::label(*speech, {.scale = 10.0 / 13.0, .secondary = true}, this);
        line->setObjectName(QStringLiteral("service.source.speech"));
        layout->addWidget(line);
        if (showsWordTimings(source)) {
            auto *hint = UiKit::label(loc("Word timings available · verify before karaoke captions"),
                                      {.scale = 10.0 / 13.0, .secondary = true}, this);
            hint->setObjectName(QStringLiteral("service.source.wordTimings"));
            layout->addWidget(hint);
        }
    }
}

std::optional<QString> SorvaneSourceFacts::speechLine(const Candidate &source)
{
    if (source.mediaKind == u"image")
        return std::nullopt;
    return source.speechEvidence ? source.speechEvidence->title() : loc("Speech is not verified");
}

bool SorvaneSourceFacts::showsWordTimings(const Candidate &source)
{
    const auto &evidence = source.speechEvidence;
    return !source.isImage() && evidence && evidence->transcriptPresent && evidence->wordTimingsAvailable
        && (evidence->state == u"reviewedTranscript" || evidence->state == u"unreviewedTranscript");
}

SorvaneTimelineFormatView::SorvaneTimelineFormatView(const SorvaneTimelineFormat &format, QWidget *parent)
    : QWidget(parent)
{
    if (!format.isPlausible()) {
        // Nothing at all: no space, no name for a test or a screen reader to find.
        setVisible(false);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        return;
    }
    setObjectName(QStringLiteral("service.source.timelineFormat"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    auto *line = UiKit::label(loc("Timeline · %lld × %lld · %lld/%lld fps", {format.width, format.height,
                              format.frameRateNumerator, format.frameRateDenominator}), {.scale = 10.0 / 13.0,
                              .monospaced = true}, this);
    line->setObjectName(QStringLiteral("service.source.timelineFormat.size"));
    layout->addWidget(line);
    auto *origin = UiKit::label(format.origin == u"explicit" ? loc("Explicit editor format")
                                                             : loc("Format follows the selected source"),
                                {.scale = 10.0 / 13.0, .secondary = true}, this);
    origin->setObjectName(QStringLiteral("service.source.timelineFormat.origin"));
    layout->addWidget(origin);
    if (format.sourceID) {
        auto *source = UiKit::label(loc("Format source %@", {*format.sourceID}), {.scale = 10.0 / 13.0,
                                    .monospaced = true}, this);
        source->setObjectName(QStringLiteral("service.source.timelineFormat.source"));
        source->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(source);
    }
    if (format.requiresFormatReview && format.briefAspectRatio) {
        auto *warning = new QWidget(this);
        warning->setObjectName(QStringLiteral("service.source.timelineFormat.review"));
        auto *row = new QHBoxLayout(warning);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(5);
        UiKit::setInk(warning, UiKit::Ink::attention);
        QFont callout = font();
        callout.setPointSizeF(callout.pointSizeF() * 12.0 / 13.0);
        auto *symbol = new QLabel(QStringLiteral("\u26A0"), warning);
        auto *text = new QLabel(loc("Check framing · the brief requests %@", {*format.briefAspectRatio}), warning);
        for (QLabel *label : {symbol, text}) {
            label->setFont(callout);
            label->setTextFormat(Qt::PlainText);
        }
        text->setWordWrap(true);
        row->addWidget(symbol, 0, Qt::AlignTop);
        row->addWidget(text, 1);
        layout->addWidget(warning);
    }
    if (format.mixedSourceFormats) {
        auto *mixed = UiKit::label(loc("Sources use different formats. Check framing and timing in the editor."),
                                   {.scale = 10.0 / 13.0, .secondary = true}, this);
        mixed->setObjectName(QStringLiteral("service.source.timelineFormat.mixed"));
        layout->addWidget(mixed);
    }
}
