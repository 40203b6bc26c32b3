#include "timeline/MediaPeaks.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>
#include <QThread>

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 kHashedEnd = 1 << 20; // bytes hashed at each end of the file
// How often the sound's pieces are handed over, wall-clock ms: often enough
// for a waveform that grows smoothly, rarely enough to cost nothing.
constexpr qint64 kHandOverMs = 50;

void EnsureGst() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

// Size, time and a hash of both ends: cheap for a film of gigabytes, and a
// re-encoded or re-downloaded file of the same name and size still differs.
// The size and time also go into the cache files (*media).
QString FileKey(const QString& path, TCachedMedia* media, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return {};
    }
    const QFileInfo info(path);
    media->Size = info.size();
    media->ModifiedMs = info.lastModified().toMSecsSinceEpoch();
    QCryptographicHash h(QCryptographicHash::Sha1);
    QByteArray head;
    QDataStream(&head, QIODevice::WriteOnly) << qint64(media->Size) << qint64(media->ModifiedMs);
    h.addData(head);
    h.addData(f.read(kHashedEnd));
    if (f.size() > kHashedEnd) {
        f.seek(std::max(kHashedEnd, f.size() - kHashedEnd));
        h.addData(f.read(kHashedEnd));
    }
    return QString::fromLatin1(h.result().toHex());
}

bool IsCaps(GstCaps* caps, const char* prefix) {
    if (!caps || gst_caps_get_size(caps) == 0)
        return false;
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    return g_str_has_prefix(name, prefix);
}

GstElement* Make(const char* factory) {
    GstElement* e = gst_element_factory_make(factory, nullptr);
    if (!e)
        throw std::runtime_error(std::string("the GStreamer element ") + factory + " is missing");
    return e;
}

// A sink that swallows a stream nobody looks at, without waiting on it.
void Swallow(GstElement* pipeline, GstPad* pad) {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* in = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, in);
    gst_object_unref(in);
}

QString ErrorOf(GstMessage* msg) {
    GError* err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    if (err)
        g_error_free(err);
    return text;
}

// decodebin stops before the decoder for the streams a pipeline does not
// decode (prefixes of their caps), so they cost nothing but their bytes.
struct TDecodeSetup {
    GstElement* pipeline = nullptr;
    GstElement* decode = nullptr;
    std::vector<const char*> undecoded;
    std::vector<GstPad*> pads; // exposed, held until no-more-pads
    std::function<void(std::vector<GstPad*>&)> choose;
};

gboolean AutoplugContinue(GstElement*, GstPad* pad, GstCaps* caps, gpointer data) {
    auto* s = static_cast<TDecodeSetup*>(data);
    // The file's own type ("video/quicktime" for an .m4a) always goes on to
    // its demuxer; only the streams that come out of it may stop here.
    // decodebin hands over its own ghost pad; the element behind it is the
    // ghost's target's.
    GstPad* real = GST_IS_GHOST_PAD(pad) ? gst_ghost_pad_get_target(GST_GHOST_PAD(pad))
                                         : GST_PAD(gst_object_ref(pad));
    GstElement* parent = real ? gst_pad_get_parent_element(real) : nullptr;
    if (real)
        gst_object_unref(real);
    if (!parent)
        return TRUE;
    GstElementFactory* f = gst_element_get_factory(parent);
    const bool typefound = f && g_str_equal(GST_OBJECT_NAME(f), "typefind");
    gst_object_unref(parent);
    if (typefound)
        return TRUE;
    for (const char* p : s->undecoded)
        if (IsCaps(caps, p))
            return FALSE;
    return TRUE;
}

// decodebin exposes all pads, then signals no-more-pads, and lets data flow
// after that: the choice is made with every stream known.
void PadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* s = static_cast<TDecodeSetup*>(data);
    s->pads.push_back(GST_PAD(gst_object_ref(pad)));
}

