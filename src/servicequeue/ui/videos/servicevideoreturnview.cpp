#include "servicevideoreturnview.h"

#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "nativeprojectversionsview.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/serviceactionresult.h"
#include "servicequeue/videos/videoreturnpresentation.h"
#include "videochoosers.h"
#include "videoreviewpreviewview.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {


QPushButton *button(QWidget *parent, const QString &title, const QString &symbol, const QString &id = QString())
{
    auto *b = new QPushButton(title, parent);
    Symbols::applyThemed(b, symbol);
    if (!id.isEmpty())
        b->setObjectName(id);
    return b;
}

// A check box whose long text wraps in a narrow column; clicking the text ticks it too.
class WrappingText final : public QLabel
{
public:
    WrappingText(const QString &text, QCheckBox *box, QWidget *parent) : QLabel(text, parent), m_box(box)
    {
        setWordWrap(true);
        setTextFormat(Qt::PlainText);
    }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (m_box->isEnabled())
            m_box->click();
    }

private:
    QCheckBox *m_box;
};

QCheckBox *wrappingCheck(QWidget *parent, QVBoxLayout *column, const QString &title, const QString &id)
{
    auto *row = new QWidget(parent);
    auto *box = new QCheckBox(row);
    box->setObjectName(id);
    box->setAccessibleName(title);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(box, 0, Qt::AlignTop);
    line->addWidget(new WrappingText(title, box, row), 1);
    column->addWidget(row);
    return box;
}

// An icon beside a text; the row carries the identifier, the text its words.
QWidget *symbolRow(QWidget *parent, const QString &id, QLabel **icon, QLabel **words)
{
    auto *row = new QWidget(parent);
    row->setObjectName(id);
    *icon = new QLabel(row);
    *words = new QLabel(row);
    (*words)->setObjectName(id + QStringLiteral(".text"));
    (*words)->setTextFormat(Qt::PlainText);
    (*words)->setWordWrap(true);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(*icon, 0, Qt::AlignTop);
    line->addWidget(*words, 1);
    return row;
}

} // namespace

ServiceVideoReturnView::ServiceVideoReturnView(ServiceQueueModel *model, ServiceQueueEditor *editor, Seams seams,
                                               ServiceActionResult *results, QWidget *parent)
    : QGroupBox(parent), m_model(model), m_editor(editor), m_seams(std::move(seams)), m_results(results)
{
    setObjectName(QStringLiteral("service.video.return"));
    build();
    bind();
    refresh();
}

bool ServiceVideoReturnView::preparedDraftsExpanded() const
{
    return m_draftsToggle->isChecked();
}

