#include "controls/MyHemibtn.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QIODevice>
#include <QMouseEvent>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <cmath>

using ControlGeometry::InEllipse;
using ControlGeometry::OnEllipseEdge;

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr double kLight = 0.5773502692; // each component of the unit light vector

int Floor(double v) {
    return int(std::floor(v));
}
int Ceil(double v) {
    return int(std::ceil(v));
}

QImage Blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kWhite);
    return img;
}

// Black ellipse on white.
QImage EllipseMask(int w, int h, int l, int t, int r, int b) {
    QImage img = Blank(w, h);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (InEllipse(x, y, l, t, r, b))
                line[x] = kBlack;
        }
    }
    return img;
}

bool IsBlack(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0;
}

void SetPixelSafe(QImage& img, int x, int y, QRgb c) {
    if (x >= 0 && y >= 0 && x < img.width() && y < img.height())
        reinterpret_cast<QRgb*>(img.scanLine(y))[x] = c;
}

// A ring of width bw at inset a, shaded like a torus lit from the upper
// left, drawn into a blank bitmap.
QImage RingBitmap(int w, int h, int a, int bw, bool raised) {
    QImage img = Blank(w, h);
    const double rx = (w - 2.0 * a - 1) / 2.0;
    const double ry = (h - 2.0 * a - 1) / 2.0;
    const double cx = a + rx;
    const double cy = a + ry;
    const int s = Ceil(bw / 2.0) + 1;

    auto shade = [raised](int dx, int dy, double r) {
        const double sx = raised ? dx : -dx;
        const double sy = raised ? dy : -dy;
        const double dot = (-sx - sy + r) * kLight / (r * std::sqrt(2.0));
        const int g = std::clamp(RoundHalfEven(128.0 * dot) + 128, 0, 255);
        return qRgb(g, g, g);
    };
    auto stamp = [&](double px, double py) {
        const int x = RoundHalfEven(px);
        const int y = RoundHalfEven(py);
        for (int j = y - s; j <= y + s; ++j) {
            for (int i = x - s; i <= x + s; ++i) {
                if (i == 0 && j == 0)
                    continue;
                const double r = std::sqrt(double(i) * i + double(j) * j);
                SetPixelSafe(img, Ceil(cx + i), Ceil(cy - j), shade(i, -j, r));
                SetPixelSafe(img, Ceil(cx + i), Floor(cy + j), shade(i, j, r));
                SetPixelSafe(img, Floor(cx - i), Floor(cy + j), shade(-i, j, r));
                SetPixelSafe(img, Floor(cx - i), Ceil(cy - j), shade(-i, -j, r));
            }
        }
    };

    // Midpoint walk of the first quadrant from (0, ry).
    const double rx2 = rx * rx;
    const double ry2 = ry * ry;
    double x = 0;
    double y = ry;
    double d1 = ry2 - rx2 * ry + rx2 / 4.0;
    stamp(x, y);
    while (ry2 * (x + 1) < rx2 * (y - 0.5)) {
        if (d1 < 0) {
            d1 += ry2 * (2 * x + 3);
        } else {
            d1 += ry2 * (2 * x + 3) + rx2 * (2 - 2 * y);
            y -= 1;
        }
        x += 1;
        stamp(x, y);
    }
    double d2 = ry2 * (x + 0.5) * (x + 0.5) + rx2 * (y - 1) * (y - 1) - rx2 * ry2;
    while (y > 0) {
        if (d2 > 0) {
            d2 += rx2 * (3 - 2 * y);
        } else {
            d2 += ry2 * (2 * x + 2) + rx2 * (3 - 2 * y);
            x += 1;
        }
        y -= 1;
        stamp(x, y);
    }
    return img;
}

// Makes black every pixel of img where the mask is black (AND with mask).
void AndMask(QImage& img, const QImage& mask) {
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (IsBlack(mask, x, y))
                SetPixelSafe(img, x, y, kBlack);
        }
    }
}

// Makes black every pixel of img where the mask is white.
void AndNotMask(QImage& img, const QImage& mask) {
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!IsBlack(mask, x, y))
                SetPixelSafe(img, x, y, kBlack);
        }
    }
}

