#include "uFrmMainGrid.h"
#include "utPublic/IniFile.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

TScheduleGrid::TScheduleGrid(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    colWidths_.assign(ColCount(), kDefaultColWidth);

    editor_ = new QLineEdit(this);
    editor_->setFrame(false);
    editor_->hide();
    editor_->installEventFilter(this);
    connect(editor_, &QLineEdit::textEdited, this,
            [this](const QString& text) { EditorTextEdited(text); });
    SetModel(&own_);
}

TScheduleGrid::~TScheduleGrid() = default;

void TScheduleGrid::SetModel(Schedule* model) {
    HideEditor(true);
    disconnect(model_, nullptr, this, nullptr);
    model_ = model ? model : &own_;
    connect(model_, &Schedule::RowChanged, this, [this](int row, int col) {
        if (EditorShown() && row == editRow_ && (col == editCol_ || col < 0) &&
            editor_->text() != Cell(editCol_, editRow_))
            editor_->setText(Cell(editCol_, editRow_));
        UpdateRow(row);
    });
    connect(model_, &Schedule::RowsInserted, this, [this] { ModelRowsChanged(); });
    connect(model_, &Schedule::RowsRemoved, this, [this] { ModelRowsChanged(); });
    connect(model_, &Schedule::Reset, this, [this] { ModelRowsChanged(); });
    ModelRowsChanged();
}

void TScheduleGrid::ModelRowsChanged() {
    if (EditorShown() && editRow_ >= RowCount())
        HideEditor(true);
    colWidths_.resize(ColCount(), kDefaultColWidth);
    fixedCols_ = std::min(fixedCols_, ColCount() - 1);
    col_ = std::clamp(col_, fixedCols_, ColCount() - 1);
    if (row_ >= RowCount())
        row_ = RowCount() - 1;
    if (topRow_ > MaxTopRow())
        topRow_ = MaxTopRow();
    PlaceEditor();
    update();
}

// --- Shape ---------------------------------------------------------------------

void TScheduleGrid::SetColCount(int n) {
    n = std::clamp(n, 1, kMaxColCount);
    if (n == ColCount())
        return;
    if (EditorShown() && editCol_ >= n)
        HideEditor(true);
    model_->SetColumnCount(n);
}

void TScheduleGrid::SetRowCount(int n) {
    n = std::max(n, FixedRows() + 1);
    if (n == RowCount())
        return;
    if (EditorShown() && editRow_ >= n)
        HideEditor(true);
    model_->SetRowCount(n - 1);
}

void TScheduleGrid::SetFixedCols(int n) {
    fixedCols_ = std::clamp(n, 0, ColCount() - 1);
    if (col_ < fixedCols_)
        col_ = fixedCols_;
    update();
}

void TScheduleGrid::SetDefaultRowHeight(int h) {
    rowHeight_ = std::max(h, 1);
    PlaceEditor();
    update();
}

QString TScheduleGrid::Cell(int col, int row) const {
    return row == 0 ? model_->HeaderCell(col) : model_->Cell(col, row);
}

void TScheduleGrid::SetCell(int col, int row, const QString& text) {
    if (row == 0)
        model_->SetHeaderCell(col, OneLine(text));
    else
        model_->SetCell(col, row, OneLine(text));
}

void TScheduleGrid::ExchangeRows(int a, int b) {
    if (a >= 1 && b >= 1)
        model_->ExchangeRows(a, b);
    else
        TStringGridLike::ExchangeRows(a, b);
}

void TScheduleGrid::ClearRow(int row) {
    for (int c = 0; c < ColCount(); ++c)
        SetCell(c, row, QString());
}

void TScheduleGrid::RemoveRow(int row) {
    if (EditorShown() && editRow_ >= row)
        HideEditor(true);
    model_->RemoveRow(row);
}

int TScheduleGrid::ColWidth(int col) const {
    if (col < 0 || col >= int(colWidths_.size()))
        return 0;
    return colWidths_[col];
}

void TScheduleGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= int(colWidths_.size()))
        return;
    colWidths_[col] = std::max(width, 0);
    PlaceEditor();
    update();
}

void TScheduleGrid::UpdateRow(int row) {
    // Only rows on screen need painting; a table of many rows is filled
    // without touching the paint machinery for each of them.
    if (!isVisible())
        return;
    if (row < FixedRows() || (row >= topRow_ && row <= topRow_ + VisibleRowCount()))
        update(0, RowTop(row), width(), rowHeight_ + kGridLineWidth);
}

// --- Selection and scrolling ------------------------------------------------------

void TScheduleGrid::SetRow(int row) {
    MoveCurrent(col_, row);
}

void TScheduleGrid::SetCol(int col) {
    MoveCurrent(col, row_);
}

void TScheduleGrid::MoveCurrent(int col, int row) {
    col = std::clamp(col, fixedCols_, ColCount() - 1);
    row = std::clamp(row, FixedRows(), RowCount() - 1);
    ScrollInView(row);
    if (col == col_ && row == row_)
        return;
    if (EditorShown())
        HideEditor(true);
    col_ = col;
    row_ = row;
    update();
    if (OnClick)
        OnClick(this);
}

