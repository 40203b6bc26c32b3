// The schedule table and its file: adding, deleting, counting, in-place
// editing, saving in time order, loading (gaps, extra columns, long values,
// large tables, GBK/CRLF files) and the per-media settings beside the table.
#include "FrmMainFixture.h"
#include "uFrmMainSync.h"

#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "media/FilterGraph.h"
#include "utPublic/ErrorDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QWheelEvent>
#include <QtTest>

using namespace FrmMainTest;

class TestScheduleTable : public QObject {
    Q_OBJECT
private slots:
    void scheduleFileName_data();
    void scheduleFileName();
    void addingToAnEmptyTableFillsRowOneAndSaves();
    void addingAfterTheLastRowAddsThirtySeconds();
    void addingKeepsEverySection_data();
    void addingKeepsEverySection();
    void saveNormalisesSortsAndRenumbers_data();
    void saveNormalisesSortsAndRenumbers();
    void deleteRules();
    void countClicks_data();
    void countClicks();
    void editModeLocksExactlyEightControls();
    void openLockFollowsAnOpenFile_data();
    void openLockFollowsAnOpenFile();
    void closeAsksAboutUnsavedEdits_data();
    void closeAsksAboutUnsavedEdits();
    void maskedEditorOnTimeColumnFreeTextOnDescription();
    void lineBreaksBecomeBlanks();
    void wheelScrollsWithoutMovingTheSelection();
    void openScheduleReadsPerMediaSettings_data();
    void openScheduleReadsPerMediaSettings();
    void loadStopsAtAGapAndKeepsExtraColumns();
    void markInDescriptionSplitsOnReload();
    void restoreBringsBackTheSavedCounts();
    void gbkCrlfScheduleOfAnOlderInstallation();
    void hugeTableAndHugeLineLoad();
    void headerWithThousandsOfMarksIsCapped();
};

namespace {
// A window on a fresh folder whose current media file has the given rows
// ("count|time|description") and extra lines in its schedule file.
TFrmMain& WindowWithSchedule(Env& env, const QStringList& rows, const QStringList& extra = {},
                             QString* mediaOut = nullptr) {
    const QString media = env.Media();
    env.Settings({"PlayFile=" + media});
    TFrmMain& f = env.Make();
    Env::Schedule(f, media, rows, extra);
    f.OpenSchedule(media);
    if (mediaOut)
        *mediaOut = media;
    return f;
}

QPoint CellCentre(const TScheduleGrid& g, int col, int row) {
    return g.CellRect(col, row).center();
}
} // namespace

void TestScheduleTable::scheduleFileName_data() {
    QTest::addColumn<QString>("media");
    QTest::addColumn<QString>("schedule");
    QTest::newRow("lower case") << "/v/dance.mp4"
                                << "/v/dancemp4.INI";
    QTest::newRow("case kept") << "/v/Dance.MP4"
                               << "/v/DanceMP4.INI";
    QTest::newRow("no extension") << "/v/dance"
                                  << "/v/dance.INI";
    QTest::newRow("dot in folder only") << "/v.d/dance"
                                        << "/v.d/dance.INI";
    QTest::newRow("two dots") << "/v/a.b.mkv"
                              << "/v/a.bmkv.INI";
    QTest::newRow("stored Windows path") << "D:\\v\\dance.mp4"
                                         << "D:\\v\\dancemp4.INI";
    QTest::newRow("default file") << "/opt/t/无文件.DAT"
                                  << "/opt/t/无文件DAT.INI";
}

void TestScheduleTable::scheduleFileName() {
    QFETCH(QString, media);
    QFETCH(QString, schedule);
    Env env;
    TFrmMain& f = env.Make();
    QCOMPARE(f.ScheduleFileNameFor(media), schedule);
    // Without a folder the program's own folder is put in front.
    QCOMPARE(f.ScheduleFileNameFor(QStringLiteral("dance.mp4")),
             f.AppPath + QStringLiteral("dancemp4.INI"));
}

