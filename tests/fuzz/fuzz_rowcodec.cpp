// The row encoding: a row read from any text encodes to a text that reads
// back to the same cells, with one mark per column. (A cell ending in "^"
// cannot: its last "^" and the mark after it read as a mark. The stored
// form has no escape for it.)
#include "FuzzKit.h"

#include "support/MemoryGrid.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int cols = data[0] % 12;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    TMemoryGrid grid(cols, 2);
    TextToRow(text, grid, 1);
    const QString encoded = RowToText(grid, 1);
    FUZZ_CHECK(CountCellMarks(encoded) >= cols);
    TMemoryGrid again(cols, 2);
    TextToRow(encoded, again, 1);
    const QStringList cells = grid.RowTexts(1);
    if (std::none_of(cells.cbegin(), cells.cend(),
                     [](const QString& c) { return c.endsWith(u'^'); }))
        FUZZ_CHECK(again.RowTexts(1) == cells);
    if (!text.contains(QStringLiteral("^^")))
        FUZZ_CHECK(cols == 0 || grid.Cell(0, 1) == text);
    return 0;
}
