#pragma once

// Bilinear approximation of runs of perturbation steps. While a pixel's difference δ from the
// reference is tiny next to the reference Z_m, the step δ ← 2 Z_m δ + δ² + δc is linear in δ
// and δc, and so is any run of such steps: δ_{m+k} = A δ_m + B δc. The table holds A and B for
// runs of 1, 2, 4, 8, … steps together with the radius below which |δ_m| keeps every step of
// the run linear, so that a pixel can jump over a run in one multiply-add.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "float_exp.h"
#include "reference_orbit.h"

namespace deep {

/// δ_{m+length} ≈ a δ_m + b δc, valid while |δ_m|² < radius2.
template <typename T> struct BlaStep {
    Complex<T> a;
    Complex<T> b;
    T radius{};  // |δ_m| below this keeps the run linear
    T radius2{}; // radius², compared with |δ|² without a square root per pixel step
};

/// Runs of 2^l steps starting at the steps 1 + i·2^l of one reference orbit (step 0 starts at
/// Z_0, which is 0 for the Mandelbrot set: no linear step starts there). Memory is about twice
/// the orbit's length in entries.
template <typename T> class BlaTable {
public:
    BlaTable() = default;
    /// `orbit` is Z_0 … Z_last; `deltaCMax` bounds |δc| over all pixels that use the table
    /// (0 for a Julia set, whose pixels differ in z0, not in c). A `stop` flag found set (it is
    /// read every 65,536 entries) leaves the table empty.
    BlaTable(std::span<const OrbitPoint> orbit, T deltaCMax, const std::atomic<bool>* stop = nullptr);

    /// The longest run starting at step m, at most `maxLength` steps, that is linear for a
    /// difference of squared magnitude `deltaNorm`; nullptr when there is none. `length` is
    /// set to the run's number of steps.
    [[nodiscard]] const BlaStep<T>* find(std::size_t m, T deltaNorm, std::int64_t maxLength,
                                         std::int64_t& length) const {
        if (m == 0 || m_levels.empty()) {
            return nullptr;
        }
        const std::size_t j = m - 1;
        int level = static_cast<int>(m_levels.size()) - 1;
        if (j != 0) {
            level = std::min(level, std::countr_zero(j));
        }
        for (; level >= 0; --level) {
            const std::int64_t steps = std::int64_t{1} << level;
            const std::vector<BlaStep<T>>& entries = m_levels[static_cast<std::size_t>(level)];
            const std::size_t i = j >> level;
            if (steps > maxLength || i >= entries.size()) {
                continue;
            }
            const BlaStep<T>& entry = entries[i];
            if (deltaNorm < entry.radius2) {
                length = steps;
                return &entry;
            }
        }
        return nullptr;
    }

    [[nodiscard]] bool empty() const { return m_levels.empty(); }
    /// Entries of runs of 2^level steps.
    [[nodiscard]] std::span<const BlaStep<T>> level(std::size_t level) const { return m_levels[level]; }
    [[nodiscard]] std::size_t levels() const { return m_levels.size(); }

private:
    std::vector<std::vector<BlaStep<T>>> m_levels;
};

/// A run as the double loop takes it: δ' = a δ + b δc, with b stored times 2^scale and δc
/// passed as δc·2^-scale, so that the run serves pixels whose δc lies below the double range
/// while their δ is already inside it.
struct ScaledRun {
    double radius2; // |δ|² below this keeps the run linear
    double aRe, aIm;
    double bRe, bIm;
};

/// Where the runs starting at one point lie in a ScaledBlaTable: `count` runs of 2, 4, 8, …
/// steps from `first` on.
struct RunSpan {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

/// The runs of two or more steps of a BlaTable in doubles, b scaled by 2^scale. A single step
/// is no cheaper as a run than as a perturbation step, so those are left out. The runs that
/// start at one point lie side by side, shortest first, so that a lookup reads one or two
/// cache lines rather than one per length tried.
class ScaledBlaTable {
public:
    ScaledBlaTable() = default;
    template <typename T> ScaledBlaTable(const BlaTable<T>& table, std::int64_t scale);

    [[nodiscard]] RunSpan spanOf(std::size_t m) const {
        return m + 1 < m_first.size() ? RunSpan{m_first[m], m_first[m + 1] - m_first[m]} : RunSpan{};
    }

    /// The squared radius of the shortest run (two steps) starting at step m, 0 if there is
    /// none: a longer run at m is never valid where this one is not, so this one number tells
    /// whether looking for a run is worth it.
    [[nodiscard]] double firstRadius2(std::size_t m) const {
        const RunSpan span = spanOf(m);
        return span.count > 0 ? m_runs[span.first].radius2 : 0.0;
    }

    /// As BlaTable::find, for runs of two or more steps. A run's radius never exceeds that of
    /// the shorter run it starts with, so the runs valid at m are those up to some length.
    [[nodiscard]] const ScaledRun* find(RunSpan span, double deltaNorm, std::int64_t maxLength,
                                        std::int64_t& length) const {
        const auto longest = static_cast<std::uint32_t>(
            std::bit_width(static_cast<std::uint64_t>(std::max<std::int64_t>(maxLength, 1))) - 1);
        const std::uint32_t lengths = std::min(span.count, longest);
        const ScaledRun* runs = m_runs.data() + span.first;
        std::uint32_t valid = 0;
        while (valid < lengths && deltaNorm < runs[valid].radius2) {
            ++valid;
        }
        if (valid == 0) {
            return nullptr;
        }
        length = std::int64_t{1} << valid;
        return &runs[valid - 1];
    }
    [[nodiscard]] const ScaledRun* find(std::size_t m, double deltaNorm, std::int64_t maxLength,
                                        std::int64_t& length) const {
        return find(spanOf(m), deltaNorm, maxLength, length);
    }

private:
    std::vector<std::uint32_t> m_first; // per point m, where its runs start; one more at the end
    std::vector<ScaledRun> m_runs;
};

extern template ScaledBlaTable::ScaledBlaTable(const BlaTable<double>&, std::int64_t);
extern template ScaledBlaTable::ScaledBlaTable(const BlaTable<FloatExp>&, std::int64_t);
extern template class BlaTable<double>;
extern template class BlaTable<FloatExp>;

} // namespace deep
