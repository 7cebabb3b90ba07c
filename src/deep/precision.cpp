#include "precision.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>

namespace deep {

mpfr_prec_t ViewPrecisionBits(std::int64_t centreMagnitude, std::int64_t radiusMagnitude,
                              std::int64_t heightPx) {
    assert(heightPx > 0 && "a picture has rows");
    const std::int64_t top = std::max({centreMagnitude, radiusMagnitude, std::int64_t{0}}) + 1;
    const std::int64_t decades = top - radiusMagnitude; // at least 1
    // log2(10) to double precision: the product's relative error (~1e-16) stays below one bit
    // for any decades up to ~10^15; the extra bit covers it anyway.
    const auto decadeBits =
        static_cast<std::int64_t>(std::ceil(static_cast<double>(decades) * 3.321928094887362)) + 1;
    const auto heightBits = static_cast<std::int64_t>(std::bit_width(static_cast<std::uint64_t>(heightPx)));
    const std::int64_t bits = decadeBits + heightBits + kPrecisionMarginBits;
    return static_cast<mpfr_prec_t>(std::clamp<std::int64_t>(bits, MPFR_PREC_MIN, MPFR_PREC_MAX));
}

mpfr_prec_t ViewPrecision(const ExactDecimal& centreRe, const ExactDecimal& centreIm,
                          const ExactDecimal& radius, std::int64_t heightPx) {
    assert(radius.digits != "0" && "a view has a size");
    // A zero coordinate's magnitude reads as 0, which the max with 0 absorbs anyway.
    const std::int64_t centre = std::max(DecimalMagnitude(centreRe), DecimalMagnitude(centreIm));
    return ViewPrecisionBits(centre, DecimalMagnitude(radius), heightPx);
}

} // namespace deep
