#include "sorvaneinboxcolumn.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxlistmodel.h"
#include "inbox/sorvaneinboxmodel.h"
#include "foundation/ui/uikit.h"
#include "workspace/sorvaneinboxtablemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "foundation/ui/symbols.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

template<class Option>
QToolButton *optionMenu(const QString &title, const QString &symbol, const QString &identifier,
                        const QList<std::pair<QString, Option>> &entries, std::function<void(Option)> choose,
                        QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(identifier);
    button->setText(title);
    button->setIcon(Symbols::icon(symbol));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    UiKit::setTextStyle(button, UiKit::TextStyle::Callout);
    auto *menu = new QMenu(title, button);
    menu->setObjectName(identifier + QStringLiteral(".menu"));
    auto *group = new QActionGroup(menu);
    for (const auto &[text, option] : entries) {
        QAction *action = menu->addAction(text);
        action->setCheckable(true);
        action->setData(int(option));
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, button, [choose, option = option] { choose(option); });
    }
    button->setMenu(menu);
    return button;
}

void check(QToolButton *menuButton, int value)
{
    for (QAction *action : menuButton->menu()->actions())
        action->setChecked(action->data().toInt() == value);
}

} // namespace

SorvaneInboxColumn::SorvaneInboxColumn(SorvaneWorkspace &workspace, SorvaneClock clock, QWidget *parent)
    : QWidget(parent), m_workspace(workspace)
{
    setObjectName(QStringLiteral("sorvane.content"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // 1. Title and layout picker.
    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("sorvane.filter.title"));
    UiKit::setTextStyle(m_title, UiKit::TextStyle::Title2Bold);
    header->addWidget(m_title, 1);
    auto *picker = new QWidget(this);
    picker->setObjectName(QStringLiteral("sorvane.layout"));
    picker->setAccessibleName(loc("Layout"));
    picker->setFixedWidth(82);
    auto *segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto *choices = new QButtonGroup(picker);
    const auto segment = [&](const QString &symbol, const QString &value) {
        auto *button = new QToolButton(picker);
        button->setObjectName(QStringLiteral("sorvane.layout.") + value);
        button->setCheckable(true);
        button->setIcon(Symbols::icon(symbol));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        choices->addButton(button);
        segments->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, value] { m_workspace.setLayout(value); });
        return button;
    };
    m_inboxLayout = segment(QStringLiteral("list.bullet.rectangle"), QStringLiteral("inbox"));
    m_tableLayout = segment(QStringLiteral("tablecells"), QStringLiteral("list"));
    header->addWidget(picker);
    layout->addLayout(header);

    // 2. Explanation and the chosen customer.
    auto *explanation = new QVBoxLayout;
    explanation->setContentsMargins(16, 0, 16, 12);
    explanation->setSpacing(6);
    m_explanation = UiKit::label(QString(), UiKit::TextStyle::Caption, this);
    m_explanation->setObjectName(QStringLiteral("sorvane.filter.explanation"));
    UiKit::setSecondary(m_explanation);
    explanation->addWidget(m_explanation);
    m_customer = UiKit::label(QString(), UiKit::TextStyle::Callout, this);
    m_customer->setObjectName(QStringLiteral("sorvane.filter.customer"));
    QFont medium = m_customer->font();
    medium.setWeight(QFont::Medium);
    m_customer->setFont(medium);
    // Its line is kept while no customer is chosen: choosing one in the
    // sidebar must not move the search field under it from where a click aims.
    QSizePolicy kept = m_customer->sizePolicy();
    kept.setRetainSizeWhenHidden(true);
    m_customer->setSizePolicy(kept);
    explanation->addWidget(m_customer);
    layout->addLayout(explanation);

    // 3. Search: the field itself is made when the column is first polished
    // (buildSearch()), since a line edit lays its text out when it is made.
    m_searchRow = new QHBoxLayout;
    m_searchRow->setContentsMargins(14, 0, 14, 10);
    layout->addLayout(m_searchRow);

    // 4. Sort and group.
    auto *menus = new QHBoxLayout;
    menus->setContentsMargins(14, 0, 14, 10);
    m_sort = optionMenu<SorvaneInboxSort>(
        loc("Sort"), QStringLiteral("arrow.up.arrow.down"), QStringLiteral("sorvane.sort"),
        {{loc("Start deadline"), SorvaneInboxSort::priority},
         {loc("Film name"), SorvaneInboxSort::title},
         {loc("Customer"), SorvaneInboxSort::company},
         {loc("Recently updated"), SorvaneInboxSort::updated}},
        [this](SorvaneInboxSort sort) {
            SorvaneInboxPreferences p = m_workspace.inbox().preferences();
            p.sort = sort;
            m_workspace.inbox().setPreferences(p);
        },
        this);
    m_group = optionMenu<SorvaneInboxGrouping>(
        loc("Group"), QStringLiteral("rectangle.3.group"), QStringLiteral("sorvane.group"),
        {{loc("No grouping"), SorvaneInboxGrouping::none},
         {loc("Customer"), SorvaneInboxGrouping::company},
         {loc("Campaign"), SorvaneInboxGrouping::campaign},
         {loc("Status"), SorvaneInboxGrouping::status}},
        [this](SorvaneInboxGrouping group) {
            SorvaneInboxPreferences p = m_workspace.inbox().preferences();
            p.group = group;
            m_workspace.inbox().setPreferences(p);
        },
        this);
    menus->addWidget(m_sort);
    menus->addWidget(m_group);
    menus->addStretch(1);
    m_progress = UiKit::smallProgress(this);
    m_progress->setObjectName(QStringLiteral("sorvane.loading"));
    menus->addWidget(m_progress);
    layout->addLayout(menus);

    // 5. Divider, 6. main area.
    layout->addWidget(divider(this));
    m_main = new QStackedWidget(this);
    // Into the stack while still empty: the stack shows its first page, and a
    // page shown with its contents lays them out at a size nobody sees.
    m_empty = new QWidget(m_main);
    m_main->addWidget(m_empty);
    buildEmptyState(m_empty);

    // The list and table pages wait for the first tasks: the window starts on
    // the empty state, and its first frame should not pay for two item views.
    m_listModel = new SorvaneInboxListModel(&workspace.inbox(), this);
    m_tableModel = new SorvaneInboxTableModel(&workspace.inbox(), this);
    m_clock = std::move(clock);
    layout->addWidget(m_main, 1);

    // 7. Footnote.
    auto *footnote = UiKit::label(loc("View order does not change production priority."),
                                         UiKit::TextStyle::Caption, this);
    footnote->setObjectName(QStringLiteral("sorvane.footnote"));
    UiKit::setSecondary(footnote);
    footnote->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(footnote);

    connect(&workspace, &SorvaneWorkspace::stateChanged, this, &SorvaneInboxColumn::showState);
    connect(&workspace, &SorvaneWorkspace::customersChanged, this, &SorvaneInboxColumn::showState);
    connect(&workspace, &SorvaneWorkspace::layoutChanged, this, &SorvaneInboxColumn::showState);
    connect(&workspace.inbox(), &SorvaneInboxModel::preferencesChanged, this, &SorvaneInboxColumn::showPreferences);
    showPreferences();
    showState();
}

