// A room of players in step: how far apart their sounds are, how fast a
// late follower joins and a follower rejoins a restarted leader, and what
// followers cost the leader.
//
// Every player is a process of its own (this program in another role: the
// section engine with the leader's publishing, or the follower with its
// link, on the program's media graph and remote server), each recording its
// own output with the monotonic time of every buffer's release (the same
// kernel clock for every process and network namespace). The recordings are
// lined up on that timeline and cross-correlated in 50 ms windows.
//
// First of all the room is heard as a user hears it: every player plays into
// its own output of one private sound server (a mono remap of one channel of
// a four-channel null sink), the sink's monitor is recorded once, and the
// channels are cross-correlated in 100 ms windows over the whole run, the
// starts included; the method is checked on a known 7 ms offset first.
//
//   bench_sync                     everything below, printed
//   BENCH_SYNC_HEARD_ONLY=1        the heard room only
//   bench_sync lead <clip> <address> <port> <pin> <script> <out>
//   bench_sync follow <address> <port> <pin> <folder> <out>
#include "../BenchKit.h"
#include "engine/EngineClock.h"
#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/gst/GstAudioOutput.h"
#include "remote/RemoteServer.h"
#include "support/LoggingView.h"
#include "support/SoundServer.h"
#include "sync/SyncFollower.h"
#include "sync/SyncLeader.h"
#include "sync/SyncLink.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kRate = TAudioRecording::SampleRate;
const QString kPin = QStringLiteral("271828");

// The players' output: their own recording, or the system's sound output
// (the private sound server's sink named in PULSE_SINK) for the heard room.
void ChooseOutput(const std::shared_ptr<TAudioRecording>& rec) {
    if (qEnvironmentVariableIsSet("BENCH_SYNC_HEARD"))
        SetAudioOutput(TAudioOutputKind::System);
    else
        SetAudioOutput(TAudioOutputKind::Record, rec);
}

int64_t MonoNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// --- A player's recording on disk -----------------------------------------------

struct Recording {
    std::vector<TAudioRecording::TChunk> Chunks;
    std::vector<float> Left;
    // When each chunk was due at the output (see DueTimes).
    std::vector<int64_t> Due;
};

// The output releases no buffer before its clock says it is due, and
// sometimes after (its thread waking late on a loaded machine: a property of
// this recording output, not of the players' sync; a sound card plays from
// its ring buffer at the due time). In a stretch of one run of the media
// every buffer is due when its clock reaches its stamp: its media position
// over the run's rate. So the lower envelope of (release - position / rate)
// is the clock: taken over the buffers within a second either side (the
// player's clock may run a few parts per million off the kernel's while it
// settles). Not from the frames before a buffer: a buffer cut short at a
// section's end, or a time stretcher's, holds fewer or more frames than its
// stamps step by.
std::vector<int64_t> DueTimes(const std::vector<TAudioRecording::TChunk>& c) {
    constexpr int64_t kSide = 1000000000;
    std::vector<int64_t> due(c.size());
    size_t from = 0;
    auto close = [&](size_t to) {
        // The stretch's rate to the hundredth (the player's rates are steps
        // of 0.05), from its first and last buffers; a stretch too short to
        // tell it is counted in frames.
        double rate = 1;
        bool stamped = to - from >= 2 && c[to - 1].ReleasedNs - c[from].ReleasedNs >= 500000000;
        for (size_t k = from; k < to; ++k)
            stamped = stamped && c[k].Position >= 0;
        if (stamped) {
            const double measured = double(c[to - 1].Position - c[from].Position) * 100 /
                                    double(c[to - 1].ReleasedNs - c[from].ReleasedNs);
            if (std::round(measured * 100) > 0)
                rate = std::round(measured * 100) / 100;
        }
        auto line = [&](size_t k) {
            return stamped ? int64_t(double(c[k].Position) * 100 / rate)
                           : c[k].FirstFrame * 1000000000 / kRate;
        };
        for (size_t k = from; k < to; ++k) {
            int64_t least = INT64_MAX;
            for (size_t j = from; j < to; ++j)
                if (std::llabs(line(j) - line(k)) <= kSide)
                    least = std::min(least, c[j].ReleasedNs - line(j));
            due[k] = least + line(k);
        }
        from = to;
    };
    for (size_t k = 1; k < c.size(); ++k) {
        const int64_t expected = c[k - 1].Frames * 1000000000 / kRate;
        const int64_t gap = c[k].ReleasedNs - c[k - 1].ReleasedNs;
        const int64_t step = (c[k].Position - c[k - 1].Position) * 100;
        // A pause, a seek, a new rate: another stretch.
        if (gap > expected + 20000000 || gap < expected - 20000000 ||
            c[k].Position < c[k - 1].Position || step > expected + 20000000)
            close(k);
    }
    close(c.size());
    return due;
}

// The least correlation a window must reach to count: at 0.80 the two
// time stretchers splice the sound at their own places, and only windows
// where both play the same piece of the media match closely.
double gMinCorrelation = 0.8;

// Figures from the release times as they are (false: from the due times).
bool gAsReleased = false;

int64_t TimeOf(const Recording& r, size_t k) {
    return gAsReleased ? r.Chunks[k].ReleasedNs : r.Due[k];
}

// The chunk playing at t: the last one that started at or before t.
std::optional<size_t> ChunkAt(const Recording& r, int64_t t) {
    size_t lo = 0, hi = r.Chunks.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (TimeOf(r, mid) <= t)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return std::nullopt;
    return lo - 1;
}

void WriteRecording(const TAudioRecording& rec, const QString& path) {
    const auto chunks = rec.Chunks();
    const auto samples = rec.Samples();
    std::vector<float> left(samples.size() / 2);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = samples[2 * i];
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    const int64_t n = int64_t(chunks.size()), m = int64_t(left.size());
    f.write(reinterpret_cast<const char*>(&n), sizeof n);
    f.write(reinterpret_cast<const char*>(chunks.data()), qint64(n * sizeof chunks[0]));
    f.write(reinterpret_cast<const char*>(&m), sizeof m);
    f.write(reinterpret_cast<const char*>(left.data()), qint64(m * sizeof(float)));
}

Recording ReadRecording(const QString& path) {
    Recording r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return r;
    int64_t n = 0, m = 0;
    f.read(reinterpret_cast<char*>(&n), sizeof n);
    r.Chunks.resize(size_t(n));
    f.read(reinterpret_cast<char*>(r.Chunks.data()), qint64(n * sizeof r.Chunks[0]));
    f.read(reinterpret_cast<char*>(&m), sizeof m);
    r.Left.resize(size_t(m));
    f.read(reinterpret_cast<char*>(r.Left.data()), qint64(m * sizeof(float)));
    r.Due = DueTimes(r.Chunks);
    return r;
}

// The index of the sample heard at monotonic time t, or -1.
int64_t IndexAt(const Recording& r, int64_t t) {
    const auto k = ChunkAt(r, t);
    if (!k)
        return -1;
    const auto& c = r.Chunks[*k];
    const int64_t into = (t - TimeOf(r, *k)) * kRate / 1000000000;
    return into < c.Frames ? c.FirstFrame + into : -1;
}

