// Time as the section engine sees it: a monotonic millisecond clock, a wait
// that keeps handling events (other engine calls can run inside it), and one
// single-shot precise timer. SystemClock is the program's; the engine's
// tests drive a virtual one.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

class QTimer;

class EngineClock {
public:
    virtual ~EngineClock() = default;
    virtual int64_t NowMs() = 0;
    // Returns after ms; events (clicks, ticks, graph events, remote
    // commands) are handled meanwhile and may call the engine again.
    virtual void Wait(int ms) = 0;
    // Calls fire once after ms; a new start replaces the pending one.
    virtual void StartTimer(int ms, std::function<void()> fire) = 0;
    virtual void StopTimer() = 0;
};

class SystemClock : public QObject, public EngineClock {
public:
    explicit SystemClock(QObject* parent = nullptr);
    int64_t NowMs() override;
    void Wait(int ms) override; // DelayMs
    void StartTimer(int ms, std::function<void()> fire) override;
    void StopTimer() override;

private:
    QTimer* timer_;
    std::function<void()> fire_;
};
