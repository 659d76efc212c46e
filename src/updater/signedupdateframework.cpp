#include "signedupdateframework.h"

#include "foundation/appbundle.h"
#include "foundation/decoding/workerdecoding.h"
#include "foundation/cancellation.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/network/plainnetwork.h"
#include "foundation/settingsstore.h"
#include "sorvaneupdateconfiguration.h"
#include "updatefolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcoroprocess.h>
#include <sodium.h>

#include <cerrno>
#include <coroutine>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace UpdateFolders;

namespace {

constexpr int feedTimeoutMs = 45000;
constexpr qint64 signatureLimit = 4096;
// The downloaded archive's name in the cycle's folder.
constexpr const char *archiveName = "update.tar.gz";
// Left in the cycle's folder where it keeps a folder that is not the app's:
// no later cycle clears that folder away.
constexpr const char *keptAnotherFolderName = "kept-another-folder";
// Left there while it holds the previous version, which the person may be
// told it keeps: no later cycle clears that version away while it is there.
constexpr const char *keptPreviousName = "kept-previous-version";
// What a cycle puts in its folder; the previous bundle steps aside there.
constexpr const char *unpackedName = "unpacked";
constexpr const char *membersName = "members.txt";
constexpr const char *sizesName = "sizes.txt";
constexpr const char *previousName = "previous.app";

// Not the bundle the app runs from, and so not the cycle's to move, change or
// remove (someone who may write into the install folder can put one there).
QString anotherFolderAt(const QString &bundle)
{
    return loc("Another folder is at %@. It was left as it is, and nothing was installed.", {bundle});
}

// The bundle the app runs from is not at the app's path: another folder,
// left as it is, or nothing.
BridgeError notTheRunningBundleError(const QString &bundle)
{
    return BridgeError::failed(entryKind(bundle) == EntryKind::folder
                                   ? anotherFolderAt(bundle)
                                   : loc("The update could not be installed. The installed app is unchanged."));
}

// The failure where `folder` is on a disk (or a mount) that cannot be
// written to: no one can change it there.
std::optional<BridgeError> readOnlyDiskError(const QString &folder)
{
    struct statvfs disk;
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0 || !(disk.f_flag & ST_RDONLY))
        return std::nullopt;
    return BridgeError::failed(loc("The update could not be installed, because the folder %@ is on a disk that cannot "
                                   "be written to. Move the app to a folder you can change, then try again.",
                                   {folder}));
}

// The failure where this user may not change the folder `name` in `at`
// (`access` as faccessat takes it; shown as `folder`), saying who can: the
// person, the folder's owner, or no one while its disk is read-only (which
// the check reports only where the permissions allow the change).
std::optional<BridgeError> writeRefusedError(int at, const char *name, int access, int flags, const QString &folder)
{
    if (::faccessat(at, name, access, AT_EACCESS | flags) == 0 || (errno != EACCES && errno != EROFS))
        return std::nullopt;
    if (auto disk = readOnlyDiskError(folder))
        return disk;
    struct stat status;
    if (::fstatat(at, name, &status, flags) == 0 && status.st_uid != ::geteuid())
        return BridgeError::failed(loc("The update could not be installed, because the folder %@ belongs to %@. Ask "
                                       "them to give you write access to that folder, then try again.",
                                       {folder, userName(status.st_uid)}));
    return BridgeError::failed(loc("The update could not be installed, because you have no permission to change the "
                                   "folder %@. Give yourself write access to that folder, then try again.",
                                   {folder}));
}

// The time a download of `length` bytes is allowed in all: ten minutes, and
// as long again as 64 KiB a second would take.
std::chrono::milliseconds downloadDeadlineFor(qint64 length)
{
    return std::chrono::minutes(10) + std::chrono::seconds(length / 65536);
}

// Wakes a waiting cycle on a later turn of the event loop. However often it
// is poked in one turn, the cycle resumes once; a poke that arrives after the
// cycle moved on finds nothing to resume. (Awaiting a Qt signal instead
// resumed a destroyed awaiter when the signal was queued twice in one turn.)
class Wakeup
{
    struct State
    {
        std::coroutine_handle<> waiting;
        bool scheduled = false;
    };

public:
    struct Awaiter
    {
        State *state;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { state->waiting = handle; }
        void await_resume() const noexcept {}
    };

    void poke() const
    {
        if (!m_state->waiting || m_state->scheduled)
            return;
        m_state->scheduled = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak = std::weak_ptr<State>(m_state)] {
                const auto state = weak.lock();
                if (!state)
                    return;
                state->scheduled = false;
                if (const auto handle = std::exchange(state->waiting, {}))
                    handle.resume();
            },
            Qt::QueuedConnection);
    }
    Awaiter next() const { return Awaiter{m_state.get()}; }