void TestScheduleTable::addingToAnEmptyTableFillsRowOneAndSaves() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {});
    QCOMPARE(f.sgV->RowCount(), 2);
    QVERIFY(f.sgV->Cell(1, 1).isEmpty());
    f.btnAddClick(f.btnAdd);
    QCOMPARE(f.sgV->RowCount(), 2);
    for (int c = 0; c < 6; ++c)
        QCOMPARE(f.sgV->Cell(c, 1), (QStringList{"  1", "0", "+", "-", "00:30", "新的一节"}.at(c)));
    QCOMPARE(f.sgV->Row(), 1);
    QCOMPARE(ReadIniText(f.SchedFileName, "Sect", "Row0"),
             QStringLiteral("序号^^播放^^加^^减^^时间点^^开播内容^^"));
    QVERIFY(ReadLines(f.SchedFileName).contains("Row1=  1^^0^^+^^-^^00:30^^新的一节^^"));
    QVERIFY(ReadIniText(f.SchedFileName, "Sect", "Row2").isEmpty());
}

void TestScheduleTable::addingAfterTheLastRowAddsThirtySeconds() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"2|00:10|起势", "1|59:50|收势"});
    f.btnAddClick(f.btnAdd);
    QCOMPARE(f.sgV->RowCount(), 4);
    QCOMPARE(f.sgV->Row(), 3);
    QCOMPARE(f.sgV->Cell(4, 3), QStringLiteral("60:20"));
    QCOMPARE(f.sgV->Cell(0, 3), QStringLiteral("  3"));
    QCOMPARE(SavedRows(f.SchedFileName).size(), 3);
    QCOMPARE(SavedRows(f.SchedFileName).at(2).at(4), QStringLiteral("60:20"));
}

// Hand-edited or older files: an empty count in row 1 above further
// sections, an absurd time point in the last row.
void TestScheduleTable::addingKeepsEverySection_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("added"); // time point of the new row
    QTest::newRow("empty count in row 1")
        << QStringList{"|00:10|起势", "2|00:20|一", "1|00:40|收势"} << "01:10";
    QTest::newRow("largest time point") << QStringList{"1|99999999:00|x"} << "35791394:07";
}

void TestScheduleTable::addingKeepsEverySection() {
    QFETCH(QStringList, rows);
    QFETCH(QString, added);
    Env env;
    TFrmMain& f = WindowWithSchedule(env, rows);
    f.btnAddClick(f.btnAdd);
    QCOMPARE(f.sgV->RowCount(), rows.size() + 2);
    QCOMPARE(f.sgV->Cell(4, rows.size() + 1), added);
    const QList<QStringList> saved = SavedRows(f.SchedFileName);
    QCOMPARE(saved.size(), rows.size() + 1);
    QStringList descriptions;
    for (const QStringList& r : saved)
        descriptions << r.at(5);
    for (const QString& r : rows)
        QVERIFY(descriptions.contains(r.section(QLatin1Char('|'), 2)));
}

void TestScheduleTable::saveNormalisesSortsAndRenumbers_data() {
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("saved");
    QTest::newRow("byte order") << QStringList{"10:00", "2:30", "100:00"}
                                << QStringList{"02:30", "100:00", "10:00"};
    QTest::newRow("colon after digits")
        << QStringList{"20:00", "100:00"} << QStringList{"100:00", "20:00"};
    QTest::newRow("normalised") << QStringList{"5:3", "", "abc", "00:75"}
                                << QStringList{"00:00", "00:00", "01:15", "05:03"};
}

void TestScheduleTable::saveNormalisesSortsAndRenumbers() {
    QFETCH(QStringList, times);
    QFETCH(QStringList, saved);
    QStringList rows;
    for (int i = 0; i < times.size(); ++i)
        rows << QStringLiteral("%1|%2|节%1").arg(i).arg(times[i]);
    Env env;
    TFrmMain& f = WindowWithSchedule(env, rows);
    f.btnSaveClick(f.btnSave);
    const QList<QStringList> file = SavedRows(f.SchedFileName);
    QCOMPARE(file.size(), saved.size());
    for (int i = 0; i < file.size(); ++i) {
        QCOMPARE(file[i].at(4), saved[i]);
        QCOMPARE(file[i].at(0), PadLeft(QString::number(i + 1), QLatin1Char(' '), 3));
    }
    QCOMPARE(Column(*f.sgV, 4), saved);
    // The per-media keys are left alone.
    QCOMPARE(ReadIniText(f.SchedFileName, "START", "cbRate"), QString());
}

