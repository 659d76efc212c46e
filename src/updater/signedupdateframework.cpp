#include "signedupdateframework.h"

#include "foundation/appbundle.h"
#include "foundation/cancellation.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "sorvaneupdateconfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QSslConfiguration>
#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcoroprocess.h>
#include <qcoro/qcorosignal.h>
#include <sodium.h>

namespace {

constexpr int idleTimeoutMs = 30000;
constexpr int feedTimeoutMs = 45000;
constexpr qint64 signatureLimit = 4096;
constexpr std::chrono::hours automaticInterval{24};

// Cookies are never kept or sent.
class RefusingCookieJar final : public QNetworkCookieJar
{
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

bool isLoopback(const QString &host)
{
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return address == QHostAddress(QHostAddress::LocalHost) || address == QHostAddress(QHostAddress::LocalHostIPv6);
}

QString unreachable()
{
    return loc("Could not reach the update server. Check the connection and try again.");
}

// The cycle was dismissed, or the machinery went away.
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
    m_network->setCookieJar(new RefusingCookieJar(m_network.get()));
    m_network->setCache(nullptr);
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_network->setStrictTransportSecurityEnabled(false);
    if (m_setup.settings) {
        const QDateTime last = QDateTime::fromString(m_setup.settings->value(QString::fromLatin1(lastCheckKey)).toString(),
                                                     Qt::ISODateWithMs);
        if (last.isValid())
            m_lastCheck = last;
    }
    m_schedule.setInterval(automaticInterval);
    connect(&m_schedule, &QTimer::timeout, this, [this] {
        if (canCheckForUpdates() && automaticallyChecksForUpdates())
            m_task.emplace(runCycle(UpdateCheckKind::updatesInBackground));
    });
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
    if (localFeed.isValid() && localFeed.scheme() == u"https" && isLoopback(localFeed.host()) && localKey) {
        setup.feed = localFeed;
        setup.publicKey = *localKey;
    }
    const QString ca = qEnvironmentVariable("TAVLON_LOCAL_SERVICE_CA");
    if (!ca.isEmpty())
        setup.localAuthorities = QSslCertificate::fromPath(ca);
    setup.relaunch = [](const QString &executable) {
        QProcess::startDetached(executable, {});
        QCoreApplication::quit();
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
    if (on && m_started)
        m_schedule.start();
    else
        m_schedule.stop();
    Q_EMIT automaticallyChecksForUpdatesChanged();
}

std::optional<QString> SignedUpdateFramework::startUpdater()
{
    if (m_started)
        return std::nullopt;
    if (QFileInfo(m_setup.bundlePath).fileName().isEmpty() || m_setup.publicKey.size() != 32 || sodium_init() < 0)
        return QStringLiteral("the update machinery is not set up");
    m_started = true;
    if (automaticallyChecksForUpdates())
        m_schedule.start();
    Q_EMIT canCheckForUpdatesChanged();
    return std::nullopt;
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
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(idleTimeoutMs);
    if (!m_setup.localAuthorities.isEmpty() && isLoopback(url.host())) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(m_setup.localAuthorities);
        ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
        request.setSslConfiguration(ssl);
    }
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
    const auto dismissal = connect(&m_cycle, &UpdateCycle::dismissRequested, this, [cancel] { cancel.cancel(); });
    setRunning(true);
    m_cycle.setItem(std::nullopt);
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
            const auto install = std::make_shared<bool>(false);
            const auto chosen = connect(&m_cycle, &UpdateCycle::installRequested, this, [install] { *install = true; });
            while (!*install && !cancel.isCancelled()) {
                co_await qCoro(&m_cycle, &UpdateCycle::changed);
                checkAlive(alive, CancellationToken());
            }
            disconnect(chosen);
            checkAlive(alive, cancel);
            co_await installUpdate(*newest, alive, cancel);
        }
    } catch (const BridgeError &error) {
        failure = error.message();
    } catch (const OperationCancelled &) {
    }
    if (!*alive)
        co_return;
    disconnect(dismissal);
    QDir(stagingPath()).removeRecursively();
    if (failure)
        m_cycle.set(UpdateCycle::Phase::failed, *failure);
    else if (cancel.isCancelled() || m_cycle.phase() != UpdateCycle::Phase::upToDate)
        m_cycle.set(UpdateCycle::Phase::idle, QString());
    endCycle(kind, failure);
}

void SignedUpdateFramework::endCycle(UpdateCheckKind kind, const std::optional<QString> &failure)
{
    setRunning(false);
    m_delegate->didFinishUpdateCycle(kind, failure);
}

