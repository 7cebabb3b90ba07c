#include "picture_record.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace {

using common::DeepSetRecord;
using common::LsystemRecord;
using common::SetRecord;

std::uint64_t Bits(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

SetRecord Set(double reMin, double reMax, double imMin, double imMax, double juliaRe, double juliaIm) {
    SetRecord r;
    r.reMin = reMin;
    r.reMax = reMax;
    r.imMin = imMin;
    r.imMax = imMax;
    r.juliaRe = juliaRe;
    r.juliaIm = juliaIm;
    r.border = {16, 2, 4};
    r.main = {255, 255, 0};
    r.width = 601;
    r.height = 601;
    return r;
}

struct SetRow {
    const char* name;
    SetRecord record;
};

class SetRecordRoundTrip : public testing::TestWithParam<SetRow> {};

TEST_P(SetRecordRoundTrip, ReadsBackIdenticalBits) {
    const SetRecord& in = GetParam().record;
    const std::string text = common::FormatPictureRecord(in);
    const std::optional<common::PictureRecord> back = common::ParsePictureRecord(text);
    ASSERT_TRUE(back.has_value()) << text;
    const auto* out = std::get_if<SetRecord>(&*back);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->julia, in.julia);
    EXPECT_EQ(Bits(out->reMin), Bits(in.reMin)) << text;
    EXPECT_EQ(Bits(out->reMax), Bits(in.reMax)) << text;
    EXPECT_EQ(Bits(out->imMin), Bits(in.imMin)) << text;
    EXPECT_EQ(Bits(out->imMax), Bits(in.imMax)) << text;
    EXPECT_EQ(Bits(out->juliaRe), Bits(in.juliaRe)) << text;
    EXPECT_EQ(Bits(out->juliaIm), Bits(in.juliaIm)) << text;
    EXPECT_EQ(out->border, in.border);
    EXPECT_EQ(out->main, in.main);
    EXPECT_EQ(out->additive, in.additive);
    EXPECT_EQ(out->width, in.width);
    EXPECT_EQ(out->height, in.height);
}

SetRecord Julia(SetRecord r) {
    r.julia = true;
    return r;
}

SetRecord Subtractive(SetRecord r) {
    r.additive = false;
    r.border = {-1, 300, std::numeric_limits<int>::min()};
    r.main = {0, std::numeric_limits<int>::max(), 7};
    r.width = 18316;
    r.height = 27046;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Record, SetRecordRoundTrip,
    testing::Values(SetRow{"default_mandelbrot", Set(-2.0, 1.0, -1.5, 1.5, 0.0, 0.0)},
                    SetRow{"tenths_and_tiny", Set(0.1, -1.5e-300, -0.0, 0.3, 0.7, -0.0)},
                    SetRow{"subnormal_and_huge", Julia(Set(5e-324, 1.7976931348623157e308,
                                                           -2.2250738585072014e-308, 1e-320, -0.5, 0.6))},
                    SetRow{"deep_zoom_neighbours",
                           Set(-0.743643887037151, std::nextafter(-0.743643887037151, 0.0), 0.131825904205330,
                               std::nextafter(0.131825904205330, 1.0), 1.0 / 3.0, -2.0 / 3.0)},
                    SetRow{"subtractive_wrapped_colours", Subtractive(Set(-1.5, 1.5, -1.5, 1.5, 0.34, 0.38))},
                    SetRow{"mirrored_view", Set(1.0, -2.0, 1.5, -1.5, 0.0, 0.0)}),
    [](const testing::TestParamInfo<SetRow>& info) { return std::string(info.param.name); });

TEST(LsystemRecordTest, TenLinesOfAnyBytesReadBack) {
    LsystemRecord in;
    in.lines = {"F[+F]F[-F]F",    "0,5",  "25.7", "", "  10 ", "1\\2", std::string("\xE4\xF6\x01", 3),
                "line\twith tab", "-200", "1"};
    in.width = 493;
    in.height = 493;
    const std::string text = common::FormatPictureRecord(in);
    for (const char c : text) {
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "not plain ASCII: " << int(c);
    }
    const std::optional<common::PictureRecord> back = common::ParsePictureRecord(text);
    ASSERT_TRUE(back.has_value()) << text;
    const auto& out = std::get<LsystemRecord>(*back);
    EXPECT_EQ(out.lines, in.lines);
    EXPECT_EQ(out.width, 493);
    EXPECT_EQ(out.height, 493);
}

// Every way a record can be broken gives no record rather than a guess.
struct BrokenRow {
    const char* name;
    std::string from; // replaced in a good record ...
    std::string to;   // ... by this
};

class BrokenRecordTest : public testing::TestWithParam<BrokenRow> {};

