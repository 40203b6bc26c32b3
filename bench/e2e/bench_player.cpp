// Figures of the whole player, measured side by side in one run under a
// private Xvfb:
//  1. how far past its time point a section starts (goal: within one frame);
//  2. the repeat gap against cbDelay + 200 ms (goal: within 50 ms); the
//     pause heard before a repetition on a 1080p clip with key frames 2 s
//     apart and a 4K one with key frames 8 s apart, the seek during the
//     pause against the seek after it;
//  3. start-up to the first frame on the screen with auto-play;
//  4. the picture's CPU: steady playback of a 720p30 and a 1080p30 clip in
//     the full-screen video window (1920x1080, zoom 0), CPU of the player
//     plus the X server in the same window of time, against `mpv --vo=x11`
//     and against the decoding floor (the file demuxed and decoded by
//     gst-launch into fakesinks in real time: what any player spends), three
//     rounds alternating the three; every side discards its sound the same
//     way (played in real time into a null output); and what the X server's
//     copy of the picture alone costs against the floor, with the least
//     ratio to the floor it leaves any player drawing through X;
//  5. resident memory (peak and steady, and how much of it is pages of
//     libraries and fonts) of the same playback, the three side by side;
//     frames painted in 10 s of steady playback of each clip;
//  6. by ear, how much of what follows a section's end is heard before the
//     section repeats (goal: within one 25 fps frame) and how much of the
//     section's own end is cut, with where the pause landed, against mpv's
//     A-B loop on the same file, whose jump points are also traced sample by
//     sample;
//  7. CPU of the same 720p playback with chkMirror off and on, alternating;
//  8. how long a section jump the user asks for takes (PlaySection of
//     another row while playing, to its return with the graph running);
//  9. (--soak only) a section of 3 s repeated over and over on a busy
//     machine: how many repeats played and how many times the player
//     stopped itself ("Cannot play ...").
// 10. (--soak-faults only) the same through a private sound server, its
//     output suspended for 6 s every 60 s, beside `stress-ng --cpu <cpus>`:
//     repeats played, stops, recoveries, and for each suspension how long
//     from the output's return until the section's tones are heard on it
//     again (read from the output's monitor; goal: <= 2 s).
// Run: build-bench/bench/bench_player (scripts/bench.sh runs it);
// `bench_player --soak [repeats] [cpus]` only 9., beside `stress-ng --cpu
// <cpus>` (default 300 repeats, 2 cpus);
// `bench_player --pauses [cpus] [rounds]` only the heard pauses of 2.,
// beside `stress-ng --cpu <cpus>` when cpus > 0 (default 0, 2 rounds);
// `bench_player --soak-faults [repeats] [cpus]` only 10. (default 300
// repeats, 4 cpus); `bench_player --memory` measures only 5.; `bench_player --cpu` only 4.
// and 5. (TAVRELO_BENCH_SECONDS sets the measured window of 4., 30 s by
// default); `bench_player --section-ends` only 6.; `bench_player --mirror`
// only 7.; `bench_player --jumps` only 8.; `bench_player --frames` only the
// frames painted of 5.
#include "../../tests/e2e/PlayerKit.h"
#include "../BenchKit.h"

#include "AppStartup.h"
#include "media/VideoWindow.h"
#include "media/gst/GstAudioOutput.h"
#include "support/SoundServer.h"

#include <QProcess>
#include <QtEndian>

#include <QStandardPaths>
#include <gst/gst.h>

#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Steps of the graph with their times, for the repeat gap.
class TStepClock : public IGraphListener {
public:
    explicit TStepClock(TFilterGraph* g) : g_(g) {
        t_.start();
        g_->AddListener(this);
    }
    ~TStepClock() override { g_->RemoveListener(this); }
    void FrameworkEvent(long, intptr_t, intptr_t) override {}
    void ControlStep(TControlStep k, int) override {
        if (k == ssPause || k == ssPlay)
            Steps.emplace_back(t_.nsecsElapsed() / 1e6, k);
    }
    std::vector<std::pair<double, TControlStep>> Steps;

private:
    TFilterGraph* g_;
    QElapsedTimer t_;
};

// The media position (ms) at each pause of the graph, taken as it is asked
// for: where a section's sound was stopped.
class TPausePositions : public IGraphListener {
public:
    explicit TPausePositions(TFilterGraph* g) : g_(g) { g_->AddListener(this); }
    ~TPausePositions() override { g_->RemoveListener(this); }
    void FrameworkEvent(long, intptr_t, intptr_t) override {}
    void ControlStep(TControlStep k, int) override {
        const auto seeking = g_->QueryInterface<IMediaSeeking>();
        int64_t position = 0; // 100 ns
        if (k == ssPause && seeking && SUCCEEDED(seeking->GetCurrentPosition(&position)))
            Ms.push_back(double(position) / 1e4);
    }
    std::vector<double> Ms;

private:
    TFilterGraph* g_;
};

struct TCpu {
    double Seconds = -1; // user + system CPU of the child
    double Wall = 0;
    int Status = -1;
    double AlsoSeconds = -1; // a second process's CPU in the same window
};

