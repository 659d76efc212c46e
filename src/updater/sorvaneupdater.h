#pragma once

#include "sorvaneupdateactivity.h"
#include "sorvaneupdateconfiguration.h"
#include "sorvaneupdatesettings.h"
#include "updateframework.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class UpdateCycle;

// The one updater of the process. Starts the update machinery once, for a
// correctly configured bundle only; mirrors its three values for the updates
// pane and the menu command; holds the one update problem shown to the
// person; and, as the machinery's delegate, lets a relaunch go ahead only
// while no window runs a transfer or account operation and after every
// settings sheet has closed. GUI thread only.
class SorvaneUpdater final : public QObject, public UpdateFrameworkDelegate
{
    Q_OBJECT
public:
    using ConfigurationSource = std::function<std::optional<SorvaneUpdateConfiguration>()>;
    using FrameworkFactory =
        std::function<std::unique_ptr<UpdateFramework>(const SorvaneUpdateConfiguration &, UpdateFrameworkDelegate *)>;

    // The running bundle's configuration and our own signed update machinery.
    static SorvaneUpdater &shared();

    SorvaneUpdater(ConfigurationSource configuration, FrameworkFactory factory, QObject *parent = nullptr);
    ~SorvaneUpdater() override;

    SorvaneUpdateActivity &activity() { return m_activity; }
    SorvaneUpdateSettings &settings() { return m_settings; }

    void startIfNeeded();
    // The button in the menu and in the updates pane.
    void checkForUpdates();
    void setAutomaticallyChecksForUpdates(bool on);
    // Both controls follow these rules.
    bool checkDisabled();
    bool automaticChecksDisabled();

    bool canCheckForUpdates() const { return m_canCheck; }
    bool automaticallyChecksForUpdates() const { return m_automaticChecks; }
    std::optional<QDateTime> lastUpdateCheckDate() const { return m_lastCheck; }
    std::optional<QString> issue() const { return m_issue; }
    bool isConfigured() const { return m_configured; }
    UpdateFramework *framework() const { return m_framework.get(); }

    // The vendor's download page, as a link and as shown in texts.
    static QUrl downloadPage();
    static QString downloadPageText();

    // UpdateFrameworkDelegate
    bool shouldRelaunchApplication() override;
    bool shouldPostponeRelaunch(const UpdateItem &item, std::function<void()> continuation) override;
    // Not while a window runs a transfer or account operation.
    bool mayCheckForUpdatesInBackground() override;
    void didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<QString> &error) override;

Q_SIGNALS:
    // Any value above, or the activity register, changed.
    void changed();

private:
    void setIssue(std::optional<QString> issue);
    void mirror();

    SorvaneUpdateActivity m_activity;
    SorvaneUpdateSettings m_settings;
    ConfigurationSource m_configuration;
    FrameworkFactory m_factory;
    std::unique_ptr<UpdateFramework> m_framework;
    bool m_configured = false;
    bool m_canCheck = false;
    bool m_automaticChecks = false;
    std::optional<QDateTime> m_lastCheck;
    std::optional<QString> m_issue;
};
