// Media engine figures, measured side by side in one run:
//  1. CopyChannel throughput against memcpy on the same buffer;
//  2. seek landing error and latency (2 s and 10 s key-frame intervals);
//  3. CPU time of a minute of 720p playback painted by VW (1280x720 and
//     1920x1080) against gst-play-1.0 and mpv --vo=x11 on the same clip under
//     the same Xvfb (the X server's own CPU time counted too);
//  4. the longest stall of the event loop during 100 opens of a 720p file, as
//     the lateness of a 10 ms heartbeat timer, against the 100 ms goal.
//
// Usage: bench_media [--quick | --opens [cpus]]
//   --quick: 15 s of playback instead of 60; --opens: only the open stalls;
//   with cpus, the opens run once more beside `stress-ng --cpu <cpus>`, and
//   the refusals of both runs are printed side by side.
// Child mode (used by itself): bench_media --play <file> <width> <height> <seconds>
#include "media/FilterGraph.h"
#include "media/SampleGrabber.h"
#include "media/VideoWindow.h"
#include "media/gst/GstAudioOutput.h"
#include "support/MediaClips.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// --- 1. CopyChannel ------------------------------------------------------------

void BenchCopyChannel() {
    std::printf("\n== CopyChannel (in place) against memcpy, 1 MiB buffer, same run\n");
    std::printf("%-8s %-8s %12s %12s %8s\n", "bits", "channel", "CopyChannel", "memcpy", "ratio");
    constexpr size_t Size = 1 << 20;
    std::vector<uint8_t> buffer(Size), other(Size);
    for (size_t i = 0; i < Size; ++i)
        buffer[i] = uint8_t(i * 7);
    for (int bits : {16, 32, 24, 8}) {
        for (int channel : {1, 2}) {
            auto measure = [&](auto&& fn) {
                double best = 1e9;
                for (int round = 0; round < 5; ++round) {
                    const auto t0 = Clock::now();
                    for (int i = 0; i < 200; ++i)
                        fn();
                    best = std::min(best, Seconds(Clock::now() - t0));
                }
                return 200.0 * Size / best / 1e9; // GB/s
            };
            const double copy = measure([&] {
                CopyChannel(buffer.data(), int32_t(Size), bits, channel);
                asm volatile("" ::"r"(buffer.data()) : "memory");
            });
            const double mem = measure([&] {
                std::memcpy(other.data(), buffer.data(), Size);
                asm volatile("" ::"r"(other.data()) : "memory");
            });
            std::printf("%-8d %-8d %9.2f GB/s %7.2f GB/s %8.2f\n", bits, channel, copy, mem,
                        copy / mem);
        }
    }
}

// --- 2. Seeks --------------------------------------------------------------------

void WaitEvents(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

void BenchSeeks(const QString& dir) {
    std::printf("\n== Seeks (1280x720 H.264 + AAC, 20 s), 3 repetitions each\n");
    std::printf("%-10s %-7s %-8s %14s %14s %16s\n", "key every", "target", "state", "settled ms",
                "first sound ms", "landing error us");
    auto rec = std::make_shared<TAudioRecording>();
    SetAudioOutput(TAudioOutputKind::Record, rec);
    const TVideoClipOptions o = TVideoClipOptions::Moving720p();
    for (int key : {2, 10}) {
        const QString clip = dir + QStringLiteral("/seek-k%1.mp4").arg(key);
        QString error;
        if (!QFile::exists(clip) && !MakeToneVideoClip(clip, 20, key, &error, o)) {
            std::printf("cannot make %s: %s\n", qPrintable(clip), qPrintable(error));
            return;
        }
        for (int targetMs : {3000, 17000}) {
            for (bool paused : {false, true}) {
                double settled = 0, sound = 0, landing = 0;
                int n = 0;
                for (int rep = 0; rep < 3; ++rep) {
                    TFilterGraph g;
                    g.SetActive(true);
                    if (FAILED(g.RenderFile(clip)))
                        continue;
                    g.Play();
                    WaitEvents(300);
                    if (paused) {
                        g.Pause();
                        WaitEvents(100);
                    }
                    auto seeking = g.QueryInterface<IMediaSeeking>();
                    auto control = g.QueryInterface<IMediaControl>();
                    rec->Clear();
                    const int64_t target = int64_t(targetMs) * 10000;
                    int64_t t = target;
                    const auto t0 = Clock::now();
                    seeking->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning);
                    FILTER_STATE fs;
                    while (control->GetState(0, &fs) != S_OK &&
                           Clock::now() - t0 < std::chrono::seconds(10))
                        QThread::usleep(200);
                    settled += Seconds(Clock::now() - t0) * 1000;
                    if (paused)
                        g.Play();
                    while (rec->FrameCount() == 0 && Clock::now() - t0 < std::chrono::seconds(10))
                        QThread::usleep(200);
                    sound += Seconds(Clock::now() - t0) * 1000;
                    const auto chunks = rec->Chunks();
                    if (!chunks.empty())
                        landing += double(chunks.front().Position - target) / 10.0;
                    ++n;
                }
                if (n)
                    std::printf("%-10s %-7s %-8s %14.1f %14.1f %16.1f\n",
                                qPrintable(QStringLiteral("%1 s").arg(key)),
                                qPrintable(QStringLiteral("%1 s").arg(targetMs / 1000)),
                                paused ? "paused" : "running", settled / n, sound / n, landing / n);
            }
        }
    }
}