// How much later (ms) b makes heard what a makes heard at t, from the
// sound itself; nothing where they do not match (a pause, a gap).
std::optional<double> OffsetAt(const Recording& a, const Recording& b, int64_t t) {
    constexpr int kWindow = kRate / 20, kSearch = kRate / 50; // 50 ms, +-20 ms
    const int64_t ia = IndexAt(a, t), ib = IndexAt(b, t);
    if (ia < kSearch || ib < kSearch || ia + kWindow >= int64_t(a.Left.size()) ||
        ib + kWindow + kSearch >= int64_t(b.Left.size()))
        return std::nullopt;
    const float* x = &a.Left[size_t(ia)];
    double ex = 0;
    for (int i = 0; i < kWindow; ++i)
        ex += double(x[i]) * x[i];
    double best = -1;
    int bestK = 0;
    for (int k = -kSearch; k <= kSearch; ++k) {
        const float* y = &b.Left[size_t(ib + k)];
        double xy = 0, ey = 0;
        for (int i = 0; i < kWindow; ++i) {
            xy += double(x[i]) * y[i];
            ey += double(y[i]) * y[i];
        }
        const double c = ex > 0 && ey > 0 ? xy / std::sqrt(ex * ey) : 0;
        if (c > best)
            best = c, bestK = k;
    }
    if (qEnvironmentVariableIsSet("BENCH_SYNC_DEBUG"))
        fprintf(stderr, "t %.2f ia %lld ib %lld corr %.3f lag %d\n", double(t) / 1e9, (long long)ia,
                (long long)ib, best, bestK);
    if (best < gMinCorrelation)
        return std::nullopt;
    // b plays a's sample ia at t + (ia - (ib + bestK)) samples ... i.e. b's
    // sample ib + bestK equals a's sample ia, heard by b bestK samples later
    // than its sample ib at t.
    return double(bestK) * 1000.0 / kRate;
}

// The same from the buffers' media positions instead of the sound. Over the
// second around t a player plays one run of the media at one rate; its
// buffers are released at or after the time its clock gives their position,
// never before, so the earliest release less the position's time on the run's
// line is where that line lies. (Not from the buffers' lengths: a time
// stretcher's buffers hold more or fewer frames than the media time their
// stamps step by, so counting frames from one buffer to the next drifts.)
struct RunLine {
    double Rate = 0;
    // When position P (ns) plays: At + (P - P0) / Rate.
    double At = 0;
};

std::optional<RunLine> LineAt(const Recording& r, int64_t t, double p0) {
    const int64_t from = t - 500000000, to = t + 500000000;
    std::vector<const TAudioRecording::TChunk*> run;
    for (const auto& c : r.Chunks) {
        if (c.ReleasedNs < from || c.ReleasedNs > to)
            continue;
        // A seek, a pause or a gap within the second: no single line.
        if (c.Position < 0 || (!run.empty() && (c.Position <= run.back()->Position ||
                                                c.ReleasedNs - run.back()->ReleasedNs > 100000000)))
            return std::nullopt;
        run.push_back(&c);
    }
    if (run.size() < 10)
        return std::nullopt;
    // The rate to the hundredth (the player's rates are steps of 0.05): the
    // release times' jitter over a second leaves it well within that.
    const double measured = double(run.back()->Position - run.front()->Position) * 100 /
                            double(run.back()->ReleasedNs - run.front()->ReleasedNs);
    RunLine line;
    line.Rate = std::round(measured * 100) / 100;
    if (!(line.Rate > 0))
        return std::nullopt;
    line.At = 1e300;
    for (const auto* c : run)
        line.At =
            std::min(line.At, double(c->ReleasedNs) - (double(c->Position) * 100 - p0) / line.Rate);
    return line;
}

// How much later b plays the media position a plays at t.
std::optional<double> StampOffsetAt(const Recording& a, const Recording& b, int64_t t) {
    const auto k = ChunkAt(a, t);
    if (!k || a.Chunks[*k].Position < 0)
        return std::nullopt;
    const double p0 = double(a.Chunks[*k].Position) * 100;
    const auto la = LineAt(a, t, p0), lb = LineAt(b, t, p0);
    if (!la || !lb || la->Rate != lb->Rate)
        return std::nullopt;
    const double ms = (lb->At - la->At) / 1e6;
    if (qEnvironmentVariableIsSet("BENCH_SYNC_DEBUG") && std::abs(ms) > 1)
        fprintf(stderr, "stamps t %.2f position %.4f rate %.2f offset %.3f ms\n", double(t) / 1e9,
                p0 / 1e9, la->Rate, ms);
    return std::abs(ms) < 100 ? std::optional<double>(ms) : std::nullopt;
}

struct Stats {
    int Windows = 0, Matched = 0;
    double Median = 0, Worst = 0;
};

Stats Compare(const Recording& a, const Recording& b, int64_t from, int64_t to,
              bool stamps = false) {
    Stats s;
    std::vector<double> offsets;
    for (int64_t t = from; t < to; t += 500000000) {
        ++s.Windows;
        if (const auto o = stamps ? StampOffsetAt(a, b, t) : OffsetAt(a, b, t))
            offsets.push_back(std::abs(*o));
    }
    s.Matched = int(offsets.size());
    if (offsets.empty())
        return s;
    std::sort(offsets.begin(), offsets.end());
    s.Median = offsets[offsets.size() / 2];
    s.Worst = offsets.back();
    return s;
}

// --- The players -------------------------------------------------------------------

