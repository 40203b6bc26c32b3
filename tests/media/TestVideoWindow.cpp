// TVideoWindow painting real decoded frames: the picture over the control's
// full rectangle, also enlarged and moved to negative coordinates (clipped by
// its window), the same picture as GStreamer's converter and Qt's painter
// made of the frame, zoomed and mirrored; pictures of other shapes upright
// and in proportion, and a sound's cover; clicks as its own.
#include "MediaTestKit.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <QImage>
#include <QPainter>
#include <QScreen>
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

// The first frame of a clip as the picture used to be made: converted by
// GStreamer to 32-bit RGB at its own size, then painted by Qt over the
// control's rectangle `shown` (window coordinates; the window is `window`
// large), bilinear where the sizes differ, flipped by the painter when
// mirrored.
QImage FormerPicture(const QString& clip, QSize window, QRect shown, bool mirrored) {
    QImage out;
    const QString line = QStringLiteral("filesrc location=\"%1\" ! decodebin ! videoconvertscale ! "
                                        "video/x-raw,format=BGRx ! appsink name=s")
                             .arg(clip);
    GstElement* p = gst_parse_launch(line.toUtf8().constData(), nullptr);
    if (!p)
        return out;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(p), "s");
    gst_element_set_state(p, GST_STATE_PAUSED);
    if (GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstVideoInfo info;
        GstMapInfo map;
        GstBuffer* b = gst_sample_get_buffer(sample);
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_buffer_map(b, &map, GST_MAP_READ)) {
            const QImage frame(map.data, info.width, info.height, int(info.stride[0]),
                               QImage::Format_RGB32);
            out = QImage(window, QImage::Format_RGB32);
            out.fill(Qt::black);
            QPainter painter(&out);
            painter.translate(shown.topLeft());
            if (mirrored) {
                painter.translate(shown.width(), 0);
                painter.scale(-1, 1);
            }
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(QRect(QPoint(0, 0), shown.size()), frame);
            painter.end();
            gst_buffer_unmap(b, &map);
        }
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return out;
}

