#include "engine/EngineClock.h"

#include "utPublic/Clock.h"
#include "utPublic/utPublicCore.h"

#include <QTimer>

SystemClock::SystemClock(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (fire_)
            fire_();
    });
}

int64_t SystemClock::NowMs() {
    return ReadPerfCounter() / 1000000;
}

void SystemClock::Wait(int ms) {
    DelayMs(ms);
}

void SystemClock::StartTimer(int ms, std::function<void()> fire) {
    fire_ = std::move(fire);
    timer_->start(std::max(0, ms));
}

void SystemClock::StopTimer() {
    timer_->stop();
}
