// The radio button: box geometry from the font's "JR" height, the outline
// and check colours of the three shapes, and the click, group and release
// rules the control window relies on.
#include "controls/FontCatalog.h"
#include "controls/MyRadionBtn.h"

#include <QPainter>
#include <QtTest>

namespace {

const QRgb kSentinel = qRgb(0, 24, 0);
const QRgb kHigh = qRgb(255, 255, 255);
const QRgb kLow = qRgb(128, 128, 128);
const QRgb kBk = qRgb(192, 192, 192);
const QRgb kCheck = qRgb(255, 0, 0);

// The control window's settings (lbLeft2 and its kin), on a given shape.
void FormSettings(TMyRadionBtn& b, TButtonShape shape, const QString& caption) {
    b.SetBorderWidth(1);
    b.SetCheckColor(QColor(kCheck));
    b.SetColor_High(QColor(kHigh));
    b.SetColor_Low(QColor(kLow));
    b.SetBkColor(QColor(kBk));
    b.SetButtonShape(shape);
    b.SetCaption(caption);
    b.SetFont(SongTiFont(26));
    b.SetFontColor(QColor(128, 128, 128));
    b.resize(112, 27);
}

QImage Render(const TMyRadionBtn& b) {
    QImage img(b.width(), b.height(), QImage::Format_RGB32);
    img.fill(kSentinel);
    QPainter p(&img);
    b.PaintTo(p);
    return img;
}

// Leftmost and topmost painted pixel in columns from x0 on.
QPoint FirstPainted(const QImage& img, int x0) {
    int left = img.width(), top = img.height();
    for (int y = 0; y < img.height(); ++y) {
        for (int x = x0; x < img.width(); ++x) {
            if (img.pixel(x, y) != kSentinel) {
                left = std::min(left, x);
                top = std::min(top, y);
            }
        }
    }
    return {left, top};
}

struct Group {
    QWidget panel;
    TMyRadionBtn* left;
    TMyRadionBtn* centre;
    TMyRadionBtn* right;
    QStringList log;
    Group() {
        left = new TMyRadionBtn(&panel);
        centre = new TMyRadionBtn(&panel);
        right = new TMyRadionBtn(&panel);
        int x = 0;
        for (auto [b, name] : {std::pair{left, "lbLeft2"}, std::pair{centre, "lbCenter2"},
                               std::pair{right, "lbRight2"}}) {
            FormSettings(*b, btRound, QString::fromUtf8(name));
            b->move(x, 0);
            x += 120;
            const QString n = QString::fromUtf8(name);
            b->OnClick = [this, n, b](QObject*) {
                log << QStringLiteral("%1Click checked=%2").arg(n).arg(b->Checked());
            };
        }
        centre->SetChecked(true);
        panel.resize(400, 40);
        panel.show();
    }
};

} // namespace

class TestMyRadionBtn : public QObject {
    Q_OBJECT
private slots:
    void boxGeometry();
    void outlineColours_data();
    void outlineColours();
    void boxOnTheRight();
    void disabledLooks();
    void clickChecksAfterOnClick();
    void clickOnCheckedButton();
    void programCheckRaisesNothing();
    void panelsAreSeparateGroups();
    void releaseRules_data();
    void releaseRules();
    void disabledIgnoresPointer();
    void accelerator();
};

void TestMyRadionBtn::boxGeometry() {
    TMyRadionBtn b;
    FormSettings(b, btRound, QStringLiteral("左声道"));
    QCOMPARE(LayoutTextHeight(b.Font()), 26);
    QCOMPARE(b.BoxSize(), 24);
    b.SetTextStyle(txNone);
    b.SetChecked(true);
    const QImage img = Render(b);
    // Box (2, 2) - (26, 26): the circle's outermost pixels.
    QVERIFY(img.pixel(2, 14) != kSentinel);
    QCOMPARE(img.pixel(1, 14), kSentinel);
    QVERIFY(img.pixel(14, 2) != kSentinel);
    QCOMPARE(img.pixel(14, 1), kSentinel);
    QVERIFY(img.pixel(25, 14) != kSentinel);
    QCOMPARE(img.pixel(26, 14), kSentinel);
    QVERIFY(img.pixel(14, 25) != kSentinel);
    QCOMPARE(img.pixel(14, 26), kSentinel);
    // Check ellipse (8, 8) - (20, 20): outlined in BkColor, filled red; the
    // box's inside is not filled.
    QCOMPARE(img.pixel(8, 14), kBk);
    QCOMPARE(img.pixel(19, 14), kBk);
    QCOMPARE(img.pixel(14, 14), kCheck);
    QCOMPARE(img.pixel(7, 14), kSentinel);
    QCOMPARE(img.pixel(20, 14), kSentinel);
    // The caption starts at (28, 1).
    const QPoint first = FirstPainted(img, 26);
    QVERIFY2(first.x() >= 28 && first.x() <= 31, qPrintable(QString::number(first.x())));
    QVERIFY(first.y() >= 1);
    // The raised style adds a highlight one pixel up and left.
    b.SetTextStyle(txRaised);
    QCOMPARE(FirstPainted(Render(b), 26).x(), first.x() - 1);
}

