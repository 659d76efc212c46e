// The media module's one entry point (see servicequeue/ui/media/mediamodule.h).
// MediaPlayer's own symbols come from the executable, which exports them.
#include "qtmediaplayer.h"
#include "servicequeue/ui/media/mediamodule.h"

#include <QVideoWidget>

namespace {

MediaPlayer *createPlayer(const QUrl &file)
{
    return new QtMediaPlayer(file);
}

QWidget *createSurface(QWidget *parent)
{
    auto *video = new QVideoWidget(parent);
    video->setAspectRatioMode(Qt::KeepAspectRatio);
    return video;
}

const MediaModuleInterface module{MediaModuleInterface::currentVersion, &createPlayer, &createSurface};

} // namespace

extern "C" Q_DECL_EXPORT const MediaModuleInterface *tavlon_media_module()
{
    return &module;
}
