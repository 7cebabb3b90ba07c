#include "bla_table.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include <gtest/gtest.h>
#include <mpfr.h>

#include "decimal_mpfr.h"
#include "deep_locations.h"
#include "perturbation.h"
#include "pixel_loop.h"
#include "precision.h"
#include "reference_orbit.h"

namespace {

using deep::BlaTable;
using deep::Complex;
using deep::FloatExp;
using deep::OrbitPoint;

TEST(BlaTableTest, RunsMergeStepByStepAndStopBeforeEscape) {
    // Z_4 lies near 256, where a pixel could escape: no run may start at or pass step 4.
    const std::vector<OrbitPoint> orbit = {{0.0, 0.0},  {0.5, 0.0},   {0.25, 0.5},
                                           {-1.0, 0.0}, {200.0, 0.0}, {0, 0}};
    const double deltaCMax = 0x1p-60;
    const double share = 0x1p-48; // of |Z|, a single step's radius
    const BlaTable<double> table(orbit, deltaCMax);
    ASSERT_EQ(table.levels(), 3U);
    ASSERT_EQ(table.level(0).size(), 4U); // steps 1 … 4 land at most on the last point
    EXPECT_EQ(table.level(0)[1].a, (Complex<double>{0.5, 1.0}));
    EXPECT_EQ(table.level(0)[1].b, (Complex<double>{1.0, 0.0}));
    EXPECT_DOUBLE_EQ(table.level(0)[1].radius, share * std::hypot(0.25, 0.5));
    EXPECT_EQ(table.level(0)[3].radius, 0.0);

    // Steps 1 and 2: δ3 = 2Z2 (2Z1 δ1 + δc) + δc.
    const deep::BlaStep<double>& pair = table.level(1)[0];
    EXPECT_EQ(pair.a, (Complex<double>{0.5, 1.0}));
    EXPECT_EQ(pair.b, (Complex<double>{1.5, 1.0}));
    // The first step's own radius, or what keeps its result inside the second's.
    const double second = (share * std::hypot(0.25, 0.5) - deltaCMax) / 1.0;
    EXPECT_DOUBLE_EQ(pair.radius, std::min(share * 0.5, second));
    EXPECT_EQ(table.level(1)[1].radius, 0.0);
    EXPECT_EQ(table.level(2)[0].radius, 0.0);

    struct FindRow {
        const char* name;
        std::size_t m;
        double deltaNorm;
        std::int64_t maxLength;
        std::int64_t length; // 0: no run
    };
    const double tiny = 1e-60;
    const FindRow rows[] = {
        {"step 0 starts at Z = 0", 0, tiny, 8, 0},
        {"longest usable run from step 1", 1, tiny, 8, 2},
        {"run cut to the iterations left", 1, tiny, 1, 1},
        {"no run of 0 steps", 1, tiny, 0, 0},
        {"step 2 starts no pair", 2, tiny, 8, 1},
        {"pair from step 3 crosses Z near 256", 3, tiny, 8, 1},
        {"step near 256", 4, tiny, 8, 0},
        {"difference too large", 1, 1e-28, 8, 0},
        {"past the table", 5, tiny, 8, 0},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::int64_t length = 0;
        const deep::BlaStep<double>* run = table.find(row.m, row.deltaNorm, row.maxLength, length);
        EXPECT_EQ(run != nullptr ? length : 0, row.length);
        // The doubles' table keeps the runs of two steps or more, laid out by starting point.
        const deep::ScaledBlaTable scaled(table, 0);
        std::int64_t scaledLength = 0;
        const deep::ScaledRun* scaledRun = scaled.find(row.m, row.deltaNorm, row.maxLength, scaledLength);
        EXPECT_EQ(scaledRun != nullptr ? scaledLength : 0, row.length >= 2 ? row.length : 0);
        if (scaledRun != nullptr && run != nullptr) {
            EXPECT_EQ(scaledRun->aRe, run->a.re);
            EXPECT_EQ(scaledRun->bIm, run->b.im);
        }
        EXPECT_EQ(scaled.firstRadius2(row.m) > row.deltaNorm,
                  row.length >= 2 || (row.m == 1 && row.maxLength < 2));
    }

    // Too short an orbit for any step.
    EXPECT_TRUE(BlaTable<double>(std::vector<OrbitPoint>{{0, 0}, {1, 0}}, 0.0).empty());
}

struct Reference {
    std::vector<OrbitPoint> points;
};

/// The orbit of z0 = (z0Re, z0Im) under c = (re, im) at the precision of a view of `radius`.
Reference OrbitOf(const char* re, const char* im, const char* z0Re, const char* z0Im, const char* radius,
                  int size, std::int64_t iterations);

Reference MandelbrotReference(const char* re, const char* im, const char* radius, int size,
                              std::int64_t iterations) {
    return OrbitOf(re, im, "0", "0", radius, size, iterations);
}

Reference OrbitOf(const char* re, const char* im, const char* z0Re, const char* z0Im, const char* radius,
                  int size, std::int64_t iterations) {
    const deep::ExactDecimal cRe = deep::ParseExactDecimal(re).value();
    const deep::ExactDecimal cIm = deep::ParseExactDecimal(im).value();
    const deep::ExactDecimal r = deep::ParseExactDecimal(radius).value();
    const mpfr_prec_t bits = deep::ViewPrecision(cRe, cIm, r, size);
    mpfr_t a, b, z0a, z0b;
    mpfr_inits2(bits, a, b, z0a, z0b, static_cast<mpfr_ptr>(nullptr));
    deep::ToMpfr(cRe, a, MPFR_RNDN);
    deep::ToMpfr(cIm, b, MPFR_RNDN);
    deep::ToMpfr(deep::ParseExactDecimal(z0Re).value(), z0a, MPFR_RNDN);
    deep::ToMpfr(deep::ParseExactDecimal(z0Im).value(), z0b, MPFR_RNDN);
    deep::OrbitRequest request;
    request.cRe = a;
    request.cIm = b;
    request.z0Re = z0a;
    request.z0Im = z0b;
    request.maxIterations = iterations;
    request.precision = bits;
    Reference reference{deep::ComputeReferenceOrbit(request).points};
    mpfr_clears(a, b, z0a, z0b, static_cast<mpfr_ptr>(nullptr));
    return reference;
}

/// Every pixel of a size × size view of radius `radius` around the reference, counted with and
/// without the table; returns what the runs did.
template <typename T>
deep::PerturbationStats CompareWithAndWithout(const std::vector<OrbitPoint>& orbit, double radius, int size,
                                              std::int64_t iterations) {
    const deep::PerturbationOrbits orbits{orbit, orbit};
    const BlaTable<T> table(orbit, T(radius * 1.5));
    const deep::PerturbationBla<T> bla{&table, &table};
    deep::PerturbationStats stats;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Complex<T> zero{T(0.0), T(0.0)};
            const Complex<T> deltaC{T(radius * (2 * x - size) / size), T(radius * (size - 2 * y) / size)};
            const std::int64_t plain = deep::PerturbedCount<T>(orbits, zero, deltaC, iterations, nullptr);
            const std::int64_t skipping =
                deep::PerturbedCount<T>(orbits, zero, deltaC, iterations, nullptr, bla, &stats);
            EXPECT_EQ(skipping, plain) << "pixel " << x << "," << y;
        }
    }
    return stats;
}

