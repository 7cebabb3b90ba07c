#include "colour_scheme.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace explorer {

namespace {

// Unsigned arithmetic wraps without undefined behaviour, and wrapping modulo 2^32 keeps the
// low 8 bits a true modulo 256, negative inputs included.
[[nodiscard]] std::uint8_t Low8(unsigned v) {
    return static_cast<std::uint8_t>(v & 0xFFu);
}

} // namespace

common::Colour LevelColour(const ColourScheme& scheme, int n) {
    const auto level = static_cast<unsigned>(n);
    if (scheme.AdditiveMix) {
        return {Low8(level * static_cast<unsigned>(scheme.BorderR)),
                Low8(level * static_cast<unsigned>(scheme.BorderG)),
                Low8(level * static_cast<unsigned>(scheme.BorderB))};
    }
    return {Low8(static_cast<unsigned>(scheme.BorderR) - level),
            Low8(static_cast<unsigned>(scheme.BorderG) - level),
            Low8(static_cast<unsigned>(scheme.BorderB) - level)};
}

common::Colour PixelColour(const ColourScheme& scheme, int count) {
    if (count == 256) {
        return {Low8(static_cast<unsigned>(scheme.MainR)), Low8(static_cast<unsigned>(scheme.MainG)),
                Low8(static_cast<unsigned>(scheme.MainB))};
    }
    return LevelColour(scheme, count);
}

std::array<common::Colour, 257> ColourTable(const ColourScheme& scheme) {
    std::array<common::Colour, 257> table{};
    for (int count = 0; count < static_cast<int>(table.size()); ++count) {
        table[static_cast<std::size_t>(count)] = PixelColour(scheme, count);
    }
    return table;
}

std::optional<int> ParseColourField(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars on an unsigned type takes no sign, so "+-5" and "$-5" fail here.
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, magnitude, base);
    if (ec != std::errc{} || ptr != last) {
        return std::nullopt;
    }
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<int>::max()) + (negative ? 1u : 0u);
    if (magnitude > limit) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<int>(negative ? -value : value);
}

} // namespace explorer
