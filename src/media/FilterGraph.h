// TFilterGraph: the media graph session. Owns one graph manager while Active,
// turns the framework's notifications into events on the user-interface
// thread, offers play, pause, stop, state, duration, volume, balance and
// rate, and keeps two registries of collaborators (graph members, which each
// put one filter into the graph, and graph listeners, which are told of every
// notification and every control step).
//
// Units: Duration() is in milliseconds; positions through IMediaSeeking are
// in 100 ns (divide by 10000 where they enter the program).
#pragma once

#include "media/MediaFramework.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TFilterGraph;

enum TGraphMode { gmNormal, gmCapture, gmDVD };

// What State() answers.
enum GraphState : int { gsNone = 0, gsStopped = 1, gsPaused = 2, gsPlaying = 3 };

// Operations announced to a graph member.
enum TGraphMemberOp {
    mnAdding,   // make the filter now
    mnAdded,    // the filter is in the graph
    mnRemoving, // the filter is about to leave the graph
    mnRemoved   // release it
};

// Control steps announced to graph listeners.
enum TControlStep {
    ssPlay,      // before run
    ssPause,     // before pause
    ssStop,      // before stop
    ssRendering, // before a file is rendered
    ssRendered,  // after a file was rendered successfully
    ssActive     // param 1: the graph manager was just made; 0: it is about to go
};

// A component that contributes one filter to the graph.
class IGraphMember {
public:
    virtual ~IGraphMember() = default;
    virtual std::shared_ptr<IBaseFilter> MemberFilter() = 0;
    virtual QString MemberFilterName() = 0;
    virtual void MemberNotify(TGraphMemberOp op) = 0;
};

// A component told of every framework notification and control step.
class IGraphListener {
public:
    virtual ~IGraphListener() = default;
    // Delivered before the graph component's own handling of the event.
    virtual void FrameworkEvent(long event, intptr_t param1, intptr_t param2) = 0;
    virtual void ControlStep(TControlStep kind, int param) = 0;
};

class TFilterGraph : public QObject {
    Q_OBJECT
public:
    explicit TFilterGraph(QObject* owner = nullptr);
    // Deactivates, then bound components find their binding cleared.
    ~TFilterGraph() override;

    // --- Properties ---
    bool Active() const { return FActive; }
    // Activation makes a fresh graph manager and adds the members' filters;
    // deactivation removes them and releases the manager. Writing the current
    // value does nothing.
    void SetActive(bool value);
    bool AutoCreate() const { return FAutoCreate; }
    void SetAutoCreate(bool value) { FAutoCreate = value; }
    // Called by the owner once it has finished loading: activates when
    // AutoCreate is set.
    void Loaded();
    TGraphMode Mode() const { return FMode; }
    void SetMode(TGraphMode value) { FMode = value; }
    bool GraphEdit() const { return FGraphEdit; }
    void SetGraphEdit(bool value) { FGraphEdit = value; }
    QString LogFile() const { return FLogFile; }
    void SetLogFile(const QString& value) { FLogFile = value; }
    bool LinearVolume() const { return FLinearVolume; }
    void SetLinearVolume(bool value);
    // 0..10000 (logarithmic mapping to hundredths of a decibel when
    // LinearVolume is set).
    int Volume() const { return FVolume; }
    void SetVolume(int value);
    // -10000..10000.
    int Balance() const { return FBalance; }
    void SetBalance(int value);
    double Rate() const { return FRate; }
    void SetRate(double value);
    // Where the sound stops, sample-exactly (ms of media time; negative
    // clears): see ISoundEnd. Not kept across files; setting the position
    // clears it. Does nothing while not Active.
    void SetSoundEnd(int64_t ms);
    int32_t Tag() const { return FTag; }
    void SetTag(int32_t value) { FTag = value; }

