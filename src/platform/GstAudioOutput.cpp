#include "platform/GstAudioOutput.h"

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
}

void TAudioRecording::Append(int64_t position, const float* frames, int64_t count) {
    std::lock_guard<std::mutex> guard(FLock);
    TChunk c;
    c.Position = position;
    c.FirstFrame = static_cast<int64_t>(FSamples.size() / 2);
    c.Frames = count;
    FChunks.push_back(c);
    FSamples.insert(FSamples.end(), frames, frames + 2 * count);
}

void SetAudioOutput(TAudioOutputKind, std::shared_ptr<TAudioRecording>) {}
