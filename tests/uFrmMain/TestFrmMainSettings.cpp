// The settings file as the control window reads and writes it: the first
// start, stored options of every kind, out-of-range values, files left by an
// older installation in GBK with CRLF line ends, and refused writes.
#include "FrmMainFixture.h"

#include "AppTranslations.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "media/FilterGraph.h"
#include "remote/RemoteServer.h"
#include "timeline/TimelineWindow.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

using namespace FrmMainTest;

class TestFrmMainSettings : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesExactlyTheLoadedKeys();
    void firstStartDefaults();
    void documentedFileAfterChoiceClickAndClose();
    void documentedFileLoads();
    void endMode_data();
    void endMode();
    void switches_data();
    void switches();
    void outOfRangeIndexesAreWrittenBackAsMinusOne();
    void opacity_data();
    void opacity();
    void panelsToggleFromStoredHeight();
    void bottomRowsAlikeOpenAtStartOrOpenedLater();
    void windowBoundsKeepTheSizeLimits();
    void sliderDragWritesTheLatestValueLaterAndTheLastOneAtTheEnd();
    void windowBoundsOutOfSightComeOntoAMonitor_data();
    void windowBoundsOutOfSightComeOntoAMonitor();
    void openDialogStartsInTheMediaFolderInTheUsersLanguage();
    void gbkCrlfFileOfAnOlderInstallation();
    void refusedWriteReachesTheCallerAndTheWindowStillStarts();
    void handlerErrorsStopAtTheErrorDisplay_data();
    void handlerErrorsStopAtTheErrorDisplay();
};

void TestFrmMainSettings::firstStartWritesExactlyTheLoadedKeys() {
    Env env;
    TFrmMain& f = env.Make();
    QCOMPARE(Keys(IniFileName),
             (QStringList{"cbDelay", "cbHideTime", "SoundLevel2", "cbTrans", "PlayFile"}));
    QCOMPARE(StoredSetting("cbDelay"), QStringLiteral("1"));
    QCOMPARE(StoredSetting("cbHideTime"), QStringLiteral("6"));
    QCOMPARE(StoredSetting("SoundLevel2"), QStringLiteral("9000"));
    QCOMPARE(StoredSetting("cbTrans"), QStringLiteral("2"));
    QCOMPARE(StoredSetting("PlayFile"), f.AppPath + QStringLiteral("无文件.DAT"));
    QCOMPARE(f.CurFile, f.AppPath + QStringLiteral("无文件.DAT"));
    QCOMPARE(f.SchedFileName, f.AppPath + QStringLiteral("无文件DAT.INI"));
    // No media file open: the title names the program.
    QCOMPARE(f.windowTitle(), QStringLiteral("Tavrelo"));
}

void TestFrmMainSettings::firstStartDefaults() {
    Env env;
    TFrmMain& f = env.Make();
    QCOMPARE(f.pos(), QPoint(0, 0));
    QCOMPARE(f.size(), QSize(602, 522));
    QCOMPARE(f.plTop->height(), 57);
    QCOMPARE(f.plBottom->height(), 57);
    QCOMPARE(f.sgV->geometry(), QRect(0, 57, 602, 522 - 2 * 57));
    QCOMPARE(f.cbDelay->Text(), QStringLiteral("1000"));
    QCOMPARE(f.HideSeconds, 15);
    QVERIFY(f.AlphaBlend);
    QCOMPARE(f.AlphaBlendValue, 220);
    QCOMPARE(f.windowOpacity(), 220 / 255.0);
    QCOMPARE(f.SoundLevel2->Position(), 9000.0);
    for (QCheckBox* box :
         {f.chkEdit, f.chkAutoPlay, f.chkPause, f.chkOn2Monitor, f.chkRePlay, f.chkHide})
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    QVERIFY(f.rbPlay->Checked());
    QVERIFY(!f.rbExit->Checked());
    QVERIFY(!f.rbShut->Checked());
    QVERIFY(f.FrmPlay);
    QVERIFY(!f.FrmPlay->isVisible());
    // An empty table: the titles and one data row numbered 1.
    QCOMPARE(f.sgV->RowCount(), 2);
    QCOMPARE(f.sgV->Cell(0, 1), QStringLiteral("  1"));
    QCOMPARE(f.sgV->Cell(5, 0), QStringLiteral("开播内容"));
}

