#include "editorwindow.h"

#include "app/editorview.h"
#include "editor/editormodel.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h"
#include "statusarea.h"
#include "updater/sorvaneupdater.h"
#include "updater/ui/sorvanesettingssheetcontroller.h"
#include "updater/ui/sorvaneupdatesview.h"

#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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

    m_status = new StatusArea(*m_view, this);
    setCentralWidget(m_status);
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

// The settings sheet, reduced to what the window offers today: the account,
// the project folder and the tools folder.
QDialog *EditorWindow::buildSettings()
{
    auto *sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("sorvane.settings.panel"));
    sheet->setWindowTitle(loc("Indstillinger"));
    sheet->setMinimumWidth(460);
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    auto *title = new QLabel(loc("Indstillinger"), sheet);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    header->addWidget(title);
    header->addStretch(1);
    auto *close = new QPushButton(loc("Back to inbox"), sheet);
    close->setObjectName(QStringLiteral("sorvane.settings.close"));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QPushButton::clicked, sheet, &QDialog::reject);
    header->addWidget(close);
    layout->addLayout(header);

    layout->addWidget(new EditorAccountView(m_view->account(), [] {}, sheet));
    auto *location = new ProjectLocationView(m_view->model(), [view = m_view] { view->chooseProjectStorage(); }, sheet);
    location->setEnabled(m_view->canChooseProjectStorage());
    layout->addWidget(location);

    auto *tools = new QHBoxLayout;
    auto *toolsPath = new QLabel(m_view->model()->repository(), sheet);
    toolsPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    toolsPath->setWordWrap(true);
    connect(m_view->model().data(), &EditorModel::repositoryChanged, toolsPath,
            [toolsPath, model = m_view->model().data()] { toolsPath->setText(model->repository()); });
    tools->addWidget(toolsPath, 1);
    auto *chooseTools = new QPushButton(loc("Vælg værktøjsmappe…"), sheet);
    connect(chooseTools, &QPushButton::clicked, m_view, &EditorView::chooseTools);
    tools->addWidget(chooseTools);
    layout->addLayout(tools);

    layout->addWidget(new SorvaneUpdatesView(SorvaneUpdater::shared(), sheet));

    return sheet;
}
