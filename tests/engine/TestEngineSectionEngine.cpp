// The section engine and its schedule on a fake graph in virtual time: no
// window, no X server, no media framework. Only the clock and the media are
// fake; the schedule is real and stored in a real file.
#include "engine/EngineClock.h"
#include "engine/PlaybackGraph.h"
#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "support/LoggingView.h"
#include "utPublic/utPublicCore.h"

#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <map>

namespace {

using GState = PlaybackGraph::State;
class FakeGraph;

// Virtual milliseconds: waits advance them and run what falls due meanwhile
// (the tracker's 500 ms tick while playing, the engine's timer, the end of
// the media, the test's scripted actions), in time order.
class VirtualClock : public EngineClock {
public:
    int64_t now = 0;
    std::multimap<int64_t, std::function<void()>> actions;
    FakeGraph* graph = nullptr;
    SectionEngine* engine = nullptr;
    int64_t NowMs() override { return now; }
    void Wait(int ms) override { AdvanceTo(now + ms); }
    void StartTimer(int ms, std::function<void()> fire) override {
        timerAt_ = now + ms;
        fire_ = std::move(fire);
    }
    void StopTimer() override { timerAt_ = -1; }
    void AdvanceTo(int64_t t);

private:
    int64_t timerAt_ = -1;
    int64_t nextTick_ = 500;
    std::function<void()> fire_;
};

// The media: a position that moves with the clock and the rate while
// playing; a seek lands seekMs later; an open takes openMs. Notes in log the
// rates set, with gaps the silence from a pause of the playing media to the
// sound of the next run, and a leak when the sound is on while a seek is
// still on its way (a buffer from before the target would be heard).
class FakeGraph : public PlaybackGraph {
public:
    VirtualClock* clock = nullptr;
    QStringList* log = nullptr;
    GState st = GState::None;
    int64_t duration = 0, base = 0, baseAt = 0, seekLandsAt = -1, silentSince = -1;
    int seekMs = 30, openMs = 300, volume = 10000;
    double rate = 1.0;
    bool frozen = false, eos = false, leak = false, audible = false, gaps = false;

    int64_t Pos() const {
        if (st != GState::Playing || frozen || clock->now < seekLandsAt)
            return base;
        return std::min(duration, base + int64_t(double(clock->now - baseAt) * rate));
    }
    int64_t EosAt() const {
        if (st != GState::Playing || frozen || eos)
            return INT64_MAX;
        return std::max(clock->now, seekLandsAt) + int64_t((duration - Pos()) / rate);
    }
    void Rebase() {
        base = Pos();
        baseAt = std::max(clock->now, seekLandsAt);
    }
    void CheckAudible() {
        const bool on = st == GState::Playing && volume > 0;
        if (on && !audible && SeekPending())
            leak = true;
        audible = on;
    }
    OpenResult Open(const QString&) override {
        st = GState::None;
        clock->Wait(openMs);
        st = GState::Paused;
        base = 0;
        eos = false;
        return {OpenStatus::Opened, {}};
    }
    void Play() override {
        Rebase(), st = GState::Playing, baseAt = std::max(clock->now, seekLandsAt), CheckAudible();
        if (gaps && silentSince >= 0)
            *log << QStringLiteral("g%1").arg(baseAt - silentSince);
        silentSince = -1;
    }
    void Pause() override {
        if (st == GState::Playing)
            silentSince = clock->now;
        Rebase(), st = GState::Paused, CheckAudible();
    }
    void Stop() override { st = GState::Stopped, base = 0, CheckAudible(); }
    GState GetState() const override { return st; }
    void Seek(int64_t ms) override {
        base = ms, eos = false, seekLandsAt = clock->now + seekMs, baseAt = seekLandsAt;
    }
    bool SeekPending() const override { return clock->now < seekLandsAt; }
    int64_t PositionMs() const override { return Pos(); }
    int64_t DurationMs() const override { return duration; }
    double Rate() const override { return rate; }
    void SetRate(double r) override {
        Rebase();
        if (std::abs(r - rate) > 1e-9)
            *log << QStringLiteral("v%1").arg(r, 0, 'f', 2);
        rate = r;
    }
    void SetVolume(int v) override { volume = v, CheckAudible(); }
    void SetSoundEnd(int64_t) override {}
    void End() { Rebase(), eos = true, emit EndOfMedia(); }
};

void VirtualClock::AdvanceTo(int64_t t) {
    for (;;) {
        const int64_t action = actions.empty() ? INT64_MAX : actions.begin()->first;
        const int64_t timer = timerAt_ < 0 ? INT64_MAX : timerAt_;
        const int64_t eos = graph->EosAt();
        const int64_t due = std::min({action, timer, eos, nextTick_});
        if (due > t)
            break;
        now = std::max(now, due);
        if (due == timer) {
            timerAt_ = -1;
            fire_();
        } else if (due == eos) {
            graph->End();
        } else if (due == action) {
            const auto f = actions.begin()->second;
            actions.erase(actions.begin());
            f();
        } else {
            nextTick_ += 500;
            if (graph->GetState() == GState::Playing)
                engine->Tick(graph->Pos(), graph->duration);
        }
    }
    now = std::max(now, t);
}

} // namespace