void NoMorePads(GstElement*, gpointer data) {
    auto* s = static_cast<TDecodeSetup*>(data);
    s->choose(s->pads);
    for (GstPad* p : s->pads) {
        if (!gst_pad_is_linked(p))
            Swallow(s->pipeline, p);
        gst_object_unref(p);
    }
    s->pads.clear();
}

GstElement* MakeDecodePipeline(const QString& path, TDecodeSetup& setup) {
    setup.pipeline = gst_pipeline_new(nullptr);
    GstElement* src = Make("filesrc");
    g_object_set(src, "location", QFile::encodeName(path).constData(), nullptr);
    setup.decode = Make("decodebin");
    gst_bin_add_many(GST_BIN(setup.pipeline), src, setup.decode, nullptr);
    gst_element_link(src, setup.decode);
    g_signal_connect(setup.decode, "autoplug-continue", G_CALLBACK(AutoplugContinue), &setup);
    g_signal_connect(setup.decode, "pad-added", G_CALLBACK(PadAdded), &setup);
    g_signal_connect(setup.decode, "no-more-pads", G_CALLBACK(NoMorePads), &setup);
    return setup.pipeline;
}

void StopPipeline(TDecodeSetup& s) {
    if (!s.pipeline)
        return;
    gst_element_set_state(s.pipeline, GST_STATE_NULL);
    gst_object_unref(s.pipeline);
    s.pipeline = nullptr;
    for (GstPad* p : s.pads)
        gst_object_unref(p);
    s.pads.clear();
}

GstPad* StaticPad(GstElement* e, const char* name) {
    return gst_element_get_static_pad(e, name);
}

} // namespace

struct TMediaPeaks::TJob {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::thread thread;
};

// Everything below runs on the job's worker thread (or on GStreamer's
// streaming threads) and reaches the object only through Post().
struct TMediaPeaksWork {
    TMediaPeaks* owner;
    uint64_t generation;
    std::shared_ptr<TMediaPeaks::TJob> job;
    QString path;
    int track;

    void Post(std::function<void(TMediaPeaks&)> change) const {
        TMediaPeaks* o = owner;
        const uint64_t g = generation;
        QMetaObject::invokeMethod(
            o, [o, g, change = std::move(change)] { o->Receive(g, change); }, Qt::QueuedConnection);
    }
    bool Cancelled() const { return job->cancel.load(); }

    // --- The sound ----------------------------------------------------------------

    struct TPeakState {
        std::mutex lock;
        std::vector<TPeak> all;
        size_t handed = 0; // buckets of `all` already handed over
        int rate = 0;
        int64_t samples = 0;
        GstCaps* caps = nullptr; // the samples' caps st.info was read from (held)
        ~TPeakState() { gst_caps_replace(&caps, nullptr); }
        GstAudioInfo info;
        float lo = 0, hi = 0;
        bool open = false;     // a bucket has begun and not ended
        int64_t bucketEnd = 0; // the sample that closes the open bucket
        QElapsedTimer sinceHandOver;
        std::atomic<int64_t> duration{0};
        bool linked = false;
        bool anyAudio = false;
    };

