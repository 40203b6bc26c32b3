// The follower applying a leader's states, on a fake graph and a fake
// shared clock in virtual time (ms); the media files are real, so that
// finding them by size and hash is too.
#include "engine/EngineClock.h"
#include "engine/PlaybackGraph.h"
#include "engine/SyncGraph.h"
#include "support/HostileLeader.h"
#include "support/LoggingView.h"
#include "sync/SyncFollower.h"
#include "sync/SyncLink.h"

#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <map>

namespace {

using GState = PlaybackGraph::State;

class VirtualClock : public EngineClock {
public:
    int64_t now = 0;
    std::multimap<int64_t, std::function<void()>> actions;
    int64_t NowMs() override { return now; }
    void Wait(int ms) override { AdvanceTo(now + ms); }
    void StartTimer(int ms, std::function<void()> fire) override {
        timerAt_ = now + ms;
        fire_ = std::move(fire);
    }
    void StopTimer() override { timerAt_ = -1; }
    void AdvanceTo(int64_t t) {
        for (;;) {
            const int64_t action = actions.empty() ? INT64_MAX : actions.begin()->first;
            const int64_t timer = timerAt_ < 0 ? INT64_MAX : timerAt_;
            const int64_t due = std::min(action, timer);
            if (due > t)
                break;
            now = std::max(now, due);
            if (due == timer) {
                timerAt_ = -1;
                fire_();
            } else {
                const auto f = actions.begin()->second;
                actions.erase(actions.begin());
                f();
            }
        }
        now = std::max(now, t);
    }

private:
    int64_t timerAt_ = -1;
    std::function<void()> fire_;
};

// Media and shared clock in one: the clock is the virtual one (ms -> ns)
// once synced; a run set by PlayAt moves the position from its start time
// on. Logs: open, sN (seek), aN (run at clock ms N), pN (paused at N), vR.
class FakeGraph : public PlaybackGraph, public SyncGraph {
public:
    VirtualClock* clock = nullptr;
    QStringList* log = nullptr;
    GState st = GState::None;
    int64_t pos = 0, runAt = 0, seekLandsAt = -1, syncedAt = 0;
    double rate = 1.0;
    int volume = 0;

    int64_t Pos() const {
        if (st != GState::Playing || clock->now < runAt)
            return pos;
        return pos + int64_t(double(clock->now - runAt) * rate);
    }
    OpenResult Open(const QString&) override {
        *log << QStringLiteral("open");
        clock->Wait(100);
        st = GState::Paused, pos = 0;
        return {OpenStatus::Opened, {}};
    }
    void Play() override { st = GState::Playing, runAt = clock->now; }
    void Pause() override {
        if (st == GState::Playing)
            *log << QStringLiteral("p%1").arg(clock->now);
        pos = Pos(), st = GState::Paused;
    }
    void Stop() override { st = GState::Stopped; }
    GState GetState() const override { return st; }
    void Seek(int64_t ms) override {
        *log << QStringLiteral("s%1").arg(ms);
        pos = ms, seekLandsAt = clock->now + 30;
    }
    bool SeekPending() const override { return clock->now < seekLandsAt; }
    int64_t PositionMs() const override { return Pos(); }
    int64_t DurationMs() const override { return 600000; }
    double Rate() const override { return rate; }
    void SetRate(double r) override {
        *log << QStringLiteral("v%1").arg(r, 0, 'f', 2);
        rate = r;
    }
    void SetVolume(int v) override { volume = v; }
    void SetSoundEnd(int64_t) override {}

    bool LeadClock(const QString&, uint16_t*, QString*) override { return true; }
    void FollowClock(const QString&, uint16_t) override {}
    void ClockAlone() override {}
    std::optional<int64_t> ClockNowNs() const override {
        return clock->now >= syncedAt ? std::optional<int64_t>(clock->now * 1000000) : std::nullopt;
    }
    std::optional<Mapping> ClockMapping() const override {
        if (st != GState::Playing || clock->now < runAt)
            return std::nullopt;
        return Mapping{clock->now * 1000000, Pos() * 1000000};
    }
    bool PlayAt(int64_t clockNs) override {
        *log << QStringLiteral("a%1").arg(clockNs / 1000000);
        st = GState::Playing, runAt = clockNs / 1000000;
        return true;
    }
};

} // namespace

