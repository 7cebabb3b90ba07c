#include "deep_render.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "float_exp.h"
#include "pixel_loop.h"
#include "precision.h"
#include "reference_orbit.h"

namespace deep {

namespace {

/// Differences from the reference stay in plain doubles while the smallest one, a pixel's
/// offset R/H, is above 10^-290: the perturbation step multiplies them by orbit values of a
/// few units and squares them, and that margin keeps the products clear of the subnormal range
/// (about 10^-308). Far larger views (R beyond 10^290) would overflow the other way.
constexpr std::int64_t kDoubleMinMagnitude = -290;
constexpr std::int64_t kDoubleMaxMagnitude = 290;

/// Bits of the radius the pixels' offsets are formed from.
constexpr mpfr_prec_t kRadiusBits = 192;

/// An MPFR number for the lifetime of a scope.
struct Mpfr {
    mpfr_t x;
    explicit Mpfr(mpfr_prec_t bits) { mpfr_init2(x, bits); }
    ~Mpfr() { mpfr_clear(x); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;
};

FloatExp ToFloatExp(const mpfr_t value) {
    if (mpfr_zero_p(value)) {
        return FloatExp(0.0);
    }
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, value, MPFR_RNDN);
    return {mantissa, static_cast<std::int64_t>(exponent)};
}

/// The machine's physical memory in bytes, 0 if unknown.
std::uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

std::int64_t DecimalDigits(std::int64_t value) {
    std::int64_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

struct DeepPicture::Impl {
    DeepView view;
    std::vector<OrbitPoint> mainOrbit;
    /// The orbit of 0 for a Julia set; empty for the Mandelbrot set, whose main orbit starts at 0.
    std::vector<OrbitPoint> rebaseOrbit;
    /// R·(2x − W)/H per column x, as offset() gives it.
    std::vector<FloatExp> columnOffsets;
    bool extended = false; // offsets that may lie below the double range
    std::optional<PixelLoop> loop;

    /// |δc| is bounded by the farthest corner of the view (1.5 covers √2 times the larger of
    /// the two offsets); a Julia set's pixels share c, so there it is 0.
    [[nodiscard]] FloatExp deltaCMax() const {
        if (view.julia) {
            return FloatExp(0.0);
        }
        FloatExp largest = std::max(abs(rowOffset(0)), abs(rowOffset(view.height - 1)));
        for (const FloatExp& column : columnOffsets) {
            largest = std::max(largest, abs(column));
        }
        return largest * FloatExp(1.5);
    }

    /// R at a precision far past what the offsets keep: converting the exact decimal, a
    /// division by a power of ten of the view's depth, is done once rather than per row and
    /// column (a quarter of a millisecond each at a radius of 1e-100000).
    Mpfr radius{kRadiusBits};

    /// R·steps/H to the nearest double, from R to kRadiusBits bits: steps·R is exact there, so
    /// the one rounding that matters is the division's.
    [[nodiscard]] FloatExp offset(std::int64_t steps) const {
        Mpfr product(kRadiusBits + 64);
        mpfr_mul_si(product.x, radius.x, static_cast<long>(steps), MPFR_RNDN);
        Mpfr value(53);
        mpfr_div_si(value.x, product.x, static_cast<long>(view.height), MPFR_RNDN);
        return ToFloatExp(value.x);
    }
    [[nodiscard]] FloatExp rowOffset(int y) const {
        return offset(std::int64_t{view.height} - 2 * std::int64_t{y});
    }
    [[nodiscard]] FloatExp columnOffset(int x) const {
        return offset(2 * std::int64_t{x} - std::int64_t{view.width});
    }
};

DeepPicture::DeepPicture(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DeepPicture::~DeepPicture() = default;
DeepPicture::DeepPicture(DeepPicture&&) noexcept = default;
DeepPicture& DeepPicture::operator=(DeepPicture&&) noexcept = default;

const DeepView& DeepPicture::view() const {
    return m_impl->view;
}

std::span<const OrbitPoint> DeepPicture::mainOrbit() const {
    return m_impl->mainOrbit;
}

std::span<const OrbitPoint> DeepPicture::rebaseOrbit() const {
    return m_impl->rebaseOrbit;
}

namespace {

/// Why the view cannot be drawn; empty when it can.
std::string ViewFault(const DeepView& view) {
    if (view.radius.negative || view.radius.digits == "0") {
        return "the radius must be above 0";
    }
    if (view.iterations < 1 || view.iterations > kMaxDeepIterations) {
        return "the iteration limit must be between 1 and " + std::to_string(kMaxDeepIterations);
    }
    if (view.width < 1 || view.height < 1) {
        return "the width and the height must be at least 1 pixel";
    }
    return {};
}

bool Finite(std::span<const OrbitPoint> orbit) {
    return std::all_of(orbit.begin(), orbit.end(),
                       [](const OrbitPoint& z) { return std::isfinite(z.re) && std::isfinite(z.im); });
}

} // namespace

std::optional<DeepPicture> DeepPicture::prepareFromOrbits(const DeepView& view, ReferenceOrbits orbits,
                                                          std::string& error, const DeepControl& control) {
    error = ViewFault(view);
    if (!error.empty()) {
        return std::nullopt;
    }
    const auto longest = static_cast<std::size_t>(view.iterations) + 1;
    if (orbits.main.empty() || orbits.main.size() > longest || orbits.rebase.size() > longest ||
        orbits.rebase.empty() == view.julia) {
        error = "the reference orbits do not fit the view (their lengths are wrong)";
        return std::nullopt;
    }
    if (!Finite(orbits.main) || !Finite(orbits.rebase)) {
        error = "the reference orbits hold numbers that are not finite";
        return std::nullopt;
    }
    auto impl = std::make_unique<Impl>();
    impl->view = view;
    impl->mainOrbit = std::move(orbits.main);
    impl->rebaseOrbit = std::move(orbits.rebase);
    return finish(std::move(impl), control, error);
}

std::optional<DeepPicture> DeepPicture::prepare(const DeepView& view, const DeepControl& control,
                                                std::string& error) {
    error = ViewFault(view);
    if (!error.empty()) {
        return std::nullopt;
    }

    auto impl = std::make_unique<Impl>();
    impl->view = view;
    const mpfr_prec_t bits = ViewPrecision(view.re, view.im, view.radius, view.height);
    Mpfr cRe(bits), cIm(bits), z0Re(bits), z0Im(bits);
    if (view.julia) {
        ToMpfr(view.re, z0Re.x, MPFR_RNDN);
        ToMpfr(view.im, z0Im.x, MPFR_RNDN);
        ToMpfr(view.juliaRe, cRe.x, MPFR_RNDN);
        ToMpfr(view.juliaIm, cIm.x, MPFR_RNDN);
    } else {
        ToMpfr(view.re, cRe.x, MPFR_RNDN);
        ToMpfr(view.im, cIm.x, MPFR_RNDN);
        mpfr_set_zero(z0Re.x, 1);
        mpfr_set_zero(z0Im.x, 1);
    }

    OrbitRequest request;
    request.cRe = cRe.x;
    request.cIm = cIm.x;
    request.z0Re = z0Re.x;
    request.z0Im = z0Im.x;
    request.maxIterations = view.iterations;
    request.precision = bits;
    request.stop = control.stop;
    // A Julia set iterates two orbits of up to N each, reported as one piece of work of 2N.
    const std::int64_t work = view.julia ? 2 * view.iterations : view.iterations;
    std::int64_t workBefore = 0;
    if (control.referenceProgress) {
        request.progress = [&control, &workBefore, work](std::int64_t done) {
            control.referenceProgress(workBefore + done, work);
        };
    }
    ReferenceOrbit main = ComputeReferenceOrbit(request);
    if (main.end == OrbitEnd::Stopped) {
        return std::nullopt;
    }
    impl->mainOrbit = std::move(main.points);
    if (view.julia) {
        // Pixels that pass near 0 continue from the orbit of 0, which the constant alone decides.
        mpfr_set_zero(z0Re.x, 1);
        mpfr_set_zero(z0Im.x, 1);
        workBefore = view.iterations;
        ReferenceOrbit critical = ComputeReferenceOrbit(request);
        if (critical.end == OrbitEnd::Stopped) {
            return std::nullopt;
        }
        impl->rebaseOrbit = std::move(critical.points);
    }
    if (control.referenceProgress) {
        control.referenceProgress(work, work);
    }
    return finish(std::move(impl), control, error);
}

std::optional<DeepPicture> DeepPicture::finish(std::unique_ptr<Impl> impl, const DeepControl& control,
                                               std::string& error) {
    const DeepView& view = impl->view;
    ToMpfr(view.radius, impl->radius.x, MPFR_RNDN);
    impl->columnOffsets.reserve(static_cast<std::size_t>(view.width));
    for (int x = 0; x < view.width; ++x) {
        impl->columnOffsets.push_back(impl->columnOffset(x));
    }
    const std::int64_t smallest = DecimalMagnitude(view.radius) - DecimalDigits(view.height);
    const std::int64_t largest = DecimalMagnitude(view.radius) + 1;
    impl->extended = smallest < kDoubleMinMagnitude || largest > kDoubleMaxMagnitude;
    // The tables grow with the orbits' length: at a hundred million iterations they can pass
    // the machine's memory, which is better said than found out by the kernel's OOM killer.
    const auto points = static_cast<std::uint64_t>(impl->mainOrbit.size() + impl->rebaseOrbit.size());
    const std::uint64_t needed = points * PixelLoop::BytesPerPoint(impl->extended);
    const std::uint64_t limit = control.memoryLimit != 0 ? control.memoryLimit : PhysicalMemory();
    if (limit != 0 && needed > limit) {
        constexpr std::uint64_t kMegabyte = 1'000'000;
        error = "the reference orbit's " + std::to_string(points) + " points need about " +
                std::to_string((needed + kMegabyte - 1) / kMegabyte) + " MB of tables, more than the " +
                std::to_string(limit / kMegabyte) + " MB of memory here; lower the iteration limit";
        return std::nullopt;
    }
    impl->loop.emplace(impl->mainOrbit, impl->rebaseOrbit, impl->deltaCMax(), impl->extended, control.stop);
    if (impl->loop->stopped()) {
        return std::nullopt;
    }
    return DeepPicture(std::move(impl));
}

bool DeepPicture::countRows(int firstRow, int rows, std::uint32_t* counts, const std::atomic<bool>* stop,
                            std::atomic<int>* rowsTaken) const {
    const Impl& impl = *m_impl;
    assert(firstRow >= 0 && rows >= 0 && firstRow + rows <= impl.view.height && "rows of the picture");
    // Rows are handed out one at a time, so that rows near the set, where counts are high,
    // are shared out rather than left to whichever thread a fixed split gave them.
    std::atomic<int> nextRow{0};
    class Rows final : public RowSource {
    public:
        Rows(const Impl& impl, int firstRow, int rows, std::uint32_t* counts, std::atomic<int>& next,
             std::atomic<int>* taken)
            : m_impl(impl), m_firstRow(firstRow), m_rows(rows), m_counts(counts), m_next(next),
              m_taken(taken) {}
        bool next(PixelRow& row) override {
            const int taken = m_next++;
            if (taken >= m_rows) {
                return false;
            }
            if (m_taken != nullptr) {
                ++*m_taken;
            }
            row.columns = m_impl.columnOffsets.data();
            row.im = m_impl.rowOffset(m_firstRow + taken);
            row.width = m_impl.view.width;
            row.out =
                m_counts + static_cast<std::size_t>(taken) * static_cast<std::size_t>(m_impl.view.width);
            return true;
        }

    private:
        const Impl& m_impl;
        int m_firstRow;
        int m_rows;
        std::uint32_t* m_counts;
        std::atomic<int>& m_next;
        std::atomic<int>* m_taken;
    };
    const auto worker = [&] {
        Rows source(impl, firstRow, rows, counts, nextRow, rowsTaken);
        impl.loop->countRows(source, impl.view.julia, impl.view.iterations, stop);
    };
    const int threads =
        std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, std::max(rows, 1));
    std::vector<std::jthread> pool;
    for (int t = 1; t < threads; ++t) {
        pool.emplace_back(worker);
    }
    worker();
    pool.clear(); // joins
    return stop == nullptr || !stop->load(std::memory_order_relaxed);
}

} // namespace deep
