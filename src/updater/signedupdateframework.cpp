#include "signedupdateframework.h"

#include "foundation/appbundle.h"
#include "foundation/cancellation.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/network/plainnetwork.h"
#include "foundation/settingsstore.h"
#include "sorvaneupdateconfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
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
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int idleTimeoutMs = 30000;
constexpr int feedTimeoutMs = 45000;
constexpr qint64 signatureLimit = 4096;
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

// Removes the entry `name` in the folder `parent` and, for a folder,
// everything in it. Never follows a link: a link is removed as a link.
bool removeEntryAt(int parent, const char *name)
{
    struct stat status;
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;
    const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return false;
    }
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray child(entry->d_name);
        if (child != "." && child != "..")
            names.append(child);
    }
    bool removed = true;
    for (const QByteArray &child : std::as_const(names))
        removed = removeEntryAt(::dirfd(listing), child.constData()) && removed;
    ::closedir(listing);
    return removed && (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT);
}

// A folder this machinery made: removed with everything in it, unless
// something else (a link, a file) now stands at its path.
bool removeOwnFolder(const QString &path)
{
    struct stat status;
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &status) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return false;
    const QFileInfo info(path);
    const int parent = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool removed = removeEntryAt(parent, QFile::encodeName(info.fileName()).constData());
    ::close(parent);
    return removed;
}

enum class EntryKind { missing, link, folder, file, other };

EntryKind entryKind(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return EntryKind::missing;
    if (S_ISLNK(status.st_mode))
        return EntryKind::link;
    if (S_ISDIR(status.st_mode))
        return EntryKind::folder;
    return S_ISREG(status.st_mode) ? EntryKind::file : EntryKind::other;
}

// One rename, never onto anything that exists (a plain rename would replace
// an empty folder at `to`).
bool renameNoReplace(const QString &from, const QString &to)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE)
        == 0;
}

// Inside `root` (a clean absolute path), or `root` itself.
bool isInside(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// Every link below `root` points inside it, as written and as the file
// system resolves it.
bool linksStayInside(const QString &root)
{
    const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (entryKind(path) != EntryKind::link)
            continue;
        char target[4096];
        const ssize_t size = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
        if (size <= 0 || size >= ssize_t(sizeof target))
            return false;
        const QString written = QFile::decodeName(QByteArray(target, size));
        if (written.startsWith(QLatin1Char('/')))
            return false;
        if (!isInside(QDir::cleanPath(QFileInfo(path).absolutePath() + QLatin1Char('/') + written), cleanRoot))
            return false;
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (!resolved.isEmpty() && !isInside(resolved, QFileInfo(cleanRoot).canonicalFilePath()))
            return false;
    }
    return true;
}

// The archive's member names as tar lists them: each below `name`, none
// absolute, none with a ".." part.
bool membersStayInside(const QString &listing, const QString &name)
{
    QFile file(listing);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    qint64 count = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        const QString member = QString::fromUtf8(line);
        ++count;
        if (member.startsWith(QLatin1Char('/')))
            return false;
        const QStringList parts = member.split(QLatin1Char('/'));
        if (parts.first() != name || parts.contains(QStringLiteral("..")))
            return false;
    }
    return count > 0;
}

// tar as the system ships it: no options or quoting from the environment.
void prepareTar(QProcess &tar, const QStringList &arguments)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tar.setProcessEnvironment(environment);
    tar.setProgram(QStringLiteral("/bin/tar"));
    tar.setArguments(arguments);
    tar.setStandardInputFile(QProcess::nullDevice());
    tar.setStandardErrorFile(QProcess::nullDevice());
}

QString unreachable()
{
    return loc("Could not reach the update server. Check the connection and try again.");
}

// The cycle was dismissed, or the machinery went away.
// Runs tar to its end (at most five minutes), its output into `output`; true
// when it exited cleanly.
QCoro::Task<bool> runTar(QStringList arguments, QString output, std::shared_ptr<bool> alive)
{
    QProcess tar;
    prepareTar(tar, arguments);
    tar.setStandardOutputFile(output);
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

void checkAlive(const std::shared_ptr<bool> &alive, const CancellationToken &cancel)
{
    if (!*alive || cancel.isCancelled())
        throw OperationCancelled();
}

} // namespace



// ---- SignedUpdateFramework ----

SignedUpdateFramework::SignedUpdateFramework(Setup setup, UpdateFrameworkDelegate *delegate, QObject *parent)
    : UpdateFramework(parent), m_setup(std::move(setup)), m_delegate(delegate),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    if (!m_setup.rename)
        m_setup.rename = renameNoReplace;
    PlainNetwork::configure(*m_network);
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
    QNetworkRequest request = PlainNetwork::request(url, idleTimeoutMs);
    if (!m_setup.localAuthorities.isEmpty() && PlainNetwork::isLoopback(url.host()))
        PlainNetwork::trust(request, m_setup.localAuthorities);
    return request;
}

