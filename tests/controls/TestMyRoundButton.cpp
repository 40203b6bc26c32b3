// The round glyph button: rendering under the control window's settings,
// the ring and face rules, the ellipse hit test, click and group rules, and
// the stored form's data blocks.
#include "controls/MyHemibtn.h"
#include "controls/Pictures.h"

#include <QBuffer>
#include <QPainter>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

// The control window's settings for all twelve buttons.
void FormSettings(TMyRoundButton& b, const QString& glyph) {
    b.SetAllowAllUp(false);
    b.SetAttenControl(1.0);
    b.SetBevelInner(hbRaised);
    b.SetBevelOuter(hbNone);
    b.SetBevelWidth(1);
    b.SetBorderColor(QColor(255, 255, 255));
    b.SetBorderStyle(bsNone);
    b.SetFaceColor(QColor(128, 128, 128));
    b.SetFaceShaded(false);
    b.SetFaceTransparent(true);
    b.SetGlyphShaded(false);
    b.SetGlyphMapped(false);
    b.SetGlyphTransparent(true);
    b.SetGlyph(LoadPicture(glyph));
    b.SetBounds(0, 0, 40, 40);
}

// Pixel-centre test for the ellipse inscribed in (l, t) - (r, b).
bool InEllipse(int x, int y, double l, double t, double r, double b) {
    const double rx = (r - l) / 2, ry = (b - t) / 2;
    const double dx = (x + 0.5 - (l + rx)) / rx, dy = (y + 0.5 - (t + ry)) / ry;
    return dx * dx + dy * dy <= 1.0;
}

struct Recorder {
    QStringList log;
    void Bind(TMyRoundButton& b, const QString& name) {
        b.OnClick = [this, name, &b](QObject*) {
            log << QStringLiteral("%1 click down=%2").arg(name).arg(b.Down());
        };
        b.OnMouseDown = [this, name](QObject*, TMouseButton, TShiftState, int, int) {
            log << name + " mousedown";
        };
        b.OnMouseUp = [this, name](QObject*, TMouseButton, TShiftState, int, int) {
            log << name + " mouseup";
        };
    }
};

} // namespace

class TestMyRoundButton : public QObject {
    Q_OBJECT
private slots:
    void formButtonsLookTheSameUpAndDown_data();
    void formButtonsLookTheSameUpAndDown();
    void ringShading();
    void faceShading();
    void paintsThroughMask();
    void glyphStrips();
    void propertyClamps();
    void hitTest_data();
    void hitTest();
    void clickWhileDown();
    void dragOffRaisesNoClick();
    void groupBehaviour();
    void disabledRaisesNothing();
    void storedFormRoundTrip();
    void storedFormIsPaintedWithoutRendering();
    void malformedBlocksAreRefused_data();
    void malformedBlocksAreRefused();
};

void TestMyRoundButton::formButtonsLookTheSameUpAndDown_data() {
    QTest::addColumn<QString>("glyph");
    for (const QString& name : PictureNames()) {
        if (name.startsWith(QLatin1String("btn")))
            QTest::newRow(qPrintable(name)) << name;
    }
}

void TestMyRoundButton::formButtonsLookTheSameUpAndDown() {
    QFETCH(QString, glyph);
    TMyRoundButton b;
    FormSettings(b, glyph);
    QCOMPARE(b.ImageOut(), b.ImageIn());

    const QImage g = LoadPicture(glyph);
    QVERIFY(!g.isNull());
    const QRgb bg = g.pixel(0, g.height() - 1);
    const QImage mask = b.ImageMask();
    QCOMPARE(mask.size(), QSize(40, 40));
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            bool expectBlack;
            if (!InEllipse(x, y, 0, 0, 40, 40)) {
                expectBlack = false; // outside the button
            } else if (!InEllipse(x, y, 1, 1, 39, 39)) {
                expectBlack = true; // the one-pixel ring
            } else {
                // Glyph centred, unscaled; its background is see-through.
                const int gx = int(std::floor(g.width() / 2.0 + x - 20));
                const int gy = int(std::floor(g.height() / 2.0 + y - 20));
                expectBlack = gx >= 0 && gy >= 0 && gx < g.width() && gy < g.height() &&
                              g.pixel(gx, gy) != bg;
                if (expectBlack)
                    QCOMPARE(b.ImageOut().pixel(x, y), g.pixel(gx, gy));
            }
            if ((mask.pixel(x, y) == kBlack) != expectBlack)
                QFAIL(qPrintable(QStringLiteral("mask at %1,%2").arg(x).arg(y)));
            QVERIFY(mask.pixel(x, y) == kBlack || mask.pixel(x, y) == kWhite);
        }
    }
}

