#include "briefviews.h"

#include "editor/editorpresentation.h"
#include "foundation/localization.h"
#include "foundation/ui/screenfit.h"
#include "foundation/ui/sourcefacts/sorvanesourcefacts.h"
#include "foundation/ui/uikit.h"
#include "foundation/units/bytecount.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

void scaled(QLabel *label, qreal factor, bool bold = false)
{
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    label->setFont(font);
}

QVBoxLayout *boxLayout(QWidget *box, int spacing)
{
    auto *layout = new QVBoxLayout(box);
    layout->setSpacing(spacing);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setAlignment(Qt::AlignTop);
    return layout;
}

} // namespace

// ---- current brief ----

std::optional<QString> CurrentServiceBriefView::title(const CurrentServiceBrief &brief)
{
    if (brief.requiresRefresh == true)
        return brief.cached ? loc("Previously observed customer instructions") : loc("Original submitted instructions");
    if (!brief.currentAmendment)
        return std::nullopt;
    return loc("Current customer instructions");
}

CurrentServiceBriefView::CurrentServiceBriefView(const CurrentServiceBrief &brief, QWidget *parent) : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    const auto heading = title(brief);
    if (!heading) {
        hide();
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        return;
    }
    auto *box = new QGroupBox(*heading, this);
    box->setObjectName(QStringLiteral("service.brief.current"));
    QVBoxLayout *layout = boxLayout(box, 8);
    if (brief.requiresRefresh == true) {
        auto *warning = UiKit::label(loc("Refresh instructions before preparing new work. Existing prepared versions remain usable."),
                                     {.name = QStringLiteral("service.brief.current.refresh")}, box);
        UiKit::setSecondary(warning);
        layout->addWidget(warning);
    }
    if (const auto &amendment = brief.currentAmendment) {
        layout->addWidget(UiKit::label(brief.effectiveInstructions, {.selectable = true,
                                       .name = QStringLiteral("service.brief.current.instructions")}, box));
        if (!amendment->reason.isEmpty()) {
            auto *reason = UiKit::label(amendment->reason, {.selectable = true,
                                        .name = QStringLiteral("service.brief.current.reason")}, box);
            UiKit::setSecondary(reason);
            layout->addWidget(reason);
        }
        auto *revision = UiKit::label(loc("Customer amendment · task revision %lld", {amendment->applied_revision}),
                                      {.name = QStringLiteral("service.brief.current.revision")}, box);
        scaled(revision, 0.85);
        layout->addWidget(revision);
        auto *note = UiKit::label(loc("The original submission and prepared versions remain unchanged. Review this amendment "
                                  "before starting a new version."), {.name = QStringLiteral("service.brief.current.note")}, box);
        scaled(note, 0.85);
        UiKit::setSecondary(note);
        layout->addWidget(note);
    }
    outer->addWidget(box);
}

// ---- package brief ----

void PackageBriefContent::copyMasterPrompt(const PackageContext &context, QClipboard *clipboard)
{
    clipboard->clear();
    clipboard->setText(context.masterprompt);
}