TEST(BlaTableTest, RunsSkipIterationsAndKeepTheCounts) {
    using namespace deep_test;
    struct SkipRow {
        const char* name;
        const char* re;
        const char* im;
        const char* radiusText;
        double radius;
        int size;
        std::int64_t iterations;
        double minShare;         // of the iterations done by runs
        std::int64_t minPerSkip; // iterations per run, on average
    };
    // At 1e14 the pixels' differences (1e-14) start far above the linear radius (2^-54 |Z|), so
    // only the iterations where they shrink near the reference are skipped; at 5e113 most are.
    const SkipRow rows[] = {
        {"1e14 location", kLocation1e14Re, kLocation1e14Im, kLocation1e14Radius, 2e-14, 16,
         kLocation1e14Iterations, 0.001, 1},
        {"1e14 location, limit inside the orbit", kLocation1e14Re, kLocation1e14Im, kLocation1e14Radius,
         2e-14, 16, 1000, 0.001, 1},
        {"1e14 location, limit within the first runs", kLocation1e14Re, kLocation1e14Im, kLocation1e14Radius,
         2e-14, 16, 37, 0.001, 1},
        {"5e113 location", kLocation5e113Re, kLocation5e113Im, kLocation5e113Radius, 4e-114, 6,
         kLocation5e113Iterations, 0.5, 16},
    };
    for (const SkipRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Reference reference =
            MandelbrotReference(row.re, row.im, row.radiusText, row.size, row.iterations);
        const deep::PerturbationStats doubles =
            CompareWithAndWithout<double>(reference.points, row.radius, row.size, row.iterations);
        const deep::PerturbationStats extended =
            CompareWithAndWithout<FloatExp>(reference.points, row.radius, row.size, row.iterations);
        for (const deep::PerturbationStats& stats : {doubles, extended}) {
            std::printf("%-44s %lld of %lld iterations skipped in %lld runs\n", row.name,
                        static_cast<long long>(stats.skippedIterations),
                        static_cast<long long>(stats.iterations), static_cast<long long>(stats.skips));
            EXPECT_GT(static_cast<double>(stats.skippedIterations),
                      row.minShare * static_cast<double>(stats.iterations));
            EXPECT_GE(stats.skippedIterations, row.minPerSkip * stats.skips);
        }
    }
}

