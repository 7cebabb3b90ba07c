#include <gtest/gtest.h>

#include "window_fit.h"

namespace explorer {
namespace {

struct FitRow {
    const char* name;
    common::ScreenInfo screen;
    int expectedClient;
};

class FitWindowTest : public ::testing::TestWithParam<FitRow> {};

TEST_P(FitWindowTest, ClientSizeFollowsScreenAndDpi) {
    const FitRow& row = GetParam();
    EXPECT_EQ(ScaleToScreen(kDesignClientSize, FitWindowSteps(row.screen)), row.expectedClient);
}

INSTANTIATE_TEST_SUITE_P(Screens, FitWindowTest,
                         ::testing::Values(FitRow{"design_1024x768_96dpi", {1024, 768, 96}, 601},
                                           FitRow{"sxga_1280x1024", {1280, 1024, 96}, 751},
                                           // 16:10 exactly is not above 0.625, so the height decides.
                                           FitRow{"wide_1280x800", {1280, 800, 96}, 626},
                                           FitRow{"fullhd_by_height", {1920, 1080, 96}, 845},
                                           FitRow{"offscreen_800x800", {800, 800, 96}, 470},
                                           // 601 * 1024/1024 = 601, then * 96/120 = 480.8.
                                           FitRow{"large_fonts_120dpi", {1024, 768, 120}, 481},
                                           FitRow{"no_screen_reported", {0, 0, 96}, 601}),
                         [](const ::testing::TestParamInfo<FitRow>& info) {
                             return std::string(info.param.name);
                         });

struct MulDivRow {
    const char* name;
    int v;
    int m;
    int d;
    int awayFromZero;
    int toEven;
};

class MulDivTest : public ::testing::TestWithParam<MulDivRow> {};

TEST_P(MulDivTest, RoundsToNearestWithTheChosenHalf) {
    using common::MulDiv;
    using common::Rounding;
    const MulDivRow& row = GetParam();
    EXPECT_EQ(MulDiv(row.v, row.m, row.d), row.awayFromZero); // the default, which the generator uses
    EXPECT_EQ(MulDiv(row.v, row.m, row.d, Rounding::HalfAwayFromZero), row.awayFromZero);
    EXPECT_EQ(MulDiv(row.v, row.m, row.d, Rounding::HalfToEven), row.toEven);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MulDivTest,
    ::testing::Values(MulDivRow{"half_below_odd", 3, 1, 2, 2, 2}, MulDivRow{"half_below_even", 5, 1, 2, 3, 2},
                      MulDivRow{"negative_half", -3, 1, 2, -2, -2},
                      MulDivRow{"negative_half_to_even", -5, 1, 2, -3, -2},
                      MulDivRow{"quarter_down", 5, 1, 4, 1, 1}, MulDivRow{"three_quarters_up", 7, 1, 4, 2, 2},
                      MulDivRow{"negative_three_quarters", -7, 1, 4, -2, -2},
                      MulDivRow{"exact", 601, 1280, 1024, 751, 751},
                      MulDivRow{"edit_top_on_1600", 72, 1600, 1024, 113, 112},
                      MulDivRow{"edit_width_on_1152", 52, 1152, 1024, 59, 58},
                      // The product is formed in 64 bits.
                      MulDivRow{"large", 2'000'000'000, 3, 4, 1'500'000'000, 1'500'000'000},
                      MulDivRow{"large_half", 2'000'000'001, 1, 2, 1'000'000'001, 1'000'000'000},
                      MulDivRow{"no_divisor", 17, 3, 0, 17, 17}),
    [](const ::testing::TestParamInfo<MulDivRow>& info) { return std::string(info.param.name); });

TEST(ScaleLengthTest, RoundsEachStepOnItsOwn) {
    // 601 * 1024 / 1024 = 601, then * 96 / 192 = 300.5: to even 300, away 301.
    const std::vector<common::ScaleStep> steps = {{1024, 1024}, {96, 192}};
    EXPECT_EQ(common::ScaleLength(601, steps), 301);
    EXPECT_EQ(ScaleToScreen(601, steps), 300);
    // 5 * 3 / 2 = 7.5 gives 8 either way, and 8 / 16 = 0.5 then splits the two roundings; a
    // single rounding of 15 / 32 would give 0 for both.
    EXPECT_EQ(ScaleToScreen(5, {{3, 2}, {1, 16}}), 0);
    EXPECT_EQ(common::ScaleLength(5, {{3, 2}, {1, 16}}), 1);
}

} // namespace
} // namespace explorer
