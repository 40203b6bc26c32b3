// Saving a crafted schedule file with n repeated [Sect] headers after its
// [START] section: the time per header should stay the same from 10,000 to
// 100,000 headers (one pass), not grow tenfold (one removal per header).
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

double SaveOver(const QString& path, int headers) {
    QByteArray bytes("[START]\nSOUNDCHL=立体声\n");
    for (int i = 0; i < headers; ++i)
        bytes += "[Sect]\nRow0=x^^\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return -1;
    f.close();
    TMemoryGrid grid(6, 3);
    grid.SetRowTexts(1, {"  1", "3", "+", "-", "00:00", "新的一节"});
    const double t0 = Seconds();
    SaveGridToIni(path, "Sect", grid);
    return Seconds() - t0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitPublicModule();
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + "/bench-XXXXXX");
    const QString path = dir.filePath("dancemp4.INI");
    const double small = SaveOver(path, 10000);
    const double large = SaveOver(path, 100000);
    std::printf("save over 10,000 repeated [Sect]: %.1f ms; over 100,000: %.1f ms; "
                "ratio %.1f x for 10 x the headers\n",
                small * 1e3, large * 1e3, large / small);
    return 0;
}
