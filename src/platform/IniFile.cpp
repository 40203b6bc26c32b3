#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/GbkCodec.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
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

// One entry is one line: a line break inside a name or value becomes a blank.
QString OneLine(const QString& s) {
    if (!s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString out = s;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(u'\r', u' ');
    out.replace(u'\n', u' ');
    return out;
}

int EncodedSize(char32_t cp, IniDocument::Encoding encoding) {
    if (cp < 0x80)
        return 1;
    if (encoding == IniDocument::Encoding::Gbk)
        return 2;
    return cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

} // namespace

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

IniDocument IniDocument::Parse(const QByteArray& bytes) {
    IniDocument doc;
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        doc.bom_ = body.left(3);
        body.remove(0, 3);
    }
    QString text;
    if (!doc.bom_.isEmpty() || IsValidUtf8(body)) {
        doc.encoding_ = Encoding::Utf8;
        text = QString::fromUtf8(body);
    } else {
        doc.encoding_ = Encoding::Gbk;
        GbkCodec::Decode(body, &text);
    }
    // LF and CR are single bytes in both encodings and never part of a GBK
    // character, so the byte lines and the decoded lines correspond.
    qsizetype bytePos = 0;
    qsizetype textPos = 0;
    while (bytePos < body.size()) {
        qsizetype byteEnd = body.indexOf('\n', bytePos);
        qsizetype textEnd = text.indexOf(u'\n', textPos);
        Line line;
        if (byteEnd < 0) {
            byteEnd = body.size();
            textEnd = text.size();
        } else {
            line.eol = "\n";
        }
        if (textEnd < 0)
            textEnd = text.size();
        qsizetype rawLen = byteEnd - bytePos;
        qsizetype textLen = textEnd - textPos;
        if (!line.eol.isEmpty() && rawLen > 0 && body[byteEnd - 1] == '\r') {
            line.eol = "\r\n";
            --rawLen;
            if (textLen > 0 && text[textEnd - 1] == u'\r')
                --textLen;
        }
        line.raw = body.mid(bytePos, rawLen);
        line.text = text.mid(textPos, textLen);
        doc.lines_.append(line);
        bytePos = byteEnd + 1;
        textPos = textEnd + 1;
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
            bytes += l.text.toUtf8();
        } else {
            QByteArray gbk;
            GbkCodec::Encode(l.text, &gbk);
            bytes += gbk;
        }
        bytes += l.eol;
    }
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
    for (auto [begin, end] = FindSection(section); begin >= 0;
         std::tie(begin, end) = FindSection(section, begin)) {
        lines_.remove(begin, end - begin);
        erased = true;
    }
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
std::optional<QByteArray> ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}
} // namespace

std::optional<IniDocument> Load(const QString& path) {
    if (!Exists(path))
        return std::nullopt;
    const std::optional<QByteArray> bytes = ReadBytes(path);
    if (!bytes)
        return std::nullopt;
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
            *reason = QStringLiteral("a folder has that name");
            return false;
        }
        // A file that cannot be read cannot be rewritten without losing
        // what it holds.
        old = ReadBytes(path);
        if (!old) {
            *reason = QStringLiteral("the file cannot be read");
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

} // namespace IniFile
