// A private sound server (PulseAudio) for a test or benchmark that must hear
// the player the way a user does: through a real server, with faults made
// from outside (a suspended or moved output, the server restarted). Its
// outputs are null sinks that play in real time into nothing; what reached
// one can be recorded from its monitor.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class SoundServer {
public:
    // Starts a server with one null sink per name (48 kHz, two channels,
    // float), the first one the default. Check IsRunning().
    explicit SoundServer(const QStringList& sinks = {QStringLiteral("out_a"),
                                                     QStringLiteral("out_b")});
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool IsRunning() const { return server_.state() == QProcess::Running && ready_; }
    // "unix:/…/native": the value of PULSE_SERVER for a client.
    QString Address() const;
    // Makes this process (and the processes it starts) a client of this
    // server: PULSE_SERVER and a private runtime folder.
    void UseForThisProcess() const;

    // Runs pactl against the server; returns its exit code (-1: did not run
    // or did not finish in 10 s). Output goes to *out.
    int Pactl(const QStringList& args, QString* out = nullptr) const;
    bool Suspend(const QString& sink, bool suspended) const;
    // Moves every playing stream to `sink`.
    bool MoveAllStreams(const QString& sink) const;
    // The number of streams playing into the server now.
    int StreamCount() const;

    // Kills the server (as a crash would) and, with Start(), starts it again
    // on the same address with the same sinks.
    void Kill();
    bool Start();

private:
    QTemporaryDir dir_;
    QStringList sinks_;
    QProcess server_;
    bool ready_ = false;
};

// What reached one sink of the server, recorded from its monitor by parec
// into a file (so a test busy in a nested wait loses nothing).
class SinkRecording {
public:
    static constexpr int SampleRate = 48000;

    // channels of the sink's monitor, in channelMap's order ("front-left,
    // front-right,…"; empty: PulseAudio's default order for that many).
    SinkRecording(const SoundServer& server, const QString& sink, int channels = 2,
                  const QString& channelMap = {});
    ~SinkRecording();
    bool IsRunning() const { return rec_.state() == QProcess::Running; }
    // Interleaved frames (of Channels() each) recorded so far.
    std::vector<float> Samples() const;
    // The same from frame `first` on.
    std::vector<float> SamplesFrom(int64_t first) const;
    int64_t FrameCount() const;
    int Channels() const { return channels_; }

private:
    int channels_ = 2;
    QTemporaryDir dir_;
    QString file_;
    QProcess rec_;
};

// The media seconds heard in a monitor recording of the clips' tones
// (MediaClips.h), in order, from frame `from` on: windows of a quarter second,
// an eighth apart, are each identified by their left tone among seconds
// 0..maxSecond - 1; a second counts once two windows in a row name it, and is
// listed again only after another one. Each entry: the frame where its first
// window starts, and the second.
std::vector<std::pair<int64_t, int>> HeardSecondsAt(const std::vector<float>& frames, int64_t from,
                                                    int maxSecond);
std::vector<int> HeardSeconds(const std::vector<float>& frames, int64_t from, int maxSecond);
