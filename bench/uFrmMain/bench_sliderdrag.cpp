// A 2-second volume drag on the control window: how often the settings file
// is written. "each step" writes the value at every drag step, as the window
// did before; "window" is the real drag through the control window's slider.
// Both drags take the same steps at the same pace in one run; a write is
// counted when the file's inode changes (every write replaces the file).
#include "../BenchKit.h"
#include "controls/uTransTrackBar.h"
#include "uFrmMain.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstdio>
#include <functional>

namespace {
constexpr int kDragMs = 2000;
constexpr int kStepMs = 5;

ino_t Inode(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

struct Drag {
    int steps = 0;
    int writes = 0;
    double seconds = 0;
};

// Runs step(i) every kStepMs for kDragMs, handling events between steps, and
// counts the replacements of the settings file.
Drag Run(const std::function<void(int)>& step, const std::function<void()>& end) {
    Drag d;
    ino_t last = Inode(IniFileName);
    auto look = [&] {
        const ino_t now = Inode(IniFileName);
        if (now != last)
            ++d.writes;
        last = now;
    };
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kDragMs) {
        step(d.steps++);
        look();
        const qint64 next = qint64(d.steps) * kStepMs;
        while (t.elapsed() < next)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        look();
    }
    end();
    look();
    d.seconds = t.nsecsElapsed() / 1e9;
    return d;
}
} // namespace

int main(int argc, char** argv) {
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    IniFileName = dir.filePath(QStringLiteral("system.INI"));
    TFrmMain frm;
    TTransTrackBar* s = frm.SoundLevel2;
    const int y = s->height() / 2;
    const int span = s->width() - s->ThumWidth();
    auto send = [s, y](QEvent::Type type, int x, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(x, y), s->mapToGlobal(QPointF(x, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(s, &e);
    };
    // The pointer sweeps the band back and forth, one pixel a step.
    auto xAt = [&](int i) {
        const int k = i % (2 * span);
        return s->ThumWidth() / 2 + (k < span ? span - k : k - span);
    };

    const Drag before = Run(
        [&](int i) {
            const int v = int((10000.0 * (xAt(i) - s->ThumWidth() / 2)) / span);
            WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("SoundLevel2"),
                        QString::number(v));
        },
        [] {});

    s->SetPosition(10000.0);
    QCoreApplication::processEvents();
    send(QEvent::MouseButtonPress, xAt(0), Qt::LeftButton);
    const Drag after = Run([&](int i) { send(QEvent::MouseMove, xAt(i + 1), Qt::LeftButton); },
                           [&] { send(QEvent::MouseButtonRelease, xAt(0), Qt::NoButton); });
    const bool last =
        ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("SoundLevel2")) ==
        QString::number(qRound(s->Position()));

    std::printf("%-10s %8s %8s %12s\n", "drag", "steps", "writes", "writes/s");
    for (const auto& [name, d] : {std::pair{"each step", before}, std::pair{"window", after}})
        std::printf("%-10s %8d %8d %12.1f\n", name, d.steps, d.writes, d.writes / d.seconds);
    std::printf("ratio each step / window: %.1f; last value stored: %s\n",
                double(before.writes) / std::max(1, after.writes), last ? "yes" : "NO");
    return 0;
}
