#pragma once

#include <vector>

#include "services.h"

namespace explorer {

/// One rescaling step: every position, size and font size is multiplied by m and divided by d.
struct ScaleStep {
    int m = 1;
    int d = 1;
};

/// The window's design client size at 96 dpi on a 1024 x 768 screen.
inline constexpr int kDesignClientSize = 601;

/// The steps that fit the window to the screen: by the width for screens of 16:10 and
/// narrower (height / width above 0.625), by the height otherwise; then by 96 / dpi.
[[nodiscard]] std::vector<ScaleStep> FitWindowSteps(const common::ScreenInfo& screen);

/// v * m / d rounded to the nearest integer, halves away from zero.
[[nodiscard]] int MulDiv(int v, int m, int d);

/// A length after all steps, each rounded on its own.
[[nodiscard]] int ScaleLength(int v, const std::vector<ScaleStep>& steps);

} // namespace explorer
