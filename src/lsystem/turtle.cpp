#include "turtle.h"

#include <cmath>
#include <limits>

namespace lsystem {

namespace {

constexpr long double kPi = 3.1415926535897932385L;

// The stack counter keeps counting past both ends of the stack so that every "(" matches its
// ")" again after an overflow; it can only reach the int limits with absurd formulas, and then
// it sticks there instead of wrapping round into the valid slots.
std::int32_t saturatingIncrement(std::int32_t v) {
    return v == std::numeric_limits<std::int32_t>::max() ? v : v + 1;
}

std::int32_t saturatingDecrement(std::int32_t v) {
    return v == std::numeric_limits<std::int32_t>::min() ? v : v - 1;
}

bool isSlot(std::int32_t index) {
    return index >= 0 && index < kStackSlots;
}

double toRadians(double degrees) {
    // Both the division and the multiplication run in extended precision (80 bits on x86), as
    // the drawings were made with; only the final result is rounded to a double, so angles like
    // 120 degrees give the same last bit and thus the same pixels.
    return static_cast<double>((static_cast<long double>(degrees) / 180.0L) * kPi);
}

} // namespace

void Turtle::SetAngles(double rightDegrees, double leftDegrees) {
    RightAngle = toRadians(rightDegrees);
    LeftAngle = toRadians(leftDegrees);
}

bool Turtle::PushState() {
    StackTop = saturatingIncrement(StackTop);
    if (StackTop >= kStackSlots) {
        StopFlag = true;
        return false;
    }
    // Below slot 0 (only after more ")" than "(") there is nowhere to save; the step keeps its
    // length too, so the surplus "(" is as inert as the surplus ")" that made room for it.
    if (!isSlot(StackTop)) {
        return true;
    }
    TurtleStack[static_cast<std::size_t>(StackTop)] = state;
    state.StepX *= Factor;
    state.StepY *= Factor;
    return true;
}

void Turtle::PopState() {
    // Above the top slot (after an overflow) the matching "(" saved nothing, so the turtle keeps
    // where it is; below slot 0 there is nothing to restore either. Only the count moves, so the
    // brackets still pair up.
    if (isSlot(StackTop)) {
        state = TurtleStack[static_cast<std::size_t>(StackTop)];
    }
    StackTop = saturatingDecrement(StackTop);
}

void SetStartState(Turtle& turtle, StartDirection direction, std::int32_t startLength,
                   std::int32_t iterations, std::int32_t width, std::int32_t height, std::int32_t startX,
                   std::int32_t startY) {
    // Computed exactly: the 64-bit product of two 32-bit numbers fits, and any value up to 2^62
    // converts to the nearest double, so a long start length times many iterations never wraps.
    const double length = static_cast<double>(std::int64_t{startLength} * std::int64_t{iterations});
    if (direction == StartDirection::Horizontal) {
        turtle.state.PosX = 0;
        turtle.state.PosY = height / 2;
        turtle.state.StepX = length;
        turtle.state.StepY = 0.0;
    } else {
        turtle.state.PosX = width / 2;
        turtle.state.PosY = height;
        turtle.state.StepX = 0.0;
        turtle.state.StepY = -length;
    }
    if (startX > 0 && startY > 0) {
        turtle.state.PosX = startX;
        turtle.state.PosY = startY;
    }
}

} // namespace lsystem
