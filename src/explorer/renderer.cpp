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

// Sets the pixels of column i of the job once the engine has it. False when Escape (or a cancel
// that closing the window makes) broke the drawing off; the engine is cancelled then.
bool PresentColumn(common::Canvas& canvas, common::Services& services, CountEngine& engine,
                   const RenderJob& job, const std::array<common::Colour, kMaxIter + 1>& colours, int i,
                   std::uint32_t& lastPresent) {
    while (!engine.columnReady(i)) {
        // Closing the window cancels the engine: the column would never come.
        if (services.escapePressed() || engine.cancelled()) {
            engine.cancel();
            return false;
        }
        services.pumpMessages();
        lastPresent = services.tickCountMs();
        engine.waitColumn(i, static_cast<int>(kPresentIntervalMs));
    }
    const std::uint16_t* counts = engine.column(i);
    const int x = job.frame.FrameLeft + i;
    const int rows = job.rows();
    for (int j = 0; j < rows; ++j) {
        if (services.escapePressed()) {
            engine.cancel();
            return false;
        }
        canvas.setPixel(x, job.frame.FrameTop + j, colours[counts[j]]);
    }
    return true;
}

void PresentIfDue(common::Services& services, std::uint32_t& lastPresent) {
    const std::uint32_t now = services.tickCountMs();
    if (now - lastPresent >= kPresentIntervalMs) {
        services.pumpMessages();
        lastPresent = now;
    }
}

RenderOutcome Completed(ExplorerState& s, common::Services& services) {
    services.pumpMessages();
    s.BandAnchor = {0, 0};
    s.BandCorner = {0, 0};
    return RenderOutcome::Completed;
}

} // namespace

RenderOutcome RunPixelLoop(ExplorerState& s, common::Canvas& canvas, common::Services& services,
                           CountEngine& engine, const RenderJob& job) {
    DrawingScope scope(services);
    canvas.setRasterMode(common::RasterMode::Copy);
    const std::array<common::Colour, kMaxIter + 1> colours = ColourTable(s.colours);

    engine.start(job);
    std::uint32_t lastPresent = services.tickCountMs();
    for (int i = 0; i < job.columns(); ++i) {
        if (!PresentColumn(canvas, services, engine, job, colours, i, lastPresent)) {
            return RenderOutcome::Aborted;
        }
        PresentIfDue(services, lastPresent);
    }
    return Completed(s, services);
}

RenderOutcome RunPixelLoop(ExplorerState& s, common::Canvas& canvas, common::Services& services,
                           CountEngine& engine, const RenderJob& job, const FinerDrawing& finer) {
    DrawingScope scope(services);
    canvas.setRasterMode(common::RasterMode::Copy);
    const std::array<common::Colour, kMaxIter + 1> colours = ColourTable(s.colours);

    engine.start(job);
    finer.engine.start(finer.job);
    const std::int64_t columns = job.columns();
    const std::int64_t finerColumns = finer.job.columns();
    int done = 0;
    std::uint32_t lastPresent = services.tickCountMs();
    for (int i = 0; i < finerColumns; ++i) {
        if (!PresentColumn(finer.canvas, services, finer.engine, finer.job, colours, i, lastPresent)) {
            engine.cancel();
            return RenderOutcome::Aborted;
        }
        // The last finer column brings the last column here.
        const auto due = static_cast<int>((i + 1) * columns / finerColumns);
        for (; done < due; ++done) {
            if (!PresentColumn(canvas, services, engine, job, colours, done, lastPresent)) {
                finer.engine.cancel();
                return RenderOutcome::Aborted;
            }
        }
        PresentIfDue(services, lastPresent);
    }
    return Completed(s, services);
}

} // namespace explorer
