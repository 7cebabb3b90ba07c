#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include <mpfr.h>

namespace deep {

/// One orbit value rounded to the nearest double. Values below about 1e-308 lose precision
/// (subnormals) or become 0; a perturbation step that needs them must rebase there.
struct OrbitPoint {
    double re = 0.0;
    double im = 0.0;
};

/// The stop flag is read and progress is reported once every this many iterations up to
/// kOrbitCheckBits of precision, and proportionally less often above that (see
/// OrbitCheckInterval()), so a Ctrl+C ends an orbit within a tenth of a second at any depth.
inline constexpr std::int64_t kOrbitCheckInterval = 4096;
inline constexpr mpfr_prec_t kOrbitCheckBits = 4096;

/// The iterations between two looks at the stop flag at `precision` bits: kOrbitCheckInterval
/// scaled by kOrbitCheckBits / precision, at least 1. An iteration costs a little more than
/// linear time in the precision, so the time between looks stays between about 10 and 100 ms
/// (50 iterations of about 1 ms at 332,000 bits).
[[nodiscard]] constexpr std::int64_t OrbitCheckInterval(mpfr_prec_t precision) {
    if (precision <= kOrbitCheckBits) {
        return kOrbitCheckInterval;
    }
    const std::int64_t scaled = kOrbitCheckInterval * kOrbitCheckBits / precision;
    return scaled < 1 ? 1 : scaled;
}

/// From this precision on the two products of an iteration run on two threads: below it a
/// product takes less than about 0.1 ms, and handing it over would cost a noticeable share.
inline constexpr mpfr_prec_t kOrbitTwoThreadBits = 65536;

/// What to iterate: Z_0 = z0, Z_{n+1} = Z_n² + c. For the Mandelbrot set z0 is 0 and c the
/// reference pixel's number; for a Julia set z0 is the pixel's number and c the constant. The
/// MPFR values are only read (and rounded to `precision` if they have more bits).
struct OrbitRequest {
    mpfr_srcptr cRe = nullptr;
    mpfr_srcptr cIm = nullptr;
    mpfr_srcptr z0Re = nullptr;
    mpfr_srcptr z0Im = nullptr;
    std::int64_t maxIterations = 0; // N ≥ 0
    mpfr_prec_t precision = 0;      // bits of Z, e.g. from ViewPrecision()
    const std::atomic<bool>* stop = nullptr;
    /// Called on the computing thread with the iterations done so far, every
    /// OrbitCheckInterval(precision) iterations; may be empty.
    std::function<void(std::int64_t iterationsDone)> progress;
};

enum class OrbitEnd {
    Escaped,      // |Z_count| > 256
    ReachedLimit, // count == maxIterations without escape
    Stopped,      // the stop flag was set; count is where the loop stood
};

/// The reference orbit and the escape-time count of its own point.
///
/// The loop is the renderer's: n = 0, Z = z0; stop when |Z| > 256 (strictly, decided exactly
/// for the rounded Z), else stop when n reaches N, else Z ← Z² + c and n ← n + 1. `count` is
/// that n, and `points` holds Z_0 … Z_count (count + 1 values; the last is the escaped one when
/// the orbit escaped), so a perturbation loop can run any pixel up to `count` steps against it.
struct ReferenceOrbit {
    std::vector<OrbitPoint> points;
    std::int64_t count = 0;
    OrbitEnd end = OrbitEnd::ReachedLimit;
};

/// Iterates in MPFR at the request's precision; each step takes re² − im² as (re + im)·(re − im)
/// and 2·re·im from one product, so an iteration costs two multiplications, which run on two
/// threads from kOrbitTwoThreadBits on (about 1.1 ms per iteration at 332,000 bits). The
/// result is Z to the precision's last few bits: re + im and re − im are exact where they
/// cancel (Sterbenz) and rounded once otherwise, the products are exact, and the sum with c is
/// rounded once. Memory is 16 bytes per iteration done (1.6 GB at 10^8), grown as needed
/// rather than reserved for N.
[[nodiscard]] ReferenceOrbit ComputeReferenceOrbit(const OrbitRequest& request);

} // namespace deep