QCoro::Task<QByteArray> SignedUpdateFramework::fetch(QUrl url, qint64 limit, std::shared_ptr<bool> alive)
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
    if (!raw->isFinished())
        co_await raw;
    if (!*alive)
        throw OperationCancelled();
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
    setRunning(true);
    m_cycle.setItem(std::nullopt);
    m_cycle.setBackground(kind == UpdateCheckKind::updatesInBackground);
    m_cycle.set(UpdateCycle::Phase::checking, loc("Looking for updates…"));
    std::optional<QString> failure;
    try {
        const QByteArray feed = co_await fetch(m_setup.feed, feedLimit, alive);
        checkAlive(alive, cancel);
        QUrl signatureURL = m_setup.feed;
        signatureURL.setPath(signatureURL.path() + QStringLiteral(".sig"));
        const QByteArray signatureText = co_await fetch(signatureURL, signatureLimit, alive);
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
        logFailure(lcUpdater, "the update cycle");
        failure = error.message();
    } catch (const OperationCancelled &) {
    }
    if (!*alive)
        co_return;
    disconnect(dismissal);
    disconnect(chosen);
    // Only what this cycle made, and never the only copy of the previous bundle.
    if (m_stagingMade && !m_keepStaging)
        removeOwnFolder(stagingPath());
    // An automatic check stays quiet unless it offered an update.
    const bool quiet = kind == UpdateCheckKind::updatesInBackground && !m_cycle.item();
    if (failure && !quiet)
        m_cycle.set(UpdateCycle::Phase::failed, *failure);
    else if (failure || quiet || cancel.isCancelled() || m_cycle.phase() != UpdateCycle::Phase::upToDate)
        m_cycle.set(UpdateCycle::Phase::idle, QString());
    endCycle(kind, failure);
    scheduleCheck(false);
}

void SignedUpdateFramework::endCycle(UpdateCheckKind kind, const std::optional<QString> &failure)
{
    setRunning(false);
    m_delegate->didFinishUpdateCycle(kind, failure);
}

