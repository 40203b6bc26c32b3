// The video window on a display with two monitors (1920 × 1080 and
// 1280 × 720 side by side): placement by the stored option and by the
// control window's check box, the zoom crop, the replay notice, and a press
// on the video toggling the control window.
#include "MonitorServer.h"

#include "AppTranslations.h"
#include "media/FilterGraph.h"
#include "media/VideoWindow.h"
#include "uFrmMain.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include "support/XvfbSession.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTranslator>
#include <QWindow>
#include <QtTest>

namespace {
const QRect kMonitor0(0, 0, 1920, 1080);
const QRect kMonitor1(1920, 0, 1280, 720);
} // namespace

class TestFrmPlay : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    TFilterGraph graph_;
    QWidget control_;

    void WriteOption(const QString& value) {
        QFile::remove(IniFileName);
        if (!value.isNull())
            WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("chkOn2Monitor"),
                        value);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        IniFileName = dir_.filePath(QStringLiteral("system.INI"));
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QCOMPARE(QGuiApplication::screens().at(0)->geometry(), kMonitor0);
        QCOMPARE(QGuiApplication::screens().at(1)->geometry(), kMonitor1);
    }

    void placementAtCreation_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QRect>("bounds");
        QTest::addColumn<QPoint>("hint");
        QTest::newRow("absent") << QString() << kMonitor0 << QPoint(743, 491);
        QTest::newRow("NO") << QStringLiteral("NO") << kMonitor0 << QPoint(743, 491);
        QTest::newRow("YES") << QStringLiteral("YES") << kMonitor1 << QPoint(423, 311);
        QTest::newRow("true") << QStringLiteral("true") << kMonitor1 << QPoint(423, 311);
        QTest::newRow("1") << QStringLiteral("1") << kMonitor0 << QPoint(743, 491);
    }
    void placementAtCreation() {
        QFETCH(QString, stored);
        QFETCH(QRect, bounds);
        QFETCH(QPoint, hint);
        WriteOption(stored);
        TFrmPlay w(&graph_, &control_);
        QVERIFY(!w.isVisible());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.geometry(), bounds);
        QCOMPARE(w.VW->geometry(), QRect(QPoint(0, 0), bounds.size()));
        QCOMPARE(w.plHint->pos(), hint);
        QVERIFY(w.plHint->isHidden());
        // The section line at the bottom left, away from the control
        // window's corner, in letters a twentieth of the height or more.
        w.ShowSectionLine(QStringLiteral("3  伸展运动  2 / 3"));
        const QRect line = w.lbSection->geometry();
        QVERIFY2(line.left() < bounds.width() / 20 && line.top() > bounds.height() * 4 / 5 &&
                     line.bottom() < bounds.height(),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(line.x())
                                .arg(line.y())
                                .arg(line.width())
                                .arg(line.height())));
        QVERIFY(w.lbSection->font().pixelSize() >= bounds.height() / 20);

        // Shown, the window really covers that monitor.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.geometry(), bounds);
        QCOMPARE(w.frameGeometry(), bounds);
        QCOMPARE(w.screen()->geometry(), bounds);
    }

    void zoom_data() {
        QTest::addColumn<int>("monitor");
        QTest::addColumn<int>("z");
        QTest::addColumn<QRect>("vw");
        QTest::newRow("z 10 on 1920x1080") << 0 << 10 << QRect(-71, -40, 2062, 1160);
        QTest::newRow("z 0 fills exactly") << 0 << 0 << QRect(0, 0, 1920, 1080);
        QTest::newRow("z -5 frames it") << 0 << -5 << QRect(35, 20, 1850, 1040);
        QTest::newRow("z 100") << 0 << 100 << QRect(-711, -400, 3342, 1880);
        QTest::newRow("z 10 on 1280x720") << 1 << 10 << QRect(-71, -40, 1422, 800);
        QTest::newRow("z 25 on 1280x720") << 1 << 25 << QRect(-177, -100, 1634, 920);
    }
    void zoom() {
        QFETCH(int, monitor);
        QFETCH(int, z);
        QFETCH(QRect, vw);
        WriteOption(QString());
        TFrmPlay w(&graph_, &control_);
        w.PlaceOnMonitor(monitor);
        const QPoint hint = w.plHint->pos();
        w.ApplyZoom(z);
        QCOMPARE(w.VW->geometry(), vw);
        QCOMPARE(w.plHint->pos(), hint); // the notice does not move
        // A new placement removes the zoom.
        w.PlaceOnMonitor(monitor);
        QCOMPARE(w.VW->geometry(), QRect(QPoint(0, 0), w.size()));
    }

    // In either language of the window ("Language" in system.INI).
    void notice_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("zh") << QStringLiteral("zh") << QStringLiteral("即将重放 请准备");
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Again, get set");
    }
    void notice() {
        QFETCH(QString, language);
        QFETCH(QString, text);
        QTranslator* catalogue = InstallAppTranslation(language);
        QVERIFY(catalogue); // "zh" has one for the messages written in English
        const auto remove = qScopeGuard([catalogue] { delete catalogue; });
        TFrmPlay w(&graph_, &control_);
        QLabel* h = w.plHint;
        QCOMPARE(h->text(), text);
        QCOMPARE(h->size(), QSize(433, 97));
        QCOMPARE(h->font().family(), QStringLiteral("宋体"));
        QCOMPARE(h->font().pixelSize(), 48);
        QVERIFY(h->font().bold());
        QCOMPARE(h->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(h->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(h->alignment(), Qt::AlignCenter);
        QVERIFY(h->autoFillBackground());
        // Above the video surface.
        QVERIFY(w.children().indexOf(h) > w.children().indexOf(w.VW));
        // The countdown right under it is read from as far: the same box.
        QLabel* c = w.lbCountdown;
        QCOMPARE(c->size(), h->size());
        QCOMPARE(c->font(), h->font());
        QCOMPARE(c->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(c->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(c->alignment(), Qt::AlignCenter);
        QCOMPARE(c->frameStyle(), h->frameStyle());
        QVERIFY(c->autoFillBackground());

        // The window without a picture is black; the notice is red on black.
        w.PlaceOnMonitor(0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        h->show();
        h->raise();
        w.ShowCountdown(3);
        const QImage img = w.grab().toImage();
        img.save(ArtefactDir() + QStringLiteral("/frmplay-notice-%1.png").arg(language));
        QCOMPARE(QColor(img.pixel(10, 10)), QColor(Qt::black));
        QCOMPARE(QColor(img.pixel(1900, 1070)), QColor(Qt::black));
        int red = 0;
        for (int y = 491; y < 491 + 97; ++y)
            for (int x = 743; x < 743 + 433; ++x)
                if (QColor(img.pixel(x, y)) == QColor(255, 0, 0))
                    ++red;
        QVERIFY2(red > 500, qPrintable(QString::number(red)));
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 1920; x += 7)
                QCOMPARE(QColor(img.pixel(x, y)), QColor(Qt::black));
    }

    void pressTogglesControlWindow_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("left, centre") << Qt::LeftButton << QPoint(960, 540);
        QTest::newRow("right, corner") << Qt::RightButton << QPoint(3, 3);
        QTest::newRow("middle") << Qt::MiddleButton << QPoint(1500, 900);
    }
    void pressTogglesControlWindow() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, at);
        QWidget control;
        control.resize(200, 100);
        TFrmPlay w(&graph_, &control);
        w.PlaceOnMonitor(0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        control.show();
        QTest::mouseClick(w.VW, button, {}, at);
        QVERIFY(!control.isVisible());
        QTest::mouseClick(w.VW, button, {}, at);
        QVERIFY(control.isVisible());
        QTest::mouseClick(w.VW, button, {}, at);
        QVERIFY(!control.isVisible());
    }

    void goesWithTheControlWindow() {
        auto* control = new QWidget;
        QPointer<TFrmPlay> w = new TFrmPlay(&graph_, control);
        QVERIFY(w);
        QVERIFY(!w->parent());
        delete control;
        QVERIFY(w.isNull());
    }

    void controlWindowCheckBox() {
        // The control window's option: stored at once, and the video window
        // re-placed (which also drops the zoom until it is applied again).
        WriteOption(QString());
        TFrmMain frm;
        QVERIFY(frm.FrmPlay);
        TFrmPlay* w = frm.FrmPlay.get();
        QCOMPARE(w->geometry(), kMonitor0);
        w->ApplyZoom(10);
        frm.chkOn2Monitor->setChecked(true);
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("chkOn2Monitor")),
                 QStringLiteral("YES"));
        QCOMPARE(w->geometry(), kMonitor1);
        QCOMPARE(w->VW->geometry(), QRect(0, 0, 1280, 720));
        QCOMPARE(w->plHint->pos(), QPoint(423, 311));
        frm.chkOn2Monitor->setChecked(false);
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("chkOn2Monitor")),
                 QStringLiteral("NO"));
        QCOMPARE(w->geometry(), kMonitor0);

        // The next start follows the stored option.
        frm.chkOn2Monitor->setChecked(true);
        TFrmMain again;
        QCOMPARE(again.FrmPlay->geometry(), kMonitor1);
        QVERIFY(again.chkOn2Monitor->isChecked());
    }

    // A press on the video shows the control window above the video when it
    // is hidden or lies under the video, and hides it only when it is in
    // sight: after the video was raised over it, and after the check box
    // moved the video onto the control window's monitor.
    void pressOnVideoShowsCoveredControls_data() {
        QTest::addColumn<bool>("byCheckBox");
        QTest::newRow("video raised over it") << false;
        QTest::newRow("video moved onto its monitor") << true;
    }
    void pressOnVideoShowsCoveredControls() {
        QFETCH(bool, byCheckBox);
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a window system that knows the stacking of windows");
        WriteOption(QString());
        TFrmMain frm;
        TFrmPlay* w = frm.FrmPlay.get();
        frm.move(byCheckBox ? kMonitor1.topLeft() + QPoint(100, 100) : QPoint(100, 100));
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        w->show();
        w->raise();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (byCheckBox) {
            QVERIFY(w->ControlWindowInSight()); // the video is on the other monitor
            frm.chkOn2Monitor->setChecked(true);
            QTRY_COMPARE(w->geometry(), kMonitor1);
        }
        const QPoint at = frm.frameGeometry().center();
        QTRY_COMPARE(QGuiApplication::topLevelAt(at), w->windowHandle());
        QVERIFY(!w->ControlWindowInSight());
        for (bool shown : {true, false, true}) {
            w->VWMouseDown();
            QCOMPARE(frm.isVisible(), shown);
            if (shown)
                QTRY_COMPARE(QGuiApplication::topLevelAt(at), frm.windowHandle());
            QCOMPARE(w->ControlWindowInSight(), shown);
        }
    }

    void zoomSliderNeedsAMediaFile() {
        WriteOption(QString());
        TFrmMain frm;
        frm.CurFile = dir_.filePath(QStringLiteral("missing.mp4"));
        frm.SchedFileName = dir_.filePath(QStringLiteral("missingmp4.INI"));
        const QRect before = frm.FrmPlay->VW->geometry();
        frm.tbZoomChange(nullptr);
        QCOMPARE(frm.FrmPlay->VW->geometry(), before);
        QVERIFY(!QFile::exists(frm.SchedFileName));

        const QString media = dir_.filePath(QStringLiteral("clip.mp4"));
        QFile f(media);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        frm.CurFile = media;
        frm.SchedFileName = dir_.filePath(QStringLiteral("clipmp4.INI"));
        frm.tbZoomChange(nullptr);
        QCOMPARE(frm.FrmPlay->VW->geometry(), QRect(-71, -40, 2062, 1160));
        // Kept for the file, but nothing is written beside a file that has not
        // opened as media (this one is empty).
        QVERIFY(!QFile::exists(frm.SchedFileName));
    }
};

int main(int argc, char** argv) {
    MonitorServer server({kMonitor0, kMonitor1});
    server.Select();
    std::fprintf(stderr, "TestFrmPlay: %s\n", qPrintable(server.Describe()));
    qputenv("TAVRELO_NO_MESSAGE_BOXES", "1");
    TApplication app(argc, argv);
    InitPublicModule(); // the delays count on the counter's frequency
    TestFrmPlay test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFrmPlay.moc"
