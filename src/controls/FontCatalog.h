// Font requests by name. The program asks for "宋体" (SimSun); where that
// family is missing, an installed CJK serif family of similar shape is used
// instead, chosen once per run, so every Chinese caption renders.
//
// Sizes follow the original platform's font semantics, on which the
// layouts were designed: a height in pixels is the em height of the glyphs
// (not the cell height, ascent + descent, which for CJK faces is about 1.4
// em), and a point size is taken at 96 dots per inch.
#pragma once

#include <QFont>
#include <QString>

// The installed family used for a requested family name ("宋体" maps to the
// chosen CJK fallback when missing; other names are returned unchanged).
QString ResolveFontFamily(const QString& requested);
// A font whose em height is pixelHeight pixels (at least 1).
QFont MakeFontPx(const QString& family, int pixelHeight);
// A font of the given point size at 96 dots per inch: 4/3 pixel a point.
QFont MakeFontPt(const QString& family, int points);
// Shorthand for the program's "宋体" at an em height in pixels.
QFont SongTiFont(int pixelHeight);
// Height of a line of text in f as the layouts count it (the height of the
// text "JR"): the em height for "宋体" and its stand-in, whose original cell
// is exactly its em; the cell height (ascent + descent) for other faces.
int LayoutTextHeight(const QFont& f);
// Pixels to move text drawn top-aligned in f up, so that its glyphs sit
// where the original face puts them (0 for faces other than "宋体").
int LayoutTextRaise(const QFont& f);
