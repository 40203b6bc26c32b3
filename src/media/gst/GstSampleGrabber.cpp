// The sample grabber of our layer over GStreamer: in the audio path, it
// converts the decoded sound to interleaved two-channel PCM of the sound's
// own sample width (mono and multichannel sound mixed to two channels) and
// calls the buffer callback, on the streaming thread, for every buffer, with
// the buffer's bytes to change in place.
#include "media/gst/GstFilters.h"

#include <gst/audio/audio.h>

#include <cstring>

namespace {

void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

class TGstSampleGrabber : public TGstMemberFilter, public ISampleGrabber {
public:
    TMemberKind Kind() const override { return TMemberKind::SampleGrabber; }
    std::vector<const char*> PinNames() const override { return {"sink", "src"}; }
    bool WantsAudio() const override {
        std::lock_guard<std::mutex> guard(FLock);
        return FType.majortype == MEDIATYPE_Audio &&
               (FType.subtype == MEDIASUBTYPE_PCM || FType.subtype == MEDIASUBTYPE_IEEE_FLOAT);
    }

    GstElement* Instantiate() override {
        GstElement* bin = NewBin("sample grabber");
        GstElement* convert = gst_element_factory_make("audioconvert", "convert");
        GstElement* format = gst_element_factory_make("capsfilter", "format");
        g_autoptr(GstCaps) caps = AcceptedCaps();
        g_object_set(format, "caps", caps, nullptr);
        gst_bin_add_many(GST_BIN(bin), convert, format, nullptr);
        gst_element_link(convert, format);
        g_autoptr(GstPad) out = gst_element_get_static_pad(format, "src");
        gst_pad_add_probe(out,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &TGstSampleGrabber::Probe, this, nullptr);
        AddGhostPad(bin, "sink", convert, "sink");
        AddGhostPad(bin, "src", out);
        {
            std::lock_guard<std::mutex> guard(FLock);
            FConnected = false;
        }
        SetCurrentElement(bin);
        return bin;
    }

    void Release() override {
        TGstMemberFilter::Release();
        std::lock_guard<std::mutex> guard(FLock);
        FConnected = false;
    }

    // ISampleGrabber
    HRESULT SetMediaType(const AM_MEDIA_TYPE& type) override {
        std::lock_guard<std::mutex> guard(FLock);
        FType = type;
        return S_OK;
    }
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
        if (!type)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(FLock);
        if (!FConnected)
            return VFW_E_NOT_CONNECTED;
        *type = FConnectedType;
        return S_OK;
    }
    HRESULT SetBufferSamples(bool buffer) override {
        // No copy of the last sample is kept (nothing here asks for one);
        // the setting is only recorded.
        std::lock_guard<std::mutex> guard(FLock);
        FBufferSamples = buffer;
        return S_OK;
    }
    HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) override {
        if (whichMethod != 0 && whichMethod != 1)
            return E_INVALIDARG;
        // Waits for a callback under way to finish.
        std::lock_guard<std::mutex> guard(FCallbackLock);
        FCallback = callback;
        FWhichMethod = whichMethod;
        return S_OK;
    }

private:
    GstCaps* AcceptedCaps() const {
        AM_MEDIA_TYPE type;
        {
            std::lock_guard<std::mutex> guard(FLock);
            type = FType;
        }
        // Integer PCM keeps the decoder's width where it has one of the four
        // widths the channel rewriting handles; float stays 32-bit float.
        const char* formats =
            type.subtype == MEDIASUBTYPE_IEEE_FLOAT ? "{ F32LE }" : "{ S16LE, S32LE, S24LE, U8 }";
        g_autofree gchar* text =
            g_strdup_printf("audio/x-raw, format=(string)%s, layout=(string)interleaved, "
                            "channels=(int)2, channel-mask=(bitmask)0x3",
                            formats);
        return gst_caps_from_string(text);
    }

    // Streaming thread.
    void TakeCaps(GstCaps* caps) {
        GstAudioInfo info;
        if (!gst_audio_info_from_caps(&info, caps))
            return;
        AM_MEDIA_TYPE t;
        t.majortype = MEDIATYPE_Audio;
        const bool isFloat = GST_AUDIO_INFO_IS_FLOAT(&info);
        t.subtype = isFloat ? MEDIASUBTYPE_IEEE_FLOAT : MEDIASUBTYPE_PCM;
        t.bFixedSizeSamples = true;
        t.bTemporalCompression = false;
        const int channels = GST_AUDIO_INFO_CHANNELS(&info);
        const int width = GST_AUDIO_INFO_WIDTH(&info);
        const int rate = GST_AUDIO_INFO_RATE(&info);
        const int blockAlign = channels * width / 8;
        t.lSampleSize = uint32_t(blockAlign);
        t.formattype = FORMAT_WaveFormatEx;
        t.cbFormat = 18;
        std::memset(t.pbFormat, 0, sizeof t.pbFormat);
        PutLE16(t.pbFormat + 0, isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM);
        PutLE16(t.pbFormat + 2, uint16_t(channels));
        PutLE32(t.pbFormat + 4, uint32_t(rate));
        PutLE32(t.pbFormat + 8, uint32_t(rate * blockAlign));
        PutLE16(t.pbFormat + 12, uint16_t(blockAlign));
        PutLE16(t.pbFormat + 14, uint16_t(width));
        PutLE16(t.pbFormat + 16, 0);
        std::lock_guard<std::mutex> guard(FLock);
        FConnectedType = t;
        FConnected = true;
    }

    static GstPadProbeReturn Probe(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* grabber = static_cast<TGstSampleGrabber*>(self);
        if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                if (caps)
                    grabber->TakeCaps(caps);
            }
            return GST_PAD_PROBE_OK;
        }
        std::lock_guard<std::mutex> guard(grabber->FCallbackLock);
        if (!grabber->FCallback)
            return GST_PAD_PROBE_OK;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const double time =
            GST_BUFFER_PTS_IS_VALID(buffer) ? double(GST_BUFFER_PTS(buffer)) / GST_SECOND : 0.0;
        if (grabber->FWhichMethod == 0) {
            grabber->FCallback->SampleCB(time, buffer);
            return GST_PAD_PROBE_OK;
        }
        // Changed in place: the buffer is made writable (copied only when
        // someone else still holds it) and passed on.
        buffer = gst_buffer_make_writable(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READWRITE)) {
            grabber->FCallback->BufferCB(time, map.data, long(map.size));
            gst_buffer_unmap(buffer, &map);
        }
        return GST_PAD_PROBE_OK;
    }

    mutable std::mutex FLock;
    AM_MEDIA_TYPE FType;
    AM_MEDIA_TYPE FConnectedType;
    bool FConnected = false;
    bool FBufferSamples = false;
    std::mutex FCallbackLock;
    ISampleGrabberCB* FCallback = nullptr;
    long FWhichMethod = 1;
};

} // namespace

std::shared_ptr<IBaseFilter> CreateSampleGrabber() {
    EnsureGstInit();
    return std::make_shared<TGstSampleGrabber>();
}