void TestMyRoundButton::ringShading() {
    TMyRoundButton b;
    FormSettings(b, QStringLiteral("btnAdd"));
    const QImage up = b.ImageOut();
    // A raised ring is lit from the upper left: top and left bright, bottom
    // and right dark, every ring pixel a grey.
    const QColor top = up.pixelColor(20, 0), left = up.pixelColor(0, 20);
    const QColor bottom = up.pixelColor(20, 39), right = up.pixelColor(39, 20);
    for (const QColor& c : {top, left, bottom, right}) {
        QCOMPARE(c.red(), c.green());
        QCOMPARE(c.green(), c.blue());
    }
    // Normal (0, -1, 1) / sqrt 2 at the top: 128 * 0.8165 -> 105, + 128;
    // (0, 1, 1) / sqrt 2 at the bottom is at right angles to the light: 128.
    QCOMPARE(top.red(), 233);
    QCOMPARE(bottom.red(), 128);
    // Left and right take the last stamp written there, of a nearby normal.
    QVERIFY(left.red() > 220);
    QVERIFY(right.red() <= 130);
    // Darker still towards the lower right diagonal.
    QVERIFY(qRed(up.pixel(33, 33)) < 128 || qRed(up.pixel(34, 34)) < 128);

    b.SetBevelInner(hbLowered);
    QCOMPARE(b.ImageOut().pixelColor(20, 0).red(), 128);
    QCOMPARE(b.ImageOut().pixelColor(20, 39).red(), 233);
}

void TestMyRoundButton::faceShading() {
    TMyRoundButton b; // creation settings: shaded face, lowered outer bevel
    b.SetBounds(0, 0, 60, 60);
    b.SetGlyph(QImage());
    const QImage up = b.ImageOut(), down = b.ImageIn();
    QVERIFY(up != down);
    // Up is lit from the upper left, down from the lower right.
    QVERIFY(qGray(up.pixel(18, 18)) > qGray(up.pixel(42, 42)));
    QVERIFY(qGray(down.pixel(18, 18)) < qGray(down.pixel(42, 42)));
    // The face's centre: normal (0, 0, 1) gives f = 0.577, so 128 + 74.
    QCOMPARE(qRed(up.pixel(30, 30)), 128 + int(std::nearbyint(128 * 0.5773502692)));
    QCOMPARE(qRed(down.pixel(30, 30)), 128 - int(std::nearbyint(128 * 0.5773502692)));
    // Two bevels: outer and inner rings plus the face; the mask is the full
    // ellipse without transparency.
    b.SetBevelInner(hbRaised);
    const QImage mask = b.ImageMask();
    QCOMPARE(mask.pixel(30, 30), kBlack);
    QCOMPARE(mask.pixel(0, 0), kWhite);
    // A caption is written on both faces.
    b.SetCaption(QStringLiteral("W"));
    QVERIFY(b.ImageOut() != up);
}

void TestMyRoundButton::paintsThroughMask() {
    QWidget parent;
    parent.resize(60, 60);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(0, 24, 0));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    auto* b = new TMyRoundButton(&parent);
    FormSettings(*b, QStringLiteral("btnDel"));
    b->SetBounds(10, 10, 40, 40);
    const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = b->ImageMask();
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const QRgb want =
                mask.pixel(x, y) == kBlack ? b->ImageOut().pixel(x, y) : qRgb(0, 24, 0);
            QCOMPARE(shot.pixel(10 + x, 10 + y), want);
        }
    }
}

