#include "perturbation.h"

namespace deep {

template <typename T>
std::int64_t PerturbedCount(const PerturbationOrbits& orbits, Complex<T> delta0, Complex<T> deltaC,
                            std::int64_t maxIterations, const std::atomic<bool>* stop) {
    const T escapeNorm(65536.0); // |z| > 256
    std::span<const OrbitPoint> orbit = orbits.main;
    std::size_t last = orbit.size() - 1;
    std::size_t m = 0;
    std::int64_t n = 0;
    std::int64_t nextStopCheck = kPixelStopInterval;
    Complex<T> delta = delta0;
    for (;;) {
        const Complex<T> z{T(orbit[m].re) + delta.re, T(orbit[m].im) + delta.im};
        const T zNorm = z.norm();
        if (zNorm > escapeNorm || n == maxIterations) {
            return n;
        }
        if (n == nextStopCheck) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return n;
            }
            nextStopCheck += kPixelStopInterval;
        }
        // Once the pixel is nearer 0 than the reference, the difference carries more of z than
        // the reference does and its rounding errors would grow with it; restarting from the
        // orbit of 0 with the whole z as the difference keeps it small. The same restart lets
        // a pixel go on after the reference escaped or ended. The rebase orbit starts at
        // exactly 0, so there z equals the difference and the test cannot fire again.
        if (m == last || zNorm < delta.norm()) {
            orbit = orbits.rebase;
            last = orbit.size() - 1;
            m = 0;
            delta = z;
        }
        const Complex<double> reference{orbit[m].re, orbit[m].im};
        delta = PerturbStep(reference, delta, deltaC);
        ++m;
        ++n;
    }
}

template std::int64_t PerturbedCount<double>(const PerturbationOrbits&, Complex<double>, Complex<double>,
                                             std::int64_t, const std::atomic<bool>*);
template std::int64_t PerturbedCount<FloatExp>(const PerturbationOrbits&, Complex<FloatExp>,
                                               Complex<FloatExp>, std::int64_t, const std::atomic<bool>*);

} // namespace deep
