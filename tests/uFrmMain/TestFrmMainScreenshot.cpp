// The control window as laid out (both panels open, a short schedule), on a
// private X server with the CJK font installed, saved for a person to look
// at: <artefacts>/FrmMain.png. A few pixels are checked on the real screen
// contents: the window colour, the header's blue gradient, the selected
// row's white middle line.
#include "FrmMainFixture.h"

#include "media/DSTrackBar.h"
#include "support/XvfbSession.h"
#include "utPublic/ErrorDisplay.h"

#include <QCheckBox>
#include <QFrame>
#include <QScreen>
#include <QStyle>
#include <QtTest>

using namespace FrmMainTest;

class TestFrmMainScreenshot : public QObject {
    Q_OBJECT
public:
    bool onX = false;

private slots:
    void layoutScreenshot();
};

void TestFrmMainScreenshot::layoutScreenshot() {
    Env env;
    const QString media = env.Media(QStringLiteral("广播体操.mp4"));
    QVERIFY(env.Settings({"PlayFile=" + media, "plTop=145", "plBottom=140", "cbTrans=0",
                          "chkEdit=YES", "chkRePlay=YES"}));
    {
        TFrmMain probe;
        QVERIFY(Env::Schedule(probe, media,
                              {"3|00:00|预备节", "2|00:35|伸展运动", "2|01:20|扩胸运动",
                               "1|02:05|踢腿运动", "0|02:50|整理运动"}));
    }
    TFrmMain& f = env.Make();
    f.tmIdel->stop();
    f.sgV->SetRow(2);
    f.move(0, 0);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QImage shot;
    if (onX) {
        // Until the X server has received the last paint.
        const QImage drawn = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
        auto fromServer = [&] {
            return f.screen()->grabWindow(f.winId()).toImage().convertToFormat(
                QImage::Format_RGB32);
        };
        QTRY_VERIFY_WITH_TIMEOUT((shot = fromServer()) == drawn, 15000);
    } else {
        qWarning("No private X server: grabbing the offscreen rendering instead");
        shot = f.grab().toImage();
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(602, 522));
    const QString path = ArtefactDir() + QStringLiteral("/FrmMain.png");
    QVERIFY(shot.save(path));
    qInfo("screenshot: %s", qPrintable(path));

    // The position track bar: a hand over it, a thumb 28 pixels across.
    QCOMPARE(f.DSTrackBar1->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(f.DSTrackBar1->style()->pixelMetric(QStyle::PM_SliderControlThickness, nullptr,
                                                 f.DSTrackBar1),
             28);
    QCOMPARE(f.DSTrackBar1->tickInterval(), 5);

    const QRect grid = f.sgV->geometry();
    QCOMPARE(grid, QRect(0, 145, 602, 522 - 145 - 140));
    // The panel shows the window colour between controls.
    QCOMPARE(shot.pixel(595, 52), qRgb(0, 24, 0));
    QCOMPARE(shot.pixel(595, 382 + 135), qRgb(0, 24, 0));
    // The header's middle line has the full blue; its top line is dimmed.
    const QRect head = f.sgV->CellRect(0, 0).translated(grid.topLeft());
    const int mid = head.top() + head.height() / 2;
    QCOMPARE(shot.pixel(head.right() - 1, mid), qRgb(0, 0, 255));
    QCOMPARE(shot.pixel(head.right() - 1, head.top()), qRgb(0, 0, int(255 / 2.7)));
    // The selected row (2) is white in the middle, an other row grey.
    const QRect sel = f.sgV->CellRect(5, 2).translated(grid.topLeft());
    QCOMPARE(shot.pixel(sel.right() - 1, sel.top() + sel.height() / 2), qRgb(255, 255, 255));
    const QRect other = f.sgV->CellRect(5, 3).translated(grid.topLeft());
    QCOMPARE(shot.pixel(other.right() - 1, other.top() + other.height() / 2), qRgb(128, 128, 128));
}

int main(int argc, char** argv) {
    // The server must run before the application connects to it.
    XvfbSession xvfb(1024, 768);
    if (xvfb.IsRunning()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", xvfb.Display().toLocal8Bit());
    }
    TApplication app(argc, argv);
    InitPublicModule();
    TestFrmMainScreenshot test;
    test.onX = xvfb.IsRunning() && QGuiApplication::platformName() == QLatin1String("xcb");
    return QTest::qExec(&test, argc, argv);
}

#include "TestFrmMainScreenshot.moc"