void TestScheduleTable::deleteRules() {
    Env env;
    // One section: deleting it is refused.
    {
        TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A"});
        f.btnDelClick(f.btnDel);
        QCOMPARE(f.sgV->RowCount(), 2);
        QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("A"));
    }
    Env env2;
    TFrmMain& f = WindowWithSchedule(env2, {"1|00:00|A", "1|00:10|B", "1|00:20|C", "1|00:30|D"});
    const QByteArray before = ReadBytes(f.SchedFileName);
    // The last row: the selection moves one up.
    f.sgV->SetRow(4);
    f.btnDelClick(f.btnDel);
    QCOMPARE(Column(*f.sgV, 5), (QStringList{"A", "B", "C"}));
    QCOMPARE(f.sgV->Row(), 3);
    // A middle row: the selection index stays and shows the following row.
    f.sgV->SetRow(2);
    f.btnDelClick(f.btnDel);
    QCOMPARE(Column(*f.sgV, 5), (QStringList{"A", "C"}));
    QCOMPARE(Column(*f.sgV, 0), (QStringList{"  1", "  2"}));
    QCOMPARE(f.sgV->Row(), 2);
    // Column 1 takes the width the others leave; nothing is saved.
    int others = 0;
    for (int c = 0; c < f.sgV->ColCount(); ++c)
        others += c == 1 ? 0 : f.sgV->ColWidth(c);
    QCOMPARE(f.sgV->ColWidth(1), f.sgV->GridWidth() - others - f.sgV->ColCount() - 1);
    QCOMPARE(ReadBytes(f.SchedFileName), before);
}

void TestScheduleTable::countClicks_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("after");
    QTest::newRow("plus") << 2 << "3"
                          << "4";
    QTest::newRow("plus at 99") << 2 << "99"
                                << "99";
    QTest::newRow("minus") << 3 << "3"
                           << "2";
    QTest::newRow("minus at 0") << 3 << "0"
                                << "0";
    QTest::newRow("plus on empty") << 2 << ""
                                   << "1";
    QTest::newRow("plus on text") << 2 << "abc"
                                  << "1";
    QTest::newRow("minus on text") << 3 << "abc"
                                   << "0";
    QTest::newRow("plus beyond range") << 2 << "2147483647"
                                       << "99";
}

void TestScheduleTable::countClicks() {
    QFETCH(int, col);
    QFETCH(QString, count);
    QFETCH(QString, after);
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A", "1|00:10|B"});
    f.sgV->SetCell(1, 2, count);
    f.sgV->SetRow(1);
    const QPoint p = CellCentre(*f.sgV, col, 2);
    QTest::mouseClick(f.sgV, Qt::LeftButton, {}, p);
    QCOMPARE(f.sgV->Cell(1, 2), after);
    // A click on a fixed column leaves the selection where it was.
    QCOMPARE(f.sgV->Row(), 1);
    // Any button counts.
    f.sgV->SetCell(1, 2, count);
    QTest::mouseClick(f.sgV, Qt::RightButton, {}, p);
    QCOMPARE(f.sgV->Cell(1, 2), after);
}

// While no media file is open, opening one edits nothing: the file button
// and Ctrl+O work without "允许编辑", the empty table says how to open a
// file and the title names the program.
void TestScheduleTable::openLockFollowsAnOpenFile_data() {
    QTest::addColumn<bool>("mediaOpen");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("locked");
    QTest::newRow("no file") << false << false << false;
    QTest::newRow("no file, editing") << false << true << false;
    QTest::newRow("file open") << true << false << true;
    QTest::newRow("file open, editing") << true << true << false;
}

