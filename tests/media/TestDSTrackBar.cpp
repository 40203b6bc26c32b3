// TDSTrackBar bound to a real graph: the tick's report, its timer, and the
// seek on releasing the thumb.
#include "MediaTestKit.h"
#include "media/DSTrackBar.h"

#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

namespace {

// Exposes the slider's geometry, to press on its thumb.
class TTestTrackBar : public TDSTrackBar {
public:
    QPoint ThumbCentre() const {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        return style()
            ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this)
            .center();
    }
};

struct TReport {
    uint32_t Position, Duration;
};

} // namespace

class TestDSTrackBar : public QObject, TMediaFixture {
    Q_OBJECT

private:
    // A graph on `file`, paused at `ms`, with a bound 500 ms tracker.
    void Open(TFilterGraph& g, TTestTrackBar& bar, std::vector<TReport>& reports,
              const QString& file, int64_t ms) {
        bar.SetTimerInterval(500);
        bar.SetOnTimer([&reports](QObject*, uint32_t pos, uint32_t stop) {
            reports.push_back({pos, stop});
        });
        bar.SetFilterGraph(&g);
        bar.resize(243, 31);
        bar.show();
        QCOMPARE(RenderClip(g, file), S_OK);
        QVERIFY(g.Play());
        QVERIFY(g.Pause() || g.State() == gsPaused);
        QVERIFY(SUCCEEDED(SeekTo(g, ms)));
        QTRY_VERIFY_WITH_TIMEOUT(PositionMs(g) == ms, WaitMs);
        // Settled: what the seek still had to say moves the paused position
        // no more.
        QVERIFY(!QTest::qWaitFor([&] { return PositionMs(g) != ms; }, 100));
    }

private slots:
    void initTestCase() {
        StartMediaTests();
        MAKE_CLIP(MakeWavClip(Clip("long.wav"), 180, 8, 1, &clipError));
        MAKE_CLIP(MakeWavClip(Clip("tiny.wav"), 0.4, 16, 2, &clipError));
    }

    void tickReportsPositionAndDuration() {
        TFilterGraph g;
        TTestTrackBar bar;
        std::vector<TReport> reports;
        Open(g, bar, reports, "long.wav", 61700);
        reports.clear();
        bar.Tick();
        QCOMPARE(bar.Min(), 0);
        QCOMPARE(bar.Max(), 360);
        QCOMPARE(bar.Position(), 123);
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].Position, 61700u);
        QCOMPARE(reports[0].Duration, 180000u);
    }

    void timerRunsOnlyWhilePlaying() {
        TFilterGraph g;
        TTestTrackBar bar;
        std::vector<TReport> reports;
        Open(g, bar, reports, "long.wav", 1000);
        QVERIFY(!bar.TimerEnabled());
        QVERIFY(g.Play());
        QVERIFY(bar.TimerEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(reports.size() >= 2, WaitMs);
        QVERIFY(reports.back().Position >= 1000);
        QVERIFY(g.Pause());
        QVERIFY(!bar.TimerEnabled());
        const size_t paused = reports.size();
        // Over two intervals of the timer, none reports.
        QVERIFY(!QTest::qWaitFor([&] { return reports.size() != paused; }, 1200));
        QCOMPARE(reports.size(), paused);
        // A disabled control does not run its timer.
        bar.setEnabled(false);
        QVERIFY(g.Play());
        QVERIFY(!bar.TimerEnabled());
        bar.setEnabled(true);
        QVERIFY(g.Stop());
        QVERIFY(!bar.TimerEnabled());
        // Deactivation releases the seeking reference: ticks do nothing.
        g.SetActive(false);
        reports.clear();
        bar.Tick();
        QVERIFY(reports.empty());
    }

    void releaseSeeksWhereTheThumbIs() {
        TFilterGraph g;
        TTestTrackBar bar;
        std::vector<TReport> reports;
        Open(g, bar, reports, "long.wav", 61700);
        bar.Tick();
        bar.SetPosition(100);
        reports.clear();
        const QPoint thumb = bar.ThumbCentre();
        QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
        QVERIFY(bar.Dragging());
        // While dragging, ticks neither report nor move the thumb.
        bar.Tick();
        QVERIFY(reports.empty());
        QCOMPARE(bar.Position(), 100);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, thumb);
        QVERIFY(!bar.Dragging());
        // stop x 100 / 360 of 180000 ms.
        QTRY_VERIFY_WITH_TIMEOUT(PositionMs(g) == 50000, WaitMs);
        bar.Tick();
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].Position, 50000u);
        QCOMPARE(bar.Position(), 100);
    }

    void otherButtonsDoNotSeek() {
        TFilterGraph g;
        TTestTrackBar bar;
        std::vector<TReport> reports;
        Open(g, bar, reports, "long.wav", 61700);
        bar.Tick();
        bar.SetPosition(10);
        const QPoint thumb = bar.ThumbCentre();
        // A right release after a left press ends the drag without seeking.
        QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
        QVERIFY(bar.Dragging());
        QTest::mouseRelease(&bar, Qt::RightButton, {}, thumb);
        QVERIFY(!bar.Dragging());
        QVERIFY(!QTest::qWaitFor([&] { return PositionMs(g) != 61700; }, 200));
        QCOMPARE(PositionMs(g), 61700);
        QTest::mousePress(&bar, Qt::RightButton, {}, thumb);
        QVERIFY(!bar.Dragging());
    }

    void shortMediaSeeksNowhere() {
        TFilterGraph g;
        TTestTrackBar bar;
        std::vector<TReport> reports;
        Open(g, bar, reports, "tiny.wav", 300);
        bar.Tick();
        QCOMPARE(bar.Max(), 0);
        QCOMPARE(reports.back().Duration, 400u);
        const QPoint thumb = bar.ThumbCentre();
        QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, thumb);
        QVERIFY(!QTest::qWaitFor([&] { return PositionMs(g) != 300; }, 200));
        QCOMPARE(PositionMs(g), 300);
    }

    // The tracker answers a clock change by going to 0; the clock a new
    // graph's first run chooses is none, so a seek made while the graph is
    // still starting stands.
    void seekAfterStartIsNotUndone() {
        TFilterGraph g;
        TTestTrackBar bar;
        bar.SetTimerInterval(500);
        bar.SetFilterGraph(&g);
        QCOMPARE(RenderClip(g, "long.wav"), S_OK);
        QVERIFY(g.Play());
        QVERIFY(SUCCEEDED(SeekTo(g, 30000)));
        // Played on from there (from 0 it would take half a minute).
        QTRY_VERIFY_WITH_TIMEOUT(PositionMs(g) > 30300, WaitMs);
        QVERIFY2(PositionMs(g) < 40000, qPrintable(QString::number(PositionMs(g))));
    }

    void bindingFollowsTheGraph() {
        TTestTrackBar bar;
        {
            TFilterGraph g;
            bar.SetFilterGraph(&g);
            QCOMPARE(bar.FilterGraph(), &g);
        }
        // The graph went first: the binding is cleared.
        QVERIFY(!bar.FilterGraph());
        bar.Tick();
    }
};

QTEST_MAIN(TestDSTrackBar)
#include "TestDSTrackBar.moc"
