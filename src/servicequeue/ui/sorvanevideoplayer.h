#pragma once

#include <QPointer>
#include <QWidget>

class MediaPlayer;
class QLabel;
class QSlider;
class QToolButton;

// The one video surface of the service queue screens: a picture that keeps
// its aspect ratio, with inline play/pause, position and time, and under them
// one sentence when the file cannot be played. It never creates or deletes
// players; the embedding view owns them. Space plays and pauses while the
// surface or one of its controls has the keyboard; a click on the position
// bar seeks there, paused or playing.
class SorvaneVideoPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneVideoPlayer(QWidget *parent = nullptr);
    ~SorvaneVideoPlayer() override;

    MediaPlayer *player() const { return m_player; }
    // The same player again changes nothing (playback goes on); another one
    // pauses and detaches the current player first; nullptr leaves the view empty.
    void setPlayer(MediaPlayer *player);
    QObject *videoSurface() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void detach();
    void togglePlay();
    void showPosition();
    void showFailure();

    QPointer<MediaPlayer> m_player;
    QWidget *m_video; // from the media module (see media/mediamodule.h)
    QToolButton *m_playButton;
    QSlider *m_slider;
    QLabel *m_time;
    QLabel *m_failure;
    QList<QMetaObject::Connection> m_connections;
};
