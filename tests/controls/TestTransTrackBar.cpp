// The value slider: its pixels for the control window's two sliders and the
// edge positions, and its pointer and event rules.
#include "controls/uTransTrackBar.h"

#include <QPainter>
#include <QtTest>

namespace {

const QRgb kSentinel = qRgb(255, 0, 255);
const QRgb kLT = qRgb(192, 192, 192);
const QRgb kRB = qRgb(128, 128, 128);
const QRgb kBlue = qRgb(0, 0, 255);

// Paints the slider over a magenta image: magenta left = nothing painted.
QImage Render(const TTransTrackBar& bar) {
    QImage img(bar.width(), bar.height(), QImage::Format_RGB32);
    img.fill(kSentinel);
    QPainter p(&img);
    bar.PaintTo(p);
    return img;
}

// The form's settings of the control window's sliders (SoundLevel2 / tbZoom).
void FormSettings(TTransTrackBar& bar, double max, double position) {
    bar.resize(106, 50);
    bar.SetThumWidth(24);
    bar.SetBarHeight(16);
    bar.SetColorBar(QColor(0, 0, 255));
    bar.SetColorFaceFrameLT(QColor(0, 0, 0));
    bar.SetColorFaceFrameRB(QColor(0, 0, 0));
    bar.SetMaxValue(max);
    bar.SetPosition(position);
}

struct Recorder {
    QStringList log;
    void Bind(TTransTrackBar& bar) {
        bar.OnChange = [this, &bar](QObject*) {
            log << QStringLiteral("change %1").arg(bar.Position());
        };
        bar.OnMouseDown = [this, &bar](QObject*, TMouseButton b, TShiftState, int x, int) {
            log << QStringLiteral("down %1 %2 at %3").arg(int(b)).arg(x).arg(bar.Position());
        };
        bar.OnMouseUp = [this](QObject*, TMouseButton b, TShiftState, int x, int) {
            log << QStringLiteral("up %1 %2").arg(int(b)).arg(x);
        };
        bar.OnClick = [this](QObject*) { log << QStringLiteral("click"); };
    }
    int Count(const QString& prefix) const {
        int n = 0;
        for (const QString& s : log)
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    }
};

} // namespace

class TestTransTrackBar : public QObject {
    Q_OBJECT
private slots:
    void formPixels_data();
    void formPixels();
    void thumbGradient();
    void edgePositions();
    void frameAndFace();
    void verticalGradientReachesBelowBand();
    void widgetPaintsLikePaintTo();
    void assignmentRules();
    void rangeSetters();
    void bandClick_data();
    void bandClick();
    void dragSteps();
    void secondPressIgnored();
    void doubleClickIsTwoPresses();
    void disabledRaisesNothing();
};

void TestTransTrackBar::formPixels_data() {
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("t");
    QTest::newRow("SoundLevel2 at 9000") << 10000.0 << 9000.0 << 73;
    QTest::newRow("tbZoom at 10") << 100.0 << 10.0 << 8;
}

void TestTransTrackBar::formPixels() {
    QFETCH(double, max);
    QFETCH(double, position);
    QFETCH(int, t);
    TTransTrackBar bar;
    FormSettings(bar, max, position);
    QCOMPARE(bar.ThumbLeft(), t);
    const QImage img = Render(bar);
    const int top = 17, bottom = 32;

    // Slider part: columns 0 .. t-2 of the band, framed.
    QCOMPARE(img.pixel(0, top), kLT);
    QCOMPARE(img.pixel(t - 3, top), kLT);
    QCOMPARE(img.pixel(t - 2, top), kRB); // top-right corner
    QCOMPARE(img.pixel(0, bottom), kRB);  // bottom-left corner
    QCOMPARE(img.pixel(1, top + 1), kBlue);
    QCOMPARE(img.pixel(0, top - 1), kSentinel);
    QCOMPARE(img.pixel(0, bottom + 1), kSentinel);
    // Unpainted columns either side of the thumb, and the last column.
    for (int y = 0; y < 50; ++y) {
        QCOMPARE(img.pixel(t - 1, y), kSentinel);
        QCOMPARE(img.pixel(t + 24, y), kSentinel);
        QCOMPARE(img.pixel(105, y), kSentinel);
    }
    // Thumb: columns t .. t+23, rows 1 .. 47.
    QCOMPARE(img.pixel(t, 0), kSentinel);
    QCOMPARE(img.pixel(t, 1), kLT);
    QCOMPARE(img.pixel(t + 23, 1), kRB);
    QCOMPARE(img.pixel(t, 47), kRB);
    QCOMPARE(img.pixel(t + 23, 47), kRB);
    QCOMPARE(img.pixel(t + 5, 48), kSentinel);
    // Bar part: columns t+25 .. 104.
    QCOMPARE(img.pixel(t + 25, top), kLT);
    QCOMPARE(img.pixel(104, top), kRB);
    QCOMPARE(img.pixel(104, bottom), kRB);
    QCOMPARE(img.pixel(t + 26, top + 1), kBlue);
    QCOMPARE(img.pixel(t + 25, top - 1), kSentinel);
}

