// TVideoWindow painting real decoded frames: the picture over the control's
// full rectangle, also enlarged and moved to negative coordinates (clipped by
// its window), frames scaled once to the shown size, clicks as its own.
#include "MediaTestKit.h"

#include <QImage>
#include <QWindow>
#include <QtTest>

namespace {

bool Near(QColor c, QColor expected) {
    return std::abs(c.red() - expected.red()) < 48 && std::abs(c.green() - expected.green()) < 48 &&
           std::abs(c.blue() - expected.blue()) < 48;
}

QString Describe(QColor c) {
    return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// The size of the newest frame the renderer made for the control.
QSize FrameSize(TVideoWindow& vw) {
    auto window = Query<IVideoWindow>(vw.MemberFilter());
    auto frame = window ? window->CurrentFrame() : nullptr;
    return frame ? QSize(frame->Width(), frame->Height()) : QSize();
}

} // namespace

class TestVideoWindow : public QObject, TMediaFixture {
    Q_OBJECT

private:
    // Checks the quadrant colours at four points of `image` (window
    // coordinates), naming the failure.
    void CheckQuadrants(const QImage& image, QPoint red, QPoint green, QPoint blue, QPoint white) {
        const struct {
            QPoint at;
            QColor colour;
        } checks[] = {{red, Qt::red}, {green, Qt::green}, {blue, Qt::blue}, {white, Qt::white}};
        for (auto& c : checks) {
            const QColor got = image.pixelColor(c.at);
            QVERIFY2(
                Near(got, c.colour),
                qPrintable(
                    QStringLiteral("at %1,%2: %3").arg(c.at.x()).arg(c.at.y()).arg(Describe(got))));
        }
    }

private slots:
    void initTestCase() {
        StartMediaTests();
        MAKE_CLIP(MakeToneVideoClip(Clip("quad.mp4"), 6, 1, &clipError));
        MAKE_CLIP(MakeToneAudioClip(Clip("sound.m4a"), 2, 2, &clipError));
    }

    void newControlIsBlack() {
        TVideoWindow vw;
        QCOMPARE(vw.size(), QSize(160, 120));
        QCOMPARE(vw.focusPolicy(), Qt::StrongFocus);
        const QImage image = vw.grab().toImage();
        QCOMPARE(image.pixelColor(80, 60), QColor(Qt::black));
    }

    void pictureFillsTheControlAndItsZoom() {
        TShownGraph shown(QSize(320, 240));
        QWidget& form = shown.Form;
        TVideoWindow& vw = shown.VW;
        TFilterGraph& g = shown.Graph;
        form.show();
        QCOMPARE(RenderClip(g, "quad.mp4"), S_OK);
        QVERIFY(g.Play());
        QVERIFY(WaitUntil([&] { return vw.HasPicture() && FrameSize(vw) == QSize(320, 240); }));
        RunFor(100);
        CheckQuadrants(form.grab().toImage(), {80, 60}, {240, 60}, {80, 180}, {240, 180});

        // Shown smaller than the picture: frames come scaled down to the
        // shown size, so no pixel is converted in vain.
        vw.setGeometry(0, 0, 160, 120);
        QVERIFY(WaitUntil([&] { return FrameSize(vw) == QSize(160, 120); }));
        RunFor(100);
        CheckQuadrants(form.grab().toImage(), {40, 30}, {120, 30}, {40, 90}, {120, 90});

        // The zoom: twice the size, centred, so the window shows the middle.
        // The picture is converted at its own size and only the visible part
        // is scaled up when painted.
        vw.setGeometry(-160, -120, 640, 480);
        QVERIFY(WaitUntil([&] { return FrameSize(vw) == QSize(320, 240); }));
        RunFor(100);
        const QImage zoomed = form.grab().toImage();
        QCOMPARE(zoomed.size(), QSize(320, 240));
        CheckQuadrants(zoomed, {150, 110}, {170, 110}, {150, 130}, {170, 130});
        CheckQuadrants(zoomed, {5, 5}, {315, 5}, {5, 235}, {315, 235});
        const quint64 painted = vw.FramesPainted();
        QVERIFY(painted > 0);

        // A press on the picture is the control's own, in its coordinates.
        QPoint pressed(-1, -1);
        Qt::MouseButton button = Qt::NoButton;
        vw.OnMouseDown = [&](QObject* sender, Qt::MouseButton b, Qt::KeyboardModifiers, int x,
                             int y) {
            QCOMPARE(sender, &vw);
            button = b;
            pressed = {x, y};
        };
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, QPoint(10, 20));
        QCOMPARE(button, Qt::LeftButton);
        QCOMPARE(pressed, QPoint(170, 140));
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, QPoint(10, 20));

        // Deactivation takes the picture away: black again.
        g.SetActive(false);
        RunFor(50);
        QVERIFY(!vw.HasPicture());
        QCOMPARE(form.grab().toImage().pixelColor(100, 100), QColor(Qt::black));
    }

    void soundOnlyLeavesTheControlBlack() {
        TShownGraph shown(QSize(200, 150));
        QWidget& form = shown.Form;
        TVideoWindow& vw = shown.VW;
        TFilterGraph& g = shown.Graph;
        form.show();
        QCOMPARE(RenderClip(g, "sound.m4a"), S_OK);
        QVERIFY(g.Play());
        RunFor(400);
        QVERIFY(!vw.HasPicture());
        // The renderer is in the graph, unconnected.
        std::vector<std::shared_ptr<IPin>> pins;
        vw.MemberFilter()->EnumPins(&pins);
        QCOMPARE(pins.size(), size_t(1));
        std::shared_ptr<IPin> peer;
        QCOMPARE(pins[0]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        QCOMPARE(form.grab().toImage().pixelColor(100, 75), QColor(Qt::black));
    }
};

QTEST_MAIN(TestVideoWindow)
#include "TestVideoWindow.moc"
