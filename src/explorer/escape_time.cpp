#include "escape_time.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "escape_time_kernels.h"

namespace explorer {

double ComplexAbs(TComplex z) {
    return std::sqrt(z.Re * z.Re + z.Im * z.Im);
}

TComplex ComplexAdd(TComplex a, TComplex b) {
    return {a.Re + b.Re, a.Im + b.Im};
}

TComplex ComplexMul(TComplex a, TComplex b) {
    return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}

int EscapeCount(TComplex z0, TComplex c) {
    TComplex z = z0;
    int n = 0;
    for (;;) {
        if (ComplexAbs(z) > kEscapeRadius) {
            break;
        }
        if (n >= kMaxIter) {
            break;
        }
        z = ComplexAdd(ComplexMul(z, z), c);
        ++n;
    }
    return n;
}

std::vector<std::uint16_t> ComputeCountsPlain(const RenderJob& job) {
    const int columns = job.columns();
    const int rows = job.rows();
    std::vector<std::uint16_t> counts;
    if (columns <= 0 || rows <= 0) {
        return counts;
    }
    counts.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int x = job.frame.FrameLeft; x <= job.frame.FrameRight; ++x) {
        for (int y = job.frame.FrameTop; y <= job.frame.FrameBottom; ++y) {
            const TComplex p = PixelToComplex(job.view, job.frame, {x, y});
            const int n = job.kind == SetKind::Mandelbrot ? EscapeCount({}, p) : EscapeCount(p, job.juliaC);
            counts.push_back(static_cast<std::uint16_t>(n));
        }
    }
    return counts;
}

namespace {

using Kernel = void (*)(const detail::KernelJob&);

struct PathChoice {
    Kernel kernel;
    const char* name;
};

PathChoice Choose(CountPath path) {
    if (path == CountPath::Auto) {
        path = detail::CpuHasAvx512() ? CountPath::Avx512
               : detail::CpuHasAvx2() ? CountPath::Avx2
                                      : CountPath::Scalar;
    }
    // A path the processor lacks steps down rather than faulting on the first vector instruction.
    if (path == CountPath::Avx512 && !detail::CpuHasAvx512()) {
        path = CountPath::Avx2;
    }
    if (path == CountPath::Avx2 && !detail::CpuHasAvx2()) {
        path = CountPath::Scalar;
    }
    switch (path) {
    case CountPath::Avx512:
        return {&detail::RunAvx512, "avx512"};
    case CountPath::Avx2:
        return {&detail::RunAvx2, "avx2"};
    default:
        return {&detail::RunScalar, "scalar"};
    }
}

} // namespace

struct CountEngine::Impl {
    PathChoice choice{};
    std::vector<std::thread> workers;

    // Guards generation, busy and quit; workers sleep on wake, cancel() on idle.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::uint64_t generation = 0;
    int busy = 0;
    bool quit = false;

    std::mutex columnMutex;
    std::condition_variable columnCv;

    std::atomic<bool> cancelFlag{false};
    std::atomic<int> nextColumn{0};

    int columns = 0;
    int rows = 0;
    std::vector<double> colRe;
    std::vector<double> rowIm;
    std::unique_ptr<std::uint16_t[]> counts;
    std::unique_ptr<std::atomic<std::uint8_t>[]> ready;
    detail::KernelJob kernelJob;

    // A column's state: not ready, ready, or not ready with someone asleep on it. Only a column
    // with a sleeper costs the worker a wake-up call.
    static constexpr std::uint8_t kPending = 0;
    static constexpr std::uint8_t kReady = 1;
    static constexpr std::uint8_t kAwaited = 2;

    static void ColumnsDone(void* context, int first, int end) {
        auto* self = static_cast<Impl*>(context);
        bool awaited = false;
        for (int column = first; column < end; ++column) {
            awaited = self->ready[static_cast<std::size_t>(column)].exchange(
                          kReady, std::memory_order_acq_rel) == kAwaited ||
                      awaited;
        }
        if (awaited) {
            // The sleeper marked its column while holding the lock and holds it until it sleeps,
            // so taking the lock here cannot slip in before its wait.
            std::lock_guard<std::mutex> lock(self->columnMutex);
            self->columnCv.notify_all();
        }
    }

    void workerLoop() {
        std::uint64_t seen = 0;
        for (;;) {
            Kernel run = nullptr;
            detail::KernelJob job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return quit || generation != seen; });
                if (quit) {
                    return;
                }
                seen = generation;
                run = choice.kernel;
                job = kernelJob;
            }
            run(job);
            std::lock_guard<std::mutex> lock(mutex);
            if (--busy == 0) {
                idle.notify_all();
            }
        }
    }

    void cancel() {
        cancelFlag.store(true, std::memory_order_relaxed);
        std::unique_lock<std::mutex> lock(mutex);
        idle.wait(lock, [&] { return busy == 0; });
    }
};

CountEngine::CountEngine(int threads, CountPath path) : m_impl(std::make_unique<Impl>()) {
    m_impl->choice = Choose(path);
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    m_impl->workers.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        m_impl->workers.emplace_back([impl = m_impl.get()] { impl->workerLoop(); });
    }
}

