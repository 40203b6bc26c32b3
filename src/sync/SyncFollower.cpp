#include "sync/SyncFollower.h"

#include "engine/EngineClock.h"
#include "engine/PlaybackGraph.h"
#include "engine/SyncGraph.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
using GState = PlaybackGraph::State;
// Files of one folder looked at for the media, at most.
constexpr int kMaxFilesPerFolder = 5000;
// A seek waited for at most this long (ms).
constexpr int kSeekLandMs = 5000;
// A run starts only when the seek landed this long (ns) before its time.
constexpr int64_t kLandAheadNs = 20000000;
} // namespace

SyncFollower::SyncFollower(PlaybackGraph& graph, SyncGraph& sync, EngineView& view,
                           EngineClock& clock, QObject* parent)
    : QObject(parent), graph_(graph), sync_(sync), view_(view), clock_(clock) {
    connect(&graph_, &PlaybackGraph::EndOfMedia, this, &SyncFollower::OnEndOfMedia);
    connect(&graph_, &PlaybackGraph::Error, this, &SyncFollower::OnError);
    connect(&graph_, &PlaybackGraph::OutputLost, this, &SyncFollower::OnOutputLost);
}

void SyncFollower::SetOptions(const Options& options) {
    const bool moved = options.LatencyOffsetMs != options_.LatencyOffsetMs;
    options_ = options;
    options_.LatencyOffsetMs = std::clamp(options_.LatencyOffsetMs, -kMaxLatencyMs, kMaxLatencyMs);
    if (aligned_ && graph_.GetState() == GState::Playing)
        graph_.SetVolume(options_.Volume);
    // A new offset puts a playing follower on its new line at once.
    if (moved && latest_ && !lost_ && !left_)
        Apply(*latest_);
}

int64_t SyncFollower::OffsetNs() const {
    return int64_t(options_.LatencyOffsetMs) * 1000000;
}

void SyncFollower::SetStatus(Status s) {
    if (status_ == s)
        return;
    status_ = s;
    emit StatusChanged(s);
}

QString SyncFollower::FindMedia(const SyncFileId& id, const QStringList& folders) {
    if (!id.Valid())
        return {};
    auto matches = [&id](const QFileInfo& fi) {
        return fi.isFile() && fi.size() == id.Size && SyncFileId::Of(fi.filePath()).SameMedia(id);
    };
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QDir dir(folder);
        if (!id.Name.isEmpty() && matches(QFileInfo(dir.filePath(id.Name))))
            return dir.filePath(id.Name);
    }
    // Renamed copies: only files of the very size are read.
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Readable);
        int seen = 0;
        for (const QFileInfo& fi : files) {
            if (++seen > kMaxFilesPerFolder)
                break;
            if (fi.fileName() != id.Name && matches(fi))
                return fi.filePath();
        }
    }
    return {};
}

void SyncFollower::Apply(const SyncState& state) {
    latest_ = state;
    lost_ = false;
    left_ = false;
    if (busy_) {
        again_ = true; // the state being applied gives up; this one follows
        return;
    }
    busy_ = true;
    do {
        again_ = false;
        Reconcile(*latest_);
    } while (again_ && !left_);
    busy_ = false;
}

void SyncFollower::Reconcile(const SyncState& s) {
    if (s.PlayState == SyncState::Play::Ended) {
        if (ended_)
            return;
        ended_ = true;
        Hold(false, 0);
        SetStatus(Status::LeaderEnded);
        // Never the leader's end: this player's own. A loop waits for the
        // leader to start again.
        if (options_.End != EndMode::Loop)
            view_.EndProgram(options_.End);
        return;
    }
    ended_ = false;
    if (s.ClockPort != 0 && (s.ClockPort != clockPort_ || address_ != clockAddress_)) {
        // Pipelines take their clock when they are made: the media is
        // opened again on the new one.
        sync_.FollowClock(address_, s.ClockPort);
        clockPort_ = s.ClockPort;
        clockAddress_ = address_;
        openedId_ = {};
    }
    if (s.File.Valid() && !openedId_.SameMedia(s.File) && !OpenMedia(s))
        return;
    if (Superseded())
        return;
    if (s.Section != shownSection_) {
        shownSection_ = s.Section;
        if (s.Section > 0)
            view_.SelectRow(s.Section);
    }
    const QString line = options_.SectionLine ? s.Line : QString();
    if (line != shownLine_)
        view_.ShowSectionLine(shownLine_ = line);

    switch (s.PlayState) {
    case SyncState::Play::Run:
        if (!InStep(s))
            Align(s);
        if (Superseded() || !aligned_)
            return;
        view_.ShowNotice(false);
        view_.ShowCountdown(0);
        SetStatus(Status::Following);
        return;
    case SyncState::Play::Hold:
        Hold(s.Notice, s.Countdown);
        SetStatus(Status::Following);
        return;
    default:
        Hold(false, 0);
        SetStatus(Status::Following);
        return;
    }
}

