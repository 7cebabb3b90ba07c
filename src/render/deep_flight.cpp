#include "deep_flight.h"

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>

#include <gmp.h>
#include <mpfr.h>

namespace render {

namespace {

/// Enough bits that exp(log) of a radius down to the decimals' deepest magnitude keeps
/// kFlightRadiusDigits digits: log |R| needs about 29 bits before the point, the digits about
/// 67 after it.
constexpr mpfr_prec_t kRadiusBits = 192;

struct Real {
    mpfr_t x;
    Real() { mpfr_init2(x, kRadiusBits); }
    ~Real() { mpfr_clear(x); }
    Real(const Real&) = delete;
    Real& operator=(const Real&) = delete;
};

/// An owned GMP rational, cleared on every path out.
struct Rational {
    mpq_t q;
    Rational() { mpq_init(q); }
    explicit Rational(const deep::ExactDecimal& value) : Rational() {
        const int failed = mpz_set_str(mpq_numref(q), value.digits.c_str(), 10);
        assert(failed == 0 && "canonical digits are plain decimal digits");
        (void)failed;
        if (value.negative) {
            mpz_neg(mpq_numref(q), mpq_numref(q));
        }
        mpz_t scale;
        mpz_init(scale);
        mpz_ui_pow_ui(scale, 10,
                      static_cast<unsigned long>(value.exponent < 0 ? -value.exponent : value.exponent));
        if (value.exponent < 0) {
            mpz_set(mpq_denref(q), scale);
        } else {
            mpz_mul(mpq_numref(q), mpq_numref(q), scale);
        }
        mpz_clear(scale);
        mpq_canonicalize(q);
    }
    ~Rational() { mpq_clear(q); }
    Rational(const Rational&) = delete;
    Rational& operator=(const Rational&) = delete;
};

deep::ExactDecimal Decimal(const std::string& digits, std::int64_t exponent) {
    const std::optional<deep::ExactDecimal> value =
        deep::ParseExactDecimal(digits + "e" + std::to_string(exponent));
    assert(value && "digits and an exponent in range are a decimal");
    return value.value_or(deep::ExactDecimal{});
}

/// R0·(R/R0)^(k/(frames−1)) to kFlightRadiusDigits significant digits, through logarithms so
/// that neither power can leave MPFR's exponent range.
deep::ExactDecimal FlightRadius(const deep::ExactDecimal& from, const deep::ExactDecimal& to, int frames,
                                int k) {
    Real logFrom;
    Real logTo;
    deep::ToMpfr(from, logFrom.x, MPFR_RNDN);
    deep::ToMpfr(to, logTo.x, MPFR_RNDN);
    mpfr_log(logFrom.x, logFrom.x, MPFR_RNDN);
    mpfr_log(logTo.x, logTo.x, MPFR_RNDN);
    // (log R0·(frames−1−k) + log R·k) / (frames−1): no rounded step k/(frames−1) in between.
    mpfr_mul_si(logFrom.x, logFrom.x, frames - 1 - k, MPFR_RNDN);
    mpfr_mul_si(logTo.x, logTo.x, k, MPFR_RNDN);
    Real radius;
    mpfr_add(radius.x, logFrom.x, logTo.x, MPFR_RNDN);
    mpfr_div_si(radius.x, radius.x, frames - 1, MPFR_RNDN);
    mpfr_exp(radius.x, radius.x, MPFR_RNDN);
    mpfr_exp_t point = 0;
    char* digits = mpfr_get_str(nullptr, &point, 10, kFlightRadiusDigits, radius.x, MPFR_RNDN);
    // mpfr_get_str's value is 0.DIGITS × 10^point.
    deep::ExactDecimal value = Decimal(digits, static_cast<std::int64_t>(point) - kFlightRadiusDigits);
    mpfr_free_str(digits);
    return value;
}

/// `value` rounded to the nearest multiple of 10^exponent (halves upwards).
deep::ExactDecimal RoundToStep(const mpq_t value, std::int64_t exponent) {
    mpz_t power;
    mpz_t top;
    mpz_t bottom;
    mpz_inits(power, top, bottom, nullptr);
    mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(exponent < 0 ? -exponent : exponent));
    // value / 10^exponent = top / bottom; then floor((2·top + bottom) / (2·bottom)).
    mpz_set(top, mpq_numref(value));
    mpz_set(bottom, mpq_denref(value));
    if (exponent < 0) {
        mpz_mul(top, top, power);
    } else {
        mpz_mul(bottom, bottom, power);
    }
    mpz_mul_2exp(top, top, 1);
    mpz_add(top, top, bottom);
    mpz_mul_2exp(bottom, bottom, 1);
    mpz_fdiv_q(top, top, bottom);
    // mpz_sizeinbase may count one digit too many; the sign and the terminator need two more.
    std::string digits(mpz_sizeinbase(top, 10) + 2, '\0');
    mpz_get_str(digits.data(), 10, top);
    digits.resize(std::char_traits<char>::length(digits.c_str()));
    deep::ExactDecimal rounded = Decimal(digits, exponent);
    mpz_clears(power, top, bottom, nullptr);
    return rounded;
}

/// C + (C0 − C)·share, rounded once to a multiple of 10^exponent.
deep::ExactDecimal Glide(const deep::ExactDecimal& from, const deep::ExactDecimal& to, const mpq_t share,
                         std::int64_t exponent) {
    Rational start(from);
    Rational centre(to);
    mpq_sub(start.q, start.q, centre.q);
    mpq_mul(start.q, start.q, share);
    mpq_add(centre.q, centre.q, start.q);
    return RoundToStep(centre.q, exponent);
}

} // namespace

