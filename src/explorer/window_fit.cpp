#include "window_fit.h"

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

} // namespace explorer
