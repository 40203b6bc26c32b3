// The section engine: plays the schedule section by section.
//
// How it flows, top to bottom:
// - PlaySection(row, isRepeat) starts a section. With nothing open it opens
//   the file (Open: paused at its beginning, muted), applies zoom, audio
//   choice, rate and volume while paused, seeks to the row's time point,
//   waits until the seek has landed and only then plays: nothing from before
//   the target is ever heard. With the file open it mutes, pauses, shows the
//   replay notice, unmutes once paused and seeks; a repetition waits its
//   pause and a fixed 200 ms while the seek decodes. Then it waits for the
//   seek to land if it has not (a jump the user asked for at most 200 ms)
//   and plays. Then the row is entered (EnterRow): its count is used up by
//   one, the rest is RemainCount, and SectEndPos is the next row's start (0
//   for the last row: the section runs to the end of the media).
// - Tick(position) comes every 500 ms while the media plays. Near the end
//   (within kSectionEndLeadMs) a precise timer takes over (SectionEndTimer);
//   before a repeat the graph also holds the sound at SectEndPos
//   (HoldSectionEnd), so not one buffer of the next section is heard.
// - At SectEndPos (SectionEndReached) a section with repeats left plays
//   again (PlaySection(CurRow, true)); otherwise the bookkeeping runs on into
//   the next row (NextSection) while the media simply plays on.
// - At the end of the media (GraphComplete) the last section repeats if it
//   has repeats left; otherwise the end mode applies: exit, power off, or a
//   new pass from row 1 (with "chkLoopCounts" the stored counts come back).
// - Errors (Error, a file cut short) stop playback with a message and the
//   controls in sight; no end action follows an error.
// - A stall (the position standing still while the graph plays) or a sound
//   output that went away (OutputLost) is recovered (Recover): the graph is
//   made afresh where it stood, with the same section, repetition, rate and
//   choices, and the routine goes on. Up to kMaxRecoveries within
//   kRecoveryWindowMs; the last of them plays into no output (the picture
//   goes on, silent) until the system's output takes sound again. One more
//   stops with the message.
//
// Waits (the repeat pause, the open, the seek) keep handling events, so
// commands can arrive inside them. A command that would start a section
// (PlaySection, PlayNext, PlayPrevious, RestartSection, PlaySectionN) is
// then kept as the target, the latest one winning, and the waiting start
// goes there when its wait ends; the repeat pause ends early for it.
//
// The engine is the one home of its state: CurRow, RemainCount, the repeat
// index, SectEndPos and the rate really playing. Remotes and windows read
// the properties below and follow their change signals.
#pragma once

#include "engine/EngineView.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class EngineClock;
class PlaybackGraph;
class Schedule;

class SectionEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(int section READ CurRow NOTIFY SectionChanged)
    Q_PROPERTY(int repeat READ Repeat NOTIFY RepeatChanged)
    Q_PROPERTY(int remaining READ RemainCount NOTIFY RemainingChanged)
    Q_PROPERTY(double rate READ Rate NOTIFY RateChanged)
    Q_PROPERTY(State state READ GetState NOTIFY StateChanged)
    Q_PROPERTY(qint64 position READ PositionMs NOTIFY PositionChanged)