private:
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// A listing tar wrote into `listing` (open, read from its start).
QList<QByteArray> listedLines(int listing)
{
    QList<QByteArray> lines;
    QFile file;
    if (::lseek(listing, 0, SEEK_SET) != 0 || !file.open(listing, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

// The archive's member names as tar lists them: each below `name`, none
// absolute, none with a ".." part.
bool membersStayInside(int listing, const QString &name)
{
    const QList<QByteArray> lines = listedLines(listing);
    for (const QByteArray &line : lines) {
        const QString member = QString::fromUtf8(line);
        if (member.startsWith(QLatin1Char('/')))
            return false;
        const QStringList parts = member.split(QLatin1Char('/'));
        if (parts.first() != name || parts.contains(QStringLiteral("..")))
            return false;
    }
    return !lines.isEmpty();
}

// The members' sizes as tar's long listing gives them (with numeric owners:
// mode, owner/group, size, ...) add up to no more than `limit`. A size it
// does not show as a number (a device) is refused too.
bool membersFit(int listing, qint64 limit)
{
    const QList<QByteArray> lines = listedLines(listing);
    qint64 total = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool number = false;
        const qint64 size = fields.size() > 2 ? fields.at(2).toLongLong(&number) : -1;
        if (!number || size < 0 || size > limit - total)
            return false;
        total += size;
    }
    return !lines.isEmpty();
}

// tar as the system ships it: no options or quoting from the environment.
// It reads the archive from `input`, writes its listing to `output` (-1:
// nowhere) and works in the folder `folder` (-1: this process's); all three
// are this process's own descriptors, so it follows no path of ours.
void prepareTar(QProcess &tar, const QStringList &arguments, int input, int output, int folder, int null)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tar.setProcessEnvironment(environment);
    tar.setProgram(QStringLiteral("/bin/tar"));
    tar.setArguments(arguments);
    tar.setProcessChannelMode(QProcess::ForwardedChannels);
    tar.setInputChannelMode(QProcess::ForwardedInputChannel);
    tar.setChildProcessModifier([input, output, folder, null] {
        ::dup2(input, STDIN_FILENO);
        ::dup2(output >= 0 ? output : null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (folder >= 0 && ::fchdir(folder) != 0)
            ::_exit(127);
    });
}

QString unreachable()
{
    return loc("Could not reach the update server. Check the connection and try again.");
}

// A download the server answered, ended by the cycle's own limits: nothing
// arrived for too long, too little in a stall period, or not all in time.
QString downloadStopped()
{
    return loc("The update download stopped, because the server sent too little for too long. Nothing was installed.");
}

// Runs tar to its end (at most five minutes) on the archive `input`, from
// its start; true when it exited cleanly. Throws OperationCancelled when the
// machinery went away meanwhile.
QCoro::Task<bool> runTar(QStringList arguments, int input, int output, int folder, std::shared_ptr<bool> alive)
{
    const Descriptor null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null.valid() || ::lseek(input, 0, SEEK_SET) != 0)
        co_return false;
    QProcess tar;
    prepareTar(tar, arguments, input, output, folder, null.get());
    tar.start();
    co_await qCoro(tar).waitForFinished(std::chrono::minutes(5));
    if (!*alive)
        throw OperationCancelled();
    if (tar.state() != QProcess::NotRunning) {
        tar.kill();
        tar.waitForFinished(1000);
    }
    co_return tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0;
}

// Runs `check` off the GUI thread: a hostile archive may list hundreds of
// thousands of members. Throws OperationCancelled when the machinery went
// away meanwhile.
template<class Check>
QCoro::Task<bool> checkAside(Check check, std::shared_ptr<bool> alive)
{
    auto checked = WorkerDecoding::run<bool>(std::move(check));
    const bool passed = co_await checked;
    if (!*alive)
        throw OperationCancelled();
    co_return passed;
}

void checkAlive(const std::shared_ptr<bool> &alive, const CancellationToken &cancel)
{
    if (!*alive || cancel.isCancelled())
        throw OperationCancelled();
}

} // namespace



// ---- SignedUpdateFramework ----

SignedUpdateFramework::SignedUpdateFramework(Setup setup, UpdateFrameworkDelegate *delegate, QObject *parent)
    : UpdateFramework(parent), m_setup(std::move(setup)), m_delegate(delegate)
{
    if (!m_setup.rename)
        m_setup.rename = renameNoReplace;
    learnRunningBundle();
    renewNetwork();
    if (m_setup.settings) {
        const QDateTime last = QDateTime::fromString(m_setup.settings->value(QString::fromLatin1(lastCheckKey)).toString(),
                                                     Qt::ISODateWithMs);
        if (last.isValid())
            m_lastCheck = last;
    }
    m_schedule.setSingleShot(true);
    connect(&m_schedule, &QTimer::timeout, this, &SignedUpdateFramework::checkInBackground);
}

SignedUpdateFramework::~SignedUpdateFramework()
{
    *m_alive = false;
}

std::unique_ptr<UpdateFramework> SignedUpdateFramework::forRunningBundle(const SorvaneUpdateConfiguration &configuration,
                                                                         UpdateFrameworkDelegate *delegate)
{
    Setup setup;
    setup.bundlePath = AppBundle::bundlePath();
    setup.currentVersion = AppBundle::infoDictionary().value(QStringLiteral("CFBundleVersion")).toString();
    setup.feed = configuration.feedURL();
    setup.publicKey = QByteArray::fromBase64(configuration.publicKey().toLatin1());
    setup.platform = UpdateFeed::currentPlatform();
    setup.settings = &SettingsStore::standard();
    const QUrl localFeed(qEnvironmentVariable("TAVLON_LOCAL_UPDATE_FEED"), QUrl::StrictMode);
    const auto localKey = UpdateFeed::canonicalBase64(qEnvironmentVariable("TAVLON_LOCAL_UPDATE_KEY"), 32);
    if (localFeed.isValid() && localFeed.scheme() == u"https" && PlainNetwork::isLoopback(localFeed.host()) && localKey) {
        setup.feed = localFeed;
        setup.publicKey = *localKey;
    }
    const QString ca = qEnvironmentVariable("TAVLON_LOCAL_SERVICE_CA");
    if (!ca.isEmpty())
        setup.localAuthorities = QSslCertificate::fromPath(ca);
    setup.relaunch = [](const QString &executable) {
        // The new process runs in a session of its own; this one ends once
        // it has started.
        if (!QProcess::startDetached(executable, QCoreApplication::arguments().mid(1)))
            return false;
        QCoreApplication::quit();
        return true;
    };
    return std::make_unique<SignedUpdateFramework>(std::move(setup), delegate);
}

bool SignedUpdateFramework::automaticallyChecksForUpdates() const
{
    return m_setup.settings && m_setup.settings->value(QString::fromLatin1(automaticChecksKey)).toBool();
}

