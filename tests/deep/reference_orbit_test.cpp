#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <mpfr.h>

#include "decimal_mpfr.h"
#include "deep_locations.h"
#include "ground_truth.h"
#include "precision.h"
#include "reference_orbit.h"

using deep_test::DeepViewText;

namespace {

/// c, z0 and the precision of one pixel of a view, held for the orbit request.
struct PixelStart {
    mpfr_t cRe, cIm, z0Re, z0Im;
    mpfr_prec_t bits = 0;

    PixelStart(const DeepViewText& view, std::int64_t x, std::int64_t y) {
        const auto re = deep::ParseExactDecimal(view.centreRe).value();
        const auto im = deep::ParseExactDecimal(view.centreIm).value();
        const auto radius = deep::ParseExactDecimal(view.radius).value();
        bits = deep::ViewPrecision(re, im, radius, view.height);
        mpfr_inits2(bits, cRe, cIm, z0Re, z0Im, static_cast<mpfr_ptr>(nullptr));
        mpfr_ptr pixelRe = view.julia ? z0Re : cRe;
        mpfr_ptr pixelIm = view.julia ? z0Im : cIm;
        deep::PixelReal(re, radius, x, view.width, view.height, pixelRe, MPFR_RNDN);
        deep::PixelImag(im, radius, y, view.height, pixelIm, MPFR_RNDN);
        if (view.julia) {
            deep::ToMpfr(deep::ParseExactDecimal(view.juliaRe).value(), cRe, MPFR_RNDN);
            deep::ToMpfr(deep::ParseExactDecimal(view.juliaIm).value(), cIm, MPFR_RNDN);
        } else {
            mpfr_set_zero(z0Re, 1);
            mpfr_set_zero(z0Im, 1);
        }
    }
    ~PixelStart() { mpfr_clears(cRe, cIm, z0Re, z0Im, static_cast<mpfr_ptr>(nullptr)); }
    PixelStart(const PixelStart&) = delete;
    PixelStart& operator=(const PixelStart&) = delete;

    [[nodiscard]] deep::OrbitRequest request(std::int64_t maxIterations) const {
        deep::OrbitRequest r;
        r.cRe = cRe;
        r.cIm = cIm;
        r.z0Re = z0Re;
        r.z0Im = z0Im;
        r.maxIterations = maxIterations;
        r.precision = bits;
        return r;
    }
};

DeepViewText mandelbrot(const char* re, const char* im, const char* radius, std::int64_t width,
                        std::int64_t height, std::int64_t maxIterations) {
    DeepViewText view;
    view.centreRe = re;
    view.centreIm = im;
    view.radius = radius;
    view.width = width;
    view.height = height;
    view.maxIterations = maxIterations;
    return view;
}

struct OrbitRow {
    const char* name;
    DeepViewText view;
    std::int64_t x;
    std::int64_t y;
};

} // namespace

TEST(ReferenceOrbitTest, CountsAsThePlainLoop) {
    const OrbitRow rows[] = {
        {"1e14 centre",
         mandelbrot(deep_test::kLocation1e14Re, deep_test::kLocation1e14Im, deep_test::kLocation1e14Radius,
                    640, 480, deep_test::kLocation1e14Iterations),
         320, 240},
        {"1e14 corner",
         mandelbrot(deep_test::kLocation1e14Re, deep_test::kLocation1e14Im, deep_test::kLocation1e14Radius,
                    640, 480, deep_test::kLocation1e14Iterations),
         0, 0},
        {"5e113 centre",
         mandelbrot(deep_test::kLocation5e113Re, deep_test::kLocation5e113Im, deep_test::kLocation5e113Radius,
                    64, 48, deep_test::kLocation5e113Iterations),
         32, 24},
        {"inside the set", mandelbrot("-0.1", "0.1", "1e-30", 64, 48, 5000), 32, 24},
        {"quick escape", mandelbrot("1", "1", "1e-3", 64, 48, 100), 32, 24},
        {"deep Julia", {"0.1", "-0.2", "3e-25", 64, 48, 3000, true, "-0.8", "0.156"}, 5, 40},
        // Past kOrbitTwoThreadBits: re·im comes from the second thread.
        {"two threads", mandelbrot("-0.75", "0.01", "1e-20000", 64, 48, 1000), 0, 0},
    };
    for (const OrbitRow& row : rows) {
        SCOPED_TRACE(row.name);
        const deep_test::PlainOrbit truth = deep_test::GroundTruth(row.view, row.x, row.y);
        const PixelStart start(row.view, row.x, row.y);
        const deep::ReferenceOrbit orbit = deep::ComputeReferenceOrbit(start.request(row.view.maxIterations));
        EXPECT_EQ(orbit.count, truth.count);
        EXPECT_EQ(orbit.end, truth.count < row.view.maxIterations ? deep::OrbitEnd::Escaped
                                                                  : deep::OrbitEnd::ReachedLimit);
        ASSERT_EQ(orbit.points.size(), static_cast<std::size_t>(orbit.count) + 1);
        ASSERT_EQ(truth.points.size(), orbit.points.size());
        for (std::size_t n = 0; n < orbit.points.size(); ++n) {
            const double scale = std::max(1.0, std::hypot(truth.points[n].re, truth.points[n].im));
            ASSERT_NEAR(orbit.points[n].re, truth.points[n].re, 1e-12 * scale) << "Z_" << n;
            ASSERT_NEAR(orbit.points[n].im, truth.points[n].im, 1e-12 * scale) << "Z_" << n;
        }
    }
}

