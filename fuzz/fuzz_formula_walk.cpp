// The drawing walk on a formula file's settings: the formula and every number in it come from
// the file, only the depth is kept small enough for many runs a second.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "canvas.h"
#include "formula_file.h"
#include "formula_walk.h"
#include "fuzz_support.h"
#include "parameters.h"
#include "services.h"
#include "turtle.h"

namespace {

// The platform as the walk sees it: a clock that moves, no Escape, boxes that close at once.
class QuietServices : public common::HeadlessServices {
public:
    long messages = 0;
    std::uint32_t now = 0;

    void messageBox(const common::MessageBoxRequest&) override { ++messages; }
    std::uint32_t tickCountMs() override { return now += 3; }
    void sleepMs(int ms) override { now += static_cast<std::uint32_t>(ms); }
    common::ScreenInfo screen() override { return {640, 480, 96}; }
};

std::string Line(const std::vector<std::string>& lines, std::size_t i) {
    return i < lines.size() ? lines[i] : std::string();
}

// Steps of the walk for a depth: every pass over the formula costs its length, every segment one.
long double Work(std::size_t length, std::size_t fs, std::int32_t depth) {
    long double passes = 0;
    long double level = 1;
    for (std::int32_t d = 0; d < depth; ++d) {
        passes += level;
        level *= static_cast<long double>(fs);
    }
    return passes * static_cast<long double>(length) + level;
}

constexpr long double kWorkBudget = 50'000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lsystem::FormulaFileText file = lsystem::SplitFormulaText(fuzz_support::AsText(data, size));
    if (!file.ok() || file.lines.empty()) {
        return 0;
    }
    const std::vector<std::string>& lines = file.lines;

    lsystem::WalkSettings settings;
    settings.Formula = lsystem::NormaliseFormula(lines[0]);
    // Fields that do not read as numbers keep the defaults; out-of-range values are kept on
    // purpose, since the walk must survive whatever reaches it.
    const double factor = lsystem::ParseFieldFloat(Line(lines, 1)).value_or(0.7);
    settings.rightDegrees = lsystem::ParseFieldFloat(Line(lines, 2)).value_or(20.0);
    settings.leftDegrees = lsystem::ParseFieldFloat(Line(lines, 3)).value_or(20.0);
    settings.startLength = lsystem::ParseFieldInt(Line(lines, 4)).value_or(10);
    settings.NodeRadius = lsystem::ParseFieldInt(Line(lines, 5)).value_or(0);
    const std::int32_t iterations = lsystem::ParseFieldInt(Line(lines, 6)).value_or(1);
    settings.StartX = lsystem::ParseStartCoordinate(Line(lines, 7)).value_or(0);
    settings.StartY = lsystem::ParseStartCoordinate(Line(lines, 8)).value_or(0);
    settings.direction =
        Line(lines, 9) == "1" ? lsystem::StartDirection::Horizontal : lsystem::StartDirection::Vertical;
    // An eleventh line, not in real files, switches the pause mode and a short wait.
    const std::int32_t extra = lsystem::ParseFieldInt(Line(lines, 10)).value_or(0);
    settings.PauseMode = (extra & 1) != 0;
    settings.WaitMs = (extra >> 1) & 3;
    settings.pauseBoxAt = {10, 10};

    const std::size_t fs =
        static_cast<std::size_t>(std::count(settings.Formula.begin(), settings.Formula.end(), 'F'));
    std::int32_t depth = std::clamp(iterations, 0, 3);
    while (depth > 0 && Work(settings.Formula.size(), fs, depth) > kWorkBudget) {
        --depth;
    }
    if (Work(settings.Formula.size(), fs, depth) > kWorkBudget) {
        return 0;
    }
    settings.iterations = depth;

    QuietServices services;
    common::Canvas canvas(64, 48, common::kWhite);
    lsystem::Turtle turtle;
    turtle.Factor = factor;
    lsystem::FormulaWalk walk(turtle, canvas, services);
    std::uint64_t observed = 0;
    walk.setSegmentObserver([&observed](common::Point, common::Point) { ++observed; });
    walk.StartDrawing(settings);

    FUZZ_CHECK(!walk.running());
    FUZZ_CHECK(!turtle.StopFlag);
    FUZZ_CHECK(observed == walk.segmentsDrawn());
    FUZZ_CHECK(canvas.width() == 64 && canvas.height() == 48);
    // Each F at the deepest level is one segment; only a full stack (the one box besides the
    // pause box) ends the drawing early.
    std::uint64_t expected = 1;
    for (std::int32_t d = 0; d < depth; ++d) {
        expected *= fs;
    }
    const long pauseBoxes = settings.PauseMode ? static_cast<long>(walk.segmentsDrawn()) : 0;
    if (services.messages == pauseBoxes) {
        FUZZ_CHECK(walk.segmentsDrawn() == expected);
    } else {
        FUZZ_CHECK(walk.segmentsDrawn() <= expected);
    }
    return 0;
}
