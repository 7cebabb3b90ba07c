#include "canvas.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace common {
namespace {

using Art = std::vector<std::string>;
using PixelSet = std::set<std::pair<int, int>>;

constexpr Colour kPen{0x12, 0x34, 0x56};
constexpr Colour kBrush = kYellow;

// Pictures are written as rows of characters so an unexpected pixel shows up in the failure
// message where it is.
const std::map<char, Colour>& legend() {
    static const std::map<char, Colour> colours = {
        {'.', kBlack},          {'#', kPen},         {'o', kBrush},          {'A', {10, 20, 30}},
        {'B', {40, 50, 60}},    {'C', {70, 80, 90}}, {'D', {100, 110, 120}}, {'E', {130, 140, 150}},
        {'F', {160, 170, 180}},
    };
    return colours;
}

Colour colourOf(char c) {
    return legend().at(c);
}

Art toArt(const Canvas& canvas) {
    Art art;
    for (int y = 0; y < canvas.height(); ++y) {
        std::string row;
        for (int x = 0; x < canvas.width(); ++x) {
            char found = '?';
            for (const auto& [ch, colour] : legend()) {
                if (canvas.pixel(x, y) == colour) {
                    found = ch;
                }
            }
            row += found;
        }
        art.push_back(row);
    }
    return art;
}

RgbImage fromArt(const Art& art) {
    RgbImage image(static_cast<int>(art.front().size()), static_cast<int>(art.size()));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            image.set(x, y, colourOf(art[y][x]));
        }
    }
    return image;
}

Art blankArt(int width, int height) {
    return Art(height, std::string(width, '.'));
}

PixelSet paintedPixels(const Canvas& canvas, Colour background = kBlack) {
    PixelSet set;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (canvas.pixel(x, y) != background) {
                set.insert({x, y});
            }
        }
    }
    return set;
}

Canvas noiseCanvas(int width, int height, unsigned seed) {
    Canvas canvas(width, height);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            canvas.setPixel(x, y,
                            {static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
                             static_cast<std::uint8_t>(byte(random))});
        }
    }
    return canvas;
}

Colour notXor(Colour pen, Colour pixel) {
    return {static_cast<std::uint8_t>(~(pen.r ^ pixel.r)), static_cast<std::uint8_t>(~(pen.g ^ pixel.g)),
            static_cast<std::uint8_t>(~(pen.b ^ pixel.b))};
}

void line(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
}

// ---------------------------------------------------------------------------------------------
// Lines

// Every octant, the axes, the diagonals and halfway cases: the line paints one pixel per step
// of its longer axis, never its end point, and each pixel is the one nearest the ideal line
// with halfway cases taken towards the start.
TEST(CanvasLineTest, PaintsNearestPixelsUpToButNotIncludingTheEndInEveryOctant) {
    const std::vector<std::pair<int, int>> deltas = {
        {7, 3},   {3, 7},  {-3, 7}, {-7, 3}, {-7, -3}, {-3, -7}, {3, -7},  {7, -3}, {9, 0},
        {0, 9},   {-9, 0}, {0, -9}, {5, 5},  {-5, 5},  {-5, -5}, {5, -5},  {4, 2},  {-2, 4},
        {-4, -2}, {2, -4}, {1, 0},  {0, -1}, {1, 1},   {6, 1},   {-1, -6}, {12, 5}, {-12, 7}};
    constexpr int kStart = 20;
    for (const auto& [dx, dy] : deltas) {
        SCOPED_TRACE(testing::Message() << "delta " << dx << "," << dy);
        Canvas canvas(41, 41);
        canvas.setPen({kPen, 1, PenStyle::Solid});
        line(canvas, kStart, kStart, kStart + dx, kStart + dy);
        EXPECT_EQ(canvas.position(), (Point{kStart + dx, kStart + dy}));

        const PixelSet painted = paintedPixels(canvas);
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        const int majorDelta = xMajor ? dx : dy;
        const int minorDelta = xMajor ? dy : dx;
        ASSERT_EQ(painted.size(), static_cast<std::size_t>(steps));
        EXPECT_TRUE(painted.contains({kStart, kStart}));
        EXPECT_FALSE(painted.contains({kStart + dx, kStart + dy}));

        std::set<int> stepsSeen;
        for (const auto& [x, y] : painted) {
            const int major = (xMajor ? x : y) - kStart;
            const int minor = (xMajor ? y : x) - kStart;
            // The pixel must lie on the start side of the end, along the line's direction.
            ASSERT_TRUE(major * majorDelta >= 0) << x << "," << y;
            const int i = std::abs(major);
            stepsSeen.insert(i);
            // |minor - i*minorDelta/steps| <= 1/2, scaled by 2*steps to stay in integers.
            const long error = 2L * minor * steps - 2L * i * minorDelta;
            EXPECT_LE(std::abs(error), steps) << "pixel " << x << "," << y << " is not the nearest";
            if (std::abs(error) == steps) {
                EXPECT_LT(std::abs(minor) * steps, std::abs(i * minorDelta))
                    << "halfway pixel " << x << "," << y << " should round towards the start";
            }
        }
        EXPECT_EQ(stepsSeen.size(), static_cast<std::size_t>(steps)) << "a step was painted twice or skipped";
    }
}

TEST(CanvasLineTest, LineToTheCurrentPositionPaintsNothing) {
    Canvas canvas(8, 8);
    canvas.setPen({kPen, 2, PenStyle::Solid});
    line(canvas, 3, 3, 3, 3);
    EXPECT_TRUE(paintedPixels(canvas).empty());
}

TEST(CanvasLineTest, ConsecutiveLinesContinueFromTheLastEndPoint) {
    Canvas canvas(8, 4);
    canvas.setPen({kPen, 1, PenStyle::Solid});
    canvas.moveTo(1, 1);
    canvas.lineTo(4, 1);
    canvas.lineTo(4, 3);
    canvas.lineTo(1, 3);
    EXPECT_EQ(toArt(canvas), (Art{
                                 "........",
                                 ".####...",
                                 "....#...",
                                 "..###...",
                             }));
}

struct LinePixelsCase {
    const char* name;
    Point from;
    Point to;
    int width;
    PixelSet expected;
};

class CanvasLinePixelsTest : public testing::TestWithParam<LinePixelsCase> {};

