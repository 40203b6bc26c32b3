// Small text conversions the control window's files share.
#pragma once

#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>

namespace FrmMainText {

// Decimal integer text with optional leading blanks and sign; anything else
// (trailing characters, empty text, a value beyond 32 bits) gives def.
inline int StrToIntDef(const QString& text, int def) {
    int i = 0;
    const int n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i >= n)
        return def;
    int64_t v = 0;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return def;
        v = v * 10 + (c.unicode() - '0');
        if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            return def;
    }
    if (negative)
        v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return def;
    return static_cast<int>(v);
}

// Truncated toward zero, held at the 32-bit limits.
inline int Trunc(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (v <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int>(v);
}

} // namespace FrmMainText
