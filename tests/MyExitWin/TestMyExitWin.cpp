// TMyExitWin against a private system bus with python-dbusmock's logind.
//
// Qt keeps one system bus connection per process, so the cases that need no
// bus at all, or a bus without logind, run in a child process of this very
// executable ("--execute ...") with their own DBUS_SYSTEM_BUS_ADDRESS.
#include "MyExitWin/MyExitWin.h"
#include "PrivateSystemBus.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(TMyExitWinType)

namespace {

const QString kManager = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionPrefix = QStringLiteral("/org/freedesktop/login1/session/");

// The helper as it behaves on a platform that needs no right first.
class TPlainExitWin : public TMyExitWin {
public:
    TPlainExitWin() { FIsNT = false; }
};

// Runs Execute and describes the outcome in one line.
QString Outcome(TMyExitWin& w) {
    try {
        const bool ok = w.Execute();
        return (ok ? QStringLiteral("true") : QStringLiteral("false")) +
               (w.LastError().isEmpty() ? QString() : QStringLiteral(" ") + w.LastError());
    } catch (const EAppError& e) {
        return QStringLiteral("raised ") + e.Text();
    }
}

// Child mode: "--execute <type ordinal> nt|plain"; prints the outcome.
int RunExecuteChild(char** argv) {
    int argc = 1;
    QCoreApplication app(argc, argv);
    std::unique_ptr<TMyExitWin> w = qstrcmp(argv[3], "plain") == 0
                                        ? std::make_unique<TPlainExitWin>()
                                        : std::make_unique<TMyExitWin>();
    w->SetExitWinType(TMyExitWinType(QByteArray(argv[2]).toInt()));
    std::printf("%s\n", Outcome(*w).toUtf8().constData());
    // End at once, as the program does after a power-off request: a normal
    // exit tears Qt's types down while its bus thread may still deliver.
    std::fflush(stdout);
    std::_Exit(0);
}

// The calls the mock object at path logged, as "Name(arg,arg)".
QStringList CallsOn(LogindMock& mock, const QString& path) {
    const QDBusMessage reply = mock.Mock(path, QStringLiteral("GetCalls"));
    QStringList out;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {QStringLiteral("GetCalls failed: ") + reply.errorMessage()};
    const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        qulonglong when = 0;
        QString name;
        QVariantList args;
        arg.beginStructure();
        arg >> when >> name >> args;
        arg.endStructure();
        QStringList texts;
        for (const QVariant& v : args) {
            const QVariant inner =
                v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
            texts << inner.toString();
        }
        out << name + QLatin1Char('(') + texts.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    arg.endArray();
    return out;
}

QString Raise(const char* errorName) {
    return QStringLiteral("raise dbus.exceptions.DBusException('refused by the test', name='%1')")
        .arg(QLatin1String(errorName));
}

// What a failure message carries after its code for an error that Raise made.
QString Said(const char* errorName) {
    return QStringLiteral(": %1: refused by the test").arg(QLatin1String(errorName));
}

QString Answered(const char* answer, const char* method) {
    return QStringLiteral(": logind answers \"%1\" to %2")
        .arg(QLatin1String(answer), QLatin1String(method));
}

} // namespace

class TestMyExitWin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void flagsAndActions_data();
    void flagsAndActions();
    void requestsTheMatchingAction_data();
    void requestsTheMatchingAction();
    void failuresRaise_data();
    void failuresRaise();
    void findsTheSessionToEnd_data();
    void findsTheSessionToEnd();
    void requestWithoutRight_data();
    void requestWithoutRight();
    void withoutBusOrLogind_data();
    void withoutBusOrLogind();
    void eventsFlowWhileThePasswordIsAsked();

