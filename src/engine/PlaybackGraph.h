// What the section engine needs of the media: one open file, played,
// paused, sought and sped up, with its sound muted and held at a section's
// end. Milliseconds of media time throughout. The program's graph
// (media/FilterGraph.h) implements it; the engine's tests use a fake.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class PlaybackGraph : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    enum class State { None, Stopped, Paused, Playing };

    enum class OpenStatus {
        Opened,     // ready, not playing
        Failed,     // cannot be played; reason says why
        Superseded, // something newer (another file, a stop) happened while it opened
    };
    struct OpenResult {
        OpenStatus status = OpenStatus::Failed;
        QString reason; // Failed: the framework's words ("no decoder for ...")
    };

    // Stops and forgets what was open, then opens file on a fresh graph.
    // Events are handled while it opens: engine calls may run inside.
    virtual OpenResult Open(const QString& file) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual State GetState() const = 0;

    // Absolute seek; clears a held sound end. The position reported until
    // SeekPending() turns false may still be the old one.
    virtual void Seek(int64_t ms) = 0;
    // A seek was asked for and has not reached its target yet. False when
    // the media cannot seek (the seek was then ignored).
    virtual bool SeekPending() const = 0;
    virtual int64_t PositionMs() const = 0;
    // 0 when unknown.
    virtual int64_t DurationMs() const = 0;

    // The rate the media really plays at (1.0 = normal).
    virtual double Rate() const = 0;
    virtual void SetRate(double rate) = 0;
    // 0..10000.
    virtual void SetVolume(int volume) = 0;
    // The sound stops sample-exactly at ms of media time (the section's end
    // before a repeat); -1 clears.
    virtual void SetSoundEnd(int64_t ms) = 0;

    // Where the sound goes: the graphs made from now on play into nothing
    // (true) or into the system's output.
    virtual void SetSilentOutput(bool silent) { (void)silent; }
    // The open graph's sound reaches no output (none was there when it was
    // made, or it was made silent).
    virtual bool OutputSilent() const { return false; }
    // Whether the system's output takes sound again: a look that takes a
    // moment, asked on every call; false until it knows.
    virtual bool OutputBack() { return false; }

signals:
    // The media has played to its end.
    void EndOfMedia();
    // Playback broke off (a decoder error, a sound output that went away).
    void Error(const QString& reason);
    // The sound output failed or went away (its server killed, its device
    // unplugged); the media itself is fine.
    void OutputLost(const QString& reason);
};