void OrInto(QImage& img, const QImage& other) {
    for (int y = 0; y < img.height(); ++y) {
        auto* a = reinterpret_cast<QRgb*>(img.scanLine(y));
        auto* b = reinterpret_cast<const QRgb*>(other.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            a[x] = 0xFF000000 | a[x] | b[x];
    }
}

// One-pixel ellipse outline inscribed in (l, t) - (r, b).
void EllipseOutline(QImage& img, int l, int t, int r, int b, QRgb c) {
    for (int y = t; y < b; ++y) {
        for (int x = l; x < r; ++x) {
            if (OnEllipseEdge(x, y, l, t, r, b))
                SetPixelSafe(img, x, y, c);
        }
    }
}

int ShadeChannel(int c, double f) {
    return std::clamp(c + RoundHalfEven(c * f), 0, 255);
}

// --- BMP data blocks --------------------------------------------------------

void PutLe16(QByteArray& b, int pos, quint16 v) {
    qToLittleEndian(v, b.data() + pos);
}
void PutLe32(QByteArray& b, int pos, quint32 v) {
    qToLittleEndian(v, b.data() + pos);
}
quint16 GetLe16(const QByteArray& b, int pos) {
    return qFromLittleEndian<quint16>(b.constData() + pos);
}
quint32 GetLe32(const QByteArray& b, int pos) {
    return qFromLittleEndian<quint32>(b.constData() + pos);
}

constexpr int kHeaderSize = 54;

QByteArray BmpFile(const QImage& source) {
    const QImage img = source.isNull() ? QImage() : source.convertToFormat(QImage::Format_RGB32);
    const int w = img.width();
    const int h = img.height();
    const int rowBytes = w * 4; // 32 bits per pixel: always a multiple of 4
    const int pixelBytes = rowBytes * h;
    QByteArray b(kHeaderSize + pixelBytes, '\0');
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(b, 2, quint32(b.size()));
    PutLe32(b, 10, kHeaderSize);
    PutLe32(b, 14, 40);
    PutLe32(b, 18, quint32(w));
    PutLe32(b, 22, quint32(h)); // positive height: rows bottom-up
    PutLe16(b, 26, 1);
    PutLe16(b, 28, 32);
    PutLe32(b, 30, 0); // uncompressed
    PutLe32(b, 34, quint32(pixelBytes));
    for (int row = 0; row < h; ++row) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(h - 1 - row));
        char* out = b.data() + kHeaderSize + row * rowBytes;
        for (int x = 0; x < w; ++x) {
            out[4 * x + 0] = char(qBlue(line[x]));
            out[4 * x + 1] = char(qGreen(line[x]));
            out[4 * x + 2] = char(qRed(line[x]));
            out[4 * x + 3] = 0;
        }
    }
    return b;
}

// Reads an uncompressed 24- or 32-bit BMP file; false when malformed.
bool ParseBmp(const QByteArray& b, QImage* out) {
    if (b.size() < kHeaderSize || b[0] != 'B' || b[1] != 'M')
        return false;
    const quint32 offset = GetLe32(b, 10);
    const quint32 infoSize = GetLe32(b, 14);
    const qint32 w = qint32(GetLe32(b, 18));
    const qint32 rawH = qint32(GetLe32(b, 22));
    const quint16 bpp = GetLe16(b, 28);
    const quint32 compression = GetLe32(b, 30);
    if (infoSize < 40 || compression != 0 || (bpp != 32 && bpp != 24) || w < 0 ||
        rawH == INT32_MIN || w > 32767)
        return false;
    const bool topDown = rawH < 0;
    const qint32 h = topDown ? -rawH : rawH;
    if (h > 32767)
        return false;
    const qint64 rowBytes = ((qint64(w) * bpp + 31) / 32) * 4;
    if (offset < 14 + infoSize || qint64(offset) + rowBytes * h > b.size())
        return false;
    if (w == 0 || h == 0) {
        *out = QImage();
        return true;
    }
    QImage img(w, h, QImage::Format_RGB32);
    const int step = bpp / 8;
    for (int row = 0; row < h; ++row) {
        const uchar* in = reinterpret_cast<const uchar*>(b.constData()) + offset + row * rowBytes;
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(topDown ? row : h - 1 - row));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(in[step * x + 2], in[step * x + 1], in[step * x]);
    }
    *out = img;
    return true;
}

} // namespace