private:
    QDBusMessage Configure(const QString& method, const QString& inSig, const QString& outSig,
                           const QString& code) {
        return mock_->Mock(kManager, QStringLiteral("AddMethod"),
                           {kManagerInterface, method, inSig, outSig, code});
    }
    // Runs Python inside the mock (objects, dbus and self in scope).
    void InMock(const QString& code) {
        const QDBusMessage reply =
            mock_->Control().call(QDBusMessage::createMethodCall(
                                      QLatin1String(LogindMock::kService), kManager,
                                      QStringLiteral("org.tavrelo.Test"), QStringLiteral("Exec"))
                                  << code);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }
    void AddSession(const QString& id) {
        const QDBusMessage reply = mock_->Mock(
            kManager, QStringLiteral("AddSession"),
            {id, QStringLiteral("seat0"), uint(getuid()), QStringLiteral("tester"), true});
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }
    void ClearCalls(const QStringList& paths) {
        for (const QString& p : paths)
            mock_->Mock(p, QStringLiteral("ClearCalls"));
    }

    QTemporaryDir dir_;
    std::unique_ptr<PrivateSystemBus> bus_;
    std::unique_ptr<PrivateSystemBus> emptyBus_;
    std::unique_ptr<LogindMock> mock_;
};

void TestMyExitWin::initTestCase() {
    QVERIFY(dir_.isValid());
    bus_ = std::make_unique<PrivateSystemBus>(dir_.path(), QStringLiteral("system"));
    emptyBus_ = std::make_unique<PrivateSystemBus>(dir_.path(), QStringLiteral("empty"));
    QVERIFY2(!bus_->Address().isEmpty(), "dbus-daemon did not start");
    QVERIFY2(!emptyBus_->Address().isEmpty(), "dbus-daemon did not start");
    // Before anything in this process touches the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus_->Address().toUtf8());
    mock_ =
        std::make_unique<LogindMock>(bus_->Address(), dir_.filePath(QStringLiteral("mock.log")));
    QVERIFY2(mock_->IsReady(), "python3 -m dbusmock --template logind did not come up");
}

void TestMyExitWin::init() {
    QVERIFY(mock_->Mock(kManager, QStringLiteral("Reset")).type() == QDBusMessage::ReplyMessage);
    // Like logind: GetSession knows only existing sessions, and this process
    // belongs to no session unless a case says otherwise.
    Configure(QStringLiteral("GetSession"), QStringLiteral("s"), QStringLiteral("o"),
              QStringLiteral("p = '%1' + args[0]\n"
                             "if p not in objects:\n"
                             "    raise dbus.exceptions.DBusException('no session', "
                             "name='org.freedesktop.login1.NoSuchSession')\n"
                             "ret = p")
                  .arg(kSessionPrefix));
    Configure(QStringLiteral("GetSessionByPID"), QStringLiteral("u"), QStringLiteral("o"),
              Raise("org.freedesktop.login1.NoSessionForPID"));
    // The template's own GetUser cannot build the path from the number.
    Configure(QStringLiteral("GetUser"), QStringLiteral("u"), QStringLiteral("o"),
              QStringLiteral("p = '/org/freedesktop/login1/user/%d' % args[0]\n"
                             "if p not in objects:\n"
                             "    raise dbus.exceptions.DBusException('no user', "
                             "name='org.freedesktop.login1.NoSuchUser')\n"
                             "ret = p"));
    mock_->Mock(kManager, QStringLiteral("AddMethod"),
                {QStringLiteral("org.tavrelo.Test"), QStringLiteral("Exec"), QStringLiteral("s"),
                 QString(), QStringLiteral("exec(args[0])")});
    qunsetenv("XDG_SESSION_ID");
    ClearCalls({kManager});
}

void TestMyExitWin::cleanup() {
    qunsetenv("XDG_SESSION_ID");
}

void TestMyExitWin::cleanupTestCase() {
    // Leave the bus before its daemon goes, or Qt's bus thread handles the
    // lost connection while the program is already shutting down.
    mock_.reset();
    QDBusConnection::disconnectFromBus(QDBusConnection::systemBus().name());
    bus_.reset();
    emptyBus_.reset();
}