// Runs a program to its end (or kills it after limitMs) and returns its CPU.
TCpu RunMeasured(const QStringList& argv, int limitMs) {
    TCpu r;
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = SpawnQuiet(argv);
    if (pid <= 0)
        return r;
    int status = 0;
    struct rusage ru {};
    for (;;) {
        const pid_t w = wait4(pid, &status, WNOHANG, &ru);
        if (w == pid)
            break;
        if (wall.elapsed() > limitMs) {
            kill(pid, SIGTERM);
            wait4(pid, &status, 0, &ru);
            break;
        }
        usleep(20000);
    }
    r.Wall = wall.elapsed() / 1000.0;
    r.Seconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                ru.ru_stime.tv_usec / 1e6;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs a program for skipMs + measureMs (it is then ended) and returns the
// CPU it used in the last measureMs only: start-up is left out. alsoPid: a
// process whose CPU in the same window is measured too (the X server), or 0.
TCpu RunCpuWindow(const QStringList& argv, int skipMs, int measureMs, pid_t alsoPid = 0) {
    TCpu r;
    const pid_t pid = SpawnQuiet(argv);
    if (pid <= 0)
        return r;
    usleep(useconds_t(skipMs) * 1000);
    const double before = ProcessCpuSeconds(pid);
    const double alsoBefore = alsoPid > 0 ? ProcessCpuSeconds(alsoPid) : -1;
    QElapsedTimer wall;
    wall.start();
    usleep(useconds_t(measureMs) * 1000);
    const double after = ProcessCpuSeconds(pid);
    const double alsoAfter = alsoPid > 0 ? ProcessCpuSeconds(alsoPid) : -1;
    r.Wall = wall.elapsed() / 1000.0;
    int status = 0;
    const bool ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    if (!ended && before >= 0 && after >= before)
        r.Seconds = after - before; // else it ended early: no figure
    if (alsoBefore >= 0 && alsoAfter >= alsoBefore)
        r.AlsoSeconds = alsoAfter - alsoBefore;
    r.Status = 0;
    return r;
}

struct TMemory {
    double PeakMb = -1;   // the kernel's high-water mark of the resident set
    double SteadyMb = -1; // mean resident set from 5 s on
    // Of the steady figure: pages of files (libraries, fonts) the process
    // touched, which it shares with any other process that maps them.
    double SteadyFilesMb = -1;
};

int64_t StatusKb(pid_t pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Runs a program for seconds (it is then ended), sampling its resident set
// every 250 ms.
TMemory RunSampled(const QStringList& argv, int seconds) {
    TMemory m;
    const pid_t pid = SpawnQuiet(argv);
    if (pid <= 0)
        return m;
    QElapsedTimer wall;
    wall.start();
    double sum = 0, files = 0;
    int n = 0;
    int status = 0;
    while (wall.elapsed() < seconds * 1000) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return m; // ended early: no figure
        const int64_t rss = StatusKb(pid, "VmRSS:");
        const int64_t hwm = StatusKb(pid, "VmHWM:");
        if (hwm > 0)
            m.PeakMb = std::max(m.PeakMb, hwm / 1024.0);
        const int64_t file = StatusKb(pid, "RssFile:");
        if (rss > 0 && file >= 0 && wall.elapsed() >= 5000) {
            sum += rss / 1024.0;
            files += file / 1024.0;
            ++n;
        }
        usleep(250000);
    }
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
    if (n > 0) {
        m.SteadyMb = sum / n;
        m.SteadyFilesMb = files / n;
    }
    return m;
}

void Line(const char* what, double value, const char* unit, const QString& note = {}) {
    std::printf(qstrcmp(unit, "x") == 0 ? "%-58s %10.2f %-4s %s\n" : "%-58s %10.1f %-4s %s\n", what,
                value, unit, note.toUtf8().constData());
    std::fflush(stdout);
}

// 2 s of a low tone (440 Hz) then 2 s of a high one (3000 Hz), 48 kHz
// stereo: whatever of the high tone is heard came after the 2 s mark.
bool MakeLowHighWav(const QString& path) {
    const QString line =
        QStringLiteral("concat name=c ! audioconvert ! audio/x-raw,format=S16LE,rate=48000,"
                       "channels=2 ! wavenc ! filesink location=\"%1\" "
                       "audiotestsrc freq=440 volume=0.5 samplesperbuffer=480 num-buffers=200 ! "
                       "audio/x-raw,rate=48000,channels=2 ! c. "
                       "audiotestsrc freq=3000 volume=0.5 samplesperbuffer=480 num-buffers=200 ! "
                       "audio/x-raw,rate=48000,channels=2 ! c.")
            .arg(path);
    gst_init(nullptr, nullptr); // no graph may have been made yet
    GError* err = nullptr;
    GstElement* p = gst_parse_launch(line.toUtf8().constData(), &err);
    if (!p) {
        g_clear_error(&err);
        return false;
    }
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(p);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return ok;
}

// Whether the high tone sounds in one window of mono samples: the 3000 Hz
// tone crosses zero 6 times a millisecond, the 440 Hz one less than once;
// the click of a jump adds at most one crossing. Silence (below -60 dB) is
// no tone at all.
bool HighTone(const std::vector<float>& mono, size_t from, size_t n) {
    int crossings = 0;
    double energy = 0;
    for (size_t i = from; i < from + n && i < mono.size(); ++i) {
        energy += double(mono[i]) * mono[i];
        if (i > from && (mono[i - 1] < 0) != (mono[i] < 0))
            ++crossings;
    }
    return crossings >= 4 && energy / double(n) > 1e-6;
}

// The runs of high tone heard (ms, in 1 ms windows) shorter than 400 ms:
// each is what sounded past the 2 s mark before a jump back. Longer runs are
// the media playing on after its last repetition.
std::vector<double> HighToneRuns(const std::vector<float>& mono) {
    constexpr size_t kWindow = 48; // 1 ms at 48 kHz
    std::vector<double> runs;
    int run = 0;
    for (size_t at = 0; at + kWindow <= mono.size(); at += kWindow) {
        if (HighTone(mono, at, kWindow)) {
            ++run;
            continue;
        }
        if (run > 0 && run < 400)
            runs.push_back(run);
        run = 0;
    }
    return runs;
}

// Where a player that copies the samples unchanged (mpv writing 16-bit PCM)
// left the source on each jump: the source frame after the last one it
// played, found by following the output sample by sample through the source
// and finding its place again after each jump: the earliest place where 32
// frames match, which is A for a loop that goes back to A.
std::vector<int64_t> JumpPoints(const std::vector<float>& out, const std::vector<float>& src) {
    constexpr float kSame = 2.5f / 32768; // the mono mix rounds by up to a step
    constexpr size_t kMatch = 32;
    const auto matches = [&](size_t o, size_t s) {
        for (size_t k = 0; k < kMatch; ++k)
            if (o + k >= out.size() || s + k >= src.size() ||
                std::abs(out[o + k] - src[s + k]) > kSame)
                return false;
        return true;
    };
    std::vector<int64_t> left;
    size_t s = 0;
    for (size_t o = 0; o + kMatch < out.size(); ++o, ++s) {
        if (s < src.size() && std::abs(out[o] - src[s]) <= kSame)
            continue;
        size_t found = src.size();
        for (size_t c = 0; c + kMatch < src.size() && found == src.size(); ++c)
            if (matches(o, c))
                found = c;
        if (found == src.size())
            break; // the output no longer follows the source
        left.push_back(int64_t(s));
        s = found;
    }
    return left;
}

// The samples of a 16-bit stereo WAV file, as mono floats.
std::vector<float> ReadWavMono(const QString& path) {
    std::vector<float> mono;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return mono;
    const QByteArray b = f.readAll();
    int at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const int len = int(qFromLittleEndian<quint32>(b.constData() + at + 4));
        if (id == "data") {
            const int end = std::min<int>(b.size(), at + 8 + len);
            for (int i = at + 8; i + 4 <= end; i += 4)
                mono.push_back((qFromLittleEndian<qint16>(b.constData() + i) +
                                qFromLittleEndian<qint16>(b.constData() + i + 2)) /
                               65536.0f);
            break;
        }
        at += 8 + len + (len & 1);
    }
    return mono;
}

// How much of the section's own end (before endMs) was not heard before each
// jump back, by ear in 1 ms windows placed by the media positions the
// recording stamps on its chunks: endMs less the end of the last audible
// window of each pass that was followed by another.
std::vector<double> CutBeforeEnd(const TAudioRecording& rec, double endMs) {
    constexpr int64_t kWindow = TAudioRecording::SampleRate / 1000;
    const std::vector<float> st = rec.Samples();
    std::vector<double> cuts;
    double lastAudible = -1, lastChunk = -1;
    for (const TAudioRecording::TChunk& c : rec.Chunks()) {
        if (c.Position < 0)
            continue;
        const double at = double(c.Position) / 1e4;
        if (lastChunk >= 0 && at < lastChunk - 100) { // a jump back
            if (lastAudible >= 0)
                cuts.push_back(std::max(0.0, endMs - lastAudible));
            lastAudible = -1;
        }
        lastChunk = at;
        for (int64_t w = 0; w + kWindow <= c.Frames; w += kWindow) {
            const double from = at + double(w) * 1000 / TAudioRecording::SampleRate;
            if (from + 1 > endMs + 0.5)
                break;
            double energy = 0;
            for (int64_t f = c.FirstFrame + w; f < c.FirstFrame + w + kWindow; ++f) {
                const double m = (st[size_t(2 * f)] + st[size_t(2 * f + 1)]) / 2;
                energy += m * m;
            }
            if (energy / double(kWindow) > 1e-6)
                lastAudible = from + 1;
        }
    }
    return cuts;
}

