#pragma once

#include "servicequeue/mediaplayer.h"
#include "servicequeue/videorecords.h"

#include <QWidget>
#include <memory>

class QLabel;
class SorvaneVideoPlayer;
namespace UiKit {
class LongWordLabel;
}

// Plays a prepared video draft and shows what is about to be sent. It owns
// at most one player: a new draft (or showing the view again) pauses the old
// player before the new one is made, so two drafts never play at once.
// Minimising the window keeps the player where it is.
class VideoReviewPreviewView final : public QWidget
{
    Q_OBJECT
public:
    VideoReviewPreviewView(MediaPlayerFactory players, QWidget *parent = nullptr);
    ~VideoReviewPreviewView() override;

    void setPreview(const VideoReviewPreview &preview);
    const std::optional<VideoReviewPreview> &preview() const { return m_preview; }
    MediaPlayer *player() const { return m_player.get(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void makePlayer();

    MediaPlayerFactory m_players;
    std::optional<VideoReviewPreview> m_preview;
    std::unique_ptr<MediaPlayer> m_player;
    SorvaneVideoPlayer *m_surface;
    QLabel *m_title;
    QLabel *m_body;
    QLabel *m_length;
    UiKit::LongWordLabel *m_sha;
    UiKit::LongWordLabel *m_revision;
};
