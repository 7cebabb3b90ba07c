#include "screen_scale.h"

#include <cmath>

namespace lsystem {

namespace {
constexpr int kReferenceWidth = 1024;
constexpr int kReferenceHeight = 768;
constexpr int kReferenceDpi = 120;

int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}
} // namespace

WindowScaling ScaleForScreen(const common::ScreenInfo& screen, int fontPoints) {
    WindowScaling result;
    double font = fontPoints;
    if (screen.width > 0 && screen.height > 0) {
        if (static_cast<double>(screen.height) / screen.width <
            static_cast<double>(kReferenceHeight) / kReferenceWidth) {
            result.steps.push_back({screen.height, kReferenceHeight});
            font = font * screen.height / kReferenceHeight;
        } else {
            result.steps.push_back({screen.width, kReferenceWidth});
            font = font * screen.width / kReferenceWidth;
        }
    }
    if (screen.dpi > 0 && screen.dpi != kReferenceDpi) {
        result.steps.push_back({kReferenceDpi, screen.dpi});
        result.fontPointSize =
            roundHalfEven(static_cast<double>(fontPoints) * screen.height / kReferenceHeight);
    } else {
        result.fontPointSize = roundHalfEven(font * 0.9);
    }
    return result;
}

} // namespace lsystem
