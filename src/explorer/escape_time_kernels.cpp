#include "escape_time_kernels.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include <immintrin.h>

// Every kernel performs exactly the operations of EscapeCount on each pixel, in the same order
// and with the same roundings, so the counts agree bit for bit. Two rewrites keep that promise:
// the squared-modulus test (see kEscapeSquared), and 2 * (zr * zi) in place of zr * zi + zi * zr,
// which is exact because doubling only moves the exponent. The vector kernels fuse that into
// fma(zr * zi, 2, ci), which rounds the exact 2 * (zr * zi) + ci once, as the sum does; the two
// could differ only if the doubling overflowed, and a lane still iterating has |z| <= 256 or a
// NaN part, which stays NaN either way.
//
// A lane whose state (zr, zi) repeats exactly is on a cycle of states that all passed the escape
// test, so it can never escape: it counts 256 without running the rest. The comparison is on the
// bits, so no two different states are confused.

namespace explorer::detail {

namespace {

constexpr int kNoColumn = 0x7fffffff;

// Hands out the pixels of the columns this worker takes, column by column, and publishes those
// columns in ascending order once no lane holds one of their pixels any more. Columns are taken
// a few at a time and published only once a whole group is handed out, so a presenter waiting
// column by column is woken once per group rather than once per column.
class Feed {
public:
    explicit Feed(const KernelJob& j) : m_job(j), m_row(j.rows) {
        // Enough for every group, so taking one never allocates.
        m_groups.reserve(static_cast<std::size_t>(j.columns / j.group + 1));
    }

    // Moves on to a fresh column when the current one is handed out; false when none is left.
    bool ready() {
        if (m_row < m_job.rows) {
            return true;
        }
        if (m_column + 1 < m_groupEnd) {
            ++m_column;
            m_row = 0;
            return true;
        }
        if (m_exhausted || m_job.cancel->load(std::memory_order_relaxed)) {
            m_exhausted = true;
            return false;
        }
        const int first = m_job.nextColumn->fetch_add(m_job.group, std::memory_order_relaxed);
        if (first >= m_job.columns) {
            m_exhausted = true;
            return false;
        }
        m_column = first;
        m_groupEnd = std::min(m_job.columns, first + m_job.group);
        m_row = 0;
        m_groups.push_back(first);
        return true;
    }

    [[nodiscard]] int column() const { return m_column; }
    [[nodiscard]] int row() const { return m_row; }
    [[nodiscard]] int available() const { return m_job.rows - m_row; }
    void advance(int pixels) { m_row += pixels; }

    // Where the next pixel's count goes.
    [[nodiscard]] std::uint16_t* out() const {
        return m_job.counts + static_cast<std::size_t>(m_column) * static_cast<std::size_t>(m_job.rows) +
               static_cast<std::size_t>(m_row);
    }

    // True once the oldest unpublished group is handed out, so the lanes are worth looking at.
    [[nodiscard]] bool publishable() const {
        if (m_published >= m_groups.size()) {
            return false;
        }
        const int first = m_groups[m_published];
        return first != currentGroup() || std::min(m_job.columns, first + m_job.group) <= handedBelow();
    }

    // Publishes the groups that are handed out and below `open`, the lowest column a lane still
    // works on.
    void publish(int open) {
        while (m_published < m_groups.size()) {
            const int first = m_groups[m_published];
            const int end = std::min(m_job.columns, first + m_job.group);
            const int limit = first == currentGroup() ? std::min(open, handedBelow()) : open;
            if (end > limit) {
                return;
            }
            m_job.columnsDone(m_job.context, first, end);
            ++m_published;
        }
    }

private:
    // Columns of the current group below this are handed out completely.
    [[nodiscard]] int handedBelow() const { return m_row < m_job.rows ? m_column : m_column + 1; }
    [[nodiscard]] int currentGroup() const { return m_groups.empty() ? -1 : m_groups.back(); }