bool SorvaneInboxColumn::event(QEvent *event)
{
    if (event->type() == QEvent::Polish)
        buildSearch();
    return QWidget::event(event);
}

void SorvaneInboxColumn::buildSearch()
{
    if (m_search)
        return;
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("sorvane.search"));
    m_search->setPlaceholderText(loc("Search customer, film or campaign"));
    m_search->setClearButtonEnabled(true);
    m_search->setText(m_workspace.inbox().preferences().query);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        SorvaneInboxPreferences p = m_workspace.inbox().preferences();
        if (p.query == text)
            return;
        p.query = text;
        m_workspace.inbox().setPreferences(p);
    });
    m_searchRow->addWidget(m_search);
    // Keyboard focus reaches it where it sits: after the layout picker.
    QWidget::setTabOrder(m_tableLayout, m_search);
}

void SorvaneInboxColumn::setHeld(bool held)
{
    m_held = held;
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child != m_search && !child->isWindow())
            child->setEnabled(!held);
}

bool SorvaneInboxColumn::keepsKeys(const QWidget *widget) const
{
    return m_search && widget && (widget == m_search || m_search->isAncestorOf(widget));
}

void SorvaneInboxColumn::buildPages()
{
    if (m_listPage)
        return;
    m_listPage = new QWidget(m_main);
    auto *listLayout = new QVBoxLayout(m_listPage);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    auto *list = new SorvaneInboxItemView(m_workspace, m_listModel, SorvaneInboxListModel::RequestIDRole,
                                          [model = m_listModel](const QString &id) { return model->indexOf(id); },
                                          m_listPage);
    list->setObjectName(QStringLiteral("sorvane.inbox"));
    list->setHeaderHidden(true);
    list->setFrameShape(QFrame::NoFrame);
    list->setItemDelegate(new SorvaneInboxListDelegate(m_workspace, *m_listModel, m_clock, list));
    listLayout->addWidget(list, 1);
    auto *more = UiKit::button(loc("Load more tasks"), m_listPage);
    more->setObjectName(QStringLiteral("sorvane.more"));
    listLayout->addWidget(more, 0, Qt::AlignHCenter);
    m_more.append(more);
    m_main->addWidget(m_listPage);

    m_tablePage = buildTable(m_clock);
    m_main->addWidget(m_tablePage);
    for (QPushButton *button : m_more)
        connect(button, &QPushButton::clicked, this, [this] { m_workspace.loadMore(); });

    // Keyboard focus moves through the pages where they sit, not after the
    // widgets made before them.
    QWidget *previous = m_emptyAction;
    for (QWidget *page : {m_listPage, m_tablePage})
        for (QWidget *next : page->findChildren<QWidget *>()) {
            if (next->focusPolicy() == Qt::NoFocus)
                continue;
            QWidget::setTabOrder(previous, next);
            previous = next;
        }
}

