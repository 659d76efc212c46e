#pragma once

#include "sorvaneinboxviews.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QAction;
class QSplitter;
class QStackedWidget;
class SorvaneInboxColumn;
class SorvaneSidebar;
class SorvaneWorkspace;

// The window's content: sidebar, inbox column and detail column side by
// side, the notices above the detail, and the refresh action.
class SorvaneWorkspaceView final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int sidebarMinimum = 190, sidebarIdeal = 220, sidebarMaximum = 300;
    static constexpr int contentMinimum = 290, contentIdeal = 340, contentTableIdeal = 450, contentMaximum = 650;
    static constexpr int detailMinimum = 360, detailIdeal = 620;

    // Builds the detail of the selected task; none shows a plain panel.
    using DetailFactory = std::function<QWidget *(QWidget *parent)>;

    SorvaneWorkspaceView(SorvaneWorkspace &workspace, DetailFactory detail, SorvaneClock clock = {},
                         QWidget *parent = nullptr);

    SorvaneWorkspace &workspace() const { return m_workspace; }
    QAction *refreshAction() const { return m_refresh; }
    QWidget *sidebar() const;
    // Holds the three columns from the view's first polish (on its way to the
    // screen) on: making the view measures no text.
    QSplitter *splitter() const { return m_splitter; }

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showState();
    void showSelection();
    void applyWidths();
    void assemble();

    SorvaneWorkspace &m_workspace;
    DetailFactory m_detailFactory;
    QAction *m_refresh;
    QSplitter *m_splitter;
    SorvaneSidebar *m_sidebar;
    SorvaneInboxColumn *m_content;
    QWidget *m_detailColumn;
    QStackedWidget *m_detail;
    QWidget *m_emptyDetail;
    QWidget *m_detailView = nullptr;
    // The control in the inbox column that had the keyboard while the column
    // was disabled: it gets it back when the column is usable again.
    QPointer<QWidget> m_parkedFocus;
    bool m_appeared = false;
};