public:
    enum class State {
        Idle,          // nothing open (or stopped)
        Opening,       // the file is being opened for a section
        Playing,       // section CurRow plays
        RepeatGap,     // muted pause before a repetition
        Repositioning, // muted, moving to another section
        Paused,        // paused by the user
        Ended,         // the end mode is exiting or powering off
    };
    Q_ENUM(State)

    // The choices of the control window, read at the moment of use.
    struct Options {
        int RepeatPauseMs = 1000; // "cbDelay"
        bool ReplayNotice = true; // "chkRePlay"
        bool SectionLine = false; // "chkOSD"
        bool SpeedUp = false;     // "chkSpeedUp": one rate step faster per repetition, up to 1.00
        bool LoopCounts = false;  // "chkLoopCounts": a loop pass starts with the stored counts
        QList<double> Rates;      // cbRate's items, ascending
        int RateIndex = -1;       // the chosen one; -1: 1.00
        int Volume = 10000;       // 0..10000
        EndMode End = EndMode::Loop;
    };

    // The section end timer takes over from the tick this long (wall-clock
    // ms) before the end: a tick and some lateness of it.
    static constexpr int kSectionEndLeadMs = 700;
    // No position progress for this long (ms) while playing and waiting for
    // nothing the engine asked is a stall.
    static constexpr int kStallMs = 4000;
    // Recoveries within kRecoveryWindowMs (ms); one more stops with the
    // message.
    static constexpr int kMaxRecoveries = 3;
    static constexpr int kRecoveryWindowMs = 60000;
    // "已恢复" follows the section line this long (ms) after a recovery.
    static constexpr int kRecoveredShownMs = 2000;
    // Waits for a seek to land at most this long (ms).
    static constexpr int kSeekLandMs = 5000;
    // "Previous" within this long (ms) after a section's start goes to the
    // section before; later it restarts the section.
    static constexpr int kPreviousWithinMs = 3000;

    SectionEngine(Schedule& schedule, PlaybackGraph& graph, EngineView& view, EngineClock& clock,
                  QObject* parent = nullptr);

    // --- Setup -------------------------------------------------------------
    // The media file (CurFile); the schedule is loaded by the caller.
    void SetFile(const QString& file);
    QString File() const { return file_; }
    void SetOptions(const Options& options);
    const Options& GetOptions() const { return options_; }
    // The volume slider: applied at once unless a wait keeps the sound muted.
    void SetVolume(int volume);
    // On (the default): a repetition's seek runs during its pause. Off: the
    // seek follows the pause, as repeats went before, its decoding heard as
    // a longer pause; kept for the player benchmark to set the two side by
    // side.
    void SetSeekInPause(bool on) { seekInPause_ = on; }

    // --- State ---------------------------------------------------------------
    int CurRow() const { return curRow_; }
    int RemainCount() const { return remainCount_; }
    int32_t SectEndPos() const { return sectEndPos_; }
    // Which play of the section this is (1-based) and of how many; 0: none.
    int Repeat() const;
    int RepeatOf() const { return curRow_ == repeatRow_ ? repeatOf_ : 0; }
    double Rate() const { return rate_; }
    State GetState() const { return state_; }
    int64_t PositionMs() const { return positionMs_; }
    // "3  Intro  2 / 3": section, description, repetition; empty: none.
    QString SectionLineText() const;
    // The last error message; empty when none.
    QString LastError() const { return lastError_; }

    // --- Playback ---------------------------------------------------------------
    void PlaySection(int row, bool isRepeat);
    // Continue into the row after CurRow (no seek: the media plays on).
    void NextSection();
    // The position tracker's tick (every 500 ms while the media plays).
    void Tick(int64_t positionMs, int64_t durationMs);
    // The end of the media (the graph's EndOfMedia).
    void GraphComplete();
    // Playback broke off: stop with a message, no end action.
    void MediaError(const QString& reason);
    // The sound output went away: recovered as a stall is.
    void OutputLost(const QString& reason);
    // Recoveries made so far.
    int Recoveries() const { return recoveries_; }

    // --- Commands (keys, remotes, the window) -------------------------------------
    void Play(); // resume a pause, or start CurRow (row 1) when nothing plays
    void Pause();
    void PlayPause();
    void Stop();
    void PlayNext();
    void PlayPrevious();
    void RestartSection(); // from its start, not using up a repetition
    void PlaySectionN(int n);
    void Skip(int seconds); // -10 / +10 from the last tick's position
    void SeekTo(int64_t ms);
    void ApplyRate(double rate);
    // Adds a section at the position (stored with every other row's stored
    // count); returns its row, 0 when nothing is open.
    int MarkHere(const QString& scheduleFile);
    // The same at ms of the media (a point the user chose on the timeline);
    // stored only when scheduleFile is not empty.
    int MarkAt(int64_t ms, const QString& scheduleFile);
    // A section start is waiting (an open, a repeat pause, a seek): commands
    // arriving now are kept and the latest one runs when it is over.
    bool Waiting() const { return waits_ > 0; }

signals:
    void SectionChanged(int row);
    void RepeatChanged(int repeat, int of);
    void RemainingChanged(int remaining);
    void RateChanged(double rate);
    void StateChanged(State state);
    void PositionChanged(qint64 ms);
    void DurationChanged(qint64 ms);
    // Playback was made afresh where it stood (the n-th time) after reason.
    void Recovered(int n, const QString& reason);

private:
    struct Target {
        int row;
        bool isRepeat;
    };
    // Runs the engine's nested waits; counts them so that commands arriving
    // inside are kept, and the stall watch knows the engine waits.
    class WaitScope;

    bool OpenForSection();
    void RepeatPause(int ms);
    void WaitSeekLanded(int maxMs = kSeekLandMs);
    void EnterRow(int row);
    void SectionEntered(int row);
    void ArmSectionEnd(int64_t positionMs);
    void HoldSectionEnd(int64_t positionMs);
    void SectionEndTimer();
    void SectionEndReached();
    void RunToMediaEnd();
    double SectionRate(int steps) const;
    void ApplySectionRate(int steps);
    void RestoreVolume();
    bool WatchProgress(int64_t positionMs);
    void Recover(const QString& reason, bool counted);
    bool LookForOutput();
    bool CutWhilePlaying() const;
    void StopWithError(const QString& reason);
    int64_t CurrentPositionMs() const;
    int StartBase() const;
    bool Exists(int row) const;

    void SetState(State s);
    void SetCurRow(int row);
    void SetRemainCount(int n);
    void SetPosition(int64_t ms);
    void NotifyRate();
    void OnRowChanged(int row, int column);
    void OnRowsRemoved(int first, int last);
    void OnRowsSorted(const QList<int>& origins);

    Schedule& schedule_;
    PlaybackGraph& graph_;
    EngineView& view_;
    EngineClock& clock_;
    Options options_;
    QString file_;

    int curRow_ = 0;
    int32_t remainCount_ = 0;
    int32_t sectEndPos_ = 0; // ms; 0: the section runs to the end of the media
    int repeatRow_ = 0;      // the row whose repetitions are counted
    int repeatOf_ = 0;       // its count when it started
    int repeatRemain_ = -1;  // RemainCount when it was last entered
    double rate_ = 1.0;
    State state_ = State::Idle;
    int64_t positionMs_ = 0;
    int64_t lastTickPos_ = 0;
    int64_t lastTickDuration_ = 0;

    int waits_ = 0;                 // nested waits running
    int target_ = 0;                // the row the waiting start goes to
    std::optional<Target> pending_; // the latest command that arrived in a wait
    int generation_ = 0;            // counts stops: a start that waited gives up after one
    bool muted_ = false;
    bool seekInPause_ = true;
    bool atEnd_ = false;    // the media has ended; no tick until it plays again
    bool entering_ = false; // EnterRow writes the count itself
    int64_t watchPos_ = -1;
    int64_t watchSince_ = 0;
    int64_t openedSize_ = -1;
    QString lastError_;
    QList<int64_t> recoveredAt_; // clock_ times of the recoveries in the window
    int recoveries_ = 0;
    QString recoverAfterWait_; // an output lost inside a wait: recovered after it
};