void TestFrmMainSettings::documentedFileAfterChoiceClickAndClose() {
    Env env;
    TFrmMain& f = env.Make();
    const QString media = env.Media(QStringLiteral("dance.mp4"));
    f.OpenSchedule(media);
    f.chkAutoPlay->click();
    f.close();
    QCOMPARE(ReadLines(IniFileName),
             (QStringList{"[START]", "cbDelay=1", "cbHideTime=6", "SoundLevel2=9000", "cbTrans=2",
                          "PlayFile=" + media, "chkAutoPlay=YES", "WindowsL=0", "WindowsT=0",
                          "WindowsW=602", "WindowsH=522"}));
}

void TestFrmMainSettings::documentedFileLoads() {
    Env env;
    QVERIFY(env.Settings({"cbDelay=1", "cbHideTime=6", "SoundLevel2=9000", "cbTrans=2",
                          "PlayFile=D:\\v\\dance.mp4", "chkAutoPlay=YES", "WindowsL=0",
                          "WindowsT=0", "WindowsW=602", "WindowsH=522"}));
    TFrmMain& f = env.Make();
    QVERIFY(f.chkAutoPlay->isChecked());
    QCOMPARE(f.CurFile, QStringLiteral("D:\\v\\dance.mp4"));
    QCOMPARE(f.SchedFileName, QStringLiteral("D:\\v\\dancemp4.INI"));
    // The file names no existing media: nothing plays, the video window stays hidden.
    QVERIFY(!f.FrmPlay->isVisible());
    QCOMPARE(f.size(), QSize(602, 522));
    // Keys keep their places when written back.
    QCOMPARE(Keys(IniFileName).mid(0, 6), (QStringList{"cbDelay", "cbHideTime", "SoundLevel2",
                                                       "cbTrans", "PlayFile", "chkAutoPlay"}));
}

void TestFrmMainSettings::endMode_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("exitChecked");
    QTest::addColumn<bool>("shutChecked");
    QTest::addColumn<bool>("playChecked");
    QTest::addColumn<QString>("language"); // of the window; stored values are the same
    QTest::newRow("absent") << QStringList{} << false << false << true << "zh";
    QTest::newRow("exit") << QStringList{"overmode=播完退出"} << true << false << false << "zh";
    QTest::newRow("shut") << QStringList{"overmode=播完关机"} << false << true << false << "zh";
    QTest::newRow("loop") << QStringList{"overmode=循环播放"} << false << false << true << "zh";
    QTest::newRow("unmatched") << QStringList{"overmode=关机"} << false << false << false << "zh";
    QTest::newRow("present but empty")
        << QStringList{"overmode="} << false << false << false << "zh";
    QTest::newRow("shut, English window")
        << QStringList{"overmode=播完关机", "Language=en"} << false << true << false << "en";
}

