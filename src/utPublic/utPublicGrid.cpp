// Grid helpers shared by the schedule table and its file: column fitting,
// adding and deleting rows, sorting, cell painting and the row encoding.
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <cmath>
#include <utility>

// --- Grid helpers -------------------------------------------------------------------

namespace {

int VScrollBarWidth() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    return 16;
}

} // namespace

// The column takes the width the others leave; the extra pixels are the grid
// lines (one per column) and the border. A grid too narrow gives width 0.
void FitColumn(TStringGridLike& grid, int col) {
    if (col < 0 || col >= grid.ColCount())
        return;
    int sum = 0;
    for (int c = 0; c < grid.ColCount(); ++c)
        if (c != col)
            sum += grid.ColWidth(c);
    int width = grid.GridWidth() - sum - grid.ColCount() - 1;
    if (grid.HasVScrollBar())
        width -= VScrollBarWidth() + 1;
    grid.SetColWidth(col, qMax(0, width));
}

namespace {
// A table without sections has one data row holding nothing but its number.
// An empty count in row 1 alone does not make a table empty: a hand-edited
// or older schedule file can have further sections below it, and reusing
// row 1 would cut them all off.
bool HoldsNoSection(const TStringGridLike& grid) {
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = 1; c < grid.ColCount(); ++c)
            if (!grid.Cell(c, r).isEmpty())
                return false;
    return true;
}
} // namespace

void AppendRow(TStringGridLike& grid) {
    if (grid.RowCount() > 1 && !HoldsNoSection(grid)) {
        grid.SetRowCount(grid.RowCount() + 1);
        grid.SetRow(grid.RowCount() - 1);
        grid.ClearRow(grid.RowCount() - 1);
    } else {
        grid.SetRowCount(2);
        grid.SetRow(1);
    }
}

// The header row (0) and rows outside the grid are never deleted.
void DeleteRow(TStringGridLike& grid, int row) {
    if (grid.RowCount() < 3) {
        grid.ClearRow(1);
        return;
    }
    if (row < 1 || row >= grid.RowCount())
        return;
    if (row == grid.RowCount() - 1)
        grid.SetRow(row - 1);
    grid.RemoveRow(row);
}

// Lines further from the middle are dimmer: the factor grows by 0.1 per pixel.
// Lines that would fall below the rectangle (an even height) are not drawn.
void GradientFill(const QRect& rect, QPainter& canvas, QColor colour) {
    const int half = rect.height() / 2;
    // Each line one logical pixel high, filled rather than stroked: a
    // cosmetic pen is one device pixel, which leaves gaps on a scaled screen.
    for (int n = half; n >= 0; --n) {
        const QColor c = DimColor(colour, 1 + 0.1 * (half - n));
        for (const int y : {rect.top() + n, rect.top() + 2 * half - n})
            if (y <= rect.bottom())
                canvas.fillRect(QRect(rect.left(), y, rect.width(), 1), c);
    }
}

// Components are kept inside 0..255 whatever the factor.
QColor DimColor(QColor colour, double factor) {
    auto dim = [factor](int c) {
        const double v = c / factor;
        if (std::isnan(v) || v < 0)
            return 0;
        return v > 255 ? 255 : int(v);
    };
    return QColor(dim(colour.red()), dim(colour.green()), dim(colour.blue()));
}
