// Draws the program's own glyph pictures into resources/ as PNG files.
//
// Build and run (from the repository root):
//   g++ -std=c++20 -fPIC tools/make_glyphs.cpp -o /tmp/make_glyphs \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/make_glyphs resources
//
// Every picture is drawn on a plain magenta background that no glyph uses;
// the bottom-left pixel always keeps that colour, because the round button
// and the schedule grid take that pixel as the transparent colour. Shapes
// that meet the background are drawn without anti-aliasing, so no blended
// fringe pixels appear around them once the background is cut away.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kBackground(255, 0, 255);
const QColor kBlue(0, 64, 224);
const QColor kLightBlue(96, 160, 255);
const QColor kYellow(255, 224, 0);
const QColor kRed(224, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 176, 64);

QImage Canvas(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBackground);
    return img;
}

// A w x h picture on the background, drawn by draw() with a painter that
// starts without anti-aliasing and without a pen.
QImage Drawn(int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage img = Canvas(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    draw(p);
    return img;
}

QPolygonF Poly(std::initializer_list<QPointF> pts) {
    return QPolygonF(QList<QPointF>(pts));
}

// Yellow arrow on a black disc; down when pointing down, else up.
QImage ArrowDisc(bool pointingDown) {
    return Drawn(40, 40, [&](QPainter& p) {
        p.setBrush(kBlack);
        p.drawEllipse(QRectF(2, 2, 36, 36));
        p.setBrush(kYellow);
        QPolygonF arrow =
            Poly({{16, 9}, {24, 9}, {24, 20}, {30, 20}, {20, 31}, {10, 20}, {16, 20}});
        if (!pointingDown) {
            for (QPointF& pt : arrow)
                pt.setY(40 - pt.y());
        }
        p.drawPolygon(arrow);
    });
}

QImage SelFile() {
    return Drawn(33, 34, [&](QPainter& p) {
        p.setBrush(QColor(0, 112, 160));
        p.drawEllipse(QRectF(1, 1, 31, 31));
        p.setBrush(kWhite);
        // Loudspeaker: a box and a cone.
        p.drawRect(QRectF(8, 13, 5, 8));
        p.drawPolygon(Poly({{13, 13}, {19, 8}, {19, 26}, {13, 21}}));
        // Two sound arcs.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kWhite, 2));
        p.drawArc(QRectF(16, 11, 8, 12), -60 * 16, 120 * 16);
        p.drawArc(QRectF(16, 7, 12, 20), -60 * 16, 120 * 16);
    });
}

void Wave(QPainter& p, double baseY, double amp, const QColor& c) {
    QPainterPath path;
    for (int x = 2; x <= 27; ++x) {
        const double y = baseY + amp * std::sin((x - 2) * 2.0 * M_PI / 12.5);
        if (x == 2)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

QImage SelAudioChl() {
    return Drawn(30, 28, [&](QPainter& p) {
        // Two lines, each carrying a wave.
        p.fillRect(QRect(1, 8, 28, 1), QColor(160, 160, 160));
        p.fillRect(QRect(1, 20, 28, 1), QColor(160, 160, 160));
        Wave(p, 8, 4, kGreen);
        Wave(p, 20, 4, QColor(255, 144, 0));
    });
}

QImage Restore() {
    return Drawn(32, 32, [&](QPainter& p) {
        // A table window at the upper left.
        p.setBrush(kWhite);
        p.setPen(QPen(kBlue, 1));
        p.drawRect(QRect(2, 2, 16, 13));
        p.fillRect(QRect(3, 3, 15, 3), kBlue);
        for (int y = 8; y <= 14; y += 3)
            p.fillRect(QRect(3, y, 15, 1), kLightBlue);
        p.fillRect(QRect(8, 6, 1, 9), kLightBlue);
        // A computer at the lower right: screen, foot and keyboard.
        p.setPen(QPen(kBlack, 1));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRect(16, 14, 13, 10));
        p.fillRect(QRect(18, 16, 10, 7), QColor(0, 128, 128));
        p.fillRect(QRect(21, 25, 4, 2), QColor(96, 96, 96));
        p.fillRect(QRect(17, 27, 12, 3), QColor(96, 96, 96));
        // Return arrow from the computer back to the table.
        p.setPen(QPen(kRed, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 14, 14, 14), 180 * 16, 90 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawPolygon(Poly({{1, 20}, {9, 20}, {5, 16}}));
    });
}

QImage Pause() {
    return Drawn(32, 32, [&](QPainter& p) {
        p.fillRect(QRect(8, 6, 6, 20), kBlue);
        p.fillRect(QRect(18, 6, 6, 20), kBlue);
        p.fillRect(QRect(9, 7, 2, 18), kLightBlue);
        p.fillRect(QRect(19, 7, 2, 18), kLightBlue);
    });
}

// Two triangles; pointing left when left is true.
QImage DoubleTriangle(int w, int h, bool left) {
    return Drawn(w, h, [&](QPainter& p) {
        p.setBrush(kBlue);
        const double half = w / 2.0;
        const double top = 2, bottom = h - 3, mid = (h - 1) / 2.0;
        QPolygonF a = Poly({{1, mid}, {half, top}, {half, bottom}});
        QPolygonF b = Poly({{half - 1, mid}, {w - 2.0, top}, {w - 2.0, bottom}});
        if (!left) {
            for (QPolygonF* poly : {&a, &b}) {
                for (QPointF& pt : *poly)
                    pt.setX(w - 1 - pt.x());
            }
        }
        p.drawPolygon(a);
        p.drawPolygon(b);
    });
}

QImage Close() {
    return Drawn(32, 32, [&](QPainter& p) {
        // Door frame and the open door leaf.
        p.fillRect(QRect(14, 3, 15, 26), QColor(64, 40, 16));
        p.fillRect(QRect(16, 5, 11, 24), QColor(255, 240, 200));
        p.setBrush(QColor(176, 104, 40));
        p.drawPolygon(Poly({{16, 5}, {22, 8}, {22, 31}, {16, 28}}));
        p.fillRect(QRect(20, 18, 1, 2), kYellow);
        // Arrow into the door.
        p.setBrush(kGreen);
        p.drawPolygon(Poly({{2, 13}, {11, 13}, {11, 9}, {18, 16}, {11, 23}, {11, 19}, {2, 19}}));
    });
}

// A plus sign, or a minus sign when plus is false: bars of colour c with a
// one-pixel highlight of colour light.
QImage Sign(int size, const QColor& c, const QColor& light, bool plus) {
    return Drawn(size, size, [&](QPainter& p) {
        const int bar = size / 4;
        const int start = (size - bar) / 2;
        p.fillRect(QRect(3, start, size - 6, bar), c);
        if (plus)
            p.fillRect(QRect(start, 3, bar, size - 6), c);
        p.fillRect(QRect(4, start + 1, size - 8, 1), light);
        if (plus)
            p.fillRect(QRect(start + 1, 4, 1, size - 8), light);
    });
}

QImage Cross() {
    return Drawn(32, 32, [&](QPainter& p) {
        p.setBrush(kRed);
        p.drawPolygon(Poly({{5, 9},
                            {9, 5},
                            {16, 12},
                            {23, 5},
                            {27, 9},
                            {20, 16},
                            {27, 23},
                            {23, 27},
                            {16, 20},
                            {9, 27},
                            {5, 23},
                            {12, 16}}));
    });
}

QImage Floppy() {
    return Drawn(28, 28, [&](QPainter& p) {
        p.setBrush(kBlue);
        p.drawPolygon(Poly({{2, 2}, {23, 2}, {26, 5}, {26, 26}, {2, 26}}));
        // Shutter with its slot, and the label.
        p.fillRect(QRect(7, 2, 13, 8), QColor(200, 200, 210));
        p.fillRect(QRect(15, 3, 3, 6), kBlue);
        p.fillRect(QRect(6, 14, 16, 11), kWhite);
        p.fillRect(QRect(8, 17, 12, 1), kLightBlue);
        p.fillRect(QRect(8, 20, 12, 1), kLightBlue);
    });
}

QImage PlayTriangle() {
    return Drawn(30, 30, [&](QPainter& p) {
        p.setBrush(kGreen);
        p.drawPolygon(Poly({{7, 4}, {26, 15}, {7, 26}}));
        p.setBrush(QColor(128, 224, 128));
        p.drawPolygon(Poly({{9, 8}, {13, 10}, {9, 12}}));
    });
}

QImage Speaker() {
    return Drawn(32, 32, [&](QPainter& p) {
        p.setBrush(kYellow);
        p.drawRect(QRectF(3, 12, 6, 8));
        p.drawPolygon(Poly({{9, 12}, {17, 5}, {17, 27}, {9, 20}}));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kYellow, 2));
        p.drawArc(QRectF(14, 10, 8, 12), -55 * 16, 110 * 16);
        p.drawArc(QRectF(14, 6, 13, 20), -55 * 16, 110 * 16);
        p.drawArc(QRectF(14, 2, 17, 28), -55 * 16, 110 * 16);
    });
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    QDir().mkpath(dir);
    const QList<std::pair<QString, std::function<QImage()>>> glyphs = {
        {"btnUP", [] { return ArrowDisc(true); }},
        {"btnDown", [] { return ArrowDisc(false); }},
        {"btnSelFile", SelFile},
        {"btnSelAudioChl2", SelAudioChl},
        {"btnRestore", Restore},
        {"btnPause", Pause},
        {"btnBack", [] { return DoubleTriangle(28, 24, true); }},
        {"btnNext", [] { return DoubleTriangle(24, 23, false); }},
        {"btnClose", Close},
        {"btnAdd", [] { return Sign(30, kBlue, kLightBlue, true); }},
        {"btnDel", Cross},
        {"btnSave", Floppy},
        {"imgPlay", PlayTriangle},
        {"imgAdd", [] { return Sign(31, kGreen, QColor(128, 224, 128), true); }},
        {"imgSub", [] { return Sign(32, kRed, QColor(255, 128, 128), false); }},
        {"Image1", Speaker},
    };
    int failures = 0;
    for (const auto& [name, draw] : glyphs) {
        QImage img = draw();
        // The transparent colour lives in the bottom-left pixel.
        if (img.pixelColor(0, img.height() - 1) != kBackground) {
            std::fprintf(stderr, "%s: bottom-left pixel is not the background\n", qPrintable(name));
            ++failures;
        }
        const QString path = dir + "/" + name + ".png";
        if (!img.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
