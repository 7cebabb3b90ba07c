#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "canvas.h"
#include "services.h"
#include "turtle.h"

namespace lsystem {

/// Everything one drawing needs besides the turtle.
struct WalkSettings {
    std::string Formula; // upper case, without blanks
    std::int32_t iterations = 1;
    std::int32_t startLength = 1;
    double rightDegrees = 0.0;
    double leftDegrees = 0.0;
    std::int32_t NodeRadius = 0;
    std::int32_t WaitMs = 0;
    bool PauseMode = false;
    StartDirection direction = StartDirection::Vertical;
    std::int32_t StartX = 0;
    std::int32_t StartY = 0;
    common::Colour PenColour = common::kBlack;
    /// The line width in pixels; the window draws with 1, an enlarged drawing with more.
    std::int32_t penWidth = 1;
    /// Screen point of the "Weiter" box in pause mode.
    common::Point pauseBoxAt;
};

/// The interval at which a drawing without a wait still polls Escape and lets the window
/// repaint.
inline constexpr std::uint32_t kPumpIntervalMs = 15;

/// A drawing without a wait reads the clock at most this many steps apart. Reading the system
/// clock costs more than a whole step, so while steps are quick the walk reads it only about
/// once a millisecond; slow steps (large nodes) bring it back to every step.
inline constexpr std::int32_t kMaxStepsPerClockRead = 64;

/// Walks a formula recursively: every F above the deepest level stands for the whole formula
/// one level deeper, every F at the deepest level draws one segment. The expanded formula is
/// never built; memory grows with the depth only, and nothing is allocated per symbol or
/// segment.
class FormulaWalk {
public:
    FormulaWalk(Turtle& turtle, common::Canvas& canvas, common::Services& services);

    /// Sets the start state and runs the whole drawing; returns when it is finished or stopped
    /// (Escape, a full stack, or stop()). A call from inside a running drawing (a handler run by
    /// the message pump) is ignored: the running walk reads the settings and the turtle.
    void StartDrawing(const WalkSettings& settings);

    /// Called with both end points of every segment, before it is drawn; empty by default.
    using SegmentObserver = std::function<void(common::Point from, common::Point to)>;
    void setSegmentObserver(SegmentObserver observer) { m_segmentObserver = std::move(observer); }

    /// From now on the segments go to the observer only: nothing is drawn on the canvas, no node
    /// disc either, and the start state is taken from an area of this size instead of the
    /// canvas's. For vector output, whose area may be far too large to exist as pixels.
    void observeOnly(std::int32_t areaWidth, std::int32_t areaHeight) {
        m_observeOnly = true;
        m_areaWidth = areaWidth;
        m_areaHeight = areaHeight;
    }

    /// Ends a running drawing at the next step (used when the window closes).
    void stop() { m_turtle.StopFlag = true; }
    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] std::uint64_t segmentsDrawn() const { return m_segments; }

    // The steps of the walk, public for the tests.
    void Interpret(std::int32_t depth);
    void DrawSegment(common::Point from, common::Point to);
    void DrawNode(common::Point at);
    void WaitStep(std::int32_t ms);

private:
    // The pieces of Interpret and its steps, kept apart so that the deepest level, which holds
    // nearly all calls, runs without any call of its own besides the canvas.
    bool BeginStep();
    bool PumpDue();
    void MoveAndDraw();
    void Draw(common::Point from, common::Point to);
    void PollAndPump();
    void SleepAndPump(std::int32_t ms);

    Turtle& m_turtle;
    common::Canvas& m_canvas;
    common::Services& m_services;
    WalkSettings m_settings;
    bool m_running = false;
    std::uint64_t m_segments = 0;
    std::uint32_t m_lastPump = 0;
    std::uint32_t m_lastClockRead = 0;
    std::int32_t m_stepsPerClockRead = 1;
    std::int32_t m_stepsToClockRead = 1;
    SegmentObserver m_segmentObserver;
    bool m_observeOnly = false;
    std::int32_t m_areaWidth = 0;
    std::int32_t m_areaHeight = 0;
};

/// The window's clearing of its drawing area: the whole w x h box in the background colour,
/// then the pen set to the line colour, as every drawing starts.
void ClearArea(common::Canvas& canvas, std::int32_t width, std::int32_t height, common::Colour background,
               common::Colour pen);

} // namespace lsystem