double Mean(const std::vector<double>& v, size_t n) {
    double s = 0;
    for (double x : v)
        s += x;
    return n ? s / double(n) : 0.0;
}

// Runs of sound heard past the end; repeats without one count as 0 ms.
void ReportRuns(const char* who, const std::vector<double>& runs, size_t repeats,
                const QString& note) {
    double worst = 0;
    for (double r : runs)
        worst = std::max(worst, r);
    Line(qPrintable(QStringLiteral("%1: heard past the section end, mean").arg(who)),
         Mean(runs, std::max(repeats, runs.size())), "ms",
         QStringLiteral("worst %1 ms over %2 repeats%3")
             .arg(worst)
             .arg(std::max(repeats, runs.size()))
             .arg(note));
}

// 6. A section 0:00-0:02 played 4 times (3 repeats), then mpv's A-B loop
// 0-2 s on the same file, its sound written to a file.
double SectionEnds(const QTemporaryDir& dir, TAudioRecording& rec) {
    const QString wav = dir.filePath(QStringLiteral("lowhigh.wav"));
    if (!MakeLowHighWav(wav)) {
        std::printf("section ends: could not make the clip\n");
        return -1;
    }
    WriteSchedule(wav, {{QStringLiteral("4"), QStringLiteral("00:00"), {}},
                        {QStringLiteral("1"), QStringLiteral("00:02"), {}}});
    WriteSettings(wav, {QStringLiteral("0"), false});
    std::vector<double> ours, cuts, pauses;
    {
        TFrmMain frm;
        TPausePositions paused(frm.FGBrowse);
        rec.Clear();
        frm.PlaySection(1, false);
        WaitUntil([&] { return frm.CurRow() == 2 && frm.PlayerState().PositionMs >= 2600; }, 40000);
        frm.FGBrowse->Stop();
        std::vector<float> mono;
        const std::vector<float> st = rec.Samples();
        for (size_t i = 0; i + 1 < st.size(); i += 2)
            mono.push_back((st[i] + st[i + 1]) / 2);
        ours = HighToneRuns(mono);
        cuts = CutBeforeEnd(rec, 2000);
        pauses = paused.Ms;
    }
    ReportRuns("tavrelo", ours, cuts.size(), QStringLiteral(" (goal <= 40)"));
    double cutWorst = 0;
    QStringList at;
    for (double c : cuts)
        cutWorst = std::max(cutWorst, c);
    for (double p : pauses)
        at << QString::number(p - 2000, 'f', 2);
    Line("tavrelo: cut before the section end, mean", Mean(cuts, cuts.size()), "ms",
         QStringLiteral("worst %1 ms over %2 repeats (by ear)").arg(cutWorst).arg(cuts.size()));
    std::printf("tavrelo: paused at the end %s ms (media position when the pause was asked "
                "for; what a sound card playing to that moment loses or adds)\n",
                qPrintable(at.join(QStringLiteral(", "))));
    if (QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty()) {
        std::printf("mpv not installed: no reference figure\n");
        return -1;
    }
    // mpv writes what it would play to a file, unchanged 16-bit samples.
    const QString out = dir.filePath(QStringLiteral("mpv-out.wav"));
    QFile::remove(out);
    RunMeasured({QStringLiteral("mpv"), QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                 QStringLiteral("--really-quiet"), QStringLiteral("--ao=pcm"),
                 QStringLiteral("--ao-pcm-file=") + out, QStringLiteral("--audio-format=s16"),
                 QStringLiteral("--audio-channels=stereo"),
                 QStringLiteral("--audio-samplerate=48000"), QStringLiteral("--ab-loop-a=0"),
                 QStringLiteral("--ab-loop-b=2"), QStringLiteral("--ab-loop-count=3"), wav},
                60000);
    const std::vector<float> played = ReadWavMono(out);
    const std::vector<double> mpv = HighToneRuns(played);
    // Sample-exact: where mpv's output left the source at each jump back.
    const std::vector<int64_t> left = JumpPoints(played, ReadWavMono(wav));
    ReportRuns("mpv --ab-loop-a/b", mpv, left.size(),
               QStringLiteral(" (--ab-loop-a=0 --ab-loop-b=2 --ao=pcm, same method)"));
    double leftSum = 0, leftWorst = -1e9;
    for (int64_t f : left) {
        const double ms = double(f - 2 * 48000) / 48.0;
        leftSum += ms;
        leftWorst = std::max(leftWorst, ms);
    }
    std::printf("mpv: %.2f s written; jumped back %zu times", double(played.size()) / 48000,
                left.size());
    if (!left.empty())
        std::printf(", at B %+.2f ms on average, latest %+.2f ms (sample trace)",
                    leftSum / left.size(), leftWorst);
    std::printf("\n");
    const double oursMean = Mean(ours, std::max(cuts.size(), ours.size()));
    const double mpvMean = Mean(mpv, std::max(left.size(), mpv.size()));
    // Below one window nothing is measured by ear: the window is the floor,
    // so the ratio is a lower bound then.
    constexpr double kWindowMs = 1;
    if (mpvMean >= kWindowMs)
        Line("ratio tavrelo / mpv, heard past the end", oursMean / mpvMean, "x");
    else if (oursMean >= kWindowMs)
        Line("ratio tavrelo / mpv, heard past the end, at least", oursMean / kWindowMs, "x",
             QStringLiteral("(mpv below the %1 ms window: counted as %1 ms)").arg(kWindowMs));
    else
        Line("ratio tavrelo / mpv, heard past the end", 1, "x",
             QStringLiteral("(both below the %1 ms window: alike as far as heard)").arg(kWindowMs));
    return 0;
}

// A minute of moving picture with tones, 30 frames a second, `height` lines
// (720: 1280x720, 1080: 1920x1080), made once and kept in the temporary
// folder between runs. Empty on failure.
QString MovingClip(int height, QString* error) {
    const QString clip =
        QDir::temp().filePath(QStringLiteral("tavrelo-bench-%1p30-60s.mp4").arg(height));
    if (!QFile::exists(clip)) {
        TVideoClipOptions o = TVideoClipOptions::Moving720p();
        o.Width = height * 16 / 9;
        o.Height = height;
        if (!MakeToneVideoClip(clip + QStringLiteral(".part.mp4"), 60, 2, error, o) ||
            !QFile::rename(clip + QStringLiteral(".part.mp4"), clip))
            return {};
    }
    return clip;
}

QString Clip720p(QString* error) {
    return MovingClip(720, error);
}

