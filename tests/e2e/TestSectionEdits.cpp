// The section engine end to end while the user changes things: a jump by a
// click on a count, rows deleted during playback, a time point too large for
// 32-bit milliseconds. Same set-up as TestSectionEngine (TSectionFixture).
#include "PlayerKit.h"

#include "media/DSTrackBar.h"
#include "timeline/TimelineWidget.h"
#include "timeline/TimelineWindow.h"

#include <QtTest>

class TestSectionEdits : public QObject, public TSectionFixture {
    Q_OBJECT

    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() { MakeClipAndRecorder(); }
    void cleanup() { CloseWindow(); }

    // A click on column 1 of another row jumps there at once: no notice, no
    // repeat pause (cbDelay 9000 ms would be unmistakable), the row's count
    // is consumed.
    void clickOnCountJumps() {
        TPlayerOptions o;
        o.Delay = QStringLiteral("11"); // 9000 ms
        Start({{QStringLiteral("2"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:03"), {}},
               {QStringLiteral("3"), QStringLiteral("00:07"), {}}},
              o);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);
        // Well into the first section.
        QTRY_VERIFY_WITH_TIMEOUT(frm_->PlayerState().PositionMs >= 700, WaitMs);
        const QRect cell = frm_->sgV->CellRect(1, 3);
        QVERIFY(!cell.isEmpty());
        frm_->sgVMouseDown(frm_->sgV, Qt::LeftButton, {}, cell.center().x(), cell.center().y());
        QCOMPARE(frm_->CurRow(), 3);
        QCOMPARE(frm_->Engine->RemainCount(), 2);
        QCOMPARE(frm_->sgV->Cell(1, 3), QStringLiteral("2"));
        QCOMPARE(frm_->sgV->Row(), 3);
        QCOMPARE(frm_->Engine->SectEndPos(), 0);
        const auto st = WaitForStretches(2, 7500);
        QVERIFY2(st.size() >= 2, qPrintable(Describe(st)));
        CheckStart(st[1], 7);
        QCOMPARE(log_->NoticeCount(), 0);
    }

    // Rows deleted while a section plays: the section runs to the end of the
    // media, as the last row does, instead of touching rows that are gone.
    void deletedRows_data() {
        QTest::addColumn<int>("playRow");
        QTest::addColumn<int>("deleteFrom");
        QTest::addColumn<int>("secondStart");
        // Row 1 (count 2) plays; rows 2 and 3 go: it runs to the end, then
        // repeats from its start at the end of the media.
        QTest::newRow("next row gone") << 1 << 2 << 0;
        // Row 3 (count 2) plays and goes itself: at the end of the media the
        // end mode (loop) applies instead of a repeat of a missing row.
        QTest::newRow("current row gone") << 3 << 3 << 0;
        // Row 3 plays and row 1 goes (deleteFrom -1): the same section, now
        // row 2, repeats from its own start, with its count untouched.
        QTest::newRow("row above gone") << 3 << -1 << 5;
    }
    void deletedRows() {
        QFETCH(int, playRow);
        QFETCH(int, deleteFrom);
        QFETCH(int, secondStart);
        Start({{QStringLiteral("2"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:03"), {}},
               {QStringLiteral("2"), QStringLiteral("00:05"), {}}},
              {QStringLiteral("0"), false});
        if (playRow != 1)
            frm_->PlaySection(playRow, false);
        QCOMPARE(frm_->CurRow(), playRow);
        const int remain = frm_->Engine->RemainCount();
        const int last = frm_->sgV->RowCount() - 1;
        for (int r = deleteFrom < 0 ? 1 : last; r >= std::max(deleteFrom, 1); --r) {
            frm_->sgV->SetRow(r);
            frm_->btnDelClick(frm_->btnDel);
        }
        QCOMPARE(frm_->sgV->RowCount(), deleteFrom < 0 ? 3 : deleteFrom);
        if (deleteFrom < 0)
            QCOMPARE(std::pair(frm_->CurRow(), frm_->Engine->RemainCount()),
                     std::pair(playRow - 1, remain));
        // The section runs to the end of the media; then what comes next.
        const auto st = WaitForStretches(playRow == 1 ? 2 : 3, 1000);
        const auto toEnd =
            std::find_if(st.begin(), st.end(), [](const TStretch& s) { return s.EndMs >= 9500; });
        QVERIFY2(toEnd != st.end() && toEnd + 1 != st.end(), qPrintable(Describe(st)));
        CheckStart(*(toEnd + 1), secondStart);
        QVERIFY(frm_->CurRow() >= 1 && frm_->CurRow() < frm_->sgV->RowCount());
    }

    // Edits made on the timeline window land in the grid at once and move
    // the playing section's end, as the same edit on the grid does; nothing
    // is written to the schedule file until the save button.
    void timelineEdits_data() {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>(
            "gesture"); // "drag <row> <second>", "double <second>", "delete <row>"
        QTest::addColumn<QStringList>("times"); // the grid's time points afterwards
        // The engine's SectEndPos while row 1 plays; -1: not checked (the click
        // before a double click has played from its point; a deleted row is
        // the delete button's business).
        QTest::addColumn<int>("sectEnd");
        const QStringList before = {"00:00", "00:03", "00:07"};
        QTest::newRow("drag") << true << "drag 2 5" << QStringList{"00:00", "00:05", "00:07"}
                              << 5000;
        QTest::newRow("drag without editing") << false << "drag 2 5" << before << 3000;
        QTest::newRow("double-click")
            << true << "double 1" << QStringList{"00:00", "00:01", "00:03", "00:07"} << -1;
        QTest::newRow("Delete") << true << "delete 2" << QStringList{"00:00", "00:07"} << -1;
        QTest::newRow("Delete without editing") << false << "delete 2" << before << 3000;
    }
    void timelineEdits() {
        QFETCH(bool, editing);
        QFETCH(QString, gesture);
        QFETCH(QStringList, times);
        QFETCH(int, sectEnd);
        Start({{QStringLiteral("2"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:03"), {}},
               {QStringLiteral("3"), QStringLiteral("00:07"), {}}});
        QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);
        const QByteArray saved = ReadAll(frm_->SchedFileName);
        frm_->chkEdit->setChecked(editing);
        frm_->chkTimeline->setChecked(true);
        TTimelineWidget* t = frm_->FrmTimeline->Timeline();
        QVERIFY(QTest::qWaitForWindowExposed(frm_->FrmTimeline));
        // With no place stored, beside the control window, not over it.
        QVERIFY(!frm_->FrmTimeline->frameGeometry().intersects(frm_->frameGeometry()));
        QTRY_COMPARE_WITH_TIMEOUT(t->Schedule().Sections.size(), 3, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(t->DurationMs() >= 9000, WaitMs);
        const QStringList g = gesture.split(QLatin1Char(' '));
        const int y = t->WaveRect().center().y();
        const QPoint mark(int(t->MarkX(g[1].toInt())), y);
        if (g[0] == QLatin1String("drag")) {
            const QPoint to(int(std::lround(t->XOfMs(g[2].toInt() * 1000))), y);
            QTest::mousePress(t, Qt::LeftButton, {}, mark);
            QTest::mouseMove(t, to);
            QTest::mouseRelease(t, Qt::LeftButton, {}, to);
        } else if (g[0] == QLatin1String("double")) {
            QTest::mouseDClick(t, Qt::LeftButton, {},
                               QPoint(int(t->XOfMs(g[1].toInt() * 1000 + 500)), y));
        } else {
            QTest::mouseClick(t, Qt::LeftButton, {}, mark);
            QTest::keyClick(t, Qt::Key_Delete);
        }
        QStringList now;
        for (int r = 1; r < frm_->sgV->RowCount(); ++r)
            now << frm_->sgV->Cell(4, r);
        QCOMPARE(now, times);
        if (sectEnd >= 0) {
            QCOMPARE(frm_->CurRow(), 1);
            QCOMPARE(frm_->Engine->SectEndPos(), sectEnd);
        }
        QCOMPARE(ReadAll(frm_->SchedFileName), saved);
        QTRY_COMPARE_WITH_TIMEOUT(t->Schedule().Sections.size(), times.size(), WaitMs);
    }

    // A time point beyond 32-bit milliseconds (71582:48 is 2^32 ms + 704 ms)
    // must not wrap into a small or negative position: the section before it
    // runs to the end of the media.
    void hugeTimePoint() {
        Start({{QStringLiteral("1"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("71582:48"), {}}},
              {QStringLiteral("0"), false});
        QVERIFY(frm_->Engine->SectEndPos() > 0);
        const auto st = WaitForStretches(2, 1000);
        QVERIFY2(st.size() >= 2, qPrintable(Describe(st)));
        QVERIFY2(st[0].EndMs >= 9500, qPrintable(Describe(st)));
        CheckStart(st[1], 0); // the loop, not row 2
    }

    // The tracker answers a clock change by seeking to 0; the graph announces
    // none for the clock its start chooses, so a section started just after
    // the file opened starts at its time point.
    void sectionStartNotUndoneByTheStart() {
        Start({{QStringLiteral("1"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:05"), {}}},
              {QStringLiteral("0"), false});
        const int64_t mark = rec_->FrameCount();
        frm_->PlaySection(2, false);
        std::vector<TStretch> st;
        QVERIFY(QTest::qWaitFor(
            [&] {
                st.clear();
                for (const TStretch& s : Stretches(*rec_))
                    if (s.FirstFrame >= mark)
                        st.push_back(s);
                return !st.empty() && st.back().EndMs >= 6500;
            },
            WaitMs));
        CheckStart(st.back(), 5);
        QCOMPARE(frm_->CurRow(), 2);
        QCOMPARE(log_->ClockChanges, 0);
    }
};

TAVRELO_E2E_MAIN(TestSectionEdits)

#include "TestSectionEdits.moc"
