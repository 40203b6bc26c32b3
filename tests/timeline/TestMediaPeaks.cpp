// The sound's peaks and the pictures of real clips: bursts of sound seen at
// their times, the streams a file has, the cache on a second open and after
// the file changed.
#include "support/MediaClips.h"
#include "timeline/MediaPeaks.h"
#include "timeline/TimelineWidget.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <sys/time.h>

namespace {

// 48 kHz mono 16-bit silence with 300 ms bursts of a 1 kHz tone (amplitude
// 0.8) starting at the given ms.
bool WriteBurstWav(const QString& path, int seconds, const QList<int>& burstsMs) {
    constexpr int rate = 48000;
    QByteArray pcm(seconds * rate * 2, '\0');
    auto* s = reinterpret_cast<qint16*>(pcm.data());
    for (int b : burstsMs)
        for (int i = b * rate / 1000; i < (b + 300) * rate / 1000 && i < seconds * rate; ++i)
            s[i] = qint16(0.8 * 32767 * std::sin(2 * M_PI * 1000.0 * i / rate));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), int(pcm.size()));
    return out.status() == QDataStream::Ok;
}

bool WaitFinished(TMediaPeaks& m) {
    return QTest::qWaitFor([&] { return m.Finished(); }, 60000);
}

} // namespace

class TestMediaPeaks : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase();
    void bursts_data();
    void bursts();
    void kinds_data();
    void kinds();
    void cache();
    void followsTheTrack();
    void pruneKeepsTheRecentlyUsed();
};

void TestMediaPeaks::initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CACHE_HOME", dir_.filePath(QStringLiteral("cache")).toUtf8());
}

void TestMediaPeaks::bursts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("delayMs"); // what the decoder puts before the sound
    QTest::newRow("WAV") << "bursts.wav" << 0;
    QTest::newRow("AAC in MP4") << "bursts.m4a" << AacDecoderDelaySamples * 1000 / 48000;
}

void TestMediaPeaks::bursts() {
    QFETCH(QString, name);
    QFETCH(int, delayMs);
    const QList<int> at = {1000, 2500, 4200};
    const QString wav = dir_.filePath(QStringLiteral("bursts-src.wav"));
    QVERIFY(WriteBurstWav(wav, 6, at));
    const QString path = dir_.filePath(name);
    if (name.endsWith(QLatin1String(".m4a"))) {
        QString error;
        QVERIFY2(RunGstLaunch(QStringLiteral("filesrc location=\"%1\" ! wavparse ! audioconvert ! "
                                             "avenc_aac ! aacparse ! mp4mux ! filesink "
                                             "location=\"%2\"")
                                  .arg(wav, path),
                              &error),
                 qPrintable(error));
    } else {
        QVERIFY(QFile::copy(wav, path));
    }
    TMediaPeaks peaks;
    peaks.Open(path);
    QVERIFY(WaitFinished(peaks));
    QVERIFY2(peaks.ErrorText().isEmpty(), qPrintable(peaks.ErrorText()));
    QVERIFY(peaks.HasAudio());
    QVERIFY(!peaks.HasVideo());

    // 6 s across 300 pixels: 20 ms a pixel.
    TTimelineWidget view;
    view.resize(300, 200);
    view.SetPeaks(&peaks);
    view.SetView(0, 6000);
    QCOMPARE(view.ViewSpanMs(), 6000);
    QList<int> onsets;
    bool loud = false;
    for (int x = 0; x < view.width(); ++x) {
        int lo = 0, hi = 0;
        QVERIFY(view.ColumnPeak(x, &lo, &hi));
        const bool now = std::max(-lo, hi) > 60;
        if (now && !loud)
            onsets << x;
        loud = now;
    }
    QCOMPARE(onsets.size(), at.size());
    for (int i = 0; i < at.size(); ++i) {
        const double expected = view.XOfMs(at[i] + delayMs);
        QVERIFY2(std::abs(onsets[i] - expected) <= 1.0,
                 qPrintable(QStringLiteral("burst %1 at x %2, expected %3")
                                .arg(i)
                                .arg(onsets[i])
                                .arg(expected)));
    }
}

void TestMediaPeaks::kinds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::function<bool(const QString&, QString*)>>("make");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<bool>("pictures");
    QTest::newRow("video and sound")
        << "both.mp4"
        << std::function([](const QString& p, QString* e) { return MakeToneVideoClip(p, 4, 1, e); })
        << true << true;
    QTest::newRow("sound only") << "sound.m4a" << std::function([](const QString& p, QString* e) {
        return MakeToneAudioClip(p, 3, 2, e);
    }) << true << false;
    QTest::newRow("picture only")
        << "silent.mp4" << std::function([](const QString& p, QString* e) {
               return RunGstLaunch(
                   QStringLiteral("videotestsrc num-buffers=75 ! "
                                  "video/x-raw,framerate=25/1,width=320,height=240 ! "
                                  "x264enc ! h264parse ! mp4mux ! filesink location=\"%1\"")
                       .arg(p),
                   e);
           })
        << false << true;
    QTest::newRow("text named .mp4")
        << "text.mp4" << std::function([](const QString& p, QString* e) {
               return MakeTextFile(p, QStringLiteral("not a film"), e);
           })
        << false << false;
}

