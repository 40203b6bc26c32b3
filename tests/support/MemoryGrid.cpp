#include "support/MemoryGrid.h"

TMemoryGrid::TMemoryGrid(int cols, int rows) : colCount_(qMax(0, cols)) {
    widths_.fill(64, colCount_);
    SetRowCount(rows);
}

void TMemoryGrid::SetColCount(int n) {
    colCount_ = qMax(0, n);
    widths_.resize(colCount_, 64);
    for (QStringList& row : cells_)
        row.resize(colCount_);
}

void TMemoryGrid::SetRowCount(int n) {
    const qsizetype old = cells_.size();
    cells_.resize(qMax(0, n));
    for (qsizetype r = old; r < cells_.size(); ++r)
        cells_[r].resize(colCount_);
    // The selection and the top row stay inside the grid.
    row_ = qMin(row_, qMax(0, RowCount() - 1));
    topRow_ = qMin(topRow_, qMax(0, RowCount() - 1));
}

bool TMemoryGrid::Inside(int col, int row) const {
    return col >= 0 && col < colCount_ && row >= 0 && row < RowCount();
}

QString TMemoryGrid::Cell(int col, int row) const {
    return Inside(col, row) ? cells_[row][col] : QString();
}

void TMemoryGrid::SetCell(int col, int row, const QString& text) {
    if (Inside(col, row))
        cells_[row][col] = text;
}

int TMemoryGrid::ColWidth(int col) const {
    return col >= 0 && col < colCount_ ? widths_[col] : 0;
}

void TMemoryGrid::SetColWidth(int col, int width) {
    if (col >= 0 && col < colCount_)
        widths_[col] = width;
}

void TMemoryGrid::ExchangeRows(int a, int b) {
    if (a >= 0 && b >= 0 && a < RowCount() && b < RowCount())
        cells_.swapItemsAt(a, b);
}

QStringList TMemoryGrid::RowTexts(int row) const {
    return row >= 0 && row < RowCount() ? cells_[row] : QStringList();
}

QStringList TMemoryGrid::ColumnTexts(int col, int from) const {
    QStringList texts;
    for (int r = from; r < RowCount(); ++r)
        texts.append(Cell(col, r));
    return texts;
}

void TMemoryGrid::SetRowTexts(int row, const QStringList& texts) {
    for (int c = 0; c < colCount_; ++c)
        SetCell(c, row, c < texts.size() ? texts[c] : QString());
}
