#include "formula_walk.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_services.h"

namespace lsystem {
namespace {

using common::Colour;
using common::kRed;
using common::kWhite;
using common::Point;
using testing_support::FakeServices;
using Limits = std::numeric_limits<std::int32_t>;

constexpr Colour kPen{0x12, 0x34, 0x56};
constexpr int kArea = 493;
constexpr const char* kStackFull = "Rekursiver Stack voll - Abbruch";

struct Segment {
    Point from;
    Point to;
    friend bool operator==(const Segment&, const Segment&) = default;
};

void PrintTo(const Segment& s, std::ostream* os) {
    *os << "(" << s.from.x << "," << s.from.y << ")->(" << s.to.x << "," << s.to.y << ")";
}

using Segments = std::vector<Segment>;

WalkSettings makeSettings(std::string formula, std::int32_t iterations, std::int32_t length, double degrees,
                          StartDirection direction = StartDirection::Horizontal) {
    WalkSettings s;
    s.Formula = std::move(formula);
    s.iterations = iterations;
    s.startLength = length;
    s.rightDegrees = degrees;
    s.leftDegrees = degrees;
    s.direction = direction;
    s.PenColour = kPen;
    return s;
}

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        turtle.Factor = 1.0;
        walk.setSegmentObserver([this](Point from, Point to) { segments.push_back({from, to}); });
    }

    [[nodiscard]] int countPixels(Colour c) const {
        int n = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                n += canvas.pixel(x, y) == c ? 1 : 0;
            }
        }
        return n;
    }

    Turtle turtle;
    common::Canvas canvas{kArea, kArea, kWhite};
    FakeServices fake;
    FormulaWalk walk{turtle, canvas, fake};
    Segments segments;
};

// --- what is drawn

TEST_F(WalkTest, TriangleDrawsItsThreeSidesAndPaintsThem) {
    walk.StartDrawing(makeSettings("F-F-F", 1, 100, 120.0));
    EXPECT_EQ(segments, (Segments{{{0, 246}, {100, 246}}, {{100, 246}, {50, 159}}, {{50, 159}, {0, 246}}}));
    EXPECT_EQ(walk.segmentsDrawn(), 3u);
    EXPECT_EQ(turtle.state.PosX, 0);
    EXPECT_EQ(turtle.state.PosY, 246);
    // A pixel along each side, the corners, and nothing but pen and background anywhere.
    for (const Point p : {Point{0, 246}, Point{50, 246}, Point{99, 246}, Point{100, 246}, Point{75, 203},
                          Point{50, 159}, Point{25, 203}}) {
        EXPECT_EQ(canvas.pixel(p.x, p.y), kPen) << p.x << "," << p.y;
    }
    EXPECT_EQ(canvas.pixel(101, 246), kWhite);
    // 100 + 87 + 87 pixels: every side leaves out its end point, which the next side starts on.
    EXPECT_EQ(countPixels(kPen), 274);
    EXPECT_EQ(countPixels(kPen) + countPixels(kWhite), kArea * kArea);
}

struct FigureRow {
    std::string name;
    std::string formula;
    std::int32_t iterations;
    std::int32_t length;
    double degrees;
    double factor;
    StartDirection direction;
    Point start;
    Segments expected;
};

class FigureTest : public WalkTest, public ::testing::WithParamInterface<FigureRow> {};

TEST_P(FigureTest, DrawsExactlyTheseSegments) {
    const FigureRow& row = GetParam();
    turtle.Factor = row.factor;
    WalkSettings s = makeSettings(row.formula, row.iterations, row.length, row.degrees, row.direction);
    s.StartX = row.start.x;
    s.StartY = row.start.y;
    walk.StartDrawing(s);
    EXPECT_EQ(segments, row.expected);
    EXPECT_EQ(walk.segmentsDrawn(), row.expected.size());
    EXPECT_TRUE(fake.messages.empty());
}

constexpr auto Hz = StartDirection::Horizontal;
constexpr auto Vt = StartDirection::Vertical;

