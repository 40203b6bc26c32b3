// TFilterGraph through the real GStreamer pipeline, on clips made at run
// time, with the sound recorded instead of played.
// GStreamer's network clock first: GIO's headers use Qt's keywords as names.
#include <gst/net/net.h>

#include "MediaTestKit.h"
#include "media/GraphPlayback.h"

#include <QDir>
#include <QtTest>

namespace {

// Records every notification and control step it is told of.
class TRecordingListener : public IGraphListener {
public:
    std::vector<long> Events;
    std::vector<TControlStep> Steps;
    void FrameworkEvent(long event, intptr_t, intptr_t) override { Events.push_back(event); }
    void ControlStep(TControlStep kind, int) override { Steps.push_back(kind); }
};

// How much later (ms) b makes each media position heard than a does, by
// the outputs' release stamps on the kernel's monotonic clock: one figure
// per chunk of b from `skipNs` of its sound on.
std::vector<double> OutputOffsetsMs(const TAudioRecording& a, const TAudioRecording& b, double rate,
                                    int64_t skipNs) {
    const auto ca = a.Chunks(), cb = b.Chunks();
    std::vector<double> offsets;
    if (cb.empty())
        return offsets;
    for (const auto& c : cb) {
        if (c.Position < 0 || !c.Frames || c.ReleasedNs - cb.front().ReleasedNs < skipNs)
            continue;
        for (const auto& x : ca) {
            const int64_t end = x.Position + int64_t(double(x.Frames) * 1e7 * rate / 48000);
            if (x.Position < 0 || !x.Frames || c.Position < x.Position || c.Position >= end)
                continue;
            const double heardA =
                double(x.ReleasedNs) + double(c.Position - x.Position) * 100 / rate;
            offsets.push_back((double(c.ReleasedNs) - heardA) / 1e6);
            break;
        }
    }
    return offsets;
}

} // namespace

class TestFilterGraph : public QObject, TMediaFixture {
    Q_OBJECT

private:
    QString DotDir() const { return FDir.path(); }
    int DotDumps() const { return QDir(DotDir()).entryList({"*tavrelo-error.dot"}).size(); }

private slots:
    void initTestCase() {
        // Read when GStreamer starts: a failing pipeline is dumped there.
        QVERIFY(FDir.isValid());
        qputenv("GST_DEBUG_DUMP_DOT_DIR", QFile::encodeName(DotDir()));
        StartMediaTests();
        MAKE_CLIP(MakeToneVideoClip(Clip("k2.mp4"), 20, 2, &clipError));
        MAKE_CLIP(MakeToneVideoClip(Clip("k10.mkv"), 20, 10, &clipError));
        MAKE_CLIP(MakeWavClip(Clip("short.wav"), 1.5, 16, 2, &clipError));
        MAKE_CLIP(MakeEmptyFile(Clip("empty.mp4"), &clipError));
        MAKE_CLIP(MakeTextFile(Clip("text.mp4"), "not a video at all\n", &clipError));
        MAKE_CLIP(MakeTruncatedCopy(Clip("k2.mp4"), Clip("broken.mp4"), 0.5, &clipError));
    }

    void init() { FRec->Clear(); }

    void inactiveGraphDoesNothing() {
        TFilterGraph g;
        QCOMPARE(g.RenderFile(Clip("k2.mp4")), S_FALSE);
        QVERIFY(!g.Play());
        QVERIFY(!g.Pause());
        QVERIFY(!g.Stop());
        QCOMPARE(g.State(), gsNone);
        QCOMPARE(g.Duration(), 0);
        QVERIFY(!g.QueryInterface<IMediaSeeking>());
        g.SetVolume(-5);
        QCOMPARE(g.Volume(), 0);
        g.SetVolume(12000);
        QCOMPARE(g.Volume(), 10000);
    }

