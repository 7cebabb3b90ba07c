#pragma once

// The per-pixel loop of a deep view: the pixel's orbit is followed as its difference from a
// reference orbit held in doubles, so only the reference needs high precision.

#include <atomic>
#include <cstdint>
#include <span>

#include "bla_table.h"
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

/// The linear-run tables of the two orbits, both built with a bound on |δc| that covers the
/// pixel. Without them (nullptr) every iteration is a perturbation step.
template <typename T> struct PerturbationBla {
    const BlaTable<T>* main = nullptr;
    const BlaTable<T>* rebase = nullptr;
};

/// What a pixel's loop did, added up over the pixels it is passed to.
struct PerturbationStats {
    std::int64_t iterations = 0;        // the counts, summed
    std::int64_t skips = 0;             // linear runs taken
    std::int64_t skippedIterations = 0; // iterations done by those runs rather than step by step
};

/// The count of one pixel: the loop n = 0, z = z0; stop when |z| > 256, else stop when n
/// reaches N, else z ← z² + c and n ← n + 1; with z = Z_m + δ, starting from m = 0 and
/// δ = `delta0` (z0 minus the main orbit's start) and c minus the reference's c = `deltaC`.
/// T is double, or FloatExp for differences below the double range. `stop` is read every
/// kPixelStopInterval iterations or more; a stopped pixel returns the n it reached. With `bla`,
/// runs of linear steps are taken in one jump where the difference is small enough; they never
/// pass the reference's end, the limit N or a point near escape, so the count stays that of
/// the loop.
template <typename T>
[[nodiscard]] std::int64_t PerturbedCount(const PerturbationOrbits& orbits, Complex<T> delta0,
                                          Complex<T> deltaC, std::int64_t maxIterations,
                                          const std::atomic<bool>* stop, const PerturbationBla<T>& bla = {},
                                          PerturbationStats* stats = nullptr);

/// How often a single pixel's loop looks at the stop flag, in iterations.
inline constexpr std::int64_t kPixelStopInterval = std::int64_t{1} << 16;

/// Where a pixel's loop stands: on the main orbit or the rebase orbit, at point m, after n
/// iterations, with difference `delta`; `finished` once n is its count (or the stop flag ended it).
template <typename T> struct PixelState {
    bool onRebase = false;
    std::size_t m = 0;
    std::int64_t n = 0;
    Complex<T> delta;
    bool finished = false;
};

/// PerturbedCount's loop from `state` on, which also returns, unfinished, as soon as |δ|²
/// reaches `handOverNorm`: the point from which a faster number type can carry the difference.
template <typename T>
[[nodiscard]] PixelState<T> Perturb(const PerturbationOrbits& orbits, PixelState<T> state, Complex<T> deltaC,
                                    std::int64_t maxIterations, const std::atomic<bool>* stop,
                                    const PerturbationBla<T>& bla, T handOverNorm,
                                    PerturbationStats* stats = nullptr);

extern template PixelState<FloatExp>
Perturb<FloatExp>(const PerturbationOrbits&, PixelState<FloatExp>, Complex<FloatExp>, std::int64_t,
                  const std::atomic<bool>*, const PerturbationBla<FloatExp>&, FloatExp, PerturbationStats*);
extern template std::int64_t PerturbedCount<double>(const PerturbationOrbits&, Complex<double>,
                                                    Complex<double>, std::int64_t, const std::atomic<bool>*,
                                                    const PerturbationBla<double>&, PerturbationStats*);
extern template std::int64_t PerturbedCount<FloatExp>(const PerturbationOrbits&, Complex<FloatExp>,
                                                      Complex<FloatExp>, std::int64_t,
                                                      const std::atomic<bool>*,
                                                      const PerturbationBla<FloatExp>&, PerturbationStats*);

} // namespace deep
