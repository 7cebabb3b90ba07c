#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "colour.h"

namespace explorer {

/// The colours of a picture: the border colour steps with the escape count, the main colour
/// fills the points that never escape.
struct ColourScheme {
    int BorderR = 0;
    int BorderG = 0;
    int BorderB = 0;
    int MainR = 0;
    int MainG = 0;
    int MainB = 0;
    /// Additive: level n is n times the border colour; subtractive: the border colour minus n.
    bool AdditiveMix = true;
    friend constexpr bool operator==(const ColourScheme&, const ColourScheme&) = default;
};

/// Border 16/2/4, main yellow, additive.
[[nodiscard]] constexpr ColourScheme OriginalColours() {
    return {16, 2, 4, 255, 255, 0, true};
}

/// The colour of escape level n, each channel wrapped to its low 8 bits.
[[nodiscard]] common::Colour LevelColour(const ColourScheme& scheme, int n);

/// The colour of an escape count 0..256; 256 (never escaped) is the main colour.
[[nodiscard]] common::Colour PixelColour(const ColourScheme& scheme, int count);

/// PixelColour for every count 0..256, to map a whole picture without recomputing.
[[nodiscard]] std::array<common::Colour, 257> ColourTable(const ColourScheme& scheme);

/// Reads one colour field as a whole integer: leading spaces (not tabs), an optional sign,
/// then decimal digits, or hexadecimal digits behind "$", "0x" or "0X". Anything after the
/// digits, trailing spaces included, an empty field and a value beyond int give nullopt.
/// The range is not checked here: "256" and "-1" are numbers; see InColourRange.
[[nodiscard]] std::optional<int> ParseColourField(std::string_view text);

[[nodiscard]] constexpr bool InColourRange(int v) {
    return v >= 0 && v <= 255;
}

} // namespace explorer
