#include "pixel_loop.h"

#include <immintrin.h>

namespace deep {

namespace {

/// The double loop takes over once |δ|² reaches 2^-900 and hands back below 2^-1000. Both are
/// normal doubles, so neither δ² nor the test ever meets a subnormal (which costs a hundred
/// cycles an operation on common processors), and the gap keeps a pixel from switching at
/// every step. A δc below 2^-1000 is dropped from double steps: next to |δ| ≥ 2^-500 it lies
/// past any double's last place.
constexpr double kToDoubleNorm = 0x1p-900;
constexpr double kToExtendedNorm = 0x1p-1000;
constexpr std::int64_t kSmallestDoubleDeltaC = -1000;

double DoubleOrZero(FloatExp value) {
    return value.exponent() > kSmallestDoubleDeltaC ? value.toDouble() : 0.0;
}

} // namespace

PixelLoop::PixelLoop(std::span<const OrbitPoint> main, std::span<const OrbitPoint> rebase, FloatExp deltaCMax,
                     bool extended, const std::atomic<bool>* stop)
    : m_scale(deltaCMax.isZero() ? 0 : deltaCMax.exponent()), m_extended(extended),
      m_handBackNorm(extended ? kToExtendedNorm : 0.0) {
    m_points.reserve(main.size() + rebase.size());
    m_main.points = main;
    build(m_main, deltaCMax, stop);
    if (!rebase.empty()) {
        m_rebase.points = rebase;
        build(m_rebase, deltaCMax, stop);
    }
    m_stopped = stop != nullptr && stop->load(std::memory_order_relaxed);
    if (!m_stopped && rebase.empty() && !deltaCMax.isZero()) {
        shareStart(deltaCMax);
    }
}

void PixelLoop::shareStart(FloatExp deltaCMax) {
    // A Mandelbrot pixel's first step gives δ_1 = δc exactly (Z_0 = 0, δ_0 = 0), and every run
    // after it is linear in δc: δ_m = C_m δc. While the runs hold for the largest |δc| they hold
    // for every pixel, so that part is walked once here, with |δ_m| ≤ |C_m| |δc|max.
    const std::span<const OrbitPoint> orbit = m_main.points;
    Complex<FloatExp> factor{FloatExp(1.0), FloatExp(0.0)};
    std::size_t m = 1;
    const auto left = static_cast<std::int64_t>(orbit.size()) - 1;
    while (m < orbit.size()) {
        const FloatExp deltaNorm = factor.norm() * deltaCMax * deltaCMax;
        std::int64_t length = 0;
        Complex<FloatExp> a;
        Complex<FloatExp> b;
        if (m_extended) {
            const BlaStep<FloatExp>* run =
                m_main.extendedRuns.find(m, deltaNorm, left - static_cast<std::int64_t>(m), length);
            if (run == nullptr || length < 2) {
                break;
            }
            a = run->a;
            b = run->b;
        } else {
            const ScaledRun* run =
                m_main.runs.find(m, deltaNorm.toDouble(), left - static_cast<std::int64_t>(m), length);
            if (run == nullptr) {
                break;
            }
            a = {FloatExp(run->aRe), FloatExp(run->aIm)};
            b = {FloatExp(run->bRe).ldexp(-m_scale), FloatExp(run->bIm).ldexp(-m_scale)};
        }
        factor = a * factor + b;
        m += static_cast<std::size_t>(length);
    }
    if (m > 1) {
        m_sharedSteps = m;
        m_sharedFactor = factor;
    }
}

void PixelLoop::build(Orbit& orbit, FloatExp deltaCMax, const std::atomic<bool>* stop) {
    if (m_extended) {
        orbit.extendedRuns = BlaTable<FloatExp>(orbit.points, deltaCMax, stop);
        orbit.runs = ScaledBlaTable(orbit.extendedRuns, m_scale);
    } else {
        orbit.runs = ScaledBlaTable(BlaTable<double>(orbit.points, deltaCMax.toDouble(), stop), m_scale);
    }
    orbit.first = m_points.size();
    for (std::size_t m = 0; m < orbit.points.size(); ++m) {
        m_points.push_back(
            {orbit.points[m].re, orbit.points[m].im, orbit.runs.firstRadius2(m), orbit.runs.spanOf(m)});
    }
}

PixelState<double> PixelLoop::extendedLoop(PixelState<FloatExp> state, Complex<FloatExp> deltaC,
                                           std::int64_t maxIterations, const std::atomic<bool>* stop,
                                           PerturbationStats* stats) const {
    const Orbit& rebase = rebaseOrbit();
    const PerturbationOrbits orbits{m_main.points, rebase.points};
    const PerturbationBla<FloatExp> runs{&m_main.extendedRuns, &rebase.extendedRuns};
    state =
        Perturb<FloatExp>(orbits, state, deltaC, maxIterations, stop, runs, FloatExp(kToDoubleNorm), stats);
    return {state.onRebase,
            state.m,
            state.n,
            {state.delta.re.toDouble(), state.delta.im.toDouble()},
            state.finished};
}

PixelLoop::Pixel PixelLoop::start(Complex<FloatExp> delta0, Complex<FloatExp> deltaC,
                                  std::int64_t maxIterations, const std::atomic<bool>* stop,
                                  PerturbationStats* stats) const {
    Pixel pixel;
    pixel.deltaC = deltaC;
    pixel.plainDeltaC = {DoubleOrZero(deltaC.re), DoubleOrZero(deltaC.im)};
    pixel.scaledDeltaC = {deltaC.re.ldexp(-m_scale).toDouble(), deltaC.im.ldexp(-m_scale).toDouble()};
    PixelState<FloatExp> wide;
    wide.delta = delta0;
    if (m_sharedSteps > 0 && delta0.re.isZero() && delta0.im.isZero() &&
        static_cast<std::int64_t>(m_sharedSteps) <= maxIterations) {
        wide.m = m_sharedSteps;
        wide.n = static_cast<std::int64_t>(m_sharedSteps);
        wide.delta = m_sharedFactor * deltaC;
        if (stats != nullptr) {
            stats->iterations += wide.n;
            stats->skippedIterations += wide.n - 1;
            ++stats->skips;
        }
    }
    if (m_extended && wide.delta.norm() < FloatExp(kToDoubleNorm)) {
        pixel.state = extendedLoop(wide, deltaC, maxIterations, stop, stats);
    } else if (wide.m > 0) {
        pixel.state = {false, wide.m, wide.n, {wide.delta.re.toDouble(), wide.delta.im.toDouble()}, false};
    } else {
        pixel.state.delta = {delta0.re.toDouble(), delta0.im.toDouble()};
    }
    return pixel;
}

std::int64_t PixelLoop::finish(Pixel pixel, std::int64_t maxIterations, const std::atomic<bool>* stop,
                               PerturbationStats* stats) const {
    for (;;) {
        if (pixel.state.finished) {
            return pixel.state.n;
        }
        doubleLoop(pixel, maxIterations, stop, stats);
        if (pixel.state.finished) {
            return pixel.state.n;
        }
        const PixelState<double>& narrow = pixel.state;
        pixel.state = extendedLoop({narrow.onRebase,
                                    narrow.m,
                                    narrow.n,
                                    {FloatExp(narrow.delta.re), FloatExp(narrow.delta.im)},
                                    false},
                                   pixel.deltaC, maxIterations, stop, stats);
    }
}

std::int64_t PixelLoop::count(Complex<FloatExp> delta0, Complex<FloatExp> deltaC, std::int64_t maxIterations,
                              const std::atomic<bool>* stop, PerturbationStats* stats) const {
    return finish(start(delta0, deltaC, maxIterations, stop, stats), maxIterations, stop, stats);
}

void PixelLoop::doubleLoop(Pixel& p, std::int64_t maxIterations, const std::atomic<bool>* stop,
                           PerturbationStats* stats, int plainSteps) const {
    // The state lives in locals while the loop runs: kept in the Pixel, every step would wait
    // for its own stores.
    PixelState<double>& state = p.state;
    std::int64_t plainLeft = plainSteps;
    const Orbit* orbit = &orbitOf(state);
    const LoopPoint* points = m_points.data() + orbit->first;
    std::size_t last = orbit->points.size() - 1;
    const double cRe = p.plainDeltaC.re;
    const double cIm = p.plainDeltaC.im;
    const double sRe = p.scaledDeltaC.re;
    const double sIm = p.scaledDeltaC.im;
    std::size_t m = state.m;
    std::int64_t n = state.n;
    double dRe = state.delta.re;
    double dIm = state.delta.im;
    bool onRebase = state.onRebase;
    bool finished = false;
    std::int64_t nextStopCheck = (n / kPixelStopInterval + 1) * kPixelStopInterval;
    const std::int64_t firstN = n;
    for (;;) {
        const LoopPoint& point = points[m];
        const double zRe = point.re + dRe;
        const double zIm = point.im + dIm;
        const double zNorm = zRe * zRe + zIm * zIm;
        if (zNorm > 65536.0 || n == maxIterations) {
            finished = true;
            break;
        }
        if (n >= nextStopCheck) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                finished = true;
                break;
            }
            nextStopCheck += kPixelStopInterval;
        }
        const double deltaNorm = dRe * dRe + dIm * dIm;
        if (m == last || zNorm < deltaNorm) {
            // As in PerturbedCount: continue from the orbit of 0 with z as the difference.
            onRebase = true;
            m = 0;
            dRe = zRe;
            dIm = zIm;
            orbit = &rebaseOrbit();
            points = m_points.data() + orbit->first;
            last = orbit->points.size() - 1;
            continue;
        }
        if (deltaNorm < point.runRadius2) {
            std::int64_t length = 0;
            if (const ScaledRun* run = orbit->runs.find(point.runs, deltaNorm, maxIterations - n, length)) {
                const double re = run->aRe * dRe - run->aIm * dIm + (run->bRe * sRe - run->bIm * sIm);
                dIm = run->aRe * dIm + run->aIm * dRe + (run->bRe * sIm + run->bIm * sRe);
                dRe = re;
                m += static_cast<std::size_t>(length);
                n += length;
                plainLeft = plainSteps;
                if (stats != nullptr) {
                    ++stats->skips;
                    stats->skippedIterations += length;
                }
                continue;
            }
        }
        if (deltaNorm < m_handBackNorm || plainLeft-- == 0) { // from -1 it never reaches 0
            break;
        }
        const double aRe = point.re + point.re + dRe;
        const double aIm = point.im + point.im + dIm;
        const double re = aRe * dRe - aIm * dIm + cRe;
        dIm = aRe * dIm + aIm * dRe + cIm;
        dRe = re;
        ++m;
        ++n;
    }
    state = {onRebase, m, n, {dRe, dIm}, finished};
    if (stats != nullptr) {
        stats->iterations += n - firstN;
    }
}

