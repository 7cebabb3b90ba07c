#pragma once

// The per-pixel loop of a deep view: the pixel's orbit is followed as its difference from a
// reference orbit held in doubles, so only the reference needs high precision.

#include <atomic>
#include <cstdint>
#include <span>

#include "float_exp.h"
#include "reference_orbit.h"

namespace deep {

/// What a pixel is counted against. `main` starts at the view's reference point; `rebase`
/// starts at 0 (the critical point), where a pixel continues whenever it comes closer to 0 than
/// to the reference orbit or outruns it. For the Mandelbrot set both are the same orbit (it
/// starts at 0); for a Julia set `rebase` is the orbit of 0 under the Julia constant.
struct PerturbationOrbits {
    std::span<const OrbitPoint> main;   // Z_0 … Z_count, at least one point
    std::span<const OrbitPoint> rebase; // W_0 = 0, W_1 … ; at least two points
};

/// The count of one pixel: the loop n = 0, z = z0; stop when |z| > 256, else stop when n
/// reaches N, else z ← z² + c and n ← n + 1; with z = Z_m + δ, starting from m = 0 and
/// δ = `delta0` (z0 minus the main orbit's start) and c minus the reference's c = `deltaC`.
/// T is double, or FloatExp for differences below the double range. `stop` is read every
/// kPixelStopInterval iterations; a stopped pixel returns the n it reached.
template <typename T>
[[nodiscard]] std::int64_t PerturbedCount(const PerturbationOrbits& orbits, Complex<T> delta0,
                                          Complex<T> deltaC, std::int64_t maxIterations,
                                          const std::atomic<bool>* stop);

/// How often a single pixel's loop looks at the stop flag, in iterations.
inline constexpr std::int64_t kPixelStopInterval = std::int64_t{1} << 16;

extern template std::int64_t PerturbedCount<double>(const PerturbationOrbits&, Complex<double>,
                                                    Complex<double>, std::int64_t, const std::atomic<bool>*);
extern template std::int64_t PerturbedCount<FloatExp>(const PerturbationOrbits&, Complex<FloatExp>,
                                                      Complex<FloatExp>, std::int64_t,
                                                      const std::atomic<bool>*);

} // namespace deep
