// The timeline's gestures on its marks, and the window with a clip loaded.
#include "support/MediaClips.h"
#include "support/XvfbSession.h"
#include "timeline/MediaPeaks.h"
#include "timeline/TimelineWidget.h"
#include "timeline/TimelineWindow.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestTimelineWidget : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase();
    void gestures_data();
    void gestures();
    void markLabels_data();
    void markLabels();
    void windowScreenshot();
};

void TestTimelineWidget::initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CACHE_HOME", dir_.filePath(QStringLiteral("cache")).toUtf8());
}

// Sections at 0, 10 and 20 s of a 30 s file across 600 pixels (20 px a
// second). A gesture: "drag <row> <to second>", "double <second>",
// "delete <row>" (after a click on the row's mark).
void TestTimelineWidget::gestures_data() {
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QString>("asked"); // the signal raised: "moved 2 15", "add 7", "remove 2", ""
    QTest::addColumn<int>("mark2Sec");  // where row 2's mark is drawn afterwards
    QTest::newRow("drag with editing") << true << "drag 2 15"
                                       << "moved 2 15" << 15;
    QTest::newRow("drag snaps to a second") << true << "drag 2 12.4"
                                            << "moved 2 12" << 12;
    QTest::newRow("drag stops at the next mark") << true << "drag 2 27"
                                                 << "moved 2 20" << 20;
    QTest::newRow("drag without editing") << false << "drag 2 15"
                                          << "" << 10;
    QTest::newRow("double-click adds") << true << "double 7"
                                       << "add 7" << 10;
    QTest::newRow("double-click without editing") << false << "double 7"
                                                  << "" << 10;
    QTest::newRow("Delete removes") << true << "delete 2"
                                    << "remove 2" << 10;
    QTest::newRow("Delete without editing") << false << "delete 2"
                                            << "" << 10;
}

void TestTimelineWidget::gestures() {
    QFETCH(bool, editing);
    QFETCH(QString, gesture);
    QFETCH(QString, asked);
    QFETCH(int, mark2Sec);
    TTimelineWidget w;
    w.resize(600, 200);
    w.SetDurationMs(30000);
    TTimelineSchedule s;
    s.Sections = {{0, 1, 0, QStringLiteral("预备")}, {10000, 2, 0, {}}, {20000, 1, 0, {}}};
    w.SetSchedule(s);
    w.SetEditing(editing);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.MarkX(2), 200.0);

    QStringList said;
    connect(&w, &TTimelineWidget::SectionMoved, this,
            [&](int row, int sec) { said << QStringLiteral("moved %1 %2").arg(row).arg(sec); });
    connect(&w, &TTimelineWidget::AddSectionRequested, this,
            [&](int sec) { said << QStringLiteral("add %1").arg(sec); });
    connect(&w, &TTimelineWidget::RemoveSectionRequested, this,
            [&](int row) { said << QStringLiteral("remove %1").arg(row); });

    const QStringList g = gesture.split(QLatin1Char(' '));
    const int y = w.WaveRect().center().y();
    if (g[0] == QLatin1String("drag")) {
        const QPoint from(int(w.MarkX(g[1].toInt())), y);
        const QPoint to(int(std::lround(w.XOfMs(qint64(g[2].toDouble() * 1000)))), y);
        QTest::mousePress(&w, Qt::LeftButton, {}, from);
        QTest::mouseMove(&w, (from + to) / 2);
        QTest::mouseMove(&w, to);
        QTest::mouseRelease(&w, Qt::LeftButton, {}, to);
    } else if (g[0] == QLatin1String("double")) {
        QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(int(w.XOfMs(g[1].toInt() * 1000)), y));
    } else {
        const QPoint at(int(w.MarkX(g[1].toInt())), y);
        QTest::mouseClick(&w, Qt::LeftButton, {}, at);
        QTest::keyClick(&w, Qt::Key_Delete);
    }
    QCOMPARE(said.join(QLatin1Char(',')), asked);
    QCOMPARE(w.MarkX(2), w.XOfMs(mark2Sec * 1000));
}

// A mark says its row, its count and its description; a count used up
// below the stored one shows both (after a loop pass "×0" alone read as a
// section never played); the playing one its repetition.
void TestTimelineWidget::markLabels_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("label");
    QTest::newRow("as stored") << 2 << 2 << false << "2 ×2 伸展";
    QTest::newRow("stored not known") << 2 << -1 << false << "2 ×2 伸展";
    QTest::newRow("used up") << 0 << 2 << false << "2 ×0/2 伸展";
    QTest::newRow("raised") << 5 << 2 << false << "2 ×5/2 伸展";
    QTest::newRow("playing") << 1 << 3 << true << "2 ×1/3 (2/3) 伸展";
}

void TestTimelineWidget::markLabels() {
    QFETCH(int, count);
    QFETCH(int, stored);
    QFETCH(bool, playing);
    QFETCH(QString, label);
    TTimelineSchedule s;
    s.Sections = {{0, 1, 0, QStringLiteral("预备")},
                  {10000, count, 0, QStringLiteral("伸展"), stored}};
    if (playing) {
        s.CurrentRow = 2;
        s.Repeat = 2;
        s.RepeatOf = 3;
    }
    QCOMPARE(TTimelineWidget::MarkLabel(2, s), label);
}

void TestTimelineWidget::windowScreenshot() {
    const QString media = dir_.filePath(QStringLiteral("广播体操.mp4"));
    QString error;
    QVERIFY2(MakeToneVideoClip(media, 20, 1, &error), qPrintable(error));
    TTimelineWindow win;
    win.resize(800, 220);
    win.Open(media, 0);
    TTimelineSchedule s;
    s.Sections = {{0, 2, 0, QStringLiteral("预备节")},
                  {6000, 3, 1, QStringLiteral("伸展运动")},
                  {14000, 1, 0, QStringLiteral("整理运动")}};
    s.CurrentRow = 2;
    s.Repeat = 2;
    s.RepeatOf = 3;
    s.SelectedRow = 2;
    win.Timeline()->SetSchedule(s);
    win.Timeline()->SetPosition(9000, 1.0, true);
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    QVERIFY(QTest::qWaitFor([&] { return win.Peaks()->Finished(); }, 60000));
    QVERIFY2(win.Peaks()->ErrorText().isEmpty(), qPrintable(win.Peaks()->ErrorText()));
    QTRY_VERIFY_WITH_TIMEOUT(win.Timeline()->PositionNowMs() > 9000, 10000);

    const QImage shot = win.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString path = ArtefactDir() + QStringLiteral("/FrmTimeline.png");
    QVERIFY(shot.save(path));
    qInfo("screenshot: %s", qPrintable(path));
    TTimelineWidget* t = win.Timeline();
    // The pictures: the clip's red top-left quadrant at the strip's start.
    const QRect pics = t->PicturesRect();
    QVERIFY(pics.height() > 0);
    const QRgb red = shot.pixel(pics.left() + 20, pics.top() + 10);
    QVERIFY2(qRed(red) > 200 && qGreen(red) < 60, qPrintable(QString::number(red, 16)));
    // The sound: the middle line of the wave band is drawn in the whole file.
    const QRect wave = t->WaveRect();
    const QRgb background = qRgb(0, 24, 0);
    for (int x : {10, 400, 790})
        QVERIFY(shot.pixel(x, wave.center().y()) != background);
    // Nothing but background (and shading) above the loudest peak.
    QCOMPARE(qGreen(shot.pixel(300, wave.top() + 1)) < 100, true);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestTimelineWidget t;
    return QTest::qExec(&t, argc, argv);
}
#include "TestTimelineWidget.moc"
