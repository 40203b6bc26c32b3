#include "utPublic/Clock.h"

#include <cerrno>
#include <ctime>

namespace {
constexpr int64_t kNsPerSecond = 1000000000;
}

int64_t QueryPerfFrequency() {
    timespec res{};
    if (clock_getres(CLOCK_MONOTONIC, &res) != 0)
        return 0;
    return kNsPerSecond;
}

int64_t ReadPerfCounter() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    return int64_t(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

void SleepNs(int64_t ns) {
    if (ns <= 0)
        return;
    timespec left{time_t(ns / kNsPerSecond), long(ns % kNsPerSecond)};
    // A signal handler may cut the sleep short; sleep on for what is left.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
}
