#include "foundation/units/datetimetext.h"
#include "sorvaneticketdetail.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "foundation/ui/sourcefacts/sorvanesourcefacts.h"
#include "inbox/sorvaneinboxmodel.h"
#include "profiles/ui/sorvaneavatarview.h"
#include "profiles/ui/sorvaneticketcustomerview.h"
#include "editor/editorpresentation.h"
#include "servicequeue/proposals/servicetaskpresentation.h"
#include "servicequeue/servicequeuemodel.h"
#include "foundation/ui/uikit.h"
#include "workspace/sorvanedate.h"
#include "workspace/sorvaneworkspace.h"
#include "foundation/ui/symbols.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

using namespace SorvaneTicket;
using UiKit::TextStyle;

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

// A symbol and a text side by side; returns the text's label.
QWidget *symbolLine(const QString &symbol, const QString &text, TextStyle style, QWidget *parent,
                    QLabel **textLabel = nullptr)
{
    auto *line = new QWidget(parent);
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    auto *picture = new QLabel(Symbols::glyph(symbol), line);
    UiKit::setTextStyle(picture, style);
    picture->setAlignment(Qt::AlignTop);
    auto *label = UiKit::label(text, style, line);
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addWidget(label, 1);
    if (textLabel)
        *textLabel = label;
    return line;
}

// The stack holds only the section shown, the others stay its hidden
// children: a stacked layout measures its height for a width by every page it
// holds, so a long section left behind (the versions with their players)
// would stretch a short one.
void showSection(QStackedWidget *stack, QWidget *section)
{
    if (stack->indexOf(section) < 0)
        stack->addWidget(section);
    stack->setCurrentWidget(section);
    for (int i = stack->count() - 1; i >= 0; --i)
        if (QWidget *other = stack->widget(i); other != section)
            stack->removeWidget(other);
}

QPushButton *prominent(const QString &text, const QString &symbol, QWidget *parent)
{
    auto *button = UiKit::button(text, parent);
    Symbols::apply(button, symbol);
    UiKit::fillWithAccent(button);
    return button;
}

} // namespace

// ---- the section picker ----

SorvaneTabPicker::SorvaneTabPicker(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sorvane.detail.tabs"));
    setAccessibleName(loc("Task section"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_segments = new QTabBar(this);
    m_segments->setObjectName(QStringLiteral("sorvane.detail.tabs.segments"));
    m_segments->setDrawBase(false);
    m_segments->setExpanding(false);
    m_segments->setUsesScrollButtons(false);
    m_segments->setElideMode(Qt::ElideNone);
    m_segments->setAccessibleName(loc("Task section"));
    m_menu = new QComboBox(this);
    m_menu->setObjectName(QStringLiteral("sorvane.detail.tabs.menu"));
    m_menu->setAccessibleName(loc("Task section"));
    for (SorvaneDetailTab tab : allTabs()) {
        const QString title = EditorLocalization::text(rawValue(tab), EditorLocalization::language());
        m_segments->addTab(title);
        m_menu->addItem(title);
    }
    connect(m_segments, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index < allTabs().size())
            Q_EMIT tabChosen(allTabs().at(index));
    });
    connect(m_menu, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < allTabs().size())
            Q_EMIT tabChosen(allTabs().at(index));
    });
    arrange();
}

void SorvaneTabPicker::setTab(SorvaneDetailTab tab)
{
    m_tab = tab;
    const int index = int(allTabs().indexOf(tab));
    const QSignalBlocker segments(m_segments);
    const QSignalBlocker menu(m_menu);
    m_segments->setCurrentIndex(index);
    m_menu->setCurrentIndex(index);
}

bool SorvaneTabPicker::showsMenu() const
{
    return !m_menu->isHidden();
}

QSize SorvaneTabPicker::sizeHint() const
{
    const QSize segments = m_segments->sizeHint();
    return {segments.width(), qMax(segments.height(), m_menu->sizeHint().height())};
}

QSize SorvaneTabPicker::minimumSizeHint() const
{
    return {m_menu->minimumSizeHint().width(), sizeHint().height()};
}

