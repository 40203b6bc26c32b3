// Shared by the end-to-end tests of the player: a private X server for the
// process, the control window made on a settings file and a schedule written
// by the test, a log of what the engine showed (sampled every few
// milliseconds), and the stretches of media that were actually heard, read
// from the recording of what would have reached the speakers.
#pragma once

#include "../media/MediaTestKit.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "engine/SectionEngine.h"
#include "media/FilterGraph.h"
#include "support/XvfbSession.h"
#include "uFrmMain.h"
#include "uFrmMainGrid.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <limits>
#include <memory>
#include <vector>

struct TSectionRow {
    QString Count;
    QString Time;
    QString Text;
};

// The schedule file of a media file, as the control window names it.
inline QString ScheduleFileOf(const QString& media) {
    return ScheduleFileName(QFileInfo(media).absoluteFilePath(), QString());
}

inline void WriteSchedule(const QString& media, const std::vector<TSectionRow>& rows) {
    const QString file = ScheduleFileOf(media);
    QFile::remove(file);
    WriteIniStr(file, QStringLiteral("Sect"), QStringLiteral("Row0"),
                QStringLiteral("序号^^播放^^加^^减^^时间点^^开播内容^^"));
    int n = 0;
    for (const TSectionRow& r : rows) {
        ++n;
        WriteIniStr(file, QStringLiteral("Sect"), QStringLiteral("Row%1").arg(n),
                    EncodeRow({PadLeft(QString::number(n), QLatin1Char(' '), 3), r.Count,
                               QStringLiteral("+"), QStringLiteral("-"), r.Time,
                               r.Text.isEmpty() ? QStringLiteral("s%1").arg(n) : r.Text}));
    }
}

// What the engine showed at one moment.
struct TEngineSample {
    qint64 Ms = 0;
    int Row = 0;
    int Remain = 0;
};

// Follows the engine: its bookkeeping sampled on a timer (it changes outside
// nested waits), and, as they happen, the graph's control steps and the
// notice being shown and hidden (those happen inside the engine's waits,
// where a timer of the test may not get its turn).
class TEngineLog : public QObject, public IGraphListener {
public:
    explicit TEngineLog(TFrmMain* frm) : frm_(frm) {
        clock_.start();
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { Sample(); });
        timer_.start();
        frm_->FGBrowse->AddListener(this);
        frm_->FrmPlay->plHint->installEventFilter(this);
    }
    ~TEngineLog() override {
        if (frm_->FGBrowse)
            frm_->FGBrowse->RemoveListener(this);
        if (frm_->FrmPlay)
            frm_->FrmPlay->plHint->removeEventFilter(this);
    }
    void Sample() {
        TEngineSample s;
        s.Ms = clock_.elapsed();
        s.Row = frm_->CurRow();
        s.Remain = frm_->Engine->RemainCount();
        if (Samples.empty() || Samples.back().Row != s.Row || Samples.back().Remain != s.Remain)
            Samples.push_back(s);
    }
    void FrameworkEvent(long event, intptr_t, intptr_t) override {
        if (event == EC_CLOCK_CHANGED)
            ++ClockChanges;
    }
    void ControlStep(TControlStep kind, int) override {
        if (kind == ssPlay || kind == ssPause || kind == ssStop)
            Steps.emplace_back(clock_.elapsed(), kind);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show || e->type() == QEvent::Hide)
            Notices.emplace_back(clock_.elapsed(), e->type() == QEvent::Show);
        return false;
    }

    // The distinct (row, remaining) pairs in the order they were entered.
    std::vector<std::pair<int, int>> Bookkeeping() const {
        std::vector<std::pair<int, int>> out;
        for (const auto& s : Samples)
            if (s.Row > 0 && (out.empty() || out.back() != std::make_pair(s.Row, s.Remain)))
                out.emplace_back(s.Row, s.Remain);
        return out;
    }
    int NoticeCount() const {
        int n = 0;
        for (const auto& [ms, shown] : Notices)
            n += shown ? 1 : 0;
        return n;
    }
    // True when every showing of the notice fell inside a pause of the
    // graph: shown after a pause step, and hidden right after the play step
    // that ends the pause (no other step in between).
    bool NoticeOnlyWhilePaused() const {
        for (size_t i = 0; i < Notices.size(); ++i) {
            if (!Notices[i].second)
                continue;
            const qint64 shown = Notices[i].first;
            const qint64 hidden =
                i + 1 < Notices.size() ? Notices[i + 1].first : std::numeric_limits<qint64>::max();
            TControlStep last = ssStop;
            std::vector<TControlStep> inside;
            for (const auto& [ms, kind] : Steps) {
                if (ms <= shown)
                    last = kind;
                else if (ms <= hidden)
                    inside.push_back(kind);
            }
            if (last != ssPause)
                return false;
            for (size_t k = 0; k < inside.size(); ++k)
                if (inside[k] == ssPlay && k + 1 != inside.size())
                    return false;
        }
        return true;
    }

    std::vector<TEngineSample> Samples;
    std::vector<std::pair<qint64, TControlStep>> Steps;
    std::vector<std::pair<qint64, bool>> Notices;
    int ClockChanges = 0;

