// The graph manager of our layer over GStreamer (see GstGraphManager.h).
#include "media/gst/GstGraphManager.h"

#include "media/LoaderPages.h"
#include "media/gst/GstNetClock.h"

#include <gst/audio/streamvolume.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>

GST_DEBUG_CATEGORY_STATIC(tavrelo_debug);
#define GST_CAT_DEFAULT tavrelo_debug

namespace {

// playbin3's "flags" bits.
constexpr int PlayFlagVideo = 0x1;
constexpr int PlayFlagAudio = 0x2;
// The video renderer converts and scales itself, once, to the size shown:
// no converter of playbin's in front of it.
constexpr int PlayFlagNativeVideo = 0x40;

// An open is never cut while it makes progress (the pipeline posts a
// message: an element added, a type found, a stream chosen, a state
// reached), however long it takes on a busy machine. A first start without
// any progress for this long is taken for stuck and made again (one step of
// an open takes milliseconds even on a loaded machine)...
constexpr auto PrerollStallLimit = std::chrono::milliseconds(3000);
// ... and the start made again, without progress for this long, is reported
// as not opening. The window keeps answering meanwhile.
constexpr auto OpenStallLimit = std::chrono::milliseconds(6000);
// Starts made in all before a file is reported as not opening.
constexpr int OpenAttempts = 3;
// How often a wait for the pipeline looks at it between handling events.
constexpr auto PrerollPoll = std::chrono::milliseconds(5);
// How long a pause of a running graph is waited for (the sinks hold data
// already; it completes within a frame).
constexpr auto PauseWait = std::chrono::milliseconds(200);
// A seek whose completion is never reported stops counting as pending.
constexpr auto SeekPendingLimit = std::chrono::seconds(2);

HRESULT StatusOfError(const GError* error) {
    if (!error)
        return E_FAIL;
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
            return E_FILE_NOT_FOUND;
        default:
            return E_FAIL;
        }
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
            return VFW_E_UNKNOWN_FILE_TYPE;
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_NOT_IMPLEMENTED:
            return VFW_E_UNSUPPORTED_STREAM;
        default:
            return VFW_E_INVALID_FILE_FORMAT;
        }
    }
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return VFW_E_UNSUPPORTED_STREAM;
    return E_FAIL;
}

// 100 ns <-> GStreamer's nanoseconds.
inline gint64 ToGst(int64_t t) {
    return t * 100;
}
inline int64_t FromGst(gint64 t) {
    return t / 100;
}

std::weak_ptr<TGstGraph> WeakOf(TGstGraph* graph) {
    return graph ? graph->weak_from_this() : std::weak_ptr<TGstGraph>();
}

// The element that reads the file: named by the file's path.
class TGstSourceFilter : public TGstRenderedFilter, public IFileSourceFilter {
public:
    TGstSourceFilter(TGstGraph* graph, GstElement* element)
        : TGstRenderedFilter(WeakOf(graph), element) {
        SetGraphName(CurFile());
    }
    HRESULT GetCurFile(QString* path) override {
        if (!path)
            return E_POINTER;
        *path = CurFile();
        return S_OK;
    }

private:
    QString CurFile() const {
        g_autofree gchar* location = nullptr;
        g_object_get(Element(), "location", &location, nullptr);
        return QString::fromLocal8Bit(location ? location : "");
    }
};

// The element that chooses among the file's streams.
class TGstStreamSelectFilter : public TGstRenderedFilter, public IAMStreamSelect {
public:
    TGstStreamSelectFilter(TGstGraph* graph, GstElement* element)
        : TGstRenderedFilter(WeakOf(graph), element), graph_(WeakOf(graph)) {}
    HRESULT Count(long* streams) override {
        auto graph = graph_.lock();
        return graph ? graph->StreamCount(streams) : E_FAIL;
    }
    HRESULT Info(long index, QString* name, long* flags, long* group) override {
        auto graph = graph_.lock();
        return graph ? graph->StreamInfo(index, name, flags, group) : E_FAIL;
    }
    HRESULT Enable(long index, long flags) override {
        auto graph = graph_.lock();
        return graph ? graph->StreamEnable(index, flags) : E_FAIL;
    }

private:
    std::weak_ptr<TGstGraph> graph_;
};

// " <title or language>" of an audio stream, or nothing. Titles that only
// say "Audio" (as muxers write by default) add nothing to the number.
QString StreamTitle(GstStream* stream) {
    g_autoptr(GstTagList) tags = gst_stream_get_tags(stream);
    if (!tags)
        return {};
    for (const char* tag : {GST_TAG_TITLE, GST_TAG_LANGUAGE_NAME, GST_TAG_LANGUAGE_CODE}) {
        g_autofree gchar* s = nullptr;
        if (gst_tag_list_get_string(tags, tag, &s) && s) {
            const QString text = QString::fromUtf8(s).trimmed();
            static const QRegularExpression generic(QStringLiteral("^(audio|sound)( *\\d+)?$"),
                                                    QRegularExpression::CaseInsensitiveOption);
            if (!text.isEmpty() && !generic.match(text).hasMatch())
                return QStringLiteral(" ") + text;
        }
    }
    return {};
}

bool IsOrIsInside(GstElement* element, GstElement* ancestor) {
    return element == ancestor ||
           gst_object_has_as_ancestor(GST_OBJECT(element), GST_OBJECT(ancestor));
}

} // namespace

std::shared_ptr<IGraphBuilder> CreateFilterGraphManager() {
    EnsureGstInit();
    static std::once_flag once;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(tavrelo_debug, "tavrelo", 0, "Tavrelo's media graph");
    });
    return std::make_shared<TGstGraph>();
}

TGstGraph::TGstGraph() = default;

TGstGraph::~TGstGraph() {
    TearDown();
    for (auto& m : FMembers)
        m->LeaveGraph();
}

// --- Filters --------------------------------------------------------------------------

HRESULT TGstGraph::AddFilter(const std::shared_ptr<IBaseFilter>& filter, const QString& name) {
    auto member = std::dynamic_pointer_cast<TGstMemberFilter>(filter);
    if (!member)
        return E_INVALIDARG;
    if (std::find(FMembers.begin(), FMembers.end(), member) != FMembers.end())
        return E_INVALIDARG;
    member->SetGraphName(name);
    member->JoinGraph(shared_from_this());
    FMembers.push_back(member);
    return S_OK;
}

