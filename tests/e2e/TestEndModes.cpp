// The end modes of the whole program, run as its own process: a copy of this
// test program, started with "--player", runs the program's entry exactly as
// the executable does (settings file beside it, auto-play of the remembered
// file), so that its exit status and its settings file can be checked.
#include "PlayerKit.h"

#include "../MyExitWin/PrivateSystemBus.h"
#include "support/SoundServer.h"

#include "AppInstance.h"
#include "AppStartup.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <algorithm>

class TestEndModes : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString clip_;
    // 10 s of tones naming their second; sections 0:00 x1, 0:03 x3, 0:06 x2.
    QString tones_;
    static constexpr int kTonesSeconds = 10;

    // Starts the program in its own folder with the given end mode; extra
    // arguments go to the "--player" mode of this test program. False when
    // it could not be started.
    bool StartPlayer(QProcess& p, const QString& folder, const QString& endMode,
                     const QStringList& extra = {}, const QString& media = {},
                     bool autoPlay = true) {
        QDir().mkpath(folder);
        const QString exe = QDir(folder).filePath(QStringLiteral("tavrelo"));
        QFile::remove(exe);
        if (!QFile::copy(QCoreApplication::applicationFilePath(), exe))
            return false;
        QFile(exe).setPermissions(QFile::permissions(exe) | QFileDevice::ExeOwner);
        const QString ini = QDir(folder).filePath(QStringLiteral("system.INI"));
        const QString saved = IniFileName;
        IniFileName = ini;
        TPlayerOptions o;
        o.AutoPlay = autoPlay;
        o.EndMode = endMode;
        WriteSettings(media.isEmpty() ? clip_ : media, o);
        IniFileName = saved;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAVRELO_NO_MESSAGE_BOXES"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(exe, QStringList{QStringLiteral("--player")} + extra);
        return p.waitForStarted(10000);
    }

    // Runs the program; returns its exit code (-1 when it did not end within
    // the guard time).
    int RunPlayer(const QString& folder, const QString& endMode, int guardMs,
                  QString* output = nullptr, const QString& media = {}) {
        QProcess p;
        if (!StartPlayer(p, folder, endMode, {}, media))
            return -3;
        const bool ended = p.waitForFinished(guardMs);
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        if (!ended) {
            p.kill();
            p.waitForFinished(5000);
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -4;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // The players' sockets, private to this run.
        const QString run = dir_.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(run));
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        clip_ = dir_.filePath(QStringLiteral("short.mp4"));
        QString error;
        QVERIFY2(MakeToneVideoClip(clip_, 3, 1, &error), qPrintable(error));
        WriteSchedule(clip_, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        // Cut off in the middle of its data: it plays cleanly up to the break.
        const QString cut = dir_.filePath(QStringLiteral("cut.mp4"));
        QVERIFY2(MakeTruncatedCopy(clip_, cut, 0.5, &error), qPrintable(error));
        WriteSchedule(cut, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        tones_ = dir_.filePath(QStringLiteral("tones.mp4"));
        QVERIFY2(MakeToneVideoClip(tones_, kTonesSeconds, 1, &error), qPrintable(error));
        WriteSchedule(tones_, {{QStringLiteral("1"), QStringLiteral("00:00"), {}},
                               {QStringLiteral("3"), QStringLiteral("00:03"), {}},
                               {QStringLiteral("2"), QStringLiteral("00:06"), {}}});
    }

    // "播完退出": at the end of the media the program ends with status 1 at
    // once, without its close handling (the window bounds are not written).
    // A file cut short ends at its break as at its end: that is no error.
    void exitModeEndsWithStatusOne_data() {
        QTest::addColumn<QString>("media");
        QTest::newRow("whole file") << clip_;
        QTest::newRow("file cut short") << dir_.filePath(QStringLiteral("cut.mp4"));
    }
    void exitModeEndsWithStatusOne() {
        QFETCH(QString, media);
        const QString folder = dir_.filePath(QStringLiteral("exit-") + QTest::currentDataTag());
        QString output;
        const int rc = RunPlayer(folder, QStringLiteral("播完退出"), 60000, &output, media);
        QVERIFY2(rc == 1, qPrintable(QStringLiteral("exit code %1\n%2").arg(rc).arg(output)));
        const QString ini = QDir(folder).filePath(QStringLiteral("system.INI"));
        QCOMPARE(ReadIniStr(ini, QStringLiteral("START"), QStringLiteral("WindowsL"),
                            QStringLiteral("absent")),
                 QStringLiteral("absent"));
        // What the user changed is there: written when it changed.
        QCOMPARE(ReadIniText(ini, QStringLiteral("START"), QStringLiteral("PlayFile")), media);
    }

    // "播完关机": at the end of the media the power-off request goes to
    // logind (a mock on a private system bus), then the program ends with
    // status 1. While logind waits for a password (seconds, the position
    // standing at the end) the program does not take itself for stalled.
    void powerOffModeAsksLogind_data() {
        QTest::addColumn<int>("answerAfterSeconds");
        QTest::newRow("at once") << 0;
        QTest::newRow("after a password") << 6;
    }
    void powerOffModeAsksLogind() {
        QFETCH(int, answerAfterSeconds);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        PrivateSystemBus bus(dir_.path(), QStringLiteral("system-") + tag);
        QVERIFY2(!bus.Address().isEmpty(), "dbus-daemon did not start");
        const QString log = dir_.filePath(QStringLiteral("logind-%1.log").arg(tag));
        LogindMock logind(bus.Address(), log);
        QVERIFY2(logind.IsReady(), "python3 -m dbusmock --template logind did not come up");
        if (answerAfterSeconds > 0) {
            const QDBusMessage added = logind.Mock(
                QLatin1String(LogindMock::kPath), QStringLiteral("AddMethod"),
                {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"),
                 QStringLiteral("b"), QString(),
                 QStringLiteral("import time; time.sleep(%1)").arg(answerAfterSeconds)});
            QVERIFY2(added.type() != QDBusMessage::ErrorMessage, qPrintable(added.errorMessage()));
        }
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address().toUtf8());
        QString output;
        const int rc = RunPlayer(dir_.filePath(QStringLiteral("poweroff-") + tag),
                                 QStringLiteral("播完关机"), 60000, &output);
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QVERIFY2(rc == 1, qPrintable(QStringLiteral("exit code %1\n%2").arg(rc).arg(output)));
        QVERIFY2(!output.contains(QStringLiteral("无法播放")), qPrintable(output));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray calls = f.readAll();
        QVERIFY2(calls.contains("PowerOff"), calls.constData());
    }

    // "播完关机", and the sound output fails a second into the media and on
    // every try after (the recording refuses every buffer): the player makes
    // its graph afresh three times, then gives up with an error, which is not
    // the end of the routine. The user is told why; the computer is not
    // switched off and the program stays.
    void powerOffModeFailureIsNotTheEnd() {
        PrivateSystemBus bus(dir_.path(), QStringLiteral("failing"));
        QVERIFY2(!bus.Address().isEmpty(), "dbus-daemon did not start");
        const QString log = dir_.filePath(QStringLiteral("failing-logind.log"));
        LogindMock logind(bus.Address(), log);
        QVERIFY2(logind.IsReady(), "python3 -m dbusmock --template logind did not come up");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address().toUtf8());
        QProcess p;
        const bool started =
            StartPlayer(p, dir_.filePath(QStringLiteral("failing")), QStringLiteral("播完关机"),
                        {QStringLiteral("--fail-sound-after"), QStringLiteral("48000")});
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QVERIFY(started);
        QByteArray output;
        // The player's window speaks Chinese by default, so does its message.
        const QByteArray told = "无法播放 " + clip_.toLocal8Bit() + "：";
        const bool said = QTest::qWaitFor(
            [&] {
                output += p.readAll();
                return output.contains(told) || p.state() == QProcess::NotRunning;
            },
            60000);
        const bool running = p.state() == QProcess::Running;
        p.kill();
        p.waitForFinished(5000);
        QVERIFY2(said && output.contains(told), output.constData());
        QVERIFY2(running, output.constData());
        QFile f(log);
        const QByteArray calls = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QVERIFY2(!calls.contains("PowerOff"), calls.constData());
    }

    // The sound server fails under a practice ("播完退出"): the output
    // suspended for 6 s in the middle of a section, the stream moved to
    // another output, the server killed and started again in a repetition,
    // or a busy CPU from the start. The player mends it by itself: from the
    // moment the fault clears every section and repetition left is heard in
    // order, no message is shown, and the program ends with status 1 at the
    // end of the media as always.
    void soundServerFaults_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("output suspended for 6 s") << QStringLiteral("suspend");
        QTest::newRow("stream moved to another output") << QStringLiteral("move");
        QTest::newRow("server killed and started again") << QStringLiteral("restart");
        QTest::newRow("start beside stress-ng --cpu 4") << QStringLiteral("stress");
    }
    void soundServerFaults() {
        QFETCH(QString, fault);
        // The schedule's seconds in the order they are played.
        const std::vector<int> order{0, 1, 2, 3, 4, 5, 3, 4, 5, 3, 4, 5, 6, 7, 8, 9, 6, 7, 8, 9};
        auto isTail = [&order](const std::vector<int>& heard) {
            return heard.size() <= order.size() &&
                   std::equal(heard.begin(), heard.end(), order.end() - ptrdiff_t(heard.size()));
        };
        auto describe = [](const std::vector<int>& heard) {
            QStringList s;
            for (int x : heard)
                s << QString::number(x);
            return s.join(QLatin1Char(' '));
        };
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray pulse = qgetenv("PULSE_SERVER");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtime);
            if (pulse.isEmpty())
                qunsetenv("PULSE_SERVER");
            else
                qputenv("PULSE_SERVER", pulse);
        });
        SoundServer server;
        QVERIFY2(server.IsRunning(), "pulseaudio did not start");
        server.UseForThisProcess();
        auto outA = std::make_unique<SinkRecording>(server, QStringLiteral("out_a"));
        SinkRecording outB(server, QStringLiteral("out_b"));
        QVERIFY(outA->IsRunning() && outB.IsRunning());
        QProcess stress;
        if (fault == QLatin1String("stress")) {
            stress.start(QStringLiteral("stress-ng"),
                         {QStringLiteral("--cpu"), QStringLiteral("4"), QStringLiteral("--quiet")});
            QVERIFY2(stress.waitForStarted(10000), "stress-ng did not start");
        }
        const auto stopStress = qScopeGuard([&] {
            if (stress.state() != QProcess::NotRunning) {
                stress.terminate();
                if (!stress.waitForFinished(5000))
                    stress.kill();
                stress.waitForFinished(5000);
            }
        });
        QProcess p;
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        QVERIFY(StartPlayer(p, dir_.filePath(QStringLiteral("faults-") + tag),
                            QStringLiteral("播完退出"), {}, tones_));
        QByteArray output;
        auto heardA = [&] { return HeardSeconds(outA->Samples(), 0, kTonesSeconds); };
        // Waits until the n-th time second s is heard on out_a (or the
        // player ended).
        auto waitHeard = [&](int s, int n) {
            return QTest::qWaitFor(
                [&] {
                    output += p.readAll();
                    const auto h = heardA();
                    return std::count(h.begin(), h.end(), s) >= n ||
                           p.state() == QProcess::NotRunning;
                },
                90000);
        };
        // Where what is heard after the fault starts: out_a's frame, or out_b.
        int64_t from = 0;
        bool onB = false;
        if (fault == QLatin1String("suspend")) {
            QVERIFY(waitHeard(4, 1));
            QVERIFY(server.Suspend(QStringLiteral("out_a"), true));
            const QDeadlineTimer sixSeconds(6000);
            QVERIFY(QTest::qWaitFor([&] { return sixSeconds.hasExpired(); }, 7000));
            from = outA->FrameCount();
            QVERIFY(server.Suspend(QStringLiteral("out_a"), false));
        } else if (fault == QLatin1String("move")) {
            QVERIFY(waitHeard(4, 1));
            QVERIFY(server.MoveAllStreams(QStringLiteral("out_b")));
            onB = true;
        } else if (fault == QLatin1String("restart")) {
            QVERIFY(waitHeard(4, 2));
            outA.reset();
            server.Kill();
            QVERIFY(server.Start());
            outA = std::make_unique<SinkRecording>(server, QStringLiteral("out_a"));
        }
        const bool ended = QTest::qWaitFor(
            [&] {
                output += p.readAll();
                return p.state() == QProcess::NotRunning;
            },
            120000);
        output += p.readAll();
        if (!ended) {
            p.kill();
            p.waitForFinished(5000);
        }
        // A moved stream is heard on out_b; a graph made afresh after the
        // move plays into the default output again (this server remembers no
        // stream's output, as a desktop's does): both outputs together, from
        // the start, each playing in real time and silent when unused.
        std::vector<float> mixed;
        if (onB) {
            mixed = outA->Samples();
            const std::vector<float> b = outB.Samples();
            mixed.resize(std::min(mixed.size(), b.size()));
            for (size_t i = 0; i < mixed.size(); ++i)
                mixed[i] += b[i];
        }
        const std::vector<int> heard = onB ? HeardSeconds(mixed, 0, kTonesSeconds)
                                           : HeardSeconds(outA->Samples(), from, kTonesSeconds);
        qInfo().noquote() << QTest::currentDataTag() << "heard after the fault:" << describe(heard)
                          << "| recoveries:" << output.count("recovered playback");
        QVERIFY2(ended, output.constData());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 1, output.constData());
        QVERIFY2(!output.contains("无法播放"), output.constData());
        // Not a fragment: at least the last section's two plays.
        QVERIFY2(heard.size() >= 8 && isTail(heard), qPrintable(describe(heard)));
        if (fault == QLatin1String("stress"))
            QCOMPARE(heard, order);
    }

    // An unknown option or more than one name on the command line: one usage
    // line on stderr and status 2, no window. (A name that does not exist
    // starts the player, which says so: tests/install/check-command-line.sh.)
    void badArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("option") << QStringList{QStringLiteral("--fullscreen")};
        QTest::newRow("two files") << QStringList{clip_, clip_};
    }
    void badArguments() {
        QFETCH(QStringList, args);
        QProcess p;
        QVERIFY(StartPlayer(p, dir_.filePath(QStringLiteral("args")), QStringLiteral("循环播放"),
                            QStringList{QStringLiteral("--args")} + args));
        QVERIFY(p.waitForFinished(60000));
        const QByteArray out = p.readAll();
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(out.startsWith("usage: tavrelo") && out.count('\n') == 1, out.constData());
    }

    // A file named on the command line (relative to the working folder) is
    // opened instead of "PlayFile" and played from section 1: in "播完退出"
    // mode the program ends at its end with status 1.
    void fileArgumentPlays() {
        const QString folder = dir_.filePath(QStringLiteral("arg"));
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        QVERIFY(StartPlayer(p, folder, QStringLiteral("播完退出"),
                            {QStringLiteral("--args"), QFileInfo(clip_).fileName()},
                            dir_.filePath(QStringLiteral("none.mp4")), false));
        const bool ended = p.waitForFinished(60000);
        const QByteArray out = p.readAll();
        if (!ended)
            p.kill();
        QVERIFY2(ended && p.exitCode() == 1, out.constData());
        QCOMPARE(ReadIniText(QDir(folder).filePath(QStringLiteral("system.INI")),
                             QStringLiteral("START"), QStringLiteral("Recent1")),
                 clip_);
    }

    // A second start on the same settings file hands its file to the running
    // player and ends with status 0; one on another settings file runs beside
    // it; a socket left by a killed player does not stop the next start.
    void secondStartHandsOver() {
        const QString folder = dir_.filePath(QStringLiteral("one"));
        const QString ini = QDir(folder).filePath(QStringLiteral("system.INI"));
        const QString recent1 = QStringLiteral("Recent1");
        const QString other = dir_.filePath(QStringLiteral("other.mp4"));
        QFile::remove(other);
        QVERIFY(QFile::copy(clip_, other));
        auto readRecent = [&] { return ReadIniText(ini, QStringLiteral("START"), recent1); };
        QProcess first;
        QVERIFY(StartPlayer(first, folder, QStringLiteral("循环播放")));
        const QString exe = QDir(folder).filePath(QStringLiteral("tavrelo"));
        QProcess second;
        second.setProcessEnvironment(first.processEnvironment());
        // The first player may still be starting: until it listens, a
        // second start would become a player itself.
        auto socketOf = [&](const QString& settings) {
            return QDir(dir_.filePath(QStringLiteral("run")))
                .filePath(QFileInfo(InstanceSocketPath(settings)).fileName());
        };
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(socketOf(ini)); }, 30000));
        // The file manager's "open with", several times in a row: each file
        // is opened in turn and the player lives on.
        for (const QString& f : {other, clip_, other}) {
            second.start(exe, QStringList{QStringLiteral("--player"), QStringLiteral("--args"), f});
            QVERIFY(second.waitForFinished(30000));
            QCOMPARE(second.exitCode(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(readRecent(), f, 30000);
            QCOMPARE(first.state(), QProcess::Running);
        }
        // A folder is refused by the player, and the second start says why.
        second.start(exe,
                     QStringList{QStringLiteral("--player"), QStringLiteral("--args"), folder});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("refused: 它是文件夹，不是普通文件"));
        QCOMPARE(readRecent(), other);

        QProcess beside;
        QVERIFY(
            StartPlayer(beside, dir_.filePath(QStringLiteral("two")), QStringLiteral("循环播放")));
        const QString besideIni = dir_.filePath(QStringLiteral("two/system.INI"));
        const bool stillRunning =
            QTest::qWaitFor([&] { return QFileInfo::exists(socketOf(besideIni)); }, 30000) &&
            beside.state() == QProcess::Running && first.state() == QProcess::Running;
        beside.kill();
        beside.waitForFinished(5000);

        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QProcess again;
        again.setProcessEnvironment(first.processEnvironment());
        again.start(exe, QStringList{QStringLiteral("--player"), QStringLiteral("--args"), clip_});
        QTRY_COMPARE_WITH_TIMEOUT(readRecent(), clip_, 30000);
        const bool againRunning = again.state() == QProcess::Running;
        again.kill();
        again.waitForFinished(5000);
        QVERIFY(stillRunning);
        QVERIFY(againRunning);
    }

    // "循环播放": the media starts again; the program is still running well
    // after the end of the 3 s clip.
    void loopModeKeepsRunning() {
        const QString folder = dir_.filePath(QStringLiteral("loop"));
        QCOMPARE(RunPlayer(folder, QStringLiteral("循环播放"), 8000), -1);
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--player") == 0) {
        // "--fail-sound-after N": the sound output fails after N frames.
        if (argc > 3 && qstrcmp(argv[2], "--fail-sound-after") == 0) {
            auto rec = std::make_shared<TAudioRecording>();
            rec->FailAfter(QByteArray(argv[3]).toLongLong());
            SetAudioOutput(TAudioOutputKind::Record, rec);
        }
        // "--args ...": the program's own command line follows.
        if (argc > 2 && qstrcmp(argv[2], "--args") == 0) {
            argv[2] = argv[0];
            return RunTavrelo(argc - 2, argv + 2);
        }
        int n = 1;
        return RunTavrelo(n, argv);
    }
    XvfbSession xvfb(1920, 1080);
    if (xvfb.IsRunning()) {
        qputenv("DISPLAY", xvfb.Display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    TApplication app(argc, argv);
    InitPublicModule(); // the delays count on the counter's frequency
    TestEndModes test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestEndModes.moc"