TEST_P(CanvasLinePixelsTest, PaintsExactlyTheExpectedPixels) {
    const LinePixelsCase& c = GetParam();
    Canvas canvas(12, 12);
    canvas.setPen({kPen, c.width, PenStyle::Solid});
    line(canvas, c.from.x, c.from.y, c.to.x, c.to.y);
    EXPECT_EQ(paintedPixels(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, CanvasLinePixelsTest,
    testing::Values(
        LinePixelsCase{"shallow_width1", {1, 1}, {6, 3}, 1, {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}}},
        LinePixelsCase{"halfway_rounds_towards_start", {0, 0}, {2, 1}, 1, {{0, 0}, {1, 0}}},
        LinePixelsCase{"halfway_backwards_rounds_towards_start", {2, 1}, {0, 0}, 1, {{2, 1}, {1, 1}}},
        LinePixelsCase{
            "steep_upwards_width1", {5, 8}, {3, 2}, 1, {{5, 8}, {5, 7}, {4, 6}, {4, 5}, {4, 4}, {3, 3}}},
        // A width-2 pen's end cap covers the end point, which a one-pixel line leaves out.
        LinePixelsCase{
            "shallow_width2_adds_pixel_below_up_to_the_end",
            {1, 1},
            {6, 3},
            2,
            {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 2}, {4, 3}, {5, 3}, {5, 4}, {6, 3}, {6, 4}}},
        LinePixelsCase{"steep_width2_adds_pixel_right_up_to_the_end",
                       {5, 8},
                       {3, 2},
                       2,
                       {{5, 8},
                        {6, 8},
                        {5, 7},
                        {6, 7},
                        {4, 6},
                        {5, 6},
                        {4, 5},
                        {5, 5},
                        {4, 4},
                        {5, 4},
                        {3, 3},
                        {4, 3},
                        {3, 2},
                        {4, 2}}},
        LinePixelsCase{"diagonal_width2_counts_as_shallow",
                       {2, 2},
                       {5, 5},
                       2,
                       {{2, 2}, {2, 3}, {3, 3}, {3, 4}, {4, 4}, {4, 5}, {5, 5}, {5, 6}}},
        LinePixelsCase{"leftwards_width2",
                       {6, 4},
                       {2, 4},
                       2,
                       {{6, 4}, {6, 5}, {5, 4}, {5, 5}, {4, 4}, {4, 5}, {3, 4}, {3, 5}, {2, 4}, {2, 5}}},
        LinePixelsCase{
            "one_step_width2_covers_both_ends", {7, 7}, {7, 6}, 2, {{7, 7}, {8, 7}, {7, 6}, {8, 6}}},
        LinePixelsCase{"width_zero_draws_as_one", {1, 1}, {4, 1}, 0, {{1, 1}, {2, 1}, {3, 1}}},
        // Wider pens: every pixel centre within w/2 of the segment, round caps past both ends.
        LinePixelsCase{"width3_horizontal_is_a_band_of_three_with_caps",
                       {2, 5},
                       {8, 5},
                       3,
                       [] {
                           PixelSet band;
                           for (int y = 4; y <= 6; ++y) {
                               for (int x = 1; x <= 9; ++x) {
                                   band.insert({x, y});
                               }
                           }
                           return band;
                       }()},
        LinePixelsCase{"width4_lies_below_like_width2_with_rounder_caps",
                       {2, 5},
                       {8, 5},
                       4,
                       [] {
                           PixelSet band;
                           for (int y = 4; y <= 7; ++y) {
                               const bool edge = y == 4 || y == 7;
                               for (int x = edge ? 2 : 1; x <= (edge ? 9 : 10); ++x) {
                                   band.insert({x, y});
                               }
                           }
                           return band;
                       }()},
        LinePixelsCase{"width_far_above_the_largest_is_clamped_and_clipped",
                       {1, 1},
                       {3, 1},
                       kMaxPenWidth * 4,
                       [] {
                           PixelSet all;
                           for (int y = 0; y < 12; ++y) {
                               for (int x = 0; x < 12; ++x) {
                                   all.insert({x, y});
                               }
                           }
                           return all;
                       }()}),
    [](const testing::TestParamInfo<LinePixelsCase>& info) { return std::string(info.param.name); });

// A pen of width 3 or more against the rule in exact integers: doubled coordinates, the pixel
// centre's squared distance to the segment (to an end point beyond either end) at most w*w/4.
TEST(CanvasWideLineTest, EveryPixelCentreWithinHalfThePenWidthIsPainted) {
    std::mt19937 random(77);
    std::uniform_int_distribution<int> coordinate(-6, 30);
    for (int round = 0; round < 400; ++round) {
        const int w = 3 + round % 6;
        const Point from{coordinate(random), coordinate(random)};
        const Point to{coordinate(random), coordinate(random)};
        Canvas canvas(24, 24);
        canvas.setPen({kPen, w, PenStyle::Solid});
        line(canvas, from.x, from.y, to.x, to.y);
        const std::int64_t e = w % 2 == 0 ? 1 : 0; // even pens lie half a pixel right and below
        const std::int64_t dx = 2 * (std::int64_t{to.x} - from.x);
        const std::int64_t dy = 2 * (std::int64_t{to.y} - from.y);
        const std::int64_t lengthSquared = dx * dx + dy * dy;
        PixelSet expected;
        for (int y = 0; y < 24 && lengthSquared > 0; ++y) {
            for (int x = 0; x < 24; ++x) {
                const std::int64_t u = 2 * (std::int64_t{x} - from.x) - e;
                const std::int64_t v = 2 * (std::int64_t{y} - from.y) - e;
                const std::int64_t along = u * dx + v * dy;
                bool inside = false;
                if (along <= 0) {
                    inside = u * u + v * v <= std::int64_t{w} * w;
                } else if (along >= lengthSquared) {
                    inside = (u - dx) * (u - dx) + (v - dy) * (v - dy) <= std::int64_t{w} * w;
                } else {
                    const std::int64_t cross = u * dy - v * dx;
                    inside = cross * cross <= std::int64_t{w} * w * lengthSquared;
                }
                if (inside) {
                    expected.insert({x, y});
                }
            }
        }
        ASSERT_EQ(paintedPixels(canvas), expected)
            << "width " << w << " from " << from.x << "," << from.y << " to " << to.x << "," << to.y;
    }
}

