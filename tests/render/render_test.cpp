#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include "canvas.h"
#include "cli.h"
#include "decimal_mpfr.h"
#include "escape_time.h"
#include "explorer_state.h"
#include "fake_services.h"
#include "formula_file.h"
#include "formula_walk.h"
#include "jpeg_file.h"
#include "lsystem_picture.h"
#include "lsystem_render.h"
#include "parameters.h"
#include "png_file.h"
#include "renderer.h"
#include "renderer_runs.h"
#include "set_options.h"
#include "stored_record.h"
#include "strip_render.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

/// A folder of its own per test, made the current one so relative names land in it.
class RenderTest : public render_test::InScratchFolder {
protected:
    RenderTest() : InScratchFolder("render_test") {}

    /// Runs with the progress line shown on an error stream that calls `action` the first time
    /// `trigger` appears in it (never for an empty one); `err` of the result is the whole stream.
    Run runWatched(std::vector<std::string> args, const std::string& trigger, std::function<void()> action,
                   const std::atomic<bool>* stop = nullptr) {
        render_test::WatchedText watched(trigger, std::move(action));
        std::ostream err(&watched);
        Run result = render_test::RunRenderer(std::move(args), stop, &err);
        result.err = watched.text;
        return result;
    }
};

std::string Bytes(const fs::path& path) {
    return testing_support::ReadFileBytes(path);
}

/// What the explorer window shows: its own pixel loop on a 601 x 601 picture area.
common::RgbImage ExplorerPicture(explorer::SetKind kind, explorer::TComplex c,
                                 explorer::ColourScheme colours) {
    explorer::ExplorerState s;
    explorer::MeasurePicture(s, 601, 601);
    s.colours = colours;
    common::Canvas canvas(601, 601);
    testing_support::FakeServices services;
    explorer::CountEngine engine;
    explorer::RenderJob job;
    job.kind = kind;
    job.view = explorer::DefaultView(kind);
    job.frame = s.frame;
    job.juliaC = c;
    EXPECT_EQ(explorer::RunPixelLoop(s, canvas, services, engine, job), explorer::RenderOutcome::Completed);
    return canvas.image();
}

struct WindowRow {
    const char* name;
    std::vector<std::string> args;
    explorer::SetKind kind;
    explorer::TComplex c;
    explorer::ColourScheme colours;
};

void PrintTo(const WindowRow& row, std::ostream* out) {
    *out << row.name;
}

class WindowIdentityTest : public RenderTest, public testing::WithParamInterface<WindowRow> {};

