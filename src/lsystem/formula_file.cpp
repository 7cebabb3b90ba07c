#include "formula_file.h"

#include "atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lsystem {

std::string FormatFormulaFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

FormulaFileText SplitFormulaText(std::string_view bytes) {
    FormulaFileText result;
    if (bytes.size() > kMaxFormulaFileBytes) {
        result.error = "Die Datei ist zu groß für eine Formeldatei.";
        return result;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    if (bytes.find('\0') != std::string_view::npos) {
        result.error = "Die Datei ist keine Textdatei.";
        return result;
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        std::string_view line =
            bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        result.lines.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return result;
}

FormulaFileText ReadFormulaFile(const std::string& path) {
    FormulaFileText result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = std::string("Die Datei kann nicht geöffnet werden: ") + std::strerror(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.error = "Die Datei ist keine gewöhnliche Datei.";
        return result;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxFormulaFileBytes) {
        ::close(fd);
        result.error = "Die Datei ist zu groß für eine Formeldatei.";
        return result;
    }
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.error = std::string("Die Datei kann nicht gelesen werden: ") + std::strerror(errno);
            ::close(fd);
            return result;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxFormulaFileBytes) {
            break; // grew while being read: the check below refuses it
        }
    }
    ::close(fd);
    return SplitFormulaText(bytes);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    common::AtomicFile output;
    std::string reason;
    if (!output.open(path, reason)) {
        error = "Die Datei kann nicht angelegt werden: " + reason;
        return false;
    }
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), output.file()) != content.size()) {
        error = std::string("Die Datei kann nicht geschrieben werden: ") + std::strerror(errno);
        return false;
    }
    if (!output.commit(reason)) {
        error = "Die Datei kann nicht geschrieben werden: " + reason;
        return false;
    }
    return true;
}

std::optional<std::int32_t> ParseStartCoordinate(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

const std::array<Preset, 7>& Presets() {
    static const std::array<Preset, 7> presets = {{
        {"F(-F)+F-", "0.70", "20", "20", "16", "4", "3", 320, 480, false, "baum1.frc"},
        {"F(-F)F(+F)F", "0.70", "50", "40", "20", "4", "2", 320, 480, false, "baum2.frc"},
        {"FF+(+F-F-F)-(-F+F+F)", "0.65", "27", "26", "4", "2", "4", 240, 520, false, "baum3.frc"},
        {"FF+(+F(F)-F-F)-(-F+F-(F)++F)", "0.65", "25", "26", "4", "1", "4", 360, 580, false, "baum4.frc"},
        {"F-F++F-F", "1", "60", "60", "6", "0", "3", 40, 400, true, "koch.frc"},
        {"FF-FF-FF-FF", "1", "120", "120", "8", "0", "4", 40, 540, true, "sierpins.frc"},
        {"F-F+F+F+F-F-F-F+F", "1", "90", "90", "6", "0", "3", 50, 300, true, "peano.frc"},
    }};
    return presets;
}

std::vector<std::string> PresetLines(const Preset& p) {
    return {p.formula,
            p.factor,
            p.rightAngle,
            p.leftAngle,
            p.startLength,
            p.radius,
            p.iterations,
            std::to_string(p.startX),
            std::to_string(p.startY),
            p.horizontal ? "1" : "0"};
}

} // namespace lsystem
