#pragma once

#include <vector>

namespace common {

/// One rescaling step of a window laid out for another screen: every position, size and font
/// size is multiplied by m and divided by d.
struct ScaleStep {
    int m = 1;
    int d = 1;
};

/// Where an exact half goes when a scaled length is rounded.
enum class Rounding {
    HalfAwayFromZero, // as the classic MulDiv does
    HalfToEven,       // banker's rounding: 112.5 gives 112, 113.5 gives 114
};

/// v * m / d rounded to the nearest integer, an exact half as `rounding` says; the product is
/// formed in 64 bits. A divisor of 0 or below leaves v unchanged.
[[nodiscard]] int MulDiv(int v, int m, int d, Rounding rounding = Rounding::HalfAwayFromZero);

/// A length after all steps, each step rounded on its own.
[[nodiscard]] int ScaleLength(int v, const std::vector<ScaleStep>& steps,
                              Rounding rounding = Rounding::HalfAwayFromZero);

} // namespace common
