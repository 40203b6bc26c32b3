// What the section engine asks of the windows, done by the control window
// and the video window: the notice and countdown, the section line, showing
// and hiding either window, zoom and audio choice after an open, following
// the playing row in the table, error messages and the end action.
#pragma once

#include "engine/EngineView.h"

class TFrmMain;

class TFrmMainView : public EngineView {
public:
    explicit TFrmMainView(TFrmMain& frm) : frm_(frm) {}
    void ShowNotice(bool shown) override;
    void ShowCountdown(int seconds) override;
    void ShowSectionLine(const QString& text) override;
    void HoldPicture(bool held) override;
    void ShowVideo() override;
    void HideVideo() override;
    void ShowControls() override;
    void HideControls() override;
    void ApplyZoom() override;
    void ApplyAudioChoice() override;
    void SelectRow(int row) override;
    void ReportError(const QString& text) override;
    void EndProgram(EndMode mode) override;

private:
    TFrmMain& frm_;
};
