#include "XvfbSession.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

XvfbSession::XvfbSession(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // -displayfd makes the server pick a free display number and write it to
    // the pipe once it accepts connections.
    server_.setProgram(QStringLiteral("Xvfb"));
    server_.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                          QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("%1x%2x24").arg(width).arg(height),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                          QStringLiteral("+extension"), QStringLiteral("RANDR")});
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The server goes with the test even when the test is killed (a time-out).
    server_.setChildProcessModifier([fds] {
        ::close(fds[0]);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    server_.start();
    ::close(fds[1]);
    if (!server_.waitForStarted(5000)) {
        ::close(fds[0]);
        return;
    }
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    if (!number.isEmpty())
        display_ = QStringLiteral(":") + QString::fromLatin1(number);
}

XvfbSession::~XvfbSession() {
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(3000))
            server_.kill();
        server_.waitForFinished(1000);
    }
}

int XvfbSession::Run(const QString& program, const QStringList& args, QString* out) const {
    return RunOnDisplay(display_, program, args, out);
}

int RunOnDisplay(const QString& display, const QString& program, const QStringList& args,
                 QString* out) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(20000))
        return -1;
    if (out)
        *out = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString ArtefactDir() {
    QString dir = qEnvironmentVariable("TAVRELO_ARTEFACTS");
    if (dir.isEmpty())
        dir = QStringLiteral(TAVRELO_BINARY_DIR "/artefacts");
    QDir().mkpath(dir);
    return dir;
}
