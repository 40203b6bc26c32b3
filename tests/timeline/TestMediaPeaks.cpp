// The sound's peaks and the pictures of real clips: bursts of sound seen at
// their times, the streams a file has, the cache on a second open, after the
// file changed, and against what can be planted in the cache folder.
#include "support/MediaClips.h"
#include "timeline/MediaPeaks.h"
#include "timeline/TimelineWidget.h"

#include <QBuffer>
#include <QDataStream>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <sys/stat.h>
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

// A clip's cache after its first open, and a folder beside the cache that
// nothing may write to.
struct TCacheScene {
    QString media, folder, peaksFile, thumbsFile, elsewhere;
};
using TPlant = std::function<bool(const TCacheScene&)>;

// Every file below dir, links not followed, with its bytes and time.
QMap<QString, QString> Snapshot(const QString& dir) {
    QMap<QString, QString> all;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        QFile file(f.filePath());
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        all.insert(f.filePath(), QString::fromLatin1(bytes.toBase64()) + QLatin1Char(' ') +
                                     QString::number(f.lastModified().toMSecsSinceEpoch()));
    }
    return all;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Replace(const QString& path, const QByteArray& bytes) {
    QFile::remove(path);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A cache file of either kind as the player writes it, from its head (kind,
// version, the media's size and time) on, for crafted contents.
QByteArray CacheHead(const char* kind, const QString& media) {
    QByteArray b(kind, 4);
    QDataStream out(&b, QIODevice::Append);
    const QFileInfo info(media);
    out << quint32(2) << qint64(info.size()) << qint64(info.lastModified().toMSecsSinceEpoch());
    return b;
}

// The link is replaced by a file with the cache's results, its target left.
TPlant LinkTo(QString TCacheScene::*file) {
    return [file](const TCacheScene& s) {
        const QString victim = s.elsewhere + QStringLiteral("/victim");
        return MakeTextFile(victim, QStringLiteral("not yours")) && QFile::remove(s.*file) &&
               QFile::link(victim, s.*file);
    };
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
    void cache_data();
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

void TestMediaPeaks::cache_data() {
    QTest::addColumn<TPlant>("plant");
    QTest::addColumn<bool>("sameMedia"); // false: plant made the clip anew
    QTest::addColumn<bool>("cachedNext");
    QTest::addColumn<bool>("keptAfter"); // the results kept once computed again
    auto chopped = [](QString TCacheScene::*file) {
        return TPlant([file](const TCacheScene& s) {
            const QByteArray b = ReadAll(s.*file);
            return Replace(s.*file, b.left(b.size() / 2));
        });
    };
    QTest::newRow("unchanged") << TPlant([](const TCacheScene&) { return true; }) << true << true
                               << true;
    QTest::newRow("the same name made anew, one second longer") << TPlant([](const TCacheScene& s) {
        return QFile::remove(s.media) && MakeToneVideoClip(s.media, 5, 1);
    }) << false << false << true;
    // Links and other things planted in the folder: nothing written elsewhere.
    QTest::newRow("cache folder a link elsewhere") << TPlant([](const TCacheScene& s) {
        const QString target = s.elsewhere + QStringLiteral("/cache");
        return QDir().mkpath(target) && QDir(s.folder).removeRecursively() &&
               QFile::link(target, s.folder);
    }) << true << false << false;
    QTest::newRow("cache folder open to others") << TPlant([](const TCacheScene& s) {
        return ::chmod(QFile::encodeName(s.folder).constData(), 0777) == 0;
    }) << true << true << true;
    QTest::newRow("peaks a link to a file elsewhere")
        << LinkTo(&TCacheScene::peaksFile) << true << false << true;
    QTest::newRow("pictures a link to a file elsewhere")
        << LinkTo(&TCacheScene::thumbsFile) << true << true << true;
    QTest::newRow("peaks a pipe") << TPlant([](const TCacheScene& s) {
        return QFile::remove(s.peaksFile) &&
               ::mkfifo(QFile::encodeName(s.peaksFile).constData(), 0600) == 0;
    }) << true << false << true;
    // Damaged or crafted files: computed again, nothing held for them.
    QTest::newRow("peaks truncated") << chopped(&TCacheScene::peaksFile) << true << false << true;
    QTest::newRow("pictures truncated")
        << chopped(&TCacheScene::thumbsFile) << true << true << true;
    QTest::newRow("peaks of another kind") << TPlant([](const TCacheScene& s) {
        QByteArray b = ReadAll(s.peaksFile);
        b[0] = 'X';
        return Replace(s.peaksFile, b);
    }) << true << false << true;
    QTest::newRow("peaks of another version") << TPlant([](const TCacheScene& s) {
        QByteArray b = ReadAll(s.peaksFile);
        b[7] = char(b[7] ^ 3);
        return Replace(s.peaksFile, b);
    }) << true << false << true;
    QTest::newRow("peak count of 10^9") << TPlant([](const TCacheScene& s) {
        QByteArray b = CacheHead("TVPK", s.media);
        QDataStream(&b, QIODevice::Append)
            << quint32(100) << qint64(4000) << quint8(1) << quint32(1000000000) << qint32(0);
        return Replace(s.peaksFile, b);
    }) << true << false << true;
    QTest::newRow("picture count of 10^9") << TPlant([](const TCacheScene& s) {
        QByteArray b = CacheHead("TVTH", s.media);
        QDataStream(&b, QIODevice::Append)
            << quint8(1) << qint64(1000) << qint64(4000) << quint32(1000000000) << qint64(0);
        return Replace(s.thumbsFile, b);
    }) << true << true << true;
    // 2000x2000 for a 160x90 picture: 16 MB each from a few KB of PNG.
    QTest::newRow("a picture of 2000x2000") << TPlant([](const TCacheScene& s) {
        QImage big(2000, 2000, QImage::Format_RGB32);
        big.fill(Qt::white);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        big.save(&buffer, "PNG");
        QByteArray b = CacheHead("TVTH", s.media);
        QDataStream out(&b, QIODevice::Append);
        out << quint8(1) << qint64(1000) << qint64(4000) << quint32(1) << qint64(0)
            << quint32(png.size());
        b += png;
        return Replace(s.thumbsFile, b);
    }) << true << true << true;
    QTest::newRow("another clip's results") << TPlant([](const TCacheScene& s) {
        const QString other = QFileInfo(s.media).absolutePath() + QStringLiteral("/other.mp4");
        TMediaPeaks peaks;
        if (!MakeToneVideoClip(other, 2, 1) || (peaks.Open(other), !WaitFinished(peaks)))
            return false;
        for (const QFileInfo& f : QDir(s.folder).entryInfoList(QDir::Files)) {
            const QString ours = f.suffix() == QLatin1String("peaks") ? s.peaksFile : s.thumbsFile;
            if (f.filePath() != ours && !Replace(ours, ReadAll(f.filePath())))
                return false;
        }
        return true;
    }) << true << false << true;
}

void TestMediaPeaks::cache() {
    QFETCH(TPlant, plant);
    QFETCH(bool, sameMedia);
    QFETCH(bool, cachedNext);
    QFETCH(bool, keptAfter);
    // A cache and a clip of each row's own.
    QTemporaryDir row(dir_.filePath(QStringLiteral("row-XXXXXX")));
    QVERIFY(row.isValid());
    qputenv("XDG_CACHE_HOME", row.filePath(QStringLiteral("cache")).toUtf8());
    TCacheScene s;
    s.media = row.filePath(QStringLiteral("cached.mp4"));
    s.folder = TMediaPeaks::CacheFolder();
    s.elsewhere = row.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(s.elsewhere));
    QString error;
    QVERIFY2(MakeToneVideoClip(s.media, 4, 1, &error), qPrintable(error));
    std::vector<TPeak> first;
    qsizetype pictures = 0;
    {
        TMediaPeaks peaks;
        peaks.Open(s.media);
        QVERIFY(WaitFinished(peaks));
        QVERIFY(!peaks.FromCache());
        first = peaks.Peaks();
        pictures = peaks.Thumbs().size();
        QVERIFY(pictures > 0);
    }
    const QStringList kept = QDir(s.folder).entryList(QDir::Files);
    QCOMPARE(kept.size(), 2);
    for (const QString& name : kept)
        (name.endsWith(QLatin1String(".peaks")) ? s.peaksFile : s.thumbsFile) =
            s.folder + QLatin1Char('/') + name;

    QVERIFY(plant(s));
    const QMap<QString, QString> outside = Snapshot(s.elsewhere);
    std::vector<TPeak> second;
    for (bool cached : {cachedNext, keptAfter}) {
        TMediaPeaks peaks;
        peaks.Open(s.media);
        QVERIFY(WaitFinished(peaks));
        QVERIFY2(peaks.ErrorText().isEmpty(), qPrintable(peaks.ErrorText()));
        QCOMPARE(peaks.FromCache(), cached);
        QVERIFY(peaks.HasVideo() && peaks.HasAudio());
        if (sameMedia) {
            QVERIFY(peaks.Peaks().size() == first.size());
            QVERIFY(memcmp(peaks.Peaks().data(), first.data(), first.size() * sizeof(TPeak)) == 0);
            QCOMPARE(peaks.Thumbs().size(), pictures);
        } else {
            QVERIFY(peaks.Peaks().size() > first.size());
        }
        for (const QImage& img : peaks.Thumbs())
            QCOMPARE(img.size(), QSize(TMediaPeaks::ThumbWidth, TMediaPeaks::ThumbHeight));
    }
    QCOMPARE(Snapshot(s.elsewhere), outside);
    // The folder is the user's alone (unless it is not the folder at all).
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(s.folder).constData(), &st), 0);
    if (S_ISDIR(st.st_mode))
        QCOMPARE(st.st_mode & 0777, 0700u);
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