class TestSyncFollower : public QObject {
    Q_OBJECT
private slots:
    void followsTheLeader_data();
    void followsTheLeader();
    void readsOnlyValidStates_data();
    void readsOnlyValidStates();

private:
    void MeetsLeader(const QByteArray& text, bool read, const QString& leader);
};

// script: "ms:event" in virtual time. run<pos>[+ahead][@rate][/end<ms>] (the
// leader runs: pos ms heard now, or ahead ms from now), hold, hold<countdown> (with the notice),
// idle, endx / endoff (the leader exits / powers off), lost, other (a media this player lacks),
// section<n>. opts: own end mode, "sync<ms>" (the shared clock found at), "renamed" (the media
// under another name here), "latency<ms>" (this screen's offset).
void TestSyncFollower::followsTheLeader_data() {
    QTest::addColumn<QString>("opts");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("log");
    QTest::newRow("joins a run: seeks ahead by the margin, runs at the leader's moment")
        << "exit"
        << "0:run1000 500:run1500 1000:run2000"
        << "open s1500 a500 S:follow";
    QTest::newRow("a late join lands on the leader's present") << "exit"
                                                               << "0:run61000"
                                                               << "open s61500 a500 S:follow";
    QTest::newRow("media under another name, found by size and hash") << "exit renamed"
                                                                      << "0:run1000"
                                                                      << "open s1500 a500 S:follow";
    QTest::newRow("a repeat: held with the notice and countdown, then back on the line")
        << "exit"
        << "0:run1000 2000:hold3 3000:hold2 4000:run2000"
        << "open s1500 a500 S:follow p2000 N c3 N c2 s2400 a4400";
    QTest::newRow("a seek or pause on the leader moves the follower")
        << "exit"
        << "0:run1000 2000:run9000 3000:hold 4000:run500"
        << "open s1500 a500 S:follow p2000 s9400 a2400 p3000 s900 a4400";
    QTest::newRow("a rate change to 0.80") << "exit"
                                           << "0:run1000 2000:run3000@0.8"
                                           << "open s1500 a500 S:follow p2000 v0.80 s3320 a2400";
    QTest::newRow("sections followed") << "exit"
                                       << "0:section2 10:run1000 2000:section3"
                                       << "open r2 s1490 a500 S:follow r3";
    QTest::newRow("waits for the shared clock") << "exit sync700"
                                                << "0:run1000"
                                                << "open S:connect s2100 a1100 S:follow";
    QTest::newRow("leader exits: the follower's own end mode")
        << "exit"
        << "0:run1000 2000:endx"
        << "open s1500 a500 S:follow p2000 S:ended x";
    QTest::newRow("leader powers off, follower exits: never powers off")
        << "exit"
        << "0:run1000 2000:endoff"
        << "open s1500 a500 S:follow p2000 S:ended x";
    QTest::newRow("leader ends, follower loops: waits for it")
        << "loop"
        << "0:run1000 2000:endx 5000:run0"
        << "open s1500 a500 S:follow p2000 S:ended s400 a5400 S:follow";
    QTest::newRow("lost: plays to the section's end, holds, rejoins")
        << "exit"
        << "0:run1000/end4000 1000:lost 6000:run9000/end12000"
        << "open s1500 a500 S:follow S:lost p3000 s9400 a6400 S:follow";
    QTest::newRow("lost while seeking for a start: held, not started on the lost word")
        << "exit"
        << "0:hold 1000:run5000+250 1010:lost"
        << "open S:follow s5000 S:lost";
    QTest::newRow("lost while held: stays held") << "exit"
                                                 << "0:run1000 1000:hold 1500:lost"
                                                 << "open s1500 a500 S:follow p1000 S:lost";
    QTest::newRow("media missing: says so, holds, plays once it is the leader's again")
        << "exit"
        << "0:other 1000:run1000"
        << "S:missing open s1500 a1500 S:follow";
    QTest::newRow("a start announced ahead: met at its own time and position")
        << "exit"
        << "0:hold 1000:run5000+250 3000:hold 4000:run2000+250"
        << "open S:follow s5000 a1250 p3000 s2000 a4250";
    QTest::newRow("a start announced too near: joined by the margin, said until one is met")
        << "exit"
        << "0:hold 1000:run5000+40"
        << "open S:follow s5000 s5390 a1430 missed";
    QTest::newRow("a missed start, then the next one met")
        << "exit"
        << "0:hold 1000:run5000+40 3000:hold 4000:run2000+250"
        << "open S:follow s5000 s5390 a1430 p3000 s2000 a4250";
    QTest::newRow("a latency offset of +40 ms: the whole line 40 ms later")
        << "exit latency40"
        << "0:run1000 1000:hold 2000:run5000+250"
        << "open s1460 a500 S:follow p1000 s5000 a2290";
    QTest::newRow("a latency offset of -40 ms: the whole line 40 ms earlier")
        << "exit latency-40"
        << "0:run1000 1000:hold 2000:run5000+250"
        << "open s1540 a500 S:follow p1000 s5000 a2210";
    QTest::newRow("a newer state arriving in the seek's wait wins")
        << "exit"
        << "0:run1000 110:run5000"
        << "open s1500 s5400 a510 S:follow";
}

