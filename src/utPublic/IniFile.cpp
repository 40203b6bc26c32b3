#include "utPublic/IniFile.h"

#include "utPublic/AtomicFile.h"
#include "utPublic/GbkCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A CR counts as a blank: a bare CR at the end of a file (or of a line the
// next LF does not follow) is no part of a name or value.
bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

QStringView TrimBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool SameName(QStringView a, QStringView b) {
    return TrimBlanks(a).compare(TrimBlanks(b), Qt::CaseInsensitive) == 0;
}

// What a line is, judged from its decoded text.
struct LineKind {
    enum { Other, Section, Entry } kind = Other;
    QStringView name;  // section or key name, trimmed
    QStringView value; // entry value, trimmed
};

LineKind Classify(QStringView text) {
    LineKind k;
    const QStringView t = TrimBlanks(text);
    if (t.startsWith(u'[')) {
        k.kind = LineKind::Section;
        QStringView inner = t.mid(1);
        const qsizetype close = inner.indexOf(u']');
        if (close >= 0)
            inner = inner.left(close);
        k.name = TrimBlanks(inner);
        return k;
    }
    if (t.startsWith(u';'))
        return k;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0)
        return k;
    k.kind = LineKind::Entry;
    k.name = TrimBlanks(t.left(eq));
    k.value = TrimBlanks(t.mid(eq + 1));
    return k;
}

int EncodedSize(char32_t cp, IniDocument::Encoding encoding) {
    if (cp < 0x80)
        return 1;
    if (encoding == IniDocument::Encoding::Gbk)
        return 2;
    return cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

} // namespace

QString OneLine(const QString& text) {
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(u'\r', u' ');
    out.replace(u'\n', u' ');
    return out;
}

QString CutToEncodedBytes(const QString& text, IniDocument::Encoding encoding, int maxBytes) {
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        char32_t cp = text[i].unicode();
        qsizetype units = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        used += EncodedSize(cp, encoding);
        if (used > maxBytes)
            return text.left(i);
        i += units;
    }
    return text;
}

namespace {

const char kGbkMarker[] = "; encoding: GBK";
const char kUtf8Marker[] = "; encoding: UTF-8";

// The encoding a marker comment line names, if it is one.
std::optional<IniDocument::Encoding> MarkerOf(QByteArrayView line) {
    const QByteArrayView t = line.trimmed();
    if (!t.startsWith(';'))
        return std::nullopt;
    const QByteArrayView body = t.sliced(1).trimmed();
    auto same = [&body](const char* marker) {
        return body.compare(QByteArrayView(marker + 1).trimmed(), Qt::CaseInsensitive) == 0;
    };
    if (same(kGbkMarker))
        return IniDocument::Encoding::Gbk;
    if (same(kUtf8Marker))
        return IniDocument::Encoding::Utf8;
    return std::nullopt;
}

// The encoding a marker line anywhere in the bytes names.
std::optional<IniDocument::Encoding> FindMarker(const QByteArray& bytes) {
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        qsizetype first = pos;
        while (first < end && (bytes[first] == ' ' || bytes[first] == '\t'))
            ++first;
        if (first < end && bytes[first] == ';')
            if (const auto e = MarkerOf(QByteArrayView(bytes).sliced(pos, end - pos)))
                return e;
        pos = end + 1;
    }
    return std::nullopt;
}

QString DecodeAs(IniDocument::Encoding encoding, const QByteArray& bytes) {
    if (encoding == IniDocument::Encoding::Utf8)
        return QString::fromUtf8(bytes);
    QString text;
    GbkCodec::Decode(bytes, &text);
    return text;
}

} // namespace

IniDocument::Encoding IniDocument::Detect(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8;
    if (const auto marked = FindMarker(bytes))
        return *marked;
    return LooksLikeGbk(bytes) ? Encoding::Gbk : Encoding::Utf8;
}

