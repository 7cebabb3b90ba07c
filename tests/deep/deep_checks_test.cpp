// Checks of the deep engine that hold without trusting its own arithmetic: against the explorer's
// double-precision counting where doubles suffice, and against the self-similarity of the set
// around a Misiurewicz point, where no ground truth is affordable.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <mpfr.h>

#include "complex_view.h"
#include "deep_render.h"
#include "deep_views.h"
#include "escape_time.h"
#include "ground_truth.h"

using deep_test::DeepCounts;
using deep_test::DeepViewText;
using deep_test::Mandelbrot;
using deep_test::ToView;

namespace {

// A point on the boundary in the seahorse valley: at radius 1e-5 the counts reach past 256 on
// the spirals, at 1e-6 some pixels need nearly 2000 iterations.
constexpr const char* kSeahorseRe = "-0.743643887037151";
constexpr const char* kSeahorseIm = "0.13182590420533";

/// centre + radius·steps/height, correctly rounded to a double.
double ExactCoordinate(const std::string& centre, const std::string& radius, std::int64_t steps,
                       std::int64_t height) {
    mpfr_t out;
    mpfr_init2(out, 53);
    deep::ScaledOffset(deep::ParseExactDecimal(centre).value(), deep::ParseExactDecimal(radius).value(),
                       steps, height, out, MPFR_RNDN);
    const double value = mpfr_get_d(out, MPFR_RNDN);
    mpfr_clear(out);
    return value;
}

/// The explorer's rectangle for a deep view: its frame runs from 0 to W by 0 to H, so that pixel
/// (x, y) lies at ReMin + (ReMax − ReMin)·x/W, ImMin + (ImMax − ImMin)·(H − y)/H, which is the deep
/// view's RE + R·(2x − W)/H, IM + R·(H − 2y)/H up to the rounding of the ends and of each step.
/// Only pixels 0..W−1 by 0..H−1 are used; the extra column and row just give the frame its extent.
struct ExplorerFrame {
    explorer::ViewRect view;
    explorer::PixelFrame frame;
};

ExplorerFrame ExplorerFrameOf(const DeepViewText& text) {
    ExplorerFrame out;
    out.view.ReMin = ExactCoordinate(text.centreRe, text.radius, -text.width, text.height);
    out.view.ReMax = ExactCoordinate(text.centreRe, text.radius, text.width, text.height);
    out.view.ImMin = ExactCoordinate(text.centreIm, text.radius, -text.height, text.height);
    out.view.ImMax = ExactCoordinate(text.centreIm, text.radius, text.height, text.height);
    out.frame = {0, static_cast<int>(text.width), 0, static_cast<int>(text.height)};
    return out;
}

/// The explorer's EscapeCount() with the limit as a parameter: the same operations in the same
/// order (modulus by a square root compared with 256, then the limit, then z·z + c), since its own
/// limit is fixed at kMaxIter.
int DoubleCount(explorer::TComplex c, int limit) {
    explorer::TComplex z{};
    int n = 0;
    for (;;) {
        if (explorer::ComplexAbs(z) > explorer::kEscapeRadius || n >= limit) {
            return n;
        }
        z = explorer::ComplexAdd(explorer::ComplexMul(z, z), c);
        ++n;
    }
}

struct DoubleComparison {
    int pixels = 0;
    int deepWrong = 0;         // deep engine ≠ ground truth
    int doubleWrong = 0;       // double path ≠ ground truth
    int doubleRightDiffer = 0; // double path = ground truth, yet ≠ deep engine
};

/// Every `step`-th pixel of the view counted three ways: the double path at the explorer's pixel
/// numbers, the deep engine, and the plain high-precision loop.
DoubleComparison CompareWithDoubles(const DeepViewText& text, int step) {
    const std::vector<std::uint32_t> deepCounts = DeepCounts(ToView(text));
    const ExplorerFrame explorerFrame = ExplorerFrameOf(text);
    DoubleComparison result;
    for (std::int64_t y = 0; y < text.height; y += step) {
        for (std::int64_t x = 0; x < text.width; x += step) {
            const explorer::TComplex c = explorer::PixelToComplex(explorerFrame.view, explorerFrame.frame,
                                                                  {static_cast<int>(x), static_cast<int>(y)});
            // The explorer's number of the pixel is the deep view's, up to a few roundings.
            const double re = ExactCoordinate(text.centreRe, text.radius, 2 * x - text.width, text.height);
            const double im = ExactCoordinate(text.centreIm, text.radius, text.height - 2 * y, text.height);
            EXPECT_LE(std::abs(c.Re - re), 4 * std::ldexp(std::abs(re), -52)) << x << "," << y;
            EXPECT_LE(std::abs(c.Im - im), 4 * std::ldexp(std::abs(im), -52)) << x << "," << y;

            const int doubles = DoubleCount(c, static_cast<int>(text.maxIterations));
            const std::int64_t deep = deepCounts[static_cast<std::size_t>(y * text.width + x)];
            const std::int64_t truth = deep_test::GroundTruth(text, x, y).count;
            ++result.pixels;
            result.deepWrong += deep != truth ? 1 : 0;
            result.doubleWrong += doubles != truth ? 1 : 0;
            if (doubles == truth && doubles != deep) {
                ++result.doubleRightDiffer;
                ADD_FAILURE() << "pixel " << x << "," << y << ": doubles and the plain loop give " << truth
                              << ", the deep engine " << deep;
            }
        }
    }
    return result;
}

} // namespace

