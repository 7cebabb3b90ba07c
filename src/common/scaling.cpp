#include "scaling.h"

#include <cstdint>

namespace common {

int MulDiv(int v, int m, int d) {
    if (d <= 0) {
        return v;
    }
    const std::int64_t num = static_cast<std::int64_t>(v) * m;
    // Integer division truncates towards zero, so adding half the divisor away from zero
    // rounds halves away from zero.
    return static_cast<int>((2 * num + (num >= 0 ? d : -d)) / (2 * static_cast<std::int64_t>(d)));
}

int ScaleLength(int v, const std::vector<ScaleStep>& steps) {
    for (const ScaleStep& step : steps) {
        v = MulDiv(v, step.m, step.d);
    }
    return v;
}

} // namespace common
