#pragma once

#include <QAction>
#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <chrono>
#include <functional>

class EditorView;
class QDialog;
class QStackedWidget;
class SorvaneSettingsSheetController;
class SorvaneWorkspace;
class SorvaneWorkspaceView;

// One application window: its root view with the window's models, the
// workspace and the window's settings sheet.
class EditorWindow final : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int minimumWidth = 940;
    static constexpr int minimumHeight = 660;
    static constexpr int defaultWidth = 1180;
    static constexpr int defaultHeight = 800;

    // Takes the view over. `clock` tells the workspace and the ticket the
    // time (tests pass their own); the system's by default.
    explicit EditorWindow(EditorView *view, QWidget *parent = nullptr, std::function<QDateTime()> clock = {});

    EditorView &view() const { return *m_view; }
    SorvaneWorkspaceView &workspaceView() const { return *m_workspaceView; }
    void toggleSidebar();
    // The full task queue screen, made when first shown; null before.
    QWidget *queuePage() const { return m_queuePage; }
    // Whether this window (or a sheet of it) has the application's focus.
    bool hasSettingsFocus() const;
    // A command whose shortcut also works while the window's settings sheet,
    // window-modal, blocks its menu bar (Quit).
    void addSheetCommand(QAction *command) { m_sheetCommands.append(command); }

    // At the latest this long after the window is shown, start-up runs even
    // without a first paint.
    static constexpr std::chrono::milliseconds startUpFallback{1000};

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showSettings();
    void showQueue();
    QWidget *buildQueuePage();
    QDialog *buildSettings();

    EditorView *m_view;
    SorvaneWorkspace *m_workspace;
    SorvaneWorkspaceView *m_workspaceView;
    SorvaneSettingsSheetController *m_settings;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_queuePage = nullptr;
    QPointer<QWidget> m_workspaceFocus;
    QList<QPointer<QAction>> m_sheetCommands;
    bool m_painted = false;
};
