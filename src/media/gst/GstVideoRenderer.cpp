// The video renderer of our layer over GStreamer: keeps the newest decoded
// frame as the decoder made it (planar YUV for most video; a videoconvert
// in front turns rarer layouts into one of the four taken here, and passes
// the usual ones through untouched), hands it to the owner through an
// appsink and asks the owner to repaint. The owner draws the frame straight
// into the image its window shows (IVideoFrame::Draw): YUV to RGB, the
// scaling to the shown size, the crop of the zoom and the mirror all happen
// in one pass over the pixels that are actually visible, with libyuv's SIMD
// row functions. No RGB copy of the frame is kept or made between decoder
// and window. A picture the file says to turn (the stream's
// "image-orientation" tag, as phones record portrait video) is turned in
// the same pass: the strip of shown rows is converted from the band of
// picture columns it maps to and turned into place while it is still in the
// cache.
//
// Sound with a cover (an album's picture in its tags) shows the cover: the
// graph hands the tags it sees to the renderer (TakeTags), which keeps the
// decoded picture as a still frame for whenever no video frame is there.
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
#include <gst/tag/tag.h>
#include <gst/video/video.h>
#include <libyuv.h>

#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// Scratch memory of the thread that draws (the user-interface thread): one
// row, and a strip of picture rows in RGB for a scaled draw. The strip is a
// few hundred kilobytes and stays in the cache between its conversion and
// the scaling that reads it; a whole picture in RGB was 3.7 MB at 720p,
// written to memory and read back for every frame.
struct TDrawScratch {
    std::vector<uint8_t> Row;
    std::vector<uint8_t> Strip;
    // A turned picture's band of columns, converted before it is turned.
    std::vector<uint8_t> Band;
};

TDrawScratch& Scratch() {
    static thread_local TDrawScratch scratch;
    return scratch;
}

// Picture rows converted per strip of a scaled draw.
constexpr int StripRows = 48;
// Rows converted beyond those a strip's shown rows map to, on either side:
// the bilinear filter reads the row below its position, and the mapping of
// shown rows to picture rows (centred or corner-aligned) differs from the
// plain proportion by less than a row. The strip holds as many again, copies
// of its edge rows, so no read near the picture's edges leaves it.
constexpr int StripMargin = 2;

// How the stored picture is made upright: turned clockwise by Turn
// degrees, then flipped left to right when Flip.
struct TOrientation {
    int Turn = 0;
    bool Flip = false;
};

// The "image-orientation" tag's value, as GStreamer's own videoflip reads
// it: "flip-rotate-N" is the picture flipped left to right, then turned by
// N; which is turning by 360 - N (90 and 270) or N (0 and 180), then
// flipping. Unknown values: upright as stored.
TOrientation OrientationOf(const char* tag) {
    if (!tag)
        return {};
    static const struct {
        const char* name;
        TOrientation o;
    } known[] = {{"rotate-0", {0, false}},         {"rotate-90", {90, false}},
                 {"rotate-180", {180, false}},     {"rotate-270", {270, false}},
                 {"flip-rotate-0", {0, true}},     {"flip-rotate-90", {270, true}},
                 {"flip-rotate-180", {180, true}}, {"flip-rotate-270", {90, true}}};
    for (const auto& k : known)
        if (std::strcmp(tag, k.name) == 0)
            return k.o;
    return {};
}

