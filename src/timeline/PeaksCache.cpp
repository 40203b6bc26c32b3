#include "timeline/PeaksCache.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Both files: kind, version, the media's size and time, then their own.
//   peaks:    u32 per second, i64 duration ms, u8 has audio, u32 count,
//             count x (i8 min, i8 max)
//   pictures: u8 has video, i64 interval ms, i64 duration ms, u32 count,
//             count x (i64 media ms, u32 length, length bytes of JPEG/PNG)
// Big-endian, nothing after the last field.
constexpr quint32 kPeaksKind = 0x5456504b;  // "TVPK"
constexpr quint32 kThumbsKind = 0x54565448; // "TVTH"
constexpr quint32 kVersion = 2;

// A temporary file of a write, "<name>.part-<16 hex digits>", left alone
// this long (a write in progress, maybe of another player), then removed.
constexpr time_t kStalePartSeconds = 3600;
constexpr char kPartMark[] = ".part-";

template <typename T> void Put(QByteArray& out, T v) {
    char b[sizeof(T)];
    qToBigEndian(v, b);
    out.append(b, sizeof(T));
}

void PutHead(QByteArray& out, quint32 kind, const TCachedMedia& media) {
    Put<quint32>(out, kind);
    Put<quint32>(out, kVersion);
    Put<qint64>(out, media.Size);
    Put<qint64>(out, media.ModifiedMs);
}

// Reads the fields in order; any read past the end fails this and every
// later read.
class TCursor {
public:
    explicit TCursor(const QByteArray& bytes) : bytes_(bytes) {}
    template <typename T> T Get() {
        if (!ok_ || Left() < qsizetype(sizeof(T))) {
            ok_ = false;
            return T{};
        }
        const T v = qFromBigEndian<T>(bytes_.constData() + pos_);
        pos_ += sizeof(T);
        return v;
    }
    bool GetBool() {
        const quint8 v = Get<quint8>();
        if (v > 1)
            ok_ = false;
        return v == 1;
    }
    const char* Take(qsizetype n) {
        if (!ok_ || n < 0 || Left() < n) {
            ok_ = false;
            return nullptr;
        }
        const char* p = bytes_.constData() + pos_;
        pos_ += n;
        return p;
    }
    qsizetype Left() const { return bytes_.size() - pos_; }
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && pos_ == bytes_.size(); }

private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

bool HeadMatches(TCursor& in, quint32 kind, const TCachedMedia& media) {
    const quint32 k = in.Get<quint32>();
    const quint32 version = in.Get<quint32>();
    const qint64 size = in.Get<qint64>();
    const qint64 modified = in.Get<qint64>();
    return in.Ok() && k == kind && version == kVersion && size == media.Size &&
           modified == media.ModifiedMs;
}

bool IsThumbSize(const QSize& s) {
    return s == QSize(PeaksCache::ThumbWidth, PeaksCache::ThumbHeight);
}

// One stored picture: a JPEG or PNG of the pictures' size, decoded only when
// its header says so.
QImage ReadThumb(const char* data, qsizetype size) {
    QByteArray bytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(1); // MB; a picture is 56 KB
    if (!reader.canRead())
        return {};
    const QByteArray format = reader.format();
    if (format != "jpeg" && format != "png")
        return {};
    if (!IsThumbSize(reader.size()))
        return {};
    const QImage img = reader.read();
    if (!IsThumbSize(img.size()))
        return {};
    return img.convertToFormat(QImage::Format_RGB32);
}

QByteArray StoreThumb(const QImage& img) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    if (!img.save(&b, "JPG", 85)) {
        bytes.clear();
        b.seek(0);
        if (!img.save(&b, "PNG"))
            return {};
    }
    return bytes;
}

bool IsOurs(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool IsPlainName(const QByteArray& name) {
    return !name.isEmpty() && !name.contains('/') && name != "." && name != "..";
}

bool EndsWith(const char* name, const char* suffix) {
    const size_t n = std::strlen(name), s = std::strlen(suffix);
    return n > s && std::strcmp(name + n - s, suffix) == 0;
}

} // namespace

