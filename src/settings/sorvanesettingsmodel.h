#pragma once

#include "settings/sorvanesettingssection.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class EditorModel;
class EditorSession;
class ServiceQueueModel;
class SorvaneProfilesModel;

// What the AI connection panel is opened for: the project folder and tools
// folder of the moment of opening, the opened task, and the check of that
// folder the panel runs before and after each load. Every opening has a new id.
struct SorvaneAIConnectionTarget
{
    QUuid id;
    QString repository;
    QUrl inbox;
    std::optional<QString> requestID;
    // Throws BridgeError when the folder changed since opening or fails its check.
    std::function<void()> validateStorage;
};

// The rules of a window's settings sheet: the selected section, which
// controls are usable (busy, demo, signed out, no project folder), opening
// the AI connection for the project folder, and emptying the window's models
// before a sign-out. The sheet's widgets only read it. GUI thread only.
class SorvaneSettingsModel final : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QSharedPointer<EditorModel> editor;
        QSharedPointer<ServiceQueueModel> queue;
        EditorSession *account = nullptr; // not owned
        // The own profile form's model; the same object as the editor's profiles. May be absent.
        std::shared_ptr<SorvaneProfilesModel> profiles;
        std::function<void()> clearInbox;
        std::function<void()> chooseStorage;
        std::function<void()> chooseTools;
        // Whether the project folder may be chosen now (the root view's rule); none: always.
        std::function<bool()> storageSelectionAllowed;
    };

    SorvaneSettingsModel(Parts parts, SorvaneSettingsSection section, QObject *parent = nullptr);

    const Parts &parts() const { return m_parts; }

    SorvaneSettingsSection section() const { return m_section; }
    void setSection(SorvaneSettingsSection section);

    // ---- rules ----
    bool busy() const;
    bool demo() const;
    bool signedIn() const;
    bool hasProjectFolder() const;
    bool sidebarEnabled() const { return !busy(); }
    bool cloudEnabled() const { return !demo(); }
    bool packagesEnabled() const { return !demo(); }
    bool connectAIEnabled() const { return hasProjectFolder() && !busy() && !demo(); }
    bool chooseToolsEnabled() const { return !busy() && !demo(); }
    bool showsStorageJump() const { return !hasProjectFolder(); }
    // The project location panel: disabled as a whole (the panel itself never
    // disables its buttons) while busy, in the demo, or while no folder may be
    // chosen, so that no click looks as if it could act when it cannot.
    bool storageEnabled() const;
    // The account pane: demo shows only its note; signed in adds the own
    // profile form, when the window has one.
    bool accountShowsProfile() const { return !demo() && signedIn() && m_parts.profiles; }

    // ---- operations ----
    // Checks the project folder and gives the panel's target; on a failed
    // check the editor's error shows it and there is no target.
    std::optional<SorvaneAIConnectionTarget> connectAI();
    // Before a sign-out starts: stops the editor's operation, then empties the
    // profiles, the service queue and the inbox, in that order.
    void beforeLogout();
    void stop();
    void chooseStorage();
    void chooseTools();

Q_SIGNALS:
    void sectionChanged();
    // A value the rules read may have changed.
    void changed();

private:
    Parts m_parts;
    SorvaneSettingsSection m_section;
};
