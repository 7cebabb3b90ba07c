#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "escape_time.h"

namespace explorer {
namespace {

// --------------------------------------------------------------------------- the reference

struct CountRow {
    const char* name;
    TComplex z0;
    TComplex c;
    int expected;
};

class EscapeCountTest : public ::testing::TestWithParam<CountRow> {};

TEST_P(EscapeCountTest, CountsStepsUntilModulusExceeds256) {
    const CountRow& row = GetParam();
    EXPECT_EQ(EscapeCount(row.z0, row.c), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EscapeTimeReference, EscapeCountTest,
    ::testing::Values(CountRow{"mandelbrot_origin", {0, 0}, {0, 0}, 256},
                      CountRow{"mandelbrot_tip_minus_two", {0, 0}, {-2, 0}, 256},
                      // 0, 1, 2, 5, 26, 677: the sixth value is the first beyond 256.
                      CountRow{"mandelbrot_one", {0, 0}, {1, 0}, 5},
                      CountRow{"mandelbrot_corner", {0, 0}, {-2, -1.5}, 4},
                      // 1.5, 2.25, 5.06, 25.6, 656.8.
                      CountRow{"julia_zero_outside_unit_circle", {1.5, 0}, {0, 0}, 4},
                      CountRow{"julia_zero_inside_unit_circle", {0.6, -0.7}, {0, 0}, 256},
                      CountRow{"already_outside", {300, 0}, {0, 0}, 0},
                      CountRow{"huge_constant_overflows", {0.1, 0.1}, {1e300, 0}, 1},
                      CountRow{"nan_constant_never_escapes", {0.1, 0.1}, {std::nan(""), 0}, 256},
                      CountRow{"infinite_start", {std::numeric_limits<double>::infinity(), 0}, {0, 0}, 0}),
    [](const ::testing::TestParamInfo<CountRow>& info) { return std::string(info.param.name); });

TEST(EscapeCountTest, ModulusOfExactly256AfterRoundingDoesNotEscape) {
    // |z|^2 = 65536 + 2^-36 exactly, one unit above 65536, yet its square root rounds to 256:
    // the test is on the rounded modulus, so the start does not escape and one step is counted.
    const TComplex z0{256.0, std::ldexp(1.0, -18)};
    ASSERT_GT(z0.Re * z0.Re + z0.Im * z0.Im, 65536.0);
    ASSERT_EQ(ComplexAbs(z0), 256.0);
    EXPECT_EQ(EscapeCount(z0, {0, 0}), 1);
}

// ----------------------------------------------------------------------------- the engine

std::vector<std::uint16_t> RunEngine(CountEngine& engine, const RenderJob& job) {
    engine.start(job);
    std::vector<std::uint16_t> counts;
    for (int x = 0; x < engine.columns(); ++x) {
        if (!engine.waitColumn(x, 60'000)) {
            ADD_FAILURE() << "column " << x << " never became ready";
            return counts;
        }
        const std::uint16_t* column = engine.column(x);
        counts.insert(counts.end(), column, column + engine.rows());
    }
    return counts;
}

std::vector<CountPath> PathsOnThisMachine() {
    std::vector<CountPath> paths{CountPath::Scalar};
    for (CountPath path : {CountPath::Avx2, CountPath::Avx512}) {
        if (CountEngine::pathAvailable(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

RenderJob Mandelbrot(ViewRect view, PixelFrame frame) {
    RenderJob job;
    job.kind = SetKind::Mandelbrot;
    job.view = view;
    job.frame = frame;
    return job;
}

RenderJob Julia(TComplex c, ViewRect view, PixelFrame frame) {
    RenderJob job;
    job.kind = SetKind::Julia;
    job.view = view;
    job.frame = frame;
    job.juliaC = c;
    return job;
}

constexpr ViewRect kMandelbrotView{-2.0, 1.0, -1.5, 1.5};
constexpr ViewRect kJuliaView{-1.5, 1.5, -1.5, 1.5};
constexpr PixelFrame kDesignFrame{0, 601, 0, 601};
constexpr PixelFrame kSmallFrame{0, 240, 0, 200};

ViewRect AroundSeahorse() {
    const double re = -0.743643887037151;
    const double im = 0.131825904205330;
    const double half = 0.5e-10;
    return {re - half, re + half, im - half, im + half};
}

struct EngineRow {
    const char* name;
    RenderJob job;
};

class CountEngineIdentityTest : public ::testing::TestWithParam<EngineRow> {};

TEST_P(CountEngineIdentityTest, EveryPathMatchesThePlainLoop) {
    const RenderJob& job = GetParam().job;
    const std::vector<std::uint16_t> expected = ComputeCountsPlain(job);
    ASSERT_EQ(expected.size(),
              static_cast<std::size_t>(job.columns()) * static_cast<std::size_t>(job.rows()));
    for (CountPath path : PathsOnThisMachine()) {
        CountEngine engine(0, path);
        SCOPED_TRACE(engine.pathName());
        ASSERT_EQ(engine.columns(), 0);
        const std::vector<std::uint16_t> counts = RunEngine(engine, job);
        ASSERT_EQ(engine.columns(), job.columns());
        ASSERT_EQ(engine.rows(), job.rows());
        ASSERT_EQ(counts.size(), expected.size());
        std::size_t mismatches = 0;
        std::size_t first = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] != expected[i] && mismatches++ == 0) {
                first = i;
            }
        }
        EXPECT_EQ(mismatches, 0u) << "first at column " << first / static_cast<std::size_t>(job.rows())
                                  << " row " << first % static_cast<std::size_t>(job.rows()) << ": "
                                  << counts[first] << " instead of " << expected[first];
    }
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    CountEngineViews, CountEngineIdentityTest,
    ::testing::Values(
        EngineRow{"mandelbrot_default_601", Mandelbrot(kMandelbrotView, kDesignFrame)},
        EngineRow{"mandelbrot_all_interior", Mandelbrot({-0.3, -0.1, -0.1, 0.1}, kSmallFrame)},
        EngineRow{"mandelbrot_period_two_bulb", Mandelbrot({-1.2, -0.8, -0.2, 0.2}, kSmallFrame)},
        EngineRow{"mandelbrot_deep_zoom_boundary", Mandelbrot(AroundSeahorse(), kSmallFrame)},
        EngineRow{"mandelbrot_mirrored", Mandelbrot({0.6, -2.1, 1.3, -1.2}, kSmallFrame)},
        EngineRow{"mandelbrot_odd_frame_37x23", Mandelbrot(kMandelbrotView, {5, 41, 3, 25})},
        EngineRow{"mandelbrot_single_row", Mandelbrot(kMandelbrotView, {0, 300, 7, 7})},
        // One column divides 0 by 0, so every c has a NaN real part.
        EngineRow{"mandelbrot_single_column_nan", Mandelbrot(kMandelbrotView, {3, 3, 0, 40})},
        // Numbers so large that the squares overflow to infinity and then to NaN.
        EngineRow{"mandelbrot_huge_view", Mandelbrot({-1e300, 1e300, -1e200, 1e200}, {0, 40, 0, 30})},
        // |c| far beyond 256: an escaped z can land back inside the circle on the next step.
        EngineRow{"mandelbrot_far_out", Mandelbrot({-70000.0, 70000.0, -300.0, 300.0}, {0, 80, 0, 60})},
        // Pixel (0, 1) starts exactly at (256, 2^-18), whose modulus rounds to 256.
        EngineRow{"julia_modulus_rounds_to_256", Julia({0, 0}, {256.0, 257.0, 0x1p-18, 1.0}, {0, 1, 0, 1})},
        EngineRow{"julia_minus_half_0_6", Julia({-0.5, 0.6}, kJuliaView, kDesignFrame)},
        EngineRow{"julia_0_34_0_38", Julia({0.34, 0.38}, kJuliaView, kSmallFrame)},
        EngineRow{"julia_zero", Julia({0, 0}, kJuliaView, kSmallFrame)},
        EngineRow{"julia_rabbit", Julia({-0.123, 0.745}, kJuliaView, kSmallFrame)},
        EngineRow{"julia_odd_frame_37x23", Julia({-0.5, 0.6}, kJuliaView, {-18, 18, -11, 11})},
        EngineRow{"julia_huge_constant", Julia({1e300, 0}, kJuliaView, {0, 40, 0, 30})},
        EngineRow{"julia_nan_constant", Julia({kNaN, 0.5}, kJuliaView, {0, 40, 0, 30})},
        EngineRow{"julia_infinite_constant", Julia({0, -kInf}, kJuliaView, {0, 40, 0, 30})}),
    [](const ::testing::TestParamInfo<EngineRow>& info) { return std::string(info.param.name); });

// A large picture is counted in strips of rows; put together they must equal the whole job,
// whatever the strip height and however the last strip falls short.
TEST(CountEngineStripTest, StripsTogetherEqualThePlainLoop) {
    const RenderJob jobs[] = {Mandelbrot(kMandelbrotView, {0, 120, 0, 97}),
                              Mandelbrot(AroundSeahorse(), {5, 41, -3, 25}),
                              Julia({-0.5, 0.6}, kJuliaView, {0, 60, 0, 130})};
    for (const RenderJob& job : jobs) {
        const std::vector<std::uint16_t> expected = ComputeCountsPlain(job);
        const int rows = job.rows();
        for (CountPath path : PathsOnThisMachine()) {
            CountEngine engine(0, path);
            for (const int stripRows : {1, 7, 64, rows + 5}) {
                SCOPED_TRACE(std::string(engine.pathName()) + " strips of " + std::to_string(stripRows));
                std::vector<std::uint16_t> counts(expected.size());
                for (int first = 0; first < rows; first += stripRows) {
                    engine.start(job, first, stripRows);
                    ASSERT_EQ(engine.rows(), std::min(stripRows, rows - first));
                    for (int x = 0; x < engine.columns(); ++x) {
                        ASSERT_TRUE(engine.waitColumn(x, 60'000));
                        const std::uint16_t* column = engine.column(x);
                        std::copy(column, column + engine.rows(),
                                  counts.begin() + static_cast<std::ptrdiff_t>(x) * rows + first);
                    }
                }
                EXPECT_EQ(counts, expected);
            }
        }
    }
}

TEST(CountEngineStripTest, RangeOutsideTheJobIsCutToIt) {
    CountEngine engine;
    const RenderJob job = Mandelbrot(kMandelbrotView, {0, 10, 0, 10});
    engine.start(job, 9, 100);
    EXPECT_EQ(engine.rows(), 2);
    engine.start(job, 50, 3);
    EXPECT_EQ(engine.rows(), 0);
    EXPECT_FALSE(engine.waitColumn(0, 10));
    engine.start(job, -4, 6);
    EXPECT_EQ(engine.rows(), 6);
    ASSERT_TRUE(engine.waitColumn(10, 60'000));
    const std::vector<std::uint16_t> plain = ComputeCountsPlain(job);
    EXPECT_EQ(std::vector<std::uint16_t>(engine.column(10), engine.column(10) + 6),
              std::vector<std::uint16_t>(plain.begin() + 10 * 11, plain.begin() + 10 * 11 + 6));
}

TEST(CountEngineTest, ModulusThatRoundsTo256IsCountedLikeTheReference) {
    const RenderJob job = Julia({0, 0}, {256.0, 257.0, 0x1p-18, 1.0}, {0, 1, 0, 1});
    const int reference = EscapeCount({256.0, 0x1p-18}, {0, 0});
    for (CountPath path : PathsOnThisMachine()) {
        CountEngine engine(1, path);
        SCOPED_TRACE(engine.pathName());
        const std::vector<std::uint16_t> counts = RunEngine(engine, job);
        ASSERT_EQ(counts.size(), 4u);
        EXPECT_EQ(counts[1], reference); // column 0, row 1 = FrameBottom
    }
}

TEST(CountEngineTest, AutoPathIsTheWidestAvailable) {
    CountEngine engine;
    EXPECT_STREQ(engine.pathName(), CountEngine::simdPath());
    const std::string expected = CountEngine::pathAvailable(CountPath::Avx512) ? "avx512"
                                 : CountEngine::pathAvailable(CountPath::Avx2) ? "avx2"
                                                                               : "scalar";
    EXPECT_EQ(std::string(CountEngine::simdPath()), expected);
}

TEST(CountEngineTest, WaitColumnIsFalseBeforeAStartAndTrueOnceReady) {
    CountEngine engine;
    EXPECT_EQ(engine.columns(), 0);
    EXPECT_FALSE(engine.columnReady(0));
    EXPECT_FALSE(engine.waitColumn(0, 20));

    const RenderJob job = Mandelbrot(kMandelbrotView, {0, 9, 0, 9});
    const std::vector<std::uint16_t> expected = ComputeCountsPlain(job);
    engine.start(job);
    for (int x = 0; x < 10; ++x) {
        ASSERT_TRUE(engine.waitColumn(x, 60'000)) << x;
        EXPECT_TRUE(engine.columnReady(x));
        EXPECT_TRUE(std::equal(engine.column(x), engine.column(x) + 10, expected.begin() + x * 10)) << x;
    }
    EXPECT_FALSE(engine.waitColumn(10, 20));
    EXPECT_FALSE(engine.waitColumn(-1, 20));
}

class CountEngineRestartTest : public ::testing::TestWithParam<CountPath> {};

TEST_P(CountEngineRestartTest, CancelMidJobThenRestartGivesCorrectCounts) {
    if (!CountEngine::pathAvailable(GetParam())) {
        GTEST_SKIP() << "processor lacks this path";
    }
    CountEngine engine(0, GetParam());
    // Inside the set next to the cusp at 1/4, where orbits settle too slowly to repeat within
    // 256 steps: every pixel takes the full count, so the job runs far longer than the moment
    // between its first column and the cancel.
    const RenderJob big = Mandelbrot({0.2488, 0.2492, -1e-6, 1e-6}, {0, 3999, 0, 2999});
    engine.start(big);
    ASSERT_TRUE(engine.waitColumn(0, 60'000));
    engine.cancel();
    int ready = 0;
    for (int x = 0; x < engine.columns(); ++x) {
        ready += engine.columnReady(x) ? 1 : 0;
    }
    EXPECT_LT(ready, engine.columns()) << "the job ran to its end before the cancel";

    const RenderJob job = Mandelbrot(kMandelbrotView, {0, 120, 0, 90});
    EXPECT_EQ(RunEngine(engine, job), ComputeCountsPlain(job));
    // A second start while the first still runs replaces it.
    engine.start(big);
    const RenderJob julia = Julia({-0.5, 0.6}, kJuliaView, {0, 70, 0, 50});
    EXPECT_EQ(RunEngine(engine, julia), ComputeCountsPlain(julia));
}

INSTANTIATE_TEST_SUITE_P(CountEnginePaths, CountEngineRestartTest,
                         ::testing::Values(CountPath::Scalar, CountPath::Avx2, CountPath::Avx512),
                         [](const ::testing::TestParamInfo<CountPath>& info) {
                             switch (info.param) {
                             case CountPath::Avx2:
                                 return std::string("avx2");
                             case CountPath::Avx512:
                                 return std::string("avx512");
                             default:
                                 return std::string("scalar");
                             }
                         });

} // namespace
} // namespace explorer
