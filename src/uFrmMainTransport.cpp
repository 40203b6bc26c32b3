// Transport controls: file choice, pause, skips, start position, rate.
#include "uFrmMain.h"

void TFrmMain::btnSelFileClick(QObject*) {}

void TFrmMain::btnPauseClick(QObject*) {}

void TFrmMain::btnBackClick(QObject*) {}

void TFrmMain::btnNextClick(QObject*) {}

void TFrmMain::lbPosDblClick(QObject*) {}

void TFrmMain::cbRateChange(QObject*) {}

void TFrmMain::SeekTo(uint32_t) {}

void TFrmMain::ApplyRate(double) {}
