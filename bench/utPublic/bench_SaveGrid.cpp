// Saving a 1,000-row schedule table: SaveGridToIni (one replacement of the
// file) against erasing the section and writing the rows one by one with
// WriteIniStr (one read and one replacement per row); and loading it back
// with LoadGridFromIni against reading the rows one by one.
#include "support/MemoryGrid.h"
#include "utPublic/Clock.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double Seconds() {
    return double(ReadPerfCounter()) / double(PerfFrequency);
}

TMemoryGrid Table(int rows) {
    TMemoryGrid grid(6, rows + 1);
    grid.SetRowTexts(0, {"序号", "播放", "加", "减", "时间点", "开播内容"});
    for (int r = 1; r <= rows; ++r)
        grid.SetRowTexts(r, {PadLeft(QString::number(r), u' ', 3), "2", "+", "-",
                             SecToTimeStr(r * 30), QStringLiteral("第%1节 动作").arg(r)});
    return grid;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitPublicModule();
    constexpr int kRows = 1000;
    const TMemoryGrid grid = Table(kRows);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + "/bench-XXXXXX");
    const QString once = dir.filePath("once.INI");
    const QString rows = dir.filePath("rows.INI");
    // Both files already hold the table and the per-media keys, as on a re-save.
    for (const QString& f : {once, rows}) {
        WriteIniStr(f, "START", "SOUNDCHL", "立体声");
        SaveGridToIni(f, "Sect", grid);
    }

    double t0 = Seconds();
    SaveGridToIni(once, "Sect", grid);
    const double saveOnce = Seconds() - t0;

    t0 = Seconds();
    EraseIniSection(rows, "Sect");
    for (int i = 0; i < grid.RowCount(); ++i)
        WriteIniStr(rows, "Sect", QStringLiteral("Row%1").arg(i), RowToText(grid, i));
    const double saveRows = Seconds() - t0;

    QFile a(once), b(rows);
    a.open(QIODevice::ReadOnly);
    b.open(QIODevice::ReadOnly);
    const bool same = a.readAll() == b.readAll();

    TMemoryGrid loaded;
    t0 = Seconds();
    LoadGridFromIni(once, "Sect", loaded);
    const double loadOnce = Seconds() - t0;
    t0 = Seconds();
    int read = 0;
    while (!ReadIniText(once, "Sect", QStringLiteral("Row%1").arg(read)).isEmpty())
        ++read;
    const double loadRows = Seconds() - t0;

    std::printf("table of %d rows + header, file %lld bytes; both ways give the same file: %s\n",
                kRows, (long long)QFile(once).size(), same ? "yes" : "NO");
    std::printf("save: SaveGridToIni %.2f ms, erase + %d x WriteIniStr %.1f ms, ratio %.0f x\n",
                saveOnce * 1e3, grid.RowCount(), saveRows * 1e3, saveRows / saveOnce);
    std::printf("load: LoadGridFromIni %.2f ms (%d rows), %d x ReadIniText %.1f ms, ratio %.0f x\n",
                loadOnce * 1e3, loaded.RowCount(), read, loadRows * 1e3, loadRows / loadOnce);
    return same ? 0 : 1;
}
