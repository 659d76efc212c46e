#pragma once

#include <QAbstractButton>
#include <QDateTime>
#include <QHash>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>

class SorvaneInboxListModel;
class SorvaneInboxTableModel;
class SorvaneWorkspace;
class QTimer;
struct SorvaneInboxRow;

// The time the rows count their start deadlines from; tests fix it.
using SorvaneClock = std::function<QDateTime()>;

// A flat tree view over one of the inbox's item models whose selection is
// the inbox model's selected task, in both directions, without looping.
// Repaints once a minute so the countdowns move.
class SorvaneInboxItemView : public QTreeView
{
    Q_OBJECT
public:
    SorvaneInboxItemView(SorvaneWorkspace &workspace, QAbstractItemModel *model, int requestIDRole,
                         std::function<int(const QString &)> indexOf, QWidget *parent = nullptr);
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    void applySelection();
    void userSelected(const QModelIndex &current);

    SorvaneWorkspace &m_workspace;
    int m_requestIDRole;
    std::function<int(const QString &)> m_indexOf;
    bool m_applying = false;
};

// The task list: section headers and task rows.
class SorvaneInboxListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    SorvaneInboxListDelegate(SorvaneWorkspace &workspace, SorvaneInboxListModel &model, SorvaneClock clock,
                             QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    SorvaneWorkspace &m_workspace;
    SorvaneInboxListModel &m_model;
    SorvaneClock m_clock;
    // Row heights by what they depend on, for the width they were measured at:
    // a long list is measured again only where a row changed.
    mutable QHash<size_t, int> m_heights;
    mutable int m_measuredWidth = -1;
};

// The two cells of a table row.
class SorvaneInboxTableDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // `view` is the table: rows are measured at its columns' widths.
    SorvaneInboxTableDelegate(SorvaneWorkspace &workspace, SorvaneInboxTableModel &model, QTreeView *view);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int cellWidth(int column) const;

    SorvaneWorkspace &m_workspace;
    SorvaneInboxTableModel &m_model;
    QTreeView *m_view;
    // Row heights by what they depend on (see the list's delegate), for the
    // column widths they were measured at.
    mutable QHash<size_t, int> m_heights;
    mutable std::pair<int, int> m_measuredWidths{-1, -1};
};

// The pinned next task above the table: one compact row under "Next in
// production"; a click selects it.
class SorvanePinnedTaskButton final : public QAbstractButton
{
    Q_OBJECT
public:
    SorvanePinnedTaskButton(SorvaneWorkspace &workspace, SorvaneClock clock, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SorvaneWorkspace &m_workspace;
    SorvaneClock m_clock;
};