class TestEngineSectionEngine : public QObject {
    Q_OBJECT
private slots:
    void playsTheSchedule_data();
    void playsTheSchedule();
    void storesTheSchedule_data();
    void storesTheSchedule();
};

// sched: "m:ss*count" per row; opts: end mode and choices; script: "ms:command"
// run in virtual time; log: rN section entered, N notice, vR rate set, gMS
// silence heard between a pause of the playing media and its run (opts
// "gaps"), x exit, off power off, E error shown, R recovered (playback made
// afresh), @N the section playing when asked; file: counts in the schedule
// file afterwards.
void TestEngineSectionEngine::playsTheSchedule_data() {
    QTest::addColumn<QString>("sched");
    QTest::addColumn<int>("durationMs");
    QTest::addColumn<QString>("opts");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("runMs");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("file");
    const QString abc = QStringLiteral("0:00*3 0:02*1 0:04*2");
    QTest::newRow("counts A3 B1 C2, exit") << abc << 6000 << "exit"
                                           << "" << 30000 << "r1 N r1 N r1 r2 r3 N r3 x"
                                           << "3 1 2";
    QTest::newRow("count 0 or empty plays once") << "0:00*0 0:02*" << 4000 << "exit"
                                                 << "" << 9000 << "r1 r2 x"
                                                 << "";
    QTest::newRow("next start beyond the end: end mode with repeats left")
        << "0:00*1 0:02*3 0:09*1" << 6000 << "exit"
        << "" << 20000 << "r1 r2 x"
        << "";
    QTest::newRow("power off") << "0:00*1 0:02*2" << 4000 << "off"
                               << "" << 20000 << "r1 r2 N r2 off"
                               << "";
    QTest::newRow("power off refused: no stall stop at the end")
        << "0:00*1 0:02*1" << 4000 << "off offfail"
        << "" << 200000 << "r1 r2 off"
        << "";
    QTest::newRow("loop pass uses the counts left") << "0:00*2 0:02*1" << 4000 << "loop"
                                                    << "" << 11000 << "r1 N r1 r2 r1 r2"
                                                    << "";
    QTest::newRow("loop pass with loop counts") << "0:00*2 0:02*1" << 4000 << "loop loopcounts"
                                                << "" << 13500 << "r1 N r1 r2 r1 N r1 r2"
                                                << "";
    QTest::newRow("loop counts: a count typed, not saved, lasts one pass")
        << "0:00*2 0:02*1" << 4000 << "loop loopcounts"
        << "0:type2" << 17000 << "r1 N r1 r2 N r2 r1 N r1 r2 r1"
        << "";
    QTest::newRow("loop counts: a count typed and saved, every pass")
        << "0:00*2 0:02*1" << 4000 << "loop loopcounts"
        << "0:type2 0:save" << 19000 << "r1 N r1 r2 N r2 r1 N r1 r2 N r2"
        << "";
    QTest::newRow("error: stop, no end action") << abc << 6000 << "exit"
                                                << "1000:error" << 30000 << "r1 E"
                                                << "";
    QTest::newRow("stall that clears: recovered, the schedule goes on")
        << abc << 6000 << "exit"
        << "1000:freeze 7000:thaw" << 40000 << "r1 R N r1 N r1 r2 r3 N r3 x"
        << "";
    QTest::newRow("stall that stays: recovered 3 times, then stop, no end action")
        << abc << 6000 << "exit"
        << "1000:freeze" << 60000 << "r1 R R R E"
        << "";
    QTest::newRow("output lost: recovered where it stood")
        << abc << 6000 << "exit"
        << "1000:lost" << 30000 << "r1 R N r1 N r1 r2 r3 N r3 x"
        << "";
    QTest::newRow("output lost in a repeat pause: recovered after it")
        << abc << 6000 << "exit delay3000"
        << "3000:lost" << 40000 << "r1 N r1 R N r1 r2 r3 N r3 x"
        << "";
    QTest::newRow("output lost a 4th time within a minute: stop")
        << abc << 6000 << "exit"
        << "1000:lost 1500:lost 1800:lost 2500:lost" << 30000 << "r1 R R R E"
        << "";
    QTest::newRow("output lost 4 times, a minute apart: the schedule completes")
        << "0:00*1 1:00*1 2:00*1 3:00*1" << 200000 << "exit"
        << "1000:lost 61500:lost 122000:lost 182500:lost" << 400000 << "r1 R r2 R r3 R r4 R x"
        << "";
    QTest::newRow("slow seeks are no stall") << abc << 6000 << "exit seek3000"
                                             << "" << 60000 << "r1 N r1 N r1 r2 r3 N r3 x"
                                             << "";
    QTest::newRow("a repeat's pause runs while the seek decodes: chosen + 200 ms")
        << "0:00*2 0:02*1" << 4000 << "exit seek600 gaps"
        << "" << 20000 << "r1 N g700 r1 r2 x"
        << "";
    QTest::newRow("the picture held from a repeat's pause until it plays")
        << "0:00*2 0:02*1" << 4000 << "exit seek600 gaps holds"
        << "" << 20000 << "r1 N H g700 h r1 r2 x"
        << "";
    QTest::newRow("a seek slower than the pause: played as it lands")
        << "0:00*2 0:02*1" << 4000 << "exit seek2500 gaps"
        << "" << 20000 << "r1 N g2500 r1 r2 x"
        << "";
    QTest::newRow("next in a repeat's pause: the jump's own seek, no pause left")
        << "0:00*2 0:02*1 0:04*1" << 6000 << "exit delay3000 seek150 gaps"
        << "3000:next" << 30000 << "r1 N g750 r2 r3 x"
        << "";
    QTest::newRow("speed trainer: one step per repetition up to 1.00")
        << "0:00*5 0:01*1" << 3000 << "exit speed rate2"
        << "" << 30000 << "v0.80 r1 N v0.85 r1 N v0.90 r1 N v0.95 r1 N v1.00 r1 v0.80 r2 x"
        << "";
    QTest::newRow("mark here runs on into the mark, keeps stored counts")
        << "0:00*3 0:05*1" << 8000 << "exit"
        << "1500:mark" << 30000 << "r1 r2 r2 r3 x"
        << "3 1 1";
    QTest::newRow("mark before the playing section")
        << "0:00*1 0:03*1 0:06*2" << 9000 << "exit"
        << "3500:seek500 3600:mark" << 40000 << "r1 r2 r2 r4 N r4 x"
        << "1 1 1 2";
    QTest::newRow("next during a repeat pause ends it")
        << abc << 6000 << "exit delay3000"
        << "2500:next" << 30000 << "r1 N r2 r3 N r3 x"
        << "";
    QTest::newRow("two nexts in one wait: the latest wins")
        << abc << 6000 << "exit delay3000"
        << "2500:next 2510:next" << 30000 << "r1 N r3 N r3 x"
        << "";
    QTest::newRow("previous during a repeat pause")
        << "0:00*1 0:02*2 0:04*1" << 6000 << "exit delay3000"
        << "4500:previous" << 30000 << "r1 r2 N r1 r2 r3 x"
        << "";
    QTest::newRow("a section chosen while the file opens") << abc << 6000 << "exit"
                                                           << "100:n3" << 30000 << "r3 N r3 x"
                                                           << "";
    QTest::newRow("the repeating row deleted in its pause")
        << abc << 6000 << "exit delay3000"
        << "18000:del3" << 30000 << "r1 N r1 N r1 r2 r3 N x"
        << "";
    QTest::newRow("a row above the repeating one deleted: the same section repeats")
        << abc << 6000 << "exit delay3000"
        << "15000:del1" << 30000 << "r1 N r1 N r1 r2 r3 N r2 x"
        << "";
    QTest::newRow("a save sorts the playing row last: its repeats follow it")
        << abc << 6000 << "exit"
        << "1000:last1" << 30000 << "r1 N r3 N r3 x"
        << "";
    QTest::newRow("a count raised on the playing row: one play more")
        << "0:00*1 0:02*1 0:04*1" << 6000 << "exit"
        << "2500:plus2" << 30000 << "r1 r2 N r2 r3 x"
        << "";
    QTest::newRow("the next start moved later: the section plays on")
        << "0:00*1 0:02*1 0:05*1" << 6000 << "exit"
        << "1000:later2 3500:where" << 30000 << "r1 @1 r2 r3 x"
        << "";
}

