// How the control window gets out of the way: hiding after idle ticks, what
// counts as activity (pointer movement over exactly the listed controls,
// key presses, activation), the description column following the window's
// size, and edge snapping.
#include "FrmMainFixture.h"

#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/uTransTrackBar.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"

#include <QCheckBox>
#include <QCursor>
#include <QFrame>
#include <QScreen>
#include <QtTest>

using namespace FrmMainTest;

class TestFrmMainPresentation : public QObject {
    Q_OBJECT
private slots:
    void hidesAfterIdleTicks_data();
    void hidesAfterIdleTicks();
    void pointerMovementCountsOverListedControlsOnly_data();
    void pointerMovementCountsOverListedControlsOnly();
    void keysAndActivationCountAsActivity();
    void roundButtonsAndSlidersClickOnlyWithTheLeftButton_data();
    void roundButtonsAndSlidersClickOnlyWithTheLeftButton();
    void descriptionColumnFollowsTheWindowSize();
    void snapsToScreenEdges();
};

void TestFrmMainPresentation::hidesAfterIdleTicks_data() {
    QTest::addColumn<QString>("hideItem");
    QTest::addColumn<bool>("optionOn");
    QTest::addColumn<bool>("videoShown");
    QTest::addColumn<int>("hidesOnTick"); // 0: never
    QTest::newRow("15 s") << "6" << true << true << 16;
    QTest::newRow("5 s") << "0" << true << true << 6;
    QTest::newRow("option off") << "0" << false << true << 0;
    QTest::newRow("no video shown yet") << "0" << true << false << 0;
}

void TestFrmMainPresentation::hidesAfterIdleTicks() {
    QFETCH(QString, hideItem);
    QFETCH(bool, optionOn);
    QFETCH(bool, videoShown);
    QFETCH(int, hidesOnTick);
    Env env;
    QVERIFY(env.Settings({"cbHideTime=" + hideItem, optionOn ? "chkHide=YES" : "chkHide=NO"}));
    TFrmMain& f = env.Make();
    f.tmIdel->stop(); // the test gives the ticks itself
    f.show();
    if (videoShown)
        f.FrmPlay->show();
    f.IdleTicks = 0;
    for (int tick = 1; tick <= 40; ++tick) {
        f.tmIdelTimer(f.tmIdel);
        const bool shouldBeHidden = hidesOnTick > 0 && tick >= hidesOnTick;
        QVERIFY2(f.isVisible() == !shouldBeHidden, qPrintable(QString::number(tick)));
        if (hidesOnTick > 0 && tick == hidesOnTick) {
            QCOMPARE(f.IdleTicks, 0);
            break;
        }
        QCOMPARE(f.IdleTicks, tick);
    }
    f.FrmPlay->hide();
}

void TestFrmMainPresentation::pointerMovementCountsOverListedControlsOnly_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("counts");
    for (const char* n :
         {"plTop",   "lbLeft2",     "lbCenter2", "lbRight2",      "SoundLevel2",     "btnSelFile",
          "btnUP",   "btnPause",    "btnBack",   "btnNext",       "btnSelAudioChl2", "btnRestore",
          "Image1",  "tbZoom",      "btnClose",  "sgV",           "plBottom",        "rbExit",
          "rbShut",  "rbPlay",      "btnDown",   "btnAdd",        "btnDel",          "btnSave",
          "chkEdit", "chkAutoPlay", "chkPause",  "chkOn2Monitor", "chkRePlay",       "chkHide"})
        QTest::newRow(n) << n << true;
    for (const char* n : {"lbPos", "lbLen", "DSTrackBar1", "cbRate", "cbAudioChl2", "cbTrans",
                          "cbDelay", "cbHideTime", "Label1", "Label2"})
        QTest::newRow(n) << n << false;
}

void TestFrmMainPresentation::pointerMovementCountsOverListedControlsOnly() {
    QFETCH(QString, name);
    QFETCH(bool, counts);
    Env env;
    // Both panels open, so that every control is on screen.
    QVERIFY(env.Settings({"plTop=145", "plBottom=140"}));
    TFrmMain& f = env.Make();
    f.tmIdel->stop();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QWidget* w = f.findChild<QWidget*>(name);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    // A point of the control that no other control covers.
    QPoint local = w->rect().center();
    if (name == "plTop")
        local = QPoint(595, 52);
    else if (name == "plBottom")
        local = QPoint(595, 135);
    const QPoint inWindow = w->mapTo(&f, local);
    QCOMPARE(f.childAt(inWindow) ? f.childAt(inWindow) : &f, w);

    QCursor::setPos(f.mapToGlobal(inWindow));
    f.IdleTicks = 7;
    QTest::mouseMove(f.windowHandle(), inWindow);
    QCOMPARE(f.IdleTicks, counts ? 0 : 7);
    // A move event without real movement is no activity.
    if (counts) {
        f.IdleTicks = 7;
        f.FormMouseMove(w, Qt::NoModifier, local.x(), local.y());
        QCOMPARE(f.IdleTicks, 7);
    }
}

