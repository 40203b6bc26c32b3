// The audio renderer of our layer over GStreamer and where its sound goes.
#include "media/gst/GstAudioOutput.h"

#include "media/gst/GstFilters.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>

#include <time.h>

#include <chrono>

namespace {

std::mutex OutputLock;
TAudioOutputKind OutputKind = TAudioOutputKind::System;
std::shared_ptr<TAudioRecording> OutputRecording;
bool OutputSilent = false;

// Streaming thread: one buffer of what would be heard.
GstFlowReturn RecordSample(GstAppSink* sink, gpointer data) {
    auto* recording = static_cast<std::shared_ptr<TAudioRecording>*>(data);
    g_autoptr(GstSample) sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    int64_t position = -1;
    if (buffer && segment && GST_BUFFER_PTS_IS_VALID(buffer)) {
        // Stream time is the media position, also at another rate (the
        // segment's applied rate accounts for scaletempo).
        const guint64 t =
            gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        if (t != GST_CLOCK_TIME_NONE)
            position = static_cast<int64_t>(t / 100);
    }
    GstMapInfo map;
    bool ok = true;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        ok = (*recording)
                 ->Append(position, reinterpret_cast<const float*>(map.data),
                          static_cast<int64_t>(map.size / (2 * sizeof(float))));
        gst_buffer_unmap(buffer, &map);
    }
    if (ok)
        return GST_FLOW_OK;
    // As a sound device that went away reports itself.
    g_autoptr(GError) error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE,
                                                  "Could not write to the sound output.");
    gst_element_post_message(GST_ELEMENT(sink),
                             gst_message_new_error(GST_OBJECT(sink), error, "recording failed"));
    return GST_FLOW_ERROR;
}

GstElement* MakeOutput() {
    TAudioOutputKind kind;
    std::shared_ptr<TAudioRecording> recording;
    bool silent;
    {
        std::lock_guard<std::mutex> guard(OutputLock);
        kind = OutputKind;
        recording = OutputRecording;
        silent = OutputSilent;
    }
    if (kind == TAudioOutputKind::Record && recording) {
        GstElement* sink = gst_element_factory_make("appsink", "output");
        g_autoptr(GstCaps) caps = gst_caps_new_simple(
            "audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING, "interleaved",
            "rate", G_TYPE_INT, TAudioRecording::SampleRate, "channels", G_TYPE_INT, 2, nullptr);
        // Played in real time against the pipeline's clock, as a sound card
        // would, so that pauses, seeks and rates behave as heard.
        g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &RecordSample;
        gst_app_sink_set_callbacks(
            GST_APP_SINK(sink), &callbacks, new std::shared_ptr<TAudioRecording>(recording),
            [](gpointer p) { delete static_cast<std::shared_ptr<TAudioRecording>*>(p); });
        return sink;
    }
    if (kind == TAudioOutputKind::Discard || (kind == TAudioOutputKind::System && silent)) {
        GstElement* sink = gst_element_factory_make("fakesink", "output");
        g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }
    // The system's sound output; without one, GStreamer's choice falls back
    // to a sink that plays in real time into nothing.
    return gst_element_factory_make("autoaudiosink", "output");
}

