#pragma once

// A media player that records what views ask of it, for widget tests.

#include "servicequeue/mediaplayer.h"

#include <QPointer>

class FakeMediaPlayer : public MediaPlayer
{
    Q_OBJECT
public:
    explicit FakeMediaPlayer(QUrl file)
        : m_source(std::move(file))
    {
    }

    QStringList calls; // "play", "pause", "seek <value>", "attach", "detach", in order
    QList<MediaTime> seeks;
    qint64 m_position = 0;
    qint64 m_duration = 0;

    QUrl source() const override { return m_source; }
    void play() override
    {
        calls << QStringLiteral("play");
        setPlaying(m_failure == MediaFailure::none);
    }
    void pause() override
    {
        calls << QStringLiteral("pause");
        setPlaying(false);
    }
    bool isPlaying() const override { return m_playing; }
    void seek(MediaTime time) override
    {
        calls << QStringLiteral("seek %1").arg(time.value);
        seeks << time;
        m_position = time.milliseconds();
        Q_EMIT positionChanged(m_position);
    }
    qint64 position() const override { return m_position; }
    qint64 duration() const override { return m_duration; }
    void setVideoOutput(QObject *output) override
    {
        calls << (output ? QStringLiteral("attach") : QStringLiteral("detach"));
        m_output = output;
    }
    QObject *videoOutput() const override { return m_output; }
    MediaFailure failure() const override { return m_failure; }
    // What the engine does on an error: stop for good and say why.
    void fail(MediaFailure failure)
    {
        setPlaying(false);
        m_failure = failure;
        Q_EMIT failed();
    }

private:
    void setPlaying(bool playing)
    {
        if (m_playing == playing)
            return;
        m_playing = playing;
        Q_EMIT playingChanged(playing);
    }

    QUrl m_source;
    bool m_playing = false;
    MediaFailure m_failure = MediaFailure::none;
    QPointer<QObject> m_output;
};

// A factory that keeps a guarded pointer to every player it made, in order.
struct FakePlayerFactory
{
    std::shared_ptr<QList<QPointer<FakeMediaPlayer>>> made = std::make_shared<QList<QPointer<FakeMediaPlayer>>>();

    MediaPlayerFactory factory() const
    {
        return [made = made](const QUrl &file) -> std::unique_ptr<MediaPlayer> {
            auto player = std::make_unique<FakeMediaPlayer>(file);
            made->append(player.get());
            return player;
        };
    }
    FakeMediaPlayer *last() const { return made->isEmpty() ? nullptr : made->last().data(); }
};