namespace PeaksCache {

QByteArray WritePeaks(const TCachedMedia& media, const TCachedPeaks& peaks) {
    if (peaks.DurationMs < 0 || peaks.DurationMs > MaxDurationMs ||
        int64_t(peaks.Peaks.size()) > MaxPeaks)
        return {};
    QByteArray out;
    out.reserve(qsizetype(64 + peaks.Peaks.size() * 2));
    PutHead(out, kPeaksKind, media);
    Put<quint32>(out, PeaksPerSecond);
    Put<qint64>(out, peaks.DurationMs);
    Put<quint8>(out, peaks.HasAudio ? 1 : 0);
    Put<quint32>(out, quint32(peaks.Peaks.size()));
    for (const TPeak& p : peaks.Peaks) {
        out.append(char(p.Min));
        out.append(char(p.Max));
    }
    return out;
}

std::optional<TCachedPeaks> ReadPeaks(const QByteArray& bytes, const TCachedMedia& media) {
    if (bytes.size() > MaxPeaksFileBytes)
        return std::nullopt;
    TCursor in(bytes);
    if (!HeadMatches(in, kPeaksKind, media))
        return std::nullopt;
    TCachedPeaks r;
    const quint32 perSecond = in.Get<quint32>();
    r.DurationMs = in.Get<qint64>();
    r.HasAudio = in.GetBool();
    const quint32 count = in.Get<quint32>();
    // The count against what the file holds before anything is allocated.
    if (!in.Ok() || perSecond != PeaksPerSecond || r.DurationMs < 0 ||
        r.DurationMs > MaxDurationMs || count > MaxPeaks || in.Left() != qsizetype(count) * 2)
        return std::nullopt;
    const char* p = in.Take(qsizetype(count) * 2);
    r.Peaks.resize(count);
    for (quint32 i = 0; i < count; ++i)
        r.Peaks[i] = {int8_t(p[2 * i]), int8_t(p[2 * i + 1])};
    return r;
}

QByteArray WriteThumbs(const TCachedMedia& media, const TCachedThumbs& thumbs) {
    if (thumbs.Thumbs.size() > MaxThumbs || thumbs.DurationMs < 0 ||
        thumbs.DurationMs > MaxDurationMs || thumbs.IntervalMs < 0 ||
        thumbs.IntervalMs > MaxDurationMs ||
        (!thumbs.Thumbs.isEmpty() && (!thumbs.HasVideo || thumbs.IntervalMs == 0)))
        return {};
    QByteArray out;
    PutHead(out, kThumbsKind, media);
    Put<quint8>(out, thumbs.HasVideo ? 1 : 0);
    Put<qint64>(out, thumbs.IntervalMs);
    Put<qint64>(out, thumbs.DurationMs);
    Put<quint32>(out, quint32(thumbs.Thumbs.size()));
    for (auto it = thumbs.Thumbs.begin(); it != thumbs.Thumbs.end(); ++it) {
        // The reader's checks, so that what is written is read back.
        if (it.key() < 0 || it.key() > thumbs.DurationMs || it.key() % thumbs.IntervalMs != 0 ||
            !IsThumbSize(it.value().size()))
            return {};
        const QByteArray bytes = StoreThumb(it.value());
        if (bytes.isEmpty() || bytes.size() > MaxThumbBytes)
            return {};
        Put<qint64>(out, it.key());
        Put<quint32>(out, quint32(bytes.size()));
        out.append(bytes);
    }
    return out;
}

std::optional<TCachedThumbs> ReadThumbs(const QByteArray& bytes, const TCachedMedia& media) {
    if (bytes.size() > MaxThumbsFileBytes)
        return std::nullopt;
    TCursor in(bytes);
    if (!HeadMatches(in, kThumbsKind, media))
        return std::nullopt;
    TCachedThumbs r;
    r.HasVideo = in.GetBool();
    r.IntervalMs = in.Get<qint64>();
    r.DurationMs = in.Get<qint64>();
    const quint32 count = in.Get<quint32>();
    // Each picture takes at least its time and length.
    if (!in.Ok() || r.DurationMs < 0 || r.DurationMs > MaxDurationMs || r.IntervalMs < 0 ||
        r.IntervalMs > MaxDurationMs || count > quint32(MaxThumbs) ||
        in.Left() < qsizetype(count) * 12 || (count > 0 && (!r.HasVideo || r.IntervalMs == 0)))
        return std::nullopt;
    int64_t last = -1;
    for (quint32 i = 0; i < count; ++i) {
        const qint64 at = in.Get<qint64>();
        const quint32 length = in.Get<quint32>();
        if (!in.Ok() || at <= last || at > r.DurationMs || at % r.IntervalMs != 0 ||
            length > quint32(MaxThumbBytes))
            return std::nullopt;
        const char* data = in.Take(qsizetype(length));
        if (!data)
            return std::nullopt;
        const QImage img = ReadThumb(data, qsizetype(length));
        if (img.isNull())
            return std::nullopt;
        r.Thumbs.insert(at, img);
        last = at;
    }
    if (!in.AtEnd())
        return std::nullopt;
    return r;
}

} // namespace PeaksCache

