// GBK through iconv and the UTF-8 checks: clean GBK decodes encode back to the
// same bytes, GBK-encodable text decodes back to itself, and the strict UTF-8
// check agrees with its tally and with Qt's decoder.
#include "FuzzKit.h"

#include "utPublic/GbkCodec.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    QString text;
    if (GbkCodec::Decode(bytes, &text)) {
        QByteArray back;
        FUZZ_CHECK(GbkCodec::Encode(text, &back));
        FUZZ_CHECK(back == bytes);
    }

    const bool valid = IsValidUtf8(bytes);
    const Utf8Tally tally = TallyUtf8(bytes);
    FUZZ_CHECK(valid == (tally.invalid == 0));
    FUZZ_CHECK(!valid || !LooksLikeGbk(bytes));
    FUZZ_CHECK(valid == (QString::fromUtf8(bytes).toUtf8() == bytes));

    const QString utf8 = QString::fromUtf8(bytes);
    QByteArray gbk;
    if (GbkCodec::Encode(utf8, &gbk)) {
        FUZZ_CHECK(GbkCodec::Fits(utf8));
        QString again;
        FUZZ_CHECK(GbkCodec::Decode(gbk, &again));
        FUZZ_CHECK(again == utf8);
    }
    return 0;
}
