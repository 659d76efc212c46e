#pragma once

#include <QSharedPointer>
#include <QWidget>
#include <functional>

class EditorModel;
class QLabel;
class QPushButton;

// Where the current customer's project folder is, with a button to choose
// another and, after a failure, one to try the remembered folder again.
class ProjectLocationView final : public QWidget
{
    Q_OBJECT
public:
    ProjectLocationView(QSharedPointer<EditorModel> model, std::function<void()> choose, QWidget *parent = nullptr);

private:
    void update();

    QSharedPointer<EditorModel> m_model;
    std::function<void()> m_choose;
    QPushButton *m_chooseButton;
    QWidget *m_diskRow;
    QLabel *m_disk;
    QLabel *m_path;
    QLabel *m_scope;
    QWidget *m_issueRow;
    QLabel *m_issue;
    QPushButton *m_retry;
};