int TScheduleGrid::VisibleRowCount() const {
    const int step = rowHeight_ + kGridLineWidth;
    return std::max(0, (height() - step) / step);
}

int TScheduleGrid::MaxTopRow() const {
    return std::max(FixedRows(), RowCount() - 1);
}

void TScheduleGrid::SetTopRow(int row) {
    row = std::clamp(row, FixedRows(), MaxTopRow());
    if (row == topRow_)
        return;
    topRow_ = row;
    PlaceEditor();
    update();
}

void TScheduleGrid::ScrollInView(int row) {
    if (row < FixedRows())
        return;
    const int visible = std::max(1, VisibleRowCount());
    if (row < topRow_)
        SetTopRow(row);
    else if (row >= topRow_ + visible)
        SetTopRow(row - visible + 1);
}

// --- Geometry ----------------------------------------------------------------------

int TScheduleGrid::ColLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col && c < ColCount(); ++c)
        x += colWidths_[c] + kGridLineWidth;
    return x;
}

int TScheduleGrid::RowTop(int row) const {
    const int step = rowHeight_ + kGridLineWidth;
    if (row < FixedRows())
        return row * step;
    return FixedRows() * step + (row - topRow_) * step;
}

QRect TScheduleGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount())
        return {};
    if (row >= FixedRows() && row < topRow_)
        return {};
    return QRect(ColLeft(col), RowTop(row), colWidths_[col], rowHeight_);
}

bool TScheduleGrid::MouseToCell(int x, int y, int* col, int* row) const {
    if (x < 0 || y < 0)
        return false;
    const int step = rowHeight_ + kGridLineWidth;
    int r = y / step;
    if (r >= FixedRows())
        r = topRow_ + (r - FixedRows());
    if (r >= RowCount())
        return false;
    int left = 0;
    for (int c = 0; c < ColCount(); ++c) {
        const int right = left + colWidths_[c] + kGridLineWidth;
        if (x < right) {
            *col = c;
            *row = r;
            return true;
        }
        left = right;
    }
    return false;
}

// --- Painting ------------------------------------------------------------------------

void TScheduleGrid::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.fillRect(e->rect(), palette().color(backgroundRole()));
    const int h = height();
    const int w = width();
    auto paintRow = [&](int r) {
        for (int c = 0; c < ColCount(); ++c) {
            const QRect cr = CellRect(c, r);
            if (cr.left() >= w)
                break;
            if (!cr.intersects(e->rect()))
                continue;
            p.save();
            p.setClipRect(cr);
            if (OnDrawCell)
                OnDrawCell(this, c, r, cr, p, r == row_ && c == col_);
            p.restore();
            // Grid lines are drawn between fixed cells only.
            if (r < FixedRows() || c < fixedCols_) {
                p.setPen(Qt::black);
                p.drawLine(cr.right() + 1, cr.top(), cr.right() + 1, cr.bottom() + 1);
                p.drawLine(cr.left(), cr.bottom() + 1, cr.right() + 1, cr.bottom() + 1);
            }
        }
    };
    for (int r = 0; r < FixedRows() && r < RowCount(); ++r)
        paintRow(r);
    int below = RowTop(FixedRows());
    for (int r = topRow_; r < RowCount(); ++r) {
        if (RowTop(r) >= h)
            break;
        paintRow(r);
        below = RowTop(r) + rowHeight_ + kGridLineWidth;
    }
    if (!emptyText_.isEmpty() && !model_->HoldsSections()) {
        const QRect area(0, below, w, std::max(0, h - below));
        QFont f = font();
        f.setPixelSize(std::min(f.pixelSize() > 0 ? f.pixelSize() : 20, 20));
        while (f.pixelSize() > 9 && QFontMetrics(f).horizontalAdvance(emptyText_) > w - 16)
            f.setPixelSize(f.pixelSize() - 1);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, emptyText_);
    }
}

void TScheduleGrid::SetEmptyText(const QString& text) {
    if (text == emptyText_)
        return;
    emptyText_ = text;
    update();
}

// --- Input ---------------------------------------------------------------------------

void TScheduleGrid::mousePressEvent(QMouseEvent* e) {
    if (focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    const QPoint pt = e->position().toPoint();
    int c = 0;
    int r = 0;
    bool edit = false;
    if (MouseToCell(pt.x(), pt.y(), &c, &r) && c >= fixedCols_ && r >= FixedRows()) {
        // A press on the selected cell opens the editor, as a second click
        // on a text does in a list.
        edit = e->button() == Qt::LeftButton && c == col_ && r == row_;
        MoveCurrent(c, r);
    }
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->modifiers(), pt.x(), pt.y());
    if (edit)
        ShowEditor();
}

void TScheduleGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
    const QPoint pt = e->position().toPoint();
    int c = 0;
    int r = 0;
    if (e->button() == Qt::LeftButton && MouseToCell(pt.x(), pt.y(), &c, &r) && c >= fixedCols_ &&
        r >= FixedRows())
        ShowEditor();
}

void TScheduleGrid::wheelEvent(QWheelEvent* e) {
    wheelRemainder_ += e->angleDelta().y();
    e->accept();
    while (wheelRemainder_ <= -120 || wheelRemainder_ >= 120) {
        const bool down = wheelRemainder_ < 0;
        wheelRemainder_ += down ? 120 : -120;
        bool handled = false;
        if (down && OnMouseWheelDown)
            OnMouseWheelDown(this, handled);
        else if (!down && OnMouseWheelUp)
            OnMouseWheelUp(this, handled);
        if (!handled)
            MoveCurrent(col_, row_ + (down ? 1 : -1));
    }
}

void TScheduleGrid::keyPressEvent(QKeyEvent* e) {
    const int page = std::max(1, VisibleRowCount());
    switch (e->key()) {
    case Qt::Key_Up:
        MoveCurrent(col_, row_ - 1);
        return;
    case Qt::Key_Down:
        MoveCurrent(col_, row_ + 1);
        return;
    case Qt::Key_PageUp:
        MoveCurrent(col_, row_ - page);
        return;
    case Qt::Key_PageDown:
        MoveCurrent(col_, row_ + page);
        return;
    case Qt::Key_Home:
    case Qt::Key_End: {
        // With Ctrl to the first or last row, else to the first or last
        // editable column.
        const bool home = e->key() == Qt::Key_Home;
        if (e->modifiers() & Qt::ControlModifier)
            MoveCurrent(col_, home ? FixedRows() : RowCount() - 1);
        else
            MoveCurrent(home ? fixedCols_ : ColCount() - 1, row_);
        return;
    }
    case Qt::Key_Left:
    case Qt::Key_Backtab:
        MoveCurrent(col_ - 1, row_);
        return;
    case Qt::Key_Right:
    case Qt::Key_Tab:
        MoveCurrent(col_ + 1, row_);
        return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ShowEditor();
        return;
    default:
        break;
    }
    const QString text = e->text();
    if (editingAllowed_ && !text.isEmpty() && text.at(0).isPrint() &&
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        ShowEditor();
        if (EditorShown()) {
            editor_->selectAll();
            QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
            QCoreApplication::sendEvent(editor_, &copy);
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

void TScheduleGrid::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    PlaceEditor();
}

// --- In-place editor -----------------------------------------------------------------

void TScheduleGrid::SetEditing(bool allowed) {
    editingAllowed_ = allowed;
    if (!allowed && EditorShown())
        HideEditor(true);
}

bool TScheduleGrid::EditorShown() const {
    return editCol_ >= 0;
}

void TScheduleGrid::ShowEditor() {
    if (!editingAllowed_ || col_ < fixedCols_ || row_ < FixedRows() || row_ >= RowCount())
        return;
    if (EditorShown())
        return;
    ScrollInView(row_);
    editCol_ = col_;
    editRow_ = row_;
    editOriginal_ = Cell(col_, row_);
    const QString mask = OnGetEditMask ? OnGetEditMask(col_, row_) : QString();
    editor_->setInputMask(mask);
    editor_->setText(editOriginal_);
    PlaceEditor();
    editor_->show();
    editor_->setFocus(Qt::OtherFocusReason);
    editor_->selectAll();
}

void TScheduleGrid::HideEditor(bool accept) {
    if (!EditorShown())
        return;
    const int c = editCol_;
    const int r = editRow_;
    editCol_ = editRow_ = -1;
    if (!accept && r < RowCount() && c < ColCount())
        SetCell(c, r, editOriginal_);
    const bool hadFocus = editor_->hasFocus();
    editor_->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
    update();
}

void TScheduleGrid::PlaceEditor() {
    if (!EditorShown())
        return;
    const QRect r = CellRect(editCol_, editRow_);
    if (r.isEmpty())
        editor_->setGeometry(-r.width() - 1000, 0, 1, 1);
    else
        editor_->setGeometry(r);
}

void TScheduleGrid::EditorTextEdited(const QString& text) {
    if (!EditorShown())
        return;
    const int c = editCol_;
    const int r = editRow_;
    SetCell(c, r, text);
    update(CellRect(c, r));
    if (OnSetEditText)
        OnSetEditText(c, r, Cell(c, r));
}

bool TScheduleGrid::eventFilter(QObject* watched, QEvent* e) {
    if (watched == editor_) {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            switch (k->key()) {
            case Qt::Key_Escape:
                HideEditor(false);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                HideEditor(true);
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                HideEditor(true);
                keyPressEvent(k);
                return true;
            default:
                break;
            }
        } else if (e->type() == QEvent::FocusOut) {
            HideEditor(true);
        }
    }
    return QWidget::eventFilter(watched, e);
}
