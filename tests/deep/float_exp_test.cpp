// The extended-exponent number: against doubles and long doubles where doubles suffice, against
// exact identities far outside their range, at the edges of the double range, and the
// perturbation step in both number types.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "float_exp.h"

namespace {

using deep::Complex;
using deep::FloatExp;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kRandomCases = 20000;

/// A random double with a random sign and a binary exponent in [-maxExponent, maxExponent].
double RandomDouble(std::mt19937_64& rng, int maxExponent) {
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(-maxExponent, maxExponent);
    const double value = std::ldexp(mantissa(rng), exponent(rng));
    return rng() % 2 == 0 ? value : -value;
}

/// A second operand: often close to the first in exponent, sometimes nearly its negation, so
/// that sums cancel and alignment shifts of every size occur.
double RandomPartner(std::mt19937_64& rng, double a) {
    switch (rng() % 4) {
    case 0:
        return RandomDouble(rng, 250);
    case 1: {
        std::uniform_real_distribution<double> nearOne(1.0 - 1e-9, 1.0 + 1e-9);
        return -a * nearOne(rng);
    }
    default: {
        std::uniform_int_distribution<int> shift(-70, 70);
        return std::ldexp(RandomDouble(rng, 0), std::ilogb(a) + shift(rng));
    }
    }
}

double UlpOf(double x) {
    return std::nextafter(std::fabs(x), kInf) - std::fabs(x);
}

struct BinaryOp {
    const char* name;
    FloatExp (*floatExp)(FloatExp, FloatExp);
    double (*plain)(double, double);
    long double (*wide)(long double, long double);
    /// The exponent of the result when the operands are scaled by 2^sa and 2^sb.
    std::int64_t (*scaleOfResult)(std::int64_t sa, std::int64_t sb);
    bool needsEqualScales; // a sum is only a scaled sum when both operands share the scale
};

const BinaryOp kBinaryOps[] = {
    {"Add", [](FloatExp a, FloatExp b) { return a + b; }, [](double a, double b) { return a + b; },
     [](long double a, long double b) { return a + b; }, [](std::int64_t sa, std::int64_t) { return sa; },
     true},
    {"Subtract", [](FloatExp a, FloatExp b) { return a - b; }, [](double a, double b) { return a - b; },
     [](long double a, long double b) { return a - b; }, [](std::int64_t sa, std::int64_t) { return sa; },
     true},
    {"Multiply", [](FloatExp a, FloatExp b) { return a * b; }, [](double a, double b) { return a * b; },
     [](long double a, long double b) { return a * b; },
     [](std::int64_t sa, std::int64_t sb) { return sa + sb; }, false},
    {"Divide", [](FloatExp a, FloatExp b) { return a / b; }, [](double a, double b) { return a / b; },
     [](long double a, long double b) { return a / b; },
     [](std::int64_t sa, std::int64_t sb) { return sa - sb; }, false},
};

// Names the row in failure messages rather than dumping its bytes.
void PrintTo(const BinaryOp& op, std::ostream* out) {
    *out << op.name;
}

class FloatExpBinaryOp : public testing::TestWithParam<BinaryOp> {};

// Inside the double range each operation rounds once, as the double operation does: the
// results agree bit for bit, and lie within an ulp of the long double result.
TEST_P(FloatExpBinaryOp, MatchesDoubleAndLongDoubleInsideTheDoubleRange) {
    const BinaryOp& op = GetParam();
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < kRandomCases; ++i) {
        const double a = RandomDouble(rng, 250);
        const double b = RandomPartner(rng, a);
        const double expected = op.plain(a, b);
        if (expected != 0.0 && std::fabs(expected) < DBL_MIN) {
            continue; // a subnormal double result has lost bits that FloatExp keeps
        }
        const FloatExp result = op.floatExp(FloatExp(a), FloatExp(b));
        ASSERT_EQ(std::bit_cast<std::uint64_t>(result.toDouble()), std::bit_cast<std::uint64_t>(expected))
            << op.name << " of " << a << " and " << b << " gave " << result.toString();
        const long double wide = op.wide(a, b);
        ASSERT_LE(std::fabs(static_cast<long double>(result.toDouble()) - wide), UlpOf(expected))
            << op.name << " of " << a << " and " << b;
        if (!result.isZero()) {
            ASSERT_GE(std::fabs(result.mantissa()), 0.5);
            ASSERT_LT(std::fabs(result.mantissa()), 1.0);
        }
    }
}

