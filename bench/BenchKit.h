// Shared by the benchmarks that drive the player: waiting with the event
// loop running and each event handled as it comes. (QTest::qWaitFor, which
// the tests use, sleeps 10 ms between its passes: that would add to the
// latencies the benchmarks take from their callbacks' clocks.)
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <functional>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

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

// Starts a program with its output discarded; its pid, or -1.
inline pid_t SpawnQuiet(const QStringList& argv) {
    std::vector<QByteArray> args;
    for (const QString& a : argv)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> cargs;
    for (auto& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, cargs[0], &fa, nullptr, cargs.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

// A benchmark's player stays by itself: the offscreen platform, no message
// box to wait on, and no session bus (the media-bus service is not offered).
// Call before the application object is made.
inline void UsePrivateBenchEnvironment() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TAVRELO_NO_MESSAGE_BOXES", "1");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavrelo-bench-bus");
}

// CPU seconds (user + system, all threads) a process has used so far; -1
// when it is gone.
inline double ProcessCpuSeconds(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name, which may hold spaces itself;
    // utime and stime are the 12th and 13th of them.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}