private:
    TFrmMain* frm_;
    QElapsedTimer clock_;
    QTimer timer_;
};

// Notes the graph's clock-change notification while it is alive.
class TClockWatch : public IGraphListener {
public:
    explicit TClockWatch(TFilterGraph* graph) : graph_(graph) { graph_->AddListener(this); }
    ~TClockWatch() override { graph_->RemoveListener(this); }
    void FrameworkEvent(long event, intptr_t, intptr_t) override {
        if (event == EC_CLOCK_CHANGED)
            Seen = true;
    }
    void ControlStep(TControlStep, int) override {}
    bool Seen = false;

private:
    TFilterGraph* graph_;
};

// A stretch of media heard without a jump: media positions (ms) and the
// recorded frames it occupies.
struct TStretch {
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    int64_t FirstFrame = 0;
    int64_t Frames = 0;
};

// Splits the recording where the media position jumps back, or forward by
// more than a second.
inline std::vector<TStretch> Stretches(const TAudioRecording& rec) {
    std::vector<TStretch> out;
    int64_t lastPos = -1;
    for (const auto& c : rec.Chunks()) {
        if (c.Position < 0 || c.Frames <= 0)
            continue;
        const bool jump = lastPos < 0 || c.Position < lastPos || c.Position > lastPos + 10'000'000;
        if (jump) {
            TStretch s;
            s.StartMs = c.Position / 10000;
            s.FirstFrame = c.FirstFrame;
            out.push_back(s);
        }
        TStretch& s = out.back();
        s.EndMs = c.Position / 10000;
        s.Frames = c.FirstFrame + c.Frames - s.FirstFrame;
        lastPos = c.Position;
    }
    // A new file plays from its beginning for a moment, muted, before the
    // seek to the section's start: not a stretch that was heard.
    std::vector<TStretch> heard;
    for (size_t i = 0; i < out.size(); ++i)
        if (i + 1 == out.size() || out[i].EndMs - out[i].StartMs >= 150)
            heard.push_back(out[i]);
    return heard;
}

// Where the sound of a stretch was last heard (ms of media, rate 1): the end
// of its last chunk that is not silent. A muted tail does not count.
inline int64_t AudibleEndMs(const TAudioRecording& rec, const TStretch& s) {
    const std::vector<float> samples = rec.Samples();
    int64_t end = -1;
    for (const auto& c : rec.Chunks()) {
        if (c.FirstFrame < s.FirstFrame || c.FirstFrame >= s.FirstFrame + s.Frames)
            continue;
        float peak = 0;
        for (int64_t i = c.FirstFrame * 2; i < (c.FirstFrame + c.Frames) * 2; ++i)
            if (i < int64_t(samples.size()))
                peak = std::max(peak, std::abs(samples[size_t(i)]));
        if (peak > 1e-3f)
            end = c.Position / 10000 + c.Frames * 1000 / TAudioRecording::SampleRate;
    }
    return end;
}