// Streaming thread, at the output's input: holds the sound end (see
// MakeAudioRenderer). The output hands each buffer over whole once the clock
// reaches its start, after the volume has long been applied to it, so the end
// can only be exact here. A buffer wholly past the end is silenced rather
// than dropped: the output goes on taking the sound in real time, so the
// streams upstream keep their pace and the media's end is not run into.
GstPadProbeReturn HoldSoundEnd(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    const int64_t end = static_cast<std::shared_ptr<std::atomic<int64_t>>*>(data)->get()->load();
    if (end < 0)
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    // An empty buffer (a gap, a drained resampler's last word at either end
    // of the media) has no memory to silence and nothing to hear.
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer) || gst_buffer_get_size(buffer) == 0)
        return GST_PAD_PROBE_OK;
    g_autoptr(GstEvent) segmentEvent = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    g_autoptr(GstCaps) caps = gst_pad_get_current_caps(pad);
    GstAudioInfo audio;
    if (!segmentEvent || !caps || !gst_audio_info_from_caps(&audio, caps))
        return GST_PAD_PROBE_OK;
    const GstSegment* current = nullptr;
    gst_event_parse_segment(segmentEvent, &current);
    if (current->format != GST_FORMAT_TIME)
        return GST_PAD_PROBE_OK;
    GstSegment segment;
    gst_segment_copy_into(current, &segment);
    // The end in the buffers' own time: the segment maps media time through
    // the rate applied upstream (scaletempo) and the seek's start.
    const gint64 stop =
        gst_segment_position_from_stream_time(&segment, GST_FORMAT_TIME, guint64(end));
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (stop >= 0 && pts < guint64(stop)) {
        GstClockTime duration = GST_BUFFER_DURATION(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(duration) && GST_AUDIO_INFO_RATE(&audio) > 0)
            duration =
                gst_util_uint64_scale(gst_buffer_get_size(buffer) / GST_AUDIO_INFO_BPF(&audio),
                                      GST_SECOND, GST_AUDIO_INFO_RATE(&audio));
        if (!GST_CLOCK_TIME_IS_VALID(duration) || pts + duration <= guint64(stop))
            return GST_PAD_PROBE_OK; // before the end: untouched
        segment.stop = guint64(stop);
        GstBuffer* clipped = gst_audio_buffer_clip(buffer, &segment, GST_AUDIO_INFO_RATE(&audio),
                                                   GST_AUDIO_INFO_BPF(&audio));
        GST_PAD_PROBE_INFO_DATA(info) = clipped;
        return clipped ? GST_PAD_PROBE_OK : GST_PAD_PROBE_HANDLED;
    }
    // Wholly at or past the end.
    buffer = gst_buffer_make_writable(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (map.data && map.size > 0)
            gst_audio_format_info_fill_silence(audio.finfo, map.data, map.size);
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

GstElement* MakeAudioRenderer(std::shared_ptr<std::atomic<int64_t>> soundEnd) {
    GstElement* bin = gst_bin_new("audio renderer");
    GstElement* in = gst_element_factory_make("audioconvert", "convert in");
    // Float from here on: the volume is applied exactly (in 16-bit integer
    // it has a resolution of 1/8192, so -50 dB would come out as -50.7 and
    // anything below -78 dB as silence).
    GstElement* format = gst_element_factory_make("capsfilter", "float");
    g_autoptr(GstCaps) caps = gst_caps_from_string("audio/x-raw, format=(string)F32LE");
    g_object_set(format, "caps", caps, nullptr);
    // A rate other than 1 keeps the pitch.
    GstElement* tempo = gst_element_factory_make("scaletempo", "tempo");
    GstElement* volume = gst_element_factory_make("volume", "volume");
    GstElement* out = gst_element_factory_make("audioconvert", "convert out");
    GstElement* resample = gst_element_factory_make("audioresample", "resample");
    GstElement* output = MakeOutput();
    gst_bin_add_many(GST_BIN(bin), in, format, tempo, volume, out, resample, output, nullptr);
    gst_element_link_many(in, format, tempo, volume, out, resample, output, nullptr);
    AddGhostPad(bin, "sink", in, "sink");
    if (soundEnd) {
        // As close to the output as it gets: after the volume, the
        // conversions and the resampler, on the output's own input.
        g_autoptr(GstPad) pad = gst_element_get_static_pad(output, "sink");
        if (pad)
            gst_pad_add_probe(
                pad, GST_PAD_PROBE_TYPE_BUFFER, &HoldSoundEnd,
                new std::shared_ptr<std::atomic<int64_t>>(std::move(soundEnd)),
                [](gpointer p) { delete static_cast<std::shared_ptr<std::atomic<int64_t>>*>(p); });
    }
    return bin;
}

std::vector<float> TAudioRecording::Samples() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FSamples;
}

std::vector<TAudioRecording::TChunk> TAudioRecording::Chunks() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FChunks;
}