void SorvaneTabPicker::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void SorvaneTabPicker::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        arrange();
}

// The segments exactly when they fit; no width of its own decides.
void SorvaneTabPicker::arrange()
{
    const bool fits = m_segments->sizeHint().width() <= width();
    m_segments->setVisible(fits);
    m_menu->setVisible(!fits);
    const int height = sizeHint().height();
    m_segments->setGeometry(0, 0, m_segments->sizeHint().width(), height);
    m_menu->setGeometry(0, 0, qMin(width(), qMax(m_menu->sizeHint().width(), 160)), m_menu->sizeHint().height());
}

// ---- the ticket detail ----

SorvaneTicketDetail::SorvaneTicketDetail(SorvaneWorkspace &workspace, Embeds embeds, SorvaneClock clock,
                                         QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_embeds(std::move(embeds)), m_clock(std::move(clock))
{
    setObjectName(QStringLiteral("sorvane.ticket"));
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };

    // One scroll area for the whole detail, scrolling only when the column is
    // too short for it. The task and versions sections show all they hold
    // (neither scrolls on its own, so the wheel never passes from one scroll
    // area to another and a result below the visible part can be brought
    // into view here); no part is squeezed to nothing.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = m_scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("sorvane.ticket.scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto *body = new QWidget(scroll);
    body->setObjectName(QStringLiteral("sorvane.ticket.body"));
    scroll->setWidget(body); // handed over empty: nothing is laid out before it is filled
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(body);
    header->setObjectName(QStringLiteral("sorvane.ticket.header"));
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(22, 22, 22, 22);
    headerLayout->setSpacing(12);

    const SorvaneInboxRow none;
    m_customer = new SorvaneTicketCustomerView(none, std::nullopt, false, header);
    headerLayout->addWidget(m_customer);

    m_title = new QLabel(header);
    m_title->setObjectName(QStringLiteral("sorvane.ticket.title"));
    m_title->setWordWrap(true);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont title = m_title->font();
    title.setPointSizeF(title.pointSizeF() * 22.0 / 13.0);
    title.setBold(true);
    m_title->setFont(title);
    headerLayout->addWidget(m_title);

    m_instructor = new QWidget(header);
    m_instructor->setObjectName(QStringLiteral("sorvane.instructorIdentity"));
    auto *instructor = new QHBoxLayout(m_instructor);
    instructor->setContentsMargins(0, 0, 0, 0);
    instructor->setSpacing(8);
    m_instructorAvatar = new SorvaneAvatarView(std::nullopt, loc("Assigned instructor"), 28, m_instructor);
    m_instructorName = UiKit::label(QString(), TextStyle::Callout, m_instructor);
    UiKit::setSecondary(m_instructorName);
    instructor->addWidget(m_instructorAvatar, 0, Qt::AlignVCenter);
    instructor->addWidget(m_instructorName, 1, Qt::AlignVCenter);
    headerLayout->addWidget(m_instructor);

    m_campaign = symbolLine(QStringLiteral("square.stack.3d.up"), QString(), TextStyle::Callout, header,
                            &m_campaignTitle);
    m_campaign->setObjectName(QStringLiteral("sorvane.ticket.campaign"));
    UiKit::setSecondary(m_campaign);
    for (QLabel *label : m_campaign->findChildren<QLabel *>())
        UiKit::setSecondary(label);
    headerLayout->addWidget(m_campaign);

    m_statusHolder = new QVBoxLayout;
    m_statusHolder->setContentsMargins(0, 0, 0, 0);
    headerLayout->addLayout(m_statusHolder);

    m_folder = new QWidget(header);
    m_folder->setObjectName(QStringLiteral("sorvane.ticket.folder"));
    auto *folder = new QHBoxLayout(m_folder);
    folder->setContentsMargins(0, 0, 0, 0);
    auto *disk = symbolLine(QStringLiteral("externaldrive"), QString(), TextStyle::Caption, m_folder, &m_folderDisk);
    m_folderPath = UiKit::label(QString(), TextStyle::Caption, m_folder);
    UiKit::setSecondary(m_folderPath);
    m_folderPath->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_folderPath->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *choose = UiKit::button(loc("Choose project folder…"), m_folder);
    choose->setObjectName(QStringLiteral("sorvane.ticket.chooseFolder"));
    UiKit::setTextStyle(choose, TextStyle::Caption);
    connect(choose, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::chooseStorage);
    m_folderButton = choose;
    folder->addWidget(disk, 0, Qt::AlignTop);
    folder->addWidget(m_folderPath, 1, Qt::AlignTop);
    folder->addWidget(choose, 0, Qt::AlignTop);
    headerLayout->addWidget(m_folder);
    m_storageIssue = symbolLine(QStringLiteral("exclamationmark.triangle"), QString(), TextStyle::Caption, header,
                                &m_storageIssueText);
    m_storageIssue->setObjectName(QStringLiteral("sorvane.ticket.storageIssue"));
    for (QLabel *label : m_storageIssue->findChildren<QLabel *>())
        UiKit::setInk(label, UiKit::Ink::attention, true);
    headerLayout->addWidget(m_storageIssue);

    m_picker = new SorvaneTabPicker(header);
    connect(m_picker, &SorvaneTabPicker::tabChosen, this, &SorvaneTicketDetail::setTab);
    headerLayout->addWidget(m_picker);
    layout->addWidget(header);
    layout->addWidget(divider(body));

    m_sections = new QStackedWidget(body);
    m_sections->setObjectName(QStringLiteral("sorvane.ticket.section"));
    // At least room for a task's first actions; the section grows with what
    // it shows and takes the rest of a taller column.
    m_sections->setMinimumHeight(minimumSectionHeight);
    m_opening = new QWidget(m_sections);
    m_opening->setObjectName(QStringLiteral("sorvane.ticket.opening"));
    auto *opening = new QVBoxLayout(m_opening);
    opening->setContentsMargins(22, 22, 22, 22);
    opening->addStretch(1);
    auto *symbol = new QLabel(Symbols::glyph(QStringLiteral("doc.text")), m_opening);
    QFont big = symbol->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    symbol->setFont(big);
    symbol->setAlignment(Qt::AlignCenter);
    UiKit::setSecondary(symbol);
    opening->addWidget(symbol);
    m_openingTitle = UiKit::label(loc("Opening task…"), TextStyle::Title2Bold, m_opening);
    m_openingTitle->setAlignment(Qt::AlignCenter);
    opening->addWidget(m_openingTitle);
    m_openingText = UiKit::label(loc("The server checks access to this customer's submitted version."),
                                 TextStyle::Callout, m_opening);
    m_openingText->setAlignment(Qt::AlignCenter);
    UiKit::setSecondary(m_openingText);
    opening->addWidget(m_openingText);
    auto *openAgain = UiKit::button(loc("Open task"), m_opening);
    openAgain->setObjectName(QStringLiteral("sorvane.ticket.openAgain"));
    connect(openAgain, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::openSelectionAgain);
    m_openAgain = openAgain;
    opening->addWidget(openAgain, 0, Qt::AlignHCenter);
    opening->addStretch(1);
    m_sections->addWidget(m_opening);
    m_source = new QScrollArea(m_sections);
    m_source->setObjectName(QStringLiteral("sorvane.ticket.source"));
    m_source->setWidgetResizable(true);
    m_source->setFrameShape(QFrame::NoFrame);
    m_source->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_source->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_source->hide();
    layout->addWidget(m_sections, 1);

    // The customer's pipeline (built by its own view) sits here.
    m_pipelineDivider = divider(body);
    layout->addWidget(m_pipelineDivider);
    m_pipelineSlot = new QWidget(body);
    m_pipelineSlot->setObjectName(QStringLiteral("sorvane.ticket.pipelineSlot"));
    auto *pipeline = new QVBoxLayout(m_pipelineSlot);
    pipeline->setContentsMargins(0, 0, 0, 0);
    if (m_embeds.pipeline)
        if (QWidget *view = m_embeds.pipeline(m_pipelineSlot))
            pipeline->addWidget(view);
    const bool hasPipeline = pipeline->count() > 0;
    m_pipelineDivider->setVisible(hasPipeline);
    m_pipelineSlot->setVisible(hasPipeline);
    layout->addWidget(m_pipelineSlot);

    m_minute = new QTimer(this);
    m_minute->setInterval(60 * 1000);
    connect(m_minute, &QTimer::timeout, this, &SorvaneTicketDetail::refreshDeadline);
    m_minute->start();

    EditorModel *editor = m_workspace.parts().editor;
    ServiceQueueModel *queue = m_workspace.parts().queue;
    SorvaneInboxModel *inbox = &m_workspace.inbox();
    const auto update = [this] { refresh(); };
    const auto source = [this] {
        m_sourceStale = true;
        refresh();
    };
    for (auto signal : {&EditorModel::busyChanged, &EditorModel::storageDiskChanged, &EditorModel::storagePathChanged,
                        &EditorModel::storageIssueChanged, &EditorModel::credentialsChanged,
                        &EditorModel::companyChanged})
        connect(editor, signal, this, update);
    for (auto signal : {&ServiceQueueModel::sorvaneOpeningChanged, &ServiceQueueModel::sorvaneOpenIntentChanged})
        connect(queue, signal, this, update);
    connect(editor, &EditorModel::inboxChanged, this, source);
    connectAssigned(queue->openedTask(), this, {&ServiceOpenedTask::Assignments::detail}, update);
    const ServiceCompanyDirectory &directory = queue->directory();
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.loadingCompanies(); }, update);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.companies(); }, update);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.selectedCompanyID(); }, update);
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(queue->openedTask(), this, {&A::download, &A::inlineBrief}, source);
    for (auto signal : {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::nextItemChanged,
                        &SorvaneInboxModel::operatorIDChanged, &SorvaneInboxModel::selectedIDChanged,
                        &SorvaneInboxModel::loadingChanged, &SorvaneInboxModel::mutatingChanged})
        connect(inbox, signal, this, update);
    if (SorvaneWorkspaceProfiles *profiles = m_workspace.parts().profiles)
        connect(profiles, &SorvaneWorkspaceProfiles::participantsChanged, this, update);
    refresh();
}

