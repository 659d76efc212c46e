#pragma once

// Small pieces shared by the review video view and the reaction player: a
// link-style row whose label wraps over several lines, and the one player a
// view owns for one file.

#include "servicequeue/mediaplayer.h"

#include <QPushButton>

class QLabel;
class QVBoxLayout;
class SorvaneVideoPlayer;

namespace ReviewFonts {
void headline(QWidget *widget);
void subheadline(QWidget *widget);
// Smaller, in the secondary text colour.
void caption(QWidget *widget);
} // namespace ReviewFonts

// A flat button in link colour whose label is a column of wrapping texts,
// left-aligned across the full width.
class LinkRowButton : public QPushButton
{
    Q_OBJECT
public:
    explicit LinkRowButton(QWidget *parent = nullptr);
    // Adds one line of the label; returns it for styling.
    QLabel *addLine(const QString &text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

private:
    QVBoxLayout *m_lines;
};

// The player of the file a view shows: made for a file, kept while the file
// stays the same and it has not failed (so refreshes of the view never restart
// playback, and asking again after a failure retries), paused
// before it is replaced, paused and dropped when released.
class OwnedPlayer
{
public:
    OwnedPlayer(MediaPlayerFactory factory, SorvaneVideoPlayer *surface);
    ~OwnedPlayer();
    MediaPlayer *player() const { return m_player.get(); }
    // A player for `file` (none for an empty path).
    void show(const QString &file);
    void release();
    void pause();
    // Pause, then an exact seek; the player stays paused.
    void pauseAt(double seconds);

private:
    MediaPlayerFactory m_factory;
    SorvaneVideoPlayer *m_surface;
    std::unique_ptr<MediaPlayer> m_player;
    QString m_file;
};
