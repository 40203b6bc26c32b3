// The control window as laid out (both panels open, a short schedule), in
// each of its languages, on a private X server with the CJK font installed,
// saved for a person to look at: <artefacts>/FrmMain.png (Chinese) and
// FrmMain-en.png. A few pixels are checked on the real screen contents: the
// window colour, the header's blue gradient, the selected row's white
// middle line; and the geometry a user meets: no control in sight overlaps
// another, no caption is wider than its control, every check box takes a
// click at its centre.
#include "FrmMainFixture.h"

#include "AppTranslations.h"
#include "controls/MyRadionBtn.h"

#include "media/DSTrackBar.h"
#include "support/XvfbSession.h"
#include "utPublic/ErrorDisplay.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QTranslator>
#include <QtTest>

using namespace FrmMainTest;

class TestFrmMainScreenshot : public QObject {
    Q_OBJECT
public:
    bool onX = false;

private slots:
    void layoutScreenshot_data();
    void layoutScreenshot();
};

namespace {

// What a user meets of the controls of one panel, open at its full height:
// overlaps, captions cut, check boxes whose centre another control takes.
QStringList GeometryProblems(QWidget* panel) {
    QStringList problems;
    QList<QWidget*> shown;
    for (QWidget* w : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        auto* label = qobject_cast<QLabel*>(w);
        const bool drawsNothing =
            label && label->text().trimmed().isEmpty() && label->pixmap().isNull();
        if (w->isVisible() && w->geometry().intersects(panel->rect()) && !drawsNothing)
            shown << w;
        if (label && label->isVisible() && label->text().endsWith(QChar(0x2026)))
            problems << QStringLiteral("%1 is cut: %2").arg(label->objectName(), label->text());
    }
    const auto name = [](const QWidget* w) {
        return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                         : w->objectName();
    };
    // Boxes touching along an edge (a caption's line height over the next
    // row's first pixel) show nothing of one over the other.
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j) {
            const QRect both = shown[i]->geometry().intersected(shown[j]->geometry());
            if (both.width() > 2 && both.height() > 2)
                problems << QStringLiteral("%1 overlaps %2").arg(name(shown[i]), name(shown[j]));
        }
    for (QWidget* w : shown) {
        // Where the caption's last pixel lies.
        int needed = 0;
        if (auto* box = qobject_cast<QCheckBox*>(w))
            needed = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                     box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                     box->fontMetrics().horizontalAdvance(box->text());
        else if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap())
            needed = label->fontMetrics().horizontalAdvance(label->text());
        else if (auto* radio = qobject_cast<TMyRadionBtn*>(w))
            needed = radio->fontMetrics().horizontalAdvance(radio->ShownCaption());
        if (needed > w->width())
            problems << QStringLiteral("%1's caption needs %2 pixels of %3")
                            .arg(name(w))
                            .arg(needed)
                            .arg(w->width());
        if (w->geometry().right() > panel->width() - 1)
            problems << QStringLiteral("%1 ends beyond the window").arg(name(w));
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            QWidget* at = panel->childAt(box->geometry().center());
            if (at != box && !box->isAncestorOf(at))
                problems << QStringLiteral("%1's centre is taken by %2")
                                .arg(name(box), at ? name(at) : QString());
        }
    }
    return problems;
}

} // namespace

void TestFrmMainScreenshot::layoutScreenshot_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("Chinese") << "zh";
    QTest::newRow("English") << "en";
}

void TestFrmMainScreenshot::layoutScreenshot() {
    QFETCH(QString, language);
    const QList<QTranslator*> catalogues = InstallTranslations(language);
    const auto remove = qScopeGuard([&catalogues] { qDeleteAll(catalogues); });
    const bool en = language == QStringLiteral("en");
    // Qt's own texts (the open dialog, the message boxes' buttons) follow.
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
             en ? QStringLiteral("Look in:") : QStringLiteral("查找范围："));
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
    const QString path =
        ArtefactDir() + (en ? QStringLiteral("/FrmMain-en.png") : QStringLiteral("/FrmMain.png"));
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

    QStringList problems = GeometryProblems(f.plTop) + GeometryProblems(f.plBottom);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
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
