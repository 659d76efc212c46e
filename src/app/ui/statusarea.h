#pragma once

#include <QWidget>

class EditorView;
class QLabel;
class QListWidget;

// The window's plain content until the workspace screens take its place:
// the account, the project location, the number of companies and the
// loaded inbox rows. Reads the window's models only.
class StatusArea final : public QWidget
{
    Q_OBJECT
public:
    explicit StatusArea(EditorView &view, QWidget *parent = nullptr);

    // The left column (account and project location).
    QWidget *sidebar() const { return m_sidebar; }

private:
    void updateEditor();
    void updateCompanies();
    void updateInbox();
    void updateSelection();

    EditorView &m_view;
    QWidget *m_sidebar;
    QLabel *m_editorState;
    QLabel *m_companies;
    QListWidget *m_rows;
    QLabel *m_inboxState;
    bool m_updating = false;
};