TMyRoundButton::TMyRoundButton(QWidget* parent) : TPointerControl(parent) {
    font_ = QApplication::font();
    resize(25, 25);
    SizeChanged(); // the resize event of a hidden widget would come too late
}

TMyRoundButton::~TMyRoundButton() = default;

// --- Setters ----------------------------------------------------------------

void TMyRoundButton::SetBevelWidth(int v) {
    if (v <= 0 || v == bevelWidth_)
        return;
    bevelWidth_ = v;
    Rerender();
}

void TMyRoundButton::SetAllowAllUp(bool v) {
    if (groupIndex_ == 0 || loading_) {
        allowAllUp_ = v;
        return;
    }
    for (TMyRoundButton* b : GroupMembers())
        b->allowAllUp_ = v;
    allowAllUp_ = v;
}

void TMyRoundButton::SetDown(bool v) {
    if (v == down_)
        return;
    down_ = v;
    repaint();
}

void TMyRoundButton::SetFont(const QFont& f, const TColor& color) {
    if (f == font_ && color == fontColor_)
        return;
    font_ = f;
    fontColor_ = color;
    Rerender();
}

void TMyRoundButton::SetGlyph(const QImage& glyph) {
    if (glyphValid_ && !glyph.isNull() && glyph.cacheKey() == glyph_.cacheKey())
        return;
    if (glyph.isNull()) {
        glyph_ = QImage();
        glyphValid_ = false;
    } else {
        glyph_ = glyph.convertToFormat(QImage::Format_RGB32);
        glyphValid_ = true;
        const int w = glyph_.width();
        const int h = glyph_.height();
        numGlyphs_ = (h != 0 && w % h == 0 && w / h > 0) ? w / h : 1;
        glyphIndex_ = 1;
    }
    Rerender();
}

void TMyRoundButton::SetGlyphIndex(int v) {
    if (v == glyphIndex_ || v <= 0)
        return;
    if (!loading_ && v > numGlyphs_)
        return;
    glyphIndex_ = v;
    Rerender();
}

void TMyRoundButton::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
    SizeChanged();
}

void TMyRoundButton::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    SizeChanged();
}

void TMyRoundButton::SizeChanged() {
    const int w = width();
    const int h = height();
    if (w == renderedW_ && h == renderedH_)
        return;
    renderedW_ = w;
    renderedH_ = h;
    if (!loading_)
        Rerender();
}

void TMyRoundButton::Rerender() {
    Render();
    update();
}

void TMyRoundButton::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
}

QList<TMyRoundButton*> TMyRoundButton::GroupMembers() const {
    QList<TMyRoundButton*> out;
    if (groupIndex_ == 0)
        return out;
    QWidget* owner = window();
    if (owner == nullptr)
        return out;
    QList<TMyRoundButton*> all = owner->findChildren<TMyRoundButton*>();
    if (auto* self = qobject_cast<TMyRoundButton*>(owner))
        all.prepend(self);
    for (TMyRoundButton* b : all) {
        if (b != this && b->groupIndex_ == groupIndex_)
            out << b;
    }
    return out;
}

// --- Loading and the stored form --------------------------------------------

void TMyRoundButton::BeginLoading() {
    loading_ = true;
}

void TMyRoundButton::EndLoading() {
    loading_ = false;
    update();
}

QByteArray TMyRoundButton::ImageToBlock(const QImage& image) {
    const QByteArray bmp = BmpFile(image);
    QByteArray block(4, '\0');
    PutLe32(block, 0, quint32(bmp.size()));
    return block + bmp;
}

