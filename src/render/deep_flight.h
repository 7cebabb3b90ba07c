#pragma once

#include "deep_render.h"

namespace render {

/// Significant digits of an in-between picture's radius. A radius is a ratio away from its
/// neighbours in any flight of at most 9999 pictures that is far above 10^-20, so the rounding
/// never shows in the constant factor, and the record stays short.
inline constexpr int kFlightRadiusDigits = 20;

/// Picture k (0 .. frames - 1) of a flight of `frames` pictures from `from` into `to` at any
/// depth, the deep form of ZoomFlight's rule: the radius shrinks (or grows) by the same factor
/// from one picture to the next, R0·(R/R0)^(k/(frames−1)) rounded to kFlightRadiusDigits
/// digits, and the centre has gone the share of its way that the radius has,
/// C + (C0 − C)·(r − R)/(R0 − R) (or C + (C0 − C)·(1 − k/(frames−1)) when both radii are
/// equal), so a deep zoom keeps its target in sight all the way. That centre is formed exactly
/// and rounded once to a step of 10^-20 of the picture's radius, far below a pixel. Picture 0
/// is `from`'s centre and radius, the last picture is `to` itself; every other field comes
/// from `to`. Both radii must be above zero, frames >= 2 and 0 <= k < frames.
[[nodiscard]] deep::DeepView DeepFlightView(const deep::DeepView& from, const deep::DeepView& to, int frames,
                                            int k);

/// The view of the same flight whose radius is `radius` (any radius, also beyond `from`'s): the
/// centre has gone the share (r − R)/(R0 − R) of its way, rounded as DeepFlightView rounds it.
/// The radii of `from` and `to` must differ.
[[nodiscard]] deep::DeepView DeepFlightViewAt(const deep::DeepView& from, const deep::DeepView& to,
                                              const deep::ExactDecimal& radius);

/// (a − b) / divisor, formed exactly and rounded once to a double: how far apart two deep
/// centres are in units of a radius, however many digits they share.
[[nodiscard]] double DecimalRatio(const deep::ExactDecimal& a, const deep::ExactDecimal& b,
                                  const deep::ExactDecimal& divisor);

/// value · 2^power, exactly (power >= 0).
[[nodiscard]] deep::ExactDecimal DecimalTimesPowerOfTwo(const deep::ExactDecimal& value, int power);

} // namespace render