void TestMyRoundButton::glyphStrips() {
    TMyRoundButton b;
    QImage strip(64, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    b.SetGlyph(strip);
    QCOMPARE(b.NumGlyphs(), 4);
    QCOMPARE(b.GlyphIndex(), 1);
    QVERIFY(b.GlyphValid());
    b.SetGlyphIndex(3);
    QCOMPARE(b.GlyphIndex(), 3);
    b.SetGlyphIndex(5); // above NumGlyphs: ignored
    b.SetGlyphIndex(0);
    QCOMPARE(b.GlyphIndex(), 3);
    b.SetGlyph(QImage(30, 16, QImage::Format_RGB32));
    QCOMPARE(b.NumGlyphs(), 1);
    QCOMPARE(b.GlyphIndex(), 1);
    b.SetGlyph(QImage());
    QVERIFY(!b.GlyphValid());

    // The frame chosen by GlyphIndex is the one shown.
    QImage frames(80, 40, QImage::Format_RGB32);
    frames.fill(Qt::magenta);
    frames.fill(Qt::magenta);
    QPainter(&frames).fillRect(QRect(50, 10, 20, 20), Qt::red); // frame 2 only
    FormSettings(b, QStringLiteral("btnAdd"));
    b.SetGlyph(frames);
    QCOMPARE(b.ImageMask().pixel(20, 20), kWhite);
    b.SetGlyphIndex(2);
    QCOMPARE(b.ImageMask().pixel(20, 20), kBlack);
    QCOMPARE(b.ImageOut().pixel(20, 20), qRgb(255, 0, 0));
    // No frame count can make rendering divide by zero.
    b.SetNumGlyphs(0);
    QCOMPARE(b.ImageOut().size(), QSize(40, 40));
}

void TestMyRoundButton::propertyClamps() {
    TMyRoundButton b;
    QCOMPARE(b.size(), QSize(25, 25));
    b.SetBevelWidth(0);
    b.SetBevelWidth(-3);
    QCOMPARE(b.BevelWidth(), 2);
    // Loading accepts any positive GlyphIndex.
    b.BeginLoading();
    b.SetGlyphIndex(7);
    b.EndLoading();
    QCOMPARE(b.GlyphIndex(), 7);
    // Sizes below 2 pixels are not rendered.
    b.SetBounds(0, 0, 1, 30);
    QCOMPARE(b.ImageOut().size(), QSize(25, 25));
}

void TestMyRoundButton::hitTest_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("inside");
    QTest::newRow("centre") << 20 << 20 << true;
    QTest::newRow("corner of the square") << 3 << 3 << false;
    QTest::newRow("on the ring") << 0 << 20 << false;
    QTest::newRow("just inside the ring") << 1 << 20 << true;
    QTest::newRow("right edge") << 39 << 20 << true;
}

void TestMyRoundButton::hitTest() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, inside);
    QWidget parent;
    auto* b = new TMyRoundButton(&parent);
    FormSettings(*b, QStringLiteral("btnAdd"));
    parent.show();
    QCOMPARE(b->InsideEllipse(x, y), inside);
    Recorder r;
    r.Bind(*b, QStringLiteral("b"));
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(x, y));
    const QStringList expected = inside
                                     ? QStringList({"b mousedown", "b click down=1", "b mouseup"})
                                     : QStringList({"b mouseup"});
    QCOMPARE(r.log, expected);
    QVERIFY(!b->Down());
}

void TestMyRoundButton::clickWhileDown() {
    QWidget parent;
    auto* b = new TMyRoundButton(&parent);
    FormSettings(*b, QStringLiteral("btnPause"));
    parent.show();
    Recorder r;
    r.Bind(*b, QStringLiteral("b"));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(b->Down());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(21, 20));
    QCOMPARE(r.log, QStringList({"b mousedown", "b click down=1", "b mouseup"}));
    QVERIFY(!b->Down());
    // A right press is reported but neither pushes the button nor clicks.
    r.log.clear();
    QTest::mouseClick(b, Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(r.log, QStringList({"b mousedown", "b mouseup"}));
}

