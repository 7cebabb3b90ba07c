// The command-line renderer on the default Mandelbrot set at 8000 x 8000, once into PNG and once
// into JPEG. One run measures the whole render (counting and encoding side by side), the counting
// alone and the encoding alone of the already counted picture, in megapixels per second, and the
// peak resident memory after the whole render. `ratio` is the whole render's time over the slower
// of the two parts: the pipeline hides the faster part when it is close to 1.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "atomic_file.h"
#include "escape_time.h"
#include "jpeg_file.h"
#include "paths.h"
#include "png_file.h"
#include "strip_render.h"

namespace {

constexpr int kSide = 8000;

class EncodeSink : public render::RowSink {
public:
    explicit EncodeSink(bool png) : m_png(png) {}
    bool start(std::FILE* file, std::string& error) {
        return m_png ? m_pngWriter.start(file, kSide, kSide, {}, error)
                     : m_jpegWriter.start(file, kSide, kSide, {}, error);
    }
    bool writeRows(const std::uint8_t* rgb, int rows, std::string& error) override {
        return m_png ? m_pngWriter.writeRows(rgb, rows, error) : m_jpegWriter.writeRows(rgb, rows, error);
    }
    bool finish(std::string& error) { return m_png ? m_pngWriter.finish(error) : m_jpegWriter.finish(error); }

private:
    bool m_png;
    render::PngStreamWriter m_pngWriter;
    common::JpegStreamWriter m_jpegWriter;
};

/// Keeps the counted picture for the encoding alone.
class KeepSink : public render::RowSink {
public:
    std::vector<std::uint8_t> rgb;
    bool writeRows(const std::uint8_t* rows, int count, std::string&) override {
        rgb.insert(rgb.end(), rows, rows + static_cast<std::size_t>(count) * kSide * 3);
        return true;
    }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The peak since ResetPeak(): Linux keeps the high-water mark in /proc and resets it on request,
// so the counted picture the previous benchmark held does not count against this one.
void ResetPeak() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "we")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

double PeakMegabytes() {
    double kilobytes = 0.0;
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f) != nullptr) {
            if (std::sscanf(line, "VmHWM: %lf kB", &kilobytes) == 1) {
                break;
            }
        }
        std::fclose(f);
    }
    if (kilobytes == 0.0) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        kilobytes = static_cast<double>(usage.ru_maxrss);
    }
    return kilobytes / 1024.0;
}

void BM_RenderDefaultMandelbrot8000(benchmark::State& state) {
    const bool png = state.range(0) == 1;
    state.SetLabel(png ? "png" : "jpeg");
    render::SetPicture picture;
    picture.width = kSide;
    picture.height = kSide;
    const double megapixels = static_cast<double>(kSide) * kSide / 1e6;
    const std::string path = common::GetTempFolder() + (png ? "/bench_render.png" : "/bench_render.jpg");
    explorer::CountEngine engine;
    std::string error;

    for (auto _ : state) {
        // The whole render, as fractal-render does it.
        ResetPeak();
        auto start = std::chrono::steady_clock::now();
        {
            common::AtomicFile output;
            EncodeSink sink(png);
            if (!output.open(path, error) || !sink.start(output.file(), error) ||
                render::RenderSet(picture, engine, sink, {}, error) != render::RenderStatus::Done ||
                !sink.finish(error)) {
                state.SkipWithError(error.c_str());
                return;
            }
        }
        const double whole = Seconds(start);
        const double peak = PeakMegabytes();

        KeepSink kept;
        kept.rgb.reserve(static_cast<std::size_t>(kSide) * kSide * 3);
        start = std::chrono::steady_clock::now();
        render::RenderSet(picture, engine, kept, {}, error);
        const double counting = Seconds(start);

        start = std::chrono::steady_clock::now();
        {
            common::AtomicFile output;
            EncodeSink sink(png);
            const int strip = render::StripRows(kSide);
            bool ok = output.open(path, error) && sink.start(output.file(), error);
            for (int y = 0; ok && y < kSide; y += strip) {
                ok = sink.writeRows(kept.rgb.data() + static_cast<std::size_t>(y) * kSide * 3,
                                    std::min(strip, kSide - y), error);
            }
            if (!ok || !sink.finish(error)) {
                state.SkipWithError(error.c_str());
                return;
            }
        }
        const double encoding = Seconds(start);

        state.counters["whole_MPps"] = megapixels / whole;
        state.counters["count_MPps"] = megapixels / counting;
        state.counters["encode_MPps"] = megapixels / encoding;
        state.counters["ratio"] = whole / std::max(counting, encoding);
        state.counters["peak_MB"] = peak;
        state.SetIterationTime(whole);
    }
}
BENCHMARK(BM_RenderDefaultMandelbrot8000)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
