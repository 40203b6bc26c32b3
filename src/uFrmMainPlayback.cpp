// The section engine: plays the schedule section by section, repeats, moves
// on, and applies the end mode at the end of the media.
#include "uFrmMain.h"

void TFrmMain::ConnectPlaybackHandlers() {}

int TFrmMain::CurRow() const {
    return 0;
}

void TFrmMain::SetCurRow(int) {}

void TFrmMain::PlaySection(int, bool) {}

void TFrmMain::NextSection() {}

void TFrmMain::DSTrackBar1Timer(QObject*, uint32_t, uint32_t) {}

void TFrmMain::FGBrowseGraphComplete(QObject*, int32_t, QObject*) {}

void TFrmMain::chkOn2MonitorClick(QObject*) {}

void TFrmMain::tbZoomChange(QObject*) {}
