#include "formula_walk.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using common::Point;

// The platform reduced to what a drawing without a wait touches: the real monotonic clock, as
// the program reads it (the walk reads it about once a millisecond), and a pump that does
// nothing but count.
class QuietServices : public common::HeadlessServices {
public:
    void pumpMessages() override { ++pumps; }

    std::uint64_t pumps = 0;
};

constexpr int kCanvasSize = 2000;

struct Figure {
    const char* formula;
    std::int32_t iterations;
    std::int64_t segments; // (number of F)^iterations
    Point start;
};

// The step is the start length 1 times the iterations: segments of six and of eight pixels.
// The first figure is a quadratic Koch curve 4374 pixels wide and as high, drawn from the middle of the
// left edge, so that the canvas holds as much of it as it can and the rest is clipped; the
// second is closed and stays within a few dozen pixels of the middle, drawing over itself.
const Figure kFigures[] = {
    {"F-F+F+F+F-F-F-F+F", 6, 531441, {0, 0}},
    {"FF-FF-FF-FF", 8, 16777216, {1000, 1000}},
};

lsystem::WalkSettings settingsFor(const Figure& figure) {
    lsystem::WalkSettings s;
    s.Formula = figure.formula;
    s.iterations = figure.iterations;
    s.startLength = 1;
    s.rightDegrees = 90.0;
    s.leftDegrees = 90.0;
    s.direction = lsystem::StartDirection::Horizontal;
    s.StartX = figure.start.x;
    s.StartY = figure.start.y;
    s.PenColour = common::kWhite;
    return s;
}

void BM_WalkAndDraw(benchmark::State& state) {
    const Figure& figure = kFigures[state.range(0)];
    common::Canvas canvas(kCanvasSize, kCanvasSize);
    QuietServices services;
    lsystem::Turtle turtle;
    turtle.Factor = 1.0;
    lsystem::FormulaWalk walk(turtle, canvas, services);
    const lsystem::WalkSettings settings = settingsFor(figure);
    for (auto _ : state) {
        walk.StartDrawing(settings);
        benchmark::DoNotOptimize(canvas.image().pixels.data());
        benchmark::ClobberMemory();
    }
    if (walk.segmentsDrawn() != static_cast<std::uint64_t>(figure.segments)) {
        state.SkipWithError("unexpected number of segments");
    }
    state.counters["segments/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * figure.segments), benchmark::Counter::kIsRate);
    state.counters["pumps/run"] =
        static_cast<double>(services.pumps) / static_cast<double>(state.iterations());
    state.SetLabel(figure.formula);
}
BENCHMARK(BM_WalkAndDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor for the same pictures: the same segments, worked out beforehand, drawn with the
// canvas alone. At most the first 2^20 are kept (the second figure repeats itself anyway) and
// drawn over again up to the figure's count, so the list stays in a few megabytes.
void BM_DrawPrecomputedSegments(benchmark::State& state) {
    constexpr std::size_t kKept = std::size_t{1} << 20;
    const Figure& figure = kFigures[state.range(0)];
    common::Canvas canvas(kCanvasSize, kCanvasSize);
    std::vector<std::pair<Point, Point>> segments;
    {
        QuietServices services;
        lsystem::Turtle turtle;
        turtle.Factor = 1.0;
        lsystem::FormulaWalk walk(turtle, canvas, services);
        walk.setSegmentObserver([&](Point from, Point to) {
            if (segments.size() < kKept) {
                segments.emplace_back(from, to);
            }
        });
        walk.StartDrawing(settingsFor(figure));
    }
    canvas.setPen({common::kWhite, 1, common::PenStyle::Solid});
    const auto total = static_cast<std::size_t>(figure.segments);
    for (auto _ : state) {
        for (std::size_t done = 0; done < total;) {
            const std::size_t count = std::min(segments.size(), total - done);
            for (std::size_t i = 0; i < count; ++i) {
                canvas.moveTo(segments[i].first.x, segments[i].first.y);
                canvas.lineTo(segments[i].second.x, segments[i].second.y);
            }
            done += count;
        }
        benchmark::DoNotOptimize(canvas.image().pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["segments/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * figure.segments), benchmark::Counter::kIsRate);
    state.SetLabel(figure.formula);
}
BENCHMARK(BM_DrawPrecomputedSegments)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The walk's own share: the same walk into a 1 x 1 canvas, where every segment is clipped
// away after a few comparisons.
void BM_WalkWithoutPicture(benchmark::State& state) {
    const Figure& figure = kFigures[state.range(0)];
    common::Canvas canvas(1, 1);
    QuietServices services;
    lsystem::Turtle turtle;
    turtle.Factor = 1.0;
    lsystem::FormulaWalk walk(turtle, canvas, services);
    const lsystem::WalkSettings settings = settingsFor(figure);
    for (auto _ : state) {
        walk.StartDrawing(settings);
        benchmark::DoNotOptimize(turtle.state);
    }
    state.counters["segments/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * figure.segments), benchmark::Counter::kIsRate);
    state.SetLabel(figure.formula);
}
BENCHMARK(BM_WalkWithoutPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