void TestMyRadionBtn::outlineColours_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QPoint>("upperLeft");
    QTest::addColumn<QPoint>("lowerRight");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("checkEdge");
    // Box (2, 2) - (26, 26), centre (14, 14), inset 6.
    QTest::newRow("round unchecked") << int(btRound) << false << QPoint(2, 14) << QPoint(25, 14)
                                     << QPoint(14, 14) << QPoint(8, 14);
    QTest::newRow("round checked") << int(btRound) << true << QPoint(2, 14) << QPoint(25, 14)
                                   << QPoint(14, 14) << QPoint(8, 14);
    QTest::newRow("square unchecked") << int(btSquare) << false << QPoint(2, 10) << QPoint(25, 10)
                                      << QPoint(14, 14) << QPoint(8, 14);
    QTest::newRow("square checked") << int(btSquare) << true << QPoint(10, 2) << QPoint(10, 25)
                                    << QPoint(14, 14) << QPoint(8, 8);
    QTest::newRow("diamond unchecked") << int(btDiamond) << false << QPoint(8, 8) << QPoint(20, 20)
                                       << QPoint(14, 14) << QPoint(8, 14);
    QTest::newRow("diamond checked") << int(btDiamond) << true << QPoint(2, 14) << QPoint(26, 14)
                                     << QPoint(14, 14) << QPoint(8, 14);
}

void TestMyRadionBtn::outlineColours() {
    QFETCH(int, shape);
    QFETCH(bool, checked);
    QFETCH(QPoint, upperLeft);
    QFETCH(QPoint, lowerRight);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, checkEdge);
    TMyRadionBtn b;
    FormSettings(b, TButtonShape(shape), QString());
    b.SetChecked(checked);
    const QImage img = Render(b);
    // Raised when unchecked (light upper left), sunken when checked.
    QCOMPARE(img.pixel(upperLeft), checked ? kLow : kHigh);
    QCOMPARE(img.pixel(lowerRight), checked ? kHigh : kLow);
    QCOMPARE(img.pixel(inside), checked ? kCheck : kSentinel);
    QCOMPARE(img.pixel(checkEdge), checked ? kBk : kSentinel);
}

void TestMyRadionBtn::boxOnTheRight() {
    TMyRadionBtn b;
    FormSettings(b, btSquare, QStringLiteral("JR"));
    b.SetTextAlign(taRight);
    b.SetTextStyle(txNone);
    const QImage img = Render(b);
    // R = W - 1 = 111, L = 87: the left edge in Color_High, the right one
    // (column R - 1) in Color_Low.
    QCOMPARE(img.pixel(87, 10), kHigh);
    QCOMPARE(img.pixel(110, 10), kLow);
    QCOMPARE(img.pixel(111, 10), kSentinel);
    // The caption starts one pixel in and ends before W - S - Spacing.
    const QPoint first = FirstPainted(img, 0);
    QVERIFY(first.x() >= 1 && first.x() < 10);
    for (int y = 0; y < 27; ++y) {
        for (int x = 112 - 24 - 2; x < 87; ++x)
            QCOMPARE(img.pixel(x, y), kSentinel);
    }
}

void TestMyRadionBtn::disabledLooks() {
    TMyRadionBtn b;
    FormSettings(b, btRound, QStringLiteral("左声道"));
    b.SetFontColor(QColor(0, 0, 255));
    b.SetTextStyle(txNone);
    b.SetChecked(true);
    b.SetEnabled(false);
    const QImage img = Render(b);
    QCOMPARE(img.pixel(8, 14), kLow); // check outline
    QCOMPARE(img.pixel(14, 14), kCheck);
    bool anyBlue = false, anyLow = false;
    for (int y = 0; y < 27; ++y) {
        for (int x = 28; x < 112; ++x) {
            anyBlue |= qBlue(img.pixel(x, y)) > 200 && qRed(img.pixel(x, y)) < 50;
            anyLow |= img.pixel(x, y) == kLow;
        }
    }
    QVERIFY(anyLow);
    QVERIFY(!anyBlue);
}