    static int8_t Quantise(float v) {
        return int8_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 127.0f));
    }

    void HandOver(TPeakState& st, bool done) const {
        std::vector<TPeak> piece(st.all.begin() + long(st.handed), st.all.end());
        st.handed = st.all.size();
        const int64_t dur = st.duration.load();
        const double progress =
            done ? 1.0
                 : (dur > 0 && st.rate > 0
                        ? std::min(0.99, double(st.samples) * 1000.0 / st.rate / double(dur))
                        : 0.0);
        Post([piece = std::move(piece), progress, dur](TMediaPeaks& m) {
            m.peaks_.insert(m.peaks_.end(), piece.begin(), piece.end());
            m.progress_ = progress;
            if (dur > 0 && m.duration_ == 0)
                m.duration_ = dur;
        });
        st.sinceHandOver.restart();
    }

    static GstFlowReturn NewSample(GstAppSink* sink, gpointer data) {
        auto* ctx = static_cast<std::pair<const TMediaPeaksWork*, TPeakState*>*>(data);
        const TMediaPeaksWork& w = *ctx->first;
        TPeakState& st = *ctx->second;
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_EOS;
        if (w.Cancelled()) {
            gst_sample_unref(sample);
            return GST_FLOW_FLUSHING;
        }
        std::lock_guard<std::mutex> guard(st.lock);
        GstCaps* caps = gst_sample_get_caps(sample);
        if (caps != st.caps) {
            // The decoder's own layout (planar for most) and channels: no
            // conversion, the envelope spans all channels.
            if (!gst_audio_info_from_caps(&st.info, caps) || GST_AUDIO_INFO_RATE(&st.info) <= 0) {
                gst_sample_unref(sample);
                return GST_FLOW_NOT_NEGOTIATED;
            }
            gst_caps_replace(&st.caps, caps);
            if (st.rate == 0) {
                st.rate = GST_AUDIO_INFO_RATE(&st.info);
                st.bucketEnd = std::max<int64_t>(1, st.rate / TMediaPeaks::PeaksPerSecond);
            }
        }
        GstAudioBuffer ab;
        if (gst_audio_buffer_map(&ab, &st.info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            const int channels = GST_AUDIO_INFO_CHANNELS(&st.info);
            const bool planar = ab.n_planes > 1;
            const size_t frames = ab.n_samples;
            for (size_t i = 0; i < frames; ++i) {
                float lo = 0, hi = 0;
                for (int c = 0; c < channels; ++c) {
                    const float v = planar
                                        ? static_cast<const float*>(ab.planes[c])[i]
                                        : static_cast<const float*>(ab.planes[0])[i * channels + c];
                    lo = c == 0 ? v : std::min(lo, v);
                    hi = c == 0 ? v : std::max(hi, v);
                }
                if (!st.open) {
                    st.lo = lo;
                    st.hi = hi;
                    st.open = true;
                }
                st.lo = std::min(st.lo, lo);
                st.hi = std::max(st.hi, hi);
                if (++st.samples == st.bucketEnd) {
                    st.all.push_back({Quantise(st.lo), Quantise(st.hi)});
                    st.open = false;
                    // Bucket b ends at sample (b + 1) * rate / 100: no drift for
                    // rates that 100 does not divide.
                    st.bucketEnd =
                        int64_t(st.all.size() + 1) * st.rate / TMediaPeaks::PeaksPerSecond;
                }
            }
            gst_audio_buffer_unmap(&ab);
        }
        gst_sample_unref(sample);
        if (st.sinceHandOver.elapsed() >= kHandOverMs)
            w.HandOver(st, false);
        return GST_FLOW_OK;
    }

    // False with *error when the sound could not be read.
    bool ComputePeaks(std::vector<TPeak>* out, bool* hasAudio, int64_t* duration,
                      QString* error) const {
        TPeakState st;
        st.sinceHandOver.start();
        TDecodeSetup setup;
        setup.undecoded = {"video/", "image/", "text/", "subpicture/", "application/"};
        GstElement* pipeline = MakeDecodePipeline(path, setup);
        GstElement* convert = Make("audioconvert");
        GstElement* sink = Make("appsink");
        // Floats in whatever layout and channels the decoder gives: most
        // decoders give them already, and audioconvert stays idle.
        GstCaps* caps = gst_caps_from_string("audio/x-raw,format=F32LE");
        g_object_set(sink, "sync", FALSE, "caps", caps, "enable-last-sample", FALSE, nullptr);
        gst_caps_unref(caps);
        gst_bin_add_many(GST_BIN(pipeline), convert, sink, nullptr);
        gst_element_link(convert, sink);
        std::pair<const TMediaPeaksWork*, TPeakState*> ctx{this, &st};
        GstAppSinkCallbacks cb{};
        cb.new_sample = &TMediaPeaksWork::NewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &cb, &ctx, nullptr);
        const int wanted = track;
        setup.choose = [&st, convert, wanted](std::vector<GstPad*>& pads) {
            std::vector<GstPad*> audio;
            for (GstPad* p : pads) {
                GstCaps* c = gst_pad_get_current_caps(p);
                if (!c)
                    c = gst_pad_query_caps(p, nullptr);
                if (IsCaps(c, "audio/x-raw"))
                    audio.push_back(p);
                if (c)
                    gst_caps_unref(c);
            }
            if (audio.empty())
                return;
            st.anyAudio = true;
            // A track the file does not have: its first, as the player does.
            GstPad* chosen = audio[size_t(wanted) < audio.size() ? size_t(wanted) : 0];
            GstPad* in = StaticPad(convert, "sink");
            st.linked = gst_pad_link(chosen, in) == GST_PAD_LINK_OK;
            gst_object_unref(in);
        };

        bool ok = true;
        std::atomic<bool> noMorePadsSeen{false};
        // The pads are known once decodebin has signalled; a file without sound
        // has no audio pad and its other streams run to the end unwatched.
        g_signal_connect_swapped(setup.decode, "no-more-pads", G_CALLBACK(+[](gpointer flag) {
                                     static_cast<std::atomic<bool>*>(flag)->store(true);
                                 }),
                                 &noMorePadsSeen);
        GstBus* bus = gst_element_get_bus(pipeline);
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            *error = QCoreApplication::translate("Messages", "the media framework cannot open it");
            ok = false;
        }
        while (ok && !Cancelled()) {
            GstMessage* msg = gst_bus_timed_pop_filtered(
                bus, 20 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            if (st.duration.load() == 0) {
                gint64 d = 0;
                if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &d) && d > 0)
                    st.duration.store(d / GST_MSECOND);
            }
            {
                std::lock_guard<std::mutex> guard(st.lock);
                if (noMorePadsSeen.load() && !st.anyAudio)
                    break;
            }
            if (!msg)
                continue;
            const bool isError = GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR;
            if (isError) {
                *error = ErrorOf(msg);
                ok = false;
            }
            gst_message_unref(msg);
            break;
        }
        gst_object_unref(bus);
        StopPipeline(setup);
        if (!ok || Cancelled())
            return false;
        std::lock_guard<std::mutex> guard(st.lock);
        *hasAudio = st.anyAudio && st.linked;
        if (*hasAudio && st.open)
            st.all.push_back({Quantise(st.lo), Quantise(st.hi)}); // the last part-bucket
        int64_t dur = st.duration.load();
        if (*hasAudio && st.rate > 0)
            dur = std::max(dur, st.samples * 1000 / st.rate);
        st.duration.store(dur);
        *duration = dur;
        HandOver(st, true);
        *out = std::move(st.all);
        return true;
    }

    // --- The pictures ---------------------------------------------------------------

    static int64_t ThumbInterval(int64_t durationMs) {
        // About 120 pictures for a long file, one a second at most often.
        const int64_t s = std::max<int64_t>(1, (durationMs / 1000 + 119) / 120);
        return s * 1000;
    }

    bool ComputeThumbs(QMap<int64_t, QImage>* out, bool* hasVideo, int64_t* interval,
                       int64_t* duration, QString* error) const {
        TDecodeSetup setup;
        setup.undecoded = {"audio/", "text/", "subpicture/", "image/", "application/"};
        GstElement* pipeline = MakeDecodePipeline(path, setup);
        GstElement* scale = Make("videoscale");
        GstElement* convert = Make("videoconvert");
        GstElement* sink = Make("appsink");
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                            G_TYPE_INT, TMediaPeaks::ThumbWidth, "height",
                                            G_TYPE_INT, TMediaPeaks::ThumbHeight,
                                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        g_object_set(sink, "sync", FALSE, "caps", caps, "enable-last-sample", FALSE, "max-buffers",
                     1, nullptr);
        gst_caps_unref(caps);
        gst_bin_add_many(GST_BIN(pipeline), scale, convert, sink, nullptr);
        gst_element_link_many(scale, convert, sink, nullptr);
        std::atomic<int> videoState{0}; // 0 unknown, 1 linked, 2 none
        setup.choose = [scale, &videoState](std::vector<GstPad*>& pads) {
            for (GstPad* p : pads) {
                GstCaps* c = gst_pad_get_current_caps(p);
                if (!c)
                    c = gst_pad_query_caps(p, nullptr);
                const bool video = IsCaps(c, "video/x-raw");
                if (c)
                    gst_caps_unref(c);
                if (video && videoState.load() == 0) {
                    GstPad* in = StaticPad(scale, "sink");
                    if (gst_pad_link(p, in) == GST_PAD_LINK_OK)
                        videoState.store(1);
                    gst_object_unref(in);
                }
            }
            if (videoState.load() == 0)
                videoState.store(2);
        };
        GstBus* bus = gst_element_get_bus(pipeline);
        auto busError = [&]() {
            GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
            if (!msg)
                return false;
            *error = ErrorOf(msg);
            gst_message_unref(msg);
            return true;
        };
        bool ok = gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
        if (!ok)
            *error = QCoreApplication::translate("Messages", "the media framework cannot open it");
        // Until the first picture has prerolled, or we know there is none.
        while (ok && !Cancelled()) {
            if (busError()) {
                ok = false;
                break;
            }
            if (videoState.load() == 2)
                break;
            GstState cur;
            const GstStateChangeReturn r =
                gst_element_get_state(pipeline, &cur, nullptr, 20 * GST_MSECOND);
            if (r == GST_STATE_CHANGE_FAILURE) {
                if (!busError())
                    *error = QCoreApplication::translate("Messages",
                                                         "the media framework cannot open it");
                ok = false;
            }
            if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL)
                break;
        }
        *hasVideo = ok && videoState.load() == 1;
        gint64 d = 0;
        if (*hasVideo && !Cancelled() &&
            gst_element_query_duration(pipeline, GST_FORMAT_TIME, &d) && d > 0) {
            const int64_t durMs = d / GST_MSECOND;
            *duration = durMs;
            *interval = ThumbInterval(durMs);
            const int count = int((durMs + *interval - 1) / *interval);
            const int64_t step = *interval;
            Post([step, durMs](TMediaPeaks& m) {
                m.thumbInterval_ = step;
                m.hasVideo_ = true;
                if (m.duration_ == 0)
                    m.duration_ = durMs;
            });
            // Coarse first: every 16th picture gives the whole file's strip
            // at once, the rest fills it in.
            std::vector<char> done(size_t(count), 0);
            for (int stride = 16; stride >= 1 && !Cancelled(); stride /= 2) {
                for (int i = 0; i < count && !Cancelled(); i += stride) {
                    if (done[size_t(i)])
                        continue;
                    done[size_t(i)] = 1;
                    const int64_t at = i * step;
                    QImage img = Grab(pipeline, sink, at);
                    if (busError())
                        break;
                    if (img.isNull())
                        continue;
                    out->insert(at, img);
                    Post([at, img](TMediaPeaks& m) { m.thumbs_.insert(at, img); });
                }
            }
        }
        gst_object_unref(bus);
        StopPipeline(setup);
        if (!error->isEmpty())
            *hasVideo = false;
        return ok && !Cancelled();
    }

    QImage Grab(GstElement* pipeline, GstElement* sink, int64_t atMs) const {
        if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                     GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT |
                                                  GST_SEEK_FLAG_SNAP_BEFORE),
                                     atMs * GST_MSECOND))
            return {};
        GstSample* sample = nullptr;
        // A few seconds for one picture, looking at the cancel flag between.
        for (int tries = 0; !sample && tries < 100 && !Cancelled(); ++tries)
            sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 50 * GST_MSECOND);
        if (!sample)
            return {};
        QImage img;
        GstVideoInfo info;
        GstMapInfo map;
        GstBuffer* buf = gst_sample_get_buffer(sample);
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_buffer_map(buf, &map, GST_MAP_READ)) {
            img = QImage(map.data, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                         GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), QImage::Format_RGB32)
                      .copy();
            gst_buffer_unmap(buf, &map);
        }
        gst_sample_unref(sample);
        return img;
    }

    // --- The job --------------------------------------------------------------------

    void Run() const {
        EnsureGst();
        QString why;
        TCachedMedia media;
        const QString key = FileKey(path, &media, &why);
        if (key.isEmpty()) {
            Fail(why);
            return;
        }
        // A folder that is not safe to use: the results are computed and
        // shown, and not kept.
        QDir().mkpath(QFileInfo(TMediaPeaks::CacheFolder()).absolutePath());
        const TCacheFolder cache(TMediaPeaks::CacheFolder());
        if (!cache.IsOpen())
            qWarning("The timeline's results are not kept in %s: %s",
                     qPrintable(TMediaPeaks::CacheFolder()), qPrintable(cache.Refusal()));
        const QString peaksFile = key + QStringLiteral("-a%1.peaks").arg(track);
        const QString thumbsFile = key + QStringLiteral(".thumbs");

        std::optional<TCachedPeaks> cachedPeaks;
        if (const auto bytes = cache.Read(peaksFile, PeaksCache::MaxPeaksFileBytes))
            cachedPeaks = PeaksCache::ReadPeaks(*bytes, media);
        std::optional<TCachedThumbs> cachedThumbs;
        if (const auto bytes = cache.Read(thumbsFile, PeaksCache::MaxThumbsFileBytes))
            cachedThumbs = PeaksCache::ReadThumbs(*bytes, media);
        const bool peaksCached = cachedPeaks.has_value();
        const bool thumbsCached = cachedThumbs.has_value();
        if (peaksCached)
            Post([r = *cachedPeaks](TMediaPeaks& m) {
                m.peaks_ = r.Peaks;
                m.hasAudio_ = r.HasAudio;
                m.duration_ = std::max(m.duration_, r.DurationMs);
                m.progress_ = 1;
                m.peaksDone_ = true;
                m.fromCache_ = true;
            });
        if (thumbsCached)
            Post([r = *cachedThumbs](TMediaPeaks& m) {
                m.thumbs_ = r.Thumbs;
                m.hasVideo_ = r.HasVideo;
                m.thumbInterval_ = r.IntervalMs;
                m.duration_ = std::max(m.duration_, r.DurationMs);
                m.thumbsDone_ = true;
            });
        // A result used now is the last to go when the folder is pruned.
        if (peaksCached)
            cache.Touch(peaksFile);
        if (thumbsCached)
            cache.Touch(thumbsFile);
        if (peaksCached && thumbsCached)
            return;

        // The pictures on a thread of their own, beside the sound.
        TCachedPeaks peaks = peaksCached ? std::move(*cachedPeaks) : TCachedPeaks{};
        TCachedThumbs thumbs = thumbsCached ? std::move(*cachedThumbs) : TCachedThumbs{};
        QString videoError;
        bool thumbsOk = thumbsCached;
        std::thread pictures;
        if (!thumbsCached)
            pictures = std::thread([&] {
                thumbsOk = ComputeThumbs(&thumbs.Thumbs, &thumbs.HasVideo, &thumbs.IntervalMs,
                                         &thumbs.DurationMs, &videoError);
            });
        QString audioError;
        bool peaksOk = peaksCached;
        if (!peaksCached)
            peaksOk = ComputePeaks(&peaks.Peaks, &peaks.HasAudio, &peaks.DurationMs, &audioError);
        if (pictures.joinable())
            pictures.join();
        // Only whole results are kept (a cancelled half is not ok); a file
        // that could not be read is tried again next time.
        // Results outside the reader's bounds (media of days) give no bytes.
        bool kept = false;
        auto keep = [&](const QString& name, const QByteArray& bytes) {
            if (!bytes.isEmpty())
                kept |= cache.Write(name, bytes);
        };
        if (!peaksCached && peaksOk && audioError.isEmpty())
            keep(peaksFile, PeaksCache::WritePeaks(media, peaks));
        if (!thumbsCached && thumbsOk && videoError.isEmpty())
            keep(thumbsFile, PeaksCache::WriteThumbs(media, thumbs));
        if (kept)
            cache.Prune(TMediaPeaks::CacheLimitBytes);
        // Finished once kept: an open right after it finds the cache.
        Post([hasAudio = peaks.HasAudio, hasVideo = thumbs.HasVideo, audioError,
              videoError](TMediaPeaks& m) {
            m.hasAudio_ = hasAudio;
            m.hasVideo_ = hasVideo;
            m.audioError_ = audioError;
            m.videoError_ = videoError;
            m.peaksDone_ = m.thumbsDone_ = true;
            m.progress_ = 1;
            m.SettleError();
        });
    }

    void Fail(const QString& why) const {
        Post([why](TMediaPeaks& m) {
            m.audioError_ = m.videoError_ = why;
            m.peaksDone_ = m.thumbsDone_ = true;
            m.SettleError();
        });
    }
};

