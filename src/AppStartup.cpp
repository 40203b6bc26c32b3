#include "AppStartup.h"

#include "AppTranslations.h"
#include "Demo.h"
#include "utPublic/ErrorDisplay.h"
#include "uFrmMain.h"
#include "utPublic/utPublic.h"

#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include <cstdio>

int RunTavrelo(int argc, char** argv) {
    // Placing the borderless video window on a chosen monitor needs X11;
    // on a Wayland desktop XWayland provides it. A session that asks Qt for
    // Wayland (QT_QPA_PLATFORM=wayland, as some desktops export) is
    // overridden too: a Wayland client cannot choose its monitor.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!qEnvironmentVariableIsEmpty("DISPLAY") &&
        (platform.isEmpty() || platform.startsWith("wayland")))
        qputenv("QT_QPA_PLATFORM", "xcb");

    TApplication app(argc, argv);
    InitPublicModule();
    QApplication::setApplicationName(QStringLiteral("Tavrelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrelo"));
    InstallQtTranslations(QLocale::system());

    // The run command's first-start demo (never without TAVRELO_DEMO).
    const TDemoMode demo = DemoModeFromEnvironment();
    const QString demoDir = QFileInfo(IniFileName).absolutePath() + QStringLiteral("/demo");
    if (demo != TDemoMode::dmNone) {
        QString error;
        if (!PrepareDemo(demoDir, &error))
            std::fprintf(stderr, "tavrelo: the demo clip could not be made: %s\n",
                         error.toLocal8Bit().constData());
    }

    TFrmMain* frmMain = nullptr;
    try {
        frmMain = new TFrmMain();
    } catch (const std::exception& e) {
        ShowErrorMessage(QString::fromUtf8(e.what()));
        return 1;
    }
    if (demo == TDemoMode::dmHeadless)
        StartDemoObserver(frmMain, demoDir);
    // The control window becomes visible when the loop starts, also when
    // start-up hid it, and is activated: its first activation puts it behind
    // the video window when auto-play started a section. Asked for
    // explicitly, so that it happens also where no window manager hands out
    // the focus (a bare X server).
    QTimer::singleShot(0, frmMain, [frmMain] {
        frmMain->show();
        frmMain->activateWindow();
    });
    const int rc = app.exec();
    delete frmMain;
    return rc;
}
