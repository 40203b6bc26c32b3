// The schedule file: whatever a file holds, the table it loads is, after one
// save, a fixed point: save -> reload gives the same table; and the save's
// normalise-and-sort only permutes the rows and leaves them in order. Worked
// in memory, through the same document code the file load and save use.
#include "FuzzKit.h"

#include "support/MemoryGrid.h"
#include "utPublic/IniFile.h"
#include "utPublic/utPublic.h"

#include <algorithm>
#include <cstdint>

namespace {

QList<QStringList> Table(const TMemoryGrid& g) {
    QList<QStringList> rows;
    for (int r = 0; r < g.RowCount(); ++r)
        rows.append(g.RowTexts(r));
    return rows;
}

TMemoryGrid Load(const QByteArray& bytes) {
    TMemoryGrid grid;
    LoadGridFromDocument(IniDocument::Parse(bytes), QStringLiteral("Sect"), grid);
    return grid;
}

// The file's bytes after a save of grid over them.
QByteArray Saved(const QByteArray& bytes, const TMemoryGrid& grid) {
    IniDocument doc = IniDocument::Parse(bytes);
    SaveGridToDocument(doc, QStringLiteral("Sect"), grid);
    return doc.Serialize();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TMemoryGrid first = Load(bytes);
    FUZZ_CHECK(first.RowCount() >= 2);

    // What the save button does before writing.
    TMemoryGrid sorted = first;
    for (int r = sorted.RowCount() - 1; r >= 1; --r)
        sorted.SetCell(4, r, SecToTimeStr(TimeStrToSec(sorted.Cell(4, r))));
    QList<QStringList> before = Table(sorted);
    SortGridRows(sorted, 4, 1, sorted.RowCount() - 1);
    QList<QStringList> after = Table(sorted);
    FUZZ_CHECK(before.first() == after.first());
    std::sort(before.begin() + 1, before.end());
    std::sort(after.begin() + 1, after.end());
    FUZZ_CHECK(before == after);
    for (int r = 2; r < sorted.RowCount(); ++r)
        FUZZ_CHECK(sorted.Cell(4, r - 1).toUtf8() <= sorted.Cell(4, r).toUtf8());

    const QByteArray once = Saved(bytes, sorted);
    const TMemoryGrid second = Load(once);
    FUZZ_CHECK(Table(Load(Saved(once, second))) == Table(second));
    FUZZ_CHECK(second.RowCount() == sorted.RowCount());
    return 0;
}
