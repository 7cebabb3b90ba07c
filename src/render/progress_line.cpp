#include "progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace render {

ProgressLine::ProgressLine(std::ostream& err, bool shown, std::int64_t width, std::string label,
                           std::string unit)
    : m_err(err), m_shown(shown), m_width(width), m_label(std::move(label)), m_unit(std::move(unit)),
      m_start(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::draw(const std::string& line) {
    m_err << "\r\033[K" << line << std::flush;
    m_drawn = true;
}

void ProgressLine::startClock(std::string label) {
    stopClock();
    if (!m_shown) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    draw(label + "  0:00");
    m_clockRunning = true;
    m_clock = std::thread([this, start, label = std::move(label)] {
        std::unique_lock clockLock(m_mutex);
        while (!m_clockWake.wait_for(clockLock, std::chrono::milliseconds(500),
                                     [this] { return !m_clockRunning; })) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                    .count();
            char elapsed[32];
            std::snprintf(elapsed, sizeof elapsed, "  %lld:%02lld", static_cast<long long>(seconds / 60),
                          static_cast<long long>(seconds % 60));
            draw(label + elapsed);
        }
    });
}

void ProgressLine::stopClock() {
    {
        const std::lock_guard lock(m_mutex);
        if (!m_clockRunning) {
            return;
        }
        m_clockRunning = false;
    }
    m_clockWake.notify_all();
    m_clock.join();
}

void ProgressLine::clear() {
    stopClock();
    if (m_drawn) {
        m_err << "\r\033[K" << std::flush;
        m_drawn = false;
    }
}

void ProgressLine::restart(std::string label, std::int64_t width, std::string unit) {
    stopClock();
    m_label = std::move(label);
    m_width = width;
    m_unit = std::move(unit);
    m_start = std::chrono::steady_clock::now();
}

void ProgressLine::update(std::int64_t rowsDone, std::int64_t rows) {
    stopClock();
    if (!m_shown || rows <= 0) {
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double share = static_cast<double>(rowsDone) / static_cast<double>(rows);
    const double megapixels = static_cast<double>(rowsDone) * static_cast<double>(m_width) / 1e6;
    const double rate = seconds > 0.0 ? megapixels / seconds : 0.0;
    // A deep reference orbit makes a thousand iterations a second, not millions: the rate
    // takes a smaller prefix rather than showing 0.0.
    double shownRate = rate;
    std::string unit = m_unit;
    while (shownRate < 1.0 && shownRate > 0.0 && (unit.starts_with('M') || unit.starts_with('k'))) {
        shownRate *= 1000.0;
        if (unit.starts_with('M')) {
            unit[0] = 'k';
        } else {
            unit.erase(0, 1);
        }
    }
    char line[160];
    if (rowsDone > 0) {
        const auto left = static_cast<long long>(std::llround(seconds * (1.0 - share) / share));
        std::snprintf(line, sizeof line, "%s %3d%%  %.1f %s  %lld:%02lld left", m_label.c_str(),
                      static_cast<int>(share * 100.0), shownRate, unit.c_str(), left / 60, left % 60);
    } else {
        std::snprintf(line, sizeof line, "%s   0%%", m_label.c_str());
    }
    draw(line);
}

void ProgressLine::show(const std::string& label, double share) {
    if (!m_shown) {
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    share = std::clamp(share, 0.0, 1.0);
    char line[200];
    if (share > 0.0) {
        const auto left = static_cast<long long>(std::llround(seconds * (1.0 - share) / share));
        std::snprintf(line, sizeof line, "%s  %3d%%  %lld:%02lld left", label.c_str(),
                      static_cast<int>(share * 100.0), left / 60, left % 60);
    } else {
        std::snprintf(line, sizeof line, "%s    0%%", label.c_str());
    }
    m_err << "\r\033[K" << line << std::flush;
    m_drawn = true;
}

} // namespace render