IniDocument IniDocument::Parse(const QByteArray& bytes) {
    IniDocument doc;
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        doc.bom_ = body.left(3);
        body.remove(0, 3);
    }
    // Trailing blanks are the padding of an interrupted in-place write.
    qsizetype size = body.size();
    while (size > 0 && body[size - 1] == ' ')
        --size;
    body.truncate(size);
    doc.encoding_ = doc.bom_.isEmpty() ? Detect(body) : Encoding::Utf8;

    // LF and CR are single bytes in both encodings and never part of a GBK or
    // UTF-8 character, so decoding the whole body and splitting it at LF gives
    // the lines' texts; each line is decoded alone should the counts differ.
    const QString text = DecodeAs(doc.encoding_, body);
    const bool together = text.count(u'\n') == body.count('\n');
    qsizetype bytePos = 0;
    qsizetype textPos = 0;
    while (bytePos < body.size()) {
        Line line;
        qsizetype byteEnd = body.indexOf('\n', bytePos);
        if (byteEnd < 0)
            byteEnd = body.size();
        else
            line.eol = "\n";
        qsizetype rawLen = byteEnd - bytePos;
        if (!line.eol.isEmpty() && rawLen > 0 && body[byteEnd - 1] == '\r') {
            line.eol = "\r\n";
            --rawLen;
        }
        line.raw = body.mid(bytePos, rawLen);
        if (together) {
            qsizetype textEnd = text.indexOf(u'\n', textPos);
            if (textEnd < 0)
                textEnd = text.size();
            qsizetype textLen = textEnd - textPos;
            if (line.eol == "\r\n" && textLen > 0 && text[textEnd - 1] == u'\r')
                --textLen;
            line.text = text.mid(textPos, textLen);
            textPos = textEnd + 1;
        } else {
            line.text = DecodeAs(doc.encoding_, line.raw);
        }
        doc.lines_.append(line);
        bytePos = byteEnd + 1;
    }
    return doc;
}

QByteArray IniDocument::Serialize() const {
    Encoding out = encoding_;
    if (out == Encoding::Gbk) {
        for (const Line& l : lines_)
            if (l.dirty && !GbkCodec::Fits(l.text)) {
                out = Encoding::Utf8;
                break;
            }
    }
    QByteArray bytes;
    if (out == encoding_)
        bytes = bom_;
    for (const Line& l : lines_) {
        if (!l.dirty && out == encoding_) {
            bytes += l.raw;
        } else if (out == Encoding::Utf8) {
            // A GBK file converted as a whole: its GBK marker no longer holds.
            if (!l.dirty && MarkerOf(l.raw))
                continue;
            bytes += l.text.toUtf8();
        } else {
            QByteArray gbk;
            GbkCodec::Encode(l.text, &gbk);
            bytes += gbk;
        }
        bytes += l.eol;
    }
    // The edit may have removed what told the encoding (the last GBK bytes
    // that are not valid UTF-8, or the UTF-8 text beside a stray byte); the
    // marker then keeps the untouched lines reading as before.
    if (out == encoding_ && bom_.isEmpty() && !lines_.isEmpty() && Detect(bytes) != out)
        bytes.prepend((out == Encoding::Gbk ? kGbkMarker : kUtf8Marker) + DefaultEol());
    return bytes;
}

std::pair<int, int> IniDocument::FindSection(QStringView section, int from) const {
    int begin = -1;
    for (int i = from; i < lines_.size(); ++i) {
        const LineKind k = Classify(lines_[i].text);
        if (k.kind != LineKind::Section)
            continue;
        if (begin >= 0)
            return {begin, i};
        if (SameName(k.name, section))
            begin = i;
    }
    return {begin, int(lines_.size())};
}

QByteArray IniDocument::DefaultEol() const {
    for (const Line& l : lines_)
        if (!l.eol.isEmpty())
            return l.eol;
    return QByteArray("\n");
}

std::optional<QString> IniDocument::Value(QStringView section, QStringView key) const {
    const auto [begin, end] = FindSection(section);
    if (begin < 0)
        return std::nullopt;
    for (int i = begin + 1; i < end; ++i) {
        const LineKind k = Classify(lines_[i].text);
        if (k.kind == LineKind::Entry && SameName(k.name, key))
            return k.value.toString();
    }
    return std::nullopt;
}

QStringList IniDocument::Sections() const {
    QStringList names;
    QSet<QString> seen;
    for (const Line& line : lines_) {
        const LineKind k = Classify(line.text);
        if (k.kind != LineKind::Section)
            continue;
        const QString folded = k.name.toString().toCaseFolded();
        if (!seen.contains(folded)) {
            seen.insert(folded);
            names.append(k.name.toString());
        }
    }
    return names;
}

QStringList IniDocument::Keys(QStringView section) const {
    QStringList keys;
    const auto [begin, end] = FindSection(section);
    for (int i = begin + 1; begin >= 0 && i < end; ++i) {
        const LineKind k = Classify(lines_[i].text);
        if (k.kind == LineKind::Entry)
            keys.append(k.name.toString());
    }
    return keys;
}

