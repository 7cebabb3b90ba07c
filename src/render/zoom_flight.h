#pragma once

#include <optional>
#include <vector>

#include "complex_view.h"

namespace render {

/// The views of a flight of `frames` pictures from `from` into `to`: the view's width and its
/// height each shrink (or grow) by the same factor from one picture to the next, and the centre
/// glides along so that the target's centre keeps its place on the screen relative to the
/// shrinking view. The first view is exactly `from`, the last exactly `to`. Nothing unless both
/// views have ReMax > ReMin and ImMax > ImMin and frames >= 2.
[[nodiscard]] std::optional<std::vector<explorer::ViewRect>>
ZoomFlight(const explorer::ViewRect& from, const explorer::ViewRect& to, int frames);

} // namespace render
