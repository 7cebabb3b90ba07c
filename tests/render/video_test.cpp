// Zoom videos: the frames made from keyframes against the same views counted directly, the
// plan's keyframes, and the whole command with the real ffmpeg.
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "deep_flight.h"
#include "deep_render.h"
#include "renderer_runs.h"
#include "set_options.h"
#include "test_files.h"
#include "video_keyframes.h"
#include "video_plan.h"

namespace {

namespace fs = std::filesystem;

/// The view counted directly with the renderer's deep colours, three bytes a pixel.
std::vector<std::uint8_t> Counted(const deep::DeepView& view) {
    std::string error;
    const std::optional<deep::DeepPicture> picture = deep::DeepPicture::prepare(view, {}, error);
    EXPECT_TRUE(picture) << error;
    const auto pixels = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height);
    std::vector<std::uint32_t> counts(pixels);
    EXPECT_TRUE(picture->countRows(0, view.height, counts.data(), nullptr));
    std::vector<std::uint8_t> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        const common::Colour c =
            render::DeepCountColour(explorer::OriginalColours(), counts[i], view.iterations);
        rgb[3 * i] = c.r;
        rgb[3 * i + 1] = c.g;
        rgb[3 * i + 2] = c.b;
    }
    return rgb;
}

/// A shallow decimal as a double and back, whatever the locale.
double ToDouble(const deep::ExactDecimal& value) {
    const std::string text = deep::FormatExactDecimal(value);
    double out = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), out);
    return out;
}
deep::ExactDecimal ToDecimal(double value) {
    std::array<char, 64> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return *deep::ParseExactDecimal(std::string(text.data(), end));
}

/// The frame's view counted with 4 x 4 points a pixel, spread evenly over the pixel's square
/// around its point, and each block averaged: close to the picture's true mean colours.
std::vector<std::uint8_t> Supersampled(deep::DeepView view, int width, int height) {
    constexpr int s = 4;
    // Point 0 of the fine picture lies (s − 1) / 2s of a frame pixel up and left of the frame's.
    const double shift = (s - 1) / (2.0 * s) * 2.0 * ToDouble(view.radius) / height;
    view.re = ToDecimal(ToDouble(view.re) - shift);
    view.im = ToDecimal(ToDouble(view.im) + shift);
    view.width = s * width;
    view.height = s * height;
    const std::vector<std::uint8_t> fine = Counted(view);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < s; ++dy) {
                    for (int dx = 0; dx < s; ++dx) {
                        sum += fine[(static_cast<std::size_t>(s * y + dy) * view.width + s * x + dx) * 3 + c];
                    }
                }
                out[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<std::uint8_t>((sum + s * s / 2) / (s * s));
            }
        }
    }
    return out;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double squares = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        squares += d * d;
    }
    const double mse = squares / static_cast<double>(a.size());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

deep::DeepView Target(const char* re, const char* im, const char* radius, int width, int height) {
    deep::DeepView view;
    view.re = *deep::ParseExactDecimal(re);
    view.im = *deep::ParseExactDecimal(im);
    view.radius = *deep::ParseExactDecimal(radius);
    view.width = width;
    view.height = height;
    return view;
}

struct QualityRow {
    const char* name;
    const char* re;
    const char* im;
    const char* radius;
};

class FrameQualityTest : public testing::TestWithParam<QualityRow> {};

// A 96 x 54 video at 8 frames a second into five edges of the set: every frame made from its
// keyframe is close to the frame counted directly with 4 x 4 points a pixel.
TEST_P(FrameQualityTest, FramesFromKeyframesMatchSupersampledFrames) {
    render::VideoSettings settings;
    settings.width = 96;
    settings.height = 54;
    settings.fps = 8.0;
    constexpr int kw = 96 * render::kKeyframeScale;
    constexpr int kh = 54 * render::kKeyframeScale;
    const deep::DeepView target = Target(GetParam().re, GetParam().im, GetParam().radius, kw, kh);
    const render::VideoPlan plan = render::PlanVideo(target, settings);
    ASSERT_TRUE(plan.ok()) << plan.error;
    std::vector<std::vector<std::uint8_t>> keys;
    for (const deep::DeepView& key : plan.keyframes) {
        keys.push_back(Counted(key));
    }
    deep::DeepView start = target;
    render::DefaultDeepCentre(explorer::SetKind::Mandelbrot, start);
    const int frames = static_cast<int>(plan.frames.size());
    std::vector<std::uint8_t> frame(96 * 54 * 3);
    for (int f = 0; f < frames; ++f) {
        const render::FramePlacement& p = plan.frames[static_cast<std::size_t>(f)];
        render::MakeFrame(keys[static_cast<std::size_t>(p.keyframe)].data(), kw, kh, p, 96, 54, frame.data());
        const double psnr =
            Psnr(frame, Supersampled(render::DeepFlightView(start, target, frames, f), 96, 54));
        const double least = f == 0 || f + 1 == frames ? 30.0 : 27.0;
        EXPECT_GE(psnr, least) << "frame " << f << " of " << frames << " from keyframe " << p.keyframe;
        std::printf("%s frame %2d keyframe %d scale %.3f PSNR %.1f dB\n", GetParam().name, f, p.keyframe,
                    p.scale, psnr);
    }
}

