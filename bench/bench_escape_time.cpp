// The escape-time counts of whole pictures: the plain per-pixel loop against CountEngine, on the
// views the explorer shows most. Both report ms per picture and escape-time iterations per second,
// so the speed-up is the ratio of the two rates from one run.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "escape_time.h"

namespace {

using explorer::CountEngine;
using explorer::RenderJob;
using explorer::SetKind;

RenderJob MandelbrotJob(explorer::ViewRect view, int width, int height) {
    RenderJob job;
    job.kind = SetKind::Mandelbrot;
    job.view = view;
    job.frame = {0, width, 0, height};
    return job;
}

RenderJob DefaultMandelbrot(int width, int height) {
    return MandelbrotJob({-2.0, 1.0, -1.5, 1.5}, width, height);
}

RenderJob AllInterior() {
    return MandelbrotJob({-0.3, -0.1, -0.1, 0.1}, 601, 601);
}

RenderJob JuliaMinusHalf() {
    RenderJob job;
    job.kind = SetKind::Julia;
    job.view = {-1.5, 1.5, -1.5, 1.5};
    job.frame = {0, 601, 0, 601};
    job.juliaC = {-0.5, 0.6};
    return job;
}

double TotalIterations(const RenderJob& job) {
    const std::vector<std::uint16_t> counts = explorer::ComputeCountsPlain(job);
    return std::accumulate(counts.begin(), counts.end(), 0.0);
}

void Report(benchmark::State& state, double iterationsPerPicture) {
    state.counters["iterations"] = benchmark::Counter(
        iterationsPerPicture * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void Plain(benchmark::State& state, const RenderJob& job) {
    const double total = TotalIterations(job);
    for (auto _ : state) {
        std::vector<std::uint16_t> counts = explorer::ComputeCountsPlain(job);
        benchmark::DoNotOptimize(counts.data());
    }
    Report(state, total);
}

void Engine(benchmark::State& state, const RenderJob& job) {
    const double total = TotalIterations(job);
    CountEngine engine;
    state.SetLabel(CountEngine::simdPath());
    for (auto _ : state) {
        engine.start(job);
        // Column by column, as the presenter takes them.
        for (int x = 0; x < engine.columns(); ++x) {
            if (!engine.waitColumn(x, 60'000)) {
                state.SkipWithError("column never became ready");
                return;
            }
        }
        benchmark::DoNotOptimize(engine.column(engine.columns() - 1));
    }
    Report(state, total);
}

void BM_Plain_Default601(benchmark::State& state) {
    Plain(state, DefaultMandelbrot(601, 601));
}
void BM_Engine_Default601(benchmark::State& state) {
    Engine(state, DefaultMandelbrot(601, 601));
}
void BM_Plain_AllInterior601(benchmark::State& state) {
    Plain(state, AllInterior());
}
void BM_Engine_AllInterior601(benchmark::State& state) {
    Engine(state, AllInterior());
}
void BM_Plain_Default1920x1080(benchmark::State& state) {
    Plain(state, DefaultMandelbrot(1919, 1079));
}
void BM_Engine_Default1920x1080(benchmark::State& state) {
    Engine(state, DefaultMandelbrot(1919, 1079));
}
void BM_Plain_JuliaMinusHalf601(benchmark::State& state) {
    Plain(state, JuliaMinusHalf());
}
void BM_Engine_JuliaMinusHalf601(benchmark::State& state) {
    Engine(state, JuliaMinusHalf());
}

BENCHMARK(BM_Plain_Default601)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_Default601)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Plain_AllInterior601)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_AllInterior601)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Plain_Default1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_Default1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Plain_JuliaMinusHalf601)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_JuliaMinusHalf601)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