// A copy of this program in its own folder that plays the clip full screen
// at zoom 0 from its start by auto-play and ends at its end; the copy's path.
// program: another build of this benchmark to copy instead (an earlier
// version, measured side by side).
QString PreparePlayer(const QTemporaryDir& dir, const QString& clip, const QString& program = {}) {
    const QString folder =
        dir.filePath((program.isEmpty() ? QStringLiteral("player-") : QStringLiteral("other-")) +
                     QFileInfo(clip).baseName());
    QDir().mkpath(folder);
    const QString exe = QDir(folder).filePath(QStringLiteral("tavrelo"));
    QFile::copy(program.isEmpty() ? QCoreApplication::applicationFilePath() : program, exe);
    const QString saved = IniFileName;
    IniFileName = QDir(folder).filePath(QStringLiteral("system.INI"));
    WriteSchedule(clip, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
    TPlayerOptions o;
    o.AutoPlay = true;
    o.EndMode = QStringLiteral("播完退出");
    WriteSettings(clip, o);
    // The zoom is kept per media file, in its schedule.
    WriteIniStr(ScheduleFileOf(clip), QStringLiteral("START"), QStringLiteral("tbZoom"),
                QStringLiteral("0"));
    IniFileName = saved;
    return exe;
}

// The three sides of the picture's cost on one clip, each with its sound
// decoded and played in real time into a null output.
struct TSide {
    QString Name;
    QStringList Argv;
};

// other: an earlier build's player copy, measured as a side of its own
// after this one ("tavrelo before"), or empty.
std::vector<TSide> Sides(const QString& exe, const QString& clip, const QString& other,
                         int height) {
    std::vector<TSide> sides;
    sides.push_back({QStringLiteral("tavrelo"), {exe, QStringLiteral("--player-silent")}});
    if (!other.isEmpty())
        sides.push_back(
            {QStringLiteral("tavrelo before"), {other, QStringLiteral("--player-silent")}});
    if (!QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty())
        sides.push_back({QStringLiteral("mpv --vo=x11 --ao=null"),
                         {QStringLiteral("mpv"), QStringLiteral("--no-config"),
                          QStringLiteral("--vo=x11"), QStringLiteral("--ao=null"),
                          QStringLiteral("--fs"), QStringLiteral("--really-quiet"), clip}});
    // VLC's X11 output. Without a window manager its full screen (asked of
    // one) stays at the video's own size, so only the 1080p clip fills the
    // screen as the others do. It will not run as root: then as nobody, with
    // a home of its own.
    if (height == 1080 && !QStandardPaths::findExecutable(QStringLiteral("cvlc")).isEmpty()) {
        QStringList argv;
        if (geteuid() == 0) {
            const QString home = QDir::temp().filePath(QStringLiteral("tavrelo-bench-vlc-home"));
            QDir().mkpath(home);
            QFile::setPermissions(home, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther);
            argv << QStringLiteral("setpriv") << QStringLiteral("--reuid=65534")
                 << QStringLiteral("--regid=65534") << QStringLiteral("--clear-groups")
                 << QStringLiteral("env") << QStringLiteral("HOME=") + home;
        }
        argv << QStringLiteral("cvlc") << QStringLiteral("--no-video-title-show")
             << QStringLiteral("--fullscreen") << QStringLiteral("--vout=xcb_x11")
             << QStringLiteral("--aout=adummy") << clip;
        sides.push_back({QStringLiteral("vlc --vout=xcb_x11 --aout=adummy"), argv});
    }
    // What any player spends: the file demuxed, the picture decoded and the
    // sound decoded, both timed against the clock and thrown away.
    sides.push_back({QStringLiteral("decoding floor"),
                     QStringLiteral("gst-launch-1.0 -q filesrc location=%1 ! qtdemux name=d "
                                    "d.video_0 ! queue ! avdec_h264 ! fakesink sync=true "
                                    "d.audio_0 ! queue ! decodebin ! fakesink sync=true")
                         .arg(clip)
                         .split(QLatin1Char(' '))});
    return sides;
}

// Frames painted by a player made here in 10 s of steady playback (after
// 5 s), full screen at zoom 0: what is not painted was dropped.
quint64 FramesPainted10s(const QString& clip) {
    WriteSchedule(clip, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
    WriteSettings(clip, {QStringLiteral("0"), false});
    WriteIniStr(ScheduleFileOf(clip), QStringLiteral("START"), QStringLiteral("tbZoom"),
                QStringLiteral("0"));
    TFrmMain frm;
    frm.PlaySection(1, false);
    WaitUntil([] { return false; }, 5000);
    const quint64 before = frm.FrmPlay->VW->FramesPainted();
    WaitUntil([] { return false; }, 10000);
    const quint64 painted = frm.FrmPlay->VW->FramesPainted() - before;
    frm.FGBrowse->Stop();
    return painted;
}

// 4. and 5. on the 720p and the 1080p clip.
// cpu false: only the memory and the frames painted.
int PictureCost(const QTemporaryDir& dir, pid_t xServer, bool cpu = true) {
    const int seconds = qEnvironmentVariableIntValue("TAVRELO_BENCH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("TAVRELO_BENCH_SECONDS")
                            : 30;
    constexpr int kRounds = 3;
    for (const int height : {720, 1080}) {
        QString error;
        const QString clip = MovingClip(height, &error);
        if (clip.isEmpty()) {
            std::fprintf(stderr, "%dp clip: %s\n", height, qPrintable(error));
            return 1;
        }
        const QString exe = PreparePlayer(dir, clip);
        // TAVRELO_BENCH_BEFORE: an earlier build of this benchmark, whose
        // player is measured in the same rounds.
        const QString before = qEnvironmentVariable("TAVRELO_BENCH_BEFORE");
        const std::vector<TSide> sides = Sides(
            exe, clip, before.isEmpty() ? QString() : PreparePlayer(dir, clip, before), height);
        std::vector<double> own(sides.size(), 0), x(sides.size(), 0);
        std::vector<int> n(sides.size(), 0);
        std::vector<QStringList> raw(sides.size());
        for (int round = 0; round < (cpu ? kRounds : 0); ++round)
            for (size_t i = 0; i < sides.size(); ++i) {
                const TCpu cpu = RunCpuWindow(sides[i].Argv, 5000, seconds * 1000, xServer);
                raw[i] << QStringLiteral("%1+%2")
                              .arg(cpu.Seconds, 0, 'f', 2)
                              .arg(cpu.AlsoSeconds, 0, 'f', 2);
                if (cpu.Seconds > 0 && cpu.AlsoSeconds >= 0) {
                    own[i] += cpu.Seconds;
                    x[i] += cpu.AlsoSeconds;
                    ++n[i];
                }
            }
        std::vector<double> total(sides.size(), -1);
        for (size_t i = 0; i < sides.size(); ++i) {
            if (!n[i])
                continue;
            total[i] = (own[i] + x[i]) / n[i];
            Line(qPrintable(QStringLiteral("%1: CPU + X server, %2 s of %3p30 full screen")
                                .arg(sides[i].Name)
                                .arg(seconds)
                                .arg(height)),
                 total[i], "s",
                 QStringLiteral("own %1 + X %2; runs (own+X): %3")
                     .arg(own[i] / n[i], 0, 'f', 2)
                     .arg(x[i] / n[i], 0, 'f', 2)
                     .arg(raw[i].join(QStringLiteral(", "))));
        }
        const double floor = total.back();
        const auto mpvAt = std::find_if(sides.begin(), sides.end(),
                                        [](const TSide& e) { return e.Name.startsWith("mpv"); });
        const int mpvIndex = mpvAt == sides.end() ? -1 : int(mpvAt - sides.begin());
        const double mpv = mpvIndex >= 0 ? total[size_t(mpvIndex)] : -1;
        for (size_t i = 0; i + 1 < sides.size(); ++i) {
            if (int(i) == mpvIndex || total[i] <= 0)
                continue;
            if (floor > 0)
                Line(qPrintable(QStringLiteral("ratio %1 / decoding floor, %2p")
                                    .arg(sides[i].Name)
                                    .arg(height)),
                     total[i] / floor, "x", QStringLiteral("(goal <= 1.3)"));
            if (mpv > 0)
                Line(qPrintable(
                         QStringLiteral("ratio %1 / mpv, %2p").arg(sides[i].Name).arg(height)),
                     total[i] / mpv, "x");
        }
        if (mpv > 0 && floor > 0)
            Line(qPrintable(QStringLiteral("ratio mpv / decoding floor, %1p").arg(height)),
                 mpv / floor, "x");
        const auto vlcAt = std::find_if(sides.begin(), sides.end(),
                                        [](const TSide& e) { return e.Name.startsWith("vlc"); });
        if (vlcAt != sides.end() && total[size_t(vlcAt - sides.begin())] > 0 && total[0] > 0)
            Line(qPrintable(QStringLiteral("ratio tavrelo / vlc, %1p").arg(height)),
                 total[0] / total[size_t(vlcAt - sides.begin())], "x",
                 QStringLiteral("(goal < 1; vlc / decoding floor %1x)")
                     .arg(total[size_t(vlcAt - sides.begin())] / floor, 0, 'f', 2));
        // The least a picture shown through X costs: the X server copies each
        // frame from the window's shared-memory image into its screen (8 MB
        // a frame at 1920x1080, 240 MB a second), whoever drew it. With that
        // copy X and the floor F, no player drawing in software gets below
        // (F + X) / F, before it has converted a single pixel; the goal of
        // 1.3 is out of reach once X alone passes 0.3 F. X is what the
        // server spent during tavrelo's rounds less what it spent idle
        // during the floor's.
        if (floor > 0 && n[0] > 0 && n.back() > 0) {
            const double copy = x[0] / n[0] - x.back() / n.back();
            Line(qPrintable(QStringLiteral("X server's copy of the picture / decoding floor, %1p")
                                .arg(height)),
                 copy / floor, "x",
                 QStringLiteral("least ratio to the floor through X: %1x")
                     .arg((floor + copy) / floor, 0, 'f', 2));
        }

        // 5. Resident memory, 20 s of the same playback each. RSS counts the
        // shared libraries' pages a process touched as well as its own memory.
        std::vector<TMemory> memory;
        for (const TSide& side : sides) {
            memory.push_back(RunSampled(side.Argv, 20));
            Line(qPrintable(
                     QStringLiteral("%1: peak RSS, %2p full screen").arg(side.Name).arg(height)),
                 memory.back().PeakMb, "MB",
                 QStringLiteral("steady %1 MB, of it %2 MB pages of libraries and fonts")
                     .arg(memory.back().SteadyMb, 0, 'f', 1)
                     .arg(memory.back().SteadyFilesMb, 0, 'f', 1));
        }
        for (size_t i = 0; mpvIndex >= 0 && i + 1 < sides.size(); ++i) {
            const TMemory& m = memory[size_t(mpvIndex)];
            if (int(i) == mpvIndex || m.PeakMb <= 0 || m.SteadyMb <= 0)
                continue;
            Line(
                qPrintable(
                    QStringLiteral("ratio %1 / mpv, peak RSS, %2p").arg(sides[i].Name).arg(height)),
                memory[i].PeakMb / m.PeakMb, "x",
                QStringLiteral("steady %1x (goal <= 1)")
                    .arg(memory[i].SteadyMb / m.SteadyMb, 0, 'f', 2));
        }
        const QString saved = IniFileName;
        IniFileName = dir.filePath(QStringLiteral("frames.INI"));
        const quint64 painted = FramesPainted10s(clip);
        IniFileName = saved;
        Line(qPrintable(QStringLiteral("tavrelo: frames painted in 10 s of %1p30").arg(height)),
             double(painted), "", QStringLiteral("of 300 (the rest dropped)"));
    }
    return 0;
}

// Five sections of one play each (00:00, 03, 05, 07, 09), no repeat pause.
void WriteFiveSections(const QString& tones) {
    WriteSchedule(tones, {{QStringLiteral("1"), QStringLiteral("00:00"), {}},
                          {QStringLiteral("1"), QStringLiteral("00:03"), {}},
                          {QStringLiteral("1"), QStringLiteral("00:05"), {}},
                          {QStringLiteral("1"), QStringLiteral("00:07"), {}},
                          {QStringLiteral("1"), QStringLiteral("00:09"), {}}});
    WriteSettings(tones, {QStringLiteral("0"), false});
}

// 8. Section jumps the user asks for, while playing: how long PlaySection
// takes from the call to its return with the graph running again.
void JumpTime(const QString& tones) {
    WriteFiveSections(tones);
    TFrmMain frm;
    frm.PlaySection(1, false);
    WaitUntil([] { return false; }, 1000);
    std::vector<double> ms;
    for (int i = 0; i < 8; ++i) {
        QElapsedTimer t;
        t.start();
        frm.PlaySection(2 + i % 4, false);
        ms.push_back(t.nsecsElapsed() / 1e6);
        WaitUntil([] { return false; }, 600);
    }
    frm.FGBrowse->Stop();
    double worst = 0;
    for (double m : ms)
        worst = std::max(worst, m);
    Line("section jump asked for while playing: mean", Mean(ms, ms.size()), "ms",
         QStringLiteral("worst %1 ms over %2 jumps").arg(worst, 0, 'f', 1).arg(ms.size()));
}

// 7. CPU of 15 s of the 720p clip full screen (after 5 s of start-up), with
// chkMirror off and on, three times alternating; the sound is discarded. The
// picture is flipped by the pass that converts and scales it.
void MirrorCpu(const QString& exe, const QString& clip) {
    constexpr int kRounds = 3;
    double sum[2] = {0, 0};
    int n[2] = {0, 0};
    QStringList raw;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool on : {false, true}) {
            WriteIniStr(ScheduleFileOf(clip), QStringLiteral("START"), QStringLiteral("chkMirror"),
                        BoolToText(on));
            const TCpu cpu = RunCpuWindow({exe, QStringLiteral("--player-silent")}, 5000, 15000);
            raw << QStringLiteral("%1 %2").arg(on ? "on" : "off").arg(cpu.Seconds, 0, 'f', 2);
            if (cpu.Seconds > 0) {
                sum[on] += cpu.Seconds;
                ++n[on];
            }
        }
    }
    // The player copy reads the switch from the schedule as a window made
    // here does: that one tells whether it took effect.
    WriteIniStr(ScheduleFileOf(clip), QStringLiteral("START"), QStringLiteral("chkMirror"),
                BoolToText(true));
    bool applied = false;
    {
        WriteSettings(clip, {});
        TFrmMain frm;
        applied = frm.FrmPlay->VW->Mirrored();
    }
    WriteIniStr(ScheduleFileOf(clip), QStringLiteral("START"), QStringLiteral("chkMirror"),
                BoolToText(false));
    if (!applied)
        std::printf(
            "mirror: \"chkMirror\" YES did not mirror the picture; figures below are void\n");
    const double off = n[0] ? sum[0] / n[0] : -1, on = n[1] ? sum[1] / n[1] : -1;
    Line("mirror off: CPU for 15 s of 720p30 full screen, mean", off, "s",
         QStringLiteral("runs: %1").arg(raw.join(QStringLiteral(", "))));
    Line("mirror on: CPU for the same, mean", on, "s");
    if (off > 0 && on > 0)
        Line("ratio mirror on / off, CPU", on / off, "x");
}

// 2b. The pause heard before a repetition, from the recording (the last
// sound of the section to the first sound of its repetition, by when the
// output took them), against cbDelay + 200 ms, on a 1920x1080 clip with a
// key frame every 2 s and a 3840x2160 one with a key frame every 8 s (30 fps,
// a moving picture, x264 ultrafast; made once into the temporary folder).
// Sections 0:00 x1, 0:03 x3, 0:07 x1: each repetition seeks to 0:03, 3 s of
// picture past the 4K clip's key frame. Before: the seek after the pause;
// now: the seek during it; the two alternate, clip by clip. The last pass
// of 0:03 runs on into 0:07 without a seek: any silence heard in that run
// up to 0:10, and any media skipped, are counted too. stressCpus > 0: beside
// `stress-ng --cpu stressCpus`.
int HeardPauses(TAudioRecording& rec, int stressCpus, int rounds) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    struct TClip {
        int Height;
        int KeySeconds;
        QString Path;
    };
    std::vector<TClip> clips = {{1080, 2, {}}, {2160, 8, {}}};
    for (TClip& c : clips) {
        c.Path = QDir::temp().filePath(
            QStringLiteral("tavrelo-bench-%1p30-key%2s-12s.mp4").arg(c.Height).arg(c.KeySeconds));
        if (QFile::exists(c.Path))
            continue;
        TVideoClipOptions o = TVideoClipOptions::Moving720p();
        o.Width = c.Height * 16 / 9;
        o.Height = c.Height;
        o.Preset = QStringLiteral("ultrafast");
        QString error;
        if (!MakeToneVideoClip(c.Path + QStringLiteral(".part.mp4"), 12, c.KeySeconds, &error, o) ||
            !QFile::rename(c.Path + QStringLiteral(".part.mp4"), c.Path)) {
            std::fprintf(stderr, "%dp clip: %s\n", c.Height, qPrintable(error));
            return 1;
        }
    }
    QProcess stress;
    if (stressCpus > 0) {
        stress.start(
            QStringLiteral("stress-ng"),
            {QStringLiteral("--cpu"), QString::number(stressCpus), QStringLiteral("--quiet")});
        if (!stress.waitForStarted()) {
            std::printf("stress-ng did not start\n");
            return 1;
        }
    }
    for (const int delayIndex : {0, 3}) { // 500, 2000 ms
        const double chosen = delayIndex == 0 ? 500 : 2000;
        for (const TClip& c : clips) {
            // [0]: before, [1]: now.
            double worst[2] = {0, 0}, sum[2] = {0, 0}, silence[2] = {0, 0}, skipped[2] = {0, 0},
                   jumps[2] = {0, 0};
            int n[2] = {0, 0};
            for (int round = 0; round < rounds; ++round)
                for (const int now : {0, 1}) {
                    WriteSchedule(c.Path, {{QStringLiteral("1"), QStringLiteral("00:00"), {}},
                                           {QStringLiteral("3"), QStringLiteral("00:03"), {}},
                                           {QStringLiteral("1"), QStringLiteral("00:07"), {}}});
                    WriteSettings(c.Path, {QString::number(delayIndex), true});
                    rec.Clear();
                    TFrmMain frm;
                    frm.Engine->SetSeekInPause(now == 1);
                    frm.PlaySection(1, false);
                    std::vector<TStretch> st;
                    WaitUntil(
                        [&] {
                            st = Stretches(rec);
                            return !st.empty() && st.back().EndMs >= 10000;
                        },
                        90000);
                    frm.FGBrowse->Stop();
                    const std::vector<double> pauses = HeardPausesMs(rec, st);
                    for (size_t i = 1; i < st.size(); ++i) {
                        if (std::abs(st[i].StartMs - 3000) <= 40) {
                            const double p = pauses[i - 1];
                            worst[now] = std::max(worst[now], std::abs(p - (chosen + 200)));
                            sum[now] += p;
                            ++n[now];
                        } else {
                            // Not a repetition: media jumped over, never heard.
                            jumps[now] += double(st[i].StartMs - st[i - 1].EndMs);
                        }
                    }
                    // Silences inside the run on into 0:07 (the last stretch),
                    // whether nothing reached the output or silence did (the
                    // sound held at a section's end), and the media they
                    // took.
                    if (!st.empty()) {
                        const std::vector<float> samples = rec.Samples();
                        int64_t lastEnd = -1, lastPos = -1;
                        for (const auto& k : rec.Chunks()) {
                            if (k.FirstFrame < st.back().FirstFrame || k.Position < 0 ||
                                k.Position / 10000 > 10000)
                                continue;
                            float peak = 0;
                            for (int64_t f = k.FirstFrame * 2; f < (k.FirstFrame + k.Frames) * 2;
                                 ++f)
                                peak = std::max(peak, std::abs(samples[size_t(f)]));
                            if (peak <= 1e-3f)
                                continue;
                            if (lastEnd >= 0) {
                                const double quiet = double(k.ReleasedNs - lastEnd) / 1e6;
                                if (quiet > silence[now]) {
                                    silence[now] = quiet;
                                    skipped[now] = double(k.Position - lastPos) / 1e4;
                                }
                            }
                            lastEnd = k.ReleasedNs +
                                      k.Frames * 1'000'000'000 / TAudioRecording::SampleRate;
                            lastPos =
                                k.Position + k.Frames * 10'000'000 / TAudioRecording::SampleRate;
                        }
                    }
                }
            const QString what =
                QStringLiteral("heard pause, %1p key frames %2 s, cbDelay %3 + 200")
                    .arg(c.Height)
                    .arg(c.KeySeconds)
                    .arg(chosen);
            for (const int now : {0, 1})
                Line(qPrintable(what + (now ? QStringLiteral(": now, mean")
                                            : QStringLiteral(": before, mean"))),
                     n[now] ? sum[now] / n[now] : -1, "ms",
                     QStringLiteral("worst %1 ms off over %2; longest silence in the run into "
                                    "0:07 %3 ms (%4 ms of media unheard); media jumped %5 ms")
                         .arg(worst[now], 0, 'f', 0)
                         .arg(n[now])
                         .arg(silence[now], 0, 'f', 0)
                         .arg(skipped[now], 0, 'f', 0)
                         .arg(jumps[now], 0, 'f', 0));
        }
    }
    if (stressCpus > 0) {
        stress.terminate();
        stress.waitForFinished(5000);
    }
    return 0;
}

} // namespace

