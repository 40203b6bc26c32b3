// What playing in step with other players needs of the media, beside
// PlaybackGraph: a clock shared over the network, where the playing media
// stands on it, and a run that starts at a chosen time of it. The program's
// graph (media/GraphPlayback.h) implements it; the sync tests use a fake.
// Nanoseconds throughout: a millisecond is too coarse for sound in step.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class SyncGraph {
public:
    // A leader's start (a section, a repeat, a resume, a jump) is heard this
    // long after it is asked for: it runs at a time of the shared clock
    // announced to the followers that far ahead, their time to seek there.
    static constexpr int kStartAheadMs = 250;

    virtual ~SyncGraph() = default;

    // The clock of every pipeline from the next file opened on. Lead:
    // published on address:*port (0: any free port; *port gets it). Follow:
    // the leader's, published on address:port. Alone: the pipelines' own.
    virtual bool LeadClock(const QString& address, uint16_t* port, QString* error) = 0;
    virtual void FollowClock(const QString& address, uint16_t port) = 0;
    virtual void ClockAlone() = 0;

    // The shared clock's time; nothing without one, or while a follower's
    // clock has not yet found the leader's time.
    virtual std::optional<int64_t> ClockNowNs() const = 0;

    // Where the playing media stands: the media time heard at clockNs (now,
    // or a start announced ahead: its time) of the shared clock. Nothing
    // unless it plays, settled.
    struct Mapping {
        int64_t clockNs = 0;
        int64_t positionNs = 0;
    };
    virtual std::optional<Mapping> ClockMapping() const = 0;

    // From paused at a landed seek (or a pause): plays so that the paused
    // position is heard at clockNs of the shared clock. Until then
    // ClockMapping tells that time and that position.
    virtual bool PlayAt(int64_t clockNs) = 0;
};
