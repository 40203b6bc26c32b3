#include "remote/QrCode.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

QImage QrCodeImage(const QString& text, int modulePixels) {
    const QByteArray utf8 = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code || modulePixels <= 0)
        return {};
    constexpr int kQuiet = 4;
    const int width = code->width;
    const int side = (width + 2 * kQuiet) * modulePixels;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            // Bit 0 of each byte: the module is dark.
            if (code->data[y * width + x] & 1)
                p.fillRect((x + kQuiet) * modulePixels, (y + kQuiet) * modulePixels, modulePixels,
                           modulePixels, Qt::black);
    return image;
}
