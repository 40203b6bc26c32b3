#include "media/GraphPlayback.h"

#include "media/FilterGraph.h"
#include "media/MediaFramework.h"
#include "media/gst/GstAudioOutput.h"
#include "media/gst/GstNetClock.h"

#include <QCoreApplication>
#include <algorithm>

namespace {
constexpr long kMaxStreams = 20;
} // namespace

TGraphPlayback::TGraphPlayback(TFilterGraph& graph, QObject* parent)
    : PlaybackGraph(parent), graph_(&graph) {}

PlaybackGraph::OpenResult TGraphPlayback::Open(const QString& file) {
    graph_->Stop();
    graph_->EmptyGraph();
    graph_->SetActive(false);
    if (!graph_->Active())
        graph_->SetActive(true);
    const HRESULT hr = graph_->RenderFile(file);
    // E_ABORT: a handler run during the open started something newer
    // (another file, a stop); that newer state stays.
    if (hr == E_ABORT)
        return {OpenStatus::Superseded, {}};
    if (FAILED(hr))
        return {OpenStatus::Failed, Reason(hr)};
    return {OpenStatus::Opened, {}};
}

void TGraphPlayback::Play() {
    // Leading, every start is told to the followers before it is heard.
    if (leading_ && PlayAnnounced())
        return;
    graph_->Play();
    sought_ = false;
}

bool TGraphPlayback::PlayAnnounced() {
    // A seek still landing is waited for (the engine waits at most 200 ms
    // for a jump's): the run starts where it lands.
    constexpr int kLandMs = 2000;
    if (GetState() != State::Paused)
        return false;
    // A resume starts from a seek to where it paused, as a follower's start
    // does: what the output held at the pause is flushed, not heard first
    // (it came out some 100 ms after the followers' sound).
    if (!sought_) {
        if (const auto at = KnownPositionMs())
            Seek(*at);
    }
    if (SeekPending() && !graph_->WaitSeekDone(kLandMs))
        return false;
    const auto now = ClockNowNs();
    if (!now || GetState() != State::Paused)
        return false;
    if (!graph_->PlayAt(*now + int64_t(kStartAheadMs) * 1000000))
        return false;
    sought_ = false;
    return true;
}

void TGraphPlayback::Pause() {
    graph_->Pause();
}

void TGraphPlayback::Stop() {
    graph_->Stop();
}

PlaybackGraph::State TGraphPlayback::GetState() const {
    switch (graph_->State()) {
    case gsStopped:
        return State::Stopped;
    case gsPaused:
        return State::Paused;
    case gsPlaying:
        return State::Playing;
    default:
        return State::None;
    }
}

void TGraphPlayback::Seek(int64_t ms) {
    sought_ = true;
    const auto seeking = graph_->QueryInterface<IMediaSeeking>();
    if (!seeking)
        return;
    int64_t duration = 0;
    if (FAILED(seeking->GetDuration(&duration)))
        return;
    int64_t position = ms * 10000; // 100 ns units
    seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                          AM_SEEKING_NoPositioning);
}

bool TGraphPlayback::SeekPending() const {
    // The graph counts a change of state or a seek as under way until it
    // has prerolled where it was sent (and stops counting one that never
    // reports back).
    return !graph_->Settled();
}

int64_t TGraphPlayback::PositionMs() const {
    return KnownPositionMs().value_or(0);
}

std::optional<int64_t> TGraphPlayback::KnownPositionMs() const {
    const auto seeking = graph_->QueryInterface<IMediaSeeking>();
    int64_t position = 0; // 100 ns
    if (!seeking || FAILED(seeking->GetCurrentPosition(&position)))
        return std::nullopt;
    return std::max<int64_t>(0, position / 10000);
}

int64_t TGraphPlayback::DurationMs() const {
    return std::max(0, graph_->Duration());
}

double TGraphPlayback::Rate() const {
    double rate = 1.0;
    const auto seeking = graph_->QueryInterface<IMediaSeeking>();
    if (!seeking || FAILED(seeking->GetRate(&rate)) || !(rate > 0))
        return 1.0;
    return rate;
}

void TGraphPlayback::SetRate(double rate) {
    if (const auto seeking = graph_->QueryInterface<IMediaSeeking>())
        seeking->SetRate(rate);
}

void TGraphPlayback::SetVolume(int volume) {
    graph_->SetVolume(volume);
}

void TGraphPlayback::SetSoundEnd(int64_t ms) {
    graph_->SetSoundEnd(ms);
}

void TGraphPlayback::SetSilentOutput(bool silent) {
    SetSilentSystemOutput(silent);
}

bool TGraphPlayback::OutputSilent() const {
    const auto output = graph_->QueryInterface<IAudioOutputState>();
    return output && output->OutputSilent() == S_OK;
}