// script: "ms:command" after the start: rate<r>, pause, play, next (PgDn),
// quit.
int Lead(const QStringList& a) {
    const QString clip = a[0], address = a[1], script = a[4], out = a[5];
    (void)!freopen(qPrintable(out + QStringLiteral(".log")), "w", stderr);
    const quint16 port = quint16(a[2].toUInt());
    auto rec = std::make_shared<TAudioRecording>();
    ChooseOutput(rec);
    Schedule schedule;
    schedule.Load(QFileInfo(clip).path() + QStringLiteral("/bench.INI"));
    TFilterGraph fg;
    TGraphPlayback graph(fg);
    fg.OnGraphComplete = [&graph](auto*, int32_t status, auto*) { graph.GraphComplete(status); };
    SystemClock clock;
    LoggingView view;
    view.OnError = [](const QString& text) { fprintf(stderr, "%s\n", qPrintable(text)); };
    SectionEngine engine(schedule, graph, view, clock);
    SectionEngine::Options o;
    o.RepeatPauseMs = 1000;
    o.End = EndMode::Exit;
    o.Rates = {0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 1.00};
    o.RateIndex = 6;
    engine.SetOptions(o);
    engine.SetFile(clip);
    TRemoteServer server(nullptr, a[3]);
    if (!server.Listen(QHostAddress(address), port))
        return 2;
    server.SetLeading(true);
    // A fixed port (the server's + 20), for a relay to know.
    uint16_t clockPort = uint16_t(port + 20);
    QString error;
    if (!graph.LeadClock(address, &clockPort, &error))
        return 3;
    SyncLeader leader(engine, graph);
    leader.SetClockPort(clockPort);
    QObject::connect(&leader, &SyncLeader::Publish, &server, &TRemoteServer::PublishSync);
    // Every line the leader publishes, held against when its own output
    // really played those positions (its pipeline clock is the monotonic
    // one): how far the published line is from what the leader is heard at.
    struct Published {
        int64_t AtNs, ClockNs, PositionNs;
        double Rate;
    };
    std::vector<Published> published;
    QObject::connect(&leader, &SyncLeader::Publish, [&] {
        if (const auto m = graph.ClockMapping())
            published.push_back({MonoNs(), m->clockNs, m->positionNs, graph.Rate()});
    });
    auto finish = [&] {
        server.FlushFollowers();
        fg.Stop();
        const auto chunks = rec->Chunks();
        for (const Published& p : published) {
            // Each buffer's release less the line's time for its position,
            // over the second after the line was published, the median: how
            // much later than the line says the output played.
            std::vector<int64_t> d;
            for (const auto& c : chunks) {
                if (c.Position < 0 || c.ReleasedNs < p.AtNs || c.ReleasedNs > p.AtNs + 1000000000)
                    continue;
                const int64_t due =
                    p.ClockNs + int64_t(double(c.Position * 100 - p.PositionNs) / p.Rate);
                d.push_back(c.ReleasedNs - due);
            }
            std::sort(d.begin(), d.end());
            if (!d.empty())
                fprintf(stderr,
                        "published at %.3f s rate %.2f: output later than the line by %.3f ms\n",
                        double(p.AtNs) / 1e9, p.Rate, double(d[d.size() / 2]) / 1e6);
        }
        WriteRecording(*rec, out);
        QCoreApplication::exit(0);
    };
    view.OnEnd = [&](EndMode) { finish(); };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (graph.GetState() == PlaybackGraph::State::Playing)
            engine.Tick(graph.PositionMs(), graph.DurationMs());
    });
    tick.start(500);
    for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
        const int ms = step.section(u':', 0, 0).toInt();
        const QString cmd = step.section(u':', 1);
        QTimer::singleShot(ms, [&engine, &finish, cmd] {
            if (cmd.startsWith(QLatin1String("rate")))
                engine.ApplyRate(cmd.mid(4).toDouble());
            else if (cmd == QLatin1String("pause"))
                engine.Pause();
            else if (cmd == QLatin1String("play"))
                engine.Play();
            else if (cmd == QLatin1String("next"))
                engine.PlayNext();
            else if (cmd == QLatin1String("quit"))
                finish();
        });
    }
    QTimer::singleShot(0, [&engine] { engine.PlaySection(1, false); });
    return QCoreApplication::exec();
}

int Follow(const QStringList& a) {
    const QString address = a[0], out = a[4];
    (void)!freopen(qPrintable(out + QStringLiteral(".log")), "w", stderr);
    auto rec = std::make_shared<TAudioRecording>();
    ChooseOutput(rec);
    TFilterGraph fg;
    TGraphPlayback graph(fg);
    fg.OnGraphComplete = [&graph](auto*, int32_t status, auto*) { graph.GraphComplete(status); };
    SystemClock clock;
    LoggingView view;
    view.OnError = [](const QString& text) { fprintf(stderr, "%s\n", qPrintable(text)); };
    SyncFollower follower(graph, graph, view, clock);
    follower.SetLeader(address);
    SyncFollower::Options o;
    o.End = EndMode::Exit;
    o.Folders = {a[3]};
    o.LatencyOffsetMs = qEnvironmentVariableIntValue("BENCH_SYNC_LATENCY");
    follower.SetOptions(o);
    SyncLink link;
    QObject::connect(&link, &SyncLink::StateReceived, &follower, &SyncFollower::Apply);
    QObject::connect(&link, &SyncLink::Lost, &follower, &SyncFollower::Lost);
    // The follower's own line and the leader's last one, with the follower's
    // clock against the monotonic one, every half second: how much later
    // than each line its output played (the median over the second after),
    // on its own clock and on the leader's (the monotonic one).
    struct Line {
        int64_t AtNs, ClockLessMono, OwnClock, OwnPos, LeadClock, LeadPos;
        double Rate;
    };
    std::vector<Line> lines;
    std::optional<SyncState> lead;
    QObject::connect(&link, &SyncLink::StateReceived, [&](const SyncState& s) {
        if (s.PlayState == SyncState::Play::Run)
            lead = s;
    });
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const int64_t mono = MonoNs();
        const auto now = graph.ClockNowNs();
        const auto own = graph.ClockMapping();
        if (now && own && lead && std::abs(lead->Rate - graph.Rate()) < 1e-9)
            lines.push_back({mono, *now - mono, own->clockNs, own->positionNs, lead->ClockNs,
                             lead->PositionNs, lead->Rate});
    });
    sample.start(500);
    const auto finish = [&] {
        link.Stop();
        fg.Stop();
        const auto chunks = rec->Chunks();
        auto later = [&](const Line& l, int64_t clockNs, int64_t positionNs, bool own = true) {
            std::vector<int64_t> d;
            for (const auto& c : chunks) {
                if (c.Position < 0 || c.ReleasedNs < l.AtNs || c.ReleasedNs > l.AtNs + 1000000000)
                    continue;
                const int64_t due = clockNs - (own ? l.ClockLessMono : 0) +
                                    int64_t(double(c.Position * 100 - positionNs) / l.Rate);
                d.push_back(c.ReleasedNs - due);
            }
            if (d.empty())
                return 0.0;
            std::sort(d.begin(), d.end());
            return double(d[d.size() / 2]) / 1e6;
        };
        for (const Line& l : lines)
            fprintf(stderr,
                    "at %.3f s rate %.2f: later than own line %.3f ms, than the leader's %.3f ms, "
                    "on the monotonic clock %.3f ms (clock less monotonic %.3f ms)\n",
                    double(l.AtNs) / 1e9, l.Rate, later(l, l.OwnClock, l.OwnPos),
                    later(l, l.LeadClock, l.LeadPos), later(l, l.LeadClock, l.LeadPos, false),
                    double(l.ClockLessMono) / 1e6);
        WriteRecording(*rec, out);
        QCoreApplication::exit(0);
    };
    view.OnEnd = [&](EndMode) { finish(); };
    // Told to stop (SIGTERM): write what was heard.
    static int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 4;
    signal(SIGTERM, [](int) { (void)!write(pipeFds[1], "x", 1); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        fd_set s;
        FD_ZERO(&s);
        FD_SET(pipeFds[0], &s);
        timeval zero{};
        if (select(pipeFds[0] + 1, &s, nullptr, nullptr, &zero) > 0)
            finish();
    });
    poll.start(50);
    link.Start(address, quint16(a[1].toUInt()), a[2]);
    return QCoreApplication::exec();
}

// --- A relay that delays: netem's "delay 20ms 5ms" where the kernel has none --------

