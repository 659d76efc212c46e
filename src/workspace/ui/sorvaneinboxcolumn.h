#pragma once

#include "sorvaneinboxviews.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;
class SorvaneInboxListModel;
class SorvaneInboxTableModel;
class SorvaneWorkspace;

// The workspace's middle column: the filter's title and explanation, the
// search field, the layout picker, the sort and group menus, then the task
// list, the table or an empty state, and the footnote.
class SorvaneInboxColumn final : public QWidget
{
    Q_OBJECT
public:
    SorvaneInboxColumn(SorvaneWorkspace &workspace, SorvaneClock clock, QWidget *parent = nullptr);

    // While held every control but the search field is disabled: a search
    // being typed can start the work that holds the column (its new selection
    // opens a task), and the keys typed meanwhile belong to the search.
    void setHeld(bool held);
    bool held() const { return m_held; }
    // Whether `widget` is a control that stays usable while the column is held.
    bool keepsKeys(const QWidget *widget) const;

protected:
    bool event(QEvent *event) override;

private:
    void buildSearch();
    void buildPages();
    void buildEmptyState(QWidget *panel);
    QWidget *buildTable(SorvaneClock clock);
    void showState();
    void showPreferences();

    SorvaneWorkspace &m_workspace;
    SorvaneInboxListModel *m_listModel;
    SorvaneInboxTableModel *m_tableModel;
    QLabel *m_title;
    QLabel *m_explanation;
    QLabel *m_customer;
    QToolButton *m_inboxLayout;
    QToolButton *m_tableLayout;
    QHBoxLayout *m_searchRow;
    QLineEdit *m_search = nullptr; // made when first polished
    QToolButton *m_sort;
    QToolButton *m_group;
    QProgressBar *m_progress;
    QStackedWidget *m_main;
    QWidget *m_empty;
    QLabel *m_emptyTitle;
    QLabel *m_emptyDescription;
    QPushButton *m_emptyAction;
    SorvaneClock m_clock;
    QWidget *m_listPage = nullptr;
    QWidget *m_tablePage = nullptr;
    QWidget *m_pinned = nullptr;
    QList<QPushButton *> m_more;
    bool m_held = false;
};
