#pragma once

// Bilinear approximation of runs of perturbation steps. While a pixel's difference δ from the
// reference is tiny next to the reference Z_m, the step δ ← 2 Z_m δ + δ² + δc is linear in δ
// and δc, and so is any run of such steps: δ_{m+k} = A δ_m + B δc. The table holds A and B for
// runs of 1, 2, 4, 8, … steps together with the radius below which |δ_m| keeps every step of
// the run linear, so that a pixel can jump over a run in one multiply-add.

#include <algorithm>
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
    /// (0 for a Julia set, whose pixels differ in z0, not in c).
    BlaTable(std::span<const OrbitPoint> orbit, T deltaCMax);

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

extern template class BlaTable<double>;
extern template class BlaTable<FloatExp>;

} // namespace deep
