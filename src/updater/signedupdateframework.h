#pragma once

#include "foundation/cancellation.h"
#include "updatecycle.h"
#include "updatefeed.h"
#include "updateframework.h"
#include "updatefolders.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>
#include <chrono>
#include <memory>
#include <qcoro/qcorotask.h>

class BridgeError;
class QNetworkAccessManager;
class SettingsStore;
class SorvaneUpdateConfiguration;

// Our own signed update machinery. Fetches the feed over HTTPS (no cache, no
// cookies, redirects refused, time-outs) and its detached signature, picks
// the newest item for this platform, downloads the archive with progress,
// checks its length and Ed25519 signature before anything is unpacked,
// unpacks it into a staging folder beside the bundle and replaces the bundle
// by rename only when the delegate lets the application relaunch. Every
// failure ends the cycle with one sentence and leaves the bundle untouched;
// the previous bundle is removed only once the new one is in place and has
// started. It never follows a link when it writes or removes.
class SignedUpdateFramework final : public UpdateFramework
{
    Q_OBJECT
public:
    struct Setup
    {
        QString bundlePath;
        QString currentVersion;
        QUrl feed;
        QByteArray publicKey; // 32 bytes
        QString platform;
        // Trusted besides the system's authorities for loopback hosts only.
        QList<QSslCertificate> localAuthorities;
        // Starts the new executable and, when it started, ends this process;
        // false when it could not start (this process keeps running).
        std::function<bool(const QString &executable)> relaunch;
        // Renames within one file system, never replacing what is at `to`;
        // false with errno set. The default is the system's own (tests make it
        // fail). Where it answers that the file system does not support it,
        // the cycle renames once nothing stands at `to`.
        UpdateFolders::Rename rename;
        SettingsStore *settings = nullptr;
        // Automatic checks: how often, and how soon to ask again when a
        // window was busy.
        std::chrono::milliseconds checkInterval = std::chrono::hours(24);
        std::chrono::milliseconds busyRetry = std::chrono::minutes(1);
        // The download ends with a failure when it takes longer than this in
        // all (zero: a time allowed for its length), or when fewer than
        // `stallBytes` arrive within `stallTime`.
        std::chrono::milliseconds downloadDeadline{0};
        std::chrono::milliseconds stallTime = std::chrono::seconds(30);
        qint64 stallBytes = 16384;
        // A request ends with a failure when nothing arrives for this long.
        std::chrono::milliseconds idleTime = std::chrono::seconds(30);
    };

    // The key of the automatic-checks switch in the settings store.
    static constexpr const char *automaticChecksKey = "SUEnableAutomaticChecks";
    // When the feed was last read, kept across launches.
    static constexpr const char *lastCheckKey = "SULastCheckTime";
    static constexpr qint64 feedLimit = 1048576;
    static constexpr qint64 archiveLimit = UpdateFeed::archiveLimit;
    // An archive whose members add up to more than this many times its own
    // length, or to more than the ceiling, is not unpacked.
    static constexpr qint64 unpackedRatio = 20;
    static constexpr qint64 unpackedCeiling = qint64(8) * 1024 * 1024 * 1024;
    static qint64 unpackedLimit(qint64 archiveLength);

    SignedUpdateFramework(Setup setup, UpdateFrameworkDelegate *delegate, QObject *parent = nullptr);
    ~SignedUpdateFramework() override;

    // The running bundle with the configuration's feed and key. A loopback
    // feed and its key can stand in through TAVLON_LOCAL_UPDATE_FEED and
    // TAVLON_LOCAL_UPDATE_KEY, trusted through TAVLON_LOCAL_SERVICE_CA.
    static std::unique_ptr<UpdateFramework> forRunningBundle(const SorvaneUpdateConfiguration &configuration,
                                                              UpdateFrameworkDelegate *delegate);

    UpdateCycle &cycle() { return m_cycle; }
    UpdateCycle *updateCycle() override { return &m_cycle; }

    bool canCheckForUpdates() const override { return m_started && !m_running; }
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool on) override;
    std::optional<QDateTime> lastUpdateCheckDate() const override { return m_lastCheck; }
    std::optional<QString> startUpdater() override;
    void checkForUpdates() override;

    // Where a cycle unpacks its update, beside the bundle.
    QString stagingPath() const;

private:
    struct Staged
    {
        QString bundle;
        QString executable; // its name in Contents/MacOS
        // The bundle's folder as unpacked (device and inode): the cycle moves
        // and changes only this one and the old bundle at the app's path.
        quint64 device = 0;
        quint64 inode = 0;
    };

    QCoro::Task<void> runCycle(UpdateCheckKind kind);
    QCoro::Task<Staged> prepareUpdate(UpdateItem item, std::shared_ptr<bool> alive, CancellationToken cancel);
    QNetworkRequest makeRequest(const QUrl &url) const;
    QCoro::Task<QByteArray> fetch(QUrl url, qint64 limit, std::shared_ptr<bool> alive, CancellationToken cancel);
    QCoro::Task<void> download(const UpdateItem &item, std::shared_ptr<bool> alive, CancellationToken cancel);
    QCoro::Task<Staged> unpack(int archive, qint64 length, QString version, std::shared_ptr<bool> alive);
    QCoro::Task<void> checkBundleAccess(std::shared_ptr<bool> alive);
    BridgeError belongsTo(uid_t owner) const;
    QCoro::Task<void> makeStaging(std::shared_ptr<bool> alive);
    int openStaging() const;
    int createInStaging(const QString &name, bool folder = false);
    void keepAnotherFolder();
    QCoro::Task<void> clearStaging();
    void replaceBundle(const Staged &staged);
    bool move(const QString &from, const QString &to) const;
    [[noreturn]] void moveBackOrKeep(const QString &from, const QString &to, const QString &movedBack,
                                     const QString &kept);
    void learnRunningBundle();
    bool isRunningBundleAt(const QString &path) const;
    void scheduleCheck(bool catchUp);
    void checkInBackground();
    void endCycle(UpdateCheckKind kind, const std::optional<QString> &failure);
    void renewNetwork();
    void setRunning(bool running);

    Setup m_setup;
    UpdateFrameworkDelegate *m_delegate;
    std::unique_ptr<QNetworkAccessManager> m_network;
    UpdateCycle m_cycle;
    QTimer m_schedule;
    bool m_started = false;
    bool m_running = false;
    // This cycle made the staging folder; it keeps it when it holds the
    // only copy of the previous bundle.
    bool m_stagingMade = false;
    bool m_keepStaging = false;
    // The folder it made (device and inode), and the entries it made in it:
    // only those are removed, and the folder only when nothing else is left.
    quint64 m_stagingDevice = 0;
    quint64 m_stagingInode = 0;
    QStringList m_stagingEntries;
    // The bundle the app runs from (device and inode), known from the app's
    // path as the framework is set up, or at the first look when no folder
    // stood there then; the new one once it has started. Only it steps aside.
    bool m_bundleKnown = false;
    quint64 m_bundleDevice = 0;
    quint64 m_bundleInode = 0;
    // Who may do what in it, as the cycle found it before it downloaded: what
    // the new bundle below its own folder gets.
    std::optional<UpdateFolders::BundleAccess> m_bundleAccess;
    std::optional<QDateTime> m_lastCheck;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // The cycle's coroutine is kept until it ends; a new one replaces it only then.
    std::optional<QCoro::Task<void>> m_task;
};