// How far two pictures of one size differ: the mean difference of a colour
// channel, and the share of pixels where a channel differs by more than 32.
QString Difference(const QImage& a, const QImage& b, double* mean, double* off) {
    *mean = *off = 1e9;
    if (a.size() != b.size() || a.isNull())
        return QStringLiteral("sizes %1x%2 and %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    double sum = 0;
    int far = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d[3] = {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))};
            sum += d[0] + d[1] + d[2];
            far += std::max({d[0], d[1], d[2]}) > 32;
        }
    *mean = sum / (3.0 * a.width() * a.height());
    *off = double(far) / (a.width() * a.height());
    return QStringLiteral("mean %1, %2 % of the pixels off by more than 32")
        .arg(*mean, 0, 'f', 2)
        .arg(*off * 100, 0, 'f', 2);
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
        // Pictures of other shapes than the window's: a phone's portrait
        // recording as stored and as a phone stores it (landscape, with the
        // turn in the track's header), and pixels wider than high.
        TVideoClipOptions portrait;
        portrait.Width = 180;
        portrait.Height = 320;
        MAKE_CLIP(MakeToneVideoClip(Clip("portrait.mp4"), 1, 1, &clipError, portrait));
        for (const char* turn : {"rotate-90", "rotate-180", "rotate-270"}) {
            TVideoClipOptions turned;
            turned.Width = 320;
            turned.Height = 180;
            turned.Orientation = QLatin1String(turn);
            MAKE_CLIP(MakeToneVideoClip(Clip(QStringLiteral("%1.mp4").arg(QLatin1String(turn))), 1,
                                        1, &clipError, turned));
        }
        TVideoClipOptions wide;
        wide.Width = 240;
        wide.Height = 180;
        wide.PixelAspectN = 4;
        wide.PixelAspectD = 3;
        MAKE_CLIP(MakeToneVideoClip(Clip("widepixels.mp4"), 1, 1, &clipError, wide));
        QImage cover(64, 64, QImage::Format_RGB32);
        cover.fill(Qt::red);
        QPainter painter(&cover);
        painter.fillRect(32, 0, 32, 32, Qt::green);
        painter.fillRect(0, 32, 32, 32, Qt::blue);
        painter.fillRect(32, 32, 32, 32, Qt::white);
        painter.end();
        MAKE_CLIP(MakeCoverAudioClip(Clip("cover.mp3"), 2, cover, &clipError));
        for (const QSize size : {QSize(320, 240), QSize(192, 144)}) {
            TVideoClipOptions bars;
            bars.Width = size.width();
            bars.Height = size.height();
            bars.Picture = TClipPicture::Bars;
            MAKE_CLIP(MakeToneVideoClip(Clip(QStringLiteral("bars%1.mp4").arg(size.width())), 2, 1,
                                        &clipError, bars));
        }
    }

    // The picture a 320 x 240 window shows, as its image is composed (the
    // window's own backing store) and as the control renders itself into an
    // image, against the picture the former path made of the same frame:
    // a clip of the window's size and a smaller one, zoom 0 and 10 (the
    // video window's step: 40 pixels above and below, 53 left and right),
    // mirrored or not. Colours agree within a few levels; where the picture
    // is scaled, the two bilinear scalers place a sharp edge up to a fifth of
    // a pixel apart, which changes the one blended pixel at each bar edge
    // (under 2 % of the pixels); a wrong matrix, mirror or crop changes a
    // fifth of the picture or more.
    void pictureAsBefore_data() {
        QTest::addColumn<int>("clipWidth");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("mirrored");
        for (const int width : {320, 192})
            for (const int zoom : {0, 10})
                for (const bool mirrored : {false, true})
                    QTest::addRow("%s, zoom %d%s", width == 320 ? "window size" : "smaller", zoom,
                                  mirrored ? ", mirrored" : "")
                        << width << zoom << mirrored;
    }

    void pictureAsBefore() {
        QFETCH(int, clipWidth);
        QFETCH(int, zoom);
        QFETCH(bool, mirrored);
        const QSize window(320, 240);
        TShownGraph shown(window);
        TVideoWindow& vw = shown.VW;
        const int t = 4 * zoom, b = t * window.width() / window.height();
        const QRect placed(-b, -t, window.width() + 2 * b, window.height() + 2 * t);
        vw.setGeometry(placed);
        vw.SetMirrored(mirrored);
        const QString clip = Clip(QStringLiteral("bars%1.mp4").arg(clipWidth));
        QCOMPARE(RenderClip(shown.Graph, QFileInfo(clip).fileName()), S_OK);
        shown.Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown.Form));
        QVERIFY(shown.Graph.Pause());
        QTRY_VERIFY_WITH_TIMEOUT(vw.HasPicture(), WaitMs);
        const QImage before = FormerPicture(clip, window, placed, mirrored);

        QImage rendered(window, QImage::Format_RGB32);
        rendered.fill(Qt::magenta);
        shown.Form.render(&rendered);
        double mean = 0, off = 0;
        QString how = Difference(rendered, before, &mean, &off);
        QVERIFY2(mean <= 3 && off <= 0.02, qPrintable(QStringLiteral("rendered: ") + how));

        // The window's own image, as the platform composes it.
        const auto composedAsBefore = [&] {
            const QImage composed = shown.Form.screen()
                                        ->grabWindow(shown.Form.winId())
                                        .toImage()
                                        .convertToFormat(QImage::Format_RGB32);
            how = QStringLiteral("composed: ") + Difference(composed, before, &mean, &off);
            return mean <= 3 && off <= 0.02;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(composedAsBefore(), qPrintable(how), WaitMs);
    }

    // Pictures of other shapes in a 16:9 window (320 x 180): where the
    // upright picture lies, fitted and centred (or as placed by the zoom),
    // told by the colours of its quadrants (red, green, blue, white as the
    // clip is made: R G B W for top left, top right, bottom left, bottom
    // right), and black bars beside it. A quarter turn clockwise brings the
    // bottom left quadrant to the top left.
    void pictureUprightInProportion_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("stretched");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<QRect>("picture");
        QTest::addColumn<QString>("quadrants");
        const QRect portrait(109, 0, 101, 180);
        QTest::newRow("4:3") << "quad.mp4" << 0 << false << false << QRect(40, 0, 240, 180)
                             << "RGBW";
        QTest::newRow("4:3, stretched to fill")
            << "quad.mp4" << 0 << true << false << QRect(0, 0, 320, 180) << "RGBW";
        QTest::newRow("portrait") << "portrait.mp4" << 0 << false << false << portrait << "RGBW";
        QTest::newRow("portrait, zoom 10")
            << "portrait.mp4" << 10 << false << false << QRect(87, -40, 146, 260) << "RGBW";
        QTest::newRow("turned a quarter")
            << "rotate-90.mp4" << 0 << false << false << portrait << "BRWG";
        QTest::newRow("turned a quarter, mirrored")
            << "rotate-90.mp4" << 0 << false << true << portrait << "RBGW";
        QTest::newRow("turned half round")
            << "rotate-180.mp4" << 0 << false << false << QRect(0, 0, 320, 180) << "WBGR";
        QTest::newRow("turned three quarters")
            << "rotate-270.mp4" << 0 << false << false << portrait << "GWRB";
        QTest::newRow("pixels 4:3 wide, 240 x 180 stored")
            << "widepixels.mp4" << 0 << false << false << QRect(0, 0, 320, 180) << "RGBW";
        QTest::newRow("cover of an MP3")
            << "cover.mp3" << 0 << false << false << QRect(70, 0, 180, 180) << "RGBW";
        QTest::newRow("cover, stretch on: still in proportion")
            << "cover.mp3" << 0 << true << false << QRect(70, 0, 180, 180) << "RGBW";
    }

    void pictureUprightInProportion() {
        QFETCH(QString, clip);
        QFETCH(int, zoom);
        QFETCH(bool, stretched);
        QFETCH(bool, mirrored);
        QFETCH(QRect, picture);
        QFETCH(QString, quadrants);
        const QSize window(320, 180);
        TShownGraph shown(window);
        TVideoWindow& vw = shown.VW;
        const int t = 4 * zoom, b = t * window.width() / window.height();
        vw.setGeometry(-b, -t, window.width() + 2 * b, window.height() + 2 * t);
        vw.SetStretched(stretched);
        vw.SetMirrored(mirrored);
        QCOMPARE(ShowPlaying(shown, clip), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(vw.HasPicture(), WaitMs);
        const auto wrong = [&] {
            const QImage image = shown.Form.grab().toImage();
            QStringList out;
            const auto check = [&](QPoint at, QColor colour) {
                const QColor got = image.pixelColor(at);
                if (!Near(got, colour))
                    out << QStringLiteral("at %1,%2: %3")
                               .arg(at.x())
                               .arg(at.y())
                               .arg(Describe(got));
            };
            const int x[2] = {picture.x() + picture.width() / 4,
                              picture.x() + picture.width() * 3 / 4};
            const int y[2] = {picture.y() + picture.height() / 4,
                              picture.y() + picture.height() * 3 / 4};
            // Its edges: just inside the corners of what the window shows.
            const QRect seen = (picture & QRect(QPoint(0, 0), window)).adjusted(3, 3, -3, -3);
            const int edgeX[2] = {seen.left(), seen.right()},
                      edgeY[2] = {seen.top(), seen.bottom()};
            for (int i = 0; i < 4; ++i) {
                const char c = quadrants.at(i).toLatin1();
                const QColor colour = c == 'R'   ? QColor(Qt::red)
                                      : c == 'G' ? QColor(Qt::green)
                                      : c == 'B' ? QColor(Qt::blue)
                                                 : QColor(Qt::white);
                check(QPoint(x[i % 2], y[i / 2]), colour);
                check(QPoint(edgeX[i % 2], edgeY[i / 2]), colour);
            }
            // The bars: black beside the picture.
            if (picture.left() > 2) {
                check(QPoint(picture.left() / 2, window.height() / 2), Qt::black);
                check(QPoint(window.width() - 1 - picture.left() / 2, window.height() / 2),
                      Qt::black);
            }
            return out.join(QStringLiteral("; "));
        };
        QTRY_COMPARE_WITH_TIMEOUT(wrong(), QString(), WaitMs);
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
        QTRY_VERIFY_WITH_TIMEOUT(vw.HasPicture(), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(WrongQuadrants(form.grab().toImage(), QPoint(80, 60),
                                                 QPoint(240, 60), QPoint(80, 180),
                                                 QPoint(240, 180)),
                                  QString(), WaitMs);

        // Shown smaller than the picture: scaled down where it is drawn.
        vw.setGeometry(0, 0, 160, 120);
        QTRY_COMPARE_WITH_TIMEOUT(WrongQuadrants(form.grab().toImage(), QPoint(40, 30),
                                                 QPoint(120, 30), QPoint(40, 90), QPoint(120, 90)),
                                  QString(), WaitMs);

        // The zoom: twice the size, centred, so the window shows the middle;
        // only the visible part is drawn.
        vw.setGeometry(-160, -120, 640, 480);
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
