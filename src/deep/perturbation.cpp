#include "perturbation.h"

#include <limits>

namespace deep {

template <typename T>
PixelState<T> Perturb(const PerturbationOrbits& orbits, PixelState<T> state, Complex<T> deltaC,
                      std::int64_t maxIterations, const std::atomic<bool>* stop,
                      const PerturbationBla<T>& bla, T handOverNorm, PerturbationStats* stats) {
    const T escapeNorm(65536.0); // |z| > 256
    std::span<const OrbitPoint> orbit = state.onRebase ? orbits.rebase : orbits.main;
    const BlaTable<T>* table = state.onRebase ? bla.rebase : bla.main;
    std::size_t last = orbit.size() - 1;
    bool onRebase = state.onRebase;
    std::size_t m = state.m;
    std::int64_t n = state.n;
    std::int64_t nextStopCheck = (n / kPixelStopInterval + 1) * kPixelStopInterval;
    Complex<T> delta = state.delta;
    const std::int64_t firstN = n;
    const auto finish = [&](bool finished) {
        if (stats != nullptr) {
            stats->iterations += n - firstN;
        }
        return PixelState<T>{onRebase, m, n, delta, finished};
    };
    for (;;) {
        const Complex<T> z{T(orbit[m].re) + delta.re, T(orbit[m].im) + delta.im};
        const T zNorm = z.norm();
        if (zNorm > escapeNorm || n == maxIterations) {
            return finish(true);
        }
        if (n >= nextStopCheck) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return finish(true);
            }
            nextStopCheck += kPixelStopInterval;
        }
        // Once the pixel is nearer 0 than the reference, the difference carries more of z than
        // the reference does and its rounding errors would grow with it; restarting from the
        // orbit of 0 with the whole z as the difference keeps it small. The same restart lets
        // a pixel go on after the reference escaped or ended. The rebase orbit starts at
        // exactly 0, so there z equals the difference and the test cannot fire again.
        const T deltaNorm = delta.norm();
        if (!(deltaNorm < handOverNorm)) {
            return finish(false);
        }
        if (m == last || zNorm < deltaNorm) {
            orbit = orbits.rebase;
            onRebase = true;
            table = bla.rebase;
            last = orbit.size() - 1;
            m = 0;
            delta = z;
        } else if (table != nullptr) {
            // A run's radius keeps |δ| a small share of |Z| at each of its steps, so none of them
            // would rebase (|z| ≥ |Z| − |δ| > |δ|) or escape (the table has no runs across
            // |Z| near 256); runs end at the reference's last point at the latest, and the
            // length bound keeps n ≤ N. The loop checks the point a run lands on as any other.
            std::int64_t length = 0;
            if (const BlaStep<T>* run = table->find(m, deltaNorm, maxIterations - n, length)) {
                delta = run->a * delta + run->b * deltaC;
                m += static_cast<std::size_t>(length);
                n += length;
                if (stats != nullptr) {
                    ++stats->skips;
                    stats->skippedIterations += length;
                }
                continue;
            }
        }
        const Complex<double> reference{orbit[m].re, orbit[m].im};
        delta = PerturbStep(reference, delta, deltaC);
        ++m;
        ++n;
    }
}

template <typename T>
std::int64_t PerturbedCount(const PerturbationOrbits& orbits, Complex<T> delta0, Complex<T> deltaC,
                            std::int64_t maxIterations, const std::atomic<bool>* stop,
                            const PerturbationBla<T>& bla, PerturbationStats* stats) {
    PixelState<T> start;
    start.delta = delta0;
    return Perturb<T>(orbits, start, deltaC, maxIterations, stop, bla,
                      T(std::numeric_limits<double>::infinity()), stats)
        .n;
}

template PixelState<FloatExp> Perturb<FloatExp>(const PerturbationOrbits&, PixelState<FloatExp>,
                                                Complex<FloatExp>, std::int64_t, const std::atomic<bool>*,
                                                const PerturbationBla<FloatExp>&, FloatExp,
                                                PerturbationStats*);
template std::int64_t PerturbedCount<double>(const PerturbationOrbits&, Complex<double>, Complex<double>,
                                             std::int64_t, const std::atomic<bool>*,
                                             const PerturbationBla<double>&, PerturbationStats*);
template std::int64_t PerturbedCount<FloatExp>(const PerturbationOrbits&, Complex<FloatExp>,
                                               Complex<FloatExp>, std::int64_t, const std::atomic<bool>*,
                                               const PerturbationBla<FloatExp>&, PerturbationStats*);

} // namespace deep