void TestScheduleTable::openLockFollowsAnOpenFile() {
    QFETCH(bool, mediaOpen);
    QFETCH(bool, editing);
    QFETCH(bool, locked);
    Env env;
    const QString media = mediaOpen ? env.Media() : env.Path(QStringLiteral("gone.mp4"));
    env.Settings({"PlayFile=" + media, QStringLiteral("chkEdit=") + (editing ? "YES" : "NO")});
    TFrmMain& f = env.Make();
    QCOMPARE(f.MediaOpen(), mediaOpen);
    QCOMPARE(f.btnSelFile->isEnabled(), !locked);
    QCOMPARE(f.KeyAction(Qt::Key_O, Qt::ControlModifier, true), locked ? pkEditLocked : pkOpen);
    QCOMPARE(f.windowTitle(), mediaOpen ? f.SchedFileName : QStringLiteral("Tavrelo"));
    QCOMPARE(f.sgV->EmptyText().isEmpty(), mediaOpen);
    // Saving stays locked without "允许编辑" either way.
    QCOMPARE(f.btnSave->isEnabled(), editing);
    QCOMPARE(f.KeyAction(Qt::Key_S, Qt::ControlModifier, true), editing ? pkSave : pkEditLocked);
    // Following a leader, the leader chooses the file and plays: the
    // transport rests and says why; leaving gives each its own hint back.
    const QString ownHint = f.btnPause->toolTip();
    f.Sync->edFollowAddress->setText(QStringLiteral("127.0.0.1:9"));
    f.Sync->edFollowPin->setText(QStringLiteral("123456"));
    f.Sync->chkFollow->click();
    QVERIFY(f.Following());
    for (QWidget* w : std::initializer_list<QWidget*>{f.btnPause, f.btnBack, f.btnNext,
                                                      f.btnSelFile, f.cbRate}) {
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(w->toolTip(), QStringLiteral("跟播中：播放由领播控制"));
    }
    f.OpenSchedule(media); // the leader's file opened
    QVERIFY(!f.btnSelFile->isEnabled());
    f.Sync->chkFollow->click();
    QVERIFY(!f.Following());
    QVERIFY(f.btnPause->isEnabled());
    QCOMPARE(f.btnPause->toolTip(), ownHint);
    QCOMPARE(f.btnSelFile->isEnabled(), !locked);
    // The line shows on the empty table only: the first section takes it away.
    if (!mediaOpen) {
        const QImage empty = f.sgV->grab().toImage();
        f.btnAddClick(f.btnAdd);
        QVERIFY(f.sgV->grab().toImage() != empty);
        f.btnDelClick(f.btnDel);
        Env::Schedule(f, media, {});
        f.OpenSchedule(media);
        QCOMPARE(f.sgV->grab().toImage(), empty);
    }
}

// A close by the user with unsaved edits asks once: save, discard or stay.
// What playback uses up is no edit, and a saved table asks nothing.
void TestScheduleTable::closeAsksAboutUnsavedEdits_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("answer"); // TUnsavedAnswer
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("savedCount"); // row 2's count in the file afterwards
    QTest::addColumn<int>("savedRows");
    const int save = int(TFrmMain::TUnsavedAnswer::Save);
    const int discard = int(TFrmMain::TUnsavedAnswer::Discard);
    const int cancel = int(TFrmMain::TUnsavedAnswer::Cancel);
    QTest::newRow("nothing changed") << "" << cancel << false << true << "3" << 2;
    QTest::newRow("count used up by playback") << "used" << cancel << false << true << "3" << 2;
    QTest::newRow("count clicked, save") << "plus" << save << true << true << "4" << 2;
    QTest::newRow("count clicked, discard") << "plus" << discard << true << true << "3" << 2;
    QTest::newRow("count clicked, cancel") << "plus" << cancel << true << false << "3" << 2;
    QTest::newRow("row deleted, save") << "delete" << save << true << true << "" << 1;
    QTest::newRow("time typed, save") << "type" << save << true << true << "3" << 2;
    QTest::newRow("mark moved on the timeline") << "moved" << discard << true << true << "3" << 2;
    QTest::newRow("edited then saved") << "saved" << cancel << false << true << "4" << 2;
}