void TestMyRoundButton::dragOffRaisesNoClick() {
    QWidget parent;
    auto* b = new TMyRoundButton(&parent);
    FormSettings(*b, QStringLiteral("btnPause"));
    parent.show();
    Recorder r;
    r.Bind(*b, QStringLiteral("b"));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(b, QPoint(2, 2)); // off the ellipse: up again
    QVERIFY(!b->Down());
    QTest::mouseMove(b, QPoint(20, 22)); // back on: down
    QVERIFY(b->Down());
    QTest::mouseMove(b, QPoint(60, 60));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(r.log, QStringList({"b mousedown", "b mouseup"}));
    QVERIFY(!b->Down());
}

void TestMyRoundButton::groupBehaviour() {
    QWidget window;
    auto* panelA = new QWidget(&window);
    auto* panelB = new QWidget(&window);
    panelB->move(0, 50);
    auto* a = new TMyRoundButton(panelA);
    auto* b = new TMyRoundButton(panelA);
    auto* c = new TMyRoundButton(panelB); // another panel, same owner window
    auto* other = new TMyRoundButton(panelB);
    for (TMyRoundButton* btn : {a, b, c, other})
        FormSettings(*btn, QStringLiteral("btnAdd"));
    b->move(45, 0);
    other->move(45, 0);
    for (TMyRoundButton* btn : {a, b, c})
        btn->SetGroupIndex(1);
    other->SetGroupIndex(2);
    other->SetDown(true);
    window.show();
    Recorder r;
    r.Bind(*a, QStringLiteral("a"));
    r.Bind(*b, QStringLiteral("b"));

    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(a->Down());
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(c->Down() && !a->Down());
    QVERIFY(other->Down()); // another group
    // Clicking the one that is down keeps it down and still clicks.
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(20, 20));
    r.log.clear();
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(b->Down() && !c->Down());
    QCOMPARE(r.log, QStringList({"b mousedown", "b click down=1", "b mouseup"}));

    // AllowAllUp spreads over the group; then a click lifts the down one.
    a->SetAllowAllUp(true);
    QVERIFY(b->AllowAllUp() && c->AllowAllUp());
    QVERIFY(!other->AllowAllUp());
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!a->Down() && !b->Down() && !c->Down());
}

void TestMyRoundButton::disabledRaisesNothing() {
    QWidget parent;
    auto* b = new TMyRoundButton(&parent);
    FormSettings(*b, QStringLiteral("btnAdd"));
    parent.show();
    Recorder r;
    r.Bind(*b, QStringLiteral("b"));
    b->SetEnabled(false);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(r.log.isEmpty());
    QVERIFY(!b->Down());
}

void TestMyRoundButton::storedFormRoundTrip() {
    TMyRoundButton b;
    FormSettings(b, QStringLiteral("btnSelFile"));
    QBuffer first;
    first.open(QIODevice::WriteOnly);
    QVERIFY(b.SaveStoredForm(first));
    const QByteArray bytes = first.data();
    // GlyphValid, three 40 x 40 images, the 33 x 34 glyph.
    QCOMPARE(bytes.size(), 1 + 3 * (4 + 6454) + (4 + 54 + 33 * 34 * 4));
    QCOMPARE(int(bytes[0]), 1);
    const QByteArray block = TMyRoundButton::ImageToBlock(b.ImageOut());
    QCOMPARE(qFromLittleEndian<quint32>(block.constData()), 6454u);
    QCOMPARE(block.mid(4, 2), QByteArray("BM"));
    QCOMPARE(qFromLittleEndian<quint32>(block.constData() + 4 + 10), 54u);
    QCOMPARE(qFromLittleEndian<quint16>(block.constData() + 4 + 28), quint16(32));
    QCOMPARE(qFromLittleEndian<qint32>(block.constData() + 4 + 22), 40); // bottom-up
    // First stored row is the image's bottom row.
    const QRgb bottomLeft = b.ImageOut().pixel(0, 39);
    QCOMPARE(uchar(block[4 + 54 + 2]), uchar(qRed(bottomLeft)));
    QCOMPARE(bytes.mid(1, block.size()), block);

    TMyRoundButton loaded;
    QBuffer in(const_cast<QByteArray*>(&bytes));
    in.open(QIODevice::ReadOnly);
    QVERIFY(loaded.LoadStoredForm(in));
    QVERIFY(loaded.GlyphValid());
    QCOMPARE(loaded.ImageOut(), b.ImageOut());
    QCOMPARE(loaded.ImageMask(), b.ImageMask());
    QCOMPARE(loaded.Glyph(), b.Glyph());
    QBuffer second;
    second.open(QIODevice::WriteOnly);
    QVERIFY(loaded.SaveStoredForm(second));
    QCOMPARE(second.data(), bytes);

    // Without a glyph, the glyph block is left out.
    TMyRoundButton plain;
    plain.SetBounds(0, 0, 40, 40);
    QBuffer noGlyph;
    noGlyph.open(QIODevice::WriteOnly);
    QVERIFY(plain.SaveStoredForm(noGlyph));
    QCOMPARE(noGlyph.data().size(), 1 + 3 * (4 + 6454));
    QCOMPARE(int(noGlyph.data()[0]), 0);
}

