#pragma once

#include <QSharedPointer>
#include <QWidget>

class EditorModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Lists the account's completed cloud backups and restores the chosen one
// into the project folder.
class CloudBackupsView final : public QWidget
{
    Q_OBJECT
public:
    explicit CloudBackupsView(QSharedPointer<EditorModel> model, QWidget *parent = nullptr);

private:
    void rebuildListing();
    void update();

    QSharedPointer<EditorModel> m_model;
    QLineEdit *m_company;
    QPushButton *m_find;
    QWidget *m_listing;
    QLabel *m_companyLine;
    QLabel *m_noBackups;
    QVBoxLayout *m_rows;
    QPushButton *m_download;
};