PackageBriefContent::PackageBriefContent(const PackageContext &context, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("service.brief.package"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);

    if (context.currentBrief)
        layout->addWidget(new CurrentServiceBriefView(*context.currentBrief, this));

    const auto &request = context.summary.serviceRequest;
    if (request) {
        const bool amended = context.currentBrief && context.currentBrief->currentAmendment;
        auto *task = new QGroupBox(amended ? loc("Original submitted instructions") : loc("Kundens opgave"), this);
        task->setObjectName(QStringLiteral("service.brief.task"));
        QVBoxLayout *lines = boxLayout(task, 8);
        if (!request->instructions.isEmpty())
            lines->addWidget(UiKit::label(request->instructions, {.selectable = true,
                                          .name = QStringLiteral("service.brief.task.instructions")}, task));
        auto *deliverable = UiKit::label(request->deliverable,
                                         {.name = QStringLiteral("service.brief.task.deliverable")}, task);
        UiKit::setSecondary(deliverable);
        lines->addWidget(deliverable);
        layout->addWidget(task);
    }

    auto *source = UiKit::label(loc("%lld kildefiler · %@ · %lld fravalg", {context.summary.referencedFileCount,
                                fileByteCount(context.summary.referencedBytes), context.summary.counts.rejected}),
                                {.name = QStringLiteral("service.brief.source")}, this);
    UiKit::setSecondary(source);
    layout->addWidget(source);

    if (!request || request->kind == ServiceKind::filmEditing) {
        auto *material = new QGroupBox(loc("Tilladt materiale"), this);
        material->setObjectName(QStringLiteral("service.brief.material"));
        QVBoxLayout *blocks = boxLayout(material, 16);
        for (const Candidate &candidate : context.candidates) {
            const QString name = QStringLiteral("service.brief.material.") + candidate.id;
            auto *block = new QWidget(material);
            block->setObjectName(name);
            auto *rows = new QVBoxLayout(block);
            rows->setContentsMargins(0, 0, 0, 0);
            rows->setSpacing(4);
            auto *title = UiKit::label(candidate.title, {.name = name + QStringLiteral(".title")}, block);
            scaled(title, 1.0, true);
            rows->addWidget(title);
            auto *interval = UiKit::label(candidate.interval(), {.name = name + QStringLiteral(".interval")}, block);
            QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            mono.setPointSizeF(interval->font().pointSizeF() * 0.85);
            interval->setFont(mono);
            rows->addWidget(interval);
            auto *facts = new SorvaneSourceFacts(candidate, block);
            facts->setObjectName(name + QStringLiteral(".facts"));
            rows->addWidget(facts);
            if (candidate.notes && !candidate.notes->isEmpty())
                rows->addWidget(UiKit::label(*candidate.notes, {.name = name + QStringLiteral(".notes")}, block));
            if (candidate.overlayText && !candidate.overlayText->isEmpty())
                rows->addWidget(UiKit::label(loc("Ønsket tekst: %@ · sættes manuelt i editor",
                                             {*candidate.overlayText}), {.name = name + QStringLiteral(".overlay")}, block));
            blocks->addWidget(block);
        }
        if (context.candidates.isEmpty())
            blocks->addWidget(UiKit::label(loc("Der er endnu ingen godkendte materialevalg til tidslinjen."),
                                           {.name = QStringLiteral("service.brief.material.empty")}, material));
        layout->addWidget(material);
    }

    auto *headingRow = new QHBoxLayout;
    auto *heading = UiKit::label(loc("Masterprompt og instruktioner"),
                                 {.name = QStringLiteral("service.brief.masterprompt.heading")}, this);
    heading->setWordWrap(false);
    scaled(heading, 1.35, true);
    headingRow->addWidget(heading);
    headingRow->addStretch(1);
    auto *copy = new QPushButton(loc("Kopiér"), this);
    copy->setObjectName(QStringLiteral("service.brief.copy"));
    connect(copy, &QPushButton::clicked, this,
            [prompt = context] { copyMasterPrompt(prompt, QGuiApplication::clipboard()); });
    headingRow->addWidget(copy);
    layout->addLayout(headingRow);

    auto *prompt = UiKit::label(context.masterprompt, {.selectable = true,
                                .name = QStringLiteral("service.brief.masterprompt")}, this);
    prompt->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    prompt->setMargin(10);
    prompt->setAutoFillBackground(true);
    prompt->setBackgroundRole(QPalette::AlternateBase);
    prompt->setStyleSheet(QStringLiteral("QLabel { border-radius: 12px; }"));
    layout->addWidget(prompt);
}

PackageBriefSheet::PackageBriefSheet(const PackageContext &context, QWidget *parent)
    : QDialog(parent), m_packageID(context.summary.packageID)
{
    setObjectName(QStringLiteral("service.brief.sheet"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(context.summary.title);
    setMinimumSize(600, 460);
    setMaximumSize(900, 800);
    resize(740, 640);
    ScreenFit::keepDialog(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(22, 22, 22, 22);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    auto *title = UiKit::label(context.summary.title, {.name = QStringLiteral("service.brief.sheet.title")}, header);
    scaled(title, 1.35, true);
    titles->addWidget(title);
    auto *kind = UiKit::label(EditorPresentation::kindTitle(EditorPresentation::packageKind(context.summary)),
                              {.name = QStringLiteral("service.brief.sheet.kind")}, header);
    UiKit::setSecondary(kind);
    titles->addWidget(kind);
    row->addLayout(titles, 1);
    auto *close = new QPushButton(loc("Luk"), header);
    close->setObjectName(QStringLiteral("service.brief.sheet.close"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(close, 0, Qt::AlignVCenter);
    layout->addWidget(header);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *padded = new QWidget(scroll);
    auto *inner = new QVBoxLayout(padded);
    inner->setContentsMargins(22, 22, 22, 22);
    inner->addWidget(new PackageBriefContent(context, padded));
    inner->addStretch(1);
    scroll->setWidget(padded);
    layout->addWidget(scroll, 1);
}