HRESULT TGstGraph::RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) {
    if (auto member = std::dynamic_pointer_cast<TGstMemberFilter>(filter)) {
        auto it = std::find(FMembers.begin(), FMembers.end(), member);
        if (it == FMembers.end())
            return E_INVALIDARG;
        // The rendered chain ends in this filter: it goes with it.
        if (TGstObjectPtr<GstElement>(member->CurrentElement()))
            TearDown();
        member->LeaveGraph();
        FMembers.erase(std::find(FMembers.begin(), FMembers.end(), member));
        return S_OK;
    }
    if (auto rendered = std::dynamic_pointer_cast<TGstRenderedFilter>(filter)) {
        if (!FPipeline || !IsOrIsInside(rendered->Element(), FPipeline))
            return E_INVALIDARG;
        // GStreamer's automatic chain cannot be taken apart element by
        // element: removing any of it removes the whole rendered chain.
        TearDown();
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT TGstGraph::EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* filters) {
    if (!filters)
        return E_POINTER;
    filters->clear();
    if (FPipeline) {
        std::vector<TGstObjectPtr<GstElement>> memberElements;
        for (auto& m : FMembers)
            if (GstElement* e = m->CurrentElement())
                memberElements.emplace_back(e);
        std::vector<std::shared_ptr<IBaseFilter>> found;
        ForEachObject<GstElement>(
            gst_bin_iterate_recurse(GST_BIN(FPipeline)),
            [&](GstElement* e) {
                const bool ofMember = std::any_of(
                    memberElements.begin(), memberElements.end(),
                    [e](const TGstObjectPtr<GstElement>& m) { return IsOrIsInside(e, m.get()); });
                if (ofMember)
                    return;
                GstElementFactory* factory = gst_element_get_factory(e);
                const char* kind = factory ? GST_OBJECT_NAME(factory) : "";
                if (g_str_equal(kind, "filesrc"))
                    found.push_back(std::make_shared<TGstSourceFilter>(this, e));
                else if (g_str_equal(kind, "decodebin3"))
                    found.push_back(std::make_shared<TGstStreamSelectFilter>(this, e));
                else
                    found.push_back(std::make_shared<TGstRenderedFilter>(WeakOf(this), e));
            },
            [&] { found.clear(); });
        *filters = std::move(found);
    }
    for (auto& m : FMembers)
        filters->push_back(m);
    return S_OK;
}

HRESULT TGstGraph::FindFilterByName(const QString& name, std::shared_ptr<IBaseFilter>* filter) {
    if (!filter)
        return E_POINTER;
    filter->reset();
    std::vector<std::shared_ptr<IBaseFilter>> all;
    EnumFilters(&all);
    for (auto& f : all) {
        QString n;
        if (SUCCEEDED(f->QueryFilterInfo(&n)) && n == name) {
            *filter = f;
            return S_OK;
        }
    }
    return E_FAIL;
}

// --- Rendering --------------------------------------------------------------------------

HRESULT TGstGraph::RenderFile(const QString& path) {
    // A handler run while the file opens may let go of this graph.
    const auto self = weak_from_this().lock();
    TearDown();
    {
        std::lock_guard<std::mutex> guard(FLock);
        FLastError.clear();
        FErrorCode = S_OK;
    }
    FPath = path;
    FSoundEnd->store(-1);
    FState = State_Stopped;
    FPendingPosition = -1;
    FStopPosition = -1;
    FLastPosition = 0;
    FLastDuration = -1;
    const HRESULT hr = Open();
    if (FAILED(hr))
        return hr;
    // Ready to run at once; reported as stopped until it is run.
    ApplyPendingSeek();
    return S_OK;
}

HRESULT TGstGraph::Open() {
    // The loader's pages of the libraries linked in so far go before the
    // media's own decoders are linked in, so the two never add up.
    ReleaseLoaderPages();
    // GStreamer 1.22's decodebin3 now and then never exposes a stream (a
    // few starts in a hundred, quiet machine or busy): the pipeline then
    // waits for ever without an error. Such a start is abandoned and made
    // again, a few times, the last one given the longer limit.
    for (int attempt = 0;; ++attempt) {
        HRESULT hr = S_OK;
        if (!FPipeline) {
            hr = Build();
            if (FAILED(hr))
                return hr;
        }
        const bool last = attempt >= OpenAttempts - 1;
        const TPreroll result = Preroll(&hr, last ? OpenStallLimit : PrerollStallLimit);
        if (result == TPreroll::Superseded)
            return hr; // the pipeline is no longer this open's
        if (result == TPreroll::Done) {
            {
                std::lock_guard<std::mutex> guard(FLock);
                FRendered = true;
                if (FErrorCode == VFW_E_TIMEOUT) { // the stall of the first start
                    FLastError.clear();
                    FErrorCode = S_OK;
                }
            }
            // Every library this media needs is linked in by now.
            ReleaseLoaderPages();
            return S_OK;
        }
        TearDown();
        if (result == TPreroll::Failed)
            return hr;
        if (last) {
            std::lock_guard<std::mutex> guard(FLock);
            FLastError =
                QCoreApplication::translate("Messages",
                                            "The file did not open: no progress for %1 s.")
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(OpenStallLimit).count());
            FErrorCode = VFW_E_TIMEOUT;
            return VFW_E_TIMEOUT;
        }
        GST_WARNING("opening %s stalled; opening it again", qPrintable(FPath));
    }
}

