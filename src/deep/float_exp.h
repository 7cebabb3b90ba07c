#pragma once

// A number with a double's 53-bit mantissa and a 64-bit binary exponent, for the per-pixel
// differences from the reference orbit once they fall below the double range (views smaller
// than about 1e-300). The hot operations are inline: they run per pixel per iteration.
//
// Finite nonzero values keep the mantissa in [0.5, 1) in magnitude, so the exponent of a value
// is found without looking at the mantissa and every value has one representation. Zero keeps
// a very negative exponent and infinity and NaN a very positive one, so that addition needs no
// test for them: a zero is always the negligible operand, an infinity never is.
//
// +, -, * and / round exactly as the same operation on doubles would (one rounding to nearest
// even) wherever the double result would be a normal number; beyond that range they keep going
// where doubles underflow to zero or overflow to infinity. Exponents stay far inside
// +-2^61 in any sensible use (a view of radius 1e-100000 needs about -332200); past that the
// exponent arithmetic is not guarded.

#include <bit>
#include <cmath>
#include <compare>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>
#include <utility>

namespace deep {

class FloatExp {
public:
    /// The exponent stored with a zero mantissa: adding it to any finite exponent, or the
    /// exponent of a division by zero, stays inside int64.
    static constexpr std::int64_t kZeroExponent = std::numeric_limits<std::int64_t>::min() / 4;
    /// The exponent stored with an infinite or NaN mantissa.
    static constexpr std::int64_t kNonFiniteExponent = std::numeric_limits<std::int64_t>::max() / 4;
    /// Alignment shift past which the smaller addend cannot change the rounded sum: it is then
    /// below 2^-64 of the larger, far under half its last place (2^-54).
    static constexpr std::int64_t kNegligibleShift = 64;

    constexpr FloatExp() = default;
    /// Any double, subnormals, signed zeros, infinities and NaN included. Not explicit, so that
    /// code written for double (`T x = 2.0`) serves FloatExp as well.
    FloatExp(double value) { *this = normalised(value, 0); } // NOLINT(google-explicit-constructor)
    /// mantissa * 2^exponent; the mantissa need not be normalised.
    FloatExp(double mantissa, std::int64_t exponent) { *this = normalised(mantissa, exponent); }

    /// In [0.5, 1) in magnitude, or a (signed) zero, infinity or NaN.
    [[nodiscard]] double mantissa() const { return m_mantissa; }
    /// The value is mantissa() * 2^exponent(); see kZeroExponent and kNonFiniteExponent.
    [[nodiscard]] std::int64_t exponent() const { return m_exponent; }
    [[nodiscard]] bool isZero() const { return m_mantissa == 0.0; }
    [[nodiscard]] bool isFinite() const { return std::isfinite(m_mantissa); }
    [[nodiscard]] bool isNegative() const { return std::signbit(m_mantissa); }

    /// The nearest double: a subnormal or signed zero below the double range, a signed infinity
    /// above it.
    [[nodiscard]] double toDouble() const {
        const std::int64_t e = m_exponent;
        if (e >= kMinNormalExponent && e <= kMaxNormalExponent) {
            return m_mantissa * pow2(e); // exact: only the exponent field changes
        }
        if (e > kMaxNormalExponent) {
            // 2^1024 itself does not fit; the product overflows only when the value does.
            // An infinity stays one and a NaN stays NaN.
            return e == kMaxNormalExponent + 1 ? m_mantissa * 2.0 * pow2(kMaxNormalExponent)
                                               : m_mantissa * std::numeric_limits<double>::infinity();
        }
        // Below 2^-1100 the value is under half the smallest subnormal: a signed zero.
        // Between, ldexp rounds once into the subnormal range.
        return e < -1100 ? m_mantissa * 0.0 : std::ldexp(m_mantissa, static_cast<int>(e));
    }

    /// log2 of the magnitude: -inf for zero, +inf for infinity, NaN for NaN.
    [[nodiscard]] double log2Abs() const {
        if (m_mantissa == 0.0) {
            return -std::numeric_limits<double>::infinity();
        }
        if (!isFinite()) {
            return std::fabs(m_mantissa);
        }
        return std::log2(std::fabs(m_mantissa)) + static_cast<double>(m_exponent);
    }

    /// The value times 2^n, exact. Zero, infinity and NaN stay as they are.
    [[nodiscard]] FloatExp ldexp(std::int64_t n) const {
        if (m_mantissa == 0.0 || !isFinite()) {
            return *this;
        }
        return raw(m_mantissa, m_exponent + n);
    }

    friend FloatExp operator-(FloatExp a) { return raw(-a.m_mantissa, a.m_exponent); }
    friend FloatExp abs(FloatExp a) { return raw(std::fabs(a.m_mantissa), a.m_exponent); }

    friend FloatExp operator+(FloatExp a, FloatExp b) {
        if (a.m_exponent < b.m_exponent) {
            std::swap(a, b);
        }
        const std::int64_t shift = a.m_exponent - b.m_exponent;
        if (shift > kNegligibleShift) {
            return a;
        }
        // b's mantissa times 2^-shift is a normal double, so the alignment is exact and the
        // only rounding is the sum's own.
        return normalised(a.m_mantissa + b.m_mantissa * pow2(-shift), a.m_exponent);
    }
    friend FloatExp operator-(FloatExp a, FloatExp b) { return a + -b; }
    friend FloatExp operator*(FloatExp a, FloatExp b) {
        return normalised(a.m_mantissa * b.m_mantissa, a.m_exponent + b.m_exponent);
    }
    friend FloatExp operator/(FloatExp a, FloatExp b) {
        return normalised(a.m_mantissa / b.m_mantissa, a.m_exponent - b.m_exponent);
    }
    FloatExp& operator+=(FloatExp b) { return *this = *this + b; }
    FloatExp& operator-=(FloatExp b) { return *this = *this - b; }
    FloatExp& operator*=(FloatExp b) { return *this = *this * b; }
    FloatExp& operator/=(FloatExp b) { return *this = *this / b; }

