#include "engine/SectionEngine.h"

#include "engine/EngineClock.h"
#include "engine/PlaybackGraph.h"
#include "engine/Schedule.h"
#include "utPublic/utPublicCore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Holds the video window's picture for its lifetime (when asked to).
class PictureHold {
public:
    PictureHold(EngineView& view, bool held) : view_(view), held_(held) {
        if (held_)
            view_.HoldPicture(true);
    }
    ~PictureHold() {
        if (held_)
            view_.HoldPicture(false);
    }
    PictureHold(const PictureHold&) = delete;
    PictureHold& operator=(const PictureHold&) = delete;

private:
    EngineView& view_;
    bool held_;
};
using GState = PlaybackGraph::State;
} // namespace

// A section start in progress: the sound stays muted until the graph is
// paused where nothing reaches the output, and commands that arrive
// meanwhile are kept as its next target. Nested starts (a command run
// by an event inside a wait) only count.
class SectionEngine::WaitScope {
public:
    explicit WaitScope(SectionEngine& e) : e_(e) {
        ++e_.waits_;
        e_.muted_ = true;
        e_.graph_.SetVolume(0);
    }
    ~WaitScope() {
        if (--e_.waits_ == 0)
            Unmute();
    }
    // The sound back at the chosen volume (a paused graph outputs nothing).
    void Unmute() {
        e_.muted_ = false;
        e_.RestoreVolume();
    }

private:
    SectionEngine& e_;
};

SectionEngine::SectionEngine(Schedule& schedule, PlaybackGraph& graph, EngineView& view,
                             EngineClock& clock, QObject* parent)
    : QObject(parent), schedule_(schedule), graph_(graph), view_(view), clock_(clock) {
    connect(&schedule_, &Schedule::RowChanged, this, &SectionEngine::OnRowChanged);
    connect(&schedule_, &Schedule::RowsRemoved, this, &SectionEngine::OnRowsRemoved);
    connect(&schedule_, &Schedule::RowsSorted, this, &SectionEngine::OnRowsSorted);
    connect(&graph_, &PlaybackGraph::EndOfMedia, this, &SectionEngine::GraphComplete);
    connect(&graph_, &PlaybackGraph::Error, this, &SectionEngine::MediaError);
    connect(&graph_, &PlaybackGraph::OutputLost, this, &SectionEngine::OutputLost);
}

void SectionEngine::SetFile(const QString& file) {
    file_ = file;
}

void SectionEngine::SetOptions(const Options& options) {
    options_ = options;
}

void SectionEngine::SetVolume(int volume) {
    options_.Volume = std::clamp(volume, 0, 10000);
    if (!muted_)
        RestoreVolume();
}

int SectionEngine::Repeat() const {
    if (curRow_ != repeatRow_ || repeatOf_ <= 0)
        return 0;
    return std::clamp(repeatOf_ - remainCount_, 1, repeatOf_);
}

QString SectionEngine::SectionLineText() const {
    if (!Exists(curRow_) || !QFileInfo(file_).isFile())
        return {};
    QString text = QString::number(curRow_);
    const QString description = schedule_.Description(curRow_).trimmed();
    if (!description.isEmpty())
        text += QStringLiteral("  ") + description;
    if (RepeatOf() > 0)
        text += QStringLiteral("  %1 / %2").arg(Repeat()).arg(RepeatOf());
    return text;
}

bool SectionEngine::Exists(int row) const {
    return schedule_.RowExists(row);
}

int64_t SectionEngine::CurrentPositionMs() const {
    const GState s = graph_.GetState();
    if (s != GState::Paused && s != GState::Playing)
        return 0;
    return std::max<int64_t>(0, graph_.PositionMs());
}

// --- Starting a section -------------------------------------------------------

