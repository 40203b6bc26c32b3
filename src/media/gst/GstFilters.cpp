// Filters and pins of our layer over GStreamer.
#include "media/gst/GstFilters.h"

#include <mutex>

void EnsureGstInit() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

GstElement* TopLevelOf(GstElement* element) {
    if (!element)
        return nullptr;
    TGstObjectPtr<GstObject> top(GST_OBJECT(gst_object_ref(element)));
    while (GstObject* parent = gst_object_get_parent(top.get()))
        top.reset(parent);
    return GST_ELEMENT(top.release());
}

bool IsStreaming(GstElement* element) {
    g_autoptr(GstElement) top = TopLevelOf(element);
    if (!top)
        return false;
    GST_OBJECT_LOCK(top);
    const bool streaming =
        GST_STATE(top) >= GST_STATE_PAUSED || GST_STATE_PENDING(top) >= GST_STATE_PAUSED;
    GST_OBJECT_UNLOCK(top);
    return streaming;
}

void AddGhostPad(GstElement* bin, const char* name, GstElement* element, const char* padName) {
    g_autoptr(GstPad) pad = gst_element_get_static_pad(element, padName);
    AddGhostPad(bin, name, pad);
}

void AddGhostPad(GstElement* bin, const char* name, GstPad* target) {
    gst_element_add_pad(bin, gst_ghost_pad_new(name, target));
}

// --- Pins ---------------------------------------------------------------------

TGstPin::TGstPin(GstPad* pad) : FPad(GST_PAD(gst_object_ref(pad))) {}

HRESULT TGstPin::ConnectedTo(std::shared_ptr<IPin>* pin) {
    if (!pin)
        return E_POINTER;
    pin->reset();
    g_autoptr(GstPad) peer = gst_pad_get_peer(FPad.get());
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    *pin = std::make_shared<TGstPin>(peer);
    return S_OK;
}

static HRESULT UnlinkPad(GstPad* pad) {
    g_autoptr(GstPad) peer = gst_pad_get_peer(pad);
    if (!peer)
        return S_FALSE;
    g_autoptr(GstElement) owner = gst_pad_get_parent_element(pad);
    if (owner && IsStreaming(owner))
        return VFW_E_NOT_STOPPED;
    const bool ok = GST_PAD_IS_SRC(pad) ? gst_pad_unlink(pad, peer) : gst_pad_unlink(peer, pad);
    return ok ? S_OK : E_FAIL;
}

HRESULT TGstPin::Disconnect() {
    return UnlinkPad(FPad.get());
}

HRESULT TGstPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction)
        return E_POINTER;
    *direction = GST_PAD_IS_SRC(FPad.get()) ? PINDIR_OUTPUT : PINDIR_INPUT;
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

HRESULT TGstFilter::Stop() {
    if (auto graph = FGraph.lock())
        return graph->Stop();
    return S_OK;
}

TGstRenderedFilter::TGstRenderedFilter(std::weak_ptr<IMediaControl> graph, GstElement* element)
    : FElement(GST_ELEMENT(gst_object_ref(element))) {
    FGraph = std::move(graph);
    g_autofree gchar* name = gst_element_get_name(element);
    SetGraphName(QString::fromUtf8(name));
}

HRESULT TGstRenderedFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins) {
    if (!pins)
        return E_POINTER;
    pins->clear();
    ForEachObject<GstPad>(
        gst_element_iterate_pads(Element()),
        [pins](GstPad* pad) { pins->push_back(std::make_shared<TGstPin>(pad)); },
        [pins] { pins->clear(); });
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

void TGstMemberFilter::JoinGraph(const std::shared_ptr<IMediaControl>& graph) {
    FGraph = graph;
}

void TGstMemberFilter::LeaveGraph() {
    FGraph.reset();
}

GstElement* TGstMemberFilter::NewBin(const char* unnamed) const {
    const QString name = GraphName();
    return gst_bin_new(name.isEmpty() ? unnamed : name.toUtf8().constData());
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
    g_autoptr(GstElement) element = FFilter->CurrentElement();
    return element ? gst_element_get_static_pad(element, FPadName) : nullptr;
}

HRESULT TGstMemberPin::ConnectedTo(std::shared_ptr<IPin>* pin) {
    if (!pin)
        return E_POINTER;
    pin->reset();
    g_autoptr(GstPad) pad = CurrentPad();
    if (!pad)
        return VFW_E_NOT_CONNECTED;
    return TGstPin(pad).ConnectedTo(pin);
}

HRESULT TGstMemberPin::Disconnect() {
    g_autoptr(GstPad) pad = CurrentPad();
    return pad ? UnlinkPad(pad) : S_FALSE;
}

HRESULT TGstMemberPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction)
        return E_POINTER;
    *direction = FDirection;
    return S_OK;
}
