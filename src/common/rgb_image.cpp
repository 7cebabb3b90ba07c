#include "rgb_image.h"

namespace common {

RgbImage::RgbImage(int w, int h, Colour fill)
    : width(w > 0 ? w : 0), height(h > 0 ? h : 0),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = fill.r;
        pixels[i + 1] = fill.g;
        pixels[i + 2] = fill.b;
    }
}

std::span<std::uint8_t> RgbImage::row(int y) {
    return {pixels.data() + static_cast<std::size_t>(y) * rowBytes(), rowBytes()};
}

std::span<const std::uint8_t> RgbImage::row(int y) const {
    return {pixels.data() + static_cast<std::size_t>(y) * rowBytes(), rowBytes()};
}

Colour RgbImage::at(int x, int y) const {
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
}

void RgbImage::set(int x, int y, Colour c) {
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    pixels[i] = c.r;
    pixels[i + 1] = c.g;
    pixels[i + 2] = c.b;
}

} // namespace common
