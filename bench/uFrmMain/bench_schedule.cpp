// Opening a schedule file into the control window and saving it back, for
// tables of several sizes, measured side by side in one run. Prints the
// median of several runs and the ratio of each size to the 1,000-row table.
#include "../BenchKit.h"
#include "support/MemoryGrid.h"
#include "uFrmMain.h"
#include "uFrmMainGrid.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
void WriteSchedule(const QString& path, int rows) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray out = "[Sect]\nRow0=序号^^播放^^加^^减^^时间点^^开播内容^^\n";
    for (int r = 1; r <= rows; ++r) {
        const QString line = QStringLiteral("Row%1=%2^^%3^^+^^-^^%4^^第%1节 动作要领^^\n")
                                 .arg(r)
                                 .arg(r, 3)
                                 .arg(r % 4)
                                 .arg(SecToTimeStr(r * 7));
        out += line.toUtf8();
    }
    out += "[START]\ncbRate=6\n";
    f.write(out);
}

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        t.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
} // namespace

int main(int argc, char** argv) {
    OffscreenUnlessChosen();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    IniFileName = dir.filePath(QStringLiteral("system.INI"));
    TFrmMain frm;

    std::printf("%-8s %12s %12s %14s %14s\n", "rows", "open ms", "save ms", "open/1000",
                "save/1000");
    double open1000 = 0;
    double save1000 = 0;
    for (int rows : {1000, 10000, 100000}) {
        const QString media = dir.filePath(QStringLiteral("clip%1.mp4").arg(rows));
        const QString sched = frm.ScheduleFileNameFor(media);
        WriteSchedule(sched, rows);
        const int runs = rows <= 1000 ? 15 : 3;
        const double open = MedianMs(runs, [&] { frm.OpenSchedule(media); });
        const bool loaded = frm.sgV->RowCount() == rows + 1;
        const double save =
            rows <= 10000 ? MedianMs(runs, [&] { frm.btnSaveClick(nullptr); }) : -1.0;
        if (rows == 1000) {
            open1000 = open;
            save1000 = save;
        }
        std::printf("%-8d %12.2f %12.2f %14.1f %14.1f%s\n", rows, open, save, open / open1000,
                    save > 0 ? save / save1000 : 0.0, loaded ? "" : "  (rows missing!)");
        std::fflush(stdout);
    }

    // The same files read into a plain in-memory grid: what the window adds
    // on top of the file reading.
    std::printf("\n%-8s %14s %14s %8s\n", "rows", "in-memory ms", "window ms", "ratio");
    for (int rows : {1000, 100000}) {
        const QString media = dir.filePath(QStringLiteral("clip%1.mp4").arg(rows));
        const QString sched = frm.ScheduleFileNameFor(media);
        const int runs = rows <= 1000 ? 15 : 3;
        TMemoryGrid grid(6, 2);
        const double mem =
            MedianMs(runs, [&] { LoadGridFromIni(sched, QStringLiteral("Sect"), grid); });
        const double win = MedianMs(runs, [&] { frm.OpenSchedule(media); });
        std::printf("%-8d %14.2f %14.2f %8.2f\n", rows, mem, win, win / mem);
        std::fflush(stdout);
    }

    // One row holding a 10 MB description: read back cut to 2047 bytes.
    {
        const QString media = dir.filePath(QStringLiteral("long.mp4"));
        QFile f(frm.ScheduleFileNameFor(media));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            f.write("[Sect]\nRow0=a^^b^^c^^d^^e^^f^^\nRow1=  1^^1^^+^^-^^00:00^^");
            f.write(QByteArray(10 * 1024 * 1024, 'x'));
            f.write("^^\nRow2=  2^^1^^+^^-^^00:10^^B^^\n");
        }
        f.close();
        const double open = MedianMs(5, [&] { frm.OpenSchedule(media); });
        std::printf("\n10 MB line: open %.2f ms (%.1f x the 1,000-row table), rows %d\n", open,
                    open / open1000, frm.sgV->RowCount() - 1);
    }
    return 0;
}
