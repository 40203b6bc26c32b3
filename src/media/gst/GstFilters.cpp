// Filters and pins of our layer over GStreamer.
#include "media/gst/GstFilters.h"

#include "media/gst/GstGraphManager.h"

#include <mutex>

void EnsureGstInit() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

GstElement* TopLevelOf(GstElement* element) {
    if (!element)
        return nullptr;
    GstElement* top = GST_ELEMENT(gst_object_ref(element));
    for (;;) {
        GstObject* parent = gst_object_get_parent(GST_OBJECT(top));
        if (!parent)
            return top;
        gst_object_unref(top);
        top = GST_ELEMENT(parent);
    }
}

bool IsStreaming(GstElement* element) {
    GstElement* top = TopLevelOf(element);
    if (!top)
        return false;
    GST_OBJECT_LOCK(top);
    const bool streaming =
        GST_STATE(top) >= GST_STATE_PAUSED || GST_STATE_PENDING(top) >= GST_STATE_PAUSED;
    GST_OBJECT_UNLOCK(top);
    gst_object_unref(top);
    return streaming;
}

// --- Pins ---------------------------------------------------------------------

TGstPin::TGstPin(GstPad* pad) : FPad(GST_PAD(gst_object_ref(pad))) {}

TGstPin::~TGstPin() {
    gst_object_unref(FPad);
}

HRESULT TGstPin::ConnectedTo(std::shared_ptr<IPin>* pin) {
    if (!pin)
        return E_POINTER;
    pin->reset();
    GstPad* peer = gst_pad_get_peer(FPad);
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    *pin = std::make_shared<TGstPin>(peer);
    gst_object_unref(peer);
    return S_OK;
}

static HRESULT UnlinkPad(GstPad* pad) {
    GstPad* peer = gst_pad_get_peer(pad);
    if (!peer)
        return S_FALSE;
    GstElement* owner = gst_pad_get_parent_element(pad);
    const bool streaming = owner && IsStreaming(owner);
    if (owner)
        gst_object_unref(owner);
    HRESULT hr = VFW_E_NOT_STOPPED;
    if (!streaming) {
        const bool ok = GST_PAD_IS_SRC(pad) ? gst_pad_unlink(pad, peer) : gst_pad_unlink(peer, pad);
        hr = ok ? S_OK : E_FAIL;
    }
    gst_object_unref(peer);
    return hr;
}

HRESULT TGstPin::Disconnect() {
    return UnlinkPad(FPad);
}

HRESULT TGstPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction)
        return E_POINTER;
    *direction = GST_PAD_IS_SRC(FPad) ? PINDIR_OUTPUT : PINDIR_INPUT;
    return S_OK;
}

// --- Filters ------------------------------------------------------------------------

QString TGstFilter::GraphName() const {
    std::lock_guard<std::mutex> guard(FNameLock);
    return FName;
}

void TGstFilter::SetGraphName(const QString& name) {
    std::lock_guard<std::mutex> guard(FNameLock);
    FName = name.left(128);
}

HRESULT TGstFilter::QueryFilterInfo(QString* name) {
    if (!name)
        return E_POINTER;
    *name = GraphName();
    return S_OK;
}

TGstRenderedFilter::TGstRenderedFilter(TGstGraph* graph, GstElement* element)
    : FElement(GST_ELEMENT(gst_object_ref(element))) {
    if (graph)
        FGraph = graph->weak_from_this();
    gchar* name = gst_element_get_name(element);
    SetGraphName(QString::fromUtf8(name));
    g_free(name);
}

TGstRenderedFilter::~TGstRenderedFilter() {
    gst_object_unref(FElement);
}

HRESULT TGstRenderedFilter::Stop() {
    // An element cannot be stopped alone inside a playing pipeline: stopping
    // a filter stops the graph it is in.
    if (auto graph = FGraph.lock())
        return graph->Stop();
    return S_OK;
}

HRESULT TGstRenderedFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins) {
    if (!pins)
        return E_POINTER;
    pins->clear();
    GstIterator* it = gst_element_iterate_pads(FElement);
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK:
            pins->push_back(std::make_shared<TGstPin>(GST_PAD(g_value_get_object(&item))));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            pins->clear();
            gst_iterator_resync(it);
            break;
        default:
            done = true;
            break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return S_OK;
}

// --- Member filters -------------------------------------------------------------------

TGstMemberFilter::~TGstMemberFilter() = default;

void TGstMemberFilter::Release() {
    std::lock_guard<std::mutex> guard(FElementLock);
    FCurrent = nullptr;
}

void TGstMemberFilter::SetCurrentElement(GstElement* element) {
    std::lock_guard<std::mutex> guard(FElementLock);
    FCurrent = element;
}

GstElement* TGstMemberFilter::CurrentElement() const {
    std::lock_guard<std::mutex> guard(FElementLock);
    return FCurrent ? GST_ELEMENT(gst_object_ref(FCurrent)) : nullptr;
}

void TGstMemberFilter::JoinGraph(const std::shared_ptr<TGstGraph>& graph) {
    FGraph = graph;
}

void TGstMemberFilter::LeaveGraph() {
    FGraph.reset();
}

HRESULT TGstMemberFilter::Stop() {
    if (auto graph = FGraph.lock())
        return graph->Stop();
    return S_OK;
}

HRESULT TGstMemberFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins) {
    if (!pins)
        return E_POINTER;
    pins->clear();
    auto self = shared_from_this();
    for (const char* name : PinNames())
        pins->push_back(std::make_shared<TGstMemberPin>(
            self, name, std::string_view(name) == "src" ? PINDIR_OUTPUT : PINDIR_INPUT));
    return S_OK;
}

TGstMemberPin::TGstMemberPin(std::shared_ptr<TGstMemberFilter> filter, const char* padName,
                             PIN_DIRECTION direction)
    : FFilter(std::move(filter)), FPadName(padName), FDirection(direction) {}

GstPad* TGstMemberPin::CurrentPad() const {
    GstElement* element = FFilter->CurrentElement();
    if (!element)
        return nullptr;
    GstPad* pad = gst_element_get_static_pad(element, FPadName);
    gst_object_unref(element);
    return pad;
}

HRESULT TGstMemberPin::ConnectedTo(std::shared_ptr<IPin>* pin) {
    if (!pin)
        return E_POINTER;
    pin->reset();
    GstPad* pad = CurrentPad();
    if (!pad)
        return VFW_E_NOT_CONNECTED;
    TGstPin p(pad);
    gst_object_unref(pad);
    return p.ConnectedTo(pin);
}

HRESULT TGstMemberPin::Disconnect() {
    GstPad* pad = CurrentPad();
    if (!pad)
        return S_FALSE;
    const HRESULT hr = UnlinkPad(pad);
    gst_object_unref(pad);
    return hr;
}

HRESULT TGstMemberPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction)
        return E_POINTER;
    *direction = FDirection;
    return S_OK;
}