bool TMyRoundButton::ReadBlock(QIODevice& in, QImage* image) {
    const QByteArray len = in.read(4);
    if (len.size() != 4)
        return false;
    const quint32 n = GetLe32(len, 0);
    if (n < quint32(kHeaderSize) || n > (64u << 20))
        return false;
    const QByteArray bmp = in.read(qint64(n));
    if (bmp.size() != qsizetype(n))
        return false;
    QImage img;
    if (!ParseBmp(bmp, &img))
        return false;
    *image = img;
    return true;
}

bool TMyRoundButton::SaveStoredForm(QIODevice& out) const {
    QByteArray data;
    data.append(char(glyphValid_ ? 1 : 0));
    data += ImageToBlock(imageOut_);
    data += ImageToBlock(imageIn_);
    data += ImageToBlock(imageMask_);
    if (glyphValid_)
        data += ImageToBlock(glyph_);
    return out.write(data) == data.size();
}

bool TMyRoundButton::LoadStoredForm(QIODevice& in) {
    const bool wasLoading = loading_;
    loading_ = true;
    char valid = 0;
    QImage out, inImg, mask, glyph;
    bool ok = in.getChar(&valid) && (valid == 0 || valid == 1) && ReadBlock(in, &out) &&
              ReadBlock(in, &inImg) && ReadBlock(in, &mask);
    // A glyph flag with an empty glyph is as malformed as a cut-off block:
    // painting would look up pixels of a 0 x 0 image.
    if (ok && valid == 1)
        ok = ReadBlock(in, &glyph) && !glyph.isNull();
    if (ok) {
        glyphValid_ = valid == 1;
        imageOut_ = out;
        imageIn_ = inImg;
        imageMask_ = mask;
        glyph_ = glyphValid_ ? glyph : QImage();
    }
    loading_ = wasLoading;
    update();
    return ok;
}

// --- Rendering --------------------------------------------------------------

bool TMyRoundButton::InsideEllipse(int x, int y) const {
    const int n = (bevelOuter_ != hbNone ? 1 : 0) + (bevelInner_ != hbNone ? 1 : 0);
    const double b = double(bevelWidth_) * n;
    const double cx = width() / 2.0;
    const double cy = height() / 2.0;
    const double ex = cx - b;
    const double ey = cy - b;
    if (ex <= 0 || ey <= 0)
        return false;
    const double u = (x - cx) / ex;
    const double v = (y - cy) / ey;
    return u * u + v * v <= 1.0;
}