void SignedUpdateFramework::setAutomaticallyChecksForUpdates(bool on)
{
    if (!m_setup.settings || on == automaticallyChecksForUpdates())
        return;
    m_setup.settings->setValue(QString::fromLatin1(automaticChecksKey), on);
    scheduleCheck(false);
    Q_EMIT automaticallyChecksForUpdatesChanged();
}

std::optional<QString> SignedUpdateFramework::startUpdater()
{
    if (m_started)
        return std::nullopt;
    if (QFileInfo(m_setup.bundlePath).fileName().isEmpty() || m_setup.publicKey.size() != 32 || sodium_init() < 0)
        return QStringLiteral("the update machinery is not set up");
    m_started = true;
    // A check that fell due while the app was not running is made up now,
    // once (the machinery starts after the first window has painted).
    scheduleCheck(true);
    Q_EMIT canCheckForUpdatesChanged();
    return std::nullopt;
}

// The next automatic check: when the last one is a full interval old. Only
// the start makes up an overdue check at once; otherwise it waits an interval.
void SignedUpdateFramework::scheduleCheck(bool catchUp)
{
    m_schedule.stop();
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    const qint64 interval = m_setup.checkInterval.count();
    qint64 wait = catchUp ? 0 : interval;
    if (m_lastCheck) {
        const qint64 untilDue = QDateTime::currentDateTimeUtc().msecsTo(m_lastCheck->addMSecs(interval));
        if (untilDue > 0)
            wait = std::min(untilDue, interval); // a clock set back waits no longer than an interval
    }
    m_schedule.start(std::chrono::milliseconds(wait));
}

// An automatic check falls due. Never while a window runs a transfer or an
// account operation: it asks again a little later, until it may.
void SignedUpdateFramework::checkInBackground()
{
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    if (m_running)
        return; // the running cycle schedules the next check when it ends
    if (!m_delegate->mayCheckForUpdatesInBackground()) {
        m_schedule.start(m_setup.busyRetry);
        return;
    }
    m_task.emplace(runCycle(UpdateCheckKind::updatesInBackground));
}

void SignedUpdateFramework::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    m_task.emplace(runCycle(UpdateCheckKind::updates));
}

QString SignedUpdateFramework::stagingPath() const
{
    const QFileInfo bundle(m_setup.bundlePath);
    return bundle.dir().filePath(QLatin1Char('.') + bundle.fileName() + QStringLiteral(".update"));
}

void SignedUpdateFramework::setRunning(bool running)
{
    if (m_running == running)
        return;
    m_running = running;
    Q_EMIT canCheckForUpdatesChanged();
}

// No redirects, no cache, no cookies, an idle time-out; a loopback server
// may present a certificate of the local authorities.
QNetworkRequest SignedUpdateFramework::makeRequest(const QUrl &url) const
{
    QNetworkRequest request = PlainNetwork::request(url, int(m_setup.idleTime.count()));
    if (!m_setup.localAuthorities.isEmpty() && PlainNetwork::isLoopback(url.host()))
        PlainNetwork::trust(request, m_setup.localAuthorities);
    return request;
}

