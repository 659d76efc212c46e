#include "sorvaneinboxviews.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxlistmodel.h"
#include "inbox/sorvaneinboxmodel.h"
#include "sorvaneinboxrowpainter.h"
#include "workspace/sorvaneinboxtablemodel.h"
#include "workspace/sorvaneworkspace.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

using namespace SorvaneInboxRowPainter;

// ---- selection ----

SorvaneInboxItemView::SorvaneInboxItemView(SorvaneWorkspace &workspace, QAbstractItemModel *model, int requestIDRole,
                                           std::function<int(const QString &)> indexOf, QWidget *parent)
    : QTreeView(parent), m_workspace(workspace), m_requestIDRole(requestIDRole), m_indexOf(std::move(indexOf))
{
    setModel(model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Per item: the scroll range then needs no height of rows out of sight.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(model, &QAbstractItemModel::modelReset, this, &SorvaneInboxItemView::applySelection);
    connect(&workspace.inbox(), &SorvaneInboxModel::selectedIDChanged, this, &SorvaneInboxItemView::applySelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { userSelected(current); });
    auto *minute = new QTimer(this);
    minute->setInterval(60 * 1000);
    connect(minute, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    minute->start();
    // New people change the rows' customer lines (and so their heights).
    if (SorvaneWorkspaceProfiles *profiles = workspace.parts().profiles)
        connect(profiles, &SorvaneWorkspaceProfiles::participantsChanged, this, [this] {
            scheduleDelayedItemsLayout();
            viewport()->update();
        });
    applySelection();
}

// The inbox's selection shown in the view; writes nothing back.
void SorvaneInboxItemView::applySelection()
{
    const auto &selected = m_workspace.inbox().selectedID();
    const int row = selected ? m_indexOf(*selected) : -1;
    m_applying = true;
    if (row < 0) {
        selectionModel()->clear();
    } else {
        // Scrolled there before it is marked: marking finds the row's place
        // by measuring every row between the top of the view and the row.
        // Not a row the view made current itself: a click goes on to select
        // by the press's place, which a scroll now would move onto the next
        // row; the view brings it into sight once the click is over.
        const QModelIndex index = model()->index(row, 0);
        if (currentIndex().row() != row)
            scrollTo(index);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_applying = false;
}

void SorvaneInboxItemView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTreeView::scrollTo(index, hint);
    // Scrolling per row, the tree view counts the rows a page holds from the
    // end of the list: below taller rows, a row cut off at the bottom counts
    // as shown. It goes on a row at a time until the row is wholly in sight,
    // or its top would leave it.
    if (hint != EnsureVisible || !index.isValid())
        return;
    QScrollBar *bar = verticalScrollBar();
    for (QRect rect = visualRect(index);
         rect.bottom() >= viewport()->height() && rect.top() > 0 && bar->value() < bar->maximum();
         rect = visualRect(index))
        bar->setValue(bar->value() + 1);
}

// A click on no row (the space below the last) leaves the selection as it
// is: it cleared the view's while the inbox kept its task open.
QItemSelectionModel::SelectionFlags SorvaneInboxItemView::selectionCommand(const QModelIndex &index,
                                                                           const QEvent *event) const
{
    return index.isValid() ? QTreeView::selectionCommand(index, event) : QItemSelectionModel::NoUpdate;
}

void SorvaneInboxItemView::userSelected(const QModelIndex &current)
{
    if (m_applying)
        return;
    const QVariant id = current.isValid() ? model()->data(current.siblingAtColumn(0), m_requestIDRole) : QVariant();
    if (!id.isValid()) {
        // A section header is not a task: the selection stays where it was.
        QMetaObject::invokeMethod(this, &SorvaneInboxItemView::applySelection, Qt::QueuedConnection);
        return;
    }
    m_workspace.select(id.toString());
}

// ---- the task list ----

SorvaneInboxListDelegate::SorvaneInboxListDelegate(SorvaneWorkspace &workspace, SorvaneInboxListModel &model,
                                                   SorvaneClock clock, QObject *parent)
    : QStyledItemDelegate(parent), m_workspace(workspace), m_model(model), m_clock(std::move(clock))
{
}

namespace {
constexpr int horizontalPadding = 12;
constexpr int headerHeight = 26;
} // namespace

void SorvaneInboxListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    painter->save();
    const QRect area = option.rect.adjusted(horizontalPadding, 0, -horizontalPadding, 0);
    if (m_model.isHeader(index.row())) {
        painter->setFont(caption(option.font, true));
        painter->setPen(secondary(option.palette));
        painter->drawText(area.adjusted(0, 6, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }
    QColor background = option.palette.color(QPalette::Base);
    if (option.state & QStyle::State_Selected) {
        background = selectedBackground(option.palette, background);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(background);
        painter->drawRoundedRect(QRectF(option.rect.adjusted(4, 1, -4, -1)), 6, 6);
    }
    const SorvaneInboxRow &row = m_model.row(index.row());
    Input input{&row,     m_workspace.customer(row), m_model.isPinned(index.row()), m_workspace.showsTable(),
                m_clock(), background};
    SorvaneInboxRowPainter::paint(painter, area, input, option.palette, option.font);
    painter->restore();
}

QSize SorvaneInboxListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (m_model.isHeader(index.row()))
        return {100, headerHeight};
    const int width = qMax(120, option.rect.width() > 0 ? option.rect.width() : 300) - 2 * horizontalPadding;
    if (width != m_measuredWidth) {
        m_heights.clear();
        m_measuredWidth = width;
    }
    const SorvaneInboxRow &row = m_model.row(index.row());
    const auto face = m_workspace.customer(row);
    const bool pinned = m_model.isPinned(index.row());
    const bool compact = m_workspace.showsTable();
    const SorvaneScheduling &s = row.scheduling;
    // A hash of what the height depends on: no text is built for the key.
    const size_t key = qHashMulti(0, row.request.id, row.request.title, row.film.campaignTitle.value_or(QString()),
                                  row.request.status.text(), int(row.request.kind), s.startedAt.has_value(),
                                  s.dueAt.has_value(), s.blockedReason ? int(*s.blockedReason) : -1, row.company.name,
                                  row.company.contactName.value_or(QString()),
                                  face && face->displayName ? *face->displayName : QString(), pinned, compact);
    auto found = m_heights.constFind(key);
    if (found == m_heights.constEnd()) {
        Input input{&row, face, pinned, compact, m_clock()};
        found = m_heights.insert(key, SorvaneInboxRowPainter::height(input, width, option.font));
    }
    return {width, *found};
}

// ---- the table ----

SorvaneInboxTableDelegate::SorvaneInboxTableDelegate(SorvaneWorkspace &workspace, SorvaneInboxTableModel &model,
                                                     QTreeView *view)
    : QStyledItemDelegate(view), m_workspace(workspace), m_model(model), m_view(view)
{
    // A column's width decides how its texts wrap, so a new width lays the
    // rows out again (the view itself only repaints them).
    // One layout per turn, however many sections moved.
    auto *relayout = new QTimer(this);
    relayout->setSingleShot(true);
    relayout->setInterval(0);
    connect(relayout, &QTimer::timeout, view, &QTreeView::doItemsLayout);
    connect(view->header(), &QHeaderView::sectionResized, relayout, qOverload<>(&QTimer::start));
}

// The width a cell's lines get: its column's, less the cell's margins.
int SorvaneInboxTableDelegate::cellWidth(int column) const
{
    const int section = m_view->header()->sectionSize(column);
    return qMax(40, (section > 0 ? section : (column == 0 ? 220 : 140)) - 12);
}

namespace {

struct TableLine
{
    QString text;
    QFont font;
    bool dim = false;
    int maxLines = 1;
    bool customer = false;
};

QList<TableLine> tableLines(const SorvaneInboxTableModel &model, const QModelIndex &index, const QFont &font)
{
    QList<TableLine> lines;
    if (index.column() == SorvaneInboxTableModel::FilmColumn) {
        const QVariant group = index.data(SorvaneInboxTableModel::GroupTitleRole);
        if (group.isValid())
            lines.append({group.toString(), caption(font, true), true});
        QFont title = font;
        title.setWeight(QFont::DemiBold);
        lines.append({index.data(Qt::DisplayRole).toString(), title, false, 2});
        lines.append({{}, font, false, 1, true});
        const QVariant campaign = index.data(SorvaneInboxTableModel::CampaignRole);
        if (campaign.isValid())
            lines.append({campaign.toString(), caption(font), true});
    } else {
        QFont digits = caption(font);
        digits.setStyleHint(QFont::Monospace);
        lines.append({index.data(Qt::DisplayRole).toString(), digits});
        lines.append({index.data(SorvaneInboxTableModel::StatusRole).toString(), caption(font), true});
    }
    Q_UNUSED(model);
    return lines;
}

int lineHeight(const TableLine &line, int width)
{
    if (line.maxLines == 1)
        return QFontMetrics(line.font).lineSpacing();
    const QRect bound = QFontMetrics(line.font).boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, line.text);
    return qMin(bound.height(), line.maxLines * QFontMetrics(line.font).lineSpacing());
}

} // namespace

void SorvaneInboxTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    painter->save();
    painter->setClipRect(option.rect); // never into the next row, whatever was measured
    // What the second lines are drawn on: the row's own colour (alternating), or its selected background.
    const QColor own = option.palette.color(option.features & QStyleOptionViewItem::Alternate ? QPalette::AlternateBase
                                                                                              : QPalette::Base);
    // Apart from the rows around it, which are of both colours.
    const QColor background = option.state & QStyle::State_Selected
        ? selectedBackground(option.palette, own,
                             {option.palette.color(QPalette::Base), option.palette.color(QPalette::AlternateBase)})
        : own;
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, background);
    const QRect area = option.rect.adjusted(6, 4, -6, -4);
    int y = area.top();
    for (const TableLine &line : tableLines(m_model, index, option.font)) {
        if (line.customer) {
            const SorvaneInboxRow &row = m_model.row(index.row());
            const auto face = m_workspace.customer(row);
            const int height = customerHeight(row, face, true, area.width(), option.font);
            paintCustomer(painter, QRect(area.left(), y, area.width(), height), row, face, true, option.palette,
                          option.font, background);
            y += height + 4;
            continue;
        }
        const int height = lineHeight(line, area.width());
        painter->setFont(line.font);
        painter->setPen(line.dim ? secondary(option.palette, background) : option.palette.color(QPalette::Text));
        const QString text = line.maxLines == 1
            ? QFontMetrics(line.font).elidedText(line.text, Qt::ElideRight, area.width())
            : line.text;
        painter->drawText(QRect(area.left(), y, area.width(), height), Qt::AlignLeft | Qt::TextWordWrap, text);
        y += height + 4;
    }
    painter->restore();
}

