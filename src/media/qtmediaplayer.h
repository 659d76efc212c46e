#pragma once

#include "servicequeue/mediaplayer.h"

#include <QPointer>
#include <QVideoFrame>
#include <optional>

class QAudioOutput;
class QMediaPlayer;

// MediaPlayer on Qt Multimedia (the GStreamer backend). The file is read,
// paused, as soon as the video widget it draws into is on screen (or on the
// next turn without one), so the first picture shows before Play; a picture
// its surface loses while the film is paused is put back.
// A seek asked for before the file is read is kept and applied once it is.
// An engine error (missing file, damaged file, no decoder) stops the player
// for good and is kept as failure(). Built into the media module (the
// application loads it on first use, see servicequeue/ui/media/mediamodule.h);
// tests may link it directly.
class QtMediaPlayer : public MediaPlayer
{
    Q_OBJECT
public:
    explicit QtMediaPlayer(const QUrl &file, QObject *parent = nullptr);
    ~QtMediaPlayer() override;

    QUrl source() const override { return m_source; }
    void play() override;
    void pause() override;
    bool isPlaying() const override;
    void seek(MediaTime time) override;
    qint64 position() const override;
    qint64 duration() const override;
    void setVideoOutput(QObject *output) override;
    QObject *videoOutput() const override { return m_output; }
    MediaFailure failure() const override { return m_failure; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load();
    bool loaded() const;
    void fail();
    void keepPicture(QObject *output);

    QUrl m_source;
    QMediaPlayer *m_player;
    QAudioOutput *m_audio = nullptr;
    QPointer<QObject> m_output;
    std::optional<qint64> m_pendingPosition;
    MediaFailure m_failure = MediaFailure::none;
    bool m_loading = false; // the file was handed to the engine
    bool m_read = false; // the engine knew the file's streams
    QVideoFrame m_picture; // the surface's picture while paused
    QMetaObject::Connection m_pictureWatch;
};
