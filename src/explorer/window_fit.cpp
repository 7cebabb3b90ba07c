#include "window_fit.h"

#include <cstdint>

namespace explorer {

std::vector<ScaleStep> FitWindowSteps(const common::ScreenInfo& screen) {
    std::vector<ScaleStep> steps;
    if (screen.width > 0 && screen.height > 0) {
        if (static_cast<double>(screen.height) / screen.width > 0.625) {
            steps.push_back({screen.width, 1024});
        } else {
            steps.push_back({screen.height, 768});
        }
    }
    if (screen.dpi > 0 && screen.dpi != 96) {
        steps.push_back({96, screen.dpi});
    }
    return steps;
}

int MulDiv(int v, int m, int d) {
    if (d <= 0) {
        return v;
    }
    const std::int64_t num = static_cast<std::int64_t>(v) * m;
    // Integer division truncates towards zero, so adding half the divisor away from zero
    // rounds halves away from zero.
    return static_cast<int>((2 * num + (num >= 0 ? d : -d)) / (2 * static_cast<std::int64_t>(d)));
}

int ScaleLength(int v, const std::vector<ScaleStep>& steps) {
    for (const ScaleStep& step : steps) {
        v = MulDiv(v, step.m, step.d);
    }
    return v;
}

} // namespace explorer
