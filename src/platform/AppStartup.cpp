#include "platform/AppStartup.h"

#include "platform/ErrorDisplay.h"
#include "uFrmMain.h"
#include "utPublic.h"

#include <QTimer>

int RunTavrelo(int argc, char** argv) {
    // Placing the borderless video window on a chosen monitor needs X11;
    // on a Wayland desktop XWayland provides it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    TApplication app(argc, argv);
    InitPublicModule();
    QApplication::setApplicationName(QStringLiteral("Tavrelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrelo"));

    TFrmMain* frmMain = nullptr;
    try {
        frmMain = new TFrmMain();
    } catch (const std::exception& e) {
        ShowErrorMessage(QString::fromUtf8(e.what()));
        return 1;
    }
    // The control window becomes visible when the loop starts, also when
    // start-up hid it.
    QTimer::singleShot(0, frmMain, [frmMain] { frmMain->show(); });
    const int rc = app.exec();
    delete frmMain;
    return rc;
}
