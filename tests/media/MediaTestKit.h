// Shared by the media tests: the clips folder, the recording of what would be
// heard, the graph opened on a clip with the members the player binds to it,
// and waiting with the event loop running.
#pragma once

#include "media/FilterGraph.h"
#include "media/SampleGrabber.h"
#include "media/VideoWindow.h"
#include "media/gst/GstAudioOutput.h"
#include "support/MediaClips.h"
#include "utPublic/utPublic.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

// How long a test waits for what it needs before it gives up: a guard
// against hanging on a busy machine, not a measurement.
inline constexpr int WaitMs = 15000;

// Records what every graph made from now on would make heard.
inline std::shared_ptr<TAudioRecording> RecordAudio() {
    auto recording = std::make_shared<TAudioRecording>();
    SetAudioOutput(TAudioOutputKind::Record, recording);
    return recording;
}

// Recorded frames at or after media position `position` (100 ns) in the
// recording, from chunk stamps; -1 when none is recorded yet. Searches from
// chunk `fromChunk`.
inline int64_t FrameAtPosition(const std::vector<TAudioRecording::TChunk>& chunks, int64_t position,
                               size_t fromChunk = 0) {
    for (size_t i = fromChunk; i < chunks.size(); ++i) {
        const auto& c = chunks[i];
        const int64_t end = c.Position + c.Frames * 10000000 / TAudioRecording::SampleRate;
        if (c.Position >= 0 && end > position) {
            const int64_t offset = std::max<int64_t>(0, (position - c.Position) *
                                                            TAudioRecording::SampleRate / 10000000);
            return c.FirstFrame + offset;
        }
    }
    return -1;
}

// The media position (100 ns), or -1 when the graph cannot tell it.
inline int64_t Position(TFilterGraph& g) {
    auto seeking = g.QueryInterface<IMediaSeeking>();
    int64_t p = -1;
    if (!seeking || FAILED(seeking->GetCurrentPosition(&p)))
        return -1;
    return p;
}

inline int64_t PositionMs(TFilterGraph& g) {
    const int64_t p = Position(g);
    return p < 0 ? -1 : p / 10000;
}

inline HRESULT SeekTo(TFilterGraph& g, int64_t ms) {
    auto seeking = g.QueryInterface<IMediaSeeking>();
    if (!seeking)
        return E_NOINTERFACE;
    int64_t target = ms * 10000;
    return seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                 AM_SEEKING_NoPositioning);
}

// Waits until at least `frames` frames were recorded from media position
// `position` (100 ns) on; returns the first of them, or -1.
inline int64_t WaitForSoundFrom(const TAudioRecording& rec, int64_t position, int64_t frames) {
    int64_t first = -1;
    const bool heard = QTest::qWaitFor(
        [&] {
            first = FrameAtPosition(rec.Chunks(), position);
            return first >= 0 && rec.FrameCount() >= first + frames;
        },
        WaitMs);
    return heard ? first : -1;
}

// The sound grabber as the control window sets it up: decoded PCM passes
// through it on its way to the audio renderer.
inline void MakeSoundGrabber(TSampleGrabber& grabber) {
    grabber.setObjectName(QStringLiteral("SampleGrabber"));
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = true;
    type.lSampleSize = 1;
    type.formattype = FORMAT_WaveFormatEx;
    grabber.SetMediaType(type);
}

// A form filled by a video control bound to a graph, as the player window
// has them; with the sound grabber bound too when asked. Not shown yet.
struct TShownGraph {
    QWidget Form;
    TVideoWindow VW{&Form};
    TFilterGraph Graph;
    TSampleGrabber Grabber;

    explicit TShownGraph(QSize size, bool withGrabber = false) {
        Form.resize(size);
        VW.setObjectName(QStringLiteral("VW"));
        VW.setGeometry(QRect(QPoint(0, 0), size));
        VW.SetFilterGraph(&Graph);
        if (withGrabber) {
            MakeSoundGrabber(Grabber);
            Grabber.SetFilterGraph(&Graph);
        }
    }
};

// What every media test class sets up: its own clips folder and the
// recording of what the graphs would make heard.
class TMediaFixture {
protected:
    QTemporaryDir FDir;
    std::shared_ptr<TAudioRecording> FRec;

    QString Clip(const QString& name) const { return FDir.filePath(name); }

    // For initTestCase, before the clips are made.
    void StartMediaTests() {
        InitPublicModule();
        QVERIFY(FDir.isValid());
        FRec = RecordAudio();
    }

    // The graph made active and given clip `name`.
    HRESULT RenderClip(TFilterGraph& g, const QString& name) {
        g.SetActive(true);
        return g.RenderFile(Clip(name));
    }

    // The form shown and its graph playing clip `name`; E_FAIL when it
    // rendered but would not play.
    HRESULT ShowPlaying(TShownGraph& shown, const QString& name) {
        shown.Form.show();
        const HRESULT hr = RenderClip(shown.Graph, name);
        return FAILED(hr) || shown.Graph.Play() ? hr : E_FAIL;
    }
};

#define MAKE_CLIP(call)                                                                            \
    do {                                                                                           \
        QString clipError;                                                                         \
        if (!(call))                                                                               \
            QFAIL(qPrintable(clipError));                                                          \
    } while (false)
