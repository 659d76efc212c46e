#pragma once

#include <QObject>

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

    // The process-wide register of windows running work.
    static SorvaneUpdateActivity &updateActivity();
    // Checks the update configuration once per process. There is no update
    // framework on this platform, so nothing more starts.
    static void startUpdaterIfNeeded();
    static bool updaterConfigured();

    EditorWindow *newWindow();
    // The menu bar of `window`.
    void installCommands(EditorWindow *window);
};
