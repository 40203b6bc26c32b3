// Transport end to end: skips of ten seconds back and forward, pause, and
// the playback rate (pace changed, pitch kept), on a 61 s clip whose sound
// names the media second; what is heard is recorded.
#include "PlayerKit.h"

#include <QtTest>

class TestTransport : public QObject, TPlayerFolder {
    Q_OBJECT

private:
    void Start() {
        WriteSchedule(clip_, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        WriteSettings(clip_, {});
        rec_->Clear();
        frm_ = std::make_unique<TFrmMain>();
        frm_->PlaySection(1, false);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
    }

    // Moves to ms and waits until the position tick has shown that second.
    void PlayAt(int ms) {
        frm_->SeekTo(uint32_t(ms));
        frm_->FGBrowse->Play();
        const QString shown = SecToTimeStr(ms / 1000);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->lbPos->text(), shown, WaitMs);
    }

    // The stretches heard from the one under way when the recording had
    // `frames` frames.
    std::vector<TStretch> HeardSince(int64_t frames) {
        const std::vector<TStretch> all = Stretches(*rec_);
        size_t k = 0;
        while (k + 1 < all.size() && all[k + 1].FirstFrame < frames)
            ++k;
        return std::vector<TStretch>(all.begin() + std::min(k, all.size()), all.end());
    }

    // The media second heard in channel `channel` around recorded frame at.
    int SecondAt(int64_t at, int channel = 0, int toneChannel = -1) {
        return IdentifySecond(rec_->Samples(), at, TAudioRecording::SampleRate / 5, channel, 62,
                              TAudioRecording::SampleRate, toneChannel);
    }

private slots:
    void initTestCase() { MakeToneClip(QStringLiteral("long.mp4"), 61, 5, SmallPicture()); }
    void cleanup() { frm_.reset(); }

    void pauseWithNothingOpen() {
        WriteSettings(clip_, {});
        TFrmMain frm;
        frm.btnPauseClick(frm.btnPause);
        frm.btnBackClick(frm.btnBack);
        frm.btnNextClick(frm.btnNext);
        QCOMPARE(frm.FGBrowse->State(), gsNone);
    }

    // Back at 00:07 goes to 00:00, back at 01:00 to 00:50, forward at 00:50
    // to 01:00; forward at 00:55 of a media shorter than 01:05 does nothing.
    void skips_data() {
        QTest::addColumn<int>("at");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("landsAt"); // -1: no skip
        QTest::newRow("back at 00:07") << 7300 << false << 0;
        QTest::newRow("back at 01:00") << 60100 << false << 50;
        QTest::newRow("forward at 00:50") << 50200 << true << 60;
        QTest::newRow("forward at 00:55") << 55200 << true << -1;
    }
    void skips() {
        QFETCH(int, at);
        QFETCH(bool, forward);
        QFETCH(int, landsAt);
        Start();
        PlayAt(at);
        const int64_t mark = rec_->FrameCount();
        if (forward)
            frm_->btnNextClick(frm_->btnNext);
        else
            frm_->btnBackClick(frm_->btnBack);
        QCOMPARE(frm_->CurRow(), 1); // the bookkeeping is not touched
        if (landsAt < 0) {
            // Still the same stretch after another tick.
            const QString before = frm_->lbPos->text();
            QTRY_VERIFY_WITH_TIMEOUT(frm_->lbPos->text() != before, WaitMs);
            const auto st = HeardSince(mark);
            QCOMPARE(int(st.size()), 1);
            QVERIFY(st[0].StartMs <= at);
            return;
        }
        // The stretch under way at the click, then the one after the skip.
        std::vector<TStretch> st;
        // Checked below, also when the wait gave up.
        (void)QTest::qWaitFor(
            [&] {
                st = HeardSince(mark);
                return st.size() >= 2 && st[1].Frames > TAudioRecording::SampleRate / 2;
            },
            WaitMs);
        QVERIFY2(st.size() >= 2, qPrintable(Describe(Stretches(*rec_))));
        QVERIFY2(std::abs(st[1].StartMs - landsAt * 1000) <= 40, qPrintable(Describe(st)));
        QCOMPARE(SecondAt(st[1].FirstFrame + TAudioRecording::SampleRate / 10), landsAt);
    }