void TestMyRadionBtn::clickChecksAfterOnClick() {
    Group g;
    QTest::mouseClick(g.left, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(g.log, QStringList({"lbLeft2Click checked=0"}));
    QVERIFY(g.left->Checked());
    QVERIFY(!g.centre->Checked());
    QVERIFY(!g.right->Checked());
}

void TestMyRadionBtn::clickOnCheckedButton() {
    Group g;
    QTest::mouseClick(g.centre, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(g.log, QStringList({"lbCenter2Click checked=1"}));
    QVERIFY(g.centre->Checked());
    QVERIFY(!g.left->Checked() && !g.right->Checked());
}

void TestMyRadionBtn::programCheckRaisesNothing() {
    Group g;
    g.right->SetChecked(true);
    QVERIFY(g.log.isEmpty());
    QVERIFY(g.right->Checked() && !g.centre->Checked() && !g.left->Checked());
    // Unchecking the checked one leaves the group with none checked.
    g.right->SetChecked(false);
    QVERIFY(!g.right->Checked() && !g.centre->Checked());
    // Another GroupIndex on the same parent is another group.
    g.left->SetGroupIndex(1);
    g.left->SetChecked(true);
    g.centre->SetChecked(true);
    QVERIFY(g.left->Checked() && g.centre->Checked());
    // Without a parent a button only changes itself.
    TMyRadionBtn lone;
    lone.SetChecked(true);
    QVERIFY(lone.Checked());
}

void TestMyRadionBtn::panelsAreSeparateGroups() {
    QWidget window;
    auto* top = new QWidget(&window);
    auto* bottom = new QWidget(&window);
    auto* a = new TMyRadionBtn(top);
    auto* b = new TMyRadionBtn(bottom);
    a->SetChecked(true);
    b->SetChecked(true);
    QVERIFY(a->Checked() && b->Checked());
}

void TestMyRadionBtn::releaseRules_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<bool>("clicked");
    QTest::addColumn<bool>("checked");
    QTest::newRow("left inside") << int(Qt::LeftButton) << QPoint(50, 10) << true << true;
    QTest::newRow("right inside: checks without a click")
        << int(Qt::RightButton) << QPoint(50, 10) << false << true;
    QTest::newRow("left released outside")
        << int(Qt::LeftButton) << QPoint(200, 10) << false << false;
    QTest::newRow("left on the far corner: checks, no click")
        << int(Qt::LeftButton) << QPoint(112, 27) << false << true;
    QTest::newRow("left just beyond") << int(Qt::LeftButton) << QPoint(113, 10) << false << false;
}

void TestMyRadionBtn::releaseRules() {
    QFETCH(int, button);
    QFETCH(QPoint, release);
    QFETCH(bool, clicked);
    QFETCH(bool, checked);
    Group g;
    QStringList order;
    g.left->OnMouseDown = [&order](QObject*, TMouseButton, TShiftState, int, int) {
        order << "down";
    };
    g.left->OnMouseUp = [&order, &g](QObject*, TMouseButton, TShiftState, int, int) {
        order << QStringLiteral("up checked=%1").arg(g.left->Checked());
    };
    QTest::mousePress(g.left, Qt::MouseButton(button), {}, QPoint(10, 10));
    QTest::mouseMove(g.left, release);
    QTest::mouseRelease(g.left, Qt::MouseButton(button), {}, release);
    QCOMPARE(g.log.size(), clicked ? 1 : 0);
    QCOMPARE(g.left->Checked(), checked);
    QCOMPARE(g.centre->Checked(), !checked);
    QCOMPARE(order, QStringList({"down", "up checked=0"}));
}

void TestMyRadionBtn::disabledIgnoresPointer() {
    Group g;
    int events = 0;
    g.left->OnMouseDown = [&events](QObject*, TMouseButton, TShiftState, int, int) { ++events; };
    g.left->OnMouseUp = [&events](QObject*, TMouseButton, TShiftState, int, int) { ++events; };
    g.left->SetEnabled(false);
    QTest::mouseClick(g.left, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(g.left, Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(events, 0);
    QVERIFY(g.log.isEmpty());
    QVERIFY(!g.left->Checked() && g.centre->Checked());
}

void TestMyRadionBtn::accelerator() {
    Group g;
    g.left->SetCaption(QStringLiteral("&Left"));
    g.panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&g.panel));
    QTest::keyClick(&g.panel, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(g.log, QStringList({"lbLeft2Click checked=0"}));
    QVERIFY(g.left->Checked() && !g.centre->Checked());
    // Disabled: the accelerator does nothing.
    g.log.clear();
    g.left->SetChecked(false);
    g.left->SetEnabled(false);
    QTest::keyClick(&g.panel, Qt::Key_L, Qt::AltModifier);
    QVERIFY(g.log.isEmpty());
    QVERIFY(!g.left->Checked());
}

QTEST_MAIN(TestMyRadionBtn)
#include "TestMyRadionBtn.moc"
