// The graph manager of our layer over GStreamer: one playbin3 pipeline per
// rendered file. Internal to src/media/gst/.
//
// States. Stopped is READY (or a freshly rendered pipeline kept prerolled in
// PAUSED, so that the first run starts at once and the position and duration
// can be read as soon as Run returns); Paused is PAUSED; Running is PLAYING.
// State answers what was asked for last, which during a transition is the
// state being entered.
//
// Times. GStreamer counts nanoseconds; this layer's interfaces count 100 ns.
//
// Notifications. A bus sync handler sees every message on the thread that
// posts it, turns the ones the program cares for into events in a queue and
// posts one QEvent per event to the notification target; GetEvent, on the
// user-interface thread, takes them from the queue. Nothing waits on a GLib
// main loop, so a drain nested in a waiting handler still gets its events.
//
// Opening. Rendering a file (and running or pausing a stopped graph) waits
// for the pipeline to preroll while handling the thread's events, as the
// program's millisecond waits do, so the window keeps answering. Handlers
// run inside that wait may stop the graph, render another file or drop the
// graph: each pipeline built or torn down counts a generation, and a wait
// whose pipeline is no longer the current one gives up (E_ABORT) without
// touching the newer one. Running or pausing a stopped graph from inside
// such a wait is refused (VFW_E_WRONG_STATE).
#pragma once

#include "media/gst/GstFilters.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class TGstGraph : public IGraphBuilder,
                  public IMediaControl,
                  public IMediaSeeking,
                  public IBasicAudio,
                  public IMediaEventEx,
                  public ISoundEnd,
                  public ISyncPlay,
                  public IAudioOutputState,
                  public std::enable_shared_from_this<TGstGraph> {
public:
    TGstGraph();
    ~TGstGraph() override;

    // IFilterGraph
    HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const QString& name) override;
    HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) override;
    HRESULT EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* filters) override;
    HRESULT FindFilterByName(const QString& name, std::shared_ptr<IBaseFilter>* filter) override;
    // IGraphBuilder
    HRESULT RenderFile(const QString& path) override;
    HRESULT SetLogFile(const QString& path) override;
    QString LastErrorText() override;
    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(long timeoutMs, FILTER_STATE* state) override;
    // IMediaSeeking
    HRESULT GetDuration(int64_t* duration) override;
    HRESULT GetCurrentPosition(int64_t* position) override;
    HRESULT GetStopPosition(int64_t* stop) override;
    HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop,
                         uint32_t stopFlags) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    // IBasicAudio
    HRESULT put_Volume(long volume) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Balance(long balance) override;
    HRESULT get_Balance(long* balance) override;
    // IMediaEventEx
    HRESULT SetNotifyWindow(QObject* target, int eventType) override;
    HRESULT SetNotifyFlags(long flags) override;
    HRESULT GetEvent(long* code, intptr_t* param1, intptr_t* param2, long timeoutMs) override;
    HRESULT FreeEventParams(long code, intptr_t param1, intptr_t param2) override;
    // ISoundEnd
    HRESULT SetSoundEnd(int64_t end) override;
    // ISyncPlay
    HRESULT ClockTime(int64_t* ns) override;
    HRESULT GetClockMapping(int64_t* clockNs, int64_t* positionNs) override;
    HRESULT RunAt(int64_t clockNs) override;
    HRESULT AdoptSharedClock() override;
    // IAudioOutputState
    HRESULT OutputSilent() override;

    // Stream selection (offered through the stream-selecting filter).
    HRESULT StreamCount(long* streams);
    HRESULT StreamInfo(long index, QString* name, long* flags, long* group);
    HRESULT StreamEnable(long index, long flags);