QCoro::Task<void> SignedUpdateFramework::download(const UpdateItem &item, QString path, std::shared_ptr<bool> alive)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
    const QNetworkRequest request = makeRequest(item.url);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(m_network->get(request),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    struct State
    {
        qint64 written = 0;
        bool tooLong = false;
        bool writeFailed = false;
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
    const auto abort = connect(&m_cycle, &UpdateCycle::dismissRequested, raw, [raw] { raw->abort(); });
    if (!raw->isFinished())
        co_await raw;
    if (!*alive)
        throw OperationCancelled();
    disconnect(abort);
    QObject::disconnect(raw, nullptr, nullptr, nullptr);
    file.close();
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
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

QCoro::Task<QString> SignedUpdateFramework::unpack(QString archive, QString into, QString version,
                                                   std::shared_ptr<bool> alive)
{
    const QString failed = loc("The update could not be unpacked. Nothing was installed.");
    if (!QDir().mkpath(into))
        throw BridgeError::failed(failed);
    QProcess tar;
    tar.setProgram(QStringLiteral("/bin/tar"));
    tar.setArguments({QStringLiteral("-xzf"), archive, QStringLiteral("-C"), into, QStringLiteral("--no-same-owner")});
    tar.setStandardInputFile(QProcess::nullDevice());
    tar.setStandardOutputFile(QProcess::nullDevice());
    tar.setStandardErrorFile(QProcess::nullDevice());
    tar.start();
    co_await qCoro(tar).waitForFinished(std::chrono::minutes(5));
    if (!*alive)
        throw OperationCancelled();
    if (tar.state() != QProcess::NotRunning) {
        tar.kill();
        tar.waitForFinished(1000);
    }
    if (tar.exitStatus() != QProcess::NormalExit || tar.exitCode() != 0)
        throw BridgeError::failed(failed);
    // Exactly one bundle of our name and identity, at the version the feed promised.
    const QString name = QFileInfo(m_setup.bundlePath).fileName();
    const QStringList entries = QDir(into).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QString staged = QDir(into).filePath(name);
    const QFileInfo stagedInfo(staged);
    if (entries != QStringList{name} || stagedInfo.isSymLink() || !stagedInfo.isDir())
        throw BridgeError::failed(failed);
    QFile plist(QDir(staged).filePath(QStringLiteral("Contents/Info.plist")));
    if (!plist.open(QIODevice::ReadOnly))
        throw BridgeError::failed(failed);
    const auto info = AppBundle::parseInfoPlist(plist.read(1048576));
    if (!info
        || info->value(QStringLiteral("CFBundleIdentifier")).toString()
            != QLatin1String(SorvaneUpdateConfiguration::expectedBundleIdentifier)
        || info->value(QStringLiteral("CFBundleVersion")).toString() != version)
        throw BridgeError::failed(failed);
    co_return staged;
}

QCoro::Task<void> SignedUpdateFramework::installUpdate(UpdateItem item, std::shared_ptr<bool> alive,
                                                       CancellationToken cancel)
{
    const QString staging = stagingPath();
    QDir(staging).removeRecursively();
    if (!QDir().mkpath(staging))
        throw BridgeError::failed(loc("The update could not be installed. The installed app is unchanged."));
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
    const QString staged = co_await unpack(archive, QDir(staging).filePath(QStringLiteral("unpacked")), item.version, alive);
    checkAlive(alive, cancel);

    // Settings sheets close first; the relaunch waits for them.
    m_cycle.set(UpdateCycle::Phase::waitingToRelaunch,
                loc("The update is ready. It is installed as soon as the settings are closed."));
    const auto resumed = std::make_shared<bool>(false);
    QPointer<SignedUpdateFramework> self = this;
    const bool postponed = m_delegate->shouldPostponeRelaunch(item, [self, resumed] {
        *resumed = true;
        if (self)
            Q_EMIT self->m_cycle.changed();
    });
    if (postponed) {
        while (!*resumed && !cancel.isCancelled()) {
            co_await qCoro(&m_cycle, &UpdateCycle::changed);
            if (!*alive)
                throw OperationCancelled();
        }
        checkAlive(alive, cancel);
    }
    if (!m_delegate->shouldRelaunchApplication())
        throw BridgeError::failed(loc("The app was not restarted. Install the update again later."));
    replaceBundle(staged);
}

// Two renames on one file system: the old bundle steps aside, the new one
// takes its name; if the second fails, the first is undone.
void SignedUpdateFramework::replaceBundle(const QString &staged)
{
    const QString failed = loc("The update could not be installed. The installed app is unchanged.");
    const QString bundle = m_setup.bundlePath;
    const QString previous = QDir(stagingPath()).filePath(QStringLiteral("previous.app"));
    if (!QFile::rename(bundle, previous))
        throw BridgeError::failed(failed);
    if (!QFile::rename(staged, bundle)) {
        QFile::rename(previous, bundle);
        throw BridgeError::failed(failed);
    }
    const auto info = AppBundle::parseInfoPlist([&] {
        QFile plist(QDir(bundle).filePath(QStringLiteral("Contents/Info.plist")));
        return plist.open(QIODevice::ReadOnly) ? plist.read(1048576) : QByteArray();
    }());
    const QString executable = QDir(bundle).filePath(
        QStringLiteral("Contents/MacOS/") + (info ? info->value(QStringLiteral("CFBundleExecutable")).toString() : QString()));
    m_cycle.set(UpdateCycle::Phase::idle, QString());
    if (m_setup.relaunch)
        m_setup.relaunch(executable);
}

// Its meta-object stays with it (not in the area's shared moc file), so a
// program that does not use the machinery does not link it.
#include "moc_signedupdateframework.cpp"
