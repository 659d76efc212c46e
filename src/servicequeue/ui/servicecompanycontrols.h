#pragma once

#include <QWidget>

class EditorModel;
class QComboBox;
class QLabel;
class QPushButton;
class ServiceQueueEditor;
class ServiceQueueModel;

// Loading the companies the person serves and choosing the one to work on.
// The picker calls selectCompany only on the person's own choice; the
// model's selection is shown, never written, by the picker.
class ServiceCompanyControls final : public QWidget
{
    Q_OBJECT
public:
    ServiceCompanyControls(ServiceQueueModel &model, EditorModel &editorModel, ServiceQueueEditor &editor,
                           QWidget *parent = nullptr);

private:
    void update();
    void fillPicker();

    ServiceQueueModel &m_model;
    EditorModel &m_editorModel;
    ServiceQueueEditor &m_editor;
    QLabel *m_demo;
    QLabel *m_signIn;
    QPushButton *m_fetch;
    QWidget *m_progress;
    QLabel *m_error;
    QLabel *m_empty;
    QComboBox *m_picker;
    QLabel *m_selected;
    QPushButton *m_more;
};