void TestFrmMainSettings::endMode() {
    QFETCH(QStringList, lines);
    QFETCH(bool, exitChecked);
    QFETCH(bool, shutChecked);
    QFETCH(bool, playChecked);
    QFETCH(QString, language);
    QTranslator* catalogue = InstallAppTranslation(language);
    const auto remove = qScopeGuard([catalogue] { delete catalogue; });
    Env env;
    QVERIFY(env.Settings(lines));
    TFrmMain& f = env.Make();
    // The window shows the captions in its language; the stored values
    // behind them stay Chinese.
    const bool en = language == QStringLiteral("en");
    QCOMPARE(f.rbShut->ShownCaption(),
             en ? QStringLiteral("Shut off") : QStringLiteral("播完关机"));
    QCOMPARE(f.lbLeft2->ShownCaption(), en ? QStringLiteral("Left") : QStringLiteral("左声道"));
    QCOMPARE(f.lbLeft2->Caption(), QStringLiteral("左声道"));
    QCOMPARE(f.chkEdit->text(), en ? QStringLiteral("Edit") : QStringLiteral("允许编辑"));
    QCOMPARE(f.btnSave->Hint(), en ? QStringLiteral("Save the schedule (Ctrl+S)")
                                   : QStringLiteral("保存播放安排表 (Ctrl+S)"));
    // The messages written in English are Chinese in a Chinese window; the
    // phone page follows the window.
    QCOMPARE(EWriteRefused(QStringLiteral("a.INI"), QStringLiteral("Disk full")).Text(),
             en ? QStringLiteral("Unable to write to a.INI: Disk full")
                : QStringLiteral("无法写入 a.INI：Disk full"));
    QVERIFY(TRemoteServer::Page().contains(en ? "<html lang=\"en\">" : "<html lang=\"zh\">"));
    QCOMPARE(f.rbExit->Checked(), exitChecked);
    QCOMPARE(f.rbShut->Checked(), shutChecked);
    QCOMPARE(f.rbPlay->Checked(), playChecked);

    // A click stores the caption of the clicked button and checks it alone.
    f.rbShutClick(f.rbShut);
    QVERIFY(f.rbShut->Checked() && !f.rbExit->Checked() && !f.rbPlay->Checked());
    QCOMPARE(StoredSetting("overmode"), QStringLiteral("播完关机"));
    f.rbExitClick(f.rbExit);
    QVERIFY(f.rbExit->Checked() && !f.rbShut->Checked() && !f.rbPlay->Checked());
    QCOMPARE(StoredSetting("overmode"), QStringLiteral("播完退出"));
}

void TestFrmMainSettings::switches_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    for (const char* key :
         {"chkHide", "chkEdit", "chkAutoPlay", "chkPause", "chkRePlay", "chkTimeline"}) {
        QTest::addRow("%s yes", key) << key << "yes" << true;
        QTest::addRow("%s TRUE", key) << key << "TRUE" << true;
        QTest::addRow("%s 1", key) << key << "1" << false;
        QTest::addRow("%s NO", key) << key << "NO" << false;
    }
}

void TestFrmMainSettings::switches() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(bool, on);
    Env env;
    QVERIFY(env.Settings({key + "=" + stored}));
    TFrmMain& f = env.Make();
    auto* box = f.findChild<QCheckBox*>(key);
    QVERIFY(box);
    QCOMPARE(box->isChecked(), on);
    // A switch that came on is written back as "YES"; one that stayed off is
    // not touched.
    QCOMPARE(StoredSetting(key), on ? QStringLiteral("YES") : stored);

    // Every change is written at once.
    box->click();
    QCOMPARE(StoredSetting(key), BoolToText(!on));
}

void TestFrmMainSettings::outOfRangeIndexesAreWrittenBackAsMinusOne() {
    Env env;
    QVERIFY(env.Settings({"cbDelay=12", "cbHideTime=12", "cbTrans=12"}));
    TFrmMain& f = env.Make();
    QCOMPARE(f.cbDelay->ItemIndex(), -1);
    QCOMPARE(f.cbHideTime->ItemIndex(), -1);
    QCOMPARE(f.cbTrans->ItemIndex(), -1);
    QCOMPARE(StoredSetting("cbDelay"), QStringLiteral("-1"));
    QCOMPARE(StoredSetting("cbHideTime"), QStringLiteral("-1"));
    QCOMPARE(StoredSetting("cbTrans"), QStringLiteral("-1"));
    QCOMPARE(f.HideSeconds, 10);
    QVERIFY(f.AlphaBlend);
    QCOMPARE(f.AlphaBlendValue, 200);
}

void TestFrmMainSettings::opacity_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("blend");
    QTest::addColumn<double>("opacity");
    QTest::newRow("255: opaque") << "0" << false << 1.0;
    QTest::newRow("240") << "1" << true << 240 / 255.0;
    QTest::newRow("40") << "11" << true << 40 / 255.0;
    QTest::newRow("not a number") << "x" << true << 220 / 255.0;
}

