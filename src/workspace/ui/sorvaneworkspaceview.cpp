#include "sorvaneworkspaceview.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxmodel.h"
#include "foundation/ui/uikit.h"
#include "sorvaneinboxcolumn.h"
#include "sorvanenotices.h"
#include "sorvanesidebar.h"
#include "workspace/sorvaneworkspace.h"
#include "foundation/ui/symbols.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
// Keeps one banner's height free above the detail. Measured when the column
// is first laid out: a widget of the opening window measures no text while
// it is made.
class NoticesPlace final : public QWidget
{
public:
    NoticesPlace(SorvaneNotices *notices, QWidget *parent) : QWidget(parent), m_notices(notices)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QSize sizeHint() const override
    {
        if (m_height < 0)
            m_height = m_notices->reservedHeight();
        return {0, m_height};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    SorvaneNotices *m_notices;
    mutable int m_height = -1;
};
} // namespace

SorvaneWorkspaceView::SorvaneWorkspaceView(SorvaneWorkspace &workspace, DetailFactory detail, SorvaneClock clock,
                                           QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_detailFactory(std::move(detail))
{
    setObjectName(QStringLiteral("sorvane.workspace"));
    if (!clock)
        clock = [] { return QDateTime::currentDateTime(); };

    m_refresh = new QAction(Symbols::icon(QStringLiteral("arrow.clockwise")), loc("Refresh inbox"), this);
    m_refresh->setObjectName(QStringLiteral("sorvane.refresh"));
    m_refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_refresh->setShortcutContext(Qt::WindowShortcut);
    connect(m_refresh, &QAction::triggered, &workspace, &SorvaneWorkspace::refresh);
    addAction(m_refresh);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(1);
    layout->addWidget(m_splitter);

    // The columns go into the splitter when the view is first polished, on
    // its way to the screen: the splitter measures every column it is given
    // (their texts' sizes), and the window is built before the fonts are read.
    m_sidebar = new SorvaneSidebar(workspace, this);
    m_sidebar->setMinimumWidth(sidebarMinimum);
    m_sidebar->setMaximumWidth(sidebarMaximum);
    m_content = new SorvaneInboxColumn(workspace, clock, this);
    m_content->setMinimumWidth(contentMinimum);
    m_content->setMaximumWidth(contentMaximum);

    m_detailColumn = new QWidget(this);
    QWidget *detailColumn = m_detailColumn;
    detailColumn->setObjectName(QStringLiteral("sorvane.detail"));
    detailColumn->setMinimumWidth(detailMinimum);
    auto *detailLayout = new QVBoxLayout(detailColumn);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    // Floats over the column's top: never moves what is under the pointer.
    auto *notices = new SorvaneNotices(workspace, detailColumn);
    detailLayout->addWidget(new NoticesPlace(notices, detailColumn));
    m_detail = new QStackedWidget(detailColumn);
    // Into the stack while still empty: the stack shows its first page, and a
    // page shown with its contents lays them out at a size nobody sees.
    m_emptyDetail = new QWidget(m_detail);
    m_emptyDetail->setObjectName(QStringLiteral("sorvane.detail.empty"));
    m_detail->addWidget(m_emptyDetail);
    auto *empty = new QVBoxLayout(m_emptyDetail);
    empty->setContentsMargins(32, 32, 32, 32);
    empty->setSpacing(8);
    empty->addStretch(1);
    auto *symbol = new QLabel(Symbols::glyph(QStringLiteral("tray.full")), m_emptyDetail);
    QFont big = symbol->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    symbol->setFont(big);
    symbol->setAlignment(Qt::AlignCenter);
    UiKit::setSecondary(symbol);
    empty->addWidget(symbol);
    auto *title = UiKit::label(loc("Choose an editing task"), UiKit::TextStyle::Title2Bold, m_emptyDetail);
    title->setAlignment(Qt::AlignCenter);
    empty->addWidget(title);
    auto *description = UiKit::label(loc("Customer, campaign, instructions and versions stay together here."),
                                            UiKit::TextStyle::Callout, m_emptyDetail);
    description->setAlignment(Qt::AlignCenter);
    UiKit::setSecondary(description);
    empty->addWidget(description);
    empty->addStretch(1);
    detailLayout->addWidget(m_detail, 1);

    connect(&workspace, &SorvaneWorkspace::stateChanged, this, &SorvaneWorkspaceView::showState);
    connect(&workspace, &SorvaneWorkspace::layoutChanged, this, &SorvaneWorkspaceView::applyWidths);
    connect(&workspace.inbox(), &SorvaneInboxModel::selectedIDChanged, this, &SorvaneWorkspaceView::showSelection);
    connect(&workspace.inbox(), &SorvaneInboxModel::itemsChanged, this, &SorvaneWorkspaceView::showSelection);
    connect(&workspace.inbox(), &SorvaneInboxModel::nextItemChanged, this, &SorvaneWorkspaceView::showSelection);
    showState();
    showSelection();
}

bool SorvaneWorkspaceView::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Polish)
        assemble();
    return handled;
}

