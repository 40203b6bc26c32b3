#include "MyExitWin/LogindManager.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QVariant>

#include <cerrno>
#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kUserInterface = QStringLiteral("org.freedesktop.login1.User");

// An interactive request may wait for the user to type a password into the
// authentication agent. That happens at the end of a schedule, possibly with
// nobody at the computer: give them a while, then report the request as
// failed (ETIMEDOUT) rather than block the program for ever.
constexpr int kAuthenticationWaitMs = 2 * 60 * 1000;

QDBusMessage ManagerCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, method);
}

// Waits for the reply while the thread goes on handling its events, as
// DelayMs does: the user may take minutes over the password, and the windows
// must not freeze meanwhile. Any handler of the program may run inside this
// wait. A thread without an event loop simply blocks.
void WaitHandlingEvents(QDBusPendingCall& pending) {
    if (pending.isFinished())
        return;
    if (!QCoreApplication::instance() || !QAbstractEventDispatcher::instance()) {
        pending.waitForFinished();
        return;
    }
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    // The reply may have come in while the watcher was being set up.
    if (!pending.isFinished())
        loop.exec();
}

} // namespace

int ErrnoForDBusError(const QString& errorName) {
    struct Entry {
        const char* name;
        int code;
    };
    static const Entry table[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES},
        {"org.freedesktop.DBus.Error.AuthFailed", EACCES},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", EACCES},
        {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.Timeout", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.TimedOut", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.ServiceUnknown", EHOSTUNREACH},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", EHOSTUNREACH},
        {"org.freedesktop.DBus.Error.UnknownMethod", EOPNOTSUPP},
        {"org.freedesktop.DBus.Error.UnknownInterface", EOPNOTSUPP},
        {"org.freedesktop.DBus.Error.UnknownProperty", EOPNOTSUPP},
        {"org.freedesktop.DBus.Error.NotSupported", EOPNOTSUPP},
        {"org.freedesktop.DBus.Error.UnknownObject", ENOENT},
        {"org.freedesktop.DBus.Error.FileNotFound", ENOENT},
        {"org.freedesktop.DBus.Error.InvalidArgs", EINVAL},
        {"org.freedesktop.DBus.Error.InvalidSignature", EINVAL},
        {"org.freedesktop.DBus.Error.BadAddress", EADDRNOTAVAIL},
        {"org.freedesktop.DBus.Error.NoMemory", ENOMEM},
        {"org.freedesktop.DBus.Error.LimitsExceeded", ENOBUFS},
        {"org.freedesktop.DBus.Error.NoServer", ECONNREFUSED},
        {"org.freedesktop.DBus.Error.NoNetwork", ENETUNREACH},
        {"org.freedesktop.DBus.Error.Disconnected", ENOTCONN},
        {"org.freedesktop.login1.NoSuchSession", ENXIO},
        {"org.freedesktop.login1.NoSuchUser", ENXIO},
        {"org.freedesktop.login1.NoSessionForPID", ESRCH},
        {"org.freedesktop.login1.NoUserForPID", ESRCH},
        {"org.freedesktop.login1.OperationInProgress", EALREADY},
    };
    for (const Entry& e : table) {
        if (errorName == QLatin1String(e.name))
            return e.code;
    }
    return EIO;
}

TLogindManager::TLogindManager() : TLogindManager(QDBusConnection::systemBus()) {}

TLogindManager::TLogindManager(const QDBusConnection& bus) : FBus(bus) {
    if (!FBus.isConnected()) {
        const QDBusError error = FBus.lastError();
        // An unreachable bus without a named reason: not connected.
        Failed(error.isValid() ? error.name()
                               : QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
               error.message());
    }
}

bool TLogindManager::IsConnected() const {
    return FBus.isConnected();
}

bool TLogindManager::Failed(const QString& errorName, const QString& message) {
    FLastErrorCode = ErrnoForDBusError(errorName);
    FLastErrorText = message.isEmpty() ? errorName : errorName + QStringLiteral(": ") + message;
    return false;
}

