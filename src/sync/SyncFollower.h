// The follower's side of a room of players: applies each state the leader
// publishes to its own media and windows. It opens the same media (found in
// its own folders by size and hash), plays it on the leader's clock so that
// the same position is heard at the same moment, holds (muted) where the
// leader holds, with the same replay notice, and selects the same section.
// It never runs its own schedule, and never ends the program because the
// leader ended: then its own end mode applies (a loop waits for the leader).
//
// Faults: a leader lost (Lost) is played on to the end of the section then
// playing, then held with the controls in sight until a state comes again;
// a media file missing says which one is needed and holds.
//
// Re-entrancy: opening, pausing and seeking wait while handling events, and
// a newer state may arrive inside such a wait. It is kept; the state being
// applied gives up at its next step and the newest one is applied instead.
#pragma once

#include "engine/EngineView.h"
#include "sync/SyncMessage.h"

#include <QObject>
#include <QStringList>

#include <optional>

class EngineClock;
class PlaybackGraph;
class SyncGraph;

class SyncFollower : public QObject {
    Q_OBJECT
public:
    // Joining a run already heard, it starts this far ahead of the leader's
    // present (ms of the shared clock): the seek lands meanwhile. Widened,
    // up to kMaxMarginMs, when a seek took longer; narrowed again as seeks
    // get quick. A start the leader announced ahead is met at its time.
    static constexpr int kMarginMs = 400;
    static constexpr int kMaxMarginMs = 3200;
    // A follower this far (ns) from the leader's line is put back on it.
    static constexpr int64_t kOffLineNs = 2000000;
    // How often a run waiting for the shared clock looks again (ms).
    static constexpr int kRetryMs = 100;

    enum class Status {
        Idle,
        Connecting,
        Following,
        MissingMedia,
        LeaderLost,
        LeaderEnded,
        Failed
    };

    struct Options {
        EndMode End = EndMode::Exit; // the follower's own
        bool SectionLine = false;    // its own "显示小节"
        int Volume = 10000;
        QStringList Folders; // where its media are looked for, in order
        // This screen heard this much later (+) or earlier (-) than the
        // leader's line: its own output's delay made up (kMaxLatencyMs).
        int LatencyOffsetMs = 0;
    };
    static constexpr int kMaxLatencyMs = 500;

    SyncFollower(PlaybackGraph& graph, SyncGraph& sync, EngineView& view, EngineClock& clock,
                 QObject* parent = nullptr);

    // The leader's address (its clock is published there).
    void SetLeader(const QString& address) { address_ = address; }
    void SetOptions(const Options& options);
    const Options& GetOptions() const { return options_; }

    // The leader's latest state.
    void Apply(const SyncState& state);
    // The connection to the leader is gone.
    void Lost();
    // Stops following: the media paused and muted, the pipelines' own clock
    // back for the next file. The window takes over.
    void Leave();

    Status GetStatus() const { return status_; }
    // The media the leader plays that this player lacks (MissingMedia).
    SyncFileId Needed() const { return needed_; }
    // The leader's clock port as last told; 0 before.
    uint16_t ClockPort() const { return clockPort_; }
    QString OpenedFile() const { return openedPath_; }
    // The leader's last start was announced ahead and this player could not
    // seek there in time: it joined a moment later instead.
    bool MissedStart() const { return missedStart_; }

    // The first file in folders with the id's size and hash, the one of the
    // id's name first; empty when none.
    static QString FindMedia(const SyncFileId& id, const QStringList& folders);

signals:
    void StatusChanged(Status status);
    // A file was opened for the leader's media (the window shows its name
    // and loads its schedule).
    void MediaOpened(const QString& path);

private:
    void Reconcile(const SyncState& s);
    bool OpenMedia(const SyncState& s);
    bool InStep(const SyncState& s) const;
    void Align(const SyncState& s);
    void Hold(bool notice, int countdown);
    void PlayOutSection();
    void OnEndOfMedia();
    void OnError(const QString& reason);
    void OnOutputLost(const QString& reason);
    void SetStatus(Status s);
    bool Superseded() const { return again_ || left_; }
    // The latency offset as shared clock time.
    int64_t OffsetNs() const;

    PlaybackGraph& graph_;
    SyncGraph& sync_;
    EngineView& view_;
    EngineClock& clock_;
    Options options_;
    QString address_;
    Status status_ = Status::Idle;

    std::optional<SyncState> latest_; // the newest state from the leader
    bool busy_ = false;               // a state is being applied (its waits handle events)
    bool again_ = false;              // a newer state came in meanwhile
    bool left_ = false;               // Leave was called
    bool lost_ = false;
    bool ended_ = false;
    uint16_t clockPort_ = 0;
    QString clockAddress_;
    SyncFileId openedId_;
    QString openedPath_;
    SyncFileId needed_;
    std::optional<SyncState> aligned_; // the run this player was put on
    int shownSection_ = -1;
    QString shownLine_;
    int marginMs_ = kMarginMs;
    bool missedStart_ = false;
};