void TestTransTrackBar::thumbGradient() {
    TTransTrackBar bar;
    FormSettings(bar, 10000, 9000);
    QImage img = Render(bar);
    // Red and green of the lines from the edge inward; blue stays 0. The
    // outermost line (89) lies under the frame.
    const int expected[] = {89, 97, 106, 116, 126, 138, 150, 164, 179, 196, 214, 233, 255};
    const int t = 73;
    auto check = [&](int x, int value) {
        const QColor c = img.pixelColor(x, 20);
        QCOMPARE(c.red(), value);
        QCOMPARE(c.green(), value);
        QCOMPARE(c.blue(), 0);
    };
    // The lines k = 11 fall on the centre pair, which the last line (k = 12)
    // draws over from both sides.
    for (int k = 1; k <= 10; ++k) {
        check(t + k, expected[k]);
        check(t + 23 - k, expected[k]);
    }
    check(t + 11, 255);
    check(t + 12, 255);

    // A 25-pixel thumb has the same half-length, so the same factors, and
    // a single centre column: every line but the framed edge one shows.
    bar.SetThumWidth(25);
    img = Render(bar);
    const int t25 = bar.ThumbLeft();
    for (int k = 1; k <= 12; ++k) {
        check(t25 + k, expected[k]);
        check(t25 + 24 - k, expected[k]);
    }
}

void TestTransTrackBar::edgePositions() {
    TTransTrackBar bar;
    FormSettings(bar, 100, 100);
    QImage img = Render(bar);
    QCOMPARE(bar.ThumbLeft(), 82); // the last 24 columns
    QCOMPARE(img.pixel(105, 20), kRB);
    QCOMPARE(img.pixel(82, 20), kLT);
    QCOMPARE(img.pixel(80, 17), kRB); // slider part ends at t-2
    QCOMPARE(img.pixel(81, 20), kSentinel);

    bar.SetPosition(0);
    img = Render(bar);
    QCOMPARE(bar.ThumbLeft(), 0);
    QCOMPARE(img.pixel(0, 20), kLT); // thumb, not a slider part
    QCOMPARE(img.pixel(24, 20), kSentinel);
    QCOMPARE(img.pixel(25, 17), kLT); // bar part starts at t+25

    // Below the range: stored as is, the thumb drawn partly left of the control.
    bar.SetPosition(-10);
    QCOMPARE(bar.Position(), -10.0);
    QCOMPARE(bar.ThumbLeft(), -8);
    img = Render(bar);
    QCOMPARE(img.pixel(15, 1), kRB); // right frame column of the thumb
    QCOMPARE(img.pixel(17, 17), kLT);
}

void TestTransTrackBar::frameAndFace() {
    TTransTrackBar bar;
    FormSettings(bar, 100, 10);
    bar.SetShowFrame(true);
    bar.SetColorFaceFrameLT(QColor(255, 255, 255));
    bar.SetColorFaceFrameRB(QColor(1, 1, 1));
    bar.SetTransparent(false);
    bar.SetColorFace(QColor(10, 20, 30));
    const QImage img = Render(bar);
    QCOMPARE(img.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(105, 0), qRgb(1, 1, 1));
    QCOMPARE(img.pixel(0, 49), qRgb(1, 1, 1));
    QCOMPARE(img.pixel(7, 20), qRgb(10, 20, 30)); // column t-1 now shows the face
    QCOMPARE(img.pixel(50, 5), qRgb(10, 20, 30));
    QVERIFY(bar.bkTransParent() == false);
}

