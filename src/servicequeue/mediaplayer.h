#pragma once

// The one seam between the service queue's video views and a media engine.
// Views own their player and only ever pause, seek, play and attach it; tests
// give a fake, the application the Qt Multimedia player (media/qtmediaplayer.h).

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

// A point in a film at the resolution the views seek at: 1/600 s, which holds
// every frame of 24, 25, 30, 50 and 60 fps footage exactly.
struct MediaTime
{
    static constexpr qint64 scale = 600;
    qint64 value = 0;

    // The nearest step to `seconds`; not-a-number reads 0 and values beyond
    // a day-sized bound are clamped, so a wild input never overflows.
    static MediaTime fromSeconds(double seconds);
    // The nearest whole millisecond (what the media engine takes).
    qint64 milliseconds() const;
    double seconds() const { return double(value) / double(scale); }
    bool operator==(const MediaTime &) const = default;
};

// Why a player cannot play its file; views say so in one sentence.
enum class MediaFailure {
    none,
    missingFile, // the file is not there (or cannot be opened)
    damaged, // the file is not a film the engine can read
    noDecoder, // the film was read, but a stream of it cannot be decoded here
};

class MediaPlayer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The local file this player plays; fixed for its life.
    virtual QUrl source() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual bool isPlaying() const = 0;
    // Exact: the picture shown afterwards is the one at `time`, with no
    // tolerance before or after. Does not change playing or paused.
    virtual void seek(MediaTime time) = 0;
    // Milliseconds; duration is 0 until the file is read.
    virtual qint64 position() const = 0;
    virtual qint64 duration() const = 0;
    // The surface that shows the picture (a video widget or sink); nullptr detaches.
    virtual void setVideoOutput(QObject *output) = 0;
    virtual QObject *videoOutput() const = 0;
    // Set once the file turned out unplayable; the player is then stopped
    // for good and play() does nothing.
    virtual MediaFailure failure() const { return MediaFailure::none; }

Q_SIGNALS:
    void playingChanged(bool playing);
    void positionChanged(qint64 milliseconds);
    void durationChanged(qint64 milliseconds);
    // failure() became set (after playingChanged(false) when it was playing).
    void failed();
};

// Makes a player for a local file. Views are given one so tests can count,
// inspect and drive the players they create.
using MediaPlayerFactory = std::function<std::unique_ptr<MediaPlayer>(const QUrl &file)>;