void TestFrmMainPresentation::keysAndActivationCountAsActivity() {
    Env env;
    TFrmMain& f = env.Make();
    f.tmIdel->stop();
    QVERIFY(f.FirstActivate);
    f.IdleTicks = 5;
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QCOMPARE(f.IdleTicks, 0);
    QVERIFY(!f.FirstActivate);
    QCOMPARE(QApplication::focusWidget(), f.sgV); // not the speed list
    // Keys reach the window first, whichever control has the focus.
    for (QWidget* target : {static_cast<QWidget*>(f.sgV), static_cast<QWidget*>(f.cbDelay)}) {
        target->setFocus();
        f.IdleTicks = 5;
        QTest::keyClick(target, Qt::Key_Down);
        QCOMPARE(f.IdleTicks, 0);
    }
    // The key still reaches the control.
    f.cbDelay->setFocus();
    const int before = f.cbDelay->ItemIndex();
    QTest::keyClick(f.cbDelay, Qt::Key_Down);
    QCOMPARE(f.cbDelay->ItemIndex(), before + 1);
    QCOMPARE(StoredSetting("cbDelay"), QString::number(before + 1));
}

// Clicks as the window system delivers them to the shown window: every
// point of each round button's ellipse reaches the button (nothing lies over
// it), and only the left button clicks; a mouse's thumb buttons do nothing.
void TestFrmMainPresentation::roundButtonsAndSlidersClickOnlyWithTheLeftButton_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("back") << Qt::BackButton;
    QTest::newRow("forward") << Qt::ForwardButton;
}

void TestFrmMainPresentation::roundButtonsAndSlidersClickOnlyWithTheLeftButton() {
    QFETCH(Qt::MouseButton, button);
    const bool left = button == Qt::LeftButton;
    Env env;
    QVERIFY(env.Settings({"plTop=145", "plBottom=140", "chkEdit=YES"}));
    TFrmMain& f = env.Make();
    f.tmIdel->stop();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QWindow* win = f.windowHandle();
    const QList<TMyRoundButton*> buttons = f.findChildren<TMyRoundButton*>();
    QCOMPARE(buttons.size(), 12);
    for (TMyRoundButton* b : buttons) {
        QVERIFY(b->isVisible() && b->isEnabled());
        int clicks = 0;
        b->OnClick = [&clicks](QObject*) { ++clicks; };
        QStringList missed;
        int points = 0;
        for (int y = 0; y < b->height(); ++y)
            for (int x = 0; x < b->width(); ++x) {
                if (!b->InsideEllipse(x, y))
                    continue;
                ++points;
                const int before = clicks;
                QTest::mouseClick(win, button, {}, b->mapTo(&f, QPoint(x, y)));
                if (left && clicks == before)
                    missed << QStringLiteral("%1,%2").arg(x).arg(y);
            }
        QVERIFY(points > 1000);
        QVERIFY2(missed.isEmpty(), qPrintable(b->objectName() + ": " + missed.join(u' ')));
        QCOMPARE(clicks, left ? points : 0);
    }
    for (TTransTrackBar* s : {f.SoundLevel2, f.tbZoom}) {
        int clicks = 0;
        int changes = 0;
        s->OnClick = [&clicks](QObject*) { ++clicks; };
        s->OnChange = [&changes](QObject*) { ++changes; };
        // On the band, on the side away from the thumb.
        const bool thumbRight = s->Position() > s->MaxValue() / 2;
        const QPoint at(thumbRight ? 3 : s->width() - 4, s->height() / 2);
        QTest::mouseClick(win, button, {}, s->mapTo(&f, at));
        QCOMPARE(clicks, left ? 1 : 0);
        QCOMPARE(changes, left ? 1 : 0);
    }
}

void TestFrmMainPresentation::descriptionColumnFollowsTheWindowSize() {
    Env env;
    TFrmMain& f = env.Make();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.resize(602, 400);
    QTRY_COMPARE(f.sgV->height(), 400 - 57 - 57);
    int others = 0;
    for (int c = 0; c < 5; ++c)
        others += f.sgV->ColWidth(c);
    QCOMPARE(f.sgV->ColWidth(5), f.sgV->GridWidth() - others - f.sgV->ColCount() - 1);
    // The width stays fixed, the height has a floor.
    f.resize(900, 100);
    QTRY_COMPARE(f.height(), 300);
    QCOMPARE(f.width(), 602);
}

void TestFrmMainPresentation::snapsToScreenEdges() {
    Env env;
    TFrmMain& f = env.Make();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QRect area = f.screen()->availableGeometry();
    f.move(area.left() + 100, area.top() + 100);
    QTRY_COMPARE(f.frameGeometry().topLeft(), area.topLeft() + QPoint(100, 100));
    f.move(area.left() + 6, area.top() + 4);
    QTRY_COMPARE(f.frameGeometry().topLeft(), area.topLeft());
}

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    InitPublicModule();
    TestFrmMainPresentation t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestFrmMainPresentation.moc"
