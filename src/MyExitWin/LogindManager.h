// A thin client of systemd-logind (org.freedesktop.login1) on the system
// D-Bus: whether this user may power off or reboot, the requests themselves,
// and ending the current session.
//
// Every call waits until logind answers; PowerOff and Reboot, which may wait
// for the user's password, handle the thread's events meanwhile (handlers of
// the program may run inside them), the others block. A call returns
// false on failure and leaves the reason in LastErrorCode() (an errno value)
// and LastErrorText() (the D-Bus error name and message), the way a platform
// "last error" works; a successful call clears them.
#pragma once

#include <QDBusConnection>
#include <QString>

class TLogindManager {
public:
    // On the system bus (DBUS_SYSTEM_BUS_ADDRESS, else the standard socket).
    TLogindManager();
    // On a given connection.
    explicit TLogindManager(const QDBusConnection& bus);

    // False when the bus could not be reached; the reason is the last error.
    bool IsConnected() const;

    // CanPowerOff / CanReboot: answer is logind's "yes", "challenge" (allowed
    // after authentication), "no" or "na" (not available here).
    bool CanPowerOff(QString& answer);
    bool CanReboot(QString& answer);

    // PowerOff / Reboot. With interactive, logind may have the user's
    // authentication agent ask for a password; the call then waits for it
    // (at most two minutes), handling events.
    bool PowerOff(bool interactive);
    bool Reboot(bool interactive);

    // The object path of the session this process belongs to. Tried in turn:
    // the session named by XDG_SESSION_ID, the session of this process
    // (GetSessionByPID), and the display session of this user (applications
    // started by a systemd user manager belong to no session themselves).
    bool CurrentSession(QString& sessionPath);
    // Ends the session: logind stops all its processes, this one included.
    bool TerminateSession(const QString& sessionPath);

    int LastErrorCode() const { return FLastErrorCode; }
    QString LastErrorText() const { return FLastErrorText; }

private:
    bool CanDo(const char* method, QString& answer);
    bool Request(const char* method, bool interactive);
    bool SessionOfUser(QString& sessionPath);
    bool Failed(const QString& errorName, const QString& message);
    bool Succeeded();

    QDBusConnection FBus;
    int FLastErrorCode = 0;
    QString FLastErrorText;
};

// The errno value that best describes a D-Bus error name (EIO when none does).
int ErrnoForDBusError(const QString& errorName);