QSize SorvaneInboxTableDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const SorvaneInboxRow &row = m_model.row(index.row());
    const auto face = m_workspace.customer(row);
    const std::pair<int, int> widths{cellWidth(0), cellWidth(1)};
    if (widths != m_measuredWidths) {
        m_heights.clear();
        m_measuredWidths = widths;
    }
    const size_t key = qHashMulti(0, row.request.id, row.request.title, row.film.campaignTitle.value_or(QString()),
                                  index.siblingAtColumn(0).data(SorvaneInboxTableModel::GroupTitleRole).toString(),
                                  row.company.name, row.company.contactName.value_or(QString()),
                                  face && face->displayName ? *face->displayName : QString());
    if (const auto found = m_heights.constFind(key); found != m_heights.constEnd())
        return {index.column() == 0 ? 220 : 140, *found};
    // The row is as tall as its taller cell: both are measured.
    int tallest = 0;
    for (int column = 0; column < 2; ++column) {
        const QModelIndex cell = index.siblingAtColumn(column);
        const int width = column == 0 ? widths.first : widths.second;
        int height = 8;
        for (const TableLine &line : tableLines(m_model, cell, option.font)) {
            if (line.customer) {
                const SorvaneInboxRow &row = m_model.row(index.row());
                height += customerHeight(row, m_workspace.customer(row), true, width, option.font) + 4;
            } else {
                height += lineHeight(line, width) + 4;
            }
        }
        tallest = qMax(tallest, height - 4);
    }
    m_heights.insert(key, tallest);
    return {index.column() == 0 ? 220 : 140, tallest};
}