void TestSyncFollower::followsTheLeader() {
    QFETCH(QString, opts);
    QFETCH(QString, script);
    QFETCH(QString, log);
    QTemporaryDir dir;
    auto write = [&dir](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    };
    // Two MiB and a bit: the hash reads the first and the last MiB.
    const QByteArray media = QByteArray(2 * 1024 * 1024 + 7, 'm') + "end";
    QVERIFY(write(QStringLiteral("dance.mp4"), media));
    QVERIFY(write(QStringLiteral("other.mp4"), QByteArray(media).replace("end", "END")));
    SyncFileId id = SyncFileId::Of(dir.filePath(QStringLiteral("dance.mp4")));
    const SyncFileId other = SyncFileId::Of(dir.filePath(QStringLiteral("other.mp4")));
    QVERIFY(id.Valid() && other.Valid() && !id.SameMedia(other));
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("other.mp4"))));
    if (opts.contains(QStringLiteral("renamed")))
        id.Name = QStringLiteral("leaders-name.mp4");

    QStringList actual;
    VirtualClock clock;
    FakeGraph graph;
    graph.clock = &clock;
    graph.log = &actual;
    for (const QString& o : opts.split(QLatin1Char(' ')))
        if (o.startsWith(QStringLiteral("sync")))
            graph.syncedAt = o.mid(4).toInt();
    LoggingView view;
    view.Log = &actual;
    view.Countdown = true;
    SyncFollower follower(graph, graph, view, clock);
    follower.SetLeader(QStringLiteral("127.0.0.1"));
    SyncFollower::Options options;
    options.End = opts.contains(QStringLiteral("loop")) ? EndMode::Loop : EndMode::Exit;
    options.Folders = {dir.path()};
    for (const QString& o : opts.split(QLatin1Char(' ')))
        if (o.startsWith(QStringLiteral("latency")))
            options.LatencyOffsetMs = o.mid(7).toInt();
    follower.SetOptions(options);
    connect(&follower, &SyncFollower::StatusChanged, this, [&](SyncFollower::Status s) {
        static const char* names[] = {"idle", "connect", "follow", "missing",
                                      "lost", "ended",   "failed"};
        actual << QStringLiteral("S:") + QLatin1String(names[int(s)]);
    });

    SyncState state;
    state.File = id;
    state.ClockPort = 40000;
    state.PlayState = SyncState::Play::Hold;
    for (const QString& step : script.split(QLatin1Char(' '))) {
        const int colon = step.indexOf(QLatin1Char(':'));
        const int64_t at = step.left(colon).toLongLong();
        const QString e = step.mid(colon + 1);
        clock.actions.emplace(at, [&, at, e] {
            SyncState s = state;
            s.File = id;
            s.Notice = false;
            s.Countdown = 0;
            if (e.startsWith(QStringLiteral("run"))) {
                const QStringList parts =
                    e.mid(3).split(QRegularExpression(QStringLiteral("[@/]")));
                // run<pos>+<ms>: a start announced that far ahead.
                const QStringList ahead = parts[0].split(u'+');
                s.PlayState = SyncState::Play::Run;
                s.ClockNs = (at + (ahead.size() > 1 ? ahead[1].toLongLong() : 0)) * 1000000;
                s.PositionNs = ahead[0].toLongLong() * 1000000;
                s.Rate = e.contains(u'@') ? parts[1].toDouble() : 1.0;
                s.SectionEndMs = e.contains(u'/') ? parts.last().mid(3).toLongLong() : 0;
            } else if (e.startsWith(QStringLiteral("hold"))) {
                s.PlayState = SyncState::Play::Hold;
                s.Notice = e.size() > 4;
                s.Countdown = e.mid(4).toInt();
            } else if (e.startsWith(QStringLiteral("section"))) {
                s.Section = e.mid(7).toInt();
            } else if (e == QLatin1String("endx") || e == QLatin1String("endoff")) {
                s.PlayState = SyncState::Play::Ended;
                s.End = e == QLatin1String("endx") ? EndMode::Exit : EndMode::PowerOff;
            } else if (e == QLatin1String("other")) {
                s.File = other;
            } else if (e == QLatin1String("lost")) {
                follower.Lost();
                return;
            }
            s.Seq = state.Seq + 1;
            state = s;
            follower.Apply(s);
        });
    }
    clock.AdvanceTo(20000);
    if (follower.MissedStart())
        actual << QStringLiteral("missed");
    QCOMPARE(actual.join(QLatin1Char(' ')), log);
}

