// TGraphPlayback: the program's filter graph as the section engine sees it
// (engine/PlaybackGraph.h): milliseconds, plain states, open results and
// signals. The framework's interfaces and status codes stay in here.
#pragma once

#include "engine/PlaybackGraph.h"
#include "engine/SyncGraph.h"

#include <QStringList>

#include <cstdint>
#include <optional>

class TFilterGraph;

class TGraphPlayback : public PlaybackGraph, public SyncGraph {
    Q_OBJECT
public:
    // graph outlives this object.
    explicit TGraphPlayback(TFilterGraph& graph, QObject* parent = nullptr);

    OpenResult Open(const QString& file) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    State GetState() const override;
    void Seek(int64_t ms) override;
    bool SeekPending() const override;
    int64_t PositionMs() const override;
    int64_t DurationMs() const override;
    double Rate() const override;
    void SetRate(double rate) override;
    void SetVolume(int volume) override;
    void SetSoundEnd(int64_t ms) override;
    void SetSilentOutput(bool silent) override;
    bool OutputSilent() const override;
    bool OutputBack() override;

    // SyncGraph
    bool LeadClock(const QString& address, uint16_t* port, QString* error) override;
    void FollowClock(const QString& address, uint16_t port) override;
    void ClockAlone() override;
    std::optional<int64_t> ClockNowNs() const override;
    std::optional<Mapping> ClockMapping() const override;
    bool PlayAt(int64_t clockNs) override;

    // The graph's end-of-media notification with its framework status: the
    // end (EndOfMedia), or playback broken off (Error with the reason).
    void GraphComplete(int32_t status);
    // The framework's words for a status ("error 0x80040216" when it has none).
    QString Reason(int32_t status) const;

    // The position, or nothing while the graph cannot tell it.
    std::optional<int64_t> KnownPositionMs() const;

    // The open file's filters and audio tracks. Track 0 enables every audio
    // stream of the first filter that has any; track n (from 1) enables the
    // n-th audio stream, counted over all filters.
    struct AudioTracks {
        bool Listed = false; // false: the graph has no filters to list
        QStringList Filters; // names; a file source's without its folder
        int Count = 0;       // audio streams found
        int Selected = -1;   // index (from 0) of track n when it could be enabled
    };
    AudioTracks ChooseAudioTrack(int track);
    // An MPEG audio decoder named decoder plays channel (0 both, 1 left,
    // 2 right) of a dual-channel stream; nothing when there is none.
    void SetDualMode(const QString& decoder, int channel);

private:
    void AdoptSharedClock();
    // Leading: from paused, a run at kStartAheadMs from now on the shared
    // clock (announced meanwhile); false when it cannot be started so.
    bool PlayAnnounced();

    TFilterGraph* graph_;
    bool leading_ = false;
    bool sought_ = false; // a seek since the last run
};
