#include "canvas.h"

#include <random>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using common::Canvas;
using common::Colour;
using common::Point;

// The explorer's renderer writes every pixel of its picture one call at a time.
void BM_SetPixelWholePicture(benchmark::State& state) {
    constexpr int kSize = 601;
    Canvas canvas(kSize, kSize);
    for (auto _ : state) {
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                canvas.setPixel(x, y, Colour{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
            }
        }
        benchmark::DoNotOptimize(canvas.image().pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_SetPixelWholePicture);

// The L-system generator draws very many short width-1 segments, a few of them leaving the
// picture.
void BM_LineToShortSegments(benchmark::State& state) {
    constexpr int kSize = 601;
    const int segmentLength = static_cast<int>(state.range(0));
    Canvas canvas(kSize, kSize);
    canvas.setPen({common::kRed, 1, common::PenStyle::Solid});
    std::mt19937 random(5);
    std::uniform_int_distribution<int> step(-segmentLength, segmentLength);
    std::vector<Point> path(4096);
    // A walk over a margin of 20 pixels around the picture, wrapping at its border.
    constexpr int kSpan = kSize + 40;
    Point walk{kSpan / 2, kSpan / 2};
    for (Point& p : path) {
        walk = {(walk.x + step(random) + kSpan) % kSpan, (walk.y + step(random) + kSpan) % kSpan};
        p = {walk.x - 20, walk.y - 20};
    }
    canvas.moveTo(path.front().x, path.front().y);
    for (auto _ : state) {
        for (const Point& p : path) {
            canvas.lineTo(p.x, p.y);
        }
        benchmark::DoNotOptimize(canvas.image().pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(path.size()));
}
BENCHMARK(BM_LineToShortSegments)->Arg(3)->Arg(12);

// Small filled discs mark points in the L-system pictures.
void BM_SmallDiscs(benchmark::State& state) {
    constexpr int kSize = 601;
    const int radius = static_cast<int>(state.range(0));
    Canvas canvas(kSize, kSize);
    canvas.setPen({common::kRed, 1, common::PenStyle::Solid});
    canvas.setBrush({common::BrushStyle::Solid, common::kRed});
    int centre = 0;
    for (auto _ : state) {
        centre = (centre + 37) % kSize;
        canvas.ellipse(centre - radius, 300 - radius, centre + radius, 300 + radius);
        benchmark::DoNotOptimize(canvas.image().pixels.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmallDiscs)->Arg(3)->Arg(50);

} // namespace