// --- 3. Playback CPU -----------------------------------------------------------------

int64_t ProcessCpuTicks(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after ')'.
    return fields.size() > 13 ? fields[11].toLongLong() + fields[12].toLongLong() : 0;
}

double ChildrenCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct TRun {
    QString Name;
    double Player = 0, Server = 0, Wall = 0;
    QString Note;
    bool Ok = false;
};

TRun RunPlayer(const QString& name, const QString& program, const QStringList& args,
               const QString& display, qint64 serverPid, int seconds) {
    TRun run;
    run.Name = name;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    const double cpu0 = ChildrenCpuSeconds();
    const int64_t server0 = ProcessCpuTicks(serverPid);
    const auto t0 = Clock::now();
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        run.Note = QStringLiteral("did not start");
        return run;
    }
    if (!p.waitForFinished((seconds + 60) * 1000)) {
        p.terminate();
        if (!p.waitForFinished(5000))
            p.kill();
        p.waitForFinished(5000);
    }
    run.Wall = Seconds(Clock::now() - t0);
    run.Player = ChildrenCpuSeconds() - cpu0;
    run.Server = double(ProcessCpuTicks(serverPid) - server0) / double(sysconf(_SC_CLK_TCK));
    const QString out = QString::fromLocal8Bit(p.readAll()).trimmed();
    run.Note = out.section('\n', -1).left(70);
    run.Ok = p.exitStatus() == QProcess::NormalExit;
    return run;
}

void BenchPlayback(const QString& dir, const QString& self, int seconds) {
    std::printf(
        "\n== CPU time of %d s of 1280x720 30 fps H.264 + AAC playback under Xvfb 1920x1080\n",
        seconds);
    const QString clip = dir + QStringLiteral("/play-720p-%1s.mp4").arg(seconds);
    const TVideoClipOptions o = TVideoClipOptions::Moving720p();
    QString error;
    if (!QFile::exists(clip) && !MakeToneVideoClip(clip, seconds, 2, &error, o)) {
        std::printf("cannot make the clip: %s\n", qPrintable(error));
        return;
    }
    QProcess server;
    int fds[2];
    if (pipe(fds) != 0)
        return;
    server.setProgram(QStringLiteral("Xvfb"));
    server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                         QStringLiteral("-screen"), QStringLiteral("0"),
                         QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp")});
    server.setChildProcessModifier([fds] { ::close(fds[0]); });
    server.start();
    ::close(fds[1]);
    if (!server.waitForStarted(5000)) {
        std::printf("Xvfb did not start\n");
        return;
    }
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    const QString display = QStringLiteral(":") + QString::fromLatin1(number);
    const qint64 pid = server.processId();
    const QString secs = QString::number(seconds);
    const QString length = QStringLiteral("--length=%1").arg(seconds);

    std::vector<TRun> runs;
    runs.push_back(RunPlayer(QStringLiteral("VW 1280x720 (ours)"), self,
                             {QStringLiteral("--play"), clip, "1280", "720", secs}, display, pid,
                             seconds));
    runs.push_back(RunPlayer(QStringLiteral("VW 1920x1080 (ours)"), self,
                             {QStringLiteral("--play"), clip, "1920", "1080", secs}, display, pid,
                             seconds));
    runs.push_back(RunPlayer(QStringLiteral("mpv --vo=x11 1280x720"), QStringLiteral("mpv"),
                             {"--no-config", "--vo=x11", "--ao=null", "--really-quiet",
                              "--geometry=1280x720", length, clip},
                             display, pid, seconds));
    runs.push_back(RunPlayer(QStringLiteral("mpv --vo=x11 1920x1080"), QStringLiteral("mpv"),
                             {"--no-config", "--vo=x11", "--ao=null", "--really-quiet",
                              "--geometry=1920x1080", length, clip},
                             display, pid, seconds));
    runs.push_back(RunPlayer(
        QStringLiteral("gst-play-1.0 (its default sink)"), QStringLiteral("gst-play-1.0"),
        {"--no-interactive", "-q", "--audiosink=fakesink sync=true", clip}, display, pid, seconds));
    runs.push_back(RunPlayer(QStringLiteral("gst-play-1.0 ximagesink 1280x720"),
                             QStringLiteral("gst-play-1.0"),
                             {"--no-interactive", "-q", "--audiosink=fakesink sync=true",
                              "--videosink=ximagesink", clip},
                             display, pid, seconds));
    server.terminate();
    server.waitForFinished(3000);

    std::printf("%-34s %9s %9s %9s %8s  %s\n", "player", "player s", "X srv s", "total s", "wall s",
                "last output");
    for (auto& r : runs)
        std::printf("%-34s %9.2f %9.2f %9.2f %8.1f  %s\n", qPrintable(r.Name), r.Player, r.Server,
                    r.Player + r.Server, r.Wall, qPrintable(r.Note));
    auto total = [](const TRun& r) { return r.Player + r.Server; };
    std::printf("ratios (total CPU, ours / reference):\n");
    std::printf("  VW 1280x720  / mpv 1280x720          %6.2f\n", total(runs[0]) / total(runs[2]));
    std::printf("  VW 1920x1080 / mpv 1920x1080         %6.2f\n", total(runs[1]) / total(runs[3]));
    std::printf("  VW 1280x720  / gst-play (default)    %6.2f\n", total(runs[0]) / total(runs[4]));
    std::printf("  VW 1280x720  / gst-play ximagesink   %6.2f\n", total(runs[0]) / total(runs[5]));
}

