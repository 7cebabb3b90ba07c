#include "deep_strip_render.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <vector>

#include "set_options.h"

namespace render {

RenderStatus RenderDeep(const deep::DeepPicture& picture, const explorer::ColourScheme& colours,
                        RowSink& sink, const RenderControl& control, std::string& error) {
    const deep::DeepView& view = picture.view();
    const int width = view.width;
    const int begin = control.firstRow;
    const int end = control.rowCount < 0 ? view.height : begin + control.rowCount;
    const int height = end - begin; // rows the sink takes
    const int stripRows = StripRows(width);
    // Only n modulo 256 decides a level's colour, so one table serves every N.
    std::array<common::Colour, 256> levels{};
    for (std::size_t n = 0; n < levels.size(); ++n) {
        levels[n] = explorer::LevelColour(colours, static_cast<int>(n));
    }
    const common::Colour main = DeepCountColour(colours, view.iterations, view.iterations);

    const auto stripPixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(stripRows);
    std::array<std::vector<std::uint32_t>, 2> counts{std::vector<std::uint32_t>(stripPixels),
                                                     std::vector<std::uint32_t>(stripPixels)};
    std::vector<std::uint8_t> rgb(stripPixels * 3);
    // The next strip is counted while this one is coloured and encoded. The counting threads
    // watch their own flag, set when the stop flag is seen here or when the sink fails.
    std::atomic<bool> halt{false};
    std::atomic<int> rowsTaken{0};
    const auto count = [&](int first, std::uint32_t* out) {
        return std::async(std::launch::async, [&picture, &halt, &rowsTaken, first, out, stripRows, end] {
            return picture.countRows(first, std::min(stripRows, end - first), out, &halt, &rowsTaken);
        });
    };
    std::future<bool> counting = count(begin, counts[0].data());
    const auto stopped = [&] {
        return control.stop != nullptr && control.stop->load(std::memory_order_relaxed);
    };
    std::int64_t reported = 0; // rows taken run ahead of rows written; progress never goes back
    const auto report = [&](std::int64_t rows) {
        reported = std::max(reported, std::min<std::int64_t>(rows, height));
        if (control.progress) {
            control.progress(reported, height);
        }
    };
    for (int first = begin, strip = 0; first < end; first += stripRows, strip ^= 1) {
        while (counting.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            if (stopped()) {
                halt = true;
            }
            report(rowsTaken.load());
        }
        if (!counting.get() || stopped()) {
            return RenderStatus::Stopped;
        }
        const int rows = std::min(stripRows, end - first);
        if (first + rows < end) {
            counting = count(first + rows, counts[static_cast<std::size_t>(strip ^ 1)].data());
        }
        const std::uint32_t* done = counts[static_cast<std::size_t>(strip)].data();
        const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::int64_t n = done[i];
            const common::Colour c = n == view.iterations ? main : levels[static_cast<std::size_t>(n & 0xFF)];
            rgb[3 * i] = c.r;
            rgb[3 * i + 1] = c.g;
            rgb[3 * i + 2] = c.b;
        }
        if (!sink.writeRows(rgb.data(), rows, error)) {
            halt = true;
            return RenderStatus::Failed; // the future's destructor waits for the counting
        }
        report(first + rows - begin);
    }
    return RenderStatus::Done;
}

} // namespace render