// ---- the pinned task above the table ----

SorvanePinnedTaskButton::SorvanePinnedTaskButton(SorvaneWorkspace &workspace, SorvaneClock clock, QWidget *parent)
    : QAbstractButton(parent), m_workspace(workspace), m_clock(std::move(clock))
{
    setObjectName(QStringLiteral("sorvane.table.next"));
    setCursor(Qt::PointingHandCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (const auto pinned = m_workspace.inbox().pinnedNextItem())
            m_workspace.select(pinned->request.id);
    });
    auto *minute = new QTimer(this);
    minute->setInterval(60 * 1000);
    connect(minute, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    minute->start();
    if (SorvaneWorkspaceProfiles *profiles = workspace.parts().profiles)
        connect(profiles, &SorvaneWorkspaceProfiles::participantsChanged, this, [this] {
            updateGeometry();
            update();
        });
}

int SorvanePinnedTaskButton::heightForWidth(int width) const
{
    const auto pinned = m_workspace.inbox().pinnedNextItem();
    if (!pinned)
        return 0;
    const int inner = width - 24;
    Input input{&*pinned, m_workspace.customer(*pinned), true, true, m_clock()};
    return 12 + QFontMetrics(caption(font(), true)).lineSpacing() + 4 + SorvaneInboxRowPainter::height(input, inner, font())
        + 12;
}

QSize SorvanePinnedTaskButton::sizeHint() const
{
    return {300, heightForWidth(width() > 0 ? width() : 300)};
}

void SorvanePinnedTaskButton::paintEvent(QPaintEvent *)
{
    const auto pinned = m_workspace.inbox().pinnedNextItem();
    if (!pinned)
        return;
    QPainter painter(this);
    QColor background = palette().color(QPalette::Window);
    if (isDown()) {
        constexpr float tint = 0.12f;
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlphaF(tint);
        painter.fillRect(rect(), fill);
        background = highlighted(palette(), background, tint);
    } else if (hasFocus()) {
        // A ring, not a fill: a filled card read as a second selected row.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect area = rect().adjusted(12, 12, -12, -12);
    const QFont header = caption(font(), true);
    painter.setFont(header);
    painter.setPen(palette().color(QPalette::WindowText));
    const int headerHeight = QFontMetrics(header).lineSpacing();
    painter.drawText(QRect(area.left(), area.top(), area.width(), headerHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     loc("Next in production"));
    Input input{&*pinned, m_workspace.customer(*pinned), true, true, m_clock(), background};
    SorvaneInboxRowPainter::paint(&painter, QRect(area.left(), area.top() + headerHeight + 4, area.width(), 0), input,
                                  palette(), font());
}