TEST_P(BrokenRecordTest, IsNoRecord) {
    const std::string good = common::FormatPictureRecord(Set(-2.0, 1.0, -1.5, 1.5, 0.0, 0.0));
    ASSERT_TRUE(common::ParsePictureRecord(good).has_value());
    std::string text = good;
    const BrokenRow& row = GetParam();
    const std::size_t at = text.find(row.from);
    ASSERT_NE(at, std::string::npos) << row.from;
    text.replace(at, row.from.size(), row.to);
    EXPECT_FALSE(common::ParsePictureRecord(text).has_value()) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Record, BrokenRecordTest,
    testing::Values(BrokenRow{"other_identifier", "fractals-picture-record\n", "fractals-picture-recordX\n"},
                    BrokenRow{"newer_version", "version 1", "version 3"},
                    BrokenRow{"version_zero", "version 1", "version 0"},
                    BrokenRow{"version_not_first", "version 1\nkind mandelbrot",
                              "kind mandelbrot\nversion 1"},
                    BrokenRow{"no_version", "version 1\n", ""},
                    BrokenRow{"missing_view", "view -2 1 -1.5 1.5\n", ""},
                    BrokenRow{"three_bounds", "view -2 1 -1.5 1.5", "view -2 1 -1.5"},
                    BrokenRow{"five_bounds", "view -2 1 -1.5 1.5", "view -2 1 -1.5 1.5 7"},
                    BrokenRow{"comma_decimal", "view -2 1 -1.5 1.5", "view -2 1 -1,5 1.5"},
                    BrokenRow{"trailing_garbage", "view -2 1 -1.5 1.5", "view -2 1 -1.5x 1.5"},
                    BrokenRow{"repeated_key", "mixing additive\n", "mixing additive\nmixing additive\n"},
                    BrokenRow{"unknown_mixing", "mixing additive", "mixing both"},
                    BrokenRow{"unknown_kind", "kind mandelbrot", "kind newton"},
                    BrokenRow{"zero_width", "size 601 601", "size 0 601"},
                    BrokenRow{"nan_bound", "view -2 1 -1.5 1.5", "view -2 1 nan 1.5"},
                    BrokenRow{"infinite_bound", "view -2 1 -1.5 1.5", "view -inf 1 -1.5 1.5"},
                    BrokenRow{"equal_re_bounds", "view -2 1 -1.5 1.5", "view 1 1 -1.5 1.5"},
                    BrokenRow{"equal_im_bounds", "view -2 1 -1.5 1.5", "view -2 1 0 -0"},
                    BrokenRow{"width_overflows", "view -2 1 -1.5 1.5", "view -1e308 1e308 -1.5 1.5"},
                    BrokenRow{"nan_constant", "julia 0 0", "julia 0 nan"},
                    BrokenRow{"colour_too_big", "border 16 2 4", "border 16 2 99999999999"},
                    BrokenRow{"cut_short", "mixing additive\nsize 601 601\n", "mixing addi"}),
    [](const testing::TestParamInfo<BrokenRow>& info) { return std::string(info.param.name); });

TEST(BrokenRecordTest, EmptyTextAndBadEscapeAreNoRecord) {
    EXPECT_FALSE(common::ParsePictureRecord("").has_value());
    LsystemRecord in;
    in.width = in.height = 10;
    std::string text = common::FormatPictureRecord(in);
    ASSERT_TRUE(common::ParsePictureRecord(text).has_value());
    text.replace(text.find("line1 "), 6, "line1 \\x4");
    EXPECT_FALSE(common::ParsePictureRecord(text).has_value());
}

TEST(LsystemRecordTest, BackgroundReadsBackAndIsWhiteWhenAbsent) {
    LsystemRecord in;
    in.width = in.height = 10;
    in.background = common::LsystemBackground::Black;
    std::string text = common::FormatPictureRecord(in);
    EXPECT_NE(text.find("\nbackground black\n"), std::string::npos) << text;
    EXPECT_EQ(std::get<LsystemRecord>(*common::ParsePictureRecord(text)).background,
              common::LsystemBackground::Black);
    // Records written before the key existed keep version 1 and read as white.
    text.erase(text.find("background black\n"));
    EXPECT_NE(text.find("version 1\n"), std::string::npos);
    EXPECT_EQ(std::get<LsystemRecord>(*common::ParsePictureRecord(text)).background,
              common::LsystemBackground::White);
    EXPECT_FALSE(common::ParsePictureRecord(text + "background grey\n").has_value());
    EXPECT_FALSE(common::ParsePictureRecord(text + "background black\nbackground white\n").has_value());
}

// A later version 1 writer may add lines; this reader skips what it does not know.
TEST(PictureRecordTest, UnknownKeysAreSkipped) {
    std::string text = common::FormatPictureRecord(Set(-2.0, 1.0, -1.5, 1.5, 0.0, 0.0));
    text += "palette smooth\n";
    EXPECT_TRUE(common::ParsePictureRecord(text).has_value());
    LsystemRecord drawing;
    drawing.width = drawing.height = 10;
    EXPECT_TRUE(common::ParsePictureRecord(common::FormatPictureRecord(drawing) + "pen red\n").has_value());
}

} // namespace