    // Pause and resume; a skip while paused resumes playback.
    void pauseAndSkipWhilePaused() {
        Start();
        PlayAt(20300);
        frm_->btnPauseClick(frm_->btnPause);
        QCOMPARE(frm_->FGBrowse->State(), gsPaused);
        const int64_t frames = rec_->FrameCount();
        // Paused: hardly any sound follows for 0.6 s.
        QVERIFY(!QTest::qWaitFor(
            [&] { return rec_->FrameCount() - frames >= TAudioRecording::SampleRate / 4; }, 600));
        QVERIFY(rec_->FrameCount() - frames < TAudioRecording::SampleRate / 4);
        frm_->btnPauseClick(frm_->btnPause);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        frm_->btnPauseClick(frm_->btnPause);
        frm_->btnBackClick(frm_->btnBack);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);
    }

    // Pausing and resuming, repeating a section and skipping never take
    // playback back to the start of the media: choosing the same clock again
    // is no clock change (which the tracker would answer by going to 0).
    void neverBackToStart_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("times");
        QTest::newRow("pause and resume") << "pause" << 50;
        QTest::newRow("repeat") << "repeat" << 20;
        QTest::newRow("skip") << "skip" << 20;
    }
    void neverBackToStart() {
        QFETCH(QString, action);
        QFETCH(int, times);
        WriteSchedule(clip_, {{QStringLiteral("99"), QStringLiteral("00:20"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:45"), {}}});
        WriteSettings(clip_, {});
        rec_->Clear();
        frm_ = std::make_unique<TFrmMain>();
        TClockWatch clock(frm_->FGBrowse);
        frm_->PlaySection(1, false);
        for (int i = 0; i < times; ++i) {
            // A tenth of a second heard, and the tracker's report of it.
            const int64_t mark = rec_->FrameCount();
            const QString shown = frm_->lbPos->text();
            QTRY_VERIFY_WITH_TIMEOUT(
                rec_->FrameCount() > mark + TAudioRecording::SampleRate / 10 &&
                    (action != QLatin1String("skip") || frm_->lbPos->text() != shown),
                WaitMs);
            if (action == QLatin1String("pause")) {
                frm_->btnPauseClick(frm_->btnPause);
                frm_->btnPauseClick(frm_->btnPause);
            } else if (action == QLatin1String("repeat")) {
                frm_->PlaySection(1, true);
            } else if (i % 2) {
                frm_->btnBackClick(frm_->btnBack);
            } else {
                frm_->btnNextClick(frm_->btnNext);
            }
        }
        const int64_t end = rec_->FrameCount();
        QTRY_VERIFY_WITH_TIMEOUT(rec_->FrameCount() > end + TAudioRecording::SampleRate / 2,
                                 WaitMs);
        // Sound from before 00:10 is at most the muted moment of the start.
        const auto frames = rec_->Samples();
        for (const TStretch& s : Stretches(*rec_))
            if (s.StartMs < 10000)
                QVERIFY2(RmsLevel(frames, s.FirstFrame, s.Frames, 0) < 0.01,
                         qPrintable(Describe(Stretches(*rec_))));
        QVERIFY(!clock.Seen);
    }

    // The rate changes the pace (media seconds per second heard) and keeps
    // the pitch; it is stored with the media only while playing.
    void rate_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("rate");
        QTest::newRow("0.70") << 0 << 0.70;
        QTest::newRow("1.30") << 9 << 1.30;
    }
    void rate() {
        QFETCH(int, index);
        QFETCH(double, rate);
        Start();
        PlayAt(10300);
        const int64_t mark = rec_->FrameCount();
        frm_->cbRate->SetItemIndex(index);
        QCOMPARE(
            ReadIniText(frm_->SchedFileName, QStringLiteral("START"), QStringLiteral("cbRate")),
            QString::number(index));
        // Three seconds of sound at the new rate.
        QTRY_VERIFY_WITH_TIMEOUT(rec_->FrameCount() > mark + 4 * TAudioRecording::SampleRate,
                                 20000);
        const auto chunks = rec_->Chunks();
        // Pace: media time advanced per recorded second, away from the change.
        const TAudioRecording::TChunk* a = nullptr;
        const TAudioRecording::TChunk* b = nullptr;
        for (const auto& c : chunks) {
            if (c.FirstFrame < mark + TAudioRecording::SampleRate / 2)
                continue;
            if (!a)
                a = &c;
            b = &c;
        }
        QVERIFY(a && b && b->FirstFrame - a->FirstFrame > TAudioRecording::SampleRate);
        const double pace = double(b->Position - a->Position) / 1e7 /
                            (double(b->FirstFrame - a->FirstFrame) / TAudioRecording::SampleRate);
        QVERIFY2(std::abs(pace - rate) < 0.03, qPrintable(QString::number(pace)));
        // Pitch: in the middle of a media second its own tones are heard.
        const int64_t second = (a->Position / 10000000) + 1;
        const int64_t mid = FrameAtPosition(chunks, second * 10000000 + 5000000);
        QVERIFY(mid > 0);
        QCOMPARE(SecondAt(mid - TAudioRecording::SampleRate / 10), int(second));
        QCOMPARE(SecondAt(mid - TAudioRecording::SampleRate / 10, 1), int(second));

        // While paused the choice is neither applied nor stored.
        frm_->btnPauseClick(frm_->btnPause);
        frm_->cbRate->SetItemIndex(6);
        QCOMPARE(
            ReadIniText(frm_->SchedFileName, QStringLiteral("START"), QStringLiteral("cbRate")),
            QString::number(index));
    }
};

TAVRELO_E2E_MAIN(TestTransport)

#include "TestTransport.moc"