INSTANTIATE_TEST_SUITE_P(
    Rows, FigureTest,
    ::testing::Values(
        // The step is the start length times the iterations, and one F at the top stands for a
        // single F at the bottom.
        FigureRow{"SingleFThreeIterations", "F", 3, 10, 90.0, 1.0, Hz, {}, {{{0, 246}, {30, 246}}}},
        FigureRow{
            "FFTwoIterationsInALine",
            "FF",
            2,
            10,
            90.0,
            1.0,
            Hz,
            {},
            {{{0, 246}, {20, 246}}, {{20, 246}, {40, 246}}, {{40, 246}, {60, 246}}, {{60, 246}, {80, 246}}}},
        FigureRow{
            "OtherLettersDoNothing",
            "FXF",
            2,
            10,
            90.0,
            1.0,
            Hz,
            {},
            {{{0, 246}, {20, 246}}, {{20, 246}, {40, 246}}, {{40, 246}, {60, 246}}, {{60, 246}, {80, 246}}}},
        FigureRow{"LowerCaseFIsNoSegment", "fF", 1, 10, 90.0, 1.0, Hz, {}, {{{0, 246}, {10, 246}}}},
        FigureRow{"VerticalGoesUp",
                  "F+F",
                  1,
                  20,
                  90.0,
                  1.0,
                  Vt,
                  {},
                  {{{246, 493}, {246, 473}}, {{246, 473}, {266, 473}}}},
        FigureRow{"StartPoint", "F", 1, 20, 90.0, 1.0, Vt, {100, 300}, {{{100, 300}, {100, 280}}}},
        FigureRow{"BranchShortenedAndReturned",
                  "F(+F)F",
                  1,
                  20,
                  90.0,
                  0.5,
                  Vt,
                  {100, 300},
                  {{{100, 300}, {100, 280}}, {{100, 280}, {110, 280}}, {{100, 280}, {100, 260}}}},
        FigureRow{"ZeroIterationsOneEmptySegment", "F-F", 0, 10, 90.0, 1.0, Hz, {}, {{{0, 246}, {0, 246}}}},
        FigureRow{"NoFNoSegment", "+-()+", 3, 10, 90.0, 1.0, Hz, {}, {}},
        FigureRow{"EmptyFormula", "", 3, 10, 90.0, 1.0, Hz, {}, {}},
        // A leading ")" restores slot 0, which a new turtle holds as all zeros.
        FigureRow{"LeadingCloseBracketGoesToTheOrigin", ")F", 1, 10, 90.0, 1.0, Hz, {}, {{{0, 0}, {0, 0}}}}),
    [](const ::testing::TestParamInfo<FigureRow>& info) { return info.param.name; });

TEST_F(WalkTest, LeadingCloseBracketLeavesAZeroStep) {
    walk.StartDrawing(makeSettings(")F+F", 1, 10, 90.0));
    EXPECT_EQ(turtle.state, TurtleState{});
    EXPECT_EQ(turtle.StackTop, -1);
    EXPECT_EQ(countPixels(kPen), 0);
}

// --- rounding the step to pixels

struct StepRow {
    std::string name;
    TurtleState before;
    Point expectedEnd;
    int paintedPixels;
};

class StepTest : public WalkTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(StepTest, RoundsHalfToEvenAndSaturates) {
    const StepRow& row = GetParam();
    turtle.state = row.before;
    walk.Interpret(0);
    EXPECT_EQ(turtle.state.PosX, row.expectedEnd.x);
    EXPECT_EQ(turtle.state.PosY, row.expectedEnd.y);
    // The step itself is never rounded (compared bit for bit, NaN included).
    EXPECT_EQ(std::bit_cast<std::uint64_t>(turtle.state.StepX),
              std::bit_cast<std::uint64_t>(row.before.StepX));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0], (Segment{{row.before.PosX, row.before.PosY}, row.expectedEnd}));
    EXPECT_EQ(countPixels(common::kBlack), row.paintedPixels); // the default pen
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Rows, StepTest,
    ::testing::Values(
        StepRow{"HalfRoundsToZero", {10, 10, 0.5, 0.0}, {10, 10}, 0},
        StepRow{"OneAndAHalfRoundsToTwo", {10, 10, 1.5, 0.0}, {12, 10}, 2},
        StepRow{"TwoAndAHalfRoundsToTwo", {10, 10, 2.5, 0.0}, {12, 10}, 2},
        StepRow{"NegativeHalfRoundsToZero", {10, 10, 0.0, -0.5}, {10, 10}, 0},
        StepRow{"NegativeOneAndAHalfRoundsToMinusTwo", {10, 10, 0.0, -1.5}, {10, 8}, 2},
        StepRow{"JustBelowHalf", {10, 10, 0.49999999999999994, 0.0}, {10, 10}, 0},
        StepRow{"JustAboveHalf", {10, 10, 0.5000000000000001, 0.0}, {11, 10}, 1},
        StepRow{"NaNStepStays", {10, 10, kNaN, kNaN}, {10, 10}, 0},
        StepRow{"HugeStepSaturates", {10, 10, 1e300, -kInf}, {Limits::max(), Limits::min() + 10}, 11},
        StepRow{"PositionSaturatesAtTheTop", {Limits::max() - 5, 0, 100.0, 0.0}, {Limits::max(), 0}, 0},
        StepRow{"PositionSaturatesAtTheBottom",
                {Limits::min() + 5, Limits::min() + 1, -100.0, -3.0e9},
                {Limits::min(), Limits::min()},
                0}),
    [](const ::testing::TestParamInfo<StepRow>& info) { return info.param.name; });