bool TLogindManager::Succeeded() {
    FLastErrorCode = 0;
    FLastErrorText.clear();
    return true;
}

bool TLogindManager::CanDo(const char* method, QString& answer) {
    const QDBusMessage reply = FBus.call(ManagerCall(QLatin1String(method)));
    if (reply.type() == QDBusMessage::ErrorMessage)
        return Failed(reply.errorName(), reply.errorMessage());
    const QVariantList args = reply.arguments();
    if (args.isEmpty() || args.first().metaType() != QMetaType::fromType<QString>())
        return Failed(QStringLiteral("org.freedesktop.DBus.Error.InvalidSignature"),
                      QCoreApplication::translate("Messages", "%1 returned no text")
                          .arg(QLatin1String(method)));
    answer = args.first().toString();
    return Succeeded();
}

bool TLogindManager::CanPowerOff(QString& answer) {
    return CanDo("CanPowerOff", answer);
}

bool TLogindManager::CanReboot(QString& answer) {
    return CanDo("CanReboot", answer);
}

bool TLogindManager::Request(const char* method, bool interactive) {
    QDBusMessage call = ManagerCall(QLatin1String(method));
    call << interactive;
    // Without interactive logind refuses at once when authentication would be
    // needed, so the default reply timeout is enough.
    QDBusPendingCall pending = FBus.asyncCall(call, interactive ? kAuthenticationWaitMs : -1);
    WaitHandlingEvents(pending);
    const QDBusMessage reply = pending.reply();
    if (reply.type() == QDBusMessage::ErrorMessage)
        return Failed(reply.errorName(), reply.errorMessage());
    return Succeeded();
}

bool TLogindManager::PowerOff(bool interactive) {
    return Request("PowerOff", interactive);
}

bool TLogindManager::Reboot(bool interactive) {
    return Request("Reboot", interactive);
}

bool TLogindManager::CurrentSession(QString& sessionPath) {
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    if (!id.isEmpty()) {
        QDBusMessage call = ManagerCall(QStringLiteral("GetSession"));
        call << id;
        const QDBusReply<QDBusObjectPath> reply = FBus.call(call);
        // A stale id (inherited from elsewhere) falls through to the others.
        if (reply.isValid()) {
            sessionPath = reply.value().path();
            return Succeeded();
        }
    }

    QDBusMessage call = ManagerCall(QStringLiteral("GetSessionByPID"));
    call << uint(0); // 0: the caller, as logind sees it (right inside a PID namespace too)
    const QDBusReply<QDBusObjectPath> reply = FBus.call(call);
    if (reply.isValid()) {
        sessionPath = reply.value().path();
        return Succeeded();
    }
    const QDBusError byPid = reply.error();
    if (SessionOfUser(sessionPath))
        return true;
    // The process's own lookup says most about why no session was found.
    return Failed(byPid.name(), byPid.message());
}

bool TLogindManager::SessionOfUser(QString& sessionPath) {
    QDBusMessage call = ManagerCall(QStringLiteral("GetUser"));
    call << uint(getuid());
    const QDBusReply<QDBusObjectPath> user = FBus.call(call);
    if (!user.isValid())
        return false;

    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, user.value().path(), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kUserInterface << QStringLiteral("Display");
    const QDBusReply<QDBusVariant> display = FBus.call(get);
    if (!display.isValid())
        return false;
    // Display is a struct (session id, session path); path "/" means none.
    const QVariant value = display.value().variant();
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return false;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::StructureType)
        return false;
    QString sessionId;
    QDBusObjectPath path;
    arg.beginStructure();
    arg >> sessionId >> path;
    arg.endStructure();
    if (path.path().isEmpty() || path.path() == QLatin1String("/"))
        return false;
    sessionPath = path.path();
    return Succeeded();
}

bool TLogindManager::TerminateSession(const QString& sessionPath) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kService, sessionPath, kSessionInterface, QStringLiteral("Terminate"));
    const QDBusMessage reply = FBus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return Failed(reply.errorName(), reply.errorMessage());
    return Succeeded();
}
