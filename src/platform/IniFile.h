// The INI service: plain-text settings files with "[section]" lines and
// "key=value" lines below them.
//
// - Every access reads the file anew; nothing is cached between calls.
// - Section and key names compare without regard to letter case; blanks
//   around names and values are not part of them.
// - A write changes only the line it is about (or adds one) and keeps every
//   other line byte for byte: other sections, keys, comments, blank lines,
//   their order and each line's own ending (CRLF or LF).
// - Encoding: a file that is valid UTF-8 is UTF-8; any other file is GBK,
//   as written by older installations. A file keeps its encoding when written
//   back, unless a new text has no GBK form: then the whole file becomes
//   UTF-8. New files are UTF-8 with LF line ends.
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

class IniDocument {
public:
    enum class Encoding { Utf8, Gbk };

    // An empty new document: UTF-8, LF line ends.
    IniDocument() = default;
    static IniDocument Parse(const QByteArray& bytes);
    // The file content; untouched lines come out exactly as they were read.
    QByteArray Serialize() const;

    Encoding FileEncoding() const { return encoding_; }
    bool IsEmpty() const { return lines_.isEmpty(); }

    // The value of key in the first section of that name, trimmed of blanks;
    // no value when the section or key is absent. Not cut to length.
    std::optional<QString> Value(QStringView section, QStringView key) const;
    // Key names of the first section of that name, in file order.
    QStringList Keys(QStringView section) const;
    // Keys and values (trimmed, not cut) of the first section of that name,
    // in file order, in one pass.
    QList<std::pair<QString, QString>> Entries(QStringView section) const;

    // Sets key to value, creating section and key as needed. Line breaks in
    // names and value become blanks: one entry is one line.
    void SetValue(const QString& section, const QString& key, const QString& value);
    // Removes every section of that name with all its lines. Returns whether
    // there was one.
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

// Cuts text so that its form in the given encoding has at most maxBytes
// bytes, never splitting a character.
QString CutToEncodedBytes(const QString& text, IniDocument::Encoding encoding, int maxBytes);

namespace IniFile {

// Whether a file (not a folder) exists at path.
bool Exists(const QString& path);

// The file's content, or no value when it is absent or cannot be read.
std::optional<IniDocument> Load(const QString& path);

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
