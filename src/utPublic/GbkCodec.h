// GBK, the 8-bit code page of Chinese Windows installations, through glibc's
// iconv. Settings and schedule files written by older installations are in
// GBK; the program's own text is UTF-8 inside.
#pragma once

#include <QByteArray>
#include <QString>

namespace GbkCodec {

// Decodes GBK bytes. Returns false when the bytes are not valid GBK; *out then
// holds the text with U+FFFD in place of each byte that could not be read.
bool Decode(const QByteArray& bytes, QString* out);

// Encodes text as GBK. Returns false, leaving *out unspecified, when a
// character has no GBK form.
bool Encode(QStringView text, QByteArray* out);

// Whether every character of text has a GBK form.
bool Fits(QStringView text);

} // namespace GbkCodec

// Strict UTF-8 check: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(const QByteArray& bytes);

// What a strict UTF-8 reading of some bytes finds besides ASCII.
struct Utf8Tally {
    qsizetype twoByte = 0; // valid two-byte characters (U+0080..U+07FF)
    qsizetype longer = 0;  // valid three- and four-byte characters (CJK among them)
    qsizetype invalid = 0; // bytes that belong to no valid character
};
Utf8Tally TallyUtf8(const QByteArray& bytes);

// Whether bytes that are not all valid UTF-8 are better read as GBK.
//
// GBK Chinese text read as UTF-8 is mostly invalid bytes; where it happens to
// be valid it forms two-byte characters (路 is C2 B7, read as "·"), and only
// rarely a three-byte one. UTF-8 Chinese text is all three-byte characters.
// So one stray byte in a UTF-8 file that holds any Chinese, or a couple of
// accented letters, leaves it UTF-8, while a GBK file with a single word of
// Chinese is GBK even if some of its other characters look like UTF-8:
// GBK when 2 x invalid bytes > 4 x longer characters + two-byte characters.
bool LooksLikeGbk(const QByteArray& bytes);