void TestMyExitWin::flagsAndActions_data() {
    QTest::addColumn<TMyExitWinType>("type");
    QTest::addColumn<int>("ordinal");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<int>("action");
    const int powerOff = int(TExitAction::PowerOff);
    const int reboot = int(TExitAction::Reboot);
    const int session = int(TExitAction::TerminateSession);
    // Ordinals and flags run in different orders: ewReboot is 1 but sends 2,
    // ewShutDown is 2 but sends 1.
    QTest::newRow("ewLogoff") << ewLogoff << 0 << 0u << session;
    QTest::newRow("ewReboot") << ewReboot << 1 << 2u << reboot;
    QTest::newRow("ewShutDown") << ewShutDown << 2 << 1u << powerOff;
    QTest::newRow("ewPowerOff") << ewPowerOff << 3 << 8u << powerOff;
    QTest::newRow("ewForce") << ewForce << 4 << 4u << session;
    QTest::newRow("ewForceIfHung") << ewForceIfHung << 5 << 16u << session;
}

void TestMyExitWin::flagsAndActions() {
    QFETCH(TMyExitWinType, type);
    QFETCH(int, ordinal);
    QFETCH(uint, flags);
    QFETCH(int, action);
    static_assert(sizeof(TMyExitWinType) == 1);
    QCOMPARE(int(type), ordinal);
    QCOMPARE(ExitWinFlags(type), flags);
    QCOMPARE(int(ExitActionForFlags(flags)), action);
    // The force modifiers never change what is asked for.
    QCOMPARE(int(ExitActionForFlags(flags | EWX_FORCE | EWX_FORCEIFHUNG)), action);

    TMyExitWin w;
    QCOMPARE(w.ExitWinType(), ewLogoff);
    QVERIFY(w.IsNT());
    w.SetExitWinType(type);
    QCOMPARE(w.ExitWinType(), type);
}

void TestMyExitWin::requestsTheMatchingAction_data() {
    QTest::addColumn<TMyExitWinType>("type");
    QTest::addColumn<QString>("canAnswer");
    QTest::addColumn<QStringList>("managerCalls");
    QTest::addColumn<QStringList>("sessionCalls");
    const QStringList none;
    QTest::newRow("ewPowerOff") << ewPowerOff << "yes"
                                << QStringList{"CanPowerOff()", "PowerOff(true)"} << none;
    QTest::newRow("ewShutDown powers off")
        << ewShutDown << "yes" << QStringList{"CanPowerOff()", "PowerOff(true)"} << none;
    QTest::newRow("ewReboot") << ewReboot << "yes" << QStringList{"CanReboot()", "Reboot(true)"}
                              << none;
    // "challenge": allowed once the user authenticates; the request lets
    // logind ask for the password.
    QTest::newRow("ewPowerOff after authentication")
        << ewPowerOff << "challenge" << QStringList{"CanPowerOff()", "PowerOff(true)"} << none;
    QTest::newRow("ewLogoff") << ewLogoff << "yes" << QStringList{"GetSession(c1)"}
                              << QStringList{"Terminate()"};
    QTest::newRow("ewForce") << ewForce << "yes" << QStringList{"GetSession(c1)"}
                             << QStringList{"Terminate()"};
    QTest::newRow("ewForceIfHung")
        << ewForceIfHung << "yes" << QStringList{"GetSession(c1)"} << QStringList{"Terminate()"};
}

void TestMyExitWin::requestsTheMatchingAction() {
    QFETCH(TMyExitWinType, type);
    QFETCH(QString, canAnswer);
    QFETCH(QStringList, managerCalls);
    QFETCH(QStringList, sessionCalls);
    for (const char* can : {"CanPowerOff", "CanReboot"})
        Configure(QLatin1String(can), QString(), QStringLiteral("s"),
                  QStringLiteral("ret = '%1'").arg(canAnswer));
    AddSession(QStringLiteral("c1"));
    AddSession(QStringLiteral("c2"));
    qputenv("XDG_SESSION_ID", "c1");
    ClearCalls({kManager, kSessionPrefix + "c1", kSessionPrefix + "c2"});

    TMyExitWin w;
    w.SetExitWinType(type);
    QCOMPARE(Outcome(w), QStringLiteral("true"));
    QCOMPARE(CallsOn(*mock_, kManager), managerCalls);
    QCOMPARE(CallsOn(*mock_, kSessionPrefix + "c1"), sessionCalls);
    QCOMPARE(CallsOn(*mock_, kSessionPrefix + "c2"), QStringList());
}