void TestTransTrackBar::verticalGradientReachesBelowBand() {
    TTransTrackBar bar;
    FormSettings(bar, 100, 10);
    bar.SetGradientBar(true);
    bar.SetGradientSlider(true);
    const QImage img = Render(bar);
    // Seventeen rows from the band's top: the last, darkest one lies below
    // the band; the middle row (17 + 8) has the full colour.
    QCOMPARE(img.pixel(50, 25), kBlue);
    const QColor below = img.pixelColor(50, 33);
    QCOMPARE(below.red(), 0);
    QVERIFY(below.blue() > 0 && below.blue() < 255);
    QCOMPARE(img.pixelColor(3, 33), below);
    QCOMPARE(img.pixel(50, 34), kSentinel);
}

void TestTransTrackBar::widgetPaintsLikePaintTo() {
    QWidget parent;
    parent.resize(200, 100);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(kSentinel));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 10000, 9000);
    bar->move(10, 20);
    const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage own = Render(*bar);
    QCOMPARE(shot.copy(10, 20, 106, 50), own);
}

void TestTransTrackBar::assignmentRules() {
    TTransTrackBar bar;
    Recorder r;
    r.Bind(bar);
    bar.SetPosition(40);
    bar.SetPosition(40);
    bar.SetPosition(250); // above the range: stored as MaxValue
    QCOMPARE(r.log, QStringList({"change 40", "change 40", "change 100"}));
    QCOMPARE(bar.Position(), 100.0);
    bar.SetFixed(9);
    QCOMPARE(int(bar.Fixed()), 8);
    bar.SetPartNumber(0);
    QCOMPARE(int(bar.PartNumber()), 1);
    QCOMPARE(r.log.size(), 3);
}

void TestTransTrackBar::rangeSetters() {
    TTransTrackBar bar;
    Recorder r;
    r.Bind(bar);
    bar.SetMaxValue(0); // not above MinValue 0
    QCOMPARE(bar.MaxValue(), 1.0);
    bar.SetMinValue(5); // not below MaxValue 1
    QCOMPARE(bar.MinValue(), 0.0);
    bar.SetMaxValue(10);
    bar.SetMinValue(3);
    QCOMPARE(bar.MinValue(), 3.0);
    QCOMPARE(bar.Position(), 50.0); // neither clamped nor announced
    QVERIFY(r.log.isEmpty());
}

void TestTransTrackBar::bandClick_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("x");
    QTest::addColumn<double>("expected");
    // tbZoom: v ~ 58.5 is more than a tenth away, so one step up.
    QTest::newRow("step up") << 106 << 10.0 << 60 << 20.0;
    QTest::newRow("step down") << 106 << 50.0 << 2 << 40.0;
    // A wide slider: a click just right of the thumb lies within a tenth.
    QTest::newRow("jump") << 306 << 50.0 << 170 << 100.0 * (170 - 12) / 282;
    QTest::newRow("clamped at the top") << 106 << 95.0 << 104 << 100.0;
}

void TestTransTrackBar::bandClick() {
    QFETCH(int, width);
    QFETCH(double, position);
    QFETCH(int, x);
    QFETCH(double, expected);
    QWidget parent;
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 100, position);
    bar->resize(width, 50);
    parent.show();
    Recorder r;
    r.Bind(*bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(x, 25));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(x, 25));
    QCOMPARE(bar->Position(), expected);
    // OnMouseDown sees the old value; one OnChange; the click after release.
    QCOMPARE(r.log, QStringList({QStringLiteral("down 0 %1 at %2").arg(x).arg(position),
                                 QStringLiteral("change %1").arg(expected), "click",
                                 QStringLiteral("up 0 %1").arg(x)}));

    // A press off the band (above it) changes nothing.
    r.log.clear();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(x, 5));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(x, 5));
    QCOMPARE(r.Count("change"), 0);
    QCOMPARE(bar->Position(), expected);
}

