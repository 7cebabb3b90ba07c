#include "ground_truth.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace deep_test {

namespace {

struct Real {
    mpfr_t x;
    explicit Real(mpfr_prec_t bits) { mpfr_init2(x, bits); }
    Real(mpfr_prec_t bits, const std::string& text) {
        mpfr_init2(x, bits);
        EXPECT_EQ(mpfr_set_str(x, text.c_str(), 10, MPFR_RNDN), 0) << text;
    }
    ~Real() { mpfr_clear(x); }
    Real(const Real&) = delete;
    Real& operator=(const Real&) = delete;
};

/// centre + radius·steps/height with a rounding per operation, which the extra bits absorb.
void pixelCoordinate(mpfr_t out, const std::string& centre, const std::string& radius, std::int64_t steps,
                     std::int64_t height, mpfr_prec_t bits) {
    Real c(bits, centre);
    Real r(bits, radius);
    mpfr_mul_si(r.x, r.x, static_cast<long>(steps), MPFR_RNDN);
    mpfr_div_si(r.x, r.x, static_cast<long>(height), MPFR_RNDN);
    mpfr_add(out, c.x, r.x, MPFR_RNDN);
}

} // namespace

PlainOrbit PlainCount(const DeepViewText& view, std::int64_t x, std::int64_t y, mpfr_prec_t bits) {
    Real pixelRe(bits), pixelIm(bits);
    pixelCoordinate(pixelRe.x, view.centreRe, view.radius, 2 * x - view.width, view.height, bits + 64);
    pixelCoordinate(pixelIm.x, view.centreIm, view.radius, view.height - 2 * y, view.height, bits + 64);
    Real zRe(bits), zIm(bits), cRe(bits), cIm(bits);
    if (view.julia) {
        mpfr_set(zRe.x, pixelRe.x, MPFR_RNDN);
        mpfr_set(zIm.x, pixelIm.x, MPFR_RNDN);
        Real constantRe(bits, view.juliaRe), constantIm(bits, view.juliaIm);
        mpfr_set(cRe.x, constantRe.x, MPFR_RNDN);
        mpfr_set(cIm.x, constantIm.x, MPFR_RNDN);
    } else {
        mpfr_set_zero(zRe.x, 1);
        mpfr_set_zero(zIm.x, 1);
        mpfr_set(cRe.x, pixelRe.x, MPFR_RNDN);
        mpfr_set(cIm.x, pixelIm.x, MPFR_RNDN);
    }
    Real a(bits), b(bits), norm(bits), next(bits);
    PlainOrbit orbit;
    std::int64_t n = 0;
    for (;;) {
        orbit.points.push_back({mpfr_get_d(zRe.x, MPFR_RNDN), mpfr_get_d(zIm.x, MPFR_RNDN)});
        mpfr_mul(a.x, zRe.x, zRe.x, MPFR_RNDN);
        mpfr_mul(b.x, zIm.x, zIm.x, MPFR_RNDN);
        mpfr_add(norm.x, a.x, b.x, MPFR_RNDN);
        if (mpfr_cmp_ui(norm.x, 65536) > 0 || n == view.maxIterations) {
            break;
        }
        mpfr_sub(next.x, a.x, b.x, MPFR_RNDN);
        mpfr_add(next.x, next.x, cRe.x, MPFR_RNDN);
        mpfr_mul(zIm.x, zIm.x, zRe.x, MPFR_RNDN);
        mpfr_mul_ui(zIm.x, zIm.x, 2, MPFR_RNDN);
        mpfr_add(zIm.x, zIm.x, cIm.x, MPFR_RNDN);
        mpfr_set(zRe.x, next.x, MPFR_RNDN);
        ++n;
    }
    orbit.count = n;
    return orbit;
}

PlainOrbit GroundTruth(const DeepViewText& view, std::int64_t x, std::int64_t y) {
    // Four bits a decade of depth (more than log2 10), the picture's size twice over and 192 bits
    // to spare, independent of the library's own precision rule.
    Real radius(64, view.radius);
    const long depth = std::max<long>(0, -mpfr_get_exp(radius.x) / 3) + 2;
    const auto bits = static_cast<mpfr_prec_t>(4 * depth + 2 * 64 + 192);
    PlainOrbit first = PlainCount(view, x, y, bits);
    const PlainOrbit second = PlainCount(view, x, y, 2 * bits);
    EXPECT_EQ(first.count, second.count) << "rounding decided the count of pixel " << x << "," << y;
    return first;
}

} // namespace deep_test
