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
    EXPECT_EQ(ScaleLength(kDesignClientSize, FitWindowSteps(row.screen)), row.expectedClient);
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

TEST(MulDivTest, RoundsHalvesAwayFromZero) {
    using common::MulDiv;
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(5, 1, 4), 1);
    EXPECT_EQ(MulDiv(601, 1280, 1024), 751);
    // The product is formed in 64 bits, so large lengths do not overflow.
    EXPECT_EQ(MulDiv(2'000'000'000, 3, 4), 1'500'000'000);
}

} // namespace
} // namespace explorer
