// Font requests by name. The program asks for "宋体" (SimSun); where that
// family is missing, an installed CJK serif family of similar shape is used
// instead, chosen once per run, so every Chinese caption renders.
//
// Heights follow the convention of the program's layouts: a pixel height is
// the font's cell height (ascent + descent), so the height of the text "JR"
// in a font requested with height h is h, as with the original face.
#pragma once

#include <QFont>
#include <QString>

// The installed family used for a requested family name ("宋体" maps to the
// chosen CJK fallback when missing; other names are returned unchanged).
QString ResolveFontFamily(const QString& requested);
// A font whose cell height is pixelHeight: the height of the extent of the
// text "JR" (QFontMetrics::size) is at most pixelHeight, as close as the
// face's pixel sizes allow.
QFont MakeFontPx(const QString& family, int pixelHeight);
// A font of the given point size (the cell height follows from the size).
QFont MakeFontPt(const QString& family, int points);
// Shorthand for the program's "宋体" at a cell height in pixels.
QFont SongTiFont(int pixelHeight);
