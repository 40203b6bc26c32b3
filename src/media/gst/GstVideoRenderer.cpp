// The video renderer of our layer over GStreamer: converts every frame once
// into 32-bit RGB (videoconvertscale), scaled down to the size the owner
// shows it at when it is larger, hands it to the owner through an appsink
// and asks the owner to repaint. The owner paints the frame's pixels where
// they lie (no copy), scaling up only the part that is visible.
#include "media/gst/GstFilters.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace {

class TGstVideoFrame : public IVideoFrame {
public:
    // Keeps the sample's buffer, not the sample: appsink reuses its sample
    // object for the next frame and must be able to write into it, so the
    // sample itself is released at once.
    explicit TGstVideoFrame(GstSample* sample) {
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const bool known = caps && buffer && gst_video_info_from_caps(&info, caps);
        if (buffer)
            FBuffer = gst_buffer_ref(buffer);
        gst_sample_unref(sample);
        FMapped = known && gst_video_frame_map(&FFrame, &info, FBuffer, GST_MAP_READ);
    }
    ~TGstVideoFrame() override {
        if (FMapped)
            gst_video_frame_unmap(&FFrame);
        if (FBuffer)
            gst_buffer_unref(FBuffer);
    }
    bool Valid() const { return FMapped; }
    const uint8_t* Bits() const override {
        return static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&FFrame, 0));
    }
    int Width() const override { return GST_VIDEO_FRAME_WIDTH(&FFrame); }
    int Height() const override { return GST_VIDEO_FRAME_HEIGHT(&FFrame); }
    int BytesPerLine() const override { return GST_VIDEO_FRAME_PLANE_STRIDE(&FFrame, 0); }

private:
    GstBuffer* FBuffer = nullptr;
    GstVideoFrame FFrame{};
    bool FMapped = false;
};

class TGstVideoRenderer : public TGstMemberFilter, public IVideoWindow {
public:
    TMemberKind Kind() const override { return TMemberKind::VideoRenderer; }
    std::vector<const char*> PinNames() const override { return {"sink"}; }

    GstElement* Instantiate() override {
        GstElement* bin = NewBin("video renderer");
        GstElement* convert = gst_element_factory_make("videoconvertscale", "convert");
        GstElement* size = gst_element_factory_make("capsfilter", "size");
        GstElement* sink = gst_element_factory_make("appsink", "sink");
        // Stretched to the full rectangle, as a window-sized picture is.
        g_object_set(convert, "add-borders", FALSE, nullptr);
        // In time, dropping frames that would be shown late rather than
        // showing them late; no extra reference to the last frame.
        g_object_set(sink, "sync", TRUE, "qos", TRUE, "max-lateness", gint64(20 * GST_MSECOND),
                     "enable-last-sample", FALSE, "max-buffers", 1u, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_preroll = [](GstAppSink* s, gpointer self) {
            static_cast<TGstVideoRenderer*>(self)->TakeSample(gst_app_sink_pull_preroll(s));
            return GST_FLOW_OK;
        };
        callbacks.new_sample = [](GstAppSink* s, gpointer self) {
            static_cast<TGstVideoRenderer*>(self)->TakeSample(gst_app_sink_pull_sample(s));
            return GST_FLOW_OK;
        };
        // The renderer outlives its bins: the graph releases them before the
        // renderer can go (it holds the renderer while it has a pipeline).
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst_bin_add_many(GST_BIN(bin), convert, size, sink, nullptr);
        gst_element_link_many(convert, size, sink, nullptr);
        AddGhostPad(bin, "sink", convert, "sink");
        SetCurrentElement(bin);
        ApplySize(bin);
        return bin;
    }

    void Release() override {
        TGstMemberFilter::Release();
        QPointer<QWidget> owner;
        {
            std::lock_guard<std::mutex> guard(FLock);
            FFrame.reset();
            owner = FOwner;
        }
        if (owner)
            owner->update();
    }

    // IVideoWindow
    HRESULT put_Owner(QWidget* owner) override {
        std::lock_guard<std::mutex> guard(FLock);
        FOwner = owner;
        FUpdatePending = false;
        return S_OK;
    }
    HRESULT SetWindowPosition(int, int, int width, int height) override {
        if (width < 0 || height < 0)
            return E_INVALIDARG;
        {
            std::lock_guard<std::mutex> guard(FLock);
            if (width == FWidth && height == FHeight)
                return S_OK;
            FWidth = width;
            FHeight = height;
        }
        if (g_autoptr(GstElement) bin = CurrentElement(); bin)
            ApplySize(bin);
        return S_OK;
    }
    HRESULT SetVisibleRect(int left, int top, int width, int height) override {
        std::lock_guard<std::mutex> guard(FLock);
        FVisible = {left, top, width, height};
        return S_OK;
    }
    HRESULT put_Caption(const QString& caption) override {
        std::lock_guard<std::mutex> guard(FLock);
        FCaption = caption;
        return S_OK;
    }
    HRESULT put_MessageDrain(QWidget*) override { return S_OK; }
    HRESULT put_Visible(long visible) override {
        std::lock_guard<std::mutex> guard(FLock);
        FShown = visible != 0;
        return S_OK;
    }
    std::shared_ptr<const IVideoFrame> CurrentFrame() override {
        std::lock_guard<std::mutex> guard(FLock);
        FUpdatePending = false;
        return FFrame;
    }

private:
    // Streaming thread.
    void TakeSample(GstSample* sample) {
        if (!sample)
            return;
        auto frame = std::make_shared<TGstVideoFrame>(sample);
        if (!frame->Valid())
            return;
        std::lock_guard<std::mutex> guard(FLock);
        FFrame = std::move(frame);
        // One repaint request at a time: a frame that arrives before the
        // owner has painted the previous one replaces it.
        if (FOwner && !FUpdatePending) {
            FUpdatePending = true;
            QWidget* owner = FOwner;
            QMetaObject::invokeMethod(
                owner, [owner] { owner->update(); }, Qt::QueuedConnection);
        }
    }

    void ApplySize(GstElement* bin) {
        int width, height;
        {
            std::lock_guard<std::mutex> guard(FLock);
            width = FWidth;
            height = FHeight;
        }
        g_autoptr(GstElement) size = gst_bin_get_by_name(GST_BIN(bin), "size");
        if (!size)
            return;
        g_autoptr(GstCaps) caps = nullptr;
        // At most the shown size: a larger picture is scaled down here, to
        // the shown size, so that no pixel is converted in vain; a smaller
        // one is converted at its own size and scaled up by the painter,
        // which costs less than GStreamer's scaler (a 720p picture shown at
        // 1080p: about 3.6 instead of 4.5 CPU seconds per 15 s).
        if (width > 0 && height > 0)
            caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                       GST_TYPE_INT_RANGE, 1, std::min(width, 16384), "height",
                                       GST_TYPE_INT_RANGE, 1, std::min(height, 16384), nullptr);
        else
            caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
        g_object_set(size, "caps", caps, nullptr);
    }

    std::mutex FLock;
    QPointer<QWidget> FOwner;
    bool FUpdatePending = false;
    std::shared_ptr<const IVideoFrame> FFrame;
    int FWidth = 0, FHeight = 0;
    struct {
        int Left, Top, Width, Height;
    } FVisible{0, 0, 0, 0};
    QString FCaption;
    bool FShown = true;
};

} // namespace

std::shared_ptr<IBaseFilter> CreateVideoRenderer() {
    EnsureGstInit();
    return std::make_shared<TGstVideoRenderer>();
}
