#include "formula_walk.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lsystem {

namespace {

constexpr const char* kStackFullText = "Rekursiver Stack voll - Abbruch";
constexpr const char* kPauseText = "Weiter";

using Limits = std::numeric_limits<std::int32_t>;

std::int32_t clampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, Limits::min(), Limits::max()));
}

// Positions saturate at the 32-bit limits: a turtle sent far off the picture by a huge step
// stays at the edge of the number range instead of wrapping round onto the picture.
std::int32_t saturatingAdd(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t{a} + std::int64_t{b};
    // One unsigned comparison tells whether the sum is in range, which it nearly always is.
    if (static_cast<std::uint64_t>(sum - Limits::min()) <= std::uint64_t{0xFFFFFFFF}) [[likely]] {
        return static_cast<std::int32_t>(sum);
    }
    return clampToInt32(sum);
}

// The pixel step is the step rounded half to even, as the original drawings were rounded; a
// step beyond the int range is clamped to it and a NaN step (from absurd factors or lengths)
// counts as 0, so neither reaches an undefined conversion. Adding and taking away 1.5 * 2^52
// leaves a double whose last bit is worth 1, so the sum is rounded to an integer in the
// current rounding mode exactly as std::nearbyint rounds, without its library call on every
// segment; the range check keeps |step| far below 2^51, where this holds. It relies on double
// arithmetic without excess precision (SSE or any non-x87 target) and without -ffast-math,
// which the build rules out.
std::int32_t pixelStep(double step) {
    constexpr double kRoundingShift = 0x1.8p52;
    // False for NaN too.
    if (std::fabs(step) < static_cast<double>(Limits::max())) [[likely]] {
        return static_cast<std::int32_t>((step + kRoundingShift) - kRoundingShift);
    }
    if (std::isnan(step)) {
        return 0;
    }
    return step > 0.0 ? Limits::max() : Limits::min();
}

} // namespace

FormulaWalk::FormulaWalk(Turtle& turtle, common::Canvas& canvas, common::Services& services)
    : m_turtle(turtle), m_canvas(canvas), m_services(services) {}

void FormulaWalk::StartDrawing(const WalkSettings& settings) {
    if (m_running) {
        return;
    }
    m_settings = settings;
    m_turtle.SetAngles(m_settings.rightDegrees, m_settings.leftDegrees);
    m_turtle.StackTop = 0;
    SetStartState(m_turtle, m_settings.direction, m_settings.startLength, m_settings.iterations,
                  m_observeOnly ? m_areaWidth : m_canvas.width(),
                  m_observeOnly ? m_areaHeight : m_canvas.height(), m_settings.StartX, m_settings.StartY);
    m_services.setBusyCursor(true);
    m_turtle.StopFlag = false;
    m_running = true;
    m_segments = 0;
    m_lastPump = m_services.tickCountMs();
    m_lastClockRead = m_lastPump;
    m_stepsPerClockRead = 1;
    m_stepsToClockRead = 1;

    // A throwing observer or box must not leave the window believing a drawing still runs.
    struct Finish {
        FormulaWalk& walk;
        ~Finish() {
            walk.m_turtle.StopFlag = false;
            walk.m_running = false;
            walk.m_services.setBusyCursor(false);
        }
    } finish{*this};
    Interpret(m_settings.iterations);
}

// What every Interpret call begins with. A stopped drawing unwinds without waiting: with a
// long wait a stop would otherwise take one wait for every F still left on every level.
inline bool FormulaWalk::BeginStep() {
    if (m_turtle.StopFlag) {
        return false;
    }
    if (m_settings.WaitMs > 0) {
        SleepAndPump(m_settings.WaitMs);
        return !m_turtle.StopFlag;
    }
    // Without a wait the window would freeze for the whole drawing, so Escape and repaints
    // still get their turn every kPumpIntervalMs; nearly every step ends here, before the
    // clock is due to be read.
    if (--m_stepsToClockRead > 0) [[likely]] {
        return true;
    }
    if (!PumpDue()) {
        return true;
    }
    PollAndPump();
    return !m_turtle.StopFlag;
}

// Reads the clock and sets how many steps until the next reading: twice as many when no
// millisecond went by since the last, half as many when more than one did, so the readings
// settle about a millisecond apart and a pump is at most about that late.
bool FormulaWalk::PumpDue() {
    const std::uint32_t now = m_services.tickCountMs();
    const std::uint32_t sinceRead = now - m_lastClockRead;
    m_lastClockRead = now;
    if (sinceRead == 0) {
        m_stepsPerClockRead = std::min(m_stepsPerClockRead * 2, kMaxStepsPerClockRead);
    } else if (sinceRead > 1) {
        m_stepsPerClockRead = std::max(m_stepsPerClockRead / 2, 1);
    }
    m_stepsToClockRead = m_stepsPerClockRead;
    // The unsigned difference stays right when the tick count wraps.
    return static_cast<std::uint32_t>(now - m_lastPump) >= kPumpIntervalMs;
}

