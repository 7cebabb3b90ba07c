#include <clocale>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "complex_view.h"

namespace explorer {
namespace {

template <typename Row> std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return std::string(info.param.name);
}

// ---------------------------------------------------------------------------------------------
// ParseComplex

struct ParseComplexRow {
    const char* name;
    std::string_view text;
    double re;
    double im;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const ParseComplexRow& row, std::ostream* os) {
    *os << row.name;
}

class ParseComplexTest : public ::testing::TestWithParam<ParseComplexRow> {};

TEST_P(ParseComplexTest, GivesNearestDoubles) {
    const ParseComplexRow& row = GetParam();
    const TComplex z = ParseComplex(row.text);
    EXPECT_EQ(z.Re, row.re) << "text \"" << row.text << "\"";
    EXPECT_EQ(z.Im, row.im) << "text \"" << row.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ParseComplexTest,
    ::testing::Values(ParseComplexRow{"negative_both", "-0.10/-0.65", -0.1, -0.65},
                      ParseComplexRow{"blanks_around_parts", "  0.25  /  -1.5  ", 0.25, -1.5},
                      ParseComplexRow{"blanks_around_whole", "   3/4   ", 3.0, 4.0},
                      ParseComplexRow{"control_characters", "\t0.34/0.38\r\n", 0.34, 0.38},
                      ParseComplexRow{"explicit_plus", "+3/ -4 ", 3.0, -4.0},
                      ParseComplexRow{"no_slash", "0.5 0.5", 0.0, 0.0},
                      ParseComplexRow{"empty_text", "", 0.0, 0.0},
                      ParseComplexRow{"only_blanks", " \t ", 0.0, 0.0},
                      ParseComplexRow{"only_slash", "/", 0.0, 0.0},
                      ParseComplexRow{"leading_slash", "/0.5", 0.0, 0.5},
                      ParseComplexRow{"trailing_slash", "0.5/", 0.5, 0.0},
                      // The split is at the first slash; "2/3" then reads as its prefix "2".
                      ParseComplexRow{"two_slashes", "1/2/3", 1.0, 2.0},
                      ParseComplexRow{"comma_is_no_point", "1,5/2", 1.0, 2.0},
                      ParseComplexRow{"no_integer_digits", ".5/-.5", 0.5, -0.5},
                      ParseComplexRow{"no_fraction_digits", "5./1e2", 5.0, 100.0},
                      ParseComplexRow{"exponent_forms", "2.5E-3/-1e+1", 0.0025, -10.0},
                      ParseComplexRow{"e_without_digits", "1e/2", 1.0, 2.0},
                      ParseComplexRow{"garbage_after_number", "0.3x/7abc", 0.3, 7.0},
                      ParseComplexRow{"no_number_at_all", "abc/-x", 0.0, 0.0},
                      ParseComplexRow{"sign_and_point_only", "-./+", 0.0, 0.0},
                      ParseComplexRow{"nan_and_inf", "nan/inf", 0.0, 0.0},
                      ParseComplexRow{"infinity_words", "-infinity/NAN", 0.0, 0.0},
                      ParseComplexRow{"hex_is_not_read", "0x10/0x1p3", 0.0, 0.0},
                      ParseComplexRow{"overflow_is_zero", "1e999/-1e999", 0.0, 0.0},
                      ParseComplexRow{"underflow_is_zero", "1e-999/2", 0.0, 2.0},
                      ParseComplexRow{"subnormal_kept", "1e-310/0", 1e-310, 0.0},
                      ParseComplexRow{"largest_double", "1.7976931348623157e308/0",
                                      std::numeric_limits<double>::max(), 0.0}),
    RowName<ParseComplexRow>);

// The constants offered for Julia sets must read back as exactly the doubles of their text.
INSTANTIATE_TEST_SUITE_P(JuliaList, ParseComplexTest,
                         ::testing::Values(ParseComplexRow{"c_0_00_0_00", "0.00/0.00", 0.00, 0.00},
                                           ParseComplexRow{"c_0_34_0_38", "0.34/0.38", 0.34, 0.38},
                                           ParseComplexRow{"c_0_35_0_39", "0.35/0.39", 0.35, 0.39},
                                           ParseComplexRow{"c_0_40_0_35", "0.40/0.35", 0.40, 0.35},
                                           ParseComplexRow{"c_0_41_0_34", "0.41/0.34", 0.41, 0.34},
                                           ParseComplexRow{"c_m0_08_m0_65", "-0.08/-0.65", -0.08, -0.65},
                                           ParseComplexRow{"c_m0_10_m0_65", "-0.10/-0.65", -0.10, -0.65},
                                           ParseComplexRow{"c_m0_10_m0_70", "-0.10/-0.70", -0.10, -0.70},
                                           ParseComplexRow{"c_m0_49_0_61", "-0.49/0.61", -0.49, 0.61},
                                           ParseComplexRow{"c_m0_50_0_60", "-0.50/0.60", -0.50, 0.60},
                                           ParseComplexRow{"c_m0_52_0_52", "-0.52/0.52", -0.52, 0.52},
                                           ParseComplexRow{"c_m0_55_0_50", "-0.55/0.50", -0.55, 0.50}),
                         RowName<ParseComplexRow>);

// ---------------------------------------------------------------------------------------------
// ParseDecimalPrefix

struct PrefixRow {
    const char* name;
    std::string_view text;
    double value;
    bool whole;
};

void PrintTo(const PrefixRow& row, std::ostream* os) {
    *os << row.name;
}

class ParseDecimalPrefixTest : public ::testing::TestWithParam<PrefixRow> {};

TEST_P(ParseDecimalPrefixTest, ReadsLongestValidPrefix) {
    const PrefixRow& row = GetParam();
    const NumberPrefix got = ParseDecimalPrefix(row.text);
    EXPECT_EQ(got.value, row.value);
    EXPECT_EQ(got.whole, row.whole);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ParseDecimalPrefixTest,
    ::testing::Values(
        PrefixRow{"integer", "42", 42.0, true}, PrefixRow{"leading_spaces", "   7.5", 7.5, true},
        PrefixRow{"trailing_space", "7.5 ", 7.5, false},
        // Only spaces lead a number; other blanks are ParseComplex's to trim.
        PrefixRow{"leading_tab", "\t7.5", 0.0, false}, PrefixRow{"plus", "+0.125", 0.125, true},
        PrefixRow{"minus", "-0.125", -0.125, true}, PrefixRow{"point_first", ".25", 0.25, true},
        PrefixRow{"point_last", "25.", 25.0, true}, PrefixRow{"exponent", "1.5e+3", 1500.0, true},
        PrefixRow{"capital_exponent", "15E-1", 1.5, true},
        PrefixRow{"exponent_sign_without_digits", "1e+", 1.0, false},
        PrefixRow{"exponent_without_mantissa", "e5", 0.0, false},
        PrefixRow{"two_points", "1.2.3", 1.2, false}, PrefixRow{"double_sign", "--1", 0.0, false},
        PrefixRow{"sign_only", "-", 0.0, false}, PrefixRow{"point_only", ".", 0.0, false},
        PrefixRow{"empty", "", 0.0, false}, PrefixRow{"inf", "inf", 0.0, false},
        PrefixRow{"nan", "nan", 0.0, false}, PrefixRow{"hex_prefix", "0x1A", 0.0, false},
        PrefixRow{"many_digits", "0.1000000000000000000000000000001", 0.1, true},
        PrefixRow{"huge_exponent_too_small", "1e-99999999999999999999", 0.0, true},
        PrefixRow{"overflow", "1e999", 0.0, false},
        // Leading zeros and the fraction shift the magnitude back into range.
        PrefixRow{"scaled_into_range", "0.0001e310", 1e306, true},
        PrefixRow{"overflow_by_digits", "100e307", 0.0, false}),
    RowName<PrefixRow>);

TEST(ParseDecimalPrefixSign, UnderflowKeepsTheSign) {
    EXPECT_TRUE(std::signbit(ParseDecimalPrefix("-1e-999").value));
    EXPECT_FALSE(std::signbit(ParseDecimalPrefix("1e-999").value));
}

// ---------------------------------------------------------------------------------------------
// FormatComplex

struct FormatRow {
    const char* name;
    TComplex z;
    const char* text;
};

void PrintTo(const FormatRow& row, std::ostream* os) {
    *os << row.name;
}

class FormatComplexTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatComplexTest, EightDecimalsWithPoint) {
    EXPECT_EQ(FormatComplex(GetParam().z), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatComplexTest,
    ::testing::Values(
        FormatRow{"zero", {0.0, 0.0}, "0.00000000 / 0.00000000"},
        FormatRow{"julia_constant", {-0.5, 0.6}, "-0.50000000 / 0.60000000"},
        FormatRow{"view_corner", {-2.0, 1.5}, "-2.00000000 / 1.50000000"},
        FormatRow{"rounds_ninth_decimal", {1.123456789, -3.0}, "1.12345679 / -3.00000000"},
        // 1.5e-8 is stored a little below the half, 3.5e-8 a little above: the rounding
        // follows the binary value, not the decimal text.
        FormatRow{"binary_below_half", {0.000000015, 0.0}, "0.00000001 / 0.00000000"},
        FormatRow{"binary_above_half", {0.000000035, 0.0}, "0.00000004 / 0.00000000"},
        FormatRow{"negative_zero", {-0.0, -0.0}, "0.00000000 / 0.00000000"},
        FormatRow{"negative_rounds_to_zero", {-1e-9, -4.9e-9}, "-0.00000000 / -0.00000000"},
        FormatRow{"negative_smallest_shown", {-1e-8, -6e-9}, "-0.00000001 / -0.00000001"},
        FormatRow{"large", {1e20, -1e20}, "100000000000000000000.00000000 / -100000000000000000000.00000000"},
        FormatRow{"infinities",
                  {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()},
                  "inf / -inf"},
        FormatRow{"nans",
                  {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()},
                  "nan / nan"}),
    RowName<FormatRow>);

TEST(FormatComplexLarge, LargestDoublesAreWrittenInFull) {
    const double big = std::numeric_limits<double>::max();
    const std::string text = FormatComplex({-big, 1e300});
    const std::size_t slash = text.find(" / ");
    ASSERT_NE(slash, std::string::npos);
    const std::string re = text.substr(0, slash);
    const std::string im = text.substr(slash + 3);
    // 309 integer digits after the sign, 301 for 1e300, each with the 8 decimals.
    EXPECT_EQ(re.size(), 1 + 309 + 1 + 8u);
    EXPECT_TRUE(re.starts_with("-17976931348623157")) << re;
    EXPECT_TRUE(re.ends_with(".00000000")) << re;
    EXPECT_EQ(im.size(), 301 + 1 + 8u);
    EXPECT_TRUE(im.starts_with("10000000000000000525")) << im;
}

// What is written reads back as the same number, so a constant shown in the caption can be
// typed in again.
TEST(FormatComplexRoundTrip, ListConstantsReadBackExactly) {
    const TComplex list[] = {{0.34, 0.38},   {0.35, 0.39},   {0.40, 0.35},   {0.41, 0.34},
                             {-0.08, -0.65}, {-0.10, -0.65}, {-0.10, -0.70}, {-0.49, 0.61},
                             {-0.50, 0.60},  {-0.52, 0.52},  {-0.55, 0.50}};
    for (const TComplex z : list) {
        const std::string text = FormatComplex(z);
        EXPECT_EQ(ParseComplex(text), z) << text;
    }
}

// ---------------------------------------------------------------------------------------------
// Locale independence

class CommaLocaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current != nullptr ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                                 "de_AT.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr &&
                std::string(std::localeconv()->decimal_point) == ",") {
                return;
            }
        }
        std::setlocale(LC_NUMERIC, saved_.c_str());
        FAIL() << "no locale with a decimal comma: make's set-up generates de_DE.UTF-8";
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, saved_.c_str()); }

