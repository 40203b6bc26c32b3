// The round button's stored form: any bytes either are refused or give a
// button that paints, renders anew at another size, and stores and loads
// back to the same images.
#include "FuzzKit.h"

#include "controls/MyHemibtn.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TMyRoundButton button;
    button.resize(40, 40);
    if (!button.LoadStoredForm(in))
        return 0;
    FUZZ_CHECK(!button.GlyphValid() || !button.Glyph().isNull());
    QImage canvas(40, 40, QImage::Format_ARGB32);
    button.render(&canvas);

    QByteArray stored;
    QBuffer out(&stored);
    out.open(QIODevice::WriteOnly);
    FUZZ_CHECK(button.SaveStoredForm(out));
    QBuffer back(&stored);
    back.open(QIODevice::ReadOnly);
    TMyRoundButton copy;
    FUZZ_CHECK(copy.LoadStoredForm(back));
    FUZZ_CHECK(copy.ImageOut() == button.ImageOut() && copy.ImageIn() == button.ImageIn() &&
               copy.ImageMask() == button.ImageMask() && copy.Glyph() == button.Glyph());

    button.resize(33, 29); // renders from the loaded glyph
    button.render(&canvas);
    return 0;
}