void TestMediaPeaks::kinds() {
    QFETCH(QString, name);
    QFETCH(std::function<bool(const QString&, QString*)>, make);
    QFETCH(bool, sound);
    QFETCH(bool, pictures);
    const QString path = dir_.filePath(name);
    QString error;
    QVERIFY2(make(path, &error), qPrintable(error));
    TMediaPeaks peaks;
    peaks.Open(path);
    QVERIFY(WaitFinished(peaks));
    QCOMPARE(peaks.HasAudio(), sound);
    QCOMPARE(peaks.HasVideo(), pictures);
    QCOMPARE(!peaks.Peaks().empty(), sound);
    QCOMPARE(!peaks.Thumbs().isEmpty(), pictures);
    if (sound || pictures) {
        QVERIFY2(peaks.ErrorText().isEmpty(), qPrintable(peaks.ErrorText()));
    } else {
        QVERIFY2(peaks.ErrorText().startsWith(QStringLiteral("Cannot read ")) &&
                     peaks.ErrorText().contains(name),
                 qPrintable(peaks.ErrorText()));
    }
}

void TestMediaPeaks::cache() {
    const QString path = dir_.filePath(QStringLiteral("cached.mp4"));
    QString error;
    QVERIFY2(MakeToneVideoClip(path, 4, 1, &error), qPrintable(error));
    std::vector<TPeak> first;
    {
        TMediaPeaks peaks;
        peaks.Open(path);
        QVERIFY(WaitFinished(peaks));
        QVERIFY(!peaks.FromCache());
        first = peaks.Peaks();
    }
    {
        TMediaPeaks peaks;
        peaks.Open(path);
        QVERIFY(WaitFinished(peaks));
        QVERIFY(peaks.FromCache());
        QVERIFY(peaks.Peaks().size() == first.size());
        QVERIFY(memcmp(peaks.Peaks().data(), first.data(), first.size() * sizeof(TPeak)) == 0);
        QVERIFY(!peaks.Thumbs().isEmpty());
        QVERIFY(peaks.HasVideo());
    }
    // The same name made anew, one second longer: computed again.
    QVERIFY(QFile::remove(path));
    QVERIFY2(MakeToneVideoClip(path, 5, 1, &error), qPrintable(error));
    TMediaPeaks peaks;
    peaks.Open(path);
    QVERIFY(WaitFinished(peaks));
    QVERIFY(!peaks.FromCache());
    QVERIFY(peaks.Peaks().size() > first.size());
}

// Two sound tracks, the first silent, the second loud: the peaks are those
// of the track asked for, and follow a change of it.
void TestMediaPeaks::followsTheTrack() {
    const QString path = dir_.filePath(QStringLiteral("tracks.mkv"));
    QString error;
    QVERIFY2(RunGstLaunch(QStringLiteral("matroskamux name=mux ! filesink location=\"%1\" "
                                         "audiotestsrc volume=0 num-buffers=100 ! avenc_aac ! "
                                         "aacparse ! mux.audio_0 "
                                         "audiotestsrc volume=0.8 num-buffers=100 ! avenc_aac ! "
                                         "aacparse ! mux.audio_1")
                              .arg(path),
                          &error),
             qPrintable(error));
    auto loudest = [](const TMediaPeaks& m) {
        int most = 0;
        for (const TPeak& p : m.Peaks())
            most = std::max({most, -int(p.Min), int(p.Max)});
        return most;
    };
    TMediaPeaks peaks;
    for (int track : {0, 1, 0}) {
        peaks.Open(path, track);
        QVERIFY(WaitFinished(peaks));
        QVERIFY(!peaks.Peaks().empty());
        QVERIFY2(track == 0 ? loudest(peaks) < 5 : loudest(peaks) > 80,
                 qPrintable(QStringLiteral("track %1: %2").arg(track).arg(loudest(peaks))));
    }
}

void TestMediaPeaks::pruneKeepsTheRecentlyUsed() {
    const QString folder = TMediaPeaks::CacheFolder();
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    // Oldest first; 100 bytes each.
    const QStringList names = {"a-a0.peaks", "a.thumbs", "b-a0.peaks", "notes.txt"};
    for (int i = 0; i < names.size(); ++i) {
        const QString path = folder + QLatin1Char('/') + names[i];
        QVERIFY(MakeTextFile(path, QString(100, QLatin1Char('x'))));
        const timeval t[2] = {{1000000 + i * 10, 0}, {1000000 + i * 10, 0}};
        QCOMPARE(utimes(QFile::encodeName(path).constData(), t), 0);
    }
    TMediaPeaks::PruneCache(250);
    QStringList left = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(left, (QStringList{"a.thumbs", "b-a0.peaks", "notes.txt"}));
    TMediaPeaks::PruneCache(0);
    left = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(left, QStringList{"notes.txt"});
}

QTEST_MAIN(TestMediaPeaks)
#include "TestMediaPeaks.moc"