HRESULT TGstGraph::Build() {
    g_autoptr(GError) error = nullptr;
    g_autofree gchar* uri = gst_filename_to_uri(QFile::encodeName(FPath).constData(), &error);
    if (!uri) {
        std::lock_guard<std::mutex> guard(FLock);
        FLastError = error ? QString::fromUtf8(error->message)
                           : QCoreApplication::translate("Messages", "invalid file name");
        return E_INVALIDARG;
    }
    GstElement* pipeline = gst_element_factory_make("playbin3", nullptr);
    if (!pipeline) {
        std::lock_guard<std::mutex> guard(FLock);
        FLastError =
            QCoreApplication::translate("Messages", "GStreamer's playbin3 is not installed");
        return E_FAIL;
    }
    FPipeline = GST_ELEMENT(gst_object_ref_sink(pipeline));
    LimitStreamMemory(FPipeline);
    UseNetClock(FPipeline);
    FRunAt = false;

    std::shared_ptr<TGstMemberFilter> video, grabber;
    for (auto& m : FMembers) {
        if (m->Kind() == TMemberKind::VideoRenderer && !video)
            video = m;
        else if (m->Kind() == TMemberKind::SampleGrabber && !grabber && m->WantsAudio())
            grabber = m;
    }
    // Always an explicit video sink: GStreamer's automatic choice needs a
    // display (and crashes without one).
    GstElement* videoSink = video ? video->Instantiate() : nullptr;
    if (!videoSink) {
        videoSink = gst_element_factory_make("fakesink", "video renderer");
        g_object_set(videoSink, "sync", TRUE, nullptr);
    }
    // The volume is the audio renderer's, in float (playbin's own volume
    // would work in the sound's integer format when it has one).
    GstElement* audioSink = MakeAudioRenderer(FSoundEnd);
    FVolumeElement.reset(gst_bin_get_by_name(GST_BIN(audioSink), "volume"));
    FOutputElement.reset(gst_bin_get_by_name(GST_BIN(audioSink), "output"));
    if (grabber) {
        // The grabber sits in the audio path, right before the audio renderer.
        GstElement* chain = gst_bin_new("audio output");
        GstElement* grab = grabber->Instantiate();
        gst_bin_add_many(GST_BIN(chain), grab, audioSink, nullptr);
        gst_element_link_pads(grab, "src", audioSink, "sink");
        AddGhostPad(chain, "sink", grab, "sink");
        audioSink = chain;
    }
    g_object_set(FPipeline, "uri", uri, "video-sink", videoSink, "audio-sink", audioSink, "flags",
                 PlayFlagVideo | PlayFlagAudio | PlayFlagNativeVideo, nullptr);
    ApplyVolume();

    g_autoptr(GstBus) bus = gst_element_get_bus(FPipeline);
    gst_bus_set_sync_handler(bus, &TGstGraph::BusSyncHandler, this, nullptr);
    GST_DEBUG_OBJECT(FPipeline, "built for %s", qPrintable(FPath));
    ++FGeneration;
    std::lock_guard<std::mutex> guard(FLock);
    FCompleteSent = false;
    FSeekPending = false;
    FTagTaker = video;
    return S_OK;
}

void TGstGraph::WaitHandlingEvents(std::chrono::milliseconds wait) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread() ||
        !QAbstractEventDispatcher::instance()) {
        // No event loop to keep going: GStreamer's own wait, which returns
        // as soon as the state changes.
        if (FPipeline)
            gst_element_get_state(FPipeline, nullptr, nullptr,
                                  GstClockTime(wait.count()) * GST_MSECOND);
        return;
    }
    // As the program's millisecond waits do: sleep in the event loop, woken
    // by the next event or by the timer.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(int(wait.count()));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

TGstGraph::TPreroll TGstGraph::Preroll(HRESULT* hr, std::chrono::milliseconds limit) {
    // Handlers run inside the wait may tear the pipeline down, build another
    // or let go of the graph: this wait then ends without touching anything.
    const auto self = weak_from_this().lock();
    const uint64_t generation = FGeneration;
    struct TRestore {
        TGstGraph* g;
        uint64_t generation;
        std::chrono::steady_clock::time_point deadline;
        ~TRestore() {
            g->FPrerollGeneration = generation;
            g->FPrerollDeadline = deadline;
        }
    } restore{this, FPrerollGeneration, FPrerollDeadline};
    FPrerollGeneration = generation;
    auto superseded = [&] {
        if (FGeneration == generation)
            return false;
        *hr = E_ABORT;
        return true;
    };
    {
        std::lock_guard<std::mutex> guard(FLock);
        FPrerolling = true;
        FPrerollFailed = false;
    }
    // `limit` counts from the last progress seen.
    auto deadline = std::chrono::steady_clock::now() + limit;
    uint64_t progress = FProgress.load();
    FPrerollDeadline = deadline;
    GstStateChangeReturn ret = gst_element_set_state(FPipeline, GST_STATE_PAUSED);
    bool ok = false;
    bool failed = ret == GST_STATE_CHANGE_FAILURE;
    while (!failed) {
        {
            std::lock_guard<std::mutex> guard(FLock);
            if (FPrerollFailed)
                break;
        }
        if (const uint64_t now = FProgress.load(); now != progress) {
            progress = now;
            deadline = std::chrono::steady_clock::now() + limit;
            FPrerollDeadline = deadline;
        }
        ret = gst_element_get_state(FPipeline, nullptr, nullptr, 0);
        if (ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL) {
            ok = true;
            break;
        }
        if (ret == GST_STATE_CHANGE_FAILURE)
            failed = true;
        else if (std::chrono::steady_clock::now() > deadline)
            break;
        else {
            WaitHandlingEvents(PrerollPoll);
            if (superseded())
                return TPreroll::Superseded;
        }
    }
    if (failed) {
        // The reason is posted from a streaming thread and may trail the
        // failed state change by a little: give it the chance to arrive.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(FLock);
                if (FPrerollFailed)
                    break;
            }
            if (std::chrono::steady_clock::now() > until)
                break;
            WaitHandlingEvents(PrerollPoll);
            if (superseded())
                return TPreroll::Superseded;
        }
    }
    std::lock_guard<std::mutex> guard(FLock);
    FPrerolling = false;
    if (ok && !FPrerollFailed)
        return TPreroll::Done;
    if (!failed && !FPrerollFailed) {
        FLastError = QCoreApplication::translate("Messages", "The media took too long to open.");
        FErrorCode = VFW_E_TIMEOUT;
        *hr = VFW_E_TIMEOUT;
        return TPreroll::Stalled;
    }
    if (FLastError.isEmpty()) {
        FLastError = QCoreApplication::translate("Messages", "The media could not be opened.");
        FErrorCode = E_FAIL;
    }
    *hr = FAILED(FErrorCode) ? FErrorCode : E_FAIL;
    return TPreroll::Failed;
}

