#include "controls/Pictures.h"

#include <QImageReader>

QStringList PictureNames() {
    return {QStringLiteral("btnUP"),           QStringLiteral("btnSelFile"),
            QStringLiteral("btnSelAudioChl2"), QStringLiteral("btnRestore"),
            QStringLiteral("btnPause"),        QStringLiteral("btnBack"),
            QStringLiteral("btnNext"),         QStringLiteral("btnClose"),
            QStringLiteral("btnDown"),         QStringLiteral("btnAdd"),
            QStringLiteral("btnDel"),          QStringLiteral("btnSave"),
            QStringLiteral("imgPlay"),         QStringLiteral("imgAdd"),
            QStringLiteral("imgSub"),          QStringLiteral("Image1")};
}

QImage LoadPicture(const QString& name) {
    // Read as PNG, named so: left to guess, the reader loads every image
    // format plugin (JPEG, GIF, ICO...) to ask each whether it reads PNG.
    QImageReader reader(QStringLiteral(":/resources/%1.png").arg(name), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage img = reader.read();
    if (img.isNull())
        return {};
    return img.convertToFormat(QImage::Format_RGB32);
}

QPixmap LoadTransparentPicture(const QString& name) {
    QImage img = LoadPicture(name);
    if (img.isNull())
        return {};
    const QRgb bg = img.pixel(0, img.height() - 1);
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (bg & 0xFFFFFF))
                line[x] = 0;
        }
    }
    return QPixmap::fromImage(out);
}