bool SorvaneTicketDetail::held(const SorvaneWorkspace &workspace)
{
    const SorvaneWorkspace::Parts &parts = workspace.parts();
    return parts.editor->busy() || parts.inbox->loading() || parts.inbox->mutating()
        || parts.queue->directory().loadingCompanies();
}

void SorvaneTicketDetail::setTab(SorvaneDetailTab tab)
{
    m_picker->setTab(tab);
    if (tab == m_tab)
        return;
    m_tab = tab;
    refresh();
}

void SorvaneTicketDetail::refresh()
{
    const auto row = m_workspace.inbox().selectedItem();
    if (!row) {
        // The workspace shows its own empty state; whatever is chosen next
        // comes up on the task section, even the same task again.
        m_requestID.reset();
        m_tab = SorvaneDetailTab::task;
        m_sourceStale = true;
        m_picker->setTab(m_tab);
        return;
    }
    // Another task, or one chosen after none, starts at its header. After
    // none is also how a task opens when the inbox reads its rows again (it
    // forgets them meanwhile) and then selects another one.
    if (!m_requestID || *m_requestID != row->request.id) {
        m_tab = SorvaneDetailTab::task;
        m_sourceStale = true;
        m_scroll->verticalScrollBar()->setValue(0);
    }
    m_requestID = row->request.id;
    m_picker->setTab(m_tab);
    setEnabled(!held(m_workspace));
    refreshHeader(*row);
    refreshStatus(*row);
    refreshFolder(*row);
    refreshSection(*row);
}

