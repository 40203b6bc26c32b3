// TScheduleGrid: the string grid of the control window's schedule table.
//
// A grid of text cells with fixed columns on the left and one fixed header
// row, uniform row height, no scroll bars and no drawing of its own: every
// cell is painted by OnDrawCell. The non-fixed cells can be edited in place
// while editing is switched on; the editor takes its input mask from
// OnGetEditMask and reports every change of its text through OnSetEditText.
//
// Event rules the control window relies on:
//  - OnClick runs whenever the selected cell changes: by a click, by the
//    keyboard or by the program (SetRow);
//  - OnMouseDown runs for every press of any button, after the grid has
//    moved its selection (presses on fixed cells never move it);
//  - a wheel step first asks OnMouseWheelDown / OnMouseWheelUp; when the
//    handler reports it handled, the grid's own wheel handling (moving the
//    selection) does not run.
// A cell holds one line of text: line breaks put into a cell become blanks.
//
// The cells are the schedule model's (SetModel; a grid of its own until
// then): row 0 its header, rows 1.. its rows. The grid writes through the
// model and repaints on the model's change signals, so whatever changes the
// model (playback using up a count, a mark, a load) shows at once.
#pragma once

#include "engine/Schedule.h"
#include "utPublic/utPublic.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QLineEdit;
class QPainter;

class TScheduleGrid : public QWidget, public TStringGridLike {
    Q_OBJECT
public:
    // More columns than this are never made (Schedule::kMaxColumns).
    static constexpr int kMaxColCount = Schedule::kMaxColumns;
    static constexpr int kDefaultColWidth = 64;
    static constexpr int kGridLineWidth = 1;

    explicit TScheduleGrid(QWidget* parent = nullptr);
    ~TScheduleGrid() override;

    // The model shown; it outlives the grid.
    void SetModel(Schedule* model);
    Schedule& Model() const { return *model_; }

    // --- TStringGridLike ------------------------------------------------------
    int ColCount() const override { return model_->ColumnCount(); }
    void SetColCount(int n) override; // 1..kMaxColCount
    int RowCount() const override { return model_->RowCount() + 1; }
    void SetRowCount(int n) override; // at least FixedRows + 1
    QString Cell(int col, int row) const override;
    void SetCell(int col, int row, const QString& text) override;
    int Row() const override { return row_; }
    void SetRow(int row) override;
    int TopRow() const override { return topRow_; }
    void SetTopRow(int row) override;
    int ColWidth(int col) const override;
    void SetColWidth(int col, int width) override;
    int GridWidth() const override { return width(); }
    bool HasVScrollBar() const override { return false; }
    void ExchangeRows(int a, int b) override;
    void ClearRow(int row) override;
    // One row out of the schedule, not the rows below copied up a cell at
    // a time: those copies would read as edits of the rows' counts and
    // times (the playing section's among them).
    void RemoveRow(int row) override;

    // --- Shape --------------------------------------------------------------------
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    int FixedRows() const { return 1; }
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int h);
    // The selected column (always a non-fixed one when there is one).
    int Col() const { return col_; }
    void SetCol(int col);
    // Number of scrollable rows that fit wholly below the header.
    int VisibleRowCount() const;

    // Cell rectangle in widget coordinates for a cell that is shown (a fixed
    // row or a row from TopRow on); an empty rectangle otherwise.
    QRect CellRect(int col, int row) const;
    // The cell under a widget point, or false when there is none.
    bool MouseToCell(int x, int y, int* col, int* row) const;

    // A line centred below the rows while the table holds no section (empty:
    // none), in the grid's own font, made smaller until it fits.
    void SetEmptyText(const QString& text);
    QString EmptyText() const { return emptyText_; }

    // --- In-place editing -----------------------------------------------------------
    bool Editing() const { return editingAllowed_; }
    void SetEditing(bool allowed); // switching off closes an open editor
    bool EditorShown() const;
    QLineEdit* Editor() const { return editor_; }
    // Opens the editor on the selected cell (when editing is allowed).
    void ShowEditor();
    // Closes the editor, keeping (accept) or undoing its changes.
    void HideEditor(bool accept = true);

    // --- Events ---------------------------------------------------------------------
    std::function<void(QObject* Sender, int ACol, int ARow, const QRect& Rect, QPainter& Canvas,
                       bool Selected)>
        OnDrawCell;
    std::function<void(QObject* Sender)> OnClick;
    std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                       int Y)>
        OnMouseDown;
    std::function<QString(int ACol, int ARow)> OnGetEditMask;
    std::function<void(int ACol, int ARow, const QString& Value)> OnSetEditText;
    std::function<void(QObject* Sender, bool& Handled)> OnMouseWheelDown;
    std::function<void(QObject* Sender, bool& Handled)> OnMouseWheelUp;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    int ColLeft(int col) const;
    int RowTop(int row) const; // for a shown row
    int MaxTopRow() const;
    void UpdateRow(int row);
    void ScrollInView(int row);
    // Moves the selection; runs OnClick when the cell changed.
    void MoveCurrent(int col, int row);
    void PlaceEditor();
    void EditorTextEdited(const QString& text);
    void ModelRowsChanged();

    Schedule own_;
    Schedule* model_ = &own_;
    int fixedCols_ = 1;
    int rowHeight_ = 34;
    int row_ = 1;
    int col_ = 1;
    int topRow_ = 1;
    std::vector<int> colWidths_;

    bool editingAllowed_ = false;
    QLineEdit* editor_ = nullptr;
    int editCol_ = -1;
    int editRow_ = -1;
    QString editOriginal_;
    int wheelRemainder_ = 0;
    QString emptyText_;
};