void TestEngineSectionEngine::playsTheSchedule() {
    QFETCH(QString, sched);
    QFETCH(int, durationMs);
    QFETCH(QString, opts);
    QFETCH(QString, script);
    QFETCH(int, runMs);
    QFETCH(QString, log);
    QFETCH(QString, file);
    const QStringList o = opts.split(QLatin1Char(' '));
    auto opt = [&o](const QString& name, int def) {
        for (const QString& s : o)
            if (s.startsWith(name) && s.size() > name.size())
                return s.mid(name.size()).toInt();
        return def;
    };

    QTemporaryDir dir;
    const QString media = dir.filePath(QStringLiteral("dance.mp4"));
    const QString schedFile = dir.filePath(QStringLiteral("dancemp4.INI"));
    QFile m(media);
    QVERIFY(m.open(QIODevice::WriteOnly) && m.write("media") == 5);
    m.close();
    Schedule schedule;
    schedule.Load(schedFile); // none yet: one empty row
    const QStringList rows = sched.split(QLatin1Char(' '));
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList tc = rows[i].split(QLatin1Char('*'));
        schedule.InsertRow(i + 1,
                           {QString(), tc[1], "+", "-", tc[0], QStringLiteral("s%1").arg(i + 1)});
    }
    schedule.Save(schedFile);

    QStringList actual;
    VirtualClock clock;
    FakeGraph graph;
    graph.clock = &clock;
    graph.log = &actual;
    graph.duration = durationMs;
    graph.seekMs = opt(QStringLiteral("seek"), 30);
    graph.gaps = o.contains(QStringLiteral("gaps"));
    LoggingView view;
    view.Log = &actual;
    view.Holds = o.contains(QStringLiteral("holds"));
    if (o.contains(QStringLiteral("offfail")))
        view.OnEnd = [&](EndMode) {
            clock.Wait(120000); // the session manager asks for a password, then refuses
        };
    SectionEngine engine(schedule, graph, view, clock);
    QObject::connect(&engine, &SectionEngine::Recovered, [&] { actual << QStringLiteral("R"); });
    clock.graph = &graph;
    clock.engine = &engine;
    SectionEngine::Options options;
    options.End = o.contains(QStringLiteral("exit"))  ? EndMode::Exit
                  : o.contains(QStringLiteral("off")) ? EndMode::PowerOff
                                                      : EndMode::Loop;
    options.LoopCounts = o.contains(QStringLiteral("loopcounts"));
    options.SpeedUp = o.contains(QStringLiteral("speed"));
    options.RepeatPauseMs = opt(QStringLiteral("delay"), 500);
    options.Rates = {0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 1.00, 1.10, 1.20, 1.30};
    options.RateIndex = opt(QStringLiteral("rate"), 6);
    engine.SetOptions(options);
    engine.SetFile(media);

    const QHash<QString, std::function<void()>> commands = {
        {"error", [&] { emit graph.Error(QStringLiteral("decoder error")); }},
        {"freeze", [&] { graph.Rebase(), graph.frozen = true; }},
        {"thaw", [&] { graph.Rebase(), graph.frozen = false; }},
        {"lost", [&] { emit graph.OutputLost(QStringLiteral("output gone")); }},
        {"mark", [&] { engine.MarkHere(schedFile); }},
        {"next", [&] { engine.PlayNext(); }},
        {"previous", [&] { engine.PlayPrevious(); }},
        {"n3", [&] { engine.PlaySectionN(3); }},
        {"del1", [&] { schedule.RemoveRow(1); }},
        {"del3", [&] { schedule.RemoveRow(3); }},
        {"seek500", [&] { engine.SeekTo(500); }},
        // The count's "+" clicked and row 2's start typed as 0:04.
        {"plus2",
         [&] { schedule.SetCount(2, QString::number(StrToIntDef(schedule.Count(2), 0) + 1)); }},
        {"later2", [&] { schedule.SetCell(Schedule::ColTime, 2, QStringLiteral("00:04")); }},
        // Row 1's start typed as 0:05 and saved: the save sorts it last.
        {"last1",
         [&] {
             schedule.SetCell(Schedule::ColTime, 1, QStringLiteral("00:05"));
             schedule.Save(schedFile);
         }},
        {"where", [&] { actual << QStringLiteral("@%1").arg(engine.CurRow()); }},
        {"type2", [&] { schedule.SetCount(2, QStringLiteral("2")); }},
        {"save", [&] { schedule.Save(schedFile); }},
    };
    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList at = step.split(QLatin1Char(':'));
        QVERIFY2(commands.contains(at[1]), qPrintable(step));
        clock.actions.emplace(at[0].toInt(), commands[at[1]]);
    }
    clock.actions.emplace(0, [&] { engine.PlaySection(1, false); });
    clock.AdvanceTo(runMs);

    QCOMPARE(actual.join(QLatin1Char(' ')), log);
    QVERIFY2(!graph.leak, "sound was on before a seek had landed");
    if (!file.isEmpty()) {
        Schedule stored;
        stored.Load(schedFile);
        QStringList counts;
        for (int r = 1; r <= stored.RowCount(); ++r)
            counts << stored.Count(r);
        QCOMPARE(counts.join(QLatin1Char(' ')), file);
    }
}