void SectionEngine::PlaySection(int row, bool isRepeat) {
    if (waits_ > 0) {
        // Another start is waiting: it goes here when its wait ends.
        pending_ = Target{row, isRepeat};
        return;
    }
    // An open file plays on from its handle even when its name is gone:
    // repeats seek in the open graph.
    const GState st = graph_.GetState();
    const bool open = st == GState::Playing || st == GState::Paused;
    if (!open && !QFile::exists(file_))
        return;
    if (!Exists(row))
        return;
    const int generation = generation_;
    int32_t startMs = schedule_.StartMs(row);
    {
        WaitScope scope(*this);
        target_ = row;
        if (open) {
            graph_.Pause();
            SetState(isRepeat ? State::RepeatGap : State::Repositioning);
            view_.ShowNotice(options_.ReplayNotice && isRepeat);
            // Paused, nothing reaches the output, and the seek flushes what
            // was decoded before it. So the volume comes back before the
            // seek: the sound at the section's start is made at the chosen
            // volume, not muted (which cut the first buffer of every repeat).
            // A pause the graph refused keeps the sound muted until the run.
            if (graph_.GetState() == GState::Paused)
                scope.Unmute();
        } else {
            // The fresh graph opens paused at its beginning; nothing of that
            // is ever played. Track, channel, rate and volume are set while it
            // is paused, then the seek flushes everything decoded before it,
            // and the run starts once the sound at the section's start waits
            // at the output: the first sound heard is the section's, at its
            // full volume.
            SetState(State::Opening);
            if (!OpenForSection())
                return;
            view_.ApplyZoom();
            emit DurationChanged(graph_.DurationMs());
            view_.ApplyAudioChoice();
            ApplyRate(SectionRate(0));
            scope.Unmute();
        }
        // Without the seek in the pause, it is waited before the seek.
        if (open && isRepeat && !seekInPause_)
            RepeatPause(options_.RepeatPauseMs);
        // Seek until no newer target came in meanwhile; a stop or an error
        // in a wait ends the start.
        bool pause = open && isRepeat && seekInPause_;
        // The seek lands during the pause: the picture stays the one the
        // pause began on until the repetition plays.
        const PictureHold hold(view_, pause);
        for (;;) {
            if (generation != generation_)
                return;
            if (pending_) {
                row = pending_->row;
                isRepeat = pending_->isRepeat;
                pending_.reset();
                target_ = row;
                view_.ShowNotice(open && options_.ReplayNotice && isRepeat);
                if (Exists(row))
                    startMs = schedule_.StartMs(row);
            }
            graph_.Seek(startMs);
            if (open) {
                // The speed trainer's step for this repetition, the chosen
                // rate for anything else.
                ApplySectionRate(isRepeat && row == curRow_ ? repeatOf_ - remainCount_ : 0);
            }
            // A repetition's pause runs while the seek decodes its way to
            // the section's start (from the key frame before it: seconds on
            // a 4K file with sparse key frames), so the pause heard is the
            // chosen one plus the fixed 200 ms whatever the file; a seek
            // slower than that plays as soon as it lands. A newer target
            // arriving in the pause ends it and is sought instead.
            // A jump the user asked for goes on as soon as the new position
            // is there (at most 200 ms).
            if (pause) {
                pause = false;
                RepeatPause(options_.RepeatPauseMs);
                if (pending_ || generation != generation_)
                    continue;
            }
            if (open && isRepeat)
                clock_.Wait(200);
            WaitSeekLanded(open && !isRepeat ? 200 : kSeekLandMs);
            if (generation != generation_)
                return;
            if (!pending_)
                break;
        }
        graph_.Play();
        atEnd_ = false;
        SetState(State::Playing);
        if (!open)
            view_.HideControls();
    } // unmuted here, the target reached
    NotifyRate();
    view_.ShowVideo();
    view_.ShowNotice(false);
    if (!Exists(row)) {
        // Deleted during the wait: the section runs to the end of the media.
        sectEndPos_ = 0;
        SetRemainCount(0);
        HoldSectionEnd(0);
    } else {
        EnterRow(row);
    }
    // A command that came after the last look (inside the bookkeeping).
    if (pending_) {
        const Target t = *pending_;
        pending_.reset();
        PlaySection(t.row, t.isRepeat);
    }
}