void TestFrmMainSettings::opacity() {
    QFETCH(QString, stored);
    QFETCH(bool, blend);
    QFETCH(double, opacity);
    Env env;
    QVERIFY(env.Settings({"cbTrans=" + stored}));
    TFrmMain& f = env.Make();
    QCOMPARE(f.AlphaBlend, blend);
    QCOMPARE(f.windowOpacity(), opacity);
    // Choosing by hand goes through the same handler.
    f.cbTrans->SetItemIndex(0);
    QCOMPARE(f.windowOpacity(), 1.0);
    QCOMPARE(StoredSetting("cbTrans"), QStringLiteral("0"));
    f.cbTrans->SetItemIndex(11);
    QCOMPARE(f.windowOpacity(), 40 / 255.0);
    QCOMPARE(StoredSetting("cbTrans"), QStringLiteral("11"));
}

void TestFrmMainSettings::panelsToggleFromStoredHeight() {
    Env env;
    QVERIFY(env.Settings({"plTop=100", "plBottom=100"}));
    TFrmMain& f = env.Make();
    QCOMPARE(f.plTop->height(), 100);
    QCOMPARE(f.plBottom->height(), 100);
    QCOMPARE(f.sgV->geometry(), QRect(0, 100, 602, 522 - 200));

    f.btnUPClick(f.btnUP);
    QCOMPARE(f.plTop->height(), 57);
    QCOMPARE(StoredSetting("plTop"), QStringLiteral("57"));
    f.btnUPClick(f.btnUP);
    QCOMPARE(f.plTop->height(), 145);
    QCOMPARE(StoredSetting("plTop"), QStringLiteral("145"));

    f.btnDownClick(f.btnDown);
    QCOMPARE(f.plBottom->height(), 57);
    QCOMPARE(StoredSetting("plBottom"), QStringLiteral("57"));
    f.btnDownClick(f.btnDown);
    QCOMPARE(f.plBottom->height(), 140);
    QCOMPARE(StoredSetting("plBottom"), QStringLiteral("140"));
    // The grid fills what the panels leave.
    QCOMPARE(f.sgV->geometry(), QRect(0, 145, 602, 522 - 145 - 140));
    QCOMPARE(f.plBottom->geometry(), QRect(0, 522 - 140, 602, 140));
}

// The bottom panel's rows sized by their captions are placed only once the
// panel opens: opened by its button, they stand as in a window opened at start.
void TestFrmMainSettings::bottomRowsAlikeOpenAtStartOrOpenedLater() {
    const auto placed = [](TFrmMain& f) {
        QStringList out;
        for (const char* name :
             {"Label1", "Label2", "chkMirror", "chkStretch", "chkOSD", "chkSpeedUp", "chkTimeline",
              "chkRemote", "chkLead", "chkFollow"}) {
            const QWidget* w = f.findChild<QWidget*>(QLatin1String(name));
            const auto* label = qobject_cast<const QLabel*>(w);
            out << QStringLiteral("%1 %2,%3 %4x%5 %6")
                       .arg(QLatin1String(name))
                       .arg(w ? w->x() : -1)
                       .arg(w ? w->y() : -1)
                       .arg(w ? w->width() : -1)
                       .arg(w ? w->height() : -1)
                       .arg(label ? label->text() : QString());
        }
        return out;
    };
    QStringList atStart;
    {
        Env env;
        QVERIFY(env.Settings({"plBottom=140"}));
        atStart = placed(env.Make());
    }
    Env env;
    QVERIFY(env.Settings({"plBottom=57"}));
    TFrmMain& f = env.Make();
    f.btnDownClick(f.btnDown);
    QCOMPARE(f.plBottom->height(), 140);
    QCOMPARE(placed(f), atStart);
}

