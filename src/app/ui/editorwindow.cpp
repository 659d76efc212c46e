#include "editorwindow.h"

#include "aiconnection/ui/sorvaneaiconnectionpanel.h"

#include "app/editorview.h"
#include "editor/editormodel.h"
#include "editor/ui/cloudbackupsview.h"
#include "editor/ui/localpackagesview.h"
#include "editor/ui/qtdesktopservices.h"
#include "foundation/localization.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/ui/briefviews.h"
#include "servicequeue/ui/servicequeueview.h"
#include "settings/ui/sorvanesettingsview.h"
#include "statusarea.h"
#include "updater/sorvaneupdater.h"
#include "updater/ui/sorvanesettingssheetcontroller.h"
#include "updater/ui/sorvaneupdatesview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

EditorWindow::EditorWindow(EditorView *view, QWidget *parent) : QMainWindow(parent), m_view(view)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(loc("Tavlon · Morvinge"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(defaultWidth, defaultHeight);

    QPalette tinted = palette();
    const QColor tint = QColor::fromRgbF(0.26f, 0.38f, 0.33f, 1.0f);
    tinted.setColor(QPalette::Highlight, tint);
    tinted.setColor(QPalette::Link, tint);
    setPalette(tinted);

    // Until the workspace embeds the task screen in its ticket detail, the
    // task screen has a tab of its own beside the status area.
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("shell.tabs"));
    tabs->setDocumentMode(true);
    m_status = new StatusArea(*m_view, tabs);
    tabs->addTab(m_status, loc("Status"));
    auto *queueTab = new QWidget(tabs);
    auto *queueLayout = new QVBoxLayout(queueTab);
    queueLayout->setContentsMargins(0, 0, 0, 0);
    queueLayout->setSpacing(0);
    queueLayout->addWidget(
        new ServiceQueueView(*m_view->serviceQueue(), *m_view->model(), m_view->queueEditor(), {}, queueTab), 1);
    // The running operation, its failure or its result, as the status area shows them.
    auto *state = new QLabel(queueTab);
    state->setObjectName(QStringLiteral("shell.queueState"));
    state->setWordWrap(true);
    state->setContentsMargins(30, 8, 30, 8);
    queueLayout->addWidget(state);
    auto showState = [state, model = m_view->model().data()] {
        const auto text = model->busy().value_or(model->error().value_or(model->message().value_or(QString())));
        state->setText(text);
        state->setVisible(!text.isEmpty());
        QPalette palette = state->palette();
        palette.setColor(QPalette::WindowText, !model->busy() && model->error() ? QColor(0xb0, 0x20, 0x20)
                                                                                : QApplication::palette().color(QPalette::WindowText));
        state->setPalette(palette);
    };
    for (auto signal : {&EditorModel::busyChanged, &EditorModel::errorChanged, &EditorModel::messageChanged})
        connect(m_view->model().data(), signal, state, showState);
    showState();
    tabs->addTab(queueTab, loc("Opgavekø"));
    setCentralWidget(tabs);
    // After the screens, so that it is destroyed after them.
    m_view->setParent(this);
    // The sheet is owned here and reported to the updater, which closes it
    // before a relaunch.
    m_settings = new SorvaneSettingsSheetController(this, m_view->updateActivityID(),
                                                    SorvaneUpdater::shared().settings(),
                                                    [this](QWidget *) { return buildSettings(); });
    connect(m_settings, &SorvaneSettingsSheetController::dismissed, m_view, [view = m_view] {
        view->setShowingSettings(false);
    });
    connect(m_view, &EditorView::showingSettingsChanged, this, [this] {
        if (m_view->showingSettings())
            showSettings();
    });
}

void EditorWindow::toggleSidebar()
{
    m_status->sidebar()->setVisible(!m_status->sidebar()->isVisible());
}

bool EditorWindow::hasSettingsFocus() const
{
    // The active window, or the window its sheet belongs to.
    for (QWidget *active = QApplication::activeWindow(); active;
         active = active->parentWidget() ? active->parentWidget()->window() : nullptr) {
        if (active == this)
            return true;
    }
    return false;
}

void EditorWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_view->appear(EditorView::StartUp::later);
    // A window that is never painted (shown minimized) still starts up.
    QTimer::singleShot(startUpFallback, m_view, &EditorView::beginStartUp);
}

bool EditorWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    // The start-up steps wait for the first frame and then run on the next
    // turn of the event loop.
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(m_view, &EditorView::beginStartUp, Qt::QueuedConnection);
    }
    return handled;
}

void EditorWindow::closeEvent(QCloseEvent *event)
{
    m_view->disappear();
    QMainWindow::closeEvent(event);
}

// The view was granted its settings sheet.
void EditorWindow::showSettings()
{
    if (!m_settings->open())
        m_view->setShowingSettings(false);
}

// The window's settings sheet on the section the view chose. The
// controller opens it window-modal and deletes it when it closes.
QDialog *EditorWindow::buildSettings()
{
    EditorView *view = m_view;
    SorvaneSettingsView::Parts parts;
    parts.model.editor = view->model();
    parts.model.queue = view->serviceQueue();
    parts.model.account = &view->account();
    parts.model.profiles = view->profiles();
    parts.model.clearInbox = [inbox = view->sorvane().toWeakRef()] {
        if (const auto strong = inbox.toStrongRef())
            strong->clear();
    };
    parts.model.chooseStorage = [view] { view->chooseProjectStorage(); };
    parts.model.chooseTools = [view] { view->chooseTools(); };
    parts.cloud = [model = view->model()](QWidget *parent) { return new CloudBackupsView(model, parent); };
    parts.packages = [model = view->model()](QWidget *parent) -> QWidget * {
        auto *packages = new LocalPackagesView(
            model, std::make_shared<QtDesktopServices>(),
            [](const PackageContext &context, QWidget *slot) { return new PackageBriefContent(context, slot); }, parent);
        // The package list's links to the storage and cloud sections.
        connect(packages, &LocalPackagesView::sectionRequested, parent, [parent](const QString &raw) {
            auto *sheet = qobject_cast<SorvaneSettingsView *>(parent);
            if (const auto section = settingsSection(raw); sheet && section)
                sheet->model().setSection(*section);
        });
        return packages;
    };
    parts.updates = [](QWidget *parent) { return new SorvaneUpdatesView(SorvaneUpdater::shared(), parent); };
    parts.aiConnection = [](const SorvaneAIConnectionTarget &target, QWidget *parent) -> QDialog * {
        return new SorvaneAIConnectionPanel({target.repository, target.inbox, target.requestID, target.validateStorage},
                                            parent);
    };

    auto *sheet = new SorvaneSettingsView(std::move(parts), view->settingsSection(), this);
    connect(&sheet->model(), &SorvaneSettingsModel::sectionChanged, view,
            [view, model = &sheet->model()] { view->setSettingsSection(model->section()); });
    return sheet;
}
