// The video renderer of our layer over GStreamer: keeps the newest decoded
// frame as the decoder made it (planar YUV for most video; a videoconvert
// in front turns rarer layouts into one of the four taken here, and passes
// the usual ones through untouched), hands it to the owner through an
// appsink and asks the owner to repaint. The owner draws the frame straight
// into the image its window shows (IVideoFrame::Draw): YUV to RGB, the
// scaling to the shown size, the crop of the zoom and the mirror all happen
// in one pass over the pixels that are actually visible, with libyuv's SIMD
// row functions. No RGB copy of the frame is kept or made between decoder
// and window.
//
// Where it runs, on a 2-core machine at 1080p30 full screen: decoding costs
// what it costs; the conversion 0.4 ms a frame (GStreamer's own converter
// took 1.9 ms for the same); a 720p picture scaled up to 1080p 1.5 ms (the
// conversion at 720p then one bilinear scale), against 2.8 ms for
// GStreamer's conversion plus Qt's smooth scale.
//
// With OpenGL on real hardware the conversion and the scaling belong on the
// graphics card: a QOpenGLWidget (or GStreamer's glupload ! glcolorconvert
// into a texture shared with Qt) that uploads the three planes as textures
// and samples them in a fragment shader (matrix, bilinear scale, zoom crop
// and mirror as texture coordinates), so the CPU only decodes. That is the
// path to choose where a hardware context exists: QOpenGLContext made,
// GL_RENDERER not a software rasteriser ("llvmpipe", "softpipe",
// "SwiftShader"), no QT_XCB_GL_INTEGRATION=none. Without one (this kind of
// machine, a virtual display, software GL costing 2 to 4.5 times the CPU of
// this path) the path here is used, and it is the only one built today.
#include "media/gst/GstFilters.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <libyuv.h>

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

// Scratch memory of the thread that draws (the user-interface thread): one
// row, and the whole picture in RGB for a scaled draw, kept for the frame
// that made it so that a repaint of the same frame converts nothing again.
struct TDrawScratch {
    std::vector<uint8_t> Row;
    std::vector<uint8_t> Picture;
    uint64_t PictureOf = 0; // the frame's serial number; 0: none
    bool PictureMirrored = false;
};

TDrawScratch& Scratch() {
    static thread_local TDrawScratch scratch;
    return scratch;
}

class TGstVideoFrame : public IVideoFrame {
public:
    // Keeps the sample's buffer, not the sample: appsink reuses its sample
    // object for the next frame and must be able to write into it, so the
    // sample itself is released at once.
    explicit TGstVideoFrame(GstSample* sample) {
        static std::atomic<uint64_t> serial{0};
        FSerial = ++serial;
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const bool known = caps && buffer && gst_video_info_from_caps(&info, caps);
        if (buffer)
            FBuffer = gst_buffer_ref(buffer);
        gst_sample_unref(sample);
        FMapped = known && gst_video_frame_map(&FFrame, &info, FBuffer, GST_MAP_READ);
        if (!FMapped)
            return;
        const GstVideoColorimetry& c = info.colorimetry;
        const bool full = c.range == GST_VIDEO_COLOR_RANGE_0_255;
        if (c.matrix == GST_VIDEO_COLOR_MATRIX_BT709)
            FConstants = full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
        else if (c.matrix == GST_VIDEO_COLOR_MATRIX_BT2020)
            FConstants = full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
        else
            FConstants = full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
    ~TGstVideoFrame() override {
        if (FMapped)
            gst_video_frame_unmap(&FFrame);
        if (FBuffer)
            gst_buffer_unref(FBuffer);
    }
    bool Valid() const { return FMapped; }
    int Width() const override { return FMapped ? GST_VIDEO_FRAME_WIDTH(&FFrame) : 0; }
    int Height() const override { return FMapped ? GST_VIDEO_FRAME_HEIGHT(&FFrame) : 0; }

    bool Draw(uint8_t* dst, int dstStride, QSize shown, QRect part, bool mirrored) const override {
        if (!FMapped || !dst || part.isEmpty() || !QRect(QPoint(0, 0), shown).contains(part))
            return false;
        const int w = Width(), h = Height();
        if (shown == QSize(w, h)) {
            DrawUnscaled(dst, dstStride, part, mirrored);
            return true;
        }
        // Scaled: the whole picture in RGB once (mirrored as asked), then
        // scaled bilinear to the shown size, writing only `part`. libyuv
        // places the clip itself from the rectangle's origin, which lies
        // part's offset before dst (only ever addressed inside part).
        const uint8_t* rgb = RgbPicture(mirrored);
        auto* origin =
            reinterpret_cast<uint8_t*>(reinterpret_cast<intptr_t>(dst) -
                                       intptr_t(part.y()) * dstStride - intptr_t(part.x()) * 4);
        return libyuv::ARGBScaleClip(rgb, w * 4, w, h, origin, dstStride, shown.width(),
                                     shown.height(), part.x(), part.y(), part.width(),
                                     part.height(), libyuv::kFilterBilinear) == 0;
    }

private:
    // Row y of the picture, columns x .. x + width - 1 (x even: two columns
    // share their colour samples), as 32-bit pixels at `to`.
    void ConvertRow(int y, int x, int width, uint8_t* to) const {
        const GstVideoFrame* f = &FFrame;
        const auto plane = [f](int p, int row, int offset) {
            return static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(f, p)) +
                   ptrdiff_t(row) * GST_VIDEO_FRAME_PLANE_STRIDE(f, p) + offset;
        };
        switch (GST_VIDEO_FRAME_FORMAT(f)) {
        case GST_VIDEO_FORMAT_I420:
        case GST_VIDEO_FORMAT_YV12: {
            // The U and V planes by component, whichever comes first.
            const int u = GST_VIDEO_FRAME_COMP_PLANE(f, GST_VIDEO_COMP_U);
            const int v = GST_VIDEO_FRAME_COMP_PLANE(f, GST_VIDEO_COMP_V);
            libyuv::I420ToARGBMatrix(plane(0, y, x), 0, plane(u, y / 2, x / 2), 0,
                                     plane(v, y / 2, x / 2), 0, to, 0, FConstants, width, 1);
            break;
        }
        case GST_VIDEO_FORMAT_NV12:
            libyuv::NV12ToARGBMatrix(plane(0, y, x), 0, plane(1, y / 2, x), 0, to, 0, FConstants,
                                     width, 1);
            break;
        default: { // BGRx: only the unused byte made opaque
            const uint8_t* from = plane(0, y, x * 4);
            for (int i = 0; i < width; ++i) {
                std::memcpy(to + 4 * i, from + 4 * i, 3);
                to[4 * i + 3] = 0xff;
            }
            break;
        }
        }
    }