void TestFrmMainSettings::windowBoundsKeepTheSizeLimits() {
    Env env;
    QVERIFY(env.Settings({"WindowsL=30", "WindowsT=40", "WindowsW=800", "WindowsH=200",
                          "TimelineL=50", "TimelineT=60", "TimelineW=700", "TimelineH=10"}));
    TFrmMain& f = env.Make();
    QCOMPARE(f.pos(), QPoint(30, 40));
    QCOMPARE(f.width(), 602);
    QCOMPARE(f.height(), 300);
    // The timeline window's own bounds, inside its own limits.
    QCOMPARE(f.FrmTimeline->geometry(), QRect(50, 60, 700, f.FrmTimeline->minimumHeight()));
    f.close();
    QCOMPARE(StoredSetting("WindowsL"), QStringLiteral("30"));
    QCOMPARE(StoredSetting("WindowsT"), QStringLiteral("40"));
    QCOMPARE(StoredSetting("WindowsW"), QStringLiteral("602"));
    QCOMPARE(StoredSetting("WindowsH"), QStringLiteral("300"));
}

// The drag is sent straight to the slider, so no timer runs between steps.
void TestFrmMainSettings::sliderDragWritesTheLatestValueLaterAndTheLastOneAtTheEnd() {
    Env env;
    TFrmMain& f = env.Make();
    TTransTrackBar* s = f.SoundLevel2;
    const int y = s->height() / 2;
    auto send = [s, y](QEvent::Type type, int x, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(x, y), s->mapToGlobal(QPointF(x, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(s, &e);
    };
    auto stored = [] { return StoredSetting("SoundLevel2").toInt(); };
    int x = s->ThumbLeft() + s->ThumWidth() / 2;
    send(QEvent::MouseButtonPress, x, Qt::LeftButton);
    QCOMPARE(stored(), 9000); // pressing the thumb changes nothing
    send(QEvent::MouseMove, --x, Qt::LeftButton);
    const int first = stored(); // the first step is written at once
    QCOMPARE(first, qRound(s->Position()));
    for (int i = 0; i < 20; ++i)
        send(QEvent::MouseMove, --x, Qt::LeftButton);
    QCOMPARE(stored(), first);
    QTRY_COMPARE(stored(), qRound(s->Position())); // the latest, a little later
    for (int i = 0; i < 20; ++i)
        send(QEvent::MouseMove, --x, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, x, Qt::NoButton);
    QCOMPARE(stored(), qRound(s->Position())); // the end writes at once
    QVERIFY(stored() < first);
    // A click on the band writes at once.
    send(QEvent::MouseButtonPress, 3, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 3, Qt::NoButton);
    QCOMPARE(stored(), qRound(s->Position()));
}

void TestFrmMainSettings::windowBoundsOutOfSightComeOntoAMonitor_data() {
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<QPoint>("opened");
    const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    const QPoint far(a.right() + 1 - 602, a.bottom() + 1 - 400);
    QTest::newRow("on the monitor") << QPoint(30, 40) << QPoint(30, 40);
    QTest::newRow("half off the left") << QPoint(g.left() - 300, 40) << QPoint(g.left() - 300, 40);
    QTest::newRow("a sliver on the left") << QPoint(g.left() - 580, 40) << QPoint(a.left(), 40);
    QTest::newRow("far beyond") << QPoint(50000, 50000) << far;
    QTest::newRow("far before") << QPoint(-50000, -50000) << a.topLeft();
    QTest::newRow("below the bottom") << QPoint(30, g.bottom() + 10) << QPoint(30, far.y());
}

void TestFrmMainSettings::windowBoundsOutOfSightComeOntoAMonitor() {
    QFETCH(QPoint, stored);
    QFETCH(QPoint, opened);
    Env env;
    QVERIFY(
        env.Settings({"WindowsL=" + QString::number(stored.x()),
                      "WindowsT=" + QString::number(stored.y()), "WindowsW=602", "WindowsH=400"}));
    TFrmMain& f = env.Make();
    QCOMPARE(f.pos(), opened);
    QCOMPARE(f.size(), QSize(602, 400));
}

// On a Chinese desktop: the dialog speaks Chinese, starts where the media
// lies, and its completer list goes with it.
void TestFrmMainSettings::openDialogStartsInTheMediaFolderInTheUsersLanguage() {
    Env env;
    QVERIFY(QDir(env.Path(QString())).mkdir(QStringLiteral("videos")));
    const QString media = env.Media(QStringLiteral("videos/dance.mp4"));
    env.Media(QStringLiteral("videos/dance2.mp4"));
    QVERIFY(env.Settings({"PlayFile=" + media, "chkEdit=YES"}));
    TFrmMain& f = env.Make();
    f.show();
    QTranslator* zh = InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China));
    QVERIFY2(zh, "Qt's translations are not installed");
    QString folder;
    QString lookIn;
    QWidget* popup = nullptr;
    QTimer::singleShot(0, &f, [&] {
        QFileDialog* d = f.OpenDialog1;
        folder = d->directory().absolutePath();
        if (auto* label = d->findChild<QLabel*>(QStringLiteral("lookInLabel")))
            lookIn = label->text();
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name && name->completer()) {
            d->activateWindow();
            if (QTest::qWaitForWindowActive(d))
                name->setFocus();
            // The completer lists the folder as the dialog's file model reads
            // it, on a thread of its own: on a busy machine the first keys can
            // come before it has, so type again until the list shows.
            QElapsedTimer typing;
            typing.start();
            while (!popup && typing.elapsed() < 60000) {
                name->clear();
                QTest::keyClicks(name, QStringLiteral("da"));
                if (QTest::qWaitFor([name] { return name->completer()->popup()->isVisible(); },
                                    2000))
                    popup = name->completer()->popup();
            }
        }
        d->reject();
    });
    f.btnSelFileClick(f.btnSelFile);
    QCoreApplication::removeTranslator(zh);
    delete zh;
    QCOMPARE(folder, QFileInfo(media).absolutePath());
    QVERIFY2(!lookIn.isEmpty() && !lookIn.startsWith(QLatin1String("Look")), qPrintable(lookIn));
    QVERIFY(popup);
    QVERIFY(!popup->isVisible());
}