TCacheFolder::TCacheFolder(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST) {
        refusal_ = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    // The folder itself, never what a link of that name points to.
    const int fd = ::open(p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        refusal_ = errno == ELOOP || errno == ENOTDIR
                       ? QStringLiteral("it is a link or not a folder")
                       : QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        refusal_ = QStringLiteral("it is another user's");
        ::close(fd);
        return;
    }
    // Made open by an older version (or by hand): ours, so closed now.
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        refusal_ = QStringLiteral("it is open to others and cannot be closed");
        ::close(fd);
        return;
    }
    fd_ = fd;
}

TCacheFolder::~TCacheFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<QByteArray> TCacheFolder::Read(const QString& name, int64_t maxBytes) const {
    const QByteArray n = QFile::encodeName(name);
    if (fd_ < 0 || !IsPlainName(n))
        return std::nullopt;
    // Non-blocking: a pipe of that name would hold the open up for ever.
    const int fd = ::openat(fd_, n.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && IsOurs(st) && st.st_size <= maxBytes) {
        QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t r = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += r;
        }
        if (got == bytes.size())
            result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

void TCacheFolder::Touch(const QString& name) const {
    const QByteArray n = QFile::encodeName(name);
    if (fd_ >= 0 && IsPlainName(n))
        ::utimensat(fd_, n.constData(), nullptr, AT_SYMLINK_NOFOLLOW);
}

bool TCacheFolder::Write(const QString& name, const QByteArray& data) const {
    const QByteArray n = QFile::encodeName(name);
    if (fd_ < 0 || !IsPlainName(n))
        return false;
    // A new name of our own (O_EXCL: never a file or link that is there).
    QByteArray part;
    int fd = -1;
    for (int tries = 0; tries < 8 && fd < 0; ++tries) {
        part = n + kPartMark + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        fd = ::openat(fd_, part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t w = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += w;
    }
    const bool written = ::close(fd) == 0 && done == data.size();
    // The rename replaces whatever has the name, a link too, not its target.
    if (written && ::renameat(fd_, part.constData(), fd_, n.constData()) == 0)
        return true;
    ::unlinkat(fd_, part.constData(), 0);
    return false;
}

void TCacheFolder::Prune(int64_t maxBytes) const {
    if (fd_ < 0)
        return;
    const int listFd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    struct TEntry {
        QByteArray name;
        struct timespec used;
        int64_t size;
    };
    std::vector<TEntry> kept;
    const time_t now = ::time(nullptr);
    int64_t total = 0;
    // Our own files only: links, folders, other users' and other kinds of
    // file are left alone.
    while (const dirent* e = ::readdir(dir)) {
        const bool result = EndsWith(e->d_name, ".peaks") || EndsWith(e->d_name, ".thumbs");
        const bool part = std::strstr(e->d_name, kPartMark) != nullptr;
        struct stat st {};
        if ((!result && !part) || ::fstatat(fd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !IsOurs(st))
            continue;
        if (part) {
            if (now - st.st_mtim.tv_sec > kStalePartSeconds)
                ::unlinkat(fd_, e->d_name, 0);
            continue;
        }
        kept.push_back({QByteArray(e->d_name), st.st_mtim, int64_t(st.st_size)});
        total += st.st_size;
    }
    ::closedir(dir);
    // The oldest by their time, which a read from the cache renews.
    std::sort(kept.begin(), kept.end(), [](const TEntry& a, const TEntry& b) {
        return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec
                                              : a.used.tv_nsec < b.used.tv_nsec;
    });
    for (const TEntry& f : kept) {
        if (total <= maxBytes)
            break;
        if (::unlinkat(fd_, f.name.constData(), 0) == 0)
            total -= f.size;
    }
}
