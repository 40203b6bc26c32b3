// Small text conversions the control window's files share.
#pragma once

#include "utPublic/utPublicCore.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>

namespace FrmMainText {

using ::StrToIntDef; // utPublic/utPublicCore.h

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