// Every piece passed on after 20 ms +- 5 ms (uniform), in order per
// direction of a TCP connection (a stream cannot overtake itself), each
// datagram on its own.
class DelayRelay : public QObject {
public:
    DelayRelay(const QString& listen, quint16 tcpPort, quint16 udpPort, const QString& target)
        : target_(target), udpPort_(udpPort) {
        tcp_.listen(QHostAddress(listen), tcpPort);
        connect(&tcp_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* in = tcp_.nextPendingConnection()) {
                auto* out = new QTcpSocket(in);
                out->connectToHost(QHostAddress(target_), tcp_.serverPort());
                Pipe(in, out, true);
                Pipe(out, in, false);
                connect(in, &QTcpSocket::disconnected, in, &QObject::deleteLater);
                connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
            }
        });
        udp_.bind(QHostAddress(listen), udpPort);
        connect(&udp_, &QUdpSocket::readyRead, this, [this] {
            while (udp_.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 fromPort = 0;
                QByteArray d(int(udp_.pendingDatagramSize()), 0);
                udp_.readDatagram(d.data(), d.size(), &from, &fromPort);
                QUdpSocket*& up = upstream_[fromPort];
                if (!up) {
                    up = new QUdpSocket(this);
                    up->bind();
                    connect(up, &QUdpSocket::readyRead, this, [this, up, from, fromPort] {
                        while (up->hasPendingDatagrams()) {
                            QByteArray r(int(up->pendingDatagramSize()), 0);
                            up->readDatagram(r.data(), r.size());
                            Later([this, r, from, fromPort] {
                                udp_.writeDatagram(r, from, fromPort);
                            });
                        }
                    });
                }
                Later([this, up, d] { up->writeDatagram(d, QHostAddress(target_), udpPort_); });
            }
        });
    }

private:
    static int DelayMs() { return 15 + int(QRandomGenerator::global()->bounded(11)); }
    void Later(std::function<void()> f, int ms = -1) {
        QTimer::singleShot(ms < 0 ? DelayMs() : ms, Qt::PreciseTimer, this, std::move(f));
    }
    // toLeader: the requests name the leader as their host (the relay's
    // own address would be refused as another site's).
    void Pipe(QTcpSocket* from, QTcpSocket* to, bool toLeader) {
        auto due = std::make_shared<int64_t>(0);
        connect(from, &QTcpSocket::readyRead, this, [this, from, to, due, toLeader] {
            QByteArray d = from->readAll();
            if (toLeader)
                d.replace("Host: 127.0.0.1:", "Host: " + target_.toLatin1() + ':');
            const int64_t now = MonoNs() / 1000000;
            *due = std::max(*due, now + DelayMs());
            QPointer<QTcpSocket> target(to);
            Later(
                [target, d] {
                    if (target)
                        target->write(d);
                },
                int(*due - now));
        });
    }

    QTcpServer tcp_;
    QUdpSocket udp_;
    QString target_;
    quint16 udpPort_;
    QHash<quint16, QUdpSocket*> upstream_;
};

int Relay(const QStringList& a) {
    DelayRelay relay(a[0], quint16(a[1].toUInt()), quint16(a[2].toUInt()), a[3]);
    return QCoreApplication::exec();
}

// --- The measurement -----------------------------------------------------------------

struct Player {
    pid_t Pid = -1;
    QString Out;
    int64_t SpawnedNs = 0;
};

QString Self;

Player Spawn(const QStringList& prefix, const QStringList& args, const QString& out) {
    Player p;
    p.Out = out;
    p.SpawnedNs = MonoNs();
    p.Pid = SpawnQuiet(prefix + QStringList{Self} + args + QStringList{out});
    return p;
}

bool WaitExit(const Player& p, int timeoutMs) {
    return WaitUntil(
        [&] {
            int status = 0;
            return waitpid(p.Pid, &status, WNOHANG) == p.Pid;
        },
        timeoutMs);
}

void Sh(const QString& command) {
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command});
}

void Print(const char* what, const Stats& s) {
    printf("  %-42s median %6.3f ms  worst %6.3f ms  (%d of %d windows matched)\n", what, s.Median,
           s.Worst, s.Matched, s.Windows);
}

// Due times first; then the worst as released, for what the loaded
// machine's late wake-ups of the recording outputs add.
template <class F> void PrintBoth(const char* what, F compare) {
    gAsReleased = false;
    Print(what, compare());
    gAsReleased = true;
    const Stats raw = compare();
    gAsReleased = false;
    printf("  %-42s median %6.3f ms  worst %6.3f ms  (as released)\n", "", raw.Median, raw.Worst);
}

// The room's 3-minute schedule: leader and two followers from the start, a
// late follower after 40 s; the leader's rate to 0.80 at 70 s, a pause of
// 3 s at 110 s. prefixL/prefixF run the leader / followers (a namespace).
// BENCH_SYNC_QUICK=1: a 30 s room only, to try the bench itself out.
bool Quick() {
    return qEnvironmentVariableIsSet("BENCH_SYNC_QUICK");
}