// The silence heard before each stretch after the first (ms of wall time):
// from the end of the last audible chunk of the stretch before to the first
// audible chunk of this one, by when the output took them; -1 where either
// is all silent.
inline std::vector<double> HeardPausesMs(const TAudioRecording& rec,
                                         const std::vector<TStretch>& stretches) {
    const std::vector<float> samples = rec.Samples();
    const auto chunks = rec.Chunks();
    auto audible = [&](const TAudioRecording::TChunk& c) {
        for (int64_t i = c.FirstFrame * 2; i < (c.FirstFrame + c.Frames) * 2; ++i)
            if (i < int64_t(samples.size()) && std::abs(samples[size_t(i)]) > 1e-3f)
                return true;
        return false;
    };
    auto in = [](const TAudioRecording::TChunk& c, const TStretch& s) {
        return c.FirstFrame >= s.FirstFrame && c.FirstFrame < s.FirstFrame + s.Frames;
    };
    std::vector<double> out;
    for (size_t i = 0; i + 1 < stretches.size(); ++i) {
        int64_t endNs = -1, startNs = -1;
        for (const auto& c : chunks) {
            if (in(c, stretches[i]) && audible(c))
                endNs = c.ReleasedNs + c.Frames * 1'000'000'000 / TAudioRecording::SampleRate;
            else if (startNs < 0 && in(c, stretches[i + 1]) && audible(c))
                startNs = c.ReleasedNs;
        }
        out.push_back(endNs >= 0 && startNs >= 0 ? double(startNs - endNs) / 1e6 : -1);
    }
    return out;
}

// The media position (ms) of the first sound recorded at all, in either
// channel and at any level above -60 dB, or -1 when all is silent.
inline int64_t FirstHeardMs(const TAudioRecording& rec) {
    const std::vector<float> samples = rec.Samples();
    for (const auto& c : rec.Chunks())
        for (int64_t f = c.FirstFrame; f < c.FirstFrame + c.Frames; ++f)
            if (std::abs(samples[size_t(2 * f)]) > 1e-3f ||
                std::abs(samples[size_t(2 * f + 1)]) > 1e-3f)
                return c.Position < 0 ? -1
                                      : c.Position / 10000 +
                                            (f - c.FirstFrame) * 1000 / TAudioRecording::SampleRate;
    return -1;
}

inline QString Describe(const std::vector<TStretch>& stretches) {
    QStringList parts;
    for (const auto& s : stretches)
        parts << QStringLiteral("%1-%2").arg(s.StartMs).arg(s.EndMs);
    return parts.join(QLatin1Char(' '));
}

// The settings of a test run: written fresh before the control window is
// made, so that every run starts from the same options.
struct TPlayerOptions {
    QString Delay = QStringLiteral("0"); // cbDelay item index: 0 = 500 ms
    bool RePlay = true;
    QString EndMode = QStringLiteral("循环播放");
    bool AutoPlay = false;
    QString Volume = QStringLiteral("10000");
};

inline void WriteSettings(const QString& media, const TPlayerOptions& o) {
    QFile::remove(IniFileName);
    const QString s = QStringLiteral("START");
    WriteIniStr(IniFileName, s, QStringLiteral("PlayFile"), media);
    WriteIniStr(IniFileName, s, QStringLiteral("cbDelay"), o.Delay);
    WriteIniStr(IniFileName, s, QStringLiteral("chkRePlay"), BoolToText(o.RePlay));
    WriteIniStr(IniFileName, s, QStringLiteral("chkAutoPlay"), BoolToText(o.AutoPlay));
    WriteIniStr(IniFileName, s, QStringLiteral("overmode"), o.EndMode);
    WriteIniStr(IniFileName, s, QStringLiteral("SoundLevel2"), o.Volume);
}

