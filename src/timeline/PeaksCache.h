// The timeline's results kept on disk: the form of a cache file, and the
// cache folder itself.
//
// A cache file is read whole into memory and parsed from there; anything
// that is not exactly what the writer makes (another kind or version, the
// results of another file, counts that the file's bytes cannot hold or that
// no media gives, pictures of another size, bytes after the end) is
// refused, and the results are computed again.
//
// The folder is used only when it is a real folder of this user's, closed
// to others; every file in it is opened without following a link, and
// written through a temporary file of its own that is renamed over it, so
// that nothing planted in the folder can send a write anywhere else.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// One bucket of the envelope: the lowest and highest sample, full scale 127.
struct TPeak {
    int8_t Min = 0;
    int8_t Max = 0;
};

// The media file the results were made from, as it was then: a cache file
// of another size or time is another file's.
struct TCachedMedia {
    int64_t Size = 0;
    int64_t ModifiedMs = 0;
};

struct TCachedPeaks {
    std::vector<TPeak> Peaks; // PeaksPerSecond buckets a second
    bool HasAudio = false;
    int64_t DurationMs = 0;
};

struct TCachedThumbs {
    QMap<int64_t, QImage> Thumbs; // media ms → ThumbWidth x ThumbHeight picture
    bool HasVideo = false;
    int64_t IntervalMs = 0;
    int64_t DurationMs = 0;
};

namespace PeaksCache {

constexpr int PeaksPerSecond = 100;
constexpr int ThumbWidth = 160;
constexpr int ThumbHeight = 90;

// Results are kept for media of up to two days.
constexpr int64_t MaxDurationMs = 48LL * 3600 * 1000;
// Twice the buckets of the longest media (a decoder's odd rate gives a few
// more than its duration says).
constexpr int64_t MaxPeaks = MaxDurationMs / 1000 * PeaksPerSecond * 2;
// About 120 for a long file; one a second for short ones.
constexpr int MaxThumbs = 256;
// One picture, stored (JPEG, or PNG when JPEG cannot be written).
constexpr int MaxThumbBytes = 256 << 10;
// The largest files the writer makes; a larger one is not read.
constexpr int64_t MaxPeaksFileBytes = 64 + MaxPeaks * 2;
constexpr int64_t MaxThumbsFileBytes = 64 + int64_t(MaxThumbs) * (12 + MaxThumbBytes);

// The file's bytes, or empty when the results are outside the bounds above
// (they are then not kept).
QByteArray WritePeaks(const TCachedMedia& media, const TCachedPeaks& peaks);
QByteArray WriteThumbs(const TCachedMedia& media, const TCachedThumbs& thumbs);

// The results in bytes (a whole file) when they are well formed and were
// made from media; nothing otherwise.
std::optional<TCachedPeaks> ReadPeaks(const QByteArray& bytes, const TCachedMedia& media);
std::optional<TCachedThumbs> ReadThumbs(const QByteArray& bytes, const TCachedMedia& media);

} // namespace PeaksCache

// The cache folder, opened once and used through its handle: created when
// missing (mode 0700), closed to others when it is this user's but open,
// refused when it is a link, not a folder, or another user's.
class TCacheFolder {
public:
    explicit TCacheFolder(const QString& path);
    ~TCacheFolder();
    TCacheFolder(const TCacheFolder&) = delete;
    TCacheFolder& operator=(const TCacheFolder&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the folder is not used ("" when it is).
    QString Refusal() const { return refusal_; }

    // The content of name, a plain file of this user's in the folder (not a
    // link, not larger than maxBytes); nothing otherwise.
    std::optional<QByteArray> Read(const QString& name, int64_t maxBytes) const;
    // Marks name as just used (its time, which pruning goes by).
    void Touch(const QString& name) const;
    // Replaces name with data: a new file beside it, renamed over it.
    bool Write(const QString& name, const QByteArray& data) const;
    // Removes the least recently used results (*.peaks, *.thumbs) until the
    // folder holds at most maxBytes of them, and temporary files that a
    // writer stopped in the middle left.
    void Prune(int64_t maxBytes) const;

private:
    int fd_ = -1;
    QString refusal_;
};