// Far outside the double range the same operands scaled by powers of two give the same
// mantissas, with the scales carried through the exponent.
TEST_P(FloatExpBinaryOp, ScaledOperandsGiveTheScaledResultFarOutsideTheDoubleRange) {
    const BinaryOp& op = GetParam();
    struct Scales {
        std::int64_t a;
        std::int64_t b;
    };
    const Scales kScales[] = {{-16610, -16610}, {-332200, -332200}, {5000, 5000},
                              {-16610, 5000},   {-300000, 250000},  {40000, -40000}};
    std::mt19937_64 rng(77);
    for (const Scales& s : kScales) {
        if (op.needsEqualScales && s.a != s.b) {
            continue;
        }
        for (int i = 0; i < kRandomCases / 4; ++i) {
            const double a = RandomDouble(rng, 250);
            const double b = RandomPartner(rng, a);
            const double plain = op.plain(a, b);
            if (plain != 0.0 && std::fabs(plain) < DBL_MIN) {
                continue;
            }
            const FloatExp result = op.floatExp(FloatExp(a).ldexp(s.a), FloatExp(b).ldexp(s.b));
            ASSERT_EQ(result, FloatExp(plain).ldexp(op.scaleOfResult(s.a, s.b)))
                << op.name << " of " << a << "*2^" << s.a << " and " << b << "*2^" << s.b;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ops, FloatExpBinaryOp, testing::ValuesIn(kBinaryOps),
                         [](const testing::TestParamInfo<BinaryOp>& info) { return info.param.name; });

constexpr double kLog2Of1eMinus5000 = -5000 * 3.321928094887362;

// 1e-5000 = 0.6417... * 2^-16609, far below the smallest double.
FloatExp OneEMinus5000() {
    return FloatExp(std::exp2(kLog2Of1eMinus5000 + 16609.0), -16609);
}

TEST(FloatExp, TheSmallerAddendVanishesAcrossAWideExponentGap) {
    const FloatExp large = FloatExp(0.75, -16000);
    const FloatExp small[] = {FloatExp(0.5, -16065), FloatExp(-0.99, -16100), OneEMinus5000(), FloatExp(0.0)};
    for (const FloatExp& tiny : small) {
        SCOPED_TRACE(tiny.toString());
        EXPECT_EQ(tiny + large, large);
        EXPECT_EQ(large + tiny, large);
        EXPECT_EQ(large - tiny, large);
        EXPECT_EQ(tiny - large, -large);
    }
    // Within the alignment window the smaller addend still counts when it reaches the last place.
    EXPECT_GT(FloatExp(0.5, 0) + FloatExp(0.5, -52), FloatExp(0.5, 0));
    EXPECT_EQ((FloatExp(0.5, 0) + FloatExp(0.5, -52)).toDouble(), 0.5 + 0x1p-53);
    // Zero's exponent must not make it the larger operand of a sum with a far-off value.
    EXPECT_EQ(FloatExp(0.0) + OneEMinus5000(), OneEMinus5000());
    EXPECT_EQ(OneEMinus5000() + FloatExp(-0.0), OneEMinus5000());
}

TEST(FloatExp, OrdersAcrossHugeExponentGapsAndSigns) {
    // Strictly increasing.
    const std::vector<FloatExp> ascending = {
        FloatExp(-kInf),         FloatExp(-0.5, 400000),  FloatExp(-0.9, 1000),   FloatExp(-0.5, 1000),
        FloatExp(-1.0),          FloatExp(-0.99, -16610), FloatExp(-0.5, -16610), FloatExp(0.0),
        FloatExp(0.5, -332200),  FloatExp(0.99, -332200), FloatExp(0.5, -16610),  FloatExp(0x1p-1074),
        FloatExp(DBL_MIN),       FloatExp(1.0),           FloatExp(DBL_MAX),      FloatExp(0.5, 1025),
        FloatExp(0.75, 1000000), FloatExp(kInf)};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            SCOPED_TRACE(ascending[i].toString() + " against " + ascending[j].toString());
            EXPECT_EQ(ascending[i] < ascending[j], i < j);
            EXPECT_EQ(ascending[i] > ascending[j], i > j);
            EXPECT_EQ(ascending[i] == ascending[j], i == j);
            EXPECT_EQ(ascending[i] <= ascending[j], i <= j);
        }
    }
    const FloatExp nan(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(nan == nan);
    EXPECT_FALSE(nan < FloatExp(1.0));
    EXPECT_FALSE(nan > FloatExp(1.0));
    EXPECT_FALSE(FloatExp(-kInf) < nan);
}

TEST(FloatExp, ToDoubleAtTheEdgesOfTheDoubleRange) {
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        FloatExp value;
        double expected;
    };
    const Row rows[] = {
        {"largest double", FloatExp(DBL_MAX), DBL_MAX},
        {"largest double as mantissa and exponent", FloatExp(1.0 - 0x1p-53, 1024), DBL_MAX},
        {"2^1023", FloatExp(0.5, 1024), 0x1p1023},
        {"2^1024 overflows", FloatExp(0.5, 1025), kInf},
        {"negative overflow", FloatExp(-0.75, 1030), -kInf},
        {"far overflow", FloatExp(0.5, 400000), kInf},
        {"smallest normal", FloatExp(0.5, -1021), DBL_MIN},
        {"largest subnormal", FloatExp(1.0 - 0x1p-52, -1022), DBL_MIN - 0x1p-1074},
        {"subnormal 2^-1023", FloatExp(0.5, -1022), 0x1p-1023},
        {"smallest subnormal", FloatExp(0.5, -1073), 0x1p-1074},
        {"negative smallest subnormal", FloatExp(-0.5, -1073), -0x1p-1074},
        {"half the smallest subnormal ties to zero", FloatExp(0.5, -1074), 0.0},
        {"three quarters of it rounds up", FloatExp(0.75, -1074), 0x1p-1074},
        {"negative half ties to negative zero", FloatExp(-0.5, -1074), -0.0},
        {"subnormal rounds to its grid", FloatExp(0.5 + 0x1p-53, -1060), 0x1p-1061},
        {"subnormal rounds up to its grid", FloatExp(0.75 + 0x1p-15 + 0x1p-40, -1060),
         0x1p-1061 + 0x1p-1062 + 0x1p-1074},
        {"just past the ldexp window", FloatExp(0.99, -1101), 0.0},
        {"far underflow keeps the sign", -OneEMinus5000(), -0.0},
        {"zero", FloatExp(0.0), 0.0},
        {"negative zero", FloatExp(-0.0), -0.0},
        {"infinity", FloatExp(kInf), kInf},
        {"negative infinity", FloatExp(-kInf), -kInf},
        {"NaN", FloatExp(kNaN), kNaN},
        {"product overflowing doubles", FloatExp(DBL_MAX) * FloatExp(2.0), kInf},
        {"quotient in the subnormal range", FloatExp(DBL_MIN) / FloatExp(0x1p20), 0x1p-1042},
        {"quotient below the subnormals", FloatExp(DBL_MIN) / FloatExp(0x1p60), 0.0},
        {"division by zero", FloatExp(-3.0) / FloatExp(0.0), -kInf},
        {"zero divided by zero", FloatExp(0.0) / FloatExp(0.0), kNaN},
        {"infinity plus a huge number", FloatExp(kInf) + FloatExp(0.5, 400000), kInf},
        {"infinity times a tiny number", FloatExp(kInf) * OneEMinus5000(), kInf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const double actual = row.value.toDouble();
        if (std::isnan(row.expected)) {
            EXPECT_TRUE(std::isnan(actual)) << actual;
        } else {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(row.expected))
                << actual << " from " << row.value.toString();
        }
    }
}

