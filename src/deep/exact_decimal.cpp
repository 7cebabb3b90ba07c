#include "exact_decimal.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include <gmp.h>

namespace deep {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// An exponent's digits beyond this value cannot give an accepted nonzero value (the mantissa
/// shifts the magnitude by at most kMaxDecimalDigits), so reading stops growing there and the
/// int64 never overflows, however many digits are written.
constexpr std::int64_t kExponentSaturation = 1'000'000'000'000'000;

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
void setMantissa(mpz_t out, const ExactDecimal& value) {
    const int failed = mpz_set_str(out, value.digits.c_str(), 10);
    assert(failed == 0 && "canonical digits are plain decimal digits");
    (void)failed;
    if (value.negative) {
        mpz_neg(out, out);
    }
}

void multiplyByPowerOfTen(mpz_t z, std::int64_t power) {
    assert(power >= 0);
    if (power == 0 || mpz_sgn(z) == 0) {
        return;
    }
    Integer scale;
    mpz_ui_pow_ui(scale.z, 10, static_cast<unsigned long>(power));
    mpz_mul(z, z, scale.z);
}

bool isZero(const ExactDecimal& value) {
    return value.digits == "0";
}

} // namespace

std::optional<ExactDecimal> ParseExactDecimal(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string mantissa;
    std::int64_t fractionDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        mantissa += text[i++];
        if (mantissa.size() > kMaxDecimalDigits) {
            return std::nullopt;
        }
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            mantissa += text[i++];
            ++fractionDigits;
            if (mantissa.size() > kMaxDecimalDigits) {
                return std::nullopt;
            }
        }
    }
    if (mantissa.empty()) {
        return std::nullopt;
    }
    std::int64_t written = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponentNegative = text[i] == '-';
            ++i;
        }
        if (i == text.size() || !isDigit(text[i])) {
            return std::nullopt;
        }
        while (i < text.size() && isDigit(text[i])) {
            written = std::min(written * 10 + (text[i++] - '0'), kExponentSaturation);
        }
        if (exponentNegative) {
            written = -written;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }

    const auto first = mantissa.find_first_not_of('0');
    if (first == std::string::npos) {
        return ExactDecimal{};
    }
    const auto last = mantissa.find_last_not_of('0');
    ExactDecimal value;
    value.negative = negative;
    value.digits = mantissa.substr(first, last - first + 1);
    value.exponent = written - fractionDigits + static_cast<std::int64_t>(mantissa.size() - 1 - last);
    const std::int64_t magnitude = DecimalMagnitude(value);
    if (magnitude > kMaxDecimalMagnitude || magnitude < -kMaxDecimalMagnitude) {
        return std::nullopt;
    }
    return value;
}

std::int64_t DecimalMagnitude(const ExactDecimal& value) {
    if (isZero(value)) {
        return 0;
    }
    return value.exponent + static_cast<std::int64_t>(value.digits.size()) - 1;
}

std::string FormatExactDecimal(const ExactDecimal& value) {
    if (isZero(value)) {
        return "0";
    }
    std::string text = value.negative ? "-" : "";
    const std::int64_t magnitude = DecimalMagnitude(value);
    const auto count = static_cast<std::int64_t>(value.digits.size());
    if (magnitude >= -7 && magnitude <= 20) {
        if (value.exponent >= 0) {
            text += value.digits;
            text.append(static_cast<std::size_t>(value.exponent), '0');
        } else if (const std::int64_t whole = count + value.exponent; whole > 0) {
            text += value.digits.substr(0, static_cast<std::size_t>(whole));
            text += '.';
            text += value.digits.substr(static_cast<std::size_t>(whole));
        } else {
            text += "0.";
            text.append(static_cast<std::size_t>(-whole), '0');
            text += value.digits;
        }
        return text;
    }
    text += value.digits[0];
    if (count > 1) {
        text += '.';
        text.append(value.digits, 1);
    }
    text += magnitude < 0 ? "e-" : "e+";
    text += std::to_string(magnitude < 0 ? -magnitude : magnitude);
    return text;
}

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
    const bool centreCounts = !isZero(centre);
    const bool offsetCounts = !isZero(radius) && steps != 0;
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
        setMantissa(numerator.z, centre);
        multiplyByPowerOfTen(numerator.z, centre.exponent - base);
        mpz_mul_si(numerator.z, numerator.z, static_cast<long>(height));
    }
    if (offsetCounts) {
        Integer offset;
        setMantissa(offset.z, radius);
        multiplyByPowerOfTen(offset.z, radius.exponent - base);
        mpz_mul_si(offset.z, offset.z, static_cast<long>(steps));
        mpz_add(numerator.z, numerator.z, offset.z);
    }
    Integer denominator;
    mpz_set_si(denominator.z, static_cast<long>(height));
    if (base >= 0) {
        multiplyByPowerOfTen(numerator.z, base);
    } else {
        multiplyByPowerOfTen(denominator.z, -base);
    }
    // Both integers are held exactly, so the division is the only rounding.
    const ExactReal top(numerator.z);
    const ExactReal bottom(denominator.z);
    mpfr_div(out, top.x, bottom.x, rounding);
}

} // namespace deep