void ServiceVideoReturnView::build()
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(8, 8, 8, 8);
    m_column->setSpacing(12);

    // 1. The receipt of the last send.
    m_receipt = new QWidget(this);
    QLabel *receiptIcon = nullptr;
    QWidget *receiptRow = symbolRow(m_receipt, QStringLiteral("service.video.receipt"), &receiptIcon, &m_receiptText);
    Symbols::apply(receiptIcon, QStringLiteral("paperplane"));
    auto *receiptColumn = new QVBoxLayout(m_receipt);
    receiptColumn->setContentsMargins(0, 0, 0, 0);
    receiptColumn->addWidget(receiptRow);
    receiptColumn->addWidget(
        UiKit::label(loc("Refresh history for the customer's latest decision. A send receipt is not approval."),
                     {.scale = 0.9, .secondary = true}, m_receipt));
    m_column->addWidget(m_receipt);

    // 2. Preparation of a new draft.
    m_preparation = new QWidget(this);
    auto *preparation = new QVBoxLayout(m_preparation);
    preparation->setContentsMargins(0, 0, 0, 0);
    preparation->setSpacing(12);
    m_unavailable = UiKit::label(loc("New video versions can be prepared when this task is assigned to you and is "
                                 "active or has requested changes."), {.secondary = true}, m_preparation);
    m_unavailable->setObjectName(QStringLiteral("service.video.preparationUnavailable"));
    preparation->addWidget(m_unavailable);
    m_form = new QWidget(m_preparation);
    auto *form = new QVBoxLayout(m_form);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(8);
    form->addWidget(UiKit::label(loc("Choose the exported video, review this exact version, then send it to the customer."),
                                 {.secondary = true}, m_form));
    QPushButton *choose = button(m_form, loc("Vælg eksporteret video…"), QStringLiteral("film"),
                                 QStringLiteral("service.video.choose"));
    UiKit::makeProminent(choose);
    form->addWidget(choose, 0, Qt::AlignLeft);
    m_file = UiKit::label(QString(), {.scale = 0.9}, m_form);
    m_file->setObjectName(QStringLiteral("service.video.file"));
    form->addWidget(m_file);
    m_label = new QLineEdit(m_form);
    m_label->setObjectName(QStringLiteral("service.video.label"));
    m_label->setPlaceholderText(loc("Versionsnavn"));
    form->addWidget(m_label);
    m_summary = new QPlainTextEdit(m_form);
    m_summary->setObjectName(QStringLiteral("service.video.summary"));
    m_summary->setPlaceholderText(loc("Hvad er ændret, og hvad skal kunden se efter?"));
    m_summary->setTabChangesFocus(true);
    const int line = m_summary->fontMetrics().lineSpacing();
    const int frame = 2 * (m_summary->frameWidth() + int(m_summary->document()->documentMargin()));
    m_summary->setMinimumHeight(2 * line + frame);
    m_summary->setMaximumHeight(5 * line + frame);
    form->addWidget(m_summary);
    m_editorName = new QLineEdit(m_form);
    m_editorName->setObjectName(QStringLiteral("service.video.editor"));
    m_editorName->setPlaceholderText(loc("Klipperens navn"));
    form->addWidget(m_editorName);
    form->addWidget(UiKit::label(loc("Changing the video or these details clears the preview and quality check. Prepare "
                                 "and watch the updated version before sending."), {.scale = 0.9, .secondary = true}, m_form));
    m_prepare = button(m_form, loc("Klargør og gennemgå video"), QStringLiteral("checkmark.shield"),
                       QStringLiteral("service.video.prepare"));
    form->addWidget(m_prepare, 0, Qt::AlignLeft);
    preparation->addWidget(m_form);
    m_column->addWidget(m_preparation);
    connect(choose, &QPushButton::clicked, this, &ServiceVideoReturnView::chooseMovie);
    connect(m_prepare, &QPushButton::clicked, this, [this] {
        const auto prepare = [this] { m_model->prepareVideo(*m_editor); };
        if (m_results)
            m_results->await(m_preview->objectName(), prepare);
        else
            prepare();
    });

    // 3. The draft under review.
    m_draft = new QWidget(this);
    auto *draft = new QVBoxLayout(m_draft);
    draft->setContentsMargins(0, 0, 0, 0);
    draft->setSpacing(8);
    auto *divider = new QFrame(m_draft);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    draft->addWidget(divider);
    draft->addWidget(symbolRow(m_draft, QStringLiteral("service.video.stage"), &m_stageIcon, &m_stage));
    m_unconfirmedNote = UiKit::label(loc("Keep this frozen version. Check its receipt or retry the same reviewed proposal."),
                                     {.secondary = true}, m_draft);
    draft->addWidget(m_unconfirmedNote);
    m_preview = new VideoReviewPreviewView(m_seams.players, m_draft);
    m_preview->setObjectName(QStringLiteral("service.video.preview"));
    draft->addWidget(m_preview);
    m_baseRevision = UiKit::label(QString(), {.secondary = true}, m_draft);
    m_baseRevision->setObjectName(QStringLiteral("service.video.baseRevision"));
    draft->addWidget(m_baseRevision);
    m_remember = wrappingCheck(m_draft, draft, loc("Husk det valgte projekt til kommende afleveringer"),
                               QStringLiteral("service.video.rememberProject"));
    QPushButton *preserve = button(m_draft, loc("Gem editorprojekt til denne version…"),
                                   QStringLiteral("externaldrive.badge.plus"), QStringLiteral("service.video.preserveProject"));
    QPushButton *versions = button(m_draft, loc("Vis gemte projektversioner"), QString(),
                                   QStringLiteral("service.video.projectVersionsShow"));
    draft->addWidget(preserve, 0, Qt::AlignLeft);
    draft->addWidget(versions, 0, Qt::AlignLeft);
    m_projects = new NativeProjectVersionsView(m_seams.desktop, m_draft);
    draft->addWidget(m_projects);
    m_qc = wrappingCheck(m_draft, draft, loc("Jeg har set denne video og kontrolleret billede, lyd og kundens krav"),
                         QStringLiteral("service.video.qc"));
    QPushButton *check = button(m_draft, loc("Check this version's send receipt"), QStringLiteral("arrow.clockwise"),
                                QStringLiteral("service.video.checkReceipt"));
    draft->addWidget(check, 0, Qt::AlignLeft);
    m_send = button(m_draft, loc("Send dette udkast til kundereview…"), QStringLiteral("paperplane"),
                    QStringLiteral("service.video.send"));
    UiKit::makeProminent(m_send);
    draft->addWidget(m_send, 0, Qt::AlignLeft);
    m_notice = UiKit::label(QString(), {.scale = 0.9, .secondary = true}, m_draft);
    m_notice->setObjectName(QStringLiteral("service.video.notice"));
    draft->addWidget(m_notice);
    m_column->addWidget(m_draft);
    connect(preserve, &QPushButton::clicked, this, &ServiceVideoReturnView::chooseProject);
    connect(versions, &QPushButton::clicked, this, [this] {
        if (m_model->videoDraft().videoPreview())
            m_model->readProjectVersions(*m_editor, m_model->videoDraft().videoPreview()->proposalID);
    });
    connect(check, &QPushButton::clicked, this, [this] {
        if (const auto draft = m_model->videoDraft().videoPreview())
            m_model->checkVideoDelivery(*draft, *m_editor, false);
    });
    connect(m_send, &QPushButton::clicked, this, [this] { m_model->videoDraft().setVideoConfirmation(true); });

    // 4. The drafts prepared earlier.
    m_draftsToggle = new QToolButton(this);
    m_draftsToggle->setObjectName(QStringLiteral("service.video.preparedDrafts"));
    m_draftsToggle->setText(loc("Prepared drafts (optional)"));
    m_draftsToggle->setCheckable(true);
    m_draftsToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_draftsToggle->setArrowType(Qt::RightArrow);
    m_draftsToggle->setAutoRaise(true);
    m_column->addWidget(m_draftsToggle, 0, Qt::AlignLeft);
    m_drafts = new QWidget(this);
    m_draftRows = new QVBoxLayout(m_drafts);
    m_draftRows->setContentsMargins(0, 8, 0, 0);
    m_draftRows->setSpacing(10);
    QPushButton *refreshDrafts = button(m_drafts, loc("Refresh prepared drafts"), QStringLiteral("arrow.clockwise"),
                                        QStringLiteral("service.video.refresh"));
    m_draftRows->addWidget(refreshDrafts, 0, Qt::AlignLeft);
    m_drafts->hide();
    m_column->addWidget(m_drafts);
    m_column->addStretch(1);
    connect(refreshDrafts, &QPushButton::clicked, this, [this] { m_model->refreshVideoPreviews(*m_editor); });
    connect(m_draftsToggle, &QToolButton::toggled, this, [this](bool open) {
        m_draftsToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_drafts->setVisible(open);
    });
}

