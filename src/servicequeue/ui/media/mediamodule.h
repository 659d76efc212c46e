#pragma once

// Video playback lives in a module of its own inside the bundle
// (Contents/PlugIns/libtavlonmedia.so: the Qt Multimedia player and its video
// widget). Qt Multimedia and its audio stack are many shared libraries; the
// window's first paint needs none of them, so the module is loaded the first
// time a video view needs a player or a surface, and stays loaded.

#include "servicequeue/mediaplayer.h"

#include <QString>

class QUrl;
class QWidget;

// What the module hands over through its one C entry point, "tavlon_media_module".
struct MediaModuleInterface
{
    // 2: MediaPlayer reports why a file cannot be played (failure()).
    static constexpr int currentVersion = 2;
    int version;
    // A player for a local file; the caller owns it.
    MediaPlayer *(*createPlayer)(const QUrl &file);
    // The widget a player draws into (keeps the picture's aspect ratio).
    QWidget *(*createSurface)(QWidget *parent);
};
extern "C" using MediaModuleEntry = const MediaModuleInterface *();

namespace MediaModule {

// The factory the application gives its video views: loads the module on its
// first call; without the module it makes no player.
MediaPlayerFactory players();
// A picture surface for a player; without the module, a label that says why
// there is no picture.
QWidget *videoSurface(QWidget *parent);
// Why the module could not be loaded (one sentence), or empty.
QString failure();
// The module inside the running bundle; empty outside one.
QString standardPath();
// Forgets the outcome of an earlier load and loads from `path` next time.
void useForTesting(const QString &path);

} // namespace MediaModule
