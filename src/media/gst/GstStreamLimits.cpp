// Memory limits of the elements playbin3 makes for a file. A paused or
// playing 720p file held about 10 MB in the decoder's frame threads and
// 4 MB in decoded frames waiting in front of the video renderer; neither
// buys anything at the rates a practice video has.
#include "media/gst/GstFilters.h"

#include <cstring>

namespace {

// Up to this many pixels per second (1080p at 30 frames per second) one
// decoding thread keeps up with a fraction of a core: a 1080p30 H.264 clip
// of 8 Mbit/s made of noise (the worst a practice video gets) decodes in
// 6.6 ms a frame on one thread of a 2-core machine, a fifth of the frame's
// time, and a second thread made it no faster there. Each further frame
// thread holds its own decoding state and frames (15 MB at 1080p, 5 MB at
// 720p). Larger or faster pictures keep libav's own choice (one thread per
// core).
constexpr double OneThreadPixelRate = 1920.0 * 1080.0 * 30.0;

// Runs in the streaming thread before the decoder sees the caps: libav
// reads the thread count when it opens the codec for them.
GstPadProbeReturn ChooseDecoderThreads(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
    int width = 0, height = 0, num = 0, den = 1;
    if (!s || !gst_structure_get_int(s, "width", &width) ||
        !gst_structure_get_int(s, "height", &height))
        return GST_PAD_PROBE_OK;
    // An unknown or variable rate counts as 30 frames per second.
    double fps = 30.0;
    if (gst_structure_get_fraction(s, "framerate", &num, &den) && num > 0 && den > 0)
        fps = double(num) / den;
    const int threads = double(width) * height * fps <= OneThreadPixelRate ? 1 : 0;
    GstObject* decoder = gst_pad_get_parent(pad);
    if (decoder) {
        g_object_set(decoder, "max-threads", threads, nullptr);
        gst_object_unref(decoder);
    }
    return GST_PAD_PROBE_OK;
}

bool IsLibavVideoDecoder(GstElement* element, GstElementFactory* factory) {
    if (!g_str_has_prefix(GST_OBJECT_NAME(factory), "avdec_"))
        return false;
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    return klass && std::strstr(klass, "Video") &&
           g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads");
}

void OnElementSetup(GstElement*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory)
        return;
    if (IsLibavVideoDecoder(element, factory)) {
        if (GstPad* sink = gst_element_get_static_pad(element, "sink")) {
            gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &ChooseDecoderThreads,
                              nullptr, nullptr);
            gst_object_unref(sink);
        }
        return;
    }
    // The queue in front of the video renderer: one decoded frame ahead of
    // the one being shown is enough, since the decoder has the next one
    // ready behind it (two frames of slack, 66 ms at 30 fps); three kept
    // 4 MB of 720p frames for nothing.
    if (std::strcmp(GST_OBJECT_NAME(factory), "queue") == 0) {
        gchar* name = gst_element_get_name(element);
        if (name && std::strcmp(name, "vqueue") == 0)
            g_object_set(element, "max-size-buffers", 1u, nullptr);
        g_free(name);
    }
}

} // namespace

void LimitStreamMemory(GstElement* playbin) {
    g_signal_connect(playbin, "element-setup", G_CALLBACK(&OnElementSetup), nullptr);
}
