// Volume, sound channel and audio track of the control window.
#include "uFrmMain.h"

void TFrmMain::SoundLevel2Change(QObject*) {}

void TFrmMain::lbLeft2Click(QObject*) {}

void TFrmMain::lbCenter2Click(QObject*) {}

void TFrmMain::lbRight2Click(QObject*) {}

void TFrmMain::btnSelAudioChl2Click(QObject*) {}

void TFrmMain::SampleGrabberBuffer(QObject*, double, uint8_t*, int32_t) {}

void TFrmMain::RefreshAudioTracks() {}

QString TFrmMain::FindAudioDecoderName() {
    return {};
}

void TFrmMain::SelectChannel(int, const QString&) {}
