// The text helpers: fields put back together give the text, time points
// settle after one normalisation, seconds survive the time text, and cutting
// to a byte count never splits a character.
#include "FuzzKit.h"

#include "utPublic/IniFile.h"
#include "utPublic/utPublic.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QString all =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    // The first byte picks the separator's length (0..3) from the text's start.
    const qsizetype sepLen = qMin<qsizetype>(data[0] % 4, all.size());
    const QString sep = all.left(sepLen);
    const QString text = all.mid(sepLen);

    const int count = FieldCount(text, sep);
    FUZZ_CHECK(count >= 1);
    if (!sep.isEmpty()) {
        QStringList fields;
        for (int n = 1; n <= count; ++n)
            fields.append(GetField(text, sep, n));
        FUZZ_CHECK(fields.join(sep) == text);
        FUZZ_CHECK(GetField(text, sep, count + 1).isEmpty());
    }

    const int seconds = TimeStrToSec(text);
    const QString once = SecToTimeStr(seconds);
    FUZZ_CHECK(TimeStrToSec(once) == qMax(0, seconds));
    FUZZ_CHECK(SecToTimeStr(TimeStrToSec(once)) == once);
    FUZZ_CHECK(!once.startsWith(u'-') && once.contains(u':'));
    FUZZ_CHECK(TextToBool(BoolToText(TextToBool(text))) == TextToBool(text));
    FUZZ_CHECK(PadLeft(text, u' ', data[0]).size() >= qMin<qsizetype>(data[0], text.size()));

    for (const auto enc : {IniDocument::Encoding::Utf8, IniDocument::Encoding::Gbk}) {
        const QString cut = CutToEncodedBytes(text, enc, data[0]);
        FUZZ_CHECK(text.startsWith(cut));
        FUZZ_CHECK(cut.isEmpty() || !cut.back().isHighSurrogate() || cut.size() == text.size());
    }
    return 0;
}