// --- 4. Event-loop stalls while opening -----------------------------------------------

// Every open as the player makes it for a new file: stop, empty and drop the
// old graph, make a fresh one, render, run, and wait (handling events) for
// the first sound. A 10 ms heartbeat timer runs meanwhile; its lateness is
// how long the window could not answer.
// Returns the number of opens refused (the file reported as not opening).
int BenchOpenStalls(const QString& dir, const char* beside = "") {
    constexpr int Opens = 100;
    constexpr double GoalMs = 100;
    std::printf("\n== Event-loop stalls during %d opens (1280x720 H.264 + AAC, VW 640x360)%s\n",
                Opens, beside);
    const TVideoClipOptions o = TVideoClipOptions::Moving720p();
    const QString clip = dir + QStringLiteral("/open-720p.mp4");
    QString error;
    if (!QFile::exists(clip) && !MakeToneVideoClip(clip, 10, 2, &error, o)) {
        std::printf("cannot make the clip: %s\n", qPrintable(error));
        return -1;
    }
    auto rec = std::make_shared<TAudioRecording>();
    SetAudioOutput(TAudioOutputKind::Record, rec);
    QWidget form;
    form.setGeometry(0, 0, 640, 360);
    TVideoWindow vw(&form);
    vw.setObjectName(QStringLiteral("VW"));
    vw.setGeometry(0, 0, 640, 360);
    TFilterGraph graph;
    vw.SetFilterGraph(&graph);
    form.show();

    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(10);
    Clock::time_point last = Clock::now();
    std::vector<double> late; // ms past the 10 ms period, one per beat
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        late.push_back(std::max(0.0, Seconds(now - last) * 1000 - 10));
        last = now;
    });
    std::vector<double> worstPerOpen, openMs;
    int failed = 0;
    for (int i = 0; i < Opens; ++i) {
        late.clear();
        last = Clock::now();
        heartbeat.start();
        const auto t0 = Clock::now();
        graph.Stop();
        graph.EmptyGraph();
        graph.SetActive(false);
        graph.SetActive(true);
        rec->Clear();
        if (const HRESULT hr = graph.RenderFile(clip); FAILED(hr)) {
            ++failed;
            std::printf("open %d refused: %s\n", i + 1, qPrintable(graph.LastError()));
        } else {
            graph.Play();
            while (rec->FrameCount() == 0 && Clock::now() - t0 < std::chrono::seconds(10))
                QCoreApplication::processEvents(
                    QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        }
        openMs.push_back(Seconds(Clock::now() - t0) * 1000);
        // One more beat, so that a stall at the very end is counted too.
        const auto t1 = Clock::now();
        const size_t beats = late.size();
        while (late.size() == beats && Clock::now() - t1 < std::chrono::seconds(1))
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            5);
        heartbeat.stop();
        worstPerOpen.push_back(late.empty() ? 0 : *std::max_element(late.begin(), late.end()));
    }
    graph.Stop();
    graph.SetActive(false);
    auto percentile = [](std::vector<double> v, double p) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
    };
    const double worst = *std::max_element(worstPerOpen.begin(), worstPerOpen.end());
    std::printf("%-28s %10s %10s %10s\n", "per open", "median", "p95", "max");
    std::printf("%-28s %10.1f %10.1f %10.1f\n", "open to first sound, ms", percentile(openMs, 0.5),
                percentile(openMs, 0.95), *std::max_element(openMs.begin(), openMs.end()));
    std::printf("%-28s %10.1f %10.1f %10.1f\n", "longest heartbeat delay, ms",
                percentile(worstPerOpen, 0.5), percentile(worstPerOpen, 0.95), worst);
    std::printf("failed opens: %d\n", failed);
    std::printf("worst stall / 100 ms goal: %.2f (%s)\n", worst / GoalMs,
                worst < GoalMs ? "met" : "NOT met");
    return failed;
}

