// Where the sound of every graph made from now on goes: the system's audio
// output (the default), nowhere (played in real time into a discarding sink),
// or a recording of exactly what would be heard (after volume, channel
// rewriting and rate), for tests and measurements without a sound card.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Sound as it would have reached the speakers: interleaved two-channel float
// frames at SampleRate(), in the order played, each chunk stamped with the
// media position of its first frame. Filled on a streaming thread; every
// member is thread-safe.
class TAudioRecording {
public:
    struct TChunk {
        int64_t Position = 0;   // media position of the first frame, 100 ns
        int64_t FirstFrame = 0; // index of the first frame in Samples()
        int64_t Frames = 0;
        // CLOCK_MONOTONIC (ns) when the output took it, at the time its
        // clock said it is due: the same kernel clock for every process, so
        // recordings of several players line up on it.
        int64_t ReleasedNs = 0;
    };

    static constexpr int SampleRate = 48000;

    // All recorded frames (left, right, left, right, ...).
    std::vector<float> Samples() const;
    std::vector<TChunk> Chunks() const;
    int64_t FrameCount() const;
    // Forgets everything recorded so far (and any failure set up).
    void Clear();
    // From then on, a buffer that would take the recording past `frames`
    // frames fails, as a sound device that goes away does (for tests of
    // errors during playback). Negative: never.
    void FailAfter(int64_t frames);

    // Called by the audio renderer; false when the output has failed.
    bool Append(int64_t position, const float* frames, int64_t count);

private:
    mutable std::mutex FLock;
    std::vector<float> FSamples;
    std::vector<TChunk> FChunks;
    int64_t FFailAfter = -1;
};

enum class TAudioOutputKind { System, Discard, Record };

// Chooses the output of audio renderers made from now on. For Record, the
// recording receives the sound.
void SetAudioOutput(TAudioOutputKind kind, std::shared_ptr<TAudioRecording> recording = nullptr);

// The system's output given up on: audio renderers made from now on play in
// real time into nothing (for the System kind; the others are unchanged).
void SetSilentSystemOutput(bool silent);
bool SilentSystemOutput();
// Whether the system's output takes sound now, looked at without waiting: a
// moment of silence is played into it and its position must move. Starts a
// look when none is under way and answers -1 until it is over; then 1 (it
// takes sound) or 0, once (the next call starts a new look). The other kinds,
// chosen rather than lost, answer 0. User-interface thread only.
int LookAtSystemOutput();
