#include "mediamodule.h"

#include "foundation/appbundle.h"
#include "foundation/localization.h"
#include "foundation/modules/moduleloading.h"

#include <QLabel>

namespace {

struct LoadState
{
    bool tried = false;
    QString path; // empty: the bundle's own
    const MediaModuleInterface *module = nullptr;
    QString failure;
};

LoadState &loadState()
{
    static LoadState state;
    return state;
}

const MediaModuleInterface *loaded()
{
    LoadState &state = loadState();
    if (state.tried)
        return state.module;
    state.tried = true;
    const QString path = state.path.isEmpty() ? MediaModule::standardPath() : state.path;
    const MediaModuleInterface *module
        = ModuleLoading::load<MediaModuleInterface>(path, "tavlon_media_module", "media module");
    if (!module)
        state.failure = loc("The video cannot be played because the application's media component could not be loaded.");
    state.module = module;
    return module;
}

} // namespace

namespace MediaModule {

MediaPlayerFactory players()
{
    return [](const QUrl &file) -> std::unique_ptr<MediaPlayer> {
        const MediaModuleInterface *module = loaded();
        return std::unique_ptr<MediaPlayer>(module ? module->createPlayer(file) : nullptr);
    };
}

QWidget *videoSurface(QWidget *parent)
{
    if (const MediaModuleInterface *module = loaded())
        return module->createSurface(parent);
    auto *label = new QLabel(failure(), parent);
    label->setObjectName(QStringLiteral("media.unavailable"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QString failure()
{
    return loadState().failure;
}

QString standardPath()
{
    const QString bundle = AppBundle::bundlePath();
    return bundle.isEmpty() ? QString() : bundle + QStringLiteral("/Contents/PlugIns/libtavlonmedia.so");
}

void useForTesting(const QString &path)
{
    loadState() = LoadState{false, path, nullptr, {}};
}

} // namespace MediaModule
