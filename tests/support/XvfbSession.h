// Starts a private Xvfb server for a test that needs a real X display
// (screenshots, window placement, several monitors) and stops it again.
#pragma once

#include <QProcess>
#include <QString>

class XvfbSession {
public:
    // Starts "Xvfb :N -screen 0 <width>x<height>x24" on a free display number.
    XvfbSession(int width = 1920, int height = 1080);
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool IsRunning() const { return !display_.isEmpty(); }
    // ":N", or empty when the server could not be started.
    QString Display() const { return display_; }
    // The server's process id (for measuring its CPU), or 0.
    qint64 ServerPid() const { return server_.processId(); }
    // Runs a program (xrandr, xdpyinfo, ...) against this display; returns
    // its exit code, or -1 when it could not run. Output goes to *out.
    int Run(const QString& program, const QStringList& args, QString* out = nullptr) const;

private:
    QProcess server_;
    QString display_;
};

// Runs a program against the X display `display` (":N"); returns its exit
// code, or -1 when it could not run or did not finish in 20 s. Output
// (standard output and error) goes to *out.
int RunOnDisplay(const QString& display, const QString& program, const QStringList& args,
                 QString* out = nullptr);

// Directory for artefacts a person may want to look at (screenshots):
// $TAVRELO_ARTEFACTS, else <build>/artefacts. Created on demand.
QString ArtefactDir();
