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
    std::vector<int> m_groups; // first columns of the groups taken, ascending
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
constexpr bool SnapshotDue(int iterations) { return (iterations & (iterations - 1)) == 0; }

#define EXPLORER_AVX512 __attribute__((target("avx512f,popcnt")))
#define EXPLORER_AVX2 __attribute__((target("avx2,popcnt")))

// ------------------------------------------------------------------------------------ AVX-512

constexpr int kVectors512 = 4; // independent vectors in flight to hide the latency of a step

template <bool Julia> struct Avx512Kernel {
    const KernelJob& job;
    Feed feed;

    __m512d zr[kVectors512];
    __m512d zi[kVectors512];
    __m512d cr[kVectors512];
    __m512d ci[kVectors512];
    __m512d sr[kVectors512]; // snapshots for the repetition test
    __m512d si[kVectors512];
    __m512i cnt[kVectors512];
    __mmask8 act[kVectors512];   // lanes still iterating
    __mmask8 lanes[kVectors512]; // lanes holding a pixel
    int iterations[kVectors512]; // run so far by every pixel of the vector
    int column[kVectors512];     // of the pixels held, kNoColumn when none
    std::uint16_t* out[kVectors512];

    explicit Avx512Kernel(const KernelJob& j) : job(j), feed(j) {}

    // Gives vector v the next run of the feed, or leaves it empty when the job has none left.
    EXPLORER_AVX512 void load(int v) {
        if (!feed.ready()) {
            act[v] = lanes[v] = 0;
            column[v] = kNoColumn;
            return;
        }
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
        act[v] = lanes[v] = m;
        iterations[v] = 0;
        column[v] = feed.column();
        out[v] = feed.out();
        feed.advance(__builtin_popcount(m));
    }

    // Between blocks: ends repeating lanes, takes snapshots, and once no lane iterates stores the
    // run and loads the next. True when it did.
    EXPLORER_AVX512 bool settle(int v) {
        const __m512i limit = _mm512_set1_epi64(kLimit);
        __mmask8 cycle = _mm512_mask_cmpeq_epi64_mask(act[v], _mm512_castpd_si512(zr[v]), _mm512_castpd_si512(sr[v]));
        cycle = _mm512_mask_cmpeq_epi64_mask(cycle, _mm512_castpd_si512(zi[v]), _mm512_castpd_si512(si[v]));
        cnt[v] = _mm512_mask_mov_epi64(cnt[v], cycle, limit);
        act[v] = static_cast<__mmask8>(act[v] & ~cycle);
        iterations[v] += kBlock;
        if (SnapshotDue(iterations[v])) {
            sr[v] = zr[v];
            si[v] = zi[v];
        }
        if (act[v] != 0 && iterations[v] < kLimit) {
            return false;
        }
        _mm512_mask_cvtepi64_storeu_epi16(out[v], lanes[v], cnt[v]);
        load(v);
        return true;
    }

    void publish() {
        int open = kNoColumn;
        for (int v = 0; v < kVectors512; ++v) {
            open = std::min(open, column[v]);
        }
        feed.publish(open);
    }

    EXPLORER_AVX512 void run() {
        for (int v = 0; v < kVectors512; ++v) {
            load(v);
        }
        const __m512d escape = _mm512_set1_pd(kEscapeSquared);
        const __m512d two = _mm512_set1_pd(2.0);
        const __m512i one = _mm512_set1_epi64(1);
        const __m512d jr = _mm512_set1_pd(job.juliaRe);
        const __m512d ji = _mm512_set1_pd(job.juliaIm);
        for (;;) {
            __m512d r[kVectors512];
            __m512d i[kVectors512];
            __m512i n[kVectors512];
            __mmask8 a[kVectors512];
            for (int v = 0; v < kVectors512; ++v) {
                r[v] = zr[v];
                i[v] = zi[v];
                n[v] = cnt[v];
                a[v] = act[v];
            }
#pragma GCC unroll 8
            for (int k = 0; k < kBlock; ++k) {
#pragma GCC unroll 4
                for (int v = 0; v < kVectors512; ++v) {
                    const __m512d r2 = _mm512_mul_pd(r[v], r[v]);
                    const __m512d i2 = _mm512_mul_pd(i[v], i[v]);
                    const __m512d ri = _mm512_mul_pd(r[v], i[v]);
                    const __m512d mag = _mm512_add_pd(r2, i2);
                    a[v] = _mm512_mask_cmp_pd_mask(a[v], mag, escape, _CMP_NGT_UQ);
                    n[v] = _mm512_mask_add_epi64(n[v], a[v], n[v], one);
                    r[v] = _mm512_add_pd(_mm512_sub_pd(r2, i2), Julia ? jr : cr[v]);
                    i[v] = _mm512_fmadd_pd(ri, two, Julia ? ji : ci[v]);
                }
            }
            for (int v = 0; v < kVectors512; ++v) {
                zr[v] = r[v];
                zi[v] = i[v];
                cnt[v] = n[v];
                act[v] = a[v];
            }
            if (job.cancel->load(std::memory_order_relaxed)) {
                return;
            }
            bool stored = false;
            bool occupied = false;
            for (int v = 0; v < kVectors512; ++v) {
                stored = settle(v) || stored;
                occupied = occupied || lanes[v] != 0;
            }
            if (!occupied) {
                feed.publish(kNoColumn);
                return;
            }
            if (stored && feed.publishable()) {
                publish();
            }
        }
    }
};

// --------------------------------------------------------------------------------------- AVX2

