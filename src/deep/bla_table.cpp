#include "bla_table.h"

#include <algorithm>
#include <cmath>

namespace deep {

namespace {

/// The radius of one linear step, as a share of |Z_m|. The loop forms (2 Z_m + δ) δ + δc; with
/// |δ| < ε|Z_m| the dropped δ² is below ε/2 of |2 Z_m δ|. At ε = 2^-53 that is a quarter of the
/// linear term's last place, and δ itself is then below the last place of 2 Z_m, so the
/// loop's own sum 2 Z_m + δ mostly rounds it away too: the linear step is as exact as the step
/// it replaces. A further factor of 2 covers the rounding of the merged coefficients, which
/// round in another order than the steps would.
constexpr double kLinearShare = 0x1p-54;

/// Runs never cross a point where |Z| could pass 256 with the difference added, so that a skip
/// never jumps over the iteration where the pixel escapes: from |Z| > 2 on an orbit escapes
/// within a few steps, so this only keeps the last steps of an escaping reference out of runs.
constexpr double kEscapeMarginNorm = 256.0 * 256.0 / 2.0;

double Magnitude(const Complex<double>& z) {
    return std::hypot(z.re, z.im);
}

FloatExp Sqrt(FloatExp x) {
    if (x.isZero() || !x.isFinite()) {
        return x;
    }
    double mantissa = x.mantissa();
    std::int64_t exponent = x.exponent();
    if (exponent % 2 != 0) {
        mantissa *= 2.0;
        exponent -= 1;
    }
    return {std::sqrt(mantissa), exponent / 2};
}

FloatExp Magnitude(const Complex<FloatExp>& z) {
    return Sqrt(z.norm());
}

bool Finite(double x) {
    return std::isfinite(x);
}
bool Finite(FloatExp x) {
    return x.isFinite();
}
template <typename T> bool Finite(const Complex<T>& z) {
    return Finite(z.re) && Finite(z.im);
}

/// Run x, then run y: δ'' = A_y (A_x δ + B_x δc) + B_y δc. The run is linear while x is and
/// while the difference after x, at most |A_x| r + |B_x| |δc|, stays below y's radius.
template <typename T> BlaStep<T> Merge(const BlaStep<T>& x, const BlaStep<T>& y, T deltaCMax) {
    BlaStep<T> merged;
    merged.a = y.a * x.a;
    merged.b = y.a * x.b + y.b;
    T radius = (y.radius - Magnitude(x.b) * deltaCMax) / Magnitude(x.a);
    // NaN (0/0 where a step's Z is 0) and negative radii mean no run.
    if (!(radius > T(0.0)) || !Finite(merged.a) || !Finite(merged.b)) {
        radius = T(0.0);
    }
    merged.radius = std::min(x.radius, radius);
    merged.radius2 = merged.radius * merged.radius;
    return merged;
}

} // namespace

template <typename T> BlaTable<T>::BlaTable(std::span<const OrbitPoint> orbit, T deltaCMax) {
    if (orbit.size() < 3) {
        return;
    }
    const std::size_t last = orbit.size() - 1;
    std::vector<BlaStep<T>> steps;
    steps.reserve(last - 1);
    for (std::size_t m = 1; m < last; ++m) {
        const OrbitPoint z = orbit[m];
        BlaStep<T> step;
        step.a = {T(2.0 * z.re), T(2.0 * z.im)};
        step.b = {T(1.0), T(0.0)};
        const double norm = z.re * z.re + z.im * z.im;
        step.radius = norm < kEscapeMarginNorm ? T(kLinearShare * std::sqrt(norm)) : T(0.0);
        step.radius2 = step.radius * step.radius;
        steps.push_back(step);
    }
    m_levels.push_back(std::move(steps));
    while (m_levels.back().size() >= 2) {
        const std::vector<BlaStep<T>>& below = m_levels.back();
        std::vector<BlaStep<T>> merged;
        merged.reserve(below.size() / 2);
        for (std::size_t i = 0; i + 1 < below.size(); i += 2) {
            merged.push_back(Merge(below[i], below[i + 1], deltaCMax));
        }
        m_levels.push_back(std::move(merged));
    }
}

template class BlaTable<double>;
template class BlaTable<FloatExp>;

} // namespace deep