bool SectionEngine::OpenForSection() {
    if (const QString why = MediaFileRefusal(file_); !why.isEmpty()) {
        StopWithError(why);
        return false;
    }
    view_.ShowVideo();
    const PlaybackGraph::OpenResult r = graph_.Open(file_);
    // Superseded: a handler run during the open started something newer
    // (another file, a stop); that stands and nothing is reported.
    if (r.status == PlaybackGraph::OpenStatus::Superseded)
        return false;
    if (r.status == PlaybackGraph::OpenStatus::Failed) {
        StopWithError(r.reason.isEmpty()
                          ? QCoreApplication::translate("Messages", "it cannot be opened")
                          : r.reason);
        return false;
    }
    openedSize_ = QFileInfo(file_).size();
    graph_.SetVolume(0);
    graph_.Pause();
    return true;
}

void SectionEngine::RepeatPause(int ms) {
    // With the notice up and a pause of 2 s or more, the whole seconds left
    // count down under it. The pause is waited in slices so that a command
    // arriving meanwhile (next, a row clicked) ends it at once.
    const bool countdown = options_.ReplayNotice && ms >= 2000;
    const int generation = generation_;
    const int64_t start = clock_.NowMs();
    int shown = 0;
    for (;;) {
        const int64_t left = ms - (clock_.NowMs() - start);
        if (left <= 0 || pending_ || generation != generation_)
            break;
        int64_t step = left;
        if (countdown) {
            const int seconds = int((left + 999) / 1000);
            if (seconds != shown)
                view_.ShowCountdown(shown = seconds);
            step = left - int64_t(seconds - 1) * 1000; // to the next whole second
        }
        clock_.Wait(int(std::min<int64_t>(step, 100)));
    }
    if (countdown)
        view_.ShowCountdown(0);
}

void SectionEngine::WaitSeekLanded(int maxMs) {
    // Nothing plays before the target is reached: a buffer from before the
    // seek would be heard.
    const int generation = generation_;
    const int64_t start = clock_.NowMs();
    while (graph_.SeekPending() && generation == generation_ && clock_.NowMs() - start < maxMs)
        clock_.Wait(10);
}

// --- Bookkeeping ------------------------------------------------------------------

void SectionEngine::EnterRow(int row) {
    view_.SelectRow(row);
    SetCurRow(row);
    // 64 bits: the most negative count a file can hold must not wrap round
    // into an endless repeat.
    const int32_t remain =
        int32_t(std::max<int64_t>(int64_t(StrToIntDef(schedule_.Count(row), 1)) - 1, 0));
    entering_ = true;
    schedule_.SetCount(row, QString::number(remain));
    entering_ = false;
    SetRemainCount(remain);
    sectEndPos_ = row < schedule_.RowCount() ? schedule_.StartMs(row + 1) : 0;
    SectionEntered(row);
    // A section shorter than a tick ends before the next one.
    ArmSectionEnd(CurrentPositionMs());
}

void SectionEngine::SectionEntered(int row) {
    // A repetition enters the same row with one play fewer to go; anything
    // else (another row, a click on the row, a new pass) starts it afresh.
    const bool repeat = row == repeatRow_ && remainCount_ < repeatRemain_;
    if (!repeat) {
        repeatRow_ = row;
        repeatOf_ = remainCount_ + 1;
    }
    repeatRemain_ = remainCount_;
    view_.ShowSectionLine(options_.SectionLine ? SectionLineText() : QString());
    if (!repeat)
        emit SectionChanged(row);
    emit RepeatChanged(Repeat(), RepeatOf());
}

void SectionEngine::NextSection() {
    const int row = curRow_ + 1;
    if (!Exists(row)) {
        RunToMediaEnd();
        return;
    }
    ApplySectionRate(-1);
    EnterRow(row);
}

