// TMyExitWin ends the user's session: log off, restart, shut down or switch
// off the computer. The control window owns one (ExitWin) and uses it when a
// schedule finishes in the "播完关机" mode:
//
//     ExitWin->SetExitWinType(ewPowerOff);
//     ExitWin->Execute();   // may raise EAppError (utPublic.h)
//     TerminateSelf();
//
// On this platform the session is ended by systemd-logind on the system
// D-Bus (MyExitWin/LogindManager.h). "Obtaining the right" means asking logind
// whether this user may perform the action; the request is the logind call.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// The kind of exit. The ordinals are stored in one byte; they are not in the
// order of the exit flags each kind stands for (see ExitWinFlags).
enum TMyExitWinType : uint8_t {
    ewLogoff = 0,
    ewReboot = 1,
    ewShutDown = 2,
    ewPowerOff = 3,
    ewForce = 4,
    ewForceIfHung = 5,
};

// Exit flags. A request is described by these bits; the action bits
// (EWX_SHUTDOWN, EWX_REBOOT, EWX_POWEROFF) all clear mean log off, and
// EWX_FORCE / EWX_FORCEIFHUNG only say how hard to push applications.
constexpr uint32_t EWX_LOGOFF = 0;
constexpr uint32_t EWX_SHUTDOWN = 1;
constexpr uint32_t EWX_REBOOT = 2;
constexpr uint32_t EWX_FORCE = 4;
constexpr uint32_t EWX_POWEROFF = 8;
constexpr uint32_t EWX_FORCEIFHUNG = 16;

// The flags each kind of exit sends with its request.
constexpr uint32_t ExitWinFlags(TMyExitWinType type) {
    switch (type) {
    case ewLogoff:
        return EWX_LOGOFF;
    case ewReboot:
        return EWX_REBOOT;
    case ewShutDown:
        return EWX_SHUTDOWN;
    case ewPowerOff:
        return EWX_POWEROFF;
    case ewForce:
        return EWX_FORCE;
    case ewForceIfHung:
        return EWX_FORCEIFHUNG;
    }
    return EWX_LOGOFF;
}

// What the session manager is asked to do for a set of exit flags.
enum class TExitAction : uint8_t {
    PowerOff,         // logind PowerOff
    Reboot,           // logind Reboot
    TerminateSession, // the current session's Terminate (log off)
};

TExitAction ExitActionForFlags(uint32_t flags);

class TMyExitWin : public QObject {
    Q_OBJECT
public:
    // ExitWinType starts as ewLogoff; IsNT is decided here.
    explicit TMyExitWin(QObject* owner = nullptr);

    TMyExitWinType ExitWinType() const { return FExitWinType; }
    void SetExitWinType(TMyExitWinType value);

    // "Error: N" after an Execute that returned false; empty otherwise.
    QString LastError() const { return FLastError; }

    // True when the platform must grant the right before an exit is requested
    // (always so under logind: its policy decides per user and action).
    bool IsNT() const { return FIsNT; }

    // Requests the exit of kind ExitWinType. Returns true when the request was
    // accepted; the session then ends asynchronously and the caller runs on
    // until it is stopped. With IsNT every failure raises EAppError (see
    // ShutdownWithPrivilege); otherwise a failure returns false and sets
    // LastError.
    bool Execute();

protected:
    TMyExitWinType FExitWinType = ewLogoff;
    QString FLastError;
    bool FIsNT = true;
};

// Obtains the right to end the session and requests the exit described by
// flags. Returns true, or raises EAppError with one of:
//   "OpenProcessToken failed with code N: ..."       the system bus cannot be reached
//   "AdjustTokenPrivileges failed with code N: ..."  logind does not allow the action
//                                                    (or the session to end is unknown)
//   "ExitWindowsEx failed with code N: ..."          the request itself failed
// N is an errno value (EACCES, ETIMEDOUT, ...) describing the failure; after
// ": " follow logind's (or the bus's) own words, or logind's answer when it
// refused the right.
bool ShutdownWithPrivilege(uint32_t flags);