void ServiceVideoReturnView::bind()
{
    // The person's own edits go through the model's edit operations (which
    // drop the draft they no longer describe); values the model puts back
    // (another task opened, its fields restored) only update the fields.
    connect(m_label, &QLineEdit::textEdited, this,
            [this](const QString &value) { m_model->editVideoText(ServiceQueueModel::VideoText::label, value); });
    connect(m_editorName, &QLineEdit::textEdited, this,
            [this](const QString &value) { m_model->editVideoText(ServiceQueueModel::VideoText::editor, value); });
    connect(m_summary, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writing)
            m_model->editVideoText(ServiceQueueModel::VideoText::summary, m_summary->toPlainText());
    });
    connect(m_qc, &QCheckBox::toggled, this, [this](bool on) { m_model->videoDraft().setVideoQC(on); });
    connect(m_remember, &QCheckBox::toggled, this, [this](bool on) { m_model->projectCopies().setRememberEditorProject(on); });

    connect(&m_model->videoDraft(), &ServiceVideoDraft::changed, this, &ServiceVideoReturnView::refresh);
    connect(&m_model->projectCopies(), &ServiceProjectCopies::changed, this, &ServiceVideoReturnView::refresh);
    connect(&m_model->directory(), &ServiceCompanyDirectory::changed, this, &ServiceVideoReturnView::refresh);
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(m_model->openedTask(), this, {&A::detail, &A::download}, [this] { refresh(); });
}

void ServiceVideoReturnView::chooseMovie()
{
    if (!m_seams.movies)
        return;
    QPointer<ServiceVideoReturnView> self(this);
    m_seams.movies->chooseMovie(this, [self](const std::optional<QUrl> &file) {
        if (!self || !file)
            return;
        self->m_model->chooseVideoFile(*file);
    });
}