QCoro::Task<QByteArray> SignedUpdateFramework::fetch(QUrl url, qint64 limit, std::shared_ptr<bool> alive,
                                                     CancellationToken cancel)
{
    const QNetworkRequest request = makeRequest(url);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(m_network->get(request),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    auto oversized = std::make_shared<bool>(false);
    connect(raw, &QNetworkReply::readyRead, raw, [raw, oversized, limit] {
        if (raw->bytesAvailable() > limit) {
            *oversized = true;
            raw->abort();
        }
    });
    QTimer::singleShot(feedTimeoutMs, raw, [raw] { raw->abort(); });
    // A check the person cancels ends at once, also where the server has not
    // answered yet, and is not then reported as failed.
    const int ending = cancel.onCancel([raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    cancel.removeCallback(ending);
    checkAlive(alive, cancel);
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (*oversized)
        throw BridgeError::failed(loc("The update feed could not be read. Try again later."));
    if (raw->error() != QNetworkReply::NoError || status != 200)
        throw BridgeError::failed(unreachable());
    QByteArray body = raw->readAll();
    co_return body;
}

QCoro::Task<void> SignedUpdateFramework::runCycle(UpdateCheckKind kind)
{
    const auto alive = m_alive;
    CancellationToken cancel;
    const Wakeup wakeup;
    const auto install = std::make_shared<bool>(false);
    const auto dismissal = connect(&m_cycle, &UpdateCycle::dismissRequested, this, [cancel, wakeup] {
        cancel.cancel();
        wakeup.poke();
    });
    // Only an offered update can be chosen; a second choice changes nothing.
    const auto chosen = connect(&m_cycle, &UpdateCycle::installRequested, this, [this, install, wakeup] {
        if (m_cycle.phase() != UpdateCycle::Phase::available)
            return;
        *install = true;
        wakeup.poke();
    });
    m_stagingMade = false;
    m_keepStaging = false;
    m_stagingEntries.clear();
    setRunning(true);
    m_cycle.setItem(std::nullopt);
    m_cycle.setBackground(kind == UpdateCheckKind::updatesInBackground);
    m_cycle.set(UpdateCycle::Phase::checking, loc("Looking for updates…"));
    std::optional<QString> failure;
    try {
        const QByteArray feed = co_await fetch(m_setup.feed, feedLimit, alive, cancel);
        checkAlive(alive, cancel);
        QUrl signatureURL = m_setup.feed;
        signatureURL.setPath(signatureURL.path() + QStringLiteral(".sig"));
        const QByteArray signatureText = co_await fetch(signatureURL, signatureLimit, alive, cancel);
        checkAlive(alive, cancel);
        const auto signature = UpdateFeed::signature(signatureText);
        if (!signature
            || !UpdateFeed::verify(reinterpret_cast<const uchar *>(feed.constData()), feed.size(), *signature,
                                   m_setup.publicKey))
            throw BridgeError::failed(loc("The update feed is not signed with the app's key. Nothing was installed."));
        const auto items = UpdateFeed::parse(feed);
        if (!items)
            throw BridgeError::failed(loc("The update feed could not be read. Try again later."));
        m_lastCheck = QDateTime::currentDateTimeUtc();
        if (m_setup.settings)
            m_setup.settings->setValue(QString::fromLatin1(lastCheckKey), m_lastCheck->toString(Qt::ISODateWithMs));
        Q_EMIT lastUpdateCheckDateChanged();

        std::optional<UpdateItem> newest;
        bool platformSeen = false;
        for (const UpdateItem &item : *items) {
            if (item.platform != m_setup.platform)
                continue;
            platformSeen = true;
            if (UpdateFeed::compareVersions(item.version, m_setup.currentVersion) > 0
                && (!newest || UpdateFeed::compareVersions(item.version, newest->version) > 0))
                newest = item;
        }
        if (!platformSeen)
            throw BridgeError::failed(loc("The update feed offers no update for this computer."));
        if (!newest) {
            m_cycle.set(UpdateCycle::Phase::upToDate,
                        loc("You have the newest version (%@).", {m_setup.currentVersion}));
        } else {
            m_cycle.setItem(newest);
            m_cycle.set(UpdateCycle::Phase::available, loc("Version %@ is available. You have version %@.",
                                                           {newest->shortVersion, m_setup.currentVersion}));
            // The person decides: install, or dismiss (which cancels).
            while (!*install && !cancel.isCancelled()) {
                co_await wakeup.next();
                checkAlive(alive, CancellationToken());
            }
            checkAlive(alive, cancel);
            const Staged staged = co_await prepareUpdate(*newest, alive, cancel);
            checkAlive(alive, cancel);

            // Settings sheets close first; the relaunch waits for them.
            m_cycle.set(UpdateCycle::Phase::waitingToRelaunch,
                        loc("The update is ready. It is installed as soon as the settings are closed."));
            const auto resumed = std::make_shared<bool>(false);
            const bool postponed = m_delegate->shouldPostponeRelaunch(*newest, [resumed, wakeup] {
                *resumed = true;
                wakeup.poke();
            });
            if (postponed) {
                while (!*resumed && !cancel.isCancelled()) {
                    co_await wakeup.next();
                    checkAlive(alive, CancellationToken());
                }
                checkAlive(alive, cancel);
            }
            if (!m_delegate->shouldRelaunchApplication())
                throw BridgeError::failed(loc("The app was not restarted. Install the update again later."));
            replaceBundle(staged);
        }
    } catch (const BridgeError &error) {
        // Work that failed after the person cancelled it is not theirs to hear of.
        if (!cancel.isCancelled()) {
            logFailure(lcUpdater, "the update cycle");
            failure = error.message();
        }
    } catch (const OperationCancelled &) {
    }
    if (!*alive)
        co_return;
    disconnect(dismissal);
    disconnect(chosen);
    renewNetwork();
    // Only what this cycle made, and never the only copy of the previous bundle.
    if (m_stagingMade && !m_keepStaging) {
        co_await clearStaging();
        if (!*alive)
            co_return;
    }
    // An automatic check stays quiet unless it offered an update.
    const bool quiet = kind == UpdateCheckKind::updatesInBackground && !m_cycle.item();
    if (failure && !quiet)
        m_cycle.set(UpdateCycle::Phase::failed, *failure);
    else if (failure || quiet || cancel.isCancelled() || m_cycle.phase() != UpdateCycle::Phase::upToDate)
        m_cycle.set(UpdateCycle::Phase::idle, QString());
    endCycle(kind, failure);
    scheduleCheck(false);
}

// Each cycle asks on connections of its own. Qt hands a connection it is
// still opening (to a server that takes it and never answers) to the next
// request to that host, which would then wait on it too; the manager's
// thread closes every connection of its own as the manager goes.
void SignedUpdateFramework::renewNetwork()
{
    if (m_network)
        m_network.release()->deleteLater();
    m_network = std::make_unique<QNetworkAccessManager>();
    PlainNetwork::configure(*m_network);
}

void SignedUpdateFramework::endCycle(UpdateCheckKind kind, const std::optional<QString> &failure)
{
    setRunning(false);
    m_delegate->didFinishUpdateCycle(kind, failure);
}

QCoro::Task<void> SignedUpdateFramework::download(const UpdateItem &item, std::shared_ptr<bool> alive,
                                                  CancellationToken cancel)
{
    QFile file;
    // A new file in the cycle's own folder: never through a link.
    const int created = createInStaging(QString::fromLatin1(archiveName));
    if (created < 0 || !file.open(created, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        if (created >= 0)
            ::close(created);
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    }
    const QNetworkRequest request = makeRequest(item.url);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(m_network->get(request),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    struct State
    {
        qint64 written = 0;
        qint64 mark = 0; // written at the last look for a stall
        bool tooLong = false;
        bool writeFailed = false;
        bool timedOut = false;
    };
    auto state = std::make_shared<State>();
    // Written as it arrives; never more than the feed announced.
    const auto reading = connect(raw, &QNetworkReply::readyRead, raw, [raw, state, &file, length = item.length] {
        const QByteArray chunk = raw->readAll();
        if (state->written + chunk.size() > length) {
            state->tooLong = true;
            raw->abort();
            return;
        }
        if (file.write(chunk) != chunk.size()) {
            state->writeFailed = true;
            raw->abort();
            return;
        }
        state->written += chunk.size();
    });
    QPointer<UpdateCycle> cycle = &m_cycle;
    const auto progress = connect(raw, &QNetworkReply::downloadProgress, raw,
                                  [cycle, state, text = m_cycle.text(), length = item.length] {
                                      if (cycle)
                                          cycle->set(UpdateCycle::Phase::downloading, text,
                                                     double(state->written) / double(length));
                                  });
    // A download that drips keeps the connection busy but never ends: it has
    // a deadline in all, and must make some progress in every stall period.
    const auto deadline = m_setup.downloadDeadline.count() > 0 ? m_setup.downloadDeadline : downloadDeadlineFor(item.length);
    QTimer::singleShot(deadline, raw, [raw, state] {
        state->timedOut = true;
        raw->abort();
    });
    auto *stall = new QTimer(raw);
    connect(stall, &QTimer::timeout, raw, [raw, state, least = m_setup.stallBytes, length = item.length] {
        if (state->written - state->mark < std::min(least, length - state->mark)) {
            state->timedOut = true;
            raw->abort();
        }
        state->mark = state->written;
    });
    stall->start(m_setup.stallTime);
    // The person's cancel: the cycle is cancelled before the abort, so what
    // follows is not reported.
    const int ending = cancel.onCancel([raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    cancel.removeCallback(ending);
    // Only the download's own connections: an abort resumes this from within
    // the reply's finished signal, and the reply tells its network thread to
    // end the transfer only after that (through a connection of its own).
    disconnect(reading);
    disconnect(progress);
    if (!*alive)
        throw OperationCancelled();
    stall->stop();
    file.close();
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (state->writeFailed)
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    if (state->tooLong)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
    // Aborted by the stall check, the deadline or the request's idle time-out
    // (which Qt reports as an abort). The person's cancel aborts it too, and
    // the cancelled cycle reports nothing: only it ends without a word.
    if (state->timedOut || raw->error() == QNetworkReply::OperationCanceledError)
        throw BridgeError::failed(downloadStopped());
    if (raw->error() == QNetworkReply::RemoteHostClosedError
        || (raw->error() == QNetworkReply::NoError && status == 200 && state->written < item.length
            && raw->header(QNetworkRequest::ContentLengthHeader).toLongLong() > state->written))
        throw BridgeError::failed(loc("The update download broke off. Nothing was installed."));
    if (raw->error() != QNetworkReply::NoError || status != 200)
        throw BridgeError::failed(unreachable());
    if (state->written != item.length)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
}

qint64 SignedUpdateFramework::unpackedLimit(qint64 archiveLength)
{
    return archiveLength > unpackedCeiling / unpackedRatio ? unpackedCeiling : archiveLength * unpackedRatio;
}

// Unpacks the verified archive (`archive`, open) into the cycle's folder.
QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::unpack(int archive, qint64 length, QString version,
                                                                         std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be unpacked. Nothing was installed.");
    const QString name = QFileInfo(m_setup.bundlePath).fileName();
    if (!m_bundleAccess)
        throw BridgeError::failed(failed);
    const QString into = QDir(stagingPath()).filePath(QLatin1String(unpackedName));
    const Descriptor folder(createInStaging(QLatin1String(unpackedName), true));
    const Descriptor members(createInStaging(QLatin1String(membersName)));
    const Descriptor sizes(createInStaging(QLatin1String(sizesName)));
    if (!folder.valid() || !members.valid() || !sizes.valid())
        throw BridgeError::failed(failed);

    // The members' names first: all inside one folder of the bundle's name;
    // and what they add up to, bounded by the archive's length.
    auto listed = runTar({QStringLiteral("--quoting-style=escape"), QStringLiteral("-tzf"), QStringLiteral("-")},
                         archive, members.get(), -1, alive);
    if (!co_await listed)
        throw BridgeError::failed(failed);
    auto inside = checkAside([listing = members.get(), name] { return membersStayInside(listing, name); }, alive);
    if (!co_await inside)
        throw BridgeError::failed(failed);
    auto measured = runTar({QStringLiteral("--numeric-owner"), QStringLiteral("-tvzf"), QStringLiteral("-")}, archive,
                           sizes.get(), -1, alive);
    if (!co_await measured)
        throw BridgeError::failed(failed);
    auto fits = checkAside([listing = sizes.get(), limit = unpackedLimit(length)] { return membersFit(listing, limit); },
                           alive);
    if (!co_await fits)
        throw BridgeError::failed(failed);

    auto unpacked = runTar({QStringLiteral("-xzf"), QStringLiteral("-"), QStringLiteral("--no-same-owner"),
                            QStringLiteral("--no-same-permissions")},
                           archive, -1, folder.get(), alive);
    if (!co_await unpacked)
        throw BridgeError::failed(failed);
    // Exactly one bundle of our name and identity, at the version the feed
    // promised, whose links all stay inside it, with its own executable.
    const QStringList entries = QDir(into).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QString staged = QDir(into).filePath(name);
    if (entries != QStringList{name} || entryKind(staged) != EntryKind::folder)
        throw BridgeError::failed(failed);
    // A folder moved into another one has its ".." rewritten, which takes
    // write permission on it: a bundle packed read-only would never move into
    // place (nor aside at the next update).
    giveOwnerAccess(folder.get(), QFile::encodeName(name).constData());
    auto linksInside = checkAside([staged] { return linksStayInside(staged); }, alive);
    if (!co_await linksInside)
        throw BridgeError::failed(failed);
    // Whatever modes the archive and this run's umask gave, whoever may open
    // the bundle may run the app, and only the person (and the members of a
    // bundle's group that share it) may change its code; the bundle's own
    // folder gets the access they gave the old one once it is in place.
    auto settled = checkAside(
        [staged, access = *m_bundleAccess] { return settleAccessBelow(staged, access); },
        alive);
    if (!co_await settled)
        throw BridgeError::failed(failed);
    const QString plistPath = QDir(staged).filePath(QStringLiteral("Contents/Info.plist"));
    QFile plist(plistPath);
    if (entryKind(plistPath) != EntryKind::file || !plist.open(QIODevice::ReadOnly))
        throw BridgeError::failed(failed);
    const auto info = AppBundle::parseInfoPlist(plist.read(1048576));
    if (!info
        || info->value(QStringLiteral("CFBundleIdentifier")).toString()
            != QLatin1String(SorvaneUpdateConfiguration::expectedBundleIdentifier)
        || info->value(QStringLiteral("CFBundleVersion")).toString() != version)
        throw BridgeError::failed(failed);
    const QString executable = info->value(QStringLiteral("CFBundleExecutable")).toString();
    const QString executablePath = QDir(staged).filePath(QStringLiteral("Contents/MacOS/") + executable);
    if (executable.isEmpty() || executable.contains(QLatin1Char('/')) || executable == u"." || executable == u".."
        || entryKind(executablePath) != EntryKind::file || !QFileInfo(executablePath).isExecutable())
        throw BridgeError::failed(failed);
    struct stat status;
    if (::lstat(QFile::encodeName(staged).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw BridgeError::failed(failed);
    co_return Staged{QString(staged), QString(executable), quint64(status.st_dev), quint64(status.st_ino)};
}

// Another user's bundle is updated only where the cycle can keep it shared:
// its group writes into it, this user is in that group, may move it out of
// the install folder (not one that keeps entries to their owners), and may
// clear away everything in it once it is replaced. Otherwise no member (and
// not its owner) could update it again, nor remove what this cycle leaves.
QCoro::Task<void> SignedUpdateFramework::checkBundleAccess(std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString bundle = m_setup.bundlePath;
    const QByteArray name = QFile::encodeName(QFileInfo(bundle).fileName());
    m_bundleAccess.reset();
    const Descriptor parent = openParent(bundle);
    if (!parent.valid() || !isRunningBundleAt(bundle))
        throw notTheRunningBundleError(bundle);
    m_bundleAccess = bundleAccessOf(parent.get(), name.constData(), m_bundleDevice, m_bundleInode);
    struct stat status;
    if (!m_bundleAccess && !isRunningBundleAt(bundle))
        throw notTheRunningBundleError(bundle);
    if (!m_bundleAccess && ::fstatat(parent.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
        && status.st_uid != ::geteuid())
        throw belongsTo(status.st_uid);
    if (!m_bundleAccess)
        throw BridgeError::failed(failed);
    if (m_bundleAccess->owner == ::geteuid())
        co_return;
    struct stat installFolder;
    bool keptShared = m_bundleAccess->shared() && inGroup(m_bundleAccess->group)
        && ::fstat(parent.get(), &installFolder) == 0
        && (!(installFolder.st_mode & S_ISVTX) || installFolder.st_uid == ::geteuid())
        && ::faccessat(parent.get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
    if (keptShared) {
        auto removable = WorkerDecoding::run<bool>([bundle] { return removableBelow(bundle); });
        keptShared = co_await removable;
        if (!*alive)
            throw OperationCancelled();
    }
    if (!keptShared)
        throw belongsTo(m_bundleAccess->owner);
}

BridgeError SignedUpdateFramework::belongsTo(uid_t owner) const
{
    return BridgeError::failed(loc("The update could not be installed, because the app at %@ belongs to %@. Ask them "
                                   "to install the update.",
                                   {m_setup.bundlePath, userName(owner)}));
}

// The cycle's own folder beside the bundle. A link or anything else found at
// its path is not ours and is refused. A folder left by an interrupted cycle
// is cleared (off the GUI thread: it may be large) only where it is as a
// cycle leaves it: this user's, closed to everyone else, holding only what a
// cycle puts there, and not a previous version marked as kept; and not while
// the bundle is missing (then it may hold the only copy). Anything else stays
// as it is, and the person is told whose it is or to move it out of the way.
QCoro::Task<void> SignedUpdateFramework::makeStaging(std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString staging = stagingPath();
    const QByteArray native = QFile::encodeName(staging);
    // The folder holding the app, which its owner may have made read-only:
    // neither the cycle's folder nor a left-over one could be made or cleared.
    const QString installFolder = QFileInfo(m_setup.bundlePath).absolutePath();
    if (auto refused =
            writeRefusedError(AT_FDCWD, QFile::encodeName(installFolder).constData(), W_OK | X_OK, 0, installFolder))
        throw *refused;
    // The app steps aside by renaming its own folder: on a read-only disk it
    // cannot, which is said before anything is fetched.
    if (auto disk = readOnlyDiskError(m_setup.bundlePath))
        throw *disk;
    switch (entryKind(staging)) {
    case EntryKind::missing:
        break;
    case EntryKind::folder: {
        if (entryKind(m_setup.bundlePath) != EntryKind::folder)
            throw BridgeError::failed(failed);
        if (!isRunningBundleAt(m_setup.bundlePath))
            throw BridgeError::failed(anotherFolderAt(m_setup.bundlePath));
        const QString notLeftByUpdate = loc("The update could not be installed, because the folder %@ is not one an "
                                            "earlier update left. Move it out of the way, then try again.",
                                            {staging});
        struct stat status;
        const Descriptor left(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (left.valid() ? ::fstat(left.get(), &status) != 0 : ::lstat(native.constData(), &status) != 0)
            throw BridgeError::failed(notLeftByUpdate);
        if (status.st_uid != ::geteuid())
            throw BridgeError::failed(loc("The update could not be installed, because the folder %@ beside the app "
                                          "belongs to %@. Ask them to move it out of the way, then try again.",
                                          {staging, userName(status.st_uid)}));
        const auto names = left.valid() ? namesIn(left.get()) : std::nullopt;
        if (!names || (status.st_mode & 0777) != S_IRWXU)
            throw BridgeError::failed(notLeftByUpdate);
        if (names->contains(keptAnotherFolderName))
            throw BridgeError::failed(loc("The update could not be installed, because the folder %@ from an earlier "
                                          "update keeps another folder that is not the app's. Move what you need "
                                          "out of it and remove that folder, then try again.",
                                          {staging}));
        if (names->contains(keptPreviousName) && names->contains(previousName))
            throw BridgeError::failed(loc("The update could not be installed, because an earlier update kept the "
                                          "previous version in %@. Move it out of the way, then try again.",
                                          {QDir(staging).filePath(QLatin1String(previousName))}));
        QStringList entries;
        for (const QByteArray &name : *names) {
            if (name != archiveName && name != unpackedName && name != membersName && name != sizesName
                && name != previousName && name != keptPreviousName)
                throw BridgeError::failed(notLeftByUpdate);
            entries << QFile::decodeName(name);
        }
        auto cleared = WorkerDecoding::run<bool>(
            [staging, device = quint64(status.st_dev), inode = quint64(status.st_ino), entries] {
                return clearFolder(staging, device, inode, entries);
            });
        const bool removed = co_await cleared;
        if (!*alive)
            throw OperationCancelled();
        // Another user's folder inside: the person is told to move it away.
        if (!removed)
            throw BridgeError::failed(loc("The update could not be installed, because the folder %@ from an earlier "
                                          "update could not be removed. Move it out of the way, then try again.",
                                          {staging}));
        break;
    }
    default:
        throw BridgeError::failed(failed);
    }
    struct stat status;
    if (::mkdir(native.constData(), 0700) != 0 || ::lstat(native.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw BridgeError::failed(failed);
    m_stagingDevice = status.st_dev;
    m_stagingInode = status.st_ino;
    m_stagingMade = true;
}

// The bundle the app runs from is the folder at the app's path as the
// framework is set up, or at the first cycle when none stood there then.
void SignedUpdateFramework::learnRunningBundle()
{
    struct stat status;
    if (m_bundleKnown || ::lstat(QFile::encodeName(m_setup.bundlePath).constData(), &status) != 0
        || !S_ISDIR(status.st_mode))
        return;
    m_bundleKnown = true;
    m_bundleDevice = status.st_dev;
    m_bundleInode = status.st_ino;
}

// `path` holds the bundle the app runs from.
bool SignedUpdateFramework::isRunningBundleAt(const QString &path) const
{
    return m_bundleKnown && standsAt(path, m_bundleDevice, m_bundleInode);
}

// The cycle's folder, opened without following a link, while it is the one
// the cycle made; -1 otherwise.
int SignedUpdateFramework::openStaging() const
{
    if (!m_stagingMade)
        return -1;
    return openFolder(stagingPath(), m_stagingDevice, m_stagingInode).release();
}

// A new file (or folder) `name` in the cycle's folder, open; never an entry
// that was there already, a link least of all. -1 when it cannot be made.
int SignedUpdateFramework::createInStaging(const QString &name, bool folder)
{
    const Descriptor staging(openStaging());
    if (!staging.valid())
        return -1;
    const QByteArray native = QFile::encodeName(name);
    int created = -1;
    if (folder) {
        if (::mkdirat(staging.get(), native.constData(), 0700) == 0) {
            m_stagingEntries.append(name);
            created = ::openat(staging.get(), native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
    } else {
        created = ::openat(staging.get(), native.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (created >= 0)
            m_stagingEntries.append(name);
    }
    return created;
}

// The cycle's folder keeps a folder that is not the app's (one put at the
// app's path that could not be put back): it stays, and so it is marked for
// the cycles after this one, in this run or a later one.
void SignedUpdateFramework::keepAnotherFolder()
{
    m_keepStaging = true;
    const Descriptor marker(createInStaging(QString::fromLatin1(keptAnotherFolderName), false));
    if (!marker.valid())
        qCWarning(lcUpdater) << "the update's folder could not be marked as keeping another folder";
}

// Removes what the cycle made in its folder, and the folder, off the GUI
// thread: a large or deep update takes seconds.
QCoro::Task<void> SignedUpdateFramework::clearStaging()
{
    auto cleared = WorkerDecoding::run<bool>(
        [path = stagingPath(), device = m_stagingDevice, inode = m_stagingInode, entries = m_stagingEntries] {
            return clearFolder(path, device, inode, entries);
        });
    if (!co_await cleared)
        qCWarning(lcUpdater) << "the update's folder was left in place";
}

// Fetches, verifies and unpacks the update into the cycle's own folder.
QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::prepareUpdate(UpdateItem item, std::shared_ptr<bool> alive,
                                                                               CancellationToken cancel)
{
    learnRunningBundle();
    co_await checkBundleAccess(alive);
    checkAlive(alive, cancel);
    co_await makeStaging(alive);
    checkAlive(alive, cancel);
    m_cycle.set(UpdateCycle::Phase::downloading, loc("Downloading version %@…", {item.shortVersion}), 0);
    co_await download(item, alive, cancel);
    checkAlive(alive, cancel);

    // The signature is checked before a single byte is unpacked, on the
    // very file that is then unpacked.
    m_cycle.set(UpdateCycle::Phase::preparing, loc("Verifying and unpacking the update…"));
    const Descriptor staging(openStaging());
    const Descriptor archive(staging.valid() ? ::openat(staging.get(), archiveName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
    struct stat status;
    if (!archive.valid() || ::fstat(archive.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size != item.length)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
    {
        void *bytes = ::mmap(nullptr, size_t(item.length), PROT_READ, MAP_PRIVATE, archive.get(), 0);
        const bool mapped = bytes != MAP_FAILED;
        const bool valid = mapped
            && UpdateFeed::verify(static_cast<const uchar *>(bytes), item.length, item.signature, m_setup.publicKey);
        if (mapped)
            ::munmap(bytes, size_t(item.length));
        if (!valid)
            throw BridgeError::failed(loc("The update's signature is not valid. Nothing was installed."));
    }
    const Staged staged = co_await unpack(archive.get(), item.length, item.version, alive);
    co_return Staged(staged);
}

// Two renames on one file system: the old bundle steps aside, the new one
// takes its name, and the new executable starts. If the second rename fails
// or the new app does not start, the old bundle is put back; if that fails
// too, the old bundle stays where it stepped aside and the person is told.
void SignedUpdateFramework::replaceBundle(const Staged &staged)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString bundle = m_setup.bundlePath;
    const QString previous = QDir(stagingPath()).filePath(QLatin1String(previousName));
    // Stepping aside rewrites the bundle folder's "..", which takes write
    // permission on the folder itself: the person's own read-only bundle gets
    // it, and whichever bundle then stands at its path gets the access they
    // gave the old one back. Another user's bundle that this one may not
    // change stays as it is.
    const QByteArray name = QFile::encodeName(QFileInfo(bundle).fileName());
    const Descriptor folder = openParent(bundle);
    if (!folder.valid())
        throw BridgeError::failed(failed);
    // Only the bundle the app runs from steps aside.
    if (!isRunningBundleAt(bundle))
        throw notTheRunningBundleError(bundle);
    const quint64 oldDevice = m_bundleDevice;
    const quint64 oldInode = m_bundleInode;
    const std::optional<BundleAccess> access =
        bundleAccessOf(folder.get(), name.constData(), oldDevice, oldInode,
                       giveOwnerAccess(folder.get(), name.constData(), oldDevice, oldInode));
    // As this ends, once the new bundle has started (until then it may have to
    // step aside again) or the old one is back; also where the new one could
    // not step aside again. An old bundle kept aside stays writable, for the
    // person to move it back: only the bundle at the app's path is changed.
    auto modeBack = qScopeGuard([&] {
        if (access)
            restoreBundleAccess(folder.get(), name.constData(), *access, staged.device, staged.inode);
    });
    const auto keptAside = [&] {
        m_keepStaging = true;
        return BridgeError::failed(loc("The update could not be installed, and the previous version could not be put "
                                       "back: it is kept in %@.",
                                       {previous}));
    };
    // Another folder put at the app's path meanwhile (in an install folder
    // others may write into) is not the cycle's to move, change or remove.
    const QString swappedIn = loc("Another folder was put at %@ during the update and was left as it is. The previous "
                                  "version is kept in %@.",
                                  {bundle, previous});
    const auto replacedMeanwhile = [&] {
        m_keepStaging = true;
        return BridgeError::failed(swappedIn);
    };
    // Granted, yet refused (another user's folder, an access list).
    if (auto refused = writeRefusedError(folder.get(), name.constData(), W_OK, AT_SYMLINK_NOFOLLOW, bundle))
        throw *refused;
    // Marked as keeping the previous version before it steps aside: however
    // this ends (the app may even stop), no later cycle clears it away while
    // the person may need it. Unmarked once the new version runs.
    if (!Descriptor(createInStaging(QString::fromLatin1(keptPreviousName))).valid() || !move(bundle, previous))
        throw BridgeError::failed(failed);
    // Whatever was put in its place between the look and the move goes
    // straight back.
    if (!standsAt(previous, oldDevice, oldInode))
        moveBackOrKeep(previous, bundle, anotherFolderAt(bundle),
                       loc("Another folder was put at %@ during the update and could not be put back: it is kept in "
                           "%@. Nothing was installed.",
                           {bundle, previous}));
    // Left for the clean-up only once it is known to be the old bundle.
    m_stagingEntries.append(QFileInfo(previous).fileName());
    if (!move(staged.bundle, bundle)) {
        if (!move(previous, bundle))
            throw keptAside();
        throw BridgeError::failed(failed);
    }
    // The app starts only from the new bundle.
    if (!standsAt(bundle, staged.device, staged.inode))
        throw replacedMeanwhile();
    const QString executable = QDir(bundle).filePath(QStringLiteral("Contents/MacOS/") + staged.executable);
    if (m_setup.relaunch && m_setup.relaunch(executable)) {
        if (!standsAt(bundle, staged.device, staged.inode))
            throw replacedMeanwhile();
        const Descriptor staging(openStaging());
        if (!staging.valid() || ::unlinkat(staging.get(), keptPreviousName, 0) != 0)
            qCWarning(lcUpdater) << "the update's folder is still marked as keeping the previous version";
        m_bundleDevice = staged.device;
        m_bundleInode = staged.inode;
        m_cycle.set(UpdateCycle::Phase::idle, QString());
        return;
    }
    // Only the new bundle steps aside again; whatever else was moved aside
    // in its place (between the look and the move) goes straight back.
    if (!standsAt(bundle, staged.device, staged.inode))
        throw replacedMeanwhile();
    if (!move(bundle, staged.bundle))
        throw keptAside();
    if (!standsAt(staged.bundle, staged.device, staged.inode)) {
        m_keepStaging = true;
        moveBackOrKeep(staged.bundle, bundle, swappedIn,
                       loc("Another folder was put at %@ during the update and could not be put back: it is kept in "
                           "%@. The previous version is kept in %@.",
                           {bundle, staged.bundle, previous}));
    }
    if (!move(previous, bundle))
        throw keptAside();
    throw BridgeError::failed(loc("The new version could not be started, so the previous version was put back."));
}

// Another folder moved aside in place of one of the cycle's own goes straight
// back from `from` to `to`; where it cannot, it is kept where it is, and the
// cycle's folder is marked as keeping it. Either way the cycle ends with the
// sentence that says which.
void SignedUpdateFramework::moveBackOrKeep(const QString &from, const QString &to, const QString &movedBack,
                                           const QString &kept)
{
    if (move(from, to))
        throw BridgeError::failed(movedBack);
    keepAnotherFolder();
    throw BridgeError::failed(kept);
}

bool SignedUpdateFramework::move(const QString &from, const QString &to) const
{
    return moveWithoutReplacing(from, to, m_setup.rename);
}

// Its meta-object stays with it (not in the area's shared moc file), so a
// program that does not use the machinery does not link it.
#include "moc_signedupdateframework.cpp"
