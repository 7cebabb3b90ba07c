#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "complex_view.h"

namespace explorer {

inline constexpr double kEscapeRadius = 256.0;
inline constexpr int kMaxIter = 256;

[[nodiscard]] double ComplexAbs(TComplex z);
[[nodiscard]] TComplex ComplexAdd(TComplex a, TComplex b);
[[nodiscard]] TComplex ComplexMul(TComplex a, TComplex b);

/// The escape-time count of z -> z*z + c from z0: the modulus test (strictly greater than 256)
/// before the count test, limit 256. The reference every faster path must equal bit for bit.
[[nodiscard]] int EscapeCount(TComplex z0, TComplex c);

/// What one picture needs: for the Mandelbrot set z0 = 0 and c = the pixel's number, for a
/// Julia set z0 = the pixel's number and c = juliaC.
struct RenderJob {
    SetKind kind = SetKind::Mandelbrot;
    ViewRect view;
    PixelFrame frame;
    TComplex juliaC;

    [[nodiscard]] int columns() const { return frame.FrameRight - frame.FrameLeft + 1; }
    [[nodiscard]] int rows() const { return frame.FrameBottom - frame.FrameTop + 1; }
};

/// The counts of a whole job by the plain per-pixel loop, column-major (column i holds the
/// rows of x = FrameLeft + i from FrameTop down).
[[nodiscard]] std::vector<std::uint16_t> ComputeCountsPlain(const RenderJob& job);

/// The code paths of the engine. Auto takes the widest the processor has; the others exist so
/// the tests can hold every path against the plain loop on one machine.
enum class CountPath { Auto, Scalar, Avx2, Avx512 };

/// Computes the counts of a job on all cores, with the widest vector unit the processor has,
/// columns in ascending order, a few at a time, so a presenter can show them as they come.
/// Bit-identical to ComputeCountsPlain.
///
/// The engine's own threads do the counting; its members are called from one thread, the
/// presenter's. A column's pointer stays valid until the next start().
class CountEngine {
public:
    /// threads <= 0: one per hardware thread. A path the processor lacks falls back to the
    /// widest one it has.
    explicit CountEngine(int threads = 0, CountPath path = CountPath::Auto);
    ~CountEngine();
    CountEngine(const CountEngine&) = delete;
    CountEngine& operator=(const CountEngine&) = delete;

    /// Cancels any running job, then starts this one.
    void start(const RenderJob& job);
    /// Counts only the rows firstRow .. firstRow + rowCount - 1 of the job (0 is FrameTop), each
    /// pixel with the number the whole frame gives it, so that strips of a picture too large to
    /// count at once together equal the whole job. rows() is then the strip's row count and a
    /// column holds the strip's rows; a range reaching outside the job is cut to it.
    void start(const RenderJob& job, int firstRow, int rowCount);
    /// Stops the workers within a few milliseconds and waits for them.
    void cancel();
    /// True from a cancel() to the next start(): a column not ready by then never will be.
    [[nodiscard]] bool cancelled() const;

    [[nodiscard]] int columns() const;
    [[nodiscard]] int rows() const;
    [[nodiscard]] bool columnReady(int column) const;
    /// Blocks until the column is ready or timeoutMs passed; true when ready.
    bool waitColumn(int column, int timeoutMs);
    /// The counts of a ready column, rows() entries from FrameTop down.
    [[nodiscard]] const std::uint16_t* column(int column) const;

    /// Name of the code path chosen at run time ("avx512", "avx2", "scalar").
    [[nodiscard]] static const char* simdPath();
    /// Name of the code path this engine runs.
    [[nodiscard]] const char* pathName() const;
    /// Whether this processor can run the path (Auto and Scalar always can).
    [[nodiscard]] static bool pathAvailable(CountPath path);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace explorer