void TestMyExitWin::failuresRaise_data() {
    QTest::addColumn<TMyExitWinType>("type");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("behaviour"); // Python run by the mock for method
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("managerCalls");
    const QString right = QStringLiteral("raised AdjustTokenPrivileges failed with code %1");
    const QString request = QStringLiteral("raised ExitWindowsEx failed with code %1");
    const QStringList askedPowerOff{"CanPowerOff()"};
    const QStringList askedReboot{"CanReboot()"};
    const QStringList poweredOff{"CanPowerOff()", "PowerOff(true)"};
    // Refused right: nothing is requested.
    QTest::newRow("power off forbidden")
        << ewPowerOff << "CanPowerOff"
        << "ret = 'no'" << right.arg(EPERM) + Answered("no", "CanPowerOff") << askedPowerOff;
    QTest::newRow("shut down forbidden")
        << ewShutDown << "CanPowerOff"
        << "ret = 'no'" << right.arg(EPERM) + Answered("no", "CanPowerOff") << askedPowerOff;
    QTest::newRow("reboot forbidden")
        << ewReboot << "CanReboot"
        << "ret = 'no'" << right.arg(EPERM) + Answered("no", "CanReboot") << askedReboot;
    QTest::newRow("reboot not available")
        << ewReboot << "CanReboot"
        << "ret = 'na'" << right.arg(EOPNOTSUPP) + Answered("na", "CanReboot") << askedReboot;
    QTest::newRow("unknown answer")
        << ewPowerOff << "CanPowerOff"
        << "ret = 'maybe'" << right.arg(EPERM) + Answered("maybe", "CanPowerOff") << askedPowerOff;
    QTest::newRow("asking is denied")
        << ewPowerOff << "CanPowerOff" << Raise("org.freedesktop.DBus.Error.AccessDenied")
        << right.arg(EACCES) + Said("org.freedesktop.DBus.Error.AccessDenied") << askedPowerOff;
    // Failing request.
    QTest::newRow("power off denied")
        << ewPowerOff << "PowerOff" << Raise("org.freedesktop.DBus.Error.AccessDenied")
        << request.arg(EACCES) + Said("org.freedesktop.DBus.Error.AccessDenied") << poweredOff;
    QTest::newRow("power off needs a password nobody gave")
        << ewPowerOff << "PowerOff"
        << Raise("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")
        << request.arg(EACCES) + Said("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")
        << poweredOff;
    QTest::newRow("power off fails for no named reason")
        << ewPowerOff << "PowerOff" << Raise("org.freedesktop.DBus.Error.Failed")
        << request.arg(EIO) + Said("org.freedesktop.DBus.Error.Failed") << poweredOff;
    QTest::newRow("reboot while shutting down")
        << ewReboot << "Reboot" << Raise("org.freedesktop.login1.OperationInProgress")
        << request.arg(EALREADY) + Said("org.freedesktop.login1.OperationInProgress")
        << QStringList{"CanReboot()", "Reboot(true)"};
}

void TestMyExitWin::failuresRaise() {
    QFETCH(TMyExitWinType, type);
    QFETCH(QString, method);
    QFETCH(QString, behaviour);
    QFETCH(QString, outcome);
    QFETCH(QStringList, managerCalls);
    const bool asking = method.startsWith(QLatin1String("Can"));
    Configure(method, asking ? QString() : QStringLiteral("b"),
              asking ? QStringLiteral("s") : QString(), behaviour);
    ClearCalls({kManager});

    TMyExitWin w;
    w.SetExitWinType(type);
    QCOMPARE(Outcome(w), outcome);
    QCOMPARE(w.LastError(), QString());
    QCOMPARE(CallsOn(*mock_, kManager), managerCalls);
}

