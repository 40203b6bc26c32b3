// Figures of the timeline window, measured side by side in one run:
//  1. the sound's peaks of a 10-minute AAC file: wall time and CPU in this
//     process and as a program that only computes them, against
//     `filesrc ! decodebin ! fakesink` on the same file (the decoding floor)
//     run the same two ways, alternating, five rounds; goal ≤ 1.2 × the floor;
//  2. in this process, with the timeline shown: the first piece of waveform
//     (goal within 1 s), the whole, the longest stall of the user-interface
//     thread under a 10 ms heartbeat (goal < 50 ms), the memory the peaks
//     take per hour of media (goal ≤ 10 MB) and a second open from the cache;
//  3. the pictures of a 10-minute 720p H.264 file: time to the first screen
//     of pictures (every slot of a 900-pixel strip shows a picture of its own
//     stretch; goal ≤ 2 s), to all of them, and the longest stall meanwhile;
//  4. CPU of 15 s of 720p playback in the player with the timeline window
//     closed and open (its cache made beforehand), alternating, two rounds;
//     goal ≤ 5 % more.
// The 10-minute clips are made once and kept in the temporary folder.
// Run: build-rel/bench/bench_timeline (scripts/bench.sh runs it); with
// --sound only 1. and 2., --pictures only 3., --playback only 4.
#include "../../tests/e2e/PlayerKit.h"
#include "../BenchKit.h"

#include "AppStartup.h"
#include "media/gst/GstAudioOutput.h"
#include "support/MediaClips.h"
#include "timeline/MediaPeaks.h"
#include "timeline/TimelineWidget.h"
#include "timeline/TimelineWindow.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void Line(const char* what, double value, const char* unit, const QString& note = {}) {
    std::printf("%-62s %10.3f %s%s%s\n", what, value, unit, note.isEmpty() ? "" : "  ",
                qPrintable(note));
    std::fflush(stdout);
}

double SelfCpuSeconds() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
           ru.ru_stime.tv_usec / 1e6;
}

struct TRun {
    double Wall = -1;
    double Cpu = -1;
};

// A program run to its end: wall time and CPU (user + system, all threads).
TRun RunMeasured(const QStringList& argv) {
    TRun r;
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = SpawnQuiet(argv);
    if (pid <= 0)
        return r;
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return r;
    r.Wall = wall.elapsed() / 1000.0;
    r.Cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
            ru.ru_stime.tv_usec / 1e6;
    return r;
}

// CPU of a program over measureMs after skipMs of start-up; it is then ended.
double CpuWindow(const QStringList& argv, int skipMs, int measureMs) {
    const pid_t pid = SpawnQuiet(argv);
    if (pid <= 0)
        return -1;
    usleep(useconds_t(skipMs) * 1000);
    const double before = ProcessCpuSeconds(pid);
    usleep(useconds_t(measureMs) * 1000);
    const double after = ProcessCpuSeconds(pid);
    int status = 0;
    const bool ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    return !ended && before >= 0 && after >= before ? after - before : -1;
}

// A clip made once and kept in the temporary folder.
QString KeptClip(const QString& name, const std::function<bool(const QString&, QString*)>& make) {
    const QString clip = QDir::temp().filePath(name);
    if (QFile::exists(clip))
        return clip;
    const QString part = clip + QStringLiteral(".part.") + QFileInfo(clip).suffix();
    QString error;
    std::printf("making %s ...\n", qPrintable(clip));
    std::fflush(stdout);
    if (!make(part, &error) || !QFile::rename(part, clip)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(error));
        return {};
    }
    return clip;
}

// Runs the event loop with a 10 ms heartbeat until done(); the longest gap
// between two beats beyond the 10 ms, in ms.
double LongestStall(const std::function<bool()>& done, int limitMs = 300000) {
    QElapsedTimer beat;
    beat.start();
    double worst = 0;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(10);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        worst = std::max(worst, beat.nsecsElapsed() / 1e6 - 10);
        beat.restart();
    });
    heart.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QElapsedTimer total;
    total.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || total.elapsed() > limitMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return worst;
}