bool TGraphPlayback::OutputBack() {
    return LookAtSystemOutput() == 1;
}

void TGraphPlayback::GraphComplete(int32_t status) {
    if (status == VFW_E_NO_AUDIO_HARDWARE)
        emit OutputLost(Reason(status));
    else if (FAILED(status))
        emit Error(Reason(status));
    else
        emit EndOfMedia();
}

QString TGraphPlayback::Reason(int32_t status) const {
    QString reason = graph_->LastError();
    if (reason.isEmpty())
        reason = QStringLiteral("error 0x%1").arg(uint32_t(status), 8, 16, QLatin1Char('0'));
    return reason;
}

TGraphPlayback::AudioTracks TGraphPlayback::ChooseAudioTrack(int track) {
    AudioTracks t;
    const auto graph = graph_->QueryInterface<IFilterGraph>();
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    if (!graph || FAILED(graph->EnumFilters(&filters)))
        return t;
    t.Listed = true;
    bool first = false;
    for (const auto& filter : filters) {
        QString name;
        if (SUCCEEDED(filter->QueryFilterInfo(&name))) {
            name = name.left(128);
            if (Query<IFileSourceFilter>(filter)) {
                const int sep = std::max(name.lastIndexOf(QLatin1Char('/')),
                                         name.lastIndexOf(QLatin1Char('\\')));
                name = name.mid(sep + 1);
            }
            t.Filters << name;
        }
        const auto select = Query<IAMStreamSelect>(filter);
        if (!select)
            continue;
        long count = 0;
        if (FAILED(select->Count(&count)))
            continue;
        count = std::min(count, kMaxStreams);
        for (long i = 0; i < count; ++i) {
            QString stream;
            long flags = 0, group = 0;
            if (FAILED(select->Info(i, &stream, &flags, &group)) || !IsAudioStreamName(stream))
                continue;
            ++t.Count;
            if (track == 0 && !first) {
                first = true;
                select->Enable(i, AMSTREAMSELECTENABLE_ENABLEALL);
            } else if (t.Count == track) {
                if (SUCCEEDED(select->Enable(i, AMSTREAMSELECTENABLE_ENABLE)))
                    t.Selected = t.Count - 1;
            }
        }
    }
    return t;
}

void TGraphPlayback::SetDualMode(const QString& decoder, int channel) {
    const auto graph = graph_->QueryInterface<IGraphBuilder>();
    if (!graph || decoder.isEmpty())
        return;
    std::shared_ptr<IBaseFilter> filter;
    if (FAILED(graph->FindFilterByName(decoder, &filter)) || !filter)
        return;
    if (const auto d = Query<IMpegAudioDecoder>(filter))
        d->put_DualMode(channel);
}

// --- The shared clock -------------------------------------------------------------

bool TGraphPlayback::LeadClock(const QString& address, uint16_t* port, QString* error) {
    if (LeadNetClock(address.toUtf8().constData(), port)) {
        // A section playing moves to the published clock paused, and starts
        // again where it paused, announced like any start: never a switch of
        // clocks under a running output.
        const bool playing = GetState() == State::Playing;
        if (playing)
            graph_->Pause();
        AdoptSharedClock();
        leading_ = true;
        if (playing && !PlayAnnounced())
            graph_->Play();
        return true;
    }
    if (error)
        *error = QCoreApplication::translate("Messages", "the clock's port %1 cannot be bound")
                     .arg(port ? *port : 0);
    return false;
}

void TGraphPlayback::FollowClock(const QString& address, uint16_t port) {
    leading_ = false;
    FollowNetClock(address.toUtf8().constData(), port);
    AdoptSharedClock();
}

void TGraphPlayback::ClockAlone() {
    leading_ = false;
    StopNetClock();
    AdoptSharedClock();
}

void TGraphPlayback::AdoptSharedClock() {
    if (const auto sync = graph_->QueryInterface<ISyncPlay>())
        sync->AdoptSharedClock();
}

std::optional<int64_t> TGraphPlayback::ClockNowNs() const {
    if (!NetClockSynced())
        return std::nullopt;
    GstClock* clock = NetClockRef();
    if (!clock)
        return std::nullopt;
    const int64_t now = int64_t(gst_clock_get_time(clock));
    gst_object_unref(clock);
    return now;
}

std::optional<SyncGraph::Mapping> TGraphPlayback::ClockMapping() const {
    const auto sync = graph_->QueryInterface<ISyncPlay>();
    Mapping m;
    if (!sync || FAILED(sync->GetClockMapping(&m.clockNs, &m.positionNs)))
        return std::nullopt;
    return m;
}

bool TGraphPlayback::PlayAt(int64_t clockNs) {
    sought_ = false;
    return graph_->PlayAt(clockNs);
}