TEST_P(WindowIdentityTest, PngEqualsTheExplorersPictureExactly) {
    const WindowRow& row = GetParam();
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-o", "out.png"});
    const Run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const render::PngPicture png = render::ReadPng("out.png");
    ASSERT_TRUE(png.error.empty()) << png.error;
    const common::RgbImage expected = ExplorerPicture(row.kind, row.c, row.colours);
    ASSERT_EQ(png.width, expected.width);
    ASSERT_EQ(png.height, expected.height);
    EXPECT_TRUE(std::equal(png.pixels.begin(), png.pixels.end(), expected.pixels.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

INSTANTIATE_TEST_SUITE_P(Render, WindowIdentityTest,
                         testing::Values(WindowRow{"default_mandelbrot",
                                                   {"set"},
                                                   explorer::SetKind::Mandelbrot,
                                                   {},
                                                   explorer::OriginalColours()},
                                         WindowRow{"julia_subtractive",
                                                   {"set", "--julia", "-0.5/0.6", "--border", "200", "$30",
                                                    "0x7f", "--main", "0", "0", "9", "--subtractive"},
                                                   explorer::SetKind::Julia,
                                                   {-0.5, 0.6},
                                                   {200, 48, 127, 0, 0, 9, false}}),
                         [](const testing::TestParamInfo<WindowRow>& info) {
                             return std::string(info.param.name);
                         });

// Several strips, the last one short: the rows must come out in order and whole.
TEST_F(RenderTest, WideStripsEqualThePlainLoop) {
    render::SetPicture picture;
    picture.view = {-2.0, 1.0, 0.9, 1.1};
    picture.width = 20000;
    picture.height = 3 * render::StripRows(picture.width) + 4;
    struct Collect : render::RowSink {
        std::vector<std::uint8_t> rgb;
        bool writeRows(const std::uint8_t* rows, int count, std::string&) override {
            rgb.insert(rgb.end(), rows, rows + static_cast<std::size_t>(count) * 20000 * 3);
            return true;
        }
    } sink;
    explorer::CountEngine engine;
    std::string error;
    ASSERT_EQ(render::RenderSet(picture, engine, sink, {}, error), render::RenderStatus::Done) << error;

    const explorer::RenderJob job = render::JobFor(picture);
    const std::vector<std::uint16_t> counts = explorer::ComputeCountsPlain(job);
    const auto table = explorer::ColourTable(picture.colours);
    ASSERT_EQ(sink.rgb.size(), static_cast<std::size_t>(picture.width) * picture.height * 3);
    std::size_t mismatches = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const common::Colour c = table[counts[static_cast<std::size_t>(x) * job.rows() + y]];
            const std::uint8_t* p = &sink.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3];
            mismatches += (p[0] != c.r || p[1] != c.g || p[2] != c.b) ? 1 : 0;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// At 256 iterations a deep view has the explorer's colours; past 256 the levels go round again,
// each channel wrapping as the explorer's arithmetic does, and only n = N is the main colour.
TEST(DeepColourTest, ExplorerColoursAt256AndWrappedBeyond) {
    for (const explorer::ColourScheme& scheme :
         {explorer::OriginalColours(), explorer::ColourScheme{3, 250, 17, 1, 2, 3, false}}) {
        const std::array<common::Colour, 257> table = explorer::ColourTable(scheme);
        for (int n = 0; n <= 256; ++n) {
            EXPECT_EQ(render::DeepCountColour(scheme, n, 256), table[static_cast<std::size_t>(n)]) << n;
        }
        const common::Colour main = table[256];
        EXPECT_EQ(render::DeepCountColour(scheme, 100'000'000, 100'000'000), main);
        // 256 is an ordinary level once the limit is higher: level 0's colour, not the main one.
        EXPECT_EQ(render::DeepCountColour(scheme, 256, 1000), table[0]);
        for (const std::int64_t n : {std::int64_t{300}, std::int64_t{99'999'999}}) {
            const auto level = static_cast<unsigned>(n);
            const auto channel = [&](int step) {
                return static_cast<std::uint8_t>((scheme.AdditiveMix ? level * static_cast<unsigned>(step)
                                                                     : static_cast<unsigned>(step) - level) &
                                                 0xFFu);
            };
            const common::Colour want{channel(scheme.BorderR), channel(scheme.BorderG),
                                      channel(scheme.BorderB)};
            EXPECT_EQ(render::DeepCountColour(scheme, n, 100'000'000), want) << n;
        }
    }
}

// Needs the deep engine: a picture far below double precision renders, its record keeps the
// decimals exactly, and --from makes the same bytes again.
TEST_F(RenderTest, DeepViewRendersAndRendersAgainFromItsRecord) {
    const std::vector<std::string> made = {"set",   "--centre", "-0.75",   "-1.7e-3",      "--radius",
                                           "1e-30", "--size",   "16x16",   "--iterations", "500",
                                           "-q",    "-o",       "deep.png"};
    const Run first = run(made);
    ASSERT_EQ(first.status, 0) << first.err;
    std::optional<common::PictureRecord> stored;
    ASSERT_TRUE(render::ReadStoredRecord("deep.png", stored).ok());
    const auto& deep = std::get<common::DeepSetRecord>(*stored);
    EXPECT_EQ(deep::FormatExactDecimal(deep.re), "-0.75");
    EXPECT_EQ(deep::FormatExactDecimal(deep.im), "-0.0017");
    EXPECT_EQ(deep::FormatExactDecimal(deep.radius), "1e-30");
    EXPECT_EQ(deep.iterations, 500);
    EXPECT_EQ(deep.width, 16);

    ASSERT_EQ(run({"set", "--from", "deep.png", "-q", "-o", "again.png"}).status, 0);
    EXPECT_EQ(Bytes("again.png"), Bytes("deep.png"));
    ASSERT_EQ(run({"set", "--from", "deep.png", "--size", "8x4", "-q", "-o", "small.png"}).status, 0);
    std::optional<common::PictureRecord> small;
    ASSERT_TRUE(render::ReadStoredRecord("small.png", small).ok());
    EXPECT_EQ(std::get<common::DeepSetRecord>(*small).height, 4);
    EXPECT_EQ(std::get<common::DeepSetRecord>(*small).radius, deep.radius);
}

TEST_F(RenderTest, StoredPictureRendersAgainIdentically) {
    const std::vector<std::string> made = {
        "set",    "--julia=-0.5/0.6", "--view",   "0.1", "0.35", "-1.5e-300", "0.2",
        "--size", "120x90",           "--border", "3",   "250",  "17"};
    for (const char* name : {"a.jpg", "a.png"}) {
        std::vector<std::string> args = made;
        args.insert(args.end(), {"-o", name});
        ASSERT_EQ(run(args).status, 0);
    }
    const std::optional<common::PictureRecord> record = common::ReadPictureRecord("a.jpg");
    ASSERT_TRUE(record.has_value());
    const auto& set = std::get<common::SetRecord>(*record);
    EXPECT_EQ(set.imMin, -1.5e-300);
    EXPECT_EQ(set.reMin, 0.1);
    EXPECT_EQ(set.width, 120);

    // Same record, same pixels, so the same bytes; across formats too.
    ASSERT_EQ(run({"set", "--from", "a.jpg", "-o", "b.jpg"}).status, 0);
    EXPECT_EQ(Bytes("b.jpg"), Bytes("a.jpg"));
    ASSERT_EQ(run({"set", "--from", "a.jpg", "-o", "b.png"}).status, 0);
    EXPECT_EQ(Bytes("b.png"), Bytes("a.png"));
    ASSERT_EQ(run({"set", "--from", "a.png", "-o", "c.jpg"}).status, 0);
    EXPECT_EQ(Bytes("c.jpg"), Bytes("a.jpg"));
    // The two spellings of a negative constant are one option.
    ASSERT_EQ(run({"set", "--from", "a.png", "--julia", "-0.5/0.6", "-o", "d.jpg"}).status, 0);
    EXPECT_EQ(Bytes("d.jpg"), Bytes("a.jpg"));

    // An option beside --from overrides only itself.
    ASSERT_EQ(run({"set", "--from", "a.jpg", "--size", "240x180", "-o", "big.jpg"}).status, 0);
    const auto big = std::get<common::SetRecord>(*common::ReadPictureRecord("big.jpg"));
    EXPECT_EQ(big.width, 240);
    EXPECT_EQ(big.imMin, set.imMin);
    EXPECT_EQ(big.border, set.border);
}

TEST_F(RenderTest, ZoomSequenceStartsAtTheDefaultViewAndEndsAtTheTarget) {
    fs::create_directory("flight");
    const std::vector<std::string> target = {"--view", "-0.75", "-0.74", "0.1", "0.11", "--size", "48x48"};
    std::vector<std::string> args = {"set", "--zoom-sequence", "4", "--base", "flight/Bild"};
    args.insert(args.end(), target.begin(), target.end());
    const Run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "flight/Bild_001.JPG\nflight/Bild_002.JPG\nflight/Bild_003.JPG\nflight/Bild_004.JPG\n");

    std::vector<double> widths;
    for (int n = 1; n <= 4; ++n) {
        const auto record = common::ReadPictureRecord("flight/Bild_00" + std::to_string(n) + ".JPG");
        ASSERT_TRUE(record.has_value()) << n;
        const auto& set = std::get<common::SetRecord>(*record);
        widths.push_back(set.reMax - set.reMin);
        if (n == 1) {
            EXPECT_EQ((explorer::ViewRect{set.reMin, set.reMax, set.imMin, set.imMax}),
                      explorer::DefaultView(explorer::SetKind::Mandelbrot));
        }
    }
    // Each step shrinks the view by the same factor.
    EXPECT_NEAR(widths[1] / widths[0], widths[2] / widths[1], 1e-9);
    EXPECT_NEAR(widths[3] / widths[2], widths[2] / widths[1], 1e-9);

    args = {"set", "-o", "direct.jpg"};
    args.insert(args.end(), target.begin(), target.end());
    ASSERT_EQ(run(args).status, 0);
    EXPECT_EQ(Bytes("flight/Bild_004.JPG"), Bytes("direct.jpg"));
}

// A deep target is flown to in exact decimals: each radius is the one before times the same
// factor, the target keeps its place on the screen (its offset from the centre, in radii, is
// that of the first picture), and the last picture is the single render of the target.
TEST_F(RenderTest, ZoomSequenceIntoADeepViewEndsAtItsSingleRender) {
    const std::string re = "-0.743643887037158704752191506114774";
    const std::string im = "0.131825904205311970493132056385139";
    const std::vector<std::string> target = {"--centre",     re,   im, "--radius", "1e-20", "--size", "48x32",
                                             "--iterations", "600"};
    std::vector<std::string> args = {"set", "--zoom-sequence", "4", "--base", "d", "-q"};
    args.insert(args.end(), target.begin(), target.end());
    const Run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;

    std::vector<common::DeepSetRecord> frames;
    for (int n = 1; n <= 4; ++n) {
        std::optional<common::PictureRecord> stored;
        ASSERT_TRUE(render::ReadStoredRecord("d_00" + std::to_string(n) + ".JPG", stored).ok()) << n;
        frames.push_back(std::get<common::DeepSetRecord>(*stored));
        EXPECT_EQ(frames.back().iterations, 600) << n;
    }
    EXPECT_EQ(deep::FormatExactDecimal(frames[0].re), "-0.5");
    EXPECT_EQ(deep::FormatExactDecimal(frames[0].im), "0");
    EXPECT_EQ(deep::FormatExactDecimal(frames[0].radius), "1.5");
    EXPECT_EQ(frames[3].re, deep::ParseExactDecimal(re));
    EXPECT_EQ(frames[3].im, deep::ParseExactDecimal(im));
    EXPECT_EQ(deep::FormatExactDecimal(frames[3].radius), "1e-20");

    // (a - b) / (c - d) / ((e - f) / (g - h)) - 1, at 256 bits: how far two ratios are apart.
    auto gap = [](std::array<const deep::ExactDecimal*, 8> terms) {
        std::array<mpfr_t, 8> x;
        for (std::size_t i = 0; i < 8; ++i) {
            mpfr_init2(x[i], 256);
            deep::ToMpfr(*terms[i], x[i], MPFR_RNDN);
        }
        for (std::size_t i = 0; i < 8; i += 2) {
            mpfr_sub(x[i], x[i], x[i + 1], MPFR_RNDN);
        }
        mpfr_div(x[0], x[0], x[2], MPFR_RNDN);
        mpfr_div(x[4], x[4], x[6], MPFR_RNDN);
        mpfr_div(x[0], x[0], x[4], MPFR_RNDN);
        const double value = mpfr_get_d(x[0], MPFR_RNDN) - 1.0;
        for (mpfr_t& v : x) {
            mpfr_clear(v);
        }
        return value;
    };
    const deep::ExactDecimal zero;
    const common::DeepSetRecord& start = frames[0];
    const common::DeepSetRecord& end = frames[3];
    for (std::size_t k = 1; k < 3; ++k) {
        // The same factor from one radius to the next, (R/R0)^(1/3).
        const auto& r = frames[k].radius;
        EXPECT_LT(std::fabs(gap(
                      {&r, &zero, &frames[k - 1].radius, &zero, &frames[k + 1].radius, &zero, &r, &zero})),
                  1e-18)
            << k;
        // The centre has gone the share of the way that the radius has: (c - C)/(C0 - C) is
        // (r - R)/(R0 - R), as in the explorer's flights.
        for (const bool real : {true, false}) {
            const auto& c = real ? frames[k].re : frames[k].im;
            const auto& c0 = real ? start.re : start.im;
            const auto& c1 = real ? end.re : end.im;
            EXPECT_LT(std::fabs(gap({&c, &c1, &c0, &c1, &r, &end.radius, &start.radius, &end.radius})), 1e-18)
                << k << (real ? " re" : " im");
        }
    }
    EXPECT_NEAR(render::ParseNumber(deep::FormatExactDecimal(frames[1].radius)).value_or(0.0) /
                    (1.5 * std::cbrt(1e-20 / 1.5)),
                1.0, 1e-14);
    args = {"set", "-q", "-o", "direct.jpg"};
    args.insert(args.end(), target.begin(), target.end());
    ASSERT_EQ(run(args).status, 0);
    EXPECT_EQ(Bytes("d_004.JPG"), Bytes("direct.jpg"));
    // A picture on the way is drawn again from its record.
    ASSERT_EQ(run({"set", "--from", "d_002.JPG", "-q", "-o", "again.jpg"}).status, 0);
    EXPECT_EQ(Bytes("again.jpg"), Bytes("d_002.JPG"));
}

// A band dragged leftwards and downwards gives a mirrored view: the flight keeps that
// orientation from its first picture on and lands on exactly the picture of the target.
TEST_F(RenderTest, ZoomSequenceIntoAMirroredViewFliesMirrored) {
    const std::vector<std::string> target = {"--view", "-0.74", "-0.75", "0.11", "0.1", "--size", "32x32"};
    std::vector<std::string> args = {"set", "--zoom-sequence", "4", "--base", "m", "-q"};
    args.insert(args.end(), target.begin(), target.end());
    const Run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int n = 1; n <= 4; ++n) {
        const auto record = common::ReadPictureRecord("m_00" + std::to_string(n) + ".JPG");
        ASSERT_TRUE(record.has_value()) << n;
        const auto& set = std::get<common::SetRecord>(*record);
        EXPECT_LT(set.reMax, set.reMin) << n;
        EXPECT_LT(set.imMax, set.imMin) << n;
        if (n == 1) {
            EXPECT_EQ((explorer::ViewRect{set.reMin, set.reMax, set.imMin, set.imMax}),
                      (explorer::ViewRect{1.0, -2.0, 1.5, -1.5}));
        }
    }
    args = {"set", "-o", "direct.jpg"};
    args.insert(args.end(), target.begin(), target.end());
    ASSERT_EQ(run(args).status, 0);
    EXPECT_EQ(Bytes("m_004.JPG"), Bytes("direct.jpg"));
}

// Every number the explorer's syntax takes is read after an option, whatever it starts with.
TEST_F(RenderTest, NumbersAreReadAsTyped) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        explorer::ViewRect view;
        explorer::TComplex c;
    };
    const explorer::ViewRect julia = explorer::DefaultView(explorer::SetKind::Julia);
    const Row rows[] = {
        {"leading_points", {"--view", "-0.5", "-.25", "-0.5", "-.25"}, {-0.5, -0.25, -0.5, -0.25}, {}},
        {"exponents", {"--view", "-1e-3", "-5E-4", "-5", "-.5e0"}, {-1e-3, -5e-4, -5.0, -0.5}, {}},
        {"view_after_equals", {"--view=-.5", "-.25", "-.5", "-.25"}, {-0.5, -0.25, -0.5, -0.25}, {}},
        {"julia_leading_points", {"--julia", "-.5/-.6"}, julia, {-0.5, -0.6}},
        {"julia_after_equals", {"--julia=-.5/.6"}, julia, {-0.5, 0.6}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"set", "--size", "4x4", "-q", "-o", "n.jpg"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Run r = run(args);
        ASSERT_EQ(r.status, 0) << row.name << ": " << r.err;
        const auto record = common::ReadPictureRecord("n.jpg");
        ASSERT_TRUE(record.has_value()) << row.name;
        const auto& set = std::get<common::SetRecord>(*record);
        EXPECT_EQ((explorer::ViewRect{set.reMin, set.reMax, set.imMin, set.imMax}), row.view) << row.name;
        EXPECT_EQ((explorer::TComplex{set.juliaRe, set.juliaIm}), row.c) << row.name;
    }
}