// The opens quiet, then beside `stress-ng --cpu <cpus>` (a busy machine).
void BenchOpensLoaded(const QString& dir, int cpus) {
    const int quiet = BenchOpenStalls(dir, ", quiet");
    QProcess stress;
    stress.start(QStringLiteral("stress-ng"),
                 {QStringLiteral("--cpu"), QString::number(cpus), QStringLiteral("--quiet")});
    if (!stress.waitForStarted()) {
        std::printf("stress-ng did not start\n");
        return;
    }
    const QByteArray label = QStringLiteral(", beside stress-ng --cpu %1").arg(cpus).toUtf8();
    const int loaded = BenchOpenStalls(dir, label.constData());
    stress.terminate();
    stress.waitForFinished(5000);
    std::printf("\nrefused opens: quiet %d, beside stress-ng --cpu %d: %d\n", quiet, cpus, loaded);
}

// --- Child: play a clip in a VW of the given size ------------------------------------

int PlayChild(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const int width = std::atoi(argv[3]), height = std::atoi(argv[4]), seconds = std::atoi(argv[5]);
    SetAudioOutput(TAudioOutputKind::Discard);
    QWidget form;
    form.setWindowFlags(Qt::FramelessWindowHint);
    form.setGeometry(0, 0, width, height);
    TVideoWindow vw(&form);
    vw.setObjectName(QStringLiteral("VW"));
    vw.setGeometry(0, 0, width, height);
    TFilterGraph graph;
    TSampleGrabber grabber;
    grabber.setObjectName(QStringLiteral("SampleGrabber"));
    AM_MEDIA_TYPE mt;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    grabber.SetMediaType(mt);
    grabber.SetOnBuffer([](QObject*, double, uint8_t* b, int32_t n) { CopyChannel(b, n, 16, 0); });
    vw.SetFilterGraph(&graph);
    grabber.SetFilterGraph(&graph);
    form.show();
    graph.SetActive(true);
    if (FAILED(graph.RenderFile(file))) {
        std::printf("render failed: %s\n", qPrintable(graph.LastError()));
        return 1;
    }
    graph.Play();
    QTimer::singleShot(seconds * 1000 + 300, &app, &QApplication::quit);
    graph.OnGraphComplete = [&](TFilterGraph*, HRESULT, IBaseFilter*) { app.quit(); };
    app.exec();
    std::printf("frames painted %llu\n", static_cast<unsigned long long>(vw.FramesPainted()));
    graph.Stop();
    graph.SetActive(false);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--play") == 0)
        return PlayChild(argc, argv);
    const bool quick = argc >= 2 && std::strcmp(argv[1], "--quick") == 0;
    const bool opensOnly = argc >= 2 && std::strcmp(argv[1], "--opens") == 0;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/media-clips");
    QDir().mkpath(dir);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (opensOnly) {
        if (argc >= 3)
            BenchOpensLoaded(dir, std::max(1, std::atoi(argv[2])));
        else
            BenchOpenStalls(dir);
        return 0;
    }
    BenchCopyChannel();
    BenchSeeks(dir);
    BenchPlayback(dir, QCoreApplication::applicationFilePath(), quick ? 15 : 60);
    BenchOpenStalls(dir);
    return 0;
}