// before: the file's "Sect" rows (Row0 first); op: what is done with the
// loaded table; after: the rows stored then.
void TestEngineSectionEngine::storesTheSchedule_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QStringList>("after");
    const QString head = QStringLiteral("序号^^播放^^加^^减^^时间点^^开播内容^^");
    QTest::newRow("save sorts time points as text")
        << QStringList{head, "  1^^1^^+^^-^^10:00^^a^^", "  2^^2^^+^^-^^2:30^^b^^",
                       "  3^^3^^+^^-^^100:00^^c^^"}
        << "save"
        << QStringList{head, "  1^^2^^+^^-^^02:30^^b^^", "  2^^3^^+^^-^^100:00^^c^^",
                       "  3^^1^^+^^-^^10:00^^a^^"};
    QTest::newRow("extra columns kept, a mark in a description cut")
        << QStringList{"a^^b^^c^^d^^e^^f^^g^^h^^", "1^^2^^+^^-^^00:01^^x^^y^^z^^w"} << "save"
        << QStringList{head + "g^^h^^", "  1^^2^^+^^-^^00:01^^x^^y^^z^^"};
    QTest::newRow("rows after a gap are not read")
        << QStringList{head, "  1^^1^^+^^-^^00:00^^a^^", "", "  3^^1^^+^^-^^00:09^^c^^"} << "save"
        << QStringList{head, "  1^^1^^+^^-^^00:00^^a^^"};
    QTest::newRow("a mark: used-up counts and unsaved edits stay unstored")
        << QStringList{head, "  1^^3^^+^^-^^00:00^^a^^", "  2^^2^^+^^-^^00:30^^b^^"}
        << "use edit mark"
        << QStringList{head, "  1^^3^^+^^-^^00:00^^a^^", "  2^^1^^+^^-^^00:10^^^^",
                       "  3^^2^^+^^-^^00:30^^b^^"};
    QTest::newRow("counts used up and saved")
        << QStringList{head, "  1^^3^^+^^-^^00:00^^a^^", "  2^^2^^+^^-^^00:30^^b^^"} << "use save"
        << QStringList{head, "  1^^0^^+^^-^^00:00^^a^^", "  2^^0^^+^^-^^00:30^^b^^"};
    QTest::newRow("stored counts come back for a loop pass")
        << QStringList{head, "  1^^3^^+^^-^^00:00^^a^^", "  2^^2^^+^^-^^00:30^^b^^"}
        << "use restore save"
        << QStringList{head, "  1^^3^^+^^-^^00:00^^a^^", "  2^^2^^+^^-^^00:30^^b^^"};
}