TEST(DeepChecksTest, DoublePathMatchesTheExplorersEscapeCount) {
    // DoubleCount() stands in for the explorer where its limit of 256 is too small; at 256 it must
    // be the explorer's count itself.
    const DeepViewText text = Mandelbrot(kSeahorseRe, kSeahorseIm, "1e-5", 32, explorer::kMaxIter);
    const ExplorerFrame frame = ExplorerFrameOf(text);
    std::map<int, int> histogram;
    for (int y = 0; y < text.height; ++y) {
        for (int x = 0; x < text.width; ++x) {
            const explorer::TComplex c = explorer::PixelToComplex(frame.view, frame.frame, {x, y});
            const int count = explorer::EscapeCount({}, c);
            EXPECT_EQ(DoubleCount(c, explorer::kMaxIter), count) << x << "," << y;
            ++histogram[count];
        }
    }
    EXPECT_GT(histogram.size(), 20u) << "the view should lie on the boundary";
}

TEST(DeepChecksTest, DeepEngineAgreesWithDoublesWhereDoublesAreRight) {
    struct Row {
        const char* name;
        DeepViewText view;
        int step;
        int doubleWrongMin;    // the view must be deep enough to catch doubles out
        double doubleWrongMax; // share of pixels
    };
    const Row rows[] = {
        {"radius 1e-5, 256 iterations", Mandelbrot(kSeahorseRe, kSeahorseIm, "1e-5", 64, 256), 1, 0, 0.01},
        {"radius 1e-6, 2000 iterations", Mandelbrot(kSeahorseRe, kSeahorseIm, "1e-6", 32, 2000), 1, 1, 0.05},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const DoubleComparison result = CompareWithDoubles(row.view, row.step);
        std::printf("%-30s %d pixels: deep engine wrong on %d, doubles wrong on %d\n", row.name,
                    result.pixels, result.deepWrong, result.doubleWrong);
        EXPECT_LE(result.deepWrong, result.pixels / 10000);
        EXPECT_EQ(result.doubleRightDiffer, 0);
        EXPECT_GE(result.doubleWrong, row.doubleWrongMin);
        EXPECT_LE(result.doubleWrong, row.doubleWrongMax * result.pixels);
    }
}