private:
    std::string saved_;
};

TEST_F(CommaLocaleTest, ParseAndFormatKeepThePoint) {
    EXPECT_EQ(ParseComplex("-0.55/0.50"), (TComplex{-0.55, 0.50}));
    EXPECT_EQ(ParseComplex("1,5/2,5"), (TComplex{1.0, 2.0}));
    EXPECT_EQ(FormatComplex({-0.5, 0.6}), "-0.50000000 / 0.60000000");
}

// ---------------------------------------------------------------------------------------------
// Captions

TEST(ZoomCaptionTest, JoinsCornersAndStart) {
    const TComplex low{-2.0, -1.5};
    const TComplex high{1.0, 1.5};
    EXPECT_EQ(ZoomCaption(low, high), "Zoom:  (-2.00000000 / -1.50000000)  -  (1.00000000 / 1.50000000)");
    EXPECT_EQ(JuliaZoomCaption(low, high, {-0.1, -0.65}),
              "Zoom:  (-2.00000000 / -1.50000000)  -  (1.00000000 / 1.50000000)"
              "   Start:  (-0.10000000 / -0.65000000)");
}

// ---------------------------------------------------------------------------------------------
// DefaultView and PixelToComplex

TEST(DefaultViewTest, BoundsPerSet) {
    EXPECT_EQ(DefaultView(SetKind::Mandelbrot), (ViewRect{-2.0, 1.0, -1.5, 1.5}));
    EXPECT_EQ(DefaultView(SetKind::Julia), (ViewRect{-1.5, 1.5, -1.5, 1.5}));
}