void TestEngineSectionEngine::storesTheSchedule() {
    QFETCH(QStringList, before);
    QFETCH(QString, op);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("aINI.INI"));
    for (int i = 0; i < before.size(); ++i)
        if (!before[i].isEmpty())
            WriteIniStr(file, kScheduleSection, QStringLiteral("Row%1").arg(i), before[i]);
    Schedule s;
    s.Load(file);
    for (const QString& step : op.split(QLatin1Char(' '))) {
        if (step == QLatin1String("use"))
            for (int r = 1; r <= s.RowCount(); ++r)
                s.SetCount(r, QStringLiteral("0"));
        else if (step == QLatin1String("edit"))
            s.SetCell(Schedule::ColDescription, 2, QStringLiteral("B"));
        else if (step == QLatin1String("mark"))
            Schedule::StoreMarkedRow(file, QStringLiteral("00:10"));
        else if (step == QLatin1String("restore"))
            s.RestoreStoredCounts();
        else
            s.Save(file);
    }
    // The lines as written: the INI layer trims the blanks of a value it reads.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList stored;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("Row"))
            stored << QString::fromUtf8(line.mid(line.indexOf('=') + 1));
    QCOMPARE(stored, after);
}

QTEST_GUILESS_MAIN(TestEngineSectionEngine)
#include "TestEngineSectionEngine.moc"