// What reaches a follower from the network: only a whole, valid state is
// read; anything else is refused whole (the follower keeps the last one).
// leader: how a leader on 127.0.0.1 misbehaves toward the follower's link
// (text its first message); empty: the text is only read.
void TestSyncFollower::readsOnlyValidStates_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("leader");
    const QByteArray hash(64, 'a');
    auto state = [&hash](const QByteArray& field, const QByteArray& value) {
        QByteArray t =
            R"({"v":1,"seq":7,"play":"run","file":{"name":"dance.mp4","size":12,"hash":")" + hash +
            R"("},"section":2,"repeat":1,"of":3,"sectionEnd":8000,"line":"2  a  1 / 3",)"
            R"("notice":false,"countdown":0,"clock":5,"pos":6,"rate":1,"end":"exit",)"
            R"("clockPort":40000})";
        if (field.isEmpty())
            return t;
        const int at = t.indexOf('"' + field + "\":");
        const int end = field == "file" ? t.indexOf('}', at) + 1 : t.indexOf(',', at);
        return t.replace(at, end - at, '"' + field + "\":" + value);
    };
    QTest::newRow("valid") << state({}, {}) << true << QString();
    QTest::newRow("not JSON") << QByteArray("{\"v\":1,") << false << QString();
    QTest::newRow("an array") << QByteArray("[1,2]") << false << QString();
    QTest::newRow("too large") << state("line", '"' + QByteArray(3000, 'x') + '"') << false
                               << QString();
    QTest::newRow("line too long")
        << state("line", '"' + QByteArray(201, 'x') + '"') << false << QString();
    QTest::newRow("unknown field")
        << QByteArray(state({}, {})).replace("\"v\":1", "\"w\":1") << false << QString();
    QTest::newRow("field missing")
        << QByteArray(state({}, {})).replace("\"v\":1,", "") << false << QString();
    QTest::newRow("other version") << state("v", "2") << false << QString();
    QTest::newRow("a path for a name")
        << state("file", R"({"name":"../../etc/passwd","size":12,"hash":")" + hash + R"("})")
        << false << QString();
    QTest::newRow("hash not hex") << state("file", R"({"name":"a.mp4","size":12,"hash":")" +
                                                       QByteArray(64, 'z') + R"("})")
                                  << false << QString();
    QTest::newRow("running without a file") << state("file", "{}") << false << QString();
    QTest::newRow("running without a clock") << state("clockPort", "0") << false << QString();
    QTest::newRow("rate 0") << state("rate", "0") << false << QString();
    QTest::newRow("rate 100") << state("rate", "100") << false << QString();
    QTest::newRow("rate beyond a double") << state("rate", "1e400") << false << QString();
    QTest::newRow("negative clock") << state("clock", "-5") << false << QString();
    QTest::newRow("clock beyond exact") << state("clock", "1e300") << false << QString();
    QTest::newRow("section not whole") << state("section", "2.5") << false << QString();
    QTest::newRow("section as text") << state("section", "\"2\"") << false << QString();
    QTest::newRow("unknown play") << state("play", "\"poweroff\"") << false << QString();
    QTest::newRow("unknown end") << state("end", "\"reboot\"") << false << QString();
    QTest::newRow("port beyond range") << state("clockPort", "70000") << false << QString();
    QTest::newRow("a redirect for the pairing: not followed")
        << QByteArray() << false << "redirects pairing";
    QTest::newRow("a redirect for /sync: not followed")
        << QByteArray() << false << "redirects sync";
    QTest::newRow("a second leader never gets the first one's cookie")
        << state({}, {}) << true << "pairs, then another";
    QTest::newRow("its last word before it goes: handed on before the loss, never after")
        << state({}, {}) << true << "says its last word and goes";
    QTest::newRow("a handshake never answered: given up, tried again")
        << QByteArray() << false << "never answers";
    QTest::newRow("a flood of pings: the latest answered, none queued")
        << state({}, {}) << true << "floods pings";
    QTest::newRow("a flood of states: the newest, one every 50 ms at most")
        << state({}, {}) << true << "floods states";
}

