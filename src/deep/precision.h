#pragma once

#include <cstdint>

#include <mpfr.h>

#include "decimal_mpfr.h"

namespace deep {

/// Bits beyond the pixel spacing that every high-precision number of a view carries. The
/// reference orbit loses some of them to rounding on every iteration (the error grows with the
/// orbit's derivative), and the per-pixel differences taken against it must still be exact to
/// double precision after that.
inline constexpr mpfr_prec_t kPrecisionMarginBits = 64;

/// The MPFR precision for a view given by decimal magnitudes (floor(log10 |value|), as
/// DecimalMagnitude() gives them): `centreMagnitude` of the larger centre coordinate,
/// `radiusMagnitude` of the radius, and the picture's height in pixels (positive).
///
/// Every pixel's c has |c| < |centre| + R < 2 · 10^top with top = max(centreMagnitude,
/// radiusMagnitude, 0) + 1 (the 0 covers the orbit's own values, which reach about 2 before they
/// escape), and neighbouring pixels differ by 2R/H ≥ 2 · 10^radiusMagnitude / H. An ulp of c must
/// be below that spacing by kPrecisionMarginBits, so
///     bits = ceil((top − radiusMagnitude) · log2 10) + ceil(log2 H) + kPrecisionMarginBits.
/// Only integers and one double product of at most about 10^9 enter, so a radius of 1e-100000
/// (about 332,000 bits) or smaller never meets a double's exponent range.
[[nodiscard]] mpfr_prec_t ViewPrecisionBits(std::int64_t centreMagnitude, std::int64_t radiusMagnitude,
                                            std::int64_t heightPx);

/// ViewPrecisionBits() for a view given as exact decimals; the radius must be nonzero.
[[nodiscard]] mpfr_prec_t ViewPrecision(const ExactDecimal& centreRe, const ExactDecimal& centreIm,
                                        const ExactDecimal& radius, std::int64_t heightPx);

} // namespace deep
