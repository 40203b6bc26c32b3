#include "uFrmMainView.h"

#include "MyExitWin/MyExitWin.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "media/VideoWindow.h"
#include "uFrmMain.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmPlay.h"
#include "utPublic/utPublic.h"

#include <QLabel>

void TFrmMainView::ShowNotice(bool shown) {
    if (!frm_.FrmPlay)
        return;
    frm_.FrmPlay->plHint->setVisible(shown);
    if (shown)
        frm_.FrmPlay->plHint->raise();
}

void TFrmMainView::ShowCountdown(int seconds) {
    if (frm_.FrmPlay)
        frm_.FrmPlay->ShowCountdown(seconds);
}

void TFrmMainView::ShowSectionLine(const QString& text) {
    if (frm_.FrmPlay)
        frm_.FrmPlay->ShowSectionLine(text);
}

void TFrmMainView::HoldPicture(bool held) {
    if (frm_.FrmPlay && frm_.FrmPlay->VW)
        frm_.FrmPlay->VW->HoldPicture(held);
}

void TFrmMainView::ShowVideo() {
    if (frm_.FrmPlay && !frm_.FrmPlay->isVisible())
        frm_.FrmPlay->show();
}

void TFrmMainView::HideVideo() {
    if (frm_.FrmPlay)
        frm_.FrmPlay->hide();
}

void TFrmMainView::ShowControls() {
    frm_.show();
    frm_.raise();
}

void TFrmMainView::HideControls() {
    frm_.hide();
}

void TFrmMainView::ApplyZoom() {
    if (frm_.FrmPlay)
        frm_.FrmPlay->ApplyZoom(FrmMainText::Trunc(frm_.tbZoom->Position()));
}

void TFrmMainView::ApplyAudioChoice() {
    frm_.RefreshAudioTracks();
    if (frm_.lbLeft2->Checked())
        frm_.lbLeft2Click(frm_.lbLeft2);
    else if (frm_.lbRight2->Checked())
        frm_.lbRight2Click(frm_.lbRight2);
    else
        frm_.lbCenter2Click(frm_.lbCenter2);
}

void TFrmMainView::SelectRow(int row) {
    frm_.sgV->SetRow(row);
}

void TFrmMainView::ReportError(const QString& text) {
    frm_.ReportUnplayable(text);
}

void TFrmMainView::EndProgram(EndMode mode) {
    if (mode == EndMode::PowerOff) {
        frm_.ExitWin->SetExitWinType(ewPowerOff);
        frm_.ExitWin->Execute(); // an error raised here skips TerminateSelf
    }
    TerminateSelf();
}