int64_t TAudioRecording::FrameCount() const {
    std::lock_guard<std::mutex> guard(FLock);
    return static_cast<int64_t>(FSamples.size() / 2);
}

void TAudioRecording::Clear() {
    std::lock_guard<std::mutex> guard(FLock);
    FSamples.clear();
    FChunks.clear();
    FFailAfter = -1;
}

void TAudioRecording::FailAfter(int64_t frames) {
    std::lock_guard<std::mutex> guard(FLock);
    FFailAfter = frames;
}

bool TAudioRecording::Append(int64_t position, const float* frames, int64_t count) {
    std::lock_guard<std::mutex> guard(FLock);
    if (FFailAfter >= 0 && int64_t(FSamples.size() / 2) + count > FFailAfter)
        return false;
    TChunk c;
    c.Position = position;
    c.FirstFrame = static_cast<int64_t>(FSamples.size() / 2);
    c.Frames = count;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    c.ReleasedNs = int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    FChunks.push_back(c);
    FSamples.insert(FSamples.end(), frames, frames + 2 * count);
    return true;
}

void SetAudioOutput(TAudioOutputKind kind, std::shared_ptr<TAudioRecording> recording) {
    std::lock_guard<std::mutex> guard(OutputLock);
    OutputKind = kind;
    OutputRecording = std::move(recording);
}

void SetSilentSystemOutput(bool silent) {
    std::lock_guard<std::mutex> guard(OutputLock);
    OutputSilent = silent;
}

bool SilentSystemOutput() {
    std::lock_guard<std::mutex> guard(OutputLock);
    return OutputSilent;
}

namespace {
// The look under way: a pipeline playing silence into the system's output.
GstElement* LookPipeline = nullptr;
std::chrono::steady_clock::time_point LookStarted;
// A look lasts this long; the output must have taken this much of it.
constexpr auto LookFor = std::chrono::milliseconds(600);
constexpr gint64 LookTaken = 200 * GST_MSECOND;

bool PlaysIntoNothing(GstElement* output) {
    bool fake = false;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(output));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* f = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        fake = fake || (f && g_str_has_prefix(GST_OBJECT_NAME(f), "fake"));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake;
}
} // namespace

int LookAtSystemOutput() {
    {
        std::lock_guard<std::mutex> guard(OutputLock);
        if (OutputKind != TAudioOutputKind::System)
            return 0; // chosen, not lost: nothing comes back
    }
    if (!LookPipeline) {
        GstElement* pipeline = gst_pipeline_new("output look");
        GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
        GstElement* format = gst_element_factory_make("capsfilter", nullptr);
        GstElement* output = gst_element_factory_make("autoaudiosink", "output");
        if (!pipeline || !source || !format || !output) {
            for (GstElement* e : {pipeline, source, format, output})
                if (e)
                    gst_object_unref(gst_object_ref_sink(e));
            return 0;
        }
        g_object_set(source, "wave", 4 /* silence */, nullptr);
        g_autoptr(GstCaps) caps = gst_caps_from_string(
            "audio/x-raw, format=(string)F32LE, rate=(int)48000, channels=(int)2");
        g_object_set(format, "caps", caps, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), source, format, output, nullptr);
        gst_element_link_many(source, format, output, nullptr);
        LookPipeline = GST_ELEMENT(gst_object_ref_sink(pipeline));
        LookStarted = std::chrono::steady_clock::now();
        gst_element_set_state(LookPipeline, GST_STATE_PLAYING);
        return -1;
    }
    if (std::chrono::steady_clock::now() - LookStarted < LookFor)
        return -1;
    gint64 position = 0;
    const bool moved = gst_element_query_position(LookPipeline, GST_FORMAT_TIME, &position) &&
                       position >= LookTaken;
    g_autoptr(GstElement) output = gst_bin_get_by_name(GST_BIN(LookPipeline), "output");
    const bool taken = moved && output && !PlaysIntoNothing(output);
    gst_element_set_state(LookPipeline, GST_STATE_NULL);
    gst_object_unref(LookPipeline);
    LookPipeline = nullptr;
    return taken ? 1 : 0;
}
