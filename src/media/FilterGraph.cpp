#include "media/FilterGraph.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>

#include <algorithm>
#include <cmath>

// The framework announces waiting notifications with one posted event of this
// type to the hidden notification object.
static const int NotifyEventType = QEvent::User + 1;

// The hidden object the framework posts its notifications to; lives on the
// user-interface thread with the graph component.
class TGraphNotifyWindow : public QObject {
public:
    explicit TGraphNotifyWindow(TFilterGraph* graph) : FGraph(graph) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() == NotifyEventType) {
            FGraph->DrainEvents();
            return true;
        }
        return QObject::event(e);
    }

private:
    TFilterGraph* FGraph;
};

long VolumeToFramework(int v, bool linearVolume) {
    v = std::clamp(v, 0, 10000);
    if (!linearVolume)
        return v - 10000;
    // ln(10000 + 1) * 1085.73 rounds to 10000, so full scale is 0 dB.
    return RoundHalfEven(std::log(v + 1.0) * 1085.73) - 10000;
}

long BalanceToFramework(int b, bool linearVolume) {
    b = std::clamp(b, -10000, 10000);
    if (!linearVolume)
        return b;
    const long x = RoundHalfEven(std::log(std::abs(b) + 1.0) * 1085.73);
    return b >= 0 ? -x : x;
}

TFilterGraph::TFilterGraph(QObject* owner) : QObject(owner) {
    FNotifyWindow = new TGraphNotifyWindow(this);
}

TFilterGraph::~TFilterGraph() {
    SetActive(false);
    delete FNotifyWindow;
    FNotifyWindow = nullptr;
}

void TFilterGraph::Loaded() {
    if (FAutoCreate)
        SetActive(true);
}

void TFilterGraph::SetActive(bool value) {
    if (value == FActive)
        return;
    if (value) {
        FGraph = CreateFilterGraphManager();
        if (!FGraph)
            return;
        FActive = true;
        FLastError.clear();
        FEvents = Query<IMediaEventEx>(FGraph);
        if (FEvents) {
            FEvents->SetNotifyFlags(0);
            FEvents->SetNotifyWindow(FNotifyWindow, NotifyEventType);
        }
        // No filter-selection handlers are bound: every filter the framework
        // chooses is accepted, so there is nothing to register.
        FGraph->SetLogFile(FLogFile);
        const std::vector<IGraphMember*> members = FMembers;
        for (IGraphMember* m : members)
            AddMemberFilter(m);
        if (OnActivate)
            OnActivate(this);
        SendControlStep(ssActive, 1);
    } else {
        SendControlStep(ssActive, 0);
        const std::vector<IGraphMember*> members = FMembers;
        for (IGraphMember* m : members)
            RemoveMemberFilter(m);
        if (FEvents) {
            FEvents->SetNotifyFlags(1);
            FEvents->SetNotifyWindow(nullptr, 0);
            FEvents.reset();
        }
        if (FGraph)
            FGraph->SetLogFile(QString());
        FGraph.reset();
        FActive = false;
    }
}

void TFilterGraph::AddMemberFilter(IGraphMember* member) {
    if (!FGraph)
        return;
    member->MemberNotify(mnAdding);
    const QString name = member->MemberFilterName();
    std::shared_ptr<IBaseFilter> filter = member->MemberFilter();
    if (filter)
        FGraph->AddFilter(filter, name);
    member->MemberNotify(mnAdded);
}

void TFilterGraph::RemoveMemberFilter(IGraphMember* member) {
    if (!FGraph)
        return;
    member->MemberNotify(mnRemoving);
    std::shared_ptr<IBaseFilter> filter = member->MemberFilter();
    if (filter)
        FGraph->RemoveFilter(filter);
    member->MemberNotify(mnRemoved);
}

void TFilterGraph::SendControlStep(TControlStep kind, int param) {
    // A listener may unregister itself (or another) while being told.
    const std::vector<IGraphListener*> listeners = FListeners;
    for (IGraphListener* l : listeners)
        if (std::find(FListeners.begin(), FListeners.end(), l) != FListeners.end())
            l->ControlStep(kind, param);
}

void TFilterGraph::AddMember(IGraphMember* member) {
    if (!member || std::find(FMembers.begin(), FMembers.end(), member) != FMembers.end())
        return;
    FMembers.push_back(member);
    if (FActive)
        AddMemberFilter(member);
}