void TestFrmMainSettings::gbkCrlfFileOfAnOlderInstallation() {
    Env env;
    const QString media = env.Path(QStringLiteral("早操视频.avi"));
    QVERIFY(env.Settings({"WindowsL=12", "overmode=播完关机", "plTop=145", "cbDelay=3",
                          "cbHideTime=0", "SoundLevel2=5000", "chkEdit=YES", "chkRePlay=yes",
                          "cbTrans=11", "PlayFile=" + media},
                         true, true));
    QVERIFY(!IsValidUtf8(ReadBytes(IniFileName)));
    TFrmMain& f = env.Make();
    QVERIFY(f.rbShut->Checked());
    QVERIFY(!f.rbExit->Checked() && !f.rbPlay->Checked());
    QCOMPARE(f.pos().x(), 12);
    QCOMPARE(f.plTop->height(), 145);
    QCOMPARE(f.cbDelay->Text(), QStringLiteral("2000"));
    QCOMPARE(f.HideSeconds, 5);
    QCOMPARE(f.SoundLevel2->Position(), 5000.0);
    QVERIFY(f.chkEdit->isChecked());
    QVERIFY(f.btnAdd->isEnabled());
    QVERIFY(f.chkRePlay->isChecked());
    QCOMPARE(f.windowOpacity(), 40 / 255.0);
    QCOMPARE(f.CurFile, media);

    // Written back, the file stays GBK with CRLF line ends.
    const QByteArray bytes = ReadBytes(IniFileName);
    QVERIFY(!IsValidUtf8(bytes));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QVERIFY(ReadLines(IniFileName).contains("overmode=播完关机"));
    QVERIFY(ReadLines(IniFileName).contains("chkRePlay=YES"));
}

// Texts shown by the top-level error display while alive.
class ShownErrors {
public:
    ShownErrors() {
        SetErrorMessageObserver([this](const QString& text) { Texts << text; });
    }
    ~ShownErrors() { SetErrorMessageObserver(nullptr); }
    QStringList Texts;
};

