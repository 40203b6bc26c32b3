#include "sync/SyncLeader.h"

#include "engine/SectionEngine.h"
#include "engine/SyncGraph.h"

#include <QFileInfo>

#include <cmath>

namespace {
// The same state as far as a follower is concerned: everything but the
// sequence number, and a run's mapping compared as the line it describes.
bool SameState(const SyncState& a, const SyncState& b) {
    const bool sameRun = a.PlayState != SyncState::Play::Run ||
                         (std::abs(a.Rate - b.Rate) < 1e-9 &&
                          std::llabs(a.PositionAt(b.ClockNs) - b.PositionNs) < 100000);
    return a.PlayState == b.PlayState && a.File.SameMedia(b.File) && a.Section == b.Section &&
           a.Repeat == b.Repeat && a.Of == b.Of && a.SectionEndMs == b.SectionEndMs &&
           a.Line == b.Line && a.Notice == b.Notice && a.Countdown == b.Countdown &&
           a.End == b.End && a.ClockPort == b.ClockPort && sameRun;
}
} // namespace

SyncLeader::SyncLeader(SectionEngine& engine, SyncGraph& graph, QObject* parent)
    : QObject(parent), engine_(engine), graph_(graph) {
    heartbeat_.setInterval(kHeartbeatMs);
    connect(&heartbeat_, &QTimer::timeout, this, [this] { Update(true); });
    heartbeat_.start();
    settle_.setInterval(kSettlePollMs);
    connect(&settle_, &QTimer::timeout, this, [this] { Update(false); });
    connect(&engine_, &SectionEngine::StateChanged, this, &SyncLeader::OnState);
    connect(&engine_, &SectionEngine::SectionChanged, this, [this] { Update(false); });
    connect(&engine_, &SectionEngine::RepeatChanged, this, [this] { Update(false); });
    connect(&engine_, &SectionEngine::RateChanged, this, [this] { Update(false); });
    // A seek the user asked for (a skip, a click on the timeline) moves the
    // position without another signal: the tick's position shows it.
    connect(&engine_, &SectionEngine::PositionChanged, this, [this] { Update(false); });
}

void SyncLeader::OnState() {
    if (engine_.GetState() == SectionEngine::State::RepeatGap)
        gap_.start();
    Update(false);
}

std::optional<SyncState> SyncLeader::Current() {
    SyncState s;
    s.ClockPort = clockPort_;
    s.End = engine_.GetOptions().End;
    const QString file = engine_.File();
    const int64_t size = QFileInfo(file).size();
    if (file != idFile_ || size != idSize_) {
        idFile_ = file;
        idSize_ = size;
        id_ = file.isEmpty() ? SyncFileId{} : SyncFileId::Of(file);
    }
    s.File = id_;
    s.Section = engine_.CurRow();
    s.Repeat = engine_.Repeat();
    s.Of = engine_.RepeatOf();
    s.SectionEndMs = engine_.SectEndPos();
    s.Line = engine_.SectionLineText().left(SyncMessage::kMaxLineChars);
    s.Rate = engine_.Rate() > 0 ? engine_.Rate() : 1.0;
    using S = SectionEngine::State;
    switch (engine_.GetState()) {
    case S::Idle:
        s.PlayState = SyncState::Play::Idle;
        break;
    case S::Ended:
        s.PlayState = SyncState::Play::Ended;
        break;
    case S::Playing: {
        const auto m = graph_.ClockMapping();
        if (!m)
            return std::nullopt;
        s.PlayState = SyncState::Play::Run;
        s.ClockNs = m->clockNs;
        s.PositionNs = m->positionNs;
        break;
    }
    case S::RepeatGap: {
        s.PlayState = SyncState::Play::Hold;
        const SectionEngine::Options& o = engine_.GetOptions();
        s.Notice = o.ReplayNotice;
        const int64_t left = o.RepeatPauseMs - (gap_.isValid() ? gap_.elapsed() : 0);
        if (o.ReplayNotice && o.RepeatPauseMs >= 2000 && left > 0)
            s.Countdown = int((left + 999) / 1000);
        break;
    }
    default:
        s.PlayState = SyncState::Play::Hold;
        break;
    }
    if (!s.File.Valid() && s.PlayState != SyncState::Play::Ended)
        s.PlayState = SyncState::Play::Idle;
    return s;
}

void SyncLeader::Update(bool always) {
    const std::optional<SyncState> s = Current();
    // A run not yet on the clock, or a countdown going, is looked at again soon.
    const bool counting = engine_.GetState() == SectionEngine::State::RepeatGap;
    if (!s || counting) {
        if (!settle_.isActive())
            settle_.start();
    } else {
        settle_.stop();
    }
    if (!s || (!always && lastState_ && SameState(*lastState_, *s)))
        return;
    SyncState numbered = *s;
    numbered.Seq = ++seq_;
    lastState_ = numbered;
    last_ = SyncMessage::Encode(numbered);
    emit Publish(last_);
}
