#include "deep_render.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <mpfr.h>

#include "deep_locations.h"
#include "deep_views.h"
#include "ground_truth.h"

using deep_test::DeepCounts;
using deep_test::DeepViewText;
using deep_test::Mandelbrot;
using deep_test::ToView;

namespace {

/// `count` significant digits; mpfr_get_str, unlike the printf family, ignores the locale's
/// decimal point.
std::string DecimalText(const mpfr_t value, int count) {
    mpfr_exp_t exponent = 0;
    char* digits = mpfr_get_str(nullptr, &exponent, 10, static_cast<std::size_t>(count), value, MPFR_RNDN);
    std::string text = digits;
    mpfr_free_str(digits);
    const bool negative = text.front() == '-';
    return (negative ? "-0." + text.substr(1) : "0." + text) + "e" + std::to_string(exponent);
}

/// β = (1 + √(1 − 4c))/2, the repelling fixed point of z² + c, which lies on the Julia set's
/// boundary: pixels around it escape after counts that differ from pixel to pixel at any depth.
/// Cut to `digits` digits (45: about 1e-45 off the fixed point). Nearer than the radius, its count
/// would hang on digits past what a view's precision keeps (64 bits below the pixel spacing),
/// as the distance grows threefold an iteration until it escapes.
std::pair<std::string, std::string> JuliaFixedPoint(const char* cRe, const char* cIm, int digits = 45) {
    mpfr_t a, b, r, re, im;
    mpfr_inits2(static_cast<mpfr_prec_t>(digits * 10 / 3 + 128), a, b, r, re, im,
                static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(a, cRe, 10, MPFR_RNDN);
    mpfr_set_str(b, cIm, 10, MPFR_RNDN);
    mpfr_mul_si(a, a, -4, MPFR_RNDN); // w = 1 − 4c = a + bi
    mpfr_add_ui(a, a, 1, MPFR_RNDN);
    mpfr_mul_si(b, b, -4, MPFR_RNDN);
    mpfr_hypot(r, a, b, MPFR_RNDN); // √w = √((r + a)/2) + i·sign(b)·√((r − a)/2)
    mpfr_add(re, r, a, MPFR_RNDN);
    mpfr_div_ui(re, re, 2, MPFR_RNDN);
    mpfr_sqrt(re, re, MPFR_RNDN);
    mpfr_sub(im, r, a, MPFR_RNDN);
    mpfr_div_ui(im, im, 2, MPFR_RNDN);
    mpfr_sqrt(im, im, MPFR_RNDN);
    if (mpfr_sgn(b) < 0) {
        mpfr_neg(im, im, MPFR_RNDN);
    }
    mpfr_add_ui(re, re, 1, MPFR_RNDN);
    mpfr_div_ui(re, re, 2, MPFR_RNDN);
    mpfr_div_ui(im, im, 2, MPFR_RNDN);
    std::pair<std::string, std::string> texts{DecimalText(re, digits), DecimalText(im, digits)};
    mpfr_clears(a, b, r, re, im, static_cast<mpfr_ptr>(nullptr));
    return texts;
}

struct DeepRow {
    const char* name;
    DeepViewText view;
    int sampleStep; // every sampleStep-th pixel of each row and column is checked
};

} // namespace

TEST(DeepRenderTest, CountsEqualThePlainHighPrecisionLoop) {
    const auto [betaRe, betaIm] = JuliaFixedPoint("-0.75", "0.1");
    DeepViewText julia = Mandelbrot(betaRe, betaIm, "1e-30", 16, 2000);
    julia.julia = true;
    julia.juliaRe = "-0.75";
    julia.juliaIm = "0.1";
    DeepViewText juliaWide = julia;
    juliaWide.centreRe = "0";
    juliaWide.centreIm = "0";
    juliaWide.radius = "1.2";
    // Below the double range the pixels' first differences are extended-exponent numbers.
    const auto [deepRe, deepIm] = JuliaFixedPoint("-0.75", "0.1", 420);
    DeepViewText juliaDeep = Mandelbrot(deepRe, deepIm, "1e-400", 12, 2000);
    juliaDeep.julia = true;
    juliaDeep.juliaRe = "-0.75";
    juliaDeep.juliaIm = "0.1";

    using namespace deep_test;
    const DeepRow rows[] = {
        {"1e-20 near the 5e113 location", Mandelbrot(kLocation5e113Re, kLocation5e113Im, "1e-20", 12, 3000),
         1},
        {"1e14 location",
         Mandelbrot(kLocation1e14Re, kLocation1e14Im, kLocation1e14Radius, 12, kLocation1e14Iterations), 1},
        {"1e-50 near the 5e113 location", Mandelbrot(kLocation5e113Re, kLocation5e113Im, "1e-50", 12, 6000),
         3},
        {"5e113 location",
         Mandelbrot(kLocation5e113Re, kLocation5e113Im, kLocation5e113Radius, 12, kLocation5e113Iterations),
         5},
        {"c = i at 1e-300", Mandelbrot("0", "1", "1e-300", 12, 3000), 1},
        {"c = i at 1e-1000", Mandelbrot("0", "1", "1e-1000", 12, 4000), 3},
        {"c = i at 1e-5000", Mandelbrot("0", "1", "1e-5000", 8, 16000), 5},
        {"julia boundary at 1e-30", julia, 1},
        {"julia whole set", juliaWide, 1},
        {"julia boundary at 1e-400", juliaDeep, 3},
    };
    for (const DeepRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::uint32_t> counts = DeepCounts(ToView(row.view));
        int checked = 0;
        int equal = 0;
        std::set<std::int64_t> distinct;
        for (std::int64_t y = 0; y < row.view.height; y += row.sampleStep) {
            for (std::int64_t x = 0; x < row.view.width; x += row.sampleStep) {
                const std::int64_t truth = GroundTruth(row.view, x, y).count;
                const std::uint32_t count = counts[static_cast<std::size_t>(y * row.view.width + x)];
                ++checked;
                equal += count == truth ? 1 : 0;
                distinct.insert(truth);
                EXPECT_EQ(count, truth) << "pixel " << x << "," << y;
            }
        }
        std::printf("%-32s %d of %d pixels equal, %zu distinct counts\n", row.name, equal, checked,
                    distinct.size());
        // A view whose pixels all share one count would not tell a working loop from a broken one.
        EXPECT_GE(distinct.size(), 2U);
    }
}

TEST(DeepRenderTest, RejectsViewsItCannotDraw) {
    struct BadRow {
        const char* name;
        const char* radius;
        std::int64_t iterations;
        int width;
        int height;
        const char* message;
        std::uint64_t memoryLimit = 0;
    };
    const BadRow rows[] = {
        // c = i never escapes: its orbit has N + 1 points, whose tables outgrow 100 kB.
        {"tables past the memory", "1e-20", 1000, 10, 10,
         "the reference orbit's 1001 points need about 1 MB of tables, more than the 0 MB", 100'000},
        {"zero radius", "0", 100, 10, 10, "the radius must be above 0"},
        {"negative radius", "-1e-20", 100, 10, 10, "the radius must be above 0"},
        {"no iterations", "1e-20", 0, 10, 10, "the iteration limit must be between 1 and 100000000"},
        {"too many iterations", "1e-20", deep::kMaxDeepIterations + 1, 10, 10,
         "the iteration limit must be between 1 and 100000000"},
        {"no columns", "1e-20", 100, 0, 10, "the width and the height must be at least 1 pixel"},
        {"no rows", "1e-20", 100, 10, -3, "the width and the height must be at least 1 pixel"},
    };
    for (const BadRow& row : rows) {
        SCOPED_TRACE(row.name);
        deep::DeepView view = ToView(Mandelbrot(row.memoryLimit != 0 ? "0" : "-0.75",
                                                row.memoryLimit != 0 ? "1" : "0.1", row.radius, 1, 1));
        view.iterations = row.iterations;
        view.width = row.width;
        view.height = row.height;
        deep::DeepControl control;
        control.memoryLimit = row.memoryLimit;
        std::string error;
        EXPECT_FALSE(deep::DeepPicture::prepare(view, control, error).has_value());
        EXPECT_TRUE(error.starts_with(row.message)) << error;
    }
}

TEST(DeepRenderTest, StopFlagEndsPrepareAndCounting) {
    // c = i never escapes, so its reference orbit runs to the limit unless stopped.
    deep::DeepView view = ToView(Mandelbrot("0", "1", "1e-300", 6, 6));
    view.iterations = 100'000;
    std::atomic<bool> stop{true};
    deep::DeepControl control;
    control.stop = &stop;
    std::string error = "left over";
    EXPECT_FALSE(deep::DeepPicture::prepare(view, control, error).has_value());
    EXPECT_EQ(error, "");

    stop = false;
    view.iterations = 10'000;
    std::vector<std::int64_t> reported;
    control.referenceProgress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 10'000);
        reported.push_back(done);
    };
    auto picture = deep::DeepPicture::prepare(view, control, error);
    ASSERT_TRUE(picture.has_value()) << error;
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), 10'000);
    EXPECT_EQ(picture->view().iterations, 10'000);

    // A Julia set reports its two orbits as one piece of work; the orbit of 0 under a constant
    // inside the main cardioid runs to the limit.
    deep::DeepView julia = view;
    julia.julia = true;
    julia.juliaRe = common::ParseExactDecimal("-0.1").value();
    julia.juliaIm = common::ParseExactDecimal("0.1").value();
    reported.clear();
    control.referenceProgress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 20'000);
        reported.push_back(done);
    };
    ASSERT_TRUE(deep::DeepPicture::prepare(julia, control, error).has_value()) << error;
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_GT(std::count_if(reported.begin(), reported.end(), [](std::int64_t d) { return d > 10'000; }), 1);
    EXPECT_EQ(reported.back(), 20'000);

    // Set as the orbit is done: the tables that follow are broken off as well.
    control.referenceProgress = [&](std::int64_t done, std::int64_t total) {
        stop = done == total;
    };
    EXPECT_FALSE(deep::DeepPicture::prepare(view, control, error).has_value());
    EXPECT_EQ(error, "");

    std::vector<std::uint32_t> counts(36);
    stop = true;
    EXPECT_FALSE(picture->countRows(0, 6, counts.data(), &stop));
    stop = false;
    EXPECT_TRUE(picture->countRows(0, 6, counts.data(), &stop));
}

TEST(DeepRenderTest, BandOfRowsEqualsThoseRowsOfTheWholePicture) {
    // Wide enough to use every core, in both number types.
    for (const char* radius : {"2e-14", "1e-295"}) {
        SCOPED_TRACE(radius);
        const deep::DeepView view =
            ToView(Mandelbrot(deep_test::kLocation1e14Re, deep_test::kLocation1e14Im, radius, 9, 11));
        const std::vector<std::uint32_t> whole = DeepCounts(view);
        std::string error;
        auto picture = deep::DeepPicture::prepare(view, {}, error);
        ASSERT_TRUE(picture.has_value()) << error;
        std::vector<std::uint32_t> band(4 * 9, 0xffffffffU);
        ASSERT_TRUE(picture->countRows(5, 4, band.data(), nullptr));
        EXPECT_EQ(band, std::vector<std::uint32_t>(whole.begin() + 5 * 9, whole.begin() + 9 * 9));
    }
}

TEST(DeepRenderTest, GivenOrbitsCountAsComputedOnesAndOthersAreRefused) {
    const deep::DeepView view =
        ToView(Mandelbrot(deep_test::kLocation1e14Re, deep_test::kLocation1e14Im, "1e-295", 9, 11));
    std::string error;
    auto computed = deep::DeepPicture::prepare(view, {}, error);
    ASSERT_TRUE(computed.has_value()) << error;
    const deep::ReferenceOrbits orbits{{computed->mainOrbit().begin(), computed->mainOrbit().end()}, {}};
    auto given = deep::DeepPicture::prepareFromOrbits(view, orbits, error);
    ASSERT_TRUE(given.has_value()) << error;
    std::vector<std::uint32_t> fromComputed(9 * 11);
    std::vector<std::uint32_t> fromGiven(9 * 11, 0xffffffffU);
    ASSERT_TRUE(computed->countRows(0, 11, fromComputed.data(), nullptr));
    ASSERT_TRUE(given->countRows(0, 11, fromGiven.data(), nullptr));
    EXPECT_EQ(fromGiven, fromComputed);

    deep::ReferenceOrbits tooLong = orbits;
    tooLong.main.resize(static_cast<std::size_t>(view.iterations) + 2);
    deep::ReferenceOrbits notFinite = orbits;
    notFinite.main.back().im = std::numeric_limits<double>::infinity();
    deep::ReferenceOrbits withRebase = orbits;
    withRebase.rebase = {{0.0, 0.0}};
    for (const auto& [name, bad, says] :
         std::vector<std::tuple<const char*, deep::ReferenceOrbits, const char*>>{
             {"empty", {}, "their lengths are wrong"},
             {"too long", tooLong, "their lengths are wrong"},
             {"a Mandelbrot set with a rebase orbit", withRebase, "their lengths are wrong"},
             {"not finite", notFinite, "not finite"}}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(deep::DeepPicture::prepareFromOrbits(view, bad, error).has_value());
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}
