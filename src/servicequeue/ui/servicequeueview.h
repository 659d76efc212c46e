#pragma once

#include "servicequeue/mediaplayer.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class DesktopServices;
class EditorModel;
class ProjectChooser;
class VideoFileChooser;
class QLabel;
class QMessageBox;
class QVBoxLayout;
class ServiceActionResult;
class ServiceCompanyControls;
class ServiceQueueEditor;
class ServiceQueueDialogs;
class ServiceQueueModel;
class ServiceTaskList;

// The editor's task screen: heading, company controls, the chosen company's
// tasks and the opened task, with the three confirmations that guard the
// sends and the film-folder copy, and the package brief sheet. Holds no
// service state: every control calls one model operation or sets one flag.
// The model's requests (the sends, the sheet) are shown by the one
// presenter all screens over the model share (`ServiceQueueDialogs`); the
// copy confirmation is this screen's own. All sit on the window, outside
// what a host may disable.
class ServiceQueueView final : public QWidget
{
    Q_OBJECT
public:
    // Builds the opened task's detail for the screen; it follows the models itself.
    using DetailFactory = std::function<QWidget *(ServiceQueueView &screen, QWidget *parent)>;

    struct Options
    {
        bool detailOnly = false; // only the opened task (embedded in a ticket)
        bool versionsOnly = false; // the detail's versions layout
        std::function<void()> onShowVersions; // the way to the versions tab, when embedded
        DetailFactory detail; // another detail for the opened task; the standard task detail when none
        MediaPlayerFactory players; // the detail's video players; without one, videos show no picture
        std::shared_ptr<DesktopServices> desktop; // reveals folders, opens files; the desktop's own when none
        std::shared_ptr<VideoFileChooser> movies; // the export chooser; the file dialog when none
        std::shared_ptr<ProjectChooser> projects; // the project chooser; the project dialog when none
    };

    ServiceQueueView(ServiceQueueModel &model, EditorModel &editorModel, ServiceQueueEditor &editor, Options options,
                     QWidget *parent = nullptr);
    ~ServiceQueueView() override;

    ServiceQueueModel &model() const { return m_model; }
    EditorModel &editorModel() const { return m_editorModel; }
    ServiceQueueEditor &editor() const { return m_editor; }
    const Options &options() const { return m_options; }

    // Asks the person to confirm copying the task into a complete film folder.
    bool copyConfirmation() const { return m_copyConfirmation; }
    void setCopyConfirmation(bool asked);

private:
    void updateGate();
    void updateBusy();
    void updateDetail();
    void presentCopyDialog();

    ServiceQueueModel &m_model;
    EditorModel &m_editorModel;
    ServiceQueueEditor &m_editor;
    Options m_options;
    bool m_copyConfirmation = false;

    ServiceActionResult *m_results;
    QWidget *m_frame; // what a running operation disables: the scroll area, or the content where embedded
    QWidget *m_content;
    QVBoxLayout *m_column;
    ServiceCompanyControls *m_companies = nullptr;
    ServiceTaskList *m_tasks = nullptr;
    QWidget *m_detail = nullptr;
    QPointer<QMessageBox> m_copyDialog;
    QPointer<ServiceQueueDialogs> m_dialogs;
};