void TestMyRoundButton::storedFormIsPaintedWithoutRendering() {
    TMyRoundButton source;
    FormSettings(source, QStringLiteral("btnAdd"));
    // A stored up image that rendering could never produce.
    QImage odd = source.ImageOut();
    odd.setPixel(20, 20, qRgb(1, 2, 3));
    QByteArray bytes;
    bytes.append(char(0));
    bytes += TMyRoundButton::ImageToBlock(odd);
    bytes += TMyRoundButton::ImageToBlock(source.ImageIn());
    bytes += TMyRoundButton::ImageToBlock(source.ImageMask());

    QWidget parent;
    auto* b = new TMyRoundButton(&parent);
    b->BeginLoading();
    b->SetBounds(0, 0, 40, 40);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QVERIFY(b->LoadStoredForm(in));
    b->EndLoading();
    QCOMPARE(b->ImageOut().pixel(20, 20), qRgb(1, 2, 3));
    const QImage shot = parent.grab(QRect(0, 0, 40, 40)).toImage();
    QCOMPARE(shot.pixel(20, 20), qRgb(1, 2, 3));
    // A property change afterwards renders again.
    b->SetFaceColor(QColor(1, 1, 1));
    QVERIFY(b->ImageOut().pixel(20, 20) != qRgb(1, 2, 3));
}

void TestMyRoundButton::malformedBlocksAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    const QByteArray good = TMyRoundButton::ImageToBlock(img);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("bad flag") << QByteArray(1, char(7)) + good + good + good;
    QTest::newRow("truncated") << QByteArray(1, char(0)) + good + good + good.left(40);
    QByteArray notBmp = good;
    notBmp[4] = 'X';
    QTest::newRow("not a BMP") << QByteArray(1, char(0)) + good + good + notBmp;
    QByteArray huge = good;
    qToLittleEndian<quint32>(0x7FFFFFFF, huge.data());
    QTest::newRow("absurd length") << QByteArray(1, char(0)) + huge;
    QByteArray compressed = good;
    qToLittleEndian<quint32>(1, compressed.data() + 4 + 30);
    QTest::newRow("compressed") << QByteArray(1, char(0)) + good + good + compressed;
    QTest::newRow("glyph missing") << QByteArray(1, char(1)) + good + good + good;
    QTest::newRow("glyph flag with a 0 x 0 glyph")
        << QByteArray(1, char(1)) + good + good + good + TMyRoundButton::ImageToBlock(QImage());
}

void TestMyRoundButton::malformedBlocksAreRefused() {
    QFETCH(QByteArray, bytes);
    TMyRoundButton b;
    FormSettings(b, QStringLiteral("btnAdd"));
    const QImage before = b.ImageOut();
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QVERIFY(!b.LoadStoredForm(in));
    QCOMPARE(b.ImageOut(), before);
    QVERIFY(b.GlyphValid());
}

QTEST_MAIN(TestMyRoundButton)
#include "TestMyRoundButton.moc"