void TGstGraph::SettlePreroll() {
    if (!FPipeline || !PrerollUnderWay())
        return;
    const auto left = FPrerollDeadline - std::chrono::steady_clock::now();
    if (left > std::chrono::nanoseconds::zero())
        gst_element_get_state(
            FPipeline, nullptr, nullptr,
            GstClockTime(std::chrono::duration_cast<std::chrono::nanoseconds>(left).count()));
}

void TGstGraph::TearDown() {
    if (!FPipeline)
        return;
    SettlePreroll();
    {
        std::lock_guard<std::mutex> guard(FLock);
        FRendered = false;
    }
    gst_element_set_state(FPipeline, GST_STATE_NULL);
    {
        g_autoptr(GstBus) bus = gst_element_get_bus(FPipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    }
    for (auto& m : FMembers)
        m->Release();
    FVolumeElement.reset();
    FOutputElement.reset();
    // The pipeline goes last: the members and the volume element were inside it.
    gst_object_unref(FPipeline);
    FPipeline = nullptr;
    ++FGeneration;
    FState = State_Stopped;
    FPendingPosition = -1;
    FStopPosition = -1;
    std::lock_guard<std::mutex> guard(FLock);
    FTagTaker.reset();
    FCollection.reset();
    FSelected.clear();
    FSeekPending = false;
    ForgetRunClockLocked();
}

HRESULT TGstGraph::SetLogFile(const QString& path) {
    // GStreamer's own debug log is chosen by its environment, not per graph:
    // the name is only kept.
    FLogFile = path;
    return S_OK;
}

QString TGstGraph::LastErrorText() {
    std::lock_guard<std::mutex> guard(FLock);
    return FLastError;
}

// --- Control -------------------------------------------------------------------------

GstState TGstGraph::CurrentGstState(GstState* pending) const {
    GstState current = GST_STATE_NULL, next = GST_STATE_VOID_PENDING;
    if (FPipeline) {
        GST_OBJECT_LOCK(FPipeline);
        current = GST_STATE(FPipeline);
        next = GST_STATE_PENDING(FPipeline);
        GST_OBJECT_UNLOCK(FPipeline);
    }
    if (pending)
        *pending = next;
    return current;
}

HRESULT TGstGraph::Run() {
    if (!FPipeline)
        return VFW_E_WRONG_STATE;
    const auto self = weak_from_this().lock();
    GstState pending;
    const GstState current = CurrentGstState(&pending);
    if (PrerollUnderWay())
        return VFW_E_WRONG_STATE;
    if (current < GST_STATE_PAUSED && pending != GST_STATE_PAUSED) {
        // From stopped: preroll first, so that position and duration can be
        // read as soon as the run is under way.
        const HRESULT hr = PrerollFromStop();
        if (FAILED(hr))
            return hr;
    }
    ApplyPendingSeek();
    OwnRunningTime();
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FState == State_Stopped)
            FCompleteSent = false;
    }
    const GstStateChangeReturn ret = gst_element_set_state(FPipeline, GST_STATE_PLAYING);
    if (ret == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    FState = State_Running;
    return ret == GST_STATE_CHANGE_SUCCESS ? S_OK : S_FALSE;
}

HRESULT TGstGraph::PrerollFromStop() {
    // A stuck start opens the file afresh, where the graph stood.
    const int64_t position = FPendingPosition;
    const int64_t stop = FStopPosition;
    const uint64_t generation = FGeneration;
    const HRESULT hr = Open();
    if (SUCCEEDED(hr) && FGeneration != generation) {
        FPendingPosition = position;
        FStopPosition = stop;
    }
    return hr;
}

bool TGstGraph::PrerollUnderWay() const {
    return FPrerollGeneration != 0 && FPrerollGeneration == FGeneration;
}

