// The timeline's cache files as the reader meets them: any bytes either are
// refused or give results inside the bounds, made from the media they name
// only, which the writer writes back to the same bytes (the peaks) or to a
// file that reads back to the same results (the pictures, stored anew).
#include "FuzzKit.h"

#include "timeline/PeaksCache.h"

#include <cstdint>

namespace {

// The media the seeds were written for.
constexpr TCachedMedia kMedia{4'000'000, 1'700'000'000'000};
constexpr TCachedMedia kOtherMedia{kMedia.Size + 1, kMedia.ModifiedMs};

void CheckPeaks(const QByteArray& bytes) {
    const std::optional<TCachedPeaks> r = PeaksCache::ReadPeaks(bytes, kMedia);
    if (!r)
        return;
    FUZZ_CHECK(bytes.size() <= PeaksCache::MaxPeaksFileBytes);
    FUZZ_CHECK(int64_t(r->Peaks.size()) <= PeaksCache::MaxPeaks);
    FUZZ_CHECK(r->DurationMs >= 0 && r->DurationMs <= PeaksCache::MaxDurationMs);
    FUZZ_CHECK(!PeaksCache::ReadPeaks(bytes, kOtherMedia));
    FUZZ_CHECK(PeaksCache::WritePeaks(kMedia, *r) == bytes);
}

void CheckThumbs(const QByteArray& bytes) {
    const std::optional<TCachedThumbs> r = PeaksCache::ReadThumbs(bytes, kMedia);
    if (!r)
        return;
    FUZZ_CHECK(r->Thumbs.size() <= PeaksCache::MaxThumbs);
    FUZZ_CHECK(r->DurationMs >= 0 && r->DurationMs <= PeaksCache::MaxDurationMs);
    FUZZ_CHECK(r->Thumbs.isEmpty() || (r->HasVideo && r->IntervalMs > 0));
    for (auto it = r->Thumbs.begin(); it != r->Thumbs.end(); ++it) {
        FUZZ_CHECK(it.key() >= 0 && it.key() <= r->DurationMs && it.key() % r->IntervalMs == 0);
        FUZZ_CHECK(it.value().size() == QSize(PeaksCache::ThumbWidth, PeaksCache::ThumbHeight));
        FUZZ_CHECK(it.value().format() == QImage::Format_RGB32);
    }
    FUZZ_CHECK(!PeaksCache::ReadThumbs(bytes, kOtherMedia));
    const std::optional<TCachedThumbs> again =
        PeaksCache::ReadThumbs(PeaksCache::WriteThumbs(kMedia, *r), kMedia);
    FUZZ_CHECK(again && again->Thumbs.keys() == r->Thumbs.keys());
    FUZZ_CHECK(again->HasVideo == r->HasVideo && again->IntervalMs == r->IntervalMs &&
               again->DurationMs == r->DurationMs);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The picture decoders' complaints about broken data, once per input.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckPeaks(bytes);
    CheckThumbs(bytes);
    return 0;
}
