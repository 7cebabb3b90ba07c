#include "bla_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace deep {

namespace {

/// The radius of one linear step, as a share of |Z_m|. The loop forms (2 Z_m + δ) δ + δc; with
/// |δ| < ε|Z_m| the dropped δ² is below ε/2 of |2 Z_m δ|. At ε = 2^-48 that is 16 units in the
/// last place of the linear term: a run of k steps adds at most k times that to δ's relative
/// error, which only changes a count where |z| passes within that share of 256 or of 0. Against
/// ε = 2^-54 (below one unit) no pixel's count changed in pictures of the published benchmark
/// locations, while runs grow long enough to skip most iterations from depths of about 1e-13;
/// at 2^-36 a few pixels in ten thousand change.
constexpr double kLinearShare = 0x1p-48;

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

template <typename T>
BlaTable<T>::BlaTable(std::span<const OrbitPoint> orbit, T deltaCMax, const std::atomic<bool>* stop) {
    const auto stopped = [stop](std::size_t done) {
        return (done & 0xffff) == 0 && stop != nullptr && stop->load(std::memory_order_relaxed);
    };
    if (orbit.size() < 3) {
        return;
    }
    const std::size_t last = orbit.size() - 1;
    std::vector<BlaStep<T>> steps;
    steps.reserve(last - 1);
    for (std::size_t m = 1; m < last; ++m) {
        if (stopped(m)) {
            return;
        }
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
            if (stopped(i)) {
                m_levels.clear();
                return;
            }
            merged.push_back(Merge(below[i], below[i + 1], deltaCMax));
        }
        m_levels.push_back(std::move(merged));
    }
}

namespace {

double ScaledDouble(FloatExp value, std::int64_t scale) {
    return value.ldexp(scale).toDouble();
}
double ScaledDouble(double value, std::int64_t scale) {
    return std::ldexp(value, static_cast<int>(scale));
}
double PlainDouble(FloatExp value) {
    return value.toDouble();
}
double PlainDouble(double value) {
    return value;
}

} // namespace

template <typename T> ScaledBlaTable::ScaledBlaTable(const BlaTable<T>& table, std::int64_t scale) {
    if (table.empty()) {
        return;
    }
    // Table level l holds runs of 2^l steps from the points 1 + i·2^l; point 0 starts none.
    const std::size_t points = table.level(0).size() + 2;
    m_first.reserve(points + 1);
    m_first = {0, 0}; // point 0 starts no run; point 1's runs come first
    for (std::size_t m = 1; m < points; ++m) {
        const std::size_t j = m - 1;
        double shorter = std::numeric_limits<double>::infinity();
        for (std::size_t level = 1; level < table.levels() && (j & ((std::size_t{1} << level) - 1)) == 0;
             ++level) {
            const std::size_t i = j >> level;
            if (i >= table.level(level).size()) {
                break;
            }
            const BlaStep<T>& step = table.level(level)[i];
            ScaledRun run{PlainDouble(step.radius2), PlainDouble(step.a.re), PlainDouble(step.a.im),
                          ScaledDouble(step.b.re, scale), ScaledDouble(step.b.im, scale)};
            // A coefficient past the double range belongs to a run no pixel in double range
            // could take linearly; and doubles may give up on a run its shorter start keeps,
            // never the other way round, as find() relies on.
            if (!std::isfinite(run.aRe) || !std::isfinite(run.aIm) || !std::isfinite(run.bRe) ||
                !std::isfinite(run.bIm) || !(run.radius2 > 0.0)) {
                break;
            }
            run.radius2 = std::min(run.radius2, shorter);
            shorter = run.radius2;
            m_runs.push_back(run);
        }
        m_first.push_back(static_cast<std::uint32_t>(m_runs.size()));
    }
}

template ScaledBlaTable::ScaledBlaTable(const BlaTable<double>&, std::int64_t);
template ScaledBlaTable::ScaledBlaTable(const BlaTable<FloatExp>&, std::int64_t);
template class BlaTable<double>;
template class BlaTable<FloatExp>;

} // namespace deep
