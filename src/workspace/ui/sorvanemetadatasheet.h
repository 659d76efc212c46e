#pragma once

#include "inbox/sorvaneinboxrecords.h"
#include "workspace/sorvanepipeline.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class ServiceQueueEditor;
class SorvaneInboxModel;

// The sheet in which an operator sets a customer's metadata sharing: the
// full pipeline for assigned editors, and the shared contact name. It asks
// for the current settings when shown and stays open after a save; only
// "Luk" (or Escape) closes it. Window-modal; open it with open().
class SorvaneMetadataSheet final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int sheetWidth = 480;

    SorvaneMetadataSheet(SorvaneInboxModel &inbox, const SorvaneInboxRow &item, ServiceQueueEditor &editor,
                         QWidget *parent = nullptr);

    const SorvaneMetadataForm &form() const { return m_form; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void syncFields();
    void showState();
    void save();

    SorvaneInboxModel &m_inbox;
    SorvaneInboxRow m_item;
    ServiceQueueEditor &m_editor;
    SorvaneMetadataForm m_form;
    bool m_asked = false;
    QCheckBox *m_allow;
    QLineEdit *m_contact;
    QLabel *m_error;
    QLabel *m_saved;
    QProgressBar *m_progress;
    QPushButton *m_save;
};