void SorvaneTicketDetail::refreshHeader(const SorvaneInboxRow &row)
{
    const auto people = m_workspace.participants(row);
    m_customer->setCustomer(row, people ? std::optional(people->customer) : m_workspace.customer(row));
    m_title->setText(row.request.title);
    const bool instructor = people && people->instructor;
    m_instructor->setVisible(instructor);
    if (instructor) {
        m_instructorAvatar->setPerson(people->instructor, loc("Assigned instructor"));
        m_instructorName->setText(
            loc("Instructor: %@", {people->instructor->displayName.value_or(loc("Assigned instructor"))}));
    }
    m_campaign->setVisible(row.film.campaignTitle.has_value());
    m_campaignTitle->setText(row.film.campaignTitle.value_or(QString()));
}

void SorvaneTicketDetail::refreshStatus(const SorvaneInboxRow &row)
{
    const ServiceQueueModel &queue = *m_workspace.parts().queue;
    const SorvaneInboxModel &inbox = m_workspace.inbox();
    const Action action = SorvaneTicket::action(row, inbox.operatorID(), inbox.nextItem(), queue.openedTask().detail());
    const QString stage = ServiceTaskPresentation{row.request, queue.openedTask().detail()}.statusTitle();
    const SorvaneScheduling &s = row.scheduling;
    const bool closed = isClosed(row);
    // Rebuilt only when something it shows changes: a button may be mid-click.
    const QString key = QStringList{row.request.id, stage, QString::number(int(row.request.kind)),
                                    QString::number(closed), s.startedAt.value_or(QStringLiteral("-")), s.dueAt.value_or(QStringLiteral("-")),
                                    QString::number(s.targetHours), QString::number(int(action.kind)), action.text,
                                    QString::number(action.enabled), action.hint.value_or(QString())}
                            .join(u'\n');
    if (key == m_statusKey && m_status)
        return;
    m_statusKey = key;
    if (m_status) {
        m_status->hide();
        m_status->deleteLater();
    }
    m_deadline = nullptr;
    m_deadlineDue.reset();
    m_status = new QWidget(m_title->parentWidget());
    m_status->setObjectName(QStringLiteral("sorvane.ticket.status"));
    m_statusHolder->addWidget(m_status);

    auto *stageLine = symbolLine(EditorPresentation::kindSymbol(row.request.kind), stage, TextStyle::Callout, m_status);
    stageLine->setObjectName(QStringLiteral("sorvane.task.stage"));
    if (closed) {
        auto *column = new QVBoxLayout(m_status);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        column->addWidget(stageLine);
        column->addWidget(actionArea(row, action, m_status), 0, Qt::AlignLeft);
        return;
    }
    auto *line = new QHBoxLayout(m_status);
    line->setContentsMargins(0, 0, 0, 0);
    auto *lines = new QVBoxLayout;
    lines->setSpacing(4);
    lines->addWidget(stageLine);
    if (s.startedAt) {
        lines->addWidget(UiKit::label(loc("Editing started %@", {shortDateTimeText(*s.startedAt)}), TextStyle::Caption,
                                      m_status));
    } else if (s.dueAt) {
        lines->addWidget(UiKit::label(loc("Start by %@", {shortDateTimeText(*s.dueAt)}), TextStyle::Caption, m_status));
        m_deadline = UiKit::label(QString(), TextStyle::Caption, m_status);
        m_deadline->setObjectName(QStringLiteral("sorvane.ticket.deadline"));
        m_deadlineDue = *s.dueAt;
        lines->addWidget(m_deadline);
        refreshDeadline();
    }
    if (row.request.kind == ServiceKind::filmEditing) {
        auto *target = UiKit::label(loc("Internal start target · %lld h", {s.targetHours}), TextStyle::Caption,
                                    m_status);
        target->setObjectName(QStringLiteral("sorvane.ticket.target"));
        UiKit::setSecondary(target);
        lines->addWidget(target);
    }
    line->addLayout(lines, 1);
    line->addWidget(actionArea(row, action, m_status), 0, Qt::AlignTop);
}