void RunRoom(const char* title, const QString& dir, const QString& clip, const QString& address,
             const QString& reach, const QStringList& prefixL, const QStringList& prefixF,
             bool late) {
    printf("%s\n", title);
    fflush(stdout);
    const QString port = QStringLiteral("47310");
    Player l = Spawn(prefixL,
                     {QStringLiteral("lead"), clip, address, port, kPin,
                      Quick() ? QStringLiteral("12000:pause 14000:play 20000:rate0.8")
                              : QStringLiteral("50000:pause 53000:play 90000:rate0.8")},
                     dir + QStringLiteral("/L.rec"));
    QThread::msleep(300);
    const QStringList f = {QStringLiteral("follow"), reach, port, kPin,
                           dir + QStringLiteral("/media")};
    Player f1 = Spawn(prefixF, f, dir + QStringLiteral("/F1.rec"));
    Player f2 = Spawn(prefixF, f, dir + QStringLiteral("/F2.rec"));
    Player f3;
    if (late) {
        QThread::sleep(Quick() ? 5 : 40);
        f3 = Spawn(prefixF, f, dir + QStringLiteral("/F3.rec"));
    }
    WaitExit(l, 400000);
    for (const Player* p : {&f1, &f2, &f3})
        if (p->Pid > 0 && !WaitExit(*p, 10000)) {
            kill(p->Pid, SIGTERM);
            WaitExit(*p, 10000);
        }
    const Recording L = ReadRecording(l.Out), F1 = ReadRecording(f1.Out),
                    F2 = ReadRecording(f2.Out);
    if (L.Chunks.empty() || F1.Chunks.empty() || F2.Chunks.empty()) {
        printf("  a player recorded nothing (L %zu, F1 %zu, F2 %zu chunks)\n", L.Chunks.size(),
               F1.Chunks.size(), F2.Chunks.size());
        return;
    }
    // Up to the rate change the sound itself is compared; at 0.80 two
    // time stretchers that started at different places splice the sound at
    // different places, so there the buffers' media positions are.
    const int64_t from = std::max(F1.Chunks.front().ReleasedNs, F2.Chunks.front().ReleasedNs);
    const int64_t slow = l.SpawnedNs + (Quick() ? 20 : 90) * int64_t(1000000000);
    const int64_t to = L.Chunks.back().ReleasedNs;
    printf("  %.0f s at 1.00 (repeats, a pause) compared by the sound, %.0f s at 0.80 by the "
           "sound where both play the same piece (correlation >= 0.95) and by the buffers' "
           "positions\n",
           double(slow - from) / 1e9, double(to - slow) / 1e9);
    PrintBoth("leader - follower 1, sound", [&] { return Compare(L, F1, from, slow); });
    PrintBoth("leader - follower 2, sound", [&] { return Compare(L, F2, from, slow); });
    PrintBoth("follower 1 - follower 2, sound", [&] { return Compare(F1, F2, from, slow); });
    // The same from 20 s after the followers started, when each network
    // clock has a full window of answers behind it.
    const int64_t settled = from + 20 * int64_t(1000000000);
    PrintBoth("leader - follower 1, sound, from 20 s",
              [&] { return Compare(L, F1, settled, slow); });
    PrintBoth("leader - follower 2, sound, from 20 s",
              [&] { return Compare(L, F2, settled, slow); });
    PrintBoth("follower 1 - follower 2, sound, from 20 s",
              [&] { return Compare(F1, F2, settled, slow); });
    gMinCorrelation = 0.95;
    PrintBoth("leader - follower 1, 0.80, sound",
              [&] { return Compare(L, F1, slow + 1000000000, to); });
    PrintBoth("leader - follower 2, 0.80, sound",
              [&] { return Compare(L, F2, slow + 1000000000, to); });
    PrintBoth("follower 1 - follower 2, 0.80, sound",
              [&] { return Compare(F1, F2, slow + 1000000000, to); });
    gMinCorrelation = 0.8;
    PrintBoth("leader - follower 1, 0.80, positions",
              [&] { return Compare(L, F1, slow + 1000000000, to, true); });
    PrintBoth("leader - follower 2, 0.80, positions",
              [&] { return Compare(L, F2, slow + 1000000000, to, true); });
    PrintBoth("follower 1 - follower 2, 0.80, positions",
              [&] { return Compare(F1, F2, slow + 1000000000, to, true); });
    if (late) {
        const Recording F3 = ReadRecording(f3.Out);
        if (!F3.Chunks.empty()) {
            printf("  late follower in step %.2f s after its start\n",
                   double(F3.Chunks.front().ReleasedNs - f3.SpawnedNs) / 1e9);
            PrintBoth("leader - late follower, sound",
                      [&] { return Compare(L, F3, F3.Chunks.front().ReleasedNs, slow); });
        }
    }
}

// --- The room heard through a sound server ------------------------------------------

// The four channels of the recorded sink: the leader, follower 1, follower 2,
// and the method's check.
constexpr int kHeardChannels = 4;
const char* const kHeardMap = "front-left,front-right,rear-left,rear-right";
const char* const kHeardPositions[] = {"front-left", "front-right", "rear-left", "rear-right"};

struct HeardTrack {
    std::vector<float> X;
    // Sounding in each 5 ms block (above the noise floor of silence).
    std::vector<bool> Loud;
};
constexpr int kBlock = kRate / 200;

std::vector<HeardTrack> SplitHeard(const std::vector<float>& interleaved) {
    std::vector<HeardTrack> t(kHeardChannels);
    const size_t frames = interleaved.size() / kHeardChannels;
    for (int c = 0; c < kHeardChannels; ++c) {
        t[size_t(c)].X.resize(frames);
        for (size_t i = 0; i < frames; ++i)
            t[size_t(c)].X[i] = interleaved[i * kHeardChannels + size_t(c)];
        for (size_t b = 0; b + kBlock <= frames; b += kBlock) {
            double e = 0;
            for (size_t i = b; i < b + kBlock; ++i)
                e += double(t[size_t(c)].X[i]) * t[size_t(c)].X[i];
            t[size_t(c)].Loud.push_back(std::sqrt(e / kBlock) > 0.02);
        }
    }
    return t;
}

// How much later (ms) b sounds than a around frame i, from a 100 ms window of
// a searched within +-searchMs of guessMs in b, to a hundredth of a sample
// (the correlation's peak fitted by a parabola); nothing below minCorr.
std::optional<double> HeardLag(const std::vector<float>& a, const std::vector<float>& b, int64_t i,
                               double guessMs, int searchMs, double minCorr = 0.8) {
    constexpr int kWindow = kRate / 10;
    const int guess = int(std::lround(guessMs * kRate / 1000));
    const int search = searchMs * kRate / 1000;
    if (i < 0 || i + kWindow > int64_t(a.size()))
        return std::nullopt;
    const float* x = &a[size_t(i)];
    double ex = 0;
    for (int n = 0; n < kWindow; ++n)
        ex += double(x[n]) * x[n];
    if (ex <= 0)
        return std::nullopt;
    std::vector<double> c(size_t(2 * search + 1), 0);
    int best = -1;
    // b's energy under the window, slid along from lag to lag.
    double ey = -1;
    for (int k = -search; k <= search; ++k) {
        const int64_t j = i + guess + k;
        if (j < 0 || j + kWindow > int64_t(b.size()))
            continue;
        const float* y = &b[size_t(j)];
        if (ey < 0) {
            ey = 0;
            for (int n = 0; n < kWindow; ++n)
                ey += double(y[n]) * y[n];
        } else {
            ey += double(y[kWindow - 1]) * y[kWindow - 1] - double(y[-1]) * y[-1];
        }
        float xy = 0;
        for (int n = 0; n < kWindow; ++n)
            xy += x[n] * y[n];
        c[size_t(k + search)] = ey > 0 ? xy / std::sqrt(ex * ey) : 0;
        if (best < 0 || c[size_t(k + search)] > c[size_t(best)])
            best = k + search;
    }
    if (best < 0 || c[size_t(best)] < minCorr)
        return std::nullopt;
    double frac = 0;
    if (best > 0 && best < 2 * search) {
        const double l = c[size_t(best - 1)], m = c[size_t(best)], r = c[size_t(best + 1)];
        if (l - 2 * m + r < 0)
            frac = 0.5 * (l - r) / (l - 2 * m + r);
    }
    return (double(guess + best - search) + frac) * 1000.0 / kRate;
}

// Where a's sound starts after at least 100 ms of silence: the first frame
// of each such start.
std::vector<int64_t> Onsets(const HeardTrack& t) {
    std::vector<int64_t> on;
    int quiet = 0;
    for (size_t b = 0; b < t.Loud.size(); ++b) {
        if (!t.Loud[b]) {
            ++quiet;
            continue;
        }
        if (quiet >= 20) {
            // To the sample: the first one of the block's neighbourhood
            // well above silence.
            int64_t f = int64_t(b > 0 ? b - 1 : 0) * kBlock;
            while (f < int64_t((b + 1) * kBlock) && std::abs(t.X[size_t(f)]) < 0.05f)
                ++f;
            on.push_back(f);
        }
        quiet = 0;
    }
    return on;
}

struct HeardStats {
    int Windows = 0, Matched = 0;
    double Median = 0, Worst = 0; // |lag - expected|, ms
    double MeanLag = 0;
    int AloneMs = 0; // one of the two sounding, the other silent
};

