// The graph's filters and stream selection as the control window lists and
// uses them: stream names, enabling an audio track, the file source, and the
// absence of an MPEG dual-channel decoder.
#include "MediaTestKit.h"

#include <QtTest>

namespace {

constexpr double Track1Hz = 440;
constexpr double Track2Hz = 1320;

struct TStreams {
    std::shared_ptr<IAMStreamSelect> Select;
    std::vector<std::shared_ptr<IBaseFilter>> Filters;

    // The number of streams; -1 when it cannot be told.
    long Count() const {
        long n = 0;
        return Select && SUCCEEDED(Select->Count(&n)) ? n : -1;
    }
};

TStreams FindStreams(TFilterGraph& g) {
    TStreams s;
    auto fg = g.QueryInterface<IFilterGraph>();
    if (!fg || FAILED(fg->EnumFilters(&s.Filters)))
        return s;
    for (auto& f : s.Filters)
        if (auto sel = Query<IAMStreamSelect>(f)) {
            if (s.Select)
                return {}; // more than one would count every track twice
            s.Select = sel;
        }
    return s;
}

// Index of the n-th (from 1) stream whose name starts with "A".
long AudioIndex(IAMStreamSelect& sel, int n) {
    long count = 0;
    sel.Count(&count);
    for (long i = 0; i < count; ++i) {
        QString name;
        if (SUCCEEDED(sel.Info(i, &name, nullptr, nullptr)) && name.startsWith('A') && --n == 0)
            return i;
    }
    return -1;
}

bool Enabled(IAMStreamSelect& sel, long index) {
    long flags = 0;
    return SUCCEEDED(sel.Info(index, nullptr, &flags, nullptr)) &&
           (flags & AMSTREAMSELECTINFO_ENABLED);
}

} // namespace

class TestStreamSelect : public QObject, TMediaFixture {
    Q_OBJECT

private:
    // Which track is heard in recorded frames [first, first + 4800).
    int TrackHeard(const std::vector<float>& frames, int64_t first) {
        const double a = ToneLevel(frames, first, 4800, 0, Track1Hz, TAudioRecording::SampleRate);
        const double b = ToneLevel(frames, first, 4800, 0, Track2Hz, TAudioRecording::SampleRate);
        if (a > 0.2 && b < 0.01)
            return 1;
        if (b > 0.2 && a < 0.01)
            return 2;
        return 0;
    }

private slots:
    void initTestCase() {
        StartMediaTests();
        MAKE_CLIP(MakeTwoTrackClip(Clip("two.mkv"), 12, Track1Hz, Track2Hz, true, &clipError));
        MAKE_CLIP(MakeToneAudioClip(Clip("one.mp3"), 2, 2, &clipError));
    }

    void streamsAreNamed() {
        TFilterGraph g;
        QCOMPARE(RenderClip(g, "two.mkv"), S_OK);
        TStreams s = FindStreams(g);
        QVERIFY(s.Select);
        const long count = s.Count();
        QVERIFY(count >= 0);
        // A title or language may follow the number (Matroska tracks are
        // English unless said otherwise).
        QStringList numbered;
        for (long i = 0; i < count; ++i) {
            QString name;
            s.Select->Info(i, &name, nullptr, nullptr);
            const QStringList words = name.split(' ');
            numbered << (words.size() >= 2 && words[0] == "Audio" ? words[0] + ' ' + words[1]
                                                                  : name);
        }
        numbered.sort();
        QCOMPARE(numbered, (QStringList{"Audio 1", "Audio 2", "Video"}));
        QVERIFY(Enabled(*s.Select, AudioIndex(*s.Select, 1)));
        QVERIFY(!Enabled(*s.Select, AudioIndex(*s.Select, 2)));
        // The file source is named by the file's path and says so.
        int sources = 0;
        for (auto& f : s.Filters) {
            if (auto src = Query<IFileSourceFilter>(f)) {
                ++sources;
                QString path, name;
                src->GetCurFile(&path);
                f->QueryFilterInfo(&name);
                QCOMPARE(path, Clip("two.mkv"));
                QCOMPARE(name, path);
            }
            // No MPEG dual-channel decoder exists here.
            QVERIFY(!Query<IMpegAudioDecoder>(f));
        }
        QCOMPARE(sources, 1);
    }

    void singleTrackFile() {
        TFilterGraph g;
        QCOMPARE(RenderClip(g, "one.mp3"), S_OK);
        TStreams s = FindStreams(g);
        QVERIFY(s.Select);
        QCOMPARE(s.Count(), 1L);
        QString name;
        s.Select->Info(0, &name, nullptr, nullptr);
        QCOMPARE(name, QStringLiteral("Audio 1"));
        QVERIFY(FAILED(s.Select->Info(1, &name, nullptr, nullptr)));
    }

    void enabledTrackIsHeardAtOnce() {
        TFilterGraph g;
        QCOMPARE(RenderClip(g, "two.mkv"), S_OK);
        QVERIFY(g.Play());
        TStreams s = FindStreams(g);
        QVERIFY(s.Select);
        QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 9600, WaitMs);
        QCOMPARE(TrackHeard(FRec->Samples(), 4800), 1);
        // Back and forth: each choice is the one heard, every time.
        for (int track : {2, 1, 2}) {
            const long index = AudioIndex(*s.Select, track);
            QVERIFY(index >= 0);
            const int64_t before = FRec->FrameCount();
            QCOMPARE(s.Select->Enable(index, AMSTREAMSELECTENABLE_ENABLE), S_OK);
            QVERIFY(Enabled(*s.Select, index));
            QVERIFY(!Enabled(*s.Select, AudioIndex(*s.Select, 3 - track)));
            // Half a second of sound after the choice...
            QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > before + 24000, WaitMs);
            const auto frames = FRec->Samples();
            int64_t switched = -1;
            for (int64_t f = before; f + 4800 <= before + 24000; f += 480)
                if (TrackHeard(frames, f) == track) {
                    switched = f;
                    break;
                }
            QVERIFY2(switched >= 0, "the chosen track was not heard");
            qInfo() << "track" << track << "heard after" << (switched - before) * 1000 / 48000
                    << "ms of sound";
            // ... and from then on only the chosen track.
            for (int64_t f = switched; f + 4800 <= before + 24000; f += 2400)
                QCOMPARE(TrackHeard(frames, f), track);
        }
    }
};

QTEST_MAIN(TestStreamSelect)
#include "TestStreamSelect.moc"