void SorvaneTicketDetail::refreshDeadline()
{
    if (!m_deadline || !m_deadlineDue)
        return;
    const auto deadline = SorvaneDeadline::at(*m_deadlineDue, m_clock());
    m_deadline->setVisible(deadline.has_value());
    if (!deadline)
        return;
    m_deadline->setText(deadline->text());
    // Secondary until it passes; the ink then wins.
    UiKit::setSecondary(m_deadline);
    if (deadline->exceeded)
        UiKit::setInk(m_deadline, UiKit::Ink::attention, true);
}

QWidget *SorvaneTicketDetail::actionArea(const SorvaneInboxRow &row, const Action &action, QWidget *parent)
{
    auto *area = new QWidget(parent);
    area->setObjectName(QStringLiteral("sorvane.ticket.action"));
    auto *layout = new QHBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    switch (action.kind) {
    case Action::Kind::none:
        area->hide();
        return area;
    case Action::Kind::blocked: {
        auto *sentence = UiKit::label(action.text, TextStyle::Callout, area);
        UiKit::setSecondary(sentence);
        sentence->setAlignment(Qt::AlignCenter);
        sentence->setMaximumWidth(220);
        layout->addWidget(sentence);
        return area;
    }
    default:
        break;
    }
    static const QHash<Action::Kind, std::pair<const char *, const char *>> looks = {
        {Action::Kind::versions, {"film.stack", "sorvane.closed.versions"}},
        {Action::Kind::takeNext, {"hand.raised", "sorvane.claimNext"}},
        {Action::Kind::claim, {"hand.raised", ""}},
        {Action::Kind::start, {"play.fill", "sorvane.start"}},
    };
    const auto look = looks.value(action.kind);
    auto *button = prominent(action.text, QString::fromLatin1(look.first), area);
    button->setObjectName(QString::fromLatin1(look.second));
    button->setEnabled(action.enabled);
    const Action::Kind kind = action.kind;
    connect(button, &QPushButton::clicked, this, [this, kind] { runAction(kind); });
    layout->addWidget(button, 0, Qt::AlignTop);
    if (action.hint) {
        auto *hint = UiKit::label(*action.hint, TextStyle::Caption, area);
        UiKit::setSecondary(hint);
        hint->setMaximumWidth(180);
        layout->addWidget(hint);
    }
    Q_UNUSED(row);
    return area;
}