QCoro::Task<void> SignedUpdateFramework::download(const UpdateItem &item, QString path, std::shared_ptr<bool> alive)
{
    QFile file(path);
    // A new file in the cycle's own folder: never through a link.
    if (entryKind(path) != EntryKind::missing || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
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
    connect(raw, &QNetworkReply::readyRead, raw, [raw, state, &file, length = item.length] {
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
    connect(raw, &QNetworkReply::downloadProgress, raw, [cycle, state, text = m_cycle.text(), length = item.length] {
        if (cycle)
            cycle->set(UpdateCycle::Phase::downloading, text, double(state->written) / double(length));
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
    const auto abort = connect(&m_cycle, &UpdateCycle::dismissRequested, raw, [raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    if (!*alive)
        throw OperationCancelled();
    disconnect(abort);
    stall->stop();
    QObject::disconnect(raw, nullptr, nullptr, nullptr);
    file.close();
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (state->timedOut)
        throw BridgeError::failed(unreachable());
    if (raw->error() == QNetworkReply::OperationCanceledError && !state->tooLong && !state->writeFailed)
        throw OperationCancelled();
    if (state->writeFailed)
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    if (state->tooLong)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
    if (raw->error() == QNetworkReply::RemoteHostClosedError
        || (raw->error() == QNetworkReply::NoError && status == 200 && state->written < item.length
            && raw->header(QNetworkRequest::ContentLengthHeader).toLongLong() > state->written))
        throw BridgeError::failed(loc("The update download broke off. Nothing was installed."));
    if (raw->error() != QNetworkReply::NoError || status != 200)
        throw BridgeError::failed(unreachable());
    if (state->written != item.length)
        throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
}

QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::unpack(QString archive, QString into, QString version,
                                                                         std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be unpacked. Nothing was installed.");
    const QString name = QFileInfo(m_setup.bundlePath).fileName();
    if (entryKind(into) != EntryKind::missing || !QDir().mkdir(into))
        throw BridgeError::failed(failed);

    // The members' names first: all inside one folder of the bundle's name.
    const QString listing = QDir(QFileInfo(into).absolutePath()).filePath(QStringLiteral("members.txt"));
    auto listed = runTar({QStringLiteral("--quoting-style=escape"), QStringLiteral("-tzf"), archive}, listing, alive);
    if (!co_await listed || !membersStayInside(listing, name))
        throw BridgeError::failed(failed);

    auto unpacked = runTar({QStringLiteral("-xzf"), archive, QStringLiteral("-C"), into,
                            QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions")},
                           QProcess::nullDevice(), alive);
    if (!co_await unpacked)
        throw BridgeError::failed(failed);
    // Exactly one bundle of our name and identity, at the version the feed
    // promised, whose links all stay inside it, with its own executable.
    const QStringList entries = QDir(into).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QString staged = QDir(into).filePath(name);
    if (entries != QStringList{name} || entryKind(staged) != EntryKind::folder || !linksStayInside(staged))
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
    co_return Staged{QString(staged), QString(executable)};
}

// The cycle's own folder beside the bundle. A link or anything else found at
// its path is not ours and is refused; a folder left by an interrupted cycle
// is cleared, unless the bundle is missing (then it may hold the only copy).
void SignedUpdateFramework::makeStaging()
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString staging = stagingPath();
    switch (entryKind(staging)) {
    case EntryKind::missing:
        break;
    case EntryKind::folder:
        if (entryKind(m_setup.bundlePath) != EntryKind::folder || !removeOwnFolder(staging))
            throw BridgeError::failed(failed);
        break;
    default:
        throw BridgeError::failed(failed);
    }
    if (::mkdir(QFile::encodeName(staging).constData(), 0700) != 0)
        throw BridgeError::failed(failed);
    m_stagingMade = true;
}

// Fetches, verifies and unpacks the update into the cycle's own folder.
QCoro::Task<SignedUpdateFramework::Staged> SignedUpdateFramework::prepareUpdate(UpdateItem item, std::shared_ptr<bool> alive,
                                                                               CancellationToken cancel)
{
    makeStaging();
    const QString staging = stagingPath();
    const QString archive = QDir(staging).filePath(QStringLiteral("update.tar.gz"));
    m_cycle.set(UpdateCycle::Phase::downloading, loc("Downloading version %@…", {item.shortVersion}), 0);
    co_await download(item, archive, alive);
    checkAlive(alive, cancel);

    // The signature is checked before a single byte is unpacked.
    m_cycle.set(UpdateCycle::Phase::preparing, loc("Verifying and unpacking the update…"));
    {
        QFile file(archive);
        if (!file.open(QIODevice::ReadOnly) || file.size() != item.length)
            throw BridgeError::failed(loc("The update download has the wrong size. Nothing was installed."));
        const uchar *bytes = file.map(0, file.size());
        const bool valid = bytes && UpdateFeed::verify(bytes, file.size(), item.signature, m_setup.publicKey);
        if (bytes)
            file.unmap(const_cast<uchar *>(bytes));
        if (!valid)
            throw BridgeError::failed(loc("The update's signature is not valid. Nothing was installed."));
    }
    const Staged staged = co_await unpack(archive, QDir(staging).filePath(QStringLiteral("unpacked")), item.version, alive);
    co_return Staged{staged.bundle, staged.executable};
}

// Two renames on one file system: the old bundle steps aside, the new one
// takes its name, and the new executable starts. If the second rename fails
// or the new app does not start, the old bundle is put back; if that fails
// too, the old bundle stays where it stepped aside and the person is told.
void SignedUpdateFramework::replaceBundle(const Staged &staged)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString bundle = m_setup.bundlePath;
    const QString previous = QDir(stagingPath()).filePath(QStringLiteral("previous.app"));
    const auto keptAside = [this, &previous] {
        m_keepStaging = true;
        return BridgeError::failed(loc("The update could not be installed, and the previous version could not be put "
                                       "back: it is kept in %@.",
                                       {previous}));
    };
    if (!m_setup.rename(bundle, previous))
        throw BridgeError::failed(failed);
    if (!m_setup.rename(staged.bundle, bundle)) {
        if (!m_setup.rename(previous, bundle))
            throw keptAside();
        throw BridgeError::failed(failed);
    }
    const QString executable = QDir(bundle).filePath(QStringLiteral("Contents/MacOS/") + staged.executable);
    if (m_setup.relaunch && m_setup.relaunch(executable)) {
        m_cycle.set(UpdateCycle::Phase::idle, QString());
        return;
    }
    if (!m_setup.rename(bundle, staged.bundle) || !m_setup.rename(previous, bundle))
        throw keptAside();
    throw BridgeError::failed(loc("The new version could not be started, so the previous version was put back."));
}

// Its meta-object stays with it (not in the area's shared moc file), so a
// program that does not use the machinery does not link it.
#include "moc_signedupdateframework.cpp"
