// Shared helpers of the program: field splitting, "mm:ss" time text, the
// "YES"/"NO" switches, one-shot INI access, grid helpers and row encoding,
// row sorting, the message-pumping delay and ending the own process.
//
// Text is QString (UTF-8 inside). INI files are read and written through the
// INI service in utPublic/IniFile.h, which keeps each file's encoding.
#pragma once

#include "utPublic/utPublicCore.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <cstdint>

class QPainter;

// The text, time, INI, row-sorting and row-encoding helpers live in
// utPublic/utPublicCore.h (no window code, usable by the section engine).

// --- Module state, set once by InitPublicModule() -------------------------

// Full path of the settings file: executable folder + "system.INI", or the
// user's configuration folder when the executable's folder is not writable.
extern QString IniFileName;
// What the user is to be told once about where IniFileName lies (a
// system.INI beside the executable passed over); empty: nothing.
extern QString IniFileNotice;
// Module start-up: sets IniFileName and PerfFrequency. Runs before the first
// window is created.
void InitPublicModule();

// --- Grids -------------------------------------------------------------------

void FitColumn(TStringGridLike& grid, int col);
void AppendRow(TStringGridLike& grid);
void DeleteRow(TStringGridLike& grid, int row);
// Fills rect with horizontal lines dimmed away from the middle line.
void GradientFill(const QRect& rect, QPainter& canvas, QColor colour);
QColor DimColor(QColor colour, double factor);

// --- Process end ------------------------------------------------------

// Ends the process at once with exit status 1; no window close handler runs.
[[noreturn]] void TerminateSelf();
// Ending the own process needs no extra privilege on Linux: always true.
bool EnableDebugPrivilege(bool enable);