// ------------------------------------------------------------------------------ side by side

#define DEEP_AVX2 __attribute__((target("avx2")))

namespace {

/// How many plain steps in a row the scalar loop takes for a lane before it hands it back.
constexpr int kScalarPlainSteps = 16;

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

} // namespace

void PixelLoop::countRows(RowSource& rows, bool julia, std::int64_t maxIterations,
                          const std::atomic<bool>* stop) const {
    static const bool lanes = CpuHasAvx2();
    if (lanes) {
        countRowsInLanes(rows, julia, maxIterations, stop);
        return;
    }
    PixelRow row;
    while (rows.next(row)) {
        const Complex<FloatExp> zero{FloatExp(0.0), FloatExp(0.0)};
        for (int x = 0; x < row.width; ++x) {
            const Complex<FloatExp> offset{row.columns[x], row.im};
            row.out[x] = static_cast<std::uint32_t>(julia ? count(offset, zero, maxIterations, stop)
                                                          : count(zero, offset, maxIterations, stop));
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                return;
            }
        }
    }
}

struct LaneGroup;
struct LaneConstants;

/// Eight pixels in two groups of four vector lanes. Each lane does the double loop's steps and
/// rebases; whatever else a pixel meets (its end, a run, leaving the double range) is done for
/// that lane alone by the scalar code, in the double loop's order, so every pixel gets the
/// count the double loop gives it. A lane whose pixel ends takes the next pixel at once.
class PixelLoop::Lanes {
public:
    static constexpr int kWidth = 4;
    static constexpr int kGroups = 2;
    static constexpr int kLanes = kWidth * kGroups;