void SorvaneTicketDetail::runAction(Action::Kind kind)
{
    const auto row = m_workspace.inbox().selectedItem();
    if (!row)
        return;
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    switch (kind) {
    case Action::Kind::takeNext:
        parts.inbox->claimNext(*parts.queueEditor);
        break;
    case Action::Kind::start:
        parts.inbox->start(*row, *parts.queueEditor);
        break;
    case Action::Kind::claim:
        parts.queue->claim(*parts.queueEditor);
        break;
    case Action::Kind::versions:
        setTab(SorvaneDetailTab::versions);
        break;
    case Action::Kind::none:
    case Action::Kind::blocked:
        break;
    }
}

void SorvaneTicketDetail::refreshFolder(const SorvaneInboxRow &row)
{
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    const bool demo = parts.queue->isDemo();
    m_folder->setVisible(!demo);
    const auto issue = parts.editor->storageIssue();
    m_storageIssue->setVisible(!demo && issue.has_value());
    if (demo)
        return;
    m_storageIssueText->setText(issue.value_or(QString()));
    m_folderDisk->setText(parts.editor->storageDisk().value_or(loc("Project folder")));
    // A path has no spaces to wrap at: it may break after each separator.
    const auto path = parts.editor->storagePath();
    m_folderPath->setText(path ? QString(*path).replace(u'/', QStringLiteral("/\u200B"))
                               : loc("No project folder selected for this customer"));
    // A deep path shows its first two lines only; the sentence without one is shown whole.
    m_folderPath->setMaximumHeight(path ? 2 * m_folderPath->fontMetrics().lineSpacing() : QWIDGETSIZE_MAX);
    m_folderButton->setEnabled(
        parts.queue->sorvaneStorageSelection(row.request, parts.inbox->operatorID(), *parts.queueEditor).has_value());
}

