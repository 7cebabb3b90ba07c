#include <gtest/gtest.h>
#include <mpfr.h>

#include "decimal_mpfr.h"
#include "deep_locations.h"
#include "precision.h"

namespace {

deep::ExactDecimal parsed(const char* text) {
    return deep::ParseExactDecimal(text).value();
}

} // namespace

TEST(PrecisionTest, GrowsWithDepth) {
    const deep::ExactDecimal centre = parsed("-0.75");
    const mpfr_prec_t shallow = deep::ViewPrecision(centre, centre, parsed("1e-20"), 1080);
    const mpfr_prec_t deeper = deep::ViewPrecision(centre, centre, parsed("1e-300"), 1080);
    const mpfr_prec_t deepest = deep::ViewPrecision(centre, centre, parsed("1e-100000"), 1080);
    // log2(10^k · 1080) bits resolve a pixel; the margin comes on top, but not many times over.
    for (const auto& [bits, decades] : {std::pair{shallow, 20}, {deeper, 300}, {deepest, 100000}}) {
        SCOPED_TRACE(decades);
        const double needed = decades * 3.3219280948873622 + 10.1;
        EXPECT_GE(bits, needed + deep::kPrecisionMarginBits);
        EXPECT_LE(bits, needed + deep::kPrecisionMarginBits + 16);
    }
    EXPECT_GT(deep::ViewPrecisionBits(0, -20, 4320), deep::ViewPrecisionBits(0, -20, 1080))
        << "more rows, finer steps";
    EXPECT_GT(deep::ViewPrecisionBits(5, -20, 1080), deep::ViewPrecisionBits(0, -20, 1080))
        << "a far centre takes bits before the point";
    EXPECT_GE(deep::ViewPrecisionBits(0, 3, 1), 53) << "a wide view still gets double precision";
}

TEST(PrecisionTest, NeighbouringPixelsStayApart) {
    // At the precision a view gets, the difference of neighbouring pixels' c is the spacing
    // 2R/H to well within the margin, for a published location and a far deeper one.
    struct Row {
        const char* re;
        const char* radius;
    };
    for (const Row& row :
         {Row{deep_test::kLocation1e14Re, deep_test::kLocation1e14Radius},
          Row{deep_test::kLocation5e113Re, deep_test::kLocation5e113Radius}, Row{"-1.99999", "3e-2000"}}) {
        SCOPED_TRACE(row.radius);
        const deep::ExactDecimal re = parsed(row.re);
        const deep::ExactDecimal radius = parsed(row.radius);
        const std::int64_t width = 1920, height = 1080;
        const mpfr_prec_t bits = deep::ViewPrecision(re, re, radius, height);
        mpfr_t left, right, spacing;
        mpfr_inits2(bits, left, right, spacing, static_cast<mpfr_ptr>(nullptr));
        deep::PixelReal(re, radius, 0, width, height, left, MPFR_RNDN);
        deep::PixelReal(re, radius, 1, width, height, right, MPFR_RNDN);
        mpfr_sub(right, right, left, MPFR_RNDN);
        deep::ScaledOffset(deep::ExactDecimal{}, radius, 2, height, spacing, MPFR_RNDN);
        mpfr_div(right, right, spacing, MPFR_RNDN);
        mpfr_sub_ui(right, right, 1, MPFR_RNDN);
        EXPECT_TRUE(mpfr_zero_p(right) || mpfr_get_exp(right) < -(deep::kPrecisionMarginBits - 4));
        mpfr_clears(left, right, spacing, static_cast<mpfr_ptr>(nullptr));
    }
}
