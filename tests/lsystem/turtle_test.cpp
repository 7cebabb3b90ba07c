#include "turtle.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lsystem {
namespace {

using Limits = std::numeric_limits<std::int32_t>;

// --- start state

struct StartRow {
    std::string name;
    StartDirection direction;
    std::int32_t length;
    std::int32_t iterations;
    std::int32_t width;
    std::int32_t height;
    std::int32_t startX;
    std::int32_t startY;
    TurtleState expected;
};

class StartStateTest : public ::testing::TestWithParam<StartRow> {};

TEST_P(StartStateTest, SetsPositionAndStep) {
    const StartRow& row = GetParam();
    Turtle turtle;
    turtle.state = {7, 8, 9.0, 10.0};
    turtle.Factor = 0.7;
    turtle.StackTop = 3;
    SetStartState(turtle, row.direction, row.length, row.iterations, row.width, row.height, row.startX,
                  row.startY);
    EXPECT_EQ(turtle.state, row.expected);
    // The start state is the position and the step only.
    EXPECT_EQ(turtle.Factor, 0.7);
    EXPECT_EQ(turtle.StackTop, 3);
}

constexpr auto V = StartDirection::Vertical;
constexpr auto H = StartDirection::Horizontal;

INSTANTIATE_TEST_SUITE_P(
    Rows, StartStateTest,
    ::testing::Values(
        StartRow{"VerticalFromBottomMiddle", V, 16, 3, 493, 493, 0, 0, {246, 493, 0.0, -48.0}},
        StartRow{"HorizontalFromLeftMiddle", H, 16, 3, 493, 493, 0, 0, {0, 246, 48.0, 0.0}},
        StartRow{
            "VerticalStartPointReplacesPositionOnly", V, 16, 3, 493, 493, 250, 400, {250, 400, 0.0, -48.0}},
        StartRow{
            "HorizontalStartPointReplacesPositionOnly", H, 16, 3, 493, 493, 250, 400, {250, 400, 48.0, 0.0}},
        StartRow{"StartXZeroIgnored", V, 16, 3, 493, 493, 0, 400, {246, 493, 0.0, -48.0}},
        StartRow{"StartYZeroIgnored", H, 16, 3, 493, 493, 250, 0, {0, 246, 48.0, 0.0}},
        StartRow{"NegativeStartPointIgnored", V, 16, 3, 493, 493, -250, 400, {246, 493, 0.0, -48.0}},
        StartRow{"StartPointOutsideTheAreaTaken", V, 16, 3, 493, 493, 900, 900, {900, 900, 0.0, -48.0}},
        StartRow{"OddWidthRoundsDown", V, 5, 2, 11, 20, 0, 0, {5, 20, 0.0, -10.0}},
        StartRow{"OddHeightRoundsDown", H, 5, 2, 11, 7, 0, 0, {0, 3, 10.0, 0.0}},
        StartRow{"ZeroIterationsZeroStep", H, 16, 0, 493, 493, 0, 0, {0, 246, 0.0, 0.0}},
        StartRow{"LengthTimesIterationsBeyondInt32Horizontal",
                 H,
                 Limits::max(),
                 10,
                 493,
                 493,
                 0,
                 0,
                 {0, 246, 21474836470.0, 0.0}},
        StartRow{"LengthTimesIterationsBeyondInt32Vertical",
                 V,
                 Limits::max(),
                 10,
                 493,
                 493,
                 0,
                 0,
                 {246, 493, 0.0, -21474836470.0}},
        StartRow{"NegativeLengthTimesIterationsBeyondInt32",
                 H,
                 Limits::min(),
                 3,
                 493,
                 493,
                 0,
                 0,
                 {0, 246, -6442450944.0, 0.0}}),
    [](const ::testing::TestParamInfo<StartRow>& info) { return info.param.name; });

// --- angles

struct AngleRow {
    std::string name;
    double degrees;
    double radians; // worked out independently with exact rational arithmetic
};

class SetAnglesTest : public ::testing::TestWithParam<AngleRow> {};

// Several rows differ in the last bit from the plain double computation 120.0 / 180.0 * pi, and
// some from a double division followed by an extended multiplication, so both shortcuts fail.
TEST_P(SetAnglesTest, ConvertsInExtendedPrecision) {
    const AngleRow& row = GetParam();
    Turtle turtle;
    turtle.SetAngles(row.degrees, -row.degrees);
    EXPECT_EQ(turtle.RightAngle, row.radians) << std::hexfloat << turtle.RightAngle;
    EXPECT_EQ(turtle.LeftAngle, -row.radians) << std::hexfloat << turtle.LeftAngle;
}

INSTANTIATE_TEST_SUITE_P(Rows, SetAnglesTest,
                         ::testing::Values(AngleRow{"Zero", 0.0, 0.0},
                                           AngleRow{"Ninety", 90.0, 0x1.921fb54442d18p+0},
                                           AngleRow{"OneHundredTwenty", 120.0, 0x1.0c152382d7366p+1},
                                           AngleRow{"Sixty", 60.0, 0x1.0c152382d7366p+0},
                                           AngleRow{"EightyFive", 85.0, 0x1.7bc89cf95b8d0p+0},
                                           AngleRow{"OneHundred", 100.0, 0x1.becde5da115a9p+0},
                                           AngleRow{"Thirteen", 13.0, 0x1.d0ad2c7c63f7dp-3},
                                           AngleRow{"Fraction", 25.7, 0x1.cb50974bb1957p-2},
                                           AngleRow{"FullTurnTwice", 720.0, 0x1.921fb54442d18p+3}),
                         [](const ::testing::TestParamInfo<AngleRow>& info) { return info.param.name; });

TEST(SetAngles, RightAndLeftAreIndependent) {
    Turtle turtle;
    turtle.SetAngles(90.0, 120.0);
    EXPECT_EQ(turtle.RightAngle, 0x1.921fb54442d18p+0);
    EXPECT_EQ(turtle.LeftAngle, 0x1.0c152382d7366p+1);
}

// --- turns

enum class Turn { Right, Left };

struct TurnRow {
    std::string name;
    Turn turn;
    double degrees;
    double x;
    double y;
    double expectedX;
    double expectedY;
};

class TurnTest : public ::testing::TestWithParam<TurnRow> {};

TEST_P(TurnTest, RotatesTheStep) {
    const TurnRow& row = GetParam();
    Turtle turtle;
    turtle.SetAngles(row.degrees, row.degrees);
    turtle.state = {3, 4, row.x, row.y};
    if (row.turn == Turn::Right) {
        turtle.TurnRight();
    } else {
        turtle.TurnLeft();
    }
    EXPECT_NEAR(turtle.state.StepX, row.expectedX, 1e-9);
    EXPECT_NEAR(turtle.state.StepY, row.expectedY, 1e-9);
    // What the drawing sees after rounding to pixels.
    EXPECT_EQ(std::nearbyint(turtle.state.StepX), std::nearbyint(row.expectedX));
    EXPECT_EQ(std::nearbyint(turtle.state.StepY), std::nearbyint(row.expectedY));
    EXPECT_EQ(turtle.state.PosX, 3);
    EXPECT_EQ(turtle.state.PosY, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TurnTest,
    ::testing::Values(
        TurnRow{"RightNinetyFromUp", Turn::Right, 90.0, 0.0, -48.0, 48.0, 0.0},
        TurnRow{"LeftNinetyFromUp", Turn::Left, 90.0, 0.0, -48.0, -48.0, 0.0},
        TurnRow{"RightNinetyFromEastPointsDown", Turn::Right, 90.0, 48.0, 0.0, 0.0, 48.0},
        TurnRow{"LeftNinetyFromEastPointsUp", Turn::Left, 90.0, 48.0, 0.0, 0.0, -48.0},
        // Both new coordinates come from the old x and y; using the new x for the
        // new y would give (-4, -4) here.
        TurnRow{"RightUsesOldCoordinates", Turn::Right, 90.0, 3.0, 4.0, -4.0, 3.0},
        TurnRow{"LeftUsesOldCoordinates", Turn::Left, 90.0, 3.0, 4.0, 4.0, -3.0},
        TurnRow{"LeftOneHundredTwenty", Turn::Left, 120.0, 100.0, 0.0, -50.0, -86.602540378443865},
        TurnRow{"RightOneHundredTwenty", Turn::Right, 120.0, 100.0, 0.0, -50.0, 86.602540378443865},
        TurnRow{"ZeroAngleKeepsStep", Turn::Right, 0.0, 5.5, -2.5, 5.5, -2.5},
        TurnRow{"NegativeAngleTurnsTheOtherWay", Turn::Right, -90.0, 0.0, -48.0, -48.0, 0.0}),
    [](const ::testing::TestParamInfo<TurnRow>& info) { return info.param.name; });

TEST(Turn, RightThenLeftByTheSameAngleComesBack) {
    Turtle turtle;
    turtle.SetAngles(137.0, 137.0);
    turtle.state.StepX = 12.0;
    turtle.state.StepY = -5.0;
    turtle.TurnRight();
    EXPECT_LT(turtle.state.StepX, 0.0);
    turtle.TurnLeft();
    EXPECT_NEAR(turtle.state.StepX, 12.0, 1e-12);
    EXPECT_NEAR(turtle.state.StepY, -5.0, 1e-12);
}

TEST(Turn, FollowsAnAngleChangedBetweenTurns) {
    Turtle turtle;
    turtle.SetAngles(90.0, 90.0);
    turtle.state.StepY = -10.0;
    turtle.TurnRight();
    EXPECT_NEAR(turtle.state.StepX, 10.0, 1e-12);
    turtle.SetAngles(180.0, 180.0);
    turtle.TurnRight();
    EXPECT_NEAR(turtle.state.StepX, -10.0, 1e-12);
    EXPECT_NEAR(turtle.state.StepY, 0.0, 1e-12);
    // Set directly, without SetAngles.
    turtle.LeftAngle = 0.0;
    turtle.TurnLeft();
    EXPECT_NEAR(turtle.state.StepX, -10.0, 1e-12);
}

// --- the stack

Turtle turtleAt(TurtleState state, double factor) {
    Turtle turtle;
    turtle.state = state;
    turtle.Factor = factor;
    return turtle;
}

TEST(Stack, PushSavesAndShortensPopRestores) {
    const TurtleState start{10, 20, 0.0, -48.0};
    Turtle turtle = turtleAt(start, 0.7);
    ASSERT_TRUE(turtle.PushState());
    EXPECT_EQ(turtle.StackTop, 1);
    EXPECT_EQ(turtle.TurtleStack[1], start);
    EXPECT_EQ(turtle.state.PosX, 10);
    EXPECT_EQ(turtle.state.PosY, 20);
    EXPECT_EQ(turtle.state.StepX, 0.0);
    EXPECT_NEAR(turtle.state.StepY, -33.6, 1e-12);

    turtle.state = {99, -7, 3.0, 1.0};
    turtle.PopState();
    EXPECT_EQ(turtle.state, start);
    EXPECT_EQ(turtle.StackTop, 0);
    EXPECT_FALSE(turtle.StopFlag);
}

TEST(Stack, FactorOneOnlySavesAndRestores) {
    const TurtleState start{1, 2, 3.5, -4.5};
    Turtle turtle = turtleAt(start, 1.0);
    ASSERT_TRUE(turtle.PushState());
    EXPECT_EQ(turtle.state, start);
    turtle.state = {5, 6, 7.0, 8.0};
    turtle.PopState();
    EXPECT_EQ(turtle.state, start);
}

TEST(Stack, TenNestedAcceptedTheEleventhOverflows) {
    Turtle turtle = turtleAt({0, 0, 0.0, -1024.0}, 0.5);
    for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(turtle.PushState()) << "push " << i;
        EXPECT_EQ(turtle.StackTop, i);
    }
    EXPECT_FALSE(turtle.StopFlag);
    EXPECT_EQ(turtle.state.StepY, -1.0);
    const auto slots = turtle.TurtleStack;
    const TurtleState before = turtle.state;

    EXPECT_FALSE(turtle.PushState());
    EXPECT_TRUE(turtle.StopFlag);
    EXPECT_EQ(turtle.StackTop, 11);
    EXPECT_EQ(turtle.state, before);      // not shortened
    EXPECT_EQ(turtle.TurtleStack, slots); // nothing saved
}

// After an overflow the count keeps going while every access stays inside the slots; the
// sanitizer build with library assertions catches an index beyond them.
TEST(Stack, BeyondTheTopOnlyTheCountMoves) {
    Turtle turtle = turtleAt({0, 0, 0.0, -1024.0}, 0.5);
    for (int i = 0; i < 10; ++i) {
        turtle.PushState();
        turtle.state.PosX = i + 1; // so each slot holds something recognisable
    }
    const auto slots = turtle.TurtleStack;
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(turtle.PushState());
    }
    EXPECT_EQ(turtle.StackTop, 15);
    turtle.state = {77, 78, 79.0, 80.0};
    for (int i = 0; i < 5; ++i) {
        turtle.PopState();
        EXPECT_EQ(turtle.state, (TurtleState{77, 78, 79.0, 80.0})) << "pop " << i;
    }
    EXPECT_EQ(turtle.StackTop, 10);
    EXPECT_EQ(turtle.TurtleStack, slots);
    turtle.PopState(); // the tenth push's save
    EXPECT_EQ(turtle.state, slots[10]);
    EXPECT_EQ(turtle.state.PosX, 9);
    EXPECT_EQ(turtle.StackTop, 9);
}

