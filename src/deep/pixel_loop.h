#pragma once

// The per-pixel loop as pictures run it: the perturbation loop of perturbation.h, carried in
// plain doubles wherever the pixel's difference from the reference lies inside the double
// range, and in extended-exponent numbers only while it is below it. In a deep view every
// pixel starts with a difference of the view's size (say 1e-500); the first runs of linear
// steps grow it into the double range, and from there on the loop costs what a double loop
// costs, however deep the view. On processors with AVX2 four pixels step side by side, two
// such groups at a time.

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "bla_table.h"
#include "float_exp.h"
#include "perturbation.h"
#include "reference_orbit.h"

namespace deep {

/// A reference point as the double loop reads it, with the squared radius of the shortest run
/// starting there beside it, so that one load tells whether a run is worth looking for.
struct LoopPoint {
    double re = 0.0;
    double im = 0.0;
    double runRadius2 = 0.0;
    RunSpan runs; // 32 bytes in all: one vector load reads a whole point
};

/// One row of pixels to count: pixel x has the offset (columns[x], im) from the reference's
/// point, and its count goes to out[x].
struct PixelRow {
    const FloatExp* columns = nullptr;
    FloatExp im;
    int width = 0;
    std::uint32_t* out = nullptr;
};

/// Hands a counting thread its rows, one after the other.
class RowSource {
public:
    /// False once there is no row left for this thread.
    virtual bool next(PixelRow& row) = 0;

protected:
    ~RowSource() = default;
};

/// What every pixel of one picture is counted against.
class PixelLoop {
public:
    /// `deltaCMax` bounds |δc| over the picture's pixels (0 for a Julia set). With `extended`
    /// the pixels' offsets may lie below the double range and the extended tables are built too.
    /// A `stop` flag set while the tables are built leaves them incomplete: stopped() says so.
    PixelLoop(std::span<const OrbitPoint> main, std::span<const OrbitPoint> rebase, FloatExp deltaCMax,
              bool extended, const std::atomic<bool>* stop = nullptr);

    [[nodiscard]] bool stopped() const { return m_stopped; }

    /// What the tables take per point of an orbit at their peak while they are built: in
    /// doubles a merged table of twice the orbit's length is made and read into the runs;
    /// extended views keep a table of extended numbers as well.
    [[nodiscard]] static constexpr std::uint64_t BytesPerPoint(bool extended) {
        const std::uint64_t runs = sizeof(ScaledRun) + sizeof(std::uint32_t) + sizeof(LoopPoint);
        return runs + 2 * (extended ? sizeof(BlaStep<FloatExp>) : sizeof(BlaStep<double>));
    }

    /// The count of one pixel, as PerturbedCount gives it; delta0 is z0 minus the main orbit's
    /// start, deltaC is c minus the reference's c.
    [[nodiscard]] std::int64_t count(Complex<FloatExp> delta0, Complex<FloatExp> deltaC,
                                     std::int64_t maxIterations, const std::atomic<bool>* stop,
                                     PerturbationStats* stats = nullptr) const;

    /// Counts the rows `rows` hands out. A row's offsets are c minus the reference's c, or z0
    /// minus the main orbit's start for a Julia set. Every pixel gets the count count() gives
    /// it, bit for bit, on whichever path. Returns early, counts incomplete, once `stop` is set.
    void countRows(RowSource& rows, bool julia, std::int64_t maxIterations,
                   const std::atomic<bool>* stop) const;

private:
    struct Orbit {
        std::span<const OrbitPoint> points;
        std::size_t first = 0; // where its points start in m_points
        ScaledBlaTable runs;
        BlaTable<FloatExp> extendedRuns;
    };
    /// A pixel on its way through the double loop, with what it needs besides its state.
    struct Pixel {
        PixelState<double> state;
        Complex<FloatExp> deltaC;
        Complex<double> plainDeltaC;  // δc, or 0 where it is below any double difference
        Complex<double> scaledDeltaC; // δc·2^-scale, as the runs take it
    };
    class Lanes;

    void build(Orbit& orbit, FloatExp deltaCMax, const std::atomic<bool>* stop);
    void shareStart(FloatExp deltaCMax);
    [[nodiscard]] const Orbit& rebaseOrbit() const { return m_rebase.points.empty() ? m_main : m_rebase; }
    [[nodiscard]] const Orbit& orbitOf(const PixelState<double>& state) const {
        return state.onRebase ? rebaseOrbit() : m_main;
    }
    /// The pixel's start: through the extended loop while its difference is below the double
    /// range. `finished` is set when that already gave its count.
    [[nodiscard]] Pixel start(Complex<FloatExp> delta0, Complex<FloatExp> deltaC, std::int64_t maxIterations,
                              const std::atomic<bool>* stop, PerturbationStats* stats) const;
    /// The extended loop from `state` until the pixel's difference reaches the double range.
    [[nodiscard]] PixelState<double> extendedLoop(PixelState<FloatExp> state, Complex<FloatExp> deltaC,
                                                  std::int64_t maxIterations, const std::atomic<bool>* stop,
                                                  PerturbationStats* stats) const;
    /// Runs a pixel from a double state to its count.
    [[nodiscard]] std::int64_t finish(Pixel pixel, std::int64_t maxIterations, const std::atomic<bool>* stop,
                                      PerturbationStats* stats) const;
    /// The double loop from the pixel's state until it ends or leaves the double range, or
    /// once it would take the (plainSteps + 1)-th plain step in a row.
    void doubleLoop(Pixel& pixel, std::int64_t maxIterations, const std::atomic<bool>* stop,
                    PerturbationStats* stats, int plainSteps = -1) const;
    void countRowsInLanes(RowSource& rows, bool julia, std::int64_t maxIterations,
                          const std::atomic<bool>* stop) const;

    std::vector<LoopPoint> m_points; // the main orbit's points, then the rebase orbit's
    Orbit m_main;
    Orbit m_rebase;       // empty for the Mandelbrot set, whose main orbit starts at 0
    std::int64_t m_scale; // runs take δc as δc·2^-scale
    bool m_extended;
    bool m_stopped = false;
    double m_handBackNorm; // below this |δ|² a pixel leaves the double loop
    /// Where every Mandelbrot pixel stands after its first runs, with δ = factor · δc; 0 when
    /// the runs hold for no pixel.
    std::size_t m_sharedSteps = 0;
    Complex<FloatExp> m_sharedFactor;
};

} // namespace deep
