// The media module's one entry point (see servicequeue/ui/media/mediamodule.h).
// MediaPlayer's own symbols and the area's logging category come from the
// executable, which exports them.
#include "foundation/logging.h"
#include "qtmediaplayer.h"
#include "servicequeue/ui/media/mediamodule.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QVideoWidget>
#include <QWindow>
#include <utility>

namespace {

// The video widget draws through a window of its own, which sets up its
// drawing on its first update: left alone, when the window system first puts
// it on screen, a moment after the widget is shown. Drawing with the graphics
// card, the engine's output to the widget is then made anew, and a paused film
// loses the picture it had given (black until Play) or, while still being
// read, its first one (a later one shows). So that window is updated as the
// widget is shown, before a player reads its film (players read once their
// widget is shown).
class DrawingSetUp final : public QObject
{
public:
    DrawingSetUp(QWindow *window, QWidget *widget) : QObject(widget), m_window(window)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && m_window) {
            QEvent update(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(m_window, &update);
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    QPointer<QWindow> m_window;
};

MediaPlayer *createPlayer(const QUrl &file)
{
    return new QtMediaPlayer(file);
}

QWidget *createSurface(QWidget *parent)
{
    const QWindowList before = QGuiApplication::allWindows();
    auto *video = new QVideoWidget(parent);
    video->setAspectRatioMode(Qt::KeepAspectRatio);
    bool hooked = false;
    for (QWindow *window : QGuiApplication::allWindows())
        if (window->inherits("QVideoWindow") && !before.contains(window)) {
            new DrawingSetUp(window, video);
            hooked = true;
        }
    // Found by Qt's private class name, which another Qt version may change:
    // its films would then open black now and then on X.
    static bool told = false;
    if (!hooked && !std::exchange(told, true))
        qCWarning(lcMedia) << "The video widget's own window (QVideoWindow) was not found: its drawing is set up "
                              "late, and a paused film may open black until Play";
    return video;
}

const MediaModuleInterface module{MediaModuleInterface::currentVersion, &createPlayer, &createSurface};

} // namespace

extern "C" Q_DECL_EXPORT const MediaModuleInterface *tavlon_media_module()
{
    return &module;
}
