// Pictures rendered in parts: tiles and their assembly, and deep views' reference orbits shared
// through a file. A part must give exactly the bytes a single run gives.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "png_file.h"
#include "renderer_runs.h"
#include "strip_render.h"
#include "test_files.h"
#include "tiles.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

/// A folder of its own per test, made the current one so relative names land in it.
class SpreadTest : public render_test::InScratchFolder {
protected:
    SpreadTest() : InScratchFolder("spread_test") {}

    /// Runs `set` with the view's options and these.
    static void render(const std::vector<std::string>& view, std::vector<std::string> more) {
        std::vector<std::string> args = {"set", "-q"};
        args.insert(args.end(), view.begin(), view.end());
        args.insert(args.end(), more.begin(), more.end());
        const Run r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

// 16384 pixels a row make strips of 64 rows: 150 rows are three strips, the last one short, in
// about 2.5 million pixels, the fewest that three tiles of whole strips allow.
const std::vector<std::string> kPlainView = {"--view", "-0.76",  "-0.72",    "0.1",
                                             "0.11",   "--size", "16384x150"};
const std::vector<std::string> kDeepView = {
    "--centre", "-0.743643887037151", "0.131825904205330", "--radius", "1e-20", "--iterations", "300",
    "--size",   "16384x150"};
const std::vector<std::string> kJuliaView = {"--kind", "julia",  "--julia",  "-0.5/0.6", "--centre",
                                             "0.1",    "0.2",    "--radius", "1e-18",    "--iterations",
                                             "100",    "--size", "16384x150"};

TEST(TilePlaceTest, TilesAreWholeStripsSharedOutTopToBottom) {
    ASSERT_EQ(render::StripRows(16384), 64);
    struct Row {
        int width, height, index, count, firstRow, rows;
    };
    for (const Row& row : std::vector<Row>{{16384, 150, 1, 3, 0, 64},
                                           {16384, 150, 2, 3, 64, 64},
                                           {16384, 150, 3, 3, 128, 22},
                                           {16384, 150, 1, 2, 0, 64},
                                           {16384, 150, 2, 2, 64, 86},
                                           {16384, 150, 1, 1, 0, 150},
                                           {16384, 1000, 3, 7, 256, 128},
                                           {601, 601, 2, 3, 256, 256},
                                           {601, 601, 3, 3, 512, 89}}) {
        std::string error;
        const std::optional<render::TilePlace> place =
            render::PlaceTile(row.width, row.height, {row.index, row.count}, error);
        ASSERT_TRUE(place) << error;
        EXPECT_EQ(place->firstRow, row.firstRow) << row.index << "/" << row.count << " of " << row.height;
        EXPECT_EQ(place->rows, row.rows) << row.index << "/" << row.count << " of " << row.height;
        EXPECT_EQ(render::ParseTilePlace(render::FormatTilePlace(*place)), place);
    }
    std::string error;
    EXPECT_FALSE(render::PlaceTile(16384, 150, {1, 4}, error));
    EXPECT_NE(error.find("at most 3 tiles, not 4"), std::string::npos) << error;
}

TEST(TilePlaceTest, TileNumbersAndDamagedPlacesAreRefused) {
    for (const char* text : {"", "3", "0/3", "4/3", "2/", "/3", "a/b", "2/3x", "-1/3", "2 /3", "+2/3"}) {
        EXPECT_FALSE(render::ParseTileNumber(text)) << text;
    }
    EXPECT_TRUE(render::ParseTileNumber("3/3"));
    const std::string good = "fractals-tile\nversion 1\npicture 10x20\ntile 2/3\nrows 5 10\n";
    ASSERT_TRUE(render::ParseTilePlace(good));
    for (const auto& [from, to] :
         std::vector<std::pair<std::string, std::string>>{{"version 1", "version 2"},
                                                          {"rows 5 10", "rows 11 10"},
                                                          {"rows 5 10", "rows 5 0"},
                                                          {"tile 2/3", "tile 4/3"},
                                                          {"picture 10x20", "picture 0x20"},
                                                          {"fractals-tile", "tile"}}) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        EXPECT_FALSE(render::ParseTilePlace(text)) << to;
    }
}

struct ViewRow {
    const char* name;
    const std::vector<std::string>* view;
    const char* output;
};

void PrintTo(const ViewRow& row, std::ostream* out) {
    *out << row.name;
}

class TiledPictureTest : public SpreadTest, public testing::WithParamInterface<ViewRow> {};

TEST_P(TiledPictureTest, ThreeTilesAssembleToTheSingleRunsBytes) {
    const ViewRow& row = GetParam();
    render(*row.view, {"-o", std::string("whole") + row.output});
    fs::create_directory("tiles");
    for (const char* tile : {"1/3", "2/3", "3/3"}) {
        render(*row.view, {"--tile", tile, "-o", "tiles/part_" + std::string(1, tile[0]) + ".png"});
    }
    // Named in any order, or as their folder.
    const Run named = run({"assemble", "-o", std::string("named") + row.output, "tiles/part_3.png",
                           "tiles/part_1.png", "tiles/part_2.png"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, std::string("named") + row.output + "\n");
    const Run folder = run({"assemble", "-q", "-o", std::string("tiles/whole") + row.output, "tiles"});
    ASSERT_EQ(folder.status, 0) << folder.err;
    const std::string whole = ReadFileBytes(std::string("whole") + row.output);
    ASSERT_FALSE(whole.empty());
    EXPECT_TRUE(whole == ReadFileBytes(std::string("named") + row.output));
    EXPECT_TRUE(whole == ReadFileBytes(std::string("tiles/whole") + row.output));
    // The assembled PNG left in the folder is passed over the next time.
    EXPECT_EQ(run({"assemble", "-q", "-o", "again.png", "tiles"}).status, 0);
}

const ViewRow kTiledRows[] = {{"PlainPng", &kPlainView, ".png"},
                              {"PlainJpeg", &kPlainView, ".jpg"},
                              {"DeepPng", &kDeepView, ".png"},
                              {"DeepJulia", &kJuliaView, ".png"}};
INSTANTIATE_TEST_SUITE_P(Spread, TiledPictureTest, testing::ValuesIn(kTiledRows),
                         [](const auto& info) { return info.param.name; });

using BadAssembly = render_test::RefusalRow;

class BadAssemblyTest : public SpreadTest, public testing::WithParamInterface<BadAssembly> {};

/// One message naming the problem and no picture written.
TEST_P(BadAssemblyTest, OneMessageAndNoPicture) {
    const std::vector<std::string> small = {"--size", "601x601"};
    for (const char* tile : {"1/3", "2/3", "3/3"}) {
        render(small, {"--tile", tile, "-o", "t" + std::string(1, tile[0]) + ".png"});
    }
    render(small, {"--tile", "2/2", "-o", "half.png"});
    render({"--size", "601x601", "--kind", "julia", "--julia", "-0.5/0.6"},
           {"--tile", "2/3", "-o", "julia.png"});
    render(small, {"-o", "plain.png"});
    const std::string tile = ReadFileBytes("t2.png");
    WriteFileBytes("cut.png", tile.substr(0, tile.size() - 100));
    std::string flipped = tile;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x10);
    WriteFileBytes("flipped.png", flipped);
    // Tiles whose chunk does not match their pixels or their neighbours, as no run writes them.
    const std::string record = *render::ReadPngRecord("t1.png").text;
    const auto crafted = [&](const char* name, int rows, const std::string& place) {
        std::FILE* file = std::fopen(name, "wb");
        ASSERT_NE(file, nullptr);
        render::PngStreamWriter png;
        png.addText(render::kPngTileKeyword, place);
        std::string error;
        const std::vector<std::uint8_t> pixels(601 * 3 * static_cast<std::size_t>(rows));
        EXPECT_TRUE(png.start(file, 601, rows, record, error) && png.writeRows(pixels.data(), rows, error) &&
                    png.finish(error))
            << error;
        std::fclose(file);
    };
    crafted("overlap.png", 256, "fractals-tile\nversion 1\npicture 601x601\ntile 2/3\nrows 200 256\n");
    crafted("short.png", 10, "fractals-tile\nversion 1\npicture 601x601\ntile 2/3\nrows 256 256\n");
    crafted("chunk.png", 256, "fractals-tile\nversion 1\npicture 601x601\ntile 2/3\n");
    fs::create_directory("empty");
    fs::create_directory("others");
    fs::copy_file("plain.png", "others/plain.png");

    expectRefused("assemble", GetParam());
}

const BadAssembly kBadAssemblies[] = {
    {"Missing", {"-o", "out.png", "t1.png", "t3.png"}, 1, "tile 2 of 3 is missing; nothing was written"},
    {"TwoMissing", {"-o", "out.png", "t3.png"}, 1, "tiles 1, 2 of 3 are missing"},
    {"Twice", {"-o", "out.png", "t1.png", "t2.png", "t2.png", "t3.png"}, 1, "tile 2/3 is given twice"},
    {"OtherCount", {"-o", "out.png", "t1.png", "half.png", "t3.png"}, 1, "are tiles of different pictures"},
    {"OtherPicture",
     {"-o", "out.png", "t1.png", "julia.png", "t3.png"},
     1,
     "are tiles of different pictures"},
    {"NotATile",
     {"-o", "out.png", "t1.png", "plain.png", "t3.png"},
     1,
     "plain.png is not a tile of a picture"},
    {"NoFile", {"-o", "out.png", "t1.png", "t9.png", "t3.png"}, 1, "cannot read t9.png"},
    {"Cut",
     {"-o", "out.png", "t1.png", "cut.png", "t3.png"},
     1,
     "cannot read cut.png: the PNG file is truncated"},
    {"Damaged",
     {"-o", "out.png", "t1.png", "flipped.png", "t3.png"},
     1,
     "cannot read flipped.png: the PNG file is damaged"},
    {"Overlap",
     {"-o", "out.png", "t1.png", "overlap.png", "t3.png"},
     1,
     "overlap.png (tile 2/3, rows 200 to 455) overlaps t1.png (tile 1/3, rows 0 to 255)"},
    {"OtherSize",
     {"-o", "out.png", "t1.png", "short.png", "t3.png"},
     1,
     "it is 601x10 pixels, not the 601x256 its tile chunk names"},
    {"DamagedChunk", {"-o", "out.png", "t1.png", "chunk.png", "t3.png"}, 1, "its tile chunk is damaged"},
    {"EmptyFolder", {"-o", "out.png", "empty"}, 1, "empty holds no tiles of a picture"},
    {"FolderWithoutTiles", {"-o", "out.png", "others"}, 1, "others holds no tiles"},
    {"NoOutput", {"t1.png", "t2.png", "t3.png"}, 2, "give the picture to write with -o"},
    {"OtherFormat", {"-o", "out.gif", "t1.png", "t2.png", "t3.png"}, 2, "must end in .png, .jpg or .jpeg"},
    {"NoTiles", {"-o", "out.png"}, 2, "give the tiles to put together"},
};
INSTANTIATE_TEST_SUITE_P(Spread, BadAssemblyTest, testing::ValuesIn(kBadAssemblies),
                         [](const auto& info) { return info.param.name; });

TEST_F(SpreadTest, BrokenOffAssemblyLeavesNothing) {
    for (const char* tile : {"1/2", "2/2"}) {
        render({"--size", "601x601"}, {"--tile", tile, "-o", "t" + std::string(1, tile[0]) + ".png"});
    }
    const std::vector<std::string> before = testing_support::FolderEntries(".");
    const std::atomic<bool> stop{true};
    const Run r = run({"assemble", "-o", "out.png", "t1.png", "t2.png"}, &stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken off; out.png was not written"), std::string::npos) << r.err;
    EXPECT_EQ(testing_support::FolderEntries("."), before);
}

TEST_F(SpreadTest, TileOptionsAreChecked) {
    struct Row {
        std::vector<std::string> args;
        const char* says;
    };
    for (const Row& row : std::vector<Row>{
             {{"--tile", "4/3", "-o", "t.png"}, "--tile: expected I/N"},
             {{"--tile", "2/3", "-o", "t.jpg"}, "a tile is written as a .png picture"},
             {{"--tile", "2/4", "--size", "601x601", "-o", "t.png"},
              "can be cut into at most 3 tiles, not 4"},
             {{"--tile", "2/3", "--zoom-sequence", "3", "--base", "z"}, "--zoom-sequence excludes --tile"},
         }) {
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Run r = run(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_TRUE(testing_support::FolderEntries(".").empty());
    }
}

TEST_F(SpreadTest, LoadedReferenceGivesTheComputedPicture) {
    for (const std::vector<std::string>* view : {&kDeepView, &kJuliaView}) {
        // Saved alone, and saved beside a picture: the same file.
        const Run alone = run([&] {
            std::vector<std::string> args = {"set"};
            args.insert(args.end(), view->begin(), view->end());
            args.insert(args.end(), {"--save-reference", "alone.orbit"});
            return args;
        }());
        ASSERT_EQ(alone.status, 0) << alone.err;
        EXPECT_EQ(alone.out, "alone.orbit\n");
        render(*view, {"--save-reference", "ref.orbit", "-o", "computed.png"});
        EXPECT_EQ(ReadFileBytes("alone.orbit"), ReadFileBytes("ref.orbit"));
        render(*view, {"--load-reference", "ref.orbit", "-o", "loaded.png"});
        render(*view, {"--load-reference", "ref.orbit", "--tile", "2/3", "-o", "tile.png"});
        EXPECT_TRUE(ReadFileBytes("computed.png") == ReadFileBytes("loaded.png"));
        // The picture's width is no part of its view's orbit.
        std::vector<std::string> narrow = *view;
        narrow.back() = "300x150";
        render(narrow, {"--load-reference", "ref.orbit", "-o", "narrow_loaded.png"});
        render(narrow, {"-o", "narrow.png"});
        EXPECT_TRUE(ReadFileBytes("narrow.png") == ReadFileBytes("narrow_loaded.png"));
    }
}

TEST_F(SpreadTest, ReferenceOfAnotherViewOrDamagedIsRefused) {
    render(kDeepView, {"--save-reference", "ref.orbit"});
    render(kJuliaView, {"--save-reference", "julia.orbit"});
    const std::string bytes = ReadFileBytes("ref.orbit");
    std::string flipped = bytes;
    flipped[flipped.size() - 5] = static_cast<char>(flipped[flipped.size() - 5] ^ 1);
    WriteFileBytes("flipped.orbit", flipped);
    WriteFileBytes("cut.orbit", bytes.substr(0, bytes.size() - 16));
    std::string newer = bytes;
    newer.replace(newer.find("version 1"), 9, "version 9");
    WriteFileBytes("newer.orbit", newer);
    WriteFileBytes("text.orbit", "hello\n");
    fs::create_directory("folder.orbit");

    const auto with = [](std::vector<std::string> view, const std::string& option, const std::string& value) {
        for (std::size_t i = 1; i < view.size(); ++i) {
            if (view[i - 1] == option) {
                view[i] = value;
            }
        }
        return view;
    };
    struct Row {
        std::vector<std::string> view;
        const char* file;
        int status;
        const char* says;
    };
    for (const Row& row : std::vector<Row>{
             {with(kDeepView, "--radius", "2e-20"), "ref.orbit", 1,
              "its radius is 1e-20, this picture's is 2e-20"},
             {with(kDeepView, "--iterations", "301"), "ref.orbit", 1,
              "its iterations is 300, this picture's is 301"},
             {with(kDeepView, "--size", "16384x15000"), "ref.orbit", 1, "its precision is 143 bits"},
             {with(kJuliaView, "--julia", "-0.5/0.7"), "julia.orbit", 1,
              "its julia is -0.5 0.6, this picture's is -0.5 0.7"},
             {kJuliaView, "ref.orbit", 1, "it belongs to another view"},
             {kDeepView, "flipped.orbit", 1, "it is damaged (its numbers fail their checksum)"},
             {kDeepView, "cut.orbit", 1, "it is damaged (its size does not fit its number of points)"},
             {kDeepView, "newer.orbit", 1, "damaged or of a newer version"},
             {kDeepView, "text.orbit", 1, "not a reference orbit file"},
             {kDeepView, "folder.orbit", 1, "cannot use the reference orbit folder.orbit"},
             {kDeepView, "none.orbit", 1, "cannot use the reference orbit none.orbit"},
             {{"--size", "601x601"},
              "ref.orbit",
              2,
              "only a deep view (--centre, --radius) has a reference orbit"},
         }) {
        const std::vector<std::string> before = testing_support::FolderEntries(".");
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), row.view.begin(), row.view.end());
        args.insert(args.end(), {"--load-reference", row.file, "-o", "out.png"});
        const Run r = run(args);
        EXPECT_EQ(r.status, row.status) << row.says << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_EQ(testing_support::FolderEntries("."), before) << row.says;
        fs::remove("out.png");
    }
    std::vector<std::string> both = {"set"};
    both.insert(both.end(), kDeepView.begin(), kDeepView.end());
    both.insert(both.end(),
                {"--load-reference", "ref.orbit", "--save-reference", "x.orbit", "-o", "out.png"});
    EXPECT_EQ(run(both).status, 2);
}

} // namespace
