// What a leader tells its followers: one small JSON object, the whole state
// each time (a follower that missed one, joined late or came back reads
// where things stand from the next), sent on every change and every
// kHeartbeatMs. Validated field by field; anything else is refused whole.
//
//   {"v":1,"seq":17,"play":"run","file":{"name":"dance.mp4","size":123,
//    "hash":"<64 hex>"},"section":2,"repeat":1,"of":3,"sectionEnd":8000,
//    "line":"2  Intro  1 / 3","notice":false,"countdown":0,
//    "clock":123456789,"pos":2000000000,"rate":0.8,"end":"exit","clockPort":40123}
//
// play: "idle" (nothing plays), "hold" (a muted pause: a repeat's gap, a
// move, the user's pause), "run" (the media position pos ns is heard at the
// leader's clock time clock ns and moves on at rate), "ended" (the leader
// ends: exit or power off).
#pragma once

#include "engine/EngineView.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// The media as both ends name it: its size and the SHA-256 of its first and
// last MiB (the whole of a smaller file). Its name is only a hint.
struct SyncFileId {
    QString Name; // without folder
    int64_t Size = -1;
    QByteArray Hash; // 64 hex digits

    bool Valid() const { return Size >= 0 && Hash.size() == 64; }
    bool SameMedia(const SyncFileId& o) const { return Size == o.Size && Hash == o.Hash; }
    // Reads path's first and last MiB; an invalid id when it cannot.
    static SyncFileId Of(const QString& path);
};

struct SyncState {
    enum class Play { Idle, Hold, Run, Ended };

    uint64_t Seq = 0;
    Play PlayState = Play::Idle;
    SyncFileId File; // Name empty and Size -1: nothing open
    int Section = 0; // 1-based; 0: none
    int Repeat = 0;  // which play of the section, of Of
    int Of = 0;
    int64_t SectionEndMs = 0; // 0: the section runs to the end of the media
    QString Line;             // the section line ("2  Intro  1 / 3")
    bool Notice = false;      // the replay notice is up
    int Countdown = 0;        // whole seconds under it; 0: none
    int64_t ClockNs = 0;      // run: the leader's clock time ...
    int64_t PositionNs = 0;   // ... at which this media position is heard
    double Rate = 1.0;
    EndMode End = EndMode::Loop;
    uint16_t ClockPort = 0; // where the leader publishes its clock (UDP)

    // The media position heard at clock time t (run).
    int64_t PositionAt(int64_t clockNs) const {
        return PositionNs + int64_t(double(clockNs - ClockNs) * Rate);
    }
};

namespace SyncMessage {
inline constexpr int kMaxBytes = 2048;
inline constexpr int kMaxLineChars = 200;
inline constexpr int kMaxNameChars = 255;
inline constexpr double kMinRate = 0.25, kMaxRate = 4.0;

QByteArray Encode(const SyncState& s);
// Nothing, with the reason in *why, unless text is a valid state.
std::optional<SyncState> Decode(const QByteArray& text, QString* why = nullptr);
} // namespace SyncMessage
