#include "sorvaneupdater.h"

#include "foundation/localization.h"
#include "foundation/modules/networkmodule.h"

#include <QCoreApplication>

namespace {

// Stands in when the network module cannot be loaded: it never starts, so
// the updater shows its "could not start" sentence.
class UnavailableUpdateFramework final : public UpdateFramework
{
public:
    bool canCheckForUpdates() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    std::optional<QDateTime> lastUpdateCheckDate() const override { return std::nullopt; }
    std::optional<QString> startUpdater() override { return NetworkModule::failure(); }
    void checkForUpdates() override {}
};

} // namespace

SorvaneUpdater &SorvaneUpdater::shared()
{
    static SorvaneUpdater *updater = new SorvaneUpdater(
        [] { return SorvaneUpdateConfiguration::forRunningBundle(); },
        [](const SorvaneUpdateConfiguration &configuration,
           UpdateFrameworkDelegate *delegate) -> std::unique_ptr<UpdateFramework> {
            const NetworkModuleInterface *network = NetworkModule::get();
            if (!network || !network->updateFramework)
                return std::make_unique<UnavailableUpdateFramework>();
            return std::unique_ptr<UpdateFramework>(network->updateFramework(configuration, delegate));
        },
        QCoreApplication::instance());
    return *updater;
}

SorvaneUpdater::SorvaneUpdater(ConfigurationSource configuration, FrameworkFactory factory, QObject *parent)
    : QObject(parent), m_configuration(std::move(configuration)), m_factory(std::move(factory))
{
    // Views that watch only the updater also follow the windows' work.
    connect(&m_activity, &SorvaneUpdateActivity::revisionChanged, this, &SorvaneUpdater::changed);
}

SorvaneUpdater::~SorvaneUpdater()
{
    if (m_framework)
        m_framework->disconnect(this);
}

QUrl SorvaneUpdater::downloadPage()
{
    static const QUrl url = [] {
        QUrl parsed(QStringLiteral("https://example.com/downloads/sorvane/"), QUrl::StrictMode);
        if (!parsed.isValid())
            qFatal("The download page address does not parse");
        return parsed;
    }();
    return url;
}

QString SorvaneUpdater::downloadPageText()
{
    return downloadPage().toString(QUrl::RemoveScheme | QUrl::StripTrailingSlash).mid(2);
}

void SorvaneUpdater::startIfNeeded()
{
    if (m_framework)
        return;
    const auto configuration = m_configuration();
    if (!configuration)
        return;
    m_framework = m_factory(*configuration, this);
    m_configured = true;
    for (auto signal : {&UpdateFramework::canCheckForUpdatesChanged, &UpdateFramework::automaticallyChecksForUpdatesChanged,
                        &UpdateFramework::lastUpdateCheckDateChanged})
        connect(m_framework.get(), signal, this, &SorvaneUpdater::mirror);
    mirror();
    if (m_framework->startUpdater())
        setIssue(loc("Updates could not start. Download the latest app from %@.", {downloadPageText()}));
    Q_EMIT changed();
}

void SorvaneUpdater::mirror()
{
    m_canCheck = m_framework->canCheckForUpdates();
    m_automaticChecks = m_framework->automaticallyChecksForUpdates();
    m_lastCheck = m_framework->lastUpdateCheckDate();
    Q_EMIT changed();
}

bool SorvaneUpdater::checkDisabled()
{
    return !(m_configured && m_canCheck && !m_activity.isBusy());
}

bool SorvaneUpdater::automaticChecksDisabled()
{
    return !m_configured || m_activity.isBusy();
}

void SorvaneUpdater::checkForUpdates()
{
    if (!m_configured || !m_canCheck || m_activity.isBusy())
        return;
    setIssue(std::nullopt);
    m_framework->checkForUpdates();
}

void SorvaneUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    if (!m_configured || m_activity.isBusy() || !m_framework)
        return;
    m_framework->setAutomaticallyChecksForUpdates(on);
}

void SorvaneUpdater::setIssue(std::optional<QString> issue)
{
    if (m_issue == issue)
        return;
    m_issue = std::move(issue);
    Q_EMIT changed();
}

bool SorvaneUpdater::shouldRelaunchApplication()
{
    if (!m_activity.isBusy())
        return true;
    m_settings.resetPostponement();
    setIssue(loc("Finish the current transfer or account operation, then install the update again."));
    return false;
}

bool SorvaneUpdater::shouldPostponeRelaunch(const UpdateItem &, std::function<void()> continuation)
{
    return m_settings.postponeRelaunch(std::move(continuation));
}

bool SorvaneUpdater::mayCheckForUpdatesInBackground()
{
    return !m_activity.isBusy();
}

void SorvaneUpdater::didFinishUpdateCycle(UpdateCheckKind, const std::optional<QString> &)
{
    m_settings.resetPostponement();
}