void SectionEngine::RunToMediaEnd() {
    // Rows deleted during playback: the section runs to the end of the media,
    // as the last row does.
    sectEndPos_ = 0;
    if (!Exists(curRow_))
        SetRemainCount(0);
    HoldSectionEnd(0);
}

// --- The section end ---------------------------------------------------------------

void SectionEngine::Tick(int64_t positionMs, int64_t durationMs) {
    lastTickPos_ = positionMs;
    lastTickDuration_ = durationMs;
    if (!recoverAfterWait_.isEmpty() && waits_ == 0) {
        Recover(std::exchange(recoverAfterWait_, QString()), true);
        return;
    }
    if (WatchProgress(positionMs))
        return;
    if (graph_.GetState() != GState::Playing || waits_ > 0)
        return;
    if (LookForOutput())
        return;
    SetPosition(positionMs);
    if (sectEndPos_ <= 0 || positionMs < sectEndPos_) {
        ArmSectionEnd(positionMs);
        return;
    }
    SectionEndReached();
}

void SectionEngine::ArmSectionEnd(int64_t positionMs) {
    // The tick alone would notice an end up to 500 ms late, and that much of
    // the next section would be heard before a repeat. Within the last tick
    // before the end a single precise timer takes over, aimed at the end by
    // the graph's own position and rate; when it fires it asks the position
    // again, so a seek or a rate change in between only moves it.
    HoldSectionEnd(positionMs);
    if (sectEndPos_ <= 0 || graph_.GetState() != GState::Playing) {
        clock_.StopTimer();
        return;
    }
    const double rate = graph_.Rate() > 0 ? graph_.Rate() : 1.0;
    const double wallMs = double(int64_t(sectEndPos_) - positionMs) / rate;
    if (wallMs > kSectionEndLeadMs) {
        clock_.StopTimer();
        return;
    }
    clock_.StartTimer(std::max(0, int(wallMs)), [this] { SectionEndTimer(); });
}

void SectionEngine::HoldSectionEnd(int64_t positionMs) {
    // The sound reaches the output in whole buffers, each long past the
    // volume by then: a pause even a millisecond late lets the next
    // section's first buffer be heard. So before a repeat the graph holds
    // the sound at the end itself, whenever the pause comes. A section that
    // runs on into the next one is never held (no gap there); a seek clears
    // the hold and the next tick or row entered sets it again.
    const bool repeats = remainCount_ > 0 && sectEndPos_ > 0 && positionMs < sectEndPos_ &&
                         Exists(curRow_) && Exists(curRow_ + 1);
    graph_.SetSoundEnd(repeats ? int64_t(sectEndPos_) : -1);
}

void SectionEngine::SectionEndTimer() {
    if (graph_.GetState() != GState::Playing || sectEndPos_ <= 0 || waits_ > 0)
        return;
    const int64_t pos = CurrentPositionMs();
    const double rate = graph_.Rate() > 0 ? graph_.Rate() : 1.0;
    // A millisecond more counts: the timer's own resolution.
    if (double(int64_t(sectEndPos_) - pos) / rate > 1) {
        ArmSectionEnd(pos);
        return;
    }
    SectionEndReached();
}

void SectionEngine::SectionEndReached() {
    clock_.StopTimer();
    if (remainCount_ > 0) {
        if (Exists(curRow_) && Exists(curRow_ + 1))
            PlaySection(curRow_, true);
        else
            RunToMediaEnd();
        return;
    }
    NextSection();
}

void SectionEngine::GraphComplete() {
    // A file cut short under the player ends early; that is no end of the
    // routine.
    if (CutWhilePlaying()) {
        StopWithError(
            QCoreApplication::translate("Messages", "the file was cut short while playing"));
        return;
    }
    atEnd_ = true;
    clock_.StopTimer();
    if (sectEndPos_ == 0 && remainCount_ >= 1 && Exists(curRow_)) {
        PlaySection(curRow_, true);
        return;
    }
    if (options_.End != EndMode::Loop) {
        SetState(State::Ended);
        view_.EndProgram(options_.End); // returns only when that failed
        return;
    }
    if (options_.LoopCounts)
        schedule_.RestoreStoredCounts();
    PlaySection(1, false);
}