INSTANTIATE_TEST_SUITE_P(Video, FrameQualityTest,
                         testing::Values(QualityRow{"two_doublings", "-0.5", "0", "0.375"},
                                         QualityRow{"towards_the_cusp", "0.25", "0", "0.375"},
                                         QualityRow{"upper_bulb", "-0.1", "0.9", "0.375"},
                                         QualityRow{"seahorse_valley", "-0.75", "0.1", "0.1875"},
                                         QualityRow{"elephant_valley", "0.28", "0.008", "0.1875"}),
                         [](const testing::TestParamInfo<QualityRow>& info) {
                             return std::string(info.param.name);
                         });

// One keyframe per halving lined up on the target, the first covering the start view; each
// frame in the smallest keyframe that holds it, reduced by a factor from 1 to 2.
TEST(VideoPlanTest, KeyframesHalveDownToTheTargetAndHoldTheirFrames) {
    render::VideoSettings settings;
    settings.width = 64;
    settings.height = 36;
    settings.fps = 10.0;
    settings.doublingSeconds = 0.5;
    const deep::DeepView target = Target("-0.743643887037151", "0.13182590420533", "1e-20",
                                         64 * render::kKeyframeScale, 36 * render::kKeyframeScale);
    const render::VideoPlan plan = render::PlanVideo(target, settings);
    ASSERT_TRUE(plan.ok()) << plan.error;
    // 1.5 / 1e-20 is 2^67.02: 68 halvings above the target, each half a second of 10 frames.
    ASSERT_EQ(plan.keyframes.size(), 69U);
    EXPECT_EQ(plan.frames.size(), static_cast<std::size_t>(std::lround(67.023 * 5)) + 1);
    EXPECT_EQ(plan.keyframes.back().re, target.re);
    EXPECT_EQ(plan.keyframes.back().radius, target.radius);
    EXPECT_EQ(deep::FormatExactDecimal(plan.keyframes[67].radius), "2e-20");
    EXPECT_EQ(plan.keyframes[0].radius, render::DecimalTimesPowerOfTwo(target.radius, 68));
    int previous = 0;
    for (const render::FramePlacement& p : plan.frames) {
        EXPECT_GE(p.keyframe, previous);
        previous = p.keyframe;
        EXPECT_GE(p.scale, render::kKeyframeScale / 2.0 - 1e-6);
        EXPECT_LE(p.scale, render::kKeyframeScale + 1e-6);
        EXPECT_GE(p.left, -1e-6);
        EXPECT_LE(p.left + p.scale * 64, 64 * render::kKeyframeScale + 1e-6);
    }
    EXPECT_EQ(plan.frames.front().keyframe, 0);
    EXPECT_EQ(plan.frames.back().keyframe, 68);
    EXPECT_NEAR(plan.frames.back().scale, render::kKeyframeScale, 1e-9);

    // Zooming out is no video.
    EXPECT_FALSE(render::PlanVideo(Target("0", "0", "2", 128, 72), settings).ok());
}

