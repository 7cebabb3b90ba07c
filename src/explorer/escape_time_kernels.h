#pragma once

// The inner loops of CountEngine, one per instruction set. Internal to escape_time.cpp and
// escape_time_kernels.cpp.

#include <atomic>
#include <cstdint>

namespace explorer::detail {

/// What a worker needs to count its share of a job. Column x of the job starts z0 (Julia) or c
/// (Mandelbrot) at real part colRe[x]; row y at imaginary part rowIm[y]. The numbers come from
/// PixelToComplex, which keeps the real part a function of x alone and the imaginary part of y
/// alone, so two small tables hold every pixel's number.
struct KernelJob {
    bool julia = false;
    double juliaRe = 0.0;
    double juliaIm = 0.0;
    const double* colRe = nullptr;
    const double* rowIm = nullptr;
    int columns = 0;
    int rows = 0;
    /// Column-major, columns * rows entries.
    std::uint16_t* counts = nullptr;
    /// Workers take groups of `group` columns in ascending order from here.
    std::atomic<int>* nextColumn = nullptr;
    int group = 1;
    const std::atomic<bool>* cancel = nullptr;
    /// Called once the counts of columns first .. end - 1 are all written.
    void (*columnsDone)(void* context, int first, int end) = nullptr;
    void* context = nullptr;
};

/// Each runs until the job has no columns left or is cancelled.
void RunScalar(const KernelJob& job);
void RunAvx2(const KernelJob& job);
void RunAvx512(const KernelJob& job);

bool CpuHasAvx2();
bool CpuHasAvx512();

/// The iteration limit and the escape test on the squared modulus: sqrt(m) > 256 exactly when
/// m is above the next double after 65536, because m = 65536 + 2^-36 has a square root that
/// rounds to 256 itself.
inline constexpr int kLimit = 256;
inline constexpr double kEscapeSquared = 0x1.0000000000001p+16;

} // namespace explorer::detail
