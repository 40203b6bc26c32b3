#include "SoundServer.h"

#include "MediaClips.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>

namespace {

QProcessEnvironment ClientEnvironment(const QString& address, const QString& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), address);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

} // namespace

SoundServer::SoundServer(const QStringList& sinks) : sinks_(sinks) {
    if (dir_.isValid())
        Start();
}

SoundServer::~SoundServer() {
    Kill();
}

QString SoundServer::Address() const {
    return QStringLiteral("unix:") + dir_.filePath("native");
}

void SoundServer::UseForThisProcess() const {
    qputenv("PULSE_SERVER", Address().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
}

bool SoundServer::Start() {
    ready_ = false;
    QStringList args{QStringLiteral("-n"),
                     QStringLiteral("--daemonize=no"),
                     QStringLiteral("--exit-idle-time=-1"),
                     QStringLiteral("--use-pid-file=no"),
                     QStringLiteral("--system=no"),
                     QStringLiteral("--log-target=stderr"),
                     QStringLiteral("--log-level=error"),
                     QStringLiteral("-L"),
                     QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1")
                         .arg(dir_.filePath("native"))};
    for (const QString& sink : sinks_)
        args << QStringLiteral("-L")
             << QStringLiteral("module-null-sink sink_name=%1 rate=48000 channels=2 "
                               "format=float32le")
                    .arg(sink);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Its own home and runtime folder: no cookie, no state of the user's.
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath("config"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    server_.setProcessEnvironment(env);
    server_.setProgram(QStringLiteral("pulseaudio"));
    server_.setArguments(args);
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    server_.start();
    if (!server_.waitForStarted(5000))
        return false;
    // Ready once it answers with all its sinks.
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && server_.state() == QProcess::Running) {
        QString out;
        if (Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")},
                  &out) == 0 &&
            out.count(QLatin1Char('\n')) >= sinks_.size()) {
            ready_ = true;
            if (!sinks_.isEmpty())
                Pactl({QStringLiteral("set-default-sink"), sinks_.first()});
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void SoundServer::Kill() {
    ready_ = false;
    if (server_.state() != QProcess::NotRunning) {
        server_.kill();
        server_.waitForFinished(5000);
    }
}

int SoundServer::Pactl(const QStringList& args, QString* out) const {
    QProcess p;
    p.setProcessEnvironment(ClientEnvironment(Address(), dir_.path()));
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(10000))
        return -1;
    if (out)
        *out = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool SoundServer::Suspend(const QString& sink, bool suspended) const {
    return Pactl({QStringLiteral("suspend-sink"), sink,
                  suspended ? QStringLiteral("1") : QStringLiteral("0")}) == 0;
}

bool SoundServer::MoveAllStreams(const QString& sink) const {
    QString out;
    if (Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")},
              &out) != 0)
        return false;
    bool ok = true;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString id = line.section(QLatin1Char('\t'), 0, 0);
        ok = Pactl({QStringLiteral("move-sink-input"), id, sink}) == 0 && ok;
    }
    return ok;
}

int SoundServer::StreamCount() const {
    QString out;
    if (Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")},
              &out) != 0)
        return -1;
    return int(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

SinkRecording::SinkRecording(const SoundServer& server, const QString& sink, int channels,
                             const QString& channelMap)
    : channels_(std::max(1, channels)) {
    if (!dir_.isValid())
        return;
    file_ = dir_.filePath(QStringLiteral("monitor.raw"));
    rec_.setProcessEnvironment(ClientEnvironment(server.Address(), dir_.path()));
    rec_.setStandardOutputFile(file_);
    rec_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    rec_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QStringList args{QStringLiteral("--device=%1.monitor").arg(sink),
                     QStringLiteral("--raw"),
                     QStringLiteral("--format=float32le"),
                     QStringLiteral("--rate=48000"),
                     QStringLiteral("--channels=%1").arg(channels_),
                     QStringLiteral("--latency-msec=20")};
    if (!channelMap.isEmpty())
        args << QStringLiteral("--channel-map=%1").arg(channelMap);
    rec_.start(QStringLiteral("parec"), args);
    rec_.waitForStarted(5000);
}

SinkRecording::~SinkRecording() {
    if (rec_.state() != QProcess::NotRunning) {
        rec_.kill();
        rec_.waitForFinished(3000);
    }
}

std::vector<float> SinkRecording::Samples() const {
    return SamplesFrom(0);
}

std::vector<float> SinkRecording::SamplesFrom(int64_t first) const {
    QFile f(file_);
    if (!f.open(QIODevice::ReadOnly) ||
        !f.seek(std::max<int64_t>(first, 0) * channels_ * int64_t(sizeof(float))))
        return {};
    const QByteArray bytes = f.readAll();
    const size_t n = size_t(channels_);
    std::vector<float> out(size_t(bytes.size()) / sizeof(float) / n * n);
    if (!out.empty()) // nothing recorded yet: no copy from a null buffer
        std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(float));
    return out;
}

int64_t SinkRecording::FrameCount() const {
    return QFile(file_).size() / int64_t(channels_ * sizeof(float));
}

std::vector<std::pair<int64_t, int>> HeardSecondsAt(const std::vector<float>& frames, int64_t from,
                                                    int maxSecond) {
    constexpr int64_t window = SinkRecording::SampleRate / 4;
    constexpr int64_t step = SinkRecording::SampleRate / 8;
    const int64_t total = int64_t(frames.size() / 2);
    std::vector<std::pair<int64_t, int>> out;
    int last = -1;
    for (int64_t at = std::max<int64_t>(from, 0); at + window + step <= total; at += step) {
        const int s = IdentifySecond(frames, at, window, 0, maxSecond, SinkRecording::SampleRate);
        if (s < 0 || s == last)
            continue;
        if (IdentifySecond(frames, at + step, window, 0, maxSecond, SinkRecording::SampleRate) != s)
            continue;
        out.emplace_back(at, s);
        last = s;
    }
    return out;
}

std::vector<int> HeardSeconds(const std::vector<float>& frames, int64_t from, int maxSecond) {
    std::vector<int> out;
    for (const auto& [frame, second] : HeardSecondsAt(frames, from, maxSecond))
        out.push_back(second);
    return out;
}
