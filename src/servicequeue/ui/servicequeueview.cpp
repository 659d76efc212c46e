#include "servicequeueview.h"

#include <QPointer>

#include "briefviews.h"
#include "detail/servicetaskdetail.h"
#include "serviceactionresult.h"
#include "servicecompanycontrols.h"
#include "servicequeuedialogs.h"
#include "servicetasklist.h"

#include "editor/editormodel.h"
#include "editor/ui/qtdesktopservices.h"
#include "editor/editorpresentation.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "servicequeue/proposals/servicetaskpresentation.h"
#include "servicequeue/servicequeuemodel.h"
#include "videos/videochoosers.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

ServiceQueueView::ServiceQueueView(ServiceQueueModel &model, EditorModel &editorModel, ServiceQueueEditor &editor,
                                   Options options, QWidget *parent)
    : QWidget(parent), m_model(model), m_editorModel(editorModel), m_editor(editor), m_options(std::move(options))
{
    setObjectName(QStringLiteral("service.queue"));
    if (!m_options.players)
        m_options.players = [](const QUrl &) { return std::unique_ptr<MediaPlayer>(); };
    if (!m_options.desktop)
        // A path the desktop cannot open is said in the editor's error line (it can be copied there).
        m_options.desktop = std::make_shared<QtDesktopServices>([view = QPointer<ServiceQueueView>(this)](const QString &sentence) {
            if (view)
                view->m_editor.setError(sentence);
        });
    if (!m_options.movies)
        m_options.movies = std::make_shared<DialogVideoFileChooser>();
    if (!m_options.projects)
        m_options.projects = std::make_shared<DialogProjectChooser>();
    m_results = new ServiceActionResult(m_editorModel, this);
    m_content = new QWidget(this);
    m_content->setMaximumWidth(950);
    if (m_options.detailOnly) {
        // Embedded, the ticket's scroll area is the only one: a second one
        // inside it would keep the person's results in a box of its own and
        // hand the wheel to the outer one at its end. A stretch beside the
        // content keeps its height measured at its own width.
        auto *outer = new QHBoxLayout(this);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->setSpacing(0);
        outer->addWidget(m_content, 1);
        outer->addStretch(0);
        m_frame = m_content;
    } else {
        auto *outer = new QVBoxLayout(this);
        outer->setContentsMargins(0, 0, 0, 0);
        auto *scroll = new QScrollArea(this);
        scroll->setObjectName(QStringLiteral("service.queue.scroll"));
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        outer->addWidget(scroll);
        scroll->setWidget(m_content);
        m_frame = scroll;
    }
    QWidget *content = m_content;
    m_column = new QVBoxLayout(content);
    m_column->setSpacing(22);
    // Embedded in a ticket's narrow column, the ticket gives the outer margins.
    m_column->setContentsMargins(m_options.detailOnly ? QMargins(8, 12, 12, 12) : QMargins(30, 30, 30, 30));
    m_column->setAlignment(Qt::AlignTop); // full width: wrapped texts use the column, not their own hint

    if (!m_options.detailOnly) {
        auto *heading = UiKit::label(loc("Opgavekø"), {.name = QStringLiteral("service.queue.heading")}, content);
        QFont large = heading->font();
        large.setPointSizeF(large.pointSizeF() * 2.0);
        large.setBold(true);
        heading->setFont(large);
        m_column->addWidget(heading);
        auto *intro = UiKit::label(loc("Her vises opgaver, kunden har sendt. En sikkerhedskopi alene bestiller ikke arbejde."),
                                   {.name = QStringLiteral("service.queue.introduction")}, content);
        UiKit::setSecondary(intro);
        m_column->addWidget(intro);
        m_companies = new ServiceCompanyControls(m_model, m_editorModel, m_editor, content);
        m_column->addWidget(m_companies);
        m_tasks = new ServiceTaskList(m_model, m_editor, *m_results, content);
        m_column->addWidget(m_tasks);
    }

    // Whether the chosen company may be used changes with the directory, the
    // session, the tools folder and the editor's company.
    connect(&m_model.directory(), &ServiceCompanyDirectory::changed, this, &ServiceQueueView::updateGate);
    connectPartValue(m_model.openedTask(), this, [](const ServiceOpenedTask &t) { return t.detail().has_value(); },
                     [this] { updateGate(); });
    for (auto signal : {&EditorModel::companyChanged, &EditorModel::credentialsChanged, &EditorModel::repositoryChanged})
        connect(&m_editorModel, signal, this, &ServiceQueueView::updateGate);
    connect(&m_editorModel, &EditorModel::busyChanged, this, &ServiceQueueView::updateBusy);
    // A task the person opened from the list comes into view below it.
    connectAssigned(m_model.openedTask(), this, {&ServiceOpenedTask::Assignments::detail}, [this] {
        if (m_detail)
            m_results->arrived(m_detail);
    });

    updateGate();
    updateBusy();
    m_dialogs = &ServiceQueueDialogs::attach(*this);
}

