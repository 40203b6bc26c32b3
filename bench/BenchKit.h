// Shared by the benchmarks that drive the player: waiting with the event
// loop running and each event handled as it comes. (QTest::qWaitFor, which
// the tests use, sleeps 10 ms between its passes: that would add to the
// latencies the benchmarks take from their callbacks' clocks.)
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

// Runs the event loop until pred() holds or timeoutMs passes (a guard
// against hanging, not a measurement); returns pred().
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// The offscreen platform unless the caller chose one (for benchmarks that
// need no real display); call before the application object is made.
inline void OffscreenUnlessChosen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
