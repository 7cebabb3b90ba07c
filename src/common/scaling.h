#pragma once

#include <vector>

namespace common {

/// One rescaling step of a window laid out for another screen: every position, size and font
/// size is multiplied by m and divided by d.
struct ScaleStep {
    int m = 1;
    int d = 1;
};

/// v * m / d rounded to the nearest integer, halves away from zero; the product is formed in
/// 64 bits.
[[nodiscard]] int MulDiv(int v, int m, int d);

/// A length after all steps, each step rounded on its own.
[[nodiscard]] int ScaleLength(int v, const std::vector<ScaleStep>& steps);

} // namespace common
