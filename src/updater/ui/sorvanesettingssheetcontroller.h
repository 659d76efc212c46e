#pragma once

#include <QObject>
#include <QPointer>
#include <QUuid>
#include <functional>

class QDialog;
class QWidget;
class SorvaneUpdateSettings;

// Owns one main window's settings sheet and reports its life to the
// settings-sheet coordinator, so that a relaunch for an update can close it
// first and no sheet opens while the relaunch waits. One per main window;
// destroyed with the window.
//
//     m_settingsSheet = new SorvaneSettingsSheetController(this, windowID, SorvaneUpdater::shared().settings(),
//                                                          [this](QWidget *window) { return buildSheet(window); });
//     if (SorvaneUpdater::shared().settings().requestPresentation(windowID)) // false: an update is being installed
//         m_settingsSheet->open();
class SorvaneSettingsSheetController final : public QObject
{
    Q_OBJECT
public:
    // Builds the sheet's dialog (parented to the window); the controller
    // opens it window-modal and deletes it when it closes.
    using SheetBuilder = std::function<QDialog *(QWidget *window)>;

    // `windowID` is the window's identity with the updater (its activity identity).
    SorvaneSettingsSheetController(QWidget *window, const QUuid &windowID, SorvaneUpdateSettings &coordinator,
                                   SheetBuilder build);
    ~SorvaneSettingsSheetController() override;

    const QUuid &windowID() const { return m_windowID; }
    // Opens the sheet once the coordinator has granted the window's request;
    // true when it shows (at once false again when a relaunch closes it).
    bool open();
    bool isPresented() const { return bool(m_sheet); }
    QDialog *sheet() const { return m_sheet; }

Q_SIGNALS:
    // The sheet closed, by the person or for a relaunch.
    void dismissed();

private:
    bool hasOtherSheet() const;
    // Settles a granted request whose sheet never came, unless another sheet
    // of the window is still showing; then it tries again when that one ends.
    void settle();

    QWidget *m_window;
    SorvaneUpdateSettings &m_coordinator;
    SheetBuilder m_build;
    QUuid m_windowID;
    QPointer<QDialog> m_sheet;
};