bool SyncFollower::OpenMedia(const SyncState& s) {
    const QString path = FindMedia(s.File, options_.Folders);
    if (path.isEmpty()) {
        Hold(false, 0);
        needed_ = s.File;
        SetStatus(Status::MissingMedia);
        view_.ShowControls();
        return false;
    }
    needed_ = {};
    aligned_.reset();
    graph_.SetVolume(0);
    view_.ShowVideo();
    const PlaybackGraph::OpenResult r = graph_.Open(path);
    if (r.status == PlaybackGraph::OpenStatus::Superseded)
        return false;
    if (r.status == PlaybackGraph::OpenStatus::Failed) {
        openedId_ = {};
        SetStatus(Status::Failed);
        view_.ReportError(r.reason.isEmpty() ? path : path + QStringLiteral(": ") + r.reason);
        return false;
    }
    openedId_ = s.File;
    openedPath_ = path;
    shownSection_ = -1;
    graph_.Pause();
    // The window reads the file's own choices (zoom, track, channel) first.
    emit MediaOpened(path);
    view_.ApplyZoom();
    view_.ApplyAudioChoice();
    return !Superseded();
}

bool SyncFollower::InStep(const SyncState& s) const {
    if (!aligned_ || graph_.GetState() != GState::Playing ||
        std::abs(aligned_->Rate - s.Rate) > 1e-9)
        return false;
    // Where this player really is, when the graph can tell; otherwise where
    // it was put.
    if (const auto own = sync_.ClockMapping())
        return std::llabs(own->positionNs - s.PositionAt(own->clockNs - OffsetNs())) < kOffLineNs;
    return std::llabs(aligned_->PositionAt(s.ClockNs) - s.PositionNs) < kOffLineNs;
}

void SyncFollower::Align(const SyncState& s) {
    // Muted and paused, the rate set, then a seek to where the leader will
    // be heard, to the millisecond; the run starts at the very clock time
    // the leader is heard there. A start the leader announced ahead is met
    // at its own time; a run already heard is joined a margin from now. A
    // seek that lands too late is made again with a wider margin.
    aligned_.reset();
    if (!sync_.ClockNowNs()) {
        Hold(false, 0);
        SetStatus(Status::Connecting);
        clock_.StartTimer(kRetryMs, [this] {
            if (latest_ && !busy_ && !lost_ && !left_)
                Apply(*latest_);
        });
        return;
    }
    // A start the leader announced: its time still ahead on its own line.
    const bool announcedStart = s.ClockNs > *sync_.ClockNowNs();
    bool meetStart = announcedStart;
    for (;;) {
        graph_.SetVolume(0);
        if (graph_.GetState() == GState::Playing)
            graph_.Pause();
        if (Superseded())
            return;
        // Paused, nothing reaches the output, and the seek flushes what was
        // decoded before it: the sound comes back before the seek, so that
        // the buffer it prerolls is made at the chosen volume (made muted,
        // it cut the first ~28 ms of every start, heard through the server).
        // A pause the graph refused keeps it muted until the run.
        if (graph_.GetState() == GState::Paused)
            graph_.SetVolume(options_.Volume);
        if (std::abs(graph_.Rate() - s.Rate) > 1e-9)
            graph_.SetRate(s.Rate);
        const auto now = sync_.ClockNowNs();
        if (!now)
            return;
        // This screen's own offset moves its whole line on the clock.
        const int64_t startNs = s.ClockNs + OffsetNs();
        const bool announced = meetStart && startNs > *now;
        meetStart = announced;
        const int64_t targetNs =
            announced ? s.PositionNs
                      : s.PositionAt(*now + int64_t(marginMs_) * 1000000 - OffsetNs());
        const int64_t targetMs = std::max<int64_t>(0, (targetNs + 999999) / 1000000);
        const int64_t at = startNs + int64_t(double(targetMs * 1000000 - s.PositionNs) / s.Rate);
        graph_.Seek(targetMs);
        const int64_t start = clock_.NowMs();
        while (graph_.SeekPending() && clock_.NowMs() - start < kSeekLandMs && !Superseded())
            clock_.Wait(10);
        // The leader gone meanwhile: held (Lost), not started on its word.
        if (Superseded() || lost_)
            return;
        const int64_t tookMs = clock_.NowMs() - start;
        const auto landed = sync_.ClockNowNs();
        if (landed && *landed + kLandAheadNs < at) {
            graph_.SetVolume(options_.Volume);
            if (sync_.PlayAt(at)) {
                aligned_ = s;
                // A start missed (its seek too slow) is said on the panel
                // until one is met.
                if (announcedStart)
                    missedStart_ = !announced;
                view_.ShowVideo();
            }
            // The margin follows what seeks take here: back towards its
            // least once they are quick again.
            marginMs_ = std::clamp(std::max<int>(kMarginMs, int(tookMs) * 2 + 100), kMarginMs,
                                   std::max(kMarginMs, marginMs_));
            return;
        }
        if (announced) {
            meetStart = false; // joined by the margin instead
            continue;
        }
        if (marginMs_ >= kMaxMarginMs)
            return;
        marginMs_ = std::min(kMaxMarginMs, std::max(marginMs_ * 2, int(tookMs) * 2 + 100));
    }
}

