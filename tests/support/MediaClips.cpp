#include "MediaClips.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// Sample value (-1..1) of channel ch of frame i, for a clip with `channels`
// channels made of identifying tones.
using TSampleFn = std::function<double(int64_t frame, int channel)>;

// Phase-continuous identifying tones: left (or mono) and right.
class TToneGenerator {
public:
    // Advances to frame i (called for i = 0, 1, 2, ...); returns the values.
    void Next(int64_t i, double* left, double* right) {
        const int second = static_cast<int>(i / ClipSampleRate);
        FPhaseL += 2 * M_PI * ToneFrequency(0, second) / ClipSampleRate;
        FPhaseR += 2 * M_PI * ToneFrequency(1, second) / ClipSampleRate;
        FPhaseL = std::fmod(FPhaseL, 2 * M_PI);
        FPhaseR = std::fmod(FPhaseR, 2 * M_PI);
        *left = 0.5 * std::sin(FPhaseL);
        *right = 0.5 * std::sin(FPhaseR);
    }

private:
    double FPhaseL = 0, FPhaseR = 0;
};

void PutLE(QByteArray& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

// Writes a WAV file of integer PCM; the channel values come from `sample`.
bool WriteWav(const QString& path, int64_t frames, int channels, int bits,
              const std::function<void(int64_t, double*)>& sample, QString* error) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        SetError(error, QStringLiteral("unsupported sample width %1").arg(bits));
        return false;
    }
    const int bytes = bits / 8;
    const bool extensible = channels > 2;
    const uint32_t dataSize = static_cast<uint32_t>(frames * channels * bytes);
    QByteArray out;
    out.reserve(static_cast<int>(dataSize) + 80);
    out.append("RIFF");
    PutLE(out, (extensible ? 60u : 36u) + dataSize, 4);
    out.append("WAVE");
    out.append("fmt ");
    PutLE(out, extensible ? 40 : 16, 4);
    PutLE(out, extensible ? 0xFFFE : 1, 2);
    PutLE(out, static_cast<uint32_t>(channels), 2);
    PutLE(out, ClipSampleRate, 4);
    PutLE(out, static_cast<uint32_t>(ClipSampleRate * channels * bytes), 4);
    PutLE(out, static_cast<uint32_t>(channels * bytes), 2);
    PutLE(out, static_cast<uint32_t>(bits), 2);
    if (extensible) {
        PutLE(out, 22, 2);
        PutLE(out, static_cast<uint32_t>(bits), 2);
        // 5.1: front left, front right, centre, LFE, rear left, rear right.
        PutLE(out, channels == 6 ? 0x3Fu : (1u << channels) - 1, 4);
        // KSDATAFORMAT_SUBTYPE_PCM
        static const unsigned char pcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
        out.append(reinterpret_cast<const char*>(pcmGuid), 16);
    }
    out.append("data");
    PutLE(out, dataSize, 4);
    std::vector<double> values(static_cast<size_t>(channels));
    for (int64_t i = 0; i < frames; ++i) {
        sample(i, values.data());
        for (int c = 0; c < channels; ++c) {
            const double v = std::clamp(values[static_cast<size_t>(c)], -1.0, 1.0);
            if (bits == 8) {
                PutLE(out, static_cast<uint32_t>(std::lround(128 + v * 127)), 1);
            } else {
                const double full = std::ldexp(1.0, bits - 1) - 1;
                const auto s = static_cast<int32_t>(std::lround(v * full));
                PutLE(out, static_cast<uint32_t>(s), bytes);
            }
        }
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size()) {
        SetError(error, QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

// Identifying tones laid out on `channels` channels (see the header).
bool WriteToneWav(const QString& path, double seconds, int channels, int bits, QString* error) {
    TToneGenerator tones;
    return WriteWav(
        path, std::llround(seconds * ClipSampleRate), channels, bits,
        [&](int64_t i, double* v) {
            double l, r;
            tones.Next(i, &l, &r);
            for (int c = 0; c < channels; ++c)
                v[c] = 0;
            v[0] = l;
            if (channels >= 2)
                v[1] = r;
        },
        error);
}

bool WriteSteadyWav(const QString& path, int seconds, double frequency, QString* error) {
    return WriteWav(
        path, int64_t(seconds) * ClipSampleRate, 2, 16,
        [&](int64_t i, double* v) {
            v[0] = v[1] = 0.5 * std::sin(2 * M_PI * frequency * double(i) / ClipSampleRate);
        },
        error);
}

QString TempBeside(const QString& path, const QString& suffix) {
    const QFileInfo fi(path);
    return fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + suffix;
}

QString Quoted(const QString& path) {
    return QStringLiteral("\"%1\"").arg(path);
}

QString AacEncoder() {
    // Intensity and mid/side stereo off: with them GStreamer's AAC encoder
    // merges the two channels' different tones.
    return QStringLiteral("avenc_aac aac-is=false aac-ms=false bitrate=160000 ! aacparse");
}

QString VideoBranch(int seconds, int keyIntervalSeconds, const TVideoClipOptions& o) {
    const int frames = seconds * o.FramesPerSecond;
    // Stored pixels of other proportions: said in the caps the encoder
    // writes into the stream.
    const QString caps = QStringLiteral("video/x-raw,framerate=%1/1,pixel-aspect-ratio=%2/%3")
                             .arg(o.FramesPerSecond)
                             .arg(o.PixelAspectN)
                             .arg(o.PixelAspectD);
    QString source;
    if (o.Picture == TClipPicture::Quadrants) {
        const int w = o.Width / 2, h = o.Height / 2;
        source = QStringLiteral("compositor name=quad background=black "
                                "sink_1::xpos=%1 sink_2::ypos=%2 sink_3::xpos=%1 sink_3::ypos=%2 "
                                "! video/x-raw,width=%3,height=%4,pixel-aspect-ratio=%5/%6 ")
                     .arg(w)
                     .arg(h)
                     .arg(o.Width)
                     .arg(o.Height)
                     .arg(o.PixelAspectN)
                     .arg(o.PixelAspectD);
        const char* colours[4] = {"0xffff0000", "0xff00ff00", "0xff0000ff", "0xffffffff"};
        QString inputs;
        for (int i = 0; i < 4; ++i)
            inputs += QStringLiteral(" videotestsrc pattern=solid-color foreground-color=%1 "
                                     "num-buffers=%2 ! %3,width=%4,height=%5 ! quad.sink_%6")
                          .arg(QLatin1String(colours[i]))
                          .arg(frames)
                          .arg(caps)
                          .arg(w)
                          .arg(h)
                          .arg(i);
        source += QStringLiteral("! videoconvert ! video/x-raw,format=I420 ! %1 mux. ") + inputs;
    } else {
        // %6, the encoder, is filled in below.
        source = QStringLiteral("videotestsrc pattern=%5 num-buffers=%1 ! "
                                "%2,width=%3,height=%4 ! videoconvert ! "
                                "video/x-raw,format=I420 ! %6 mux. ")
                     .arg(frames)
                     .arg(caps)
                     .arg(o.Width)
                     .arg(o.Height)
                     .arg(o.Picture == TClipPicture::Bars ? QStringLiteral("smpte")
                                                          : QStringLiteral("ball"));
    }
    const int keyInt = std::max(1, keyIntervalSeconds * o.FramesPerSecond);
    const QString encoder =
        QStringLiteral("x264enc key-int-max=%1 speed-preset=%2 bframes=0 "
                       "option-string=\"scenecut=0:min-keyint=%1\" ! h264parse !")
            .arg(keyInt)
            .arg(o.Preset);
    return source.arg(encoder);
}

// The matrix of the video track's header (tkhd) of the MP4 at `path` set to
// turn the picture as `orientation` says; false when there is no such track
// or orientation.
bool WriteTrackOrientation(const QString& path, const QString& orientation, QString* error) {
    // a, b, c, d of the matrix (16.16): how GStreamer's demuxer and phones
    // spell a quarter, half and three quarters turn clockwise.
    constexpr quint32 one = 0x10000, minus = 0xffff0000;
    quint32 m[4];
    if (orientation == QLatin1String("rotate-90"))
        m[0] = 0, m[1] = one, m[2] = minus, m[3] = 0;
    else if (orientation == QLatin1String("rotate-180"))
        m[0] = minus, m[1] = 0, m[2] = 0, m[3] = minus;
    else if (orientation == QLatin1String("rotate-270"))
        m[0] = 0, m[1] = minus, m[2] = one, m[3] = 0;
    else {
        SetError(error, QStringLiteral("unknown orientation %1").arg(orientation));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        SetError(error, QStringLiteral("cannot open %1").arg(path));
        return false;
    }
    QByteArray d = f.readAll();
    for (qsizetype at = d.indexOf("tkhd"); at >= 0; at = d.indexOf("tkhd", at + 4)) {
        // After the type: version and flags, then times of 4 or 8 bytes.
        const qsizetype matrix = at + 4 + (d.size() > at + 4 && d[at + 4] == 1 ? 56 : 44) - 4;
        const qsizetype width = matrix + 36;
        if (width + 8 > d.size() || qFromBigEndian<quint32>(d.constData() + width) == 0)
            continue; // a sound track's header
        const quint32 values[9] = {m[0], m[1], 0, m[2], m[3], 0, 0, 0, 0x40000000};
        for (int i = 0; i < 9; ++i)
            qToBigEndian(values[i], d.data() + matrix + 4 * i);
        if (!f.seek(0) || f.write(d) != d.size()) {
            SetError(error, QStringLiteral("cannot write %1").arg(path));
            return false;
        }
        return true;
    }
    SetError(error, QStringLiteral("no video track header in %1").arg(path));
    return false;
}

QString MuxerFor(const QString& path, QString* error) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("mp4") || ext == QLatin1String("m4a"))
        return QStringLiteral("mp4mux name=mux faststart=true ! filesink location=%1")
            .arg(Quoted(path));
    if (ext == QLatin1String("mkv") || ext == QLatin1String("mka"))
        return QStringLiteral("matroskamux name=mux ! filesink location=%1").arg(Quoted(path));
    SetError(error, QStringLiteral("no container for extension .%1").arg(ext));
    return {};
}

} // namespace