    Lanes(const PixelLoop& loop, RowSource& rows, bool julia, std::int64_t maxIterations,
          const std::atomic<bool>* stop)
        : m_loop(loop), m_rows(rows), m_julia(julia), m_max(maxIterations), m_stop(stop) {}

    DEEP_AVX2 void run();

private:
    DEEP_AVX2 LaneGroup load(int o) const;
    DEEP_AVX2 bool pass(LaneGroup& g, int o, const LaneConstants& k);

    /// Lane state between vector passes, as the scalar code reads and writes it.
    struct Spill {
        alignas(32) double dRe[kLanes];
        alignas(32) double dIm[kLanes];
        alignas(32) double cRe[kLanes];
        alignas(32) double cIm[kLanes];
        alignas(32) std::int64_t point[kLanes]; // index into m_points
        alignas(32) std::int64_t n[kLanes];
        alignas(32) std::int64_t last[kLanes];   // index of the lane's orbit's last point
        alignas(32) std::int64_t active[kLanes]; // all ones for a lane holding a pixel
    };

    /// Puts the next pixel into lane l, or marks it empty; false when there is none.
    bool fill(int l);
    /// The lane's state as a Pixel, from the spill.
    void toPixel(int l);
    void fromPixel(int l);
    /// Does what the scalar loop does for lane l from its point on, until it ends (then the
    /// lane takes the next pixel) or meets kScalarPlainSteps plain steps in a row.
    void special(int l);