void SorvaneTicketDetail::refreshSection(const SorvaneInboxRow &row)
{
    const ServiceQueueModel &queue = *m_workspace.parts().queue;
    if (!openedHere(row, queue.openedTask().detail())) {
        refreshUnopened(row);
        showSection(m_sections, m_opening);
        return;
    }
    const auto screen = [this](bool versions) -> QWidget * {
        QWidget *made = nullptr;
        if (m_embeds.taskScreen)
            made = m_embeds.taskScreen(versions,
                                       versions ? std::function<void()>()
                                                : [this] { setTab(SorvaneDetailTab::versions); },
                                       m_sections);
        if (!made) {
            auto *plain = new QLabel(m_sections);
            plain->setAlignment(Qt::AlignCenter);
            made = plain;
        }
        made->setObjectName(versions ? QStringLiteral("sorvane.ticket.versions")
                                     : QStringLiteral("sorvane.ticket.task"));
        made->setMinimumHeight(0);
        made->hide();
        return made;
    };
    switch (m_tab) {
    case SorvaneDetailTab::task:
        if (!m_taskScreen)
            m_taskScreen = screen(false);
        showSection(m_sections, m_taskScreen);
        break;
    case SorvaneDetailTab::versions:
        if (!m_versionsScreen)
            m_versionsScreen = screen(true);
        showSection(m_sections, m_versionsScreen);
        break;
    case SorvaneDetailTab::instructions:
    case SorvaneDetailTab::material:
        refreshSource(row);
        showSection(m_sections, m_source);
        break;
    }
}

// "Opening task…" only while an opening of this row runs; otherwise why the
// task is not open, and the click that opens it.
void SorvaneTicketDetail::refreshUnopened(const SorvaneInboxRow &row)
{
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    const auto now = parts.queue->sorvaneOpening(row.request.id);
    const Unopened state = unopened(row, now == ServiceQueueModel::SorvaneOpening::running,
                                    now == ServiceQueueModel::SorvaneOpening::failed, parts.editor->company());
    const bool opening = state.kind == Unopened::Kind::opening;
    m_openingTitle->setVisible(opening);
    m_openingText->setText(state.text);
    m_openAgain->setVisible(!opening);
}