// Every double, subnormals included, comes back unchanged, with a normalised mantissa.
TEST(FloatExp, EveryDoubleRoundTrips) {
    std::mt19937_64 rng(5);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.5,
                                  DBL_MAX,
                                  -DBL_MAX,
                                  DBL_MIN,
                                  0x1p-1074,
                                  -0x1p-1074,
                                  DBL_MIN - 0x1p-1074,
                                  0x1.8p-1060,
                                  kInf,
                                  -kInf};
    for (int i = 0; i < kRandomCases; ++i) {
        const double bits = std::bit_cast<double>(rng());
        if (std::isfinite(bits)) {
            values.push_back(bits);
        }
        // Random bit patterns rarely fall below DBL_MIN, so subnormals get their own share.
        values.push_back(std::bit_cast<double>(rng() & 0x800fffffffffffffULL));
    }
    for (const double v : values) {
        const FloatExp x(v);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(x.toDouble()), std::bit_cast<std::uint64_t>(v)) << v;
        ASSERT_EQ(x.isNegative(), std::signbit(v)) << v;
        if (v != 0.0 && std::isfinite(v)) {
            ASSERT_GE(std::fabs(x.mantissa()), 0.5) << v;
            ASSERT_LT(std::fabs(x.mantissa()), 1.0) << v;
            ASSERT_EQ(x.exponent(), std::ilogb(v) + 1) << v;
            ASSERT_EQ(x, FloatExp(x.mantissa() * 0x1p40, x.exponent() - 40)) << v;
        }
    }
}

