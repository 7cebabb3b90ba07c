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

} // namespace explorer