    void renderFailureGivesReason_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("notFound");
        QTest::newRow("zero bytes") << "empty.mp4" << false;
        QTest::newRow("text named .mp4") << "text.mp4" << false;
        QTest::newRow("missing") << "missing.mp4" << true;
    }
    void renderFailureGivesReason() {
        QFETCH(QString, file);
        QFETCH(bool, notFound);
        TFilterGraph g;
        g.SetActive(true);
        const int dumps = DotDumps();
        const HRESULT hr = g.RenderFile(Clip(file));
        QVERIFY2(FAILED(hr), qPrintable(QString::number(hr, 16)));
        QVERIFY(DotDumps() > dumps);
        if (notFound)
            QCOMPARE(hr, E_FILE_NOT_FOUND);
        QVERIFY(!g.LastError().isEmpty());
        qInfo() << file << "->" << g.LastError();
        QCOMPARE(g.State(), gsStopped);
        QVERIFY(!g.Play());
        QCOMPARE(g.State(), gsStopped);
    }

    void playPauseStop() {
        TRecordingListener l;
        TFilterGraph g;
        g.AddListener(&l);
        g.SetActive(true);
        QCOMPARE(g.State(), gsStopped);
        QCOMPARE(g.RenderFile(Clip("k2.mp4")), S_OK);
        QCOMPARE(g.State(), gsStopped); // rendered, not yet run
        QVERIFY(g.Play());
        QCOMPARE(g.State(), gsPlaying);
        // The AAC track ends with its last whole frame of 1024 samples.
        QVERIFY2(std::abs(g.Duration() - 20000) < 50, qPrintable(QString::number(g.Duration())));
        const int64_t early = Position(g);
        QVERIFY(early >= 0 && early < 10000000);
        QTRY_VERIFY_WITH_TIMEOUT(Position(g) > 3000000, WaitMs);
        QVERIFY(g.Pause());
        QCOMPARE(g.State(), gsPaused);
        const int64_t paused = Position(g);
        // Paused: the position holds.
        QVERIFY(!QTest::qWaitFor([&] { return Position(g) != paused; }, 300));
        QCOMPARE(Position(g), paused);
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(Position(g) > paused + 1000000, WaitMs);
        QVERIFY(g.Stop());
        QCOMPARE(g.State(), gsStopped);
        const std::vector<TControlStep> expected{ssActive, ssRendering, ssRendered, ssPlay,
                                                 ssPause,  ssPlay,      ssStop};
        QCOMPARE(l.Steps, expected);
        // Started again from stopped. The clock a start chooses, and the same
        // one again on resuming, are no clock change.
        FRec->Clear();
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 4800, WaitMs);
        QCOMPARE(std::count(l.Events.begin(), l.Events.end(), EC_CLOCK_CHANGED), 0);
        g.RemoveListener(&l);
    }

    void seekLandsExactly_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("targetMs");
        QTest::addColumn<bool>("paused");
        for (const char* f : {"k2.mp4", "k10.mkv"})
            for (int t : {3000, 17000})
                for (bool p : {false, true})
                    QTest::addRow("%s %d %s", f, t, p ? "paused" : "running")
                        << QString::fromLatin1(f) << t << p;
    }
    void seekLandsExactly() {
        QFETCH(QString, file);
        QFETCH(int, targetMs);
        QFETCH(bool, paused);
        TFilterGraph g;
        QCOMPARE(RenderClip(g, file), S_OK);
        QVERIFY(g.Play());
        // Running: sought while the start is still under way. Paused: once
        // the media has been heard.
        if (paused) {
            QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 0, WaitMs);
            QVERIFY(g.Pause() || g.State() == gsPaused);
        }
        FRec->Clear();
        QElapsedTimer sinceSeek;
        sinceSeek.start();
        QVERIFY(SUCCEEDED(SeekTo(g, targetMs)));
        // Sound from before the seek may still be recorded up to here, never
        // after: the seek flushes it.
        const int64_t mark = FRec->FrameCount();
        const int64_t target = int64_t(targetMs) * 10000;
        // The position answers the target at once: paused, within a frame;
        // running, the seek may already have landed and played on since, by
        // no more than the time gone by (and a 25 fps frame of stamps).
        const int64_t at = Position(g);
        const int64_t ranOn = (paused ? 0 : sinceSeek.elapsed() * 10000) + 400000;
        QVERIFY2(at >= target && at <= target + ranOn,
                 qPrintable(QStringLiteral("%1 for %2").arg(at).arg(target)));
        if (paused)
            g.Play();
        const int64_t first = WaitForSoundFrom(*FRec, target, 9600);
        QVERIFY(first >= 0);
        const auto chunks = FRec->Chunks();
        // The first sound heard after the seek is the target's. What was on
        // its way out before the seek comes from the clip's first second;
        // on a busy machine the seek's own first buffer may already be out
        // by the time SeekTo returns, so the return is no dividing line.
        size_t k = 0;
        while (k < chunks.size() && chunks[k].Position < target - 10000) {
            QVERIFY2(chunks[k].FirstFrame < mark, "sound from before the seek after it");
            ++k;
        }
        QVERIFY(k < chunks.size());
        const int64_t landing = chunks[k].Position - target;
        qInfo() << "landing error" << landing / 10 << "us";
        QVERIFY2(std::llabs(landing) <= 10000, qPrintable(QString::number(landing)));
        const auto frames = FRec->Samples();
        const int second = targetMs / 1000;
        QCOMPARE(IdentifySecond(frames, first + 2400, 4800, 0, 20, TAudioRecording::SampleRate),
                 second);
        QCOMPARE(IdentifySecond(frames, first + 2400, 4800, 1, 20, TAudioRecording::SampleRate),
                 second);
    }

    // A second graph on a client clock following the first one's clock over
    // loopback, run so that its running time lines up with the first one's
    // mapping: both make the same media position heard at the same moment.
    void followsAnotherGraphsClock_data() {
        QTest::addColumn<double>("rate");
        QTest::newRow("1.00") << 1.0;
        QTest::newRow("0.80") << 0.8;
    }
    void followsAnotherGraphsClock() {
        QFETCH(double, rate);
        GstClock* system = gst_system_clock_obtain();
        GstNetTimeProvider* provider = gst_net_time_provider_new(system, "127.0.0.1", 0);
        gst_object_unref(system);
        QVERIFY(provider);
        gint port = 0;
        g_object_get(provider, "port", &port, nullptr);
        const auto recA = RecordAudio();
        // The other tests' recording back afterwards.
        const auto ownOutput =
            qScopeGuard([this] { SetAudioOutput(TAudioOutputKind::Record, FRec); });
        TFilterGraph a;
        TGraphPlayback leader(a);
        QCOMPARE(RenderClip(a, "k10.mkv"), S_OK);
        a.SetRate(rate);
        QVERIFY(SUCCEEDED(SeekTo(a, 1000)));
        QVERIFY(a.Play());

        const auto recB = RecordAudio();
        TFilterGraph b;
        TGraphPlayback follower(b);
        follower.FollowClock(QStringLiteral("127.0.0.1"), uint16_t(port));
        QTRY_VERIFY_WITH_TIMEOUT(follower.ClockNowNs().has_value(), WaitMs);
        QCOMPARE(RenderClip(b, "k10.mkv"), S_OK);
        b.SetRate(rate);
        std::optional<SyncGraph::Mapping> m;
        QTRY_VERIFY_WITH_TIMEOUT((m = leader.ClockMapping()).has_value(), WaitMs);
        // Where the first graph will be a while from now, to the millisecond,
        // and the moment of the shared clock it is heard there.
        const int64_t soon = *follower.ClockNowNs() + 2000000000;
        const int64_t targetMs =
            (m->positionNs + int64_t(double(soon - m->clockNs) * rate)) / 1000000 + 1;
        const int64_t at = m->clockNs + int64_t(double(targetMs * 1000000 - m->positionNs) / rate);
        QVERIFY(SUCCEEDED(SeekTo(b, targetMs)));
        QTRY_VERIFY_WITH_TIMEOUT(b.Settled(), WaitMs);
        QVERIFY(follower.PlayAt(at));
        QTRY_VERIFY_WITH_TIMEOUT(recB->FrameCount() > 48000 * 2, WaitMs);
        follower.ClockAlone();
        gst_object_unref(provider);

        std::vector<double> offsets = OutputOffsetsMs(*recA, *recB, rate, 300000000);
        QVERIFY(offsets.size() > 20);
        std::sort(offsets.begin(), offsets.end());
        const double median = offsets[offsets.size() / 2];
        qInfo() << "following output offset, median ms" << median;
        // Scheduling of the two output threads under load, not the clocks.
        QVERIFY2(std::abs(median) < 20, qPrintable(QString::number(median)));
    }

    void seekKeepsRate() {
        TFilterGraph g;
        QCOMPARE(RenderClip(g, "k2.mp4"), S_OK);
        QVERIFY(g.Play());
        auto seeking = g.QueryInterface<IMediaSeeking>();
        const int64_t beforeRate = FRec->FrameCount();
        QVERIFY(SUCCEEDED(seeking->SetRate(1.25)));
        // Sought once the new rate is being heard.
        QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > beforeRate + 4800, WaitMs);
        FRec->Clear();
        QVERIFY(SUCCEEDED(SeekTo(g, 5000)));
        // 1.2 s of sound heard must cover 1.5 s of media.
        const int64_t first = WaitForSoundFrom(*FRec, 50000000, 48000 * 12 / 10);
        QVERIFY(first >= 0);
        const auto chunks = FRec->Chunks();
        // Measured past scaletempo's first window, which starts slower.
        size_t from = 0;
        while (from + 1 < chunks.size() && (chunks[from].FirstFrame < 4800 || !chunks[from].Frames))
            ++from;
        size_t to = chunks.size() - 1;
        while (to > from && !chunks[to].Frames)
            --to;
        const auto& a = chunks[from];
        const auto& b = chunks[to];
        const double heard = double(b.FirstFrame - a.FirstFrame) / TAudioRecording::SampleRate;
        const double media = double(b.Position - a.Position) / 1e7;
        qInfo() << "rate after seek" << media / heard;
        QVERIFY(std::abs(media / heard - 1.25) < 0.02);
        double rate = 0;
        seeking->GetRate(&rate);
        QCOMPARE(rate, 1.25);
        // The tone of the media second is still the one heard (pitch kept).
        const auto frames = FRec->Samples();
        const int64_t at6 = FrameAtPosition(chunks, 62000000);
        QVERIFY(at6 >= 0);
        QCOMPARE(IdentifySecond(frames, at6, 4800, 0, 20, TAudioRecording::SampleRate), 6);
    }

    // The sound end holds at the output to the sample, mid-buffer and at
    // another rate; setting the position afterwards clears it.
    void soundEndHeldAtOutput_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("fromMs");
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("sought");
        QTest::newRow("wav") << "short.wav" << 0 << 1.0 << false;
        QTest::newRow("aac") << "k2.mp4" << 3000 << 1.0 << false;
        QTest::newRow("aac 1.25") << "k2.mp4" << 3000 << 1.25 << false;
        QTest::newRow("wav, sought after") << "short.wav" << 0 << 1.0 << true;
    }
    void soundEndHeldAtOutput() {
        QFETCH(QString, file);
        QFETCH(int, fromMs);
        QFETCH(double, rate);
        QFETCH(bool, sought);
        TFilterGraph g;
        QCOMPARE(RenderClip(g, file), S_OK);
        g.SetRate(rate);
        QVERIFY(SUCCEEDED(SeekTo(g, fromMs)));
        const int64_t end = (fromMs + 1010) * int64_t(10000); // inside a 40 ms WAV buffer
        g.SetSoundEnd(end / 10000);
        if (sought)
            QVERIFY(SUCCEEDED(SeekTo(g, fromMs)));
        FRec->Clear();
        QVERIFY(g.Play());
        QVERIFY(WaitForSoundFrom(*FRec, end + 3000000, 1) >= 0);
        // The media time of the last frame heard.
        const auto frames = FRec->Samples();
        int64_t heard = -1;
        for (const auto& c : FRec->Chunks())
            for (int64_t i = 0; c.Position >= 0 && i < c.Frames; ++i)
                if (std::max(std::abs(frames[size_t(2 * (c.FirstFrame + i))]),
                             std::abs(frames[size_t(2 * (c.FirstFrame + i) + 1)])) > 1e-3f)
                    heard = std::max(heard, c.Position + int64_t(double(i + 1) * rate * 1e7 /
                                                                 TAudioRecording::SampleRate));
        const QString why = QStringLiteral("heard to %1 us").arg(heard / 10);
        if (sought)
            QVERIFY2(heard > end + 2000000, qPrintable(why));
        else
            QVERIFY2(heard >= end - 200000 && heard <= end + 10000, qPrintable(why));
    }

    void endOfMediaOnceBeforeLaterEvents() {
        TRecordingListener l;
        TFilterGraph g;
        g.AddListener(&l);
        int completes = 0;
        std::vector<long> eventsAtComplete;
        g.OnGraphComplete = [&](TFilterGraph*, HRESULT result, IBaseFilter*) {
            ++completes;
            QCOMPARE(result, S_OK);
            eventsAtComplete = l.Events;
            // A nested wait inside the handler still delivers events; the
            // same end of media is not delivered twice.
            DelayMs(300);
        };
        QCOMPARE(RenderClip(g, "short.wav"), S_OK);
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(completes > 0, WaitMs);
        // No second end follows.
        QVERIFY(!QTest::qWaitFor([&] { return completes > 1; }, 300));
        QCOMPARE(completes, 1);
        QVERIFY(!eventsAtComplete.empty());
        QCOMPARE(eventsAtComplete.back(), EC_COMPLETE);
        QCOMPARE(std::count(l.Events.begin(), l.Events.end(), EC_COMPLETE), 1);
        // Played again from near the end: a second end, delivered once.
        QVERIFY(SUCCEEDED(SeekTo(g, 1000)));
        g.Play();
        QTRY_VERIFY_WITH_TIMEOUT(completes > 1, WaitMs);
        QVERIFY(!QTest::qWaitFor([&] { return completes > 2; }, 300));
        QCOMPARE(completes, 2);
        g.RemoveListener(&l);
    }

    void endDeliveredInsideNestedWait() {
        TFilterGraph g;
        int completes = 0;
        bool secondInsideFirst = false;
        g.OnGraphComplete = [&](TFilterGraph* sender, HRESULT, IBaseFilter*) {
            ++completes;
            if (completes == 1) {
                SeekTo(*sender, 1000);
                sender->Play();
                // The program's wait: the next end arrives while we wait here.
                for (int i = 0; i < 100 && completes < 2; ++i)
                    DelayMs(50);
                secondInsideFirst = completes == 2;
            }
        };
        QCOMPARE(RenderClip(g, "short.wav"), S_OK);
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(completes >= 2, WaitMs);
        QVERIFY(secondInsideFirst);
    }

    void brokenFileEndsAsAtItsEnd() {
        TFilterGraph g;
        int completes = 0;
        g.OnGraphComplete = [&](TFilterGraph*, HRESULT, IBaseFilter*) { ++completes; };
        QCOMPARE(RenderClip(g, "broken.mp4"), S_OK);
        QVERIFY(g.Play());
        QVERIFY(SUCCEEDED(SeekTo(g, 7000)));
        QTRY_VERIFY_WITH_TIMEOUT(completes > 0, 30000);
        QVERIFY(!QTest::qWaitFor([&] { return completes > 1; }, 200));
        QCOMPARE(completes, 1);
        // Sound was heard up to the break, about the middle of the file.
        const auto chunks = FRec->Chunks();
        QVERIFY(!chunks.empty());
        const int64_t lastHeard = chunks.back().Position / 10000;
        qInfo() << "broken file: last sound at" << lastHeard << "ms; ended at"
                << Position(g) / 10000 << "ms; state" << g.State() << g.LastError();
        QVERIFY(lastHeard > 8000 && lastHeard < 12000);
    }

    // The sound output fails a second into playback: the player hears of
    // it, and of the end, instead of waiting for an end that never comes.
    void errorWhilePlayingEndsPlayback() {
        TRecordingListener l;
        TFilterGraph g;
        g.AddListener(&l);
        HRESULT result = S_OK;
        int completes = 0;
        GraphState stateAtComplete = gsNone;
        g.OnGraphComplete = [&](TFilterGraph* sender, HRESULT r, IBaseFilter*) {
            ++completes;
            result = r;
            stateAtComplete = sender->State();
        };
        QCOMPARE(RenderClip(g, "k2.mp4"), S_OK);
        FRec->FailAfter(48000);
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(completes > 0, WaitMs);
        QVERIFY(!QTest::qWaitFor([&] { return completes > 1; }, 200));
        QCOMPARE(completes, 1);
        QVERIFY(FAILED(result));
        const std::vector<long> expected{EC_ERRORABORT, EC_COMPLETE};
        std::vector<long> ends;
        for (long e : l.Events)
            if (e == EC_ERRORABORT || e == EC_COMPLETE)
                ends.push_back(e);
        QCOMPARE(ends, expected);
        // Stopped, so that a new start opens the file afresh.
        QCOMPARE(stateAtComplete, gsStopped);
        QVERIFY(!g.LastError().isEmpty());
        qInfo() << "error while playing:" << g.LastError();
        FRec->Clear();
        QCOMPARE(g.RenderFile(Clip("k2.mp4")), S_OK);
        QVERIFY(g.Play());
        QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 4800, WaitMs);
        g.RemoveListener(&l);
    }

    void volumeTable_data() {
        QTest::addColumn<int>("volume");
        QTest::addColumn<int>("sent");
        const int table[][2] = {{0, -10000},  {1, -9247},    {10, -7397},
                                {100, -4989}, {1000, -2499}, {5000, -752},
                                {9000, -114}, {9999, 0},     {10000, 0}};
        for (auto& row : table)
            QTest::addRow("%d", row[0]) << row[0] << row[1];
    }
    void volumeTable() {
        QFETCH(int, volume);
        QFETCH(int, sent);
        QCOMPARE(VolumeToFramework(volume, true), long(sent));
        // End to end: the level heard is the sent attenuation in decibels.
        TFilterGraph g;
        QCOMPARE(RenderClip(g, "short.wav"), S_OK);
        g.SetVolume(volume);
        QVERIFY(g.Play());
        const int64_t first = WaitForSoundFrom(*FRec, 0, 12000);
        QVERIFY(first >= 0);
        const double level =
            ToneLevel(FRec->Samples(), first + 2400, 9600, 0, ToneFrequency(0, 0), 48000);
        const double db = 20 * std::log10(level / 0.5);
        qInfo() << "volume" << volume << "heard at" << db << "dB";
        QVERIFY2(std::abs(db - sent / 100.0) < 0.1, qPrintable(QString::number(db)));
    }

    void balanceMapping_data() {
        QTest::addColumn<int>("balance");
        QTest::addColumn<int>("sent");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << -753;
        QTest::newRow("-1") << -1 << 753;
        QTest::newRow("10000") << 10000 << -10000;
    }
    void balanceMapping() {
        QFETCH(int, balance);
        QFETCH(int, sent);
        QCOMPARE(BalanceToFramework(balance, true), long(sent));
    }

    void emptyGraphKeepsMembersUnconnected() {
        TShownGraph shown(QSize(320, 240), true);
        TFilterGraph& g = shown.Graph;
        TVideoWindow& vw = shown.VW;
        TSampleGrabber& grabber = shown.Grabber;
        g.SetActive(true);
        auto fg = g.QueryInterface<IFilterGraph>();
        QVERIFY(fg);
        auto connectedPins = [](IBaseFilter& f) {
            std::vector<std::shared_ptr<IPin>> pins;
            f.EnumPins(&pins);
            int n = 0;
            for (auto& p : pins) {
                std::shared_ptr<IPin> other;
                if (SUCCEEDED(p->ConnectedTo(&other)))
                    ++n;
            }
            return n;
        };
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(g.RenderFile(Clip("k2.mp4")), S_OK);
            QVERIFY(g.Play());
            std::vector<std::shared_ptr<IBaseFilter>> filters;
            fg->EnumFilters(&filters);
            QVERIFY(filters.size() > 2);
            QCOMPARE(connectedPins(*vw.MemberFilter()), 1);
            QCOMPARE(connectedPins(*grabber.MemberFilter()), 2);
            g.EmptyGraph();
            QCOMPARE(g.State(), gsStopped);
            fg->EnumFilters(&filters);
            QStringList names;
            for (auto& f : filters) {
                QString n;
                f->QueryFilterInfo(&n);
                names << n;
                QCOMPARE(connectedPins(*f), 0);
            }
            QCOMPARE(names, (QStringList{"VW", "SampleGrabber"}));
        }
    }
};

QTEST_MAIN(TestFilterGraph)
#include "TestFilterGraph.moc"
