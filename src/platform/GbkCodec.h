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
