// The generator's drawings as vector files: "FF-FF-FF-FF" at 8 iterations, 16.7 million
// segments, written as SVG and PDF while the walk runs. The peak memory shows that the writers
// hold no segments.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "lsystem_picture.h"
#include "lsystem_render.h"

namespace {

namespace fs = std::filesystem;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// `side` pixels square; `lines` made for an area of that size, so nothing is scaled.
void WriteDrawing(benchmark::State& state, const std::vector<std::string>& lines, int side,
                  render::DrawingFormat format, const char* extension) {
    const render::ResolvedLsystem resolved = render::LsystemFromLines(lines, "bench", side, side, side, side);
    if (!resolved.ok()) {
        state.SkipWithError(resolved.error.c_str());
        return;
    }
    const fs::path path = fs::temp_directory_path() / (std::string("bench_lsystem_vector.") + extension);
    std::uint64_t segments = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        render::WalkControl control;
        std::uint64_t written = 0;
        control.progress = [&written](std::uint64_t done, double) {
            written = done;
        };
        bool stackFull = false;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        if (render::WriteLsystemPicture(resolved.picture, path.string(), format, control, stackFull, error) !=
            render::WriteStatus::Done) {
            state.SkipWithError(error.c_str());
            return;
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        segments = static_cast<std::uint64_t>(render::SegmentsOfWalk(resolved.picture.settings));
    }
    std::error_code ignored;
    state.counters["segments"] = static_cast<double>(segments);
    state.counters["seconds"] = seconds;
    state.counters["Msegments_per_s"] = static_cast<double>(segments) / seconds / 1e6;
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path, ignored)) / 1e6;
    state.counters["peak_MB"] = PeakMegabytes();
    fs::remove(path, ignored);
}

// Every segment inside the area: the triangle's side is 256 segments of 8 pixels.
const std::vector<std::string> kWholeTriangle = {"FF-FF-FF-FF", "1", "120", "120",  "1",
                                                 "0",           "8", "10",  "2090", "1"};
// The preset's parameters at 8 iterations on the generator's area: the figure is 32 times the
// area's size, so nearly every segment is left out and only the walk remains.
const std::vector<std::string> kPresetAtEight = {"FF-FF-FF-FF", "1", "120", "120", "8",
                                                 "0",           "8", "40",  "540", "1"};

void BM_SierpinskiEightSvg(benchmark::State& state) {
    WriteDrawing(state, kWholeTriangle, 2100, render::DrawingFormat::Svg, "svg");
}
void BM_SierpinskiEightPdf(benchmark::State& state) {
    WriteDrawing(state, kWholeTriangle, 2100, render::DrawingFormat::Pdf, "pdf");
}
void BM_PresetSixAtEightSvg(benchmark::State& state) {
    WriteDrawing(state, kPresetAtEight, render::kDesignSide, render::DrawingFormat::Svg, "svg");
}

BENCHMARK(BM_SierpinskiEightSvg)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SierpinskiEightPdf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PresetSixAtEightSvg)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