inline void FormulaWalk::Draw(common::Point from, common::Point to) {
    if (m_segmentObserver) {
        m_segmentObserver(from, to);
        // Tested only with an observer, so the window's walk pays nothing for it.
        if (m_observeOnly) {
            return;
        }
    }
    m_canvas.setPen({m_settings.PenColour, m_settings.penWidth, common::PenStyle::Solid});
    // Segments mostly continue where the last one ended, which is where lineTo left the canvas.
    if (m_canvas.position() != from) {
        m_canvas.moveTo(from.x, from.y);
    }
    m_canvas.lineTo(to.x, to.y);
    if (m_settings.NodeRadius > 0) {
        DrawNode(to);
    }
}

inline void FormulaWalk::MoveAndDraw() {
    const common::Point from{m_turtle.state.PosX, m_turtle.state.PosY};
    const common::Point to{saturatingAdd(from.x, pixelStep(m_turtle.state.StepX)),
                           saturatingAdd(from.y, pixelStep(m_turtle.state.StepY))};
    Draw(from, to);
    m_turtle.state.PosX = to.x;
    m_turtle.state.PosY = to.y;
    ++m_segments;
    if (m_settings.PauseMode) {
        if (m_services.escapePressed()) {
            m_turtle.StopFlag = true;
        }
        m_services.messageBox({kPauseText, {}, common::MessageIcon::None, m_settings.pauseBoxAt});
    }
}

void FormulaWalk::Interpret(std::int32_t depth) {
    if (!BeginStep()) {
        return;
    }
    if (depth < 1) {
        MoveAndDraw();
        return;
    }
    const std::int32_t deeper = depth - 1;
    // Indexing the settings' own string (never a copy) keeps the walk free of allocations.
    // The loop deliberately ignores StopFlag: after a stop the remaining turns and brackets
    // still act, only the segments are left out, so the turtle ends where it always did.
    const char* const formula = m_settings.Formula.data();
    const std::size_t length = m_settings.Formula.size();
    for (std::size_t i = 0; i < length; ++i) {
        const char symbol = formula[i];
        // Tested in the order of their frequency in typical formulas.
        if (symbol == 'F') {
            // Interpret(0) spelt out.
            if (deeper == 0) {
                if (BeginStep()) {
                    MoveAndDraw();
                }
            } else {
                Interpret(deeper);
            }
        } else if (symbol == '+') {
            m_turtle.TurnRight();
        } else if (symbol == '-') {
            m_turtle.TurnLeft();
        } else if (symbol == '(') {
            if (!m_turtle.PushState()) {
                m_services.message(kStackFullText);
            }
        } else if (symbol == ')') {
            m_turtle.PopState();
        }
    }
}

void FormulaWalk::DrawSegment(common::Point from, common::Point to) {
    Draw(from, to);
}

void FormulaWalk::DrawNode(common::Point at) {
    const std::int64_t r = m_settings.NodeRadius;
    // A negative radius would give a turned-round box, which the canvas draws as a disc.
    if (r <= 0) {
        return;
    }
    m_canvas.setPen({common::kRed, 1, common::PenStyle::Solid});
    m_canvas.setBrush({common::BrushStyle::Solid, common::kRed});
    // In 64 bits and clamped, so a huge radius around a point near the int limits cannot wrap
    // round into a box somewhere else.
    m_canvas.ellipse(clampToInt32(at.x - r), clampToInt32(at.y - r), clampToInt32(at.x + r),
                     clampToInt32(at.y + r));
    m_canvas.setBrush({common::BrushStyle::Hollow, common::kRed});
    m_canvas.setPen({m_settings.PenColour, m_settings.penWidth, common::PenStyle::Solid});
}

void FormulaWalk::WaitStep(std::int32_t ms) {
    if (ms > 0) {
        SleepAndPump(ms);
        return;
    }
    // A single step, unlike the walk, reads the clock every time.
    if (static_cast<std::uint32_t>(m_services.tickCountMs() - m_lastPump) >= kPumpIntervalMs) {
        PollAndPump();
    }
}

void FormulaWalk::PollAndPump() {
    if (m_services.escapePressed()) {
        m_turtle.StopFlag = true;
    }
    m_services.pumpMessages();
    // Measured after the pump, so a slow repaint neither makes every following step pump nor
    // counts as slow steps.
    m_lastPump = m_services.tickCountMs();
    m_lastClockRead = m_lastPump;
}

void FormulaWalk::SleepAndPump(std::int32_t ms) {
    if (m_services.escapePressed()) {
        m_turtle.StopFlag = true;
    }
    m_services.sleepMs(ms);
    m_services.pumpMessages();
    m_lastPump = m_services.tickCountMs();
}

void ClearArea(common::Canvas& canvas, std::int32_t width, std::int32_t height, common::Colour background,
               common::Colour pen) {
    canvas.setRasterMode(common::RasterMode::Copy);
    canvas.setPen({background, 1, common::PenStyle::Solid});
    canvas.setBrush({common::BrushStyle::Solid, background});
    canvas.rectangle(0, 0, width, height);
    canvas.setBrush({common::BrushStyle::Hollow, background});
    canvas.setPen({pen, 1, common::PenStyle::Solid});
}

} // namespace lsystem