void SyncFollower::Hold(bool notice, int countdown) {
    aligned_.reset();
    if (graph_.GetState() == GState::Playing) {
        graph_.SetVolume(0);
        graph_.Pause();
    }
    clock_.StopTimer();
    view_.ShowNotice(notice);
    view_.ShowCountdown(notice ? countdown : 0);
}

void SyncFollower::Lost() {
    if (lost_ || left_)
        return;
    lost_ = true;
    SetStatus(Status::LeaderLost);
    view_.ShowControls();
    if (!latest_ || latest_->PlayState != SyncState::Play::Run || !aligned_ ||
        graph_.GetState() != GState::Playing) {
        Hold(false, 0);
        return;
    }
    // Plays on to the end of the section playing; the last one runs to the
    // end of the media. The sound stops there to the sample.
    if (latest_->SectionEndMs > 0)
        graph_.SetSoundEnd(latest_->SectionEndMs);
    PlayOutSection();
}

void SyncFollower::PlayOutSection() {
    if (!lost_ || graph_.GetState() != GState::Playing || !latest_)
        return;
    const int64_t end = latest_->SectionEndMs;
    if (end <= 0)
        return; // the end of the media holds (OnEndOfMedia)
    const int64_t left = end - graph_.PositionMs();
    const double rate = graph_.Rate() > 0 ? graph_.Rate() : 1.0;
    if (left <= 1) {
        Hold(false, 0);
        return;
    }
    clock_.StartTimer(int(std::min<double>(double(left) / rate, 500.0)),
                      [this] { PlayOutSection(); });
}

void SyncFollower::OnEndOfMedia() {
    // Following, the leader says what comes next; alone, it holds there.
    if (lost_ || ended_)
        Hold(false, 0);
}

void SyncFollower::OnError(const QString& reason) {
    aligned_.reset();
    openedId_ = {};
    SetStatus(Status::Failed);
    view_.ReportError(openedPath_.isEmpty() ? reason : openedPath_ + QStringLiteral(": ") + reason);
}

void SyncFollower::OnOutputLost(const QString& reason) {
    // The sound output went away, not the media: the leader's next word
    // opens it afresh (on an output that takes sound, or none) and joins.
    std::fprintf(stderr, "Tavrelo: joining the leader again after: %s\n", qPrintable(reason));
    aligned_.reset();
    openedId_ = {};
}

void SyncFollower::Leave() {
    left_ = true;
    lost_ = false;
    latest_.reset();
    clock_.StopTimer();
    if (graph_.GetState() == GState::Playing) {
        graph_.SetVolume(0);
        graph_.Pause();
    }
    graph_.SetVolume(options_.Volume);
    view_.ShowNotice(false);
    view_.ShowCountdown(0);
    sync_.ClockAlone();
    clockPort_ = 0;
    openedId_ = {};
    aligned_.reset();
    SetStatus(Status::Idle);
}