QList<std::pair<QString, QString>> IniDocument::Entries(QStringView section) const {
    QList<std::pair<QString, QString>> entries;
    const auto [begin, end] = FindSection(section);
    for (int i = begin + 1; begin >= 0 && i < end; ++i) {
        const LineKind k = Classify(lines_[i].text);
        if (k.kind == LineKind::Entry)
            entries.append({k.name.toString(), k.value.toString()});
    }
    return entries;
}

void IniDocument::SetValue(const QString& sectionName, const QString& keyName,
                           const QString& valueText) {
    const QString section = OneLine(sectionName);
    const QString key = OneLine(keyName);
    const QString value = OneLine(valueText);
    const QByteArray eol = DefaultEol();
    auto insertAt = [this, &eol](int at, const QString& text) {
        if (at > 0 && lines_[at - 1].eol.isEmpty())
            lines_[at - 1].eol = eol; // the old last line had no line end
        Line line;
        line.text = text;
        line.eol = eol;
        line.dirty = true;
        lines_.insert(at, line);
    };

    const auto [begin, end] = FindSection(section);
    if (begin < 0) {
        insertAt(int(lines_.size()), QLatin1Char('[') + section + QLatin1Char(']'));
        insertAt(int(lines_.size()), key + QLatin1Char('=') + value);
        return;
    }
    int lastFilled = begin;
    for (int i = begin + 1; i < end; ++i) {
        Line& line = lines_[i];
        const LineKind k = Classify(line.text);
        if (k.kind == LineKind::Entry && SameName(k.name, key)) {
            const QString newText = k.name.toString() + QLatin1Char('=') + value;
            if (newText != line.text) {
                line.text = newText;
                line.dirty = true;
            }
            return;
        }
        if (!TrimBlanks(line.text).isEmpty())
            lastFilled = i;
    }
    // A new key goes after the section's last non-blank line, so that blank
    // lines between sections stay between them.
    insertAt(lastFilled + 1, key + QLatin1Char('=') + value);
}

bool IniDocument::EraseSection(QStringView section) {
    bool erased = false;
    bool inside = false;
    QList<Line> kept;
    kept.reserve(lines_.size());
    for (Line& line : lines_) {
        const LineKind k = Classify(line.text);
        if (k.kind == LineKind::Section) {
            inside = SameName(k.name, section);
            erased = erased || inside;
        }
        if (!inside)
            kept.append(std::move(line));
    }
    lines_ = std::move(kept);
    return erased;
}

void IniDocument::ReplaceSection(const QString& section,
                                 const QList<std::pair<QString, QString>>& entries) {
    EraseSection(section);
    if (entries.isEmpty())
        return;
    const QByteArray eol = DefaultEol();
    if (!lines_.isEmpty() && lines_.last().eol.isEmpty())
        lines_.last().eol = eol; // the old last line had no line end
    lines_.reserve(lines_.size() + entries.size() + 1);
    auto append = [this, &eol](const QString& text) {
        Line line;
        line.text = text;
        line.eol = eol;
        line.dirty = true;
        lines_.append(line);
    };
    append(QLatin1Char('[') + OneLine(section) + QLatin1Char(']'));
    for (const auto& [key, value] : entries)
        append(OneLine(key) + QLatin1Char('=') + OneLine(value));
}

namespace IniFile {

bool Exists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

namespace {

QString KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return QCoreApplication::translate("Messages", "a folder");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("Messages", "a named pipe");
    if (S_ISCHR(mode))
        return QCoreApplication::translate("Messages", "a character device");
    if (S_ISBLK(mode))
        return QCoreApplication::translate("Messages", "a block device");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("Messages", "a socket");
    return QCoreApplication::translate("Messages", "a special file");
}

QString NotRegular(mode_t mode) {
    return QCoreApplication::translate("Messages", "it is %1, not a regular file")
        .arg(KindOf(mode));
}

QString TooLarge() {
    return QCoreApplication::translate("Messages", "it is larger than %1 MB")
        .arg(kIniMaxFileBytes >> 20);
}

// Who shows a file that cannot be read; none: standard error.
std::mutex reportMutex;
std::function<void(const QString&)> reportFn;

std::function<void(const QString&)> UnreadableReport() {
    const std::lock_guard<std::mutex> lock(reportMutex);
    return reportFn;
}

// Each reason once per path and run: every key read opens the file anew.
void ReportUnreadable(const QString& path, const QString& reason) {
    static std::mutex mutex;
    static QSet<QString> reported;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const QString key = path + QLatin1Char('\n') + reason;
        if (reported.contains(key))
            return;
        reported.insert(key);
    }
    const QString text =
        QCoreApplication::translate("Messages", "Cannot read %1: %2").arg(path, reason);
    // Not shown in the middle of the caller's work (a message box would run
    // events inside a half-done load): after the current event.
    const std::function<void(const QString&)> report = UnreadableReport();
    if (QCoreApplication* app = QCoreApplication::instance(); app && report)
        QMetaObject::invokeMethod(
            app, [report, text] { report(text); }, Qt::QueuedConnection);
    else
        std::fprintf(stderr, "Tavrelo: %s\n", text.toLocal8Bit().constData());
}

