// A follower against a noisy leader: the control window following a
// hostile leader on 127.0.0.1 (another process: this program in the role
// "hostile"), which pairs it, sends it a state every half second as a
// leader does, and then, in turn, nothing more (the quiet side, for the
// ratios), a 10 s flood of pings, and a 15 s flood of states (held,
// replay notice and countdown changing with every one), each as fast as the
// loopback takes them. Measured in the player over each flood: its resident
// memory's growth (peak over the level when the flood started), how long a
// key and a click take to be answered (each posted to the window every
// 100 ms from another thread, as the window system hands them on, until the
// window's event filter sees it), its CPU, and how many states it applied.
//
//   bench_follower_floods
//   bench_follower_floods hostile <none|pings|states> <seconds> <name> <size> <hash>
#include "../../tests/e2e/PlayerKit.h"
#include "../BenchKit.h"

#include "support/HostileLeader.h"
#include "sync/SyncLink.h"
#include "uFrmMainSync.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

const QString kPin = QStringLiteral("246810");

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t RssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The hostile leader: pairs, opens /sync, sends a state every 500 ms; 3 s
// after /sync opened floods for `seconds` ("flood" and "done <frames>" on
// stdout at its start and end).
int Hostile(const QStringList& a) {
    HostileLeader h;
    const HostileLeader::Flood flood = a[0] == QLatin1String("pings") ? HostileLeader::Flood::Pings
                                       : a[0] == QLatin1String("states")
                                           ? HostileLeader::Flood::States
                                           : HostileLeader::Flood::None;
    const int seconds = a[1].toInt();
    SyncState s;
    s.PlayState = SyncState::Play::Hold;
    s.File.Name = a[2];
    s.File.Size = a[3].toLongLong();
    s.File.Hash = a[4].toLatin1();
    s.Section = 1;
    s.Line = QStringLiteral("1  flood");
    s.Seq = 1;
    h.FloodState = s;
    h.Messages << SyncMessage::Encode(s);
    std::printf("%d\n", h.Port());
    std::fflush(stdout);
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&h] {
        h.FloodState.Seq += 1;
        h.Send(0x1, SyncMessage::Encode(h.FloodState));
    });
    heartbeat.start(500);
    QTimer opened;
    QObject::connect(&opened, &QTimer::timeout, [&] {
        if (h.SyncRequests == 0)
            return;
        opened.stop();
        QTimer::singleShot(3000, [&] {
            std::printf("flood\n");
            std::fflush(stdout);
            h.Start(flood);
            QTimer::singleShot(seconds * 1000, [&] {
                h.StopFlood();
                std::printf("done %lld\n", static_cast<long long>(h.Flooded));
                std::fflush(stdout);
            });
        });
    });
    opened.start(50);
    return QCoreApplication::exec();
}

// A key or a click posted with the time it was posted.
struct TStamped {
    int64_t PostedNs = 0;
};
class TStampedKey : public QKeyEvent, public TStamped {
public:
    // The keyboard as the window system names it (taken in the main thread).
    static inline const QInputDevice* Keyboard = nullptr;
    TStampedKey()
        : QKeyEvent(QEvent::KeyPress, Qt::Key_F35, Qt::NoModifier, 0, 0, 0, QString(), false, 1,
                    Keyboard) {
        PostedNs = NowNs();
    }
};
class TStampedClick : public QMouseEvent, public TStamped {
public:
    // The mouse as the window system names it (taken in the main thread).
    static inline const QPointingDevice* Mouse = nullptr;
    explicit TStampedClick(Type t)
        : QMouseEvent(t, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                      t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier,
                      Mouse) {
        PostedNs = NowNs();
    }
};

// Answers seen by the window's event filter.
class TAnswers : public QObject {
public:
    QObject* Target = nullptr;
    std::vector<double> KeyMs, ClickMs;

    bool eventFilter(QObject* o, QEvent* e) override {
        if (o != Target)
            return false;
        if (auto* k = dynamic_cast<TStampedKey*>(e)) {
            KeyMs.push_back(double(NowNs() - k->PostedNs) / 1e6);
            return true;
        }
        if (auto* c = dynamic_cast<TStampedClick*>(e)) {
            if (e->type() == QEvent::MouseButtonRelease)
                ClickMs.push_back(double(NowNs() - c->PostedNs) / 1e6);
            return true;
        }
        return false;
    }
};

struct TFigures {
    double GrowthMb = 0, KeyMedian = 0, KeyP99 = 0, KeyWorst = 0, ClickMedian = 0, ClickP99 = 0,
           ClickWorst = 0, Cpu = 0;
    int Applied = 0;
    long long Frames = 0;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}
