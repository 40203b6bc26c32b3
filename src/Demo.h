// The first-start demo of the run command: a short clip made with GStreamer's
// test sources, a schedule beside it and the settings that play it at once;
// and, without a display, an observer that prints the sections as they play,
// saves screenshots of both windows and ends the run after one loop.
//
// The program itself never prepares a demo on its own: only the run command
// asks for it, through the environment variable TAVRELO_DEMO ("1": prepare
// on a first start, "headless": prepare and observe).
#pragma once

#include <QString>

class QWidget;
class TFrmMain;

enum class TDemoMode { dmNone, dmFirstStart, dmHeadless };

TDemoMode DemoModeFromEnvironment();

// Encodes a clip of `seconds` seconds (640 × 360 H.264 test picture with the
// running time written on it, AAC ticks once a second) to `path`. Returns
// false and the framework's reason in *error when it cannot.
bool MakeDemoClip(const QString& path, int seconds, QString* error);

// Writes the demo schedule of the clip at clipPath into its schedule file:
// three sections, counts 2, 1 and 2.
void WriteDemoSchedule(const QString& clipPath);

// On a first start (no settings file at IniFileName yet): makes the clip and
// its schedule in folder `dir` and writes the settings that play it at once
// (the clip as "PlayFile", auto-play and the replay notice on, loop mode).
// Returns false with the reason when the clip cannot be made; a settings file
// already present leaves everything alone and returns true.
bool PrepareDemo(const QString& dir, QString* error);

// Without a display: follows the control window's section engine, prints each
// section as it starts, saves screenshots of both windows into `dir` and
// closes the control window once the schedule has looped back to row 1, or
// after `timeoutSeconds`.
void StartDemoObserver(TFrmMain* frmMain, const QString& dir, int timeoutSeconds = 120);