TEST(FloatExp, ZeroAndNegativeValues) {
    const FloatExp a = OneEMinus5000();
    const FloatExp zero;
    EXPECT_TRUE(zero.isZero());
    EXPECT_EQ(zero, FloatExp(-0.0));
    EXPECT_TRUE((a - a).isZero());
    EXPECT_TRUE((a * zero).isZero());
    EXPECT_TRUE((zero / a).isZero());
    EXPECT_TRUE(FloatExp(0.0, 123456).isZero());
    EXPECT_EQ((a * zero).exponent(), FloatExp::kZeroExponent);
    EXPECT_EQ(zero.ldexp(-500000), zero);
    EXPECT_TRUE(zero.ldexp(-500000).isZero());
    EXPECT_EQ(zero.log2Abs(), -kInf);
    EXPECT_EQ(zero + zero, zero);
    EXPECT_TRUE((zero * zero).isZero());

    EXPECT_TRUE((-a).isNegative());
    EXPECT_FALSE(a.isNegative());
    EXPECT_EQ(-(-a), a);
    EXPECT_EQ(abs(-a), a);
    EXPECT_EQ(abs(a), a);
    EXPECT_EQ((-a).exponent(), a.exponent());
    EXPECT_EQ((-a) * (-a), a * a);
    EXPECT_EQ((-a) * a, -(a * a));
    EXPECT_EQ((-a) / a, FloatExp(-1.0));
    EXPECT_EQ(a + (-a).ldexp(1), -a);
    EXPECT_EQ((-a).log2Abs(), a.log2Abs());
    EXPECT_EQ(sqr(-a), a * a);

    FloatExp sum = a;
    sum += a;
    sum -= a.ldexp(2);
    sum *= FloatExp(-4.0);
    sum /= a;
    EXPECT_EQ(sum, FloatExp(8.0));
}

TEST(FloatExp, TextIgnoresTheLocale) {
    // The test main runs under a German locale where printf would write "0,75".
    EXPECT_EQ(FloatExp(0.75, -16610).toString(), "0.75*2^-16610");
    EXPECT_EQ(FloatExp(-3.0).toString(), "-0.75*2^2");
    EXPECT_EQ(FloatExp(0.0).toString(), "0");
    EXPECT_EQ(FloatExp(-kInf).toString(), "-inf");
}

Complex<FloatExp> Scaled(const Complex<double>& z, std::int64_t scale) {
    return {FloatExp(z.re).ldexp(scale), FloatExp(z.im).ldexp(scale)};
}

Complex<double> RandomComplex(std::mt19937_64& rng, int maxExponent) {
    return {RandomDouble(rng, maxExponent), RandomDouble(rng, maxExponent)};
}

// The deep-zoom case: the reference is an ordinary double, delta and deltaC are 2^-2000 of what
// doubles hold. delta^2 and delta beside 2Z vanish, leaving 2 Z delta + deltaC, scaled.
TEST(PerturbStep, TinyDifferencesAgainstADoubleReference) {
    std::mt19937_64 rng(8);
    for (int i = 0; i < kRandomCases / 4; ++i) {
        const Complex<double> Z = RandomComplex(rng, 1);
        const Complex<double> delta = RandomComplex(rng, 40);
        const Complex<double> deltaC = RandomComplex(rng, 40);
        const Complex<FloatExp> actual = PerturbStep(Z, Scaled(delta, -2000), Scaled(deltaC, -2000));
        const double twoZr = Z.re + Z.re;
        const double twoZi = Z.im + Z.im;
        const double re = twoZr * delta.re - twoZi * delta.im + deltaC.re;
        const double im = twoZr * delta.im + twoZi * delta.re + deltaC.im;
        ASSERT_EQ(actual.re, FloatExp(re).ldexp(-2000)) << i;
        ASSERT_EQ(actual.im, FloatExp(im).ldexp(-2000)) << i;
    }
}

} // namespace