void TestScheduleTable::closeAsksAboutUnsavedEdits() {
    QFETCH(QString, edit);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, closed);
    QFETCH(QString, savedCount);
    QFETCH(int, savedRows);
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A", "3|00:10|B"});
    f.chkEdit->setChecked(true);
    int asks = 0;
    f.AskUnsavedEdits = [&] {
        ++asks;
        return TFrmMain::TUnsavedAnswer(answer);
    };
    const QPoint plus = CellCentre(*f.sgV, 2, 2);
    if (edit == "used") {
        f.Sched->SetCount(2, QStringLiteral("1"));
    } else if (edit == "plus" || edit == "saved") {
        f.sgVMouseDown(f.sgV, Qt::LeftButton, {}, plus.x(), plus.y());
        if (edit == "saved")
            f.btnSaveClick(f.btnSave);
    } else if (edit == "delete") {
        f.sgV->SetRow(2);
        f.btnDelClick(f.btnDel);
    } else if (edit == "type") {
        f.sgV->SetRow(2);
        f.sgV->SetCol(4);
        f.sgV->ShowEditor();
        QVERIFY(f.sgV->EditorShown());
        f.sgV->Editor()->selectAll();
        QTest::keyClicks(f.sgV->Editor(), QStringLiteral("0020"));
    } else if (edit == "moved") {
        f.TimelineSectionMoved(2, 30);
    }
    QCOMPARE(f.close(), closed);
    QCOMPARE(asks, asked ? 1 : 0);
    const QList<QStringList> saved = SavedRows(f.SchedFileName);
    QCOMPARE(saved.size(), savedRows);
    if (savedRows == 2) {
        QCOMPARE(saved[1].value(1), savedCount);
        QCOMPARE(saved[1].value(4), edit == "type" && answer == int(TFrmMain::TUnsavedAnswer::Save)
                                        ? "00:20"
                                        : "00:10");
    }
}

void TestScheduleTable::editModeLocksExactlyEightControls() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A"});
    const QSet<QString> locked{"btnSelFile", "btnSave", "btnAdd", "btnDel",
                               "lbPos",      "rbExit",  "rbShut", "rbPlay"};
    auto check = [&](bool editing) {
        int seen = 0;
        for (QWidget* w : f.findChildren<QWidget*>()) {
            const QString n = w->objectName();
            if (!(n.startsWith("btn") || n.startsWith("cb") || n.startsWith("chk") ||
                  n.startsWith("rb") || n.startsWith("lb") || n.startsWith("tb") ||
                  n == "SoundLevel2" || n == "DSTrackBar1" || n == "sgV"))
                continue;
            ++seen;
            const bool expected = editing || !locked.contains(n);
            QVERIFY2(w->isEnabled() == expected, qPrintable(n));
        }
        QVERIFY(seen >= 30);
        QCOMPARE(f.sgV->Editing(), editing);
    };
    check(false);
    f.chkEdit->click();
    QCOMPARE(StoredSetting("chkEdit"), QStringLiteral("YES"));
    check(true);
    f.chkEdit->click();
    QCOMPARE(StoredSetting("chkEdit"), QStringLiteral("NO"));
    check(false);

    // Typing into the grid opens an editor only while editing is on; the
    // count clicks keep working either way.
    f.sgV->SetCol(5);
    QTest::keyClick(f.sgV, Qt::Key_X);
    QVERIFY(!f.sgV->EditorShown());
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("A"));
    f.sgVMouseDown(f.sgV, Qt::LeftButton, {}, CellCentre(*f.sgV, 2, 1).x(),
                   CellCentre(*f.sgV, 2, 1).y());
    QCOMPARE(f.sgV->Cell(1, 1), QStringLiteral("2"));
    f.chkEdit->click();
    QTest::keyClick(f.sgV, Qt::Key_X);
    QVERIFY(f.sgV->EditorShown());
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("x"));
}

