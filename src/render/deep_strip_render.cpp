#include "deep_strip_render.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <thread>
#include <vector>

#include "set_options.h"

namespace render {

int DeepBandRows(int width, int stripRows) {
    const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return std::clamp(std::max(kDeepBandPixels / std::max(1, width), std::min(8 * threads, 64)), 1,
                      std::max(1, stripRows));
}

RenderStatus RenderDeep(const deep::DeepPicture& picture, const explorer::ColourScheme& colours,
                        RowSink& sink, const RenderControl& control, std::string& error) {
    const deep::DeepView& view = picture.view();
    const int width = view.width;
    const int height = view.height;
    const int stripRows = StripRows(width);
    const int bandRows = DeepBandRows(width, stripRows);
    // Only n modulo 256 decides a level's colour, so one table serves every N.
    std::array<common::Colour, 256> levels{};
    for (std::size_t n = 0; n < levels.size(); ++n) {
        levels[n] = explorer::LevelColour(colours, static_cast<int>(n));
    }
    const common::Colour main = DeepCountColour(colours, view.iterations, view.iterations);

    const auto stripPixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(stripRows);
    std::vector<std::uint32_t> counts(stripPixels);
    std::vector<std::uint8_t> rgb(stripPixels * 3);
    for (int first = 0; first < height; first += stripRows) {
        const int rows = std::min(stripRows, height - first);
        for (int band = 0; band < rows; band += bandRows) {
            const int bandSize = std::min(bandRows, rows - band);
            std::uint32_t* bandCounts =
                counts.data() + static_cast<std::size_t>(band) * static_cast<std::size_t>(width);
            if (!picture.countRows(first + band, bandSize, bandCounts, control.stop)) {
                return RenderStatus::Stopped;
            }
            if (control.progress) {
                control.progress(first + band + bandSize, height);
            }
        }
        const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows);
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::int64_t n = counts[i];
            const common::Colour c = n == view.iterations ? main : levels[static_cast<std::size_t>(n & 0xFF)];
            rgb[3 * i] = c.r;
            rgb[3 * i + 1] = c.g;
            rgb[3 * i + 2] = c.b;
        }
        if (!sink.writeRows(rgb.data(), rows, error)) {
            return RenderStatus::Failed;
        }
    }
    return RenderStatus::Done;
}

} // namespace render