// A frame pixel is the mean of the keyframe pixels under its square: whole 3 x 3 blocks where
// the squares line up with them, and a flat keyframe stays flat at any reduction (a smaller
// re-encode takes a dozen and more keyframe pixels a side).
TEST(VideoPlanTest, FramePixelsAreTheMeansUnderTheirSquares) {
    constexpr int kw = 120;
    constexpr int kh = 72;
    std::vector<std::uint8_t> noise(kw * kh * 3);
    std::uint32_t state = 12345;
    for (std::uint8_t& v : noise) {
        state = state * 1664525U + 1013904223U;
        v = static_cast<std::uint8_t>(state >> 24);
    }
    std::vector<std::uint8_t> frame(39 * 23 * 3);
    render::MakeFrame(noise.data(), kw, kh, {0, 3.0, 1.0, 1.0}, 39, 23, frame.data());
    for (const auto [x, y] : {std::array{0, 0}, std::array{17, 9}, std::array{38, 22}}) {
        for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (int v = 3 * y; v < 3 * y + 3; ++v) {
                for (int u = 3 * x; u < 3 * x + 3; ++u) {
                    sum += noise[(static_cast<std::size_t>(v) * kw + u) * 3 + c];
                }
            }
            EXPECT_NEAR(frame[(static_cast<std::size_t>(y) * 39 + x) * 3 + c], sum / 9.0, 0.5)
                << x << "," << y << " channel " << c;
        }
    }

    const std::vector<std::uint8_t> flat(kw * kh * 3, 201);
    for (const double scale : {1.5, 2.2, 12.5}) {
        const int width = static_cast<int>((kw - 2) / scale);
        const int height = static_cast<int>((kh - 2) / scale);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
        render::MakeFrame(flat.data(), kw, kh, {0, scale, 1.0, 1.0}, width, height, out.data());
        EXPECT_EQ(std::count(out.begin(), out.end(), 201), static_cast<long>(out.size()))
            << "scale " << scale;
    }
}

TEST(VideoPlanTest, DescriptionReadsBack) {
    render::VideoDescription d;
    d.target.deepView = Target("-0.75", "0.1", "1e-3", 192, 108);
    d.target.width = 192;
    d.target.height = 108;
    d.keyframes = 12;
    d.settings = {96, 54, 7.5, 0.25};
    const std::optional<render::VideoDescription> back =
        render::ParseVideoDescription(render::FormatVideoDescription(d));
    ASSERT_TRUE(back);
    EXPECT_EQ(render::FormatVideoDescription(*back), render::FormatVideoDescription(d));
    EXPECT_TRUE(render::SameVideo(back->target, d.target));
    EXPECT_FALSE(render::ParseVideoDescription("fractal-render video keyframes\nversion 1\ntarget\n"));
    constexpr int k = render::kKeyframeScale;
    EXPECT_TRUE(render::KeyframesSuit(96 * k, 54 * k, 96, 54));
    EXPECT_TRUE(render::KeyframesSuit(96 * k, 54 * k, 48, 27));
    EXPECT_FALSE(render::KeyframesSuit(96 * k, 54 * k, 128, 54));
    EXPECT_FALSE(render::KeyframesSuit(96 * k, 54 * k, 97, 55));
}

/// The whole command in a folder of its own, with the real ffmpeg.
class VideoCommandTest : public render_test::InScratchFolder {
protected:
    VideoCommandTest() : InScratchFolder("video_test") {}

    static std::string Bytes(const fs::path& path) { return testing_support::ReadFileBytes(path); }
    /// "frames,width,height" of the video's stream, as ffprobe counts them.
    static std::string Probe(const std::string& video) {
        const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                    "stream=nb_read_frames,width,height -of csv=p=0 " +
                                    video + " > probe.txt";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::string text = Bytes("probe.txt");
        fs::remove("probe.txt");
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }
};

