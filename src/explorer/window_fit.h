#pragma once

#include <vector>

#include "scaling.h"
#include "services.h"

namespace explorer {

using common::ScaleStep;

/// The window's design client size at 96 dpi on a 1024 x 768 screen.
inline constexpr int kDesignClientSize = 601;

/// The steps that fit the window to the screen: by the width for screens of 16:10 and
/// narrower (height / width above 0.625), by the height otherwise; then by 96 / dpi.
[[nodiscard]] std::vector<ScaleStep> FitWindowSteps(const common::ScreenInfo& screen);

/// A design length (position, size or font height) after the fitting steps, each step rounded
/// to the nearest integer with an exact half going to the even neighbour.
[[nodiscard]] inline int ScaleToScreen(int v, const std::vector<ScaleStep>& steps) {
    return common::ScaleLength(v, steps, common::Rounding::HalfToEven);
}

} // namespace explorer