void TFilterGraph::RemoveMember(IGraphMember* member) {
    auto it = std::find(FMembers.begin(), FMembers.end(), member);
    if (it == FMembers.end())
        return;
    if (FActive)
        RemoveMemberFilter(member);
    FMembers.erase(std::find(FMembers.begin(), FMembers.end(), member));
}

void TFilterGraph::AddListener(IGraphListener* listener) {
    if (listener && std::find(FListeners.begin(), FListeners.end(), listener) == FListeners.end())
        FListeners.push_back(listener);
}

void TFilterGraph::RemoveListener(IGraphListener* listener) {
    auto it = std::find(FListeners.begin(), FListeners.end(), listener);
    if (it != FListeners.end())
        FListeners.erase(it);
}

void TGraphBound::SetFilterGraph(TFilterGraph* graph) {
    if (graph == FFilterGraph)
        return;
    if (FFilterGraph) {
        FFilterGraph->RemoveMember(FMember);
        FFilterGraph->RemoveListener(FListener);
    }
    FFilterGraph = graph;
    if (graph) {
        graph->AddMember(FMember);
        graph->AddListener(FListener);
    }
    FilterGraphChanged(graph);
}

HRESULT TFilterGraph::ControlGraph(TControlStep step, HRESULT (IMediaControl::*command)()) {
    if (!FActive)
        return E_UNEXPECTED;
    SendControlStep(step, 0);
    auto control = Query<IMediaControl>(FGraph);
    return control ? (control.get()->*command)() : E_NOINTERFACE;
}

bool TFilterGraph::Play() {
    return SUCCEEDED(ControlGraph(ssPlay, &IMediaControl::Run));
}

bool TFilterGraph::PlayAt(int64_t clockNs) {
    auto sync = Query<ISyncPlay>(FGraph);
    if (!FActive || !sync)
        return false;
    SendControlStep(ssPlay, 0);
    return SUCCEEDED(sync->RunAt(clockNs));
}

bool TFilterGraph::Pause() {
    return ControlGraph(ssPause, &IMediaControl::Pause) == S_OK;
}

bool TFilterGraph::Stop() {
    return ControlGraph(ssStop, &IMediaControl::Stop) == S_OK;
}

bool TFilterGraph::Settled() {
    auto control = Query<IMediaControl>(FGraph);
    FILTER_STATE s = State_Stopped;
    return !control || control->GetState(0, &s) != S_FALSE;
}

GraphState TFilterGraph::State() {
    auto control = Query<IMediaControl>(FGraph);
    if (!control)
        return gsNone;
    FILTER_STATE s = State_Stopped;
    if (FAILED(control->GetState(0, &s)))
        return gsNone;
    switch (s) {
    case State_Stopped:
        return gsStopped;
    case State_Paused:
        return gsPaused;
    case State_Running:
        return gsPlaying;
    }
    return gsNone;
}

bool TFilterGraph::WaitSeekDone(int maxMs) {
    QElapsedTimer waited;
    waited.start();
    // Settled() asks again on every pass: a handler run during the wait may
    // have deactivated the component.
    while (!Settled()) {
        const int64_t left = maxMs - waited.elapsed();
        if (left <= 0)
            return false;
        DelayMs(int32_t(std::min<int64_t>(left, 2)));
    }
    return true;
}

HRESULT TFilterGraph::RenderFile(const QString& path) {
    if (!FGraph)
        return S_FALSE;
    SendControlStep(ssRendering, 0);
    // The file opens while events are handled: a handler may deactivate this
    // component (or destroy it), or stop the graph or render another file.
    // The graph manager is kept alive for this call; a superseded open
    // answers E_ABORT and leaves the newer state as it is.
    const QPointer<TFilterGraph> alive(this);
    const std::shared_ptr<IGraphBuilder> graph = FGraph;
    if (!graph)
        return S_FALSE;
    const HRESULT hr = graph->RenderFile(path);
    if (!alive || graph != FGraph || hr == E_ABORT)
        return FAILED(hr) ? hr : E_ABORT;
    if (SUCCEEDED(hr)) {
        FLastError.clear();
        ApplyVolume();
        ApplyBalance();
        ApplyRate();
        SendControlStep(ssRendered, 0);
    } else {
        FLastError = FGraph->LastErrorText();
    }
    return hr;
}

