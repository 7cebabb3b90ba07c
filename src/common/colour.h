#pragma once

#include <cstdint>

namespace common {

/// A 24-bit RGB colour, 8 bits a channel.
struct Colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend constexpr bool operator==(Colour, Colour) = default;
};

inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kYellow{255, 255, 0};
inline constexpr Colour kRed{255, 0, 0};

struct Point {
    int x = 0;
    int y = 0;

    friend constexpr bool operator==(Point, Point) = default;
};

/// A rectangle from left/top up to but not including right/bottom.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    [[nodiscard]] constexpr int width() const { return right - left; }
    [[nodiscard]] constexpr int height() const { return bottom - top; }
    friend constexpr bool operator==(Rect, Rect) = default;
};

} // namespace common