void TestScheduleTable::maskedEditorOnTimeColumnFreeTextOnDescription() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A"});
    QCOMPARE(f.sgVGetEditMask(4, 1), QStringLiteral("99:99"));
    QCOMPARE(f.sgVGetEditMask(5, 1), QString());
    f.chkEdit->setChecked(true);
    f.sgV->SetCol(4);
    f.sgV->ShowEditor();
    QLineEdit* ed = f.sgV->Editor();
    QVERIFY(ed->inputMask().startsWith(QStringLiteral("99:99")));
    ed->selectAll();
    // Letters are refused; the colon is part of the text.
    QTest::keyClicks(ed, QStringLiteral("a1b2c3d4e"));
    QCOMPARE(f.sgV->Cell(4, 1), QStringLiteral("12:34"));
    QTest::keyClick(ed, Qt::Key_Return);
    QVERIFY(!f.sgV->EditorShown());

    f.sgV->SetCol(5);
    f.sgV->ShowEditor();
    QVERIFY(ed->inputMask().isEmpty());
    ed->selectAll();
    QTest::keyClicks(ed, QStringLiteral("Arms up 3x"));
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("Arms up 3x"));
    QTest::keyClick(ed, Qt::Key_Escape);
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("A"));

    // A player's letter typed into the focused grid starts the editor with
    // itself: N adds no section, H hides no window.
    f.show();
    f.activateWindow();
    f.sgV->setFocus();
    QTRY_VERIFY(f.sgV->hasFocus());
    QTest::keyClick(f.sgV, Qt::Key_N);
    QVERIFY(f.sgV->EditorShown());
    QCOMPARE(ed->text(), QStringLiteral("n"));
    QCOMPARE(f.sgV->RowCount(), 2);
}

void TestScheduleTable::lineBreaksBecomeBlanks() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A", "1|00:10|B"});
    f.sgV->SetCell(5, 1, QStringLiteral("抬手\r\n转身\n下蹲\r停"));
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("抬手 转身 下蹲 停"));
    // Pasted into the editor.
    f.chkEdit->setChecked(true);
    f.sgV->SetRow(2);
    f.sgV->SetCol(5);
    f.sgV->ShowEditor();
    QApplication::clipboard()->setText(QStringLiteral("第一行\n第二行"));
    f.sgV->Editor()->selectAll();
    f.sgV->Editor()->paste();
    QVERIFY(!f.sgV->Cell(5, 2).contains(QLatin1Char('\n')));
    f.btnSaveClick(f.btnSave);
    // One line per row in the file, and the table reads back the same.
    const QStringList lines = ReadLines(f.SchedFileName);
    QCOMPARE(lines.filter(QStringLiteral("Row")).size(), 3);
    const QString row2 = f.sgV->Cell(5, 2);
    f.OpenSchedule(f.CurFile);
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("抬手 转身 下蹲 停"));
    QCOMPARE(f.sgV->Cell(5, 2), row2);
    QCOMPARE(f.sgV->RowCount(), 3);
}

void TestScheduleTable::wheelScrollsWithoutMovingTheSelection() {
    Env env;
    QStringList rows;
    for (int i = 0; i < 30; ++i)
        rows << QStringLiteral("1|%1|x").arg(SecToTimeStr(i * 10));
    TFrmMain& f = WindowWithSchedule(env, rows);
    f.sgV->SetRow(3);
    auto wheel = [&](int delta) {
        QWheelEvent ev(QPointF(50, 50), f.sgV->mapToGlobal(QPointF(50, 50)), QPoint(),
                       QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.sgV, &ev);
    };
    wheel(-120);
    QCOMPARE(f.sgV->TopRow(), 2);
    wheel(-240);
    QCOMPARE(f.sgV->TopRow(), 4);
    QCOMPARE(f.sgV->Row(), 3);
    wheel(120);
    QCOMPARE(f.sgV->TopRow(), 3);
    f.sgV->SetTopRow(1);
    wheel(120);
    QCOMPARE(f.sgV->TopRow(), 1);
    f.sgV->SetTopRow(30);
    wheel(-120);
    QCOMPARE(f.sgV->TopRow(), 30);
    QCOMPARE(f.sgV->Row(), 3);
}

void TestScheduleTable::openScheduleReadsPerMediaSettings_data() {
    QTest::addColumn<QStringList>("start");
    QTest::addColumn<QString>("checked"); // channel button checked, or "" for none
    QTest::addColumn<int>("audioTrack");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("zoom");
    QTest::newRow("defaults") << QStringList{} << "lbCenter2" << 1 << "1.00" << 10;
    QTest::newRow("stored") << QStringList{"SOUNDCHL=左声道", "cbAudioChl2=2", "cbRate=3",
                                           "tbZoom=25"}
                            << "lbLeft2" << 3 << "0.85" << 25;
    QTest::newRow("right") << QStringList{"SOUNDCHL=右声道"} << "lbRight2" << 1 << "1.00" << 10;
    QTest::newRow("present but empty")
        << QStringList{"SOUNDCHL=", "cbRate=", "cbAudioChl2=x"} << "" << 1 << "1.00" << 10;
}