double ToneFrequency(int channel, int second) {
    return (channel == 0 ? 300.0 : 3000.0) + 20.0 * second;
}

bool RunGstLaunch(const QString& pipeline, QString* error, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("exec gst-launch-1.0 -q ") + pipeline});
    if (!p.waitForStarted(10000)) {
        SetError(error, QStringLiteral("gst-launch-1.0 did not start"));
        return false;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        SetError(error, QStringLiteral("gst-launch-1.0 took too long: ") + pipeline);
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        SetError(error, QStringLiteral("gst-launch-1.0 failed (%1): %2\n%3")
                            .arg(p.exitCode())
                            .arg(pipeline, QString::fromLocal8Bit(p.readAll())));
        return false;
    }
    return true;
}

bool MakeToneVideoClip(const QString& path, int seconds, int keyIntervalSeconds, QString* error,
                       const TVideoClipOptions& options) {
    const QString mux = MuxerFor(path, error);
    if (mux.isEmpty())
        return false;
    const QString wav = TempBeside(path, QStringLiteral(".tones.wav"));
    if (!WriteToneWav(wav, seconds, 2, 16, error))
        return false;
    const QString pipeline =
        mux + QStringLiteral(" filesrc location=%1 ! wavparse ! audioconvert ! ").arg(Quoted(wav)) +
        AacEncoder() + QStringLiteral(" ! mux. ") +
        VideoBranch(seconds, keyIntervalSeconds, options);
    const bool ok = RunGstLaunch(pipeline, error);
    QFile::remove(wav);
    return ok && (options.Orientation.isEmpty() ||
                  WriteTrackOrientation(path, options.Orientation, error));
}

