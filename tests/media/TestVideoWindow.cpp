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
    // Where the quadrant colours at four points of `image` (window
    // coordinates) are wrong; empty when all are right.
    static QString WrongQuadrants(const QImage& image, QPoint red, QPoint green, QPoint blue,
                                  QPoint white) {
        const struct {
            QPoint at;
            QColor colour;
        } checks[] = {{red, Qt::red}, {green, Qt::green}, {blue, Qt::blue}, {white, Qt::white}};
        QStringList wrong;
        for (auto& c : checks) {
            const QColor got = image.pixelColor(c.at);
            if (!Near(got, c.colour))
                wrong << QStringLiteral("at %1,%2: %3")
                             .arg(c.at.x())
                             .arg(c.at.y())
                             .arg(Describe(got));
        }
        return wrong.join(QStringLiteral("; "));
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
        QCOMPARE(ShowPlaying(shown, "quad.mp4"), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(vw.HasPicture() && FrameSize(vw) == QSize(320, 240), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(WrongQuadrants(form.grab().toImage(), QPoint(80, 60),
                                                 QPoint(240, 60), QPoint(80, 180),
                                                 QPoint(240, 180)),
                                  QString(), WaitMs);

        // Shown smaller than the picture: frames come scaled down to the
        // shown size, so no pixel is converted in vain.
        vw.setGeometry(0, 0, 160, 120);
        QTRY_VERIFY_WITH_TIMEOUT(FrameSize(vw) == QSize(160, 120), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(WrongQuadrants(form.grab().toImage(), QPoint(40, 30),
                                                 QPoint(120, 30), QPoint(40, 90), QPoint(120, 90)),
                                  QString(), WaitMs);

        // The zoom: twice the size, centred, so the window shows the middle.
        // The picture is converted at its own size and only the visible part
        // is scaled up when painted.
        vw.setGeometry(-160, -120, 640, 480);
        QTRY_VERIFY_WITH_TIMEOUT(FrameSize(vw) == QSize(320, 240), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            WrongQuadrants(form.grab().toImage(), QPoint(150, 110), QPoint(170, 110),
                           QPoint(150, 130), QPoint(170, 130)) +
                WrongQuadrants(form.grab().toImage(), QPoint(5, 5), QPoint(315, 5), QPoint(5, 235),
                               QPoint(315, 235)),
            QString(), WaitMs);
        QCOMPARE(form.grab().toImage().size(), QSize(320, 240));
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
        QTRY_VERIFY_WITH_TIMEOUT(!vw.HasPicture(), WaitMs);
        QCOMPARE(form.grab().toImage().pixelColor(100, 100), QColor(Qt::black));
    }

    void soundOnlyLeavesTheControlBlack() {
        TShownGraph shown(QSize(200, 150));
        TVideoWindow& vw = shown.VW;
        FRec->Clear();
        QCOMPARE(ShowPlaying(shown, "sound.m4a"), S_OK);
        // A fifth of a second of the sound heard, and still no picture.
        QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 9600, WaitMs);
        QVERIFY(!vw.HasPicture());
        // The renderer is in the graph, unconnected.
        std::vector<std::shared_ptr<IPin>> pins;
        vw.MemberFilter()->EnumPins(&pins);
        QCOMPARE(pins.size(), size_t(1));
        std::shared_ptr<IPin> peer;
        QCOMPARE(pins[0]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        QCOMPARE(shown.Form.grab().toImage().pixelColor(100, 75), QColor(Qt::black));
    }
};

QTEST_MAIN(TestVideoWindow)
#include "TestVideoWindow.moc"