void TestScheduleTable::openScheduleReadsPerMediaSettings() {
    QFETCH(QStringList, start);
    QFETCH(QString, checked);
    QFETCH(int, audioTrack);
    QFETCH(QString, rate);
    QFETCH(int, zoom);
    Env env;
    QStringList extra;
    if (!start.isEmpty())
        extra = QStringList{"[START]"} + start;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A"}, extra);
    QCOMPARE(f.windowTitle(), f.SchedFileName);
    QCOMPARE(QDir::currentPath() + "/", f.AppPath);
    QCOMPARE(StoredSetting("PlayFile"), f.CurFile);
    for (TMyRadionBtn* b : {f.lbLeft2, f.lbCenter2, f.lbRight2})
        QVERIFY2(b->Checked() == (b->objectName() == checked), qPrintable(b->objectName()));
    QCOMPARE(f.AudioTrack, audioTrack);
    QCOMPARE(f.cbRate->Text(), rate);
    QCOMPARE(int(f.tbZoom->Position()), zoom);
    // The header always shows the titles.
    QCOMPARE(RowToText(*f.sgV, 0), QStringLiteral("序号^^播放^^加^^减^^时间点^^开播内容^^"));
}

void TestScheduleTable::loadStopsAtAGapAndKeepsExtraColumns() {
    Env env;
    const QString media = env.Media();
    TFrmMain& f = env.Make();
    QVERIFY(
        WriteText(f.ScheduleFileNameFor(media),
                  {"[Sect]", "Row0=a^^b^^c^^d^^e^^f^^g^^h^^", "Row1=1^^2^^+^^-^^00:10^^A^^7^^8^^",
                   "Row2=2^^1^^+^^-^^00:20^^B^^", "Row4=4^^1^^+^^-^^00:40^^D^^"}));
    f.OpenSchedule(media);
    QCOMPARE(f.sgV->RowCount(), 3);
    QCOMPARE(f.sgV->ColCount(), 8);
    QCOMPARE(f.sgV->Cell(7, 1), QStringLiteral("8"));
    QCOMPARE(f.sgV->Cell(0, 0), QStringLiteral("序号"));
    f.btnSaveClick(f.btnSave);
    QCOMPARE(CountCellMarks(ReadIniText(f.SchedFileName, "Sect", "Row1")), 8);
    QVERIFY(ReadIniText(f.SchedFileName, "Sect", "Row4").isEmpty());
}

void TestScheduleTable::markInDescriptionSplitsOnReload() {
    Env env;
    TFrmMain& f = WindowWithSchedule(env, {"1|00:00|A"});
    f.sgV->SetCell(5, 1, QStringLiteral("左^^右"));
    f.btnSaveClick(f.btnSave);
    f.OpenSchedule(f.CurFile);
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("左"));
    QCOMPARE(f.sgV->RowCount(), 2);
}

void TestScheduleTable::restoreBringsBackTheSavedCounts() {
    Env env;
    QString media;
    TFrmMain& f = WindowWithSchedule(env, {"3|00:00|A", "2|00:10|B"}, {}, &media);
    // Playback consumes the counts.
    f.sgV->SetCell(1, 1, QStringLiteral("0"));
    f.sgV->SetCell(1, 2, QStringLiteral("0"));
    f.btnRestoreClick(f.btnRestore);
    QCOMPARE(Column(*f.sgV, 1), (QStringList{"3", "2"}));
    // Without the media file there is nothing to restore.
    QVERIFY(QFile::remove(media));
    f.sgV->SetCell(1, 1, QStringLiteral("0"));
    f.btnRestoreClick(f.btnRestore);
    QCOMPARE(f.sgV->Cell(1, 1), QStringLiteral("0"));
}

