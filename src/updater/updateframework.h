#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class UpdateCycle;

// One update offered by the feed.
struct UpdateItem
{
    QString version;      // the build, compared with the bundle's "CFBundleVersion"
    QString shortVersion; // shown to the person
    QString platform;
    QUrl url;
    qint64 length = 0;
    QByteArray signature; // Ed25519 over the archive, 64 bytes
    QUrl releaseNotes;    // empty when the feed names none

    bool operator==(const UpdateItem &) const = default;
};

enum class UpdateCheckKind { updates, updatesInBackground };

// What the update machinery asks of the application before it relaunches,
// and tells it when a cycle ends. Answered on the GUI thread.
class UpdateFrameworkDelegate
{
public:
    virtual ~UpdateFrameworkDelegate() = default;
    // May the application relaunch now? False keeps it running; the person
    // installs again later.
    virtual bool shouldRelaunchApplication() = 0;
    // True: the relaunch waits until `continuation` is called (once, later).
    // False: it goes ahead at once.
    virtual bool shouldPostponeRelaunch(const UpdateItem &item, std::function<void()> continuation) = 0;
    // May an automatic check look for updates now? Asked each time one is due.
    virtual bool mayCheckForUpdatesInBackground() = 0;
    // Every cycle ends here, failed or not.
    virtual void didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<QString> &error) = 0;
};

// The update machinery the updater drives: finds, fetches, verifies and
// installs updates. Its three values can be watched through the signals.
class UpdateFramework : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool canCheckForUpdates() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual std::optional<QDateTime> lastUpdateCheckDate() const = 0;
    // Nothing on success, else why it could not start (never shown as is).
    virtual std::optional<QString> startUpdater() = 0;
    // A check the person asked for; its progress is for the person to see.
    virtual void checkForUpdates() = 0;
    // What the update window shows of a cycle, when the machinery has one.
    virtual UpdateCycle *updateCycle() { return nullptr; }

Q_SIGNALS:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    void lastUpdateCheckDateChanged();
};
