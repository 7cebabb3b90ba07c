#include "perturbation.h"

namespace deep {

template <typename T>
std::int64_t PerturbedCount(const PerturbationOrbits& orbits, Complex<T> delta0, Complex<T> deltaC,
                            std::int64_t maxIterations, const std::atomic<bool>* stop,
                            const PerturbationBla<T>& bla, PerturbationStats* stats) {
    const T escapeNorm(65536.0); // |z| > 256
    std::span<const OrbitPoint> orbit = orbits.main;
    const BlaTable<T>* table = bla.main;
    std::size_t last = orbit.size() - 1;
    std::size_t m = 0;
    std::int64_t n = 0;
    std::int64_t nextStopCheck = kPixelStopInterval;
    Complex<T> delta = delta0;
    const auto finish = [&] {
        if (stats != nullptr) {
            stats->iterations += n;
        }
        return n;
    };
    for (;;) {
        const Complex<T> z{T(orbit[m].re) + delta.re, T(orbit[m].im) + delta.im};
        const T zNorm = z.norm();
        if (zNorm > escapeNorm || n == maxIterations) {
            return finish();
        }
        if (n >= nextStopCheck) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return finish();
            }
            nextStopCheck += kPixelStopInterval;
        }
        // Once the pixel is nearer 0 than the reference, the difference carries more of z than
        // the reference does and its rounding errors would grow with it; restarting from the
        // orbit of 0 with the whole z as the difference keeps it small. The same restart lets
        // a pixel go on after the reference escaped or ended. The rebase orbit starts at
        // exactly 0, so there z equals the difference and the test cannot fire again.
        const T deltaNorm = delta.norm();
        if (m == last || zNorm < deltaNorm) {
            orbit = orbits.rebase;
            table = bla.rebase;
            last = orbit.size() - 1;
            m = 0;
            delta = z;
        } else if (table != nullptr) {
            // A run's radius keeps |δ| below 2^-54 |Z| at each of its steps, so none of them
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

template std::int64_t PerturbedCount<double>(const PerturbationOrbits&, Complex<double>, Complex<double>,
                                             std::int64_t, const std::atomic<bool>*,
                                             const PerturbationBla<double>&, PerturbationStats*);
template std::int64_t PerturbedCount<FloatExp>(const PerturbationOrbits&, Complex<FloatExp>,
                                               Complex<FloatExp>, std::int64_t, const std::atomic<bool>*,
                                               const PerturbationBla<FloatExp>&, PerturbationStats*);

} // namespace deep