// --- Failures -------------------------------------------------------------------

void SectionEngine::MediaError(const QString& reason) {
    // The routine is not over: say why, with the controls in sight, and stop;
    // no repeat and no end action follows, so a failure never switches the
    // computer off or quits.
    StopWithError(reason);
}

bool SectionEngine::WatchProgress(int64_t positionMs) {
    // A stall is what a person would call one: the graph says it plays, the
    // engine waits for nothing it asked (a start, a seek, the end action),
    // and the position has not moved for kStallMs.
    const int64_t now = clock_.NowMs();
    const bool watching = graph_.GetState() == GState::Playing && waits_ == 0 && !atEnd_ &&
                          state_ != State::Ended && !graph_.SeekPending();
    if (!watching || positionMs != watchPos_) {
        watchPos_ = positionMs;
        watchSince_ = now;
        return false;
    }
    if (now - watchSince_ < kStallMs)
        return false;
    watchSince_ = now;
    if (CutWhilePlaying())
        StopWithError(
            QCoreApplication::translate("Messages", "the file was cut short while playing"));
    else
        Recover(QCoreApplication::translate("Messages", "playback stopped making progress"), true);
    return true;
}

void SectionEngine::OutputLost(const QString& reason) {
    if (state_ == State::Idle || state_ == State::Ended)
        return;
    // Inside a wait the start under way goes on; the first tick after it
    // makes the graph afresh.
    if (waits_ > 0) {
        recoverAfterWait_ = reason;
        return;
    }
    Recover(reason, true);
}

void SectionEngine::Recover(const QString& reason, bool counted) {
    // Nobody stands at the computer during a practice: the graph is made
    // afresh where it stood and the routine goes on, without the controls
    // coming up. Only an output that keeps failing stops it.
    const int64_t now = clock_.NowMs();
    if (counted) {
        recoveredAt_.removeIf([now](int64_t t) { return now - t >= kRecoveryWindowMs; });
        if (recoveredAt_.size() >= kMaxRecoveries) {
            StopWithError(reason);
            return;
        }
        recoveredAt_.append(now);
        // The last recovery the window allows gives the system's output up:
        // the picture goes on, silent, until the output takes sound again.
        graph_.SetSilentOutput(recoveredAt_.size() >= kMaxRecoveries);
    } else {
        graph_.SetSilentOutput(false);
    }
    const GState st = graph_.GetState();
    const int64_t at =
        st == GState::Playing || st == GState::Paused ? CurrentPositionMs() : lastTickPos_;
    const bool paused = state_ == State::Paused;
    ++recoveries_;
    std::fprintf(stderr, "Tavrelo: recovered playback (%d) at %s, section %d: %s\n", recoveries_,
                 qPrintable(SecToTimeStr(int(at / 1000))), curRow_, qPrintable(reason));
    const int generation = generation_;
    {
        WaitScope scope(*this);
        target_ = curRow_;
        SetState(State::Opening);
        if (!OpenForSection())
            return;
        view_.ApplyZoom();
        view_.ApplyAudioChoice();
        graph_.SetRate(rate_);
        scope.Unmute();
        graph_.Seek(at);
        WaitSeekLanded();
        if (generation != generation_)
            return;
        if (!pending_) {
            if (paused) {
                SetState(State::Paused);
            } else {
                graph_.Play();
                atEnd_ = false;
                SetState(State::Playing);
            }
        }
    }
    NotifyRate();
    watchPos_ = -1;
    if (pending_) {
        const Target t = *pending_;
        pending_.reset();
        PlaySection(t.row, t.isRepeat);
        return;
    }
    ArmSectionEnd(CurrentPositionMs());
    if (options_.SectionLine) {
        view_.ShowSectionLine(SectionLineText() + QStringLiteral("  ") +
                              QCoreApplication::translate("Messages", "已恢复"));
        QTimer::singleShot(kRecoveredShownMs, this, [this, n = recoveries_] {
            if (n == recoveries_ && state_ != State::Idle)
                view_.ShowSectionLine(options_.SectionLine ? SectionLineText() : QString());
        });
    }
    emit Recovered(recoveries_, reason);
}