void TestFrmMainSettings::refusedWriteReachesTheCallerAndTheWindowStillStarts() {
    Env env;
    // A settings path below a plain file cannot be written, not even by root.
    const QString blocker = env.Path(QStringLiteral("blocker"));
    QVERIFY(WriteText(blocker, {"x"}));
    IniFileName = blocker + QStringLiteral("/system.INI");
    const QString refused =
        QStringLiteral("Unable to write to ") + IniFileName + QStringLiteral(": Not a directory");
    ShownErrors shown;
    TFrmMain& f = env.Make();
    // Every option that wrote itself back was refused; the user hears of the
    // file once, and loading went on with the next option each time.
    QCOMPARE(shown.Texts, QStringList{refused});
    QCOMPARE(f.cbDelay->ItemIndex(), 1);
    QCOMPARE(f.cbHideTime->ItemIndex(), 6);
    QCOMPARE(f.cbTrans->ItemIndex(), 2);
    QVERIFY(f.FrmPlay);

    // Called directly, a handler's error propagates to its caller, with the
    // rest of the handler skipped.
    try {
        f.btnUPClick(f.btnUP);
        QFAIL("no error raised");
    } catch (const EAppError& e) {
        QCOMPARE(e.Text(), refused);
    }
    QVERIFY_THROWS_EXCEPTION(EAppError, f.cbDelayChange(f.cbDelay));

    // From a real click the error ends at the top-level error display and
    // the program goes on.
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QTest::mouseClick(f.chkHide, Qt::LeftButton);
    QVERIFY(f.chkHide->isChecked());
    QTest::mouseClick(f.chkHide, Qt::LeftButton);
    QVERIFY(!f.chkHide->isChecked());
    QVERIFY(f.isVisible());
    QCOMPARE(shown.Texts, QStringList({refused, refused, refused}));
}

// However a handler is reached (a Qt signal, a control's event, the end of
// the media), its error stops at the error display: nothing unwinds into
// the code that raised the event, and the program goes on.
void TestFrmMainSettings::handlerErrorsStopAtTheErrorDisplay_data() {
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("shownStart");
    const QString refused = QStringLiteral("Unable to write to ");
    QTest::newRow("check box toggled by the program") << "toggled" << refused;
    QTest::newRow("drop-down list assigned") << "combo" << refused;
    QTest::newRow("round button click") << "button" << refused;
    // In power-off mode, with no system bus to ask: the process stays.
    QTest::newRow("end of media, power-off refused")
        << "complete" << QStringLiteral("OpenProcessToken failed with code ");
}

void TestFrmMainSettings::handlerErrorsStopAtTheErrorDisplay() {
    QFETCH(QString, event);
    QFETCH(QString, shownStart);
    Env env;
    const QString blocker = env.Path(QStringLiteral("blocker"));
    QVERIFY(WriteText(blocker, {"x"}));
    IniFileName = blocker + QStringLiteral("/system.INI");
    TFrmMain& f = env.Make();
    ShownErrors shown;
    if (event == QLatin1String("toggled")) {
        f.chkRePlay->setChecked(!f.chkRePlay->isChecked());
    } else if (event == QLatin1String("combo")) {
        f.cbHideTime->SetItemIndex(0);
    } else if (event == QLatin1String("button")) {
        f.btnDown->OnClick(f.btnDown);
        QCOMPARE(f.plBottom->height(), 140); // the steps before the write ran
    } else {
        f.rbShut->SetChecked(true);
        f.rbPlay->SetChecked(false);
        f.FGBrowse->OnGraphComplete(f.FGBrowse, S_OK, nullptr);
    }
    QCOMPARE(shown.Texts.size(), 1);
    QVERIFY2(shown.Texts[0].startsWith(shownStart), qPrintable(shown.Texts[0]));
}

int main(int argc, char** argv) {
    // Power-off mode ends a media in one case: its request must never reach
    // the machine's own logind.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tavrelo-test-bus");
    TApplication app(argc, argv);
    InitPublicModule();
    TestFrmMainSettings t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestFrmMainSettings.moc"