TEST(CanvasWideLineTest, FarEndPointsPaintTheVisiblePartOfTheWholeLine) {
    // The same line once with its real end points and once from far outside along it.
    Canvas near(40, 40);
    near.setPen({kPen, 7, PenStyle::Solid});
    line(near, -60, -20, 100, 60);
    Canvas far(40, 40);
    far.setPen({kPen, 7, PenStyle::Solid});
    line(far, -60 - 2000000, -20 - 1000000, 100 + 2000000, 60 + 1000000);
    EXPECT_EQ(paintedPixels(far), paintedPixels(near));
    EXPECT_TRUE(paintedPixels(near).contains({20, 20}));
}

struct DottedCase {
    const char* name;
    Point from;
    Point to;
    int width;
    Art expected;
};

class CanvasDottedLineTest : public testing::TestWithParam<DottedCase> {};

TEST_P(CanvasDottedLineTest, PaintsEveryOtherRunOfPenWidthSteps) {
    const DottedCase& c = GetParam();
    Canvas canvas(static_cast<int>(c.expected.front().size()), static_cast<int>(c.expected.size()));
    canvas.setPen({kPen, c.width, PenStyle::Dotted});
    line(canvas, c.from.x, c.from.y, c.to.x, c.to.y);
    EXPECT_EQ(toArt(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CanvasDottedLineTest,
    testing::Values(
        DottedCase{"width1", {0, 0}, {11, 0}, 1, {"#.#.#.#.#.#.", "............"}},
        DottedCase{"width2", {0, 0}, {11, 0}, 2, {"##..##..##..", "##..##..##.."}},
        DottedCase{
            "phase_counts_from_the_clipped_start", {-3, 0}, {11, 0}, 1, {".#.#.#.#.#..", "............"}},
        DottedCase{"leftwards_starts_at_the_start", {11, 1}, {0, 1}, 1, {"............", ".#.#.#.#.#.#"}},
        // The end cap follows the pattern: painted at the end of a dash, left out in a gap.
        DottedCase{"vertical_width2_ends_in_a_dash",
                   {0, 0},
                   {0, 9},
                   2,
                   {"##", "##", "..", "..", "##", "##", "..", "..", "##", "##", ".."}},
        DottedCase{"vertical_width2_ends_in_a_gap",
                   {0, 0},
                   {0, 7},
                   2,
                   {"##", "##", "..", "..", "##", "##", "..", "..", ".."}}),
    [](const testing::TestParamInfo<DottedCase>& info) { return std::string(info.param.name); });

TEST(CanvasLineTest, DottedGapsKeepWhatWasThere) {
    Canvas canvas = noiseCanvas(10, 1, 7);
    const Canvas before = canvas;
    canvas.setPen({kPen, 1, PenStyle::Dotted});
    line(canvas, 0, 0, 10, 0);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(canvas.pixel(x, 0), x % 2 == 0 ? kPen : before.pixel(x, 0)) << x;
    }
}

// ---------------------------------------------------------------------------------------------
// Rectangles and ellipses

struct ShapeCase {
    const char* name;
    int left;
    int top;
    int right;
    int bottom;
    int width;
    PenStyle style;
    Art expected; // '#' pen, 'o' brush, '.' untouched
};

Art withoutInside(Art art) {
    for (std::string& row : art) {
        std::replace(row.begin(), row.end(), 'o', '.');
    }
    return art;
}

using ShapeDraw = void (Canvas::*)(int, int, int, int);

void checkShape(const ShapeCase& c, ShapeDraw draw) {
    const int width = static_cast<int>(c.expected.front().size());
    const int height = static_cast<int>(c.expected.size());
    {
        SCOPED_TRACE("solid brush");
        Canvas canvas(width, height);
        canvas.setPen({kPen, c.width, c.style});
        canvas.setBrush({BrushStyle::Solid, kBrush});
        (canvas.*draw)(c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(toArt(canvas), c.expected);
    }
    {
        SCOPED_TRACE("hollow brush");
        Canvas canvas(width, height);
        canvas.setPen({kPen, c.width, c.style});
        canvas.setBrush({BrushStyle::Hollow, kBrush});
        (canvas.*draw)(c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(toArt(canvas), withoutInside(c.expected));
    }
}

class CanvasRectangleTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(CanvasRectangleTest, PaintsOutlineBandAndBrushInsideItsBox) {
    checkShape(GetParam(), &Canvas::rectangle);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CanvasRectangleTest,
    testing::Values(ShapeCase{"width1",
                              1,
                              1,
                              7,
                              5,
                              1,
                              PenStyle::Solid,
                              {
                                  ".........",
                                  ".######..",
                                  ".#oooo#..",
                                  ".#oooo#..",
                                  ".######..",
                                  ".........",
                              }},
                    ShapeCase{"width2_corners_swapped",
                              7,
                              6,
                              1,
                              1,
                              2,
                              PenStyle::Solid,
                              {
                                  ".........",
                                  ".######..",
                                  ".######..",
                                  ".##oo##..",
                                  ".######..",
                                  ".######..",
                                  ".........",
                              }},
                    ShapeCase{"dotted_width1",
                              0,
                              0,
                              6,
                              4,
                              1,
                              PenStyle::Dotted,
                              {
                                  "#.#.#.",
                                  ".oooo#",
                                  "#oooo.",
                                  ".#.#.#",
                              }},
                    ShapeCase{"dotted_width2",
                              0,
                              0,
                              8,
                              6,
                              2,
                              PenStyle::Dotted,
                              {
                                  "##..##..",
                                  "##..##..",
                                  "..oooo##",
                                  "..oooo##",
                                  "##..##..",
                                  "##..##..",
                              }},
                    ShapeCase{"narrower_than_two_pen_widths",
                              2,
                              1,
                              5,
                              6,
                              2,
                              PenStyle::Solid,
                              {
                                  ".......",
                                  "..###..",
                                  "..###..",
                                  "..###..",
                                  "..###..",
                                  "..###..",
                                  ".......",
                              }},
                    ShapeCase{"single_pixel",
                              1,
                              1,
                              2,
                              2,
                              2,
                              PenStyle::Solid,
                              {
                                  "...",
                                  ".#.",
                                  "...",
                              }},
                    ShapeCase{"empty_box", 3, 1, 3, 4, 1, PenStyle::Solid, blankArt(5, 5)}),
    [](const testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

class CanvasEllipseTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(CanvasEllipseTest, PaintsOutlineRingAndBrushInsideItsBox) {
    checkShape(GetParam(), &Canvas::ellipse);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CanvasEllipseTest,
    testing::Values(ShapeCase{"circle5_width1",
                              1,
                              1,
                              6,
                              6,
                              1,
                              PenStyle::Solid,
                              {
                                  ".......",
                                  "..###..",
                                  ".#ooo#.",
                                  ".#ooo#.",
                                  ".#ooo#.",
                                  "..###..",
                                  ".......",
                              }},
                    ShapeCase{"circle5_width2_corners_swapped",
                              6,
                              6,
                              1,
                              1,
                              2,
                              PenStyle::Solid,
                              {
                                  ".......",
                                  "..###..",
                                  ".#####.",
                                  ".##o##.",
                                  ".#####.",
                                  "..###..",
                                  ".......",
                              }},
                    ShapeCase{"circle4_width1",
                              1,
                              1,
                              5,
                              5,
                              1,
                              PenStyle::Solid,
                              {
                                  "......",
                                  "..##..",
                                  ".#oo#.",
                                  ".#oo#.",
                                  "..##..",
                                  "......",
                              }},
                    ShapeCase{"wide7x3_width1",
                              1,
                              1,
                              8,
                              4,
                              1,
                              PenStyle::Solid,
                              {
                                  ".........",
                                  "..#####..",
                                  ".#ooooo#.",
                                  "..#####..",
                                  ".........",
                              }},
                    ShapeCase{"circle5_dotted_width1",
                              1,
                              1,
                              6,
                              6,
                              1,
                              PenStyle::Dotted,
                              {
                                  ".......",
                                  "...#...",
                                  "..ooo..",
                                  ".#ooo#.",
                                  "..ooo..",
                                  "...#...",
                                  ".......",
                              }},
                    ShapeCase{"single_pixel",
                              1,
                              1,
                              2,
                              2,
                              1,
                              PenStyle::Solid,
                              {
                                  "...",
                                  ".#.",
                                  "...",
                              }},
                    ShapeCase{"empty_box", 2, 1, 2, 4, 1, PenStyle::Solid, blankArt(5, 5)}),
    [](const testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

// Larger ellipses, where no hand-drawn picture is practical: the shape stays in its box, is
// filled at the centre, has one run per row and is mirror-symmetric about both axes.
TEST(CanvasEllipsePropertiesTest, LargerEllipsesAreSymmetricConvexAndInsideTheirBox) {
    const std::vector<Rect> boxes = {{3, 4, 60, 50},  {10, 10, 11, 40}, {0, 0, 64, 64},
                                     {5, 20, 59, 23}, {12, 7, 52, 8},   {2, 2, 49, 47}};
    for (const Rect& box : boxes) {
        for (const int penWidth : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "box " << box.left << "," << box.top << "," << box.right << ","
                                            << box.bottom << " pen " << penWidth);
            Canvas canvas(64, 64);
            canvas.setPen({kPen, penWidth, PenStyle::Solid});
            canvas.setBrush({BrushStyle::Solid, kBrush});
            canvas.ellipse(box.left, box.top, box.right, box.bottom);

            const int centreX = (box.left + box.right) / 2;
            const int centreY = (box.top + box.bottom) / 2;
            EXPECT_NE(canvas.pixel(centreX, centreY), kBlack);
            if (box.width() > 2 * penWidth && box.height() > 2 * penWidth) {
                EXPECT_EQ(canvas.pixel(centreX, centreY), kBrush);
            }
            for (int y = 0; y < 64; ++y) {
                int runs = 0;
                for (int x = 0; x < 64; ++x) {
                    const bool painted = canvas.pixel(x, y) != kBlack;
                    const bool inBox = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
                    if (painted && !inBox) {
                        ADD_FAILURE() << "painted outside the box at " << x << "," << y;
                    }
                    if (painted && (x == 0 || canvas.pixel(x - 1, y) == kBlack)) {
                        ++runs;
                    }
                    if (inBox) {
                        const int mirrorX = box.left + box.right - 1 - x;
                        const int mirrorY = box.top + box.bottom - 1 - y;
                        EXPECT_EQ(canvas.pixel(x, y), canvas.pixel(mirrorX, y)) << x << "," << y;
                        EXPECT_EQ(canvas.pixel(x, y), canvas.pixel(x, mirrorY)) << x << "," << y;
                    }
                }
                EXPECT_LE(runs, 1) << "row " << y;
            }
        }
    }
}

// Any box, including ones crossing the edges: a pixel belongs to the ellipse when its centre
// satisfies the ellipse equation, to the inside when it also satisfies it with both radii
// shrunk by the pen width, evaluated here pixel by pixel.
TEST(CanvasEllipsePropertiesTest, EveryPixelFollowsThePixelCentreRule) {
    const auto inEllipse = [](double px, double py, double cx, double cy, double a, double b) {
        if (a <= 0.0 || b <= 0.0) {
            return false;
        }
        const double u = (px - cx) / a;
        const double v = (py - cy) / b;
        return u * u + v * v <= 1.0;
    };
    std::mt19937 random(77);
    std::uniform_int_distribution<int> coordinate(-20, 70);
    for (int round = 0; round < 300; ++round) {
        const int penWidth = 1 + round % 2;
        const int l0 = coordinate(random);
        const int t0 = coordinate(random);
        const int r0 = coordinate(random);
        const int b0 = coordinate(random);
        SCOPED_TRACE(testing::Message()
                     << "box " << l0 << "," << t0 << "," << r0 << "," << b0 << " pen " << penWidth);
        Canvas canvas(48, 40);
        canvas.setPen({kPen, penWidth, PenStyle::Solid});
        canvas.setBrush({BrushStyle::Solid, kBrush});
        canvas.ellipse(l0, t0, r0, b0);

        const double l = std::min(l0, r0);
        const double r = std::max(l0, r0);
        const double t = std::min(t0, b0);
        const double b = std::max(t0, b0);
        const double cx = (l + r) / 2.0;
        const double cy = (t + b) / 2.0;
        const double a = (r - l) / 2.0;
        const double bb = (b - t) / 2.0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const double px = x + 0.5;
                const double py = y + 0.5;
                Colour expected = kBlack;
                if (inEllipse(px, py, cx, cy, a, bb)) {
                    expected = inEllipse(px, py, cx, cy, a - penWidth, bb - penWidth) ? kBrush : kPen;
                }
                ASSERT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Not-xor: one pass toggles each covered pixel exactly once, two passes restore the picture.

enum class Shape { Line, Rectangle, Ellipse };

struct NotXorCase {
    const char* name;
    Shape shape;
    Rect coordinates; // line from left/top to right/bottom, or the box
    int width;
    PenStyle style;
    Brush brush;
};

void drawShape(Canvas& canvas, Shape shape, Rect r) {
    switch (shape) {
    case Shape::Line:
        line(canvas, r.left, r.top, r.right, r.bottom);
        break;
    case Shape::Rectangle:
        canvas.rectangle(r.left, r.top, r.right, r.bottom);
        break;
    case Shape::Ellipse:
        canvas.ellipse(r.left, r.top, r.right, r.bottom);
        break;
    }
}

class CanvasNotXorTest : public testing::TestWithParam<NotXorCase> {};

TEST_P(CanvasNotXorTest, OnePassTogglesCoveredPixelsOnceAndTwoPassesRestore) {
    const NotXorCase& c = GetParam();
    const Canvas original = noiseCanvas(40, 30, 1234);

    // Which pixel belongs to the outline and which to the inside, taken from a copy-mode
    // drawing with marker colours.
    Canvas map(40, 30, kBlack);
    map.setPen({kPen, c.width, c.style});
    map.setBrush({c.brush.style, kBrush});
    drawShape(map, c.shape, c.coordinates);
    ASSERT_FALSE(paintedPixels(map).empty());

    Canvas canvas = original;
    canvas.setRasterMode(RasterMode::NotXor);
    canvas.setPen({kPen, c.width, c.style});
    canvas.setBrush(c.brush);
    drawShape(canvas, c.shape, c.coordinates);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Colour before = original.pixel(x, y);
            Colour expected = before;
            if (map.pixel(x, y) == kPen) {
                expected = notXor(kPen, before);
            } else if (map.pixel(x, y) == kBrush) {
                expected = notXor(c.brush.colour, before);
            }
            ASSERT_EQ(canvas.pixel(x, y), expected) << "after one pass at " << x << "," << y;
        }
    }

    drawShape(canvas, c.shape, c.coordinates);
    EXPECT_EQ(canvas.image().pixels, original.image().pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CanvasNotXorTest,
    testing::Values(NotXorCase{"rectangle_width2_white_brush",
                               Shape::Rectangle,
                               {3, 4, 30, 25},
                               2,
                               PenStyle::Solid,
                               {BrushStyle::Solid, kWhite}},
                    NotXorCase{"rectangle_width2_dotted_white_brush",
                               Shape::Rectangle,
                               {3, 4, 30, 25},
                               2,
                               PenStyle::Dotted,
                               {BrushStyle::Solid, kWhite}},
                    NotXorCase{"rectangle_width2_dotted_hollow",
                               Shape::Rectangle,
                               {3, 4, 30, 25},
                               2,
                               PenStyle::Dotted,
                               {BrushStyle::Hollow, kWhite}},
                    NotXorCase{"rectangle_width1_hollow",
                               Shape::Rectangle,
                               {31, 20, 2, 1},
                               1,
                               PenStyle::Solid,
                               {BrushStyle::Hollow, kWhite}},
                    NotXorCase{"rectangle_width2_coloured_brush",
                               Shape::Rectangle,
                               {-5, -5, 20, 12},
                               2,
                               PenStyle::Solid,
                               {BrushStyle::Solid, kRed}},
                    NotXorCase{"rectangle_narrower_than_two_pens",
                               Shape::Rectangle,
                               {10, 2, 13, 28},
                               2,
                               PenStyle::Solid,
                               {BrushStyle::Solid, kWhite}},
                    NotXorCase{"ellipse_width2_dotted_white_brush",
                               Shape::Ellipse,
                               {2, 3, 37, 28},
                               2,
                               PenStyle::Dotted,
                               {BrushStyle::Solid, kWhite}},
                    NotXorCase{"ellipse_width1_hollow",
                               Shape::Ellipse,
                               {5, 1, 25, 29},
                               1,
                               PenStyle::Solid,
                               {BrushStyle::Hollow, kWhite}},
                    NotXorCase{"ellipse_width2_coloured_brush_clipped",
                               Shape::Ellipse,
                               {20, -10, 60, 20},
                               2,
                               PenStyle::Solid,
                               {BrushStyle::Solid, kRed}},
                    NotXorCase{"line_width2_shallow", Shape::Line, {1, 2, 38, 17}, 2, PenStyle::Solid, {}},
                    NotXorCase{
                        "line_width2_steep_dotted", Shape::Line, {30, 28, 21, 1}, 2, PenStyle::Dotted, {}},
                    NotXorCase{"line_width2_diagonal", Shape::Line, {0, 0, 29, 29}, 2, PenStyle::Solid, {}},
                    NotXorCase{"line_width1", Shape::Line, {39, 0, 0, 13}, 1, PenStyle::Solid, {}},
                    NotXorCase{"line_width5_steep", Shape::Line, {30, 28, 21, 1}, 5, PenStyle::Solid, {}},
                    NotXorCase{"line_width6_dotted", Shape::Line, {2, 3, 37, 20}, 6, PenStyle::Dotted, {}},
                    NotXorCase{"rectangle_width4",
                               Shape::Rectangle,
                               {3, 4, 30, 25},
                               4,
                               PenStyle::Solid,
                               {BrushStyle::Solid, kRed}},
                    NotXorCase{"ellipse_width5_dotted",
                               Shape::Ellipse,
                               {2, 3, 37, 28},
                               5,
                               PenStyle::Dotted,
                               {BrushStyle::Solid, kWhite}}),
    [](const testing::TestParamInfo<NotXorCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Clipping

// Drawing on a small canvas must give exactly the window of the same drawing on a large one,
// whichever edges the shape crosses and whatever the pen, brush and mode.
TEST(CanvasClipTest, ClippedDrawingMatchesTheWindowOfAnUnclippedOne) {
    constexpr int kOffset = 80;
    constexpr int kWindowWidth = 30;
    constexpr int kWindowHeight = 20;
    const Canvas background = noiseCanvas(200, 200, 99);
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> coordinate(-kOffset, 200 - kOffset - 1);
    std::uniform_int_distribution<int> small(0, 3);

    for (int round = 0; round < 600; ++round) {
        const Shape shape = static_cast<Shape>(round % 3);
        const Rect r{coordinate(random), coordinate(random), coordinate(random), coordinate(random)};
        const Pen pen{kPen, small(random), small(random) % 2 == 0 ? PenStyle::Solid : PenStyle::Dotted};
        const Brush brush{small(random) == 0 ? BrushStyle::Hollow : BrushStyle::Solid, kRed};
        const RasterMode mode = small(random) % 2 == 0 ? RasterMode::Copy : RasterMode::NotXor;
        SCOPED_TRACE(testing::Message() << "round " << round << " shape " << static_cast<int>(shape) << " "
                                        << r.left << "," << r.top << "," << r.right << "," << r.bottom);

        Canvas large = background;
        Canvas window(kWindowWidth, kWindowHeight);
        window.drawImage(-kOffset, -kOffset, background.image());
        for (Canvas* canvas : {&large, &window}) {
            canvas->setPen(pen);
            canvas->setBrush(brush);
            canvas->setRasterMode(mode);
        }
        drawShape(large, shape, {r.left + kOffset, r.top + kOffset, r.right + kOffset, r.bottom + kOffset});
        drawShape(window, shape, r);
        const RgbImage expected =
            large.copyRect({kOffset, kOffset, kOffset + kWindowWidth, kOffset + kWindowHeight});
        ASSERT_EQ(window.image().pixels, expected.pixels);
    }
}

// Endpoints thousands of pixels away: the visible pixels are still those of the whole line,
// worked out here as the nearest pixel to the ideal line at every step, halfway cases towards
// the start, with the pen's second pixel, the end cap of the wider pen and the dotted pattern
// counted from the start.
TEST(CanvasClipTest, FarLinesPaintTheVisiblePixelsOfTheWholeLine) {
    constexpr int kWidth = 40;
    constexpr int kHeight = 30;
    std::mt19937 random(31337);
    std::uniform_int_distribution<int> far(-6000, 6000);
    std::uniform_int_distribution<int> near(-5, 45);
    for (int round = 0; round < 400; ++round) {
        // Aim one end near the canvas so that most lines cross it.
        const Point from{far(random), far(random)};
        const Point to = round % 2 == 0 ? Point{near(random), near(random)} : Point{far(random), far(random)};
        const int penWidth = 1 + (round / 4) % 2;
        const PenStyle style = (round / 2) % 2 == 0 ? PenStyle::Solid : PenStyle::Dotted;
        SCOPED_TRACE(testing::Message() << from.x << "," << from.y << " -> " << to.x << "," << to.y << " pen "
                                        << penWidth << (style == PenStyle::Dotted ? " dotted" : ""));

        const long dx = to.x - from.x;
        const long dy = to.y - from.y;
        const bool xMajor = std::labs(dx) >= std::labs(dy);
        const long steps = std::max(std::labs(dx), std::labs(dy));
        const long minorDelta = xMajor ? std::labs(dy) : std::labs(dx);
        const long majorDir = (xMajor ? dx : dy) < 0 ? -1 : 1;
        const long minorDir = (xMajor ? dy : dx) < 0 ? -1 : 1;
        PixelSet expected;
        const long lastStep = steps == 0 ? -1 : (penWidth == 2 ? steps : steps - 1);
        for (long i = 0; i <= lastStep; ++i) {
            if (style == PenStyle::Dotted && (i / penWidth) % 2 != 0) {
                continue;
            }
            long offset = i * minorDelta / steps;
            if (2 * (i * minorDelta % steps) > steps) {
                ++offset;
            }
            const long major = (xMajor ? from.x : from.y) + majorDir * i;
            for (long extra = 0; extra < penWidth; ++extra) {
                const long minor = (xMajor ? from.y : from.x) + minorDir * offset + extra;
                const long x = xMajor ? major : minor;
                const long y = xMajor ? minor : major;
                if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) {
                    expected.insert({static_cast<int>(x), static_cast<int>(y)});
                }
            }
        }

        Canvas canvas(kWidth, kHeight);
        canvas.setPen({kPen, penWidth, style});
        line(canvas, from.x, from.y, to.x, to.y);
        ASSERT_EQ(paintedPixels(canvas), expected);
    }
}

// Shapes lying wholly beyond one edge, with coordinates anywhere in the int range.
TEST(CanvasClipTest, ShapesWhollyOutsideLeaveEveryPixelAsItWas) {
    constexpr int kWidth = 16;
    constexpr int kHeight = 12;
    const Canvas original = noiseCanvas(kWidth, kHeight, 5);
    std::mt19937 random(8);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    // Ranges beyond each edge; a width-2 line reaches one pixel right of or below its path.
    const std::pair<int, int> beforeStart{INT_MIN, -2};
    const std::pair<int, int> pastWidth{kWidth, INT_MAX};
    const std::pair<int, int> pastHeight{kHeight, INT_MAX};
    const auto pick = [&](std::pair<int, int> range) {
        return std::uniform_int_distribution<int>(range.first, range.second)(random);
    };
    for (int round = 0; round < 2000; ++round) {
        const int side = round % 4;
        Rect r{any(random), any(random), any(random), any(random)};
        switch (side) {
        case 0: // left
            r.left = pick(beforeStart);
            r.right = pick(beforeStart);
            break;
        case 1: // top
            r.top = pick(beforeStart);
            r.bottom = pick(beforeStart);
            break;
        case 2: // right
            r.left = pick(pastWidth);
            r.right = pick(pastWidth);
            break;
        default: // bottom
            r.top = pick(pastHeight);
            r.bottom = pick(pastHeight);
            break;
        }
        const Shape shape = static_cast<Shape>((round / 4) % 3);
        SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(shape) << " " << r.left << ","
                                        << r.top << "," << r.right << "," << r.bottom);
        Canvas canvas = original;
        canvas.setPen({kPen, 2, PenStyle::Solid});
        canvas.setBrush({BrushStyle::Solid, kBrush});
        drawShape(canvas, shape, r);
        ASSERT_EQ(canvas.image().pixels, original.image().pixels);
    }
}

struct ExtremeCase {
    const char* name;
    std::function<void(Canvas&)> draw;
    Art expected;
};

class CanvasExtremeCoordinatesTest : public testing::TestWithParam<ExtremeCase> {};

TEST_P(CanvasExtremeCoordinatesTest, DrawsOnlyTheVisiblePart) {
    const ExtremeCase& c = GetParam();
    Canvas canvas(static_cast<int>(c.expected.front().size()), static_cast<int>(c.expected.size()));
    canvas.setPen({kPen, 1, PenStyle::Solid});
    canvas.setBrush({BrushStyle::Solid, kBrush});
    c.draw(canvas);
    EXPECT_EQ(toArt(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CanvasExtremeCoordinatesTest,
    testing::Values(
        ExtremeCase{"line_along_the_int_diagonal",
                    [](Canvas& c) { line(c, INT_MIN, INT_MIN, INT_MAX, INT_MAX); },
                    {"#.......", ".#......", "..#.....", "...#....", "....#...", ".....#.."}},
        ExtremeCase{"horizontal_line_across_all_ints",
                    [](Canvas& c) { line(c, INT_MIN, 2, INT_MAX, 2); },
                    {"........", "........", "########", "........"}},
        ExtremeCase{"vertical_line_upwards_across_all_ints",
                    [](Canvas& c) { line(c, 3, INT_MAX, 3, INT_MIN); },
                    {"...#....", "...#....", "...#....", "...#...."}},
        // Ideal y at x = 0 is exactly 2.5 (halfway, so 2), just above 2.5 from x = 1 on.
        ExtremeCase{"far_shallow_line_keeps_its_exact_pixels",
                    [](Canvas& c) { line(c, -2'000'000'000, 0, 2'000'000'000, 5); },
                    {"........", "........", "#.......", ".#######", "........"}},
        ExtremeCase{"line_missing_the_canvas",
                    [](Canvas& c) { line(c, INT_MIN, INT_MAX, INT_MAX, INT_MAX - 3); }, blankArt(8, 4)},
        ExtremeCase{"lines_just_outside_each_edge",
                    [](Canvas& c) {
                        line(c, -1, -5, -1, 10);
                        line(c, 8, -5, 8, 10);
                        line(c, -5, -1, 12, -1);
                        line(c, -5, 4, 12, 4);
                    },
                    blankArt(8, 4)},
        ExtremeCase{"width2_line_just_above_reaches_in",
                    [](Canvas& c) {
                        c.setPen({kPen, 2, PenStyle::Solid});
                        line(c, -5, -1, 12, -1);
                    },
                    {"########", "........", "........", "........"}},
        ExtremeCase{"rectangle_over_all_ints",
                    [](Canvas& c) { c.rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX); },
                    {"oooooooo", "oooooooo", "oooooooo"}},
        ExtremeCase{"rectangle_over_all_ints_swapped",
                    [](Canvas& c) { c.rectangle(INT_MAX, INT_MAX, INT_MIN, INT_MIN); },
                    {"oooooooo", "oooooooo", "oooooooo"}},
        ExtremeCase{"rectangle_with_visible_top_right_corner",
                    [](Canvas& c) { c.rectangle(INT_MIN, 2, 5, INT_MAX); },
                    {"........", "........", "#####...", "oooo#...", "oooo#...", "oooo#..."}},
        ExtremeCase{"rectangle_with_visible_bottom_left_corner",
                    [](Canvas& c) { c.rectangle(2, -100, INT_MAX, 3); },
                    {"..#ooooo", "..#ooooo", "..######", "........"}},
        ExtremeCase{"ellipse_over_all_ints",
                    [](Canvas& c) { c.ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX); },
                    {"oooooooo", "oooooooo", "oooooooo"}},
        // A billion wide and ten high: only the middle of a very flat band shows.
        ExtremeCase{"very_flat_ellipse",
                    [](Canvas& c) { c.ellipse(-1'000'000'000, 0, 1'000'000'000, 10); },
                    {"########", "oooooooo", "oooooooo", "oooooooo", "oooooooo", "oooooooo", "oooooooo",
                     "oooooooo", "oooooooo", "########", "........", "........"}},
        ExtremeCase{"shapes_beyond_the_far_corner",
                    [](Canvas& c) {
                        c.rectangle(8, 3, INT_MAX, INT_MAX);
                        c.ellipse(INT_MIN, INT_MIN, 0, 0);
                        c.rectangle(-10, -10, 0, 100);
                    },
                    blankArt(8, 3)},
        ExtremeCase{
            "set_pixel_outside",
            [](Canvas& c) {
                for (const auto& [x, y] : std::vector<std::pair<int, int>>{
                         {-1, 0}, {0, -1}, {8, 0}, {0, 3}, {INT_MIN, 0}, {0, INT_MAX}, {INT_MAX, INT_MIN}}) {
                    c.setPixel(x, y, kPen);
                }
            },
            blankArt(8, 3)},
        ExtremeCase{"fill_rect_over_all_ints",
                    [](Canvas& c) {
                        c.fillRect({INT_MIN, 1, INT_MAX, INT_MAX}, kBrush);
                    },
                    {"........", "oooooooo", "oooooooo"}},
        ExtremeCase{"fill_rect_inverted_is_empty",
                    [](Canvas& c) {
                        c.fillRect({6, 2, 1, 0}, kBrush);
                    },
                    blankArt(8, 3)}),
    [](const testing::TestParamInfo<ExtremeCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Pictures

const Art kSource = {"ABC", "DEF"};

struct DrawImageCase {
    const char* name;
    Point at;
    Art expected;
};

class CanvasDrawImageTest : public testing::TestWithParam<DrawImageCase> {};

TEST_P(CanvasDrawImageTest, CopiesUnscaledAndClipped) {
    const DrawImageCase& c = GetParam();
    Canvas canvas(5, 4);
    canvas.setRasterMode(RasterMode::NotXor); // pictures ignore the raster mode
    canvas.drawImage(c.at.x, c.at.y, fromArt(kSource));
    EXPECT_EQ(toArt(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, CanvasDrawImageTest,
    testing::Values(DrawImageCase{"inside", {1, 1}, {".....", ".ABC.", ".DEF.", "....."}},
                    DrawImageCase{"over_top_left", {-1, -1}, {"EF...", ".....", ".....", "....."}},
                    DrawImageCase{"over_bottom_right", {3, 3}, {".....", ".....", ".....", "...AB"}},
                    DrawImageCase{"right_of_canvas", {5, 0}, blankArt(5, 4)},
                    DrawImageCase{"far_away", {INT_MIN, INT_MAX}, blankArt(5, 4)},
                    DrawImageCase{"int_max_corner", {INT_MAX, INT_MAX}, blankArt(5, 4)}),
    [](const testing::TestParamInfo<DrawImageCase>& info) { return std::string(info.param.name); });

TEST(CanvasPictureTest, DrawingItsOwnPictureShiftedReadsTheOriginalPixels) {
    Canvas canvas(3, 3);
    canvas.drawImage(0, 0, fromArt({"ABC", "DEF", "FED"}));
    canvas.drawImage(1, 1, canvas.image());
    EXPECT_EQ(toArt(canvas), (Art{"ABC", "DAB", "FDE"}));
}

TEST(CanvasPictureTest, CopyRectFillsOutsideWithBlack) {
    Canvas canvas(4, 2);
    canvas.drawImage(1, 0, fromArt(kSource));
    const struct {
        Rect from;
        Art expected;
    } cases[] = {
        {{1, 0, 4, 2}, {"ABC", "DEF"}},
        {{-1, -1, 3, 2}, {"....", "..AB", "..DE"}},
        {{3, 1, 6, 3}, {"F..", "..."}},
        {{10, 10, 12, 11}, {".."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.left << "," << c.from.top);
        Canvas copy(c.from.width(), c.from.height());
        copy.drawImage(0, 0, canvas.copyRect(c.from));
        EXPECT_EQ(canvas.copyRect(c.from).width, c.from.width());
        EXPECT_EQ(canvas.copyRect(c.from).height, c.from.height());
        EXPECT_EQ(toArt(copy), c.expected);
    }
    EXPECT_TRUE(canvas.copyRect({3, 1, 1, 0}).empty());
}

struct StretchCase {
    const char* name;
    Art source;
    Rect target;
    Art expected;
};

class CanvasStretchTest : public testing::TestWithParam<StretchCase> {};

TEST_P(CanvasStretchTest, SamplesTheNearestSourcePixel) {
    const StretchCase& c = GetParam();
    Canvas canvas(static_cast<int>(c.expected.front().size()), static_cast<int>(c.expected.size()));
    canvas.stretchImage(c.target, fromArt(c.source));
    EXPECT_EQ(toArt(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CanvasStretchTest,
    testing::Values(
        StretchCase{"double", {"AB", "CD"}, {0, 0, 4, 4}, {"AABB", "AABB", "CCDD", "CCDD"}},
        StretchCase{"same_size", {"AB", "CD"}, {1, 1, 3, 3}, {"....", ".AB.", ".CD.", "...."}},
        StretchCase{"halve_samples_centres", {"ABCD"}, {0, 0, 2, 1}, {"BD"}},
        StretchCase{"three_into_two", {"ABC"}, {0, 0, 2, 1}, {"AC"}},
        StretchCase{"clipped_at_top_left", {"AB", "CD"}, {-1, -1, 3, 3}, {"ABB.", "CDD.", "CDD.", "...."}},
        StretchCase{"inverted_target", {"AB", "CD"}, {3, 3, 0, 0}, blankArt(4, 4)},
        StretchCase{"across_all_ints", {"AB"}, {INT_MIN, 0, INT_MAX, 1}, {"BBBB", "...."}}),
    [](const testing::TestParamInfo<StretchCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Surface bookkeeping

TEST(CanvasSurfaceTest, ResizeRefillsAndPixelOutsideIsBlack) {
    Canvas canvas(3, 2, kRed);
    canvas.setPixel(1, 1, kYellow);
    canvas.resize(4, 5, kWhite);
    EXPECT_EQ(canvas.width(), 4);
    EXPECT_EQ(canvas.height(), 5);
    EXPECT_EQ(paintedPixels(canvas, kWhite), PixelSet{});
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{-1, 0}, {4, 0}, {0, 5}, {INT_MIN, INT_MAX}}) {
        EXPECT_EQ(canvas.pixel(x, y), kBlack) << x << "," << y;
    }
    canvas.resize(-3, 2);
    EXPECT_EQ(canvas.width(), 0);
    canvas.setPixel(0, 0, kRed);
    canvas.rectangle(-1, -1, 5, 5);
    canvas.moveTo(0, 0);
    canvas.lineTo(3, 3);
    EXPECT_TRUE(canvas.image().pixels.empty());
}

TEST(CanvasSurfaceTest, FillAndSetPixelIgnorePenBrushAndMode) {
    Canvas canvas(3, 2);
    canvas.setRasterMode(RasterMode::NotXor);
    canvas.setPen({kRed, 2, PenStyle::Dotted});
    canvas.setBrush({BrushStyle::Hollow, kRed});
    canvas.fill(kPen);
    canvas.fillRect({1, 0, 3, 1}, kBrush);
    canvas.setPixel(0, 1, kWhite);
    canvas.setPixel(0, 1, kBrush);
    EXPECT_EQ(toArt(canvas), (Art{"#oo", "o##"}));
}

TEST(CanvasSurfaceTest, GenerationGrowsOncePerChangingCall) {
    const RgbImage picture = fromArt(kSource);
    const struct {
        const char* name;
        std::function<void(Canvas&)> call;
        int growth;
    } cases[] = {
        {"set_pixel", [](Canvas& c) { c.setPixel(1, 1, kRed); }, 1},
        {"set_pixel_clipped", [](Canvas& c) { c.setPixel(-1, 1, kRed); }, 1},
        {"fill", [](Canvas& c) { c.fill(kRed); }, 1},
        {"fill_rect",
         [](Canvas& c) {
             c.fillRect({0, 0, 5, 5}, kRed);
         },
         1},
        {"long_line", [](Canvas& c) { c.lineTo(9, 7); }, 1},
        {"rectangle", [](Canvas& c) { c.rectangle(0, 0, 8, 8); }, 1},
        {"ellipse", [](Canvas& c) { c.ellipse(0, 0, 8, 8); }, 1},
        {"draw_image", [&](Canvas& c) { c.drawImage(1, 1, picture); }, 1},
        {"draw_own_image", [](Canvas& c) { c.drawImage(1, 1, c.image()); }, 1},
        {"stretch_image",
         [&](Canvas& c) {
             c.stretchImage({0, 0, 10, 10}, picture);
         },
         1},
        {"stretch_own_image",
         [](Canvas& c) {
             c.stretchImage({0, 0, 5, 5}, c.image());
         },
         1},
        {"resize", [](Canvas& c) { c.resize(4, 4); }, 1},
        {"move_to", [](Canvas& c) { c.moveTo(3, 3); }, 0},
        {"pen_brush_mode",
         [](Canvas& c) {
             c.setPen({});
             c.setBrush({});
             c.setRasterMode(RasterMode::NotXor);
         },
         0},
        {"reads",
         [](Canvas& c) {
             (void)c.pixel(1, 1);
             (void)c.copyRect({0, 0, 3, 3});
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(10, 10);
        const std::uint64_t before = canvas.generation();
        c.call(canvas);
        EXPECT_EQ(canvas.generation(), before + static_cast<std::uint64_t>(c.growth));
    }
}

} // namespace
} // namespace common
