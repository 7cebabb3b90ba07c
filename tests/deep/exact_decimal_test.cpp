#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <utility>

#include <gtest/gtest.h>
#include <mpfr.h>

#include "decimal_mpfr.h"
#include "deep_locations.h"

using deep::ExactDecimal;

namespace {

struct Real {
    mpfr_t x;
    explicit Real(mpfr_prec_t bits) { mpfr_init2(x, bits); }
    ~Real() { mpfr_clear(x); }
    Real(const Real&) = delete;
    Real& operator=(const Real&) = delete;
};

ExactDecimal parsed(const std::string& text) {
    const auto value = deep::ParseExactDecimal(text);
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(ExactDecimal{});
}

struct ParseRow {
    const char* name;
    std::string text;
    bool valid;
    ExactDecimal value;    // when valid
    std::string canonical; // when valid
};

} // namespace

TEST(ExactDecimalTest, ParsesAndFormatsCanonically) {
    const ParseRow rows[] = {
        {"zero", "0", true, {}, "0"},
        {"negative zero", "-0", true, {}, "0"},
        {"zero with fraction", "+000.000", true, {}, "0"},
        {"zero with huge exponent", "0e99999999999999999999999", true, {}, "0"},
        {"leading and trailing zeros", "00012.3400", true, {false, "1234", -2}, "12.34"},
        {"point first", ".5", true, {false, "5", -1}, "0.5"},
        {"point last", "-5.", true, {true, "5", 0}, "-5"},
        {"capital exponent", "1E3", true, {false, "1", 3}, "1000"},
        {"integer trailing zeros", "1200", true, {false, "12", 2}, "1200"},
        {"deep negative", "-1.5e-700", true, {true, "15", -701}, "-1.5e-700"},
        {"positional low end", "1e-7", true, {false, "1", -7}, "0.0000001"},
        {"scientific below", "123e-10", true, {false, "123", -10}, "1.23e-8"},
        {"positional high end", "1e20", true, {false, "1", 20}, "100000000000000000000"},
        {"scientific above", "+1e+21", true, {false, "1", 21}, "1e+21"},
        {"exponent shifts fraction", "0.0025e3", true, {false, "25", -1}, "2.5"},
        {"largest magnitude", "9.99e100000000", true, {false, "999", 99999998}, "9.99e+100000000"},
        {"smallest magnitude", "0.1e-99999999", true, {false, "1", -100000000}, "1e-100000000"},
        {"deep radius", "1e-100000", true, {false, "1", -100000}, "1e-100000"},
        {"empty", "", false, {}, ""},
        {"sign only", "-", false, {}, ""},
        {"point only", ".", false, {}, ""},
        {"signed point", "+.e5", false, {}, ""},
        {"exponent without digits", "1e", false, {}, ""},
        {"exponent sign without digits", "1e+", false, {}, ""},
        {"exponent only", "e5", false, {}, ""},
        {"double sign", "--1", false, {}, ""},
        {"mixed signs", "+-1", false, {}, ""},
        {"leading blank", " 1", false, {}, ""},
        {"trailing blank", "1 ", false, {}, ""},
        {"two points", "1.2.3", false, {}, ""},
        {"fractional exponent", "1e5.0", false, {}, ""},
        {"decimal comma", "1,5", false, {}, ""},
        {"hexadecimal", "0x10", false, {}, ""},
        {"infinity", "inf", false, {}, ""},
        {"not a number", "nan", false, {}, ""},
        {"other exponent letter", "1d5", false, {}, ""},
        {"too large", "1e100000001", false, {}, ""},
        {"too small", "1e-100000001", false, {}, ""},
        {"exponent beyond int64", "1e99999999999999999999999", false, {}, ""},
        {"negative exponent beyond int64", "1e-99999999999999999999999", false, {}, ""},
    };
    for (const ParseRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto value = deep::ParseExactDecimal(row.text);
        ASSERT_EQ(value.has_value(), row.valid);
        if (!row.valid) {
            continue;
        }
        EXPECT_EQ(value->negative, row.value.negative);
        EXPECT_EQ(value->digits, row.value.digits);
        EXPECT_EQ(value->exponent, row.value.exponent);
        const std::string text = deep::FormatExactDecimal(*value);
        EXPECT_EQ(text, row.canonical);
        EXPECT_EQ(deep::ParseExactDecimal(text), value) << "the canonical text reads back the same";
    }
}

TEST(ExactDecimalTest, DigitCountIsCapped) {
    std::string most(deep::kMaxDecimalDigits, '7');
    most.insert(1, ".");
    const auto value = deep::ParseExactDecimal(most);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->digits.size(), deep::kMaxDecimalDigits);
    EXPECT_EQ(deep::ParseExactDecimal(deep::FormatExactDecimal(*value)), value);
    EXPECT_FALSE(deep::ParseExactDecimal(most + "7").has_value());
    EXPECT_FALSE(deep::ParseExactDecimal("0." + std::string(deep::kMaxDecimalDigits, '0') + "1").has_value())
        << "leading zeros count as written digits";
}