bool MakeToneAudioClip(const QString& path, int seconds, int channels, QString* error) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("wav"))
        return WriteToneWav(path, seconds, channels, 16, error);
    const QString wav = TempBeside(path, QStringLiteral(".tones.wav"));
    if (!WriteToneWav(wav, seconds, channels, 16, error))
        return false;
    const QString source =
        QStringLiteral("filesrc location=%1 ! wavparse ! audioconvert ! ").arg(Quoted(wav));
    QString pipeline;
    if (ext == QLatin1String("mp3")) {
        pipeline = source + QStringLiteral("lamemp3enc target=bitrate bitrate=192 cbr=true ! "
                                           "xingmux ! filesink location=%1")
                                .arg(Quoted(path));
    } else {
        const QString mux = MuxerFor(path, error);
        if (mux.isEmpty()) {
            QFile::remove(wav);
            return false;
        }
        pipeline = mux + QStringLiteral(" ") + source + AacEncoder() + QStringLiteral(" ! mux.");
    }
    const bool ok = RunGstLaunch(pipeline, error);
    QFile::remove(wav);
    return ok;
}

bool MakeCoverAudioClip(const QString& path, int seconds, const QImage& cover, QString* error) {
    const QString bare = TempBeside(path, QStringLiteral(".bare.mp3"));
    if (!MakeToneAudioClip(bare, seconds, 2, error))
        return false;
    QFile in(bare);
    const QByteArray sound = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    in.close();
    QFile::remove(bare);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (sound.isEmpty() || !cover.save(&buffer, "PNG")) {
        SetError(error, QStringLiteral("no sound or no picture for %1").arg(path));
        return false;
    }
    // ID3v2.3: one APIC frame (Latin-1 text, MIME type, picture type 3 =
    // front cover, empty description, the picture).
    const QByteArray body = QByteArray(1, '\0') + "image/png" + QByteArray(1, '\0') +
                            QByteArray(1, '\3') + QByteArray(1, '\0') + png;
    QByteArray frame = "APIC" + QByteArray(4, '\0') + QByteArray(2, '\0') + body;
    qToBigEndian(quint32(body.size()), frame.data() + 4);
    QByteArray tag = QByteArray("ID3\3\0\0", 6) + QByteArray(4, '\0') + frame;
    // The tag's size without its header, seven bits a byte.
    const quint32 size = quint32(frame.size());
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = char((size >> (7 * (3 - i))) & 0x7f);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(tag) != tag.size() ||
        out.write(sound) != sound.size()) {
        SetError(error, QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

bool MakeWavClip(const QString& path, double seconds, int bitsPerSample, int channels,
                 QString* error) {
    return WriteToneWav(path, seconds, channels, bitsPerSample, error);
}

bool MakeTwoTrackClip(const QString& path, int seconds, double frequency1, double frequency2,
                      bool withVideo, QString* error) {
    const QString wav1 = TempBeside(path, QStringLiteral(".track1.wav"));
    const QString wav2 = TempBeside(path, QStringLiteral(".track2.wav"));
    if (!WriteSteadyWav(wav1, seconds, frequency1, error) ||
        !WriteSteadyWav(wav2, seconds, frequency2, error))
        return false;
    QString pipeline =
        QStringLiteral("matroskamux name=mux ! filesink location=%1 ").arg(Quoted(path));
    for (const QString& wav : {wav1, wav2})
        pipeline +=
            QStringLiteral(" filesrc location=%1 ! wavparse ! audioconvert ! ").arg(Quoted(wav)) +
            AacEncoder() + QStringLiteral(" ! mux.");
    if (withVideo)
        pipeline += QStringLiteral(" ") + VideoBranch(seconds, 1, TVideoClipOptions{});
    const bool ok = RunGstLaunch(pipeline, error);
    QFile::remove(wav1);
    QFile::remove(wav2);
    return ok;
}

bool MakeEmptyFile(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        SetError(error, QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

bool MakeTextFile(const QString& path, const QString& text, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0) {
        SetError(error, QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

bool MakeTruncatedCopy(const QString& src, const QString& dst, double fraction, QString* error) {
    QFile in(src);
    if (!in.open(QIODevice::ReadOnly)) {
        SetError(error, QStringLiteral("cannot read %1").arg(src));
        return false;
    }
    const QByteArray all = in.readAll();
    const auto keep = static_cast<qsizetype>(double(all.size()) * std::clamp(fraction, 0.0, 1.0));
    QFile out(dst);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(all.constData(), keep) != keep) {
        SetError(error, QStringLiteral("cannot write %1").arg(dst));
        return false;
    }
    return true;
}

double ToneLevel(const std::vector<float>& frames, int64_t first, int64_t count, int channel,
                 double frequency, int sampleRate) {
    const int64_t total = static_cast<int64_t>(frames.size() / 2);
    first = std::clamp<int64_t>(first, 0, total);
    count = std::clamp<int64_t>(count, 0, total - first);
    if (count <= 0)
        return 0;
    // Goertzel: the amplitude of one frequency.
    const double w = 2 * M_PI * frequency / sampleRate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int64_t i = 0; i < count; ++i) {
        const double x = frames[static_cast<size_t>(2 * (first + i) + channel)];
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(count);
}

double RmsLevel(const std::vector<float>& frames, int64_t first, int64_t count, int channel) {
    const int64_t total = static_cast<int64_t>(frames.size() / 2);
    first = std::clamp<int64_t>(first, 0, total);
    count = std::clamp<int64_t>(count, 0, total - first);
    if (count <= 0)
        return 0;
    double sum = 0;
    for (int64_t i = 0; i < count; ++i) {
        const double x = frames[static_cast<size_t>(2 * (first + i) + channel)];
        sum += x * x;
    }
    return std::sqrt(sum / double(count));
}

int IdentifySecond(const std::vector<float>& frames, int64_t first, int64_t count, int channel,
                   int maxSecond, int sampleRate, int toneChannel) {
    if (toneChannel < 0)
        toneChannel = channel;
    int best = -1;
    double bestLevel = 0, secondLevel = 0;
    for (int s = 0; s < maxSecond; ++s) {
        const double level =
            ToneLevel(frames, first, count, channel, ToneFrequency(toneChannel, s), sampleRate);
        if (level > bestLevel) {
            secondLevel = bestLevel;
            bestLevel = level;
            best = s;
        } else if (level > secondLevel) {
            secondLevel = level;
        }
    }
    if (bestLevel < 0.05 || bestLevel < 3 * secondLevel)
        return -1;
    return best;
}