bool SectionEngine::LookForOutput() {
    // Playing into no output: each tick looks whether the system's output
    // takes sound again, and the graph is made afresh onto it when it does.
    if (!graph_.OutputSilent() || !graph_.OutputBack())
        return false;
    Recover(QStringLiteral("the sound output is back"), false);
    return true;
}

bool SectionEngine::CutWhilePlaying() const {
    // A file deleted while playing still plays from its open handle: only a
    // file that is still there and has become shorter counts.
    const QFileInfo fi(file_);
    return openedSize_ >= 0 && fi.exists() && fi.size() < openedSize_;
}

void SectionEngine::StopWithError(const QString& reason) {
    // Never a black full-screen window in front of hidden controls.
    ++generation_;
    recoverAfterWait_.clear();
    pending_.reset();
    clock_.StopTimer();
    graph_.Stop();
    SetState(State::Idle);
    view_.HideVideo();
    view_.ShowControls();
    lastError_ = QCoreApplication::translate("Messages", "Cannot play %1: %2")
                     .arg(QDir::toNativeSeparators(file_), reason);
    view_.ReportError(lastError_);
}

// --- Commands ----------------------------------------------------------------------

void SectionEngine::Play() {
    if (waits_ > 0)
        return; // a start is under way and plays when it is done
    const GState st = graph_.GetState();
    if (st == GState::Paused) {
        graph_.Play();
        SetState(State::Playing);
    } else if (st != GState::Playing && QFileInfo(file_).isFile()) {
        PlaySection(Exists(curRow_) ? curRow_ : 1, false);
    }
}

void SectionEngine::Pause() {
    if (waits_ > 0 || graph_.GetState() != GState::Playing)
        return;
    graph_.Pause();
    SetState(State::Paused);
}

void SectionEngine::PlayPause() {
    if (graph_.GetState() == GState::Playing && waits_ == 0)
        Pause();
    else
        Play();
}

void SectionEngine::Stop() {
    ++generation_; // a waiting start gives up
    recoverAfterWait_.clear();
    pending_.reset();
    clock_.StopTimer();
    const GState st = graph_.GetState();
    if (st == GState::Paused || st == GState::Playing)
        graph_.Stop();
    SetState(State::Idle);
}

int SectionEngine::StartBase() const {
    // Inside a wait, "next" and "previous" count from where the waiting
    // start is going.
    if (waits_ > 0)
        return pending_ ? pending_->row : target_;
    return curRow_;
}

void SectionEngine::PlayNext() {
    const int row = StartBase() + 1;
    if (!Exists(row) || !QFileInfo(file_).isFile())
        return;
    PlaySection(row, false);
}

void SectionEngine::PlayPrevious() {
    const int row = StartBase();
    if (!Exists(row))
        return;
    if (waits_ > 0) {
        PlaySection(Exists(row - 1) ? row - 1 : row, false);
        return;
    }
    const int64_t into = CurrentPositionMs() - schedule_.StartMs(row);
    if (into < kPreviousWithinMs && Exists(row - 1))
        PlaySection(row - 1, false);
    else
        RestartSection();
}

