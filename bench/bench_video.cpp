// A zoom video made from keyframes against every frame counted directly: 320 x 180 at 60 frames
// a halving, eight halvings from the default view into the seahorse valley (481 frames, nine
// keyframes). The keyframes run as the video command runs them: frames are made from one
// keyframe while the next is counted. Direct frames are counted plainly and at twice their
// size along each side (2 x 2 points a pixel, about the quality the keyframes give; the tests
// compare frames with such ones counted at 4 x 4). Encoding is left out of both.
#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "deep_flight.h"
#include "deep_render.h"
#include "set_options.h"
#include "video_plan.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;

deep::DeepView Target() {
    deep::DeepView view;
    view.re = *deep::ParseExactDecimal("-0.743643887037151");
    view.im = *deep::ParseExactDecimal("0.13182590420533");
    view.radius = *deep::ParseExactDecimal("0.005859375"); // 1.5 / 2^8
    view.width = kWidth * render::kKeyframeScale;
    view.height = kHeight * render::kKeyframeScale;
    return view;
}

render::VideoSettings Settings() {
    render::VideoSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = 60.0;
    settings.doublingSeconds = 1.0;
    return settings;
}

std::vector<std::uint32_t> Count(const deep::DeepView& view) {
    std::string error;
    const std::optional<deep::DeepPicture> picture = deep::DeepPicture::prepare(view, {}, error);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(view.width) * view.height);
    if (!picture || !picture->countRows(0, view.height, counts.data(), nullptr)) {
        counts.clear();
    }
    return counts;
}

std::vector<std::uint8_t> Colour(const std::vector<std::uint32_t>& counts, std::int64_t iterations) {
    std::vector<std::uint8_t> rgb(counts.size() * 3);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const common::Colour c = render::DeepCountColour(explorer::OriginalColours(), counts[i], iterations);
        rgb[3 * i] = c.r;
        rgb[3 * i + 1] = c.g;
        rgb[3 * i + 2] = c.b;
    }
    return rgb;
}

/// The frames taken from keyframe `key` of the plan.
void FramesOf(const render::VideoPlan& plan, const deep::DeepView& target,
              const std::vector<std::uint8_t>& rgb, int key) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (const render::FramePlacement& p : plan.frames) {
        if (p.keyframe == key) {
            render::MakeFrame(rgb.data(), target.width, target.height, p, kWidth, kHeight, frame.data());
            benchmark::DoNotOptimize(frame.data());
        }
    }
}

void BM_VideoFromKeyframes(benchmark::State& state) {
    const deep::DeepView target = Target();
    for (auto _ : state) {
        const render::VideoPlan plan = render::PlanVideo(target, Settings());
        std::vector<std::uint8_t> previous;
        std::thread framer;
        for (int k = 0; k < static_cast<int>(plan.keyframes.size()); ++k) {
            const deep::DeepView& key = plan.keyframes[static_cast<std::size_t>(k)];
            std::vector<std::uint8_t> rgb = Colour(Count(key), key.iterations);
            if (framer.joinable()) {
                framer.join();
            }
            previous = std::move(rgb);
            framer = std::thread([&plan, &target, &previous, k] { FramesOf(plan, target, previous, k); });
        }
        framer.join();
        state.counters["frames"] = static_cast<double>(plan.frames.size());
        state.counters["keyframes"] = static_cast<double>(plan.keyframes.size());
    }
}
BENCHMARK(BM_VideoFromKeyframes)->Unit(benchmark::kMillisecond)->UseRealTime();

/// Only the frames, from keyframes counted beforehand: the part of the above that is not counting.
void BM_VideoFramesOnly(benchmark::State& state) {
    const deep::DeepView target = Target();
    const render::VideoPlan plan = render::PlanVideo(target, Settings());
    std::vector<std::vector<std::uint8_t>> keys;
    for (const deep::DeepView& key : plan.keyframes) {
        keys.push_back(Colour(Count(key), key.iterations));
    }
    for (auto _ : state) {
        for (int k = 0; k < static_cast<int>(keys.size()); ++k) {
            FramesOf(plan, target, keys[static_cast<std::size_t>(k)], k);
        }
        state.counters["frames"] = static_cast<double>(plan.frames.size());
    }
}
BENCHMARK(BM_VideoFramesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

/// Every frame counted on its own, at `factor` times its size along each side.
void DirectFrames(benchmark::State& state, int factor) {
    deep::DeepView target = Target();
    const int frames = static_cast<int>(render::PlanVideo(target, Settings()).frames.size());
    target.width = kWidth * factor;
    target.height = kHeight * factor;
    deep::DeepView start = target;
    render::DefaultDeepCentre(explorer::SetKind::Mandelbrot, start);
    for (auto _ : state) {
        for (int f = 0; f < frames; ++f) {
            const deep::DeepView view = render::DeepFlightView(start, target, frames, f);
            benchmark::DoNotOptimize(Colour(Count(view), view.iterations).data());
        }
        state.counters["frames"] = frames;
    }
}

void BM_VideoEveryFrameDirect(benchmark::State& state) {
    DirectFrames(state, 1);
}
BENCHMARK(BM_VideoEveryFrameDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VideoEveryFrameDirectSupersampled(benchmark::State& state) {
    DirectFrames(state, 2);
}
BENCHMARK(BM_VideoEveryFrameDirectSupersampled)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
