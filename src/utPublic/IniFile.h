// The INI service: plain-text settings files with "[section]" lines and
// "key=value" lines below them.
//
// - Every access reads the file anew; nothing is cached between calls.
// - Section and key names compare without regard to letter case; blanks
//   around names and values are not part of them.
// - A write changes only the line it is about (or adds one) and keeps every
//   other line byte for byte: other sections, keys, comments, blank lines,
//   their order and each line's own ending (CRLF or LF).
// - Encoding: a file is UTF-8 or GBK (as written by older installations),
//   decided once per read for the whole file, since GBK text can look like
//   valid UTF-8 (路 梅 陆 毛 ...) and only the file as a whole tells which it
//   is: a UTF-8 BOM, else a comment line "; encoding: GBK" or
//   "; encoding: UTF-8", else the bytes themselves (LooksLikeGbk: valid UTF-8
//   text stays UTF-8 even beside a stray byte that is not). A write keeps
//   every untouched line byte for byte and encodes new text in the file's
//   encoding; when the result would then be read in the other encoding (the
//   edit removed the last bytes that told GBK from UTF-8), the marker comment
//   is put on top, so that every untouched key and section reads exactly as
//   before. A new text without GBK form turns a GBK file into UTF-8 as a
//   whole (every line converted, so still reading the same). New files are
//   UTF-8 with LF line ends.
// - Blanks at the very end of a file are not part of it: they are what an
//   interrupted in-place write leaves (AtomicFileWriter) and are dropped on
//   the next write.
// - Only regular files are read, up to kIniMaxFileBytes; a pipe, a device or
//   a larger file is reported once and treated as missing, and never written.
// - Writes replace the file atomically (AtomicFileWriter).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A stored value reads back to at most this many bytes of the file's encoding.
constexpr int kIniMaxValueBytes = 2047;
// Far above any real file (a schedule of 100,000 rows is about 5 MB).
constexpr qint64 kIniMaxFileBytes = qint64(64) << 20;

class IniDocument {
public:
    enum class Encoding { Utf8, Gbk };

    // An empty new document: UTF-8, LF line ends.
    IniDocument() = default;
    static IniDocument Parse(const QByteArray& bytes);
    // How Parse reads bytes (with or without BOM).
    static Encoding Detect(const QByteArray& bytes);
    // The file content; untouched lines come out exactly as they were read.
    QByteArray Serialize() const;

    Encoding FileEncoding() const { return encoding_; }
    bool IsEmpty() const { return lines_.isEmpty(); }

    // The value of key in the first section of that name, trimmed of blanks;
    // no value when the section or key is absent. Not cut to length.
    std::optional<QString> Value(QStringView section, QStringView key) const;
    // Section names in file order, each name once (the first spelling).
    QStringList Sections() const;
    // Key names of the first section of that name, in file order.
    QStringList Keys(QStringView section) const;
    // Keys and values (trimmed, not cut) of the first section of that name,
    // in file order, in one pass.
    QList<std::pair<QString, QString>> Entries(QStringView section) const;

    // Sets key to value, creating section and key as needed. Line breaks in
    // names and value become blanks: one entry is one line.
    void SetValue(const QString& section, const QString& key, const QString& value);
    // Removes every section of that name with all its lines, in one pass.
    // Returns whether there was one.
    bool EraseSection(QStringView section);
    // Erases the section and writes it anew at the end of the file with the
    // given entries (keys distinct in any case): the same file as
    // EraseSection followed by SetValue for each entry, in one pass.
    void ReplaceSection(const QString& section, const QList<std::pair<QString, QString>>& entries);

private:
    struct Line {
        QByteArray raw; // bytes as read (valid while !dirty)
        QByteArray eol; // "\r\n", "\n", or empty for a last line without one
        QString text;   // decoded, without the line end
        bool dirty = false;
    };
    // Index range [begin, end) of the lines of the first section named so
    // (begin = its header); begin = -1 when absent.
    std::pair<int, int> FindSection(QStringView section, int from = 0) const;
    QByteArray DefaultEol() const;

    QList<Line> lines_;
    QByteArray bom_;
    Encoding encoding_ = Encoding::Utf8;
};

// Line breaks (CR LF, CR or LF) become blanks: one INI entry, or one cell
// of a schedule row, is one line.
QString OneLine(const QString& text);

// Cuts text so that its form in the given encoding has at most maxBytes
// bytes, never splitting a character.
QString CutToEncodedBytes(const QString& text, IniDocument::Encoding encoding, int maxBytes);

namespace IniFile {

// Whether a file (not a folder) exists at path.
bool Exists(const QString& path);

// The bytes of the regular file at path, or no value with *reason (if given)
// saying why not. Never blocks on a pipe or device and never reads more than
// kIniMaxFileBytes.
std::optional<QByteArray> ReadFileBytes(const QString& path, QString* reason = nullptr);

// The file's content, or no value when it is absent or cannot be read. A file
// that exists but is no regular file or is too large is reported once per
// path and reason ("Cannot read <path>: <reason>", shown by the application's
// error display after the current event).
std::optional<IniDocument> Load(const QString& path);

// Shows "Cannot read <path>: <reason>" (Load's report) after the current
// event; the application's error display sets it. Unset, or without an
// application object, the text goes to standard error.
void SetUnreadableReport(std::function<void(const QString&)> report);

// The stored value of key, cut to kIniMaxValueBytes; no value when the file,
// the section or the key is absent.
std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key);

// Reads the file (a missing file as an empty document when createIfMissing,
// else nothing happens), lets edit change it and, when the content changed,
// writes it back in one atomic replacement. Returns false, with the file
// untouched, when it cannot be read or the write is refused.
bool Edit(const QString& path, bool createIfMissing, const std::function<void(IniDocument&)>& edit,
          QString* reason = nullptr);

} // namespace IniFile