void SectionEngine::RestartSection() {
    const int row = StartBase();
    if (!Exists(row) || !QFileInfo(file_).isFile())
        return;
    const GState st = graph_.GetState();
    if (waits_ > 0 || (st != GState::Paused && st != GState::Playing)) {
        PlaySection(row, false);
        return;
    }
    // From its start again, without using up one of its repetitions; muted
    // until the seek has landed.
    const int generation = generation_;
    {
        WaitScope scope(*this);
        target_ = row;
        graph_.Seek(schedule_.StartMs(row));
        WaitSeekLanded();
        if (generation != generation_)
            return;
        if (!pending_) {
            graph_.Play();
            atEnd_ = false;
            SetState(State::Playing);
        }
    }
    if (pending_) {
        const Target t = *pending_;
        pending_.reset();
        PlaySection(t.row, t.isRepeat);
        return;
    }
    ArmSectionEnd(CurrentPositionMs());
    emit RepeatChanged(Repeat(), RepeatOf());
}

void SectionEngine::PlaySectionN(int n) {
    if (!Exists(n) || !QFileInfo(file_).isFile())
        return;
    PlaySection(n, false);
}

void SectionEngine::Skip(int seconds) {
    // From the position of the last tick, in whole seconds; both resume a
    // pause. Forward past the end of the media does nothing.
    const GState st = graph_.GetState();
    if (waits_ > 0 || (st != GState::Paused && st != GState::Playing) || seconds == 0)
        return;
    int64_t s = lastTickPos_ / 1000 + (seconds < 0 ? -10 : 10);
    if (seconds < 0)
        s = std::max<int64_t>(s, 0);
    else if (s * 1000 > lastTickDuration_)
        return;
    graph_.Seek(s * 1000);
    graph_.Play();
    atEnd_ = false;
    SetState(State::Playing);
}

void SectionEngine::SeekTo(int64_t ms) {
    const GState st = graph_.GetState();
    if (waits_ > 0 || (st != GState::Paused && st != GState::Playing))
        return;
    if (ms < 0 || ms > graph_.DurationMs())
        return;
    graph_.Seek(ms);
    atEnd_ = false;
}

void SectionEngine::ApplyRate(double rate) {
    graph_.SetRate(rate);
    NotifyRate();
}

int SectionEngine::MarkHere(const QString& scheduleFile) {
    return MarkAt(CurrentPositionMs(), scheduleFile);
}

int SectionEngine::MarkAt(int64_t ms, const QString& scheduleFile) {
    const GState st = graph_.GetState();
    if ((st != GState::Paused && st != GState::Playing) || !QFileInfo(file_).isFile())
        return 0;
    const int64_t pos = CurrentPositionMs();
    const QString time =
        SecToTimeStr(int(std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()) / 1000));
    const int32_t markMs = Schedule::TimePointMs(time);
    // Stored first: a refused write (EWriteRefused) leaves the table as it
    // was. Counts used up by playback are not the user's: the file keeps its
    // own.
    if (!scheduleFile.isEmpty())
        Schedule::StoreMarkedRow(scheduleFile, time);
    // After every row at or before the mark: rows of the same second keep
    // their order and the new one follows them.
    int at = 1;
    if (schedule_.HoldsSections())
        while (Exists(at) && schedule_.StartMs(at) <= markMs)
            ++at;
    schedule_.InsertRow(at, {QString(), QStringLiteral("1"), QStringLiteral("+"),
                             QStringLiteral("-"), time, QString()});
    at = std::min(at, schedule_.RowCount());

    const int cur = curRow_;
    if (Exists(cur) && at <= cur && schedule_.RowCount() > cur) {
        // The rows below moved down by one.
        SetCurRow(cur + 1);
        if (repeatRow_ == cur)
            repeatRow_ = cur + 1;
        emit SectionChanged(curRow_);
    } else if (Exists(cur) && at == cur + 1 && markMs <= pos) {
        // The current section now ends at the mark, which playback has
        // reached: it runs on into the new section, as at any section end
        // with no repeat left; the media is not touched.
        SetRemainCount(0);
        EnterRow(at);
    } else if (cur >= 1 && at > cur) {
        sectEndPos_ = Exists(cur + 1) ? schedule_.StartMs(cur + 1) : 0;
        ArmSectionEnd(CurrentPositionMs());
    }
    view_.SelectRow(at);
    return at;
}