    const KernelJob& m_job;
    int m_column = -1;
    int m_groupEnd = 0;
    int m_row = 0;
    bool m_exhausted = false;
    std::vector<int> m_groups;   // first columns of the groups taken, ascending
    std::size_t m_published = 0; // groups before this are published
};

int ScalarCount(double zr, double zi, double cr, double ci) {
    int n = 0;
    for (; n < kLimit; ++n) {
        const double zr2 = zr * zr;
        const double zi2 = zi * zi;
        if (zr2 + zi2 > kEscapeSquared) {
            break;
        }
        const double t = zr * zi;
        zr = (zr2 - zi2) + cr;
        zi = (t + t) + ci;
    }
    return n;
}

// The vector kernels give each vector a run of consecutive pixels down a column. Neighbours
// mostly take similar counts, so little is lost to lanes that finish early, and a run is loaded
// and stored whole. Escapes are looked at every kBlock iterations; it divides 256, so the limit
// is reached exactly at a block's end.
constexpr int kBlock = 8;
static_assert(kLimit % kBlock == 0);

// Snapshots for the repetition test are taken when the run's iteration count is a power of two,
// so the distance to the compared state doubles and cycles of any short period are caught.
constexpr bool SnapshotDue(int iterations) {
    return (iterations & (iterations - 1)) == 0;
}

#define EXPLORER_AVX512 __attribute__((target("avx512f,popcnt")))
#define EXPLORER_AVX2 __attribute__((target("avx2,popcnt")))

// ------------------------------------------------------------------------------------ AVX-512

constexpr int kVectors512 = 4; // independent vectors in flight to hide the latency of a step

// What the scalar side keeps of the run a vector holds.
struct RunState {
    int lanes = 0;          // lanes holding a pixel, as a bit mask
    int iterations = 0;     // run so far by every pixel of the run
    int column = kNoColumn; // of the pixels held
    std::uint16_t* out = nullptr;
};

// The state lives in locals across blocks so the compiler can keep it in registers: a round trip
// through memory at each block's end would stretch every vector's chain of dependent steps.
template <bool Julia> EXPLORER_AVX512 void RunAvx512Kernel(const KernelJob& job) {
    constexpr int kV = kVectors512;
    Feed feed(job);
    const __m512d escape = _mm512_set1_pd(kEscapeSquared);
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512i one = _mm512_set1_epi64(1);
    const __m512i limit = _mm512_set1_epi64(kLimit);
    const __m512d jr = _mm512_set1_pd(job.juliaRe);
    const __m512d ji = _mm512_set1_pd(job.juliaIm);

    __m512d zr[kV];
    __m512d zi[kV];
    __m512d cr[kV];
    __m512d ci[kV];
    __m512d sr[kV]; // snapshots for the repetition test
    __m512d si[kV];
    __m512i cnt[kV];
    __mmask8 act[kV]; // lanes still iterating
    RunState runs[kV];
    std::uint16_t spare[8]; // where an empty vector's (masked-off) store points
    for (int v = 0; v < kV; ++v) {
        zr[v] = zi[v] = cr[v] = ci[v] = sr[v] = si[v] = _mm512_setzero_pd();
        cnt[v] = _mm512_setzero_si512();
        act[v] = 0;
        runs[v].out = spare;
    }

    for (;;) {
        // Between blocks: end repeating lanes, take snapshots, and once no lane of a vector
        // iterates, store its run and load the next. Empty vectors look finished, which also
        // fills them at the start.
        bool stored = false;
        bool occupied = false;
#pragma GCC unroll 4
        for (int v = 0; v < kV; ++v) {
            __mmask8 cycle =
                _mm512_mask_cmpeq_epi64_mask(act[v], _mm512_castpd_si512(zr[v]), _mm512_castpd_si512(sr[v]));
            cycle =
                _mm512_mask_cmpeq_epi64_mask(cycle, _mm512_castpd_si512(zi[v]), _mm512_castpd_si512(si[v]));
            cnt[v] = _mm512_mask_mov_epi64(cnt[v], cycle, limit);
            act[v] = static_cast<__mmask8>(act[v] & ~cycle);
            RunState& run = runs[v];
            run.iterations += kBlock;
            if (SnapshotDue(run.iterations)) {
                sr[v] = zr[v];
                si[v] = zi[v];
            }
            if (act[v] == 0 || run.iterations >= kLimit) {
                _mm512_mask_cvtepi64_storeu_epi16(run.out, static_cast<__mmask8>(run.lanes), cnt[v]);
                stored = true;
                if (feed.ready()) {
                    const auto m = static_cast<__mmask8>((1u << std::min(8, feed.available())) - 1u);
                    const __m512d re = _mm512_set1_pd(job.colRe[feed.column()]);
                    const __m512d im = _mm512_maskz_loadu_pd(m, job.rowIm + feed.row());
                    if constexpr (Julia) {
                        zr[v] = re;
                        zi[v] = im;
                    } else {
                        cr[v] = re;
                        ci[v] = im;
                        zr[v] = _mm512_setzero_pd();
                        zi[v] = _mm512_setzero_pd();
                    }
                    sr[v] = zr[v];
                    si[v] = zi[v];
                    cnt[v] = _mm512_setzero_si512();
                    act[v] = m;
                    run.lanes = m;
                    run.iterations = 0;
                    run.column = feed.column();
                    run.out = feed.out();
                    feed.advance(__builtin_popcount(m));
                } else {
                    act[v] = 0;
                    run.lanes = 0;
                    run.column = kNoColumn;
                    run.out = spare;
                }
            }
            occupied = occupied || run.lanes != 0;
        }
        if (!occupied) {
            feed.publish(kNoColumn);
            return;
        }
        if (stored && feed.publishable()) {
            int open = kNoColumn;
            for (int v = 0; v < kV; ++v) {
                open = std::min(open, runs[v].column);
            }
            feed.publish(open);
        }

#pragma GCC unroll 8
        for (int k = 0; k < kBlock; ++k) {
#pragma GCC unroll 4
            for (int v = 0; v < kV; ++v) {
                const __m512d r2 = _mm512_mul_pd(zr[v], zr[v]);
                const __m512d i2 = _mm512_mul_pd(zi[v], zi[v]);
                const __m512d ri = _mm512_mul_pd(zr[v], zi[v]);
                const __m512d mag = _mm512_add_pd(r2, i2);
                act[v] = _mm512_mask_cmp_pd_mask(act[v], mag, escape, _CMP_NGT_UQ);
                cnt[v] = _mm512_mask_add_epi64(cnt[v], act[v], cnt[v], one);
                zr[v] = _mm512_add_pd(_mm512_sub_pd(r2, i2), Julia ? jr : cr[v]);
                zi[v] = _mm512_fmadd_pd(ri, two, Julia ? ji : ci[v]);
            }
        }
        if (job.cancel->load(std::memory_order_relaxed)) {
            return;
        }
    }
}

// --------------------------------------------------------------------------------------- AVX2

constexpr int kVectors256 = 4;

// As the AVX-512 kernel, with four lanes to a vector and the masks held in vectors, all ones where
// true.
template <bool Julia> EXPLORER_AVX2 void RunAvx2Kernel(const KernelJob& job) {
    constexpr int kV = kVectors256;
    Feed feed(job);
    const __m256d escape = _mm256_set1_pd(kEscapeSquared);
    const __m256i limit = _mm256_set1_epi64x(kLimit);
    const __m256i laneIndex = _mm256_setr_epi64x(0, 1, 2, 3);
    const __m256d jr = _mm256_set1_pd(job.juliaRe);
    const __m256d ji = _mm256_set1_pd(job.juliaIm);

    __m256d zr[kV];
    __m256d zi[kV];
    __m256d cr[kV];
    __m256d ci[kV];
    __m256d sr[kV];
    __m256d si[kV];
    __m256i cnt[kV];
    __m256d act[kV];
    RunState runs[kV];
    for (int v = 0; v < kV; ++v) {
        zr[v] = zi[v] = cr[v] = ci[v] = sr[v] = si[v] = act[v] = _mm256_setzero_pd();
        cnt[v] = _mm256_setzero_si256();
    }

    for (;;) {
        bool stored = false;
        bool occupied = false;
#pragma GCC unroll 4
        for (int v = 0; v < kV; ++v) {
            const __m256i same =
                _mm256_and_si256(_mm256_cmpeq_epi64(_mm256_castpd_si256(zr[v]), _mm256_castpd_si256(sr[v])),
                                 _mm256_cmpeq_epi64(_mm256_castpd_si256(zi[v]), _mm256_castpd_si256(si[v])));
            const __m256i cycle = _mm256_and_si256(_mm256_castpd_si256(act[v]), same);
            cnt[v] = _mm256_blendv_epi8(cnt[v], limit, cycle);
            act[v] = _mm256_andnot_pd(_mm256_castsi256_pd(cycle), act[v]);
            RunState& run = runs[v];
            run.iterations += kBlock;
            if (SnapshotDue(run.iterations)) {
                sr[v] = zr[v];
                si[v] = zi[v];
            }
            if (_mm256_movemask_pd(act[v]) == 0 || run.iterations >= kLimit) {
                alignas(32) std::int64_t counts[4];
                _mm256_store_si256(reinterpret_cast<__m256i*>(counts), cnt[v]);
                for (int lane = 0; lane < 4; ++lane) {
                    if (((run.lanes >> lane) & 1) != 0) {
                        run.out[lane] = static_cast<std::uint16_t>(counts[lane]);
                    }
                }
                stored = true;
                if (feed.ready()) {
                    const int pixels = std::min(4, feed.available());
                    const __m256i m = _mm256_cmpgt_epi64(_mm256_set1_epi64x(pixels), laneIndex);
                    const __m256d re = _mm256_set1_pd(job.colRe[feed.column()]);
                    const __m256d im = _mm256_maskload_pd(job.rowIm + feed.row(), m);
                    if constexpr (Julia) {
                        zr[v] = re;
                        zi[v] = im;
                    } else {
                        cr[v] = re;
                        ci[v] = im;
                        zr[v] = _mm256_setzero_pd();
                        zi[v] = _mm256_setzero_pd();
                    }
                    sr[v] = zr[v];
                    si[v] = zi[v];
                    cnt[v] = _mm256_setzero_si256();
                    act[v] = _mm256_castsi256_pd(m);
                    run.lanes = (1 << pixels) - 1;
                    run.iterations = 0;
                    run.column = feed.column();
                    run.out = feed.out();
                    feed.advance(pixels);
                } else {
                    act[v] = _mm256_setzero_pd();
                    run.lanes = 0;
                    run.column = kNoColumn;
                }
            }
            occupied = occupied || run.lanes != 0;
        }
        if (!occupied) {
            feed.publish(kNoColumn);
            return;
        }
        if (stored && feed.publishable()) {
            int open = kNoColumn;
            for (int v = 0; v < kV; ++v) {
                open = std::min(open, runs[v].column);
            }
            feed.publish(open);
        }

#pragma GCC unroll 8
        for (int k = 0; k < kBlock; ++k) {
#pragma GCC unroll 4
            for (int v = 0; v < kV; ++v) {
                const __m256d r2 = _mm256_mul_pd(zr[v], zr[v]);
                const __m256d i2 = _mm256_mul_pd(zi[v], zi[v]);
                const __m256d ri = _mm256_mul_pd(zr[v], zi[v]);
                const __m256d mag = _mm256_add_pd(r2, i2);
                act[v] = _mm256_andnot_pd(_mm256_cmp_pd(mag, escape, _CMP_GT_OQ), act[v]);
                cnt[v] = _mm256_sub_epi64(cnt[v], _mm256_castpd_si256(act[v]));
                zr[v] = _mm256_add_pd(_mm256_sub_pd(r2, i2), Julia ? jr : cr[v]);
                // Without a guaranteed fused multiply-add, the doubling is an addition.
                zi[v] = _mm256_add_pd(_mm256_add_pd(ri, ri), Julia ? ji : ci[v]);
            }
        }
        if (job.cancel->load(std::memory_order_relaxed)) {
            return;
        }
    }
}

} // namespace

void RunScalar(const KernelJob& job) {
    const bool julia = job.julia;
    for (;;) {
        if (job.cancel->load(std::memory_order_relaxed)) {
            return;
        }
        const int first = job.nextColumn->fetch_add(job.group, std::memory_order_relaxed);
        if (first >= job.columns) {
            return;
        }
        const int end = std::min(job.columns, first + job.group);
        for (int column = first; column < end; ++column) {
            std::uint16_t* out =
                job.counts + static_cast<std::size_t>(column) * static_cast<std::size_t>(job.rows);
            const double re = job.colRe[column];
            for (int y = 0; y < job.rows; ++y) {
                // A pixel is at most 256 steps, so looking every 64 pixels answers within a millisecond.
                if ((y & 63) == 63 && job.cancel->load(std::memory_order_relaxed)) {
                    return;
                }
                const double im = job.rowIm[y];
                const int n =
                    julia ? ScalarCount(re, im, job.juliaRe, job.juliaIm) : ScalarCount(0.0, 0.0, re, im);
                out[y] = static_cast<std::uint16_t>(n);
            }
        }
        job.columnsDone(job.context, first, end);
    }
}

EXPLORER_AVX2 void RunAvx2(const KernelJob& job) {
    if (job.julia) {
        RunAvx2Kernel<true>(job);
    } else {
        RunAvx2Kernel<false>(job);
    }
}

EXPLORER_AVX512 void RunAvx512(const KernelJob& job) {
    if (job.julia) {
        RunAvx512Kernel<true>(job);
    } else {
        RunAvx512Kernel<false>(job);
    }
}

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}

bool CpuHasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt");
}

} // namespace explorer::detail