void TestMyExitWin::findsTheSessionToEnd_data() {
    QTest::addColumn<QString>("xdgSessionId");
    QTest::addColumn<QString>("sessionOfPid");
    QTest::addColumn<QString>("displaySession");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("terminated");
    // Sessions c1, c2, c3 exist; the process's own is named by the columns.
    QTest::newRow("named by XDG_SESSION_ID") << "c1"
                                             << "c2"
                                             << "c3"
                                             << "true"
                                             << "c1";
    QTest::newRow("the process's session") << ""
                                           << "c2"
                                           << "c3"
                                           << "true"
                                           << "c2";
    QTest::newRow("stale XDG_SESSION_ID") << "c9"
                                          << "c2"
                                          << ""
                                          << "true"
                                          << "c2";
    QTest::newRow("the user's display session") << ""
                                                << ""
                                                << "c3"
                                                << "true"
                                                << "c3";
    QTest::newRow("no session at all")
        << ""
        << ""
        << ""
        << QStringLiteral("raised AdjustTokenPrivileges failed with code %1").arg(ESRCH) +
               Said("org.freedesktop.login1.NoSessionForPID")
        << "";
}

void TestMyExitWin::findsTheSessionToEnd() {
    QFETCH(QString, xdgSessionId);
    QFETCH(QString, sessionOfPid);
    QFETCH(QString, displaySession);
    QFETCH(QString, outcome);
    QFETCH(QString, terminated);
    const QStringList ids{QStringLiteral("c1"), QStringLiteral("c2"), QStringLiteral("c3")};
    for (const QString& id : ids)
        AddSession(id);
    if (!sessionOfPid.isEmpty())
        Configure(QStringLiteral("GetSessionByPID"), QStringLiteral("u"), QStringLiteral("o"),
                  QStringLiteral("ret = '%1%2'").arg(kSessionPrefix, sessionOfPid));
    const QString user = QStringLiteral("objects['/org/freedesktop/login1/user/%1']").arg(getuid());
    InMock(user + QStringLiteral(".Set('org.freedesktop.login1.User', 'Display', "
                                 "dbus.Struct(('%1', dbus.ObjectPath('%2')), signature='so'))")
                      .arg(displaySession, displaySession.isEmpty()
                                               ? QStringLiteral("/")
                                               : kSessionPrefix + displaySession));
    if (!xdgSessionId.isEmpty())
        qputenv("XDG_SESSION_ID", xdgSessionId.toUtf8());
    QStringList paths{kManager};
    for (const QString& id : ids)
        paths << kSessionPrefix + id;
    ClearCalls(paths);

    TMyExitWin w;
    w.SetExitWinType(ewLogoff);
    QCOMPARE(Outcome(w), outcome);
    for (const QString& id : ids)
        QCOMPARE(CallsOn(*mock_, kSessionPrefix + id),
                 id == terminated ? QStringList{"Terminate()"} : QStringList());
    // Never a power action for a log-off.
    for (const QString& call : CallsOn(*mock_, kManager))
        QVERIFY2(call.startsWith(QLatin1String("GetSession")) ||
                     call.startsWith(QLatin1String("GetUser")),
                 qPrintable(call));
}

void TestMyExitWin::requestWithoutRight_data() {
    QTest::addColumn<TMyExitWinType>("type");
    QTest::addColumn<QString>("failingMethod");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("managerCalls");
    QTest::newRow("power off accepted") << ewPowerOff << ""
                                        << "true" << QStringList{"PowerOff(true)"};
    QTest::newRow("power off refused")
        << ewPowerOff << "PowerOff" << QStringLiteral("false Error: %1").arg(EACCES)
        << QStringList{"PowerOff(true)"};
    QTest::newRow("reboot refused")
        << ewReboot << "Reboot" << QStringLiteral("false Error: %1").arg(EACCES)
        << QStringList{"Reboot(true)"};
    QTest::newRow("log off without a session")
        << ewLogoff << "" << QStringLiteral("false Error: %1").arg(ESRCH)
        << QStringList{"GetSessionByPID(0)", QStringLiteral("GetUser(%1)").arg(getuid())};
}

void TestMyExitWin::requestWithoutRight() {
    QFETCH(TMyExitWinType, type);
    QFETCH(QString, failingMethod);
    QFETCH(QString, outcome);
    QFETCH(QStringList, managerCalls);
    if (!failingMethod.isEmpty())
        Configure(failingMethod, QStringLiteral("b"), QString(),
                  Raise("org.freedesktop.DBus.Error.AccessDenied"));
    ClearCalls({kManager});

    TPlainExitWin w;
    w.SetExitWinType(type);
    QCOMPARE(Outcome(w), outcome);
    QCOMPARE(CallsOn(*mock_, kManager), managerCalls);

    // Once the cause is gone the same helper succeeds, and the old error goes.
    init();
    AddSession(QStringLiteral("c1"));
    qputenv("XDG_SESSION_ID", "c1");
    QCOMPARE(Outcome(w), QStringLiteral("true"));
}

