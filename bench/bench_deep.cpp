// Deep views at the three published benchmark depths: the whole picture (reference orbit,
// linear-run tables and every pixel), the reference orbit alone, and the share of pixel
// iterations the linear runs take over. The targets at 1024 × 1024 are 0.8 s (1e14), 1.1 s
// (5e113) and 2.2 s (4e533) for the whole picture. The reference orbit at a radius of 1e-100000
// (about 332,000 bits) must cost at most 1.5 ms per iteration (wall time, with two cores free).
// peak_rss_MB is the process's high-water mark so far, so a run of one benchmark alone
// (--benchmark_filter) gives its own.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include <mpfr.h>
#include <sys/resource.h>

#include "bla_table.h"
#include "decimal_mpfr.h"
#include "deep_render.h"
#include "perturbation.h"
#include "pixel_loop.h"
#include "precision.h"
#include "reference_orbit.h"

namespace {

struct Location {
    const char* re;
    const char* im;
    const char* radius;
    std::int64_t iterations;
};

// Centre, radius (half the view's height) and iteration limit, as published.
const Location kLocations[] = {
    {"-1.759817130804847813610825010561798238243999999999999999999800",
     "-0.012593310799749865383746631843264858450340000000000000000000", "2e-14", 4036},
    {"-1."
     "47981577613247326072298452597877854692240725774045369689878510139864920741002293820250517329282011227"
     "363313053159203914640783415609608168660705123082446357179491909705403381200",
     "-0."
     "00063911193261361727152139632255671572957303918943984736047394936471220951961813321928573067036466151"
     "147195436388486168819318341208023229522609015461543581599807510715681229605",
     "4e-114", 35494},
    {"-1."
     "76910833040747728089230624355777848356006391186234006507787883404189297159859080844234601990886820204"
     "375798539711744042815186207867460953613415842432757944592767829349335811233344529101414256593211862449"
     "597012320484442182435300186806636928772790198745922046142684209058217860629186666350353426119156588068"
     "800663472823306396040025965062872111452567447461778249159612483961826938045120616222919425540724435314"
     "735525341255820663672868054494834304368733487681716181154843412847462148699796875704432080579735378707"
     "932099259943340496912407404389999999999999999999998",
     "-0."
     "00902068805707261760036093598494762011230558467412386688972791981712911000027307032573465274857726041"
     "164197728426795343558667918574806252145218561840172051237592827928284001732546143539590034733383167886"
     "737270960837393773203586137673223357330612418801177955434724672703229251690060990669896274784498860242"
     "840497701851849033318045752945025236339275315448898727818174162698044355889583608736485127229946909629"
     "832632750839622459160046934443901886226621505107842448159935017841941045354364042323342824193503392819"
     "832038805610324279071648713679999999999999999999998",
     "5e-534", 120000},
};
const char* const kNames[] = {"1e14", "5e113", "4e533"};

/// The process's peak resident memory so far, in MB (Linux reports ru_maxrss in KiB).
double PeakResidentMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

deep::DeepView View(const Location& location, int size) {
    deep::DeepView view;
    view.re = deep::ParseExactDecimal(location.re).value();
    view.im = deep::ParseExactDecimal(location.im).value();
    view.radius = deep::ParseExactDecimal(location.radius).value();
    view.iterations = location.iterations;
    view.width = size;
    view.height = size;
    return view;
}

/// The reference orbit of the view's centre, as prepare() computes it.
deep::ReferenceOrbit Reference(const deep::DeepView& view) {
    const mpfr_prec_t bits = deep::ViewPrecision(view.re, view.im, view.radius, view.height);
    mpfr_t re, im, zero;
    mpfr_inits2(bits, re, im, zero, static_cast<mpfr_ptr>(nullptr));
    deep::ToMpfr(view.re, re, MPFR_RNDN);
    deep::ToMpfr(view.im, im, MPFR_RNDN);
    mpfr_set_zero(zero, 1);
    deep::OrbitRequest request;
    request.cRe = re;
    request.cIm = im;
    request.z0Re = zero;
    request.z0Im = zero;
    request.maxIterations = view.iterations;
    request.precision = bits;
    deep::ReferenceOrbit orbit = deep::ComputeReferenceOrbit(request);
    mpfr_clears(re, im, zero, static_cast<mpfr_ptr>(nullptr));
    return orbit;
}

void BM_DeepPicture(benchmark::State& state) {
    const deep::DeepView view = View(kLocations[state.range(0)], static_cast<int>(state.range(1)));
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(view.width) *
                                      static_cast<std::size_t>(view.height));
    for (auto _ : state) {
        std::string error;
        auto picture = deep::DeepPicture::prepare(view, {}, error);
        if (!picture || !picture->countRows(0, view.height, counts.data(), nullptr)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(counts.data());
    }
    const double iterations =
        static_cast<double>(std::accumulate(counts.begin(), counts.end(), std::uint64_t{0}));
    state.counters["pixel_iterations_per_s"] =
        benchmark::Counter(iterations * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_rss_MB"] = PeakResidentMb();
    state.SetLabel(kNames[state.range(0)]);
}

void BM_DeepReferenceOrbit(benchmark::State& state) {
    const deep::DeepView view = View(kLocations[state.range(0)], 1024);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Reference(view).count);
    }
    state.SetLabel(kNames[state.range(0)]);
}