deep::DeepView DeepFlightView(const deep::DeepView& from, const deep::DeepView& to, int frames, int k) {
    assert(frames >= 2 && k >= 0 && k < frames && "a picture of the flight");
    deep::DeepView view = to;
    if (k == frames - 1) {
        return view;
    }
    if (k == 0) {
        view.re = from.re;
        view.im = from.im;
        view.radius = from.radius;
        return view;
    }
    if (from.radius != to.radius) {
        return DeepFlightViewAt(from, to, FlightRadius(from.radius, to.radius, frames, k));
    }
    view.radius = FlightRadius(from.radius, to.radius, frames, k);
    Rational share;
    mpq_set_si(share.q, frames - 1 - k, static_cast<unsigned long>(frames - 1));
    mpq_canonicalize(share.q);
    const std::int64_t step = deep::DecimalMagnitude(view.radius) - kFlightRadiusDigits;
    view.re = Glide(from.re, to.re, share.q, step);
    view.im = Glide(from.im, to.im, share.q, step);
    return view;
}

deep::DeepView DeepFlightViewAt(const deep::DeepView& from, const deep::DeepView& to,
                                const deep::ExactDecimal& radius) {
    assert(from.radius != to.radius && "a flight that changes its radius");
    deep::DeepView view = to;
    view.radius = radius;
    // The share of the way still to go: (r − R)/(R0 − R), exactly.
    Rational share;
    {
        Rational here(view.radius);
        Rational target(to.radius);
        Rational start(from.radius);
        mpq_sub(here.q, here.q, target.q);
        mpq_sub(start.q, start.q, target.q);
        mpq_div(share.q, here.q, start.q);
    }
    const std::int64_t step = deep::DecimalMagnitude(view.radius) - kFlightRadiusDigits;
    view.re = Glide(from.re, to.re, share.q, step);
    view.im = Glide(from.im, to.im, share.q, step);
    return view;
}

double DecimalRatio(const deep::ExactDecimal& a, const deep::ExactDecimal& b,
                    const deep::ExactDecimal& divisor) {
    Rational difference(a);
    Rational subtrahend(b);
    Rational scale(divisor);
    mpq_sub(difference.q, difference.q, subtrahend.q);
    mpq_div(difference.q, difference.q, scale.q);
    return mpq_get_d(difference.q);
}

deep::ExactDecimal DecimalTimesPowerOfTwo(const deep::ExactDecimal& value, int power) {
    assert(power >= 0 && "a whole power of two");
    mpz_t digits;
    mpz_init_set_str(digits, value.digits.c_str(), 10);
    mpz_mul_2exp(digits, digits, static_cast<mp_bitcnt_t>(power));
    std::string text(mpz_sizeinbase(digits, 10) + 2, '\0');
    mpz_get_str(text.data(), 10, digits);
    text.resize(std::char_traits<char>::length(text.c_str()));
    mpz_clear(digits);
    deep::ExactDecimal product = Decimal(text, value.exponent);
    product.negative = value.negative && product.digits != "0";
    return product;
}

} // namespace render
