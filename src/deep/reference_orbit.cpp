#include "reference_orbit.h"

#include <cassert>

namespace deep {

namespace {

/// The numbers one iteration needs, allocated once per orbit: MPFR's allocation would otherwise
/// cost as much as the arithmetic at a few hundred bits.
struct Workspace {
    mpfr_t re, im;   // Z, at the orbit's precision
    mpfr_t cRe, cIm; // c, rounded to the orbit's precision
    mpfr_t squareRe; // re², exact (twice the precision)
    mpfr_t squareIm; // im², exact
    mpfr_t norm;     // re² + im² rounded down, only compared with 65536
    mpfr_t product;  // re·im

    explicit Workspace(mpfr_prec_t bits) {
        mpfr_inits2(bits, re, im, cRe, cIm, product, static_cast<mpfr_ptr>(nullptr));
        mpfr_inits2(2 * bits, squareRe, squareIm, static_cast<mpfr_ptr>(nullptr));
        mpfr_init2(norm, 64);
    }
    ~Workspace() {
        mpfr_clears(re, im, cRe, cIm, product, squareRe, squareIm, norm, static_cast<mpfr_ptr>(nullptr));
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
};

/// |Z|² > 256², decided exactly from the exact squares: the sum rounded down exceeds 65536 only
/// if the true sum does, and a sum rounded down to exactly 65536 exceeds it when rounding
/// dropped something. A rounded-down sum below 65536 means the true sum is too, since 65536 is
/// representable.
bool escaped(Workspace& w) {
    const int inexact = mpfr_add(w.norm, w.squareRe, w.squareIm, MPFR_RNDD);
    const int order = mpfr_cmp_ui(w.norm, 65536);
    return order > 0 || (order == 0 && inexact != 0);
}

} // namespace

ReferenceOrbit ComputeReferenceOrbit(const OrbitRequest& request) {
    assert(request.cRe && request.cIm && request.z0Re && request.z0Im && "the orbit needs c and z0");
    assert(request.maxIterations >= 0);
    assert(request.precision >= MPFR_PREC_MIN && 2 * request.precision <= MPFR_PREC_MAX);

    Workspace w(request.precision);
    mpfr_set(w.re, request.z0Re, MPFR_RNDN);
    mpfr_set(w.im, request.z0Im, MPFR_RNDN);
    mpfr_set(w.cRe, request.cRe, MPFR_RNDN);
    mpfr_set(w.cIm, request.cIm, MPFR_RNDN);

    ReferenceOrbit orbit;
    std::int64_t n = 0;
    for (;;) {
        orbit.points.push_back({mpfr_get_d(w.re, MPFR_RNDN), mpfr_get_d(w.im, MPFR_RNDN)});
        mpfr_sqr(w.squareRe, w.re, MPFR_RNDN); // exact at twice the precision
        mpfr_sqr(w.squareIm, w.im, MPFR_RNDN);
        if (escaped(w)) {
            orbit.end = OrbitEnd::Escaped;
            break;
        }
        if (n == request.maxIterations) {
            orbit.end = OrbitEnd::ReachedLimit;
            break;
        }
        if (n % kOrbitCheckInterval == 0 && n > 0) {
            if (request.stop != nullptr && request.stop->load(std::memory_order_relaxed)) {
                orbit.end = OrbitEnd::Stopped;
                break;
            }
            if (request.progress) {
                request.progress(n);
            }
        }
        // (re + i·im)² + c = (re² − im² + cRe) + i·(2·re·im + cIm); im first, it still needs re.
        mpfr_mul(w.product, w.re, w.im, MPFR_RNDN);
        mpfr_mul_2ui(w.product, w.product, 1, MPFR_RNDN);
        mpfr_add(w.im, w.product, w.cIm, MPFR_RNDN);
        mpfr_sub(w.re, w.squareRe, w.squareIm, MPFR_RNDN);
        mpfr_add(w.re, w.re, w.cRe, MPFR_RNDN);
        ++n;
    }
    orbit.count = n;
    return orbit;
}

} // namespace deep