/// The reference orbit at a radius of 1e-100000 (about 332,000 bits) for range(0) iterations,
/// of one of two points whose orbits stay bounded that long:
/// - range(1) = 0: c = −1.7·10^-100000 + i, a pixel at the left edge of a view of i. i itself
///   is a poor test: its orbit (i, −1 + i, −i, −1 + i, ...) holds small integers, which MPFR
///   multiplies in no time. The pixel's orbit stays near that cycle for some 260,000 iterations,
///   its numbers a small integer plus a tail in the last bits, the case where a rounded MPFR
///   product costs twice an exact one.
/// - range(1) = 1: the 4e533 centre, whose numbers have every bit set.
void BM_DeepReferenceOrbitPerIteration(benchmark::State& state) {
    deep::DeepView view;
    if (state.range(1) == 0) {
        view.re = deep::ParseExactDecimal("-1.7e-100000").value();
        view.im = deep::ParseExactDecimal("1").value();
        state.SetLabel("pixel beside i");
    } else {
        view.re = deep::ParseExactDecimal(kLocations[2].re).value();
        view.im = deep::ParseExactDecimal(kLocations[2].im).value();
        state.SetLabel("4e533 centre");
    }
    view.radius = deep::ParseExactDecimal("1e-100000").value();
    view.iterations = state.range(0);
    view.width = 1920;
    view.height = 1080;
    // Wall time, since the orbit's two products run on two threads.
    std::int64_t count = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        count = Reference(view).count;
        benchmark::DoNotOptimize(count);
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    state.counters["ms_per_iteration"] =
        elapsed.count() / static_cast<double>(std::max<std::int64_t>(count, 1) * state.iterations());
    state.counters["bits"] =
        static_cast<double>(deep::ViewPrecision(view.re, view.im, view.radius, view.height));
    state.counters["peak_rss_MB"] = PeakResidentMb();
}

/// Every `step`-th pixel of a size × size picture, counted as pictures count them; the offsets
/// are rounded a few times rather than once, which leaves the share unchanged.
deep::PerturbationStats SkipStats(const deep::DeepView& view, int step) {
    const deep::ReferenceOrbit reference = Reference(view);
    // The three radii are one digit times a power of ten; 534 roundings leave the share as it is.
    deep::FloatExp r(static_cast<double>(std::stoi(view.radius.digits)));
    for (std::int64_t i = 0; i < -view.radius.exponent; ++i) {
        r = r / deep::FloatExp(10.0);
    }
    const bool extended = r.log2Abs() < -900.0;
    const deep::PixelLoop loop(reference.points, {}, r * deep::FloatExp(1.5), extended);
    deep::PerturbationStats stats;
    const int size = view.width;
    for (int y = 0; y < size; y += step) {
        for (int x = 0; x < size; x += step) {
            const deep::Complex<deep::FloatExp> deltaC{
                r * deep::FloatExp(static_cast<double>(2 * x - size) / size),
                r * deep::FloatExp(static_cast<double>(size - 2 * y) / size)};
            (void)loop.count({}, deltaC, view.iterations, nullptr, &stats);
        }
    }
    return stats;
}

void BM_DeepSkippedShare(benchmark::State& state) {
    const deep::DeepView view = View(kLocations[state.range(0)], 256);
    deep::PerturbationStats stats;
    for (auto _ : state) {
        stats = SkipStats(view, 4);
    }
    state.counters["skipped_share"] = static_cast<double>(stats.skippedIterations) /
                                      static_cast<double>(std::max<std::int64_t>(stats.iterations, 1));
    state.counters["steps"] = static_cast<double>(stats.iterations - stats.skippedIterations);
    state.counters["runs"] = static_cast<double>(stats.skips);
    state.counters["iterations_per_run"] = static_cast<double>(stats.skippedIterations) /
                                           static_cast<double>(std::max<std::int64_t>(stats.skips, 1));
    state.SetLabel(kNames[state.range(0)]);
}

} // namespace

BENCHMARK(BM_DeepReferenceOrbit)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DeepReferenceOrbitPerIteration)
    ->Args({300, 0})
    ->Args({300, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_DeepSkippedShare)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DeepPicture)
    ->ArgsProduct({{0, 1, 2}, {256}})
    ->Args({0, 1024})
    ->Args({1, 1024})
    ->Args({2, 1024})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