// *refused: the file is there but is no regular file or too large (as
// opposed to a file that vanished or may not be read).
std::optional<QByteArray> ReadRegular(const QString& path, QString* reason, bool* refused) {
    *refused = false;
    const QByteArray name = QFile::encodeName(path);
    // The type is checked before opening, so that a pipe or a device is
    // never opened; O_NONBLOCK and fstat cover a swap in between.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        *refused = true;
        *reason = NotRegular(st.st_mode);
        return std::nullopt;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    auto fail = [fd, reason](const QString& why) -> std::optional<QByteArray> {
        ::close(fd);
        *reason = why;
        return std::nullopt;
    };
    if (::fstat(fd, &st) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    *refused = !S_ISREG(st.st_mode) || st.st_size > kIniMaxFileBytes;
    if (!S_ISREG(st.st_mode))
        return fail(NotRegular(st.st_mode));
    if (st.st_size > kIniMaxFileBytes)
        return fail(TooLarge());
    // The file may grow while being read: never past the limit.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > kIniMaxFileBytes) {
                *refused = true;
                return fail(TooLarge());
            }
            bytes.resize(qMin<qsizetype>(bytes.size() * 2 + 4096, kIniMaxFileBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return bytes;
}

} // namespace

std::optional<QByteArray> ReadFileBytes(const QString& path, QString* reason) {
    QString ignored;
    bool refused = false;
    return ReadRegular(path, reason ? reason : &ignored, &refused);
}

std::optional<IniDocument> Load(const QString& path) {
    if (!Exists(path))
        return std::nullopt;
    QString reason;
    bool refused = false;
    const std::optional<QByteArray> bytes = ReadRegular(path, &reason, &refused);
    if (!bytes) {
        if (refused)
            ReportUnreadable(path, reason);
        return std::nullopt;
    }
    return IniDocument::Parse(*bytes);
}

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
    const std::optional<IniDocument> doc = Load(path);
    if (!doc)
        return std::nullopt;
    const std::optional<QString> value = doc->Value(section, key);
    if (!value)
        return std::nullopt;
    return CutToEncodedBytes(*value, doc->FileEncoding(), kIniMaxValueBytes);
}

bool Edit(const QString& path, bool createIfMissing, const std::function<void(IniDocument&)>& edit,
          QString* reason) {
    QString ignored;
    if (!reason)
        reason = &ignored;
    if (path.isEmpty()) {
        *reason = QStringLiteral("empty path");
        return false;
    }
    const QFileInfo info(path);
    std::optional<QByteArray> old;
    if (info.exists()) {
        if (info.isDir()) {
            *reason = QCoreApplication::translate("Messages", "a folder has that name");
            return false;
        }
        // A file that cannot be read cannot be rewritten without losing
        // what it holds; a pipe or a device is never written at all.
        QString why;
        old = ReadFileBytes(path, &why);
        if (!old) {
            *reason = why;
            return false;
        }
    } else if (!createIfMissing) {
        return true;
    }
    IniDocument doc = old ? IniDocument::Parse(*old) : IniDocument();
    edit(doc);
    const QByteArray bytes = doc.Serialize();
    if (old ? bytes == *old : doc.IsEmpty())
        return true;
    return AtomicFileWriter::Replace(path, bytes, reason);
}

void SetUnreadableReport(std::function<void(const QString&)> report) {
    const std::lock_guard<std::mutex> lock(reportMutex);
    reportFn = std::move(report);
}

} // namespace IniFile