TEST(BlaTableTest, StopFlagEndsAPixelThatSkips) {
    // c = -0.1 is drawn to a fixed point of |Z| ≈ 0.09, so a pixel 1e-20 away never escapes and
    // its runs grow long, jumping over the iteration counts where the loop looks at the flag.
    const std::int64_t limit = 1'000'000;
    const Reference reference = MandelbrotReference("-0.1", "0", "1e-20", 1, limit);
    const deep::PerturbationOrbits orbits{reference.points, reference.points};
    const BlaTable<double> table(reference.points, 1e-20);
    const deep::PerturbationBla<double> bla{&table, &table};
    const Complex<double> deltaC{1e-20, 0.0};
    deep::PerturbationStats stats;
    EXPECT_EQ(deep::PerturbedCount<double>(orbits, {}, deltaC, limit, nullptr, bla, &stats), limit);
    EXPECT_GT(stats.skippedIterations, limit / 2);
    const std::atomic<bool> stop{true};
    EXPECT_LT(deep::PerturbedCount<double>(orbits, {}, deltaC, limit, &stop, bla), limit);
}

TEST(PixelLoopTest, LanesCountEveryPixelAsTheLoopAlone) {
    using namespace deep_test;
    struct LoopRow {
        const char* name;
        Reference main;
        Reference rebase; // empty: the Mandelbrot set
        FloatExp radius;  // of the view, roughly; the pixels' offsets are fractions of it
        bool extended;    // offsets below the double range
        std::int64_t iterations;
    };
    const LoopRow rows[] = {
        {"5e113 location",
         MandelbrotReference(kLocation5e113Re, kLocation5e113Im, kLocation5e113Radius, 12,
                             kLocation5e113Iterations),
         {},
         FloatExp(4e-114),
         false,
         kLocation5e113Iterations},
        {"c = i at 2^-3322",
         MandelbrotReference("0", "1", "1e-1000", 12, 4000),
         {},
         FloatExp(1.0).ldexp(-3322),
         true,
         4000},
        {"Julia set of -0.75+0.1i", OrbitOf("-0.75", "0.1", "0", "0", "1.2", 12, 2000),
         OrbitOf("-0.75", "0.1", "0", "0", "1.2", 12, 2000), FloatExp(1.2), false, 2000},
    };
    const int size = 12;
    for (const LoopRow& row : rows) {
        SCOPED_TRACE(row.name);
        const bool julia = !row.rebase.points.empty();
        const deep::PixelLoop loop(row.main.points, row.rebase.points,
                                   julia ? FloatExp(0.0) : row.radius * FloatExp(1.5), row.extended);
        std::vector<FloatExp> columns;
        for (int x = 0; x < size; ++x) {
            columns.push_back(row.radius * FloatExp(static_cast<double>(2 * x - size) / size));
        }
        std::vector<std::uint32_t> counts(size * size, 0xffffffffU);
        struct Rows final : deep::RowSource {
            const std::vector<FloatExp>* columns;
            FloatExp radius;
            std::uint32_t* counts;
            int y = 0;
            bool next(deep::PixelRow& r) override {
                if (y == size) {
                    return false;
                }
                r = {columns->data(), radius * FloatExp(static_cast<double>(size - 2 * y) / size), size,
                     counts + y * size};
                ++y;
                return true;
            }
        } source;
        source.columns = &columns;
        source.radius = row.radius;
        source.counts = counts.data();
        loop.countRows(source, julia, row.iterations, nullptr);
        std::set<std::uint32_t> distinct;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const Complex<FloatExp> offset{
                    columns[x], row.radius * FloatExp(static_cast<double>(size - 2 * y) / size)};
                const Complex<FloatExp> zero{FloatExp(0.0), FloatExp(0.0)};
                const std::int64_t alone = julia ? loop.count(offset, zero, row.iterations, nullptr)
                                                 : loop.count(zero, offset, row.iterations, nullptr);
                EXPECT_EQ(counts[y * size + x], alone) << "pixel " << x << "," << y;
                distinct.insert(counts[y * size + x]);
            }
        }
        EXPECT_GT(distinct.size(), 3U); // not a flat picture, where any loop would agree
    }
}

} // namespace
