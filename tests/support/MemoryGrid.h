// TMemoryGrid: a plain in-memory string grid for code that needs a table
// without a window (tests, benchmarks and fuzz targets of the schedule code).
#pragma once

#include "utPublic/utPublic.h"

#include <QList>
#include <QString>
#include <QStringList>

class TMemoryGrid : public TStringGridLike {
public:
    // cols × rows empty cells; every column 64 pixels wide; row 1 selected.
    TMemoryGrid(int cols = 6, int rows = 2);

    int ColCount() const override { return colCount_; }
    void SetColCount(int n) override;
    int RowCount() const override { return int(cells_.size()); }
    void SetRowCount(int n) override;
    // Cells outside the grid read as empty; writes to them are ignored.
    QString Cell(int col, int row) const override;
    void SetCell(int col, int row, const QString& text) override;
    int Row() const override { return row_; }
    void SetRow(int row) override { row_ = row; }
    int TopRow() const override { return topRow_; }
    void SetTopRow(int row) override { topRow_ = row; }
    int ColWidth(int col) const override;
    void SetColWidth(int col, int width) override;
    int GridWidth() const override { return gridWidth_; }
    bool HasVScrollBar() const override { return vScrollBar_; }
    void ExchangeRows(int a, int b) override;

    void SetGridWidth(int width) { gridWidth_ = width; }
    void SetVScrollBar(bool shown) { vScrollBar_ = shown; }
    // The texts of one row, or of one column (rows from `from` on).
    QStringList RowTexts(int row) const;
    QStringList ColumnTexts(int col, int from = 1) const;
    void SetRowTexts(int row, const QStringList& texts);

private:
    bool Inside(int col, int row) const;

    int colCount_;
    QList<QStringList> cells_; // [row][col]
    QList<int> widths_;
    int row_ = 1;
    int topRow_ = 1;
    int gridWidth_ = 600;
    bool vScrollBar_ = false;
};