// The soaks' schedule (section A, 00:00-00:03, with a count of repeats + 1,
// then B; a 500 ms pause, no notice) and their load: stress-ng on `cpus`.
bool PrepareSoak(const QString& tones, int repeats, int cpus, QProcess& stress) {
    WriteSchedule(tones, {{QString::number(repeats + 1), QStringLiteral("00:00"), {}},
                          {QStringLiteral("1"), QStringLiteral("00:03"), {}}});
    WriteSettings(tones, {QStringLiteral("0"), false});
    stress.start(QStringLiteral("stress-ng"),
                 {QStringLiteral("--cpu"), QString::number(cpus), QStringLiteral("--quiet")});
    if (stress.waitForStarted())
        return true;
    std::printf("stress-ng did not start\n");
    return false;
}

// 8. Section A (00:00-00:03) with a count of repeats + 1, a 500 ms pause
// before each repeat, beside stress-ng. A stop of the player is counted,
// said, and playback started again where the count stood.
int Soak(const QString& tones, int repeats, int cpus) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // the progress lines as they come
    QProcess stress;
    if (!PrepareSoak(tones, repeats, cpus, stress))
        return 1;
    int stops = 0;
    QStringList said;
    SetErrorMessageObserver([&](const QString& text) {
        ++stops;
        said << text;
    });
    int played = 0; // repeats, as the count column went down
    {
        TFrmMain frm;
        QElapsedTimer clock;
        clock.start();
        int last = repeats, seenStops = 0;
        frm.PlaySection(1, false);
        WaitUntil(
            [&] {
                if (frm.CurRow() == 1 && frm.Engine->RemainCount() < last) {
                    played += last - frm.Engine->RemainCount();
                    last = frm.Engine->RemainCount();
                    if (played % 25 == 0)
                        std::printf("  %4d repeats, %d stops, %.0f s\n", played, stops,
                                    clock.elapsed() / 1000.0);
                }
                if (stops > seenStops) {
                    seenStops = stops;
                    std::printf("  stop after %d repeats: %s\n", played, qPrintable(said.back()));
                    frm.sgV->SetCell(1, 1, QString::number(last + 1));
                    frm.PlaySection(1, false);
                }
                return played >= repeats || frm.CurRow() == 2;
            },
            repeats * 10000);
        frm.FGBrowse->Stop();
    }
    SetErrorMessageObserver(nullptr);
    stress.terminate();
    stress.waitForFinished(5000);
    std::printf("soak beside stress-ng --cpu %d: %d repeats of a 3 s section, %d stops\n", cpus,
                played, stops);
    return stops == 0 && played >= repeats ? 0 : 1;
}