HRESULT TGstGraph::Pause() {
    if (!FPipeline || PrerollUnderWay())
        return VFW_E_WRONG_STATE;
    const auto self = weak_from_this().lock();
    const GstState current = CurrentGstState();
    if (current < GST_STATE_PAUSED) {
        const HRESULT hr = PrerollFromStop();
        if (FAILED(hr))
            return hr;
        ApplyPendingSeek();
        FState = State_Paused;
        return S_OK;
    }
    OwnRunningTime();
    GstStateChangeReturn ret = gst_element_set_state(FPipeline, GST_STATE_PAUSED);
    if (ret == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    FState = State_Paused;
    // The sinks hold data already; the pause completes within a frame. A
    // handler run meanwhile may change the graph: then it is not this
    // pause's to wait for any more.
    const uint64_t generation = FGeneration;
    const auto deadline = std::chrono::steady_clock::now() + PauseWait;
    while (ret == GST_STATE_CHANGE_ASYNC && std::chrono::steady_clock::now() < deadline) {
        WaitHandlingEvents(PrerollPoll);
        if (FGeneration != generation || !FPipeline || FState != State_Paused)
            return S_FALSE;
        ret = gst_element_get_state(FPipeline, nullptr, nullptr, 0);
    }
    return ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL ? S_OK : S_FALSE;
}

HRESULT TGstGraph::Stop() {
    if (!FPipeline) {
        FState = State_Stopped;
        return S_OK;
    }
    SettlePreroll();
    int64_t position = 0;
    if (FState != State_Stopped && SUCCEEDED(GetCurrentPosition(&position)))
        FPendingPosition = position; // a stopped graph keeps its position
    OwnRunningTime();
    if (gst_element_set_state(FPipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    FState = State_Stopped;
    std::lock_guard<std::mutex> guard(FLock);
    FSeekPending = false;
    ForgetRunClockLocked();
    return S_OK;
}

void TGstGraph::ForgetRunClockLocked() {
    FRunClock.reset();
}

HRESULT TGstGraph::GetState(long timeoutMs, FILTER_STATE* state) {
    if (!state)
        return E_POINTER;
    *state = FState;
    if (!FPipeline)
        return S_OK;
    GstState pending = GST_STATE_VOID_PENDING;
    if (timeoutMs > 0)
        gst_element_get_state(FPipeline, nullptr, &pending, timeoutMs * GST_MSECOND);
    else
        CurrentGstState(&pending);
    // Still on the way to the state asked for (answered all the same), or
    // still prerolling at the place a seek asked for.
    if (pending != GST_STATE_VOID_PENDING)
        return S_FALSE;
    std::lock_guard<std::mutex> guard(FLock);
    return FSeekPending && std::chrono::steady_clock::now() - FSeekTime < SeekPendingLimit ? S_FALSE
                                                                                           : S_OK;
}

// --- Seeking ----------------------------------------------------------------------------

HRESULT TGstGraph::GetDuration(int64_t* duration) {
    if (!duration)
        return E_POINTER;
    if (!FPipeline)
        return VFW_E_WRONG_STATE;
    gint64 d = -1;
    if (CurrentGstState() >= GST_STATE_PAUSED &&
        gst_element_query_duration(FPipeline, GST_FORMAT_TIME, &d) && d >= 0)
        FLastDuration = FromGst(d);
    if (FLastDuration < 0)
        return E_FAIL;
    *duration = FLastDuration;
    return S_OK;
}

HRESULT TGstGraph::GetCurrentPosition(int64_t* position) {
    if (!position)
        return E_POINTER;
    if (!FPipeline)
        return VFW_E_WRONG_STATE;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FSeekPending && std::chrono::steady_clock::now() - FSeekTime < SeekPendingLimit) {
            // Until a seek has completed, the sinks still answer the old
            // position: the target is where the graph is.
            *position = FSeekTarget;
            return S_OK;
        }
        FSeekPending = false;
    }
    if (CurrentGstState() < GST_STATE_PAUSED) {
        *position = FPendingPosition >= 0 ? FPendingPosition : FLastPosition;
        return S_OK;
    }
    gint64 p = -1;
    if (gst_element_query_position(FPipeline, GST_FORMAT_TIME, &p) && p >= 0)
        FLastPosition = FromGst(p);
    if (FLastDuration > 0 && FLastPosition > FLastDuration)
        FLastPosition = FLastDuration;
    *position = FLastPosition;
    return S_OK;
}

HRESULT TGstGraph::GetStopPosition(int64_t* stop) {
    if (!stop)
        return E_POINTER;
    if (FStopPosition >= 0) {
        *stop = FStopPosition;
        return S_OK;
    }
    return GetDuration(stop);
}

HRESULT TGstGraph::SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop,
                                uint32_t stopFlags) {
    if (!FPipeline)
        return VFW_E_WRONG_STATE;
    const bool setCurrent = current && (currentFlags & 0x3) == AM_SEEKING_AbsolutePositioning;
    const bool setStop = stop && (stopFlags & 0x3) == AM_SEEKING_AbsolutePositioning;
    if (!setCurrent && !setStop)
        return S_FALSE;
    if (setStop)
        FStopPosition = std::max<int64_t>(*stop, 0);
    // A new position moves away from the sound end set for the old one.
    if (setCurrent)
        FSoundEnd->store(-1);
    int64_t target = 0;
    if (setCurrent)
        target = std::max<int64_t>(*current, 0);
    else if (FAILED(GetCurrentPosition(&target)))
        target = 0;
    if (CurrentGstState() < GST_STATE_PAUSED) {
        // Stopped, or still opening (a seek before the preroll is done would
        // be refused or lost): the graph starts there once it has prerolled.
        FPendingPosition = target;
        return S_OK;
    }
    return Seek(target, FStopPosition >= 0, FStopPosition);
}

HRESULT TGstGraph::Seek(int64_t position, bool setStop, int64_t stop) {
    // Exact positioning, not the nearest key frame; and always with the rate
    // in force, since a seek carries a rate and one without it would set
    // playback back to normal speed.
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    OwnRunningTime();
    {
        std::lock_guard<std::mutex> guard(FLock);
        FSeekPending = true;
        FSeekTarget = position;
        FSeekTime = std::chrono::steady_clock::now();
        FCompleteSent = false;
    }
    FPendingPosition = -1;
    FLastPosition = position;
    const gboolean ok =
        gst_element_seek(FPipeline, FRate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                         ToGst(position), setStop ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                         setStop ? ToGst(stop) : GST_CLOCK_TIME_NONE);
    if (!ok) {
        std::lock_guard<std::mutex> guard(FLock);
        FSeekPending = false;
        return E_FAIL;
    }
    return S_OK;
}

void TGstGraph::ApplyPendingSeek() {
    if (!FPipeline)
        return;
    if (FPendingPosition >= 0 || FRate != 1.0 || FStopPosition >= 0) {
        int64_t position = FPendingPosition >= 0 ? FPendingPosition : 0;
        if (FPendingPosition < 0) {
            gint64 p = -1;
            if (gst_element_query_position(FPipeline, GST_FORMAT_TIME, &p) && p >= 0)
                position = FromGst(p);
        }
        Seek(position, FStopPosition >= 0, FStopPosition);
    }
}

HRESULT TGstGraph::SetSoundEnd(int64_t end) {
    FSoundEnd->store(end >= 0 ? ToGst(end) : -1);
    return S_OK;
}

// --- Playing on a shared clock ---------------------------------------------------------------

HRESULT TGstGraph::ClockTime(int64_t* ns) {
    if (!ns)
        return E_POINTER;
    GstClock* clock = NetClockRef();
    if (!clock)
        return E_FAIL;
    *ns = int64_t(gst_clock_get_time(clock));
    gst_object_unref(clock);
    return S_OK;
}

HRESULT TGstGraph::GetClockMapping(int64_t* clockNs, int64_t* positionNs) {
    if (!clockNs || !positionNs)
        return E_POINTER;
    GstState pending = GST_STATE_VOID_PENDING;
    if (!FPipeline || CurrentGstState(&pending) != GST_STATE_PLAYING ||
        pending != GST_STATE_VOID_PENDING)
        return VFW_E_WRONG_STATE;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FSeekPending && std::chrono::steady_clock::now() - FSeekTime < SeekPendingLimit)
            return VFW_E_WRONG_STATE;
    }
    // The segment the sinks play (the sound's, else the picture's) turns the
    // running time, the clock's time less the base time, into media time:
    // exact, where a position query would be as late as its caller.
    g_autoptr(GstEvent) segmentEvent = nullptr;
    for (const char* property : {"audio-sink", "video-sink"}) {
        GstElement* sink = nullptr;
        g_object_get(FPipeline, property, &sink, nullptr);
        if (!sink)
            continue;
        if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
            segmentEvent = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
            gst_object_unref(pad);
        }
        gst_object_unref(sink);
        if (segmentEvent)
            break;
    }
    GstClock* clock = gst_element_get_clock(FPipeline);
    if (!segmentEvent || !clock) {
        if (clock)
            gst_object_unref(clock);
        return E_FAIL;
    }
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(segmentEvent, &segment);
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(FPipeline);
    // A run started ahead of its time is told as it will be heard then:
    // what a leader announces to its followers before it starts.
    const GstClockTime at = FRunAt && FRunAtClock >= 0 && GstClockTime(FRunAtClock) > now
                                ? GstClockTime(FRunAtClock)
                                : now;
    if (at < base)
        return VFW_E_WRONG_STATE;
    const guint64 position =
        gst_segment_position_from_running_time(segment, GST_FORMAT_TIME, at - base);
    const guint64 stream = position == guint64(-1)
                               ? guint64(-1)
                               : gst_segment_to_stream_time(segment, GST_FORMAT_TIME, position);
    if (stream == guint64(-1))
        return VFW_E_WRONG_STATE;
    *clockNs = int64_t(at);
    *positionNs = int64_t(stream);
    return S_OK;
}

