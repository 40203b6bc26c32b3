#include "utPublic/GbkCodec.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One conversion descriptor per call: iconv keeps shift state in it, and the
// INI service is called seldom enough that caching buys nothing.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (Ok())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

// Converts in; on an unconvertible or invalid input sequence calls onBad with
// the output so far and the number of input bytes to skip (0 = stop).
template <typename OnBad>
bool Convert(const char* to, const char* from, const QByteArray& in, QByteArray* out, OnBad onBad) {
    IconvHandle cd(to, from);
    if (!cd.Ok())
        return false;
    out->clear();
    bool clean = true;
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = size_t(in.size());
    QByteArray buf(qMax<qsizetype>(64, in.size() * 2), Qt::Uninitialized);
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = size_t(buf.size());
        const size_t rc = iconv(cd.Get(), &src, &srcLeft, &dst, &dstLeft);
        out->append(buf.constData(), buf.size() - qsizetype(dstLeft));
        if (rc != size_t(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ (not convertible) or EINVAL (cut off at the end).
        clean = false;
        const size_t skip = onBad(out, errno == EINVAL ? srcLeft : size_t(1));
        if (skip == 0)
            return false;
        src += skip;
        srcLeft -= skip;
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return clean;
}

} // namespace

namespace GbkCodec {

bool Decode(const QByteArray& bytes, QString* out) {
    QByteArray utf8;
    const bool clean = Convert("UTF-8", "GBK", bytes, &utf8, [](QByteArray* o, size_t skip) {
        o->append("\xEF\xBF\xBD"); // U+FFFD for the unreadable byte
        return skip;
    });
    *out = QString::fromUtf8(utf8);
    return clean;
}

bool Encode(QStringView text, QByteArray* out) {
    bool refused = false;
    Convert("GBK", "UTF-8", text.toUtf8(), out, [&refused](QByteArray*, size_t) {
        refused = true;
        return size_t(0);
    });
    return !refused;
}

bool Fits(QStringView text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            QByteArray ignored;
            return Encode(text, &ignored);
        }
    return true;
}

} // namespace GbkCodec

namespace {

// Length of the valid UTF-8 character at p (1 for ASCII), or 0 when the byte
// at p starts none.
int Utf8CharLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80)
        return 1;
    int more;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (end - p <= more)
        return 0;
    for (int k = 1; k <= more; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    if ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return more + 1;
}

} // namespace

bool IsValidUtf8(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const int n = Utf8CharLength(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

Utf8Tally TallyUtf8(const QByteArray& bytes) {
    Utf8Tally t;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const int n = Utf8CharLength(p, end);
        if (n == 0)
            ++t.invalid;
        else if (n == 2)
            ++t.twoByte;
        else if (n > 2)
            ++t.longer;
        p += n == 0 ? 1 : n;
    }
    return t;
}

bool LooksLikeGbk(const QByteArray& bytes) {
    const Utf8Tally t = TallyUtf8(bytes);
    return 2 * t.invalid > 4 * t.longer + t.twoByte;
}