// b against a over the whole recording from frame `from`: 100 ms windows
// every 100 ms wherever both sound; `expectMs` is what b should lag by.
HeardStats CompareHeard(const HeardTrack& a, const HeardTrack& b, int64_t from,
                        double expectMs = 0) {
    HeardStats s;
    std::vector<double> off;
    double guess = expectMs, sum = 0;
    const int64_t end = std::min<int64_t>(int64_t(a.X.size()), int64_t(b.X.size())) - kRate;
    for (int64_t i = from; i < end; i += kRate / 10) {
        const size_t blk = size_t(i / kBlock);
        bool both = true, any = false;
        for (size_t k = blk; k < blk + 20 && k < a.Loud.size() && k < b.Loud.size(); ++k) {
            both = both && a.Loud[k] && b.Loud[k];
            any = any || a.Loud[k] || b.Loud[k];
        }
        if (!both) {
            if (any && (a.Loud[blk] != b.Loud[blk]))
                s.AloneMs += 100;
            continue;
        }
        ++s.Windows;
        auto lag = HeardLag(a.X, b.X, i, guess, 2);
        if (!lag)
            lag = HeardLag(a.X, b.X, i, expectMs, 50);
        if (!lag)
            continue;
        guess = *lag;
        if (qEnvironmentVariableIsSet("BENCH_SYNC_DEBUG"))
            fprintf(stderr, "heard %.1f s lag %.3f ms\n", double(i) / kRate, *lag);
        ++s.Matched;
        sum += *lag;
        off.push_back(std::abs(*lag - expectMs));
    }
    if (!off.empty()) {
        std::sort(off.begin(), off.end());
        s.Median = off[off.size() / 2];
        s.Worst = off.back();
        s.MeanLag = sum / double(off.size());
    }
    return s;
}

void PrintHeard(const char* what, const HeardStats& s) {
    fflush(stdout);
    printf("  %-44s median %6.3f ms  worst %7.3f ms  mean lag %+7.3f ms  (%d of %d windows; "
           "one alone %d ms)\n",
           what, s.Median, s.Worst, s.MeanLag, s.Matched, s.Windows, s.AloneMs);
}

// Every start of a against b's: how far apart (ms, b later) each restart is
// heard; a start b does not make within 1.5 s counts as missing.
void PrintStarts(const char* what, const HeardTrack& a, const HeardTrack& b, double expectMs,
                 int64_t from) {
    const std::vector<int64_t> oa = Onsets(a), ob = Onsets(b);
    std::vector<double> d;
    int missing = 0;
    QStringList each;
    for (int64_t s : oa) {
        if (s < from)
            continue;
        int64_t best = -1;
        for (int64_t t : ob)
            if (std::llabs(t - s) < kRate * 3 / 2 &&
                (best < 0 || std::llabs(t - s) < std::llabs(best - s)))
                best = t;
        if (best < 0) {
            ++missing;
            each << QStringLiteral("-");
            continue;
        }
        const double ms = double(best - s) * 1000.0 / kRate - expectMs;
        d.push_back(std::abs(ms));
        each << QStringLiteral("%1s:%2").arg(double(s) / kRate, 0, 'f', 1).arg(ms, 0, 'f', 1);
    }
    std::sort(d.begin(), d.end());
    fflush(stdout);
    printf("  %-44s %zu starts, worst %.2f ms, %d missing: %s\n", what, d.size(),
           d.empty() ? 0.0 : d.back(), missing, qPrintable(each.join(u' ')));
}

// Starts of t whose sound then runs on for a second without a gap (a start
// broken off, silent a moment, or begun twice counts as unclean).
void PrintCleanStarts(const char* what, const HeardTrack& t) {
    int clean = 0, all = 0;
    for (int64_t s : Onsets(t)) {
        const size_t from = size_t(s / kBlock) + 1, to = from + 200;
        if (to > t.Loud.size())
            continue;
        ++all;
        bool gap = false;
        for (size_t b = from; b < to; ++b)
            gap = gap || !t.Loud[b];
        clean += gap ? 0 : 1;
    }
    fflush(stdout);
    printf("  %-44s %d of %d clean (a second of sound without a gap after each)\n", what, clean,
           all);
}

// A four-channel float recording of noise on channel 0 and the same 7 ms
// later on channel 1, played as one stream: what the method must read back.
bool CheckHeardMethod(const SoundServer& server, const QString& dir) {
    const int frames = kRate * 3, shift = kRate * 7 / 1000;
    std::vector<float> raw(size_t(frames) * kHeardChannels, 0.f);
    QRandomGenerator rng(7);
    std::vector<float> noise(static_cast<size_t>(frames));
    for (float& v : noise)
        v = float(rng.generateDouble() * 1.2 - 0.6);
    for (int i = 0; i < frames; ++i) {
        raw[size_t(i) * kHeardChannels] = noise[size_t(i)];
        raw[size_t(i) * kHeardChannels + 1] = i >= shift ? noise[size_t(i - shift)] : 0.f;
        raw[size_t(i) * kHeardChannels + 2] = noise[size_t(i)];
    }
    const QString file = dir + QStringLiteral("/check.raw");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(reinterpret_cast<const char*>(raw.data()), qint64(raw.size() * sizeof(float)));
    f.close();
    SinkRecording rec(server, QStringLiteral("mix"), kHeardChannels, QLatin1String(kHeardMap));
    QThread::msleep(300);
    QProcess play;
    play.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    play.start(QStringLiteral("pacat"),
               {QStringLiteral("--device=mix"), QStringLiteral("--raw"),
                QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"),
                QStringLiteral("--channels=4"), QStringLiteral("--channel-map=%1").arg(kHeardMap),
                file});
    play.waitForFinished(20000);
    QThread::msleep(300);
    const std::vector<HeardTrack> t = SplitHeard(rec.Samples());
    const HeardStats seven = CompareHeard(t[0], t[1], 0, 7.0);
    const HeardStats zero = CompareHeard(t[0], t[2], 0, 0.0);
    printf("  the method on one stream, 7 ms apart: %+.3f ms (worst off %.3f ms, %d windows); "
           "0 ms apart: %+.3f ms (worst %.3f ms)\n",
           seven.MeanLag, seven.Worst, seven.Matched, zero.MeanLag, zero.Worst);
    fflush(stdout);
    return seven.Matched > 10 && std::abs(seven.MeanLag - 7) < 0.05 && seven.Worst < 0.05 &&
           zero.Matched > 10 && zero.Worst < 0.05;
}