void SorvaneInboxColumn::buildEmptyState(QWidget *panel)
{
    panel->setObjectName(QStringLiteral("sorvane.empty"));
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch(1);
    auto *symbol = new QLabel(Symbols::glyph(QStringLiteral("tray")), panel);
    QFont big = symbol->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    symbol->setFont(big);
    UiKit::setSecondary(symbol);
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);
    m_emptyTitle = UiKit::label(QString(), UiKit::TextStyle::Title2Bold, panel);
    m_emptyTitle->setObjectName(QStringLiteral("sorvane.empty.title"));
    m_emptyTitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_emptyTitle);
    m_emptyDescription = UiKit::label(QString(), UiKit::TextStyle::Callout, panel);
    m_emptyDescription->setObjectName(QStringLiteral("sorvane.empty.description"));
    m_emptyDescription->setAlignment(Qt::AlignCenter);
    UiKit::setSecondary(m_emptyDescription);
    layout->addWidget(m_emptyDescription);
    m_emptyAction = UiKit::button(QString(), panel);
    connect(m_emptyAction, &QPushButton::clicked, this, [this] {
        if (m_workspace.emptyState() == SorvaneEmptyState::signedOut)
            m_workspace.showSettings();
        else
            m_workspace.showFullInbox();
    });
    layout->addWidget(m_emptyAction, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

QWidget *SorvaneInboxColumn::buildTable(SorvaneClock clock)
{
    auto *page = new QWidget(m_main);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pinned = new QWidget(page);
    auto *pinnedLayout = new QVBoxLayout(m_pinned);
    pinnedLayout->setContentsMargins(0, 0, 0, 0);
    pinnedLayout->setSpacing(0);
    pinnedLayout->addWidget(new SorvanePinnedTaskButton(m_workspace, clock, m_pinned));
    pinnedLayout->addWidget(divider(m_pinned));
    layout->addWidget(m_pinned);
    auto *table = new SorvaneInboxItemView(m_workspace, m_tableModel, SorvaneInboxTableModel::RequestIDRole,
                                           [model = m_tableModel](const QString &id) { return model->indexOf(id); },
                                           page);
    table->setObjectName(QStringLiteral("sorvane.table"));
    table->setFrameShape(QFrame::NoFrame);
    table->setAlternatingRowColors(true);
    table->setItemDelegate(new SorvaneInboxTableDelegate(m_workspace, *m_tableModel, table));
    table->header()->setSectionsClickable(false);
    table->header()->setStretchLastSection(false);
    table->header()->setMinimumSectionSize(100);
    table->header()->setSectionResizeMode(SorvaneInboxTableModel::FilmColumn, QHeaderView::Stretch);
    table->header()->setSectionResizeMode(SorvaneInboxTableModel::DeadlineColumn, QHeaderView::Interactive);
    table->header()->resizeSection(SorvaneInboxTableModel::DeadlineColumn, 140);
    layout->addWidget(table, 1);
    auto *more = UiKit::button(loc("Load more tasks"), page);
    more->setObjectName(QStringLiteral("sorvane.table.more"));
    layout->addWidget(more, 0, Qt::AlignHCenter);
    layout->setContentsMargins(0, 0, 0, 0);
    m_more.append(more);
    return page;
}

void SorvaneInboxColumn::showPreferences()
{
    const SorvaneInboxPreferences &p = m_workspace.inbox().preferences();
    if (m_search && m_search->text() != p.query)
        m_search->setText(p.query);
    check(m_sort, int(p.sort));
    check(m_group, int(p.group));
}

void SorvaneInboxColumn::showState()
{
    const SorvaneInboxModel &inbox = m_workspace.inbox();
    const SorvaneInboxFilter filter = inbox.preferences().filter;
    m_title->setText(SorvaneInboxOptions::title(filter));
    m_explanation->setText(SorvaneInboxOptions::explanation(filter));
    const auto customer = m_workspace.selectedCustomerName();
    m_customer->setVisible(customer.has_value());
    // Hidden, the symbol alone keeps the line as tall as a shown one.
    m_customer->setText(Symbols::glyph(QStringLiteral("building.2"))
                        + (customer ? QStringLiteral("  ") + *customer : QString()));
    m_listModel->setActive(!m_workspace.showsTable());
    m_tableModel->setActive(m_workspace.showsTable());
    m_inboxLayout->setChecked(!m_workspace.showsTable());
    m_tableLayout->setChecked(m_workspace.showsTable());
    m_progress->setVisible(inbox.loading());

    const SorvaneEmptyState empty = m_workspace.emptyState();
    if (empty != SorvaneEmptyState::none) {
        const bool signedOut = empty == SorvaneEmptyState::signedOut;
        m_emptyTitle->setText(signedOut ? loc("Sign in to your sorvane inbox") : loc("No tasks in this view"));
        m_emptyDescription->setText(signedOut
                                        ? loc("Open Settings to sign in with your sorvane account.")
                                        : loc("The selected status, customer and search determine which tasks are shown."));
        m_emptyAction->setVisible(empty != SorvaneEmptyState::unfiltered);
        m_emptyAction->setText(signedOut ? loc("Open Settings") : loc("Show the full inbox"));
        m_emptyAction->setObjectName(signedOut ? QStringLiteral("sorvane.openSettings")
                                               : QStringLiteral("sorvane.clearFilters"));
        m_main->setCurrentWidget(m_empty);
    } else {
        buildPages();
        m_main->setCurrentWidget(m_workspace.showsTable() ? m_tablePage : m_listPage);
    }
    if (m_pinned) {
        m_pinned->setVisible(inbox.pinnedNextItem().has_value());
        for (QWidget *pinned : m_pinned->findChildren<SorvanePinnedTaskButton *>()) {
            pinned->updateGeometry();
            pinned->update();
        }
    }
    for (QPushButton *more : m_more) {
        more->setVisible(inbox.hasMore());
        more->setEnabled(!inbox.loading());
    }
}
