// A fresh graph for every start from rest, many times over: nothing may
// accumulate (threads, file descriptors, memory).
#include "MediaTestKit.h"

#include "media/LoaderPages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest>

#include <gst/gst.h>
#include <link.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (its header is not installed with GCC here).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

int CountEntries(const char* dir) {
    return int(
        QDir(QString::fromLatin1(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

// Bytes of heap in use by the program (not what the allocator keeps aside).
int64_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return int64_t(__sanitizer_get_current_allocated_bytes());
#else
    return int64_t(mallinfo2().uordblks);
#endif
}

struct TUsage {
    int Threads, Files;
    int64_t Heap;
};

TUsage Usage() {
    return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd"), HeapInUse()};
}

// Resident kilobytes of mapped files (libraries, fonts).
int64_t ResidentFileKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("RssFile:"))
            return line.mid(8).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Reads a byte of every page of each library's first, read-only segment.
int64_t TouchLoaderPages() {
    int64_t sum = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type == PT_LOAD && ph.p_offset == 0 && ph.p_flags == PF_R) {
                    const auto* at =
                        reinterpret_cast<const volatile char*>(info->dlpi_addr + ph.p_vaddr);
                    for (size_t b = 0; b < ph.p_filesz; b += 4096)
                        *static_cast<int64_t*>(out) += at[b];
                }
            }
            return 0;
        },
        &sum);
    return sum;
}

} // namespace

class TestGraphLifecycle : public QObject, TMediaFixture {
    Q_OBJECT

private slots:
    void initTestCase() {
        StartMediaTests();
        MAKE_CLIP(MakeToneVideoClip(Clip("clip.mp4"), 3, 1, &clipError));
        MAKE_CLIP(MakeWavClip(Clip("other.wav"), 1.5, 16, 2, &clipError));
    }

