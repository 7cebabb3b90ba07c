#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lsystem {

inline constexpr int kFormulaFileLines = 10;
/// Formula files are ten short lines; anything larger is not one of them.
inline constexpr std::size_t kMaxFormulaFileBytes = 1 << 20;

/// The file's text: every line followed by a carriage return and a line feed.
[[nodiscard]] std::string FormatFormulaFile(const std::vector<std::string>& lines);

/// The lines of a formula file, read whole: line feeds alone, a missing last line break and a
/// UTF-8 byte-order mark are accepted. `error` is a German text when the file cannot be read, is
/// too large or is not text.
struct FormulaFileText {
    std::vector<std::string> lines;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};
[[nodiscard]] FormulaFileText ReadFormulaFile(const std::string& path);
/// The same for text already in memory (the reader's second half).
[[nodiscard]] FormulaFileText SplitFormulaText(std::string_view bytes);

/// Writes the text to a temporary file beside `path` and renames it over `path`, so a full disk
/// or a read-only folder never leaves a half-written file. False with a reason otherwise.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error);

/// The start point lines: an optionally signed decimal integer within 32 bits, leading blanks
/// allowed, nothing after it.
[[nodiscard]] std::optional<std::int32_t> ParseStartCoordinate(std::string_view text);

/// One built-in formula with the field texts it puts in.
struct Preset {
    const char* formula;
    const char* factor;
    const char* rightAngle;
    const char* leftAngle;
    const char* startLength;
    const char* radius;
    const char* iterations;
    std::int32_t startX;
    std::int32_t startY;
    bool horizontal;
    const char* name;
};

/// F1 to F7: four trees, the Koch curve, the Sierpinski triangle, the Peano curve.
[[nodiscard]] const std::array<Preset, 7>& Presets();

/// The ten lines of the formula file that "Speichern" writes after the preset and a drawing
/// with it.
[[nodiscard]] std::vector<std::string> PresetLines(const Preset& preset);

} // namespace lsystem