TEST_F(RenderTest, UnknownSubcommandsAndOptionsAreNamed) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"render", "-o", "x.png"},
         "fractal-render: unknown subcommand \"render\"; the subcommands are set, lsystem and assemble\n"},
        {{"--bogus", "set"}, "fractal-render: unknown option --bogus\n"},
        {{"set", "--version"}, "fractal-render: unknown option --version\n"},
    };
    for (const auto& [args, says] : rows) {
        const Run r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_TRUE(r.err.starts_with(says)) << r.err;
    }
    EXPECT_TRUE(entries().empty());
}

/// Every entry of a folder with the size and a hash of its bytes, to compare a folder before
/// and after.
std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string bytes = entry.is_directory() ? "" : Bytes(entry.path());
        contents[entry.path().filename().string()] =
            entry.is_directory() ? "folder"
                                 : std::to_string(bytes.size()) + " bytes, hash " +
                                       std::to_string(std::hash<std::string>{}(bytes));
    }
    return contents;
}

// A second flight under the same names replaces the first only when it is complete.
TEST_F(RenderTest, FlightThatFailsOrIsBrokenOffLeavesEarlierPicturesAlone) {
    fs::create_directory("flight");
    ASSERT_EQ(run({"set", "--zoom-sequence", "3", "--base", "flight/Z", "--size", "16x16"}).status, 0);
    std::map<std::string, std::string> before = Contents("flight");
    ASSERT_EQ(before.size(), 3u);
    const std::vector<std::string> later = {"set",      "--zoom-sequence", "5",     "--base",
                                            "flight/Z", "--size",          "16x16", "--view",
                                            "-0.75",    "-0.74",           "0.1",   "0.11"};

    // Ctrl+C after the third picture.
    std::atomic<bool> stop{false};
    Run r = runWatched(
        later, "3/5 ", [&stop] { stop = true; }, &stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fractal-render: broken off; the flight flight/Z_001.JPG ... flight/Z_005.JPG"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Contents("flight"), before);

    // A name that cannot be written is found before anything is rendered.
    std::error_code error;
    fs::create_directory("flight/Z_004.JPG", error);
    before = Contents("flight");
    r = run(later);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("flight/Z_004.JPG"), std::string::npos) << r.err;
    EXPECT_EQ(Contents("flight"), before);
    fs::remove("flight/Z_004.JPG", error);

    // A name is taken by a folder while the last picture is rendered: renaming the fourth
    // fails, and the three renamed before it, over the earlier pictures, are undone.
    r = runWatched(later, "5/5 ", [&error] { fs::create_directory("flight/Z_004.JPG", error); });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write flight/Z_004.JPG"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Contents("flight"), before);
    fs::remove("flight/Z_004.JPG", error);

    // Complete, it replaces them all.
    r = run(later);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Contents("flight").size(), 5u);
    EXPECT_NE(Bytes("flight/Z_002.JPG"), before["Z_002.JPG"]);
}

TEST_F(RenderTest, FlightMakesTheMissingFoldersOfItsBase) {
    const mode_t previous = ::umask(022);
    Run r = run({"set", "--zoom-sequence", "2", "--base", "flight/deep/Zoom", "--size", "8x8"});
    ::umask(previous);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "flight/deep/Zoom_001.JPG\nflight/deep/Zoom_002.JPG\n");
    for (const char* folder : {"flight", "flight/deep"}) {
        struct stat info {};
        ASSERT_EQ(::stat(folder, &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
    }

    // A flight that is not written takes the folders it made away again, and only those.
    const std::set<std::string> before = entries();
    std::atomic<bool> stop{true};
    r = run({"set", "--zoom-sequence", "2", "--base", "flight/new/more/Zoom", "--size", "8x8"}, &stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(entries(), before);

    std::ofstream("plain") << "a file";
    r = run({"set", "--zoom-sequence", "2", "--base", "plain/Zoom", "--size", "8x8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::string("cannot make the folder plain: ") + std::strerror(ENOTDIR)),
              std::string::npos)
        << r.err;
}

// The line shows the share and the time left of the whole flight, not of the picture.
// A signal while the last rows are encoded comes before the picture has its name: it leaves
// nothing, as one during the counting does.
TEST_F(RenderTest, StopAfterTheLastRowIsCountedLeavesNoPicture) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"set", "--size", "8x8", "-o", "late.png"}, "late.png 100%"},
        {{"set", "--size", "8x8", "--zoom-sequence", "2", "--base", "new/late"}, "2/2 100%"},
        {{"set", "--size", "8x8", "--centre", "0", "1", "--radius", "1e-20", "--zoom-sequence", "2", "--base",
          "new/deep"},
         "2/2 100%"},
    };
    for (const auto& [args, lastUpdate] : rows) {
        std::atomic<bool> stop{false};
        const Run r = runWatched(
            args, lastUpdate, [&stop] { stop = true; }, &stop);
        EXPECT_EQ(r.status, 1) << lastUpdate;
        EXPECT_NE(r.err.find("broken off"), std::string::npos) << r.err;
        EXPECT_TRUE(entries().empty()) << lastUpdate;
    }
}

TEST_F(RenderTest, FlightProgressCountsTheWholeFlight) {
    const Run r = runWatched({"set", "--zoom-sequence", "3", "--base", "Z", "--size", "16x16"}, "", {});
    ASSERT_EQ(r.status, 0) << r.err;
    // Each state of the line: its share, and the picture its label names (0 for none).
    std::vector<std::pair<int, int>> shown; // frame, percent
    const std::string rewrite = "\r\033[K";
    for (std::size_t at = r.err.find(rewrite); at != std::string::npos;) {
        const std::size_t from = at + rewrite.size();
        at = r.err.find(rewrite, from);
        const std::string line = r.err.substr(from, at == std::string::npos ? std::string::npos : at - from);
        const std::size_t percentSign = line.find('%');
        if (percentSign == std::string::npos) {
            continue;
        }
        int frame = 0;
        std::sscanf(line.c_str(), "frame %d/3", &frame);
        std::size_t digits = percentSign;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1])) != 0) {
            --digits;
        }
        shown.emplace_back(frame, std::stoi(line.substr(digits, percentSign - digits)));
    }
    // The share never falls back at a new picture, and each picture ends with the share of the
    // flight done by then.
    ASSERT_FALSE(shown.empty()) << r.err;
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](auto a, auto b) {
        return a.second < b.second;
    })) << r.err;
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](auto s) { return s.second == 100; }), 1) << r.err;
    for (const auto& [frame, percent] : {std::pair{1, 33}, std::pair{2, 66}, std::pair{3, 100}}) {
        const auto last =
            std::find_if(shown.rbegin(), shown.rend(), [&](auto s) { return s.first == frame; });
        ASSERT_NE(last, shown.rend()) << "no line names frame " << frame << ": " << r.err;
        EXPECT_EQ(last->second, percent) << frame;
    }
    EXPECT_NE(r.err.find("left"), std::string::npos);
}