    // A file opens while events are handled (the window keeps answering), so
    // a handler may act on the graph meanwhile: what it did stands, the open
    // under way gives up if its pipeline is gone, and the graph plays on.
    void handlerDuringOpen_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<HRESULT>("outer");
        QTest::addColumn<int>("durationAfter"); // ms of the file playable afterwards
        QTest::newRow("stop") << "stop" << S_OK << 3000;
        QTest::newRow("play (refused)") << "play" << S_OK << 3000;
        QTest::newRow("seek") << "seek" << S_OK << 3000;
        QTest::newRow("empty the graph") << "empty" << E_ABORT << 0;
        QTest::newRow("render another file") << "render" << E_ABORT << 1500;
        QTest::newRow("deactivate") << "deactivate" << E_ABORT << 0;
        QTest::newRow("destroy") << "destroy" << E_ABORT << 0;
    }
    void handlerDuringOpen() {
        QFETCH(QString, action);
        QFETCH(HRESULT, outer);
        QFETCH(int, durationAfter);
        auto g = std::make_unique<TFilterGraph>();
        g->SetActive(true);
        bool opening = false, ranInside = false;
        HRESULT nested = S_OK;
        QTimer::singleShot(0, [&] {
            ranInside = opening;
            if (action == "stop")
                g->Stop();
            else if (action == "play")
                nested = g->Play() ? S_OK : E_FAIL;
            else if (action == "seek") {
                int64_t at = 20000000;
                nested = g->QueryInterface<IMediaSeeking>()->SetPositions(
                    &at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
            } else if (action == "empty")
                g->EmptyGraph();
            else if (action == "render")
                nested = g->RenderFile(Clip("other.wav"));
            else if (action == "deactivate")
                g->SetActive(false);
            else
                g.reset();
        });
        opening = true;
        TFilterGraph* graph = g.get();
        const HRESULT hr = graph->RenderFile(Clip("clip.mp4"));
        opening = false;
        QVERIFY(ranInside);
        QCOMPARE(hr, outer);
        QCOMPARE(nested, action == "play" ? E_FAIL : S_OK);
        if (!g)
            return;
        QCOMPARE(g->State(), g->Active() ? gsStopped : gsNone);
        if (durationAfter == 0) {
            g->SetActive(true);
            QCOMPARE(g->RenderFile(Clip("clip.mp4")), S_OK);
            durationAfter = 3000;
        }
        FRec->Clear();
        QVERIFY(g->Play());
        QCOMPARE(g->State(), gsPlaying);
        if (action == "seek") {
            // Kept while the file opened, and where the sound starts.
            QTRY_VERIFY_WITH_TIMEOUT(FRec->FrameCount() > 4800, WaitMs);
            const int64_t landing = FRec->Chunks().front().Position - 20000000;
            QVERIFY2(std::llabs(landing) <= 10000, qPrintable(QString::number(landing)));
        }
        QVERIFY2(std::abs(g->Duration() - durationAfter) < 100,
                 qPrintable(QString::number(g->Duration())));
    }

    // The loader's pages go out of the resident set, and what they held is
    // still found: a plugin linked in afterwards, a graph that plays (the
    // cycles below release them on every open).
    void loaderPagesHandedBack() {
        const int64_t before = ResidentFileKb();
        const int64_t sum = TouchLoaderPages();
        const int64_t touched = ResidentFileKb();
        QElapsedTimer took;
        took.start();
        const size_t released = ReleaseLoaderPages();
        const qint64 us = took.nsecsElapsed() / 1000;
        qInfo() << "resident file pages (KB): before" << before << "all read" << touched
                << "released" << ResidentFileKb() << "(" << released / 1024 << "KB advised in" << us
                << "us)";
        QVERIFY(released > 1024 * 1024);
        QVERIFY(ResidentFileKb() < touched - 1024);
        QCOMPARE(TouchLoaderPages(), sum);
        gst_init(nullptr, nullptr);
        g_autoptr(GstElement) box = gst_element_factory_make("videobox", nullptr);
        QVERIFY(box);
    }

    // The start-from-rest steps of the section engine, cycle after cycle.
    void reactivationLeaksNothing() {
        TShownGraph shown(QSize(320, 240), true);
        TFilterGraph& g = shown.Graph;
        shown.Grabber.SetOnBuffer(
            [](QObject*, double, uint8_t* b, int32_t n) { CopyChannel(b, n, 16, 1); });
        shown.Form.show();
        const QString clip = Clip("clip.mp4");
        auto cycle = [&] {
            g.Stop();
            g.EmptyGraph();
            g.SetActive(false);
            if (!g.Active())
                g.SetActive(true);
            QCOMPARE(g.RenderFile(clip), S_OK);
            g.SetVolume(9000);
            FRec->Clear();
            QVERIFY(g.Play());
            QVERIFY(QTest::qWaitFor([&] { return FRec->FrameCount() > 0; }, WaitMs));
            QVERIFY(g.Duration() > 2900);
        };
        constexpr int WarmUp = 10, Cycles = 100;
        for (int i = 0; i < WarmUp; ++i)
            cycle();
        const TUsage before = Usage();
        for (int i = WarmUp; i < Cycles; ++i)
            cycle();
        g.Stop();
        g.EmptyGraph();
        // Idle GStreamer pool threads end on their own after a moment.
        QTRY_VERIFY_WITH_TIMEOUT(Usage().Threads <= before.Threads, WaitMs);
        const TUsage after = Usage();
        qInfo() << "after" << WarmUp << "and" << Cycles << "cycles: threads" << before.Threads
                << after.Threads << "files" << before.Files << after.Files << "heap" << before.Heap
                << after.Heap << "(" << (after.Heap - before.Heap) / (Cycles - WarmUp)
                << "bytes per cycle)";
        QVERIFY(after.Threads <= before.Threads);
        QVERIFY(after.Files <= before.Files);
        // Caches of GLib and GStreamer may settle a little; a leak of even
        // one frame per cycle would be far more.
        QVERIFY((after.Heap - before.Heap) / (Cycles - WarmUp) < 4096);
    }
};

QTEST_MAIN(TestGraphLifecycle)
#include "TestGraphLifecycle.moc"
