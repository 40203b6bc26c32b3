// What the section engine asks of the windows. The control window
// implements it (the video window behind it); the engine's tests record it.
#pragma once

#include <QString>

// What happens when the media has played to its end: the captions of the
// end-mode buttons "播完退出", "播完关机", "循环播放".
enum class EndMode { Exit, PowerOff, Loop };

class EngineView {
public:
    virtual ~EngineView() = default;

    // The replay notice "即将重放 请准备" on the video.
    virtual void ShowNotice(bool shown) = 0;
    // Whole seconds left of the repeat pause under the notice; 0 hides them.
    virtual void ShowCountdown(int seconds) = 0;
    // The section line on the video; empty hides it.
    virtual void ShowSectionLine(const QString& text) = 0;
    // Keeps the video window on the picture it shows now, whatever frames
    // arrive, until released: a repetition's seek decodes during its pause,
    // and the pause shows the frame it paused on, not the section's start.
    virtual void HoldPicture(bool held) { (void)held; }
    virtual void ShowVideo() = 0;
    virtual void HideVideo() = 0;
    virtual void ShowControls() = 0;
    virtual void HideControls() = 0;
    // The zoom slider's position applied to the video just opened.
    virtual void ApplyZoom() = 0;
    // The file just opened: its audio track list, the chosen track and the
    // chosen sound channel applied.
    virtual void ApplyAudioChoice() = 0;
    // Follow the playing section in the table.
    virtual void SelectRow(int row) = 0;
    // A message naming the file and the reason; never modal (an unattended
    // practice must not wait for a click).
    virtual void ReportError(const QString& text) = 0;
    // Exit or power off, then end the process. Returns only when that
    // failed (the error, if any, propagates to the caller's error display).
    virtual void EndProgram(EndMode mode) = 0;
};
