#pragma once

#include "canvas.h"
#include "escape_time.h"
#include "explorer_state.h"
#include "services.h"

namespace explorer {

enum class RenderOutcome { Completed, Aborted };

/// How often the picture is handed to the screen while it grows.
inline constexpr std::uint32_t kPresentIntervalMs = 15;

/// The pixel loop of both renderers: the counts are computed ahead on all cores while the
/// picture is shown column by column from left to right, each column from top to bottom. Escape
/// is polled before every pixel shown (and while a column is still being computed); user input
/// is held back meanwhile and delivered afterwards. On completion the band points are reset; on
/// Escape the caller clears the picture. The running flags are the caller's.
RenderOutcome RunPixelLoop(ExplorerState& s, common::Canvas& canvas, common::Services& services,
                           CountEngine& engine, const RenderJob& job);

/// The same view counted once more on a finer grid (the screen's device pixels) into a canvas
/// of its own, by an engine of its own.
struct FinerDrawing {
    common::Canvas& canvas;
    CountEngine& engine;
    RenderJob job;
};

/// As above, and `finer` is drawn alongside: it is the picture shown while it grows, column by
/// column, and each column of `canvas` is filled in as soon as the finer columns have passed it,
/// so both are complete together. Escape is polled before every pixel of either.
RenderOutcome RunPixelLoop(ExplorerState& s, common::Canvas& canvas, common::Services& services,
                           CountEngine& engine, const RenderJob& job, const FinerDrawing& finer);

} // namespace explorer