    const PixelLoop& m_loop;
    RowSource& m_rows;
    bool m_julia;
    std::int64_t m_max;
    const std::atomic<bool>* m_stop;
    PixelRow m_row;
    int m_x = 0;
    bool m_rowsLeft = true;
    Spill m_spill{};
    Pixel m_pixels[kLanes];
    std::uint32_t* m_out[kLanes] = {};
};

bool PixelLoop::Lanes::fill(int l) {
    const Complex<FloatExp> zero{FloatExp(0.0), FloatExp(0.0)};
    while (m_rowsLeft) {
        if (m_row.out == nullptr || m_x >= m_row.width) {
            m_rowsLeft = m_rows.next(m_row);
            m_x = 0;
            continue;
        }
        const Complex<FloatExp> offset{m_row.columns[m_x], m_row.im};
        std::uint32_t* out = m_row.out + m_x;
        ++m_x;
        Pixel pixel = m_julia ? m_loop.start(offset, zero, m_max, m_stop, nullptr)
                              : m_loop.start(zero, offset, m_max, m_stop, nullptr);
        if (pixel.state.finished) {
            *out = static_cast<std::uint32_t>(pixel.state.n);
            continue;
        }
        m_pixels[l] = pixel;
        m_out[l] = out;
        fromPixel(l);
        m_spill.active[l] = -1;
        return true;
    }
    m_spill.active[l] = 0;
    m_spill.point[l] = 0;
    m_spill.last[l] = -1;
    m_spill.n[l] = 0;
    m_spill.dRe[l] = m_spill.dIm[l] = m_spill.cRe[l] = m_spill.cIm[l] = 0.0;
    return false;
}

void PixelLoop::Lanes::toPixel(int l) {
    PixelState<double>& state = m_pixels[l].state;
    // The vector loop rebases without telling: a lane on the rebase orbit's points is on it.
    const Orbit& rebase = m_loop.rebaseOrbit();
    state.onRebase = state.onRebase || static_cast<std::size_t>(m_spill.point[l]) >= rebase.first;
    state.delta = {m_spill.dRe[l], m_spill.dIm[l]};
    state.m = static_cast<std::size_t>(m_spill.point[l]) - m_loop.orbitOf(state).first;
    state.n = m_spill.n[l];
}

void PixelLoop::Lanes::fromPixel(int l) {
    const Pixel& pixel = m_pixels[l];
    const Orbit& orbit = m_loop.orbitOf(pixel.state);
    m_spill.dRe[l] = pixel.state.delta.re;
    m_spill.dIm[l] = pixel.state.delta.im;
    m_spill.cRe[l] = pixel.plainDeltaC.re;
    m_spill.cIm[l] = pixel.plainDeltaC.im;
    m_spill.point[l] = static_cast<std::int64_t>(orbit.first + pixel.state.m);
    m_spill.n[l] = pixel.state.n;
    m_spill.last[l] = static_cast<std::int64_t>(orbit.first + orbit.points.size() - 1);
}