    // --- Control ---
    // Not Active: False. Otherwise ssPlay to the listeners, then run; True
    // for success of any kind.
    bool Play();
    // As Play, with the run lined up on the shared clock: the paused
    // position is heard at clockNs (see ISyncPlay).
    bool PlayAt(int64_t clockNs);
    // True only for plain success (a pause still completing answers False).
    bool Pause();
    bool Stop();
    GraphState State();
    // The graph is where it was asked to be: no change of state and no seek
    // still under way (a seek has completed once the sound and picture at
    // its target are ready at the outputs). True without a graph.
    bool Settled();
    // Waits, handling events (as DelayMs does), until a seek asked for has
    // completed, that is until the graph holds the new position's first
    // picture and sound and would run from there at once; at most maxMs.
    // True when it completed in time (or there is nothing to wait for).
    bool WaitSeekDone(int maxMs);
    // No graph manager: 1 and nothing else. Otherwise the framework status;
    // on failure LastError() holds the framework's reason. Events are handled
    // while the file opens (as long as the open makes progress); E_ABORT: a handler run
    // meanwhile stopped or emptied the graph, rendered another file or
    // deactivated the component, and what it did stands.
    HRESULT RenderFile(const QString& path);
    // Stops, disconnects every filter, and removes every filter except the
    // members' own, which stay in the graph, unconnected.
    void EmptyGraph();
    // Milliseconds; 0 without a graph or when unknown.
    int32_t Duration();
    // The framework's words for the last failure; empty when none.
    QString LastError();

    // --- Interface queries (IMediaSeeking, IFilterGraph, IGraphBuilder,
    // IMediaControl, IBasicAudio, IMediaEventEx): passed to the graph manager
    // while Active; null otherwise.
    template <class I> std::shared_ptr<I> QueryInterface() const { return Query<I>(FGraph); }

    // --- Registries ---
    void AddMember(IGraphMember* member);
    void RemoveMember(IGraphMember* member);
    void AddListener(IGraphListener* listener);
    void RemoveListener(IGraphListener* listener);

    // --- Events (bound by the owner) ---
    // The media has played to its end. result: the framework status (a
    // failure when playback ended through an error); renderer: may be null.
    std::function<void(TFilterGraph* sender, HRESULT result, IBaseFilter* renderer)>
        OnGraphComplete;
    std::function<void(TFilterGraph* sender)> OnActivate;
    std::function<void(TFilterGraph* sender, long event, intptr_t param1, intptr_t param2)>
        OnDSEvent;

protected:
    // Dispatch of one notification: listeners, OnDSEvent, then the code's own
    // event. Overridable.
    virtual void DoEvent(long event, intptr_t param1, intptr_t param2);

private:
    friend class TGraphNotifyWindow;
    void DrainEvents();
    void AddMemberFilter(IGraphMember* member);
    void RemoveMemberFilter(IGraphMember* member);
    void SendControlStep(TControlStep kind, int param);
    // Not Active: E_UNEXPECTED. Otherwise `step` to the listeners, then the
    // graph manager's `command`.
    HRESULT ControlGraph(TControlStep step, HRESULT (IMediaControl::*command)());
    void ApplyVolume();
    void ApplyBalance();
    void ApplyRate();

    bool FActive = false;
    bool FAutoCreate = false;
    TGraphMode FMode = gmNormal;
    bool FGraphEdit = false;
    QString FLogFile;
    bool FLinearVolume = true;
    int FVolume = 10000;
    int FBalance = 0;
    double FRate = 1.0;
    int32_t FTag = 0;
    std::shared_ptr<IGraphBuilder> FGraph;
    std::shared_ptr<IMediaEventEx> FEvents;
    QObject* FNotifyWindow = nullptr;
    std::vector<IGraphMember*> FMembers;
    std::vector<IGraphListener*> FListeners;
    QString FLastError;
};

// The binding to a TFilterGraph the media components share: the graph they
// work in, and their places in its registries (as a member, a listener or
// both). A component unbinds in its own destructor (SetFilterGraph(nullptr)):
// leaving an active graph calls its member callbacks, which no longer work
// once only this base is left. The binding clears itself when the graph
// component is destroyed first.
class TGraphBound {
public:
    TFilterGraph* FilterGraph() const { return FFilterGraph; }
    // Unregisters from the old graph component and registers with the new
    // one; binding the graph already bound does nothing.
    void SetFilterGraph(TFilterGraph* graph);

protected:
    // member, listener: the component in that role, or null.
    TGraphBound(IGraphMember* member, IGraphListener* listener)
        : FMember(member), FListener(listener) {}
    ~TGraphBound() = default;
    // Called after each change of binding (graph may be null).
    virtual void FilterGraphChanged(TFilterGraph* graph) { (void)graph; }

private:
    QPointer<TFilterGraph> FFilterGraph;
    IGraphMember* const FMember;
    IGraphListener* const FListener;
};

// The value sent to the framework for a volume of v (0..10000): hundredths of
// a decibel, -10000..0.
long VolumeToFramework(int v, bool linearVolume);
// The value sent for a balance of b (-10000..10000).
long BalanceToFramework(int b, bool linearVolume);