HRESULT TGstGraph::RunAt(int64_t clockNs) {
    GstState pending = GST_STATE_VOID_PENDING;
    if (!FPipeline || CurrentGstState(&pending) != GST_STATE_PAUSED ||
        pending != GST_STATE_VOID_PENDING || clockNs < 0)
        return VFW_E_WRONG_STATE;
    // No base time of the pipeline's own choosing: the one given puts the
    // paused position's running time at clockNs. That is 0 after a flushing
    // seek, and where the run stopped after a pause (the start time the
    // pipeline, or OwnRunningTime, kept then).
    GstClockTime running = gst_element_get_start_time(FPipeline);
    if (!GST_CLOCK_TIME_IS_VALID(running))
        running = 0;
    if (GstClockTime(clockNs) < running)
        return VFW_E_WRONG_STATE;
    gst_element_set_start_time(FPipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(FPipeline, GstClockTime(clockNs) - running);
    FRunAtClock = clockNs;
    {
        std::lock_guard<std::mutex> guard(FLock);
        FCompleteSent = false;
    }
    if (gst_element_set_state(FPipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    FRunAt = true;
    FState = State_Running;
    return S_OK;
}

HRESULT TGstGraph::AdoptSharedClock() {
    if (!FPipeline)
        return S_FALSE;
    if (GstClock* clock = NetClockRef()) {
        gst_pipeline_use_clock(GST_PIPELINE(FPipeline), clock);
        gst_object_unref(clock);
    } else {
        gst_pipeline_auto_clock(GST_PIPELINE(FPipeline));
    }
    // The clock is chosen on the way to playing.
    if (FState == State_Running) {
        OwnRunningTime();
        gst_element_set_state(FPipeline, GST_STATE_PAUSED);
        gst_element_set_state(FPipeline, GST_STATE_PLAYING);
    }
    return S_OK;
}

void TGstGraph::OwnRunningTime() {
    if (!FRunAt || !FPipeline)
        return;
    FRunAt = false;
    // Where the running time stands now; the pipeline counts on from there
    // (a pause) or from 0 (a flushing seek resets it).
    GstClockTime running = 0;
    if (GstClock* clock = gst_element_get_clock(FPipeline)) {
        GstClockTime now = gst_clock_get_time(clock);
        // Stopped before its announced time: nothing of it was heard.
        if (FRunAtClock >= 0 && GstClockTime(FRunAtClock) > now)
            now = GstClockTime(FRunAtClock);
        const GstClockTime base = gst_element_get_base_time(FPipeline);
        running = now > base ? now - base : 0;
        gst_object_unref(clock);
    }
    gst_element_set_start_time(FPipeline, running);
}

HRESULT TGstGraph::SetRate(double rate) {
    if (!(rate > 0.0))
        return E_INVALIDARG;
    if (rate == FRate)
        return S_OK;
    FRate = rate;
    if (!FPipeline || CurrentGstState() < GST_STATE_PAUSED)
        return S_OK; // applied when the graph starts
    int64_t position = 0;
    GetCurrentPosition(&position);
    return Seek(position, FStopPosition >= 0, FStopPosition);
}

HRESULT TGstGraph::GetRate(double* rate) {
    if (!rate)
        return E_POINTER;
    *rate = FRate;
    return S_OK;
}

// --- Audio ---------------------------------------------------------------------------------

HRESULT TGstGraph::put_Volume(long volume) {
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    FVolume = volume;
    ApplyVolume();
    return S_OK;
}

void TGstGraph::ApplyVolume() {
    // Hundredths of a decibel / 100 = decibels, which GStreamer's stream
    // volume converts to its linear factor.
    if (FVolumeElement)
        g_object_set(FVolumeElement.get(), "volume",
                     gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_DB,
                                                      GST_STREAM_VOLUME_FORMAT_LINEAR,
                                                      FVolume / 100.0),
                     nullptr);
}

HRESULT TGstGraph::get_Volume(long* volume) {
    if (!volume)
        return E_POINTER;
    *volume = FVolume;
    return S_OK;
}

HRESULT TGstGraph::put_Balance(long balance) {
    if (balance < -10000 || balance > 10000)
        return E_INVALIDARG;
    FBalance = balance;
    // The audio renderer has no balance control; only the centre is honest.
    return balance == 0 ? S_OK : E_NOTIMPL;
}

HRESULT TGstGraph::get_Balance(long* balance) {
    if (!balance)
        return E_POINTER;
    *balance = FBalance;
    return S_OK;
}

// --- The sound output ------------------------------------------------------------------

HRESULT TGstGraph::OutputSilent() {
    if (!FPipeline || !FOutputElement)
        return E_FAIL;
    // The automatic choice falls back to a sink that plays into nothing when
    // the system has no output (no sound server): as silent as our own.
    auto isFake = [](GstElement* e) {
        GstElementFactory* f = gst_element_get_factory(e);
        const gchar* name = f ? GST_OBJECT_NAME(f) : "";
        return g_str_has_prefix(name, "fake");
    };
    GstElement* output = FOutputElement.get();
    if (isFake(output))
        return S_OK;
    if (!GST_IS_BIN(output))
        return S_FALSE;
    bool fake = false;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(output));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        fake = fake || isFake(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake ? S_OK : S_FALSE;
}

// --- Notifications ------------------------------------------------------------------------
//
// GStreamer message       -> event
//   EOS                   -> EC_COMPLETE (1), param1 S_OK: the media has played to its end.
//   ERROR (while playing) -> EC_ERRORABORT (3), param1 the status; the graph is stopped when
//                            the event is taken, then EC_COMPLETE (1) with the same status,
//                            so a player waiting for the end is never left waiting. A file
//                            that breaks off thus ends as at its end. At most one
//                            EC_COMPLETE per run or seek.
//   NEW_CLOCK             -> EC_CLOCK_CHANGED (13) only when the pipeline, resuming or
//                            re-choosing after a lost clock, takes another clock than the
//                            one it ran on since it last started from stopped. The first
//                            choice of a start, and the same clock again after a pause, are
//                            not announced (the position tracker answers the event by
//                            going back to 0).
//   CLOCK_LOST            -> nothing delivered; the graph re-chooses its clock (pause, run).
//   TAG                   -> nothing delivered; a picture among the tags (a cover) is handed
//                            to the video renderer.
//   EC_PALETTE_CHANGED (9) and EC_VMR_RENDERDEVICE_SET (83) have no GStreamer counterpart:
//   frames carry their own format and the video renderer is not a device. Never raised.
//   Every other message is dropped.

GstBusSyncReply TGstGraph::BusSyncHandler(GstBus*, GstMessage* message, gpointer self) {
    auto* graph = static_cast<TGstGraph*>(self);
    // Every message is a sign of life of an open under way.
    graph->FProgress.fetch_add(1);
    graph->HandleMessage(message);
    // Dropped messages are the handler's to release.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void TGstGraph::QueueEventLocked(TEventKind kind, long code, intptr_t p1, intptr_t p2) {
    FEvents.push_back(TEvent{kind, code, p1, p2});
    if (FNotifyTarget && FNotifyOn)
        QCoreApplication::postEvent(FNotifyTarget,
                                    new QEvent(static_cast<QEvent::Type>(FNotifyType)));
}

void TGstGraph::HandleMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS: {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FCompleteSent && !FPrerolling && FRendered) {
            FCompleteSent = true;
            QueueEventLocked(TEventKind::Public, EC_COMPLETE, S_OK, 0);
        }
        break;
    }
    case GST_MESSAGE_ERROR: {
        g_autoptr(GError) error = nullptr;
        g_autofree gchar* details = nullptr;
        gst_message_parse_error(message, &error, &details);
        // A sound output that goes away (its server killed, its device
        // unplugged) says so from inside the audio renderer's output: that is
        // no fault of the media, and a new graph may find an output again.
        GstObject* source = GST_MESSAGE_SRC(message);
        const bool fromOutput = FOutputElement && source && GST_IS_ELEMENT(source) &&
                                IsOrIsInside(GST_ELEMENT(source), FOutputElement.get());
        const HRESULT hr = fromOutput ? VFW_E_NO_AUDIO_HARDWARE : StatusOfError(error);
        const QString text = QString::fromUtf8(error ? error->message : "unknown error");
        GST_WARNING_OBJECT(GST_MESSAGE_SRC(message), "error: %s (%s)", qPrintable(text),
                           details ? details : "no details");
        // With GST_DEBUG_DUMP_DOT_DIR set, the pipeline as it stood when it
        // failed, for a look with Graphviz.
        if (FPipeline)
            GST_DEBUG_BIN_TO_DOT_FILE_WITH_TS(GST_BIN(FPipeline), GST_DEBUG_GRAPH_SHOW_ALL,
                                              "tavrelo-error");
        std::lock_guard<std::mutex> guard(FLock);
        if (FPrerolling) {
            if (!FPrerollFailed) {
                FPrerollFailed = true;
                FLastError = text;
                FErrorCode = hr;
            }
        } else if (FRendered) {
            // Only a graph that rendered can fail while playing; the errors
            // that trail a failed render are not news.
            FLastError = text;
            FErrorCode = hr;
            if (!FCompleteSent) {
                FCompleteSent = true;
                QueueEventLocked(TEventKind::Public, EC_ERRORABORT, hr, 0);
                QueueEventLocked(TEventKind::Public, EC_COMPLETE, hr, 0);
            }
        }
        break;
    }
    case GST_MESSAGE_TAG: {
        // A cover of the sound (MP3, M4A, FLAC, Opus) comes as a picture
        // in its tags; the video renderer shows it while no video does.
        std::shared_ptr<TGstMemberFilter> taker;
        {
            std::lock_guard<std::mutex> guard(FLock);
            taker = FTagTaker;
        }
        GstTagList* tags = nullptr;
        gst_message_parse_tag(message, &tags);
        if (taker && tags)
            taker->TakeTags(tags);
        if (tags)
            gst_tag_list_unref(tags);
        break;
    }
    case GST_MESSAGE_NEW_CLOCK: {
        // The pipeline chooses a clock on every change to PLAYING: the first
        // choice after a start from stopped, and the same clock chosen again
        // on resuming, are no change.
        GstClock* clock = nullptr;
        gst_message_parse_new_clock(message, &clock);
        std::lock_guard<std::mutex> guard(FLock);
        if (clock == FRunClock.get())
            break;
        const bool changed = FRunClock != nullptr;
        FRunClock.reset(clock ? GST_CLOCK(gst_object_ref(clock)) : nullptr);
        if (changed)
            QueueEventLocked(TEventKind::Public, EC_CLOCK_CHANGED, 0, 0);
        break;
    }
    case GST_MESSAGE_CLOCK_LOST: {
        std::lock_guard<std::mutex> guard(FLock);
        QueueEventLocked(TEventKind::ClockLost, 0, 0, 0);
        break;
    }
    case GST_MESSAGE_ASYNC_DONE: {
        std::lock_guard<std::mutex> guard(FLock);
        FSeekPending = false;
        break;
    }
    case GST_MESSAGE_STREAM_COLLECTION: {
        GstStreamCollection* collection = nullptr;
        gst_message_parse_stream_collection(message, &collection);
        std::lock_guard<std::mutex> guard(FLock);
        FCollection.reset(collection);
        break;
    }
    case GST_MESSAGE_STREAMS_SELECTED: {
        std::vector<std::string> selected;
        const guint n = gst_message_streams_selected_get_size(message);
        for (guint i = 0; i < n; ++i) {
            g_autoptr(GstStream) s = gst_message_streams_selected_get_stream(message, i);
            if (const gchar* id = s ? gst_stream_get_stream_id(s) : nullptr)
                selected.emplace_back(id);
        }
        std::lock_guard<std::mutex> guard(FLock);
        FSelected = std::move(selected);
        break;
    }
    default:
        break;
    }
}

