// The two windows end to end: the zoom crops the picture, a press on the
// video toggles the control window, a file that cannot be played leaves the
// controls up with the reason, and the open dialog finds media files in any
// letter case.
#include "PlayerKit.h"

#include "controls/uTransTrackBar.h"
#include "engine/SectionEngine.h"
#include "media/VideoWindow.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolTip>
#include <QtTest>

#include <sys/stat.h>

namespace {

bool IsGrey(QRgb c) {
    return qRed(c) > 150 && qGreen(c) > 150 && qBlue(c) > 150 && std::abs(qRed(c) - qBlue(c)) < 40;
}
bool IsYellow(QRgb c) {
    return qRed(c) > 150 && qGreen(c) > 150 && qBlue(c) < 80;
}

} // namespace

class TestPlayerWindows : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString bars_;
    std::unique_ptr<TFrmMain> frm_;

    // remote: with "手机遥控" on.
    void Start(const QString& media, bool remote = false) {
        WriteSchedule(media, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        WriteSettings(media, {});
        if (remote)
            WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("chkRemote"),
                        QStringLiteral("YES"));
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        frm_->PlaySection(1, false);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        IniFileName = dir_.filePath(QStringLiteral("system.INI"));
        // Colour bars (the first, left-most, bar grey; the next yellow) with
        // no sound, of the screen's shape: over the whole window.
        bars_ = dir_.filePath(QStringLiteral("bars.mp4"));
        QString error;
        QVERIFY2(RunGstLaunch(QStringLiteral("videotestsrc pattern=smpte num-buffers=150 ! "
                                             "video/x-raw,width=320,height=180,framerate=25/1 ! "
                                             "x264enc speed-preset=ultrafast key-int-max=25 ! "
                                             "h264parse ! mp4mux ! filesink location=\"%1\"")
                                  .arg(bars_),
                              &error),
                 qPrintable(error));
        SetAudioOutput(TAudioOutputKind::Discard);
    }
    void cleanup() { frm_.reset(); }

    // At z = 0 the window shows the whole picture: 200 px from the left edge
    // lies in the first (grey) bar, 274 px wide. At z = 25 the picture is
    // 2274 px wide and shifted 177 px left: the first bar's 325 px end at
    // 148 px, and the same place shows the second (yellow) bar.
    void zoomCropsThePicture() {
        Start(bars_);
        TFrmPlay* play = frm_->FrmPlay.get();
        QTRY_VERIFY_WITH_TIMEOUT(play->VW->HasPicture(), WaitMs);
        frm_->tbZoom->SetPosition(0);
        QCOMPARE(play->VW->geometry(), QRect(0, 0, 1920, 1080));
        QTRY_VERIFY_WITH_TIMEOUT(IsGrey(play->grab().toImage().pixel(200, 300)), WaitMs);
        QImage img = play->grab().toImage();
        img.save(ArtefactDir() + QStringLiteral("/zoom-0.png"));
        QVERIFY(IsGrey(img.pixel(200, 300)));
        QVERIFY(IsGrey(img.pixel(5, 5)));

        frm_->tbZoom->SetPosition(25);
        QCOMPARE(play->VW->geometry(), QRect(-177, -100, 2274, 1280));
        QCOMPARE(
            ReadIniText(frm_->SchedFileName, QStringLiteral("START"), QStringLiteral("tbZoom")),
            QStringLiteral("25"));
        QTRY_VERIFY_WITH_TIMEOUT(IsYellow(play->grab().toImage().pixel(200, 300)), WaitMs);
        img = play->grab().toImage();
        img.save(ArtefactDir() + QStringLiteral("/zoom-25.png"));
        QVERIFY(IsYellow(img.pixel(200, 300)));
        QVERIFY(IsGrey(img.pixel(100, 300)));
    }

    // A press on the video shows the hidden control window; the next hides it.
    // With no video window in sight (stopped) the hiding key leaves it up.
    // The remote's panel (address, PIN, QR code) comes and goes with the
    // control window and is never left over the video.
    void pressOnVideoTogglesControls() {
        Start(bars_, true);
        QVERIFY(!frm_->isVisible());
        QVERIFY(!frm_->plRemote->isVisible());
        const auto topAtPanel = [this] {
            return QGuiApplication::topLevelAt(frm_->plRemote->frameGeometry().center());
        };
        QTest::mouseClick(frm_->FrmPlay->VW, Qt::LeftButton, {}, QPoint(900, 500));
        QVERIFY(frm_->isVisible());
        QVERIFY(frm_->plRemote->isVisible());
        QTRY_VERIFY(topAtPanel() == frm_->plRemote->windowHandle());
        // The video activated (as a click on it does under a window
        // manager): the panel goes beneath it.
        frm_->FrmPlay->activateWindow();
        QTRY_VERIFY(topAtPanel() == frm_->FrmPlay->windowHandle());
        frm_->activateWindow();
        frm_->raise();
        QTRY_VERIFY(topAtPanel() == frm_->plRemote->windowHandle());
        QTest::mouseClick(frm_->FrmPlay->VW, Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(!frm_->isVisible());
        QVERIFY(!frm_->plRemote->isVisible());
        frm_->ActShowControls();
        frm_->FrmPlay->hide();
        frm_->RunPlayerKey(pkControls);
        QVERIFY(frm_->isVisible());
    }

    // A file that cannot be played: the control window stays up (the video
    // window does not cover it) and says which file and why.
    void unplayableFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content");
        QTest::newRow("empty") << QStringLiteral("empty.mp4") << QString();
        QTest::newRow("text") << QStringLiteral("notes.mp4") << QStringLiteral("not a video\n");
    }
    void unplayableFile() {
        QFETCH(QString, name);
        QFETCH(QString, content);
        const QString path = dir_.filePath(name);
        QString error;
        QVERIFY(content.isEmpty() ? MakeEmptyFile(path, &error)
                                  : MakeTextFile(path, content, &error));
        Start(path);
        QVERIFY(frm_->isVisible());
        QVERIFY(!frm_->FrmPlay->isVisible());
        QVERIFY(frm_->FGBrowse->State() != gsPlaying);
        const QString text = frm_->LastPlaybackError;
        QVERIFY2(text.contains(path), qPrintable(text));
        // The framework's reason follows the file name.
        QVERIFY2(text.section(path, 1).size() > 4, qPrintable(text));

        // A good file afterwards plays as usual and hides the controls.
        frm_->OpenSchedule(bars_);
        frm_->PlaySection(1, false);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QVERIFY(!frm_->isVisible());
        QVERIFY(frm_->FrmPlay->isVisible());
    }

    // The open dialog lists media files whatever the letter case of their
    // extension, and choosing one opens it and plays its first section.
    void openDialogAnyCase() {
        QTemporaryDir media;
        QVERIFY(QFile::copy(bars_, media.filePath(QStringLiteral("DANCE.MP4"))));
        QVERIFY(QFile::copy(bars_, media.filePath(QStringLiteral("dance.mp4"))));
        QVERIFY(QFile::copy(bars_, media.filePath(QStringLiteral("Song.Mp3"))));
        QVERIFY(MakeTextFile(media.filePath(QStringLiteral("readme.txt")), QStringLiteral("x")));
        // The last media file lay in that folder: the dialog starts there.
        WriteSettings(media.filePath(QStringLiteral("none.mp4")), {});
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        // Not made before it is needed: it holds megabytes.
        QVERIFY(!frm_->findChild<QFileDialog*>());

        QStringList listed;
        QString filter;
        QStringList filters;
        // Driven from the dialog's own event loop: wait for its list of
        // files, read it, choose DANCE.MP4. A dialog that will not close is
        // rejected, so that a failure cannot hang the test.
        QFileDialog* dlg = frm_->OpenDialog();
        QTimer poll;
        int ticks = 0;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, this, [&] {
            ++ticks;
            if (!dlg->isVisible()) {
                if (ticks > 400)
                    poll.stop();
                return;
            }
            auto* view = dlg->findChild<QAbstractItemView*>(QStringLiteral("listView"));
            const bool ready = view && view->model()->rowCount(view->rootIndex()) >= 2;
            if (listed.isEmpty() && (ready || ticks > 200) && view) {
                for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
                    listed << view->model()->index(i, 0, view->rootIndex()).data().toString();
                filter = dlg->selectedNameFilter();
                filters = dlg->nameFilters();
                // As a user would: type the name, then accept.
                if (auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    edit->setText(QStringLiteral("DANCE.MP4"));
                QMetaObject::invokeMethod(dlg, "accept");
            } else if (ticks > 300) {
                dlg->reject();
            }
        });
        poll.start();
        frm_->btnSelFileClick(frm_->btnSelFile);
        listed.sort();
        QCOMPARE(listed, QStringList({QStringLiteral("DANCE.MP4"), QStringLiteral("dance.mp4")}));
        QVERIFY(filter.startsWith(QStringLiteral("视频文件 (*.AVI *.MPG")));
        QCOMPARE(filters.size(), 3);
        QVERIFY2(filters[2].startsWith(QStringLiteral("所有媒体文件 (*.AVI ")) &&
                     filters[2].contains(QStringLiteral(" *.webm ")) &&
                     filters[2].contains(QStringLiteral(" *.opus ")),
                 qPrintable(filters[2]));
        QCOMPARE(frm_->CurFile, media.filePath(QStringLiteral("DANCE.MP4")));
        QCOMPARE(QFileInfo(frm_->SchedFileName).fileName(), QStringLiteral("DANCEMP4.INI"));
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QCOMPARE(frm_->CurRow(), 1);
    }

    // A file dropped on either window opens as if chosen in the dialog and
    // joins the recent files; a named pipe or a folder dropped, or chosen
    // from the list, is refused with the reason, without blocking. While a
    // file is open and "允许编辑" is off (the open button locked) a drop
    // only gets a hint; the first file opens without it.
    void dropAndRecentFiles_data() {
        QTest::addColumn<bool>("onVideo");
        QTest::newRow("control window") << false;
        QTest::newRow("video window") << true;
    }
    void dropAndRecentFiles() {
        QFETCH(bool, onVideo);
        QTemporaryDir media;
        const QString a = media.filePath(QStringLiteral("a.mp4"));
        const QString b = media.filePath(QStringLiteral("b.mp4"));
        const QString fifo = media.filePath(QStringLiteral("pipe.mp4"));
        QVERIFY(QFile::copy(bars_, a) && QFile::copy(bars_, b));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        WriteSettings(dir_.filePath(QStringLiteral("none.mp4")), {});
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        auto drop = [&](const QString& file) {
            QWidget* target = onVideo ? static_cast<QWidget*>(frm_->FrmPlay.get()) : frm_.get();
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(file)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(target, &dropped);
            QVERIFY(dropped.isAccepted());
        };
        frm_->RefreshRecentMenu();
        QCOMPARE(frm_->RecentMenu->actions().value(0)->text(), QStringLiteral("（无最近文件）"));
        // No media file open: the first one opens without "允许编辑".
        QVERIFY(!frm_->chkEdit->isChecked());
        drop(b);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->CurFile, b, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->FGBrowse->State(), gsPlaying, 20000);
        QCOMPARE(frm_->CurRow(), 1);
        // With one open, another needs it.
        drop(a);
        QTRY_COMPARE(QToolTip::text(), TFrmMain::EditLockedHint);
        QCOMPARE(frm_->CurFile, b);
        frm_->chkEdit->setChecked(true);
        drop(a);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->CurFile, a, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->FGBrowse->State(), gsPlaying, 20000);
        // Dropped during a repeat's muted pause: opened once the pause is over.
        const QString c = media.filePath(QStringLiteral("c.mp4"));
        QVERIFY(QFile::copy(bars_, c));
        bool droppedWhileWaiting = false;
        const QMetaObject::Connection inPause =
            connect(frm_->Engine, &SectionEngine::StateChanged, this, [&](SectionEngine::State st) {
                if (st == SectionEngine::State::RepeatGap && !droppedWhileWaiting) {
                    droppedWhileWaiting = frm_->Engine->Waiting();
                    drop(c);
                }
            });
        frm_->PlaySection(1, true);
        QTRY_VERIFY_WITH_TIMEOUT(droppedWhileWaiting, 20000);
        disconnect(inPause);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->CurFile, c, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->FGBrowse->State(), gsPlaying, 20000);
        QCOMPARE(frm_->CurRow(), 1);

        for (const QString& special : {fifo, media.path()}) {
            frm_->LastPlaybackError.clear();
            drop(special);
            QTRY_VERIFY(!frm_->LastPlaybackError.isEmpty());
            QVERIFY2(frm_->LastPlaybackError.contains(QStringLiteral(", not a regular file")),
                     qPrintable(frm_->LastPlaybackError));
            QCOMPARE(frm_->CurFile, c);
        }

        // Most recent first; a file gone is greyed; choosing one opens it.
        QVERIFY(QFile::remove(b));
        frm_->RefreshRecentMenu();
        const QList<QAction*> items = frm_->RecentMenu->actions();
        QVERIFY(items.size() >= 3);
        QCOMPARE(items[0]->data().toString(), c);
        QCOMPARE(items[1]->data().toString(), a);
        QCOMPARE(items[2]->data().toString(), b);
        QVERIFY(items[0]->isEnabled());
        QVERIFY(!items[2]->isEnabled());
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("Recent1")), c);
        frm_->EngineNow().Stop();
        items[0]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(frm_->FGBrowse->State(), gsPlaying, 20000);

        // The count column's path: the schedule of a named pipe, played.
        frm_->LastPlaybackError.clear();
        frm_->EngineNow().Stop();
        frm_->OpenSchedule(fifo);
        frm_->PlaySection(1, false);
        QVERIFY2(frm_->LastPlaybackError.contains(QStringLiteral("named pipe")),
                 qPrintable(frm_->LastPlaybackError));
        QVERIFY(frm_->isVisible());
        QVERIFY(!frm_->FrmPlay->isVisible());
    }

    // Media that goes away while it plays: a deleted file plays on from its
    // open handle, repeats included; a file cut to nothing is reported, with
    // the controls up and no end action afterwards.
    void vanishingMedia_data() {
        QTest::addColumn<bool>("truncate");
        QTest::newRow("deleted") << false;
        QTest::newRow("cut to 0 bytes") << true;
    }
    void vanishingMedia() {
        QFETCH(bool, truncate);
        QTemporaryDir media;
        const QString file = media.filePath(QStringLiteral("gone.mp4"));
        QVERIFY(QFile::copy(bars_, file));
        WriteSchedule(file, {{QStringLiteral("3"), QStringLiteral("00:00"), {}},
                             {QStringLiteral("1"), QStringLiteral("00:02"), {}}});
        WriteSettings(file, {});
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        frm_->PlaySection(1, false);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QCOMPARE(frm_->Engine->RemainCount(), 2);
        if (truncate)
            QVERIFY(QFile::resize(file, 0));
        else
            QVERIFY(QFile::remove(file));
        if (!truncate) {
            QTRY_COMPARE_WITH_TIMEOUT(frm_->CurRow(), 2, 30000);
            QVERIFY2(frm_->LastPlaybackError.isEmpty(), qPrintable(frm_->LastPlaybackError));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!frm_->LastPlaybackError.isEmpty(), 30000);
        QVERIFY2(frm_->LastPlaybackError.startsWith(QStringLiteral("Cannot play ") + file),
                 qPrintable(frm_->LastPlaybackError));
        QVERIFY(frm_->isVisible());
        QVERIFY(!frm_->FrmPlay->isVisible());
        QVERIFY(frm_->FGBrowse->State() != gsPlaying);
    }

    void dialogFilters() {
        QCOMPARE(
            TFrmMain::DialogNameFilters(QStringLiteral("视频文件|*.AVI;*.mp4|音频文件|*.wma|")),
            QStringList(
                {QStringLiteral("视频文件 (*.AVI *.mp4)"), QStringLiteral("音频文件 (*.wma)")}));
    }
};

TAVRELO_E2E_MAIN(TestPlayerWindows)

#include "TestPlayerWindows.moc"
