// Inside our layer over GStreamer: what the graph manager, the filters and
// the audio output share. Not for use outside src/media/gst/.
//
// Model. A graph manager renders a file with one playbin3 pipeline. The
// filters the components add before rendering (the video renderer, the
// sample grabber) are "member filters": each makes a fresh GStreamer bin for
// every pipeline it is rendered into (Instantiate) and forgets it when that
// pipeline goes (Release), so no element is ever moved between pipelines.
// The elements the pipeline made for the file are shown as "rendered
// filters"; the rendered chain is one unit: removing any of it removes all.
#pragma once

#include "media/MediaFramework.h"

#include <gst/gst.h>

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

enum class TMemberKind { VideoRenderer, SampleGrabber };

// Initialises GStreamer once per process.
void EnsureGstInit();
// Sets the memory limits of the elements a playbin3 makes for its file
// (decoder threads, decoded frames queued for the video renderer).
void LimitStreamMemory(GstElement* playbin);

// Owns one reference to a GstObject (an element, pad, clock, collection...)
// where a g_autoptr cannot go: members and containers.
struct TGstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T> using TGstObjectPtr = std::unique_ptr<T, TGstObjectUnref>;

// Calls visit(item) for every object the iterator yields (it takes the
// iterator). When the container changes meanwhile the walk starts over,
// after restart() has dropped what was collected.
template <typename T, typename Visit, typename Restart>
void ForEachObject(GstIterator* iterator, Visit visit, Restart restart) {
    g_autoptr(GstIterator) it = iterator;
    GValue item = G_VALUE_INIT;
    for (bool done = false; !done;) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK:
            visit(static_cast<T*>(g_value_get_object(&item)));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            restart();
            gst_iterator_resync(it);
            break;
        default:
            done = true;
            break;
        }
    }
    g_value_unset(&item);
}

// Exposes pad `padName` of `element` (inside `bin`) as the bin's ghost pad
// `name`.
void AddGhostPad(GstElement* bin, const char* name, GstElement* element, const char* padName);
// The same for a pad already at hand (the caller keeps its reference).
void AddGhostPad(GstElement* bin, const char* name, GstPad* target);

// The top-level element an element is in (a new reference), or null.
GstElement* TopLevelOf(GstElement* element);
// True while the pipeline an element is in is paused or playing (or is
// going there).
bool IsStreaming(GstElement* element);

// A pad seen through IPin.
class TGstPin : public IPin {
public:
    explicit TGstPin(GstPad* pad); // adds a reference
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override;
    // Unlinks the pad; refused (VFW_E_NOT_STOPPED) while its pipeline is
    // paused or playing.
    HRESULT Disconnect() override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;

private:
    TGstObjectPtr<GstPad> FPad;
};

// Common part of every filter.
class TGstFilter : public IBaseFilter {
public:
    // The name under which the filter is in a graph.
    QString GraphName() const;
    void SetGraphName(const QString& name);
    HRESULT QueryFilterInfo(QString* name) override;
    // An element cannot be stopped alone inside a playing pipeline: stopping
    // a filter stops the graph it is in.
    HRESULT Stop() override;

protected:
    mutable std::mutex FNameLock;
    QString FName;
    std::weak_ptr<IMediaControl> FGraph; // the graph the filter is in
};

// An element the pipeline made while rendering.
class TGstRenderedFilter : public TGstFilter {
public:
    TGstRenderedFilter(std::weak_ptr<IMediaControl> graph, GstElement* element); // adds a reference
    GstElement* Element() const { return FElement.get(); }
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;

protected:
    TGstObjectPtr<GstElement> FElement;
};

// A filter a component adds to the graph (video renderer, sample grabber).
class TGstMemberFilter : public TGstFilter, public std::enable_shared_from_this<TGstMemberFilter> {
public:
    ~TGstMemberFilter() override;
    virtual TMemberKind Kind() const = 0;
    // For the sample grabber: true when its media type puts it in the audio
    // path (audio PCM); a grabber of another type stays unconnected.
    virtual bool WantsAudio() const { return false; }
    // A new bin for one pipeline (floating reference), with ghost pads
    // "sink" and, for a filter with an output, "src".
    virtual GstElement* Instantiate() = 0;
    // The pipeline the last bin was made for is going away.
    virtual void Release();
    // Tags the current pipeline announced (any thread); the video renderer
    // takes a cover from them.
    virtual void TakeTags(const GstTagList*) {}
    // The bin of the current pipeline (a new reference), or null.
    GstElement* CurrentElement() const;
    // Pad names of the member's pins, in pin order.
    virtual std::vector<const char*> PinNames() const = 0;

    void JoinGraph(const std::shared_ptr<IMediaControl>& graph);
    void LeaveGraph();
    std::shared_ptr<IMediaControl> Graph() const { return FGraph.lock(); }

    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;

protected:
    // An empty bin for Instantiate, named after the filter's name in the
    // graph, or `unnamed` while it has none (floating reference).
    GstElement* NewBin(const char* unnamed) const;
    // Remembers the bin just made (called by Instantiate).
    void SetCurrentElement(GstElement* element);

    mutable std::mutex FElementLock;
    GstElement* FCurrent = nullptr; // weak: the pipeline owns it
};

// The current pad of a member filter's pin; follows the filter from
// pipeline to pipeline (unconnected when there is none).
class TGstMemberPin : public IPin {
public:
    TGstMemberPin(std::shared_ptr<TGstMemberFilter> filter, const char* padName,
                  PIN_DIRECTION direction);
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override;
    HRESULT Disconnect() override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;

private:
    GstPad* CurrentPad() const; // a new reference, or null
    std::shared_ptr<TGstMemberFilter> FFilter;
    const char* FPadName;
    PIN_DIRECTION FDirection;
};

// Makes the audio renderer for one pipeline: conversion to float, scaletempo
// (rate with the pitch kept), the volume (a "volume" element named "volume"),
// resampling and the output chosen by SetAudioOutput. A floating bin with a
// "sink" ghost pad. soundEnd (may be null): the media time (ns) where the
// output's sound stops, or negative for none; read on the streaming thread
// for every buffer, so it takes effect however late it is set.
GstElement* MakeAudioRenderer(std::shared_ptr<std::atomic<int64_t>> soundEnd = nullptr);
