// A private D-Bus daemon standing in for the system bus, and python-dbusmock's
// logind template on it, so the shutdown helper talks to a real bus and a real
// (mock) logind, never to the machine's own.
#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QThread>

class PrivateSystemBus {
public:
    // Starts dbus-daemon with a configuration of our own in dir: it listens on
    // dir/<name>.socket, lets anyone own any name, and activates no services
    // (so an unknown name never wakes a real system service).
    PrivateSystemBus(const QString& dir, const QString& name) {
        const QString config = dir + QLatin1Char('/') + name + QStringLiteral(".conf");
        socket_ = dir + QLatin1Char('/') + name + QStringLiteral(".socket");
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral(
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                    "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig>\n"
                    "  <type>system</type>\n"
                    "  <listen>unix:path=%1</listen>\n"
                    "  <auth>EXTERNAL</auth>\n"
                    "  <policy context=\"default\">\n"
                    "    <allow user=\"*\"/>\n"
                    "    <allow own=\"*\"/>\n"
                    "    <allow send_destination=\"*\"/>\n"
                    "    <allow receive_sender=\"*\"/>\n"
                    "  </policy>\n"
                    "</busconfig>\n")
                    .arg(socket_)
                    .toUtf8());
        f.close();
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                              QStringLiteral("--print-address=1")});
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start();
        if (!daemon_.waitForStarted(10000))
            return;
        // The address is printed once the daemon accepts connections.
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }

    ~PrivateSystemBus() { Stop(daemon_); }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // Empty when the daemon did not start.
    QString Address() const { return address_; }

    static void Stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(5000))
            p.kill();
        p.waitForFinished(2000);
    }

private:
    QProcess daemon_;
    QString socket_;
    QString address_;
};

class LogindMock {
public:
    static constexpr const char* kService = "org.freedesktop.login1";
    static constexpr const char* kPath = "/org/freedesktop/login1";
    static constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

    // Starts "python3 -m dbusmock --template logind" on the bus at address and
    // waits until it owns org.freedesktop.login1. control is a connection of
    // the test's own to that bus.
    LogindMock(const QString& address, const QString& logFile)
        : control_(QDBusConnection::connectToBus(address, QStringLiteral("logind-mock-control"))) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
        mock_.setProcessEnvironment(env);
        // Debian's interpreter: the one first on PATH lacks Debian's modules.
        mock_.setProgram(QStringLiteral("/usr/bin/python3"));
        mock_.setArguments({QStringLiteral("-m"), QStringLiteral("dbusmock"),
                            QStringLiteral("--template"), QStringLiteral("logind"),
                            QStringLiteral("-l"), logFile});
        mock_.setStandardOutputFile(QProcess::nullDevice());
        mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_.start();
        if (!control_.isConnected() || !mock_.waitForStarted(10000))
            return;
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && mock_.state() == QProcess::Running) {
            if (control_.interface()->isServiceRegistered(QLatin1String(kService))) {
                ready_ = true;
                return;
            }
            QThread::msleep(50);
        }
    }

    ~LogindMock() {
        PrivateSystemBus::Stop(mock_);
        QDBusConnection::disconnectFromBus(QStringLiteral("logind-mock-control"));
    }
    LogindMock(const LogindMock&) = delete;
    LogindMock& operator=(const LogindMock&) = delete;

    bool IsReady() const { return ready_; }
    QDBusConnection& Control() { return control_; }

    // Calls a method on the mock's control interface of object path; returns
    // the reply (an error reply when it failed).
    QDBusMessage Mock(const QString& path, const QString& method, const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), path,
                                                           QLatin1String(kMockInterface), method);
        call.setArguments(args);
        return control_.call(call);
    }

private:
    QProcess mock_;
    QDBusConnection control_;
    bool ready_ = false;
};