void ServiceVideoReturnView::chooseProject()
{
    if (!m_seams.projects)
        return;
    QPointer<ServiceVideoReturnView> self(this);
    m_seams.projects->chooseProject(
        this, loc("Luk Final Cut-biblioteket, eller vælg en færdig Resolve-projekteksport (.drp). Originalen bevares."),
        [self](const std::optional<QUrl> &project) {
            if (self && project)
                self->m_model->preserveProject(*self->m_editor, *project);
        });
}

void ServiceVideoReturnView::showEvent(QShowEvent *event)
{
    QGroupBox::showEvent(event);
    refresh();
}

void ServiceVideoReturnView::refresh()
{
    namespace P = VideoReturnPresentation;
    const ServiceQueueModel &model = *m_model;
    setTitle(P::title(model));

    const auto receipt = P::receiptText(model);
    m_receipt->setVisible(receipt.has_value());
    m_receiptText->setText(receipt.value_or(QString()));

    const bool canPrepare = model.canPrepareVideo(*m_editor);
    m_preparation->setVisible(P::showsPreparationForm(model));
    m_unavailable->setVisible(!canPrepare);
    m_form->setEnabled(canPrepare);
    m_file->setText(P::fileText(model));
    if (m_label->text() != model.videoDraft().videoLabel())
        m_label->setText(model.videoDraft().videoLabel());
    if (m_editorName->text() != model.videoDraft().videoEditor())
        m_editorName->setText(model.videoDraft().videoEditor());
    if (m_summary->toPlainText() != model.videoDraft().videoSummary()) {
        m_writing = true;
        m_summary->setPlainText(model.videoDraft().videoSummary());
        m_writing = false;
    }
    m_prepare->setEnabled(P::prepareEnabled(model));

    const auto &draft = model.videoDraft().videoPreview();
    m_draft->setVisible(draft.has_value());
    if (draft) {
        const ServiceVideoStage stage = model.videoStage(*draft);
        m_stage->setText(VideoStage::title(stage));
        Symbols::apply(m_stageIcon, P::stageSymbol(stage));
        const bool warning = stage == ServiceVideoStage::sendUnconfirmed;
        warning ? UiKit::setInk(m_stage, UiKit::Ink::caution) : UiKit::clearInk(m_stage);
        m_unconfirmedNote->setVisible(warning);
        m_preview->setPreview(*draft);
        if (m_results)
            m_results->arrived(m_preview);
        const auto note = P::baseRevisionNote(model, *draft);
        m_baseRevision->setVisible(note.has_value());
        m_baseRevision->setText(note.value_or(QString()));
        const bool copies = P::showsProjectCopies(model, *draft);
        m_projects->setVisible(copies);
        if (copies) {
            const QString proposalID = draft->proposalID;
            QPointer<ServiceVideoReturnView> self(this);
            m_projects->setContent(model.projectCopies().projectVersions(), model.projectCopies().automaticProjectNames(), model.projectCopies().requiresProjectSelection(),
                             [self, proposalID] {
                                 if (self)
                                     self->m_model->clearProjectRegistration(*self->m_editor, proposalID);
                             });
        }
        m_notice->setText(loc(draft->notice));
    }
    {
        const QSignalBlocker qc(m_qc);
        const QSignalBlocker remember(m_remember);
        m_qc->setChecked(model.videoDraft().videoQC());
        m_remember->setChecked(model.projectCopies().rememberEditorProject());
    }
    m_send->setEnabled(model.videoDraft().videoQC());
    showDrafts();
}

void ServiceVideoReturnView::showDrafts()
{
    QStringList ids;
    for (const VideoReviewPreview &draft : m_model->videoDraft().videoPreviews())
        ids << draft.proposalID + QLatin1Char('\n') + draft.content.title;
    if (ids == m_listedDrafts)
        return;
    m_listedDrafts = ids;
    while (m_draftRows->count() > 1) {
        QLayoutItem *item = m_draftRows->takeAt(1);
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    for (const VideoReviewPreview &draft : m_model->videoDraft().videoPreviews()) {
        auto *row = new QPushButton(VideoReturnPresentation::reopenText(draft), m_drafts);
        row->setObjectName(QStringLiteral("service.video.reopen.") + draft.proposalID);
        row->setMinimumHeight(44);
        row->setStyleSheet(QStringLiteral("text-align: left; padding-left: 8px;"));
        connect(row, &QPushButton::clicked, this, [this, draft] { m_model->checkVideoDelivery(draft, *m_editor, true); });
        m_draftRows->addWidget(row);
    }
}
