#include "strip_render.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "colour_scheme.h"

namespace render {

namespace {

struct Strip {
    std::vector<std::uint8_t> rgb;
    int rows = 0;
};

/// Strips on their way from the counting to the sink. Three buffers: one being filled, one
/// being encoded and one waiting, so neither side waits for the other as long as their speeds
/// are close.
class StripPipe {
public:
    explicit StripPipe(std::size_t stripBytes) {
        for (int i = 0; i < 3; ++i) {
            Strip strip;
            strip.rgb.resize(stripBytes);
            m_free.push_back(std::move(strip));
        }
    }

    /// A buffer to fill; nothing once the sink failed.
    std::optional<Strip> takeFree() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_free.empty() || m_failed; });
        if (m_failed) {
            return std::nullopt;
        }
        Strip strip = std::move(m_free.front());
        m_free.pop_front();
        return strip;
    }

    void pushFull(Strip strip) {
        std::lock_guard lock(m_mutex);
        m_full.push_back(std::move(strip));
        m_changed.notify_all();
    }

    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

    /// Drops the strips not yet written; the sink stops after the one it is writing.
    void abort() {
        std::lock_guard lock(m_mutex);
        m_full.clear();
        m_closed = true;
        m_changed.notify_all();
    }

    bool failed() {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }

    std::string error() {
        std::lock_guard lock(m_mutex);
        return m_error;
    }

    /// The sink's side: runs until the pipe is closed and empty, or the sink fails.
    void drain(RowSink& sink, std::atomic<std::int64_t>& rowsDone) {
        for (;;) {
            Strip strip;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_full.empty() || m_closed; });
                if (m_full.empty()) {
                    return;
                }
                strip = std::move(m_full.front());
                m_full.pop_front();
            }
            std::string error;
            const bool ok = sink.writeRows(strip.rgb.data(), strip.rows, error);
            std::lock_guard lock(m_mutex);
            if (!ok) {
                m_failed = true;
                m_error = error;
                m_changed.notify_all();
                return;
            }
            rowsDone.fetch_add(strip.rows, std::memory_order_relaxed);
            m_free.push_back(std::move(strip));
            m_changed.notify_all();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Strip> m_free;
    std::deque<Strip> m_full;
    bool m_closed = false;
    bool m_failed = false;
    std::string m_error;
};

} // namespace

explorer::RenderJob JobFor(const SetPicture& picture) {
    explorer::RenderJob job;
    job.kind = picture.kind;
    job.view = picture.view;
    job.frame = {0, picture.width, 0, picture.height};
    job.juliaC = picture.juliaC;
    return job;
}

int StripRows(int width) {
    return std::clamp((1 << 20) / std::max(1, width), 1, 256);
}

RenderStatus RenderSet(const SetPicture& picture, explorer::CountEngine& engine, RowSink& sink,
                       const RenderControl& control, std::string& error) {
    const explorer::RenderJob job = JobFor(picture);
    const int width = picture.width;
    const int stripRows = StripRows(width);
    const int begin = control.firstRow;
    const int end = control.rowCount < 0 ? picture.height : begin + control.rowCount;
    const int height = end - begin; // rows the sink takes
    const std::array<common::Colour, explorer::kMaxIter + 1> colours = explorer::ColourTable(picture.colours);

    std::optional<StripPipe> pipe;
    try {
        pipe.emplace(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(stripRows));
    } catch (const std::bad_alloc&) {
        error = "not enough memory for strips of " + std::to_string(width) + " pixels' width";
        return RenderStatus::Failed;
    }
    std::atomic<std::int64_t> rowsDone{0};
    std::thread encoder([&] { pipe->drain(sink, rowsDone); });

    using Clock = std::chrono::steady_clock;
    auto lastReport = Clock::now();
    auto report = [&](bool force) {
        const auto now = Clock::now();
        if (control.progress && (force || now - lastReport >= std::chrono::milliseconds(250))) {
            control.progress(rowsDone.load(std::memory_order_relaxed), height);
            lastReport = now;
        }
    };
    auto stopped = [&] {
        return control.stop != nullptr && control.stop->load(std::memory_order_relaxed);
    };

    RenderStatus status = RenderStatus::Done;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int first = begin; first < end && status == RenderStatus::Done; first += stripRows) {
        if (stopped()) {
            status = RenderStatus::Stopped;
            break;
        }
        std::optional<Strip> strip = pipe->takeFree();
        if (!strip) {
            status = RenderStatus::Failed;
            break;
        }
        strip->rows = std::min(stripRows, end - first);
        engine.start(job, first, strip->rows);
        // Each column is coloured as soon as it is counted, while the engine counts the next.
        for (int x = 0; x < width; ++x) {
            while (!engine.waitColumn(x, 50)) {
                if (stopped() || pipe->failed()) {
                    engine.cancel();
                    status = stopped() ? RenderStatus::Stopped : RenderStatus::Failed;
                    break;
                }
                report(false);
            }
            if (status != RenderStatus::Done) {
                break;
            }
            const std::uint16_t* counts = engine.column(x);
            std::uint8_t* out = strip->rgb.data() + static_cast<std::size_t>(x) * 3;
            for (int j = 0; j < strip->rows; ++j) {
                const common::Colour c = colours[counts[j]];
                out[0] = c.r;
                out[1] = c.g;
                out[2] = c.b;
                out += rowBytes;
            }
        }
        if (status == RenderStatus::Done) {
            pipe->pushFull(std::move(*strip));
            report(false);
        }
    }
    // The last column of the frame is counted but never waited for.
    engine.cancel();
    if (status == RenderStatus::Done) {
        pipe->close();
    } else {
        pipe->abort();
    }
    // Progress goes on while the sink writes the last strips.
    while (status == RenderStatus::Done && rowsDone.load() < height && !pipe->failed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        report(false);
        if (stopped()) {
            status = RenderStatus::Stopped;
            pipe->abort();
            break;
        }
    }
    encoder.join();
    if (pipe->failed()) {
        error = pipe->error();
        return RenderStatus::Failed;
    }
    if (status == RenderStatus::Done) {
        report(true);
    }
    return status;
}

} // namespace render