    void DrawUnscaled(uint8_t* dst, int dstStride, QRect part, bool mirrored) const {
        // The picture's columns for part: its own, or mirrored their mirror
        // image; converted from the even column at or before them.
        const int from = mirrored ? Width() - part.x() - part.width() : part.x();
        const int even = from & ~1;
        const int width = from + part.width() - even;
        // Straight into the window's image when nothing is left to do after
        // the conversion; else through one row that stays in the cache.
        const bool direct = !mirrored && even == from;
        std::vector<uint8_t>& row = Scratch().Row;
        if (!direct && row.size() < size_t(width) * 4)
            row.resize(size_t(width) * 4);
        for (int y = part.top(); y <= part.bottom(); ++y) {
            uint8_t* out = dst + ptrdiff_t(y - part.top()) * dstStride;
            ConvertRow(y, even, width, direct ? out : row.data());
            if (mirrored)
                libyuv::ARGBMirror(row.data() + (from - even) * 4, 0, out, 0, part.width(), 1);
            else if (!direct)
                std::memcpy(out, row.data() + (from - even) * 4, size_t(part.width()) * 4);
        }
    }

    // The whole picture in RGB at its own size, mirrored when asked; kept in
    // the drawing thread's scratch for this frame.
    const uint8_t* RgbPicture(bool mirrored) const {
        TDrawScratch& s = Scratch();
        const int w = Width(), h = Height();
        const size_t bytes = size_t(w) * size_t(h) * 4;
        if (s.PictureOf == FSerial && s.PictureMirrored == mirrored && s.Picture.size() >= bytes)
            return s.Picture.data();
        if (s.Picture.size() < bytes)
            s.Picture.resize(bytes);
        s.PictureOf = FSerial;
        s.PictureMirrored = mirrored;
        if (mirrored && s.Row.size() < size_t(w) * 4)
            s.Row.resize(size_t(w) * 4);
        for (int y = 0; y < h; ++y) {
            uint8_t* out = s.Picture.data() + size_t(y) * size_t(w) * 4;
            ConvertRow(y, 0, w, mirrored ? s.Row.data() : out);
            if (mirrored)
                libyuv::ARGBMirror(s.Row.data(), 0, out, 0, w, 1);
        }
        return s.Picture.data();
    }

    GstBuffer* FBuffer = nullptr;
    GstVideoFrame FFrame{};
    bool FMapped = false;
    uint64_t FSerial = 0;
    const libyuv::YuvConstants* FConstants = &libyuv::kYuvI601Constants;
};

class TGstVideoRenderer : public TGstMemberFilter, public IVideoWindow {
public:
    TMemberKind Kind() const override { return TMemberKind::VideoRenderer; }
    std::vector<const char*> PinNames() const override { return {"sink"}; }

    GstElement* Instantiate() override {
        GstElement* bin = NewBin("video renderer");
        GstElement* convert = gst_element_factory_make("videoconvert", "convert");
        GstElement* sink = gst_element_factory_make("appsink", "sink");
        // The layouts Draw reads; the decoder's own passes through.
        g_autoptr(GstCaps) formats =
            gst_caps_from_string("video/x-raw,format=(string){I420,YV12,NV12,BGRx}");
        // In time, dropping frames that would be shown late rather than
        // showing them late; no extra reference to the last frame.
        g_object_set(sink, "caps", formats, "sync", TRUE, "qos", TRUE, "max-lateness",
                     gint64(20 * GST_MSECOND), "enable-last-sample", FALSE, "max-buffers", 1u,
                     nullptr);
        // Frames are read with their own strides and plane offsets: say so,
        // or a decoder whose frames are padded copies each one to unpadded
        // memory first.
        g_autoptr(GstPad) pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM,
            [](GstPad*, GstPadProbeInfo* info, gpointer) {
                GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
                if (GST_QUERY_TYPE(query) == GST_QUERY_ALLOCATION)
                    gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
                return GST_PAD_PROBE_OK;
            },
            nullptr, nullptr);
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
        gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
        gst_element_link_many(convert, sink, nullptr);
        AddGhostPad(bin, "sink", convert, "sink");
        SetCurrentElement(bin);
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
    // The owner draws each frame at its own size: nothing to change here.
    HRESULT SetWindowPosition(int, int, int width, int height) override {
        return width < 0 || height < 0 ? E_INVALIDARG : S_OK;
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

    std::mutex FLock;
    QPointer<QWidget> FOwner;
    bool FUpdatePending = false;
    std::shared_ptr<const IVideoFrame> FFrame;
    QString FCaption;
    bool FShown = true;
};

} // namespace

std::shared_ptr<IBaseFilter> CreateVideoRenderer() {
    EnsureGstInit();
    return std::make_shared<TGstVideoRenderer>();
}
