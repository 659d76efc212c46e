#include "sorvanepipelineview.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "inbox/sorvaneinboxmodel.h"
#include "foundation/ui/uikit.h"
#include "sorvanemetadatasheet.h"
#include "workspace/sorvanepipeline.h"
#include "workspace/sorvaneworkspace.h"
#include "foundation/ui/symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QFont captionFont(const QWidget *widget, bool semibold = false)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
    if (semibold)
        font.setWeight(QFont::DemiBold);
    return font;
}

// A title broken into at most two lines of `width`, the second elided.
QString twoLines(const QString &title, const QFont &font, int width)
{
    QTextLayout layout(title, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == 1) {
            lines << QFontMetrics(font).elidedText(title.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        lines << title.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines.join(u'\n');
}

// As tall as its content up to a bound, scrolling beyond it; asked on every
// layout, so content shown later counts.
class BoundedScrollArea final : public QScrollArea
{
public:
    BoundedScrollArea(int minimum, int maximum, QWidget *parent)
        : QScrollArea(parent), m_minimum(minimum), m_maximum(maximum)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    }
    QSize sizeHint() const override { return {QScrollArea::sizeHint().width(), qMin(wanted(), m_maximum)}; }
    QSize minimumSizeHint() const override { return {0, qMin(wanted(), m_minimum)}; }
    // The content's own layout changes never reach the layout this area sits in.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }

private:
    int wanted() const { return widget() ? widget()->sizeHint().height() + 2 * frameWidth() : 0; }
    int m_minimum, m_maximum;
};

} // namespace

SorvanePipelineFilmButton::SorvanePipelineFilmButton(const QString &title, QWidget *parent) : QAbstractButton(parent)
{
    QFont font = captionFont(this);
    font.setUnderline(true);
    setFont(font);
    setText(title);
    setToolTip(title);
    setCursor(Qt::PointingHandCursor);
    m_lines = twoLines(title, font, width);
    setFixedWidth(width);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SorvanePipelineFilmButton::sizeHint() const
{
    const int lines = int(m_lines.count(u'\n')) + 1;
    return {width, fontMetrics().lineSpacing() * lines + 2};
}

void SorvanePipelineFilmButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect().adjusted(0, 1, 0, -1), Qt::AlignLeft | Qt::AlignTop, m_lines);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

