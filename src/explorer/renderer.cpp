#include "renderer.h"

#include <array>

#include "colour_scheme.h"

namespace explorer {

namespace {

/// Holds user input back and shows the busy cursor for as long as it lives.
class DrawingScope {
public:
    explicit DrawingScope(common::Services& services) : m_services(services) {
        m_services.setBusyCursor(true);
        m_services.holdUserInput(true);
    }
    ~DrawingScope() {
        m_services.holdUserInput(false);
        m_services.setBusyCursor(false);
    }
    DrawingScope(const DrawingScope&) = delete;
    DrawingScope& operator=(const DrawingScope&) = delete;

private:
    common::Services& m_services;
};

} // namespace

RenderOutcome RunPixelLoop(ExplorerState& s, common::Canvas& canvas, common::Services& services,
                           CountEngine& engine, const RenderJob& job) {
    DrawingScope scope(services);
    canvas.setRasterMode(common::RasterMode::Copy);
    const std::array<common::Colour, kMaxIter + 1> colours = ColourTable(s.colours);

    engine.start(job);
    const int columns = job.columns();
    const int rows = job.rows();
    std::uint32_t lastPresent = services.tickCountMs();
    auto presentIfDue = [&] {
        const std::uint32_t now = services.tickCountMs();
        if (now - lastPresent >= kPresentIntervalMs) {
            services.pumpMessages();
            lastPresent = now;
        }
    };

    for (int i = 0; i < columns; ++i) {
        while (!engine.columnReady(i)) {
            // Closing the window cancels the engine: the column would never come.
            if (services.escapePressed() || engine.cancelled()) {
                engine.cancel();
                return RenderOutcome::Aborted;
            }
            services.pumpMessages();
            lastPresent = services.tickCountMs();
            engine.waitColumn(i, static_cast<int>(kPresentIntervalMs));
        }
        const std::uint16_t* counts = engine.column(i);
        const int x = job.frame.FrameLeft + i;
        for (int j = 0; j < rows; ++j) {
            if (services.escapePressed()) {
                engine.cancel();
                return RenderOutcome::Aborted;
            }
            canvas.setPixel(x, job.frame.FrameTop + j, colours[counts[j]]);
        }
        presentIfDue();
    }
    services.pumpMessages();
    s.BandAnchor = {0, 0};
    s.BandCorner = {0, 0};
    return RenderOutcome::Completed;
}

} // namespace explorer