void TFilterGraph::EmptyGraph() {
    if (!FGraph)
        return;
    Stop();
    // Stop may have run handlers that deactivated the component.
    if (!FGraph)
        return;
    std::shared_ptr<IGraphBuilder> graph = FGraph;
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    if (FAILED(graph->EnumFilters(&filters)))
        return;
    for (auto& f : filters) {
        std::vector<std::shared_ptr<IPin>> pins;
        if (SUCCEEDED(f->EnumPins(&pins)))
            for (auto& p : pins)
                p->Disconnect();
    }
    std::vector<std::shared_ptr<IBaseFilter>> keep;
    for (IGraphMember* m : FMembers)
        if (auto f = m->MemberFilter())
            keep.push_back(f);
    for (auto& f : filters)
        if (std::find(keep.begin(), keep.end(), f) == keep.end())
            graph->RemoveFilter(f);
}

int32_t TFilterGraph::Duration() {
    auto seeking = Query<IMediaSeeking>(FGraph);
    int64_t d = 0;
    if (!seeking || FAILED(seeking->GetDuration(&d)))
        return 0;
    return static_cast<int32_t>(d / 10000);
}

QString TFilterGraph::LastError() {
    if (!FLastError.isEmpty())
        return FLastError;
    return FGraph ? FGraph->LastErrorText() : QString();
}

void TFilterGraph::SetLinearVolume(bool value) {
    if (value == FLinearVolume)
        return;
    FLinearVolume = value;
    ApplyVolume();
    ApplyBalance();
}

void TFilterGraph::SetVolume(int value) {
    FVolume = std::clamp(value, 0, 10000);
    ApplyVolume();
}

void TFilterGraph::SetBalance(int value) {
    FBalance = std::clamp(value, -10000, 10000);
    ApplyBalance();
}

void TFilterGraph::SetRate(double value) {
    FRate = value;
    ApplyRate();
}

void TFilterGraph::SetSoundEnd(int64_t ms) {
    if (auto end = Query<ISoundEnd>(FGraph))
        end->SetSoundEnd(ms >= 0 ? ms * 10000 : -1);
}

void TFilterGraph::ApplyVolume() {
    if (auto audio = Query<IBasicAudio>(FGraph))
        audio->put_Volume(VolumeToFramework(FVolume, FLinearVolume));
}

void TFilterGraph::ApplyBalance() {
    if (auto audio = Query<IBasicAudio>(FGraph))
        audio->put_Balance(BalanceToFramework(FBalance, FLinearVolume));
}

void TFilterGraph::ApplyRate() {
    if (auto seeking = Query<IMediaSeeking>(FGraph))
        seeking->SetRate(FRate);
}

void TFilterGraph::DrainEvents() {
    // Handlers may wait with a nested event loop (DelayMs); a notification
    // posted meanwhile starts a nested drain, and each event is delivered by
    // whichever drain takes it. A handler may also deactivate the component:
    // the drain then stops.
    while (FActive && FEvents) {
        std::shared_ptr<IMediaEventEx> events = FEvents;
        long code = 0;
        intptr_t p1 = 0, p2 = 0;
        if (events->GetEvent(&code, &p1, &p2, 0) != S_OK)
            break;
        struct FreeParams {
            std::shared_ptr<IMediaEventEx> e;
            long c;
            intptr_t a, b;
            ~FreeParams() { e->FreeEventParams(c, a, b); }
        } freeParams{events, code, p1, p2};
        DoEvent(code, p1, p2);
    }
}

void TFilterGraph::DoEvent(long event, intptr_t param1, intptr_t param2) {
    const std::vector<IGraphListener*> listeners = FListeners;
    for (IGraphListener* l : listeners)
        if (std::find(FListeners.begin(), FListeners.end(), l) != FListeners.end())
            l->FrameworkEvent(event, param1, param2);
    if (OnDSEvent)
        OnDSEvent(this, event, param1, param2);
    if (event == EC_COMPLETE && OnGraphComplete)
        OnGraphComplete(this, static_cast<HRESULT>(param1), reinterpret_cast<IBaseFilter*>(param2));
}