void HeardRoom(const QString& dir) {
    printf("heard through a private sound server (PulseAudio): leader, follower 1 and follower 2 "
           "(latency offset +40 ms, started 6 s late) each on its own output, one recording of "
           "all three, 100 ms windows every 100 ms over the whole run, the starts included\n");
    fflush(stdout);
    const QString media = dir + QStringLiteral("/heard");
    QDir().mkpath(media);
    const QString clip = media + QStringLiteral("/noise.wav");
    Sh(QStringLiteral("gst-launch-1.0 -q audiotestsrc wave=white-noise samplesperbuffer=4800 "
                      "num-buffers=400 ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! wavenc "
                      "! filesink location=%1")
           .arg(clip));
    // 40 s of media: a section played twice, one once, one twice; a pause
    // and resume, a jump (PgDn) out of a section.
    Schedule schedule;
    const QString sched = media + QStringLiteral("/bench.INI");
    schedule.Load(sched);
    const QStringList rows = {QStringLiteral("0:00*2"), QStringLiteral("0:06*1"),
                              QStringLiteral("0:16*2"), QStringLiteral("0:24*1")};
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList tc = rows[i].split(u'*');
        schedule.InsertRow(i + 1, {QString(), tc[1], QStringLiteral("+"), QStringLiteral("-"),
                                   tc[0], QStringLiteral("s%1").arg(i + 1)});
    }
    schedule.Save(sched);

    SoundServer server(QStringList{});
    if (!server.IsRunning()) {
        printf("  no sound server could be started: left out\n");
        return;
    }
    server.UseForThisProcess();
    bool made =
        server.Pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                      QStringLiteral("sink_name=mix"), QStringLiteral("rate=48000"),
                      QStringLiteral("channels=4"), QStringLiteral("channel_map=%1").arg(kHeardMap),
                      QStringLiteral("format=float32le")}) == 0;
    for (int c = 0; c < 3; ++c)
        made = made &&
               server.Pactl(
                   {QStringLiteral("load-module"), QStringLiteral("module-remap-sink"),
                    QStringLiteral("sink_name=out%1").arg(c), QStringLiteral("master=mix"),
                    QStringLiteral("channels=1"), QStringLiteral("channel_map=mono"),
                    QStringLiteral("master_channel_map=%1").arg(QLatin1String(kHeardPositions[c])),
                    QStringLiteral("remix=no")}) == 0;
    if (!made) {
        printf("  the sound server's sinks could not be made: left out\n");
        return;
    }
    if (!CheckHeardMethod(server, dir))
        printf("  the method did not read the known offset back: the figures below are not "
               "trusted\n");

    SinkRecording rec(server, QStringLiteral("mix"), kHeardChannels, QLatin1String(kHeardMap));
    QThread::msleep(300);
    const int64_t recStart = MonoNs();
    const QString port = QStringLiteral("47312");
    qputenv("BENCH_SYNC_HEARD", "1");
    qputenv("PULSE_SINK", "out0");
    Player l = Spawn({},
                     {QStringLiteral("lead"), clip, QStringLiteral("127.0.0.1"), port, kPin,
                      QStringLiteral("16000:pause 18000:play 22000:next")},
                     dir + QStringLiteral("/HL.rec"));
    QThread::msleep(300);
    const QStringList f = {QStringLiteral("follow"), QStringLiteral("127.0.0.1"), port, kPin,
                           media};
    qputenv("PULSE_SINK", "out1");
    Player f1 = Spawn({}, f, dir + QStringLiteral("/HF1.rec"));
    QThread::sleep(6);
    qputenv("PULSE_SINK", "out2");
    qputenv("BENCH_SYNC_LATENCY", "40");
    Player f2 = Spawn({}, f, dir + QStringLiteral("/HF2.rec"));
    qunsetenv("BENCH_SYNC_LATENCY");
    qunsetenv("PULSE_SINK");
    qunsetenv("BENCH_SYNC_HEARD");
    WaitExit(l, 200000);
    for (const Player* p : {&f1, &f2})
        if (p->Pid > 0 && !WaitExit(*p, 10000)) {
            kill(p->Pid, SIGTERM);
            WaitExit(*p, 10000);
        }
    QThread::msleep(300);
    const std::vector<HeardTrack> t = SplitHeard(rec.Samples());
    // Frames from the recording's start to a monotonic time (the recorder's
    // own start latency of a few ms aside).
    auto frameAt = [&](int64_t mono) { return (mono - recStart) * kRate / 1000000000; };
    const std::vector<int64_t> on2 = Onsets(t[2]);
    int64_t join = -1;
    for (int64_t o : on2)
        if (o >= frameAt(f2.SpawnedNs)) {
            join = o;
            break;
        }
    if (join >= 0)
        printf("  follower 2 heard %.2f s after it was started (its process's start included)\n",
               double(join - frameAt(f2.SpawnedNs)) / kRate);
    else
        printf("  follower 2 was never heard\n");
    PrintHeard("leader - follower 1", CompareHeard(t[0], t[1], 0));
    PrintHeard("leader - follower 2 (offset +40 ms)", CompareHeard(t[0], t[2], 0, 40));
    PrintHeard("follower 1 - follower 2 (offset +40 ms)", CompareHeard(t[1], t[2], 0, 40));
    PrintCleanStarts("the leader's starts", t[0]);
    PrintStarts("restarts, leader - follower 1", t[0], t[1], 0, 0);
    PrintStarts("restarts, leader - follower 2", t[0], t[2], 40,
                join >= 0 ? join + kRate : INT64_MAX);
}

