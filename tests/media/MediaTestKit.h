// Shared by the media tests: the clips folder, the recording of what would be
// heard, and waiting with the event loop running.
#pragma once

#include "media/gst/GstAudioOutput.h"
#include "support/MediaClips.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

// Runs the event loop until pred() holds or timeoutMs passes (a guard
// against hanging, not a measurement); returns pred().
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for ms milliseconds.
inline void RunFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

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

#define MAKE_CLIP(call)                                                                            \
    do {                                                                                           \
        QString clipError;                                                                         \
        if (!(call))                                                                               \
            QFAIL(qPrintable(clipError));                                                          \
    } while (false)