    /// Numeric equality: +0 equals -0, NaN equals nothing.
    friend bool operator==(FloatExp a, FloatExp b) {
        return a.m_mantissa == b.m_mantissa && (a.m_exponent == b.m_exponent || a.m_mantissa == 0.0);
    }
    /// Numeric order across any exponent gap; NaN is unordered.
    friend std::partial_ordering operator<=>(FloatExp a, FloatExp b) {
        if (std::isnan(a.m_mantissa) || std::isnan(b.m_mantissa)) {
            return std::partial_ordering::unordered;
        }
        // With a zero or with opposite signs the mantissas' signs decide alone.
        const bool sameSign = std::signbit(a.m_mantissa) == std::signbit(b.m_mantissa);
        if (!sameSign || a.m_mantissa == 0.0 || b.m_mantissa == 0.0 || a.m_exponent == b.m_exponent) {
            return a.m_mantissa <=> b.m_mantissa;
        }
        // Same sign, both nonzero, different exponents: the larger exponent has the larger
        // magnitude, whatever the mantissas.
        return a.m_mantissa > 0.0 ? a.m_exponent <=> b.m_exponent : b.m_exponent <=> a.m_exponent;
    }

    /// For test messages: "mantissa*2^exponent", the mantissa in the shortest digits that read
    /// back to it, "." as the decimal point whatever the locale; zero, inf and nan alone.
    [[nodiscard]] std::string toString() const;

private:
    static constexpr std::int64_t kMinNormalExponent = -1021; // 0.5 * 2^-1021 = DBL_MIN
    static constexpr std::int64_t kMaxNormalExponent = 1023;
    static constexpr int kMantissaBits = 52;
    static constexpr std::uint64_t kExponentMask = 0x7ffULL << kMantissaBits;
    static constexpr std::uint64_t kHalfExponentField = 1022ULL << kMantissaBits; // of 0.5

    /// 2^e for e in [-1022, 1023], built in the exponent field.
    static double pow2(std::int64_t e) {
        return std::bit_cast<double>(static_cast<std::uint64_t>(e + 1023) << kMantissaBits);
    }
    static FloatExp raw(double mantissa, std::int64_t exponent) {
        FloatExp r;
        r.m_mantissa = mantissa;
        r.m_exponent = exponent;
        return r;
    }
    /// Reads the binary exponent from the double's bits rather than through frexp; a subnormal
    /// is first scaled into the normal range, where the bits tell its exponent too.
    static FloatExp normalised(double m, std::int64_t e) {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(m);
        std::uint64_t field = bits & kExponentMask;
        if (field == 0) [[unlikely]] {
            if (m == 0.0) {
                return raw(m, kZeroExponent);
            }
            m *= 0x1p54;
            e -= 54;
            bits = std::bit_cast<std::uint64_t>(m);
            field = bits & kExponentMask;
        } else if (field == kExponentMask) [[unlikely]] {
            return raw(m, kNonFiniteExponent);
        }
        const auto shift = static_cast<std::int64_t>(field >> kMantissaBits) - 1022;
        return raw(std::bit_cast<double>((bits & ~kExponentMask) | kHalfExponentField), e + shift);
    }

    double m_mantissa = 0.0;
    std::int64_t m_exponent = kZeroExponent;
};

/// The square, as norm() of a real number would be.
[[nodiscard]] inline FloatExp sqr(FloatExp a) {
    return a * a;
}
[[nodiscard]] inline double sqr(double a) {
    return a * a;
}

/// gtest prints a FloatExp through this.
void PrintTo(const FloatExp& value, std::ostream* out);

/// A complex number over double or FloatExp, with only what the perturbation needs.
template <typename T> struct Complex {
    T re{};
    T im{};

    /// |z|^2.
    [[nodiscard]] T norm() const { return re * re + im * im; }

    friend Complex operator+(const Complex& a, const Complex& b) { return {a.re + b.re, a.im + b.im}; }
    friend Complex operator-(const Complex& a, const Complex& b) { return {a.re - b.re, a.im - b.im}; }
    friend Complex operator-(const Complex& a) { return {-a.re, -a.im}; }
    friend Complex operator*(const Complex& a, const Complex& b) {
        return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
    }
    friend Complex operator*(const Complex& a, double s) { return {a.re * T(s), a.im * T(s)}; }
    friend Complex operator*(double s, const Complex& a) { return a * s; }
    friend bool operator==(const Complex& a, const Complex& b) { return a.re == b.re && a.im == b.im; }

    [[nodiscard]] Complex square() const { return {re * re - im * im, (re + re) * im}; }
};

/// One step of the perturbed orbit, delta' = 2 Z delta + delta^2 + deltaC, for the difference
/// delta of a pixel's orbit from the reference orbit Z (c differing by deltaC). Computed as
/// (2 Z + delta) delta + deltaC, which saves a multiplication and, with the same T, rounds the
/// same way for double and FloatExp. The reference is usually a double; passing it as FloatExp
/// too makes the step homogeneous in a power-of-two scale.
template <typename T, typename R>
[[nodiscard]] Complex<T> PerturbStep(const Complex<R>& Z, const Complex<T>& delta, const Complex<T>& deltaC) {
    const T zr(Z.re);
    const T zi(Z.im);
    const T a = zr + zr + delta.re;
    const T b = zi + zi + delta.im;
    return {a * delta.re - b * delta.im + deltaC.re, a * delta.im + b * delta.re + deltaC.im};
}

} // namespace deep