class TGstVideoFrame : public IVideoFrame {
public:
    // Keeps the sample's buffer, not the sample: appsink reuses its sample
    // object for the next frame and must be able to write into it, so the
    // sample itself is released at once.
    TGstVideoFrame(GstSample* sample, TOrientation orientation) : FOrientation(orientation) {
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
        const double stored = double(info.width) * std::max(1, info.par_n) /
                              (double(std::max(1, info.height)) * std::max(1, info.par_d));
        FAspect = Turned() ? 1.0 / stored : stored;
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
    int Width() const override { return Turned() ? StoredHeight() : StoredWidth(); }
    int Height() const override { return Turned() ? StoredWidth() : StoredHeight(); }
    double DisplayAspect() const override { return FAspect; }

    bool Draw(uint8_t* dst, int dstStride, QSize shown, QRect part, bool mirrored) const override {
        if (!FMapped || !dst || part.isEmpty() || !QRect(QPoint(0, 0), shown).contains(part))
            return false;
        const int w = Width(), h = Height();
        mirrored = mirrored != FOrientation.Flip;
        if (shown == QSize(w, h) && FOrientation.Turn == 0) {
            DrawUnscaled(dst, dstStride, part, mirrored);
            return true;
        }
        // Scaled, strip by strip of the shown rows: the picture rows a
        // strip's filter reads are converted (and mirrored) into the
        // scratch strip, then scaled bilinear from there, writing only
        // `part`. libyuv works out every position from the whole picture
        // and the whole shown size, so each strip is handed over as the
        // whole picture whose rows first .. last happen to be in the strip,
        // and the shown rectangle as the clip's origin, which lies part's
        // offset before dst; both are only ever read or written inside.
        const int shownH = shown.height();
        const int perStrip = std::max(1, int(int64_t(StripRows) * shownH / h));
        const ptrdiff_t rgbStride = ptrdiff_t(w) * 4;
        auto* origin =
            reinterpret_cast<uint8_t*>(reinterpret_cast<intptr_t>(dst) -
                                       intptr_t(part.y()) * dstStride - intptr_t(part.x()) * 4);
        for (int top = part.top(); top <= part.bottom(); top += perStrip) {
            const int rows = std::min(perStrip, part.bottom() + 1 - top);
            const int first = std::max(0, int(int64_t(top) * h / shownH) - StripMargin);
            const int last = std::min(h - 1, int(int64_t(top + rows) * h / shownH) + StripMargin);
            const uint8_t* strip = ConvertStrip(first, last, mirrored);
            const auto* picture = reinterpret_cast<const uint8_t*>(
                reinterpret_cast<intptr_t>(strip) - intptr_t(first) * rgbStride);
            if (libyuv::ARGBScaleClip(picture, int(rgbStride), w, h, origin, dstStride,
                                      shown.width(), shownH, part.x(), top, part.width(), rows,
                                      libyuv::kFilterBilinear) != 0)
                return false;
        }
        return true;
    }

private:
    int StoredWidth() const { return FMapped ? GST_VIDEO_FRAME_WIDTH(&FFrame) : 0; }
    int StoredHeight() const { return FMapped ? GST_VIDEO_FRAME_HEIGHT(&FFrame) : 0; }
    bool Turned() const { return FOrientation.Turn == 90 || FOrientation.Turn == 270; }

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
        const int from = mirrored ? StoredWidth() - part.x() - part.width() : part.x();
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

    // Upright picture rows first .. last in RGB, mirrored when asked, in
    // the drawing thread's scratch strip; returns where row `first` is. The
    // StripMargin rows before and after are copies of the edge rows.
    const uint8_t* ConvertStrip(int first, int last, bool mirrored) const {
        TDrawScratch& s = Scratch();
        const int w = Width();
        const size_t rowBytes = size_t(w) * 4;
        const size_t rows = size_t(last - first + 1 + 2 * StripMargin);
        if (s.Strip.size() < rows * rowBytes)
            s.Strip.resize(rows * rowBytes);
        if (s.Row.size() < rowBytes)
            s.Row.resize(rowBytes);
        uint8_t* at = s.Strip.data() + StripMargin * rowBytes;
        if (Turned()) {
            ConvertTurnedStrip(first, last, at, mirrored);
        } else {
            // Turned half round, upright row y is stored row h - 1 - y
            // read right to left: a mirrored one is read as stored.
            const bool half = FOrientation.Turn == 180;
            const bool flip = mirrored != half;
            for (int y = first; y <= last; ++y) {
                uint8_t* out = at + size_t(y - first) * rowBytes;
                ConvertRow(half ? StoredHeight() - 1 - y : y, 0, w, flip ? s.Row.data() : out);
                if (flip)
                    libyuv::ARGBMirror(s.Row.data(), 0, out, 0, w, 1);
            }
        }
        for (int m = 1; m <= StripMargin; ++m) {
            std::memcpy(at - m * rowBytes, at, rowBytes);
            std::memcpy(at + size_t(last - first + m) * rowBytes,
                        at + size_t(last - first) * rowBytes, rowBytes);
        }
        return at;
    }

    // Upright rows first .. last of a picture turned a quarter, at `at`:
    // they are the stored picture's columns first .. last (clockwise) or
    // counted from its right edge (anticlockwise), converted as a band of
    // whole-height columns and turned into the strip by libyuv.
    void ConvertTurnedStrip(int first, int last, uint8_t* at, bool mirrored) const {
        TDrawScratch& s = Scratch();
        const int sw = StoredWidth(), sh = StoredHeight();
        const bool clockwise = FOrientation.Turn == 90;
        const int c0 = clockwise ? first : sw - 1 - last;
        const int c1 = clockwise ? last : sw - 1 - first;
        const int even = c0 & ~1;
        const int bandWidth = c1 + 1 - even;
        const size_t bandStride = size_t(bandWidth) * 4;
        if (s.Band.size() < bandStride * size_t(sh))
            s.Band.resize(bandStride * size_t(sh));
        for (int y = 0; y < sh; ++y)
            ConvertRow(y, even, bandWidth, s.Band.data() + size_t(y) * bandStride);
        const int w = Width();
        libyuv::ARGBRotate(s.Band.data() + size_t(c0 - even) * 4, int(bandStride), at, w * 4,
                           c1 + 1 - c0, sh, clockwise ? libyuv::kRotate90 : libyuv::kRotate270);
        if (!mirrored)
            return;
        for (int y = first; y <= last; ++y) {
            uint8_t* row = at + size_t(y - first) * size_t(w) * 4;
            libyuv::ARGBMirror(row, 0, s.Row.data(), 0, w, 1);
            std::memcpy(row, s.Row.data(), size_t(w) * 4);
        }
    }

    TOrientation FOrientation;
    double FAspect = 1.0;
    GstBuffer* FBuffer = nullptr;
    GstVideoFrame FFrame{};
    bool FMapped = false;
    const libyuv::YuvConstants* FConstants = &libyuv::kYuvI601Constants;
};

// A still picture (a cover) in 32-bit RGB, scaled bilinear like a frame.
class TStillFrame : public IVideoFrame {
public:
    explicit TStillFrame(QImage image) : FImage(std::move(image)) {}
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    double DisplayAspect() const override { return double(Width()) / std::max(1, Height()); }
    bool Cover() const override { return true; }
    bool Draw(uint8_t* dst, int dstStride, QSize shown, QRect part, bool) const override {
        if (FImage.isNull() || !dst || part.isEmpty() || !QRect(QPoint(0, 0), shown).contains(part))
            return false;
        // As a frame's strip: the whole shown rectangle's origin, which lies
        // part's offset before dst, only written inside part.
        auto* origin =
            reinterpret_cast<uint8_t*>(reinterpret_cast<intptr_t>(dst) -
                                       intptr_t(part.y()) * dstStride - intptr_t(part.x()) * 4);
        return libyuv::ARGBScaleClip(FImage.constBits(), int(FImage.bytesPerLine()), Width(),
                                     Height(), origin, dstStride, shown.width(), shown.height(),
                                     part.x(), part.y(), part.width(), part.height(),
                                     libyuv::kFilterBilinear) == 0;
    }

private:
    QImage FImage;
};

// The cover among a tag list's pictures: the front cover when one says it
// is, else the first picture, else the preview picture; decoded to 32-bit
// RGB. Null when there is none or it does not decode.
std::shared_ptr<const IVideoFrame> CoverOf(const GstTagList* tags) {
    GstSample* chosen = nullptr;
    for (const char* tag : {GST_TAG_IMAGE, GST_TAG_PREVIEW_IMAGE}) {
        GstSample* first = nullptr;
        const guint n = gst_tag_list_get_tag_size(tags, tag);
        for (guint i = 0; i < n && !chosen; ++i) {
            GstSample* sample = nullptr;
            if (!gst_tag_list_get_sample_index(tags, tag, i, &sample) || !sample)
                continue;
            const GstStructure* info = gst_sample_get_info(sample);
            const GValue* type = info ? gst_structure_get_value(info, "image-type") : nullptr;
            if (type && G_VALUE_HOLDS_ENUM(type) &&
                g_value_get_enum(type) == GST_TAG_IMAGE_TYPE_FRONT_COVER)
                chosen = sample;
            else if (!first)
                first = sample;
            else
                gst_sample_unref(sample);
        }
        if (!chosen)
            std::swap(chosen, first);
        if (first)
            gst_sample_unref(first);
        if (chosen)
            break;
    }
    if (!chosen)
        return nullptr;
    QImage image;
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(chosen);
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        image = QImage::fromData(map.data, int(std::min<gsize>(map.size, INT_MAX)));
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(chosen);
    if (image.isNull())
        return nullptr;
    // No larger than a screen needs: a huge embedded picture is scaled
    // down once here rather than for every paint.
    if (image.width() > 4096 || image.height() > 4096)
        image = image.scaled(4096, 4096, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return std::make_shared<TStillFrame>(image.convertToFormat(QImage::Format_RGB32));
}

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
        // The file's word on turning the picture comes as a tag ahead of the
        // frames it applies to, on the same thread.
        FOrientation = {};
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
            [](GstPad*, GstPadProbeInfo* info, gpointer self) {
                GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
                auto* renderer = static_cast<TGstVideoRenderer*>(self);
                if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
                    renderer->FOrientation = {};
                } else if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
                    GstTagList* tags = nullptr;
                    gst_event_parse_tag(event, &tags);
                    g_autofree gchar* orientation = nullptr;
                    if (tags &&
                        gst_tag_list_get_string(tags, GST_TAG_IMAGE_ORIENTATION, &orientation))
                        renderer->FOrientation = OrientationOf(orientation);
                }
                return GST_PAD_PROBE_OK;
            },
            this, nullptr);
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
            FCover.reset();
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
    // The video's newest frame; without one, the sound's cover.
    std::shared_ptr<const IVideoFrame> CurrentFrame() override {
        std::lock_guard<std::mutex> guard(FLock);
        FUpdatePending = false;
        return FFrame ? FFrame : FCover;
    }

    // Any thread: tags of the current pipeline. The first cover among them
    // is kept until the pipeline goes.
    void TakeTags(const GstTagList* tags) override {
        {
            std::lock_guard<std::mutex> guard(FLock);
            if (FCover)
                return;
        }
        auto cover = CoverOf(tags);
        if (!cover)
            return;
        std::lock_guard<std::mutex> guard(FLock);
        if (!FCover)
            FCover = std::move(cover);
        AskRepaintLocked();
    }

private:
    // Streaming thread.
    void TakeSample(GstSample* sample) {
        if (!sample)
            return;
        auto frame = std::make_shared<TGstVideoFrame>(sample, FOrientation);
        if (!frame->Valid())
            return;
        std::lock_guard<std::mutex> guard(FLock);
        FFrame = std::move(frame);
        AskRepaintLocked();
    }

    void AskRepaintLocked() {
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
    std::shared_ptr<const IVideoFrame> FCover;
    // Read and written on the video's streaming thread only.
    TOrientation FOrientation;
    QString FCaption;
    bool FShown = true;
};

} // namespace

std::shared_ptr<IBaseFilter> CreateVideoRenderer() {
    EnsureGstInit();
    return std::make_shared<TGstVideoRenderer>();
}