void TestTransTrackBar::dragSteps() {
    QWidget parent;
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 100, 10); // thumb 8..31
    parent.show();
    Recorder r;
    r.Bind(*bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(20, 25));
    QCOMPARE(r.Count("change"), 0); // on the thumb: no band click

    QTest::mouseMove(bar, QPoint(30, 25)); // on the thumb, moving right
    const double v30 = 100.0 * (30 - 12) / 82;
    QCOMPARE(bar->Position(), v30);
    QCOMPARE(r.Count("change"), 1);
    // The thumb now spans 26..49; moving left to 28 gives a smaller value.
    QTest::mouseMove(bar, QPoint(28, 25));
    QCOMPARE(bar->Position(), 100.0 * 16 / 82);
    QCOMPARE(r.Count("change"), 2);
    // Moving right onto the thumb but to a value below Position keeps it,
    // yet still announces the step.
    const double before = bar->Position();
    QTest::mouseMove(bar, QPoint(29, 25));
    QCOMPARE(bar->Position(), 100.0 * 17 / 82);
    QVERIFY(bar->Position() > before);
    QCOMPARE(r.Count("change"), 3);

    // The pointer outruns the thumb: the drag stalls.
    QTest::mouseMove(bar, QPoint(90, 25));
    QCOMPARE(r.Count("change"), 3);
    QTest::mouseMove(bar, QPoint(95, 25));
    QCOMPARE(r.Count("change"), 3);
    // Back over the thumb, it resumes.
    const int t = bar->ThumbLeft();
    QTest::mouseMove(bar, QPoint(t + 20, 25));
    QCOMPARE(r.Count("change"), 4);

    // Leaving the control ends the drag; coming back does nothing.
    QTest::mouseMove(bar, QPoint(200, 25));
    const double left = bar->Position();
    QTest::mouseMove(bar, QPoint(bar->ThumbLeft() + 10, 25));
    QCOMPARE(r.Count("change"), 4);
    QCOMPARE(bar->Position(), left);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->ThumbLeft() + 10, 25));
}

void TestTransTrackBar::secondPressIgnored() {
    QWidget parent;
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 100, 10);
    parent.show();
    Recorder r;
    r.Bind(*bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(20, 25));
    QTest::mousePress(bar, Qt::RightButton, {}, QPoint(60, 25));
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(60, 25));
    QCOMPARE(r.Count("down"), 1);
    QCOMPARE(r.Count("change"), 0);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(20, 25));
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(60, 25));
    QCOMPARE(r.Count("down"), 2);
    QCOMPARE(r.Count("change"), 1);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(60, 25));
}

void TestTransTrackBar::doubleClickIsTwoPresses() {
    QWidget parent;
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 100, 10);
    parent.show();
    Recorder r;
    r.Bind(*bar);
    const QPointF at(60, 25);
    auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent e(type, at, bar->mapToGlobal(at), Qt::LeftButton, held, {});
        QApplication::sendEvent(bar, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {});
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {});
    QCOMPARE(r.Count("down"), 2);
    QCOMPARE(r.Count("change"), 2);
    QCOMPARE(bar->Position(), 30.0);
}

void TestTransTrackBar::disabledRaisesNothing() {
    QWidget parent;
    auto* bar = new TTransTrackBar(&parent);
    FormSettings(*bar, 100, 10);
    parent.show();
    Recorder r;
    r.Bind(*bar);
    int moves = 0;
    bar->OnMouseMove = [&moves](QObject*, TShiftState, int, int) { ++moves; };
    bar->SetEnabled(false);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(60, 25));
    QTest::mouseMove(bar, QPoint(20, 25));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(60, 25));
    QVERIFY(r.log.isEmpty());
    QCOMPARE(moves, 0);
    QCOMPARE(bar->Position(), 10.0);
    // Painting does not change with Enabled.
    bar->SetEnabled(true);
    const QImage enabled = Render(*bar);
    bar->SetEnabled(false);
    QCOMPARE(Render(*bar), enabled);
}

QTEST_MAIN(TestTransTrackBar)
#include "TestTransTrackBar.moc"
