#include "editorwindow.h"

#include "aiconnection/ui/sorvaneaiconnectionpanel.h"

#include "app/editorview.h"
#include "editor/editormodel.h"
#include "editor/ui/cloudbackupsview.h"
#include "editor/ui/localpackagesview.h"
#include "editor/ui/qtdesktopservices.h"
#include "foundation/localization.h"
#include "foundation/ui/screenfit.h"
#include "foundation/ui/uikit.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/settingsstore.h"
#include "servicequeue/editorserviceadapter.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/sorvaneworkspaceprofiles.h"
#include "workspace/ui/sorvanepipelineview.h"
#include "workspace/ui/sorvanewindowlayout.h"
#include "workspace/ui/sorvaneticketdetail.h"
#include "workspace/ui/sorvaneworkspaceview.h"
#include "servicequeue/ui/briefviews.h"
#include "servicequeue/ui/media/mediamodule.h"
#include "servicequeue/ui/servicequeueview.h"
#include "settings/ui/sorvanesettingsview.h"
#include "updater/sorvaneupdater.h"
#include "updater/ui/sorvanesettingssheetcontroller.h"
#include "updater/ui/sorvaneupdatesview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

EditorWindow::EditorWindow(EditorView *view, QWidget *parent, std::function<QDateTime()> clock)
    : QMainWindow(parent), m_view(view)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(loc("Tavlon · Morvinge"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(defaultWidth, defaultHeight);
    ScreenFit::keepWindow(this);

    QPalette tinted = palette();
    const QColor tint = UiKit::colour(UiKit::Ink::brandTint);
    tinted.setColor(QPalette::Highlight, tint);
    tinted.setColor(QPalette::Link, tint);
    setPalette(tinted);

    SorvaneWorkspace::Parts parts;
    parts.editor = m_view->model().data();
    parts.queueEditor = &m_view->queueEditor();
    parts.queue = m_view->serviceQueue().data();
    parts.inbox = &m_view->sorvane()->inboxModel();
    parts.defaults = &SettingsStore::standard();
    parts.showSettings = [view = m_view] { view->presentSettings(SorvaneSettingsSection::account, std::nullopt); };
    parts.chooseStorage = [view = m_view] { view->presentTicketStorageSettings(); };
    parts.openSelectionAgain = [view = m_view] { view->openSelectionAgain(); };
    parts.unsupportedTestLaunch = Bridge::unsupportedTestLaunch();
    if (m_view->profiles())
        parts.profiles = new SorvaneProfilesAdapter(m_view->profiles(), m_view->editorAdapter(), this);
    // The root view opens the selected task in the service queue (it also
    // re-opens it after a change of project folder): the workspace does not.
    m_workspace = new SorvaneWorkspace(std::move(parts), this);
    // The ticket detail embeds the task screen of the opened task, the read brief and the customer pipeline.
    SorvaneTicketDetail::Embeds embeds;
    embeds.taskScreen = [view = m_view](bool versionsOnly, std::function<void()> showVersions,
                                        QWidget *parent) -> QWidget * {
        ServiceQueueView::Options options;
        options.detailOnly = true;
        options.versionsOnly = versionsOnly;
        options.onShowVersions = std::move(showVersions);
        options.players = MediaModule::players();
        return new ServiceQueueView(*view->serviceQueue(), *view->model(), view->queueEditor(), options, parent);
    };
    embeds.brief = [](const PackageContext &context, QWidget *parent) -> QWidget * {
        return new PackageBriefContent(context, parent);
    };
    // One panel for the detail's lifetime, following the selected task.
    embeds.pipeline = [workspace = m_workspace](QWidget *parent) -> QWidget * {
        auto *pipeline = new SorvanePipelineView(*workspace, parent);
        pipeline->followSelection();
        return pipeline;
    };
    m_workspaceView = new SorvaneWorkspaceView(
        *m_workspace,
        [workspace = m_workspace, embeds, clock](QWidget *parent) -> QWidget * {
            return new SorvaneTicketDetail(*workspace, embeds, clock, parent);
        },
        clock, this);
    setCentralWidget(m_workspaceView);
    // Lays the content out again when its rectangle changes and on the first activation.
    new SorvaneWindowLayout(this);

    QToolBar *toolbar = addToolBar(loc("Refresh inbox"));
    toolbar->setObjectName(QStringLiteral("sorvane.toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(m_workspaceView->refreshAction());
    if (QWidget *button = toolbar->widgetForAction(m_workspaceView->refreshAction()))
        button->setObjectName(QStringLiteral("sorvane.refresh"));
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
    connect(m_view, &EditorView::showingQueueChanged, this, &EditorWindow::showQueue);
}

// The workspace or, while the view asks for it, the full task queue screen.
// The two share one stack, made with the queue's page the first time: the
// window opens on the workspace alone.
void EditorWindow::showQueue()
{
    const bool queue = m_view->showingQueue();
    if (!m_pages) {
        if (!queue)
            return;
        m_pages = new QStackedWidget;
        m_pages->setObjectName(QStringLiteral("shell.pages"));
        takeCentralWidget();
        m_pages->addWidget(m_workspaceView);
        m_queuePage = buildQueuePage();
        m_pages->addWidget(m_queuePage);
        setCentralWidget(m_pages);
        m_pages->show(); // the layout would show it only on the next turn
    }
    QWidget *focus = QApplication::focusWidget();
    if (queue) {
        if (focus && m_workspaceView->isAncestorOf(focus))
            m_workspaceFocus = focus;
        m_pages->setCurrentWidget(m_queuePage);
        m_queuePage->findChild<QWidget *>(QStringLiteral("service.queue.back"))->setFocus(Qt::OtherFocusReason);
    } else {
        m_pages->setCurrentWidget(m_workspaceView);
        // Back where the person was, when that control is still there to take it.
        if (m_workspaceFocus && m_workspaceFocus->isVisible() && m_workspaceFocus->isEnabled())
            m_workspaceFocus->setFocus(Qt::OtherFocusReason);
        else
            m_workspaceView->setFocus(Qt::OtherFocusReason);
    }
}

QWidget *EditorWindow::buildQueuePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("service.queue.page"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    auto *back = new QPushButton(loc("Back to inbox"), page);
    back->setObjectName(QStringLiteral("service.queue.back"));
    connect(back, &QPushButton::clicked, m_view, [view = m_view] { view->setShowingQueue(false); });
    layout->addWidget(back, 0, Qt::AlignLeft);
    ServiceQueueView::Options options;
    options.players = MediaModule::players();
    layout->addWidget(
        new ServiceQueueView(*m_view->serviceQueue(), *m_view->model(), m_view->queueEditor(), options, page), 1);
    return page;
}

void EditorWindow::toggleSidebar()
{
    QWidget *sidebar = m_workspaceView->sidebar();
    sidebar->setVisible(!sidebar->isVisible());
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
    parts.model.storageSelectionAllowed = [view] { return view->canChooseProjectStorage(); };
    parts.cloud = [model = view->model()](QWidget *parent) { return new CloudBackupsView(model, parent); };
    parts.packages = [model = view->model()](QWidget *parent) -> QWidget * {
        auto *packages = new LocalPackagesView(
            model,
            std::make_shared<QtDesktopServices>([editor = model.toWeakRef()](const QString &sentence) {
                if (const auto strong = editor.toStrongRef())
                    strong->setError(sentence);
            }),
            [](const PackageContext &context, QWidget *slot) { return new PackageBriefContent(context, slot); }, parent);
        // The package list's links to the storage and cloud sections.
        if (auto *sheet = qobject_cast<SorvaneSettingsView *>(parent))
            connect(packages, &LocalPackagesView::sectionRequested, sheet, &SorvaneSettingsView::showSection);
        return packages;
    };
    parts.updates = [](QWidget *parent) { return new SorvaneUpdatesView(SorvaneUpdater::shared(), parent); };
    parts.aiConnection = [](const SorvaneAIConnectionTarget &target, QWidget *parent) -> QDialog * {
        return new SorvaneAIConnectionPanel({target.repository, target.inbox, target.requestID, target.validateStorage},
                                            parent);
    };

    auto *sheet = new SorvaneSettingsView(std::move(parts), view->settingsSection(), this);
    for (QAction *command : std::as_const(m_sheetCommands))
        if (command)
            sheet->addAction(command);
    connect(&sheet->model(), &SorvaneSettingsModel::sectionChanged, view,
            [view, model = &sheet->model()] { view->setSettingsSection(model->section()); });
    return sheet;
}