// Every slot of the strip shows a picture from its own stretch of the media.
bool FirstScreenOfPictures(const TTimelineWidget& t, const TMediaPeaks& m) {
    const int slot = 54 * TMediaPeaks::ThumbWidth / TMediaPeaks::ThumbHeight;
    const int64_t slotMs = t.MsOfX(slot) - t.MsOfX(0);
    if (m.Thumbs().isEmpty())
        return false;
    for (int x = 0; x < t.width(); x += slot) {
        const int64_t at = t.MsOfX(x);
        auto it = m.Thumbs().upperBound(at);
        if (it == m.Thumbs().begin())
            return false;
        --it;
        if (at - it.key() >= slotMs)
            return false;
    }
    return true;
}

// 1.'s program: the peaks of one file and nothing else.
int PeaksOnly(int argc, char** argv, const QString& file) {
    QCoreApplication app(argc, argv);
    TMediaPeaks m;
    m.Open(file);
    WaitUntil([&] { return m.Finished(); }, 600000);
    return m.Finished() && m.HasAudio() && !m.FromCache() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--player-silent") == 0) {
        SetAudioOutput(TAudioOutputKind::Discard);
        int n = 1;
        return RunTavrelo(n, argv);
    }
    if (argc > 3 && qstrcmp(argv[1], "--peaks") == 0) {
        qputenv("XDG_CACHE_HOME", argv[3]);
        return PeaksOnly(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const bool sound = only.isEmpty() || only == "--sound";
    const bool pictures = only.isEmpty() || only == "--pictures";
    const bool playback = only.isEmpty() || only == "--playback";
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString exe = QCoreApplication::applicationFilePath();

    const QString aac =
        KeptClip(QStringLiteral("tavrelo-bench-aac-600s.m4a"),
                 [](const QString& p, QString* e) { return MakeToneAudioClip(p, 600, 2, e); });
    // 18000 frames of 720p30 at x264's "veryfast", a key frame every 2 s; the
    // sound a plain tone (the pictures are what is measured). Several minutes
    // on a busy machine, hence its own time limit.
    const QString video =
        !(pictures || playback)
            ? QStringLiteral("-")
            : KeptClip(QStringLiteral("tavrelo-bench-720p30-600s.mp4"), [](const QString& p,
                                                                           QString* e) {
                  return RunGstLaunch(
                      QStringLiteral(
                          "mp4mux name=mux faststart=true ! filesink location=\"%1\" "
                          "audiotestsrc num-buffers=28125 samplesperbuffer=1024 ! "
                          "audio/x-raw,rate=48000,channels=2 ! avenc_aac ! aacparse ! mux. "
                          "videotestsrc pattern=ball num-buffers=18000 ! "
                          "video/x-raw,framerate=30/1,width=1280,height=720 ! videoconvert ! "
                          "video/x-raw,format=I420 ! x264enc key-int-max=60 speed-preset=veryfast "
                          "bframes=0 option-string=\"scenecut=0:min-keyint=60\" ! h264parse ! mux.")
                          .arg(p),
                      e, 1800000);
              });
    if (aac.isEmpty() || video.isEmpty())
        return 1;
    std::printf("bench_timeline\n");

    // The player has GStreamer running before a timeline opens.
    gst_init(nullptr, nullptr);

    // 1. Peaks against the decoding floor, alternating, two rounds: in this
    // process (the floor pipeline made from the same description), and as
    // programs with their start-up.
    if (sound) {
        // Per kind (floor, peaks, floor program, peaks program) the runs'
        // wall times and CPU; on a shared machine the least of each is the
        // figure least disturbed by others, the median is printed beside it.
        std::vector<double> wall[4], cpu[4];
        QStringList raw, rawPrograms;
        constexpr int kRounds = 5;
        for (int round = 0; round < kRounds; ++round) {
            TRun floor, ours;
            {
                const double c0 = SelfCpuSeconds();
                QElapsedTimer t;
                t.start();
                GstElement* p = gst_parse_launch(
                    QStringLiteral("filesrc location=\"%1\" ! decodebin ! fakesink")
                        .arg(aac)
                        .toUtf8()
                        .constData(),
                    nullptr);
                gst_element_set_state(p, GST_STATE_PLAYING);
                GstBus* bus = gst_element_get_bus(p);
                GstMessage* msg = gst_bus_timed_pop_filtered(
                    bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
                const bool ok = GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
                gst_message_unref(msg);
                gst_object_unref(bus);
                gst_element_set_state(p, GST_STATE_NULL);
                gst_object_unref(p);
                if (ok) {
                    floor.Wall = t.nsecsElapsed() / 1e9;
                    floor.Cpu = SelfCpuSeconds() - c0;
                }
            }
            {
                qputenv("XDG_CACHE_HOME",
                        dir.filePath(QStringLiteral("cache-in-%1").arg(round)).toLocal8Bit());
                const double c0 = SelfCpuSeconds();
                QElapsedTimer t;
                t.start();
                TMediaPeaks m;
                m.Open(aac);
                if (WaitUntil([&] { return m.Finished(); }, 600000) && m.HasAudio()) {
                    ours.Wall = t.nsecsElapsed() / 1e9;
                    ours.Cpu = SelfCpuSeconds() - c0;
                }
            }
            const TRun floorProgram = RunMeasured(
                {QStringLiteral("gst-launch-1.0"), QStringLiteral("-q"), QStringLiteral("filesrc"),
                 QStringLiteral("location=") + aac, QStringLiteral("!"),
                 QStringLiteral("decodebin"), QStringLiteral("!"), QStringLiteral("fakesink")});
            const QString cache = dir.filePath(QStringLiteral("cache-program-%1").arg(round));
            const TRun oursProgram = RunMeasured({exe, QStringLiteral("--peaks"), aac, cache});
            if (floor.Wall < 0 || ours.Wall < 0 || floorProgram.Wall < 0 || oursProgram.Wall < 0) {
                std::fprintf(stderr, "a run failed\n");
                return 1;
            }
            int k = 0;
            for (const TRun* r :
                 {&std::as_const(floor), &std::as_const(ours), &floorProgram, &oursProgram}) {
                wall[k].push_back(r->Wall);
                cpu[k++].push_back(r->Cpu);
            }
            auto runs = [](const TRun& a, const TRun& b) {
                return QStringLiteral("floor %1 s/%2 s CPU, peaks %3 s/%4 s CPU")
                    .arg(a.Wall, 0, 'f', 2)
                    .arg(a.Cpu, 0, 'f', 2)
                    .arg(b.Wall, 0, 'f', 2)
                    .arg(b.Cpu, 0, 'f', 2);
            };
            raw << runs(floor, ours);
            rawPrograms << runs(floorProgram, oursProgram);
        }
        auto least = [](std::vector<double> v) { return *std::min_element(v.begin(), v.end()); };
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const char* names[4] = {"floor: decodebin ! fakesink in this process",
                                "peaks: TMediaPeaks in this process (cache written)",
                                "floor program: gst-launch-1.0",
                                "peaks program: this program --peaks (Qt start-up)"};
        std::printf("1. sound peaks of a 10-minute AAC file, %d rounds alternating\n", kRounds);
        for (int k = 0; k < 4; ++k) {
            Line(qPrintable(QStringLiteral("   %1, wall least").arg(QLatin1String(names[k]))),
                 least(wall[k]), "s",
                 QStringLiteral("median %1 s").arg(median(wall[k]), 0, 'f', 3));
            Line("     CPU least", least(cpu[k]), "s",
                 QStringLiteral("median %1 s").arg(median(cpu[k]), 0, 'f', 3));
        }
        for (int k : {0, 2}) {
            Line(k == 0 ? "   ratio peaks / floor in this process, CPU least"
                        : "   ratio peaks / floor as programs, CPU least",
                 least(cpu[k + 1]) / least(cpu[k]), "x",
                 QStringLiteral("median %1 x").arg(median(cpu[k + 1]) / median(cpu[k]), 0, 'f', 3));
            Line("     wall least", least(wall[k + 1]) / least(wall[k]), "x",
                 QStringLiteral("median %1 x")
                     .arg(median(wall[k + 1]) / median(wall[k]), 0, 'f', 3));
        }
        std::printf("   runs in this process: %s\n   runs as programs: %s\n",
                    qPrintable(raw.join(QStringLiteral("; "))),
                    qPrintable(rawPrograms.join(QStringLiteral("; "))));
    }

    const QString cache = dir.filePath(QStringLiteral("cache"));
    qputenv("XDG_CACHE_HOME", cache.toLocal8Bit());
    // 2. In this process, the timeline shown.
    if (sound) {
        TTimelineWindow win;
        win.resize(900, 220);
        win.show();
        TMediaPeaks& m = *win.Peaks();
        QElapsedTimer t;
        double firstPiece = -1;
        QObject::connect(&m, &TMediaPeaks::Updated, [&] {
            if (firstPiece < 0 && !m.Peaks().empty())
                firstPiece = t.nsecsElapsed() / 1e6;
        });
        // The same heartbeat with nothing computing: what the machine's load
        // alone costs it.
        QElapsedTimer idle;
        idle.start();
        const double idleStall = LongestStall([&] { return idle.elapsed() >= 2000; });
        const double cpu0 = SelfCpuSeconds();
        t.start();
        win.Open(aac, 0);
        const double stall = LongestStall([&] { return m.Finished(); });
        const double whole = t.nsecsElapsed() / 1e6;
        const double cpu = SelfCpuSeconds() - cpu0;
        Line("2. first piece of waveform on the screen", firstPiece, "ms");
        Line("   whole waveform of 10 min", whole, "ms");
        Line("   CPU of this process meanwhile (UI + pipeline)", cpu, "s");
        Line("   longest UI-thread stall (10 ms heartbeat)", stall, "ms",
             QStringLiteral("idle beforehand, 2 s: %1 ms").arg(idleStall, 0, 'f', 1));
        const double bytes = double(m.Peaks().size() * sizeof(TPeak));
        const double hours = double(m.DurationMs()) / 3600000.0;
        // The worker keeps a copy until it has written the cache: twice that
        // while computing.
        Line("   peaks memory per hour of media (shown / while computing)", bytes / hours / 1e6,
             "MB", QStringLiteral("%1 MB while computing").arg(2 * bytes / hours / 1e6, 0, 'f', 2));
        win.Open(QString(), 0);
        t.restart();
        win.Open(aac, 0);
        WaitUntil([&] { return m.Finished(); });
        Line("   second open, from the cache", t.nsecsElapsed() / 1e6, "ms",
             m.FromCache() ? QString() : QStringLiteral("NOT from the cache"));
    }

    // 3. Pictures of the 10-minute 720p file (which also fills the cache
    // that 4. plays with).
    if (pictures || playback) {
        TTimelineWindow win;
        win.resize(900, 220);
        win.show();
        TMediaPeaks& m = *win.Peaks();
        const TTimelineWidget& tl = *win.Timeline();
        // The heartbeat while two threads of this process spin for 3 s: what
        // two busy workers on this machine cost it by scheduling alone.
        std::atomic<bool> spin{true};
        std::thread a([&] {
            while (spin.load()) {
            }
        });
        std::thread b([&] {
            while (spin.load()) {
            }
        });
        QElapsedTimer busy;
        busy.start();
        const double busyStall = LongestStall([&] { return busy.elapsed() >= 3000; });
        spin.store(false);
        a.join();
        b.join();
        QElapsedTimer t;
        double firstScreen = -1, allPictures = -1, waveDone = -1;
        const double cpu0 = SelfCpuSeconds();
        t.start();
        win.Open(video, 0);
        const double stall = LongestStall([&] {
            if (firstScreen < 0 && FirstScreenOfPictures(tl, m))
                firstScreen = t.nsecsElapsed() / 1e6;
            if (waveDone < 0 && m.Progress() >= 1)
                waveDone = t.nsecsElapsed() / 1e6;
            return m.Finished();
        });
        allPictures = t.nsecsElapsed() / 1e6;
        Line("3. first screen of pictures, 10 min 720p H.264, 900 px", firstScreen, "ms");
        Line("   all pictures (and the waveform)", allPictures, "ms",
             QStringLiteral("%1 pictures, one every %2 s; waveform %3 ms")
                 .arg(m.Thumbs().size())
                 .arg(m.ThumbIntervalMs() / 1000)
                 .arg(waveDone, 0, 'f', 0));
        Line("   CPU of this process meanwhile", SelfCpuSeconds() - cpu0, "s");
        Line("   longest UI-thread stall meanwhile", stall, "ms",
             QStringLiteral("with two threads merely spinning, 3 s: %1 ms")
                 .arg(busyStall, 0, 'f', 1));
    }

    // 4. The player playing 720p with the timeline closed and open.
    if (playback) {
        XvfbSession xvfb(1920, 1080);
        UsePrivateDisplay(xvfb);
        const QString folder = dir.filePath(QStringLiteral("player"));
        QDir().mkpath(folder);
        const QString player = QDir(folder).filePath(QStringLiteral("tavrelo"));
        QFile::copy(exe, player);
        IniFileName = QDir(folder).filePath(QStringLiteral("system.INI"));
        WriteSchedule(video, {{QStringLiteral("1"), QStringLiteral("00:00"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:20"), {}}});
        TPlayerOptions o;
        o.AutoPlay = true;
        o.EndMode = QStringLiteral("播完退出");
        double sum[2] = {0, 0};
        int n[2] = {0, 0};
        QStringList raw;
        for (int round = 0; round < 2; ++round) {
            for (const bool on : {false, true}) {
                WriteSettings(video, o);
                WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("chkTimeline"),
                            BoolToText(on));
                const double cpu =
                    CpuWindow({player, QStringLiteral("--player-silent")}, 5000, 15000);
                raw << QStringLiteral("%1 %2").arg(on ? "open" : "closed").arg(cpu, 0, 'f', 2);
                if (cpu > 0) {
                    sum[on] += cpu;
                    ++n[on];
                }
            }
        }
        // The copy reads the switch as a window made here does: that one
        // tells whether the timeline really was open.
        bool shown = false;
        {
            WriteSettings(video, {});
            WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("chkTimeline"),
                        BoolToText(true));
            TFrmMain frm;
            shown = frm.FrmTimeline && frm.FrmTimeline->isVisible();
        }
        if (!shown)
            std::printf("4.: \"chkTimeline\" YES did not open the timeline; figures are void\n");
        const double off = n[0] ? sum[0] / n[0] : -1, on = n[1] ? sum[1] / n[1] : -1;
        Line("4. CPU of 15 s of 720p playback, timeline closed", off, "s",
             QStringLiteral("runs: %1 (%2)")
                 .arg(raw.join(QStringLiteral(", ")),
                      xvfb.IsRunning() ? xvfb.Display() : QStringLiteral("offscreen")));
        Line("   timeline open (cache made beforehand)", on, "s");
        if (off > 0 && on > 0)
            Line("   ratio open / closed, CPU", on / off, "x");
    }
    return 0;
}
