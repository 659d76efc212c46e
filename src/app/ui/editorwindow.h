#pragma once

#include <QMainWindow>
#include <QPointer>
#include <chrono>

class EditorView;
class QDialog;
class SorvaneSettingsSheetController;
class StatusArea;

// One application window: its root view with the window's models, the
// status area and the window's settings sheet.
class EditorWindow final : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int minimumWidth = 940;
    static constexpr int minimumHeight = 660;
    static constexpr int defaultWidth = 1180;
    static constexpr int defaultHeight = 800;

    // Takes the view over.
    explicit EditorWindow(EditorView *view, QWidget *parent = nullptr);

    EditorView &view() const { return *m_view; }
    void toggleSidebar();
    // Whether this window (or a sheet of it) has the application's focus.
    bool hasSettingsFocus() const;

    // At the latest this long after the window is shown, start-up runs even
    // without a first paint.
    static constexpr std::chrono::milliseconds startUpFallback{1000};

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showSettings();
    QDialog *buildSettings();

    EditorView *m_view;
    StatusArea *m_status;
    SorvaneSettingsSheetController *m_settings;
    bool m_painted = false;
};
