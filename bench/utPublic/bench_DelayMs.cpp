// How much processor a DelayMs wait costs: the CPU time of the process
// during DelayMs(2000), as a share of the wall time, with the program's two
// timers (a 500 ms position tick, a 1000 ms idle tick) running; beside it the
// same wait done as a loop that handles pending events and checks the
// counter again at once.
#include "utPublic/Clock.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double WallSeconds() {
    return double(ReadPerfCounter()) / double(PerfFrequency);
}

// The wait as a loop that never sleeps.
void SpinningDelayMs(int ms) {
    const int64_t start = ReadPerfCounter();
    const int64_t ticks = int64_t(ms) * PerfFrequency / 1000;
    while (ReadPerfCounter() - start < ticks)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

struct Share {
    double cpu;
    double wall;
    int ticks;
};

template <typename Wait> Share Measure(Wait wait) {
    int ticks = 0;
    QTimer position;
    QTimer idle;
    QObject::connect(&position, &QTimer::timeout, [&ticks] { ++ticks; });
    QObject::connect(&idle, &QTimer::timeout, [&ticks] { ++ticks; });
    position.start(500);
    idle.start(1000);
    const double cpu0 = CpuSeconds();
    const double wall0 = WallSeconds();
    wait();
    return {CpuSeconds() - cpu0, WallSeconds() - wall0, ticks};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InitPublicModule();
    const Share sleeping = Measure([] { DelayMs(2000); });
    const Share spinning = Measure([] { SpinningDelayMs(2000); });
    std::printf("DelayMs(2000):          wall %.3f s, CPU %.4f s = %.2f %% of wall (goal < 2 %%), "
                "%d timer ticks handled\n",
                sleeping.wall, sleeping.cpu, 100 * sleeping.cpu / sleeping.wall, sleeping.ticks);
    std::printf("spinning loop (2000 ms): wall %.3f s, CPU %.4f s = %.2f %% of wall, "
                "%d timer ticks handled\n",
                spinning.wall, spinning.cpu, 100 * spinning.cpu / spinning.wall, spinning.ticks);
    std::printf("CPU ratio spinning / DelayMs: %.0f x\n",
                spinning.cpu / (sleeping.cpu > 0 ? sleeping.cpu : 1e-9));
    return 0;
}