void TestSyncFollower::readsOnlyValidStates() {
    QFETCH(QByteArray, text);
    QFETCH(bool, read);
    QFETCH(QString, leader);
    if (!leader.isEmpty())
        return MeetsLeader(text, read, leader);
    QString why;
    const std::optional<SyncState> s = SyncMessage::Decode(text, &why);
    QVERIFY2(s.has_value() == read, qPrintable(why));
    if (read)
        QCOMPARE(SyncMessage::Encode(*SyncMessage::Decode(SyncMessage::Encode(*s))),
                 SyncMessage::Encode(*s));
}

void TestSyncFollower::MeetsLeader(const QByteArray& text, bool read, const QString& leader) {
    using Answer = HostileLeader::Answer;
    using Trouble = SyncLink::Trouble;
    HostileLeader h;
    h.Pairing = leader == QLatin1String("redirects pairing") ? Answer::Redirect : Answer::Yes;
    h.Handshake = leader == QLatin1String("redirects sync")  ? Answer::Redirect
                  : leader == QLatin1String("never answers") ? Answer::Never
                                                             : Answer::Yes;
    h.ReadsPongs = !leader.contains(QStringLiteral("pings"));
    h.Leaves = leader.endsWith(QStringLiteral("goes"));
    if (!text.isEmpty())
        h.Messages << text;
    SyncLink link;
    QList<SyncState> handed;
    QStringList said; // s: a state handed on, lost: the loss
    connect(&link, &SyncLink::StateReceived, this, [&](const SyncState& s) {
        handed << s;
        said << QStringLiteral("s");
    });
    connect(&link, &SyncLink::Lost, this, [&] { said << QStringLiteral("lost"); });
    link.Start(QStringLiteral("127.0.0.1"), h.Port(), QStringLiteral("123456"));
    if (read)
        QVERIFY(QTest::qWaitFor([&] { return !handed.isEmpty(); }));

    if (leader.startsWith(QStringLiteral("redirects"))) {
        QVERIFY(QTest::qWaitFor([&] { return link.LastTrouble() == Trouble::Redirected; }));
        // Neither the PIN nor the session went anywhere else, and the
        // leader is asked again only after a while.
        QCOMPARE(h.StolenConnections, 0);
        QCOMPARE(h.PairRequests, 1);
        QVERIFY(!link.IsConnected() && link.RetryInMs() > SyncLink::kRetryMs);
    } else if (leader == QLatin1String("pairs, then another")) {
        HostileLeader other;
        link.Start(QStringLiteral("127.0.0.1"), other.Port(), QStringLiteral("123456"));
        QVERIFY(QTest::qWaitFor([&] { return link.IsConnected(); }));
        QVERIFY(h.PairHeads.contains("Cookie") == false);
        QVERIFY2(!other.PairHeads.contains("tavrelo_session"), other.PairHeads.constData());
    } else if (leader == QLatin1String("says its last word and goes")) {
        QVERIFY(QTest::qWaitFor([&] { return said.contains(QStringLiteral("lost")); }));
        QCOMPARE(said.join(u' '), QStringLiteral("s lost"));
    } else if (leader == QLatin1String("never answers")) {
        QVERIFY(QTest::qWaitFor([&] { return link.LastTrouble() == Trouble::NoAnswer; },
                                SyncLink::kHandshakeMs * 3));
        QVERIFY(link.RetryInMs() > 0);
        QVERIFY(QTest::qWaitFor([&] { return h.SyncRequests == 2; }, SyncLink::kHandshakeMs * 3));
        QCOMPARE(link.LastTrouble(), Trouble::NoAnswer);
    } else if (leader == QLatin1String("floods pings")) {
        // The leader reads nothing meanwhile: answers kept for it would
        // pile up in this player.
        constexpr int kPings = 500000;
        // Its states go on meanwhile, every half second as a leader's do.
        SyncState beat = handed.first();
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            beat.Seq += 1;
            h.Send(0x1, SyncMessage::Encode(beat));
        });
        heartbeat.start(500);
        h.Start(HostileLeader::Flood::Pings);
        QVERIFY(QTest::qWaitFor([&] { return h.Flooded >= kPings; }, 60000));
        h.StopFlood();
        h.Send(0x9, "last");
        h.ReadPongs();
        QVERIFY(QTest::qWaitFor([&] { return h.LastPong == "last"; }, 20000));
        QVERIFY2(h.Pongs <= kPings / 100, qPrintable(QString::number(h.Pongs)));
        QVERIFY(link.IsConnected());
    } else if (leader == QLatin1String("floods states")) {
        constexpr int kStates = 400;
        QElapsedTimer flood;
        flood.start();
        const qsizetype before = handed.size();
        // One state a pass of the event loop, as a leader sending as fast
        // as it can to a follower that keeps up.
        h.FloodState = handed.first();
        h.Batch = 1;
        h.Start(HostileLeader::Flood::States);
        QVERIFY(QTest::qWaitFor([&] { return h.Flooded >= kStates; }, 60000));
        h.StopFlood();
        // The newest is handed on; of the rest, one every 50 ms at most.
        QVERIFY(QTest::qWaitFor([&] { return handed.last().Seq == h.FloodState.Seq; }));
        const qsizetype most = flood.elapsed() / SyncLink::kHandOnMs + 2;
        QVERIFY2(handed.size() - before <= most,
                 qPrintable(QStringLiteral("%1 of %2").arg(handed.size() - before).arg(most)));
        QVERIFY(link.IsConnected());
    } else {
        QFAIL("unknown leader");
    }
}

QTEST_GUILESS_MAIN(TestSyncFollower)
#include "TestSyncFollower.moc"
