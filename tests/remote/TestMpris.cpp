// The player on the media bus, driven by a real MPRIS client (playerctl) on a
// private session bus: status, play/pause, next, position, volume,
// metadata, opening a file, and a following client that sees a repetition.
#include "../MyExitWin/PrivateSystemBus.h"
#include "RemoteKit.h"

#include "controls/uTransTrackBar.h"
#include "remote/Mpris.h"
#include "uFrmMainSync.h"

#include <QLineEdit>

class TestMpris : public QObject, private TRemoteFixture {
    Q_OBJECT

    QString Ctl(const QStringList& args, int* exitCode = nullptr) {
        return RunClient(QStringLiteral("playerctl"),
                         QStringList{QStringLiteral("-p"), QStringLiteral("tavrelo")} + args,
                         exitCode);
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty())
            QSKIP("playerctl is not installed");
        MakeClip();
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }
    void cleanup() { frm_.reset(); }

    void statusMetadataAndPlayPause() {
        Open(true);
        QVERIFY(frm_->Mpris);
        QCOMPARE(Ctl({QStringLiteral("status")}), QStringLiteral("Playing"));
        QCOMPARE(Ctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                      QStringLiteral("{{xesam:title}}|{{mpris:trackid}}|{{mpris:length}}")}),
                 QStringLiteral(
                     "tones.mp4 #1 warm up|'/org/mpris/MediaPlayer2/tavrelo/section/1'|4000000"));
        Ctl({QStringLiteral("play-pause")});
        QCOMPARE(frm_->FGBrowse->State(), gsPaused);
        QCOMPARE(Ctl({QStringLiteral("status")}), QStringLiteral("Paused"));
        Ctl({QStringLiteral("play-pause")});
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
    }

    // Next goes to the next section; a position set or read in seconds is
    // the media's; the volume is SoundLevel2's, stored like a change made
    // with the slider.
    void nextPositionVolume() {
        Open(true);
        Ctl({QStringLiteral("next")});
        QCOMPARE(frm_->CurRow(), 2);
        QCOMPARE(Ctl({QStringLiteral("metadata"), QStringLiteral("mpris:trackid")}),
                 QStringLiteral("'/org/mpris/MediaPlayer2/tavrelo/section/2'"));
        // Positions are the section's: 2 s into section 2 is the media's 6 s.
        Ctl({QStringLiteral("position"), QStringLiteral("2")});
        QVERIFY(frm_->PlayerState().PositionMs >= 6000);
        const double at = Ctl({QStringLiteral("position")}).toDouble();
        QVERIFY2(at >= 2.0 && at < 3.5, qPrintable(QString::number(at)));

        Ctl({QStringLiteral("volume"), QStringLiteral("0.25")});
        QCOMPARE(frm_->SoundLevel2->Position(), 2500.0);
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("SoundLevel2")),
                 QStringLiteral("2500"));
        QCOMPARE(Ctl({QStringLiteral("volume")}).toDouble(), 0.25);

        // Following a leader (none answers here), the leader steers: next,
        // play and seeks rest; the volume stays this player's.
        frm_->Sync->edFollowAddress->setText(QStringLiteral("127.0.0.1:9"));
        frm_->Sync->edFollowPin->setText(QStringLiteral("123456"));
        frm_->Sync->chkFollow->setChecked(true);
        QVERIFY(frm_->Following());
        const int row = frm_->CurRow();
        const auto state = frm_->FGBrowse->State();
        for (const char* command : {"next", "play", "previous"})
            Ctl({QString::fromLatin1(command)});
        QCOMPARE(frm_->CurRow(), row);
        QCOMPARE(frm_->FGBrowse->State(), state);
        Ctl({QStringLiteral("volume"), QStringLiteral("0.5")});
        QCOMPARE(frm_->SoundLevel2->Position(), 5000.0);
    }

    // A listener following the position sees it go back to the section's
    // start when the section is played the second time.
    void followerSeesRepeat() {
        Open(true);
        QProcess follow;
        follow.start(QStringLiteral("playerctl"),
                     {QStringLiteral("-p"), QStringLiteral("tavrelo"), QStringLiteral("--follow"),
                      QStringLiteral("metadata"), QStringLiteral("--format"),
                      QStringLiteral("{{mpris:trackid}} {{position}}")});
        QVERIFY(follow.waitForStarted(10000));
        QByteArray seen;
        bool late = false; // seen 3 s into section 1
        const bool sawRepeat = QTest::qWaitFor(
            [&] {
                while (follow.canReadLine()) {
                    const QByteArray line = follow.readLine().trimmed();
                    seen += line + '\n';
                    if (!line.contains("section/1'"))
                        continue;
                    const qint64 us = line.mid(line.lastIndexOf(' ') + 1).toLongLong();
                    if (us >= 3000000)
                        late = true;
                    else if (late && us < 500000)
                        return true;
                }
                return false;
            },
            30000);
        follow.terminate();
        follow.waitForFinished(5000);
        QVERIFY2(sawRepeat, seen.constData());
        QCOMPARE(frm_->CurRow(), 1); // the repetition, not a pass through the loop
    }

    // Only where the open button would open one: "允许编辑" locks it.
    void openUri_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<bool>("opens");
        // Refused: what the error says (sent as it is, to read it).
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("following"); // a leader (none answers here)
        QTest::newRow("local file")
            << QStringLiteral("file://%1") << true << true << QString() << false;
        QTest::newRow("local file, editing off")
            << QStringLiteral("file://%1") << false << false
            << QStringLiteral("Not opened: %1: 请先勾选“允许编辑”") << false;
        // Sent as it is: playerctl would tidy it into "file:///...".
        QTest::newRow("localhost, raw")
            << QStringLiteral("file://localhost%1") << true << true << QString() << false;
        QTest::newRow("other host, raw")
            << QStringLiteral("file://example.invalid%1") << true << false << QString() << false;
        QTest::newRow("web address") << QStringLiteral("http://example.invalid/a.mp4") << true
                                     << false << QString() << false;
        QTest::newRow("missing file")
            << QStringLiteral("file:///nonexistent/a.mp4") << true << false
            << QStringLiteral("No such file: /nonexistent/a.mp4") << false;
        // Taken, but it never opens as media.
        QTest::newRow("not media")
            << QStringLiteral("file://%2") << true << false << QString() << false;
        QTest::newRow("local file, following")
            << QStringLiteral("file://%1") << true << false
            << QStringLiteral("Not opened: %1: 跟播中：播放由领播控制") << true;
    }
    void openUri() {
        QFETCH(QString, uri);
        QFETCH(bool, editing);
        QFETCH(bool, opens);
        QFETCH(QString, says);
        QFETCH(bool, following);
        const QString other = dir_.filePath(QStringLiteral("other.mp4"));
        if (!QFile::exists(other))
            QVERIFY(QFile::copy(clip_, other));
        Open(false);
        frm_->chkEdit->setChecked(editing);
        if (following) {
            frm_->Sync->edFollowAddress->setText(QStringLiteral("127.0.0.1:9"));
            frm_->Sync->edFollowPin->setText(QStringLiteral("123456"));
            frm_->Sync->chkFollow->setChecked(true);
            QVERIFY(frm_->Following());
        }
        int code = 0;
        const QString notes = dir_.filePath(QStringLiteral("notes.txt"));
        QFile(notes).open(QIODevice::WriteOnly);
        const QString sent = uri.contains(QLatin1String("%1"))   ? uri.arg(other)
                             : uri.contains(QLatin1String("%2")) ? uri.arg(notes)
                                                                 : uri;
        QString errors;
        if (QByteArray(QTest::currentDataTag()).endsWith("raw") || !says.isEmpty())
            RunClient(QStringLiteral("dbus-send"),
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.mpris.MediaPlayer2.tavrelo"),
                       QStringLiteral("/org/mpris/MediaPlayer2"),
                       QStringLiteral("org.mpris.MediaPlayer2.Player.OpenUri"),
                       QStringLiteral("string:") + sent},
                      &code, 20000, &errors);
        else
            Ctl({QStringLiteral("open"), sent}, &code);
        QCOMPARE(frm_->CurFile == other, opens);
        QCOMPARE(code == 0, opens || uri.contains(QLatin1String("%2")));
        if (!says.isEmpty())
            QVERIFY2(errors.contains(says.contains(QLatin1String("%1")) ? says.arg(other) : says),
                     qPrintable(errors));
        if (opens)
            QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);
        else
            QTRY_VERIFY_WITH_TIMEOUT(!frm_->LastPlaybackError.isEmpty() || code != 0, WaitMs);
        // Nothing is written beside a file that did not open as media.
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("notestxt.INI"))));
    }
};

int main(int argc, char** argv) {
    // A session bus of the test's own, never the user's.
    QTemporaryDir busDir;
    PrivateSystemBus bus(busDir.path(), QStringLiteral("session"));
    if (bus.Address().isEmpty())
        return 1;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toLocal8Bit());
    qputenv("TAVRELO_NO_MESSAGE_BOXES", "1");
    TApplication app(argc, argv);
    InitPublicModule();
    TestMpris test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestMpris.moc"
