#include "MyExitWin.h"

#include "utPublic.h"

TExitAction ExitActionForFlags(uint32_t flags) {
    if (flags & EWX_POWEROFF)
        return TExitAction::PowerOff;
    if (flags & EWX_REBOOT)
        return TExitAction::Reboot;
    if (flags & EWX_SHUTDOWN)
        return TExitAction::PowerOff;
    return TExitAction::TerminateSession;
}

TMyExitWin::TMyExitWin(QObject* owner) : QObject(owner) {}

void TMyExitWin::SetExitWinType(TMyExitWinType value) {
    if (value != FExitWinType)
        FExitWinType = value;
}

bool TMyExitWin::Execute() {
    // Not wired to the session manager yet.
    FLastError = QStringLiteral("Error: 38");
    return false;
}

bool ShutdownWithPrivilege(uint32_t) {
    throw EAppError(QStringLiteral("ExitWindowsEx failed with code 38"));
}