private:
    enum class TEventKind { Public, ClockLost };
    struct TEvent {
        TEventKind Kind;
        long Code;
        intptr_t Param1, Param2;
    };

    static GstBusSyncReply BusSyncHandler(GstBus* bus, GstMessage* message, gpointer self);
    void HandleMessage(GstMessage* message);
    // Under FLock.
    void QueueEventLocked(TEventKind kind, long code, intptr_t p1, intptr_t p2);

    enum class TPreroll { Done, Failed, Stalled, Superseded };
    // To PAUSED and prerolled, handling events meanwhile, unless `limit`
    // passes without progress; otherwise FLastError says why (Stalled: no
    // error, no progress for `limit`;
    // Superseded: a handler replaced or tore down the pipeline).
    TPreroll Preroll(HRESULT* hr, std::chrono::milliseconds limit);
    // Prerolls the current pipeline (built here first when there is none);
    // a start that stalls is built and prerolled once more.
    HRESULT Open();
    HRESULT Build();
    // Prerolls a stopped (READY) pipeline, opening it afresh if it stalls.
    HRESULT PrerollFromStop();
    // A preroll of the current pipeline is being waited for further out.
    bool PrerollUnderWay() const;
    // Playbin can deadlock when its state goes down while it is still
    // finding the file's type: a pipeline whose preroll is being waited for
    // is let settle (up to that wait's deadline, without handling events)
    // before it is stopped or torn down from a handler run inside the wait.
    void SettlePreroll();
    // Handles the thread's events for up to `wait` (blocks in GStreamer's
    // own wait when the thread has no event loop).
    void WaitHandlingEvents(std::chrono::milliseconds wait);
    // Issues the seek remembered while stopped, and a rate other than 1.
    void ApplyPendingSeek();
    HRESULT Seek(int64_t position, bool setStop, int64_t stop);
    void TearDown();
    // Under FLock: the next clock chosen starts a run.
    void ForgetRunClockLocked();
    void ApplyVolume();
    // After RunAt the pipeline keeps the base time it was given; a pause,
    // a seek or a run of our own takes its own running time back.
    void OwnRunningTime();
    GstState CurrentGstState(GstState* pending = nullptr) const;

    std::vector<std::shared_ptr<TGstMemberFilter>> FMembers;
    GstElement* FPipeline = nullptr;
    // Where the sound stops (ns of media time, negative: nowhere), read by
    // the audio renderer of every pipeline on its streaming thread.
    const std::shared_ptr<std::atomic<int64_t>> FSoundEnd =
        std::make_shared<std::atomic<int64_t>>(-1);
    // The audio renderer's volume element (a reference), or null.
    TGstObjectPtr<GstElement> FVolumeElement;
    // The audio renderer's output (a reference), or null. Its errors are
    // the output's, not the media's.
    TGstObjectPtr<GstElement> FOutputElement;
    // Counts pipelines built and torn down (see Opening above).
    uint64_t FGeneration = 0;
    // The generation whose preroll is being waited for, or 0.
    uint64_t FPrerollGeneration = 0;
    std::chrono::steady_clock::time_point FPrerollDeadline;
    // Counts the pipeline's messages (posted from any thread): an open that
    // is moving on.
    std::atomic<uint64_t> FProgress{0};
    FILTER_STATE FState = State_Stopped;
    double FRate = 1.0;
    long FVolume = 0;
    long FBalance = 0;
    QString FLogFile;
    QString FPath;
    // Where a stopped graph will start (100 ns), or -1.
    int64_t FPendingPosition = -1;
    // The stop position set through SetPositions (100 ns), or -1.
    int64_t FStopPosition = -1;
    int64_t FLastPosition = 0;
    int64_t FLastDuration = -1;

    // Shared with the bus handler's threads.
    mutable std::mutex FLock;
    // The video renderer of the current pipeline, which takes the tags the
    // pipeline announces (for a cover), or null.
    std::shared_ptr<TGstMemberFilter> FTagTaker;
    std::deque<TEvent> FEvents;
    QObject* FNotifyTarget = nullptr;
    int FNotifyType = 0;
    bool FNotifyOn = true;
    // The pipeline rendered the file (errors after this are playback errors).
    bool FRendered = false;
    bool FPrerolling = false;
    bool FPrerollFailed = false;
    HRESULT FErrorCode = S_OK;
    QString FLastError;
    bool FCompleteSent = false;
    // The clock chosen since the graph last started from stopped (a
    // reference), or null: choosing it is no change, choosing another is.
    TGstObjectPtr<GstClock> FRunClock;
    bool FSeekPending = false;
    // The pipeline runs on a base time set by RunAt.
    bool FRunAt = false;
    // RunAt's clock time: until then the run is announced, not yet heard.
    int64_t FRunAtClock = -1;
    int64_t FSeekTarget = 0;
    std::chrono::steady_clock::time_point FSeekTime;
    TGstObjectPtr<GstStreamCollection> FCollection;
    std::vector<std::string> FSelected;
};
