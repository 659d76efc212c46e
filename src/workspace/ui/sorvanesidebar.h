#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class SorvaneSidebarRow;
class SorvaneWorkspace;

// The workspace's first column: the status filters, the customers, the
// demo label and the settings row. Every click writes the inbox's view
// options through the workspace.
class SorvaneSidebar final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneSidebar(SorvaneWorkspace &workspace, QWidget *parent = nullptr);

private:
    void rebuildCustomers();
    void showState();

    SorvaneWorkspace &m_workspace;
    QWidget *m_list;
    QList<SorvaneSidebarRow *> m_filters;
    SorvaneSidebarRow *m_allCustomers;
    QWidget *m_customers;
    QVBoxLayout *m_customerRows;
    QPushButton *m_moreCustomers;
    QLabel *m_note;
};
