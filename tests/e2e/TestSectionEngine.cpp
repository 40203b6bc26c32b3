// The section engine end to end: a real control window and video window
// under Xvfb, a real GStreamer graph on a clip whose sound names the media
// second, and the sound that would have been heard recorded. Each case
// writes a schedule, plays it and compares the stretches of media heard, the
// rows the engine went through and when the replay notice showed.
#include "PlayerKit.h"

#include "../utPublic/Unprivileged.h"
#include "controls/uTransTrackBar.h"
#include "media/VideoWindow.h"

#include <glib.h>

#include <QFileDialog>
#include <QToolTip>
#include <QtTest>

class TestSectionEngine : public QObject, public TSectionFixture {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A critical warning of GStreamer's or GLib's (a buffer written that
        // was never mapped) ends the run.
        g_log_set_always_fatal(GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));
        MakeClipAndRecorder();
    }
    void cleanup() { CloseWindow(); }

    // Rows A "3", B "1", C "2" (C last) play A, A, A, B, C, C, with a muted
    // pause and the notice before the second and third A and the second C;
    // then the loop starts again at row 1 with every count consumed.
    void countsRepeatsAndLoop() {
        Start({{QStringLiteral("3"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:04"), {}},
               {QStringLiteral("2"), QStringLiteral("00:06"), {}}});
        QVERIFY(!frm_->isVisible()); // the control window hides when a file starts
        QVERIFY(frm_->FrmPlay->isVisible());

        // A, A, A+B+C, C, then the loop: A+B+C once each.
        const auto st = WaitForStretches(5, 9500);
        QVERIFY2(st.size() >= 5, qPrintable(Describe(st)));
        const int starts[] = {0, 0, 0, 6, 0};
        for (int i = 0; i < 5; ++i)
            CheckStart(st[i], starts[i]);
        // A ends at 00:04 by ear: nothing of B is heard before the repeat
        // (one 25 fps frame of leeway), and nothing of A is cut.
        for (int i = 0; i < 2; ++i) {
            const int64_t heard = AudibleEndMs(*rec_, st[size_t(i)]);
            QVERIFY2(heard >= 3950 && heard <= 4040,
                     qPrintable(QStringLiteral("heard to %1 ms; %2").arg(heard).arg(Describe(st))));
        }
        // The third A runs on into B and C without a seek, to the end.
        QVERIFY2(st[2].EndMs >= 9500, qPrintable(Describe(st)));
        QVERIFY2(st[3].EndMs >= 9500, qPrintable(Describe(st)));

        const std::vector<std::pair<int, int>> expected = {{1, 2}, {1, 1}, {1, 0}, {2, 0},
                                                           {3, 1}, {3, 0}, {1, 0}};
        auto seen = log_->Bookkeeping();
        seen.resize(std::min(seen.size(), expected.size()));
        QCOMPARE(seen, expected);
        // Counts consumed: every cell reads "0" on the second pass.
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(frm_->sgV->Cell(1, r), QStringLiteral("0"));

        // The notice: once before each of the three repetitions, never while
        // the media plays, not before the loop's row 1.
        QCOMPARE(log_->NoticeCount(), 3);
        QVERIFY(log_->NoticeOnlyWhilePaused());
        QVERIFY(!frm_->FrmPlay->plHint->isVisible());
    }

    // A WAV file's sound comes in 40 ms buffers, one of them starting at the
    // section end (give or take the first seek's millisecond), which the
    // output takes whole once it starts: it must never reach the output
    // before the repeat, and the section's own last buffer must.
    void wavSectionEndsExactly() {
        const QString video = clip_;
        const auto restore = qScopeGuard([&] { clip_ = video; });
        clip_ = dir_.filePath(QStringLiteral("tones.wav"));
        QString error;
        QVERIFY2(MakeWavClip(clip_, 4, 16, 2, &error), qPrintable(error));
        Start({{QStringLiteral("2"), QStringLiteral("00:00"), {}},
               {QStringLiteral("1"), QStringLiteral("00:02"), {}}});
        const auto st = WaitForStretches(2, 3000);
        QVERIFY2(st.size() >= 2, qPrintable(Describe(st)));
        const int64_t heard = AudibleEndMs(*rec_, st[0]);
        QVERIFY2(heard >= 1990 && heard <= 2010,
                 qPrintable(QStringLiteral("heard to %1 ms; %2").arg(heard).arg(Describe(st))));
    }

    // One table for the keys: each key's action on the video window and on
    // the control window with the grid focused, with "允许编辑" off and on
    // (then with the video window shown), with a check box focused, and while
    // a cell is edited.
    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QList<int>>("actions"); // video, video editing, grid, grid editing,
                                                 // check box, cell editor
        const int none = Qt::NoModifier, ctrl = Qt::ControlModifier;
        const int locked = pkEditLocked, no = pkNone;
        auto row = [&](const char* name, int key, int mods, QList<int> actions) {
            QTest::newRow(name) << key << mods << actions;
        };
        row("space", Qt::Key_Space, none, {pkPlayPause, pkPlayPause, pkPlayPause, no, no, no});
        row("left", Qt::Key_Left, none, {pkSkipBack, pkSkipBack, no, no, no, no});
        row("right", Qt::Key_Right, none, {pkSkipForward, pkSkipForward, no, no, no, no});
        row("up", Qt::Key_Up, none, {pkVolumeUp, pkVolumeUp, no, no, no, no});
        row("down", Qt::Key_Down, none, {pkVolumeDown, pkVolumeDown, no, no, no, no});
        row("[", Qt::Key_BracketLeft, none, {pkSlower, pkSlower, pkSlower, no, pkSlower, no});
        row("]", Qt::Key_BracketRight, none, {pkFaster, pkFaster, pkFaster, no, pkFaster, no});
        row("pgup", Qt::Key_PageUp, none, {pkPreviousSection, pkPreviousSection, no, no, no, no});
        row("pgdn", Qt::Key_PageDown, none, {pkNextSection, pkNextSection, no, no, no, no});
        row("home", Qt::Key_Home, none, {pkRestartSection, pkRestartSection, no, no, no, no});
        row("3", Qt::Key_3, none, {pkSection3, pkSection3, no, no, no, no});
        row("keypad 9", Qt::Key_9, Qt::KeypadModifier, {pkSection9, pkSection9, no, no, no, no});
        row("m", Qt::Key_M, none, {pkMirror, pkMirror, pkMirror, no, pkMirror, no});
        // The control window hides only while the video window is shown.
        row("esc", Qt::Key_Escape, none, {pkControls, pkControls, no, pkControls, pkControls, no});
        row("h", Qt::Key_H, none, {pkControls, pkControls, no, no, pkControls, no});
        row("ctrl+o", Qt::Key_O, ctrl, {locked, pkOpen, locked, pkOpen, pkOpen, no});
        row("ctrl+s", Qt::Key_S, ctrl, {locked, pkSave, locked, pkSave, pkSave, no});
        row("insert", Qt::Key_Insert, none,
            {locked, pkMarkHere, locked, pkMarkHere, pkMarkHere, no});
        row("n", Qt::Key_N, none, {locked, pkMarkHere, locked, no, pkMarkHere, no});
        row("t", Qt::Key_T, none, {pkTimeline, pkTimeline, pkTimeline, no, pkTimeline, no});
        row("plain s", Qt::Key_S, none, {no, no, no, no, no, no});
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QList<int>, actions);
        WriteSchedule(clip_, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        WriteSettings(clip_, {});
        TFrmMain frm;
        frm.show();
        const auto mods = Qt::KeyboardModifiers(modifiers);
        const auto focusOn = [&frm](QWidget* w) {
            frm.activateWindow();
            w->setFocus();
            return QTest::qWaitFor([w] { return w->hasFocus(); });
        };
        QList<int> seen;
        seen << int(frm.KeyAction(key, mods, true));
        frm.chkEdit->setChecked(true);
        seen << int(frm.KeyAction(key, mods, true));
        frm.chkEdit->setChecked(false);
        QVERIFY(focusOn(frm.sgV));
        seen << int(frm.KeyAction(key, mods, false));
        frm.chkEdit->setChecked(true);
        frm.FrmPlay->show();
        QVERIFY(focusOn(frm.sgV));
        seen << int(frm.KeyAction(key, mods, false));
        QVERIFY(focusOn(frm.chkAutoPlay));
        seen << int(frm.KeyAction(key, mods, false));
        QVERIFY(focusOn(frm.sgV));
        frm.sgV->SetCol(5);
        frm.sgV->ShowEditor();
        QVERIFY(frm.sgV->EditorShown());
        seen << int(frm.KeyAction(key, mods, false));
        QCOMPARE(seen, actions);
        // The hints name the keys after their own text, only where the key
        // does what the control does.
        QVERIFY(frm.btnPause->Hint().endsWith(QStringLiteral(" (空格)")));
        QVERIFY(!frm.btnDown->Hint().contains(QLatin1Char('(')));
        QVERIFY(!frm.SoundLevel2->Hint().contains(QLatin1Char('(')));
    }

    // The practice switches in one run: a 2 s pause counts "2", "1" under an unchanged notice; the
    // line on the video names section, description and repetition; mirror flips the picture; a mark
    // at the current position becomes the next row.
    void practiceSwitches() {
        WriteSchedule(clip_, {{QStringLiteral("3"), QStringLiteral("00:00"), QStringLiteral("d1")},
                              {QStringLiteral("1"), QStringLiteral("00:02"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:08"), {}}});
        TPlayerOptions o;
        o.Delay = QStringLiteral("3"); // 2000 ms
        WriteSettings(clip_, o);
        WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("chkOSD"),
                    QStringLiteral("YES"));
        const QString sched = ScheduleFileOf(clip_);
        WriteIniStr(sched, QStringLiteral("START"), QStringLiteral("cbRate"), QStringLiteral("4"));
        WriteIniStr(sched, QStringLiteral("START"), QStringLiteral("chkSpeedUp"),
                    QStringLiteral("YES"));
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        QStringList counts, lines;
        QList<double> rates;         // the speed trainer: each repetition one step faster
        bool remotesShowRate = true; // the remotes report the rate that plays
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            double r = 0;
            if (const auto seeking = frm_->FGBrowse->QueryInterface<IMediaSeeking>())
                seeking->GetRate(&r);
            if (rates.isEmpty() || rates.back() != r)
                rates << r;
            if (frm_->FGBrowse->State() >= gsPaused && frm_->PlayerState().Rate != r)
                remotesShowRate = false;
            const QString c = frm_->FrmPlay->lbCountdown->isVisible()
                                  ? frm_->FrmPlay->lbCountdown->text()
                                  : QString();
            if (!c.isEmpty() && (counts.isEmpty() || counts.back() != c))
                counts << c;
            const QString l = frm_->FrmPlay->lbSection->isVisible()
                                  ? frm_->FrmPlay->lbSection->text()
                                  : QString();
            if (!l.isEmpty() && (lines.isEmpty() || lines.back() != l))
                lines << l;
        });
        probe.start(5);
        frm_->PlaySection(1, false);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->CurRow() == 2, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(lines.size() >= 4, 5000);
        probe.stop();
        QCOMPARE(counts, (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("2"),
                                      QStringLiteral("1")}));
        QCOMPARE(frm_->FrmPlay->plHint->text(), QStringLiteral("即将重放 请准备"));
        const qsizetype chosen = rates.indexOf(0.90);
        QVERIFY2(chosen >= 0, qPrintable(QString::number(rates.size())));
        QCOMPARE(rates.mid(chosen, 4), (QList<double>{0.90, 0.95, 1.00, 0.90}));
        QVERIFY(remotesShowRate);
        QCOMPARE(lines.mid(0, 4),
                 (QStringList{QStringLiteral("1  d1  1 / 3"), QStringLiteral("1  d1  2 / 3"),
                              QStringLiteral("1  d1  3 / 3"), QStringLiteral("2  s2  1 / 1")}));

        // Mirror: the red top-left quadrant shows at the top right.
        QTRY_VERIFY(frm_->FrmPlay->VW->HasPicture());
        frm_->RunPlayerKey(pkMirror);
        QCOMPARE(ReadIniText(sched, QStringLiteral("START"), QStringLiteral("chkMirror")),
                 QStringLiteral("YES"));
        const QImage shot = frm_->FrmPlay->VW->grab().toImage();
        const QColor tr = shot.pixelColor(shot.width() * 3 / 4, shot.height() / 4);
        QVERIFY2(tr.red() > 200 && tr.green() < 60, qPrintable(tr.name()));

        // Mark here inside section 2: refused with a hint while "允许编辑"
        // is off; then a new row 3 at this second, stored, entered without
        // a stop; the old row 3 moves to 4.
        QTRY_VERIFY_WITH_TIMEOUT(frm_->PlayerState().PositionMs >= 3100, 10000);
        frm_->RunPlayerKey(pkMarkHere);
        QCOMPARE(frm_->sgV->RowCount(), 4);
        QTRY_COMPARE(QToolTip::text(), TFrmMain::EditLockedHint);
        frm_->chkEdit->setChecked(true);
        frm_->RunPlayerKey(pkMarkHere);
        QCOMPARE(frm_->sgV->RowCount(), 5);
        QCOMPARE(frm_->sgV->Cell(4, 3), QStringLiteral("00:03"));
        QCOMPARE(frm_->sgV->Cell(4, 4), QStringLiteral("00:08"));
        QCOMPARE(frm_->CurRow(), 3);
        QCOMPARE(frm_->sgV->Row(), 3);
        QCOMPARE(frm_->Engine->SectEndPos(), 8000);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QVERIFY(ReadIniText(sched, QStringLiteral("Sect"), QStringLiteral("Row3"))
                    .contains(QStringLiteral("^^1^^+^^-^^00:03^^")));
        // Only the new row is stored: the counts playback used up (row 1's
        // three plays, row 2's one) stay as saved, and restoring brings them
        // back.
        QCOMPARE(frm_->sgV->Cell(1, 1), QStringLiteral("0"));
        QStringList stored;
        for (int r = 1; r <= 4; ++r)
            stored << DecodeRow(ReadIniText(sched, QStringLiteral("Sect"),
                                            QStringLiteral("Row%1").arg(r)),
                                6)
                          .at(1);
        QCOMPARE(stored, (QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("1"),
                                      QStringLiteral("1")}));
        frm_->btnRestoreClick(frm_->btnRestore);
        QCOMPARE(frm_->sgV->Cell(1, 1), QStringLiteral("3"));
        QCOMPARE(frm_->sgV->Cell(4, 3), QStringLiteral("00:03"));
    }

    // A count of "0" (or empty) plays once; the last section repeats only at
    // the end of the media, never by the position tick, after the pause
    // chosen plus 200 ms by ear: also where the seek to its start decodes
    // seconds of picture from the key frame before it (1080p60, one key
    // frame in the whole clip), which runs during the pause.
    void onceAndLastSection_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("sparse");
        QTest::addColumn<QString>("delay"); // cbDelay's item: 0 = 500 ms, 7 = 5000 ms
        QTest::newRow("0") << QStringLiteral("0") << false << QStringLiteral("0");
        QTest::newRow("empty") << QString() << false << QStringLiteral("0");
        QTest::newRow("most negative")
            << QStringLiteral("-2147483648") << false << QStringLiteral("0");
        QTest::newRow("one key frame at 1080p60: the pause as chosen")
            << QStringLiteral("0") << true << QStringLiteral("7");
    }
    void onceAndLastSection() {
        QFETCH(QString, first);
        QFETCH(bool, sparse);
        QFETCH(QString, delay);
        const QString tones = clip_;
        const auto restore = qScopeGuard([&] { clip_ = tones; });
        const int second = sparse ? 9 : 5;
        if (sparse) {
            clip_ = dir_.filePath(QStringLiteral("sparse.mp4"));
            TVideoClipOptions o = TVideoClipOptions::Moving720p();
            o.Width = 1920;
            o.Height = 1080;
            o.FramesPerSecond = 60;
            o.Preset = QStringLiteral("ultrafast");
            QString error;
            QVERIFY2(QFile::exists(clip_) ||
                         MakeToneVideoClip(clip_, kClipSeconds, kClipSeconds, &error, o),
                     qPrintable(error));
        }
        Start({{first, QStringLiteral("00:00"), {}},
               {QStringLiteral("2"),
                QStringLiteral("00:%1").arg(second, 2, 10, QLatin1Char('0')),
                {}}},
              {delay, false});
        const auto st = WaitForStretches(2, 9500);
        QVERIFY2(st.size() >= 2, qPrintable(Describe(st)));
        CheckStart(st[0], 0);
        QVERIFY2(st[0].EndMs >= 9500, qPrintable(Describe(st))); // A once, B to the end
        CheckStart(st[1], second);                               // B again at the end
        // Long enough for the seek's decoding on a busy machine.
        const double chosen = delay == QLatin1String("7") ? 5000 : 500;
        const double pause = HeardPausesMs(*rec_, st).front();
        QVERIFY2(pause >= chosen + 160 && pause <= chosen + 350,
                 qPrintable(QStringLiteral("%1 ms heard for %2 + 200").arg(pause).arg(chosen)));
        QCOMPARE(frm_->sgV->Cell(1, 1), QStringLiteral("0"));
        QCOMPARE(log_->NoticeCount(), 0); // chkRePlay off
    }

    // A start on a fresh graph (auto-play at start-up, or a row chosen with
    // nothing open): the first section starts before the event loop runs,
    // the control window stays hidden behind the video, and the first sound
    // heard at all, on either channel and at any volume, is the section's
    // start: the media plays from its beginning for a moment before the
    // seek, and none of that may reach the output.
    void startHearsSectionFirst_data() {
        QTest::addColumn<bool>("autoPlay");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("volume");
        QTest::newRow("auto-play") << true << QStringLiteral("立体声") << QStringLiteral("10000");
        QTest::newRow("auto-play, right")
            << true << QStringLiteral("右声道") << QStringLiteral("10000");
        QTest::newRow("chosen row, left")
            << false << QStringLiteral("左声道") << QStringLiteral("10000");
        QTest::newRow("chosen row, quiet")
            << false << QStringLiteral("立体声") << QStringLiteral("3000");
    }
    void startHearsSectionFirst() {
        QFETCH(bool, autoPlay);
        QFETCH(QString, channel);
        QFETCH(QString, volume);
        WriteSchedule(clip_, {{QStringLiteral("1"), QStringLiteral("00:02"), {}}});
        WriteIniStr(ScheduleFileOf(clip_), QStringLiteral("START"), QStringLiteral("SOUNDCHL"),
                    channel);
        TPlayerOptions o;
        o.AutoPlay = autoPlay;
        o.Volume = volume;
        WriteSettings(clip_, o);
        rec_->Clear();
        frm_ = std::make_unique<TFrmMain>();
        if (!autoPlay) {
            frm_->show();
            frm_->PlaySection(1, false);
        }
        QCOMPARE(frm_->CurRow(), 1);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QVERIFY(frm_->FrmPlay->isVisible());
        QVERIFY(!frm_->isVisible());
        QCOMPARE(frm_->lbLen->text(), QStringLiteral("00:10"));
        const auto st = WaitForStretches(1, 3000);
        QVERIFY(!st.empty());
        CheckStart(st[0], 2, channel == QStringLiteral("右声道") ? 1 : 0);
        const int64_t first = FirstHeardMs(*rec_);
        QVERIFY2(first >= 2000 && first <= 2040,
                 qPrintable(QStringLiteral("first heard at %1 ms").arg(first)));
    }

    // Media and schedule in a folder this user may not write to (a DVD, a
    // read-only share): started by auto-play, by auto-play with a read-only
    // settings file as well, and chosen in the open dialog while another
    // file plays. The file plays with sound from its section, the video
    // covers the controls, the engine follows the sections, the schedule's
    // own settings are read, and the user hears once of each file that
    // refused a write.
    void readOnlyFolderPlays_data() {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("settingsRefused");
        QTest::newRow("auto-play") << false << false;
        QTest::newRow("auto-play, settings refused too") << false << true;
        QTest::newRow("chosen in the dialog") << true << false;
    }
    void readOnlyFolderPlays() {
        QFETCH(bool, dialog);
        QFETCH(bool, settingsRefused);
        QVERIFY(SetMode(dir_.path(), 0755));
        const QString folder = dir_.filePath(QStringLiteral("dvd-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString media = QDir(folder).filePath(QStringLiteral("tones.mp4"));
        QFile::remove(media);
        QVERIFY(QFile::copy(clip_, media));
        WriteSchedule(media, {{QStringLiteral("1"), QStringLiteral("00:04"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:06"), {}}});
        WriteIniStr(ScheduleFileOf(media), QStringLiteral("START"), QStringLiteral("tbZoom"),
                    QStringLiteral("30"));
        QVERIFY(SetMode(media, 0644) && SetMode(ScheduleFileOf(media), 0644));
        QVERIFY(SetMode(folder, 0555));
        // The first file of the dialog case plays from a writable folder.
        WriteSchedule(clip_, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        QVERIFY(SetMode(ScheduleFileOf(clip_), 0666));
        TPlayerOptions o;
        o.AutoPlay = !dialog;
        WriteSettings(dialog ? clip_ : media, o);
        QVERIFY(SetMode(IniFileName, settingsRefused ? 0644 : 0666));
        QStringList shown;
        SetErrorMessageObserver([&shown](const QString& text) { shown << text; });
        const auto forget = qScopeGuard([] { SetErrorMessageObserver(nullptr); });
        rec_->Clear();

        UnprivilegedScope asUser;
        QVERIFY(asUser.Active() || ::geteuid() != 0);
        frm_ = std::make_unique<TFrmMain>();
        if (dialog) {
            frm_->show();
            frm_->PlaySection(1, false);
            QTRY_VERIFY_WITH_TIMEOUT(rec_->FrameCount() > 0, WaitMs);
            QTimer::singleShot(0, frm_.get(), [this, media] {
                frm_->OpenDialog1->selectFile(media);
                QMetaObject::invokeMethod(frm_->OpenDialog1, "accept");
            });
            frm_->btnSelFileClick(frm_->btnSelFile);
        }
        log_ = std::make_unique<TEngineLog>(frm_.get());
        QCOMPARE(frm_->CurFile, media);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QVERIFY(frm_->FrmPlay->isVisible());
        QVERIFY(!frm_->isVisible());
        QCOMPARE(frm_->tbZoom->Position(), 30.0);
        QCOMPARE(frm_->FGBrowse->Volume(), 10000);
        std::vector<TStretch> st;
        QVERIFY(QTest::qWaitFor(
            [&] {
                st = Stretches(*rec_);
                return !st.empty() && std::abs(st.back().StartMs - 4000) <= 40 &&
                       st.back().EndMs >= 5000;
            },
            60000));
        CheckStart(st.back(), 4);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->CurRow() == 2, 60000);

        QStringList expected{ScheduleFileOf(media)};
        if (settingsRefused)
            expected.prepend(IniFileName);
        QCOMPARE(shown.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(
                shown[i] ==
                    QStringLiteral("Unable to write to %1: Permission denied").arg(expected[i]),
                qPrintable(shown[i]));
    }
};

TAVRELO_E2E_MAIN(TestSectionEngine)

#include "TestSectionEngine.moc"
