#include "deep_render.h"

#include <algorithm>
#include <cassert>
#include <span>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "bla_table.h"
#include "float_exp.h"
#include "perturbation.h"
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

/// FloatExp converts to double only through toDouble().
template <typename T> T As(FloatExp value) {
    if constexpr (std::is_same_v<T, double>) {
        return value.toDouble();
    } else {
        return value;
    }
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
    /// R·(2x − W)/H per column x, each rounded once from the exact value.
    std::vector<FloatExp> columnOffsets;
    bool extended = false; // FloatExp differences rather than doubles
    /// The linear-run tables of the main and the rebase orbit, in the pixels' number type; the
    /// rebase table is empty for the Mandelbrot set, whose two orbits are one.
    BlaTable<double> mainBla;
    BlaTable<double> rebaseBla;
    BlaTable<FloatExp> mainBlaExtended;
    BlaTable<FloatExp> rebaseBlaExtended;

    template <typename T> [[nodiscard]] PerturbationBla<T> bla() const {
        const auto pick = [this](const auto& main, const auto& rebase) {
            return PerturbationBla<T>{&main, rebaseOrbit.empty() ? &main : &rebase};
        };
        if constexpr (std::is_same_v<T, double>) {
            return pick(mainBla, rebaseBla);
        } else {
            return pick(mainBlaExtended, rebaseBlaExtended);
        }
    }

    /// Builds the tables for the pixels' number type. |δc| is bounded by the farthest corner
    /// of the view (1.5 covers √2 times the larger of the two offsets); a Julia set's pixels
    /// share c, so there it is 0.
    void buildBla() {
        FloatExp deltaCMax(0.0);
        if (!view.julia) {
            FloatExp largest = std::max(abs(rowOffset(0)), abs(rowOffset(view.height - 1)));
            for (const FloatExp& column : columnOffsets) {
                largest = std::max(largest, abs(column));
            }
            deltaCMax = largest * FloatExp(1.5);
        }
        if (extended) {
            mainBlaExtended = BlaTable<FloatExp>(mainOrbit, deltaCMax);
            if (!rebaseOrbit.empty()) {
                rebaseBlaExtended = BlaTable<FloatExp>(rebaseOrbit, deltaCMax);
            }
        } else {
            mainBla = BlaTable<double>(mainOrbit, deltaCMax.toDouble());
            if (!rebaseOrbit.empty()) {
                rebaseBla = BlaTable<double>(rebaseOrbit, deltaCMax.toDouble());
            }
        }
    }

    [[nodiscard]] PerturbationOrbits orbits() const {
        return {mainOrbit, rebaseOrbit.empty() ? std::span<const OrbitPoint>(mainOrbit)
                                               : std::span<const OrbitPoint>(rebaseOrbit)};
    }

    [[nodiscard]] FloatExp rowOffset(int y) const {
        Mpfr offset(53);
        PixelImag(ExactDecimal{}, view.radius, y, view.height, offset.x, MPFR_RNDN);
        return ToFloatExp(offset.x);
    }

    template <typename T>
    void countRow(const PerturbationOrbits& orbits, int y, std::uint32_t* counts,
                  const std::atomic<bool>* stop) const {
        const T im = As<T>(rowOffset(y));
        const PerturbationBla<T> tables = bla<T>();
        for (int x = 0; x < view.width; ++x) {
            const Complex<T> offset{As<T>(columnOffsets[static_cast<std::size_t>(x)]), im};
            const Complex<T> zero{T(0.0), T(0.0)};
            const std::int64_t n =
                view.julia ? PerturbedCount<T>(orbits, offset, zero, view.iterations, stop, tables)
                           : PerturbedCount<T>(orbits, zero, offset, view.iterations, stop, tables);
            counts[x] = static_cast<std::uint32_t>(n);
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return;
            }
        }
    }
};

DeepPicture::DeepPicture(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DeepPicture::~DeepPicture() = default;
DeepPicture::DeepPicture(DeepPicture&&) noexcept = default;
DeepPicture& DeepPicture::operator=(DeepPicture&&) noexcept = default;

const DeepView& DeepPicture::view() const {
    return m_impl->view;
}

std::optional<DeepPicture> DeepPicture::prepare(const DeepView& view, const DeepControl& control,
                                                std::string& error) {
    error.clear();
    if (view.radius.negative || view.radius.digits == "0") {
        error = "the radius must be above 0";
        return std::nullopt;
    }
    if (view.iterations < 1 || view.iterations > kMaxDeepIterations) {
        error = "the iteration limit must be between 1 and " + std::to_string(kMaxDeepIterations);
        return std::nullopt;
    }
    if (view.width < 1 || view.height < 1) {
        error = "the width and the height must be at least 1 pixel";
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
    if (control.referenceProgress) {
        request.progress = [&control, &view](std::int64_t done) {
            control.referenceProgress(done, view.iterations);
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
        request.progress = nullptr;
        ReferenceOrbit critical = ComputeReferenceOrbit(request);
        if (critical.end == OrbitEnd::Stopped) {
            return std::nullopt;
        }
        impl->rebaseOrbit = std::move(critical.points);
    }
    if (control.referenceProgress) {
        control.referenceProgress(view.iterations, view.iterations);
    }

    impl->columnOffsets.reserve(static_cast<std::size_t>(view.width));
    Mpfr offset(53);
    for (int x = 0; x < view.width; ++x) {
        PixelReal(ExactDecimal{}, view.radius, x, view.width, view.height, offset.x, MPFR_RNDN);
        impl->columnOffsets.push_back(ToFloatExp(offset.x));
    }
    const std::int64_t smallest = DecimalMagnitude(view.radius) - DecimalDigits(view.height);
    const std::int64_t largest = DecimalMagnitude(view.radius) + 1;
    impl->extended = smallest < kDoubleMinMagnitude || largest > kDoubleMaxMagnitude;
    impl->buildBla();
    return DeepPicture(std::move(impl));
}

bool DeepPicture::countRows(int firstRow, int rows, std::uint32_t* counts,
                            const std::atomic<bool>* stop) const {
    const Impl& impl = *m_impl;
    assert(firstRow >= 0 && rows >= 0 && firstRow + rows <= impl.view.height && "rows of the picture");
    const PerturbationOrbits orbits = impl.orbits();
    const auto width = static_cast<std::size_t>(impl.view.width);
    const auto worker = [&](int first, int step) {
        for (int row = first; row < rows; row += step) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return;
            }
            std::uint32_t* out = counts + static_cast<std::size_t>(row) * width;
            if (impl.extended) {
                impl.countRow<FloatExp>(orbits, firstRow + row, out, stop);
            } else {
                impl.countRow<double>(orbits, firstRow + row, out, stop);
            }
        }
    };
    // Rows interleaved over the threads, so that a band where the counts are high (near the
    // set) is shared rather than given to one thread.
    const int threads =
        std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, std::max(rows, 1));
    std::vector<std::jthread> pool;
    for (int t = 1; t < threads; ++t) {
        pool.emplace_back(worker, t, threads);
    }
    worker(0, threads);
    pool.clear(); // joins
    return stop == nullptr || !stop->load(std::memory_order_relaxed);
}

} // namespace deep