void TMyRoundButton::Render() {
    const int w = width();
    const int h = height();
    if (loading_ || w < 2 || h < 2)
        return;
    const int bw = bevelWidth_;
    const int n = (bevelOuter_ != hbNone ? 1 : 0) + (bevelInner_ != hbNone ? 1 : 0);

    // 1. Shape masks.
    const QImage bevelMask =
        n > 0 ? EllipseMask(w, h, bw, bw, w - bw, h - bw) : EllipseMask(w, h, 0, 0, w, h);
    const QImage faceMask = (bevelOuter_ != hbNone && bevelInner_ != hbNone)
                                ? EllipseMask(w, h, 2 * bw, 2 * bw, w - 2 * bw, h - 2 * bw)
                                : bevelMask;
    QImage mask = EllipseMask(w, h, 0, 0, w, h);

    // 2. Bevel rings.
    QList<QImage> rings;
    if (bevelOuter_ != hbNone) {
        QImage ring = RingBitmap(w, h, Floor(bw / 2.0), bw, bevelOuter_ == hbRaised);
        AndMask(ring, bevelMask);
        rings << ring;
    }
    if (bevelInner_ != hbNone) {
        if (bevelOuter_ != hbNone) {
            QImage ring = RingBitmap(w, h, Ceil(1.5 * bw), bw, bevelInner_ == hbRaised);
            AndMask(ring, faceMask);
            AndNotMask(ring, bevelMask);
            rings << ring;
        } else {
            QImage ring = RingBitmap(w, h, Ceil(bw / 2.0), bw, bevelInner_ == hbRaised);
            AndMask(ring, bevelMask);
            rings << ring;
        }
    }

    // 3. Face and glyph.
    QImage up = Blank(w, h);
    QImage down = Blank(w, h);
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    int gw = 0, gh = 0, goff = 0;
    QRgb transparent = 0;
    // A count of 0 or less would divide by zero; such a strip is one frame.
    const int frames = std::max(1, numGlyphs_);
    if (glyphValid_) {
        gh = glyph_.height();
        gw = frames == 1 ? glyph_.width() : glyph_.width() / frames;
        goff = frames == 1 ? 0 : (glyphIndex_ - 1) * gw;
        transparent = glyph_.pixel(0, gh - 1) & 0xFFFFFF;
    }
    const int fw = w - bw * n;
    const int fh = h - bw * n;
    auto facePixel = [&](int x, int y, double nx, double ny, double nz) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        QRgb colour = 0;
        bool fromGlyph = false;
        if (glyphValid_) {
            int col, row;
            if (glyphMapped_) {
                col = Floor(std::atan2(nz, -nx) * (gw - 1) / M_PI);
                row = Floor(std::atan2(nz, -ny) * (gh - 1) / M_PI);
            } else {
                col = Floor(gw / 2.0 + x - cx);
                row = Floor(gh / 2.0 + y - cy);
            }
            const int gx = goff + col;
            if (col >= 0 && col < gw && row >= 0 && row < gh && gx >= 0 && gx < glyph_.width()) {
                const QRgb g = glyph_.pixel(gx, row) & 0xFFFFFF;
                if (!(glyphTransparent_ && g == transparent)) {
                    colour = g;
                    fromGlyph = true;
                }
            }
        }
        if (!fromGlyph) {
            if (faceTransparent_) {
                if (IsBlack(faceMask, x, y))
                    SetPixelSafe(mask, x, y, kWhite);
                return;
            }
            colour = faceColor_.rgb() & 0xFFFFFF;
        }
        const bool shaded = fromGlyph ? glyphShaded_ : faceShaded_;
        if (shaded) {
            const double f = (kLight * nz - kLight * nx - kLight * ny) * attenControl_;
            const int r = qRed(colour), g = qGreen(colour), b = qBlue(colour);
            SetPixelSafe(up, x, y,
                         qRgb(ShadeChannel(r, f), ShadeChannel(g, f), ShadeChannel(b, f)));
            SetPixelSafe(down, x, y,
                         qRgb(ShadeChannel(r, -f), ShadeChannel(g, -f), ShadeChannel(b, -f)));
        } else {
            SetPixelSafe(up, x, y, 0xFF000000 | colour);
            SetPixelSafe(down, x, y, 0xFF000000 | colour);
        }
    };
    for (int k = 0; k <= Floor(fh / 2.0); ++k) {
        const double ny = k / cy;
        const int yt = Floor(cy - k);
        const int yb = Ceil(cy + k);
        const double under = 1.0 - ny * ny;
        const int half = Ceil(std::sqrt(std::max(0.0, under)) * fw / 2.0);
        if (half < 2)
            continue;
        for (int m = 0; m <= half; ++m) {
            const double nx = m / cx;
            const double nz = 1.0 - std::sqrt(nx * nx + ny * ny);
            const int xl = Floor(cx - m);
            const int xr = Ceil(cx + m);
            facePixel(xr, yt, nx, -ny, nz);
            facePixel(xr, yb, nx, ny, nz);
            facePixel(xl, yb, -nx, ny, nz);
            facePixel(xl, yt, -nx, -ny, nz);
        }
    }

    // 4. Caption.
    if (!caption_.isEmpty()) {
        QFont f = font_;
        f.setStyleStrategy(QFont::NoAntialias);
        const QFontMetrics fm(f);
        const int tx = (w - fm.horizontalAdvance(caption_)) / 2;
        const int ty = (h - fm.height()) / 2;
        const QColor textColour = isEnabled() ? fontColor_ : QColor(0x80, 0x80, 0x80);
        for (QImage* img : {&up, &down}) {
            QPainter p(img);
            p.setFont(f);
            p.setPen(textColour);
            p.drawText(QPoint(tx, ty + fm.ascent()), caption_);
        }
        if (faceTransparent_) {
            QPainter p(&mask);
            p.setFont(f);
            p.setPen(Qt::black);
            p.drawText(QPoint(tx, ty + fm.ascent()), caption_);
        }
    }

    // 5. Composition.
    if (n > 0) {
        AndNotMask(up, faceMask);
        AndNotMask(down, faceMask);
    }
    for (const QImage& ring : rings) {
        OrInto(up, ring);
        OrInto(down, ring);
    }
    if (borderStyle_ == bsSingle) {
        const int inset = n * bw;
        EllipseOutline(up, inset, inset, w - inset, h - inset, borderColor_.rgb());
        EllipseOutline(down, inset, inset, w - inset, h - inset, borderColor_.rgb());
    }
    imageOut_ = up;
    imageIn_ = down;
    imageMask_ = mask;
}