HRESULT TGstGraph::SetNotifyWindow(QObject* target, int eventType) {
    std::lock_guard<std::mutex> guard(FLock);
    FNotifyTarget = target;
    FNotifyType = eventType;
    return S_OK;
}

HRESULT TGstGraph::SetNotifyFlags(long flags) {
    std::lock_guard<std::mutex> guard(FLock);
    FNotifyOn = flags == 0;
    return S_OK;
}

HRESULT TGstGraph::GetEvent(long* code, intptr_t* param1, intptr_t* param2, long) {
    if (!code || !param1 || !param2)
        return E_POINTER;
    // The events are only taken as their notifications arrive: an empty
    // queue answers at once, whatever the time-out.
    for (;;) {
        TEvent e;
        {
            std::lock_guard<std::mutex> guard(FLock);
            if (FEvents.empty())
                return E_ABORT;
            e = FEvents.front();
            FEvents.pop_front();
        }
        if (e.Kind == TEventKind::ClockLost) {
            // The clock went away (an audio device vanished): choosing one
            // again takes a pause and a run.
            if (FPipeline && FState == State_Running) {
                gst_element_set_state(FPipeline, GST_STATE_PAUSED);
                gst_element_set_state(FPipeline, GST_STATE_PLAYING);
            }
            continue;
        }
        if (e.Code == EC_ERRORABORT && FPipeline) {
            // A pipeline that failed streams no more: stop it, so that the
            // graph reports stopped and a new start renders afresh.
            gst_element_set_state(FPipeline, GST_STATE_READY);
            FState = State_Stopped;
        }
        *code = e.Code;
        *param1 = e.Param1;
        *param2 = e.Param2;
        return S_OK;
    }
}

