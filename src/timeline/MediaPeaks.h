// What the timeline shows of a media file, computed in the background: the
// sound's peak envelope and a strip of small pictures.
//
// Open() starts one worker thread per file. It first looks in the cache
// folder (CacheFolder(), ~/.cache/tavrelo/, see PeaksCache.h): a file of the
// same size, time and first and last MiB gives its results at once. Otherwise the sound is
// decoded by its own GStreamer pipeline to an appsink at the fastest rate
// (sync off), folded into PeaksPerSecond minimum/maximum pairs a second, and
// handed over in pieces as it comes; the pictures come from key-frame seeks
// into a 160x90 appsink, coarse first (every 16th), then filled in. Nothing
// of it runs on the thread that owns the object; results arrive there as
// queued calls, and Updated() says something new is there.
#pragma once

#include "timeline/PeaksCache.h"

#include <QImage>
#include <QMap>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TMediaPeaks : public QObject {
    Q_OBJECT
public:
    static constexpr int PeaksPerSecond = PeaksCache::PeaksPerSecond;
    static constexpr int ThumbWidth = PeaksCache::ThumbWidth;
    static constexpr int ThumbHeight = PeaksCache::ThumbHeight;

    explicit TMediaPeaks(QObject* parent = nullptr);
    ~TMediaPeaks() override;

    // Starts over for `path`; audioTrack counts the file's sound tracks from
    // 0. Opening the same file and track again does nothing.
    void Open(const QString& path, int audioTrack = 0);
    // Stops the work and forgets the file.
    void Close();

    QString File() const { return path_; }
    int AudioTrack() const { return track_; }
    // Peaks of [0, Peaks().size() / PeaksPerSecond) seconds so far.
    const std::vector<TPeak>& Peaks() const { return peaks_; }
    // Media milliseconds → picture, for the pictures made so far.
    const QMap<int64_t, QImage>& Thumbs() const { return thumbs_; }
    // The distance between two pictures, ms (0 while unknown).
    int64_t ThumbIntervalMs() const { return thumbInterval_; }
    int64_t DurationMs() const { return duration_; }
    // 0..1 for the sound (the pictures come beside it).
    double Progress() const { return progress_; }
    bool Finished() const { return peaksDone_ && thumbsDone_; }
    // Known once the streams are found: the file has sound / a picture.
    bool HasAudio() const { return hasAudio_; }
    bool HasVideo() const { return hasVideo_; }
    // The results came from the cache folder.
    bool FromCache() const { return fromCache_; }
    // Why nothing can be shown ("Cannot read <file>: <reason>"), else empty.
    QString ErrorText() const { return error_; }

    // ~/.cache/tavrelo/ (the user's cache location); tests point
    // XDG_CACHE_HOME elsewhere.
    static QString CacheFolder();
    // Removes the least recently used results from the cache folder until
    // it holds at most maxBytes (a file read from the cache counts as used);
    // a folder that is not used (see TCacheFolder) is left alone.
    static void PruneCache(qint64 maxBytes = CacheLimitBytes);
    // About 300 files of an hour each, or many more short ones.
    static constexpr qint64 CacheLimitBytes = 256LL << 20;

signals:
    // New peaks, pictures, progress, or the end of the work.
    void Updated();

private:
    struct TJob;
    void StopJob();
    // Queued from the worker: the calls below run on the owner's thread.
    void Receive(uint64_t generation, const std::function<void(TMediaPeaks&)>& change);
    // error_ from what each half found, once both have ended.
    void SettleError();

    QString path_;
    int track_ = 0;
    uint64_t generation_ = 0;
    std::shared_ptr<TJob> job_;
    // Cancelled jobs still ending; joined once ended, or when the object goes.
    std::vector<std::shared_ptr<TJob>> retired_;
    QString lastPicturesOf_; // the file the pictures belong to

    std::vector<TPeak> peaks_;
    QMap<int64_t, QImage> thumbs_;
    int64_t thumbInterval_ = 0;
    int64_t duration_ = 0;
    double progress_ = 0;
    bool peaksDone_ = false;
    bool thumbsDone_ = false;
    bool hasAudio_ = false;
    bool hasVideo_ = false;
    bool fromCache_ = false;
    QString error_;
    QString audioError_;
    QString videoError_;
    friend struct TMediaPeaksWork;
};
