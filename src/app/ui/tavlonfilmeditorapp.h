#pragma once

#include <QObject>
#include <functional>

class EditorWindow;
class QMenuBar;
class SorvaneUpdateActivity;

// The application: starts the updater once and opens windows, each with its
// own root view and models and the one shared session, and gives each
// window its menu commands.
class TavlonFilmEditorApp final : public QObject
{
    Q_OBJECT
public:
    explicit TavlonFilmEditorApp(QObject *parent = nullptr);

    // The process-wide register of windows running work (the updater's).
    static SorvaneUpdateActivity &updateActivity();
    // Starts the updater once per process, for a correctly configured bundle.
    static void startUpdaterIfNeeded();

    EditorWindow *newWindow();
    // The menu bar of `window`.
    void installCommands(EditorWindow *window);

    // Runs once, when the first window's widgets are built and before any of
    // them measures or draws text (its first layout, on show): main() waits
    // there for the fonts, read on other threads while the window is built.
    void setBeforeFirstText(std::function<void()> wait) { m_beforeFirstText = std::move(wait); }

private:
    std::function<void()> m_beforeFirstText;
};