TEST(Stack, PopAtZeroRestoresSlotZeroThenNothing) {
    Turtle turtle = turtleAt({5, 6, 7.0, 8.0}, 0.5);
    turtle.PopState();
    EXPECT_EQ(turtle.state, TurtleState{}); // slot 0 as a new turtle has it
    EXPECT_EQ(turtle.StackTop, -1);

    turtle.state = {1, 2, 3.0, 4.0};
    turtle.PopState();
    turtle.PopState();
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 3.0, 4.0}));
    EXPECT_EQ(turtle.StackTop, -3);
    EXPECT_EQ(turtle.TurtleStack, Turtle{}.TurtleStack);
}

TEST(Stack, PushBelowZeroSavesNothingAndKeepsTheStep) {
    Turtle turtle = turtleAt({1, 2, 3.0, 4.0}, 0.5);
    turtle.StackTop = -3;
    EXPECT_TRUE(turtle.PushState());
    EXPECT_TRUE(turtle.PushState());
    EXPECT_EQ(turtle.StackTop, -1);
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 3.0, 4.0}));
    EXPECT_EQ(turtle.TurtleStack, Turtle{}.TurtleStack);
    EXPECT_FALSE(turtle.StopFlag);

    // From -1 to 0 is slot 0 again: saved and shortened.
    EXPECT_TRUE(turtle.PushState());
    EXPECT_EQ(turtle.StackTop, 0);
    EXPECT_EQ(turtle.TurtleStack[0], (TurtleState{1, 2, 3.0, 4.0}));
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 1.5, 2.0}));
    turtle.state.PosX = 50;
    turtle.PopState();
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 3.0, 4.0}));
}

TEST(Stack, CountSaturatesAtTheIntLimits) {
    Turtle turtle = turtleAt({1, 2, 3.0, 4.0}, 0.5);
    turtle.StackTop = Limits::max();
    EXPECT_FALSE(turtle.PushState());
    EXPECT_EQ(turtle.StackTop, Limits::max());
    turtle.PopState();
    EXPECT_EQ(turtle.StackTop, Limits::max() - 1);
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 3.0, 4.0}));

    turtle.StackTop = Limits::min();
    turtle.PopState();
    EXPECT_EQ(turtle.StackTop, Limits::min());
    EXPECT_TRUE(turtle.PushState());
    EXPECT_EQ(turtle.StackTop, Limits::min() + 1);
    EXPECT_EQ(turtle.state, (TurtleState{1, 2, 3.0, 4.0}));
}

} // namespace
} // namespace lsystem