// --- nodes

TEST_F(WalkTest, NodeRadiusPutsRedDiscsAtEverySegmentEnd) {
    WalkSettings s = makeSettings("F-F-F", 1, 100, 120.0);
    s.NodeRadius = 4;
    walk.StartDrawing(s);
    // Beside each end point, where no line passes; the disc covers [x - 4, x + 4).
    for (const Point p : {Point{103, 246}, Point{100, 249}, Point{96, 246}, Point{50, 156}, Point{53, 159},
                          Point{0, 246}, Point{0, 249}, Point{3, 247}}) {
        EXPECT_EQ(canvas.pixel(p.x, p.y), kRed) << p.x << "," << p.y;
    }
    EXPECT_EQ(canvas.pixel(104, 246), kWhite);
    EXPECT_EQ(canvas.pixel(100, 251), kWhite);
    EXPECT_EQ(canvas.pixel(95, 246), kPen);
    // The next side starts on the disc in the pen colour.
    EXPECT_EQ(canvas.pixel(100, 246), kPen);
    const int red = countPixels(kRed);
    EXPECT_GT(red, 3 * 30);
    EXPECT_LT(red, 3 * 64);
    EXPECT_EQ(canvas.pen().colour, kPen);
    EXPECT_EQ(canvas.brush().style, common::BrushStyle::Hollow);
}

TEST_F(WalkTest, NodeDiscsOnlyAtSegmentEnds) {
    WalkSettings s = makeSettings("F", 1, 100, 90.0);
    s.NodeRadius = 4;
    walk.StartDrawing(s);
    EXPECT_EQ(canvas.pixel(1, 249), kWhite); // around the start
    EXPECT_EQ(canvas.pixel(101, 249), kRed);
}

TEST_F(WalkTest, NodeRadiusZeroOrNegativeDrawsNoDisc) {
    for (const std::int32_t radius : {0, -4}) {
        WalkSettings s = makeSettings("F-F-F", 1, 100, 120.0);
        s.NodeRadius = radius;
        walk.StartDrawing(s);
        EXPECT_EQ(countPixels(kRed), 0) << radius;
        EXPECT_EQ(walk.segmentsDrawn(), 3u);
    }
}

TEST_F(WalkTest, HugeNodeRadiusNearTheIntLimitsStaysInRange) {
    WalkSettings s = makeSettings("F", 1, 1, 90.0);
    s.NodeRadius = Limits::max();
    s.StartX = Limits::max() - 1;
    s.StartY = 5;
    walk.StartDrawing(s);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].to, (Point{Limits::max(), 5}));
    // The clamped box reaches from far left to the int limit: it covers the whole picture.
    EXPECT_EQ(canvas.pixel(0, 0), kRed);
    EXPECT_EQ(canvas.pixel(kArea - 1, kArea - 1), kRed);
}

// --- pause, waits and stopping

TEST_F(WalkTest, PauseModeShowsOneBoxPerSegmentAtItsPlace) {
    WalkSettings s = makeSettings("F-F-F", 1, 100, 120.0);
    s.PauseMode = true;
    s.pauseBoxAt = {321, 123};
    std::vector<std::uint64_t> drawnAtBox;
    fake.onMessage = [&](const common::MessageBoxRequest&) {
        drawnAtBox.push_back(walk.segmentsDrawn());
    };
    walk.StartDrawing(s);
    ASSERT_EQ(fake.messages.size(), 3u);
    for (const common::MessageBoxRequest& box : fake.messages) {
        EXPECT_EQ(box.text, "Weiter");
        EXPECT_EQ(box.caption, "");
        EXPECT_EQ(box.icon, common::MessageIcon::None);
        ASSERT_TRUE(box.position.has_value());
        EXPECT_EQ(*box.position, (Point{321, 123}));
    }
    EXPECT_EQ(drawnAtBox, (std::vector<std::uint64_t>{1, 2, 3}));
}