void TestMyExitWin::withoutBusOrLogind_data() {
    QTest::addColumn<QString>("bus");
    QTest::addColumn<TMyExitWinType>("type");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("outcome");
    const QString noBus = QStringLiteral("raised OpenProcessToken failed with code %1").arg(ENOENT);
    const QString noLogind =
        QStringLiteral("raised AdjustTokenPrivileges failed with code %1").arg(EHOSTUNREACH);
    QTest::newRow("no bus, power off") << "absent" << ewPowerOff << "nt" << noBus;
    QTest::newRow("no bus, log off") << "absent" << ewLogoff << "nt" << noBus;
    QTest::newRow("no bus, without right")
        << "absent" << ewReboot << "plain" << QStringLiteral("false Error: %1").arg(ENOENT);
    QTest::newRow("no logind, power off") << "empty" << ewPowerOff << "nt" << noLogind;
    QTest::newRow("no logind, log off") << "empty" << ewForce << "nt" << noLogind;
    QTest::newRow("no logind, without right")
        << "empty" << ewPowerOff << "plain" << QStringLiteral("false Error: %1").arg(EHOSTUNREACH);
}

void TestMyExitWin::withoutBusOrLogind() {
    QFETCH(QString, bus);
    QFETCH(TMyExitWinType, type);
    QFETCH(QString, mode);
    QFETCH(QString, outcome);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_SESSION_ID"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               bus == QLatin1String("empty")
                   ? emptyBus_->Address()
                   : QStringLiteral("unix:path=") + dir_.filePath(QStringLiteral("absent.socket")));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--execute"), QString::number(int(type)), mode});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // A raised failure names the bus's own reason after its code.
    const QString out = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    if (outcome.startsWith(QLatin1String("raised ")))
        QVERIFY2(out.startsWith(outcome + QStringLiteral(": ")) && out.size() > outcome.size() + 4,
                 qPrintable(out));
    else
        QCOMPARE(out, outcome);
}

// An interactive power-off may wait minutes for the user's password. Here
// logind answers only once this process has handled a timer event during the
// wait (or fails after 30 s): a program frozen in the call fails the case.
void TestMyExitWin::eventsFlowWhileThePasswordIsAsked() {
    const QString flag = dir_.filePath(QStringLiteral("events-flowed"));
    QFile::remove(flag);
    Configure(QStringLiteral("CanPowerOff"), QString(), QStringLiteral("s"),
              QStringLiteral("ret = 'challenge'"));
    Configure(QStringLiteral("PowerOff"), QStringLiteral("b"), QString(),
              QStringLiteral("import os, time\n"
                             "deadline = time.time() + 30\n"
                             "while not os.path.exists('%1'):\n"
                             "    if time.time() > deadline:\n"
                             "        raise dbus.exceptions.DBusException('no event flowed', "
                             "name='org.freedesktop.DBus.Error.Failed')\n"
                             "    time.sleep(0.01)\n")
                  .arg(flag));
    ClearCalls({kManager});
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, this, [&flag] {
        QFile f(flag);
        QVERIFY(f.open(QIODevice::WriteOnly));
    });
    tick.start();
    TMyExitWin w;
    w.SetExitWinType(ewPowerOff);
    QCOMPARE(Outcome(w), QStringLiteral("true"));
    QCOMPARE(CallsOn(*mock_, kManager), (QStringList{"CanPowerOff()", "PowerOff(true)"}));
}

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--execute") == 0)
        return RunExecuteChild(argv);
    // Until the private bus is up, the system bus is one that does not exist:
    // nothing here may ever reach the machine's own logind.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tavrelo-test-bus");
    QCoreApplication app(argc, argv);
    TestMyExitWin test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestMyExitWin.moc"