TEST(ReferenceOrbitTest, EscapeNeedsMoreThan256) {
    // Julia orbits with c = 0 starting on the circle |z| = 256 or just beyond it. An imaginary
    // part of 2^-100 puts |z|² only 2^-200 above 65536, which a rounded sum of squares loses.
    struct Row {
        const char* name;
        double re;
        double im;
        long imExponent; // im · 2^imExponent
        std::int64_t count;
    };
    const Row rows[] = {
        {"on the circle", 256.0, 0.0, 0, 1},
        {"on the circle upwards", 0.0, -256.0, 0, 1},
        {"just outside", 256.0, 1.0, -100, 0},
        {"just inside", 255.99999999999997, 0.0, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mpfr_t zero, re, im;
        mpfr_inits2(300, zero, re, im, static_cast<mpfr_ptr>(nullptr));
        mpfr_set_zero(zero, 1);
        mpfr_set_d(re, row.re, MPFR_RNDN);
        mpfr_set_d(im, row.im, MPFR_RNDN);
        mpfr_mul_2si(im, im, row.imExponent, MPFR_RNDN);
        deep::OrbitRequest request;
        request.cRe = zero;
        request.cIm = zero;
        request.z0Re = re;
        request.z0Im = im;
        request.maxIterations = 10;
        request.precision = 300;
        const deep::ReferenceOrbit orbit = deep::ComputeReferenceOrbit(request);
        EXPECT_EQ(orbit.count, row.count);
        EXPECT_EQ(orbit.end, deep::OrbitEnd::Escaped);
        mpfr_clears(zero, re, im, static_cast<mpfr_ptr>(nullptr));
    }
}

TEST(ReferenceOrbitTest, StopFlagEndsTheOrbit) {
    // At about 100 bits the flag is read every kOrbitCheckInterval iterations; at 70,000 bits
    // (two threads) an iteration costs a thousand times more, and it is read that much more often.
    for (const char* radius : {"1e-30", "1e-21000"}) {
        SCOPED_TRACE(radius);
        const DeepViewText inside = mandelbrot("-0.1", "0.1", radius, 64, 48, 100'000'000);
        const PixelStart start(inside, 32, 24);
        const std::int64_t interval = deep::OrbitCheckInterval(start.bits);
        EXPECT_EQ(interval, start.bits <= deep::kOrbitCheckBits
                                ? deep::kOrbitCheckInterval
                                : deep::kOrbitCheckInterval * deep::kOrbitCheckBits / start.bits);

        std::atomic<bool> stop{true};
        deep::OrbitRequest request = start.request(inside.maxIterations);
        request.stop = &stop;
        const deep::ReferenceOrbit stopped = deep::ComputeReferenceOrbit(request);
        EXPECT_EQ(stopped.end, deep::OrbitEnd::Stopped);
        EXPECT_EQ(stopped.count, interval);
        EXPECT_EQ(stopped.points.size(), static_cast<std::size_t>(stopped.count) + 1);

        // Progress reports come as the orbit goes; one that asks for the stop ends it at the next check.
        stop = false;
        std::vector<std::int64_t> reports;
        request.progress = [&](std::int64_t done) {
            reports.push_back(done);
            if (reports.size() == 3) {
                stop = true;
            }
        };
        const deep::ReferenceOrbit interrupted = deep::ComputeReferenceOrbit(request);
        EXPECT_EQ(interrupted.end, deep::OrbitEnd::Stopped);
        EXPECT_EQ(interrupted.count, 4 * interval);
        EXPECT_EQ(reports, (std::vector<std::int64_t>{interval, 2 * interval, 3 * interval}));
    }
}