// For a run that needs only a file playing: in `dir`, a 30 s clip with a small
// picture and the tones, a schedule of one section at 00:00, the default
// settings (IniFileName points there) and the sound recorded. Returns the
// clip, or an empty string with the reason in *error.
inline QString MakeOneSectionFolder(const QTemporaryDir& dir, QString* error) {
    IniFileName = dir.filePath(QStringLiteral("system.INI"));
    const QString clip = dir.filePath(QStringLiteral("tones.mp4"));
    TVideoClipOptions small;
    small.Width = 160;
    small.Height = 120;
    if (!MakeToneVideoClip(clip, 30, 1, error, small))
        return QString();
    RecordAudio();
    WriteSchedule(clip, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
    WriteSettings(clip, {});
    return clip;
}

// A test run's own folder: the settings file written there, a clip whose
// sound names the media second, the recording of what is heard, and the
// control window.
class TPlayerFolder {
protected:
    QTemporaryDir dir_;
    QString clip_;
    std::shared_ptr<TAudioRecording> rec_;
    std::unique_ptr<TFrmMain> frm_;

    // A picture small enough that decoding it costs little.
    static TVideoClipOptions SmallPicture() {
        TVideoClipOptions small;
        small.Width = 160;
        small.Height = 120;
        return small;
    }

    // For initTestCase: clip `name` of `seconds`, a key frame every
    // keyIntervalSeconds.
    void MakeToneClip(const QString& name, int seconds, int keyIntervalSeconds,
                      const TVideoClipOptions& options = {}) {
        QVERIFY(dir_.isValid());
        IniFileName = dir_.filePath(QStringLiteral("system.INI"));
        clip_ = dir_.filePath(name);
        QString error;
        QVERIFY2(MakeToneVideoClip(clip_, seconds, keyIntervalSeconds, &error, options),
                 qPrintable(error));
        rec_ = RecordAudio();
    }
};

// The set-up both section-engine test classes share: a 10 s clip, the
// recorded sound, and a control window started on a schedule. Sections are
// in whole seconds.
class TSectionFixture : public TPlayerFolder {
protected:
    static constexpr int kClipSeconds = 10;

    std::unique_ptr<TEngineLog> log_;

    // For initTestCase.
    void MakeClipAndRecorder() { MakeToneClip(QStringLiteral("tones.mp4"), kClipSeconds, 1); }

    // For cleanup.
    void CloseWindow() {
        log_.reset();
        frm_.reset();
    }

    void Start(const std::vector<TSectionRow>& rows, const TPlayerOptions& options = {}) {
        WriteSchedule(clip_, rows);
        WriteSettings(clip_, options);
        rec_->Clear();
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        log_ = std::make_unique<TEngineLog>(frm_.get());
        frm_->PlaySection(1, false);
    }

    // Checks that a stretch starts exactly at its section's time point: by
    // the position stamps (within one 25 fps frame) and by the tone heard
    // on `channel` (0 left, 1 right).
    void CheckStart(const TStretch& s, int second, int channel = 0) {
        QVERIFY2(std::abs(s.StartMs - second * 1000) <= 40,
                 qPrintable(QStringLiteral("stretch starts at %1 ms").arg(s.StartMs)));
        const auto frames = rec_->Samples();
        const int64_t at = s.FirstFrame + TAudioRecording::SampleRate / 10;
        QCOMPARE(IdentifySecond(frames, at, TAudioRecording::SampleRate / 4, channel,
                                kClipSeconds + 1, TAudioRecording::SampleRate),
                 second);
    }

    std::vector<TStretch> WaitForStretches(size_t n, int64_t lastReachesMs) {
        std::vector<TStretch> st;
        // The caller checks what was heard, also when the wait gave up.
        (void)QTest::qWaitFor(
            [&] {
                st = Stretches(*rec_);
                return st.size() > n || (st.size() == n && st.back().EndMs >= lastReachesMs);
            },
            60000);
        return st;
    }
};

// Points this process, and the players it starts, at the private X server
// (without one, Qt's offscreen platform stays), with no message box to wait on.
inline void UsePrivateDisplay(const XvfbSession& xvfb) {
    if (xvfb.IsRunning()) {
        qputenv("DISPLAY", xvfb.Display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    qputenv("TAVRELO_NO_MESSAGE_BOXES", "1");
}

// Starts a private Xvfb for this process and makes the application on it.
template <class TestClass> int RunE2eTests(int argc, char** argv) {
    XvfbSession xvfb(1920, 1080);
    UsePrivateDisplay(xvfb);
    TApplication app(argc, argv);
    InitPublicModule(); // the delays count on the counter's frequency
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}
#define TAVRELO_E2E_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        return RunE2eTests<TestClass>(argc, argv);                                                 \
    }