DeepSetRecord Deep() {
    DeepSetRecord r;
    r.julia = true;
    // More digits than any double holds, and a radius far below the smallest double.
    r.re = *common::ParseExactDecimal(
        "-1.74995768370609350360221450607069970727110579726252077930242837820286008082972804887"
        "218672784431700831100544507655659531379747541999999995");
    r.im = *common::ParseExactDecimal(
        "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000012345678901234567890123");
    r.radius = *common::ParseExactDecimal("2.5e-70000");
    r.iterations = common::kMaxDeepIterations;
    r.juliaRe = *common::ParseExactDecimal("-0.7500000000000000000000000000001");
    r.juliaIm = *common::ParseExactDecimal("1e-400");
    r.border = {16, -2, 300};
    r.main = {255, 255, 0};
    r.additive = false;
    r.width = 1920;
    r.height = 1080;
    return r;
}

TEST(DeepRecordTest, ReadsBackEveryDigitAsVersion2) {
    const DeepSetRecord in = Deep();
    const std::string text = common::FormatPictureRecord(in);
    EXPECT_NE(text.find("\nversion 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nradius 2.5e-70000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\njulia -0.7500000000000000000000000000001 1e-400\n"), std::string::npos) << text;
    const std::optional<common::PictureRecord> back = common::ParsePictureRecord(text);
    ASSERT_TRUE(back.has_value()) << text;
    const auto* out = std::get_if<DeepSetRecord>(&*back);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->julia, in.julia);
    EXPECT_EQ(out->re, in.re);
    EXPECT_EQ(out->im, in.im);
    EXPECT_EQ(out->radius, in.radius);
    EXPECT_EQ(out->iterations, in.iterations);
    EXPECT_EQ(out->juliaRe, in.juliaRe);
    EXPECT_EQ(out->juliaIm, in.juliaIm);
    EXPECT_EQ(out->border, in.border);
    EXPECT_EQ(out->main, in.main);
    EXPECT_EQ(out->additive, in.additive);
    EXPECT_EQ(out->width, in.width);
    EXPECT_EQ(out->height, in.height);
    EXPECT_EQ(common::FormatPictureRecord(*out), text);
}

// A record version 1 can hold is still written as version 1, so older readers keep reading it.
TEST(DeepRecordTest, ViewRecordsStayVersion1) {
    EXPECT_NE(common::FormatPictureRecord(Set(-2.0, 1.0, -1.5, 1.5, 0.0, 0.0)).find("\nversion 1\n"),
              std::string::npos);
}

class BrokenDeepRecordTest : public testing::TestWithParam<BrokenRow> {};

TEST_P(BrokenDeepRecordTest, IsNoRecord) {
    DeepSetRecord in = Deep();
    in.re = *common::ParseExactDecimal("-0.75");
    in.im = *common::ParseExactDecimal("0.1");
    in.radius = *common::ParseExactDecimal("1e-30");
    in.iterations = 1000;
    const std::string good = common::FormatPictureRecord(in);
    ASSERT_TRUE(common::ParsePictureRecord(good).has_value()) << good;
    std::string text = good;
    const BrokenRow& row = GetParam();
    const std::size_t at = text.find(row.from);
    ASSERT_NE(at, std::string::npos) << row.from << " in " << text;
    text.replace(at, row.from.size(), row.to);
    EXPECT_FALSE(common::ParsePictureRecord(text).has_value()) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Record, BrokenDeepRecordTest,
    testing::Values(BrokenRow{"centre_in_version_1", "version 2", "version 1"},
                    BrokenRow{"one_centre_number", "centre -0.75 0.1", "centre -0.75"},
                    BrokenRow{"comma_centre", "centre -0.75 0.1", "centre -0,75 0.1"},
                    BrokenRow{"missing_radius", "radius 1e-30\n", ""},
                    BrokenRow{"zero_radius", "radius 1e-30", "radius 0"},
                    BrokenRow{"negative_radius", "radius 1e-30", "radius -1e-30"},
                    BrokenRow{"radius_beyond_decimals", "radius 1e-30", "radius 1e-100000001"},
                    BrokenRow{"missing_iterations", "iterations 1000\n", ""},
                    BrokenRow{"zero_iterations", "iterations 1000", "iterations 0"},
                    BrokenRow{"too_many_iterations", "iterations 1000", "iterations 100000001"},
                    BrokenRow{"iterations_exponent", "iterations 1000", "iterations 1e3"},
                    BrokenRow{"inexact_constant", "julia -0.7500000000000000000000000000001 1e-400",
                              "julia nan 1e-400"},
                    BrokenRow{"missing_size", "size 1920 1080\n", ""}),
    [](const testing::TestParamInfo<BrokenRow>& info) { return std::string(info.param.name); });
