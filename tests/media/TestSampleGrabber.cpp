// TSampleGrabber and CopyChannel: the byte rules, and the left/right choice
// heard through the real pipeline for every kind of sound source.
#include "MediaTestKit.h"

#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

uint16_t BitsOf(const AM_MEDIA_TYPE& mt) {
    return uint16_t(mt.pbFormat[14] | (mt.pbFormat[15] << 8));
}

} // namespace

class TestSampleGrabber : public QObject, TMediaFixture {
    Q_OBJECT

private slots:
    void initTestCase() {
        StartMediaTests();
        for (int bits : {8, 16, 24, 32})
            MAKE_CLIP(
                MakeWavClip(Clip(QStringLiteral("s%1.wav").arg(bits)), 4, bits, 2, &clipError));
        MAKE_CLIP(MakeWavClip(Clip("mono.wav"), 4, 16, 1, &clipError));
        MAKE_CLIP(MakeToneAudioClip(Clip("surround.m4a"), 4, 6, &clipError));
        MAKE_CLIP(MakeToneAudioClip(Clip("tones.mp3"), 4, 2, &clipError));
        MAKE_CLIP(MakeToneVideoClip(Clip("video.mp4"), 4, 1, &clipError));
    }

    void copyChannelBytes_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("16 left") << 16 << 1 << Hex("11 22 33 44") << Hex("11 22 11 22");
        QTest::newRow("16 right") << 16 << 2 << Hex("11 22 33 44") << Hex("33 44 33 44");
        QTest::newRow("16 both") << 16 << 0 << Hex("11 22 33 44") << Hex("11 22 33 44");
        QTest::newRow("24 right") << 24 << 2 << Hex("01 02 03 04 05 06")
                                  << Hex("04 05 06 04 05 06");
        QTest::newRow("24 left two frames") << 24 << 1 << Hex("01 02 03 04 05 06 a1 a2 a3 b1 b2 b3")
                                            << Hex("01 02 03 01 02 03 a1 a2 a3 a1 a2 a3");
        QTest::newRow("32 left") << 32 << 1
                                 << Hex("01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10")
                                 << Hex("01 02 03 04 01 02 03 04 09 0a 0b 0c 09 0a 0b 0c");
        QTest::newRow("32 right") << 32 << 2 << Hex("01 02 03 04 05 06 07 08")
                                  << Hex("05 06 07 08 05 06 07 08");
        QTest::newRow("8 left") << 8 << 1 << Hex("10 20 30 40") << Hex("10 10 30 30");
        QTest::newRow("8 right") << 8 << 2 << Hex("10 20 30 40") << Hex("20 20 40 40");
        QTest::newRow("partial trailing frame")
            << 16 << 1 << Hex("11 22 33 44 55 66 77") << Hex("11 22 11 22 55 66 77");
        QTest::newRow("shorter than a frame")
            << 32 << 2 << Hex("01 02 03 04 05 06 07") << Hex("01 02 03 04 05 06 07");
        QTest::newRow("12 bits unchanged") << 12 << 1 << Hex("11 22 33 44") << Hex("11 22 33 44");
        QTest::newRow("0 bits unchanged") << 0 << 2 << Hex("11 22 33 44") << Hex("11 22 33 44");
        QTest::newRow("channel 3 unchanged") << 16 << 3 << Hex("11 22 33 44") << Hex("11 22 33 44");
    }
    void copyChannelBytes() {
        QFETCH(int, bits);
        QFETCH(int, channel);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        // Guard bytes after the buffer must stay untouched.
        QByteArray buffer = input + Hex("ee ee ee ee ee ee ee ee");
        CopyChannel(reinterpret_cast<uint8_t*>(buffer.data()), int32_t(input.size()), bits,
                    channel);
        QCOMPARE(buffer.left(input.size()).toHex(' '), expected.toHex(' '));
        QCOMPARE(buffer.mid(input.size()), Hex("ee ee ee ee ee ee ee ee"));
    }

    void newComponentDefaults() {
        TSampleGrabber g;
        QCOMPARE(g.MediaType().majortype, MEDIATYPE_Video);
        QCOMPARE(g.MediaType().subtype, MEDIASUBTYPE_RGB24);
        QCOMPARE(g.MediaType().formattype, FORMAT_VideoInfo);
        QVERIFY(!g.SampleGrabber());
    }

    // The handler of the control window, as it rewrites every buffer.
    void channelChoiceIsHeard_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bits"); // expected sample width at the grabber; 0: any
        QTest::addColumn<bool>("mono");
        QTest::newRow("wav 8") << "s8.wav" << 8 << false;
        QTest::newRow("wav 16") << "s16.wav" << 16 << false;
        QTest::newRow("wav 24") << "s24.wav" << 24 << false;
        QTest::newRow("wav 32") << "s32.wav" << 32 << false;
        QTest::newRow("mono") << "mono.wav" << 16 << true;
        QTest::newRow("5.1 aac") << "surround.m4a" << 0 << false;
        QTest::newRow("mp3") << "tones.mp3" << 0 << false;
        QTest::newRow("video aac") << "video.mp4" << 0 << false;
    }
    void channelChoiceIsHeard() {
        QFETCH(QString, file);
        QFETCH(int, bits);
        QFETCH(bool, mono);
        TFilterGraph graph;
        TSampleGrabber grabber;
        MakeSoundGrabber(grabber);
        std::atomic<int> soundChannel{0};
        std::atomic<int> seenBits{-1}, seenChannels{-1};
        std::atomic<bool> threadOk{true};
        QThread* ui = QThread::currentThread();
        grabber.SetOnBuffer([&](QObject*, double, uint8_t* buffer, int32_t length) {
            if (QThread::currentThread() == ui)
                threadOk = false;
            AM_MEDIA_TYPE connected;
            auto sg = grabber.SampleGrabber();
            if (!sg || FAILED(sg->GetConnectedMediaType(&connected)))
                return;
            seenBits = BitsOf(connected);
            seenChannels = connected.pbFormat[2];
            CopyChannel(buffer, length, seenBits, soundChannel);
        });
        grabber.SetFilterGraph(&graph);
        graph.SetActive(true);
        QVERIFY(grabber.SampleGrabber());
        QCOMPARE(RenderClip(graph, file), S_OK);
        QVERIFY(graph.Play());
        for (int channel : {0, 1, 2}) {
            soundChannel = channel;
            FRec->Clear();
            // Media second channel + 1, from its start (a flushing seek:
            // everything heard afterwards passed the grabber anew).
            const int second = channel + 1;
            QVERIFY(SUCCEEDED(SeekTo(graph, second * 1000)));
            const int64_t first =
                WaitForSoundFrom(*FRec, int64_t(second) * 10000000 + 1000000, 9600);
            QVERIFY(first >= 0);
            const auto frames = FRec->Samples();
            const int rate = TAudioRecording::SampleRate;
            const int leftHears = IdentifySecond(frames, first, 9600, 0, 10, rate, 0);
            const int rightHearsLeft = IdentifySecond(frames, first, 9600, 1, 10, rate, 0);
            const int rightHears = IdentifySecond(frames, first, 9600, 1, 10, rate, 1);
            const int leftHearsRight = IdentifySecond(frames, first, 9600, 0, 10, rate, 1);
            if (mono) {
                // One channel: both speakers carry it, whatever the choice.
                QCOMPARE(leftHears, second);
                QCOMPARE(rightHearsLeft, second);
            } else if (channel == 0) {
                QCOMPARE(leftHears, second);
                QCOMPARE(rightHears, second);
                QCOMPARE(leftHearsRight, -1);
            } else if (channel == 1) {
                QCOMPARE(leftHears, second);
                QCOMPARE(rightHearsLeft, second);
                QCOMPARE(rightHears, -1);
            } else {
                QCOMPARE(rightHears, second);
                QCOMPARE(leftHearsRight, second);
                QCOMPARE(leftHears, -1);
            }
        }
        QVERIFY(threadOk);
        QCOMPARE(int(seenChannels), 2);
        if (bits)
            QCOMPARE(int(seenBits), bits);
        else
            QVERIFY(seenBits == 16 || seenBits == 24 || seenBits == 32);
        graph.SetActive(false);
        QVERIFY(!grabber.SampleGrabber());
    }
};

QTEST_MAIN(TestSampleGrabber)
#include "TestSampleGrabber.moc"