// --- Painting ---------------------------------------------------------------

void TMyRoundButton::PaintTo(QPainter& p) const {
    if (loading_ || imageMask_.isNull())
        return;
    const QImage& src = down_ ? imageIn_ : imageOut_;
    const int w = std::min(imageMask_.width(), src.width());
    const int h = std::min(imageMask_.height(), src.height());
    QImage composite(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(composite.scanLine(y));
        const auto* m = reinterpret_cast<const QRgb*>(imageMask_.constScanLine(y));
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x)
            out[x] = (m[x] & 0xFFFFFF) == 0 ? (0xFF000000 | s[x]) : 0;
    }
    p.drawImage(0, 0, composite);
}

void TMyRoundButton::paintEvent(QPaintEvent*) {
    if (!loading_)
        SizeChanged();
    QPainter p(this);
    PaintTo(p);
}

// --- Pointer ----------------------------------------------------------------

void TMyRoundButton::Press(TMouseButton button, TShiftState shift, int x, int y, bool dbl) {
    if (!isEnabled() || !InsideEllipse(x, y))
        return;
    RaiseMouseDown(button, shift, x, y);
    if (button == mbLeft) {
        tracking_ = true;
        downAtPress_ = down_;
        SetDown(true);
        if (dbl && OnDblClick)
            OnDblClick(this);
    } else if (button == mbRight && PopUpMenu()) {
        Release(button, shift, x, y);
        RunPopUp(QPoint(x, y), true);
    }
}

void TMyRoundButton::Release(TMouseButton button, TShiftState shift, int x, int y) {
    if (tracking_) {
        tracking_ = false;
        if (InsideEllipse(x, y)) {
            RaiseClick();
            if (groupIndex_ == 0) {
                SetDown(false);
            } else if (allowAllUp_ || !downAtPress_) {
                for (TMyRoundButton* b : GroupMembers())
                    b->SetDown(false);
                SetDown(!downAtPress_);
            }
        } else if (!downAtPress_) {
            // Released off the button without a move reporting it: the
            // button goes back up, as the move would have put it.
            SetDown(false);
        }
    }
    RaiseMouseUp(button, shift, x, y);
}

void TMyRoundButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton)
        ignoreRelease_ = false;
    const QPoint pt = e->position().toPoint();
    Press(ControlEvents::ButtonOf(e), ControlEvents::ShiftOf(e), pt.x(), pt.y(), false);
}

void TMyRoundButton::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    Press(ControlEvents::ButtonOf(e), ControlEvents::ShiftOf(e), pt.x(), pt.y(), true);
}

void TMyRoundButton::mouseMoveEvent(QMouseEvent* e) {
    if (!isEnabled())
        return;
    const QPoint pt = e->position().toPoint();
    if (tracking_ && !downAtPress_)
        SetDown(InsideEllipse(pt.x(), pt.y()));
    TPointerControl::mouseMoveEvent(e);
}

void TMyRoundButton::mouseReleaseEvent(QMouseEvent* e) {
    const TMouseButton button = ControlEvents::ButtonOf(e);
    if (MenuRelease(button) || !isEnabled())
        return;
    const QPoint pt = e->position().toPoint();
    Release(button, ControlEvents::ShiftOf(e), pt.x(), pt.y());
}
