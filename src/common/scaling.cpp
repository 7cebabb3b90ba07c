#include "scaling.h"

#include <cstdint>

namespace common {

int MulDiv(int v, int m, int d, Rounding rounding) {
    if (d <= 0) {
        return v;
    }
    const std::int64_t num = static_cast<std::int64_t>(v) * m;
    // Integer division truncates towards zero; the remainder then decides whether the
    // quotient moves one step further away from zero.
    std::int64_t quotient = num / d;
    const std::int64_t rest = num % d;
    const std::int64_t twiceRest = 2 * (rest < 0 ? -rest : rest);
    const bool half = twiceRest == d;
    const bool up = twiceRest > d || (half && (rounding == Rounding::HalfAwayFromZero || quotient % 2 != 0));
    if (up) {
        quotient += num < 0 ? -1 : 1;
    }
    return static_cast<int>(quotient);
}

int ScaleLength(int v, const std::vector<ScaleStep>& steps, Rounding rounding) {
    for (const ScaleStep& step : steps) {
        v = MulDiv(v, step.m, step.d, rounding);
    }
    return v;
}

} // namespace common