// --- Properties ----------------------------------------------------------------------

void SectionEngine::RestoreVolume() {
    graph_.SetVolume(options_.Volume);
}

double SectionEngine::SectionRate(int steps) const {
    const QList<double>& rates = options_.Rates;
    const int chosen = options_.RateIndex;
    if (chosen < 0 || chosen >= rates.size())
        return 1.0;
    if (steps <= 0 || !options_.SpeedUp || rates[chosen] >= 1.0)
        return rates[chosen];
    // One list step faster for each repetition played, up to 1.00.
    const double faster = rates[std::min<int>(chosen + steps, int(rates.size()) - 1)];
    return std::min(faster, 1.0);
}

void SectionEngine::ApplySectionRate(int steps) {
    if (!options_.SpeedUp)
        return;
    const double rate = SectionRate(steps);
    if (std::abs(graph_.Rate() - rate) > 1e-6)
        ApplyRate(rate);
}

void SectionEngine::OnRowChanged(int row, int column) {
    if (entering_ || !Exists(row))
        return;
    const GState st = graph_.GetState();
    if (column == Schedule::ColCount && row == curRow_) {
        // The playing section plays as many more times as its count now says.
        SetRemainCount(StrToIntDef(schedule_.Count(row), 1));
        // A repeat added or taken away changes whether the end is held.
        if (st == GState::Paused || st == GState::Playing)
            ArmSectionEnd(CurrentPositionMs());
    } else if (column == Schedule::ColTime && row == curRow_ + 1 && st != GState::None) {
        // Moving the next section's start moves the playing section's end,
        // but only to a point after the playing section's own start.
        const int64_t newEnd = int64_t(TimeStrToSec(schedule_.TimeText(row))) * 1000;
        const int64_t curStart = int64_t(TimeStrToSec(schedule_.TimeText(curRow_))) * 1000;
        if (curStart < newEnd) {
            sectEndPos_ = int32_t(std::min<int64_t>(newEnd, std::numeric_limits<int32_t>::max()));
            if (st != GState::Stopped)
                ArmSectionEnd(CurrentPositionMs());
        }
    }
}

void SectionEngine::OnRowsRemoved(int first, int last) {
    // Rows taken out above the playing one move it up: the section playing
    // goes on and repeats as itself, not as the row that slid into its
    // place. (The playing row itself taken out: the row after it takes its
    // place, as before.)
    if (curRow_ < 1 || last >= curRow_ || first > last)
        return;
    const int n = last - first + 1;
    if (repeatRow_ == curRow_)
        repeatRow_ -= n;
    SetCurRow(curRow_ - n);
    emit SectionChanged(curRow_);
}

void SectionEngine::OnRowsSorted(const QList<int>& origins) {
    // A save put the rows in order of their times: the playing section and
    // its repeats follow their row to where it went.
    const int at = int(origins.indexOf(curRow_)) + 1;
    if (curRow_ < 1 || at < 1 || at == curRow_)
        return;
    if (repeatRow_ == curRow_)
        repeatRow_ = at;
    SetCurRow(at);
    emit SectionChanged(curRow_);
}

void SectionEngine::SetState(State s) {
    if (state_ == s)
        return;
    state_ = s;
    emit StateChanged(s);
}

void SectionEngine::SetCurRow(int row) {
    curRow_ = row;
}

void SectionEngine::SetRemainCount(int n) {
    if (remainCount_ == n)
        return;
    remainCount_ = n;
    emit RemainingChanged(n);
}

void SectionEngine::SetPosition(int64_t ms) {
    if (positionMs_ == ms)
        return;
    positionMs_ = ms;
    emit PositionChanged(ms);
}

void SectionEngine::NotifyRate() {
    const double r = graph_.Rate() > 0 ? graph_.Rate() : 1.0;
    if (std::abs(r - rate_) <= 1e-9)
        return;
    rate_ = r;
    emit RateChanged(r);
}
