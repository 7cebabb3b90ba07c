#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "canvas.h"
#include "cli.h"
#include "escape_time.h"
#include "explorer_state.h"
#include "fake_services.h"
#include "jpeg_file.h"
#include "png_file.h"
#include "renderer.h"
#include "strip_render.h"

namespace {

namespace fs = std::filesystem;

/// A folder of its own per test, made the current one so relative names land in it.
class RenderTest : public testing::Test {
protected:
    RenderTest() {
        std::string pattern = (fs::path(testing::TempDir()) / "render_test.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        folder_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(folder_);
    }
    ~RenderTest() override {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run run(std::vector<std::string> args, const std::atomic<bool>* stop = nullptr) {
        args.insert(args.begin(), "fractal-render");
        std::vector<const char*> argv;
        for (const std::string& a : args) {
            argv.push_back(a.c_str());
        }
        std::ostringstream out;
        std::ostringstream err;
        render::RunContext context{out, err, stop, false};
        Run result;
        result.status = render::RunRenderer(static_cast<int>(argv.size()), argv.data(), context);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
            names.insert(fs::relative(entry.path(), folder_).string());
        }
        return names;
    }

    fs::path folder_;
    fs::path previous_;
};

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

TEST_F(RenderTest, BrokenOffRenderLeavesNothing) {
    std::atomic<bool> stop{true};
    const Run r = run({"set", "--size", "300x300", "-o", "out.png"}, &stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken off"), std::string::npos) << r.err;
    const Run flight = run({"set", "--zoom-sequence", "3", "--base", "f", "--size", "30x30"}, &stop);
    EXPECT_EQ(flight.status, 1);
    EXPECT_TRUE(entries().empty());
}

struct BadRow {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
};

void PrintTo(const BadRow& row, std::ostream* out) {
    *out << row.name;
}

class BadInputTest : public RenderTest, public testing::WithParamInterface<BadRow> {};

TEST_P(BadInputTest, OneMessageAndNoFile) {
    ASSERT_TRUE(common::WriteJpeg("plain.jpg", common::RgbImage(4, 4)).ok);
    ASSERT_TRUE(common::WriteJpeg("damaged.jpg", common::RgbImage(4, 4),
                                  "fractals-picture-record\nversion 1\nkind julia\n")
                    .ok);
    std::ofstream("text.jpg") << "not a picture";
    const std::set<std::string> before = entries();

    const BadRow& row = GetParam();
    std::vector<std::string> args = {"set"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Run r = run(args);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_TRUE(r.err.starts_with("fractal-render: ")) << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(entries(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Render, BadInputTest,
    testing::Values(
        BadRow{"unknown_option", {"--bogus", "-o", "x.png"}, 2, "--bogus"},
        BadRow{"no_output", {}, 2, "-o OUT"}, BadRow{"unknown_extension", {"-o", "x.gif"}, 2, "x.gif"},
        BadRow{"julia_without_slash", {"--julia", "0.5", "-o", "x.png"}, 2, "--julia"},
        BadRow{"julia_not_numbers", {"--julia", "a/0.6", "-o", "x.png"}, 2, "\"a/0.6\""},
        BadRow{"julia_constant_missing", {"--kind", "julia", "-o", "x.png"}, 2, "--julia"},
        BadRow{"unknown_kind", {"--kind", "newton", "-o", "x.png"}, 2, "newton"},
        BadRow{"view_not_a_number", {"--view", "-2", "1", "x", "1.5", "-o", "x.png"}, 2, "\"x\""},
        BadRow{"view_three_numbers", {"-o", "x.png", "--view", "-2", "1", "-1.5"}, 2, "--view"},
        BadRow{"view_too_large", {"--view", "-2", "1e999", "-1", "1", "-o", "x.png"}, 2, "1e999"},
        BadRow{"colour_out_of_range", {"--border", "1", "2", "256", "-o", "x.png"}, 2, "\"256\""},
        BadRow{"size_zero", {"--size", "0x601", "-o", "x.png"}, 2, "0x601"},
        BadRow{"size_without_height", {"--size", "601", "-o", "x.png"}, 2, "--size"},
        BadRow{"size_beyond_int", {"--size", "3000000000x1", "-o", "x.png"}, 2, "--size"},
        BadRow{"jpeg_side_limit", {"--size", "65501x10", "-o", "x.jpg"}, 2, "65500"},
        BadRow{"pixel_budget", {"--size", "40000x40000", "-o", "x.png"}, 2, "budget"},
        BadRow{"width_with_size", {"--width", "10", "--size", "10x10", "-o", "x.png"}, 2, "--width"},
        BadRow{"width_of_flat_view",
               {"--view", "0", "0", "-1", "1", "--width", "10", "-o", "x.png"},
               2,
               "aspect"},
        BadRow{"from_missing_file", {"--from", "absent.jpg", "-o", "x.png"}, 1, "absent.jpg"},
        BadRow{"from_not_a_picture", {"--from", "text.jpg", "-o", "x.png"}, 1, "not a JPEG or PNG"},
        BadRow{"from_without_record", {"--from", "plain.jpg", "-o", "x.png"}, 1, "no parameter record"},
        BadRow{"from_damaged_record", {"--from", "damaged.jpg", "-o", "x.png"}, 1, "damaged"},
        BadRow{"output_folder_missing", {"--size", "8x8", "-o", "absent/x.png"}, 1, "absent/x.png"},
        BadRow{"sequence_of_one", {"--zoom-sequence", "1", "--base", "f"}, 2, "--zoom-sequence"},
        BadRow{"sequence_without_base", {"--zoom-sequence", "3"}, 2, "--base"},
        BadRow{"sequence_mirrored_target",
               {"--zoom-sequence", "3", "--base", "f", "--view", "1", "-1", "-1", "1"},
               2,
               "RE_MAX > RE_MIN"}),
    [](const testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

} // namespace
