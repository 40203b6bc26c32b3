// A QR code of a short text (the phone remote's address), drawn black on
// white with the four-module quiet zone readers expect.
#pragma once

#include <QImage>
#include <QString>

// Null when the text cannot be encoded. modulePixels: the side of one module.
QImage QrCodeImage(const QString& text, int modulePixels);