// Each column is polished first, so it has its final content (the inbox
// column makes its search field then) when the splitter measures it.
void SorvaneWorkspaceView::assemble()
{
    if (m_splitter->count() > 0)
        return;
    for (QWidget *column : {static_cast<QWidget *>(m_sidebar), static_cast<QWidget *>(m_content), m_detailColumn}) {
        column->ensurePolished();
        m_splitter->addWidget(column);
    }
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    applyWidths();
}

QWidget *SorvaneWorkspaceView::sidebar() const
{
    return m_sidebar;
}

// The widths as soon as the view has its size on the way to its first show
// (before its children are shown), so the columns are laid out once, at
// these widths, rather than at the old ones and again on showEvent().
void SorvaneWorkspaceView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_appeared)
        applyWidths();
}

void SorvaneWorkspaceView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    applyWidths();
    m_workspace.appear();
}

// The ideal widths, the detail column taking what is left.
void SorvaneWorkspaceView::applyWidths()
{
    if (m_splitter->count() == 0)
        return; // applied once the columns are in
    const int total = qMax(width(), sidebarMinimum + contentMinimum + detailMinimum);
    const int sidebar = m_sidebar->isVisible() || !m_appeared ? sidebarIdeal : 0;
    const int ideal = m_workspace.showsTable() ? contentTableIdeal : contentIdeal;
    const int content = qBound(contentMinimum, qMin(ideal, total - sidebar - detailMinimum), contentMaximum);
    m_splitter->setSizes({sidebar, content, qMax(detailMinimum, total - sidebar - content)});
}

void SorvaneWorkspaceView::showState()
{
    m_refresh->setEnabled(m_workspace.refreshEnabled());
    const bool enabled = m_workspace.inboxEnabled();
    if (enabled == !m_content->held())
        return;
    if (!enabled) {
        // The search field stays usable (typing a search is what often holds
        // the column: its new selection opens a task), so keys typed there
        // keep arriving. Disabling any other control that has the keyboard
        // would pass it to the next control in the chain, often a button in
        // the detail (a typed space would press it): the view, which takes
        // no keys, holds it until the column is back (a window left without a
        // focus widget gives it to its first control when activated again).
        // The window's own focus widget: the window may not be the active one
        // (a sheet over it, the person in another window).
        QWidget *focus = window()->focusWidget();
        if (focus && m_content->isAncestorOf(focus) && !m_content->keepsKeys(focus)) {
            m_parkedFocus = focus;
            setFocus(Qt::OtherFocusReason);
        }
        m_content->setHeld(true);
        return;
    }
    m_content->setHeld(false);
    const QPointer<QWidget> parked = m_parkedFocus;
    m_parkedFocus.clear();
    // Unless the person has moved on to another control meanwhile.
    if (parked && window()->focusWidget() == this && parked->isVisible() && parked->isEnabled())
        parked->setFocus(Qt::OtherFocusReason);
}

void SorvaneWorkspaceView::showSelection()
{
    const bool selected = m_workspace.inbox().selectedItem().has_value();
    if (selected && !m_detailView) {
        m_detailView = m_detailFactory ? m_detailFactory(m_detail) : nullptr;
        if (!m_detailView) {
            auto *plain = new QLabel(m_detail);
            plain->setObjectName(QStringLiteral("sorvane.detail.task"));
            plain->setAlignment(Qt::AlignCenter);
            plain->setWordWrap(true);
            m_detailView = plain;
        }
        m_detail->addWidget(m_detailView);
    }
    if (auto *plain = qobject_cast<QLabel *>(m_detailView); plain && selected)
        plain->setText(m_workspace.inbox().selectedItem()->request.title);
    m_detail->setCurrentWidget(selected ? m_detailView : m_emptyDetail);
}