SorvanePipelineView::SorvanePipelineView(SorvaneWorkspace &workspace, QWidget *parent)
    : QWidget(parent), m_workspace(workspace)
{
    setObjectName(QStringLiteral("sorvane.pipeline"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(0);

    m_disclosure = new QToolButton(this);
    m_disclosure->setObjectName(QStringLiteral("sorvane.pipeline.disclosure"));
    m_disclosure->setText(Symbols::glyph(QStringLiteral("square.stack.3d.up")) + u' '
                          + loc("Customer film pipeline"));
    m_disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_disclosure->setAutoRaise(true);
    layout->addWidget(m_disclosure, 0, Qt::AlignLeft);

    m_content = new QWidget(this);
    auto *content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 10, 0, 0);
    content->setSpacing(12);
    m_share = UiKit::button(loc("Pipeline sharing settings…"), m_content);
    m_share->setObjectName(QStringLiteral("sorvane.pipeline.share"));
    Symbols::apply(m_share, QStringLiteral("person.badge.shield.checkmark"));
    content->addWidget(m_share, 0, Qt::AlignLeft);
    m_error = UiKit::label(QString(), UiKit::TextStyle::Caption, m_content);
    m_error->setObjectName(QStringLiteral("sorvane.pipeline.error"));
    UiKit::setInk(m_error, UiKit::Ink::attention, true);
    content->addWidget(m_error);
    // All films of a long column may be listed: the body scrolls beyond a
    // bounded height instead of pushing the task above it out of the window.
    m_body = new BoundedScrollArea(bodyMinimum, bodyMaximum, this);
    m_body->setObjectName(QStringLiteral("sorvane.pipeline.body"));
    m_body->setFrameShape(QFrame::NoFrame);
    m_body->setWidgetResizable(true);
    m_body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_body->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_body->setWidget(m_content);
    layout->addWidget(m_body);
    layout->addStretch(1);

    connect(m_disclosure, &QToolButton::clicked, this, [this] { setExpanded(!m_expanded); });
    connect(m_share, &QPushButton::clicked, this, &SorvanePipelineView::openSharing);
    SorvaneInboxModel &inbox = workspace.inbox();
    for (auto signal : {&SorvaneInboxModel::pipelineChanged, &SorvaneInboxModel::pipelineLoadingChanged,
                        &SorvaneInboxModel::pipelineErrorChanged})
        connect(&inbox, signal, this, &SorvanePipelineView::rebuild);
    connect(&inbox, &SorvaneInboxModel::selectingRequestChanged, this, &SorvanePipelineView::applyEnabled);
    if (EditorModel *editor = workspace.parts().editor)
        connect(editor, &EditorModel::busyChanged, this, &SorvanePipelineView::applyEnabled);
    setExpanded(true);
}

SorvanePipelineView::~SorvanePipelineView()
{
    delete m_sheet;
}

void SorvanePipelineView::setItem(const SorvaneInboxRow &item)
{
    const bool sameRow = m_item && m_item->request.id == item.request.id && m_item->company == item.company;
    m_item = item;
    if (!sameRow)
        rebuild();
}

void SorvanePipelineView::followSelection()
{
    const auto follow = [this] {
        if (const auto selected = m_workspace.inbox().selectedItem())
            setItem(*selected);
    };
    SorvaneInboxModel &inbox = m_workspace.inbox();
    for (auto signal : {&SorvaneInboxModel::selectedIDChanged, &SorvaneInboxModel::itemsChanged,
                        &SorvaneInboxModel::nextItemChanged})
        connect(&inbox, signal, this, follow);
    follow();
}

void SorvanePipelineView::setExpanded(bool expanded)
{
    m_expanded = expanded;
    m_disclosure->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_body->setVisible(expanded);
}

// The state block follows the model on every change; the horizontal position
// of the stage strip is kept across a rebuild.
void SorvanePipelineView::rebuild()
{
    const int scrolled = m_strip ? m_strip->horizontalScrollBar()->value() : 0;
    if (m_state) {
        // The pressed button may belong to it: delete it once its click is over.
        m_state->hide();
        m_state->setParent(nullptr);
        m_state->deleteLater();
    }
    m_strip = nullptr;
    m_filmButtons.clear();

    const SorvaneInboxModel &inbox = m_workspace.inbox();
    const auto state = m_item ? SorvanePipeline::state(inbox, *m_item) : SorvanePipeline::State::unavailable;
    switch (state) {
    case SorvanePipeline::State::loaded:
        m_state = loadedBlock(m_content);
        break;
    case SorvanePipeline::State::loading: {
        m_state = new QWidget(m_content);
        auto *row = new QHBoxLayout(m_state);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(UiKit::smallProgress(m_state));
        row->addStretch(1);
        break;
    }
    case SorvanePipeline::State::unavailable:
        m_state = UiKit::label(loc("Customer pipeline is not available yet."), {.secondary = true,
                               .textStyle = UiKit::TextStyle::Caption}, m_content);
        break;
    }
    m_state->setObjectName(QStringLiteral("sorvane.pipeline.state"));
    static_cast<QVBoxLayout *>(m_content->layout())->insertWidget(0, m_state);
    if (m_strip)
        m_strip->horizontalScrollBar()->setValue(scrolled);
    m_body->updateGeometry();

    m_share->setVisible(SorvanePipeline::offersSharing(inbox));
    const auto &error = inbox.pipelineError();
    m_error->setVisible(error.has_value());
    if (error)
        m_error->setText(Symbols::glyph(QStringLiteral("exclamationmark.triangle")) + u' ' + *error);
    m_body->updateGeometry();
    applyEnabled();
}

QWidget *SorvanePipelineView::loadedBlock(QWidget *parent)
{
    const SorvaneInboxModel &inbox = m_workspace.inbox();
    const SorvanePipelinePage &page = *inbox.pipeline();
    const SorvanePipeline::Columns columns = SorvanePipeline::place(page.films);

    auto *block = new QWidget(parent);
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    if (page.company.metadataAccess == SorvaneCompanySummary::MetadataAccess::limited) {
        auto *limited = UiKit::label(loc("Submitted films only · full pipeline has not been shared"),
                                     {.secondary = true, .textStyle = UiKit::TextStyle::Caption}, block);
        limited->setObjectName(QStringLiteral("sorvane.pipeline.limited"));
        layout->addWidget(limited);
    }

    m_strip = new QScrollArea(block);
    m_strip->setObjectName(QStringLiteral("sorvane.pipeline.stages"));
    m_strip->setFrameShape(QFrame::NoFrame);
    UiKit::scrollSideways(m_strip);
    m_strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_strip->setWidgetResizable(true);
    auto *stages = new QWidget(m_strip);
    auto *row = new QHBoxLayout(stages);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(18);
    for (SorvanePipelineStage stage : SorvanePipelineStages::allCases())
        row->addWidget(stageColumn(stage, columns.of(stage), stages), 0, Qt::AlignTop);
    row->addStretch(1);
    m_strip->setWidget(stages);
    // As tall as its columns plus room for the scroll bar, which never covers them.
    m_strip->setFixedHeight(stages->sizeHint().height() + m_strip->horizontalScrollBar()->sizeHint().height());
    layout->addWidget(m_strip);

    if (columns.unplaced > 0) {
        auto *unplaced = UiKit::label(loc("%lld films have no confirmed phase", {qint64(columns.unplaced)}),
                                      {.secondary = true, .textStyle = UiKit::TextStyle::Caption}, block);
        unplaced->setObjectName(QStringLiteral("sorvane.pipeline.unplaced"));
        layout->addWidget(unplaced);
    }
    if (inbox.pipelineHasMore()) {
        auto *more = UiKit::button(loc("Load more films"), block);
        more->setObjectName(QStringLiteral("sorvane.pipeline.more"));
        more->setEnabled(!inbox.pipelineLoading());
        connect(more, &QPushButton::clicked, this, [this] {
            if (m_item && m_workspace.parts().queueEditor)
                m_workspace.inbox().loadPipeline(*m_item, *m_workspace.parts().queueEditor, true);
        });
        layout->addWidget(more, 0, Qt::AlignLeft);
        layout->addWidget(UiKit::label(loc("Counts cover the loaded films."), {.secondary = true,
                                       .textStyle = UiKit::TextStyle::Caption}, block));
    }
    return block;
}

QWidget *SorvanePipelineView::stageColumn(SorvanePipelineStage stage, const QList<SorvanePipelineFilm> &films,
                                          QWidget *parent)
{
    auto *column = new QWidget(parent);
    column->setObjectName(QStringLiteral("sorvane.pipeline.") + SorvanePipelineStages::rawValue(stage));
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // At least 100 wide, and as wide as its widest film: a minimum width set
    // on the column itself would hold it at 100 and cut every 130-wide title,
    // and the strip would end before the last column's films.
    layout->addItem(new QSpacerItem(100, 0, QSizePolicy::Minimum, QSizePolicy::Fixed));

    auto *title = new QLabel(SorvanePipeline::stageTitle(stage), column);
    title->setFont(captionFont(title, true));
    layout->addWidget(title);
    auto *count = new QLabel(QString::number(films.size()), column);
    count->setObjectName(QStringLiteral("sorvane.pipeline.count"));
    QFont big = count->font();
    big.setPointSizeF(big.pointSizeF() * 17.0 / 13.0);
    big.setWeight(QFont::DemiBold);
    big.setStyleHint(QFont::Monospace);
    count->setFont(big);
    layout->addWidget(count);

    const bool expanded = m_expandedStages.contains(stage);
    for (const SorvanePipelineFilm &film : SorvanePipeline::listed(films, expanded)) {
        if (film.requestID) {
            auto *button = new SorvanePipelineFilmButton(film.title, column);
            button->setObjectName(QStringLiteral("sorvane.pipeline.film"));
            connect(button, &QAbstractButton::clicked, this, [this, request = *film.requestID] {
                if (m_workspace.parts().queueEditor)
                    m_workspace.inbox().selectRequest(request, *m_workspace.parts().queueEditor);
            });
            m_filmButtons.append(button);
            layout->addWidget(button);
        } else {
            auto *plain = new QLabel(twoLines(film.title, captionFont(column), SorvanePipelineFilmButton::width),
                                     column);
            plain->setObjectName(QStringLiteral("sorvane.pipeline.filmTitle"));
            plain->setTextFormat(Qt::PlainText);
            plain->setFont(captionFont(plain));
            plain->setFixedWidth(SorvanePipelineFilmButton::width);
            plain->setToolTip(film.title);
            layout->addWidget(plain);
        }
    }
    if (SorvanePipeline::offersToggle(films)) {
        auto *toggle = new QToolButton(column);
        toggle->setText(expanded ? loc("Show fewer films") : loc("Show all films"));
        toggle->setObjectName(QStringLiteral("sorvane.pipeline.toggle"));
        toggle->setAutoRaise(true);
        toggle->setFont(captionFont(toggle));
        toggle->setCursor(Qt::PointingHandCursor);
        connect(toggle, &QToolButton::clicked, this, [this, stage] {
            if (!m_expandedStages.remove(stage))
                m_expandedStages.insert(stage);
            rebuild();
        });
        layout->addWidget(toggle, 0, Qt::AlignLeft);
    }
    return column;
}

void SorvanePipelineView::applyEnabled()
{
    const EditorModel *editor = m_workspace.parts().editor;
    const bool enabled = SorvanePipeline::filmsEnabled(m_workspace.inbox(),
                                                       editor ? editor->busy() : std::optional<QString>());
    for (const auto &button : std::as_const(m_filmButtons))
        if (button)
            button->setEnabled(enabled);
}

void SorvanePipelineView::openSharing()
{
    // A closed sheet is deleted on a later turn: it no longer counts.
    if ((m_sheet && m_sheet->isVisible()) || !m_item || !m_workspace.parts().queueEditor)
        return;
    // A child of the window, not of this panel: the ticket detail around the
    // panel is disabled while work runs, and a disabled parent would disable
    // the sheet with its "Luk". The panel still ends it (see the destructor).
    m_sheet = new SorvaneMetadataSheet(m_workspace.inbox(), *m_item, *m_workspace.parts().queueEditor, window());
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->open();
}
