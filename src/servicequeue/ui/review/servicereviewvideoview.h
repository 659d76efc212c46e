#pragma once

#include "servicequeue/mediaplayer.h"
#include "servicequeue/reviewrules.h"

#include <QWidget>

class LinkRowButton;
class OwnedPlayer;
class QLabel;
class QVBoxLayout;
class SorvaneVideoPlayer;

// A verified review video with the customer's feedback timestamps of its
// version. Selecting a timestamp pauses the player at that moment. The player
// exists while the view is shown, pauses when the window stops being active
// (minimised too), and goes when the view is left or ends.
class ServiceReviewVideoView : public QWidget
{
    Q_OBJECT
public:
    explicit ServiceReviewVideoView(MediaPlayerFactory factory, QWidget *parent = nullptr);
    ~ServiceReviewVideoView() override;

    // Refreshing with the same file keeps the player; the buttons are rebuilt
    // only when the timestamps changed.
    void setContent(const ServiceReviewVideoDownload &download, const QList<ServiceDecision> &decisions);
    MediaPlayer *player() const;
    const QList<ServiceReviewTimestamp> &markers() const { return m_markers; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool event(QEvent *event) override;

private:
    void rebuildMarkers();

    QLabel *m_title;
    SorvaneVideoPlayer *m_surface;
    QLabel *m_heading;
    QVBoxLayout *m_buttons;
    std::unique_ptr<OwnedPlayer> m_player;
    std::optional<ServiceReviewVideoDownload> m_download;
    QList<ServiceReviewTimestamp> m_markers;
};