HRESULT TGstGraph::FreeEventParams(long, intptr_t, intptr_t) {
    return S_OK;
}

// --- Stream selection -------------------------------------------------------------------------

HRESULT TGstGraph::StreamCount(long* streams) {
    if (!streams)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(FLock);
    *streams =
        FCollection ? static_cast<long>(gst_stream_collection_get_size(FCollection.get())) : 0;
    return S_OK;
}

HRESULT TGstGraph::StreamInfo(long index, QString* name, long* flags, long* group) {
    std::lock_guard<std::mutex> guard(FLock);
    if (!FCollection || index < 0 ||
        index >= static_cast<long>(gst_stream_collection_get_size(FCollection.get())))
        return E_INVALIDARG;
    GstStream* stream = gst_stream_collection_get_stream(FCollection.get(), index);
    const GstStreamType type = gst_stream_get_stream_type(stream);
    QString text;
    long g = 0;
    if (type & GST_STREAM_TYPE_AUDIO) {
        // Audio streams are numbered from 1 among the file's audio streams.
        int ordinal = 0;
        for (long i = 0; i <= index; ++i)
            if (gst_stream_get_stream_type(gst_stream_collection_get_stream(FCollection.get(), i)) &
                GST_STREAM_TYPE_AUDIO)
                ++ordinal;
        text = QStringLiteral("Audio %1").arg(ordinal);
        text += StreamTitle(stream);
        g = 1;
    } else if (type & GST_STREAM_TYPE_VIDEO) {
        text = QStringLiteral("Video");
        g = 0;
    } else if (type & GST_STREAM_TYPE_TEXT) {
        text = QStringLiteral("Subtitle");
        g = 2;
    } else {
        text = QStringLiteral("Other");
        g = 3;
    }
    const gchar* id = gst_stream_get_stream_id(stream);
    const bool selected =
        id && std::find(FSelected.begin(), FSelected.end(), std::string(id)) != FSelected.end();
    if (name)
        *name = text;
    if (flags)
        *flags = selected ? AMSTREAMSELECTINFO_ENABLED : 0;
    if (group)
        *group = g;
    return S_OK;
}

HRESULT TGstGraph::StreamEnable(long index, long flags) {
    if (flags != AMSTREAMSELECTENABLE_ENABLE && flags != AMSTREAMSELECTENABLE_ENABLEALL)
        return E_INVALIDARG;
    GList* ids = nullptr;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FPipeline || !FCollection || index < 0 ||
            index >= static_cast<long>(gst_stream_collection_get_size(FCollection.get())))
            return E_INVALIDARG;
        GstStream* target = gst_stream_collection_get_stream(FCollection.get(), index);
        const GstStreamType kind = gst_stream_get_stream_type(target);
        // The pipeline plays one stream of a kind: both "this stream only"
        // and "all of its group" make this one the stream of its kind; the
        // streams of other kinds stay as they are.
        const guint n = gst_stream_collection_get_size(FCollection.get());
        std::vector<std::string> next;
        for (guint i = 0; i < n; ++i) {
            GstStream* s = gst_stream_collection_get_stream(FCollection.get(), i);
            const gchar* id = gst_stream_get_stream_id(s);
            if (!id)
                continue;
            const bool same = (gst_stream_get_stream_type(s) & kind) != 0;
            const bool wasOn =
                std::find(FSelected.begin(), FSelected.end(), std::string(id)) != FSelected.end();
            if ((same && s == target) || (!same && wasOn))
                next.emplace_back(id);
        }
        for (auto& id : next)
            ids = g_list_append(ids, g_strdup(id.c_str()));
        FSelected = next;
    }
    const gboolean ok = gst_element_send_event(FPipeline, gst_event_new_select_streams(ids));
    g_list_free_full(ids, g_free);
    if (!ok)
        return E_FAIL;
    // The sound of the old track already decoded and queued on its way to
    // the output (most of a second) would still be heard: flush it by
    // seeking to where the media is, so the new track is heard at once.
    if (CurrentGstState() >= GST_STATE_PAUSED) {
        int64_t position = 0;
        if (SUCCEEDED(GetCurrentPosition(&position)))
            Seek(position, FStopPosition >= 0, FStopPosition);
    }
    return S_OK;
}
