#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>

namespace render {

/// The "42%  12.3 MP/s  0:17 left" line on a terminal, rewritten in place. The rate counts
/// `width` units per row done: pixels of picture rows, or segments of a walk (width 1). Work of
/// several pictures (a zoom flight) is one line over all their rows, so the share and the time
/// left are those of the whole work; the label may name the picture being made.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool shown, std::int64_t width, std::string label,
                 std::string unit = "MP/s");
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void update(std::int64_t rowsDone, std::int64_t rows);
    /// Takes the line off the terminal; call it before printing anything else there, since a
    /// terminal shows standard output and error on the same line.
    void clear();
    /// The same line for the next stage of the work, its time and rate counted afresh.
    void restart(std::string label, std::int64_t width, std::string unit);
    /// Work counted in its own units: the label, the share done of the whole and the time left
    /// at the pace so far (a video's keyframes and frames).
    void show(const std::string& label, double share);
    /// Shown before the share from the next update on.
    void setLabel(std::string label) { m_label = std::move(label); }
    /// For a stage that reports no progress of its own: shows "label  0:00" now and the time
    /// since then every half second, from a thread of its own, until the next update(),
    /// restart(), clear() or stopClock().
    void startClock(std::string label);
    void stopClock();

private:
    void draw(const std::string& line); // with m_mutex held

    std::ostream& m_err;
    bool m_shown;
    std::int64_t m_width;
    std::string m_label;
    std::string m_unit;
    std::chrono::steady_clock::time_point m_start;
    bool m_drawn = false;
    std::mutex m_mutex; // the stream and m_drawn, shared with the clock's thread
    std::condition_variable m_clockWake;
    bool m_clockRunning = false;
    std::thread m_clock;
};

} // namespace render