void PixelLoop::Lanes::special(int l) {
    toPixel(l);
    Pixel& pixel = m_pixels[l];
    // Runs come in chains, a few plain steps apart where the reference passes nearer 0 and
    // the runs' radii shrink with it: the scalar loop takes the whole chain, until it meets
    // kScalarPlainSteps plain steps in a row, and the lane goes on from there. Handing a lane
    // back and forth costs more than a few plain steps in scalar code.
    m_loop.doubleLoop(pixel, m_max, m_stop, nullptr, kScalarPlainSteps);
    const PixelState<double>& state = pixel.state;
    if (!state.finished && state.delta.norm() < m_loop.m_handBackNorm) {
        pixel.state.n = m_loop.finish(pixel, m_max, m_stop, nullptr);
        pixel.state.finished = true;
    }
    if (state.finished) {
        *m_out[l] = static_cast<std::uint32_t>(state.n);
        fill(l);
    } else {
        fromPixel(l);
    }
}

/// One group of four lanes in registers.
struct LaneGroup {
    __m256d dRe, dIm; // the differences δ
    __m256d cRe, cIm; // δc as the plain step adds it
    __m256i point;    // index into the loop's points
    __m256i n;
    __m256i last; // index of the last point of the lane's orbit
    __m256i active;
};

/// What every pass reads besides the group.
struct LaneConstants {
    const LoopPoint* points;
    __m256d escape;
    __m256d handBack;
    __m256i limit;
    __m256i one;
    __m256i rebaseFirst;
    __m256i rebaseLast;
};

DEEP_AVX2 inline LaneGroup PixelLoop::Lanes::load(int o) const {
    LaneGroup g;
    g.dRe = _mm256_load_pd(m_spill.dRe + o);
    g.dIm = _mm256_load_pd(m_spill.dIm + o);
    g.cRe = _mm256_load_pd(m_spill.cRe + o);
    g.cIm = _mm256_load_pd(m_spill.cIm + o);
    g.point = _mm256_load_si256(reinterpret_cast<const __m256i*>(m_spill.point + o));
    g.n = _mm256_load_si256(reinterpret_cast<const __m256i*>(m_spill.n + o));
    g.last = _mm256_load_si256(reinterpret_cast<const __m256i*>(m_spill.last + o));
    g.active = _mm256_load_si256(reinterpret_cast<const __m256i*>(m_spill.active + o));
    return g;
}

