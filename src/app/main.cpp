#include "app/ui/startupwarmup.h"
#include "app/ui/tavlonfilmeditorapp.h"
#include "foundation/appbundle.h"
#include "foundation/besidethread.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/shortwait.h"
#include "updater/sorvaneupdateconfiguration.h"

#include <QApplication>
#include <QEvent>
#include <QImageReader>
#include <QWidget>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>
#include <atomic>
#include <dlfcn.h>
#include <system_error>
#include <thread>

namespace {

// One compact line, keys sorted (QJsonObject keeps them sorted), every "/"
// escaped as "\\/".
int printReport(const QJsonObject &report)
{
    QByteArray line = QJsonDocument(report).toJson(QJsonDocument::Compact);
    line.replace("/", "\\/");
    line.append('\n');
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    return 0;
}

// Prints the localization report: sorted keys, every "/" escaped.
int verifyLocalizations()
{
    const QString da = EditorLocalization::text(QStringLiteral("Projektplacering"), QStringLiteral("da"));
    const QString en = EditorLocalization::text(QStringLiteral("Projektplacering"), QStringLiteral("en"));
    if (da != QLatin1String("Projektplacering") || en != QLatin1String("Project location"))
        return 1;
    QJsonObject report{{QStringLiteral("da"), da},
                       {QStringLiteral("en"), en},
                       {QStringLiteral("language"), EditorLocalization::language()},
                       {QStringLiteral("resources"), EditorLocalization::resources()}};
    return printReport(report);
}

// A Boolean false, present and typed as a Boolean ("NO" as text fails).
bool isFalseBoolean(const QVariantMap &info, const char *key)
{
    const auto it = info.constFind(QLatin1String(key));
    return it != info.constEnd() && it->typeId() == QMetaType::Bool && !it->toBool();
}

// Prints the updater report when the bundle's update configuration passes and
// both automatic-update defaults are off; otherwise prints nothing.
int verifyUpdaterConfiguration()
{
    const QVariantMap info = AppBundle::infoDictionary();
    const auto configuration = SorvaneUpdateConfiguration::check(AppBundle::bundlePath(), info, false);
    if (!configuration)
        return 1;
    if (!isFalseBoolean(info, "SUEnableAutomaticChecks") || !isFalseBoolean(info, "SUAutomaticallyUpdate"))
        return 1;
    const auto text = [&info](const char *key) {
        const QVariant value = info.value(QLatin1String(key));
        return value.typeId() == QMetaType::QString ? value.toString() : QString();
    };
    const QJsonObject report{{QStringLiteral("build"), text("CFBundleVersion")},
                             {QStringLiteral("defaultAutomaticChecks"), false},
                             {QStringLiteral("defaultAutomaticDownload"), false},
                             {QStringLiteral("feedURL"), configuration->feedURL().toString(QUrl::FullyEncoded)},
                             {QStringLiteral("signedFeedRequired"), true},
                             {QStringLiteral("verifyBeforeExtraction"), true},
                             {QStringLiteral("version"), text("CFBundleShortVersionString")}};
    return printReport(report);
}

// A switch counts only as a whole, case-sensitive argument; the program path
// is an argument like any other.
bool hasSwitch(int argc, char *argv[], const char *name)
{
    for (int i = 0; i < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return true;
    return false;
}

// For the start-up bench only (environment TAVLON_STARTUP_PROBE=1): prints
// one line when the first window has painted and ends the process, so the
// bench can time the way to a visible window from outside.
class FirstPaintProbe final : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && widget->window()->isVisible()) {
                m_seen = true;
                std::fputs("first-paint\n", stdout);
                std::fflush(stdout);
                QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    bool m_seen = false;
};

// Reading the system's font configuration takes several milliseconds (dozens
// of files; ~4.5 ms on the machines we measure) and the window needs it for
// its first text. It is read on a worker thread while the application object
// and the window's models are built; fontconfig keeps one configuration per
// process, so Qt then finds it ready. Looked up at run time: fontconfig is
// Qt's dependency on this platform, not ours.
class FontConfigurationWarmUp
{
public:
    FontConfigurationWarmUp()
    {
        auto load = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit"));
        try {
            if (load)
                m_thread = startBeside([this, load] {
                    load();
                    m_read.store(true);
                    m_read.notify_all();
                });
        } catch (const std::system_error &) {
            logFailure(lcApp, "starting the font configuration thread");
            // No thread: Qt reads the configuration when it first needs it.
        }
        if (!m_thread.joinable())
            m_read.store(true);
    }
    ~FontConfigurationWarmUp()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // Any thread, any number of times: returns once the configuration is
    // read, watching for the result rather than the thread's end.
    void wait() { waitShortly(m_read); }

private:
    std::atomic<bool> m_read{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char *argv[])
{
    if (hasSwitch(argc, argv, "--verify-localizations")) {
        QCoreApplication core(argc, argv);
        return verifyLocalizations();
    }
    if (hasSwitch(argc, argv, "--verify-updater-configuration")) {
        QCoreApplication core(argc, argv);
        return verifyUpdaterConfiguration();
    }
    FontConfigurationWarmUp fonts;
    QApplication app(argc, argv);
    StartupWarmUp warmUp([&fonts] { fonts.wait(); });
    EditorLocalization::installToolkitTranslations();
    // What the window needs that is not text, while the warm-up thread reads
    // the string table (the models' first loc() would wait for it here): Qt
    // asks every image format plugin about any image it reads, so the
    // style's own icons (tool bar, menu bar, search field) load them all (~1 ms).
    QImageReader::supportedImageFormats();
    if (qEnvironmentVariableIntValue("TAVLON_STARTUP_PROBE") == 1)
        app.installEventFilter(new FirstPaintProbe(&app));
    TavlonFilmEditorApp shell;
    shell.setBeforeFirstText([&warmUp] { warmUp.waitForFonts(); });
    shell.newWindow();
    return app.exec();
}