double Median(const std::vector<double>& v) {
    return Percentile(v, 0.5);
}
double Worst(const std::vector<double>& v) {
    return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

TFigures Run(TFrmMain& frm, const QString& flood, int seconds, const SyncFileId& id) {
    TFigures f;
    QProcess leader;
    leader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    leader.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("hostile"), flood, QString::number(seconds), id.Name,
                  QString::number(id.Size), QString::fromLatin1(id.Hash)});
    QByteArray out;
    auto line = [&](const QByteArray& start) {
        WaitUntil(
            [&] {
                out += leader.readAllStandardOutput();
                return out.contains('\n');
            },
            60000);
        const int end = out.indexOf('\n');
        const QByteArray l = out.left(end);
        out.remove(0, end + 1);
        return l.startsWith(start) ? l : QByteArray();
    };
    const int port = line("").toInt();
    TFrmMainSync& sync = *frm.Sync;
    sync.chkFollow->setChecked(false);
    // The last run's link gone first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sync.edFollowAddress->setText(QStringLiteral("127.0.0.1:%1").arg(port));
    sync.edFollowPin->setText(kPin);
    sync.chkFollow->setChecked(true);
    const QList<SyncLink*> links = sync.findChildren<SyncLink*>();
    if (links.isEmpty())
        return f;
    SyncLink* link = links.last();
    QObject::connect(link, &SyncLink::StateReceived, [&f] { ++f.Applied; });

    TAnswers answers;
    answers.Target = sync.lbSync;
    qApp->installEventFilter(&answers);
    if (line("flood").isEmpty())
        return f;
    f.Applied = 0;
    const int64_t rss0 = RssKb();
    std::atomic<int64_t> peak{rss0};
    std::atomic<bool> stop{false};
    QObject* target = sync.lbSync;
    std::thread poster([&] {
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
            QCoreApplication::postEvent(target, new TStampedKey);
            QCoreApplication::postEvent(target, new TStampedClick(QEvent::MouseButtonPress));
            QCoreApplication::postEvent(target, new TStampedClick(QEvent::MouseButtonRelease));
            peak = std::max<int64_t>(peak, RssKb());
        }
    });
    const double cpu0 = ProcessCpuSeconds(getpid());
    const int64_t t0 = NowNs();
    const QByteArray done = line("done");
    const double cpu1 = ProcessCpuSeconds(getpid());
    const int64_t t1 = NowNs();
    stop = true;
    poster.join();
    WaitUntil([] { return false; }, 300); // the last posted ones answered
    qApp->removeEventFilter(&answers);
    f.GrowthMb = double(peak - rss0) / 1024;
    f.KeyMedian = Median(answers.KeyMs);
    f.KeyP99 = Percentile(answers.KeyMs, 0.99);
    f.KeyWorst = Worst(answers.KeyMs);
    f.ClickMedian = Median(answers.ClickMs);
    f.ClickP99 = Percentile(answers.ClickMs, 0.99);
    f.ClickWorst = Worst(answers.ClickMs);
    f.Cpu = (cpu1 - cpu0) / (double(t1 - t0) / 1e9) * 100;
    f.Frames = done.mid(5).toLongLong();
    sync.chkFollow->setChecked(false);
    leader.kill();
    leader.waitForFinished(5000);
    return f;
}

void Print(const char* what, const TFigures& f) {
    std::printf("  %-20s memory %+5.1f MB  key %5.1f / %5.1f / %5.1f ms  click %5.1f / %5.1f / "
                "%5.1f ms  CPU %4.1f %%  states applied %3d of %lld frames\n",
                what, f.GrowthMb, f.KeyMedian, f.KeyP99, f.KeyWorst, f.ClickMedian, f.ClickP99,
                f.ClickWorst, f.Cpu, f.Applied, f.Frames);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 6 && qstrcmp(argv[1], "hostile") == 0) {
        QCoreApplication app(argc, argv);
        return Hostile(app.arguments().mid(2));
    }
    UsePrivateBenchEnvironment();
    TApplication app(argc, argv);
    InitPublicModule();
    QTemporaryDir dir;
    QString error;
    const QString clip = MakeOneSectionFolder(dir, &error);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "clip: %s\n", qPrintable(error));
        return 1;
    }
    TFrmMain frm;
    frm.show();
    TStampedClick::Mouse = QPointingDevice::primaryPointingDevice();
    TStampedKey::Keyboard = QInputDevice::primaryKeyboard();
    const SyncFileId id = SyncFileId::Of(clip);

    std::printf("bench_follower_floods: the control window following a hostile leader on "
                "127.0.0.1 (another process); a key and a click posted every 100 ms, "
                "median / 99th percentile / worst time to their answer; memory: the resident "
                "set's peak growth over its level when the flood started\n");
    const TFigures quiet = Run(frm, QStringLiteral("none"), 10, id);
    Print("quiet leader, 10 s", quiet);
    const TFigures pings = Run(frm, QStringLiteral("pings"), 10, id);
    Print("ping flood, 10 s", pings);
    const TFigures states = Run(frm, QStringLiteral("states"), 15, id);
    Print("state flood, 15 s", states);
    for (const auto& [name, f] : {std::pair{"ping flood", pings}, std::pair{"state flood", states}})
        std::printf("  %-12s / quiet: median key %.2f, 99th percentile key %.2f, click %.2f, CPU "
                    "%.2f; goal: memory within +10 MB %s, answers within 100 ms %s (worst %s)\n",
                    name, f.KeyMedian / quiet.KeyMedian, f.KeyP99 / quiet.KeyP99,
                    f.ClickP99 / quiet.ClickP99, f.Cpu / std::max(quiet.Cpu, 0.01),
                    f.GrowthMb <= 10 ? "met" : "missed",
                    std::max(f.KeyP99, f.ClickP99) <= 100 ? "met" : "missed",
                    std::max(f.KeyWorst, f.ClickWorst) <= 100 ? "met" : "missed");
    return 0;
}
