// Text, time, INI access, delays and the module's start-up. The grid helpers
// and the row encoding are in utPublicGrid.cpp.
#include "utPublic/utPublic.h"

#include "utPublic/AppPaths.h"
#include "utPublic/Clock.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/IniFile.h"

#include <QApplication>
#include <QHash>
#include <QMessageBox>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <optional>
#include <unistd.h>

QString IniFileName;
QString IniFileNotice;

namespace {

// Shown when the system offers no high-resolution counter. The program goes
// on; every delay is then zero.
void ReportMissingCounter() {
    const QString text = QStringLiteral("对不起,发现该计算机没有高性能计数器.") +
                         QStringLiteral("\r\n") +
                         QStringLiteral("请升级您的计算机和操作系统.系统退出");
    std::fprintf(stderr, "Tavrelo: %s\n", text.toLocal8Bit().constData());
    if (!MessageBoxesShown())
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tavrelo"), text, QMessageBox::Ok);
    box.exec();
}

} // namespace

void InitPublicModule() {
    IniFileNotice.clear();
    IniFileName = SettingsFilePath(ExecutableDir(), &IniFileNotice);
    PerfFrequency = QueryPerfFrequency();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        IniFile::SetUnreadableReport([](const QString& text) { ShowErrorNotice(text, nullptr); });
    if (PerfFrequency == 0)
        ReportMissingCounter();
}

// --- Delays and process end ----------------------------------------------------

// Ending the own process needs no privilege on Linux; kept so that callers
// read as on other systems. Always succeeds.
bool EnableDebugPrivilege(bool /*enable*/) {
    return true;
}

void TerminateSelf() {
    EnableDebugPrivilege(true);
    std::fflush(nullptr);
    // _exit: no window close handler, no atexit handler, no static destructor.
    ::_exit(1);
}