TEST_F(WalkTest, EscapeInPauseModeEndsAfterThatBox) {
    WalkSettings s = makeSettings("F-F-F", 1, 100, 120.0);
    s.PauseMode = true;
    fake.escapeAtPolls = {1}; // no wait: the pause is the first poll
    walk.StartDrawing(s);
    EXPECT_EQ(segments.size(), 1u);
    EXPECT_EQ(fake.messageTexts(), (std::vector<std::string>{"Weiter"}));
}

TEST_F(WalkTest, WaitsOnceForEveryLevelOfEveryF) {
    WalkSettings s = makeSettings("F", 3, 10, 90.0);
    s.WaitMs = 5;
    walk.StartDrawing(s);
    EXPECT_EQ(fake.sleeps, (std::vector<int>{5, 5, 5, 5}));
    EXPECT_EQ(fake.pumps, 4);
    EXPECT_EQ(fake.escapePolls, 4);
    EXPECT_EQ(segments, (Segments{{{0, 246}, {30, 246}}}));
}

TEST_F(WalkTest, BusyCursorOnlyWhileDrawing) {
    WalkSettings s = makeSettings("FF", 1, 10, 90.0);
    s.WaitMs = 1;
    std::vector<bool> busyInPump;
    std::vector<bool> runningInPump;
    fake.onPump = [&] {
        busyInPump.push_back(fake.busy);
        runningInPump.push_back(walk.running());
    };
    walk.StartDrawing(s);
    EXPECT_EQ(busyInPump, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(runningInPump, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(fake.busy);
    EXPECT_FALSE(walk.running());
}

TEST_F(WalkTest, EscapeWithAWaitStopsButLaterSymbolsStillTurn) {
    WalkSettings s = makeSettings("F+F+", 1, 100, 90.0);
    s.WaitMs = 5;
    fake.escapeAtPolls = {2}; // in the first F's wait
    walk.StartDrawing(s);
    EXPECT_TRUE(segments.empty());
    EXPECT_EQ(turtle.state.PosX, 0);
    EXPECT_EQ(turtle.state.PosY, 246);
    // Both turns acted: the step points back to the left.
    EXPECT_NEAR(turtle.state.StepX, -100.0, 1e-9);
    EXPECT_NEAR(turtle.state.StepY, 0.0, 1e-9);
    // The stopped walk does not wait for the second F.
    EXPECT_EQ(fake.sleeps.size(), 2u);
    EXPECT_FALSE(turtle.StopFlag);
    EXPECT_FALSE(walk.running());

    // Nothing of the stop is left over for the next drawing.
    walk.StartDrawing(s);
    EXPECT_EQ(segments, (Segments{{{0, 246}, {100, 246}}, {{100, 246}, {100, 346}}}));
}

struct WaitRow {
    std::string name;
    std::int32_t ms;
    std::uint32_t clockAdvance; // since the last pump
    bool escape;
    long expectedPolls;
    std::vector<int> expectedSleeps;
};

class WaitStepTest : public WalkTest, public ::testing::WithParamInterface<WaitRow> {};

TEST_P(WaitStepTest, PollsSleepsAndPumps) {
    const WaitRow& row = GetParam();
    fake.escapeHeld = row.escape;
    fake.advance(row.clockAdvance);
    walk.WaitStep(row.ms);
    EXPECT_EQ(fake.escapePolls, row.expectedPolls);
    EXPECT_EQ(fake.pumps, row.expectedPolls);
    EXPECT_EQ(fake.sleeps, row.expectedSleeps);
    EXPECT_EQ(turtle.StopFlag, row.escape && row.expectedPolls > 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, WaitStepTest,
                         ::testing::Values(WaitRow{"NoWaitBeforeTheInterval", 0, 14, true, 0, {}},
                                           WaitRow{"NoWaitAtTheInterval", 0, 15, false, 1, {}},
                                           WaitRow{"NoWaitEscapeAtTheInterval", 0, 15, true, 1, {}},
                                           WaitRow{"NegativeWaitIsNoWait", -5, 3, true, 0, {}},
                                           WaitRow{"WaitSleepsAtOnce", 7, 0, false, 1, {7}},
                                           WaitRow{"WaitWithEscapeStillSleeps", 7, 0, true, 1, {7}}),
                         [](const ::testing::TestParamInfo<WaitRow>& info) { return info.param.name; });

struct PumpRow {
    std::string name;
    std::uint32_t clockAtStart;
    bool escapeHeld;
    std::uint64_t expectedSegments;
    long expectedPolls;
};

class PumpTest : public WalkTest, public ::testing::WithParamInterface<PumpRow> {};

// Without a wait the walk looks at the clock on every step and polls and pumps only when
// kPumpIntervalMs have passed; here every segment takes one millisecond.
TEST_P(PumpTest, NoWaitPollsEveryFifteenMilliseconds) {
    const PumpRow& row = GetParam();
    fake.now = row.clockAtStart;
    fake.escapeHeld = row.escapeHeld;
    walk.setSegmentObserver([this](Point, Point) { fake.advance(1); });
    walk.StartDrawing(makeSettings(std::string(100, 'F'), 1, 1, 90.0));
    EXPECT_EQ(walk.segmentsDrawn(), row.expectedSegments);
    EXPECT_EQ(fake.escapePolls, row.expectedPolls);
    EXPECT_EQ(fake.pumps, row.expectedPolls);
    EXPECT_TRUE(fake.sleeps.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, PumpTest,
                         ::testing::Values(
                             // Polls with the clock at 15, 30, ... 90.
                             PumpRow{"WithoutEscape", 0, false, 100, 6},
                             // The sixteenth step sees 15 ms gone, polls and stops before drawing.
                             PumpRow{"EscapeStopsAfterFifteenMilliseconds", 0, true, 15, 1},
                             PumpRow{"ClockWrapsRound", 0xFFFFFFF6u, false, 100, 6},
                             PumpRow{"ClockWrapsRoundEscape", 0xFFFFFFF6u, true, 15, 1}),
                         [](const ::testing::TestParamInfo<PumpRow>& info) { return info.param.name; });

// Counts the clock readings, which cost more than a step on a real system.
class ClockCountingServices : public FakeServices {
public:
    std::uint32_t tickCountMs() override {
        ++reads;
        return FakeServices::tickCountMs();
    }
    long reads = 0;
};

TEST(WalkClock, QuickStepsReadTheClockRarely) {
    Turtle turtle;
    common::Canvas canvas(100, 100);
    ClockCountingServices fake;
    FormulaWalk walk(turtle, canvas, fake);
    walk.StartDrawing(makeSettings(std::string(10000, 'F'), 1, 1, 90.0));
    EXPECT_EQ(walk.segmentsDrawn(), 10000u);
    // Every 1, 2, 4, ... 64 steps while the clock stands still.
    EXPECT_LE(fake.reads, 10000 / kMaxStepsPerClockRead + 10);
    EXPECT_GE(fake.reads, 10000 / kMaxStepsPerClockRead);
    EXPECT_EQ(fake.pumps, 0);
}

// After a long run of quick steps the readings are far apart; once steps take a millisecond
// each the walk must still stop soon after the interval, not a whole stride later.
TEST(WalkClock, SlowStepsAfterQuickOnesStillStopInTime) {
    Turtle turtle;
    common::Canvas canvas(100, 100);
    FakeServices fake;
    FormulaWalk walk(turtle, canvas, fake);
    constexpr std::uint64_t kQuick = 1000;
    fake.escapeHeld = true;
    walk.setSegmentObserver([&](Point, Point) {
        if (walk.segmentsDrawn() >= kQuick) {
            fake.advance(1);
        }
    });
    walk.StartDrawing(makeSettings(std::string(2000, 'F'), 1, 1, 90.0));
    // The clock starts at segment 1001 and reaches 15 ms at segment 1015; a stride that stayed
    // at its widest would stop up to 63 segments (milliseconds) later.
    EXPECT_GE(walk.segmentsDrawn(), kQuick + 15);
    EXPECT_LE(walk.segmentsDrawn(), kQuick + 15 + 8);
    EXPECT_EQ(fake.escapePolls, 1);
}

TEST_F(WalkTest, StopFromInsideEndsTheDrawing) {
    walk.setSegmentObserver([this](Point from, Point to) {
        segments.push_back({from, to});
        if (segments.size() == 2) {
            walk.stop();
        }
    });
    walk.StartDrawing(makeSettings("FFFFF", 1, 10, 90.0));
    EXPECT_EQ(segments.size(), 2u);
    EXPECT_FALSE(walk.running());
}

TEST_F(WalkTest, StartDrawingFromInsideARunningDrawingIsIgnored) {
    WalkSettings s = makeSettings("FF", 1, 10, 90.0);
    s.WaitMs = 1;
    fake.onPump = [&] {
        walk.StartDrawing(makeSettings("F+F+F+F", 1, 50, 90.0));
    };
    walk.StartDrawing(s);
    EXPECT_EQ(segments, (Segments{{{0, 246}, {10, 246}}, {{10, 246}, {20, 246}}}));
}

// --- stack overflow

struct OverflowRow {
    std::string name;
    std::string formula;
    std::int32_t iterations;
    std::size_t expectedMessages;
    std::uint64_t expectedSegments;
};

class OverflowTest : public WalkTest, public ::testing::WithParamInterface<OverflowRow> {};

TEST_P(OverflowTest, ReportsEveryBracketAboveTen) {
    const OverflowRow& row = GetParam();
    turtle.Factor = 0.9;
    walk.StartDrawing(makeSettings(row.formula, row.iterations, 10, 90.0));
    EXPECT_EQ(fake.messages.size(), row.expectedMessages);
    for (const common::MessageBoxRequest& box : fake.messages) {
        EXPECT_EQ(box.text, kStackFull);
        EXPECT_EQ(box.icon, common::MessageIcon::None);
        EXPECT_FALSE(box.position.has_value());
    }
    EXPECT_EQ(walk.segmentsDrawn(), row.expectedSegments);
    EXPECT_FALSE(turtle.StopFlag);
}

std::string nested(int depth, const std::string& inside) {
    return std::string(static_cast<std::size_t>(depth), '(') + inside +
           std::string(static_cast<std::size_t>(depth), ')');
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OverflowTest,
    ::testing::Values(OverflowRow{"TenNestedFit", nested(10, "F"), 1, 0, 1},
                      OverflowRow{"ElevenNestedOneMessage", nested(11, "F"), 1, 1, 0},
                      OverflowRow{"TwelveNestedTwoMessages", nested(12, "F"), 1, 2, 0},
                      // After the stop the brackets still count: ")" goes back to 10, and each
                      // "(" above it is reported again.
                      OverflowRow{"MoreBracketsWhileUnwinding", std::string(11, '(') + "F)((", 1, 3, 0},
                      // Six on each of two levels; the third level is never entered.
                      OverflowRow{"AcrossLevels", nested(6, "F"), 3, 2, 0},
                      // Five on each of two levels fit.
                      OverflowRow{"TwoLevelsOfFiveFit", nested(5, "F"), 2, 0, 1}),
    [](const ::testing::TestParamInfo<OverflowRow>& info) { return info.param.name; });

TEST_F(WalkTest, AfterAnOverflowTheNextDrawingStartsWithAnEmptyStack) {
    walk.StartDrawing(makeSettings(std::string(11, '(') + "F", 1, 10, 90.0));
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(turtle.StackTop, 11);
    walk.StartDrawing(makeSettings(nested(10, "F"), 1, 10, 90.0));
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(walk.segmentsDrawn(), 1u);
    EXPECT_EQ(turtle.StackTop, 0);
}

// Vector output walks an area that exists only as a size: the start state comes from that size
// and the canvas stays as it was, node discs included.
TEST_F(WalkTest, ObserveOnlyTakesTheAreaAndLeavesTheCanvasAlone) {
    walk.observeOnly(1000, 800);
    WalkSettings s = makeSettings("F+F", 1, 10, 90.0, StartDirection::Vertical);
    s.NodeRadius = 3;
    const std::uint64_t before = canvas.generation();
    walk.StartDrawing(s);
    EXPECT_EQ(segments, (Segments{{{500, 800}, {500, 790}}, {{500, 790}, {510, 790}}}));
    EXPECT_EQ(canvas.generation(), before);
    EXPECT_EQ(countPixels(kWhite), kArea * kArea);
}

} // namespace
} // namespace lsystem