const std::vector<std::string> kTarget = {"set",    "--centre", "-0.75", "0.1", "--radius", "0.375",
                                          "--size", "32x18",    "--fps", "4",   "-q"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Two halvings at 4 frames a second are 9 frames; keyframes rendered in two parts and
// assembled give the very bytes of the single run, and another frame rate counts nothing.
TEST_F(VideoCommandTest, SplitKeyframesAssembleToTheSameVideo) {
    // The count, which a script cuts into ranges, is printed even with -q and makes nothing.
    const Run count = run(With(kTarget, {"--video", "whole.mp4", "--keyframes-count"}));
    ASSERT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "3\n");
    EXPECT_TRUE(fs::is_empty(folder_));

    const Run whole = run(With(kTarget, {"--video", "whole.mp4"}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(Probe("whole.mp4"), "32,18,9");
    ASSERT_TRUE(fs::exists("whole.keyframes/keyframe_002.png"));
    EXPECT_FALSE(fs::exists("whole.keyframes/keyframe_003.png"));

    for (const char* range : {"2:2", "0:1"}) {
        const Run part = run(With(kTarget, {"--keyframes-only", "--keyframes", "parts", "--range", range}));
        ASSERT_EQ(part.status, 0) << part.err;
    }
    const Run assembled = run({"assemble", "--keyframes", "parts", "--video", "assembled.mp4", "-q"});
    ASSERT_EQ(assembled.status, 0) << assembled.err;
    EXPECT_EQ(Bytes("assembled.mp4"), Bytes("whole.mp4"));

    const auto stamp = fs::last_write_time("parts/keyframe_001.png");
    const Run faster = run({"assemble", "--keyframes", "parts", "--video", "fast.webm", "--fps", "2", "-q"});
    ASSERT_EQ(faster.status, 0) << faster.err;
    EXPECT_EQ(Probe("fast.webm"), "32,18,5");
    EXPECT_EQ(fs::last_write_time("parts/keyframe_001.png"), stamp);

    // Larger frames would need larger keyframes: said, and nothing written.
    const Run larger = run({"assemble", "--keyframes", "parts", "--video", "large.mp4", "--size", "64x36"});
    EXPECT_EQ(larger.status, 1);
    EXPECT_NE(larger.err.find("too small for a 64x36 video"), std::string::npos) << larger.err;
    EXPECT_FALSE(fs::exists("large.mp4"));

    // An incomplete folder names the missing keyframe; another video's folder is refused.
    fs::remove("parts/keyframe_001.png");
    const Run missing = run({"assemble", "--keyframes", "parts", "--video", "x.mp4"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("keyframe_001.png is missing"), std::string::npos) << missing.err;
    const Run other = run({"set", "--centre", "0", "1", "--radius", "0.1", "--size", "32x18", "--video",
                           "o.mp4", "--keyframes", "parts", "-q"});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("holds the keyframes of another video"), std::string::npos) << other.err;
    EXPECT_FALSE(fs::exists("x.mp4") || fs::exists("o.mp4"));
}

// Ranges started together on one new folder: a run that finds only another run's description
// on its way, under its temporary name, waits for it and counts its own range; a folder of
// anything else is still refused.
TEST_F(VideoCommandTest, RangeWaitsForADescriptionOnItsWay) {
    const Run first = run(With(kTarget, {"--keyframes-only", "--keyframes", "first", "--range", "0:0"}));
    ASSERT_EQ(first.status, 0) << first.err;
    fs::create_directory("shared");
    fs::copy_file("first/video.txt", "shared/video.txt.tmpAb12Cd");
    std::thread writer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        fs::rename("shared/video.txt.tmpAb12Cd", "shared/video.txt");
    });
    const Run second = run(With(kTarget, {"--keyframes-only", "--keyframes", "shared", "--range", "1:1"}));
    writer.join();
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(fs::exists("shared/keyframe_001.png"));

    fs::create_directory("other");
    std::ofstream("other/notes.txt") << "notes\n";
    const Run other = run(With(kTarget, {"--keyframes-only", "--keyframes", "other", "--range", "1:1"}));
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("other is not a keyframe folder"), std::string::npos) << other.err;
    EXPECT_FALSE(fs::exists("other/keyframe_001.png"));
}

// Broken off after two keyframes: no video and no temporary file; the run started again keeps
// those two as they are and counts only the rest.
TEST_F(VideoCommandTest, BrokenOffRunLeavesNoVideoAndResumes) {
    std::atomic<bool> stop{false};
    render_test::WatchedText watch("keyframe 3/3", [&stop] { stop = true; });
    std::ostream err(&watch);
    std::vector<std::string> args = {"set",    "--centre", "-0.75", "0.1", "--radius", "0.375",
                                     "--size", "32x18",    "--fps", "4",   "--video",  "v.mp4"};
    const Run broken = run(args, &stop, &err);
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(watch.text.find("broken off; v.mp4 was not written"), std::string::npos) << watch.text;
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
        names.push_back(fs::relative(entry.path(), folder_).string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"v.keyframes", "v.keyframes/keyframe_000.png",
                                               "v.keyframes/keyframe_001.png", "v.keyframes/video.txt"}));
    const auto stamp = fs::last_write_time("v.keyframes/keyframe_000.png");
    const Run again = run(args);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(fs::last_write_time("v.keyframes/keyframe_000.png"), stamp);
    EXPECT_TRUE(fs::exists("v.keyframes/keyframe_002.png"));
    EXPECT_EQ(Probe("v.mp4"), "32,18,9");
}

} // namespace
