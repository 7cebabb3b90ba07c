#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "colour.h"

namespace common {

/// A picture of 24-bit RGB pixels, row-major, three bytes a pixel (R, G, B), rows not padded.
/// This is the exchange format between the canvas, the JPEG unit and the windows.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width * height * 3 bytes

    RgbImage() = default;
    RgbImage(int w, int h, Colour fill = kBlack);

    [[nodiscard]] bool empty() const { return width <= 0 || height <= 0; }
    [[nodiscard]] std::size_t rowBytes() const { return static_cast<std::size_t>(width) * 3; }
    [[nodiscard]] std::span<std::uint8_t> row(int y);
    [[nodiscard]] std::span<const std::uint8_t> row(int y) const;
    /// Unchecked: the caller keeps 0 <= x < width and 0 <= y < height.
    [[nodiscard]] Colour at(int x, int y) const;
    void set(int x, int y, Colour c);
};

} // namespace common
