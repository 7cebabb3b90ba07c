#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace lsystem {

/// What a "(" saves and a ")" restores.
struct TurtleState {
    std::int32_t PosX = 0;
    std::int32_t PosY = 0;
    double StepX = 0.0;
    double StepY = 0.0;
    friend constexpr bool operator==(const TurtleState&, const TurtleState&) = default;
};

inline constexpr int kStackSlots = 11; // slots 0 .. 10; 1 .. 10 take the saves

/// The cosine and sine of the angle last turned by. Turns are the most frequent operation after
/// drawing and the angles change only between drawings, so the trigonometry runs once per
/// angle. Keyed on the angle's bits rather than filled by SetAngles, so an angle set directly
/// cannot leave a stale pair behind (and -0.0 or NaN get their own exact values).
struct TurnCache {
    std::uint64_t angleBits = 0; // the bits of +0.0
    double cos = 1.0;
    double sin = 0.0;

    void update(double angle) {
        const auto bits = std::bit_cast<std::uint64_t>(angle);
        if (bits != angleBits) [[unlikely]] {
            angleBits = bits;
            cos = std::cos(angle);
            sin = std::sin(angle);
        }
    }
};

/// The drawing cursor: a pixel position, a step vector (its length is the next segment's, its
/// direction the heading; y grows downwards, so a positive angle turns clockwise on screen),
/// the two turning angles, the reduction factor and the ten-deep position stack.
struct Turtle {
    TurtleState state;
    double RightAngle = 0.0; // radians
    double LeftAngle = 0.0;  // radians
    double Factor = 0.0;
    std::array<TurtleState, kStackSlots> TurtleStack{};
    std::int32_t StackTop = 0;
    bool StopFlag = false;
    TurnCache RightTurn;
    TurnCache LeftTurn;

    /// Degrees to radians: the division by 180 first, then the multiplication by pi taken at
    /// extended precision, the result rounded to a double.
    void SetAngles(double rightDegrees, double leftDegrees);
    void TurnRight();
    void TurnLeft();
    /// "(": false when the stack is full (StopFlag is then set and nothing is saved; StackTop
    /// stays raised so the matching ")" still balances).
    bool PushState();
    /// ")".
    void PopState();
};

// Inline: the walk turns tens of millions of times a second.
inline void Turtle::TurnRight() {
    RightTurn.update(RightAngle);
    const double x = state.StepX;
    const double y = state.StepY;
    state.StepX = RightTurn.cos * x - RightTurn.sin * y;
    state.StepY = RightTurn.sin * x + RightTurn.cos * y;
}

inline void Turtle::TurnLeft() {
    LeftTurn.update(LeftAngle);
    const double x = state.StepX;
    const double y = state.StepY;
    state.StepX = LeftTurn.cos * x + LeftTurn.sin * y;
    state.StepY = -LeftTurn.sin * x + LeftTurn.cos * y;
}

enum class StartDirection { Vertical, Horizontal };

/// The start state of a drawing on a w x h area: horizontal from the middle of the left edge
/// heading right, or vertical from the middle of the bottom edge heading up; the step is
/// startLength x iterations; a start point with both coordinates above 0 replaces the position.
void SetStartState(Turtle& turtle, StartDirection direction, std::int32_t startLength,
                   std::int32_t iterations, std::int32_t width, std::int32_t height, std::int32_t startX,
                   std::int32_t startY);

} // namespace lsystem