void SorvaneTicketDetail::refreshSource(const SorvaneInboxRow &row)
{
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    const SourceStep step = sourceStep(
        row, parts.inbox->operatorID(), parts.queue->openedTask().download(), !parts.editor->inbox().isEmpty(),
        parts.queue->sorvaneStorageSelection(row.request, parts.inbox->operatorID(), *parts.queueEditor).has_value());
    const QString key = QStringList{row.request.id, rawValue(m_tab), QString::number(int(step.kind)), step.text,
                                    QString::number(step.enabled)}
                            .join(u'\n');
    if (!m_sourceStale && key == m_sourceKey && m_source->widget())
        return;
    m_sourceStale = false;
    m_sourceKey = key;
    QWidget *content = sourceContent(row, m_source);
    // The old content may hold the button being clicked.
    if (QWidget *old = m_source->takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    m_source->setWidget(content);
}

QWidget *SorvaneTicketDetail::sourceContent(const SorvaneInboxRow &row, QWidget *parent)
{
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    const ServiceQueueModel &queue = *parts.queue;
    auto *content = new QWidget(parent);
    content->setObjectName(QStringLiteral("sorvane.ticket.sourceContent"));
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(18);

    if (m_tab == SorvaneDetailTab::instructions && hasVerifiedDownload(queue.openedTask().download())) {
        auto *refresh = UiKit::button(loc("Refresh current instructions"), content);
        refresh->setObjectName(QStringLiteral("service.brief.refresh"));
        Symbols::apply(refresh, QStringLiteral("arrow.clockwise"));
        connect(refresh, &QPushButton::clicked, this, [this] {
            m_workspace.parts().queue->refreshCurrentBrief(*m_workspace.parts().queueEditor);
        });
        column->addWidget(refresh, 0, Qt::AlignLeft);
    }

    if (const auto &brief = queue.openedTask().inlineBrief()) {
        if (m_tab == SorvaneDetailTab::instructions) {
            QWidget *view = m_embeds.brief ? m_embeds.brief(*brief, content) : nullptr;
            if (!view)
                view = UiKit::label(brief->masterprompt, TextStyle::Callout, content);
            column->addWidget(view);
        } else {
            column->addWidget(UiKit::label(loc("Allowed source material"), TextStyle::Title2Bold, content));
            for (const Candidate &candidate : brief->candidates) {
                auto *item = new QWidget(content);
                item->setObjectName(QStringLiteral("sorvane.ticket.candidate"));
                auto *lines = new QVBoxLayout(item);
                lines->setContentsMargins(0, 0, 0, 0);
                lines->setSpacing(6);
                auto *title = new QLabel(candidate.title, item);
                title->setTextFormat(Qt::PlainText);
                title->setWordWrap(true);
                QFont headline = title->font();
                headline.setBold(true);
                title->setFont(headline);
                lines->addWidget(title);
                lines->addWidget(UiKit::label(candidate.interval(), {.scale = 10.0 / 13.0, .monospaced = true}, item));
                lines->addWidget(new SorvaneSourceFacts(candidate, item));
                if (candidate.notes) {
                    auto *notes = new QLabel(*candidate.notes, item);
                    notes->setTextFormat(Qt::PlainText);
                    notes->setWordWrap(true);
                    lines->addWidget(notes);
                }
                column->addWidget(item);
                column->addWidget(divider(content));
            }
            if (brief->candidates.isEmpty())
                column->addWidget(
                    UiKit::label(loc("No selected source material in this submission."), TextStyle::Callout,
                                        content));
        }
        column->addStretch(1);
        return content;
    }

    column->addWidget(UiKit::label(loc("Read the frozen submission"), TextStyle::Title2Bold, content));
    column->addWidget(UiKit::label(
        // clang-format off
        loc("Download the submitted project before opening its instructions and material. Newer customer changes do not replace this version."),
        // clang-format on
        TextStyle::Callout, content));
    const SourceStep step = sourceStep(
        row, parts.inbox->operatorID(), queue.openedTask().download(), !parts.editor->inbox().isEmpty(),
        queue.sorvaneStorageSelection(row.request, parts.inbox->operatorID(), *parts.queueEditor).has_value());
    if (step.kind == SourceStep::Kind::explanation) {
        auto *text = UiKit::label(step.text, TextStyle::Callout, content);
        text->setObjectName(QStringLiteral("sorvane.ticket.step"));
        UiKit::setSecondary(text);
        column->addWidget(text);
    } else {
        static const QHash<SourceStep::Kind, const char *> symbols = {
            {SourceStep::Kind::openBrief, "doc.text"},
            {SourceStep::Kind::chooseFolder, "externaldrive"},
            {SourceStep::Kind::download, "arrow.down.circle"},
        };
        auto *button = UiKit::button(step.text, content);
        Symbols::apply(button, QString::fromLatin1(symbols.value(step.kind)));
        button->setEnabled(step.enabled);
        const SourceStep::Kind kind = step.kind;
        connect(button, &QPushButton::clicked, this, [this, kind] { runStep(kind); });
        column->addWidget(button, 0, Qt::AlignLeft);
    }
    column->addStretch(1);
    return content;
}

void SorvaneTicketDetail::runStep(SourceStep::Kind kind)
{
    const SorvaneWorkspace::Parts &parts = m_workspace.parts();
    switch (kind) {
    case SourceStep::Kind::openBrief:
        parts.queue->readBrief(*parts.queueEditor, false);
        break;
    case SourceStep::Kind::chooseFolder:
        m_workspace.chooseStorage();
        break;
    case SourceStep::Kind::download:
        parts.queue->pull(*parts.queueEditor, true);
        break;
    case SourceStep::Kind::explanation:
        break;
    }
}