namespace {

struct SimilarityResult {
    int compared = 0;
    int offset = 0;
    int agreeing = 0;
};

/// Pairs each pixel of the inner view with the pixel of the outer view that `multiply` takes it
/// to, and counts the pairs whose counts agree once the inner count is lowered by the commonest
/// difference (the inner copy takes that many more iterations); both views are S × S. A pixel is
/// named by its lattice offset (a, b) = (2x − S, S − 2y), so its number is centre + R·(a + bi)/S;
/// pixels mapped outside the outer view are left out.
template <typename Multiply>
SimilarityResult CompareCopies(const std::vector<std::uint32_t>& outer,
                               const std::vector<std::uint32_t>& inner, int size, std::int64_t limit,
                               Multiply multiply) {
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs; // (outer, inner) counts
    for (int y2 = 0; y2 < size; ++y2) {
        for (int x2 = 0; x2 < size; ++x2) {
            const auto [a1, b1] = multiply(2 * x2 - size, size - 2 * y2);
            const int x1 = (a1 + size) / 2;
            const int y1 = (size - b1) / 2;
            if (x1 < 0 || x1 >= size || y1 < 0 || y1 >= size) {
                continue;
            }
            pairs.emplace_back(outer[static_cast<std::size_t>(y1 * size + x1)],
                               inner[static_cast<std::size_t>(y2 * size + x2)]);
        }
    }
    std::map<std::int64_t, int> differences;
    for (const auto& [o, i] : pairs) {
        if (o < limit && i < limit) {
            ++differences[i - o];
        }
    }
    SimilarityResult result;
    result.compared = static_cast<int>(pairs.size());
    int best = 0;
    for (const auto& [difference, times] : differences) {
        if (times > best) {
            best = times;
            result.offset = static_cast<int>(difference);
        }
    }
    for (const auto& [o, i] : pairs) {
        result.agreeing += std::min(i, limit) == std::min(o + result.offset, limit) ? 1 : 0;
    }
    return result;
}

/// radius / (4·√2), to 40 significant digits, as a decimal text.
std::string DividedByFourRootTwo(const std::string& radius) {
    mpfr_t value, root;
    mpfr_inits2(256, value, root, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(value, radius.c_str(), 10, MPFR_RNDN);
    mpfr_sqrt_ui(root, 2, MPFR_RNDN);
    mpfr_div(value, value, root, MPFR_RNDN);
    mpfr_div_ui(value, value, 4, MPFR_RNDN);
    mpfr_exp_t exponent = 0;
    char* digits = mpfr_get_str(nullptr, &exponent, 10, 40, value, MPFR_RNDN);
    const std::string text = std::string("0.") + digits + "e" + std::to_string(exponent);
    mpfr_free_str(digits);
    mpfr_clears(value, root, static_cast<mpfr_ptr>(nullptr));
    return text;
}

struct SimilarityRow {
    const char* name;
    const char* radius;
    const char* quarterRadius; // radius / 4, exactly
    int size;
    std::int64_t iterations;
};

} // namespace

// c0 = i is preperiodic: 0 → i → −1 + i → −i → −1 + i → ..., so after one step its orbit falls on
// the cycle {−1 + i, −i} of z² + i, whose multiplier is λ = 2(−1 + i)·2(−i) = 4(1 + i) = 4√2·e^{iπ/4}.
// For c = c0 + δ the orbit leaves the cycle by about λ per round of two iterations, so
// z_{n+2}(c0 + δ) ≈ z_n(c0 + λδ): near c0 the set is (asymptotically) mapped onto itself by
// δ ↦ λδ, the copy at c0 + δ being reached two iterations later than the one at c0 + λδ.
//
// The inner view has a quarter of the outer radius, so its pixel offset R/4·(a + bi)/S goes under
// λ to R·(1 + i)(a + bi)/S = R·((a − b) + (a + b)i)/S: exactly a pixel of the outer view, no
// interpolation. The controls can fail where the right map passes: the turn the other way
// (multiplying by 4(1 − i)), and the scaling by |λ| alone, which compares a view at R/(4√2)
// pixel for pixel with the outer view. The counts grow with −log|δ| and differ mainly along the
// set's filaments, so a view with the wrong turn still agrees on a fair share of pixels.
TEST(DeepChecksTest, SetRepeatsItselfAroundTheMisiurewiczPointI) {
    const SimilarityRow rows[] = {
        {"1e-1000", "1e-1000", "2.5e-1001", 32, 4000},
        {"1e-10000", "1e-10000", "2.5e-10001", 24, 32000},
    };
    for (const SimilarityRow& row : rows) {
        SCOPED_TRACE(row.name);
        const int size = row.size;
        const std::vector<std::uint32_t> outer =
            DeepCounts(ToView(Mandelbrot("0", "1", row.radius, size, row.iterations)));
        const std::vector<std::uint32_t> inner =
            DeepCounts(ToView(Mandelbrot("0", "1", row.quarterRadius, size, row.iterations)));
        const std::vector<std::uint32_t> unturned =
            DeepCounts(ToView(Mandelbrot("0", "1", DividedByFourRootTwo(row.radius), size, row.iterations)));
        using Lattice = std::pair<int, int>;
        const SimilarityResult right = CompareCopies(outer, inner, size, row.iterations, [](int a, int b) {
            return Lattice{a - b, a + b};
        });
        const SimilarityResult wrong = CompareCopies(outer, inner, size, row.iterations, [](int a, int b) {
            return Lattice{a + b, b - a};
        });
        const SimilarityResult plain = CompareCopies(outer, unturned, size, row.iterations, [](int a, int b) {
            return Lattice{a, b};
        });
        std::printf("%-8s turned by +45 deg: %d of %d agree (offset %d); by -45 deg: %d of %d (offset %d); "
                    "scaled only: %d of %d (offset %d)\n",
                    row.name, right.agreeing, right.compared, right.offset, wrong.agreeing, wrong.compared,
                    wrong.offset, plain.agreeing, plain.compared, plain.offset);
        // The comparison means something only where the counts vary and most pixels escape.
        const std::set<std::uint32_t> distinct(outer.begin(), outer.end());
        const auto escaped = std::count_if(outer.begin(), outer.end(),
                                           [&](std::uint32_t count) { return count < row.iterations; });
        std::printf("%-8s %zu distinct counts from %u to %u, %td of %zu pixels escape\n", row.name,
                    distinct.size(), *distinct.begin(), *distinct.rbegin(), escaped, outer.size());
        EXPECT_GE(distinct.size(), 12u);
        EXPECT_GE(escaped, 0.9 * static_cast<double>(outer.size()));

        EXPECT_EQ(right.offset, 2);
        EXPECT_GE(right.agreeing, 0.97 * right.compared);
        EXPECT_LE(wrong.agreeing, 0.5 * wrong.compared);
        EXPECT_LE(plain.agreeing, 0.5 * plain.compared);
    }
}
