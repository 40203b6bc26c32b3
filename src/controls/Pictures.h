// The program's own pictures, compiled in from resources/ as ":/resources/<name>.png".
// Glyph names and sizes (width x height):
//   round buttons: "btnUP" 40x40, "btnSelFile" 33x34, "btnSelAudioChl2" 30x28,
//     "btnRestore" 32x32, "btnPause" 32x32, "btnBack" 28x24, "btnNext" 24x23,
//     "btnClose" 32x32, "btnDown" 40x40, "btnAdd" 30x30, "btnDel" 32x32,
//     "btnSave" 28x28;
//   schedule grid: "imgPlay" 30x30, "imgAdd" 31x31, "imgSub" 32x32;
//   decoration: "Image1" 32x32.
// Every picture's bottom-left pixel is its plain background colour, which
// the round button and the grid treat as transparent.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

// The picture as an RGB32 image; a null image for an unknown name.
QImage LoadPicture(const QString& name);
// The same picture with its background colour (bottom-left pixel) made
// transparent, for drawing with QPainter (grid glyphs, Image1).
QPixmap LoadTransparentPicture(const QString& name);
// All names above.
QStringList PictureNames();