ServiceQueueView::~ServiceQueueView()
{
    // Dialogs and the sheet closing with the screen leave the model's flags alone.
    ServiceQueueDialogs::dismiss(m_copyDialog);
    if (m_dialogs)
        m_dialogs->detach(*this);
}

void ServiceQueueView::updateGate()
{
    const bool usable = m_model.canUseCompany(m_editor);
    if (m_tasks)
        m_tasks->setVisible(usable);
    updateDetail();
}

void ServiceQueueView::updateBusy()
{
    m_frame->setEnabled(!m_editorModel.busy().has_value());
}

void ServiceQueueView::updateDetail()
{
    const bool shown = m_model.canUseCompany(m_editor) && m_model.openedTask().detail().has_value();
    if (shown == (m_detail != nullptr))
        return;
    if (!shown) {
        m_detail->hide();
        m_detail->deleteLater(); // may be the sender of what hid it
        m_detail = nullptr;
        return;
    }
    QWidget *content = m_content;
    if (m_options.detail) {
        m_detail = m_options.detail(*this, content);
    } else {
        ServiceTaskDetailParts parts;
        parts.model = &m_model;
        parts.editorModel = &m_editorModel;
        parts.editor = &m_editor;
        parts.detailOnly = m_options.detailOnly;
        parts.versionsOnly = m_options.versionsOnly;
        parts.onShowVersions = m_options.onShowVersions;
        parts.askCopy = [this] { setCopyConfirmation(true); };
        parts.results = m_results;
        parts.seams = {m_options.players, m_options.movies.get(), m_options.projects.get(), m_options.desktop.get()};
        m_detail = new ServiceTaskDetail(std::move(parts), content);
    }
    m_detail->setObjectName(QStringLiteral("service.task.detail"));
    m_column->addWidget(m_detail);
}

void ServiceQueueView::setCopyConfirmation(bool asked)
{
    if (m_copyConfirmation == asked)
        return;
    m_copyConfirmation = asked;
    presentCopyDialog();
}

// Only this screen asks for the copy: its dialog is its own, on the window.
void ServiceQueueView::presentCopyDialog()
{
    if (m_copyConfirmation && !m_copyDialog) {
        m_copyDialog = ServiceQueueDialogs::confirmation(
            *this, QStringLiteral("service.film.copyConfirmation"), loc("Copy this task into a complete film folder?"),
            loc("Copy film folder"), QStringLiteral("service.film.confirmCopy"),
            loc("Save and close the native editor project first. Existing files stay in place. "
                "The new copy needs a native reopen check."),
            [this] { m_model.packageFilm(m_editor, false); }, [this] { setCopyConfirmation(false); });
    } else if (!m_copyConfirmation && m_copyDialog) {
        ServiceQueueDialogs::dismiss(std::exchange(m_copyDialog, nullptr));
    }
}