TEST(ExactDecimalTest, ToMpfrRoundsOnceAtEveryPrecision) {
    // from_chars is correctly rounded to double and ignores the locale (the test main sets a
    // German one).
    for (const char* text :
         {"0.1", "-0.3", "9007199254740993", "9007199254740995", "1e-300", "-2.5e300",
          "0.30000000000000004441", deep_test::kLocation1e14Re, deep_test::kLocation5e113Im}) {
        SCOPED_TRACE(text);
        const std::string_view view(text);
        double expected = 0.0;
        ASSERT_EQ(std::from_chars(view.data(), view.data() + view.size(), expected).ec, std::errc{});
        Real x(53);
        deep::ToMpfr(parsed(text), x.x, MPFR_RNDN);
        EXPECT_EQ(mpfr_get_d(x.x, MPFR_RNDN), expected);

        // Directed roundings bracket the value one ulp apart, or meet on an exact one.
        Real down(53), up(53);
        deep::ToMpfr(parsed(text), down.x, MPFR_RNDD);
        deep::ToMpfr(parsed(text), up.x, MPFR_RNDU);
        mpfr_nextabove(down.x);
        EXPECT_TRUE(mpfr_equal_p(down.x, up.x));
    }
    Real half(53), halfUp(53);
    deep::ToMpfr(parsed("-0.5"), half.x, MPFR_RNDD);
    deep::ToMpfr(parsed("-0.5"), halfUp.x, MPFR_RNDU);
    EXPECT_EQ(mpfr_get_d(half.x, MPFR_RNDN), -0.5);
    EXPECT_TRUE(mpfr_equal_p(half.x, halfUp.x));
}

TEST(ExactDecimalTest, ToMpfrReachesFarBelowDoubles) {
    // 1.5e-100000 at 400 bits, times 10^100000 computed at twice the bits, is 1.5 to ~400 bits.
    Real x(400), scale(800), product(800);
    deep::ToMpfr(parsed("1.5e-100000"), x.x, MPFR_RNDN);
    EXPECT_FALSE(mpfr_zero_p(x.x));
    mpfr_ui_pow_ui(scale.x, 10, 100000, MPFR_RNDN);
    mpfr_mul(product.x, x.x, scale.x, MPFR_RNDN);
    mpfr_sub_d(product.x, product.x, 1.5, MPFR_RNDN);
    EXPECT_LT(mpfr_get_exp(product.x), -395);
}

TEST(ExactDecimalTest, ScaledOffsetRoundsOnlyOnce) {
    Real x(53);
    // 0.1 + 0.2 rounded once is the double nearest 0.3, unlike 0.1 + 0.2 in doubles.
    deep::ScaledOffset(parsed("0.1"), parsed("0.2"), 1, 1, x.x, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(x.x, MPFR_RNDN), 0.3);

    // Pixel (0, 0) of a 4 × 2 picture around -0.5 + 0i with radius 1: -2.5 + 1i.
    deep::PixelReal(parsed("-0.5"), parsed("1"), 0, 4, 2, x.x, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(x.x, MPFR_RNDN), -2.5);
    deep::PixelImag(parsed("0"), parsed("1"), 0, 2, x.x, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(x.x, MPFR_RNDN), 1.0);
    deep::PixelImag(parsed("0"), parsed("1"), 2, 2, x.x, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(x.x, MPFR_RNDN), -1.0);

    // A step of 1e-100000 beside 1 survives only in the direction of rounding.
    Real y(64), expected(64);
    const ExactDecimal one = parsed("1");
    const ExactDecimal tiny = parsed("1e-100000");
    deep::ScaledOffset(one, tiny, 1, 1, y.x, MPFR_RNDN);
    EXPECT_EQ(mpfr_cmp_ui(y.x, 1), 0);
    deep::ScaledOffset(one, tiny, 1, 1, y.x, MPFR_RNDU);
    mpfr_set_ui(expected.x, 1, MPFR_RNDN);
    mpfr_nextabove(expected.x);
    EXPECT_TRUE(mpfr_equal_p(y.x, expected.x));
    deep::ScaledOffset(one, tiny, -1, 1, y.x, MPFR_RNDD);
    mpfr_set_ui(expected.x, 1, MPFR_RNDN);
    mpfr_nextbelow(expected.x);
    EXPECT_TRUE(mpfr_equal_p(y.x, expected.x));

    // The offset alone keeps all its bits: 3/7 · 1e-100000.
    Real offset(200), reference(600);
    deep::ScaledOffset(ExactDecimal{}, tiny, 3, 7, offset.x, MPFR_RNDN);
    deep::ToMpfr(tiny, reference.x, MPFR_RNDN);
    mpfr_mul_ui(reference.x, reference.x, 3, MPFR_RNDN);
    mpfr_div_ui(reference.x, reference.x, 7, MPFR_RNDN);
    EXPECT_EQ(mpfr_get_exp(offset.x), mpfr_get_exp(reference.x));
    mpfr_sub(reference.x, reference.x, offset.x, MPFR_RNDN);
    EXPECT_LT(mpfr_get_exp(reference.x), mpfr_get_exp(offset.x) - 199);
}
