#include "tavlonfilmeditorapp.h"

#include "app/editorview.h"
#include "editor/ui/filedialogfolderchooser.h"
#include "editorwindow.h"
#include "foundation/appbundle.h"
#include "foundation/localization.h"
#include "foundation/ui/windowbuffer.h"
#include "updater/updatecycle.h"
#include "updater/sorvaneupdateactivity.h"
#include "updater/sorvaneupdater.h"
#include "updater/ui/updatecycledialog.h"
#include "workspace/ui/sorvaneworkspaceview.h"

#include <QAction>
#include <QEvent>
#include <QApplication>
#include <QMenuBar>

namespace {

// The chooser's parent is the window, which exists only after the view.
class WindowFolderChooser final : public FolderChooser
{
public:
    void setWindow(QWidget *window) { m_chooser = std::make_unique<FileDialogFolderChooser>(window); }
    void chooseFolder(const QString &startPath, std::function<void(const QString &)> done) override
    {
        if (m_chooser)
            m_chooser->chooseFolder(startPath, std::move(done));
        else
            done(QString());
    }
    void chooseToolsFolder(const QString &startPath, std::function<void(const QString &)> done) override
    {
        if (m_chooser)
            m_chooser->chooseToolsFolder(startPath, std::move(done));
        else
            done(QString());
    }

private:
    std::unique_ptr<FileDialogFolderChooser> m_chooser;
};

// Runs `then` on the next turn of the event loop after `window` first
// paints, and goes away.
class AfterFirstPaint final : public QObject
{
public:
    AfterFirstPaint(QWidget *window, std::function<void()> then) : QObject(window), m_then(std::move(then))
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(qApp, std::move(m_then), Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

} // namespace

TavlonFilmEditorApp::TavlonFilmEditorApp(QObject *parent) : QObject(parent)
{
    // The product's name, not the program file's: the title of every message
    // box and dialog that names none of its own (X11 also ends the other
    // windows' titles with it).
    QGuiApplication::setApplicationDisplayName(loc("Tavlon Film Editor"));
}

SorvaneUpdateActivity &TavlonFilmEditorApp::updateActivity()
{
    return SorvaneUpdater::shared().activity();
}

void TavlonFilmEditorApp::startUpdaterIfNeeded()
{
    SorvaneUpdater &updater = SorvaneUpdater::shared();
    const bool wasStarted = updater.framework() != nullptr;
    updater.startIfNeeded();
    // The update machinery's own window appears whenever a cycle needs the person.
    if (!wasStarted)
        if (UpdateCycle *cycle = updater.framework() ? updater.framework()->updateCycle() : nullptr)
            UpdateCycleDialog::showWhenActive(*cycle);
}

EditorWindow *TavlonFilmEditorApp::newWindow()
{
    auto chooser = std::make_shared<WindowFolderChooser>();
    EditorView::Parts parts = EditorView::standardParts(chooser, &updateActivity());
    // Building the widgets measures no text (each view leaves that to its
    // first polish and layout), so it goes on while the fonts are read.
    auto *window = new EditorWindow(new EditorView(std::move(parts)));
    chooser->setWindow(window);
    installCommands(window);
    if (m_beforeFirstText)
        std::exchange(m_beforeFirstText, {})();
    // The first paint fills every pixel: their memory is made ready beside
    // the GUI thread while it shows the window.
    WindowBuffer::prepare(window);
    // The updater loads the TLS stack and reads its keys: started once the
    // first window is on screen, not before it.
    if (!SorvaneUpdater::shared().framework())
        new AfterFirstPaint(window, &TavlonFilmEditorApp::startUpdaterIfNeeded);
    window->show();
    return window;
}

// The application menu as on the desktop the application comes from: the
// update check first, then the settings, then Quit; the sidebar command in
// View and the window commands in File.
void TavlonFilmEditorApp::installCommands(EditorWindow *window)
{
    QMenuBar *bar = window->menuBar();
    QMenu *app = bar->addMenu(loc("Tavlon Film Editor"));
    QMenu *file = bar->addMenu(loc("File"));
    QMenu *view = bar->addMenu(loc("View"));

    QAction *sidebar = view->addAction(loc("Toggle Sidebar"));
    sidebar->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    connect(sidebar, &QAction::triggered, window, &EditorWindow::toggleSidebar);
    // The toolbar's refresh, with its shortcut, also as a menu item.
    view->addAction(window->workspaceView().refreshAction());
    // The full task queue screen in place of the workspace; unchecked, back to the workspace.
    QAction *queue = view->addAction(loc("Show Task Queue"));
    queue->setObjectName(QStringLiteral("shell.showQueue"));
    queue->setCheckable(true);
    EditorView *root = &window->view();
    connect(queue, &QAction::toggled, root, &EditorView::setShowingQueue);
    connect(root, &EditorView::showingQueueChanged, queue, [queue, root] { queue->setChecked(root->showingQueue()); });

    // Enabled while a check may start; read again whenever the menu opens.
    QAction *updates = app->addAction(loc("Check for Updates…"));
    SorvaneUpdater &updater = SorvaneUpdater::shared();
    const auto refresh = [updates, &updater] { updates->setEnabled(!updater.checkDisabled()); };
    refresh();
    connect(&updater, &SorvaneUpdater::changed, updates, refresh);
    connect(app, &QMenu::aboutToShow, updates, refresh);
    connect(updates, &QAction::triggered, &updater, &SorvaneUpdater::checkForUpdates);
    app->addSeparator();

    QAction *settings = app->addAction(loc("Indstillinger") + QChar(0x2026));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, window, [window] { window->view().openSettings(); });
    // The command belongs to the focused window: it follows focus from window
    // to window, and the shortcut reaches only the focused window's sheet.
    settings->setShortcutContext(Qt::WindowShortcut);
    connect(qApp, &QApplication::focusChanged, settings,
            [settings, window] { settings->setEnabled(window->hasSettingsFocus()); });
    app->addSeparator();
    QAction *quit = app->addAction(loc("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // the same on every platform theme
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    window->addSheetCommand(quit);

    QAction *open = file->addAction(loc("New Window"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(open, &QAction::triggered, this, &TavlonFilmEditorApp::newWindow);
    QAction *close = file->addAction(loc("Close Window"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, window, &QWidget::close);
}
