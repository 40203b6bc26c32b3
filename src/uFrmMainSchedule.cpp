// The schedule table: drawing the grid, count clicks, in-place editing,
// adding and deleting sections, and the editing switch.
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "controls/FontCatalog.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "engine/SectionEngine.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cstdint>

using FrmMainText::StrToIntDef;

namespace {
const QColor kHeaderFill(0, 0, 255);
const QColor kHeaderText(255, 255, 0);
const QColor kSelectedFill(255, 255, 255);
const QColor kSelectedText(255, 0, 0);
const QColor kRowFill(128, 128, 128);
const QColor kRowText(255, 255, 255);
// Two required digits, a literal colon, two required digits.
const QString kTimeMask = QStringLiteral("99:99");
} // namespace

void TFrmMain::sgVDrawCell(QObject* Sender, int ACol, int ARow, const QRect& Rect, QPainter& Canvas,
                           bool /*Selected*/) {
    auto* grid = qobject_cast<TScheduleGrid*>(Sender);
    if (!grid)
        return;
    static const QFont cellFont = MakeFontPt(QStringLiteral("宋体"), 22);
    Canvas.setFont(cellFont);
    const QString text = grid->Cell(ACol, ARow);
    static const int raise = LayoutTextRaise(cellFont);
    auto drawText = [&](int x, int y, const QString& t) {
        // The rectangle starts above the cell when the face's ascent is
        // taller than the original's; the painter's clip keeps it inside
        // (the rectangle's own bottom would cut the glyphs' lower rows).
        Canvas.drawText(QRect(x, y - raise, std::max(0, Rect.right() + 1 - x), Rect.height()),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, t);
    };
    if (ARow == 0) {
        GradientFill(Rect, Canvas, kHeaderFill);
        Canvas.setPen(kHeaderText);
        // The titles stay as stored in the cells; only their picture is
        // translated.
        drawText(Rect.left() + 6, Rect.top() + 2, tr(text.toUtf8().constData()));
        return;
    }
    const bool selectedRow = ARow == grid->Row();
    GradientFill(Rect, Canvas, selectedRow ? kSelectedFill : kRowFill);
    Canvas.setPen(selectedRow ? kSelectedText : kRowText);
    switch (ACol) {
    case 1:
        Canvas.drawPixmap(Rect.left() + 3, Rect.top() + 2, imgPlay);
        drawText(Rect.left() + 4 + imgPlay.width(), Rect.top() + 2, text);
        break;
    case 2:
        Canvas.drawPixmap(Rect.left() + 4, Rect.top() + 2, imgAdd);
        break;
    case 3:
        Canvas.drawPixmap(Rect.left() + 4, Rect.top() + 2, imgSub);
        break;
    default:
        drawText(Rect.left() + 2, Rect.top() + 2, text);
        break;
    }
}

void TFrmMain::sgVClick(QObject* /*Sender*/) {
    sgV->update();
}

void TFrmMain::sgVMouseDown(QObject* /*Sender*/, Qt::MouseButton /*Button*/,
                            Qt::KeyboardModifiers /*Shift*/, int X, int Y) {
    int col = 0;
    int row = 0;
    if (!sgV->MouseToCell(X, Y, &col, &row) || row < 1 || col < 1)
        return;
    switch (col) {
    case 1:
        PlaySection(row, false);
        return;
    case 2:
        sgV->SetCell(1, row, StepCount(sgV->Cell(1, row), true, 99, 0));
        break;
    case 3:
        sgV->SetCell(1, row, StepCount(sgV->Cell(1, row), false, 99, 0));
        break;
    default:
        return;
    }
    ScheduleEdited = true;
    // The engine follows the count in the schedule: the playing section
    // plays as many more times as its cell now says.
}

QString TFrmMain::sgVGetEditMask(int ACol, int /*ARow*/) {
    return ACol == 4 ? kTimeMask : QString();
}

void TFrmMain::sgVSetEditText(int /*ACol*/, int /*ARow*/, const QString& /*Value*/) {
    // The typed text is in the schedule already; the engine follows a moved
    // start of the next section (the playing section's end).
    ScheduleEdited = true;
}

void TFrmMain::sgVMouseWheelDown(QObject* /*Sender*/, bool& Handled) {
    if (sgV->TopRow() < sgV->RowCount() - 1)
        sgV->SetTopRow(sgV->TopRow() + 1);
    Handled = true;
}

void TFrmMain::sgVMouseWheelUp(QObject* /*Sender*/, bool& Handled) {
    if (sgV->TopRow() > 1)
        sgV->SetTopRow(sgV->TopRow() - 1);
    Handled = true;
}

void TFrmMain::btnAddClick(QObject* Sender) {
    sgV->HideEditor(true);
    AppendRow(*sgV);
    const int last = sgV->RowCount() - 1;
    sgV->SetCell(1, last, QStringLiteral("0"));
    sgV->SetCell(2, last, QStringLiteral("+"));
    sgV->SetCell(3, last, QStringLiteral("-"));
    // Above the first section lies the header, whose title reads as 0 s. An
    // absurd time point above stays at the largest one instead of wrapping.
    const int64_t above = TimeStrToSec(sgV->Cell(4, last - 1), QStringLiteral(":"));
    sgV->SetCell(4, last, SecToTimeStr(int(std::min<int64_t>(above + 30, INT32_MAX))));
    sgV->SetCell(5, last, QStringLiteral("新的一节"));
    RenumberRows();
    FitColumn(*sgV, 5);
    btnSaveClick(Sender);
    if (chkPause->isChecked())
        EngineNow().Pause();
}

void TFrmMain::btnDelClick(QObject* /*Sender*/) {
    if (sgV->RowCount() == 2)
        return;
    sgV->HideEditor(true);
    DeleteRow(*sgV, sgV->Row());
    ScheduleEdited = true;
    RenumberRows();
    FitColumn(*sgV, 1);
}

void TFrmMain::chkEditClick(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::chkEdit, BoolToText(chkEdit->isChecked()));
    SetEditMode(chkEdit->isChecked());
}

void TFrmMain::RenumberRows() {
    const int n = sgV->RowCount();
    for (int r = 1; r < n; ++r)
        sgV->SetCell(0, r, PadLeft(QString::number(r), QLatin1Char(' '), 3));
}

QString TFrmMain::StepCount(const QString& text, bool up, int max, int min) {
    int64_t v = StrToIntDef(text, 0);
    v += up ? 1 : -1;
    if (v > max)
        v = max;
    if (v < min)
        v = min;
    return QString::number(v);
}