TMediaPeaks::TMediaPeaks(QObject* parent) : QObject(parent) {}

TMediaPeaks::~TMediaPeaks() {
    StopJob();
    for (auto& j : retired_)
        if (j->thread.joinable())
            j->thread.join();
}

QString TMediaPeaks::CacheFolder() {
    // Not the application's name: the folder is the same whatever the
    // program that links this was called (the tests, the benchmarks).
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tavrelo");
}

void TMediaPeaks::PruneCache(qint64 maxBytes) {
    const TCacheFolder cache(CacheFolder());
    cache.Prune(maxBytes);
}

void TMediaPeaks::Open(const QString& path, int audioTrack) {
    if (path == path_ && audioTrack == track_ && job_)
        return;
    StopJob();
    path_ = path;
    track_ = std::max(0, audioTrack);
    ++generation_;
    // A track change keeps the pictures until the job brings them again.
    peaks_.clear();
    progress_ = 0;
    peaksDone_ = thumbsDone_ = false;
    hasAudio_ = false;
    fromCache_ = false;
    error_.clear();
    audioError_.clear();
    videoError_.clear();
    if (QFileInfo(path) != QFileInfo(lastPicturesOf_)) {
        thumbs_.clear();
        thumbInterval_ = 0;
        hasVideo_ = false;
        duration_ = 0;
    }
    lastPicturesOf_ = path;
    job_ = std::make_shared<TJob>();
    TMediaPeaksWork work{this, generation_, job_, path, track_};
    job_->thread = std::thread([work] {
        work.Run();
        work.job->finished.store(true);
    });
    emit Updated();
}