CountEngine::~CountEngine() {
    m_impl->cancel();
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->quit = true;
    }
    m_impl->wake.notify_all();
    for (std::thread& worker : m_impl->workers) {
        worker.join();
    }
}

void CountEngine::start(const RenderJob& job) {
    start(job, 0, job.rows());
}

void CountEngine::start(const RenderJob& job, int firstRow, int rowCount) {
    Impl& d = *m_impl;
    d.cancel();

    // 64 bits: a frame near the ends of int has more rows than int holds.
    const std::int64_t jobRows =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(job.frame.FrameBottom) - job.frame.FrameTop + 1);
    const std::int64_t first = std::clamp<std::int64_t>(firstRow, 0, jobRows);
    const std::int64_t end = std::clamp<std::int64_t>(first + std::max(0, rowCount), first, jobRows);
    d.columns = std::max(0, job.columns());
    d.rows = static_cast<int>(end - first);
    if (d.columns == 0 || d.rows == 0) {
        d.columns = 0;
        d.rows = 0;
    }
    const auto columns = static_cast<std::size_t>(d.columns);
    const auto rows = static_cast<std::size_t>(d.rows);
    d.colRe.resize(columns);
    d.rowIm.resize(rows);
    for (int i = 0; i < d.columns; ++i) {
        const int x = job.frame.FrameLeft + i;
        d.colRe[static_cast<std::size_t>(i)] =
            PixelToComplex(job.view, job.frame, {x, job.frame.FrameTop}).Re;
    }
    for (int j = 0; j < d.rows; ++j) {
        const int y = static_cast<int>(job.frame.FrameTop + first + j);
        d.rowIm[static_cast<std::size_t>(j)] =
            PixelToComplex(job.view, job.frame, {job.frame.FrameLeft, y}).Im;
    }
    d.counts = std::make_unique_for_overwrite<std::uint16_t[]>(columns * rows);
    d.ready = std::make_unique<std::atomic<std::uint8_t>[]>(columns); // all kPending
    if (columns == 0) {
        return;
    }

    detail::KernelJob& k = d.kernelJob;
    k.julia = job.kind == SetKind::Julia;
    k.juliaRe = job.juliaC.Re;
    k.juliaIm = job.juliaC.Im;
    k.colRe = d.colRe.data();
    k.rowIm = d.rowIm.data();
    k.columns = d.columns;
    k.rows = d.rows;
    k.counts = d.counts.get();
    k.nextColumn = &d.nextColumn;
    // Groups of columns wake a waiting presenter once per group; enough groups remain per worker
    // for the work to even out at the end.
    k.group = std::clamp(d.columns / (static_cast<int>(d.workers.size()) * 16), 1, 8);
    k.cancel = &d.cancelFlag;
    k.columnsDone = &Impl::ColumnsDone;
    k.context = &d;
    d.nextColumn.store(0, std::memory_order_relaxed);
    d.cancelFlag.store(false, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.busy = static_cast<int>(d.workers.size());
        ++d.generation;
    }
    d.wake.notify_all();
}

void CountEngine::cancel() {
    m_impl->cancel();
}

bool CountEngine::cancelled() const {
    return m_impl->cancelFlag.load(std::memory_order_relaxed);
}

int CountEngine::columns() const {
    return m_impl->columns;
}

int CountEngine::rows() const {
    return m_impl->rows;
}

bool CountEngine::columnReady(int column) const {
    if (column < 0 || column >= m_impl->columns) {
        return false;
    }
    return m_impl->ready[static_cast<std::size_t>(column)].load(std::memory_order_acquire) == Impl::kReady;
}

bool CountEngine::waitColumn(int column, int timeoutMs) {
    if (column < 0 || column >= m_impl->columns) {
        return false;
    }
    if (columnReady(column)) {
        return true;
    }
    Impl& d = *m_impl;
    std::atomic<std::uint8_t>& state = d.ready[static_cast<std::size_t>(column)];
    std::unique_lock<std::mutex> lock(d.columnMutex);
    std::uint8_t expected = Impl::kPending;
    if (!state.compare_exchange_strong(expected, Impl::kAwaited, std::memory_order_acq_rel) &&
        expected == Impl::kReady) {
        return true;
    }
    return d.columnCv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                               [&] { return state.load(std::memory_order_acquire) == Impl::kReady; });
}

const std::uint16_t* CountEngine::column(int column) const {
    return m_impl->counts.get() + static_cast<std::size_t>(column) * static_cast<std::size_t>(m_impl->rows);
}

const char* CountEngine::simdPath() {
    return Choose(CountPath::Auto).name;
}

const char* CountEngine::pathName() const {
    return m_impl->choice.name;
}

bool CountEngine::pathAvailable(CountPath path) {
    switch (path) {
    case CountPath::Avx512:
        return detail::CpuHasAvx512();
    case CountPath::Avx2:
        return detail::CpuHasAvx2();
    default:
        return true;
    }
}

} // namespace explorer
