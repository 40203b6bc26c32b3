#include "MyExitWin/MyExitWin.h"

#include "MyExitWin/LogindManager.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <cerrno>

namespace {

// Logind's answers to CanPowerOff / CanReboot that let us go on: "yes", and
// "challenge", which means the user is allowed after authenticating. The
// request is always sent with interactive set, so in that case the user's
// authentication agent asks for the password (the user chose to switch the
// computer off at the end of the schedule; they are the one to confirm it).
bool RightGranted(const QString& answer) {
    return answer == QLatin1String("yes") || answer == QLatin1String("challenge");
}

// The code reported when logind refuses the right: "na" means the action does
// not exist on this machine, "no" (or anything unknown) that it is forbidden.
int RefusalCode(const QString& answer) {
    return answer == QLatin1String("na") ? EOPNOTSUPP : EPERM;
}

// The fixed start, the code and, when there is one, logind's own words.
QString WithCode(const char* text, int code, const QString& detail) {
    QString message = QLatin1String(text) + QString::number(code);
    if (!detail.isEmpty())
        message += QStringLiteral(": ") + detail;
    return message;
}

QString RefusalText(const char* method, const QString& answer) {
    return QCoreApplication::translate("Messages", "logind answers \"%1\" to %2")
        .arg(answer, QLatin1String(method));
}

// Sends the request itself. For a log-off the session has been found already.
bool RequestExit(TLogindManager& logind, TExitAction action, const QString& session) {
    switch (action) {
    case TExitAction::PowerOff:
        return logind.PowerOff(true);
    case TExitAction::Reboot:
        return logind.Reboot(true);
    case TExitAction::TerminateSession:
        return logind.TerminateSession(session);
    }
    return false;
}

} // namespace

// Logind has no "force" option: at power-off or reboot every service and
// session is stopped and whatever does not end within its stop timeout is
// killed, and terminating a session kills its processes the same way. So
// EWX_FORCE and EWX_FORCEIFHUNG change nothing, and each kind maps by its
// action bits alone: ewLogoff (0), ewForce (4, a forced log-off) and
// ewForceIfHung (16, a log-off that forces hung applications) all end the
// current session. EWX_SHUTDOWN alone would halt the machine without
// switching it off; nobody wants a halted machine that still hums, so it
// powers off like EWX_POWEROFF.
TExitAction ExitActionForFlags(uint32_t flags) {
    if (flags & EWX_POWEROFF)
        return TExitAction::PowerOff;
    if (flags & EWX_REBOOT)
        return TExitAction::Reboot;
    if (flags & EWX_SHUTDOWN)
        return TExitAction::PowerOff;
    return TExitAction::TerminateSession;
}

// Under logind every power action is decided by policy per user and action,
// so the right is always obtained first: IsNT holds on every system we run on.
TMyExitWin::TMyExitWin(QObject* owner) : QObject(owner), FExitWinType(ewLogoff), FIsNT(true) {}

void TMyExitWin::SetExitWinType(TMyExitWinType value) {
    if (value != FExitWinType)
        FExitWinType = value;
}

bool TMyExitWin::Execute() {
    // LastError describes this call only; a success after a failure must not
    // leave the old error behind.
    FLastError.clear();
    const uint32_t flags = ExitWinFlags(FExitWinType);
    bool result = false;
    int code = 0;
    if (FIsNT) {
        // Raises on every failure; nothing below runs then.
        result = ShutdownWithPrivilege(flags);
    } else {
        // Request straight away, without asking for the right.
        TLogindManager logind;
        const TExitAction action = ExitActionForFlags(flags);
        QString session;
        result = logind.IsConnected() &&
                 (action != TExitAction::TerminateSession || logind.CurrentSession(session)) &&
                 RequestExit(logind, action, session);
        code = logind.LastErrorCode();
    }
    if (!result)
        FLastError = QStringLiteral("Error: ") + QString::number(code);
    return result;
}

bool ShutdownWithPrivilege(uint32_t flags) {
    TLogindManager logind;
    if (!logind.IsConnected())
        throw EAppError(WithCode("OpenProcessToken failed with code ", logind.LastErrorCode(),
                                 logind.LastErrorText()));

    const TExitAction action = ExitActionForFlags(flags);
    QString session;
    if (action == TExitAction::TerminateSession) {
        // Ending our own session needs no grant beyond owning it; the right
        // here is knowing which session is ours.
        if (!logind.CurrentSession(session))
            throw EAppError(WithCode("AdjustTokenPrivileges failed with code ",
                                     logind.LastErrorCode(), logind.LastErrorText()));
    } else {
        const char* method = action == TExitAction::PowerOff ? "CanPowerOff" : "CanReboot";
        QString answer;
        const bool asked =
            action == TExitAction::PowerOff ? logind.CanPowerOff(answer) : logind.CanReboot(answer);
        if (!asked)
            throw EAppError(WithCode("AdjustTokenPrivileges failed with code ",
                                     logind.LastErrorCode(), logind.LastErrorText()));
        if (!RightGranted(answer))
            throw EAppError(WithCode("AdjustTokenPrivileges failed with code ", RefusalCode(answer),
                                     RefusalText(method, answer)));
    }

    if (!RequestExit(logind, action, session))
        throw EAppError(WithCode("ExitWindowsEx failed with code ", logind.LastErrorCode(),
                                 logind.LastErrorText()));
    return true;
}