void TMediaPeaks::Close() {
    if (path_.isEmpty() && !job_)
        return;
    StopJob();
    ++generation_;
    path_.clear();
    lastPicturesOf_.clear();
    peaks_.clear();
    thumbs_.clear();
    thumbInterval_ = duration_ = 0;
    progress_ = 0;
    peaksDone_ = thumbsDone_ = hasAudio_ = hasVideo_ = fromCache_ = false;
    error_.clear();
    emit Updated();
}

void TMediaPeaks::StopJob() {
    if (!job_)
        return;
    // The job ends on its own within a few tens of ms; joined at the latest
    // when the object goes, so a track change never waits for it.
    job_->cancel.store(true);
    retired_.push_back(std::move(job_));
    job_.reset();
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->finished.load() && (*it)->thread.joinable()) {
            (*it)->thread.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

void TMediaPeaks::Receive(uint64_t generation, const std::function<void(TMediaPeaks&)>& change) {
    if (generation != generation_)
        return;
    change(*this);
    emit Updated();
}

void TMediaPeaks::SettleError() {
    // Nothing readable at all is an error; a missing stream of one kind is not.
    if (!peaksDone_ || !thumbsDone_ || hasAudio_ || hasVideo_) {
        error_.clear();
        return;
    }
    const QString why =
        !audioError_.isEmpty() ? audioError_
        : !videoError_.isEmpty()
            ? videoError_
            : QCoreApplication::translate("Messages", "it holds neither sound nor picture");
    error_ = QCoreApplication::translate("Messages", "Cannot read %1: %2")
                 .arg(QDir::toNativeSeparators(path_), why);
}
