// The two windows end to end: the zoom crops the picture, a press on the
// video toggles the control window, a file that cannot be played leaves the
// controls up with the reason, and the open dialog finds media files in any
// letter case.
#include "PlayerKit.h"

#include "controls/uTransTrackBar.h"
#include "media/VideoWindow.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QtTest>

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

    void Start(const QString& media) {
        WriteSchedule(media, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        WriteSettings(media, {});
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        frm_->PlaySection(1, false);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        IniFileName = dir_.filePath(QStringLiteral("system.INI"));
        // Colour bars (the first, left-most, bar grey; the next yellow) with
        // no sound.
        bars_ = dir_.filePath(QStringLiteral("bars.mp4"));
        QString error;
        QVERIFY2(RunGstLaunch(QStringLiteral("videotestsrc pattern=smpte num-buffers=150 ! "
                                             "video/x-raw,width=320,height=240,framerate=25/1 ! "
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
        QVERIFY(WaitUntil([&] { return play->VW->HasPicture(); }));
        frm_->tbZoom->SetPosition(0);
        QCOMPARE(play->VW->geometry(), QRect(0, 0, 1920, 1080));
        RunFor(200);
        QImage img = play->grab().toImage();
        img.save(ArtefactDir() + QStringLiteral("/zoom-0.png"));
        QVERIFY(IsGrey(img.pixel(200, 300)));
        QVERIFY(IsGrey(img.pixel(5, 5)));

        frm_->tbZoom->SetPosition(25);
        QCOMPARE(play->VW->geometry(), QRect(-177, -100, 2274, 1280));
        QCOMPARE(
            ReadIniText(frm_->SchedFileName, QStringLiteral("START"), QStringLiteral("tbZoom")),
            QStringLiteral("25"));
        RunFor(200);
        img = play->grab().toImage();
        img.save(ArtefactDir() + QStringLiteral("/zoom-25.png"));
        QVERIFY(IsYellow(img.pixel(200, 300)));
        QVERIFY(IsGrey(img.pixel(100, 300)));
    }

    // A press on the video shows the hidden control window; the next hides it.
    void pressOnVideoTogglesControls() {
        Start(bars_);
        QVERIFY(!frm_->isVisible());
        QTest::mouseClick(frm_->FrmPlay->VW, Qt::LeftButton, {}, QPoint(900, 500));
        QVERIFY(frm_->isVisible());
        QTest::mouseClick(frm_->FrmPlay->VW, Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(!frm_->isVisible());
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
        QCOMPARE(frm_->CurFile, media.filePath(QStringLiteral("DANCE.MP4")));
        QCOMPARE(QFileInfo(frm_->SchedFileName).fileName(), QStringLiteral("DANCEMP4.INI"));
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
        QCOMPARE(frm_->CurRow(), 1);
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
