#pragma once

#include <vector>

#include "scaling.h"
#include "services.h"

namespace lsystem {

struct WindowScaling {
    std::vector<common::ScaleStep> steps;
    int fontPointSize = 0; // the window font's size after scaling
};

/// Fits the window designed for a 1024 x 768 screen at 120 pixels per inch: by the height on
/// screens wider than 4:3, by the width otherwise; then by 120 / dpi, the font following the
/// screen height. `fontPoints` is the design font size in points.
[[nodiscard]] WindowScaling ScaleForScreen(const common::ScreenInfo& screen, int fontPoints);

} // namespace lsystem
