#pragma once

#include "servicequeue/mediaplayer.h"
#include "servicequeue/videorecords.h"

#include <QWidget>

class OwnedPlayer;
class QVBoxLayout;
class SorvaneVideoPlayer;

// One verified customer reaction: its recording and one row per timed
// comment; a row pauses the recording at the moment the comment was made.
// Plays the path the checks accepted, never the answer's own text.
class ServiceReactionPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit ServiceReactionPlayer(MediaPlayerFactory factory, QWidget *parent = nullptr);
    ~ServiceReactionPlayer() override;

    // Another reaction in the same place pauses the old player and makes a
    // new one; the same file again keeps it.
    void setDownload(const ServiceReactionDownload &download);
    MediaPlayer *player() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    SorvaneVideoPlayer *m_surface;
    QVBoxLayout *m_rows;
    std::unique_ptr<OwnedPlayer> m_player;
    std::optional<ServiceReactionDownload> m_download;
    QStringList m_rowKeys;
};