// 10. As 9., heard through a private sound server whose output is
// suspended for 6 s every 60 s.
int SoakFaults(const QString& tones, int repeats, int cpus) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SoundServer server;
    if (!server.IsRunning()) {
        std::printf("pulseaudio did not start\n");
        return 1;
    }
    server.UseForThisProcess();
    SetAudioOutput(TAudioOutputKind::System);
    SinkRecording out(server, QStringLiteral("out_a"));
    QProcess stress;
    if (!PrepareSoak(tones, repeats, cpus, stress))
        return 1;
    int stops = 0;
    SetErrorMessageObserver([&](const QString& text) {
        ++stops;
        std::printf("  stop: %s\n", qPrintable(text));
    });
    int played = 0, recoveries = 0, faults = 0, late = 0;
    double worst = 0;
    QStringList each;
    // The monitor's frame at the output's return, until the sound after it
    // has been looked at (5 s later).
    int64_t returnedAt = -1, returnedMs = 0;
    auto lookAfterReturn = [&] {
        // From the return, the first moment a tone of the section is heard.
        const auto heard = HeardSecondsAt(out.SamplesFrom(returnedAt), 0, 12);
        const double back =
            heard.empty() ? -1.0 : double(heard.front().first) / SinkRecording::SampleRate;
        ++faults;
        each << (back < 0 ? QStringLiteral("never") : QString::number(back, 'f', 2));
        worst = std::max(worst, back < 0 ? 1e9 : back);
        late += back < 0 || back > 2.0 ? 1 : 0;
        std::printf("  output back %d: sound heard after %s s\n", faults, qPrintable(each.back()));
        returnedAt = -1;
    };
    QElapsedTimer clock;
    {
        TFrmMain frm;
        clock.start();
        int last = repeats;
        int64_t nextFault = 60000, suspendedAt = -1;
        frm.PlaySection(1, false);
        WaitUntil(
            [&] {
                if (frm.CurRow() == 1 && frm.Engine->RemainCount() < last) {
                    played += last - frm.Engine->RemainCount();
                    last = frm.Engine->RemainCount();
                    if (played % 25 == 0)
                        std::printf("  %4d repeats, %d stops, %d recoveries, %.0f s\n", played,
                                    stops, frm.Engine->Recoveries(), clock.elapsed() / 1000.0);
                }
                if (suspendedAt < 0 && clock.elapsed() >= nextFault) {
                    server.Suspend(QStringLiteral("out_a"), true);
                    suspendedAt = clock.elapsed();
                } else if (suspendedAt >= 0 && clock.elapsed() >= suspendedAt + 6000) {
                    returnedAt = out.FrameCount();
                    returnedMs = clock.elapsed();
                    server.Suspend(QStringLiteral("out_a"), false);
                    suspendedAt = -1;
                    nextFault += 60000;
                }
                if (returnedAt >= 0 && clock.elapsed() >= returnedMs + 5000)
                    lookAfterReturn();
                recoveries = frm.Engine->Recoveries();
                return played >= repeats || frm.CurRow() == 2 || stops > 0;
            },
            repeats * 20000);
        if (suspendedAt >= 0)
            server.Suspend(QStringLiteral("out_a"), false);
        frm.FGBrowse->Stop();
    }
    SetErrorMessageObserver(nullptr);
    stress.terminate();
    stress.waitForFinished(5000);
    std::printf("soak with faults beside stress-ng --cpu %d: %d repeats of a 3 s section in %.0f "
                "s, %d stops, %d recoveries, %d suspensions of 6 s looked at\n",
                cpus, played, clock.elapsed() / 1000.0, stops, recoveries, faults);
    Line("soak with faults: stops (goal 0)", double(stops), "");
    Line("soak with faults: output back to sound heard, worst", faults ? worst : -1, "s",
         QStringLiteral("each: %1; over 2 s: %2 (goal 0)")
             .arg(each.join(QStringLiteral(", ")))
             .arg(late));
    return stops == 0 && played >= repeats && late == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--player") == 0) {
        int n = 1;
        return RunTavrelo(n, argv);
    }
    if (argc > 1 && qstrcmp(argv[1], "--player-silent") == 0) {
        // As mpv --ao=null: the sound is decoded and timed, then discarded.
        SetAudioOutput(TAudioOutputKind::Discard);
        int n = 1;
        return RunTavrelo(n, argv);
    }
    const bool memoryOnly = argc > 1 && qstrcmp(argv[1], "--memory") == 0;
    const bool sectionEndsOnly = argc > 1 && qstrcmp(argv[1], "--section-ends") == 0;
    const bool mirrorOnly = argc > 1 && qstrcmp(argv[1], "--mirror") == 0;
    const bool soakOnly = argc > 1 && qstrcmp(argv[1], "--soak") == 0;
    const bool soakFaultsOnly = argc > 1 && qstrcmp(argv[1], "--soak-faults") == 0;
    const bool cpuOnly = argc > 1 && qstrcmp(argv[1], "--cpu") == 0;
    const bool jumpsOnly = argc > 1 && qstrcmp(argv[1], "--jumps") == 0;
    const bool framesOnly = argc > 1 && qstrcmp(argv[1], "--frames") == 0;
    const bool pausesOnly = argc > 1 && qstrcmp(argv[1], "--pauses") == 0;
    XvfbSession xvfb(1920, 1080);
    UsePrivateDisplay(xvfb);
    TApplication app(argc, argv);
    InitPublicModule(); // the delays count on the counter's frequency
    QTemporaryDir dir;
    IniFileName = dir.filePath(QStringLiteral("system.INI"));
    const QString tones = dir.filePath(QStringLiteral("tones.mp4"));
    QString error;
    if (!MakeToneVideoClip(tones, 12, 2, &error)) {
        std::fprintf(stderr, "clip: %s\n", qPrintable(error));
        return 1;
    }
    auto rec = RecordAudio();
    std::printf("bench_player on %s\n",
                qPrintable(xvfb.IsRunning() ? xvfb.Display() : QStringLiteral("offscreen")));
    if (sectionEndsOnly)
        return SectionEnds(dir, *rec) < 0 ? 1 : 0;
    if (soakFaultsOnly)
        return SoakFaults(tones, argc > 2 ? std::max(1, atoi(argv[2])) : 300,
                          argc > 3 ? std::max(1, atoi(argv[3])) : 4);
    if (soakOnly)
        return Soak(tones, argc > 2 ? std::max(1, atoi(argv[2])) : 300,
                    argc > 3 ? std::max(1, atoi(argv[3])) : 2);
    if (cpuOnly || memoryOnly)
        return PictureCost(dir, pid_t(xvfb.ServerPid()), cpuOnly);
    if (framesOnly) {
        for (const int height : {720, 1080}) {
            const QString clip = MovingClip(height, &error);
            IniFileName = dir.filePath(QStringLiteral("frames.INI"));
            Line(qPrintable(QStringLiteral("tavrelo: frames painted in 10 s of %1p30").arg(height)),
                 double(FramesPainted10s(clip)), "", QStringLiteral("of 300 (the rest dropped)"));
        }
        return 0;
    }
    if (pausesOnly)
        return HeardPauses(*rec, argc > 2 ? std::max(0, atoi(argv[2])) : 0,
                           argc > 3 ? std::max(1, atoi(argv[3])) : 2);
    if (jumpsOnly) {
        JumpTime(tones);
        return 0;
    }
    if (mirrorOnly) {
        const QString clip = Clip720p(&error);
        if (clip.isEmpty()) {
            std::fprintf(stderr, "720p clip: %s\n", qPrintable(error));
            return 1;
        }
        MirrorCpu(PreparePlayer(dir, clip), clip);
        return 0;
    }

    // 1. Section start: the first position heard after a jump or a new file,
    // against the section's time point. 25 fps: one frame is 40 ms.
    {
        WriteFiveSections(tones);
        TFrmMain frm;
        double worst = 0, sum = 0;
        int n = 0;
        for (int round = 0; round < 2; ++round) {
            for (int row = 2; row <= 5; ++row) {
                const bool open = (row + round) % 2 == 0;
                if (open)
                    frm.FGBrowse->Stop(); // the next start opens the file afresh
                const int64_t mark = rec->FrameCount();
                frm.PlaySection(row, false);
                const int target = TimeStrToSec(frm.sgV->Cell(4, row)) * 1000;
                std::vector<TStretch> st;
                WaitUntil([&] {
                    st.clear();
                    for (const TStretch& s : Stretches(*rec))
                        if (s.FirstFrame >= mark && s.EndMs - s.StartMs >= 300)
                            st.push_back(s);
                    return !st.empty();
                });
                if (st.empty())
                    continue;
                const double late = double(st.front().StartMs - target);
                worst = std::max(worst, std::abs(late));
                sum += std::abs(late);
                ++n;
            }
        }
        Line("section start: mean distance from its time point", n ? sum / n : -1, "ms");
        Line("section start: worst distance from its time point", worst, "ms",
             QStringLiteral("= %1 frames at 25 fps (goal <= 1)").arg(worst / 40.0, 0, 'f', 2));
    }

    // 2. Repeat gap: from the pause to the play of a repetition, against
    // cbDelay + 200 ms.
    for (const auto& [index, delay] : {std::pair{0, 500}, std::pair{1, 1000}}) {
        WriteSchedule(tones, {{QStringLiteral("3"), QStringLiteral("00:00"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:02"), {}}});
        WriteSettings(tones, {QString::number(index), true});
        TFrmMain frm;
        TStepClock steps(frm.FGBrowse);
        frm.PlaySection(1, false);
        WaitUntil([&] { return frm.CurRow() == 2; }, 30000);
        double worst = 0;
        int gaps = 0;
        // The first pause and play are the section's own start (the fresh
        // graph opened paused, run once its seek landed): not a repetition.
        const auto firstPlay = std::find_if(steps.Steps.begin(), steps.Steps.end(),
                                            [](const auto& s) { return s.second == ssPlay; });
        for (size_t i = size_t(firstPlay - steps.Steps.begin()) + 1; i + 1 < steps.Steps.size();
             ++i)
            if (steps.Steps[i].second == ssPause && steps.Steps[i + 1].second == ssPlay) {
                const double gap = steps.Steps[i + 1].first - steps.Steps[i].first;
                worst = std::max(worst, std::abs(gap - (delay + 200)));
                ++gaps;
            }
        Line(qPrintable(
                 QStringLiteral("repeat gap vs cbDelay %1 + 200 ms: worst difference").arg(delay)),
             worst, "ms", QStringLiteral("over %1 repetitions (goal <= 50)").arg(gaps));
    }

    HeardPauses(*rec, 0, 2);
    SectionEnds(dir, *rec);

    // 3. Start-up with auto-play to the first frame painted.
    {
        WriteSchedule(tones, {{QStringLiteral("1"), QStringLiteral("00:02"), {}}});
        TPlayerOptions o;
        o.AutoPlay = true;
        WriteSettings(tones, o);
        QElapsedTimer t;
        t.start();
        TFrmMain frm;
        frm.show();
        WaitUntil([&] { return frm.FrmPlay->VW->FramesPainted() > 0; }, 20000);
        Line("start-up with auto-play to the first frame painted", double(t.elapsed()), "ms",
             QStringLiteral("(includes the 500 ms start-up pause)"));
    }

    JumpTime(tones);
    if (PictureCost(dir, pid_t(xvfb.ServerPid())) != 0)
        return 1;
    {
        const QString clip = Clip720p(&error);
        MirrorCpu(PreparePlayer(dir, clip), clip);
    }
    return 0;
}