TEST_F(RenderTest, BrokenOffRenderLeavesNothing) {
    std::atomic<bool> stop{true};
    const Run r = run({"set", "--size", "300x300", "-o", "out.png"}, &stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken off"), std::string::npos) << r.err;
    const Run flight = run({"set", "--zoom-sequence", "3", "--base", "f", "--size", "30x30"}, &stop);
    EXPECT_EQ(flight.status, 1);
    for (const char* name : {"out.svg", "out.pdf", "out.png"}) {
        const Run drawing = run({"lsystem", "--preset", "6", "-o", name}, &stop);
        EXPECT_EQ(drawing.status, 1) << name;
        EXPECT_NE(drawing.err.find("broken off"), std::string::npos) << drawing.err;
    }
    EXPECT_TRUE(entries().empty());
}

using BadRow = render_test::RefusalRow;

class RefusalTest : public RenderTest, public testing::WithParamInterface<BadRow> {};

class BadInputTest : public RefusalTest {};

/// Holds a named pipe open for writing with a picture's first bytes in it, so that a reader
/// that opened it anyway would read those and fail rather than wait.
class HeldPipe {
public:
    explicit HeldPipe(const char* name) {
        EXPECT_EQ(::mkfifo(name, 0600), 0);
        m_fd = ::open(name, O_RDWR | O_NONBLOCK);
        EXPECT_GE(m_fd, 0);
        std::string bytes(32768, '\0');
        bytes.replace(0, 3, "\xFF\xD8\xFF");
        EXPECT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    ~HeldPipe() { ::close(m_fd); }
    HeldPipe(const HeldPipe&) = delete;
    HeldPipe& operator=(const HeldPipe&) = delete;

private:
    int m_fd = -1;
};

TEST_P(BadInputTest, OneMessageAndNoFile) {
    ASSERT_TRUE(common::WriteJpeg("plain.jpg", common::RgbImage(4, 4)).ok);
    ASSERT_TRUE(common::WriteJpeg("damaged.jpg", common::RgbImage(4, 4),
                                  "fractals-picture-record\nversion 1\nkind julia\n")
                    .ok);
    std::ofstream("text.jpg") << "not a picture";
    std::ofstream("empty.png").close();
    fs::create_directory("folder.png");
    const HeldPipe pipe("pipe.png");
    // A stored picture cut inside its record, and one whose record chunk fails its checksum.
    ASSERT_EQ(run({"set", "--size", "4x4", "-q", "-o", "whole.png"}).status, 0);
    std::string png = Bytes("whole.png");
    const std::size_t chunk = png.find("iTXt");
    ASSERT_NE(chunk, std::string::npos);
    std::ofstream("cut.png", std::ios::binary) << png.substr(0, chunk + 40);
    const std::size_t length =
        (static_cast<std::uint8_t>(png[chunk - 2]) << 8) | static_cast<std::uint8_t>(png[chunk - 1]);
    png[chunk + 4 + length] = static_cast<char>(png[chunk + 4 + length] ^ 1);
    std::ofstream("checksum.png", std::ios::binary) << png;
    fs::remove("whole.png");
    // Records whose picture would be one flat colour: equal bounds, or numbers that are none.
    const auto stored = [](const char* name, const char* from, const char* to) {
        common::SetRecord record;
        record.reMin = -2.0;
        record.reMax = 1.0;
        record.imMin = -1.5;
        record.imMax = 1.5;
        record.width = record.height = 4;
        std::string text = common::FormatPictureRecord(record);
        text.replace(text.find(from), std::string_view(from).size(), to);
        ASSERT_TRUE(common::WriteJpeg(name, common::RgbImage(4, 4), text).ok);
    };
    stored("flat.jpg", "view -2 1", "view 1 1");
    stored("nan.jpg", "view -2 1 -1.5 1.5", "view -2 1 nan 1.5");
    stored("infinite.jpg", "julia 0 0", "julia inf 0");
    common::DeepSetRecord deepView;
    deepView.radius = *deep::ParseExactDecimal("1e-30");
    deepView.width = deepView.height = 4;
    ASSERT_TRUE(
        common::WriteJpeg("deep.jpg", common::RgbImage(4, 4), common::FormatPictureRecord(deepView)).ok);
    // Deep records past the engine's depth, and with a radius that is no size at all.
    const auto storedDeep = [&deepView](const char* name, const char* from, const char* to) {
        std::string text = common::FormatPictureRecord(deepView);
        text.replace(text.find(from), std::string_view(from).size(), to);
        ASSERT_TRUE(common::WriteJpeg(name, common::RgbImage(4, 4), text).ok);
    };
    storedDeep("deep_beyond.jpg", "radius 1e-30", "radius 9e-100001");
    storedDeep("deep_far_centre.jpg", "centre 0 0", "centre 0 1e100001");
    storedDeep("deep_zero_radius.jpg", "radius 1e-30", "radius 0");
    ASSERT_EQ(run({"lsystem", "--preset", "1", "--size", "40x40", "-o", "drawing.jpg"}).status, 0);
    expectRefused("set", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Render, BadInputTest,
    testing::Values(
        BadRow{"unknown_option", {"--bogus", "-o", "x.png"}, 2, "unknown option --bogus"},
        BadRow{"unknown_short_option", {"-x", "-o", "x.png"}, 2, "unknown option -x"},
        BadRow{"stray_argument", {"big", "-o", "x.png"}, 2, "unexpected argument \"big\""},
        BadRow{"size_without_value", {"--size", "-o", "x.png"}, 2, "--size has no value"},
        BadRow{"output_without_value", {"--size", "8x8", "-o"}, 2, "-o has no value"},
        BadRow{"view_cut_short_by_option", {"--view", "1", "2", "-o", "x.png"}, 2, "--view takes 4 values"},
        BadRow{"option_twice", {"--size", "8x8", "--size", "9x9", "-o", "x.png"}, 2, "more than once"},
        BadRow{"julia_empty", {"--julia", "", "-o", "x.png"}, 2, "--julia has an empty value"},
        BadRow{"julia_empty_after_equals", {"--julia=", "-o", "x.png"}, 2, "--julia has an empty value"},
        BadRow{"no_output", {}, 2, "-o OUT"}, BadRow{"unknown_extension", {"-o", "x.gif"}, 2, "x.gif"},
        BadRow{"julia_without_slash", {"--julia", "0.5", "-o", "x.png"}, 2, "--julia"},
        BadRow{"julia_not_numbers", {"--julia", "a/0.6", "-o", "x.png"}, 2, "\"a/0.6\""},
        BadRow{"julia_constant_missing", {"--kind", "julia", "-o", "x.png"}, 2, "--julia"},
        BadRow{"unknown_kind", {"--kind", "newton", "-o", "x.png"}, 2, "newton"},
        BadRow{"view_not_a_number", {"--view", "-2", "1", "x", "1.5", "-o", "x.png"}, 2, "\"x\""},
        BadRow{"view_three_numbers", {"-o", "x.png", "--view", "-2", "1", "-1.5"}, 2, "--view"},
        BadRow{"view_too_large", {"--view", "-2", "1e999", "-1", "1", "-o", "x.png"}, 2, "1e999"},
        BadRow{"view_equal_re", {"--view", "0.5", "0.5", "-1", "1", "-o", "x.png"}, 2, "no width"},
        BadRow{"view_equal_im", {"--view", "-2", "1", "-0", "0", "-o", "x.png"}, 2, "no height"},
        BadRow{"view_width_overflows",
               {"--view", "-1e308", "1e308", "-1", "1", "-o", "x.png"},
               2,
               "RE_MAX - RE_MIN"},
        BadRow{"view_height_overflows",
               {"--view", "-2", "1", "1.7e308", "-1.7e308", "-o", "x.png"},
               2,
               "IM_MAX - IM_MIN"},
        BadRow{"colour_out_of_range", {"--border", "1", "2", "256", "-o", "x.png"}, 2, "\"256\""},
        BadRow{"size_zero", {"--size", "0x601", "-o", "x.png"}, 2, "0x601"},
        BadRow{"size_without_height", {"--size", "601", "-o", "x.png"}, 2, "--size"},
        BadRow{"size_beyond_int", {"--size", "3000000000x1", "-o", "x.png"}, 2, "--size"},
        BadRow{"size_with_exponent", {"--size", "6e1x60", "-o", "x.png"}, 2, "\"6e1x60\""},
        BadRow{"width_with_exponent", {"--width", "3e0", "-o", "x.png"}, 2, "\"3e0\""},
        BadRow{"jpeg_side_limit", {"--size", "65501x10", "-o", "x.jpg"}, 2, "65500"},
        BadRow{"pixel_budget", {"--size", "40000x40000", "-o", "x.png"}, 2, "budget"},
        BadRow{"width_with_size", {"--width", "10", "--size", "10x10", "-o", "x.png"}, 2, "--width"},
        BadRow{"width_of_flat_view",
               {"--view", "0", "1", "0", "1e-9", "--width", "10", "-o", "x.png"},
               2,
               "aspect"},
        BadRow{"from_missing_file", {"--from", "absent.jpg", "-o", "x.png"}, 1, "absent.jpg"},
        BadRow{"from_not_a_picture", {"--from", "text.jpg", "-o", "x.png"}, 1, "not a JPEG, PNG, SVG or PDF"},
        BadRow{"from_empty_file", {"--from", "empty.png", "-o", "x.png"}, 1, "empty.png: the file is empty"},
        BadRow{"from_folder", {"--from", "folder.png", "-o", "x.png"}, 1, "folder.png: it is a folder"},
        BadRow{"from_pipe", {"--from", "pipe.png", "-o", "x.png"}, 1, "pipe.png: it is not a regular file"},
        BadRow{"from_cut_png", {"--from", "cut.png", "-o", "x.png"}, 1, "cut.png: the PNG file is truncated"},
        BadRow{"from_bad_checksum",
               {"--from", "checksum.png", "-o", "x.png"},
               1,
               "PNG file is damaged (iTXt: CRC"},
        BadRow{"from_without_record", {"--from", "plain.jpg", "-o", "x.png"}, 1, "no parameter record"},
        BadRow{"from_damaged_record", {"--from", "damaged.jpg", "-o", "x.png"}, 1, "damaged"},
        BadRow{
            "from_flat_record", {"--from", "flat.jpg", "-o", "x.png"}, 1, "its parameter record is damaged"},
        BadRow{"from_nan_record", {"--from", "nan.jpg", "-o", "x.png"}, 1, "its parameter record is damaged"},
        BadRow{"from_infinite_constant",
               {"--from", "infinite.jpg", "-o", "x.png"},
               1,
               "its parameter record is damaged"},
        BadRow{"output_folder_missing", {"--size", "8x8", "-o", "absent/x.png"}, 1, "absent/x.png"},
        BadRow{"sequence_of_one", {"--zoom-sequence", "1", "--base", "f"}, 2, "--zoom-sequence"},
        BadRow{"sequence_without_base", {"--zoom-sequence", "3"}, 2, "--base"},
        BadRow{"sequence_with_exponent", {"--zoom-sequence", "3e0", "--base", "f"}, 2, "\"3e0\""},
        BadRow{"base_without_sequence", {"--base", "f", "-o", "x.png"}, 2, "--base requires --zoom-sequence"},
        // The folders of --base are made only for a flight that is going to be written.
        BadRow{"sequence_refused_makes_no_folder",
               {"--zoom-sequence", "1", "--base", "new/dir/f"},
               2,
               "2 to 9999"},
        BadRow{"sequence_no_file_part_makes_no_folder",
               {"--zoom-sequence", "2", "--base", "new/"},
               2,
               "file part"},
        // Deep views: exact decimals, a radius within the engine's depth, a whole limit.
        BadRow{"centre_not_a_decimal",
               {"--centre", "-0.75", "1,5", "--radius", "1", "-o", "x.png"},
               2,
               "\"1,5\""},
        BadRow{
            "centre_one_value", {"--centre", "-0.75", "--radius", "1", "-o", "x.png"}, 2, "--centre takes 2"},
        // Both negative decimals are the centre's values: the fault found is the radius.
        BadRow{"centre_negative_decimals_taken",
               {"--centre", "-.25", "-1.7e-3", "--radius", "0", "-o", "x.png"},
               2,
               "--radius: the half-height of the view must be above zero, not \"0\""},
        BadRow{"radius_not_a_decimal", {"--centre", "0", "0", "--radius", "1e", "-o", "x.png"}, 2, "\"1e\""},
        BadRow{
            "radius_negative", {"--centre", "0", "0", "--radius", "-1e-3", "-o", "x.png"}, 2, "above zero"},
        BadRow{"radius_beyond_depth",
               {"--centre", "0", "0", "--radius", "1e-100011", "-o", "x.png"},
               2,
               "beyond the deepest view"},
        // The documented depth is 1e-100000 exactly, relative to a centre coordinate above 1.
        BadRow{"radius_just_beyond_depth",
               {"--centre", "0", "0", "--radius", "9e-100001", "-o", "x.png"},
               2,
               "beyond the deepest view"},
        BadRow{"radius_exponent_beyond_decimals",
               {"--centre", "0", "0", "--radius", "1e-9999999999999", "-o", "x.png"},
               2,
               "--radius \"1e-9999999999999\" is beyond the deepest view"},
        BadRow{"radius_too_small_for_centre",
               {"--centre", "1e100001", "0", "--radius", "1", "-o", "x.png"},
               2,
               "at least 1e-100000 times the larger centre coordinate"},
        BadRow{"from_deep_record_beyond_depth",
               {"--from", "deep_beyond.jpg", "-o", "x.png"},
               2,
               "the stored picture's radius is beyond the deepest view"},
        BadRow{"from_deep_record_far_centre",
               {"--from", "deep_far_centre.jpg", "-o", "x.png"},
               2,
               "the stored picture's radius is beyond the deepest view"},
        BadRow{"from_deep_record_zero_radius",
               {"--from", "deep_zero_radius.jpg", "-o", "x.png"},
               1,
               "deep_zero_radius.jpg: its parameter record is damaged"},
        BadRow{"iterations_zero",
               {"--centre", "0", "0", "--radius", "1", "--iterations", "0", "-o", "x.png"},
               2,
               "--iterations: expected a whole number from 1 to 100000000"},
        BadRow{"iterations_too_many",
               {"--centre", "0", "0", "--radius", "1", "--iterations", "100000001", "-o", "x.png"},
               2,
               "\"100000001\""},
        BadRow{"iterations_with_exponent",
               {"--centre", "0", "0", "--radius", "1", "--iterations", "3e0", "-o", "x.png"},
               2,
               "\"3e0\""},
        BadRow{"iterations_without_deep_view",
               {"--iterations", "300", "-o", "x.png"},
               2,
               "--iterations goes with"},
        BadRow{"view_with_centre",
               {"--view", "-2", "1", "-1.5", "1.5", "--centre", "0", "0", "--radius", "1", "-o", "x.png"},
               2,
               "--view cannot go with --centre"},
        BadRow{"centre_without_radius", {"--centre", "0", "0", "-o", "x.png"}, 2, "--centre needs --radius"},
        BadRow{"radius_without_centre", {"--radius", "1", "-o", "x.png"}, 2, "--radius needs --centre"},
        BadRow{"deep_julia_not_decimals",
               {"--centre", "0", "0", "--radius", "1", "--julia", "a/0.6", "-o", "x.png"},
               2,
               "\"a/0.6\""},
        BadRow{"view_over_deep_record",
               {"--from", "deep.jpg", "--view", "-2", "1", "-1.5", "1.5", "-o", "x.png"},
               2,
               "--view cannot go with a deep view's record"},
        BadRow{"deep_record_iterations_too_many",
               {"--from", "deep.jpg", "--iterations", "100000001", "-o", "x.png"},
               2,
               "\"100000001\""},
        // Its second picture's centre would need some 35000 digits a part.
        BadRow{"deep_zoom_sequence_beyond_jpeg_record",
               {"--centre", "0.1", "1", "--radius", "1e-70000", "--zoom-sequence", "3", "--base", "new/f"},
               2,
               "picture 2 of the flight would need a record of"},
        BadRow{"video_without_ffmpeg",
               {"--video", "v.mp4", "--ffmpeg", "/nonexistent"},
               1,
               "--ffmpeg /nonexistent"},
        BadRow{"from_lsystem_drawing",
               {"--from", "drawing.jpg", "-o", "x.png"},
               1,
               "drawing.jpg is a drawing of the L-system generator"},
        BadRow{"video_from_lsystem_drawing",
               {"--video", "v.mp4", "--from", "drawing.jpg"},
               1,
               "drawing.jpg is a drawing of the L-system generator"},
        BadRow{"video_unknown_container", {"--video", "v.avi"}, 2, ".mp4, .mkv or .webm"},
        BadRow{"video_fps_zero", {"--video", "v.mp4", "--fps", "0"}, 2, "--fps"},
        BadRow{"video_odd_size_for_h264", {"--video", "v.mp4", "--size", "33x18"}, 2, "even width"},
        BadRow{"video_unknown_codec", {"--video", "v.mp4", "--codec", "nocodec"}, 1, "no video encoder"},
        BadRow{
            "video_zooming_out", {"--video", "v.mp4", "--centre", "0", "0", "--radius", "2"}, 2, "zooms in"},
        BadRow{"range_without_keyframes_only", {"--video", "v.mp4", "--range", "0:1"}, 2, "--keyframes-only"},
        BadRow{"keyframes_count_zooming_out",
               {"--keyframes-count", "--centre", "0", "0", "--radius", "2"},
               2,
               "zooms in"},
        BadRow{"keyframes_count_with_output", {"--keyframes-count", "-o", "x.png"}, 2, "--keyframes-count"},
        BadRow{"range_beyond_the_keyframes",
               {"--keyframes-only", "--keyframes", "k", "--centre", "0", "1", "--radius", "0.5", "--range",
                "0:9"},
               2,
               "keyframes 0 to 2"},
        // The centre's 70000 digits alone outgrow a JPEG comment; a .png carries them.
        BadRow{"deep_jpeg_beyond_its_record",
               {"--centre", "0." + std::string(70000, '3'), "0", "--radius", "1e-70000", "-o", "x.jpg"},
               2,
               "write a .png picture"}),
    [](const testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

// --- the generator's drawings

using Lines = std::vector<std::string>;
using Segments = std::vector<std::pair<common::Point, common::Point>>;

/// What the generator window shows for the ten lines on its 493 x 493 area: its bitmap starts
/// white, "Erzeugen" clears it to the background with its own calls and walks the formula.
common::RgbImage GeneratorPicture(const Lines& lines, common::Colour back, common::Colour pen,
                                  Segments* segments = nullptr) {
    common::Canvas canvas(493, 493, common::kWhite);
    canvas.setRasterMode(common::RasterMode::Copy);
    canvas.setPen({back, 1, common::PenStyle::Solid});
    canvas.setBrush({common::BrushStyle::Solid, back});
    canvas.rectangle(0, 0, 493, 493);
    canvas.setBrush({common::BrushStyle::Hollow, back});
    canvas.setPen({pen, 1, common::PenStyle::Solid});
    lsystem::Turtle turtle;
    turtle.Factor = *lsystem::ParseFieldFloat(lines[1]);
    testing_support::FakeServices services;
    lsystem::FormulaWalk walk(turtle, canvas, services);
    if (segments != nullptr) {
        walk.setSegmentObserver([segments](common::Point a, common::Point b) {
            segments->push_back({a, b});
        });
    }
    lsystem::WalkSettings s;
    s.Formula = lsystem::NormaliseFormula(lines[0]);
    s.rightDegrees = *lsystem::ParseFieldFloat(lines[2]);
    s.leftDegrees = *lsystem::ParseFieldFloat(lines[3]);
    s.startLength = *lsystem::ParseFieldInt(lines[4]);
    s.NodeRadius = *lsystem::ParseFieldInt(lines[5]);
    s.iterations = *lsystem::ParseFieldInt(lines[6]);
    s.StartX = std::stoi(lines[7]);
    s.StartY = std::stoi(lines[8]);
    s.direction = lines[9] == "1" ? lsystem::StartDirection::Horizontal : lsystem::StartDirection::Vertical;
    s.PenColour = pen;
    walk.StartDrawing(s);
    return canvas.image();
}

bool SamePixels(const render::PngPicture& png, const common::RgbImage& image) {
    return png.width == image.width && png.height == image.height &&
           std::equal(png.pixels.begin(), png.pixels.end(), image.pixels.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

struct PresetRow {
    const char* name;
    int preset;
    bool black;
};

void PrintTo(const PresetRow& row, std::ostream* out) {
    *out << row.name;
}

class GeneratorIdentityTest : public RenderTest, public testing::WithParamInterface<PresetRow> {};

TEST_P(GeneratorIdentityTest, PngEqualsTheGeneratorsDrawingExactly) {
    const PresetRow& row = GetParam();
    std::vector<std::string> args = {"lsystem", "--preset", std::to_string(row.preset), "-o", "out.png"};
    if (row.black) {
        args.insert(args.end(), {"--background", "black"});
    }
    const Run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Lines lines = lsystem::PresetLines(lsystem::Presets()[static_cast<std::size_t>(row.preset) - 1]);
    const common::RgbImage expected = row.black ? GeneratorPicture(lines, common::kBlack, common::kYellow)
                                                : GeneratorPicture(lines, common::kWhite, common::kBlack);
    EXPECT_TRUE(SamePixels(render::ReadPng("out.png"), expected));
}

INSTANTIATE_TEST_SUITE_P(Render, GeneratorIdentityTest,
                         testing::Values(PresetRow{"tree1", 1, false}, PresetRow{"tree2", 2, false},
                                         PresetRow{"tree3", 3, false}, PresetRow{"tree4", 4, false},
                                         PresetRow{"koch", 5, false}, PresetRow{"sierpinski", 6, false},
                                         PresetRow{"peano", 7, false},
                                         PresetRow{"sierpinski_black", 6, true}),
                         [](const testing::TestParamInfo<PresetRow>& info) {
                             return std::string(info.param.name);
                         });

/// The polylines and circles of an SVG file in their order: segments between neighbouring
/// points, and the circles' centres with the number of segments before each.
struct SvgDrawing {
    Segments segments;
    int polylines = 0;
    std::vector<std::pair<std::size_t, common::Point>> discs;
    std::vector<int> radii;
};

SvgDrawing ReadSvg(const std::string& text) {
    SvgDrawing d;
    std::size_t at = 0;
    for (;;) {
        const std::size_t line = text.find("<polyline points=\"", at);
        const std::size_t circle = text.find("<circle cx=\"", at);
        if (line == std::string::npos && circle == std::string::npos) {
            return d;
        }
        if (line < circle) {
            const std::size_t begin = line + 18;
            const std::size_t end = text.find('"', begin);
            std::istringstream points(text.substr(begin, end - begin));
            std::vector<common::Point> run;
            int x = 0;
            int y = 0;
            char comma = 0;
            while (points >> x >> comma >> y) {
                run.push_back({x, y});
            }
            for (std::size_t i = 1; i < run.size(); ++i) {
                d.segments.push_back({run[i - 1], run[i]});
            }
            ++d.polylines;
            at = end;
        } else {
            int x = 0;
            int y = 0;
            int r = 0;
            std::sscanf(text.c_str() + circle, "<circle cx=\"%d\" cy=\"%d\" r=\"%d\"", &x, &y, &r);
            d.discs.push_back({d.segments.size(), {x, y}});
            d.radii.push_back(r);
            at = circle + 1;
        }
    }
}

TEST_F(RenderTest, SvgHoldsEveryWalkSegmentAndNode) {
    // Both lie wholly inside the area: a Koch curve in one run, a tree with a disc at every node.
    const Lines koch = {"F-F++F-F", "1", "60", "60", "4", "0", "3", "0", "0", "1"};
    const Lines tree = {"F(-F)+F-", "0,70", "20", "20", "16", "4", "3", "250", "400", "0"};
    for (const Lines& lines : {koch, tree}) {
        std::ofstream("in.frc", std::ios::binary) << lsystem::FormatFormulaFile(lines);
        const Run r = run({"lsystem", "in.frc", "-o", "out.svg"});
        ASSERT_EQ(r.status, 0) << r.err;
        Segments walked;
        GeneratorPicture(lines, common::kWhite, common::kBlack, &walked);
        const SvgDrawing svg = ReadSvg(Bytes("out.svg"));
        EXPECT_EQ(svg.segments, walked) << lines[0];
        if (lines == koch) {
            EXPECT_EQ(walked.size(), 64u);
            EXPECT_EQ(svg.polylines, 1);
            EXPECT_TRUE(svg.discs.empty());
        } else {
            // Each disc follows its segment and lies under the next one, as on the canvas.
            ASSERT_EQ(svg.discs.size(), walked.size());
            for (std::size_t i = 0; i < walked.size(); ++i) {
                EXPECT_EQ(svg.discs[i], std::make_pair(i + 1, walked[i].second)) << i;
                EXPECT_EQ(svg.radii[i], 4);
            }
        }
        const std::string text = Bytes("out.svg");
        const std::size_t start = text.find("fractals-picture-record\nversion");
        const auto record = common::ParsePictureRecord(text.substr(start, text.find("</metadata>") - start));
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(std::get<common::LsystemRecord>(*record).lines[0], lines[0]);
    }
}

TEST_F(RenderTest, PdfIsReadableAndCarriesTheRecord) {
    ASSERT_EQ(run({"lsystem", "--preset", "1", "-o", "tree.pdf"}).status, 0);
    std::FILE* info = ::popen("pdfinfo tree.pdf 2>&1", "r");
    ASSERT_NE(info, nullptr);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, info) != nullptr) {
        text += buffer;
    }
    EXPECT_EQ(::pclose(info), 0) << text;
    // 493 pixels at 96 per inch.
    EXPECT_NE(text.find("369.75 x 369.75 pts"), std::string::npos) << text;
    EXPECT_NE(
        Bytes("tree.pdf").find("/FractalsPictureRecord (fractals-picture-record\\nversion 1\\nkind lsystem"),
        std::string::npos);
}

TEST_F(RenderTest, StoredDrawingRendersAgainIdentically) {
    const Lines tree = lsystem::PresetLines(lsystem::Presets()[2]);
    for (const char* name : {"a.jpg", "a.png", "a.svg"}) {
        ASSERT_EQ(run({"lsystem", "--preset", "3", "-o", name}).status, 0);
    }
    const auto record = common::ReadPictureRecord("a.jpg");
    ASSERT_TRUE(record.has_value());
    const auto& drawing = std::get<common::LsystemRecord>(*record);
    EXPECT_TRUE(std::equal(drawing.lines.begin(), drawing.lines.end(), tree.begin(), tree.end()));
    EXPECT_EQ(drawing.width, 493);
    // The JPEG is the generator's picture stored as F9 stores it, with the record beside it.
    ASSERT_TRUE(common::WriteJpeg("window.jpg", GeneratorPicture(tree, common::kWhite, common::kBlack),
                                  common::FormatPictureRecord(drawing))
                    .ok);
    EXPECT_EQ(Bytes("a.jpg"), Bytes("window.jpg"));

    ASSERT_EQ(run({"lsystem", "--from", "a.jpg", "-o", "b.png"}).status, 0);
    EXPECT_EQ(Bytes("b.png"), Bytes("a.png"));
    ASSERT_EQ(run({"lsystem", "--from", "a.png", "-o", "b.svg"}).status, 0);
    EXPECT_EQ(Bytes("b.svg"), Bytes("a.svg"));
    // The vector drawings' records read back too.
    ASSERT_EQ(run({"lsystem", "--from", "a.svg", "-o", "c.png"}).status, 0);
    EXPECT_EQ(Bytes("c.png"), Bytes("a.png"));
    ASSERT_EQ(run({"lsystem", "--from", "a.svg", "-o", "a.pdf"}).status, 0);
    ASSERT_EQ(run({"lsystem", "--from", "a.pdf", "-o", "d.png"}).status, 0);
    EXPECT_EQ(Bytes("d.png"), Bytes("a.png"));

    // Twice the size: the lengths and the start point double, and the record says so, so the
    // larger drawing too comes back identically from its record.
    ASSERT_EQ(run({"lsystem", "--from", "a.jpg", "--size", "986x1200", "-o", "big.jpg"}).status, 0);
    const auto big = std::get<common::LsystemRecord>(*common::ReadPictureRecord("big.jpg"));
    EXPECT_EQ(big.lines[4], "8");
    EXPECT_EQ(big.lines[5], "4");
    EXPECT_EQ(big.lines[7], "480");
    EXPECT_EQ(big.lines[8], "1040");
    EXPECT_EQ(big.width, 986);
    EXPECT_EQ(big.height, 1200);
    ASSERT_EQ(run({"lsystem", "--from", "big.jpg", "-o", "big2.jpg"}).status, 0);
    EXPECT_EQ(Bytes("big2.jpg"), Bytes("big.jpg"));
}

TEST_F(RenderTest, StoredDrawingKeepsItsBackgroundUnlessAnotherIsAsked) {
    ASSERT_EQ(run({"lsystem", "--preset", "6", "--background", "black", "-q", "-o", "black.png"}).status, 0);
    ASSERT_EQ(run({"lsystem", "--preset", "6", "-q", "-o", "white.png"}).status, 0);
    for (const char* stored : {"black.jpg", "black.svg", "black.pdf"}) {
        ASSERT_EQ(run({"lsystem", "--preset", "6", "--background", "black", "-q", "-o", stored}).status, 0);
        ASSERT_EQ(run({"lsystem", "--from", stored, "-q", "-o", "again.png"}).status, 0);
        EXPECT_EQ(Bytes("again.png"), Bytes("black.png")) << stored;
        ASSERT_EQ(run({"lsystem", "--from", stored, "--background", "white", "-q", "-o", "again.png"}).status,
                  0);
        EXPECT_EQ(Bytes("again.png"), Bytes("white.png")) << stored;
    }
    // A record from before the background was kept draws on white, as it did.
    common::LsystemRecord old = std::get<common::LsystemRecord>(*common::ReadPictureRecord("black.jpg"));
    std::string text = common::FormatPictureRecord(old);
    text.erase(text.find("background black\n"));
    ASSERT_TRUE(common::WriteJpeg("old.jpg", common::RgbImage(4, 4), text).ok);
    ASSERT_EQ(run({"lsystem", "--from", "old.jpg", "-q", "-o", "again.png"}).status, 0);
    EXPECT_EQ(Bytes("again.png"), Bytes("white.png"));
}

// A record of any length the renderer makes reads back from a PNG, an SVG or a PDF; a JPEG
// comment cannot hold one this long, so the JPEG is written without it and a note says so.
TEST_F(RenderTest, LongFormulaRecordReadsBackFromEveryFormatThatHoldsIt) {
    std::string formula = "F";
    for (int i = 0; i < 100000; ++i) {
        formula += "+-";
    }
    const Lines lines = {formula, "1", "90", "90", "10", "0", "1", "0", "0", "0"};
    std::ofstream("long.frc", std::ios::binary) << lsystem::FormatFormulaFile(lines);
    for (const char* name : {"long.png", "long.svg", "long.pdf"}) {
        const Run first = run({"lsystem", "long.frc", "-q", "-o", name});
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_TRUE(first.err.empty()) << first.err;
        const std::string again = std::string("again") + fs::path(name).extension().string();
        const Run second = run({"lsystem", "--from", name, "-q", "-o", again});
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(Bytes(again), Bytes(name));
    }
    const render::PngRecordText png = render::ReadPngRecord("long.png");
    ASSERT_TRUE(png.text.has_value()) << png.error;
    EXPECT_GT(png.text->size(), std::size_t{1} << 16);

    const Run jpeg = run({"lsystem", "long.frc", "-q", "-o", "long.jpg"});
    ASSERT_EQ(jpeg.status, 0) << jpeg.err;
    EXPECT_NE(jpeg.err.find("fractal-render: the parameter record (200"), std::string::npos) << jpeg.err;
    EXPECT_NE(jpeg.err.find("long.jpg was written without it"), std::string::npos) << jpeg.err;
    const common::JpegRecordText none = common::ReadJpegRecord("long.jpg");
    EXPECT_TRUE(none.ok()) << none.error;
    EXPECT_FALSE(none.text.has_value());
    EXPECT_TRUE(common::ReadJpeg("long.jpg").ok());
}

// libpng's own limit is a million pixels a side; the renderer's is 2^31 - 1.
TEST_F(RenderTest, PngWiderThanAMillionPixelsKeepsItsRecord) {
    const Run r = run({"set", "--size", "1000001x1", "-q", "-o", "wide.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::optional<common::PictureRecord> record;
    ASSERT_TRUE(render::ReadStoredRecord("wide.png", record).ok());
    EXPECT_EQ(std::get<common::SetRecord>(*record).width, 1000001);
    EXPECT_EQ(std::get<common::SetRecord>(*record).height, 1);
    ASSERT_EQ(run({"set", "--from", "wide.png", "--size", "5x1", "-q", "-o", "narrow.png"}).status, 0);
    EXPECT_EQ(render::ReadPng("narrow.png").width, 5);
}

class LsystemBadInputTest : public RefusalTest {};

TEST_P(LsystemBadInputTest, OneMessageAndNoFile) {
    const Lines good = {"F", "1", "90", "90", "10", "0", "1", "0", "0", "0"};
    const auto file = [&good](const char* name, std::size_t line, const char* text) {
        Lines lines = good;
        lines[line] = text;
        std::ofstream(name, std::ios::binary) << lsystem::FormatFormulaFile(lines);
    };
    file("blank.frc", 0, "  ");
    file("factor_text.frc", 1, "0.7x");
    file("factor_high.frc", 1, "1.01");
    file("iterations.frc", 6, "11");
    file("radius.frc", 5, "-1");
    file("angle.frc", 3, "-30");
    file("start.frc", 8, "4a");
    std::ofstream("short.frc") << "F\n1\n90\n";
    ASSERT_TRUE(common::WriteJpeg("plain.jpg", common::RgbImage(4, 4)).ok);
    ASSERT_EQ(run({"set", "--size", "4x4", "-o", "set.png"}).status, 0);
    std::ofstream("cut.pdf") << "%PDF-1.4\n1 0 obj\n<< /Type /Catalog";
    std::ofstream("foreign.svg")
        << "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect width=\"4\" height=\"4\"/></svg>";
    common::LsystemRecord factor;
    std::copy(good.begin(), good.end(), factor.lines.begin());
    factor.lines[1] = "2";
    factor.width = factor.height = 4;
    ASSERT_TRUE(
        common::WriteJpeg("factor.jpg", common::RgbImage(4, 4), common::FormatPictureRecord(factor)).ok);
    common::LsystemRecord huge;
    std::copy(good.begin(), good.end(), huge.lines.begin());
    huge.width = huge.height = 20000;
    ASSERT_TRUE(common::WriteJpeg("huge.jpg", common::RgbImage(4, 4), common::FormatPictureRecord(huge)).ok);
    expectRefused("lsystem", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Render, LsystemBadInputTest,
    testing::Values(
        BadRow{"no_source", {"-o", "x.svg"}, 2, "exactly one"},
        BadRow{"file_and_preset", {"a.frc", "--preset", "1", "-o", "x.svg"}, 2, "excludes"},
        BadRow{"preset_eight", {"--preset", "8", "-o", "x.svg"}, 2, "--preset"},
        BadRow{"preset_with_exponent", {"--preset", "3e0", "-o", "x.svg"}, 2, "\"3e0\""},
        BadRow{"preset_without_value", {"--preset", "-o", "x.svg"}, 2, "--preset has no value"},
        BadRow{"second_file", {"a.frc", "b.frc", "-o", "x.svg"}, 2, "unexpected argument \"b.frc\""},
        BadRow{"no_output", {"--preset", "1"}, 2, "-o OUT"},
        BadRow{"unknown_extension", {"--preset", "1", "-o", "x.gif"}, 2, "x.gif"},
        BadRow{"size_zero", {"--preset", "1", "--size", "0x5", "-o", "x.svg"}, 2, "0x5"},
        BadRow{"canvas_budget", {"--preset", "1", "--size", "20000x20000", "-o", "x.png"}, 2, "budget"},
        BadRow{"vector_side", {"--preset", "1", "--size", "1000001x5", "-o", "x.pdf"}, 2, "vector"},
        BadRow{"background", {"--preset", "1", "--background", "pink", "-o", "x.svg"}, 2, "pink"},
        BadRow{"file_missing", {"absent.frc", "-o", "x.svg"}, 1, "absent.frc"},
        BadRow{"blank_formula", {"blank.frc", "-o", "x.svg"}, 1, "Bitte eine zulässige Formel eingeben !"},
        BadRow{"factor_not_a_number",
               {"factor_text.frc", "-o", "x.svg"},
               1,
               "reduction factor (line 2) is not a number: \"0.7x\" (the generator says \" Unerlaubte"},
        BadRow{"factor_above_one", {"factor_high.frc", "-o", "x.png"}, 1, "at most 1, not \"1.01\""},
        BadRow{"eleven_iterations", {"iterations.frc", "-o", "x.pdf"}, 1, "iterations (line 7) must be"},
        BadRow{"negative_radius", {"radius.frc", "-o", "x.svg"}, 1, "node radius (line 6)"},
        BadRow{"negative_angle", {"angle.frc", "-o", "x.svg"}, 1, "left turning angle (line 4)"},
        BadRow{"start_point", {"start.frc", "-o", "x.svg"}, 1, "keinen gültigen Startpunkt"},
        BadRow{"short_file", {"short.frc", "-o", "x.svg"}, 1, "start point"},
        BadRow{"from_set_picture", {"--from", "set.png", "-o", "x.svg"}, 1, "set explorer"},
        BadRow{"from_without_record", {"--from", "plain.jpg", "-o", "x.svg"}, 1, "no parameter record"},
        BadRow{"from_cut_pdf", {"--from", "cut.pdf", "-o", "x.svg"}, 1, "cut.pdf: the PDF file is truncated"},
        BadRow{"from_foreign_svg",
               {"--from", "foreign.svg", "-o", "x.svg"},
               1,
               "foreign.svg holds no parameter record"},
        BadRow{"from_impossible_factor",
               {"--from", "factor.jpg", "-o", "x.svg"},
               1,
               "factor.jpg: its parameter record is damaged: the reduction factor (line 2)"},
        BadRow{"from_size_beyond_canvas",
               {"--from", "huge.jpg", "-o", "x.png"},
               2,
               "huge.jpg: its size: a drawing in pixels has at most"},

        BadRow{"output_folder_missing", {"--preset", "1", "-o", "absent/x.svg"}, 1, "absent/x.svg"},
        BadRow{"pen_width_zero", {"--preset", "1", "--pen-width", "0", "-o", "x.svg"}, 2, "--pen-width"},
        BadRow{"pen_width_fraction", {"--preset", "1", "--pen-width", "1.5", "-o", "x.png"}, 2, "\"1.5\""},
        BadRow{"pen_width_too_wide", {"--preset", "1", "--pen-width", "10001", "-o", "x.pdf"}, 2, "10000"}),
    [](const testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

// --- drawings larger than the window's

std::string Attribute(const std::string& text, const std::string& before) {
    const std::size_t at = text.find(before);
    if (at == std::string::npos) {
        return "(missing)";
    }
    const std::size_t begin = at + before.size();
    return text.substr(begin, text.find('"', begin) - begin);
}

/// The page's content stream of a PDF written by the renderer, inflated.
std::string PdfContent(const std::string& pdf) {
    const std::size_t begin = pdf.find("stream\n", pdf.find("/FlateDecode"));
    const std::size_t end = pdf.find("\nendstream", begin);
    if (begin == std::string::npos || end == std::string::npos) {
        return {};
    }
    z_stream z{};
    inflateInit(&z);
    std::string in = pdf.substr(begin + 7, end - begin - 7);
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    std::string out;
    char chunk[1 << 15];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    inflateEnd(&z);
    return out;
}

struct PenRow {
    const char* name;
    std::vector<std::string> args;
    const char* strokeWidth; // of the SVG
    const char* offset;      // the SVG group's translation: where the canvas paints the lines
};

void PrintTo(const PenRow& row, std::ostream* out) {
    *out << row.name;
}

class PenWidthTest : public RenderTest, public testing::WithParamInterface<PenRow> {};

TEST_P(PenWidthTest, LinesWidenWithTheDrawingInEveryFormat) {
    const PenRow& row = GetParam();
    std::vector<std::string> args = {"lsystem", "--preset", "6"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    for (const char* name : {"out.svg", "out.pdf"}) {
        std::vector<std::string> withOutput = args;
        withOutput.insert(withOutput.end(), {"-o", name});
        ASSERT_EQ(run(withOutput).status, 0) << name;
    }
    const std::string svg = Bytes("out.svg");
    EXPECT_EQ(Attribute(svg, "stroke-width=\""), row.strokeWidth);
    EXPECT_EQ(Attribute(svg, "<g transform=\""),
              std::string("translate(") + row.offset + " " + row.offset + ")");
    // The background is a fill only: a stroke would paint half a line beyond the page.
    EXPECT_EQ(Attribute(svg, "\" stroke=\""), "none");
    // Round ends as the canvas's wide pens have; a one-pixel line ends as the window's does.
    const bool wide = std::string_view(row.strokeWidth) != "1";
    EXPECT_EQ(Attribute(svg, "stroke-linecap=\""), wide ? "round" : "(missing)");
    const std::string content = PdfContent(Bytes("out.pdf"));
    EXPECT_NE(content.find(std::string("1 0 0 1 ") + row.offset + " " + row.offset + " cm"),
              std::string::npos)
        << content.substr(0, 300);
    EXPECT_NE(content.find(std::string(" rg ") + row.strokeWidth + (wide ? " w 1 j 1 J\n" : " w 1 j\n")),
              std::string::npos)
        << content.substr(0, 300);
}

INSTANTIATE_TEST_SUITE_P(
    Render, PenWidthTest,
    testing::Values(PenRow{"design_size", {}, "1", "0.5"},
                    PenRow{"just_below_one_and_a_half", {"--size", "739x800"}, "1", "0.5"},
                    PenRow{"twice", {"--size", "986x986"}, "2", "1"},
                    PenRow{"three_times_the_smaller_side", {"--size", "1479x5000"}, "3", "0.5"},
                    PenRow{"ten_times", {"--size", "4930x4930"}, "10", "1"},
                    PenRow{"given", {"--size", "4930x4930", "--pen-width", "3"}, "3", "0.5"},
                    PenRow{"given_at_design_size", {"--pen-width", "2"}, "2", "1"}),
    [](const testing::TestParamInfo<PenRow>& info) { return std::string(info.param.name); });

/// The share of pixels darker than mid-grey.
double InkShare(const render::PngPicture& png) {
    std::size_t dark = 0;
    for (std::size_t i = 0; i + 2 < png.pixels.size(); i += 3) {
        const int sum = static_cast<std::uint8_t>(png.pixels[i]) +
                        static_cast<std::uint8_t>(png.pixels[i + 1]) +
                        static_cast<std::uint8_t>(png.pixels[i + 2]);
        dark += sum < 3 * 128 ? 1 : 0;
    }
    return static_cast<double>(dark) / static_cast<double>(png.pixels.size() / 3);
}

TEST_F(RenderTest, PixelPosterCoversAsMuchAsTheWindowsDrawing) {
    // Enlarged four times, one-pixel lines would cover a quarter of the share they cover in
    // the window; lines four pixels wide cover about the same.
    ASSERT_EQ(run({"lsystem", "--preset", "6", "-o", "window.png"}).status, 0);
    ASSERT_EQ(run({"lsystem", "--preset", "6", "--size", "1972x1972", "-o", "poster.png"}).status, 0);
    ASSERT_EQ(
        run({"lsystem", "--preset", "6", "--size", "1972x1972", "--pen-width", "1", "-o", "thin.png"}).status,
        0);
    const double window = InkShare(render::ReadPng("window.png"));
    const double poster = InkShare(render::ReadPng("poster.png"));
    const double thin = InkShare(render::ReadPng("thin.png"));
    EXPECT_GT(window, 0.0);
    EXPECT_NEAR(poster / window, 1.0, 0.15) << poster << " " << window;
    EXPECT_NEAR(thin / window, 0.25, 0.05) << thin << " " << window;
}

/// pdfinfo's answer, with its exit status.
std::pair<int, std::string> PdfInfo(const std::string& path) {
    std::FILE* info = ::popen(("pdfinfo " + path + " 2>&1").c_str(), "r");
    std::string text;
    if (info == nullptr) {
        return {-1, text};
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, info) != nullptr) {
        text += buffer;
    }
    return {::pclose(info), text};
}

TEST_F(RenderTest, LargePdfPageStaysWithinThePageLimitsAndKeepsItsSize) {
    ASSERT_EQ(run({"lsystem", "--preset", "1", "--size", "1000000x800000", "-o", "huge.pdf"}).status, 0);
    const auto [status, text] = PdfInfo("huge.pdf");
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(text.find("Syntax Error"), std::string::npos) << text;
    double width = 0.0;
    double height = 0.0;
    const std::size_t at = text.find("Page size:");
    ASSERT_NE(at, std::string::npos) << text;
    std::istringstream size(text.substr(at + 10));
    std::string times;
    size >> width >> times >> height;
    ASSERT_EQ(times, "x") << text;
    EXPECT_LE(width, 14400.0);
    EXPECT_LE(height, 14400.0);
    // In units of the page's user unit, which gives the page back its size in points: 96
    // pixels an inch.
    const std::string bytes = Bytes("huge.pdf");
    const std::size_t unit = bytes.find("/UserUnit ");
    ASSERT_NE(unit, std::string::npos);
    const double userUnit = std::stod(bytes.substr(unit + 10));
    // pdfinfo rounds to a tenth.
    EXPECT_NEAR(width, 750000.0 / userUnit, 0.06);
    EXPECT_NEAR(height, 600000.0 / userUnit, 0.06);
    EXPECT_TRUE(bytes.starts_with("%PDF-1.6"));
}

// --- the progress line and the run's end

/// A stream that refuses every byte, as a full disk does; `throws` makes it report that by an
/// exception as well.
class RefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(RenderTest, ProgressLineIsClearedBeforeTheNameAndTheNote) {
    // On a terminal both streams end up on the same line, so one stream stands for both.
    std::ofstream("deep.frc", std::ios::binary) << lsystem::FormatFormulaFile(
        {"F((((((((((((F)))))))))))", "1", "10", "10", "5", "0", "2", "0", "0", "0"});
    for (const char* name : {"out.svg", "out.png"}) {
        for (const char* source : {"--preset", "deep.frc"}) {
            std::vector<std::string> args = {"fractal-render", "lsystem"};
            if (std::string(source) == "--preset") {
                args.insert(args.end(), {"--preset", "5"});
            } else {
                args.push_back(source);
            }
            args.insert(args.end(), {"-o", name});
            std::vector<const char*> argv;
            for (const std::string& a : args) {
                argv.push_back(a.c_str());
            }
            std::ostringstream terminal;
            render::RunContext context{terminal, terminal, nullptr, true};
            ASSERT_EQ(render::RunRenderer(static_cast<int>(argv.size()), argv.data(), context), 0);
            const std::string text = terminal.str();
            const std::size_t lastClear = text.rfind("\r\033[K");
            ASSERT_NE(lastClear, std::string::npos) << text;
            const std::string after = text.substr(lastClear + 4);
            EXPECT_TRUE(after.ends_with(std::string(name) + "\n")) << after;
            EXPECT_EQ(after.find('\r'), std::string::npos) << after;
            if (std::string(source) != "--preset") {
                EXPECT_TRUE(after.starts_with("fractal-render: the formula nests")) << after;
            }
            if (std::string(name) == "out.png") {
                EXPECT_NE(text.find("out.png encoding 100%"), std::string::npos) << text;
            }
        }
    }
}

TEST_F(RenderTest, DeepProgressCoversEveryStage) {
    // The reference, then the tables, which report nothing of their own and show a clock, then
    // the pixels.
    const Run deep = runWatched({"set", "--centre", "-0.75", "0.1", "--radius", "1e-20", "--iterations",
                                 "100", "--size", "2048x256", "-o", "deep.png"},
                                "", [] {});
    ASSERT_EQ(deep.status, 0) << deep.err;
    const std::string& text = deep.err;
    const std::size_t reference = text.find("reference 100%");
    const std::size_t tables = text.find("tables  0:00");
    const std::size_t pixels = text.find("deep.png   0%");
    ASSERT_NE(reference, std::string::npos) << text;
    ASSERT_NE(tables, std::string::npos) << text;
    ASSERT_NE(pixels, std::string::npos) << text;
    EXPECT_LT(reference, tables);
    EXPECT_LT(tables, pixels);
    // The rows' progress only moves forward and ends complete.
    double last = -1.0;
    for (std::size_t at = text.find("deep.png ", pixels); at != std::string::npos;
         at = text.find("deep.png ", at + 1)) {
        const double percent = std::strtod(text.c_str() + text.find_first_not_of(' ', at + 9), nullptr);
        EXPECT_GE(percent, last) << text;
        last = percent;
    }
    EXPECT_EQ(last, 100.0) << text;
}

TEST_F(RenderTest, StopDuringEncodingLeavesNothing) {
    render::LsystemOptions options;
    options.preset = "3";
    for (const render::DrawingFormat format : {render::DrawingFormat::Png, render::DrawingFormat::Jpeg}) {
        const render::ResolvedLsystem resolved = render::ResolveLsystem(options, std::nullopt, format);
        ASSERT_TRUE(resolved.ok()) << resolved.error;
        std::atomic<bool> stop{false};
        render::WalkControl control;
        control.stop = &stop;
        int strips = 0;
        // The signal comes in while the finished canvas is being encoded.
        control.encodeProgress = [&](std::int64_t rowsDone, std::int64_t) {
            ++strips;
            if (rowsDone > 0) {
                stop = true;
            }
        };
        bool stackFull = false;
        std::string error;
        EXPECT_EQ(render::WriteLsystemPicture(resolved.picture, "out.img", format, control, stackFull, error),
                  render::WriteStatus::Stopped);
        EXPECT_EQ(strips, 2);
        EXPECT_TRUE(entries().empty());
    }
}

TEST_F(RenderTest, UnwritableListOfFilesIsAFailure) {
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    std::ostringstream err;
    render::RunContext context{out, err, nullptr, false};
    const char* argv[] = {"fractal-render", "lsystem", "--preset", "1", "-o", "a.svg"};
    EXPECT_EQ(render::RunRenderer(6, argv, context), 1);
    EXPECT_NE(err.str().find("fractal-render: cannot write the list of files to standard output"),
              std::string::npos)
        << err.str();

    // A stream that throws: the exception ends in one message, not in the caller.
    std::ostream throwing(&refusing);
    throwing.exceptions(std::ios::badbit);
    std::ostringstream err2;
    render::RunContext context2{throwing, err2, nullptr, false};
    const char* argv2[] = {"fractal-render", "lsystem", "--preset", "1", "-o", "b.svg"};
    EXPECT_EQ(render::RunRenderer(6, argv2, context2), 1);
    const std::string message = err2.str();
    EXPECT_TRUE(message.starts_with("fractal-render: ")) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;

    // The help is the result of its run as well.
    std::ostringstream err3;
    render::RunContext context3{out, err3, nullptr, false};
    const char* argv3[] = {"fractal-render", "--help"};
    EXPECT_EQ(render::RunRenderer(2, argv3, context3), 1);
    EXPECT_NE(err3.str().find("cannot write the text to standard output"), std::string::npos) << err3.str();
}

} // namespace
