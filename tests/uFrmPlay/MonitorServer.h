// A display with several monitors for tests of window placement.
//
// Xvfb offers one monitor per screen and Qt sees a multi-screen Xvfb as one
// screen; its RandR does not take user-defined monitors either. Xorg with the
// dummy video driver does: one wide virtual screen is split with
// `xrandr --setmonitor` into the monitors asked for, and Qt's xcb platform
// lists them in that order. Without Xorg and the dummy driver the session
// falls back to Qt's offscreen platform configured with the same screens.
//
// Use before the QApplication exists: Select() sets DISPLAY and
// QT_QPA_PLATFORM for this process.
#pragma once

#include "support/XvfbSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

class MonitorServer {
public:
    explicit MonitorServer(const QList<QRect>& monitors) : monitors_(monitors) {
        for (const QRect& m : monitors_)
            bounds_ |= m;
        if (!StartXorg())
            WriteOffscreenConfig();
    }
    ~MonitorServer() {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(5000))
                server_.kill();
            server_.waitForFinished(2000);
        }
    }
    MonitorServer(const MonitorServer&) = delete;
    MonitorServer& operator=(const MonitorServer&) = delete;

    // True when a real X server with the monitors runs (else: offscreen).
    bool IsX11() const { return !display_.isEmpty(); }
    QString Display() const { return display_; }
    QString Describe() const {
        return IsX11() ? QStringLiteral("Xorg dummy on %1").arg(display_)
                       : QStringLiteral("offscreen screens");
    }

    void Select() const {
        if (IsX11()) {
            qputenv("DISPLAY", display_.toLocal8Bit());
            qputenv("QT_QPA_PLATFORM", "xcb");
        } else {
            qputenv("QT_QPA_PLATFORM",
                    QByteArray("offscreen:configfile=") + QFile::encodeName(configFile_));
        }
    }

    int Run(const QString& program, const QStringList& args, QString* out = nullptr) const {
        return RunOnDisplay(display_, program, args, out);
    }

private:
    static QString Geometry(const QRect& r) {
        // width/mm x height/mm + x + y, at about 96 dpi.
        return QStringLiteral("%1/%2x%3/%4+%5+%6")
            .arg(r.width())
            .arg(r.width() * 254 / 960)
            .arg(r.height())
            .arg(r.height() * 254 / 960)
            .arg(r.x())
            .arg(r.y());
    }

    bool StartXorg() {
        if (QStandardPaths::findExecutable(QStringLiteral("Xorg")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty() ||
            !QFile::exists(QStringLiteral("/usr/lib/xorg/modules/drivers/dummy_drv.so")))
            return false;
        const QString conf = dir_.filePath(QStringLiteral("xorg.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n"
                "  VideoRam 131072\nEndSection\n"
                "Section \"Monitor\"\n  Identifier \"mon\"\n  HorizSync 5.0-1000.0\n"
                "  VertRefresh 5.0-200.0\nEndSection\n"
                "Section \"Screen\"\n  Identifier \"scr\"\n  Device \"dummy\"\n"
                "  Monitor \"mon\"\n  DefaultDepth 24\n"
                "  SubSection \"Display\"\n    Depth 24\n    Virtual 4096 2160\n"
                "  EndSubSection\nEndSection\n"
                "Section \"ServerFlags\"\n  Option \"AutoAddDevices\" \"false\"\n"
                "  Option \"AutoEnableDevices\" \"false\"\nEndSection\n");
        f.close();
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        server_.setProgram(QStringLiteral("Xorg"));
        server_.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                              QStringLiteral("-config"), conf, QStringLiteral("-configdir"),
                              dir_.path(), QStringLiteral("-logfile"),
                              dir_.filePath(QStringLiteral("xorg.log")), QStringLiteral("-noreset"),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                              QStringLiteral("-novtswitch"), QStringLiteral("-sharevts")});
        // Its chatter goes to its log file.
        server_.setStandardOutputFile(QProcess::nullDevice());
        server_.setStandardErrorFile(QProcess::nullDevice());
        // The server goes with the test even when the test is killed.
        server_.setChildProcessModifier([fds] {
            ::close(fds[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
        server_.start();
        ::close(fds[1]);
        if (!server_.waitForStarted(5000)) {
            ::close(fds[0]);
            return false;
        }
        QByteArray number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        ::close(fds[0]);
        if (number.isEmpty())
            return false;
        display_ = QStringLiteral(":") + QString::fromLatin1(number);

        // One mode as large as all monitors together, then the monitors.
        const int w = bounds_.width(), h = bounds_.height();
        const QString mode = QStringLiteral("tavrelo%1x%2").arg(w).arg(h);
        const double clock = double(w + 160) * double(h + 31) * 60.0 / 1e6;
        bool ok =
            Run(QStringLiteral("xrandr"),
                {QStringLiteral("--newmode"), mode, QString::number(clock, 'f', 2),
                 QString::number(w), QString::number(w + 48), QString::number(w + 80),
                 QString::number(w + 160), QString::number(h), QString::number(h + 3),
                 QString::number(h + 13), QString::number(h + 31)}) == 0 &&
            Run(QStringLiteral("xrandr"),
                {QStringLiteral("--addmode"), QStringLiteral("DUMMY0"), mode}) == 0 &&
            Run(QStringLiteral("xrandr"), {QStringLiteral("--output"), QStringLiteral("DUMMY0"),
                                           QStringLiteral("--mode"), mode}) == 0;
        for (int i = 0; ok && i < monitors_.size(); ++i)
            ok = Run(QStringLiteral("xrandr"),
                     {QStringLiteral("--setmonitor"), QStringLiteral("MON%1").arg(i),
                      Geometry(monitors_[i]),
                      i == 0 ? QStringLiteral("DUMMY0") : QStringLiteral("none")}) == 0;
        if (!ok) {
            server_.terminate();
            server_.waitForFinished(5000);
            display_.clear();
        }
        return ok;
    }

    void WriteOffscreenConfig() {
        configFile_ = dir_.filePath(QStringLiteral("screens.json"));
        QFile f(configFile_);
        if (!f.open(QIODevice::WriteOnly))
            return;
        QByteArray json = "{\"screens\":[";
        for (int i = 0; i < monitors_.size(); ++i) {
            const QRect& r = monitors_[i];
            json += QStringLiteral("%1{\"name\":\"MON%2\",\"x\":%3,\"y\":%4,\"width\":%5,"
                                   "\"height\":%6,\"logicalDpi\":96,\"logicalBaseDpi\":96,"
                                   "\"dpr\":1}")
                        .arg(i ? QStringLiteral(",") : QString())
                        .arg(i)
                        .arg(r.x())
                        .arg(r.y())
                        .arg(r.width())
                        .arg(r.height())
                        .toUtf8();
        }
        json += "]}";
        f.write(json);
    }

    QList<QRect> monitors_;
    QRect bounds_;
    QTemporaryDir dir_;
    QProcess server_;
    QString display_;
    QString configFile_;
};
