#include "proposalcontentview.h"

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "foundation/units/bytecount.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

enum class Style { Body, Bold, Title, Subheadline, Caption };

// A wrapping label whose height is exactly its wrapped text at the width it
// gets: QLabel's own estimate, made for some other width, leaves uneven gaps
// between rows.
class TextRow final : public QLabel
{
public:
    using QLabel::QLabel;
    int heightForWidth(int width) const override
    {
        const QMargins m = contentsMargins();
        const int inner = qMax(1, width - m.left() - m.right() - 2 * margin());
        const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, inner, 1 << 24), Qt::TextWordWrap, text());
        return bounds.height() + m.top() + m.bottom() + 2 * margin();
    }
    QSize sizeHint() const override { return {QLabel::sizeHint().width(), heightForWidth(qMax(width(), 200))}; }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }
};

UiKit::LabelStyle labelStyle(Style style, const QString &name)
{
    switch (style) {
    case Style::Body:
        break;
    case Style::Bold:
        return {.bold = true, .selectable = true, .name = name};
    case Style::Title:
        return {.scale = 1.5, .bold = true, .selectable = true, .name = name};
    case Style::Subheadline:
        return {.scale = 0.92, .selectable = true, .name = name};
    case Style::Caption:
        return {.scale = 0.85, .selectable = true, .name = name};
    }
    return {.selectable = true, .name = name};
}

QLabel *row(QWidget *parent, const QString &name, const QString &text, Style style = Style::Body)
{
    auto *label = new TextRow(text, parent);
    UiKit::style(label, labelStyle(style, name)); // plain: the author's words are never markup
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return label;
}

// A digest or an address in the monospaced caption font: one long word,
// broken anywhere so it stays whole in a narrow column.
QWidget *longWordRow(QWidget *parent, const QString &name, const QString &text)
{
    // Its height is its text's at the width it gets (the column's stretch
    // keeps any spare height below the rows).
    auto *label = new UiKit::LongWordLabel(text, {.scale = 0.85, .monospaced = true, .name = name}, parent);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    label->setSizePolicy(policy);
    return label;
}

QVBoxLayout *stack(QWidget *owner, int spacing, int margin = 0)
{
    auto *layout = new QVBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margin, margin, margin, margin);
    return layout;
}

} // namespace

ProposalContentView::ProposalContentView(const ProposalContent &content, QWidget *parent)
    : QWidget(parent), m_column(stack(this, 14))
{
    setObjectName(QStringLiteral("service.proposal"));
    setContent(content);
}

QString ProposalContentView::shotKindLabel(const QString &kind)
{
    return kind == QLatin1String("bRoll") ? QStringLiteral("B-roll") : loc("Fortælling");
}

void ProposalContentView::setContent(const ProposalContent &content)
{
    while (QLayoutItem *item = m_column->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QString p = QStringLiteral("service.proposal.");
    // Each row is shown at once: a row added to a shown view would appear
    // only with a queued show, and the layout settled in between folds the
    // view, so the page around it shrinks and jumps on every refresh.
    auto add = [this](QWidget *widget) {
        m_column->addWidget(widget);
        widget->show();
    };

    add(row(this, p + "title", content.title, Style::Title));
    add(row(this, p + "body", content.body));

    if (const auto &video = content.video) {
        add(row(this, p + "video",
                loc("Videoudkast · %.1f sek. · %@", {video->duration_seconds, fileByteCount(video->byte_count)}),
                Style::Subheadline));
        add(row(this, p + "video.editor", loc("Klipper: %@ · kvalitetstjekket før indsendelse", {video->editor_name}),
                Style::Caption));
        add(longWordRow(this, p + "video.sha256", QStringLiteral("SHA-256: ") + video->sha256));
    }

    for (const auto &option : content.concept_options) {
        const QString name = p + "option." + option.id;
        auto *box = new QGroupBox(option.title, this);
        box->setObjectName(name);
        QVBoxLayout *lines = stack(box, 6, 6);
        lines->addWidget(row(box, name + ".rationale", option.rationale));
        lines->addWidget(row(box, name + ".idea", loc("Emne: %@", {option.idea})));
        lines->addWidget(row(box, name + ".purpose", loc("Formål: %@", {option.purpose})));
        lines->addWidget(row(box, name + ".audience", loc("Målgruppe: %@", {option.audience})));
        lines->addWidget(row(box, name + ".angle", loc("Vinkel: %@", {option.angle})));
        if (!option.message.isEmpty())
            lines->addWidget(row(box, name + ".message", loc("Budskab: %@", {option.message})));
        if (!option.call_to_action.isEmpty())
            lines->addWidget(row(box, name + ".callToAction", loc("Handling: %@", {option.call_to_action})));
        add(box);
    }

    for (const auto &section : content.script_sections) {
        add(row(this, p + "section." + section.id + ".title", section.title, Style::Bold));
        add(row(this, p + "section." + section.id + ".text", section.text));
    }

    for (const auto &shot : content.shots) {
        const QString name = p + "shot." + shot.id;
        auto *group = new QWidget(this);
        group->setObjectName(name);
        QVBoxLayout *lines = stack(group, 4);
        lines->addWidget(row(group, name + ".heading",
                             loc("%@ · %lld sek. · %@", {shot.title, shot.duration_seconds, shotKindLabel(shot.kind)}),
                             Style::Bold));
        if (shot.section_id) {
            for (const auto &section : content.script_sections) {
                if (section.id == *shot.section_id) {
                    lines->addWidget(row(group, name + ".section", loc("Til: %@", {section.title}), Style::Caption));
                    break;
                }
            }
        }
        lines->addWidget(row(group, name + ".instruction", shot.instruction));
        add(group);
    }

    if (!content.open_questions.isEmpty()) {
        add(row(this, p + "questions", loc("Åbne spørgsmål"), Style::Bold));
        for (qsizetype i = 0; i < content.open_questions.size(); ++i)
            add(row(this, p + "question." + QString::number(i), QStringLiteral("\u2022 ") + content.open_questions.at(i)));
    }

    if (!content.sources.isEmpty()) {
        add(row(this, p + "sources", loc("Forfatterens kilder · ikke automatisk faktatjekket"), Style::Bold));
        for (qsizetype i = 0; i < content.sources.size(); ++i) {
            const auto &source = content.sources.at(i);
            const QString name = p + "source." + QString::number(i);
            auto *group = new QWidget(this);
            group->setObjectName(name);
            QVBoxLayout *lines = stack(group, 4);
            lines->addWidget(row(group, name + ".title", source.title, Style::Bold));
            lines->addWidget(longWordRow(group, name + ".url", source.url));
            if (!source.note.isEmpty())
                lines->addWidget(row(group, name + ".note", source.note));
            add(group);
        }
    }
    m_column->addStretch(1); // space left over stays below the texts
}