/// One pass of a group: every lane takes its next step, or its rebase, or (in special()) its
/// end or its chain of runs. False when no lane of the group holds a pixel.
DEEP_AVX2 __attribute__((always_inline)) inline bool PixelLoop::Lanes::pass(LaneGroup& g, int o,
                                                                            const LaneConstants& k) {
    alignas(32) std::int64_t index[kWidth];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index), g.point);
    // Four points, one 32-byte load each, turned into vectors of re, im and radius².
    const __m256d p0 = _mm256_loadu_pd(&k.points[index[0]].re);
    const __m256d p1 = _mm256_loadu_pd(&k.points[index[1]].re);
    const __m256d p2 = _mm256_loadu_pd(&k.points[index[2]].re);
    const __m256d p3 = _mm256_loadu_pd(&k.points[index[3]].re);
    const __m256d t0 = _mm256_unpacklo_pd(p0, p1);
    const __m256d t1 = _mm256_unpackhi_pd(p0, p1);
    const __m256d t2 = _mm256_unpacklo_pd(p2, p3);
    const __m256d t3 = _mm256_unpackhi_pd(p2, p3);
    const __m256d zr = _mm256_permute2f128_pd(t0, t2, 0x20);
    const __m256d zi = _mm256_permute2f128_pd(t1, t3, 0x20);
    const __m256d radius2 = _mm256_permute2f128_pd(t0, t2, 0x31);

    const __m256d zRe = _mm256_add_pd(zr, g.dRe);
    const __m256d zIm = _mm256_add_pd(zi, g.dIm);
    const __m256d zNorm = _mm256_add_pd(_mm256_mul_pd(zRe, zRe), _mm256_mul_pd(zIm, zIm));
    const __m256d deltaNorm = _mm256_add_pd(_mm256_mul_pd(g.dRe, g.dRe), _mm256_mul_pd(g.dIm, g.dIm));
    // The scalar loop's order: an end, else a rebase, else a run or leaving the double range,
    // else a plain step. Rebases are done here; ends and the rest by special().
    const __m256d live = _mm256_castsi256_pd(g.active);
    const __m256d ends = _mm256_or_pd(_mm256_cmp_pd(zNorm, k.escape, _CMP_GT_OQ),
                                      _mm256_castsi256_pd(_mm256_cmpeq_epi64(g.n, k.limit)));
    __m256d rebase = _mm256_or_pd(_mm256_castsi256_pd(_mm256_cmpeq_epi64(g.point, g.last)),
                                  _mm256_cmp_pd(zNorm, deltaNorm, _CMP_LT_OQ));
    rebase = _mm256_and_pd(_mm256_andnot_pd(ends, rebase), live);
    __m256d odd = _mm256_or_pd(_mm256_cmp_pd(deltaNorm, radius2, _CMP_LT_OQ),
                               _mm256_cmp_pd(deltaNorm, k.handBack, _CMP_LT_OQ));
    odd = _mm256_and_pd(_mm256_or_pd(ends, _mm256_andnot_pd(rebase, odd)), live);
    __m256d step = _mm256_andnot_pd(_mm256_or_pd(odd, rebase), live);

    const __m256d aRe = _mm256_add_pd(_mm256_add_pd(zr, zr), g.dRe);
    const __m256d aIm = _mm256_add_pd(_mm256_add_pd(zi, zi), g.dIm);
    __m256d nextRe =
        _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(aRe, g.dRe), _mm256_mul_pd(aIm, g.dIm)), g.cRe);
    __m256d nextIm =
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(aRe, g.dIm), _mm256_mul_pd(aIm, g.dRe)), g.cIm);
    nextRe = _mm256_blendv_pd(nextRe, zRe, rebase);
    nextIm = _mm256_blendv_pd(nextIm, zIm, rebase);

    if (const int mask = _mm256_movemask_pd(odd); mask != 0) [[unlikely]] {
        _mm256_store_pd(m_spill.dRe + o, g.dRe);
        _mm256_store_pd(m_spill.dIm + o, g.dIm);
        _mm256_store_si256(reinterpret_cast<__m256i*>(m_spill.point + o), g.point);
        _mm256_store_si256(reinterpret_cast<__m256i*>(m_spill.n + o), g.n);
        for (int l = 0; l < kWidth; ++l) {
            if ((mask >> l & 1) != 0) {
                special(o + l);
            }
        }
        g = load(o); // the other lanes come back as they were
    }
    const __m256d change = _mm256_or_pd(step, rebase);
    g.dRe = _mm256_blendv_pd(g.dRe, nextRe, change);
    g.dIm = _mm256_blendv_pd(g.dIm, nextIm, change);
    g.point = _mm256_castpd_si256(
        _mm256_blendv_pd(_mm256_castsi256_pd(g.point), _mm256_castsi256_pd(k.rebaseFirst), rebase));
    g.last = _mm256_castpd_si256(
        _mm256_blendv_pd(_mm256_castsi256_pd(g.last), _mm256_castsi256_pd(k.rebaseLast), rebase));
    const __m256i advance = _mm256_and_si256(_mm256_castpd_si256(step), k.one);
    g.point = _mm256_add_epi64(g.point, advance);
    g.n = _mm256_add_epi64(g.n, advance);
    return _mm256_movemask_pd(_mm256_castsi256_pd(g.active)) != 0;
}

DEEP_AVX2 void PixelLoop::Lanes::run() {
    for (int l = 0; l < kLanes; ++l) {
        fill(l);
    }
    const Orbit& rebaseOrbit = m_loop.rebaseOrbit();
    const LaneConstants k{
        m_loop.m_points.data(),
        _mm256_set1_pd(65536.0),
        _mm256_set1_pd(m_loop.m_handBackNorm),
        _mm256_set1_epi64x(m_max),
        _mm256_set1_epi64x(1),
        _mm256_set1_epi64x(static_cast<std::int64_t>(rebaseOrbit.first)),
        _mm256_set1_epi64x(static_cast<std::int64_t>(rebaseOrbit.first + rebaseOrbit.points.size() - 1)),
    };
    static_assert(kGroups == 2, "two groups in flight hide the latency of a step");
    LaneGroup g0 = load(0);
    LaneGroup g1 = load(kWidth);
    for (std::int64_t passes = 1;; ++passes) {
        const bool busy0 = pass(g0, 0, k);
        const bool busy1 = pass(g1, kWidth, k);
        if (!busy0 && !busy1) {
            return;
        }
        if ((passes & 0xffff) == 0 && m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) {
            return;
        }
    }
}

DEEP_AVX2 void PixelLoop::countRowsInLanes(RowSource& rows, bool julia, std::int64_t maxIterations,
                                           const std::atomic<bool>* stop) const {
    Lanes(*this, rows, julia, maxIterations, stop).run();
}

} // namespace deep