constexpr int kVectors256 = 4;

template <bool Julia> struct Avx2Kernel {
    const KernelJob& job;
    Feed feed;

    __m256d zr[kVectors256];
    __m256d zi[kVectors256];
    __m256d cr[kVectors256];
    __m256d ci[kVectors256];
    __m256d sr[kVectors256];
    __m256d si[kVectors256];
    __m256i cnt[kVectors256];
    __m256d act[kVectors256]; // all ones in lanes still iterating
    int pixels[kVectors256];  // held, from the lowest lane up
    int iterations[kVectors256];
    int column[kVectors256];
    std::uint16_t* out[kVectors256];

    explicit Avx2Kernel(const KernelJob& j) : job(j), feed(j) {}

    EXPLORER_AVX2 void load(int v) {
        if (!feed.ready()) {
            act[v] = _mm256_setzero_pd();
            pixels[v] = 0;
            column[v] = kNoColumn;
            return;
        }
        const int count = std::min(4, feed.available());
        const __m256i lane = _mm256_setr_epi64x(0, 1, 2, 3);
        const __m256i m = _mm256_cmpgt_epi64(_mm256_set1_epi64x(count), lane);
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
        pixels[v] = count;
        iterations[v] = 0;
        column[v] = feed.column();
        out[v] = feed.out();
        feed.advance(count);
    }

    EXPLORER_AVX2 bool settle(int v) {
        const __m256i a = _mm256_castpd_si256(act[v]);
        const __m256i cycle = _mm256_and_si256(
            a, _mm256_and_si256(_mm256_cmpeq_epi64(_mm256_castpd_si256(zr[v]), _mm256_castpd_si256(sr[v])),
                                _mm256_cmpeq_epi64(_mm256_castpd_si256(zi[v]), _mm256_castpd_si256(si[v]))));
        cnt[v] = _mm256_blendv_epi8(cnt[v], _mm256_set1_epi64x(kLimit), cycle);
        act[v] = _mm256_andnot_pd(_mm256_castsi256_pd(cycle), act[v]);
        iterations[v] += kBlock;
        if (SnapshotDue(iterations[v])) {
            sr[v] = zr[v];
            si[v] = zi[v];
        }
        if (_mm256_movemask_pd(act[v]) != 0 && iterations[v] < kLimit) {
            return false;
        }
        alignas(32) std::int64_t counts[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(counts), cnt[v]);
        for (int lane = 0; lane < pixels[v]; ++lane) {
            out[v][lane] = static_cast<std::uint16_t>(counts[lane]);
        }
        load(v);
        return true;
    }

    void publish() {
        int open = kNoColumn;
        for (int v = 0; v < kVectors256; ++v) {
            open = std::min(open, column[v]);
        }
        feed.publish(open);
    }

    EXPLORER_AVX2 void run() {
        for (int v = 0; v < kVectors256; ++v) {
            load(v);
        }
        const __m256d escape = _mm256_set1_pd(kEscapeSquared);
        const __m256d jr = _mm256_set1_pd(job.juliaRe);
        const __m256d ji = _mm256_set1_pd(job.juliaIm);
        for (;;) {
            __m256d r[kVectors256];
            __m256d i[kVectors256];
            __m256i n[kVectors256];
            __m256d a[kVectors256];
            for (int v = 0; v < kVectors256; ++v) {
                r[v] = zr[v];
                i[v] = zi[v];
                n[v] = cnt[v];
                a[v] = act[v];
            }
#pragma GCC unroll 8
            for (int k = 0; k < kBlock; ++k) {
#pragma GCC unroll 4
                for (int v = 0; v < kVectors256; ++v) {
                    const __m256d r2 = _mm256_mul_pd(r[v], r[v]);
                    const __m256d i2 = _mm256_mul_pd(i[v], i[v]);
                    const __m256d ri = _mm256_mul_pd(r[v], i[v]);
                    const __m256d mag = _mm256_add_pd(r2, i2);
                    a[v] = _mm256_andnot_pd(_mm256_cmp_pd(mag, escape, _CMP_GT_OQ), a[v]);
                    n[v] = _mm256_sub_epi64(n[v], _mm256_castpd_si256(a[v]));
                    r[v] = _mm256_add_pd(_mm256_sub_pd(r2, i2), Julia ? jr : cr[v]);
                    i[v] = _mm256_add_pd(_mm256_add_pd(ri, ri), Julia ? ji : ci[v]);
                }
            }
            for (int v = 0; v < kVectors256; ++v) {
                zr[v] = r[v];
                zi[v] = i[v];
                cnt[v] = n[v];
                act[v] = a[v];
            }
            if (job.cancel->load(std::memory_order_relaxed)) {
                return;
            }
            bool stored = false;
            bool occupied = false;
            for (int v = 0; v < kVectors256; ++v) {
                stored = settle(v) || stored;
                occupied = occupied || pixels[v] != 0;
            }
            if (!occupied) {
                feed.publish(kNoColumn);
                return;
            }
            if (stored && feed.publishable()) {
                publish();
            }
        }
    }
};

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
        Avx2Kernel<true> kernel(job);
        kernel.run();
    } else {
        Avx2Kernel<false> kernel(job);
        kernel.run();
    }
}

EXPLORER_AVX512 void RunAvx512(const KernelJob& job) {
    if (job.julia) {
        Avx512Kernel<true> kernel(job);
        kernel.run();
    } else {
        Avx512Kernel<false> kernel(job);
        kernel.run();
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
