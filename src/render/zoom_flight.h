#pragma once

#include <optional>
#include <vector>

#include "complex_view.h"

namespace render {

/// The views of a flight of `frames` pictures from `from` into `to`: the view's width and its
/// height each shrink (or grow) by the same factor from one picture to the next, and the centre
/// glides along so that the target's centre keeps its place on the screen relative to the
/// shrinking view. The flight keeps the target's orientation all the way: an axis that `to`
/// runs backwards (a mirrored view, minimum above maximum) runs backwards in `from` too, so no
/// picture turns over halfway. The first view is `from` so oriented, the last exactly `to`.
/// Nothing unless both views have finite bounds and finite, non-zero extents and frames >= 2.
[[nodiscard]] std::optional<std::vector<explorer::ViewRect>>
ZoomFlight(const explorer::ViewRect& from, const explorer::ViewRect& to, int frames);

} // namespace render
