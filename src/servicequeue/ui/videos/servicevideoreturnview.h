#pragma once

#include "servicequeue/mediaplayer.h"

#include <QGroupBox>

class DesktopServices;
class NativeProjectVersionsView;
class ProjectChooser;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class ServiceActionResult;
class ServiceQueueEditor;
class ServiceQueueModel;
class VideoFileChooser;
class VideoReviewPreviewView;

// The box through which the editor returns a video version of a film task:
// choose the export, name and describe it, have it frozen as a draft, watch
// it, tick the quality check, keep its native project, and ask for the send
// (the task screen confirms it). It holds only whether the list of prepared
// drafts is open; everything else lives in the model.
class ServiceVideoReturnView final : public QGroupBox
{
    Q_OBJECT
public:
    struct Seams
    {
        MediaPlayerFactory players;
        VideoFileChooser *movies = nullptr;
        ProjectChooser *projects = nullptr;
        DesktopServices *desktop = nullptr;
    };
    // `results`, when given, brings the draft a person's "prepare" made into view.
    ServiceVideoReturnView(ServiceQueueModel *model, ServiceQueueEditor *editor, Seams seams,
                           ServiceActionResult *results = nullptr, QWidget *parent = nullptr);

    bool preparedDraftsExpanded() const;
    // Reads the model again (the editor's state has no signals of its own).
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void build();
    void bind();
    void chooseMovie();
    void chooseProject();
    void showDrafts();

    ServiceQueueModel *m_model;
    ServiceQueueEditor *m_editor;
    Seams m_seams;
    ServiceActionResult *m_results;
    bool m_writing = false;
    QStringList m_listedDrafts;

    QVBoxLayout *m_column = nullptr;
    QWidget *m_receipt = nullptr;
    QLabel *m_receiptText = nullptr;
    QWidget *m_preparation = nullptr;
    QLabel *m_unavailable = nullptr;
    QWidget *m_form = nullptr;
    QLabel *m_file = nullptr;
    QLineEdit *m_label = nullptr;
    QPlainTextEdit *m_summary = nullptr;
    QLineEdit *m_editorName = nullptr;
    QPushButton *m_prepare = nullptr;
    QWidget *m_draft = nullptr;
    QLabel *m_stageIcon = nullptr;
    QLabel *m_stage = nullptr;
    QLabel *m_unconfirmedNote = nullptr;
    VideoReviewPreviewView *m_preview = nullptr;
    QLabel *m_baseRevision = nullptr;
    QCheckBox *m_remember = nullptr;
    NativeProjectVersionsView *m_projects = nullptr;
    QCheckBox *m_qc = nullptr;
    QPushButton *m_send = nullptr;
    QLabel *m_notice = nullptr;
    QToolButton *m_draftsToggle = nullptr;
    QWidget *m_drafts = nullptr;
    QVBoxLayout *m_draftRows = nullptr;
};
