#include "AppStartup.h"

#include "AppInstance.h"
#include "AppTranslations.h"
#include "Demo.h"
#include "engine/SectionEngine.h"
#include "media/gst/GstAudioOutput.h"
#include "settings/Settings.h"
#include "uFrmMain.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// The one usage text: printed by --help, and the build turns that output into
// the manual page (help2man), so the two never differ.
constexpr const char* kUsage = R"(Usage: tavrelo [OPTION] [MEDIA-FILE]
Plays MEDIA-FILE, or the file played last, section by section: each section
as many times as its count says, with a muted pause before each repetition.
The sections of dance.mp4 are kept in dancemp4.INI beside it.

Options:
  -h, --help      show this help and exit
  -V, --version   show the version and exit

Keys:
  Space           pause / play
  Left, Right     10 s back / forward
  Up, Down        volume up / down
  [, ]            slower / faster
  PgUp, PgDn      previous / next section
  Home            restart the section
  1 ... 9         play section 1 ... 9
  Insert, N       add a section at the playing position
  M               mirror the picture
  Esc, H          show / hide the control window
  T               show / hide the timeline
  Ctrl+O          open a media file
  Ctrl+S          save the sections

  The keys act on the video window, and on the control window where they do
  not clash with the table.

Files:
  system.INI beside the executable holds the options; an installed player
  (and one in a folder the user may not write to) keeps it in
  $XDG_CONFIG_HOME/tavrelo/ (~/.config/tavrelo/).

A second start hands its file to the player already running and ends.
)";

enum class TEarlyExit { eeNone, eeHelp, eeVersion };

// --help and --version are answered before anything else: no display, no
// settings file, no folder is needed or made for them. Only arguments before
// a "--" count as options.
TEarlyExit EarlyOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            return TEarlyExit::eeHelp;
        if (arg == "--version" || arg == "-V")
            return TEarlyExit::eeVersion;
    }
    return TEarlyExit::eeNone;
}

// The video window is placed on its monitor through X11 (XWayland on a
// Wayland desktop), so a start needs DISPLAY, unless Qt was told to use a
// platform of its own (offscreen, minimal, vnc...) or given one on the
// command line (-platform, -display).
bool HasDisplay(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            break;
        if (arg == "-platform" || arg == "--platform" || arg == "-display" || arg == "--display")
            return true;
    }
    return false;
}

// The media file the command line names: empty for none; false (with a
// one-line usage message on stderr) for an unknown option or more than one
// name. Relative names are taken from the working folder. A name that does
// not exist is passed on: opening it tells the user in a message window, as
// a start from the menu or a file manager has no terminal to read.
bool ParseArguments(const QStringList& args, QString* file) {
    QStringList rest = args.mid(1);
    if (!rest.isEmpty() && rest.first() == QStringLiteral("--"))
        rest.removeFirst();
    else if (!rest.isEmpty() && rest.first().startsWith(u'-'))
        rest.prepend(QString()); // an option: none is known here
    if (rest.isEmpty())
        return true;
    if (rest.size() == 1 && !rest.first().isEmpty()) {
        *file = QFileInfo(rest.first()).absoluteFilePath();
        return true;
    }
    std::fprintf(stderr, "usage: tavrelo [OPTION] [MEDIA-FILE] (tavrelo --help lists them)\n");
    return false;
}

// While the application object connects to the display: Qt's platform
// messages are held back, and a display that cannot be opened (DISPLAY names
// a server that is gone, or one this user may not use) ends the start with
// one line and exit status 1 instead of Qt's abort and its page of advice.
QtMessageHandler PreviousHandler = nullptr;

void ConnectingMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "tavrelo: cannot open the display %s: start it from a desktop "
                     "session, or see tavrelo --help\n",
                     qEnvironmentVariableIsEmpty("DISPLAY") ? qgetenv("QT_QPA_PLATFORM").constData()
                                                            : qgetenv("DISPLAY").constData());
        std::_Exit(1);
    }
    if (context.category && QByteArray(context.category).startsWith("qt.qpa."))
        return;
    if (PreviousHandler)
        PreviousHandler(type, context, text);
}

} // namespace

int RunTavrelo(int argc, char** argv) {
    switch (EarlyOption(argc, argv)) {
    case TEarlyExit::eeHelp:
        std::fputs(kUsage, stdout);
        return 0;
    case TEarlyExit::eeVersion:
        std::printf("tavrelo %s\n", TAVRELO_VERSION);
        return 0;
    case TEarlyExit::eeNone:
        break;
    }
    if (!HasDisplay(argc, argv)) {
        std::fprintf(stderr, "tavrelo: no X display (DISPLAY is not set): start it from a desktop "
                             "session, or see tavrelo --help\n");
        return 1;
    }

    // Placing the borderless video window on a chosen monitor needs X11;
    // on a Wayland desktop XWayland provides it. A session that asks Qt for
    // Wayland (QT_QPA_PLATFORM=wayland, as some desktops export) is
    // overridden too: a Wayland client cannot choose its monitor.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!qEnvironmentVariableIsEmpty("DISPLAY") &&
        (platform.isEmpty() || platform.startsWith("wayland")))
        qputenv("QT_QPA_PLATFORM", "xcb");

    PreviousHandler = qInstallMessageHandler(ConnectingMessage);
    TApplication app(argc, argv);
    qInstallMessageHandler(PreviousHandler);
    InitPublicModule();
    QApplication::setApplicationName(QStringLiteral("Tavrelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrelo"));
    InstallTranslations(ReadSetting(IniFileName, Setting::Language));

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
    instance.SetReady([&frmMain] { return frmMain && !frmMain->Engine->Waiting(); });
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
    // The headless demo runs under a private X server with no one to listen:
    // its sound goes nowhere, and the sound libraries are not asked for a
    // device they would only complain is missing.
    if (demo == TDemoMode::dmHeadless)
        SetAudioOutput(TAudioOutputKind::Discard);
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
