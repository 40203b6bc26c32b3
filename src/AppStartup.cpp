#include "AppStartup.h"

#include "AppInstance.h"
#include "AppTranslations.h"
#include "Demo.h"
#include "uFrmMain.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace {

// The media file the command line names: empty for none; false (with a
// one-line usage message on stderr) for anything else, and for a name that
// does not exist. Relative names are taken from the working folder.
bool ParseArguments(const QStringList& args, QString* file) {
    QStringList rest = args.mid(1);
    if (!rest.isEmpty() && rest.first() == QStringLiteral("--"))
        rest.removeFirst();
    else if (!rest.isEmpty() && rest.first().startsWith(u'-'))
        rest.prepend(QString()); // an option: none is known
    if (rest.isEmpty())
        return true;
    if (rest.size() == 1 && !rest.first().isEmpty() && QFileInfo::exists(rest.first())) {
        *file = QFileInfo(rest.first()).absoluteFilePath();
        return true;
    }
    const QString why = rest.size() == 1 && !rest.first().isEmpty()
                            ? QStringLiteral(" (no such file: %1)").arg(rest.first())
                            : QString();
    std::fprintf(stderr, "usage: tavrelo [MEDIA-FILE]%s\n", why.toLocal8Bit().constData());
    return false;
}

} // namespace

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

    QString file;
    if (!ParseArguments(QCoreApplication::arguments(), &file))
        return 2;
    // One player per settings file: two would undo each other's edits. A
    // later start hands its file to the running player and ends.
    TSingleInstance instance(InstanceSocketPath(IniFileName));
    QString refusal;
    switch (instance.HandOver(file, &refusal)) {
    case TSingleInstance::THandOver::Taken:
        return 0;
    case TSingleInstance::THandOver::Refused:
        std::fprintf(stderr, "tavrelo: %s\n", refusal.toLocal8Bit().constData());
        return 1;
    case TSingleInstance::THandOver::NoPlayer:
        break;
    }
    instance.SetCheck(&TFrmMain::MediaFileRefusal);
    // Files handed over while the window is still being made (its start-up
    // waits with the event loop running) are opened once it is up.
    TFrmMain* frmMain = nullptr;
    instance.SetReady([&frmMain] { return frmMain && !frmMain->ActionRunning(); });
    QStringList handedOver;
    QObject::connect(&instance, &TSingleInstance::Received, &instance,
                     [&frmMain, &handedOver](const QString& f) {
                         if (!frmMain) {
                             handedOver << f;
                             return;
                         }
                         if (!f.isEmpty())
                             frmMain->OpenMediaFile(f);
                         frmMain->ActShowControls();
                     });
    QString listenError;
    if (!instance.Listen(&listenError))
        std::fprintf(stderr, "tavrelo: a second start cannot reach this player: %s\n",
                     listenError.toLocal8Bit().constData());
    TFrmMain::StartFile = file;

    // The run command's first-start demo (never without TAVRELO_DEMO).
    const TDemoMode demo = DemoModeFromEnvironment();
    const QString demoDir = QFileInfo(IniFileName).absolutePath() + QStringLiteral("/demo");
    if (demo != TDemoMode::dmNone) {
        QString error;
        if (!PrepareDemo(demoDir, &error))
            std::fprintf(stderr, "tavrelo: the demo clip could not be made: %s\n",
                         error.toLocal8Bit().constData());
    }

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
    QTimer::singleShot(0, frmMain, [frmMain, file, &handedOver] {
        frmMain->show();
        frmMain->activateWindow();
        if (!file.isEmpty())
            frmMain->OpenMediaFile(file);
        for (const QString& f : std::exchange(handedOver, {}))
            if (!f.isEmpty())
                frmMain->OpenMediaFile(f);
    });
    const int rc = app.exec();
    delete std::exchange(frmMain, nullptr);
    return rc;
}