void TestScheduleTable::gbkCrlfScheduleOfAnOlderInstallation() {
    Env env;
    const QString media = env.Media(QStringLiteral("广播体操.avi"));
    QVERIFY(env.Settings({"PlayFile=" + media}, true, true));
    QVERIFY(WriteText(env.Path(QStringLiteral("广播体操avi.INI")),
                      {"[Sect]", "Row0=序号^^播放^^加^^减^^时间点^^开播内容^^",
                       "Row1=  1^^3^^+^^-^^00:00^^预备节^^", "Row2=  2^^1^^+^^-^^01:05^^伸展运动^^",
                       "[START]", "SOUNDCHL=右声道", "cbRate=8", "cbAudioChl2=1", "tbZoom=30"},
                      true, true));
    TFrmMain& f = env.Make();
    QCOMPARE(f.CurFile, media);
    QCOMPARE(Column(*f.sgV, 5), (QStringList{"预备节", "伸展运动"}));
    QCOMPARE(Column(*f.sgV, 1), (QStringList{"3", "1"}));
    QVERIFY(f.lbRight2->Checked());
    QVERIFY(!f.lbCenter2->Checked() && !f.lbLeft2->Checked());
    QCOMPARE(f.cbRate->Text(), QStringLiteral("1.20"));
    QCOMPARE(f.AudioTrack, 2);
    QCOMPARE(int(f.tbZoom->Position()), 30);

    f.btnAddClick(f.btnAdd);
    const QByteArray bytes = ReadBytes(f.SchedFileName);
    QVERIFY(!IsValidUtf8(bytes));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QCOMPARE(SavedRows(f.SchedFileName).at(2),
             (QStringList{"  3", "0", "+", "-", "01:35", "新的一节"}));
    QCOMPARE(ReadIniText(f.SchedFileName, "START", "SOUNDCHL"), QStringLiteral("右声道"));
}

void TestScheduleTable::hugeTableAndHugeLineLoad() {
    Env env;
    const QString media = env.Media();
    TFrmMain& f = env.Make();
    const QString sched = f.ScheduleFileNameFor(media);
    {
        QFile out(sched);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("[Sect]\nRow0=序号^^播放^^加^^减^^时间点^^开播内容^^\n");
        for (int r = 1; r <= 100000; ++r)
            out.write(QStringLiteral("Row%1=%1^^1^^+^^-^^%2^^节%1^^\n")
                          .arg(r)
                          .arg(SecToTimeStr(r))
                          .toUtf8());
    }
    f.OpenSchedule(media);
    QCOMPARE(f.sgV->RowCount(), 100001);
    QCOMPARE(f.sgV->Cell(5, 100000), QStringLiteral("节100000"));
    QCOMPARE(f.sgV->Cell(0, 100000), QStringLiteral("100000"));

    // A 10 MB line is read back cut to 2047 bytes (the blanks in front of
    // a value are not part of it); the rows after it load.
    {
        QFile out(sched);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(
            "[Sect]\nRow0=序号^^播放^^加^^减^^时间点^^开播内容^^\nRow1=  1^^1^^+^^-^^00:00^^");
        out.write(QByteArray(10 * 1024 * 1024, 'x'));
        out.write("^^\nRow2=  2^^1^^+^^-^^00:10^^B^^\n");
    }
    f.OpenSchedule(media);
    QCOMPARE(f.sgV->RowCount(), 3);
    QCOMPARE(f.sgV->Cell(5, 1).size(), 2047 - int(strlen("1^^1^^+^^-^^00:00^^")));
    QCOMPARE(f.sgV->Cell(5, 2), QStringLiteral("B"));
}

void TestScheduleTable::headerWithThousandsOfMarksIsCapped() {
    Env env;
    const QString media = env.Media();
    TFrmMain& f = env.Make();
    QString row0;
    for (int i = 0; i < 5000; ++i)
        row0 += QStringLiteral("t^^");
    QVERIFY(WriteText(f.ScheduleFileNameFor(media),
                      {"[Sect]", "Row0=" + row0, "Row1=  1^^1^^+^^-^^00:00^^A^^"}));
    f.OpenSchedule(media);
    QCOMPARE(f.sgV->ColCount(), TScheduleGrid::kMaxColCount);
    QCOMPARE(f.sgV->Cell(5, 1), QStringLiteral("A"));
    f.btnSaveClick(f.btnSave);
    QCOMPARE(CountCellMarks(ReadIniText(f.SchedFileName, "Sect", "Row0")),
             TScheduleGrid::kMaxColCount);
}

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    InitPublicModule();
    TestScheduleTable t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestScheduleTable.moc"