struct PixelRow {
    const char* name;
    ViewRect view;
    PixelFrame frame;
    common::Point p;
    TComplex z;
};

void PrintTo(const PixelRow& row, std::ostream* os) {
    *os << row.name;
}

class PixelToComplexTest : public ::testing::TestWithParam<PixelRow> {};

TEST_P(PixelToComplexTest, MapsFrameOntoView) {
    const PixelRow& row = GetParam();
    const TComplex z = PixelToComplex(row.view, row.frame, row.p);
    EXPECT_EQ(z.Re, row.z.Re);
    EXPECT_EQ(z.Im, row.z.Im);
}

constexpr ViewRect kMandel{-2.0, 1.0, -1.5, 1.5};
constexpr ViewRect kJulia{-1.5, 1.5, -1.5, 1.5};
constexpr PixelFrame kSquare{0, 600, 0, 600};
constexpr PixelFrame kOffset{10, 110, 20, 220};
constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(
    Frames, PixelToComplexTest,
    ::testing::Values(
        PixelRow{"bottom_left_is_min", kMandel, kSquare, {0, 600}, {-2.0, -1.5}},
        PixelRow{"top_right_is_max", kMandel, kSquare, {600, 0}, {1.0, 1.5}},
        PixelRow{"top_left", kMandel, kSquare, {0, 0}, {-2.0, 1.5}},
        PixelRow{"bottom_right", kMandel, kSquare, {600, 600}, {1.0, -1.5}},
        PixelRow{"centre", kMandel, kSquare, {300, 300}, {-0.5, 0.0}},
        // The imaginary axis points up: a row above the centre has a larger Im.
        PixelRow{"above_centre", kMandel, kSquare, {300, 200}, {-0.5, 0.5}},
        PixelRow{"offset_frame_bottom_left", kJulia, kOffset, {10, 220}, {-1.5, -1.5}},
        PixelRow{"offset_frame_top_right", kJulia, kOffset, {110, 20}, {1.5, 1.5}},
        PixelRow{"offset_frame_centre", kJulia, kOffset, {60, 120}, {0.0, 0.0}},
        PixelRow{"outside_frame", kJulia, kOffset, {-90, 420}, {-4.5, -4.5}},
        PixelRow{"mirrored_view_left", {1.0, -1.0, 1.0, -1.0}, kSquare, {0, 600}, {1.0, 1.0}},
        PixelRow{"mirrored_view_right", {1.0, -1.0, 1.0, -1.0}, kSquare, {600, 0}, {-1.0, -1.0}},
        PixelRow{"mirrored_view_quarter", {1.0, -1.0, 1.0, -1.0}, kSquare, {150, 450}, {0.5, 0.5}},
        // Multiplying first rounds only once, to the double nearest dx / 200;
        // 3 * (15 / 600) and 3 / 600 * 35 round twice and miss it.
        PixelRow{"multiply_before_divide_re", {0.0, 3.0, 0.0, 3.0}, kSquare, {15, 600}, {0.075, 0.0}},
        PixelRow{"multiply_before_divide_im", {0.0, 3.0, 0.0, 3.0}, kSquare, {0, 585}, {0.0, 0.075}},
        PixelRow{"multiply_before_divide_35", {0.0, 3.0, 0.0, 3.0}, kSquare, {35, 565}, {0.175, 0.175}},
        // The extents overflow int; formed in 64 bits they are exact.
        PixelRow{
            "full_int_range", kMandel, {kIntMin, kIntMax, kIntMin, kIntMax}, {kIntMax, kIntMin}, {1.0, 1.5}}),
    RowName<PixelRow>);

TEST(PixelToComplexDegenerate, ZeroExtentFollowsIeee) {
    const PixelFrame line{5, 5, 7, 7};
    const TComplex atFrame = PixelToComplex(kMandel, line, {5, 7});
    EXPECT_TRUE(std::isnan(atFrame.Re));
    EXPECT_TRUE(std::isnan(atFrame.Im));
    const TComplex beside = PixelToComplex(kMandel, line, {6, 6});
    EXPECT_EQ(beside.Re, std::numeric_limits<double>::infinity());
    EXPECT_EQ(beside.Im, std::numeric_limits<double>::infinity());
}

} // namespace
} // namespace explorer
