// Test media made at run time with GStreamer (gst-launch-1.0), so that no
// binary clip lives in the repository, and helpers to analyse the sound a
// test recorded (see media/gst/GstAudioOutput.h for recording what the player
// would have made heard).
//
// The sound of every clip identifies the media second on each channel: during
// second s (from 0) the left channel carries a sine of ToneFrequency(0, s) Hz
// and the right one of ToneFrequency(1, s) Hz, both at amplitude 0.5, with
// continuous phase across the seconds. IdentifySecond() reads the second
// back from a stretch of recorded sound. Keep in mind that encoders delay the
// sound: the AAC and MP3 decoders put AacDecoderDelaySamples and
// Mp3DecoderDelaySamples samples (at the clip's rate) before it, so measure
// away from the second boundaries.
//
// Every maker writes the file at `path` (its folder must exist; temporary
// files go beside it), returns true on success and otherwise false with the
// reason in *error. Making a clip takes well under a second per second of
// media at the default picture size.
#pragma once

#include <QString>

class QImage;

#include <cstdint>
#include <vector>

// Facts measured with GStreamer 1.22 on Debian 12.
inline constexpr int AacDecoderDelaySamples = 1024;
inline constexpr int Mp3DecoderDelaySamples = 1105;
// The sample rate of the clips' sound.
inline constexpr int ClipSampleRate = 48000;

// The tone of channel (0 left, 1 right) during media second `second`:
// left 300 + 20 s Hz, right 3000 + 20 s Hz (so seconds 0..99 never collide).
double ToneFrequency(int channel, int second);

enum class TClipPicture {
    Quadrants, // still: red top-left, green top-right, blue bottom-left, white bottom-right
    Moving,    // a moving ball on black (every frame differs; for decoding cost)
    Bars       // still: a test card's colour bars (no symmetry, fine steps at the foot)
};

struct TVideoClipOptions {
    int Width = 320;
    int Height = 240;
    int FramesPerSecond = 25;
    TClipPicture Picture = TClipPicture::Quadrants;
    // x264 preset; "ultrafast" keeps making quick, "veryfast" gives files
    // closer to what people play.
    QString Preset = QStringLiteral("ultrafast");
    // How the player is to turn the picture, as GStreamer names it
    // ("rotate-90", "rotate-180", "rotate-270"; empty: upright as stored),
    // written as the video track's matrix the way phones do (".mp4" only).
    QString Orientation;
    // The proportions of a stored pixel, width over height.
    int PixelAspectN = 1;
    int PixelAspectD = 1;

    // 1280x720, 30 frames a second, moving picture, "veryfast": what the
    // benchmarks play as an everyday video.
    static TVideoClipOptions Moving720p() {
        TVideoClipOptions o;
        o.Width = 1280;
        o.Height = 720;
        o.FramesPerSecond = 30;
        o.Picture = TClipPicture::Moving;
        o.Preset = QStringLiteral("veryfast");
        return o;
    }
};

// An H.264 video with AAC sound of identifying tones (2 channels). The
// container follows the extension: ".mp4" (playable from the front, so that
// a truncated copy still opens) or ".mkv". keyIntervalSeconds: the distance
// between key frames (no others are inserted).
bool MakeToneVideoClip(const QString& path, int seconds, int keyIntervalSeconds,
                       QString* error = nullptr, const TVideoClipOptions& options = {});

// Sound only, identifying tones. By extension: ".mp3" (MPEG-1 layer 3, 1 or 2
// channels), ".m4a" (AAC in MP4, 1, 2 or 6 channels), ".mka" (AAC in
// Matroska, 1, 2 or 6 channels), ".wav" (16-bit PCM, any channel count).
// With 1 channel it carries the left tone; with 6 (5.1: FL FR FC LFE RL RR)
// the front left and right carry the left and right tones and the others are
// silent.
bool MakeToneAudioClip(const QString& path, int seconds, int channels, QString* error = nullptr);

// An MP3 of identifying tones (2 channels) whose ID3v2 tag carries `cover`
// as its front cover picture (PNG).
bool MakeCoverAudioClip(const QString& path, int seconds, const QImage& cover,
                        QString* error = nullptr);

// A WAV file of identifying tones with 8 (unsigned), 16, 24 or 32-bit
// (signed integer) samples; seconds may have a fraction (e.g. 0.4).
bool MakeWavClip(const QString& path, double seconds, int bitsPerSample, int channels,
                 QString* error = nullptr);

// A Matroska file with two AAC audio tracks: track 1 a steady tone of
// frequency1 Hz on both channels, track 2 one of frequency2 Hz; with a video
// track (H.264, key frame every second) when withVideo.
bool MakeTwoTrackClip(const QString& path, int seconds, double frequency1, double frequency2,
                      bool withVideo, QString* error = nullptr);

// A file of zero bytes.
bool MakeEmptyFile(const QString& path, QString* error = nullptr);
// A plain text file (e.g. named .mp4).
bool MakeTextFile(const QString& path, const QString& text, QString* error = nullptr);
// The first `fraction` (0..1) of src's bytes, written to dst: a download that
// broke off.
bool MakeTruncatedCopy(const QString& src, const QString& dst, double fraction,
                       QString* error = nullptr);

// Runs gst-launch-1.0 with a pipeline description; false with its output in
// *error when it fails or takes longer than timeoutMs.
bool RunGstLaunch(const QString& pipeline, QString* error = nullptr, int timeoutMs = 120000);

// --- Analysis of recorded sound (interleaved two-channel float frames) -------------

// The amplitude (0..1 for a full-scale sine) of a sine of `frequency` Hz in
// channel `channel` of frames [first, first + count).
double ToneLevel(const std::vector<float>& frames, int64_t first, int64_t count, int channel,
                 double frequency, int sampleRate);
// The RMS level of one channel over the frames [first, first + count).
double RmsLevel(const std::vector<float>& frames, int64_t first, int64_t count, int channel);
// The media second whose tone is the strongest in channel `channel` of the
// frames [first, first + count), looked for among seconds 0..maxSecond - 1;
// -1 when no tone stands out (level at least 0.05 and three times the next
// best). toneChannel chooses whose tones are looked for: -1 (default) the
// channel's own, 0 the left tones, 1 the right ones (e.g. to ask whether the
// right channel now carries the left sound).
int IdentifySecond(const std::vector<float>& frames, int64_t first, int64_t count, int channel,
                   int maxSecond, int sampleRate, int toneChannel = -1);
