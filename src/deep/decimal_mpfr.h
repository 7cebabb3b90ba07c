#pragma once

#include <cstdint>

#include <mpfr.h>

#include "exact_decimal.h"

namespace deep {

using common::DecimalMagnitude;
using common::ExactDecimal;
using common::FormatExactDecimal;
using common::kMaxDecimalDigits;
using common::kMaxDecimalMagnitude;
using common::ParseExactDecimal;

/// Sets `out` (already initialised; its precision is kept) to the value rounded once, in the
/// direction `rounding`, to the precision of `out`.
void ToMpfr(const ExactDecimal& value, mpfr_t out, mpfr_rnd_t rounding);

/// centre + radius × steps / height, rounded once to the precision of `out` in the direction
/// `rounding`: the sum is formed exactly with GMP integers and divided once, so no intermediate
/// rounding can move a pixel. Its cost grows with the spread of the decimal exponents involved (a
/// 1e-100000 radius beside a centre near 1 makes integers of about 330,000 bits: milliseconds),
/// so a per-pixel loop should take only its reference point from here. Pass a zero centre for
/// the offset alone. `height` must be positive.
void ScaledOffset(const ExactDecimal& centre, const ExactDecimal& radius, std::int64_t steps,
                  std::int64_t height, mpfr_t out, mpfr_rnd_t rounding);

/// The real part of pixel (x, y) of a width × height picture: RE + R·(2x − W)/H, rounded once.
inline void PixelReal(const ExactDecimal& centreRe, const ExactDecimal& radius, std::int64_t x,
                      std::int64_t width, std::int64_t height, mpfr_t out, mpfr_rnd_t rounding) {
    ScaledOffset(centreRe, radius, 2 * x - width, height, out, rounding);
}

/// The imaginary part of pixel (x, y): IM + R·(H − 2y)/H, rounded once (rows grow downwards,
/// the imaginary axis upwards).
inline void PixelImag(const ExactDecimal& centreIm, const ExactDecimal& radius, std::int64_t y,
                      std::int64_t height, mpfr_t out, mpfr_rnd_t rounding) {
    ScaledOffset(centreIm, radius, height - 2 * y, height, out, rounding);
}

} // namespace deep
