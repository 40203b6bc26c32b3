// Volume, channel and audio track end to end: what would be heard is
// recorded and its tones say which channel and which track it came from.
#include "PlayerKit.h"

#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"

#include <QListWidget>
#include <QtTest>

class TestAudioChoice : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString tones_;
    QString tracks_;
    std::shared_ptr<TAudioRecording> rec_;
    std::unique_ptr<TFrmMain> frm_;

    void Start(const QString& media) {
        WriteSchedule(media, {{QStringLiteral("1"), QStringLiteral("00:00"), {}}});
        WriteSettings(media, {});
        rec_->Clear();
        frm_ = std::make_unique<TFrmMain>();
        frm_->PlaySection(1, false);
        QCOMPARE(frm_->FGBrowse->State(), gsPlaying);
    }

    // Waits for `seconds` of sound recorded after frame `mark`; returns the
    // first frame of the stretch to examine (half a second after mark).
    int64_t HeardAfter(int64_t mark, double seconds) {
        const int64_t from = mark + TAudioRecording::SampleRate / 2;
        const int64_t need = from + int64_t(seconds * TAudioRecording::SampleRate);
        // The caller checks what was heard, also when the wait gave up.
        (void)QTest::qWaitFor([&] { return rec_->FrameCount() >= need; }, 20000);
        return from;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        IniFileName = dir_.filePath(QStringLiteral("system.INI"));
        tones_ = dir_.filePath(QStringLiteral("tones.mkv"));
        tracks_ = dir_.filePath(QStringLiteral("tracks.mkv"));
        QString error;
        QVERIFY2(MakeToneVideoClip(tones_, 12, 1, &error), qPrintable(error));
        QVERIFY2(MakeTwoTrackClip(tracks_, 8, 440, 880, true, &error), qPrintable(error));
        rec_ = RecordAudio();
    }
    void cleanup() { frm_.reset(); }

    // Left and right play that channel on both speakers; stereo plays each
    // on its own. The choice is stored with the media.
    void channels_data() {
        QTest::addColumn<int>("button"); // 0 left, 1 stereo, 2 right
        QTest::addColumn<int>("leftHears");
        QTest::addColumn<int>("rightHears");
        QTest::addColumn<QString>("stored");
        QTest::newRow("left") << 0 << 0 << 0 << QStringLiteral("左声道");
        QTest::newRow("stereo") << 1 << 0 << 1 << QStringLiteral("立体声");
        QTest::newRow("right") << 2 << 1 << 1 << QStringLiteral("右声道");
    }
    void channels() {
        QFETCH(int, button);
        QFETCH(int, leftHears);
        QFETCH(int, rightHears);
        QFETCH(QString, stored);
        Start(tones_);
        // The start is heard before the choice.
        QTRY_VERIFY_WITH_TIMEOUT(rec_->FrameCount() >= TAudioRecording::SampleRate * 3 / 10,
                                 WaitMs);
        const int64_t mark = rec_->FrameCount();
        TMyRadionBtn* buttons[] = {frm_->lbLeft2, frm_->lbCenter2, frm_->lbRight2};
        buttons[button]->OnClick(buttons[button]);
        QCOMPARE(int(frm_->SoundChannel), button == 0 ? 1 : button == 1 ? 0 : 2);
        QCOMPARE(ReadIniStr(frm_->SchedFileName, QStringLiteral("START"),
                            QStringLiteral("SOUNDCHL"), QString()),
                 stored);
        const int64_t at = HeardAfter(mark, 1.0);
        const auto frames = rec_->Samples();
        const auto chunks = rec_->Chunks();
        // Which second plays there, by the clean channel's own tone.
        int64_t pos = -1;
        for (const auto& c : chunks)
            if (c.FirstFrame <= at && at < c.FirstFrame + c.Frames)
                pos = c.Position + (at - c.FirstFrame) * 10000000 / TAudioRecording::SampleRate;
        QVERIFY(pos >= 0);
        // Half a second inside that second, away from its edges.
        const int64_t second = pos / 10000000 + 1;
        const int64_t mid = FrameAtPosition(chunks, second * 10000000 + 2500000);
        QVERIFY(mid > 0 && mid + TAudioRecording::SampleRate / 4 <= int64_t(frames.size()) / 2);
        const int n = TAudioRecording::SampleRate / 4;
        QCOMPARE(IdentifySecond(frames, mid, n, 0, 20, TAudioRecording::SampleRate, leftHears),
                 int(second));
        QCOMPARE(IdentifySecond(frames, mid, n, 1, 20, TAudioRecording::SampleRate, rightHears),
                 int(second));
    }

    // The volume slider: stored at once, applied to the playing media.
    void volume() {
        Start(tones_);
        frm_->SoundLevel2->SetPosition(5000);
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("SoundLevel2")),
                 QStringLiteral("5000"));
        const int64_t at = HeardAfter(rec_->FrameCount(), 0.6);
        const double level = RmsLevel(rec_->Samples(), at, TAudioRecording::SampleRate / 2, 0);
        // Volume 5000 is -7.52 dB: a 0.5 sine (RMS 0.354) becomes RMS 0.149.
        QVERIFY2(std::abs(level - 0.149) < 0.02, qPrintable(QString::number(level)));
    }

    // A two-track file lists "1" and "2"; choosing "2" makes the second
    // track heard, and the choice is stored.
    void secondTrack() {
        Start(tracks_);
        QCOMPARE(frm_->cbAudioChl2->Items(),
                 QStringList({QStringLiteral("1"), QStringLiteral("2")}));
        QCOMPARE(frm_->cbAudioChl2->ItemIndex(), 0);
        int64_t at = HeardAfter(rec_->FrameCount(), 0.5);
        const int n = TAudioRecording::SampleRate / 4;
        QVERIFY(ToneLevel(rec_->Samples(), at, n, 0, 440, TAudioRecording::SampleRate) > 0.3);

        frm_->cbAudioChl2->SetItemIndex(1);
        frm_->btnSelAudioChl2Click(frm_->btnSelAudioChl2);
        QCOMPARE(frm_->AudioTrack, 2);
        QCOMPARE(frm_->cbAudioChl2->ItemIndex(), 1);
        QCOMPARE(ReadIniText(frm_->SchedFileName, QStringLiteral("START"),
                             QStringLiteral("cbAudioChl2")),
                 QStringLiteral("1"));
        at = HeardAfter(rec_->FrameCount(), 0.5);
        const auto frames = rec_->Samples();
        QVERIFY(ToneLevel(frames, at, n, 0, 880, TAudioRecording::SampleRate) > 0.3);
        QVERIFY(ToneLevel(frames, at, n, 0, 440, TAudioRecording::SampleRate) < 0.05);
        // The filters of the graph are listed; no MPEG dual-channel decoder.
        QVERIFY(frm_->lbFilters2->count() > 0);
        QVERIFY(frm_->FindAudioDecoderName().isEmpty() ||
                frm_->FindAudioDecoderName().contains(QStringLiteral("Audio Decoder")));
    }

    // Nothing is stored or applied for a channel click without a media file.
    void channelWithoutFile() {
        WriteSettings(dir_.filePath(QStringLiteral("gone.mp4")), {});
        TFrmMain frm;
        frm.lbLeft2Click(frm.lbLeft2);
        QCOMPARE(int(frm.SoundChannel), 0);
        QVERIFY(!QFile::exists(frm.SchedFileName));
    }
};

TAVRELO_E2E_MAIN(TestAudioChoice)

#include "TestAudioChoice.moc"
