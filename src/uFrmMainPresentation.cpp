// How the control window gets out of the way of the video: hiding after
// idle seconds, opacity, collapsible panels, and its size.
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "SliderWrites.h"
#include "controls/FlatCtrls.h"
#include "controls/uTransTrackBar.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmPlay.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QCursor>
#include <QFile>
#include <QFrame>
#include <QTimer>

#include <algorithm>
#include <utility>

using FrmMainText::StrToIntDef;
using FrmMainText::Trunc;

namespace {
constexpr int kCollapsed = 57;
constexpr int kTopExpanded = 145;
constexpr int kBottomExpanded = 140;
} // namespace

void TFrmMain::tmIdelTimer(QObject* /*Sender*/) {
    ++IdleTicks;
    if (!chkHide->isChecked())
        return;
    if (IdleTicks <= HideSeconds)
        return;
    if (!FrmPlay || !FrmPlay->isVisible())
        return;
    IdleTicks = 0;
    hide();
}

void TFrmMain::FormMouseMove(QObject* /*Sender*/, Qt::KeyboardModifiers /*Shift*/, int /*X*/,
                             int /*Y*/) {
    // Move events also come without real movement (a window appearing under
    // the pointer); only a changed position counts as activity.
    const QPoint p = QCursor::pos();
    if (p != LastCursorPos)
        IdleTicks = 0;
    LastCursorPos = p;
}

void TFrmMain::chkHideClick(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::chkHide, BoolToText(chkHide->isChecked()));
}

void TFrmMain::cbHideTimeChange(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::cbHideTime, QString::number(cbHideTime->ItemIndex()));
    HideSeconds = StrToIntDef(cbHideTime->Text(), 10);
}

void TFrmMain::cbTransChange(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::cbTrans, QString::number(cbTrans->ItemIndex()));
    if (cbTrans->ItemIndex() == 0) {
        AlphaBlend = false;
    } else {
        AlphaBlend = true;
        AlphaBlendValue = StrToIntDef(cbTrans->Text(), 200);
    }
    ApplyOpacity();
}

void TFrmMain::ApplyOpacity() {
    const int value = std::clamp(AlphaBlendValue, 0, 255);
    setWindowOpacity(AlphaBlend ? value / 255.0 : 1.0);
}

void TFrmMain::btnUPClick(QObject* /*Sender*/) {
    const int h = plTop->height() == kCollapsed ? kTopExpanded : kCollapsed;
    plTop->setFixedHeight(h);
    AlignControls();
    WriteSetting(IniFileName, Setting::plTop, QString::number(h));
}

void TFrmMain::btnDownClick(QObject* /*Sender*/) {
    const int h = plBottom->height() == kCollapsed ? kBottomExpanded : kCollapsed;
    plBottom->setFixedHeight(h);
    AlignControls();
    WriteSetting(IniFileName, Setting::plBottom, QString::number(h));
}

void TFrmMain::FormResize(QObject* /*Sender*/) {
    FitColumn(*sgV, 5);
}

void TFrmMain::chkOn2MonitorClick(QObject* /*Sender*/) {
    const bool on = chkOn2Monitor->isChecked();
    WriteSetting(IniFileName, Setting::chkOn2Monitor, BoolToText(on));
    if (FrmPlay)
        FrmPlay->PlaceOnMonitor(on && TFrmPlay::MonitorCount() >= 2 ? 1 : 0);
}

void TFrmMain::tbZoomChange(QObject* /*Sender*/) {
    if (!FrmPlay || !QFile::exists(CurFile))
        return;
    const int z = Trunc(tbZoom->Position());
    FrmPlay->ApplyZoom(z);
    SliderWrites->Write(tbZoom, [this, file = SchedFileName, z] {
        Keeper->Keep(file, Setting::tbZoom, QString::number(z));
    });
}

void TFrmMain::AlignControls() {
    // plTop aligned to the top, plBottom to the bottom, sgV between them.
    const int w = width();
    const int h = height();
    const int top = plTop->height();
    const int bottom = plBottom->height();
    plTop->setGeometry(0, 0, w, top);
    plBottom->setGeometry(0, h - bottom, w, bottom);
    sgV->setGeometry(0, top, w, std::max(0, h - top - bottom));
    PlaceBottomRows();
}

void TFrmMain::WhenBottomRowsInSight(std::function<void()> place) {
    bottomRowPlacements_.push_back(std::move(place));
    PlaceBottomRows();
}

void TFrmMain::PlaceBottomRows() {
    if (bottomRowsHeld_ || !plBottom || plBottom->height() <= kCollapsed)
        return;
    for (const std::function<void()>& place : std::exchange(bottomRowPlacements_, {}))
        place();
}
