#include "sorvanesourcefacts.h"

#include "foundation/localization.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace SourceFactsStyle {

namespace {
// The caption and callout sizes relative to a 13-point body text.
QFont sized(QFont font, qreal points)
{
    font.setPointSizeF(font.pointSizeF() * points / 13.0);
    return font;
}
} // namespace

QLabel *caption(const QString &text, QWidget *parent, bool monospaced, bool secondary)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont base = parent->font();
    if (monospaced) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(base.pointSizeF());
        base = fixed;
    }
    label->setFont(sized(base, 10.0));
    if (secondary)
        label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace SourceFactsStyle

using SourceFactsStyle::caption;

SorvaneSourceFacts::SorvaneSourceFacts(const Candidate &source, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (source.sourceItemID) {
        auto *item = caption(loc("Original source %@", {*source.sourceItemID}), this, true);
        item->setObjectName(QStringLiteral("service.source.item"));
        item->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(item);
    }
    if (const auto speech = speechLine(source)) {
        auto *line = caption(*speech, this, false, true);
        line->setObjectName(QStringLiteral("service.source.speech"));
        layout->addWidget(line);
        if (showsWordTimings(source)) {
            auto *hint = caption(loc("Word timings available · verify before karaoke captions"), this, false, true);
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
    auto *line = caption(loc("Timeline · %lld × %lld · %lld/%lld fps",
                             {format.width, format.height, format.frameRateNumerator, format.frameRateDenominator}),
                         this, true);
    line->setObjectName(QStringLiteral("service.source.timelineFormat.size"));
    layout->addWidget(line);
    auto *origin = caption(format.origin == u"explicit" ? loc("Explicit editor format")
                                                        : loc("Format follows the selected source"),
                           this, false, true);
    origin->setObjectName(QStringLiteral("service.source.timelineFormat.origin"));
    layout->addWidget(origin);
    if (format.sourceID) {
        auto *source = caption(loc("Format source %@", {*format.sourceID}), this, true);
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
        QPalette orange = warning->palette();
        orange.setColor(QPalette::WindowText, QColor(255, 149, 0));
        warning->setPalette(orange);
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
        auto *mixed = caption(loc("Sources use different formats. Check framing and timing in the editor."), this,
                              false, true);
        mixed->setObjectName(QStringLiteral("service.source.timelineFormat.mixed"));
        layout->addWidget(mixed);
    }
}