int Measure() {
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/bench_sync-XXXXXX"));
    tmp.setAutoRemove(!qEnvironmentVariableIsSet("BENCH_SYNC_KEEP"));
    const QString dir = tmp.path();
    QDir().mkpath(dir + QStringLiteral("/media"));
    const QString clip = dir + QStringLiteral("/media/noise.wav");
    // White noise: no two windows alike, and a correlation peak one sample wide.
    Sh(QStringLiteral("gst-launch-1.0 -q audiotestsrc wave=white-noise samplesperbuffer=4800 "
                      "num-buffers=%2 ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! wavenc "
                      "! filesink location=%1")
           .arg(clip)
           .arg(Quick() ? 300 : 1300));
    // The room's schedule: 130 s of media, repeats, about 3 minutes.
    Schedule schedule;
    const QString sched = dir + QStringLiteral("/media/bench.INI");
    schedule.Load(sched);
    const QStringList rows = Quick()
                                 ? QStringList{QStringLiteral("0:00*1"), QStringLiteral("0:10*2"),
                                               QStringLiteral("0:20*1")}
                                 : QStringList{QStringLiteral("0:00*1"), QStringLiteral("0:15*2"),
                                               QStringLiteral("0:40*1"), QStringLiteral("1:00*2"),
                                               QStringLiteral("1:20*1"), QStringLiteral("1:50*1")};
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList tc = rows[i].split(u'*');
        schedule.InsertRow(i + 1, {QString(), tc[1], QStringLiteral("+"), QStringLiteral("-"),
                                   tc[0], QStringLiteral("s%1").arg(i + 1)});
    }
    schedule.Save(sched);
    HeardRoom(dir);
    if (qEnvironmentVariableIsSet("BENCH_SYNC_HEARD_ONLY"))
        return 0;
    printf("bench_sync: leader and followers as separate processes, outputs recorded with their "
           "release times on CLOCK_MONOTONIC and cross-correlated in 50 ms windows every 0.5 s\n");

    RunRoom("one machine, loopback (3-minute schedule: repeats, a pause at 50-53 s, rate 0.80 from "
            "90 s)",
            dir, clip, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"), {}, {}, true);

    // A leader killed and started again; its followers come back by
    // themselves.
    if (!Quick()) {
        printf("leader restart\n");
        const QString port = QStringLiteral("47311");
        const QStringList f = {QStringLiteral("follow"), QStringLiteral("127.0.0.1"), port, kPin,
                               dir + QStringLiteral("/media")};
        const QStringList lead = {
            QStringLiteral("lead"),      clip, QStringLiteral("127.0.0.1"), port, kPin,
            QStringLiteral("20000:quit")};
        Player l1 = Spawn(
            {}, {QStringLiteral("lead"), clip, QStringLiteral("127.0.0.1"), port, kPin, QString()},
            dir + QStringLiteral("/R1.rec"));
        QThread::msleep(300);
        Player f1 = Spawn({}, f, dir + QStringLiteral("/RF.rec"));
        QThread::sleep(10);
        kill(l1.Pid, SIGKILL);
        WaitExit(l1, 10000);
        QThread::sleep(5);
        Player l2 = Spawn({}, lead, dir + QStringLiteral("/R2.rec"));
        WaitExit(l2, 60000);
        kill(f1.Pid, SIGTERM);
        WaitExit(f1, 10000);
        const Recording F = ReadRecording(f1.Out), L2 = ReadRecording(l2.Out);
        const auto after = std::find_if(F.Chunks.begin(), F.Chunks.end(),
                                        [&](const auto& c) { return c.ReleasedNs > l2.SpawnedNs; });
        if (after != F.Chunks.end() && !L2.Chunks.empty()) {
            printf("  follower in step again %.2f s after the leader's restart (%.2f s after its "
                   "first sound)\n",
                   double(after->ReleasedNs - l2.SpawnedNs) / 1e9,
                   double(after->ReleasedNs - L2.Chunks.front().ReleasedNs) / 1e9);
            PrintBoth("leader - follower after rejoin", [&] {
                return Compare(L2, F, after->ReleasedNs, L2.Chunks.back().ReleasedNs);
            });
        } else {
            printf("  the follower did not come back\n");
        }
    }

    // What followers cost the leader: its CPU time over the same 30 s.
    if (!Quick()) {
        printf("leader CPU over 30 s of playing\n");
        double cpu[2] = {0, 0};
        for (int n : {0, 3}) {
            const QString port = QString::number(47312 + n);
            Player l = Spawn({},
                             {QStringLiteral("lead"), clip, QStringLiteral("127.0.0.1"), port, kPin,
                              QStringLiteral("36000:quit")},
                             dir + QStringLiteral("/C.rec"));
            QThread::msleep(300);
            std::vector<Player> fs;
            for (int i = 0; i < n; ++i)
                fs.push_back(Spawn({},
                                   {QStringLiteral("follow"), QStringLiteral("127.0.0.1"), port,
                                    kPin, dir + QStringLiteral("/media")},
                                   dir + QStringLiteral("/CF%1.rec").arg(i)));
            QThread::sleep(5);
            const double c0 = ProcessCpuSeconds(l.Pid);
            const int64_t t0 = MonoNs();
            QThread::sleep(30);
            const double c1 = ProcessCpuSeconds(l.Pid);
            cpu[n ? 1 : 0] = (c1 - c0) / (double(MonoNs() - t0) / 1e9) * 100;
            WaitExit(l, 30000);
            for (const Player& p : fs)
                if (!WaitExit(p, 10000)) {
                    kill(p.Pid, SIGTERM);
                    WaitExit(p, 10000);
                }
            printf("  %d followers: %.2f %% of one core\n", n, cpu[n ? 1 : 0]);
        }
        printf("  3 followers add %.2f %% of one core\n", cpu[1] - cpu[0]);
    }

    // Two network namespaces joined by a veth pair, the followers in one,
    // the leader in the other, 20 ms +- 5 ms each way: netem when the
    // kernel has it, otherwise a relay in the followers' namespace.
    if (geteuid() == 0) {
        Sh(QStringLiteral("ip netns del tvl 2>/dev/null; ip netns del tvf 2>/dev/null; "
                          "ip netns add tvl && ip netns add tvf && "
                          "ip link add tvl0 type veth peer name tvf0 && "
                          "ip link set tvl0 netns tvl && ip link set tvf0 netns tvf && "
                          "ip -n tvl addr add 10.231.0.1/24 dev tvl0 && "
                          "ip -n tvf addr add 10.231.0.2/24 dev tvf0 && "
                          "ip -n tvl link set tvl0 up && ip -n tvf link set tvf0 up && "
                          "ip -n tvl link set lo up && ip -n tvf link set lo up"));
        const bool netem =
            QProcess::execute(QStringLiteral("sh"),
                              {QStringLiteral("-c"),
                               QStringLiteral("ip netns exec tvl tc qdisc add dev tvl0 root netem "
                                              "delay 20ms 5ms 2>/dev/null && ip netns exec tvf tc "
                                              "qdisc add dev tvf0 root netem delay 20ms 5ms "
                                              "2>/dev/null")}) == 0;
        const QStringList inL = {QStringLiteral("ip"), QStringLiteral("netns"),
                                 QStringLiteral("exec"), QStringLiteral("tvl")};
        const QStringList inF = {QStringLiteral("ip"), QStringLiteral("netns"),
                                 QStringLiteral("exec"), QStringLiteral("tvf")};
        Player relay;
        if (!netem)
            relay = Spawn(inF,
                          {QStringLiteral("relay"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("47310"), QStringLiteral("47330"),
                           QStringLiteral("10.231.0.1")},
                          QString());
        RunRoom(netem ? "two network namespaces over veth, netem delay 20ms 5ms each way"
                      : "two network namespaces over veth; no netem in this kernel: a relay in "
                        "the followers' namespace delays every packet 20 ms +- 5 ms each way",
                dir, clip, QStringLiteral("10.231.0.1"),
                netem ? QStringLiteral("10.231.0.1") : QStringLiteral("127.0.0.1"), inL, inF, true);
        if (relay.Pid > 0) {
            kill(relay.Pid, SIGTERM);
            WaitExit(relay, 5000);
        }
        Sh(QStringLiteral("ip netns del tvl; ip netns del tvf"));
    } else {
        printf("network namespaces: not root, left out\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    Self = QCoreApplication::applicationFilePath();
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("lead") && args.size() >= 7)
        return Lead(args.mid(1));
    if (args.value(0) == QLatin1String("follow") && args.size() >= 6)
        return Follow(args.mid(1));
    if (args.value(0) == QLatin1String("relay") && args.size() >= 5)
        return Relay(args.mid(1));
    if (args.value(0) == QLatin1String("analyse") && args.size() >= 2) {
        const Recording L = ReadRecording(args[1] + QStringLiteral("/L.rec"));
        const Recording F = ReadRecording(args[1] + QStringLiteral("/F1.rec"));
        PrintBoth("leader - follower 1", [&] {
            return Compare(L, F, F.Chunks.front().ReleasedNs, L.Chunks.back().ReleasedNs);
        });
        return 0;
    }
    return Measure();
}
