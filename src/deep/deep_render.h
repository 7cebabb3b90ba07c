#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decimal_mpfr.h"
#include "picture_record.h"
#include "reference_orbit.h"

namespace deep {

using common::kMaxDeepIterations;

/// A view of the Mandelbrot set or a Julia set at any depth: the pixel (x, y) of a W × H
/// picture is (re + R·(2x − W)/H, im + R·(H − 2y)/H), exactly. For a Julia set that number is
/// z0 and (juliaRe, juliaIm) is c.
struct DeepView {
    ExactDecimal re;
    ExactDecimal im;
    ExactDecimal radius;           // R > 0, the half-height of the view
    std::int64_t iterations = 256; // N, 1 .. kMaxDeepIterations
    bool julia = false;
    ExactDecimal juliaRe;
    ExactDecimal juliaIm;
    int width = 601;
    int height = 601;
};

/// How the long parts are watched: the stop flag (Ctrl+C) ends them within a fraction of a
/// second; progress reports the reference orbits' iterations done out of N (2N for a Julia
/// set, which also iterates the orbit of 0), and the total once they are done.
struct DeepControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void(std::int64_t done, std::int64_t total)> referenceProgress;
    /// Bytes the tables built from the reference orbits may take; 0 for this machine's memory.
    std::uint64_t memoryLimit = 0;
};

/// What prepare() computes in MPFR, rounded to doubles: the orbit of the view's centre and, for
/// a Julia set, the orbit of 0. Every picture of the same centre, iteration limit and precision
/// has the same orbits, so they can be computed once and handed to other processes.
struct ReferenceOrbits {
    std::vector<OrbitPoint> main;
    std::vector<OrbitPoint> rebase; // empty for the Mandelbrot set
};

/// One picture of a deep view: what is computed once (precision, the high-precision reference
/// orbit) is kept, and the pixels' counts are made a band of rows at a time, so memory grows
/// with N and the picture's width, not with its height.
///
/// The count of a pixel is the loop's n: z from z0 (0 for the Mandelbrot set), stop when
/// |z| > 256 (strictly), else stop when n reaches N, else z ← z² + c and n ← n + 1; so n = N
/// for a pixel that never escapes.
class DeepPicture {
public:
    ~DeepPicture();
    DeepPicture(DeepPicture&&) noexcept;
    DeepPicture& operator=(DeepPicture&&) noexcept;

    /// Computes the reference orbit. Nothing and `error` set when the view cannot be drawn;
    /// nothing and an empty `error` when the stop flag ended it.
    [[nodiscard]] static std::optional<DeepPicture> prepare(const DeepView& view, const DeepControl& control,
                                                            std::string& error);
    /// The same with the orbits of an earlier prepare() of this view (at the precision
    /// ViewPrecision gives it), which are taken as they are. Nothing and `error` set when the
    /// view cannot be drawn or the orbits cannot be its own (lengths beyond its limit, a Julia
    /// set without the orbit of 0, numbers that are not finite).
    [[nodiscard]] static std::optional<DeepPicture> prepareFromOrbits(const DeepView& view,
                                                                      ReferenceOrbits orbits,
                                                                      std::string& error,
                                                                      const DeepControl& control = {});

    /// The counts of rows [firstRow, firstRow + rows), row by row, `width` each, on all cores.
    /// False when the stop flag ended it (the counts are then incomplete). `rowsTaken`, if
    /// given, counts the rows the threads have taken up so far, for progress.
    [[nodiscard]] bool countRows(int firstRow, int rows, std::uint32_t* counts, const std::atomic<bool>* stop,
                                 std::atomic<int>* rowsTaken = nullptr) const;

    [[nodiscard]] const DeepView& view() const;
    /// The orbits prepare() computed or was given.
    [[nodiscard]] std::span<const OrbitPoint> mainOrbit() const;
    [[nodiscard]] std::span<const OrbitPoint> rebaseOrbit() const;

private:
    struct Impl;
    explicit DeepPicture(std::unique_ptr<Impl> impl);
    /// What follows the orbits: the pixels' offsets and the loop's tables.
    [[nodiscard]] static std::optional<DeepPicture> finish(std::unique_ptr<Impl> impl,
                                                           const DeepControl& control, std::string& error);
    std::unique_ptr<Impl> m_impl;
};

} // namespace deep
