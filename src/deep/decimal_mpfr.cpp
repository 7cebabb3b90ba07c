#include "decimal_mpfr.h"

#include <algorithm>
#include <cassert>

#include <gmp.h>

namespace deep {

namespace {

/// An owned GMP integer, cleared on every path out.
struct Integer {
    mpz_t z;
    Integer() { mpz_init(z); }
    ~Integer() { mpz_clear(z); }
    Integer(const Integer&) = delete;
    Integer& operator=(const Integer&) = delete;
};

/// An MPFR number that holds `z` exactly.
struct ExactReal {
    mpfr_t x;
    explicit ExactReal(const mpz_t z) {
        const auto bits = static_cast<mpfr_prec_t>(mpz_sizeinbase(z, 2));
        mpfr_init2(x, std::max<mpfr_prec_t>(bits, MPFR_PREC_MIN));
        const int inexact = mpfr_set_z(x, z, MPFR_RNDN);
        assert(inexact == 0 && "an integer of that many bits must fit exactly");
        (void)inexact;
    }
    ~ExactReal() { mpfr_clear(x); }
    ExactReal(const ExactReal&) = delete;
    ExactReal& operator=(const ExactReal&) = delete;
};

/// Sets `out` to the signed digits of `value` (its integer mantissa).
void SetMantissa(mpz_t out, const ExactDecimal& value) {
    const int failed = mpz_set_str(out, value.digits.c_str(), 10);
    assert(failed == 0 && "canonical digits are plain decimal digits");
    (void)failed;
    if (value.negative) {
        mpz_neg(out, out);
    }
}

void MultiplyByPowerOfTen(mpz_t z, std::int64_t power) {
    assert(power >= 0);
    if (power == 0 || mpz_sgn(z) == 0) {
        return;
    }
    Integer scale;
    mpz_ui_pow_ui(scale.z, 10, static_cast<unsigned long>(power));
    mpz_mul(z, z, scale.z);
}

bool IsZeroDecimal(const ExactDecimal& value) {
    return value.digits == "0";
}

} // namespace

void ToMpfr(const ExactDecimal& value, mpfr_t out, mpfr_rnd_t rounding) {
    // MPFR reads decimal text with one correct rounding, however long the text.
    std::string text = value.negative ? "-" : "";
    text += value.digits;
    text += 'e';
    text += std::to_string(value.exponent);
    const int failed = mpfr_set_str(out, text.c_str(), 10, rounding);
    assert(failed == 0 && "canonical text is valid MPFR input");
    (void)failed;
}

void ScaledOffset(const ExactDecimal& centre, const ExactDecimal& radius, std::int64_t steps,
                  std::int64_t height, mpfr_t out, mpfr_rnd_t rounding) {
    assert(height > 0 && "a picture has rows");
    // value = (centre·height + radius·steps) / height. Both terms become integers over the common
    // power of ten 10^base; a zero term takes no part in choosing the base, so it cannot widen the
    // integers.
    const bool centreCounts = !IsZeroDecimal(centre);
    const bool offsetCounts = !IsZeroDecimal(radius) && steps != 0;
    std::int64_t base = 0;
    if (centreCounts && offsetCounts) {
        base = std::min(centre.exponent, radius.exponent);
    } else if (centreCounts) {
        base = centre.exponent;
    } else if (offsetCounts) {
        base = radius.exponent;
    }

    Integer numerator;
    if (centreCounts) {
        SetMantissa(numerator.z, centre);
        MultiplyByPowerOfTen(numerator.z, centre.exponent - base);
        mpz_mul_si(numerator.z, numerator.z, static_cast<long>(height));
    }
    if (offsetCounts) {
        Integer offset;
        SetMantissa(offset.z, radius);
        MultiplyByPowerOfTen(offset.z, radius.exponent - base);
        mpz_mul_si(offset.z, offset.z, static_cast<long>(steps));
        mpz_add(numerator.z, numerator.z, offset.z);
    }
    Integer denominator;
    mpz_set_si(denominator.z, static_cast<long>(height));
    if (base >= 0) {
        MultiplyByPowerOfTen(numerator.z, base);
    } else {
        MultiplyByPowerOfTen(denominator.z, -base);
    }
    // Both integers are held exactly, so the division is the only rounding.
    const ExactReal top(numerator.z);
    const ExactReal bottom(denominator.z);
    mpfr_div(out, top.x, bottom.x, rounding);
}

} // namespace deep
